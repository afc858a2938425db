#include "workflow/project_folder.h"

#include "engine/mosaic_render.h"
#include "imaging/image_func.h"
#include "imaging/mosaic_pattern.h"
#include "imaging/short_string.h"
#include "tilelib/library_building.h"
#include "tilelib/tile_library.h"
#include "workflow/main_image.h"
#include "workflow/project_pipeline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <algorithm>
#include <filesystem>

namespace vantorel::workflow {

namespace {

// The path as the project and library files store it; refused when it would not come back
// unchanged (SaveProject and SaveTilelib write to the stored root).
void checkStorablePath(const QString& F, int capacity) {
    const QByteArray bytes = imaging::toCp1252(F);
    if (bytes.size() > capacity)
        throw WorkflowError(QStringLiteral("the folder path \"%1\" is longer than %2 characters")
                                .arg(F)
                                .arg(capacity));
    if (imaging::fromCp1252(bytes.constData(), std::size_t(bytes.size())) != F)
        throw WorkflowError(
            QStringLiteral("the folder path \"%1\" holds characters a project file cannot store")
                .arg(F));
}

void writeBytesAtomically(const QByteArray& data, const QString& path) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
        throw WorkflowError(QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
}

// Through a temporary file beside the target, without a sync per file: a save copies up to
// 2049 tiles, and a failure still never leaves a half-written tile in place of one.
void copyFileAtomically(const QString& from, const QString& to) {
    if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath() &&
        QFileInfo::exists(to))
        return; // saving into the folder the library already lives in
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        throw WorkflowError(
            QStringLiteral("cannot copy tile \"%1\": %2").arg(from, in.errorString()));
    const QByteArray data = in.readAll();
    const QString part = to + QStringLiteral(".part");
    QFile out(part);
    const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         out.write(data) == data.size() && out.flush();
    const QString why = out.errorString();
    out.close();
    std::error_code ec;
    if (written)
        std::filesystem::rename(std::filesystem::path(part.toStdU16String()),
                                std::filesystem::path(to.toStdU16String()), ec);
    if (!written || ec) {
        QFile::remove(part);
        throw WorkflowError(QStringLiteral("cannot write \"%1\": %2")
                                .arg(to, written ? QString::fromStdString(ec.message()) : why));
    }
}

QByteArray formatForPath(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg")) return "jpg";
    if (ext == QLatin1String("png")) return "png";
    if (ext == QLatin1String("bmp")) return "bmp";
    if (ext == QLatin1String("tif") || ext == QLatin1String("tiff")) return "tif";
    throw WorkflowError(
        QStringLiteral("\"%1\": the picture format follows the extension; use .jpg, .png, .bmp "
                       "or .tif")
            .arg(path));
}

} // namespace

void savePictureFile(const QImage& picture, const QString& path, int jpegQuality) {
    const QByteArray format = formatForPath(path);
    if (picture.isNull()) throw WorkflowError(QStringLiteral("there is no picture to save"));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw WorkflowError(QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
    QImageWriter writer(&out, format);
    if (format == "jpg" && jpegQuality >= 0) writer.setQuality(jpegQuality);
    // Mid compression: files barely larger than the default level, written much faster.
    if (format == "png") writer.setQuality(50);
    // Opaque pictures are stored without an alpha channel.
    const QImage img = picture.hasAlphaChannel() && format != "png" && format != "tif"
                           ? picture.convertToFormat(QImage::Format_RGB32)
                           : picture;
    if (!writer.write(img))
        throw WorkflowError(
            QStringLiteral("cannot encode \"%1\": %2").arg(path, writer.errorString()));
    if (!out.commit())
        throw WorkflowError(QStringLiteral("cannot write \"%1\": %2").arg(path, out.errorString()));
}

QString SaveProject_ProposeFolder(const QString& projectsFolder, const QString& name,
                                  const QDateTime& now) {
    return QDir(projectsFolder).filePath(name + tilelib::folderDateStamp(now));
}

void SaveProject_WriteFolder(engine::MosaicContext& ctx, const QString& F, const QImage& picture,
                             const QByteArray& storedMainImage) {
    checkStorablePath(F, 250);
    if (!QDir().mkpath(QDir(F).filePath(QStringLiteral("ready"))))
        throw WorkflowError(QStringLiteral("cannot create the folder \"%1/ready\"").arg(F));
    auto& lib = *ctx.ProjectTileLib;
    const int count = std::clamp(lib.Count, 0, tilelib::kTileSlots);
    const QDir ready(QDir(F).filePath(QStringLiteral("ready")));
    for (int i = 0; i < count; ++i)
        copyFileAtomically(lib.GetFullName(i), ready.filePath(lib.items[i].FileName.str()));
    lib.cfg.Rootpath.set(F);
    lib.SaveTilelib();
    const QString mainImagePath = QDir(F).filePath(QStringLiteral("mainimage.jpg"));
    if (!storedMainImage.isEmpty())
        writeBytesAtomically(storedMainImage, mainImagePath);
    else
        savePictureFile(ctx.MainImageCrop, mainImagePath, kProjectJpegQuality);
    ctx.mproject->cfg.RootPath.set(F);
    ctx.mproject->SaveProject(ctx.SearchOpts);
    savePictureFile(picture, QDir(F).filePath(QStringLiteral("MosaicPicture.jpg")),
                    kProjectJpegQuality);
}

void OpenProject(engine::MosaicContext& ctx, const QString& path, QImage& view,
                 imaging::Progress* progress, int viewMode) {
    auto& project = *ctx.mproject;
    project.LoadProject(path, ctx.SearchOpts);
    imaging::Pattern_BuildCellIcons(project.patterncfg);
    const QDir folder = QFileInfo(path).absoluteDir();
    ctx.ProjectTileLib->LoadTilelib(tilelib::ImgLibFileName(folder.path()));
    const QString mainImagePath = folder.filePath(QStringLiteral("mainimage.jpg"));
    QImageReader reader(mainImagePath);
    QImage mainImage = reader.read();
    if (mainImage.isNull())
        throw WorkflowError(QStringLiteral("cannot read the project's main image \"%1\": %2")
                                .arg(mainImagePath, reader.errorString()));
    ctx.MainImageCrop = imaging::toWorkingFormat(std::move(mainImage));
    ctx.MainImageScale =
        project.cfg.WidthPx > 0 ? ctx.MainImageCrop.width() / project.cfg.WidthPx : 0.0;
    engine::RenderView(ctx, viewMode, view, engine::Single(project.cfg.PreviewScale), progress);
    project.Rendered = 1;
}

} // namespace vantorel::workflow
