#include "WaveCsv.h"

#include "WaveFile.h"

#include <QDir>

#include <charconv>

namespace {
constexpr char Crlf[] = "\r\n";

// A comma and the number: the samples layout writes 1,800 of them a record.
void AddNumber(QByteArray& line, qint64 value) {
    char text[24] = {','};
    const auto end = std::to_chars(text + 1, text + sizeof text, value).ptr;
    line.append(text, end - text);
}
} // namespace

std::optional<TCsvLayout> WaveCsv::LayoutFromName(QStringView name) {
    if (name == QLatin1String("values"))
        return TCsvLayout::Values;
    if (name == QLatin1String("samples"))
        return TCsvLayout::Samples;
    if (name == QLatin1String("stats"))
        return TCsvLayout::Stats;
    return std::nullopt;
}

QByteArray WaveCsv::Field(QStringView text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') &&
        !bytes.contains('\n'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

QByteArray WaveCsv::Decimal3(double value) {
    QByteArray text = QByteArray::number(value, 'f', 3);
    if (text == "-0.000")
        text = "0.000";
    return text;
}

QByteArray WaveCsv::Values(const TWaveTable& table) {
    QByteArray out = "record,length,kind,class,excluded";
    for (int m = 0; m < WaveCaptions::ValueCount; ++m)
        out += ',' + Field(WaveTable::Caption(m));
    out += Crlf;
    for (const TTableRow& row : table.Rows()) {
        out += QByteArray::number(row.Record);
        AddNumber(out, row.Length);
        out += ',' + Field(row.Label.Kind);
        out += ',' + ClassName(row.Label.Class).toUtf8();
        out += row.Label.Excluded ? ",1" : ",0";
        for (const int32_t v : row.Values)
            AddNumber(out, v);
        out += Crlf;
    }
    return out;
}

QByteArray WaveCsv::Samples(const TWaveTable& table) {
    QByteArray out = "record,channel";
    for (int s = 0; s < TWaveStore::Samples; ++s)
        out += ",s" + QByteArray::number(s);
    out += Crlf;
    // About four bytes a sample.
    out.reserve(out.size() + static_cast<qsizetype>(table.Rows().size()) * TWaveStore::Channels *
                                 TWaveStore::Samples * 4);
    for (const TTableRow& row : table.Rows()) {
        for (int c = 0; c < TWaveStore::Channels; ++c) {
            out += QByteArray::number(row.Record);
            AddNumber(out, c);
            for (const int32_t v : table.Samples(row, c))
                AddNumber(out, v);
            out += Crlf;
        }
    }
    return out;
}

QByteArray WaveCsv::Stats(const std::vector<TGroup>& groups, const std::vector<TStatRow>& stats) {
    QByteArray out = "group,measurement,n,min,max,mean,sd,median";
    out += Crlf;
    for (const TStatRow& row : stats) {
        const TStat& st = row.Stat;
        out += Field(groups[static_cast<size_t>(row.Group)].Name);
        out += ',' + Field(WaveTable::Caption(row.Measurement));
        AddNumber(out, st.N);
        AddNumber(out, st.Min);
        AddNumber(out, st.Max);
        out += ',' + Decimal3(st.Mean);
        out += ',' + (st.Sd ? Decimal3(*st.Sd) : QByteArray());
        out += ',' + Decimal3(st.Median);
        out += Crlf;
    }
    return out;
}

QByteArray WaveCsv::Build(const TWaveTable& table, TCsvLayout layout) {
    switch (layout) {
    case TCsvLayout::Values:
        return Values(table);
    case TCsvLayout::Samples:
        return Samples(table);
    case TCsvLayout::Stats:
        break;
    }
    const std::vector<TGroup> groups = WaveStats::MakeGroups(table, TGrouping::Label);
    return Stats(groups, WaveStats::Statistics(table, groups));
}

bool WaveCsv::WriteWhole(const QString& path, const QByteArray& bytes, QString& error) {
    return WaveFile::WriteWhole(path, bytes, error);
}
