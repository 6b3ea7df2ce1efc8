#pragma once
// Which rows of each pixel column the series painted later cover
// completely, so that the series below leave them alone. Pure geometry.

#include <vector>

#include "chart/RtSeriesBands.h"

namespace karvo {

// Rows [top, bottom) of a pixel column; empty when top >= bottom.
struct TRtRowSpan {
  int top = 0, bottom = 0;
  bool Empty() const { return top >= bottom; }
};

// Adds the rows that the band columns of `shape` (an opaque pen) cover
// fully to `covered`, one span per pixel column counted from `firstColumn`.
// A column keeps one span: rows that overlap or touch the span it has join
// it; rows apart from it (a series between two bands of others) replace it
// when they are more, else they are left out. Rows left out are painted
// over needlessly, which costs time but never hides what shows.
void CoverRows(const TRtSeriesShape& shape, int firstColumn, std::vector<TRtRowSpan>& covered);

}  // namespace karvo
