// The counting test against a board that reports coins and sensor errors back to back,
// paced at 9600 baud: events share a read all the time, and every coin must count.
#include "BinaryPage.h"
#include "Form1.h"
#include "Memo.h"
#include "Messages.h"
#include "PortNames.h"
#include "ProtocolTestPage.h"
#include "SimulatorLauncher.h"

#include <QLabel>
#include <QTabWidget>
#include <QTest>

namespace {

// The received bytes in arrival order, from the R/W Binary page's log of every read.
QByteArray Received(const TMemo& memo) {
    QByteArray all;
    const QStringList lines = memo.Lines();
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->startsWith(QLatin1String("RX: ")))
            all += QByteArray::fromHex(line->mid(4).remove(QLatin1Char(' ')).toLatin1());
    }
    return all;
}

} // namespace

class TstCoinCount : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyCoinEventCounts();
};

void TstCoinCount::everyCoinEventCounts() {
    TSimulator simulator;
    QString error;
    QVERIFY2(simulator.Start(QStringLiteral(KRV2SIM_PATH),
                             {QStringLiteral("--seed"), QStringLiteral("5"),
                              QStringLiteral("--coin-interval"), QStringLiteral("150-250"),
                              QStringLiteral("--sensor-errors"), QStringLiteral("0.5")},
                             error),
             qPrintable(error));
    PortNames::SetOverride(QStringLiteral("COM1"), simulator.DevicePath());
    QStringList shown;
    Messages::SetHandler([&](const TMessage& m) {
        shown.append(m.text);
        return QMessageBox::Ok;
    });
    TForm1 form;
    form.show();
    form.Button2Click();
    QVERIFY(form.PortOpened);
    form.PageControl1->setCurrentIndex(1);
    TProtocolTestPage* page = form.TabSheet2;
    page->Button11Click();
    QVERIFY(QTest::qWaitFor([&] { return page->PassCount + page->NoPassCount >= 40; }, 30000));

    // Counted between two reads: the log and the counters have seen the same bytes.
    const QByteArray bytes = Received(*form.TabSheet5->Memo7);
    int coins = 0;
    int passed = 0;
    int sensorErrors = 0;
    for (qsizetype at = 0; at + 6 <= bytes.size(); ++at) {
        const auto frame = QByteArrayView(bytes).sliced(at, 6);
        if (uint8_t(frame[0]) != 0x90 || frame[1] != 6 || frame[4] != 3)
            continue;
        uint8_t sum = 0;
        for (int i = 0; i < 5; ++i)
            sum = uint8_t(sum + uint8_t(frame[i]));
        if (sum != uint8_t(frame[5]))
            continue;
        if (frame[2] == 0x12) {
            ++coins;
            passed += uint8_t(frame[3]) != 0x88;
        } else if (frame[2] == 0x16) {
            ++sensorErrors;
        }
    }
    QVERIFY(sensorErrors > 0); // so some coins did share a read with an error event
    QCOMPARE(page->PassCount + page->NoPassCount, coins);
    QCOMPARE(page->PassCount, passed);
    QCOMPARE(page->Label45->text(), QString::number(passed));

    form.Button3Click();
    simulator.Stop();
    Messages::SetHandler({});
    QVERIFY2(shown.isEmpty(), qPrintable(shown.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TstCoinCount)
#include "tst_coin_count.moc"
