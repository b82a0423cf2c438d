#include "WaveActive.h"
#include "WaveCapture.h"
#include "WaveTestData.h"

#include <QRandomGenerator>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(QList<int>)

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
    void newInTheMiddleOfARecordKeepsTheCount();
    void randomStreamWithNoise();

private:
    TCaptureReport Deliver(const QByteArray& bytes) {
        return capture.ReadWavePackets(Span(bytes), *store, plot);
    }

    std::unique_ptr<TWaveStore> store;
    TWaveCapture capture;
    TRecordingPlot plot;
};

void TstWaveCapture::init() {
    store = std::make_unique<TWaveStore>();
    capture = TWaveCapture();
    plot.requests.clear();
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
    QTest::newRow("all channel 2") << QList<int>{2, 2, 2, 2, 2, 2};
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

void TstWaveCapture::newInTheMiddleOfARecordKeepsTheCount() {
    for (int i = 0; i < 6; ++i)
        Deliver(Packet(i, SamplesFor(i)));
    for (int i = 0; i < 3; ++i)
        Deliver(Packet(i, SamplesFor(10 + i)));
    WaveActive::New(*store, plot);
    for (int i = 3; i < 6; ++i)
        Deliver(Packet(i, SamplesFor(10 + i)));
    QCOMPARE(store->RecordCount, 1);
    QCOMPARE(store->CurrentRecord, 0);
    QCOMPARE(store->WaveSamples[0][0], (std::array<int32_t, 300>{})); // emptied by New
    QVERIFY(Holds(store->WaveSamples[5][0], SamplesFor(15)));
}

void TstWaveCapture::randomStreamWithNoise() {
    QRandomGenerator rng(20161208);
    struct TSent {
        int channel;
        int id;
    };
    QList<TSent> sent;
    QByteArray stream;
    for (int id = 0; id < 400; ++id) {
        // Noise between packets, sometimes with a stray header in it.
        QByteArray noise;
        const int noiseLength = rng.bounded(0, 24);
        for (int i = 0; i < noiseLength; ++i)
            noise.append(static_cast<char>(rng.bounded(256)));
        if (rng.bounded(8) == 0)
            noise.insert(rng.bounded(noise.size() + 1), QByteArray("\x55\xAA\x08", 3));
        stream += noise;
        const int channel = rng.bounded(6);
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
    QCOMPARE(store->RecordCount, 400 / 6);
}

QTEST_GUILESS_MAIN(TstWaveCapture)
#include "tst_wave_capture.moc"
