// What the board's six sensor channels record while one coin rolls past, as the six
// 308-byte wave packets it streams in wave capture: 55 AA 08, coin result, coin
// sequence number, length (u16), channel, 299 samples, sum of the bytes before it.
#pragma once

#include "Protocol.h"
#include "Rng.h"

#include <array>

namespace krv2sim {

constexpr int waveChannels = 6;
constexpr int wavePacketSize = 308;
constexpr int waveSamples = 299;
constexpr int firstMeasurement = 250; // channel 0 samples 250..269 carry measurements
constexpr int measurementCount = 20;

// One coin as the sensors see it.
struct CoinPassage {
    int type = 0;         // 1..8: the coin of that channel; 0: a slug
    uint8_t result = 0;   // 1..8 when accepted, 0x88 when it did not pass
    uint8_t sequence = 0; // counts coins, wraps
    int temperature = 28; // from the temperature sensor
    int pulses = 0;       // credit pulses sent for it
};

using WavePackets = std::array<Bytes, waveChannels>;

WavePackets synthesizeWave(const CoinPassage& coin, Rng& rng);

// One packet around 299 samples. Sample pairs 55 AA are changed to 55 A9 so that
// nothing but the packet's start reads as a header 55 AA 08.
Bytes wavePacket(const CoinPassage& coin, int channel, uint16_t length,
                 std::span<const uint8_t> samples);

} // namespace krv2sim
