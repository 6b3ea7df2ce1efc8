#pragma once
// The chart as a Qt widget: paints the graph model (data area, series,
// axes, legend) anti-aliased, lets the operator drag a free-floating legend
// with the left mouse button, and saves the chart as an image file.

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstdint>
#include <map>
#include <stdexcept>

#include "chart/RtAxis.h"
#include "chart/RtCustomGraph.h"
#include "chart/RtQtRegional.h"
#include "chart/RtSeriesBands.h"
#include "chart/RtSeriesPainter.h"

class QScrollBar;

namespace karvo {

enum class TRtImageFileFormat { EMF, BMP, JPEG, PNG, GIF, TIFF, EXIF, Icon };

// SaveImage could not create or write the file, or cannot write the format.
class ERtImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TRtGraph2D : public QWidget, public TRtCustomGraph {
 public:
  explicit TRtGraph2D(QWidget* parent = nullptr);
  ~TRtGraph2D() override;

  // Writes the chart as shown, without the vertical scroll bar strip, to
  // `fileName`. With removeTransparency the picture has 24-bit pixels on
  // `transparentExchangeColor` (RGB); otherwise 32-bit ARGB on transparent.
  // BMP, PNG, JPEG, GIF and TIFF are written when Qt has a writer for them;
  // EMF, EXIF and Icon (Qt would write a thumbnail) raise ERtImageError
  // without touching the file. The file is written whole or not at all
  // (common/AtomicFile.h): one that cannot be created or written raises
  // ERtImageError with the system's reason and stays as it was.
  void SaveImage(const QString& fileName, TRtImageFileFormat format, std::uint32_t transparentExchangeColor,
                 bool removeTransparency);

  // The picture SaveImage writes (32-bit; opaque on `background` or
  // transparent).
  QImage RenderImage(std::uint32_t background, bool opaque);
  QSize ImageSize() const;

  // Paints the whole chart into a rectangle of `size` at the painter's
  // origin.
  void PaintChart(QPainter& painter, const QSize& size);

  int VerticalScrollBarWidth() const;
  QRectF DataArea() const { return dataArea_; }

  // How series are reduced to pixel columns (Auto; Exact for comparisons).
  void SetPointReduction(TRtPointReduction reduction) { reduction_ = reduction; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Layout(const QSize& size);
  QPointF ContentOrigin() const;

  QScrollBar* vScroll_ = nullptr;
  QImage buffer_;  // what paintEvent shows
  QRectF dataArea_;
  double height_ = 0;
  TRtPointReduction reduction_ = TRtPointReduction::Auto;
  bool painting_ = false;
  bool repaintQueued_ = false;
  TRtLegend* dragged_ = nullptr;
  QPointF dragFrom_;
  TRtSeriesPainter seriesPainter_;
  // The numbers font each axis measures its labels with.
  std::map<const TRtAxis*, TRtFont> measuredFonts_;
};

}  // namespace karvo
