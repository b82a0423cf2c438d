#include "WaveLabels.h"

#include <QStringDecoder>
#include <QtEndian>

namespace {
bool InStore(int record) {
    return record >= 0 && record < TWaveStore::WaveMaxRecords;
}

const TRecordLabel NoLabel{};
} // namespace

QString ClassName(TCoinClass c) {
    switch (c) {
    case TCoinClass::Genuine:
        return QStringLiteral("genuine");
    case TCoinClass::Fake:
        return QStringLiteral("fake");
    case TCoinClass::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

std::optional<TCoinClass> ClassFromName(QStringView name) {
    for (const TCoinClass c : {TCoinClass::Unknown, TCoinClass::Genuine, TCoinClass::Fake})
        if (name == ClassName(c))
            return c;
    return std::nullopt;
}

QString TWaveLabels::Problem(const TRecordLabel& label) {
    if (label.Kind.toUtf8().size() > MaxKindBytes)
        return QStringLiteral("the kind is longer than %1 bytes").arg(MaxKindBytes);
    if (label.Note.toUtf8().size() > MaxNoteBytes)
        return QStringLiteral("the note is longer than %1 bytes").arg(MaxNoteBytes);
    return QString();
}

const TRecordLabel& TWaveLabels::At(int record) const {
    return InStore(record) ? labels[static_cast<size_t>(record)] : NoLabel;
}

bool TWaveLabels::Set(int record, const TRecordLabel& label) {
    if (!InStore(record) || !Problem(label).isEmpty())
        return false;
    labels[static_cast<size_t>(record)] = label;
    return true;
}

void TWaveLabels::Clear() {
    labels.fill(TRecordLabel{});
}

void TWaveLabels::MoveRecord(int from, int to) {
    if (!InStore(from) || !InStore(to) || from == to)
        return;
    labels[static_cast<size_t>(to)] = std::move(labels[static_cast<size_t>(from)]);
    labels[static_cast<size_t>(from)] = TRecordLabel{};
}

bool TWaveLabels::AnyBelow(int count) const {
    for (int r = 0; r < count && r < TWaveStore::WaveMaxRecords; ++r)
        if (!labels[static_cast<size_t>(r)].IsEmpty())
            return true;
    return false;
}

bool TLabelRun::RecordClosed(int record, TWaveLabels& labels) {
    if (Done() || !labels.Set(record, label))
        return false;
    ++done;
    return true;
}

QString TLabelRun::Progress() const {
    const QString kind = label.Kind.isEmpty() ? QStringLiteral("(no kind)") : label.Kind;
    return QStringLiteral("%1 %2 %3/%4").arg(kind, ClassName(label.Class)).arg(done).arg(total);
}

namespace {
constexpr std::array<uint32_t, 256> CrcTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}();

void PutLe(QByteArray& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Reads the payload front to back; any read past its end spoils the whole reading.
class TCursor {
public:
    explicit TCursor(QByteArrayView bytes) : data(bytes) {}

    uint32_t Take(int bytes) {
        if (!Has(bytes))
            return 0;
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint32_t{static_cast<uint8_t>(data[at + i])} << (8 * i);
        at += bytes;
        return v;
    }
    QByteArrayView TakeBytes(qsizetype n) {
        if (!Has(n))
            return {};
        const QByteArrayView v = data.sliced(at, n);
        at += n;
        return v;
    }
    bool Ok() const { return ok; }
    bool AtEnd() const { return at == data.size(); }

private:
    bool Has(qsizetype n) {
        ok = ok && n <= data.size() - at;
        return ok;
    }

    QByteArrayView data;
    qsizetype at = 0;
    bool ok = true;
};

// Strict UTF-8, what Build wrote: a leading byte-order mark stays a character, and a
// sequence cut at the end is an error, not the start of more text to come.
bool Utf8(QByteArrayView bytes, QString& text) {
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                      QStringConverter::Flag::Stateless);
    text = decode(bytes);
    return !decode.hasError();
}
} // namespace

uint32_t WaveTrailer::Crc32(QByteArrayView bytes) {
    uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = CrcTable[(c ^ static_cast<uint8_t>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray WaveTrailer::Build(const TWaveLabels& labels, int recordCount) {
    QByteArray payload;
    uint32_t entries = 0;
    PutLe(payload, 0, 4); // the count, filled in below
    for (int r = 0; r < recordCount && r < TWaveStore::WaveMaxRecords; ++r) {
        const TRecordLabel& label = labels.At(r);
        if (label.IsEmpty())
            continue;
        const QByteArray kind = label.Kind.toUtf8();
        const QByteArray note = label.Note.toUtf8();
        PutLe(payload, static_cast<uint32_t>(r), 4);
        PutLe(payload, static_cast<uint32_t>(label.Class), 1);
        PutLe(payload, label.Excluded ? 1 : 0, 1);
        PutLe(payload, static_cast<uint32_t>(kind.size()), 1);
        payload += kind;
        PutLe(payload, static_cast<uint32_t>(note.size()), 2);
        payload += note;
        ++entries;
    }
    if (entries == 0)
        return QByteArray();
    qToLittleEndian<quint32>(entries, payload.data());
    QByteArray out(Mark, MarkSize);
    PutLe(out, Version, 4);
    PutLe(out, static_cast<uint32_t>(payload.size()), 4);
    PutLe(out, Crc32(payload), 4);
    return out + payload;
}

WaveTrailer::TRead WaveTrailer::Read(QByteArrayView tail, int recordCount, TWaveLabels& labels,
                                     QString& why) {
    labels.Clear();
    why.clear();
    if (tail.isEmpty())
        return TRead::None;
    const auto drop = [&](const QString& reason) {
        labels.Clear();
        why = reason;
        return TRead::Dropped;
    };
    const QByteArrayView mark(Mark, MarkSize);
    if (!mark.startsWith(tail.first(std::min<qsizetype>(tail.size(), MarkSize))))
        return drop(QStringLiteral("they are not a label trailer"));
    if (tail.size() < HeaderSize)
        return drop(QStringLiteral("the label trailer is cut short"));
    TCursor header(tail.sliced(MarkSize, HeaderSize - MarkSize));
    const uint32_t version = header.Take(4);
    const uint32_t length = header.Take(4);
    const uint32_t crc = header.Take(4);
    if (version != Version)
        return drop(QStringLiteral("the label trailer is of version %1, which this tool does not "
                                   "read")
                        .arg(version));
    const qsizetype after = tail.size() - HeaderSize;
    if (length > static_cast<uint64_t>(after))
        return drop(QStringLiteral("the label trailer is cut short"));
    if (length < static_cast<uint64_t>(after))
        return drop(QStringLiteral("%1 bytes follow the label trailer").arg(after - length));
    const QByteArrayView payload = tail.sliced(HeaderSize);
    if (Crc32(payload) != crc)
        return drop(QStringLiteral("the label trailer's checksum does not match"));

    TCursor in(payload);
    const uint32_t entries = in.Take(4);
    if (entries == 0 || entries > static_cast<uint32_t>(TWaveStore::WaveMaxRecords))
        return drop(QStringLiteral("the label trailer names %1 labels").arg(entries));
    int64_t last = -1;
    for (uint32_t e = 0; e < entries; ++e) {
        const uint32_t record = in.Take(4);
        const uint32_t kind = in.Take(1);
        const uint32_t flags = in.Take(1);
        TRecordLabel label;
        const bool textOk = Utf8(in.TakeBytes(in.Take(1)), label.Kind) &&
                            Utf8(in.TakeBytes(in.Take(2)), label.Note);
        if (!in.Ok())
            return drop(QStringLiteral("the label trailer's entries are cut short"));
        if (record >= static_cast<uint32_t>(recordCount) || static_cast<int64_t>(record) <= last)
            return drop(QStringLiteral("the label trailer labels record %1 out of order or "
                                       "beyond the file's %2 records")
                            .arg(record)
                            .arg(recordCount));
        if (kind > static_cast<uint32_t>(TCoinClass::Fake) || flags > 1 || !textOk)
            return drop(QStringLiteral("the label of record %1 is malformed").arg(record));
        label.Class = static_cast<TCoinClass>(kind);
        label.Excluded = flags == 1;
        if (label.IsEmpty())
            return drop(QStringLiteral("the label of record %1 is empty").arg(record));
        labels.Set(static_cast<int>(record), label);
        last = record;
    }
    if (!in.AtEnd())
        return drop(QStringLiteral("the label trailer's entries end early"));
    return TRead::Read;
}
