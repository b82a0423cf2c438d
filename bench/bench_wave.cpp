// Measures the wave store's data side: the Load of a full 200-record .bwv file (read,
// check, copy into the store, the plot requests of every record issued to a plot that
// draws nothing), Save of the same, and the tool's memory with 200 records held.
// Usage: bench_wave [repetitions]
#include "Form1.h"
#include "WaveActive.h"
#include "WaveFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
// Resident memory of this process in KiB.
long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void FillFull(TWaveStore& store) {
    for (size_t c = 0; c < 6; ++c)
        for (size_t r = 0; r < 200; ++r)
            for (size_t s = 0; s < 300; ++s)
                store.WaveSamples[c][r][s] = static_cast<int32_t>((c + r * 3 + s * 7) % 256);
    for (size_t r = 0; r < 200; ++r)
        store.RecordLength[r] = static_cast<int32_t>(140 + r % 30);
    store.RecordCount = 200;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.bwv"));
    auto source = std::make_unique<TWaveStore>();
    FillFull(*source);
    QString error;
    std::vector<double> saveMs;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer t;
        t.start();
        if (!WaveFile::Save(path, *source, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        saveMs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }

    const long rssBefore = ResidentKiB();
    TForm1 form;
    const long rssWindow = ResidentKiB();
    TNoPlot plot;
    std::vector<double> loadMs;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer t;
        t.start();
        QByteArray block;
        if (!WaveFile::ReadBlock(path, block, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        WaveActive::EmptyStore(*form.WaveStore, plot);
        WaveActive::Load(*form.WaveStore, plot, block);
        loadMs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    const long rssFull = ResidentKiB();
    if (form.WaveStore->RecordCount != 200 ||
        form.WaveStore->WaveSamples[5][199][299] != source->WaveSamples[5][199][299]) {
        std::fprintf(stderr, "the loaded store differs from the saved one\n");
        return 1;
    }

    std::printf("Save of a 200-record file: median %.2f ms (%d runs)\n", Median(saveMs),
                repetitions);
    std::printf("Load of a 200-record file, data side: median %.2f ms, worst %.2f ms (%d runs)\n",
                Median(loadMs), *std::max_element(loadMs.begin(), loadMs.end()), repetitions);
    std::printf("store: %zu bytes allocated once with the window\n", sizeof(TWaveStore));
    std::printf("resident memory: %ld KiB before the window, %ld KiB with it (empty store), "
                "%ld KiB with 200 records held\n",
                rssBefore, rssWindow, rssFull);
    return 0;
}
