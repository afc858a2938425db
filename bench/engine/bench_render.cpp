// Final-mosaic rendering: the wizard's default 56 x 56 project and a 200 x 200 one, each
// with 1 and 2 threads preparing the cell bitmaps. The library holds 1000 synthetic
// 200 x 200 JPEG tiles; the search runs once, outside the timing. CPU time counts every
// thread of the process.
#include "engine/mosaic_render.h"
#include "imaging/program_random.h"
#include "render_fixture.h"
#include "workflow/main_image.h"
#include "workflow/project_pipeline.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <memory>

using namespace vantorel;

namespace {

struct Prepared {
    std::unique_ptr<engine::MosaicContext> ctx;
    workflow::CropView view;
    workflow::WizardSettings settings;
};

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

// The library, written once per run.
const QString& libraryFolder() {
    static const QString folder = [] {
        const QString f = scratch().filePath(QStringLiteral("lib"));
        auto lib = tilelib::TTilelib::create();
        test::writeTileLibrary(*lib, f, test::photoTiles(1000, 200), "jpg");
        return f;
    }();
    return folder;
}

// A searched project of side x side cells with the wizard's other defaults.
Prepared& project(int side) {
    static std::map<int, std::unique_ptr<Prepared>> cache;
    auto& slot = cache[side];
    if (slot) return *slot;
    slot = std::make_unique<Prepared>();
    Prepared& p = *slot;
    p.ctx = engine::MosaicContext::create();
    p.ctx->ScreenScale = 1;
    p.ctx->ProjectTileLib->LoadTilelib(tilelib::ImgLibFileName(libraryFolder()));
    p.settings.horizontalTileCount = p.settings.verticalTileCount = side;
    if (side > 100) p.settings.repeatMaxOn = false; // 1000 tiles x 50 would leave cells empty
    workflow::NewProjectPipeline pipeline(*p.ctx, p.view, p.settings);
    pipeline.NPA_SizeUpdate_KRV();
    workflow::setMainImage(p.view, test::syntheticPhoto(7, 1200, 900));
    pipeline.NPA_AutoCrop();
    imaging::seedProgramRandom(1);
    QImage unused;
    pipeline.createMosaic(unused, nullptr, engine::kViewOutline);
    return p;
}

void BM_RenderFinal(benchmark::State& state) {
    const int side = int(state.range(0));
    engine::setRenderThreads(int(state.range(1)));
    Prepared& p = project(side);
    QImage picture;
    for (auto _ : state) {
        engine::RenderView(*p.ctx, engine::kViewFinal, picture, 1.0f, nullptr);
        benchmark::DoNotOptimize(picture.constBits());
    }
    state.counters["cells"] = side * side;
    state.counters["width_px"] = picture.width();
    engine::setRenderThreads(0);
    picture = QImage();
}

} // namespace

BENCHMARK(BM_RenderFinal)
    ->ArgNames({"side", "threads"})
    ->Args({56, 1})
    ->Args({56, 2})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_RenderFinal)
    ->ArgNames({"side", "threads"})
    ->Args({200, 1})
    ->Args({200, 2})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(1);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
