#include "WaveActive.h"
#include "WaveCapture.h"
#include "WaveTestData.h"

#include <QRandomGenerator>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(QList<int>)
Q_DECLARE_METATYPE(QList<QList<int>>)

class TstWaveCapture : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void packetsFiledIntactWhereverDeliveriesCut_data();
    void packetsFiledIntactWhereverDeliveriesCut();
    void shortDeliveriesStartNothing();
    void packetCutShortByTheNextHeaderIsDropped();
    void channelOutsideTheStripsIsDropped_data();
    void channelOutsideTheStripsIsDropped();
    void sixPacketsCloseARecord_data();
    void sixPacketsCloseARecord();
    void plotRequestsOfTwoRecords();
    void fullStoreTakesOnlyTheLiveWave();
    void recordsNeverMixCoins_data();
    void recordsNeverMixCoins();
    void newInTheMiddleOfARecordAbandonsIt();
    void randomStreamWithNoise();

private:
    // Deliveries 10 ms apart, as the poll brings them, unless a test moves the clock.
    TCaptureReport Deliver(const QByteArray& bytes) {
        nowMs += 10;
        return capture.ReadWavePackets(Span(bytes), *store, plot, nowMs);
    }

    std::unique_ptr<TWaveStore> store;
    TWaveCapture capture;
    TRecordingPlot plot;
    int64_t nowMs = 0;
};

void TstWaveCapture::init() {
    store = std::make_unique<TWaveStore>();
    capture = TWaveCapture();
    plot.requests.clear();
    nowMs = 0;
}

void TstWaveCapture::packetsFiledIntactWhereverDeliveriesCut_data() {
    QTest::addColumn<int>("packets");
    QTest::addColumn<QList<int>>("cuts"); // delivery sizes; the rest comes in one
    QTest::newRow("100+100+108") << 1 << QList<int>{100, 100, 108};
    QTest::newRow("header split 1+2") << 1 << QList<int>{1, 307};
    QTest::newRow("header split 2+1") << 1 << QList<int>{2, 306};
    QTest::newRow("one byte a delivery") << 1 << QList<int>(308, 1);
    // The last 50 bytes of one packet and the first 258 of the next in one delivery.
    QTest::newRow("50+258") << 2 << QList<int>{258, 308, 50};
    QTest::newRow("next header split after the end") << 2 << QList<int>{309, 307};
    QTest::newRow("six packets in one delivery") << 6 << QList<int>{};
}

void TstWaveCapture::packetsFiledIntactWhereverDeliveriesCut() {
    QFETCH(int, packets);
    QFETCH(QList<int>, cuts);
    QByteArray stream;
    for (int i = 0; i < packets; ++i)
        stream += Packet(i, SamplesFor(i + 1));
    qsizetype at = 0;
    for (int cut : cuts) {
        Deliver(stream.mid(at, cut));
        at += cut;
    }
    Deliver(stream.mid(at));

    QCOMPARE(capture.PacketsInRecord, packets % 6);
    QCOMPARE(capture.DroppedPackets, 0);
    for (int i = 0; i < packets; ++i) {
        QVERIFY(Holds(store->LiveWave[static_cast<size_t>(i)], SamplesFor(i + 1)));
        QVERIFY(Holds(store->WaveSamples[static_cast<size_t>(i)][0], SamplesFor(i + 1)));
    }
    QCOMPARE(store->RecordCount, packets / 6);
}

void TstWaveCapture::shortDeliveriesStartNothing() {
    Deliver(QByteArray("\x55\xAA", 2));
    Deliver(QByteArray("\x01", 1)); // not 08: no header across the two
    QVERIFY(!capture.CaptureActive);
    Deliver(QByteArray("\x55", 1));
    QVERIFY(!capture.CaptureActive);
}

void TstWaveCapture::packetCutShortByTheNextHeaderIsDropped() {
    QByteArray cut = Packet(1, SamplesFor(10));
    cut.remove(100, 20); // lost on the line
    const QByteArray next = Packet(2, SamplesFor(11));
    Deliver(cut + next.left(150));
    Deliver(next.mid(150));
    QCOMPARE(capture.DroppedPackets, 1);
    QCOMPARE(capture.PacketsInRecord, 1);
    QVERIFY(Holds(store->WaveSamples[2][0], SamplesFor(11)));
    QCOMPARE(store->WaveSamples[1][0], (std::array<int32_t, 300>{}));
    QCOMPARE(store->LiveWave[1], (std::array<int32_t, 300>{}));
}

void TstWaveCapture::channelOutsideTheStripsIsDropped_data() {
    QTest::addColumn<int>("channel");
    QTest::newRow("6") << 6;
    QTest::newRow("255") << 255;
}

void TstWaveCapture::channelOutsideTheStripsIsDropped() {
    QFETCH(int, channel);
    Deliver(Packet(0, SamplesFor(1)));
    store->SingleTraceDrawing = true;
    const auto before = std::make_unique<TWaveStore>(*store);
    plot.requests.clear();
    const TCaptureReport report = Deliver(Packet(channel, SamplesFor(2)));
    QVERIFY(!report.Filed);
    QCOMPARE(capture.PacketsInRecord, 1);
    QCOMPARE(capture.DroppedPackets, 1);
    QVERIFY(store->WaveSamples == before->WaveSamples);
    QVERIFY(store->LiveWave == before->LiveWave);
    QVERIFY(plot.requests.isEmpty());
    // The stream goes on.
    QVERIFY(Deliver(Packet(3, SamplesFor(4))).Filed);
    QCOMPARE(capture.PacketsInRecord, 2);
}

void TstWaveCapture::sixPacketsCloseARecord_data() {
    QTest::addColumn<QList<int>>("channels");
    QTest::newRow("in order") << QList<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("any order") << QList<int>{4, 0, 5, 2, 1, 3};
}

void TstWaveCapture::sixPacketsCloseARecord() {
    QFETCH(QList<int>, channels);
    for (int i = 0; i < 6; ++i) {
        const TCaptureReport report = Deliver(Packet(channels[i], SamplesFor(20 + i), 0x0100 + i));
        QCOMPARE(report.RecordClosed, i == 5);
        QCOMPARE(store->RecordCount, i == 5 ? 1 : 0);
    }
    QCOMPARE(capture.PacketsInRecord, 0);
    QCOMPARE(store->CurrentRecord, 0);
    QCOMPARE(store->RecordLength[0], 0x0105); // the last packet's
    // Each channel holds the last packet that named it.
    for (int i = 0; i < 6; ++i)
        if (channels.lastIndexOf(channels[i]) == i)
            QVERIFY(
                Holds(store->WaveSamples[static_cast<size_t>(channels[i])][0], SamplesFor(20 + i)));
}

void TstWaveCapture::plotRequestsOfTwoRecords() {
    // Any delivery ends single-trace drawing, a packet's first bytes too.
    store->SingleTraceDrawing = true;
    Deliver(Packet(0, SamplesFor(0)).left(10));
    QVERIFY(!store->SingleTraceDrawing);
    capture = TWaveCapture();
    store->SingleTraceDrawing = true;
    for (int i = 0; i < 12; ++i)
        Deliver(Packet(i % 6, SamplesFor(i)));
    QVERIFY(!store->SingleTraceDrawing);
    QStringList expected;
    for (int r = 0; r < 2; ++r) {
        expected << QStringLiteral("AddLarge %1").arg(r);
        for (int p = 0; p < 6; ++p)
            expected << QStringLiteral("RaiseOverlay");
        for (int s = 0; s < 6; ++s)
            expected << QStringLiteral("AddStrip %1 %2").arg(s).arg(r)
                     << QStringLiteral("DrawStrip %1 %2 %3").arg(s).arg(r).arg(r - 1);
    }
    QCOMPARE(plot.requests, expected);
}

void TstWaveCapture::fullStoreTakesOnlyTheLiveWave() {
    store->RecordCount = 199;
    for (int i = 0; i < 6; ++i)
        Deliver(Packet(i, SamplesFor(i)));
    QCOMPARE(store->RecordCount, 200);
    QCOMPARE(store->CurrentRecord, 199);

    store->SingleTraceDrawing = true;
    const auto before = std::make_unique<TWaveStore>(*store);
    plot.requests.clear();
    for (int i = 0; i < 7; ++i) {
        const TCaptureReport report = Deliver(Packet(i % 6, SamplesFor(100 + i), 0x0222));
        QVERIFY(!report.Filed);
        QCOMPARE(report.Length, 0x0222);
    }
    QVERIFY(Holds(store->LiveWave[0], SamplesFor(106)));
    QVERIFY(store->WaveSamples == before->WaveSamples);
    QVERIFY(store->RecordLength == before->RecordLength);
    QCOMPARE(store->RecordCount, 200);
    QCOMPARE(store->CurrentRecord, 199);
    QCOMPARE(capture.PacketsInRecord, 0);
    QVERIFY(store->SingleTraceDrawing);
    QVERIFY(plot.requests.isEmpty());
}

namespace {
// A coin's packet of channel c carries these samples; coins tell apart by id.
int SampleId(int coin, int channel) {
    return coin * 10 + channel;
}
} // namespace

void TstWaveCapture::recordsNeverMixCoins_data() {
    // Each coin lists the channels it sends, back to back: 10 + c is channel c's packet
    // cut short after 150 bytes, 7 a packet whose channel byte is 7. Coins come 2 s
    // apart; `pauseMs` is a pause of the line after the first coin's third packet.
    QTest::addColumn<QList<QList<int>>>("coins");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<QList<int>>("filed"); // coins whose records are filed, in order
    QTest::addColumn<int>("dropped");
    QTest::addColumn<int>("abandoned");
    const QList<int> all{0, 1, 2, 3, 4, 5};
    QTest::newRow("whole coins") << QList<QList<int>>{all, {5, 3, 1, 0, 2, 4}} << 0
                                 << QList<int>{0, 1} << 0 << 0;
    QTest::newRow("one packet cut")
        << QList<QList<int>>{{0, 1, 12, 3, 4, 5}, all, all} << 0 << QList<int>{1, 2} << 1 << 1;
    QTest::newRow("channel byte 7")
        << QList<QList<int>>{{0, 1, 2, 7, 4, 5}, all} << 0 << QList<int>{1} << 1 << 1;
    QTest::newRow("missing channel 3")
        << QList<QList<int>>{{0, 1, 2, 4, 5}, all} << 0 << QList<int>{1} << 0 << 1;
    QTest::newRow("missing the next coin's first channel")
        << QList<QList<int>>{{1, 2, 3, 4, 5}, all} << 0 << QList<int>{1} << 0 << 1;
    QTest::newRow("all channel 2")
        << QList<QList<int>>{{2, 2, 2, 2, 2, 2}, all} << 0 << QList<int>{1} << 0 << 6;
    QTest::newRow("pause of a second")
        << QList<QList<int>>{all, all} << 1000 << QList<int>{0, 1} << 0 << 0;
    QTest::newRow("pause past a second")
        << QList<QList<int>>{all, all} << 1001 << QList<int>{1} << 0 << 2;
}

void TstWaveCapture::recordsNeverMixCoins() {
    QFETCH(QList<QList<int>>, coins);
    QFETCH(int, pauseMs);
    QFETCH(QList<int>, filed);
    QFETCH(int, dropped);
    QFETCH(int, abandoned);
    for (int coin = 0; coin < coins.size(); ++coin) {
        nowMs += 2000;
        for (int p = 0; p < coins[coin].size(); ++p) {
            const int code = coins[coin][p];
            const int channel = code >= 10 ? code - 10 : code;
            QByteArray packet = Packet(channel, SamplesFor(SampleId(coin, channel)));
            if (code >= 10)
                packet.truncate(150);
            if (coin == 0 && p == 3)
                nowMs += pauseMs - 10; // the next delivery comes pauseMs after the last
            // A packet takes about 320 ms on the line, in deliveries of about ten bytes.
            for (qsizetype at = 0; at < packet.size(); at += 10)
                Deliver(packet.mid(at, 10));
        }
    }
    QCOMPARE(store->RecordCount, filed.size());
    for (int r = 0; r < filed.size(); ++r)
        for (int c = 0; c < 6; ++c)
            QVERIFY2(Holds(store->WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(r)],
                           SamplesFor(SampleId(filed[r], c))),
                     qPrintable(QStringLiteral("record %1 channel %2").arg(r).arg(c)));
    QCOMPARE(capture.DroppedPackets, dropped);
    QCOMPARE(capture.AbandonedRecords, abandoned);
}

void TstWaveCapture::newInTheMiddleOfARecordAbandonsIt() {
    for (int i = 0; i < 6; ++i)
        Deliver(Packet(i, SamplesFor(i)));
    for (int i = 0; i < 3; ++i)
        Deliver(Packet(i, SamplesFor(10 + i)));
    plot.requests.clear();
    // The page abandons the coin in progress before the store is emptied under it.
    capture.AbandonRecord(*store, plot);
    WaveActive::New(*store, plot);
    QCOMPARE(plot.requests.first(), QStringLiteral("FreeLarge 1"));
    for (int i = 3; i < 6; ++i)
        Deliver(Packet(i, SamplesFor(10 + i)));
    QCOMPARE(store->RecordCount, 0);
    QCOMPARE(capture.AbandonedRecords, 1);
    // The next coin, after the line was quiet, gives up the rest of the cut one.
    plot.requests.clear();
    nowMs += 2000;
    for (int i = 0; i < 6; ++i)
        Deliver(Packet(i, SamplesFor(20 + i)));
    QCOMPARE(store->RecordCount, 1);
    QCOMPARE(capture.AbandonedRecords, 2);
    QCOMPARE(plot.requests.mid(0, 2), Requests({"FreeLarge 0", "AddLarge 0"}));
    QVERIFY(Holds(store->WaveSamples[0][0], SamplesFor(20)));
}

void TstWaveCapture::randomStreamWithNoise() {
    QRandomGenerator rng(20161208);
    struct TSent {
        int channel;
        int id;
    };
    QList<TSent> sent;
    QByteArray stream;
    for (int id = 0; id < 396; ++id) {
        // Noise between packets, sometimes with a stray header in it.
        QByteArray noise;
        const int noiseLength = rng.bounded(0, 24);
        for (int i = 0; i < noiseLength; ++i)
            noise.append(static_cast<char>(rng.bounded(256)));
        if (rng.bounded(8) == 0)
            noise.insert(rng.bounded(noise.size() + 1), QByteArray("\x55\xAA\x08", 3));
        stream += noise;
        // Each coin sends its six channels in an order of its own.
        static constexpr std::array<std::array<int, 6>, 3> orders{
            {{0, 1, 2, 3, 4, 5}, {5, 4, 3, 2, 1, 0}, {2, 0, 4, 1, 5, 3}}};
        const int channel = orders[static_cast<size_t>(id / 6 % 3)][static_cast<size_t>(id % 6)];
        stream += Packet(channel, SamplesFor(id));
        sent.append({channel, id});
    }
    qsizetype at = 0;
    qsizetype next = 0;
    while (at < stream.size()) {
        const int cut = rng.bounded(1, 40);
        if (Deliver(stream.mid(at, cut)).Filed) {
            // At most one packet ends in a delivery this short.
            QVERIFY(next < sent.size());
            const TSent& s = sent[next++];
            QVERIFY2(Holds(store->LiveWave[static_cast<size_t>(s.channel)], SamplesFor(s.id)),
                     qPrintable(QStringLiteral("packet %1").arg(s.id)));
        }
        at += cut;
    }
    QCOMPARE(next, sent.size());
    QCOMPARE(store->RecordCount, 396 / 6);
    QCOMPARE(capture.AbandonedRecords, 0);
}

QTEST_GUILESS_MAIN(TstWaveCapture)
#include "tst_wave_capture.moc"
