#include "Memo.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cstdlib>

namespace {

// What a screen reader reads: the lines as one read-only text, lines joined by line
// breaks, with the memo's selection as the text selection.
class TMemoAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TMemoAccessible(TMemo* memo) : QAccessibleWidget(memo, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return Memo()->Text(0, Memo()->CharacterCount());
        return QAccessibleWidget::text(t);
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = 0;
        if (selectionIndex != 0 || !Memo()->HasSelection())
            return;
        *startOffset = static_cast<int>(Memo()->OffsetOf(Memo()->SelectionStart()));
        *endOffset = static_cast<int>(Memo()->OffsetOf(Memo()->SelectionEnd()));
    }
    int selectionCount() const override { return Memo()->HasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int /*selectionIndex*/) override { Memo()->ClearSelection(); }
    void setSelection(int /*selectionIndex*/, int startOffset, int endOffset) override {
        Memo()->SetSelection(Memo()->PointAt(startOffset), Memo()->PointAt(endOffset));
    }
    int cursorPosition() const override {
        return static_cast<int>(Memo()->OffsetOf(Memo()->Cursor()));
    }
    void setCursorPosition(int position) override {
        const TMemo::TTextPoint at = Memo()->PointAt(position);
        Memo()->SetSelection(at, at);
    }
    QString text(int startOffset, int endOffset) const override {
        if (endOffset < 0)
            endOffset = static_cast<int>(Memo()->CharacterCount());
        return Memo()->Text(startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override {
        if (boundaryType != QAccessible::LineBoundary || Memo()->LineCount() == 0)
            return QAccessibleTextInterface::textAtOffset(offset, boundaryType, startOffset,
                                                          endOffset);
        const qsizetype line = Memo()->PointAt(offset).line;
        *startOffset = static_cast<int>(Memo()->OffsetOf({line, 0}));
        *endOffset = *startOffset + static_cast<int>(Memo()->Line(line).size());
        return Memo()->Line(line);
    }
    int characterCount() const override { return static_cast<int>(Memo()->CharacterCount()); }
    QRect characterRect(int offset) const override {
        const QRect rect = Memo()->CharacterRect(Memo()->PointAt(offset));
        return {Memo()->viewport()->mapToGlobal(rect.topLeft()), rect.size()};
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = Memo()->viewport()->mapFromGlobal(point);
        if (!Memo()->viewport()->rect().contains(local))
            return -1;
        return static_cast<int>(Memo()->OffsetOf(Memo()->PointAtPosition(local)));
    }
    void scrollToSubstring(int startIndex, int /*endIndex*/) override {
        Memo()->ScrollToLine(Memo()->PointAt(startIndex).line);
    }
    QString attributes(int /*offset*/, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    TMemo* Memo() const { return static_cast<TMemo*>(widget()); }
};

// What a vertical scroll bar shows: where its slider sits and whether it is at an end.
struct TBarLook {
    QRect slider;
    bool atTop = false;
    bool atBottom = false;
    bool operator==(const TBarLook&) const = default;
};

TBarLook LookOf(const QScrollBar* bar, int maximum, int pageStep, int value) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = Qt::Vertical;
    option.minimum = 0;
    option.maximum = maximum;
    option.sliderPosition = option.sliderValue = std::clamp(value, 0, maximum);
    option.singleStep = bar->singleStep();
    option.pageStep = pageStep;
    return {bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                         bar),
            option.sliderValue == 0, option.sliderValue == maximum};
}

QAccessibleInterface* MemoAccessibleFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("TMemo"))
        return nullptr;
    if (auto* memo = qobject_cast<TMemo*>(object))
        return new TMemoAccessible(memo); // QAccessible's cache owns its interfaces
    return nullptr;
}

} // namespace

TMemo::TMemo(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(MemoAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    repaintTimer.setSingleShot(true);
    repaintTimer.setInterval(100);
    connect(&repaintTimer, &QTimer::timeout, this, &TMemo::RepaintTimeout);
    // The bars lag the lines by up to one repaint interval: a reader's hand on a bar
    // finds them current.
    verticalScrollBar()->installEventFilter(this);
    horizontalScrollBar()->installEventFilter(this);
    UpdateMetrics();
}

void TMemo::InsertFirstLine(const QString& line) {
    const qsizetype top = TopLine();
    const bool following = top == 0; // a view at the top shows the new line
    store.InsertFirst(line);
    ShiftSelection(0, 1);
    if (QAccessible::isActive())
        NotifyInserted(0, LineCount() > 1 ? line + QLatin1Char('\n') : line);
    qsizetype newTop = following ? 0 : top + 1;
    const bool droppedInView = DropOldestOverLimit(newTop);
    // A view at the top moves its rows down one: only the new row needs painting.
    PlaceView(newTop, following || droppedInView, following && !droppedInView ? 1 : 0);
}

void TMemo::AppendLine(const QString& line) {
    const qsizetype top = TopLine();
    const bool following = top >= MaxTopLine(); // a view at the bottom follows it
    store.Append(line);
    if (QAccessible::isActive())
        NotifyInserted(CharacterCount() - line.size() - (LineCount() > 1 ? 1 : 0),
                       LineCount() > 1 ? QLatin1Char('\n') + line : line);
    const bool inView = following || LineCount() - 1 < top + PageLines();
    qsizetype newTop = top;
    const bool droppedInView = DropOldestOverLimit(newTop);
    if (following)
        newTop = MaxTopLine();
    const bool movedUp = following && !droppedInView && LineCount() > PageLines();
    PlaceView(newTop, inView || droppedInView, movedUp ? -1 : 0);
}

void TMemo::Clear() {
    if (QAccessible::isActive() && !store.Empty()) {
        QAccessibleTextUpdateEvent event(this, 0, Text(0, CharacterCount()), QString());
        QAccessible::updateAccessibility(&event);
    }
    store.Clear();
    selectionAnchor = selectionCursor = {};
    dragging = false;
    PlaceView(0, true);
}

QStringList TMemo::Lines() const {
    QStringList lines;
    lines.reserve(LineCount());
    for (size_t i = 0; i < store.Count(); ++i)
        lines.append(store.At(i));
    return lines;
}

QString TMemo::FirstLine() const {
    return store.Empty() ? QString() : store.At(0);
}

void TMemo::SetLineLimit(int limit) {
    store.SetLimit(static_cast<size_t>(std::max(1, limit)));
    qsizetype top = TopLine();
    DropOldestOverLimit(top);
    PlaceView(top, true);
}

bool TMemo::DropOldestOverLimit(qsizetype& top) {
    size_t index = 0;
    QString text;
    bool inView = false;
    while (store.DropOldestOverLimit(&index, &text)) {
        const auto at = static_cast<qsizetype>(index);
        inView = inView || (at >= top && at <= top + PageLines());
        if (at < top)
            --top;
        ShiftSelection(at + 1, -1);
        if (QAccessible::isActive()) {
            // The line and the line break that joined it to its neighbour.
            const bool last = at == LineCount();
            const qsizetype offset = last ? CharacterCount() : OffsetOf({at, 0});
            QAccessibleTextRemoveEvent event(
                this, static_cast<int>(offset),
                last ? (LineCount() > 0 ? QLatin1Char('\n') + text : text)
                     : text + QLatin1Char('\n'));
            QAccessible::updateAccessibility(&event);
        }
    }
    return inView;
}

// Keeps the selection (and a drag's anchor) on its text while lines come and go:
// points on lines from `from` down move by `by` lines; a point whose line was dropped
// lands at the start of the line that took its place.
void TMemo::ShiftSelection(qsizetype from, qsizetype by) {
    const qsizetype count = LineCount();
    for (TTextPoint* point : {&selectionAnchor, &selectionCursor}) {
        if (by < 0 && point->line == from - 1) {
            point->column = 0;
        } else if (point->line >= from) {
            point->line += by;
        }
        if (point->line >= count) {
            point->line = std::max<qsizetype>(0, count - 1);
            point->column = count > 0 ? Line(point->line).size() : 0;
        }
    }
}

// The scroll bars are not touched here: a range change repaints its bar at once, which
// for a growing log was a paint per line. They follow in the throttled repaint.
void TMemo::PlaceView(qsizetype top, bool changedInView, int rowsMoved) {
    topLine = std::clamp<qsizetype>(top, 0, MaxTopLine());
    barsStale = true;
    if (!isVisible())
        return; // synced and painted whole when shown
    if (changedInView) {
        if (rowsMoved == 0 || pendingRows * rowsMoved < 0)
            fullRepaint = true;
        else
            pendingRows += rowsMoved;
    }
    ScheduleRepaint();
}

// Setting a range repaints its bar. A log growing at its top changes the range with
// every line long after the slider stopped moving: while the bar would look the same,
// it keeps its old range until a reader reaches for it.
void TMemo::SyncScrollBars(bool onlyIfSeen) {
    if (!barsStale)
        return;
    QScrollBar* bar = verticalScrollBar();
    const int maximum = static_cast<int>(MaxTopLine());
    const int pageStep = static_cast<int>(std::max<qsizetype>(1, PageLines()));
    const int value = static_cast<int>(topLine);
    if (!onlyIfSeen || bar->minimum() != 0 ||
        LookOf(bar, maximum, pageStep, value) !=
            LookOf(bar, bar->maximum(), bar->pageStep(), bar->value())) {
        barsStale = false;
        const QSignalBlocker blocker(bar); // the view already shows topLine
        bar->setRange(0, maximum);
        bar->setPageStep(pageStep);
        bar->setValue(value);
    }
    QScrollBar* across = horizontalScrollBar();
    const int left = across->value();
    {
        const QSignalBlocker acrossBlocker(across);
        const int widest = static_cast<int>(store.Widest()) * characterWidth;
        across->setRange(0, std::max(0, widest + 2 * margin - viewport()->width()));
        across->setPageStep(viewport()->width());
    }
    if (across->value() != left) // a narrower range moved the text
        RepaintAll();
}

// A leading-edge throttle: a lone line is painted in the next frame; a stream is
// painted once per interval.
void TMemo::ScheduleRepaint() {
    if (repaintTimer.isActive()) {
        repaintPending = true;
        return;
    }
    Repaint();
    repaintTimer.start();
}

void TMemo::RepaintTimeout() {
    if (!repaintPending)
        return; // a quiet interval: the next change paints at once
    repaintPending = false;
    Repaint();
    repaintTimer.start();
}

// Rows that only moved are scrolled as pixels; the rows that came into view are
// painted. Anything else repaints the whole view.
void TMemo::Repaint() {
    SyncScrollBars(true);
    if (fullRepaint || std::abs(pendingRows) >= PageLines()) {
        RepaintAll();
    } else if (pendingRows != 0) {
        viewport()->scroll(0, pendingRows * lineHeight);
        pendingRows = 0;
    }
}

void TMemo::RepaintAll() {
    viewport()->update();
    pendingRows = 0;
    fullRepaint = false;
}

qsizetype TMemo::PageLines() const {
    return viewport()->height() / lineHeight;
}

qsizetype TMemo::MaxTopLine() const {
    return std::max<qsizetype>(0, LineCount() - PageLines());
}

qsizetype TMemo::TopLine() const {
    return topLine;
}

void TMemo::ScrollToLine(qsizetype line) {
    SyncScrollBars();
    verticalScrollBar()->setValue(static_cast<int>(line));
}

void TMemo::UpdateMetrics() {
    lineHeight = std::max(1, fontMetrics().lineSpacing());
    characterWidth = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(characterWidth);
    PlaceView(TopLine(), true);
}

void TMemo::SetSelection(TTextPoint anchor, TTextPoint cursor) {
    const auto clamp = [this](TTextPoint p) {
        if (LineCount() == 0)
            return TTextPoint{};
        p.line = std::clamp<qsizetype>(p.line, 0, LineCount() - 1);
        p.column = std::clamp<qsizetype>(p.column, 0, Line(p.line).size());
        return p;
    };
    selectionAnchor = clamp(anchor);
    selectionCursor = clamp(cursor);
    RepaintAll();
    if (QAccessible::isActive()) {
        QAccessibleTextSelectionEvent event(this, static_cast<int>(OffsetOf(SelectionStart())),
                                            static_cast<int>(OffsetOf(SelectionEnd())));
        event.setCursorPosition(static_cast<int>(OffsetOf(selectionCursor)));
        QAccessible::updateAccessibility(&event);
    }
}

void TMemo::SelectAll() {
    if (LineCount() > 0)
        SetSelection({0, 0}, {LineCount() - 1, Line(LineCount() - 1).size()});
}

void TMemo::ClearSelection() {
    SetSelection(selectionCursor, selectionCursor);
}

QString TMemo::SelectedText() const {
    if (!HasSelection())
        return {};
    const TTextPoint from = SelectionStart();
    const TTextPoint to = SelectionEnd();
    if (from.line == to.line)
        return Line(from.line).mid(from.column, to.column - from.column);
    QString text = Line(from.line).mid(from.column);
    for (qsizetype line = from.line + 1; line < to.line; ++line)
        text += QLatin1Char('\n') + Line(line);
    text += QLatin1Char('\n') + Line(to.line).left(to.column);
    return text;
}

void TMemo::Copy() const {
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

QString TMemo::Text(qsizetype from, qsizetype to) const {
    if (to <= from || LineCount() == 0)
        return {};
    const TTextPoint start = PointAt(from);
    const TTextPoint end = PointAt(to);
    if (start.line == end.line)
        return Line(start.line).mid(start.column, end.column - start.column);
    QString text = Line(start.line).mid(start.column);
    for (qsizetype line = start.line + 1; line < end.line; ++line)
        text += QLatin1Char('\n') + Line(line);
    return text + QLatin1Char('\n') + Line(end.line).left(end.column);
}

qsizetype TMemo::CharacterCount() const {
    qsizetype count = std::max<qsizetype>(0, LineCount() - 1); // the line breaks
    for (size_t i = 0; i < store.Count(); ++i)
        count += store.At(i).size();
    return count;
}

qsizetype TMemo::OffsetOf(TTextPoint point) const {
    qsizetype offset = 0;
    for (qsizetype line = 0; line < std::min(point.line, LineCount()); ++line)
        offset += Line(line).size() + 1;
    if (point.line < LineCount())
        offset += std::min(point.column, Line(point.line).size());
    return offset;
}

// An offset past the end lands at the end of the last line; one on a line break at
// the end of the line before it.
TMemo::TTextPoint TMemo::PointAt(qsizetype offset) const {
    if (LineCount() == 0)
        return {};
    offset = std::max<qsizetype>(0, offset);
    for (qsizetype line = 0; line < LineCount(); ++line) {
        const qsizetype size = Line(line).size();
        if (offset <= size)
            return {line, offset};
        offset -= size + 1;
    }
    return {LineCount() - 1, Line(LineCount() - 1).size()};
}

TMemo::TTextPoint TMemo::PointAtPosition(QPoint position) const {
    if (LineCount() == 0)
        return {};
    const int y = position.y();
    const qsizetype row = y >= 0 ? y / lineHeight : -1 - (-y - 1) / lineHeight;
    const qsizetype line = std::clamp<qsizetype>(TopLine() + row, 0, LineCount() - 1);
    const QString& text = Line(line);
    const QFontMetrics metrics = fontMetrics();
    const int x = position.x() - (margin - horizontalScrollBar()->value());
    int advance = 0;
    for (qsizetype column = 0; column < text.size(); ++column) {
        const int width = metrics.horizontalAdvance(text.at(column));
        if (x < advance + width / 2)
            return {line, column};
        advance += width;
    }
    return {line, text.size()};
}

QRect TMemo::CharacterRect(TTextPoint point) const {
    if (LineCount() == 0)
        return {};
    const QString& text = Line(point.line);
    const QFontMetrics metrics = fontMetrics();
    const int x = margin - horizontalScrollBar()->value() +
                  metrics.horizontalAdvance(text.left(point.column));
    const int width = point.column < text.size() ? metrics.horizontalAdvance(text.at(point.column))
                                                 : metrics.horizontalAdvance(QLatin1Char(' '));
    return {x, static_cast<int>(point.line - TopLine()) * lineHeight, width, lineHeight};
}

void TMemo::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QFontMetrics metrics = fontMetrics();
    const int left = margin - horizontalScrollBar()->value();
    const TTextPoint from = SelectionStart();
    const TTextPoint to = SelectionEnd();
    const bool selected = HasSelection();
    const QPalette& colours = palette();
    const qsizetype firstRow = std::max(0, event->rect().top()) / lineHeight;
    const qsizetype lastRow = event->rect().bottom() / lineHeight;
    // Until the rows that moved are scrolled as pixels, the others still show the lines
    // as they stood at the last repaint: a paint in between (the first line after a
    // quiet spell, an uncovered part of the window) draws them there too.
    const qsizetype shownTop = topLine + pendingRows;
    qsizetype firstLine = -1;
    qsizetype lastLine = -1;
    for (qsizetype row = firstRow; row <= lastRow; ++row) {
        const qsizetype line = shownTop + row;
        if (line < 0)
            continue;
        if (line >= LineCount())
            break;
        if (firstLine < 0)
            firstLine = line;
        lastLine = line;
        const QString& text = Line(line);
        const int y = static_cast<int>(row) * lineHeight;
        painter.setPen(colours.color(QPalette::Text));
        painter.drawText(left, y + metrics.ascent(), text);
        if (!selected || line < from.line || line > to.line)
            continue;
        const qsizetype start = line == from.line ? from.column : 0;
        const qsizetype end = line == to.line ? to.column : text.size();
        const int x = left + metrics.horizontalAdvance(text.left(start));
        int width = metrics.horizontalAdvance(text.mid(start, end - start));
        if (line < to.line)
            width += metrics.horizontalAdvance(QLatin1Char(' ')); // the line break
        const QRect band(x, y, width, lineHeight);
        painter.fillRect(band, colours.brush(QPalette::Highlight));
        painter.save();
        painter.setClipRect(band);
        painter.setPen(colours.color(QPalette::HighlightedText));
        painter.drawText(left, y + metrics.ascent(), text);
        painter.restore();
    }
    if (lastLine >= 0)
        Q_EMIT LinesPainted(firstLine, lastLine);
}

void TMemo::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    PlaceView(TopLine(), true);
}

// Only a reader moves the bars (the memo's own changes block their signals), and they
// were synced before the reader's first move.
void TMemo::scrollContentsBy(int /*dx*/, int /*dy*/) {
    topLine = verticalScrollBar()->value();
    RepaintAll();
}

bool TMemo::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((watched == verticalScrollBar() || watched == horizontalScrollBar()) &&
        (type == QEvent::MouseButtonPress || type == QEvent::Wheel || type == QEvent::KeyPress))
        SyncScrollBars();
    return QAbstractScrollArea::eventFilter(watched, event);
}

void TMemo::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    SyncScrollBars();
    // A widget being shown is painted whole.
    pendingRows = 0;
    fullRepaint = false;
}

void TMemo::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateMetrics();
}

void TMemo::keyPressEvent(QKeyEvent* event) {
    SyncScrollBars();
    if (event->matches(QKeySequence::Copy)) {
        Copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
    } else if (event->key() == Qt::Key_Home) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event->key() == Qt::Key_End) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TMemo::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const TTextPoint at = PointAtPosition(event->position().toPoint());
    SetSelection(event->modifiers() & Qt::ShiftModifier ? selectionAnchor : at, at);
    dragging = true;
    wholeLines = false;
}

void TMemo::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || LineCount() == 0) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const qsizetype line = PointAtPosition(event->position().toPoint()).line;
    SetSelection({line, 0}, {line, Line(line).size()});
    dragging = true;
    wholeLines = true;
}

void TMemo::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    ExtendSelectionTo(event->position().toPoint());
}

void TMemo::ExtendSelectionTo(QPoint position) {
    // Dragging past the top or bottom edge scrolls the log a line at a time.
    SyncScrollBars();
    if (position.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (position.y() >= viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const TTextPoint at = PointAtPosition(position);
    if (!wholeLines) {
        SetSelection(selectionAnchor, at);
        return;
    }
    const qsizetype origin = selectionAnchor.line;
    if (at.line >= origin)
        SetSelection({origin, 0}, {at.line, Line(at.line).size()});
    else
        SetSelection({origin, Line(origin).size()}, {at.line, 0});
}

void TMemo::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (HasSelection() && clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

void TMemo::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy =
        menu.addAction(tr("&Copy") + QLatin1Char('\t') +
                       QKeySequence(QKeySequence::Copy).toString(QKeySequence::NativeText));
    copy->setEnabled(HasSelection());
    connect(copy, &QAction::triggered, this, [this] { Copy(); });
    QAction* all =
        menu.addAction(tr("Select All") + QLatin1Char('\t') +
                       QKeySequence(QKeySequence::SelectAll).toString(QKeySequence::NativeText));
    all->setEnabled(LineCount() > 0);
    connect(all, &QAction::triggered, this, &TMemo::SelectAll);
    menu.exec(event->globalPos());
}

void TMemo::NotifyInserted(qsizetype offset, const QString& text) {
    QAccessibleTextInsertEvent event(this, static_cast<int>(offset), text);
    QAccessible::updateAccessibility(&event);
}
