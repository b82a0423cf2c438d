// Measures the log memos against the QPlainTextEdit memo they replaced (a copy of it is
// kept below, in this file only): an insert at the top of a full memo, the heap a full
// memo holds, the CPU of one memo taking a line per 10 ms receive event, and the CPU of
// the whole window while a pseudo-terminal streams 960 B/s into it, page by page. Each
// streaming run is measured twice: growing from an empty memo, as a technician's run
// spends most of its time, and at the line cap. CPU is that of the whole process, every
// thread (the toolkit's own included), less the thread that plays the board; paints
// are counted per second, for the memo's view and for its scroll bars.
// Usage: bench_log [seconds-per-run] [window]   (60 s by default for each streaming run;
// "window" runs only the window, as for a build of the tool with another memo)
#include "BinaryPage.h"
#include "Form1.h"
#include "Frame.h"
#include "Memo.h"
#include "PortNames.h"
#include "PtyPair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <malloc.h>
#include <pthread.h>
#include <random>
#include <thread>
#include <time.h>
#include <utility>
#include <vector>

namespace {

// The memo as it was: a QPlainTextEdit with a text block (and its layout) per line.
class TOldMemo : public QPlainTextEdit {
public:
    explicit TOldMemo(QWidget* parent = nullptr) : QPlainTextEdit(parent) {
        setReadOnly(true);
        setLineWrapMode(QPlainTextEdit::NoWrap);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setUndoRedoEnabled(false);
    }
    void Clear() {
        clear();
        topRun.clear();
    }
    void InsertFirstLine(const QString& line) {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::Start);
        cursor.insertText(line);
        if (!topRun.empty())
            cursor.insertBlock();
        topRun.push_front(++added);
        while (topRun.size() > static_cast<size_t>(TMemo::DefaultLineLimit)) {
            RemoveLastLine();
            topRun.pop_back();
        }
    }

private:
    void RemoveLastLine() {
        const QTextBlock block = document()->lastBlock();
        const QTextBlock previous = block.previous();
        QTextCursor cursor(document());
        cursor.setPosition(previous.position() + previous.length() - 1);
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    std::deque<uint64_t> topRun;
    uint64_t added = 0;
};

double ClockSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double HeapMegabytes() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd) / 1048576.0;
}

void RunEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// What one receive event at 9600 baud logs: nine or ten bytes, 96 in every 100 ms.
class TLineSource {
public:
    int NextCount() { return (tick++ % 10) < 6 ? 10 : 9; }
    QByteArray NextBytes() {
        QByteArray bytes(NextCount(), Qt::Uninitialized);
        for (char& b : bytes)
            b = static_cast<char>(random() & 0xFF);
        return bytes;
    }
    QString NextLine() {
        const QByteArray bytes = NextBytes();
        return HexLine(QStringLiteral("RX: "),
                       std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                 static_cast<size_t>(bytes.size())));
    }

private:
    std::mt19937 random{2026};
    uint64_t tick = 0;
};

template <class Memo> void Fill(Memo& memo, TLineSource& source) {
    for (int i = 0; i < TMemo::DefaultLineLimit; ++i)
        memo.InsertFirstLine(source.NextLine());
}

template <class Memo> double InsertMicroseconds(Memo& memo, TLineSource& source, int inserts) {
    std::vector<QString> lines;
    for (int i = 0; i < inserts; ++i)
        lines.push_back(source.NextLine());
    QElapsedTimer clock;
    clock.start();
    for (const QString& line : lines)
        memo.InsertFirstLine(line);
    return static_cast<double>(clock.nsecsElapsed()) / 1e3 / inserts;
}

// Counts the paints of the widgets it watches.
class TPaintCounter : public QObject {
public:
    void Watch(QWidget* widget) { widget->installEventFilter(this); }
    int Take() { return std::exchange(count, 0); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }

private:
    int count = 0;
};

struct TFigures {
    double cpu = 0;        // % of one core, the whole process
    double viewPaints = 0; // per second
    double barPaints = 0;
};

// Runs the event loop for `seconds`: the CPU of every thread of the process but
// `board`'s (the one playing the board, if any), and the paints per second.
TFigures Measure(int seconds, TPaintCounter& view, TPaintCounter& bars,
                 const clockid_t* board = nullptr) {
    view.Take();
    bars.Take();
    const double process = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double played = board ? ClockSeconds(*board) : 0;
    QElapsedTimer wall;
    wall.start();
    RunEventLoop(seconds * 1000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1e3;
    double cpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - process;
    if (board)
        cpu -= ClockSeconds(*board) - played;
    return {100.0 * cpu / elapsed, view.Take() / elapsed, bars.Take() / elapsed};
}

template <class Memo> void Watch(Memo& memo, TPaintCounter& view, TPaintCounter& bars) {
    view.Watch(memo.viewport());
    bars.Watch(memo.verticalScrollBar());
    bars.Watch(memo.horizontalScrollBar());
}

// One memo at the size of Memo7 in a window, a line every 10 ms for `seconds`, from
// empty or from full.
template <class Memo> TFigures Stream(Memo& memo, bool shown, bool full, int seconds) {
    memo.setVisible(shown);
    memo.Clear();
    TLineSource source;
    if (full)
        Fill(memo, source);
    RunEventLoop(300);
    TPaintCounter view;
    TPaintCounter bars;
    Watch(memo, view, bars);
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &memo,
                     [&] { memo.InsertFirstLine(source.NextLine()); });
    poll.start();
    const TFigures figures = Measure(seconds, view, bars);
    poll.stop();
    return figures;
}

void Row(const char* what, double before, double after, const char* unit, const char* target) {
    std::printf("%-44s %10.2f %10.2f  %-4s x%-8.3f %s\n", what, before, after, unit,
                before > 0 ? after / before : 0.0, target);
}

void PaintRow(const TFigures& old, const TFigures& now) {
    std::printf("%-44s %4.0f, %-4.0f %4.0f, %-4.0f\n", "  paints/s: view, scroll bars",
                old.viewPaints, old.barPaints, now.viewPaints, now.barPaints);
}

// Plays the board: 960 B/s in 10 ms pieces, from its own thread so the tool's thread
// is measured alone; what the tool sends is read and dropped.
class TStreamer {
public:
    explicit TStreamer(TPtyPair& pty) : port(pty) {
        worker = std::thread([this] { Run(); });
    }
    std::thread::native_handle_type Handle() { return worker.native_handle(); }
    ~TStreamer() {
        stop = true;
        worker.join();
    }
    TStreamer(const TStreamer&) = delete;
    TStreamer& operator=(const TStreamer&) = delete;

private:
    void Run() {
        TLineSource source;
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            port.Write(source.NextBytes());
            port.Take();
        }
    }
    TPtyPair& port;
    std::atomic<bool> stop{false};
    std::thread worker;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const bool windowOnly = argc > 2 && std::strcmp(argv[2], "window") == 0;
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("%-44s %10s %10s  %-4s %-9s %s\n", "", "old memo", "new memo", "", "ratio",
                "target");

    TLineSource source;
    if (!windowOnly) {
        QWidget window;
        window.resize(1160, 720);
        const double heapStart = HeapMegabytes();
        auto* oldMemo = new TOldMemo(&window);
        oldMemo->setGeometry(300, 360, 840, 310);
        Fill(*oldMemo, source);
        const double heapOld = HeapMegabytes() - heapStart;
        auto* newMemo = new TMemo(&window);
        newMemo->setGeometry(300, 360, 840, 310);
        Fill(*newMemo, source);
        const double heapNew = HeapMegabytes() - heapStart - heapOld;
        Row("heap of a full memo (20000 lines)", heapOld, heapNew, "MB", "< 8 MB");

        window.show();
        RunEventLoop(300);
        const int inserts = 2000;
        Row("insert at the top of a full memo, shown",
            InsertMicroseconds(*oldMemo, source, inserts),
            InsertMicroseconds(*newMemo, source, inserts), "us", "< 50 us");
        std::fflush(stdout);

        for (const bool shown : {true, false}) {
            for (const bool full : {false, true}) {
                oldMemo->hide();
                newMemo->hide();
                const TFigures before = Stream(*oldMemo, shown, full, seconds);
                oldMemo->hide();
                const TFigures after = Stream(*newMemo, shown, full, seconds);
                const QByteArray what = QByteArray("one memo ") + (full ? "full" : "growing") +
                                        ", a line per 10 ms, " + (shown ? "shown" : "hidden");
                Row(what.constData(), before.cpu, after.cpu, "%", "< 1 %");
                if (shown)
                    PaintRow(before, after);
                std::fflush(stdout);
            }
        }
        window.hide();
        delete oldMemo; // its 60 MB would otherwise sit under the window's run
    }

    // The whole window on a pseudo-terminal, each page in turn, Memo7 growing from empty
    // and then full.
    TPtyPair pty;
    if (!pty.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    PortNames::SetOverride(QStringLiteral("COM1"), pty.SlavePath());
    TForm1 form;
    form.show();
    form.Button2Click();
    if (!form.PortOpened) {
        std::fprintf(stderr, "could not open %s\n", qPrintable(pty.SlavePath()));
        return 1;
    }
    TMemo* memo7 = form.TabSheet5->Memo7;
    TPaintCounter view;
    TPaintCounter bars;
    Watch(*memo7, view, bars);
    RunEventLoop(500);
    TStreamer streamer(pty);
    clockid_t board{};
    if (pthread_getcpuclockid(streamer.Handle(), &board) != 0) {
        std::fprintf(stderr, "no CPU clock for the board's thread\n");
        return 1;
    }
    std::printf("%-44s %10s %10s  %-4s %-9s %s\n", "window streaming 960 B/s into Memo7", "growing",
                "full", "", "", "target");
    for (int page = 0; page < form.PageControl1->count(); ++page) {
        form.PageControl1->setCurrentIndex(page);
        memo7->Clear();
        RunEventLoop(500);
        const TFigures growing = Measure(seconds, view, bars, &board);
        const qsizetype grown = memo7->LineCount();
        Fill(*memo7, source);
        RunEventLoop(500);
        const TFigures full = Measure(seconds, view, bars, &board);
        const QString name = QLatin1Char('"') + form.PageControl1->tabText(page) + QLatin1Char('"');
        std::printf("  page %-38s %10.2f %10.2f  %%              < 1 %%   (grew to %lld lines)\n",
                    qPrintable(name), growing.cpu, full.cpu, static_cast<long long>(grown));
        if (memo7->isVisible())
            std::printf("%-44s %4.0f, %-4.0f %4.0f, %-4.0f\n",
                        "  Memo7 paints/s: view, scroll bars", growing.viewPaints,
                        growing.barPaints, full.viewPaints, full.barPaints);
        std::fflush(stdout);
    }
    return 0;
}
