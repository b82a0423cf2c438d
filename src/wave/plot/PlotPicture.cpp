#include "PlotPicture.h"

#include "WaveFile.h"

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QPainter>

namespace {
QString Named(const QString& path, const QString& what) {
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), what);
}

void Blit(QPainter& painter, QPoint at, TPixelSurface& surface) {
    painter.drawImage(at, surface.Composite());
}
} // namespace

void PlotPicture::DrawLabels(QPainter& painter, const TPlot& plot) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    painter.setFont(font);
    for (int i = 0; i < TPlot::StripCount; ++i) {
        const QRect box = SelectorRect(i);
        painter.fillRect(box, Qt::white);
        painter.setPen(QColor::fromRgba(0xFF7A7A7A));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.setPen(Qt::black);
        painter.drawText(box.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         plot.SelectorText(i));
    }
    painter.fillRect(CaptionRect, Qt::white);
    QFont captionFont = font;
    captionFont.setPointSize(14);
    painter.setFont(captionFont);
    painter.setPen(QColor::fromRgba(CaptionColour));
    painter.drawText(CaptionRect, Qt::AlignLeft | Qt::AlignVCenter, plot.ChannelCaption);
}

QImage PlotPicture::Raster(TPlot& plot) {
    QImage image(PanelSize, QImage::Format_ARGB32);
    const uint32_t panel = plot.Scale().Background();
    image.fill(QColor::fromRgba(panel));
    QPainter painter(&image);
    // Pixels as they are: no blending with what lies under a surface.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int i = 0; i < TPlot::StripCount; ++i)
        Blit(painter, StripOrigin(i), plot.Strip(i));
    Blit(painter, LargeOrigin, plot.Large());
    Blit(painter, ScaleOrigin, plot.Scale());
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    DrawLabels(painter, plot);
    return image;
}

bool PlotPicture::WriteWhole(const QString& path, const QByteArray& bytes, QString& error) {
    return WaveFile::WriteWhole(path, bytes, error);
}

bool PlotPicture::SavePng(const QString& path, const QImage& image, QString& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        error = Named(path, QStringLiteral("the picture could not be encoded as PNG"));
        return false;
    }
    return WriteWhole(path, bytes, error);
}
