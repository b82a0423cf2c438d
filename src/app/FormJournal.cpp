// The main window's line journal: its check box in the top row, and the events that
// the receive handler and the senders hand it.
#include "Form1.h"
#include "Messages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

void TForm1::CreateJournalBox(QWidget* parent) {
    // In the free room of the top row, between End Port and Quit.
    JournalBox = new QCheckBox(QStringLiteral("Line journal"), parent);
    JournalBox->setGeometry(248, 8, 480, 25);
    JournalD = [this] {
        const QString proposed =
            QStringLiteral("journal-%1.txt")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")));
        return QFileDialog::getSaveFileName(this, QStringLiteral("Line journal"), proposed,
                                            QStringLiteral("Line journal (*.txt)"));
    };
    ShowJournal();
    connect(JournalBox, &QCheckBox::clicked, this, &TForm1::JournalBoxClick);
}

bool TForm1::StartJournal(const QString& path, QString& error) {
    auto writer = std::make_unique<TJournalWriter>();
    if (!writer->Open(path, Journal::WriterText(QCoreApplication::arguments()), error))
        return false;
    journal = std::move(writer);
    ShowJournal();
    return true;
}

void TForm1::StopJournal() {
    journal.reset();
    ShowJournal();
}

void TForm1::ShowJournal() {
    JournalBox->setChecked(journal != nullptr);
    JournalBox->setText(
        journal ? QStringLiteral("Line journal: %1").arg(QFileInfo(journal->Path()).fileName())
                : QStringLiteral("Line journal"));
    JournalBox->setToolTip(
        journal ? QDir::toNativeSeparators(journal->Path())
                : QStringLiteral("Record every byte read from and written to the port in a file"));
}

void TForm1::JournalBoxClick(bool checked) {
    if (!checked) {
        StopJournal();
        return;
    }
    const QString path = JournalD ? JournalD() : QString();
    QString error;
    if (!path.isEmpty() && !StartJournal(path, error))
        Messages::Show(this, {QStringLiteral("The line journal could not be started."), QString(),
                              error, false});
    ShowJournal();
}

void TForm1::WriteJournal(TJournalDirection direction, std::span<const uint8_t> bytes) {
    if (!journal || journal->Write(direction, bytes))
        return;
    // A full disk or a folder gone: the work goes on without the journal, and the user
    // is told once, after the poll tick or the click that found it.
    const QString error = journal->Error();
    StopJournal();
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            Messages::Show(this,
                           {QStringLiteral("The line journal stopped."), QString(), error, false});
        },
        Qt::QueuedConnection);
}
