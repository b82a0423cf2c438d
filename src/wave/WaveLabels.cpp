#include "WaveLabels.h"

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
