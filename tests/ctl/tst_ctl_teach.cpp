// krv2ctl wave teach, check and compare end to end: a labelled run of the simulated
// board's coin script taught, a second run checked against the windows, the two runs
// compared, and the refusals of bad windows files and options.
#include "SimProcess.h"
#include "WaveCapture.h"
#include "WaveFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
struct TRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

TRun Ctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KRV2CTL_PATH), QStringList{"wave"} + args);
    TRun r;
    if (p.waitForFinished(60000))
        r = {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
             p.readAllStandardError()};
    return r;
}

QJsonObject Json(const TRun& r) {
    return QJsonDocument::fromJson(r.out).object();
}

// The coins of a script as the page would capture them, saved to `path`.
bool Capture(const QString& seed, const QString& script, int coins, const QString& path) {
    SimProcess board({"--fast", "--seed", seed, "--coin-interval", "5", "--coins", script});
    SerialEnd line(board.serialPath());
    if (!line.send(hexBytes("55 A3"))) // waves of every coin
        return false;
    const QByteArray waves = line.receive(coins * 6 * 308, 5000);
    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TNoPlot plot;
    capture.ReadWavePackets(
        {reinterpret_cast<const uint8_t*>(waves.constData()), static_cast<size_t>(waves.size())},
        *store, plot, 0);
    QString error;
    return store->RecordCount == coins && WaveFile::Save(path, *store, error);
}
} // namespace

class TstCtlTeach : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void teachFromTheScriptedSet();
    void secondRunChecked();
    void runsCompared();
    void refused_data();
    void refused();

private:
    QTemporaryDir dir;
    QString first;
    QString second;
    QString windows;
};

void TstCtlTeach::initTestCase() {
    first = dir.filePath("first.bwv");
    second = dir.filePath("second.bwv");
    windows = dir.filePath("windows.json");
    QVERIFY(Capture("7", "3x40,8x20,slugx10", 70, first));
    QVERIFY(Capture("8", "3x20,8x10,slugx5", 35, second));
    for (const QStringList& label :
         {QStringList{"0-39", "3", "genuine"}, QStringList{"40-59", "8", "genuine"},
          QStringList{"60-69", "slug", "fake"}}) {
        const TRun r =
            Ctl({"label", first, "--records", label[0], "--kind", label[1], "--class", label[2]});
        QVERIFY2(r.exit == 0, r.err.constData());
    }
}

void TstCtlTeach::teachFromTheScriptedSet() {
    const QString csv = dir.filePath("windows.csv");
    const TRun r = Ctl({"teach", first, "-o", windows, "--csv", csv, "--json"});
    QVERIFY2(r.exit == 0, r.err.constData());
    const QJsonObject json = Json(r);
    // Every slug is refused by both kinds, and the kinds by each other.
    QStringList reports;
    for (const QJsonValue k : json["reports"].toArray())
        reports << QStringLiteral("%1 n %2 accepts %3")
                       .arg(k["kind"].toString())
                       .arg(k["n"].toInt())
                       .arg(k["falseAccepts"].toInt());
    QCOMPARE(reports, (QStringList{"3 n 40 accepts 0", "8 n 20 accepts 0"}));
    const QJsonArray apart = json["apart"].toArray()[0].toObject()["measurements"].toArray();
    QVERIFY(apart.contains(QJsonValue("Result")));
    QVERIFY(apart.contains(QJsonValue("Coil1 value (min)")));
    QCOMPARE(json["warnings"].toArray(), QJsonArray());
    QCOMPARE(json["temperature"].toObject(), (QJsonObject{{"min", 28}, {"max", 28}}));
    QCOMPARE(json["labelResult"].toArray().size(), 3);
    QCOMPARE(json["labelResult"].toArray()[2].toObject(),
             (QJsonObject{{"label", "slug/fake"}, {"result", 136}, {"count", 10}}));
    // The file holds what the run reported; the CSV a line per kind and measurement.
    QFile file(windows);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object()["kinds"], json["kinds"]);
    QFile table(csv);
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = table.readAll().split('\n');
    QCOMPARE(lines.size(), 1 + 40 + 1);
    QCOMPARE(lines[0], QByteArray("kind,measurement,low,high,n,mean,sd\r"));
    QVERIFY(lines[6].startsWith("3,Result,2,4,40,3.000,0.000"));
}

void TstCtlTeach::secondRunChecked() {
    const TRun r = Ctl({"check", second, "--windows", windows, "--json"});
    QCOMPARE(r.exit, 5);
    const QJsonObject json = Json(r);
    QCOMPARE(json["tested"].toInt(), 35);
    QCOMPARE(json["failed"].toInt(), 5);
    const QJsonArray records = json["records"].toArray();
    for (int i = 0; i < 35; ++i) {
        const QJsonObject rec = records[i].toObject();
        QCOMPARE(rec["pass"].toBool(), i < 30);
        if (i < 30)
            QCOMPARE(rec["kind"].toString(), QString(i < 20 ? "3" : "8"));
        else // a slug: far from both kinds on several measurements
            QVERIFY2(rec["reason"].toString().startsWith("FAIL near ") &&
                         rec["failing"].toInt() > 1,
                     qPrintable(rec["reason"].toString()));
    }
}

void TstCtlTeach::runsCompared() {
    TRun r = Ctl({"compare", first, first, "--json"});
    QVERIFY2(r.exit == 0, r.err.constData());
    for (const QJsonValue c : Json(r)["channels"].toArray())
        QCOMPARE(c["difference"].toDouble(), 0.0);
    r = Ctl({"compare", first, second, "--json"});
    QVERIFY2(r.exit == 0, r.err.constData());
    // Both runs hold the kinds in the same proportions: the mean Result is the same.
    const QJsonObject result = Json(r)["measurements"].toArray()[5].toObject();
    QCOMPARE(result["measurement"].toString(), QString("Result"));
    QCOMPARE(result["difference"].toDouble(), 0.0);
    QCOMPARE(result["effect"].toDouble(), 0.0);
}

void TstCtlTeach::refused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("windowsFile"); // written to bad.json when not empty
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    const QByteArray head =
        R"({"kinds": [{"kind": "3", "n": 4, "k": 3, "date": "2025-03-05T14:30:15", "windows": [)";
    QTest::newRow("low above high")
        << QStringList{"check", "SECOND", "--windows", "BAD"}
        << head + R"({"measurement": "Width", "low": 40, "high": 39}]}]})" << 6
        << "bad.json: kinds[0] \"3\": windows[0] \"Width\": low 40 is above high 39";
    QTest::newRow("nothing labelled")
        << QStringList{"teach", "SECOND"} << QByteArray() << 6 << "nothing to teach";
    QTest::newRow("k and margin") << QStringList{"teach", "FIRST", "--k", "2", "--margin", "1"}
                                  << QByteArray() << 1 << "not both";
    QTest::newRow("k 0") << QStringList{"teach", "FIRST", "--k", "0"} << QByteArray() << 1
                         << "--k must be a number above 0";
    QTest::newRow("margin 256") << QStringList{"teach", "FIRST", "--margin", "256"} << QByteArray()
                                << 1 << "--margin must be a whole number 0..255";
    QTest::newRow("compare one file")
        << QStringList{"compare", "FIRST"} << QByteArray() << 1 << "two .bwv files";
}

void TstCtlTeach::refused() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, windowsFile);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    const QString bad = dir.filePath("bad.json");
    QFile::remove(bad);
    if (!windowsFile.isEmpty()) {
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(windowsFile) == windowsFile.size());
    }
    args.replaceInStrings("FIRST", first).replaceInStrings("SECOND", second);
    args.replaceInStrings("BAD", bad);
    const TRun r = Ctl(args);
    QVERIFY2(r.exit == exitCode, r.err.constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(says), r.err.constData());
    QVERIFY2(r.out.isEmpty(), r.out.constData());
}

QTEST_GUILESS_MAIN(TstCtlTeach)
#include "tst_ctl_teach.moc"
