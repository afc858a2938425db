// Candidate list, distances, repeat rules, dithering, the search passes, and the pruned
// ranking checked against the plain one.
#include "core_fixture.h"
#include "engine/tile_search.h"
#include "imaging/program_random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numbers>
#include <vector>

namespace vantorel::engine {
namespace {

using test::fillLibrary;
using test::layoutGrid;
using test::randomInfo;
using test::solidInfo;

// ---------------------------------------------------------------------------------------
// Candidate list

std::vector<int> tileOrder(const TGoodTileList& l) {
    std::vector<int> ids;
    for (int i = 0; i < l.Count; ++i)
        ids.push_back(l.Tiles[i].TileID);
    return ids;
}

TEST(GoodTileList, RanksByDistanceAndKeepsArrivalOrderForTies) {
    TGoodTileList l;
    l.clear();
    l.TryAddTile(1, 50);
    l.TryAddTile(2, 10);
    l.TryAddTile(3, 50);
    l.TryAddTile(4, 10);
    l.TryAddTile_R(5, 7, 30);
    EXPECT_EQ(tileOrder(l), (std::vector<int>{2, 4, 5, 1, 3}));
    EXPECT_EQ(l.Tiles[2].RotateID, 7);
    EXPECT_EQ(l.Tiles[0].RotateID, 0);
    l.clear();
    EXPECT_EQ(l.Count, 0);
    EXPECT_EQ(l.Tiles[0].TileID, -1);
    EXPECT_EQ(l.Tiles[0].Diff, 10); // clear keeps the distances
}

TEST(GoodTileList, FullListTakesOnlyStrictlyBetterCandidates) {
    TGoodTileList l;
    l.clear();
    for (int t = 0; t < 100; ++t)
        l.TryAddTile(t, 1000 + t);
    ASSERT_EQ(l.Count, 100);
    l.TryAddTile(500, 1099); // equal to the last: behind it, so out
    l.TryAddTile(501, 5000);
    EXPECT_EQ(l.Tiles[99].TileID, 99);
    l.TryAddTile(502, 1098); // ties with entry 98, goes behind it, 99 falls off
    EXPECT_EQ(l.Tiles[98].TileID, 98);
    EXPECT_EQ(l.Tiles[99].TileID, 502);
    l.TryAddTile(503, 1); // best of all: top, the worst falls off
    EXPECT_EQ(l.Count, 100);
    EXPECT_EQ(l.Tiles[0].TileID, 503);
    EXPECT_EQ(l.Tiles[99].TileID, 98);
}

// ---------------------------------------------------------------------------------------
// Distances

TEST(Distances, CellDistanceModesAndZoneWeights) {
    const TimgColorInfo a = solidInfo(100, 100, 100);
    TimgColorInfo b = a;
    b.ci1.rgba.r = 110;   // 100 in ci1
    b.ci4[2].rgba.b = 97; // 9 in a quarter
    b.ci4[3].Lab.X += 2;  // 4 of lightness
    TSearchOpts o = DefaultSearchOpts();
    o.RGBMatch = 1;
    EXPECT_EQ(CellDistance(a, b, o), 109.0);
    o.RGBMatch = 0;
    o.WeightL = 0.5f;
    o.WeightC = 2.0f;
    EXPECT_EQ(CellDistance(a, b, o), 2.0 * 109 + 0.5 * 4);

    TimgColorInfo c = a;
    c.ci64[27].rgba.g = 103; // weight 10
    c.ci64[0].rgba.g = 0;    // weight 0
    c.ci64[2].rgba.r = 98;   // weight 3
    c.ci1.rgba.b = 101;      // weight 1
    EXPECT_EQ(ZoneDistance(a, c), 10 * 9 + 3 * 4 + 1);
}

// ---------------------------------------------------------------------------------------
// Search fixtures

struct SearchWorld {
    std::unique_ptr<MosaicContext> ctx = MosaicContext::create();
    TMosaicProject& p = *ctx->mproject;
    tilelib::TTilelib& lib = *ctx->ProjectTileLib;
    SearchWorld() { ctx->SearchOpts = DefaultSearchOpts(); }
    // n tiles of grey levels 0, 10, 20, ...
    void greyTiles(int n) {
        lib.Count = n;
        for (int t = 0; t < n; ++t) {
            lib.items[t].ICinfo = solidInfo(t * 10, t * 10, t * 10);
            for (auto& r : lib.items[t].ICinfoRot)
                r = lib.items[t].ICinfo;
            lib.ItemEnable[t] = 1;
        }
    }
    void paintCells(const TimgColorInfo& colour) {
        for (int r = 0; r < p.cfg.Vcc; ++r)
            for (int c = 0; c < p.cfg.Hcc; ++c)
                p.Cells[r][c].ICinfo = colour;
    }
    int filledCells() const {
        int n = 0;
        for (int r = 0; r < p.cfg.Vcc; ++r)
            for (int c = 0; c < p.cfg.Hcc; ++c)
                n += p.Cells[r][c].TileID >= 0;
        return n;
    }
};

TEST(GoodTileListSearch, LowerIndexFirstAmongEqualTilesAndDisabledSkipped) {
    SearchWorld w;
    layoutGrid(w.p, 1, 1);
    w.greyTiles(5);
    w.lib.items[3].ICinfo = w.lib.items[1].ICinfo; // tiles 1 and 3 equally far
    w.lib.ItemEnable[4] = 0;
    w.p.Cells[0][0].ICinfo = solidInfo(12, 12, 12);
    TGoodTileList l;
    GetGoodTileList(*w.ctx, w.p.Cells[0][0], l, true);
    EXPECT_EQ(tileOrder(l), (std::vector<int>{1, 3, 2, 0}));
}

TEST(GoodTileListSearch, RoundTilesPickTheFirstBestRotation) {
    SearchWorld w;
    layoutGrid(w.p, 1, 1);
    w.p.cfg.BaseTileShape = 20;
    w.greyTiles(2);
    w.lib.items[1].ICinfoRot[4] = solidInfo(50, 50, 50);
    w.lib.items[1].ICinfoRot[9] = solidInfo(50, 50, 50);
    w.p.Cells[0][0].ICinfo = solidInfo(52, 52, 52);
    TGoodTileList l;
    GetGoodTileList(*w.ctx, w.p.Cells[0][0], l, true);
    ASSERT_EQ(l.Count, 2);
    EXPECT_EQ(l.Tiles[0].TileID, 1);
    EXPECT_EQ(l.Tiles[0].RotateID, 4);
    EXPECT_EQ(l.Tiles[0].Diff, ZoneDistance(w.p.Cells[0][0].ICinfo, w.lib.items[1].ICinfoRot[4]));
}

TEST(TileAvailability, RepeatMaxAndRadiusWindow) {
    SearchWorld w;
    layoutGrid(w.p, 5, 5);
    w.greyTiles(3);
    w.ctx->SearchOpts.RepeatMax = 2;
    w.lib.items[0].usecount = 2;
    w.p.Cells[0][0].TileID = 1; // diagonal neighbour of (1,1), two steps from (2,2)
    const TCell& c11 = w.p.Cells[1][1];
    const TCell& c22 = w.p.Cells[2][2];
    EXPECT_FALSE(TileAvailabilityCheck(*w.ctx, c11, 0));
    EXPECT_FALSE(TileAvailabilityCheck(*w.ctx, c11, 1));
    EXPECT_TRUE(TileAvailabilityCheck(*w.ctx, c22, 1));
    EXPECT_TRUE(TileAvailabilityCheck(*w.ctx, c11, 2));
    w.ctx->SearchOpts.RepeatRadius = 2;
    EXPECT_FALSE(TileAvailabilityCheck(*w.ctx, c22, 1));
    w.ctx->SearchOpts.RepeatRadiusOn = 0;
    w.ctx->SearchOpts.RepeatMaxOn = 0;
    EXPECT_TRUE(TileAvailabilityCheck(*w.ctx, c11, 0));
    EXPECT_TRUE(TileAvailabilityCheck(*w.ctx, c11, 1));
}

// ---------------------------------------------------------------------------------------
// Assignment and dithering

TEST(Dither, FloydSteinbergShares) {
    SearchWorld w;
    layoutGrid(w.p, 2, 3);
    w.greyTiles(1);
    w.lib.items[0].ICinfo = solidInfo(40, 160, 0);
    w.paintCells(solidInfo(0, 100, 0));
    TCell& c = w.p.Cells[0][1];
    c.ICinfo = solidInfo(200, 0, 0); // error (+160, -160, 0)
    Cell_SetTile(*w.ctx, c, 0);
    EXPECT_EQ(w.lib.items[0].usecount, 1);
    const TimgColorInfo untouched = w.p.Cells[0][0].ICinfo;
    Cell_SetDither_R(*w.ctx, 1, 0);

    struct Share {
        int row, column, amount;
    } shares[] = {{0, 2, 70}, {1, 0, 30}, {1, 1, 50}, {1, 2, 10}};
    for (const auto& s : shares) {
        SCOPED_TRACE(testing::Message() << s.row << "," << s.column);
        const TimgColorInfo& n = w.p.Cells[s.row][s.column].ICinfo;
        EXPECT_EQ(n.ci1.rgba.r, s.amount);
        EXPECT_EQ(n.ci1.rgba.g, 100 - s.amount);
        EXPECT_EQ(n.ci64[40].rgba.r, s.amount);
        EXPECT_EQ(n.ci64[40].rgb, imaging::MakeAlphaColor(s.amount, 100 - s.amount, 0, 255));
        EXPECT_EQ(n.ci4[1].rgba.r, 0); // quarters and lightness stay
        EXPECT_EQ(n.ci1.Lab.X, untouched.ci1.Lab.X);
        EXPECT_EQ(n.ci1.rgb, untouched.ci1.rgb);
    }
    EXPECT_EQ(std::memcmp(&w.p.Cells[0][0].ICinfo, &untouched, sizeof untouched), 0);

    // Clamped at both ends, half the strength rounds toward zero.
    w.ctx->SearchOpts.DitherLevel = 0.5f;
    w.p.Cells[0][2].ICinfo = solidInfo(250, 10, 0);
    Cell_SetDither_R(*w.ctx, 1, 0);
    EXPECT_EQ(w.p.Cells[0][2].ICinfo.ci1.rgba.r, 255);
    EXPECT_EQ(w.p.Cells[0][2].ICinfo.ci1.rgba.g, 0);
    EXPECT_EQ(w.p.Cells[1][2].ICinfo.ci1.rgba.r, 15); // 10 + 160 * 0.5 / 16

    w.ctx->SearchOpts.Dither = 0;
    const TimgColorInfo before = w.p.Cells[1][1].ICinfo;
    Cell_SetDither_R(*w.ctx, 1, 0);
    EXPECT_EQ(std::memcmp(&w.p.Cells[1][1].ICinfo, &before, sizeof before), 0);
}

TEST(Dither, RingCellPassesTheWholeErrorOn) {
    SearchWorld w;
    w.greyTiles(1);
    w.p.cfg.AddonTilesCount = 2;
    w.p.AddonTiles[0].ICinfo = solidInfo(100, 0, 0);
    w.p.AddonTiles[1].ICinfo = solidInfo(20, 20, 20);
    w.p.AddonTiles[0].TileID = 0; // tile colour 0: error +100 red
    Cell_SetDither_addonR(*w.ctx, 0);
    EXPECT_EQ(w.p.AddonTiles[1].ICinfo.ci1.rgba.r, 120);
    const TimgColorInfo before = w.p.AddonTiles[2].ICinfo;
    w.p.AddonTiles[1].TileID = 0;
    Cell_SetDither_addonR(*w.ctx, 1); // the last cell has no successor
    EXPECT_EQ(std::memcmp(&w.p.AddonTiles[2].ICinfo, &before, sizeof before), 0);
}

// ---------------------------------------------------------------------------------------
// Passes

class CountingProgress : public imaging::Progress {
  public:
    int beeps = 0, events = 0;
    void setProgress(int) override {}
    void processEvents() override { ++events; }
    void beep() override { ++beeps; }
};

TEST(Search, RandomLevelOneTakesTheBest) {
    for (bool scanline : {false, true}) {
        SearchWorld w;
        layoutGrid(w.p, 3, 3);
        w.greyTiles(20);
        w.paintCells(solidInfo(71, 71, 71));
        w.ctx->SearchOpts.RandomLevel = 1;
        w.ctx->SearchOpts.SearchScanline = scanline;
        w.ctx->SearchOpts.Dither = 0;
        w.ctx->SearchOpts.RepeatRadiusOn = 0;
        Search_withoptions(*w.ctx, nullptr);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(w.p.Cells[r][c].TileID, 7);
        EXPECT_EQ(w.lib.items[7].usecount, 9);
        EXPECT_EQ(w.p.cfg.searchDone, 1);
    }
}

TEST(Search, RepeatMaxOneUsesEveryTileOnce) {
    SearchWorld w;
    layoutGrid(w.p, 3, 3);
    w.greyTiles(4);
    w.ctx->SearchOpts.RepeatMax = 1;
    w.ctx->SearchOpts.RepeatRadiusOn = 0;
    imaging::seedProgramRandom(3);
    Search_withoptions(*w.ctx, nullptr);
    EXPECT_EQ(w.filledCells(), 4);
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(w.lib.items[t].usecount, 1);
}

TEST(Search, RepeatRadiusOneKeepsNeighboursApart) {
    SearchWorld w;
    layoutGrid(w.p, 12, 12);
    w.greyTiles(12);
    w.paintCells(solidInfo(60, 60, 60));
    w.ctx->SearchOpts.RandomLevel = 3;
    imaging::seedProgramRandom(8);
    Search_withoptions(*w.ctx, nullptr);
    EXPECT_EQ(w.filledCells(), 144);
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 12; ++c)
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    const int rr = r + dr, cc = c + dc;
                    if ((dr == 0 && dc == 0) || rr < 0 || cc < 0 || rr >= 12 || cc >= 12) continue;
                    EXPECT_NE(w.p.Cells[r][c].TileID, w.p.Cells[rr][cc].TileID) << r << "," << c;
                }
}

TEST(Search, WithoutDitherStrengthColoursStay) {
    for (int variant = 0; variant < 2; ++variant) {
        SearchWorld w;
        layoutGrid(w.p, 6, 6);
        std::mt19937 rng(4);
        fillLibrary(w.lib, 30, rng);
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                w.p.Cells[r][c].ICinfo = randomInfo(rng);
        if (variant == 0)
            w.ctx->SearchOpts.Dither = 0;
        else
            w.ctx->SearchOpts.DitherLevel = 0;
        std::vector<TCell> before(&w.p.Cells[0][0], &w.p.Cells[0][0] + kGridSide * 6);
        Search_withoptions(*w.ctx, nullptr);
        EXPECT_EQ(w.filledCells(), 36);
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                EXPECT_EQ(std::memcmp(&w.p.Cells[r][c].ICinfo, &before[r * kGridSide + c].ICinfo,
                                      sizeof(TimgColorInfo)),
                          0);
    }
}

TEST(Search, UseAllWithMinimumRepeatRunsThatManyPasses) {
    SearchWorld w;
    layoutGrid(w.p, 3, 3);
    w.greyTiles(2);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            w.p.Cells[r][c].PriLevel = 3; // no level pass fills these
    w.ctx->SearchOpts.UseAll = 1;
    w.ctx->SearchOpts.RepeatMinOn = 1;
    w.ctx->SearchOpts.RepeatMin = 3;
    Search_withoptions(*w.ctx, nullptr);
    EXPECT_EQ(w.ctx->SearchOpts.RepeatMin, 2);
    EXPECT_EQ(w.filledCells(), 6);
    EXPECT_EQ(w.lib.items[0].usecount, 3);
    EXPECT_EQ(w.lib.items[1].usecount, 3);
}

TEST(Search, PriorityThreeCellsStayEmpty) {
    SearchWorld w;
    layoutGrid(w.p, 2, 2);
    w.greyTiles(10);
    w.p.Cells[0][1].PriLevel = 3;
    w.p.Cells[1][0].PriLevel = 0;
    Search_withoptions(*w.ctx, nullptr);
    EXPECT_EQ(w.p.Cells[0][1].TileID, -1);
    EXPECT_EQ(w.filledCells(), 3);
}

TEST(Search, UseAllPutsEachTileOnItsNearestFreeCell) {
    SearchWorld w;
    layoutGrid(w.p, 2, 2);
    w.greyTiles(2);
    w.p.Cells[0][0].ICinfo = solidInfo(200, 200, 200);
    w.p.Cells[0][1].ICinfo = solidInfo(1, 1, 1);    // nearest to tile 0 (black)
    w.p.Cells[1][0].ICinfo = solidInfo(12, 12, 12); // nearest to tile 1 (grey 10)
    w.p.Cells[1][1].ICinfo = solidInfo(100, 100, 100);
    Search_Pos_for_tile(*w.ctx, nullptr);
    EXPECT_EQ(w.p.Cells[0][1].TileID, 0);
    EXPECT_EQ(w.p.Cells[1][0].TileID, 1);
    EXPECT_EQ(w.filledCells(), 2);
}

TEST(Search, ScanlineRingPassBeepsAtTheBlockedCell) {
    SearchWorld w;
    w.greyTiles(1);
    w.p.cfg.ProjectPatternType = kPatternRings;
    w.p.cfg.AddonTilesCount = 5;
    for (int i = 0; i < 5; ++i) {
        TCell& c = w.p.AddonTiles[i];
        c.enable = 1;
        c.TileID = -1;
        c.PriLevel = 1;
        c.CellAID = i;
        c.Rotate = 0.25 * i;
    }
    w.p.AddonTiles[1].TileID = 0; // blocks tile 0 for cells 0 and 2
    w.p.AddonTiles[1].PriLevel = 0;
    CountingProgress progress;
    Search_Tile_for_AddOn(*w.ctx, false, 1, &progress);
    EXPECT_EQ(progress.beeps, 5);
    for (int i : {0, 2, 3, 4})
        EXPECT_EQ(w.p.AddonTiles[i].TileID, -1) << i;

    // From random starts the free cells are found; ring cells keep their rotation.
    w.p.AddonTiles[1].TileID = -1;
    w.p.AddonTiles[1].PriLevel = 1;
    w.ctx->SearchOpts.RepeatRadiusOn = 0;
    Search_Tile_for_AddOn(*w.ctx, true, 1, &progress);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.p.AddonTiles[i].TileID, 0);
        EXPECT_EQ(w.p.AddonTiles[i].Rotate, 0.25 * i);
    }
}

TEST(Search, ScanlinePassSetsTheChosenRotation) {
    SearchWorld w;
    layoutGrid(w.p, 1, 1);
    w.p.cfg.BaseTileShape = 20;
    w.greyTiles(1);
    w.lib.items[0].ICinfoRot[3] = solidInfo(90, 90, 90);
    w.p.Cells[0][0].ICinfo = solidInfo(90, 90, 90);
    w.p.Cells[0][0].Rotate = 1.0;
    KRV_Search_Tile_for_pos_Scanline(*w.ctx, 1, nullptr);
    EXPECT_EQ(w.p.Cells[0][0].TileID, 0);
    EXPECT_DOUBLE_EQ(w.p.Cells[0][0].Rotate, 3 * std::numbers::pi / 6);
}

// ---------------------------------------------------------------------------------------
// Pruned ranking against the plain loop

struct Scenario {
    const char* name;
    bool round, rings, rgb, scanline, useAll;
    int levels; // colour quantisation; small values make many ties
    bool solid; // one colour per record: lower bounds from the mean colours are tight
    int repeatMax;
    float weightL, weightC;
};

TimgColorInfo scenarioColour(std::mt19937& rng, const Scenario& s) {
    if (!s.solid) return randomInfo(rng, s.levels);
    const imaging::Trgba c = randomInfo(rng, s.levels).ci1.rgba;
    return solidInfo(c.r, c.g, c.b);
}

void buildScenario(MosaicContext& ctx, const Scenario& s) {
    std::mt19937 rng(1234);
    TMosaicProject& p = *ctx.mproject;
    if (s.rings) {
        p.cfg.ProjectPatternType = kPatternRings;
        p.cfg.Rstart = 30;
        p.cfg.Rinc = 20;
        p.cfg.CellSpace = 12;
        p.cfg.CircleCount = 6;
        p.cfg.CellWdf = p.cfg.CellHtf = 10;
        p.cfg.FullWidthF = p.cfg.FullHeightF = 300;
        p.cfg.CanvasScale = 1;
        imaging::seedProgramRandom(1);
        p.Cell_Reset();
        for (int i = 0; i < p.cfg.AddonTilesCount; ++i)
            p.AddonTiles[i].ICinfo = scenarioColour(rng, s);
    } else {
        layoutGrid(p, 24, 25);
        for (int r = 0; r < 24; ++r)
            for (int c = 0; c < 25; ++c)
                p.Cells[r][c].ICinfo = scenarioColour(rng, s);
        p.Cells[3][4].PriLevel = 0;
        p.Cells[5][5].PriLevel = 2;
        p.Cells[7][1].enable = 0;
    }
    p.cfg.BaseTileShape = s.round ? 20 : 10;
    fillLibrary(*ctx.ProjectTileLib, 300, rng, s.levels);
    if (s.solid)
        for (int t = 0; t < 300; ++t) {
            auto& item = ctx.ProjectTileLib->items[t];
            item.ICinfo = scenarioColour(rng, s);
            for (auto& rot : item.ICinfoRot)
                rot = scenarioColour(rng, s);
        }
    ctx.ProjectTileLib->ItemEnable[17] = 0;
    TSearchOpts& o = ctx.SearchOpts;
    o = DefaultSearchOpts();
    o.RGBMatch = s.rgb;
    o.SearchScanline = s.scanline;
    o.UseAll = s.useAll;
    o.RepeatMax = s.repeatMax;
    o.WeightL = s.weightL;
    o.WeightC = s.weightC;
}

TEST(PrunedSearch, ChoosesExactlyThePlainResult) {
    const Scenario scenarios[] = {
        {"light-rgb random start", false, false, false, false, false, 0, false, 50, 0.795082f,
         0.795082f},
        {"rgb scanline use-all", false, false, true, true, true, 0, false, 3, 1, 1},
        {"ties everywhere", false, false, false, false, false, 3, false, 2, 1.5f, 0.5f},
        {"odd weights", false, false, false, true, false, 0, false, 50, 4.9f, 0.5001f},
        {"round tiles", true, false, false, false, false, 0, false, 50, 1, 1},
        {"round tiles with ties", true, false, false, true, false, 3, false, 2, 1, 1},
        {"ring cells, round", true, true, false, false, false, 0, false, 4, 1, 1},
        {"ring cells, scanline", false, true, false, true, false, 4, false, 50, 1, 1},
        {"solid colours", false, false, false, false, false, 6, true, 50, 1, 1},
        {"solid round tiles", true, false, false, false, false, 6, true, 50, 1, 1},
    };
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.name);
        auto fast = MosaicContext::create();
        auto plain = MosaicContext::create();
        buildScenario(*fast, s);
        buildScenario(*plain, s);
        imaging::seedProgramRandom(99);
        Search_withoptions(*fast, nullptr);
        const std::mt19937 afterFast = imaging::programRandom();
        imaging::seedProgramRandom(99);
        searchWithPlainRanking(*plain, nullptr);
        EXPECT_TRUE(imaging::programRandom() == afterFast);

        const TMosaicProject& a = *fast->mproject;
        const TMosaicProject& b = *plain->mproject;
        int filled = 0, mismatches = 0;
        for (int r = 0; r < kGridSide; ++r)
            for (int c = 0; c < kGridSide; ++c) {
                filled += a.Cells[r][c].TileID >= 0;
                mismatches += std::memcmp(&a.Cells[r][c], &b.Cells[r][c], sizeof(TCell)) != 0;
            }
        for (int i = 0; i < kAddonCells; ++i) {
            filled += a.AddonTiles[i].TileID >= 0;
            mismatches += std::memcmp(&a.AddonTiles[i], &b.AddonTiles[i], sizeof(TCell)) != 0;
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_GT(filled, 100);
        for (int t = 0; t < 300; ++t)
            EXPECT_EQ(fast->ProjectTileLib->items[t].usecount,
                      plain->ProjectTileLib->items[t].usecount);
        EXPECT_EQ(std::memcmp(&fast->SearchTileList, &plain->SearchTileList, sizeof(TGoodTileList)),
                  0);
    }
}

} // namespace
} // namespace vantorel::engine
