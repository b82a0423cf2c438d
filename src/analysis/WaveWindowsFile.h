// Windows files: the taught windows as a JSON document that krv2ctl and the Get_Wave
// page read back, and as CSV for a spreadsheet. Reading is strict, since a window that
// is silently wrong passes coins it should not: anything unexpected is refused with
// the entry it is in.
//
//   {"kinds": [{"kind": "10c", "n": 40, "k": 3, "date": "2025-03-05T14:30:15",
//               "windows": [{"measurement": "DROP1 CNT", "low": 10, "high": 14,
//                            "mean": 12.025, "sd": 0.8}, ...]}, ...]}
//
// A kind has "k" (mean ± k·sd) or "margin" (lowest − margin to highest + margin).
// "mean" and "sd" are optional (sd is null for one coin); a kind may leave a
// measurement out, which is then not tested. Measurements go by their captions as
// tables show them ("MAX", not "MAX ").
#pragma once

#include "WaveTeach.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QString>

namespace WaveWindowsFile {
QJsonArray ToJsonArray(const TWindowsSet& windows);
QByteArray ToJson(const TWindowsSet& windows);
// kind,measurement,low,high,n,mean,sd: one line per kind and measurement, RFC 4180;
// mean and sd with three decimals, sd empty for one coin.
QByteArray ToCsv(const TWindowsSet& windows);

// The document in `bytes`; false with `error` naming the entry at fault.
bool FromJson(QByteArrayView bytes, TWindowsSet& windows, QString& error);
// The same from a file; `error` starts with the file name.
bool Read(const QString& path, TWindowsSet& windows, QString& error);
} // namespace WaveWindowsFile
