// Making tiles from photographs, the preview and the new-library functions.
#include "imaging/color_info.h"
#include "imaging/image_func.h"
#include "test_support.h"
#include "tilelib/library_building.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using namespace vantorel::tilelib;
using vantorel::imaging::TRectF;
using vantorel::test::compareImages;
using vantorel::test::gradientImage;
using vantorel::test::ScratchDir;
using vantorel::test::solidImage;

namespace {

// An empty library of tileW x tileH tiles in a fresh folder, without the 66 MB save.
struct LibFixture {
    ScratchDir dir;
    std::unique_ptr<TTilelib> lib = TTilelib::create();

    explicit LibFixture(int tileW, int tileH) {
        QDir(dir.path()).mkpath(QStringLiteral("source"));
        QDir(dir.path()).mkpath(QStringLiteral("ready"));
        lib->emptytilelib();
        lib->cfg.Rootpath.set(dir.path());
        lib->cfg.widthPx = tileW;
        lib->cfg.heightPx = tileH;
    }
    QString photo(const QString& name, const QImage& image) const {
        const QString path = dir.file(QStringLiteral("in-") + name);
        EXPECT_TRUE(image.save(path));
        return path;
    }
    QStringList entries(const char* sub) const {
        return QDir(dir.file(QLatin1String(sub))).entryList(QDir::Files, QDir::Name);
    }
};

// JPEG bytes of image carrying an EXIF Orientation tag (APP1 inserted after SOI/APP0).
QByteArray jpegWithOrientation(const QImage& image, std::uint16_t orientation) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpg", 95);
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff += QByteArray("\x01\0", 2);                   // one IFD entry
    tiff += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8); // Orientation, SHORT, count 1
    tiff += char(orientation & 0xFF);
    tiff += char(orientation >> 8);
    tiff += QByteArray("\0\0\0\0\0\0", 6); // value padding, no next IFD
    QByteArray app1("\xFF\xE1", 2);
    const int length = 2 + 6 + int(tiff.size());
    app1 += char(length >> 8);
    app1 += char(length & 0xFF);
    app1 += QByteArray("Exif\0\0", 6);
    app1 += tiff;
    int at = 2;
    if (std::uint8_t(jpeg[2]) == 0xFF && std::uint8_t(jpeg[3]) == 0xE0)
        at = 4 + (std::uint8_t(jpeg[4]) << 8 | std::uint8_t(jpeg[5]));
    jpeg.insert(at, app1);
    return jpeg;
}

QImage halves(int w, int h, QRgb top, QRgb bottom) {
    QImage img = solidImage(w, h, top);
    for (int y = h / 2; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, bottom);
    return img;
}

// A gradient under a fine pattern, so a blurred tile shows up in a comparison.
QImage texturedImage(int w, int h) {
    QImage img = gradientImage(w, h);
    const double period = w / 50.0; // about 8 pixels of a 400-pixel tile
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int t =
                int(50 * std::sin(6.283185 * x / period) * std::cos(6.283185 * y / period));
            const auto ch = [t](int v) { return std::clamp(v / 2 + 64 + t, 0, 255); };
            line[x] = qRgb(ch(qRed(line[x])), ch(qGreen(line[x])), ch(qBlue(line[x])));
        }
    }
    return img;
}

int channelDiff(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

TEST(AddImgFile2, CutsTheCentredSquareAndStoresEverything) {
    LibFixture f(66, 66);
    // 200 x 150 with 25-column red bands either side of a green square.
    QImage photo = solidImage(200, 150, 0x00C000);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 25; ++x) {
            photo.setPixel(x, y, 0xFFFF0000u);
            photo.setPixel(199 - x, y, 0xFFFF0000u);
        }
    const QString path = f.photo(QStringLiteral("square.png"), photo);

    ASSERT_TRUE(f.lib->AddImgFile2(path));
    ASSERT_EQ(f.lib->Count, 1);
    const TTileItem& item = f.lib->items[0];
    EXPECT_EQ(item.FileName.str(), QStringLiteral("in-square.png"));
    EXPECT_EQ(vantorel::test::readAll(f.lib->GetsourceName(0)), vantorel::test::readAll(path));
    const QImage ready(f.lib->GetFullName(0));
    ASSERT_EQ(ready.size(), QSize(66, 66));
    // The scaler's filter may reach half a source pixel past the cut at the very edge.
    EXPECT_LE(compareImages(ready.copy(1, 0, 64, 66), solidImage(64, 66, 0x00C000), 2,
                            QStringLiteral("crop")),
              2);
    EXPECT_LE(item.ICinfo.ci1.rgba.r, 4);
    EXPECT_GE(item.ICinfo.ci1.rgba.g, 0xBC);
    EXPECT_EQ(item.usecount, 0);
    EXPECT_EQ(f.lib->ItemEnable[0], 0);
}

TEST(AddImgFile2, PhotoOfTheTileSizeIsNotCropped) {
    LibFixture f(66, 44);
    const QImage photo = gradientImage(66, 44);
    ASSERT_TRUE(f.lib->AddImgFile2(f.photo(QStringLiteral("exact.png"), photo)));
    EXPECT_LE(compareImages(QImage(f.lib->GetFullName(0)), photo, 1, QStringLiteral("exact")), 1);
}

TEST(AddImgFile2, TwelveRotationDescriptions) {
    LibFixture f(66, 66);
    ASSERT_TRUE(f.lib->AddImgFile2(f.photo(QStringLiteral("g.png"), gradientImage(66, 66))));
    const TTileItem& item = f.lib->items[0];
    EXPECT_EQ(std::memcmp(&item.ICinfoRot[0], &item.ICinfo, sizeof item.ICinfo), 0);

    // Entry 1 describes the 90 x 90 bitmap of the tile turned by 30 degrees.
    const QImage tile = makeTile(QImage(f.dir.file(QStringLiteral("in-g.png"))), 66, 66);
    QImage turned = tile;
    vantorel::imaging::Bitmap_Rotate(turned, 30);
    ASSERT_EQ(turned.size(), QSize(90, 90));
    TimgColorInfo expected;
    vantorel::imaging::GetColorInfo(turned, TRectF{0, 0, 90, 90}, expected);
    EXPECT_EQ(std::memcmp(&item.ICinfoRot[1], &expected, sizeof expected), 0);
    const auto corner = item.ICinfoRot[1].ci64[0].rgba;
    EXPECT_LT(corner.r + corner.g + corner.b, 60); // mostly black corner

    // Entry 6 is the tile upside down: its first zone is the tile's last.
    const auto a = item.ICinfoRot[6].ci64[0].rgba;
    const auto b = item.ICinfo.ci64[63].rgba;
    EXPECT_LE(std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b), 6);
}

TEST(AddImgFile2, RefusesTheTwoThousandthPhoto) {
    LibFixture f(20, 20);
    const QString path = f.photo(QStringLiteral("p.png"), gradientImage(40, 30));
    f.lib->Count = kMaxAddedTiles - 1;
    ASSERT_TRUE(f.lib->AddImgFile2(path)); // the 1999th
    EXPECT_EQ(f.lib->Count, kMaxAddedTiles);
    QFile::remove(f.lib->GetFullName(kMaxAddedTiles - 1));
    QFile::remove(f.lib->GetsourceName(kMaxAddedTiles - 1));
    f.lib->items[kMaxAddedTiles].FileName.set(QStringLiteral("untouched"));

    EXPECT_FALSE(f.lib->AddImgFile2(path));
    EXPECT_EQ(f.lib->Count, kMaxAddedTiles);
    EXPECT_EQ(f.lib->items[kMaxAddedTiles].FileName.str(), QStringLiteral("untouched"));
    EXPECT_TRUE(f.entries("source").isEmpty());
    EXPECT_TRUE(f.entries("ready").isEmpty());
}

TEST(AddImgFile2, UnreadablePhotoThrowsNamingItAndLeavesNothing) {
    LibFixture f(20, 20);
    const QString broken = f.dir.file(QStringLiteral("broken.jpg"));
    {
        QFile out(broken);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("this is not a picture at all");
    }
    try {
        f.lib->AddImgFile2(broken);
        ADD_FAILURE() << "no error for an unreadable photo";
    } catch (const TileLibError& e) {
        EXPECT_NE(std::string(e.what()).find("broken.jpg"), std::string::npos) << e.what();
    }
    EXPECT_THROW(f.lib->AddImgFile2(f.dir.file(QStringLiteral("missing.png"))), TileLibError);
    EXPECT_EQ(f.lib->Count, 0);
    EXPECT_TRUE(f.entries("source").isEmpty());
    EXPECT_TRUE(f.entries("ready").isEmpty());
}

TEST(AddImgFile2, RefusesAnEmptyTileSize) {
    for (const QSize& size : {QSize(0, 66), QSize(66, 0)}) {
        LibFixture f(size.width(), size.height());
        const QString path = f.photo(QStringLiteral("p.png"), gradientImage(40, 30));
        EXPECT_THROW(f.lib->AddImgFile2(path), TileLibError);
        EXPECT_EQ(f.lib->Count, 0);
        EXPECT_TRUE(f.entries("source").isEmpty());
    }
}

TEST(AddImgFile2, NameOutsideTheCodePageIsStoredAndUsedConsistently) {
    LibFixture f(16, 16);
    const QString first = f.photo(QStringLiteral("фото.png"), solidImage(20, 20, 0xFF0000));
    const QString second = f.photo(QStringLiteral("дом_.png"), solidImage(20, 20, 0x0000FF));
    ASSERT_TRUE(f.lib->AddImgFile2(first));
    ASSERT_TRUE(f.lib->AddImgFile2(second)); // the same stored form: gets a name of its own
    EXPECT_EQ(f.lib->items[0].FileName.str(), QStringLiteral("in-____.png"));
    EXPECT_EQ(f.lib->items[1].FileName.str(), QStringLiteral("in-____~2.png"));
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(QFileInfo(f.lib->GetFullName(i)).isFile()) << i;
        EXPECT_TRUE(QFileInfo(f.lib->GetsourceName(i)).isFile()) << i;
    }
    EXPECT_EQ(QImage(f.lib->GetFullName(0)).pixel(8, 8), 0xFFFF0000u);
    EXPECT_EQ(QImage(f.lib->GetFullName(1)).pixel(8, 8), 0xFF0000FFu);
    EXPECT_TRUE(f.lib->ImgFileExists(QStringLiteral("in-фото.png")));
}

TEST(AddImgFile2, AddingAPhotoFromItsOwnSourceFolderKeepsIt) {
    LibFixture f(16, 16);
    const QString path = f.photo(QStringLiteral("p.png"), gradientImage(30, 20));
    ASSERT_TRUE(f.lib->AddImgFile2(path));
    const QByteArray bytes = vantorel::test::readAll(f.lib->GetsourceName(0));
    ASSERT_TRUE(f.lib->AddImgFile2(f.lib->GetsourceName(0)));
    EXPECT_EQ(vantorel::test::readAll(f.lib->GetsourceName(0)), bytes);
}

// A 1 x 1 GIF of one colour; the platform reads GIF but cannot write it.
QByteArray onePixelGif(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const unsigned char bytes[] = {
        'G', 'I', 'F', '8', '9', 'a',  1, 0, 1, 0, 0x80, 0, 0, r, g, b, 0, 0,    0, 0x21, 0xF9, 4,
        0,   0,   0,   0,   0,   0x2C, 0, 0, 0, 0, 1,    0, 1, 0, 0, 2, 2, 0x44, 1, 0,    0x3B};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST(AddImgFile2, FailedSaveKeepsTheFilesOfATileWithTheSameName) {
    // A library made elsewhere may hold a GIF tile; adding a photo of the same name that
    // cannot be saved must leave that tile's files alone.
    LibFixture f(16, 16);
    const QByteArray old = onePixelGif(0xFF, 0, 0);
    for (const char* sub : {"source", "ready"}) {
        QFile out(f.dir.file(QLatin1String(sub) + QStringLiteral("/in-p.gif")));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(old);
    }
    f.lib->items[0].FileName.set(QStringLiteral("in-p.gif"));
    f.lib->Count = 1;
    const QString photo = f.dir.file(QStringLiteral("in-p.gif"));
    {
        QFile out(photo);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(onePixelGif(0, 0, 0xFF));
    }
    ASSERT_FALSE(QImage(photo).isNull());
    EXPECT_THROW(f.lib->AddImgFile2(photo), TileLibError);
    EXPECT_EQ(f.lib->Count, 1);
    EXPECT_EQ(vantorel::test::readAll(f.lib->GetsourceName(0)), old);
    EXPECT_EQ(vantorel::test::readAll(f.lib->GetFullName(0)), old);
    EXPECT_EQ(f.entries("source"), QStringList{QStringLiteral("in-p.gif")});
    EXPECT_EQ(f.entries("ready"), QStringList{QStringLiteral("in-p.gif")});
}

TEST(LoadPhotoForTile, AppliesTheExifOrientation) {
    ScratchDir dir;
    // Orientation 6: turn clockwise, so the top half ends up on the right.
    const QString path = dir.file(QStringLiteral("phone.jpg"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(jpegWithOrientation(halves(80, 40, 0xFF0000, 0x0000FF), 6));
    out.close();
    for (bool reduced : {false, true}) {
        SCOPED_TRACE(reduced);
        const QImage photo = loadPhotoForTile(path, 10, 10, reduced);
        EXPECT_EQ(photo.size(), reduced ? QSize(10, 20) : QSize(40, 80));
        const QImage tile = makeTile(photo, 10, 10);
        EXPECT_LE(channelDiff(tile.pixel(1, 5), 0xFF0000FFu), 40);
        EXPECT_LE(channelDiff(tile.pixel(8, 5), 0xFFFF0000u), 40);
    }
}

TEST(LoadPhotoForTile, ReducedJpegDecodeStillCoversTheTile) {
    struct Case {
        QSize photo, tile, decoded;
    };
    const Case cases[] = {
        {{3000, 2000}, {400, 400}, {750, 500}},     // room 5: quarter scale
        {{3000, 2000}, {1000, 1000}, {1500, 1000}}, // room 2: half
        {{3000, 2000}, {200, 300}, {750, 500}},     // room 6.67: quarter
        {{3000, 2000}, {100, 100}, {375, 250}},     // room 20: eighth at most
        {{801, 601}, {400, 400}, {801, 601}},       // room 1.5: full size
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.photo.width() << "x" << c.photo.height() << " -> "
                                        << c.tile.width() << "x" << c.tile.height());
        const QString path = dir.file(QStringLiteral("big.jpg"));
        ASSERT_TRUE(texturedImage(c.photo.width(), c.photo.height()).save(path, "jpg", 95));
        const QImage reduced = loadPhotoForTile(path, c.tile.width(), c.tile.height());
        EXPECT_EQ(reduced.size(), c.decoded);
        const QImage full = loadPhotoForTile(path, c.tile.width(), c.tile.height(), false);
        EXPECT_EQ(full.size(), c.photo);
        const QImage a = makeTile(reduced, c.tile.width(), c.tile.height());
        const QImage b = makeTile(full, c.tile.width(), c.tile.height());
        EXPECT_EQ(a.size(), c.tile);
        EXPECT_LE(compareImages(a, b, 4, QStringLiteral("reduced-decode")), 4);
        int lo = 255, hi = 0; // the pattern survives: the comparison is not between two blurs
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                lo = std::min(lo, qGreen(a.pixel(x, y)));
                hi = std::max(hi, qGreen(a.pixel(x, y)));
            }
        EXPECT_GT(hi - lo, 160);
    }
}

TEST(BuildPreview, SevenTilesFillTheStartOfTheFirstRow) {
    LibFixture f(30, 20);
    const QRgb colours[7] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x000000};
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(f.lib->AddImgFile2(
            f.photo(QStringLiteral("%1.png").arg(i), solidImage(60, 40, colours[i]))));
    f.lib->BuildPreview();
    const QImage preview(PreviewFileName(f.dir.path()));
    ASSERT_EQ(preview.size(), QSize(1000, 1000));
    for (int c = 0; c < 10; ++c) {
        SCOPED_TRACE(c);
        const QRgb expected = c < 7 ? 0xFF000000u | colours[c] : 0xFFFFFFFFu;
        EXPECT_LE(channelDiff(preview.pixel(c * 100 + 50, 50), expected), 24);
        // 30 x 20 fitted into 90 x 90 is a 90 x 60 band: white above it.
        EXPECT_LE(channelDiff(preview.pixel(c * 100 + 50, 12), 0xFFFFFFFFu), 24);
        EXPECT_LE(channelDiff(preview.pixel(c * 100 + 50, 150), 0xFFFFFFFFu), 24);
    }
}

TEST(NewLibrary, ChecksInTheWindowsOrder) {
    ScratchDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("empty"));
    QDir(dir.path()).mkpath(QStringLiteral("full/x"));
    QFile hidden(dir.file(QStringLiteral("hidden/.keep")));
    QDir(dir.path()).mkpath(QStringLiteral("hidden"));
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.close();
    struct Case {
        QString name, folder;
        NewLibCheck check;
        QString message;
    };
    const Case cases[] = {
        {"", "", NewLibCheck::NoName, "Please give your image lib a NAME!"},
        {"", dir.file("empty"), NewLibCheck::NoName, "Please give your image lib a NAME!"},
        {"Lib", "", NewLibCheck::NoFolder, "Please select a folder to store your image lib!"},
        {"Lib", dir.file("full"), NewLibCheck::FolderNotEmpty,
         "The folder is not empty, Please select an empty folder"},
        {"Lib", dir.file("hidden"), NewLibCheck::FolderNotEmpty,
         "The folder is not empty, Please select an empty folder"},
        {"Lib", dir.file("new/deeper"), NewLibCheck::FolderMissing,
         "The folder does not exists, create?"},
        {"Lib", dir.file("empty"), NewLibCheck::CreateInExisting, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        const NewLibCheck got = checkNewLibrary(c.name, c.folder);
        EXPECT_EQ(got, c.check);
        EXPECT_EQ(newLibraryMessage(got), c.message);
    }
}

TEST(NewLibrary, SizeReadout) {
    QLocale::setDefault(QLocale::c());
    struct Case {
        double w, h, dpi;
        int widthPx, heightPx;
        const char* text;
    };
    const Case cases[] = {
        {400, 400, 200, 400, 400, "Printed Cell Size :2.00 x 2.00 Inch  or  50.80 x 50.80 mm"},
        {66.9, 33.2, 96, 66, 33, "Printed Cell Size :0.69 x 0.34 Inch  or  17.46 x 8.73 mm"},
        {800, 1, 600, 800, 1, "Printed Cell Size :1.33 x 0.00 Inch  or  33.87 x 0.04 mm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TtileLibCfg cfg = DefaultTileLibCfg();
        EXPECT_EQ(applySizeReadout(cfg, c.w, c.h, c.dpi), QString::fromLatin1(c.text));
        EXPECT_EQ(cfg.widthPx, c.widthPx);
        EXPECT_EQ(cfg.heightPx, c.heightPx);
        EXPECT_EQ(cfg.SizeUnit, 1);
        EXPECT_FLOAT_EQ(cfg.DPI, float(c.dpi));
        EXPECT_FLOAT_EQ(cfg.Widthf, float(c.widthPx / c.dpi));
    }
    QLocale::setDefault(QLocale::system());
}

TEST(NewLibrary, FolderSuggestionCarriesTheDateWithoutLeadingZeros) {
    const QDateTime when(QDate(2019, 4, 26), QTime(1, 24, 2));
    EXPECT_EQ(suggestLibraryFolder(QStringLiteral("/docs/Vantorel_S/Tilelibs"),
                                   QStringLiteral("Flowers"), when),
              QStringLiteral("/docs/Vantorel_S/Tilelibs/Flowers2019-4-26-1-24-2"));
}

TEST(NewLibrary, CreatesAnEmptyLibrary) {
    ScratchDir dir;
    const QString folder = dir.file(QStringLiteral("Flowers/lib"));
    auto lib = TTilelib::create();
    lib->Count = 12;
    createTileLibrary(*lib, folder, QStringLiteral("Flowers"), 120, 80, 200);
    EXPECT_EQ(lib->Count, 0);
    EXPECT_EQ(lib->rootPath(), QDir::toNativeSeparators(folder));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/source")).isDir());
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/ready")).isDir());
    EXPECT_EQ(QFileInfo(ImgLibFileName(folder)).size(), qint64(kTileLibFileSize));
    EXPECT_EQ(QImage(PreviewFileName(folder)).size(), QSize(512, 512));
    const TtileLibCfg cfg = ReadTileLibCfg(ImgLibFileName(folder));
    EXPECT_EQ(cfg.name.str(), QStringLiteral("Flowers"));
    EXPECT_EQ(cfg.widthPx, 120);
    EXPECT_EQ(cfg.heightPx, 80);
    EXPECT_FLOAT_EQ(cfg.Widthf, 0.6f);
    EXPECT_EQ(ReadTileLibCount(ImgLibFileName(folder)), 0);
}

TEST(NewLibrary, RefusesUnusableSizesAndWritesNothing) {
    ScratchDir dir;
    auto lib = TTilelib::create();
    struct Case {
        int w, h;
        double dpi;
    };
    for (const Case& c : {Case{0, 400, 200}, Case{400, 0, 200}, Case{400, 400, 0}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " @" << c.dpi);
        EXPECT_THROW(createTileLibrary(*lib, dir.path(), QStringLiteral("L"), c.w, c.h, c.dpi),
                     TileLibError);
        EXPECT_TRUE(QDir(dir.path()).isEmpty());
    }
}

TEST(NewLibrary, PlaceholderPictureHasWordsOnIt) {
    const QImage picture = emptyLibraryPicture();
    ASSERT_EQ(picture.size(), QSize(512, 512));
    int dark = 0;
    for (int y = 100; y < 412; ++y)
        for (int x = 40; x < 472; ++x)
            dark += qGray(picture.pixel(x, y)) < 128;
    EXPECT_GT(dark, 500);
}
