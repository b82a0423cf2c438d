#include "Faults.h"

#include <cstdio>

namespace krv2sim {

Faults::Faults(FaultConfig config, uint64_t seed)
    : cfg(config), rng(seed ^ 0x6A09E667F3BCC909ull) {}

bool Faults::dropRequest() {
    return rng.chance(cfg.dropRequests);
}

bool Faults::spoilChecksum(Message& message) {
    if (message.kind != Message::Kind::framed || message.bytes.empty() ||
        !rng.chance(cfg.badChecksum))
        return false;
    // Inverted: never right by chance, and easy to recognise in a log.
    message.bytes.back() = static_cast<uint8_t>(~message.bytes.back());
    return true;
}

Bytes Faults::onTheLine(std::span<const uint8_t> bytes, std::vector<std::string>& notes) {
    if (cfg.dropBytes <= 0 && cfg.insertBytes <= 0)
        return Bytes(bytes.begin(), bytes.end());
    Bytes out;
    out.reserve(bytes.size());
    char note[48];
    for (uint8_t b : bytes) {
        if (rng.chance(cfg.insertBytes)) {
            const uint8_t extra = rng.byte();
            out.push_back(extra);
            std::snprintf(note, sizeof note, "TX fault: byte %02X inserted", extra);
            notes.emplace_back(note);
        }
        if (rng.chance(cfg.dropBytes)) {
            std::snprintf(note, sizeof note, "TX fault: byte %02X dropped", b);
            notes.emplace_back(note);
            continue;
        }
        out.push_back(b);
    }
    return out;
}

} // namespace krv2sim
