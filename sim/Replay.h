// The board's side of a recorded run, played again: what the board sent (the
// journal's RX events) goes out at its recorded time, or `speed` times faster. The
// tool's writes (TX events) are where the two runs meet: there the replay waits until
// the tool has sent as many bytes, and times what follows from that moment, so a
// technician's pauses and a port opened late do not shift the board's answers. No I/O:
// the caller says what time it is and writes out what is due.
#pragma once

#include "Protocol.h"

#include <functional>
#include <optional>

namespace krv2sim {

struct ReplayEvent {
    Micros at{0}; // from the journal's start
    bool fromBoard = true;
    Bytes bytes;
};

class Replayer {
public:
    // Gives the next event in journal order; false at the end.
    using Source = std::function<bool(ReplayEvent&)>;

    // `now` is when the journal's time 0 plays.
    Replayer(Source source, double speed, Micros now);

    // The tool sent `count` bytes.
    void received(size_t count, Micros now);
    // The board's bytes due by `now`.
    Bytes takeDue(Micros now);
    // When the next bytes are due; nothing while waiting for the tool or at the end.
    std::optional<Micros> nextWake() const;
    bool finished() const { return !next; }
    bool waitingForTool() const { return next && !next->fromBoard; }

private:
    void pull();
    Micros dueTime(const ReplayEvent& event) const;
    void meetTool(Micros now);

    Source source;
    double speed;
    std::optional<ReplayEvent> next;
    // Journal time `journalAnchor` plays at `realAnchor`.
    Micros journalAnchor{0};
    Micros realAnchor{0};
    uint64_t toolBytes = 0; // sent by the tool and not yet matched to a TX event
};

} // namespace krv2sim
