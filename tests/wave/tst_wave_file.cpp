#include "WaveFile.h"
#include "WaveTestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The store with records that differ in every sample; negative values check the sign.
std::unique_ptr<TWaveStore> Varied(int count) {
    auto store = std::make_unique<TWaveStore>();
    for (size_t c = 0; c < 6; ++c)
        for (size_t r = 0; r < 200; ++r)
            for (size_t s = 0; s < 300; ++s)
                store->WaveSamples[c][r][s] =
                    static_cast<int32_t>((c * 7919 + r * 131 + s * 17) % 700) - 200;
    for (size_t r = 0; r < 200; ++r)
        store->RecordLength[r] = static_cast<int32_t>(r * 3 + 1);
    store->RecordCount = count;
    return store;
}
} // namespace

class TstWaveFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void roundTripRestoresRecords_data();
    void roundTripRestoresRecords();
    void valuesLandAtTheirOffsets_data();
    void valuesLandAtTheirOffsets();
    void sizeDecides_data();
    void sizeDecides();
    void recordCountOutsideTheStoreRefused_data();
    void recordCountOutsideTheStoreRefused();
    void failedSaveLeavesTheOldFile();

private:
    QTemporaryDir dir;
};

void TstWaveFile::initTestCase() {
    QVERIFY(dir.isValid());
}

void TstWaveFile::roundTripRestoresRecords_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("1") << 1;
    QTest::newRow("37") << 37;
    QTest::newRow("200") << 200;
}

void TstWaveFile::roundTripRestoresRecords() {
    QFETCH(int, count);
    const auto saved = Varied(count);
    const QString path = dir.filePath(QStringLiteral("round.bwv"));
    QString error;
    QVERIFY2(WaveFile::Save(path, *saved, error), qPrintable(error));
    QCOMPARE(QFileInfo(path).size(), 1440804);

    auto loaded = std::make_unique<TWaveStore>();
    loaded->WaveSamples[1][199][0] = 4242; // beyond any count: kept
    QByteArray block;
    QVERIFY2(WaveFile::ReadBlock(path, block, error), qPrintable(error));
    WaveFile::CopyRecords(block, *loaded);
    QCOMPARE(loaded->RecordCount, count);
    for (size_t c = 0; c < 6; ++c)
        for (size_t r = 0; r < static_cast<size_t>(count); ++r)
            QVERIFY(loaded->WaveSamples[c][r] == saved->WaveSamples[c][r]);
    for (size_t r = 0; r < static_cast<size_t>(count); ++r)
        QCOMPARE(loaded->RecordLength[r], saved->RecordLength[r]);
    if (count < 200) {
        QCOMPARE(loaded->WaveSamples[1][199][0], 4242);
        QCOMPARE(loaded->RecordLength[199], 0);
    }
}

void TstWaveFile::valuesLandAtTheirOffsets_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("sample");
    QTest::addColumn<int>("offset");
    // 4 + 240,000·c + 1,200·r + 4·s
    QTest::newRow("first") << 0 << 0 << 0 << 4;
    QTest::newRow("c1 r0 s299") << 1 << 0 << 299 << 241200;
    QTest::newRow("c2 r17 s123") << 2 << 17 << 123 << 500896;
    QTest::newRow("last") << 5 << 199 << 299 << 1440000;
}

void TstWaveFile::valuesLandAtTheirOffsets() {
    QFETCH(int, channel);
    QFETCH(int, record);
    QFETCH(int, sample);
    QFETCH(int, offset);
    auto store = std::make_unique<TWaveStore>();
    store->RecordCount = 3;
    store->WaveSamples[static_cast<size_t>(channel)][static_cast<size_t>(record)]
                      [static_cast<size_t>(sample)] = -2;
    store->RecordLength[static_cast<size_t>(record)] = 0x01020304;
    const QByteArray block = WaveFile::BuildBlock(*store);
    QCOMPARE(block.size(), 1440804);
    QCOMPARE(block.mid(0, 4), QByteArray("\x03\x00\x00\x00", 4));
    QCOMPARE(block.mid(offset, 4), QByteArray("\xFE\xFF\xFF\xFF", 4));
    QCOMPARE(block.mid(1440004 + 4 * record, 4), QByteArray("\x04\x03\x02\x01", 4));
    QCOMPARE(block.count('\0'), 1440804 - 1 - 4 - 4);
}

void TstWaveFile::sizeDecides_data() {
    QTest::addColumn<int>("extra");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("one byte short") << -1 << false;
    QTest::newRow("empty") << -1440804 << false;
    QTest::newRow("exact") << 0 << true;
    QTest::newRow("longer") << 1000 << true;
}

void TstWaveFile::sizeDecides() {
    QFETCH(int, extra);
    QFETCH(bool, accepted);
    const auto store = Varied(5);
    QByteArray bytes = WaveFile::BuildBlock(*store);
    if (extra < 0)
        bytes.chop(-extra);
    else
        bytes.append(QByteArray(extra, '\x7F'));
    const QString path = dir.filePath(QStringLiteral("sized.bwv"));
    QVERIFY(WriteAll(path, bytes));
    QByteArray block;
    QString error;
    QCOMPARE(WaveFile::ReadBlock(path, block, error), accepted);
    if (accepted) {
        QCOMPARE(block.size(), 1440804);
        QCOMPARE(WaveFile::RecordCountOf(block), 5);
    } else {
        QVERIFY2(error.contains(QStringLiteral("sized.bwv")), qPrintable(error));
    }
    QVERIFY(!WaveFile::ReadBlock(dir.filePath(QStringLiteral("none.bwv")), block, error));
    QVERIFY2(error.contains(QStringLiteral("none.bwv")), qPrintable(error));
}

void TstWaveFile::recordCountOutsideTheStoreRefused_data() {
    QTest::addColumn<QByteArray>("count");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("shown");
    QTest::newRow("-1") << QByteArray("\xFF\xFF\xFF\xFF", 4) << false << QStringLiteral("-1");
    QTest::newRow("201") << QByteArray("\xC9\x00\x00\x00", 4) << false << QStringLiteral("201");
    QTest::newRow("0") << QByteArray("\x00\x00\x00\x00", 4) << true << QString();
    QTest::newRow("200") << QByteArray("\xC8\x00\x00\x00", 4) << true << QString();
}

void TstWaveFile::recordCountOutsideTheStoreRefused() {
    QFETCH(QByteArray, count);
    QFETCH(bool, accepted);
    QFETCH(QString, shown);
    QByteArray bytes(1440804, '\0');
    bytes.replace(0, 4, count);
    const QString path = dir.filePath(QStringLiteral("count.bwv"));
    QVERIFY(WriteAll(path, bytes));
    QByteArray block;
    QString error;
    QCOMPARE(WaveFile::ReadBlock(path, block, error), accepted);
    if (!accepted) {
        QVERIFY2(error.contains(QStringLiteral("count.bwv")), qPrintable(error));
        QVERIFY2(error.contains(QLatin1Char(' ') + shown + QLatin1Char(' ')), qPrintable(error));
    }
}

void TstWaveFile::failedSaveLeavesTheOldFile() {
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("full")));
    const QString path = dir.filePath(QStringLiteral("full/old.bwv"));
    const QByteArray old = WaveFile::BuildBlock(*Varied(3));
    QVERIFY(WriteAll(path, old));
    // A disk that fills up halfway: writes past 64 KiB fail (root ignores permissions).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 65536;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool ok = WaveFile::Save(path, *Varied(9), error);
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(!ok);
    QVERIFY2(error.contains(QStringLiteral("old.bwv")), qPrintable(error));
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(QDir(dir.filePath(QStringLiteral("full"))).entryList(QDir::Files),
             QStringList{QStringLiteral("old.bwv")});
}

QTEST_GUILESS_MAIN(TstWaveFile)
#include "tst_wave_file.moc"
