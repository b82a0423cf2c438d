// The I/O Test and R/W Binary pages against the simulated board over a
// pseudo-terminal, paced at 9600 baud: the poll, the outputs, and a memory image
// written and verified, also with a board that refuses or stops answering.
#include "BinaryPage.h"
#include "Form1.h"
#include "IoTestPage.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"
#include "PortNames.h"
#include "SimulatorLauncher.h"
#include "WavePage.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// CRC-16/XMODEM bit by bit, apart from the tool's own.
quint16 ReferenceCrc(const QByteArray& bytes) {
    quint16 crc = 0;
    for (char c : bytes) {
        crc ^= static_cast<quint16>(static_cast<uint8_t>(c) << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? static_cast<quint16>((crc << 1) ^ 0x1021)
                                 : static_cast<quint16>(crc << 1);
    }
    return crc;
}

} // namespace

class TstIoBinaryWithBoard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void ioTestPollsAndDrivesOutputs();
    void reportAfterStopIsOnlyLogged();
    void writeAndVerify();
    void writeRepeatsLinesTheBoardDropped();
    void boardNakStopsTheWrite();
    void muteBoardGetsTheLineEvery2s();
    void ioPollStaysBehindWhenRWBinaryIsShown();
    void repeatLeftBehindDoesNotStopCapture();

private:
    void UseBoard(const QStringList& options);
    void LoadImage(const QByteArray& content);
    bool WaitForMessage(const QString& text, int ms);
    int Count(TMemo* memo, const QString& line) const { return memo->Lines().count(line); }

    QTemporaryDir dir;
    std::unique_ptr<TSimulator> board;
    std::unique_ptr<TForm1> form;
    QList<TMessage> shown;
};

void TstIoBinaryWithBoard::initTestCase() {
    Messages::SetHandler([this](const TMessage& m) {
        shown.append(m);
        return QMessageBox::Ok;
    });
    form = std::make_unique<TForm1>();
    form->show();
}

void TstIoBinaryWithBoard::cleanupTestCase() {
    form.reset();
    board.reset();
    Messages::SetHandler({});
}

void TstIoBinaryWithBoard::init() {
    shown.clear();
}

void TstIoBinaryWithBoard::UseBoard(const QStringList& options) {
    form->Button3Click();
    board = std::make_unique<TSimulator>();
    QString error;
    QVERIFY2(
        board->Start(QStringLiteral(KRV2SIM_PATH), QStringList{"--seed", "11"} + options, error),
        qPrintable(error));
    PortNames::SetOverride(QStringLiteral("COM1"), board->DevicePath());
    form->ComboBox1->setEditText(QStringLiteral("COM1"));
    form->Button2Click();
    QVERIFY(form->PortOpened);
    form->PageControl1->setCurrentIndex(4);
}

void TstIoBinaryWithBoard::LoadImage(const QByteArray& content) {
    const QString path = dir.filePath(QStringLiteral("image%1.bin").arg(content.size()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    form->TabSheet5->ChooseFile = [path](bool) { return path; };
    form->TabSheet5->Button17Click();
    QVERIFY(form->TabSheet5->Image.BinaryLoaded);
}

bool TstIoBinaryWithBoard::WaitForMessage(const QString& text, int ms) {
    return QTest::qWaitFor(
        [&] {
            return std::any_of(shown.begin(), shown.end(),
                               [&](const TMessage& m) { return m.text == text; });
        },
        ms);
}

void TstIoBinaryWithBoard::ioTestPollsAndDrivesOutputs() {
    UseBoard({});
    form->PageControl1->setCurrentIndex(2);
    TIoTestPage* page = form->TabSheet3;
    QCOMPARE(page->BitBtn5->text(), QStringLiteral("Sol1 Control\nOFF "));
    page->BitBtn9Click();
    QCOMPARE(form->Timer1.interval(), 2000);
    QVERIFY(form->Timer1.isActive());
    QVERIFY(QTest::qWaitFor([&] { return page->Memo4->Lines().size() >= 2; }, 5000));
    QCOMPARE(page->Memo4->Lines().last(), QStringLiteral("TX: 90 04 50 E4 "));
    QVERIFY(page->Memo4->FirstLine().startsWith(QStringLiteral("RX: 50 ")));
    QCOMPARE(page->Memo4->FirstLine().size(), 4 + 23 * 3);
    QCOMPARE(page->ValueLabels[10]->text(), QStringLiteral("10100101")); // DIP A5
    QCOMPARE(page->ValueLabels[11]->text(), QStringLiteral("DISABLE"));
    bool number = false;
    page->ValueLabels[0]->text().toInt(&number);
    QVERIFY(number);

    // Every output; the board takes them silently and the poll goes on.
    for (QPushButton* b : {page->BitBtn7, page->BitBtn8, page->BitBtn4, page->BitBtn5,
                           page->BitBtn6, page->BitBtn3, page->BitBtn2, page->BitBtn1})
        b->click();
    QCOMPARE(page->Memo4->FirstLine(), QStringLiteral("TX: 90 06 90 08 00 2E "));
    QVERIFY(QTest::qWaitFor(
        [&] { return page->Memo4->FirstLine().startsWith(QStringLiteral("RX: 50 ")); }, 5000));
    QCOMPARE(form->OperationMode(), Mode::SensorReport);
    page->BitBtn10Click();
    QVERIFY(!form->Timer1.isActive());
    QVERIFY(shown.isEmpty());
}

void TstIoBinaryWithBoard::reportAfterStopIsOnlyLogged() {
    form->PageControl1->setCurrentIndex(2);
    TIoTestPage* page = form->TabSheet3;
    page->BitBtn9Click();
    form->Timer1Timer();   // a poll goes out...
    page->BitBtn10Click(); // ...and Stop comes before its report
    const QStringList memo4 = page->Memo4->Lines();
    const int received = form->TabSheet5->Memo7->Lines().size();
    QVERIFY(
        QTest::qWaitFor([&] { return form->TabSheet5->Memo7->Lines().size() > received; }, 3000));
    QTest::qWait(200);
    QCOMPARE(page->Memo4->Lines(), memo4);
    QCOMPARE(form->OperationMode(), Mode::Idle);
}

void TstIoBinaryWithBoard::writeAndVerify() {
    UseBoard({});
    TBinaryPage* page = form->TabSheet5;
    QByteArray image(256, '\0');
    QRandomGenerator rng(256);
    for (char& c : image)
        c = static_cast<char>(rng.bounded(256));
    image[5] = static_cast<char>(0x90); // a frame start inside the data
    LoadImage(image);

    page->Button20Click();
    QVERIFY(
        QTest::qWaitFor([&] { return page->Memo5->FirstLine() == QStringLiteral("ACK"); }, 3000));
    QVERIFY(page->Button19->isEnabled());
    page->Button19Click();
    QVERIFY(QTest::qWaitFor([&] { return page->Image.Phase == TTransferPhase::Done; }, 5000));
    QCOMPARE(Count(page->Memo5, QStringLiteral("ACK")), 5);
    QCOMPARE(Count(page->Memo6, QStringLiteral("ACK")), 5);
    QVERIFY(!form->TimerWrite.isActive());
    QCOMPARE(page->ProgressLabel->text(), QStringLiteral("Write done: 4 lines"));

    page->Button18Click();
    QVERIFY(QTest::qWaitFor([&] { return Count(page->Memo5, QStringLiteral("ACK")) == 6; }, 3000));
    page->Button23Click();
    QVERIFY(WaitForMessage(QStringLiteral("Verify ok"), 3000));
    const quint16 crc = ReferenceCrc(image);
    QCOMPARE(page->Label78->text(), QStringLiteral("%1 %2")
                                        .arg(crc >> 8, 2, 16, QLatin1Char('0'))
                                        .arg(crc & 0xFF, 2, 16, QLatin1Char('0'))
                                        .toUpper());
    QCOMPARE(shown.size(), 1);
}

void TstIoBinaryWithBoard::writeRepeatsLinesTheBoardDropped() {
    // About a third of the requests never reach the board: the lines are sent again
    // every 2 s until it answers, and what it holds still verifies.
    UseBoard({"--drop-requests", "0.35"});
    TBinaryPage* page = form->TabSheet5;
    const QByteArray image(256, '\x5A');
    LoadImage(image);
    page->Button19Click();
    int repeats = 0;
    QVERIFY(QTest::qWaitFor(
        [&] {
            repeats = std::max(repeats, page->Image.Repeats);
            return page->Image.Phase == TTransferPhase::Done;
        },
        60000));
    QVERIFY2(repeats > 0, "no line was repeated");
    for (int attempt = 0; attempt < 8 && shown.isEmpty(); ++attempt) {
        page->Button23Click();
        (void)QTest::qWaitFor([&] { return !shown.isEmpty(); }, 1500);
    }
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.first().text, QStringLiteral("Verify ok"));
}

void TstIoBinaryWithBoard::boardNakStopsTheWrite() {
    UseBoard({"--nak"});
    TBinaryPage* page = form->TabSheet5;
    LoadImage(QByteArray(256, '\x11'));
    page->Button20Click();
    QVERIFY(
        QTest::qWaitFor([&] { return page->Memo5->FirstLine() == QStringLiteral("NAK"); }, 3000));
    page->Button19Click();
    QVERIFY(QTest::qWaitFor([&] { return page->Image.Phase == TTransferPhase::Refused; }, 3000));
    QVERIFY(!form->TimerWrite.isActive());
    QCOMPARE(page->Image.LineIndex, 0);
    QVERIFY(page->ProgressLabel->text().contains(QStringLiteral("refused")));
    const QStringList memo5 = page->Memo5->Lines();
    QTest::qWait(2500); // no repeat follows a NAK
    QCOMPARE(page->Memo5->Lines(), memo5);
    QVERIFY(shown.isEmpty());
}

void TstIoBinaryWithBoard::muteBoardGetsTheLineEvery2s() {
    UseBoard({"--drop-requests", "1"});
    TBinaryPage* page = form->TabSheet5;
    LoadImage(QByteArray(256, '\x22'));
    page->Button19Click();
    const QString first = page->Memo5->FirstLine();
    QVERIFY(first.startsWith(QStringLiteral("TX: 90 47 8C 00 00 22 ")));
    QCOMPARE(form->TimerWrite.interval(), 2000);
    QCOMPARE(form->TimerRead.interval(), 2000);
    QVERIFY(QTest::qWaitFor([&] { return Count(page->Memo5, first) == 2; }, 5000));
    QCOMPARE(page->Image.Phase, TTransferPhase::Repeating);
    QVERIFY(page->ProgressLabel->text().contains(QStringLiteral("no answer")));
    page->Button18Click();
    QVERIFY(!form->TimerWrite.isActive());
    QVERIFY(page->ProgressLabel->text().startsWith(QStringLiteral("Finished at line 1 of 4")));
}

void TstIoBinaryWithBoard::ioPollStaysBehindWhenRWBinaryIsShown() {
    UseBoard({});
    form->PageControl1->setCurrentIndex(2);
    form->TabSheet3->BitBtn9Click(); // Test Mode
    QVERIFY(form->Timer1.isActive());
    form->PageControl1->setCurrentIndex(4);
    QVERIFY(!form->Timer1.isActive());
    // A poll tick would have set mode 5 by now and sent the sensor request.
    const QStringList polls = form->TabSheet3->Memo4->Lines();
    QTest::qWait(2200);
    QCOMPARE(form->TabSheet3->Memo4->Lines(), polls);

    TBinaryPage* page = form->TabSheet5;
    LoadImage(QByteArray(256, '\x3C'));
    page->Button19Click();
    QVERIFY(QTest::qWaitFor([&] { return page->Image.Phase == TTransferPhase::Done; }, 3000));
    QCOMPARE(page->Image.Repeats, 0);
    form->PageControl1->setCurrentIndex(2);
    QVERIFY(form->TabSheet3->BitBtn9->isEnabled()); // stopped, ready to start again
}

void TstIoBinaryWithBoard::repeatLeftBehindDoesNotStopCapture() {
    UseBoard({"--drop-requests", "1"});
    TBinaryPage* page = form->TabSheet5;
    LoadImage(QByteArray(256, '\x44'));
    page->Button19Click();
    QVERIFY(form->TimerWrite.isActive());
    form->PageControl1->setCurrentIndex(3); // Get_Wave
    QVERIFY(!form->TimerWrite.isActive());
    QVERIFY(!page->Button19->isEnabled());
    QVERIFY(page->ProgressLabel->text().startsWith(QStringLiteral("Finished at line 1 of 4")));
    QTest::qWait(2200);
    QCOMPARE(form->OperationMode(), Mode::Wave);

    // A board that sends coins: capture files them.
    UseBoard({"--coin-interval", "100-200"});
    form->PageControl1->setCurrentIndex(3);
    form->TabSheet4->MethodItems[0]->click(); // "All"
    QVERIFY(QTest::qWaitFor([&] { return form->WaveStore->RecordCount >= 1; }, 15000));
    QCOMPARE(form->OperationMode(), Mode::Wave);
}

QTEST_MAIN(TstIoBinaryWithBoard)
#include "tst_io_binary_with_board.moc"
