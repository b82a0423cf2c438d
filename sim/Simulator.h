// The whole simulated board behind its serial connector: request parsing, the
// board, the configured faults and the line's pace, with an optional log of every
// frame. Still no I/O: the caller feeds received bytes, says what time it is and
// writes out what is due.
#pragma once

#include "Board.h"
#include "Faults.h"
#include "Pacer.h"
#include "RequestParser.h"

#include <functional>
#include <optional>
#include <string>

namespace krv2sim {

struct SimConfig {
    BoardConfig board;
    FaultConfig faults;
    int baud = 9600; // pace of the output; 0 writes at once
};

class Simulator {
public:
    using LogSink = std::function<void(const std::string& line)>;

    explicit Simulator(const SimConfig& config, LogSink log = {});

    void receive(std::span<const uint8_t> bytes, Micros now);
    // Runs what is due by `now`: coins, stalled partial requests.
    void advance(Micros now);
    Bytes takeDue(Micros now);
    // When something will next be due; nothing when the board is idle.
    std::optional<Micros> nextWake() const;

    Board& board() { return brd; }

private:
    void process(std::vector<Request>& requests, Micros now);
    void transmit(Micros now);
    void logRequest(const Request& request, const char* note);

    RequestParser parser;
    Board brd;
    Faults faults;
    Pacer pacer;
    LogSink log;
};

} // namespace krv2sim
