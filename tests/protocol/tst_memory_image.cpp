#include "ByteLiterals.h"
#include "MemoryImage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TLineUse)
Q_DECLARE_METATYPE(TLineStep)

namespace {

// A line read reply: 90, L + 7, 28, the address, L data bytes, 03, sum.
QByteArray LineReply(int address, const QByteArray& data) {
    QByteArray f = Raw("90");
    f.append(static_cast<char>(data.size() + 7));
    f.append(static_cast<char>(0x28));
    f.append(static_cast<char>(address >> 8));
    f.append(static_cast<char>(address & 0xFF));
    return WithSum(f + data + Raw("03"));
}

QList<int> Addresses(const TMemoryImage& image) {
    QList<int> list;
    for (int i = 0; i < image.AddressCount; ++i)
        list << image.AddressAt(i);
    return list;
}

} // namespace

class TstMemoryImage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addressList_data();
    void addressList();
    void lineLengthLimits_data();
    void lineLengthLimits();
    void crc();
    void lineSteps_data();
    void lineSteps();
    void readEndsAtTheImagesLastLine();
    void openBinary_data();
    void openBinary();
    void lateRepliesAfterTheTransferEndedAreIgnored();
    void saveBinaryWritesTheReadLinesOnce();
};

void TstMemoryImage::addressList_data() {
    QTest::addColumn<QList<int>>("fields"); // block from, to, line from, to
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<int>>("addresses");
    QTest::newRow("initial fields") << QList<int>{0, 0, 0, 3} << true << QList<int>{0, 1, 2, 3};
    QTest::newRow("two blocks") << QList<int>{1, 2, 254, 255} << true
                                << QList<int>{0x01FE, 0x01FF, 0x02FE, 0x02FF};
    QTest::newRow("lines reversed") << QList<int>{0, 0, 3, 0} << true << QList<int>{};
    QTest::newRow("blocks reversed") << QList<int>{2, 1, 0, 3} << true << QList<int>{};
    QTest::newRow("block 256") << QList<int>{0, 256, 0, 0} << false << QList<int>{};
    QTest::newRow("line -1") << QList<int>{0, 0, -1, 0} << false << QList<int>{};
}

void TstMemoryImage::addressList() {
    QFETCH(QList<int>, fields);
    QFETCH(bool, accepted);
    QFETCH(QList<int>, addresses);
    TMemoryImage image;
    image.AddressCount = 7;
    QCOMPARE(image.BuildAddressList(fields[0], fields[1], fields[2], fields[3]), accepted);
    QCOMPARE(Addresses(image), addresses);
}

void TstMemoryImage::lineLengthLimits_data() {
    QTest::addColumn<TLineUse>("use");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("fits");
    QTest::newRow("read 0") << TLineUse::Read << 0 << false;
    QTest::newRow("read 1") << TLineUse::Read << 1 << true;
    QTest::newRow("read 69") << TLineUse::Read << 69 << true;
    QTest::newRow("read 70") << TLineUse::Read << 70 << false;
    QTest::newRow("write 248") << TLineUse::Write << 248 << true;
    QTest::newRow("write 249") << TLineUse::Write << 249 << false;
    QTest::newRow("image -5") << TLineUse::Image << -5 << false;
    QTest::newRow("image 1000") << TLineUse::Image << 1000 << true;
    QTest::newRow("image 1001") << TLineUse::Image << 1001 << false;
}

void TstMemoryImage::lineLengthLimits() {
    QFETCH(TLineUse, use);
    QFETCH(int, length);
    QFETCH(bool, fits);
    QCOMPARE(!LineLengthProblem(length, use).has_value(), fits);
}

void TstMemoryImage::crc() {
    const auto check = Bytes("31 32 33 34 35 36 37 38 39"); // "123456789"
    QCOMPARE(Crc16Xmodem(check), uint16_t(0x31C3));
    QCOMPARE(CrcText(0x31C3), QStringLiteral("31 C3"));
    QCOMPARE(CrcText(0x0A0B), QStringLiteral("0A 0B"));

    TMemoryImage image;
    image.BuildAddressList(0, 0, 0, 3);
    QCOMPARE(image.WriteImageCrc(64), std::optional<uint16_t>(0));
    // Two lines of "12345" and "6789" with L = 5: only L bytes of each count.
    image.BuildAddressList(0, 0, 0, 1);
    const char* text = "123456789";
    std::copy_n(text, 5, (*image.WriteImage)[0].begin());
    std::copy_n(text + 5, 4, (*image.WriteImage)[1].begin());
    (*image.WriteImage)[1][4] = 0xAA;
    (*image.WriteImage)[0][5] = 0xBB; // beyond L: not covered
    QCOMPARE(image.WriteImageCrc(5),
             std::optional<uint16_t>(Crc16Xmodem(Bytes("31 32 33 34 35 36 37 38 39 AA"))));
    image.AddressCount = 1001;
    QCOMPARE(image.WriteImageCrc(5), std::nullopt);
}

void TstMemoryImage::lineSteps_data() {
    QTest::addColumn<bool>("writing");
    QTest::addColumn<int>("lineIndex");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<TLineStep>("step");
    QTest::addColumn<int>("nextIndex");
    const QByteArray data = QByteArray(60, '\x11') + Raw("90 90 05 90");
    QTest::newRow("read: good first line")
        << false << 0 << LineReply(0, data) << TLineStep::SendNext << 1;
    QTest::newRow("read: good last line")
        << false << 3 << LineReply(3, data) << TLineStep::Complete << 4;
    QByteArray spoiled = LineReply(0, data);
    spoiled[spoiled.size() - 1] = static_cast<char>(spoiled.back() + 1);
    QTest::newRow("read: wrong sum") << false << 2 << spoiled << TLineStep::SendAgain << 2;
    QTest::newRow("read: late reply after the last")
        << false << 4 << LineReply(3, data) << TLineStep::Ignore << 4;
    const QByteArray ack = Raw("90 05 50 03 E8");
    QTest::newRow("write: ACK") << true << 0 << ack << TLineStep::SendNext << 1;
    QTest::newRow("write: ACK of the last line") << true << 3 << ack << TLineStep::Complete << 4;
    QTest::newRow("write: NAK") << true << 1 << Raw("90 05 48 03 E0") << TLineStep::Refused << 1;
    QTest::newRow("write: other code")
        << true << 1 << Raw("90 05 11 03 A9") << TLineStep::Refused << 1;
    QTest::newRow("write: ACK, wrong sum")
        << true << 2 << Raw("90 05 50 03 E9") << TLineStep::SendAgain << 2;
    QTest::newRow("write: ACK after the last") << true << 4 << ack << TLineStep::Ignore << 4;
}

void TstMemoryImage::lineSteps() {
    QFETCH(bool, writing);
    QFETCH(int, lineIndex);
    QFETCH(QByteArray, reply);
    QFETCH(TLineStep, step);
    QFETCH(int, nextIndex);
    TMemoryImage image;
    image.BuildAddressList(0, 0, 0, 3);
    image.BeginTransfer(writing);
    image.LineIndex = lineIndex;
    QCOMPARE(writing ? image.TakeWriteReply(AsSpan(reply)) : image.TakeReadReply(AsSpan(reply)),
             step);
    QCOMPARE(image.LineIndex, nextIndex);
    if (!writing && nextIndex > lineIndex && step != TLineStep::Ignore) {
        QCOMPARE(image.ReadLineLength, 64);
        const auto& line = (*image.ReadImage)[static_cast<size_t>(lineIndex)];
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(line.data()), 65),
                 reply.mid(5, 64) + QByteArray(1, '\0'));
    }
}

void TstMemoryImage::readEndsAtTheImagesLastLine() {
    TMemoryImage image;
    image.BuildAddressList(0, 3, 0, 255); // 1024 lines
    image.BeginTransfer(false);
    const QByteArray data(8, '\x5A');
    for (int i = 0; i < TMemoryImage::ImageLines; ++i)
        QCOMPARE(image.TakeReadReply(AsSpan(LineReply(i, data))), TLineStep::SendNext);
    QCOMPARE(image.LineIndex, 1000);
    QCOMPARE(image.TakeReadReply(AsSpan(LineReply(1000, data))), TLineStep::ImageFull);
    QCOMPARE(image.LineIndex, 1000);
    QCOMPARE(image.Phase, TTransferPhase::ImageFull);
    QCOMPARE(image.TakeReadReply(AsSpan(LineReply(1000, data))), TLineStep::Ignore);
}

void TstMemoryImage::openBinary_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("outcome"); // TFileOutcome::Status
    QTest::addColumn<int>("lines");
    QTest::newRow("100 bytes") << 100 << int(TFileOutcome::Status::Ok) << 1;
    QTest::newRow("63 bytes") << 63 << int(TFileOutcome::Status::Ok) << 0;
    QTest::newRow("0 bytes") << 0 << int(TFileOutcome::Status::Ok) << 0;
    QTest::newRow("64,000 bytes") << 64000 << int(TFileOutcome::Status::Ok) << 1000;
    QTest::newRow("64,064 bytes") << 64064 << int(TFileOutcome::Status::TooManyLines) << 1001;
}

void TstMemoryImage::openBinary() {
    QFETCH(int, size);
    QFETCH(int, outcome);
    QFETCH(int, lines);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    QByteArray content(size, '\0');
    for (int i = 0; i < size; ++i)
        content[i] = static_cast<char>(i % 251 + 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    TMemoryImage image;
    (*image.WriteImage)[0].fill(0xEE);
    (*image.WriteImage)[1].fill(0xEE);
    const TFileOutcome result = image.OpenBinary(path, 64);
    QCOMPARE(int(result.status), outcome);
    QCOMPARE(result.lines, lines);
    if (outcome == int(TFileOutcome::Status::Ok))
        QCOMPARE(result.extraBytes, size % 64);
    // A file with no whole line loads nothing; one that loads replaces the whole image.
    const bool loaded = lines > 0 && outcome == int(TFileOutcome::Status::Ok);
    QCOMPARE(image.BinaryLoaded, loaded);
    const auto& line0 = (*image.WriteImage)[0];
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(line0.data()), 64),
             loaded ? content.left(64) : QByteArray(64, '\xEE'));
    if (lines == 1)
        QCOMPARE((*image.WriteImage)[1][0], uint8_t(0));
}

void TstMemoryImage::lateRepliesAfterTheTransferEndedAreIgnored() {
    TMemoryImage image;
    image.BuildAddressList(0, 0, 0, 1);
    image.BeginTransfer(false);
    const QByteArray data(64, '\x7A');
    QCOMPARE(image.TakeReadReply(AsSpan(LineReply(0, data))), TLineStep::SendNext);
    QCOMPARE(image.TakeReadReply(AsSpan(LineReply(1, data))), TLineStep::Complete);
    QTemporaryDir dir;
    QCOMPARE(image.SaveBinary(dir.filePath(QStringLiteral("r.bin"))).status,
             TFileOutcome::Status::Ok);
    QCOMPARE(image.LineIndex, 0);
    // The board's answer to a repeat arrives after the save: no read starts by itself.
    QCOMPARE(image.TakeReadReply(AsSpan(LineReply(1, data))), TLineStep::Ignore);
    QCOMPARE(image.LineIndex, 0);
    // A write finished mid-way takes no acknowledgement either.
    image.BeginTransfer(true);
    image.NoteFinish();
    QCOMPARE(image.TakeWriteReply(AsSpan(Raw("90 05 50 03 E8"))), TLineStep::Ignore);
    QCOMPARE(image.LineIndex, 0);
}

void TstMemoryImage::saveBinaryWritesTheReadLinesOnce() {
    TMemoryImage image;
    image.BuildAddressList(0, 0, 0, 3);
    image.BeginTransfer(false);
    QByteArray expected;
    for (int i = 0; i < 4; ++i) {
        const QByteArray data(64, static_cast<char>(0x90 + i));
        expected += data;
        image.TakeReadReply(AsSpan(LineReply(i, data)));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("read.bin"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(1000, 'x'));
    old.close();

    const TFileOutcome result = image.SaveBinary(path);
    QCOMPARE(result.status, TFileOutcome::Status::Ok);
    QCOMPARE(result.lines, 4);
    QCOMPARE(image.LineIndex, 0);
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), expected);
}

QTEST_APPLESS_MAIN(TstMemoryImage)
#include "tst_memory_image.moc"
