#include "Memo.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <algorithm>

class TstMemo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newestLineOnTop();
    void appendedLinesIncludingEmptyOnes();
    void limitDropsTheOldestLines_data();
    void limitDropsTheOldestLines();
    void loweringTheLimitDropsTheOldest();
    void viewStaysPutUnlessAtTheNewestEnd_data();
    void viewStaysPutUnlessAtTheNewestEnd();
    void showsTheLinesItHolds_data();
    void showsTheLinesItHolds();
    void loneLineIsPaintedAtOnce();
    void barsAreCurrentWhenTheReaderUsesThem_data();
    void barsAreCurrentWhenTheReaderUsesThem();
    void copiesTheSelection_data();
    void copiesTheSelection();
    void mouseDragSelectsTextOrWholeLines();
    void selectionKeepsItsTextWhileLinesArrive();
    void screenReaderReadsTheLines();
};

namespace {
// Steps: "T:text" inserts on top, "B:text" appends at the bottom ("B:" an empty line).
void Feed(TMemo& memo, const QStringList& steps) {
    for (const QString& step : steps) {
        if (step.startsWith(QLatin1Char('T')))
            memo.InsertFirstLine(step.mid(2));
        else
            memo.AppendLine(step.mid(2));
    }
}

// A mouse event straight to the view, as a window system delivers it.
void Mouse(QWidget* view, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
}

QStringList Numbered(int count) {
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("RX: %1 ").arg(i);
    return lines;
}

// A shown memo whose view holds exactly ten rows.
void ShowTenRows(TMemo& memo) {
    memo.resize(400, 10 * memo.fontMetrics().lineSpacing() + 2 * memo.frameWidth());
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
    QTRY_COMPARE(memo.viewport()->height(), 10 * memo.fontMetrics().lineSpacing());
}

// The first row of the view whose pixels on the screen (the window's backing store,
// where rows moved as pixels are too) differ from `rows` drawn in the memo's font, or -1.
int FirstWrongRow(TMemo& memo, const QStringList& rows) {
    QWidget* view = memo.viewport();
    const QPoint at = view->mapTo(&memo, QPoint(0, 0));
    const QImage shown =
        memo.screen()
            ->grabWindow(memo.winId(), at.x(), at.y(), view->width(), view->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    QImage expected(view->size(), QImage::Format_RGB32);
    expected.fill(memo.palette().color(QPalette::Base));
    QPainter painter(&expected);
    painter.setFont(memo.font());
    painter.setPen(memo.palette().color(QPalette::Text));
    const QFontMetrics metrics = memo.fontMetrics();
    const int left = memo.CharacterRect({memo.TopLine(), 0}).left();
    for (int row = 0; row < rows.size(); ++row)
        painter.drawText(left, row * metrics.lineSpacing() + metrics.ascent(), rows[row]);
    painter.end();
    for (int row = 0; row < 10; ++row) {
        const QRect band(0, row * metrics.lineSpacing(), view->width(), metrics.lineSpacing());
        if (shown.size() != expected.size() || shown.copy(band) != expected.copy(band))
            return row;
    }
    return -1;
}
} // namespace

void TstMemo::newestLineOnTop() {
    TMemo memo;
    QVERIFY(memo.Lines().isEmpty());
    QCOMPARE(memo.FirstLine(), QString());
    memo.InsertFirstLine(QStringLiteral("TX: 1 "));
    memo.InsertFirstLine(QStringLiteral("TX: 2 "));
    QCOMPARE(memo.Lines(), (QStringList{QStringLiteral("TX: 2 "), QStringLiteral("TX: 1 ")}));
    QCOMPARE(memo.FirstLine(), QStringLiteral("TX: 2 "));
    memo.Clear();
    QVERIFY(memo.Lines().isEmpty());
}

void TstMemo::appendedLinesIncludingEmptyOnes() {
    TMemo memo;
    memo.AppendLine(QString());
    memo.AppendLine(QStringLiteral("RX: 90 "));
    memo.AppendLine(QString());
    memo.InsertFirstLine(QStringLiteral("TX: 90 05 80 55 6A "));
    QCOMPARE(memo.Lines(), (QStringList{QStringLiteral("TX: 90 05 80 55 6A "), QString(),
                                        QStringLiteral("RX: 90 "), QString()}));
}

void TstMemo::limitDropsTheOldestLines_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("top only") << 3 << QStringList{"T:0", "T:1", "T:2", "T:3", "T:4"}
                              << QStringList{"4", "3", "2"};
    QTest::newRow("bottom only") << 3 << QStringList{"B:0", "B:1", "B:2", "B:3", "B:4"}
                                 << QStringList{"2", "3", "4"};
    QTest::newRow("top only, at the cap: nothing dropped")
        << 3 << QStringList{"T:0", "T:1", "T:2"} << QStringList{"2", "1", "0"};
    QTest::newRow("bottom only, at the cap: nothing dropped")
        << 3 << QStringList{"B:0", "B:1", "B:2"} << QStringList{"0", "1", "2"};
    QTest::newRow("both ends, at the cap: nothing dropped")
        << 4 << QStringList{"B:0", "T:1", "B:2", "T:3"} << QStringList{"3", "1", "0", "2"};
    // A send logs on top, its answer below and an empty line after it, as the
    // parameter log does: the memo is at its cap and ends in an empty line.
    QTest::newRow("both ends, empty last line")
        << 4 << QStringList{"T:a", "B:b", "B:", "T:c", "B:d", "B:"}
        << QStringList{"c", "", "d", ""};
    QTest::newRow("a new top line drops the oldest bottom line, not the newest")
        << 3 << QStringList{"B:x", "B:y", "T:t1", "T:t2"} << QStringList{"t2", "t1", "y"};
    QTest::newRow("the oldest is the top run's last line")
        << 3 << QStringList{"T:a", "B:b", "T:c", "T:d"} << QStringList{"d", "c", "b"};
    QTest::newRow("a new bottom line drops the oldest top line")
        << 3 << QStringList{"T:a", "T:b", "B:c", "B:d"} << QStringList{"b", "c", "d"};
    QTest::newRow("one line, empty ones around it")
        << 1 << QStringList{"B:", "B:", "T:x"} << QStringList{"x"};
    QTest::newRow("the last line dropped is empty")
        << 2 << QStringList{"T:a", "B:", "T:b", "T:c"} << QStringList{"c", "b"};
    QTest::newRow("order after mixed inserts and appends, under the cap")
        << 100 << QStringList{"B:1", "T:2", "T:3", "B:4", "B:", "T:5", "B:6"}
        << QStringList{"5", "3", "2", "1", "4", "", "6"};
    QTest::newRow("a full memo: the cap of the tool")
        << TMemo::DefaultLineLimit << (QStringList{"B:kept"} << QStringList(20000, "T:x"))
        << QStringList(20000, "x");
}

void TstMemo::limitDropsTheOldestLines() {
    QFETCH(int, limit);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, lines);
    TMemo memo;
    memo.SetLineLimit(limit);
    for (const QString& step : steps) {
        Feed(memo, {step});
        QVERIFY(memo.LineCount() <= limit);
    }
    QCOMPARE(memo.Lines(), lines);
    QCOMPARE(memo.LineCount(), lines.size());
}

void TstMemo::loweringTheLimitDropsTheOldest() {
    TMemo memo;
    Feed(memo, {"T:a", "B:b", "T:c", "B:d", "T:e"});
    memo.SetLineLimit(2);
    QCOMPARE(memo.Lines(), (QStringList{"e", "d"}));
    memo.SetLineLimit(0); // never below one line
    QCOMPARE(memo.Lines(), QStringList{"e"});
}

// The view holds ten lines. "scroll" is where the reader put it before two more
// lines arrive; "top" is the first line shown after them.
void TstMemo::viewStaysPutUnlessAtTheNewestEnd_data() {
    QTest::addColumn<bool>("onTop");
    QTest::addColumn<int>("scroll");
    QTest::addColumn<int>("top");
    QTest::newRow("newest on top, view at the top: follows") << true << 0 << 0;
    QTest::newRow("newest on top, scrolled down: same lines shown") << true << 5 << 7;
    QTest::newRow("appended, view at the bottom: follows") << false << 40 << 42;
    QTest::newRow("appended, scrolled up: same lines shown") << false << 5 << 5;
}

void TstMemo::viewStaysPutUnlessAtTheNewestEnd() {
    QFETCH(bool, onTop);
    QFETCH(int, scroll);
    QFETCH(int, top);
    TMemo memo;
    memo.resize(400, 100);
    memo.show();
    const int lineHeight = memo.fontMetrics().lineSpacing();
    memo.viewport()->setFixedHeight(10 * lineHeight);
    QTRY_COMPARE(memo.viewport()->height(), 10 * lineHeight);
    for (const QString& line : Numbered(50))
        onTop ? memo.InsertFirstLine(line) : memo.AppendLine(line);
    memo.ScrollToLine(scroll);
    QCOMPARE(memo.TopLine(), scroll);
    const QString shown = memo.Line(scroll);
    for (const QString& line : {QStringLiteral("new 1"), QStringLiteral("new 2")})
        onTop ? memo.InsertFirstLine(line) : memo.AppendLine(line);
    QCOMPARE(memo.TopLine(), top);
    if (top != scroll + (onTop ? 0 : 2))
        QCOMPARE(memo.Line(memo.TopLine()), shown);
}

// Lines arrive one by one, some painted at once and some together, the view following
// them or held where the reader put it before two more; "shown" is each row's text.
void TstMemo::showsTheLinesItHolds_data() {
    QTest::addColumn<bool>("onTop");
    QTest::addColumn<int>("streamed");
    QTest::addColumn<int>("scroll"); // -1: left at the newest end
    QTest::addColumn<QStringList>("shown");
    const QStringList lines = Numbered(30);
    QStringList downwards = lines;
    std::reverse(downwards.begin(), downwards.end());
    const QStringList last = {"RX: 30 ", "RX: 31 "};
    QTest::newRow("newest on top, following")
        << true << 30 << -1 << QStringList{"RX: 31 ", "RX: 30 "} + downwards.mid(0, 8);
    QTest::newRow("newest on top, scrolled down") << true << 30 << 5 << downwards.mid(5, 10);
    QTest::newRow("appended, following") << false << 30 << -1 << lines.mid(22) + last;
    QTest::newRow("appended, scrolled up") << false << 30 << 5 << lines.mid(5, 10);
    QTest::newRow("fewer lines than rows") << true << 0 << -1 << QStringList{"RX: 31 ", "RX: 30 "};
}

void TstMemo::showsTheLinesItHolds() {
    QFETCH(bool, onTop);
    QFETCH(int, streamed);
    QFETCH(int, scroll);
    QFETCH(QStringList, shown);
    TMemo memo;
    ShowTenRows(memo);
    const QStringList lines = Numbered(streamed);
    for (int i = 0; i < lines.size(); ++i) {
        onTop ? memo.InsertFirstLine(lines[i]) : memo.AppendLine(lines[i]);
        if (i % 4 == 0)
            QTest::qWait(i % 8 == 0 ? 1 : 120); // now and then past the repaint interval
    }
    if (scroll >= 0)
        memo.ScrollToLine(scroll);
    // After a quiet spell the first line is painted at once; the second arrives before
    // that paint and is painted with the next repaint.
    QTest::qWait(300);
    for (const QString& line : {QStringLiteral("RX: 30 "), QStringLiteral("RX: 31 ")})
        onTop ? memo.InsertFirstLine(line) : memo.AppendLine(line);
    QTRY_COMPARE(FirstWrongRow(memo, shown), -1);
}

// After a quiet spell a line is painted by the next pass of the event loop, before any
// timer could have run out.
void TstMemo::loneLineIsPaintedAtOnce() {
    TMemo memo;
    ShowTenRows(memo);
    for (const QString& line : Numbered(3))
        memo.InsertFirstLine(line);
    qsizetype firstPainted = -1;
    connect(&memo, &TMemo::LinesPainted, &memo,
            [&](qsizetype first, qsizetype /*last*/) { firstPainted = first; });
    QTest::qWait(300); // the quiet spell
    firstPainted = -1;
    memo.InsertFirstLine(QStringLiteral("RX: 3 "));
    QCoreApplication::processEvents();
    QCOMPARE(firstPainted, 0);
    QCOMPARE(FirstWrongRow(memo, {"RX: 3 ", "RX: 2 ", "RX: 1 ", "RX: 0 "}), -1);
}

// Two hundred lines arrive in one go: the bar lags them until the next repaint, but a
// key or the wheel finds it current.
void TstMemo::barsAreCurrentWhenTheReaderUsesThem_data() {
    QTest::addColumn<bool>("wheel");
    QTest::addColumn<int>("top");
    QTest::newRow("End shows the oldest line at the bottom") << false << 190;
    QTest::newRow("the wheel scrolls down") << true << QApplication::wheelScrollLines();
}

void TstMemo::barsAreCurrentWhenTheReaderUsesThem() {
    QFETCH(bool, wheel);
    QFETCH(int, top);
    TMemo memo;
    ShowTenRows(memo);
    for (const QString& line : Numbered(200))
        memo.InsertFirstLine(line);
    if (wheel) {
        const QPoint at = memo.viewport()->rect().center();
        QWheelEvent event(at, memo.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(memo.viewport(), &event);
    } else {
        QTest::keyClick(&memo, Qt::Key_End);
    }
    QCOMPARE(memo.TopLine(), top);
    QCOMPARE(memo.verticalScrollBar()->maximum(), 190);
}

// Points are "line,column" pairs on the lines "RX: 0 " (top) to "RX: 3 ".
void TstMemo::copiesTheSelection_data() {
    QTest::addColumn<QPoint>("anchor");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QString>("copied");
    QTest::newRow("inside one line") << QPoint(1, 4) << QPoint(1, 5) << "1";
    QTest::newRow("across lines, backwards") << QPoint(2, 1) << QPoint(0, 4) << "0 \nRX: 1 \nR";
    QTest::newRow("whole lines") << QPoint(1, 0) << QPoint(2, 6) << "RX: 1 \nRX: 2 ";
    QTest::newRow("nothing selected leaves the clipboard alone")
        << QPoint(3, 2) << QPoint(3, 2) << "before";
    QTest::newRow("past the end is held to the last line") << QPoint(3, 4) << QPoint(9, 99) << "3 ";
}

void TstMemo::copiesTheSelection() {
    QFETCH(QPoint, anchor);
    QFETCH(QPoint, cursor);
    QFETCH(QString, copied);
    TMemo memo;
    for (const QString& line : Numbered(4))
        memo.AppendLine(line);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    memo.SetSelection({anchor.x(), anchor.y()}, {cursor.x(), cursor.y()});
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TstMemo::mouseDragSelectsTextOrWholeLines() {
    TMemo memo;
    memo.resize(400, 200);
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
    for (const QString& line : Numbered(4))
        memo.AppendLine(line);
    QWidget* view = memo.viewport();
    // From the middle of "1" on the second line to past the end of the third line.
    const QRect one = memo.CharacterRect({1, 4});
    const QRect two = memo.CharacterRect({2, 5});
    Mouse(view, QEvent::MouseButtonPress, one.topLeft() + QPoint(1, 2));
    Mouse(view, QEvent::MouseMove, two.topRight() + QPoint(40, 2));
    Mouse(view, QEvent::MouseButtonRelease, two.topRight() + QPoint(40, 2));
    QCOMPARE(memo.SelectedText(), QStringLiteral("1 \nRX: 2 "));

    // A double click picks its line; dragging on picks whole lines upwards.
    Mouse(view, QEvent::MouseButtonPress, two.center());
    Mouse(view, QEvent::MouseButtonRelease, two.center());
    Mouse(view, QEvent::MouseButtonDblClick, two.center());
    QCOMPARE(memo.SelectedText(), QStringLiteral("RX: 2 "));
    Mouse(view, QEvent::MouseMove, memo.CharacterRect({0, 5}).center());
    Mouse(view, QEvent::MouseButtonRelease, memo.CharacterRect({0, 5}).center());
    QCOMPARE(memo.SelectedText(), QStringLiteral("RX: 0 \nRX: 1 \nRX: 2 "));

    QTest::keyClick(&memo, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(memo.SelectedText(), Numbered(4).join(QLatin1Char('\n')));

    // A line arriving mid-drag leaves the drag anchored on the text it began on.
    Mouse(view, QEvent::MouseButtonPress, memo.CharacterRect({1, 0}).topLeft() + QPoint(1, 2));
    memo.InsertFirstLine(QStringLiteral("RX: 4 "));
    const QPoint end = memo.CharacterRect({3, 6}).center();
    Mouse(view, QEvent::MouseMove, end);
    Mouse(view, QEvent::MouseButtonRelease, end);
    QCOMPARE(memo.SelectedText(), QStringLiteral("RX: 1 \nRX: 2 "));
}

void TstMemo::selectionKeepsItsTextWhileLinesArrive() {
    TMemo memo;
    memo.SetLineLimit(4);
    for (const QString& line : Numbered(4))
        memo.InsertFirstLine(line); // "RX: 3 " on top
    memo.SetSelection({1, 0}, {2, 6});
    QCOMPARE(memo.SelectedText(), QStringLiteral("RX: 2 \nRX: 1 "));
    memo.InsertFirstLine(QStringLiteral("RX: 4 ")); // drops "RX: 0 " below the selection
    QCOMPARE(memo.SelectedText(), QStringLiteral("RX: 2 \nRX: 1 "));
    memo.InsertFirstLine(QStringLiteral("RX: 5 ")); // drops "RX: 1 ", the selection's end
    QCOMPARE(memo.Lines().last(), QStringLiteral("RX: 2 "));
    QCOMPARE(memo.SelectedText(), QStringLiteral("RX: 2 "));
    memo.InsertFirstLine(QStringLiteral("RX: 6 ")); // and then all of it
    QVERIFY(!memo.HasSelection());
}

void TstMemo::screenReaderReadsTheLines() {
    TMemo memo;
    memo.show();
    Feed(memo, {"T:TX: 90 05 80 55 6A ", "B:RX: 90 05 50 03 E8 ", "B:", "T:ACK"});
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&memo);
    QVERIFY(face);
    QVERIFY(face->state().readOnly);
    QAccessibleTextInterface* text = face->textInterface();
    QVERIFY(text);
    const QString all = QStringLiteral("ACK\nTX: 90 05 80 55 6A \nRX: 90 05 50 03 E8 \n");
    QCOMPARE(face->text(QAccessible::Value), all);
    QCOMPARE(text->characterCount(), all.size());
    QCOMPARE(text->text(0, text->characterCount()), all);
    // Each line read back by offset, on its first and its last character.
    const QStringList lines = memo.Lines();
    int offset = 0;
    for (const QString& line : lines) {
        for (int at : {offset, offset + static_cast<int>(line.size())}) {
            int start = -1;
            int end = -1;
            QCOMPARE(text->textAtOffset(at, QAccessible::LineBoundary, &start, &end), line);
            QCOMPARE(start, offset);
            QCOMPARE(end, offset + line.size());
        }
        offset += static_cast<int>(line.size()) + 1;
    }
    // A selection made through the interface is the memo's own.
    text->setSelection(0, 4, 6);
    QCOMPARE(memo.SelectedText(), QStringLiteral("TX"));
    int start = 0;
    int end = 0;
    text->selection(0, &start, &end);
    QCOMPARE(start, 4);
    QCOMPARE(end, 6);
}

QTEST_MAIN(TstMemo)
#include "tst_memo.moc"
