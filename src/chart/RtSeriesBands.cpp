#include "chart/RtSeriesBands.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

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
  return LowerBound(x, lo, std::min(bound, hi), v);
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

bool UsableMap(const TRtPixelMap& xm) {
  return std::isfinite(xm.dataStart) && std::isfinite(xm.dataStop) && xm.dataStop > xm.dataStart &&
         xm.pixelStop > xm.pixelStart;
}

}  // namespace

void TRtSeriesShape::Clear() {
  points.clear();
  pieces.clear();
  band.clear();
  coverage.clear();
  areaColumns.clear();
}

void BuildSeriesPolyline(const TRtDoubleVector& x, const TRtDoubleVector& y, int first, int last, const TRtPixelMap& xm,
                         const TRtPixelMap& ym, TRtPointReduction reduction, std::vector<TRtPoint>& out) {
  out.clear();
  const int begin = std::max(first, 0);
  const int end = std::min({last, x.Count(), y.Count()});
  if (end <= begin) return;
  auto emit = [&](int i) {
    const double xv = x[i], yv = y[i];
    if (!std::isfinite(xv) || !std::isfinite(yv)) return;
    out.push_back({xm(xv), ym(yv)});
  };

  if (!UsableMap(xm)) return;

  // Visible samples [a, b) plus one neighbour on each side for the
  // segments that enter and leave the data area.
  const double left = std::floor(xm.pixelStart);
  const double right = std::ceil(xm.pixelStop);
  const int a = GallopLowerBound(x, begin, end, xm.Inverse(left));
  const int b = UpperBound(x, a, end, xm.Inverse(right));
  if (a > begin) emit(a - 1);

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

  if (b < end) emit(b);
  if (out.size() >= 2) {
    ClipEnd(out.front(), out[1], left - 2.0, true);
    ClipEnd(out.back(), out[out.size() - 2], right + 2.0, false);
  }
}

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A pixel row from a coordinate that may lie anywhere (infinite where a
// column has no piece of the line, huge for hostile values), kept within
// [lo, hi] before it becomes an int: converting a value outside int's range
// is undefined.
int RowWithin(double v, int lo, int hi) {
  if (!(v > lo)) return lo;
  if (v >= hi) return hi;
  return static_cast<int>(v);
}
// Samples per bin from which a bin's ends are not read singly.
constexpr int kCoarseBin = 64;
// Stretches of columns shorter than this are evened out with their
// neighbours (TRtColumnIndex::Banded), and what counts as few samples a
// column there.
constexpr std::size_t kShortRun = 8;
constexpr std::size_t kFewSamples = 16;

// First index in [lo, hi] whose x is >= v (hi when none), given that every
// index below lo has x < v; starts at `hint` and gallops away from it, so a
// good hint costs two reads.
int HintedLowerBound(const TRtDoubleVector& x, int lo, int hi, double v, int hint) {
  hint = std::clamp(hint, lo, hi);
  int a, b;  // the answer lies in (a, b]
  if (hint < hi && x[hint] < v) {
    a = hint;
    int step = 1;
    b = a + step;
    while (b < hi && x[b] < v) {
      a = b;
      step *= 2;
      b = a + step;
    }
    b = std::min(b, hi);
  } else {
    b = hint;
    int step = 1;
    a = b - step;
    while (a >= lo && x[a] >= v) {
      b = a;
      step *= 2;
      a = b - step;
    }
    a = std::max(a, lo - 1);
  }
  while (b - a > 1) {
    const int mid = a + (b - a) / 2;
    if (x[mid] < v)
      a = mid;
    else
      b = mid;
  }
  return b;
}

bool SameMap(const TRtPixelMap& a, const TRtPixelMap& b) {
  return a.dataStart == b.dataStart && a.dataStop == b.dataStop && a.pixelStart == b.pixelStart &&
         a.pixelStop == b.pixelStop;
}

// The polyline's y (data units) at pixel column position `at`, between
// samples e - 1 and e; NaN where there is no finite value to take.
double PolylineAt(const TRtDoubleVector& x, const TRtDoubleVector& y, int begin, int end, const TRtPixelMap& xm, int e,
                  double at) {
  const bool hasLeft = e > begin && std::isfinite(y[e - 1]) && std::isfinite(x[e - 1]);
  const bool hasRight = e < end && std::isfinite(y[e]) && std::isfinite(x[e]);
  if (hasLeft && hasRight) {
    const double x0 = xm(x[e - 1]), x1 = xm(x[e]);
    if (!(x1 > x0)) return y[e];
    const double t = std::clamp((at - x0) / (x1 - x0), 0.0, 1.0);
    return y[e - 1] + t * (y[e] - y[e - 1]);
  }
  if (hasLeft) return y[e - 1];
  if (hasRight) return y[e];
  return std::numeric_limits<double>::quiet_NaN();
}

// The first index in [lo, hi) whose x is finite (or above -Inf), and the
// end of the finite ones: a run may open with -Inf and close with +Inf.
int LowerBoundFinite(const TRtDoubleVector& x, int lo, int hi) {
  return GallopLowerBound(x, lo, hi, -std::numeric_limits<double>::max());
}
int UpperBoundFinite(const TRtDoubleVector& x, int lo, int hi) { return GallopLowerBound(x, lo, hi, kInfinity); }

}  // namespace

void TRtColumnIndex::Prepare(const TRtDoubleVector& x, int begin, int end, const TRtPixelMap& xm, int firstColumn,
                             int lastColumn) {
  if (x_ == &x && begin_ == begin && end_ == end && SameMap(xm_, xm) && first_ == firstColumn && last_ == lastColumn)
    return;
  x_ = &x;
  begin_ = begin;
  end_ = end;
  xm_ = xm;
  first_ = firstColumn;
  last_ = lastColumn;
  const auto columns = static_cast<std::size_t>(std::max(0, lastColumn - firstColumn));
  edges_.resize(columns + 1);
  binEdges_.resize(columns * (kBandBins + 1));
  int at = begin, gap = 1;
  for (std::size_t c = 0; c <= columns; ++c) {
    const int e = HintedLowerBound(x, at, end, xm.Inverse(firstColumn + static_cast<double>(c)), at + gap);
    if (c > 0) gap = e - at;
    edges_[c] = at = e;
  }
  // Dense columns are banded; then short stretches are evened out: a few
  // columns with few samples each among sparse ones go with the exact
  // polyline, a few sparse columns between banded ones with the bands.
  banded_.assign(columns, 0);
  for (std::size_t c = 0; c < columns; ++c) banded_[c] = edges_[c + 1] - edges_[c] > 2;
  // Short inner stretches [c, e) of one kind, and whether to turn them.
  auto evenOut = [&](auto turn) {
    for (std::size_t c = 0, e = 0; c < columns; c = e) {
      for (e = c; e < columns && banded_[e] == banded_[c];) ++e;
      if (e - c < kShortRun && c > 0 && e < columns && turn(c, e))
        std::fill(banded_.begin() + static_cast<std::ptrdiff_t>(c), banded_.begin() + static_cast<std::ptrdiff_t>(e),
                  !banded_[c]);
    }
  };
  evenOut([&](std::size_t c, std::size_t e) {
    return banded_[c] && static_cast<std::size_t>(edges_[e] - edges_[c]) <= kFewSamples * (e - c);
  });
  evenOut([&](std::size_t c, std::size_t) { return !banded_[c]; });
  for (std::size_t c = 0; c < columns; ++c) {
    int* bins = &binEdges_[c * (kBandBins + 1)];
    const int from = edges_[c], to = edges_[c + 1];
    bins[0] = from;
    bins[kBandBins] = to;
    const double left = firstColumn + static_cast<double>(c);
    const int step = std::max(1, (to - from) / kBandBins);
    for (int j = 1; j < kBandBins; ++j)
      bins[j] = HintedLowerBound(x, bins[j - 1], to, xm.Inverse(left + static_cast<double>(j) / kBandBins),
                                 bins[j - 1] + step);
  }
  // The extremes of a bin with many samples are read from whole summary
  // entries: each bin edge moves to the nearest multiple of the largest
  // entry size that is at most half the smaller bin beside it (by at most a
  // quarter of that bin, a sixteenth of a pixel: less than the bins' own
  // placement at their centres), so that few single values are read. Edges
  // move each on its own; consecutive bins still cover every sample.
  queryEdges_ = binEdges_;
  auto binSize = [&](std::size_t c, int j) {  // bin j of column c; an exact column is one bin
    const int* bins = &binEdges_[c * (kBandBins + 1)];
    if (!banded_[c]) return edges_[c + 1] - edges_[c];
    return bins[j + 1] - bins[j];
  };
  for (std::size_t c = 0; c < columns; ++c) {
    if (!banded_[c]) continue;
    int* edges = &queryEdges_[c * (kBandBins + 1)];
    for (int j = 0; j <= kBandBins; ++j) {
      int smaller;
      if (j == 0)
        smaller = std::min(binSize(c, 0), c > 0 ? binSize(c - 1, kBandBins - 1) : 0);
      else if (j == kBandBins)
        smaller = std::min(binSize(c, kBandBins - 1), c + 1 < columns ? binSize(c + 1, 0) : 0);
      else
        smaller = std::min(binSize(c, j - 1), binSize(c, j));
      int unit = 1;
      while (unit * 32 * 2 <= smaller) unit *= 32;
      if (unit > 1) edges[j] = std::clamp((edges[j] + unit / 2) / unit * unit, begin, end);
    }
  }
}

namespace {

// Appends the coverage of rows [from, to) of one band column: the share of
// each row that the intervals scratch.top[j] .. scratch.bottom[j] cover, summed
// over the intervals and divided by `samples` (more intervals than samples
// count overlaps twice), found with a running count so that a row costs
// the same however many intervals cross it. With `blended`, a coverage c
// becomes 1 - (1 - c)^3 (see BuildSeriesShape).
void AddCoverage(TRtShapeScratch& scratch, TRtSeriesShape& out, int from, int to, std::size_t samples, bool blended) {
  if (from >= to) return;
  const auto rows = static_cast<std::size_t>(to - from);
  const std::size_t intervals = scratch.top.size();
  const double scale = 1.0 / static_cast<double>(samples);
  const std::size_t at = out.coverage.size();
  out.coverage.resize(at + rows);
  std::uint8_t* cover = out.coverage.data() + at;
  auto store = [&](std::size_t i, double c) {
    c = std::min(1.0, c * scale);
    if (blended) c = 1 - (1 - c) * (1 - c) * (1 - c);
    cover[i] = static_cast<std::uint8_t>(c * 255.0 + 0.5);
  };
  if (rows <= 2) {
    // A row or two (the usual edge): straight from the intervals.
    for (std::size_t i = 0; i < rows; ++i) {
      const double top = from + static_cast<double>(i), bottom = top + 1;
      double c = 0;
      for (std::size_t j = 0; j < intervals; ++j)
        c += std::max(0.0, std::min(scratch.bottom[j], bottom) - std::max(scratch.top[j], top));
      store(i, c);
    }
    return;
  }
  std::vector<double>& part = scratch.rowPart;
  std::vector<double>& step = scratch.rowStep;
  part.assign(rows + 1, 0.0);
  step.assign(rows + 1, 0.0);
  for (std::size_t j = 0; j < intervals; ++j) {
    // Relative to `from`, where floor is a cast.
    const double t = std::max(scratch.top[j] - from, 0.0);
    const double b = std::min(scratch.bottom[j] - from, static_cast<double>(rows));
    if (!(t < b)) continue;
    const auto i0 = static_cast<std::size_t>(t), i1 = static_cast<std::size_t>(b);
    if (i0 == i1) {
      part[i0] += b - t;
      continue;
    }
    part[i0] += static_cast<double>(i0 + 1) - t;
    step[i0 + 1] += 1;
    step[i1] -= 1;
    part[i1] += b - static_cast<double>(i1);
  }
  // Between the rows where intervals start or end the count stays the same:
  // the byte worked out last is taken again.
  double run = 0, last = -1;
  std::uint8_t byte = 0;
  for (std::size_t i = 0; i < rows; ++i) {
    run += step[i];
    const double c = run + part[i];
    if (c != last) {
      store(i, c);
      byte = cover[i];
      last = c;
    } else {
      cover[i] = byte;
    }
  }
}

}  // namespace

namespace {

// One run's shape in the making: the request, the run and its columns.
struct ShapeBuild {
  const TRtDoubleVector& x;
  const TRtDoubleVector& y;
  int begin, end;  // the run's samples
  const TRtShapeRequest& request;
  TRtColumnIndex& columns;
  TRtShapeScratch& scratch;
  TRtSeriesShape& out;
  int first = 0, last = 0;  // the columns worked on
  double radius = 0.5;
  int reach = 2;
  bool wide = false;

  // A pen wider than a pixel is drawn as bands everywhere: with few
  // samples too, the bands are the stroke with round joins (to an eighth of
  // a pixel across), at a fraction of the cost of stroking the polyline.
  bool Banded(int p) const { return wide || columns.Banded(p); }
  void Emit(int i) {
    const double xv = x[i], yv = y[i];
    if (std::isfinite(xv) && std::isfinite(yv)) out.points.push_back({request.xm(xv), request.ym(yv)});
  }

  void ExactPieces();
  bool BinExtents();
  void StrokeBands();
};

// Stretches of columns not banded: the exact polyline, joined to the
// samples on either side.
void ShapeBuild::ExactPieces() {
  for (int p = first; p < last;) {
    if (Banded(p)) {
      ++p;
      continue;
    }
    const int stretchFirst = p;
    while (p < last && !Banded(p)) ++p;
    const int from = std::max(begin, columns.Edge(stretchFirst) - 1);
    const int to = std::min(end - 1, columns.Edge(p));
    const std::size_t start = out.points.size();
    for (int i = from; i <= to; ++i) Emit(i);
    // A lone point (beside the run's first or last sample) draws nothing.
    if (out.points.size() - start < 2) {
      out.points.resize(start);
      continue;
    }
    ClipEnd(out.points[start], out.points[start + 1], first, true);
    ClipEnd(out.points.back(), out.points[out.points.size() - 2], last, false);
    out.pieces.push_back(
        {start, out.points.size(), stretchFirst > first ? stretchFirst : -kInfinity, p < last ? p : kInfinity});
  }
}

// Banded columns: the reach of each bin's piece of the polyline, in pixel
// rows (clamped well outside the data area), and where pieces turn back.
// False when no column is banded.
bool ShapeBuild::BinExtents() {
  const TRtPixelMap& xm = request.xm;
  const TRtPixelMap& ym = request.ym;
  const TRtPixelRect& clip = request.clip;
  const auto bins = static_cast<std::size_t>(last - first) * kBandBins;
  scratch.binLow.assign(bins, kInfinity);
  scratch.binHigh.assign(bins, -kInfinity);
  scratch.binTurns.assign(bins, 0);
  const double rowMin = clip.top - 64.0, rowMax = clip.bottom + 64.0;
  const double pixelsPerUnit = std::abs(ym(1.0) - ym(0.0));
  bool anyBanded = false;
  for (int p = first; p < last; ++p) {
    if (!Banded(p)) continue;
    anyBanded = true;
    const int* e = columns.BinEdges(p);
    const int* q = columns.QueryEdges(p);
    // The polyline at the bin edges joins the bins. Bins of many samples
    // need no joining (each sample's reach spans a neighbouring bin), and
    // reading single values there would cost a cache miss each.
    const bool coarse = e[kBandBins] - e[0] >= kCoarseBin * kBandBins;
    std::array<double, kBandBins + 1> at;
    at.fill(std::numeric_limits<double>::quiet_NaN());
    if (!coarse) {
      for (int j = 0; j <= kBandBins; ++j)
        at[static_cast<std::size_t>(j)] =
            PolylineAt(x, y, begin, end, xm, e[j], p + static_cast<double>(j) / kBandBins);
    }
    // The area reaches only as far as the polyline: not beyond the run's
    // first or last sample.
    const int middle = e[kBandBins / 2];
    if (request.area && p >= clip.left && p < clip.right && middle > begin && middle < end) {
      const double centre = coarse ? y[middle] : at[kBandBins / 2];
      if (std::isfinite(centre)) out.areaColumns.push_back({p, ym(centre)});
    }
    for (int j = 0; j < kBandBins; ++j) {
      // Before the first or after the last sample there is no polyline.
      if (e[j] == e[j + 1] && (e[j] == begin || e[j] == end)) continue;
      // Values that are not finite are not in the summary: not drawn.
      TRtMinMax r = y.RangeMinMax(q[j], q[j + 1]);
      TRtMinMax ends{kInfinity, -kInfinity};
      for (double v : {at[static_cast<std::size_t>(j)], at[static_cast<std::size_t>(j + 1)]}) {
        if (!std::isfinite(v)) continue;
        ends.min = std::min(ends.min, v);
        ends.max = std::max(ends.max, v);
      }
      // A piece that turns back within the bin: its strokes overlap (see
      // StrokeBands).
      const auto k = static_cast<std::size_t>(p - first) * kBandBins + static_cast<std::size_t>(j);
      if (coarse) {
        // Many samples: the stroke's pieces overlap where they crowd, more
        // samples than the rows they span (noise, the bend at the top of a
        // rise), and not where a steep stretch spreads them out.
        const double rows = (r.max - r.min) * pixelsPerUnit;
        scratch.binTurns[k] = r.min <= r.max && rows > 0.5 && e[j + 1] - e[j] > rows;
      } else if (r.min <= r.max && ends.min <= ends.max) {
        // Back by half a pixel and by a twentieth of the way it goes (a
        // steep ramp with a little noise is one stroke).
        const double back = std::max(ends.min - r.min, r.max - ends.max);
        const double span = std::max(r.max, ends.max) - std::min(r.min, ends.min);
        scratch.binTurns[k] = back * pixelsPerUnit > 0.5 && back > 0.05 * span;
      }
      r.min = std::min(r.min, ends.min);
      r.max = std::max(r.max, ends.max);
      if (r.min > r.max) continue;
      const double a = ym(r.min), b = ym(r.max);
      scratch.binLow[k] = std::clamp(std::min(a, b), rowMin, rowMax);
      scratch.binHigh[k] = std::clamp(std::max(a, b), rowMin, rowMax);
    }
  }
  return anyBanded;
}

// The stroke: every point within `radius` of a bin's vertical piece,
// sampled at the bins' centres, as row spans with coverage per column.
// Where bins lie exactly `radius` away (pen widths of whole pixels), they
// count half: each sample takes the mean of the envelopes without and with
// them, so that a vertical piece covers exactly the pen's width.
void ShapeBuild::StrokeBands() {
  const TRtPixelRect& clip = request.clip;
  const std::vector<double>& low = scratch.binLow;
  const std::vector<double>& high = scratch.binHigh;
  const std::vector<std::uint8_t>& turns = scratch.binTurns;
  const double reachBins = radius * kBandBins;
  const int outer = static_cast<int>(std::floor(reachBins + 1e-9));
  const int inner = std::abs(reachBins - outer) < 1e-9 ? outer - 1 : outer;
  std::vector<double> lift(static_cast<std::size_t>(2 * outer + 1));
  for (int k = -outer; k <= outer; ++k) {
    const double d = static_cast<double>(k) / kBandBins;
    lift[static_cast<std::size_t>(k + outer)] = std::sqrt(std::max(0.0, radius * radius - d * d));
  }
  const auto totalBins = static_cast<int>(low.size());
  const bool cosmetic = !wide;
  // Per sample: top and bottom without (0) and with (1) the half bins;
  // for wider pens then the same for the turning bins alone.
  scratch.top.assign(cosmetic ? 2 * kBandBins : 4 * kBandBins, 0.0);
  scratch.bottom.assign(scratch.top.size(), 0.0);
  for (int p = std::max(clip.left, first); p < std::min(clip.right, last); ++p) {
    bool near = false;
    for (int q = std::max(first, p - reach); q <= std::min(last - 1, p + reach) && !near; ++q) near = Banded(q);
    if (!near) continue;
    // Where the polyline turns back and forth within a few pixels, its
    // strokes up and down overlap, and the rasteriser does not take their
    // union. A one-pixel pen blends every segment on its own: the coverage
    // c of one stroke builds up as 1 - (1 - c)^n, three strokes being
    // typical. A wider pen's outline is filled with overlaps counted: the
    // rows that turning bins reach count twice (a second interval per
    // sample).
    bool blended = false;
    if (cosmetic) {
      const int from = std::max(0, (p - first) * kBandBins - outer);
      const int to = std::min(totalBins, (p - first + 1) * kBandBins + outer);
      for (int i = from; i < to && !blended; ++i) blended = turns[static_cast<std::size_t>(i)] != 0;
    }
    double outerTop = kInfinity, outerBottom = -kInfinity, innerTop = -kInfinity, innerBottom = kInfinity;
    for (int j = 0; j < kBandBins; ++j) {
      const int s = (p - first) * kBandBins + j;
      // The rows that turning bins within the pen's reach cover.
      double turnTop = kInfinity, turnBottom = -kInfinity;
      for (int k = std::max(-outer, -s); !cosmetic && k <= std::min(outer, totalBins - 1 - s); ++k) {
        const auto i = static_cast<std::size_t>(s + k);
        if (!turns[i] || low[i] > high[i]) continue;
        const double h = lift[static_cast<std::size_t>(k + outer)];
        turnTop = std::min(turnTop, low[i] - h);
        turnBottom = std::max(turnBottom, high[i] + h);
      }
      double t = kInfinity, b = -kInfinity;
      auto take = [&](int k) {
        if (s + k < 0 || s + k >= totalBins) return;
        const auto i = static_cast<std::size_t>(s + k);
        if (low[i] > high[i]) return;
        double h = lift[static_cast<std::size_t>(k + outer)];
        if (cosmetic) {
          // A one-pixel pen draws a steep piece one pixel wide and a flat
          // piece one pixel high: no rounded ends.
          if (high[i] - low[i] > 1.0 / kBandBins)
            h = 0;
          else if (k == 0)
            h = 0.5;
          else
            return;
        }
        t = std::min(t, low[i] - h);
        b = std::max(b, high[i] + h);
      };
      auto keep = [&](std::size_t at) {
        scratch.top[at] = t;
        scratch.bottom[at] = b;
        if (cosmetic) return;
        scratch.top[at + 2 * kBandBins] = turnTop;
        scratch.bottom[at + 2 * kBandBins] = turnBottom;
      };
      for (int k = -inner; k <= inner; ++k) take(k);
      keep(static_cast<std::size_t>(2 * j));
      innerTop = std::max(innerTop, t);
      innerBottom = std::min(innerBottom, b);
      if (inner < outer) {
        take(-outer);
        take(outer);
      }
      keep(static_cast<std::size_t>(2 * j + 1));
      outerTop = std::min(outerTop, t);
      outerBottom = std::max(outerBottom, b);
    }
    if (outerTop > outerBottom) continue;
    TRtBandColumn c;
    c.column = p;
    c.top = RowWithin(std::floor(outerTop), clip.top, clip.bottom);
    c.bottom = RowWithin(std::ceil(outerBottom), clip.top, clip.bottom);
    if (c.top >= c.bottom) continue;
    c.fullTop = c.fullBottom = c.bottom;
    const int ft = RowWithin(std::ceil(innerTop), c.top, c.bottom);
    const int fb = RowWithin(std::floor(innerBottom), c.top, c.bottom);
    if (ft < fb) {
      c.fullTop = ft;
      c.fullBottom = fb;
    }
    c.coverage = out.coverage.size();
    AddCoverage(scratch, out, c.top, c.fullTop, 2 * kBandBins, blended);
    AddCoverage(scratch, out, c.fullBottom, c.bottom, 2 * kBandBins, blended);
    out.band.push_back(c);
  }
}

}  // namespace

void BuildSeriesShape(const TRtDoubleVector& x, const TRtDoubleVector& y, int first, int last,
                      const TRtShapeRequest& request, TRtColumnIndex& columns, TRtShapeScratch& scratch,
                      TRtSeriesShape& out) {
  const int begin = std::max(first, 0);
  const int end = std::min({last, x.Count(), y.Count()});
  if (end <= begin) return;
  const TRtPixelMap& xm = request.xm;
  if (!UsableMap(xm) || request.reduction == TRtPointReduction::Exact) {
    const std::size_t start = out.points.size();
    std::vector<TRtPoint> points;
    BuildSeriesPolyline(x, y, begin, end, xm, request.ym, TRtPointReduction::Exact, points);
    out.points.insert(out.points.end(), points.begin(), points.end());
    if (points.size() >= 2) out.pieces.push_back({start, out.points.size(), -kInfinity, kInfinity});
    return;
  }

  ShapeBuild build{x, y, begin, end, request, columns, scratch, out};
  // Columns a little beyond the data area (their samples reach into it with
  // the pen's width), as far as the run reaches.
  build.radius = std::max(request.penWidth, 1.0) / 2;
  build.reach = static_cast<int>(std::ceil(build.radius)) + 1;
  build.wide = request.penWidth > 1.0;
  const int margin = std::max(8, build.reach + 1);
  const TRtPixelRect& clip = request.clip;
  // The run's finite times: -Inf can only open a run and +Inf close it.
  const int a = LowerBoundFinite(x, begin, end), b = UpperBoundFinite(x, a, end);
  if (a >= b) return;
  const double runLeft = std::floor(std::max(xm(x[a]), clip.left - margin - 1.0));
  const double runRight = std::ceil(std::min(xm(x[b - 1]), clip.right + margin + 1.0));
  build.first = std::max(clip.left - margin, static_cast<int>(runLeft) - margin);
  build.last = std::min(clip.right + margin, static_cast<int>(runRight) + margin + 1);
  if (build.first >= build.last) return;
  columns.Prepare(x, a, b, xm, build.first, build.last);
  build.begin = a;
  build.end = b;

  build.ExactPieces();
  if (build.BinExtents()) build.StrokeBands();
}

void ClipPolylineX(const TRtPoint* points, std::size_t n, double x0, double x1, std::vector<TRtPoint>& out) {
  out.clear();
  auto cut = [](const TRtPoint& a, const TRtPoint& b, double at) {
    const double t = b.x == a.x ? 0.0 : (at - a.x) / (b.x - a.x);
    return TRtPoint{at, a.y + t * (b.y - a.y)};
  };
  for (std::size_t i = 0; i < n; ++i) {
    const TRtPoint& q = points[i];
    if (q.x < x0) {
      if (i + 1 < n && points[i + 1].x > x0) out.push_back(cut(q, points[i + 1], x0));
      continue;
    }
    if (q.x > x1) {
      if (i > 0 && points[i - 1].x < x1) out.push_back(cut(points[i - 1], q, x1));
      break;
    }
    out.push_back(q);
  }
}

}  // namespace karvo
