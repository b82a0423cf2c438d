// Wave stores for the analysis tests: records drawn as a coil dip and a light-barrier
// block at a chosen moment and depth, the twenty values set apart from the waves.
#pragma once

#include "WaveLabels.h"
#include "WaveStore.h"

#include <QString>

#include <cmath>
#include <memory>

struct TCoin {
    int entry = 40; // when the coin comes in, in samples
    int depth = 60; // how far the coil reading sags
    int value0 = 0; // channel 0 sample 250 ("DROP1 CNT"); the others follow it
    int noise = 0;  // seed of a small wobble
};

// Record `r` of `store` as `coin` draws it on all six channels.
inline void PutCoin(TWaveStore& store, int r, const TCoin& coin) {
    const auto rec = static_cast<size_t>(r);
    for (size_t c = 0; c < 6; ++c) {
        for (int s = 0; s < 300; ++s) {
            const double x = (s - coin.entry - 30.0) / 12.0;
            const int wobble = (s * 7 + coin.noise * 13 + static_cast<int>(c)) % 3 - 1;
            int v = 0;
            if (c < 2) // the second coil reacts half as strongly
                v = 200 - static_cast<int>(std::lround(coin.depth * std::exp(-x * x) / (1 + c)));
            else
                v = s >= coin.entry + 20 * static_cast<int>(c) &&
                            s < coin.entry + 20 * static_cast<int>(c) + 45
                        ? 220
                        : 25;
            store.WaveSamples[c][rec][static_cast<size_t>(s)] = v + wobble;
        }
    }
    for (size_t m = 0; m < 20; ++m)
        store.WaveSamples[0][rec][250 + m] = coin.value0 + static_cast<int>(m);
    store.WaveSamples[0][rec][299] = 0;
    store.RecordLength[rec] = 100 + coin.entry;
}

inline TRecordLabel Label(const char* kind, TCoinClass c = TCoinClass::Genuine,
                          bool excluded = false) {
    return {QString::fromUtf8(kind), c, excluded, QString()};
}
