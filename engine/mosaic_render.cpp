#include "engine/mosaic_render.h"

#include "imaging/image_func.h"
#include "imaging/mosaic_pattern.h"

#include <QFont>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vantorel::engine {

using imaging::Progress;
using imaging::progressOrNone;

namespace {

constexpr double kDegPerRad = 57.29577951308232;
constexpr TAlphaColor kBlack = 0xFF000000u;
constexpr TAlphaColor kWhite = 0xFFFFFFFFu;

std::atomic<int> g_renderThreads{0};

QPointF scaledPoint(const TPointF& p, Single scale, QPointF offset = {}) {
    return {p.X * double(scale) + offset.x(), p.Y * double(scale) + offset.y()};
}

QRectF scaledRect(const TRectF& r, Single scale, QPointF offset = {}) {
    return QRectF(
        QPointF(r.Left * double(scale) + offset.x(), r.Top * double(scale) + offset.y()),
        QPointF(r.Right * double(scale) + offset.x(), r.Bottom * double(scale) + offset.y()));
}

// The library slot a cell holds; -1 for none or for an index the library does not have.
int heldTile(const MosaicContext& ctx, const TCell& cell) {
    const int count = std::clamp(ctx.ProjectTileLib->Count, 0, tilelib::kTileSlots);
    return cell.TileID >= 0 && cell.TileID < count ? cell.TileID : -1;
}

// The cell's shape: an ellipse in its rectangle for round cells, else its outline.
void drawShape(const TCell& cell, QPainter& canvas, bool fill, TAlphaColor color, Single scale,
               QPointF offset) {
    if (cell.CellShape == imaging::kShapeEllipse) {
        imaging::Draw_EllipseAt(canvas, cell.CellRectReal, cell.Rotate, fill, 1.0f, color, scale,
                                offset);
        return;
    }
    Tpoly poly = cell.CellPolyReal;
    poly.Count = std::clamp(poly.Count, 0, 11); // a damaged file must not read past the points
    imaging::Draw_PolyAt(canvas, poly, fill, 1.0f, color, scale, offset);
}

// Draws text centred in r, height view units high. Qt fonts take whole pixel sizes, so a
// fractional height is the next whole size drawn scaled down.
void drawCentredText(QPainter& canvas, const QRectF& r, const QString& text, Single height) {
    const double h = std::isnan(height) ? 1.0 : std::clamp(double(height), 1.0, 10000.0);
    const int px = int(std::ceil(h));
    QFont font = canvas.font();
    font.setPixelSize(px);
    canvas.setFont(font);
    const double k = h / px;
    if (k == 1.0) {
        canvas.drawText(r, Qt::AlignCenter, text);
        return;
    }
    canvas.translate(r.center());
    canvas.scale(k, k);
    canvas.drawText(
        QRectF(-r.width() / (2 * k), -r.height() / (2 * k), r.width() / k, r.height() / k),
        Qt::AlignCenter, text);
}

// ---------------------------------------------------------------------------------------
// Final mosaic: cell bitmap preparation

// Turns b about its centre onto a transparent box, so the masked-out area stays
// see-through (an opaque box would hide the grout around every turned tile).
QImage rotateTransparent(const QImage& b, double degrees) {
    return imaging::rotatedImage(b, degrees, 0u);
}

// What one cell draws: its bitmap and where.
struct PreparedCell {
    QImage image;
    QRectF dest;
};

struct PrepareParams {
    const MosaicContext* ctx;
    Single scale;
    bool shift;
    bool blend;
};

// When a cell's bitmap is turned: grid cells from 0.01 rad on, ring cells unless exactly 0,
// single cells always.
enum class TurnRule { GridSkipBelow, RingSkipZero, Always };

// shift -> blend -> mask -> turn, then the destination rectangle by the size rule.
PreparedCell prepareCell(const PrepareParams& p, const TCell& cell, int tile, const QImage& tileBmp,
                         const QImage& mask, TurnRule turn) {
    const MosaicContext& ctx = *p.ctx;
    const auto& cfg = ctx.mproject->cfg;
    QImage b = tileBmp;
    if (p.shift)
        imaging::Bitmap_ShiftToColor(b, ctx.ProjectTileLib->items[tile].ICinfo, cell.ICinfo,
                                     Single(ctx.SearchOpts.ColorAdjust));
    if (p.blend) {
        const TRectF dest{0, 0, Single(b.width()), Single(b.height())};
        imaging::Bitmap_DrawOpacity(ctx.MainImageCrop, b, cell.CellRect.scaled(ctx.MainImageScale),
                                    dest, Single(ctx.SearchOpts.AlphaBlend));
    }
    imaging::Bitmap_ApplyAlphaMask(mask, b);

    const double rot = cell.Rotate;
    // Negative angles turn as well: the outline of such a cell is turned too.
    const bool turned = turn == TurnRule::Always         ? true
                        : turn == TurnRule::RingSkipZero ? rot != 0.0
                                                         : std::abs(rot) >= 0.01;
    if (!turned && turn == TurnRule::GridSkipBelow)
        return {b.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                scaledRect(cell.CellRectReal, p.scale)};
    // Centred on the cell; the bitmap's size times the cell width over its width before
    // turning.
    const double widthBefore = b.width();
    QImage r = turned ? rotateTransparent(b, rot * kDegPerRad)
                      : b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const double k = widthBefore > 0 ? cfg.CellWdf * p.scale / widthBefore : 0.0;
    const QPointF c = scaledPoint(cell.CellCenterReal, p.scale);
    const double dw = r.width() * k, dh = r.height() * k;
    return {std::move(r), QRectF(c.x() - dw / 2, c.y() - dh / 2, dw, dh)};
}

// The tile bitmap: the ready photo cut and scaled to W x H, then reduced once to
// workW x workH when the cells are drawn much smaller than the 4x oversampled size.
QImage loadTileBitmap(const QString& path, int W, int H, int workW, int workH) {
    QImageReader reader(path);
    QImage photo = reader.read();
    if (photo.isNull())
        throw RenderError(QStringLiteral("cannot read tile image \"%1\": %2")
                              .arg(path, reader.errorString())
                              .toStdString());
    QImage tile;
    imaging::CropResize(photo, tile, W, H);
    if (tile.isNull())
        throw RenderError(
            QStringLiteral("tile image \"%1\" gives an empty tile").arg(path).toStdString());
    if (workW < W || workH < H) tile = imaging::areaAverageTo(tile, 0, 0, W, H, workW, workH);
    return imaging::toWorkingFormat(std::move(tile));
}

// Trunc of a cell size in pixels; values a damaged project file may hold are refused
// before they size a bitmap.
int cellPixels(double v) {
    if (!(v > 0)) return 0;
    if (v > 8192)
        throw RenderError(
            QStringLiteral("the cell size of %1 pixels is too large to draw").arg(v).toStdString());
    return int(v);
}

// Device pixels per view unit of the canvas.
double deviceScale(const QPainter& canvas) {
    const QTransform t = canvas.deviceTransform();
    const double s = std::hypot(t.m11(), t.m12());
    return s > 0 ? s : 1.0;
}

// Work size of the tile bitmap: the 4x oversampled size, but not more than twice the
// device pixels the cell covers. Drawing a bitmap of twice the target size with the
// painter's bilinear filter averages every source pixel, so the picture looks the same as
// (and is less aliased than) drawing the 4x bitmap, at a quarter of the work.
std::pair<int, int> workSize(int W, int H, double cellW, double cellH, double devScale) {
    const double tw = 2.0 * cellW * devScale, th = 2.0 * cellH * devScale;
    if (!(tw > 0 && th > 0) || tw >= W || th >= H) return {W, H};
    return {std::max(1, int(std::ceil(tw))), std::max(1, int(std::ceil(th)))};
}

// A mask at the work size with its alpha already thresholded: applying it to a bitmap of
// that size gives exactly what applying the original icon does.
QImage maskAtSize(const QImage& icon, int w, int h) {
    QImage white(w, h, QImage::Format_ARGB32);
    white.fill(kWhite);
    imaging::Bitmap_ApplyAlphaMask(icon, white);
    return white;
}

// A small pool that runs index loops on several threads; the calling thread joins in.
class WorkerPool {
  public:
    explicit WorkerPool(int threads) {
        for (int i = 1; i < threads; ++i)
            m_threads.emplace_back([this] { workerLoop(); });
    }
    ~WorkerPool() {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        for (auto& t : m_threads)
            t.join();
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Calls fn(i) for i in 0..n-1 and returns when all are done; fn must not throw.
    void run(int n, const std::function<void(int)>& fn) {
        if (m_threads.empty() || n <= 1) {
            for (int i = 0; i < n; ++i)
                fn(i);
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_fn = &fn;
            m_count = n;
            m_next.store(0);
            m_busy = int(m_threads.size());
            ++m_generation;
        }
        m_wake.notify_all();
        drain(fn, n);
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_busy == 0; });
        m_fn = nullptr;
    }

  private:
    void drain(const std::function<void(int)>& fn, int n) {
        for (int i = m_next.fetch_add(1); i < n; i = m_next.fetch_add(1))
            fn(i);
    }
    void workerLoop() {
        std::uint64_t seen = 0;
        for (;;) {
            const std::function<void(int)>* fn = nullptr;
            int n = 0;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_quit || m_generation != seen; });
                if (m_quit) return;
                seen = m_generation;
                fn = m_fn;
                n = m_count;
            }
            drain(*fn, n);
            {
                std::lock_guard lock(m_mutex);
                if (--m_busy == 0) m_done.notify_all();
            }
        }
    }

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    const std::function<void(int)>* m_fn = nullptr;
    int m_count = 0;
    std::atomic<int> m_next{0};
    int m_busy = 0;
    std::uint64_t m_generation = 0;
    bool m_quit = false;
};

struct CellJob {
    const TCell* cell;
    int tile;
    int mask;     // index into the prepared masks
    int tileSlot; // index into the batch's loaded tiles
};

} // namespace

bool isViewMode(int mode) {
    return mode == kViewOutline || mode == kViewSourceColor || mode == kViewTileColor ||
           mode == kViewTileIdColor || mode == kViewTileId || mode == kViewFinal;
}

void setRenderThreads(int count) {
    g_renderThreads.store(std::max(0, count));
}

int renderThreads() {
    const int n = g_renderThreads.load();
    if (n > 0) return n;
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
}

// ---------------------------------------------------------------------------------------
// Diagnostic modes

void Draw_onecell_edge(const MosaicContext&, const TCell& cell, QPainter& canvas, Single scale,
                       QPointF offset) {
    drawShape(cell, canvas, false, 0u, scale, offset);
}

void Draw_onecell_FillColor(const MosaicContext&, const TCell& cell, QPainter& canvas, Single scale,
                            QPointF offset) {
    if (!cell.enable) return;
    drawShape(cell, canvas, true, cell.ICinfo.ci1.rgb, scale, offset);
}

void Draw_onecell_FillColor(const MosaicContext& ctx, int column, int row, QPainter& canvas,
                            Single scale, QPointF offset) {
    if (column < 0 || column >= kGridSide || row < 0 || row >= kGridSide) return;
    Draw_onecell_FillColor(ctx, ctx.mproject->Cells[row][column], canvas, scale, offset);
}

void Draw_onecell_FillTilecolor(const MosaicContext& ctx, const TCell& cell, QPainter& canvas,
                                Single scale, QPointF offset) {
    const int t = heldTile(ctx, cell);
    if (t < 0) {
        drawShape(cell, canvas, false, 0u, scale, offset);
        return;
    }
    drawShape(cell, canvas, true, ctx.ProjectTileLib->items[t].ICinfo.ci1.rgb, scale, offset);
}

void Draw_onecell_TileID(const MosaicContext& ctx, const TCell& cell, QPainter& canvas,
                         Single scale, bool withColor, QPointF offset) {
    if (withColor)
        Draw_onecell_FillTilecolor(ctx, cell, canvas, scale, offset);
    else
        Draw_onecell_edge(ctx, cell, canvas, scale, offset);
    TAlphaColor textColor = kBlack;
    if (withColor) {
        const auto& c = cell.ICinfo.ci1.rgba;
        if ((int(c.r) + int(c.g) + int(c.b)) / 3.0 <= 128.0) textColor = kWhite;
    }
    canvas.save();
    canvas.setOpacity(1.0);
    canvas.setPen(QColor::fromRgba(textColor));
    drawCentredText(canvas, scaledRect(cell.CellRectReal, scale, offset),
                    QString::number(cell.TileID), ctx.IDTextSize);
    canvas.restore();
}

void Draw_onecell(const MosaicContext& ctx, const TCell& cell, int mode, QPainter& canvas,
                  Single scale, QPointF offset) {
    switch (mode) {
    case kViewOutline:
        Draw_onecell_edge(ctx, cell, canvas, scale, offset);
        break;
    case kViewSourceColor:
        Draw_onecell_FillColor(ctx, cell, canvas, scale, offset);
        break;
    case kViewTileColor:
        Draw_onecell_FillTilecolor(ctx, cell, canvas, scale, offset);
        break;
    case kViewTileIdColor:
        Draw_onecell_TileID(ctx, cell, canvas, scale, true, offset);
        break;
    case kViewTileId:
        Draw_onecell_TileID(ctx, cell, canvas, scale, false, offset);
        break;
    default:
        break;
    }
}

namespace {

// Both diagnostic loops; range is null for all grid cells.
void drawCells(const MosaicContext& ctx, QPainter& canvas, int mode, Single scale,
               Progress* progress, const TRectF* range, QPointF offset) {
    Progress& bar = progressOrNone(progress);
    const TMosaicProject& pr = *ctx.mproject;
    const int vcc = std::clamp(pr.cfg.Vcc, 0, kGridSide);
    const int hcc = std::clamp(pr.cfg.Hcc, 0, kGridSide);
    for (int row = 0; row < vcc; ++row) {
        for (int col = 0; col < hcc; ++col) {
            const TCell& cell = pr.Cells[row][col];
            if (range) {
                const TRectF& c = cell.CellRectReal;
                if (!(c.Left < range->Right && c.Right > range->Left && c.Top < range->Bottom &&
                      c.Bottom > range->Top))
                    continue;
            }
            Draw_onecell(ctx, cell, mode, canvas, scale, offset);
        }
        bar.setProgress(row * 100 / vcc);
        bar.processEvents();
    }
    const int addons = std::clamp(pr.cfg.AddonTilesCount, 0, kAddonCells);
    const int step = std::max(1, addons / 100);
    for (int c = 0; c < addons; ++c) {
        Draw_onecell(ctx, pr.AddonTiles[c], mode, canvas, scale, offset);
        if (c % step == 0) {
            bar.setProgress(int(std::int64_t(c) * 100 / addons));
            bar.processEvents();
        }
    }
    if (range) {
        canvas.save();
        canvas.setBrush(Qt::NoBrush);
        canvas.drawRect(scaledRect(*range, scale, offset));
        canvas.restore();
    }
    bar.setProgress(0);
}

} // namespace

void Draw_Allcell(const MosaicContext& ctx, QPainter& canvas, int mode, Single scale,
                  Progress* progress) {
    drawCells(ctx, canvas, mode, scale, progress, nullptr, {});
}

void Draw_CellsByRange(const MosaicContext& ctx, QPainter& canvas, const TRectF& r, int mode,
                       Single scale, Progress* progress) {
    const QPointF offset(-r.Left * double(scale), -r.Top * double(scale));
    drawCells(ctx, canvas, mode, scale, progress, &r, offset);
}

// ---------------------------------------------------------------------------------------
// Final mosaic

void Draw_FinalMosaic(const MosaicContext& ctx, QPainter& canvas, Single scale,
                      Progress* progress) {
    Progress& bar = progressOrNone(progress);
    const TMosaicProject& pr = *ctx.mproject;
    const auto& cfg = pr.cfg;
    const auto& lib = *ctx.ProjectTileLib;
    const int count = std::clamp(lib.Count, 0, tilelib::kTileSlots);
    const bool grid = cfg.ProjectPatternType == kPatternGrid;
    const bool ring = cfg.ProjectPatternType == kPatternRings;
    const int W = cellPixels(cfg.CellWdPx) * 4;
    const int H = cellPixels(cfg.CellHtPx) * 4;
    if (count == 0 || W <= 0 || H <= 0 || (!grid && !ring)) {
        bar.setProgress(0);
        return;
    }

    // Cells per tile, each list in drawing order.
    std::vector<std::vector<const TCell*>> byTile(static_cast<std::size_t>(count));
    const auto collect = [&](const TCell& cell) {
        const int t = heldTile(ctx, cell);
        if (cell.enable && t >= 0) byTile[std::size_t(t)].push_back(&cell);
    };
    if (grid) {
        const int vcc = std::clamp(cfg.Vcc, 0, kGridSide);
        const int hcc = std::clamp(cfg.Hcc, 0, kGridSide);
        for (int row = 0; row < vcc; ++row)
            for (int col = 0; col < hcc; ++col)
                collect(pr.Cells[row][col]);
    } else {
        const int addons = std::clamp(cfg.AddonTilesCount, 0, kAddonCells);
        for (int i = 0; i < addons; ++i)
            collect(pr.AddonTiles[i]);
    }

    const auto [workW, workH] =
        workSize(W, H, cfg.CellWdf * scale, cfg.CellHtf * scale, deviceScale(canvas));

    // Masks: one per distinct shape of the pattern group (group entries of the same shape
    // have the same icon, so each cell is drawn once), or the base shape for rings. They
    // are drawn from the project's own pattern, so icons built for another pattern cannot
    // leak in; for the current pattern they equal GroupMaskBitmaps.
    struct MaskEntry {
        std::int32_t shape;
        QImage image;
    };
    std::vector<MaskEntry> masks;
    if (grid) {
        const auto& pat = pr.patterncfg;
        const int vg = std::clamp(pat.VertGroupCount, 1, 8);
        const int hg = std::clamp(pat.HorzGroupCount, 1, 8);
        for (int gr = 0; gr < vg; ++gr)
            for (int gc = 0; gc < hg; ++gc) {
                const std::int32_t s = pat.CellGroup[gr][gc].shape;
                if (std::any_of(masks.begin(), masks.end(),
                                [&](const MaskEntry& m) { return m.shape == s; }))
                    continue;
                QImage icon;
                imaging::Draw_ShapeIcon(s, icon);
                masks.push_back({s, maskAtSize(icon, workW, workH)});
            }
    } else {
        QImage icon;
        imaging::Draw_ShapeIcon(cfg.BaseTileShape, icon);
        masks.push_back({cfg.BaseTileShape, maskAtSize(icon, workW, workH)});
    }

    const PrepareParams params{&ctx, scale, ctx.SearchOpts.ColorAdjust > 0.05,
                               ctx.SearchOpts.AlphaBlend > 0.05};
    const TurnRule turn = grid ? TurnRule::GridSkipBelow : TurnRule::RingSkipZero;
    WorkerPool pool(renderThreads());

    // Tiles go in batches: the batch's photos are loaded in parallel, its cells prepared in
    // parallel, then drawn here in order.
    constexpr std::size_t kBatchCells = 96;
    constexpr int kBatchTiles = 64;
    int t0 = 0;
    while (t0 < count) {
        int t1 = t0;
        std::size_t cells = 0;
        std::vector<int> loadList;
        while (t1 < count && cells < kBatchCells && t1 - t0 < kBatchTiles) {
            if (!byTile[std::size_t(t1)].empty()) loadList.push_back(t1);
            cells += byTile[std::size_t(t1)].size();
            ++t1;
        }

        std::vector<QImage> tileBmp(loadList.size());
        std::vector<std::string> tileErr(loadList.size());
        pool.run(int(loadList.size()), [&](int i) {
            const auto k = std::size_t(i);
            try {
                tileBmp[k] = loadTileBitmap(lib.GetFullName(loadList[k]), W, H, workW, workH);
            } catch (const std::exception& e) {
                tileErr[k] = e.what();
            }
        });

        std::vector<CellJob> jobs;
        for (std::size_t li = 0; li < loadList.size(); ++li) {
            if (!tileErr[li].empty()) break; // the render stops at this tile
            const int t = loadList[li];
            for (int m = 0; m < int(masks.size()); ++m)
                for (const TCell* cell : byTile[std::size_t(t)]) {
                    if (grid && cell->CellShape != masks[std::size_t(m)].shape) continue;
                    jobs.push_back({cell, t, m, int(li)});
                }
        }
        std::vector<PreparedCell> out(jobs.size());
        pool.run(int(jobs.size()), [&](int i) {
            const CellJob& j = jobs[std::size_t(i)];
            out[std::size_t(i)] =
                prepareCell(params, *j.cell, j.tile, tileBmp[std::size_t(j.tileSlot)],
                            masks[std::size_t(j.mask)].image, turn);
        });

        std::size_t next = 0, li = 0;
        for (int t = t0; t < t1; ++t) {
            bar.setProgress(t * 100 / count);
            bar.processEvents();
            if (li < loadList.size() && loadList[li] == t) {
                if (!tileErr[li].empty()) throw RenderError(tileErr[li]);
                for (; next < jobs.size() && jobs[next].tile == t; ++next) {
                    const PreparedCell& c = out[next];
                    if (!c.image.isNull()) canvas.drawImage(c.dest, c.image);
                }
                ++li;
            }
        }
        t0 = t1;
    }
    bar.setProgress(0);
}

void Draw_FinalMosaic_OneCell(const MosaicContext& ctx, QPainter& canvas, const TCell& cell,
                              Single scale) {
    const int t = heldTile(ctx, cell);
    if (t < 0) return;
    const auto& cfg = ctx.mproject->cfg;
    const int W = cellPixels(cfg.CellWdPx * 4), H = cellPixels(cfg.CellHtPx * 4);
    if (W <= 0 || H <= 0) return;
    const auto [workW, workH] =
        workSize(W, H, cfg.CellWdf * scale, cfg.CellHtf * scale, deviceScale(canvas));
    const QImage tile = loadTileBitmap(ctx.ProjectTileLib->GetFullName(t), W, H, workW, workH);
    QImage icon;
    imaging::Draw_ShapeIcon(cell.CellShape, icon);
    const PrepareParams params{&ctx, scale, ctx.SearchOpts.ColorAdjust > 0.05,
                               ctx.SearchOpts.AlphaBlend > 0.05};
    const PreparedCell c =
        prepareCell(params, cell, t, tile, maskAtSize(icon, workW, workH), TurnRule::Always);
    if (c.image.isNull()) return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, true);
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, true);
    canvas.setOpacity(1.0);
    canvas.drawImage(c.dest, c.image);
    canvas.restore();
}

// ---------------------------------------------------------------------------------------

void RenderView(MosaicContext& ctx, int mode, QImage& target, Single scale, Progress* progress) {
    const auto& cfg = ctx.mproject->cfg;
    const double ss = ctx.ScreenScale > 0 ? double(ctx.ScreenScale) : 1.0;
    const double W = cfg.FullWidthF * double(scale), H = cfg.FullHeightF * double(scale);
    const double pw = std::trunc(W * ss), ph = std::trunc(H * ss);
    if (!(pw >= 1 && ph >= 1)) {
        target = QImage();
        return;
    }
    if (pw > 32767 || ph > 32767)
        throw RenderError(QStringLiteral("the picture would be %1 x %2 pixels, too large to draw")
                              .arg(pw)
                              .arg(ph)
                              .toStdString());
    QImage img(int(pw), int(ph), QImage::Format_ARGB32_Premultiplied);
    if (img.isNull())
        throw RenderError(QStringLiteral("not enough memory for a %1 x %2 picture")
                              .arg(pw)
                              .arg(ph)
                              .toStdString());
    img.setDevicePixelRatio(ss);
    img.fill(kWhite);

    const auto finish = [&] {
        img.convertTo(QImage::Format_ARGB32); // in place: no second picture in memory
        img.setDevicePixelRatio(ss);
        target = std::move(img);
    };
    {
        QPainter painter(&img);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        if (mode != kViewFinal) {
            Draw_Allcell(ctx, painter, mode, scale, progress);
        } else {
            const QRectF whole(0, 0, pw / ss, ph / ss);
            if (ctx.SearchOpts.BgMain) {
                if (!ctx.MainImageCrop.isNull()) painter.drawImage(whole, ctx.MainImageCrop);
            } else {
                painter.setCompositionMode(QPainter::CompositionMode_Source);
                painter.fillRect(whole, QColor::fromRgba(ctx.SearchOpts.GroutColor));
                painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            }
            try {
                Draw_FinalMosaic(ctx, painter, scale, progress);
            } catch (...) {
                painter.end();
                finish(); // what was drawn before the failing tile stays visible
                throw;
            }
        }
    }
    finish();
}

} // namespace vantorel::engine
