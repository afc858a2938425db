#pragma once
// Saving a project as a self-contained folder and opening it again.
#include "engine/mosaic_context.h"
#include "imaging/progress.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

namespace vantorel::workflow {

// projectsFolder / (name + "Y-M-D-h-m-s" of now, no leading zeros).
QString SaveProject_ProposeFolder(const QString& projectsFolder, const QString& name,
                                  const QDateTime& now = QDateTime::currentDateTime());

// Writes F: ready/ (copies of the library's tiles), imagelib.dat rooted at F,
// mainimage.jpg, Mosaic.Prj (cfg.RootPath = F) and MosaicPicture.jpg (picture). When
// storedMainImage is not empty it is written as mainimage.jpg as it is. Every file goes
// through a temporary file, so a failure never leaves a half-written file in place of an
// earlier one. Throws WorkflowError (or the library's / project's error).
void SaveProject_WriteFolder(engine::MosaicContext& ctx, const QString& F, const QImage& picture,
                             const QByteArray& storedMainImage = {});

// Loads Mosaic.Prj at path, the masks, the library and mainimage.jpg of its folder, then
// renders the final mosaic into view and sets Rendered. Errors stop at the failing step.
void OpenProject(engine::MosaicContext& ctx, const QString& path, QImage& view,
                 imaging::Progress* progress, int viewMode = 50);

// Encodes picture by the extension of path (jpg, png, bmp, tif) through a temporary file.
void savePictureFile(const QImage& picture, const QString& path, int jpegQuality = -1);

} // namespace vantorel::workflow
