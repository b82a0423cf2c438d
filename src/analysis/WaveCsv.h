// The measurement table, the samples and the statistics as CSV files a spreadsheet
// opens anywhere: RFC 4180 (comma, CRLF, a field quoted when it holds a comma, a quote
// or a line break), UTF-8 without a byte-order mark, "." as the decimal point whatever
// the locale.
#pragma once

#include "WaveStats.h"
#include "WaveTable.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

enum class TCsvLayout {
    Values,  // record,length,kind,class,excluded, then the twenty captions
    Samples, // record,channel,s0..s299: one line per record and channel
    Stats,   // group,measurement,n,min,max,mean,sd,median
};

namespace WaveCsv {
// "values", "samples", "stats".
std::optional<TCsvLayout> LayoutFromName(QStringView name);

QByteArray Values(const TWaveTable& table);
QByteArray Samples(const TWaveTable& table);
// Mean, sd and median with three decimals; sd empty when n < 2.
QByteArray Stats(const std::vector<TGroup>& groups, const std::vector<TStatRow>& stats);
// The layout over the table, statistics grouped by label.
QByteArray Build(const TWaveTable& table, TCsvLayout layout);

// One field, quoted when it must be.
QByteArray Field(QStringView text);
// Three decimals, "." as the point, never "-0.000".
QByteArray Decimal3(double value);

// Writes `bytes` to `path` whole: the old file stays as it was unless every byte is
// written. On failure `error` says why, with the file name.
bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error);
} // namespace WaveCsv
