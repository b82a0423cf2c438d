#include "IoTestPage.h"

#include "Memo.h"

#include <QPushButton>

TIoTestPage::TIoTestPage(QWidget* parent) : QWidget(parent) {
    Memo4 = new TMemo(this);
    Memo4->setGeometry(584, 80, 555, 590);
    Button10 = new QPushButton(QStringLiteral("Clear"), this);
    Button10->setGeometry(584, 680, 75, 25);
    connect(Button10, &QPushButton::clicked, this, &TIoTestPage::Button10Click);
}

void TIoTestPage::Button10Click() {
    Memo4->Clear();
}
