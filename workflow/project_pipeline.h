#pragma once
// The new-project pipeline without windows: the wizard's control values, how they land in
// the project and the options, and the preview / render / create steps in the wizard's
// order. The wizard window and vantorel-cli both drive a NewProjectPipeline.
#include "engine/mosaic_context.h"
#include "imaging/progress.h"
#include "workflow/main_image.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QStringList>

namespace vantorel::workflow {

// Inclusive range of a wizard control.
struct ControlRange {
    double min, max;
    bool contains(double v) const { return v >= min && v <= max; }
};

constexpr ControlRange kTileCountRange{5, 200};
constexpr ControlRange kGapRange{0, 100};
constexpr ControlRange kTileSizeRange{0.1, 200};
constexpr ControlRange kPpiRange{50, 300};
constexpr ControlRange kEnhanceRange{1, 2};
constexpr ControlRange kDitherRange{0, 100};
constexpr ControlRange kWeightRange{0.5, 5};
constexpr ControlRange kRandomLevelRange{1, 100};
constexpr ControlRange kRepeatRange{1, 100000};
constexpr ControlRange kRepeatRadiusRange{0, 100};
constexpr ControlRange kColorAdjustRange{0.01, 0.5};
constexpr ControlRange kAlphaBlendRange{0.01, 0.3};

// Every control value of the wizard, starting at the values the wizard opens with.
struct WizardSettings {
    // "Size and Pattern"
    double horizontalTileCount = 56;    // sbhcc
    double verticalTileCount = 56;      // sbvcc
    double horizontalGap = 2;           // SpinBox_horzGap
    double verticalGap = 2;             // SpinBox_vertgap
    double tileWidthPx = 60;            // sbcellwd_px
    double tileHeightPx = 60;           // sbcellht_px
    int unitIndex = engine::kUnitPixel; // C_MosaicUnit
    double ppi = 100;                   // E_MosaicPPI
    double enhance = 1.2;               // sb_SrcColorEnhance
    // Logical size of the cell preview image (Image_CellPreview).
    double cellPreviewWidth = 600;
    double cellPreviewHeight = 400;
    // "Render Option"
    bool searchScanline = false;          // rb_search_scanline (else random start)
    bool dither = true;                   // CheckBox_Dither
    double ditherLevel = 100;             // TrackBar_dither, percent
    bool rgbMatch = false;                // rb_rgbmatch (else Light-RGB)
    double weightL = 0.795082;            // TrackBar_weightL
    double weightC = 0.795082;            // TrackBar_weightC
    double randomLevel = 15;              // TrackBar_Randomlevel
    bool useAll = false;                  // CheckBox_useall
    bool repeatMinOn = false;             // CheckBox_repeatmin
    double repeatMin = 1;                 // SpinBox_repeatMin
    bool repeatMaxOn = true;              // CheckBox_repeatMax
    double repeatMax = 50;                // SpinBox_RepeatMax
    bool repeatRadiusOn = true;           // CheckBox_repeatradius
    double repeatRadius = 1;              // SpinBox_repeatRadius
    bool bgMain = false;                  // rb_bg_main (else "Fill by Color")
    TAlphaColor groutColor = 0xFFFFF8DCu; // colorpicker1; the crop's average once cropped
    double colorAdjust = 0.4;             // tb_coloradj
    double alphaBlend = 0.25;             // tb_alphablend
};

// The unit drop-down's item texts.
QString unitText(int unitIndex);

// What NPA_SizeUpdate_KRV writes into the wizard's labels.
struct SizeTexts {
    QString mosaicSize;  // lb_mosaicSize
    QStringList summary; // Memo_sizeinfo, seven lines
};

// Applies the size settings to the project (cfg, MainSize_Update, SizeChanged) and returns
// the label texts.
SizeTexts NPA_SizeUpdate_KRV(engine::TMosaicProject& project, const WizardSettings& s,
                             Single screenScale);
// The seven summary lines for the project as it stands.
QStringList sizeSummaryLines(const engine::TMosaicProject& project);
// The "Render Option" controls into the options record.
void NPA_ReadOptions(const WizardSettings& s, engine::TSearchOpts& opts);

// Milliseconds spent per phase since the pipeline was made (or reset).
struct PhaseTimes {
    qint64 layoutMs = 0;
    qint64 samplingMs = 0;
    qint64 searchMs = 0;
    qint64 renderMs = 0;
};

// The wizard's operations over one context, crop view and settings.
class NewProjectPipeline {
  public:
    NewProjectPipeline(engine::MosaicContext& ctx, CropView& view, WizardSettings& settings)
        : m_ctx(ctx), m_view(view), m_settings(settings) {}

    // Loads the main image and runs the automatic crop; see NPA_LoadMainImage.
    bool NPA_LoadMainImage(const QString& path);
    bool NPA_LoadMainImageStream(const QByteArray& data);
    // Centred crop; the background colour (settings and SearchOpts) becomes its average.
    void NPA_AutoCrop();
    // Size settings into the project; the label texts are kept in sizeTexts().
    void NPA_SizeUpdate_KRV();
    void NPA_ReadOptions();
    // Layout, cut and sampling; mode 0 draws into cellPreview, 1 into mainView, 3 draws
    // nothing.
    void NPA_Preview(int mode, QImage* cellPreview, QImage* mainView, imaging::Progress* progress);
    // Options, masks, use counts, cut, sampling, search; sets Rendered.
    void NPA_Render(imaging::Progress* progress);
    // Size settings, render, then the final mosaic (or viewMode) into mainView.
    void NPA_RenderAndDraw(QImage& mainView, imaging::Progress* progress, int viewMode = 50);
    // " Create Mosaic >>>": every tile enabled, layout again when the sizes changed,
    // render and draw.
    void createMosaic(QImage& mainView, imaging::Progress* progress, int viewMode = 50);

    // When set, the final drawing uses the main image as it is stored in a project folder
    // (JPEG), so opening the saved project later draws exactly the same picture.
    void setDrawFromStoredMainImage(bool on) { m_drawFromStored = on; }
    // The encoded main image the last render drew from (empty unless the option is set).
    const QByteArray& storedMainImage() const { return m_storedMainImage; }

    // CellPreviewMode: the view mode of the cell preview (sampled colours at first).
    int cellPreviewMode() const { return m_cellPreviewMode; }
    void setCellPreviewMode(int mode) { m_cellPreviewMode = mode; }

    const SizeTexts& sizeTexts() const { return m_sizeTexts; }
    const QStringList& diagnosticLog() const { return m_log; }
    const QString& timeCost1() const { return m_timeCost1; } // Label_timecost1
    const QString& timeCost2() const { return m_timeCost2; } // Label_timecost2
    const PhaseTimes& phaseTimes() const { return m_times; }
    void resetPhaseTimes() { m_times = {}; }

  private:
    engine::MosaicContext& m_ctx;
    CropView& m_view;
    WizardSettings& m_settings;
    SizeTexts m_sizeTexts;
    QStringList m_log;
    QString m_timeCost1 = QStringLiteral("Time Elapsed");
    QString m_timeCost2 = QStringLiteral("Time Elapsed");
    QElapsedTimer m_stopwatch;
    PhaseTimes m_times;
    int m_cellPreviewMode = 10;
    bool m_drawFromStored = false;
    QByteArray m_storedMainImage;
};

// JPEG quality of mainimage.jpg and MosaicPicture.jpg.
constexpr int kProjectJpegQuality = 90;

} // namespace vantorel::workflow
