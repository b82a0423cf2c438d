// The tool against the simulated board over a pseudo-terminal, paced at 9600 baud as
// a real board would answer: what a technician does on the first two pages.
#include "ByteLiterals.h"
#include "Form1.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"
#include "ParameterPage.h"
#include "PortNames.h"
#include "ProtocolTestPage.h"
#include "SimulatorLauncher.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "DigitEdit.h"

class TstWithBoard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void readEditSaveReadAgain();
    void protocolTestAnswers();
    void countingTestWithCoinsFromTheBoard();

private:
    TSimulator simulator;
    std::unique_ptr<TForm1> form;
    QList<TMessage> shown;
};

void TstWithBoard::initTestCase() {
    QString error;
    QVERIFY2(simulator.Start(QStringLiteral(KRV2SIM_PATH),
                             {QStringLiteral("--seed"), QStringLiteral("7"),
                              QStringLiteral("--coin-interval"), QStringLiteral("150-300")},
                             error),
             qPrintable(error));
    PortNames::SetOverride(QStringLiteral("COM1"), simulator.DevicePath());
    Messages::SetHandler([this](const TMessage& m) {
        shown.append(m);
        return QMessageBox::Ok;
    });
    form = std::make_unique<TForm1>();
    form->show();
    form->Button2Click();
    QVERIFY(form->PortOpened);
}

void TstWithBoard::cleanupTestCase() {
    form.reset();
    simulator.Stop();
    Messages::SetHandler({});
    QVERIFY2(shown.isEmpty(), shown.isEmpty() ? "" : qPrintable(shown.first().text));
}

void TstWithBoard::readEditSaveReadAgain() {
    TParameterPage* page = form->TabSheet1;
    page->Button7Click();
    QVERIFY(QTest::qWaitFor([&] { return form->OperationMode() == Mode::Idle; }, 3000));
    QCOMPARE(page->Label8->text(), QStringLiteral("55"));
    QCOMPARE(page->Memo1->Lines().size(), 3); // TX on top, RX and an empty line below
    QCOMPARE(page->Memo1->Lines()[0], QStringLiteral("TX: 90 05 80 55 6A "));

    page->ValueEdits[1]->setText(QStringLiteral("123"));
    page->DisableBoxes[1]->setCurrentText(QStringLiteral("Yes"));
    page->SorterBoxes[1]->setCurrentText(QStringLiteral("C"));
    page->DipBoxes[1]->setCurrentText(QStringLiteral("4"));
    page->ValueEdits[8]->setText(QStringLiteral("77"));
    page->Button6Click();
    QVERIFY(QTest::qWaitFor([&] { return form->OperationMode() == Mode::Idle; }, 3000));
    QVERIFY(page->Memo1->Lines().contains(QStringLiteral("RX: 90 05 50 03 E8 ")));

    // Show something else, then let the board's table put the saved values back.
    page->ValueEdits[1]->setText(QStringLiteral("0"));
    page->DisableBoxes[1]->setCurrentText(QStringLiteral("No"));
    page->SorterBoxes[1]->setCurrentText(QStringLiteral("A"));
    page->DipBoxes[1]->setCurrentText(QStringLiteral("0"));
    page->ValueEdits[8]->setText(QStringLiteral("0"));
    page->Button7Click();
    QVERIFY(QTest::qWaitFor([&] { return form->OperationMode() == Mode::Idle; }, 3000));
    QCOMPARE(page->ValueEdits[1]->text(), QStringLiteral("123"));
    QCOMPARE(page->DisableBoxes[1]->currentText(), QStringLiteral("Yes"));
    QCOMPARE(page->SorterBoxes[1]->currentText(), QStringLiteral("C"));
    QCOMPARE(page->DipBoxes[1]->currentText(), QStringLiteral("4"));
    QCOMPARE(page->ValueEdits[8]->text(), QStringLiteral("77"));
}

void TstWithBoard::protocolTestAnswers() {
    form->PageControl1->setCurrentIndex(1);
    TProtocolTestPage* page = form->TabSheet2;
    QVERIFY(form->PortOpened);

    page->SB_VerClick();
    QVERIFY(QTest::qWaitFor([&] { return form->OperationMode() == Mode::Idle; }, 3000));
    const QString prefix = form->TitleText + QStringLiteral(" - ");
    QVERIFY2(form->windowTitle().startsWith(prefix), qPrintable(form->windowTitle()));
    QVERIFY(form->windowTitle().endsWith(QStringLiteral(" - 9600,N,8,1")));
    QCOMPARE(form->windowTitle().size(), prefix.size() + 10 + 1 + form->PortStatusText.size());

    page->SpeedButton1Click();
    QVERIFY(QTest::qWaitFor([&] { return form->OperationMode() == Mode::Idle; }, 3000));
    QCOMPARE(page->Label81->text().size(), 10);

    page->SpeedButton2Click();
    QVERIFY(QTest::qWaitFor([&] { return form->OperationMode() == Mode::Idle; }, 3000));
    QCOMPARE(page->Edit4->text(), QStringLiteral("10100101"));

    page->SB_disClick();
    QVERIFY(QTest::qWaitFor([&] { return page->LabelColour(mlAck) == TProtocolTestPage::Yellow; },
                            3000));
    page->SB_statusClick();
    QVERIFY(QTest::qWaitFor([&] { return page->LabelColour(mlDisable) == TProtocolTestPage::Lime; },
                            3000));
    QCOMPARE(page->Memo3->FirstLine(), QStringLiteral("RX: 90 05 14 03 AC "));
    QCOMPARE(page->Memo2->FirstLine(), QStringLiteral("TX: 90 05 11 03 A9 "));
}

void TstWithBoard::countingTestWithCoinsFromTheBoard() {
    form->PageControl1->setCurrentIndex(1);
    TProtocolTestPage* page = form->TabSheet2;
    page->Button13Click();
    page->Button11Click();
    QVERIFY(QTest::qWaitFor([&] { return page->PassCount + page->NoPassCount >= 4; }, 10000));
    page->SB_disClick();
    QTest::qWait(400);
    const int pass = page->PassCount;
    const int noPass = page->NoPassCount;
    QCOMPARE(page->Label45->text(), QString::number(pass));
    QCOMPARE(page->Label60->text(), QString::number(noPass));
    if (pass > 0)
        QCOMPARE(page->Label61->text(), QStringLiteral("%1 %").arg(pass * 100 / (pass + noPass)));
}

QTEST_MAIN(TstWithBoard)
#include "tst_with_board.moc"
