#include "Plot.h"

#include "PlotMath.h"

#include <algorithm>
#include <span>

using namespace PlotMath;

TPlot::TPlot(TWaveStore& store, const TSurfaceFactory& makeSurface, uint32_t scaleBackground)
    : Store(store) {
    for (auto& row : StripLayers)
        row.fill(NoLayer);
    LargeLayers.fill(NoLayer);

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

TLayerId* TPlot::StripSlot(int strip, int record) {
    if (!ValidStrip(strip) || !ValidRecord(record))
        return nullptr;
    return &StripLayers[static_cast<size_t>(strip)][static_cast<size_t>(record)];
}

TLayerId* TPlot::LargeSlot(int record) {
    return ValidRecord(record) ? &LargeLayers[static_cast<size_t>(record)] : nullptr;
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
    TLayerId* slot = StripSlot(strip, record);
    if (!slot)
        return;
    // The slot's former layer would stay in the stack, showing a trace nothing can
    // reach any more: free it.
    Strips[static_cast<size_t>(strip)]->FreeLayer(*slot);
    *slot = Strips[static_cast<size_t>(strip)]->CreateLayer(TLayerRole::Steady);
}

void TPlot::AddLargeLayer(int record) {
    TLayerId* slot = LargeSlot(record);
    if (!slot)
        return;
    LargePlot->FreeLayer(*slot);
    *slot = LargePlot->CreateLayer(TLayerRole::Steady);
}

void TPlot::FreeStripLayer(int strip, int record) {
    if (TLayerId* slot = StripSlot(strip, record)) {
        Strips[static_cast<size_t>(strip)]->FreeLayer(*slot);
        *slot = NoLayer;
    }
}

void TPlot::FreeLargeLayer(int record) {
    if (TLayerId* slot = LargeSlot(record)) {
        LargePlot->FreeLayer(*slot);
        *slot = NoLayer;
    }
}

void TPlot::ClearStripLayer(int strip, int record) {
    if (const TLayerId* slot = StripSlot(strip, record))
        Strips[static_cast<size_t>(strip)]->Clear(*slot, 0x00000000);
}

void TPlot::ClearLargeLayer(int record) {
    if (const TLayerId* slot = LargeSlot(record))
        LargePlot->Clear(*slot, 0x00000000);
}

void TPlot::RaiseStripLayer(int strip, int record) {
    if (const TLayerId* slot = StripSlot(strip, record))
        Strips[static_cast<size_t>(strip)]->BringToFront(*slot);
}

void TPlot::RaiseLargeLayer(int record) {
    if (const TLayerId* slot = LargeSlot(record))
        LargePlot->BringToFront(*slot);
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

// Clears the slot's layer and draws one record's trace into it; an empty slot, a
// channel outside the store or a record outside it leave nothing drawn.
void TPlot::DrawTrace(TPixelSurface& surface, TLayerId* slot, bool large, int channel, int record,
                      uint32_t colour) {
    if (!slot || *slot == NoLayer || !surface.HasLayer(*slot))
        return;
    const TLayerId layer = *slot;
    surface.Clear(layer, 0x00000000);
    if (channel < 0 || !ValidRecord(record))
        return;
    const auto& samples =
        Store.WaveSamples[static_cast<size_t>(channel)][static_cast<size_t>(record)];
    std::array<QPoint, SampleCount> points;
    size_t count = 0;
    ForEachTraceSegment(large ? TTraceKind::Large : TTraceKind::Strip,
                        std::span<const int32_t>(samples), [&](QPoint from, QPoint to) {
                            if (count == 0)
                                points[count++] = from;
                            points[count++] = to;
                        });
    surface.Polyline(layer, std::span<const QPoint>(points.data(), count), colour);
}

void TPlot::DrawRecordPair(TPixelSurface& surface, bool large, int strip, int record, int previous,
                           const std::function<TLayerId*(int)>& slotOf) {
    const int channel = StripChannel(strip);
    if (Store.SingleTraceDrawing) {
        DrawTrace(surface, slotOf(0), large, channel, record, HighlightColour);
        return;
    }
    if (previous >= 0 && record >= 0)
        DrawTrace(surface, slotOf(previous), large, channel, previous, NormalColour);
    DrawTrace(surface, slotOf(record), large, channel, record, HighlightColour);
}

void TPlot::DrawStripRecord(int strip, int record, int previous) {
    if (!ValidStrip(strip))
        return;
    DrawRecordPair(*Strips[static_cast<size_t>(strip)], false, strip, record, previous,
                   [this, strip](int r) { return StripSlot(strip, r); });
    RaiseTopLayer(strip);
}

void TPlot::DrawLargeRecord(int strip, int record, int previous) {
    DrawRecordPair(*LargePlot, true, strip, record, previous,
                   [this](int r) { return LargeSlot(r); });
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
