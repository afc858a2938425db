#include "workflow/project_pipeline.h"

#include "engine/mosaic_render.h"
#include "engine/tile_search.h"
#include "imaging/image_func.h"
#include "imaging/mosaic_pattern.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cmath>

namespace vantorel::workflow {

using engine::TMosaicProject;

namespace {

QString f42(double v) {
    return QString::asprintf("%4.2f", v);
}

QString truncText(double v) {
    return QString::number(static_cast<qint64>(std::trunc(v)));
}

} // namespace

QString unitText(int unitIndex) {
    switch (unitIndex) {
    case engine::kUnitInch:
        return QStringLiteral("inch");
    case engine::kUnitMm:
        return QStringLiteral("mm");
    default:
        return QStringLiteral("pixel");
    }
}

QStringList sizeSummaryLines(const TMosaicProject& project) {
    const auto& cfg = project.cfg;
    const QString U = project.SizeUnitStr.str();
    return {
        QStringLiteral("Tile Size ") + f42(cfg.CellWdf) + QStringLiteral(" x ") + f42(cfg.CellHtf) +
            U,
        QStringLiteral("Gap Size ") + f42(cfg.CellgapwdF) + QStringLiteral(" x ") +
            f42(cfg.CellgaphtF) + U,
        QStringLiteral("Tile Count ") + QString::number(project.GetProjectCellCount()),
        QStringLiteral("Mosaic Size ") + f42(cfg.FullWidthF) + QStringLiteral(" x ") +
            f42(cfg.FullHeightF) + U,
        QStringLiteral("-------"),
        QStringLiteral("Full Image Size ") + truncText(cfg.FullWidthPX) + QStringLiteral(" x ") +
            truncText(cfg.FullHeightpx) + QStringLiteral("Pixels"),
        QStringLiteral(
            "Max Pixel Size is limited to 8192; // According DirectX 10 specification. "),
    };
}

SizeTexts NPA_SizeUpdate_KRV(TMosaicProject& project, const WizardSettings& s, Single screenScale) {
    auto& cfg = project.cfg;
    cfg.CellWdPx = s.tileWidthPx;
    cfg.CellHtPx = s.tileHeightPx;
    cfg.CellWdf = s.tileWidthPx;
    cfg.CellHtf = s.tileHeightPx;
    cfg.CellgapwdF = s.horizontalGap;
    cfg.CellgaphtF = s.verticalGap;
    cfg.ProjectPatternType = engine::kPatternGrid;
    cfg.Hcc = static_cast<std::int32_t>(std::trunc(s.horizontalTileCount));
    cfg.Vcc = static_cast<std::int32_t>(std::trunc(s.verticalTileCount));
    cfg.SrcColorEnhance = s.enhance;
    const auto [fw, fh] = project.GetProjectSize();
    cfg.FullWidthF = fw;
    cfg.FullHeightF = fh;
    cfg.CanvasUnit = s.unitIndex;
    cfg.CanvasPPI = s.ppi;
    project.SizeUnitStr.set(unitText(s.unitIndex).left(10));
    cfg.PreviewBMPsize = 8000;
    cfg.CellPlanBMPsizeWD = static_cast<std::int32_t>(std::trunc(s.cellPreviewWidth * screenScale));
    cfg.CellPlanBMPsizeHT =
        static_cast<std::int32_t>(std::trunc(s.cellPreviewHeight * screenScale));
    project.MainSize_Update();
    SizeTexts texts;
    texts.mosaicSize = QStringLiteral("Mosaic Size ") + truncText(cfg.WidthPx) +
                       QStringLiteral(" x ") + truncText(cfg.HeightPx) + unitText(s.unitIndex);
    texts.summary = sizeSummaryLines(project);
    project.SizeChanged = 1;
    return texts;
}

void NPA_ReadOptions(const WizardSettings& s, engine::TSearchOpts& o) {
    o.SearchScanline = s.searchScanline;
    o.Dither = s.dither;
    o.DitherLevel = static_cast<Single>(s.ditherLevel / 100.0);
    o.RGBMatch = s.rgbMatch;
    o.WeightL = static_cast<Single>(s.weightL);
    o.WeightC = static_cast<Single>(s.weightC);
    o.RandomLevel = static_cast<std::int32_t>(std::trunc(s.randomLevel));
    o.UseAll = s.useAll;
    o.RepeatMinOn = s.repeatMinOn;
    o.RepeatMin = static_cast<std::int32_t>(std::trunc(s.repeatMin));
    o.RepeatMaxOn = s.repeatMaxOn;
    o.RepeatMax = static_cast<std::int32_t>(std::trunc(s.repeatMax));
    o.RepeatRadiusOn = s.repeatRadiusOn;
    o.RepeatRadius = static_cast<std::int32_t>(std::trunc(s.repeatRadius));
    o.BgMain = s.bgMain;
    o.GroutColor = s.groutColor;
    o.AlphaBlend = s.alphaBlend;
    o.ColorAdjust = s.colorAdjust;
}

// ---------------------------------------------------------------------------------------

bool NewProjectPipeline::NPA_LoadMainImage(const QString& path) {
    if (!workflow::NPA_LoadMainImage(m_view, path)) return false;
    NPA_AutoCrop();
    return true;
}

bool NewProjectPipeline::NPA_LoadMainImageStream(const QByteArray& data) {
    if (!workflow::NPA_LoadMainImageStream(m_view, data)) return false;
    NPA_AutoCrop();
    return true;
}

void NewProjectPipeline::NPA_AutoCrop() {
    const auto& cfg = m_ctx.mproject->cfg;
    const TAlphaColor c = workflow::NPA_AutoCrop(m_view, cfg.WidthPx, cfg.HeightPx);
    // colorpicker1Change copies the colour into the options at once.
    m_settings.groutColor = c;
    m_ctx.SearchOpts.GroutColor = c;
}

void NewProjectPipeline::NPA_SizeUpdate_KRV() {
    m_sizeTexts = workflow::NPA_SizeUpdate_KRV(*m_ctx.mproject, m_settings, m_ctx.ScreenScale);
}

void NewProjectPipeline::NPA_ReadOptions() {
    workflow::NPA_ReadOptions(m_settings, m_ctx.SearchOpts);
}

void NewProjectPipeline::NPA_Preview(int mode, QImage* cellPreview, QImage* mainView,
                                     imaging::Progress* progress) {
    m_timeCost1.clear();
    m_stopwatch.restart();
    QElapsedTimer phase;
    phase.start();
    NPA_SizeUpdate_KRV();
    m_log << QStringLiteral("NPA_SizeUpdate_KRV");
    m_ctx.mproject->Cell_Reset();
    m_log << QStringLiteral("NPA_Cell_Reset");
    m_times.layoutMs += phase.restart();
    m_timeCost1 = QStringLiteral("Cell") + QString::number(m_stopwatch.restart());
    MakeFullSize(m_view, m_ctx, &m_log);
    m_log << QStringLiteral("MakeFullSize");
    m_ctx.mproject->Cell_ReadColorFromMI_2017(m_ctx.MainImageCrop, m_ctx.MainImageScale);
    m_ctx.mproject->AddonCell_ReadColorFromMI_2017(m_ctx.MainImageCrop, m_ctx.MainImageScale);
    m_log << QStringLiteral("NPA_ReadColor2 done");
    m_times.samplingMs += phase.restart();
    m_timeCost1 += QStringLiteral(" ReadC2-") + QString::number(m_stopwatch.restart());
    const auto& cfg = m_ctx.mproject->cfg;
    if (mode == 0 && cellPreview)
        engine::RenderView(m_ctx, m_cellPreviewMode, *cellPreview, Single(cfg.CellPlanScale),
                           progress);
    else if (mode == 1 && mainView)
        engine::RenderView(m_ctx, m_cellPreviewMode, *mainView, Single(cfg.PreviewScale), progress);
    m_times.renderMs += phase.restart();
    m_log << QStringLiteral("NPA_Drawed");
    m_timeCost1 += QStringLiteral("  Draw") + QString::number(m_stopwatch.elapsed());
    m_ctx.mproject->SizeChanged = 0;
}

void NewProjectPipeline::NPA_Render(imaging::Progress* progress) {
    m_stopwatch.restart();
    QElapsedTimer phase;
    phase.start();
    NPA_ReadOptions();
    imaging::Pattern_BuildCellIcons(m_ctx.mproject->patterncfg);
    m_ctx.ProjectTileLib->ZeroUsecount();
    m_ctx.mproject->cell_ClearTileID();
    MakeFullSize(m_view, m_ctx, &m_log);
    m_ctx.mproject->Cell_ReadColorFromMI_2017(m_ctx.MainImageCrop, m_ctx.MainImageScale);
    m_times.samplingMs += phase.restart();
    m_timeCost2 += QStringLiteral("ReadColor") + QString::number(m_stopwatch.restart());
    engine::Search_withoptions(m_ctx, progress);
    m_ctx.mproject->Rendered = 1;
    m_times.searchMs += phase.restart();
    m_timeCost2 += QStringLiteral("  Render") + QString::number(m_stopwatch.elapsed());
}

void NewProjectPipeline::NPA_RenderAndDraw(QImage& mainView, imaging::Progress* progress,
                                           int viewMode) {
    NPA_SizeUpdate_KRV();
    NPA_Render(progress);
    auto& project = *m_ctx.mproject;
    project.cfg.PreviewBMPsize = 8000;
    project.MainSize_Update();
    QElapsedTimer phase;
    phase.start();
    m_storedMainImage.clear();
    if (m_drawFromStored && !m_ctx.MainImageCrop.isNull()) {
        QBuffer buffer(&m_storedMainImage);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpg");
        writer.setQuality(kProjectJpegQuality);
        if (!writer.write(m_ctx.MainImageCrop))
            throw WorkflowError(
                QStringLiteral("cannot encode the main image: %1").arg(writer.errorString()));
        buffer.close();
        QImage stored = QImage::fromData(m_storedMainImage, "jpg");
        if (stored.isNull()) throw WorkflowError(QStringLiteral("cannot decode the main image"));
        m_ctx.MainImageCrop = imaging::toWorkingFormat(std::move(stored));
    }
    engine::RenderView(m_ctx, viewMode, mainView, Single(project.cfg.PreviewScale), progress);
    m_times.renderMs += phase.elapsed();
}

void NewProjectPipeline::createMosaic(QImage& mainView, imaging::Progress* progress, int viewMode) {
    m_timeCost2.clear();
    m_stopwatch.restart();
    auto& lib = *m_ctx.ProjectTileLib;
    for (int i = 0; i < std::clamp(lib.Count, 0, tilelib::kTileSlots); ++i)
        lib.ItemEnable[i] = 1;
    if (m_ctx.mproject->SizeChanged) NPA_Preview(3, nullptr, nullptr, progress);
    NPA_RenderAndDraw(mainView, progress, viewMode);
    m_timeCost2 += QStringLiteral("  Draw") + QString::number(m_stopwatch.elapsed());
}

} // namespace vantorel::workflow
