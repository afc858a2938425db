#include "imaging/image_func.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace vantorel::imaging {

namespace {

// Absorbs the rounding error of k * w when the exact product is a whole number, so that a
// picture fitted to its own box width does not come out one pixel short.
constexpr double kTruncSlack = 1e-9;

int truncSize(double v) {
    if (!(v > 0.0)) return 0;
    return static_cast<int>(std::min(v + kTruncSlack, 1e9));
}

QImage blankImage(int w, int h, QImage::Format format, QRgb fill) {
    if (w <= 0 || h <= 0) return {};
    QImage img(w, h, format);
    img.fill(fill);
    return img;
}

void smoothHints(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// The (l, t)-(r, b) part of src scaled to exactly W x H with the smooth scaler. Reductions
// average the covered area, so large photos shrink without aliasing; enlargements go
// through the painter's filtered drawing.
QImage smoothScaled(const QImage& src, double l, double t, double r, double b, int W, int H) {
    if (W <= 0 || H <= 0) return {};
    const double sw = r - l, sh = b - t;
    if (!(sw > 0.0) || !(sh > 0.0) || src.isNull())
        return blankImage(W, H, QImage::Format_ARGB32, 0u);
    if (W <= sw && H <= sh) return areaAverageTo(src, l, t, r, b, W, H);
    QImage out = blankImage(W, H, QImage::Format_ARGB32_Premultiplied, 0u);
    {
        QPainter painter(&out);
        smoothHints(painter);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QRectF(0, 0, W, H), src, QRectF(l, t, sw, sh));
    }
    return out.convertToFormat(QImage::Format_ARGB32);
}

inline QRgb* row(QImage& img, int y) {
    return reinterpret_cast<QRgb*>(img.scanLine(y));
}
inline const QRgb* constRow(const QImage& img, int y) {
    return reinterpret_cast<const QRgb*>(img.constScanLine(y));
}

void ensureWorking(QImage& bitmap) {
    if (!bitmap.isNull() && bitmap.format() != QImage::Format_ARGB32)
        bitmap = bitmap.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

QImage toWorkingFormat(QImage image) {
    if (image.isNull() || image.format() == QImage::Format_ARGB32) return image;
    return image.convertToFormat(QImage::Format_ARGB32);
}

// ---------------------------------------------------------------------------------------
// Fitting and cutting

void Bitmap_FitInto(const QImage& source, QImage& destination, int W, int H) {
    const int w = source.width(), h = source.height();
    if (w == 0 || h == 0) return;
    const double k = std::min(static_cast<double>(W) / w, static_cast<double>(H) / h);
    const int tw = truncSize(k * w), th = truncSize(k * h);
    QImage scaled = smoothScaled(toWorkingFormat(source), 0, 0, w, h, tw, th);
    if (scaled.isNull()) {
        destination = QImage();
        return;
    }
    // The picture lies on opaque white.
    for (int y = 0; y < th; ++y) {
        QRgb* line = row(scaled, y);
        for (int x = 0; x < tw; ++x) {
            const QRgb p = line[x];
            const std::uint32_t a = p >> 24;
            if (a == 255) continue;
            const std::uint32_t inv = 255 - a;
            const auto mix = [&](std::uint32_t c) { return (c * a + 255 * inv + 127) / 255; };
            line[x] = 0xFF000000u | (mix((p >> 16) & 0xFF) << 16) | (mix((p >> 8) & 0xFF) << 8) |
                      mix(p & 0xFF);
        }
    }
    destination = std::move(scaled);
}

void Bitmap_FitCentered(const QImage& source, QImage& destination, int W, int H,
                        TAlphaColor background) {
    QImage fitted;
    Bitmap_FitInto(source, fitted, W, H);
    QImage out = blankImage(W, H, QImage::Format_ARGB32, background);
    if (!out.isNull() && !fitted.isNull()) {
        const int left = (W - fitted.width()) / 2, top = (H - fitted.height()) / 2;
        const int x0 = std::max(0, left), x1 = std::min(W, left + fitted.width());
        for (int y = std::max(0, top); y < std::min(H, top + fitted.height()); ++y) {
            if (x1 > x0)
                std::memcpy(row(out, y) + x0, constRow(fitted, y - top) + (x0 - left),
                            static_cast<std::size_t>(x1 - x0) * sizeof(QRgb));
        }
    }
    destination = std::move(out);
}

void Canvas_DrawBitmapFit(const QImage& bitmap, QPainter& canvas, Single bw, Single bh) {
    const int w = bitmap.width(), h = bitmap.height();
    if (w == 0 || h == 0 || !canvas.isActive()) return;
    const double k = std::min(bw / static_cast<double>(w), bh / static_cast<double>(h));
    const int tw = truncSize(k * w), th = truncSize(k * h);
    if (tw <= 0 || th <= 0) return;
    const int left = truncToInt(double(bw) - tw) / 2;
    const int top = truncToInt(double(bh) - th) / 2;
    const QImage scaled = smoothScaled(toWorkingFormat(bitmap), 0, 0, w, h, tw, th);
    canvas.save();
    smoothHints(canvas);
    canvas.setOpacity(1.0);
    canvas.drawImage(QPointF(left, top), scaled);
    canvas.restore();
}

TRectF CropResize_SourceRect(int w, int h, int W, int H) {
    // 64-bit products: multi-megapixel photos times large tile sizes overflow 32 bits.
    const std::int64_t tall = static_cast<std::int64_t>(h) * W;
    const std::int64_t wide = static_cast<std::int64_t>(H) * w;
    if (tall >= wide) {
        const Single d =
            W == 0 ? 0.0f : static_cast<Single>(static_cast<double>(tall - wide) / (2.0 * W));
        return {0.0f, d, static_cast<Single>(w), static_cast<Single>(h) - d};
    }
    const Single d =
        H == 0 ? 0.0f : static_cast<Single>(static_cast<double>(wide - tall) / (2.0 * H));
    return {d, 0.0f, static_cast<Single>(w) - d, static_cast<Single>(h)};
}

void CropResize(const QImage& source, QImage& destination, int W, int H) {
    if (W <= 0 || H <= 0) {
        destination = QImage();
        return;
    }
    // Taking the working copy first keeps source == destination safe.
    const QImage src = toWorkingFormat(source);
    const TRectF r = CropResize_SourceRect(src.width(), src.height(), W, H);
    destination = smoothScaled(src, r.Left, r.Top, r.Right, r.Bottom, W, H);
}

void Bitmap_CropResize(const QImage& source, QImage& destination, int W, int H) {
    CropResize(source, destination, W, H);
}

// ---------------------------------------------------------------------------------------
// Pixel operations

void Bitmap_Gray(QImage& bitmap) {
    ensureWorking(bitmap);
    if (bitmap.isNull()) return;
    // Same products and sum as the direct formula, so the truncation matches bit for bit.
    double lr[256], lg[256], lb[256];
    for (int i = 0; i < 256; ++i)
        lr[i] = 0.299 * i, lg[i] = 0.587 * i, lb[i] = 0.114 * i;
    for (int y = 0; y < bitmap.height(); ++y) {
        QRgb* line = row(bitmap, y);
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb p = line[x];
            const auto v = static_cast<std::uint32_t>(lr[(p >> 16) & 0xFF] + lg[(p >> 8) & 0xFF] +
                                                      lb[p & 0xFF]);
            line[x] = (p & 0xFF000000u) | (v << 16) | (v << 8) | v;
        }
    }
}

void Bitmap_AddRGB(QImage& bitmap, int dR, int dG, int dB) {
    ensureWorking(bitmap);
    if (bitmap.isNull()) return;
    // Offsets beyond one full range clamp the same way and cannot overflow i + d.
    dR = std::clamp(dR, -256, 256), dG = std::clamp(dG, -256, 256), dB = std::clamp(dB, -256, 256);
    std::uint32_t tr[256], tg[256], tb[256];
    for (int i = 0; i < 256; ++i) {
        tr[i] = static_cast<std::uint32_t>(ClampByte(i + dR)) << 16;
        tg[i] = static_cast<std::uint32_t>(ClampByte(i + dG)) << 8;
        tb[i] = static_cast<std::uint32_t>(ClampByte(i + dB));
    }
    for (int y = 0; y < bitmap.height(); ++y) {
        QRgb* line = row(bitmap, y);
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb p = line[x];
            line[x] = (p & 0xFF000000u) | tr[(p >> 16) & 0xFF] | tg[(p >> 8) & 0xFF] | tb[p & 0xFF];
        }
    }
}

void Bitmap_ShiftToColor(QImage& bitmap, const TimgColorInfo& tile, const TimgColorInfo& target,
                         Single factor) {
    std::int32_t ta, tr, tg, tb, ga, gr, gg, gb;
    SplitAlphaColor(tile.ci1.rgb, ta, tb, tg, tr);
    SplitAlphaColor(target.ci1.rgb, ga, gb, gg, gr);
    const double f = factor;
    Bitmap_AddRGB(bitmap, truncToInt(f * (gr - tr)), truncToInt(f * (gg - tg)),
                  truncToInt(f * (gb - tb)));
}

namespace {

// The alpha plane of mask scaled to w x h. The renderer clips every cell with one of a few
// shape icons at one tile size, so the scaled planes are kept, keyed by the icon's content
// key (never reused for other content) and the size. Cells are prepared on several threads:
// the cache is locked, and a plane stays alive for its users when the cache is cleared.
using AlphaPlane = std::shared_ptr<const std::vector<std::uint8_t>>;

AlphaPlane scaledMaskAlpha(const QImage& mask, int w, int h) {
    struct Entry {
        qint64 key;
        int w, h;
        AlphaPlane alpha;
    };
    static std::mutex lock;
    static std::vector<Entry> cache;
    const qint64 key = mask.cacheKey();
    {
        const std::lock_guard<std::mutex> guard(lock);
        for (const Entry& e : cache)
            if (e.key == key && e.w == w && e.h == h) return e.alpha;
    }
    const QImage scaled =
        mask.size() == QSize(w, h)
            ? toWorkingFormat(mask)
            : smoothScaled(toWorkingFormat(mask), 0, 0, mask.width(), mask.height(), w, h);
    auto alpha = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(w) *
                                                             static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const QRgb* m = constRow(scaled, y);
        std::uint8_t* out =
            alpha->data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x)
            out[x] = static_cast<std::uint8_t>(m[x] >> 24);
    }
    const std::lock_guard<std::mutex> guard(lock);
    if (cache.size() >= 64) cache.clear();
    cache.push_back({key, w, h, alpha});
    return alpha;
}

} // namespace

void Bitmap_ApplyAlphaMask(const QImage& mask, QImage& target) {
    ensureWorking(target);
    if (target.isNull()) return;
    const int w = target.width(), h = target.height();
    const AlphaPlane alpha = scaledMaskAlpha(mask, w, h);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* m =
            alpha->data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        QRgb* line = row(target, y);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t a = m[x];
            line[x] = a < 128 ? 0u : (line[x] & 0x00FFFFFFu) | (a << 24);
        }
    }
}

QImage rotatedImage(const QImage& source, double degrees, QRgb background) {
    const double w = source.width(), h = source.height();
    const double rad = degrees * 0.017453292519943295;
    const double c = std::cos(rad), s = std::sin(rad);
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    const double cx[4] = {-w / 2, w / 2, w / 2, -w / 2};
    const double cy[4] = {-h / 2, -h / 2, h / 2, h / 2};
    for (int i = 0; i < 4; ++i) {
        const double x = cx[i] * c - cy[i] * s, y = cx[i] * s + cy[i] * c;
        if (i == 0 || x < minX) minX = x;
        if (i == 0 || x > maxX) maxX = x;
        if (i == 0 || y < minY) minY = y;
        if (i == 0 || y > maxY) maxY = y;
    }
    const double bw = maxX - minX, bh = maxY - minY;
    // The slack keeps quarter turns, whose sine and cosine are not exact, at whole sizes.
    const int nw = static_cast<int>(bw + 1e-6), nh = static_cast<int>(bh + 1e-6);
    QImage out = blankImage(nw, nh, QImage::Format_ARGB32_Premultiplied, background);
    if (out.isNull()) return out;
    const QImage src = source.format() == QImage::Format_ARGB32_Premultiplied
                           ? source
                           : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    smoothHints(painter);
    QTransform t;
    t.translate(bw / 2, bh / 2);
    t.rotate(degrees);
    t.translate(-w / 2, -h / 2);
    painter.setTransform(t);
    painter.drawImage(QRectF(0, 0, w, h), src);
    return out;
}

void Bitmap_Rotate(QImage& bitmap, Single degrees) {
    if (degrees == 0.0f || !std::isfinite(degrees) || bitmap.isNull()) return;
    const QImage out = rotatedImage(bitmap, degrees, 0xFF000000u);
    bitmap = out.isNull() ? QImage() : out.convertToFormat(QImage::Format_ARGB32);
}

// ---------------------------------------------------------------------------------------
// Drawing

void Bitmap_DrawOpacity(const QImage& source, QImage& destination, const TRectF& sourceRect,
                        const TRectF& destRect, Single opacity) {
    if (source.isNull() || destination.isNull() || sourceRect.IsEmpty() || destRect.IsEmpty())
        return;
    QPainter painter(&destination);
    if (!painter.isActive()) return;
    smoothHints(painter);
    painter.setOpacity(opacity);
    const double dw = destRect.Width(), dh = destRect.Height();
    // Strong reductions are pre-averaged; the painter's bilinear filter would alias them.
    if (dw * 2 < sourceRect.Width() || dh * 2 < sourceRect.Height()) {
        const QImage pre = areaAverageTo(source, sourceRect.Left, sourceRect.Top, sourceRect.Right,
                                         sourceRect.Bottom, std::max(1, int(std::ceil(dw))),
                                         std::max(1, int(std::ceil(dh))));
        painter.drawImage(destRect.toQRectF(), pre);
    } else {
        painter.drawImage(destRect.toQRectF(), source, sourceRect.toQRectF());
    }
}

void Draw_ColorInfo1(QPainter& canvas, Single x, Single y, const TimgColorInfo& info) {
    if (!canvas.isActive()) return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, true);
    canvas.setOpacity(1.0);
    canvas.setPen(Qt::NoPen);
    canvas.setBrush(QColor::fromRgba(info.ci1.rgb));
    canvas.drawRoundedRect(QRectF(x, y, 64, 64), 5, 5);
    canvas.restore();
}

void Draw_ColorInfo64(QPainter& canvas, Single x, Single y, const TimgColorInfo& info) {
    if (!canvas.isActive()) return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, true);
    canvas.setOpacity(1.0);
    canvas.setPen(Qt::NoPen);
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            canvas.setBrush(QColor::fromRgba(info.ci64[i * 8 + j].rgb));
            canvas.drawRoundedRect(QRectF(x + 8 * j, y + 8 * i, 7, 7), 1, 1);
        }
    }
    canvas.restore();
}

void Draw_ColorInfoCard(const TimgColorInfo& info, const QImage& picture, QImage& card) {
    QImage out = blankImage(128, 192, QImage::Format_ARGB32_Premultiplied, 0u);
    {
        QPainter painter(&out);
        Canvas_DrawBitmapFit(picture, painter, 128, 128);
        Draw_ColorInfo1(painter, 0, 128, info);
        Draw_ColorInfo64(painter, 64, 128, info);
    }
    card = out.convertToFormat(QImage::Format_ARGB32);
}

} // namespace vantorel::imaging
