#include "LayerSurface.h"
#include "LiteralSurface.h"
#include "PlotMath.h"
#include "SurfaceCompare.h"
#include "TextMask.h"

#include <QRandomGenerator>
#include <QTest>

#include <memory>

namespace {
constexpr uint32_t Black = 0xFF000000;
constexpr uint32_t Red = 0xFFFF0000;
constexpr uint32_t Dot = PlotMath::CursorDotColour;

std::unique_ptr<TPixelSurface> Make(bool literal, int w = 40, int h = 30) {
    if (literal)
        return std::make_unique<TLiteralSurface>(w, h, Black);
    return std::make_unique<TLayerSurface>(w, h, Black);
}
} // namespace

class TstLayerSurface : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operationsHaveTheirEffect_data();
    void operationsHaveTheirEffect();
    void stackingDecidesWhatShows_data();
    void stackingDecidesWhatShows();
    void mouseGoesToTheTopmostLayerOnly_data();
    void mouseGoesToTheTopmostLayerOnly();
    void traceLayersStaySparse();
    void randomOperationsMatchTheLiteralModel_data();
    void randomOperationsMatchTheLiteralModel();
};

void TstLayerSurface::operationsHaveTheirEffect_data() {
    QTest::addColumn<bool>("literal");
    QTest::addColumn<bool>("cursorRole");
    QTest::newRow("ours, trace layer") << false << false;
    QTest::newRow("ours, cursor layer") << false << true;
    QTest::newRow("literal model") << true << false;
}

// Each operation on its own fresh layer over black, checked at the pixels that
// decide it.
void TstLayerSurface::operationsHaveTheirEffect() {
    QFETCH(bool, literal);
    QFETCH(bool, cursorRole);
    const TLayerRole role = cursorRole ? TLayerRole::Cursor : TLayerRole::Steady;

    { // line: both ends set, nothing beyond; a second line replaces, never blends
        auto s = Make(literal);
        const TLayerId l = s->CreateLayer(role);
        s->Line(l, 2, 3, 7, 3, Red);
        s->Line(l, 5, 3, 9, 3, 0x80FFFFFF);
        const QImage& img = s->Composite();
        QCOMPARE(PixelAt(img, 1, 3), Black);
        QCOMPARE(PixelAt(img, 2, 3), Red);
        QCOMPARE(PixelAt(img, 4, 3), Red);
        QCOMPARE(PixelAt(img, 5, 3), PlotMath::BlendPixel(0x80FFFFFF, Black));
        QCOMPARE(PixelAt(img, 9, 3), PlotMath::BlendPixel(0x80FFFFFF, Black));
        QCOMPARE(PixelAt(img, 10, 3), Black);
    }
    { // fill rectangle: x1 <= x < x2, clipped at the edges
        auto s = Make(literal);
        const TLayerId l = s->CreateLayer(role);
        s->FillRect(l, -5, 27, 3, 40, Red);
        const QImage& img = s->Composite();
        QCOMPARE(PixelAt(img, 0, 29), Red);
        QCOMPARE(PixelAt(img, 2, 27), Red);
        QCOMPARE(PixelAt(img, 3, 27), Black);
        QCOMPARE(PixelAt(img, 2, 26), Black);
    }
    { // dotted line: two dots, two gaps from its start; its end pixel left out;
      // gaps leave what the layer held
        auto s = Make(literal);
        const TLayerId l = s->CreateLayer(role);
        s->Line(l, 5, 0, 5, 29, Red);
        s->DottedLine(l, 5, 2, 5, 11);
        s->DottedLine(l, 20, 20, 20, 40); // runs past the bottom
        const QImage& img = s->Composite();
        const uint32_t expected[] = {Red, Red, Dot, Dot, Red, Red, Dot, Dot, Red, Red, Dot, Red};
        for (int y = 0; y < 12; ++y)
            QCOMPARE(PixelAt(img, 5, y), expected[y]);
        QCOMPARE(PixelAt(img, 20, 20), Dot);
        QCOMPARE(PixelAt(img, 20, 28), Dot);
        QCOMPARE(PixelAt(img, 20, 29), Dot);
        QCOMPARE(PixelAt(img, 20, 27), Black);
    }
    { // text: its pixels exactly in the colour (no grey edges), clipped at the edge
        auto s = Make(literal);
        const TLayerId l = s->CreateLayer(role);
        s->Text(l, 30, 2, QStringLiteral("255"), Red, 10);
        const QImage& img = s->Composite();
        const TTextMask mask = TextMask(QStringLiteral("255"), 10);
        int lit = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const uint32_t p = PixelAt(img, x, y);
                QVERIFY(p == Red || p == Black);
                lit += p == Red;
            }
        int inside = 0;
        for (const QPoint& p : mask.Pixels)
            inside += 30 + p.x() < 40;
        QCOMPARE(lit, inside);
    }
    { // clear: every pixel, also after drawing
        auto s = Make(literal);
        const TLayerId l = s->CreateLayer(role);
        s->Line(l, 0, 0, 39, 29, Red);
        s->Clear(l, 0x80FFFFFF);
        QCOMPARE(PixelAt(s->Composite(), 0, 0), PlotMath::BlendPixel(0x80FFFFFF, Black));
        QCOMPARE(PixelAt(s->Composite(), 39, 29), PlotMath::BlendPixel(0x80FFFFFF, Black));
        s->Clear(l, 0);
        QCOMPARE(PixelAt(s->Composite(), 20, 15), Black);
    }
}

void TstLayerSurface::stackingDecidesWhatShows_data() {
    QTest::addColumn<bool>("literal");
    QTest::newRow("ours") << false;
    QTest::newRow("literal model") << true;
}

void TstLayerSurface::stackingDecidesWhatShows() {
    QFETCH(bool, literal);
    auto s = Make(literal);
    const TLayerId a = s->CreateLayer();
    const TLayerId b = s->CreateLayer(TLayerRole::Cursor);
    const TLayerId c = s->CreateLayer();
    s->Line(a, 0, 0, 10, 0, 0xFF0000FF);
    s->Line(b, 0, 0, 10, 0, 0xFF00FF00);
    s->Line(c, 0, 0, 10, 0, Red);
    QCOMPARE(s->Stack(), (std::vector<TLayerId>{a, b, c}));
    QCOMPARE(PixelAt(s->Composite(), 5, 0), Red);
    s->BringToFront(b);
    QCOMPARE(s->Stack(), (std::vector<TLayerId>{a, c, b}));
    QCOMPARE(PixelAt(s->Composite(), 5, 0), 0xFF00FF00u);
    s->FreeLayer(b);
    QCOMPARE(PixelAt(s->Composite(), 5, 0), Red);
    s->BringToFront(a);
    QCOMPARE(PixelAt(s->Composite(), 5, 0), 0xFF0000FFu);
    // A freed layer is gone for good: operations on it change nothing.
    s->Line(b, 0, 0, 10, 0, 0xFF00FF00);
    s->BringToFront(b);
    QCOMPARE(s->Stack(), (std::vector<TLayerId>{c, a}));
    QCOMPARE(PixelAt(s->Composite(), 5, 0), 0xFF0000FFu);
}

void TstLayerSurface::mouseGoesToTheTopmostLayerOnly_data() {
    stackingDecidesWhatShows_data();
}

void TstLayerSurface::mouseGoesToTheTopmostLayerOnly() {
    QFETCH(bool, literal);
    auto s = Make(literal);
    QPoint moved(-1, -1);
    int presses = 0;
    const TLayerId top = s->CreateLayer(TLayerRole::Cursor);
    s->BindMouse(
        top, [&](int x, int y) { moved = QPoint(x, y); }, [&](int, int) { ++presses; });
    s->MouseMove(12, 7);
    s->MousePress(1, 1);
    QCOMPARE(moved, QPoint(12, 7));
    QCOMPARE(presses, 1);

    const TLayerId plot = s->CreateLayer(); // a new plot layer lands on top
    s->MouseMove(3, 4);
    s->MousePress(1, 1);
    QCOMPARE(moved, QPoint(12, 7));
    QCOMPARE(presses, 1);

    s->BringToFront(top);
    s->MouseMove(3, 4);
    QCOMPARE(moved, QPoint(3, 4));
    s->FreeLayer(plot);
    s->MousePress(0, 0);
    QCOMPARE(presses, 2);
}

void TstLayerSurface::traceLayersStaySparse() {
    TLayerSurface s(900, 231, Black);
    const TLayerId trace = s.CreateLayer();
    for (int k = 0; k < 299; ++k)
        s.Line(trace, PlotMath::SampleColumn(k), (k * 37) % 231, PlotMath::SampleColumn(k + 1),
               ((k + 1) * 37) % 231, PlotMath::NormalColour);
    QVERIFY(!s.IsDense(trace));
    QVERIFY(s.MemoryBytes() < 3 * 900 * 231 * 4); // composites, no bitmap for the trace
    // Something translucent on it needs the whole bitmap, and the picture stays the same.
    s.FillRect(trace, 10, 10, 20, 20, 0xCC000000);
    QVERIFY(s.IsDense(trace));
    s.Clear(trace, 0);
    QVERIFY(!s.IsDense(trace));
}

void TstLayerSurface::randomOperationsMatchTheLiteralModel_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 12; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Long seeded sequences of every operation, with composites taken at random moments
// so that the kept composite and the damaged parts are exercised in every state.
void TstLayerSurface::randomOperationsMatchTheLiteralModel() {
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    const int w = 60 + rng.bounded(40);
    const int h = 20 + rng.bounded(30);
    const uint32_t background = rng.bounded(2) ? Black : 0xFFF0F0F0;
    TLayerSurface ours(w, h, background);
    TLiteralSurface literal(w, h, background);
    std::vector<TLayerId> ids;
    const auto colour = [&]() -> uint32_t {
        switch (rng.bounded(5)) {
        case 0:
            return 0;
        case 1:
            return 0xCC000000;
        case 2:
            return 0xFF000000 | rng.bounded(0x1000000u);
        default:
            return rng.bounded(2) ? PlotMath::NormalColour : PlotMath::HighlightColour;
        }
    };
    const auto coord = [&](int size) { return rng.bounded(-8, size + 8); };
    for (int step = 0; step < 1500; ++step) {
        const TLayerId layer = ids.empty() || rng.bounded(12) == 0
                                   ? 1000 // names no layer
                                   : ids[static_cast<size_t>(rng.bounded(int(ids.size())))];
        const int op = rng.bounded(100);
        const auto both = [&](auto&& f) {
            f(static_cast<TPixelSurface&>(ours));
            f(static_cast<TPixelSurface&>(literal));
        };
        if (op < 6 || ids.empty()) {
            const TLayerRole role = rng.bounded(4) == 0 ? TLayerRole::Cursor : TLayerRole::Steady;
            const TLayerId a = ours.CreateLayer(role);
            QCOMPARE(literal.CreateLayer(role), a);
            ids.push_back(a);
        } else if (op < 10) {
            both([&](TPixelSurface& s) { s.FreeLayer(layer); });
        } else if (op < 18) {
            both([&](TPixelSurface& s) { s.BringToFront(layer); });
        } else if (op < 24) {
            const uint32_t c = rng.bounded(3) ? 0u : colour();
            both([&](TPixelSurface& s) { s.Clear(layer, c); });
        } else if (op < 50) {
            // A trace in one go, now and then reaching past an edge.
            std::vector<QPoint> points(static_cast<size_t>(rng.bounded(1, 14)));
            for (QPoint& p : points)
                p = rng.bounded(6) ? QPoint(rng.bounded(w), rng.bounded(h))
                                   : QPoint(coord(w), coord(h));
            const uint32_t c = rng.bounded(6) ? PlotMath::HighlightColour : colour();
            both([&](TPixelSurface& s) { s.Polyline(layer, points, c); });
        } else if (op < 60) {
            // Traces: lines with both ends inside, as the plot draws them.
            const int x1 = rng.bounded(w), y1 = rng.bounded(h), x2 = rng.bounded(w),
                      y2 = rng.bounded(h);
            const uint32_t c = rng.bounded(8) ? PlotMath::NormalColour : colour();
            both([&](TPixelSurface& s) { s.Line(layer, x1, y1, x2, y2, c); });
        } else if (op < 72) {
            const int x1 = coord(w), y1 = coord(h), x2 = coord(w), y2 = coord(h);
            const uint32_t c = colour();
            both([&](TPixelSurface& s) { s.FillRect(layer, x1, y1, x2, y2, c); });
        } else if (op < 84) {
            const int x1 = coord(w), y1 = coord(h), x2 = coord(w), y2 = coord(h);
            both([&](TPixelSurface& s) { s.DottedLine(layer, x1, y1, x2, y2); });
        } else if (op < 92) {
            const int x = coord(w), y = coord(h);
            const QString text = QString::number(rng.bounded(-20, 400));
            const uint32_t c = colour();
            const int points = rng.bounded(2) ? 1 : 10;
            both([&](TPixelSurface& s) { s.Text(layer, x, y, text, c, points); });
        } else {
            const QString diff = FirstDifference(ours.Composite(), literal.Composite());
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("step %1: ").arg(step) + diff));
        }
        QCOMPARE(ours.Stack(), literal.Stack());
    }
    const QString diff = FirstDifference(ours.Composite(), literal.Composite());
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

QTEST_MAIN(TstLayerSurface)
#include "tst_layer_surface.moc"
