#include "Frame.h"

QString HexDigitText(int value) {
    static const char digits[] = "0123456789ABCDEF";
    if (value < 0 || value > 15)
        return {};
    return QString(QChar(digits[value]));
}

uint8_t Checksum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>(sum & 0xFF);
}

int BuildFrame(TFrameBuffer& buffer, int payloadLength, uint8_t command, bool withEnd) {
    const int maxPayload = withEnd ? MaxPayloadEtx : MaxPayloadNoEtx;
    if (payloadLength < 0 || payloadLength > maxPayload)
        return 0;
    const int length = payloadLength + (withEnd ? 5 : 4);
    buffer[0] = FrameStart;
    buffer[1] = static_cast<uint8_t>(length);
    buffer[2] = command;
    if (withEnd)
        buffer[PayloadOffset + payloadLength] = FrameEnd;
    const auto summed = static_cast<size_t>(length - 1);
    buffer[summed] = Checksum(std::span<const uint8_t>(buffer.data(), summed));
    return length;
}

QString HexLine(const QString& prefix, std::span<const uint8_t> bytes) {
    QString line = prefix;
    line.reserve(prefix.size() + 3 * static_cast<qsizetype>(bytes.size()));
    for (uint8_t b : bytes) {
        line += HexDigitText(b >> 4);
        line += HexDigitText(b & 0x0F);
        line += QLatin1Char(' ');
    }
    return line;
}

QString DecimalLine(const QString& prefix, std::span<const uint8_t> bytes) {
    QString line = prefix;
    for (uint8_t b : bytes) {
        line += QString::number(b);
        line += QLatin1Char(' ');
    }
    return line;
}
