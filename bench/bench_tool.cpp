// Measures the running tool: its CPU use while idle, with the port closed and with the
// port open (the 10 ms poll runs all the time), beside what an empty 10 ms timer and a
// bare 10 ms sleep cost on this machine; the latency from a byte written at the far end
// of the cable to its "RX: " line; and the memory over many page changes (each one
// closes the port and opens it on a new component).
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
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
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

double IdleCpuPercent(int seconds, const char* what) {
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunEventLoop(seconds * 1000);
    const double cpu = CpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const double percent = 100.0 * cpu / elapsed;
    std::printf("idle, %-20s: %.3f s CPU in %.1f s = %.2f %% of one core\n", what, cpu, elapsed,
                percent);
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
    std::printf("idle, %-20s: %.3f s CPU in %.1f s = %.2f %% of one core\n", "a bare 10 ms sleep",
                cpu, elapsed, percent);
    return percent;
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
    const double open = IdleCpuPercent(idleSeconds, "port open  ");
    std::printf("the open port's poll: %.2f %% of one core, %.2f %% above an empty timer, "
                "%.2f %% above a bare sleep\n",
                open - closed, open - bare, open - floor);

    if (samples > 0)
        ByteToScreen(form, pty, samples);

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
