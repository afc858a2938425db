#include "workflow/overview.h"

#include "engine/mosaic_render.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vantorel::workflow {

QSizeF fitIntoSquare(QSizeF size, double side) {
    if (!(side > 0) || !(size.width() > 0) || !(size.height() > 0)) return size;
    const double ratio = std::max(size.width() / side, size.height() / side);
    if (!(ratio > 0) || !std::isfinite(ratio)) return size;
    return {size.width() / ratio, size.height() / ratio};
}

void Overview_CopyMainView(engine::MosaicContext& ctx, const QImage& mainView) {
    if (mainView.isNull()) {
        ctx.OverviewBitmap = QImage();
        return;
    }
    const QSizeF fitted = fitIntoSquare(mainView.deviceIndependentSize(), 1024);
    const int w = std::max(1, int(std::trunc(fitted.width())) * 2);
    const int h = std::max(1, int(std::trunc(fitted.height())) * 2);
    QImage bitmap(w, h, QImage::Format_ARGB32);
    bitmap.fill(Qt::white);
    {
        QPainter painter(&bitmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        QImage source = mainView;
        source.setDevicePixelRatio(1);
        painter.drawImage(QRectF(0, 0, w, h), source);
    }
    ctx.OverviewBitmap = std::move(bitmap);
}

bool Overview_Repaint(engine::MosaicContext& ctx, imaging::Progress* progress) {
    const auto& cfg = ctx.mproject->cfg;
    if (!cfg.searchDone) return false;
    const QSizeF fitted = fitIntoSquare(QSizeF(cfg.WidthPx, cfg.HeightPx), 2048);
    const double w = std::trunc(2 * fitted.width()), h = std::trunc(2 * fitted.height());
    if (!(w >= 1 && h >= 1 && w <= 4096 && h <= 4096) || !(cfg.FullWidthF > 0)) return false;
    QImage bitmap(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::white);
    {
        QPainter painter(&bitmap);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        const QRectF whole(0, 0, w, h);
        if (ctx.SearchOpts.BgMain) {
            if (!ctx.MainImageCrop.isNull()) painter.drawImage(whole, ctx.MainImageCrop);
        } else {
            painter.fillRect(whole, QColor::fromRgba(ctx.SearchOpts.GroutColor));
        }
        // The cells are in project units: scale by the mosaic's own width so that the
        // mosaic fills the bitmap whatever its unit.
        const auto scale = engine::Single(w / cfg.FullWidthF);
        engine::Draw_FinalMosaic(ctx, painter, scale, progress);
    }
    bitmap.convertTo(QImage::Format_ARGB32);
    ctx.OverviewBitmap = std::move(bitmap);
    return true;
}

} // namespace vantorel::workflow
