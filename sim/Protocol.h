// The KRV2 line protocol as the board sees it: command codes, reply frames and the
// two check functions (frame sum, CRC-16/XMODEM) shared by the board's parts.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace krv2sim {

using Micros = std::chrono::microseconds;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t frameStart = 0x90;
constexpr uint8_t frameEnd = 0x03;
constexpr uint8_t rawPrefix = 0x55;

namespace cmd {
constexpr uint8_t enable = 0x01;
constexpr uint8_t disable = 0x02;
constexpr uint8_t firmware = 0x03;
constexpr uint8_t reset = 0x05;
constexpr uint8_t status = 0x11;
constexpr uint8_t deviceId = 0x23;
constexpr uint8_t dipSwitch = 0x24;
constexpr uint8_t readFinish = 0x26;
constexpr uint8_t readStart = 0x27;
constexpr uint8_t readLine = 0x28;
constexpr uint8_t sensorPoll = 0x50;
constexpr uint8_t channelRecord = 0x60;
constexpr uint8_t storeParams = 0x70;
constexpr uint8_t readParams = 0x80;
constexpr uint8_t verify = 0x89;
constexpr uint8_t writeFinish = 0x8A;
constexpr uint8_t writeStart = 0x8B;
constexpr uint8_t writeLine = 0x8C;
constexpr uint8_t setOutput = 0x90;
} // namespace cmd

// Second byte of a raw two-byte command (after 0x55).
namespace raw {
constexpr uint8_t waveNone = 0xA0;
constexpr uint8_t waveAdd = 0xA1;
constexpr uint8_t waveReject = 0xA2;
constexpr uint8_t waveAll = 0xA3;
constexpr uint8_t countingTest = 0xA4;
} // namespace raw

namespace reply {
constexpr uint8_t ack = 0x50;
constexpr uint8_t nakProtocol = 0x4B;
constexpr uint8_t nakMemory = 0x48;
constexpr uint8_t idling = 0x11;
constexpr uint8_t disabled = 0x14;
constexpr uint8_t coinEvent = 0x12;
constexpr uint8_t sensorError = 0x16;
constexpr uint8_t coinRejected = 0x88;
} // namespace reply

// Low 8 bits of the sum of all bytes: the frame's last byte.
uint8_t frameSum(std::span<const uint8_t> bytes);
// CRC-16/XMODEM: poly 0x1021, init 0, MSB first, no final XOR; continues from `crc`.
uint16_t crc16Xmodem(std::span<const uint8_t> bytes, uint16_t crc = 0);

// 0x90, length, code, payload, 0x03, sum: the layout of every framed reply.
Bytes makeReply(uint8_t code, std::span<const uint8_t> payload = {});

// How a request is laid out on the wire, for checking what arrives.
struct CommandShape {
    bool known = false;
    bool endByte = false;  // carries 0x03 before the sum
    bool memory = false;   // NAKs with 0x48 instead of 0x4B
    uint8_t minLength = 0; // whole frame
    uint8_t maxLength = 0;
    const char* name = "unknown command";
};
CommandShape commandShape(uint8_t command);
const char* rawCommandName(uint8_t second);
bool isRawCommand(uint8_t second);

// "90 05 11 03 A9": upper-case hex, one blank between bytes.
std::string hexText(std::span<const uint8_t> bytes);

} // namespace krv2sim
