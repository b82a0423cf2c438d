// What the line journal costs at the full line rate of 9600 baud (960 bytes a second):
// the writer alone, an event per 10 ms poll (the window) and an event per byte (the
// worst a reader that takes each byte as it comes could make of it); then the whole
// window streaming 960 B/s from a pseudo-terminal, journal off and on.
// Usage: bench_journal [seconds-per-window-run] [folder for the journal]
//   (10 s by default; the journal goes to the system's temporary folder)
#include "Form1.h"
#include "Journal.h"
#include "PortNames.h"
#include "PtyPair.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

double ThreadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void RunEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// 960 bytes a second in pieces of `piece` bytes: the CPU of writing `seconds` of it,
// as a share of one core.
double WriterPercent(const QString& path, int piece, int seconds) {
    TJournalWriter writer;
    QString error;
    if (!writer.Open(path, QStringLiteral("bench_journal"), error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return -1;
    }
    std::mt19937 random(2026);
    std::vector<uint8_t> bytes(static_cast<size_t>(piece));
    const int events = 960 * seconds / piece;
    const double before = ThreadCpuSeconds();
    for (int i = 0; i < events; ++i) {
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        writer.Write(TJournalDirection::Rx, bytes, int64_t{i} * 1'000'000 * piece / 960);
    }
    const double cpu = ThreadCpuSeconds() - before;
    return 100.0 * cpu / seconds;
}

// Plays the board from its own thread: 960 B/s in 10 ms pieces.
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
        std::mt19937 random(7);
        auto next = std::chrono::steady_clock::now();
        for (uint64_t tick = 0; !stop; ++tick) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            QByteArray bytes(tick % 10 < 6 ? 10 : 9, Qt::Uninitialized);
            for (char& b : bytes)
                b = static_cast<char>(random() & 0xFF);
            port.Write(bytes);
            port.Take();
        }
    }
    TPtyPair& port;
    std::atomic<bool> stop{false};
    std::thread worker;
};

double WindowPercent(int seconds) {
    RunEventLoop(300);
    const double before = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunEventLoop(seconds * 1000);
    return 100.0 * (ThreadCpuSeconds() - before) / (static_cast<double>(wall.elapsed()) / 1e3);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    const QString path = QDir(folder).filePath(QStringLiteral("bench_journal.txt"));

    std::printf("%-52s %10s  %s\n", "", "% of core", "target");
    // An hour of line time each: long enough for the figure to settle.
    for (const auto& [piece, what] :
         {std::pair{10, "writer, 10 bytes an event (the window's 10 ms poll)"},
          std::pair{1, "writer, 1 byte an event (every byte read alone)"}}) {
        std::printf("%-52s %10.4f  < 1 %%\n", what, WriterPercent(path, piece, 3600));
        std::fflush(stdout);
    }

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
    form.PageControl1->setCurrentIndex(3); // Get_Wave: capture reads every delivery
    TStreamer streamer(pty);
    // Off and on in turn, twice, so a busy neighbour does not favour either.
    double off = 0;
    double on = 0;
    for (int round = 0; round < 2; ++round) {
        form.StopJournal();
        off += WindowPercent(seconds) / 2;
        QString error;
        if (!form.StartJournal(path, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        on += WindowPercent(seconds) / 2;
    }
    form.StopJournal();
    std::printf("%-52s %10.3f\n", "window streaming 960 B/s on Get_Wave, journal off", off);
    std::printf("%-52s %10.3f\n", "window streaming 960 B/s on Get_Wave, journal on", on);
    std::printf("%-52s %10.3f  < 1 %%\n", "  the journal's share", on - off);
    QFile::remove(path);
    return 0;
}
