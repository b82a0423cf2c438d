// What a technician knows about each wave record: the coin's kind ("10c"), whether it
// is genuine, whether it stays out of the statistics, and a note. One label per store
// slot; a record without one is "unknown" with no kind.
#pragma once

#include "WaveStore.h"

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
