// Splits the bytes the tool sends into requests: command frames (0x90, length, ...),
// raw two-byte commands (0x55 then 0xA0..0xA4) and runs of bytes that are neither.
#pragma once

#include "Protocol.h"

#include <optional>
#include <vector>

namespace krv2sim {

struct Request {
    enum class Kind { frame, raw, ignored };
    Kind kind = Kind::ignored;
    Bytes bytes;
    bool checksumOk = true; // frames only
};

class RequestParser {
public:
    // A frame that stops arriving for this long is given up and its bytes rescanned.
    explicit RequestParser(Micros partialTimeout = std::chrono::milliseconds(100))
        : timeout(partialTimeout) {}

    void feed(std::span<const uint8_t> bytes, Micros now, std::vector<Request>& out);
    // Gives up a stalled partial request once its deadline has passed.
    void expire(Micros now, std::vector<Request>& out);
    std::optional<Micros> deadline() const;

private:
    void scan(std::vector<Request>& out);
    void flushIgnored(std::vector<Request>& out);

    Micros timeout;
    Micros lastByte{0};
    Bytes pending;
    Bytes ignored;
};

} // namespace krv2sim
