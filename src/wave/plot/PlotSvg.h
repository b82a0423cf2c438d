// The wave plot drawn as vectors into an SVG document, laid out as PlotPicture lays
// out the picture: the band as one filled outline per surface, each trace as one path
// in its colour and stacking order, the scale's ticks, the selectors and the caption.
// The mouse cursor, its readouts and the level line are left out: they follow the
// pointer and are no part of the records.
#pragma once

#include "Plot.h"

#include <QByteArray>
#include <QString>

namespace PlotSvg {
QByteArray Build(TPlot& plot);
// Build, written whole.
bool Save(const QString& path, TPlot& plot, QString& error);
} // namespace PlotSvg
