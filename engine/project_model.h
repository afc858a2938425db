#pragma once
// The mosaic project: configuration, pattern, the fixed cell arrays, and the search and
// rendering options. The records are also the layout of Mosaic.Prj.
#include "imaging/color_info.h"
#include "imaging/geometry.h"
#include "imaging/mosaic_pattern.h"
#include "imaging/short_string.h"

#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>

namespace vantorel::engine {

using imaging::Boolean;
using imaging::ShortString;
using imaging::Single;
using imaging::TAlphaColor;
using imaging::TimgColorInfo;
using imaging::TpatternCfg;
using imaging::TPointF;
using imaging::Tpoly;
using imaging::TRectF;

constexpr int kGridSide = 201;     // grid entries per side (layouts use at most 200)
constexpr int kMaxCells = 200;     // largest Hcc and Vcc a layout uses
constexpr int kAddonCells = 10001; // ring (add-on) cell capacity

enum CanvasUnitCode : std::int32_t { kUnitInch = 0, kUnitMm = 1, kUnitPixel = 2 };
enum PatternTypeCode : std::int32_t { kPatternGrid = 0, kPatternRings = 10 };

struct TprojectCFG {
    ShortString<250> RootPath; // the project folder, set when saved
    std::uint8_t pad0;
    std::int32_t ProjectPatternType; // 0 grid, 10 rings
    std::int32_t AddonTilesCount;    // add-on cells in use, 0..10001
    std::int32_t Vcc;                // grid rows
    std::int32_t Hcc;                // grid columns
    std::int32_t BaseTileShape;      // shape of ring cells; 20 makes the search rotation-aware
    std::int32_t BaseTileRotateCount;
    std::int32_t BaseTileRotateAngle;
    std::int32_t CircleCount; // number of rings
    std::int32_t pad1;
    double Rstart;              // radius of the innermost ring
    double Rinc;                // radius added per ring
    double CellSpace;           // arc length per ring cell
    double RotateStart;         // radians added to every ring cell
    double RotateStep;          // radians added per cell index within a ring
    std::int32_t Commondivisor; // ring counts rounded down to a multiple; <= 0 none
    std::int32_t pad2;
    double SrcColorEnhance;            // saturation factor of sampled colours
    double CellWdf, CellHtf;           // cell size, project units
    double CellgapwdF, CellgaphtF;     // gaps between cells
    double MaxCellgapwd, MaxCellgapht; // stored, unused
    double FullWidthF, FullHeightF;    // mosaic size, project units
    std::int32_t CanvasUnit;           // 0 inch, 1 mm, 2 pixel
    std::int32_t pad3;
    double CanvasPPI;
    double CellWdPx, CellHtPx; // cell size in full-size pixels
    double CellgapwdPX, cellgapHtpx;
    double FullWidthPX, FullHeightpx;
    std::int32_t PreviewBMPsize; // side the preview is fitted into
    std::int32_t pad4;
    double PreviewScale; // main-window view units per project unit
    std::int32_t CellPlanBMPsizeWD, CellPlanBMPsizeHT;
    double CellPlanScale;
    double WidthPx, HeightPx; // preview size in pixels
    double CanvasScale;       // preview pixels per project unit
    Boolean searchDone;
    std::uint8_t pad5[7];
};
static_assert(sizeof(TprojectCFG) == 536);
static_assert(offsetof(TprojectCFG, ProjectPatternType) == 252);
static_assert(offsetof(TprojectCFG, AddonTilesCount) == 256);
static_assert(offsetof(TprojectCFG, Vcc) == 260);
static_assert(offsetof(TprojectCFG, Hcc) == 264);
static_assert(offsetof(TprojectCFG, BaseTileShape) == 268);
static_assert(offsetof(TprojectCFG, CircleCount) == 280);
static_assert(offsetof(TprojectCFG, Rstart) == 288);
static_assert(offsetof(TprojectCFG, Commondivisor) == 328);
static_assert(offsetof(TprojectCFG, SrcColorEnhance) == 336);
static_assert(offsetof(TprojectCFG, CellWdf) == 344);
static_assert(offsetof(TprojectCFG, FullWidthF) == 392);
static_assert(offsetof(TprojectCFG, CanvasUnit) == 408);
static_assert(offsetof(TprojectCFG, CanvasPPI) == 416);
static_assert(offsetof(TprojectCFG, CellWdPx) == 424);
static_assert(offsetof(TprojectCFG, FullWidthPX) == 456);
static_assert(offsetof(TprojectCFG, FullHeightpx) == 464);
static_assert(offsetof(TprojectCFG, PreviewBMPsize) == 472);
static_assert(offsetof(TprojectCFG, PreviewScale) == 480);
static_assert(offsetof(TprojectCFG, CellPlanBMPsizeWD) == 488);
static_assert(offsetof(TprojectCFG, CellPlanScale) == 496);
static_assert(offsetof(TprojectCFG, WidthPx) == 504);
static_assert(offsetof(TprojectCFG, CanvasScale) == 520);
static_assert(offsetof(TprojectCFG, searchDone) == 528);

struct TCell {
    std::int32_t CellX;     // column of a grid cell
    std::int32_t CellY;     // row of a grid cell
    std::int32_t CellAID;   // own index of a ring cell
    std::int32_t TileID;    // assigned tile, -1 none
    std::int32_t CellShape; // shape code
    TRectF CellRectReal;    // project units
    TRectF CellRect;        // preview pixels
    Boolean NewTypeCell;
    std::uint8_t pad0[3];
    TPointF CellCenterReal;
    Tpoly CellPolyReal; // outline, project units
    std::uint8_t pad1[4];
    double Rotate;        // radians
    TimgColorInfo ICinfo; // sampled colour, changed by dithering
    std::int32_t SplitLevel;
    std::int32_t PriLevel; // fill priority 0..3
    Boolean enable;
    std::uint8_t pad2[3];
};
static_assert(sizeof(TCell) == 2664);
static_assert(offsetof(TCell, TileID) == 12);
static_assert(offsetof(TCell, CellShape) == 16);
static_assert(offsetof(TCell, CellRectReal) == 20);
static_assert(offsetof(TCell, CellRect) == 36);
static_assert(offsetof(TCell, NewTypeCell) == 52);
static_assert(offsetof(TCell, CellCenterReal) == 56);
static_assert(offsetof(TCell, CellPolyReal) == 64);
static_assert(offsetof(TCell, Rotate) == 160);
static_assert(offsetof(TCell, ICinfo) == 168);
static_assert(offsetof(TCell, SplitLevel) == 2652);
static_assert(offsetof(TCell, PriLevel) == 2656);
static_assert(offsetof(TCell, enable) == 2660);

struct TSearchOpts {
    Boolean UseAll;
    Boolean RepeatMinOn;
    Boolean RepeatMaxOn;
    Boolean RepeatRadiusOn;
    std::int32_t RepeatMin;
    std::int32_t RepeatMax;
    std::int32_t RepeatRadius;
    std::int32_t RandomLevel;
    Single WeightL;
    Single WeightC;
    Boolean Dither;
    std::uint8_t pad0[3];
    Single DitherLevel;
    Boolean SearchScanline;
    Boolean RGBMatch;
    Boolean BgMain;
    std::uint8_t pad1;
    TAlphaColor GroutColor;
    std::uint8_t pad2[4];
    double AlphaBlend;
    double ColorAdjust;
    std::uint8_t reserved;
    std::uint8_t pad3[7];
};
static_assert(sizeof(TSearchOpts) == 72);
static_assert(offsetof(TSearchOpts, RepeatMin) == 4);
static_assert(offsetof(TSearchOpts, RandomLevel) == 16);
static_assert(offsetof(TSearchOpts, WeightL) == 20);
static_assert(offsetof(TSearchOpts, Dither) == 28);
static_assert(offsetof(TSearchOpts, DitherLevel) == 32);
static_assert(offsetof(TSearchOpts, SearchScanline) == 36);
static_assert(offsetof(TSearchOpts, BgMain) == 38);
static_assert(offsetof(TSearchOpts, GroutColor) == 40);
static_assert(offsetof(TSearchOpts, AlphaBlend) == 48);
static_assert(offsetof(TSearchOpts, ColorAdjust) == 56);
static_assert(offsetof(TSearchOpts, reserved) == 64);

// The wizard's initial options (random start, dither 100 %, Light-RGB, repeat max 50,
// radius 1, cornsilk grout, colour adjust 0.4, alpha blend 0.25).
TSearchOpts DefaultSearchOpts();

// A cell id: low 32 bits the column (or add-on index), high 32 bits the row; row -1 marks
// an add-on cell, -1 in both halves no cell.
constexpr std::int64_t packCellId(std::int32_t column, std::int32_t row) {
    return static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(row)) << 32) |
        static_cast<std::uint32_t>(column));
}
constexpr std::int32_t cellIdColumn(std::int64_t id) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(id)));
}
constexpr std::int32_t cellIdRow(std::int64_t id) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(id) >> 32));
}

// Thrown for project files that cannot be read or written.
struct ProjectFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The one project. About 134 MB: create it on the heap with TMosaicProject::create().
class TMosaicProject {
  public:
    TprojectCFG cfg;
    TpatternCfg patterncfg;
    TCell Cells[kGridSide][kGridSide]; // [row][column]
    TCell AddonTiles[kAddonCells];
    Boolean SizeChanged;
    Boolean Rendered;
    ShortString<10> SizeUnitStr;

    // Zero-filled, default pattern, cleared.
    static std::unique_ptr<TMosaicProject> create();
    TMosaicProject(const TMosaicProject&) = delete;
    // Zeroed storage from calloc: pages are mapped lazily, so an idle project costs little.
    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;
    TMosaicProject& operator=(const TMosaicProject&) = delete;

    void clear();

    // Pixel sizes and preview scales from the project-unit sizes.
    void MainSize_Update();
    // Size in project units the current parameters produce.
    std::pair<Single, Single> GetProjectSize() const;
    std::pair<Single, Single> GetProjectSizeByPattern() const;
    // Cells the current parameters produce; the ring sum is not capped at the capacity.
    std::int32_t GetProjectCellCount() const;
    std::int32_t RingCellCount(int ring) const;

    // Lays out the cells; ring start angles come from the program-wide generator.
    void Cell_Reset();
    void cell_ClearTileID();
    // The cell at a view point (scale view units per project unit), packed by packCellId.
    std::int64_t Cell_GetIdByMouse(Single x, Single y, Single scale) const;

    // Sample the cells' colours from the cropped main image.
    void Cell_ReadColorFromMI_2017(const QImage& mainImageCrop, double mainImageScale);
    void AddonCell_ReadColorFromMI_2017(const QImage& mainImageCrop, double mainImageScale);

    // Mosaic.Prj: writes cfg.RootPath/Mosaic.Prj through a temporary file.
    void SaveProject(const TSearchOpts& opts) const;
    QByteArray SaveProjectBytes(const TSearchOpts& opts) const;
    // Throws ProjectFileError, touching nothing, for unreadable files or counts beyond
    // the capacities; a short file fills only its leading part.
    void LoadProject(const QString& path, TSearchOpts& opts);

  private:
    TMosaicProject() = default;
};

} // namespace vantorel::engine
