// Labels and their trailer after the .bwv block: the layout from literal bytes, the
// block left as a plain Save writes it, and every kind of bad tail survived with one
// warning.
#include "WaveFile.h"
#include "WaveLabels.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
// Bit by bit, apart from the table-driven one under test.
quint32 BitwiseCrc32(const QByteArray& bytes) {
    quint32 c = 0xFFFFFFFF;
    for (const char b : bytes) {
        c ^= static_cast<quint8>(b);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
    }
    return ~c;
}

QByteArray Le32(quint32 v) {
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i));
    return out;
}

// A trailer around a literal payload, with `version` and the payload's true CRC.
QByteArray Wrapped(const char* payloadHex, quint32 version = 1) {
    const QByteArray payload = QByteArray::fromHex(payloadHex);
    return "KRV2LABL" + Le32(version) + Le32(static_cast<quint32>(payload.size())) +
           Le32(BitwiseCrc32(payload)) + payload;
}

// Records 1 ("10c", genuine, note "é") and 3 (fake, excluded) of a five-record file.
const char* const TwoLabels = "4b 52 56 32 4c 41 42 4c 01 00 00 00 1b 00 00 00 89 5c a9 4d"
                              "02 00 00 00 01 00 00 00 01 00 03 31 30 63 02 00 c3 a9"
                              "03 00 00 00 02 01 00 00 00";

TWaveLabels TwoLabelsAsStore() {
    TWaveLabels l;
    l.Set(1, {"10c", TCoinClass::Genuine, false, QStringLiteral("é")});
    l.Set(3, {QString(), TCoinClass::Fake, true, QString()});
    return l;
}

std::unique_ptr<TWaveStore> FiveRecords() {
    auto store = std::make_unique<TWaveStore>();
    for (size_t r = 0; r < 200; ++r) {
        store->WaveSamples[r % 6][r][r] = static_cast<int32_t>(r * 1000 + 7);
        store->RecordLength[r] = static_cast<int32_t>(r + 300);
    }
    store->RecordCount = 5;
    return store;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
} // namespace

class TstWaveLabels : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void crc32KnownAnswer();
    void trailerLayout();
    void labelledFileStartsWithPlainSave();
    void relabellingKeepsTheBlock();
    void badTailSurvived_data();
    void badTailSurvived();
    void labelLimits_data();
    void labelLimits();
    void movesAndRuns();

private:
    QTemporaryDir dir;
};

void TstWaveLabels::initTestCase() {
    QVERIFY(dir.isValid());
}

void TstWaveLabels::crc32KnownAnswer() {
    QCOMPARE(WaveTrailer::Crc32("123456789"), quint32(0xCBF43926));
    QCOMPARE(WaveTrailer::Crc32(""), quint32(0));
}

void TstWaveLabels::trailerLayout() {
    const QByteArray literal = QByteArray::fromHex(TwoLabels);
    QCOMPARE(WaveTrailer::Build(TwoLabelsAsStore(), 5), literal);
    TWaveLabels read;
    QString why;
    QCOMPARE(WaveTrailer::Read(literal, 5, read, why), WaveTrailer::TRead::Read);
    QVERIFY(why.isEmpty());
    QVERIFY(read == TwoLabelsAsStore());
    // Labels of records beyond the count are not the file's.
    QCOMPARE(WaveTrailer::Build(TwoLabelsAsStore(), 1), QByteArray());
    QCOMPARE(WaveTrailer::Build(TwoLabelsAsStore(), 2), Wrapped("01 00 00 00 01 00 00 00 01 00"
                                                                "03 31 30 63 02 00 c3 a9"));
}

void TstWaveLabels::labelledFileStartsWithPlainSave() {
    const auto store = FiveRecords();
    const QString plain = dir.filePath("plain.bwv");
    const QString labelled = dir.filePath("labelled.bwv");
    QString error;
    QVERIFY2(WaveFile::Save(plain, *store, error), qPrintable(error));
    QVERIFY2(WaveFile::Save(labelled, *store, TwoLabelsAsStore(), error), qPrintable(error));
    const QByteArray plainBytes = ReadAll(plain);
    const QByteArray labelledBytes = ReadAll(labelled);
    QCOMPARE(plainBytes.size(), 1440804);
    QCOMPARE(labelledBytes.first(1440804), plainBytes);
    QCOMPARE(labelledBytes.sliced(1440804), QByteArray::fromHex(TwoLabels));

    for (const auto& [path, labels] :
         {std::pair{labelled, TwoLabelsAsStore()}, std::pair{plain, TWaveLabels()}}) {
        QByteArray block;
        TWaveLabels read;
        read.Set(0, {"stale", TCoinClass::Fake, false, QString()});
        QString warning;
        QVERIFY2(WaveFile::ReadLabelled(path, block, read, warning, error), qPrintable(error));
        QCOMPARE(block, plainBytes);
        QVERIFY(read == labels);
        QVERIFY2(warning.isEmpty(), qPrintable(warning));
    }
    // Without a label, nothing follows the block.
    QVERIFY(WaveFile::Save(labelled, *store, TWaveLabels(), error));
    QCOMPARE(ReadAll(labelled), plainBytes);
}

void TstWaveLabels::relabellingKeepsTheBlock() {
    // Slots beyond the count hold old records; a relabelled file keeps them.
    QByteArray block = WaveFile::BuildBlock(*FiveRecords());
    const QString path = dir.filePath("relabel.bwv");
    QString error;
    QVERIFY(WaveFile::SaveBlock(path, block, TwoLabelsAsStore(), error));
    QCOMPARE(ReadAll(path), block + QByteArray::fromHex(TwoLabels));
}

void TstWaveLabels::badTailSurvived_data() {
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("says");
    const QByteArray good = QByteArray::fromHex(TwoLabels);
    QByteArray badCrc = good;
    badCrc[16] = static_cast<char>(badCrc[16] ^ 0x01);
    QByteArray badPayload = good;
    badPayload[31] = 'X';
    QTest::newRow("one byte short") << good.chopped(1) << "cut short";
    QTest::newRow("header cut") << good.first(12) << "cut short";
    QTest::newRow("one byte more") << good + '\0' << "1 bytes follow";
    QTest::newRow("twice") << good + good << "47 bytes follow";
    QTest::newRow("checksum") << badCrc << "checksum";
    QTest::newRow("payload") << badPayload << "checksum";
    QTest::newRow("foreign") << QByteArray("<?xml version") << "not a label trailer";
    QTest::newRow("one foreign byte") << QByteArray("\n") << "not a label trailer";
    QTest::newRow("newer version")
        << Wrapped("01 00 00 00 00 00 00 00 01 00 01 61 00 00", 2) << "version 2";
    QTest::newRow("no entries") << Wrapped("00 00 00 00") << "names 0 labels";
    QTest::newRow("record beyond the count")
        << Wrapped("01 00 00 00 05 00 00 00 01 00 01 61 00 00") << "record 5";
    QTest::newRow("records out of order")
        << Wrapped("02 00 00 00 02 00 00 00 01 00 01 61 00 00 01 00 00 00 01 00 01 61 00 00")
        << "record 1";
    QTest::newRow("class 3") << Wrapped("01 00 00 00 00 00 00 00 03 00 01 61 00 00") << "malformed";
    QTest::newRow("flag bit 1") << Wrapped("01 00 00 00 00 00 00 00 01 02 01 61 00 00")
                                << "malformed";
    QTest::newRow("bad UTF-8") << Wrapped("01 00 00 00 00 00 00 00 01 00 02 c3 28 00 00")
                               << "malformed";
    QTest::newRow("UTF-8 cut at the end")
        << Wrapped("01 00 00 00 00 00 00 00 01 00 02 35 e3 00 00") << "malformed";
    QTest::newRow("empty label") << Wrapped("01 00 00 00 00 00 00 00 00 00 00 00 00") << "empty";
    QTest::newRow("entry cut") << Wrapped("01 00 00 00 00 00 00 00 01 00 05 61 00 00")
                               << "cut short";
    QTest::newRow("bytes after the entries")
        << Wrapped("01 00 00 00 00 00 00 00 01 00 01 61 00 00 00") << "end early";
}

void TstWaveLabels::badTailSurvived() {
    QFETCH(QByteArray, tail);
    QFETCH(QString, says);
    const QByteArray block = WaveFile::BuildBlock(*FiveRecords());
    const QString path = dir.filePath("bad-tail.bwv");
    QVERIFY(WriteAll(path, block + tail));
    QByteArray read;
    TWaveLabels labels = TwoLabelsAsStore();
    QString warning;
    QString error;
    QVERIFY2(WaveFile::ReadLabelled(path, read, labels, warning, error), qPrintable(error));
    QCOMPARE(read, block);
    QVERIFY(labels == TWaveLabels());
    QVERIFY2(warning.contains("bad-tail.bwv") && warning.contains(says), qPrintable(warning));
    QCOMPARE(warning.count("dropped"), 1);
}

void TstWaveLabels::labelLimits_data() {
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("kindBytes");
    QTest::addColumn<int>("noteBytes");
    QTest::addColumn<bool>("kept");
    QTest::newRow("longest kind") << 0 << 255 << 0 << true;
    QTest::newRow("kind too long") << 0 << 256 << 0 << false;
    QTest::newRow("longest note") << 199 << 1 << 65535 << true;
    QTest::newRow("note too long") << 0 << 1 << 65536 << false;
    QTest::newRow("record 200") << 200 << 1 << 0 << false;
    QTest::newRow("record -1") << -1 << 1 << 0 << false;
}

void TstWaveLabels::labelLimits() {
    QFETCH(int, record);
    QFETCH(int, kindBytes);
    QFETCH(int, noteBytes);
    QFETCH(bool, kept);
    // Two-byte characters where they fit, so bytes and not characters are counted.
    const QString kind = QString(kindBytes / 2, QChar(0xE9)) + QString(kindBytes % 2, 'k');
    const TRecordLabel label{kind, TCoinClass::Genuine, false, QString(noteBytes, 'n')};
    TWaveLabels labels;
    QCOMPARE(labels.Set(record, label), kept);
    QCOMPARE(labels.At(record) == label, kept);
    if (!kept)
        return;
    // The longest labels still make a trailer that reads back.
    const QByteArray trailer = WaveTrailer::Build(labels, 200);
    QVERIFY(trailer.size() <= WaveTrailer::MaxSize);
    TWaveLabels read;
    QString why;
    QCOMPARE(WaveTrailer::Read(trailer, 200, read, why), WaveTrailer::TRead::Read);
    QVERIFY(read == labels);
}

void TstWaveLabels::movesAndRuns() {
    TWaveLabels labels = TwoLabelsAsStore();
    labels.MoveRecord(3, 1); // Del This on record 1 of four
    QCOMPARE(labels.At(1).Class, TCoinClass::Fake);
    QVERIFY(labels.At(3).IsEmpty());
    QVERIFY(labels.AnyBelow(2));
    QVERIFY(!labels.AnyBelow(1));

    TLabelRun run({"10c", TCoinClass::Genuine, false, QString()}, 2);
    QCOMPARE(run.Progress(), QString("10c genuine 0/2"));
    QVERIFY(run.RecordClosed(5, labels));
    QVERIFY(run.RecordClosed(6, labels));
    QCOMPARE(run.Progress(), QString("10c genuine 2/2"));
    QVERIFY(run.Done());
    QVERIFY(!run.RecordClosed(7, labels));
    QCOMPARE(labels.At(6).Kind, QString("10c"));
    QVERIFY(labels.At(7).IsEmpty());
    QCOMPARE(ClassFromName(u"fake"), std::optional(TCoinClass::Fake));
    QCOMPARE(ClassFromName(u"Fake"), std::nullopt);
}

QTEST_GUILESS_MAIN(TstWaveLabels)
#include "tst_wave_labels.moc"
