#include "BinaryPage.h"
#include "ByteLiterals.h"
#include "Form1.h"
#include "IoTestPage.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"
#include "ParameterPage.h"
#include "PortNames.h"
#include "ProtocolTestPage.h"
#include "PtyPair.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

class TstForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void startUp();
    void portListTooltipsNameTheDevice();
    void titleAfterOpenPort_data();
    void titleAfterOpenPort();
    void missingPortThenRetry();
    void eachOpenMakesANewComponent();
    void pageChangesReleaseComponents();
    void componentReleasedFromItsOwnTick();
    void stalledPortEndsTheSaveWithOneMessage();
    void sendsNothingAfterEndPort();
    void payloadTooLongSendsNothing();
    void logTargets_data();
    void logTargets();
    void everyDeliveryLoggedInMemo7();
    void idleModeOnlyLogs();
    void replySplitOverDeliveriesCompletesOnce();
    void pageChangesSetModes_data();
    void pageChangesSetModes();
    void lostPortIsToldOnceAndCanBeReopened();
    void journalRecordsEveryReadAndWrite();
    void journalThatCannotBeWrittenStops();

private:
    bool OpenOn(TPtyPair& pty, int entry = -1);
    std::unique_ptr<TPtyPair> pty;
    std::unique_ptr<TForm1> form;
    QList<TMessage> shown;
};

void TstForm1::init() {
    PortNames::ClearOverrides();
    pty = std::make_unique<TPtyPair>();
    QVERIFY(pty->Ok());
    form = std::make_unique<TForm1>();
    shown.clear();
    Messages::SetHandler([this](const TMessage& m) {
        shown.append(m);
        return QMessageBox::Ok;
    });
}

void TstForm1::cleanup() {
    Messages::SetHandler({});
    form.reset();
    pty.reset();
    PortNames::ClearOverrides();
}

bool TstForm1::OpenOn(TPtyPair& p, int entry) {
    const int com = entry < 0 ? 1 : entry + 1;
    PortNames::SetOverride(QStringLiteral("COM%1").arg(com), p.SlavePath());
    form->ComboBox1->setCurrentIndex(entry);
    if (entry < 0)
        form->ComboBox1->setEditText(QStringLiteral("COM1"));
    form->Button2Click();
    return form->PortOpened;
}

void TstForm1::startUp() {
    QCOMPARE(form->windowTitle(), QStringLiteral("DEVe Ruvod v1.10c "));
    QCOMPARE(form->size(), QSize(1197, 854));
    const QStringList captions{"Parameter Setting", "Protocol Test", "I/O Test", "Get_Wave",
                               "R/W Binary"};
    QCOMPARE(form->PageControl1->count(), captions.size());
    for (int i = 0; i < captions.size(); ++i)
        QCOMPARE(form->PageControl1->tabText(i), captions[i]);
    QVERIFY(!form->PageControl1->isEnabled());
    QVERIFY(form->Button2->isEnabled());
    QVERIFY(!form->Button3->isEnabled());
    QCOMPARE(form->ComboBox1->currentText(), QStringLiteral("COM1"));
    QCOMPARE(form->SelectedPortIndex(), -1);
    QCOMPARE(form->ComboBox1->count(), 8);
    QCOMPARE(form->ComboBox1->itemText(7), QStringLiteral("COM8"));
    QCOMPARE(form->OperationMode(), Mode::ParameterTable);
    QVERIFY(form->Components().isEmpty());
    form->show();
    QVERIFY(!form->TabSheet5->GroupBox1->isVisible());
}

void TstForm1::portListTooltipsNameTheDevice() {
    PortNames::SetOverride(QStringLiteral("COM2"), pty->SlavePath());
    PortNames::SetOverride(QStringLiteral("COM8"), QString());
    form->ComboBox1->RefreshTooltips();
    QVERIFY(form->ComboBox1->itemData(1, Qt::ToolTipRole).toString().contains(pty->SlavePath()));
    QCOMPARE(form->ComboBox1->itemData(7, Qt::ToolTipRole).toString(),
             QStringLiteral("No serial port is present for COM8"));
}

void TstForm1::titleAfterOpenPort_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("title");
    QTest::newRow("no selection") << -1 << "DEVe Ruvod v1.10c - 9600,N,8,1";
    QTest::newRow("COM1") << 0 << "DEVe Ruvod v1.10c  COM1 : - 9600,N,8,1";
    QTest::newRow("COM3") << 2 << "DEVe Ruvod v1.10c  COM3 : - 9600,N,8,1";
    QTest::newRow("COM4") << 3 << "DEVe Ruvod v1.10c  COM4 : - 9600,N,8,1";
    QTest::newRow("COM6") << 5 << "DEVe Ruvod v1.10c - 9600,N,8,1";
}

void TstForm1::titleAfterOpenPort() {
    QFETCH(int, entry);
    QFETCH(QString, title);
    QVERIFY(OpenOn(*pty, entry));
    QCOMPARE(form->windowTitle(), title);
    QCOMPARE(form->Comm1->PortName(), QStringLiteral("COM%1").arg(entry < 0 ? 1 : entry + 1));
    QVERIFY(form->PageControl1->isEnabled());
    QVERIFY(!form->Button2->isEnabled());
    QVERIFY(form->Button3->isEnabled());
    form->Button3Click();
    QCOMPARE(form->windowTitle(), QStringLiteral("DEVe Ruvod v1.10c "));
    QVERIFY(!form->PageControl1->isEnabled());
    QVERIFY(form->Button2->isEnabled());
    QVERIFY(!form->Button3->isEnabled());
}

void TstForm1::missingPortThenRetry() {
    PortNames::SetOverride(QStringLiteral("COM1"), QStringLiteral("/dev/krv2-no-such-port"));
    form->Button2Click();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("Error opening serial port"));
    QCOMPARE(shown[0].caption, QString());
    QVERIFY(shown[0].detail.contains(QStringLiteral("COM1")));
    QVERIFY(!form->PortOpened);
    QVERIFY(form->OpenSucceeded); // set back so the next try starts clean
    QVERIFY(form->Button2->isEnabled());
    QVERIFY(!form->Button3->isEnabled());
    QVERIFY(!form->PageControl1->isEnabled());
    QCOMPARE(form->windowTitle(), QStringLiteral("DEVe Ruvod v1.10c "));

    QVERIFY(OpenOn(*pty));
    QCOMPARE(shown.size(), 1);
}

void TstForm1::eachOpenMakesANewComponent() {
    QVERIFY(OpenOn(*pty));
    const QPointer<TComm> first = form->Comm1;
    form->Button3Click();
    form->Button2Click();
    QVERIFY(form->Comm1 != first);
    QVERIFY(form->Comm1->PortOpen());
    // The replaced one is released once the event loop runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    QCOMPARE(form->Components(), QList<TComm*>{form->Comm1});
}

void TstForm1::pageChangesReleaseComponents() {
    QVERIFY(OpenOn(*pty));
    const QPointer<TComm> first = form->Comm1;
    for (int i = 0; i < 300; ++i) {
        form->PageControl1->setCurrentIndex(i % 2 == 0 ? 1 : 0);
        if (i % 10 == 0)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    QCOMPARE(form->Components(), QList<TComm*>{form->Comm1});
    QVERIFY(form->PortOpened);
    form->TabSheet2->SB_statusClick();
    QCOMPARE(pty->Read(1000, 5), Raw("90 05 11 03 A9"));
}

void TstForm1::componentReleasedFromItsOwnTick() {
    QVERIFY(OpenOn(*pty));
    const QPointer<TComm> old = form->Comm1;
    bool releasedInside = false;
    int handled = 0;
    // A page change made by the receive handler replaces the component whose tick is
    // running; the release is forced right there, while the tick is still on the stack.
    old->OnReceiveData = [&, this](QObject*) {
        form->PageControl1->setCurrentIndex(1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        releasedInside = old.isNull();
        ++handled; // the handler's own state outlives the component that called it
    };
    pty->Write(Raw("90 05 50 03 E8"));
    QVERIFY(QTest::qWaitFor([&] { return handled > 0; }, 2000));
    QVERIFY(releasedInside);
    QTest::qWait(50);
    QCOMPARE(handled, 1);
    QVERIFY(form->Comm1->PortOpen());
    pty->Write(Raw("90 05 50 03 E8"));
    QVERIFY(QTest::qWaitFor([&] { return !form->TabSheet5->Memo7->Lines().isEmpty(); }, 2000));
}

void TstForm1::stalledPortEndsTheSaveWithOneMessage() {
    // A second descriptor of the port's own end, taken before the tool locks it: what
    // it writes fills the queue towards a board that reads nothing.
    const int filler = ::open(pty->SlavePath().toLocal8Bit().constData(),
                              O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(filler >= 0);
    QVERIFY(OpenOn(*pty));
    // The kernel moves queued bytes on to the far end's buffer behind the writer's
    // back: fill until a round after a pause takes nothing more.
    const QByteArray block(4096, 'A');
    for (qsizetype round = 1; round > 0;) {
        round = 0;
        for (;;) {
            const ssize_t n = ::write(filler, block.constData(), static_cast<size_t>(block.size()));
            if (n <= 0)
                break;
            round += n;
        }
        QTest::qSleep(50);
    }
    ::close(filler);

    form->TabSheet1->Button6Click(); // Save: nine records, then the store request
    QVERIFY(shown.isEmpty());        // told once the Save has given up, not in its middle
    QVERIFY(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 3000));
    QTest::qWait(200); // time for any repeated report to show up
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("The serial port takes no data."));
    QVERIFY(shown[0].detail.contains(QStringLiteral("COM1")));
    QVERIFY(!form->PortOpened);
    QVERIFY(form->Button2->isEnabled());
    QVERIFY(form->TabSheet1->Memo1->Lines().filter(QStringLiteral("TX")).isEmpty());
    QVERIFY(form->OperationMode() != Mode::SaveAnswer);
    // Whatever reaches the board now is filler: no record and no store request.
    const QByteArray reached = pty->Read(300);
    QCOMPARE(reached.count('A'), reached.size());

    // The device takes data again: Open Port works as before.
    QVERIFY(OpenOn(*pty));
    form->TabSheet2->SB_statusClick();
    QCOMPARE(pty->Read(1000, 5), Raw("90 05 11 03 A9"));
}

void TstForm1::sendsNothingAfterEndPort() {
    QVERIFY(OpenOn(*pty));
    form->Timer1Timer();
    QCOMPARE(pty->Read(1000, 4), Raw("90 04 50 E4"));
    QCOMPARE(form->TabSheet3->Memo4->Lines(), QStringList{"TX: 90 04 50 E4 "});
    form->Button3Click();
    form->Timer1Timer();
    form->TabSheet2->SB_statusClick();
    QCOMPARE(pty->Read(200), QByteArray());
    QCOMPARE(form->TabSheet3->Memo4->Lines().size(), 1);
    QVERIFY(form->TabSheet2->Memo2->Lines().isEmpty());
    QVERIFY(!form->OutputChar('\x55')); // raw writes fail on the closed component too
}

void TstForm1::payloadTooLongSendsNothing() {
    QVERIFY(OpenOn(*pty));
    form->SendFrameEtx(251, 0x8C, TLogTarget::Binary); // the length byte would wrap past 255
    form->SendFrameNoEtx(252, 0x8C, TLogTarget::Binary);
    QCOMPARE(pty->Read(200), QByteArray());
    QVERIFY(form->TabSheet5->Memo5->Lines().isEmpty());
    form->SendFrameNoEtx(251, 0x8C, TLogTarget::Binary); // the largest that fits still goes out
    QCOMPARE(pty->Read(2000, 255).size(), 255);
}

void TstForm1::logTargets_data() {
    QTest::addColumn<int>("target");
    QTest::newRow("none") << 0;
    QTest::newRow("parameters") << 1;
    QTest::newRow("protocol sent") << 2;
    QTest::newRow("protocol received") << 3;
    QTest::newRow("I/O") << 4;
    QTest::newRow("binary") << 5;
    QTest::newRow("above 5") << 6;
}

void TstForm1::logTargets() {
    QFETCH(int, target);
    QVERIFY(OpenOn(*pty));
    form->FrameBuffer()[3] = 0x00;
    form->FrameBuffer()[4] = 0x40;
    form->FrameBuffer()[5] = 0x40;
    form->SendFrameEtx(3, 0x28, static_cast<TLogTarget>(target));
    form->SendFrameEtx(0, 0x03, static_cast<TLogTarget>(target));
    QCOMPARE(pty->Read(1000, 13), Raw("90 08 28 00 40 40 03 43 90 05 03 03 9B"));
    const QList<TMemo*> memos{form->TabSheet1->Memo1, form->TabSheet2->Memo2,
                              form->TabSheet2->Memo3, form->TabSheet3->Memo4,
                              form->TabSheet5->Memo5};
    for (int m = 0; m < memos.size(); ++m) {
        const QStringList expected =
            m + 1 == target ? QStringList{"TX: 90 05 03 03 9B ", "TX: 90 08 28 00 40 40 03 43 "}
                            : QStringList{};
        QCOMPARE(memos[m]->Lines(), expected);
    }
    const QStringList decimal =
        target == 5 ? QStringList{"TX: 144 5 3 3 155 ", "TX: 144 8 40 0 64 64 3 67 "}
                    : QStringList{};
    QCOMPARE(form->TabSheet5->Memo6->Lines(), decimal);
}

void TstForm1::everyDeliveryLoggedInMemo7() {
    QVERIFY(OpenOn(*pty));
    pty->Write(Raw("90 05 50"));
    QVERIFY(QTest::qWaitFor([&] { return form->TabSheet5->Memo7->Lines().size() == 1; }, 2000));
    QCOMPARE(form->TabSheet5->Memo7->FirstLine(), QStringLiteral("RX: 90 05 50 "));
    pty->Write(Raw("00 00 FF"));
    QVERIFY(QTest::qWaitFor([&] { return form->TabSheet5->Memo7->Lines().size() == 2; }, 2000));
    QCOMPARE(form->TabSheet5->Memo7->FirstLine(), QStringLiteral("RX: 00 00 FF "));
}

void TstForm1::idleModeOnlyLogs() {
    QVERIFY(OpenOn(*pty));
    form->SetOperationMode(Mode::Idle);
    pty->Write(Raw("55 00 01 02 90 05 11 03 A9"));
    QVERIFY(QTest::qWaitFor([&] { return !form->TabSheet5->Memo7->Lines().isEmpty(); }, 2000));
    QTest::qWait(50);
    QCOMPARE(form->ReplyAssembly().ReplyCount, 0);
    QVERIFY(!form->ReplyAssembly().ReplyStarted);
    QVERIFY(form->TabSheet1->Memo1->Lines().isEmpty());
    QVERIFY(form->TabSheet2->Memo3->Lines().isEmpty());
    QCOMPARE(form->OperationMode(), Mode::Idle);
}

void TstForm1::replySplitOverDeliveriesCompletesOnce() {
    QVERIFY(OpenOn(*pty));
    form->SetOperationMode(Mode::Monitor);
    pty->Write(Raw("90 05"));
    QVERIFY(QTest::qWaitFor([&] { return form->TabSheet5->Memo7->Lines().size() == 1; }, 2000));
    pty->Write(Raw("11 03"));
    QVERIFY(QTest::qWaitFor([&] { return form->TabSheet5->Memo7->Lines().size() == 2; }, 2000));
    QVERIFY(form->TabSheet2->Memo3->Lines().isEmpty());
    pty->Write(Raw("A9"));
    QVERIFY(QTest::qWaitFor([&] { return !form->TabSheet2->Memo3->Lines().isEmpty(); }, 2000));
    QCOMPARE(form->TabSheet2->Memo3->Lines(), QStringList{"RX: 90 05 11 03 A9 "});
    QCOMPARE(form->TabSheet2->LabelColour(mlIdling), TProtocolTestPage::Lime);
}

void TstForm1::pageChangesSetModes_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("reopens");
    QTest::newRow("Protocol Test keeps the mode") << 1 << 77 << true;
    QTest::newRow("I/O Test") << 2 << Mode::Idle << true;
    QTest::newRow("Get_Wave") << 3 << Mode::Wave << true;
    QTest::newRow("R/W Binary leaves all") << 4 << 77 << false;
    QTest::newRow("Parameter Setting") << 0 << Mode::ParameterTable << true;
}

void TstForm1::pageChangesSetModes() {
    QFETCH(int, page);
    QFETCH(int, mode);
    QFETCH(bool, reopens);
    QVERIFY(OpenOn(*pty));
    if (page == 0)
        form->PageControl1->setCurrentIndex(4); // leave the first page to come back to it
    form->SetOperationMode(77);
    form->Timer1.start();
    const TComm* before = form->Comm1;
    form->PageControl1->setCurrentIndex(page);
    QCOMPARE(form->OperationMode(), mode);
    QCOMPARE(form->Comm1 != before, reopens);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(form->Components(), QList<TComm*>{form->Comm1});
    QCOMPARE(form->Timer1.isActive(), !reopens);
    QVERIFY(form->PortOpened);
    QVERIFY(form->Comm1->PortOpen());
    QVERIFY(form->Button3->isEnabled());
    // No request goes out on a page change.
    QCOMPARE(pty->Read(100), QByteArray());
}

void TstForm1::lostPortIsToldOnceAndCanBeReopened() {
    QVERIFY(OpenOn(*pty));
    pty->Write(Raw("90 05 50 03 E8"));
    QVERIFY(QTest::qWaitFor([&] { return !form->TabSheet5->Memo7->Lines().isEmpty(); }, 2000));
    pty->CloseMaster();
    QVERIFY(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 2000));
    QTest::qWait(200); // time for any repeated report to show up
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("The serial port was lost."));
    QVERIFY(shown[0].detail.contains(QStringLiteral("COM1")));
    QCOMPARE(form->TabSheet5->Memo7->Lines().size(), 1);
    QVERIFY(!form->PortOpened);
    QVERIFY(!form->PageControl1->isEnabled());
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(form->windowTitle(), QStringLiteral("DEVe Ruvod v1.10c "));

    TPtyPair back;
    QVERIFY(OpenOn(back));
    form->TabSheet2->SB_statusClick();
    QCOMPARE(back.Read(1000, 5), Raw("90 05 11 03 A9"));
}

namespace {
// The journal's events as "TX 90 05 03 03 9B" lines.
QStringList JournalLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read the journal")};
    TJournalReader reader(file, path);
    QString error;
    if (!reader.ReadHeader(error))
        return {error};
    QStringList lines;
    TJournalEvent e;
    while (reader.Next(e, error) == TJournalReader::TStep::Event) {
        const QByteArray bytes(reinterpret_cast<const char*>(e.Bytes.data()),
                               static_cast<qsizetype>(e.Bytes.size()));
        lines << QStringLiteral("%1 %2").arg(e.Direction == TJournalDirection::Rx ? "RX" : "TX",
                                             QString::fromLatin1(bytes.toHex(' ').toUpper()));
    }
    return error.isEmpty() ? lines : QStringList{error};
}
} // namespace

void TstForm1::journalRecordsEveryReadAndWrite() {
    QTemporaryDir dir;
    const QString path = dir.filePath("j.txt");
    form->JournalD = [&] { return path; };
    form->JournalBox->click();
    QVERIFY(form->JournalBox->isChecked());
    QCOMPARE(form->JournalBox->text(), QStringLiteral("Line journal: j.txt"));
    QVERIFY(OpenOn(*pty));
    form->SendFrameEtx(0, 0x03, TLogTarget::ProtocolTx);
    form->OutputChar(0x55);
    form->OutputChar(static_cast<char>(0xA3));
    QCOMPARE(pty->Read(1000, 7), Raw("90 05 03 03 9B 55 A3"));
    pty->Write(Raw("90 05 50"));
    QVERIFY(QTest::qWaitFor([&] { return form->TabSheet5->Memo7->Lines().size() == 1; }, 2000));
    // A frame is one event; bytes written one by one are one event each.
    const QStringList expected{"TX 90 05 03 03 9B", "TX 55", "TX A3", "RX 90 05 50"};
    QCOMPARE(JournalLines(path), expected);

    form->JournalBox->click(); // off: what follows is not recorded
    QVERIFY(!form->JournalBox->isChecked());
    form->SendFrameEtx(0, 0x03, TLogTarget::ProtocolTx);
    QCOMPARE(pty->Read(1000, 5), Raw("90 05 03 03 9B"));
    QCOMPARE(JournalLines(path), expected);
}

void TstForm1::journalThatCannotBeWrittenStops() {
    QTemporaryDir dir;
    const QString path = dir.filePath("j.txt");
    QString error;
    QVERIFY(!form->StartJournal(dir.filePath("no-such-folder/j.txt"), error));
    QVERIFY2(error.contains("no-such-folder"), qPrintable(error));
    QVERIFY(!form->JournalBox->isChecked());
    QVERIFY(form->StartJournal(path, error));
    QVERIFY(OpenOn(*pty));
    // The disk fills: the frame still goes out, the journal stops and says so once.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = before;
    full.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size());
    setrlimit(RLIMIT_FSIZE, &full);
    form->SendFrameEtx(0, 0x03, TLogTarget::ProtocolTx);
    form->OutputChar(0x55);
    setrlimit(RLIMIT_FSIZE, &before);
    QCOMPARE(pty->Read(1000, 6), Raw("90 05 03 03 9B 55"));
    QVERIFY(!form->JournalBox->isChecked());
    QVERIFY(shown.isEmpty()); // told after the click that found it, not inside it
    QCoreApplication::processEvents();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("The line journal stopped."));
    QVERIFY2(shown[0].detail.contains("j.txt"), qPrintable(shown[0].detail));
}

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
