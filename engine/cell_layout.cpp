#include "engine/project_model.h"

namespace vantorel::engine {

void TMosaicProject::Cell_Reset() {}
void TMosaicProject::cell_ClearTileID() {}
std::int64_t TMosaicProject::Cell_GetIdByMouse(Single, Single, Single) const {
    return packCellId(-1, -1);
}

} // namespace vantorel::engine
