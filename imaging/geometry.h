#pragma once
// Plain single-precision points and rectangles as they lie in the data files.
#include <QPointF>
#include <QRectF>

namespace vantorel::imaging {

struct TPointF {
    float X, Y;
};
static_assert(sizeof(TPointF) == 8);

// Left, top, right, bottom; the right and bottom edges are exclusive where it matters.
struct TRectF {
    float Left, Top, Right, Bottom;

    float Width() const { return Right - Left; }
    float Height() const { return Bottom - Top; }
    bool IsEmpty() const { return !(Right > Left) || !(Bottom > Top); }
    TPointF CenterPoint() const { return {(Left + Right) / 2, (Top + Bottom) / 2}; }
    TRectF scaled(double k) const {
        return {float(Left * k), float(Top * k), float(Right * k), float(Bottom * k)};
    }
    QRectF toQRectF() const { return QRectF(QPointF(Left, Top), QPointF(Right, Bottom)); }
};
static_assert(sizeof(TRectF) == 16);

// The overlap of a and b; empty (Right <= Left or Bottom <= Top) when they do not meet.
TRectF intersectRect(const TRectF& a, const TRectF& b);

} // namespace vantorel::imaging
