// From the analysis to what the page's plot draws: a group's envelope as the band
// under the traces, and the records flagged as outliers.
#pragma once

#include "Plot.h"
#include "WaveStats.h"

#include <array>
#include <vector>

namespace AnalysisPlot {
// min..max of every waveform sample; the twenty values and sample 299 are no waveform
// and leave gaps.
TPlotBand BandOf(const TEnvelope& envelope);
// Store slots of the table's flagged rows.
std::array<bool, TWaveStore::WaveMaxRecords> FlaggedSlots(const TWaveTable& table,
                                                          const std::vector<TOutlier>& outliers);
} // namespace AnalysisPlot
