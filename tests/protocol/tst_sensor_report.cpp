#include "ByteLiterals.h"
#include "SensorReport.h"

#include <QTest>

Q_DECLARE_METATYPE(TVerdict)

class TstSensorReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void limitEdges_data();
    void limitEdges();
    void decodesEveryItemInRowOrder();
    void dipAndInhibit_data();
    void dipAndInhibit();
};

void TstSensorReport::limitEdges_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::addColumn<TVerdict>("verdict");
    const auto in = TVerdict::Within;
    const auto out = TVerdict::Outside;
    const auto none = TVerdict::NotJudged;
    QTest::newRow("Big Coil 730") << 0 << 730 << out;
    QTest::newRow("Big Coil 731") << 0 << 731 << in;
    QTest::newRow("Big Coil 929") << 0 << 929 << in;
    QTest::newRow("Big Coil 930") << 0 << 930 << out;
    QTest::newRow("Small Coil 720") << 1 << 720 << out;
    QTest::newRow("Small Coil 721") << 1 << 721 << in;
    QTest::newRow("Small Coil 879") << 1 << 879 << in;
    QTest::newRow("Small Coil 880") << 1 << 880 << out;
    QTest::newRow("Temperature 65535") << 2 << 65535 << none;
    QTest::newRow("DROP1 SEN 0") << 3 << 0 << none;
    QTest::newRow("DROP IN2 99") << 4 << 99 << in;
    QTest::newRow("DROP IN2 100") << 4 << 100 << out;
    QTest::newRow("DROP IN1 99") << 5 << 99 << in;
    QTest::newRow("DROP IN1 100") << 5 << 100 << out;
    QTest::newRow("COIN RETURN 79") << 6 << 79 << in;
    QTest::newRow("COIN RETURN 80") << 6 << 80 << out;
    QTest::newRow("SEN3 350") << 7 << 350 << none;
    QTest::newRow("SEN2 1000") << 8 << 1000 << out;
    QTest::newRow("SEN2 1001") << 8 << 1001 << in;
    QTest::newRow("SEN1 79") << 9 << 79 << in;
    QTest::newRow("SEN1 80") << 9 << 80 << out;
}

void TstSensorReport::limitEdges() {
    QFETCH(int, index);
    QFETCH(int, value);
    QFETCH(TVerdict, verdict);
    QCOMPARE(JudgeReading(index, value), verdict);
}

void TstSensorReport::decodesEveryItemInRowOrder() {
    // 731 930 25 55 99 100 79 350 1001 80, DIP 0x05, inhibit 1.
    const auto report = Bytes("50 02 DB 03 A2 00 19 00 37 00 63 00 64 00 4F 01 5E 03 E9 00 50"
                              " 05 01");
    const auto items = DecodeSensorReport(report);
    const QStringList expected{"731", "930", "25",   "55", "99",       "100",
                               "79",  "350", "1001", "80", "10100000", "ENABLE"};
    const QList<TVerdict> verdicts{TVerdict::Within,    TVerdict::Outside,   TVerdict::NotJudged,
                                   TVerdict::NotJudged, TVerdict::Within,    TVerdict::Outside,
                                   TVerdict::Within,    TVerdict::NotJudged, TVerdict::Within,
                                   TVerdict::Outside,   TVerdict::NotJudged, TVerdict::NotJudged};
    for (int i = 0; i < SensorItemCount; ++i) {
        QCOMPARE(items[static_cast<size_t>(i)].text, expected[i]);
        QCOMPARE(items[static_cast<size_t>(i)].verdict, verdicts[i]);
    }
}

void TstSensorReport::dipAndInhibit_data() {
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("dip");
    QTest::addColumn<QString>("inhibit");
    QTest::newRow("bit 0") << Raw("01 00") << "10000000"
                           << "DISABLE";
    QTest::newRow("bit 7") << Raw("80 01") << "00000001"
                           << "ENABLE";
    QTest::newRow("inhibit FF") << Raw("00 FF") << "00000000"
                                << "ENABLE";
}

void TstSensorReport::dipAndInhibit() {
    QFETCH(QByteArray, tail);
    QFETCH(QString, dip);
    QFETCH(QString, inhibit);
    const QByteArray report = Raw("50") + QByteArray(20, '\0') + tail;
    const auto items = DecodeSensorReport(AsSpan(report));
    QCOMPARE(items[10].text, dip);
    QCOMPARE(items[11].text, inhibit);
}

QTEST_APPLESS_MAIN(TstSensorReport)
#include "tst_sensor_report.moc"
