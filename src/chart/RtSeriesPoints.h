#pragma once
// The points a drawn series hands to the painter, in pixel coordinates.
//
// Where the X vector is non-decreasing and more than two samples fall into
// one pixel column, the column is drawn from four samples: its first, its
// minimum and maximum in the order they occur (found through the vector's
// level-of-detail pyramid) and its last, each at its own position. Joined in
// order they cover the same pixels as the exact polyline but for
// anti-aliased edges, so a repaint costs O(columns x log samples) instead of
// O(samples), and a single-sample spike still shows. Columns with at most
// two samples, and every series whose X is not non-decreasing, are drawn
// from the exact points in index order.

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

// The polyline of the first `count` points of (x, y). `xm` maps to pixel
// columns (pixelStart < pixelStop), `ym` to rows. Points with a value that
// is not finite are left out.
void BuildSeriesPolyline(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, const TRtPixelMap& xm,
                         const TRtPixelMap& ym, TRtPointReduction reduction, std::vector<TRtPoint>& out);

}  // namespace karvo
