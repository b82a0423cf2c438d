#include "Messages.h"

#include <utility>

namespace {
Messages::THandler& Handler() {
    static Messages::THandler handler;
    return handler;
}
} // namespace

QMessageBox::StandardButton Messages::Show(QWidget* parent, const TMessage& message) {
    if (Handler())
        return Handler()(message);
    QMessageBox box(parent);
    box.setWindowTitle(message.caption);
    box.setText(message.text);
    if (!message.detail.isEmpty())
        box.setInformativeText(message.detail);
    box.setIcon(message.okCancel ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setStandardButtons(message.okCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                            : QMessageBox::Ok);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void Messages::SetHandler(THandler handler) {
    Handler() = std::move(handler);
}
