// vantorel-cli make and render, run as a user would run them.
#include "../engine/render_fixture.h"
#include "cli_runner.h"
#include "engine/project_model.h"
#include "test_support.h"
#include "tilelib/tile_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using vantorel::test::cli;
using vantorel::test::CliRun;
using vantorel::test::errorLines;
using vantorel::test::readAll;
using vantorel::test::ScratchDir;

namespace {

// A 25-tile library and a 320 x 240 main picture: left half black, right half white with a
// photo-like band.
struct MakeFixture : ::testing::Test {
    ScratchDir dir;
    QString lib, main;
    void SetUp() override {
        lib = dir.file(QStringLiteral("lib"));
        auto l = vantorel::tilelib::TTilelib::create();
        vantorel::test::writeTileLibrary(*l, lib, vantorel::test::photoTiles(25, 40), "jpg");
        QImage picture = vantorel::test::syntheticPhoto(4, 320, 240);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 160; ++x)
                picture.setPixel(x, y, 0xFF000000u);
        main = dir.file(QStringLiteral("main.png"));
        ASSERT_TRUE(picture.save(main));
    }
    QStringList small() const {
        return {QStringLiteral("--main"),      main,
                QStringLiteral("--lib"),       lib,
                QStringLiteral("--tiles"),     QStringLiteral("10x8"),
                QStringLiteral("--tile-size"), QStringLiteral("16x16"),
                QStringLiteral("--seed"),      QStringLiteral("3")};
    }
};

} // namespace

TEST_F(MakeFixture, MakeThenRenderDrawsTheSamePicture) {
    const QString project = dir.file(QStringLiteral("project"));
    const QString a = dir.file(QStringLiteral("a.png")), b = dir.file(QStringLiteral("b.png"));
    const CliRun made = cli(QStringList{QStringLiteral("make")} + small() +
                            QStringList{QStringLiteral("--bg-main"), QStringLiteral("--out"), a,
                                        QStringLiteral("--project"), project});
    ASSERT_EQ(made.status, 0) << qPrintable(made.err);
    for (const char* phase : {"layout", "sampling", "search", "render", "save"})
        EXPECT_TRUE(made.out.contains(QLatin1String(phase))) << phase;
    EXPECT_TRUE(made.out.contains(QStringLiteral("cells 80, distinct tiles ")))
        << qPrintable(made.out);
    for (const char* entry :
         {"ready", "imagelib.dat", "mainimage.jpg", "Mosaic.Prj", "MosaicPicture.jpg"})
        EXPECT_TRUE(QFileInfo::exists(QDir(project).filePath(QLatin1String(entry)))) << entry;

    const CliRun rendered = cli({QStringLiteral("render"), project, QStringLiteral("--out"), b});
    ASSERT_EQ(rendered.status, 0) << qPrintable(rendered.err);
    const QImage pa(a), pb(b);
    EXPECT_EQ(pa.size(), QSize(10 * 18 - 2, 8 * 18 - 2));
    EXPECT_EQ(vantorel::test::compareImages(pb, pa, 0, QStringLiteral("make_render")), 0);

    // Another view of the same project, opened through its project file.
    const QString c = dir.file(QStringLiteral("c.bmp"));
    ASSERT_EQ(cli({QStringLiteral("render"), QDir(project).filePath(QStringLiteral("Mosaic.Prj")),
                   QStringLiteral("--out"), c, QStringLiteral("--view"), QStringLiteral("20")})
                  .status,
              0);
    const QImage tileColours = QImage(c).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(tileColours.size(), pa.size());
    EXPECT_NE(tileColours, pa.convertToFormat(QImage::Format_ARGB32));
}

TEST_F(MakeFixture, OptionsReachTheMosaic) {
    const QString out = dir.file(QStringLiteral("g.png"));
    // Red grout in wide gaps; sampled colours of the left (black) half only.
    const CliRun r =
        cli(QStringList{QStringLiteral("make")} + small() +
            QStringList{QStringLiteral("--gap"), QStringLiteral("6x6"), QStringLiteral("--grout"),
                        QStringLiteral("FF0000"), QStringLiteral("--out"), out});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    const QImage g(out);
    EXPECT_EQ(g.pixel(18, 5) & 0xFFFFFFu, 0xFF0000u); // gap right of the first cell

    const QString left = dir.file(QStringLiteral("left.png"));
    const CliRun c = cli(QStringList{QStringLiteral("make")} + small() +
                         QStringList{QStringLiteral("--crop"), QStringLiteral("0,0,160,240"),
                                     QStringLiteral("--view"), QStringLiteral("10"),
                                     QStringLiteral("--out"), left});
    ASSERT_EQ(c.status, 0) << qPrintable(c.err);
    const QImage v(left);
    // The crop was shrunk to the mosaic's aspect inside the black half: every cell is black.
    for (const auto& [x, y] : {std::pair{8, 8}, {170, 130}, {90, 60}})
        EXPECT_EQ(v.pixel(x, y) & 0xFFFFFFu, 0u) << x << "," << y;
}

TEST_F(MakeFixture, BadInputFailsWithOneErrorLineAndKeepsTheEarlierPicture) {
    const QString out = dir.file(QStringLiteral("keep.png"));
    ASSERT_TRUE(vantorel::test::solidImage(8, 8, 0x123456).save(out));
    const QByteArray before = readAll(out);

    const QString noLib = dir.file(QStringLiteral("nolib"));
    QDir().mkpath(noLib);
    const QString emptyLib = dir.file(QStringLiteral("empty"));
    {
        auto l = vantorel::tilelib::TTilelib::create();
        vantorel::test::writeTileLibrary(*l, emptyLib, {});
    }
    const QString damaged = dir.file(QStringLiteral("damaged"));
    {
        const CliRun ok =
            cli(QStringList{QStringLiteral("make")} + small() +
                QStringList{QStringLiteral("--out"), dir.file(QStringLiteral("d.jpg")),
                            QStringLiteral("--project"), damaged});
        ASSERT_EQ(ok.status, 0) << qPrintable(ok.err);
        QFile prj(QDir(damaged).filePath(QStringLiteral("Mosaic.Prj")));
        ASSERT_TRUE(prj.open(QIODevice::ReadWrite));
        prj.seek(260); // Vcc
        const qint32 rows = 5000;
        prj.write(reinterpret_cast<const char*>(&rows), 4);
    }

    struct Case {
        const char* name;
        QStringList args;
        const char* says;
    } cases[] = {
        {"main and sample",
         {QStringLiteral("--main"), main, QStringLiteral("--sample"), QStringLiteral("1"),
          QStringLiteral("--lib"), lib},
         "--sample"},
        {"missing main",
         {QStringLiteral("--main"), dir.file(QStringLiteral("nope.jpg")), QStringLiteral("--lib"),
          lib},
         "does not exist"},
        {"no imagelib.dat",
         {QStringLiteral("--main"), main, QStringLiteral("--lib"), noLib},
         "imagelib.dat"},
        {"empty library",
         {QStringLiteral("--main"), main, QStringLiteral("--lib"), emptyLib},
         "empty"},
        {"few tiles",
         {QStringLiteral("--main"), main, QStringLiteral("--lib"), lib, QStringLiteral("--tiles"),
          QStringLiteral("4x10")},
         "5..200"},
        {"many tiles",
         {QStringLiteral("--main"), main, QStringLiteral("--lib"), lib, QStringLiteral("--tiles"),
          QStringLiteral("10x201")},
         "5..200"},
        {"colour adjust",
         {QStringLiteral("--main"), main, QStringLiteral("--lib"), lib,
          QStringLiteral("--color-adjust"), QStringLiteral("0.9")},
         "0.01..0.5"},
        {"view",
         {QStringLiteral("--main"), main, QStringLiteral("--lib"), lib, QStringLiteral("--view"),
          QStringLiteral("7")},
         "--view"},
        {"crop outside",
         {QStringLiteral("--main"), main, QStringLiteral("--lib"), lib, QStringLiteral("--crop"),
          QStringLiteral("0,0,400,100")},
         "inside"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = cli(QStringList{QStringLiteral("make")} + c.args +
                             QStringList{QStringLiteral("--out"), out});
        EXPECT_NE(r.status, 0);
        const QStringList errors = errorLines(r);
        ASSERT_EQ(errors.size(), 1) << qPrintable(r.err);
        EXPECT_TRUE(errors[0].contains(QLatin1String(c.says))) << qPrintable(errors[0]);
        EXPECT_EQ(readAll(out), before);
    }
    const CliRun r = cli({QStringLiteral("render"), damaged, QStringLiteral("--out"), out});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(errorLines(r).size(), 1) << qPrintable(r.err);
    EXPECT_EQ(readAll(out), before);
}

TEST_F(MakeFixture, EveryOptionLandsInTheSavedProject) {
    const QString project = dir.file(QStringLiteral("all"));
    const CliRun r = cli({QStringLiteral("make"),
                          QStringLiteral("--main"),
                          main,
                          QStringLiteral("--lib"),
                          lib,
                          QStringLiteral("--out"),
                          dir.file(QStringLiteral("all.tif")),
                          QStringLiteral("--project"),
                          project,
                          QStringLiteral("--tiles"),
                          QStringLiteral("9x7"),
                          QStringLiteral("--tile-size"),
                          QStringLiteral("16x12"),
                          QStringLiteral("--gap"),
                          QStringLiteral("3x1"),
                          QStringLiteral("--enhance"),
                          QStringLiteral("1.5"),
                          QStringLiteral("--seed"),
                          QStringLiteral("9"),
                          QStringLiteral("--scanline"),
                          QStringLiteral("--rgb-match"),
                          QStringLiteral("--no-dither"),
                          QStringLiteral("--dither-level"),
                          QStringLiteral("50"),
                          QStringLiteral("--random-level"),
                          QStringLiteral("5"),
                          QStringLiteral("--weight-light"),
                          QStringLiteral("1"),
                          QStringLiteral("--weight-color"),
                          QStringLiteral("2"),
                          QStringLiteral("--use-all"),
                          QStringLiteral("--repeat-min"),
                          QStringLiteral("2"),
                          QStringLiteral("--repeat-max"),
                          QStringLiteral("off"),
                          QStringLiteral("--repeat-radius"),
                          QStringLiteral("off"),
                          QStringLiteral("--bg-main"),
                          QStringLiteral("--grout"),
                          QStringLiteral("00FF00"),
                          QStringLiteral("--color-adjust"),
                          QStringLiteral("0.2"),
                          QStringLiteral("--alpha-blend"),
                          QStringLiteral("0.1"),
                          QStringLiteral("--view"),
                          QStringLiteral("20")});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_FALSE(QImage(dir.file(QStringLiteral("all.tif"))).isNull());

    auto p = vantorel::engine::TMosaicProject::create();
    vantorel::engine::TSearchOpts o{};
    p->LoadProject(QDir(project).filePath(QStringLiteral("Mosaic.Prj")), o);
    EXPECT_EQ(p->cfg.Hcc, 9);
    EXPECT_EQ(p->cfg.Vcc, 7);
    EXPECT_DOUBLE_EQ(p->cfg.CellWdf, 16);
    EXPECT_DOUBLE_EQ(p->cfg.CellHtf, 12);
    EXPECT_DOUBLE_EQ(p->cfg.CellgapwdF, 3);
    EXPECT_DOUBLE_EQ(p->cfg.CellgaphtF, 1);
    EXPECT_DOUBLE_EQ(p->cfg.SrcColorEnhance, 1.5);
    EXPECT_EQ(p->cfg.RootPath.str(), QDir(project).absolutePath());
    EXPECT_TRUE(o.SearchScanline && o.RGBMatch && o.UseAll && o.RepeatMinOn && o.BgMain);
    EXPECT_FALSE(o.Dither || o.RepeatMaxOn || o.RepeatRadiusOn);
    EXPECT_FLOAT_EQ(o.DitherLevel, 0.5f);
    EXPECT_EQ(o.RandomLevel, 5);
    EXPECT_FLOAT_EQ(o.WeightL, 1.0f);
    EXPECT_FLOAT_EQ(o.WeightC, 2.0f);
    EXPECT_EQ(o.GroutColor, 0xFF00FF00u);
    EXPECT_DOUBLE_EQ(o.ColorAdjust, 0.2);
    EXPECT_DOUBLE_EQ(o.AlphaBlend, 0.1);
}

// Without --main and --lib a newcomer's run takes an embedded sample picture and the
// sample library, installed on first use; stock patterns are found by name.
TEST(MakeDefaults, SampleContentWhenNoImageOrLibraryIsGiven) {
    ScratchDir home;
    const QString out = home.file(QStringLiteral("sample.png"));
    const QStringList small = {QStringLiteral("--tiles"),     QStringLiteral("12x9"),
                               QStringLiteral("--tile-size"), QStringLiteral("20x20"),
                               QStringLiteral("--seed"),      QStringLiteral("1"),
                               QStringLiteral("--out"),       out};
    const CliRun r =
        cli(QStringList{QStringLiteral("make"), QStringLiteral("--sample"), QStringLiteral("2"),
                        QStringLiteral("--pattern"), QStringLiteral("60_hexagon")} +
                small,
            home.path());
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    const QImage picture(out);
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 12 * 19);
    const QString library =
        home.file(QStringLiteral("Documents/Vantorel_S/Tilelibs/DefaultSample"));
    EXPECT_TRUE(vantorel::tilelib::IsTileLibFolder(library));
    EXPECT_TRUE(r.out.contains(QLatin1String("distinct tiles"))) << qPrintable(r.out);

    struct Case {
        const char* name;
        QStringList args;
        const char* says;
    } cases[] = {
        {"unknown stock pattern",
         {QStringLiteral("--pattern"), QStringLiteral("99_none")},
         "stock pattern"},
        {"sample out of range", {QStringLiteral("--sample"), QStringLiteral("4")}, "1, 2 or 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun bad = cli(QStringList{QStringLiteral("make")} + c.args + small, home.path());
        EXPECT_NE(bad.status, 0);
        const QStringList errors = errorLines(bad);
        ASSERT_EQ(errors.size(), 1) << qPrintable(bad.err);
        EXPECT_TRUE(errors[0].contains(QLatin1String(c.says))) << qPrintable(errors[0]);
    }
}
