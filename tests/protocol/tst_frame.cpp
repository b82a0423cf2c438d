#include "ByteLiterals.h"
#include "Frame.h"

#include <QTest>

class TstFrame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framesMatchTheBoardsExamples_data();
    void framesMatchTheBoardsExamples();
    void payloadLimits_data();
    void payloadLimits();
    void hexDigitText_data();
    void hexDigitText();
};

void TstFrame::framesMatchTheBoardsExamples_data() {
    QTest::addColumn<bool>("withEnd");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("hexLine");
    QTest::addColumn<QString>("decimalLine");
    QTest::newRow("version") << true << 0x03 << QByteArray() << "TX: 90 05 03 03 9B "
                             << "TX: 144 5 3 3 155 ";
    QTest::newRow("parameter read") << false << 0x80 << Raw("55") << "TX: 90 05 80 55 6A "
                                    << "TX: 144 5 128 85 106 ";
    QTest::newRow("sensor poll") << false << 0x50 << QByteArray() << "TX: 90 04 50 E4 "
                                 << "TX: 144 4 80 228 ";
    QTest::newRow("block read") << true << 0x28 << Raw("00 40 40") << "TX: 90 08 28 00 40 40 03 43 "
                                << "TX: 144 8 40 0 64 64 3 67 ";
    // 0x90 + 0x06 + 0x90 + 0x08 + 0x00 = 0x12E: only the low byte is sent.
    QTest::newRow("checksum wraps") << false << 0x90 << Raw("08 00") << "TX: 90 06 90 08 00 2E "
                                    << "TX: 144 6 144 8 0 46 ";
}

void TstFrame::framesMatchTheBoardsExamples() {
    QFETCH(bool, withEnd);
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(QString, hexLine);
    QFETCH(QString, decimalLine);

    TFrameBuffer buffer{};
    buffer.fill(0xEE); // stale bytes of an earlier frame must not leak in
    std::copy(payload.begin(), payload.end(), buffer.begin() + PayloadOffset);
    const int length = BuildFrame(buffer, static_cast<int>(payload.size()),
                                  static_cast<uint8_t>(command), withEnd);
    const std::span<const uint8_t> frame(buffer.data(), static_cast<size_t>(length));
    QCOMPARE(HexLine(QStringLiteral("TX: "), frame), hexLine);
    QCOMPARE(DecimalLine(QStringLiteral("TX: "), frame), decimalLine);
    QCOMPARE(int(buffer[1]), length);
}

void TstFrame::payloadLimits_data() {
    QTest::addColumn<bool>("withEnd");
    QTest::addColumn<int>("payloadLength");
    QTest::addColumn<int>("expectedLength");
    QTest::newRow("empty with end") << true << 0 << 5;
    QTest::newRow("empty without end") << false << 0 << 4;
    QTest::newRow("largest with end") << true << 250 << 255;
    QTest::newRow("largest without end") << false << 251 << 255;
    QTest::newRow("too long with end") << true << 251 << 0;
    QTest::newRow("too long without end") << false << 252 << 0;
    QTest::newRow("negative") << true << -1 << 0;
}

void TstFrame::payloadLimits() {
    QFETCH(bool, withEnd);
    QFETCH(int, payloadLength);
    QFETCH(int, expectedLength);
    TFrameBuffer buffer{};
    buffer.fill(0x11);
    const TFrameBuffer before = buffer;
    const int length = BuildFrame(buffer, payloadLength, 0x8C, withEnd);
    QCOMPARE(length, expectedLength);
    if (expectedLength == 0) {
        QVERIFY(buffer == before); // a refused frame leaves nothing half-built
    } else {
        QCOMPARE(int(buffer[1]), expectedLength);
        unsigned sum = 0;
        for (int i = 0; i < length - 1; ++i)
            sum += buffer[static_cast<size_t>(i)];
        QCOMPARE(int(buffer[static_cast<size_t>(length - 1)]), int(sum & 0xFF));
    }
}

void TstFrame::hexDigitText_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("9") << 9 << "9";
    QTest::newRow("10") << 10 << "A";
    QTest::newRow("15") << 15 << "F";
    QTest::newRow("16") << 16 << "";
    QTest::newRow("-1") << -1 << "";
}

void TstFrame::hexDigitText() {
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(HexDigitText(value), text);
}

QTEST_APPLESS_MAIN(TstFrame)
#include "tst_frame.moc"
