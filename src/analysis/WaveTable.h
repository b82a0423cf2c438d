// The measurement table: one row per valid record of one or more wave stores, in
// store order, numbered from 0 across them (the second file's first record follows
// the first file's last). Rows point into the stores, which must outlive the table;
// a window rebuilds the table from its store and labels after every change.
#pragma once

#include "WaveCaptions.h"
#include "WaveLabels.h"
#include "WaveStore.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

struct TWaveSource {
    const TWaveStore* Store = nullptr;
    const TWaveLabels* Labels = nullptr;
    QString File; // the name reports show, may be empty
};

struct TTableRow {
    int Record = 0; // numbered across every source
    int Source = 0; // index into the table's sources
    int Slot = 0;   // record within its store
    int32_t Length = 0;
    TRecordLabel Label;
    std::array<int32_t, WaveCaptions::ValueCount> Values{}; // channel 0 samples 250..269
};

using TChannelSamples = std::span<const int32_t, TWaveStore::Samples>;

class TWaveTable {
public:
    explicit TWaveTable(std::vector<TWaveSource> sources);
    TWaveTable(const TWaveStore& store, const TWaveLabels& labels)
        : TWaveTable(std::vector<TWaveSource>{{&store, &labels, QString()}}) {}

    const std::vector<TTableRow>& Rows() const { return rows; }
    const std::vector<TWaveSource>& Sources() const { return sources; }
    TChannelSamples Samples(const TTableRow& row, int channel) const;

private:
    std::vector<TWaveSource> sources;
    std::vector<TTableRow> rows;
};

namespace WaveTable {
// The caption of measurement i (0..19) as tables and exports show it: trailing blanks
// trimmed ("MAX").
QString Caption(int i);

// Waveform samples: 0..298 of every channel, except channel 0's measurement values at
// 250..269. Sample 299 is never captured.
constexpr bool IsWaveSample(int channel, int sample) {
    if (sample < 0 || sample >= TWaveStore::Samples - 1)
        return false;
    return channel != 0 || sample < WaveCaptions::FirstValueSample ||
           sample >= WaveCaptions::FirstValueSample + WaveCaptions::ValueCount;
}
} // namespace WaveTable
