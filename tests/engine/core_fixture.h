#pragma once
// Synthetic projects and libraries for the engine core tests: colours are written straight
// into the records, so no pictures are needed.
#include "engine/mosaic_context.h"
#include "imaging/color_info.h"

#include <cstring>
#include <random>

namespace vantorel::engine::test {

// Every region of a colour record set to one opaque colour.
inline TimgColorInfo solidInfo(int r, int g, int b) {
    TimgColorInfo info;
    std::memset(&info, 0, sizeof info);
    imaging::SetColorInfo15(info.ci1, r, g, b);
    for (auto& q : info.ci4)
        imaging::SetColorInfo15(q, r, g, b);
    for (auto& z : info.ci64)
        imaging::SetColorInfo15(z, r, g, b);
    return info;
}

// Independent random colours in every region; levels > 0 quantises the channels to that
// many values, which makes equal distances (ties) common.
inline TimgColorInfo randomInfo(std::mt19937& rng, int levels = 0) {
    auto channel = [&] {
        if (levels <= 1) return int(rng() % 256);
        return int(rng() % levels) * 255 / (levels - 1);
    };
    TimgColorInfo info;
    std::memset(&info, 0, sizeof info);
    auto fill = [&](imaging::TColorInfo15& c) {
        imaging::SetColorInfo15(c, channel(), channel(), channel());
    };
    fill(info.ci1);
    for (auto& q : info.ci4)
        fill(q);
    for (auto& z : info.ci64)
        fill(z);
    return info;
}

// A grid project of rows x columns square cells (10 units, no gap) laid out at scale 1.
inline void layoutGrid(TMosaicProject& p, int rows, int columns) {
    p.cfg.ProjectPatternType = kPatternGrid;
    p.cfg.Vcc = rows;
    p.cfg.Hcc = columns;
    p.cfg.CellWdf = p.cfg.CellHtf = 10;
    p.cfg.CellgapwdF = p.cfg.CellgaphtF = 0;
    p.cfg.CanvasScale = 1;
    p.Cell_Reset();
}

// A library of n tiles with random colours (all rotations independent), every tile enabled.
inline void fillLibrary(tilelib::TTilelib& lib, int n, std::mt19937& rng, int levels = 0) {
    lib.Count = n;
    for (int t = 0; t < n; ++t) {
        lib.items[t].usecount = 0;
        lib.items[t].ICinfo = randomInfo(rng, levels);
        for (auto& rot : lib.items[t].ICinfoRot)
            rot = randomInfo(rng, levels);
        lib.ItemEnable[t] = 1;
    }
}

} // namespace vantorel::engine::test
