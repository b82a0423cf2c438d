#include "WaveSynth.h"

#include <algorithm>
#include <cmath>

namespace krv2sim {

namespace {

using Trace = std::array<int, waveSamples>;

// Inductive sensors: a metal coin detunes the coil, the reading sags while it passes.
void addDip(Trace& trace, double centre, double width, double depth) {
    for (int t = 0; t < waveSamples; ++t) {
        const double x = (t - centre) / width;
        trace[t] -= static_cast<int>(std::lround(depth * std::exp(-x * x)));
    }
}

// Light barriers: the reading rises while the coin blocks the beam, with soft edges.
void addBlock(Trace& trace, double from, double to, double height) {
    for (int t = 0; t < waveSamples; ++t) {
        const double in = 1.0 / (1.0 + std::exp(-(t - from) / 2.5));
        const double out = 1.0 / (1.0 + std::exp((t - to) / 2.5));
        trace[t] += static_cast<int>(std::lround(height * in * out));
    }
}

int countIf(const Trace& trace, int last, auto pred) {
    return static_cast<int>(std::count_if(trace.begin(), trace.begin() + last, pred));
}

} // namespace

WavePackets synthesizeWave(const CoinPassage& coin, Rng& rng) {
    const bool accepted = coin.result != reply::coinRejected;
    const int entry = static_cast<int>(rng.between(30, 50));
    // Bigger coins (higher channels) cover each sensor longer.
    const int dwell = 40 + 4 * coin.type + static_cast<int>(rng.between(-4, 4));
    // How strongly each coil reacts is the coin's alloy; a slug is anything.
    const double bigDepth = coin.type > 0 ? 30 + 14 * coin.type + rng.between(-4, 4)
                                          : static_cast<double>(rng.between(10, 150));
    const double smallDepth = coin.type > 0 ? 20 + (coin.type * 37) % 70 + rng.between(-4, 4)
                                            : static_cast<double>(rng.between(10, 120));

    std::array<Trace, waveChannels> traces{};
    const std::array<int, waveChannels> baseline{200, 185, 25, 30, 210, 30};
    for (int c = 0; c < waveChannels; ++c)
        traces[c].fill(baseline[c] + static_cast<int>(rng.between(-3, 3)));

    const double coilCentre = entry + dwell / 2.0 + 10;
    addDip(traces[0], coilCentre, dwell / 2.5, bigDepth);
    addDip(traces[1], coilCentre + 8, dwell / 3.0, smallDepth);
    addBlock(traces[2], entry + 40, entry + 40 + dwell, 200);
    addBlock(traces[3], entry + 60, entry + 60 + dwell, 190);
    // Accepted coins fall past the accept-path beam, the others down the return path.
    if (accepted)
        addBlock(traces[4], entry + 90, entry + 90 + dwell, -170);
    else
        addBlock(traces[5], entry + 90, entry + 90 + dwell, 180);

    for (auto& trace : traces)
        for (int& s : trace)
            s = std::clamp(s + static_cast<int>(rng.between(-1, 1)), 0, 255);

    // Channel 0's tail carries what the board measured on this coin.
    Trace& m = traces[0];
    const int measured = firstMeasurement;
    const int bigBase = baseline[0];
    const auto [smallMin, smallMax] = std::minmax_element(traces[1].begin(), traces[1].end());
    std::array<int, measurementCount> values{};
    values[0] = countIf(traces[2], measured, [](int s) { return s > 125; }); // DROP1 CNT
    values[1] = countIf(traces[3], measured, [](int s) { return s > 125; }); // DROP2 CNT
    values[2] = countIf(traces[4], measured, [](int s) { return s < 125; }); // EXT DROP CNT
    values[3] = coin.temperature;
    values[4] = *std::min_element(m.begin(), m.begin() + measured); // Coil1 value (min)
    values[5] = coin.result;
    values[6] = countIf(m, measured, [&](int s) { return s < bigBase - bigDepth / 2; }); // Width
    values[7] = coin.pulses;
    values[8] = *smallMax;
    values[9] = *smallMin;
    if (!accepted) {
        // A slug trips a coil check; a good coin turned away trips one of the others.
        values[coin.type == 0 ? 10 + static_cast<int>(rng.between(0, 1))
                              : 12 + static_cast<int>(rng.between(0, 5))] = 1;
    }
    for (int i = 0; i < measurementCount; ++i)
        m[measured + i] = std::clamp(values[i], 0, 255);

    const auto length = static_cast<uint16_t>(100 + dwell);
    WavePackets packets;
    for (int c = 0; c < waveChannels; ++c) {
        std::array<uint8_t, waveSamples> samples{};
        std::copy(traces[c].begin(), traces[c].end(), samples.begin());
        packets[c] = wavePacket(coin, c, length, samples);
    }
    return packets;
}

Bytes wavePacket(const CoinPassage& coin, int channel, uint16_t length,
                 std::span<const uint8_t> samples) {
    Bytes p{0x55,
            0xAA,
            0x08,
            coin.result,
            coin.sequence,
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length & 0xFF),
            static_cast<uint8_t>(channel)};
    p.reserve(wavePacketSize);
    p.insert(p.end(), samples.begin(), samples.end());
    p.resize(wavePacketSize - 1);
    // The tool finds packets by 55 AA 08 alone: samples must never spell it, nor end
    // in 55 AA before the last byte.
    for (size_t i = 8; i + 1 < p.size(); ++i)
        if (p[i] == 0x55 && p[i + 1] == 0xAA)
            p[i + 1] = 0xA9;
    p.push_back(frameSum(p));
    return p;
}

} // namespace krv2sim
