#pragma once
// What the painter draws a series from, in pixel coordinates, one
// non-decreasing run of the X vector at a time (a run ends where the clock
// went back; runs are drawn apart, so no stroke goes back across the chart
// and no area fills between them):
//
// - BuildSeriesPolyline: the run reduced to a few points per pixel column,
//   for point symbols and for painters that cannot take pixels directly.
//   Where more than two samples fall into one pixel column, the column is
//   drawn from four points: its first sample, its minimum and maximum in
//   the order they occur, both placed on the column's centre line, and its
//   last sample. Columns with at most two samples keep their exact points.
// - BuildSeriesShape: the exact polylines and anti-aliased bands the chart
//   is painted from (below).

#include <cstdint>
#include <vector>

#include "chart/RtVectors.h"

namespace karvo {

struct TRtPoint {
  double x;
  double y;
};

// A linear map from axis values to pixels.
struct TRtPixelMap {
  double dataStart = 0.0, dataStop = 1.0;
  double pixelStart = 0.0, pixelStop = 1.0;
  double operator()(double v) const {
    return pixelStart + (v - dataStart) * ((pixelStop - pixelStart) / (dataStop - dataStart));
  }
  double Inverse(double p) const {
    return dataStart + (p - pixelStart) * ((dataStop - dataStart) / (pixelStop - pixelStart));
  }
};

enum class TRtPointReduction { Auto, Exact };

// The polyline of points first .. last - 1 of (x, y), x non-decreasing
// there (one run). `xm` maps to pixel columns (pixelStart < pixelStop), `ym`
// to rows. Points with a value that is not finite are left out.
void BuildSeriesPolyline(const TRtDoubleVector& x, const TRtDoubleVector& y, int first, int last, const TRtPixelMap& xm,
                         const TRtPixelMap& ym, TRtPointReduction reduction, std::vector<TRtPoint>& out);

// ---------------------------------------------------------------------------
// The shape the painter draws for one run of a series.
//
// Within the run (X non-decreasing) the chart is cut into pixel columns.
// A column that holds more than two samples is dense: its polyline runs up
// and down many times within the column, and once stroked it is a vertical
// band. Such columns (and short stretches of sparse columns between them,
// see TRtColumnIndex::Banded) are split into kBandBins bins; each bin keeps
// the smallest and largest y its piece of the polyline reaches (its samples,
// taken from the vector's level-of-detail pyramid, and the polyline at the
// bin's edges). The stroke is then the set of points within half the pen
// width of those vertical pieces, and each pixel's coverage is the share of
// the pixel it covers, averaged over the bins' centres. Where the polyline
// turns back and forth, the exact stroke's overlapping strokes darken the
// edges (a one-pixel pen blends each segment on its own, a wider pen's
// outline is filled with its overlaps counted); the coverage there follows
// suit. So a repaint costs O(columns) bin queries, whatever the number of
// samples, a single-sample spike still shows, and the edges are
// anti-aliased like the exact stroke's.
//
// With a one-pixel pen, longer stretches of columns with at most two
// samples stay exact polylines (with the samples that join them to their
// neighbours); a wider pen is banded throughout. Only the columns the run
// reaches are worked on, so a run costs O(its columns).

// Bins per banded pixel column (even: one bin edge lies on the column's
// centre, where the area fill samples the polyline).
inline constexpr int kBandBins = 4;

// A pixel rectangle: columns [left, right), rows [top, bottom).
struct TRtPixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Which samples of one run fall into which pixel column, under one mapping;
// shared by all series drawn against the same time vector.
class TRtColumnIndex {
 public:
  // Recomputes only when the vector, the run, the mapping or the columns
  // differ from the last call. Requires x non-decreasing over the run.
  void Prepare(const TRtDoubleVector& x, int first, int last, const TRtPixelMap& xm, int firstColumn, int lastColumn);
  // Forgets the last vector (its values may change before the next call).
  void Forget() { x_ = nullptr; }
  // First sample at or right of the column's left edge (p in first..last).
  int Edge(int p) const { return edges_[static_cast<std::size_t>(p - first_)]; }
  // Drawn as a band: the column holds more than two samples, or lies in a
  // short stretch of columns with fewer between such columns. (A short
  // stretch of columns with a few samples more than two among sparse ones
  // stays with the exact polyline: many small pieces would cost more.)
  bool Banded(int p) const { return banded_[static_cast<std::size_t>(p - first_)] != 0; }
  // Bin edges of a banded column: kBandBins + 1 sample indices.
  const int* BinEdges(int p) const { return &binEdges_[static_cast<std::size_t>(p - first_) * (kBandBins + 1)]; }
  // The same, moved to whole summary entries where bins are very large
  // (for reading their extremes).
  const int* QueryEdges(int p) const { return &queryEdges_[static_cast<std::size_t>(p - first_) * (kBandBins + 1)]; }

 private:
  const TRtDoubleVector* x_ = nullptr;
  int begin_ = -1, end_ = -1;
  TRtPixelMap xm_;
  int first_ = 0, last_ = 0;
  std::vector<int> edges_;
  std::vector<char> banded_;
  std::vector<int> binEdges_;
  std::vector<int> queryEdges_;
};

// A stretch of the exact polyline: points [first, last) of the shape. The
// area under it is filled between x = areaLeft and x = areaRight (the
// dense columns beside it fill their own pixels).
struct TRtPolylinePiece {
  std::size_t first = 0, last = 0;
  double areaLeft = 0.0, areaRight = 0.0;
};

// One pixel column of the dense bands: rows [top, bottom) are touched,
// rows [fullTop, fullBottom) fully covered; the coverage (0 .. 255) of the
// other rows, top to bottom, starts at `coverage` in TRtSeriesShape.
struct TRtBandColumn {
  int column = 0;
  int top = 0, fullTop = 0, fullBottom = 0, bottom = 0;
  std::size_t coverage = 0;
};

// A dense column's polyline at the column's centre, where an aliased area
// fill decides the column's pixels.
struct TRtAreaColumn {
  int column = 0;
  double y = 0.0;
};

// What a series is painted from: the shapes of its runs, one after the
// other.
struct TRtSeriesShape {
  std::vector<TRtPoint> points;
  std::vector<TRtPolylinePiece> pieces;
  std::vector<TRtBandColumn> band;
  std::vector<std::uint8_t> coverage;
  std::vector<TRtAreaColumn> areaColumns;
  void Clear();
};

// Working storage of BuildSeriesShape, kept between calls so that a repaint
// allocates nothing.
struct TRtShapeScratch {
  std::vector<double> binLow, binHigh;   // reach of each bin's piece, rows
  std::vector<std::uint8_t> binTurns;    // the piece turns back in its bin
  std::vector<double> top, bottom;       // stroke intervals of one column
  std::vector<double> rowPart, rowStep;  // running coverage counts
};

struct TRtShapeRequest {
  TRtPixelMap xm, ym;
  TRtPixelRect clip;    // the data area in device pixels
  double penWidth = 1;  // in device pixels; thinner pens count as 1
  bool area = false;    // fill samples wanted
  TRtPointReduction reduction = TRtPointReduction::Auto;
};

// Appends the shape of points first .. last - 1 of (x, y) (one run) to
// `out`. `columns` is prepared for the run here (and reused by the next
// series with the same x, run and mapping).
void BuildSeriesShape(const TRtDoubleVector& x, const TRtDoubleVector& y, int first, int last,
                      const TRtShapeRequest& request, TRtColumnIndex& columns, TRtShapeScratch& scratch,
                      TRtSeriesShape& out);

// The part of a polyline (x non-decreasing) between x0 and x1, with
// interpolated ends.
void ClipPolylineX(const TRtPoint* points, std::size_t n, double x0, double x1, std::vector<TRtPoint>& out);

}  // namespace karvo
