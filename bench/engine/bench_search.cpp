// Tile search on a 200 x 200 grid with a full 2049-tile library. Colours are synthetic:
// every tile and cell is a smooth colour ramp with a little noise (like a photograph reduced
// to 8 x 8 zones); round tiles turn the ramp by 30 degrees per rotation. The "noise" runs
// give every zone an independent random colour, the worst case for pruning.
#include "engine/mosaic_context.h"
#include "engine/tile_search.h"
#include "imaging/color_info.h"
#include "imaging/program_random.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace vantorel;
using engine::MosaicContext;
using imaging::TimgColorInfo;

constexpr int kSide = 200;
constexpr int kTiles = tilelib::kTileSlots;

struct Ramp {
    double base[3], dx[3], dy[3];
};

int clampChannel(double v) {
    return std::clamp(static_cast<int>(v), 0, 255);
}

// Zones of a ramp turned by angle, then quarters and the disc-weighted whole colour.
TimgColorInfo rampInfo(const Ramp& ramp, double angle, std::mt19937& rng, int noise) {
    TimgColorInfo info;
    std::memset(&info, 0, sizeof info);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    const double c = std::cos(angle), s = std::sin(angle);
    int quarter[4][3] = {};
    int whole[3] = {};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const double u = (x - 3.5) / 3.5, v = (y - 3.5) / 3.5;
            const double ru = c * u - s * v, rv = s * u + c * v;
            int ch[3];
            for (int k = 0; k < 3; ++k)
                ch[k] =
                    clampChannel(ramp.base[k] + ramp.dx[k] * ru + ramp.dy[k] * rv + jitter(rng));
            const int z = y * 8 + x;
            imaging::SetColorInfo15(info.ci64[z], ch[0], ch[1], ch[2]);
            for (int k = 0; k < 3; ++k) {
                quarter[(y / 4) * 2 + x / 4][k] += ch[k];
                whole[k] += imaging::ZoneWeight[z] * ch[k];
            }
        }
    for (int q = 0; q < 4; ++q)
        imaging::SetColorInfo15(info.ci4[q], quarter[q][0] / 16, quarter[q][1] / 16,
                                quarter[q][2] / 16);
    imaging::SetColorInfo15(info.ci1, whole[0] / 424, whole[1] / 424, whole[2] / 424);
    return info;
}

TimgColorInfo noiseInfo(std::mt19937& rng) {
    Ramp flat{};
    for (double& b : flat.base)
        b = 128;
    return rampInfo(flat, 0, rng, 128);
}

Ramp randomRamp(std::mt19937& rng, double r, double g, double b) {
    std::uniform_real_distribution<double> slope(-40, 40);
    return {{r, g, b}, {slope(rng), slope(rng), slope(rng)}, {slope(rng), slope(rng), slope(rng)}};
}

struct World {
    std::unique_ptr<MosaicContext> ctx = MosaicContext::create();
    std::vector<TimgColorInfo> cellColours;

    World(bool round, bool rgbMatch, bool noise) {
        std::mt19937 rng(2024);
        std::uniform_real_distribution<double> channel(0, 255);
        engine::TMosaicProject& p = *ctx->mproject;
        p.cfg.ProjectPatternType = engine::kPatternGrid;
        p.cfg.Vcc = p.cfg.Hcc = kSide;
        p.cfg.CellWdf = p.cfg.CellHtf = 10;
        p.cfg.CanvasScale = 1;
        p.cfg.BaseTileShape = round ? 20 : 10;
        p.Cell_Reset();
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c) {
                const double x = c / 23.0, y = r / 31.0;
                const Ramp ramp = randomRamp(rng, 128 + 110 * std::sin(x + 0.3 * y),
                                             128 + 110 * std::sin(1.7 * y - 0.4 * x),
                                             128 + 110 * std::cos(0.6 * x + 0.9 * y));
                p.Cells[r][c].ICinfo = noise ? noiseInfo(rng) : rampInfo(ramp, 0, rng, 8);
                cellColours.push_back(p.Cells[r][c].ICinfo);
            }
        tilelib::TTilelib& lib = *ctx->ProjectTileLib;
        lib.Count = kTiles;
        for (int t = 0; t < kTiles; ++t) {
            const Ramp ramp = randomRamp(rng, channel(rng), channel(rng), channel(rng));
            lib.items[t].ICinfo = noise ? noiseInfo(rng) : rampInfo(ramp, 0, rng, 8);
            for (int k = 0; k < 12; ++k)
                lib.items[t].ICinfoRot[k] =
                    noise ? noiseInfo(rng) : rampInfo(ramp, k * std::numbers::pi / 6, rng, 8);
            lib.ItemEnable[t] = 1;
        }
        ctx->SearchOpts = engine::DefaultSearchOpts();
        ctx->SearchOpts.RGBMatch = rgbMatch;
    }

    // The state a search starts from: fresh colours, no tiles, zero use counts.
    void reset() {
        engine::TMosaicProject& p = *ctx->mproject;
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c)
                p.Cells[r][c].ICinfo = cellColours[std::size_t(r) * kSide + c];
        p.cell_ClearTileID();
        ctx->ProjectTileLib->ZeroUsecount();
        imaging::seedProgramRandom(7);
    }
};

template <bool Round, bool Rgb, bool Noise, bool Plain = false>
void BM_Search(benchmark::State& state) {
    World world(Round, Rgb, Noise);
    for (auto _ : state) {
        state.PauseTiming();
        world.reset();
        state.ResumeTiming();
        if (Plain)
            engine::searchWithPlainRanking(*world.ctx, nullptr);
        else
            engine::Search_withoptions(*world.ctx, nullptr);
    }
    int filled = 0;
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c)
            filled += world.ctx->mproject->Cells[r][c].TileID >= 0;
    state.counters["cells_filled"] = filled;
}

void BM_UseAllPass(benchmark::State& state) {
    World world(false, false, false);
    for (auto _ : state) {
        state.PauseTiming();
        world.reset();
        state.ResumeTiming();
        engine::Search_Pos_for_tile(*world.ctx, nullptr);
    }
}

BENCHMARK(BM_Search<false, false, false>)
    ->Name("search/rect/light-rgb")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Search<false, true, false>)
    ->Name("search/rect/rgb")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Search<false, false, true>)
    ->Name("search/rect/light-rgb/noise")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Search<false, false, false, true>)
    ->Name("search/rect/light-rgb/plain")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_Search<true, false, false>)
    ->Name("search/round")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_Search<true, false, true>)
    ->Name("search/round/noise")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_UseAllPass)->Name("search/use-all-pass")->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
