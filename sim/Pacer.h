// Lets bytes out at the pace of the serial line: at 9600 baud 8N1 one byte every
// 1.0417 ms, on an absolute schedule so rounding never adds up to drift.
#pragma once

#include "Protocol.h"

#include <deque>
#include <optional>

namespace krv2sim {

class Pacer {
public:
    // baud 0: no pacing, every byte is due at once.
    explicit Pacer(int baudRate) : baud(baudRate) {}

    void push(std::span<const uint8_t> bytes, Micros now);
    // The bytes whose last bit has left the line by `now`.
    Bytes takeDue(Micros now);
    std::optional<Micros> nextDue() const;
    size_t pending() const { return queue.size(); }

private:
    Micros dueTime(uint64_t index) const;

    int baud;
    std::deque<uint8_t> queue;
    Micros anchor{0};
    uint64_t sent = 0; // bytes taken since `anchor`
};

} // namespace krv2sim
