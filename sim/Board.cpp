#include "Board.h"

#include "WaveSynth.h"

#include <algorithm>

namespace krv2sim {

namespace {

Board::Record makeRecord(int value, bool disabled, uint8_t sorter, uint8_t dip) {
    return {static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value & 0xFF),
            0,
            static_cast<uint8_t>(disabled ? 1 : 0),
            0,
            sorter,
            0,
            dip};
}

Bytes textPayload(const std::string& text) {
    Bytes out(10, ' ');
    for (size_t i = 0; i < out.size() && i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        out[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return out;
}

} // namespace

Board::Board(BoardConfig config)
    : cfg(std::move(config)), rng(cfg.seed), sensors(cfg.sensorOffChance), mem(memorySize, 0xFF) {
    // A board as it leaves the factory: the usual coin set on channels 1..8, the
    // largest coin switched off, and a pulse worth 5 on the ninth record. Erased
    // memory reads 0xFF.
    table = {
        makeRecord(5, false, 0, 0),   makeRecord(10, false, 1, 3),  makeRecord(20, false, 1, 4),
        makeRecord(50, false, 2, 5),  makeRecord(100, false, 2, 6), makeRecord(200, false, 3, 0),
        makeRecord(500, false, 3, 0), makeRecord(1000, true, 3, 0), makeRecord(5, false, 0, 0)};
    stored = table;
}

void Board::send(Message::Kind kind, Bytes bytes, std::string what) {
    queue.push_back({kind, std::move(bytes), std::move(what)});
}

void Board::ack(bool memoryKind, bool refuse) {
    if (refuse)
        nak(memoryKind);
    else
        send(Message::Kind::framed, makeReply(reply::ack), "ACK");
}

void Board::nak(bool memoryKind) {
    send(Message::Kind::framed, makeReply(memoryKind ? reply::nakMemory : reply::nakProtocol),
         memoryKind ? "NAK (memory)" : "NAK");
}

bool Board::handle(const Request& request, Micros now, bool refuse) {
    switch (request.kind) {
    case Request::Kind::frame:
        return handleFrame(request, now, refuse);
    case Request::Kind::raw:
        handleRaw(request.bytes[1], now);
        return true;
    case Request::Kind::ignored:
        break;
    }
    return false;
}

bool Board::handleFrame(const Request& request, Micros now, bool refuse) {
    const Bytes& f = request.bytes;
    const uint8_t command = f[2];
    const CommandShape shape = commandShape(command);
    if (!request.checksumOk) {
        nak(shape.memory);
        return true;
    }
    if (shape.endByte && f[f.size() - 2] != frameEnd)
        return false;

    switch (command) {
    case cmd::enable:
        if (!refuse)
            startCoins(now);
        ack(false, refuse);
        return true;
    case cmd::disable:
        if (!refuse)
            coinsOn = false;
        ack(false, refuse);
        return true;
    case cmd::reset:
        // A restart: acceptance off, wave capture off, unsaved table changes lost.
        if (!refuse) {
            coinsOn = false;
            method = WaveMethod::none;
            table = stored;
        }
        ack(false, refuse);
        return true;
    case cmd::status:
        send(Message::Kind::framed, makeReply(coinsOn ? reply::idling : reply::disabled),
             coinsOn ? "status IDLING" : "status DISABLE");
        return true;
    case cmd::firmware:
    case cmd::deviceId: {
        const bool version = command == cmd::firmware;
        send(Message::Kind::framed,
             makeReply(command, textPayload(version ? cfg.firmware : cfg.id)),
             version ? "firmware version" : "ID");
        return true;
    }
    case cmd::dipSwitch: {
        const uint8_t dip[] = {cfg.dip};
        send(Message::Kind::framed, makeReply(cmd::dipSwitch, dip), "DIP switch");
        return true;
    }
    case cmd::sensorPoll: {
        // No checksum and no frame: the tool reads it from its first byte 0x50.
        Bytes report{0x50};
        for (uint16_t v : sensors.sample(rng)) {
            report.push_back(static_cast<uint8_t>(v >> 8));
            report.push_back(static_cast<uint8_t>(v & 0xFF));
        }
        report.push_back(cfg.dip);
        report.push_back(coinsOn ? 0x01 : 0x00);
        send(Message::Kind::plain, std::move(report), "sensor report");
        return true;
    }
    case cmd::setOutput:
        // Taken silently: an answer would land in the middle of the sensor report
        // reader's collection.
        outputs[f[3] & 0x0F] = f[4];
        return true;
    case cmd::channelRecord: {
        const uint8_t index = f[3];
        if (index >= channelCount)
            return false;
        std::copy(f.begin() + 4, f.begin() + 4 + recordSize, table[index].begin());
        return true;
    }
    case cmd::storeParams:
        if (f[3] != 0x55)
            return false;
        if (!refuse)
            stored = table;
        ack(false, refuse);
        return true;
    case cmd::readParams: {
        if (f[3] != 0x55)
            return false;
        Bytes out{0x55};
        for (const Record& r : table)
            out.insert(out.end(), r.begin(), r.end());
        send(Message::Kind::plain, std::move(out), "parameter table");
        return true;
    }
    case cmd::readStart:
    case cmd::readFinish:
    case cmd::writeFinish:
        ack(true, refuse);
        return true;
    case cmd::writeStart:
        if (!refuse)
            writeRun.clear();
        ack(true, refuse);
        return true;
    case cmd::readLine: {
        const auto address = static_cast<uint16_t>(f[3] << 8 | f[4]);
        const uint8_t length = f[5];
        // The answer must fit one length byte: L + 7 <= 255.
        if (length == 0 || length > 248) {
            nak(true);
            return true;
        }
        Bytes payload{f[3], f[4]};
        for (size_t i = 0; i < length; ++i)
            payload.push_back(mem[offset(address, length, i)]);
        send(Message::Kind::framed, makeReply(cmd::readLine, payload), "line data");
        return true;
    }
    case cmd::writeLine: {
        if (refuse) {
            nak(true);
            return true;
        }
        const auto address = static_cast<uint16_t>(f[3] << 8 | f[4]);
        const auto length = static_cast<uint8_t>(f.size() - 7);
        Bytes data(f.begin() + 5, f.begin() + 5 + length);
        for (size_t i = 0; i < length; ++i)
            mem[offset(address, length, i)] = data[i];
        auto same = std::find_if(writeRun.begin(), writeRun.end(),
                                 [&](const auto& line) { return line.first == address; });
        if (same != writeRun.end())
            same->second = std::move(data);
        else
            writeRun.emplace_back(address, std::move(data));
        ack(true, false);
        return true;
    }
    case cmd::verify: {
        uint16_t crc = 0;
        for (const auto& line : writeRun)
            crc = crc16Xmodem(line.second, crc);
        const uint8_t payload[] = {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
        send(Message::Kind::framed, makeReply(cmd::verify, payload), "verification CRC");
        return true;
    }
    default:
        return false;
    }
}

uint32_t Board::offset(uint16_t address, uint8_t length, size_t i) const {
    // Lines are `length` bytes each, so the line address scales by it; the memory
    // is 64 KiB and a line running past its end wraps to the start.
    return static_cast<uint32_t>((static_cast<size_t>(address) * length + i) % memorySize);
}

void Board::handleRaw(uint8_t code, Micros now) {
    switch (code) {
    case raw::countingTest:
        method = WaveMethod::none;
        startCoins(now);
        break;
    case raw::waveNone:
        method = WaveMethod::none;
        break;
    case raw::waveAll:
    case raw::waveAdd:
    case raw::waveReject:
        method = code == raw::waveAll   ? WaveMethod::all
                 : code == raw::waveAdd ? WaveMethod::add
                                        : WaveMethod::reject;
        // Capturing needs coins coming in, with or without an enable first.
        startCoins(now);
        break;
    default:
        break;
    }
}

Micros Board::nextInterval() {
    return Micros(rng.between(cfg.coinMin.count(), cfg.coinMax.count()));
}

void Board::startCoins(Micros now) {
    if (coinsOn)
        return;
    coinsOn = true;
    nextCoin = now + nextInterval();
}

std::optional<Micros> Board::nextEvent() const {
    if (!coinsOn || scriptDone())
        return std::nullopt;
    return nextCoin;
}

bool Board::scriptDone() const {
    return !cfg.coinScript.empty() && scriptStep >= cfg.coinScript.size();
}

int Board::nextScriptedCoin() {
    const CoinBatch& batch = cfg.coinScript[scriptStep];
    if (++scriptSent >= batch.count) {
        ++scriptStep;
        scriptSent = 0;
    }
    return batch.type;
}

void Board::advance(Micros now) {
    while (coinsOn && !scriptDone() && nextCoin <= now) {
        const Micros at = nextCoin;
        // The next coin cannot come before this one's report has left the board.
        const auto airtime = cfg.bytePeriod * static_cast<int64_t>(coinArrives());
        nextCoin = at + airtime + nextInterval();
        // After a long stall (the process was stopped) carry on, do not catch up.
        if (nextCoin + std::chrono::seconds(2) < now)
            nextCoin = now + nextInterval();
    }
}

size_t Board::coinArrives() {
    CoinPassage coin;
    bool passed = false;
    if (!cfg.coinScript.empty()) {
        // A scripted coin passes as its kind whatever the coin table says, so that its
        // record's Result names the kind the script gave; a slug never passes.
        coin.type = nextScriptedCoin();
        passed = coin.type > 0;
    } else {
        coin.type = rng.chance(cfg.slugChance) ? 0 : static_cast<int>(rng.between(1, 8));
        const bool disabled = coin.type > 0 && table[coin.type - 1][3] == 1;
        passed = coin.type > 0 && !disabled && !rng.chance(cfg.rejectChance);
    }
    coin.result = passed ? static_cast<uint8_t>(coin.type) : reply::coinRejected;
    coin.sequence = coinSequence++;
    coin.temperature = sensors.temperature();
    if (passed) {
        const Record& r = table[coin.type - 1];
        const Record& pulse = table[channelCount - 1];
        const int value = r[0] << 8 | r[1];
        const int pulseValue = std::max(1, pulse[0] << 8 | pulse[1]);
        coin.pulses = std::min(255, value / pulseValue);
    }

    if (method == WaveMethod::none) {
        const uint8_t result[] = {coin.result};
        Bytes event = makeReply(reply::coinEvent, result);
        size_t bytes = event.size();
        send(Message::Kind::framed, std::move(event),
             passed ? "coin " + std::to_string(coin.result) + " passed" : "coin not passed");
        if (rng.chance(cfg.sensorErrorChance)) {
            // Sensor 7 exists on the board but the tool has only six lamps.
            const uint8_t sensor[] = {
                static_cast<uint8_t>(rng.chance(0.15) ? 7 : rng.between(1, 6))};
            Bytes error = makeReply(reply::sensorError, sensor);
            bytes += error.size();
            send(Message::Kind::framed, std::move(error),
                 "sensor " + std::to_string(sensor[0]) + " error");
        }
        return bytes;
    }
    const bool wanted = method == WaveMethod::all || (method == WaveMethod::add && passed) ||
                        (method == WaveMethod::reject && !passed);
    if (!wanted)
        return 0;
    WavePackets packets = synthesizeWave(coin, rng);
    size_t bytes = 0;
    for (int c = 0; c < waveChannels; ++c) {
        bytes += packets[c].size();
        send(Message::Kind::plain, std::move(packets[c]),
             "wave packet, coin #" + std::to_string(coin.sequence) + " result " +
                 std::to_string(coin.result) + ", channel " + std::to_string(c));
    }
    return bytes;
}

} // namespace krv2sim
