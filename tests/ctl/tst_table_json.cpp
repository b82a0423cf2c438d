// The table document is checked whole before anything is sent: each bad field names
// its row, and the frames of a good one carry the documented record bytes.
#include "TableEdit.h"
#include "TableJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {
QJsonObject GoodTable() {
    QJsonArray rows;
    for (int n = 0; n < 8; ++n)
        rows.append(QJsonObject{{"channel", n + 1},
                                {"value", 0},
                                {"disable", false},
                                {"sorter", "A"},
                                {"dip", QJsonValue::Null}});
    rows.append(
        QJsonObject{{"channel", 9}, {"value", 5}, {"disable", 0}, {"sorter", 0}, {"dip", 0}});
    return {{"channels", rows}};
}

QJsonObject WithField(int row, const QString& key, const QJsonValue& value) {
    return ChangedTable(GoodTable(), row, key, value);
}
} // namespace

class TstTableJson : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fieldChecks_data();
    void fieldChecks();
    void documentedFrame();
    void readBackCompare();
};

void TstTableJson::fieldChecks_data() {
    QTest::addColumn<QJsonObject>("table");
    QTest::addColumn<QString>("problem"); // empty: accepted

    QTest::newRow("value 1000 is the largest") << WithField(2, "value", 1000) << QString();
    QTest::newRow("value 1001") << WithField(2, "value", 1001) << "row 3 (Channel[3]): value 1001";
    QTest::newRow("negative value") << WithField(0, "value", -1) << "row 1 (Channel[1]): value -1";
    QTest::newRow("fraction") << WithField(1, "value", 12.5) << "row 2 (Channel[2]): value 12.5";
    QTest::newRow("value as text")
        << WithField(1, "value", "12") << "row 2 (Channel[2]): value \"12\"";
    QTest::newRow("pulse value 1001") << WithField(8, "value", 1001) << "row 9 (Value of Pulse)";
    QTest::newRow("sorter D") << WithField(4, "sorter", "d") << QString();
    QTest::newRow("sorter E") << WithField(4, "sorter", "E") << "row 5 (Channel[5]): \"sorter\"";
    QTest::newRow("dip 3") << WithField(5, "dip", 3) << QString();
    QTest::newRow("dip 6") << WithField(5, "dip", 6) << QString();
    QTest::newRow("dip 2") << WithField(5, "dip", 2) << "row 6 (Channel[6]): \"dip\"";
    QTest::newRow("dip 7") << WithField(5, "dip", 7) << "row 6 (Channel[6]): \"dip\"";
    QTest::newRow("disable as number")
        << WithField(7, "disable", 1) << "row 8 (Channel[8]): \"disable\"";
    QTest::newRow("pulse byte 256")
        << WithField(8, "sorter", 256) << "row 9 (Value of Pulse): \"sorter\"";
    QTest::newRow("rows out of order")
        << WithField(3, "channel", 5) << "row 4 (Channel[4]): \"channel\"";
    QJsonObject eight = GoodTable();
    QJsonArray rows = eight["channels"].toArray();
    rows.removeLast();
    eight["channels"] = rows;
    QTest::newRow("eight rows") << eight << "must list 9 rows, it has 8";
}

void TstTableJson::fieldChecks() {
    QFETCH(QJsonObject, table);
    QFETCH(QString, problem);
    QString why;
    const auto frames = FramesFromJson(table, why);
    if (problem.isEmpty()) {
        QVERIFY2(frames.has_value(), qPrintable(why));
    } else {
        QVERIFY(!frames);
        QVERIFY2(why.contains(problem), qPrintable(why));
    }
}

void TstTableJson::documentedFrame() {
    // Channel 2 with value 500, disabled, sorter B, DIP 3.
    QJsonObject table = WithField(1, "value", 500);
    QJsonArray rows = table["channels"].toArray();
    QJsonObject r = rows[1].toObject();
    r["disable"] = true;
    r["sorter"] = "B";
    r["dip"] = 3;
    rows[1] = r;
    table["channels"] = rows;
    QString why;
    const auto frames = FramesFromJson(table, why);
    QVERIFY(frames);
    const std::array<uint8_t, 13> expected{0x90, 0x0D, 0x60, 0x01, 0x01, 0xF4, 0x00,
                                           0x01, 0x00, 0x01, 0x00, 0x03, 0xF8};
    QCOMPARE((*frames)[1], expected);
}

void TstTableJson::readBackCompare() {
    QString why;
    const auto frames = FramesFromJson(WithField(0, "value", 100), why);
    QVERIFY(frames);
    // 55, channel 1 = 00 64 00 00 00 00 00 00, channels 2..8 zero, pulse 00 05 ...
    std::array<uint8_t, ParameterTableSize> table{};
    table[0] = 0x55;
    table[2] = 0x64;
    table[66] = 0x05;
    QVERIFY(TableMatches(table, *frames));
    // Round trip through the document the read prints.
    const auto again = FramesFromJson(TableToJson(table), why);
    QVERIFY2(again, qPrintable(why));
    QVERIFY(TableMatches(table, *again));
    table[2] = 0x65;
    QVERIFY(!TableMatches(table, *frames));
}

QTEST_APPLESS_MAIN(TstTableJson)
#include "tst_table_json.moc"
