#include "Journal.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <charconv>

namespace {
constexpr char HexDigits[] = "0123456789ABCDEF";

// Longest line we take: the time, the direction, the most bytes an event holds and
// the line end.
constexpr qint64 MaxLineChars = Journal::MaxTimeDigits + 3 + 3 * qint64{Journal::MaxEventBytes} + 2;

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Drops the line end: LF, and a CR before it from an editor that adds one.
QByteArray WithoutLineEnd(QByteArray line, bool& hadNewline) {
    hadNewline = line.endsWith('\n');
    if (hadNewline)
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}
} // namespace

// ---------------------------------------------------------------- format

std::string Journal::HeaderLine(const QString& writer) {
    std::string line = Magic;
    line += ' ';
    line += std::to_string(Version);
    line += ' ';
    const QByteArray text = writer.toUtf8();
    for (const char c : text)
        line += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    line += '\n';
    return line;
}

void Journal::AppendEvent(std::string& out, int64_t timeUs, TJournalDirection direction,
                          std::span<const uint8_t> bytes) {
    char digits[24];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, std::max<int64_t>(0, timeUs)).ptr;
    const auto count = static_cast<size_t>(end - digits);
    if (count < TimeDigits)
        out.append(TimeDigits - count, '0');
    out.append(digits, count);
    out += direction == TJournalDirection::Rx ? " RX" : " TX";
    for (const uint8_t b : bytes) {
        const char hex[3] = {' ', HexDigits[b >> 4], HexDigits[b & 0x0F]};
        out.append(hex, 3);
    }
    out += '\n';
}

QString Journal::WriterText(const QStringList& arguments) {
    QStringList words = arguments;
    if (!words.isEmpty())
        words.first() = QFileInfo(words.first()).fileName();
    return words.join(QLatin1Char(' '));
}

// ---------------------------------------------------------------- writer

bool TJournalWriter::Open(const QString& path, const QString& writer, QString& why) {
    Close();
    failed = false;
    error.clear();
    lastUs = 0;
    file.setFileName(path);
    // Unbuffered: every event goes to the system at once, so a crash of the program
    // loses at most the event being written.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    clock.start();
    line = Journal::HeaderLine(writer);
    if (file.write(line.data(), static_cast<qint64>(line.size())) !=
        static_cast<qint64>(line.size())) {
        why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        file.close();
        return false;
    }
    return true;
}

void TJournalWriter::Close() {
    if (file.isOpen())
        file.close();
}

bool TJournalWriter::Write(TJournalDirection direction, std::span<const uint8_t> bytes,
                           int64_t timeUs) {
    if (failed || !file.isOpen() || bytes.empty())
        return !failed;
    // A caller's stamp taken a moment before another's must not make time go back.
    lastUs = std::max(lastUs, timeUs < 0 ? NowUs() : timeUs);
    while (!bytes.empty()) {
        const auto part = bytes.first(std::min<size_t>(bytes.size(), Journal::MaxEventBytes));
        bytes = bytes.subspan(part.size());
        line.clear();
        Journal::AppendEvent(line, lastUs, direction, part);
        if (file.write(line.data(), static_cast<qint64>(line.size())) !=
            static_cast<qint64>(line.size())) {
            failed = true;
            error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()),
                                                 file.errorString());
            file.close();
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- reader

TJournalReader::TJournalReader(QIODevice& device, QString journalName)
    : in(device), name(std::move(journalName)) {}

QString TJournalReader::Where() const {
    return QStringLiteral("%1 line %2").arg(name).arg(lineNumber);
}

bool TJournalReader::ReadHeader(QString& error) {
    lineNumber = 1;
    bool newline = false;
    const QByteArray line = WithoutLineEnd(in.readLine(MaxLineChars), newline);
    const QByteArray magic = QByteArray(Journal::Magic) + ' ';
    if (!line.startsWith(magic)) {
        error = QStringLiteral("%1: not a line journal (it does not begin with \"%2\")")
                    .arg(name, QString::fromLatin1(Journal::Magic));
        return false;
    }
    const qsizetype versionEnd = line.indexOf(' ', magic.size());
    const QByteArray version =
        line.mid(magic.size(), versionEnd < 0 ? -1 : versionEnd - magic.size());
    if (version != QByteArray::number(Journal::Version)) {
        error = QStringLiteral("%1: journal format version \"%2\"; this program reads version %3")
                    .arg(Where(), QString::fromLatin1(version))
                    .arg(Journal::Version);
        return false;
    }
    if (versionEnd < 0) {
        error = QStringLiteral("%1: the header does not name what wrote the journal").arg(Where());
        return false;
    }
    const QByteArray text = line.mid(versionEnd + 1);
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        error = QStringLiteral("%1: a control character in the header").arg(Where());
        return false;
    }
    writer = QString::fromUtf8(text);
    if (!newline) {
        ended = true;
        cutNote = QStringLiteral("%1 is cut short: the journal ends inside it").arg(Where());
    }
    return true;
}

TJournalReader::TStep TJournalReader::Next(TJournalEvent& event, QString& error) {
    for (;;) {
        if (ended || in.atEnd()) {
            ended = true;
            return TStep::End;
        }
        ++lineNumber;
        bool newline = false;
        const QByteArray raw = in.readLine(MaxLineChars);
        if (!raw.endsWith('\n') && !in.atEnd()) {
            error = QStringLiteral("%1: longer than any event (more than %2 bytes)")
                        .arg(Where())
                        .arg(Journal::MaxEventBytes);
            return TStep::Bad;
        }
        const QByteArray line = WithoutLineEnd(raw, newline);
        const bool cut = !newline;
        if (!ParseEvent(line, cut, event, error))
            return TStep::Bad;
        if (cut) {
            ended = true;
            cutNote = QStringLiteral("%1 is cut short: the journal ends inside it; replayed up "
                                     "to the cut")
                          .arg(Where());
        }
        if (!event.Bytes.empty())
            return TStep::Event;
        // A cut line with no whole byte yet: nothing of it to give.
    }
}

bool TJournalReader::ParseEvent(const QByteArray& text, bool cut, TJournalEvent& event,
                                QString& error) {
    event.Bytes.clear();
    const auto fail = [&](const QString& what) {
        error = QStringLiteral("%1: %2").arg(Where(), what);
        return false;
    };
    if (text.isEmpty() && !cut)
        return fail(QStringLiteral("an empty line"));
    const char* p = text.constData();
    const char* const end = p + text.size();

    const char* const timeStart = p;
    while (p < end && IsDigit(*p))
        ++p;
    const auto digits = p - timeStart;
    if (digits > Journal::MaxTimeDigits || (p < end && digits < Journal::TimeDigits))
        return fail(QStringLiteral("the time must be %1 to %2 digits")
                        .arg(Journal::TimeDigits)
                        .arg(Journal::MaxTimeDigits));
    if (p == end) {
        if (cut)
            return true;
        return fail(QStringLiteral("nothing after the time"));
    }
    std::from_chars(timeStart, p, event.TimeUs);
    if (event.TimeUs < lastUs)
        return fail(
            QStringLiteral("the time goes back (%1 after %2)").arg(event.TimeUs).arg(lastUs));

    // " RX" or " TX"; a cut line may end anywhere inside it.
    static constexpr char Rx[] = " RX";
    static constexpr char Tx[] = " TX";
    const auto left = static_cast<size_t>(end - p);
    const size_t n = std::min<size_t>(left, 3);
    const bool rx = std::equal(p, p + n, Rx);
    if (!rx && !std::equal(p, p + n, Tx))
        return fail(QStringLiteral("expected RX or TX after the time"));
    if (n < 3)
        return cut || fail(QStringLiteral("expected RX or TX after the time"));
    event.Direction = rx ? TJournalDirection::Rx : TJournalDirection::Tx;
    p += 3;

    while (p < end) {
        const auto rest = end - p;
        const bool blank = p[0] == ' ';
        const int high = rest > 1 ? HexValue(p[1]) : 0;
        const int low = rest > 2 ? HexValue(p[2]) : 0;
        if (!blank || high < 0 || low < 0)
            return fail(QStringLiteral("byte %1 is not a blank and two hexadecimal digits")
                            .arg(event.Bytes.size() + 1));
        if (rest < 3) {
            if (cut)
                break; // the byte the cut went through
            return fail(QStringLiteral("byte %1 is not a blank and two hexadecimal digits")
                            .arg(event.Bytes.size() + 1));
        }
        if (event.Bytes.size() == Journal::MaxEventBytes)
            return fail(QStringLiteral("longer than any event (more than %1 bytes)")
                            .arg(Journal::MaxEventBytes));
        event.Bytes.push_back(static_cast<uint8_t>(high << 4 | low));
        p += 3;
    }
    if (event.Bytes.empty() && !cut)
        return fail(QStringLiteral("an event with no bytes"));
    if (!event.Bytes.empty())
        lastUs = event.TimeUs;
    return true;
}
