// The lines of a log memo, top to bottom, held without any widget. Lines come in at the
// top (newest first) or at the bottom (appended); a cap drops the oldest line, wherever
// it sits, and both ends grow and shrink in constant time.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>

class TLogLines {
public:
    explicit TLogLines(size_t limit) : lineLimit(limit < 1 ? 1 : limit) {}

    size_t Count() const { return lines.size(); }
    bool Empty() const { return lines.empty(); }
    const QString& At(size_t index) const { return lines[index].text; }
    size_t Limit() const { return lineLimit; }
    // The longest line seen since the last Clear, for the horizontal extent.
    qsizetype Widest() const { return widest; }

    void InsertFirst(const QString& line);
    void Append(const QString& line);
    void Clear();
    void SetLimit(size_t limit);
    // Drops the oldest line when over the cap and hands back where it was (top to
    // bottom) and its text, or returns false with nothing to drop. Callers loop until
    // it returns false.
    bool DropOldestOverLimit(size_t* index, QString* text);

private:
    struct TLine {
        QString text;
        uint64_t age; // order of arrival: a higher number came in later
    };
    // Lines inserted at the top sit above the appended ones, so the oldest line is
    // where the two runs meet: the last of the top run or the first of the bottom run.
    std::deque<TLine> lines;
    size_t topRun = 0;
    size_t lineLimit;
    uint64_t added = 0;
    qsizetype widest = 0;
};
