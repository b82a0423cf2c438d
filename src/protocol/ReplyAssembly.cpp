#include "ReplyAssembly.h"

#include "Frame.h"
#include "Modes.h"

namespace {

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

} // namespace

TAssemblyResult TReplyAssembly::Feed(std::span<const uint8_t> bytes, const TReplyRule& rule) {
    TAssemblyResult result;
    for (uint8_t b : bytes) {
        if (IsStart(b, rule.start)) {
            // The stored length is cleared so that a reply cut short by a new frame
            // does not complete on the old frame's length.
            if (rule.complete == TCompleteRule::LengthByte) {
                ReplyBuffer[1] = 0;
                ReplyStarted = true;
            } else if (rule.complete == TCompleteRule::LengthByteWhileIdle) {
                if (!ReplyStarted) {
                    ReplyBuffer[1] = 0;
                    ReplyStarted = true;
                }
            } else {
                ReplyStarted = true;
            }
        }
        if (!ReplyStarted)
            continue;

        ReplyBuffer[static_cast<size_t>(ReplyCount)] = b;
        ++ReplyCount;

        bool done = false;
        switch (rule.complete) {
        case TCompleteRule::FixedCount:
            done = ReplyCount == rule.count;
            break;
        case TCompleteRule::StatusOrEvent:
            done = (ReplyCount == 6 && ReplyBuffer[1] == 6) ||
                   (ReplyCount == 5 && ReplyBuffer[1] == 5);
            break;
        case TCompleteRule::LengthByte:
        case TCompleteRule::LengthByteWhileIdle:
            done = ReplyBuffer[1] == ReplyCount;
            break;
        }
        if (done) {
            ReplyStarted = false;
            ReplyCount = 0;
            result.completed = true;
            continue;
        }
        if (rule.shortReplyEnds && ReplyCount == 5 && ReplyBuffer[0] == FrameStart &&
            ReplyBuffer[1] == 5) {
            ReplyStarted = false;
            ReplyCount = 0;
            result.shortReply = true;
            continue;
        }
        if (ReplyCount == Capacity) {
            // Never completes under this rule: drop it and wait for the next start.
            ReplyStarted = false;
            ReplyCount = 0;
            result.overflowed = true;
        }
    }
    return result;
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
    case Mode::Verify:
    case Mode::WriteFinish:
    case Mode::WriteStart:
    case Mode::WriteLine:
        return TReplyRule{S::FrameByte, C::LengthByte, 0, false};
    case Mode::ReadLine:
        return TReplyRule{S::FrameByte, C::LengthByteWhileIdle, 0, false};
    default:
        return std::nullopt;
    }
}
