// The wave plot as one picture laid out as the page's plot panel: the strips, the large
// plot and the scale strip as composed for the screen, with the channel selectors'
// texts and the channel caption beside them. Export draws it from the window and, with
// no window at all, from the command line.
#pragma once

#include "Plot.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

namespace PlotPicture {
// Where the panel puts its parts, in panel pixels.
constexpr QSize PanelSize(977, 697);
constexpr QPoint StripOrigin(int strip) {
    return QPoint(50, 71 * strip);
}
constexpr QPoint LargeOrigin(50, 432);
constexpr QPoint ScaleOrigin(50, 668);
constexpr QRect SelectorRect(int strip) {
    return QRect(1, 71 * strip + 4, 48, 20);
}
constexpr QRect CaptionRect(2, 432, 45, 24);
constexpr uint32_t CaptionColour = 0xFFFF0000;

// The channel selectors as boxes with their text, and the channel caption.
void DrawLabels(QPainter& painter, const TPlot& plot);

// Needs a QGuiApplication (fonts). The surfaces' pixels are their composites as shown.
QImage Raster(TPlot& plot);

// Writes `bytes` whole: the old file stays as it was unless every byte is written.
bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error);
// The picture as PNG, written whole.
bool SavePng(const QString& path, const QImage& image, QString& error);
} // namespace PlotPicture
