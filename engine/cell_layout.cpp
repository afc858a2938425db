#include "engine/project_model.h"
#include "imaging/program_random.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vantorel::engine {

namespace {

// Rows or columns a loop may visit: the stored count, never beyond the arrays.
int gridSpan(std::int32_t count) {
    return std::clamp<std::int32_t>(count, 0, kGridSide);
}
int addonSpan(std::int32_t count) {
    return std::clamp<std::int32_t>(count, 0, kAddonCells);
}

void markLaidOut(TCell& c) {
    c.NewTypeCell = 1;
    c.TileID = -1;
    c.enable = 1;
    c.SplitLevel = 0;
    c.PriLevel = 1;
}

} // namespace

void TMosaicProject::Cell_Reset() {
    cfg.AddonTilesCount = 0;
    for (auto& c : AddonTiles) {
        c.NewTypeCell = 0;
        c.TileID = -1;
        c.enable = 0;
        c.SplitLevel = 0;
        c.PriLevel = 1;
    }

    const auto w = static_cast<Single>(cfg.CellWdf);
    const auto h = static_cast<Single>(cfg.CellHtf);
    if (cfg.ProjectPatternType == kPatternGrid) {
        const int rows = gridSpan(cfg.Vcc);
        const int columns = gridSpan(cfg.Hcc);
        const auto gx = static_cast<Single>(cfg.CellgapwdF);
        const auto gy = static_cast<Single>(cfg.CellgaphtF);
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < columns; ++column) {
                TCell& c = Cells[row][column];
                c.CellShape = imaging::Pattern_CellShape(patterncfg, column, row);
                c.Rotate = imaging::Pattern_CellAngle(patterncfg, column, row);
                c.CellRectReal = imaging::Pattern_CellRect(column, row, w, h, gx, gy, patterncfg);
                c.CellCenterReal = c.CellRectReal.CenterPoint();
                c.CellRect = c.CellRectReal.scaled(cfg.CanvasScale);
                c.CellPolyReal = imaging::Shape_GetPoly(c.CellShape, cfg.CellWdf, cfg.CellHtf,
                                                        c.Rotate, c.CellCenterReal);
                markLaidOut(c);
                c.CellX = column;
                c.CellY = row;
            }
        }
    } else if (cfg.ProjectPatternType == kPatternRings) {
        const double cx = cfg.FullWidthF / 2;
        const double cy = cfg.FullHeightF / 2;
        for (int r = 0; r < cfg.CircleCount; ++r) {
            const std::int32_t n = RingCellCount(r);
            // Drawn even for an empty ring so the random sequence does not depend on it.
            const int start = imaging::Random(180);
            const double radius = r * cfg.Rinc + cfg.Rstart;
            for (std::int32_t k = 0; k < n; ++k) {
                const double angle =
                    k * (2 * std::numbers::pi / n) + start * std::numbers::pi / 180;
                const TPointF p{static_cast<Single>(cx + radius * std::cos(angle)),
                                static_cast<Single>(cy + radius * std::sin(angle))};
                const std::int32_t i = cfg.AddonTilesCount;
                TCell& c = AddonTiles[i];
                c.CellShape = cfg.BaseTileShape;
                c.CellCenterReal = p;
                c.CellRectReal = {p.X - w / 2, p.Y - h / 2, p.X + w / 2, p.Y + h / 2};
                c.CellRect = c.CellRectReal.scaled(cfg.CanvasScale);
                c.Rotate = angle + cfg.RotateStart + cfg.RotateStep * k + std::numbers::pi / 2;
                c.CellPolyReal =
                    imaging::Shape_GetPoly(c.CellShape, cfg.CellWdf, cfg.CellHtf, c.Rotate, p);
                markLaidOut(c);
                c.CellAID = i;
                cfg.AddonTilesCount = i + 1;
                if (cfg.AddonTilesCount >= kAddonCells) return;
            }
        }
    }
}

void TMosaicProject::cell_ClearTileID() {
    const int rows = gridSpan(cfg.Vcc);
    const int columns = gridSpan(cfg.Hcc);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            Cells[row][column].TileID = -1;
    const int n = addonSpan(cfg.AddonTilesCount);
    for (int i = 0; i < n; ++i)
        AddonTiles[i].TileID = -1;
}

std::int64_t TMosaicProject::Cell_GetIdByMouse(Single x, Single y, Single scale) const {
    const TPointF p{x / scale, y / scale};
    Single best = 1e8f;
    std::int32_t column = -1;
    std::int32_t row = -1;
    const int rows = gridSpan(cfg.Vcc);
    const int columns = gridSpan(cfg.Hcc);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const TCell& cell = Cells[r][c];
            if (!cell.enable) continue;
            const TRectF& rc = cell.CellRectReal;
            if (p.X >= rc.Left && p.X < rc.Right && p.Y >= rc.Top && p.Y < rc.Bottom) {
                const TPointF m = rc.CenterPoint();
                const Single d = std::hypot(p.X - m.X, p.Y - m.Y);
                if (d < best) {
                    best = d;
                    column = c;
                    row = r;
                }
            }
        }
    }
    const int n = addonSpan(cfg.AddonTilesCount);
    for (int i = 0; i < n; ++i) {
        const TPointF m = AddonTiles[i].CellCenterReal;
        const Single d = std::hypot(p.X - m.X, p.Y - m.Y);
        if (d < best) {
            best = d;
            column = i;
            row = -1;
        }
    }
    return packCellId(column, row);
}

} // namespace vantorel::engine
