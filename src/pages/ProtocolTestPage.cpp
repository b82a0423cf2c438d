#include "ProtocolTestPage.h"

#include "Frame.h"
#include "Memo.h"
#include "Modes.h"
#include "PageWidgets.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

const QColor TProtocolTestPage::Lime(0, 255, 0);
const QColor TProtocolTestPage::Yellow(255, 255, 0);
const QColor TProtocolTestPage::Aqua(0, 255, 255);

namespace {

QFont StatusFont() {
    QFont font = QApplication::font();
    font.setPointSize(12);
    font.setBold(true);
    return font;
}

QToolButton* MakeIconButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& hint,
                            int x) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(28, 28));
    button->setToolTip(hint);
    button->setGeometry(x, 16, 41, 41);
    return button;
}

// The monitor's rows are 16 pixels apart; a label no taller than that keeps its lit
// background from covering the row below.
void PlaceStatusLabel(QLabel* label, int x, int y) {
    label->adjustSize();
    label->setGeometry(x, y, label->width(), 16);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

} // namespace

QColor TProtocolTestPage::OffColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::Shadow);
}

TProtocolTestPage::TProtocolTestPage(TPageHost& pageHost, QWidget* parent)
    : QWidget(parent), host(pageHost) {
    SB_dis = MakeIconButton(this, QStyle::SP_MediaStop, QStringLiteral("Disable KRU2"), 16);
    SB_en = MakeIconButton(this, QStyle::SP_MediaPlay, QStringLiteral("Enable KRU2"), 62);
    SB_status = MakeIconButton(this, QStyle::SP_MessageBoxQuestion,
                               QStringLiteral("Request KRU2 Status"), 108);
    SB_Ver = new QToolButton(this);
    SB_Ver->setText(QStringLiteral("Ver"));
    SB_Ver->setToolTip(QStringLiteral("Read Firmware Version"));
    SB_Ver->setGeometry(154, 16, 41, 41);
    SB_reset = MakeIconButton(this, QStyle::SP_BrowserReload, QStringLiteral("Reset"), 200);

    SpeedButton1 = new QPushButton(QStringLiteral("Get ID"), this);
    SpeedButton1->setGeometry(264, 16, 81, 25);
    Label81 = new QLabel(this);
    QFont idFont = QApplication::font();
    idFont.setPointSize(14);
    idFont.setBold(true);
    Label81->setFont(idFont);
    Label81->setGeometry(356, 14, 240, 28);

    SpeedButton2 = new QPushButton(QStringLiteral("Get DIPSW"), this);
    SpeedButton2->setGeometry(264, 48, 81, 25);
    Edit4 = new QLineEdit(QStringLiteral("00000000"), this);
    Edit4->setReadOnly(true);
    Edit4->setMaxLength(8);
    QFont dipFont = QApplication::font();
    dipFont.setBold(true);
    Edit4->setFont(dipFont);
    QPalette dipPalette = Edit4->palette();
    dipPalette.setColor(QPalette::Text, Qt::gray);
    Edit4->setPalette(dipPalette);
    Edit4->setGeometry(356, 50, 90, 22);

    BuildMonitor();

    MakeLabel(this, QStringLiteral("PC to KRV2"), 16, 348);
    Memo2 = new TMemo(this);
    Memo2->setGeometry(16, 366, 555, 340);
    MakeLabel(this, QStringLiteral("KRV2 to PC"), 584, 348);
    Memo3 = new TMemo(this);
    Memo3->setGeometry(584, 366, 555, 340);

    Button11 = new QPushButton(QStringLiteral("Start"), this);
    Button11->setGeometry(700, 96, 90, 28);
    Button13 = new QPushButton(QStringLiteral("Clear"), this);
    Button13->setGeometry(800, 96, 90, 28);
    QFont countFont = QApplication::font();
    countFont.setPointSize(16);
    countFont.setBold(true);
    const char* names[] = {"PASS", "NOPASS", "PERCENT"};
    std::array<QLabel*, 3> values{};
    for (int i = 0; i < 3; ++i) {
        auto* caption = MakeLabel(this, QString::fromLatin1(names[i]), 700, 148 + 44 * i);
        caption->setFont(countFont);
        caption->adjustSize();
        values[static_cast<size_t>(i)] = new QLabel(QStringLiteral("0"), this);
        values[static_cast<size_t>(i)]->setFont(countFont);
        values[static_cast<size_t>(i)]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        values[static_cast<size_t>(i)]->setGeometry(830, 144 + 44 * i, 120, 32);
    }
    Label45 = values[0];
    Label60 = values[1];
    Label61 = values[2];

    connect(SB_dis, &QToolButton::clicked, this, &TProtocolTestPage::SB_disClick);
    connect(SB_en, &QToolButton::clicked, this, &TProtocolTestPage::SB_enClick);
    connect(SB_status, &QToolButton::clicked, this, &TProtocolTestPage::SB_statusClick);
    connect(SB_Ver, &QToolButton::clicked, this, &TProtocolTestPage::SB_VerClick);
    connect(SB_reset, &QToolButton::clicked, this, &TProtocolTestPage::SB_resetClick);
    connect(SpeedButton1, &QPushButton::clicked, this, &TProtocolTestPage::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &TProtocolTestPage::SpeedButton2Click);
    connect(Button11, &QPushButton::clicked, this, &TProtocolTestPage::Button11Click);
    connect(Button13, &QPushButton::clicked, this, &TProtocolTestPage::Button13Click);

    CreateStatusLabels();
}

void TProtocolTestPage::BuildMonitor() {
    Panel3 = new QFrame(this);
    Panel3->setFrameShape(QFrame::StyledPanel);
    Panel3->setGeometry(16, 96, 660, 236);
    auto* title = MakeLabel(Panel3, QStringLiteral("Communication Monitor"), 8, 8);
    QFont titleFont = QApplication::font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->adjustSize();
    MakeLabel(Panel3, QStringLiteral("Normal Status"), 8, 56);
    MakeLabel(Panel3, QStringLiteral("Error Status"), 168, 56);
    MakeLabel(Panel3, QStringLiteral("Accepting Status"), 312, 56);
    MakeLabel(Panel3, QStringLiteral("Other Status"), 504, 56);

    auto status = [this](const QString& text, int x, int y) {
        auto* label = new QLabel(text, Panel3);
        label->setFont(StatusFont());
        label->setAutoFillBackground(true);
        PlaceStatusLabel(label, x, y);
        SetLit(label, QColor());
        return label;
    };
    idling = status(MonitorLabelText(mlIdling), 32, 80);
    accepting = status(MonitorLabelText(mlAccepting), 16, 96);
    disable = status(MonitorLabelText(mlDisable), 24, 112);
    ack = status(MonitorLabelText(mlAck), 528, 80);
    nak = status(MonitorLabelText(mlNak), 528, 96);
    invalid = status(MonitorLabelText(mlInvalid), 512, 112);
}

void TProtocolTestPage::CreateStatusLabels() {
    auto make = [this](const QString& text, int x, int y) {
        auto* label = new QLabel(text, Panel3);
        label->setFont(StatusFont());
        label->setAutoFillBackground(true);
        PlaceStatusLabel(label, x, y);
        SetLit(label, QColor());
        label->show();
        return label;
    };
    for (size_t n = 0; n < SensorErrorLabels.size(); ++n) {
        if (SensorErrorLabels[n]) {
            SensorErrorLabels[n]->hide();
            SensorErrorLabels[n]->deleteLater();
        }
        SensorErrorLabels[n] =
            make(MonitorLabelText(static_cast<TMonitorLabel>(mlSen1 + static_cast<int>(n))), 152,
                 80 + 16 * static_cast<int>(n));
    }
    for (size_t n = 0; n < CoinLabels.size(); ++n) {
        if (CoinLabels[n]) {
            CoinLabels[n]->hide();
            CoinLabels[n]->deleteLater();
        }
        CoinLabels[n] =
            make(MonitorLabelText(static_cast<TMonitorLabel>(mlCoin1 + static_cast<int>(n))), 350,
                 80 + 16 * static_cast<int>(n));
    }
}

QLabel* TProtocolTestPage::MonitorLabel(TMonitorLabel label) const {
    if (label >= mlSen1 && label < mlSen1 + 6)
        return SensorErrorLabels[static_cast<size_t>(label - mlSen1)];
    if (label >= mlCoin1 && label < mlCoin1 + 8)
        return CoinLabels[static_cast<size_t>(label - mlCoin1)];
    switch (label) {
    case mlIdling:
        return idling;
    case mlAccepting:
        return accepting;
    case mlDisable:
        return disable;
    case mlAck:
        return ack;
    case mlNak:
        return nak;
    case mlInvalid:
        return invalid;
    default:
        return nullptr;
    }
}

QColor TProtocolTestPage::LabelColour(TMonitorLabel label) const {
    const QLabel* l = MonitorLabel(label);
    return l ? l->palette().color(QPalette::Window) : QColor();
}

void TProtocolTestPage::SetLit(QLabel* label, const QColor& colour) {
    QPalette p = label->palette();
    if (colour.isValid()) {
        p.setColor(QPalette::Window, colour);
        p.setColor(QPalette::WindowText, Qt::black);
    } else {
        // Dark grey when off; light text keeps the caption readable on it.
        p.setColor(QPalette::Window, OffColour());
        p.setColor(QPalette::WindowText, QColor(200, 200, 200));
    }
    label->setPalette(p);
}

void TProtocolTestPage::AllOff() {
    for (int l = 0; l < mlCount; ++l)
        SetLit(MonitorLabel(static_cast<TMonitorLabel>(l)), QColor());
}

void TProtocolTestPage::SendSimple(const TRequest& request) {
    SendRequest(host, request, 0, TLogTarget::ProtocolTx);
}

std::span<const int> TProtocolTestPage::ReadModes() const {
    static constexpr std::array modes{Mode::Version, Mode::Monitor, Mode::DeviceId,
                                      Mode::DipSwitch};
    return modes;
}

void TProtocolTestPage::LogTx(TLogTarget target, std::span<const uint8_t> frame) {
    (target == TLogTarget::ProtocolRx ? Memo3 : Memo2)
        ->InsertFirstLine(HexLine(QStringLiteral("TX: "), frame));
}

void TProtocolTestPage::SB_disClick() {
    SendSimple(Request::Disable);
    CoinCountEnabled = false;
}

void TProtocolTestPage::SB_enClick() {
    SendSimple(Request::Enable);
    CoinCountEnabled = true;
}

void TProtocolTestPage::SB_statusClick() {
    SendSimple(Request::Status);
}
void TProtocolTestPage::SB_VerClick() {
    SendSimple(Request::Version);
}
void TProtocolTestPage::SB_resetClick() {
    SendSimple(Request::Reset);
}

void TProtocolTestPage::SpeedButton1Click() {
    Label81->clear();
    SendSimple(Request::DeviceId);
}

void TProtocolTestPage::SpeedButton2Click() {
    SendSimple(Request::DipSwitch);
    QPalette p = Edit4->palette();
    p.setColor(QPalette::Text, QColor(0, 128, 0));
    Edit4->setPalette(p);
}

void TProtocolTestPage::Button11Click() {
    host.SetOperationMode(Mode::Monitor);
    // The counting test is started by two raw bytes, not a frame.
    if (host.OutputChar(static_cast<char>(Request::RawPrefix)))
        host.OutputChar(static_cast<char>(Request::RawStartCounting));
    CoinCountEnabled = true;
}

void TProtocolTestPage::Button13Click() {
    Tally.Clear();
    Label45->setText(QStringLiteral("0"));
    Label60->setText(QStringLiteral("0"));
    Label61->setText(QStringLiteral("0"));
}

void TProtocolTestPage::ReadDelivery(int mode, std::span<const uint8_t> bytes) {
    switch (mode) {
    case Mode::Monitor:
        ReadMonitor(bytes);
        break;
    case Mode::Version:
    case Mode::DeviceId:
        ReadText(mode, bytes);
        break;
    case Mode::DipSwitch:
        ReadDip(bytes);
        break;
    default:
        break;
    }
}

void TProtocolTestPage::ReadMonitor(std::span<const uint8_t> bytes) {
    // The monitor shows what the delivery brought: every reply completed in it.
    AllOff();
    ReadReplies(host, Mode::Monitor, bytes,
                [&](TReplyEnd, std::span<const uint8_t> reply) { ShowMonitorReply(reply); });
}

void TProtocolTestPage::ShowMonitorReply(std::span<const uint8_t> reply) {
    const TMonitorResult r = DecodeMonitorReply(reply, CoinCountEnabled);
    for (int l = 0; l < mlCount; ++l) {
        if (!r.lit.test(static_cast<size_t>(l)))
            continue;
        const QColor colour = l >= mlCoin1 && l < mlCoin1 + 8 ? Aqua : l >= mlAck ? Yellow : Lime;
        SetLit(MonitorLabel(static_cast<TMonitorLabel>(l)), colour);
    }
    if (Tally.Count(r)) {
        Label45->setText(QString::number(Tally.PassCount));
        Label60->setText(QString::number(Tally.NoPassCount));
        if (const auto percent = Tally.PercentText())
            Label61->setText(*percent);
    }
    if (r.logLength > 0)
        Memo3->InsertFirstLine(
            HexLine(QStringLiteral("RX: "), reply.first(static_cast<size_t>(r.logLength))));
}

void TProtocolTestPage::ReadText(int mode, std::span<const uint8_t> bytes) {
    ReadReplies(host, mode, bytes, [&](TReplyEnd end, std::span<const uint8_t> reply) {
        // A short answer (a NAK) has nothing to show; either way the mode ends.
        if (end == TReplyEnd::Complete && SumMatches(reply, 15)) {
            if (mode == Mode::Version)
                host.ShowFirmwareVersion(TextReplyChars(reply));
            else
                Label81->setText(TextReplyChars(reply));
        }
        host.SetOperationMode(Mode::Idle);
        Memo3->InsertFirstLine(HexLine(QStringLiteral("RX: "), reply));
    });
}

void TProtocolTestPage::ReadDip(std::span<const uint8_t> bytes) {
    ReadReplies(host, Mode::DipSwitch, bytes, [&](TReplyEnd, std::span<const uint8_t> reply) {
        if (reply.size() == 6 && SumMatches(reply, 6))
            Edit4->setText(BitsMsbFirst(reply[3]));
        host.SetOperationMode(Mode::Idle);
        Memo3->InsertFirstLine(HexLine(QStringLiteral("RX: "), reply));
    });
}
