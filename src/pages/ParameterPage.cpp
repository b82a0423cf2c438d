#include "ParameterPage.h"

#include "DigitEdit.h"
#include "Frame.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"
#include "PageWidgets.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

QComboBox* MakeList(QWidget* parent, const QStringList& items, int x, int y, int width) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    box->setGeometry(x, y, width, 20);
    box->setCurrentIndex(0);
    return box;
}

} // namespace

TParameterPage::TParameterPage(TPageHost& pageHost, QWidget* parent)
    : QWidget(parent), host(pageHost) {
    Panel2 = new QFrame(this);
    Panel2->setFrameShape(QFrame::StyledPanel);
    Panel2->setGeometry(16, 16, 400, 290);
    MakeLabel(Panel2, QStringLiteral("Value of Coin"), 90, 6);
    MakeLabel(Panel2, QStringLiteral("Disable"), 180, 6);
    MakeLabel(Panel2, QStringLiteral("[Yes/No]"), 180, 20);
    MakeLabel(Panel2, QStringLiteral("Sorter"), 250, 6);
    MakeLabel(Panel2, QStringLiteral("[A/B/C/D]"), 245, 20);
    MakeLabel(Panel2, QStringLiteral("Dipsw"), 310, 6);
    MakeLabel(Panel2, QStringLiteral("[3/4/5/6]"), 305, 20);

    Button7 = new QPushButton(QStringLiteral("Read"), this);
    Button7->setGeometry(16, 320, 75, 25);
    Button6 = new QPushButton(QStringLiteral("Save"), this);
    Button6->setGeometry(100, 320, 75, 25);
    Button9 = new QPushButton(QStringLiteral("Clear"), this);
    Button9->setGeometry(184, 320, 75, 25);
    Label7 = MakeLabel(this, QStringLiteral("Check Sum"), 16, 364);
    Label8 = new QLabel(this);
    Label8->setGeometry(90, 364, 40, 16);

    Memo1 = new TMemo(this);
    Memo1->setGeometry(440, 16, 700, 690);

    connect(Button7, &QPushButton::clicked, this, &TParameterPage::Button7Click);
    connect(Button6, &QPushButton::clicked, this, &TParameterPage::Button6Click);
    connect(Button9, &QPushButton::clicked, this, &TParameterPage::Button9Click);

    CreateChannelRows();
}

void TParameterPage::CreateChannelRows() {
    const QStringList yesNo{QStringLiteral("Yes"), QStringLiteral("No")};
    const QStringList sorters{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                              QStringLiteral("D")};
    QStringList dips;
    for (uint8_t d : DipPositions)
        dips << QString::number(d);

    for (int i = 0; i < ChannelCount; ++i) {
        const auto row = static_cast<size_t>(i);
        // The pulse row sits a little apart from the eight coin rows.
        const int top = i == ChannelCount - 1 ? 248 : 40 + 24 * i;
        const QString caption = i == ChannelCount - 1 ? QStringLiteral("Value of Pulse")
                                                      : QStringLiteral("Channel[%1]").arg(i + 1);
        // "Value of Pulse" is wider than the room before the edits; it starts further left.
        ChannelLabels[row] = MakeLabel(Panel2, caption, i == ChannelCount - 1 ? 6 : 20, top + 2);
        ValueEdits[row] = new TDigitEdit(Panel2);
        ValueEdits[row]->setGeometry(90, top, 60, 20);
        ValueEdits[row]->setMaxLength(5);
        ValueEdits[row]->setText(QStringLiteral("0"));
        if (i < ChannelCount - 1) {
            DisableBoxes[row] = MakeList(Panel2, yesNo, 180, top, 50);
            DisableBoxes[row]->setCurrentIndex(1);
            SorterBoxes[row] = MakeList(Panel2, sorters, 250, top, 35);
            DipBoxes[row] = MakeList(Panel2, dips, 310, top, 35);
        }
    }
}

void TParameterPage::Button7Click() {
    host.FrameBuffer()[PayloadOffset] = Request::ParameterKey;
    SendRequest(host, Request::ReadParameters, 1, TLogTarget::Parameters);
}

void TParameterPage::Button9Click() {
    Memo1->Clear();
}

void TParameterPage::Button6Click() {
    for (int i = 0; i < ChannelCount; ++i) {
        const auto row = static_cast<size_t>(i);
        const QString text = ValueEdits[row]->text();
        bool isNumber = false;
        const int value = text.trimmed().toInt(&isNumber, 10);
        if (!isNumber) {
            // The channels before this one are written; the rest and the store are not.
            Messages::Show(
                this, {QStringLiteral("'%1' is not a valid integer value").arg(text),
                       QStringLiteral("Error"),
                       QStringLiteral("%1: nothing more was sent.").arg(ChannelLabels[row]->text()),
                       false});
            return;
        }
        if (value > MaxCoinValue || value < 0) {
            const QString why = value > MaxCoinValue
                                    ? QStringLiteral("%1: %2 is above %3, not sent.")
                                          .arg(ChannelLabels[row]->text())
                                          .arg(value)
                                          .arg(MaxCoinValue)
                                    : QStringLiteral("%1: %2 is below 0, not sent.")
                                          .arg(ChannelLabels[row]->text())
                                          .arg(value);
            Messages::Show(this,
                           {QStringLiteral("Out of Range"), QStringLiteral("Error"), why, false});
            continue;
        }

        uint8_t disable = 0;
        uint8_t sorter = 0;
        uint8_t dip = 0;
        if (i < ChannelCount - 1) {
            disable = DisableBoxes[row]->currentText() == QLatin1String("No") ? 0 : 1;
            sorter = static_cast<uint8_t>(std::max(0, SorterBoxes[row]->currentIndex()));
            dip = DipPositions[static_cast<size_t>(std::max(0, DipBoxes[row]->currentIndex()))];
        } else {
            disable = PulseRecordTail[0];
            sorter = PulseRecordTail[1];
            dip = PulseRecordTail[2];
        }
        const auto frame = BuildChannelFrame(i, static_cast<uint16_t>(value), disable, sorter, dip);
        for (uint8_t b : frame) {
            // A port that takes no data ends the Save: the records after this one and
            // the store request are not sent (the window tells why).
            if (!host.OutputChar(static_cast<char>(b)))
                return;
        }
        Memo1->AppendLine(HexLine(QStringLiteral("TX:"), frame));
        host.BlockingWait(10);
    }
    host.BlockingWait(100);
    host.FrameBuffer()[PayloadOffset] = Request::ParameterKey;
    SendRequest(host, Request::StoreParameters, 1, TLogTarget::Parameters);
}

std::span<const int> TParameterPage::ReadModes() const {
    static constexpr std::array modes{Mode::ParameterTable, Mode::SaveAnswer};
    return modes;
}

void TParameterPage::LogTx(TLogTarget, std::span<const uint8_t> frame) {
    Memo1->InsertFirstLine(HexLine(QStringLiteral("TX: "), frame));
}

void TParameterPage::ReadDelivery(int mode, std::span<const uint8_t> bytes) {
    ReadReplies(host, mode, bytes, [&](TReplyEnd, std::span<const uint8_t> reply) {
        if (mode == Mode::ParameterTable) {
            if (IsTableCheckByte(reply[0])) {
                ShowTable(reply);
                Memo1->AppendLine(HexLine(QStringLiteral("RX: "), reply));
                Memo1->AppendLine(QString());
            }
            Label8->setText(HexDigitText(reply[0] >> 4) + HexDigitText(reply[0] & 0x0F));
        } else if (mode == Mode::SaveAnswer && reply[0] == FrameStart) {
            Memo1->AppendLine(HexLine(QStringLiteral("RX: "), reply));
            Memo1->AppendLine(QString());
        }
        host.SetOperationMode(Mode::Idle);
    });
}

void TParameterPage::ShowTable(std::span<const uint8_t> table) {
    const auto channels = DecodeParameterTable(table);
    for (int n = 0; n < ChannelCount; ++n) {
        const auto row = static_cast<size_t>(n);
        const TChannelView& c = channels[row];
        ValueEdits[row]->setText(QString::number(c.value));
        if (n == ChannelCount - 1) {
            PulseRecordTail = c.tail;
            continue;
        }
        DisableBoxes[row]->setCurrentIndex(c.disabled ? 0 : 1);
        if (c.sorterIndex)
            SorterBoxes[row]->setCurrentIndex(*c.sorterIndex);
        if (c.dipIndex)
            DipBoxes[row]->setCurrentIndex(*c.dipIndex);
    }
}
