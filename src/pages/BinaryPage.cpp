#include "BinaryPage.h"

#include "Memo.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

TBinaryPage::TBinaryPage(QWidget* parent) : QWidget(parent) {
    GroupBox1 = new QGroupBox(QStringLiteral("  Read Binary  "), this);
    GroupBox1->setGeometry(16, 200, 250, 140);

    Memo5 = new TMemo(this);
    Memo5->setGeometry(300, 16, 400, 330);
    Memo6 = new TMemo(this);
    Memo6->setGeometry(720, 16, 420, 330);
    Memo7 = new TMemo(this);
    Memo7->setGeometry(300, 360, 840, 310);
    Clear = new QPushButton(QStringLiteral("Clear"), this);
    Clear->setGeometry(300, 680, 75, 25);
    connect(Clear, &QPushButton::clicked, this, &TBinaryPage::ClearClick);
}

void TBinaryPage::ClearClick() {
    Memo5->Clear();
    Memo6->Clear();
    Memo7->Clear();
}
