#include "BinaryPage.h"

#include "Frame.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"
#include "PageWidgets.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {
QLineEdit* MakeField(QWidget* parent, const QString& text, int x, int y) {
    auto* edit = new QLineEdit(text, parent);
    edit->setGeometry(x, y, 41, 21);
    return edit;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, int x, int y) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(x, y, 113, 27);
    return button;
}
} // namespace

TBinaryPage::TBinaryPage(TPageHost& pageHost, QTimer& timerRead, QTimer& timerWrite,
                         QWidget* parent)
    : QWidget(parent), host(pageHost), TimerRead(timerRead), TimerWrite(timerWrite) {
    BuildControls();
    ChooseFile = [this](bool save) {
        const QString filter = QStringLiteral("*.bin");
        return save ? QFileDialog::getSaveFileName(this, QString(), QString(), filter)
                    : QFileDialog::getOpenFileName(this, QString(), QString(), filter);
    };
    connect(Button15, &QPushButton::clicked, this, &TBinaryPage::Button15Click);
    connect(Button22, &QPushButton::clicked, this, &TBinaryPage::Button22Click);
    connect(Button21, &QPushButton::clicked, this, &TBinaryPage::Button21Click);
    connect(Button16, &QPushButton::clicked, this, &TBinaryPage::Button16Click);
    connect(Button17, &QPushButton::clicked, this, &TBinaryPage::Button17Click);
    connect(Button20, &QPushButton::clicked, this, &TBinaryPage::Button20Click);
    connect(Button19, &QPushButton::clicked, this, &TBinaryPage::Button19Click);
    connect(Button18, &QPushButton::clicked, this, &TBinaryPage::Button18Click);
    connect(Button23, &QPushButton::clicked, this, &TBinaryPage::Button23Click);
    connect(Clear, &QPushButton::clicked, this, &TBinaryPage::ClearClick);
    connect(&TimerRead, &QTimer::timeout, this, &TBinaryPage::TimerReadTimer);
    connect(&TimerWrite, &QTimer::timeout, this, &TBinaryPage::TimerWriteTimer);
    UpdateProgress();
}

void TBinaryPage::BuildControls() {
    GroupBox3 = new QGroupBox(QStringLiteral("  Address Set  "), this);
    GroupBox3->setGeometry(16, 16, 264, 120);
    MakeLabel(GroupBox3, QStringLiteral("Block"), 12, 30);
    MakeLabel(GroupBox3, QStringLiteral("from"), 60, 30);
    Edit5 = MakeField(GroupBox3, QStringLiteral("0"), 92, 26);
    MakeLabel(GroupBox3, QStringLiteral("to"), 146, 30);
    Edit6 = MakeField(GroupBox3, QStringLiteral("0"), 166, 26);
    MakeLabel(GroupBox3, QStringLiteral("Line"), 12, 60);
    MakeLabel(GroupBox3, QStringLiteral("from"), 60, 60);
    Edit7 = MakeField(GroupBox3, QStringLiteral("0"), 92, 56);
    MakeLabel(GroupBox3, QStringLiteral("to"), 146, 60);
    Edit8 = MakeField(GroupBox3, QStringLiteral("3"), 166, 56);
    MakeLabel(GroupBox3, QStringLiteral("Length"), 12, 90);
    Edit3 = MakeField(GroupBox3, QStringLiteral("64"), 92, 86);
    MakeLabel(GroupBox3, QStringLiteral("bytes"), 140, 90);
    GroupBox3->setEnabled(false);

    GroupBox1 = new QGroupBox(QStringLiteral("  Read Binary  "), this);
    GroupBox1->setGeometry(16, 430, 264, 130); // below the write side: hidden in use
    Button15 = MakeButton(GroupBox1, QStringLiteral("Read Start"), 10, 24);
    Button22 = MakeButton(GroupBox1, QStringLiteral("Reading"), 10, 56);
    Button22->setEnabled(false);
    Button21 = MakeButton(GroupBox1, QStringLiteral("Read Finish"), 10, 88);
    Button16 = MakeButton(GroupBox1, QStringLiteral("Save Binary"), 136, 24);
    MakeLabel(GroupBox1, QStringLiteral("Received Length"), 136, 62);
    Edit1 = MakeField(GroupBox1, QStringLiteral("64"), 136, 80);
    Edit1->setEnabled(false);
    MakeLabel(GroupBox1, QStringLiteral("bytes"), 184, 84);

    GroupBox2 = new QGroupBox(QStringLiteral("  Write Binary  "), this);
    GroupBox2->setGeometry(16, 146, 264, 162);
    Button17 = MakeButton(GroupBox2, QStringLiteral("Open Binary"), 10, 24);
    Button20 = MakeButton(GroupBox2, QStringLiteral("Write Start"), 10, 56);
    Button19 = MakeButton(GroupBox2, QStringLiteral("Writing"), 10, 88);
    Button19->setEnabled(false);
    Button18 = MakeButton(GroupBox2, QStringLiteral("Write Finish"), 10, 120);
    MakeLabel(GroupBox2, QStringLiteral("Send Data Length"), 136, 62);
    Edit2 = MakeField(GroupBox2, QStringLiteral("64"), 136, 80);
    MakeLabel(GroupBox2, QStringLiteral("bytes"), 184, 84);

    Button23 = MakeButton(this, QStringLiteral("Verify"), 26, 322);
    Label77 = MakeLabel(this, QStringLiteral("CRC"), 152, 328);
    Label78 = new QLabel(this);
    QFont crcFont = Label78->font();
    crcFont.setBold(true);
    crcFont.setPointSize(12);
    Label78->setFont(crcFont);
    Label78->setGeometry(186, 322, 90, 27);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(16, 362, 264, 23);
    ProgressBar1->setFormat(QStringLiteral("%v / %m lines"));
    ProgressLabel = new QLabel(this);
    ProgressLabel->setWordWrap(true);
    ProgressLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ProgressLabel->setGeometry(16, 390, 264, 36);

    Memo5 = new TMemo(this);
    Memo5->setGeometry(300, 16, 400, 330);
    Memo6 = new TMemo(this);
    Memo6->setGeometry(720, 16, 420, 330);
    Memo7 = new TMemo(this);
    Memo7->setGeometry(300, 360, 840, 310);
    Clear = new QPushButton(QStringLiteral("Clear"), this);
    Clear->setGeometry(300, 680, 75, 25);
}

void TBinaryPage::Tell(const QString& text, const QString& caption, const QString& detail) {
    Messages::Show(this, {text, caption, detail, false});
}

void TBinaryPage::TellAfterDelivery(const QString& text) {
    // A modal box inside the reply scan would let newer deliveries be read before the
    // rest of this one.
    QMetaObject::invokeMethod(
        this, [this, text] { Tell(text); }, Qt::QueuedConnection);
}

int TBinaryPage::AddressSetLines() const {
    std::array<int, 4> v{};
    const std::array<const QLineEdit*, 4> fields{Edit5, Edit6, Edit7, Edit8};
    for (size_t i = 0; i < v.size(); ++i) {
        bool ok = false;
        v[i] = fields[i]->text().trimmed().toInt(&ok);
        if (!ok)
            return -1;
    }
    return std::max(v[1] - v[0] + 1, 0) * std::max(v[3] - v[2] + 1, 0);
}

bool TBinaryPage::ReadField(QLineEdit* edit, int& value) {
    bool ok = false;
    value = edit->text().trimmed().toInt(&ok);
    if (!ok)
        Tell(QStringLiteral("'%1' is not a valid integer value").arg(edit->text()));
    return ok;
}

bool TBinaryPage::LineLength(TLineUse use, int& length) {
    if (!ReadField(Edit3, length))
        return false;
    if (const auto problem = LineLengthProblem(length, use)) {
        Tell(*problem);
        return false;
    }
    return true;
}

bool TBinaryPage::BuildAddressList() {
    Image.AddressCount = 0;
    int blockFrom = 0;
    int blockTo = 0;
    int lineFrom = 0;
    int lineTo = 0;
    if (!ReadField(Edit5, blockFrom) || !ReadField(Edit6, blockTo) || !ReadField(Edit7, lineFrom) ||
        !ReadField(Edit8, lineTo))
        return false;
    if (!Image.BuildAddressList(blockFrom, blockTo, lineFrom, lineTo)) {
        Tell(QStringLiteral("Blocks and lines are 0 to 255."));
        return false;
    }
    return true;
}

void TBinaryPage::SendSimple(const TRequest& request) {
    SendRequest(host, request, 0, TLogTarget::Binary);
}

bool TBinaryPage::SendLineRead() {
    int length = 0;
    if (!LineLength(TLineUse::Read, length))
        return false;
    std::span<uint8_t> payload(host.FrameBuffer().data() + PayloadOffset,
                               FrameBufferSize - PayloadOffset);
    const int n = Image.FillLineRead(payload, length);
    if (n == 0)
        return false;
    SendRequest(host, Request::ReadLine, n, TLogTarget::Binary);
    return true;
}

bool TBinaryPage::SendLineWrite() {
    int length = 0;
    if (!LineLength(TLineUse::Write, length))
        return false;
    std::span<uint8_t> payload(host.FrameBuffer().data() + PayloadOffset,
                               FrameBufferSize - PayloadOffset);
    const int n = Image.FillLineWrite(payload, length);
    if (n == 0)
        return false;
    SendRequest(host, Request::WriteLine, n, TLogTarget::Binary);
    return true;
}

void TBinaryPage::InsertBoth(const QString& line) {
    Memo5->InsertFirstLine(line);
    Memo6->InsertFirstLine(line);
}

void TBinaryPage::UpdateProgress() {
    ProgressBar1->setTextVisible(Image.AddressCount > 0);
    ProgressBar1->setRange(0, std::max(Image.AddressCount, 1));
    ProgressBar1->setValue(std::clamp(Image.LineIndex, 0, Image.AddressCount));
    ProgressLabel->setText(Image.ProgressText());
}

void TBinaryPage::Button15Click() {
    Image.AddressCount = 0;
    SendSimple(Request::ReadStart);
    BuildAddressList();
    Button22->setEnabled(true);
}

void TBinaryPage::Button22Click() {
    int length = 0;
    if (!LineLength(TLineUse::Read, length))
        return;
    if (Image.AddressCount == 0) {
        ProgressLabel->setText(QStringLiteral("No lines to read"));
        return;
    }
    Image.BeginTransfer(false);
    if (SendLineRead())
        TimerRead.start();
    Button22->setEnabled(false);
    UpdateProgress();
}

void TBinaryPage::TimerReadTimer() {
    if (!Image.LineToSend()) {
        TimerRead.stop();
        return;
    }
    Image.NoteRepeat();
    if (!SendLineRead())
        TimerRead.stop();
    UpdateProgress();
}

void TBinaryPage::StopTransfers() {
    const bool running = TimerRead.isActive() || TimerWrite.isActive() || Image.InFlight();
    TimerRead.stop();
    TimerWrite.stop();
    if (!running)
        return;
    (Image.Writing ? Button19 : Button22)->setEnabled(false);
    Image.NoteFinish();
    UpdateProgress();
}

void TBinaryPage::Button21Click() {
    SendSimple(Request::ReadFinish);
    Button22->setEnabled(false);
    TimerRead.stop();
    if (!Image.Writing)
        Image.NoteFinish();
    UpdateProgress();
}

void TBinaryPage::Button16Click() {
    if (Image.LineIndex == 0) {
        Tell(QStringLiteral("No Data!"));
        return;
    }
    // The last read reply was not a line (an acknowledgement counted as one): the
    // file would be empty, so say so instead of "Write Ok!".
    if (Image.ReadLineLength <= 0) {
        Tell(QStringLiteral("No Data!"), QString(),
             QStringLiteral("The read replies carried no line data; no file was written."));
        return;
    }
    const QString name = ChooseFile(true);
    if (name.isEmpty())
        return;
    const QString path = name + QStringLiteral(".bin");
    const TFileOutcome outcome = Image.SaveBinary(path);
    if (outcome.status != TFileOutcome::Status::Ok) {
        Tell(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), outcome.error));
        return;
    }
    Tell(QStringLiteral("Write Ok!"));
}

void TBinaryPage::Button17Click() {
    const QString name = ChooseFile(false);
    if (name.isEmpty())
        return;
    int length = 0;
    if (!LineLength(TLineUse::Image, length))
        return;
    const QString shown = QDir::toNativeSeparators(name);
    QByteArray lines;
    const TFileOutcome outcome = Image.ReadBinary(name, length, lines);
    switch (outcome.status) {
    case TFileOutcome::Status::TooManyLines:
        Tell(QStringLiteral("Bin error"), QStringLiteral("Line over 1000"));
        return;
    case TFileOutcome::Status::Failed:
        Tell(QStringLiteral("%1: %2").arg(shown, outcome.error));
        return;
    case TFileOutcome::Status::Ok:
        break;
    }
    if (outcome.lines == 0) {
        Tell(QStringLiteral("%1 holds no whole line of %2 bytes: nothing was loaded.")
                 .arg(shown)
                 .arg(length));
        return;
    }
    // Only bytes the file provides go to the board unasked: a shorter file or a cut
    // last line is loaded only once the user has agreed.
    const int setLines = AddressSetLines();
    QStringList notes;
    const auto lineCount = [](int n) {
        return n == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(n);
    };
    if (setLines > outcome.lines)
        notes << QStringLiteral("The address set has %1: the last %2 will be written as zeros.")
                     .arg(lineCount(setLines))
                     .arg(setLines - outcome.lines);
    if (outcome.extraBytes > 0)
        notes << QStringLiteral("The last %1 bytes do not make a whole line and will not be sent.")
                     .arg(outcome.extraBytes);
    if (!notes.isEmpty()) {
        const QString text = QStringLiteral("%1 holds %2 of %3 bytes.\n%4\nLoad it?")
                                 .arg(shown)
                                 .arg(lineCount(outcome.lines))
                                 .arg(length)
                                 .arg(notes.join(QLatin1Char('\n')));
        if (Messages::Show(this, {text, QString(), QString(), true}) != QMessageBox::Ok)
            return;
    }
    Image.LoadBinary(lines, length);
    ProgressLabel->setText(QStringLiteral("%1 lines loaded from %2").arg(outcome.lines).arg(shown));
}

void TBinaryPage::Button20Click() {
    if (!Image.BinaryLoaded)
        return;
    SendSimple(Request::WriteStart);
    Button19->setEnabled(true);
}

void TBinaryPage::Button19Click() {
    if (!Image.BinaryLoaded)
        return;
    int length = 0;
    if (!LineLength(TLineUse::Write, length) || !BuildAddressList())
        return;
    if (Image.AddressCount == 0) {
        ProgressLabel->setText(QStringLiteral("No lines to write"));
        return;
    }
    // The write image holds 1000 lines; lines beyond it do not exist to be sent.
    if (Image.AddressCount > TMemoryImage::ImageLines) {
        Tell(QStringLiteral("%1 lines are more than the write image's %2.")
                 .arg(Image.AddressCount)
                 .arg(TMemoryImage::ImageLines));
        Image.AddressCount = 0;
        return;
    }
    Image.BeginTransfer(true);
    if (SendLineWrite())
        TimerWrite.start();
    UpdateProgress();
}

void TBinaryPage::TimerWriteTimer() {
    if (!Image.LineToSend()) {
        TimerWrite.stop();
        return;
    }
    Image.NoteRepeat();
    if (!SendLineWrite())
        TimerWrite.stop();
    UpdateProgress();
}

void TBinaryPage::Button18Click() {
    if (!Image.BinaryLoaded)
        return;
    SendSimple(Request::WriteFinish);
    Button19->setEnabled(false);
    TimerWrite.stop();
    if (Image.Writing)
        Image.NoteFinish();
    UpdateProgress();
}

void TBinaryPage::Button23Click() {
    SendSimple(Request::Verify);
}

void TBinaryPage::ClearClick() {
    Memo5->Clear();
    Memo6->Clear();
    Memo7->Clear();
}

std::span<const int> TBinaryPage::ReadModes() const {
    static constexpr std::array modes{Mode::ReadFinish, Mode::ReadStart,   Mode::ReadLine,
                                      Mode::Verify,     Mode::WriteFinish, Mode::WriteStart,
                                      Mode::WriteLine};
    return modes;
}

void TBinaryPage::LogTx(TLogTarget, std::span<const uint8_t> frame) {
    Memo5->InsertFirstLine(HexLine(QStringLiteral("TX: "), frame));
    Memo6->InsertFirstLine(DecimalLine(QStringLiteral("TX: "), frame));
}

void TBinaryPage::LogDelivery(std::span<const uint8_t> bytes) {
    Memo7->InsertFirstLine(HexLine(QStringLiteral("RX: "), bytes));
}

void TBinaryPage::ReadDelivery(int mode, std::span<const uint8_t> bytes) {
    if (std::ranges::find(ReadModes(), mode) == ReadModes().end())
        return;
    // Read Finish's reader enables "Reading" on every delivery, complete or not.
    if (mode == Mode::ReadFinish)
        Button22->setEnabled(true);
    ReadReplies(host, mode, bytes,
                [&](TReplyEnd, std::span<const uint8_t> reply) { OnReply(mode, reply); });
}

void TBinaryPage::OnReply(int mode, std::span<const uint8_t> reply) {
    switch (mode) {
    case Mode::ReadLine:
        ReadLineReply(reply);
        break;
    case Mode::WriteLine:
        WriteLineReply(reply);
        break;
    case Mode::ReadFinish:
    case Mode::ReadStart:
    case Mode::WriteFinish:
    case Mode::WriteStart:
        AckReply(mode, reply);
        break;
    case Mode::Verify:
        VerifyReply(reply);
        break;
    default:
        break;
    }
}

void TBinaryPage::ReadLineReply(std::span<const uint8_t> reply) {
    TimerRead.stop();
    switch (Image.TakeReadReply(reply)) {
    case TLineStep::SendNext:
    case TLineStep::SendAgain:
        if (SendLineRead())
            TimerRead.start();
        break;
    case TLineStep::ImageFull:
        TellAfterDelivery(QStringLiteral("Read stopped at line %1: the read image holds %1 lines.")
                              .arg(TMemoryImage::ImageLines));
        break;
    case TLineStep::Complete:
    case TLineStep::Refused:
    case TLineStep::Ignore:
        break;
    }
    UpdateProgress();
}

void TBinaryPage::WriteLineReply(std::span<const uint8_t> reply) {
    TimerWrite.stop();
    switch (Image.TakeWriteReply(reply)) {
    case TLineStep::SendNext:
        InsertBoth(QStringLiteral("ACK"));
        if (SendLineWrite())
            TimerWrite.start();
        break;
    case TLineStep::SendAgain:
        if (SendLineWrite())
            TimerWrite.start();
        break;
    case TLineStep::Complete:
        InsertBoth(QStringLiteral("ACK"));
        break;
    case TLineStep::Refused: // the write stands still until the user acts
    case TLineStep::ImageFull:
    case TLineStep::Ignore:
        break;
    }
    UpdateProgress();
}

void TBinaryPage::AckReply(int mode, std::span<const uint8_t> reply) {
    switch (DecodeAck(reply)) {
    case TAckCode::Ack:
        InsertBoth(QStringLiteral("ACK"));
        if (mode == Mode::ReadStart || mode == Mode::ReadFinish)
            Button22->setEnabled(true);
        else if (mode == Mode::WriteStart)
            Button19->setEnabled(true);
        break;
    case TAckCode::Nak:
        InsertBoth(QStringLiteral("NAK"));
        break;
    case TAckCode::Other:
        break;
    }
}

void TBinaryPage::VerifyReply(std::span<const uint8_t> reply) {
    if (!FrameSumRight(reply) || reply.size() < 4 || reply[2] != Request::Verify.code)
        return;
    bool numeric = false;
    const int length = Edit3->text().trimmed().toInt(&numeric);
    if (!numeric) {
        TellAfterDelivery(QStringLiteral("'%1' is not a valid integer value").arg(Edit3->text()));
        return;
    }
    const auto crc = Image.WriteImageCrc(length);
    if (!crc) {
        TellAfterDelivery(
            QStringLiteral("No CRC over %1 lines of %2 bytes: the write image holds %3 lines of "
                           "%4 bytes.")
                .arg(Image.AddressCount)
                .arg(length)
                .arg(TMemoryImage::ImageLines)
                .arg(TMemoryImage::ImageLineBytes));
        return;
    }
    Label78->setText(CrcText(*crc));
    // A verification reply too short to carry a CRC does not confirm anything.
    const bool match = reply.size() >= 6 && reply[3] == (*crc >> 8) && reply[4] == (*crc & 0xFF);
    TellAfterDelivery(match ? QStringLiteral("Verify ok") : QStringLiteral("Verify Error!!"));
}
