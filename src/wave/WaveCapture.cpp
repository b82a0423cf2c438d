#include "WaveCapture.h"

namespace {
constexpr int HeaderSize = 3;
constexpr uint8_t Header[HeaderSize] = {0x55, 0xAA, 0x08};
} // namespace

TCaptureReport TWaveCapture::ReadWavePackets(std::span<const uint8_t> bytes, TWaveStore& store,
                                             TPlotRequests& plot, int64_t nowMs) {
    TCaptureReport report;
    if (!bytes.empty()) {
        // A lost packet whose channel the next coin happens to send first would
        // otherwise complete the record with that coin's packets.
        if (PacketsInRecord > 0 && nowMs - lastBytesMs > QuietLimitMs)
            AbandonRecord(store, plot);
        lastBytesMs = nowMs;
    }
    for (const uint8_t b : bytes) {
        const bool headerEnds = recent[0] == Header[0] && recent[1] == Header[1] && b == Header[2];
        recent = {recent[1], b};
        if (headerEnds) {
            // A header before the 308th byte: the packet being collected lost bytes on
            // the line. Filing it would mix two packets, so it goes.
            if (CaptureActive)
                ++DroppedPackets;
            CaptureBuffer[0] = Header[0];
            CaptureBuffer[1] = Header[1];
            CaptureBuffer[2] = Header[2];
            CapturePos = HeaderSize;
            CaptureActive = true;
            continue;
        }
        if (!CaptureActive)
            continue; // between packets: nothing to collect
        CaptureBuffer[static_cast<size_t>(CapturePos)] = b;
        if (++CapturePos == PacketSize) {
            CaptureActive = false;
            CaptureDone = true;
            CapturePos = 0;
            FilePacket(store, plot, report);
        }
    }

    // The length of the latest bytes, or of an earlier packet until the new one's
    // bytes 5 and 6 are in. A record's length is that of its last packet.
    report.Length = BufferLength();
    if (store.RecordCount < TWaveStore::WaveMaxRecords)
        store.RecordLength[static_cast<size_t>(store.RecordCount)] = report.Length;
    // Every delivery ends single-trace drawing, unless a packet met the full store.
    if (!report.StoreFull)
        store.SingleTraceDrawing = false;
    return report;
}

void TWaveCapture::FilePacket(TWaveStore& store, TPlotRequests& plot, TCaptureReport& report) {
    CaptureDone = false;
    const int32_t channel = CaptureBuffer[7];
    if (channel < 0 || channel >= TWaveStore::Channels) {
        // No such strip: writing it would run past the six channels.
        ++DroppedPackets;
        return;
    }
    const auto c = static_cast<size_t>(channel);
    for (size_t k = 0; k < SamplesPerPacket; ++k)
        store.LiveWave[c][k] = CaptureBuffer[8 + k];
    // A room maker that says yes and leaves the store full must not let the packet be
    // written past the last record.
    if (store.RecordCount >= TWaveStore::WaveMaxRecords &&
        (!MakeRoom || !MakeRoom(store, plot) || store.RecordCount >= TWaveStore::WaveMaxRecords)) {
        report.StoreFull = true; // only the live wave follows the board
        return;
    }

    // A coin sends each channel once: a second packet of a channel belongs to the
    // next coin, and the record so far lost a packet.
    const auto bit = static_cast<uint8_t>(1u << c);
    if (ChannelsInRecord & bit)
        AbandonRecord(store, plot);

    const int32_t record = store.RecordCount;
    const auto r = static_cast<size_t>(record);
    for (size_t k = 0; k < SamplesPerPacket; ++k)
        store.WaveSamples[c][r][k] = CaptureBuffer[8 + k];
    store.RecordLength[r] = BufferLength();
    ++PacketsInRecord;
    ChannelsInRecord |= bit;
    if (PacketsInRecord == 1)
        plot.AddLargeLayer(record);
    plot.RaiseOverlayLayers();
    if (PacketsInRecord == TWaveStore::Channels) {
        // Six packets of six different channels: one whole coin.
        for (int strip = 0; strip < TWaveStore::Channels; ++strip) {
            plot.AddStripLayer(strip, record);
            plot.DrawStripRecord(strip, record, record - 1);
        }
        PacketsInRecord = 0;
        ChannelsInRecord = 0;
        store.CurrentRecord = record;
        ++store.RecordCount;
        report.RecordClosed = true;
    }
    report.Filed = true;
}

void TWaveCapture::AbandonRecord(TWaveStore& store, TPlotRequests& plot) {
    if (PacketsInRecord == 0)
        return;
    // The layer was made with the record's first packet, at the index it fills.
    plot.FreeLargeLayer(store.RecordCount);
    PacketsInRecord = 0;
    ChannelsInRecord = 0;
    ++AbandonedRecords;
}
