// Feeds arbitrary bytes to wave capture twice: one byte a delivery, and in deliveries of
// the sizes the input chooses. Where the deliveries are cut must not change what is
// filed: the same records, counts and live waves either way. Input: one byte choosing
// how often the line goes quiet for two seconds (0: never), then the stream, with a
// delivery size taken from the stream itself wherever a delivery starts.
#include "FuzzCheck.h"
#include "PlotRequests.h"
#include "WaveCapture.h"
#include "WaveStore.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace {

// A 9600-baud byte takes about a millisecond; a quiet spell adds two seconds.
int64_t ArrivalMs(size_t offset, size_t quietEvery) {
    const auto spells = quietEvery ? offset / quietEvery : 0;
    return static_cast<int64_t>(offset + 2000 * spells);
}

struct TRun {
    std::unique_ptr<TWaveStore> store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TNoPlot plot;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t quietEvery = size_t{data[0]} * 37;
    const std::span<const uint8_t> stream(data + 1, size - 1);

    TRun single;
    for (size_t i = 0; i < stream.size(); ++i)
        single.capture.ReadWavePackets(stream.subspan(i, 1), *single.store, single.plot,
                                       ArrivalMs(i, quietEvery));

    TRun chunked;
    for (size_t at = 0; at < stream.size();) {
        size_t n = std::min<size_t>(stream[at] % 97 + 1, stream.size() - at);
        // A quiet spell always falls between two deliveries.
        if (quietEvery)
            n = std::min(n, quietEvery - at % quietEvery);
        chunked.capture.ReadWavePackets(stream.subspan(at, n), *chunked.store, chunked.plot,
                                        ArrivalMs(at, quietEvery));
        at += n;
    }

    const TWaveStore& a = *single.store;
    const TWaveStore& b = *chunked.store;
    FUZZ_REQUIRE(a.RecordCount == b.RecordCount);
    FUZZ_REQUIRE(a.RecordCount >= 0 && a.RecordCount <= TWaveStore::WaveMaxRecords);
    FUZZ_REQUIRE(single.capture.DroppedPackets == chunked.capture.DroppedPackets);
    FUZZ_REQUIRE(single.capture.AbandonedRecords == chunked.capture.AbandonedRecords);
    FUZZ_REQUIRE(single.capture.PacketsInRecord == chunked.capture.PacketsInRecord);
    FUZZ_REQUIRE(single.capture.PacketsInRecord < TWaveStore::Channels);
    FUZZ_REQUIRE(a.LiveWave == b.LiveWave);
    for (size_t r = 0; r < static_cast<size_t>(a.RecordCount); ++r) {
        FUZZ_REQUIRE(a.RecordLength[r] == b.RecordLength[r]);
        for (size_t c = 0; c < TWaveStore::Channels; ++c)
            FUZZ_REQUIRE(a.WaveSamples[c][r] == b.WaveSamples[c][r]);
    }
    return 0;
}
