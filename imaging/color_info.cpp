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
    const double l = Y > 0.008856 ? 116.0 * std::pow(Y, 0.3333333333333333) - 16.0 : 903.3 * Y;
    const double fy = labF(Y);
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
        switch (static_cast<int>(i)) {
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
    out.r = static_cast<std::int32_t>(std::trunc(r));
    out.g = static_cast<std::int32_t>(std::trunc(g));
    out.b = static_cast<std::int32_t>(std::trunc(b));
    out.gray = static_cast<std::int32_t>(std::trunc(0.299 * out.r + 0.587 * out.g + 0.114 * out.b));
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

struct Contribution {
    int index;    // source pixel column or row
    float weight; // covered fraction of it
};

// Per output pixel along one axis: the source pixels it covers and how much of each.
struct AxisWeights {
    std::vector<Contribution> items;
    std::vector<int> first; // n + 1 offsets into items
    std::vector<double> total;
};

AxisWeights axisWeights(double lo, double hi, int n, int size) {
    AxisWeights w;
    w.first.assign(static_cast<std::size_t>(n) + 1, 0);
    w.total.assign(static_cast<std::size_t>(n), 0.0);
    const double step = (hi - lo) / n;
    for (int j = 0; j < n; ++j) {
        w.first[static_cast<std::size_t>(j)] = static_cast<int>(w.items.size());
        const double a = std::max(lo + j * step, 0.0);
        const double b = std::min(j + 1 == n ? hi : lo + (j + 1) * step, static_cast<double>(size));
        if (b > a) {
            const int x0 = static_cast<int>(std::floor(a));
            const int x1 = std::min(static_cast<int>(std::ceil(b)), size);
            for (int x = x0; x < x1; ++x) {
                const double cover = std::min(b, x + 1.0) - std::max(a, static_cast<double>(x));
                if (cover <= 0.0) continue;
                w.items.push_back({x, static_cast<float>(cover)});
                w.total[static_cast<std::size_t>(j)] += cover;
            }
        }
    }
    w.first[static_cast<std::size_t>(n)] = static_cast<int>(w.items.size());
    return w;
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
    const AxisWeights cols = axisWeights(left, right, outW, src.width());
    const AxisWeights rows = axisWeights(top, bottom, outH, src.height());

    std::vector<double> acc(static_cast<std::size_t>(outW) * 4);
    for (int i = 0; i < outH; ++i) {
        const double rowTotal = rows.total[static_cast<std::size_t>(i)];
        if (rowTotal <= 0.0) continue;
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int k = rows.first[static_cast<std::size_t>(i)];
             k < rows.first[static_cast<std::size_t>(i) + 1]; ++k) {
            const Contribution ry = rows.items[static_cast<std::size_t>(k)];
            const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(ry.index));
            for (int j = 0; j < outW; ++j) {
                float sa = 0, sr = 0, sg = 0, sb = 0;
                const int end = cols.first[static_cast<std::size_t>(j) + 1];
                for (int m = cols.first[static_cast<std::size_t>(j)]; m < end; ++m) {
                    const Contribution cx = cols.items[static_cast<std::size_t>(m)];
                    const QRgb p = line[cx.index];
                    sa += cx.weight * static_cast<float>(p >> 24);
                    sr += cx.weight * static_cast<float>((p >> 16) & 0xFF);
                    sg += cx.weight * static_cast<float>((p >> 8) & 0xFF);
                    sb += cx.weight * static_cast<float>(p & 0xFF);
                }
                double* a = &acc[static_cast<std::size_t>(j) * 4];
                a[0] += static_cast<double>(ry.weight) * sa;
                a[1] += static_cast<double>(ry.weight) * sr;
                a[2] += static_cast<double>(ry.weight) * sg;
                a[3] += static_cast<double>(ry.weight) * sb;
            }
        }
        auto* outLine = reinterpret_cast<QRgb*>(out.scanLine(i));
        for (int j = 0; j < outW; ++j) {
            const double weight = rowTotal * cols.total[static_cast<std::size_t>(j)];
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
