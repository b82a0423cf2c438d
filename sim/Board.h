// The KRV2 board itself, without any I/O: it takes the requests the tool sends, keeps
// the board's state (coin table, memory, acceptance, wave method), lets coins arrive
// as time passes and queues the bytes it would put on the line. Deterministic for a
// given seed and sequence of calls; time is whatever the caller says it is.
#pragma once

#include "Protocol.h"
#include "RequestParser.h"
#include "Rng.h"
#include "Sensors.h"

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace krv2sim {

// A step of a coin script: `count` coins of `type` (1..8, 0 for a slug), one after
// the other.
struct CoinBatch {
    int type = 0;
    int count = 0;
    friend bool operator==(const CoinBatch&, const CoinBatch&) = default;
};

struct BoardConfig {
    uint64_t seed = 1;
    Micros coinMin = std::chrono::milliseconds(1000);
    Micros coinMax = std::chrono::milliseconds(2000);
    double sensorErrorChance = 0.05; // per coin, in counting mode
    double sensorOffChance = 0.05;   // per sensor report
    double rejectChance = 0.08;      // a good coin turned away now and then
    double slugChance = 0.08;
    uint8_t dip = 0xA5;
    std::string firmware = "KRV2 V1.10";
    std::string id = "K2SIM00001";
    // Time one byte takes on the line; coins wait for the previous coin's waves to be
    // sent. Zero when the line is as fast as the reader.
    Micros bytePeriod{0};
    // The coins to send, in order, and then no more; empty: coins of any kind for as
    // long as the board accepts them.
    std::vector<CoinBatch> coinScript;
};

// One unit of output: a reply, an event or a wave packet.
struct Message {
    enum class Kind { framed, plain }; // framed ones carry a checksum
    Kind kind = Kind::plain;
    Bytes bytes;
    std::string what; // for the log
};

enum class WaveMethod : uint8_t { none, all, add, reject };

class Board {
public:
    static constexpr int channelCount = 9;
    static constexpr int recordSize = 8;
    static constexpr size_t memorySize = 65536;
    using Record = std::array<uint8_t, recordSize>;

    explicit Board(BoardConfig config);

    // `refuse`: answer NAK where ACK was due and leave the state as it was.
    // Returns false for a request the board does not act on (malformed).
    bool handle(const Request& request, Micros now, bool refuse = false);
    // Lets the coins due by `now` arrive.
    void advance(Micros now);
    std::optional<Micros> nextEvent() const;
    std::deque<Message>& output() { return queue; }

    bool accepting() const { return coinsOn; }
    WaveMethod waveMethod() const { return method; }
    const Record& record(int channel) const { return table[channel]; }
    std::span<const uint8_t> memory() const { return mem; }

private:
    bool handleFrame(const Request& request, Micros now, bool refuse);
    void handleRaw(uint8_t code, Micros now);
    void startCoins(Micros now);
    size_t coinArrives(); // returns the bytes it queued
    // The next scripted coin's type; only while the script has coins left.
    int nextScriptedCoin();
    bool scriptDone() const;
    Micros nextInterval();
    uint32_t offset(uint16_t address, uint8_t length, size_t i) const;
    void ack(bool memoryKind, bool refuse);
    void nak(bool memoryKind);
    void send(Message::Kind kind, Bytes bytes, std::string what);

    BoardConfig cfg;
    Rng rng;
    Sensors sensors;
    std::array<Record, channelCount> table{};
    std::array<Record, channelCount> stored{};
    Bytes mem;
    // Lines written since write start, in order of first write; a line sent again
    // (the tool repeats one it got no answer for) replaces its earlier data.
    std::vector<std::pair<uint16_t, Bytes>> writeRun;
    bool coinsOn = false;
    WaveMethod method = WaveMethod::none;
    Micros nextCoin{0};
    uint8_t coinSequence = 0;
    size_t scriptStep = 0; // batch of the coin script now being sent
    int scriptSent = 0;    // coins of that batch sent so far
    std::array<uint8_t, 16> outputs{};
    std::deque<Message> queue;
};

} // namespace krv2sim
