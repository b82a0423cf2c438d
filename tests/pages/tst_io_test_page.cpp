#include "ByteLiterals.h"
#include "FakeHost.h"
#include "IoTestPage.h"
#include "Memo.h"
#include "Modes.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using TClick = void (TIoTestPage::*)();
Q_DECLARE_METATYPE(TClick)

namespace {

// A report with every reading inside its limits, DIP 0xA5, inhibit 1:
// 830 800 28 55 40 42 25 180 1015 30.
const char* const GoodReport = "50 03 3E 03 20 00 1C 00 37 00 28 00 2A 00 19 00 B4 03 F7 00 1E"
                               " A5 01";

QByteArray WithReading(int index, int value) {
    QByteArray report = Raw(GoodReport);
    report[2 * index + 1] = static_cast<char>(value >> 8);
    report[2 * index + 2] = static_cast<char>(value & 0xFF);
    return report;
}

} // namespace

class TstIoTestPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void limitColours_data();
    void limitColours();
    void unjudgedItemsKeepTheirColour();
    void reportLoggedOnTop();
    void outputButtonsSendTheirFrames_data();
    void outputButtonsSendTheirFrames();
    void sol1ControlAlternates();
    void testModeAndStop();
    void showingThePageStops();
    void reportCompletedByTheNextOnesBytes();

private:
    void Deliver(const QByteArray& bytes) { page->ReadDelivery(host->mode, AsSpan(bytes)); }
    std::unique_ptr<TFakeHost> host;
    std::unique_ptr<QTimer> timer1;
    std::unique_ptr<TIoTestPage> page;
};

void TstIoTestPage::init() {
    host = std::make_unique<TFakeHost>();
    timer1 = std::make_unique<QTimer>();
    timer1->setInterval(2000);
    page = std::make_unique<TIoTestPage>(*host, *timer1);
    host->mode = Mode::SensorReport;
}

void TstIoTestPage::cleanup() {
    page.reset();
    timer1.reset();
    host.reset();
}

void TstIoTestPage::limitColours_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("red");
    QTest::newRow("Big Coil 730") << 0 << 730 << true;
    QTest::newRow("Big Coil 731") << 0 << 731 << false;
    QTest::newRow("SEN2 1000") << 8 << 1000 << true;
    QTest::newRow("SEN2 1001") << 8 << 1001 << false;
}

void TstIoTestPage::limitColours() {
    QFETCH(int, index);
    QFETCH(int, value);
    QFETCH(bool, red);
    // First the opposite colour, so that the report under test has to change it.
    Deliver(red ? Raw(GoodReport) : WithReading(index, index == 8 ? 0 : 5000));
    Deliver(WithReading(index, value));
    QCOMPARE(page->ValueLabels[static_cast<size_t>(index)]->text(), QString::number(value));
    QCOMPARE(page->ValueColour(index), red ? TIoTestPage::Outside : TIoTestPage::Within);
}

void TstIoTestPage::unjudgedItemsKeepTheirColour() {
    const QColor design = page->ValueColour(2);
    QCOMPARE(design, QApplication::palette().color(QPalette::WindowText));
    Deliver(WithReading(2, 9999));
    Deliver(WithReading(7, 9999));
    for (int item : {2, 3, 7, 10, 11})
        QCOMPARE(page->ValueColour(item), design);
    QCOMPARE(page->ValueLabels[7]->text(), QStringLiteral("9999"));
    QCOMPARE(page->ValueLabels[10]->text(), QStringLiteral("10100101"));
    QCOMPARE(page->ValueLabels[11]->text(), QStringLiteral("ENABLE"));
    QVERIFY(page->Label59->isHidden());
}

void TstIoTestPage::reportLoggedOnTop() {
    QCOMPARE(page->ValueLabels[0]->text(), QStringLiteral("XXXX"));
    QCOMPARE(page->ValueLabels[10]->text(), QStringLiteral("XXXXXXXX"));
    QCOMPARE(page->ValueLabels[11]->text(), QStringLiteral("X"));
    Deliver(Raw(GoodReport).left(9));
    QVERIFY(page->Memo4->Lines().isEmpty());
    Deliver(Raw(GoodReport).mid(9));
    QCOMPARE(page->Memo4->Lines(),
             QStringList{"RX: 50 03 3E 03 20 00 1C 00 37 00 28 00 2A 00 19 00 B4 03 F7 00 1E "
                         "A5 01 "});
    QCOMPARE(host->mode, Mode::SensorReport); // the poll goes on
}

void TstIoTestPage::outputButtonsSendTheirFrames_data() {
    QTest::addColumn<TClick>("click");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("Sol 1") << &TIoTestPage::BitBtn7Click << Raw("90 06 90 01 00 27");
    QTest::newRow("Sol 2") << &TIoTestPage::BitBtn8Click << Raw("90 06 90 02 00 28");
    QTest::newRow("Sol 3") << &TIoTestPage::BitBtn4Click << Raw("90 06 90 03 00 29");
    QTest::newRow("Credit/Meter") << &TIoTestPage::BitBtn6Click << Raw("90 06 90 05 00 2B");
    QTest::newRow("LED Green") << &TIoTestPage::BitBtn3Click << Raw("90 06 90 06 00 2C");
    QTest::newRow("LED Red") << &TIoTestPage::BitBtn2Click << Raw("90 06 90 07 00 2D");
    QTest::newRow("LED Orange") << &TIoTestPage::BitBtn1Click << Raw("90 06 90 08 00 2E");
}

void TstIoTestPage::outputButtonsSendTheirFrames() {
    QFETCH(TClick, click);
    QFETCH(QByteArray, frame);
    (page.get()->*click)();
    QCOMPARE(host->wire, frame);
    QCOMPARE(host->logTargets, QList<int>{4});
    QCOMPARE(host->mode, Mode::SensorReport);
}

void TstIoTestPage::sol1ControlAlternates() {
    page->BitBtn5Click();
    QCOMPARE(host->wire, Raw("90 06 90 07 00 2D"));
    QCOMPARE(page->BitBtn5->text(), QStringLiteral("Sol1 Control\nOFF"));
    host->wire.clear();
    page->BitBtn5Click();
    QCOMPARE(host->wire, Raw("90 06 90 07 01 2E"));
    QCOMPARE(page->BitBtn5->text(), QStringLiteral("Sol1 Control\nON"));
}

void TstIoTestPage::testModeAndStop() {
    const QList<QPushButton*> outputs{page->BitBtn7, page->BitBtn8, page->BitBtn4, page->BitBtn5,
                                      page->BitBtn6, page->BitBtn3, page->BitBtn2, page->BitBtn1};
    QVERIFY(page->BitBtn9->isEnabled());
    QVERIFY(!page->BitBtn10->isEnabled());
    page->BitBtn9Click();
    QVERIFY(timer1->isActive());
    QVERIFY(host->wire.isEmpty()); // the first poll waits one interval
    QVERIFY(!page->BitBtn9->isEnabled());
    QVERIFY(page->BitBtn10->isEnabled());
    for (QPushButton* b : outputs)
        QVERIFY(b->isEnabled());

    Deliver(Raw(GoodReport));
    page->BitBtn10Click();
    QVERIFY(!timer1->isActive());
    QCOMPARE(host->mode, Mode::Idle);
    QVERIFY(page->BitBtn9->isEnabled());
    for (QPushButton* b : outputs)
        QVERIFY(!b->isEnabled());
    // A report after Stop is not read: the last values stay.
    Deliver(WithReading(0, 100));
    QCOMPARE(page->ValueLabels[0]->text(), QStringLiteral("830"));
    QCOMPARE(page->Memo4->Lines().size(), 1);
}

void TstIoTestPage::showingThePageStops() {
    page->BitBtn9Click();
    page->BitBtn5Click(); // Sol1State now false
    page->ShowStopped();
    QCOMPARE(page->BitBtn5->text(), QStringLiteral("Sol1 Control\nOFF "));
    QVERIFY(page->BitBtn9->isEnabled());
    QVERIFY(!page->BitBtn5->isEnabled());
    QVERIFY(!page->Sol1State); // kept for the whole run
}

void TstIoTestPage::reportCompletedByTheNextOnesBytes() {
    // The first report lost its last eight bytes; the next report's first eight
    // bytes complete it, and the rest of that report (no 0x50 in it) is dropped.
    const QByteArray first = Raw("50 03 3E 03 20 00 1C 00 37 00 28 00 2A 00 19");
    const QByteArray second = Raw(GoodReport);
    Deliver(first);
    Deliver(second);
    QCOMPARE(page->Memo4->Lines(),
             QStringList{"RX: 50 03 3E 03 20 00 1C 00 37 00 28 00 2A 00 19 50 03 3E 03 20 00 "
                         "1C 00 "});
    QCOMPARE(page->ValueLabels[7]->text(), QString::number(0x5003));
    QCOMPARE(page->ValueLabels[8]->text(), QString::number(0x3E03));
    QCOMPARE(page->ValueLabels[10]->text(), QStringLiteral("00111000")); // 0x1C
    QCOMPARE(page->ValueLabels[11]->text(), QStringLiteral("DISABLE"));
    QCOMPARE(host->reply.ReplyStarted, false);
}

QTEST_MAIN(TstIoTestPage)
#include "tst_io_test_page.moc"
