#pragma once
// Making tiles from photographs and creating new, empty libraries: the pieces
// TTilelib::AddImgFile2 is built from, and the plain functions behind the new-library window.
#include "tilelib/tile_library.h"

#include <QDateTime>
#include <QImage>
#include <QString>

namespace vantorel::tilelib {

// Decodes a photograph, in ARGB32, with its EXIF orientation applied. With reducedDecode, a JPEG
// large enough is decoded at 1/2, 1/4 or 1/8 scale, never so small that the part cut
// for a tileW x tileH tile has fewer pixels than the tile. Throws TileLibError naming
// the file when it cannot be read.
QImage loadPhotoForTile(const QString& path, int tileW, int tileH, bool reducedDecode = true);

// The ready tile: the largest centred part of photo with the tile's aspect, scaled to
// exactly tileW x tileH.
QImage makeTile(const QImage& photo, int tileW, int tileH);

// ICinfo of the whole tile and ICinfoRot[k] of the tile turned by k * 30 degrees.
void describeTile(const QImage& tile, TimgColorInfo& info, TimgColorInfo (&rotations)[12]);

// The 512 x 512 picture saved as preview.jpg of a library that has no tiles yet.
QImage emptyLibraryPicture();

// Which answer the new-library window gives to OK, checked in this order.
enum class NewLibCheck {
    CreateInExisting, // the folder exists and is empty
    NoName,
    NoFolder,
    FolderNotEmpty,
    FolderMissing, // ask before creating it
};
NewLibCheck checkNewLibrary(const QString& name, const QString& folder);
// The window's message for a check result; empty for CreateInExisting.
QString newLibraryMessage(NewLibCheck check);

// The local date and time as y-m-d-h-m-s without leading zeros, which new library and
// project folders carry after their name ("2019-4-26-1-24-2").
QString folderDateStamp(const QDateTime& when);

// Suggested folder of a new library: the name followed by the date and time as
// y-m-d-h-m-s without leading zeros, inside userTilelibFolder.
QString suggestLibraryFolder(const QString& userTilelibFolder, const QString& name,
                             const QDateTime& when);

// Sets widthPx, heightPx (truncated), SizeUnit (inch), DPI, Widthf and Heightf of cfg and
// returns the printed-size text of the window's readout.
QString applySizeReadout(TtileLibCfg& cfg, double width, double height, double dpi);

// Makes folder a new, empty library: source/ and ready/, imagelib.dat with Count 0 and the
// placeholder preview. Missing parents are created. Refuses tile sizes below 1 pixel, a
// PPI of 0 or less, and folders whose path the library file cannot hold.
void createTileLibrary(TTilelib& lib, const QString& folder, const QString& name, int widthPx,
                       int heightPx, double dpi);

} // namespace vantorel::tilelib
