// The ten analogue readings of the sensor report. Each wanders slowly around its
// resting level, inside the band the I/O test accepts; now and then one reading of
// a report is off (a dirty sensor, a coin left in the path) and shows outside it.
#pragma once

#include "Rng.h"

#include <array>
#include <cstdint>

namespace krv2sim {

constexpr int sensorCount = 10;

struct SensorBand {
    const char* name;
    int rest;         // level the reading drifts back to
    int lo, hi;       // where drift keeps it: inside what the tool judges good
    int badLo, badHi; // where an off reading lands
};

// In report order: Big Coil, Small Coil, Temperature, DROP1 SEN, DROP IN2, DROP IN1,
// COIN RETURN, SEN3, SEN2, SEN1.
const std::array<SensorBand, sensorCount>& sensorBands();

class Sensors {
public:
    explicit Sensors(double offChance = 0.05);

    // Readings for one report; moves the drift on by one step.
    std::array<uint16_t, sensorCount> sample(Rng& rng);
    int temperature() const { return level[2]; }

private:
    double offChance;
    std::array<int, sensorCount> level{};
};

} // namespace krv2sim
