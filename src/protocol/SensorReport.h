// The board's sensor report, answer to the I/O poll: 0x50, ten 16-bit readings high
// byte first, the DIP-switch byte and the inhibit state, 23 bytes without checksum.
// Decodes it into the twelve texts of the I/O Test page and judges the readings.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <span>

constexpr int SensorReportLength = 23;
constexpr int SensorReadingCount = 10;
constexpr int SensorItemCount = 12; // the readings, the DIP switch, the inhibit state

enum class TVerdict {
    NotJudged, // keeps the label's own colour
    Within,    // black
    Outside,   // red
};

struct TSensorItem {
    QString text;
    TVerdict verdict = TVerdict::NotJudged;
};

// What each item is called, its limit as the page prints it (empty for none) and the
// text shown before the first report.
struct TSensorItemInfo {
    const char* item;
    const char* reference;
    const char* placeholder;
};
extern const std::array<TSensorItemInfo, SensorItemCount> SensorItems;

// Reading `index` (0 = Big Coil .. 9 = SEN1) against its fixed limits.
TVerdict JudgeReading(int index, int value);

// Eight "1"/"0" characters, bit 0 first.
QString BitsLsbFirst(uint8_t value);

// The twelve items of a complete report, in the page's row order. A shorter span
// gives placeholder-free empty items.
std::array<TSensorItem, SensorItemCount> DecodeSensorReport(std::span<const uint8_t> report);
