#pragma once
// Paints the series of a graph into its data area: on a 32-bit image the
// dense stretches are written straight into the pixels as bands (with the
// rows that higher layers cover left alone) and sparse ones stroked as exact
// polylines; on other devices everything goes through QPainter. Each
// non-decreasing run of a series' X vector is drawn on its own.

#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <utility>
#include <vector>

#include "chart/RtCustomGraph.h"
#include "chart/RtOcclusion.h"
#include "chart/RtSeriesBands.h"

namespace karvo {

class TRtSeriesPainter {
 public:
  // The shown series of `graph` in drawing order; the caller clips to
  // `dataArea`.
  void Paint(QPainter& p, const TRtCustomGraph& graph, const QRectF& dataArea, TRtPointReduction reduction);

 private:
  std::vector<TRtPoint> points_;
  std::vector<QPointF> qpoints_;
  std::vector<std::pair<int, int>> runs_;
  std::vector<TRtColumnIndex> columns_;  // one per run of the time vector
  TRtShapeScratch scratch_;
  // Per series: its shape and the rows of each column that the series
  // above it cover completely.
  std::vector<TRtSeriesShape> shapes_;
  std::vector<std::vector<TRtRowSpan>> hidden_;
};

}  // namespace karvo
