// Rendering: the diagnostic modes, the final mosaic's per-cell pipeline, backgrounds,
// turned cells, failures and thread independence.
#include "engine/mosaic_render.h"
#include "imaging/mosaic_pattern.h"
#include "render_fixture.h"
#include "test_support.h"

#include <QFile>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>

using namespace vantorel;
using namespace vantorel::engine;
using vantorel::test::ScratchDir;

namespace {

class RecordingProgress final : public imaging::Progress {
  public:
    void setProgress(int percent) override { values.push_back(percent); }
    void processEvents() override { ++events; }
    std::vector<int> values;
    int events = 0;
};

QRgb pixel(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFFu;
}

int channelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

struct RenderFixture : ::testing::Test {
    std::unique_ptr<MosaicContext> ctx = MosaicContext::create();
    ScratchDir dir;

    void SetUp() override {
        ctx->ScreenScale = 1;
        ctx->SearchOpts = DefaultSearchOpts();
    }
    void useLibrary(const std::vector<QImage>& tiles) {
        test::writeTileLibrary(*ctx->ProjectTileLib, dir.file(QStringLiteral("lib")), tiles);
    }
    void solidMainImage(unsigned rgb) {
        const auto& cfg = ctx->mproject->cfg;
        ctx->MainImageCrop = test::solidImage(int(cfg.WidthPx / 2), int(cfg.HeightPx / 2), rgb);
        ctx->MainImageScale = ctx->MainImageCrop.width() / cfg.WidthPx;
    }
    void assignAll(int tile) {
        auto& p = *ctx->mproject;
        for (int r = 0; r < p.cfg.Vcc; ++r)
            for (int c = 0; c < p.cfg.Hcc; ++c)
                p.Cells[r][c].TileID = tile;
    }
    QImage render(int mode, imaging::Progress* progress = nullptr) {
        QImage out;
        RenderView(*ctx, mode, out, 1.0f, progress);
        return out;
    }
};

} // namespace

TEST_F(RenderFixture, RingProjectWithFewCellsRendersInEveryDiagnosticMode) {
    auto& cfg = ctx->mproject->cfg;
    cfg.ProjectPatternType = kPatternRings;
    cfg.CircleCount = 2;
    cfg.Rstart = 60;
    cfg.Rinc = 40;
    cfg.CellSpace = 40;
    cfg.CellWdf = cfg.CellHtf = cfg.CellWdPx = cfg.CellHtPx = 20;
    cfg.BaseTileShape = imaging::kShapeRect;
    cfg.CanvasUnit = kUnitPixel;
    const auto [w, h] = ctx->mproject->GetProjectSize();
    cfg.FullWidthF = w;
    cfg.FullHeightF = h;
    cfg.PreviewBMPsize = 8000;
    cfg.CellPlanBMPsizeWD = cfg.CellPlanBMPsizeHT = 400;
    ctx->mproject->MainSize_Update();
    ctx->mproject->Cell_Reset();
    ASSERT_GT(cfg.AddonTilesCount, 0);
    ASSERT_LT(cfg.AddonTilesCount, 100);
    for (int i = 0; i < cfg.AddonTilesCount; ++i)
        imaging::SetColorInfo15(ctx->mproject->AddonTiles[i].ICinfo.ci1, 255, 0, 0);
    useLibrary(test::solidTiles({0x00FF00}, 32));
    const TCell& first = ctx->mproject->AddonTiles[0];

    for (int mode : {0, 10, 20, 30, 31}) {
        SCOPED_TRACE(mode);
        RecordingProgress progress;
        const QImage img = render(mode, &progress);
        ASSERT_EQ(img.width(), int(w));
        ASSERT_EQ(img.format(), QImage::Format_ARGB32);
        EXPECT_EQ(progress.events, cfg.AddonTilesCount); // step 1 below 100 ring cells
        ASSERT_FALSE(progress.values.empty());
        EXPECT_EQ(progress.values.back(), 0);
        const QRgb centre = pixel(img, int(first.CellCenterReal.X), int(first.CellCenterReal.Y));
        if (mode == 10) {
            EXPECT_EQ(centre, 0xFF0000u);
        } else if (mode == 0) {
            EXPECT_EQ(centre, 0xFFFFFFu);
        }
        int nonWhite = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                nonWhite += pixel(img, x, y) != 0xFFFFFFu;
        EXPECT_GT(nonWhite, 0);
    }
    // Tile colour once the cells hold a tile.
    for (int i = 0; i < cfg.AddonTilesCount; ++i)
        ctx->mproject->AddonTiles[i].TileID = 0;
    EXPECT_EQ(pixel(render(20), int(first.CellCenterReal.X), int(first.CellCenterReal.Y)),
              0x00FF00u);
}

TEST_F(RenderFixture, TileIdModesWriteMinusOneWithoutSearch) {
    test::layoutGridProject(*ctx, 3, 3, 60, 4, 0x202020);
    ctx->IDTextSize = 24;
    const QImage outline = render(kViewOutline);
    const QImage ids = render(kViewTileId);
    int changed = 0, dark = 0;
    for (int y = 5; y < 55; ++y)
        for (int x = 5; x < 55; ++x) {
            if (pixel(ids, x, y) == pixel(outline, x, y)) continue;
            ++changed;
            dark += qGray(ids.pixel(x, y)) < 128;
        }
    EXPECT_GT(changed, 20);
    EXPECT_GT(dark, changed / 3); // black text without colour
    // With colour: the tile's colour, the number in white over a dark sampled colour.
    useLibrary(test::solidTiles({0x004000}, 32));
    assignAll(0);
    const QImage idsColor = render(kViewTileIdColor);
    EXPECT_EQ(pixel(idsColor, 6, 6), 0x004000u);
    int light = 0;
    for (int y = 5; y < 55; ++y)
        for (int x = 5; x < 55; ++x)
            light += qGray(idsColor.pixel(x, y)) > 160;
    EXPECT_GT(light, 10);
}

TEST_F(RenderFixture, TileIdTextHeightKeepsItsFraction) {
    test::layoutGridProject(*ctx, 1, 1, 60, 4, 0xFFFFFF);
    const auto textAt = [&](Single height) {
        ctx->IDTextSize = height;
        return render(kViewTileId);
    };
    const QImage whole = textAt(30.0f);
    const QImage half = textAt(30.5f);
    const QImage next = textAt(31.0f);
    const auto differs = [](const QImage& a, const QImage& b) {
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) return true;
        return false;
    };
    EXPECT_TRUE(differs(whole, next));
    EXPECT_TRUE(differs(half, whole)); // not cut down to a whole pixel size
    EXPECT_TRUE(differs(half, next));
}

namespace {

struct CellColourCase {
    const char* name;
    double colorAdjust;
    double alphaBlend;
    unsigned expected; // interior colour of a cell holding the red tile
    int tolerance;
};

} // namespace

TEST_F(RenderFixture, FinalMosaicShiftsAndBlendsOnlyAboveTheThreshold) {
    const CellColourCase cases[] = {
        {"plain", 0.05, 0.05, 0xC83232, 0},
        {"shift", 0.4, 0.0, 0xA05A32, 0},  // (200,50,50) + trunc(0.4 * ((100,150,50) - it))
        {"blend", 0.0, 0.25, 0x962665, 2}, // 0.75 * tile + 0.25 * blue main image
    };
    test::layoutGridProject(*ctx, 4, 3, 20, 4, 0x649632);
    useLibrary(test::solidTiles({0xC83232}, 40));
    solidMainImage(0x0000FF);
    assignAll(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ctx->SearchOpts.ColorAdjust = c.colorAdjust;
        ctx->SearchOpts.AlphaBlend = c.alphaBlend;
        const QImage img = render(kViewFinal);
        for (const auto& [x, y] : {std::pair{10, 10}, {34, 34}, {82, 58}})
            EXPECT_LE(channelDistance(pixel(img, x, y), c.expected), c.tolerance)
                << std::hex << pixel(img, x, y);
    }
}

TEST_F(RenderFixture, GapsAndEmptyCellsShowGroutOrMainImage) {
    test::layoutGridProject(*ctx, 4, 3, 20, 4);
    useLibrary(test::solidTiles({0x00FF00}, 40));
    solidMainImage(0x0000FF);
    assignAll(0);
    ctx->mproject->Cells[1][2].TileID = -1; // empty: the background shows through
    ctx->SearchOpts.GroutColor = 0xFFFF0000u;
    ctx->SearchOpts.ColorAdjust = ctx->SearchOpts.AlphaBlend = 0;
    const int emptyX = 2 * 24 + 10, emptyY = 24 + 10;
    for (bool bgMain : {false, true}) {
        SCOPED_TRACE(bgMain);
        ctx->SearchOpts.BgMain = bgMain;
        const QImage img = render(kViewFinal);
        const QRgb bg = bgMain ? 0x0000FFu : 0xFF0000u;
        EXPECT_EQ(pixel(img, 22, 10), bg);         // vertical gap
        EXPECT_EQ(pixel(img, 10, 22), bg);         // horizontal gap
        EXPECT_EQ(pixel(img, emptyX, emptyY), bg); // empty cell
        EXPECT_EQ(pixel(img, 10, 10), 0x00FF00u);  // tile
    }
    // The grout only shows in the final mosaic; diagnostic modes draw on white.
    EXPECT_EQ(pixel(render(kViewOutline), 22, 10), 0xFFFFFFu);
}

TEST_F(RenderFixture, RoundCellsTurnAboutTheirCentreOverTheGrout) {
    // Tile: red left half, green right half.
    QImage tile(80, 80, QImage::Format_ARGB32);
    tile.fill(0xFFFF0000u);
    for (int y = 0; y < 80; ++y)
        for (int x = 40; x < 80; ++x)
            tile.setPixel(x, y, 0xFF00FF00u);
    useLibrary({tile});
    ctx->SearchOpts.ColorAdjust = ctx->SearchOpts.AlphaBlend = 0;
    ctx->SearchOpts.GroutColor = 0xFF0000FFu;
    for (double angle : {0.0, std::numbers::pi / 6}) {
        SCOPED_TRACE(angle);
        auto& pat = ctx->mproject->patterncfg;
        imaging::PatternCfg_Default(pat);
        pat.CellGroup[0][0].shape = imaging::kShapeEllipse;
        pat.CellGroup[0][0].angle = float(angle);
        imaging::Pattern_BuildCellIcons(pat);
        test::layoutGridProject(*ctx, 3, 3, 60, 10);
        assignAll(0);
        ASSERT_NEAR(ctx->mproject->Cells[0][0].Rotate, angle, 1e-6);
        const QImage img = render(kViewFinal);
        // (38, 10): right of the centre line unturned, left of it once turned by 30 degrees.
        EXPECT_EQ(pixel(img, 38, 10), angle == 0 ? 0x00FF00u : 0xFF0000u);
        EXPECT_EQ(pixel(img, 15, 30), 0xFF0000u);
        EXPECT_EQ(pixel(img, 45, 30), 0x00FF00u);
        // Outside the disc but inside the turned bitmap's box: grout, not a black corner.
        EXPECT_EQ(pixel(img, 3, 3), 0x0000FFu);
        EXPECT_EQ(pixel(img, 56, 56), 0x0000FFu);
    }
}

TEST_F(RenderFixture, MissingTilePhotoStopsTheRenderNamingTheFile) {
    test::layoutGridProject(*ctx, 3, 2, 20, 2);
    useLibrary(test::solidTiles({0x00FF00, 0xFF0000}, 40));
    assignAll(0);
    ctx->mproject->Cells[1][1].TileID = 1;
    ctx->SearchOpts.ColorAdjust = ctx->SearchOpts.AlphaBlend = 0;
    const QString missing = ctx->ProjectTileLib->GetFullName(1);
    ASSERT_TRUE(QFile::remove(missing));
    QImage img;
    try {
        RenderView(*ctx, kViewFinal, img, 1.0f, nullptr);
        FAIL() << "no error";
    } catch (const RenderError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(missing), -1) << e.what();
    }
    // Cells of the tiles before the failing one were drawn.
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(pixel(img, 10, 10), 0x00FF00u);
}

TEST_F(RenderFixture, PictureDoesNotDependOnTheThreadCount) {
    test::layoutGridProject(*ctx, 12, 9, 24, 2);
    useLibrary(test::photoTiles(15, 64));
    solidMainImage(0x336699);
    std::mt19937 rng(3);
    auto& p = *ctx->mproject;
    for (int r = 0; r < p.cfg.Vcc; ++r)
        for (int c = 0; c < p.cfg.Hcc; ++c) {
            p.Cells[r][c].TileID = int(rng() % 16) - 1;
            imaging::SetColorInfo15(p.Cells[r][c].ICinfo.ci1, int(rng() % 256), int(rng() % 256),
                                    int(rng() % 256));
        }
    setRenderThreads(1);
    const QImage one = render(kViewFinal);
    setRenderThreads(3);
    const QImage three = render(kViewFinal);
    setRenderThreads(0);
    EXPECT_EQ(test::compareImages(three, one, 0, QStringLiteral("render_threads")), 0);
}

TEST_F(RenderFixture, ViewIsSizedInDevicePixelsOfTheScreenScale) {
    test::layoutGridProject(*ctx, 5, 4, 20, 3);
    ctx->ScreenScale = 1.5f;
    QImage img;
    RenderView(*ctx, kViewSourceColor, img, 0.5f, nullptr);
    const auto& cfg = ctx->mproject->cfg;
    EXPECT_EQ(img.width(), int(std::trunc(cfg.FullWidthF * 0.5 * 1.5)));
    EXPECT_EQ(img.height(), int(std::trunc(cfg.FullHeightF * 0.5 * 1.5)));
    EXPECT_DOUBLE_EQ(img.devicePixelRatio(), 1.5);
    // Cell (0,0) covers view units 0..10, device pixels 0..15.
    EXPECT_EQ(pixel(img, 7, 7), 0x808080u);
}

TEST_F(RenderFixture, OneCellRedrawMatchesTheFullRender) {
    test::layoutGridProject(*ctx, 3, 3, 40, 4);
    useLibrary(test::photoTiles(3, 64));
    solidMainImage(0x808080);
    assignAll(1);
    const QImage full = render(kViewFinal);
    ctx->mproject->Cells[1][1].TileID = 2;
    QImage patched = full;
    {
        QPainter painter(&patched);
        Draw_FinalMosaic_OneCell(*ctx, painter, ctx->mproject->Cells[1][1], 1.0f);
    }
    const QImage expected = render(kViewFinal);
    // Inside the cell the one-cell drawing gives the full render's picture.
    QImage a = patched.copy(50, 50, 32, 32), b = expected.copy(50, 50, 32, 32);
    EXPECT_LE(test::compareImages(a, b, 2, QStringLiteral("one_cell")), 2);
    EXPECT_EQ(patched.copy(0, 0, 40, 40), full.copy(0, 0, 40, 40));
}
