// The one way the tool shows a modal message box. Tests install a handler that sees
// what would have been shown and answers it, without a real modal loop.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

struct TMessage {
    QString text;
    QString caption;
    QString detail; // shown under the text; empty for none
    bool okCancel = false;
};

namespace Messages {
using THandler = std::function<QMessageBox::StandardButton(const TMessage&)>;

// Shows the box (or hands it to the installed handler) and returns the button pressed.
QMessageBox::StandardButton Show(QWidget* parent, const TMessage& message);
// Installs a handler; an empty one restores the real boxes.
void SetHandler(THandler handler);
} // namespace Messages
