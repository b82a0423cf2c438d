// The "Get_Wave" page, where the board's sensor waveforms are captured and plotted.
#pragma once

#include <QWidget>

class TWavePage : public QWidget {
public:
    explicit TWavePage(QWidget* parent = nullptr) : QWidget(parent) {}
};
