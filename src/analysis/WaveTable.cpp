#include "WaveTable.h"

#include <algorithm>

TWaveTable::TWaveTable(std::vector<TWaveSource> waveSources) : sources(std::move(waveSources)) {
    int record = 0;
    for (size_t source = 0; source < sources.size(); ++source) {
        const TWaveStore& store = *sources[source].Store;
        // A store's count is 0..200 by its invariant; a stray value reads nothing past it.
        const int count = std::clamp(store.RecordCount, 0, TWaveStore::WaveMaxRecords);
        for (int slot = 0; slot < count; ++slot) {
            TTableRow row;
            row.Record = record++;
            row.Source = static_cast<int>(source);
            row.Slot = slot;
            row.Length = store.RecordLength[static_cast<size_t>(slot)];
            if (sources[source].Labels)
                row.Label = sources[source].Labels->At(slot);
            const auto& channel0 = store.WaveSamples[0][static_cast<size_t>(slot)];
            std::copy_n(channel0.begin() + WaveCaptions::FirstValueSample, WaveCaptions::ValueCount,
                        row.Values.begin());
            rows.push_back(std::move(row));
        }
    }
}

TChannelSamples TWaveTable::Samples(const TTableRow& row, int channel) const {
    const TWaveStore& store = *sources[static_cast<size_t>(row.Source)].Store;
    return TChannelSamples(
        store.WaveSamples[static_cast<size_t>(channel)][static_cast<size_t>(row.Slot)]);
}

QString WaveTable::Caption(int i) {
    QString text = QString::fromLatin1(WaveCaptions::ValueCaptionTexts[i]);
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}
