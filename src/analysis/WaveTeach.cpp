#include "WaveTeach.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <utility>

namespace {
constexpr int Channels = TWaveStore::Channels;
constexpr int Samples = TWaveStore::Samples;
constexpr int Measurements = WaveTeach::Measurements;

// The sd comes through a square root: an edge that is a whole count on paper may come
// out a hair beyond it, and must not widen the window by a count.
constexpr double Slack = 1e-9;

// What a window needs to know of a measurement's values.
struct TSummary {
    int N = 0;
    double Sum = 0;     // whole counts: exact in a double for any set we meet
    double Squares = 0; // likewise, up to about 10^5 values of 0..255
    int32_t Min = 0;
    int32_t Max = 0;
};

int32_t Clip(double v) {
    return static_cast<int32_t>(std::clamp(v, 0.0, 255.0));
}

std::optional<double> SdOf(const TSummary& s) {
    if (s.N < 2)
        return std::nullopt;
    const double n = s.N;
    return std::sqrt(std::max(0.0, (n * s.Squares - s.Sum * s.Sum) / (n * (n - 1))));
}

std::optional<TWindow> WindowFrom(const TSummary& s, const TTeachRule& rule) {
    if (s.N == 0)
        return std::nullopt;
    double low = 0;
    double high = 0;
    if (rule.Margin) {
        low = static_cast<double>(s.Min) - *rule.Margin;
        high = static_cast<double>(s.Max) + *rule.Margin;
    } else if (s.Min == s.Max) {
        // Every coin alike (or just one): a window of no width would refuse the next
        // coin for a single count of noise.
        low = s.Min - 1.0;
        high = s.Max + 1.0;
    } else {
        const double mean = s.Sum / s.N;
        const double reach = rule.K * *SdOf(s);
        low = std::floor(mean - reach + Slack);
        high = std::ceil(mean + reach - Slack);
    }
    return TWindow{Clip(low), Clip(high)};
}

// A kind's values, measurement by measurement, sorted so that the lowest and highest
// without any one coin are at hand.
struct TKindValues {
    std::array<std::vector<int32_t>, Measurements> Sorted;
    std::array<TSummary, Measurements> Summary{};
};

TKindValues ValuesOfKind(const TWaveTable& table, const std::vector<int>& rows) {
    TKindValues k;
    for (size_t m = 0; m < Measurements; ++m) {
        std::vector<int32_t>& v = k.Sorted[m];
        v.reserve(rows.size());
        TSummary& s = k.Summary[m];
        for (const int row : rows) {
            const int32_t x = table.Rows()[static_cast<size_t>(row)].Values[m];
            v.push_back(x);
            s.Sum += x;
            s.Squares += static_cast<double>(x) * x;
        }
        std::sort(v.begin(), v.end());
        s.N = static_cast<int>(v.size());
        s.Min = v.front();
        s.Max = v.back();
    }
    return k;
}

// The summary of a measurement with one coin's value `x` taken out.
TSummary Without(const TSummary& s, const std::vector<int32_t>& sorted, int32_t x) {
    TSummary w = s;
    --w.N;
    w.Sum -= x;
    w.Squares -= static_cast<double>(x) * x;
    if (w.N > 0) {
        w.Min = x == sorted.front() ? sorted[1] : sorted.front();
        w.Max = x == sorted.back() ? sorted[sorted.size() - 2] : sorted.back();
    }
    return w;
}

bool Inside(const TWindow& w, int32_t v) {
    return v >= w.Low && v <= w.High;
}

void AddWarnings(const TWindowsSet& windows, QStringList& warnings) {
    if (windows.empty())
        warnings << QStringLiteral("no record is labelled genuine with a kind: nothing to teach");
    for (const TKindWindows& k : windows)
        if (k.N < WaveTeach::FewCoins)
            warnings << QStringLiteral("kind %1: %2 coin(s) taught; %3 or more make windows worth "
                                       "trusting")
                            .arg(k.Kind)
                            .arg(k.N)
                            .arg(WaveTeach::FewCoins);
}

std::vector<TLabelResult> LabelResultTable(const TWaveTable& table) {
    std::map<std::pair<QByteArray, int32_t>, TLabelResult> cells;
    for (const TTableRow& row : table.Rows()) {
        if (row.Label.Excluded)
            continue;
        QString label = WaveStats::GroupKey(row, TGrouping::Label);
        if (label.isEmpty())
            label = QStringLiteral("unlabelled");
        const int32_t result = row.Values[WaveTeach::ResultMeasurement];
        TLabelResult& cell = cells[{label.toUtf8(), result}];
        cell.Label = label;
        cell.Result = result;
        ++cell.Count;
    }
    std::vector<TLabelResult> out;
    out.reserve(cells.size());
    for (auto& [key, cell] : cells)
        out.push_back(std::move(cell));
    return out;
}
} // namespace

std::optional<TWindow> WaveTeach::WindowOf(std::span<const int32_t> values,
                                           const TTeachRule& rule) {
    TSummary s;
    for (const int32_t x : values) {
        s.Min = s.N == 0 ? x : std::min(s.Min, x);
        s.Max = s.N == 0 ? x : std::max(s.Max, x);
        s.Sum += x;
        s.Squares += static_cast<double>(x) * x;
        ++s.N;
    }
    return WindowFrom(s, rule);
}

TTeaching WaveTeach::Teach(const TWaveTable& table, const TTeachRule& rule, const QDateTime& date) {
    TTeaching t;
    const auto& rows = table.Rows();
    std::map<QByteArray, std::vector<int>> kinds; // keyed for the documented order
    for (size_t i = 0; i < rows.size(); ++i) {
        const TRecordLabel& l = rows[i].Label;
        if (!l.Excluded && l.Class == TCoinClass::Genuine && !l.Kind.isEmpty())
            kinds[l.Kind.toUtf8()].push_back(static_cast<int>(i));
    }

    for (const auto& [key, members] : kinds) {
        const TKindValues values = ValuesOfKind(table, members);
        TKindWindows k;
        k.Kind = rows[static_cast<size_t>(members.front())].Label.Kind;
        k.N = static_cast<int>(members.size());
        k.Rule = rule;
        k.Date = date;
        for (size_t m = 0; m < Measurements; ++m) {
            const TSummary& s = values.Summary[m];
            k.Windows[m] = WindowFrom(s, rule);
            k.Mean[m] = s.Sum / s.N;
            k.Sd[m] = SdOf(s);
        }

        // Leave-one-out: what the windows would have done to each coin had it not been
        // among those taught. A kind of one coin teaches nothing without it.
        TKindReport report;
        for (const int row : members) {
            const auto& v = rows[static_cast<size_t>(row)].Values;
            bool rejected = members.size() == 1;
            for (size_t m = 0; m < Measurements && !rejected; ++m) {
                const auto w = WindowFrom(Without(values.Summary[m], values.Sorted[m], v[m]), rule);
                rejected = !Inside(*w, v[m]);
            }
            if (rejected)
                report.FalseRejects.push_back(row);
        }
        t.Windows.push_back(std::move(k));
        t.Reports.push_back(std::move(report));
    }

    // Fakes, and genuine coins of other kinds, that a kind's windows would let through.
    // Coins of unknown class are not counted either way.
    for (size_t i = 0; i < rows.size(); ++i) {
        const TRecordLabel& l = rows[i].Label;
        if (l.Excluded || l.Class == TCoinClass::Unknown)
            continue;
        for (size_t k = 0; k < t.Windows.size(); ++k) {
            if (l.Class == TCoinClass::Genuine && l.Kind == t.Windows[k].Kind)
                continue;
            if (Failing(t.Windows[k], rows[i].Values) == 0)
                t.Reports[k].FalseAccepts.push_back(static_cast<int>(i));
        }
    }

    for (size_t a = 0; a < t.Windows.size(); ++a) {
        for (size_t b = a + 1; b < t.Windows.size(); ++b) {
            TKindsApart apart{static_cast<int>(a), static_cast<int>(b), {}};
            for (size_t m = 0; m < Measurements; ++m) {
                const TWindow& wa = *t.Windows[a].Windows[m];
                const TWindow& wb = *t.Windows[b].Windows[m];
                if (wa.High < wb.Low || wb.High < wa.Low)
                    apart.Measurements.push_back(static_cast<int>(m));
            }
            t.Apart.push_back(std::move(apart));
        }
    }

    AddWarnings(t.Windows, t.Warnings);
    for (const TTableRow& row : rows) {
        if (row.Label.Excluded)
            continue;
        const int32_t v = row.Values[TemperatureMeasurement];
        if (!t.Temperature)
            t.Temperature = TWindow{v, v};
        t.Temperature->Low = std::min(t.Temperature->Low, v);
        t.Temperature->High = std::max(t.Temperature->High, v);
    }
    t.LabelResult = LabelResultTable(table);
    return t;
}

int WaveTeach::Failing(const TKindWindows& kind, std::span<const int32_t, Measurements> values,
                       int* first) {
    int failing = 0;
    if (first)
        *first = -1;
    for (size_t m = 0; m < Measurements; ++m) {
        const auto& w = kind.Windows[m];
        if (!w || Inside(*w, values[m]))
            continue;
        if (failing++ == 0 && first)
            *first = static_cast<int>(m);
    }
    return failing;
}

TWindowVerdict WaveTeach::Check(const TWindowsSet& windows,
                                std::span<const int32_t, Measurements> values) {
    TWindowVerdict v;
    for (size_t k = 0; k < windows.size(); ++k) {
        int first = -1;
        const int failing = Failing(windows[k], values, &first);
        if (failing == 0)
            return {true, static_cast<int>(k), 0, -1, 0};
        if (v.Kind < 0 || failing < v.Failing) {
            v.Kind = static_cast<int>(k);
            v.Failing = failing;
            v.Measurement = first;
            v.Value = values[static_cast<size_t>(first)];
        }
    }
    return v;
}

QString WaveTeach::Describe(const TWindowVerdict& verdict, const TWindowsSet& windows) {
    if (verdict.Kind < 0)
        return QStringLiteral("FAIL: no windows");
    const TKindWindows& kind = windows[static_cast<size_t>(verdict.Kind)];
    if (verdict.Pass)
        return QStringLiteral("PASS ") + kind.Kind;
    const TWindow& w = *kind.Windows[static_cast<size_t>(verdict.Measurement)];
    return QStringLiteral("FAIL near %1: %2 %3 outside %4..%5 (%6 out)")
        .arg(kind.Kind, WaveTable::Caption(verdict.Measurement))
        .arg(verdict.Value)
        .arg(w.Low)
        .arg(w.High)
        .arg(verdict.Failing);
}

TMask WaveTeach::MakeMask(const TEnvelope& envelope, int deltaY, int deltaX, const QString& group) {
    TMask mask;
    mask.Group = group;
    mask.DeltaY = deltaY;
    mask.DeltaX = deltaX;
    for (int c = 0; c < Channels; ++c) {
        const auto ch = static_cast<size_t>(c);
        for (int s = 0; s < Samples; ++s) {
            if (!WaveTable::IsWaveSample(c, s))
                continue;
            // A coin rolls in a little early or late: the band at a sample spans the
            // envelope over the samples around it.
            int32_t low = envelope.Min[ch][static_cast<size_t>(s)];
            int32_t high = envelope.Max[ch][static_cast<size_t>(s)];
            for (int n = std::max(0, s - deltaX); n <= std::min(Samples - 1, s + deltaX); ++n) {
                if (!WaveTable::IsWaveSample(c, n))
                    continue;
                low = std::min(low, envelope.Min[ch][static_cast<size_t>(n)]);
                high = std::max(high, envelope.Max[ch][static_cast<size_t>(n)]);
            }
            mask.Low[ch][static_cast<size_t>(s)] = low - deltaY;
            mask.High[ch][static_cast<size_t>(s)] = high + deltaY;
        }
    }
    return mask;
}

TMaskVerdict WaveTeach::Check(const TMask& mask, const TWaveStore& store, int slot) {
    TMaskVerdict v;
    for (int c = 0; c < Channels; ++c) {
        const auto ch = static_cast<size_t>(c);
        const auto& wave = store.WaveSamples[ch][static_cast<size_t>(slot)];
        for (int s = 0; s < Samples; ++s) {
            const auto k = static_cast<size_t>(s);
            if (!WaveTable::IsWaveSample(c, s) ||
                (wave[k] >= mask.Low[ch][k] && wave[k] <= mask.High[ch][k]))
                continue;
            if (v.Outside++ == 0) {
                v.Channel = c;
                v.Sample = s;
                v.Value = wave[k];
            }
        }
    }
    v.Pass = v.Outside == 0;
    return v;
}

QString WaveTeach::Describe(const TMaskVerdict& verdict, const TMask& mask) {
    if (verdict.Pass)
        return QStringLiteral("PASS %1 \u00B1%2/\u00B1%3")
            .arg(mask.Group)
            .arg(mask.DeltaY)
            .arg(mask.DeltaX);
    const auto ch = static_cast<size_t>(verdict.Channel);
    const auto s = static_cast<size_t>(verdict.Sample);
    return QStringLiteral("FAIL ch%1 s%2: %3 outside %4..%5 (%6 out)")
        .arg(verdict.Channel)
        .arg(verdict.Sample)
        .arg(verdict.Value)
        .arg(mask.Low[ch][s])
        .arg(mask.High[ch][s])
        .arg(verdict.Outside);
}

std::span<const int32_t, WaveTeach::Measurements> WaveTeach::ValuesOf(const TWaveStore& store,
                                                                      int slot) {
    const auto& channel0 = store.WaveSamples[0][static_cast<size_t>(slot)];
    return std::span<const int32_t, Measurements>(channel0.data() + WaveCaptions::FirstValueSample,
                                                  Measurements);
}

TComparison WaveTeach::Compare(const TWaveTable& a, const TWaveTable& b) {
    TComparison out;
    const auto everyone = [](const TWaveTable& t) {
        std::vector<int> rows;
        for (size_t i = 0; i < t.Rows().size(); ++i)
            if (!t.Rows()[i].Label.Excluded)
                rows.push_back(static_cast<int>(i));
        return rows;
    };
    const std::vector<int> ra = everyone(a);
    const std::vector<int> rb = everyone(b);
    out.NA = static_cast<int>(ra.size());
    out.NB = static_cast<int>(rb.size());
    if (out.NA == 0 || out.NB == 0)
        return out;
    // B − A of two means from whole-count sums: a shift of exactly 5 comes out as 5.
    const auto difference = [&](int64_t sumA, int64_t sumB) {
        return static_cast<double>(sumB * out.NA - sumA * out.NB) /
               (static_cast<double>(out.NA) * out.NB);
    };
    const auto sumsOf = [](const TWaveTable& t, const std::vector<int>& rows, int channel) {
        std::array<int64_t, Samples> sums{};
        for (const int r : rows) {
            const TChannelSamples wave = t.Samples(t.Rows()[static_cast<size_t>(r)], channel);
            for (size_t s = 0; s < Samples; ++s)
                sums[s] += wave[s];
        }
        return sums;
    };

    for (int c = 0; c < Channels; ++c) {
        const auto sa = sumsOf(a, ra, c);
        const auto sb = sumsOf(b, rb, c);
        TChannelDifference& d = out.Channels[static_cast<size_t>(c)];
        for (int s = 0; s < Samples; ++s) {
            if (!WaveTable::IsWaveSample(c, s))
                continue;
            const double diff = difference(sa[static_cast<size_t>(s)], sb[static_cast<size_t>(s)]);
            if (d.Sample < 0 || std::abs(diff) > std::abs(d.Difference)) {
                d.Sample = s;
                d.Difference = diff;
            }
        }
    }

    std::vector<int32_t> va;
    std::vector<int32_t> vb;
    for (size_t m = 0; m < Measurements; ++m) {
        va.clear();
        vb.clear();
        for (const int r : ra)
            va.push_back(a.Rows()[static_cast<size_t>(r)].Values[m]);
        for (const int r : rb)
            vb.push_back(b.Rows()[static_cast<size_t>(r)].Values[m]);
        TMeasurementDifference& d = out.Measurements[m];
        d.A = WaveStats::Describe(va);
        d.B = WaveStats::Describe(vb);
        d.Difference = difference(std::accumulate(va.begin(), va.end(), int64_t{0}),
                                  std::accumulate(vb.begin(), vb.end(), int64_t{0}));
        const int freedom = d.A.N + d.B.N - 2;
        const double sa = d.A.Sd.value_or(0);
        const double sb = d.B.Sd.value_or(0);
        const double pooled =
            freedom > 0 ? std::sqrt(((d.A.N - 1) * sa * sa + (d.B.N - 1) * sb * sb) / freedom) : 0;
        if (d.Difference == 0)
            d.Effect = 0.0;
        else if (pooled > 0)
            d.Effect = d.Difference / pooled;
    }
    return out;
}
