// Captures past 200 coins: the numbered files, the rollover at the store's edge, and
// a save that fails leaving the store as it was.
#include "WaveCapture.h"
#include "WaveFile.h"
#include "WaveRollover.h"
#include "WaveTestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
// Coin n: six packets whose samples tell the coin and the channel apart.
void Coin(TWaveCapture& capture, TWaveStore& store, TPlotRequests& plot, int n) {
    for (int c = 0; c < TWaveStore::Channels; ++c)
        capture.ReadWavePackets(Span(Packet(c, SamplesFor(6 * n + c))), store, plot, n * 100);
}

bool HoldsCoin(const TWaveStore& store, int record, int n) {
    for (int c = 0; c < TWaveStore::Channels; ++c)
        if (!Holds(store.WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(record)],
                   SamplesFor(6 * n + c)))
            return false;
    return true;
}

std::unique_ptr<TWaveStore> Load(const QString& path) {
    QByteArray block;
    QString error;
    if (!WaveFile::ReadBlock(path, block, error))
        return nullptr;
    auto store = std::make_unique<TWaveStore>();
    WaveFile::CopyRecords(block, *store);
    return store;
}
} // namespace

class TstWaveRollover : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numberedPaths_data();
    void numberedPaths();
    void nextFreeNumberKeepsEarlierRuns();
    void rollsOverAtTheEdge_data();
    void rollsOverAtTheEdge();
    void failedSaveKeepsTheStore();
    void roomMakerThatLeavesTheStoreFull();

private:
    QTemporaryDir dir;
};

void TstWaveRollover::numberedPaths_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("path");
    QTest::newRow("NAME.bwv") << "out/run.bwv" << 1 << "out/run-001.bwv";
    QTest::newRow("NAME") << "out/run" << 12 << "out/run-012.bwv";
    QTest::newRow("upper case extension") << "RUN.BWV" << 7 << "RUN-007.bwv";
    QTest::newRow("past 999") << "run.bwv" << 1000 << "run-1000.bwv";
}

void TstWaveRollover::numberedPaths() {
    QFETCH(QString, base);
    QFETCH(int, number);
    QFETCH(QString, path);
    QCOMPARE(TWaveRollover::NumberedPath(base, number), path);
}

void TstWaveRollover::nextFreeNumberKeepsEarlierRuns() {
    QTemporaryDir here;
    const QString base = here.filePath("run.bwv");
    QCOMPARE(TWaveRollover::NextFreeNumber(base), 1);
    for (const char* name :
         {"run-001.bwv", "run-007.bwv", "run-x.bwv", "other-009.bwv", "run.bwv", "run-0100.txt"}) {
        QFile f(here.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(TWaveRollover::NextFreeNumber(base), 8);
    QCOMPARE(TWaveRollover::NextFreeNumber(here.filePath("other")), 10);
}

void TstWaveRollover::rollsOverAtTheEdge_data() {
    QTest::addColumn<int>("coins");
    QTest::addColumn<int>("files");   // saved while capturing
    QTest::addColumn<int>("inStore"); // records left in the store
    QTest::newRow("200: full, nothing saved yet") << 200 << 0 << 200;
    QTest::newRow("201: the 201st starts a new store") << 201 << 1 << 1;
    QTest::newRow("400") << 400 << 1 << 200;
    QTest::newRow("401") << 401 << 2 << 1;
}

void TstWaveRollover::rollsOverAtTheEdge() {
    QFETCH(int, coins);
    QFETCH(int, files);
    QFETCH(int, inStore);
    QTemporaryDir here;
    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TRecordingPlot plot;
    TWaveRollover rollover(here.filePath("run.bwv"));
    rollover.Attach(capture);
    for (int n = 0; n < coins; ++n)
        Coin(capture, *store, plot, n);

    QCOMPARE(static_cast<int>(rollover.Files().size()), files);
    QCOMPARE(store->RecordCount, inStore);
    QCOMPARE(rollover.RecordsSaved() + store->RecordCount, coins);
    // Each file holds 200 coins in order; the store goes on with the next one.
    for (int f = 0; f < files; ++f) {
        const QString path =
            here.filePath(QStringLiteral("run-%1.bwv").arg(f + 1, 3, 10, QChar('0')));
        QCOMPARE(rollover.Files()[static_cast<size_t>(f)].Path, path);
        const auto saved = Load(path);
        QVERIFY(saved);
        QCOMPARE(saved->RecordCount, 200);
        for (int r : {0, 1, 199})
            QVERIFY2(HoldsCoin(*saved, r, 200 * f + r), qPrintable(QString::number(r)));
    }
    QVERIFY(HoldsCoin(*store, 0, 200 * files));
    QVERIFY(HoldsCoin(*store, inStore - 1, coins - 1));
    if (files > 0) {
        // Emptied as New empties it: the plot let go of every record's layers.
        QVERIFY(plot.requests.contains("FreeStrip 5 199"));
        QVERIFY(plot.requests.contains("FreeLarge 199"));
    }

    // The end of the run saves the rest, and nothing when nothing is left.
    QVERIFY(rollover.SaveLast(*store, inStore, capture));
    QCOMPARE(rollover.RecordsSaved(), coins);
    QVERIFY(rollover.SaveLast(*store, 0, capture));
    QCOMPARE(static_cast<int>(rollover.Files().size()), files + 1);
}

void TstWaveRollover::failedSaveKeepsTheStore() {
    // The first numbered file's name is taken by a folder: the save cannot replace it.
    QTemporaryDir here;
    QVERIFY(QDir(here.path()).mkdir("run-001.bwv"));
    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TRecordingPlot plot;
    TWaveRollover rollover(here.filePath("run.bwv"));
    rollover.Attach(capture);
    for (int n = 0; n < 200; ++n)
        Coin(capture, *store, plot, n);
    plot.requests.clear();
    Coin(capture, *store, plot, 200);
    Coin(capture, *store, plot, 201);

    QVERIFY(rollover.Failed());
    QVERIFY2(rollover.Error().contains("run-001.bwv"), qPrintable(rollover.Error()));
    QVERIFY(rollover.Files().empty());
    QCOMPARE(store->RecordCount, 200);
    QVERIFY(HoldsCoin(*store, 0, 0));
    QVERIFY(HoldsCoin(*store, 199, 199));
    QVERIFY(plot.requests.isEmpty()); // nothing freed, nothing drawn
    // Once failed it stays failed: no later store overwrites anything either.
    QVERIFY(!rollover.SaveLast(*store, 200, capture));
}

void TstWaveRollover::roomMakerThatLeavesTheStoreFull() {
    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TNoPlot plot;
    for (int n = 0; n < 200; ++n)
        Coin(capture, *store, plot, n);
    int asked = 0;
    capture.MakeRoom = [&asked](TWaveStore&, TPlotRequests&) { return ++asked > 0; };
    const TCaptureReport report =
        capture.ReadWavePackets(Span(Packet(0, SamplesFor(9999))), *store, plot, 0);
    QCOMPARE(asked, 1);
    QVERIFY(report.StoreFull);
    QVERIFY(!report.Filed);
    QCOMPARE(store->RecordCount, 200);
    QCOMPARE(capture.PacketsInRecord, 0);
    QVERIFY(Holds(store->LiveWave[0], SamplesFor(9999)));
}

QTEST_GUILESS_MAIN(TstWaveRollover)
#include "tst_wave_rollover.moc"
