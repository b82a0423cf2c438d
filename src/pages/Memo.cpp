#include "Memo.h"

#include <QTextBlock>
#include <QTextCursor>

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
}

void TMemo::InsertFirstLine(const QString& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(line);
    if (!empty)
        cursor.insertBlock();
    empty = false;
    TrimBottom();
}

void TMemo::AppendLine(const QString& line) {
    if (empty) {
        QTextCursor(document()).insertText(line);
        empty = false;
        return;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(line);
    TrimTop();
}

void TMemo::Clear() {
    clear();
    empty = true;
}

QStringList TMemo::Lines() const {
    if (empty)
        return {};
    return toPlainText().split(QLatin1Char('\n'));
}
QString TMemo::FirstLine() const {
    return document()->firstBlock().text();
}

void TMemo::TrimBottom() {
    while (document()->blockCount() > lineLimit) {
        QTextCursor cursor(document()->lastBlock());
        cursor.select(QTextCursor::BlockUnderCursor);
        cursor.removeSelectedText();
    }
}

void TMemo::TrimTop() {
    while (document()->blockCount() > lineLimit) {
        QTextCursor cursor(document()->firstBlock());
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
}
