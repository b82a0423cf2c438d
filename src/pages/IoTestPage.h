// The "I/O Test" page: the sensor poll's log. The sensor table and output buttons
// come with the poll's reader.
#pragma once

#include <QWidget>

class QPushButton;
class TMemo;

class TIoTestPage : public QWidget {
public:
    explicit TIoTestPage(QWidget* parent = nullptr);

    void Button10Click(); // Clear

    TMemo* Memo4 = nullptr;
    QPushButton* Button10 = nullptr;
};
