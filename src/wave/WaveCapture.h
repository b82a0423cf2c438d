// Finds the board's wave packets in the bytes of mode-6 deliveries and files each one
// into the wave record being filled. Its state is its own and survives page changes.
// A record never holds two coins: one that cannot be completed from a single coin's
// packets is abandoned, and the store operations that move the records under it
// (New, Load, Del This) abandon it too.
#pragma once

#include "PlotRequests.h"
#include "WaveStore.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>

// What one delivery changed, for the page's labels.
struct TCaptureReport {
    int32_t Length = 0;        // the length value of the latest bytes (Label28)
    bool Filed = false;        // a packet went into a record (Label2, value boxes)
    bool RecordClosed = false; // a record became current (Label6)
    bool StoreFull = false;    // a packet came while the store held 200 records
};

class TWaveCapture {
public:
    static constexpr int PacketSize = 308;
    static constexpr int SamplesPerPacket = 299;

    // The board sends a coin's six packets back to back; a line quiet for longer than
    // this since a record's last packet means the rest of that coin is not coming.
    static constexpr int64_t QuietLimitMs = 1000;

    // Reads one delivery: any number of bytes, 0 and 1 included. `nowMs` is a
    // monotonic time of its arrival in milliseconds.
    TCaptureReport ReadWavePackets(std::span<const uint8_t> bytes, TWaveStore& store,
                                   TPlotRequests& plot, int64_t nowMs);

    // Gives up the record being filled, if any: its slot is not filed and its large
    // plot layer goes. Call before anything that moves the store's records.
    void AbandonRecord(TWaveStore& store, TPlotRequests& plot);
    // New: both counts start again.
    void ResetCounts() { DroppedPackets = AbandonedRecords = 0; }

    std::array<int32_t, PacketSize> CaptureBuffer{};
    int32_t CapturePos = 0;
    bool CaptureActive = false;
    bool CaptureDone = false;
    int32_t PacketsInRecord = 0;
    // Packets left unfiled: cut short by the next header, or naming no channel 0..5.
    int32_t DroppedPackets = 0;
    // Records given up before their sixth packet.
    int32_t AbandonedRecords = 0;
    // Bit c set: the record being filled holds a packet of channel c.
    uint8_t ChannelsInRecord = 0;

    // Asked when a packet comes to a full store: true once it has emptied the store
    // (saved elsewhere first), so the packet starts a new record; false keeps the
    // store as it is and the packet only reaches the live wave. None: the latter.
    std::function<bool(TWaveStore&, TPlotRequests&)> MakeRoom;

private:
    void FilePacket(TWaveStore& store, TPlotRequests& plot, TCaptureReport& report);
    int32_t BufferLength() const { return CaptureBuffer[5] * 256 + CaptureBuffer[6]; }

    // The two bytes before the current one, carried over from the previous delivery:
    // at 9600 baud a poll brings about ten bytes, so a header is often split.
    std::array<int, 2> recent{-1, -1};
    int64_t lastBytesMs = 0;
};
