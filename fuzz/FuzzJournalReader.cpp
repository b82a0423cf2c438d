// Reads arbitrary bytes as a line journal. Whatever it takes must be what the format
// promises (events in time order, each with bytes), and must come back the same when
// written out again as a journal; what it refuses comes with a message naming the
// journal. A cut note only ever ends a reading that was not refused.
#include "FuzzCheck.h"
#include "Journal.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

struct TRead {
    bool headerRead = false;
    bool refused = false;
    QString writer;
    QString note;
    std::vector<TJournalEvent> events;
};

TRead Read(QByteArray text) {
    QBuffer in(&text);
    in.open(QIODevice::ReadOnly);
    TJournalReader reader(in, QStringLiteral("fuzz.txt"));
    TRead r;
    QString error;
    r.headerRead = reader.ReadHeader(error);
    if (!r.headerRead) {
        FUZZ_REQUIRE(error.startsWith(QStringLiteral("fuzz.txt")));
        return r;
    }
    r.writer = reader.Writer();
    for (;;) {
        TJournalEvent event;
        const auto step = reader.Next(event, error);
        if (step == TJournalReader::TStep::End)
            break;
        if (step == TJournalReader::TStep::Bad) {
            FUZZ_REQUIRE(error.startsWith(QStringLiteral("fuzz.txt line ")));
            r.refused = true;
            break;
        }
        r.events.push_back(std::move(event));
    }
    r.note = reader.CutNote();
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TRead r =
        Read(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!r.headerRead)
        return 0;
    int64_t last = 0;
    for (const TJournalEvent& e : r.events) {
        FUZZ_REQUIRE(!e.Bytes.empty() && e.Bytes.size() <= Journal::MaxEventBytes);
        FUZZ_REQUIRE(e.TimeUs >= last);
        last = e.TimeUs;
    }
    FUZZ_REQUIRE(!(r.refused && !r.note.isEmpty()));

    // Written out again, the events read back the same, with nothing cut.
    std::string text = Journal::HeaderLine(r.writer);
    for (const TJournalEvent& e : r.events)
        Journal::AppendEvent(text, e.TimeUs, e.Direction, e.Bytes);
    const TRead again = Read(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    FUZZ_REQUIRE(again.headerRead && !again.refused && again.note.isEmpty());
    FUZZ_REQUIRE(again.writer == r.writer);
    FUZZ_REQUIRE(again.events.size() == r.events.size());
    for (size_t i = 0; i < r.events.size(); ++i) {
        FUZZ_REQUIRE(again.events[i].TimeUs == r.events[i].TimeUs);
        FUZZ_REQUIRE(again.events[i].Direction == r.events[i].Direction);
        FUZZ_REQUIRE(again.events[i].Bytes == r.events[i].Bytes);
    }
    return 0;
}
