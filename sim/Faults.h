// Misbehaviour on demand, for trying the tool's failure paths: lost requests,
// refusals, spoiled checksums and bytes lost or added on the line. All of it is
// decided by its own seeded dice, so a seed replays the same faults.
#pragma once

#include "Board.h"
#include "Rng.h"

#include <string>
#include <vector>

namespace krv2sim {

struct FaultConfig {
    double badChecksum = 0;  // per framed reply
    double dropRequests = 0; // per request
    double dropBytes = 0;    // per byte sent
    double insertBytes = 0;  // per byte sent: a random byte before it
    bool nak = false;        // refuse everything that would be acknowledged
};

class Faults {
public:
    Faults(FaultConfig config, uint64_t seed);

    bool refuse() const { return cfg.nak; }
    bool dropRequest();
    // Spoils the checksum of a framed reply; true when it did.
    bool spoilChecksum(Message& message);
    // What the line makes of `bytes`; `notes` gets one line per byte lost or added.
    Bytes onTheLine(std::span<const uint8_t> bytes, std::vector<std::string>& notes);

private:
    FaultConfig cfg;
    Rng rng;
};

} // namespace krv2sim
