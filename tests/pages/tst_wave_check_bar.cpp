// The Get_Wave page's live pass/fail line: every record tested as it closes, against a
// windows file or a mask, counts reset by New, and the stop on fail that sends Method
// None's bytes once until the board is asked for coins again.
#include "ByteLiterals.h"
#include "FakeHost.h"
#include "Messages.h"
#include "WaveCheckBar.h"
#include "WaveFile.h"
#include "WavePage.h"
#include "WaveTestData.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {
// A coin's six channels: ramps that never spell a packet header, with `result` at
// channel 0 sample 255 and one sample of channel 2 raised by `spike`.
std::array<TSamples, 6> Coin(int result, int spike = 0) {
    std::array<TSamples, 6> channels{};
    for (size_t c = 0; c < 6; ++c)
        for (size_t k = 0; k < 299; ++k)
            channels[c][k] = static_cast<uint8_t>(20 + (c * 20 + k) % 180);
    channels[0][255] = static_cast<uint8_t>(result);
    channels[2][100] = static_cast<uint8_t>(channels[2][100] + spike);
    return channels;
}

// The verdict in full: the line itself may be cut short to fit.
QString Shown(const TWaveCheckBar& bar) {
    return bar.Verdict->toolTip().section(QLatin1Char('\n'), 0, 0);
}

// Windows for kind 3 by the board's Result alone, as `wave teach` writes them.
const char* const ResultWindows = R"({"kinds": [{"kind": "3", "n": 40, "k": 3,
    "date": "2025-03-05T14:30:15",
    "windows": [{"measurement": "Result", "low": 2, "high": 4}]}]})";
} // namespace

class TstWaveCheckBar : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void stopOnFailSendsNoneOnce();
    void maskFromALabelledFile_data();
    void maskFromALabelledFile();

private:
    void Close(const std::array<TSamples, 6>& coin);
    QString Write(const char* name, const QByteArray& bytes);

    std::unique_ptr<TFakeHost> host;
    std::unique_ptr<TWaveStore> store;
    std::unique_ptr<TWaveCapture> capture;
    TWaveLabels pageLabels;
    std::unique_ptr<TWavePage> page;
    int64_t nowMs = 0;
    QTemporaryDir dir;
};

void TstWaveCheckBar::init() {
    host = std::make_unique<TFakeHost>();
    store = std::make_unique<TWaveStore>();
    capture = std::make_unique<TWaveCapture>();
    pageLabels.Clear();
    page = std::make_unique<TWavePage>(*host, *store, pageLabels, *capture);
    page->Ticks = [this] { return nowMs += 10; };
    Messages::SetHandler([](const TMessage&) { return QMessageBox::Ok; });
}

void TstWaveCheckBar::cleanup() {
    Messages::SetHandler({});
    page.reset();
}

void TstWaveCheckBar::Close(const std::array<TSamples, 6>& coin) {
    for (int c = 0; c < 6; ++c)
        page->ReadWavePackets(Span(Packet(c, coin[static_cast<size_t>(c)])));
}

QString TstWaveCheckBar::Write(const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName()
                                                                          : QString();
}

void TstWaveCheckBar::stopOnFailSendsNoneOnce() {
    TWaveCheckBar& bar = *page->CheckBar;
    QCOMPARE(bar.geometry(), QRect(570, 703, 405, 14));
    QVERIFY(bar.LoadWindows(Write("w.json", ResultWindows)));
    bar.StopAction->trigger();
    QVERIFY(bar.Check().StopOnFail());

    Close(Coin(3));
    QCOMPARE(Shown(bar), QString("record 0: PASS 3"));
    // Two coins fail back to back: the second was on its way when the first stopped.
    Close(Coin(0x88));
    Close(Coin(0x88));
    QCOMPARE(Shown(bar), QString("record 2: FAIL near 3: Result 136 outside 2..4 (1 out)"));
    QCOMPARE(bar.Counts->text(), QString("3 tested, 2 failed (66.7 %)"));
    QVERIFY(host->wire.isEmpty()); // sent from the event loop, not inside the delivery
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(host->wire, Raw("90 05 01 03 99 55 A0"));
    QCOMPARE(host->waited, 1000);
    QVERIFY(page->MethodItems[3]->isChecked());
    Close(Coin(0x88));
    QCoreApplication::processEvents();
    QCOMPARE(host->wire, Raw("90 05 01 03 99 55 A0"));

    // Coins asked for again: the next failure stops them again.
    page->MethodItems[0]->click();
    Close(Coin(0x88));
    QCoreApplication::processEvents();
    QCOMPARE(host->wire, Raw("90 05 01 03 99 55 A0 90 05 01 03 99 55 A3 90 05 01 03 99 55 A0"));

    // New counts afresh; without the stop a failure sends nothing.
    page->btnNewClick();
    QCOMPARE(bar.Counts->text(), QString("0 tested, 0 failed (0.0 %)"));
    bar.StopAction->trigger();
    host->wire.clear();
    Close(Coin(0x88));
    QCoreApplication::processEvents();
    QVERIFY(host->wire.isEmpty());
    QCOMPARE(bar.Counts->text(), QString("1 tested, 1 failed (100.0 %)"));
}

void TstWaveCheckBar::maskFromALabelledFile_data() {
    QTest::addColumn<int>("spike");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("inside") << 4 << "record 3: PASS 3/genuine ±4/±0";
    QTest::newRow("outside") << 5 << "record 3: FAIL ch2 s100: 165 outside 156..164 (1 out)";
}

void TstWaveCheckBar::maskFromALabelledFile() {
    QFETCH(int, spike);
    QFETCH(QString, verdict);
    // Three genuine coins of kind 3 and a slug; the mask is made from the coins.
    auto taught = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    for (int r = 0; r < 4; ++r) {
        const auto coin = Coin(r < 3 ? 3 : 0x88, r == 3 ? 60 : 0);
        for (size_t c = 0; c < 6; ++c)
            std::copy(coin[c].begin(), coin[c].end(),
                      taught->WaveSamples[c][static_cast<size_t>(r)].begin());
        labels.Set(r, {r < 3 ? "3" : "slug", r < 3 ? TCoinClass::Genuine : TCoinClass::Fake, false,
                       QString()});
    }
    taught->RecordCount = 4;
    const QString path = dir.filePath("taught.bwv");
    QString error;
    QVERIFY2(WaveFile::Save(path, *taught, labels, error), qPrintable(error));

    TWaveCheckBar& bar = *page->CheckBar;
    QStringList offered;
    bar.OpenD = [&](const QString&) { return path; };
    bar.AskMask = [&](const QStringList& groups, TMaskChoice& choice) {
        offered = groups;
        choice = {1, 4, 0};
        return true;
    };
    const auto items = bar.CheckButton->menu()->actions();
    items[1]->trigger(); // "Mask from a .bwv file…"
    QCOMPARE(offered, (QStringList{"all", "3/genuine", "slug/fake"}));
    for (int r = 0; r < 3; ++r)
        Close(Coin(3));
    QCOMPARE(bar.Counts->text(), QString("3 tested, 0 failed (0.0 %)"));
    Close(Coin(3, spike));
    QCOMPARE(Shown(bar), verdict);
}

QTEST_MAIN(TstWaveCheckBar)
#include "tst_wave_check_bar.moc"
