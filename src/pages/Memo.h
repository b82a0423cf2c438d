// A read-only log memo. Most logs put the newest line on top; the parameter page
// also appends at the bottom. Long runs are capped by dropping the oldest lines.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>

class TMemo : public QPlainTextEdit {
public:
    // Enough for hours of streaming at one line per 10 ms receive event.
    static constexpr int DefaultLineLimit = 20000;

    explicit TMemo(QWidget* parent = nullptr);

    void InsertFirstLine(const QString& line);
    void AppendLine(const QString& line);
    void Clear();
    // The lines top to bottom; an empty memo has none.
    QStringList Lines() const;
    QString FirstLine() const;
    void SetLineLimit(int limit) { lineLimit = limit; }

private:
    void TrimBottom();
    void TrimTop();
    int lineLimit = DefaultLineLimit;
    bool empty = true; // an empty document still holds one block
};
