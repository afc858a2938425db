// The library object, imagelib.dat and the folder functions.
#include "test_support.h"
#include "tilelib/tile_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace vantorel::tilelib;
using vantorel::test::readAll;
using vantorel::test::ScratchDir;

namespace {

constexpr std::size_t kSlot0 = 800;
constexpr std::size_t kSlotSize = sizeof(TTileItem);
constexpr std::size_t kEnable = 800 + kSlotSize * kTileSlots;

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

std::int32_t int32At(const QByteArray& b, std::size_t offset) {
    std::int32_t v = 0;
    std::memcpy(&v, b.constData() + offset, 4);
    return v;
}

// Fills the fields a round trip must carry with recognisable values.
void fillSample(TTilelib& lib, const QString& folder) {
    lib.emptytilelib();
    lib.cfg.Rootpath.set(folder + QLatin1Char('/'));
    lib.cfg.name.set(QStringLiteral("Flowers"));
    lib.cfg.Widthf = 2.5f;
    lib.cfg.Heightf = 1.25f;
    lib.cfg.SizeUnit = 1;
    lib.cfg.DPI = 160.0f;
    lib.cfg.widthPx = 400;
    lib.cfg.heightPx = 200;
    lib.cfg.shape = 7;
    lib.Count = 3;
    for (int i = 0; i < 3; ++i) {
        lib.items[i].FileName.set(QStringLiteral("tile%1.jpg").arg(i));
        lib.items[i].usecount = 10 + i;
        lib.items[i].ICinfo.ci1.rgba = {std::uint8_t(i), 20, 30, 255};
        lib.items[i].ICinfoRot[11].ci64[63].rgb = 0xFF010203u + unsigned(i);
    }
    // Slots beyond Count are written as they lie.
    lib.items[kTileSlots - 1].FileName.set(QStringLiteral("last.png"));
    lib.items[kTileSlots - 1].ICinfo.ci1.rgb = 0xFFABCDEFu;
    lib.ItemEnable[1] = 1;
    lib.ItemEnable[kTileSlots - 1] = 1;
}

std::vector<char> snapshot(const TTilelib& lib) {
    const char* p = reinterpret_cast<const char*>(&lib);
    return std::vector<char>(p, p + kTileLibFileSize);
}

} // namespace

TEST(TileLibrary, CreateIsZeroFilled) {
    auto lib = TTilelib::create();
    const std::vector<char> bytes = snapshot(*lib);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; }));
}

TEST(TileLibrary, EmptyResetsHeaderCountAndNamesOnly) {
    auto lib = TTilelib::create();
    lib->Count = 5;
    lib->cfg.widthPx = 66;
    lib->items[2048].FileName.set(QStringLiteral("x.jpg"));
    lib->items[3].usecount = 9;
    lib->ItemEnable[3] = 1;
    lib->emptytilelib();
    EXPECT_EQ(lib->Count, 0);
    EXPECT_EQ(lib->cfg.name.str(), QStringLiteral("N/A"));
    EXPECT_EQ(lib->cfg.brand.str(), QStringLiteral("N/A"));
    EXPECT_EQ(lib->cfg.widthPx, 400);
    EXPECT_EQ(lib->cfg.heightPx, 300);
    EXPECT_TRUE(lib->items[2048].FileName.empty());
    EXPECT_EQ(lib->items[3].usecount, 9);
    EXPECT_EQ(lib->ItemEnable[3], 1);
}

TEST(TileLibrary, ZeroUsecountStopsAtCount) {
    auto lib = TTilelib::create();
    lib->Count = 2;
    for (int i = 0; i < 3; ++i)
        lib->items[i].usecount = 4;
    lib->ZeroUsecount();
    EXPECT_EQ(lib->items[0].usecount, 0);
    EXPECT_EQ(lib->items[1].usecount, 0);
    EXPECT_EQ(lib->items[2].usecount, 4);
}

TEST(TileLibrary, SaveWritesTheFixedLayoutAndLoadsBackByteIdentical) {
    ScratchDir dir;
    auto lib = TTilelib::create();
    fillSample(*lib, dir.path());
    lib->SaveTilelib();

    const QString file = ImgLibFileName(dir.path());
    const QByteArray bytes = readAll(file);
    ASSERT_EQ(std::size_t(bytes.size()), kTileLibFileSize);
    EXPECT_EQ(std::uint8_t(bytes[512]), 7); // name length byte
    EXPECT_EQ(bytes.mid(513, 7), QByteArray("Flowers"));
    EXPECT_EQ(int32At(bytes, 784), 400);
    EXPECT_EQ(int32At(bytes, 788), 200);
    EXPECT_EQ(int32At(bytes, 792), 7);
    EXPECT_EQ(int32At(bytes, 796), 3);
    EXPECT_EQ(bytes.mid(kSlot0 + 1, 9), QByteArray("tile0.jpg"));
    EXPECT_EQ(int32At(bytes, kSlot0 + kSlotSize + 260), 11);              // usecount of slot 1
    EXPECT_EQ(std::uint8_t(bytes[kSlot0 + 2 * kSlotSize + 264 + 32]), 2); // ICinfo.ci1.rgba.r
    const std::size_t last = kSlot0 + (kTileSlots - 1) * kSlotSize;
    EXPECT_EQ(bytes.mid(last + 1, 8), QByteArray("last.png"));
    EXPECT_EQ(std::uint32_t(int32At(bytes, last + 264 + 28)), 0xFFABCDEFu);
    EXPECT_EQ(bytes[kEnable + 1], 1);
    EXPECT_EQ(bytes[kEnable + kTileSlots - 1], 1);

    auto loaded = TTilelib::create();
    loaded->LoadTilelib(file);
    EXPECT_EQ(snapshot(*loaded), snapshot(*lib));
    loaded->SaveTilelib();
    EXPECT_EQ(readAll(file), bytes);
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral(".tmp")));
}

TEST(TileLibrary, LoadTakesRootFromTheFileLocationNotItsContent) {
    ScratchDir dir;
    QByteArray bytes(800, '\0');
    bytes[0] = 5;
    std::memcpy(bytes.data() + 1, "/nope", 5);
    writeBytes(dir.file(QStringLiteral("imagelib.dat")), bytes);
    auto lib = TTilelib::create();
    lib->LoadTilelib(dir.file(QStringLiteral("imagelib.dat")));
    EXPECT_EQ(lib->rootPath(), QDir::toNativeSeparators(dir.path() + QLatin1Char('/')));
}

TEST(TileLibrary, LoadsTheSmallerSlotFormAsAPrefix) {
    // 1025 slots and 1025 enable bytes: the enable bytes land in slot 1025.
    constexpr int kSmallSlots = 1025;
    const std::size_t size = 800 + kSlotSize * kSmallSlots + kSmallSlots;
    ASSERT_EQ(size, 33'371'725u);
    QByteArray bytes(qsizetype(size), '\0');
    bytes[512] = 6;
    std::memcpy(bytes.data() + 513, "Sample", 6);
    const std::int32_t count = 131;
    std::memcpy(bytes.data() + 796, &count, 4);
    for (int i = 0; i < kSmallSlots; ++i) {
        char* slot = bytes.data() + kSlot0 + std::size_t(i) * kSlotSize;
        const QByteArray name = QStringLiteral("s%1.jpg").arg(i).toLatin1();
        slot[0] = char(name.size());
        std::memcpy(slot + 1, name.constData(), std::size_t(name.size()));
        slot[264 + 32] = char(i & 0xFF);
    }
    std::memset(bytes.data() + kSlot0 + kSlotSize * kSmallSlots, 0x5A, kSmallSlots);
    ScratchDir dir;
    const QString file = dir.file(QStringLiteral("imagelib.dat"));
    writeBytes(file, bytes);

    auto lib = TTilelib::create();
    std::memset(lib->ItemEnable, 7, sizeof lib->ItemEnable);
    std::memset(&lib->items[1025], 0x33, sizeof(TTileItem));
    lib->items[1500].FileName.set(QStringLiteral("kept.jpg"));
    lib->LoadTilelib(file);

    EXPECT_EQ(lib->Count, 131);
    EXPECT_EQ(lib->cfg.name.str(), QStringLiteral("Sample"));
    EXPECT_EQ(lib->items[130].FileName.str(), QStringLiteral("s130.jpg"));
    EXPECT_EQ(lib->items[130].ICinfo.ci1.rgba.r, 130);
    EXPECT_EQ(lib->items[1024].FileName.str(), QStringLiteral("s1024.jpg"));
    const auto* spill = reinterpret_cast<const std::uint8_t*>(&lib->items[1025]);
    EXPECT_TRUE(std::all_of(spill, spill + kSmallSlots, [](std::uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(std::all_of(spill + kSmallSlots, spill + sizeof(TTileItem),
                            [](std::uint8_t b) { return b == 0x33; }));
    EXPECT_EQ(lib->items[1500].FileName.str(), QStringLiteral("kept.jpg"));
    EXPECT_TRUE(std::all_of(std::begin(lib->ItemEnable), std::end(lib->ItemEnable),
                            [](std::uint8_t b) { return b == 7; }));
    EXPECT_EQ(lib->rootPath(), QDir::toNativeSeparators(dir.path() + QLatin1Char('/')));
    EXPECT_EQ(ReadTileLibCount(file), 131);
}

TEST(TileLibrary, ShortFileFillsOnlyItsLeadingPart) {
    ScratchDir dir;
    auto lib = TTilelib::create();
    fillSample(*lib, dir.path());
    QByteArray bytes(1000, '\0');
    const std::int32_t count = 1;
    std::memcpy(bytes.data() + 796, &count, 4);
    bytes[kSlot0] = 3;
    std::memcpy(bytes.data() + kSlot0 + 1, "a.b", 3);
    const QString file = dir.file(QStringLiteral("short.dat"));
    writeBytes(file, bytes);
    lib->LoadTilelib(file);
    EXPECT_EQ(lib->Count, 1);
    EXPECT_EQ(lib->items[0].FileName.str(), QStringLiteral("a.b"));
    EXPECT_EQ(lib->items[0].usecount, 10); // byte 260 of slot 0 lies beyond the file
    EXPECT_EQ(lib->items[1].FileName.str(), QStringLiteral("tile1.jpg"));
    EXPECT_EQ(lib->ItemEnable[kTileSlots - 1], 1);
}

TEST(TileLibrary, ImpossibleCountIsRejectedAndNothingChanges) {
    struct Case {
        const char* what;
        QByteArray countBytes; // the bytes at offset 796 and after that the file holds
    };
    const auto le = [](std::int32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    const Case cases[] = {
        {"negative", le(-1)},
        {"one beyond the slots", le(kTileSlots + 1)},
        {"huge", le(INT_MAX)},
        {"cut inside the count", QByteArray("\xFF\xFF", 2)}, // with the old count 3 -> 65535
    };
    ScratchDir dir;
    auto lib = TTilelib::create();
    fillSample(*lib, dir.path());
    const std::vector<char> before = snapshot(*lib);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bytes(796, 'x');
        bytes += c.countBytes;
        const QString file = dir.file(QStringLiteral("bad.dat"));
        QFile::remove(file);
        writeBytes(file, bytes);
        try {
            lib->LoadTilelib(file);
            ADD_FAILURE() << "loaded a file with an impossible count";
        } catch (const TileLibError& e) {
            EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
        }
        EXPECT_EQ(snapshot(*lib), before);
    }
}

TEST(TileLibrary, MissingOrUnreadableFileThrowsAndKeepsContent) {
    ScratchDir dir;
    auto lib = TTilelib::create();
    fillSample(*lib, dir.path());
    const std::vector<char> before = snapshot(*lib);
    EXPECT_THROW(lib->LoadTilelib(dir.file(QStringLiteral("none.dat"))), TileLibError);
    EXPECT_THROW(lib->LoadTilelib(dir.path()), TileLibError);
    EXPECT_EQ(snapshot(*lib), before);
}

TEST(TileLibrary, SaveNeedsAnExistingFolder) {
    auto lib = TTilelib::create();
    lib->emptytilelib();
    EXPECT_THROW(lib->SaveTilelib(), TileLibError); // no folder at all
    ScratchDir dir;
    lib->cfg.Rootpath.set(dir.file(QStringLiteral("missing")));
    EXPECT_THROW(lib->SaveTilelib(), TileLibError);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("missing"))));
}

TEST(TileLibrary, ImgFileExistsIsExactAndLimitedToCount) {
    auto lib = TTilelib::create();
    lib->Count = 2;
    lib->items[0].FileName.set(QStringLiteral("Photo.JPG"));
    lib->items[1].FileName.set(QStringLiteral("b.png"));
    lib->items[2].FileName.set(QStringLiteral("beyond.png"));
    EXPECT_TRUE(lib->ImgFileExists(QStringLiteral("Photo.JPG")));
    EXPECT_TRUE(lib->ImgFileExists(QStringLiteral("b.png")));
    EXPECT_FALSE(lib->ImgFileExists(QStringLiteral("photo.jpg")));
    EXPECT_FALSE(lib->ImgFileExists(QStringLiteral("Photo.jpg")));
    EXPECT_FALSE(lib->ImgFileExists(QStringLiteral("Photo")));
    EXPECT_FALSE(lib->ImgFileExists(QStringLiteral("beyond.png")));
}

TEST(TileLibrary, ReadyAndSourceNamesDifferOnlyInTheFolder) {
    auto lib = TTilelib::create();
    lib->items[4].FileName.set(QStringLiteral("rose.jpg"));
    for (const QString& root :
         {QStringLiteral("/libs/Flowers/"), QStringLiteral("/libs/Flowers")}) {
        SCOPED_TRACE(root.toStdString());
        lib->cfg.Rootpath.set(root);
        EXPECT_EQ(lib->GetFullName(4), QStringLiteral("/libs/Flowers/ready/rose.jpg"));
        EXPECT_EQ(lib->GetsourceName(4), QStringLiteral("/libs/Flowers/source/rose.jpg"));
    }
    EXPECT_TRUE(lib->GetFullName(-1).isEmpty());
    EXPECT_TRUE(lib->GetFullName(kTileSlots).isEmpty());
}

TEST(TileLibraryFolders, FileNamesAndHeaderReaders) {
    EXPECT_EQ(ImgLibFileName(QStringLiteral("/a/b")), QStringLiteral("/a/b/imagelib.dat"));
    EXPECT_EQ(PreviewFileName(QStringLiteral("/a/b/")), QStringLiteral("/a/b/preview.jpg"));
    ScratchDir dir;
    EXPECT_FALSE(IsTileLibFolder(dir.path()));
    EXPECT_EQ(ReadTileLibCount(ImgLibFileName(dir.path())), 0);
    const TtileLibCfg missing = ReadTileLibCfg(ImgLibFileName(dir.path()));
    EXPECT_EQ(missing.name.str(), QStringLiteral("N/A"));
    EXPECT_EQ(missing.widthPx, 400);
    EXPECT_EQ(missing.heightPx, 300);
}

TEST(TileLibraryFolders, ListsAppLibrariesFirstSortedAndSkipsPlainFolders) {
    ScratchDir appRoot;
    ScratchDir userRoot;
    const auto makeLib = [](const QString& root, const QString& entry, const QString& name) {
        QDir(root).mkpath(entry);
        QByteArray bytes;
        if (!name.isEmpty()) {
            TtileLibCfg cfg = DefaultTileLibCfg();
            cfg.name.set(name);
            bytes = QByteArray(reinterpret_cast<const char*>(&cfg), sizeof cfg);
        }
        writeBytes(root + QLatin1Char('/') + entry + QStringLiteral("/imagelib.dat"), bytes);
    };
    makeLib(appRoot.path(), QStringLiteral("zeta"), QStringLiteral("Zeta"));
    QDir(appRoot.path()).mkpath(QStringLiteral("alpha-not-a-library"));
    makeLib(userRoot.path(), QStringLiteral("b"), QString()); // empty file
    makeLib(userRoot.path(), QStringLiteral("a"), QStringLiteral("Alpha lib"));
    writeBytes(userRoot.file(QStringLiteral("imagelib.dat")), QByteArray()); // a file, not a folder

    QStringList names{QStringLiteral("stale")};
    QStringList folders{QStringLiteral("stale")};
    ListTileLibs(names, folders, {appRoot.path(), userRoot.path()});
    EXPECT_EQ(names, (QStringList{QStringLiteral("Zeta"), QStringLiteral("Alpha lib"),
                                  QStringLiteral("N/A")}));
    EXPECT_EQ(folders,
              (QStringList{appRoot.file(QStringLiteral("zeta")), userRoot.file(QStringLiteral("a")),
                           userRoot.file(QStringLiteral("b"))}));

    ListTileLibs(names, folders, {userRoot.file(QStringLiteral("missing"))});
    EXPECT_TRUE(names.isEmpty());
    EXPECT_TRUE(folders.isEmpty());
}
