// The plot surface taken literally: every layer a full ARGB bitmap, every pixel of
// every layer blended over the background each time the surface is composed. Slow
// and plain on purpose: the tests hold the real surface to it pixel for pixel.
#pragma once

#include "PixelSurface.h"

class TLiteralSurface final : public TPixelSurface {
public:
    // recomposeEachChange: compose the whole stack after every change, as a surface
    // shown again after each change of a layer would (the benchmark's literal cost).
    TLiteralSurface(int width, int height, uint32_t background, bool recomposeEachChange = false);

    TLayerId CreateLayer(TLayerRole role = TLayerRole::Steady) override;
    void FreeLayer(TLayerId layer) override;
    void BringToFront(TLayerId layer) override;
    void SendToBack(TLayerId layer) override;
    void Clear(TLayerId layer, uint32_t colour) override;
    void Line(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) override;
    void FillRect(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) override;
    void DottedLine(TLayerId layer, int x1, int y1, int x2, int y2) override;
    void Text(TLayerId layer, int x, int y, const QString& text, uint32_t colour,
              int points) override;
    bool HasLayer(TLayerId layer) const override;
    uint32_t LayerPixel(TLayerId layer, int x, int y) const override;
    std::vector<TLayerId> Stack() const override;
    TLayerId TopmostLayer() const override;
    const QImage& Composite() override;

    size_t MemoryBytes() const;
    void SetRecomposeEachChange(bool on) { RecomposeEachChange = on; }

private:
    struct TLayer {
        TLayerId Id;
        std::vector<uint32_t> Pixels;
    };
    std::vector<TLayer>::iterator Find(TLayerId layer);
    void Set(TLayer& layer, int x, int y, uint32_t colour);
    void Blend(TLayer& layer, int x, int y, uint32_t colour);
    void Shown();

    bool RecomposeEachChange;
    std::vector<TLayer> Layers; // bottom to top
    QImage Image;
};
