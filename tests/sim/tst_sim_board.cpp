// The board library on its own, in virtual time: request splitting, coin pace, wave
// packets, sensor readings and the line's pace.
#include "Board.h"
#include "Options.h"
#include "Pacer.h"
#include "RequestParser.h"
#include "Sensors.h"
#include "WaveSynth.h"

#include <QTest>

using namespace krv2sim;
using namespace std::chrono_literals;

namespace {

Bytes bytesOf(const char* hex) {
    const QByteArray raw = QByteArray::fromHex(hex);
    return Bytes(raw.begin(), raw.end());
}

QString hexOf(std::span<const uint8_t> bytes) {
    return QString::fromStdString(hexText(bytes));
}

// Requests as short tokens; neighbouring ignored runs are merged, since where they
// are cut depends only on how the bytes were delivered.
QStringList tokens(const std::vector<Request>& requests) {
    QStringList out;
    QString last;
    for (const Request& r : requests) {
        const QString tag = r.kind == Request::Kind::ignored ? "I"
                            : r.kind == Request::Kind::raw   ? "R"
                            : r.checksumOk                   ? "F"
                                                             : "B";
        if (tag == "I" && last == "I")
            out.last() += " " + hexOf(r.bytes);
        else
            out << tag + " " + hexOf(r.bytes);
        last = tag;
    }
    return out;
}

} // namespace

class TestSimBoard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void checkFunctions();
    void parser_data();
    void parser();
    void parserGivesUpStalledFrame();
    void coinPace_data();
    void coinPace();
    void wavePacketLayout_data();
    void wavePacketLayout();
    void sensorReadings();
    void pacer();
    void coinScriptOption_data();
    void coinScriptOption();
    void coinScriptRun_data();
    void coinScriptRun();
};

void TestSimBoard::checkFunctions() {
    const Bytes check = bytesOf("313233343536373839"); // "123456789"
    QCOMPARE(crc16Xmodem(check), uint16_t(0x31C3));
    QCOMPARE(crc16Xmodem(std::span(check).last(4), crc16Xmodem(std::span(check).first(5))),
             uint16_t(0x31C3));
    QCOMPARE(frameSum(bytesOf("90 06 90 08 00")), uint8_t(0x2E));
}

void TestSimBoard::parser_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("end byte") << QByteArray("90 05 11 03 A9") << QStringList{"F 90 05 11 03 A9"};
    QTest::newRow("no end byte") << QByteArray("90 04 50 E4") << QStringList{"F 90 04 50 E4"};
    QTest::newRow("0x90 as data") << QByteArray("90 09 8C 01 02 90 90 03 4B")
                                  << QStringList{"F 90 09 8C 01 02 90 90 03 4B"};
    QTest::newRow("bad sum") << QByteArray("90 05 11 03 AA") << QStringList{"B 90 05 11 03 AA"};
    QTest::newRow("garbage") << QByteArray("41 42 90 05 11 03 A9")
                             << QStringList{"I 41 42", "F 90 05 11 03 A9"};
    QTest::newRow("impossible length")
        << QByteArray("90 FF 90 05 11 03 A9") << QStringList{"I 90 FF", "F 90 05 11 03 A9"};
    QTest::newRow("unknown command") << QByteArray("90 05 77 03 0F 90 04 50 E4")
                                     << QStringList{"I 90 05 77 03 0F", "F 90 04 50 E4"};
    QTest::newRow("raw") << QByteArray("55 00 55 A4 90 05 80 55 6A 55 A3")
                         << QStringList{"I 55 00", "R 55 A4", "F 90 05 80 55 6A", "R 55 A3"};
}

void TestSimBoard::parser() {
    QFETCH(QByteArray, input);
    QFETCH(QStringList, expected);
    const Bytes bytes = bytesOf(input.constData());
    // Whole, and cut in two at every place: the tool's bytes come in any pieces.
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        RequestParser parser;
        std::vector<Request> out;
        parser.feed(std::span(bytes).first(cut), 0us, out);
        parser.feed(std::span(bytes).subspan(cut), 1us, out);
        QCOMPARE(tokens(out), expected);
        QVERIFY(!parser.deadline());
    }
}

void TestSimBoard::parserGivesUpStalledFrame() {
    RequestParser parser(100ms);
    std::vector<Request> out;
    // A line write whose length promises more than ever comes, a good frame after it.
    parser.feed(bytesOf("90 47 8C 90 05 11 03 A9"), 0ms, out);
    parser.expire(99ms, out);
    QVERIFY(out.empty());
    parser.expire(100ms, out);
    QCOMPARE(tokens(out), (QStringList{"I 90 47 8C", "F 90 05 11 03 A9"}));
}

void TestSimBoard::coinPace_data() {
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<int>("bytePeriodUs");
    QTest::newRow("counting, default") << 1000 << 2000 << QByteArray("55 A4") << 0;
    QTest::newRow("enable, fixed") << 300 << 300 << QByteArray("90 05 01 03 99") << 0;
    QTest::newRow("waves wait for the line") << 100 << 200 << QByteArray("55 A3") << 1041;
}

void TestSimBoard::coinPace() {
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    QFETCH(QByteArray, start);
    QFETCH(int, bytePeriodUs);
    BoardConfig config;
    config.coinMin = std::chrono::milliseconds(minMs);
    config.coinMax = std::chrono::milliseconds(maxMs);
    config.bytePeriod = Micros(bytePeriodUs);
    Board board(config);
    const Bytes bytes = bytesOf(start.constData());
    board.handle({bytes.size() == 2 ? Request::Kind::raw : Request::Kind::frame, bytes, true}, 0ms);
    board.output().clear();

    // A minute in 1 ms steps: when each coin's output appears, how long it holds the line.
    std::vector<std::pair<Micros, Micros>> coins;
    for (Micros t = 0ms; t <= 60s; t += 1ms) {
        board.advance(t);
        Micros busy{0};
        for (const Message& m : board.output())
            busy += Micros(bytePeriodUs) * static_cast<int64_t>(m.bytes.size());
        if (!board.output().empty())
            coins.emplace_back(t, busy);
        board.output().clear();
    }
    QVERIFY(coins.size() >= 10);
    for (size_t i = 1; i < coins.size(); ++i) {
        const Micros gap = coins[i].first - coins[i - 1].first - coins[i - 1].second;
        QVERIFY2(gap >= std::chrono::milliseconds(minMs) - 1ms &&
                     gap <= std::chrono::milliseconds(maxMs) + 1ms,
                 qPrintable(QString::number(gap.count())));
    }
    board.handle({Request::Kind::frame, bytesOf("90 05 02 03 9A"), true}, 60s);
    board.output().clear();
    board.advance(120s);
    QVERIFY(board.output().empty());
}

void TestSimBoard::wavePacketLayout_data() {
    QTest::addColumn<int>("at"); // where the planted samples go
    QTest::addColumn<QByteArray>("plant");
    QTest::addColumn<int>("altered");
    QTest::newRow("plain") << 10 << QByteArray("80 81 82") << 0;
    QTest::newRow("header in the samples") << 100 << QByteArray("55 AA 08") << 1;
    QTest::newRow("header twice") << 0 << QByteArray("55 AA 55 AA 08") << 2;
    QTest::newRow("55 AA last") << 297 << QByteArray("55 AA") << 1;
    QTest::newRow("lone 55, AA") << 40 << QByteArray("55 80 AA 55 08") << 0;
}

void TestSimBoard::wavePacketLayout() {
    QFETCH(int, at);
    QFETCH(QByteArray, plant);
    QFETCH(int, altered);
    Bytes samples(waveSamples, 0x40);
    const Bytes planted = bytesOf(plant.constData());
    std::copy(planted.begin(), planted.end(), samples.begin() + at);
    const Bytes p = wavePacket({3, 3, 7, 28, 0}, 2, 300, samples);
    QCOMPARE(p.size(), size_t(308));
    QCOMPARE(hexOf(std::span(p).first(8)), QString("55 AA 08 03 07 01 2C 02"));
    QCOMPARE(p[307], frameSum(std::span(p).first(307)));
    int changed = 0;
    for (int k = 0; k < waveSamples; ++k)
        changed += p[8 + k] != samples[k];
    QCOMPARE(changed, altered);
    for (size_t i = 8; i < 306; ++i) // no 55 AA, so no 55 AA 08 even with the last byte
        QVERIFY(!(p[i] == 0x55 && p[i + 1] == 0xAA));
}

void TestSimBoard::sensorReadings() {
    // The I/O test's limits of the judged readings, by report position.
    const int limits[][3] = {{0, 731, 929}, {1, 721, 879},    {4, 0, 99}, {5, 0, 99},
                             {6, 0, 79},    {8, 1001, 65535}, {9, 0, 79}};
    Rng rng(12);
    Sensors healthy(0.0);
    Sensors flaky(1.0);
    std::array<int, sensorCount> offCount{};
    for (int report = 0; report < 2000; ++report) {
        const auto good = healthy.sample(rng);
        for (const auto& [index, lo, hi] : limits)
            QVERIFY2(good[index] >= lo && good[index] <= hi, sensorBands()[index].name);
        // With the fault forced, exactly one reading is off, each in its turn.
        const auto bad = flaky.sample(rng);
        int off = 0;
        for (int i = 0; i < sensorCount; ++i)
            if (bad[i] < sensorBands()[i].lo || bad[i] > sensorBands()[i].hi)
                ++off, ++offCount[i];
        QCOMPARE(off, 1);
    }
    QVERIFY(std::all_of(offCount.begin(), offCount.end(), [](int n) { return n > 0; }));
}

void TestSimBoard::pacer() {
    // 9600 baud 8N1: ten bits a byte, byte k complete at (k+1) * 1041.67 us.
    const Bytes table(73, 0x55);
    Pacer often(9600);
    often.push(table, 0us);
    size_t taken = 0;
    for (Micros t = 0us; t <= 80ms; t += 333us) {
        taken += often.takeDue(t).size();
        QVERIFY(t != 9990us || taken == 9); // about ten bytes a 10 ms poll
    }
    QCOMPARE(taken, size_t(73));
    // Taken in one go, the last byte is due to the microsecond: no drift.
    Pacer once(9600);
    once.push(table, 0us);
    QCOMPARE(once.takeDue(76040us).size(), size_t(72));
    QCOMPARE(once.takeDue(76041us).size(), size_t(1));
    // An idle line starts again from the moment there is something to send.
    once.push(bytesOf("90 05 50 03 E8"), 2s);
    QCOMPARE(once.nextDue(), std::optional<Micros>(2s + 1041us));
    Pacer unpaced(0);
    unpaced.push(table, 3s);
    QCOMPARE(unpaced.takeDue(3s).size(), size_t(73));
}

void TestSimBoard::coinScriptOption_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("batches"); // "type*count ..."; empty: refused
    QTest::newRow("three kinds") << "3x40,8x20,slugx10"
                                 << "3*40 8*20 0*10";
    QTest::newRow("one coin") << "1x1"
                              << "1*1";
    QTest::newRow("largest count") << "slugx100000"
                                   << "0*100000";
    QTest::newRow("count too large") << "2x100001"
                                     << "";
    QTest::newRow("no count") << "3x"
                              << "";
    QTest::newRow("count 0") << "3x0"
                             << "";
    QTest::newRow("kind 9") << "9x1"
                            << "";
    QTest::newRow("kind 0") << "0x1"
                            << "";
    QTest::newRow("slug, no count") << "slug"
                                    << "";
    QTest::newRow("empty item") << "3x4,,5x1"
                                << "";
    QTest::newRow("trailing comma") << "3x4,"
                                    << "";
    QTest::newRow("capital X") << "3X4"
                               << "";
}

void TestSimBoard::coinScriptOption() {
    QFETCH(QString, value);
    QFETCH(QString, batches);
    const std::vector<std::string> args{"--coins", value.toStdString()};
    Options options;
    std::string error;
    QCOMPARE(parseOptions(args, options, error), !batches.isEmpty());
    if (batches.isEmpty()) {
        QVERIFY2(error.find("--coins") != std::string::npos, error.c_str());
        return;
    }
    QStringList got;
    for (const CoinBatch& b : options.sim.board.coinScript)
        got << QString("%1*%2").arg(b.type).arg(b.count);
    QCOMPARE(got.join(' '), batches);
}

void TestSimBoard::coinScriptRun_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QString>("results"); // of the coins sent, in order
    // Kind 8 is switched off in the factory table: a scripted 8 passes all the same.
    QTest::newRow("waves of all") << QByteArray("55 A3") << "3 3 8 136 136";
    QTest::newRow("waves of accepted") << QByteArray("55 A1") << "3 3 8";
    QTest::newRow("counting") << QByteArray("90 05 01 03 99") << "3 3 8 136 136";
}

void TestSimBoard::coinScriptRun() {
    QFETCH(QByteArray, start);
    QFETCH(QString, results);
    BoardConfig config;
    config.coinMin = config.coinMax = 10ms;
    config.sensorErrorChance = 0;
    config.coinScript = {{3, 2}, {8, 1}, {0, 2}};
    Board board(config);
    const Bytes bytes = bytesOf(start.constData());
    board.handle({bytes.size() == 2 ? Request::Kind::raw : Request::Kind::frame, bytes, true}, 0ms);
    board.output().clear();
    QStringList got;
    for (Micros t = 0ms; t <= 10s; t += 5ms) {
        board.advance(t);
        for (const Message& m : board.output()) {
            if (m.bytes.size() == wavePacketSize && m.bytes[7] == 0)
                got << QString::number(m.bytes[3]); // result byte of channel 0's packet
            else if (m.bytes.size() == 6)
                got << QString::number(m.bytes[3]); // coin event 90 06 12 RESULT 03 SUM
        }
        board.output().clear();
    }
    QCOMPARE(got.join(' '), results);
    // The script is over: nothing more comes, and no coin is due.
    QVERIFY(!board.nextEvent());
    QVERIFY(board.accepting());
}

QTEST_GUILESS_MAIN(TestSimBoard)
#include "tst_sim_board.moc"
