#include "render_fixture.h"

#include "imaging/color_info.h"

#include <QDir>
#include <QPainter>
#include <cmath>
#include <random>

namespace vantorel::test {

QImage syntheticPhoto(int seed, int w, int h) {
    std::mt19937 rng(static_cast<std::uint32_t>(seed) * 2654435761u + 17u);
    const auto channel = [&] { return int(rng() % 256); };
    const QColor a(channel(), channel(), channel()), b(channel(), channel(), channel());
    const QColor c(channel(), channel(), channel());
    QImage img(w, h, QImage::Format_ARGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    p.fillRect(img.rect(), g);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const double r = (0.15 + (rng() % 100) / 400.0) * std::min(w, h);
    p.drawEllipse(QPointF(w * (0.3 + (rng() % 40) / 100.0), h * (0.3 + (rng() % 40) / 100.0)), r,
                  r);
    p.setBrush(b.darker(150));
    p.drawRect(QRectF(0, h * 0.8, w, h * 0.08));
    return img;
}

std::vector<QImage> photoTiles(int n, int px) {
    std::vector<QImage> out;
    for (int i = 0; i < n; ++i)
        out.push_back(syntheticPhoto(i, px, px));
    return out;
}

std::vector<QImage> solidTiles(const std::vector<unsigned>& rgbs, int px) {
    std::vector<QImage> out;
    for (unsigned rgb : rgbs) {
        QImage img(px, px, QImage::Format_ARGB32);
        img.fill(0xFF000000u | rgb);
        out.push_back(img);
    }
    return out;
}

void writeTileLibrary(tilelib::TTilelib& lib, const QString& folder,
                      const std::vector<QImage>& tiles, const char* format) {
    QDir().mkpath(QDir(folder).filePath(QStringLiteral("ready")));
    QDir().mkpath(QDir(folder).filePath(QStringLiteral("source")));
    lib.emptytilelib();
    lib.cfg = tilelib::DefaultTileLibCfg();
    lib.cfg.Rootpath.set(folder);
    lib.cfg.name.set(QStringLiteral("Fixture"));
    lib.Count = int(tiles.size());
    for (int i = 0; i < lib.Count; ++i) {
        const QImage& t = tiles[std::size_t(i)];
        const QString name =
            QStringLiteral("t%1.%2").arg(i, 4, 10, QLatin1Char('0')).arg(QLatin1String(format));
        t.save(QDir(folder).filePath(QStringLiteral("ready/") + name), format, 95);
        auto& item = lib.items[i];
        item.FileName.set(name);
        item.usecount = 0;
        imaging::GetColorInfo(t, {0, 0, float(t.width()), float(t.height())}, item.ICinfo);
        for (auto& r : item.ICinfoRot)
            r = item.ICinfo;
        lib.ItemEnable[i] = 1;
    }
    lib.cfg.widthPx = tiles.empty() ? 64 : tiles.front().width();
    lib.cfg.heightPx = tiles.empty() ? 64 : tiles.front().height();
    lib.SaveTilelib();
}

void layoutGridProject(engine::MosaicContext& ctx, int columns, int rows, double cell, double gap,
                       unsigned rgb) {
    auto& p = *ctx.mproject;
    auto& cfg = p.cfg;
    cfg.ProjectPatternType = engine::kPatternGrid;
    cfg.Hcc = columns;
    cfg.Vcc = rows;
    cfg.CellWdf = cfg.CellHtf = cfg.CellWdPx = cfg.CellHtPx = cell;
    cfg.CellgapwdF = cfg.CellgaphtF = gap;
    cfg.CanvasUnit = engine::kUnitPixel;
    cfg.CanvasPPI = 100;
    const auto [w, h] = p.GetProjectSize();
    cfg.FullWidthF = w;
    cfg.FullHeightF = h;
    cfg.PreviewBMPsize = 8000;
    cfg.CellPlanBMPsizeWD = cfg.CellPlanBMPsizeHT = 400;
    p.MainSize_Update();
    p.Cell_Reset();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            imaging::SetColorInfo15(p.Cells[r][c].ICinfo.ci1, int((rgb >> 16) & 0xFF),
                                    int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

} // namespace vantorel::test
