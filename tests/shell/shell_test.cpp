// Data folders and the first-start installation of the embedded sample content.
#include "imaging/mosaic_pattern.h"
#include "imaging/program_random.h"
#include "resources/embedded_content.h"
#include "shell/app_folders.h"
#include "shell/install_content.h"
#include "test_support.h"
#include "tilelib/tile_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

#include <cmath>

using namespace vantorel;
using namespace vantorel::shell;
using test::readAll;
using test::ScratchDir;
using test::writeAll;

namespace {

struct StockRow {
    const char* name;
    int horz, vert;
    float hscale, vscale;
    int shape00;    // shape of entry [0][0]
    int row1, col1; // the second entry of the group, (-1, -1) when there is none
    int shape1;
    double scaleX1, scaleY1, offsetX1, offsetY1;
};

const StockRow kStock[] = {
    {"10_Rectangle", 1, 1, 1, 1, 1, -1, -1, 0, 0, 0, 0, 0},
    {"10_Rectangle_11", 2, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0, 0.5},
    {"10_Rectangle_12", 3, 1, 1, 1, 1, 0, 2, 1, 1, 1, 0, 0.6666},
    {"10_Rectangle_21", 1, 2, 1, 1, 1, 1, 0, 1, 1, 1, 0.5, 0},
    {"10_Rectangle_22", 1, 3, 1, 1, 1, 2, 0, 1, 1, 1, 0.6666, 0},
    {"20_Ellipse", 1, 1, 1, 1, 20, -1, -1, 0, 0, 0, 0, 0},
    {"20_Ellipse_11", 2, 1, 1, 1, 20, 0, 1, 20, 1, 1, 0, 0.5},
    {"20_Ellipse_12", 2, 1, 0.88f, 1, 20, 0, 1, 20, double(0.88f), 1, 0, 0.5},
    {"20_Ellipse_21", 1, 2, 1, 1, 20, 1, 0, 20, 1, 1, 0.5, 0},
    {"20_Ellipse_22", 1, 2, 1, 0.88f, 20, 1, 0, 20, 1, double(0.88f), 0.5, 0},
    {"30_triangle_1", 1, 1, 1, 1, 30, -1, -1, 0, 0, 0, 0, 0},
    {"30_triangle_2", 2, 1, 0.5f, 1, 30, 0, 1, 32, 0.5, 1, 0, 0},
    {"40_rhombus", 1, 1, 1, 1, 40, -1, -1, 0, 0, 0, 0, 0},
    {"40_rhombus_2", 2, 1, 0.5f, 1, 40, 0, 1, 40, 0.5, 1, 0, 0.5},
    {"60_hexagon", 1, 2, 1, 0.75f, 60, 1, 0, 60, 1, 0.75, 0.5, 0},
    {"61_hexagon", 2, 1, 0.75f, 1, 61, 0, 1, 61, 0.75, 1, 0, 0.5},
};

bool sameCell(const imaging::TPatternCell& a, const imaging::TPatternCell& b) {
    return a.shape == b.shape && a.angle == b.angle && a.scaleX == b.scaleX &&
           a.scaleY == b.scaleY && a.offsetX == b.offsetX && a.offsetY == b.offsetY;
}

// A user account in a scratch folder: documents in docs/, the program in app/.
struct Account {
    ScratchDir dir;
    AppFolders folders = computeAppFolders(dir.file("app"), dir.file("docs"));
    workflow::UnzipDisplay display;
    InstallResult start() { return installForStart(folders, display); }
    QString pattern(const QString& name) const {
        return folders.UserPatternFolder + QLatin1Char('/') + name;
    }
};

} // namespace

TEST(AppFolders, LaidOutFromProgramAndDocumentsFolder) {
    const AppFolders f =
        computeAppFolders(QStringLiteral("/opt/vantorel/bin"), QStringLiteral("/home/u/Documents"));
    EXPECT_EQ(f.AppFolder, QStringLiteral("/opt/vantorel/bin/"));
    EXPECT_EQ(f.AppDataFolder, QStringLiteral("/opt/vantorel/bin/Data"));
    EXPECT_EQ(f.AppTilelibFolder, QStringLiteral("/opt/vantorel/bin/Data/Tilelibs"));
    EXPECT_EQ(f.AppPatternFolder, QStringLiteral("/opt/vantorel/bin/Data/Patterns"));
    EXPECT_EQ(f.UserFolder, QStringLiteral("/home/u/Documents/Vantorel_S"));
    EXPECT_EQ(f.UserTilelibFolder, QStringLiteral("/home/u/Documents/Vantorel_S/Tilelibs"));
    EXPECT_EQ(f.UserPatternFolder, QStringLiteral("/home/u/Documents/Vantorel_S/Patterns"));
    EXPECT_EQ(f.ProjectsFolder, QStringLiteral("/home/u/Documents/Vantorel_S/Projects"));
    EXPECT_EQ(f.DLCFolder, QStringLiteral("/home/u/Documents/Vantorel_S/DLCs"));
    // A relative documents folder still gives absolute project folders.
    const AppFolders r = computeAppFolders(QStringLiteral("/opt/x/"), QStringLiteral("docs"));
    EXPECT_EQ(r.AppFolder, QStringLiteral("/opt/x/"));
    EXPECT_TRUE(QFileInfo(r.ProjectsFolder).isAbsolute());
    EXPECT_TRUE(QFileInfo(r.DLCFolder).isAbsolute());
}

TEST(AppFolders, CreatesUserFoldersAndSkipsOnesThatCannotBeMade) {
    ScratchDir dir;
    const AppFolders f = computeAppFolders(dir.file("app"), dir.file("a/b/docs"));
    createUserFolders(f);
    for (const QString& p :
         {f.UserFolder, f.UserTilelibFolder, f.UserPatternFolder, f.ProjectsFolder, f.DLCFolder})
        EXPECT_TRUE(QFileInfo(p).isDir()) << p.toStdString();
    EXPECT_FALSE(QFileInfo::exists(f.AppDataFolder)); // the program's folders are only read

    // "Vantorel_S" is a file: nothing can be created below it, and nothing fails.
    ScratchDir blocked;
    writeAll(blocked.file("Vantorel_S"), "not a folder");
    const AppFolders b = computeAppFolders(blocked.file("app"), blocked.path());
    EXPECT_NO_THROW(createUserFolders(b));
    EXPECT_FALSE(QFileInfo::exists(b.UserTilelibFolder));
    EXPECT_EQ(readAll(blocked.file("Vantorel_S")), QByteArray("not a folder"));
}

TEST(InstallContent, FreshAccountGetsLibraryAndStockPatterns) {
    Account acc;
    QStringList titles; // the title line whenever the window repaints, once per change
    acc.display.processEvents = [&](const workflow::UnzipDisplay& d) {
        if (titles.isEmpty() || titles.last() != d.Label_file) titles << d.Label_file;
    };
    const InstallResult result = acc.start();
    EXPECT_EQ(titles, QStringList({"Default Img", "Pattern"}));
    EXPECT_TRUE(result.libraryExtracted);
    EXPECT_TRUE(result.patternsExtracted);
    const AppFolders& f = acc.folders;
    for (const QString& p :
         {f.UserFolder, f.UserTilelibFolder, f.UserPatternFolder, f.ProjectsFolder, f.DLCFolder})
        EXPECT_TRUE(QFileInfo(p).isDir()) << p.toStdString();
    EXPECT_EQ(readAll(f.UserTilelibFolder + "/DefaultSample.zip"),
              resources::embeddedBlock("Resource_1"));
    EXPECT_EQ(readAll(f.UserFolder + "/Patterns.zip"), resources::embeddedBlock("Resource_2"));
    EXPECT_EQ(acc.display.Label_file, QStringLiteral("Pattern"));
    EXPECT_EQ(acc.display.lb_progress, QStringLiteral("-/-"));
    EXPECT_EQ(acc.display.ProgressBar1, 0);
    EXPECT_EQ(acc.display.Unzip_TotalCount, 32);

    // The sample library: a complete folder whose tiles all exist at the library's size.
    const QString libDir = sampleLibraryFolder(f);
    EXPECT_EQ(QDir(libDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"imagelib.dat", "preview.jpg", "ready", "source"}));
    EXPECT_EQ(QFileInfo(libDir + "/imagelib.dat").size(), qint64(tilelib::kTileLibFileSize));
    auto lib = tilelib::TTilelib::create();
    lib->LoadTilelib(libDir + "/imagelib.dat");
    EXPECT_GE(lib->Count, 131);
    EXPECT_EQ(lib->cfg.name.str(), QStringLiteral("DefaultSample"));
    EXPECT_EQ(QDir::cleanPath(lib->rootPath()), QDir::cleanPath(libDir));
    EXPECT_EQ(QDir(libDir + "/ready").count() - 2, uint(lib->Count));
    QSet<QString> names;
    for (int i = 0; i < lib->Count; ++i) {
        SCOPED_TRACE(i);
        const QImage ready(lib->GetFullName(i));
        ASSERT_FALSE(ready.isNull());
        EXPECT_EQ(ready.size(), QSize(lib->cfg.widthPx, lib->cfg.heightPx));
        EXPECT_TRUE(QFileInfo(lib->GetsourceName(i)).isFile());
        names.insert(lib->items[i].FileName.str());
    }
    EXPECT_EQ(names.size(), lib->Count);
    EXPECT_EQ(QImage(libDir + "/preview.jpg").size(), QSize(1000, 1000));

    // The sixteen stock patterns, byte-exact records of the table, each with a preview.
    const imaging::TPatternCell dflt = imaging::PatternCell_Default();
    for (const StockRow& row : kStock) {
        SCOPED_TRACE(row.name);
        const QString path = acc.pattern(QString::fromLatin1(row.name) + ".pat");
        ASSERT_EQ(QFileInfo(path).size(), 2832);
        const imaging::TpatternCfg p = imaging::Pattern_LoadFile(path);
        EXPECT_EQ(p.Name.len, 0);
        EXPECT_EQ(p.HorzGroupCount, row.horz);
        EXPECT_EQ(p.VertGroupCount, row.vert);
        EXPECT_EQ(p.Hscale, row.hscale);
        EXPECT_EQ(p.Vscale, row.vscale);
        EXPECT_EQ(p.CellGroup[0][0].shape, row.shape00);
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 8; ++c) {
                const imaging::TPatternCell& e = p.CellGroup[r][c];
                EXPECT_EQ(e.angle, 0.0f);
                if (r == row.row1 && c == row.col1) {
                    EXPECT_EQ(e.shape, row.shape1);
                    EXPECT_EQ(e.scaleX, row.scaleX1);
                    EXPECT_EQ(e.scaleY, row.scaleY1);
                    EXPECT_EQ(e.offsetX, row.offsetX1);
                    EXPECT_EQ(e.offsetY, row.offsetY1);
                } else if (r >= row.vert || c >= row.horz) {
                    EXPECT_TRUE(sameCell(e, dflt)) << r << "," << c;
                }
            }
        }
        const QImage preview(path + ".jpg");
        EXPECT_FALSE(preview.isNull());
    }
    const imaging::TpatternCfg e12 = imaging::Pattern_LoadFile(acc.pattern("20_Ellipse_12.pat"));
    EXPECT_EQ(e12.CellGroup[0][0].scaleX, 0.8799999952316284);
    EXPECT_EQ(QDir(f.UserPatternFolder).entryList(QDir::Files).size(), 32);
}

TEST(InstallContent, LaterStartsRewriteTheZipsAndExtractOnlyWhatIsMissing) {
    Account acc;
    acc.start();
    const AppFolders& f = acc.folders;
    const QString libZip = f.UserTilelibFolder + "/DefaultSample.zip";
    const QString patZip = f.UserFolder + "/Patterns.zip";
    const QString marker = sampleLibraryFolder(f) + "/mine.txt";
    writeAll(libZip, "stale");
    writeAll(patZip, "stale");
    writeAll(marker, "kept");
    writeAll(acc.pattern("10_Rectangle.pat"), "changed by the user");
    writeAll(acc.pattern("my_own.pat"), "user pattern");

    // Second start: both zips are written again, nothing is extracted.
    InstallResult second = acc.start();
    EXPECT_FALSE(second.libraryExtracted);
    EXPECT_FALSE(second.patternsExtracted);
    EXPECT_EQ(readAll(libZip), resources::embeddedBlock("Resource_1"));
    EXPECT_EQ(readAll(patZip), resources::embeddedBlock("Resource_2"));
    EXPECT_EQ(readAll(acc.pattern("10_Rectangle.pat")), QByteArray("changed by the user"));

    // Without the marker pattern the whole pack comes back over changed stock files.
    QFile::remove(acc.pattern("20_Ellipse.pat"));
    InstallResult third = acc.start();
    EXPECT_FALSE(third.libraryExtracted);
    EXPECT_TRUE(third.patternsExtracted);
    EXPECT_TRUE(QFileInfo::exists(acc.pattern("20_Ellipse.pat")));
    EXPECT_EQ(QFileInfo(acc.pattern("10_Rectangle.pat")).size(), 2832);
    EXPECT_EQ(readAll(acc.pattern("my_own.pat")), QByteArray("user pattern"));
    EXPECT_EQ(readAll(marker), QByteArray("kept"));

    // Without the library folder the library comes back.
    ASSERT_TRUE(QDir(sampleLibraryFolder(f)).removeRecursively());
    InstallResult fourth = acc.start();
    EXPECT_TRUE(fourth.libraryExtracted);
    EXPECT_FALSE(fourth.patternsExtracted);
    EXPECT_EQ(QFileInfo(sampleLibraryFolder(f) + "/imagelib.dat").size(),
              qint64(tilelib::kTileLibFileSize));
    EXPECT_FALSE(QFileInfo::exists(marker));
}

TEST(InstallContent, InstalledSampleLibraryInstallsWhenMissing) {
    Account acc;
    const QString lib = installedSampleLibrary(acc.folders);
    EXPECT_EQ(lib, sampleLibraryFolder(acc.folders));
    EXPECT_TRUE(tilelib::IsTileLibFolder(lib));
    EXPECT_EQ(installedSampleLibrary(acc.folders), lib);

    // A folder without its data file is not repaired behind the user's back.
    ASSERT_TRUE(QFile::remove(lib + "/imagelib.dat"));
    EXPECT_THROW(installedSampleLibrary(acc.folders), ContentError);
}

TEST(InstallContent, FindsPatternsBesideTheProgramFirst) {
    Account acc;
    acc.start();
    const AppFolders& f = acc.folders;
    EXPECT_EQ(findPatternFile(f, "60_hexagon"), acc.pattern("60_hexagon.pat"));
    EXPECT_EQ(findPatternFile(f, "60_hexagon.pat"), acc.pattern("60_hexagon.pat"));
    EXPECT_TRUE(findPatternFile(f, "no_such_pattern").isEmpty());
    EXPECT_TRUE(findPatternFile(f, "../Patterns/60_hexagon").isEmpty());
    EXPECT_TRUE(findPatternFile(f, "").isEmpty());
    QDir().mkpath(f.AppPatternFolder);
    writeAll(f.AppPatternFolder + "/60_hexagon.pat",
             imaging::Pattern_ToBytes(imaging::PatternCfg_Make()));
    EXPECT_EQ(findPatternFile(f, "60_hexagon"), f.AppPatternFolder + "/60_hexagon.pat");
}

TEST(EmbeddedContent, SamplePicturesAreRealPhotographs) {
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        const QByteArray bytes = samplePictureBytes(n);
        EXPECT_TRUE(bytes.startsWith("\x89PNG"));
        const QImage image = QImage::fromData(bytes);
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(std::min(image.width(), image.height()), 300);
        EXPECT_LE(std::max(image.width(), image.height()), 1000);
    }
    EXPECT_TRUE(samplePictureBytes(0).isEmpty());
    EXPECT_TRUE(samplePictureBytes(4).isEmpty());
    EXPECT_TRUE(resources::embeddedBlock("no_such_block").isEmpty());

    imaging::seedProgramRandom(1234);
    QSet<int> seen;
    for (int i = 0; i < 200; ++i) {
        const int n = randomSamplePictureNumber();
        ASSERT_GE(n, 1);
        ASSERT_LE(n, 3);
        seen.insert(n);
    }
    EXPECT_EQ(seen.size(), 3);
}

TEST(EmbeddedContent, PatternPackIsReproducible) {
    ScratchDir dir;
    QProcess tool;
    tool.start(QStringLiteral(VANTOREL_PACK_TOOL), {"--patterns-only", "--out", dir.path()});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_EQ(readAll(dir.file("Patterns.zip")), resources::embeddedBlock("Resource_2"));
}
