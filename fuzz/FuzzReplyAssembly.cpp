// Feeds arbitrary bytes to the reply assembly the way the receive handler does, and
// every reply it hands on to the decoder of its page. Input: one byte choosing the
// mode (above 0x7F: the mode changes between deliveries, as the buttons change it),
// then deliveries, each a size byte followed by up to 64 bytes.
#include "Frame.h"
#include "FuzzCheck.h"
#include "Modes.h"
#include "MonitorReplies.h"
#include "ParameterTable.h"
#include "ReplyAssembly.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace {

constexpr std::array<int, 14> ReaderModes{
    Mode::ParameterTable, Mode::SaveAnswer,  Mode::Version,    Mode::Monitor,   Mode::SensorReport,
    Mode::DeviceId,       Mode::DipSwitch,   Mode::ReadFinish, Mode::ReadStart, Mode::ReadLine,
    Mode::Verify,         Mode::WriteFinish, Mode::WriteStart, Mode::WriteLine};

bool EndsTheMode(int mode) {
    return mode == Mode::ParameterTable || mode == Mode::SaveAnswer || mode == Mode::Version ||
           mode == Mode::DeviceId || mode == Mode::DipSwitch;
}

// Runs the decoders the pages run on a reply of this mode.
void Decode(int mode, std::span<const uint8_t> reply) {
    (void)HexLine(QStringLiteral("RX: "), reply);
    switch (mode) {
    case Mode::ParameterTable:
        if (IsTableCheckByte(reply[0]))
            (void)DecodeParameterTable(reply);
        break;
    case Mode::Monitor: {
        const TMonitorResult r = DecodeMonitorReply(reply, true);
        FUZZ_REQUIRE(static_cast<size_t>(r.logLength) <= reply.size());
        FUZZ_REQUIRE(!(r.passed && r.notPassed));
        break;
    }
    case Mode::Version:
    case Mode::DeviceId:
        if (SumMatches(reply, 15))
            FUZZ_REQUIRE(TextReplyChars(reply).size() == 10);
        break;
    case Mode::DipSwitch:
        if (reply.size() == 6 && SumMatches(reply, 6))
            FUZZ_REQUIRE(BitsMsbFirst(reply[3]).size() == 8);
        break;
    default:
        (void)SumMatches(reply, static_cast<int>(reply.size()));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool switching = data[0] > 0x7F;
    int mode = ReaderModes[data[0] % ReaderModes.size()];
    TReplyAssembly assembly;
    const std::span<const uint8_t> input(data, size);
    size_t at = 1;
    while (at < input.size()) {
        const size_t wanted = input[at++] % 65;
        const auto delivery = input.subspan(at, std::min(wanted, input.size() - at));
        at += delivery.size();
        const TReplyRule rule = *RuleForMode(mode);
        bool stopped = false;
        const size_t read =
            assembly.Feed(delivery, rule, [&](TReplyEnd end, std::span<const uint8_t> reply) {
                FUZZ_REQUIRE(!stopped);
                FUZZ_REQUIRE(!reply.empty() && reply.size() <= TReplyAssembly::Capacity);
                FUZZ_REQUIRE(reply.data() == assembly.ReplyBuffer.data());
                FUZZ_REQUIRE(assembly.ReplyCount == 0 && !assembly.ReplyStarted);
                FUZZ_REQUIRE(end == TReplyEnd::Complete || reply.size() == 5);
                if (!switching && rule.complete != TCompleteRule::FixedCount)
                    FUZZ_REQUIRE(reply.size() == reply[1]);
                if (!switching && rule.complete == TCompleteRule::FixedCount &&
                    end == TReplyEnd::Complete)
                    FUZZ_REQUIRE(reply.size() == static_cast<size_t>(rule.count));
                Decode(mode, reply);
                stopped = EndsTheMode(mode);
                return stopped ? TAfterReply::Stop : TAfterReply::Continue;
            });
        FUZZ_REQUIRE(read <= delivery.size());
        FUZZ_REQUIRE(stopped || read == delivery.size());
        FUZZ_REQUIRE(assembly.ReplyCount >= 0 && assembly.ReplyCount < TReplyAssembly::Capacity);
        FUZZ_REQUIRE(assembly.ReplyStarted == (assembly.ReplyCount > 0));
        if (switching && !delivery.empty())
            mode = ReaderModes[delivery.back() % ReaderModes.size()];
    }
    return 0;
}
