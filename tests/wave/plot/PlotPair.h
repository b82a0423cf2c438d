// The plot twice over one wave store: once on our surfaces, once on the literal
// model, driven by the same requests and compared pixel for pixel. Also issues the
// request sequences of capture and of the store's operations.
#pragma once

#include "LayerSurface.h"
#include "LiteralSurface.h"
#include "Plot.h"
#include "SurfaceCompare.h"

#include <memory>

struct TPlotPair {
    std::unique_ptr<TWaveStore> Store = std::make_unique<TWaveStore>();
    TPlot Ours{*Store,
               [](int w, int h, uint32_t bg) { return std::make_unique<TLayerSurface>(w, h, bg); }};
    TPlot Literal{*Store, [](int w, int h, uint32_t bg) {
                      return std::make_unique<TLiteralSurface>(w, h, bg);
                  }};

    template <class F> void Both(F&& f) {
        f(Ours);
        f(Literal);
    }

    // Every surface of ours against the literal model; empty when all agree.
    QString Difference() {
        const auto compare = [](const QString& name, TPixelSurface& a, TPixelSurface& b) {
            const QString d = FirstDifference(a.Composite(), b.Composite());
            return d.isEmpty() ? d : name + QStringLiteral(": ") + d;
        };
        for (int i = 0; i < TPlot::StripCount; ++i)
            if (const QString d =
                    compare(QStringLiteral("strip %1").arg(i), Ours.Strip(i), Literal.Strip(i));
                !d.isEmpty())
                return d;
        if (const QString d = compare(QStringLiteral("large plot"), Ours.Large(), Literal.Large());
            !d.isEmpty())
            return d;
        return compare(QStringLiteral("scale"), Ours.Scale(), Literal.Scale());
    }

    // A record arriving packet by packet, channel 0 first, as capture files it.
    void Capture(const std::array<std::array<int32_t, 299>, 6>& channels) {
        TWaveStore& s = *Store;
        if (s.RecordCount >= TWaveStore::WaveMaxRecords)
            return;
        const int n = s.RecordCount;
        for (int c = 0; c < TWaveStore::Channels; ++c) {
            std::copy(channels[static_cast<size_t>(c)].begin(),
                      channels[static_cast<size_t>(c)].end(),
                      s.WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(n)].begin());
            if (c == 0)
                Both([&](TPlot& p) { p.AddLargeLayer(n); });
            Both([](TPlot& p) { p.RaiseOverlayLayers(); });
        }
        for (int j = 0; j < TPlot::StripCount; ++j)
            Both([&](TPlot& p) {
                p.AddStripLayer(j, n);
                p.DrawStripRecord(j, n, n - 1);
            });
        s.CurrentRecord = n;
        s.RecordCount = n + 1;
        s.SingleTraceDrawing = false;
    }

    void FreeAll() {
        TWaveStore& s = *Store;
        const int n = s.SingleRecordView ? std::min(s.RecordCount, 1) : s.RecordCount;
        for (int r = 0; r < n; ++r)
            Both([&](TPlot& p) {
                for (int j = 0; j < TPlot::StripCount; ++j)
                    p.FreeStripLayer(j, r);
                p.FreeLargeLayer(r);
            });
    }

    // Load's drawing of the N records now in the store.
    void DrawLoaded() {
        TWaveStore& s = *Store;
        const int n = s.RecordCount;
        s.CurrentRecord = n - 1;
        Both([&](TPlot& p) {
            for (int j = 0; j < TPlot::StripCount; ++j) {
                for (int r = 0; r < n; ++r) {
                    p.AddStripLayer(j, r);
                    p.DrawStripRecord(j, r, r - 1);
                }
                p.RaiseTopLayer(j);
            }
            for (int r = 0; r < n; ++r) {
                p.AddLargeLayer(r);
                p.DrawLargeRecord(0, r, r - 1);
            }
            p.SetChannelCaption(QStringLiteral("ch0"));
            p.RaiseOverlayLayers();
        });
    }

    // Next and Last: the current record moves and both are redrawn.
    void MoveTo(int record) {
        TWaveStore& s = *Store;
        s.PreviousRecord = s.CurrentRecord;
        s.CurrentRecord = record;
        Both([&](TPlot& p) {
            for (int j = 0; j < TPlot::StripCount; ++j) {
                p.DrawStripRecord(j, s.CurrentRecord, s.PreviousRecord);
                p.RaiseStripLayer(j, s.CurrentRecord);
                p.RaiseTopLayer(j);
            }
            p.DrawLargeRecord(s.SelectedChannel, s.CurrentRecord, s.PreviousRecord);
        });
        s.SingleTraceDrawing = false;
    }
};
