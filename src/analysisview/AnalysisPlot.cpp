#include "AnalysisPlot.h"

TPlotBand AnalysisPlot::BandOf(const TEnvelope& envelope) {
    TPlotBand band;
    band.Lower = envelope.Min;
    band.Upper = envelope.Max;
    for (int c = 0; c < TWaveStore::Channels; ++c)
        for (int s = 0; s < TWaveStore::Samples; ++s)
            band.Present[static_cast<size_t>(c)][static_cast<size_t>(s)] =
                WaveTable::IsWaveSample(c, s);
    return band;
}

std::array<bool, TWaveStore::WaveMaxRecords>
AnalysisPlot::FlaggedSlots(const TWaveTable& table, const std::vector<TOutlier>& outliers) {
    std::array<bool, TWaveStore::WaveMaxRecords> flagged{};
    const auto& rows = table.Rows();
    for (size_t i = 0; i < rows.size() && i < outliers.size(); ++i)
        if (outliers[i].Flagged && rows[i].Slot >= 0 && rows[i].Slot < TWaveStore::WaveMaxRecords)
            flagged[static_cast<size_t>(rows[i].Slot)] = true;
    return flagged;
}
