#pragma once
// Tile search: colour distances, repeat rules, candidate ranking, assignment, dithering
// and the search passes.
#include "engine/mosaic_context.h"
#include "imaging/progress.h"

#include <cstdint>

namespace vantorel::engine {

// Distance over the whole colour and the four quarters (RGB or Light-RGB by opts).
double CellDistance(const TimgColorInfo& a, const TimgColorInfo& b, const TSearchOpts& opts);
// Zone-weighted distance over the 64 zones plus the whole colour; 32-bit integer math.
std::int32_t ZoneDistance(const TimgColorInfo& a, const TimgColorInfo& b);

// The repeat rules: use count limit and the same tile within the repeat radius.
bool TileAvailabilityCheck(const MosaicContext& ctx, const TCell& cell, int tile);
// The best tiles for a cell, rotation-aware for round tiles (BaseTileShape 20).
void GetGoodTileList(const MosaicContext& ctx, const TCell& cell, TGoodTileList& list,
                     bool ignoreAvailability);

void Cell_SetTile(MosaicContext& ctx, TCell& cell, int tile);
void Cell_SetTile_R(MosaicContext& ctx, TCell& cell, int tile, int rotation);
// Spread a cell's colour error onto its neighbours (when SearchOpts.Dither is set).
void Cell_SetDither_R(MosaicContext& ctx, int column, int row);
void Cell_SetDither_addonR(MosaicContext& ctx, int index);

// Use-all pass: every tile to its best free grid cell.
void Search_Pos_for_tile(MosaicContext& ctx, imaging::Progress* progress);
void KRV_Search_Tile_for_pos_Scanline(MosaicContext& ctx, int level, imaging::Progress* progress);
void KRV_Search_Tile_for_pos_Random(MosaicContext& ctx, int level, imaging::Progress* progress);
void Search_Tile_for_AddOn(MosaicContext& ctx, bool randomStart, int level,
                           imaging::Progress* progress);
// The whole search; sets searchDone. May change SearchOpts.RepeatMin (see use-all).
void Search_withoptions(MosaicContext& ctx, imaging::Progress* progress);
// The same search ranking every cell with the plain GetGoodTileList loop; slow, it exists
// to check that the pruned ranking picks the same tiles.
void searchWithPlainRanking(MosaicContext& ctx, imaging::Progress* progress);

} // namespace vantorel::engine
