#include "WaveActive.h"
#include "WaveFile.h"
#include "WaveTestData.h"

#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(QList<int>)

namespace {
// Record r holds id ids[r]: sample 0 of channel c is 10·id + c, its length 100 + id.
void Fill(TWaveStore& store, const QList<int>& ids) {
    for (int r = 0; r < ids.size(); ++r) {
        for (int c = 0; c < TWaveStore::Channels; ++c) {
            auto& row = store.WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(r)];
            row.fill(ids[r]);
            row[0] = 10 * ids[r] + c;
        }
        store.RecordLength[static_cast<size_t>(r)] = 100 + ids[r];
    }
    store.RecordCount = static_cast<int32_t>(ids.size());
}

QList<int> Ids(const TWaveStore& store) {
    QList<int> ids;
    for (int r = 0; r < store.RecordCount; ++r) {
        const int id = store.WaveSamples[0][static_cast<size_t>(r)][0] / 10;
        for (int c = 0; c < TWaveStore::Channels; ++c)
            if (store.WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(r)][0] != 10 * id + c)
                return {-1};
        if (store.RecordLength[static_cast<size_t>(r)] != 100 + id)
            return {-2};
        ids << id;
    }
    return ids;
}

QStringList ShowCurrent(int record, int previous, int selected) {
    QStringList out;
    for (int s = 0; s < 6; ++s)
        out << QStringLiteral("DrawStrip %1 %2 %3").arg(s).arg(record).arg(previous)
            << QStringLiteral("RaiseStrip %1 %2").arg(s).arg(record)
            << QStringLiteral("RaiseTop %1").arg(s);
    out << QStringLiteral("DrawLarge %1 %2 %3").arg(selected).arg(record).arg(previous);
    return out;
}

QStringList FreeRecord(int record) {
    QStringList out;
    for (int s = 0; s < 6; ++s)
        out << QStringLiteral("FreeStrip %1 %2").arg(s).arg(record);
    out << QStringLiteral("FreeLarge %1").arg(record);
    return out;
}
} // namespace

class TstWaveStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void delThis_data();
    void delThis();
    void nextAndLastAtTheEnds_data();
    void nextAndLastAtTheEnds();
    void emptyingFreesTheLayersOfTheView_data();
    void emptyingFreesTheLayersOfTheView();
    void loadDrawsEveryRecord();
    void loadOneDrawsRecordZeroAndBrowses();
    void staleCurrentRecordAfterLoadOneStaysInTheStore();

private:
    std::unique_ptr<TWaveStore> store;
    TRecordingPlot plot;
};

void TstWaveStore::init() {
    store = std::make_unique<TWaveStore>();
    plot.requests.clear();
}

void TstWaveStore::delThis_data() {
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<int>("current");
    QTest::addColumn<QList<int>>("left");
    QTest::addColumn<int>("currentAfter");
    QTest::addColumn<QStringList>("requests");
    const auto clear = [](int r) {
        QStringList out;
        for (int s = 0; s < 6; ++s)
            out << QStringLiteral("ClearStrip %1 %2").arg(s).arg(r);
        return out << QStringLiteral("ClearLarge %1").arg(r);
    };
    // The last record moves into the hole; the strips draw it against record 0.
    QTest::newRow("middle") << QList<int>{1, 2, 3} << 1 << QList<int>{1, 3} << 1
                            << clear(1) + FreeRecord(2) + ShowCurrent(1, 0, 4);
    QTest::newRow("first") << QList<int>{1, 2, 3} << 0 << QList<int>{3, 2} << 0
                           << clear(0) + FreeRecord(2) + ShowCurrent(0, 0, 4);
    QTest::newRow("last") << QList<int>{1, 2, 3} << 2 << QList<int>{1, 2} << 1
                          << FreeRecord(2) + ShowCurrent(1, 0, 4);
    QTest::newRow("only") << QList<int>{7} << 0 << QList<int>{} << -1 << FreeRecord(0);
}

void TstWaveStore::delThis() {
    QFETCH(QList<int>, ids);
    QFETCH(int, current);
    QFETCH(QList<int>, left);
    QFETCH(int, currentAfter);
    QFETCH(QStringList, requests);
    Fill(*store, ids);
    store->CurrentRecord = current;
    store->PreviousRecord = 9;
    store->SelectedChannel = 4;
    WaveActive::DelThis(*store, plot);
    QCOMPARE(Ids(*store), left);
    QCOMPARE(store->CurrentRecord, currentAfter);
    QCOMPARE(store->PreviousRecord, 9);
    QCOMPARE(plot.requests, requests);
}

void TstWaveStore::nextAndLastAtTheEnds_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("next");
    QTest::addColumn<int>("currentAfter");
    QTest::newRow("next at the last") << 3 << 2 << true << 2;
    QTest::newRow("next in the middle") << 3 << 1 << true << 2;
    QTest::newRow("last at record 0") << 3 << 0 << false << 0;
    QTest::newRow("last in the middle") << 3 << 1 << false << 0;
    QTest::newRow("next on an empty store") << 0 << 0 << true << 0;
}

void TstWaveStore::nextAndLastAtTheEnds() {
    QFETCH(int, count);
    QFETCH(int, current);
    QFETCH(bool, next);
    QFETCH(int, currentAfter);
    Fill(*store, QList<int>{1, 2, 3}.mid(0, count));
    store->CurrentRecord = current;
    store->PreviousRecord = 7;
    store->SelectedChannel = 2;
    store->SingleTraceDrawing = true;
    const bool moved = next ? WaveActive::Next(*store, plot) : WaveActive::Last(*store, plot);
    QCOMPARE(moved, currentAfter != current);
    QCOMPARE(store->CurrentRecord, currentAfter);
    QCOMPARE(store->PreviousRecord, moved ? current : 7);
    QCOMPARE(plot.requests, moved ? ShowCurrent(currentAfter, current, 2) : QStringList());
    QVERIFY(!store->SingleTraceDrawing); // cleared also when nothing moved
}

void TstWaveStore::emptyingFreesTheLayersOfTheView_data() {
    QTest::addColumn<bool>("single");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("requests");
    QTest::newRow("overlay") << false << 2
                             << Requests({"FreeStrip 0 0", "FreeStrip 0 1", "FreeStrip 1 0",
                                          "FreeStrip 1 1", "FreeStrip 2 0", "FreeStrip 2 1",
                                          "FreeStrip 3 0", "FreeStrip 3 1", "FreeStrip 4 0",
                                          "FreeStrip 4 1", "FreeStrip 5 0", "FreeStrip 5 1",
                                          "FreeLarge 0", "FreeLarge 1", "Caption ''"});
    QTest::newRow("single record") << true << 3 << FreeRecord(0) + Requests({"Caption ''"});
    QTest::newRow("empty") << false << 0 << Requests({"Caption ''"});
}

void TstWaveStore::emptyingFreesTheLayersOfTheView() {
    QFETCH(bool, single);
    QFETCH(int, count);
    QFETCH(QStringList, requests);
    Fill(*store, QList<int>{1, 2, 3}.mid(0, count));
    store->WaveSamples[3][150][17] = 5; // a slot beyond the count is zeroed too
    store->SingleRecordView = single;
    store->CurrentRecord = 1;
    WaveActive::EmptyStore(*store, plot);
    QCOMPARE(plot.requests, requests);
    QCOMPARE(store->RecordCount, 0);
    QCOMPARE(store->CurrentRecord, 1);
    QCOMPARE(store->WaveSamples[3][150][17], count > 0 ? 0 : 5);
    QCOMPARE(store->RecordLength[0], count > 0 ? 101 : 0); // lengths stay
}

void TstWaveStore::loadDrawsEveryRecord() {
    auto source = std::make_unique<TWaveStore>();
    Fill(*source, {4, 5});
    store->SelectedChannel = 3; // Load draws strip 0's channel whatever is selected
    WaveActive::Load(*store, plot, WaveFile::BuildBlock(*source));
    QCOMPARE(Ids(*store), (QList<int>{4, 5}));
    QCOMPARE(store->CurrentRecord, 1);
    QStringList expected;
    for (int s = 0; s < 6; ++s)
        expected << QStringLiteral("AddStrip %1 0").arg(s)
                 << QStringLiteral("DrawStrip %1 0 -1").arg(s)
                 << QStringLiteral("AddStrip %1 1").arg(s)
                 << QStringLiteral("DrawStrip %1 1 0").arg(s)
                 << QStringLiteral("RaiseTop %1").arg(s);
    expected << Requests({"AddLarge 0", "DrawLarge 0 0 -1", "AddLarge 1", "DrawLarge 0 1 0",
                          "Caption 'ch0'", "RaiseOverlay"});
    QCOMPARE(plot.requests, expected);
}

void TstWaveStore::loadOneDrawsRecordZeroAndBrowses() {
    auto source = std::make_unique<TWaveStore>();
    Fill(*source, {4, 5});
    store->CurrentRecord = 0;
    store->SelectedChannel = 2;
    WaveActive::LoadOne(*store, plot, WaveFile::BuildBlock(*source));
    QVERIFY(store->SingleRecordView);
    QCOMPARE(store->BrowseIndex, 0);
    QStringList expected;
    for (int s = 0; s < 6; ++s)
        expected << QStringLiteral("AddStrip %1 0").arg(s)
                 << QStringLiteral("DrawStrip %1 0 0").arg(s)
                 << QStringLiteral("RaiseTop %1").arg(s);
    expected << Requests({"AddLarge 0", "DrawLarge 0 0 0", "Caption 'ch0'", "RaiseOverlay"});
    QCOMPARE(plot.requests, expected);

    plot.requests.clear();
    QVERIFY(!WaveActive::BrowseLast(*store, plot));
    QVERIFY(WaveActive::BrowseNext(*store, plot));
    QVERIFY(!WaveActive::BrowseNext(*store, plot));
    QCOMPARE(store->BrowseIndex, 1);
    QVERIFY(store->SingleTraceDrawing);
    expected.clear();
    for (int s = 0; s < 6; ++s)
        expected << QStringLiteral("FreeStrip %1 0").arg(s)
                 << QStringLiteral("AddStrip %1 0").arg(s)
                 << QStringLiteral("DrawStrip %1 1 -1").arg(s)
                 << QStringLiteral("RaiseTop %1").arg(s);
    expected << Requests({"FreeLarge 0", "AddLarge 0", "DrawLarge 2 1 -1", "RaiseOverlay"});
    QCOMPARE(plot.requests, expected);

    store->SingleRecordView = false; // New leaves the single-record view
    QVERIFY(!WaveActive::BrowseLast(*store, plot));
}

void TstWaveStore::staleCurrentRecordAfterLoadOneStaysInTheStore() {
    // Load one keeps the current record of the store it replaced.
    auto source = std::make_unique<TWaveStore>();
    Fill(*source, {4, 5, 6});
    store->CurrentRecord = 150;
    WaveActive::LoadOne(*store, plot, WaveFile::BuildBlock(*source));
    plot.requests.clear();
    WaveActive::DelThis(*store, plot);
    QCOMPARE(Ids(*store), (QList<int>{4, 5, 6}));
    QVERIFY(plot.requests.isEmpty());
    QVERIFY(WaveActive::Last(*store, plot));
    QCOMPARE(store->CurrentRecord, 2);
}

QTEST_GUILESS_MAIN(TstWaveStore)
#include "tst_wave_store.moc"
