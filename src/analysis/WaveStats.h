// Statistics over the measurement table: the twenty values per group of records, a
// per-sample envelope of each group's waveforms, and an outlier score per record
// against its own group. All of it is recomputed from the table in one call.
#pragma once

#include "WaveTable.h"

#include <QString>

#include <array>
#include <optional>
#include <span>
#include <vector>

enum class TGrouping {
    Label,  // "KIND/CLASS"; records without a kind are in "all" only
    Result, // "result N": the Result value, channel 0 sample 255
};

struct TGroup {
    QString Name;
    std::vector<int> Rows; // indices into the table's rows, in table order
};

struct TStat {
    int N = 0;
    int32_t Min = 0;
    int32_t Max = 0;
    double Mean = 0;
    std::optional<double> Sd; // sample standard deviation (n - 1); none when n < 2
    double Median = 0;        // of an even n: the mean of the two middle values
};

struct TStatRow {
    int Group = 0;       // index into the groups
    int Measurement = 0; // 0..19, channel 0 sample 250 + Measurement
    TStat Stat;
};

// Per channel and sample, over a group's records. Only waveform samples
// (WaveTable::IsWaveSample) are filled; the others hold 0.
struct TEnvelope {
    using TRow = std::array<int32_t, TWaveStore::Samples>;
    std::array<TRow, TWaveStore::Channels> Min{};
    std::array<TRow, TWaveStore::Channels> Max{};
    std::array<std::array<double, TWaveStore::Samples>, TWaveStore::Channels> Mean{};
};

// How far a record's waveform strays from its group. Each channel's waveform is
// summed up in three features that do not depend on when the coin came in (coins roll
// in a few samples early or late, which alone would make every edge look odd): its
// lowest and highest waveform sample and its mean. A feature's distance from the
// group is |x - median| / MAD, median and median absolute deviation (MAD) taken over
// the group's records, and the score is the largest of the 18. Median and MAD barely
// move when a few records of the group are odd, so an odd record cannot hide itself.
// A MAD under one count is taken as one: samples are whole counts, and where most
// records agree exactly a single count of difference would otherwise score without
// bound.
struct TOutlier {
    std::optional<double> Score; // none: no group of at least MinOutlierGroup records
    int Group = -1;              // the group it was measured against
    int Feature = -1;            // its farthest feature: channel * 3 + (0 low, 1 high, 2 mean)
    bool Flagged = false;        // Score above OutlierThreshold
};

namespace WaveStats {
// Median and MAD of fewer records say little about what is usual.
constexpr int MinOutlierGroup = 5;
constexpr int FeatureCount = TWaveStore::Channels * 3;
// Measured on the simulated board's waves, 20 coins of each kind: a record among its
// own kind scored above 8 once in 9,600, a coin of the neighbouring kind slipped in
// among them scored above it 118 times in 120, a slug or a rejected coin always.
constexpr double OutlierThreshold = 8.0;

TStat Describe(std::span<const int32_t> values);

// The group a record belongs to besides "all", excluded or not; empty for none.
QString GroupKey(const TTableRow& row, TGrouping by);
// "all" (every record not excluded) first, then the other groups: kind/class pairs
// sorted by their UTF-8 bytes, results by value. Excluded records are in no group and
// a group with no record left is not listed.
std::vector<TGroup> MakeGroups(const TWaveTable& table, TGrouping by);

// The twenty measurements of every group, group by group in sample order.
std::vector<TStatRow> Statistics(const TWaveTable& table, const std::vector<TGroup>& groups);
TEnvelope Envelope(const TWaveTable& table, const TGroup& group);
// One per table row. A record is measured against its own group when that holds at
// least MinOutlierGroup records, otherwise against "all"; excluded records too.
std::vector<TOutlier> Outliers(const TWaveTable& table, const std::vector<TGroup>& groups,
                               TGrouping by);
} // namespace WaveStats

struct TAnalysis {
    std::vector<TGroup> Groups;
    std::vector<TStatRow> Stats;
    std::vector<TEnvelope> Envelopes; // one per group
    std::vector<TOutlier> Outliers;   // one per table row
};

TAnalysis Analyse(const TWaveTable& table, TGrouping by = TGrouping::Label);
