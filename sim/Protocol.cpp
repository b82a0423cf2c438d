#include "Protocol.h"

#include <cstdio>

namespace krv2sim {

uint8_t frameSum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>(sum);
}

uint16_t crc16Xmodem(std::span<const uint8_t> bytes, uint16_t crc) {
    for (uint8_t b : bytes) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

Bytes makeReply(uint8_t code, std::span<const uint8_t> payload) {
    Bytes frame;
    frame.reserve(payload.size() + 5);
    frame.push_back(frameStart);
    frame.push_back(static_cast<uint8_t>(payload.size() + 5));
    frame.push_back(code);
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(frameEnd);
    frame.push_back(frameSum(frame));
    return frame;
}

CommandShape commandShape(uint8_t command) {
    // Lengths are of the whole frame as the tool builds it; the line write is the
    // only one whose length follows its data (one to 248 bytes).
    switch (command) {
    case cmd::enable:
        return {true, true, false, 5, 5, "enable"};
    case cmd::disable:
        return {true, true, false, 5, 5, "disable"};
    case cmd::firmware:
        return {true, true, false, 5, 5, "firmware version"};
    case cmd::reset:
        return {true, true, false, 5, 5, "reset"};
    case cmd::status:
        return {true, true, false, 5, 5, "status"};
    case cmd::deviceId:
        return {true, true, false, 5, 5, "get ID"};
    case cmd::dipSwitch:
        return {true, true, false, 5, 5, "get DIP switch"};
    case cmd::readFinish:
        return {true, true, true, 5, 5, "read finish"};
    case cmd::readStart:
        return {true, true, true, 5, 5, "read start"};
    case cmd::readLine:
        return {true, true, true, 8, 8, "read line"};
    case cmd::sensorPoll:
        return {true, false, false, 4, 4, "sensor poll"};
    case cmd::channelRecord:
        return {true, false, false, 13, 13, "channel record"};
    case cmd::storeParams:
        return {true, false, false, 5, 5, "store parameters"};
    case cmd::readParams:
        return {true, false, false, 5, 5, "read parameters"};
    case cmd::verify:
        return {true, true, true, 5, 5, "verify"};
    case cmd::writeFinish:
        return {true, true, true, 5, 5, "write finish"};
    case cmd::writeStart:
        return {true, true, true, 5, 5, "write start"};
    case cmd::writeLine:
        return {true, true, true, 8, 255, "write line"};
    case cmd::setOutput:
        return {true, false, false, 6, 6, "set output"};
    default:
        return {};
    }
}

bool isRawCommand(uint8_t second) {
    return second >= raw::waveNone && second <= raw::countingTest;
}

const char* rawCommandName(uint8_t second) {
    switch (second) {
    case raw::waveNone:
        return "wave method None";
    case raw::waveAdd:
        return "wave method Add";
    case raw::waveReject:
        return "wave method Reject";
    case raw::waveAll:
        return "wave method All";
    case raw::countingTest:
        return "counting test";
    default:
        return "unknown raw command";
    }
}

std::string hexText(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += digits;
    }
    return text;
}

} // namespace krv2sim
