#include "ByteLiterals.h"
#include "FakeHost.h"
#include "Messages.h"
#include "WaveActive.h"
#include "WaveFile.h"
#include "WavePage.h"
#include "WaveTestData.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
QStringList Texts(const std::array<QLabel*, TWavePage::ValueRows>& labels) {
    QStringList out;
    for (QLabel* l : labels)
        out << l->text();
    return out;
}

QStringList Repeated(const QString& text) {
    return QStringList(TWavePage::ValueRows, text);
}

// Channel 0's samples 250..269 of `samples` as the boxes show them.
QStringList Values(const TSamples& samples) {
    QStringList out;
    for (int i = 0; i < TWavePage::ValueRows; ++i)
        out << QString::number(samples[static_cast<size_t>(250 + i)]);
    return out;
}
} // namespace

class TstWavePage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void methodSendsFrameWaitsThenTwoBytes_data();
    void methodSendsFrameWaitsThenTwoBytes();
    void hiddenStartSendsTheStartFrame();
    void valueRowsMadeAnewOnEveryVisit();
    void capturedPacketsFollowedByLabels();
    void saveNames_data();
    void saveNames();
    void saveWithNoRecordsShowsNoData();
    void newAnsweredCancelOnlyBlanksTheBoxes();
    void delThisOfTheOnlyRecord();
    void loadCancelledAndConfirmedThenCancelled();
    void saveThenLoadShowsTheLastRecord();
    void loadRefusesABadCountAndKeepsTheStoreEmpty();
    void storeOperationsAbandonTheCoinInProgress_data();
    void storeOperationsAbandonTheCoinInProgress();
    void delThisDeletesTheRecordShown_data();
    void delThisDeletesTheRecordShown();
    void methodStopsAtAPrefixThePortDidNotTake();
    void keepEveryCoin_data();
    void keepEveryCoin();
    void labelsFollowTheirRecords_data();
    void labelsFollowTheirRecords();
    void labelsKeptThroughSaveAndLoad();
    void damagedTrailerLoadsTheSamplesWithOneMessage();
    void labelRunLabelsClosingRecords_data();
    void labelRunLabelsClosingRecords();

private:
    void Capture(int records, int firstId = 0);
    void Answer(QMessageBox::StandardButton button) { answer = button; }

    std::unique_ptr<TFakeHost> host;
    std::unique_ptr<TWaveStore> store;
    TWaveLabels labels;
    std::unique_ptr<TWaveCapture> capture;
    std::unique_ptr<TWavePage> page;
    QList<TMessage> shown;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::function<void()> whileAsked; // runs while a box is open
    int64_t nowMs = 0;
    QTemporaryDir dir;
};

void TstWavePage::init() {
    host = std::make_unique<TFakeHost>();
    store = std::make_unique<TWaveStore>();
    labels.Clear();
    capture = std::make_unique<TWaveCapture>();
    page = std::make_unique<TWavePage>(*host, *store, labels, *capture);
    page->CreateValueRows();
    shown.clear();
    answer = QMessageBox::Ok;
    whileAsked = {};
    nowMs = 0;
    page->Ticks = [this] { return nowMs += 10; };
    Messages::SetHandler([this](const TMessage& m) {
        shown.append(m);
        if (whileAsked)
            std::exchange(whileAsked, {})();
        return m.okCancel ? answer : QMessageBox::Ok;
    });
}

void TstWavePage::cleanup() {
    Messages::SetHandler({});
    page.reset();
}

void TstWavePage::Capture(int records, int firstId) {
    for (int r = 0; r < records; ++r)
        for (int c = 0; c < 6; ++c)
            page->ReadWavePackets(
                Span(Packet(c, SamplesFor(firstId + 6 * r + c), 0x0100 + firstId + r)));
}

void TstWavePage::methodSendsFrameWaitsThenTwoBytes_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("All") << 0 << Raw("90 05 01 03 99 55 A3");
    QTest::newRow("Add") << 1 << Raw("90 05 01 03 99 55 A1");
    QTest::newRow("Reject") << 2 << Raw("90 05 01 03 99 55 A2");
    QTest::newRow("None") << 3 << Raw("90 05 01 03 99 55 A0");
}

void TstWavePage::methodSendsFrameWaitsThenTwoBytes() {
    QFETCH(int, item);
    QFETCH(QByteArray, wire);
    page->MethodItems[static_cast<size_t>(item)]->click();
    QCOMPARE(host->wire, wire);
    QCOMPARE(host->waited, 1000);
    QCOMPARE(host->logTargets, QList<int>{2});
    QVERIFY(page->MethodItems[static_cast<size_t>(item)]->isChecked());
}

void TstWavePage::hiddenStartSendsTheStartFrame() {
    QVERIFY(!page->Button8->isVisibleTo(page.get()));
    page->Button8Click();
    QCOMPARE(host->wire, Raw("90 05 01 03 99"));
    QCOMPARE(host->logTargets, QList<int>{2});
    QCOMPARE(host->waited, 0);
}

void TstWavePage::valueRowsMadeAnewOnEveryVisit() {
    Capture(1);
    QCOMPARE(Texts(page->ValueBoxes), Values(SamplesFor(0)));
    const QLabel* before = page->ValueBoxes[0];
    page->CreateValueRows();
    QVERIFY(page->ValueBoxes[0] != before);
    QCOMPARE(Texts(page->ValueBoxes), Repeated(QString()));
    QCOMPARE(page->ValueCaptions[0]->text(), QStringLiteral("DROP1 CNT"));
    QCOMPARE(page->ValueCaptions[8]->text(), QStringLiteral("MAX "));
    QCOMPARE(page->ValueCaptions[19]->text(), QStringLiteral("269"));
    QCOMPARE(page->ValueBoxes[19]->geometry().topLeft(), QPoint(1080, 296 + 20 * 19));
    QCOMPARE(page->ValueCaptions[3]->geometry().topLeft(), QPoint(996, 356));
    QCOMPARE(page->ValueBoxes[0]->alignment() & Qt::AlignRight, Qt::AlignRight);
}

void TstWavePage::capturedPacketsFollowedByLabels() {
    QCOMPARE(page->Label2->text(), QStringLiteral("0"));
    const QByteArray first = Packet(0, SamplesFor(40), 0x012C);
    page->ReadWavePackets(Span(first.left(10)));
    QCOMPARE(page->Label28->text(), QStringLiteral("300"));
    QCOMPARE(page->Label2->text(), QStringLiteral("0"));
    page->ReadWavePackets(Span(first.mid(10)));
    QCOMPARE(page->Label2->text(), QStringLiteral("0"));
    QCOMPARE(Texts(page->ValueBoxes), Values(SamplesFor(40)));
    // A packet of another channel refreshes the boxes from channel 0's latest.
    page->ReadWavePackets(Span(Packet(3, SamplesFor(41))));
    QCOMPARE(Texts(page->ValueBoxes), Values(SamplesFor(40)));
    QCOMPARE(page->Label6->text(), QStringLiteral("no"));
    for (int c : {1, 2, 4, 5})
        page->ReadWavePackets(Span(Packet(c, SamplesFor(42), 0x0099)));
    QCOMPARE(page->Label2->text(), QStringLiteral("1"));
    QCOMPARE(page->Label6->text(), QStringLiteral("0"));
    QCOMPARE(page->Label28->text(), QStringLiteral("153"));
}

void TstWavePage::saveNames_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("x") << QStringLiteral("x") << QStringLiteral("x.bwv");
    QTest::newRow("x.bwv") << QStringLiteral("x.bwv") << QStringLiteral("x.bwv.bwv");
}

void TstWavePage::saveNames() {
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    Capture(2);
    page->Clock = [] { return QDateTime(QDate(2016, 3, 5), QTime(14, 30, 15)); };
    QString proposed;
    page->SaveD = [&](const QString& name) {
        proposed = name;
        return dir.filePath(chosen);
    };
    page->BtnSaveClick();
    QCOMPARE(proposed, QStringLiteral("20160305"));
    QVERIFY(shown.isEmpty());
    QFile file(dir.filePath(written));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.size(), 1440804);
    QCOMPARE(file.read(4), Raw("02 00 00 00"));
    QVERIFY(file.remove());
}

void TstWavePage::saveWithNoRecordsShowsNoData() {
    bool asked = false;
    page->SaveD = [&](const QString&) {
        asked = true;
        return dir.filePath(QStringLiteral("never"));
    };
    page->BtnSaveClick();
    QVERIFY(!asked);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("無資料"));
    QVERIFY(!shown[0].okCancel);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("never.bwv"))));
}

void TstWavePage::newAnsweredCancelOnlyBlanksTheBoxes() {
    Capture(2);
    Answer(QMessageBox::Cancel);
    page->btnNewClick();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("刪除全部資料嗎?"));
    QCOMPARE(shown[0].caption, QStringLiteral("注意"));
    QVERIFY(shown[0].okCancel);
    QCOMPARE(store->RecordCount, 2);
    QCOMPARE(page->Label2->text(), QStringLiteral("2"));
    QCOMPARE(Texts(page->ValueBoxes), Repeated(QStringLiteral(" ")));

    Answer(QMessageBox::Ok);
    page->btnNewClick();
    QCOMPARE(store->RecordCount, 0);
    for (QLabel* l : {page->Label2, page->Label6, page->Label28})
        QCOMPARE(l->text(), QStringLiteral("0"));
    QCOMPARE(Texts(page->ValueBoxes), Repeated(QStringLiteral(" ")));
}

void TstWavePage::delThisOfTheOnlyRecord() {
    Capture(1);
    page->btnDelOneClick();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("刪除這筆資料嗎?"));
    QCOMPARE(shown[0].caption, QStringLiteral("注意"));
    QCOMPARE(page->Label2->text(), QStringLiteral("0"));
    QCOMPARE(page->Label6->text(), QStringLiteral("-1"));
    QCOMPARE(page->Label28->text(), QStringLiteral("0"));
    QCOMPARE(Texts(page->ValueBoxes), Repeated(QStringLiteral("0")));
}

void TstWavePage::loadCancelledAndConfirmedThenCancelled() {
    Capture(2);
    bool opened = false;
    page->OpenD = [&] {
        opened = true;
        return QString();
    };
    Answer(QMessageBox::Cancel);
    page->BtnOpenClick();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("目前資料刪除嗎?"));
    QVERIFY(!opened);
    QCOMPARE(store->RecordCount, 2);

    Answer(QMessageBox::Ok);
    page->BtnOpenClick();
    QVERIFY(opened);
    QCOMPARE(store->RecordCount, 0);
    QCOMPARE(page->Label2->text(), QStringLiteral("0"));
}

void TstWavePage::saveThenLoadShowsTheLastRecord() {
    Capture(3, 100);
    page->SaveD = [&](const QString&) { return dir.filePath(QStringLiteral("three")); };
    page->BtnSaveClick();
    page->btnNewClick();
    page->OpenD = [&] { return dir.filePath(QStringLiteral("three.bwv")); };
    page->BtnOpenClick();
    QCOMPARE(shown.size(), 1); // only the New confirmation: the store was empty for Load
    QCOMPARE(page->Label2->text(), QStringLiteral("3"));
    QCOMPARE(page->Label6->text(), QStringLiteral("2"));
    QCOMPARE(Texts(page->ValueBoxes), Values(SamplesFor(100 + 12)));
    QCOMPARE(page->window()->windowTitle(), dir.filePath(QStringLiteral("three.bwv")));
    QVERIFY(Holds(store->WaveSamples[5][1], SamplesFor(100 + 11)));
    QCOMPARE(store->RecordLength[2], 0x0100 + 102);
}

void TstWavePage::loadRefusesABadCountAndKeepsTheStoreEmpty() {
    QByteArray bytes(1440804, '\0');
    bytes.replace(0, 4, Raw("C9 00 00 00"));
    const QString path = dir.filePath(QStringLiteral("bad.bwv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    Capture(2);
    page->OpenD = [&] { return path; };
    page->BtnOpenClick();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[1].text.contains(QStringLiteral("bad.bwv")) &&
                 shown[1].text.contains(QStringLiteral("201")),
             qPrintable(shown[1].text));
    QCOMPARE(store->RecordCount, 0);
    QCOMPARE(page->window()->windowTitle(), path);
}

void TstWavePage::storeOperationsAbandonTheCoinInProgress_data() {
    QTest::addColumn<bool>("deleteOne"); // Del This, else New
    QTest::addColumn<int>("recordsLeft");
    QTest::newRow("New") << false << 0;
    QTest::newRow("Del This") << true << 1;
}

void TstWavePage::storeOperationsAbandonTheCoinInProgress() {
    QFETCH(bool, deleteOne);
    QFETCH(int, recordsLeft);
    Capture(2);
    for (int c = 0; c < 3; ++c)
        page->ReadWavePackets(Span(Packet(c, SamplesFor(50 + c))));
    if (deleteOne)
        page->btnDelOneClick();
    else
        page->btnNewClick();
    QCOMPARE(page->AbandonedLabel->text(), QStringLiteral("Coins abandoned: 1"));
    for (int c = 3; c < 6; ++c)
        page->ReadWavePackets(Span(Packet(c, SamplesFor(50 + c))));
    QCOMPARE(store->RecordCount, recordsLeft);
    // The next coin, after the line was quiet, files whole and alone.
    nowMs += 2000;
    Capture(1, 60);
    QCOMPARE(store->RecordCount, recordsLeft + 1);
    for (int c = 0; c < 6; ++c)
        QVERIFY(Holds(store->WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(recordsLeft)],
                      SamplesFor(60 + c)));
    QCOMPARE(page->AbandonedLabel->text(), QStringLiteral("Coins abandoned: 2"));
    QCOMPARE(page->DroppedLabel->text(), QStringLiteral("Packets dropped: 0"));
}

void TstWavePage::delThisDeletesTheRecordShown_data() {
    QTest::addColumn<bool>("emptied"); // the store is emptied while the box is open
    QTest::newRow("a coin arrives meanwhile") << false;
    QTest::newRow("the record is gone") << true;
}

void TstWavePage::delThisDeletesTheRecordShown() {
    QFETCH(bool, emptied);
    TNoPlot noPlot;
    Capture(2);
    QCOMPARE(store->CurrentRecord, 1);
    whileAsked = [&] {
        if (emptied)
            WaveActive::New(*store, noPlot);
        else
            Capture(1, 100); // becomes current
    };
    page->btnDelOneClick();
    if (emptied) {
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[1].text.contains(QStringLiteral("nothing was deleted")));
        QCOMPARE(store->RecordCount, 0);
        return;
    }
    // Record 1, the one shown, went; the newest coin took its slot.
    QCOMPARE(store->RecordCount, 2);
    QVERIFY(Holds(store->WaveSamples[0][0], SamplesFor(0)));
    QVERIFY(Holds(store->WaveSamples[0][1], SamplesFor(100)));
}

void TstWavePage::methodStopsAtAPrefixThePortDidNotTake() {
    host->takesBytes = 5; // the start frame, then the port stalls
    page->MethodItems[0]->click();
    QCOMPARE(host->wire, Raw("90 05 01 03 99"));
    QCOMPARE(host->modeAtWrite.size(), 5);
}

void TstWavePage::keepEveryCoin_data() {
    QTest::addColumn<bool>("tick");
    QTest::addColumn<bool>("folderTaken"); // run-001.bwv is a folder: the save fails
    QTest::newRow("off: the 201st coin is lost") << false << false;
    QTest::newRow("on: the 201st coin starts a new store") << true << false;
    QTest::newRow("on, the save fails: capture stops") << true << true;
}

void TstWavePage::keepEveryCoin() {
    QFETCH(bool, tick);
    QFETCH(bool, folderTaken);
    QTemporaryDir here;
    if (folderTaken)
        QVERIFY(QDir(here.path()).mkdir(QStringLiteral("run-001.bwv")));
    page->SaveD = [&](const QString&) { return here.filePath(QStringLiteral("run")); };
    if (tick)
        page->KeepEveryCoin->click();
    QCOMPARE(page->KeepEveryCoin->isChecked(), tick);
    Capture(200);
    QCOMPARE(page->Label2->text(), QStringLiteral("200"));
    Capture(1, 6000);
    QCoreApplication::processEvents(); // the failed save is told after the delivery

    const bool rolled = tick && !folderTaken;
    QCOMPARE(QFile::exists(here.filePath(QStringLiteral("run-001.bwv"))), rolled || folderTaken);
    QCOMPARE(store->RecordCount, rolled ? 1 : 200);
    QCOMPARE(page->Label2->text(), rolled ? QStringLiteral("1") : QStringLiteral("200"));
    QVERIFY(Holds(store->WaveSamples[0][0], SamplesFor(rolled ? 6000 : 0)));
    if (!rolled) // the store as it was
        QVERIFY(Holds(store->WaveSamples[5][199], SamplesFor(6 * 199 + 5)));
    QCOMPARE(page->KeepEveryCoin->isChecked(), rolled);
    QCOMPARE(page->KeepEveryCoinFile->text(),
             rolled ? QStringLiteral("a full store goes to run-002.bwv") : QString());
    QCOMPARE(shown.size(), folderTaken ? 1 : 0);
    if (folderTaken) {
        QVERIFY(shown[0].text.contains(QStringLiteral("capture stopped")));
        QVERIFY(shown[0].detail.contains(QStringLiteral("run-001.bwv")));
    }
    if (rolled) {
        QByteArray block;
        QString error;
        QVERIFY(WaveFile::ReadBlock(here.filePath(QStringLiteral("run-001.bwv")), block, error));
        QCOMPARE(WaveFile::RecordCountOf(block), 200);
    }
}

namespace {
TRecordLabel Kind(const char* kind) {
    return {QString::fromLatin1(kind), TCoinClass::Genuine, false, QString()};
}

QStringList Kinds(const TWaveLabels& labels, int count) {
    QStringList out;
    for (int r = 0; r < count; ++r)
        out << labels.At(r).Kind;
    return out;
}
} // namespace

void TstWavePage::labelsFollowTheirRecords_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("kinds"); // of slots 0..2 afterwards
    QTest::newRow("Del This, middle record") << "delete 1" << QStringList{"a", "c", ""};
    QTest::newRow("Del This, last record") << "delete 2" << QStringList{"a", "b", ""};
    QTest::newRow("Del This, first record") << "delete 0" << QStringList{"c", "b", ""};
    QTest::newRow("New") << "new" << QStringList{"", "", ""};
}

void TstWavePage::labelsFollowTheirRecords() {
    QFETCH(QString, operation);
    QFETCH(QStringList, kinds);
    Capture(3);
    for (int r = 0; r < 3; ++r)
        QVERIFY(page->SetLabel(r, Kind(QByteArray(1, static_cast<char>('a' + r)).constData())));
    if (operation == QLatin1String("new")) {
        page->btnNewClick();
    } else {
        page->ShowRecord(operation.back().digitValue());
        page->btnDelOneClick();
        // The samples moved with the label: slot 0 or 1 now holds record "c"'s.
        if (operation != QLatin1String("delete 2"))
            QVERIFY(Holds(store->WaveSamples[0][static_cast<size_t>(operation.back().digitValue())],
                          SamplesFor(12)));
    }
    QCOMPARE(Kinds(labels, 3), kinds);
}

void TstWavePage::labelsKeptThroughSaveAndLoad() {
    Capture(3);
    QVERIFY(page->SetLabel(1, {"10c", TCoinClass::Genuine, true, "chipped"}));
    QVERIFY(!page->SetLabel(3, Kind("beyond the store")));
    page->SaveD = [&](const QString&) { return dir.filePath(QStringLiteral("labelled")); };
    page->BtnSaveClick();
    page->btnNewClick();
    QVERIFY(!labels.AnyBelow(200));
    page->OpenD = [&] { return dir.filePath(QStringLiteral("labelled.bwv")); };
    page->BtnOpenClick();
    QCOMPARE(labels.At(1), (TRecordLabel{"10c", TCoinClass::Genuine, true, "chipped"}));
    QVERIFY(labels.At(0).IsEmpty());
    QCOMPARE(shown.size(), 1); // New's confirmation only

    // Load one shows the label of the record in view.
    page->Button12Click();
    QVERIFY(!page->RecordLabel->isHidden());
    QCOMPARE(page->RecordLabel->text(), QStringLiteral("no label"));
    page->btnNextClick();
    QCOMPARE(page->RecordLabel->text(), QStringLiteral("10c genuine, excluded: chipped"));
    page->btnNewClick();
    QVERIFY(page->RecordLabel->isHidden());
}

void TstWavePage::damagedTrailerLoadsTheSamplesWithOneMessage() {
    Capture(2);
    QVERIFY(page->SetLabel(0, Kind("10c")));
    const QString path = dir.filePath(QStringLiteral("damaged.bwv"));
    QString error;
    QVERIFY(WaveFile::Save(path, *store, labels, error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(file.size() - 1));
    QVERIFY(file.write("\xFF", 1) == 1); // the trailer's last byte: its checksum fails
    file.close();
    page->btnNewClick();
    shown.clear();
    page->OpenD = [&] { return path; };
    page->BtnOpenClick();
    QCOMPARE(store->RecordCount, 2);
    QVERIFY(Holds(store->WaveSamples[3][1], SamplesFor(9)));
    QVERIFY(!labels.AnyBelow(200));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.contains(QStringLiteral("labels were dropped")),
             qPrintable(shown[0].text));
}

void TstWavePage::labelRunLabelsClosingRecords_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("stopAfter"); // coins before Stop; -1: never stopped
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QString>("progress");
    QTest::newRow("run of two, three coins")
        << 2 << -1 << QStringList{"10c", "10c", ""} << "10c genuine 2/2";
    QTest::newRow("stopped after one")
        << 5 << 1 << QStringList{"10c", "", ""} << "10c genuine 1/5 (stopped)";
}

void TstWavePage::labelRunLabelsClosingRecords() {
    QFETCH(int, count);
    QFETCH(int, stopAfter);
    QFETCH(QStringList, kinds);
    QFETCH(QString, progress);
    page->StartLabelRun(Kind("10c"), count);
    QVERIFY(page->LabelRunActive());
    QCOMPARE(page->LabelRunLabel->text(), QStringLiteral("10c genuine 0/%1").arg(count));
    if (stopAfter >= 0) {
        Capture(stopAfter);
        page->StopLabelRun();
        Capture(3 - stopAfter, 50);
    } else {
        // Two coins in one delivery, then one more.
        QByteArray both;
        for (int c = 0; c < 12; ++c)
            both += Packet(c % 6, SamplesFor(c));
        page->ReadWavePackets(Span(both));
        Capture(1, 50);
    }
    QCOMPARE(store->RecordCount, 3);
    QCOMPARE(Kinds(labels, 3), kinds);
    QVERIFY(!page->LabelRunActive());
    QCOMPARE(page->LabelRunLabel->text(), progress);
}

QTEST_MAIN(TstWavePage)
#include "tst_wave_page.moc"
