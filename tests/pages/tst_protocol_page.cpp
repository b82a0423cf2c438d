#include "ByteLiterals.h"
#include "FakeHost.h"
#include "Memo.h"
#include "Modes.h"
#include "ProtocolTestPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

using TClick = void (TProtocolTestPage::*)();
Q_DECLARE_METATYPE(TClick)

class TstProtocolPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void buttonsSendTheirFrames_data();
    void buttonsSendTheirFrames();
    void startWritesTwoRawBytes();
    void replyLightsItsLabelOnly_data();
    void replyLightsItsLabelOnly();
    void countingSequence();
    void clearKeepsPercentUntilAPass();
    void coinsAfterDisableAreOnlyLogged();
    void splitReplyLightsOnTheSecondDelivery();
    void versionShownInTheTitle();
    void idLabelEmptiedThenFilled();
    void shortAnswerToVersionEndsTheCollection();
    void dipBitsInGreen();
    void everyReplyOfADeliveryIsRead_data();
    void everyReplyOfADeliveryIsRead();
    void dipDataMayHoldTheFrameByte_data();
    void dipDataMayHoldTheFrameByte();
    void cutReplyDoesNotSwallowTheNext_data();
    void cutReplyDoesNotSwallowTheNext();
    void bytesAfterAnEndingReplyAreNotCollected();
    void everyVisitStartsWithFreshLabels();

private:
    void Deliver(const char* hex) { page->ReadDelivery(host->mode, AsSpan(Raw(hex))); }
    QStringList LitLabels() const;

    std::unique_ptr<TFakeHost> host;
    std::unique_ptr<TProtocolTestPage> page;
};

void TstProtocolPage::init() {
    host = std::make_unique<TFakeHost>();
    page = std::make_unique<TProtocolTestPage>(*host);
}

void TstProtocolPage::cleanup() {
    page.reset();
    host.reset();
}

QStringList TstProtocolPage::LitLabels() const {
    QStringList lit;
    for (int l = 0; l < mlCount; ++l) {
        const QColor c = page->LabelColour(static_cast<TMonitorLabel>(l));
        if (c != TProtocolTestPage::OffColour())
            lit << page->MonitorLabel(static_cast<TMonitorLabel>(l))->text() + QLatin1Char('=') +
                       c.name();
    }
    return lit;
}

void TstProtocolPage::buttonsSendTheirFrames_data() {
    QTest::addColumn<TClick>("click");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("counting"); // -1 unchanged
    QTest::newRow("disable") << &TProtocolTestPage::SB_disClick << 4 << Raw("90 05 02 03 9A") << 0;
    QTest::newRow("enable") << &TProtocolTestPage::SB_enClick << 4 << Raw("90 05 01 03 99") << 1;
    QTest::newRow("status") << &TProtocolTestPage::SB_statusClick << 4 << Raw("90 05 11 03 A9")
                            << -1;
    QTest::newRow("version") << &TProtocolTestPage::SB_VerClick << 3 << Raw("90 05 03 03 9B") << -1;
    QTest::newRow("reset") << &TProtocolTestPage::SB_resetClick << 4 << Raw("90 05 05 03 9D") << -1;
    QTest::newRow("get ID") << &TProtocolTestPage::SpeedButton1Click << 7 << Raw("90 05 23 03 BB")
                            << -1;
    QTest::newRow("get DIPSW") << &TProtocolTestPage::SpeedButton2Click << 8
                               << Raw("90 05 24 03 BC") << -1;
}

void TstProtocolPage::buttonsSendTheirFrames() {
    QFETCH(TClick, click);
    QFETCH(int, mode);
    QFETCH(QByteArray, frame);
    QFETCH(int, counting);
    page->CoinCountEnabled = counting == 0; // so that a change shows
    const bool before = page->CoinCountEnabled;
    (page.get()->*click)();
    QCOMPARE(host->wire, frame);
    QCOMPARE(host->modeAtWrite.first(), mode); // set before the frame goes out
    QCOMPARE(host->logTargets, QList<int>{2});
    QCOMPARE(page->CoinCountEnabled, counting == -1 ? before : counting == 1);
}

void TstProtocolPage::startWritesTwoRawBytes() {
    page->Button11Click();
    QCOMPARE(host->wire, Raw("55 A4"));
    QCOMPARE(host->mode, Mode::Monitor);
    QVERIFY(page->CoinCountEnabled);
    QVERIFY(host->logTargets.isEmpty());
}

void TstProtocolPage::replyLightsItsLabelOnly_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("lit");
    const QString lime = QColor(0, 255, 0).name();
    const QString yellow = QColor(255, 255, 0).name();
    QTest::newRow("idling") << Raw("90 05 11 03 A9") << QStringList{"IDLING=" + lime};
    QTest::newRow("ack") << Raw("90 05 50 03 E8") << QStringList{"ACK=" + yellow};
    QTest::newRow("nak") << Raw("90 05 4B 03 E3") << QStringList{"NAK=" + yellow};
    QTest::newRow("disable") << Raw("90 05 14 03 AC") << QStringList{"DISABLE=" + lime};
    QTest::newRow("sensor 7") << Raw("90 06 16 07 03 B6") << QStringList{"SEN 6 ERROR=" + lime};
    QTest::newRow("wrong sum") << Raw("90 05 11 03 A8") << QStringList{};
}

void TstProtocolPage::replyLightsItsLabelOnly() {
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, lit);
    host->mode = Mode::Monitor;
    page->ReadDelivery(host->mode, AsSpan(reply));
    QCOMPARE(LitLabels(), lit);
    // Logged whether or not the sum matched.
    QCOMPARE(page->Memo3->FirstLine(), HexLine(QStringLiteral("RX: "), AsSpan(reply)));
    QCOMPARE(host->mode, Mode::Monitor);
}

void TstProtocolPage::countingSequence() {
    host->mode = Mode::Monitor;
    page->CoinCountEnabled = true;
    Deliver("90 06 12 03 03 AE");
    QCOMPARE(LitLabels(), (QStringList{"ACCEPTING=#00ff00", "COIN 3=#00ffff"}));
    QCOMPARE(page->Label45->text(), QStringLiteral("1"));
    QCOMPARE(page->Label61->text(), QStringLiteral("100 %"));
    Deliver("90 06 12 88 03 33");
    QVERIFY(LitLabels().isEmpty());
    QCOMPARE(page->Label60->text(), QStringLiteral("1"));
    QCOMPARE(page->Label61->text(), QStringLiteral("50 %"));
    Deliver("90 06 12 05 03 B0");
    QCOMPARE(page->Label45->text(), QStringLiteral("2"));
    QCOMPARE(page->Label61->text(), QStringLiteral("66 %"));
    QCOMPARE(page->Memo3->Lines().size(), 3);
}

void TstProtocolPage::clearKeepsPercentUntilAPass() {
    host->mode = Mode::Monitor;
    page->CoinCountEnabled = true;
    Deliver("90 06 12 03 03 AE");
    page->Button13Click();
    QCOMPARE(page->Label45->text(), QStringLiteral("0"));
    QCOMPARE(page->Label61->text(), QStringLiteral("0"));
    Deliver("90 06 12 88 03 33");
    QCOMPARE(page->Label60->text(), QStringLiteral("1"));
    QCOMPARE(page->Label61->text(), QStringLiteral("0"));
}

void TstProtocolPage::coinsAfterDisableAreOnlyLogged() {
    page->SB_enClick();
    page->SB_disClick();
    Deliver("90 06 12 03 03 AE");
    QVERIFY(LitLabels().isEmpty());
    QCOMPARE(page->Label45->text(), QStringLiteral("0"));
    QCOMPARE(page->Memo3->FirstLine(), QStringLiteral("RX: 90 06 12 03 03 AE "));
}

void TstProtocolPage::splitReplyLightsOnTheSecondDelivery() {
    host->mode = Mode::Monitor;
    Deliver("90 05 50 03 E8");
    Deliver("90 05 11");
    QVERIFY(LitLabels().isEmpty()); // every delivery turns the monitor off first
    Deliver("03 A9");
    QCOMPARE(LitLabels(), QStringList{"IDLING=#00ff00"});
}

void TstProtocolPage::versionShownInTheTitle() {
    page->SB_VerClick();
    Deliver("90 0F 03 4B 52 56 32 20");
    QVERIFY(host->shownVersion.isEmpty());
    Deliver("56 31 2E 31 30 03 00");
    QCOMPARE(host->shownVersion, QStringLiteral("KRV2 V1.10"));
    QCOMPARE(host->mode, Mode::Idle);
    QCOMPARE(page->Memo3->FirstLine(),
             QStringLiteral("RX: 90 0F 03 4B 52 56 32 20 56 31 2E 31 30 03 00 "));
}

void TstProtocolPage::idLabelEmptiedThenFilled() {
    page->Label81->setText(QStringLiteral("old"));
    page->SpeedButton1Click();
    QVERIFY(page->Label81->text().isEmpty());
    Deliver("90 0F 23 4B 32 53 49 4D 30 30 30 30 31 03 FF"); // wrong sum
    QVERIFY(page->Label81->text().isEmpty());
    QCOMPARE(host->mode, Mode::Idle);
    page->SpeedButton1Click();
    // 90+0F+23+"K2SIM00001"+03 = 0x31C
    Deliver("90 0F 23 4B 32 53 49 4D 30 30 30 30 31 03 1C");
    QCOMPARE(page->Label81->text(), QStringLiteral("K2SIM00001"));
}

void TstProtocolPage::shortAnswerToVersionEndsTheCollection() {
    page->SB_VerClick();
    Deliver("90 05 4B 03 E3");
    QCOMPARE(host->mode, Mode::Idle);
    QVERIFY(host->shownVersion.isEmpty());
    QCOMPARE(page->Memo3->FirstLine(), QStringLiteral("RX: 90 05 4B 03 E3 "));
    QCOMPARE(host->reply.ReplyCount, 0);
}

void TstProtocolPage::dipBitsInGreen() {
    page->SpeedButton2Click();
    QCOMPARE(page->Edit4->palette().color(QPalette::Text), QColor(0, 128, 0));
    Deliver("90 06 24 A5");
    QCOMPARE(page->Edit4->text(), QStringLiteral("00000000"));
    Deliver("03 62");
    QCOMPARE(page->Edit4->text(), QStringLiteral("10100101"));
    QCOMPARE(host->mode, Mode::Idle);
    QCOMPARE(page->Memo3->FirstLine(), QStringLiteral("RX: 90 06 24 A5 03 62 "));
}

void TstProtocolPage::everyReplyOfADeliveryIsRead_data() {
    QTest::addColumn<QByteArray>("delivery");
    QTest::addColumn<QStringList>("lit");
    QTest::addColumn<int>("passed");
    QTest::addColumn<QStringList>("memo");
    QTest::newRow("coin then sensor error")
        << Raw("90 06 12 03 03 AE 90 06 16 02 03 B1")
        << QStringList{"ACCEPTING=#00ff00", "SEN 2 ERROR=#00ff00", "COIN 3=#00ffff"} << 1
        << QStringList{"RX: 90 06 16 02 03 B1 ", "RX: 90 06 12 03 03 AE "};
    QTest::newRow("two coins") << Raw("90 06 12 03 03 AE 90 06 12 05 03 B0")
                               << QStringList{"ACCEPTING=#00ff00", "COIN 3=#00ffff",
                                              "COIN 5=#00ffff"}
                               << 2
                               << QStringList{"RX: 90 06 12 05 03 B0 ", "RX: 90 06 12 03 03 AE "};
    QTest::newRow("ack, coin, half a status")
        << Raw("90 05 50 03 E8 90 06 12 03 03 AE 90 05")
        << QStringList{"ACCEPTING=#00ff00", "COIN 3=#00ffff", "ACK=#ffff00"} << 1
        << QStringList{"RX: 90 06 12 03 03 AE ", "RX: 90 05 50 03 E8 "};
}

void TstProtocolPage::everyReplyOfADeliveryIsRead() {
    QFETCH(QByteArray, delivery);
    QFETCH(QStringList, lit);
    QFETCH(int, passed);
    QFETCH(QStringList, memo);
    host->mode = Mode::Monitor;
    page->CoinCountEnabled = true;
    page->ReadDelivery(host->mode, AsSpan(delivery));
    QCOMPARE(LitLabels(), lit);
    QCOMPARE(page->PassCount, passed);
    QCOMPARE(page->Label45->text(), QString::number(passed));
    QCOMPARE(page->Memo3->Lines(), memo);
    QCOMPARE(host->mode, Mode::Monitor);
}

void TstProtocolPage::dipDataMayHoldTheFrameByte_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("bits");
    QTest::newRow("switch byte 0x90") << Raw("90 06 24 90 03 4D") << "10010000";
    QTest::newRow("sum 0x90") << Raw("90 06 24 D3 03 90") << "11010011";
}

void TstProtocolPage::dipDataMayHoldTheFrameByte() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, bits);
    page->SpeedButton2Click();
    page->ReadDelivery(host->mode, AsSpan(reply));
    QCOMPARE(page->Edit4->text(), bits);
    QCOMPARE(host->mode, Mode::Idle);
    // The next request is read as usual: nothing of the first reply is left over.
    page->SpeedButton2Click();
    Deliver("90 06 24 A5 03 62");
    QCOMPARE(page->Edit4->text(), QStringLiteral("10100101"));
    QCOMPARE(host->mode, Mode::Idle);
}

void TstProtocolPage::cutReplyDoesNotSwallowTheNext_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("cut");
    QTest::addColumn<QByteArray>("good");
    QTest::addColumn<QStringList>("lit");
    QTest::newRow("event without its sum")
        << Mode::Monitor << Raw("90 06 12 03 03") << Raw("90 06 12 05 03 B0")
        << QStringList{"ACCEPTING=#00ff00", "COIN 5=#00ffff"};
    QTest::newRow("DIP reply without its sum")
        << Mode::DipSwitch << Raw("90 06 24 A5 03") << Raw("90 06 24 A5 03 62") << QStringList{};
}

void TstProtocolPage::cutReplyDoesNotSwallowTheNext() {
    QFETCH(int, mode);
    QFETCH(QByteArray, cut);
    QFETCH(QByteArray, good);
    QFETCH(QStringList, lit);
    page->CoinCountEnabled = true;
    host->mode = mode;
    page->ReadDelivery(host->mode, AsSpan(cut));
    page->ReadDelivery(host->mode, AsSpan(good));
    QCOMPARE(LitLabels(), lit);
    QCOMPARE(page->Memo3->FirstLine(), HexLine(QStringLiteral("RX: "), AsSpan(good)));
    if (mode == Mode::DipSwitch) {
        QCOMPARE(page->Edit4->text(), QStringLiteral("10100101"));
        QCOMPARE(host->mode, Mode::Idle);
    }
}

void TstProtocolPage::bytesAfterAnEndingReplyAreNotCollected() {
    // The ID reply ends the mode; what follows in the same delivery is only logged.
    page->SpeedButton1Click();
    Deliver("90 0F 23 4B 32 53 49 4D 30 30 30 30 31 03 1C 90 05");
    QCOMPARE(page->Label81->text(), QStringLiteral("K2SIM00001"));
    QCOMPARE(host->mode, Mode::Idle);
    QCOMPARE(host->reply.ReplyCount, 0);
    QVERIFY(!host->reply.ReplyStarted);
}

void TstProtocolPage::everyVisitStartsWithFreshLabels() {
    host->mode = Mode::Monitor;
    page->CoinCountEnabled = true;
    Deliver("90 06 12 03 03 AE");
    QLabel* oldCoin = page->CoinLabels[2];
    QCOMPARE(page->LabelColour(static_cast<TMonitorLabel>(mlCoin1 + 2)), QColor(0, 255, 255));
    page->CreateStatusLabels();
    QVERIFY(page->CoinLabels[2] != oldCoin);
    QCOMPARE(page->CoinLabels[2]->text(), QStringLiteral("COIN 3"));
    QCOMPARE(page->CoinLabels[2]->pos(), QPoint(350, 112));
    QCOMPARE(page->SensorErrorLabels[5]->text(), QStringLiteral("SEN 6 ERROR"));
    QCOMPARE(page->LabelColour(static_cast<TMonitorLabel>(mlCoin1 + 2)),
             TProtocolTestPage::OffColour());
}

QTEST_MAIN(TstProtocolPage)
#include "tst_protocol_page.moc"
