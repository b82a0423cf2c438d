// Measures the running tool: its CPU use and wakeups while idle, with the port closed and
// with the port open, beside what an empty 10 ms timer and a bare 10 ms sleep cost on
// this machine; the latency from a byte written at the far end of the cable to its
// "RX: " line, while bytes flow and after a quiet spell; the cost of a stream at the
// full 9600-baud rate; the line rate of R/W Binary's image write against a board that
// takes and answers each line at the pace of a 9600-baud wire; and the memory over many
// page changes (each one closes the port and opens it on a new component).
// Last, how long the Parameter page's Save holds the window on a port that takes no
// data. Usage: bench_tool [idle-seconds] [latency-samples] [page-changes]
#include "BinaryPage.h"
#include "Form1.h"
#include "Memo.h"
#include "Messages.h"
#include "ParameterPage.h"
#include "PortNames.h"
#include "PtyPair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Runs the event loop as the tool does (QApplication::exec), not a test's wait loop,
// whose sleeps and extra passes would be measured instead.
void RunEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU time and voluntary context switches (each one a sleep the process woke from) of
// the whole process, or of the calling thread alone.
struct TUsage {
    double cpu = 0;
    long wakeups = 0;
};
TUsage Usage(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return {static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
            u.ru_nvcsw};
}

double IdleCpuPercent(int seconds, const char* what) {
    const TUsage before = Usage();
    QElapsedTimer wall;
    wall.start();
    RunEventLoop(seconds * 1000);
    const TUsage after = Usage();
    const double cpu = after.cpu - before.cpu;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const double percent = 100.0 * cpu / elapsed;
    std::printf("idle, %-20s: %.3f s CPU in %.1f s = %.3f %% of one core, %.1f wakeups/s\n", what,
                cpu, elapsed, percent,
                static_cast<double>(after.wakeups - before.wakeups) / elapsed);
    return percent;
}

// The machine's own price of waking a thread every 10 ms, with no event loop at all:
// no poll tick can cost less than this.
double SleepLoopCpuPercent(int seconds) {
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const timespec tenMs{0, 10'000'000};
    while (wall.elapsed() < seconds * 1000LL)
        nanosleep(&tenMs, nullptr);
    const double cpu = CpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const double percent = 100.0 * cpu / elapsed;
    std::printf("idle, %-20s: %.3f s CPU in %.1f s = %.3f %% of one core\n", "a bare 10 ms sleep",
                cpu, elapsed, percent);
    return percent;
}

void PrintLatencies(const char* what, std::vector<double> latencies) {
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (double l : latencies)
        sum += l;
    std::printf("%s over %zu samples: median %.2f ms, mean %.2f ms, 90th percentile %.2f ms, "
                "max %.2f ms\n",
                what, latencies.size(), latencies[latencies.size() / 2],
                sum / static_cast<double>(latencies.size()), latencies[latencies.size() * 9 / 10],
                latencies.back());
}

using TClock = std::chrono::steady_clock;

// A byte written by another thread (the board) after the window has slept through a
// quiet spell in its own event loop, timed to the return of the receive handler that
// has put its "RX: " line in. A loop that spins would hide the wake-up being measured.
std::vector<double> QuietSpellLatencies(TForm1& form, TPtyPair& pty, int samples, int quietMs) {
    std::vector<double> latencies;
    TComm* comm = form.Comm1;
    const TComm::TNotifyEvent original = comm->OnReceiveData;
    QEventLoop loop;
    TClock::time_point handled;
    comm->OnReceiveData = [&](QObject* sender) {
        original(sender);
        handled = TClock::now();
        loop.quit();
    };
    QTimer guard; // a byte that never arrives ends the sample instead of the run
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (int i = 0; i < samples; ++i) {
        TClock::time_point written;
        handled = {};
        guard.start(quietMs + 1000);
        std::thread board([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(quietMs + 7 * (i % 3)));
            written = TClock::now();
            pty.Write(QByteArray(1, static_cast<char>(i)));
        });
        loop.exec();
        board.join();
        if (handled > written)
            latencies.push_back(
                std::chrono::duration<double, std::milli>(handled - written).count());
    }
    comm->OnReceiveData = original;
    return latencies;
}

// The board streaming at the full rate of the line: ten bytes every 10.4 ms, as a
// 9600-baud wire delivers them. CPU and wakeups of the window's thread only; the
// writing thread stands in for the board.
void StreamCost(TPtyPair& pty, int seconds) {
    std::atomic<bool> stop = false;
    std::atomic<long> sent = 0;
    std::thread board([&] {
        const QByteArray burst(10, '\x5A');
        auto next = TClock::now();
        while (!stop) {
            next += std::chrono::microseconds(10'417);
            std::this_thread::sleep_until(next);
            if (pty.Write(burst))
                sent += burst.size();
        }
    });
    const TUsage before = Usage(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    RunEventLoop(seconds * 1000);
    const TUsage after = Usage(RUSAGE_THREAD);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    stop = true;
    board.join();
    RunEventLoop(200); // the tail of the stream is read before anything else runs
    std::printf("streaming %.0f B/s: window thread %.2f %% of one core, %.1f wakeups/s\n",
                static_cast<double>(sent) / elapsed, 100.0 * (after.cpu - before.cpu) / elapsed,
                static_cast<double>(after.wakeups - before.wakeups) / elapsed);
}
// The board's side of an image write over a 9600-baud cable, on the pseudo-terminal's
// master end: a frame is taken as the wire would deliver it (its last byte one byte
// time per byte after its first), then Write Start, line writes and Write Finish are
// answered with the acknowledgement 90 05 50 03 E8, one byte every 1.04 ms.
class TPacedBoard {
public:
    explicit TPacedBoard(int masterFd) : master(masterFd), worker([this] { Run(); }) {}
    ~TPacedBoard() {
        stop = true;
        worker.join();
    }
    TPacedBoard(const TPacedBoard&) = delete;
    TPacedBoard& operator=(const TPacedBoard&) = delete;

    static constexpr std::chrono::microseconds byteTime{1'042};

private:
    void Run() {
        QByteArray frame;
        TClock::time_point firstByte;
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (frame.isEmpty() && buffer[i] != '\x90')
                    continue;
                if (frame.isEmpty())
                    firstByte = TClock::now();
                frame.append(buffer[i]);
                if (frame.size() < 3 || frame.size() < static_cast<uint8_t>(frame[1]))
                    continue;
                const auto code = static_cast<uint8_t>(frame[2]);
                if (code == 0x8A || code == 0x8B || code == 0x8C)
                    Acknowledge(firstByte + frame.size() * byteTime);
                frame.clear();
            }
        }
    }
    void Acknowledge(TClock::time_point at) {
        for (const char byte : QByteArray::fromHex("90 05 50 03 E8")) {
            at += byteTime;
            std::this_thread::sleep_until(at);
            (void)::write(master, &byte, 1);
        }
    }

    int master;
    std::atomic<bool> stop = false;
    std::thread worker;
};

// R/W Binary's image write, timed in the tool's own event loop from Writing to the
// acknowledgement of the last line, against the wire: per line 71 bytes out and the
// 5-byte acknowledgement back, ten bits a byte at 9600 baud.
void ImageWriteRate(TForm1& form, TPtyPair& pty, int lines, int runs) {
    form.PageControl1->setCurrentIndex(4); // R/W Binary keeps the port as it is
    TBinaryPage* page = form.TabSheet5;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    QByteArray image(lines * 64, '\0');
    for (qsizetype i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7 + 1);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return;
    file.close();
    page->Edit8->setText(QString::number(lines - 1));
    page->ChooseFile = [path](bool) { return path; };
    page->Button17Click();

    const TPacedBoard board(pty.Master());
    TComm* comm = form.Comm1;
    const TComm::TNotifyEvent original = comm->OnReceiveData;
    QEventLoop loop;
    comm->OnReceiveData = [&](QObject* sender) {
        original(sender);
        if (page->Image.Phase == TTransferPhase::Done)
            loop.quit();
    };
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    const double wireMs = (71 + 5) * TPacedBoard::byteTime.count() / 1000.0;
    std::vector<double> perLine;
    for (int run = 0; run < runs; ++run) {
        page->Button20Click();
        RunEventLoop(300); // Write Start and its acknowledgement, then a quiet spell
        guard.start(lines * 2000);
        QElapsedTimer clock;
        clock.start();
        page->Button19Click();
        loop.exec();
        if (page->Image.Phase != TTransferPhase::Done) {
            std::fprintf(stderr, "image write did not finish\n");
            break;
        }
        perLine.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 / lines);
    }
    comm->OnReceiveData = original;
    std::sort(perLine.begin(), perLine.end());
    for (const double ms : perLine)
        std::printf("image write, %d lines at the wire's pace: %.2f ms a line against %.2f ms on "
                    "the wire, %.1f %% of the wire-limited rate (%.2f ms a line more)\n",
                    lines, ms, wireMs, 100.0 * wireMs / ms, ms - wireMs);
    form.PageControl1->setCurrentIndex(0);
}

// The latency from a byte written at the far end of the cable to its "RX: " line: in the
// memo's store (seen when the event loop hands back, so a paint in the same pass counts
// as well), and on the screen (a paint of Memo7 that shows it, R/W Binary shown).
// Each byte follows a quiet spell longer than the memo's repaint interval, as the one
// line a technician waits for does, and lands at a random phase of the poll.
void ByteToScreen(TForm1& form, TPtyPair& pty, int samples) {
    form.PageControl1->setCurrentWidget(form.TabSheet5); // changes nothing at the port
    RunEventLoop(300);
    TMemo* memo7 = form.TabSheet5->Memo7;
    qsizetype before = 0;
    QElapsedTimer clock;
    double shown = -1; // ms from the write to the paint that showed the line
    QObject::connect(memo7, &TMemo::LinesPainted, memo7, [&](qsizetype first, qsizetype) {
        if (shown < 0 && first == 0 && memo7->LineCount() > before)
            shown = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    });
    std::vector<double> stored;
    std::vector<double> painted;
    for (int i = 0; i < samples; ++i) {
        before = memo7->LineCount();
        shown = -1;
        clock.start();
        pty.Write(QByteArray(1, static_cast<char>(i)));
        while (memo7->LineCount() == before)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        stored.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        while (shown < 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        painted.push_back(shown);
        QTest::qWait(150 + i % 7);
    }
    const auto report = [samples](const QByteArray& where, std::vector<double>& latencies) {
        std::sort(latencies.begin(), latencies.end());
        double sum = 0;
        for (double l : latencies)
            sum += l;
        std::printf("byte to RX line %-26s over %d samples: median %.2f ms, mean %.2f ms, "
                    "max %.2f ms\n",
                    where.constData(), samples, latencies[latencies.size() / 2],
                    sum / static_cast<double>(samples), latencies.back());
    };
    report("in the store", stored);
    report("on the screen (" + QGuiApplication::platformName().toLatin1() + ")", painted);
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 200;
    const int pageChanges = argc > 3 ? std::atoi(argv[3]) : 10000;

    TPtyPair pty;
    if (!pty.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    PortNames::SetOverride(QStringLiteral("COM1"), pty.SlavePath());
    // A second descriptor of the port, taken before the tool locks it, to fill the
    // queue towards a board that reads nothing.
    const int filler = ::open(pty.SlavePath().toLocal8Bit().constData(),
                              O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QStringList shown;
    Messages::SetHandler([&shown](const TMessage& m) {
        shown << m.text;
        return QMessageBox::Ok;
    });
    TForm1 form;
    form.show();
    RunEventLoop(500); // let the window settle before measuring

    const double closed = IdleCpuPercent(idleSeconds, "port closed");
    const double floor = SleepLoopCpuPercent(idleSeconds);
    // What any 10 ms timer costs in this process: the floor under the poll's own work.
    double bare = 0;
    {
        QTimer empty;
        empty.setInterval(10);
        QObject::connect(&empty, &QTimer::timeout, &app, [] {});
        empty.start();
        bare = IdleCpuPercent(idleSeconds, "an empty 10 ms timer");
    }
    form.Button2Click();
    if (!form.PortOpened) {
        std::fprintf(stderr, "could not open %s\n", qPrintable(pty.SlavePath()));
        return 1;
    }
    form.SetOperationMode(0);
    RunEventLoop(1000); // what opening sets going (title, enabled pages) settles first
    const double open = IdleCpuPercent(idleSeconds, "port open  ");
    std::printf("the open port: %.3f %% of one core above the closed one, %.3f %% above an "
                "empty timer, %.3f %% above a bare sleep\n",
                open - closed, open - bare, open - floor);

    if (samples > 0) {
        ByteToScreen(form, pty, samples);
        PrintLatencies("first byte after 300 ms quiet to RX line",
                       QuietSpellLatencies(form, pty, std::max(10, samples / 10), 300));
        StreamCost(pty, std::max(5, idleSeconds / 2));
        ImageWriteRate(form, pty, 32, 3);
    }

    if (pageChanges > 0) {
        // Changes between Parameter Setting and Protocol Test from inside the event loop,
        // as clicks on the tabs would come.
        const double rssBefore = ResidentMegabytes();
        const qsizetype componentsBefore = form.Components().size();
        QElapsedTimer clock;
        clock.start();
        int done = 0;
        QEventLoop loop;
        QTimer changer;
        changer.setInterval(0);
        QObject::connect(&changer, &QTimer::timeout, &loop, [&] {
            form.PageControl1->setCurrentIndex(form.PageControl1->currentIndex() == 0 ? 1 : 0);
            if (++done == pageChanges)
                loop.quit();
        });
        changer.start();
        loop.exec();
        changer.stop();
        RunEventLoop(100); // releases that are due run here
        std::printf("%d page changes in %.1f s: RSS %.1f MB -> %.1f MB, components %lld -> %lld, "
                    "port open: %s\n",
                    pageChanges, static_cast<double>(clock.elapsed()) / 1000.0, rssBefore,
                    ResidentMegabytes(), static_cast<long long>(componentsBefore),
                    static_cast<long long>(form.Components().size()),
                    form.PortOpened ? "yes" : "no");
    }

    if (filler >= 0 && form.PortOpened) {
        form.PageControl1->setCurrentIndex(0);
        const QByteArray block(4096, 'A');
        for (qsizetype round = 1; round > 0;) {
            round = 0;
            for (ssize_t n = 1; n > 0;) {
                n = ::write(filler, block.constData(), static_cast<size_t>(block.size()));
                round += std::max<ssize_t>(n, 0);
            }
            QTest::qSleep(50);
        }
        // A block no longer fits, but single bytes may still fit the tail of the
        // driver's last buffer, and then the first frames of Save would go out.
        while (::write(filler, "A", 1) == 1) {
        }
        shown.clear();
        QElapsedTimer clock;
        clock.start();
        form.TabSheet1->Button6Click();
        const double held = static_cast<double>(clock.elapsed()) / 1000.0;
        RunEventLoop(300);
        std::printf("Save on a port that takes no data: window held %.2f s, %lld message(s): %s\n",
                    held, static_cast<long long>(shown.size()), qPrintable(shown.join(" | ")));
    }
    if (filler >= 0)
        ::close(filler);
    return 0;
}
