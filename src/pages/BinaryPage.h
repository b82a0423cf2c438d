// The "R/W Binary" page: the memory-image transfer logs and the receive log of every
// delivery from the board (Memo7). The transfer buttons come with their readers.
#pragma once

#include <QWidget>

class QGroupBox;
class QPushButton;
class TMemo;

class TBinaryPage : public QWidget {
public:
    explicit TBinaryPage(QWidget* parent = nullptr);

    void ClearClick();

    QGroupBox* GroupBox1 = nullptr; // "  Read Binary  ", hidden for the whole run
    TMemo* Memo5 = nullptr;         // TX lines in hex, ACK/NAK
    TMemo* Memo6 = nullptr;         // TX lines in decimal, ACK/NAK
    TMemo* Memo7 = nullptr;         // one RX line per receive event
    QPushButton* Clear = nullptr;
};
