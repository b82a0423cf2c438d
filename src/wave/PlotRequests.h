// What the wave store and capture ask of the plot. Every request names plot layers by
// (strip, record) or by record on the large plot; the order of requests decides how
// the layers stack, so callers issue them exactly in their documented order.
#pragma once

#include <QString>

class TPlotRequests {
public:
    virtual ~TPlotRequests() = default;

    // Create the plot layer of a record on strip 0..5 / on the large plot, on top of
    // its surface; it replaces whatever the slot referred to.
    virtual void AddStripLayer(int strip, int record) = 0;
    virtual void AddLargeLayer(int record) = 0;
    // Draw `record` highlighted and redraw `previous` (none when negative) in the
    // normal colour; the large plot draws the channel that `strip`'s selector picks.
    virtual void DrawStripRecord(int strip, int record, int previous) = 0;
    virtual void DrawLargeRecord(int strip, int record, int previous) = 0;

    virtual void FreeStripLayer(int strip, int record) = 0;
    virtual void FreeLargeLayer(int record) = 0;
    // Clear a plot layer's drawing to fully transparent.
    virtual void ClearStripLayer(int strip, int record) = 0;
    virtual void ClearLargeLayer(int record) = 0;
    // Bring a plot layer to the front of its surface.
    virtual void RaiseStripLayer(int strip, int record) = 0;
    virtual void RaiseLargeLayer(int record) = 0;
    // Bring strip i's top layer (cursor, mouse) back to the front.
    virtual void RaiseTopLayer(int strip) = 0;
    // Bring the large plot's cursor layer, then its level layer, to the front.
    virtual void RaiseOverlayLayers() = 0;

    // The label over the large plot that names the channel it shows ("ch0").
    virtual void SetChannelCaption(const QString& text) = 0;
};

// Carries out nothing: for a store without a plot (the command line, data-only tests).
class TNoPlot final : public TPlotRequests {
public:
    void AddStripLayer(int, int) override {}
    void AddLargeLayer(int) override {}
    void DrawStripRecord(int, int, int) override {}
    void DrawLargeRecord(int, int, int) override {}
    void FreeStripLayer(int, int) override {}
    void FreeLargeLayer(int) override {}
    void ClearStripLayer(int, int) override {}
    void ClearLargeLayer(int) override {}
    void RaiseStripLayer(int, int) override {}
    void RaiseLargeLayer(int) override {}
    void RaiseTopLayer(int) override {}
    void RaiseOverlayLayers() override {}
    void SetChannelCaption(const QString&) override {}
};
