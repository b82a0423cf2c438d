// Test helper: bytes written the way the board's documentation writes them,
// "90 05 80 55 6A", so expectations never come from the code under test.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

inline std::vector<uint8_t> Bytes(const char* hex) {
    const QByteArray raw = QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
    return {raw.begin(), raw.end()};
}

inline QByteArray Raw(const char* hex) {
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

inline std::span<const uint8_t> AsSpan(const QByteArray& a) {
    return {reinterpret_cast<const uint8_t*>(a.constData()), static_cast<size_t>(a.size())};
}

// The sum byte appended, computed here apart from the tool's frame code.
inline QByteArray WithSum(QByteArray frame) {
    unsigned sum = 0;
    for (char c : frame)
        sum += static_cast<uint8_t>(c);
    frame.append(static_cast<char>(sum & 0xFF));
    return frame;
}
