// The shape a series is painted from: exact polylines where samples are
// sparse, anti-aliased bands of pixel rows where they are dense.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "chart/RtOcclusion.h"
#include "chart/RtSeriesBands.h"

namespace karvo {
namespace {

constexpr int kWidth = 200, kHeight = 100;

// Samples 0, 1, 2 ... against a value axis of 0 .. 100 on 100 rows (row =
// 100 - value), the time axis stretched so that `perColumn` samples fall
// into each of the kWidth columns.
struct Chart {
  TRtDoubleVector x, y;
  TRtPixelMap xm, ym{0.0, 100.0, kHeight, 0.0};
  TRtColumnIndex columns;
  TRtShapeScratch scratch;
  TRtSeriesShape shape;
  explicit Chart(double perColumn) : xm{0.0, perColumn * kWidth, 0.0, kWidth} {}
  void Add(double value) {
    x.Add(x.Count());
    y.Add(value);
  }
  const TRtSeriesShape& Build(double penWidth, TRtPointReduction reduction = TRtPointReduction::Auto) {
    TRtShapeRequest request;
    request.xm = xm;
    request.ym = ym;
    request.clip = {0, 0, kWidth, kHeight};
    request.penWidth = penWidth;
    request.area = true;
    request.reduction = reduction;
    shape.Clear();
    std::vector<std::pair<int, int>> runs;
    x.Runs(x.Count(), runs);
    for (const auto& [first, last] : runs) BuildSeriesShape(x, y, first, last, request, columns, scratch, shape);
    return shape;
  }
  // Coverage 0 .. 255 of one pixel by the bands (the strongest where runs
  // overlap).
  int Cover(int column, int row) const {
    int cover = 0;
    for (const TRtBandColumn& c : shape.band) {
      if (c.column != column || row < c.top || row >= c.bottom) continue;
      if (row >= c.fullTop && row < c.fullBottom) return 255;
      const std::size_t at = row < c.fullTop ? static_cast<std::size_t>(row - c.top)
                                             : static_cast<std::size_t>(c.fullTop - c.top + row - c.fullBottom);
      cover = std::max(cover, static_cast<int>(shape.coverage[c.coverage + at]));
    }
    return cover;
  }
};

TEST(SeriesShape, FlatLineIsAntiAliasedLikeTheStroke) {
  // A flat line at row 50.3: a 1 px pen covers 49.8 .. 50.8, a 3 px pen
  // (round ends) 48.8 .. 51.8. Dense, and for the wide pen also with a
  // sample every ten columns (a wide pen is drawn as bands throughout).
  struct Case {
    double pen;
    double perColumn;
    int top;
    std::vector<int> cover;  // rows top, top + 1 ...
  } cases[] = {
      {1.0, 20, 49, {51, 204, 0}},
      {3.0, 20, 48, {51, 255, 255, 204, 0}},
      {3.0, 0.1, 48, {51, 255, 255, 204, 0}},
  };
  for (const Case& c : cases) {
    Chart chart(c.perColumn);
    const int n = static_cast<int>(std::ceil(c.perColumn * (kWidth - 1.5))) + 1;  // into the last columns
    for (int i = 0; i < n; ++i) chart.Add(100 - 50.3);
    const TRtSeriesShape& shape = chart.Build(c.pen);
    for (const TRtPolylinePiece& p : shape.pieces)
      ADD_FAILURE() << "piece of " << p.last - p.first << " points from x " << shape.points[p.first].x;
    for (int column = 2; column < kWidth - 2; ++column) {
      for (std::size_t k = 0; k < c.cover.size(); ++k) {
        const int row = c.top + static_cast<int>(k);
        ASSERT_NEAR(chart.Cover(column, row), c.cover[k], 1)
            << "pen " << c.pen << ", " << c.perColumn << " a column, column " << column << " row " << row;
      }
      ASSERT_EQ(chart.Cover(column, c.top - 1), 0);
    }
  }
}

TEST(SeriesShape, ASingleSampleSpikeShowsInItsColumn) {
  // Dense flat data at row 60 with one sample up to row 10 (or down to row
  // 95), at several densities: up to 400 samples a column, where the bins'
  // extremes come from whole summary entries.
  for (double perColumn : {3.0, 40.0, 400.0}) {
    for (double pen : {1.0, 3.0}) {
      for (double spike : {90.0, 5.0}) {
        Chart chart(perColumn);
        const int n = static_cast<int>(perColumn * kWidth);
        const int at = n / 2 + 7;
        for (int i = 0; i < n; ++i) chart.Add(i == at ? spike : 40.0);
        chart.Build(pen);
        const int column = static_cast<int>(std::floor(chart.xm(at)));
        const int row = spike > 50 ? 12 : 93;  // between the line and the tip
        int strongest = 0;
        for (int c = column - 1; c <= column + 1; ++c) strongest = std::max(strongest, chart.Cover(c, row));
        EXPECT_GE(strongest, 128) << perColumn << " per column, pen " << pen << ", spike " << spike;
        for (int c : {column - 3, column + 3}) EXPECT_EQ(chart.Cover(c, row), 0) << c;
      }
    }
  }
}

TEST(SeriesShape, SparseRunsStayExactPolylinesJoinedToTheBands) {
  // Dense (10 a column) up to column 60, then one sample every 4 columns up
  // to column 140, then dense again.
  Chart chart(10);
  std::vector<double> times;
  for (double t = 0; t < 600; t += 1) times.push_back(t);
  for (double t = 600; t < 1400; t += 40) times.push_back(t);
  for (double t = 1400; t < 2000; t += 1) times.push_back(t);
  for (std::size_t i = 0; i < times.size(); ++i) {
    chart.x.Add(times[i]);
    chart.y.Add(50 + 20 * std::sin(static_cast<double>(i)));
  }
  const TRtSeriesShape& shape = chart.Build(1.0);
  ASSERT_EQ(shape.pieces.size(), 1u);
  const TRtPolylinePiece& piece = shape.pieces[0];
  // Every sample of columns 60 .. 139 exactly, with the last sample of
  // column 59 and the first of column 140.
  const auto first = static_cast<int>(std::lower_bound(times.begin(), times.end(), 600.0) - times.begin()) - 1;
  ASSERT_EQ(piece.last - piece.first, 20u + 2u);
  for (std::size_t k = 0; k < piece.last - piece.first; ++k) {
    const TRtPoint& p = shape.points[piece.first + k];
    EXPECT_EQ(p.x, chart.xm(chart.x[first + static_cast<int>(k)]));
    EXPECT_EQ(p.y, chart.ym(chart.y[first + static_cast<int>(k)]));
  }
  // Its area stops where the dense columns fill their own pixels.
  EXPECT_EQ(piece.areaLeft, 60.0);
  EXPECT_EQ(piece.areaRight, 140.0);
  for (const TRtAreaColumn& c : shape.areaColumns) EXPECT_TRUE(c.column < 60 || c.column >= 140) << c.column;
  // Bands only in and beside the dense columns.
  for (const TRtBandColumn& c : shape.band) EXPECT_TRUE(c.column < 62 || c.column >= 138) << c.column;
}

TEST(SeriesShape, ShortStretchesGoWithTheirNeighbours) {
  // Two or three samples a column by turns: one exact polyline, not a
  // piece between every pair of dense columns.
  Chart alternating(2.5);
  for (int i = 0; i < 500; ++i) alternating.Add(50 + (i % 7));
  const TRtSeriesShape& exact = alternating.Build(1.0);
  EXPECT_EQ(exact.pieces.size(), 1u);
  EXPECT_TRUE(exact.band.empty());
  // Dense columns with three empty columns between them: bands throughout,
  // the gap's segment included.
  Chart gap(10);
  for (int i = 0; i < 2000; ++i) {
    if (i >= 1000 && i < 1030) continue;
    gap.x.Add(i);
    gap.y.Add(i < 1000 ? 20 : 80);
  }
  const TRtSeriesShape& bands = gap.Build(1.0);
  EXPECT_TRUE(bands.pieces.empty());
  for (int column : {100, 101, 102}) {
    EXPECT_TRUE(gap.columns.Banded(column)) << column;
    // The segment from the last sample before the gap (x 99.9, row 80) to
    // the first after it (x 103, row 20), at the column's centre.
    const double row = 80 - 60 * (column + 0.5 - 99.9) / 3.1;
    EXPECT_GE(gap.Cover(column, static_cast<int>(row)), 128) << column;
  }
}

TEST(SeriesShape, TheExactDrawingKeepsEveryPoint) {
  Chart chart(10);
  for (int i = 0; i < 10 * kWidth; ++i) chart.Add(i % 13);
  const TRtSeriesShape& exact = chart.Build(1.0, TRtPointReduction::Exact);
  ASSERT_EQ(exact.pieces.size(), 1u);
  EXPECT_EQ(exact.points.size(), static_cast<std::size_t>(10 * kWidth));
  EXPECT_TRUE(exact.band.empty());
}

TEST(SeriesShape, TimeGoingBackStartsARunOfItsOwn) {
  // Flat at 20.5 (row 79) over the whole width, then the clock goes back to
  // column 50 and the series runs flat at 80.5 (row 19) to column 100: two
  // bands, and nothing joins the end of the first (column 199) to the start
  // of the second.
  for (double pen : {1.0, 3.0}) {
    Chart chart(10);
    for (int i = 0; i < 10 * kWidth; ++i) chart.Add(20.5);
    for (int i = 500; i < 1000; ++i) {
      chart.x.Add(i);
      chart.y.Add(80.5);
    }
    const TRtSeriesShape& shape = chart.Build(pen);
    EXPECT_TRUE(shape.pieces.empty());
    for (int column = 0; column < kWidth; ++column) {
      const bool second = column >= 50 && column < 100;
      const bool nearEnd = std::abs(column - 50) <= 2 || std::abs(column - 100) <= 2;  // a wide pen's round ends
      if (!nearEnd) {
        EXPECT_EQ(chart.Cover(column, 19) > 128, second) << "pen " << pen << ", column " << column;
      }
      EXPECT_GT(chart.Cover(column, 79), 128) << "pen " << pen << ", column " << column;
      for (int row = 25; row <= 75; ++row) ASSERT_EQ(chart.Cover(column, row), 0) << column << ", " << row;
    }
    // The area of each run reaches only as far as its samples.
    int second = 0;
    for (const TRtAreaColumn& c : shape.areaColumns) second += c.y == chart.ym(80.5) ? 1 : 0;
    EXPECT_NEAR(second, 50, 1);
  }
}

TEST(SeriesShape, DenseAreaFollowsThePolylineAtColumnCentres) {
  // An aliased fill decides a pixel by its centre: the polyline's height
  // there, interpolated between the samples on either side.
  Chart chart(7.3);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> value(10, 90);
  for (int i = 0; i < 1460; ++i) {  // unevenly spaced times
    chart.x.Add(i + 0.3 * (i % 3));
    chart.y.Add(value(rng));
  }
  const TRtSeriesShape& shape = chart.Build(1.0);
  ASSERT_GT(shape.areaColumns.size(), 190u);
  for (const TRtAreaColumn& c : shape.areaColumns) {
    const double centre = c.column + 0.5;
    int i = 1;
    while (chart.xm(chart.x[i]) < centre) ++i;
    const double x0 = chart.xm(chart.x[i - 1]), x1 = chart.xm(chart.x[i]);
    const double expected = chart.y[i - 1] + (centre - x0) / (x1 - x0) * (chart.y[i] - chart.y[i - 1]);
    EXPECT_NEAR(c.y, chart.ym(expected), 1e-9) << c.column;
  }
}

TEST(SeriesShape, ColumnBinsCoverEverySample) {
  // Bins of very dense columns read their extremes from whole summary
  // entries; their edges move, but consecutive bins still take in every
  // sample of the dense columns.
  for (double perColumn : {3.0, 300.0, 9000.0}) {
    Chart chart(perColumn);
    const int n = static_cast<int>(perColumn * kWidth);
    for (int i = 0; i < n; ++i) chart.Add(0);
    chart.columns.Prepare(chart.x, 0, n, chart.xm, -5, kWidth + 5);
    std::vector<char> seen(static_cast<std::size_t>(n), 0);
    for (int p = -5; p < kWidth + 5; ++p) {
      const int expected = static_cast<int>(std::ceil(chart.xm.Inverse(p)));
      ASSERT_EQ(chart.columns.Edge(p), std::clamp(expected, 0, n)) << p;
      if (!chart.columns.Banded(p)) continue;
      const int* q = chart.columns.QueryEdges(p);
      for (int j = 0; j < kBandBins; ++j)
        for (int i = q[j]; i < q[j + 1]; ++i) seen[static_cast<std::size_t>(i)] = 1;
    }
    for (int i = 0; i < n; ++i) ASSERT_TRUE(seen[static_cast<std::size_t>(i)]) << perColumn << ": sample " << i;
  }
}

TEST(Occlusion, ASeriesBetweenTwoBandsOfOthersStaysVisible) {
  // Column 10: the layers above cover rows 10 .. 20 and 40 .. 50; the rows
  // between them are not covered, whatever comes later.
  TRtSeriesShape upper;
  upper.band.push_back({10, 8, 10, 20, 22, 0});
  upper.band.push_back({10, 38, 40, 50, 52, 0});
  upper.band.push_back({11, 8, 10, 20, 22, 0});
  upper.band.push_back({11, 19, 20, 30, 31, 0});  // touching: joined
  std::vector<TRtRowSpan> covered(4);
  CoverRows(upper, 9, covered);
  const TRtRowSpan column10 = covered[1], column11 = covered[2];
  for (int row = 21; row < 40; ++row) EXPECT_FALSE(row >= column10.top && row < column10.bottom) << row;
  EXPECT_EQ(column10.bottom - column10.top, 10);
  EXPECT_EQ(column11.top, 10);
  EXPECT_EQ(column11.bottom, 30);
  EXPECT_TRUE(covered[0].Empty());
}

}  // namespace
}  // namespace karvo
