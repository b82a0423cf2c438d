#include "ReplyAssembly.h"

#include "Frame.h"
#include "Modes.h"

#include <algorithm>

namespace {

// The shortest frame: start, length, command and checksum.
constexpr int MinFrameLength = 4;

bool IsStart(uint8_t b, TStartRule rule) {
    switch (rule) {
    case TStartRule::TableByte:
        return b == 0x55 || b == 0x00 || b == 0xFF;
    case TStartRule::FrameByte:
        return b == FrameStart;
    case TStartRule::ReportByte:
        return b == 0x50;
    }
    return false;
}

// The length the rule expects once byte 1 is held; 0 when byte 1 rules out a reply.
int ExpectedLength(const TReplyRule& rule, uint8_t lengthByte) {
    switch (rule.complete) {
    case TCompleteRule::FixedCount:
        return rule.count;
    case TCompleteRule::StatusOrEvent:
        return lengthByte == 5 || lengthByte == 6 ? lengthByte : 0;
    case TCompleteRule::LengthByte:
        return lengthByte >= MinFrameLength && lengthByte <= TReplyAssembly::Capacity ? lengthByte
                                                                                      : 0;
    }
    return 0;
}

} // namespace

size_t TReplyAssembly::Feed(std::span<const uint8_t> bytes, const TReplyRule& rule,
                            const TReplySink& onReply) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!Take(bytes[i], rule, onReply))
            return i + 1;
    }
    return bytes.size();
}

bool TReplyAssembly::Take(uint8_t b, const TReplyRule& rule, const TReplySink& onReply) {
    if (!ReplyStarted) {
        if (!IsStart(b, rule.start))
            return true;
        ReplyStarted = true;
    }
    ReplyBuffer[static_cast<size_t>(ReplyCount)] = b;
    ++ReplyCount;

    if (ReplyCount >= 2) {
        const int length = ExpectedLength(rule, ReplyBuffer[1]);
        // Not a reply under this rule (a lost length byte, or a collection left over
        // from another mode): look again from the byte after its start.
        if (length == 0 || ReplyCount > length)
            return Resync(1, rule, onReply);
        if (ReplyCount == length)
            return Finish(TReplyEnd::Complete, length, rule, onReply);
    }
    if (rule.shortReplyEnds && ReplyCount == 5 && ReplyBuffer[0] == FrameStart &&
        ReplyBuffer[1] == 5)
        return Finish(TReplyEnd::Short, 5, rule, onReply);
    if (ReplyCount == Capacity) {
        // Never completes under this rule: drop it and wait for the next start.
        ReplyStarted = false;
        ReplyCount = 0;
    }
    return true;
}

bool TReplyAssembly::Finish(TReplyEnd end, int length, const TReplyRule& rule,
                            const TReplySink& onReply) {
    const auto n = static_cast<size_t>(length);
    const std::span<const uint8_t> reply = std::span<const uint8_t>(ReplyBuffer).first(n);
    if (rule.start == TStartRule::FrameByte && Checksum(reply.first(n - 1)) != reply[n - 1]) {
        // A reply that lost bytes has been completed by the start of the next one:
        // the next one begins at a later 0x90.
        for (size_t k = 1; k < n; ++k) {
            if (reply[k] == FrameStart)
                return Resync(k, rule, onReply);
        }
    }
    ReplyStarted = false;
    ReplyCount = 0;
    return onReply(end, reply) == TAfterReply::Continue;
}

bool TReplyAssembly::Resync(size_t from, const TReplyRule& rule, const TReplySink& onReply) {
    // The collected bytes from `from` on are read again as if newly received. Each
    // pass starts at least one byte later, so this ends.
    std::array<uint8_t, Capacity> rest{};
    const size_t n = static_cast<size_t>(ReplyCount) - from;
    std::copy_n(ReplyBuffer.begin() + static_cast<std::ptrdiff_t>(from), n, rest.begin());
    ReplyStarted = false;
    ReplyCount = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!Take(rest[i], rule, onReply))
            return false;
    }
    return true;
}

std::optional<TReplyRule> RuleForMode(int mode) {
    using S = TStartRule;
    using C = TCompleteRule;
    switch (mode) {
    case Mode::ParameterTable:
        return TReplyRule{S::TableByte, C::FixedCount, 73, false};
    case Mode::SaveAnswer:
        return TReplyRule{S::FrameByte, C::FixedCount, 5, false};
    case Mode::Version:
    case Mode::DeviceId:
        return TReplyRule{S::FrameByte, C::FixedCount, 15, true};
    case Mode::Monitor:
        return TReplyRule{S::FrameByte, C::StatusOrEvent, 0, false};
    case Mode::SensorReport:
        return TReplyRule{S::ReportByte, C::FixedCount, 23, false};
    case Mode::DipSwitch:
    case Mode::ReadFinish:
    case Mode::ReadStart:
    case Mode::ReadLine:
    case Mode::Verify:
    case Mode::WriteFinish:
    case Mode::WriteStart:
    case Mode::WriteLine:
        return TReplyRule{S::FrameByte, C::LengthByte, 0, false};
    default:
        return std::nullopt;
    }
}
