// What a technician knows about each wave record: the coin's kind ("10c"), whether it
// is genuine, whether it stays out of the statistics, and a note. One label per store
// slot; a record without one is "unknown" with no kind.
#pragma once

#include "WaveStore.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

enum class TCoinClass : uint8_t { Unknown = 0, Genuine = 1, Fake = 2 };

// "genuine", "fake", "unknown": the words of files, tables and the command line.
QString ClassName(TCoinClass c);
std::optional<TCoinClass> ClassFromName(QStringView name);

struct TRecordLabel {
    QString Kind;
    TCoinClass Class = TCoinClass::Unknown;
    bool Excluded = false;
    QString Note;

    bool IsEmpty() const {
        return Kind.isEmpty() && Class == TCoinClass::Unknown && !Excluded && Note.isEmpty();
    }
    friend bool operator==(const TRecordLabel&, const TRecordLabel&) = default;
};

class TWaveLabels {
public:
    // What the file's trailer can carry: the kind's and the note's UTF-8 bytes.
    static constexpr int MaxKindBytes = 255;
    static constexpr int MaxNoteBytes = 65535;

    // Why `label` cannot be kept (too long), empty when it can.
    static QString Problem(const TRecordLabel& label);

    const TRecordLabel& At(int record) const;
    // False, changing nothing, for a record outside the store or a label with a Problem.
    bool Set(int record, const TRecordLabel& label);
    void Clear();
    // Del This: the last record moves into the deleted one's slot, its label with it.
    void MoveRecord(int from, int to);
    // Whether any of records 0..count-1 carries a label.
    bool AnyBelow(int count) const;

    friend bool operator==(const TWaveLabels&, const TWaveLabels&) = default;

private:
    std::array<TRecordLabel, TWaveStore::WaveMaxRecords> labels{};
};

// "Label the next N coins as KIND / CLASS" while capturing: fills in the label of each
// record as it closes, until N are done.
class TLabelRun {
public:
    TLabelRun(const TRecordLabel& runLabel, int count) : label(runLabel), total(count) {}

    // A record closed; labels it while the run lasts. False once the run is over.
    bool RecordClosed(int record, TWaveLabels& labels);
    bool Done() const { return done >= total; }
    // "10c genuine 23/40"
    QString Progress() const;

private:
    TRecordLabel label;
    int total = 0;
    int done = 0;
};

// The labels' place in a .bwv file: a tagged trailer right after the 1,440,804-byte
// block, so the block stays byte for byte what a plain Save writes and every reader of
// the plain format still reads the file. Little-endian, like the block:
//   0   8  mark "KRV2LABL"
//   8   4  version, 1
//  12   4  payload length P
//  16   4  CRC-32 (IEEE 802.3, as zlib and PNG) of the payload
//  20   P  payload: entry count E (4 bytes, 1..200), then E entries in rising record
//          order: record (4), class (1: 0 unknown, 1 genuine, 2 fake), flags (1: bit 0
//          excluded), kind length K (1), K bytes of UTF-8, note length M (2), M bytes
//          of UTF-8. Records without a label have no entry.
namespace WaveTrailer {
constexpr char Mark[] = "KRV2LABL";
constexpr int MarkSize = 8;
constexpr uint32_t Version = 1;
constexpr int HeaderSize = 20;
// The longest trailer: 200 entries with the longest kind and note.
constexpr int64_t MaxSize =
    HeaderSize + 4 +
    int64_t{TWaveStore::WaveMaxRecords} *
        (4 + 1 + 1 + 1 + TWaveLabels::MaxKindBytes + 2 + TWaveLabels::MaxNoteBytes);

uint32_t Crc32(QByteArrayView bytes);

// The trailer for records 0..recordCount-1; empty when none of them carries a label,
// so an unlabelled store saves as a plain file.
QByteArray Build(const TWaveLabels& labels, int recordCount);

enum class TRead {
    None,    // no bytes after the block: a plain file
    Read,    // one whole, valid trailer
    Dropped, // anything else; `labels` is left empty and `why` says what was wrong
};
// Reads the bytes after the block of a file holding `recordCount` records.
TRead Read(QByteArrayView tail, int recordCount, TWaveLabels& labels, QString& why);
} // namespace WaveTrailer
