#include "BinaryPage.h"
#include "ByteLiterals.h"
#include "FakeHost.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using TClick = void (TBinaryPage::*)();
Q_DECLARE_METATYPE(TClick)

namespace {

QByteArray LineRequest(const char* address) {
    return WithSum(Raw("90 08 28") + Raw(address) + Raw("40 03"));
}

QByteArray LineReply(const char* address, const QByteArray& data) {
    return WithSum(Raw("90") + QByteArray(1, static_cast<char>(data.size() + 7)) + Raw("28") +
                   Raw(address) + data + Raw("03"));
}

QByteArray LineWrite(const char* address, const QByteArray& data) {
    return WithSum(Raw("90 47 8C") + Raw(address) + data + Raw("03"));
}

const char* const Ack = "90 05 50 03 E8";
const char* const Nak = "90 05 48 03 E0";

} // namespace

class TstBinaryPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void requestsWithTheInitialFields_data();
    void requestsWithTheInitialFields();
    void readWalksTheAddressListAndSavesOnce();
    void wrongSumAndTimerRepeatTheLine();
    void shorterFileAsksThenWritesZeros();
    void openBinaryAsksOrRefuses_data();
    void openBinaryAsksOrRefuses();
    void leavingThePageEndsTheTransfer();
    void nakStopsTheWriteSilently();
    void verify_data();
    void verify();
    void openBinaryRefusesOver1000Lines();
    void fileErrorsNameTheFile();
    void lineLengthThatDoesNotFitSendsNothing_data();
    void lineLengthThatDoesNotFitSendsNothing();
    void emptyAddressListSendsNothing();
    void readOfAcknowledgementsSavesNothing();
    void readFinishModeEnablesReadingOnEveryDelivery();

private:
    void Deliver(const QByteArray& bytes) { page->ReadDelivery(host->mode, AsSpan(bytes)); }
    QByteArray TakeWire() {
        const QByteArray w = host->wire;
        host->wire.clear();
        return w;
    }
    QString MakeFile(const QByteArray& content);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TFakeHost> host;
    std::unique_ptr<QTimer> timerRead;
    std::unique_ptr<QTimer> timerWrite;
    std::unique_ptr<TBinaryPage> page;
    QList<TMessage> shown;
    QStringList chosen; // answers of the file dialogs, first first
    int dialogs = 0;
    QMessageBox::StandardButton answer = QMessageBox::Ok; // of OK/Cancel boxes
};

void TstBinaryPage::init() {
    dir = std::make_unique<QTemporaryDir>();
    host = std::make_unique<TFakeHost>();
    timerRead = std::make_unique<QTimer>();
    timerWrite = std::make_unique<QTimer>();
    timerRead->setInterval(2000);
    timerWrite->setInterval(2000);
    page = std::make_unique<TBinaryPage>(*host, *timerRead, *timerWrite);
    page->ChooseFile = [this](bool) {
        ++dialogs;
        return chosen.isEmpty() ? QString() : chosen.takeFirst();
    };
    shown.clear();
    chosen.clear();
    dialogs = 0;
    answer = QMessageBox::Ok;
    Messages::SetHandler([this](const TMessage& m) {
        shown.append(m);
        return m.okCancel ? answer : QMessageBox::Ok;
    });
}

void TstBinaryPage::cleanup() {
    Messages::SetHandler({});
    page.reset();
    timerRead.reset();
    timerWrite.reset();
    host.reset();
    dir.reset();
}

QString TstBinaryPage::MakeFile(const QByteArray& content) {
    const QString path = dir->filePath(QStringLiteral("in%1.bin").arg(dialogs));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

void TstBinaryPage::requestsWithTheInitialFields_data() {
    QTest::addColumn<TClick>("click");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("mode");
    QTest::newRow("Read Start") << &TBinaryPage::Button15Click << false << Raw("90 05 27 03 BF")
                                << 39;
    QTest::newRow("Read Finish") << &TBinaryPage::Button21Click << false << Raw("90 05 26 03 BE")
                                 << 38;
    QTest::newRow("Verify") << &TBinaryPage::Button23Click << false << Raw("90 05 89 03 21") << 137;
    QTest::newRow("Write Start") << &TBinaryPage::Button20Click << true << Raw("90 05 8B 03 23")
                                 << 139;
    QTest::newRow("Write Finish") << &TBinaryPage::Button18Click << true << Raw("90 05 8A 03 22")
                                  << 138;
    QTest::newRow("Write Start, nothing loaded")
        << &TBinaryPage::Button20Click << false << QByteArray() << 0;
    QTest::newRow("Write Finish, nothing loaded")
        << &TBinaryPage::Button18Click << false << QByteArray() << 0;
}

void TstBinaryPage::requestsWithTheInitialFields() {
    QFETCH(TClick, click);
    QFETCH(bool, loaded);
    QFETCH(QByteArray, frame);
    QFETCH(int, mode);
    page->Image.BinaryLoaded = loaded;
    (page.get()->*click)();
    QCOMPARE(host->wire, frame);
    QCOMPARE(host->mode, mode);
    if (!frame.isEmpty()) {
        QCOMPARE(host->modeAtWrite.first(), mode);
        QCOMPARE(host->logTargets, QList<int>{5});
    }
}

void TstBinaryPage::readWalksTheAddressListAndSavesOnce() {
    page->Button15Click();
    TakeWire();
    QVERIFY(page->Button22->isEnabled());
    Deliver(Raw(Ack));
    QCOMPARE(page->Memo5->FirstLine(), QStringLiteral("ACK"));
    QCOMPARE(page->Memo6->FirstLine(), QStringLiteral("ACK"));

    page->Button22Click();
    QCOMPARE(TakeWire(), Raw("90 08 28 00 00 40 03 03"));
    QCOMPARE(host->mode, Mode::ReadLine);
    QVERIFY(timerRead->isActive());
    QVERIFY(!page->Button22->isEnabled());

    QByteArray expected;
    const char* addresses[] = {"00 00", "00 01", "00 02", "00 03"};
    for (int line = 0; line < 4; ++line) {
        // Line data full of 0x90, delivered in pieces of ten bytes.
        QByteArray data(64, static_cast<char>(0x90));
        data[0] = static_cast<char>(line);
        data[1] = static_cast<char>(0x05);
        expected += data;
        const QByteArray reply = LineReply(addresses[line], data);
        for (qsizetype at = 0; at < reply.size(); at += 10)
            Deliver(reply.mid(at, 10));
        QCOMPARE(TakeWire(), line < 3 ? LineRequest(addresses[line + 1]) : QByteArray());
        QCOMPARE(timerRead->isActive(), line < 3);
    }
    QCOMPARE(page->ProgressBar1->value(), 4);

    const QString name = dir->filePath(QStringLiteral("read"));
    chosen << name;
    page->Button16Click();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.last().text, QStringLiteral("Write Ok!"));
    QFile saved(name + QStringLiteral(".bin"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), expected);

    page->Button16Click();
    QCOMPARE(shown.last().text, QStringLiteral("No Data!"));
    QCOMPARE(dialogs, 1);
}

void TstBinaryPage::wrongSumAndTimerRepeatTheLine() {
    page->Button15Click();
    page->Button22Click();
    TakeWire();
    page->TimerReadTimer();
    QCOMPARE(TakeWire(), Raw("90 08 28 00 00 40 03 03"));
    QCOMPARE(host->mode, Mode::ReadLine);
    QVERIFY(page->ProgressLabel->text().contains(QStringLiteral("no answer")));
    QByteArray spoiled = LineReply("00 00", QByteArray(64, '\x01'));
    spoiled[spoiled.size() - 1] = static_cast<char>(spoiled.back() ^ 0xFF);
    Deliver(spoiled);
    QCOMPARE(TakeWire(), Raw("90 08 28 00 00 40 03 03"));
    QVERIFY(timerRead->isActive());
    QCOMPARE(page->Image.LineIndex, 0);
}

void TstBinaryPage::shorterFileAsksThenWritesZeros() {
    // An earlier file's lines must not reach the board with the new one.
    chosen << MakeFile(QByteArray(256, '\x55'));
    page->Button17Click();
    QVERIFY(shown.isEmpty());
    chosen << MakeFile(QByteArray(64, '\x11') + QByteArray(64, '\x22'));
    page->Button17Click();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().okCancel);
    QVERIFY(shown.first().text.contains(
        QStringLiteral("4 lines: the last 2 will be written as zeros")));
    shown.clear();
    page->Button20Click();
    QVERIFY(page->Button19->isEnabled());
    Deliver(Raw(Ack));
    TakeWire();

    page->Button19Click();
    QCOMPARE(TakeWire(), LineWrite("00 00", QByteArray(64, '\x11')));
    QCOMPARE(host->mode, Mode::WriteLine);
    QVERIFY(timerWrite->isActive());
    page->TimerWriteTimer();
    QCOMPARE(TakeWire(), LineWrite("00 00", QByteArray(64, '\x11')));

    const QByteArray next[] = {LineWrite("00 01", QByteArray(64, '\x22')),
                               LineWrite("00 02", QByteArray(64, '\0')),
                               LineWrite("00 03", QByteArray(64, '\0')), QByteArray()};
    for (const QByteArray& frame : next) {
        Deliver(Raw(Ack));
        QCOMPARE(TakeWire(), frame);
    }
    QVERIFY(!timerWrite->isActive());
    QCOMPARE(page->Memo5->Lines().mid(0, 4), QStringList(4, QStringLiteral("ACK")));
    QCOMPARE(page->ProgressLabel->text(), QStringLiteral("Write done: 4 lines"));
    // The board answered a repeat as well: that ACK sends nothing from beyond the list.
    Deliver(Raw(Ack));
    QVERIFY(host->wire.isEmpty());
    QCOMPARE(page->ProgressBar1->value(), 4);
}

void TstBinaryPage::openBinaryAsksOrRefuses_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("agree");
    QTest::addColumn<QString>("told"); // part of the one box shown
    QTest::addColumn<bool>("loaded");
    const QString cut = QStringLiteral("The last 36 bytes do not make a whole line");
    QTest::newRow("100 bytes, OK") << 100 << true << cut << true;
    QTest::newRow("100 bytes, Cancel") << 100 << false << cut << false;
    QTest::newRow("300 bytes, OK") << 300 << true << QStringLiteral("The last 44 bytes") << true;
    QTest::newRow("0 bytes") << 0 << true << QStringLiteral("holds no whole line of 64 bytes")
                             << false;
}

void TstBinaryPage::openBinaryAsksOrRefuses() {
    QFETCH(int, size);
    QFETCH(bool, agree);
    QFETCH(QString, told);
    QFETCH(bool, loaded);
    answer = agree ? QMessageBox::Ok : QMessageBox::Cancel;
    QByteArray content(size, '\0');
    for (int i = 0; i < size; ++i)
        content[i] = static_cast<char>(i + 1);
    chosen << MakeFile(content);
    page->Button17Click();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.contains(told), qPrintable(shown.first().text));
    QCOMPARE(page->Image.BinaryLoaded, loaded);
    if (!loaded)
        return;
    page->Button19Click();
    QCOMPARE(TakeWire(), LineWrite("00 00", content.left(64)));
    Deliver(Raw(Ack));
    const QByteArray second = size >= 128 ? content.mid(64, 64) : QByteArray(64, '\0');
    QCOMPARE(TakeWire(), LineWrite("00 01", second));
}

void TstBinaryPage::leavingThePageEndsTheTransfer() {
    chosen << MakeFile(QByteArray(256, '\x33'));
    page->Button17Click();
    page->Button19Click();
    QVERIFY(timerWrite->isActive());
    TakeWire();
    page->StopTransfers();
    QVERIFY(!timerWrite->isActive());
    QVERIFY(!page->Button19->isEnabled());
    QVERIFY(host->wire.isEmpty()); // Write Finish itself is not sent
    QVERIFY(page->ProgressLabel->text().startsWith(QStringLiteral("Finished at line 1 of 4")));
    // The board's late answer moves nothing.
    Deliver(Raw(Ack));
    QVERIFY(host->wire.isEmpty());
    QCOMPARE(page->Image.LineIndex, 0);
}

void TstBinaryPage::nakStopsTheWriteSilently() {
    chosen << MakeFile(QByteArray(256, '\x33'));
    page->Button17Click();
    page->Button19Click();
    Deliver(Raw(Ack));
    TakeWire();
    const QStringList before = page->Memo5->Lines();
    Deliver(Raw(Nak));
    QVERIFY(host->wire.isEmpty());
    QVERIFY(!timerWrite->isActive());
    QCOMPARE(page->Memo5->Lines(), before);
    QVERIFY(shown.isEmpty());
    QCOMPARE(page->Image.LineIndex, 1);
    QVERIFY(page->ProgressLabel->text().contains(QStringLiteral("refused")));
}

void TstBinaryPage::verify_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message"); // empty: nothing shown
    // The image is the bytes 00..FF: its CRC-16/XMODEM is 7E 55.
    QTest::newRow("match") << Raw("90 07 89 7E 55 03 F6") << "Verify ok";
    QTest::newRow("mismatch") << Raw("90 07 89 12 34 03 69") << "Verify Error!!";
    QTest::newRow("too short for a CRC") << Raw("90 05 89 03 21") << "Verify Error!!";
    QTest::newRow("wrong sum") << Raw("90 07 89 7E 55 03 F7") << "";
    QTest::newRow("other code") << Raw("90 05 50 03 E8") << "";
}

void TstBinaryPage::verify() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QByteArray image(256, '\0');
    for (int i = 0; i < 256; ++i)
        image[i] = static_cast<char>(i);
    chosen << MakeFile(image);
    page->Button17Click();
    page->Button19Click(); // four addresses
    page->Button23Click();
    Deliver(reply);
    // The box waits until the delivery has been read.
    QVERIFY(shown.isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(shown.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(shown.first().text, message);
        QCOMPARE(shown.first().caption, QString());
    }
    QCOMPARE(page->Label78->text(), message.isEmpty() ? QString() : QStringLiteral("7E 55"));
}

void TstBinaryPage::openBinaryRefusesOver1000Lines() {
    chosen << MakeFile(QByteArray(64064, '\x44'));
    page->Button17Click();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, QStringLiteral("Bin error"));
    QCOMPARE(shown.first().caption, QStringLiteral("Line over 1000"));
    QVERIFY(!page->Image.BinaryLoaded);
    QCOMPARE((*page->Image.WriteImage)[0][0], uint8_t(0));
    page->Button20Click();
    QVERIFY(host->wire.isEmpty());
}

void TstBinaryPage::fileErrorsNameTheFile() {
    const QString missing = dir->filePath(QStringLiteral("missing.bin"));
    chosen << missing;
    page->Button17Click();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.contains(missing), qPrintable(shown.first().text));
    QVERIFY(shown.first().text.size() > missing.size() + 4); // the platform's reason too
    QVERIFY(!page->Image.BinaryLoaded);

    page->Button15Click();
    page->Button22Click();
    Deliver(LineReply("00 00", QByteArray(64, '\x01')));
    const QString nowhere = dir->filePath(QStringLiteral("no/such/folder/read"));
    chosen << nowhere;
    page->Button16Click();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown.last().text.contains(nowhere + QStringLiteral(".bin")),
             qPrintable(shown.last().text));
    QCOMPARE(page->Image.LineIndex, 1); // nothing saved: the line is still there
}

void TstBinaryPage::lineLengthThatDoesNotFitSendsNothing_data() {
    QTest::addColumn<TClick>("click");
    QTest::addColumn<QString>("length");
    QTest::addColumn<bool>("refused");
    QTest::newRow("read 69") << &TBinaryPage::Button22Click << "69" << false;
    QTest::newRow("read 70") << &TBinaryPage::Button22Click << "70" << true;
    QTest::newRow("read 0") << &TBinaryPage::Button22Click << "0" << true;
    QTest::newRow("write 248") << &TBinaryPage::Button19Click << "248" << false;
    QTest::newRow("write 249") << &TBinaryPage::Button19Click << "249" << true;
    QTest::newRow("write abc") << &TBinaryPage::Button19Click << "abc" << true;
}

void TstBinaryPage::lineLengthThatDoesNotFitSendsNothing() {
    QFETCH(TClick, click);
    QFETCH(QString, length);
    QFETCH(bool, refused);
    page->Image.BinaryLoaded = true;
    page->Button15Click();
    TakeWire();
    page->Edit3->setText(length);
    (page.get()->*click)();
    QCOMPARE(host->wire.isEmpty(), refused);
    QCOMPARE(shown.size(), refused ? 1 : 0);
    QCOMPARE(timerRead->isActive() || timerWrite->isActive(), !refused);
    if (length == QStringLiteral("abc"))
        QCOMPARE(shown.first().text, QStringLiteral("'abc' is not a valid integer value"));
}

void TstBinaryPage::emptyAddressListSendsNothing() {
    page->Button22Click(); // no Read Start: no list
    QVERIFY(host->wire.isEmpty());
    page->Edit7->setText(QStringLiteral("3"));
    page->Edit8->setText(QStringLiteral("0"));
    page->Button15Click();
    TakeWire();
    page->Button22Click();
    page->Image.BinaryLoaded = true;
    page->Button19Click();
    QVERIFY(host->wire.isEmpty());
    QVERIFY(!timerRead->isActive());
    QVERIFY(!timerWrite->isActive());
}

void TstBinaryPage::readOfAcknowledgementsSavesNothing() {
    page->Button15Click();
    page->Button22Click();
    for (int i = 0; i < 4; ++i)
        Deliver(Raw(Ack)); // each counts as a line without data
    QCOMPARE(page->Image.LineIndex, 4);
    page->Button16Click();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, QStringLiteral("No Data!"));
    QVERIFY(!shown.first().detail.isEmpty());
    QCOMPARE(dialogs, 0);
}

void TstBinaryPage::readFinishModeEnablesReadingOnEveryDelivery() {
    page->Button21Click();
    QVERIFY(!page->Button22->isEnabled());
    Deliver(Raw("90"));
    QVERIFY(page->Button22->isEnabled());
    page->Button22->setEnabled(false);
    Deliver(Raw("05 48 03 E0"));
    QVERIFY(page->Button22->isEnabled());
    QCOMPARE(page->Memo5->FirstLine(), QStringLiteral("NAK"));
}

QTEST_MAIN(TstBinaryPage)
#include "tst_binary_page.moc"
