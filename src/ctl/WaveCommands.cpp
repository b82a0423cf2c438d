#include "WaveCommands.h"

#include "Commands.h"
#include "LayerSurface.h"
#include "PlotPicture.h"
#include "PlotSvg.h"
#include "TeachCommands.h"
#include "WaveActive.h"
#include "WaveCsv.h"
#include "WaveFile.h"
#include "WaveStats.h"

#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>
#include <memory>

namespace {

const char* const Help = R"(Usage: krv2ctl wave stats FILE.bwv... [--json] [--by label|result]
       krv2ctl wave export FILE.bwv... --csv values|samples|stats -o OUT.csv
                                        [--by label|result]
       krv2ctl wave export FILE.bwv --png OUT.png | --svg OUT.svg
       krv2ctl wave label FILE.bwv --records A-B --kind K
                                   --class genuine|fake|unknown [--exclude] [--note TEXT]
       krv2ctl wave teach|check|compare ...   (see krv2ctl wave teach --help)

Offline work on .bwv wave files; no port is opened. Records are numbered from 0;
with several files the second file's first record follows the first file's last.

  stats    the twenty values' n, min, max, mean, sd and median over the records not
           excluded: group "all", then each KIND/CLASS (--by label, the default) or
           each Result value (--by result). With --json one object:
           {"table": [...], "stats": [...]}
  export   a CSV file (RFC 4180, UTF-8, CRLF): values (one line per record),
           samples (one line per record and channel) or stats; or the plot of
           one file as krv2tool draws it after Load, as a PNG picture (--png) or
           an SVG drawing (--svg, every trace one path); written whole or not
           at all
  label    gives records A..B (or just A) a kind, a class, the exclude flag and,
           with --note, a note (without it their notes stay). The labels are kept
           after the wave data; the file is replaced whole.

Every file is checked before anything is written: one shorter than 1,440,804
bytes or naming a record count outside 0..200 fails with exit code 6. Bytes after
the wave data that are not a whole label trailer are reported once and the file's
records are used without labels.

Exit codes: 0 success, 1 usage error, 6 a bad input file or an output file that
cannot be written.
)";

// Options that take a value, the wave commands' and the board commands': the word
// after one is its value, not the command.
const QStringList ValueOptions{
    "-o",       "--output",  "--by",     "--csv",     "--records",     "--kind",    "--class",
    "--note",   "--port",    "--pin",    "--sim-arg", "--sim-program", "--timeout", "--retries",
    "--blocks", "--lines",   "--length", "--method",  "--coins",       "--seconds", "--k",
    "--margin", "--windows", "--png",    "--svg",     "--journal"};

struct TLoaded {
    QString path;
    std::unique_ptr<TWaveStore> store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    QByteArray block;
};

// Reads every file before anything is written; the first bad one ends the command.
int LoadAll(const QStringList& paths, TReporter& r, std::vector<TLoaded>& files) {
    for (const QString& path : paths) {
        TLoaded f;
        f.path = path;
        QString warning;
        QString error;
        if (!WaveFile::ReadLabelled(path, f.block, f.labels, warning, error))
            return r.Fail(Exit::BadFile, error);
        if (!warning.isEmpty())
            r.Warn(warning);
        WaveFile::CopyRecords(f.block, *f.store);
        files.push_back(std::move(f));
    }
    return Exit::Ok;
}

TWaveTable TableOf(const std::vector<TLoaded>& files) {
    std::vector<TWaveSource> sources;
    sources.reserve(files.size());
    for (const TLoaded& f : files)
        sources.push_back({f.store.get(), &f.labels, QDir::toNativeSeparators(f.path)});
    return TWaveTable(std::move(sources));
}

// Three decimals, as the CSV writes them.
double Rounded(double v) {
    return std::round(v * 1000) / 1000;
}

QJsonObject StatsJson(const TWaveTable& table, const TAnalysis& a) {
    QJsonArray rows;
    for (const TTableRow& row : table.Rows()) {
        QJsonArray values;
        for (const int32_t v : row.Values)
            values.append(v);
        rows.append(QJsonObject{
            {"record", row.Record},
            {"file", table.Sources()[static_cast<size_t>(row.Source)].File},
            {"length", row.Length},
            {"kind", row.Label.Kind},
            {"class", ClassName(row.Label.Class)},
            {"excluded", row.Label.Excluded},
            {"values", values},
        });
    }
    QJsonArray stats;
    for (const TStatRow& s : a.Stats) {
        const TStat& st = s.Stat;
        stats.append(QJsonObject{
            {"group", a.Groups[static_cast<size_t>(s.Group)].Name},
            {"measurement", WaveTable::Caption(s.Measurement)},
            {"n", st.N},
            {"min", st.Min},
            {"max", st.Max},
            {"mean", Rounded(st.Mean)},
            {"sd", st.Sd ? QJsonValue(Rounded(*st.Sd)) : QJsonValue(QJsonValue::Null)},
            {"median", Rounded(st.Median)},
        });
    }
    return QJsonObject{{"table", rows}, {"stats", stats}};
}

QString StatsText(const TWaveTable& table, const TAnalysis& a) {
    QList<QStringList> cells{{"group", "measurement", "n", "min", "max", "mean", "sd", "median"}};
    for (const TStatRow& s : a.Stats) {
        const TStat& st = s.Stat;
        cells.append({a.Groups[static_cast<size_t>(s.Group)].Name,
                      WaveTable::Caption(s.Measurement), QString::number(st.N),
                      QString::number(st.Min), QString::number(st.Max),
                      QString::fromLatin1(WaveCsv::Decimal3(st.Mean)),
                      st.Sd ? QString::fromLatin1(WaveCsv::Decimal3(*st.Sd)) : QStringLiteral("-"),
                      QString::fromLatin1(WaveCsv::Decimal3(st.Median))});
    }
    QList<qsizetype> width(cells[0].size(), 0);
    for (const QStringList& line : cells)
        for (qsizetype i = 0; i < line.size(); ++i)
            width[i] = std::max(width[i], line[i].size());
    QStringList lines{QStringLiteral("%1 records from %2 file(s)")
                          .arg(table.Rows().size())
                          .arg(table.Sources().size())};
    for (const QStringList& line : cells) {
        QString text;
        for (qsizetype i = 0; i < line.size(); ++i)
            // Names and captions to the left, numbers to the right.
            text += (i < 2 ? line[i].leftJustified(width[i]) : line[i].rightJustified(width[i])) +
                    (i + 1 < line.size() ? QStringLiteral("  ") : QString());
        lines << text;
    }
    return lines.join(QLatin1Char('\n'));
}

// The plot of one file as the page draws it after Load: every record, the last one
// highlighted, channel 0 in the large plot.
bool ExportPlot(const TLoaded& file, const QString& out, bool svg, QString& error) {
    auto store = std::make_unique<TWaveStore>();
    TPlot plot(*store, [](int width, int height, uint32_t background) {
        return std::make_unique<TLayerSurface>(width, height, background);
    });
    WaveActive::Load(*store, plot, file.block);
    return svg ? PlotSvg::Save(out, plot, error)
               : PlotPicture::SavePng(out, PlotPicture::Raster(plot), error);
}

// "A-B" or "A" within the file's records.
bool ParseRecords(const QString& text, int count, int& from, int& to) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,3})(?:-(\\d{1,3}))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    from = m.captured(1).toInt();
    to = m.hasCaptured(2) ? m.captured(2).toInt() : from;
    return from <= to && to < count;
}

// The word after "wave", skipping options and their values.
QString SubcommandOf(const QStringList& arguments) {
    bool wave = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (ValueOptions.contains(a))
            ++i;
        else if (!a.startsWith(QLatin1Char('-')) && wave)
            return a;
        else if (!a.startsWith(QLatin1Char('-')))
            wave = true;
    }
    return QString();
}

} // namespace

bool WaveCommands::DrawsPlot(const QStringList& arguments) {
    if (!Wanted(arguments))
        return false;
    for (const QString& a : arguments)
        for (const char* option : {"--png", "--svg"})
            if (a == QLatin1String(option) || a.startsWith(QLatin1String(option) + u'='))
                return true;
    return false;
}

bool WaveCommands::Wanted(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        // `wave replay` runs capture over a journal: the main command table has it.
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-"))
            return a == QLatin1String("wave") &&
                   (i + 1 >= arguments.size() || arguments[i + 1] != QLatin1String("replay"));
        if (ValueOptions.contains(a))
            ++i;
    }
    return false;
}

int WaveCommands::Run(const QStringList& arguments) {
    if (TeachCommands::Handles(SubcommandOf(arguments)))
        return TeachCommands::Run(arguments);
    QCommandLineParser p;
    const QCommandLineOption help({"h", "help"}, "Show this text.");
    const QCommandLineOption json("json", "Results as JSON.");
    const QCommandLineOption by("by", "Group by label or result.", "label|result");
    const QCommandLineOption csv("csv", "CSV layout.", "values|samples|stats");
    const QCommandLineOption output({"o", "output"}, "Output file.", "FILE");
    const QCommandLineOption records("records", "Records to label.", "A-B");
    const QCommandLineOption kind("kind", "Coin kind.", "K");
    const QCommandLineOption cls("class", "genuine, fake or unknown.", "CLASS");
    const QCommandLineOption exclude("exclude", "Leave the records out of the statistics.");
    const QCommandLineOption note("note", "A note on the records.", "TEXT");
    const QCommandLineOption png("png", "The plot as a PNG picture.", "OUT.png");
    const QCommandLineOption svg("svg", "The plot as an SVG drawing.", "OUT.svg");
    p.addOptions({help, json, by, csv, output, records, kind, cls, exclude, note, png, svg});
    p.addPositionalArgument("wave", "wave");

    const bool parsed = p.parse(arguments);
    TReporter r(p.isSet(json), false);
    const auto usage = [&](const QString& message) {
        return r.Fail(Exit::Usage, message + QStringLiteral(" (see krv2ctl wave --help)"));
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

    // Each subcommand takes its own options and no other.
    const std::vector<std::pair<QString, std::vector<const QCommandLineOption*>>> allowed{
        {"stats", {&json, &by}},
        {"export", {&json, &by, &csv, &output, &png, &svg}},
        {"label", {&json, &records, &kind, &cls, &exclude, &note}}};
    const auto entry =
        std::find_if(allowed.begin(), allowed.end(), [&](const auto& e) { return e.first == sub; });
    if (entry == allowed.end())
        return usage(sub.isEmpty() ? QStringLiteral(
                                         "wave needs stats, export, label, teach, check or compare")
                                   : QStringLiteral("unknown wave command '%1'").arg(sub));
    for (const QCommandLineOption* o :
         {&by, &csv, &output, &records, &kind, &cls, &exclude, &note, &png, &svg})
        if (p.isSet(*o) &&
            std::find(entry->second.begin(), entry->second.end(), o) == entry->second.end())
            return usage(QStringLiteral("wave %1 takes no --%2").arg(sub, o->names().constLast()));
    if (paths.isEmpty())
        return usage(QStringLiteral("wave %1 needs a .bwv file").arg(sub));

    TGrouping grouping = TGrouping::Label;
    if (p.isSet(by)) {
        if (p.value(by) == QLatin1String("result"))
            grouping = TGrouping::Result;
        else if (p.value(by) != QLatin1String("label"))
            return usage(QStringLiteral("--by must be label or result"));
    }

    if (sub == QLatin1String("stats")) {
        std::vector<TLoaded> files;
        if (const int code = LoadAll(paths, r, files))
            return code;
        const TWaveTable table = TableOf(files);
        const TAnalysis a = Analyse(table, grouping);
        r.Result(StatsJson(table, a), StatsText(table, a));
        return Exit::Ok;
    }

    if (sub == QLatin1String("export") && (p.isSet(png) || p.isSet(svg))) {
        const bool asSvg = p.isSet(svg);
        if (p.isSet(png) + p.isSet(svg) + p.isSet(csv) > 1)
            return usage(QStringLiteral("wave export writes one of --csv, --png and --svg"));
        if (p.isSet(output) || p.isSet(by))
            return usage(QStringLiteral("wave export --%1 takes its file as its value, and no "
                                        "-o or --by")
                             .arg(asSvg ? "svg" : "png"));
        if (paths.size() != 1)
            return usage(QStringLiteral("the plot shows one .bwv file"));
        std::vector<TLoaded> files;
        if (const int code = LoadAll(paths, r, files))
            return code;
        const QString out = p.value(asSvg ? svg : png);
        QString error;
        if (!ExportPlot(files.front(), out, asSvg, error))
            return r.Fail(Exit::BadFile, error);
        r.Result(QJsonObject{{"file", QDir::toNativeSeparators(out)},
                             {"format", asSvg ? "svg" : "png"},
                             {"records", files.front().store->RecordCount}},
                 QStringLiteral("plot of %1 records written to %2")
                     .arg(files.front().store->RecordCount)
                     .arg(QDir::toNativeSeparators(out)));
        return Exit::Ok;
    }

    if (sub == QLatin1String("export")) {
        const auto layout = WaveCsv::LayoutFromName(p.value(csv));
        if (!layout)
            return usage(QStringLiteral("--csv must be values, samples or stats"));
        if (!p.isSet(output))
            return usage(QStringLiteral("wave export needs -o OUT.csv"));
        std::vector<TLoaded> files;
        if (const int code = LoadAll(paths, r, files))
            return code;
        const TWaveTable table = TableOf(files);
        QByteArray bytes;
        if (*layout == TCsvLayout::Stats) {
            const std::vector<TGroup> groups = WaveStats::MakeGroups(table, grouping);
            bytes = WaveCsv::Stats(groups, WaveStats::Statistics(table, groups));
        } else {
            bytes = WaveCsv::Build(table, *layout);
        }
        const QString out = p.value(output);
        QString error;
        if (!WaveCsv::WriteWhole(out, bytes, error))
            return r.Fail(Exit::BadFile, error);
        r.Result(QJsonObject{{"file", QDir::toNativeSeparators(out)},
                             {"layout", p.value(csv)},
                             {"records", static_cast<int>(table.Rows().size())}},
                 QStringLiteral("%1 CSV of %2 records written to %3")
                     .arg(p.value(csv))
                     .arg(table.Rows().size())
                     .arg(QDir::toNativeSeparators(out)));
        return Exit::Ok;
    }

    // label
    if (paths.size() != 1)
        return usage(QStringLiteral("wave label takes one .bwv file"));
    if (!p.isSet(records) || !p.isSet(kind) || !p.isSet(cls))
        return usage(QStringLiteral("wave label needs --records A-B, --kind K and --class"));
    const auto coinClass = ClassFromName(p.value(cls));
    if (!coinClass)
        return usage(QStringLiteral("--class must be genuine, fake or unknown"));
    std::vector<TLoaded> files;
    if (const int code = LoadAll(paths, r, files))
        return code;
    TLoaded& f = files.front();
    const int count = f.store->RecordCount;
    int from = 0;
    int to = 0;
    if (!ParseRecords(p.value(records), count, from, to))
        return usage(QStringLiteral("--records %1: %2 holds %3 records (0 to %4); give A-B or A "
                                    "with A <= B")
                         .arg(p.value(records), QDir::toNativeSeparators(f.path))
                         .arg(count)
                         .arg(count - 1));
    for (int rec = from; rec <= to; ++rec) {
        TRecordLabel label{p.value(kind).trimmed(), *coinClass, p.isSet(exclude),
                           p.isSet(note) ? p.value(note) : f.labels.At(rec).Note};
        if (const QString problem = TWaveLabels::Problem(label); !problem.isEmpty())
            return usage(problem);
        f.labels.Set(rec, label);
    }
    QString error;
    if (!WaveFile::SaveBlock(f.path, f.block, f.labels, error))
        return r.Fail(Exit::BadFile, error);
    const QString kindText = p.value(kind).trimmed();
    r.Result(QJsonObject{{"file", QDir::toNativeSeparators(f.path)},
                         {"records", QJsonArray{from, to}},
                         {"kind", kindText},
                         {"class", ClassName(*coinClass)},
                         {"excluded", p.isSet(exclude)}},
             QStringLiteral("%1: records %2 to %3 labelled %4/%5%6")
                 .arg(QDir::toNativeSeparators(f.path))
                 .arg(from)
                 .arg(to)
                 .arg(kindText, ClassName(*coinClass),
                      p.isSet(exclude) ? QStringLiteral(", excluded") : QString()));
    return Exit::Ok;
}
