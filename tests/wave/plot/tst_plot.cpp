#include "PlotMath.h"
#include "PlotPair.h"
#include "TextMask.h"

#include <QRandomGenerator>
#include <QTest>

using namespace PlotMath;

namespace {
constexpr uint32_t Black = 0xFF000000;
using TRecord = std::array<std::array<int32_t, 299>, 6>;

TRecord Flat(int value) {
    TRecord r;
    for (auto& channel : r)
        channel.fill(value);
    return r;
}

int CountColour(const QImage& image, uint32_t colour, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += PixelAt(image, x, y) == colour;
    return n;
}

// The layer pixels in `area` that hold `colour` are exactly those of the text's
// mask drawn at `at`: the number shown is the one expected.
QString TextDifference(TPixelSurface& s, TLayerId layer, QPoint at, const QString& text, int points,
                       uint32_t colour, const QRect& area) {
    const TTextMask mask = TextMask(text, points);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const bool inMask = std::find(mask.Pixels.begin(), mask.Pixels.end(),
                                          QPoint(x, y) - at) != mask.Pixels.end();
            if (inMask != (s.LayerPixel(layer, x, y) == colour))
                return QStringLiteral("text \"%1\" differs at (%2, %3)").arg(text).arg(x).arg(y);
        }
    return {};
}
} // namespace

class TstPlot : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void flatRecordsLieOnTheEdgeRows_data();
    void flatRecordsLieOnTheEdgeRows();
    void capturedRecordDropsToTheBottomAtItsEnd();
    void newestIsHighlightedTheOthersWhite();
    void cursorColumnForThePointer_data();
    void cursorColumnForThePointer();
    void levelLineAndItsValue_data();
    void levelLineAndItsValue();
    void largeReadoutBox_data();
    void largeReadoutBox();
    void selectorPicksTheChannel_data();
    void selectorPicksTheChannel();
    void pressOnStrip4ShowsItsChannel();
    void pressOnEmptyStoreOnlySelects();
    void mouseReachesAStripOnlyWhileItsTopLayerIsTopmost();
    void requestsNamingNoLayerAreSkipped_data();
    void requestsNamingNoLayerAreSkipped();
    void readdedSlotLeavesNoOrphanTrace();
    void singleRecordViewBrowsesOneLayer();
    void randomRequestsMatchTheLiteralModel_data();
    void randomRequestsMatchTheLiteralModel();
    void bandStaysUnderEveryRecordLayer();
    void outliersRepaintedInPlace();
};

void TstPlot::flatRecordsLieOnTheEdgeRows_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stripRow");
    QTest::addColumn<int>("largeRow");
    QTest::newRow("all 255 on the top row") << 255 << 0 << 0;
    QTest::newRow("all 0 on the bottom row") << 0 << 69 << 229;
}

void TstPlot::flatRecordsLieOnTheEdgeRows() {
    QFETCH(int, value);
    QFETCH(int, stripRow);
    QFETCH(int, largeRow);
    TPlotPair pair;
    for (auto& channel : pair.Store->WaveSamples)
        channel[0].fill(value); // all 300 samples, as a loaded file holds them
    pair.Store->RecordCount = 1;
    pair.DrawLoaded();
    const QImage strip = pair.Ours.Strip(2).Composite();
    QCOMPARE(CountColour(strip, HighlightColour, QRect(0, 0, 900, 70)), 900);
    QCOMPARE(CountColour(strip, HighlightColour, QRect(0, stripRow, 900, 1)), 900);
    // The large trace ends at sample 298, column 895.
    const QImage large = pair.Ours.Large().Composite();
    QCOMPARE(CountColour(large, HighlightColour, QRect(0, 0, 900, 231)), 896);
    QCOMPARE(CountColour(large, HighlightColour, QRect(0, largeRow, 896, 1)), 896);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::capturedRecordDropsToTheBottomAtItsEnd() {
    TPlotPair pair;
    pair.Capture(Flat(100)); // capture leaves sample 299 at 0
    pair.Both([](TPlot& p) { p.StripPressed(0); });
    const QImage strip = pair.Ours.Strip(0).Composite();
    const int row = 69 - 27; // H(100) = 27
    QCOMPARE(PixelAt(strip, 895, row), HighlightColour);
    QCOMPARE(PixelAt(strip, 899, 69), HighlightColour);
    QVERIFY(CountColour(strip, HighlightColour, QRect(896, row + 1, 3, 69 - row)) > 0);
    const QImage large = pair.Ours.Large().Composite();
    QCOMPARE(PixelAt(large, 895, 229 - 89), HighlightColour);
    QCOMPARE(CountColour(large, HighlightColour, QRect(896, 0, 4, 231)), 0);
    QCOMPARE(CountColour(large, HighlightColour, QRect(0, 0, 900, 231)), 896);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::newestIsHighlightedTheOthersWhite() {
    TPlotPair pair;
    pair.Capture(Flat(50)); // row 69 - 13
    {
        // The first record, drawn with previous record -1: its highlight trace only.
        const QImage strip = pair.Ours.Strip(1).Composite();
        QCOMPARE(CountColour(strip, NormalColour, QRect(0, 0, 900, 70)), 0);
        QCOMPARE(PixelAt(strip, 450, 56), HighlightColour);
    }
    pair.Capture(Flat(200)); // row 69 - 54
    pair.Capture(Flat(120)); // row 69 - 32
    const QImage strip = pair.Ours.Strip(1).Composite();
    QCOMPARE(PixelAt(strip, 450, 56), NormalColour);
    QCOMPARE(PixelAt(strip, 450, 15), NormalColour);
    QCOMPARE(PixelAt(strip, 450, 37), HighlightColour);
    QCOMPARE(CountColour(strip, HighlightColour, QRect(0, 0, 900, 70)),
             896 + 69 - 37); // the newest to column 895, then its drop to row 69
    // Next/Last: the current record highlighted, the one before it back to white.
    pair.MoveTo(1);
    const QImage moved = pair.Ours.Strip(1).Composite();
    QCOMPARE(PixelAt(moved, 450, 15), HighlightColour);
    QCOMPARE(PixelAt(moved, 450, 37), NormalColour);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::cursorColumnForThePointer_data() {
    QTest::addColumn<int>("pointerX");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("sample");
    QTest::newRow("X 0") << 0 << 0 << 0;
    QTest::newRow("X 1") << 1 << 0 << 0;
    QTest::newRow("X 2") << 2 << 0 << 0;
    QTest::newRow("X 899") << 899 << 897 << 299;
}

void TstPlot::cursorColumnForThePointer() {
    QFETCH(int, pointerX);
    QFETCH(int, column);
    QFETCH(int, sample);
    TPlotPair pair;
    pair.Capture(Flat(100));
    pair.Store->WaveSamples[3][0][299] = 77;
    pair.Both([&](TPlot& p) { p.Strip(3).MouseMove(pointerX, 0); });
    QCOMPARE(pair.Ours.CursorSample, sample);
    for (int i = 0; i < TPlot::StripCount; ++i) {
        const QImage strip = pair.Ours.Strip(i).Composite();
        QCOMPARE(PixelAt(strip, column, 0), CursorDotColour);
        QCOMPARE(PixelAt(strip, column, 2), PixelAt(strip, column + 1, 2)); // a gap
        // The dots run down to row y + 64: row 65 would be a dot, but ends the line.
        QCOMPARE(PixelAt(strip, column, 64), CursorDotColour);
        QCOMPARE(PixelAt(strip, column, 65), Black);
    }
    const TPixelSurface& strip3 = pair.Ours.Strip(3);
    const QString value = sample == 299 ? QStringLiteral("77") : QStringLiteral("100");
    const QString d =
        TextDifference(pair.Ours.Strip(3), strip3.TopmostLayer(), QPoint(column + 2, 0), value, 1,
                       ReadoutTextColour, QRect(column + 2, 0, 20, 15) & QRect(0, 0, 900, 70));
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QCOMPARE(pair.Ours.Scale().LayerPixel(pair.Ours.ScaleCursorLayer(), column, 1),
             CursorDotColour);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::levelLineAndItsValue_data() {
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("boxTop");
    QTest::addColumn<QString>("text");
    QTest::newRow("y 0") << 0 << 0 << 1 << "255";
    QTest::newRow("y 115") << 115 << 114 << 115 << "128";
    QTest::newRow("y 229") << 229 << 228 << 214 << "1";
    QTest::newRow("y 230") << 230 << 229 << 215 << "0";
}

void TstPlot::levelLineAndItsValue() {
    QFETCH(int, y);
    QFETCH(int, row);
    QFETCH(int, boxTop);
    QFETCH(QString, text);
    TPlotPair pair;
    TPixelSurface& large = pair.Ours.Large();
    const TLayerId level = pair.Ours.LevelLayer();
    QCOMPARE(large.LayerPixel(level, 10, 105), LevelBoxColour); // the box of the start
    pair.Both([&](TPlot& p) { p.Large().MouseMove(450, y); });
    QCOMPARE(large.LayerPixel(level, 10, 105), 0u);
    QCOMPARE(large.LayerPixel(level, 899, row), LevelColour);
    QCOMPARE(large.LayerPixel(level, 25, row), LevelColour);
    // The box covers x 0..24 from its top row down 15 rows.
    const uint32_t box = large.LayerPixel(level, 24, boxTop + 14);
    QVERIFY(box == ReadoutBoxColour || box == LevelColour);
    QCOMPARE(large.LayerPixel(level, 24, boxTop + 15) == ReadoutBoxColour, false);
    QCOMPARE(large.LayerPixel(level, 24, boxTop - 1) == ReadoutBoxColour, false);
    const QRect boxArea(0, boxTop, 25, 15);
    const QString d = TextDifference(
        large, level, QPoint(0, boxTop), text, 10, LevelColour,
        row >= boxTop && row < boxTop + 15 ? boxArea.adjusted(0, 0, 0, -1) : boxArea);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::largeReadoutBox_data() {
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("boxTop");
    QTest::newRow("v 0") << 0 << 215;
    QTest::newRow("v 255") << 255 << 0;
}

void TstPlot::largeReadoutBox() {
    QFETCH(int, v);
    QFETCH(int, boxTop);
    TPlotPair pair;
    pair.Capture(Flat(v));
    pair.Both([](TPlot& p) { p.Strip(0).MouseMove(300, 5); }); // sample 100, column 300
    TPixelSurface& large = pair.Ours.Large();
    const TLayerId cursor = pair.Ours.CursorLayer();
    for (int x = 305; x < 325; ++x) {
        QVERIFY(large.LayerPixel(cursor, x, boxTop) != 0);
        QVERIFY(large.LayerPixel(cursor, x, boxTop + 13) != 0);
        QCOMPARE(large.LayerPixel(cursor, x, boxTop + 14), 0u);
        if (boxTop > 0)
            QCOMPARE(large.LayerPixel(cursor, x, boxTop - 1), 0u);
    }
    QCOMPARE(large.LayerPixel(cursor, 325, boxTop + 5), 0u);
    const QString d = TextDifference(large, cursor, QPoint(305, boxTop), QString::number(v), 1,
                                     ReadoutTextColour, QRect(305, boxTop, 20, 14));
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::selectorPicksTheChannel_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("ch3") << 3 << "ch3" << true;
    QTest::newRow("ch7, not in the store") << 7 << "ch7" << false;
    QTest::newRow("typed text, no entry") << -1 << "ch" << false;
}

void TstPlot::selectorPicksTheChannel() {
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(bool, drawn);
    TPlotPair pair;
    QRandomGenerator rng(7);
    for (int r = 0; r < 4; ++r) {
        TRecord record;
        for (auto& channel : record)
            for (int32_t& s : channel)
                s = rng.bounded(256);
        pair.Capture(record);
    }
    pair.MoveTo(1); // the current record is not the newest
    pair.Both([&](TPlot& p) { p.SelectorChanged(0, index, text); });
    const QImage strip0 = pair.Ours.Strip(0).Composite();
    if (drawn) {
        // Every record of channel 3, the newest highlighted whichever is current.
        QVERIFY(CountColour(strip0, HighlightColour, QRect(0, 0, 900, 70)) > 0);
        pair.Both([](TPlot& p) { p.RedrawStrip(3); });
        QCOMPARE(FirstDifference(strip0, pair.Literal.Strip(3).Composite()), QString());
    } else {
        QCOMPARE(CountColour(strip0, Black, QRect(0, 0, 900, 70)), 900 * 70);
    }
    pair.Both([](TPlot& p) { p.Strip(0).MouseMove(300, 5); });
    const TLayerId top = pair.Ours.TopLayer(0);
    QCOMPARE(pair.Ours.Strip(0).LayerPixel(top, 321, 14) == ReadoutBoxColour ||
                 pair.Ours.Strip(0).LayerPixel(top, 321, 14) == ReadoutTextColour,
             drawn);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::pressOnStrip4ShowsItsChannel() {
    TPlotPair pair;
    TRecord a = Flat(10), b = Flat(20), c = Flat(30);
    a[4].fill(40);  // large row 229 - 35
    b[4].fill(140); // row 229 - 125
    c[4].fill(240); // row 229 - 215
    c[2].fill(90);
    for (const TRecord& r : {a, b, c})
        pair.Capture(r);
    pair.Store->CurrentRecord = 1;
    pair.Both([](TPlot& p) { p.Strip(4).MousePress(5, 5); });
    QCOMPARE(pair.Store->SelectedChannel, 4);
    QCOMPARE(pair.Ours.ChannelCaption, QStringLiteral("ch4"));
    const QImage large = pair.Ours.Large().Composite();
    QCOMPARE(PixelAt(large, 450, 194), NormalColour);
    QCOMPARE(PixelAt(large, 450, 104), HighlightColour);
    QCOMPARE(PixelAt(large, 450, 14), NormalColour);
    QCOMPARE(pair.Ours.Large().TopmostLayer(), pair.Ours.LevelLayer());
    // The readout reads the trace it sits on: channel 4 of the current record, 1.
    pair.Both([](TPlot& p) { p.Large().MouseMove(600, 100); });
    TPixelSurface& l = pair.Ours.Large();
    const auto readout = [&](int v) {
        return TextDifference(l, pair.Ours.CursorLayer(), QPoint(605, LargeReadoutRow(v)),
                              QString::number(v), 1, ReadoutTextColour,
                              QRect(605, LargeReadoutRow(v), 20, 14));
    };
    QString d = readout(140);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    // Strip 4 set to ch2: the large plot shows channel 2 and the readout follows it.
    pair.Both([](TPlot& p) {
        p.SelectorChanged(4, 2, QStringLiteral("ch2"));
        p.Strip(4).MousePress(5, 5);
        p.Large().MouseMove(600, 100);
    });
    QCOMPARE(pair.Ours.ChannelCaption, QStringLiteral("ch2"));
    QCOMPARE(PixelAt(pair.Ours.Large().Composite(), 450, 229 - 80), NormalColour); // c[2] = 90
    d = readout(20);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    // Another record made current: the readout reads it.
    pair.Store->CurrentRecord = 2;
    pair.Both([](TPlot& p) { p.Large().MouseMove(600, 100); });
    d = readout(90);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::pressOnEmptyStoreOnlySelects() {
    TPlotPair pair;
    pair.Both([](TPlot& p) { p.SetChannelCaption(QStringLiteral("kept")); });
    pair.Both([](TPlot& p) { p.Strip(5).MousePress(1, 1); });
    QCOMPARE(pair.Store->SelectedChannel, 5);
    QCOMPARE(pair.Ours.ChannelCaption, QStringLiteral("kept"));
    QCOMPARE(pair.Ours.Large().Stack().size(), size_t{2});
    // Readouts of an empty store show record 0: zeros.
    pair.Both([](TPlot& p) { p.Strip(0).MouseMove(30, 5); });
    const QString d =
        TextDifference(pair.Ours.Strip(0), pair.Ours.TopLayer(0), QPoint(32, 0),
                       QStringLiteral("0"), 1, ReadoutTextColour, QRect(32, 0, 20, 15));
    QVERIFY2(d.isEmpty(), qPrintable(d));
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::mouseReachesAStripOnlyWhileItsTopLayerIsTopmost() {
    TPlotPair pair;
    TPlot& plot = pair.Ours;
    plot.AddStripLayer(2, 0); // lands on top of the strip's top layer
    plot.Strip(2).MouseMove(300, 5);
    plot.Strip(2).MousePress(300, 5);
    QCOMPARE(plot.CursorSample, 0);
    QCOMPARE(pair.Store->SelectedChannel, 0);
    plot.Strip(1).MouseMove(300, 5); // the others still take it
    QCOMPARE(plot.CursorSample, 100);
    plot.RaiseTopLayer(2);
    plot.Strip(2).MouseMove(600, 5);
    plot.Strip(2).MousePress(600, 5);
    QCOMPARE(plot.CursorSample, 200);
    QCOMPARE(pair.Store->SelectedChannel, 2);

    plot.AddLargeLayer(0);
    plot.Large().MouseMove(30, 5);
    QCOMPARE(plot.CursorSample, 200);
    plot.RaiseOverlayLayers();
    plot.Large().MouseMove(30, 5);
    QCOMPARE(plot.CursorSample, 10);
    plot.Scale().MouseMove(919, 3);
    QCOMPARE(plot.CursorSample, 306);
}

void TstPlot::requestsNamingNoLayerAreSkipped_data() {
    QTest::addColumn<int>("request");
    for (int i = 0; i < 12; ++i)
        QTest::addRow("request %d", i) << i;
}

void TstPlot::requestsNamingNoLayerAreSkipped() {
    QFETCH(int, request);
    TPlotPair pair;
    pair.Capture(Flat(100));
    pair.Both([](TPlot& p) {
        p.FreeStripLayer(1, 0);
        p.FreeLargeLayer(0);
    });
    const QImage before = pair.Ours.Strip(0).Composite();
    const auto stacks = [&] {
        std::vector<size_t> sizes;
        for (int i = 0; i < TPlot::StripCount; ++i)
            sizes.push_back(pair.Ours.Strip(i).Stack().size());
        sizes.push_back(pair.Ours.Large().Stack().size());
        return sizes;
    };
    const std::vector<size_t> sizesBefore = stacks();
    pair.Both([&](TPlot& p) {
        switch (request) {
        case 0:
            p.DrawStripRecord(1, 0, -1);
            break; // freed slot
        case 1:
            p.DrawLargeRecord(0, 0, -1);
            break;
        case 2:
            p.DrawStripRecord(0, 5, 3);
            break; // slots never created
        case 3:
            p.DrawStripRecord(6, 0, -1);
            break; // no strip 6
        case 4:
            p.DrawStripRecord(-1, 0, -1);
            break;
        case 5:
            p.AddStripLayer(0, 200);
            break; // no record 200
        case 6:
            p.AddLargeLayer(-1);
            break;
        case 7:
            p.FreeStripLayer(9, 0);
            break;
        case 8:
            p.ClearLargeLayer(250);
            break;
        case 9:
            p.RaiseStripLayer(0, -5);
            break;
        case 10:
            p.RedrawStrip(6);
            break;
        default:
            p.DrawLargeRecord(0, 500, 400);
            break;
        }
    });
    QCOMPARE(stacks(), sizesBefore);
    QCOMPARE(FirstDifference(pair.Ours.Strip(0).Composite(), before), QString());
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::readdedSlotLeavesNoOrphanTrace() {
    TPlotPair pair;
    pair.Capture(Flat(100));
    pair.Both([](TPlot& p) {
        p.AddStripLayer(0, 0); // the slot's old layer with its trace must not linger
        p.RaiseTopLayer(0);
    });
    QCOMPARE(pair.Ours.Strip(0).Stack().size(), size_t{2});
    QCOMPARE(CountColour(pair.Ours.Strip(0).Composite(), HighlightColour, QRect(0, 0, 900, 70)), 0);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::singleRecordViewBrowsesOneLayer() {
    TPlotPair pair;
    TWaveStore& s = *pair.Store;
    for (int r = 0; r < 3; ++r)
        for (auto& channel : s.WaveSamples)
            channel[static_cast<size_t>(r)].fill(60 * (r + 1));
    s.RecordCount = 3;
    s.SingleTraceDrawing = true;
    s.SingleRecordView = true;
    s.BrowseIndex = 2;
    pair.Both([&](TPlot& p) {
        for (int j = 0; j < TPlot::StripCount; ++j) {
            p.AddStripLayer(j, 0);
            p.DrawStripRecord(j, s.BrowseIndex, -1);
            p.RaiseTopLayer(j);
        }
        p.Strip(3).MousePress(1, 1);
    });
    QCOMPARE(pair.Ours.Strip(3).Stack().size(), size_t{2});
    QCOMPARE(pair.Ours.Large().Stack().size(), size_t{3});
    const QImage large = pair.Ours.Large().Composite();
    QCOMPARE(PixelAt(large, 450, 229 - static_cast<int>(TraceHeight(TTraceKind::Large, 180))),
             HighlightColour);
    QCOMPARE(CountColour(large, HighlightColour, QRect(0, 0, 900, 231)), 896);
    // Redrawing a strip in this view leaves the newest record in the one layer.
    pair.Both([](TPlot& p) { p.RedrawStrip(3); });
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::randomRequestsMatchTheLiteralModel_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 6; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Seeded sequences of what capture, the store's operations, the selectors and the
// mouse ask of the plot, with odd samples and odd requests among them.
void TstPlot::randomRequestsMatchTheLiteralModel() {
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    TPlotPair pair;
    TWaveStore& s = *pair.Store;
    const auto sample = [&]() -> int32_t {
        switch (rng.bounded(40)) {
        case 0:
            return rng.bounded(-10, 0);
        case 1:
            return rng.bounded(256, 270);
        default:
            return rng.bounded(256);
        }
    };
    const auto record = [&] {
        TRecord r;
        const int base = rng.bounded(256);
        for (auto& channel : r)
            for (int32_t& v : channel)
                v = rng.bounded(6) ? std::clamp(base + rng.bounded(-30, 30), 0, 255) : sample();
        return r;
    };
    for (int step = 0; step < 160; ++step) {
        const int op = rng.bounded(100);
        if (op < 25) {
            if (s.RecordCount < 12)
                pair.Capture(record());
        } else if (op < 30) {
            pair.FreeAll();
            s.SingleRecordView = false;
            s.RecordCount = rng.bounded(0, 8);
            for (auto& channel : s.WaveSamples)
                for (int r = 0; r < s.RecordCount; ++r)
                    for (int32_t& v : channel[static_cast<size_t>(r)])
                        v = sample();
            pair.DrawLoaded();
        } else if (op < 40) {
            if (s.RecordCount > 0)
                pair.MoveTo(rng.bounded(s.RecordCount));
        } else if (op < 65) {
            const int surface = rng.bounded(8);
            const int x = rng.bounded(-20, 940), y = rng.bounded(-20, 250);
            pair.Both([&](TPlot& p) {
                TPixelSurface& target = surface < 6    ? p.Strip(surface)
                                        : surface == 6 ? p.Large()
                                                       : p.Scale();
                target.MouseMove(x, y);
            });
        } else if (op < 72) {
            const int strip = rng.bounded(6);
            pair.Both([&](TPlot& p) { p.Strip(strip).MousePress(3, 3); });
        } else if (op < 78) {
            const int strip = rng.bounded(6);
            const int index = rng.bounded(-1, 20);
            const QString text =
                index < 0 ? QStringLiteral("x") : QStringLiteral("ch%1").arg(index);
            pair.Both([&](TPlot& p) { p.SelectorChanged(strip, index, text); });
        } else {
            // A single raw request with arguments in and out of range.
            const int kind = rng.bounded(8);
            const int strip = rng.bounded(-1, 7);
            const int r = rng.bounded(-1, 14);
            const int q = rng.bounded(-2, 14);
            if (rng.bounded(4) == 0)
                s.SingleTraceDrawing = !s.SingleTraceDrawing;
            pair.Both([&](TPlot& p) {
                switch (kind) {
                case 0:
                    p.AddStripLayer(strip, r);
                    break;
                case 1:
                    p.AddLargeLayer(r);
                    break;
                case 2:
                    p.DrawStripRecord(strip, r, q);
                    break;
                case 3:
                    p.DrawLargeRecord(strip, r, q);
                    break;
                case 4:
                    p.FreeStripLayer(strip, r);
                    p.FreeLargeLayer(q);
                    break;
                case 5:
                    p.ClearStripLayer(strip, r);
                    p.ClearLargeLayer(q);
                    break;
                case 6:
                    p.RaiseStripLayer(strip, r);
                    p.RaiseLargeLayer(q);
                    break;
                default:
                    p.RaiseTopLayer(strip);
                    p.RaiseOverlayLayers();
                    break;
                }
            });
        }
        if (rng.bounded(4) == 0) {
            const QString d = pair.Difference();
            QVERIFY2(d.isEmpty(), qPrintable(QStringLiteral("step %1, %2").arg(step).arg(d)));
        }
    }
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

namespace {
TPlotBand Band(int lower, int upper) {
    TPlotBand band;
    for (size_t c = 0; c < 6; ++c) {
        band.Lower[c].fill(lower);
        band.Upper[c].fill(upper);
        band.Present[c].fill(true);
    }
    return band;
}

// Every surface's band layer lies at the bottom of its stack.
QString BandNotAtBottom(TPlot& p) {
    for (int i = -1; i < TPlot::StripCount; ++i) {
        TPixelSurface& s = i < 0 ? p.Large() : p.Strip(i);
        if (s.Stack().empty() || s.Stack().front() != p.BandLayer(i < 0 ? TPlot::LargeSurface : i))
            return QStringLiteral("surface %1").arg(i);
    }
    return {};
}
} // namespace

void TstPlot::bandStaysUnderEveryRecordLayer() {
    TPlotPair pair;
    pair.Capture(Flat(50));  // strip row 56
    pair.Capture(Flat(200)); // strip row 15
    pair.Both([](TPlot& p) { p.ShowBand(Band(50, 200)); });
    QCOMPARE(BandNotAtBottom(pair.Ours), QString());
    // Layers made and raised afterwards all land above it.
    pair.Capture(Flat(120)); // strip row 37
    pair.MoveTo(0);
    pair.Both([](TPlot& p) {
        p.Strip(2).MousePress(5, 5); // the large plot's layers made anew
        p.SelectorChanged(1, 4, QStringLiteral("ch4"));
    });
    QCOMPARE(BandNotAtBottom(pair.Ours), QString());
    QCOMPARE(BandNotAtBottom(pair.Literal), QString());
    const QImage strip = pair.Ours.Strip(0).Composite();
    QCOMPARE(PixelAt(strip, 450, 37), NormalColour); // the traces lie over the band
    QCOMPARE(PixelAt(strip, 450, 40), BandColour);
    QCOMPARE(PixelAt(strip, 450, 14), Black); // above the band's upper edge
    QCOMPARE(PixelAt(strip, 450, 57), Black);
    QCOMPARE(pair.Ours.BandChannel(1), 4);
    QCOMPARE(pair.Ours.BandChannel(TPlot::LargeSurface), 2);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));

    pair.Both([](TPlot& p) { p.HideBand(); });
    QCOMPARE(pair.Ours.Strip(0).Stack().size(), size_t{4}); // top layer, three records
    QCOMPARE(CountColour(pair.Ours.Strip(0).Composite(), BandColour, QRect(0, 0, 900, 70)), 0);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

void TstPlot::outliersRepaintedInPlace() {
    TPlotPair pair;
    for (const int v : {50, 100, 150}) // strip rows 56, 42, 29
        pair.Capture(Flat(v));
    pair.Both([](TPlot& p) { p.Strip(3).MousePress(1, 1); }); // the large plot drawn
    const std::vector<TLayerId> stack = pair.Ours.Strip(3).Stack();
    std::array<bool, TWaveStore::WaveMaxRecords> flagged{};
    flagged[0] = flagged[2] = true;
    pair.Both([&](TPlot& p) { p.ShowOutliers(flagged); });
    QCOMPARE(pair.Ours.Strip(3).Stack(), stack);
    QImage strip = pair.Ours.Strip(3).Composite();
    QCOMPARE(PixelAt(strip, 450, 56), OutlierColour);
    QCOMPARE(PixelAt(strip, 450, 42), NormalColour);
    QCOMPARE(PixelAt(strip, 450, 29), HighlightColour); // the current record stays
    QCOMPARE(PixelAt(pair.Ours.Large().Composite(), 450, 229 - 44), OutlierColour);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));

    // A move draws the record it leaves in the outlier colour.
    pair.MoveTo(0);
    strip = pair.Ours.Strip(3).Composite();
    QCOMPARE(PixelAt(strip, 450, 56), HighlightColour);
    QCOMPARE(PixelAt(strip, 450, 29), OutlierColour);
    const std::vector<TShownTrace> shown = pair.Ours.ShownTraces(3);
    QCOMPARE(shown.size(), size_t{3});
    QCOMPARE(shown.back().Record, 0); // raised by the move
    QCOMPARE(shown.back().Colour, HighlightColour);

    pair.Both([](TPlot& p) { p.ShowOutliers({}); });
    QCOMPARE(PixelAt(pair.Ours.Strip(3).Composite(), 450, 29), NormalColour);
    QVERIFY2(pair.Difference().isEmpty(), qPrintable(pair.Difference()));
}

QTEST_MAIN(TstPlot)
#include "tst_plot.moc"
