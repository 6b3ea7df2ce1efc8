#pragma once
// Paints the series of a graph into its data area: on a 32-bit image the
// dense stretches are written straight into the pixels as bands (with the
// rows that higher layers cover left alone) and sparse ones stroked as exact
// polylines; on other devices everything goes through QPainter. Each
// non-decreasing run of a series' X vector is drawn on its own.

#include <QImage>
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
  // One Paint: where it draws (the image whose pixels it writes directly,
  // or none: everything through the painter) and in which pixels.
  struct TFrame {
    QImage* image = nullptr;
    double scale = 1.0;
    QRectF area;
    TRtPixelRect clip;
    TRtPointReduction reduction{};
    // The series is written into the image rather than drawn by the painter.
    bool InImage(const TRtSeries& s) const;
  };
  // The shapes of the series written into the image, top layer first: each
  // learns which rows of each column the layers above it cover completely
  // with an opaque colour, and leaves them alone.
  void BuildImageShapes(const std::vector<TRtSeries*>& series, const TFrame& f);
  // Drawn by the painter: function curves (a few points), and every series
  // on devices whose pixels cannot be written directly.
  void PaintWithPainter(QPainter& p, const TRtSeries& s, const TFrame& f);
  // Written into the image: exact polylines where samples are sparse, bands
  // of pixels where they are dense. `i` is the series' place in the graph.
  void PaintIntoImage(QPainter& p, std::size_t i, const TRtSeries& s, const TFrame& f);

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
