// Feeds arbitrary bytes to the reply assembly the way the receive handler does, and
// every reply it hands on to the decoder of its page: the sensor report, and the memory
// transfer's line, acknowledgement and Verify replies through a running transfer. Input: one byte
// choosing the mode (above 0x7F: the mode changes between deliveries, as the buttons change it),
// then deliveries, each a size byte followed by up to 64 bytes.
#include "Frame.h"
#include "FuzzCheck.h"
#include "MemoryImage.h"
#include "Modes.h"
#include "MonitorReplies.h"
#include "ParameterTable.h"
#include "ReplyAssembly.h"
#include "SensorReport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
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

// The transfer a memory reply moves: four lines of 64 bytes, started once.
void TakeMemoryReply(TMemoryImage& image, int mode, std::span<const uint8_t> reply) {
    if (image.AddressCount == 0) {
        image.BuildAddressList(0, 0, 0, 3);
        image.BeginTransfer(mode == Mode::WriteLine);
    }
    const bool inFlight = image.InFlight();
    const int before = image.LineIndex;
    const TLineStep step = image.Writing ? image.TakeWriteReply(reply) : image.TakeReadReply(reply);
    FUZZ_REQUIRE(image.LineIndex >= 0 && image.LineIndex <= image.AddressCount);
    // Nothing moves a transfer that is not waiting for its line.
    if (!inFlight)
        FUZZ_REQUIRE(step == TLineStep::Ignore && image.LineIndex == before);
    if (step == TLineStep::SendNext)
        FUZZ_REQUIRE(image.LineIndex == before + 1 && image.LineToSend() && image.InFlight());
    if (step == TLineStep::Complete)
        FUZZ_REQUIRE(image.Phase == TTransferPhase::Done && image.LineIndex == image.AddressCount);
    if (step == TLineStep::SendNext || step == TLineStep::SendAgain) {
        std::array<uint8_t, 300> payload{};
        const int n =
            image.Writing ? image.FillLineWrite(payload, 64) : image.FillLineRead(payload, 64);
        FUZZ_REQUIRE(n == (image.Writing ? 66 : 3));
    }
}

// Runs the decoders the pages run on a reply of this mode.
void Decode(int mode, std::span<const uint8_t> reply, std::unique_ptr<TMemoryImage>& image) {
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
    case Mode::SensorReport: {
        const auto items = DecodeSensorReport(reply);
        const bool whole = reply.size() >= static_cast<size_t>(SensorReportLength);
        for (int k = 0; k < SensorReadingCount; ++k) {
            const auto& item = items[static_cast<size_t>(k)];
            if (!whole) {
                FUZZ_REQUIRE(item.text.isEmpty());
                continue;
            }
            const int value =
                reply[static_cast<size_t>(2 * k + 1)] * 256 + reply[static_cast<size_t>(2 * k + 2)];
            FUZZ_REQUIRE(item.text == QString::number(value));
            FUZZ_REQUIRE(item.verdict == JudgeReading(k, value));
        }
        if (whole)
            FUZZ_REQUIRE(items[10].text.size() == 8);
        break;
    }
    case Mode::ReadLine:
    case Mode::WriteLine:
        // Made on first use: two 1 MB images would slow every run down.
        if (!image)
            image = std::make_unique<TMemoryImage>();
        TakeMemoryReply(*image, mode, reply);
        break;
    case Mode::Verify:
    case Mode::ReadFinish:
    case Mode::ReadStart:
    case Mode::WriteFinish:
    case Mode::WriteStart: {
        const bool framed = FrameSumRight(reply);
        if (framed)
            FUZZ_REQUIRE(reply[1] == reply.size() && reply.size() >= 3);
        if (DecodeAck(reply) != TAckCode::Other)
            FUZZ_REQUIRE(framed && (reply[2] == MemoryAck || reply[2] == MemoryNak));
        break;
    }
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
    std::unique_ptr<TMemoryImage> image;
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
                Decode(mode, reply, image);
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
