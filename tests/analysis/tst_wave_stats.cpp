// Statistics, groups, envelopes and outlier scores over small stores built here.
#include "AnalysisTestData.h"
#include "WaveStats.h"

#include <QTest>

#include <algorithm>
#include <climits>

Q_DECLARE_METATYPE(std::vector<int32_t>)

namespace {
// The plain textbook computation, two passes in long double.
struct TPlain {
    long double mean = 0;
    long double sd = 0;
    long double median = 0;
};

TPlain TwoPass(std::vector<int32_t> v) {
    TPlain p;
    for (const int32_t x : v)
        p.mean += x;
    p.mean /= v.size();
    long double squares = 0;
    for (const int32_t x : v)
        squares += (x - p.mean) * (x - p.mean);
    p.sd = v.size() > 1 ? std::sqrt(squares / (v.size() - 1)) : 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    p.median = n % 2 ? v[n / 2] : (static_cast<long double>(v[n / 2 - 1]) + v[n / 2]) / 2;
    return p;
}

bool Near(double got, long double want) {
    return std::abs(got - want) <= 1e-9L * std::max<long double>(1, std::abs(want));
}

QStringList Names(const std::vector<TGroup>& groups) {
    QStringList out;
    for (const TGroup& g : groups)
        out << g.Name;
    return out;
}
} // namespace

class TstWaveStats : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void describeMatchesTwoPass_data();
    void describeMatchesTwoPass();
    void groups_data();
    void groups();
    void statisticsFollowGroups();
    void envelopeSpansTheGroup();
    void outliers_data();
    void outliers();
};

void TstWaveStats::describeMatchesTwoPass_data() {
    QTest::addColumn<std::vector<int32_t>>("values");
    QTest::addColumn<double>("median");
    QTest::newRow("one") << std::vector<int32_t>{7} << 7.0;
    QTest::newRow("two") << std::vector<int32_t>{3, 8} << 5.5;
    QTest::newRow("odd, unsorted") << std::vector<int32_t>{9, 1, 4, 4, 250} << 4.0;
    QTest::newRow("even, negative") << std::vector<int32_t>{-5, 2, -1, 10} << 0.5;
    QTest::newRow("all equal") << std::vector<int32_t>(37, 128) << 128.0;
    // A 32-bit sum would wrap; so would the two middle values added in 32 bits.
    QTest::newRow("extremes") << std::vector<int32_t>{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX}
                              << 2147483647.0;
    QTest::newRow("middle pair near the top")
        << std::vector<int32_t>{INT32_MAX - 1, INT32_MAX, 0, INT32_MAX} << 2147483646.5;
    std::vector<int32_t> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back(INT32_MAX - (i * 7919) % 1000);
    QTest::newRow("2000 near the top") << many << 0.0;
}

void TstWaveStats::describeMatchesTwoPass() {
    QFETCH(std::vector<int32_t>, values);
    QFETCH(double, median);
    const TStat st = WaveStats::Describe(values);
    const TPlain want = TwoPass(values);
    QCOMPARE(st.N, static_cast<int>(values.size()));
    QCOMPARE(st.Min, *std::min_element(values.begin(), values.end()));
    QCOMPARE(st.Max, *std::max_element(values.begin(), values.end()));
    QVERIFY2(Near(st.Mean, want.mean), qPrintable(QString::number(st.Mean, 'g', 17)));
    QCOMPARE(st.Sd.has_value(), values.size() >= 2);
    if (st.Sd)
        QVERIFY2(Near(*st.Sd, want.sd), qPrintable(QString::number(*st.Sd, 'g', 17)));
    QVERIFY(Near(st.Median, want.median));
    if (median != 0.0)
        QCOMPARE(st.Median, median);
}

void TstWaveStats::groups_data() {
    QTest::addColumn<int>("by");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<QList<int>>>("rows");
    // Labels of records 0..8 below; results are 3, 8, 3, 136, 8, 3, 3, 8, 136.
    QTest::newRow("label") << int(TGrouping::Label)
                           << QStringList{"all",       "10c/fake",  "10c/genuine", "5c/genuine",
                                          "Z/unknown", "a/genuine", "É/genuine"}
                           << QList<QList<int>>{
                                  {0, 1, 2, 3, 4, 6, 7, 8}, {4}, {0, 6}, {1}, {8}, {3}, {2}};
    QTest::newRow("result") << int(TGrouping::Result)
                            << QStringList{"all", "result 3", "result 8", "result 136"}
                            << QList<QList<int>>{
                                   {0, 1, 2, 3, 4, 6, 7, 8}, {0, 2, 6}, {1, 4, 7}, {3, 8}};
}

void TstWaveStats::groups() {
    QFETCH(int, by);
    QFETCH(QStringList, names);
    QFETCH(QList<QList<int>>, rows);
    auto store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    const int results[] = {3, 8, 3, 136, 8, 3, 3, 8, 136};
    const TRecordLabel given[] = {
        Label("10c"), Label("5c"), Label("É"), Label("a"), Label("10c", TCoinClass::Fake),
        // Excluded: in no group, and its kind's group is left empty, so not listed.
        Label("20c", TCoinClass::Genuine, true), Label("10c"), Label(""),
        Label("Z", TCoinClass::Unknown)};
    for (int r = 0; r < 9; ++r) {
        PutCoin(*store, r, {});
        store->WaveSamples[0][static_cast<size_t>(r)][255] = results[r];
        QVERIFY(labels.Set(r, given[r]));
    }
    store->RecordCount = 9;
    const TWaveTable table(*store, labels);
    const std::vector<TGroup> groups = WaveStats::MakeGroups(table, static_cast<TGrouping>(by));
    QCOMPARE(Names(groups), names);
    for (size_t g = 0; g < groups.size(); ++g)
        QCOMPARE(QList<int>(groups[g].Rows.begin(), groups[g].Rows.end()), rows[g]);
}

void TstWaveStats::statisticsFollowGroups() {
    // Two files: the second one's records are numbered on from the first's.
    auto first = std::make_unique<TWaveStore>();
    auto second = std::make_unique<TWaveStore>();
    TWaveLabels firstLabels;
    TWaveLabels secondLabels;
    for (int r = 0; r < 3; ++r) {
        PutCoin(*first, r, {.value0 = 10 * r});
        firstLabels.Set(r, Label("1"));
    }
    for (int r = 0; r < 2; ++r) {
        PutCoin(*second, r, {.value0 = -1000 * r});
        secondLabels.Set(r, Label(r == 0 ? "1" : "2"));
    }
    first->RecordCount = 3;
    second->RecordCount = 2;
    const TWaveTable table(
        {{first.get(), &firstLabels, "a.bwv"}, {second.get(), &secondLabels, "b.bwv"}});
    QCOMPARE(table.Rows().size(), size_t(5));
    QCOMPARE(table.Rows()[3].Record, 3);
    QCOMPARE(table.Rows()[3].Source, 1);
    QCOMPARE(table.Rows()[3].Slot, 0);
    QCOMPARE(table.Rows()[4].Values[2], -1000 + 2);

    const std::vector<TGroup> groups = WaveStats::MakeGroups(table, TGrouping::Label);
    const std::vector<TStatRow> stats = WaveStats::Statistics(table, groups);
    QCOMPARE(Names(groups), (QStringList{"all", "1/genuine", "2/genuine"}));
    QCOMPARE(stats.size(), groups.size() * 20);
    // Group by group, the measurements in sample order, each over its group's records.
    for (size_t i = 0; i < stats.size(); ++i) {
        const TStatRow& row = stats[i];
        QCOMPARE(row.Group, static_cast<int>(i / 20));
        QCOMPARE(row.Measurement, static_cast<int>(i % 20));
        std::vector<int32_t> values;
        for (const int member : groups[static_cast<size_t>(row.Group)].Rows)
            values.push_back(table.Rows()[static_cast<size_t>(member)].Values[i % 20]);
        QCOMPARE(row.Stat.N, static_cast<int>(values.size()));
        QVERIFY(Near(row.Stat.Mean, TwoPass(values).mean));
    }
}

void TstWaveStats::envelopeSpansTheGroup() {
    auto store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    for (int r = 0; r < 4; ++r)
        PutCoin(*store, r, {.entry = 30 + 5 * r, .depth = 40 + 10 * r, .value0 = 0, .noise = r});
    store->WaveSamples[3][1][299] = 99999; // never captured: not in the envelope
    labels.Set(2, Label("", TCoinClass::Unknown, true));
    store->RecordCount = 4;
    const TWaveTable table(*store, labels);
    const TGroup group{"all", {0, 1, 3}};
    const TEnvelope e = WaveStats::Envelope(table, group);
    for (size_t c = 0; c < 6; ++c) {
        for (size_t s = 0; s < 300; ++s) {
            const bool wave = s < 299 && !(c == 0 && s >= 250 && s < 270);
            int32_t low = INT32_MAX;
            int32_t high = INT32_MIN;
            double sum = 0;
            for (const size_t r : {0, 1, 3}) {
                low = std::min(low, store->WaveSamples[c][r][s]);
                high = std::max(high, store->WaveSamples[c][r][s]);
                sum += store->WaveSamples[c][r][s];
            }
            QCOMPARE(e.Min[c][s], wave ? low : 0);
            QCOMPARE(e.Max[c][s], wave ? high : 0);
            QCOMPARE(e.Mean[c][s], wave ? sum / 3 : 0.0);
        }
    }
}

void TstWaveStats::outliers_data() {
    QTest::addColumn<int>("kindA");        // records of kind A, coming in at different times
    QTest::addColumn<int>("kindB");        // records of kind B
    QTest::addColumn<int>("oddDepth");     // depth of one more record labelled A; 0 for none
    QTest::addColumn<QString>("measured"); // the group a record of A is measured against
    QTest::addColumn<int>("flagged");      // how many records are flagged

    QTest::newRow("a deeper dip in its group") << 8 << 6 << 95 << "A/genuine" << 1;
    QTest::newRow("nothing odd") << 8 << 6 << 0 << "A/genuine" << 0;
    // Five records make a group its own records are measured against; four do not.
    QTest::newRow("group of five") << 4 << 6 << 95 << "A/genuine" << 1;
    QTest::newRow("group of four: all") << 3 << 6 << 95 << "all" << 1;
    QTest::newRow("four in all: none") << 2 << 1 << 95 << "" << 0;
}

void TstWaveStats::outliers() {
    QFETCH(int, kindA);
    QFETCH(int, kindB);
    QFETCH(int, oddDepth);
    QFETCH(QString, measured);
    QFETCH(int, flagged);
    auto store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    int r = 0;
    for (int i = 0; i < kindA; ++i, ++r) {
        // Coins roll in up to ten samples early or late: that alone is not odd.
        PutCoin(*store, r,
                {.entry = 30 + (i * 7) % 21, .depth = 60 + i % 3, .value0 = 0, .noise = i});
        labels.Set(r, Label("A"));
    }
    for (int i = 0; i < kindB; ++i, ++r) {
        PutCoin(*store, r, {.entry = 35 + i % 9, .depth = 62, .value0 = 0, .noise = i});
        labels.Set(r, Label("B"));
    }
    const int odd = oddDepth > 0 ? r : -1;
    if (oddDepth > 0) {
        PutCoin(*store, r, {.entry = 40, .depth = oddDepth, .value0 = 0, .noise = 1});
        labels.Set(r++, Label("A"));
    }
    // Excluded: in no group, still measured against its kind.
    PutCoin(*store, r, {.entry = 38, .depth = 61, .value0 = 0, .noise = 5});
    labels.Set(r++, Label("A", TCoinClass::Genuine, true));
    store->RecordCount = r;

    const TWaveTable table(*store, labels);
    const TAnalysis a = Analyse(table);
    QCOMPARE(a.Outliers.size(), static_cast<size_t>(r));
    int count = 0;
    for (int i = 0; i < r; ++i) {
        const TOutlier& o = a.Outliers[static_cast<size_t>(i)];
        count += o.Flagged;
        if (measured.isEmpty()) {
            QVERIFY(!o.Score);
            QCOMPARE(o.Group, -1);
            continue;
        }
        QVERIFY(o.Score);
        QCOMPARE(o.Flagged, *o.Score > WaveStats::OutlierThreshold);
        if (i == odd) {
            QVERIFY2(o.Flagged, qPrintable(QString::number(*o.Score)));
            QCOMPARE(o.Feature, 0); // channel 0's lowest sample
        }
    }
    QCOMPARE(count, flagged);
    if (!measured.isEmpty())
        QCOMPARE(a.Groups[static_cast<size_t>(a.Outliers.back().Group)].Name, measured);
}

QTEST_GUILESS_MAIN(TstWaveStats)
#include "tst_wave_stats.moc"
