#include "workflow/main_image.h"

#include "imaging/color_info.h"
#include "imaging/image_func.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vantorel::workflow {

void CropView::setCropRect(const TRectF& r) {
    CropRect = r;
    CropCorners[0] = {r.Left, r.Top};
    CropCorners[1] = {r.Right, r.Top};
    CropCorners[2] = {r.Right, r.Bottom};
    CropCorners[3] = {r.Left, r.Bottom};
}

TRectF NPA_FitCropToAspect(const TRectF& R, int anchor, double Wpx, double Hpx) {
    double w = double(R.Right) - R.Left;
    double h = double(R.Bottom) - R.Top;
    if (w * Hpx > h * Wpx)
        w = Wpx != 0 && Hpx != 0 ? std::trunc(h * Wpx / Hpx) : w;
    else
        h = Wpx != 0 ? std::trunc(w * Hpx / Wpx) : h;
    const auto f = [](double v) { return Single(v); };
    switch (anchor) {
    case 1:
        return {f(R.Right - w), R.Top, R.Right, f(R.Top + h)};
    case 2:
        return {f(R.Right - w), f(R.Bottom - h), R.Right, R.Bottom};
    case 3:
        return {R.Left, f(R.Bottom - h), f(R.Left + w), R.Bottom};
    default:
        return {R.Left, R.Top, f(R.Left + w), f(R.Top + h)};
    }
}

TAlphaColor NPA_AutoCrop(CropView& v, double widthPx, double heightPx) {
    const double W = v.W(), H = v.H();
    double w = widthPx, h = heightPx;
    if (w > 0 && h > 0) {
        const double k = std::min(0.9 * W / w, 0.9 * H / h);
        w *= k;
        h *= k;
    } else {
        w = h = 0;
    }
    const double left = (W - w) / 2, top = (H - h) / 2;
    v.setCropRect({Single(left), Single(top), Single(left + w), Single(top + h)});
    // The region of mi_Zoom under the frame, in its device pixels.
    imaging::TimgColorInfo info{};
    imaging::GetColorInfo16(v.mi_Zoom, v.CropRect.scaled(v.ScreenScale), info);
    return info.ci1.rgb;
}

int NPA_CropCornerAt(const CropView& v, TPointF p) {
    int result = -1;
    for (int k = 0; k < 4; ++k) {
        const double dx = double(p.X) - v.CropCorners[k].X, dy = double(p.Y) - v.CropCorners[k].Y;
        if (std::sqrt(dx * dx + dy * dy) < 20.0) result = k;
    }
    return result;
}

void Img_maincropMouseDown(CropView& v, Single X, Single Y) {
    v.cornerDrag = v.moveDrag = false;
    const int k = NPA_CropCornerAt(v, {X, Y});
    if (k >= 0) {
        v.cornerDrag = true;
        v.draggedCorner = k;
        return;
    }
    const TRectF& r = v.CropRect;
    if (r.Width() > 20 && r.Height() > 20 && X >= r.Left && X <= r.Right && Y >= r.Top &&
        Y <= r.Bottom) {
        v.moveDrag = true;
        v.lastPointer = {X, Y};
    }
}

void Img_maincropMouseMove(CropView& v, Single X, Single Y, double widthPx, double heightPx) {
    const TRectF R = v.CropRect;
    const Single W = v.W(), H = v.H();
    if (v.cornerDrag) {
        TRectF n = R;
        int anchor = 0;
        switch (v.draggedCorner) {
        case 0:
            n = {std::max(0.0f, X), std::max(0.0f, Y), R.Right, R.Bottom};
            anchor = 2;
            break;
        case 1:
            n = {R.Left, std::max(0.0f, Y), std::min(X, W), R.Bottom};
            anchor = 3;
            break;
        case 2:
            n = {R.Left, R.Top, std::min(X, W), std::min(Y, H)};
            anchor = 0;
            break;
        default:
            n = {std::max(0.0f, X), R.Top, R.Right, std::min(Y, H)};
            anchor = 1;
            break;
        }
        v.setCropRect(NPA_FitCropToAspect(n, anchor, widthPx, heightPx));
    } else if (v.moveDrag) {
        TRectF r = R;
        const auto inside = [&](const TRectF& c) {
            return c.Left >= 0 && c.Top >= 0 && c.Right <= W && c.Bottom <= H;
        };
        const Single dx = v.lastPointer.X - X;
        TRectF c = r;
        c.Left -= dx;
        c.Right -= dx;
        if (inside(c)) r = c;
        v.lastPointer.X = X;
        const Single dy = v.lastPointer.Y - Y;
        c = r;
        c.Top -= dy;
        c.Bottom -= dy;
        if (inside(c)) r = c;
        v.lastPointer.Y = Y;
        v.setCropRect(r);
    }
}

void Img_maincropMouseUp(CropView& v) {
    v.cornerDrag = v.moveDrag = false;
}
void Img_maincropMouseLeave(CropView& v) {
    v.cornerDrag = v.moveDrag = false;
}

void setMainImage(CropView& v, QImage picture) {
    v.mi_org = imaging::toWorkingFormat(std::move(picture));
    QImage zoom;
    imaging::Bitmap_FitInto(v.mi_org, zoom, int(std::trunc(v.viewWidth * v.sceneScale)),
                            int(std::trunc(v.viewHeight * v.sceneScale)));
    v.mi_Zoom = zoom;
    v.lb_miSize =
        QStringLiteral("File Size %1x%2 pixels").arg(v.mi_org.width()).arg(v.mi_org.height());
}

namespace {

QImage readPicture(QImageReader& reader, const QString& what) {
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull())
        throw WorkflowError(
            QStringLiteral("cannot read the main image %1: %2").arg(what, reader.errorString()));
    return picture;
}

} // namespace

bool NPA_LoadMainImage(CropView& v, const QString& path) {
    if (!QFileInfo(path).isFile()) return false;
    QImageReader reader(path);
    setMainImage(v, readPicture(reader, QStringLiteral("\"%1\"").arg(path)));
    return true;
}

bool NPA_LoadMainImageStream(CropView& v, const QByteArray& data) {
    if (data.isEmpty()) return false;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    setMainImage(v, readPicture(reader, QStringLiteral("from memory")));
    return true;
}

void MakeFullSize(const CropView& v, engine::MosaicContext& ctx, QStringList* log) {
    if (v.mi_org.isNull() || v.mi_Zoom.isNull()) return;
    const auto& cfg = ctx.mproject->cfg;
    if (log) {
        *log << QStringLiteral("mi_org_wd%1").arg(v.mi_org.width())
             << QStringLiteral("mi_Zoom_wd%1").arg(v.mi_Zoom.width())
             << QStringLiteral("mainformScreenScale%1").arg(double(v.ScreenScale))
             << QStringLiteral("mproject.cfg.WidthPx%1").arg(cfg.WidthPx);
    }
    const double k = double(v.mi_org.width()) / v.mi_Zoom.width() * v.ScreenScale;
    const TRectF src = v.CropRect.scaled(k);
    const int w = int(std::trunc(cfg.WidthPx / 2)), h = int(std::trunc(cfg.HeightPx / 2));
    if (w <= 0 || h <= 0) {
        ctx.MainImageCrop = QImage();
        ctx.MainImageScale = 0;
        return;
    }
    QImage crop(w, h, QImage::Format_ARGB32_Premultiplied);
    if (crop.isNull())
        throw WorkflowError(
            QStringLiteral("not enough memory for a %1 x %2 main image").arg(w).arg(h));
    crop.fill(0xFFFFFFFFu);
    {
        QPainter painter(&crop);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        // Strong reductions are averaged first; the painter's bilinear filter would alias.
        if (src.Width() > 2.0f * w || src.Height() > 2.0f * h)
            painter.drawImage(
                QRectF(0, 0, w, h),
                imaging::areaAverageTo(v.mi_org, src.Left, src.Top, src.Right, src.Bottom, w, h));
        else
            painter.drawImage(QRectF(0, 0, w, h), v.mi_org, src.toQRectF());
    }
    crop.convertTo(QImage::Format_ARGB32); // in place: the cut is up to 4000 x 4000
    ctx.MainImageCrop = std::move(crop);
    ctx.MainImageScale = double(w) / cfg.WidthPx;
}

} // namespace vantorel::workflow
