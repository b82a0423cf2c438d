#include "Memo.h"

#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

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
    if (!IsEmpty())
        cursor.insertBlock();
    topRun.push_front(++added);
    DropOldestOverLimit();
}

void TMemo::AppendLine(const QString& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!IsEmpty())
        cursor.insertBlock(); // an empty document still holds one (empty) block
    cursor.insertText(line);
    bottomRun.push_back(++added);
    DropOldestOverLimit();
}

void TMemo::Clear() {
    clear();
    topRun.clear();
    bottomRun.clear();
}

QStringList TMemo::Lines() const {
    if (IsEmpty())
        return {};
    return toPlainText().split(QLatin1Char('\n'));
}

QString TMemo::FirstLine() const {
    return document()->firstBlock().text();
}

void TMemo::SetLineLimit(int limit) {
    lineLimit = std::max(1, limit);
    DropOldestOverLimit();
}

void TMemo::DropOldestOverLimit() {
    // Each pass drops one counted line, so this ends whatever the lines hold.
    while (topRun.size() + bottomRun.size() > static_cast<size_t>(lineLimit)) {
        const bool fromTop =
            bottomRun.empty() || (!topRun.empty() && topRun.back() < bottomRun.front());
        const int number = static_cast<int>(topRun.size()) - (fromTop ? 1 : 0);
        RemoveLine(number);
        if (fromTop)
            topRun.pop_back();
        else
            bottomRun.pop_front();
    }
}

void TMemo::RemoveLine(int number) {
    const QTextBlock block = document()->findBlockByNumber(number);
    if (!block.isValid())
        return;
    QTextCursor cursor(document());
    if (block.next().isValid()) {
        // The line and the line break after it.
        cursor.setPosition(block.position());
        cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    } else if (block.previous().isValid()) {
        // The last line goes with the line break before it.
        const QTextBlock previous = block.previous();
        cursor.setPosition(previous.position() + previous.length() - 1);
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    } else {
        cursor.select(QTextCursor::Document);
    }
    cursor.removeSelectedText();
}
