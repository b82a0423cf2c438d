#include "LogLines.h"

#include <algorithm>
#include <utility>

void TLogLines::InsertFirst(const QString& line) {
    lines.push_front({line, ++added});
    ++topRun;
    widest = std::max(widest, line.size());
}

void TLogLines::Append(const QString& line) {
    lines.push_back({line, ++added});
    widest = std::max(widest, line.size());
}

void TLogLines::Clear() {
    lines.clear();
    topRun = 0;
    widest = 0;
}

void TLogLines::SetLimit(size_t limit) {
    lineLimit = std::max<size_t>(1, limit);
}

bool TLogLines::DropOldestOverLimit(size_t* index, QString* text) {
    if (lines.size() <= lineLimit)
        return false;
    const bool fromTop =
        topRun == lines.size() || (topRun > 0 && lines[topRun - 1].age < lines[topRun].age);
    const size_t at = fromTop ? topRun - 1 : topRun;
    *text = std::move(lines[at].text);
    // At either end of the store this is a pop; only a memo fed at both ends erases
    // inside, and then the shorter side moves.
    if (at == 0)
        lines.pop_front();
    else if (at == lines.size() - 1)
        lines.pop_back();
    else
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
    if (fromTop)
        --topRun;
    *index = at;
    return true;
}
