// Finds the board's wave packets in the bytes of mode-6 deliveries and files each one
// into the wave record being filled. Its state is its own and survives page changes,
// New and Load: a record half filled before them continues afterwards.
#pragma once

#include "PlotRequests.h"
#include "WaveStore.h"

#include <array>
#include <cstdint>
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

    // Reads one delivery: any number of bytes, 0 and 1 included.
    TCaptureReport ReadWavePackets(std::span<const uint8_t> bytes, TWaveStore& store,
                                   TPlotRequests& plot);

    std::array<int32_t, PacketSize> CaptureBuffer{};
    int32_t CapturePos = 0;
    bool CaptureActive = false;
    bool CaptureDone = false;
    int32_t PacketsInRecord = 0;
    // Packets left unfiled: cut short by the next header, or naming no channel 0..5.
    int32_t DroppedPackets = 0;

private:
    void FilePacket(TWaveStore& store, TPlotRequests& plot, TCaptureReport& report);
    int32_t BufferLength() const { return CaptureBuffer[5] * 256 + CaptureBuffer[6]; }

    // The two bytes before the current one, carried over from the previous delivery:
    // at 9600 baud a poll brings about ten bytes, so a header is often split.
    std::array<int, 2> recent{-1, -1};
};
