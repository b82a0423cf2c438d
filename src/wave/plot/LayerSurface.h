// The plot surface the page shows. A trace layer keeps only the pixels drawn on it
// (its lines are opaque) instead of a whole bitmap, and the composite of the layers
// under the cursor layers is kept, so a mouse move recomposes only what the cursor
// changed; composing waits until the surface is shown.
#pragma once

#include "PixelSurface.h"

#include <memory>

class TLayerSurface final : public TPixelSurface {
public:
    TLayerSurface(int width, int height, uint32_t background);

    TLayerId CreateLayer(TLayerRole role = TLayerRole::Steady) override;
    void FreeLayer(TLayerId layer) override;
    void BringToFront(TLayerId layer) override;
    void SendToBack(TLayerId layer) override;
    void Clear(TLayerId layer, uint32_t colour) override;
    void Line(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) override;
    void FillRect(TLayerId layer, int x1, int y1, int x2, int y2, uint32_t colour) override;
    void DottedLine(TLayerId layer, int x1, int y1, int x2, int y2) override;
    void Polyline(TLayerId layer, std::span<const QPoint> points, uint32_t colour) override;
    void Text(TLayerId layer, int x, int y, const QString& text, uint32_t colour,
              int points) override;
    bool HasLayer(TLayerId layer) const override { return Layers.contains(layer); }
    uint32_t LayerPixel(TLayerId layer, int x, int y) const override;
    std::vector<TLayerId> Stack() const override;
    TLayerId TopmostLayer() const override { return Order.empty() ? NoLayer : Order.back()->Id; }
    const QImage& Composite() override;

    // Bytes held for layers and composites.
    size_t MemoryBytes() const;
    // Whether the layer holds a whole bitmap (cursor layers, or a layer something
    // translucent was drawn on).
    bool IsDense(TLayerId layer) const;

private:
    // A run of pixels of one palette colour along a row or down a column.
    struct TRun {
        uint16_t X;
        uint16_t Y;
        uint16_t Length;
        uint8_t Colour;
        uint8_t Vertical;
    };
    struct TLayer {
        TLayerId Id = NoLayer;
        TLayerRole Role = TLayerRole::Steady;
        size_t Position = 0;
        bool Dense = false;
        std::vector<TRun> Runs;        // sparse: later runs cover earlier ones
        std::vector<uint32_t> Palette; // sparse: opaque colours only
        std::vector<uint32_t> Pixels;  // dense
        QRect Ink;                     // every pixel outside is transparent
    };

    struct TRunBuilder;
    TLayer* Find(TLayerId layer);
    QRect Bounds() const { return QRect(0, 0, Width(), Height()); }
    void Restack();
    void Touched(const TLayer& layer, const QRect& rect);
    void Densify(TLayer& layer);
    void Put(TLayer& layer, int x, int y, uint32_t colour, bool blend);
    static int PaletteIndex(TLayer& layer, uint32_t colour);
    static bool Extend(TRun& run, int x, int y);
    static void AddPixel(TLayer& layer, int x, int y, int colourIndex);
    void ComposeLayer(uint32_t* target, const TLayer& layer, const QRect& clip) const;

    std::unordered_map<TLayerId, std::unique_ptr<TLayer>> Layers;
    std::vector<TLayer*> Order; // bottom to top
    size_t PrefixEnd = 0;       // Order[0, PrefixEnd) lies under every cursor layer
    std::vector<TLayerId> PrefixIds;
    std::vector<uint32_t> Prefix; // their composite over the background
    bool PrefixValid = false;
    QImage Shown;
    bool ShownAllDirty = true;
    std::vector<QRect> Damage; // parts of Shown to recompose from Prefix
};
