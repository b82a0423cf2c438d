// Measures the log memos against the QPlainTextEdit memo they replaced (a copy of it is
// kept below, in this file only): an insert at the top of a full memo, the heap a full
// memo holds, the CPU of one memo taking a line per 10 ms receive event, and the CPU of
// the whole window while a pseudo-terminal streams 960 B/s into it, page by page.
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
#include <random>
#include <sys/resource.h>
#include <thread>
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

double ThreadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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

// One memo at the size of Memo7 in a window, a line every 10 ms for `seconds`.
template <class Memo> double StreamPercent(Memo& memo, bool shown, int seconds) {
    memo.setVisible(shown);
    RunEventLoop(300);
    TLineSource source;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &memo,
                     [&] { memo.InsertFirstLine(source.NextLine()); });
    poll.start();
    const double before = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunEventLoop(seconds * 1000);
    poll.stop();
    return 100.0 * (ThreadCpuSeconds() - before) / (static_cast<double>(wall.elapsed()) / 1e3);
}

void Row(const char* what, double before, double after, const char* unit, const char* target) {
    std::printf("%-44s %10.2f %10.2f  %-4s x%-8.3f %s\n", what, before, after, unit,
                before > 0 ? after / before : 0.0, target);
}

// Plays the board: 960 B/s in 10 ms pieces, from its own thread so the tool's thread
// is measured alone; what the tool sends is read and dropped.
class TStreamer {
public:
    explicit TStreamer(TPtyPair& pty) : port(pty) {
        worker = std::thread([this] { Run(); });
    }
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
            oldMemo->hide();
            newMemo->hide();
            const double before = StreamPercent(*oldMemo, shown, seconds);
            oldMemo->hide();
            const double after = StreamPercent(*newMemo, shown, seconds);
            Row(shown ? "one full memo, a line per 10 ms, shown"
                      : "one full memo, a line per 10 ms, hidden",
                before, after, "%", "< 3 %");
            std::fflush(stdout);
        }
        window.hide();
        delete oldMemo; // its 60 MB would otherwise sit under the window's run
    }

    // The whole window on a pseudo-terminal, each page in turn, Memo7 already full.
    TPtyPair pty;
    if (!pty.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    PortNames::SetOverride(QStringLiteral("COM1"), pty.SlavePath());
    TForm1 form;
    form.show();
    Fill(*form.TabSheet5->Memo7, source);
    form.Button2Click();
    if (!form.PortOpened) {
        std::fprintf(stderr, "could not open %s\n", qPrintable(pty.SlavePath()));
        return 1;
    }
    RunEventLoop(500);
    TStreamer streamer(pty);
    for (int page = 0; page < form.PageControl1->count(); ++page) {
        form.PageControl1->setCurrentIndex(page);
        RunEventLoop(500);
        const double before = ThreadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunEventLoop(seconds * 1000);
        const double percent =
            100.0 * (ThreadCpuSeconds() - before) / (static_cast<double>(wall.elapsed()) / 1e3);
        std::printf(
            "window streaming 960 B/s, page %-14s %10s %10.2f  %%    %-9s < 3 %%\n",
            qPrintable(QLatin1Char('"') + form.PageControl1->tabText(page) + QLatin1Char('"')), "",
            percent, "");
        std::fflush(stdout);
    }
    std::printf("Memo7 holds %lld lines\n",
                static_cast<long long>(form.TabSheet5->Memo7->Lines().size()));
    return 0;
}
