#include "IoTestPage.h"

#include "Frame.h"
#include "Memo.h"
#include "Modes.h"
#include "PageWidgets.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

const QColor TIoTestPage::Within(0, 0, 0);
const QColor TIoTestPage::Outside(255, 0, 0);

TIoTestPage::TIoTestPage(TPageHost& pageHost, QTimer& timer1, QWidget* parent)
    : QWidget(parent), host(pageHost), Timer1(timer1) {
    struct TButtonDesign {
        QPushButton** button;
        const char* caption;
        void (TIoTestPage::*click)();
    };
    const TButtonDesign buttons[] = {
        {&BitBtn9, "Test Mode", &TIoTestPage::BitBtn9Click},
        {&BitBtn10, "Stop", &TIoTestPage::BitBtn10Click},
        {&BitBtn7, "Sol 1", &TIoTestPage::BitBtn7Click},
        {&BitBtn8, "Sol 2", &TIoTestPage::BitBtn8Click},
        {&BitBtn4, "Sol 3", &TIoTestPage::BitBtn4Click},
        {&BitBtn5, "Sol1 Control", &TIoTestPage::BitBtn5Click},
        {&BitBtn6, "Credit/Meter", &TIoTestPage::BitBtn6Click},
        {&BitBtn3, "LED Green", &TIoTestPage::BitBtn3Click},
        {&BitBtn2, "LED Red", &TIoTestPage::BitBtn2Click},
        {&BitBtn1, "LED Orange", &TIoTestPage::BitBtn1Click},
    };
    int x = 16;
    for (const TButtonDesign& design : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(design.caption), this);
        button->setGeometry(x, 16, 97, 41);
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, this, design.click);
        *design.button = button;
        x += 103;
    }
    BitBtn9->setEnabled(true);

    BuildSensorTable();

    Memo4 = new TMemo(this);
    Memo4->setGeometry(584, 80, 555, 590);
    Button10 = new QPushButton(QStringLiteral("Clear"), this);
    Button10->setGeometry(584, 680, 75, 25);
    connect(Button10, &QPushButton::clicked, this, &TIoTestPage::Button10Click);
}

void TIoTestPage::BuildSensorTable() {
    QFont headerFont = QApplication::font();
    headerFont.setBold(true);
    headerFont.setUnderline(true);
    headerFont.setPointSize(11);
    for (auto [text, x, y] :
         {std::tuple{"ITEM", 16, 92}, std::tuple{"Current Sensor Status", 180, 76},
          std::tuple{"NOW", 200, 92}}) {
        QLabel* header = MakeLabel(this, QString::fromLatin1(text), x, y);
        header->setFont(headerFont);
        header->adjustSize();
    }

    QFont itemFont = QApplication::font();
    itemFont.setPointSize(11);
    QFont valueFont = itemFont;
    valueFont.setBold(true);
    valueFont.setPointSize(13);
    for (int i = 0; i < SensorItemCount; ++i) {
        const TSensorItemInfo& row = SensorItems[static_cast<size_t>(i)];
        const int y = 124 + 42 * i;
        QLabel* item = MakeLabel(this, QString::fromLatin1(row.item), 16, y);
        item->setFont(itemFont);
        item->adjustSize();
        auto* value = new QLabel(QString::fromLatin1(row.placeholder), this);
        value->setFont(valueFont);
        value->setGeometry(200, y - 4, 140, 28);
        ValueLabels[static_cast<size_t>(i)] = value;
        if (row.reference[0] != '\0') {
            QLabel* reference = MakeLabel(this, QString::fromLatin1(row.reference), 360, y);
            reference->setFont(itemFont);
            reference->adjustSize();
            if (i == 7) {
                Label59 = reference;
                reference->hide();
            }
        }
    }
}

void TIoTestPage::SetPolling(bool polling) {
    BitBtn9->setEnabled(!polling);
    for (QPushButton* b :
         {BitBtn10, BitBtn7, BitBtn8, BitBtn4, BitBtn5, BitBtn6, BitBtn3, BitBtn2, BitBtn1})
        b->setEnabled(polling);
}

void TIoTestPage::ShowStopped() {
    SetPolling(false);
    BitBtn5->setText(QStringLiteral("Sol1 Control\nOFF "));
}

void TIoTestPage::BitBtn9Click() {
    // The first poll follows one interval later.
    Timer1.start();
    SetPolling(true);
}

void TIoTestPage::BitBtn10Click() {
    Timer1.stop();
    host.SetOperationMode(Mode::Idle);
    SetPolling(false);
}

void TIoTestPage::SendOutput(uint8_t code, uint8_t value) {
    TFrameBuffer& buffer = host.FrameBuffer();
    buffer[PayloadOffset] = code;
    buffer[PayloadOffset + 1] = value;
    SendRequest(host, Request::SetOutput, 2, TLogTarget::IoTest);
}

std::span<const int> TIoTestPage::ReadModes() const {
    static constexpr std::array modes{Mode::SensorReport};
    return modes;
}

void TIoTestPage::LogTx(TLogTarget, std::span<const uint8_t> frame) {
    Memo4->InsertFirstLine(HexLine(QStringLiteral("TX: "), frame));
}

void TIoTestPage::BitBtn7Click() {
    SendOutput(0x01, 0x00);
}
void TIoTestPage::BitBtn8Click() {
    SendOutput(0x02, 0x00);
}
void TIoTestPage::BitBtn4Click() {
    SendOutput(0x03, 0x00);
}
void TIoTestPage::BitBtn6Click() {
    SendOutput(0x05, 0x00);
}
void TIoTestPage::BitBtn3Click() {
    SendOutput(0x06, 0x00);
}
void TIoTestPage::BitBtn2Click() {
    SendOutput(0x07, 0x00);
}
void TIoTestPage::BitBtn1Click() {
    SendOutput(0x08, 0x00);
}

void TIoTestPage::BitBtn5Click() {
    // Output 0x07, the code "LED Red" uses too; each press commands the opposite.
    uint8_t value = 0x01;
    if (Sol1State) {
        value = 0x00;
        Sol1State = false;
        BitBtn5->setText(QStringLiteral("Sol1 Control\nOFF"));
    } else {
        Sol1State = true;
        BitBtn5->setText(QStringLiteral("Sol1 Control\nON"));
    }
    SendOutput(0x07, value);
}

void TIoTestPage::Button10Click() {
    Memo4->Clear();
}

QColor TIoTestPage::ValueColour(int item) const {
    return ValueLabels[static_cast<size_t>(item)]->palette().color(QPalette::WindowText);
}

void TIoTestPage::ReadDelivery(int mode, std::span<const uint8_t> bytes) {
    if (mode != Mode::SensorReport)
        return;
    ReadReplies(host, mode, bytes,
                [&](TReplyEnd, std::span<const uint8_t> reply) { OnReply(mode, reply); });
}

void TIoTestPage::OnReply(int mode, std::span<const uint8_t> reply) {
    if (mode != Mode::SensorReport || reply.size() < static_cast<size_t>(SensorReportLength))
        return;
    const auto items = DecodeSensorReport(reply);
    for (int i = 0; i < SensorItemCount; ++i) {
        const TSensorItem& item = items[static_cast<size_t>(i)];
        QLabel* label = ValueLabels[static_cast<size_t>(i)];
        label->setText(item.text);
        if (item.verdict == TVerdict::NotJudged)
            continue;
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, item.verdict == TVerdict::Within ? Within : Outside);
        label->setPalette(palette);
    }
    Memo4->InsertFirstLine(HexLine(QStringLiteral("RX: "), reply.first(SensorReportLength)));
}
