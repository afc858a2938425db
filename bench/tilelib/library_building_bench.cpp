// Photos per second when building a library, and where the time goes: decode, cut and
// scale, encode of the ready tile, and the thirteen colour descriptions. Each stage runs
// with and without the reduced JPEG decode.
#include "tilelib/library_building.h"
#include "tilelib/tile_library.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

using namespace vantorel::tilelib;

namespace {

constexpr int kTile = 400; // the new-library window's default tile

struct PhotoSize {
    int w, h;
};
constexpr PhotoSize kSizes[] = {{3000, 2000}, {800, 600}};

// A photo-like picture: smooth light, fine texture and noise, so JPEG has work to do.
QImage syntheticPhoto(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double u = double(x) / w, v = double(y) / h;
            const double tex = 40 * std::sin(x * 0.07) * std::cos(y * 0.05);
            const auto ch = [&](double base) {
                return std::clamp(int(base + tex) + noise(rng), 0, 255);
            };
            line[x] = qRgb(ch(200 * u + 30), ch(180 * v + 40), ch(120 * (1 - u) * v + 60));
        }
    }
    return img;
}

struct Workspace {
    QTemporaryDir dir;
    QString photo[2];

    Workspace() {
        for (int i = 0; i < 2; ++i) {
            photo[i] =
                dir.filePath(QStringLiteral("photo%1x%2.jpg").arg(kSizes[i].w).arg(kSizes[i].h));
            syntheticPhoto(kSizes[i].w, kSizes[i].h).save(photo[i], "jpg", 90);
        }
        QDir(dir.path()).mkpath(QStringLiteral("lib/source"));
        QDir(dir.path()).mkpath(QStringLiteral("lib/ready"));
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

void label(benchmark::State& state) {
    const PhotoSize s = kSizes[state.range(0)];
    state.SetLabel(
        QStringLiteral("%1x%2 -> %3x%3, %4")
            .arg(s.w)
            .arg(s.h)
            .arg(kTile)
            .arg(state.range(1) ? QStringLiteral("reduced decode") : QStringLiteral("full decode"))
            .toStdString());
    state.SetItemsProcessed(state.iterations());
    state.counters["photo_kB"] = double(QFileInfo(workspace().photo[state.range(0)]).size()) / 1024;
}

void BM_Decode(benchmark::State& state) {
    const QString path = workspace().photo[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(loadPhotoForTile(path, kTile, kTile, state.range(1)));
    label(state);
}

void BM_CutAndScale(benchmark::State& state) {
    const QImage photo =
        loadPhotoForTile(workspace().photo[state.range(0)], kTile, kTile, state.range(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(makeTile(photo, kTile, kTile));
    label(state);
}

void BM_Encode(benchmark::State& state) {
    const QImage tile =
        makeTile(loadPhotoForTile(workspace().photo[state.range(0)], kTile, kTile, state.range(1)),
                 kTile, kTile);
    for (auto _ : state) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "jpg").write(tile);
        benchmark::DoNotOptimize(bytes.data());
    }
    label(state);
}

void BM_ThirteenDescriptions(benchmark::State& state) {
    const QImage tile =
        makeTile(loadPhotoForTile(workspace().photo[state.range(0)], kTile, kTile, state.range(1)),
                 kTile, kTile);
    TimgColorInfo info;
    TimgColorInfo rotations[12];
    for (auto _ : state) {
        describeTile(tile, info, rotations);
        benchmark::DoNotOptimize(&rotations);
    }
    label(state);
}

// The whole tile: the four stages in sequence.
void BM_WholeTile(benchmark::State& state) {
    const QString path = workspace().photo[state.range(0)];
    TimgColorInfo info;
    TimgColorInfo rotations[12];
    for (auto _ : state) {
        const QImage tile =
            makeTile(loadPhotoForTile(path, kTile, kTile, state.range(1)), kTile, kTile);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "jpg").write(tile);
        describeTile(tile, info, rotations);
        benchmark::DoNotOptimize(&rotations);
    }
    label(state);
}

// AddImgFile2 as the library editor and lib-add call it, file copy and ready save included.
void BM_AddImgFile2(benchmark::State& state) {
    Workspace& ws = workspace();
    auto lib = TTilelib::create();
    lib->emptytilelib();
    lib->cfg.Rootpath.set(ws.dir.filePath(QStringLiteral("lib")));
    lib->cfg.widthPx = kTile;
    lib->cfg.heightPx = kTile;
    const QString path = ws.photo[state.range(0)];
    for (auto _ : state) {
        lib->Count = 0;
        benchmark::DoNotOptimize(lib->AddImgFile2(path));
    }
    const PhotoSize s = kSizes[state.range(0)];
    state.SetLabel(QStringLiteral("%1x%2 -> %3x%3").arg(s.w).arg(s.h).arg(kTile).toStdString());
    state.SetItemsProcessed(state.iterations());
}

// CPU time of the whole process: Qt's smooth scaler may hand work to pool threads. Run
// pinned to one core (taskset -c 1) so that CPU time is the one-core cost; the minimum over
// repetitions is the figure least disturbed by other work on the machine.
void measure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
    b->ComputeStatistics(
        "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

void stageArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"size", "reduced"});
    for (int size = 0; size < 2; ++size)
        for (int reduced = 0; reduced < 2; ++reduced)
            b->Args({size, reduced});
    measure(b);
}

} // namespace

BENCHMARK(BM_Decode)->Apply(stageArgs);
BENCHMARK(BM_CutAndScale)->Apply(stageArgs);
BENCHMARK(BM_Encode)->Apply(stageArgs);
BENCHMARK(BM_ThirteenDescriptions)->Apply(stageArgs);
BENCHMARK(BM_WholeTile)->Apply(stageArgs);
BENCHMARK(BM_AddImgFile2)->ArgName("size")->Arg(0)->Arg(1)->Apply(measure);

int main(int argc, char** argv) {
    // Pictures and fonts need a QGuiApplication; no screen is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
