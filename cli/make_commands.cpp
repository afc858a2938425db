// vantorel-cli make / render: the new-project wizard's pipeline and "Open Project" without
// a screen (ScreenScale 1, so view 50 has the mosaic's full size in pixels).
#include "cli/cli_common.h"
#include "engine/mosaic_render.h"
#include "imaging/image_func.h"
#include "imaging/mosaic_pattern.h"
#include "imaging/program_random.h"
#include "shell/install_content.h"
#include "tilelib/tile_library.h"
#include "workflow/main_image.h"
#include "workflow/project_folder.h"
#include "workflow/project_pipeline.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <vector>

namespace vantorel::cli {

namespace {

using engine::Single;
using engine::TAlphaColor;
using engine::TRectF;
using workflow::ControlRange;

const char* const kMakeUsage =
    "usage: vantorel-cli make [--main IMAGE | --sample N] [--lib LIBDIR] --out PICTURE\n"
    "    [--project DIR]\n"
    "    [--pattern FILE.pat|NAME] [--tiles HxV] [--tile-size WxH] [--gap WxH] [--enhance F]\n"
    "    [--crop LEFT,TOP,RIGHT,BOTTOM] [--seed N] [--scanline] [--rgb-match] [--no-dither]\n"
    "    [--dither-level F] [--random-level N] [--weight-light F] [--weight-color F]\n"
    "    [--use-all] [--repeat-min N] [--repeat-max N|off] [--repeat-radius N|off]\n"
    "    [--bg-main] [--grout RRGGBB] [--color-adjust F] [--alpha-blend F] [--view MODE]\n"
    "Defaults are the wizard's: 56x56 tiles of 60x60 pixels, gaps 2x2, enhance 1.2, random\n"
    "start, dither on at 100, Light-RGB match, weights 0.795082, random level 15, repeat max\n"
    "50, repeat radius 1, grout = average colour of the crop, colour adjust 0.4, alpha blend\n"
    "0.25, view 50 (final mosaic), one square cell per pattern group.\n"
    "  --main IMAGE         the picture to turn into a mosaic; without it one of the three\n"
    "                       embedded sample pictures (--sample 1, 2 or 3; random otherwise)\n"
    "  --lib LIBDIR         tile library folder; without it the installed \"DefaultSample\"\n"
    "                       library (installed on first use)\n"
    "  --pattern P          a .pat file or a stock pattern's name, e.g. 60_hexagon\n"
    "  --tiles HxV          horizontal x vertical tile count, 5..200 each\n"
    "  --tile-size WxH      tile size in pixels, 0.1..200\n"
    "  --gap WxH            gaps in pixels, 0..100\n"
    "  --enhance F          colour boost of the sampled colours, 1..2\n"
    "  --crop L,T,R,B       crop in pixels of IMAGE (default: the automatic centred crop);\n"
    "                       shrunk about its centre to the mosaic's aspect if needed\n"
    "  --seed N             makes the random choices reproducible\n"
    "  --dither-level F     dither strength in percent, 0..100 (like the slider)\n"
    "  --random-level N     1..100;  --weight-light F, --weight-color F: 0.5..5\n"
    "  --repeat-min N       minimum repeat on, 1..100000\n"
    "  --repeat-max N|off   largest use count per tile, 1..100000, or off\n"
    "  --repeat-radius N|off  no repeat within N cells, 0..100, or off\n"
    "  --color-adjust F     0.01..0.5;  --alpha-blend F: 0.01..0.3 (0.05 or less: off)\n"
    "  --view MODE          0 outlines, 10 source colours, 20 tile colours, 30 tile ids with\n"
    "                       colour, 31 tile ids, 50 final mosaic\n"
    "PICTURE's extension picks the format: .jpg, .png, .bmp or .tif. --project DIR writes\n"
    "the project folder as \"Save Mosaic\" does; `vantorel-cli render DIR` draws it again.";

const char* const kRenderUsage =
    "usage: vantorel-cli render PROJECT_FOLDER_OR_Mosaic.Prj --out PICTURE [--view MODE]\n"
    "Opens the project as \"Open Project\" does and renders it (default view 50); PICTURE's\n"
    "extension picks the format: .jpg, .png, .bmp or .tif.";

double checkedValue(const ArgParser& p, const QString& name, const ControlRange& range,
                    double fallback) {
    const auto v = p.doubleValue(name);
    if (!v) return fallback;
    if (!range.contains(*v))
        throw CliError(QStringLiteral("--%1 must lie in %2..%3, got %4")
                           .arg(name)
                           .arg(range.min)
                           .arg(range.max)
                           .arg(*v));
    return *v;
}

double checkedWhole(const ArgParser& p, const QString& name, const ControlRange& range,
                    double fallback) {
    const auto v = p.intValue(name);
    if (!v) return fallback;
    if (!range.contains(*v))
        throw CliError(QStringLiteral("--%1 must be a whole number in %2..%3, got %4")
                           .arg(name)
                           .arg(range.min)
                           .arg(range.max)
                           .arg(*v));
    return *v;
}

std::pair<double, double> checkedPair(const ArgParser& p, const QString& name,
                                      const ControlRange& range, std::pair<double, double> fallback,
                                      bool whole) {
    const auto v = p.pairValue(name);
    if (!v) return fallback;
    for (double x : {v->first, v->second}) {
        if (!range.contains(x) || (whole && x != std::trunc(x)))
            throw CliError(
                QStringLiteral("--%1 values must be %2 in %3..%4, got \"%5\"")
                    .arg(name, whole ? QStringLiteral("whole numbers") : QStringLiteral("numbers"))
                    .arg(range.min)
                    .arg(range.max)
                    .arg(*p.value(name)));
    }
    return *v;
}

// "N" or "off" for the repeat limits: (on, value).
std::pair<bool, double> onOrOff(const ArgParser& p, const QString& name, const ControlRange& range,
                                bool onFallback, double fallback) {
    const auto v = p.value(name);
    if (!v) return {onFallback, fallback};
    if (v->compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) return {false, fallback};
    return {true, checkedWhole(p, name, range, fallback)};
}

int viewModeOption(const ArgParser& p) {
    const auto v = p.intValue(QStringLiteral("view"));
    if (!v) return engine::kViewFinal;
    if (!engine::isViewMode(*v))
        throw CliError(QStringLiteral("--view must be 0, 10, 20, 30, 31 or 50, got %1").arg(*v));
    return *v;
}

// Where the main image of a make run comes from: a file, or an embedded sample picture.
struct MainImageSource {
    QString path;     // empty for a sample picture
    QByteArray bytes; // the sample picture's PNG
    QString label;    // for messages and the summary
};

// --main IMAGE, else sample picture --sample N, else a random one of the three.
MainImageSource resolveMainImage(const ArgParser& p) {
    if (const auto v = p.value(QStringLiteral("main"))) {
        if (p.has(QStringLiteral("sample")))
            throw CliError("give either --main IMAGE or --sample N, not both");
        if (!QFileInfo(*v).isFile())
            throw CliError(QStringLiteral("main image \"%1\" does not exist").arg(*v));
        return {*v, {}, *v};
    }
    int n = shell::randomSamplePictureNumber();
    if (const auto chosen = p.intValue(QStringLiteral("sample"))) {
        if (*chosen < 1 || *chosen > 3)
            throw CliError(QStringLiteral("--sample must be 1, 2 or 3, got %1").arg(*chosen));
        n = *chosen;
    }
    const QByteArray bytes = shell::samplePictureBytes(n);
    if (bytes.isEmpty())
        throw CliError(QStringLiteral("the sample picture %1 is missing from the program").arg(n));
    return {{}, bytes, QStringLiteral("sample picture %1").arg(n)};
}

// Shows the first-start extraction as progress lines on standard error.
workflow::UnzipDisplay stderrUnzipDisplay() {
    workflow::UnzipDisplay display;
    // The reader reports each entry several times; one line per entry is enough.
    display.processEvents = [last = QString()](const workflow::UnzipDisplay& d) mutable {
        if (d.lb_progress == last) return;
        last = d.lb_progress;
        printErr(QStringLiteral("%1 %2").arg(d.Label_file, d.lb_progress));
    };
    return display;
}

// --lib LIBDIR, else the installed sample library (installing the content when missing).
QString resolveLibraryFolder(const ArgParser& p, const shell::AppFolders& folders) {
    const auto v = p.value(QStringLiteral("lib"));
    if (!v) {
        workflow::UnzipDisplay display = stderrUnzipDisplay();
        return shell::installedSampleLibrary(folders, &display);
    }
    if (!QFileInfo(*v).isDir())
        throw CliError(QStringLiteral("tile library folder \"%1\" does not exist").arg(*v));
    if (!tilelib::IsTileLibFolder(*v))
        throw CliError(
            QStringLiteral("\"%1\" is not a tile library: it has no imagelib.dat").arg(*v));
    return *v;
}

// --pattern: a .pat file, or the name of a stock pattern ("60_hexagon") looked up in the
// program's pattern folder, then the user's (installing the stock patterns when missing).
QString resolvePatternFile(const QString& value, const shell::AppFolders& folders) {
    if (QFileInfo(value).isFile()) return value;
    QString found = shell::findPatternFile(folders, value);
    if (found.isEmpty() && !value.contains(QLatin1Char('/'))) {
        workflow::UnzipDisplay display = stderrUnzipDisplay();
        shell::installForStart(folders, display);
        found = shell::findPatternFile(folders, value);
    }
    if (found.isEmpty())
        throw CliError(
            QStringLiteral("pattern \"%1\" is neither a file nor a stock pattern").arg(value));
    return found;
}

QString requiredOut(const ArgParser& p) {
    const auto v = p.value(QStringLiteral("out"));
    if (!v || v->isEmpty()) throw CliError("--out PICTURE is required");
    const QString ext = QFileInfo(*v).suffix().toLower();
    static const QStringList kExt = {QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                     QStringLiteral("png"), QStringLiteral("bmp"),
                                     QStringLiteral("tif"), QStringLiteral("tiff")};
    if (!kExt.contains(ext))
        throw CliError(
            QStringLiteral("--out \"%1\": use a .jpg, .png, .bmp or .tif file name").arg(*v));
    return *v;
}

TAlphaColor groutOption(const QString& text) {
    QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('#'))) t = t.mid(1);
    bool ok = false;
    const uint rgb = t.toUInt(&ok, 16);
    if (t.size() != 6 || !ok)
        throw CliError(
            QStringLiteral("--grout expects RRGGBB in hexadecimal, got \"%1\"").arg(text));
    return 0xFF000000u | rgb;
}

// The requested crop in image pixels, shrunk about its centre to the mosaic's aspect.
TRectF cropOption(const QString& text, const QImage& image, double widthPx, double heightPx) {
    const QStringList parts = text.split(QLatin1Char(','));
    double v[4] = {};
    bool good = parts.size() == 4;
    for (int i = 0; good && i < 4; ++i)
        v[i] = parts[i].trimmed().toDouble(&good);
    if (!good)
        throw CliError(
            QStringLiteral("--crop expects LEFT,TOP,RIGHT,BOTTOM, got \"%1\"").arg(text));
    if (!(v[0] >= 0 && v[1] >= 0 && v[2] <= image.width() && v[3] <= image.height() &&
          v[2] - v[0] >= 1 && v[3] - v[1] >= 1))
        throw CliError(QStringLiteral("--crop %1 does not lie inside the %2 x %3 image")
                           .arg(text)
                           .arg(image.width())
                           .arg(image.height()));
    double w = v[2] - v[0], h = v[3] - v[1];
    if (w * heightPx > h * widthPx)
        w = h * widthPx / heightPx;
    else
        h = w * heightPx / widthPx;
    const double cx = (v[0] + v[2]) / 2, cy = (v[1] + v[3]) / 2;
    return {Single(cx - w / 2), Single(cy - h / 2), Single(cx + w / 2), Single(cy + h / 2)};
}

void printPhase(const char* name, qint64 ms) {
    printOut(QStringLiteral("%1 %2 ms").arg(QLatin1String(name), -9).arg(ms));
}

} // namespace

int runMake(const QStringList& args) {
    const ArgParser p(args, {QStringLiteral("main"),         QStringLiteral("lib"),
                             QStringLiteral("out"),          QStringLiteral("project"),
                             QStringLiteral("pattern"),      QStringLiteral("tiles"),
                             QStringLiteral("tile-size"),    QStringLiteral("gap"),
                             QStringLiteral("enhance"),      QStringLiteral("crop"),
                             QStringLiteral("seed"),         QStringLiteral("dither-level"),
                             QStringLiteral("random-level"), QStringLiteral("weight-light"),
                             QStringLiteral("weight-color"), QStringLiteral("repeat-min"),
                             QStringLiteral("repeat-max"),   QStringLiteral("repeat-radius"),
                             QStringLiteral("grout"),        QStringLiteral("color-adjust"),
                             QStringLiteral("alpha-blend"),  QStringLiteral("view"),
                             QStringLiteral("sample")},
                      {QStringLiteral("scanline"), QStringLiteral("rgb-match"),
                       QStringLiteral("no-dither"), QStringLiteral("use-all"),
                       QStringLiteral("bg-main"), QStringLiteral("help")});
    if (p.has(QStringLiteral("help"))) {
        printOut(QString::fromLatin1(kMakeUsage));
        return 0;
    }
    if (!p.positional().isEmpty())
        throw CliError(QStringLiteral("make takes no plain arguments, got \"%1\"")
                           .arg(p.positional().first()));

    // Everything is checked before anything is computed or written.
    const QString out = requiredOut(p);
    // The seed comes first: it also decides which sample picture a run without --main takes.
    if (const auto seed = p.value(QStringLiteral("seed"))) {
        bool ok = false;
        const uint n = seed->toUInt(&ok);
        if (!ok)
            throw CliError(QStringLiteral("--seed expects a whole number, got \"%1\"").arg(*seed));
        imaging::seedProgramRandom(n);
    }

    const shell::AppFolders folders = shell::currentAppFolders();
    const MainImageSource mainImage = resolveMainImage(p);
    const QString libFolder = resolveLibraryFolder(p, folders);
    const auto patternOption = p.value(QStringLiteral("pattern"));
    const QString patternFile =
        patternOption ? resolvePatternFile(*patternOption, folders) : QString();
    const int viewMode = viewModeOption(p);

    workflow::WizardSettings s;
    std::tie(s.horizontalTileCount, s.verticalTileCount) =
        checkedPair(p, QStringLiteral("tiles"), workflow::kTileCountRange,
                    {s.horizontalTileCount, s.verticalTileCount}, true);
    std::tie(s.tileWidthPx, s.tileHeightPx) =
        checkedPair(p, QStringLiteral("tile-size"), workflow::kTileSizeRange,
                    {s.tileWidthPx, s.tileHeightPx}, false);
    std::tie(s.horizontalGap, s.verticalGap) = checkedPair(
        p, QStringLiteral("gap"), workflow::kGapRange, {s.horizontalGap, s.verticalGap}, false);
    s.enhance = checkedValue(p, QStringLiteral("enhance"), workflow::kEnhanceRange, s.enhance);
    s.searchScanline = p.has(QStringLiteral("scanline"));
    s.rgbMatch = p.has(QStringLiteral("rgb-match"));
    s.dither = !p.has(QStringLiteral("no-dither"));
    s.ditherLevel =
        checkedValue(p, QStringLiteral("dither-level"), workflow::kDitherRange, s.ditherLevel);
    s.randomLevel =
        checkedWhole(p, QStringLiteral("random-level"), workflow::kRandomLevelRange, s.randomLevel);
    s.weightL = checkedValue(p, QStringLiteral("weight-light"), workflow::kWeightRange, s.weightL);
    s.weightC = checkedValue(p, QStringLiteral("weight-color"), workflow::kWeightRange, s.weightC);
    s.useAll = p.has(QStringLiteral("use-all"));
    if (p.value(QStringLiteral("repeat-min"))) {
        s.repeatMinOn = true;
        s.repeatMin =
            checkedWhole(p, QStringLiteral("repeat-min"), workflow::kRepeatRange, s.repeatMin);
    }
    std::tie(s.repeatMaxOn, s.repeatMax) = onOrOff(
        p, QStringLiteral("repeat-max"), workflow::kRepeatRange, s.repeatMaxOn, s.repeatMax);
    std::tie(s.repeatRadiusOn, s.repeatRadius) =
        onOrOff(p, QStringLiteral("repeat-radius"), workflow::kRepeatRadiusRange, s.repeatRadiusOn,
                s.repeatRadius);
    s.bgMain = p.has(QStringLiteral("bg-main"));
    s.colorAdjust =
        checkedValue(p, QStringLiteral("color-adjust"), workflow::kColorAdjustRange, s.colorAdjust);
    s.alphaBlend =
        checkedValue(p, QStringLiteral("alpha-blend"), workflow::kAlphaBlendRange, s.alphaBlend);
    const auto grout = p.value(QStringLiteral("grout"));
    const TAlphaColor groutColor = grout ? groutOption(*grout) : 0u;
    QElapsedTimer total;
    total.start();
    auto ctx = engine::MosaicContext::create();
    ctx->ScreenScale = 1.0f;
    ctx->ProjectTileLib->LoadTilelib(tilelib::ImgLibFileName(libFolder));
    if (ctx->ProjectTileLib->Count <= 0)
        throw CliError(QStringLiteral("the tile library \"%1\" holds no tiles; the mosaic would be "
                                      "empty")
                           .arg(libFolder));
    if (!patternFile.isEmpty()) ctx->mproject->patterncfg = imaging::Pattern_LoadFile(patternFile);

    // The crop view is the image itself (ScreenScale 1), so crop coordinates are pixels of
    // IMAGE and MakeFullSize cuts exactly those pixels.
    QBuffer sampleBuffer;
    QImageReader reader;
    if (mainImage.path.isEmpty()) {
        sampleBuffer.setData(mainImage.bytes);
        reader.setDevice(&sampleBuffer);
    } else {
        reader.setFileName(mainImage.path);
    }
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull())
        throw CliError(QStringLiteral("cannot read the main image \"%1\": %2")
                           .arg(mainImage.label, reader.errorString()));
    workflow::CropView view;
    view.viewWidth = Single(picture.width());
    view.viewHeight = Single(picture.height());
    view.mi_org = imaging::toWorkingFormat(std::move(picture));
    view.mi_Zoom = view.mi_org;

    workflow::NewProjectPipeline pipeline(*ctx, view, s);
    pipeline.setDrawFromStoredMainImage(true);
    pipeline.NPA_SizeUpdate_KRV();
    pipeline.NPA_AutoCrop();
    const auto& cfg = ctx->mproject->cfg;
    if (const auto crop = p.value(QStringLiteral("crop")))
        view.setCropRect(cropOption(*crop, view.mi_org, cfg.WidthPx, cfg.HeightPx));
    if (grout) {
        s.groutColor = groutColor;
        ctx->SearchOpts.GroutColor = groutColor;
    }

    StderrProgress progress(QStringLiteral("make"));
    QImage mosaic;
    pipeline.createMosaic(mosaic, &progress, viewMode);

    QElapsedTimer saving;
    saving.start();
    workflow::savePictureFile(mosaic, out, workflow::kProjectJpegQuality);
    if (const auto folder = p.value(QStringLiteral("project")))
        workflow::SaveProject_WriteFolder(*ctx, QDir(*folder).absolutePath(), mosaic,
                                          pipeline.storedMainImage());
    const qint64 saveMs = saving.elapsed();

    const workflow::PhaseTimes& t = pipeline.phaseTimes();
    printPhase("layout", t.layoutMs);
    printPhase("sampling", t.samplingMs);
    printPhase("search", t.searchMs);
    printPhase("render", t.renderMs);
    printPhase("save", saveMs);
    printPhase("total", total.elapsed());

    // Tile use over the cells of the mosaic.
    std::vector<int> uses(std::size_t(tilelib::kTileSlots), 0);
    const auto& pr = *ctx->mproject;
    const auto count = [&](const engine::TCell& c) {
        if (c.enable && c.TileID >= 0 && c.TileID < tilelib::kTileSlots)
            ++uses[std::size_t(c.TileID)];
    };
    for (int r = 0; r < std::clamp(cfg.Vcc, 0, engine::kGridSide); ++r)
        for (int c = 0; c < std::clamp(cfg.Hcc, 0, engine::kGridSide); ++c)
            count(pr.Cells[r][c]);
    for (int i = 0; i < std::clamp(cfg.AddonTilesCount, 0, engine::kAddonCells); ++i)
        count(pr.AddonTiles[i]);
    const auto distinct = std::count_if(uses.begin(), uses.end(), [](int n) { return n > 0; });
    const int largest = *std::max_element(uses.begin(), uses.end());
    printOut(QStringLiteral("cells %1, distinct tiles %2, largest use count %3")
                 .arg(pr.GetProjectCellCount())
                 .arg(distinct)
                 .arg(largest));
    return 0;
}

int runRender(const QStringList& args) {
    const ArgParser p(args, {QStringLiteral("out"), QStringLiteral("view")},
                      {QStringLiteral("help")});
    if (p.has(QStringLiteral("help"))) {
        printOut(QString::fromLatin1(kRenderUsage));
        return 0;
    }
    if (p.positional().size() != 1) throw CliError("render needs one PROJECT_FOLDER_OR_Mosaic.Prj");
    const QString out = requiredOut(p);
    const int viewMode = viewModeOption(p);
    QString path = p.positional().first();
    if (QFileInfo(path).isDir()) path = QDir(path).filePath(QStringLiteral("Mosaic.Prj"));
    if (!QFileInfo(path).isFile())
        throw CliError(QStringLiteral("project file \"%1\" does not exist").arg(path));

    auto ctx = engine::MosaicContext::create();
    ctx->ScreenScale = 1.0f;
    StderrProgress progress(QStringLiteral("render"));
    QImage picture;
    QElapsedTimer timer;
    timer.start();
    workflow::OpenProject(*ctx, path, picture, &progress, viewMode);
    printPhase("render", timer.restart());
    workflow::savePictureFile(picture, out, workflow::kProjectJpegQuality);
    printPhase("save", timer.elapsed());
    return 0;
}

} // namespace vantorel::cli
