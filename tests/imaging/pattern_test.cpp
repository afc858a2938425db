#include "imaging/mosaic_pattern.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>

namespace vantorel::imaging {
namespace {

using vantorel::test::ScratchDir;

struct Entry {
    int row, col, shape;
    double sx, sy, ox, oy;
};

TpatternCfg makePattern(int horz, int vert, float hs, float vs, std::initializer_list<Entry> es) {
    TpatternCfg p = PatternCfg_Make();
    p.HorzGroupCount = horz;
    p.VertGroupCount = vert;
    p.Hscale = hs;
    p.Vscale = vs;
    for (const Entry& e : es)
        p.CellGroup[e.row][e.col] = {e.shape, 0.0f, e.sx, e.sy, e.ox, e.oy};
    return p;
}

TpatternCfg rectangle21() {
    return makePattern(1, 2, 1, 1, {{0, 0, 1, 1, 1, 0, 0}, {1, 0, 1, 1, 1, 0.5, 0}});
}
TpatternCfg hexagon60() {
    return makePattern(1, 2, 1, 0.75f, {{0, 0, 60, 1, 0.75, 0, 0}, {1, 0, 60, 1, 0.75, 0.5, 0}});
}
TpatternCfg triangle2() {
    return makePattern(2, 1, 0.5f, 1, {{0, 0, 30, 0.5, 1, 0, 0}, {0, 1, 32, 0.5, 1, 0, 0}});
}

TEST(PatternDefaults, OneSquareCell) {
    const TPatternCell c = PatternCell_Default();
    EXPECT_EQ(c.shape, 1);
    EXPECT_EQ(c.angle, 0.0f);
    EXPECT_EQ(c.scaleX, 1.0);
    EXPECT_EQ(c.scaleY, 1.0);
    EXPECT_EQ(c.offsetX, 0.0);
    EXPECT_EQ(c.offsetY, 0.0);

    TpatternCfg p;
    std::memset(&p, 0x7F, sizeof p);
    p.Name.set(QStringLiteral("keep me"));
    PatternCfg_Default(p);
    EXPECT_EQ(p.Name.str(), QStringLiteral("keep me"));
    EXPECT_EQ(p.Hscale, 1.0f);
    EXPECT_EQ(p.HorzGroupCount, 1);
    EXPECT_EQ(p.VertGroupCount, 1);
    EXPECT_EQ(p.CellGroup[7][7].shape, 1);
    EXPECT_EQ(PatternCfg_Make().Name.len, 0);
}

struct RectCase {
    const char* pattern;
    int column, row;
    float w, h, gx, gy;
    TRectF expected;
};

TpatternCfg patternNamed(const std::string& name) {
    if (name == "10_Rectangle_21") return rectangle21();
    if (name == "60_hexagon") return hexagon60();
    if (name == "30_triangle_2") return triangle2();
    return PatternCfg_Make();
}

TEST(PatternCellRect, PitchOffsetsAndGaps) {
    const RectCase cases[] = {
        {"10_Rectangle_21", 0, 0, 10, 10, 0, 0, {0, 0, 10, 10}},
        {"10_Rectangle_21", 0, 1, 10, 10, 0, 0, {5, 10, 15, 20}},
        {"10_Rectangle_21", 0, 2, 10, 10, 0, 0, {0, 20, 10, 30}},
        {"10_Rectangle_21", 3, 1, 10, 10, 0, 0, {35, 10, 45, 20}},
        {"60_hexagon", 0, 1, 20, 20, 0, 0, {10, 15, 30, 35}},
        {"60_hexagon", 2, 2, 20, 20, 0, 0, {40, 30, 60, 50}},
        {"30_triangle_2", 1, 0, 10, 10, 0, 0, {5, 0, 15, 10}},
        {"30_triangle_2", 2, 0, 10, 10, 0, 0, {10, 0, 20, 10}},
        {"default", 3, 0, 10, 10, 2, 0, {36, 0, 46, 10}},   // 3 pitches + 3 gaps
        {"default", 0, 4, 10, 6, 2, 1.5f, {0, 30, 10, 36}}, // 4 * 6 + 4 * 1.5
    };
    for (const RectCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pattern << " col " << c.column << " row " << c.row);
        const TRectF r =
            Pattern_CellRect(c.column, c.row, c.w, c.h, c.gx, c.gy, patternNamed(c.pattern));
        EXPECT_FLOAT_EQ(r.Left, c.expected.Left);
        EXPECT_FLOAT_EQ(r.Top, c.expected.Top);
        EXPECT_FLOAT_EQ(r.Right, c.expected.Right);
        EXPECT_FLOAT_EQ(r.Bottom, c.expected.Bottom);
    }
}

TEST(PatternCellShape, GroupRepeatsByColumnAndRow) {
    const TpatternCfg tri = triangle2();
    EXPECT_EQ(Pattern_CellShape(tri, 0, 0), 30);
    EXPECT_EQ(Pattern_CellShape(tri, 1, 0), 32);
    EXPECT_EQ(Pattern_CellShape(tri, 2, 5), 30);
    EXPECT_EQ(Pattern_CellShape(tri, 7, 3), 32);

    TpatternCfg p = rectangle21();
    p.CellGroup[1][0].angle = 0.5f;
    EXPECT_EQ(Pattern_CellAngle(p, 4, 3), 0.5f);
    EXPECT_EQ(Pattern_CellAngle(p, 4, 2), 0.0f);
}

TEST(PatternCellShape, DamagedGroupCountsStayInsideTheTable) {
    // A pattern from a damaged project file: lookups neither divide by zero nor leave
    // the 8 x 8 group.
    TpatternCfg p = PatternCfg_Make();
    for (const int n : {0, -3, 9, 1000}) {
        SCOPED_TRACE(n);
        p.HorzGroupCount = n;
        p.VertGroupCount = n;
        EXPECT_EQ(Pattern_CellShape(p, 17, 23), 1);
        const TRectF r = Pattern_CellRect(17, 23, 10, 10, 0, 0, p);
        EXPECT_TRUE(std::isfinite(r.Left));
    }
}

TEST(ShapeGetPoly, RotatesAboutTheOriginThenMovesToCentre) {
    const Tpoly poly = Shape_GetPoly(1, 4, 2, std::numbers::pi / 2, {10, 10});
    ASSERT_EQ(poly.Count, 4);
    const TPointF expected[] = {{11, 8}, {11, 12}, {9, 12}, {9, 8}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(poly.pt[i].X, expected[i].X, 1e-5) << i;
        EXPECT_NEAR(poly.pt[i].Y, expected[i].Y, 1e-5) << i;
    }
}

TEST(ShapeGetPoly, OutlineTable) {
    struct Case {
        int shape;
        std::vector<TPointF> pts; // w = 8, h = 4, no rotation, centre (0, 0)
    };
    const Case cases[] = {
        {0, {{-4, -2}, {4, -2}, {4, 2}, {-4, 2}}},
        {10, {{-4, -2}, {4, -2}, {4, 2}, {-4, 2}}},
        {30, {{0, -2}, {4, 2}, {-4, 2}}},
        {32, {{0, 2}, {4, -2}, {-4, -2}}},
        {40, {{0, -2}, {4, 0}, {0, 2}, {-4, 0}}},
        {41, {{0, -2}, {4, 1}, {0, 2}, {-4, 1}}},
        {42, {{-2, -2}, {2, -2}, {4, 2}, {-4, 2}}},
        {60, {{0, -2}, {4, -1}, {4, 1}, {0, 2}, {-4, 1}, {-4, -1}}},
        {61, {{-2, -2}, {2, -2}, {4, 0}, {2, 2}, {-2, 2}, {-4, 0}}},
        {80, {{-2, -2}, {2, -2}, {4, -1}, {4, 1}, {2, 2}, {-2, 2}, {-4, 1}, {-4, -1}}},
        {20, {}},
        {99, {}},
        {-1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        const Tpoly poly = Shape_GetPoly(c.shape, 8, 4, 0, {0, 0});
        ASSERT_EQ(poly.Count, int(c.pts.size()));
        for (std::size_t i = 0; i < c.pts.size(); ++i) {
            EXPECT_FLOAT_EQ(poly.pt[i].X, c.pts[i].X) << i;
            EXPECT_FLOAT_EQ(poly.pt[i].Y, c.pts[i].Y) << i;
        }
    }
}

// --- files ------------------------------------------------------------------------------

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

TEST(PatternFile, SaveLoadRoundTripIsByteExact) {
    ScratchDir dir;
    TpatternCfg p = hexagon60();
    p.Name.set(QStringLiteral("Hexagons"));
    p.CellGroup[1][0].angle = 0.25f;
    const QString path = dir.file(QStringLiteral("60_hexagon.pat"));
    Pattern_SaveFile(p, path);
    EXPECT_EQ(QFileInfo(path).size(), 2832);

    const TpatternCfg q = Pattern_LoadFile(path);
    EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0);
    EXPECT_EQ(q.Name.str(), QStringLiteral("Hexagons"));

    // Spot checks of the file layout.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    std::int32_t vert;
    float vscale;
    double offsetX;
    std::memcpy(&vert, bytes.constData() + 264, 4);
    std::memcpy(&vscale, bytes.constData() + 256, 4);
    std::memcpy(&offsetX, bytes.constData() + 272 + 320 + 24, 8);
    EXPECT_EQ(vert, 2);
    EXPECT_EQ(vscale, 0.75f);
    EXPECT_EQ(offsetX, 0.5);
    EXPECT_EQ(bytes.at(0), 8);
}

TEST(PatternFile, LongerFileReadsItsFirstRecord) {
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("long.pat"));
    writeBytes(path, Pattern_ToBytes(triangle2()) + QByteArray(100, '\x01'));
    EXPECT_EQ(Pattern_LoadFile(path).CellGroup[0][1].shape, 32);
}

TEST(PatternFile, UnusableFilesAreRejectedWithTheirName) {
    ScratchDir dir;
    struct Case {
        const char* name;
        QByteArray bytes;
        bool create;
    };
    const QByteArray good = Pattern_ToBytes(rectangle21());
    const auto withCounts = [&](std::int32_t h, std::int32_t v) {
        QByteArray b = good;
        std::memcpy(b.data() + 260, &h, 4);
        std::memcpy(b.data() + 264, &v, 4);
        return b;
    };
    const Case cases[] = {
        {"missing.pat", {}, false},
        {"empty.pat", QByteArray(), true},
        {"short.pat", good.left(2831), true},
        {"horz0.pat", withCounts(0, 1), true},
        {"vert0.pat", withCounts(1, 0), true},
        {"horz9.pat", withCounts(9, 2), true},
        {"vert9.pat", withCounts(2, 9), true},
        {"negative.pat", withCounts(-1, 1), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.file(QString::fromLatin1(c.name));
        if (c.create) writeBytes(path, c.bytes);
        try {
            Pattern_LoadFile(path);
            ADD_FAILURE() << "accepted";
        } catch (const PatternError& e) {
            EXPECT_NE(std::string(e.what()).find(c.name), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(Pattern_FromBytes(withCounts(8, 8).left(100), QStringLiteral("x")), PatternError);
    EXPECT_NO_THROW(Pattern_FromBytes(withCounts(8, 8), QStringLiteral("x")));
}

TEST(PatternFile, SaveIntoMissingFolderFails) {
    ScratchDir dir;
    EXPECT_THROW(Pattern_SaveFile(PatternCfg_Make(), dir.file(QStringLiteral("no/such/x.pat"))),
                 PatternError);
}

TEST(PatternListFiles, FoldersInOrderNamesSorted) {
    ScratchDir app, user;
    const QByteArray bytes = Pattern_ToBytes(PatternCfg_Make());
    for (const char* n : {"b.pat", "a.pat", "c.pat.jpg", "notes.txt"})
        writeBytes(app.file(QString::fromLatin1(n)), bytes);
    writeBytes(user.file(QStringLiteral("0.pat")), bytes);
    QStringList names{QStringLiteral("stale")}, paths{QStringLiteral("stale")};
    Pattern_ListFiles(names, paths, {app.path(), app.file(QStringLiteral("missing")), user.path()});
    EXPECT_EQ(names, (QStringList{QStringLiteral("a.pat"), QStringLiteral("b.pat"),
                                  QStringLiteral("0.pat")}));
    ASSERT_EQ(paths.size(), 3);
    EXPECT_EQ(paths[0], app.file(QStringLiteral("a.pat")));
    EXPECT_EQ(paths[2], user.file(QStringLiteral("0.pat")));
}

// --- drawing ----------------------------------------------------------------------------

TEST(DrawShapeIcon, InsideLightBlueOutsideTransparent) {
    struct Case {
        int shape;
        QPoint outside; // a pixel well away from the outline
    };
    const Case cases[] = {{20, {5, 5}},  {30, {10, 200}}, {32, {10, 50}}, {40, {20, 20}},
                          {60, {5, 10}}, {61, {10, 5}},   {80, {3, 3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        QImage icon(3, 3, QImage::Format_RGB32);
        Draw_ShapeIcon(c.shape, icon);
        ASSERT_EQ(icon.size(), QSize(256, 256));
        EXPECT_EQ(icon.format(), QImage::Format_ARGB32);
        EXPECT_EQ(icon.pixel(128, 128), 0xFF66CCFFu);
        EXPECT_EQ(icon.pixel(c.outside), 0u);
    }
    QImage rect;
    Draw_ShapeIcon(10, rect);
    EXPECT_EQ(rect.pixel(1, 1), 0xFF66CCFFu);

    QImage unknown;
    Draw_ShapeIcon(99, unknown);
    ASSERT_EQ(unknown.size(), QSize(256, 256));
    for (int y = 0; y < 256; y += 5)
        for (int x = 0; x < 256; x += 5)
            ASSERT_EQ(unknown.pixel(x, y), 0u) << x << "," << y;
}

TEST(DrawPolyAt, ScalesOffsetsAndClosesTheOutline) {
    QImage img(64, 64, QImage::Format_ARGB32_Premultiplied);
    img.fill(0u);
    QPainter painter(&img);
    const Tpoly poly = Shape_GetPoly(10, 10, 10, 0, {10, 10});
    const std::vector<QPointF> pts =
        Draw_PolyAt(painter, poly, true, 1.0f, 0xFFFF0000u, 2.0f, QPointF(5, 7));
    ASSERT_EQ(pts.size(), 5u);
    EXPECT_EQ(pts[0], QPointF(15, 17));
    EXPECT_EQ(pts[2], QPointF(35, 37));
    EXPECT_EQ(pts[4], pts[0]);
    painter.end();
    EXPECT_EQ(img.pixel(25, 27), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(50, 50), 0u);

    QPainter again(&img);
    EXPECT_TRUE(
        Draw_PolyAt(again, Shape_GetPoly(20, 5, 5, 0, {}), true, 1, 0xFF000000u, 1, QPointF())
            .empty());
}

TEST(PatternBuildCellIcons, FillsOnlyTheGroup) {
    MaskBitmaps& masks = GroupMaskBitmaps();
    masks[1][0] = QImage();
    masks[0][1] = QImage();
    Pattern_BuildCellIcons(triangle2());
    EXPECT_EQ(masks[0][0].size(), QSize(256, 256));
    EXPECT_EQ(masks[0][1].size(), QSize(256, 256));
    EXPECT_EQ(masks[0][1].pixel(20, 20), 0xFF66CCFFu); // apex down: wide at the top
    EXPECT_EQ(masks[0][0].pixel(20, 20), 0u);
    EXPECT_TRUE(masks[1][0].isNull());
}

TEST(DrawCellShapePreview, BoxKeepsTheAspect) {
    QImage bmp(100, 60, QImage::Format_ARGB32);
    Draw_CellShapePreview(bmp, 1, 1, 20);
    ASSERT_EQ(bmp.size(), QSize(100, 60));
    EXPECT_EQ(bmp.pixel(10, 30), 0x00FFFFFFu); // beside the 60 x 60 box
    EXPECT_GT(qAlpha(bmp.pixel(0, 30)), 100);  // the frame, half of it inside
    const QRgb shape = bmp.pixel(50, 30);      // the shape at 0.9, drawn over the half-opaque box
    EXPECT_GT(qAlpha(shape), 230);
    EXPECT_GT(qRed(shape), 240);
    EXPECT_LT(qBlue(shape), 130);
    EXPECT_GT(qAlpha(bmp.pixel(23, 5)), 100); // box corner outside the ellipse
    EXPECT_LT(qAlpha(bmp.pixel(23, 5)), 255);
}

} // namespace
} // namespace vantorel::imaging
