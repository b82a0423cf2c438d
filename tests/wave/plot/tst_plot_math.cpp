#include "PlotMath.h"
#include "TextMask.h"

#include <QTest>

#include <array>
#include <map>

using namespace PlotMath;

class TstPlotMath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sampleColumns_data();
    void sampleColumns();
    void traceHeights_data();
    void traceHeights();
    void traceEnds_data();
    void traceEnds();
    void cursorSample_data();
    void cursorSample();
    void levelLine_data();
    void levelLine();
    void largeReadoutRow_data();
    void largeReadoutRow();
    void stipplePattern();
    void linePixels_data();
    void linePixels();
    void blend_data();
    void blend();
    void textHasNoGreyPixels();
    void bandColumns_data();
    void bandColumns();
};

void TstPlotMath::sampleColumns_data() {
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("column");
    for (const auto& [k, x] : std::array<std::pair<int, int>, 8>{
             {{0, 0}, {1, 3}, {2, 6}, {3, 9}, {100, 300}, {297, 892}, {298, 895}, {299, 899}}})
        QTest::addRow("X(%d)", k) << k << x;
}

void TstPlotMath::sampleColumns() {
    QFETCH(int, k);
    QFETCH(int, column);
    QCOMPARE(SampleColumn(k), column);
}

void TstPlotMath::traceHeights_data() {
    QTest::addColumn<bool>("large");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("height");
    QTest::newRow("strip 0") << false << 0 << 0;
    QTest::newRow("strip 255 on row 0") << false << 255 << 69;
    QTest::newRow("strip 258 still inside") << false << 258 << 69;
    QTest::newRow("strip 259 too high") << false << 259 << 70;
    QTest::newRow("strip -3 truncates to 0") << false << -3 << 0;
    QTest::newRow("strip -4 below") << false << -4 << -1;
    QTest::newRow("large 255") << true << 255 << 229;
    QTest::newRow("large 256 still inside") << true << 256 << 229;
    QTest::newRow("large 257 too high") << true << 257 << 230;
    QTest::newRow("large -1") << true << -1 << 0;
    QTest::newRow("large -2 below") << true << -2 << -1;
    QTest::newRow("loaded huge value") << true << 2147483647 << 1928524530;
}

void TstPlotMath::traceHeights() {
    QFETCH(bool, large);
    QFETCH(int, v);
    QFETCH(int, height);
    QCOMPARE(TraceHeight(large ? TTraceKind::Large : TTraceKind::Strip, v), int64_t{height});
}

void TstPlotMath::traceEnds_data() {
    QTest::addColumn<bool>("large");
    QTest::addColumn<int>("fill");
    QTest::addColumn<int>("index"); // one sample set apart
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("segments");
    QTest::addColumn<QPoint>("lastEnd");
    QTest::newRow("strip all 255 on row 0") << false << 255 << 0 << 255 << 299 << QPoint(899, 0);
    QTest::newRow("strip all 0 on row 69") << false << 0 << 0 << 0 << 299 << QPoint(899, 69);
    QTest::newRow("large all 255 on row 0") << true << 255 << 0 << 255 << 298 << QPoint(895, 0);
    QTest::newRow("large all 0 on row 229") << true << 0 << 0 << 0 << 298 << QPoint(895, 229);
    QTest::newRow("strip captured: drop to row 69")
        << false << 100 << 299 << 0 << 299 << QPoint(899, 69);
    QTest::newRow("large captured: ends at 298")
        << true << 100 << 299 << 0 << 298 << QPoint(895, 140);
    QTest::newRow("strip 259 ends the trace") << false << 100 << 10 << 259 << 9 << QPoint(27, 42);
    QTest::newRow("strip -4 ends the trace") << false << 100 << 10 << -4 << 9 << QPoint(27, 42);
    QTest::newRow("strip first sample too high") << false << 100 << 0 << 300 << 0 << QPoint();
    QTest::newRow("large 257 ends the trace") << true << 100 << 10 << 257 << 9 << QPoint(27, 140);
    QTest::newRow("large 256 stays") << true << 100 << 10 << 256 << 298 << QPoint(895, 140);
}

void TstPlotMath::traceEnds() {
    QFETCH(bool, large);
    QFETCH(int, fill);
    QFETCH(int, index);
    QFETCH(int, value);
    QFETCH(int, segments);
    QFETCH(QPoint, lastEnd);
    std::array<int32_t, SampleCount> samples{};
    samples.fill(fill);
    samples[static_cast<size_t>(index)] = value;
    int count = 0;
    QPoint end;
    QPoint expectedStart(0, large ? 229 - static_cast<int>(TraceHeight(TTraceKind::Large, fill))
                                  : 69 - static_cast<int>(TraceHeight(TTraceKind::Strip, fill)));
    if (index == 0)
        expectedStart.setY(large ? 229 : 69); // only checked when the trace starts there
    ForEachTraceSegment(large ? TTraceKind::Large : TTraceKind::Strip, samples,
                        [&](QPoint from, QPoint to) {
                            QCOMPARE(from.x(), SampleColumn(count));
                            QCOMPARE(to.x(), SampleColumn(count + 1));
                            if (count > 0)
                                QCOMPARE(from, end); // a chain without gaps
                            end = to;
                            ++count;
                        });
    QCOMPARE(count, segments);
    QCOMPARE(end, lastEnd);
}

void TstPlotMath::cursorSample_data() {
    QTest::addColumn<int>("pointerX");
    QTest::addColumn<int>("sample");
    QTest::addColumn<int>("column");
    QTest::newRow("X 0") << 0 << 0 << 0;
    QTest::newRow("X 1") << 1 << 0 << 0;
    QTest::newRow("X 2") << 2 << 0 << 0;
    QTest::newRow("X 3") << 3 << 1 << 3;
    QTest::newRow("X 899") << 899 << 299 << 897;
    QTest::newRow("scale X 919") << 919 << 306 << 918;
    QTest::newRow("dragged left") << -1 << -1 << -3;
}

void TstPlotMath::cursorSample() {
    QFETCH(int, pointerX);
    QFETCH(int, sample);
    QFETCH(int, column);
    QCOMPARE(CursorSampleAt(pointerX), sample);
    QCOMPARE(CursorColumn(sample), column);
}

void TstPlotMath::levelLine_data() {
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("boxTop");
    QTest::addColumn<int>("shown"); // 255 - A
    QTest::newRow("y 0") << 0 << 0 << 1 << 255;
    QTest::newRow("y 1") << 1 << 0 << 1 << 254;
    QTest::newRow("y 114") << 114 << 113 << 114 << 129;
    QTest::newRow("y 115, one less than floor") << 115 << 114 << 115 << 128;
    QTest::newRow("y 213, last box below") << 213 << 212 << 213 << 18;
    QTest::newRow("y 229, box moved up") << 229 << 228 << 214 << 1;
    QTest::newRow("y 230") << 230 << 229 << 215 << 0;
}

void TstPlotMath::levelLine() {
    QFETCH(int, y);
    QFETCH(int, row);
    QFETCH(int, boxTop);
    QFETCH(int, shown);
    const TLevel level = LevelAt(y);
    QCOMPARE(level.B, row);
    QCOMPARE(level.T, boxTop);
    QCOMPARE(255 - level.A, shown);
}

void TstPlotMath::largeReadoutRow_data() {
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("row");
    QTest::newRow("0 moved up") << 0 << 215;
    QTest::newRow("14 moved up") << 14 << 202;
    QTest::newRow("15 stays") << 15 << 215;
    QTest::newRow("128") << 128 << 114;
    QTest::newRow("255 at the top") << 255 << 0;
}

void TstPlotMath::largeReadoutRow() {
    QFETCH(int, v);
    QFETCH(int, row);
    QCOMPARE(LargeReadoutRow(v), row);
}

void TstPlotMath::stipplePattern() {
    // Two dots, two gaps, from the first pixel on.
    for (int n = 0; n < 16; ++n)
        QCOMPARE(StippleColour(n), n % 4 < 2 ? 0xFF00FCFFu : 0x00000000u);
}

void TstPlotMath::linePixels_data() {
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::newRow("one pixel") << QPoint(5, 5) << QPoint(5, 5);
    QTest::newRow("horizontal") << QPoint(0, 10) << QPoint(900, 10);
    QTest::newRow("vertical up") << QPoint(3, 10) << QPoint(3, 0);
    QTest::newRow("steep") << QPoint(892, 0) << QPoint(895, 69);
    QTest::newRow("shallow back") << QPoint(899, 40) << QPoint(0, 35);
}

void TstPlotMath::linePixels() {
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    std::vector<QPoint> pixels;
    ForEachLinePixel(from.x(), from.y(), to.x(), to.y(),
                     [&](int x, int y) { pixels.emplace_back(x, y); });
    const int span = std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y()));
    QCOMPARE(int(pixels.size()), span + 1);
    QCOMPARE(pixels.front(), from);
    QCOMPARE(pixels.back(), to);
    for (size_t i = 1; i < pixels.size(); ++i) {
        const QPoint step = pixels[i] - pixels[i - 1];
        QVERIFY(std::abs(step.x()) <= 1 && std::abs(step.y()) <= 1);
    }
}

void TstPlotMath::blend_data() {
    QTest::addColumn<uint>("fg");
    QTest::addColumn<uint>("bg");
    QTest::addColumn<uint>("result");
    QTest::newRow("transparent keeps") << 0x00FF00EEu << 0xFF123456u << 0xFF123456u;
    QTest::newRow("opaque replaces") << 0xFFFF00EEu << 0xFF123456u << 0xFFFF00EEu;
    QTest::newRow("box over white") << 0xCC000000u << 0xFFFFFFFFu << 0xFF333333u;
    QTest::newRow("box over black") << 0xCC000000u << 0xFF000000u << 0xFF000000u;
    QTest::newRow("white box over black") << 0xCCFFFFFFu << 0xFF000000u << 0xFFCCCCCCu;
}

void TstPlotMath::blend() {
    QFETCH(uint, fg);
    QFETCH(uint, bg);
    QFETCH(uint, result);
    QCOMPARE(BlendPixel(fg, bg), result);
}

void TstPlotMath::textHasNoGreyPixels() {
    const TTextMask small = TextMask(QStringLiteral("255"), 1);
    const TTextMask level = TextMask(QStringLiteral("255"), 10);
    QVERIFY(!small.Pixels.empty());
    QVERIFY(level.Height > small.Height); // 10 points reads bigger than the readouts
    QVERIFY(small.Width <= 22);           // fits the readout box
    for (const QPoint& p : small.Pixels)
        QVERIFY(p.x() >= 0 && p.y() >= 0 && p.x() < small.Width && p.y() < small.Height);
    // Rendered again (from the cache) it is the same pixels.
    QCOMPARE(TextMask(QStringLiteral("255"), 1).Pixels, small.Pixels);
}

// A band over 300 samples: lower and upper values per sample, and the samples it covers.
struct TBandCase {
    std::array<int32_t, 300> Lower{};
    std::array<int32_t, 300> Upper{};
    std::array<bool, 300> Present{};
};
Q_DECLARE_METATYPE(TBandCase)

void TstPlotMath::bandColumns_data() {
    QTest::addColumn<bool>("large");
    QTest::addColumn<TBandCase>("band");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("top"); // -1: the column has no run
    QTest::addColumn<int>("bottom");
    const auto make = [](int lower, int upper) {
        TBandCase b;
        b.Lower.fill(lower);
        b.Upper.fill(upper);
        b.Present.fill(true);
        return b;
    };
    QTest::newRow("full strip") << false << make(0, 255) << 450 << 0 << 69;
    QTest::newRow("full large") << true << make(0, 255) << 450 << 0 << 229;
    // 128 lies on row 69 - trunc(128 * 69 / 255), where its trace runs.
    QTest::newRow("flat, one row") << false << make(128, 128) << 0 << 35 << 35;
    QTest::newRow("last column") << false << make(128, 128) << 899 << 35 << 35;
    QTest::newRow("values past the surface clamp") << false << make(-1000, 1000) << 300 << 0 << 69;
    QTest::newRow("lower above upper") << false << make(255, 0) << 300 << 0 << 69;

    // A step from 0 to 255 between samples 10 (column 30) and 11 (column 33): the edges
    // go straight across, rounded to the nearest row.
    TBandCase step = make(0, 0);
    for (size_t k = 11; k < 300; ++k)
        step.Lower[k] = step.Upper[k] = 255;
    QTest::newRow("step, sample 10's column") << false << step << 30 << 69 << 69;
    QTest::newRow("step, a third across") << false << step << 31 << 46 << 46;
    QTest::newRow("step, two thirds across") << false << step << 32 << 23 << 23;
    QTest::newRow("step, sample 11's column") << false << step << 33 << 0 << 0;

    // Channel 0's twenty values and sample 299 are no waveform.
    TBandCase gaps = make(0, 255);
    for (size_t k = 250; k < 270; ++k)
        gaps.Present[k] = false;
    gaps.Present[299] = false;
    QTest::newRow("gap, sample 249 alone") << false << gaps << 748 << 0 << 69;
    QTest::newRow("gap, past sample 249") << false << gaps << 749 << -1 << -1;
    QTest::newRow("gap, before sample 270") << false << gaps << 810 << -1 << -1;
    QTest::newRow("gap, sample 270") << false << gaps << 811 << 0 << 69;
    QTest::newRow("no sample 299, sample 298") << false << gaps << 895 << 0 << 69;
    QTest::newRow("no sample 299") << false << gaps << 899 << -1 << -1;
}

void TstPlotMath::bandColumns() {
    QFETCH(bool, large);
    QFETCH(TBandCase, band);
    QFETCH(int, column);
    QFETCH(int, top);
    QFETCH(int, bottom);
    std::map<int, std::pair<int, int>> runs;
    int last = -1;
    ForEachBandColumn(large ? TTraceKind::Large : TTraceKind::Strip,
                      std::span<const int32_t>(band.Lower), std::span<const int32_t>(band.Upper),
                      std::span<const bool>(band.Present), [&](int x, int t, int b) {
                          // One run per column, left to right, inside the surface.
                          QVERIFY(x > last && x < PlotWidth);
                          QVERIFY(t >= 0 && t <= b &&
                                  b <= BottomRow(large ? TTraceKind::Large : TTraceKind::Strip));
                          last = x;
                          runs[x] = {t, b};
                      });
    const auto it = runs.find(column);
    if (top < 0) {
        QVERIFY2(it == runs.end(), qPrintable(QString::number(column)));
        return;
    }
    QVERIFY(it != runs.end());
    QCOMPARE(it->second, std::make_pair(top, bottom));
}

QTEST_MAIN(TstPlotMath)
#include "tst_plot_math.moc"
