#include "imaging/image_func.h"
#include "imaging/mosaic_pattern.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace vantorel::imaging {
namespace {

using vantorel::test::compareImages;
using vantorel::test::gradientImage;
using vantorel::test::solidImage;

QImage checkerboard(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    }
    return img;
}

// --- cutting and fitting ----------------------------------------------------------------

TEST(CropResize, SourceRectangle) {
    struct Case {
        int w, h, W, H;
        TRectF expected;
    };
    const Case cases[] = {
        {200, 150, 66, 66, {25, 0, 175, 150}},
        {150, 200, 66, 66, {0, 25, 150, 175}},
        {300, 150, 66, 33, {0, 0, 300, 150}},
        {100, 100, 30, 20, {0, 1000.0f / 60, 100, 100 - 1000.0f / 60}}, // d is not rounded
        {101, 100, 100, 100, {0.5f, 0, 100.5f, 100}},
        // h * W and H * w exceed 32 bits here.
        {60000, 30000, 40000, 40000, {15000, 0, 45000, 30000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " -> " << c.W << "x" << c.H);
        const TRectF r = CropResize_SourceRect(c.w, c.h, c.W, c.H);
        EXPECT_FLOAT_EQ(r.Left, c.expected.Left);
        EXPECT_FLOAT_EQ(r.Top, c.expected.Top);
        EXPECT_FLOAT_EQ(r.Right, c.expected.Right);
        EXPECT_FLOAT_EQ(r.Bottom, c.expected.Bottom);
    }
}

TEST(CropResize, ExactSizeAndOnlyTheCentredPart) {
    // Red margins that the crop must cut away exactly.
    QImage src = solidImage(200, 150, 0x00FF00);
    {
        QPainter p(&src);
        p.fillRect(0, 0, 25, 150, Qt::red);
        p.fillRect(175, 0, 25, 150, Qt::red);
    }
    struct Case {
        int W, H;
    };
    for (const Case c : {Case{66, 66}, Case{150, 150}, Case{300, 300}, Case{7, 7}}) {
        SCOPED_TRACE(c.W);
        QImage out;
        CropResize(src, out, c.W, c.H);
        ASSERT_EQ(out.size(), QSize(c.W, c.H));
        EXPECT_EQ(out.format(), QImage::Format_ARGB32);
        EXPECT_EQ(compareImages(out, solidImage(c.W, c.H, 0x00FF00), 0,
                                QStringLiteral("cropresize-%1").arg(c.W)),
                  0);
    }
}

TEST(CropResize, SameImageAsSourceAndDestination) {
    QImage img = gradientImage(120, 80);
    QImage expected;
    CropResize(img, expected, 40, 40);
    CropResize(img, img, 40, 40);
    EXPECT_EQ(compareImages(img, expected, 0, QStringLiteral("cropresize-alias")), 0);
}

TEST(CropResize, LargeReductionAveragesInsteadOfAliasing) {
    QImage out;
    CropResize(checkerboard(1600, 1200), out, 200, 200);
    ASSERT_EQ(out.size(), QSize(200, 200));
    EXPECT_LE(
        compareImages(out, solidImage(200, 200, 0x808080), 1, QStringLiteral("cropresize-checker")),
        1);
}

TEST(CropResize, DegenerateInputsDoNotCrash) {
    QImage out = solidImage(3, 3, 0);
    CropResize(QImage(), out, 10, 10);
    EXPECT_EQ(out.size(), QSize(10, 10));
    EXPECT_EQ(out.pixel(5, 5), 0u);
    CropResize(solidImage(10, 10, 0), out, 0, 10);
    EXPECT_TRUE(out.isNull());
}

TEST(BitmapFitInto, KeepsAspectAndEnlarges) {
    struct Case {
        int w, h, W, H, tw, th;
    };
    const Case cases[] = {
        {200, 100, 90, 90, 90, 45}, {10, 5, 100, 100, 100, 50}, {30, 90, 60, 60, 20, 60},
        {49, 49, 49, 100, 49, 49},  {1000, 1, 10, 10, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        QImage out;
        Bitmap_FitInto(solidImage(c.w, c.h, 0x123456), out, c.W, c.H);
        EXPECT_EQ(out.width(), c.th ? c.tw : 0);
        EXPECT_EQ(out.height(), c.th);
    }
    QImage keep = solidImage(4, 4, 0xABCDEF);
    Bitmap_FitInto(QImage(), keep, 50, 50);
    EXPECT_EQ(keep.size(), QSize(4, 4));
    EXPECT_EQ(keep.pixel(1, 1), 0xFFABCDEFu);
}

TEST(BitmapFitInto, TransparentPartsLieOnWhite) {
    QImage src(8, 8, QImage::Format_ARGB32);
    src.fill(0x00000000u);
    QImage out;
    Bitmap_FitInto(src, out, 8, 8);
    EXPECT_EQ(out.pixel(3, 3), 0xFFFFFFFFu);
}

TEST(BitmapFitCentered, BandWithBackgroundAboveAndBelow) {
    QImage out;
    Bitmap_FitCentered(solidImage(200, 100, 0xFF0000), out, 90, 90, 0xFFFFFFFFu);
    ASSERT_EQ(out.size(), QSize(90, 90));
    for (const int x : {0, 45, 89}) {
        EXPECT_EQ(out.pixel(x, 21), 0xFFFFFFFFu) << x;
        EXPECT_EQ(out.pixel(x, 22), 0xFFFF0000u) << x;
        EXPECT_EQ(out.pixel(x, 66), 0xFFFF0000u) << x;
        EXPECT_EQ(out.pixel(x, 67), 0xFFFFFFFFu) << x;
    }
    // The source may be the destination.
    QImage same = solidImage(100, 200, 0x0000FF);
    Bitmap_FitCentered(same, same, 90, 90, 0x00000000u);
    EXPECT_EQ(same.pixel(21, 45), 0u);
    EXPECT_EQ(same.pixel(22, 45), 0xFF0000FFu);
}

TEST(CanvasDrawBitmapFit, PaintsOnlyTheFittedBox) {
    QImage canvas(100, 50, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(0u);
    {
        QPainter p(&canvas);
        Canvas_DrawBitmapFit(solidImage(20, 20, 0x00FF00), p, 100, 50);
        Canvas_DrawBitmapFit(QImage(), p, 100, 50);
    }
    EXPECT_EQ(canvas.pixel(24, 25), 0u);
    EXPECT_EQ(canvas.pixel(25, 25), 0xFF00FF00u);
    EXPECT_EQ(canvas.pixel(74, 25), 0xFF00FF00u);
    EXPECT_EQ(canvas.pixel(75, 25), 0u);
}

// --- pixel operations -------------------------------------------------------------------

TEST(BitmapGray, LumaTruncatedAlphaKept) {
    struct Case {
        QRgb in, out;
    };
    const Case cases[] = {
        {0xFFFF0000u, 0xFF4C4C4Cu}, // 76
        {0x8000FF00u, 0x80959595u}, // 149
        {0x000000FFu, 0x001D1D1Du}, // 29
        {0xFF808080u, 0xFF7F7F7Fu}, // the weights sum just below 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        QImage img(3, 2, QImage::Format_ARGB32);
        img.fill(c.in);
        Bitmap_Gray(img);
        EXPECT_EQ(img.pixel(2, 1), c.out);
    }
}

TEST(BitmapAddRGB, OffsetsClampAndAlphaStays) {
    struct Case {
        int dR, dG, dB;
        QRgb out;
    };
    const Case cases[] = {
        {300, 0, 0, 0x80FF6432u},    {-300, 0, 0, 0x80006432u},      {0, 0, 0, 0x80646432u},
        {10, -10, 300, 0x806E5AFFu}, {-100, -100, -50, 0x80000000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dR << "," << c.dG << "," << c.dB);
        QImage img(5, 3, QImage::Format_ARGB32);
        img.fill(0x80646432u);
        Bitmap_AddRGB(img, c.dR, c.dG, c.dB);
        EXPECT_EQ(img.pixel(0, 0), c.out);
        EXPECT_EQ(img.pixel(4, 2), c.out);
    }
}

TEST(BitmapShiftToColor, TruncatesTowardZero) {
    struct Case {
        int targetRed;
        Single factor;
        int red;
    };
    const Case cases[] = {{151, 0.5f, 125}, {49, 0.5f, 75}, {200, 1.0f, 200}, {200, 0.0f, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.targetRed << " at " << c.factor);
        TimgColorInfo tile{}, target{};
        tile.ci1.rgb = MakeAlphaColor(100, 50, 50, 255);
        target.ci1.rgb = MakeAlphaColor(c.targetRed, 50, 50, 255);
        QImage img = solidImage(4, 4, 0x643232);
        Bitmap_ShiftToColor(img, tile, target, c.factor);
        EXPECT_EQ(img.pixel(1, 1), MakeAlphaColor(c.red, 50, 50, 255));
    }
}

TEST(BitmapApplyAlphaMask, ThresholdAt128) {
    QImage mask(4, 1, QImage::Format_ARGB32);
    const QRgb alphas[4] = {0x7F000000u, 0x80000000u, 0xFF000000u, 0u};
    for (int x = 0; x < 4; ++x)
        mask.setPixel(x, 0, alphas[x]);
    QImage target = solidImage(4, 1, 0x336699);
    Bitmap_ApplyAlphaMask(mask, target);
    EXPECT_EQ(target.pixel(0, 0), 0u);
    EXPECT_EQ(target.pixel(1, 0), 0x80336699u);
    EXPECT_EQ(target.pixel(2, 0), 0xFF336699u);
    EXPECT_EQ(target.pixel(3, 0), 0u);
}

TEST(BitmapApplyAlphaMask, ShapeIconScaledToTheTile) {
    QImage icon;
    Draw_ShapeIcon(20, icon);
    QImage tile = solidImage(66, 66, 0xC08040);
    Bitmap_ApplyAlphaMask(icon, tile);
    ASSERT_EQ(tile.size(), QSize(66, 66));
    EXPECT_EQ(tile.pixel(33, 33), 0xFFC08040u);
    EXPECT_EQ(tile.pixel(2, 2), 0u);
    EXPECT_EQ(tile.pixel(63, 63), 0u);
    // Edge pixels keep an intermediate alpha or are cleared; none keeps colour below 128.
    for (int y = 0; y < 66; ++y)
        for (int x = 0; x < 66; ++x) {
            const QRgb p = tile.pixel(x, y);
            if (p != 0u) {
                ASSERT_GE(qAlpha(p), 128) << x << "," << y;
            }
        }
}

TEST(BitmapApplyAlphaMask, ChangedMaskIsNotServedFromAnOldScaling) {
    QImage mask(32, 32, QImage::Format_ARGB32);
    mask.fill(0xFF000000u);
    QImage a = solidImage(8, 8, 0x336699);
    Bitmap_ApplyAlphaMask(mask, a);
    EXPECT_EQ(a.pixel(4, 4), 0xFF336699u);
    mask.fill(0u);
    QImage b = solidImage(8, 8, 0x336699);
    Bitmap_ApplyAlphaMask(mask, b);
    EXPECT_EQ(b.pixel(4, 4), 0u);
    QImage c = solidImage(8, 8, 0x336699);
    Bitmap_ApplyAlphaMask(QImage(), c); // nothing drawn into the temporary: all cleared
    EXPECT_EQ(c.pixel(4, 4), 0u);
}

TEST(BitmapRotate, SizesAndBlackCorners) {
    struct Case {
        int w, h;
        Single degrees;
        int nw, nh;
    };
    const Case cases[] = {
        {66, 66, 30, 90, 90},  {66, 40, 90, 40, 66}, {66, 40, 180, 66, 40},
        {66, 40, -90, 40, 66}, {66, 66, 45, 93, 93}, {400, 300, 330, 496, 459},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " by " << c.degrees);
        QImage img = solidImage(c.w, c.h, 0xFFFFFF);
        Bitmap_Rotate(img, c.degrees);
        ASSERT_EQ(img.size(), QSize(c.nw, c.nh));
        EXPECT_EQ(img.format(), QImage::Format_ARGB32);
        EXPECT_EQ(img.pixel(c.nw / 2, c.nh / 2), 0xFFFFFFFFu);
        if (int(c.degrees) % 90 != 0) {
            EXPECT_EQ(img.pixel(0, 0), 0xFF000000u);
        }
    }
}

TEST(BitmapRotate, QuarterTurnMovesPixelsExactly) {
    QImage img = gradientImage(6, 4);
    const QImage before = img;
    Bitmap_Rotate(img, 90);
    ASSERT_EQ(img.size(), QSize(4, 6));
    // Clockwise on screen (y points down): source (x, y) lands at (h - 1 - y, x), up to the
    // filter's rounding.
    QImage expected(4, 6, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            expected.setPixel(3 - y, x, before.pixel(x, y));
    EXPECT_LE(compareImages(img, expected, 2, QStringLiteral("rotate-90")), 2);
}

TEST(BitmapRotate, ZeroChangesNothing) {
    QImage img = gradientImage(31, 17);
    const QImage before = img;
    Bitmap_Rotate(img, 0);
    EXPECT_EQ(img, before);
    EXPECT_EQ(img.constBits(), before.constBits());
}

TEST(PixelOperations, ExtremeArgumentsClampInsteadOfOverflowing) {
    QImage img = solidImage(3, 3, 0x102030);
    Bitmap_AddRGB(img, std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), 0);
    EXPECT_EQ(img.pixel(1, 1), 0xFFFF0030u);

    TimgColorInfo tile{}, target{};
    tile.ci1.rgb = 0xFF000000u;
    target.ci1.rgb = 0xFFFFFFFFu;
    QImage shifted = solidImage(3, 3, 0x102030);
    Bitmap_ShiftToColor(shifted, tile, target, 1e30f);
    EXPECT_EQ(shifted.pixel(0, 0), 0xFFFFFFFFu);

    QImage turned = gradientImage(5, 5);
    const QImage before = turned;
    Bitmap_Rotate(turned, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(turned, before);
}

// --- drawing ----------------------------------------------------------------------------

TEST(BitmapDrawOpacity, BlendsAtTheOpacity) {
    QImage dest = solidImage(40, 40, 0x000000);
    const QImage src = solidImage(10, 10, 0xFFFFFF);
    Bitmap_DrawOpacity(src, dest, {0, 0, 10, 10}, {10, 10, 30, 30}, 0.5f);
    EXPECT_EQ(dest.format(), QImage::Format_ARGB32);
    EXPECT_EQ(dest.pixel(5, 5), 0xFF000000u);
    EXPECT_NEAR(qRed(dest.pixel(20, 20)), 128, 1);
    EXPECT_EQ(qAlpha(dest.pixel(20, 20)), 255);

    // A strong reduction is averaged, not sampled.
    QImage grey = solidImage(10, 10, 0xFF0000);
    Bitmap_DrawOpacity(checkerboard(400, 400), grey, {0, 0, 400, 400}, {0, 0, 10, 10}, 1.0f);
    EXPECT_NEAR(qRed(grey.pixel(5, 5)), 128, 2);
    EXPECT_NEAR(qGreen(grey.pixel(5, 5)), 128, 2);
}

TEST(DrawColorInfoCard, PictureSwatchAndGrid) {
    TimgColorInfo info{};
    SetColorInfo15(info.ci1, 10, 200, 30);
    for (int k = 0; k < 64; ++k)
        info.ci64[k].rgb = MakeAlphaColor(k * 4, 0, 255 - k * 4, 255);
    QImage card = solidImage(3, 3, 0);
    Draw_ColorInfoCard(info, solidImage(256, 128, 0xFF0000), card);
    ASSERT_EQ(card.size(), QSize(128, 192));
    EXPECT_EQ(card.format(), QImage::Format_ARGB32);
    EXPECT_EQ(card.pixel(10, 10), 0u);          // above the 128 x 64 picture
    EXPECT_EQ(card.pixel(64, 64), 0xFFFF0000u); // the picture
    EXPECT_EQ(card.pixel(32, 160), info.ci1.rgb);
    EXPECT_EQ(card.pixel(0, 128), 0u); // rounded corner
    EXPECT_EQ(card.pixel(64 + 3, 128 + 3), info.ci64[0].rgb);
    EXPECT_EQ(card.pixel(64 + 8 * 7 + 3, 128 + 8 * 5 + 3), info.ci64[5 * 8 + 7].rgb);
    EXPECT_EQ(card.pixel(64 + 7, 128 + 3), 0u); // the gap between swatches
}

TEST(ToWorkingFormat, StraightAlphaOut) {
    QImage pre(2, 2, QImage::Format_ARGB32_Premultiplied);
    pre.fill(QColor(255, 0, 0, 128));
    const QImage w = toWorkingFormat(pre);
    EXPECT_EQ(w.format(), QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(w.pixel(0, 0)), 128);
    EXPECT_EQ(qRed(w.pixel(0, 0)), 255);
    EXPECT_TRUE(toWorkingFormat(QImage()).isNull());
}

} // namespace
} // namespace vantorel::imaging
