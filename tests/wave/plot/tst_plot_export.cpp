// The plot's export: the PNG holds exactly the composites the page shows, in their
// places; the SVG is a valid drawing with one path per trace, in the traces' colours.
#include "LayerSurface.h"
#include "PlotMath.h"
#include "PlotPicture.h"
#include "PlotSvg.h"
#include "WaveActive.h"
#include "WaveFile.h"

#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <map>
#include <memory>

using namespace PlotMath;

namespace {
struct TLoadedPlot {
    std::unique_ptr<TWaveStore> Store = std::make_unique<TWaveStore>();
    std::unique_ptr<TPlot> Plot;
};

// `records` records of different levels, loaded and drawn as Load draws them.
std::unique_ptr<TLoadedPlot> Loaded(int records) {
    TWaveStore source;
    for (size_t r = 0; r < static_cast<size_t>(records); ++r)
        for (size_t c = 0; c < 6; ++c)
            for (size_t s = 0; s < 300; ++s)
                source.WaveSamples[c][r][s] = static_cast<int32_t>(30 + 40 * r + (s * 7 + c) % 9);
    source.RecordCount = records;
    auto loaded = std::make_unique<TLoadedPlot>();
    loaded->Plot = std::make_unique<TPlot>(*loaded->Store, [](int w, int h, uint32_t bg) {
        return std::make_unique<TLayerSurface>(w, h, bg);
    });
    WaveActive::Load(*loaded->Store, *loaded->Plot, WaveFile::BuildBlock(source));
    return loaded;
}

TPlotBand Band() {
    TPlotBand band;
    for (size_t c = 0; c < 6; ++c) {
        band.Lower[c].fill(20);
        band.Upper[c].fill(120);
        band.Present[c].fill(true);
    }
    return band;
}

QString Hex(uint32_t argb) {
    return QStringLiteral("#%1").arg(argb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// Paths by the stroke (or, for fills, the fill) of the group around them.
std::map<QString, int> PathsByColour(const QByteArray& svg) {
    std::map<QString, int> count;
    QXmlStreamReader xml(svg);
    QString stroke;
    QString fill;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("g")) {
            stroke = xml.attributes().value(QLatin1String("stroke")).toString();
            fill = xml.attributes().value(QLatin1String("fill")).toString();
        } else if (xml.name() == QLatin1String("path")) {
            ++count[stroke != QLatin1String("none") ? stroke : QStringLiteral("fill ") + fill];
        }
    }
    return count;
}
} // namespace

class TstPlotExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pngHoldsTheShownComposites();
    void svgHasOnePathPerTrace_data();
    void svgHasOnePathPerTrace();
    void unwritableFileSaysWhich();

private:
    QTemporaryDir dir;
};

void TstPlotExport::pngHoldsTheShownComposites() {
    auto loaded = Loaded(5);
    TPlot& plot = *loaded->Plot;
    plot.ShowBand(Band());
    plot.Strip(2).MouseMove(300, 40); // the cursor is on screen too
    const QString path = dir.filePath(QStringLiteral("plot.png"));
    QString error;
    QVERIFY2(PlotPicture::SavePng(path, PlotPicture::Raster(plot), error), qPrintable(error));
    const QImage png = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(png.size(), PlotPicture::PanelSize);
    const auto same = [&](QPoint at, TPixelSurface& s) {
        return png.copy(QRect(at, QSize(s.Width(), s.Height()))) == s.Composite();
    };
    for (int i = 0; i < TPlot::StripCount; ++i)
        QVERIFY2(same(PlotPicture::StripOrigin(i), plot.Strip(i)), qPrintable(QString::number(i)));
    QVERIFY(same(PlotPicture::LargeOrigin, plot.Large()));
    QVERIFY(same(PlotPicture::ScaleOrigin, plot.Scale()));
}

void TstPlotExport::svgHasOnePathPerTrace_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("band");
    QTest::addColumn<int>("outliers"); // records 0..n-1 flagged
    QTest::newRow("empty store") << 0 << false << 0;
    QTest::newRow("one record") << 1 << false << 0;
    QTest::newRow("four, band") << 4 << true << 0;
    QTest::newRow("four, two outliers") << 4 << false << 2;
}

void TstPlotExport::svgHasOnePathPerTrace() {
    QFETCH(int, records);
    QFETCH(bool, band);
    QFETCH(int, outliers);
    auto loaded = Loaded(records);
    TPlot& plot = *loaded->Plot;
    if (band)
        plot.ShowBand(Band());
    std::array<bool, TWaveStore::WaveMaxRecords> flagged{};
    for (int r = 0; r < outliers; ++r)
        flagged[static_cast<size_t>(r)] = true;
    plot.ShowOutliers(flagged);
    const QByteArray svg = PlotSvg::Build(plot);
    QVERIFY(QSvgRenderer(svg).isValid());
    std::map<QString, int> paths = PathsByColour(svg);
    // Six strips and the large plot; the newest record highlighted on each.
    constexpr int surfaces = TPlot::StripCount + 1;
    const int highlighted = records > 0 ? 1 : 0;
    QCOMPARE(paths[Hex(HighlightColour)], surfaces * highlighted);
    QCOMPARE(paths[Hex(OutlierColour)], surfaces * outliers);
    QCOMPARE(paths[Hex(NormalColour)], surfaces * (records - highlighted - outliers));
    QCOMPARE(paths[QStringLiteral("fill ") + Hex(BandColour)], band ? surfaces : 0);
    QCOMPARE(paths[Hex(ScaleColour)], 1); // the ticks
}

void TstPlotExport::unwritableFileSaysWhich() {
    auto loaded = Loaded(2);
    const QString path = dir.filePath(QStringLiteral("no such folder/plot.svg"));
    QString error;
    QVERIFY(!PlotSvg::Save(path, *loaded->Plot, error));
    QVERIFY2(error.contains(QStringLiteral("plot.svg")), qPrintable(error));
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TstPlotExport)
#include "tst_plot_export.moc"
