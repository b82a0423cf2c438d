#include "SensorReport.h"

#include <optional>

namespace {

// Within when strictly between the bounds; a missing bound is open.
struct TLimits {
    std::optional<int> above;
    std::optional<int> below;
};

// Report order: Big Coil, Small Coil, Temperature, DROP1 SEN, DROP IN2, DROP IN1,
// COIN RETURN, SEN3, SEN2, SEN1. Temperature, DROP1 SEN and SEN3 are only shown.
const std::array<std::optional<TLimits>, SensorReadingCount> Limits{{
    TLimits{730, 930},
    TLimits{720, 880},
    std::nullopt,
    std::nullopt,
    TLimits{std::nullopt, 100},
    TLimits{std::nullopt, 100},
    TLimits{std::nullopt, 80},
    std::nullopt,
    TLimits{1000, std::nullopt},
    TLimits{std::nullopt, 80},
}};

} // namespace

const std::array<TSensorItemInfo, SensorItemCount> SensorItems{{
    {"Big Coil", "730 < STD < 930", "XXXX"},
    {"Small Coil", "720 < STD < 880", "XXXX"},
    {"Temperature", "", "XXXX"},
    {"DROP1 SEN", "", "XXXX"},
    {"DROP IN2", "STD < 100", "XXXX"},
    {"DROP IN1", "STD < 100", "XXXX"},
    {"COIN RETURN", "STD < 80", "XXXX"},
    {"SEN3", "STD < 350", "XXXX"},
    {"SEN2", "STD > 1000", "XXXX"},
    {"SEN1", "STD < 80", "XXXX"},
    {"DipSwitch", "", "XXXXXXXX"},
    {"INHIBIT", "", "X"},
}};

TVerdict JudgeReading(int index, int value) {
    if (index < 0 || index >= SensorReadingCount)
        return TVerdict::NotJudged;
    const auto& limits = Limits[static_cast<size_t>(index)];
    if (!limits)
        return TVerdict::NotJudged;
    const bool within =
        (!limits->above || value > *limits->above) && (!limits->below || value < *limits->below);
    return within ? TVerdict::Within : TVerdict::Outside;
}

QString BitsLsbFirst(uint8_t value) {
    QString text;
    for (int bit = 0; bit < 8; ++bit)
        text += (value >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

std::array<TSensorItem, SensorItemCount> DecodeSensorReport(std::span<const uint8_t> report) {
    std::array<TSensorItem, SensorItemCount> items;
    if (report.size() < static_cast<size_t>(SensorReportLength))
        return items;
    for (int k = 0; k < SensorReadingCount; ++k) {
        const int value =
            report[static_cast<size_t>(2 * k + 1)] * 256 + report[static_cast<size_t>(2 * k + 2)];
        items[static_cast<size_t>(k)] = {QString::number(value), JudgeReading(k, value)};
    }
    items[10].text = BitsLsbFirst(report[21]);
    items[11].text = report[22] != 0 ? QStringLiteral("ENABLE") : QStringLiteral("DISABLE");
    return items;
}
