#include "Pacer.h"

namespace krv2sim {

Micros Pacer::dueTime(uint64_t index) const {
    // Ten bit times per byte: start bit, eight data bits, stop bit.
    return anchor +
           Micros(static_cast<int64_t>((index + 1) * 10'000'000ull / static_cast<uint64_t>(baud)));
}

void Pacer::push(std::span<const uint8_t> bytes, Micros now) {
    if (bytes.empty())
        return;
    // An idle line starts the next byte now, not where the old schedule would be.
    if (queue.empty()) {
        anchor = now;
        sent = 0;
    }
    queue.insert(queue.end(), bytes.begin(), bytes.end());
}

Bytes Pacer::takeDue(Micros now) {
    Bytes out;
    if (baud <= 0) {
        out.assign(queue.begin(), queue.end());
        queue.clear();
        return out;
    }
    while (!queue.empty() && dueTime(sent) <= now) {
        out.push_back(queue.front());
        queue.pop_front();
        ++sent;
    }
    return out;
}

std::optional<Micros> Pacer::nextDue() const {
    if (queue.empty())
        return std::nullopt;
    if (baud <= 0)
        return anchor;
    return dueTime(sent);
}

} // namespace krv2sim
