#include "DigitEdit.h"

#include <QKeyEvent>

void TDigitEdit::keyPressEvent(QKeyEvent* event) {
    // Keys that type a character are filtered; cursor keys, shortcuts and control
    // characters such as backspace pass.
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
        for (QChar c : typed) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}
