#pragma once
// Colour description of an image region (whole region, quarters, 8 x 8 zones), the colour
// conversions it is built from, and the packing helpers. The records are stored byte for
// byte in imagelib.dat and Mosaic.Prj.
#include "imaging/geometry.h"
#include <QImage>
#include <cstddef>
#include <cstdint>

namespace vantorel::imaging {

using Single = float;
using Boolean = std::uint8_t; // one byte on disk; any nonzero value is true
// $AARRGGBB, the same bits as QRgb of QImage::Format_ARGB32.
using TAlphaColor = std::uint32_t;

struct Trgba {
    std::uint8_t r, g, b, a;
};
static_assert(sizeof(Trgba) == 4);

struct TVector3D {
    Single X, Y, Z, W;
};

struct THSL {
    Single h, s, l;
};

struct TColorInfo15 {
    TVector3D Lab; // L*, a*, b* (whole numbers), W = 1
    THSL hsl;      // never computed; written as zeros
    TAlphaColor rgb;
    Trgba rgba;
};
static_assert(sizeof(TColorInfo15) == 36);
static_assert(offsetof(TColorInfo15, Lab) == 0);
static_assert(offsetof(TColorInfo15, hsl) == 16);
static_assert(offsetof(TColorInfo15, rgb) == 28);
static_assert(offsetof(TColorInfo15, rgba) == 32);

struct TimgColorInfo {
    TColorInfo15 ci1;      // the whole region
    TColorInfo15 ci4[4];   // quarters: top-left, top-right, bottom-left, bottom-right
    TColorInfo15 ci64[64]; // 8 x 8 zones, row by row
};
static_assert(sizeof(TimgColorInfo) == 2484);
static_assert(offsetof(TimgColorInfo, ci4) == 36);
static_assert(offsetof(TimgColorInfo, ci64) == 180);

struct TRGBInt {
    std::int32_t r, g, b, gray;
};

struct THSVColor {
    double h; // degrees, 0 <= h < 360
    double s; // 0..100
    double v; // 0..100
};

// Weights of the 8 x 8 zones toward a centred disc; they sum to 424.
extern const std::int32_t ZoneWeight[64];
constexpr std::int32_t kZoneWeightSum = 424;

TAlphaColor MakeAlphaColor(std::int32_t r, std::int32_t g, std::int32_t b, std::int32_t a);
void SplitAlphaColor(TAlphaColor c, std::int32_t& a, std::int32_t& b, std::int32_t& g,
                     std::int32_t& r);
Trgba MakeRGBA(std::int32_t r, std::int32_t g, std::int32_t b, std::int32_t a);
std::int32_t ClampByte(std::int32_t v);
// Truncation toward zero that saturates at the int32 range and maps NaN to 0, so damaged
// values never reach an undefined float-to-int conversion.
std::int32_t truncToInt(double v);

// CIE Lab of 8-bit channels without gamma expansion; returns L, a* + 128, b* + 128.
void RGBtoLab(std::int32_t r, std::int32_t g, std::int32_t b, std::int32_t& L, std::int32_t& aPlus,
              std::int32_t& bPlus);
THSVColor RGBtoHSV(const TRGBInt& c);
TRGBInt HSVtoRGB(const THSVColor& c);
TAlphaColor Color_ScaleSatVal(TAlphaColor c, Single factor);

// Fills rgb, Lab and rgba of one colour entry from opaque channels (hsl is zeroed).
void SetColorInfo15(TColorInfo15& ci, std::int32_t r, std::int32_t g, std::int32_t b);

// 8 x 8 description of src (pixel coordinates of bmp): ci64, ci4 and ci1. The region is
// reduced by exact area averaging; an empty rectangle samples as transparent black.
void GetColorInfo(const QImage& bmp, const TRectF& src, TimgColorInfo& info);
// 16 x 16 description: ci4 and ci1 only; ci64 keeps what info held.
void GetColorInfo16(const QImage& bmp, const TRectF& src, TimgColorInfo& info);

// Reduces src of bmp to an n x n ARGB32 image by exact area averaging (each output pixel
// the mean of the source area it covers, partial pixels weighted, straight alpha).
QImage AreaAverage(const QImage& bmp, const TRectF& src, int n);
// The same reduction of (left, top)-(right, bottom) to outW x outH; uncovered output pixels
// are transparent black, and a null image comes back for a non-positive output size.
QImage areaAverageTo(const QImage& bmp, double left, double top, double right, double bottom,
                     int outW, int outH);

} // namespace vantorel::imaging
