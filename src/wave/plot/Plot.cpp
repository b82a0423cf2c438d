#include "Plot.h"

#include "PlotMath.h"

#include <algorithm>
#include <span>
#include <unordered_map>
#include <utility>

using namespace PlotMath;

TPlot::TPlot(TWaveStore& store, const TSurfaceFactory& makeSurface, uint32_t scaleBackground)
    : Store(store) {
    for (auto& row : StripLayers)
        row.fill(NoLayer);
    LargeLayers.fill(NoLayer);
    BandLayers.fill(NoLayer);
    BandChannels.fill(-1);

    for (int i = 0; i < StripCount; ++i) {
        Selectors[static_cast<size_t>(i)] = {i, QStringLiteral("ch%1").arg(i)};
        auto& strip = Strips[static_cast<size_t>(i)];
        strip = makeSurface(PlotWidth, StripHeight, PlotBackground);
        const TLayerId top = strip->CreateLayer(TLayerRole::Cursor);
        TopLayers[static_cast<size_t>(i)] = top;
        strip->BindMouse(
            top, [this](int x, int y) { MouseMoved(x, y); },
            [this, i](int, int) { StripPressed(i); });
    }

    LargePlot = makeSurface(PlotWidth, LargeHeight, PlotBackground);
    LargeLevel = LargePlot->CreateLayer(TLayerRole::Cursor);
    // A small translucent box at the left edge, gone with the first cursor drawing.
    LargePlot->FillRect(LargeLevel, 0, 101, 22, 114, LevelBoxColour);
    LargeCursor = LargePlot->CreateLayer(TLayerRole::Cursor);
    for (TLayerId layer : {LargeLevel, LargeCursor})
        LargePlot->BindMouse(layer, [this](int x, int y) { MouseMoved(x, y); }, {});

    ScaleStrip = makeSurface(ScaleWidth, ScaleHeight, scaleBackground);
    ScaleTicks = ScaleStrip->CreateLayer(TLayerRole::Steady);
    ScaleCursor = ScaleStrip->CreateLayer(TLayerRole::Cursor);
    ScaleStrip->BindMouse(ScaleCursor, [this](int x, int y) { MouseMoved(x, y); }, {});
    // An 11-pixel tick every ten samples, 6 pixels halfway between, 4 for the rest.
    ScaleStrip->Line(ScaleTicks, 0, 10, 900, 10, ScaleColour);
    for (int j = 0; j < SampleCount; ++j) {
        const int top = j % 10 == 0 ? 0 : j % 10 == 5 ? 5 : 7;
        ScaleStrip->Line(ScaleTicks, 3 * j, top, 3 * j, 10, ScaleColour);
    }
}

TPlot::TSlot TPlot::SlotOf(int strip, int record) {
    if (!ValidRecord(record))
        return {};
    const auto r = static_cast<size_t>(record);
    if (strip == LargeSurface)
        return {&LargeLayers[r], &LargeTraces[r]};
    if (!ValidStrip(strip))
        return {};
    return {&StripLayers[static_cast<size_t>(strip)][r],
            &StripTraces[static_cast<size_t>(strip)][r]};
}

TLayerId TPlot::StripLayer(int strip, int record) const {
    if (!ValidStrip(strip) || !ValidRecord(record))
        return NoLayer;
    return StripLayers[static_cast<size_t>(strip)][static_cast<size_t>(record)];
}

TLayerId TPlot::LargeLayer(int record) const {
    return ValidRecord(record) ? LargeLayers[static_cast<size_t>(record)] : NoLayer;
}

int TPlot::StripChannel(int strip) const {
    if (!ValidStrip(strip))
        return -1;
    const int index = Selectors[static_cast<size_t>(strip)].Index;
    return index >= 0 && index < TWaveStore::Channels ? index : -1;
}

void TPlot::AddStripLayer(int strip, int record) {
    const TSlot slot = SlotOf(strip, record);
    if (!slot.Layer || strip == LargeSurface)
        return;
    // The slot's former layer would stay in the stack, showing a trace nothing can
    // reach any more: free it.
    Strips[static_cast<size_t>(strip)]->FreeLayer(*slot.Layer);
    *slot.Layer = Strips[static_cast<size_t>(strip)]->CreateLayer(TLayerRole::Steady);
    *slot.Drawn = {};
}

void TPlot::AddLargeLayer(int record) {
    const TSlot slot = SlotOf(LargeSurface, record);
    if (!slot.Layer)
        return;
    LargePlot->FreeLayer(*slot.Layer);
    *slot.Layer = LargePlot->CreateLayer(TLayerRole::Steady);
    *slot.Drawn = {};
}

void TPlot::FreeStripLayer(int strip, int record) {
    if (strip == LargeSurface)
        return;
    if (const TSlot slot = SlotOf(strip, record); slot.Layer) {
        Strips[static_cast<size_t>(strip)]->FreeLayer(*slot.Layer);
        *slot.Layer = NoLayer;
        *slot.Drawn = {};
    }
}

void TPlot::FreeLargeLayer(int record) {
    if (const TSlot slot = SlotOf(LargeSurface, record); slot.Layer) {
        LargePlot->FreeLayer(*slot.Layer);
        *slot.Layer = NoLayer;
        *slot.Drawn = {};
    }
}

void TPlot::ClearStripLayer(int strip, int record) {
    if (strip == LargeSurface)
        return;
    if (const TSlot slot = SlotOf(strip, record); slot.Layer) {
        Strips[static_cast<size_t>(strip)]->Clear(*slot.Layer, 0x00000000);
        *slot.Drawn = {};
    }
}

void TPlot::ClearLargeLayer(int record) {
    if (const TSlot slot = SlotOf(LargeSurface, record); slot.Layer) {
        LargePlot->Clear(*slot.Layer, 0x00000000);
        *slot.Drawn = {};
    }
}

void TPlot::RaiseStripLayer(int strip, int record) {
    if (strip == LargeSurface)
        return;
    if (const TSlot slot = SlotOf(strip, record); slot.Layer)
        Strips[static_cast<size_t>(strip)]->BringToFront(*slot.Layer);
}

void TPlot::RaiseLargeLayer(int record) {
    if (const TSlot slot = SlotOf(LargeSurface, record); slot.Layer)
        LargePlot->BringToFront(*slot.Layer);
}

void TPlot::RaiseTopLayer(int strip) {
    if (ValidStrip(strip))
        Strips[static_cast<size_t>(strip)]->BringToFront(TopLayers[static_cast<size_t>(strip)]);
}

void TPlot::RaiseOverlayLayers() {
    LargePlot->BringToFront(LargeCursor);
    LargePlot->BringToFront(LargeLevel);
}

void TPlot::SetChannelCaption(const QString& text) {
    ChannelCaption = text;
    if (OnChannelCaption)
        OnChannelCaption(text);
}

size_t TPlot::TracePoints(bool large, int channel, int record, TPoints& points) const {
    if (channel < 0 || channel >= TWaveStore::Channels || !ValidRecord(record))
        return 0;
    const auto& samples =
        Store.WaveSamples[static_cast<size_t>(channel)][static_cast<size_t>(record)];
    size_t count = 0;
    ForEachTraceSegment(large ? TTraceKind::Large : TTraceKind::Strip,
                        std::span<const int32_t>(samples), [&](QPoint from, QPoint to) {
                            if (count == 0)
                                points[count++] = from;
                            points[count++] = to;
                        });
    return count;
}

std::vector<QPoint> TPlot::TracePoints(bool large, int channel, int record) const {
    TPoints points;
    const size_t count = TracePoints(large, channel, record, points);
    return std::vector<QPoint>(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(count));
}

uint32_t TPlot::TraceColour(int record, bool highlight) const {
    if (highlight)
        return HighlightColour;
    return OutlierShown(record) ? OutlierColour : NormalColour;
}

// Clears the slot's layer and draws one record's trace into it; an empty slot, a
// channel outside the store or a record outside it leave nothing drawn.
void TPlot::DrawTrace(int strip, TSlot slot, int channel, int record, bool highlight) {
    TPixelSurface& surface = SurfaceOf(strip);
    if (!slot.Layer || *slot.Layer == NoLayer || !surface.HasLayer(*slot.Layer))
        return;
    const TLayerId layer = *slot.Layer;
    surface.Clear(layer, 0x00000000);
    *slot.Drawn = {};
    TPoints points;
    const size_t count = TracePoints(strip == LargeSurface, channel, record, points);
    if (channel < 0 || !ValidRecord(record))
        return;
    surface.Polyline(layer, std::span<const QPoint>(points.data(), count),
                     TraceColour(record, highlight));
    *slot.Drawn = {record, channel, highlight};
}

void TPlot::DrawRecordPair(int strip, int channel, int record, int previous) {
    if (Store.SingleTraceDrawing) {
        DrawTrace(strip, SlotOf(strip, 0), channel, record, true);
        return;
    }
    if (previous >= 0 && record >= 0)
        DrawTrace(strip, SlotOf(strip, previous), channel, previous, false);
    DrawTrace(strip, SlotOf(strip, record), channel, record, true);
}

void TPlot::DrawStripRecord(int strip, int record, int previous) {
    if (!ValidStrip(strip))
        return;
    DrawRecordPair(strip, StripChannel(strip), record, previous);
    RaiseTopLayer(strip);
}

void TPlot::DrawLargeRecord(int strip, int record, int previous) {
    const int channel = StripChannel(strip);
    if (ValidStrip(strip) && strip != LargeStrip) {
        LargeStrip = strip;
        if (Band && channel != BandChannels[StripCount])
            DrawBand(LargeSurface);
    }
    DrawRecordPair(LargeSurface, channel, record, previous);
}

TLayerId TPlot::BandLayer(int strip) const {
    if (strip == LargeSurface)
        return BandLayers[StripCount];
    return ValidStrip(strip) ? BandLayers[static_cast<size_t>(strip)] : NoLayer;
}

int TPlot::BandChannel(int strip) const {
    if (strip == LargeSurface)
        return BandChannels[StripCount];
    return ValidStrip(strip) ? BandChannels[static_cast<size_t>(strip)] : -1;
}

void TPlot::ShowBand(const TPlotBand& band) {
    if (!Band)
        Band = std::make_unique<TPlotBand>();
    *Band = band;
    for (int i = 0; i < StripCount; ++i)
        DrawBand(i);
    DrawBand(LargeSurface);
}

void TPlot::HideBand() {
    Band.reset();
    for (int i = 0; i <= StripCount; ++i) {
        SurfaceOf(i == StripCount ? LargeSurface : i).FreeLayer(BandLayers[static_cast<size_t>(i)]);
        BandLayers[static_cast<size_t>(i)] = NoLayer;
        BandChannels[static_cast<size_t>(i)] = -1;
    }
}

// One opaque vertical run per column: a sparse layer, like the traces, and made once
// at the bottom of the stack, which only ever grows at the top.
void TPlot::DrawBand(int strip) {
    if (!Band)
        return;
    const size_t index = strip == LargeSurface ? StripCount : static_cast<size_t>(strip);
    TPixelSurface& surface = SurfaceOf(strip);
    TLayerId& layer = BandLayers[index];
    if (layer == NoLayer) {
        layer = surface.CreateLayer(TLayerRole::Steady);
        surface.SendToBack(layer);
    } else {
        surface.Clear(layer, 0x00000000);
    }
    const int channel = StripChannel(strip == LargeSurface ? LargeStrip : strip);
    BandChannels[index] = channel;
    if (channel < 0)
        return;
    const auto c = static_cast<size_t>(channel);
    ForEachBandColumn(
        strip == LargeSurface ? TTraceKind::Large : TTraceKind::Strip,
        std::span<const int32_t>(Band->Lower[c]), std::span<const int32_t>(Band->Upper[c]),
        std::span<const bool>(Band->Present[c]),
        [&](int x, int top, int bottom) { surface.Line(layer, x, top, x, bottom, BandColour); });
}

void TPlot::ShowOutliers(const std::array<bool, TWaveStore::WaveMaxRecords>& flagged) {
    if (flagged == Outliers)
        return;
    const auto before = std::exchange(Outliers, flagged);
    // Only traces in the normal or outlier colour change; they are drawn again where
    // they lie in the stack.
    const auto repaint = [&](int strip) {
        for (int r = 0; r < TWaveStore::WaveMaxRecords; ++r) {
            const TSlot slot = SlotOf(strip, r);
            const TSlotTrace drawn = *slot.Drawn;
            if (drawn.Record < 0 || drawn.Highlight)
                continue;
            const auto d = static_cast<size_t>(drawn.Record);
            if (before[d] != Outliers[d])
                DrawTrace(strip, slot, drawn.Channel, drawn.Record, false);
        }
    };
    for (int i = 0; i < StripCount; ++i)
        repaint(i);
    repaint(LargeSurface);
}

std::vector<TShownTrace> TPlot::ShownTraces(int strip) const {
    std::vector<TShownTrace> shown;
    if (strip != LargeSurface && !ValidStrip(strip))
        return shown;
    const auto& layers =
        strip == LargeSurface ? LargeLayers : StripLayers[static_cast<size_t>(strip)];
    const auto& traces =
        strip == LargeSurface ? LargeTraces : StripTraces[static_cast<size_t>(strip)];
    std::unordered_map<TLayerId, size_t> slotOfLayer;
    for (size_t r = 0; r < layers.size(); ++r)
        if (layers[r] != NoLayer && traces[r].Record >= 0)
            slotOfLayer.emplace(layers[r], r);
    for (const TLayerId id : SurfaceOf(strip).Stack()) {
        const auto it = slotOfLayer.find(id);
        if (it == slotOfLayer.end())
            continue;
        const TSlotTrace& t = traces[it->second];
        shown.push_back({t.Record, t.Channel, TraceColour(t.Record, t.Highlight)});
    }
    return shown;
}

void TPlot::ShowStripInLargePlot(int strip) {
    if (!ValidStrip(strip) || Store.RecordCount <= 0)
        return;
    if (Store.SingleRecordView) {
        FreeLargeLayer(0);
        AddLargeLayer(0);
        DrawLargeRecord(strip, Store.BrowseIndex, 0);
    } else {
        const int count = std::min(Store.RecordCount, TWaveStore::WaveMaxRecords);
        for (int r = 0; r < count; ++r)
            FreeLargeLayer(r);
        for (int r = 0; r < count; ++r)
            AddLargeLayer(r);
        for (int k = 0; k < count; ++k)
            DrawLargeRecord(strip, Store.CurrentRecord, k);
    }
    SetChannelCaption(SelectorText(strip));
    RaiseOverlayLayers();
}

void TPlot::RedrawStrip(int strip) {
    if (!ValidStrip(strip))
        return;
    const int count = std::min(Store.RecordCount, TWaveStore::WaveMaxRecords);
    for (int r = 0; r < count; ++r)
        DrawStripRecord(strip, r, r - 1);
    if (Band)
        DrawBand(strip);
    RaiseTopLayer(strip);
}

void TPlot::SelectorChanged(int strip, int itemIndex, const QString& text) {
    if (!ValidStrip(strip))
        return;
    Selectors[static_cast<size_t>(strip)] = {itemIndex, text};
    RedrawStrip(strip);
}

void TPlot::StripPressed(int strip) {
    if (!ValidStrip(strip))
        return;
    Store.SelectedChannel = strip;
    ShowStripInLargePlot(strip);
}

void TPlot::MouseMoved(int pointerX, int pointerY) {
    CursorSample = CursorSampleAt(pointerX);
    DrawCursor(CursorColumn(CursorSample), pointerY, CursorSample);
}

void TPlot::DrawCursor(int x, int y, int s) {
    const int newest =
        Store.RecordCount > 0 ? std::min(Store.RecordCount, TWaveStore::WaveMaxRecords) - 1 : 0;
    const auto value = [&](int channel) {
        return Store.WaveSamples[static_cast<size_t>(channel)][static_cast<size_t>(newest)]
                                [static_cast<size_t>(s)];
    };
    // A pointer past the last sample (the scale strip is wider) or dragged off the
    // surface names no sample: no value is shown then.
    const bool onSample = s >= 0 && s < SampleCount;

    for (int p = 0; p < StripCount; ++p) {
        TPixelSurface& strip = *Strips[static_cast<size_t>(p)];
        const TLayerId top = TopLayers[static_cast<size_t>(p)];
        strip.Clear(top, 0x00000000);
        strip.DottedLine(top, x, 0, x, y + 65);
        const int channel = StripChannel(p);
        if (channel >= 0 && onSample) {
            strip.FillRect(top, x + 2, 1, x + 22, 15, ReadoutBoxColour);
            strip.Text(top, x + 2, 0, QString::number(value(channel)), ReadoutTextColour, 1);
        }
    }

    LargePlot->Clear(LargeCursor, 0x00000000);
    LargePlot->DottedLine(LargeCursor, x, 0, x, y + 225);
    // The readout reads the trace it sits on: the channel the large plot draws, in the
    // record it highlights.
    const int largeChannel = StripChannel(Store.SelectedChannel);
    const int shown = Store.SingleRecordView ? Store.BrowseIndex : Store.CurrentRecord;
    const int largeRecord = ValidRecord(shown) && shown < Store.RecordCount ? shown : newest;
    if (onSample && largeChannel >= 0) {
        const int32_t v =
            Store.WaveSamples[static_cast<size_t>(largeChannel)][static_cast<size_t>(largeRecord)]
                             [static_cast<size_t>(s)];
        const int h = LargeReadoutRow(v);
        LargePlot->FillRect(LargeCursor, x + 5, h, x + 25, h + 14, ReadoutBoxColour);
        LargePlot->Text(LargeCursor, x + 5, h, QString::number(v), ReadoutTextColour, 1);
    }

    LargePlot->Clear(LargeLevel, 0x00000000);
    const TLevel level = LevelAt(y);
    LargePlot->Line(LargeLevel, 0, level.B, PlotWidth - 1, level.B, LevelColour);
    LargePlot->FillRect(LargeLevel, 0, level.T, 25, level.T + 15, ReadoutBoxColour);
    LargePlot->Text(LargeLevel, 0, level.T, QString::number(255 - level.A), LevelColour, 10);

    ScaleStrip->Clear(ScaleCursor, 0x00000000);
    ScaleStrip->DottedLine(ScaleCursor, x, 0, x, y + 225);
    ScaleStrip->Text(ScaleCursor, x, 10, QString::number(s), ScaleColour, 10);
}
