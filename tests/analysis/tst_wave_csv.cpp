// The CSV layouts, read back by a small RFC 4180 reader written here, and the
// whole-or-nothing write.
#include "AnalysisTestData.h"
#include "CsvReader.h"
#include "WaveCsv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {
// Three labelled records and one without a label; kinds that need quoting.
struct TFixture {
    std::unique_ptr<TWaveStore> store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    TFixture() {
        PutCoin(*store, 0, {.entry = 40, .depth = 60, .value0 = 1, .noise = 0});
        PutCoin(*store, 1, {.entry = 41, .depth = 61, .value0 = 2, .noise = 1});
        PutCoin(*store, 2, {.entry = 42, .depth = 62, .value0 = 4, .noise = 2});
        PutCoin(*store, 3, {.entry = 43, .depth = 63, .value0 = -7, .noise = 3});
        store->WaveSamples[4][1][17] = INT32_MIN;
        store->WaveSamples[0][2][255] = 2147483647; // Result
        labels.Set(0, {"1,5\"c", TCoinClass::Genuine, false, "first\r\nline"});
        labels.Set(1, {"1,5\"c", TCoinClass::Genuine, false, QString()});
        labels.Set(2, {"日本", TCoinClass::Fake, true, QString()});
        store->RecordCount = 4;
    }
};

const char* const ValuesHeader =
    "record,length,kind,class,excluded,DROP1 CNT,DROP2 CNT,EXT DROP CNT,Temperature,"
    "Coil1 value (min),Result,Width,Pulse Cnt,MAX,MIN,Coil Error,Coil2 Error,DROP2 Error,"
    "DROP1 Error,Return Error,IR1 Error,IR2 Error,IR3 Error,268,269\r\n";
} // namespace

class TstWaveCsv : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void header_data();
    void header();
    void valuesReadBack();
    void samplesReadBack();
    void statsReadBack();
    void decimals_data();
    void decimals();
    void failedWriteLeavesTheOldFile();

private:
    QTemporaryDir dir;
};

void TstWaveCsv::initTestCase() {
    QVERIFY(dir.isValid());
}

void TstWaveCsv::header_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QByteArray>("header");
    QByteArray samples = "record,channel";
    for (int s = 0; s < 300; ++s)
        samples += ",s" + QByteArray::number(s);
    QTest::newRow("values") << "values" << QByteArray(ValuesHeader);
    QTest::newRow("samples") << "samples" << samples + "\r\n";
    QTest::newRow("stats") << "stats"
                           << QByteArray("group,measurement,n,min,max,mean,sd,median\r\n");
}

void TstWaveCsv::header() {
    QFETCH(QString, layout);
    QFETCH(QByteArray, header);
    const TFixture f;
    const auto parsed = WaveCsv::LayoutFromName(layout);
    QVERIFY(parsed);
    const QByteArray csv = WaveCsv::Build(TWaveTable(*f.store, f.labels), *parsed);
    QVERIFY(csv.startsWith(header)); // no byte-order mark before it
    QList<QStringList> records;
    QVERIFY(ReadCsv(csv, records));
    for (const QStringList& r : records)
        QCOMPARE(r.size(), records[0].size());
}

void TstWaveCsv::valuesReadBack() {
    const TFixture f;
    QList<QStringList> rows;
    QVERIFY(ReadCsv(WaveCsv::Values(TWaveTable(*f.store, f.labels)), rows));
    QCOMPARE(rows.size(), 5);
    const QStringList labelCells[] = {{"1,5\"c", "genuine", "0"},
                                      {"1,5\"c", "genuine", "0"},
                                      {"日本", "fake", "1"},
                                      {"", "unknown", "0"}};
    for (int r = 0; r < 4; ++r) {
        const QStringList& row = rows[r + 1];
        QCOMPARE(row[0], QString::number(r));
        QCOMPARE(row[1], QString::number(f.store->RecordLength[static_cast<size_t>(r)]));
        QCOMPARE(row.mid(2, 3), labelCells[r]);
        for (int m = 0; m < 20; ++m)
            QCOMPARE(
                row[5 + m].toLongLong(),
                qlonglong(
                    f.store->WaveSamples[0][static_cast<size_t>(r)][static_cast<size_t>(250 + m)]));
    }
    QCOMPARE(rows[3][10], QString("2147483647"));
}

void TstWaveCsv::samplesReadBack() {
    const TFixture f;
    QList<QStringList> rows;
    QVERIFY(ReadCsv(WaveCsv::Samples(TWaveTable(*f.store, f.labels)), rows));
    QCOMPARE(rows.size(), 1 + 4 * 6);
    for (int i = 1; i < rows.size(); ++i) {
        const int r = (i - 1) / 6;
        const int c = (i - 1) % 6;
        QCOMPARE(rows[i][0], QString::number(r));
        QCOMPARE(rows[i][1], QString::number(c));
        for (int s = 0; s < 300; ++s)
            QCOMPARE(rows[i][2 + s].toLongLong(),
                     qlonglong(f.store->WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(r)]
                                                   [static_cast<size_t>(s)]));
    }
    QCOMPARE(rows[1 + 6 + 4][2 + 17], QString("-2147483648"));
}

void TstWaveCsv::statsReadBack() {
    const TFixture f;
    QList<QStringList> rows;
    QVERIFY(ReadCsv(WaveCsv::Build(TWaveTable(*f.store, f.labels), TCsvLayout::Stats), rows));
    // "all" holds records 0, 1 and 3 (2 is excluded); the fake group is left empty.
    QCOMPARE(rows.size(), 1 + 2 * 20);
    // DROP1 CNT of all: 1, 2, -7; of the kind: 1, 2. Result of the kind: 6, 7.
    QCOMPARE(rows[1],
             (QStringList{"all", "DROP1 CNT", "3", "-7", "2", "-1.333", "4.933", "1.000"}));
    QCOMPARE(rows[9], (QStringList{"all", "MAX", "3", "1", "10", "6.667", "4.933", "9.000"}));
    QCOMPARE(rows[21], (QStringList{"1,5\"c/genuine", "DROP1 CNT", "2", "1", "2", "1.500", "0.707",
                                    "1.500"}));
    QCOMPARE(rows[26],
             (QStringList{"1,5\"c/genuine", "Result", "2", "6", "7", "6.500", "0.707", "6.500"}));
    for (int i = 1; i < rows.size(); ++i)
        QCOMPARE(rows[i][1], WaveTable::Caption((i - 1) % 20));

    // One record left: no spread to tell.
    TWaveLabels one = f.labels;
    one.Set(1, {"x", TCoinClass::Unknown, true, QString()});
    one.Set(3, {"x", TCoinClass::Unknown, true, QString()});
    QVERIFY(ReadCsv(WaveCsv::Build(TWaveTable(*f.store, one), TCsvLayout::Stats), rows));
    QCOMPARE(rows[1], (QStringList{"all", "DROP1 CNT", "1", "1", "1", "1.000", "", "1.000"}));
}

void TstWaveCsv::decimals_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("zero") << 0.0 << QByteArray("0.000");
    QTest::newRow("two thirds") << 2.0 / 3 << QByteArray("0.667");
    QTest::newRow("tiny negative") << -0.0004 << QByteArray("0.000");
    QTest::newRow("negative") << -1.5 << QByteArray("-1.500");
    QTest::newRow("large") << 2147483647.5 << QByteArray("2147483647.500");
}

void TstWaveCsv::decimals() {
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(WaveCsv::Decimal3(value), text);
}

void TstWaveCsv::failedWriteLeavesTheOldFile() {
    QVERIFY(QDir(dir.path()).mkpath("full"));
    const QString path = dir.filePath("full/old.csv");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
    }
    const TFixture f;
    const QByteArray samples = WaveCsv::Samples(TWaveTable(*f.store, f.labels));
    QVERIFY(samples.size() > 8192);
    // A disk that fills up halfway: writes past 8 KiB fail (root ignores permissions).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8192;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool ok = WaveCsv::WriteWhole(path, samples, error);
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(!ok);
    QVERIFY2(error.contains("old.csv"), qPrintable(error));
    QFile back(path);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), QByteArray("old\r\n"));
    QCOMPARE(QDir(dir.filePath("full")).entryList(QDir::Files), QStringList{"old.csv"});

    QVERIFY2(WaveCsv::WriteWhole(path, samples, error), qPrintable(error));
    QCOMPARE(QFileInfo(path).size(), samples.size());
}

QTEST_GUILESS_MAIN(TstWaveCsv)
#include "tst_wave_csv.moc"
