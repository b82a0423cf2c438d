#include "WaveStats.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <map>

namespace {
constexpr int Channels = TWaveStore::Channels;
constexpr int Samples = TWaveStore::Samples;
constexpr int ResultMeasurement = 5; // channel 0 sample 255

// The middle of `v` (reordered): the mean of the two middle values for an even count.
double MedianOf(std::span<double> v) {
    const auto mid = static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), v.begin() + mid, v.end());
    const double upper = v[static_cast<size_t>(mid)];
    if (v.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(v.begin(), v.begin() + mid);
    return (lower + upper) / 2;
}

// What a record's waveform looks like regardless of when the coin came in: each
// channel's lowest and highest waveform sample and its mean.
using TFeatures = std::array<double, WaveStats::FeatureCount>;

TFeatures FeaturesOf(const TWaveTable& table, const TTableRow& row) {
    TFeatures f{};
    for (int c = 0; c < Channels; ++c) {
        const TChannelSamples wave = table.Samples(row, c);
        int32_t low = wave[0];
        int32_t high = wave[0];
        int64_t sum = 0;
        int n = 0;
        for (int s = 0; s < Samples; ++s) {
            if (!WaveTable::IsWaveSample(c, s))
                continue;
            const int32_t v = wave[static_cast<size_t>(s)];
            low = std::min(low, v);
            high = std::max(high, v);
            sum += v;
            ++n;
        }
        const auto at = static_cast<size_t>(c * 3);
        f[at] = low;
        f[at + 1] = high;
        f[at + 2] = static_cast<double>(sum) / n;
    }
    return f;
}

// Median and MAD of every feature over a group: what its records usually look like.
struct TTypical {
    TFeatures Median{};
    TFeatures Mad{};
};

TTypical TypicalOf(const std::vector<TFeatures>& features, const TGroup& group) {
    TTypical t;
    std::vector<double> column(group.Rows.size());
    for (size_t k = 0; k < WaveStats::FeatureCount; ++k) {
        for (size_t i = 0; i < group.Rows.size(); ++i)
            column[i] = features[static_cast<size_t>(group.Rows[i])][k];
        const double median = MedianOf(column);
        for (double& v : column)
            v = std::abs(v - median);
        t.Median[k] = median;
        t.Mad[k] = std::max(1.0, MedianOf(column));
    }
    return t;
}

void Score(const TFeatures& f, const TTypical& typical, TOutlier& out) {
    double worst = -1;
    for (size_t k = 0; k < WaveStats::FeatureCount; ++k) {
        const double score = std::abs(f[k] - typical.Median[k]) / typical.Mad[k];
        if (score > worst) {
            worst = score;
            out.Feature = static_cast<int>(k);
        }
    }
    out.Score = worst;
    out.Flagged = worst > WaveStats::OutlierThreshold;
}
} // namespace

TStat WaveStats::Describe(std::span<const int32_t> values) {
    TStat st;
    if (values.empty())
        return st;
    std::vector<int32_t> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    st.N = static_cast<int>(n);
    st.Min = sorted.front();
    st.Max = sorted.back();
    // Loaded files can hold any 32-bit value: the sum needs 64 bits.
    int64_t sum = 0;
    for (const int32_t v : sorted)
        sum += v;
    st.Mean = static_cast<double>(sum) / static_cast<double>(n);
    if (n >= 2) {
        double squares = 0;
        for (const int32_t v : sorted) {
            const double d = v - st.Mean;
            squares += d * d;
        }
        st.Sd = std::sqrt(squares / static_cast<double>(n - 1));
    }
    st.Median =
        n % 2 == 1 ? sorted[n / 2] : (static_cast<double>(sorted[n / 2 - 1]) + sorted[n / 2]) / 2;
    return st;
}

QString WaveStats::GroupKey(const TTableRow& row, TGrouping by) {
    if (by == TGrouping::Result)
        return QStringLiteral("result %1").arg(row.Values[ResultMeasurement]);
    if (row.Label.Kind.isEmpty())
        return QString();
    return row.Label.Kind + QLatin1Char('/') + ClassName(row.Label.Class);
}

std::vector<TGroup> WaveStats::MakeGroups(const TWaveTable& table, TGrouping by) {
    TGroup all{QStringLiteral("all"), {}};
    // Keyed so that iteration gives the documented order.
    std::map<QByteArray, TGroup> byLabel;
    std::map<int32_t, TGroup> byResult;
    const auto& rows = table.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const TTableRow& row = rows[i];
        if (row.Label.Excluded)
            continue;
        all.Rows.push_back(static_cast<int>(i));
        const QString key = GroupKey(row, by);
        if (key.isEmpty())
            continue;
        TGroup& g = by == TGrouping::Result ? byResult[row.Values[ResultMeasurement]]
                                            : byLabel[key.toUtf8()];
        g.Name = key;
        g.Rows.push_back(static_cast<int>(i));
    }
    std::vector<TGroup> groups;
    if (!all.Rows.empty())
        groups.push_back(std::move(all));
    for (auto& [key, g] : byLabel)
        groups.push_back(std::move(g));
    for (auto& [key, g] : byResult)
        groups.push_back(std::move(g));
    return groups;
}

std::vector<TStatRow> WaveStats::Statistics(const TWaveTable& table,
                                            const std::vector<TGroup>& groups) {
    std::vector<TStatRow> out;
    out.reserve(groups.size() * WaveCaptions::ValueCount);
    std::vector<int32_t> values;
    for (size_t g = 0; g < groups.size(); ++g) {
        for (int m = 0; m < WaveCaptions::ValueCount; ++m) {
            values.clear();
            for (const int row : groups[g].Rows)
                values.push_back(
                    table.Rows()[static_cast<size_t>(row)].Values[static_cast<size_t>(m)]);
            out.push_back({static_cast<int>(g), m, Describe(values)});
        }
    }
    return out;
}

TEnvelope WaveStats::Envelope(const TWaveTable& table, const TGroup& group) {
    TEnvelope e;
    if (group.Rows.empty())
        return e;
    for (int c = 0; c < Channels; ++c) {
        const auto ch = static_cast<size_t>(c);
        std::array<int64_t, Samples> sums{};
        bool first = true;
        for (const int index : group.Rows) {
            const TChannelSamples wave = table.Samples(table.Rows()[static_cast<size_t>(index)], c);
            for (size_t s = 0; s < Samples; ++s) {
                const int32_t v = wave[s];
                e.Min[ch][s] = first ? v : std::min(e.Min[ch][s], v);
                e.Max[ch][s] = first ? v : std::max(e.Max[ch][s], v);
                sums[s] += v;
            }
            first = false;
        }
        const auto n = static_cast<double>(group.Rows.size());
        for (int s = 0; s < Samples; ++s) {
            const auto k = static_cast<size_t>(s);
            if (WaveTable::IsWaveSample(c, s)) {
                e.Mean[ch][k] = static_cast<double>(sums[k]) / n;
            } else {
                e.Min[ch][k] = 0;
                e.Max[ch][k] = 0;
            }
        }
    }
    return e;
}

std::vector<TOutlier> WaveStats::Outliers(const TWaveTable& table,
                                          const std::vector<TGroup>& groups, TGrouping by) {
    const auto& rows = table.Rows();
    std::vector<TOutlier> out(rows.size());
    // "all" is listed first whenever it holds a record.
    const int all = !groups.empty() && groups[0].Name == QLatin1String("all") ? 0 : -1;
    std::map<QString, int> byKey;
    for (size_t g = 0; g < groups.size(); ++g)
        if (static_cast<int>(g) != all)
            byKey[groups[g].Name] = static_cast<int>(g);
    const auto bigEnough = [&](int g) {
        return g >= 0 &&
               groups[static_cast<size_t>(g)].Rows.size() >= static_cast<size_t>(MinOutlierGroup);
    };
    std::vector<std::vector<int>> users(groups.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto found = byKey.find(GroupKey(rows[i], by));
        int g = found != byKey.end() ? found->second : -1;
        if (!bigEnough(g))
            g = all;
        if (!bigEnough(g))
            continue;
        out[i].Group = g;
        users[static_cast<size_t>(g)].push_back(static_cast<int>(i));
    }
    std::vector<TFeatures> features(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        features[i] = FeaturesOf(table, rows[i]);
    // Only the groups some record is measured against are worked out.
    for (size_t g = 0; g < groups.size(); ++g) {
        if (users[g].empty())
            continue;
        const TTypical typical = TypicalOf(features, groups[g]);
        for (const int i : users[g])
            Score(features[static_cast<size_t>(i)], typical, out[static_cast<size_t>(i)]);
    }
    return out;
}

TAnalysis Analyse(const TWaveTable& table, TGrouping by) {
    TAnalysis a;
    a.Groups = WaveStats::MakeGroups(table, by);
    a.Stats = WaveStats::Statistics(table, a.Groups);
    a.Envelopes.reserve(a.Groups.size());
    for (const TGroup& g : a.Groups)
        a.Envelopes.push_back(WaveStats::Envelope(table, g));
    a.Outliers = WaveStats::Outliers(table, a.Groups, by);
    return a;
}
