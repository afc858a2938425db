#include "imaging/geometry.h"

#include <algorithm>

namespace vantorel::imaging {

TRectF intersectRect(const TRectF& a, const TRectF& b) {
    return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
}

} // namespace vantorel::imaging
