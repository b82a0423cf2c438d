// krv2sim --replay: the board's side of a journal played at its recorded times (or
// faster), met at the tool's writes; and the options that ask for it.
#include "Options.h"
#include "Replay.h"

#include <QTest>

#include <cmath>
#include <deque>

using namespace krv2sim;
using namespace std::chrono_literals;

namespace {
ReplayEvent Rx(int64_t us, Bytes bytes) {
    return {Micros(us), true, std::move(bytes)};
}
ReplayEvent Tx(int64_t us, Bytes bytes) {
    return {Micros(us), false, std::move(bytes)};
}

Replayer::Source From(std::deque<ReplayEvent> events) {
    return [events = std::move(events)](ReplayEvent& out) mutable {
        if (events.empty())
            return false;
        out = std::move(events.front());
        events.pop_front();
        return true;
    };
}

// A journal of the window's Get_Wave start: a coin event the board sent unasked, the
// start frame, the ACK, a second later the method bytes, then two wave pieces.
std::deque<ReplayEvent> Recorded() {
    return {Rx(100'000, {0x90, 0x06, 0x12, 0x06, 0x03, 0xB1}),
            Tx(5'000'000, {0x90, 0x05, 0x01, 0x03, 0x99}),
            Rx(5'010'000, {0x90, 0x05, 0x50, 0x03, 0xE8}),
            Tx(6'000'000, {0x55}),
            Tx(6'000'050, {0xA3}),
            Rx(6'020'000, {0x55, 0xAA, 0x08}),
            Rx(6'040'000, {0x01, 0x2A})};
}
} // namespace

class TstSimReplay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void playsAtTheRecordedTimes_data();
    void playsAtTheRecordedTimes();
    void waitsForTheToolsBytes();
    void speedOption_data();
    void speedOption();
};

void TstSimReplay::playsAtTheRecordedTimes_data() {
    QTest::addColumn<double>("speed");
    QTest::newRow("as recorded") << 1.0;
    QTest::newRow("four times faster") << 4.0;
}

void TstSimReplay::playsAtTheRecordedTimes() {
    QFETCH(double, speed);
    const auto at = [speed](int64_t us) {
        return Micros(std::llround(static_cast<double>(us) / speed));
    };
    const Micros start = 1s;
    Replayer r(From(Recorded()), speed, start);
    QCOMPARE(r.nextWake(), std::optional(start + at(100'000)));
    QVERIFY(r.takeDue(start + at(100'000) - 1us).empty());
    QCOMPARE(r.takeDue(start + at(100'000)), (Bytes{0x90, 0x06, 0x12, 0x06, 0x03, 0xB1}));
    // The start frame is the tool's: nothing is due until the tool sent it.
    QVERIFY(r.waitingForTool());
    QCOMPARE(r.nextWake(), std::nullopt);
    QVERIFY(r.takeDue(start + 60s).empty());

    // Sent 20 s late; the ACK comes 10 ms (recorded) after it.
    const Micros sent = start + 20s;
    r.received(5, sent);
    QCOMPARE(r.nextWake(), std::optional(sent + at(10'000)));
    QCOMPARE(r.takeDue(sent + at(10'000)), (Bytes{0x90, 0x05, 0x50, 0x03, 0xE8}));
    // The method bytes in one write of two count for both recorded writes.
    const Micros method = sent + 1s;
    r.received(2, method);
    QVERIFY(!r.waitingForTool());
    QCOMPARE(r.takeDue(method + at(19'950)), (Bytes{0x55, 0xAA, 0x08}));
    QCOMPARE(r.takeDue(method + at(39'950)), (Bytes{0x01, 0x2A}));
    QVERIFY(r.finished());
    QCOMPARE(r.nextWake(), std::nullopt);
}

void TstSimReplay::waitsForTheToolsBytes() {
    Replayer r(From(Recorded()), 1.0, 0us);
    r.takeDue(1s);
    r.received(4, 2s); // one byte short of the start frame
    QVERIFY(r.takeDue(10s).empty());
    r.received(1, 11s);
    QCOMPARE(r.takeDue(11s + 10ms), (Bytes{0x90, 0x05, 0x50, 0x03, 0xE8}));
    // Bytes the recorded run did not send carry over to the next meeting.
    r.received(3, 12s);
    QCOMPARE(r.takeDue(12s + 40ms), (Bytes{0x55, 0xAA, 0x08, 0x01, 0x2A}));
}

void TstSimReplay::speedOption_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("1000 times") << QStringList{"--replay", "j.txt", "--speed", "1000"} << "";
    QTest::newRow("half") << QStringList{"--replay=j.txt", "--speed=0.5"} << "";
    QTest::newRow("beyond 1000") << QStringList{"--replay", "j.txt", "--speed", "1000.5"}
                                 << "bad value for --speed";
    QTest::newRow("speed alone") << QStringList{"--speed", "2"} << "--speed needs --replay";
}

void TstSimReplay::speedOption() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    std::vector<std::string> words;
    for (const QString& a : args)
        words.push_back(a.toStdString());
    Options o;
    std::string why;
    QCOMPARE(parseOptions(words, o, why), error.isEmpty());
    QVERIFY2(QString::fromStdString(why).startsWith(error), why.c_str());
    if (error.isEmpty())
        QCOMPARE(o.replay, std::string("j.txt"));
}

QTEST_GUILESS_MAIN(TstSimReplay)
#include "tst_sim_replay.moc"
