// The wave plot without widgets: six channel strips, the large plot and the scale
// strip as layered surfaces, the plot layer of every record, and the operations that
// draw records and the mouse cursor. It reads the wave store and writes only its
// SelectedChannel.
#pragma once

#include "PixelSurface.h"
#include "PlotRequests.h"
#include "WaveStore.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

class TPlot final : public TPlotRequests {
public:
    static constexpr int StripCount = 6;
    static constexpr int SelectorEntries = 20; // ch0..ch19, though the store has six
    static constexpr uint32_t ButtonFace = 0xFFF0F0F0;

    using TSurfaceFactory =
        std::function<std::unique_ptr<TPixelSurface>(int width, int height, uint32_t background)>;

    // Builds the surfaces and their fixed layers; the store must already be zeroed.
    TPlot(TWaveStore& store, const TSurfaceFactory& makeSurface,
          uint32_t scaleBackground = ButtonFace);

    void AddStripLayer(int strip, int record) override;
    void AddLargeLayer(int record) override;
    void DrawStripRecord(int strip, int record, int previous) override;
    void DrawLargeRecord(int strip, int record, int previous) override;
    void FreeStripLayer(int strip, int record) override;
    void FreeLargeLayer(int record) override;
    void ClearStripLayer(int strip, int record) override;
    void ClearLargeLayer(int record) override;
    void RaiseStripLayer(int strip, int record) override;
    void RaiseLargeLayer(int record) override;
    void RaiseTopLayer(int strip) override;
    void RaiseOverlayLayers() override;
    void SetChannelCaption(const QString& text) override;

    void ShowStripInLargePlot(int strip);
    void RedrawStrip(int strip);
    void DrawCursor(int x, int y, int sample);
    // The mouse handler of every surface, with the pointer in that surface's pixels.
    void MouseMoved(int pointerX, int pointerY);
    // A press on strip i's top layer.
    void StripPressed(int strip);

    // Channel selector i: the entry picked (-1 when its text names none) and its text.
    // Changing it redraws the strip, as the selector's change event does.
    void SelectorChanged(int strip, int itemIndex, const QString& text);
    int SelectorIndex(int strip) const { return Selectors[static_cast<size_t>(strip)].Index; }
    QString SelectorText(int strip) const { return Selectors[static_cast<size_t>(strip)].Text; }

    TPixelSurface& Strip(int i) { return *Strips[static_cast<size_t>(i)]; }
    TPixelSurface& Large() { return *LargePlot; }
    TPixelSurface& Scale() { return *ScaleStrip; }

    TLayerId StripLayer(int strip, int record) const;
    TLayerId LargeLayer(int record) const;
    TLayerId TopLayer(int strip) const { return TopLayers[static_cast<size_t>(strip)]; }
    TLayerId LevelLayer() const { return LargeLevel; }
    TLayerId CursorLayer() const { return LargeCursor; }
    TLayerId ScaleCursorLayer() const { return ScaleCursor; }

    int CursorSample = 0;
    QString ChannelCaption;
    std::function<void(const QString&)> OnChannelCaption;

private:
    struct TSelector {
        int Index = 0;
        QString Text;
    };
    static bool ValidStrip(int strip) { return strip >= 0 && strip < StripCount; }
    static bool ValidRecord(int record) {
        return record >= 0 && record < TWaveStore::WaveMaxRecords;
    }
    TLayerId* StripSlot(int strip, int record);
    TLayerId* LargeSlot(int record);
    // The store channel strip i draws, or -1 when its selector names none of 0..5.
    int StripChannel(int strip) const;
    void DrawTrace(TPixelSurface& surface, TLayerId* slot, bool large, int channel, int record,
                   uint32_t colour);
    void DrawRecordPair(TPixelSurface& surface, bool large, int strip, int record, int previous,
                        const std::function<TLayerId*(int)>& slotOf);

    TWaveStore& Store;
    std::array<std::unique_ptr<TPixelSurface>, StripCount> Strips;
    std::unique_ptr<TPixelSurface> LargePlot;
    std::unique_ptr<TPixelSurface> ScaleStrip;
    std::array<TSelector, StripCount> Selectors;
    std::array<TLayerId, StripCount> TopLayers{};
    TLayerId LargeLevel = NoLayer;
    TLayerId LargeCursor = NoLayer;
    TLayerId ScaleTicks = NoLayer;
    TLayerId ScaleCursor = NoLayer;
    std::array<std::array<TLayerId, TWaveStore::WaveMaxRecords>, StripCount> StripLayers{};
    std::array<TLayerId, TWaveStore::WaveMaxRecords> LargeLayers{};
};
