#pragma once
// Drawing the project into a view: diagnostic modes (outlines, sampled colours, tile
// colours, tile numbers) and the final mosaic of tile photos. Scales are view units per
// project unit; offsets are added after scaling.
#include "engine/mosaic_context.h"
#include "imaging/progress.h"

#include <QImage>
#include <QPainter>
#include <QPointF>
#include <stdexcept>

namespace vantorel::engine {

// What a rendering shows.
enum ViewModeCode : int {
    kViewOutline = 0,
    kViewSourceColor = 10,
    kViewTileColor = 20,
    kViewTileIdColor = 30,
    kViewTileId = 31,
    kViewFinal = 50,
};
// True for the six codes above.
bool isViewMode(int mode);

// A tile photo that could not be read; the render stops at that tile.
struct RenderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Draw_onecell_edge(const MosaicContext& ctx, const TCell& cell, QPainter& canvas, Single scale,
                       QPointF offset = {});
// Nothing for a disabled cell.
void Draw_onecell_FillColor(const MosaicContext& ctx, const TCell& cell, QPainter& canvas,
                            Single scale, QPointF offset = {});
void Draw_onecell_FillColor(const MosaicContext& ctx, int column, int row, QPainter& canvas,
                            Single scale, QPointF offset = {});
// Outline only when the cell holds no tile of the library.
void Draw_onecell_FillTilecolor(const MosaicContext& ctx, const TCell& cell, QPainter& canvas,
                                Single scale, QPointF offset = {});
// The tile number (-1 for an empty cell) centred in the cell, ctx.IDTextSize high.
void Draw_onecell_TileID(const MosaicContext& ctx, const TCell& cell, QPainter& canvas,
                         Single scale, bool withColor, QPointF offset = {});
// One cell in a diagnostic mode (0, 10, 20, 30, 31); other codes draw nothing.
void Draw_onecell(const MosaicContext& ctx, const TCell& cell, int mode, QPainter& canvas,
                  Single scale, QPointF offset = {});

// Every cell in a diagnostic mode; progress after each grid row and each hundredth of the
// ring cells.
void Draw_Allcell(const MosaicContext& ctx, QPainter& canvas, int mode, Single scale,
                  imaging::Progress* progress);
// The cells meeting r (project units), with r's top-left corner at the canvas origin, then
// r's outline in the canvas's current pen. Ring cells are all drawn.
void Draw_CellsByRange(const MosaicContext& ctx, QPainter& canvas, const TRectF& r, int mode,
                       Single scale, imaging::Progress* progress);

// The final mosaic: tile by tile, each photo prepared once for all cells that hold it.
// Throws RenderError for a tile photo that cannot be read (cells drawn so far remain).
void Draw_FinalMosaic(const MosaicContext& ctx, QPainter& canvas, Single scale,
                      imaging::Progress* progress);
// One cell of the final mosaic, drawn over what is there (tile picker, tile pen).
void Draw_FinalMosaic_OneCell(const MosaicContext& ctx, QPainter& canvas, const TCell& cell,
                              Single scale);

// Sizes target to the project at scale (Trunc(W * ScreenScale) x Trunc(H * ScreenScale)
// device pixels, device pixel ratio ScreenScale) and draws it in mode. The result is
// Format_ARGB32.
void RenderView(MosaicContext& ctx, int mode, QImage& target, Single scale,
                imaging::Progress* progress);

// Threads used to prepare the cell bitmaps of the final mosaic; 0 = one per core (at most
// 4). The drawn picture does not depend on it.
void setRenderThreads(int count);
int renderThreads();

} // namespace vantorel::engine
