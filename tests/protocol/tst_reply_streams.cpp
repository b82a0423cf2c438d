// Random streams of valid replies with noise and cut replies between them, split at
// random points into deliveries: every whole reply must be read exactly once, in
// order, and nothing read may be made of bytes that did not arrive as one reply.
#include "Frame.h"
#include "Modes.h"
#include "MonitorReplies.h"
#include "ParameterTable.h"
#include "ReplyAssembly.h"

#include <QTest>

#include <cstdint>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

// splitmix64: the same cases with every compiler and standard library.
class TRng {
public:
    explicit TRng(uint64_t seed) : state(seed) {}
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    bool Percent(int p) { return Below(100) < p; }
    // Data bytes: 0x90 far more often than by chance, since it is the byte that hurts.
    uint8_t DataByte() { return Percent(20) ? FrameStart : static_cast<uint8_t>(Below(256)); }

private:
    uint64_t state;
};

// Kept apart from the code under test: a shared mistake in the sum must not hide.
uint8_t Sum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>(sum);
}

TBytes Frame(uint8_t code, const TBytes& payload) {
    TBytes f{FrameStart, static_cast<uint8_t>(payload.size() + 5), code};
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(FrameEnd);
    f.push_back(Sum(f));
    return f;
}

TBytes Payload(TRng& rng, int size) {
    TBytes p(static_cast<size_t>(size));
    for (uint8_t& b : p)
        b = rng.DataByte();
    return p;
}

// One valid reply as the board sends it in `mode`.
TBytes ValidReply(int mode, TRng& rng) {
    switch (mode) {
    case Mode::ParameterTable: {
        TBytes t{std::array<uint8_t, 3>{0x55, 0x00, 0xFF}[static_cast<size_t>(rng.Below(3))]};
        const TBytes records = Payload(rng, ParameterTableSize - 1);
        t.insert(t.end(), records.begin(), records.end());
        return t;
    }
    case Mode::SensorReport: {
        TBytes r{0x50};
        const TBytes readings = Payload(rng, 22);
        r.insert(r.end(), readings.begin(), readings.end());
        return r;
    }
    case Mode::SaveAnswer:
        return Frame(rng.Percent(80) ? 0x50 : 0x4B, {});
    case Mode::Monitor:
        if (rng.Percent(50))
            return Frame(0x12, {static_cast<uint8_t>(rng.Percent(80) ? 1 + rng.Below(8) : 0x88)});
        if (rng.Percent(50))
            return Frame(0x16, {static_cast<uint8_t>(1 + rng.Below(7))});
        return Frame(
            std::array<uint8_t, 4>{0x50, 0x4B, 0x11, 0x14}[static_cast<size_t>(rng.Below(4))], {});
    case Mode::Version:
    case Mode::DeviceId:
        if (rng.Percent(20))
            return Frame(0x4B, {}); // the short NAK
        return Frame(mode == Mode::Version ? 0x03 : 0x23, Payload(rng, 10));
    default: // the length-byte modes: any length a frame can have in the buffer
        return Frame(static_cast<uint8_t>(rng.Below(256)),
                     Payload(rng, rng.Below(TReplyAssembly::Capacity - 5 + 1)));
    }
}

bool IsStart(const TReplyRule& rule, uint8_t b) {
    switch (rule.start) {
    case TStartRule::TableByte:
        return b == 0x55 || b == 0x00 || b == 0xFF;
    case TStartRule::FrameByte:
        return b == FrameStart;
    case TStartRule::ReportByte:
        return b == 0x50;
    }
    return false;
}

// Whether a whole, well-summed frame of this mode's kind begins at `at`. Such a frame
// is a reply the board could have sent, so a stream holding one where none was put
// has no single right reading and is not used.
bool FrameAt(const TBytes& s, size_t at, const TReplyRule& rule) {
    if (s[at] != FrameStart || at + 1 >= s.size())
        return false;
    const int lengthByte = s[at + 1];
    int length = 0;
    switch (rule.complete) {
    case TCompleteRule::FixedCount:
        length = rule.shortReplyEnds && lengthByte == 5 ? 5 : rule.count;
        break;
    case TCompleteRule::StatusOrEvent:
        length = lengthByte == 5 || lengthByte == 6 ? lengthByte : 0;
        break;
    case TCompleteRule::LengthByte:
        length = lengthByte >= 4 && lengthByte <= TReplyAssembly::Capacity ? lengthByte : 0;
        break;
    }
    if (length == 0 || at + static_cast<size_t>(length) > s.size())
        return false;
    const auto frame = std::span<const uint8_t>(s).subspan(at, static_cast<size_t>(length));
    return Sum(frame.first(frame.size() - 1)) == frame.back();
}

struct TStream {
    TBytes bytes;
    std::vector<TBytes> replies;
};

// Replies with noise between them: bytes no reply starts with, and, where replies are
// framed, stray 0x90s and replies cut short by lost bytes. Empty when noise happened
// to form a valid frame.
TStream MakeStream(int mode, const TReplyRule& rule, TRng& rng) {
    const bool framed = rule.start == TStartRule::FrameByte;
    auto noiseByte = [&] {
        uint8_t b = 0;
        do
            b = static_cast<uint8_t>(rng.Below(256));
        while (IsStart(rule, b));
        return b;
    };
    TStream s;
    std::vector<size_t> starts;
    const int count = 1 + rng.Below(12);
    for (int n = 0; n < count; ++n) {
        for (int piece = rng.Below(4); piece > 0; --piece) {
            const int kind = framed ? rng.Below(3) : 0;
            if (kind == 0) {
                for (int i = rng.Below(8); i > 0; --i)
                    s.bytes.push_back(noiseByte());
            } else if (kind == 1) {
                const TBytes cut = ValidReply(mode, rng);
                s.bytes.insert(s.bytes.end(), cut.begin(),
                               cut.begin() + 1 + rng.Below(static_cast<int>(cut.size()) - 1));
            } else {
                for (int i = 1 + rng.Below(4); i > 0; --i)
                    s.bytes.push_back(rng.DataByte());
            }
        }
        starts.push_back(s.bytes.size());
        s.replies.push_back(ValidReply(mode, rng));
        s.bytes.insert(s.bytes.end(), s.replies.back().begin(), s.replies.back().end());
    }
    // Enough quiet bytes for any collection begun before the last reply to complete.
    for (int i = 0; i < TReplyAssembly::Capacity; ++i)
        s.bytes.push_back(noiseByte());

    if (framed) {
        size_t next = 0;
        for (size_t at = 0; at < s.bytes.size(); ++at) {
            if (next < starts.size() && at == starts[next]) {
                ++next;
                continue;
            }
            if (FrameAt(s.bytes, at, rule))
                return {};
        }
    }
    return s;
}

} // namespace

class TstReplyStreams : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyWholeReplyReadOnce_data();
    void everyWholeReplyReadOnce();
};

void TstReplyStreams::everyWholeReplyReadOnce_data() {
    QTest::addColumn<int>("mode");
    for (int mode :
         {Mode::ParameterTable, Mode::SaveAnswer, Mode::Version, Mode::Monitor, Mode::SensorReport,
          Mode::DeviceId, Mode::DipSwitch, Mode::ReadFinish, Mode::ReadStart, Mode::ReadLine,
          Mode::Verify, Mode::WriteFinish, Mode::WriteStart, Mode::WriteLine})
        QTest::addRow("mode %d", mode) << mode;
}

void TstReplyStreams::everyWholeReplyReadOnce() {
    QFETCH(int, mode);
    const TReplyRule rule = *RuleForMode(mode);
    const bool framed = rule.start == TStartRule::FrameByte;
    TRng rng(0x4B5256320000ull + static_cast<uint64_t>(mode));
    constexpr int Cases = 300;
    int used = 0;
    int replies = 0;
    for (int attempt = 0; used < Cases; ++attempt) {
        QVERIFY2(attempt < 2 * Cases, "noise forms valid frames too often to test");
        const TStream s = MakeStream(mode, rule, rng);
        if (s.replies.empty())
            continue;
        ++used;

        std::vector<TBytes> read;
        int passed = 0;
        TReplyAssembly assembly;
        size_t at = 0;
        while (at < s.bytes.size()) {
            const size_t size = std::min(
                s.bytes.size() - at,
                static_cast<size_t>(rng.Percent(90) ? 1 + rng.Below(24) : 1 + rng.Below(160)));
            assembly.Feed(std::span<const uint8_t>(s.bytes).subspan(at, size), rule,
                          [&](TReplyEnd, std::span<const uint8_t> reply) {
                              // A frame with a wrong sum is the reader's to discard.
                              if (framed && Sum(reply.first(reply.size() - 1)) != reply.back())
                                  return TAfterReply::Continue;
                              read.emplace_back(reply.begin(), reply.end());
                              if (mode == Mode::Monitor && DecodeMonitorReply(reply, true).passed)
                                  ++passed;
                              return TAfterReply::Continue;
                          });
            at += size;
        }
        if (read != s.replies) {
            QString sent;
            for (uint8_t b : s.bytes)
                sent += QString::asprintf("%02X ", b);
            QFAIL(qPrintable(QStringLiteral("case %1: %2 replies sent, %3 read; stream %4")
                                 .arg(used)
                                 .arg(s.replies.size())
                                 .arg(read.size())
                                 .arg(sent)));
        }
        if (mode == Mode::Monitor) {
            int sentPasses = 0;
            for (const TBytes& r : s.replies)
                sentPasses += r[2] == 0x12 && r[3] != 0x88;
            QCOMPARE(passed, sentPasses);
        }
        replies += static_cast<int>(s.replies.size());
    }
    QVERIFY(replies > Cases);
}

QTEST_APPLESS_MAIN(TstReplyStreams)
#include "tst_reply_streams.moc"
