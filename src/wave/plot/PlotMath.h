// The wave plot's arithmetic as pure functions: sample columns and trace rows, the
// cursor's sample and level, the stipple of dotted lines, line pixels and the blend
// of one 0xAARRGGBB pixel over another. Tests call them without any surface.
#pragma once

#include <QPoint>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace PlotMath {

constexpr int SampleCount = 300;
constexpr int PlotWidth = 900; // strips and large plot
constexpr int StripHeight = 70;
constexpr int LargeHeight = 231;
constexpr int ScaleWidth = 920;
constexpr int ScaleHeight = 25;

constexpr uint32_t NormalColour = 0xFFFFFFFF;
constexpr uint32_t HighlightColour = 0xFFFF00EE;
constexpr uint32_t CursorDotColour = 0xFF00FCFF;
constexpr uint32_t ReadoutBoxColour = 0xCC000000;
constexpr uint32_t ReadoutTextColour = 0xFF00FF18;
constexpr uint32_t LevelColour = 0xFFFF0000;
constexpr uint32_t ScaleColour = 0xFF000000;
constexpr uint32_t LevelBoxColour = 0xCCFFFFFF;
constexpr uint32_t PlotBackground = 0xFF000000;
// The analysis window's additions: records flagged as outliers in place of the normal
// colour, and the envelope band under every trace.
constexpr uint32_t OutlierColour = 0xFFFF9900;
constexpr uint32_t BandColour = 0xFF23395D;

// Rounds toward minus infinity, also for a pointer dragged left of a surface.
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// X(k): the column of sample k; 899 for the last one.
constexpr int SampleColumn(int k) {
    return static_cast<int>(FloorDiv(int64_t{k} * 899, 299));
}

enum class TTraceKind { Strip, Large };

// H(v): how many rows above the bottom row a sample lies (truncated toward zero).
// Loaded files may hold any 32-bit value, hence the wide product.
constexpr int64_t TraceHeight(TTraceKind kind, int32_t v) {
    return kind == TTraceKind::Strip ? int64_t{v} * 69 / 255 : int64_t{v} * 229 / 255;
}

// The bottom row: 69 on a strip, 229 on the large plot.
constexpr int BottomRow(TTraceKind kind) {
    return kind == TTraceKind::Strip ? 69 : 229;
}

// Calls segment(from, to) for each line of one record's trace, in order, and stops at
// the first segment that would leave the surface: a sample too high, one below the
// bottom, or (large plot only) the last column, so the large trace ends at sample 298.
template <class F>
void ForEachTraceSegment(TTraceKind kind, std::span<const int32_t> s, F&& segment) {
    const int bottom = BottomRow(kind);
    const int64_t tooHigh = kind == TTraceKind::Strip ? 70 : 230;
    const int count = static_cast<int>(s.size());
    for (int k = 0; k + 1 < count; ++k) {
        const int64_t h0 = TraceHeight(kind, s[static_cast<size_t>(k)]);
        const int64_t h1 = TraceHeight(kind, s[static_cast<size_t>(k) + 1]);
        if (h0 >= tooHigh || h1 >= tooHigh || h0 < 0 || h1 < 0)
            return;
        if (kind == TTraceKind::Large && SampleColumn(k + 1) > 898)
            return;
        segment(QPoint(SampleColumn(k), bottom - static_cast<int>(h0)),
                QPoint(SampleColumn(k + 1), bottom - static_cast<int>(h1)));
    }
}

// The row of value v on the band, clamped to the surface: a band is background and
// shows its whole width even where a trace of the same value would stop.
constexpr int BandRow(TTraceKind kind, int32_t v) {
    const int bottom = BottomRow(kind);
    const int64_t h = TraceHeight(kind, v);
    return bottom - static_cast<int>(h < 0 ? 0 : h > bottom ? bottom : h);
}

// Calls run(column, top, bottom) once per column the band between lower[k] and upper[k]
// covers (rows top..bottom, both included), left to right. Between two samples the
// edges go straight from one sample's column to the next, as the traces do. A sample
// that is not `present` leaves a gap: the band covers a column only where both samples
// around it are present, or at the column of a present sample itself.
template <class F>
void ForEachBandColumn(TTraceKind kind, std::span<const int32_t> lower,
                       std::span<const int32_t> upper, std::span<const bool> present, F&& run) {
    const int count = static_cast<int>(std::min({lower.size(), upper.size(), present.size()}));
    const auto at = [](std::span<const int32_t> v, int k) { return v[static_cast<size_t>(k)]; };
    const auto has = [&](int k) { return present[static_cast<size_t>(k)]; };
    const auto emit = [&](int x, int a, int b) { run(x, a < b ? a : b, a < b ? b : a); };
    // Rounded to the nearest row, halves away from the first sample's row.
    const auto between = [](int r0, int r1, int dx, int width) {
        const int64_t d = int64_t{r1 - r0} * dx * 2;
        return r0 +
               static_cast<int>(d >= 0 ? (d + width) / (2 * width) : -((-d + width) / (2 * width)));
    };
    for (int k = 0; k + 1 < count; ++k) {
        const int x0 = SampleColumn(k);
        const int x1 = SampleColumn(k + 1);
        if (!has(k))
            continue;
        const int top0 = BandRow(kind, at(upper, k));
        const int bottom0 = BandRow(kind, at(lower, k));
        if (!has(k + 1)) {
            emit(x0, top0, bottom0);
            continue;
        }
        const int top1 = BandRow(kind, at(upper, k + 1));
        const int bottom1 = BandRow(kind, at(lower, k + 1));
        for (int x = x0; x < x1; ++x)
            emit(x, between(top0, top1, x - x0, x1 - x0),
                 between(bottom0, bottom1, x - x0, x1 - x0));
    }
    if (count > 0 && has(count - 1))
        emit(SampleColumn(count - 1), BandRow(kind, at(upper, count - 1)),
             BandRow(kind, at(lower, count - 1)));
}

// CursorSample for a pointer column: floor(X*300/900).
constexpr int CursorSampleAt(int pointerX) {
    return static_cast<int>(FloorDiv(int64_t{pointerX} * 300, 900));
}
// The sample's column on the scale strip: floor(s*900/300).
constexpr int CursorColumn(int sample) {
    return static_cast<int>(FloorDiv(int64_t{sample} * 900, 300));
}

// Top row of the large plot's value readout for sample value v, kept clear of the
// bottom edge.
constexpr int LargeReadoutRow(int32_t v) {
    int h = static_cast<int>((int64_t{229} * 256 - int64_t{v} * 230) / 256);
    if (h > 215)
        h -= 14;
    return h;
}

// The level line for pointer row y: level A, line row B, and the top row T of its box.
struct TLevel {
    int A = 0;
    int B = 0;
    int T = 0;
};
constexpr TLevel LevelAt(int y) {
    TLevel l;
    l.A = y == 0 ? 0 : static_cast<int>(-FloorDiv(-int64_t{y} * 256, 230)) - 1; // ceil - 1
    l.B = static_cast<int>(FloorDiv(int64_t{l.A} * 230, 256));
    l.T = l.B + 1;
    if (l.T > 214)
        l.T = l.B - 14;
    return l;
}

// Colour of pixel n (from 0) of a dotted line: the eight-entry pattern, four cursor
// dots then four transparent, stepped ten entries per pixel: two on, two off.
constexpr uint32_t StippleColour(int n) {
    const int64_t entry = (int64_t{n} * 10) % 8;
    return (entry >= 0 && entry < 4) ? CursorDotColour : 0x00000000;
}

// The pixels of the straight line from (x1, y1) to (x2, y2), both ends included,
// in order from the first end.
template <class F> void ForEachLinePixel(int x1, int y1, int x2, int y2, F&& pixel) {
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        pixel(x1, y1);
        if (x1 == x2 && y1 == y2)
            return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

// fg composed over bg by fg's alpha: bg where fg is transparent, fg where it is opaque.
constexpr uint32_t BlendPixel(uint32_t fg, uint32_t bg) {
    const uint32_t a = fg >> 24;
    if (a == 0)
        return bg;
    if (a == 255)
        return fg;
    const auto mix = [a](uint32_t f, uint32_t b) { return (f * a + b * (255 - a) + 127) / 255; };
    const uint32_t outA = a + ((bg >> 24) * (255 - a) + 127) / 255;
    return (outA << 24) | (mix((fg >> 16) & 0xFF, (bg >> 16) & 0xFF) << 16) |
           (mix((fg >> 8) & 0xFF, (bg >> 8) & 0xFF) << 8) | mix(fg & 0xFF, bg & 0xFF);
}

// Pixel height of the plot's font at a size in points (96 dots per inch, whatever the
// screen). The readouts ask for 1 point: they get the smallest legible size, 10 pixels,
// which fits their 20 x 14 boxes.
constexpr int TextPixelSize(int points) {
    const int pixels = (points * 96 + 36) / 72;
    return pixels < 10 ? 10 : pixels;
}

} // namespace PlotMath
