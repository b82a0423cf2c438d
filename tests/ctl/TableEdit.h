// Test helper: a table document as `table read` gives it, with one field changed.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

inline QJsonObject ChangedTable(QJsonObject table, int row, const QString& key,
                                const QJsonValue& value) {
    QJsonArray rows = table["channels"].toArray();
    QJsonObject r = rows[row].toObject();
    r[key] = value;
    rows[row] = r;
    table["channels"] = rows;
    return table;
}
