#pragma once
// A ranked list of at most 100 candidate tiles for one cell.
#include <cstdint>

namespace vantorel::engine {

struct TGoodTile {
    std::int32_t TileID;
    std::int32_t RotateID; // tile turn in steps of 30 degrees, 0..11
    std::int32_t Diff;     // truncated colour distance
};

class TGoodTileList {
public:
    static constexpr int kCapacity = 100;
    std::int32_t Count = 0;
    TGoodTile Tiles[kCapacity] = {};

    void clear();
    void insert(int index, std::int32_t tile, std::int32_t diff);
    void insert_R(int index, std::int32_t tile, std::int32_t rotation, std::int32_t diff);
    void TryAddTile(std::int32_t tile, std::int32_t diff);
    void TryAddTile_R(std::int32_t tile, std::int32_t rotation, std::int32_t diff);
};

} // namespace vantorel::engine
