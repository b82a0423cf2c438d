#include "ByteLiterals.h"
#include "Modes.h"
#include "ReplyAssembly.h"

#include <QTest>

Q_DECLARE_METATYPE(std::vector<QByteArray>)

namespace {

// A 73-byte parameter table: check byte 0x55, then records with recognisable bytes.
QByteArray Table(uint8_t checkByte = 0x55) {
    QByteArray t(73, '\0');
    t[0] = static_cast<char>(checkByte);
    for (int i = 1; i < 73; ++i)
        t[i] = static_cast<char>(i);
    return t;
}

std::vector<QByteArray> Split(const QByteArray& all, int piece) {
    std::vector<QByteArray> parts;
    for (qsizetype at = 0; at < all.size(); at += piece)
        parts.push_back(all.mid(at, piece));
    return parts;
}

} // namespace

class TstReplyAssembly : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void completesOnceAtTheLastByte_data();
    void completesOnceAtTheLastByte();
    void secondReplyInTheSameDeliveryStartsAtIndexZero();
    void neverCompletingCollectionIsDroppedAtCapacity_data();
    void neverCompletingCollectionIsDroppedAtCapacity();
    void shortAnswerEndsTextCollection();
    void unfinishedReplyCarriesIntoTheNextMode();
    void modesWithoutReader();
};

void TstReplyAssembly::completesOnceAtTheLastByte_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<std::vector<QByteArray>>("deliveries");
    QTest::addColumn<int>("completingDelivery");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray table = Table();
    QTest::newRow("table in eight deliveries")
        << Mode::ParameterTable << Split(table, 10) << 7 << table;
    QTest::newRow("table after a zero byte")
        << Mode::ParameterTable << std::vector<QByteArray>{Raw("00"), table.left(72)} << 1
        << (Raw("00") + table.left(72));
    QTest::newRow("noise before a save answer")
        << Mode::SaveAnswer << std::vector<QByteArray>{Raw("11 22 90 05"), Raw("50 03 E8")} << 1
        << Raw("90 05 50 03 E8");
    QTest::newRow("status reply split")
        << Mode::Monitor << std::vector<QByteArray>{Raw("90 05 11"), Raw("03 A9")} << 1
        << Raw("90 05 11 03 A9");
    QTest::newRow("event reply") << Mode::Monitor
                                 << std::vector<QByteArray>{Raw("90 06 12 03 03 AE")} << 0
                                 << Raw("90 06 12 03 03 AE");
    QTest::newRow("version reply byte by byte")
        << Mode::Version << Split(Raw("90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 00"), 1) << 14
        << Raw("90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 00");
    QTest::newRow("sensor report from its code byte")
        << Mode::SensorReport
        << std::vector<QByteArray>{Raw("90 04"), Raw("50") + QByteArray(22, '\x01')} << 1
        << (Raw("50") + QByteArray(22, '\x01'));
    QTest::newRow("DIP reply by its length byte")
        << Mode::DipSwitch << std::vector<QByteArray>{Raw("90 06 24"), Raw("A5 03 62")} << 1
        << Raw("90 06 24 A5 03 62");
    // Line data may hold 0x90; while a line is being collected it is plain data.
    QTest::newRow("line data holding 0x90")
        << Mode::ReadLine
        << std::vector<QByteArray>{Raw("90 0B 28 00 00 90 90"), Raw("01 02 03 5F")} << 1
        << Raw("90 0B 28 00 00 90 90 01 02 03 5F");
}

void TstReplyAssembly::completesOnceAtTheLastByte() {
    QFETCH(int, mode);
    QFETCH(std::vector<QByteArray>, deliveries);
    QFETCH(int, completingDelivery);
    QFETCH(QByteArray, reply);

    TReplyAssembly assembly;
    const auto rule = RuleForMode(mode);
    QVERIFY(rule.has_value());
    for (size_t i = 0; i < deliveries.size(); ++i) {
        const TAssemblyResult r = assembly.Feed(AsSpan(deliveries[i]), *rule);
        QCOMPARE(r.completed, int(i) == completingDelivery);
    }
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(assembly.ReplyBuffer.data()), reply.size()),
             reply);
    QCOMPARE(assembly.ReplyCount, 0);
    QVERIFY(!assembly.ReplyStarted);
}

void TstReplyAssembly::secondReplyInTheSameDeliveryStartsAtIndexZero() {
    TReplyAssembly assembly;
    const auto r =
        assembly.Feed(AsSpan(Raw("90 05 50 03 E8 90 06 12")), *RuleForMode(Mode::Monitor));
    QVERIFY(r.completed);
    QVERIFY(assembly.ReplyStarted);
    QCOMPARE(assembly.ReplyCount, 3);
    QCOMPARE(int(assembly.ReplyBuffer[1]), 0x06);
    QCOMPARE(int(assembly.ReplyBuffer[3]), 0x03); // left from the first reply
}

void TstReplyAssembly::neverCompletingCollectionIsDroppedAtCapacity_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("stuck");
    QTest::addColumn<QByteArray>("next");
    // Neither 5 nor 6 in the length byte: the status rule never holds.
    QTest::newRow("mode 4, length 7")
        << Mode::Monitor << Raw("90 07 11 00 00 00 00") << Raw("90 05 11 03 A9");
    // A later 0x90 clears the stored length.
    QTest::newRow("mode 8, cut by 0x90")
        << Mode::DipSwitch << Raw("90 06 24 90 11 22") << Raw("90 06 24 A5 03 62");
}

void TstReplyAssembly::neverCompletingCollectionIsDroppedAtCapacity() {
    QFETCH(int, mode);
    QFETCH(QByteArray, stuck);
    QFETCH(QByteArray, next);
    const auto rule = *RuleForMode(mode);
    TReplyAssembly assembly;
    QVERIFY(!assembly.Feed(AsSpan(stuck), rule).completed);

    // Fill without any start byte up to exactly the capacity.
    const QByteArray filler(TReplyAssembly::Capacity - assembly.ReplyCount - 1, '\x01');
    TAssemblyResult r = assembly.Feed(AsSpan(filler), rule);
    QVERIFY(!r.overflowed);
    QCOMPARE(assembly.ReplyCount, TReplyAssembly::Capacity - 1);
    r = assembly.Feed(AsSpan(Raw("01")), rule);
    QVERIFY(r.overflowed);
    QCOMPARE(assembly.ReplyCount, 0);
    QVERIFY(!assembly.ReplyStarted);

    // Bytes that are no start byte are not collected any more; the next frame is.
    QVERIFY(!assembly.Feed(AsSpan(Raw("01 02 03")), rule).completed);
    QCOMPARE(assembly.ReplyCount, 0);
    QVERIFY(assembly.Feed(AsSpan(next), rule).completed);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(assembly.ReplyBuffer.data()), next.size()),
             next);
}

void TstReplyAssembly::shortAnswerEndsTextCollection() {
    for (int mode : {Mode::Version, Mode::DeviceId}) {
        TReplyAssembly assembly;
        const auto r = assembly.Feed(AsSpan(Raw("90 05 4B 03 E3")), *RuleForMode(mode));
        QVERIFY(!r.completed);
        QVERIFY(r.shortReply);
        QCOMPARE(assembly.ReplyCount, 0);
        QVERIFY(!assembly.ReplyStarted);
    }
    // A full text reply is not mistaken for a short one at its fifth byte.
    TReplyAssembly assembly;
    const auto r = assembly.Feed(AsSpan(Raw("90 0F 23 4B 32")), *RuleForMode(Mode::DeviceId));
    QVERIFY(!r.shortReply);
    QCOMPARE(assembly.ReplyCount, 5);
}

void TstReplyAssembly::unfinishedReplyCarriesIntoTheNextMode() {
    // No time-outs: a half reply stays, and the next mode's bytes are appended to it.
    TReplyAssembly assembly;
    assembly.Feed(AsSpan(Raw("90 05 11")), *RuleForMode(Mode::Monitor));
    const auto r = assembly.Feed(AsSpan(Raw("03 A9")), *RuleForMode(Mode::SaveAnswer));
    QVERIFY(r.completed);
    QCOMPARE(int(assembly.ReplyBuffer[2]), 0x11);
}

void TstReplyAssembly::modesWithoutReader() {
    for (int mode : {Mode::Idle, Mode::Wave, 9, 41, -1})
        QVERIFY(!RuleForMode(mode).has_value());
}

QTEST_APPLESS_MAIN(TstReplyAssembly)
#include "tst_reply_assembly.moc"
