// Collects the board's replies from deliveries of any size into ReplyBuffer. Each mode
// supplies what starts its reply and when it is complete; every reply is handed to the
// reader the moment it completes, so several replies in one delivery are all read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

enum class TStartRule {
    TableByte,  // parameter table: 0x55, 0x00 or 0xFF
    FrameByte,  // 0x90; such replies end in an additive checksum
    ReportByte, // sensor report: its code byte 0x50
};

enum class TCompleteRule {
    FixedCount,    // complete when `count` bytes are held
    StatusOrEvent, // 5 bytes with length byte 5, or 6 with length byte 6
    LengthByte,    // as many bytes as byte 1 says, whatever their values
};

struct TReplyRule {
    TStartRule start = TStartRule::FrameByte;
    TCompleteRule complete = TCompleteRule::FixedCount;
    int count = 0;
    // Version and ID requests: a 5-byte frame (a NAK) ends the collection at once.
    bool shortReplyEnds = false;
};

enum class TReplyEnd {
    Complete, // the mode's completion rule held
    Short,    // a 5-byte answer ended a version or ID collection
};

// What the reader wants after a reply: the rest of the delivery, or nothing more of it
// (its reply ended the mode, and later bytes belong to whatever mode is now set).
enum class TAfterReply { Continue, Stop };

// Gets each reply as the bytes of ReplyBuffer it fills; valid only during the call.
using TReplySink = std::function<TAfterReply(TReplyEnd end, std::span<const uint8_t> reply)>;

class TReplyAssembly {
public:
    static constexpr int Capacity = 76;

    std::array<uint8_t, Capacity> ReplyBuffer{};
    int ReplyCount = 0;
    bool ReplyStarted = false;

    // Scans one delivery and calls `onReply` for every reply as it completes, in order.
    // Returns how many bytes of the delivery were scanned: all of them unless the sink
    // stopped. A collection that cannot be a reply (a length the rule never meets, or
    // a frame whose checksum fails while a later 0x90 was collected) is not handed on:
    // its bytes after that 0x90 are scanned again, so a reply cut short by lost bytes
    // does not swallow the one behind it.
    size_t Feed(std::span<const uint8_t> bytes, const TReplyRule& rule, const TReplySink& onReply);

private:
    bool Take(uint8_t b, const TReplyRule& rule, const TReplySink& onReply);
    bool Resync(size_t from, const TReplyRule& rule, const TReplySink& onReply);
    bool Finish(TReplyEnd end, int length, const TReplyRule& rule, const TReplySink& onReply);
};

// The assembly rule of an operation mode; none for modes without a frame reader
// (0, the wave mode 6 with its own packet buffer, and unknown values).
std::optional<TReplyRule> RuleForMode(int mode);
