#include "WaveActive.h"

#include "WaveFile.h"

#include <algorithm>

namespace {
constexpr int Strips = TWaveStore::Channels;

void FreeRecordLayers(TPlotRequests& plot, int record) {
    for (int strip = 0; strip < Strips; ++strip)
        plot.FreeStripLayer(strip, record);
    plot.FreeLargeLayer(record);
}

// Highlights `record` on every strip, in front of the others, then on the large plot.
void ShowCurrent(const TWaveStore& store, TPlotRequests& plot, int record, int previous) {
    for (int strip = 0; strip < Strips; ++strip) {
        plot.DrawStripRecord(strip, record, previous);
        plot.RaiseStripLayer(strip, record);
        plot.RaiseTopLayer(strip);
    }
    plot.DrawLargeRecord(store.SelectedChannel, record, previous);
}

void ShowBrowsed(TWaveStore& store, TPlotRequests& plot) {
    // One reused plot layer per surface: record 0's.
    for (int strip = 0; strip < Strips; ++strip) {
        plot.FreeStripLayer(strip, 0);
        plot.AddStripLayer(strip, 0);
        plot.DrawStripRecord(strip, store.BrowseIndex, -1);
        plot.RaiseTopLayer(strip);
    }
    plot.FreeLargeLayer(0);
    plot.AddLargeLayer(0);
    plot.DrawLargeRecord(store.SelectedChannel, store.BrowseIndex, -1);
    plot.RaiseOverlayLayers();
    store.SingleTraceDrawing = true;
}
} // namespace

TWaveRecord WaveActive::RecordAt(const TWaveStore& store, int record) {
    TWaveRecord out;
    if (record < 0 || record >= TWaveStore::WaveMaxRecords)
        return out;
    const auto r = static_cast<size_t>(record);
    for (size_t c = 0; c < TWaveStore::Channels; ++c)
        out.Samples[c] = store.WaveSamples[c][r];
    out.Length = store.RecordLength[r];
    return out;
}

void WaveActive::EmptyStore(TWaveStore& store, TPlotRequests& plot) {
    if (store.RecordCount > 0) {
        if (store.SingleRecordView) {
            FreeRecordLayers(plot, 0);
        } else {
            for (int strip = 0; strip < Strips; ++strip)
                for (int r = 0; r < store.RecordCount; ++r)
                    plot.FreeStripLayer(strip, r);
            for (int r = 0; r < store.RecordCount; ++r)
                plot.FreeLargeLayer(r);
        }
        for (auto& channel : store.WaveSamples)
            for (auto& record : channel)
                record.fill(0);
    }
    store.RecordCount = 0;
    plot.SetChannelCaption(QString());
}

void WaveActive::New(TWaveStore& store, TPlotRequests& plot) {
    EmptyStore(store, plot);
    store.SingleRecordView = false;
    store.SingleTraceDrawing = false;
}

void WaveActive::DelThis(TWaveStore& store, TPlotRequests& plot) {
    const int n = store.RecordCount;
    const int k = store.CurrentRecord;
    // The current record is outside the store only after Load one left it from an
    // earlier store; there is then nothing of it to delete.
    if (n == 0 || k < 0 || k >= n)
        return;
    if (k == n - 1) {
        FreeRecordLayers(plot, n - 1);
        store.RecordCount = n - 1;
        store.CurrentRecord = k - 1;
        if (store.CurrentRecord >= 0)
            ShowCurrent(store, plot, store.CurrentRecord, 0);
        return;
    }
    for (int strip = 0; strip < Strips; ++strip)
        plot.ClearStripLayer(strip, k);
    plot.ClearLargeLayer(k);
    for (auto& channel : store.WaveSamples)
        channel[static_cast<size_t>(k)] = channel[static_cast<size_t>(n - 1)];
    store.RecordLength[static_cast<size_t>(k)] = store.RecordLength[static_cast<size_t>(n - 1)];
    FreeRecordLayers(plot, n - 1);
    store.RecordCount = n - 1;
    ShowCurrent(store, plot, k, 0);
}

bool WaveActive::Next(TWaveStore& store, TPlotRequests& plot) {
    bool moved = false;
    if (store.RecordCount > 0 && store.CurrentRecord < store.RecordCount - 1) {
        store.PreviousRecord = store.CurrentRecord;
        ++store.CurrentRecord;
        ShowCurrent(store, plot, store.CurrentRecord, store.PreviousRecord);
        moved = true;
    }
    store.SingleTraceDrawing = false;
    return moved;
}

bool WaveActive::Last(TWaveStore& store, TPlotRequests& plot) {
    bool moved = false;
    if (store.RecordCount > 0 && store.CurrentRecord > 0) {
        store.PreviousRecord = store.CurrentRecord;
        // A current record left beyond the store by Load one steps back into it.
        store.CurrentRecord = std::min(store.CurrentRecord, store.RecordCount) - 1;
        ShowCurrent(store, plot, store.CurrentRecord, store.PreviousRecord);
        moved = true;
    }
    store.SingleTraceDrawing = false;
    return moved;
}

bool WaveActive::MakeCurrent(TWaveStore& store, TPlotRequests& plot, int record) {
    if (record < 0 || record >= store.RecordCount || record == store.CurrentRecord)
        return false;
    store.PreviousRecord = store.CurrentRecord;
    store.CurrentRecord = record;
    // A current record left beyond the store by Load one has no layer to redraw.
    ShowCurrent(store, plot, record,
                store.PreviousRecord < store.RecordCount ? store.PreviousRecord : -1);
    store.SingleTraceDrawing = false;
    return true;
}

void WaveActive::Load(TWaveStore& store, TPlotRequests& plot, const QByteArray& block) {
    WaveFile::CopyRecords(block, store);
    const int n = store.RecordCount;
    store.CurrentRecord = n - 1;
    for (int strip = 0; strip < Strips; ++strip) {
        for (int r = 0; r < n; ++r) {
            plot.AddStripLayer(strip, r);
            plot.DrawStripRecord(strip, r, r - 1);
        }
        plot.RaiseTopLayer(strip);
    }
    for (int r = 0; r < n; ++r) {
        plot.AddLargeLayer(r);
        plot.DrawLargeRecord(0, r, r - 1);
    }
    plot.SetChannelCaption(QStringLiteral("ch0"));
    plot.RaiseOverlayLayers();
}

void WaveActive::LoadOne(TWaveStore& store, TPlotRequests& plot, const QByteArray& block) {
    WaveFile::CopyRecords(block, store);
    store.SingleRecordView = true;
    store.BrowseIndex = 0;
    for (int strip = 0; strip < Strips; ++strip) {
        plot.AddStripLayer(strip, 0);
        plot.DrawStripRecord(strip, 0, 0);
        plot.RaiseTopLayer(strip);
    }
    plot.AddLargeLayer(0);
    plot.DrawLargeRecord(0, 0, 0);
    plot.SetChannelCaption(QStringLiteral("ch0"));
    plot.RaiseOverlayLayers();
}

bool WaveActive::BrowseNext(TWaveStore& store, TPlotRequests& plot) {
    if (!store.SingleRecordView || store.BrowseIndex >= store.RecordCount - 1)
        return false;
    ++store.BrowseIndex;
    ShowBrowsed(store, plot);
    return true;
}

bool WaveActive::BrowseTo(TWaveStore& store, TPlotRequests& plot, int record) {
    if (!store.SingleRecordView || record < 0 || record >= store.RecordCount ||
        record == store.BrowseIndex)
        return false;
    store.BrowseIndex = record;
    ShowBrowsed(store, plot);
    return true;
}

bool WaveActive::BrowseLast(TWaveStore& store, TPlotRequests& plot) {
    if (!store.SingleRecordView || store.BrowseIndex <= 0)
        return false;
    --store.BrowseIndex;
    ShowBrowsed(store, plot);
    return true;
}
