// krv2sim as the tool meets it: the real program on its pseudo-terminal, driven with
// request bytes written out by hand from the documented layouts.
#include "SimProcess.h"

#include <QTemporaryDir>
#include <QTest>

#include <termios.h>

namespace {

// After channel 2 was written as 500, disabled, sorter B, DIP 3.
const char* const changedTable = "55 00 05 00 00 00 00 00 00 01 F4 00 01 00 01 00 03"
                                 " 00 14 00 00 00 01 00 04 00 32 00 00 00 02 00 05"
                                 " 00 64 00 00 00 02 00 06 00 C8 00 00 00 03 00 00"
                                 " 01 F4 00 00 00 03 00 00 03 E8 00 01 00 03 00 00"
                                 " 00 05 00 00 00 00 00 00";
const char* const record2 = "90 0D 60 01 01 F4 00 01 00 01 00 03 F8";
const char* const readTable = "90 05 80 55 6A";
const char* const status = "90 05 11 03 A9";
const char* const enable = "90 05 01 03 99";
const char* const reset = "90 05 05 03 9D";
const char* const ack = "90 05 50 03 E8";
const char* const nak = "90 05 4B 03 E3";
const char* const nakMemory = "90 05 48 03 E0";
const char* const disabled = "90 05 14 03 AC";

// Requests and the replies they must get, alternating; "" means silence.
QByteArrayList steps(std::initializer_list<const char*> hex) {
    QByteArrayList out;
    for (const char* h : hex)
        out << hexBytes(h);
    return out;
}

// Every 6-byte event frame of `stream`, with its sum checked.
bool events(const QByteArray& stream, QByteArrayList& out) {
    for (qsizetype i = 0; i + 6 <= stream.size(); i += 6) {
        out << stream.mid(i, 6);
        if (out.last() != withSum(out.last().left(5)))
            return false;
    }
    return stream.size() % 6 == 0;
}

QStringList fast(QStringList args) {
    return args << "--fast"
                << "--seed"
                << "1";
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replies_data();
    void replies();
    void sensorReport();
    void memoryImage();
    void coinEvents_data();
    void coinEvents();
    void wavePackets_data();
    void wavePackets();
    void pacedReplyComesInPieces();
    void bytesLostOrAdded();
    void survivesReopen();
    void lineIsRaw();
    void stopsCleanly_data();
    void stopsCleanly();
    void verboseLogAndHelp();
};

void TestSimProcess::replies_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArrayList>("exchange");
    const QStringList plain;
    QTest::newRow("status, disabled") << plain << steps({status, disabled});
    QTest::newRow("enable") << plain << steps({enable, ack, status, "90 05 11 03 A9"});
    QTest::newRow("disable") << plain
                             << steps({enable, ack, "90 05 02 03 9A", ack, status, disabled});
    QTest::newRow("counting test") << plain << steps({"55 A4", "", status, "90 05 11 03 A9"});
    QTest::newRow("reset") << plain << steps({enable, ack, reset, ack, status, disabled});
    QTest::newRow("firmware") << plain
                              << steps({"90 05 03 03 9B",
                                        "90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 00"});
    QTest::newRow("ID") << plain
                        << steps(
                               {"90 05 23 03 BB", "90 0F 23 4B 32 53 49 4D 30 30 30 30 31 03 1C"});
    QTest::newRow("DIP") << plain << steps({"90 05 24 03 BC", "90 06 24 A5 03 62"});
    QTest::newRow("--dip") << QStringList{"--dip", "3C"}
                           << steps({"90 05 24 03 BC", "90 06 24 3C 03 F9"});
    QTest::newRow("--firmware, padded")
        << QStringList{"--firmware", "FW 2.00"}
        << steps({"90 05 03 03 9B", "90 0F 03 46 57 20 32 2E 30 30 20 20 20 03 82"});
    QTest::newRow("table") << plain << steps({readTable, defaultTableHex});
    QTest::newRow("record") << plain << steps({record2, "", readTable, changedTable});
    QTest::newRow("reset loses unsaved")
        << plain << steps({record2, "", reset, ack, readTable, defaultTableHex});
    QTest::newRow("store survives reset")
        << plain
        << steps({record2, "", "90 05 70 55 5A", ack, reset, ack, readTable, changedTable});
    QTest::newRow("memory start, finish")
        << plain
        << steps({"90 05 27 03 BF", ack, "90 05 26 03 BE", ack, "90 05 8B 03 23", ack,
                  "90 05 8A 03 22", ack, "90 05 89 03 21", "90 07 89 00 00 03 23"});
    QTest::newRow("line write, read")
        << plain
        << steps({"90 09 8C 01 02 AB CD 03 A3", ack, "90 08 28 01 02 02 03 C8",
                  "90 09 28 01 02 AB CD 03 3F"});
    QTest::newRow("offset wraps at 64 KiB")
        << plain
        << steps({"90 09 8C 80 00 12 34 03 EE", ack, "90 08 28 00 00 02 03 C5",
                  "90 09 28 00 00 12 34 03 0A"});
    QTest::newRow("erased") << plain
                            << steps(
                                   {"90 08 28 00 10 04 03 D7", "90 0B 28 00 10 FF FF FF FF 03 D2"});
    QTest::newRow("line too long") << plain << steps({"90 08 28 00 10 F9 03 CC", nakMemory});
    QTest::newRow("bad sum") << plain << steps({"90 05 11 03 AA", nak, "90 05 80 55 6B", nak});
    QTest::newRow("bad sum, memory")
        << plain
        << steps({"90 05 8B 03 24", nakMemory, "90 09 8C 01 02 AB CD 03 A4", nakMemory,
                  "90 08 28 01 02 02 03 C8", "90 09 28 01 02 FF FF 03 C5"});
    QTest::newRow("outputs silent") << plain << steps({"90 06 90 07 00 2D", "", status, disabled});
    QTest::newRow("garbage") << plain << steps({"41 42 43 90 05 11 03 A9", disabled});
    QTest::newRow("stray start byte") << plain << steps({"90 FF 90 05 11 03 A9", disabled});
    QTest::newRow("stray raw prefix")
        << plain << steps({"55 00 90 05 24 03 BC", "90 06 24 A5 03 62"});
    QTest::newRow("too short") << plain << steps({"90 04 11 A5", "", status, disabled});
    QTest::newRow("two at once") << plain
                                 << steps({"90 05 24 03 BC 90 05 11 03 A9",
                                           "90 06 24 A5 03 62 90 05 14 03 AC"});
    // Faults.
    QTest::newRow("--bad-checksum 1") << QStringList{"--bad-checksum", "1"}
                                      << steps({status, "90 05 14 03 53", "90 05 8B 03 23",
                                                "90 05 50 03 17", readTable, defaultTableHex});
    QTest::newRow("--nak") << QStringList{"--nak"}
                           << steps({enable, nak, status, disabled, "90 05 70 55 5A", nak,
                                     "90 05 27 03 BF", nakMemory, "90 09 8C 01 02 AB CD 03 A3",
                                     nakMemory, "90 08 28 01 02 02 03 C8",
                                     "90 09 28 01 02 FF FF 03 C5"});
    QTest::newRow("--drop-requests 1")
        << QStringList{"--drop-requests", "1"} << steps({status, "", readTable, "", enable, ""});
}

void TestSimProcess::replies() {
    QFETCH(QStringList, args);
    QFETCH(QByteArrayList, exchange);
    // Coins far apart, so no event lands among the replies.
    SimProcess sim(fast(args << "--coin-interval"
                             << "600000"));
    SerialEnd port(sim.serialPath());
    QVERIFY(port.isOpen());
    for (qsizetype i = 0; i + 1 < exchange.size(); i += 2) {
        QVERIFY(port.send(exchange[i]));
        const QByteArray& want = exchange[i + 1];
        const QByteArray got =
            want.isEmpty() ? port.receiveUntilQuiet(150) : port.receive(int(want.size()));
        QCOMPARE(got.toHex(' '), want.toHex(' '));
    }
    QCOMPARE(port.receiveUntilQuiet(100).toHex(' '), QByteArray());
}

void TestSimProcess::sensorReport() {
    SimProcess sim(fast({"--coin-interval", "600000"}));
    SerialEnd port(sim.serialPath());
    for (const bool accepting : {false, true}) {
        if (accepting && (!port.send(hexBytes(enable)) || port.receive(5) != hexBytes(ack)))
            QFAIL("enable");
        for (int poll = 0; poll < 10; ++poll) {
            QVERIFY(port.send(hexBytes("90 04 50 E4")));
            const QByteArray r = port.receive(23);
            QCOMPARE(r.size(), 23);
            QCOMPARE(quint8(r[0]), quint8(0x50));
            for (int k = 0; k < 10; ++k) // ten readings of a 10-bit converter
                QVERIFY(quint8(r[1 + 2 * k]) < 4);
            QCOMPARE(quint8(r[21]), quint8(0xA5));
            QCOMPARE(r[22] != 0, accepting);
        }
    }
}

void TestSimProcess::memoryImage() {
    SimProcess sim(fast({}));
    SerialEnd port(sim.serialPath());
    auto expect = [&](const QByteArray& request, const QByteArray& reply) {
        return port.send(request) && port.receive(int(reply.size())).toHex(' ') == reply.toHex(' ');
    };
    // Four 64-byte lines at 0x0000..0x0003, as the tool writes them; the data hold
    // 0x90 and 0x03 so that framing by content would go wrong.
    QByteArrayList lines;
    quint16 crc = 0;
    for (int line = 0; line < 4; ++line) {
        QByteArray data;
        for (int i = 0; i < 64; ++i)
            data += char((line * 64 + i) * 37);
        lines << data.replace(5, 2, hexBytes("90 03"));
        crc = referenceCrc(lines[line], crc);
    }
    QVERIFY(expect(hexBytes("90 05 8B 03 23"), hexBytes(ack)));
    for (int line = 0; line < 4; ++line) {
        const QByteArray request =
            withSum(hexBytes("90 47 8C 00") + char(line) + lines[line] + '\x03');
        QVERIFY(expect(request, hexBytes(ack)));
        // The tool repeats a line it got no answer for: it must count once.
        QVERIFY(line != 2 || expect(request, hexBytes(ack)));
    }
    QVERIFY(expect(hexBytes("90 05 8A 03 22"), hexBytes(ack)));
    QVERIFY(expect(hexBytes("90 05 89 03 21"),
                   withSum(hexBytes("90 07 89") + char(crc >> 8) + char(crc) + '\x03')));
    for (int line = 0; line < 4; ++line)
        QVERIFY(expect(withSum(hexBytes("90 08 28 00") + char(line) + hexBytes("40 03")),
                       withSum(hexBytes("90 47 28 00") + char(line) + lines[line] + '\x03')));
    // A new write start begins a new run.
    QVERIFY(expect(hexBytes("90 05 8B 03 23"), hexBytes(ack)));
    QVERIFY(expect(hexBytes("90 09 8C 01 02 AB CD 03 A3"), hexBytes(ack)));
    const quint16 one = referenceCrc(hexBytes("AB CD"));
    QVERIFY(expect(hexBytes("90 05 89 03 21"),
                   withSum(hexBytes("90 07 89") + char(one >> 8) + char(one) + '\x03')));
    QCOMPARE(referenceCrc("123456789"), quint16(0x31C3));
}

void TestSimProcess::coinEvents_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QString>("sensorErrors");
    QTest::newRow("counting test") << hexBytes("55 A4") << "0";
    QTest::newRow("enable") << hexBytes(enable) << "0";
    QTest::newRow("sensor error after every coin") << hexBytes(enable) << "1";
}

void TestSimProcess::coinEvents() {
    QFETCH(QByteArray, start);
    QFETCH(QString, sensorErrors);
    SimProcess sim(fast({"--coin-interval", "5-15", "--sensor-errors", sensorErrors}));
    SerialEnd port(sim.serialPath());
    QVERIFY(port.send(start));
    if (start.size() == 5)
        QCOMPARE(port.receive(5), hexBytes(ack));
    QByteArrayList got;
    QVERIFY(events(port.receive(6 * 24, 5000), got));
    QCOMPARE(got.size(), 24);
    for (qsizetype i = 0; i < got.size(); ++i) {
        const quint8 data = quint8(got[i][3]);
        if (sensorErrors == "1" && i % 2 == 1) {
            QCOMPARE(got[i].left(3), hexBytes("90 06 16"));
            QVERIFY(data >= 1 && data <= 7);
        } else {
            QCOMPARE(got[i].left(3), hexBytes("90 06 12"));
            QVERIFY((data >= 1 && data <= 8) || data == 0x88);
        }
        QCOMPARE(quint8(got[i][4]), quint8(0x03));
    }
    // Disabled: the ACK ends what was on its way, then the line falls silent.
    QVERIFY(port.send(hexBytes("90 05 02 03 9A")));
    QVERIFY(port.receiveUntilQuiet(200, 3000).endsWith(hexBytes(ack)));
    QCOMPARE(port.receiveUntilQuiet(300), QByteArray());
}

void TestSimProcess::wavePackets_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::newRow("All") << hexBytes("55 A3");
    QTest::newRow("Add") << hexBytes("55 A1");
    QTest::newRow("Reject") << hexBytes("55 A2");
}

void TestSimProcess::wavePackets() {
    QFETCH(QByteArray, method);
    SimProcess sim(fast({"--coin-interval", "5-10", "--sensor-errors", "0"}));
    SerialEnd port(sim.serialPath());
    // As the tool's Method does it: enable, then the raw method command.
    QVERIFY(port.send(hexBytes(enable)));
    QCOMPARE(port.receive(5), hexBytes(ack));
    QVERIFY(port.send(method));

    constexpr int coins = 4;
    const QByteArray stream = port.receive(coins * 6 * 308, 5000);
    QCOMPARE(stream.size(), coins * 6 * 308);
    // The tool finds packets by their header alone: it must occur nowhere else.
    QCOMPARE(stream.count(hexBytes("55 AA 08")), coins * 6);
    for (int coin = 0; coin < coins; ++coin) {
        const QByteArray first = stream.mid(coin * 6 * 308, 308);
        const quint8 result = quint8(first[3]);
        QVERIFY((result >= 1 && result <= 8) || result == 0x88);
        QVERIFY(method[1] != '\xA1' || result != 0x88); // Add: passed coins only
        QVERIFY(method[1] != '\xA2' || result == 0x88); // Reject: the others
        // Channel 0 samples 250..269 (bytes 258..277): Result is 255, MAX >= MIN.
        QCOMPARE(quint8(first[8 + 255]), result);
        QVERIFY(quint8(first[8 + 258]) >= quint8(first[8 + 259]));
        for (int channel = 0; channel < 6; ++channel) {
            const QByteArray p = stream.mid((coin * 6 + channel) * 308, 308);
            QCOMPARE(p.left(4), first.left(4));
            QCOMPARE(p.mid(4, 3), first.mid(4, 3)); // coin number, length
            QCOMPARE(int(p[7]), channel);
            QCOMPARE(p, withSum(p.left(307)));
        }
    }
    // None: packets already on their way come whole, then coins are events again.
    QVERIFY(port.send(hexBytes("55 A0")));
    QByteArray next = port.receive(3);
    while (next == hexBytes("55 AA 08") && port.receive(305).size() == 305)
        next = port.receive(3);
    QByteArrayList got;
    QVERIFY(events(next + port.receive(6 * 10 - 3), got));
    for (const QByteArray& e : got)
        QCOMPARE(e.left(3), hexBytes("90 06 12"));
}

void TestSimProcess::pacedReplyComesInPieces() {
    SimProcess sim({"--seed", "2"});
    SerialEnd port(sim.serialPath());
    QVERIFY(port.send(hexBytes(readTable)));
    QCOMPARE(port.receive(73).toHex(' '), hexBytes(defaultTableHex).toHex(' '));
    QVERIFY2(port.lastReads() > 1, "a paced reply arrived in a single read");
}

void TestSimProcess::bytesLostOrAdded() {
    const QByteArray table = hexBytes(defaultTableHex);
    auto run = [&](const QStringList& args) {
        SimProcess sim(args);
        SerialEnd port(sim.serialPath());
        port.send(hexBytes(readTable));
        return port.receiveUntilQuiet(200, 3000);
    };
    // Lost: what comes is the table with gaps.
    const QByteArray lossy = run({"--fast", "--seed", "4", "--drop-bytes", "0.5"});
    QVERIFY(!lossy.isEmpty() && lossy.size() < table.size());
    qsizetype at = 0;
    for (char c : lossy)
        QVERIFY((at = table.indexOf(c, at) + 1) > 0);
    // Added before every byte: the table on the odd places.
    const QByteArray padded = run({"--fast", "--seed", "4", "--insert-bytes", "1"});
    QCOMPARE(padded.size(), 2 * table.size());
    QByteArray odd;
    for (qsizetype i = 1; i < padded.size(); i += 2)
        odd += padded[i];
    QCOMPARE(odd, table);
    // The seed replays the faults exactly.
    const QStringList both{"--fast", "--drop-bytes", "0.3", "--insert-bytes", "0.3", "--seed"};
    const QByteArray first = run(both + QStringList{"9"});
    QCOMPARE(run(both + QStringList{"9"}), first);
    QVERIFY(run(both + QStringList{"9"}) != run(both + QStringList{"10"}));
}

void TestSimProcess::survivesReopen() {
    SimProcess sim(fast({"--coin-interval", "600000"}));
    {
        SerialEnd port(sim.serialPath());
        QVERIFY(port.send(hexBytes(record2)) && port.send(hexBytes(enable)));
        QCOMPARE(port.receive(5), hexBytes(ack));
    }
    // The tool closes and reopens the port on every page change.
    for (int round = 0; round < 3; ++round) {
        SerialEnd port(sim.serialPath());
        QVERIFY(port.send(hexBytes(status)));
        QCOMPARE(port.receive(5), hexBytes("90 05 11 03 A9"));
        QVERIFY(port.send(hexBytes(readTable)));
        QCOMPARE(port.receive(73), hexBytes(changedTable));
    }
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::lineIsRaw() {
    SimProcess sim({"--fast"});
    SerialEnd port(sim.serialPath(), false); // as the sim left it
    termios tio{};
    QCOMPARE(::tcgetattr(port.handle(), &tio), 0);
    QCOMPARE(tio.c_lflag & (ECHO | ICANON | ISIG), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(tio.c_iflag & (ICRNL | IXON), tcflag_t(0));
}

void TestSimProcess::stopsCleanly_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestSimProcess::stopsCleanly() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyKRV2");
    SimProcess sim({"--fast", "--link", link});
    QCOMPARE(QFile::symLinkTarget(link), sim.serialPath());
    SerialEnd port(link);
    QVERIFY(port.send(hexBytes(status)));
    QCOMPARE(port.receive(5), hexBytes(disabled));
    QCOMPARE(sim.stop(signal), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimProcess::verboseLogAndHelp() {
    SimProcess sim({"--fast", "--verbose"});
    SerialEnd port(sim.serialPath());
    QVERIFY(port.send(hexBytes(readTable)) && port.receive(73).size() == 73);
    QVERIFY(port.send(hexBytes("90 05 11 03 AA")) && port.receive(5) == hexBytes(nak));
    QCOMPARE(sim.stop(), 0);
    const QString log = QString::fromLatin1(sim.standardError());
    for (const char* line :
         {"RX 90 05 80 55 6A  (read parameters)\n", "TX 55 00 05 00 00 00",
          "RX 90 05 11 03 AA  (status, bad checksum)\n", "TX 90 05 4B 03 E3  (NAK)\n"})
        QVERIFY2(log.contains(line), qPrintable(log));

    QProcess help;
    help.start(KRV2SIM_PATH, {"--help"});
    QVERIFY(help.waitForFinished(5000) && help.exitCode() == 0);
    const QString text = QString::fromLatin1(help.readAllStandardOutput());
    for (const char* option :
         {"--link", "--fast", "--seed", "--coin-interval", "--sensor-errors", "--dip", "--firmware",
          "--id", "--bad-checksum", "--nak", "--drop-requests", "--drop-bytes", "--insert-bytes",
          "--verbose", "--help"})
        QVERIFY2(text.contains(option), option);
    for (const QStringList& bad : {QStringList{"--drop-bytes", "2"},
                                   {"--coin-interval", "80-50"},
                                   {"--dip", "1FF"},
                                   {"--id", "ELEVENCHARS"},
                                   {"--seed"},
                                   {"--x"}}) {
        help.start(KRV2SIM_PATH, bad);
        QVERIFY2(help.waitForFinished(5000) && help.exitCode() == 2, qPrintable(bad.join(' ')));
    }
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_sim_process.moc"
