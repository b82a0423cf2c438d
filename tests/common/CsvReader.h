// Test helper: a small RFC 4180 reader written apart from the exporter, so exported
// CSV is checked by what a spreadsheet would read.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// Splits RFC 4180 text into records of fields. Every record must end in CRLF; a
// quoted field may hold commas, CRLF and doubled quotes; a bare quote, CR or LF
// elsewhere fails the read.
inline bool ReadCsv(const QByteArray& bytes, QList<QStringList>& records) {
    records.clear();
    QStringList record;
    QByteArray field;
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == '"') {
            for (++i;; ++i) {
                if (i >= bytes.size())
                    return false;
                if (bytes[i] == '"') {
                    if (i + 1 < bytes.size() && bytes[i + 1] == '"')
                        field += bytes[++i];
                    else
                        break;
                } else {
                    field += bytes[i];
                }
            }
            ++i;
        } else {
            while (i < bytes.size() && bytes[i] != ',' && bytes[i] != '\r') {
                if (bytes[i] == '"' || bytes[i] == '\n')
                    return false;
                field += bytes[i++];
            }
        }
        record << QString::fromUtf8(field);
        field.clear();
        if (i < bytes.size() && bytes[i] == ',') {
            ++i;
            continue;
        }
        if (i + 1 >= bytes.size() || bytes[i] != '\r' || bytes[i + 1] != '\n')
            return false;
        i += 2;
        records << record;
        record.clear();
    }
    return true;
}
