#include "engine/project_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>

namespace vantorel::engine {

namespace {

// Trunc of a Double into int32 that stays defined for NaN and out-of-range values.
std::int32_t truncToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

double unitToPixels(double f, std::int32_t unit, double ppi, double current) {
    switch (unit) {
    case kUnitInch:
        return f * ppi;
    case kUnitMm:
        return f / 25.4 * ppi;
    case kUnitPixel:
        return f;
    default:
        return current;
    }
}

// Fits w x h into sideW x sideH keeping the aspect; scales up as well as down.
std::pair<Single, Single> fitInto(Single w, Single h, Single sideW, Single sideH) {
    if (sideW <= 0 || sideH <= 0) return {w, h};
    const Single ratio = std::max(w / sideW, h / sideH);
    if (ratio == 0) return {w, h};
    return {w / ratio, h / ratio};
}

} // namespace

TSearchOpts DefaultSearchOpts() {
    TSearchOpts o{};
    o.UseAll = 0;
    o.RepeatMinOn = 0;
    o.RepeatMaxOn = 1;
    o.RepeatRadiusOn = 1;
    o.RepeatMin = 1;
    o.RepeatMax = 50;
    o.RepeatRadius = 1;
    o.RandomLevel = 15;
    o.WeightL = 0.795082f;
    o.WeightC = 0.795082f;
    o.Dither = 1;
    o.DitherLevel = 1.0f;
    o.SearchScanline = 0;
    o.RGBMatch = 0;
    o.BgMain = 0;
    o.GroutColor = 0xFFFFF8DCu;
    o.AlphaBlend = 0.25;
    o.ColorAdjust = 0.4;
    o.reserved = 0;
    return o;
}

void* TMosaicProject::operator new(std::size_t size) {
    void* p = std::calloc(1, size);
    if (!p) throw std::bad_alloc();
    return p;
}

void TMosaicProject::operator delete(void* p) noexcept {
    std::free(p);
}

std::unique_ptr<TMosaicProject> TMosaicProject::create() {
    std::unique_ptr<TMosaicProject> p(new TMosaicProject);
    p->patterncfg = imaging::PatternCfg_Make();
    p->clear();
    return p;
}

void TMosaicProject::clear() {
    for (auto& row : Cells)
        for (auto& cell : row)
            cell.TileID = -1;
    cfg.searchDone = 0;
}

void TMosaicProject::MainSize_Update() {
    const double ppi = cfg.CanvasPPI;
    const std::int32_t unit = cfg.CanvasUnit;
    cfg.FullWidthPX = unitToPixels(cfg.FullWidthF, unit, ppi, cfg.FullWidthPX);
    cfg.FullHeightpx = unitToPixels(cfg.FullHeightF, unit, ppi, cfg.FullHeightpx);
    cfg.CellWdPx = unitToPixels(cfg.CellWdf, unit, ppi, cfg.CellWdPx);
    cfg.CellHtPx = unitToPixels(cfg.CellHtf, unit, ppi, cfg.CellHtPx);
    cfg.CellgapwdPX = unitToPixels(cfg.CellgapwdF, unit, ppi, cfg.CellgapwdPX);
    cfg.cellgapHtpx = unitToPixels(cfg.CellgaphtF, unit, ppi, cfg.cellgapHtpx);

    const Single w = static_cast<Single>(cfg.FullWidthPX);
    const Single h = static_cast<Single>(cfg.FullHeightpx);
    const Single side = static_cast<Single>(cfg.PreviewBMPsize);
    const auto preview = fitInto(w, h, side, side);
    cfg.WidthPx = preview.first;
    cfg.HeightPx = preview.second;
    cfg.PreviewScale = 1.0;
    cfg.CanvasScale = preview.first / cfg.FullWidthF;

    const auto plan = fitInto(w, h, static_cast<Single>(cfg.CellPlanBMPsizeWD),
                              static_cast<Single>(cfg.CellPlanBMPsizeHT));
    cfg.CellPlanScale = plan.first / cfg.FullWidthF;
}

std::pair<Single, Single> TMosaicProject::GetProjectSizeByPattern() const {
    Single right = 0;
    Single bottom = 0;
    const int rows = std::clamp(cfg.Vcc, 0, kGridSide);
    const int columns = std::clamp(cfg.Hcc, 0, kGridSide);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const TRectF r = imaging::Pattern_CellRect(
                column, row, static_cast<Single>(cfg.CellWdf), static_cast<Single>(cfg.CellHtf),
                static_cast<Single>(cfg.CellgapwdF), static_cast<Single>(cfg.CellgaphtF),
                patterncfg);
            right = std::max(right, r.Right);
            bottom = std::max(bottom, r.Bottom);
        }
    }
    return {right, bottom};
}

std::pair<Single, Single> TMosaicProject::GetProjectSize() const {
    if (cfg.ProjectPatternType == kPatternGrid) return GetProjectSizeByPattern();
    if (cfg.ProjectPatternType == kPatternRings) {
        const double side = ((cfg.CircleCount - 1) * cfg.Rinc + cfg.Rstart) * 2 +
                            std::max(cfg.CellWdf, cfg.CellHtf);
        return {static_cast<Single>(side), static_cast<Single>(side)};
    }
    return {0, 0};
}

std::int32_t TMosaicProject::RingCellCount(int ring) const {
    std::int32_t n =
        truncToInt32((ring * cfg.Rinc + cfg.Rstart) * 2 * std::numbers::pi / cfg.CellSpace);
    if (cfg.Commondivisor > 0) n = cfg.Commondivisor * (n / cfg.Commondivisor);
    return n;
}

std::int32_t TMosaicProject::GetProjectCellCount() const {
    if (cfg.ProjectPatternType == kPatternGrid) {
        const std::int64_t n = std::int64_t(cfg.Hcc) * cfg.Vcc;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(
            n, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    }
    if (cfg.ProjectPatternType == kPatternRings) {
        std::int64_t sum = 0;
        for (int r = 0; r < cfg.CircleCount; ++r) {
            sum += RingCellCount(r);
            if (sum > std::numeric_limits<std::int32_t>::max())
                return std::numeric_limits<std::int32_t>::max();
        }
        return static_cast<std::int32_t>(sum);
    }
    return 0;
}

} // namespace vantorel::engine
