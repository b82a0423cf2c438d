// Asking the board, shared by the commands: send a request, wait for the answer that
// its operation mode's rule assembles, judge it, and send it again after silence or a
// garbled answer, up to the retries.
#pragma once

#include "CommandTable.h"
#include "Commands.h"
#include "Modes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

constexpr uint8_t ProtocolAck = 0x50;
constexpr uint8_t ProtocolNak = 0x4B;

// What an answer means to the request it answers.
enum class TJudge {
    Good,
    Spoiled, // garbled (checksum, length): ask again
    Refused, // NAK
    Ignore,  // not an answer to this request (an event the board sent on its own)
};
using TJudgeFn = std::function<TJudge(TReplyEnd, std::span<const uint8_t>)>;

// One request of the command table as a command asks it.
struct TAsk {
    TAsk(QString what_, const TRequest& request, std::vector<uint8_t> payload_ = {})
        : what(std::move(what_)), command(request.code), payload(std::move(payload_)),
          withEnd(request.withEnd), mode(request.mode) {}

    QString what; // "the firmware version request"
    uint8_t command = 0;
    std::vector<uint8_t> payload;
    bool withEnd = true;
    int mode = Mode::Idle; // whose assembly rule reads the answer
};

// Says why a wait ended early (port lost or Ctrl-C) and returns its exit code.
int FailWait(TReporter& r, TLink& link, TWaitEnd end);
// Sends `q` and waits for an answer `judge` calls good, left in `reply`.
int Ask(TLink& link, const TCtlSettings& s, TReporter& r, const TAsk& q, const TJudgeFn& judge,
        std::vector<uint8_t>& reply);
// A request answered by ACK, or refused by `nak`.
int AskAck(TLink& link, const TCtlSettings& s, TReporter& r, const QString& what,
           const TRequest& request, std::vector<uint8_t> payload, uint8_t nak);
// Whether the last byte of `reply` is the sum of the bytes before it.
bool SumRight(std::span<const uint8_t> reply);
// A byte as two uppercase hexadecimal digits.
QString Hex2(uint8_t b);
