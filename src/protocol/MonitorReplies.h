// Decoding of the Protocol Test page's replies: status and event frames that light
// the Communication Monitor, the version/ID text replies and the DIP-switch reply.
#pragma once

#include <QString>

#include <bitset>
#include <cstdint>
#include <optional>
#include <span>

// The twenty monitor labels, in monitor order.
enum TMonitorLabel : int {
    mlIdling,
    mlAccepting,
    mlDisable,
    mlSen1,               // .. mlSen1 + 5
    mlCoin1 = mlSen1 + 6, // .. mlCoin1 + 7
    mlAck = mlCoin1 + 8,
    mlNak,
    mlInvalid,
    mlCount
};

struct TMonitorResult {
    std::bitset<mlCount> lit;
    bool passed = false;    // a coin result to count as PASS
    bool notPassed = false; // a coin result to count as NOPASS
    int logLength = 0;      // bytes to log: 5, 6, or 0 for no line
};

// The caption of a monitor label: "IDLING", "SEN 3 ERROR", "COIN 5", "ACK"...
QString MonitorLabelText(TMonitorLabel label);

// Decodes a completed mode-4 reply: 5 bytes with length byte 5, or 6 with length byte 6.
TMonitorResult DecodeMonitorReply(std::span<const uint8_t> reply, bool coinCountEnabled);

// "66 %" style pass percentage; empty while nothing passed (the label keeps its text).
std::optional<QString> PercentText(int passCount, int noPassCount);

// Whether the sum of reply[0..n-2] equals reply[n-1].
bool SumMatches(std::span<const uint8_t> reply, int length);

// The ten text bytes 3..12 of a version or ID reply, as characters.
QString TextReplyChars(std::span<const uint8_t> reply);

// Eight "1"/"0" characters for bits 7 down to 0.
QString BitsMsbFirst(uint8_t value);
