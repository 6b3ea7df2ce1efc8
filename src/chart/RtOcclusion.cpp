#include "chart/RtOcclusion.h"

#include <algorithm>

namespace karvo {

void CoverRows(const TRtSeriesShape& shape, int firstColumn, std::vector<TRtRowSpan>& covered) {
  for (const TRtBandColumn& c : shape.band) {
    if (c.fullTop >= c.fullBottom) continue;
    const int at = c.column - firstColumn;
    if (at < 0 || at >= static_cast<int>(covered.size())) continue;
    TRtRowSpan& h = covered[static_cast<std::size_t>(at)];
    if (h.Empty()) {
      h = {c.fullTop, c.fullBottom};
    } else if (c.fullTop <= h.bottom && c.fullBottom >= h.top) {
      h = {std::min(h.top, c.fullTop), std::max(h.bottom, c.fullBottom)};
    } else if (c.fullBottom - c.fullTop > h.bottom - h.top) {
      h = {c.fullTop, c.fullBottom};
    }
  }
}

}  // namespace karvo
