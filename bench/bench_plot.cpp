// The wave plot with 200 records from the simulated board on every surface: our layer
// model against the literal one (a full bitmap per layer, the whole stack composed
// again after every change) on the same work, and the cursor with the envelope band of
// the 200 records shown under them. Usage: bench_plot [moves] [ours]
// ("ours" leaves the literal model out, for profiling).
#include "LayerSurface.h"
#include "LiteralSurface.h"
#include "Plot.h"
#include "WaveSynth.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

namespace {

constexpr int Records = 200;

void FillStore(TWaveStore& store) {
    krv2sim::Rng rng(2026);
    for (int r = 0; r < Records; ++r) {
        krv2sim::CoinPassage coin;
        coin.type = 1 + r % 8;
        coin.result = r % 7 == 0 ? 0x88 : static_cast<uint8_t>(coin.type);
        coin.sequence = static_cast<uint8_t>(r);
        const krv2sim::WavePackets packets = krv2sim::synthesizeWave(coin, rng);
        for (size_t c = 0; c < 6; ++c)
            for (size_t k = 0; k < 299; ++k)
                store.WaveSamples[c][static_cast<size_t>(r)][k] = packets[c][8 + k];
    }
    store.RecordCount = Records;
    store.CurrentRecord = Records - 1;
}

// What Load asks of the plot: empty the old records' layers, then draw the new ones.
void Load(TPlot& plot, const TWaveStore& store, bool hadRecords) {
    if (hadRecords)
        for (int r = 0; r < store.RecordCount; ++r) {
            for (int j = 0; j < TPlot::StripCount; ++j)
                plot.FreeStripLayer(j, r);
            plot.FreeLargeLayer(r);
        }
    for (int j = 0; j < TPlot::StripCount; ++j) {
        for (int r = 0; r < store.RecordCount; ++r) {
            plot.AddStripLayer(j, r);
            plot.DrawStripRecord(j, r, r - 1);
        }
        plot.RaiseTopLayer(j);
    }
    for (int r = 0; r < store.RecordCount; ++r) {
        plot.AddLargeLayer(r);
        plot.DrawLargeRecord(0, r, r - 1);
    }
    plot.SetChannelCaption(QStringLiteral("ch0"));
    plot.RaiseOverlayLayers();
}

void ShowAll(TPlot& plot) {
    for (int i = 0; i < TPlot::StripCount; ++i)
        plot.Strip(i).Composite();
    plot.Large().Composite();
    plot.Scale().Composite();
}

// Pointer positions sweeping over the strips and the large plot.
std::pair<int, int> Pointer(int i) {
    return {(i * 37) % 900, (i * 13) % 70};
}

double ResidentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / 1e6;
}

// CPU time of this thread: on a shared machine wall time also counts other programs.
double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const int moves = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    auto store = std::make_unique<TWaveStore>();
    FillStore(*store);
    std::printf("%d records from the simulated board on 6 strips and the large plot\n\n", Records);

    // Ours.
    const double rssBefore = ResidentMB();
    std::vector<TLayerSurface*> ourSurfaces;
    TPlot ours(*store, [&](int w, int h, uint32_t bg) {
        auto s = std::make_unique<TLayerSurface>(w, h, bg);
        ourSurfaces.push_back(s.get());
        return s;
    });
    QElapsedTimer timer;
    timer.start();
    Load(ours, *store, false);
    ShowAll(ours);
    const double firstLoad = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::vector<double> loads;
    std::vector<double> loadCpu;
    for (int i = 0; i < 5; ++i) {
        timer.restart();
        const double cpu = ThreadMs();
        Load(ours, *store, true);
        ShowAll(ours);
        loads.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        loadCpu.push_back(ThreadMs() - cpu);
    }
    // A press on a strip redraws the large plot, a selector change its strip.
    timer.restart();
    ours.Strip(3).MousePress(10, 10);
    ShowAll(ours);
    const double press = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    ours.SelectorChanged(0, 3, QStringLiteral("ch3"));
    ShowAll(ours);
    const double selector = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    ours.SelectorChanged(0, 0, QStringLiteral("ch0"));
    ours.Strip(0).MouseMove(450, 30);
    ShowAll(ours);
    size_t ourBytes = 0;
    for (const TLayerSurface* s : ourSurfaces)
        ourBytes += s->MemoryBytes();
    const double rssOurs = ResidentMB() - rssBefore;

    // The first sweep renders every number's text for the first time, as the first
    // minutes on the page do; the second finds it cached.
    std::vector<double> ourMoves;
    std::vector<double> ourMoveCpu;
    std::vector<double> coldMoves;
    std::vector<double> coldMoveCpu;
    for (int i = 0; i < 2 * moves; ++i) {
        if (i == moves) {
            coldMoves.swap(ourMoves);
            coldMoveCpu.swap(ourMoveCpu);
        }
        const auto [x, y] = Pointer(i);
        timer.restart();
        const double cpu = ThreadMs();
        ours.Strip(i % 6).MouseMove(x, y); // the cursor on every surface, then shown
        ShowAll(ours);
        ourMoves.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        ourMoveCpu.push_back(ThreadMs() - cpu);
    }

    // The envelope band of all 200 records under the traces, and outliers in their
    // colour: the band is one more sparse layer under every record layer.
    TPlotBand band;
    for (size_t c = 0; c < 6; ++c) {
        band.Lower[c].fill(255);
        band.Upper[c].fill(0);
        for (size_t s = 0; s < 300; ++s) {
            band.Present[c][s] = s < 299 && (c != 0 || s < 250 || s >= 270);
            for (size_t r = 0; r < Records; ++r) {
                band.Lower[c][s] = std::min(band.Lower[c][s], store->WaveSamples[c][r][s]);
                band.Upper[c][s] = std::max(band.Upper[c][s], store->WaveSamples[c][r][s]);
            }
        }
    }
    timer.restart();
    ours.ShowBand(band);
    ShowAll(ours);
    const double bandShow = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::array<bool, TWaveStore::WaveMaxRecords> flagged{};
    for (size_t r = 0; r < Records; r += 7)
        flagged[r] = true;
    timer.restart();
    ours.ShowOutliers(flagged);
    ShowAll(ours);
    const double outlierShow = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::vector<double> bandMoves;
    std::vector<double> bandMoveCpu;
    for (int i = 0; i < moves; ++i) {
        const auto [x, y] = Pointer(i);
        timer.restart();
        const double cpu = ThreadMs();
        ours.Strip(i % 6).MouseMove(x, y);
        ShowAll(ours);
        bandMoves.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        bandMoveCpu.push_back(ThreadMs() - cpu);
    }
    std::sort(bandMoves.begin(), bandMoves.end());
    std::sort(bandMoveCpu.begin(), bandMoveCpu.end());
    ours.HideBand();
    ours.ShowOutliers({});
    ShowAll(ours);

    const bool oursOnly = argc > 2 && std::strcmp(argv[2], "ours") == 0;
    if (oursOnly) {
        std::sort(ourMoves.begin(), ourMoves.end());
        std::printf("mouse move %.3f ms (first sweep %.3f ms, envelope shown %.3f ms), Load %.1f "
                    "ms, memory %.1f MB\n",
                    Median(ourMoves), Median(coldMoves), Median(bandMoves), Median(loads),
                    static_cast<double>(ourBytes) / 1e6);
        return 0;
    }
    // The literal model, filled without showing (that alone would take hours).
    std::vector<TLiteralSurface*> literalSurfaces;
    TPlot literal(*store, [&](int w, int h, uint32_t bg) {
        auto s = std::make_unique<TLiteralSurface>(w, h, bg);
        literalSurfaces.push_back(s.get());
        return s;
    });
    Load(literal, *store, false);
    ShowAll(literal);
    size_t literalBytes = 0;
    for (const TLiteralSurface* s : literalSurfaces)
        literalBytes += s->MemoryBytes();
    // Composed once per move, as a lazy literal model would.
    std::vector<double> lazyMoves;
    for (int i = 0; i < 5; ++i) {
        const auto [x, y] = Pointer(i);
        timer.restart();
        literal.Strip(i % 6).MouseMove(x, y);
        ShowAll(literal);
        lazyMoves.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    // Shown again after every change of a layer, as the surfaces are described.
    for (TLiteralSurface* s : literalSurfaces)
        s->SetRecomposeEachChange(true);
    std::vector<double> literalMoves;
    for (int i = 0; i < 3; ++i) {
        const auto [x, y] = Pointer(i);
        timer.restart();
        literal.Strip(i % 6).MouseMove(x, y);
        literalMoves.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }

    const double ourMove = Median(ourMoves);
    std::sort(ourMoves.begin(), ourMoves.end());
    std::printf("mouse move, cursor drawn on all 8 surfaces and shown:\n");
    std::printf(
        "  ours, warm      median %8.3f ms   99th pct %.3f ms   max %.3f ms   (target <= 2 ms)\n",
        ourMove, ourMoves[ourMoves.size() * 99 / 100], ourMoves.back());
    std::sort(ourMoveCpu.begin(), ourMoveCpu.end());
    std::printf("  warm, CPU time  median %8.3f ms   99th pct %.3f ms   max %.3f ms\n",
                Median(ourMoveCpu), ourMoveCpu[ourMoveCpu.size() * 99 / 100], ourMoveCpu.back());
    std::printf(
        "  ours, envelope  median %8.3f ms   99th pct %.3f ms   max %.3f ms   (target < 2 ms)\n",
        Median(bandMoves), bandMoves[bandMoves.size() * 99 / 100], bandMoves.back());
    std::printf("  ours, envelope, CPU time median %.3f ms   99th pct %.3f ms\n",
                Median(bandMoveCpu), bandMoveCpu[bandMoveCpu.size() * 99 / 100]);
    std::sort(coldMoves.begin(), coldMoves.end());
    std::sort(coldMoveCpu.begin(), coldMoveCpu.end());
    std::printf("  ours, cold      median %8.3f ms   99th pct %.3f ms   max %.3f ms   (CPU time "
                "median %.3f ms, max %.3f ms; the first sweep)\n",
                Median(coldMoves), coldMoves[coldMoves.size() * 99 / 100], coldMoves.back(),
                Median(coldMoveCpu), coldMoveCpu.back());
    std::printf("  literal         median %8.1f ms   ratio %6.0fx  (target >= 50x)\n",
                Median(literalMoves), Median(literalMoves) / ourMove);
    std::printf("  literal, lazy   median %8.1f ms   ratio %6.0fx  (composed once per move)\n\n",
                Median(lazyMoves), Median(lazyMoves) / ourMove);
    std::printf("Load of %d records to a drawn plot (free old layers, draw, show):\n", Records);
    std::printf("  ours            first %.1f ms, then median %.1f ms (CPU time %.1f ms)"
                "   (target <= 100 ms)\n\n",
                firstLoad, Median(loads), Median(loadCpu));
    std::printf("press on a strip (large plot redrawn) %.1f ms, selector change (strip "
                "redrawn) %.1f ms\n",
                press, selector);
    std::printf("envelope band shown on 7 surfaces %.1f ms, outliers of 29 records recoloured "
                "%.1f ms\n\n",
                bandShow, outlierShow);
    std::printf("plot memory with %d records:\n", Records);
    std::printf("  ours            %.1f MB held by layers and composites, %.1f MB resident growth"
                "   (target < 40 MB)\n",
                static_cast<double>(ourBytes) / 1e6, rssOurs);
    std::printf("  literal         %.1f MB   ratio %.0fx\n",
                static_cast<double>(literalBytes) / 1e6,
                static_cast<double>(literalBytes) / static_cast<double>(ourBytes));
    return 0;
}
