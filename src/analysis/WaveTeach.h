// Teaching coins: acceptance windows on the twenty measurement values, taught per
// genuine kind from labelled records, with what those windows would have done to the
// very set they came from; and the live tests of one record against windows or against
// a waveform mask. Plain code for krv2ctl, the Get_Wave page and the analysis window.
#pragma once

#include "WaveStats.h"
#include "WaveTable.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace WaveTeach {
constexpr int Measurements = WaveCaptions::ValueCount;
constexpr int TemperatureMeasurement = 3; // channel 0 sample 253
constexpr int ResultMeasurement = 5;      // channel 0 sample 255
// Fewer genuine coins than this make windows that say more about chance than the kind.
constexpr int FewCoins = 20;
constexpr double DefaultK = 3.0;
} // namespace WaveTeach

// A value passes when Low <= value <= High.
struct TWindow {
    int32_t Low = 0;
    int32_t High = 0;
    friend bool operator==(const TWindow&, const TWindow&) = default;
};

// How a window is drawn around the coins taught: mean ± K·sd, or, with a margin,
// the lowest value seen − Margin to the highest + Margin.
struct TTeachRule {
    double K = WaveTeach::DefaultK;
    std::optional<int> Margin;
    friend bool operator==(const TTeachRule&, const TTeachRule&) = default;
};

// The windows of one kind. A measurement without a window is not tested (a windows
// file may leave measurements out on purpose).
struct TKindWindows {
    QString Kind;
    int N = 0; // coins taught
    TTeachRule Rule;
    QDateTime Date;
    std::array<std::optional<TWindow>, WaveTeach::Measurements> Windows{};
    // Of the coins taught; a file read back may not carry them.
    std::array<std::optional<double>, WaveTeach::Measurements> Mean{};
    std::array<std::optional<double>, WaveTeach::Measurements> Sd{};
};

using TWindowsSet = std::vector<TKindWindows>;

// What a kind's windows did to the set they were taught from (rows of the table).
struct TKindReport {
    std::vector<int>
        FalseRejects; // its own genuine coins, each refused by windows taught without it
    std::vector<int> FalseAccepts; // fakes and genuine coins of other kinds inside all its windows
};

// Two kinds whose windows on these measurements do not overlap: each of them alone
// tells the kinds apart.
struct TKindsApart {
    int A = 0; // indices into the windows
    int B = 0;
    std::vector<int> Measurements;
};

struct TLabelResult {
    QString Label; // "KIND/CLASS", or "unlabelled"
    int32_t Result = 0;
    int Count = 0;
};

struct TTeaching {
    TWindowsSet Windows;              // one per genuine kind, kinds in UTF-8 byte order
    std::vector<TKindReport> Reports; // one per kind, same order
    std::vector<TKindsApart> Apart;   // every pair of kinds, also those with nothing apart
    QStringList Warnings;
    std::optional<TWindow> Temperature; // lowest and highest over the records not excluded
    std::vector<TLabelResult> LabelResult;
};

// One record against a set of windows. It passes when it lies inside every window of
// at least one kind. A record that fails is named after its nearest kind, the one
// with the fewest failing measurements (the first of them on a tie).
struct TWindowVerdict {
    bool Pass = false;
    int Kind = -1;        // the kind it passed as, or the nearest; -1: no windows at all
    int Failing = 0;      // measurements outside the nearest kind's windows
    int Measurement = -1; // the nearest kind's first failing measurement
    int32_t Value = 0;    // the record's value there
};

// A group's envelope widened by ±DeltaY counts and ±DeltaX samples: the band every
// waveform sample of a coin like the group's lies in.
struct TMask {
    QString Group;
    int DeltaY = 0;
    int DeltaX = 0;
    std::array<std::array<int32_t, TWaveStore::Samples>, TWaveStore::Channels> Low{};
    std::array<std::array<int32_t, TWaveStore::Samples>, TWaveStore::Channels> High{};
};

struct TMaskVerdict {
    bool Pass = false;
    int Channel = -1; // the first sample outside, channel by channel
    int Sample = -1;
    int32_t Value = 0;
    int Outside = 0; // waveform samples outside the band
};

// File B against file A: the mean waveforms and the twenty measurements, over each
// side's records not excluded.
struct TChannelDifference {
    int Sample = -1;       // where B's mean waveform lies farthest from A's
    double Difference = 0; // B − A there
};

struct TMeasurementDifference {
    TStat A;
    TStat B;
    double Difference = 0;        // mean of B − mean of A
    std::optional<double> Effect; // that over the pooled sd; none when the sd is 0
};

struct TComparison {
    int NA = 0;
    int NB = 0;
    std::array<TChannelDifference, TWaveStore::Channels> Channels{};
    std::array<TMeasurementDifference, WaveTeach::Measurements> Measurements{};
};

namespace WaveTeach {
// The window over `values` under `rule`, clipped to 0..255; none for no values.
std::optional<TWindow> WindowOf(std::span<const int32_t> values, const TTeachRule& rule);

// Windows per genuine kind from the records labelled genuine and not excluded, with
// what they would have done to the set and the notes on it.
TTeaching Teach(const TWaveTable& table, const TTeachRule& rule, const QDateTime& date);

// A record's twenty values inside all windows of `kind`: the count outside, and the
// first measurement outside (-1 when none).
int Failing(const TKindWindows& kind, std::span<const int32_t, Measurements> values,
            int* first = nullptr);
TWindowVerdict Check(const TWindowsSet& windows, std::span<const int32_t, Measurements> values);
// "PASS 10c", "FAIL near 10c: Width 31 outside 34..40 (2 out)".
QString Describe(const TWindowVerdict& verdict, const TWindowsSet& windows);

TMask MakeMask(const TEnvelope& envelope, int deltaY, int deltaX, const QString& group);
TMaskVerdict Check(const TMask& mask, const TWaveStore& store, int slot);
// "PASS 3/genuine ±4/±2", "FAIL ch2 s134: 201 outside 150..190 (7 out)".
QString Describe(const TMaskVerdict& verdict, const TMask& mask);

// The twenty values of a store's record.
std::span<const int32_t, Measurements> ValuesOf(const TWaveStore& store, int slot);

TComparison Compare(const TWaveTable& a, const TWaveTable& b);
} // namespace WaveTeach
