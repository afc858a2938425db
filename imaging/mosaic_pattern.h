#pragma once
// Tile patterns (*.pat files), shape codes and their outlines, per-cell geometry under a
// pattern, and the shape drawing used by the renderer and the windows.
#include "imaging/color_info.h"
#include "imaging/geometry.h"
#include "imaging/short_string.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <array>
#include <stdexcept>
#include <cstdint>
#include <vector>

namespace vantorel::imaging {

struct TPatternCell {
    std::int32_t shape; // shape code
    Single angle;       // rotation of the cell shape, radians
    double scaleX;      // horizontal pitch factor of this entry
    double scaleY;      // vertical pitch factor
    double offsetX;     // horizontal shift in cell widths
    double offsetY;     // vertical shift in cell heights
};
static_assert(sizeof(TPatternCell) == 40);
static_assert(offsetof(TPatternCell, angle) == 4);
static_assert(offsetof(TPatternCell, scaleX) == 8);
static_assert(offsetof(TPatternCell, scaleY) == 16);
static_assert(offsetof(TPatternCell, offsetX) == 24);
static_assert(offsetof(TPatternCell, offsetY) == 32);

struct TpatternCfg {
    ShortString<251> Name; // display name; stock files leave it empty
    Single Hscale;         // overall horizontal pitch factor
    Single Vscale;         // overall vertical pitch factor
    std::int32_t HorzGroupCount; // columns of the repeating group, 1..8
    std::int32_t VertGroupCount; // rows of the repeating group, 1..8
    std::int32_t filler;         // alignment, written as 0
    TPatternCell CellGroup[8][8]; // [group row][group column]
};
static_assert(sizeof(TpatternCfg) == 2832);
static_assert(offsetof(TpatternCfg, Hscale) == 252);
static_assert(offsetof(TpatternCfg, Vscale) == 256);
static_assert(offsetof(TpatternCfg, HorzGroupCount) == 260);
static_assert(offsetof(TpatternCfg, VertGroupCount) == 264);
static_assert(offsetof(TpatternCfg, CellGroup) == 272);

struct Tpoly {
    TPointF pt[11];
    std::int32_t Count; // points in use
};
static_assert(sizeof(Tpoly) == 92);
static_assert(offsetof(Tpoly, Count) == 88);

// Shape codes with an outline or an ellipse.
enum ShapeCode : std::int32_t {
    kShapeRect0 = 0, kShapeRect1 = 1, kShapeRect = 10, kShapeEllipse = 20,
    kShapeTriangleUp = 30, kShapeTriangleDown = 32, kShapeRhombus = 40, kShapeKite = 41,
    kShapeTrapezoid = 42, kShapeHexagonPointed = 60, kShapeHexagonFlat = 61, kShapeOctagon = 80,
};

TPatternCell PatternCell_Default();
// Resets scales, group counts and all 64 entries; Name is not touched.
void PatternCfg_Default(TpatternCfg& p);
// A default pattern with an empty, zero-filled Name.
TpatternCfg PatternCfg_Make();

// Thrown for a pattern file that cannot be used (unreadable, short, bad group counts).
struct PatternError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Reads a .pat file; throws PatternError for a missing, short or inconsistent file.
TpatternCfg Pattern_LoadFile(const QString& path);
// Decodes a 2832-byte pattern image; throws PatternError when group counts lie outside 1..8.
TpatternCfg Pattern_FromBytes(const QByteArray& bytes, const QString& what);
// Writes p as a .pat file (through a temporary file); throws PatternError on failure.
void Pattern_SaveFile(const TpatternCfg& p, const QString& path);
QByteArray Pattern_ToBytes(const TpatternCfg& p);
// Clears both lists and appends every *.pat of the folders, in order, sorted by name.
void Pattern_ListFiles(QStringList& names, QStringList& paths, const QStringList& folders);

TRectF Pattern_CellRect(int column, int row, Single w, Single h, Single gx, Single gy,
                        const TpatternCfg& p);
std::int32_t Pattern_CellShape(const TpatternCfg& p, int column, int row);
Single Pattern_CellAngle(const TpatternCfg& p, int column, int row);

// Outline of shape s (w x h about the origin), turned by rotation and moved to centre.
Tpoly Shape_GetPoly(std::int32_t s, double w, double h, double rotation, TPointF centre);

// Black 1-pixel outline, then the fill over it at fillOpacity when fill is set.
void Draw_Poly(QPainter& canvas, const Tpoly& poly, bool fill, Single fillOpacity,
               TAlphaColor fillColor, Single scale);
std::vector<QPointF> Draw_PolyAt(QPainter& canvas, const Tpoly& poly, bool fill,
                                 Single fillOpacity, TAlphaColor fillColor, Single scale,
                                 QPointF offset);
void Draw_Ellipse(QPainter& canvas, const TRectF& rect, double rotation, bool fill,
                  Single fillOpacity, TAlphaColor fillColor, Single scale);
void Draw_EllipseAt(QPainter& canvas, const TRectF& rect, double rotation, bool fill,
                    Single fillOpacity, TAlphaColor fillColor, Single scale, QPointF offset);
void Draw_ShapeInRect(QPainter& canvas, const TRectF& rect, std::int32_t s, bool fill,
                      Single opacity, TAlphaColor color, Single scale);
// Makes bitmap the 256 x 256 icon of shape s: transparent outside, light blue inside.
void Draw_ShapeIcon(std::int32_t s, QImage& bitmap);

// The 8 x 8 shape masks of the current pattern's cell group.
using MaskBitmaps = std::array<std::array<QImage, 8>, 8>;
MaskBitmaps& GroupMaskBitmaps();
void Pattern_BuildCellIcons(const TpatternCfg& p);

// The wizard's tile shape sample: a box of aspect aw:ah with the shape drawn in it.
void Draw_CellShapePreview(QImage& bitmap, Single aw, Single ah, std::int32_t s,
                           Single screenScale = 1.0f);

} // namespace vantorel::imaging
