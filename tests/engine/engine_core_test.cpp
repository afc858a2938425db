// Project model, cell layout, colour sampling and the project file.
#include "core_fixture.h"
#include "engine/project_model.h"
#include "imaging/program_random.h"
#include "test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace vantorel::engine {
namespace {

using test::solidInfo;

std::unique_ptr<TMosaicProject> newProject() {
    return TMosaicProject::create();
}

// ---------------------------------------------------------------------------------------
// Sizes and scales

struct SizeCase {
    const char* name;
    std::int32_t unit;
    double ppi, fullW, fullH;
    std::int32_t side;
    double fullWpx, fullHpx, widthPx, heightPx, canvasScale;
};

TEST(MainSizeUpdate, FitsThePreviewSquareAndConvertsUnits) {
    const SizeCase cases[] = {
        {"pixels scaled up", kUnitPixel, 100, 1000, 800, 8000, 1000, 800, 8000, 6400, 8.0},
        {"pixels scaled down", kUnitPixel, 100, 20000, 10000, 8000, 20000, 10000, 8000, 4000, 0.4},
        {"mm", kUnitMm, 100, 254, 127, 8000, 1000, 500, 8000, 4000, 8000.0 / 254},
        {"inch", kUnitInch, 150, 10, 20, 8000, 1500, 3000, 4000, 8000, 400},
        {"no preview square keeps the size", kUnitPixel, 100, 1000, 800, 0, 1000, 800, 1000, 800,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = newProject();
        p->cfg.CanvasUnit = c.unit;
        p->cfg.CanvasPPI = c.ppi;
        p->cfg.FullWidthF = c.fullW;
        p->cfg.FullHeightF = c.fullH;
        p->cfg.PreviewBMPsize = c.side;
        p->cfg.PreviewScale = 3;
        p->MainSize_Update();
        EXPECT_DOUBLE_EQ(p->cfg.FullWidthPX, c.fullWpx);
        EXPECT_DOUBLE_EQ(p->cfg.FullHeightpx, c.fullHpx);
        EXPECT_FLOAT_EQ(float(p->cfg.WidthPx), float(c.widthPx));
        EXPECT_FLOAT_EQ(float(p->cfg.HeightPx), float(c.heightPx));
        EXPECT_NEAR(p->cfg.CanvasScale, c.canvasScale, 1e-5);
        EXPECT_EQ(p->cfg.PreviewScale, 1.0);
    }
}

TEST(MainSizeUpdate, CellSizesGapsAndCellPlan) {
    auto p = newProject();
    p->cfg.CanvasUnit = kUnitMm;
    p->cfg.CanvasPPI = 100;
    p->cfg.FullWidthF = 254;
    p->cfg.FullHeightF = 254;
    p->cfg.CellWdf = 25.4;
    p->cfg.CellHtf = 50.8;
    p->cfg.CellgapwdF = 2.54;
    p->cfg.CellgaphtF = 0;
    p->cfg.PreviewBMPsize = 8000;
    p->cfg.CellPlanBMPsizeWD = 400;
    p->cfg.CellPlanBMPsizeHT = 300;
    p->MainSize_Update();
    EXPECT_NEAR(p->cfg.CellWdPx, 100, 1e-9);
    EXPECT_NEAR(p->cfg.CellHtPx, 200, 1e-9);
    EXPECT_NEAR(p->cfg.CellgapwdPX, 10, 1e-9);
    EXPECT_EQ(p->cfg.cellgapHtpx, 0);
    // 1000 x 1000 px into 400 x 300: the height decides, 300 px over 254 mm.
    EXPECT_NEAR(p->cfg.CellPlanScale, 300.0 / 254, 1e-5);

    // An unknown unit leaves the pixel fields alone but still fits the preview.
    p->cfg.CanvasUnit = 7;
    p->cfg.FullWidthF = 1;
    p->MainSize_Update();
    EXPECT_NEAR(p->cfg.FullWidthPX, 1000, 1e-9);
}

TEST(ProjectSize, RingCountsGridAndRingSizes) {
    auto p = newProject();
    p->cfg.ProjectPatternType = kPatternRings;
    p->cfg.Rstart = 100;
    p->cfg.Rinc = 64;
    p->cfg.CellSpace = 64;
    p->cfg.Commondivisor = 3;
    EXPECT_EQ(p->RingCellCount(0), 9);
    EXPECT_EQ(p->RingCellCount(1), 15);
    p->cfg.Commondivisor = 0;
    EXPECT_EQ(p->RingCellCount(1), 16);

    p->cfg.CircleCount = 2;
    EXPECT_EQ(p->GetProjectCellCount(), 9 + 16);
    p->cfg.CircleCount = 20;
    p->cfg.CellWdf = p->cfg.CellHtf = 60;
    EXPECT_EQ(p->GetProjectSize(), (std::pair<Single, Single>(2692, 2692)));

    p->cfg.ProjectPatternType = kPatternGrid;
    p->cfg.Vcc = 2;
    p->cfg.Hcc = 3;
    p->cfg.CellgapwdF = p->cfg.CellgaphtF = 2;
    EXPECT_EQ(p->GetProjectCellCount(), 6);
    EXPECT_EQ(p->GetProjectSize(), (std::pair<Single, Single>(3 * 60 + 2 * 2, 2 * 60 + 2)));

    p->cfg.ProjectPatternType = 5;
    EXPECT_EQ(p->GetProjectCellCount(), 0);
    EXPECT_EQ(p->GetProjectSize(), (std::pair<Single, Single>(0, 0)));
}

TEST(ProjectModel, ClearResetsGridTilesOnly) {
    auto p = newProject();
    p->Cells[200][200].TileID = 3;
    p->Cells[0][0].TileID = 4;
    p->AddonTiles[5].TileID = 7;
    p->cfg.searchDone = 1;
    p->clear();
    EXPECT_EQ(p->Cells[200][200].TileID, -1);
    EXPECT_EQ(p->Cells[0][0].TileID, -1);
    EXPECT_EQ(p->AddonTiles[5].TileID, 7);
    EXPECT_EQ(p->cfg.searchDone, 0);
}

TEST(ProjectModel, CreateGivesTheDefaultPatternAndEmptyCells) {
    auto p = newProject();
    EXPECT_EQ(p->patterncfg.HorzGroupCount, 1);
    EXPECT_EQ(p->patterncfg.CellGroup[0][0].scaleX, 1.0);
    EXPECT_EQ(p->Cells[100][100].TileID, -1);
    EXPECT_EQ(p->cfg.Vcc, 0);
    EXPECT_EQ(p->AddonTiles[10000].enable, 0);
}

// ---------------------------------------------------------------------------------------
// Layout

TEST(CellReset, GridFillsOnlyTheLaidOutCells) {
    auto p = newProject();
    p->Cells[2][0].TileID = 42;
    p->Cells[2][0].CellX = 77;
    p->Cells[0][3].enable = 0;
    const TCell below = p->Cells[2][0];
    const TCell right = p->Cells[0][3];
    p->cfg.AddonTilesCount = 12;
    p->AddonTiles[3].enable = 1;
    p->AddonTiles[3].TileID = 9;

    p->cfg.ProjectPatternType = kPatternGrid;
    p->cfg.Vcc = 2;
    p->cfg.Hcc = 3;
    p->cfg.CellWdf = 60;
    p->cfg.CellHtf = 40;
    p->cfg.CellgapwdF = 2;
    p->cfg.CellgaphtF = 4;
    p->cfg.CanvasScale = 0.5;
    p->Cell_Reset();

    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 3; ++column) {
            SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
            const TCell& c = p->Cells[row][column];
            EXPECT_EQ(c.CellX, column);
            EXPECT_EQ(c.CellY, row);
            EXPECT_EQ(c.TileID, -1);
            EXPECT_EQ(c.enable, 1);
            EXPECT_EQ(c.PriLevel, 1);
            EXPECT_EQ(c.CellRectReal.Left, column * 62.0f);
            EXPECT_EQ(c.CellRectReal.Top, row * 44.0f);
            EXPECT_EQ(c.CellRectReal.Right, column * 62.0f + 60);
            EXPECT_EQ(c.CellRect.Left, c.CellRectReal.Left * 0.5f);
            EXPECT_EQ(c.CellRect.Bottom, c.CellRectReal.Bottom * 0.5f);
            EXPECT_EQ(c.CellCenterReal.X, column * 62.0f + 30);
        }
    EXPECT_EQ(std::memcmp(&p->Cells[2][0], &below, sizeof below), 0);
    EXPECT_EQ(std::memcmp(&p->Cells[0][3], &right, sizeof right), 0);
    EXPECT_EQ(p->cfg.AddonTilesCount, 0);
    EXPECT_EQ(p->AddonTiles[3].enable, 0);
    EXPECT_EQ(p->AddonTiles[3].TileID, -1);
}

// Draws n numbers from a generator seeded like the program one and compares states.
bool consumedRandomNumbers(std::uint32_t seed, int n) {
    std::mt19937 saved = imaging::programRandom();
    imaging::seedProgramRandom(seed);
    for (int i = 0; i < n; ++i)
        imaging::Random(180);
    const bool same = imaging::programRandom() == saved;
    imaging::programRandom() = saved;
    return same;
}

TEST(CellReset, RingsStopAtTheCapacity) {
    auto p = newProject();
    p->cfg.ProjectPatternType = kPatternRings;
    p->cfg.Rstart = 100;
    p->cfg.Rinc = 10;
    p->cfg.CellSpace = 1;
    p->cfg.CircleCount = 30;
    p->cfg.CellWdf = p->cfg.CellHtf = 8;
    p->cfg.FullWidthF = p->cfg.FullHeightF = 1000;
    p->cfg.CanvasScale = 2;
    int ringsStarted = 0;
    for (int total = 0; total < kAddonCells; ++ringsStarted)
        total += p->RingCellCount(ringsStarted);

    imaging::seedProgramRandom(11);
    p->Cell_Reset();
    EXPECT_EQ(p->cfg.AddonTilesCount, kAddonCells);
    EXPECT_GT(p->GetProjectCellCount(), kAddonCells);
    EXPECT_TRUE(consumedRandomNumbers(11, ringsStarted));
    const TCell& last = p->AddonTiles[kAddonCells - 1];
    EXPECT_EQ(last.CellAID, kAddonCells - 1);
    EXPECT_EQ(last.enable, 1);
    EXPECT_EQ(last.TileID, -1);
    EXPECT_EQ(p->Cells[0][0].enable, 0); // the grid is not touched

    // The first cell of ring 0 sits on the ring, faces along the tangent.
    const TCell& first = p->AddonTiles[0];
    const double dx = first.CellCenterReal.X - 500.0, dy = first.CellCenterReal.Y - 500.0;
    EXPECT_NEAR(std::hypot(dx, dy), 100, 1e-3);
    EXPECT_NEAR(std::remainder(first.Rotate - std::atan2(dy, dx) - std::numbers::pi / 2,
                               2 * std::numbers::pi),
                0, 1e-5);
    EXPECT_NEAR(first.CellRectReal.Right - first.CellRectReal.Left, 8, 1e-4);
    EXPECT_FLOAT_EQ(first.CellRect.Left, first.CellRectReal.Left * 2);
}

TEST(CellReset, EmptyRingStillDrawsItsStartAngle) {
    auto p = newProject();
    p->cfg.ProjectPatternType = kPatternRings;
    p->cfg.Rstart = 1;
    p->cfg.Rinc = 100;
    p->cfg.CellSpace = 64;
    p->cfg.CircleCount = 2;
    ASSERT_EQ(p->RingCellCount(0), 0);
    imaging::seedProgramRandom(5);
    p->Cell_Reset();
    EXPECT_EQ(p->cfg.AddonTilesCount, p->RingCellCount(1));
    EXPECT_TRUE(consumedRandomNumbers(5, 2));
}

TEST(CellReset, ClearTileIdTouchesOnlyLaidOutCells) {
    auto p = newProject();
    test::layoutGrid(*p, 2, 2);
    p->Cells[1][1].TileID = 5;
    p->Cells[2][2].TileID = 6;
    p->cfg.AddonTilesCount = 2;
    p->AddonTiles[1].TileID = 3;
    p->AddonTiles[2].TileID = 4;
    p->cell_ClearTileID();
    EXPECT_EQ(p->Cells[1][1].TileID, -1);
    EXPECT_EQ(p->Cells[2][2].TileID, 6);
    EXPECT_EQ(p->AddonTiles[1].TileID, -1);
    EXPECT_EQ(p->AddonTiles[2].TileID, 4);
}

// ---------------------------------------------------------------------------------------
// Hit-testing

TEST(CellId, PackingKeepsBothHalves) {
    EXPECT_EQ(packCellId(-1, -1), -1);
    EXPECT_EQ(packCellId(7, 3), (std::int64_t(3) << 32) | 7);
    for (auto [c, r] : {std::pair{7, 3}, {12, -1}, {-1, -1}, {200, 200}}) {
        EXPECT_EQ(cellIdColumn(packCellId(c, r)), c);
        EXPECT_EQ(cellIdRow(packCellId(c, r)), r);
    }
}

TEST(CellGetIdByMouse, GridEdgesGapsAndScale) {
    auto p = newProject();
    p->cfg.ProjectPatternType = kPatternGrid;
    p->cfg.Vcc = 2;
    p->cfg.Hcc = 3;
    p->cfg.CellWdf = p->cfg.CellHtf = 10;
    p->cfg.CellgapwdF = 2; // columns at 0, 12, 24; rows touch at 10
    p->cfg.CellgaphtF = 0;
    p->cfg.CanvasScale = 1;
    p->Cell_Reset();
    p->Cells[1][2].enable = 0;
    struct Case {
        Single x, y, scale;
        int column, row;
    } cases[] = {
        {0, 0, 1, 0, 0},   {9.99f, 9.99f, 1, 0, 0}, {5, 10, 1, 0, 1},      // shared edge: below
        {12, 5, 1, 1, 0},  {10, 5, 1, -1, -1},      {11.9f, 5, 1, -1, -1}, // gap
        {30, 10, 2, 1, 0}, {30, 15, 1, -1, -1},     {-1, 5, 1, -1, -1},    {50, 50, 1, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " at " << c.scale);
        const std::int64_t id = p->Cell_GetIdByMouse(c.x, c.y, c.scale);
        EXPECT_EQ(cellIdColumn(id), c.column);
        EXPECT_EQ(cellIdRow(id), c.row);
    }

    // Without a gap the shared vertical edge belongs to the cell on the right.
    p->cfg.CellgapwdF = 0;
    p->Cell_Reset();
    EXPECT_EQ(p->Cell_GetIdByMouse(10, 5, 1), packCellId(1, 0));

    p->cfg.Vcc = p->cfg.Hcc = 0;
    EXPECT_EQ(p->Cell_GetIdByMouse(5, 5, 1), packCellId(-1, -1));
}

TEST(CellGetIdByMouse, RingProjectGivesTheNearestCell) {
    auto p = newProject();
    p->cfg.AddonTilesCount = 3;
    p->AddonTiles[0].CellCenterReal = {0, 0};
    p->AddonTiles[1].CellCenterReal = {100, 0};
    p->AddonTiles[2].CellCenterReal = {100, 100};
    EXPECT_EQ(p->Cell_GetIdByMouse(1000, 10, 1), packCellId(1, -1));
    EXPECT_EQ(p->Cell_GetIdByMouse(-500, -500, 1), packCellId(0, -1));
    EXPECT_EQ(p->Cell_GetIdByMouse(180, 220, 2), packCellId(2, -1));
}

// ---------------------------------------------------------------------------------------
// Sampling

struct SampledProject {
    std::unique_ptr<TMosaicProject> p = TMosaicProject::create();
    SampledProject(TRectF cellRect, double enhance) {
        p->cfg.Vcc = p->cfg.Hcc = 1;
        p->cfg.SrcColorEnhance = enhance;
        p->Cells[0][0].CellRect = cellRect;
    }
    const TimgColorInfo& sample(const QImage& image, double scale = 1.0) {
        p->Cell_ReadColorFromMI_2017(image, scale);
        return p->Cells[0][0].ICinfo;
    }
};

imaging::THSVColor hsvOf(const imaging::Trgba& c) {
    return imaging::RGBtoHSV({c.r, c.g, c.b, 0});
}

TEST(CellSampling, UniformAreaKeepsItsColour) {
    SampledProject s({0, 0, 50, 40}, 1.0);
    const QImage image = vantorel::test::solidImage(201, 161, 0xFFC86432); // scale 4 covers it
    const TimgColorInfo& info = s.sample(image, 4.0);
    const imaging::Trgba c = info.ci1.rgba;
    EXPECT_NEAR(c.r, 200, 1);
    EXPECT_NEAR(c.g, 100, 1);
    EXPECT_NEAR(c.b, 50, 1);
    EXPECT_EQ(c.a, 255);
    EXPECT_EQ(info.ci1.rgb, imaging::MakeAlphaColor(c.r, c.g, c.b, 255));
    for (const auto& z : info.ci64) {
        EXPECT_EQ(z.rgba.r, c.r);
        EXPECT_EQ(z.rgba.g, c.g);
        EXPECT_EQ(z.rgba.b, c.b);
    }
    for (const auto& q : info.ci4) { // quarters keep the colour before the boost
        EXPECT_EQ(q.rgba.r, 200);
        EXPECT_EQ(q.rgba.g, 100);
        EXPECT_EQ(q.rgba.b, 50);
    }
}

TEST(CellSampling, SaturationBoostIsCapped) {
    struct Case {
        QRgb colour;
        double enhance, saturation;
    } cases[] = {
        {0xFFFA9696, 2.0, 80},  // saturation 40 doubles
        {0xFFFA6464, 2.0, 100}, // 60 would become 120
        {0xFF808080, 2.0, 0},   // grey stays grey
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour);
        SampledProject s({0, 0, 17, 17}, c.enhance);
        const TimgColorInfo& info = s.sample(vantorel::test::solidImage(17, 17, c.colour));
        EXPECT_NEAR(hsvOf(info.ci64[27].rgba).s, c.saturation, 1.0);
        EXPECT_NEAR(hsvOf(info.ci1.rgba).s, c.saturation, 1.0);
        EXPECT_NEAR(
            hsvOf(info.ci4[0].rgba).s,
            hsvOf(imaging::MakeRGBA(qRed(c.colour), qGreen(c.colour), qBlue(c.colour), 255)).s,
            1.0);
    }
    SampledProject grey({0, 0, 17, 17}, 2.0);
    const TimgColorInfo& g = grey.sample(vantorel::test::solidImage(17, 17, 0xFF808080));
    EXPECT_EQ(g.ci1.rgba.r, g.ci1.rgba.g);
    EXPECT_EQ(g.ci1.rgba.g, g.ci1.rgba.b);
}

TEST(CellSampling, ZeroWeightCornersDoNotReachTheCellColour) {
    // The cell covers 81 x 81 pixels; clipped to 80 x 80 each zone is 10 x 10 pixels.
    QImage image = vantorel::test::solidImage(81, 81, 0xFF000000);
    {
        QPainter painter(&image);
        for (int z : {0, 1, 6, 7, 8, 15, 48, 55, 56, 57, 62, 63})
            painter.fillRect((z % 8) * 10, (z / 8) * 10, 10, 10, QColor(255, 0, 0));
    }
    SampledProject s({0, 0, 81, 81}, 1.0);
    const TimgColorInfo& info = s.sample(image);
    EXPECT_EQ(info.ci1.rgba.r, 0);
    EXPECT_NEAR(info.ci4[0].rgba.r, 3 * 255 / 16, 1); // 3 of its 16 zones are red
    EXPECT_GT(info.ci64[0].rgba.r, 200);
    EXPECT_EQ(info.ci64[9].rgba.r, 0);
}

TEST(CellSampling, CellHalfOutsideIsSampledFromItsInsidePart) {
    QImage image = vantorel::test::solidImage(100, 100, 0xFFFF0000);
    {
        QPainter painter(&image);
        painter.fillRect(50, 0, 50, 100, QColor(0, 0, 255));
    }
    SampledProject s({50, 0, 150, 100}, 1.0);
    const TimgColorInfo& info = s.sample(image);
    for (const auto& z : info.ci64) {
        EXPECT_LE(z.rgba.r, 1);
        EXPECT_GE(z.rgba.b, 254);
    }
    EXPECT_GE(info.ci1.rgba.b, 254);
}

TEST(CellSampling, AddonCellsAreSampledSeparately) {
    auto p = newProject();
    p->cfg.AddonTilesCount = 1;
    p->cfg.SrcColorEnhance = 1;
    p->AddonTiles[0].CellRect = {0, 0, 9, 9};
    p->AddonTiles[1].CellRect = {0, 0, 9, 9};
    const QImage image = vantorel::test::solidImage(10, 10, 0xFF00FF00);
    p->AddonCell_ReadColorFromMI_2017(image, 1.0);
    EXPECT_EQ(p->AddonTiles[0].ICinfo.ci1.rgba.g, 255);
    EXPECT_EQ(p->AddonTiles[1].ICinfo.ci1.rgba.g, 0);
    EXPECT_EQ(p->Cells[0][0].ICinfo.ci1.rgba.g, 0);
}

// ---------------------------------------------------------------------------------------
// Project file

// Fills the records that a file carries with a byte pattern, so round trips compare real data.
void scribble(TMosaicProject& p, std::uint8_t seed) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(&p.patterncfg);
    for (std::size_t i = 0; i < sizeof p.patterncfg; ++i)
        bytes[i] = std::uint8_t(seed + i * 7);
    for (int r = 0; r < kGridSide; r += 1)
        for (int c = 0; c < 4; ++c) {
            auto* cell = reinterpret_cast<std::uint8_t*>(&p.Cells[r][c]);
            for (std::size_t i = 0; i < sizeof(TCell); i += 13)
                cell[i] = std::uint8_t(seed + r + c + i);
        }
    for (int i = 0; i < 600; ++i)
        p.AddonTiles[i].ICinfo.ci1.rgba.r = std::uint8_t(seed + i);
}

struct FileSizeCase {
    const char* name;
    std::int32_t vcc, hcc, addons;
    qsizetype bytes;
};

TEST(ProjectFile, SizesFollowTheCounts) {
    const FileSizeCase cases[] = {
        {"48 x 48 grid", 48, 48, 0, 6'269'168},
        {"500 ring cells", 0, 0, 500, 1'335'440},
        {"200 rows write 201", 200, 2, 0, 3440 + 201 * 2 * 2664},
        {"widest row", 1, 201, 0, 3440 + 2 * 201 * 2664},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = newProject();
        p->cfg.Vcc = c.vcc;
        p->cfg.Hcc = c.hcc;
        p->cfg.AddonTilesCount = c.addons;
        scribble(*p, 3);
        const QByteArray bytes = p->SaveProjectBytes(DefaultSearchOpts());
        ASSERT_EQ(bytes.size(), c.bytes);
        EXPECT_EQ(std::memcmp(bytes.constData() + 260, &c.vcc, 4), 0);
        EXPECT_EQ(std::memcmp(bytes.constData() + 536, &p->patterncfg, sizeof(TpatternCfg)), 0);
        const TSearchOpts opts = DefaultSearchOpts();
        EXPECT_EQ(std::memcmp(bytes.constData() + 3368, &opts, sizeof opts), 0);
        if (c.hcc > 0) { // the last grid record is row Vcc, column Hcc - 1
            const TCell& last = p->Cells[c.vcc][c.hcc - 1];
            EXPECT_EQ(std::memcmp(bytes.constData() + bytes.size() - 2664, &last, 2664), 0);
        }
    }
}

TEST(ProjectFile, RoundTripRestoresEveryByte) {
    vantorel::test::ScratchDir dir;
    auto a = newProject();
    a->cfg.Vcc = 3;
    a->cfg.Hcc = 4;
    a->cfg.AddonTilesCount = 2;
    a->cfg.CanvasScale = 0.25;
    a->cfg.RootPath.set(dir.path());
    scribble(*a, 9);
    a->Cells[3][3].TileID = 17;
    TSearchOpts opts = DefaultSearchOpts();
    opts.RepeatMin = 7;
    opts.GroutColor = 0xFF112233;
    a->SaveProject(opts);
    const QByteArray saved = a->SaveProjectBytes(opts);

    auto b = newProject();
    TSearchOpts loaded{};
    b->LoadProject(dir.file(QStringLiteral("Mosaic.Prj")), loaded);
    EXPECT_EQ(b->SaveProjectBytes(loaded), saved);
    EXPECT_EQ(loaded.RepeatMin, 7);
    EXPECT_EQ(b->Cells[3][3].TileID, 17);
    EXPECT_EQ(std::memcmp(&b->Cells[2][1].ICinfo, &a->Cells[2][1].ICinfo, sizeof(TimgColorInfo)),
              0);

    // Saving again replaces the file.
    a->cfg.Vcc = 1;
    a->SaveProject(opts);
    EXPECT_EQ(QFileInfo(dir.file(QStringLiteral("Mosaic.Prj"))).size(),
              3440 + 2 * 4 * 2664 + 2 * 2664);
}

QString writeFile(const vantorel::test::ScratchDir& dir, const QByteArray& bytes) {
    const QString path = dir.file(QStringLiteral("Mosaic.Prj"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

TEST(ProjectFile, TruncatedFileKeepsWhatItDoesNotReach) {
    vantorel::test::ScratchDir dir;
    auto a = newProject();
    a->cfg.Vcc = 2;
    a->cfg.Hcc = 2;
    scribble(*a, 1);
    const QByteArray full = a->SaveProjectBytes(DefaultSearchOpts());
    // Cut inside the second cell of row 1 (records: (0,0) (0,1) (1,0) (1,1) ...).
    const qsizetype cut = 3440 + 3 * 2664 + 100;

    auto b = newProject();
    scribble(*b, 77);
    const TCell keptCell = b->Cells[1][1];
    const TCell keptRow2 = b->Cells[2][0];
    TSearchOpts opts{};
    b->LoadProject(writeFile(dir, full.left(cut)), opts);
    EXPECT_EQ(b->cfg.Vcc, 2);
    EXPECT_EQ(std::memcmp(&b->Cells[1][0], &a->Cells[1][0], sizeof(TCell)), 0);
    EXPECT_EQ(std::memcmp(&b->Cells[1][1], &a->Cells[1][1], 100), 0);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&b->Cells[1][1]) + 100,
                          reinterpret_cast<const char*>(&keptCell) + 100, sizeof(TCell) - 100),
              0);
    EXPECT_EQ(std::memcmp(&b->Cells[2][0], &keptRow2, sizeof(TCell)), 0);

    // A file that ends inside the configuration changes only its leading bytes.
    auto c = newProject();
    c->cfg.Hcc = 5;
    c->LoadProject(writeFile(dir, full.left(200)), opts);
    EXPECT_EQ(c->cfg.Hcc, 5);
    EXPECT_EQ(std::memcmp(&c->cfg, full.constData(), 200), 0);
}

TEST(ProjectFile, CountsBeyondTheArraysAreRejected) {
    struct Case {
        const char* name;
        std::int32_t vcc, hcc, addons;
    } cases[] = {
        {"201 rows", 201, 2, 0},           {"202 columns", 2, 202, 0},
        {"10002 ring cells", 0, 0, 10002}, {"negative rows", -1, 2, 0},
        {"negative columns", 2, -3, 0},    {"negative ring cells", 0, 0, -1},
    };
    vantorel::test::ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto a = newProject();
        a->cfg.Vcc = 1;
        a->cfg.Hcc = 1;
        QByteArray bytes = a->SaveProjectBytes(DefaultSearchOpts());
        std::memcpy(bytes.data() + 260, &c.vcc, 4);
        std::memcpy(bytes.data() + 264, &c.hcc, 4);
        std::memcpy(bytes.data() + 256, &c.addons, 4);
        bytes.append(QByteArray(64 * 2664, '\x5a'));

        auto b = newProject();
        scribble(*b, 5);
        b->cfg.Vcc = 9;
        const TCell before = b->Cells[0][0];
        TSearchOpts opts = DefaultSearchOpts();
        opts.RandomLevel = 33;
        try {
            b->LoadProject(writeFile(dir, bytes), opts);
            ADD_FAILURE() << "no error";
        } catch (const ProjectFileError& e) {
            EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
        }
        EXPECT_EQ(b->cfg.Vcc, 9);
        EXPECT_EQ(opts.RandomLevel, 33);
        EXPECT_EQ(std::memcmp(&b->Cells[0][0], &before, sizeof before), 0);

        // Writing such counts is refused as well.
        a->cfg.Vcc = c.vcc;
        a->cfg.Hcc = c.hcc;
        a->cfg.AddonTilesCount = c.addons;
        EXPECT_THROW(a->SaveProjectBytes(DefaultSearchOpts()), ProjectFileError);
    }
}

TEST(ProjectFile, MissingFilesAndFoldersGiveErrors) {
    vantorel::test::ScratchDir dir;
    auto p = newProject();
    TSearchOpts opts{};
    EXPECT_THROW(p->LoadProject(dir.file(QStringLiteral("none.Prj")), opts), ProjectFileError);
    p->cfg.RootPath.set(dir.file(QStringLiteral("no/such/folder")));
    EXPECT_THROW(p->SaveProject(opts), ProjectFileError);
}

} // namespace
} // namespace vantorel::engine
