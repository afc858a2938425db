#include "engine/mosaic_context.h"

namespace vantorel::engine {

std::unique_ptr<MosaicContext> MosaicContext::create(bool withWorkLibrary) {
    auto ctx = std::make_unique<MosaicContext>();
    ctx->mproject = TMosaicProject::create();
    ctx->ProjectTileLib = tilelib::TTilelib::create();
    if (withWorkLibrary) ctx->WorkTileLib = tilelib::TTilelib::create();
    ctx->SearchTileList.clear();
    ctx->PickerTileList.clear();
    return ctx;
}

MosaicContext& programContext() {
    static std::unique_ptr<MosaicContext> context = MosaicContext::create(true);
    return *context;
}

} // namespace vantorel::engine
