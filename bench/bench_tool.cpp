// Measures the running tool with an open port: its CPU use while idle (the 10 ms poll
// runs all the time) and the latency from a byte written at the far end of the cable
// to its "RX: " line. Usage: bench_tool [idle-seconds] [latency-samples]
#include "BinaryPage.h"
#include "Form1.h"
#include "Memo.h"
#include "PortNames.h"
#include "PtyPair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 200;

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
    form.SetOperationMode(0);

    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(idleSeconds * 1000);
    const double cpu = CpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    std::printf("idle with open port: %.3f s CPU in %.1f s = %.2f %% of one core\n", cpu, seconds,
                100.0 * cpu / seconds);

    TMemo* memo7 = form.TabSheet5->Memo7;
    std::vector<double> latencies;
    for (int i = 0; i < samples; ++i) {
        const int before = memo7->document()->blockCount();
        const bool empty = memo7->Lines().isEmpty();
        QElapsedTimer clock;
        clock.start();
        pty.Write(QByteArray(1, static_cast<char>(i)));
        while (memo7->document()->blockCount() == before && !(empty && !memo7->Lines().isEmpty()))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        // Let the next byte land at a random phase of the poll.
        QTest::qWait(3 + i % 7);
    }
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (double l : latencies)
        sum += l;
    std::printf("byte to RX line over %d samples: median %.2f ms, mean %.2f ms, max %.2f ms\n",
                samples, latencies[latencies.size() / 2], sum / static_cast<double>(samples),
                latencies.back());
    return 0;
}
