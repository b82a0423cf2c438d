// The board's command frame: 0x90, a length byte counting the whole frame, a command
// byte, the payload, an optional end byte 0x03 and an 8-bit additive checksum.
// Also the text forms in which frames are logged.
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

constexpr int FrameBufferSize = 303;
using TFrameBuffer = std::array<uint8_t, FrameBufferSize>;

constexpr uint8_t FrameStart = 0x90;
constexpr uint8_t FrameEnd = 0x03;
constexpr int PayloadOffset = 3;
// The length byte counts the whole frame, so these are the largest payloads that
// still fit one length byte.
constexpr int MaxPayloadEtx = 250;
constexpr int MaxPayloadNoEtx = 251;

// One nibble as "0".."9", "A".."F"; any other value gives an empty text.
QString HexDigitText(int value);

// Low 8 bits of the sum of the bytes.
uint8_t Checksum(std::span<const uint8_t> bytes);

// Fills in start, length, command, optional end byte and checksum around the payload
// already at offset 3 of `buffer`. Returns the frame's length, or 0 when the payload
// length cannot be framed (then the buffer is untouched).
int BuildFrame(TFrameBuffer& buffer, int payloadLength, uint8_t command, bool withEnd);

// `prefix` then each byte as two uppercase hex digits and one blank ("TX: 90 05 ").
QString HexLine(const QString& prefix, std::span<const uint8_t> bytes);
// `prefix` then each byte in decimal and one blank ("TX: 144 5 ").
QString DecimalLine(const QString& prefix, std::span<const uint8_t> bytes);
