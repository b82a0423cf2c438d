#include "TableJson.h"

#include "Frame.h"

#include <QJsonArray>
#include <QJsonValue>

namespace {
constexpr int PulseRow = ChannelCount - 1;

QString RowName(int row) {
    return row == PulseRow ? QStringLiteral("row 9 (Value of Pulse)")
                           : QStringLiteral("row %1 (Channel[%1])").arg(row + 1);
}

// An integer given as a JSON number without a fraction.
std::optional<int> WholeNumber(const QJsonValue& v) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (d != static_cast<double>(static_cast<long long>(d)) || d < -1e9 || d > 1e9)
        return std::nullopt;
    return static_cast<int>(d);
}
QString ValueText(const QJsonValue& v) {
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 12);
    if (v.isString())
        return QStringLiteral("\"%1\"").arg(v.toString());
    if (v.isUndefined())
        return QStringLiteral("(missing)");
    return v.isNull() ? QStringLiteral("null") : QStringLiteral("(not a number)");
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
    const QJsonArray rows = document.value(QStringLiteral("channels")).toArray();
    if (rows.size() != ChannelCount) {
        problem = QStringLiteral("\"channels\" must list %1 rows, it has %2")
                      .arg(ChannelCount)
                      .arg(rows.size());
        return std::nullopt;
    }
    TChannelFrames frames{};
    for (int n = 0; n < ChannelCount; ++n) {
        const QJsonValue entry = rows.at(n);
        const QString where = RowName(n);
        if (!entry.isObject()) {
            problem = QStringLiteral("%1 is not an object").arg(where);
            return std::nullopt;
        }
        const QJsonObject row = entry.toObject();
        if (row.contains(QStringLiteral("channel")) &&
            WholeNumber(row.value(QStringLiteral("channel"))) != n + 1) {
            problem = QStringLiteral("%1: \"channel\" must be %2").arg(where).arg(n + 1);
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
            // Kept raw, as read; absent bytes are 0.
            std::array<uint8_t*, 3> bytes{&disable, &sorter, &dip};
            const std::array<const char*, 3> keys{"disable", "sorter", "dip"};
            for (size_t k = 0; k < keys.size(); ++k) {
                const QString key = QString::fromLatin1(keys[k]);
                if (!row.contains(key))
                    continue;
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
            if (p.isNull() || p.isUndefined() || position == 0) {
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
