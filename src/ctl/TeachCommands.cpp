#include "TeachCommands.h"

#include "Reporter.h"
#include "WaveCsv.h"
#include "WaveFile.h"
#include "WaveTeach.h"
#include "WaveWindowsFile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const char* const Help =
    R"(Usage: krv2ctl wave teach FILE.bwv... [--k K | --margin M] [-o WINDOWS.json]
                                      [--csv OUT.csv] [--json]
       krv2ctl wave check FILE.bwv... --windows WINDOWS.json [--json]
       krv2ctl wave compare A.bwv B.bwv [--json]

  teach    acceptance windows on the twenty measurement values, one set per kind,
           from the records labelled genuine and not excluded: mean ± K·sd (K 3
           unless given), or with --margin the lowest value − M to the highest + M,
           as whole counts within 0..255; ±1 around a value every coin shares.
           Reports per kind the false rejects (each genuine coin against windows
           taught without it) and the false accepts (fakes and coins of other kinds
           inside all of its windows), the measurements that keep two kinds apart,
           kinds with fewer than 20 coins, the span of Temperature, and labels
           against the board's Result. -o writes the windows file, --csv the
           windows as kind,measurement,low,high,n,mean,sd.
  check    every record against a windows file: PASS when it lies inside every
           window of some kind, otherwise FAIL naming the nearest kind (fewest
           measurements outside) and its first measurement outside.
  compare  B against A over each file's records not excluded: per channel the
           largest difference of the mean waveforms (B − A), per measurement the
           difference of the means and that over the pooled sd.

Exit codes: 0 success, 1 usage error, 5 a record failed the check, 6 a bad input
file (a .bwv file, a windows file, or nothing labelled to teach from) or an output
file that cannot be written.
)";

struct TLoaded {
    std::unique_ptr<TWaveStore> store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    QString name;
};

// Every file is read before anything is written; the first bad one ends the command.
int LoadAll(const QStringList& paths, TReporter& r, std::vector<TLoaded>& files) {
    for (const QString& path : paths) {
        TLoaded f;
        f.name = QDir::toNativeSeparators(path);
        QByteArray block;
        QString warning;
        QString error;
        if (!WaveFile::ReadLabelled(path, block, f.labels, warning, error))
            return r.Fail(Exit::BadFile, error);
        if (!warning.isEmpty())
            r.Warn(warning);
        WaveFile::CopyRecords(block, *f.store);
        files.push_back(std::move(f));
    }
    return Exit::Ok;
}

TWaveTable TableOf(const std::vector<TLoaded>& files) {
    std::vector<TWaveSource> sources;
    sources.reserve(files.size());
    for (const TLoaded& f : files)
        sources.push_back({f.store.get(), &f.labels, f.name});
    return TWaveTable(std::move(sources));
}

double Rounded(double v) {
    return std::round(v * 1000) / 1000;
}

QString Decimal(double v) {
    return QString::fromLatin1(WaveCsv::Decimal3(v));
}

// Aligned columns: the first `names` to the left, numbers to the right.
QStringList Columns(const QList<QStringList>& cells, int names) {
    QList<qsizetype> width;
    for (const QStringList& line : cells)
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (width.size() <= i)
                width.append(0);
            width[i] = std::max(width[i], line[i].size());
        }
    QStringList lines;
    for (const QStringList& line : cells) {
        QString text;
        for (qsizetype i = 0; i < line.size(); ++i)
            text +=
                (i < names ? line[i].leftJustified(width[i]) : line[i].rightJustified(width[i])) +
                (i + 1 < line.size() ? QStringLiteral("  ") : QString());
        lines << text;
    }
    return lines;
}

QJsonArray Records(const TWaveTable& table, const std::vector<int>& rows) {
    QJsonArray out;
    for (const int row : rows)
        out.append(table.Rows()[static_cast<size_t>(row)].Record);
    return out;
}

QString RecordList(const TWaveTable& table, const std::vector<int>& rows) {
    QStringList numbers;
    for (const int row : rows)
        numbers << QString::number(table.Rows()[static_cast<size_t>(row)].Record);
    return rows.empty() ? QStringLiteral("0")
                        : QStringLiteral("%1 (%2)").arg(rows.size()).arg(numbers.join(' '));
}

QString RuleText(const TTeachRule& rule) {
    return rule.Margin ? QStringLiteral("margin %1").arg(*rule.Margin)
                       : QStringLiteral("k %1").arg(rule.K);
}

QJsonObject TeachJson(const TWaveTable& table, const TTeaching& t) {
    QJsonArray reports;
    for (size_t k = 0; k < t.Windows.size(); ++k) {
        const TKindReport& rep = t.Reports[k];
        reports.append(QJsonObject{
            {"kind", t.Windows[k].Kind},
            {"n", t.Windows[k].N},
            {"falseRejects", static_cast<int>(rep.FalseRejects.size())},
            {"falseRejectRecords", Records(table, rep.FalseRejects)},
            {"falseAccepts", static_cast<int>(rep.FalseAccepts.size())},
            {"falseAcceptRecords", Records(table, rep.FalseAccepts)},
        });
    }
    QJsonArray apart;
    for (const TKindsApart& p : t.Apart) {
        QJsonArray names;
        for (const int m : p.Measurements)
            names.append(WaveTable::Caption(m));
        apart.append(QJsonObject{{"a", t.Windows[static_cast<size_t>(p.A)].Kind},
                                 {"b", t.Windows[static_cast<size_t>(p.B)].Kind},
                                 {"measurements", names}});
    }
    QJsonArray cells;
    for (const TLabelResult& c : t.LabelResult)
        cells.append(QJsonObject{{"label", c.Label}, {"result", c.Result}, {"count", c.Count}});
    return QJsonObject{
        {"records", static_cast<int>(table.Rows().size())},
        {"kinds", WaveWindowsFile::ToJsonArray(t.Windows)},
        {"reports", reports},
        {"apart", apart},
        {"warnings", QJsonArray::fromStringList(t.Warnings)},
        {"temperature", t.Temperature ? QJsonValue(QJsonObject{{"min", t.Temperature->Low},
                                                               {"max", t.Temperature->High}})
                                      : QJsonValue(QJsonValue::Null)},
        {"labelResult", cells},
    };
}

QString TeachText(const TWaveTable& table, const TTeaching& t, const TTeachRule& rule) {
    QStringList lines{QStringLiteral("%1 kind(s) taught from %2 records, %3")
                          .arg(t.Windows.size())
                          .arg(table.Rows().size())
                          .arg(RuleText(rule))};
    QList<QStringList> kinds{{"kind", "n", "false rejects", "false accepts"}};
    for (size_t k = 0; k < t.Windows.size(); ++k)
        kinds.append({t.Windows[k].Kind, QString::number(t.Windows[k].N),
                      RecordList(table, t.Reports[k].FalseRejects),
                      RecordList(table, t.Reports[k].FalseAccepts)});
    lines << Columns(kinds, 1) << QString();

    QList<QStringList> windows{{"kind", "measurement", "low", "high", "mean", "sd"}};
    for (const TKindWindows& k : t.Windows)
        for (int m = 0; m < WaveTeach::Measurements; ++m) {
            const auto at = static_cast<size_t>(m);
            windows.append({k.Kind, WaveTable::Caption(m), QString::number(k.Windows[at]->Low),
                            QString::number(k.Windows[at]->High), Decimal(*k.Mean[at]),
                            k.Sd[at] ? Decimal(*k.Sd[at]) : QStringLiteral("-")});
        }
    lines << Columns(windows, 2) << QString();

    for (const TKindsApart& p : t.Apart) {
        QStringList names;
        for (const int m : p.Measurements)
            names << WaveTable::Caption(m);
        lines << QStringLiteral("%1 and %2 apart on: %3")
                     .arg(t.Windows[static_cast<size_t>(p.A)].Kind,
                          t.Windows[static_cast<size_t>(p.B)].Kind,
                          names.isEmpty() ? QStringLiteral("nothing") : names.join(", "));
    }
    if (t.Temperature)
        lines << QStringLiteral("Temperature %1..%2")
                     .arg(t.Temperature->Low)
                     .arg(t.Temperature->High);
    QList<QStringList> cells{{"label", "result", "count"}};
    for (const TLabelResult& c : t.LabelResult)
        cells.append({c.Label, QString::number(c.Result), QString::number(c.Count)});
    lines << QString() << Columns(cells, 1);
    return lines.join(QLatin1Char('\n'));
}

QJsonObject CompareJson(const QString& a, const QString& b, const TComparison& c) {
    QJsonArray channels;
    for (int ch = 0; ch < TWaveStore::Channels; ++ch) {
        const TChannelDifference& d = c.Channels[static_cast<size_t>(ch)];
        channels.append(QJsonObject{
            {"channel", ch}, {"sample", d.Sample}, {"difference", Rounded(d.Difference)}});
    }
    QJsonArray measurements;
    const auto sd = [](const TStat& s) {
        return s.Sd ? QJsonValue(Rounded(*s.Sd)) : QJsonValue(QJsonValue::Null);
    };
    for (int m = 0; m < WaveTeach::Measurements; ++m) {
        const TMeasurementDifference& d = c.Measurements[static_cast<size_t>(m)];
        measurements.append(QJsonObject{
            {"measurement", WaveTable::Caption(m)},
            {"meanA", Rounded(d.A.Mean)},
            {"sdA", sd(d.A)},
            {"meanB", Rounded(d.B.Mean)},
            {"sdB", sd(d.B)},
            {"difference", Rounded(d.Difference)},
            {"effect", d.Effect ? QJsonValue(Rounded(*d.Effect)) : QJsonValue(QJsonValue::Null)},
        });
    }
    return QJsonObject{{"a", QJsonObject{{"file", a}, {"records", c.NA}}},
                       {"b", QJsonObject{{"file", b}, {"records", c.NB}}},
                       {"channels", channels},
                       {"measurements", measurements}};
}

QString CompareText(const QString& a, const QString& b, const TComparison& c) {
    QStringList lines{
        QStringLiteral("A: %1, %2 records; B: %3, %4 records").arg(a).arg(c.NA).arg(b).arg(c.NB)};
    QList<QStringList> channels{{"channel", "sample", "B - A"}};
    for (int ch = 0; ch < TWaveStore::Channels; ++ch) {
        const TChannelDifference& d = c.Channels[static_cast<size_t>(ch)];
        channels.append({QString::number(ch), QString::number(d.Sample), Decimal(d.Difference)});
    }
    lines << Columns(channels, 0) << QString();
    QList<QStringList> values{{"measurement", "mean A", "mean B", "B - A", "/ pooled sd"}};
    for (int m = 0; m < WaveTeach::Measurements; ++m) {
        const TMeasurementDifference& d = c.Measurements[static_cast<size_t>(m)];
        values.append({WaveTable::Caption(m), Decimal(d.A.Mean), Decimal(d.B.Mean),
                       Decimal(d.Difference), d.Effect ? Decimal(*d.Effect) : QStringLiteral("-")});
    }
    lines << Columns(values, 1);
    return lines.join(QLatin1Char('\n'));
}

int RunTeach(const QStringList& paths, const TTeachRule& rule, const QString& output,
             const QString& csv, TReporter& r) {
    for (const QString& out : {output, csv})
        if (!out.isEmpty())
            if (const int code = CheckOutputPath(out, r))
                return code;
    std::vector<TLoaded> files;
    if (const int code = LoadAll(paths, r, files))
        return code;
    const TWaveTable table = TableOf(files);
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const TTeaching t = WaveTeach::Teach(table, rule, now);
    if (t.Windows.empty())
        return r.Fail(Exit::BadFile,
                      QStringLiteral("nothing to teach: no record is labelled genuine with a kind "
                                     "(krv2ctl wave label FILE --records A-B --kind K --class "
                                     "genuine)"));
    for (const QString& warning : t.Warnings)
        r.Warn(warning);
    QString error;
    if (!output.isEmpty() && !SaveAtomically(output, WaveWindowsFile::ToJson(t.Windows), error))
        return r.Fail(Exit::BadFile, error);
    if (!csv.isEmpty() && !SaveAtomically(csv, WaveWindowsFile::ToCsv(t.Windows), error))
        return r.Fail(Exit::BadFile, error);
    QJsonObject json = TeachJson(table, t);
    QString text = TeachText(table, t, rule);
    if (!output.isEmpty()) {
        json.insert("file", QDir::toNativeSeparators(output));
        text += QStringLiteral("\nwindows written to %1").arg(QDir::toNativeSeparators(output));
    }
    r.Result(json, text);
    return Exit::Ok;
}

int RunCheck(const QStringList& paths, const QString& windowsPath, TReporter& r) {
    TWindowsSet windows;
    QString error;
    if (!WaveWindowsFile::Read(windowsPath, windows, error))
        return r.Fail(Exit::BadFile, error);
    std::vector<TLoaded> files;
    if (const int code = LoadAll(paths, r, files))
        return code;
    const TWaveTable table = TableOf(files);
    QJsonArray records;
    QStringList lines;
    int failed = 0;
    for (const TTableRow& row : table.Rows()) {
        const TWindowVerdict v = WaveTeach::Check(windows, row.Values);
        const QString reason = WaveTeach::Describe(v, windows);
        const QString& file = table.Sources()[static_cast<size_t>(row.Source)].File;
        failed += v.Pass ? 0 : 1;
        QJsonObject o{{"record", row.Record}, {"file", file},     {"slot", row.Slot},
                      {"pass", v.Pass},       {"reason", reason}, {"label", row.Label.Kind},
                      {"failing", v.Failing}};
        if (v.Kind >= 0)
            o.insert(v.Pass ? "kind" : "nearest", windows[static_cast<size_t>(v.Kind)].Kind);
        if (v.Measurement >= 0) {
            o.insert("measurement", WaveTable::Caption(v.Measurement));
            o.insert("value", v.Value);
        }
        records.append(o);
        lines << QStringLiteral("record %1 (%2 %3): %4")
                     .arg(row.Record)
                     .arg(file)
                     .arg(row.Slot)
                     .arg(reason);
    }
    const int tested = static_cast<int>(table.Rows().size());
    const QString summary = QStringLiteral("%1 tested, %2 failed (%3 %)")
                                .arg(tested)
                                .arg(failed)
                                .arg(tested > 0 ? 100.0 * failed / tested : 0.0, 0, 'f', 1);
    lines << summary;
    r.Result(QJsonObject{{"windows", QDir::toNativeSeparators(windowsPath)},
                         {"records", records},
                         {"tested", tested},
                         {"failed", failed}},
             lines.join(QLatin1Char('\n')));
    if (failed == 0)
        return Exit::Ok;
    r.Warn(summary);
    return Exit::Verify;
}

int RunCompare(const QStringList& paths, TReporter& r) {
    std::vector<TLoaded> files;
    if (const int code = LoadAll(paths, r, files))
        return code;
    std::vector<TLoaded> first;
    first.push_back(std::move(files[0]));
    std::vector<TLoaded> second;
    second.push_back(std::move(files[1]));
    const TComparison c = WaveTeach::Compare(TableOf(first), TableOf(second));
    if (c.NA == 0 || c.NB == 0)
        return r.Fail(Exit::BadFile,
                      QStringLiteral("%1 holds no record to compare (none, or all excluded)")
                          .arg((c.NA == 0 ? first : second)[0].name));
    r.Result(CompareJson(first[0].name, second[0].name, c),
             CompareText(first[0].name, second[0].name, c));
    return Exit::Ok;
}

} // namespace

bool TeachCommands::Handles(const QString& word) {
    return word == QLatin1String("teach") || word == QLatin1String("check") ||
           word == QLatin1String("compare");
}

int TeachCommands::Run(const QStringList& arguments) {
    QCommandLineParser p;
    const QCommandLineOption help({"h", "help"}, "Show this text.");
    const QCommandLineOption json("json", "Results as JSON.");
    const QCommandLineOption k("k", "Window half-width in sd.", "K");
    const QCommandLineOption margin("margin", "Counts beyond the lowest and highest.", "M");
    const QCommandLineOption output({"o", "output"}, "Windows file to write.", "FILE");
    const QCommandLineOption csv("csv", "Windows as CSV.", "FILE");
    const QCommandLineOption windows("windows", "Windows file to check against.", "FILE");
    p.addOptions({help, json, k, margin, output, csv, windows});
    p.addPositionalArgument("wave", "wave");

    const bool parsed = p.parse(arguments);
    TReporter r(p.isSet(json), false);
    const auto usage = [&](const QString& message) {
        return r.Fail(Exit::Usage, message + QStringLiteral(" (see krv2ctl wave teach --help)"));
    };
    if (!parsed)
        return usage(p.errorText());
    if (p.isSet(help)) {
        std::fputs(Help, stdout);
        return Exit::Ok;
    }
    const QStringList args = p.positionalArguments();
    const QString sub = args.value(1);
    const QStringList paths = args.mid(2);
    const std::vector<std::pair<QString, std::vector<const QCommandLineOption*>>> allowed{
        {"teach", {&k, &margin, &output, &csv}}, {"check", {&windows}}, {"compare", {}}};
    const auto entry =
        std::find_if(allowed.begin(), allowed.end(), [&](const auto& e) { return e.first == sub; });
    if (entry == allowed.end())
        return usage(QStringLiteral("unknown wave command '%1'").arg(sub));
    for (const QCommandLineOption* o : {&k, &margin, &output, &csv, &windows})
        if (p.isSet(*o) &&
            std::find(entry->second.begin(), entry->second.end(), o) == entry->second.end())
            return usage(QStringLiteral("wave %1 takes no --%2").arg(sub, o->names().constLast()));
    if (paths.isEmpty())
        return usage(QStringLiteral("wave %1 needs a .bwv file").arg(sub));

    if (sub == QLatin1String("teach")) {
        if (p.isSet(k) && p.isSet(margin))
            return usage(QStringLiteral("give --k or --margin, not both"));
        TTeachRule rule;
        bool ok = true;
        if (p.isSet(k)) {
            rule.K = p.value(k).toDouble(&ok);
            if (!ok || !(rule.K > 0) || !std::isfinite(rule.K))
                return usage(QStringLiteral("--k must be a number above 0"));
        }
        if (p.isSet(margin)) {
            rule.Margin = p.value(margin).toInt(&ok);
            if (!ok || *rule.Margin < 0 || *rule.Margin > 255)
                return usage(QStringLiteral("--margin must be a whole number 0..255"));
        }
        return RunTeach(paths, rule, p.value(output), p.value(csv), r);
    }
    if (sub == QLatin1String("check")) {
        if (!p.isSet(windows))
            return usage(QStringLiteral("wave check needs --windows WINDOWS.json"));
        return RunCheck(paths, p.value(windows), r);
    }
    if (paths.size() != 2)
        return usage(QStringLiteral("wave compare takes two .bwv files, A and B"));
    return RunCompare(paths, r);
}
