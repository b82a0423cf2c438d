#include "PlotSvg.h"

#include "PlotMath.h"
#include "PlotPicture.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

namespace {
using namespace PlotMath;

QColor Colour(uint32_t argb) {
    return QColor::fromRgba(argb);
}

// A pixel's centre: a one-pixel pen along it covers that pixel.
QPointF Centre(QPoint p) {
    return QPointF(p.x() + 0.5, p.y() + 0.5);
}

// The band's columns as outlines: each unbroken stretch of columns is one polygon
// whose top and bottom edges step with the columns' runs, in one path.
QPainterPath BandPath(const TPlot& plot, int strip) {
    QPainterPath path;
    const int channel = plot.BandChannel(strip);
    const TPlotBand* band = plot.ShownBand();
    if (!band || channel < 0)
        return path;
    const auto c = static_cast<size_t>(channel);
    struct TColumn {
        int X, Top, Bottom;
    };
    std::vector<TColumn> columns;
    ForEachBandColumn(strip == TPlot::LargeSurface ? TTraceKind::Large : TTraceKind::Strip,
                      std::span<const int32_t>(band->Lower[c]),
                      std::span<const int32_t>(band->Upper[c]),
                      std::span<const bool>(band->Present[c]), [&](int x, int top, int bottom) {
                          columns.push_back({x, top, bottom});
                      });
    size_t first = 0;
    while (first < columns.size()) {
        size_t last = first;
        while (last + 1 < columns.size() && columns[last + 1].X == columns[last].X + 1)
            ++last;
        QPolygonF outline;
        for (size_t i = first; i <= last; ++i) {
            outline << QPointF(columns[i].X, columns[i].Top)
                    << QPointF(columns[i].X + 1, columns[i].Top);
        }
        for (size_t i = last + 1; i-- > first;) {
            outline << QPointF(columns[i].X + 1, columns[i].Bottom + 1)
                    << QPointF(columns[i].X, columns[i].Bottom + 1);
        }
        path.addPolygon(outline);
        path.closeSubpath();
        first = last + 1;
    }
    return path;
}

void DrawSurface(QPainter& painter, const TPlot& plot, int strip, QPoint origin,
                 const TPixelSurface& surface) {
    painter.save();
    painter.translate(origin);
    painter.fillRect(QRect(0, 0, surface.Width(), surface.Height()), Colour(surface.Background()));
    const QPainterPath band = BandPath(plot, strip);
    if (!band.isEmpty())
        painter.fillPath(band, Colour(BandColour));
    const bool large = strip == TPlot::LargeSurface;
    for (const TShownTrace& trace : plot.ShownTraces(strip)) {
        const std::vector<QPoint> points = plot.TracePoints(large, trace.Channel, trace.Record);
        if (points.empty())
            continue;
        QPainterPath path(Centre(points.front()));
        for (size_t i = 1; i < points.size(); ++i)
            path.lineTo(Centre(points[i]));
        QPen pen(Colour(trace.Colour), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
        painter.strokePath(path, pen);
    }
    painter.restore();
}

// The scale's fixed ticks, as the plot draws them on its tick layer.
void DrawScale(QPainter& painter, const TPixelSurface& scale) {
    painter.save();
    painter.translate(PlotPicture::ScaleOrigin);
    painter.fillRect(QRect(0, 0, scale.Width(), scale.Height()), Colour(scale.Background()));
    QPainterPath ticks;
    ticks.moveTo(0.5, 10.5);
    ticks.lineTo(900.5, 10.5);
    for (int j = 0; j < SampleCount; ++j) {
        const int top = j % 10 == 0 ? 0 : j % 10 == 5 ? 5 : 7;
        ticks.moveTo(3 * j + 0.5, top + 0.5);
        ticks.lineTo(3 * j + 0.5, 10.5);
    }
    painter.strokePath(ticks, QPen(Colour(ScaleColour), 1, Qt::SolidLine, Qt::SquareCap));
    painter.restore();
}
} // namespace

QByteArray PlotSvg::Build(TPlot& plot) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(PlotPicture::PanelSize);
    svg.setResolution(96); // a panel pixel is a screen pixel of 96 dots per inch
    svg.setViewBox(QRect(QPoint(0, 0), PlotPicture::PanelSize));
    svg.setTitle(QStringLiteral("KRV2 wave plot"));
    {
        QPainter painter(&svg);
        painter.fillRect(QRect(QPoint(0, 0), PlotPicture::PanelSize),
                         Colour(plot.Scale().Background()));
        for (int i = 0; i < TPlot::StripCount; ++i)
            DrawSurface(painter, plot, i, PlotPicture::StripOrigin(i), plot.Strip(i));
        DrawSurface(painter, plot, TPlot::LargeSurface, PlotPicture::LargeOrigin, plot.Large());
        DrawScale(painter, plot.Scale());
        PlotPicture::DrawLabels(painter, plot);
    }
    return bytes;
}

bool PlotSvg::Save(const QString& path, TPlot& plot, QString& error) {
    return PlotPicture::WriteWhole(path, Build(plot), error);
}
