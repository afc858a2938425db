#pragma once
// Tile libraries and projects built in code, for the render, workflow and CLI tests and the
// render benchmark.
#include "engine/mosaic_context.h"
#include "tilelib/tile_library.h"

#include <QImage>
#include <QString>
#include <vector>

namespace vantorel::test {

// A photo-like w x h picture: a two-colour gradient with a disc and a stripe, varied by
// seed.
QImage syntheticPhoto(int seed, int w, int h);
// n pictures from syntheticPhoto.
std::vector<QImage> photoTiles(int n, int px);
// One px x px picture per opaque colour (0xRRGGBB).
std::vector<QImage> solidTiles(const std::vector<unsigned>& rgbs, int px);

// Makes folder a tile library holding the pictures as ready/tNNNN.<format>, with their
// colour descriptions, and writes imagelib.dat. lib is left loaded and rooted there.
void writeTileLibrary(tilelib::TTilelib& lib, const QString& folder,
                      const std::vector<QImage>& tiles, const char* format = "png");

// A grid project of columns x rows cells of cell x cell pixels with the given gap, laid out
// as the wizard does (size update, MainSize_Update, Cell_Reset), every cell's sampled
// colour set to rgb.
void layoutGridProject(engine::MosaicContext& ctx, int columns, int rows, double cell, double gap,
                       unsigned rgb = 0x808080);

} // namespace vantorel::test
