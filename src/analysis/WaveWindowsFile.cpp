#include "WaveWindowsFile.h"

#include "WaveCsv.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <set>

namespace {
constexpr int Measurements = WaveTeach::Measurements;
const QString DateFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

std::optional<int> IntOf(const QJsonValue& v) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
        return std::nullopt;
    return static_cast<int>(d);
}

int MeasurementOf(const QString& caption) {
    for (int m = 0; m < Measurements; ++m)
        if (WaveTable::Caption(m) == caption)
            return m;
    return -1;
}

// Reads one element of "windows" into `kind`; false with `error` saying what is wrong.
bool ReadWindow(const QJsonValue& value, TKindWindows& kind, std::set<int>& seen, QString& error) {
    if (!value.isObject()) {
        error = QStringLiteral("is not an object");
        return false;
    }
    const QJsonObject o = value.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        static const QStringList known{"measurement", "low", "high", "mean", "sd"};
        if (!known.contains(it.key())) {
            error = QStringLiteral("unknown key \"%1\"").arg(it.key());
            return false;
        }
    }
    if (!o.value("measurement").isString()) {
        error = QStringLiteral("\"measurement\" must be a caption");
        return false;
    }
    const int m = MeasurementOf(o.value("measurement").toString());
    if (m < 0) {
        error = QStringLiteral("unknown measurement");
        return false;
    }
    if (!seen.insert(m).second) {
        error = QStringLiteral("measurement given twice");
        return false;
    }
    const auto low = IntOf(o.value("low"));
    const auto high = IntOf(o.value("high"));
    if (!low || !high || *low < 0 || *low > 255 || *high < 0 || *high > 255) {
        error = QStringLiteral("\"low\" and \"high\" must be whole numbers 0..255");
        return false;
    }
    if (*low > *high) {
        error = QStringLiteral("low %1 is above high %2").arg(*low).arg(*high);
        return false;
    }
    const auto at = static_cast<size_t>(m);
    kind.Windows[at] = TWindow{*low, *high};
    if (o.contains("mean")) {
        if (!o.value("mean").isDouble()) {
            error = QStringLiteral("\"mean\" must be a number");
            return false;
        }
        kind.Mean[at] = o.value("mean").toDouble();
    }
    if (o.contains("sd") && !o.value("sd").isNull()) {
        if (!o.value("sd").isDouble() || o.value("sd").toDouble() < 0) {
            error = QStringLiteral("\"sd\" must be a number of 0 or more, or null");
            return false;
        }
        kind.Sd[at] = o.value("sd").toDouble();
    }
    return true;
}

// Reads one element of "kinds"; `where` names it for the messages.
bool ReadKind(const QJsonValue& value, const QString& where, TKindWindows& kind, QString& error) {
    const auto fail = [&](const QString& what) {
        error = where + QStringLiteral(": ") + what;
        return false;
    };
    if (!value.isObject())
        return fail(QStringLiteral("is not an object"));
    const QJsonObject o = value.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        static const QStringList known{"kind", "n", "k", "margin", "date", "windows"};
        if (!known.contains(it.key()))
            return fail(QStringLiteral("unknown key \"%1\"").arg(it.key()));
    }
    for (const char* key : {"kind", "n", "date", "windows"})
        if (!o.contains(QLatin1String(key)))
            return fail(QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
    if (!o.value("kind").isString() || o.value("kind").toString().trimmed().isEmpty())
        return fail(QStringLiteral("\"kind\" must be a name"));
    kind.Kind = o.value("kind").toString();
    const auto n = IntOf(o.value("n"));
    if (!n || *n < 1)
        return fail(QStringLiteral("\"n\" must be a whole number of 1 or more"));
    kind.N = *n;
    if (o.contains("k") == o.contains("margin"))
        return fail(QStringLiteral("needs \"k\" or \"margin\", not both"));
    if (o.contains("k")) {
        if (!o.value("k").isDouble() || !(o.value("k").toDouble() >= 0))
            return fail(QStringLiteral("\"k\" must be a number of 0 or more"));
        kind.Rule = TTeachRule{o.value("k").toDouble(), std::nullopt};
    } else {
        const auto margin = IntOf(o.value("margin"));
        if (!margin || *margin < 0 || *margin > 255)
            return fail(QStringLiteral("\"margin\" must be a whole number 0..255"));
        kind.Rule = TTeachRule{WaveTeach::DefaultK, *margin};
    }
    kind.Date = QDateTime::fromString(o.value("date").toString(), DateFormat);
    if (!o.value("date").isString() || !kind.Date.isValid())
        return fail(QStringLiteral("\"date\" must read like 2025-03-05T14:30:15"));
    const QJsonValue windows = o.value("windows");
    if (!windows.isArray() || windows.toArray().isEmpty())
        return fail(QStringLiteral("\"windows\" must be a list of at least one window"));
    std::set<int> seen;
    const QJsonArray list = windows.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        QString why;
        if (!ReadWindow(list[i], kind, seen, why)) {
            const QJsonValue caption = list[i].toObject().value("measurement");
            return fail(QStringLiteral("windows[%1]%2: %3")
                            .arg(i)
                            .arg(caption.isString()
                                     ? QStringLiteral(" \"%1\"").arg(caption.toString())
                                     : QString())
                            .arg(why));
        }
    }
    return true;
}
} // namespace

QJsonArray WaveWindowsFile::ToJsonArray(const TWindowsSet& windows) {
    QJsonArray kinds;
    for (const TKindWindows& k : windows) {
        QJsonArray list;
        for (size_t m = 0; m < Measurements; ++m) {
            if (!k.Windows[m])
                continue;
            QJsonObject w{{"measurement", WaveTable::Caption(static_cast<int>(m))},
                          {"low", k.Windows[m]->Low},
                          {"high", k.Windows[m]->High}};
            if (k.Mean[m])
                w.insert("mean", std::round(*k.Mean[m] * 1000) / 1000);
            if (k.Mean[m] || k.Sd[m])
                w.insert("sd", k.Sd[m] ? QJsonValue(std::round(*k.Sd[m] * 1000) / 1000)
                                       : QJsonValue(QJsonValue::Null));
            list.append(w);
        }
        QJsonObject entry{
            {"kind", k.Kind}, {"n", k.N}, {"date", k.Date.toString(DateFormat)}, {"windows", list}};
        if (k.Rule.Margin)
            entry.insert("margin", *k.Rule.Margin);
        else
            entry.insert("k", k.Rule.K);
        kinds.append(entry);
    }
    return kinds;
}

QByteArray WaveWindowsFile::ToJson(const TWindowsSet& windows) {
    return QJsonDocument(QJsonObject{{"kinds", ToJsonArray(windows)}}).toJson();
}

QByteArray WaveWindowsFile::ToCsv(const TWindowsSet& windows) {
    QByteArray out = "kind,measurement,low,high,n,mean,sd\r\n";
    for (const TKindWindows& k : windows) {
        for (size_t m = 0; m < Measurements; ++m) {
            if (!k.Windows[m])
                continue;
            out += WaveCsv::Field(k.Kind) + ',' +
                   WaveCsv::Field(WaveTable::Caption(static_cast<int>(m))) + ',' +
                   QByteArray::number(k.Windows[m]->Low) + ',' +
                   QByteArray::number(k.Windows[m]->High) + ',' + QByteArray::number(k.N) + ',' +
                   (k.Mean[m] ? WaveCsv::Decimal3(*k.Mean[m]) : QByteArray()) + ',' +
                   (k.Sd[m] ? WaveCsv::Decimal3(*k.Sd[m]) : QByteArray()) + "\r\n";
        }
    }
    return out;
}

bool WaveWindowsFile::FromJson(QByteArrayView bytes, TWindowsSet& windows, QString& error) {
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes.toByteArray(), &parse);
    if (parse.error != QJsonParseError::NoError) {
        error =
            QStringLiteral("not JSON: %1 at byte %2").arg(parse.errorString()).arg(parse.offset);
        return false;
    }
    const QJsonObject top = doc.object();
    if (!doc.isObject() || top.size() != 1 || !top.value("kinds").isArray() ||
        top.value("kinds").toArray().isEmpty()) {
        error = QStringLiteral("a windows file holds one object {\"kinds\": [...]} with at least "
                               "one kind");
        return false;
    }
    TWindowsSet read;
    const QJsonArray kinds = top.value("kinds").toArray();
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        const QJsonValue name = kinds[i].toObject().value("kind");
        const QString where =
            QStringLiteral("kinds[%1]%2")
                .arg(i)
                .arg(name.isString() ? QStringLiteral(" \"%1\"").arg(name.toString()) : QString());
        TKindWindows kind;
        if (!ReadKind(kinds[i], where, kind, error))
            return false;
        for (const TKindWindows& other : read) {
            if (other.Kind == kind.Kind) {
                error = where + QStringLiteral(": kind given twice");
                return false;
            }
        }
        read.push_back(std::move(kind));
    }
    windows = std::move(read);
    return true;
}

bool WaveWindowsFile::Read(const QString& path, TWindowsSet& windows, QString& error) {
    const QString name = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(name, file.errorString());
        return false;
    }
    QString why;
    if (!FromJson(file.readAll(), windows, why)) {
        error = QStringLiteral("%1: %2").arg(name, why);
        return false;
    }
    return true;
}
