#include "Replay.h"

#include <cmath>

namespace krv2sim {

Replayer::Replayer(Source eventSource, double playSpeed, Micros now)
    : source(std::move(eventSource)), speed(playSpeed > 0 ? playSpeed : 1.0), realAnchor(now) {
    pull();
}

void Replayer::pull() {
    ReplayEvent event;
    if (source && source(event))
        next = std::move(event);
    else
        next.reset();
}

Micros Replayer::dueTime(const ReplayEvent& event) const {
    const auto gap = static_cast<double>((event.at - journalAnchor).count()) / speed;
    return realAnchor + Micros(static_cast<int64_t>(std::llround(gap)));
}

void Replayer::meetTool(Micros now) {
    // Every TX event the tool's bytes so far account for: the run is here now.
    while (next && !next->fromBoard && toolBytes >= next->bytes.size()) {
        toolBytes -= next->bytes.size();
        journalAnchor = next->at;
        realAnchor = now;
        pull();
    }
}

void Replayer::received(size_t count, Micros now) {
    toolBytes += count;
    meetTool(now);
}

Bytes Replayer::takeDue(Micros now) {
    Bytes out;
    for (;;) {
        meetTool(now);
        if (!next || !next->fromBoard || dueTime(*next) > now)
            return out;
        out.insert(out.end(), next->bytes.begin(), next->bytes.end());
        pull();
    }
}

std::optional<Micros> Replayer::nextWake() const {
    if (!next || !next->fromBoard)
        return std::nullopt;
    return dueTime(*next);
}

} // namespace krv2sim
