#include "engine/project_model.h"

namespace vantorel::engine {

void TMosaicProject::SaveProject(const TSearchOpts&) const {}
QByteArray TMosaicProject::SaveProjectBytes(const TSearchOpts&) const {
    return {};
}
void TMosaicProject::LoadProject(const QString&, TSearchOpts&) {}

} // namespace vantorel::engine
