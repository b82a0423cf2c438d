#include "MonitorReplies.h"

#include "CoinTally.h"
#include "Frame.h"

bool SumMatches(std::span<const uint8_t> reply, int length) {
    if (length < 1 || static_cast<size_t>(length) > reply.size())
        return false;
    const auto n = static_cast<size_t>(length);
    return Checksum(reply.first(n - 1)) == reply[n - 1];
}

QString MonitorLabelText(TMonitorLabel label) {
    if (label >= mlSen1 && label < mlSen1 + 6)
        return QStringLiteral("SEN %1 ERROR").arg(label - mlSen1 + 1);
    if (label >= mlCoin1 && label < mlCoin1 + 8)
        return QStringLiteral("COIN %1").arg(label - mlCoin1 + 1);
    switch (label) {
    case mlIdling:
        return QStringLiteral("IDLING");
    case mlAccepting:
        return QStringLiteral("ACCEPTING");
    case mlDisable:
        return QStringLiteral("DISABLE");
    case mlAck:
        return QStringLiteral("ACK");
    case mlNak:
        return QStringLiteral("NAK");
    case mlInvalid:
        return QStringLiteral("INVALID");
    default:
        return {};
    }
}

TMonitorResult DecodeMonitorReply(std::span<const uint8_t> reply, bool coinCountEnabled) {
    TMonitorResult r;
    if (reply.size() < 2)
        return r;
    const uint8_t length = reply[1];
    if ((length != 5 && length != 6) || reply.size() < length)
        return r;
    r.logLength = length;
    if (!SumMatches(reply, length))
        return r;
    const uint8_t code = reply[2];
    if (length == 5) {
        switch (code) {
        case 0x50:
            r.lit.set(mlAck);
            break;
        case 0x4B:
            r.lit.set(mlNak);
            break;
        case 0x11:
            r.lit.set(mlIdling);
            break;
        case 0x14:
            r.lit.set(mlDisable);
            break;
        default:
            break;
        }
        return r;
    }
    const uint8_t data = reply[3];
    if (code == 0x16) {
        // Sensor 7 has no label of its own: the board's seventh sensor shares SEN 6.
        if (data >= 1 && data <= 6)
            r.lit.set(static_cast<size_t>(mlSen1 + data - 1));
        else if (data == 7)
            r.lit.set(static_cast<size_t>(mlSen1 + 5));
    } else if (code == 0x12 && coinCountEnabled) {
        if (data == 0x88) {
            r.notPassed = true;
        } else {
            r.passed = true;
            r.lit.set(mlAccepting);
            if (data >= 1 && data <= 8)
                r.lit.set(static_cast<size_t>(mlCoin1 + data - 1));
        }
    }
    return r;
}

std::optional<QString> PercentText(int passCount, int noPassCount) {
    const auto percent = PassPercent(passCount, noPassCount);
    if (!percent)
        return std::nullopt;
    return QString::number(*percent) + QStringLiteral(" %");
}

QString TextReplyChars(std::span<const uint8_t> reply) {
    QString text;
    for (size_t i = 3; i <= 12 && i < reply.size(); ++i)
        text += QChar::fromLatin1(static_cast<char>(reply[i]));
    return text;
}

QString BitsMsbFirst(uint8_t value) {
    QString bits;
    for (int bit = 7; bit >= 0; --bit)
        bits += (value >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    return bits;
}
