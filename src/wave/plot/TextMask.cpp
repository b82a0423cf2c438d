#include "TextMask.h"

#include "PlotMath.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QPainter>

namespace {

TTextMask Render(const QString& text, int points) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(PlotMath::TextPixelSize(points)); // the same pixels on any screen
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font);
    TTextMask mask;
    mask.Width = metrics.horizontalAdvance(text) + 2;
    mask.Height = metrics.height();
    if (text.isEmpty() || mask.Width <= 0 || mask.Height <= 0)
        return mask;
    QImage image(mask.Width, mask.Height, QImage::Format_ARGB32);
    image.fill(0);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, mask.Width, mask.Height), Qt::AlignLeft | Qt::AlignTop, text);
    }
    for (int y = 0; y < mask.Height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < mask.Width; ++x)
            if ((row[x] >> 24) >= 128)
                mask.Pixels.emplace_back(x, y);
    }
    return mask;
}

} // namespace

TTextMask TextMask(const QString& text, int points) {
    static QHash<QPair<QString, int>, TTextMask> cache;
    const QPair<QString, int> key(text, points);
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    TTextMask mask = Render(text, points);
    if (cache.size() < 4096) // numbers from odd files must not grow it without end
        cache.insert(key, mask);
    return mask;
}
