// Teaching windows, the live checks and the comparison, against literal sets and
// against a brute-force recount written here without the production code.
#include "AnalysisTestData.h"
#include "WaveTeach.h"
#include "WaveWindowsFile.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(std::vector<int32_t>)

namespace {
using TValues = std::array<int32_t, 20>;

const QDateTime Taught(QDate(2025, 3, 5), QTime(14, 30, 15));

void PutValues(TWaveStore& store, int r, const TValues& v) {
    for (size_t m = 0; m < 20; ++m)
        store.WaveSamples[0][static_cast<size_t>(r)][250 + m] = v[m];
}

// A labelled set drawn at random: up to four kinds of genuine coins around their own
// means, fakes anywhere, a few unknown and a few excluded.
struct TRandomSet {
    std::unique_ptr<TWaveStore> store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
};

TRandomSet RandomSet(quint32 seed) {
    QRandomGenerator rng(seed);
    TRandomSet set;
    const int kinds = 1 + rng.bounded(4);
    std::vector<TValues> centre(static_cast<size_t>(kinds));
    for (TValues& c : centre)
        for (int32_t& v : c)
            v = 10 + rng.bounded(236);
    const int count = 20 + rng.bounded(181);
    for (int r = 0; r < count; ++r) {
        const int roll = rng.bounded(20);
        const int kind = rng.bounded(kinds);
        TValues v{};
        for (size_t m = 0; m < 20; ++m) {
            const int spread = m % 4 == 0 ? 0 : 1 + static_cast<int>(m % 5); // some constant
            v[m] = roll < 3 ? rng.bounded(256)
                            : std::clamp(centre[static_cast<size_t>(kind)][m] +
                                             rng.bounded(-spread, spread + 1),
                                         0, 255);
        }
        PutValues(*set.store, r, v);
        const QString name = QString::number(kind);
        set.labels.Set(r, roll < 3    ? TRecordLabel{"slug", TCoinClass::Fake, false, {}}
                          : roll == 3 ? TRecordLabel{name, TCoinClass::Unknown, false, {}}
                          : roll == 4 ? TRecordLabel{name, TCoinClass::Genuine, true, {}}
                                      : TRecordLabel{name, TCoinClass::Genuine, false, {}});
    }
    set.store->RecordCount = count;
    return set;
}

// The window by the book: mean ± k·sd (two passes, n − 1), ±1 around equal values,
// or min − margin .. max + margin; whole counts, clipped to 0..255.
std::pair<int, int> BookWindow(const std::vector<int32_t>& v, const TTeachRule& rule) {
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    long double low = 0;
    long double high = 0;
    if (rule.Margin) {
        low = *lo - *rule.Margin;
        high = *hi + *rule.Margin;
    } else if (*lo == *hi) {
        low = *lo - 1;
        high = *hi + 1;
    } else {
        long double mean = 0;
        for (const int32_t x : v)
            mean += x;
        mean /= v.size();
        long double squares = 0;
        for (const int32_t x : v)
            squares += (x - mean) * (x - mean);
        const long double sd = std::sqrt(squares / (v.size() - 1));
        low = std::floor(mean - rule.K * sd + 1e-9L);
        high = std::ceil(mean + rule.K * sd - 1e-9L);
    }
    return {static_cast<int>(std::clamp<long double>(low, 0, 255)),
            static_cast<int>(std::clamp<long double>(high, 0, 255))};
}

struct TRecount {
    QMap<QString, QList<int>> rejects;
    QMap<QString, QList<int>> accepts;
};

// False rejects and accepts counted one record at a time, windows taught anew for each.
TRecount BruteForce(const TWaveTable& table, const TTeachRule& rule) {
    const auto& rows = table.Rows();
    const auto taughtAs = [&](size_t i) {
        const TRecordLabel& l = rows[i].Label;
        return !l.Excluded && l.Class == TCoinClass::Genuine ? l.Kind : QString();
    };
    const auto inside = [&](const QString& kind, size_t record, std::optional<size_t> without) {
        for (size_t m = 0; m < 20; ++m) {
            std::vector<int32_t> v;
            for (size_t i = 0; i < rows.size(); ++i)
                if (taughtAs(i) == kind && i != without)
                    v.push_back(rows[i].Values[m]);
            if (v.empty())
                return false;
            const auto [low, high] = BookWindow(v, rule);
            if (rows[record].Values[m] < low || rows[record].Values[m] > high)
                return false;
        }
        return true;
    };
    QStringList kinds;
    for (size_t i = 0; i < rows.size(); ++i)
        if (!taughtAs(i).isEmpty() && !kinds.contains(taughtAs(i)))
            kinds << taughtAs(i);
    TRecount out;
    for (const QString& kind : kinds) {
        out.rejects[kind];
        out.accepts[kind];
        for (size_t i = 0; i < rows.size(); ++i) {
            const TRecordLabel& l = rows[i].Label;
            if (taughtAs(i) == kind && !inside(kind, i, i))
                out.rejects[kind] << static_cast<int>(i);
            const bool other =
                l.Class == TCoinClass::Fake || (l.Class == TCoinClass::Genuine && l.Kind != kind);
            if (!l.Excluded && other && inside(kind, i, std::nullopt))
                out.accepts[kind] << static_cast<int>(i);
        }
    }
    return out;
}

TRecount Counted(const TTeaching& t) {
    TRecount out;
    for (size_t k = 0; k < t.Windows.size(); ++k) {
        const auto& r = t.Reports[k];
        out.rejects[t.Windows[k].Kind] = QList<int>(r.FalseRejects.begin(), r.FalseRejects.end());
        out.accepts[t.Windows[k].Kind] = QList<int>(r.FalseAccepts.begin(), r.FalseAccepts.end());
    }
    return out;
}

// Measurement values, 0 where not given.
TValues With(std::initializer_list<std::pair<int, int32_t>> given) {
    TValues v{};
    for (const auto& [m, value] : given)
        v[static_cast<size_t>(m)] = value;
    return v;
}

TKindWindows Kind(const char* name, std::initializer_list<std::pair<int, TWindow>> windows) {
    TKindWindows k;
    k.Kind = QString::fromUtf8(name);
    k.N = 40;
    k.Date = Taught;
    for (const auto& [m, w] : windows)
        k.Windows[static_cast<size_t>(m)] = w;
    return k;
}
} // namespace

class TstWaveTeach : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowOf_data();
    void windowOf();
    void teachLiteralSet();
    void recountedByBruteForce_data();
    void recountedByBruteForce();
    void widerWindowsNeverRejectMoreNorAcceptFewer();
    void checkNamesTheNearestKind_data();
    void checkNamesTheNearestKind();
    void maskBand_data();
    void maskBand();
    void compare_data();
    void compare();
    void windowsFileRoundTrip();
    void windowsFileRefused_data();
    void windowsFileRefused();
};

void TstWaveTeach::windowOf_data() {
    QTest::addColumn<std::vector<int32_t>>("values");
    QTest::addColumn<double>("k");
    QTest::addColumn<int>("margin"); // -1: mean ± k·sd
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    using V = std::vector<int32_t>;
    QTest::newRow("k 3") << V{98, 100, 102} << 3.0 << -1 << 94 << 106; // mean 100, sd 2
    // mean 11.5, sd 1.2910: 7.627 .. 15.373
    QTest::newRow("floor and ceil") << V{13, 10, 12, 11} << 3.0 << -1 << 7 << 16;
    // 14.75 ∓ 1.1 · 12.5 is 1 .. 28.5 on paper, 0.9999999999999982 in doubles
    QTest::newRow("an edge on a whole count") << V{0, 9, 23, 27} << 1.1 << -1 << 1 << 29;
    QTest::newRow("sd 0") << V{50, 50, 50} << 3.0 << -1 << 49 << 51;
    QTest::newRow("one coin") << V{50} << 3.0 << -1 << 49 << 51;
    QTest::newRow("sd 0 at 0") << V{0, 0} << 3.0 << -1 << 0 << 1;
    QTest::newRow("clipped") << V{0, 200} << 3.0 << -1 << 0 << 255;
    QTest::newRow("margin") << V{12, 10, 14} << 3.0 << 2 << 8 << 16;
    QTest::newRow("margin 0") << V{7, 7} << 3.0 << 0 << 7 << 7;
    QTest::newRow("margin clipped") << V{2, 250} << 3.0 << 5 << 0 << 255;
}

void TstWaveTeach::windowOf() {
    QFETCH(std::vector<int32_t>, values);
    QFETCH(double, k);
    QFETCH(int, margin);
    QFETCH(int, low);
    QFETCH(int, high);
    const TTeachRule rule{k, margin < 0 ? std::nullopt : std::optional<int>(margin)};
    QCOMPARE(WaveTeach::WindowOf(values, rule), (TWindow{low, high}));
    QVERIFY(!WaveTeach::WindowOf({}, rule));
}

void TstWaveTeach::teachLiteralSet() {
    // Kind "b": Width 98/100/102, "a": 10 and 20; a fake inside all of b's windows and
    // one outside; an excluded and an unknown coin teach nothing. 3 is Temperature,
    // 5 Result, 6 Width.
    auto store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    const std::pair<TValues, TRecordLabel> records[] = {
        {With({{6, 98}, {3, 27}, {5, 5}}), Label("b")},
        {With({{6, 100}, {3, 28}, {5, 5}}), Label("b")},
        {With({{6, 102}, {3, 30}, {5, 5}}), Label("b")},
        {With({{6, 10}, {3, 28}, {5, 1}}), Label("a")},
        {With({{6, 20}, {3, 28}, {5, 1}}), Label("a")},
        {With({{6, 100}, {3, 31}, {5, 5}}), Label("slug", TCoinClass::Fake)},
        {With({{6, 150}, {3, 29}, {5, 136}}), Label("slug", TCoinClass::Fake)},
        {With({{3, 29}, {5, 136}}), Label("b", TCoinClass::Genuine, true)},
        {With({{3, 12}}), Label("b", TCoinClass::Unknown)},
    };
    for (int r = 0; r < 9; ++r) {
        PutValues(*store, r, records[r].first);
        labels.Set(r, records[r].second);
    }
    store->RecordCount = 9;
    const TWaveTable table(*store, labels);
    const TTeaching t = WaveTeach::Teach(table, {}, Taught);

    QCOMPARE(t.Windows.size(), size_t(2));
    const TKindWindows& a = t.Windows[0];
    const TKindWindows& b = t.Windows[1];
    QCOMPARE(a.Kind, QString("a"));
    QCOMPARE(a.N, 2);
    QCOMPARE(b.N, 3);
    QCOMPARE(b.Date, Taught);
    QCOMPARE(*b.Windows[6], (TWindow{94, 106}));
    QCOMPARE(*b.Windows[0], (TWindow{0, 1})); // all 0
    QCOMPARE(*b.Windows[5], (TWindow{4, 6}));
    QCOMPARE(*b.Mean[6], 100.0);
    QCOMPARE(*b.Sd[6], 2.0);
    // mean 15, sd 7.071: -6.2 .. 36.2
    QCOMPARE(*a.Windows[6], (TWindow{0, 37}));
    // Without coin 0, b's Width is 100/102 (sd 1.414): 96..106; without coin 2 it is
    // 98/100: 94..104; both keep the coin left out. Leave-one-out of "a" leaves a
    // single coin: ±1 around it refuses the other. The first fake lies inside all of b.
    QCOMPARE(t.Reports[1].FalseRejects, std::vector<int>{});
    QCOMPARE(t.Reports[0].FalseRejects, (std::vector<int>{3, 4}));
    QCOMPARE(t.Reports[1].FalseAccepts, std::vector<int>{5});
    QCOMPARE(t.Reports[0].FalseAccepts, std::vector<int>{});
    QCOMPARE(t.Apart.size(), size_t(1));
    QCOMPARE(t.Apart[0].Measurements, (std::vector<int>{5, 6})); // Result, Width
    QCOMPARE(t.Temperature, (std::optional<TWindow>{{12, 31}}));
    QCOMPARE(t.Warnings.size(), 2);
    QVERIFY(t.Warnings[0].contains("kind a: 2 coin(s)"));
    QStringList cells;
    for (const TLabelResult& c : t.LabelResult)
        cells << QStringLiteral("%1 %2 %3").arg(c.Label).arg(c.Result).arg(c.Count);
    QCOMPARE(cells, (QStringList{"a/genuine 1 2", "b/genuine 5 3", "b/unknown 0 1", "slug/fake 5 1",
                                 "slug/fake 136 1"}));
}

void TstWaveTeach::recountedByBruteForce_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<double>("k");
    QTest::addColumn<int>("margin");
    for (quint32 seed = 1; seed <= 6; ++seed) {
        QTest::addRow("seed %u, k 3", seed) << seed << 3.0 << -1;
        QTest::addRow("seed %u, k 1.7", seed) << seed << 1.7 << -1;
        QTest::addRow("seed %u, margin 1", seed) << seed << 3.0 << 1;
    }
}

void TstWaveTeach::recountedByBruteForce() {
    QFETCH(quint32, seed);
    QFETCH(double, k);
    QFETCH(int, margin);
    const TRandomSet set = RandomSet(seed);
    const TWaveTable table(*set.store, set.labels);
    const TTeachRule rule{k, margin < 0 ? std::nullopt : std::optional<int>(margin)};
    const TRecount want = BruteForce(table, rule);
    const TRecount got = Counted(WaveTeach::Teach(table, rule, Taught));
    QCOMPARE(got.rejects, want.rejects);
    QCOMPARE(got.accepts, want.accepts);
}

void TstWaveTeach::widerWindowsNeverRejectMoreNorAcceptFewer() {
    const QList<TTeachRule> widening{{0.5, {}}, {1, {}}, {2, {}}, {3, {}}, {4.5, {}}};
    for (quint32 seed = 100; seed < 140; ++seed) {
        const TRandomSet set = RandomSet(seed);
        const TWaveTable table(*set.store, set.labels);
        std::optional<TRecount> narrower;
        for (const TTeachRule& rule : widening) {
            const TRecount now = Counted(WaveTeach::Teach(table, rule, Taught));
            if (narrower) {
                for (auto it = now.rejects.begin(); it != now.rejects.end(); ++it) {
                    QVERIFY2(it->size() <= narrower->rejects[it.key()].size(),
                             qPrintable(QStringLiteral("seed %1 k %2").arg(seed).arg(rule.K)));
                    QVERIFY2(now.accepts[it.key()].size() >= narrower->accepts[it.key()].size(),
                             qPrintable(QStringLiteral("seed %1 k %2").arg(seed).arg(rule.K)));
                }
            }
            narrower = now;
        }
    }
}

void TstWaveTeach::checkNamesTheNearestKind_data() {
    QTest::addColumn<TValues>("values");
    QTest::addColumn<bool>("pass");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    // "10c": Width 34..40, Coil1 value (min) 150..170; "20c": Width 44..50, MAX 90..99.
    QTest::newRow("on the edges") << With({{6, 34}, {4, 170}}) << true << 0 << "PASS 10c";
    QTest::newRow("second kind") << With({{6, 44}, {4, 170}, {8, 95}}) << true << 1 << "PASS 20c";
    QTest::newRow("nearest has fewest out") << With({{6, 44}, {4, 171}, {8, 100}}) << false << 1
                                            << "FAIL near 20c: MAX 100 outside 90..99 (1 out)";
    QTest::newRow("a tie goes to the first") << With({{6, 41}, {4, 150}, {8, 95}}) << false << 0
                                             << "FAIL near 10c: Width 41 outside 34..40 (1 out)";
    QTest::newRow("first failing measurement")
        << With({{4, 149}, {6, 33}}) << false << 0
        << "FAIL near 10c: Coil1 value (min) 149 outside 150..170 (2 out)";
}

void TstWaveTeach::checkNamesTheNearestKind() {
    QFETCH(TValues, values);
    QFETCH(bool, pass);
    QFETCH(int, kind);
    QFETCH(QString, text);
    const TWindowsSet set{Kind("10c", {{6, {34, 40}}, {4, {150, 170}}}),
                          Kind("20c", {{6, {44, 50}}, {8, {90, 99}}})};
    const TWindowVerdict v = WaveTeach::Check(set, values);
    QCOMPARE(v.Pass, pass);
    QCOMPARE(v.Kind, kind);
    QCOMPARE(WaveTeach::Describe(v, set), text);
    QCOMPARE(WaveTeach::Describe(WaveTeach::Check({}, values), {}), QString("FAIL: no windows"));
}

void TstWaveTeach::maskBand_data() {
    QTest::addColumn<int>("shift");   // samples the coin comes in later
    QTest::addColumn<int>("channel"); // where one sample is pushed up by `push`
    QTest::addColumn<int>("sample");
    QTest::addColumn<int>("push");
    QTest::addColumn<QString>("text");
    QTest::newRow("a group member") << 0 << 2 << 100 << 0 << "PASS 3/genuine ±3/±2";
    QTest::newRow("late by ΔX") << 2 << 2 << 100 << 0 << "PASS 3/genuine ±3/±2";
    QTest::newRow("up by ΔY") << 0 << 4 << 10 << 3 << "PASS 3/genuine ±3/±2";
    QTest::newRow("up by ΔY + 1") << 0 << 4 << 10 << 4 << "FAIL ch4 s10: 30 outside 21..29 (1 out)";
    // Channel 0's measurement values are no waveform: the mask leaves them alone.
    QTest::newRow("a measurement value") << 0 << 0 << 255 << 90 << "PASS 3/genuine ±3/±2";
    QTest::newRow("sample 299") << 0 << 1 << 299 << 90 << "PASS 3/genuine ±3/±2";
}

void TstWaveTeach::maskBand() {
    QFETCH(int, shift);
    QFETCH(int, channel);
    QFETCH(int, sample);
    QFETCH(int, push);
    QFETCH(QString, text);
    auto store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    for (int r = 0; r < 3; ++r)
        PutCoin(*store, r, {.entry = 40, .depth = 60, .value0 = 0, .noise = r});
    PutCoin(*store, 3, {.entry = 40 + shift, .depth = 60, .value0 = 0, .noise = 0});
    store->WaveSamples[static_cast<size_t>(channel)][3][static_cast<size_t>(sample)] += push;
    store->RecordCount = 4;
    const TWaveTable table(*store, labels);
    const TMask mask = WaveTeach::MakeMask(WaveStats::Envelope(table, {"3/genuine", {0, 1, 2}}), 3,
                                           2, "3/genuine");
    const TMaskVerdict v = WaveTeach::Check(mask, *store, 3);
    QCOMPARE(WaveTeach::Describe(v, mask), text);
    QCOMPARE(v.Pass, text.startsWith("PASS"));
}

void TstWaveTeach::compare_data() {
    QTest::addColumn<int>("channel"); // the channel raised by 5 in B; -1: none
    QTest::newRow("A against A") << -1;
    QTest::newRow("channel 3 + 5") << 3;
    QTest::newRow("channel 0 + 5") << 0;
}

void TstWaveTeach::compare() {
    QFETCH(int, channel);
    auto a = std::make_unique<TWaveStore>();
    for (int r = 0; r < 5; ++r)
        PutCoin(*a, r, {.entry = 30 + 3 * r, .depth = 50 + 4 * r, .value0 = 7 * r, .noise = r});
    a->RecordCount = 5;
    auto b = std::make_unique<TWaveStore>(*a);
    if (channel >= 0)
        for (auto& record : b->WaveSamples[static_cast<size_t>(channel)])
            for (int32_t& v : record)
                v += 5;
    const TWaveLabels none;
    const TComparison c = WaveTeach::Compare(TWaveTable(*a, none), TWaveTable(*b, none));
    QCOMPARE(c.NA, 5);
    QCOMPARE(c.NB, 5);
    for (int ch = 0; ch < 6; ++ch)
        QCOMPARE(c.Channels[static_cast<size_t>(ch)].Difference, ch == channel ? 5.0 : 0.0);
    // Channel 0 carries the measurements: all of them move by exactly 5.
    for (const TMeasurementDifference& m : c.Measurements) {
        QCOMPARE(m.Difference, channel == 0 ? 5.0 : 0.0);
        QVERIFY(m.Effect);
        QCOMPARE(*m.Effect == 0.0, channel != 0);
    }
    // sd of 0, 7, 14, 21, 28 is 11.068; B's the same: the effect is 5 over it.
    QVERIFY(std::abs(*c.Measurements[0].Effect - (channel == 0 ? 5 / 11.0680 : 0)) < 1e-4);
}

void TstWaveTeach::windowsFileRoundTrip() {
    TKindWindows ten = Kind("10c", {{6, {34, 40}}, {8, {0, 255}}});
    ten.Mean[6] = 37.0254;
    ten.Sd[6] = 1.2;
    ten.Mean[8] = 3;
    TKindWindows slug = Kind("a,\"b\"", {{19, {1, 1}}});
    slug.Rule = {3, 4};
    slug.N = 1;
    const TWindowsSet set{ten, slug};
    TWindowsSet back;
    QString error;
    QVERIFY2(WaveWindowsFile::FromJson(WaveWindowsFile::ToJson(set), back, error),
             qPrintable(error));
    QCOMPARE(back.size(), size_t(2));
    for (size_t k = 0; k < 2; ++k) {
        QCOMPARE(back[k].Kind, set[k].Kind);
        QCOMPARE(back[k].N, set[k].N);
        QCOMPARE(back[k].Rule, set[k].Rule);
        QCOMPARE(back[k].Date, Taught);
        QCOMPARE(back[k].Windows, set[k].Windows);
    }
    QCOMPARE(*back[0].Mean[6], 37.025);
    QVERIFY(!back[0].Sd[8]);
    QCOMPARE(WaveWindowsFile::ToCsv(set), QByteArray("kind,measurement,low,high,n,mean,sd\r\n"
                                                     "10c,Width,34,40,40,37.025,1.200\r\n"
                                                     "10c,MAX,0,255,40,3.000,\r\n"
                                                     "\"a,\"\"b\"\"\",269,1,1,1,,\r\n"));
}

void TstWaveTeach::windowsFileRefused_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("says");
    const auto entry = [](const char* windows) {
        return QByteArray(R"({"kind": "10c", "n": 40, "k": 3, "date": "2025-03-05T14:30:15", )"
                          R"("windows": [)") +
               windows + "]}";
    };
    const auto doc = [&](const char* windows) {
        return QByteArray(R"({"kinds": [)") + entry(windows) + "]}";
    };
    QTest::newRow("unknown measurement")
        << doc(R"({"measurement": "Width", "low": 1, "high": 2}, {"measurement": "Widht", "low": 1, "high": 2})")
        << R"(kinds[0] "10c": windows[1] "Widht": unknown measurement)";
    QTest::newRow("low above high") << doc(R"({"measurement": "MAX", "low": 9, "high": 8})")
                                    << R"(kinds[0] "10c": windows[0] "MAX": low 9 is above high 8)";
    QTest::newRow("untrimmed caption")
        << doc(R"({"measurement": "MAX ", "low": 1, "high": 2})") << "unknown measurement";
    QTest::newRow("twice")
        << doc(R"({"measurement": "MIN", "low": 1, "high": 2}, {"measurement": "MIN", "low": 1, "high": 2})")
        << "windows[1] \"MIN\": measurement given twice";
    QTest::newRow("256") << doc(R"({"measurement": "MIN", "low": 1, "high": 256})")
                         << "whole numbers 0..255";
    QTest::newRow("unknown key") << doc(R"({"measurement": "MIN", "low": 1, "high": 2, "hi": 3})")
                                 << "unknown key \"hi\"";
    QTest::newRow("k and margin")
        << QByteArray(
               R"({"kinds": [{"kind": "x", "n": 1, "k": 3, "margin": 1, "date": "2025-03-05T14:30:15", "windows": []}]})")
        << "kinds[0] \"x\": needs \"k\" or \"margin\"";
    QTest::newRow("kind missing") << QByteArray(R"({"kinds": [{"n": 1}]})")
                                  << "kinds[0]: \"kind\" is missing";
    const char* const one = R"({"measurement": "MIN", "low": 1, "high": 2})";
    QTest::newRow("kind twice") << QByteArray(R"({"kinds": [)") + entry(one) + ", " + entry(one) +
                                       "]}"
                                << "kinds[1] \"10c\": kind given twice";
    QTest::newRow("other top key") << QByteArray(R"({"kinds": [], "x": 1})") << "one object";
    QTest::newRow("not JSON") << QByteArray("kind,measurement") << "not JSON";
}

void TstWaveTeach::windowsFileRefused() {
    QFETCH(QByteArray, json);
    QFETCH(QString, says);
    TWindowsSet set{Kind("kept", {{0, {1, 2}}})};
    QString error;
    QVERIFY(!WaveWindowsFile::FromJson(json, set, error));
    QVERIFY2(error.contains(says), qPrintable(error));
    // What was held stays.
    QCOMPARE(set.size(), size_t(1));
    QCOMPARE(set[0].Kind, QString("kept"));
}

QTEST_GUILESS_MAIN(TstWaveTeach)
#include "tst_wave_teach.moc"
