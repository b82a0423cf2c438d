#include "LayerSurface.h"

#include "PlotMath.h"
#include "TextMask.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t MaxDamageRects = 64; // beyond that one full pass is cheaper
constexpr uint32_t Alpha(uint32_t c) {
    return c >> 24;
}
// The pixels between two corners, both included (QRect::normalized() would drop an
// edge of a rectangle given right to left).
QRect Span(int x1, int y1, int x2, int y2) {
    return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                 QPoint(std::max(x1, x2), std::max(y1, y2)));
}
} // namespace

TLayerSurface::TLayerSurface(int width, int height, uint32_t background)
    : TPixelSurface(width, height, background), Shown(width, height, QImage::Format_ARGB32) {}

TLayerSurface::TLayer* TLayerSurface::Find(TLayerId layer) {
    const auto it = Layers.find(layer);
    return it == Layers.end() ? nullptr : it->second.get();
}

TLayerId TLayerSurface::CreateLayer(TLayerRole role) {
    auto layer = std::make_unique<TLayer>();
    layer->Id = NewLayerId();
    layer->Role = role;
    if (role == TLayerRole::Cursor) {
        // Redrawn on every move: keep its bitmap rather than allocate it each time.
        layer->Dense = true;
        layer->Pixels.assign(static_cast<size_t>(Width()) * static_cast<size_t>(Height()), 0);
    }
    Order.push_back(layer.get());
    const TLayerId id = layer->Id;
    Layers.emplace(id, std::move(layer));
    Restack();
    return id;
}

void TLayerSurface::FreeLayer(TLayerId layer) {
    const TLayer* found = Find(layer);
    if (!found)
        return;
    Order.erase(Order.begin() + static_cast<std::ptrdiff_t>(found->Position));
    Layers.erase(layer);
    Restack();
}

void TLayerSurface::BringToFront(TLayerId layer) {
    TLayer* found = Find(layer);
    if (!found || found->Position + 1 == Order.size())
        return;
    Order.erase(Order.begin() + static_cast<std::ptrdiff_t>(found->Position));
    Order.push_back(found);
    Restack();
}

void TLayerSurface::SendToBack(TLayerId layer) {
    TLayer* found = Find(layer);
    if (!found || found->Position == 0)
        return;
    Order.erase(Order.begin() + static_cast<std::ptrdiff_t>(found->Position));
    Order.insert(Order.begin(), found);
    Restack();
}

std::vector<TLayerId> TLayerSurface::Stack() const {
    std::vector<TLayerId> ids;
    ids.reserve(Order.size());
    for (const TLayer* layer : Order)
        ids.push_back(layer->Id);
    return ids;
}

void TLayerSurface::Restack() {
    PrefixEnd = Order.size();
    for (size_t i = 0; i < Order.size(); ++i) {
        Order[i]->Position = i;
        if (Order[i]->Role == TLayerRole::Cursor && PrefixEnd == Order.size())
            PrefixEnd = i;
    }
    if (PrefixValid) {
        const bool same = PrefixIds.size() == PrefixEnd &&
                          std::equal(PrefixIds.begin(), PrefixIds.end(), Order.begin(),
                                     [](TLayerId id, const TLayer* l) { return id == l->Id; });
        PrefixValid = same;
    }
    ShownAllDirty = true;
    Changed(Bounds());
}

void TLayerSurface::Touched(const TLayer& layer, const QRect& rect) {
    if (rect.isEmpty())
        return;
    if (layer.Position < PrefixEnd) {
        PrefixValid = false;
    } else if (Damage.size() < MaxDamageRects) {
        Damage.push_back(rect);
    } else {
        ShownAllDirty = true;
    }
    Changed(rect);
}

void TLayerSurface::Densify(TLayer& layer) {
    if (layer.Dense)
        return;
    layer.Pixels.assign(static_cast<size_t>(Width()) * static_cast<size_t>(Height()), 0);
    for (const TRun& run : layer.Runs)
        for (int i = 0; i < run.Length; ++i) {
            const size_t x = run.X + (run.Vertical ? 0u : static_cast<size_t>(i));
            const size_t y = run.Y + (run.Vertical ? static_cast<size_t>(i) : 0u);
            layer.Pixels[y * static_cast<size_t>(Width()) + x] = layer.Palette[run.Colour];
        }
    std::vector<TRun>().swap(layer.Runs);
    std::vector<uint32_t>().swap(layer.Palette);
    layer.Dense = true;
}

int TLayerSurface::PaletteIndex(TLayer& layer, uint32_t colour) {
    const auto found = std::find(layer.Palette.begin(), layer.Palette.end(), colour);
    if (found != layer.Palette.end())
        return static_cast<int>(found - layer.Palette.begin());
    if (layer.Palette.size() > 0xFF)
        return -1; // more colours than a run can name
    layer.Palette.push_back(colour);
    return static_cast<int>(layer.Palette.size()) - 1;
}

// Grows the run by the pixel when it continues it along its row or column, as a
// line's pixels mostly do (rows of a flat stretch, columns of a steep one).
bool TLayerSurface::Extend(TRun& run, int x, int y) {
    if (run.Length == 0xFFFF)
        return false;
    const bool single = run.Length == 1;
    if ((run.Vertical || single) && run.X == x && (run.Y + run.Length == y || y + 1 == run.Y)) {
        run.Vertical = 1;
        run.Y = static_cast<uint16_t>(std::min<int>(run.Y, y));
        ++run.Length;
        return true;
    }
    if ((!run.Vertical || single) && run.Y == y && (run.X + run.Length == x || x + 1 == run.X)) {
        run.Vertical = 0;
        run.X = static_cast<uint16_t>(std::min<int>(run.X, x));
        ++run.Length;
        return true;
    }
    return false;
}

// A pixel inside the layer in an opaque palette colour.
void TLayerSurface::AddPixel(TLayer& layer, int x, int y, int colourIndex) {
    if (!layer.Runs.empty() && layer.Runs.back().Colour == colourIndex &&
        Extend(layer.Runs.back(), x, y))
        return;
    layer.Runs.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(y), 1,
                          static_cast<uint8_t>(colourIndex), 0});
}

// One pixel of a drawing operation: set, or blended by the colour's alpha.
void TLayerSurface::Put(TLayer& layer, int x, int y, uint32_t colour, bool blend) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return;
    if (blend && Alpha(colour) == 0)
        return;
    if (!layer.Dense) {
        const int index = Alpha(colour) == 255 ? PaletteIndex(layer, colour) : -1;
        if (index >= 0) {
            AddPixel(layer, x, y, index);
            return;
        }
        Densify(layer);
    }
    uint32_t& pixel =
        layer
            .Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width()) + static_cast<size_t>(x)];
    pixel = blend ? PlotMath::BlendPixel(colour, pixel) : colour;
}

// Gathers a trace's pixels into runs, keeping the growing one out of the vector.
struct TLayerSurface::TRunBuilder {
    TRunBuilder(std::vector<TRun>& runs, int colour) : Runs(runs), Colour(colour) {}
    void Add(int x, int y) {
        if (Open && Extend(Current, x, y))
            return;
        Flush();
        Current = {static_cast<uint16_t>(x), static_cast<uint16_t>(y), 1,
                   static_cast<uint8_t>(Colour), 0};
        Open = true;
    }
    void Flush() {
        if (Open)
            Runs.push_back(Current);
        Open = false;
    }
    std::vector<TRun>& Runs;
    int Colour;
    TRun Current{};
    bool Open = false;
};

void TLayerSurface::Polyline(TLayerId id, std::span<const QPoint> points, uint32_t colour) {
    TLayer* layer = Find(id);
    if (!layer || points.empty())
        return;
    const int index = !layer->Dense && Alpha(colour) == 255 ? PaletteIndex(*layer, colour) : -1;
    int left = points[0].x(), right = left, top = points[0].y(), bottom = top;
    TRunBuilder runs(layer->Runs, index);
    int lastX = points[0].x() - 1;
    int lastY = points[0].y();
    for (size_t i = 0; i + 1 < points.size() || i == 0; ++i) {
        const QPoint a = points[i];
        const QPoint b = points.size() > 1 ? points[i + 1] : a;
        left = std::min(left, b.x());
        right = std::max(right, b.x());
        top = std::min(top, b.y());
        bottom = std::max(bottom, b.y());
        if (index >= 0) {
            PlotMath::ForEachLinePixel(a.x(), a.y(), b.x(), b.y(), [&](int x, int y) {
                if (x == lastX && y == lastY)
                    return; // a segment starts where the one before it ended
                lastX = x;
                lastY = y;
                if (x >= 0 && y >= 0 && x < Width() && y < Height())
                    runs.Add(x, y);
            });
        } else {
            PlotMath::ForEachLinePixel(a.x(), a.y(), b.x(), b.y(),
                                       [&](int x, int y) { Put(*layer, x, y, colour, false); });
        }
    }
    runs.Flush();
    const QRect rect = Span(left, top, right, bottom) & Bounds();
    layer->Ink |= rect;
    Touched(*layer, rect);
}

void TLayerSurface::Clear(TLayerId id, uint32_t colour) {
    TLayer* layer = Find(id);
    if (!layer)
        return;
    const QRect old = layer->Ink;
    layer->Runs.clear(); // keeps its capacity: a cleared trace layer is redrawn next
    layer->Palette.clear();
    if (colour == 0) {
        if (layer->Dense && layer->Role == TLayerRole::Cursor) {
            for (int y = old.top(); y <= old.bottom(); ++y)
                std::fill_n(layer->Pixels.begin() + static_cast<std::ptrdiff_t>(y) * Width() +
                                old.left(),
                            old.width(), 0u);
        } else if (layer->Dense) {
            std::vector<uint32_t>().swap(layer->Pixels);
            layer->Dense = false;
        }
        layer->Ink = QRect();
        Touched(*layer, old);
        return;
    }
    layer->Dense = true;
    layer->Pixels.assign(static_cast<size_t>(Width()) * static_cast<size_t>(Height()), colour);
    layer->Ink = Bounds();
    Touched(*layer, Bounds());
}

void TLayerSurface::Line(TLayerId id, int x1, int y1, int x2, int y2, uint32_t colour) {
    TLayer* layer = Find(id);
    if (!layer)
        return;
    PlotMath::ForEachLinePixel(x1, y1, x2, y2,
                               [&](int x, int y) { Put(*layer, x, y, colour, false); });
    const QRect rect = Span(x1, y1, x2, y2) & Bounds();
    layer->Ink |= rect;
    Touched(*layer, rect);
}

void TLayerSurface::FillRect(TLayerId id, int x1, int y1, int x2, int y2, uint32_t colour) {
    TLayer* layer = Find(id);
    if (!layer || x2 <= x1 || y2 <= y1) // QRect would turn a reversed one round
        return;
    const QRect rect = QRect(x1, y1, x2 - x1, y2 - y1) & Bounds();
    if (rect.isEmpty())
        return;
    const int index = !layer->Dense && Alpha(colour) == 255 ? PaletteIndex(*layer, colour) : -1;
    if (index >= 0) {
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            layer->Runs.push_back({static_cast<uint16_t>(rect.left()), static_cast<uint16_t>(y),
                                   static_cast<uint16_t>(rect.width()), static_cast<uint8_t>(index),
                                   0});
    } else {
        Densify(*layer);
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            std::fill_n(layer->Pixels.begin() + static_cast<std::ptrdiff_t>(y) * Width() +
                            rect.left(),
                        rect.width(), colour);
    }
    layer->Ink |= rect;
    Touched(*layer, rect);
}

void TLayerSurface::DottedLine(TLayerId id, int x1, int y1, int x2, int y2) {
    TLayer* layer = Find(id);
    if (!layer)
        return;
    int n = 0;
    PlotMath::ForEachLinePixel(x1, y1, x2, y2, [&](int x, int y) {
        if (x != x2 || y != y2)
            Put(*layer, x, y, PlotMath::StippleColour(n), true);
        ++n;
    });
    const QRect rect = Span(x1, y1, x2, y2) & Bounds();
    layer->Ink |= rect;
    Touched(*layer, rect);
}

void TLayerSurface::Text(TLayerId id, int x, int y, const QString& text, uint32_t colour,
                         int points) {
    TLayer* layer = Find(id);
    if (!layer)
        return;
    const TTextMask mask = TextMask(text, points);
    for (const QPoint& p : mask.Pixels)
        Put(*layer, x + p.x(), y + p.y(), colour, true);
    const QRect rect = QRect(x, y, mask.Width, mask.Height) & Bounds();
    layer->Ink |= rect;
    Touched(*layer, rect);
}

void TLayerSurface::ComposeLayer(uint32_t* target, const TLayer& layer, const QRect& clip) const {
    const size_t width = static_cast<size_t>(Width());
    if (!layer.Dense) {
        const QRect area = clip & Bounds();
        if (area.isEmpty())
            return;
        for (const TRun& run : layer.Runs) {
            const uint32_t colour = layer.Palette[run.Colour];
            if (run.Vertical) {
                if (run.X < area.left() || run.X > area.right())
                    continue;
                const int from = std::max<int>(run.Y, area.top());
                const int to = std::min<int>(run.Y + run.Length - 1, area.bottom());
                for (int y = from; y <= to; ++y)
                    target[static_cast<size_t>(y) * width + run.X] = colour;
            } else {
                if (run.Y < area.top() || run.Y > area.bottom())
                    continue;
                const int from = std::max<int>(run.X, area.left());
                const int to = std::min<int>(run.X + run.Length - 1, area.right());
                if (from <= to)
                    std::fill_n(target + static_cast<size_t>(run.Y) * width + from, to - from + 1,
                                colour);
            }
        }
        return;
    }
    const QRect area = clip & layer.Ink & Bounds();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uint32_t* src = layer.Pixels.data() + static_cast<size_t>(y) * width;
        uint32_t* dst = target + static_cast<size_t>(y) * width;
        for (int x = area.left(); x <= area.right(); ++x)
            if (Alpha(src[x]) != 0)
                dst[x] = PlotMath::BlendPixel(src[x], dst[x]);
    }
}

const QImage& TLayerSurface::Composite() {
    const size_t width = static_cast<size_t>(Width());
    if (!PrefixValid) {
        Prefix.assign(width * static_cast<size_t>(Height()), Background());
        PrefixIds.clear();
        for (size_t i = 0; i < PrefixEnd; ++i) {
            ComposeLayer(Prefix.data(), *Order[i], Bounds());
            PrefixIds.push_back(Order[i]->Id);
        }
        PrefixValid = true;
        ShownAllDirty = true;
    }
    auto* shown = reinterpret_cast<uint32_t*>(Shown.bits());
    const auto recompose = [&](const QRect& rect) {
        const QRect area = rect & Bounds();
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memcpy(shown + static_cast<size_t>(y) * width + area.left(),
                        Prefix.data() + static_cast<size_t>(y) * width + area.left(),
                        static_cast<size_t>(area.width()) * sizeof(uint32_t));
        for (size_t i = PrefixEnd; i < Order.size(); ++i)
            ComposeLayer(shown, *Order[i], area);
    };
    if (ShownAllDirty) {
        recompose(Bounds());
    } else {
        for (const QRect& rect : Damage)
            recompose(rect);
    }
    Damage.clear();
    ShownAllDirty = false;
    return Shown;
}

size_t TLayerSurface::MemoryBytes() const {
    size_t bytes = Prefix.capacity() * sizeof(uint32_t) + static_cast<size_t>(Shown.sizeInBytes()) +
                   // The stack order holds pointers: their size is what it costs.
                   Order.capacity() * sizeof(TLayer*) + // NOLINT(bugprone-sizeof-expression)
                   PrefixIds.capacity() * sizeof(TLayerId);
    for (const auto& [id, layer] : Layers)
        bytes += sizeof(TLayer) + layer->Runs.capacity() * sizeof(TRun) +
                 layer->Palette.capacity() * sizeof(uint32_t) +
                 layer->Pixels.capacity() * sizeof(uint32_t);
    return bytes;
}

bool TLayerSurface::IsDense(TLayerId id) const {
    const auto it = Layers.find(id);
    return it != Layers.end() && it->second->Dense;
}

uint32_t TLayerSurface::LayerPixel(TLayerId id, int x, int y) const {
    const auto it = Layers.find(id);
    if (it == Layers.end() || !Bounds().contains(x, y))
        return 0;
    const TLayer& layer = *it->second;
    if (layer.Dense)
        return layer
            .Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width()) + static_cast<size_t>(x)];
    for (auto run = layer.Runs.rbegin(); run != layer.Runs.rend(); ++run)
        if (run->Vertical ? run->X == x && y >= run->Y && y < run->Y + run->Length
                          : run->Y == y && x >= run->X && x < run->X + run->Length)
            return layer.Palette[run->Colour];
    return 0;
}
