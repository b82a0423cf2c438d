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
#include <vector>

// The envelope band under the traces: per store channel, the lowest and highest value
// of every sample over a group of records, and which samples the band covers.
struct TPlotBand {
    using TRow = std::array<int32_t, TWaveStore::Samples>;
    std::array<TRow, TWaveStore::Channels> Lower{};
    std::array<TRow, TWaveStore::Channels> Upper{};
    std::array<std::array<bool, TWaveStore::Samples>, TWaveStore::Channels> Present{};
};

// One trace a surface shows: what was drawn into a record's plot layer.
struct TShownTrace {
    int Record = -1;
    int Channel = -1;
    uint32_t Colour = 0;
};

class TPlot final : public TPlotRequests {
public:
    static constexpr int StripCount = 6;
    static constexpr int SelectorEntries = 20; // ch0..ch19, though the store has six
    static constexpr uint32_t ButtonFace = 0xFFF0F0F0;
    static constexpr int LargeSurface = -1; // names the large plot where a strip is asked

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

    // The band, one layer at the bottom of every strip and of the large plot, below
    // every record layer. Each strip shows the band of the channel it draws, the large
    // plot that of the channel its traces show. Showing it again redraws it.
    void ShowBand(const TPlotBand& band);
    void HideBand();
    bool BandShown() const { return Band != nullptr; }
    const TPlotBand* ShownBand() const { return Band.get(); }
    TLayerId BandLayer(int strip) const; // strip 0..5 or LargeSurface
    // The channel whose band a surface shows, -1 for none.
    int BandChannel(int strip) const;

    // Records drawn in the outlier colour where they would be drawn in the normal
    // colour; traces already drawn change colour in place, their layers stay put.
    void ShowOutliers(const std::array<bool, TWaveStore::WaveMaxRecords>& flagged);
    bool OutlierShown(int record) const {
        return ValidRecord(record) && Outliers[static_cast<size_t>(record)];
    }

    // The points of a record's trace on a strip or the large plot, as it is drawn.
    std::vector<QPoint> TracePoints(bool large, int channel, int record) const;
    // The traces a surface shows, bottom to top (strip 0..5 or LargeSurface).
    std::vector<TShownTrace> ShownTraces(int strip) const;
    // The store channel strip i draws, or -1 when its selector names none of 0..5.
    int StripChannel(int strip) const;

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
    // What a record's plot layer holds: nothing (Record -1) or one trace.
    struct TSlotTrace {
        int Record = -1;
        int Channel = -1;
        bool Highlight = false;
    };
    struct TSlot {
        TLayerId* Layer = nullptr;
        TSlotTrace* Drawn = nullptr;
    };
    using TPoints = std::array<QPoint, TWaveStore::Samples>;

    TSlot SlotOf(int strip, int record); // strip 0..5 or LargeSurface
    TPixelSurface& SurfaceOf(int strip) {
        return strip == LargeSurface ? *LargePlot : *Strips[static_cast<size_t>(strip)];
    }
    const TPixelSurface& SurfaceOf(int strip) const {
        return strip == LargeSurface ? *LargePlot : *Strips[static_cast<size_t>(strip)];
    }
    size_t TracePoints(bool large, int channel, int record, TPoints& points) const;
    uint32_t TraceColour(int record, bool highlight) const;
    void DrawTrace(int strip, TSlot slot, int channel, int record, bool highlight);
    void DrawRecordPair(int strip, int channel, int record, int previous);
    void DrawBand(int strip);

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
    std::array<std::array<TSlotTrace, TWaveStore::WaveMaxRecords>, StripCount> StripTraces{};
    std::array<TSlotTrace, TWaveStore::WaveMaxRecords> LargeTraces{};
    std::array<bool, TWaveStore::WaveMaxRecords> Outliers{};
    // The strip whose channel the large plot's traces show: the last one drawn there.
    int LargeStrip = 0;
    std::unique_ptr<TPlotBand> Band;
    // Strips 0..5, then the large plot.
    std::array<TLayerId, StripCount + 1> BandLayers{};
    std::array<int, StripCount + 1> BandChannels{};
};
