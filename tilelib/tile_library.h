#pragma once
// A tile library in memory (TTilelib), its imagelib.dat file, and the folder-level
// operations that find libraries on disk.
#include "imaging/color_info.h"
#include "imaging/short_string.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace vantorel::tilelib {

using imaging::ShortString;
using imaging::Single;
using imaging::TimgColorInfo;

struct TtileLibCfg {
    ShortString<255> Rootpath; // folder loaded from or created in; ignored on load
    ShortString<255> brand;    // free text, "N/A" by default
    ShortString<255> name;     // display name
    Single Widthf;             // printed tile width in SizeUnit
    Single Heightf;            // printed tile height
    std::int32_t SizeUnit;     // 1 = inch, 2 = mm
    Single DPI;                // pixels per inch of the printed tile
    std::int32_t widthPx;      // ready tile width in pixels
    std::int32_t heightPx;     // ready tile height in pixels
    std::int32_t shape;        // tile shape code, not interpreted
};
static_assert(sizeof(TtileLibCfg) == 796);
static_assert(offsetof(TtileLibCfg, brand) == 256);
static_assert(offsetof(TtileLibCfg, name) == 512);
static_assert(offsetof(TtileLibCfg, Widthf) == 768);
static_assert(offsetof(TtileLibCfg, Heightf) == 772);
static_assert(offsetof(TtileLibCfg, SizeUnit) == 776);
static_assert(offsetof(TtileLibCfg, DPI) == 780);
static_assert(offsetof(TtileLibCfg, widthPx) == 784);
static_assert(offsetof(TtileLibCfg, heightPx) == 788);
static_assert(offsetof(TtileLibCfg, shape) == 792);

struct TTileItem {
    ShortString<255> FileName; // name in source/ and ready/, no folder
    std::uint8_t NewFlag;      // reserved
    std::uint8_t DelFlag;      // reserved
    std::uint8_t filler[2];
    std::int32_t usecount;     // cells holding this tile since the last ZeroUsecount
    TimgColorInfo ICinfo;      // description of the ready tile
    TimgColorInfo ICinfoRot[12]; // the tile turned by k * 30 degrees
};
static_assert(sizeof(TTileItem) == 32556);
static_assert(offsetof(TTileItem, NewFlag) == 256);
static_assert(offsetof(TTileItem, DelFlag) == 257);
static_assert(offsetof(TTileItem, usecount) == 260);
static_assert(offsetof(TTileItem, ICinfo) == 264);
static_assert(offsetof(TTileItem, ICinfoRot) == 2748);

constexpr int kTileSlots = 2049;
constexpr int kMaxAddedTiles = 1999; // adding photographs stops here
constexpr std::size_t kTileLibFileSize = 796 + 4 + std::size_t(kTileSlots) * 32556 + kTileSlots;
static_assert(kTileLibFileSize == 66'710'093);

// Thrown for library files and folders that cannot be read, written or used.
struct TileLibError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

TtileLibCfg DefaultTileLibCfg();

// One library. About 66.7 MB: create it on the heap (TTilelib::create()).
class TTilelib {
public:
    TtileLibCfg cfg;
    std::int32_t Count; // slots in use, 0..2049
    TTileItem items[kTileSlots];
    std::uint8_t ItemEnable[kTileSlots];

    // A zero-filled library on the heap.
    static std::unique_ptr<TTilelib> create();

    void emptytilelib();
    void ZeroUsecount();
    QString GetFullName(int i) const;   // Rootpath/ready/FileName
    QString GetsourceName(int i) const; // Rootpath/source/FileName
    // True when a slot below Count has exactly this name (case-sensitive), compared in the
    // stored Windows-1252 form.
    bool ImgFileExists(const QString& fileName) const;
    QString rootPath() const;

    // Writes Rootpath/imagelib.dat whole, through a temporary file; throws TileLibError.
    void SaveTilelib() const;
    // Reads an imagelib.dat; a shorter file fills only its leading part. A Count outside
    // 0..2049 or an unreadable file throws TileLibError and leaves the object unchanged.
    void LoadTilelib(const QString& path);

    // Adds one photograph as a tile; false when the library already holds 1999 tiles.
    // Throws TileLibError for an unreadable photo or a failed copy or save.
    bool AddImgFile2(const QString& path);
    // Writes Rootpath/preview.jpg: the first 100 tiles on a 10 x 10 grid.
    void BuildPreview() const;

private:
    TTilelib() = default;
};

QString ImgLibFileName(const QString& folder);
QString PreviewFileName(const QString& folder);
bool IsTileLibFolder(const QString& folder);
TtileLibCfg ReadTileLibCfg(const QString& path);
std::int32_t ReadTileLibCount(const QString& path);
// Clears both lists, then lists every library folder of the roots, in root order.
void ListTileLibs(QStringList& names, QStringList& folders, const QStringList& roots);

} // namespace vantorel::tilelib
