// krv2ctl wave end to end: the real executable on .bwv files made here, its JSON and
// CSV read back and compared with the stores they came from, its refusals, and a
// scripted run of the simulated board labelled and summed up.
#include "CsvReader.h"
#include "LayerSurface.h"
#include "PlotPicture.h"
#include "SimProcess.h"
#include "WaveActive.h"
#include "WaveCapture.h"
#include "WaveFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {
struct TRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

TRun Ctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KRV2CTL_PATH), args);
    TRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(2000);
        r.err = "krv2ctl did not end";
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// `count` records whose values and samples tell file, record and position apart.
std::unique_ptr<TWaveStore> Store(int count, int seed) {
    auto store = std::make_unique<TWaveStore>();
    for (size_t c = 0; c < 6; ++c)
        for (size_t r = 0; r < static_cast<size_t>(count); ++r)
            for (size_t s = 0; s < 300; ++s)
                store->WaveSamples[c][r][s] =
                    static_cast<int32_t>((seed * 31 + c * 7 + r * 13 + s * 3) % 256);
    for (size_t r = 0; r < static_cast<size_t>(count); ++r)
        store->RecordLength[r] = static_cast<int32_t>(seed * 100 + r);
    store->RecordCount = count;
    return store;
}

int32_t Value(const TWaveStore& store, int record, int m) {
    return store.WaveSamples[0][static_cast<size_t>(record)][static_cast<size_t>(250 + m)];
}

QJsonObject Json(const QByteArray& out) {
    return QJsonDocument::fromJson(out).object();
}
} // namespace

class TstCtlWave : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void statsOverTwoFiles();
    void exportReadsBack_data();
    void exportReadsBack();
    void labelKeepsTheBlock();
    void refused_data();
    void refused();
    void damagedTrailerSaidOnce();
    void scriptedCoinsLabelledAndSummed();
    void plotDrawnAsThePageDrawsIt();

private:
    QTemporaryDir dir;
    QString a; // four records, 0 and 1 labelled 10c/genuine, 2 excluded
    QString b; // three records, no labels
    std::unique_ptr<TWaveStore> storeA = Store(4, 1);
    std::unique_ptr<TWaveStore> storeB = Store(3, 2);
};

void TstCtlWave::initTestCase() {
    QVERIFY(dir.isValid());
    a = dir.filePath("a.bwv");
    b = dir.filePath("b.bwv");
    TWaveLabels labels;
    labels.Set(0, {"10c", TCoinClass::Genuine, false, QString()});
    labels.Set(1, {"10c", TCoinClass::Genuine, false, "chipped"});
    labels.Set(2, {"5c", TCoinClass::Fake, true, QString()});
    QString error;
    QVERIFY2(WaveFile::Save(a, *storeA, labels, error), qPrintable(error));
    QVERIFY2(WaveFile::Save(b, *storeB, error), qPrintable(error));
}

void TstCtlWave::statsOverTwoFiles() {
    const TRun r = Ctl({"wave", "stats", a, b, "--json"});
    QVERIFY2(r.exit == 0, r.err.constData());
    const QJsonObject json = Json(r.out);
    const QJsonArray table = json["table"].toArray();
    QCOMPARE(table.size(), 7);
    for (int i = 0; i < 7; ++i) {
        const QJsonObject row = table[i].toObject();
        const TWaveStore& store = i < 4 ? *storeA : *storeB;
        const int slot = i < 4 ? i : i - 4;
        QCOMPARE(row["record"].toInt(), i);
        QCOMPARE(row["file"].toString(), i < 4 ? a : b);
        QCOMPARE(row["length"].toInt(), store.RecordLength[static_cast<size_t>(slot)]);
        QCOMPARE(row["kind"].toString(), QString(i < 2 ? "10c" : i == 2 ? "5c" : ""));
        QCOMPARE(row["class"].toString(), QString(i < 2 ? "genuine" : i == 2 ? "fake" : "unknown"));
        QCOMPARE(row["excluded"].toBool(), i == 2);
        const QJsonArray values = row["values"].toArray();
        QCOMPARE(values.size(), 20);
        for (int m = 0; m < 20; ++m)
            QCOMPARE(values[m].toInt(), Value(store, slot, m));
    }
    // "all": records 0, 1, 3, 4, 5, 6; "10c/genuine": 0 and 1; 5c/fake is left empty.
    const QJsonArray stats = json["stats"].toArray();
    QCOMPARE(stats.size(), 40);
    for (int i = 0; i < 40; ++i) {
        const QJsonObject s = stats[i].toObject();
        const int m = i % 20;
        QList<double> v;
        for (const int rec : i < 20 ? QList<int>{0, 1, 3, 4, 5, 6} : QList<int>{0, 1})
            v << Value(rec < 4 ? *storeA : *storeB, rec < 4 ? rec : rec - 4, m);
        double mean = 0;
        for (double x : v)
            mean += x;
        mean /= v.size();
        double squares = 0;
        for (double x : v)
            squares += (x - mean) * (x - mean);
        QCOMPARE(s["group"].toString(), QString(i < 20 ? "all" : "10c/genuine"));
        QCOMPARE(s["n"].toInt(), v.size());
        QCOMPARE(s["min"].toInt(), int(*std::min_element(v.begin(), v.end())));
        QCOMPARE(s["max"].toInt(), int(*std::max_element(v.begin(), v.end())));
        QVERIFY(std::abs(s["mean"].toDouble() - mean) <= 0.0005);
        QVERIFY(std::abs(s["sd"].toDouble() - std::sqrt(squares / (v.size() - 1))) <= 0.0005);
    }
    QCOMPARE(stats[0].toObject()["measurement"].toString(), QString("DROP1 CNT"));
    QCOMPARE(stats[8].toObject()["measurement"].toString(), QString("MAX"));

    // One record in a group: no spread.
    const TRun one = Ctl({"wave", "stats", b, "--json", "--by", "result"});
    QVERIFY2(one.exit == 0, one.err.constData());
    const QJsonArray oneStats = Json(one.out)["stats"].toArray();
    QCOMPARE(oneStats[20].toObject()["group"].toString(),
             QString("result %1").arg(Value(*storeB, 0, 5)));
    QVERIFY(oneStats[20].toObject()["sd"].isNull());
}

void TstCtlWave::exportReadsBack_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("first");
    QTest::newRow("values") << "values" << 1 + 7 << "record,length,kind,class,excluded,DROP1 CNT";
    QTest::newRow("samples") << "samples" << 1 + 7 * 6 << "record,channel,s0,s1";
    QTest::newRow("stats") << "stats" << 1 + 2 * 20 << "group,measurement,n,min,max";
}

void TstCtlWave::exportReadsBack() {
    QFETCH(QString, layout);
    QFETCH(int, lines);
    QFETCH(QString, first);
    const QString out = dir.filePath(layout + ".csv");
    const TRun r = Ctl({"wave", "export", a, b, "--csv", layout, "-o", out});
    QVERIFY2(r.exit == 0, r.err.constData());
    QList<QStringList> rows;
    QVERIFY(ReadCsv(ReadAll(out), rows));
    QCOMPARE(rows.size(), lines);
    QVERIFY(rows[0].join(',').startsWith(first));
    if (layout == "values") {
        QCOMPARE(rows[6][0], QString("5")); // b's second record
        for (int m = 0; m < 20; ++m)
            QCOMPARE(rows[6][5 + m].toInt(), Value(*storeB, 1, m));
    } else if (layout == "samples") {
        const QStringList& last = rows.last(); // record 6, channel 5
        QCOMPARE(last.mid(0, 2), (QStringList{"6", "5"}));
        for (int s = 0; s < 300; ++s)
            QCOMPARE(last[2 + s].toInt(), storeB->WaveSamples[5][2][static_cast<size_t>(s)]);
    }
}

void TstCtlWave::labelKeepsTheBlock() {
    const QString path = dir.filePath("relabel.bwv");
    QVERIFY(QFile::copy(a, path));
    const QByteArray before = ReadAll(path).first(1440804);
    TRun r = Ctl({"wave", "label", path, "--records", "1-3", "--kind", " 20c ", "--class", "fake",
                  "--exclude"});
    QVERIFY2(r.exit == 0, r.err.constData());
    r = Ctl({"--json", "wave", "label", path, "--records", "3", "--kind", "", "--class", "unknown",
             "--note", "bent, \"badly\""});
    QVERIFY2(r.exit == 0, r.err.constData());
    QCOMPARE(Json(r.out)["records"].toArray(), (QJsonArray{3, 3}));

    QCOMPARE(ReadAll(path).first(1440804), before);
    QByteArray block;
    TWaveLabels labels;
    QString warning;
    QString error;
    QVERIFY(WaveFile::ReadLabelled(path, block, labels, warning, error));
    QVERIFY(warning.isEmpty());
    QCOMPARE(labels.At(0), (TRecordLabel{"10c", TCoinClass::Genuine, false, QString()}));
    // The note stays unless one is given.
    QCOMPARE(labels.At(1), (TRecordLabel{"20c", TCoinClass::Fake, true, "chipped"}));
    QCOMPARE(labels.At(2), (TRecordLabel{"20c", TCoinClass::Fake, true, QString()}));
    QCOMPARE(labels.At(3), (TRecordLabel{"", TCoinClass::Unknown, false, "bent, \"badly\""}));
}

void TstCtlWave::refused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("short file") << QStringList{"stats", "A", "SHORT"} << 6
                                << "short.bwv: the file holds 1440803 bytes";
    QTest::newRow("201 records") << QStringList{"stats", "COUNT201"} << 6 << "names 201 records";
    QTest::newRow("-1 records") << QStringList{"export", "COUNTM1", "--csv", "values", "-o", "OUT"}
                                << 6 << "names -1 records";
    QTest::newRow("missing file") << QStringList{"stats", "A", "NONE"} << 6 << "none.bwv";
    QTest::newRow("export, second file bad")
        << QStringList{"export", "A", "SHORT", "--csv", "values", "-o", "OUT"} << 6 << "short.bwv";
    QTest::newRow("label beyond the file")
        << QStringList{"label", "A", "--records", "2-4", "--kind", "x", "--class", "fake"} << 1
        << "holds 4 records (0 to 3)";
    QTest::newRow("label range reversed")
        << QStringList{"label", "A", "--records", "3-2", "--kind", "x", "--class", "fake"} << 1
        << "--records 3-2";
    QTest::newRow("bad class") << QStringList{"label",  "A", "--records", "1",
                                              "--kind", "x", "--class",   "real"}
                               << 1 << "--class must be";
    QTest::newRow("kind too long")
        << QStringList{"label",           "A",       "--records", "1", "--kind",
                       QString(256, 'k'), "--class", "fake"}
        << 1 << "longer than 255 bytes";
    QTest::newRow("bad layout") << QStringList{"export", "A", "--csv", "xml", "-o", "OUT"} << 1
                                << "--csv must be";
    QTest::newRow("no output") << QStringList{"export", "A", "--csv", "values"} << 1 << "-o";
    QTest::newRow("option of another command")
        << QStringList{"stats", "A", "--csv", "values"} << 1 << "takes no --csv";
    QTest::newRow("bad grouping") << QStringList{"stats", "A", "--by", "colour"} << 1
                                  << "--by must be";
    QTest::newRow("no file") << QStringList{"stats"} << 1 << "needs a .bwv file";
    QTest::newRow("unknown") << QStringList{"plot", "A"} << 1 << "unknown wave command 'plot'";
    QTest::newRow("plot of two files")
        << QStringList{"export", "A", "A", "--png", "OUT"} << 1 << "one .bwv file";
    QTest::newRow("plot and CSV") << QStringList{"export", "A", "--png", "OUT", "--csv", "values"}
                                  << 1 << "one of --csv, --png and --svg";
    QTest::newRow("plot with -o") << QStringList{"export", "A", "--svg", "OUT", "-o", "OUT"} << 1
                                  << "no -o";
    QTest::newRow("plot of a short file")
        << QStringList{"export", "SHORT", "--png", "OUT"} << 6 << "short.bwv";
    QTest::newRow("plot into a missing folder")
        << QStringList{"export", "A", "--svg", "NODIR"} << 6 << "plot.svg";
    // A port's value is not taken for the command: wave says it needs none.
    QTest::newRow("with a port") << QStringList{"--port", "/dev/null", "wave", "stats", "A"} << 1
                                 << "Unknown option 'port'";
}

void TstCtlWave::refused() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QByteArray whole = ReadAll(a);
    QVERIFY(WriteAll(dir.filePath("short.bwv"), whole.first(1440803)));
    QByteArray count = whole;
    count.replace(0, 4, QByteArray("\xC9\x00\x00\x00", 4));
    QVERIFY(WriteAll(dir.filePath("count201.bwv"), count));
    count.replace(0, 4, QByteArray("\xFF\xFF\xFF\xFF", 4));
    QVERIFY(WriteAll(dir.filePath("countm1.bwv"), count));
    const QString out = dir.filePath("refused.csv");
    QFile::remove(out);
    for (QString& arg : args) {
        if (arg == "A")
            arg = a;
        else if (arg == "OUT")
            arg = out;
        else if (arg == "NODIR")
            arg = dir.filePath("missing/plot.svg");
        else if (arg == "SHORT" || arg == "COUNT201" || arg == "COUNTM1" || arg == "NONE")
            arg = dir.filePath(arg.toLower() + ".bwv");
    }
    const TRun r = Ctl(args.contains("wave") ? args : QStringList{"wave"} + args);
    QVERIFY2(r.exit == exitCode, r.err.constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(says), r.err.constData());
    // Nothing was written: no result, no file, the labelled file as it was.
    QVERIFY2(r.out.isEmpty(), r.out.constData());
    QVERIFY(!QFile::exists(out));
    QCOMPARE(ReadAll(a), whole);
}

void TstCtlWave::damagedTrailerSaidOnce() {
    const QString path = dir.filePath("damaged.bwv");
    QByteArray bytes = ReadAll(a);
    bytes[bytes.size() - 1] = static_cast<char>(bytes[bytes.size() - 1] ^ 0x40);
    QVERIFY(WriteAll(path, bytes));
    const TRun r = Ctl({"wave", "stats", path, "--json"});
    QVERIFY2(r.exit == 0, r.err.constData());
    QCOMPARE(r.err.count("damaged.bwv"), 1);
    QVERIFY2(r.err.contains("checksum"), r.err.constData());
    // The samples are used, the labels are not.
    const QJsonArray table = Json(r.out)["table"].toArray();
    QCOMPARE(table.size(), 4);
    QCOMPARE(table[1].toObject()["kind"].toString(), QString());
    QCOMPARE(table[2].toObject()["excluded"].toBool(), false);
}

void TstCtlWave::scriptedCoinsLabelledAndSummed() {
    // Five coins of kind 3, four of kind 8, three slugs, then no more.
    SimProcess board(
        {"--fast", "--seed", "7", "--coin-interval", "5", "--coins", "3x5,8x4,slugx3"});
    QVERIFY(!board.serialPath().isEmpty());
    SerialEnd line(board.serialPath());
    QVERIFY(line.send(hexBytes("55 A3"))); // waves of every coin
    const QByteArray waves = line.receive(12 * 6 * 308, 5000);
    QCOMPARE(waves.size(), 12 * 6 * 308);
    QVERIFY(line.receiveUntilQuiet(300).isEmpty());

    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TNoPlot plot;
    capture.ReadWavePackets(
        {reinterpret_cast<const uint8_t*>(waves.constData()), static_cast<size_t>(waves.size())},
        *store, plot, 0);
    QCOMPARE(store->RecordCount, 12);
    const QString path = dir.filePath("scripted.bwv");
    QString error;
    QVERIFY2(WaveFile::Save(path, *store, error), qPrintable(error));
    for (const QStringList& label :
         {QStringList{"0-4", "3", "genuine"}, QStringList{"5-8", "8", "genuine"},
          QStringList{"9-11", "slug", "fake"}}) {
        const TRun r = Ctl({"wave", "label", path, "--records", label[0], "--kind", label[1],
                            "--class", label[2]});
        QVERIFY2(r.exit == 0, r.err.constData());
    }

    // Result names each record's kind, in the script's order.
    TRun r = Ctl({"wave", "stats", path, "--json", "--by", "result"});
    QVERIFY2(r.exit == 0, r.err.constData());
    QJsonObject json = Json(r.out);
    const QJsonArray table = json["table"].toArray();
    for (int i = 0; i < 12; ++i)
        QCOMPARE(table[i].toObject()["values"].toArray()[5].toInt(), i < 5 ? 3 : i < 9 ? 8 : 136);
    QStringList groups;
    for (const QJsonValue s : json["stats"].toArray())
        if (!groups.contains(s.toObject()["group"].toString()))
            groups << s.toObject()["group"].toString();
    QCOMPARE(groups, (QStringList{"all", "result 3", "result 8", "result 136"}));

    // The labels group the same records, and the kinds' coil readings lie far apart.
    r = Ctl({"wave", "stats", path, "--json"});
    QVERIFY2(r.exit == 0, r.err.constData());
    QHash<QString, QJsonObject> coil;
    for (const QJsonValue s : Json(r.out)["stats"].toArray())
        if (s.toObject()["measurement"].toString() == "Coil1 value (min)")
            coil[s.toObject()["group"].toString()] = s.toObject();
    QCOMPARE(coil["3/genuine"]["n"].toInt(), 5);
    QCOMPARE(coil["8/genuine"]["n"].toInt(), 4);
    QCOMPARE(coil["slug/fake"]["n"].toInt(), 3);
    const double apart =
        coil["3/genuine"]["mean"].toDouble() - coil["8/genuine"]["mean"].toDouble();
    QVERIFY2(apart > 5 * (coil["3/genuine"]["sd"].toDouble() + coil["8/genuine"]["sd"].toDouble()),
             qPrintable(QString::number(apart)));

    // The CSV a spreadsheet opens holds every value the store holds.
    const QString csv = dir.filePath("scripted.csv");
    r = Ctl({"wave", "export", path, "--csv", "values", "-o", csv});
    QVERIFY2(r.exit == 0, r.err.constData());
    QList<QStringList> rows;
    QVERIFY(ReadCsv(ReadAll(csv), rows));
    QCOMPARE(rows.size(), 13);
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(rows[i + 1][1].toInt(), store->RecordLength[static_cast<size_t>(i)]);
        QCOMPARE(rows[i + 1][2], QString(i < 5 ? "3" : i < 9 ? "8" : "slug"));
        for (int m = 0; m < 20; ++m)
            QCOMPARE(rows[i + 1][5 + m].toInt(), Value(*store, i, m));
    }
}

// The picture krv2ctl draws without a window is the one the page's plot shows after
// Load; the drawing has one path per trace (four records on seven surfaces) and the
// scale's ticks.
void TstCtlWave::plotDrawnAsThePageDrawsIt() {
    const QString png = dir.filePath("plot.png");
    const QString svg = dir.filePath("plot.svg");
    TRun r = Ctl({"wave", "export", a, "--png", png});
    QVERIFY2(r.exit == 0, r.err.constData());
    r = Ctl({"wave", "export", a, "--svg", svg, "--json"});
    QVERIFY2(r.exit == 0, r.err.constData());
    QCOMPARE(Json(r.out)["records"].toInt(), 4);

    auto store = std::make_unique<TWaveStore>();
    TPlot plot(*store,
               [](int w, int h, uint32_t bg) { return std::make_unique<TLayerSurface>(w, h, bg); });
    QByteArray block;
    QString error;
    QVERIFY(WaveFile::ReadBlock(a, block, error));
    WaveActive::Load(*store, plot, block);
    QCOMPARE(QImage(png).convertToFormat(QImage::Format_ARGB32), PlotPicture::Raster(plot));

    const QByteArray drawing = ReadAll(svg);
    QVERIFY(QSvgRenderer(drawing).isValid());
    QCOMPARE(drawing.count("<path"), 4 * 7 + 1);
}

QTEST_MAIN(TstCtlWave)
#include "tst_ctl_wave.moc"
