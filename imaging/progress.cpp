#include "imaging/progress.h"

namespace vantorel::imaging {

Progress& progressOrNone(Progress* p) {
    static NoProgress none;
    return p ? *p : none;
}

} // namespace vantorel::imaging
