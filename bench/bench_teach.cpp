// Teaching windows from 2,000 labelled records of the simulated board (ten full
// stores), and the live test of one closed record against those windows and against
// a mask, as the Get_Wave page runs it for every coin. Usage: bench_teach [rounds]
#include "WaveLiveCheck.h"
#include "WaveSynth.h"
#include "WaveWindowsFile.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

// A full store of coins of every kind, labelled genuine by kind; one in twelve a slug.
void FillStore(TWaveStore& store, TWaveLabels& labels, uint64_t seed) {
    krv2sim::Rng rng(seed);
    for (int r = 0; r < TWaveStore::WaveMaxRecords; ++r) {
        krv2sim::CoinPassage coin;
        coin.type = r % 12 == 0 ? 0 : 1 + r % 8;
        coin.result = coin.type == 0 ? 0x88 : static_cast<uint8_t>(coin.type);
        coin.sequence = static_cast<uint8_t>(r);
        const krv2sim::WavePackets packets = krv2sim::synthesizeWave(coin, rng);
        for (size_t c = 0; c < 6; ++c)
            for (size_t k = 0; k < 299; ++k)
                store.WaveSamples[c][static_cast<size_t>(r)][k] = packets[c][8 + k];
        labels.Set(r, {coin.type == 0 ? QStringLiteral("slug") : QString::number(coin.type),
                       coin.type == 0 ? TCoinClass::Fake : TCoinClass::Genuine, false, QString()});
    }
    store.RecordCount = TWaveStore::WaveMaxRecords;
}

// Median and best of `rounds` runs of `work`, each divided by `per`, in milliseconds.
void Measure(const char* what, int rounds, int per, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6 / per);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-46s median %9.4f ms   best %9.4f ms\n", what, ms[ms.size() / 2], ms.front());
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    constexpr int Files = 10;
    std::vector<std::unique_ptr<TWaveStore>> stores;
    std::vector<TWaveLabels> labels(Files);
    std::vector<TWaveSource> sources;
    for (int f = 0; f < Files; ++f) {
        stores.push_back(std::make_unique<TWaveStore>());
        FillStore(*stores.back(), labels[static_cast<size_t>(f)], 200 + static_cast<uint64_t>(f));
        sources.push_back({stores.back().get(), &labels[static_cast<size_t>(f)], QString()});
    }
    const QDateTime now = QDateTime::currentDateTime();
    size_t sink = 0;
    std::printf("%d rounds each\n", rounds);
    Measure("2000 records: table + teach, k 3", rounds, 1, [&] {
        const TWaveTable table(sources);
        sink += WaveTeach::Teach(table, {}, now).Windows.size();
    });
    const TWaveTable table(sources);
    Measure("2000 records: teach, k 3", rounds, 1,
            [&] { sink += WaveTeach::Teach(table, {}, now).Reports.size(); });
    Measure("2000 records: teach, margin 2", rounds, 1, [&] {
        sink += WaveTeach::Teach(table, {3, 2}, now).Reports.size();
    });
    const TTeaching t = WaveTeach::Teach(table, {}, now);
    Measure("windows file: write and read back", rounds, 1, [&] {
        TWindowsSet back;
        QString error;
        sink += WaveWindowsFile::FromJson(WaveWindowsFile::ToJson(t.Windows), back, error);
    });
    size_t rejects = 0;
    size_t accepts = 0;
    for (const TKindReport& r : t.Reports) {
        rejects += r.FalseRejects.size();
        accepts += r.FalseAccepts.size();
    }
    std::printf("  %zu kinds, %zu false rejects, %zu false accepts\n", t.Windows.size(), rejects,
                accepts);

    // The live test of each record of a full store, per record.
    const TWaveStore& live = *stores.front();
    TLiveCheck windows;
    windows.UseWindows(t.Windows, QStringLiteral("bench"));
    TLiveCheck mask;
    const std::vector<TGroup> groups = WaveStats::MakeGroups(table, TGrouping::Label);
    mask.UseMask(WaveTeach::MakeMask(WaveStats::Envelope(table, groups[1]), 5, 2, groups[1].Name),
                 QStringLiteral("bench"));
    for (auto* check : {&windows, &mask}) {
        Measure(check == &windows ? "live check per record: windows of 8 kinds"
                                  : "live check per record: mask",
                rounds, TWaveStore::WaveMaxRecords, [&] {
                    for (int r = 0; r < TWaveStore::WaveMaxRecords; ++r)
                        sink += check->RecordClosed(live, r)->Pass;
                });
    }
    std::printf("  windows: %d of %d failed; mask of %s: %d of %d failed\n", windows.Failed(),
                windows.Tested(), qPrintable(groups[1].Name), mask.Failed(), mask.Tested());
    return sink == 0;
}
