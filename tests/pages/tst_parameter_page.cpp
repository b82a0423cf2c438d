#include "ByteLiterals.h"
#include "DigitEdit.h"
#include "FakeHost.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"
#include "ParameterPage.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>

namespace {

// A table with the given records for channel 1 and the pulse channel; the rest zero.
QByteArray Table(const char* first, const char* pulse, const char* check = "55") {
    QByteArray t = Raw(check) + QByteArray(72, '\0');
    t.replace(1, 8, Raw(first));
    t.replace(1 + 8 * 8, 8, Raw(pulse));
    return t;
}

QList<QByteArray> Frames(const QByteArray& wire) {
    // The wire holds 13-byte channel frames and then the 5-byte store request.
    QList<QByteArray> frames;
    qsizetype at = 0;
    while (at < wire.size()) {
        const int length = static_cast<uint8_t>(wire[at + 1]);
        frames.append(wire.mid(at, length));
        at += length;
    }
    return frames;
}

} // namespace

class TstParameterPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void readSendsTheTableRequest();
    void tableInEightDeliveriesFillsTheRowsOnce();
    void boxesKeepTheirChoiceForUnknownBytes();
    void tableNotStartingWithACheckByteFillsNothing();
    void saveWritesNineRecordsThenStores();
    void saveSkipsRefusedValues_data();
    void saveSkipsRefusedValues();
    void saveStopsAtTextThatIsNoNumber();
    void pulseRecordTailGoesBackUnchanged();
    void saveAnswerIsLogged();
    void bytesAfterTheTableAreNotCollected();
    void valueEditsTakeDigitsOnly();

private:
    std::unique_ptr<TFakeHost> host;
    std::unique_ptr<TParameterPage> page;
    QList<TMessage> shown;
};

void TstParameterPage::init() {
    host = std::make_unique<TFakeHost>();
    page = std::make_unique<TParameterPage>(*host);
    shown.clear();
    Messages::SetHandler([this](const TMessage& m) {
        shown.append(m);
        return QMessageBox::Ok;
    });
}

void TstParameterPage::cleanup() {
    Messages::SetHandler({});
    page.reset();
    host.reset();
}

void TstParameterPage::readSendsTheTableRequest() {
    host->mode = Mode::Idle;
    page->Button7Click();
    QCOMPARE(host->wire, Raw("90 05 80 55 6A"));
    QCOMPARE(host->modeAtWrite.first(), Mode::ParameterTable);
    QCOMPARE(host->logTargets, QList<int>{1});
}

void TstParameterPage::tableInEightDeliveriesFillsTheRowsOnce() {
    host->mode = Mode::ParameterTable;
    const QByteArray table = Table("00 64 00 01 00 02 00 05", "00 0A 00 00 00 00 00 00");
    for (qsizetype at = 0; at < table.size(); at += 10) {
        QCOMPARE(host->mode, Mode::ParameterTable); // not decoded before the 73rd byte
        page->ReadDelivery(host->mode, AsSpan(table.mid(at, 10)));
    }
    QCOMPARE(host->mode, Mode::Idle);
    QCOMPARE(page->ValueEdits[0]->text(), QStringLiteral("100"));
    QCOMPARE(page->DisableBoxes[0]->currentText(), QStringLiteral("Yes"));
    QCOMPARE(page->SorterBoxes[0]->currentText(), QStringLiteral("C"));
    QCOMPARE(page->DipBoxes[0]->currentText(), QStringLiteral("5"));
    QCOMPARE(page->ValueEdits[1]->text(), QStringLiteral("0"));
    QCOMPARE(page->DisableBoxes[1]->currentText(), QStringLiteral("No"));
    QCOMPARE(page->ValueEdits[8]->text(), QStringLiteral("10"));
    QCOMPARE(page->Label8->text(), QStringLiteral("55"));
    const QStringList lines = page->Memo1->Lines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], HexLine(QStringLiteral("RX: "), AsSpan(table)));
    QCOMPARE(lines[0].size(), 4 + 73 * 3);
    QCOMPARE(lines[1], QString());
}

void TstParameterPage::boxesKeepTheirChoiceForUnknownBytes() {
    page->SorterBoxes[0]->setCurrentIndex(3);
    page->DipBoxes[0]->setCurrentIndex(2);
    host->mode = Mode::ParameterTable;
    page->ReadDelivery(host->mode,
                       AsSpan(Table("03 E8 00 00 00 07 00 02", "00 00 00 00 00 00 00 00")));
    QCOMPARE(page->ValueEdits[0]->text(), QStringLiteral("1000"));
    QCOMPARE(page->SorterBoxes[0]->currentText(), QStringLiteral("D"));
    QCOMPARE(page->DipBoxes[0]->currentText(), QStringLiteral("4"));
}

void TstParameterPage::tableNotStartingWithACheckByteFillsNothing() {
    // A status reply cut short in the protocol test leaves a collection begun by 0x90;
    // the parameter reader completes it and must not take it for a table.
    host->reply.Feed(AsSpan(Raw("90 05")), *RuleForMode(Mode::Monitor),
                     [](TReplyEnd, std::span<const uint8_t>) { return TAfterReply::Continue; });
    host->mode = Mode::ParameterTable;
    QByteArray rest(71, '\0');
    rest[1] = 0x64;
    page->ReadDelivery(host->mode, AsSpan(rest));
    QCOMPARE(host->mode, Mode::Idle);
    QCOMPARE(page->Label8->text(), QStringLiteral("90"));
    QCOMPARE(page->ValueEdits[0]->text(), QStringLiteral("0"));
    QVERIFY(page->Memo1->Lines().isEmpty());
}

void TstParameterPage::saveWritesNineRecordsThenStores() {
    host->mode = Mode::Idle;
    page->ValueEdits[1]->setText(QStringLiteral("500"));
    page->DisableBoxes[1]->setCurrentIndex(0); // Yes
    page->SorterBoxes[1]->setCurrentIndex(1);  // B
    page->DipBoxes[1]->setCurrentIndex(1);     // 3
    page->Button6Click();

    const QList<QByteArray> frames = Frames(host->wire);
    QCOMPARE(frames.size(), 10);
    QCOMPARE(frames[0], Raw("90 0D 60 00 00 00 00 00 00 00 00 00 FD"));
    QCOMPARE(frames[1], Raw("90 0D 60 01 01 F4 00 01 00 01 00 03 F8"));
    QCOMPARE(frames[8], Raw("90 0D 60 08 00 00 00 00 00 00 00 00 05"));
    QCOMPARE(frames[9], Raw("90 05 70 55 5A"));
    // The store request goes out in mode 2, the records in the mode that stood before.
    QCOMPARE(host->modeAtWrite.first(), Mode::Idle);
    QCOMPARE(host->modeAtWrite.last(), Mode::SaveAnswer);
    QCOMPARE(host->waited, 9 * 10 + 100);
    const QStringList lines = page->Memo1->Lines();
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[0], QStringLiteral("TX:90 0D 60 00 00 00 00 00 00 00 00 00 FD "));
    QCOMPARE(lines[1], QStringLiteral("TX:90 0D 60 01 01 F4 00 01 00 01 00 03 F8 "));
    QVERIFY(shown.isEmpty());
}

void TstParameterPage::saveSkipsRefusedValues_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("above 1000") << "1001";
    QTest::newRow("negative, pasted") << "-5";
}

void TstParameterPage::saveSkipsRefusedValues() {
    QFETCH(QString, value);
    page->ValueEdits[2]->setText(value);
    page->Button6Click();
    const QList<QByteArray> frames = Frames(host->wire);
    QCOMPARE(frames.size(), 9); // eight channels and the store request
    for (const QByteArray& f : frames.mid(0, 8))
        QVERIFY(f.size() == 13 && uint8_t(f[3]) != 2);
    QCOMPARE(frames.last(), Raw("90 05 70 55 5A"));
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("Out of Range"));
    QCOMPARE(shown[0].caption, QStringLiteral("Error"));
    QVERIFY(shown[0].detail.contains(QStringLiteral("Channel[3]")));
}

void TstParameterPage::saveStopsAtTextThatIsNoNumber() {
    host->mode = Mode::Monitor;
    page->ValueEdits[4]->setText(QStringLiteral("12a"));
    page->Button6Click();
    const QList<QByteArray> frames = Frames(host->wire);
    QCOMPARE(frames.size(), 4); // channels 1 to 4; neither the rest nor the store
    QCOMPARE(host->mode, Mode::Monitor);
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown[0].text.contains(QStringLiteral("'12a' is not a valid integer value")));
}

void TstParameterPage::pulseRecordTailGoesBackUnchanged() {
    host->mode = Mode::ParameterTable;
    page->ReadDelivery(host->mode,
                       AsSpan(Table("00 00 00 00 00 00 00 00", "00 0A 00 01 00 02 00 05")));
    page->ValueEdits[8]->setText(QStringLiteral("20"));
    host->wire.clear();
    page->Button6Click();
    QCOMPARE(Frames(host->wire)[8], Raw("90 0D 60 08 00 14 00 01 00 02 00 05 21"));
}

void TstParameterPage::saveAnswerIsLogged() {
    host->mode = Mode::SaveAnswer;
    page->ReadDelivery(host->mode, AsSpan(Raw("90 05 50")));
    QVERIFY(page->Memo1->Lines().isEmpty());
    page->ReadDelivery(host->mode, AsSpan(Raw("03 E8")));
    QCOMPARE(page->Memo1->Lines(), (QStringList{QStringLiteral("RX: 90 05 50 03 E8 "), QString()}));
    QCOMPARE(host->mode, Mode::Idle);
}

void TstParameterPage::bytesAfterTheTableAreNotCollected() {
    // The table ends the mode: zeros behind it in the same read start no new table
    // and do not overwrite the check byte or channel 1.
    host->mode = Mode::ParameterTable;
    const QByteArray table = Table("00 64 00 01 00 02 00 05", "00 0A 00 00 00 00 00 00");
    page->ReadDelivery(host->mode, AsSpan(table + Raw("00 00 00")));
    QCOMPARE(host->mode, Mode::Idle);
    QCOMPARE(page->Label8->text(), QStringLiteral("55"));
    QCOMPARE(page->ValueEdits[0]->text(), QStringLiteral("100"));
    QCOMPARE(page->Memo1->Lines().first(), HexLine(QStringLiteral("RX: "), AsSpan(table)));
    QCOMPARE(host->reply.ReplyCount, 0);
}

void TstParameterPage::valueEditsTakeDigitsOnly() {
    TDigitEdit* edit = page->ValueEdits[0];
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("1a2-3 x45678"));
    QCOMPARE(edit->text(), QStringLiteral("12345"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("1234"));
}

QTEST_MAIN(TstParameterPage)
#include "tst_parameter_page.moc"
