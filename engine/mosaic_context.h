#pragma once
// The long-lived objects the engine works on, gathered in one place. The program keeps one
// (programContext()); tests make their own.
#include "engine/good_tile_list.h"
#include "engine/project_model.h"
#include "tilelib/tile_library.h"

#include <QImage>
#include <memory>

namespace vantorel::engine {

struct MosaicContext {
    std::unique_ptr<TMosaicProject> mproject;
    std::unique_ptr<tilelib::TTilelib> ProjectTileLib;
    std::unique_ptr<tilelib::TTilelib> WorkTileLib;
    TSearchOpts SearchOpts = DefaultSearchOpts();
    QImage MainImageCrop;        // the cropped main image the engine samples
    QImage OverviewBitmap;       // the whole mosaic as one picture (overview, guide cards)
    double MainImageScale = 1.0; // main-image pixels per preview pixel
    TGoodTileList SearchTileList;
    TGoodTileList PickerTileList;
    float ScreenScale = 1.0f;  // device pixels per view unit
    Single IDTextSize = 18.0f; // text size of tile numbers in every tile-id drawing

    static std::unique_ptr<MosaicContext> create(bool withWorkLibrary = false);
};

// The program's own context, created on first use.
MosaicContext& programContext();

} // namespace vantorel::engine
