// A plot surface: a rectangle of 0xAARRGGBB pixels shown as a stack of layers over a
// background, with the drawing operations the wave plot uses. Two models stand behind
// it: the fast one the page shows and the literal one the tests check it against.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <unordered_map>
#include <vector>

using TLayerId = int;
constexpr TLayerId NoLayer = -1;

// Cursor layers are redrawn on every mouse move; a model may keep what lies under them.
enum class TLayerRole { Steady, Cursor };

class TPixelSurface {
public:
    using TMouseHandler = std::function<void(int x, int y)>;

    TPixelSurface(int width, int height, uint32_t background)
        : SurfaceWidth(width), SurfaceHeight(height), BackgroundColour(background) {}
    virtual ~TPixelSurface() = default;
    TPixelSurface(const TPixelSurface&) = delete;
    TPixelSurface& operator=(const TPixelSurface&) = delete;

    int Width() const { return SurfaceWidth; }
    int Height() const { return SurfaceHeight; }
    uint32_t Background() const { return BackgroundColour; }

    // A new, fully transparent layer on top of the stack.
    virtual TLayerId CreateLayer(TLayerRole role = TLayerRole::Steady) = 0;
    // The operations below ignore a layer that is not (or no longer) in the stack.
    virtual void FreeLayer(TLayerId layer) = 0;
    virtual void BringToFront(TLayerId layer) = 0;
    // Moves the layer to the bottom of the stack, under every other.
    virtual void SendToBack(TLayerId layer) = 0;
    // Sets every pixel.
    virtual void Clear(TLayerId layer, uint32_t colour) = 0;
    // Sets the pixels from one end to the other, both included; clipped.
    virtual void Line(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) = 0;
    // Lines through consecutive points in one go, as Line would draw them one by one.
    virtual void Polyline(TLayerId layer, std::span<const QPoint> points, uint32_t colour) {
        for (size_t i = 0; i + 1 < points.size(); ++i)
            Line(layer, points[i].x(), points[i].y(), points[i + 1].x(), points[i + 1].y(), colour);
        if (points.size() == 1)
            Line(layer, points[0].x(), points[0].y(), points[0].x(), points[0].y(), colour);
    }
    // Sets x1 <= x < x2, y1 <= y < y2; clipped.
    virtual void FillRect(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) = 0;
    // Blends the stipple pattern along the line, restarting it at (x1, y1); the end
    // pixel is left for a following segment, as a pen moving on would leave it.
    virtual void DottedLine(TLayerId layer, int x1, int y1, int x2, int y2) = 0;
    // Top-left corner at (x, y), no anti-aliasing, blended by the colour's alpha.
    virtual void Text(TLayerId layer, int x, int y, const QString& text, uint32_t colour,
                      int points) = 0;

    virtual bool HasLayer(TLayerId layer) const = 0;
    // One pixel of one layer (0 for a layer not in the stack or outside it).
    virtual uint32_t LayerPixel(TLayerId layer, int x, int y) const = 0;
    // Layer ids bottom to top.
    virtual std::vector<TLayerId> Stack() const = 0;
    // What the surface shows: the background with every layer composed over it.
    virtual const QImage& Composite() = 0;

    virtual TLayerId TopmostLayer() const = 0;

    // Mouse events go to the topmost layer only (every layer covers the surface): a
    // layer buried under others receives nothing.
    void BindMouse(TLayerId layer, TMouseHandler onMove, TMouseHandler onPress) {
        Handlers[layer] = {std::move(onMove), std::move(onPress)};
    }
    void MouseMove(int x, int y) { Route(x, y, false); }
    void MousePress(int x, int y) { Route(x, y, true); }

    // Told the rectangle a change may have altered, so a view repaints only that.
    std::function<void(const QRect&)> OnChanged;

protected:
    TLayerId NewLayerId() { return NextLayerId++; }
    void Changed(const QRect& rect) {
        if (OnChanged && !rect.isEmpty())
            OnChanged(rect);
    }

private:
    void Route(int x, int y, bool press) {
        const auto it = Handlers.find(TopmostLayer());
        if (it == Handlers.end())
            return;
        const TMouseHandler& handler = press ? it->second.second : it->second.first;
        if (handler)
            handler(x, y);
    }

    int SurfaceWidth;
    int SurfaceHeight;
    uint32_t BackgroundColour;
    TLayerId NextLayerId = 0;
    std::unordered_map<TLayerId, std::pair<TMouseHandler, TMouseHandler>> Handlers;
};
