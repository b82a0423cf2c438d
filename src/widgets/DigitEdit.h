// A one-line edit that takes only the digits 0 to 9 and backspace from the keyboard
// (pasting can still bring other text, which the page checks before it sends).
#pragma once

#include <QLineEdit>

class TDigitEdit : public QLineEdit {
public:
    explicit TDigitEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
