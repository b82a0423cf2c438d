// Small helpers the pages share for placing design-time controls.
#pragma once

#include <QLabel>

// A label at (x, y), sized to its text.
inline QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}
