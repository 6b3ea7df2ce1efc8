#include "chart/RtSeriesPoints.h"

#include <algorithm>
#include <cmath>

namespace karvo {

namespace {

// First index in [lo, hi) whose x is >= v (x non-decreasing), searched by
// galloping from lo: cheap when the answer is near.
int GallopLowerBound(const TRtDoubleVector& x, int lo, int hi, double v) {
  int step = 1;
  int bound = lo;
  while (bound < hi && x[bound] < v) {
    lo = bound + 1;
    bound += step;
    step *= 2;
  }
  hi = std::min(bound, hi);
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (x[mid] < v) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

int UpperBound(const TRtDoubleVector& x, int lo, int hi, double v) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (x[mid] <= v) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

// Moves the end point `a` of the segment a-b along it to pixel column
// `edge` when it lies beyond it, so that far-away points do not reach the
// rasteriser with huge coordinates.
void ClipEnd(TRtPoint& a, const TRtPoint& b, double edge, bool left) {
  const bool beyond = left ? a.x < edge : a.x > edge;
  if (!beyond || b.x == a.x) return;
  const bool bBeyond = left ? b.x < edge : b.x > edge;
  if (bBeyond) return;
  const double t = (edge - a.x) / (b.x - a.x);
  a.y = a.y + t * (b.y - a.y);
  a.x = edge;
}

}  // namespace

void BuildSeriesPolyline(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, const TRtPixelMap& xm,
                         const TRtPixelMap& ym, TRtPointReduction reduction, std::vector<TRtPoint>& out) {
  out.clear();
  count = std::min({count, x.Count(), y.Count()});
  if (count <= 0) return;
  auto emit = [&](int i) {
    const double xv = x[i], yv = y[i];
    if (!std::isfinite(xv) || !std::isfinite(yv)) return;
    out.push_back({xm(xv), ym(yv)});
  };

  const bool ordered = x.IsNonDecreasing() && std::isfinite(xm.dataStart) && std::isfinite(xm.dataStop) &&
                       xm.dataStop > xm.dataStart && xm.pixelStop > xm.pixelStart;
  if (!ordered) {
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) emit(i);
    return;
  }

  // Visible samples [a, b) plus one neighbour on each side for the
  // segments that enter and leave the data area.
  const double left = std::floor(xm.pixelStart);
  const double right = std::ceil(xm.pixelStop);
  const int a = GallopLowerBound(x, 0, count, xm.Inverse(left));
  const int b = UpperBound(x, a, count, xm.Inverse(right));
  if (a > 0) emit(a - 1);

  if (reduction == TRtPointReduction::Exact) {
    for (int i = a; i < b; ++i) emit(i);
  } else {
    int i = a;
    for (double c = left; c < right && i < b; c += 1.0) {
      const int j = GallopLowerBound(x, i, b, xm.Inverse(c + 1.0));
      const int k = j - i;
      if (k <= 2) {
        for (int m = i; m < j; ++m) emit(m);
      } else {
        // First sample, the two extremes in the order they occur on the
        // column's centre line (a vertical stroke that covers the column
        // as the many near-vertical exact segments do), last sample.
        const TRtExtremes e = y.RangeExtremes(i, j);
        emit(i);
        if (e.minIndex >= 0) {
          const bool minFirst = e.minIndex <= e.maxIndex;
          const double centre = c + 0.5;
          out.push_back({centre, ym(minFirst ? e.min : e.max)});
          out.push_back({centre, ym(minFirst ? e.max : e.min)});
        }
        emit(j - 1);
      }
      i = j;
    }
    for (; i < b; ++i) emit(i);
  }

  if (b < count) emit(b);
  if (out.size() >= 2) {
    ClipEnd(out.front(), out[1], left - 2.0, true);
    ClipEnd(out.back(), out[out.size() - 2], right + 2.0, false);
  }
}

}  // namespace karvo
