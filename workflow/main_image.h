#pragma once
// The main image, its crop frame on the crop view, and the cut the engine samples from.
// The crop frame lives in logical units of the crop view; only MakeFullSize goes back to
// the full-resolution picture. Windows keep a CropView and forward pointer events to it.
#include "engine/mosaic_context.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace vantorel::workflow {

using engine::Single;
using engine::TAlphaColor;
using engine::TPointF;
using engine::TRectF;

// A main image that cannot be read, or a step of the project pipeline that failed.
struct WorkflowError : std::runtime_error {
    using std::runtime_error::runtime_error;
    explicit WorkflowError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

struct CropView {
    QImage mi_org;  // the main image as loaded, full resolution
    QImage mi_Zoom; // mi_org fitted into the crop view, device pixels
    TRectF CropRect{0, 0, 0, 0};
    TPointF CropCorners[4]{}; // TL, TR, BR, BL of CropRect
    Single viewWidth = 600;   // logical size of the crop view control
    Single viewHeight = 450;
    Single sceneScale = 1;  // device pixels per logical unit of the crop view
    Single ScreenScale = 1; // device pixels per logical unit of the main view
    QString lb_miSize;      // "File Size WxH pixels"

    bool cornerDrag = false;
    bool moveDrag = false;
    int draggedCorner = 0;
    TPointF lastPointer{0, 0};

    // Width and height of the crop view's image in logical units.
    Single W() const { return mi_Zoom.width() / ScreenScale; }
    Single H() const { return mi_Zoom.height() / ScreenScale; }
    // CropRect := r, corners rewritten.
    void setCropRect(const TRectF& r);
};

// R shrunk to the aspect Wpx:Hpx (the longer relative side becomes a whole number),
// placed at anchor 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left of R.
TRectF NPA_FitCropToAspect(const TRectF& R, int anchor, double Wpx, double Hpx);

// The centred crop of the mosaic's aspect at 0.9 of the largest fit; returns the average
// colour of that region (the new background colour).
TAlphaColor NPA_AutoCrop(CropView& v, double widthPx, double heightPx);

// Index of the last corner closer than 20 units to p, or -1.
int NPA_CropCornerAt(const CropView& v, TPointF p);

// Frame editing with pointer positions in logical units of the crop view.
void Img_maincropMouseDown(CropView& v, Single X, Single Y);
void Img_maincropMouseMove(CropView& v, Single X, Single Y, double widthPx, double heightPx);
void Img_maincropMouseUp(CropView& v);
void Img_maincropMouseLeave(CropView& v);

// Loads mi_org (EXIF orientation applied) and fits mi_Zoom into the view. False when the
// path does not exist (nothing changes); throws WorkflowError for an unreadable picture,
// keeping the previous image.
bool NPA_LoadMainImage(CropView& v, const QString& path);
// The same from encoded bytes; false for an empty buffer.
bool NPA_LoadMainImageStream(CropView& v, const QByteArray& data);
// Uses picture (already decoded) as the main image and fits mi_Zoom.
void setMainImage(CropView& v, QImage picture);

// Cuts MainImageCrop (half the on-screen mosaic size) from the crop and sets
// MainImageScale; nothing when mi_org is empty. Appends its diagnostic lines to log.
void MakeFullSize(const CropView& v, engine::MosaicContext& ctx, QStringList* log = nullptr);

} // namespace vantorel::workflow
