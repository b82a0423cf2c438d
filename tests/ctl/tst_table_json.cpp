// The table document is checked whole before anything is sent: each bad field, unknown,
// missing or repeated key names its row, and the frames of a good one carry the
// documented record bytes.
#include "TableEdit.h"
#include "TableJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

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

QJsonObject WithoutField(int row, const QString& key) {
    QJsonObject table = GoodTable();
    QJsonArray rows = table["channels"].toArray();
    QJsonObject r = rows[row].toObject();
    r.remove(key);
    rows[row] = r;
    table["channels"] = rows;
    return table;
}

// The good table as compact text, rows as {"channel":n,"dip":..,"disable":..,..}, with
// `from` replaced by `to` once.
QByteArray GoodText(const QByteArray& from = {}, const QByteArray& to = {}) {
    QByteArray text = QJsonDocument(GoodTable()).toJson(QJsonDocument::Compact);
    if (!from.isEmpty()) {
        const qsizetype at = text.indexOf(from);
        if (at >= 0)
            text.replace(at, from.size(), to);
    }
    return text;
}

void CheckOutcome(const std::optional<TChannelFrames>& frames, const QString& why,
                  const QString& problem) {
    if (problem.isEmpty()) {
        QVERIFY2(frames.has_value(), qPrintable(why));
    } else {
        QVERIFY(!frames);
        QVERIFY2(why.contains(problem), qPrintable(why));
    }
}
} // namespace

class TstTableJson : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fieldChecks_data();
    void fieldChecks();
    void textChecks_data();
    void textChecks();
    void fileSize_data();
    void fileSize();
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
    // Out-of-range doubles are refused before any conversion to an integer.
    QTest::newRow("value 1e30") << WithField(0, "value", 1e30) << "row 1 (Channel[1]): value 1e+30";
    QTest::newRow("value -1e30") << WithField(0, "value", -1e30)
                                 << "row 1 (Channel[1]): value -1e+30";
    QTest::newRow("value infinite")
        << WithField(0, "value", std::numeric_limits<double>::infinity()) << "row 1 (Channel[1])";
    QTest::newRow("pulse byte 1e30")
        << WithField(8, "dip", 1e30) << "row 9 (Value of Pulse): \"dip\" must be a byte";
    QTest::newRow("channel 1e30") << WithField(2, "channel", 1e30)
                                  << "row 3 (Channel[3]): \"channel\"";
    // Every key known, every data key given; null is the way to say "no DIP position".
    QTest::newRow("misspelled key")
        << WithField(2, "Dip", 3) << "row 3 (Channel[3]): unknown key \"Dip\"";
    QTest::newRow("dip missing") << WithoutField(3, "dip")
                                 << "row 4 (Channel[4]): \"dip\" is missing";
    QTest::newRow("value missing")
        << WithoutField(0, "value") << "row 1 (Channel[1]): \"value\" is missing";
    QTest::newRow("pulse byte missing")
        << WithoutField(8, "sorter") << "row 9 (Value of Pulse): \"sorter\" is missing";
    QTest::newRow("channel may be left out") << WithoutField(4, "channel") << QString();
    QTest::newRow("pulse row named") << WithField(8, "name", "Value of Pulse") << QString();
    QTest::newRow("coin row named")
        << WithField(1, "name", "Value of Pulse") << "row 2 (Channel[2]): unknown key \"name\"";
    QTest::newRow("pulse row misnamed")
        << WithField(8, "name", "Channel[9]") << "row 9 (Value of Pulse): \"name\"";
    QJsonObject extra = GoodTable();
    extra["chanels"] = QJsonArray();
    QTest::newRow("unknown document key") << extra << "the document: unknown key \"chanels\"";
    QJsonObject checked = GoodTable();
    checked["checkByte"] = "55";
    QTest::newRow("check byte as read") << checked << QString();
    QTest::newRow("no rows") << QJsonObject{{"checkByte", "55"}}
                             << "the document: \"channels\" is missing";
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
    CheckOutcome(FramesFromJson(table, why), why, problem);
}

void TstTableJson::textChecks_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem"); // empty: accepted

    QTest::newRow("good") << GoodText() << QString();
    QTest::newRow("dip twice") << GoodText(R"({"channel":2,)", R"({"channel":2,"dip":4,)")
                               << "row 2 (Channel[2]): \"dip\" is given twice";
    QTest::newRow("escaped spelling")
        << GoodText(R"({"channel":3,)", R"({"channel":3,"di\u0070":4,)")
        << "row 3 (Channel[3]): \"dip\" is given twice";
    QTest::newRow("pulse name twice")
        << GoodText(R"({"channel":9,)",
                    R"({"channel":9,"name":"Value of Pulse","name":"Value of Pulse",)")
        << "row 9 (Value of Pulse): \"name\" is given twice";
    QTest::newRow("channels twice")
        << GoodText("{", R"({"channels":[],)") << "the document: \"channels\" is given twice";
    QTest::newRow("twice deeper") << GoodText(R"("dip":null)", R"("dip":{"a":1,"a":2})")
                                  << "at /channels/0/dip: \"a\" is given twice";
    // Quotes, braces and commas inside a string are not structure.
    QTest::newRow("structure inside a string")
        << GoodText("{", R"({"checkByte":"}{\"channels\":[,",)") << QString();
    QTest::newRow("1e30 in the text")
        << GoodText(R"("value":0})", R"("value":1e30})") << "row 1 (Channel[1]): value 1e+30";
    QTest::newRow("beyond a double")
        << GoodText(R"("value":0})", R"("value":1e400})") << "not JSON";
    QTest::newRow("not an object") << QByteArray("[1, 2]") << "not a table document";
    QTest::newRow("empty") << QByteArray() << "not JSON";
}

void TstTableJson::textChecks() {
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    QString why;
    CheckOutcome(FramesFromText(text, why), why, problem);
}

void TstTableJson::fileSize_data() {
    QTest::addColumn<qint64>("size"); // of a good document padded with blanks; -1: /dev/zero
    QTest::addColumn<QString>("problem");

    QTest::newRow("at the limit") << TableFileLimit << QString();
    QTest::newRow("one byte over") << TableFileLimit + 1 << "larger than 64 KiB";
    QTest::newRow("endless device") << qint64{-1} << "larger than 64 KiB";
}

void TstTableJson::fileSize() {
    QFETCH(qint64, size);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    QString path = QStringLiteral("/dev/zero");
    if (size >= 0) {
        QByteArray text = GoodText();
        text.append(size - text.size(), ' ');
        path = dir.filePath("table.json");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == size);
    }
    QString why;
    CheckOutcome(ReadTableFile(path, why), why, problem);
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
