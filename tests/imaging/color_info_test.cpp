#include "imaging/color_info.h"
#include "test_support.h"

#include <QPainter>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace vantorel::imaging {
namespace {

using vantorel::test::solidImage;

TEST(ColorPacking, ChannelsLandWhereTheFilesExpectThem) {
    const TAlphaColor c = MakeAlphaColor(0x11, 0x22, 0x33, 0x44);
    EXPECT_EQ(c, 0x44112233u);
    std::int32_t a, r, g, b;
    SplitAlphaColor(c, a, b, g, r);
    EXPECT_EQ(a, 0x44);
    EXPECT_EQ(r, 0x11);
    EXPECT_EQ(g, 0x22);
    EXPECT_EQ(b, 0x33);

    // Trgba reads r + g*256 + b*65536 + a*16777216 as a little-endian word.
    const Trgba rgba = MakeRGBA(0x111, 0x22, 0x33, 0x44);
    std::uint32_t word;
    std::memcpy(&word, &rgba, 4);
    EXPECT_EQ(word, 0x44332211u);

    EXPECT_EQ(ClampByte(-5), 0);
    EXPECT_EQ(ClampByte(0), 0);
    EXPECT_EQ(ClampByte(200), 200);
    EXPECT_EQ(ClampByte(255), 255);
    EXPECT_EQ(ClampByte(999), 255);
}

struct LabCase {
    int r, g, b;
    int L, a, bb;
};

TEST(RGBtoLab, QuotedValues) {
    const LabCase cases[] = {
        {255, 255, 255, 100, 0, 0}, {0, 0, 0, 0, 0, 0},        {255, 0, 0, 53, 80, 67},
        {0, 255, 0, 88, -86, 83},   {0, 0, 255, 32, 79, -108}, {128, 128, 128, 76, 0, 0},
        {132, 112, 94, 73, 3, 9},
    };
    for (const LabCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
        std::int32_t L, aPlus, bPlus;
        RGBtoLab(c.r, c.g, c.b, L, aPlus, bPlus);
        EXPECT_EQ(L, c.L);
        EXPECT_EQ(aPlus - 128, c.a);
        EXPECT_EQ(bPlus - 128, c.bb);
    }
}

TEST(RGBtoHSV, BranchesAndWrap) {
    struct Case {
        TRGBInt in;
        double h, s, v;
    };
    const Case cases[] = {
        {{255, 0, 0, 0}, 0, 100, 100}, // red branch gives 360, which wraps to 0
        {{0, 255, 0, 0}, 120, 100, 100},
        {{0, 0, 255, 0}, 240, 100, 100},
        {{255, 0, 128, 0}, (0 - 128) * 60 / 255.0 + 360, 100, 100},
        {{128, 128, 128, 0}, 0, 0, 128 * 100 / 255.0},
        {{0, 0, 0, 0}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in.r << "," << c.in.g << "," << c.in.b);
        const THSVColor hsv = RGBtoHSV(c.in);
        EXPECT_DOUBLE_EQ(hsv.h, c.h);
        EXPECT_DOUBLE_EQ(hsv.s, c.s);
        EXPECT_DOUBLE_EQ(hsv.v, c.v);
    }
}

TEST(HSVtoRGB, SectorsTruncationAndLuma) {
    struct Case {
        THSVColor in;
        int r, g, b, gray;
    };
    const Case cases[] = {
        {{0, 0, 50}, 127, 127, 127, 126}, // trunc(127.5); the luma sum falls just short
        {{360, 100, 100}, 255, 0, 0, 76}, // 360 lands in sector 0
        {{0, 100, 100}, 255, 0, 0, 76},       {{120, 100, 100}, 0, 255, 0, 149},
        {{240, 100, 100}, 0, 0, 255, 29},     {{30, 100, 100}, 255, 127, 0, 150},
        {{180, 50, 100}, 127, 255, 255, 216},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in.h << "," << c.in.s << "," << c.in.v);
        const TRGBInt rgb = HSVtoRGB(c.in);
        EXPECT_EQ(rgb.r, c.r);
        EXPECT_EQ(rgb.g, c.g);
        EXPECT_EQ(rgb.b, c.b);
        EXPECT_EQ(rgb.gray, c.gray);
    }
}

TEST(ColorScaleSatVal, FactorOneKeepsColourAndDropsAlpha) {
    const TAlphaColor colours[] = {0x8084705Eu, 0x00FF0000u, 0xFF3366CCu, 0x7F808080u};
    for (const TAlphaColor c : colours) {
        SCOPED_TRACE(c);
        const TAlphaColor out = Color_ScaleSatVal(c, 1.0f);
        EXPECT_EQ(qAlpha(out), 255);
        EXPECT_NEAR(qRed(out), qRed(c), 1);
        EXPECT_NEAR(qGreen(out), qGreen(c), 1);
        EXPECT_NEAR(qBlue(out), qBlue(c), 1);
    }
}

TEST(ColorScaleSatVal, CapsSaturationAndValueAtExactly100) {
    // (100, 50, 50): s = 50, v = 39.2; a factor of 10 caps both at 100 -> pure red.
    EXPECT_EQ(Color_ScaleSatVal(0xFF643232u, 10.0f), 0xFFFF0000u);
    // A grey has s = 0, so only the value grows: to white.
    EXPECT_EQ(Color_ScaleSatVal(0xFF404040u, 5.0f), 0xFFFFFFFFu);
    // No lower bound: factor 0 gives black.
    EXPECT_EQ(Color_ScaleSatVal(0xFF643232u, 0.0f), 0xFF000000u);
}

TEST(ColorConversions, NonFiniteInputsGiveDefinedResults) {
    // Values read from damaged project files must not reach undefined conversions.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const TRGBInt a = HSVtoRGB({nan, 50, 50});
    const TRGBInt b = HSVtoRGB({0, 0, 1e300});
    for (const int ch : {a.r, a.g, a.b, a.gray}) {
        EXPECT_GE(ch, 0);
        EXPECT_LE(ch, 255);
    }
    EXPECT_EQ(b.r, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(qAlpha(Color_ScaleSatVal(0xFF643232u, std::numeric_limits<float>::quiet_NaN())), 255);
    EXPECT_EQ(truncToInt(-2.7), -2);
    EXPECT_EQ(truncToInt(-1e12), std::numeric_limits<std::int32_t>::min());
}

void expectEntry(const TColorInfo15& ci, int r, int g, int b) {
    EXPECT_EQ(ci.rgba.r, r);
    EXPECT_EQ(ci.rgba.g, g);
    EXPECT_EQ(ci.rgba.b, b);
    EXPECT_EQ(ci.rgba.a, 255);
    EXPECT_EQ(ci.rgb & 0xFFFFFFu, MakeAlphaColor(r, g, b, 0));
    std::int32_t L, a, bb;
    RGBtoLab(r, g, b, L, a, bb);
    EXPECT_EQ(ci.Lab.X, float(L));
    EXPECT_EQ(ci.Lab.Y, float(a - 128));
    EXPECT_EQ(ci.Lab.Z, float(bb - 128));
    EXPECT_EQ(ci.Lab.W, 1.0f);
}

TEST(GetColorInfo, UniformRegionGivesOneColourEverywhere) {
    const QImage img = solidImage(37, 23, 0x84705E);
    TimgColorInfo info;
    std::memset(&info, 0xAB, sizeof info);
    GetColorInfo(img, {1.25f, 0.5f, 36.0f, 22.75f}, info);
    for (int k = 0; k < 64; ++k) {
        SCOPED_TRACE(k);
        expectEntry(info.ci64[k], 132, 112, 94);
        EXPECT_EQ(info.ci64[k].rgb, 0xFF84705Eu);
        EXPECT_EQ(info.ci64[k].hsl.h, 0.0f);
    }
    for (int q = 0; q < 4; ++q)
        expectEntry(info.ci4[q], 132, 112, 94);
    expectEntry(info.ci1, 132, 112, 94);
    EXPECT_EQ(info.ci1.Lab.X, 73.0f);
    EXPECT_EQ(info.ci1.Lab.Y, 3.0f);
    EXPECT_EQ(info.ci1.Lab.Z, 9.0f);
}

TEST(GetColorInfo, ZonesKeepSampledAlphaButSummariesAreOpaque) {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(0x80203040u);
    TimgColorInfo info{};
    GetColorInfo(img, {0, 0, 16, 16}, info);
    EXPECT_EQ(info.ci64[9].rgb, 0x80203040u);
    EXPECT_EQ(info.ci64[9].rgba.a, 255);
    EXPECT_EQ(info.ci4[0].rgb, 0xFF203040u);
    EXPECT_EQ(info.ci1.rgb, 0xFF203040u);
}

TEST(GetColorInfo, ZeroWeightZonesDoNotReachCi1) {
    const int zeroZones[] = {0, 1, 6, 7, 8, 15, 48, 55, 56, 57, 62, 63};
    int weightSum = 0;
    for (int k = 0; k < 64; ++k)
        weightSum += ZoneWeight[k];
    EXPECT_EQ(weightSum, kZoneWeightSum);
    for (const int k : zeroZones)
        EXPECT_EQ(ZoneWeight[k], 0) << k;

    const QImage plain = solidImage(80, 80, 0x406080);
    QImage marked = plain;
    {
        QPainter p(&marked);
        for (const int k : zeroZones)
            p.fillRect((k % 8) * 10, (k / 8) * 10, 10, 10, Qt::red);
    }
    TimgColorInfo a{}, b{};
    GetColorInfo(plain, {0, 0, 80, 80}, a);
    GetColorInfo(marked, {0, 0, 80, 80}, b);
    EXPECT_EQ(std::memcmp(&a.ci1, &b.ci1, sizeof a.ci1), 0);
    EXPECT_NE(std::memcmp(&a.ci4, &b.ci4, sizeof a.ci4), 0);
    EXPECT_NE(std::memcmp(&a.ci64, &b.ci64, sizeof a.ci64), 0);
    EXPECT_EQ(b.ci64[0].rgba.r, 255);
}

TEST(GetColorInfo, EmptyRectangleSamplesTransparentBlack) {
    const QImage img = solidImage(20, 20, 0xFFFFFF);
    const TRectF empties[] = {{5, 5, 5, 10}, {5, 5, 10, 5}, {10, 10, 5, 5}, {30, 30, 40, 40}};
    for (const TRectF& r : empties) {
        SCOPED_TRACE(testing::Message() << r.Left << "," << r.Top << "," << r.Right);
        TimgColorInfo info;
        std::memset(&info, 0xAB, sizeof info);
        GetColorInfo(img, r, info);
        for (int k = 0; k < 64; ++k)
            EXPECT_EQ(info.ci64[k].rgb, 0u);
        expectEntry(info.ci1, 0, 0, 0);
        expectEntry(info.ci4[3], 0, 0, 0);
    }
}

TEST(GetColorInfo16, BlackAndWhiteHalves) {
    QImage img = solidImage(16, 16, 0x000000);
    {
        QPainter p(&img);
        p.fillRect(8, 0, 8, 16, Qt::white);
    }
    TimgColorInfo info;
    std::memset(&info, 0x5A, sizeof info);
    const TimgColorInfo before = info;
    GetColorInfo16(img, {0, 0, 16, 16}, info);
    expectEntry(info.ci4[0], 0, 0, 0);
    expectEntry(info.ci4[2], 0, 0, 0);
    expectEntry(info.ci4[1], 255, 255, 255);
    expectEntry(info.ci4[3], 255, 255, 255);
    expectEntry(info.ci1, 127, 127, 127);
    EXPECT_EQ(std::memcmp(&info.ci64, &before.ci64, sizeof info.ci64), 0);
}

// A 4 x 1 row of greys 0, 100, 200, 40.
QImage greyRow() {
    QImage img(4, 1, QImage::Format_ARGB32);
    const int v[4] = {0, 100, 200, 40};
    for (int x = 0; x < 4; ++x)
        img.setPixel(x, 0, qRgb(v[x], v[x], v[x]));
    return img;
}

TEST(AreaAverage, WeighsPartialPixelsByCoverage) {
    struct Case {
        double l, r;
        int outW;
        std::vector<int> expected; // grey per output pixel; -1 = transparent black
    };
    const Case cases[] = {
        {0.5, 2.5, 1, {100}},     // (0.5*0 + 100 + 0.5*200) / 2
        {0.5, 2.5, 2, {50, 150}}, // half pixels on each side
        {0.0, 4.0, 2, {50, 120}}, // whole pixels
        {-2.0, 2.0, 1, {50}},     // the part outside the bitmap does not count
        {-4.0, 2.0, 2, {-1, 50}}, // an output pixel wholly outside stays empty
        {1.25, 1.75, 1, {100}},   // inside a single pixel
        {2.5, 3.5, 1, {120}},     // (200 + 40) / 2
    };
    const QImage img = greyRow();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.l << ".." << c.r << " -> " << c.outW);
        const QImage out = areaAverageTo(img, c.l, 0, c.r, 1, c.outW, 1);
        ASSERT_EQ(out.size(), QSize(c.outW, 1));
        for (int x = 0; x < c.outW; ++x) {
            const QRgb p = out.pixel(x, 0);
            if (c.expected[std::size_t(x)] < 0) {
                EXPECT_EQ(p, 0u);
            } else {
                EXPECT_EQ(qAlpha(p), 255);
                EXPECT_EQ(qRed(p), c.expected[std::size_t(x)]);
            }
        }
    }
}

TEST(AreaAverage, LargeReductionSeesEveryPixel) {
    // A one-pixel checkerboard has mean 127.5 everywhere; a sampler that reads a few
    // pixels per zone would report pure black or white.
    QImage img(800, 600, QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    }
    TimgColorInfo info{};
    GetColorInfo(img, {0, 0, 800, 600}, info);
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(info.ci64[k].rgba.r, 128) << k;
    EXPECT_EQ(info.ci1.rgba.g, 128);
}

TEST(AreaAverage, AcceptsOtherPixelFormats) {
    QImage img(10, 10, QImage::Format_RGB888);
    img.fill(QColor(10, 20, 30));
    const QImage out = AreaAverage(img, {0, 0, 10, 10}, 8);
    EXPECT_EQ(out.format(), QImage::Format_ARGB32);
    EXPECT_EQ(out.pixel(7, 7), 0xFF0A141Eu);
}

} // namespace
} // namespace vantorel::imaging
