#include "Options.h"

#include <charconv>
#include <cstdlib>

namespace krv2sim {

namespace {

template <typename T> bool parseNumber(const std::string& text, T& value, int base = 10) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool parseProbability(const std::string& text, double& p) {
    char* end = nullptr;
    p = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && p >= 0.0 && p <= 1.0;
}

bool parseInterval(const std::string& text, Micros& lo, Micros& hi) {
    const auto dash = text.find('-');
    unsigned a = 0;
    unsigned b = 0;
    if (!parseNumber(text.substr(0, dash), a))
        return false;
    b = a;
    if (dash != std::string::npos && !parseNumber(text.substr(dash + 1), b))
        return false;
    if (a == 0 || b < a)
        return false;
    lo = std::chrono::milliseconds(a);
    hi = std::chrono::milliseconds(b);
    return true;
}

bool parseSpeed(const std::string& text, double& speed) {
    char* end = nullptr;
    speed = std::strtod(text.c_str(), &end);
    // Beyond 1000 times the gaps are below what a poll can tell apart anyway.
    return !text.empty() && end == text.c_str() + text.size() && speed > 0.0 && speed <= 1000.0;
}

bool parseText(const std::string& text, std::string& out) {
    if (text.empty() || text.size() > 10)
        return false;
    for (char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    out = text;
    return true;
}

// "3x40,8x20,slugx10": coins of kind 3, then 8, then slugs.
bool parseCoinScript(const std::string& text, std::vector<CoinBatch>& script) {
    script.clear();
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        const size_t x = item.find('x', item.rfind("slug", 0) == 0 ? 4 : 0);
        if (x == std::string::npos)
            return false;
        const std::string kind = item.substr(0, x);
        CoinBatch batch;
        if (kind != "slug" && (!parseNumber(kind, batch.type) || batch.type < 1 || batch.type > 8))
            return false;
        if (!parseNumber(item.substr(x + 1), batch.count) || batch.count < 1 ||
            batch.count > maxScriptedCoins)
            return false;
        script.push_back(batch);
        at = comma + 1;
    }
    return true;
}

} // namespace

bool parseOptions(std::span<const std::string> args, Options& o, std::string& error) {
    bool speedGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto needValue = [&]() {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto bad = [&](const char* what) {
            error = "bad value for ";
            error.append(name).append(": '").append(value).append("' (").append(what).append(")");
            return false;
        };
        auto probability = [&](double& p) {
            if (!needValue())
                return false;
            return parseProbability(value, p) || bad("a probability from 0 to 1");
        };

        FaultConfig& f = o.sim.faults;
        BoardConfig& b = o.sim.board;
        if (name == "-h" || name == "--help") {
            o.help = true;
        } else if (name == "-v" || name == "--verbose") {
            o.verbose = true;
        } else if (name == "--fast") {
            o.sim.baud = 0;
        } else if (name == "--nak") {
            f.nak = true;
        } else if (name == "--link") {
            if (!needValue())
                return false;
            if (value.empty())
                return bad("a path");
            o.link = value;
        } else if (name == "--replay") {
            if (!needValue())
                return false;
            if (value.empty())
                return bad("a journal file");
            o.replay = value;
        } else if (name == "--speed") {
            if (!needValue())
                return false;
            if (!parseSpeed(value, o.speed))
                return bad("a factor above 0, at most 1000");
            speedGiven = true;
        } else if (name == "--seed") {
            if (!needValue())
                return false;
            if (!parseNumber(value, b.seed))
                return bad("a whole number");
            o.seedGiven = true;
        } else if (name == "--coin-interval") {
            if (!needValue())
                return false;
            if (!parseInterval(value, b.coinMin, b.coinMax))
                return bad("MIN or MIN-MAX in milliseconds, MIN at least 1");
        } else if (name == "--coins") {
            if (!needValue())
                return false;
            if (!parseCoinScript(value, b.coinScript))
                return bad("KINDxCOUNT items joined by commas, KIND 1..8 or slug, COUNT 1..100000, "
                           "e.g. 3x40,8x20,slugx10");
        } else if (name == "--dip") {
            if (!needValue())
                return false;
            std::string digits =
                value.rfind("0x", 0) == 0 || value.rfind("0X", 0) == 0 ? value.substr(2) : value;
            if (digits.size() > 2 || !parseNumber(digits, b.dip, 16))
                return bad("one byte in hexadecimal, e.g. A5");
        } else if (name == "--firmware") {
            if (!needValue())
                return false;
            if (!parseText(value, b.firmware))
                return bad("1 to 10 printable ASCII characters");
        } else if (name == "--id") {
            if (!needValue())
                return false;
            if (!parseText(value, b.id))
                return bad("1 to 10 printable ASCII characters");
        } else if (name == "--sensor-errors") {
            if (!probability(b.sensorErrorChance))
                return false;
        } else if (name == "--bad-checksum") {
            if (!probability(f.badChecksum))
                return false;
        } else if (name == "--drop-requests") {
            if (!probability(f.dropRequests))
                return false;
        } else if (name == "--drop-bytes") {
            if (!probability(f.dropBytes))
                return false;
        } else if (name == "--insert-bytes") {
            if (!probability(f.insertBytes))
                return false;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (speedGiven && o.replay.empty()) {
        error = "--speed needs --replay";
        return false;
    }
    return true;
}

std::string helpText() {
    return R"(Usage: krv2sim [OPTIONS]

A simulated KRV2 coin acceptor board on a pseudo-terminal. Prints the path of the
serial end as the first line of standard output, then serves requests until it gets
SIGINT, SIGTERM or SIGHUP. The serial end may be closed and reopened at any time;
the board keeps its state while krv2sim runs.

Board:
  --link PATH           also make a symlink PATH to the serial end (removed on exit)
  --fast                write replies at once instead of at 9600 baud 8N1
  --seed N              seed for coins, readings and faults (default: random)
  --coin-interval MIN[-MAX]
                        milliseconds between coins while accepting (default 1000-2000)
  --coins SCRIPT        the coins to send, in order, and then no more: KINDxCOUNT
                        items joined by commas, KIND 1..8 or slug, e.g.
                        3x40,8x20,slugx10. Each coin passes as its kind whatever
                        the coin table says, so its wave record's Result (channel 0
                        sample 255) is the kind; a slug's is 0x88
  --sensor-errors P     chance per coin of a sensor error event (default 0.05)
  --dip HEX             DIP switch byte (default A5)
  --firmware TEXT       firmware version text, up to 10 characters (default "KRV2 V1.10")
  --id TEXT             device ID text, up to 10 characters (default "K2SIM00001")

Faults (P is a probability from 0 to 1; none given: a well-behaved board):
  --bad-checksum P      spoil the checksum of a framed reply
  --nak                 refuse everything that would be acknowledged, with NAK
                        (0x4B, memory commands 0x48); the request is not carried out
  --drop-requests P     leave a request unanswered, as if it never arrived
  --drop-bytes P        lose a byte on the way out
  --insert-bytes P      add a random byte on the way out

Replay:
  --replay JOURNAL      play the board's side of a line journal (krv2tool or krv2ctl
                        --journal) instead of being a board: what the board sent goes
                        out with its recorded timing; at each of the tool's recorded
                        writes the replay waits for the tool to send as many bytes
  --speed X             play X times faster (0 < X <= 1000, default 1)

Other:
  -v, --verbose         log every frame received and sent on standard error
  -h, --help            show this text
)";
}

} // namespace krv2sim
