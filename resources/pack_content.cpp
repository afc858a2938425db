// vantorel-pack-content: builds the sample content the program embeds, at build time.
//   vantorel-pack-content --photos DIR --out DIR [--work DIR] [--patterns-only]
// writes OUT/Patterns.zip (the stock pattern pack) and OUT/DefaultSample.zip (the sample tile
// library cut from the photographs). Same input, same bytes: entries are sorted, every entry
// carries one fixed time and fixed attributes, and nothing of the build machine's paths or
// clock ends up in the archives.
#include "imaging/mosaic_pattern.h"
#include "tilelib/library_building.h"
#include "tilelib/tile_library.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

using namespace vantorel;
using imaging::TpatternCfg;

struct PackError : std::runtime_error {
    using std::runtime_error::runtime_error;
    explicit PackError(const QString& m) : std::runtime_error(m.toStdString()) {}
};

// 1 May 2020 00:00 UTC: the time stamp of every entry.
constexpr time_t kEntryTime = 1588291200;
constexpr int kTileSize = 200;  // ready tiles are kTileSize x kTileSize pixels
constexpr int kTileCount = 180; // tiles of the sample library (at least 131)
constexpr double kTileDpi = 200;
constexpr int kSourceMax = 200; // longest side of a saved source crop
constexpr int kPreviewSize = 256;

// ---------------------------------------------------------------------------------------
// Deterministic zip writing

struct ZipEntry {
    QString name; // '/'-separated; a trailing '/' makes a folder entry
    QByteArray data;
};

QByteArray readFile(const QString& path);

// An unchanged archive keeps its file time, so the build does not embed it again.
void replaceIfChanged(const QString& fresh, const QString& path) {
    if (QFileInfo::exists(path) && readFile(fresh) == readFile(path)) {
        QFile::remove(fresh);
        return;
    }
    QFile::remove(path);
    if (!QFile::rename(fresh, path)) throw PackError(QStringLiteral("cannot replace %1").arg(path));
}

void writeZip(const QString& finalPath, std::vector<ZipEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const ZipEntry& a, const ZipEntry& b) { return a.name < b.name; });
    const QString path = finalPath + QStringLiteral(".new");
    QFile::remove(path);
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za)
        throw PackError(QStringLiteral("cannot create %1 (libzip error %2)").arg(path).arg(err));
    auto fail = [&](const QString& what) {
        const QString msg =
            QStringLiteral("%1: %2: %3").arg(path, what, QString::fromUtf8(zip_strerror(za)));
        zip_discard(za);
        throw PackError(msg);
    };
    for (const ZipEntry& e : entries) {
        const QByteArray name = e.name.toUtf8();
        const bool folder = e.name.endsWith(QLatin1Char('/'));
        zip_int64_t index;
        if (folder) {
            index = zip_dir_add(za, name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            // The buffers stay alive until zip_close reads them.
            zip_source_t* src =
                zip_source_buffer(za, e.data.constData(), zip_uint64_t(e.data.size()), 0);
            if (!src) fail(e.name);
            index = zip_file_add(za, name.constData(), src, ZIP_FL_ENC_UTF_8);
            if (index < 0) zip_source_free(src);
        }
        if (index < 0) fail(e.name);
        const zip_uint64_t i = zip_uint64_t(index);
        // Pictures are compressed already; deflate gains nothing on them.
        const bool stored = folder || e.name.endsWith(QLatin1String(".jpg"));
        if (zip_set_file_compression(za, i, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                     stored ? 0 : 9) < 0 ||
            zip_file_set_mtime(za, i, kEntryTime, 0) < 0 ||
            zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX,
                                             (folder ? 040755u : 0100644u) << 16) < 0)
            fail(e.name);
    }
    if (zip_close(za) < 0) fail(QStringLiteral("write"));
    replaceIfChanged(path, finalPath);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw PackError(QStringLiteral("cannot read %1").arg(path));
    return f.readAll();
}

QByteArray encodeJpeg(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPG", quality))
        throw PackError(QStringLiteral("JPEG encoding failed"));
    return bytes;
}

// ---------------------------------------------------------------------------------------
// Stock pattern pack

struct StockCell {
    int row, column, shape;
    double scaleX, scaleY, offsetX, offsetY;
};
struct StockPattern {
    const char* file;
    int horz, vert;
    float hscale, vscale;
    std::vector<StockCell> cells;
};

const std::vector<StockPattern>& stockPatterns() {
    static const std::vector<StockPattern> table = {
        {"10_Rectangle", 1, 1, 1, 1, {{0, 0, 1, 1, 1, 0, 0}}},
        {"10_Rectangle_11", 2, 1, 1, 1, {{0, 0, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 1, 0, 0.5}}},
        {"10_Rectangle_12",
         3,
         1,
         1,
         1,
         {{0, 0, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 1, 0, 0.3333}, {0, 2, 1, 1, 1, 0, 0.6666}}},
        {"10_Rectangle_21", 1, 2, 1, 1, {{0, 0, 1, 1, 1, 0, 0}, {1, 0, 1, 1, 1, 0.5, 0}}},
        {"10_Rectangle_22",
         1,
         3,
         1,
         1,
         {{0, 0, 1, 1, 1, 0, 0}, {1, 0, 1, 1, 1, 0.3333, 0}, {2, 0, 1, 1, 1, 0.6666, 0}}},
        {"20_Ellipse", 1, 1, 1, 1, {{0, 0, 20, 1, 1, 0, 0}}},
        {"20_Ellipse_11", 2, 1, 1, 1, {{0, 0, 20, 1, 1, 0, 0}, {0, 1, 20, 1, 1, 0, 0.5}}},
        {"20_Ellipse_12",
         2,
         1,
         0.88f,
         1,
         {{0, 0, 20, double(0.88f), 1, 0, 0}, {0, 1, 20, double(0.88f), 1, 0, 0.5}}},
        {"20_Ellipse_21", 1, 2, 1, 1, {{0, 0, 20, 1, 1, 0, 0}, {1, 0, 20, 1, 1, 0.5, 0}}},
        {"20_Ellipse_22",
         1,
         2,
         1,
         0.88f,
         {{0, 0, 20, 1, double(0.88f), 0, 0}, {1, 0, 20, 1, double(0.88f), 0.5, 0}}},
        {"30_triangle_1", 1, 1, 1, 1, {{0, 0, 30, 1, 1, 0, 0}}},
        {"30_triangle_2", 2, 1, 0.5f, 1, {{0, 0, 30, 0.5, 1, 0, 0}, {0, 1, 32, 0.5, 1, 0, 0}}},
        {"40_rhombus", 1, 1, 1, 1, {{0, 0, 40, 1, 1, 0, 0}}},
        {"40_rhombus_2", 2, 1, 0.5f, 1, {{0, 0, 40, 0.5, 1, 0, 0}, {0, 1, 40, 0.5, 1, 0, 0.5}}},
        {"60_hexagon", 1, 2, 1, 0.75f, {{0, 0, 60, 1, 0.75, 0, 0}, {1, 0, 60, 1, 0.75, 0.5, 0}}},
        {"61_hexagon", 2, 1, 0.75f, 1, {{0, 0, 61, 0.75, 1, 0, 0}, {0, 1, 61, 0.75, 1, 0, 0.5}}},
    };
    return table;
}

TpatternCfg makePattern(const StockPattern& s) {
    TpatternCfg p = imaging::PatternCfg_Make();
    p.Hscale = s.hscale;
    p.Vscale = s.vscale;
    p.HorzGroupCount = s.horz;
    p.VertGroupCount = s.vert;
    for (const StockCell& c : s.cells) {
        imaging::TPatternCell& e = p.CellGroup[c.row][c.column];
        e.shape = c.shape;
        e.angle = 0;
        e.scaleX = c.scaleX;
        e.scaleY = c.scaleY;
        e.offsetX = c.offsetX;
        e.offsetY = c.offsetY;
    }
    return p;
}

// A field of cells of the pattern, each drawn with its shape, shifted by half a cell so the
// staggered rows and columns reach the picture's edges.
QImage drawPatternPreview(const TpatternCfg& p) {
    static const imaging::TAlphaColor kFills[] = {0xFF66CCFF, 0xFFFFCC66, 0xFF99DD88, 0xFFEE9999};
    QImage image(kPreviewSize, kPreviewSize, QImage::Format_ARGB32);
    image.fill(0xFFFFFFFF);
    QPainter canvas(&image);
    canvas.setRenderHint(QPainter::Antialiasing);
    const float w = 44, h = 44;
    const QPointF offset(-0.7 * w, -0.7 * h);
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 16; ++col) {
            const imaging::TRectF r = imaging::Pattern_CellRect(col, row, w, h, 0, 0, p);
            if (r.Left + offset.x() > kPreviewSize || r.Top + offset.y() > kPreviewSize) continue;
            const std::int32_t shape = imaging::Pattern_CellShape(p, col, row);
            const double angle = imaging::Pattern_CellAngle(p, col, row);
            const imaging::TAlphaColor fill = kFills[(col + 2 * row) % 4];
            const imaging::Tpoly poly =
                imaging::Shape_GetPoly(shape, r.Width(), r.Height(), angle, r.CenterPoint());
            imaging::Draw_PolyAt(canvas, poly, true, 1.0f, fill, 1.0f, offset);
            if (shape == imaging::kShapeEllipse)
                imaging::Draw_EllipseAt(canvas, r, angle, true, 1.0f, fill, 1.0f, offset);
        }
    }
    canvas.end();
    return image;
}

void buildPatternPack(const QString& zipPath) {
    std::vector<ZipEntry> entries;
    for (const StockPattern& s : stockPatterns()) {
        const TpatternCfg p = makePattern(s);
        const QByteArray bytes = imaging::Pattern_ToBytes(p);
        if (bytes.size() != 2832)
            throw PackError(QStringLiteral("%1: bad pattern size").arg(QLatin1String(s.file)));
        const QString name = QLatin1String(s.file) + QLatin1String(".pat");
        entries.push_back({name, bytes});
        entries.push_back({name + QLatin1String(".jpg"), encodeJpeg(drawPatternPreview(p), 90)});
    }
    writeZip(zipPath, std::move(entries));
}

// ---------------------------------------------------------------------------------------
// Sample tile library

struct Photo {
    QString stem;
    QImage image;               // RGB32
    std::vector<double> sum[3]; // summed-area tables, (w + 1) x (h + 1)
};

struct Crop {
    int photo;
    QRect rect;
    double L, a, b; // mean colour, CIE Lab (D65)
};

double srgbToLinear(double c) {
    c /= 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

void toLab(double r, double g, double b, double& L, double& A, double& B) {
    const double R = srgbToLinear(r), G = srgbToLinear(g), Bl = srgbToLinear(b);
    const double X = (0.4124 * R + 0.3576 * G + 0.1805 * Bl) / 0.95047;
    const double Y = 0.2126 * R + 0.7152 * G + 0.0722 * Bl;
    const double Z = (0.0193 * R + 0.1192 * G + 0.9505 * Bl) / 1.08883;
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    L = 116 * f(Y) - 16;
    A = 500 * (f(X) - f(Y));
    B = 200 * (f(Y) - f(Z));
}

Photo loadPhoto(const QString& path) {
    Photo p;
    p.stem = QFileInfo(path).completeBaseName();
    p.image = QImage(path).convertToFormat(QImage::Format_RGB32);
    if (p.image.isNull()) throw PackError(QStringLiteral("cannot read photo %1").arg(path));
    const int w = p.image.width(), h = p.image.height();
    for (auto& s : p.sum)
        s.assign(std::size_t(w + 1) * (h + 1), 0.0);
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(p.image.constScanLine(y));
        double row[3] = {0, 0, 0};
        for (int x = 0; x < w; ++x) {
            row[0] += qRed(line[x]);
            row[1] += qGreen(line[x]);
            row[2] += qBlue(line[x]);
            for (int c = 0; c < 3; ++c)
                p.sum[c][std::size_t(y + 1) * (w + 1) + x + 1] =
                    p.sum[c][std::size_t(y) * (w + 1) + x + 1] + row[c];
        }
    }
    return p;
}

double areaSum(const Photo& p, int c, const QRect& r) {
    const std::size_t W = std::size_t(p.image.width()) + 1;
    auto at = [&](int x, int y) { return p.sum[c][std::size_t(y) * W + std::size_t(x)]; };
    return at(r.right() + 1, r.bottom() + 1) - at(r.left(), r.bottom() + 1) -
           at(r.right() + 1, r.top()) + at(r.left(), r.top());
}

// Square crops of several sizes on a half-overlapping grid over every photo.
std::vector<Crop> candidateCrops(const std::vector<Photo>& photos) {
    std::vector<Crop> out;
    static const double kFractions[] = {0.1, 0.14, 0.2, 0.28, 0.4, 0.6};
    for (int i = 0; i < int(photos.size()); ++i) {
        const Photo& p = photos[std::size_t(i)];
        const int w = p.image.width(), h = p.image.height();
        for (double f : kFractions) {
            const int side = std::max(48, int(std::min(w, h) * f));
            if (side > std::min(w, h)) continue;
            const int step = std::max(8, side / 2);
            for (int y = 0; y + side <= h; y += step) {
                for (int x = 0; x + side <= w; x += step) {
                    Crop c{i, QRect(x, y, side, side), 0, 0, 0};
                    const double n = double(side) * side;
                    toLab(areaSum(p, 0, c.rect) / n, areaSum(p, 1, c.rect) / n,
                          areaSum(p, 2, c.rect) / n, c.L, c.a, c.b);
                    out.push_back(c);
                }
            }
        }
    }
    return out;
}

// Shared area of two crops as a share of the smaller one.
double overlapShare(const QRect& a, const QRect& b) {
    const QRect i = a.intersected(b);
    if (i.isEmpty()) return 0;
    const double smaller = std::min(double(a.width()) * a.height(), double(b.width()) * b.height());
    return double(i.width()) * i.height() / smaller;
}

// Squared colour distance; chroma counts more than lightness, so hues spread before shades.
double labDistance2(const Crop& x, const Crop& y) {
    const double dL = x.L - y.L, da = 1.5 * (x.a - y.a), db = 1.5 * (x.b - y.b);
    return dL * dL + da * da + db * db;
}

// Farthest-point choice in Lab: every next crop is the one whose colour lies farthest from
// all crops chosen so far, so the set covers the photographs' colour range evenly instead of
// repeating their dominant colours. Crops that mostly overlap a chosen one are skipped.
std::vector<Crop> chooseCrops(const std::vector<Crop>& candidates, int count) {
    std::vector<Crop> chosen;
    std::vector<double> nearest(candidates.size(), 1e300);
    std::vector<bool> blocked(candidates.size(), false);
    // Start from the crop closest to mid grey.
    std::size_t next = 0;
    double best = 1e300;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Crop& c = candidates[i];
        const double d = (c.L - 50) * (c.L - 50) + c.a * c.a + c.b * c.b;
        if (d < best) best = d, next = i;
    }
    while (int(chosen.size()) < count) {
        const Crop& pick = candidates[next];
        chosen.push_back(pick);
        blocked[next] = true;
        double far = -1;
        std::size_t farIndex = candidates.size();
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (blocked[i]) continue;
            const Crop& c = candidates[i];
            if (c.photo == pick.photo && overlapShare(c.rect, pick.rect) > 0.5) {
                blocked[i] = true;
                continue;
            }
            const double d = labDistance2(c, pick);
            nearest[i] = std::min(nearest[i], d);
            if (nearest[i] > far) far = nearest[i], farIndex = i;
        }
        if (farIndex == candidates.size())
            throw PackError(QStringLiteral("too few distinct crops in the photographs"));
        next = farIndex;
    }
    return chosen;
}

void removeTree(const QString& path) {
    QDir d(path);
    if (d.exists() && !d.removeRecursively())
        throw PackError(QStringLiteral("cannot clear %1").arg(path));
}

void collectFolder(const QString& root, const QString& prefix, std::vector<ZipEntry>& entries) {
    const QFileInfoList list =
        QDir(root + QLatin1Char('/') + prefix)
            .entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& fi : list) {
        const QString name =
            prefix.isEmpty() ? fi.fileName() : prefix + QLatin1Char('/') + fi.fileName();
        if (fi.isDir()) {
            entries.push_back({name + QLatin1Char('/'), {}});
            collectFolder(root, name, entries);
        } else {
            entries.push_back({name, readFile(fi.filePath())});
        }
    }
}

void buildSampleLibrary(const QString& photosDir, const QString& workDir, const QString& zipPath) {
    QStringList files = QDir(photosDir).entryList(
        {QStringLiteral("*.png"), QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    if (files.isEmpty()) throw PackError(QStringLiteral("no photographs in %1").arg(photosDir));
    std::vector<Photo> photos;
    for (const QString& f : files)
        photos.push_back(loadPhoto(photosDir + QLatin1Char('/') + f));
    const std::vector<Crop> crops = chooseCrops(candidateCrops(photos), kTileCount);

    const QString cropDir = workDir + QStringLiteral("/crops");
    const QString libDir = workDir + QStringLiteral("/DefaultSample");
    removeTree(cropDir);
    removeTree(libDir);
    if (!QDir().mkpath(cropDir)) throw PackError(QStringLiteral("cannot create %1").arg(cropDir));

    auto lib = tilelib::TTilelib::create();
    tilelib::createTileLibrary(*lib, libDir, QStringLiteral("DefaultSample"), kTileSize, kTileSize,
                               kTileDpi);

    std::map<int, int> perPhoto;
    for (const Crop& c : crops) {
        const Photo& p = photos[std::size_t(c.photo)];
        QImage piece = p.image.copy(c.rect);
        if (piece.width() > kSourceMax)
            piece = piece.scaled(kSourceMax, kSourceMax, Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
        const QString name = QStringLiteral("%1_%2.jpg")
                                 .arg(p.stem)
                                 .arg(++perPhoto[c.photo], 3, 10, QLatin1Char('0'));
        const QString path = cropDir + QLatin1Char('/') + name;
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(encodeJpeg(piece, 88)) < 0)
            throw PackError(QStringLiteral("cannot write %1").arg(path));
        out.close();
        if (!lib->AddImgFile2(path)) throw PackError(QStringLiteral("library full"));
    }
    lib->SaveTilelib();
    lib->BuildPreview();

    std::vector<ZipEntry> entries;
    collectFolder(libDir, QString(), entries);
    // The stored Rootpath is ignored on load; a fixed text keeps the build folder out of the
    // archive.
    for (ZipEntry& e : entries) {
        if (e.name != QLatin1String("imagelib.dat")) continue;
        if (e.data.size() < qsizetype(sizeof(tilelib::TtileLibCfg::Rootpath)))
            throw PackError(QStringLiteral("imagelib.dat too short"));
        imaging::ShortString<255> root;
        root.set(QStringLiteral("DefaultSample/"));
        std::memcpy(e.data.data(), &root, sizeof root);
    }
    writeZip(zipPath, std::move(entries));
    removeTree(cropDir);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // zip stores local time; one zone everywhere keeps the archives identical.
    setenv("TZ", "UTC", 1);
    tzset();
    // A build has no session folder; that is not worth a line in the build log.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        if (!message.contains(QLatin1String("XDG_RUNTIME_DIR")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString photos, out, work;
    bool patternsOnly = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--patterns-only")) {
            patternsOnly = true;
        } else if (i + 1 < args.size() && a == QLatin1String("--photos")) {
            photos = args[++i];
        } else if (i + 1 < args.size() && a == QLatin1String("--out")) {
            out = args[++i];
        } else if (i + 1 < args.size() && a == QLatin1String("--work")) {
            work = args[++i];
        } else {
            std::fprintf(stderr, "usage: vantorel-pack-content --out DIR (--photos DIR [--work "
                                 "DIR] | --patterns-only)\n");
            return 2;
        }
    }
    if (out.isEmpty() || (!patternsOnly && photos.isEmpty())) {
        std::fprintf(stderr, "error: --out and --photos are required\n");
        return 2;
    }
    if (work.isEmpty()) work = out + QStringLiteral("/work");
    try {
        if (!QDir().mkpath(out)) throw PackError(QStringLiteral("cannot create %1").arg(out));
        buildPatternPack(out + QStringLiteral("/Patterns.zip"));
        if (!patternsOnly)
            buildSampleLibrary(photos, work, out + QStringLiteral("/DefaultSample.zip"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
