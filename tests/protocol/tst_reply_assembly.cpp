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

// Each reply handed on: the delivery it completed in, how it ended, and its bytes.
struct TSeen {
    size_t delivery;
    TReplyEnd end;
    QByteArray bytes;
};

std::vector<TSeen> FeedAll(TReplyAssembly& assembly, const TReplyRule& rule,
                           const std::vector<QByteArray>& deliveries) {
    std::vector<TSeen> seen;
    for (size_t i = 0; i < deliveries.size(); ++i) {
        const size_t read = assembly.Feed(
            AsSpan(deliveries[i]), rule, [&](TReplyEnd end, std::span<const uint8_t> reply) {
                seen.push_back({i, end,
                                QByteArray(reinterpret_cast<const char*>(reply.data()),
                                           qsizetype(reply.size()))});
                return TAfterReply::Continue;
            });
        if (read != size_t(deliveries[i].size()))
            qFatal("a sink that never stops got a part of the delivery only");
    }
    return seen;
}

QList<QByteArray> BytesOf(const std::vector<TSeen>& seen) {
    QList<QByteArray> all;
    for (const TSeen& s : seen)
        all.append(s.bytes);
    return all;
}

} // namespace

class TstReplyAssembly : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void completesOnceAtTheLastByte_data();
    void completesOnceAtTheLastByte();
    void everyReplyOfADeliveryInOrder();
    void stoppingLeavesTheRestUnread();
    void cutReplyDoesNotSwallowTheNext_data();
    void cutReplyDoesNotSwallowTheNext();
    void wrongSumWithoutALaterStartIsHandedOn();
    void shortAnswerEndsTextCollection();
    void unfinishedReplyCarriesIntoTheNextMode();
    void collectionIsDroppedAtCapacity();
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
    // Once the length byte is known, the bytes up to it are data whatever their value.
    QTest::newRow("DIP switch byte 0x90")
        << Mode::DipSwitch << std::vector<QByteArray>{Raw("90 06 24 90 03 4D")} << 0
        << Raw("90 06 24 90 03 4D");
    QTest::newRow("DIP sum 0x90") << Mode::DipSwitch
                                  << std::vector<QByteArray>{Raw("90 06 24"), Raw("D3 03 90")} << 1
                                  << Raw("90 06 24 D3 03 90");
    QTest::newRow("verify CRC holding 0x90")
        << Mode::Verify << std::vector<QByteArray>{Raw("90 07 89 90"), Raw("12 03 C5")} << 1
        << Raw("90 07 89 90 12 03 C5");
    QTest::newRow("line data holding 0x90")
        << Mode::ReadLine
        << std::vector<QByteArray>{Raw("90 0B 28 00 00 90 90"), Raw("01 02 03 E9")} << 1
        << Raw("90 0B 28 00 00 90 90 01 02 03 E9");
    QTest::newRow("write answer after a stray 0x90")
        << Mode::WriteLine << std::vector<QByteArray>{Raw("90"), Raw("90 05 50 03 E8")} << 1
        << Raw("90 05 50 03 E8");
}

void TstReplyAssembly::completesOnceAtTheLastByte() {
    QFETCH(int, mode);
    QFETCH(std::vector<QByteArray>, deliveries);
    QFETCH(int, completingDelivery);
    QFETCH(QByteArray, reply);

    TReplyAssembly assembly;
    const auto rule = RuleForMode(mode);
    QVERIFY(rule.has_value());
    const auto seen = FeedAll(assembly, *rule, deliveries);
    QCOMPARE(seen.size(), size_t(1));
    QCOMPARE(seen[0].delivery, size_t(completingDelivery));
    QCOMPARE(seen[0].end, TReplyEnd::Complete);
    QCOMPARE(seen[0].bytes, reply);
    QCOMPARE(assembly.ReplyCount, 0);
    QVERIFY(!assembly.ReplyStarted);
}

void TstReplyAssembly::everyReplyOfADeliveryInOrder() {
    TReplyAssembly assembly;
    const auto seen = FeedAll(assembly, *RuleForMode(Mode::Monitor),
                              {Raw("90 05 50 03 E8 90 06 12 03 03 AE 90 06 12")});
    QCOMPARE(BytesOf(seen), (QList<QByteArray>{Raw("90 05 50 03 E8"), Raw("90 06 12 03 03 AE")}));
    // The third starts a new collection at index 0.
    QVERIFY(assembly.ReplyStarted);
    QCOMPARE(assembly.ReplyCount, 3);
    QCOMPARE(int(assembly.ReplyBuffer[2]), 0x12);
}

void TstReplyAssembly::stoppingLeavesTheRestUnread() {
    TReplyAssembly assembly;
    int replies = 0;
    const QByteArray delivery = Raw("90 06 24 A5 03 62 90 06 24");
    const size_t read = assembly.Feed(AsSpan(delivery), *RuleForMode(Mode::DipSwitch),
                                      [&](TReplyEnd, std::span<const uint8_t>) {
                                          ++replies;
                                          return TAfterReply::Stop;
                                      });
    QCOMPARE(read, size_t(6));
    QCOMPARE(replies, 1);
    QCOMPARE(assembly.ReplyCount, 0);
    QVERIFY(!assembly.ReplyStarted);
}

void TstReplyAssembly::cutReplyDoesNotSwallowTheNext_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<std::vector<QByteArray>>("deliveries");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::newRow("event without its sum")
        << Mode::Monitor << std::vector<QByteArray>{Raw("90 06 12 03 03"), Raw("90 06 12 05 03 B0")}
        << QList<QByteArray>{Raw("90 06 12 05 03 B0")};
    QTest::newRow("event without its length byte")
        << Mode::Monitor << std::vector<QByteArray>{Raw("90 12 03 03 AE 90 06 16 02 03 B1")}
        << QList<QByteArray>{Raw("90 06 16 02 03 B1")};
    QTest::newRow("DIP reply without its sum, in one read")
        << Mode::DipSwitch << std::vector<QByteArray>{Raw("90 06 24 A5 03 90 06 24 A5 03 62")}
        << QList<QByteArray>{Raw("90 06 24 A5 03 62")};
    // The cut line's own 0x90 data bytes are tried first and fail.
    QTest::newRow("line holding 0x90 cut, then an ACK")
        << Mode::ReadLine
        << std::vector<QByteArray>{Raw("90 0B 28 00 00 90 90 01"), Raw("90 05 50"), Raw("03 E8")}
        << QList<QByteArray>{Raw("90 05 50 03 E8")};
    QTest::newRow("verify reply cut before its CRC")
        << Mode::Verify << std::vector<QByteArray>{Raw("90 07 89"), Raw("90 07 89 90 12 03 C5")}
        << QList<QByteArray>{Raw("90 07 89 90 12 03 C5")};
    QTest::newRow("version cut, then a whole one")
        << Mode::Version
        << std::vector<QByteArray>{Raw("90 0F 03 4B 52"),
                                   Raw("90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 00")}
        << QList<QByteArray>{Raw("90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 00")};
    QTest::newRow("save answer after a stray 0x90")
        << Mode::SaveAnswer << std::vector<QByteArray>{Raw("90 90 05 50 03 E8")}
        << QList<QByteArray>{Raw("90 05 50 03 E8")};
}

void TstReplyAssembly::cutReplyDoesNotSwallowTheNext() {
    QFETCH(int, mode);
    QFETCH(std::vector<QByteArray>, deliveries);
    QFETCH(QList<QByteArray>, replies);
    TReplyAssembly assembly;
    QCOMPARE(BytesOf(FeedAll(assembly, *RuleForMode(mode), deliveries)), replies);
    QCOMPARE(assembly.ReplyCount, 0);
}

void TstReplyAssembly::wrongSumWithoutALaterStartIsHandedOn() {
    // Nothing to resynchronise on: the reader gets it, logs it and discards it.
    TReplyAssembly assembly;
    const auto seen =
        FeedAll(assembly, *RuleForMode(Mode::DipSwitch), {Raw("90 06 24 A5 03 00 11")});
    QCOMPARE(BytesOf(seen), QList<QByteArray>{Raw("90 06 24 A5 03 00")});
}

void TstReplyAssembly::shortAnswerEndsTextCollection() {
    for (int mode : {Mode::Version, Mode::DeviceId}) {
        TReplyAssembly assembly;
        const auto seen = FeedAll(assembly, *RuleForMode(mode), {Raw("90 05 4B 03 E3")});
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].end, TReplyEnd::Short);
        QCOMPARE(seen[0].bytes, Raw("90 05 4B 03 E3"));
        QCOMPARE(assembly.ReplyCount, 0);
        QVERIFY(!assembly.ReplyStarted);
    }
    // A full text reply is not mistaken for a short one at its fifth byte.
    TReplyAssembly assembly;
    QVERIFY(FeedAll(assembly, *RuleForMode(Mode::DeviceId), {Raw("90 0F 23 4B 32")}).empty());
    QCOMPARE(assembly.ReplyCount, 5);
    // A short answer cut short does not end the collection of the reply behind it.
    TReplyAssembly fresh;
    const auto seen = FeedAll(fresh, *RuleForMode(Mode::DeviceId),
                              {Raw("90 05 4B 90 0F 23 4B 32 53 49 4D 30 30 30 30 31 03 1C")});
    QCOMPARE(seen.size(), size_t(1));
    QCOMPARE(seen[0].end, TReplyEnd::Complete);
    QCOMPARE(seen[0].bytes.size(), 15);
}

void TstReplyAssembly::unfinishedReplyCarriesIntoTheNextMode() {
    // No time-outs: a half reply stays, and the next mode's bytes are appended to it.
    TReplyAssembly assembly;
    FeedAll(assembly, *RuleForMode(Mode::Monitor), {Raw("90 05 11")});
    const auto seen = FeedAll(assembly, *RuleForMode(Mode::SaveAnswer), {Raw("03 A9")});
    QCOMPARE(BytesOf(seen), QList<QByteArray>{Raw("90 05 11 03 A9")});
}

void TstReplyAssembly::collectionIsDroppedAtCapacity() {
    // No mode's rule asks for more than the buffer holds; a rule that did is cut off
    // at the capacity instead of writing past it.
    const TReplyRule tooLong{TStartRule::ReportByte, TCompleteRule::FixedCount, 100, false};
    TReplyAssembly assembly;
    QVERIFY(FeedAll(assembly, tooLong, {Raw("50") + QByteArray(TReplyAssembly::Capacity - 2, 1)})
                .empty());
    QCOMPARE(assembly.ReplyCount, TReplyAssembly::Capacity - 1);
    FeedAll(assembly, tooLong, {Raw("01")});
    QCOMPARE(assembly.ReplyCount, 0);
    QVERIFY(!assembly.ReplyStarted);
    FeedAll(assembly, tooLong, {Raw("01 02 50 03")});
    QCOMPARE(assembly.ReplyCount, 2);
}

void TstReplyAssembly::modesWithoutReader() {
    for (int mode : {Mode::Idle, Mode::Wave, 9, 41, -1})
        QVERIFY(!RuleForMode(mode).has_value());
}

QTEST_APPLESS_MAIN(TstReplyAssembly)
#include "tst_reply_assembly.moc"
