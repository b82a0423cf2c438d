// Collects one board reply from deliveries of any size into ReplyBuffer. Each mode
// supplies what starts its reply and when it is complete; the readers only decode.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

enum class TStartRule {
    TableByte,  // parameter table: 0x55, 0x00 or 0xFF
    FrameByte,  // 0x90
    ReportByte, // sensor report: its code byte 0x50
};

enum class TCompleteRule {
    FixedCount,          // complete when `count` bytes are held
    StatusOrEvent,       // 5 bytes with length byte 5, or 6 with length byte 6
    LengthByte,          // as many bytes as byte 1 says; every 0x90 clears byte 1
    LengthByteWhileIdle, // the same, but a 0x90 inside a reply is plain data
};

struct TReplyRule {
    TStartRule start = TStartRule::FrameByte;
    TCompleteRule complete = TCompleteRule::FixedCount;
    int count = 0;
    // Version and ID requests: a 5-byte frame (a NAK) ends the collection at once.
    bool shortReplyEnds = false;
};

struct TAssemblyResult {
    bool completed = false;  // a reply became complete during the delivery
    bool shortReply = false; // a 5-byte answer ended a text collection
    bool overflowed = false; // a collection reached capacity and was dropped
};

class TReplyAssembly {
public:
    static constexpr int Capacity = 76;

    std::array<uint8_t, Capacity> ReplyBuffer{};
    int ReplyCount = 0;
    bool ReplyStarted = false;

    // Scans one delivery. The caller decodes ReplyBuffer once afterwards when
    // `completed` is set, whatever later bytes of the delivery left there.
    TAssemblyResult Feed(std::span<const uint8_t> bytes, const TReplyRule& rule);
};

// The assembly rule of an operation mode; none for modes without a frame reader
// (0, the wave mode 6 with its own packet buffer, and unknown values).
std::optional<TReplyRule> RuleForMode(int mode);
