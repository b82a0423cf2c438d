#include "ByteLiterals.h"
#include "MonitorReplies.h"
#include "ParameterTable.h"

#include <QTest>

Q_DECLARE_METATYPE(std::vector<int>)

class TstReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void monitorReplies_data();
    void monitorReplies();
    void percentage();
    void textAndDip();
    void parameterTableRecords_data();
    void parameterTableRecords();
    void channelFrames_data();
    void channelFrames();
};

void TstReplies::monitorReplies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("counting");
    QTest::addColumn<std::vector<int>>("lit");
    QTest::addColumn<int>("pass"); // 1 pass, -1 no pass, 0 neither
    QTest::addColumn<int>("logLength");

    QTest::newRow("idling") << Raw("90 05 11 03 A9") << false << std::vector<int>{mlIdling} << 0
                            << 5;
    QTest::newRow("ack") << Raw("90 05 50 03 E8") << false << std::vector<int>{mlAck} << 0 << 5;
    QTest::newRow("nak") << Raw("90 05 4B 03 E3") << false << std::vector<int>{mlNak} << 0 << 5;
    QTest::newRow("disable") << Raw("90 05 14 03 AC") << false << std::vector<int>{mlDisable} << 0
                             << 5;
    QTest::newRow("unknown status")
        << Raw("90 05 33 03 CB") << false << std::vector<int>{} << 0 << 5;
    QTest::newRow("wrong sum") << Raw("90 05 11 03 AA") << false << std::vector<int>{} << 0 << 5;
    QTest::newRow("sensor 1") << Raw("90 06 16 01 03 B0") << false << std::vector<int>{mlSen1} << 0
                              << 6;
    QTest::newRow("sensor 7 shows on SEN 6")
        << Raw("90 06 16 07 03 B6") << false << std::vector<int>{mlSen1 + 5} << 0 << 6;
    QTest::newRow("sensor 8 lights nothing")
        << Raw("90 06 16 08 03 B7") << false << std::vector<int>{} << 0 << 6;
    QTest::newRow("coin 3 counted")
        << Raw("90 06 12 03 03 AE") << true << std::vector<int>{mlAccepting, mlCoin1 + 2} << 1 << 6;
    QTest::newRow("coin not passed")
        << Raw("90 06 12 88 03 33") << true << std::vector<int>{} << -1 << 6;
    QTest::newRow("coin 9 still passes")
        << Raw("90 06 12 09 03 B4") << true << std::vector<int>{mlAccepting} << 1 << 6;
    QTest::newRow("coin while not counting")
        << Raw("90 06 12 03 03 AE") << false << std::vector<int>{} << 0 << 6;
    QTest::newRow("length 7 is not logged")
        << Raw("90 07 11 03 00 00 AB") << false << std::vector<int>{} << 0 << 0;
}

void TstReplies::monitorReplies() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, counting);
    QFETCH(std::vector<int>, lit);
    QFETCH(int, pass);
    QFETCH(int, logLength);
    QByteArray buffer = reply;
    buffer.resize(76, '\x7F'); // decoding sees the whole reply buffer
    const TMonitorResult r = DecodeMonitorReply(AsSpan(buffer), counting);
    std::bitset<mlCount> expected;
    for (int l : lit)
        expected.set(static_cast<size_t>(l));
    QCOMPARE(QString::fromStdString(r.lit.to_string()),
             QString::fromStdString(expected.to_string()));
    QCOMPARE(r.passed, pass == 1);
    QCOMPARE(r.notPassed, pass == -1);
    QCOMPARE(r.logLength, logLength);
}

void TstReplies::percentage() {
    QVERIFY(!PercentText(0, 0));
    QVERIFY(!PercentText(0, 3)); // the label keeps its text while nothing passed
    QCOMPARE(*PercentText(1, 0), QStringLiteral("100 %"));
    QCOMPARE(*PercentText(1, 1), QStringLiteral("50 %"));
    QCOMPARE(*PercentText(2, 1), QStringLiteral("66 %")); // the remainder is dropped
    // Large counts must not overflow in the multiplication.
    QCOMPARE(*PercentText(30000000, 10000000), QStringLiteral("75 %"));
}

void TstReplies::textAndDip() {
    const QByteArray version = Raw("90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 00");
    QCOMPARE(TextReplyChars(AsSpan(version)), QStringLiteral("KRV2 V1.10"));
    QVERIFY(SumMatches(AsSpan(version), 15)); // the sum wraps to exactly 0x300
    QVERIFY(!SumMatches(AsSpan(Raw("90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 01")), 15));
    QVERIFY(SumMatches(AsSpan(Raw("90 06 24 A5 03 62")), 6));
    QCOMPARE(BitsMsbFirst(0xA5), QStringLiteral("10100101"));
    QCOMPARE(BitsMsbFirst(0x01), QStringLiteral("00000001"));
}

void TstReplies::parameterTableRecords_data() {
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<int>("sorter"); // -1: the list keeps its choice
    QTest::addColumn<int>("dip");    // list index, -1: keeps its choice
    QTest::newRow("100 Yes C 5") << Raw("00 64 00 01 00 02 00 05") << 100 << true << 2 << 3;
    QTest::newRow("500 No A 0") << Raw("01 F4 00 00 00 00 00 00") << 500 << false << 0 << 0;
    QTest::newRow("disable 2 is No") << Raw("00 05 00 02 00 03 00 06") << 5 << false << 3 << 4;
    QTest::newRow("dip 2 and sorter 7 keep")
        << Raw("03 E8 00 01 00 07 00 02") << 1000 << true << -1 << -1;
    QTest::newRow("dip 7 keeps") << Raw("FF FF 00 00 00 01 00 07") << 65535 << false << 1 << -1;
}

void TstReplies::parameterTableRecords() {
    QFETCH(QByteArray, record);
    QFETCH(int, value);
    QFETCH(bool, disabled);
    QFETCH(int, sorter);
    QFETCH(int, dip);
    // The record under test stands as channel 2 and as the pulse channel.
    QByteArray table = Raw("55") + QByteArray(72, '\0');
    table.replace(1 + 8 * 2, 8, record);
    table.replace(1 + 8 * 8, 8, record);
    const auto channels = DecodeParameterTable(AsSpan(table));
    const TChannelView& c = channels[2];
    QCOMPARE(c.value, value);
    QCOMPARE(c.disabled, disabled);
    QCOMPARE(c.sorterIndex.value_or(-1), sorter);
    QCOMPARE(c.dipIndex.value_or(-1), dip);
    QCOMPARE(channels[8].value, value);
    QCOMPARE(int(channels[8].tail[0]), int(uint8_t(record[3])));
    QCOMPARE(int(channels[8].tail[1]), int(uint8_t(record[5])));
    QCOMPARE(int(channels[8].tail[2]), int(uint8_t(record[7])));
    QCOMPARE(channels[0].value, 0);
}

void TstReplies::channelFrames_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("disable");
    QTest::addColumn<int>("sorter");
    QTest::addColumn<int>("dip");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("channel 1 zero")
        << 0 << 0 << 0 << 0 << 0 << Raw("90 0D 60 00 00 00 00 00 00 00 00 00 FD");
    QTest::newRow("channel 1 value 100")
        << 0 << 100 << 0 << 0 << 0 << Raw("90 0D 60 00 00 64 00 00 00 00 00 00 61");
    QTest::newRow("channel 2 500 Yes B 3")
        << 1 << 500 << 1 << 1 << 3 << Raw("90 0D 60 01 01 F4 00 01 00 01 00 03 F8");
}

void TstReplies::channelFrames() {
    QFETCH(int, channel);
    QFETCH(int, value);
    QFETCH(int, disable);
    QFETCH(int, sorter);
    QFETCH(int, dip);
    QFETCH(QByteArray, frame);
    const auto f =
        BuildChannelFrame(channel, static_cast<uint16_t>(value), static_cast<uint8_t>(disable),
                          static_cast<uint8_t>(sorter), static_cast<uint8_t>(dip));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(f.data()), 13), frame);
}

QTEST_APPLESS_MAIN(TstReplies)
#include "tst_replies.moc"
