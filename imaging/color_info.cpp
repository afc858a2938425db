#include "imaging/color_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vantorel::imaging {

const std::int32_t ZoneWeight[64] = {
    0, 0,  3,  7,  7,  3,  0,  0, //
    0, 8,  9,  10, 10, 9,  8,  0, //
    3, 9,  10, 10, 10, 10, 9,  3, //
    7, 10, 10, 10, 10, 10, 10, 7, //
    7, 10, 10, 10, 10, 10, 10, 7, //
    3, 9,  10, 10, 10, 10, 9,  3, //
    0, 8,  9,  10, 10, 9,  8,  0, //
    0, 0,  3,  7,  7,  3,  0,  0,
};

TAlphaColor MakeAlphaColor(std::int32_t r, std::int32_t g, std::int32_t b, std::int32_t a) {
    return (static_cast<TAlphaColor>(a) << 24) + (static_cast<TAlphaColor>(r) << 16) +
           (static_cast<TAlphaColor>(g) << 8) + static_cast<TAlphaColor>(b);
}

void SplitAlphaColor(TAlphaColor c, std::int32_t& a, std::int32_t& b, std::int32_t& g,
                     std::int32_t& r) {
    a = static_cast<std::int32_t>((c >> 24) & 0xFF);
    r = static_cast<std::int32_t>((c >> 16) & 0xFF);
    g = static_cast<std::int32_t>((c >> 8) & 0xFF);
    b = static_cast<std::int32_t>(c & 0xFF);
}

Trgba MakeRGBA(std::int32_t r, std::int32_t g, std::int32_t b, std::int32_t a) {
    return {static_cast<std::uint8_t>(r & 0xFF), static_cast<std::uint8_t>(g & 0xFF),
            static_cast<std::uint8_t>(b & 0xFF), static_cast<std::uint8_t>(a & 0xFF)};
}

std::int32_t ClampByte(std::int32_t v) {
    if (v <= 0) return 0;
    if (v >= 255) return 255;
    return v;
}

std::int32_t truncToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(v);
}

namespace {

double labF(double t) {
    return t > 0.008856 ? std::pow(t, 0.3333333333333333) : 7.787 * t + 0.13793103448275862;
}

// Halves go to the even neighbour under the default floating-point rounding mode.
std::int32_t roundEven(double v) {
    return static_cast<std::int32_t>(std::nearbyint(v));
}

} // namespace

void RGBtoLab(std::int32_t r, std::int32_t g, std::int32_t b, std::int32_t& L, std::int32_t& aPlus,
              std::int32_t& bPlus) {
    const double R = r, G = g, B = b;
    const double X = (0.412453 * R + 0.35758 * G + 0.180423 * B) / 242.36628;
    const double Y = (0.212671 * R + 0.71516 * G + 0.072169 * B) / 255.0;
    const double Z = (0.019334 * R + 0.119193 * G + 0.950227 * B) / 277.63227;
    const double fy = labF(Y); // equals Y^(1/3) whenever L takes the cube-root branch
    const double l = Y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * Y;
    const double la = 500.0 * (labF(X) - fy);
    const double lb = 200.0 * (fy - labF(Z));
    L = roundEven(l);
    aPlus = roundEven(la) + 128;
    bPlus = roundEven(lb) + 128;
}

THSVColor RGBtoHSV(const TRGBInt& c) {
    const std::int32_t mx = std::max({c.r, c.g, c.b});
    const std::int32_t mn = std::min({c.r, c.g, c.b});
    const std::int32_t delta = mx - mn;
    const double s = mx == 0 ? 0.0 : static_cast<double>(delta) * 255.0 / mx;
    double h = 0.0;
    if (s != 0.0) {
        if (c.r == mx)
            h = static_cast<double>((c.g - c.b) * 60) / delta + 360.0;
        else if (c.g == mx)
            h = static_cast<double>((c.b - c.r) * 60) / delta + 120.0;
        else
            h = static_cast<double>((c.r - c.g) * 60) / delta + 240.0;
    }
    while (h >= 360.0)
        h -= 360.0;
    while (h < 0.0)
        h += 360.0;
    return {h, s * 100.0 / 255.0, mx * 100.0 / 255.0};
}

TRGBInt HSVtoRGB(const THSVColor& c) {
    const double S = c.s / 100.0;
    const double V = c.v / 100.0;
    const double full = V * 255.0;
    double r = 0, g = 0, b = 0;
    if (S == 0.0) {
        r = g = b = full;
    } else {
        const double x = (c.h / 360.0 - std::trunc(c.h / 360.0)) * 6.0;
        const double i = std::trunc(x);
        const double fr = x - i;
        const double p = V * (1.0 - S) * 255.0;
        const double q = V * (1.0 - S * fr) * 255.0;
        const double t = V * (1.0 - S * (1.0 - fr)) * 255.0;
        switch (truncToInt(i)) {
        case 0:
            r = full, g = t, b = p;
            break;
        case 1:
            r = q, g = full, b = p;
            break;
        case 2:
            r = p, g = full, b = t;
            break;
        case 3:
            r = p, g = q, b = full;
            break;
        case 4:
            r = t, g = p, b = full;
            break;
        case 5:
            r = full, g = p, b = q;
            break;
        default:
            break;
        }
    }
    TRGBInt out;
    out.r = truncToInt(r);
    out.g = truncToInt(g);
    out.b = truncToInt(b);
    out.gray = truncToInt(0.299 * out.r + 0.587 * out.g + 0.114 * out.b);
    return out;
}

TAlphaColor Color_ScaleSatVal(TAlphaColor c, Single factor) {
    std::int32_t a, r, g, b;
    SplitAlphaColor(c, a, b, g, r);
    THSVColor hsv = RGBtoHSV({r, g, b, 0});
    hsv.s = std::min(hsv.s * factor, 100.0);
    hsv.v = std::min(hsv.v * factor, 100.0);
    const TRGBInt out = HSVtoRGB(hsv);
    return MakeAlphaColor(out.r, out.g, out.b, 255);
}

void SetColorInfo15(TColorInfo15& ci, std::int32_t r, std::int32_t g, std::int32_t b) {
    std::int32_t L, aPlus, bPlus;
    RGBtoLab(r, g, b, L, aPlus, bPlus);
    ci.Lab = {static_cast<Single>(L), static_cast<Single>(aPlus - 128),
              static_cast<Single>(bPlus - 128), 1.0f};
    ci.hsl = {0.0f, 0.0f, 0.0f};
    ci.rgb = MakeAlphaColor(r, g, b, 255);
    ci.rgba = MakeRGBA(r, g, b, 255);
}

// ---------------------------------------------------------------------------------------
// Area averaging

namespace {

// The source pixels one output pixel covers along one axis: [first, last), where the two
// end pixels may be partly covered and every pixel between them wholly.
struct Span {
    int first = 0, last = 0;
    float wFirst = 0, wLast = 0;
    double total = 0; // covered length
};

std::vector<Span> axisSpans(double lo, double hi, int n, int size) {
    std::vector<Span> spans(static_cast<std::size_t>(n));
    const double step = (hi - lo) / n;
    for (int j = 0; j < n; ++j) {
        const double a = std::max(lo + j * step, 0.0);
        const double b = std::min(j + 1 == n ? hi : lo + (j + 1) * step, static_cast<double>(size));
        if (!(b > a)) continue;
        Span& s = spans[static_cast<std::size_t>(j)];
        s.first = std::clamp(static_cast<int>(std::floor(a)), 0, size - 1);
        s.last = std::clamp(static_cast<int>(std::ceil(b)), s.first + 1, size);
        s.total = b - a;
        if (s.last - s.first == 1) {
            s.wFirst = static_cast<float>(b - a);
        } else {
            s.wFirst = static_cast<float>(s.first + 1.0 - a);
            s.wLast = static_cast<float>(b - (s.last - 1.0));
        }
    }
    return spans;
}

// Coverage-weighted channel sums (a, r, g, b) of one span of a row.
inline void spanSum(const QRgb* line, const Span& s, float out[4]) {
    const auto add = [&](QRgb p, float w) {
        out[0] += w * static_cast<float>(p >> 24);
        out[1] += w * static_cast<float>((p >> 16) & 0xFF);
        out[2] += w * static_cast<float>((p >> 8) & 0xFF);
        out[3] += w * static_cast<float>(p & 0xFF);
    };
    out[0] = out[1] = out[2] = out[3] = 0;
    if (s.last <= s.first) return;
    add(line[s.first], s.wFirst);
    if (s.last - s.first < 2) return;
    add(line[s.last - 1], s.wLast);
    // Whole pixels: two channels per 32-bit add, flushed before a 16-bit lane can overflow.
    int x = s.first + 1;
    const int end = s.last - 1;
    std::uint64_t a = 0, r = 0, g = 0, b = 0;
    while (x < end) {
        const int chunkEnd = std::min(end, x + 256);
        std::uint32_t lag = 0, lrb = 0;
        for (; x < chunkEnd; ++x) {
            const QRgb p = line[x];
            lag += (p >> 8) & 0x00FF00FFu;
            lrb += p & 0x00FF00FFu;
        }
        a += lag >> 16;
        g += lag & 0xFFFF;
        r += lrb >> 16;
        b += lrb & 0xFFFF;
    }
    out[0] += static_cast<float>(a);
    out[1] += static_cast<float>(r);
    out[2] += static_cast<float>(g);
    out[3] += static_cast<float>(b);
}

std::uint32_t roundChannel(double v) {
    return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

QImage areaAverageTo(const QImage& bmp, double left, double top, double right, double bottom,
                     int outW, int outH) {
    if (outW <= 0 || outH <= 0) return {};
    QImage out(outW, outH, QImage::Format_ARGB32);
    out.fill(0u);
    if (bmp.isNull() || !(right > left) || !(bottom > top) || !std::isfinite(left) ||
        !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom))
        return out;
    const QImage src =
        bmp.format() == QImage::Format_ARGB32 ? bmp : bmp.convertToFormat(QImage::Format_ARGB32);
    const std::vector<Span> cols = axisSpans(left, right, outW, src.width());
    const std::vector<Span> rows = axisSpans(top, bottom, outH, src.height());

    const std::size_t w4 = static_cast<std::size_t>(outW) * 4;
    std::vector<double> acc(w4);
    // A source row on the border of two output rows is summed once.
    std::vector<float> rowSums(w4);
    int cachedRow = -1;
    const auto sumsOf = [&](int y) -> const float* {
        if (y != cachedRow) {
            const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
            for (std::size_t j = 0; j < cols.size(); ++j)
                spanSum(line, cols[j], &rowSums[j * 4]);
            cachedRow = y;
        }
        return rowSums.data();
    };
    for (int i = 0; i < outH; ++i) {
        const Span& ry = rows[static_cast<std::size_t>(i)];
        if (ry.last <= ry.first) continue;
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int y = ry.first; y < ry.last; ++y) {
            const double wy = y == ry.first ? ry.wFirst : y == ry.last - 1 ? ry.wLast : 1.0;
            const float* sums = sumsOf(y);
            for (std::size_t k = 0; k < w4; ++k)
                acc[k] += wy * static_cast<double>(sums[k]);
        }
        auto* outLine = reinterpret_cast<QRgb*>(out.scanLine(i));
        for (int j = 0; j < outW; ++j) {
            const double weight = ry.total * cols[static_cast<std::size_t>(j)].total;
            if (weight <= 0.0) continue;
            const double* a = &acc[static_cast<std::size_t>(j) * 4];
            outLine[j] = (roundChannel(a[0] / weight) << 24) | (roundChannel(a[1] / weight) << 16) |
                         (roundChannel(a[2] / weight) << 8) | roundChannel(a[3] / weight);
        }
    }
    return out;
}

QImage AreaAverage(const QImage& bmp, const TRectF& src, int n) {
    return areaAverageTo(bmp, src.Left, src.Top, src.Right, src.Bottom, n, n);
}

void GetColorInfo(const QImage& bmp, const TRectF& src, TimgColorInfo& info) {
    const QImage small = AreaAverage(bmp, src, 8);
    if (small.isNull()) return;
    std::int32_t sum[4][3] = {};
    for (int y = 0; y < 8; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(small.constScanLine(y));
        for (int x = 0; x < 8; ++x) {
            std::int32_t a, r, g, b;
            SplitAlphaColor(line[x], a, b, g, r);
            TColorInfo15& zone = info.ci64[y * 8 + x];
            SetColorInfo15(zone, r, g, b);
            zone.rgb = line[x];
            const int q = (y / 4) * 2 + x / 4;
            sum[q][0] += r;
            sum[q][1] += g;
            sum[q][2] += b;
        }
    }
    for (int q = 0; q < 4; ++q)
        SetColorInfo15(info.ci4[q], sum[q][0] / 16, sum[q][1] / 16, sum[q][2] / 16);
    std::int32_t r = 0, g = 0, b = 0;
    for (int k = 0; k < 64; ++k) {
        r += ZoneWeight[k] * info.ci64[k].rgba.r;
        g += ZoneWeight[k] * info.ci64[k].rgba.g;
        b += ZoneWeight[k] * info.ci64[k].rgba.b;
    }
    SetColorInfo15(info.ci1, r / kZoneWeightSum, g / kZoneWeightSum, b / kZoneWeightSum);
}

void GetColorInfo16(const QImage& bmp, const TRectF& src, TimgColorInfo& info) {
    const QImage small = AreaAverage(bmp, src, 16);
    if (small.isNull()) return;
    std::int32_t sum[4][3] = {};
    for (int y = 0; y < 16; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(small.constScanLine(y));
        for (int x = 0; x < 16; ++x) {
            const int q = (y / 8) * 2 + x / 8;
            sum[q][0] += qRed(line[x]);
            sum[q][1] += qGreen(line[x]);
            sum[q][2] += qBlue(line[x]);
        }
    }
    std::int32_t all[3] = {};
    for (int q = 0; q < 4; ++q) {
        SetColorInfo15(info.ci4[q], sum[q][0] / 64, sum[q][1] / 64, sum[q][2] / 64);
        for (int c = 0; c < 3; ++c)
            all[c] += sum[q][c];
    }
    SetColorInfo15(info.ci1, all[0] / 256, all[1] / 256, all[2] / 256);
}

} // namespace vantorel::imaging
