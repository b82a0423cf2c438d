// A read-only log memo. Most logs put the newest line on top; the parameter page
// also appends at the bottom. Long runs are capped by dropping the oldest lines.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>

#include <cstdint>
#include <deque>

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
    void SetLineLimit(int limit);

private:
    bool IsEmpty() const { return topRun.empty() && bottomRun.empty(); }
    void DropOldestOverLimit();
    void RemoveLine(int number);

    int lineLimit = DefaultLineLimit;
    // Lines inserted at the top sit above the lines appended at the bottom, so the
    // oldest line is where the two runs meet. Each run keeps when its lines came:
    // topRun from the first line down (newest first), bottomRun from its first line
    // down (oldest first).
    std::deque<uint64_t> topRun;
    std::deque<uint64_t> bottomRun;
    uint64_t added = 0;
};
