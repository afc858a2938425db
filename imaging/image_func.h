#pragma once
// Bitmap operations shared by the renderer, the library code and the windows. Bitmaps are
// QImage in Format_ARGB32 (straight alpha, pixels read as TAlphaColor); "smooth" drawing is
// antialiased and filtered.
#include "imaging/color_info.h"
#include "imaging/geometry.h"

#include <QImage>
#include <QPainter>

namespace vantorel::imaging {

// Converts any image to the working format (ARGB32, straight alpha).
QImage toWorkingFormat(QImage image);

// destination := source scaled to fit inside W x H (aspect kept, enlarged when smaller),
// on opaque white; unchanged when the source is empty.
void Bitmap_FitInto(const QImage& source, QImage& destination, int W, int H);
// destination := exactly W x H of background with the fitted source centred.
void Bitmap_FitCentered(const QImage& source, QImage& destination, int W, int H,
                        TAlphaColor background);
// Draws bitmap fitted and centred in (0, 0)-(bw, bh) of the canvas.
void Canvas_DrawBitmapFit(const QImage& bitmap, QPainter& canvas, Single bw, Single bh);
// destination := exactly W x H: the largest centred part of source with aspect W:H, scaled.
void CropResize(const QImage& source, QImage& destination, int W, int H);
void Bitmap_CropResize(const QImage& source, QImage& destination, int W, int H);
// The source rectangle CropResize takes from a w x h picture for a W x H result.
TRectF CropResize_SourceRect(int w, int h, int W, int H);

void Bitmap_Gray(QImage& bitmap);
void Bitmap_AddRGB(QImage& bitmap, int dR, int dG, int dB);
void Bitmap_ShiftToColor(QImage& bitmap, const TimgColorInfo& tile, const TimgColorInfo& target,
                         Single factor);
// target takes mask's alpha (mask scaled to target's size); alpha below 128 clears a pixel.
void Bitmap_ApplyAlphaMask(const QImage& mask, QImage& target);
// Turns bitmap about its centre; it grows to the turned bounding box, corners opaque black.
void Bitmap_Rotate(QImage& bitmap, Single degrees);
// source turned about its centre onto a box of background grown to the turned bounding box,
// premultiplied; a null image when that box cannot be allocated.
QImage rotatedImage(const QImage& source, double degrees, TAlphaColor background);

void Bitmap_DrawOpacity(const QImage& source, QImage& destination, const TRectF& sourceRect,
                        const TRectF& destRect, Single opacity);
void Draw_ColorInfo1(QPainter& canvas, Single x, Single y, const TimgColorInfo& info);
void Draw_ColorInfo64(QPainter& canvas, Single x, Single y, const TimgColorInfo& info);
// card := 128 x 192: picture fitted in the top square, ci1 swatch and zone grid below.
void Draw_ColorInfoCard(const TimgColorInfo& info, const QImage& picture, QImage& card);

} // namespace vantorel::imaging
