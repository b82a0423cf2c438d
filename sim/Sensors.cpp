#include "Sensors.h"

#include <algorithm>

namespace krv2sim {

const std::array<SensorBand, sensorCount>& sensorBands() {
    // 10-bit converter readings. The good bands sit a few counts inside the tool's
    // limits (Big Coil 731..929, Small Coil 721..879, DROP IN <100, COIN RETURN
    // and SEN1 <80, SEN2 >1000) so that drift alone never turns a value red.
    static const std::array<SensorBand, sensorCount> bands{{
        {"Big Coil", 830, 760, 900, 650, 729},
        {"Small Coil", 800, 745, 855, 885, 960},
        {"Temperature", 28, 22, 36, 60, 85},
        {"DROP1 SEN", 55, 35, 80, 300, 600},
        {"DROP IN2", 40, 20, 70, 120, 400},
        {"DROP IN1", 42, 20, 70, 120, 400},
        {"COIN RETURN", 25, 10, 55, 90, 300},
        {"SEN3", 180, 140, 240, 380, 700},
        {"SEN2", 1015, 1006, 1023, 600, 990},
        {"SEN1", 30, 12, 60, 95, 400},
    }};
    return bands;
}

Sensors::Sensors(double chance) : offChance(chance) {
    for (int i = 0; i < sensorCount; ++i)
        level[i] = sensorBands()[i].rest;
}

std::array<uint16_t, sensorCount> Sensors::sample(Rng& rng) {
    std::array<uint16_t, sensorCount> out{};
    for (int i = 0; i < sensorCount; ++i) {
        const SensorBand& band = sensorBands()[i];
        // A random walk pulled back towards rest: looks alive, never runs away.
        const int spread = std::max(1, (band.hi - band.lo) / 12);
        const int pull = (band.rest - level[i]) / 4;
        level[i] = std::clamp(level[i] + pull + static_cast<int>(rng.between(-spread, spread)),
                              band.lo, band.hi);
        out[i] = static_cast<uint16_t>(level[i]);
    }
    if (rng.chance(offChance)) {
        const auto i = static_cast<size_t>(rng.between(0, sensorCount - 1));
        out[i] = static_cast<uint16_t>(rng.between(sensorBands()[i].badLo, sensorBands()[i].badHi));
    }
    return out;
}

} // namespace krv2sim
