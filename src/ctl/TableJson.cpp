#include "TableJson.h"

#include "Frame.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSet>
#include <QStringList>

#include <cmath>
#include <vector>

namespace {
constexpr int PulseRow = ChannelCount - 1;

QString RowName(int row) {
    return row == PulseRow ? QStringLiteral("row 9 (Value of Pulse)")
                           : QStringLiteral("row %1 (Channel[%1])").arg(row + 1);
}

// An integer given as a JSON number without a fraction. The range is checked before
// the cast: converting a double beyond the target's range is undefined.
std::optional<int> WholeNumber(const QJsonValue& v) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d < -1e9 || d > 1e9 || std::trunc(d) != d)
        return std::nullopt;
    return static_cast<int>(d);
}
QString ValueText(const QJsonValue& v) {
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 12);
    if (v.isString())
        return QStringLiteral("\"%1\"").arg(v.toString());
    return v.isNull() ? QStringLiteral("null") : QStringLiteral("(not a number)");
}

// The keys an object may hold: those it must give, then those it may leave out.
struct TKeySet {
    QStringList required;
    QStringList optional;
};

// Says which key of `object` is unknown or missing, naming `where`.
std::optional<QString> KeyProblem(const QJsonObject& object, const TKeySet& keys,
                                  const QString& where) {
    for (const QString& key : object.keys()) {
        if (!keys.required.contains(key) && !keys.optional.contains(key))
            return QStringLiteral("%1: unknown key \"%2\" (the keys are %3)")
                .arg(where, key, (keys.required + keys.optional).join(QStringLiteral(", ")));
    }
    for (const QString& key : keys.required) {
        if (!object.contains(key))
            return QStringLiteral("%1: \"%2\" is missing%3")
                .arg(where, key,
                     key == QLatin1String("dip") ? QStringLiteral(" (null for none)") : QString());
    }
    return std::nullopt;
}

// One JSON string of `text` starting at its opening quote `at`, decoded; `at` is left on
// the closing quote. The text has passed a JSON reader, so its escapes are well formed.
QString ReadJsonString(const QByteArray& text, qsizetype& at) {
    QString decoded;
    QByteArray run; // raw UTF-8 since the last escape
    for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] != '\\') {
            run += text[at];
            continue;
        }
        decoded += QString::fromUtf8(run);
        run.clear();
        const char e = at + 1 < text.size() ? text[++at] : '\\';
        switch (e) {
        case 'b':
            decoded += QLatin1Char('\b');
            break;
        case 'f':
            decoded += QLatin1Char('\f');
            break;
        case 'n':
            decoded += QLatin1Char('\n');
            break;
        case 'r':
            decoded += QLatin1Char('\r');
            break;
        case 't':
            decoded += QLatin1Char('\t');
            break;
        case 'u': {
            bool ok = false;
            const ushort unit = text.mid(at + 1, 4).toUShort(&ok, 16);
            decoded += QChar(ok ? unit : ushort(0xFFFD));
            at += 4;
            break;
        }
        default: // " \ /
            decoded += QLatin1Char(e);
            break;
        }
    }
    return decoded + QString::fromUtf8(run);
}

// The first key that an object of `text` gives twice, named by where it stands.
std::optional<QString> RepeatedKey(const QByteArray& text) {
    struct TLevel {
        bool object = false;
        bool expectKey = false; // the next string of an object is a key
        QSet<QString> keys;
        QString key;   // the latest key of an object
        int index = 0; // the element of an array
    };
    std::vector<TLevel> levels;
    const auto place = [&levels] {
        if (levels.size() == 1)
            return QStringLiteral("the document");
        if (levels.size() == 3 && levels[0].key == QLatin1String("channels") && !levels[1].object)
            return RowName(levels[1].index);
        QString path;
        for (size_t n = 0; n + 1 < levels.size(); ++n)
            path += levels[n].object ? QStringLiteral("/") + levels[n].key
                                     : QStringLiteral("/%1").arg(levels[n].index);
        return QStringLiteral("at %1").arg(path);
    };
    for (qsizetype at = 0; at < text.size(); ++at) {
        switch (text[at]) {
        case '{':
            levels.push_back({true, true, {}, {}, 0});
            break;
        case '[':
            levels.push_back({});
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty()) {
                levels.back().expectKey = levels.back().object;
                ++levels.back().index;
            }
            break;
        case ':':
            if (!levels.empty())
                levels.back().expectKey = false;
            break;
        case '"': {
            const QString s = ReadJsonString(text, at);
            if (levels.empty() || !levels.back().expectKey)
                break;
            if (levels.back().keys.contains(s))
                return QStringLiteral("%1: \"%2\" is given twice").arg(place(), s);
            levels.back().keys.insert(s);
            levels.back().key = s;
            break;
        }
        default:
            break;
        }
    }
    return std::nullopt;
}
} // namespace

QJsonObject TableToJson(std::span<const uint8_t> table) {
    const auto channels = DecodeParameterTable(table);
    QJsonArray rows;
    for (int n = 0; n < ChannelCount; ++n) {
        const TChannelView& c = channels[static_cast<size_t>(n)];
        QJsonObject row{{QStringLiteral("channel"), n + 1}, {QStringLiteral("value"), c.value}};
        if (n == PulseRow) {
            row[QStringLiteral("name")] = QStringLiteral("Value of Pulse");
            row[QStringLiteral("disable")] = c.tail[0];
            row[QStringLiteral("sorter")] = c.tail[1];
            row[QStringLiteral("dip")] = c.tail[2];
        } else {
            row[QStringLiteral("disable")] = c.disabled;
            // Bytes the lists cannot show are given raw; a write refuses them.
            row[QStringLiteral("sorter")] =
                c.sorterIndex ? QJsonValue(QString(QLatin1Char(char('A' + *c.sorterIndex))))
                              : QJsonValue(c.tail[1]);
            if (!c.dipIndex)
                row[QStringLiteral("dip")] = c.tail[2];
            else if (*c.dipIndex == 0)
                row[QStringLiteral("dip")] = QJsonValue::Null;
            else
                row[QStringLiteral("dip")] = DipPositions[static_cast<size_t>(*c.dipIndex)];
        }
        rows.append(row);
    }
    return {
        {QStringLiteral("checkByte"), HexDigitText(table[0] >> 4) + HexDigitText(table[0] & 15)},
        {QStringLiteral("channels"), rows}};
}

QString TableToText(std::span<const uint8_t> table) {
    const auto channels = DecodeParameterTable(table);
    QString text = QStringLiteral("channel          value  disable  sorter  dip\n");
    for (int n = 0; n < ChannelCount; ++n) {
        const TChannelView& c = channels[static_cast<size_t>(n)];
        if (n == PulseRow) {
            text += QStringLiteral("Value of Pulse  %1  bytes %2\n")
                        .arg(c.value, 6)
                        .arg(HexLine(QString(), c.tail).trimmed());
            continue;
        }
        const QString sorter = c.sorterIndex ? QString(QLatin1Char(char('A' + *c.sorterIndex)))
                                             : QStringLiteral("?%1").arg(c.tail[1]);
        const QString dip = !c.dipIndex        ? QStringLiteral("?%1").arg(c.tail[2])
                            : *c.dipIndex == 0 ? QStringLiteral("none")
                                               : QString::number(c.tail[2]);
        text += QStringLiteral("Channel[%1]      %2  %3  %4  %5\n")
                    .arg(n + 1)
                    .arg(c.value, 5)
                    .arg(c.disabled ? QStringLiteral("yes") : QStringLiteral("no"), 7)
                    .arg(sorter, 6)
                    .arg(dip, 4);
    }
    text += QStringLiteral("check byte %1").arg(HexLine(QString(), table.first(1)).trimmed());
    return text;
}

std::optional<TChannelFrames> FramesFromJson(const QJsonObject& document, QString& problem) {
    // The check byte is what the board showed when the document was read; it is not
    // written back.
    if (auto p = KeyProblem(document, {{QStringLiteral("channels")}, {QStringLiteral("checkByte")}},
                            QStringLiteral("the document"))) {
        problem = *p;
        return std::nullopt;
    }
    const QJsonValue list = document.value(QStringLiteral("channels"));
    const QJsonArray rows = list.toArray();
    if (!list.isArray() || rows.size() != ChannelCount) {
        problem = QStringLiteral("\"channels\" must list %1 rows, it has %2")
                      .arg(ChannelCount)
                      .arg(rows.size());
        return std::nullopt;
    }
    const QStringList dataKeys{QStringLiteral("value"), QStringLiteral("disable"),
                               QStringLiteral("sorter"), QStringLiteral("dip")};
    TChannelFrames frames{};
    for (int n = 0; n < ChannelCount; ++n) {
        const QJsonValue entry = rows.at(n);
        const QString where = RowName(n);
        if (!entry.isObject()) {
            problem = QStringLiteral("%1 is not an object").arg(where);
            return std::nullopt;
        }
        const QJsonObject row = entry.toObject();
        // "channel" and "name" say which row this is; rows stand in channel order.
        const TKeySet keys{
            dataKeys, n == PulseRow ? QStringList{QStringLiteral("channel"), QStringLiteral("name")}
                                    : QStringList{QStringLiteral("channel")}};
        if (auto p = KeyProblem(row, keys, where)) {
            problem = *p;
            return std::nullopt;
        }
        if (row.contains(QStringLiteral("channel")) &&
            WholeNumber(row.value(QStringLiteral("channel"))) != n + 1) {
            problem = QStringLiteral("%1: \"channel\" must be %2").arg(where).arg(n + 1);
            return std::nullopt;
        }
        if (row.contains(QStringLiteral("name")) &&
            row.value(QStringLiteral("name")) != QJsonValue(QStringLiteral("Value of Pulse"))) {
            problem = QStringLiteral("%1: \"name\" must be \"Value of Pulse\"").arg(where);
            return std::nullopt;
        }
        const auto value = WholeNumber(row.value(QStringLiteral("value")));
        if (!value || *value < 0 || *value > MaxCoinValue) {
            problem = QStringLiteral("%1: value %2 is not a whole number from 0 to %3")
                          .arg(where, ValueText(row.value(QStringLiteral("value"))))
                          .arg(MaxCoinValue);
            return std::nullopt;
        }
        uint8_t disable = 0;
        uint8_t sorter = 0;
        uint8_t dip = 0;
        if (n == PulseRow) {
            // Kept raw, as read.
            std::array<uint8_t*, 3> bytes{&disable, &sorter, &dip};
            for (size_t k = 0; k < bytes.size(); ++k) {
                const QString& key = dataKeys[static_cast<qsizetype>(k + 1)];
                const auto b = WholeNumber(row.value(key));
                if (!b || *b < 0 || *b > 255) {
                    problem = QStringLiteral("%1: \"%2\" must be a byte, 0 to 255").arg(where, key);
                    return std::nullopt;
                }
                *bytes[k] = static_cast<uint8_t>(*b);
            }
        } else {
            const QJsonValue d = row.value(QStringLiteral("disable"));
            if (!d.isBool()) {
                problem = QStringLiteral("%1: \"disable\" must be true or false").arg(where);
                return std::nullopt;
            }
            disable = d.toBool() ? 1 : 0;
            const QString s = row.value(QStringLiteral("sorter")).toString().toUpper();
            if (s.size() != 1 || s[0] < QLatin1Char('A') || s[0] > QLatin1Char('D')) {
                problem = QStringLiteral("%1: \"sorter\" must be \"A\", \"B\", \"C\" or \"D\"")
                              .arg(where);
                return std::nullopt;
            }
            sorter = static_cast<uint8_t>(s[0].unicode() - 'A');
            const QJsonValue p = row.value(QStringLiteral("dip"));
            const auto position = WholeNumber(p);
            if (p.isNull() || position == 0) {
                dip = 0;
            } else if (position && *position >= 3 && *position <= 6) {
                dip = static_cast<uint8_t>(*position);
            } else {
                problem =
                    QStringLiteral("%1: \"dip\" must be 3, 4, 5, 6 or null for none").arg(where);
                return std::nullopt;
            }
        }
        frames[static_cast<size_t>(n)] =
            BuildChannelFrame(n, static_cast<uint16_t>(*value), disable, sorter, dip);
    }
    return frames;
}

std::optional<TChannelFrames> FramesFromText(const QByteArray& text, QString& problem) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        problem = QStringLiteral("not JSON: %1 at offset %2")
                      .arg(parseError.errorString())
                      .arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        problem = QStringLiteral("not a table document");
        return std::nullopt;
    }
    if (auto repeated = RepeatedKey(text)) {
        problem = *repeated;
        return std::nullopt;
    }
    return FramesFromJson(document.object(), problem);
}

std::optional<TChannelFrames> ReadTableFile(const QString& path, QString& problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
        return std::nullopt;
    }
    const QByteArray text = file.read(TableFileLimit + 1);
    if (file.error() != QFileDevice::NoError) {
        problem = file.errorString();
        return std::nullopt;
    }
    if (text.size() > TableFileLimit) {
        problem = QStringLiteral("larger than %1 KiB, too large for a table document")
                      .arg(TableFileLimit / 1024);
        return std::nullopt;
    }
    return FramesFromText(text, problem);
}

bool TableMatches(std::span<const uint8_t> table, const TChannelFrames& frames) {
    if (table.size() < ParameterTableSize)
        return false;
    for (size_t n = 0; n < frames.size(); ++n) {
        // Frame bytes 4..11 are the record; the table holds it at 1 + 8·n.
        for (size_t i = 0; i < 8; ++i)
            if (table[1 + 8 * n + i] != frames[n][4 + i])
                return false;
    }
    return true;
}
