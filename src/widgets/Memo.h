// A read-only log memo. Most logs put the newest line on top; the parameter page also
// appends at the bottom. It holds its lines in a capped store and paints only the lines
// in view, so a full memo costs no more per line than an empty one; the view and its
// scroll bars follow the lines at most ten times a second.
#pragma once

#include "LogLines.h"

#include <QAbstractScrollArea>
#include <QStringList>
#include <QTimer>

class TMemo : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Enough for hours of streaming at one line per 10 ms receive event.
    static constexpr int DefaultLineLimit = 20000;

    // A place in the text: a line (0 is the top line) and a character in it.
    struct TTextPoint {
        qsizetype line = 0;
        qsizetype column = 0;
        // clang-tidy takes the defaulted comparison's 0 for a null pointer.
        auto operator<=>(const TTextPoint&) const = default; // NOLINT(modernize-use-nullptr)
    };

    explicit TMemo(QWidget* parent = nullptr);

    void InsertFirstLine(const QString& line);
    void AppendLine(const QString& line);
    void Clear();
    // The lines top to bottom; an empty memo has none.
    QStringList Lines() const;
    QString FirstLine() const;
    qsizetype LineCount() const { return static_cast<qsizetype>(store.Count()); }
    const QString& Line(qsizetype index) const { return store.At(static_cast<size_t>(index)); }
    void SetLineLimit(int limit);

    // Selection, from the anchor to the cursor in either direction.
    void SetSelection(TTextPoint anchor, TTextPoint cursor);
    void SelectAll();
    void ClearSelection();
    bool HasSelection() const { return selectionAnchor != selectionCursor; }
    TTextPoint SelectionStart() const { return std::min(selectionAnchor, selectionCursor); }
    TTextPoint SelectionEnd() const { return std::max(selectionAnchor, selectionCursor); }
    TTextPoint Cursor() const { return selectionCursor; }
    QString SelectedText() const;
    void Copy() const;

    // The whole text as one string (lines joined by line breaks) and its offsets.
    QString Text(qsizetype from, qsizetype to) const;
    qsizetype CharacterCount() const;
    qsizetype OffsetOf(TTextPoint point) const;
    TTextPoint PointAt(qsizetype offset) const;

    // The view: the top line shown, the character under a viewport position and the
    // viewport rectangle of a character.
    qsizetype TopLine() const;
    void ScrollToLine(qsizetype line);
    TTextPoint PointAtPosition(QPoint position) const;
    QRect CharacterRect(TTextPoint point) const;

Q_SIGNALS:
    // A paint drew the lines `first` to `last`: when a line reached the screen.
    void LinesPainted(qsizetype first, qsizetype last);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    qsizetype PageLines() const;
    qsizetype MaxTopLine() const;
    // Drops lines over the cap, keeps `top` on the same line; true if one was in view.
    bool DropOldestOverLimit(qsizetype& top);
    void ShiftSelection(qsizetype from, qsizetype by);
    // Sets the top line and asks for a repaint; `rowsMoved` says the rows in view only
    // moved by that many (down is positive) for a repaint of just the new rows.
    void PlaceView(qsizetype top, bool changedInView, int rowsMoved = 0);
    // Brings the scroll bars to the lines and the top line before the reader uses them;
    // the throttled repaint (`onlyIfSeen`) leaves the vertical bar be while its look
    // would not change.
    void SyncScrollBars(bool onlyIfSeen = false);
    void ScheduleRepaint();
    void RepaintTimeout();
    void Repaint();
    void RepaintAll();
    void UpdateMetrics();
    void ExtendSelectionTo(QPoint position);
    void NotifyInserted(qsizetype offset, const QString& text); // for screen readers

    TLogLines store{DefaultLineLimit};
    qsizetype topLine = 0; // the view's own; the scroll bar follows it when synced
    bool barsStale = false;
    TTextPoint selectionAnchor;
    TTextPoint selectionCursor;
    bool dragging = false;
    bool wholeLines = false; // a drag that began with a double click picks whole lines
    int lineHeight = 1;
    int characterWidth = 1;
    int margin = 3;
    // Lines may arrive a hundred times a second, faster than anyone reads them as they
    // scroll by: the first change after a quiet spell is painted at once, the ones
    // after it within the interval together when it ends.
    QTimer repaintTimer;
    bool repaintPending = false;
    int pendingRows = 0;
    bool fullRepaint = false;
};
