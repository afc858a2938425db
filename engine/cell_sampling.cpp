#include "engine/project_model.h"

namespace vantorel::engine {

void TMosaicProject::Cell_ReadColorFromMI_2017(const QImage&, double) {}
void TMosaicProject::AddonCell_ReadColorFromMI_2017(const QImage&, double) {}

} // namespace vantorel::engine
