// lib-create, lib-add, lib-info: building and reading tile libraries from the command line.
#include "cli/cli_common.h"
#include "tilelib/library_building.h"
#include "tilelib/tile_library.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <cmath>

namespace vantorel::cli {

using tilelib::TTilelib;

namespace {

const QSet<QString> kPhotoSuffixes{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                   QStringLiteral("png"), QStringLiteral("bmp"),
                                   QStringLiteral("tif"), QStringLiteral("tiff")};

bool isPhotoFile(const QFileInfo& fi) {
    return fi.isFile() && kPhotoSuffixes.contains(fi.suffix().toLower());
}

// Loads the library in folder, with an error a user can act on when it is not one.
std::unique_ptr<TTilelib> openLibrary(const QString& folder) {
    const QString shown = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir())
        throw CliError(QStringLiteral("the folder \"%1\" does not exist").arg(shown));
    if (!tilelib::IsTileLibFolder(folder))
        throw CliError(
            QStringLiteral("\"%1\" is not a tile library (it has no imagelib.dat)").arg(shown));
    auto lib = TTilelib::create();
    lib->LoadTilelib(tilelib::ImgLibFileName(folder));
    return lib;
}

QString number(double v) {
    return QString::number(v, 'f', 2);
}

} // namespace

int runLibCreate(const QStringList& args) {
    const ArgParser p(args, {QStringLiteral("name"), QStringLiteral("tile"), QStringLiteral("dpi")},
                      {});
    if (p.positional().size() != 1)
        throw CliError(
            QStringLiteral("usage: lib-create LIBDIR --name NAME [--tile WxH] [--dpi D]"));
    const QString folder = p.positional().first();
    const QString name = p.valueOr(QStringLiteral("name"), QString());
    const auto tile = p.pairValue(QStringLiteral("tile")).value_or(std::make_pair(400.0, 400.0));
    const double dpi = p.doubleValue(QStringLiteral("dpi")).value_or(200.0);
    // The limits of the new-library window's number boxes.
    const auto wholeInRange = [](double v) { return v == std::floor(v) && v >= 1 && v <= 800; };
    if (!wholeInRange(tile.first) || !wholeInRange(tile.second))
        throw CliError(
            QStringLiteral("--tile: width and height must be whole numbers from 1 to 800"));
    if (!(dpi > 0 && dpi <= 600))
        throw CliError(QStringLiteral("--dpi must be above 0 and at most 600"));

    const tilelib::NewLibCheck check = tilelib::checkNewLibrary(name, folder);
    // Without a prompt, a missing folder is simply created: that is what was asked for.
    if (check != tilelib::NewLibCheck::CreateInExisting &&
        check != tilelib::NewLibCheck::FolderMissing)
        throw CliError(tilelib::newLibraryMessage(check));

    auto lib = TTilelib::create();
    tilelib::createTileLibrary(*lib, folder, name, int(tile.first), int(tile.second), dpi);
    tilelib::TtileLibCfg readout = lib->cfg;
    printOut(QStringLiteral("created tile library \"%1\" in %2").arg(name, lib->rootPath()));
    printOut(QStringLiteral("tiles %1 x %2 pixels; ").arg(lib->cfg.widthPx).arg(lib->cfg.heightPx) +
             tilelib::applySizeReadout(readout, tile.first, tile.second, dpi));
    return 0;
}

int runLibAdd(const QStringList& args) {
    const ArgParser p(args, {}, {});
    if (p.positional().size() < 2) throw CliError(QStringLiteral("usage: lib-add LIBDIR PATH..."));
    const QString folder = p.positional().first();
    auto lib = openLibrary(folder);

    bool failed = false;
    QStringList photos;
    for (const QString& path : p.positional().mid(1)) {
        const QFileInfo fi(path);
        if (fi.isDir()) {
            const QFileInfoList entries =
                QDir(path).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
            for (const QFileInfo& e : entries)
                if (isPhotoFile(e)) photos << e.filePath();
        } else if (fi.exists()) {
            photos << path;
        } else {
            printErr(
                QStringLiteral("error: \"%1\" does not exist").arg(QDir::toNativeSeparators(path)));
            failed = true;
        }
    }

    int added = 0, skipped = 0, errors = 0;
    const auto n = photos.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QString name = QFileInfo(photos[i]).fileName();
        printErr(QStringLiteral("[%1/%2] %3").arg(i + 1).arg(n).arg(name));
        if (lib->ImgFileExists(name)) {
            printErr(QStringLiteral("skipped %1: a tile of that name is already in the library")
                         .arg(name));
            ++skipped;
            continue;
        }
        try {
            if (!lib->AddImgFile2(photos[i])) {
                printErr(QStringLiteral("error: the library is full (%1 tiles); %2 and the %3 "
                                        "photos after it were not added")
                             .arg(tilelib::kMaxAddedTiles)
                             .arg(name)
                             .arg(n - i - 1));
                failed = true;
                break;
            }
            ++added;
        } catch (const tilelib::TileLibError& e) {
            printErr(QStringLiteral("error: %1").arg(QString::fromStdString(e.what())));
            ++errors;
            failed = true;
        }
    }

    if (added > 0) {
        lib->SaveTilelib();
        lib->BuildPreview();
    }
    printOut(QStringLiteral("added %1, skipped %2, failed %3; the library holds %4 tiles")
                 .arg(added)
                 .arg(skipped)
                 .arg(errors)
                 .arg(lib->Count));
    return failed ? 1 : 0;
}

int runLibInfo(const QStringList& args) {
    const ArgParser p(args, {}, {});
    if (p.positional().size() != 1) throw CliError(QStringLiteral("usage: lib-info LIBDIR"));
    const auto lib = openLibrary(p.positional().first());
    const tilelib::TtileLibCfg& cfg = lib->cfg;
    const QString unit = cfg.SizeUnit == 1   ? QStringLiteral(" inch")
                         : cfg.SizeUnit == 2 ? QStringLiteral(" mm")
                                             : QString();
    printOut(QStringLiteral("name: %1").arg(cfg.name.str()));
    printOut(QStringLiteral("brand: %1").arg(cfg.brand.str()));
    printOut(QStringLiteral("folder: %1").arg(lib->rootPath()));
    printOut(QStringLiteral("tile size: %1 x %2 px").arg(cfg.widthPx).arg(cfg.heightPx));
    printOut(QStringLiteral("printed size: %1 x %2%3")
                 .arg(number(cfg.Widthf), number(cfg.Heightf), unit));
    printOut(QStringLiteral("dpi: %1").arg(number(cfg.DPI)));
    printOut(QStringLiteral("shape: %1").arg(cfg.shape));
    printOut(QStringLiteral("count: %1").arg(lib->Count));
    for (int i = 0; i < lib->Count; ++i) {
        const auto& c = lib->items[i].ICinfo.ci1.rgba;
        printOut(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(i)
                     .arg(lib->items[i].FileName.str())
                     .arg(c.r)
                     .arg(c.g)
                     .arg(c.b));
    }
    return 0;
}

} // namespace vantorel::cli
