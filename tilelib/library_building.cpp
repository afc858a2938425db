#include "tilelib/library_building.h"

#include "imaging/color_info.h"
#include "imaging/image_func.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <memory>

namespace vantorel::tilelib {

namespace {

using imaging::TRectF;

QString joinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty()) return name;
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void fail(const QString& message) {
    throw TileLibError(message.toStdString());
}

// True when text survives the trip through a 255-byte Windows-1252 short string.
bool fitsShortString(const QString& text) {
    ShortString<255> s;
    s.set(text);
    return s.str() == text;
}

// Writes image through a temporary file so a failed write keeps the previous file.
void saveImageFile(const QImage& image, const QString& path, const char* format) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write \"%1\": %2").arg(shown(path), file.errorString()));
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        const QString why = writer.errorString();
        file.cancelWriting();
        fail(QStringLiteral("cannot write \"%1\": %2").arg(shown(path), why));
    }
    if (!file.commit())
        fail(QStringLiteral("cannot write \"%1\": %2").arg(shown(path), file.errorString()));
}

QString formatSize(double v) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(v, 'f', 2);
}

} // namespace

QImage loadPhotoForTile(const QString& path, int tileW, int tileH, bool reducedDecode) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (reducedDecode && tileW > 0 && tileH > 0 &&
        reader.supportsOption(QImageIOHandler::ScaledSize)) {
        const QSize raw = reader.size();
        if (raw.width() > 0 && raw.height() > 0) {
            const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
            const int w = turned ? raw.height() : raw.width();
            const int h = turned ? raw.width() : raw.height();
            // The centred cut has the tile's aspect, so it is this many times the tile.
            const double room = std::min(double(w) / tileW, double(h) / tileH);
            int n = 8;
            while (n > 1 && n > room)
                n /= 2;
            if (n > 1) {
                // Exactly libjpeg's own 1/n output size, so no second scaling step runs.
                reader.setScaledSize(QSize((raw.width() + n - 1) / n, (raw.height() + n - 1) / n));
                reader.setQuality(100);
            }
        }
    }
    QImage photo = reader.read();
    if (photo.isNull())
        fail(QStringLiteral("cannot read the photo \"%1\": %2")
                 .arg(shown(path), reader.errorString()));
    // In place: the cut then works on this very buffer instead of a converted copy.
    photo.convertTo(QImage::Format_ARGB32);
    return photo;
}

QImage makeTile(const QImage& photo, int tileW, int tileH) {
    QImage tile;
    imaging::CropResize(photo, tile, tileW, tileH);
    return tile;
}

void describeTile(const QImage& tile, TimgColorInfo& info, TimgColorInfo (&rotations)[12]) {
    imaging::GetColorInfo(tile, TRectF{0, 0, float(tile.width()), float(tile.height())}, info);
    // A turn by 0 degrees leaves the tile as it is, so entry 0 is the tile's own description.
    rotations[0] = info;
    for (int k = 1; k < 12; ++k) {
        QImage turned = tile;
        imaging::Bitmap_Rotate(turned, Single(k * 30));
        imaging::GetColorInfo(turned, TRectF{0, 0, float(turned.width()), float(turned.height())},
                              rotations[k]);
    }
}

bool TTilelib::AddImgFile2(const QString& path) {
    if (Count < 0 || Count >= kMaxAddedTiles) return false;
    const int w = cfg.widthPx;
    const int h = cfg.heightPx;
    if (w < 1 || h < 1)
        fail(QStringLiteral("the library's tile size %1 x %2 pixels is unusable; tiles need at "
                            "least 1 x 1")
                 .arg(w)
                 .arg(h));
    if (cfg.Rootpath.empty()) fail(QStringLiteral("the tile library has no folder"));

    // The copies carry the name as stored, so slot, source/ and ready/ always agree.
    const QString original = QFileInfo(path).fileName();
    ShortString<255> stored;
    stored.set(original);
    if (stored.str() != original && ImgFileExists(stored.str())) {
        // A lossy name must not take over the files of another tile.
        const QFileInfo lossy(stored.str());
        const QString base = lossy.completeBaseName();
        const QString suffix =
            lossy.suffix().isEmpty() ? QString() : QLatin1Char('.') + lossy.suffix();
        for (int k = 2; ImgFileExists(stored.str()); ++k)
            stored.set(QStringLiteral("%1~%2%3").arg(base).arg(k).arg(suffix));
    }
    const QString name = stored.str();

    QImage tile = makeTile(loadPhotoForTile(path, w, h), w, h);
    if (tile.isNull() || tile.width() != w || tile.height() != h)
        fail(QStringLiteral("cannot make a %1 x %2 tile from \"%3\"")
                 .arg(w)
                 .arg(h)
                 .arg(shown(path)));

    auto slot = std::make_unique<TTileItem>(items[Count]);
    slot->FileName = stored;
    describeTile(tile, slot->ICinfo, slot->ICinfoRot);

    const QString root = rootPath();
    const QString sourcePath = joinPath(joinPath(root, QStringLiteral("source")), name);
    const QString readyPath = joinPath(joinPath(root, QStringLiteral("ready")), name);

    // Adding a photo that already lies in source/ must not delete it.
    const bool sameFile =
        QFileInfo(sourcePath).exists() &&
        QFileInfo(sourcePath).canonicalFilePath() == QFileInfo(path).canonicalFilePath();
    // Both files are written aside and put in place only once both are complete, so a
    // failure keeps the files of a tile that already has this name.
    QSaveFile source(sourcePath);
    if (!sameFile) {
        QFile from(path);
        if (!from.open(QIODevice::ReadOnly) || !source.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot copy \"%1\" to \"%2\": %3")
                     .arg(shown(path), shown(sourcePath),
                          from.isOpen() ? source.errorString() : from.errorString()));
        while (!from.atEnd()) {
            const QByteArray chunk = from.read(1 << 20);
            if (chunk.isEmpty() || source.write(chunk) != chunk.size())
                fail(QStringLiteral("cannot copy \"%1\" to \"%2\": %3")
                         .arg(shown(path), shown(sourcePath),
                              chunk.isEmpty() ? from.errorString() : source.errorString()));
        }
    }
    QSaveFile ready(readyPath);
    if (!ready.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot save the tile \"%1\": %2")
                 .arg(shown(readyPath), ready.errorString()));
    QImageWriter writer(&ready, QFileInfo(name).suffix().toLower().toLatin1());
    if (!writer.write(tile))
        fail(QStringLiteral("cannot save the tile \"%1\": %2")
                 .arg(shown(readyPath), writer.errorString()));
    if (!ready.commit())
        fail(QStringLiteral("cannot save the tile \"%1\": %2")
                 .arg(shown(readyPath), ready.errorString()));
    if (!sameFile && !source.commit())
        fail(QStringLiteral("cannot copy \"%1\" to \"%2\": %3")
                 .arg(shown(path), shown(sourcePath), source.errorString()));

    items[Count] = *slot;
    ++Count;
    return true;
}

void TTilelib::BuildPreview() const {
    QImage preview(1000, 1000, QImage::Format_ARGB32);
    preview.fill(0xFFFFFFFFu);
    {
        QPainter painter(&preview);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const int shownTiles = std::clamp<int>(Count, 0, 100);
        for (int i = 0; i < shownTiles; ++i) {
            const QString file = GetFullName(i);
            if (!QFileInfo(file).isFile()) continue;
            const QImage tile(file);
            // A damaged tile leaves its cell white rather than losing the whole preview.
            if (tile.isNull()) continue;
            QImage thumb;
            imaging::Bitmap_FitCentered(tile, thumb, 90, 90, 0xFFFFFFFFu);
            const int r = i / 10;
            const int c = i % 10;
            painter.drawImage(QRect(c * 100 + 5, r * 100 + 5, 90, 90), thumb);
        }
    }
    saveImageFile(preview, PreviewFileName(rootPath()), "jpg");
}

QImage emptyLibraryPicture() {
    QImage picture(512, 512, QImage::Format_ARGB32);
    picture.fill(0xFFE8E8E8u);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 8));
    painter.drawRect(QRectF(16, 16, 480, 480));
    QFont font;
    font.setPixelSize(64);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.drawText(QRectF(0, 0, 512, 512), Qt::AlignCenter | Qt::TextWordWrap,
                     QStringLiteral("EMPTY\nIMAGE\nLIBRARY"));
    return picture;
}

NewLibCheck checkNewLibrary(const QString& name, const QString& folder) {
    if (name.isEmpty()) return NewLibCheck::NoName;
    if (folder.isEmpty()) return NewLibCheck::NoFolder;
    if (!QFileInfo(folder).isDir()) return NewLibCheck::FolderMissing;
    const bool empty =
        QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    return empty ? NewLibCheck::CreateInExisting : NewLibCheck::FolderNotEmpty;
}

QString newLibraryMessage(NewLibCheck check) {
    switch (check) {
    case NewLibCheck::NoName:
        return QStringLiteral("Please give your image lib a NAME!");
    case NewLibCheck::NoFolder:
        return QStringLiteral("Please select a folder to store your image lib!");
    case NewLibCheck::FolderNotEmpty:
        return QStringLiteral("The folder is not empty, Please select an empty folder");
    case NewLibCheck::FolderMissing:
        return QStringLiteral("The folder does not exists, create?");
    case NewLibCheck::CreateInExisting:
        break;
    }
    return {};
}

QString folderDateStamp(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("%1-%2-%3-%4-%5-%6")
        .arg(d.year())
        .arg(d.month())
        .arg(d.day())
        .arg(t.hour())
        .arg(t.minute())
        .arg(t.second());
}

QString suggestLibraryFolder(const QString& userTilelibFolder, const QString& name,
                             const QDateTime& when) {
    return joinPath(userTilelibFolder, name + folderDateStamp(when));
}

QString applySizeReadout(TtileLibCfg& cfg, double width, double height, double dpi) {
    cfg.widthPx = static_cast<std::int32_t>(std::trunc(width));
    cfg.heightPx = static_cast<std::int32_t>(std::trunc(height));
    cfg.SizeUnit = 1;
    cfg.DPI = Single(dpi);
    cfg.Widthf = Single(double(cfg.widthPx) / double(cfg.DPI));
    cfg.Heightf = Single(double(cfg.heightPx) / double(cfg.DPI));
    return QStringLiteral("Printed Cell Size :") + formatSize(cfg.Widthf) + QStringLiteral(" x ") +
           formatSize(cfg.Heightf) + QStringLiteral(" Inch") + QStringLiteral("  or  ") +
           formatSize(double(cfg.Widthf) * 25.4) + QStringLiteral(" x ") +
           formatSize(double(cfg.Heightf) * 25.4) + QStringLiteral(" mm");
}

void createTileLibrary(TTilelib& lib, const QString& folder, const QString& name, int widthPx,
                       int heightPx, double dpi) {
    if (widthPx < 1 || heightPx < 1)
        fail(QStringLiteral("tile width and height must be at least 1 pixel, not %1 x %2")
                 .arg(widthPx)
                 .arg(heightPx));
    if (!(dpi > 0)) fail(QStringLiteral("the PPI must be greater than 0"));
    const QString root = QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath());
    // Tile paths are built from the stored folder; a folder it cannot hold would misplace them.
    if (!fitsShortString(root))
        fail(QStringLiteral("the folder \"%1\" cannot be used for a tile library: its path is "
                            "longer than 255 bytes or holds characters outside Windows-1252")
                 .arg(root));
    for (const char* sub : {"source", "ready"}) {
        const QString dir = joinPath(root, QLatin1String(sub));
        if (!QDir().mkpath(dir)) fail(QStringLiteral("cannot create the folder \"%1\"").arg(dir));
    }
    lib.emptytilelib();
    lib.cfg.Rootpath.set(root);
    lib.cfg.name.set(name);
    applySizeReadout(lib.cfg, widthPx, heightPx, dpi);
    lib.SaveTilelib();
    saveImageFile(emptyLibraryPicture(), PreviewFileName(root), "jpg");
}

} // namespace vantorel::tilelib
