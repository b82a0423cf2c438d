#include "LiteralSurface.h"

#include "PlotMath.h"
#include "TextMask.h"

#include <algorithm>

TLiteralSurface::TLiteralSurface(int width, int height, uint32_t background,
                                 bool recomposeEachChange)
    : TPixelSurface(width, height, background), RecomposeEachChange(recomposeEachChange),
      Image(width, height, QImage::Format_ARGB32) {}

std::vector<TLiteralSurface::TLayer>::iterator TLiteralSurface::Find(TLayerId layer) {
    return std::find_if(Layers.begin(), Layers.end(),
                        [layer](const TLayer& l) { return l.Id == layer; });
}

void TLiteralSurface::Shown() {
    if (RecomposeEachChange)
        Composite();
}

TLayerId TLiteralSurface::CreateLayer(TLayerRole) {
    Layers.push_back(
        {NewLayerId(), std::vector<uint32_t>(static_cast<size_t>(Width() * Height()), 0)});
    Shown();
    return Layers.back().Id;
}

void TLiteralSurface::FreeLayer(TLayerId layer) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    Layers.erase(it);
    Shown();
}

void TLiteralSurface::BringToFront(TLayerId layer) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    std::rotate(it, it + 1, Layers.end());
    Shown();
}

void TLiteralSurface::SendToBack(TLayerId layer) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    std::rotate(Layers.begin(), it, it + 1);
    Shown();
}

void TLiteralSurface::Set(TLayer& layer, int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < Width() && y < Height())
        layer.Pixels[static_cast<size_t>(y * Width() + x)] = colour;
}

void TLiteralSurface::Blend(TLayer& layer, int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < Width() && y < Height()) {
        uint32_t& p = layer.Pixels[static_cast<size_t>(y * Width() + x)];
        p = PlotMath::BlendPixel(colour, p);
    }
}

void TLiteralSurface::Clear(TLayerId layer, uint32_t colour) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    std::fill(it->Pixels.begin(), it->Pixels.end(), colour);
    Shown();
}

void TLiteralSurface::Line(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    PlotMath::ForEachLinePixel(x1, y1, x2, y2, [&](int x, int y) { Set(*it, x, y, colour); });
    Shown();
}

void TLiteralSurface::FillRect(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x)
            Set(*it, x, y, colour);
    Shown();
}

void TLiteralSurface::DottedLine(TLayerId layer, int x1, int y1, int x2, int y2) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    int n = 0;
    PlotMath::ForEachLinePixel(x1, y1, x2, y2, [&](int x, int y) {
        if (x != x2 || y != y2)
            Blend(*it, x, y, PlotMath::StippleColour(n));
        ++n;
    });
    Shown();
}

void TLiteralSurface::Text(TLayerId layer, int x, int y, const QString& text, uint32_t colour,
                           int points) {
    const auto it = Find(layer);
    if (it == Layers.end())
        return;
    for (const QPoint& p : TextMask(text, points).Pixels)
        Blend(*it, x + p.x(), y + p.y(), colour);
    Shown();
}

bool TLiteralSurface::HasLayer(TLayerId layer) const {
    return std::any_of(Layers.begin(), Layers.end(),
                       [layer](const TLayer& l) { return l.Id == layer; });
}

std::vector<TLayerId> TLiteralSurface::Stack() const {
    std::vector<TLayerId> ids;
    for (const TLayer& l : Layers)
        ids.push_back(l.Id);
    return ids;
}

TLayerId TLiteralSurface::TopmostLayer() const {
    return Layers.empty() ? NoLayer : Layers.back().Id;
}

const QImage& TLiteralSurface::Composite() {
    Image.fill(Background());
    auto* shown = reinterpret_cast<uint32_t*>(Image.bits());
    for (const TLayer& l : Layers)
        for (size_t i = 0; i < l.Pixels.size(); ++i)
            shown[i] = PlotMath::BlendPixel(l.Pixels[i], shown[i]);
    return Image;
}

size_t TLiteralSurface::MemoryBytes() const {
    size_t bytes = static_cast<size_t>(Image.sizeInBytes());
    for (const TLayer& l : Layers)
        bytes += l.Pixels.capacity() * sizeof(uint32_t);
    return bytes;
}

uint32_t TLiteralSurface::LayerPixel(TLayerId layer, int x, int y) const {
    for (const TLayer& l : Layers)
        if (l.Id == layer && x >= 0 && y >= 0 && x < Width() && y < Height())
            return l.Pixels[static_cast<size_t>(y * Width() + x)];
    return 0;
}
