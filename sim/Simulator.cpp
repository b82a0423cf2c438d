#include "Simulator.h"

#include <algorithm>

namespace krv2sim {

namespace {

BoardConfig withLinePace(BoardConfig board, int baud) {
    board.bytePeriod = baud > 0 ? Micros(10'000'000 / baud) : Micros(0);
    return board;
}

// Long packets are shortened in the log: header, "...", last byte.
std::string logHex(std::span<const uint8_t> bytes) {
    constexpr size_t shown = 24;
    if (bytes.size() <= 80)
        return hexText(bytes);
    return hexText(bytes.first(shown)) + " ... " + hexText(bytes.last(1));
}

std::string describe(const Request& request) {
    switch (request.kind) {
    case Request::Kind::frame:
        return commandShape(request.bytes[2]).name;
    case Request::Kind::raw:
        return rawCommandName(request.bytes[1]);
    case Request::Kind::ignored:
        break;
    }
    return "ignored";
}

} // namespace

Simulator::Simulator(const SimConfig& config, LogSink sink)
    : brd(withLinePace(config.board, config.baud)), faults(config.faults, config.board.seed),
      pacer(config.baud), log(std::move(sink)) {}

void Simulator::logRequest(const Request& request, const char* note) {
    if (!log)
        return;
    std::string line = "RX " + logHex(request.bytes) + "  (" + describe(request);
    if (request.kind == Request::Kind::frame && !request.checksumOk)
        line += ", bad checksum";
    if (note)
        line += note;
    log(line + ")");
}

void Simulator::receive(std::span<const uint8_t> bytes, Micros now) {
    std::vector<Request> requests;
    parser.feed(bytes, now, requests);
    process(requests, now);
}

void Simulator::advance(Micros now) {
    std::vector<Request> requests;
    parser.expire(now, requests);
    process(requests, now);
    brd.advance(now);
    transmit(now);
}

void Simulator::process(std::vector<Request>& requests, Micros now) {
    for (const Request& request : requests) {
        if (request.kind == Request::Kind::ignored) {
            logRequest(request, nullptr);
            continue;
        }
        if (faults.dropRequest()) {
            logRequest(request, ", dropped");
            continue;
        }
        const bool acted = brd.handle(request, now, faults.refuse());
        logRequest(request, acted ? nullptr : ", malformed: ignored");
        transmit(now);
    }
}

void Simulator::transmit(Micros now) {
    std::vector<std::string> notes;
    auto& queue = brd.output();
    while (!queue.empty()) {
        Message message = std::move(queue.front());
        queue.pop_front();
        const bool spoiled = faults.spoilChecksum(message);
        if (log)
            log("TX " + logHex(message.bytes) + "  (" + message.what +
                (spoiled ? ", checksum spoiled" : "") + ")");
        notes.clear();
        pacer.push(faults.onTheLine(message.bytes, notes), now);
        if (log)
            for (const std::string& note : notes)
                log(note);
    }
}

Bytes Simulator::takeDue(Micros now) {
    return pacer.takeDue(now);
}

std::optional<Micros> Simulator::nextWake() const {
    std::optional<Micros> wake;
    for (const auto& at : {parser.deadline(), brd.nextEvent(), pacer.nextDue()})
        if (at && (!wake || *at < *wake))
            wake = at;
    return wake;
}

} // namespace krv2sim
