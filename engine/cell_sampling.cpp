#include "engine/project_model.h"

#include <algorithm>

namespace vantorel::engine {

namespace {

// Samples one cell: the cell's preview rectangle in main-image pixels, clipped, reduced to
// 8 x 8 zones whose saturation is boosted; ci1 becomes their disc-weighted mean.
void sampleCell(TCell& cell, const QImage& image, double mainImageScale, double enhance) {
    const TRectF bounds{0, 0, static_cast<Single>(image.width() - 1),
                        static_cast<Single>(image.height() - 1)};
    const TRectF src = imaging::intersectRect(cell.CellRect.scaled(mainImageScale), bounds);
    TimgColorInfo info = cell.ICinfo;
    imaging::GetColorInfo(image, src, info);

    std::int32_t sr = 0, sg = 0, sb = 0, sw = 0;
    for (int z = 0; z < 64; ++z) {
        imaging::Trgba& px = info.ci64[z].rgba;
        imaging::THSVColor hsv = imaging::RGBtoHSV({px.r, px.g, px.b, 0});
        hsv.s = std::min(hsv.s * enhance, 100.0);
        const imaging::TRGBInt rgb = imaging::HSVtoRGB(hsv);
        px.r = static_cast<std::uint8_t>(imaging::ClampByte(rgb.r));
        px.g = static_cast<std::uint8_t>(imaging::ClampByte(rgb.g));
        px.b = static_cast<std::uint8_t>(imaging::ClampByte(rgb.b));
        const std::int32_t w = imaging::ZoneWeight[z];
        sr += px.r * w;
        sg += px.g * w;
        sb += px.b * w;
        sw += w;
    }
    const std::int32_t r = sr / sw, g = sg / sw, b = sb / sw;
    info.ci1.rgb = imaging::MakeAlphaColor(r, g, b, 255);
    std::int32_t L = 0, aPlus = 0, bPlus = 0;
    imaging::RGBtoLab(r, g, b, L, aPlus, bPlus);
    info.ci1.Lab = {static_cast<Single>(L), static_cast<Single>(aPlus - 128),
                    static_cast<Single>(bPlus - 128), 1.0f};
    info.ci1.rgba = imaging::MakeRGBA(r, g, b, 255);
    cell.ICinfo = info;
}

} // namespace

void TMosaicProject::Cell_ReadColorFromMI_2017(const QImage& mainImageCrop, double mainImageScale) {
    const int rows = std::clamp<std::int32_t>(cfg.Vcc, 0, kGridSide);
    const int columns = std::clamp<std::int32_t>(cfg.Hcc, 0, kGridSide);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            sampleCell(Cells[row][column], mainImageCrop, mainImageScale, cfg.SrcColorEnhance);
}

void TMosaicProject::AddonCell_ReadColorFromMI_2017(const QImage& mainImageCrop,
                                                    double mainImageScale) {
    const int n = std::clamp<std::int32_t>(cfg.AddonTilesCount, 0, kAddonCells);
    for (int i = 0; i < n; ++i)
        sampleCell(AddonTiles[i], mainImageCrop, mainImageScale, cfg.SrcColorEnhance);
}

} // namespace vantorel::engine
