#include "imaging/mosaic_pattern.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTransform>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace vantorel::imaging {

static_assert(std::endian::native == std::endian::little,
              "pattern files are the raw little-endian image of TpatternCfg");

namespace {

constexpr qsizetype kPatternBytes = static_cast<qsizetype>(sizeof(TpatternCfg));
constexpr double kTwoPi = 6.283185307179586;

// Group lookups stay inside the 8 x 8 table whatever a damaged record holds.
int groupCount(std::int32_t n) {
    return std::clamp<std::int32_t>(n, 1, 8);
}

const TPatternCell& groupEntry(const TpatternCfg& p, int column, int row) {
    const int nh = groupCount(p.HorzGroupCount), nv = groupCount(p.VertGroupCount);
    const int r = ((row % nv) + nv) % nv, c = ((column % nh) + nh) % nh;
    return p.CellGroup[r][c];
}

QColor qColor(TAlphaColor c) {
    return QColor::fromRgba(c);
}

// Outline first, then the fill over it.
void strokeAndFill(QPainter& canvas, const QPointF* pts, int n, bool fill, Single fillOpacity,
                   TAlphaColor fillColor) {
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, true);
    canvas.setOpacity(1.0);
    canvas.setPen(QPen(QColor(0, 0, 0), 1.0));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawPolyline(pts, n);
    if (fill) {
        canvas.setOpacity(fillOpacity);
        canvas.setPen(Qt::NoPen);
        canvas.setBrush(qColor(fillColor));
        canvas.drawPolygon(pts, n - 1);
    }
    canvas.restore();
}

std::vector<QPointF> polyPoints(const Tpoly& poly, Single scale, QPointF offset) {
    std::vector<QPointF> pts;
    const int count = std::clamp<std::int32_t>(poly.Count, 0, 11);
    if (count == 0) return pts;
    pts.reserve(static_cast<std::size_t>(count) + 1);
    for (int i = 0; i < count; ++i)
        pts.emplace_back(double(poly.pt[i].X) * scale + offset.x(),
                         double(poly.pt[i].Y) * scale + offset.y());
    pts.push_back(pts.front());
    return pts;
}

std::vector<QPointF> ellipsePoints(const TRectF& rect, double rotation, Single scale,
                                   QPointF offset) {
    std::vector<QPointF> pts;
    pts.reserve(61);
    const double rx = rect.Width() / 2.0, ry = rect.Height() / 2.0;
    const TPointF c = rect.CenterPoint();
    const double cr = std::cos(rotation), sr = std::sin(rotation);
    for (int i = 0; i < 60; ++i) {
        const double phi = i * kTwoPi / 60;
        const double x = rx * std::cos(phi), y = ry * std::sin(phi);
        pts.emplace_back((x * cr - y * sr + c.X) * scale + offset.x(),
                         (x * sr + y * cr + c.Y) * scale + offset.y());
    }
    pts.push_back(pts.front());
    return pts;
}

} // namespace

TPatternCell PatternCell_Default() {
    return {1, 0.0f, 1.0, 1.0, 0.0, 0.0};
}

void PatternCfg_Default(TpatternCfg& p) {
    p.Hscale = 1.0f;
    p.Vscale = 1.0f;
    p.HorzGroupCount = 1;
    p.VertGroupCount = 1;
    p.filler = 0;
    for (auto& groupRow : p.CellGroup)
        for (auto& cell : groupRow)
            cell = PatternCell_Default();
}

TpatternCfg PatternCfg_Make() {
    TpatternCfg p;
    std::memset(&p, 0, sizeof p);
    PatternCfg_Default(p);
    return p;
}

TpatternCfg Pattern_FromBytes(const QByteArray& bytes, const QString& what) {
    if (bytes.size() < kPatternBytes)
        throw PatternError(QStringLiteral("Pattern file \"%1\" is damaged: %2 bytes, %3 expected")
                               .arg(what)
                               .arg(bytes.size())
                               .arg(kPatternBytes)
                               .toStdString());
    TpatternCfg p;
    std::memcpy(&p, bytes.constData(), sizeof p);
    const auto bad = [](std::int32_t n) { return n < 1 || n > 8; };
    if (bad(p.HorzGroupCount) || bad(p.VertGroupCount))
        throw PatternError(
            QStringLiteral("Pattern file \"%1\" is damaged: group of %2 x %3 cells (1..8 allowed)")
                .arg(what)
                .arg(p.HorzGroupCount)
                .arg(p.VertGroupCount)
                .toStdString());
    return p;
}

TpatternCfg Pattern_LoadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PatternError(QStringLiteral("Cannot read pattern file \"%1\": %2")
                               .arg(path, file.errorString())
                               .toStdString());
    return Pattern_FromBytes(file.read(kPatternBytes), path);
}

QByteArray Pattern_ToBytes(const TpatternCfg& p) {
    return QByteArray(reinterpret_cast<const char*>(&p), kPatternBytes);
}

void Pattern_SaveFile(const TpatternCfg& p, const QString& path) {
    QSaveFile file(path);
    const QByteArray bytes = Pattern_ToBytes(p);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw PatternError(QStringLiteral("Cannot write pattern file \"%1\": %2")
                               .arg(path, file.errorString())
                               .toStdString());
}

void Pattern_ListFiles(QStringList& names, QStringList& paths, const QStringList& folders) {
    names.clear();
    paths.clear();
    for (const QString& folder : folders) {
        const QDir dir(folder);
        if (folder.isEmpty() || !dir.exists()) continue;
        const QFileInfoList files =
            dir.entryInfoList({QStringLiteral("*.pat")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo& fi : files) {
            names.append(fi.fileName());
            paths.append(fi.filePath());
        }
    }
}

TRectF Pattern_CellRect(int column, int row, Single w, Single h, Single gx, Single gy,
                        const TpatternCfg& p) {
    const TPatternCell& e = groupEntry(p, column, row);
    const double left = (column + e.offsetX) * w * e.scaleX + double(column) * gx;
    const double top = (row + e.offsetY) * h * e.scaleY + double(row) * gy;
    return {static_cast<Single>(left), static_cast<Single>(top), static_cast<Single>(left + w),
            static_cast<Single>(top + h)};
}

std::int32_t Pattern_CellShape(const TpatternCfg& p, int column, int row) {
    return groupEntry(p, column, row).shape;
}

Single Pattern_CellAngle(const TpatternCfg& p, int column, int row) {
    return groupEntry(p, column, row).angle;
}

Tpoly Shape_GetPoly(std::int32_t s, double w, double h, double rotation, TPointF centre) {
    Tpoly poly;
    std::memset(&poly, 0, sizeof poly);
    const double x2 = w / 2, y2 = h / 2, x4 = w / 4, y4 = h / 4;
    struct P {
        double x, y;
    };
    P pts[11];
    int n = 0;
    const auto add = [&](double x, double y) { pts[n++] = {x, y}; };
    switch (s) {
    case kShapeRect0:
    case kShapeRect1:
    case kShapeRect:
        add(-x2, -y2), add(x2, -y2), add(x2, y2), add(-x2, y2);
        break;
    case kShapeTriangleUp:
        add(0, -y2), add(x2, y2), add(-x2, y2);
        break;
    case kShapeTriangleDown:
        add(0, y2), add(x2, -y2), add(-x2, -y2);
        break;
    case kShapeRhombus:
        add(0, -y2), add(x2, 0), add(0, y2), add(-x2, 0);
        break;
    case kShapeKite:
        add(0, -y2), add(x2, y4), add(0, y2), add(-x2, y4);
        break;
    case kShapeTrapezoid:
        add(-x4, -y2), add(x4, -y2), add(x2, y2), add(-x2, y2);
        break;
    case kShapeHexagonPointed:
        add(0, -y2), add(x2, -y4), add(x2, y4), add(0, y2), add(-x2, y4), add(-x2, -y4);
        break;
    case kShapeHexagonFlat:
        add(-x4, -y2), add(x4, -y2), add(x2, 0), add(x4, y2), add(-x4, y2), add(-x2, 0);
        break;
    case kShapeOctagon:
        add(-x4, -y2), add(x4, -y2), add(x2, -y4), add(x2, y4), add(x4, y2), add(-x4, y2),
            add(-x2, y4), add(-x2, -y4);
        break;
    default:
        break;
    }
    const double c = std::cos(rotation), sn = std::sin(rotation);
    for (int i = 0; i < n; ++i) {
        poly.pt[i].X = static_cast<float>(pts[i].x * c - pts[i].y * sn + centre.X);
        poly.pt[i].Y = static_cast<float>(pts[i].x * sn + pts[i].y * c + centre.Y);
    }
    poly.Count = n;
    return poly;
}

void Draw_Poly(QPainter& canvas, const Tpoly& poly, bool fill, Single fillOpacity,
               TAlphaColor fillColor, Single scale) {
    Draw_PolyAt(canvas, poly, fill, fillOpacity, fillColor, scale, QPointF(0, 0));
}

std::vector<QPointF> Draw_PolyAt(QPainter& canvas, const Tpoly& poly, bool fill, Single fillOpacity,
                                 TAlphaColor fillColor, Single scale, QPointF offset) {
    std::vector<QPointF> pts = polyPoints(poly, scale, offset);
    if (!pts.empty() && canvas.isActive())
        strokeAndFill(canvas, pts.data(), static_cast<int>(pts.size()), fill, fillOpacity,
                      fillColor);
    return pts;
}

void Draw_Ellipse(QPainter& canvas, const TRectF& rect, double rotation, bool fill,
                  Single fillOpacity, TAlphaColor fillColor, Single scale) {
    Draw_EllipseAt(canvas, rect, rotation, fill, fillOpacity, fillColor, scale, QPointF(0, 0));
}

void Draw_EllipseAt(QPainter& canvas, const TRectF& rect, double rotation, bool fill,
                    Single fillOpacity, TAlphaColor fillColor, Single scale, QPointF offset) {
    if (!canvas.isActive()) return;
    const std::vector<QPointF> pts = ellipsePoints(rect, rotation, scale, offset);
    strokeAndFill(canvas, pts.data(), static_cast<int>(pts.size()), fill, fillOpacity, fillColor);
}

void Draw_ShapeInRect(QPainter& canvas, const TRectF& rect, std::int32_t s, bool fill,
                      Single opacity, TAlphaColor color, Single scale) {
    const Tpoly poly = Shape_GetPoly(s, rect.Width(), rect.Height(), 0.0, rect.CenterPoint());
    Draw_Poly(canvas, poly, fill, opacity, color, scale);
    if (s == kShapeEllipse) Draw_Ellipse(canvas, rect, 0.0, fill, opacity, color, scale);
}

void Draw_ShapeIcon(std::int32_t s, QImage& bitmap) {
    QImage icon(256, 256, QImage::Format_ARGB32_Premultiplied);
    icon.fill(0u);
    {
        QPainter painter(&icon);
        Draw_ShapeInRect(painter, {0, 0, 256, 256}, s, true, 1.0f, 0xFF66CCFFu, 1.0f);
    }
    bitmap = icon.convertToFormat(QImage::Format_ARGB32);
}

MaskBitmaps& GroupMaskBitmaps() {
    static MaskBitmaps masks;
    return masks;
}

void Pattern_BuildCellIcons(const TpatternCfg& p) {
    MaskBitmaps& masks = GroupMaskBitmaps();
    const int nv = std::clamp<std::int32_t>(p.VertGroupCount, 0, 8);
    const int nh = std::clamp<std::int32_t>(p.HorzGroupCount, 0, 8);
    for (int r = 0; r < nv; ++r)
        for (int c = 0; c < nh; ++c)
            Draw_ShapeIcon(p.CellGroup[r][c].shape, masks[r][c]);
}

void Draw_CellShapePreview(QImage& bitmap, Single aw, Single ah, std::int32_t s,
                           Single screenScale) {
    if (bitmap.isNull()) return;
    const int W = bitmap.width(), H = bitmap.height();
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    img.fill(0u); // transparent white and transparent black coincide once premultiplied
    {
        QPainter painter(&img);
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (aw > 0 && ah > 0 && std::isfinite(aw) && std::isfinite(ah)) {
            const double k = std::min(W / double(aw), H / double(ah));
            const int rw = truncToInt(k * aw), rh = truncToInt(k * ah);
            const TRectF box{(W - rw) / 2.0f, (H - rh) / 2.0f, (W - rw) / 2.0f + rw,
                             (H - rh) / 2.0f + rh};
            painter.setBrush(qColor(0xFF66CCFFu));
            painter.setPen(Qt::NoPen);
            painter.setOpacity(0.5);
            painter.drawRoundedRect(box.toQRectF(), 2, 2);
            painter.setOpacity(1.0);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(0, 0, 0), 2.0));
            painter.drawRoundedRect(box.toQRectF(), 2, 2);
            const Single scale = screenScale > 0 ? 1.0f / screenScale : 1.0f;
            Draw_ShapeInRect(painter, box, s, true, 0.9f, 0xFFFFCC66u, scale);
        }
        painter.setOpacity(1.0);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 0, 0), 1.0));
        painter.drawRect(QRectF(0, 0, W, H));
    }
    bitmap = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < H; ++y) {
        auto* line = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
        for (int x = 0; x < W; ++x)
            if (line[x] == 0u) line[x] = 0x00FFFFFFu;
    }
}

} // namespace vantorel::imaging
