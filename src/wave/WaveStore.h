// The wave records of the Get_Wave page: up to 200 coins, six channels of 300 samples
// each, with the state that capture, the page's store operations and the plot share.
// Fixed size and allocated once by its owner (about 1.5 MB, so keep it off the stack).
#pragma once

#include <array>
#include <cstdint>

struct TWaveStore {
    static constexpr int Channels = 6;
    static constexpr int WaveMaxRecords = 200;
    static constexpr int Samples = 300;

    // Channel is the outermost index, as in the .bwv file.
    std::array<std::array<std::array<int32_t, Samples>, WaveMaxRecords>, Channels> WaveSamples{};
    std::array<int32_t, WaveMaxRecords> RecordLength{};
    int32_t RecordCount = 0;
    int32_t CurrentRecord = 0;
    int32_t PreviousRecord = 0;
    // The latest packet of each channel, filed or not; never saved.
    std::array<std::array<int32_t, Samples>, Channels> LiveWave{};
    int32_t SelectedChannel = 0;   // the strip whose channel the large plot shows
    bool SingleRecordView = false; // filled by "Load one", browsed a record at a time
    int32_t BrowseIndex = 0;
    bool SingleTraceDrawing = false; // draw one record into one reused plot layer
};
