#include "engine/tile_search.h"

namespace vantorel::engine {

double CellDistance(const TimgColorInfo&, const TimgColorInfo&, const TSearchOpts&) {
    return 0;
}
std::int32_t ZoneDistance(const TimgColorInfo&, const TimgColorInfo&) {
    return 0;
}
bool TileAvailabilityCheck(const MosaicContext&, const TCell&, int) {
    return true;
}
void GetGoodTileList(const MosaicContext&, const TCell&, TGoodTileList& list, bool) {
    list.clear();
}
void Cell_SetTile(MosaicContext&, TCell&, int) {}
void Cell_SetTile_R(MosaicContext&, TCell&, int, int) {}
void Cell_SetDither_R(MosaicContext&, int, int) {}
void Cell_SetDither_addonR(MosaicContext&, int) {}
void Search_Pos_for_tile(MosaicContext&, imaging::Progress*) {}
void KRV_Search_Tile_for_pos_Scanline(MosaicContext&, int, imaging::Progress*) {}
void KRV_Search_Tile_for_pos_Random(MosaicContext&, int, imaging::Progress*) {}
void Search_Tile_for_AddOn(MosaicContext&, bool, int, imaging::Progress*) {}
void Search_withoptions(MosaicContext&, imaging::Progress*) {}

} // namespace vantorel::engine
