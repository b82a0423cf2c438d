// Pixel-for-pixel comparison of two composites, naming the first pixel that differs.
#pragma once

#include <QImage>
#include <QString>

inline QString FirstDifference(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < actual.height(); ++y) {
        const auto* a = reinterpret_cast<const uint32_t*>(actual.constScanLine(y));
        const auto* e = reinterpret_cast<const uint32_t*>(expected.constScanLine(y));
        for (int x = 0; x < actual.width(); ++x)
            if (a[x] != e[x])
                return QStringLiteral("pixel (%1, %2): %3, literal model %4")
                    .arg(x)
                    .arg(y)
                    .arg(a[x], 8, 16, QLatin1Char('0'))
                    .arg(e[x], 8, 16, QLatin1Char('0'));
    }
    return {};
}

inline uint32_t PixelAt(const QImage& image, int x, int y) {
    return reinterpret_cast<const uint32_t*>(image.constScanLine(y))[x];
}
