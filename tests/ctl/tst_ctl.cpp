// krv2ctl end to end: the real executable against krv2sim, each command and each
// documented exit code, with the files it writes read back by the window's code.
#include "SimProcess.h"
#include "TableEdit.h"
#include "WaveActive.h"
#include "WaveFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
struct TRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

TRun Ctl(const QStringList& args, int limitMs = 60000) {
    QProcess p;
    p.start(QStringLiteral(KRV2CTL_PATH), args);
    TRun r;
    if (!p.waitForFinished(limitMs)) {
        p.kill();
        p.waitForFinished(2000);
        r.err = "krv2ctl did not end";
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QJsonObject LastJson(const QByteArray& out) {
    const QList<QByteArray> lines = out.trimmed().split('\n');
    return QJsonDocument::fromJson(lines.last()).object();
}

QByteArray RandomBytes(int size, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = static_cast<char>(rng.bounded(256));
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstCtl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void exitCodes_data();
    void exitCodes();
    void everyCommand();
    void tableRoundTrip();
    void imageWrittenAndVerified();
    void boardKilledMidTransfer();
    void ctrlCEndsCleanly_data();
    void ctrlCEndsCleanly();
    void captureLoadsInTheStore();
    void journalReplaysToTheSameFiles();
    void failedSaveStopsTheCapture();

private:
    QTemporaryDir dir;
    QString bin64;
};

void TstCtl::initTestCase() {
    QVERIFY(dir.isValid());
    bin64 = dir.filePath("image64.bin");
    QVERIFY(WriteFile(bin64, RandomBytes(64 * 64, 7)));
    // A whole table whose third row holds 1001.
    QJsonArray rows;
    for (int n = 0; n < 9; ++n)
        rows.append(QJsonObject{{"value", n == 2 ? 1001 : 10},
                                {"disable", false},
                                {"sorter", "A"},
                                {"dip", QJsonValue::Null}});
    QVERIFY(WriteFile(dir.filePath("value1001.json"),
                      QJsonDocument(QJsonObject{{"channels", rows}}).toJson()));
    // Keys misspelt or given twice would otherwise clear or change a setting unseen.
    QByteArray table = QJsonDocument(QJsonObject{{"channels", rows}}).toJson();
    QVERIFY(
        WriteFile(dir.filePath("misspelt.json"), QByteArray(table).replace("\"dip\"", "\"Dip\"")));
    QVERIFY(WriteFile(dir.filePath("twice.json"),
                      QByteArray(table).replace("\"dip\": null", "\"dip\": 3, \"dip\": null")));
    QVERIFY(WriteFile(dir.filePath("notjson.json"), "channels: 9"));
    QVERIFY(WriteFile(dir.filePath("1001lines.bin"), QByteArray(64 * 1001, '\x11')));
    QVERIFY(WriteFile(dir.filePath("short.bin"), QByteArray(63, '\x11')));
    QVERIFY(WriteFile(dir.filePath("bad.journal"),
                      "krv2-journal 1 krv2ctl capture\n000000010 RX 55 AA 8\n"));
}

void TstCtl::exitCodes_data() {
    QTest::addColumn<QStringList>("simArgs"); // empty: no board, --port points nowhere
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says"); // on standard error

    const QString none = dir.filePath("missing.json");
    const QStringList quick{"--timeout", "150", "--retries", "1"};
    // Bad inputs are refused before the port is opened: the port does not exist.
    QTest::newRow("table value 1001")
        << QStringList() << QStringList{"table", "write", dir.filePath("value1001.json")} << 6
        << "row 3 (Channel[3]): value 1001";
    QTest::newRow("table not JSON")
        << QStringList() << QStringList{"table", "write", dir.filePath("notjson.json")} << 6
        << "not JSON";
    QTest::newRow("table key misspelt")
        << QStringList() << QStringList{"table", "write", dir.filePath("misspelt.json")} << 6
        << "row 1 (Channel[1]): unknown key \"Dip\"";
    QTest::newRow("table key given twice")
        << QStringList() << QStringList{"table", "write", dir.filePath("twice.json")} << 6
        << "row 1 (Channel[1]): \"dip\" is given twice";
    QTest::newRow("endless table file")
        << QStringList() << QStringList{"table", "write", "/dev/zero"} << 6 << "larger than 64 KiB";
    QTest::newRow("missing table file")
        << QStringList() << QStringList{"table", "write", none} << 6 << "missing.json";
    QTest::newRow("bin over 1000 lines")
        << QStringList() << QStringList{"image", "write", dir.filePath("1001lines.bin")} << 6
        << "Line over 1000";
    QTest::newRow("bin without a whole line")
        << QStringList() << QStringList{"image", "write", dir.filePath("short.bin")} << 6
        << "no whole line";
    QTest::newRow("missing bin file")
        << QStringList() << QStringList{"image", "verify", dir.filePath("none.bin")} << 6
        << "none.bin";
    QTest::newRow("range beyond the file")
        << QStringList() << QStringList{"image", "write", bin64, "--lines", "0-99"} << 1
        << "holds only 64";
    QTest::newRow("line length too long")
        << QStringList() << QStringList{"image", "read", "-o", "x.bin", "--length", "70"} << 1
        << "1 to 69";
    QTest::newRow("block range reversed")
        << QStringList() << QStringList{"image", "read", "-o", "x.bin", "--blocks", "3-1"} << 1
        << "--blocks";
    QTest::newRow("no command") << QStringList() << QStringList{} << 1 << "no command";
    QTest::newRow("unknown command")
        << QStringList() << QStringList{"flash"} << 1 << "unknown command";
    QTest::newRow("family without its word")
        << QStringList() << QStringList{"image", "flash", "x.bin"} << 1
        << "'image' takes one of write, verify, read";
    QTest::newRow("port missing") << QStringList() << QStringList{"info"} << 2 << "does not exist";
    QTest::newRow("coins beyond the limit")
        << QStringList() << QStringList{"capture", "--coins", "100001", "-o", "x.bwv"} << 1
        << "--coins must be a whole number from 1 to 100000";
    QTest::newRow("journal in a missing folder")
        << QStringList() << QStringList{"--journal", dir.filePath("none/j.txt"), "info"} << 6
        << "none/j.txt";
    QTest::newRow("journal of no line")
        << QStringList()
        << QStringList{"--journal", "j.txt", "wave", "replay", "j.txt", "-o", "y.bwv"} << 1
        << "--journal records the serial line";
    QTest::newRow("replay without -o")
        << QStringList() << QStringList{"wave", "replay", dir.filePath("bad.journal")} << 1
        << "wave replay needs -o";
    QTest::newRow("replay of a bad journal")
        << QStringList()
        << QStringList{"wave", "replay", dir.filePath("bad.journal"), "-o", dir.filePath("y.bwv")}
        << 6 << "bad.journal line 2: byte 3 is not";
    QTest::newRow("replay of a missing journal")
        << QStringList() << QStringList{"wave", "replay", none, "-o", dir.filePath("y.bwv")} << 6
        << "missing.json";

    QTest::newRow("nak on store") << QStringList{"--fast", "--nak"}
                                  << QStringList{"table", "write", dir.filePath("good.json")} << 4
                                  << "refused the store request";
    QTest::newRow("nak on write start")
        << QStringList{"--fast", "--nak"} << QStringList{"image", "write", bin64} << 4
        << "refused Write Start";
    QTest::newRow("no answer to info")
        << QStringList{"--fast", "--drop-requests", "1"} << (QStringList{"info"} + quick) << 3
        << "no answer to the firmware version request";
    QTest::newRow("no answer to a write")
        << QStringList{"--fast", "--drop-requests", "1"}
        << (QStringList{"image", "write", bin64} + quick) << 3 << "no answer";
    QTest::newRow("garbled answers recovered")
        << QStringList{"--fast", "--seed", "5", "--bad-checksum", "0.3"}
        << QStringList{"image", "write", bin64, "--retries", "12", "--verbose"} << 0
        << "garbled answer, sending it again";
    QTest::newRow("lost requests repeated")
        << QStringList{"--fast", "--seed", "8", "--drop-requests", "0.1"}
        << QStringList{"image", "write", bin64, "--timeout", "200", "--retries", "10", "--verbose"}
        << 0 << "no answer, sending it again";
    QTest::newRow("garbled info recovered")
        << QStringList{"--fast", "--seed", "3", "--bad-checksum", "0.3"}
        << QStringList{"info", "--retries", "12", "--verbose"} << 0 << "garbled answer";
    QTest::newRow("verify without a write")
        << QStringList{"--fast"} << QStringList{"image", "verify", bin64} << 5 << "Verify Error!!";
}

void TstCtl::exitCodes() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    // A table that passes the checks, for the board to refuse.
    QJsonArray rows;
    for (int n = 0; n < 8; ++n)
        rows.append(QJsonObject{
            {"value", 10}, {"disable", false}, {"sorter", "A"}, {"dip", QJsonValue::Null}});
    rows.append(QJsonObject{{"value", 5}, {"disable", 0}, {"sorter", 0}, {"dip", 0}});
    QVERIFY(WriteFile(dir.filePath("good.json"),
                      QJsonDocument(QJsonObject{{"channels", rows}}).toJson()));

    std::unique_ptr<SimProcess> board;
    QString port = dir.filePath("no-such-port");
    if (!simArgs.isEmpty()) {
        board = std::make_unique<SimProcess>(simArgs);
        QVERIFY(!board->serialPath().isEmpty());
        port = board->serialPath();
    }
    const TRun r = Ctl(QStringList{"--port", port, "--json"} + args);
    QVERIFY2(r.exit == exitCode, r.err.constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(says), r.err.constData());
    if (exitCode != 0) {
        // Scripts reading standard output get the failure as JSON too.
        QCOMPARE(LastJson(r.out)["exitCode"].toInt(), exitCode);
    }
}

void TstCtl::everyCommand() {
    SimProcess board({"--fast", "--seed", "2", "--coin-interval", "100-200"});
    QVERIFY(!board.serialPath().isEmpty());
    const QStringList port{"--port", board.serialPath(), "--json"};

    TRun r = Ctl(port + QStringList{"info"});
    QVERIFY2(r.exit == 0, r.err.constData());
    QJsonObject info = LastJson(r.out);
    QCOMPARE(info["firmware"].toString(), QString("KRV2 V1.10"));
    QCOMPARE(info["id"].toString(), QString("K2SIM00001"));
    QCOMPARE(info["dipSwitch"].toString(), QString("10100101"));
    QCOMPARE(info["status"].toString(), QString("DISABLE"));

    r = Ctl(port + QStringList{"io", "--seconds", "3"});
    QVERIFY2(r.exit == 0, r.err.constData());
    const QList<QByteArray> reports = r.out.trimmed().split('\n');
    QCOMPARE(reports.size(), 2); // at 0 and 2 s
    const QJsonArray items = QJsonDocument::fromJson(reports[0]).object()["items"].toArray();
    QCOMPARE(items.size(), 12);
    QCOMPARE(items[0].toObject()["item"].toString(), QString("Big Coil"));
    QVERIFY(items[0].toObject().contains("verdict"));
    QCOMPARE(items[10].toObject()["value"].toString(), QString("10100101")); // A5, bit 0 first
    QVERIFY(!items[2].toObject().contains("verdict")); // temperature is not judged

    r = Ctl(port + QStringList{"monitor", "--seconds", "2"});
    QVERIFY2(r.exit == 0, r.err.constData());
    const QList<QByteArray> events = r.out.trimmed().split('\n');
    QVERIFY(events.size() >= 3);
    int coins = 0;
    for (const QByteArray& line : events.mid(0, events.size() - 1)) {
        const QJsonObject e = QJsonDocument::fromJson(line).object();
        if (e["event"] == "coin" || e["event"] == "rejected")
            ++coins;
    }
    const QJsonObject summary = LastJson(r.out)["summary"].toObject();
    QCOMPARE(summary["pass"].toInt() + summary["nopass"].toInt(), coins);
    QVERIFY(coins > 0);
    // Monitor leaves the board disabled.
    r = Ctl(port + QStringList{"info"});
    QCOMPARE(LastJson(r.out)["status"].toString(), QString("DISABLE"));

    // Text output without --json, and the simulator started by krv2ctl itself.
    r = Ctl({"--simulator", "--sim-arg=--fast", "table", "read"});
    QVERIFY2(r.exit == 0, r.err.constData());
    QVERIFY(r.out.contains("Channel[1]"));
    QVERIFY(r.out.contains("check byte 55"));
}

void TstCtl::tableRoundTrip() {
    SimProcess board({"--fast"});
    const QStringList port{"--port", board.serialPath(), "--json"};
    const QString before = dir.filePath("before.json");
    TRun r = Ctl(port + QStringList{"table", "read", "-o", before});
    QVERIFY2(r.exit == 0, r.err.constData());
    QJsonObject table = QJsonDocument::fromJson(ReadFile(before)).object();
    QCOMPARE(table["channels"].toArray().size(), 9);

    table = ChangedTable(table, 0, "value", 1000);
    table = ChangedTable(table, 3, "sorter", "D");
    table = ChangedTable(table, 5, "dip", QJsonValue::Null);
    table = ChangedTable(table, 7, "disable", true);
    table = ChangedTable(table, 8, "value", 7);
    const QString changed = dir.filePath("changed.json");
    QVERIFY(WriteFile(changed, QJsonDocument(table).toJson()));
    r = Ctl(port + QStringList{"table", "write", changed});
    QVERIFY2(r.exit == 0, r.err.constData());
    QVERIFY(LastJson(r.out)["verified"].toBool());

    const QString after = dir.filePath("after.json");
    r = Ctl(port + QStringList{"table", "read", "-o", after});
    QVERIFY2(r.exit == 0, r.err.constData());
    QCOMPARE(QJsonDocument::fromJson(ReadFile(after)).object()["channels"], table["channels"]);
}

void TstCtl::imageWrittenAndVerified() {
    SimProcess board({"--fast"});
    const QStringList port{"--port", board.serialPath(), "--json"};
    TRun r = Ctl(port + QStringList{"image", "write", bin64, "--verbose"});
    QVERIFY2(r.exit == 0, r.err.constData());
    const QJsonObject written = LastJson(r.out);
    QCOMPARE(written["lines"].toInt(), 64);
    QVERIFY(written["verified"].toBool());
    QVERIFY(r.err.contains("lines/s")); // the rate, with --verbose
    QVERIFY(r.err.contains("write: 100 %"));

    r = Ctl(port + QStringList{"image", "verify", bin64});
    QVERIFY2(r.exit == 0, r.err.constData());

    const QString back = dir.filePath("back.bin");
    r = Ctl(port + QStringList{"image", "read", "-o", back, "--lines", "0-63"});
    QVERIFY2(r.exit == 0, r.err.constData());
    QCOMPARE(ReadFile(back), ReadFile(bin64));

    // Another file of the same size does not match what the board holds.
    const QString other = dir.filePath("other.bin");
    QVERIFY(WriteFile(other, RandomBytes(64 * 64, 8)));
    r = Ctl(port + QStringList{"image", "verify", other});
    QCOMPARE(r.exit, 5);
}

void TstCtl::boardKilledMidTransfer() {
    // Paced replies: 1000 lines take about 5 s, time enough to pull the board away.
    SimProcess board({"--seed", "4"});
    const QString big = dir.filePath("big.bin");
    QVERIFY(WriteFile(big, RandomBytes(64 * 1000, 9)));
    QProcess ctl;
    ctl.setReadChannel(QProcess::StandardError);
    ctl.start(QStringLiteral(KRV2CTL_PATH), {"--port", board.serialPath(), "image", "write", big});
    QVERIFY(ctl.waitForStarted());
    QByteArray err;
    while (!err.contains("write: 5 %") && ctl.waitForReadyRead(5000))
        err += ctl.readAllStandardError();
    QVERIFY2(err.contains("write: 5 %"), err.constData());
    board.stop(SIGKILL);
    QVERIFY(ctl.waitForFinished(10000));
    err += ctl.readAllStandardError();
    QCOMPARE(ctl.exitCode(), 2);
    QVERIFY2(err.contains("the port was lost"), err.constData());
}

void TstCtl::ctrlCEndsCleanly_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("channel"); // where to wait for the run to be under way
    QTest::addColumn<QByteArray>("underWay");
    QTest::addColumn<QByteArray>("atTheEnd"); // printed after Ctrl-C, on that channel
    QTest::addColumn<QByteArray>("boardGot"); // the last request, from the board's log

    QTest::newRow("monitor") << QStringList{"-v", "--fast", "--coin-interval", "100-200"}
                             << QStringList{"monitor"} << int(QProcess::StandardOutput)
                             << QByteArray("coin") << QByteArray("PASS ") << QByteArray("(disable");
    // Paced replies: the write is still running when Ctrl-C comes.
    QTest::newRow("image write") << QStringList{"-v", "--seed", "4"}
                                 << QStringList{"image", "write", "BIG"}
                                 << int(QProcess::StandardError) << QByteArray("write: 5 %")
                                 << QByteArray("interrupted") << QByteArray("(write finish");
}

void TstCtl::ctrlCEndsCleanly() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(int, channel);
    QFETCH(QByteArray, underWay);
    QFETCH(QByteArray, atTheEnd);
    QFETCH(QByteArray, boardGot);
    const QString big = dir.filePath("big.bin");
    QVERIFY(WriteFile(big, RandomBytes(64 * 1000, 9)));
    args.replaceInStrings("BIG", big);

    SimProcess board(simArgs);
    QProcess ctl;
    ctl.setReadChannel(QProcess::ProcessChannel(channel));
    ctl.start(QStringLiteral(KRV2CTL_PATH), QStringList{"--port", board.serialPath()} + args);
    QVERIFY(ctl.waitForStarted());
    QByteArray seen;
    while (!seen.contains(underWay) && ctl.waitForReadyRead(5000))
        seen += ctl.readAll();
    QVERIFY2(seen.contains(underWay), seen.constData());
    ::kill(static_cast<pid_t>(ctl.processId()), SIGINT);
    QVERIFY(ctl.waitForFinished(5000));
    QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ctl.exitCode(), 130);
    seen += ctl.readAll();
    QVERIFY2(seen.contains(atTheEnd), seen.constData());
    // The board was told before the port closed: acceptance off, or the transfer over.
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += board.standardError()).trimmed().endsWith(")") &&
                                 log.mid(log.lastIndexOf("RX ")).contains(boardGot),
                             3000);
    // The port was let go: the next run opens it.
    QCOMPARE(Ctl({"--port", board.serialPath(), "info"}).exit, 0);
}

void TstCtl::captureLoadsInTheStore() {
    SimProcess board({"--fast", "--seed", "3", "--coin-interval", "100-200"});
    const QString path = dir.filePath("three.bwv");
    const TRun r = Ctl({"--port", board.serialPath(), "--json", "capture", "--coins", "3", "-o",
                        path, "--seconds", "20"});
    QVERIFY2(r.exit == 0, r.err.constData());

    QByteArray block;
    QString error;
    QVERIFY2(WaveFile::ReadBlock(path, block, error), qPrintable(error));
    QCOMPARE(WaveFile::RecordCountOf(block), 3);
    auto store = std::make_unique<TWaveStore>();
    WaveFile::CopyRecords(block, *store);
    QCOMPARE(store->RecordCount, 3);
    for (int rec = 0; rec < 3; ++rec) {
        QVERIFY(store->RecordLength[static_cast<size_t>(rec)] > 0);
        for (int c = 0; c < TWaveStore::Channels; ++c) {
            const auto& wave = store->WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(rec)];
            QVERIFY2(std::any_of(wave.begin(), wave.end(), [](int32_t v) { return v != 0; }),
                     qPrintable(QString("record %1 channel %2 is empty").arg(rec).arg(c)));
        }
    }
    // Capture leaves the board disabled.
    QCOMPARE(
        LastJson(Ctl({"--port", board.serialPath(), "--json", "info"}).out)["status"].toString(),
        QString("DISABLE"));
}

namespace {
QList<int> Records(const QJsonObject& result) {
    QList<int> out;
    for (const QJsonValue f : result["files"].toArray())
        out << f.toObject()["records"].toInt();
    return out;
}
} // namespace

void TstCtl::journalReplaysToTheSameFiles() {
    // Past the store: 450 coins go to three files, and the journal replays to the same.
    const QString journal = dir.filePath("run.journal");
    const QString x = dir.filePath("x.bwv");
    TRun r =
        Ctl({"--journal", journal, "--simulator", "--sim-arg=--fast", "--sim-arg=--coin-interval",
             "--sim-arg=10-20", "--json", "capture", "--coins", "450", "-o", x});
    QVERIFY2(r.exit == 0, r.err.constData());
    const QJsonObject captured = LastJson(r.out);
    QCOMPARE(Records(captured), (QList<int>{200, 200, 50}));
    QVERIFY(!QFile::exists(x));
    for (const auto& [name, count] :
         {std::pair{"x-001.bwv", 200}, {"x-002.bwv", 200}, {"x-003.bwv", 50}}) {
        QByteArray block;
        QString error;
        QVERIFY2(WaveFile::ReadBlock(dir.filePath(name), block, error), qPrintable(error));
        QCOMPARE(WaveFile::RecordCountOf(block), count);
    }

    r = Ctl({"--json", "wave", "replay", journal, "-o", dir.filePath("y.bwv")});
    QVERIFY2(r.exit == 0, r.err.constData());
    const QJsonObject replayed = LastJson(r.out);
    QCOMPARE(Records(replayed), (QList<int>{200, 200, 50}));
    for (const char* key : {"droppedPackets", "abandonedRecords"})
        QCOMPARE(replayed[key], captured[key]);
    for (const char* n : {"001", "002", "003"})
        QVERIFY2(ReadFile(dir.filePath(QStringLiteral("y-%1.bwv").arg(n))) ==
                     ReadFile(dir.filePath(QStringLiteral("x-%1.bwv").arg(n))),
                 n);

    // The board's side played by krv2sim, four times faster: the same records.
    r = Ctl({"--simulator", "--sim-arg=--replay", "--sim-arg=" + journal, "--sim-arg=--speed",
             "--sim-arg=4", "capture", "--coins", "450", "-o", dir.filePath("w.bwv")});
    QVERIFY2(r.exit == 0, r.err.constData());
    for (const char* n : {"001", "002", "003"}) {
        auto played = std::make_unique<TWaveStore>();
        auto recorded = std::make_unique<TWaveStore>();
        for (auto& [store, name] : {std::pair{played.get(), "w"}, {recorded.get(), "x"}}) {
            QByteArray block;
            QString error;
            QVERIFY2(WaveFile::ReadBlock(dir.filePath(QStringLiteral("%1-%2.bwv").arg(name, n)),
                                         block, error),
                     qPrintable(error));
            WaveFile::CopyRecords(block, *store);
        }
        QCOMPARE(played->RecordCount, recorded->RecordCount);
        for (int rec = 0; rec < recorded->RecordCount; ++rec)
            QVERIFY2(WaveActive::RecordAt(*played, rec) == WaveActive::RecordAt(*recorded, rec),
                     qPrintable(QStringLiteral("%1, record %2").arg(n).arg(rec)));
    }

    // Cut inside a line: replayed up to the cut, with one message.
    QByteArray text = ReadFile(journal);
    text.truncate(text.indexOf('\n', text.size() / 2) - 7);
    QVERIFY(WriteFile(dir.filePath("cut.journal"), text));
    r = Ctl({"--json", "wave", "replay", dir.filePath("cut.journal"), "-o", dir.filePath("z.bwv")});
    QVERIFY2(r.exit == 0, r.err.constData());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY2(r.err.contains("is cut short"), r.err.constData());
    const QList<int> cut = Records(LastJson(r.out));
    QVERIFY(cut.size() == 2 && cut[0] == 200 && cut[1] > 0 && cut[1] < 200);
    QCOMPARE(ReadFile(dir.filePath("z-001.bwv")), ReadFile(dir.filePath("x-001.bwv")));
}

void TstCtl::failedSaveStopsTheCapture() {
    // The first numbered file's name is taken by a folder.
    QVERIFY(QDir(dir.path()).mkdir("f-001.bwv"));
    const TRun r =
        Ctl({"--simulator", "--sim-arg=--fast", "--sim-arg=--coin-interval", "--sim-arg=10-20",
             "capture", "--coins", "201", "-o", dir.filePath("f.bwv")});
    QCOMPARE(r.exit, 6);
    QVERIFY2(r.err.contains("f-001.bwv") && r.err.contains("capture stopped after 200 coins") &&
                 r.err.contains("no file was saved"),
             r.err.constData());
}

QTEST_GUILESS_MAIN(TstCtl)
#include "tst_ctl.moc"
