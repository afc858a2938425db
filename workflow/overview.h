#pragma once
// The overview picture: the whole mosaic as one bitmap of bounded size, shown by the
// overview window and used as the mosaic picture of the guide cards.
#include "engine/mosaic_context.h"
#include "imaging/progress.h"

#include <QImage>
#include <QSizeF>

namespace vantorel::workflow {

// (0, 0, w, h) scaled, up or down, so that it fits into side x side with its aspect kept;
// unchanged when a side or the size is not positive.
QSizeF fitIntoSquare(QSizeF size, double side);

// OverviewBitmap := the main view (logical size fitted into 1024 x 1024) at twice that size,
// on white. A null main view gives a null overview.
void Overview_CopyMainView(engine::MosaicContext& ctx, const QImage& mainView);

// OverviewBitmap := the final mosaic drawn afresh, its longer side 4096 pixels, on the grout
// colour or the main image. Does nothing and returns false before a search has completed.
// Throws engine::RenderError for a tile photo that cannot be read.
bool Overview_Repaint(engine::MosaicContext& ctx, imaging::Progress* progress);

} // namespace vantorel::workflow
