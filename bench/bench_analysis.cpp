// The wave analysis over labelled records from the simulated board: table,
// statistics, envelopes and outlier scores, as the analysis window recomputes them
// after every change, for one full store (200 records) and for ten files (2,000).
// Also the three CSV layouts. Usage: bench_analysis [rounds]
#include "WaveCsv.h"
#include "WaveStats.h"
#include "WaveSynth.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

// A full store of coins of every kind, labelled by kind; one in twelve a slug.
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
        store.RecordLength[static_cast<size_t>(r)] = packets[0][5] * 256 + packets[0][6];
        labels.Set(r, {coin.type == 0 ? QStringLiteral("slug") : QString::number(coin.type),
                       coin.type == 0 ? TCoinClass::Fake : TCoinClass::Genuine, r % 50 == 7,
                       QString()});
    }
    store.RecordCount = TWaveStore::WaveMaxRecords;
}

// Median and best of `rounds` runs, in milliseconds.
void Measure(const char* what, int rounds, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %8.2f ms   best %8.2f ms\n", what, ms[ms.size() / 2], ms.front());
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
        FillStore(*stores.back(), labels[static_cast<size_t>(f)], 100 + static_cast<uint64_t>(f));
    }
    for (int f = 0; f < Files; ++f)
        sources.push_back({stores[static_cast<size_t>(f)].get(), &labels[static_cast<size_t>(f)],
                           QStringLiteral("f%1.bwv").arg(f)});

    size_t sink = 0;
    std::printf("%d rounds each\n", rounds);
    for (const int files : {1, Files}) {
        const std::vector<TWaveSource> some(sources.begin(), sources.begin() + files);
        const QByteArray label = QByteArray::number(files * TWaveStore::WaveMaxRecords);
        Measure(label + " records: table + stats + envelopes + outliers", rounds, [&] {
            const TWaveTable table(some);
            const TAnalysis a = Analyse(table);
            sink += a.Stats.size() + a.Envelopes.size() + a.Outliers.size();
        });
        const TWaveTable table(some);
        Measure(label + " records:   table", rounds,
                [&] { sink += TWaveTable(some).Rows().size(); });
        const std::vector<TGroup> groups = WaveStats::MakeGroups(table, TGrouping::Label);
        Measure(label + " records:   stats", rounds,
                [&] { sink += WaveStats::Statistics(table, groups).size(); });
        Measure(label + " records:   envelopes", rounds, [&] {
            for (const TGroup& g : groups)
                sink += static_cast<size_t>(WaveStats::Envelope(table, g).Max[0][0]);
        });
        Measure(label + " records:   outliers", rounds,
                [&] { sink += WaveStats::Outliers(table, groups, TGrouping::Label).size(); });
        for (const auto& [name, layout] :
             {std::pair{"values", TCsvLayout::Values}, std::pair{"samples", TCsvLayout::Samples},
              std::pair{"stats", TCsvLayout::Stats}})
            Measure(label + " records: CSV " + name, rounds,
                    [&] { sink += static_cast<size_t>(WaveCsv::Build(table, layout).size()); });
        const TAnalysis a = Analyse(table);
        int flagged = 0;
        for (const TOutlier& o : a.Outliers)
            flagged += o.Flagged;
        std::printf("  %zu groups, %d of %zu records flagged as outliers\n", a.Groups.size(),
                    flagged, a.Outliers.size());
    }
    return sink == 0;
}
