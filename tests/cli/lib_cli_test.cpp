// vantorel-cli lib-create, lib-add and lib-info, run as a user would run them.
#include "cli_runner.h"
#include "test_support.h"
#include "tilelib/tile_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using vantorel::test::gradientImage;
using vantorel::test::ScratchDir;
using vantorel::test::solidImage;

using vantorel::test::cli;
using vantorel::test::CliRun;
using vantorel::test::errorLines;
using vantorel::test::lines;

TEST(LibCli, CreateAddAndInfo) {
    ScratchDir dir;
    const QString lib = dir.file(QStringLiteral("libs/Colours"));
    CliRun r = cli({QStringLiteral("lib-create"), lib, QStringLiteral("--name"),
                    QStringLiteral("Colours"), QStringLiteral("--tile"), QStringLiteral("40x30"),
                    QStringLiteral("--dpi"), QStringLiteral("100")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo(lib + QStringLiteral("/source")).isDir());
    EXPECT_TRUE(QFileInfo(lib + QStringLiteral("/ready")).isDir());
    EXPECT_EQ(QFileInfo(lib + QStringLiteral("/imagelib.dat")).size(),
              qint64(vantorel::tilelib::kTileLibFileSize));
    EXPECT_EQ(QImage(lib + QStringLiteral("/preview.jpg")).size(), QSize(512, 512));

    // A folder of photos (sorted, letter case of the suffix ignored, other files left out),
    // one photo given directly, one broken photo.
    const QString photos = dir.file(QStringLiteral("photos"));
    QDir().mkpath(photos);
    ASSERT_TRUE(solidImage(80, 60, 0x0000FF).save(photos + QStringLiteral("/b.PNG"), "png"));
    ASSERT_TRUE(solidImage(60, 80, 0xFF0000).save(photos + QStringLiteral("/a.jpg")));
    ASSERT_TRUE(gradientImage(50, 50).save(photos + QStringLiteral("/c.bmp")));
    QFile notes(photos + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.close();
    QFile broken(photos + QStringLiteral("/d.jpeg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    const QString single = dir.file(QStringLiteral("green.tif"));
    ASSERT_TRUE(solidImage(40, 30, 0x00FF00).save(single));

    r = cli({QStringLiteral("lib-add"), lib, photos, single});
    EXPECT_NE(r.status, 0); // the broken photo
    const QStringList errors = errorLines(r);
    ASSERT_EQ(errors.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(errors[0].contains(QLatin1String("d.jpeg"))) << errors[0].toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("[1/5] a.jpg")));
    EXPECT_TRUE(r.err.contains(QLatin1String("[5/5] green.tif")));
    EXPECT_FALSE(QFileInfo::exists(lib + QStringLiteral("/source/d.jpeg")));
    EXPECT_TRUE(QFileInfo(lib + QStringLiteral("/ready/green.tif")).isFile());
    EXPECT_NE(QImage(lib + QStringLiteral("/preview.jpg")).size(), QSize(512, 512));

    r = cli({QStringLiteral("lib-info"), lib});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList out = lines(r.out);
    EXPECT_TRUE(out.contains(QStringLiteral("name: Colours")));
    EXPECT_TRUE(out.contains(QStringLiteral("tile size: 40 x 30 px")));
    EXPECT_TRUE(out.contains(QStringLiteral("count: 4")));
    ASSERT_GE(out.size(), 4);
    const QStringList tiles = out.mid(out.size() - 4);
    ASSERT_EQ(tiles.size(), 4);
    EXPECT_TRUE(tiles[0].startsWith(QLatin1String("0 a.jpg "))) << tiles[0].toStdString();
    EXPECT_EQ(tiles[1].toStdString(), "1 b.PNG 0 0 255");
    EXPECT_TRUE(tiles[2].startsWith(QLatin1String("2 c.bmp ")));
    EXPECT_EQ(tiles[3].toStdString(), "3 green.tif 0 255 0");
    const QStringList red = tiles[0].split(QLatin1Char(' '));
    ASSERT_EQ(red.size(), 5);
    EXPECT_GE(red[2].toInt(), 240);
    EXPECT_LE(red[3].toInt(), 15);

    // Adding the same photos again skips every one and changes nothing.
    const QByteArray before = vantorel::test::readAll(lib + QStringLiteral("/imagelib.dat"));
    ASSERT_FALSE(before.isEmpty());
    r = cli({QStringLiteral("lib-add"), lib, single, photos + QStringLiteral("/a.jpg")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1String("already in the library")), 2);
    EXPECT_EQ(vantorel::test::readAll(lib + QStringLiteral("/imagelib.dat")), before);
}

TEST(LibCli, CreateRefusesBadRequests) {
    ScratchDir dir;
    QDir().mkpath(dir.file(QStringLiteral("full/x")));
    struct Case {
        const char* what;
        QStringList args;
        QString message;
    };
    const Case cases[] = {
        {"non-empty folder",
         {QStringLiteral("lib-create"), dir.file(QStringLiteral("full")), QStringLiteral("--name"),
          QStringLiteral("L")},
         QStringLiteral("error: The folder is not empty, Please select an empty folder")},
        {"no name",
         {QStringLiteral("lib-create"), dir.file(QStringLiteral("new"))},
         QStringLiteral("error: Please give your image lib a NAME!")},
        {"zero width",
         {QStringLiteral("lib-create"), dir.file(QStringLiteral("new")), QStringLiteral("--name"),
          QStringLiteral("L"), QStringLiteral("--tile"), QStringLiteral("0x40")},
         QStringLiteral("error: --tile: width and height must be whole numbers from 1 to 800")},
        {"malformed tile",
         {QStringLiteral("lib-create"), dir.file(QStringLiteral("new")), QStringLiteral("--name"),
          QStringLiteral("L"), QStringLiteral("--tile"), QStringLiteral("40")},
         QStringLiteral("error: --tile expects WxH, got \"40\"")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = cli(c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.err.trimmed().toStdString(), c.message.toStdString());
    }
    EXPECT_EQ(
        QDir(dir.file(QStringLiteral("full"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("x")});
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("new"))));
}

TEST(LibCli, ReportsFoldersThatAreNoUsableLibrary) {
    ScratchDir dir;
    QDir().mkpath(dir.file(QStringLiteral("plain")));
    QDir().mkpath(dir.file(QStringLiteral("damaged")));
    QFile damaged(dir.file(QStringLiteral("damaged/imagelib.dat")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    QByteArray bytes(796, '\0');
    bytes += QByteArray("\xFF\xFF\xFF\x7F", 4); // a count far beyond the slots
    damaged.write(bytes);
    damaged.close();
    struct Case {
        const char* folder;
        const char* needle;
    };
    for (const Case& c : {Case{"missing", "does not exist"}, Case{"plain", "not a tile library"},
                          Case{"damaged", "damaged"}}) {
        for (const char* command : {"lib-info", "lib-add"}) {
            SCOPED_TRACE(testing::Message() << command << " " << c.folder);
            QStringList args{QLatin1String(command), dir.file(QLatin1String(c.folder))};
            if (QLatin1String(command) == QLatin1String("lib-add")) args << dir.path();
            const CliRun r = cli(args);
            EXPECT_NE(r.status, 0);
            const QStringList err = lines(r.err);
            ASSERT_EQ(err.size(), 1) << r.err.toStdString();
            EXPECT_TRUE(err[0].startsWith(QLatin1String("error: ")));
            EXPECT_TRUE(err[0].contains(QLatin1String(c.needle))) << err[0].toStdString();
            EXPECT_TRUE(r.out.isEmpty());
        }
    }
}
