// The headless wizard: crop frame, cut of the main image, size texts, options, the
// create-mosaic order, and project folders saved and opened again.
#include "../engine/render_fixture.h"
#include "engine/mosaic_render.h"
#include "imaging/program_random.h"
#include "test_support.h"
#include "workflow/main_image.h"
#include "workflow/overview.h"
#include "workflow/project_folder.h"
#include "workflow/project_pipeline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::workflow;
using vantorel::test::ScratchDir;

namespace {

void expectRect(const TRectF& r, float l, float t, float rt, float b) {
    EXPECT_FLOAT_EQ(r.Left, l);
    EXPECT_FLOAT_EQ(r.Top, t);
    EXPECT_FLOAT_EQ(r.Right, rt);
    EXPECT_FLOAT_EQ(r.Bottom, b);
}

// A crop view showing a w x h picture fitted into 600 x 450.
CropView viewOf(const QImage& picture) {
    CropView v;
    setMainImage(v, picture);
    return v;
}

} // namespace

TEST(CropFrame, AutoCropIsTheCentredSquareAtNineTenths) {
    CropView v = viewOf(test::solidImage(4000, 3000, 0x336699));
    ASSERT_EQ(v.mi_Zoom.size(), QSize(600, 450));
    const TAlphaColor grout = NPA_AutoCrop(v, 8000, 8000);
    expectRect(v.CropRect, 97.5f, 22.5f, 502.5f, 427.5f);
    EXPECT_FLOAT_EQ(v.CropCorners[2].X, 502.5f);
    EXPECT_FLOAT_EQ(v.CropCorners[3].Y, 427.5f);
    EXPECT_EQ(grout, 0xFF336699u);
    EXPECT_EQ(v.lb_miSize, QStringLiteral("File Size 4000x3000 pixels"));
}

TEST(CropFrame, FitToAspectKeepsTheAnchorCorner) {
    const TRectF R{10, 20, 110, 70}; // 100 x 50, too wide for a square
    struct Case {
        int anchor;
        TRectF expected;
    } cases[] = {{0, {10, 20, 60, 70}},
                 {1, {60, 20, 110, 70}},
                 {2, {60, 20, 110, 70}},
                 {3, {10, 20, 60, 70}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.anchor);
        const TRectF r = NPA_FitCropToAspect(R, c.anchor, 8000, 8000);
        expectRect(r, c.expected.Left, c.expected.Top, c.expected.Right, c.expected.Bottom);
    }
    // Too tall for 4:3: the height becomes a whole number, anchored at the bottom.
    expectRect(NPA_FitCropToAspect({0, 0, 101, 200}, 2, 8000, 6000), 0, 125, 101, 200);
}

TEST(CropFrame, PointerPicksCornersAndDragsWithinTheView) {
    CropView v = viewOf(test::solidImage(4000, 3000, 0x808080));
    v.setCropRect({100, 100, 130, 130});
    // 19 units from corners 0 and 1: the higher-numbered corner wins.
    EXPECT_EQ(NPA_CropCornerAt(v, {115, 100 + 11.6619f}), 1);
    EXPECT_EQ(NPA_CropCornerAt(v, {300, 300}), -1);

    // Corner 2 dragged past the right edge stops at W, fitted about the top left corner.
    v.setCropRect({400, 100, 500, 200});
    Img_maincropMouseDown(v, 500, 200);
    ASSERT_TRUE(v.cornerDrag);
    Img_maincropMouseMove(v, 900, 420, 8000, 8000);
    expectRect(v.CropRect, 400, 100, 600, 300);
    Img_maincropMouseUp(v);
    EXPECT_FALSE(v.cornerDrag);

    // A move against the left edge keeps x and still moves y.
    v.setCropRect({5, 100, 105, 200});
    Img_maincropMouseDown(v, 50, 150);
    ASSERT_TRUE(v.moveDrag);
    Img_maincropMouseMove(v, 40, 170, 8000, 8000);
    expectRect(v.CropRect, 5, 120, 105, 220);
    Img_maincropMouseLeave(v);
    EXPECT_FALSE(v.moveDrag);
}

TEST(MainImage, FullSizeCutIsHalfTheOnScreenMosaic) {
    auto ctx = engine::MosaicContext::create();
    ctx->mproject->cfg.WidthPx = 8000;
    ctx->mproject->cfg.HeightPx = 6000;
    const QImage picture = test::gradientImage(1000, 750);
    CropView v = viewOf(picture);
    NPA_AutoCrop(v, 8000, 6000);
    v.setCropRect({0, 0, 600, 450}); // the whole picture
    QStringList log;
    MakeFullSize(v, *ctx, &log);
    EXPECT_EQ(ctx->MainImageCrop.size(), QSize(4000, 3000));
    EXPECT_DOUBLE_EQ(ctx->MainImageScale, 0.5);
    EXPECT_EQ(log.first(), QStringLiteral("mi_org_wd1000"));
    EXPECT_EQ(log.last(), QStringLiteral("mproject.cfg.WidthPx8000"));
    // The cut follows the full-resolution picture, not the zoomed view.
    const QRgb a = ctx->MainImageCrop.pixel(3990, 10), b = picture.pixel(997, 2);
    EXPECT_LE(std::abs(qRed(a) - qRed(b)), 3);
}

TEST(MainImage, UnreadableFileKeepsThePreviousImage) {
    ScratchDir dir;
    CropView v = viewOf(test::solidImage(40, 30, 0x112233));
    QFile f(dir.file(QStringLiteral("bad.jpg")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    EXPECT_THROW(NPA_LoadMainImage(v, f.fileName()), WorkflowError);
    EXPECT_EQ(v.mi_org.size(), QSize(40, 30));
    EXPECT_FALSE(NPA_LoadMainImage(v, dir.file(QStringLiteral("missing.png"))));
    EXPECT_EQ(v.mi_org.size(), QSize(40, 30));
}

TEST(WizardSizes, SummaryWithTheInitialValues) {
    auto ctx = engine::MosaicContext::create();
    WizardSettings s;
    const SizeTexts t = NPA_SizeUpdate_KRV(*ctx->mproject, s, 1.0f);
    ASSERT_EQ(t.summary.size(), 7);
    EXPECT_EQ(t.summary[0], QStringLiteral("Tile Size 60.00 x 60.00pixel"));
    EXPECT_EQ(t.summary[1], QStringLiteral("Gap Size 2.00 x 2.00pixel"));
    EXPECT_EQ(t.summary[2], QStringLiteral("Tile Count 3136"));
    EXPECT_EQ(t.summary[4], QStringLiteral("-------"));
    EXPECT_TRUE(t.summary[5].endsWith(QStringLiteral("Pixels")));
    EXPECT_EQ(t.mosaicSize, QStringLiteral("Mosaic Size 8000 x 8000pixel"));
    EXPECT_TRUE(ctx->mproject->SizeChanged);
    s.verticalGap = 5;
    EXPECT_EQ(NPA_SizeUpdate_KRV(*ctx->mproject, s, 1.0f).summary[1],
              QStringLiteral("Gap Size 2.00 x 5.00pixel"));
}

TEST(WizardOptions, ReadOptionsConvertsTheControls) {
    WizardSettings s;
    engine::TSearchOpts o{};
    NPA_ReadOptions(s, o);
    const engine::TSearchOpts d = engine::DefaultSearchOpts();
    EXPECT_EQ(o.RepeatMax, d.RepeatMax);
    EXPECT_FLOAT_EQ(o.WeightL, d.WeightL);
    EXPECT_FLOAT_EQ(o.DitherLevel, 1.0f);
    EXPECT_TRUE(o.RepeatMaxOn && o.RepeatRadiusOn && o.Dither && !o.BgMain && !o.RGBMatch);
    s.ditherLevel = 37.6;
    s.randomLevel = 15.4;
    s.repeatMin = 3.9;
    s.groutColor = 0xFF102030u;
    NPA_ReadOptions(s, o);
    EXPECT_FLOAT_EQ(o.DitherLevel, 0.376f);
    EXPECT_EQ(o.RandomLevel, 15);
    EXPECT_EQ(o.RepeatMin, 3);
    EXPECT_EQ(o.GroutColor, 0xFF102030u);
}

namespace {

// A small wizard run: 8 x 6 tiles of 20 x 20 over a synthetic photo, 30 tile library.
struct PipelineFixture : ::testing::Test {
    ScratchDir dir;
    std::unique_ptr<engine::MosaicContext> ctx = engine::MosaicContext::create();
    CropView view;
    WizardSettings settings;
    NewProjectPipeline pipeline{*ctx, view, settings};

    void SetUp() override {
        test::writeTileLibrary(*ctx->ProjectTileLib, dir.file(QStringLiteral("lib")),
                               test::photoTiles(30, 48));
        settings.horizontalTileCount = 8;
        settings.verticalTileCount = 6;
        settings.tileWidthPx = settings.tileHeightPx = 20;
        const QString photo = dir.file(QStringLiteral("main.png"));
        ASSERT_TRUE(test::syntheticPhoto(99, 400, 300).save(photo));
        pipeline.NPA_SizeUpdate_KRV();
        ASSERT_TRUE(pipeline.NPA_LoadMainImage(photo));
        imaging::seedProgramRandom(5);
    }
    int layouts() const {
        return int(pipeline.diagnosticLog().count(QStringLiteral("NPA_Cell_Reset")));
    }
};

} // namespace

TEST_F(PipelineFixture, CreateMosaicLaysOutAgainOnlyAfterASizeChange) {
    EXPECT_EQ(ctx->SearchOpts.GroutColor, settings.groutColor); // the crop's average
    pipeline.NPA_Preview(3, nullptr, nullptr, nullptr);
    EXPECT_FALSE(ctx->mproject->SizeChanged);
    ASSERT_EQ(layouts(), 1);
    QImage view50;
    pipeline.createMosaic(view50, nullptr);
    EXPECT_EQ(layouts(), 1); // the preview's cells were current
    EXPECT_TRUE(ctx->mproject->Rendered);
    EXPECT_EQ(view50.size(),
              QSize(int(ctx->mproject->cfg.FullWidthF), int(ctx->mproject->cfg.FullHeightF)));
    EXPECT_TRUE(ctx->mproject->SizeChanged); // render-and-draw applied the sizes again
    for (int i = 0; i < ctx->ProjectTileLib->Count; ++i)
        EXPECT_TRUE(ctx->ProjectTileLib->ItemEnable[i]);
    pipeline.createMosaic(view50, nullptr);
    EXPECT_EQ(layouts(), 2);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 8; ++c)
            EXPECT_GE(ctx->mproject->Cells[r][c].TileID, 0);
}

TEST_F(PipelineFixture, SavedFolderOpensToTheSamePicture) {
    pipeline.setDrawFromStoredMainImage(true);
    settings.bgMain = true; // the main image shows in the gaps, so it must round-trip too
    QImage made;
    pipeline.createMosaic(made, nullptr);
    const QString F = dir.file(QStringLiteral("projects/My Mosaic"));
    SaveProject_WriteFolder(*ctx, F, made, pipeline.storedMainImage());

    QStringList entries = QDir(F).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    entries.sort();
    EXPECT_EQ(entries,
              (QStringList{QStringLiteral("Mosaic.Prj"), QStringLiteral("MosaicPicture.jpg"),
                           QStringLiteral("imagelib.dat"), QStringLiteral("mainimage.jpg"),
                           QStringLiteral("ready")}));
    EXPECT_EQ(QDir(F + QStringLiteral("/ready")).entryList(QDir::Files).size(), 30);
    EXPECT_EQ(tilelib::ReadTileLibCfg(tilelib::ImgLibFileName(F)).Rootpath.str(), F);
    EXPECT_EQ(ctx->ProjectTileLib->rootPath(), F);

    auto opened = engine::MosaicContext::create();
    QImage again;
    OpenProject(*opened, QDir(F).filePath(QStringLiteral("Mosaic.Prj")), again, nullptr);
    EXPECT_TRUE(opened->mproject->Rendered);
    EXPECT_EQ(QDir::cleanPath(opened->ProjectTileLib->rootPath()), F);
    EXPECT_EQ(test::compareImages(again, made, 0, QStringLiteral("reopened")), 0);

    // Saving again into the same folder keeps the tiles intact.
    SaveProject_WriteFolder(*ctx, F, made, pipeline.storedMainImage());
    EXPECT_GT(QFileInfo(ctx->ProjectTileLib->GetFullName(0)).size(), 0);
}

TEST_F(PipelineFixture, SaveRefusesAFolderThePathFieldsCannotHold) {
    QImage made;
    pipeline.createMosaic(made, nullptr);
    const QString F = dir.file(QString(260, QLatin1Char('x')));
    EXPECT_THROW(SaveProject_WriteFolder(*ctx, F, made), WorkflowError);
    EXPECT_FALSE(QFileInfo::exists(F));
    EXPECT_EQ(ctx->ProjectTileLib->rootPath(), dir.file(QStringLiteral("lib")));
}

TEST_F(PipelineFixture, OpenProjectWithoutMainImageFails) {
    QImage made;
    pipeline.createMosaic(made, nullptr);
    const QString F = dir.file(QStringLiteral("p"));
    SaveProject_WriteFolder(*ctx, F, made);
    ASSERT_TRUE(QFile::remove(QDir(F).filePath(QStringLiteral("mainimage.jpg"))));
    auto opened = engine::MosaicContext::create();
    QImage again;
    EXPECT_THROW(
        OpenProject(*opened, QDir(F).filePath(QStringLiteral("Mosaic.Prj")), again, nullptr),
        WorkflowError);
    EXPECT_FALSE(opened->mproject->Rendered);
}

TEST(ProjectFolder, ProposedFolderCarriesTheStampWithoutLeadingZeros) {
    const QDateTime when(QDate(2020, 5, 7), QTime(9, 3, 5));
    EXPECT_EQ(
        SaveProject_ProposeFolder(QStringLiteral("/p"), QStringLiteral("New Photo Mosaic"), when),
        QStringLiteral("/p/New Photo Mosaic2020-5-7-9-3-5"));
}

TEST(Overview, CopyOfTheMainViewFitsIntoTwiceTheSquare) {
    auto ctx = engine::MosaicContext::create();
    const struct {
        QSize view;
        qreal ratio;
        QSize expected;
    } cases[] = {
        {{800, 600}, 1, {2048, 1536}},  // scaled up to 1024 x 768, doubled
        {{1200, 3000}, 1, {818, 2048}}, // scaled down
        {{1600, 1200}, 2, {2048, 1536}}, // a 2x view is 800 x 600 logical units
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view.width());
        QImage view(c.view, QImage::Format_ARGB32);
        view.fill(Qt::red);
        view.setDevicePixelRatio(c.ratio);
        Overview_CopyMainView(*ctx, view);
        EXPECT_EQ(ctx->OverviewBitmap.size(), c.expected);
        EXPECT_EQ(ctx->OverviewBitmap.pixel(c.expected.width() / 2, c.expected.height() - 1),
                  qRgb(255, 0, 0));
    }
    Overview_CopyMainView(*ctx, QImage());
    EXPECT_TRUE(ctx->OverviewBitmap.isNull());
}

TEST_F(PipelineFixture, OverviewRepaintFillsItsBitmapWithTheMosaic) {
    EXPECT_FALSE(Overview_Repaint(*ctx, nullptr)); // no search yet
    EXPECT_TRUE(ctx->OverviewBitmap.isNull());
    QImage made;
    pipeline.createMosaic(made, nullptr);
    ctx->SearchOpts.GroutColor = 0xFFFF00FFu; // far from every tile colour
    engine::RenderView(*ctx, 50, made, engine::Single(ctx->mproject->cfg.PreviewScale), nullptr);
    ASSERT_TRUE(Overview_Repaint(*ctx, nullptr));
    const QImage& ov = ctx->OverviewBitmap;
    const auto& cfg = ctx->mproject->cfg;
    EXPECT_EQ(std::max(ov.width(), ov.height()), 4096);
    EXPECT_NEAR(double(ov.width()) / ov.height(), cfg.WidthPx / cfg.HeightPx, 0.01);
    // The mosaic reaches the far corner: the bottom-right quarter has the view's colours.
    const auto meanOfLastQuarter = [](const QImage& img) {
        const QImage q = img.convertToFormat(QImage::Format_ARGB32)
                             .copy(img.width() / 2, img.height() / 2, img.width() / 2,
                                   img.height() / 2)
                             .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return q.pixel(0, 0);
    };
    const QRgb a = meanOfLastQuarter(ov), b = meanOfLastQuarter(made);
    EXPECT_NEAR(qRed(a), qRed(b), 12);
    EXPECT_NEAR(qGreen(a), qGreen(b), 12);
    EXPECT_NEAR(qBlue(a), qBlue(b), 12);
}
