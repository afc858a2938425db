#include "engine/good_tile_list.h"

#include <algorithm>
#include <cstring>

namespace vantorel::engine {

void TGoodTileList::clear() {
    Count = 0;
    for (auto& t : Tiles)
        t.TileID = -1;
}

void TGoodTileList::insert(int index, std::int32_t tile, std::int32_t diff) {
    insert_R(index, tile, 0, diff);
}

void TGoodTileList::insert_R(int index, std::int32_t tile, std::int32_t rotation,
                             std::int32_t diff) {
    if (index < 0 || index >= kCapacity) return;
    std::memmove(&Tiles[index + 1], &Tiles[index],
                 sizeof(TGoodTile) * std::size_t(kCapacity - 1 - index));
    Tiles[index] = {tile, rotation, diff};
    if (Count < kCapacity) ++Count;
}

void TGoodTileList::TryAddTile(std::int32_t tile, std::int32_t diff) {
    TryAddTile_R(tile, 0, diff);
}

void TGoodTileList::TryAddTile_R(std::int32_t tile, std::int32_t rotation, std::int32_t diff) {
    if (Count == 0) {
        insert_R(0, tile, rotation, diff);
        return;
    }
    const int n = std::clamp(Count, 0, kCapacity);
    for (int i = 0; i < n; ++i) {
        if (Tiles[i].Diff > diff) {
            insert_R(i, tile, rotation, diff);
            return;
        }
    }
    if (Count < kCapacity) insert_R(Count, tile, rotation, diff);
}

} // namespace vantorel::engine
