#include "chart/RtGraph2D.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "chart/RtAxis.h"
#include "chart/RtAxisPainter.h"
#include "chart/RtLegend.h"
#include "chart/RtLegendPainter.h"
#include "chart/RtQtPaint.h"
#include "common/AtomicFile.h"
#include "common/Text.h"

namespace karvo {

TRtGraph2D::TRtGraph2D(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  vScroll_ = new QScrollBar(Qt::Vertical, this);
  vScroll_->setEnabled(false);
  vScroll_->setVisible(false);
  SetRedrawHandler([this] {
    // One queued repaint is enough, however many appends ask for it.
    if (painting_ || repaintQueued_) return;
    repaintQueued_ = true;
    update();
  });
}

TRtGraph2D::~TRtGraph2D() { SetRedrawHandler({}); }

int TRtGraph2D::VerticalScrollBarWidth() const {
  return Zoom.VScrollbarVisible ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
}

QSize TRtGraph2D::ImageSize() const {
  const int h = Zoom.HScrollbarVisible ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
  return {std::max(1, width() - VerticalScrollBarWidth()), std::max(1, height() - h)};
}

QPointF TRtGraph2D::ContentOrigin() const { return {static_cast<double>(VerticalScrollBarWidth()), 0.0}; }

void TRtGraph2D::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int w = VerticalScrollBarWidth();
  vScroll_->setVisible(w > 0);
  vScroll_->setGeometry(0, 0, w, height());
}

void TRtGraph2D::paintEvent(QPaintEvent* /*event*/) {
  repaintQueued_ = false;
  const int w = VerticalScrollBarWidth();
  if (vScroll_->isVisible() != (w > 0)) {
    vScroll_->setVisible(w > 0);
    vScroll_->setGeometry(0, 0, w, height());
  }
  // Painted into an image first: series are written into its pixels
  // directly, which a painter on the widget does not allow.
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (buffer_.size() != pixels) buffer_ = QImage(pixels, QImage::Format_RGB32);
  buffer_.setDevicePixelRatio(ratio);
  {
    QPainter b(&buffer_);
    b.fillRect(rect(), Rgb(BackColor));
    b.translate(w, 0);
    PaintChart(b, ImageSize());
  }
  QPainter p(this);
  p.drawImage(0, 0, buffer_);
}

QImage TRtGraph2D::RenderImage(std::uint32_t background, bool opaque) {
  QImage image(ImageSize(), opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
  image.fill(opaque ? Rgb(background) : QColor(Qt::transparent));
  QPainter p(&image);
  PaintChart(p, image.size());
  p.end();
  return image;
}

void TRtGraph2D::SaveImage(const QString& fileName, TRtImageFileFormat format, std::uint32_t transparentExchangeColor,
                           bool removeTransparency) {
  QByteArray name;
  switch (format) {
    case TRtImageFileFormat::BMP:
      name = "bmp";
      break;
    case TRtImageFileFormat::JPEG:
      name = "jpeg";
      break;
    case TRtImageFileFormat::PNG:
      name = "png";
      break;
    case TRtImageFileFormat::GIF:
      name = "gif";
      break;
    case TRtImageFileFormat::TIFF:
      name = "tiff";
      break;
    case TRtImageFileFormat::Icon:  // Qt would write a thumbnail, not the chart
    case TRtImageFileFormat::EMF:
    case TRtImageFileFormat::EXIF:
      break;
  }
  if (name.isEmpty() || !QImageWriter::supportedImageFormats().contains(name))
    throw ERtImageError("Cannot write images of this format: " + fileName.toStdString());

  QImage image = RenderImage(transparentExchangeColor, removeTransparency);
  if (removeTransparency)
    image = image.convertToFormat(QImage::Format_RGB888);
  else
    image = image.convertToFormat(QImage::Format_ARGB32);

  // Encoded in memory, then written whole or not at all: a failure leaves
  // the file that was there untouched.
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, name);
  if (!writer.write(image))
    throw ERtImageError("Cannot write file \"" + fileName.toStdString() + "\". " + writer.errorString().toStdString());
  try {
    WriteFileAtomically(PathFromWide(fileName.toStdWString()),
                        std::string_view(encoded.constData(), static_cast<std::size_t>(encoded.size())));
  } catch (const EFileWriteError& e) {
    throw ERtImageError(e.what());
  }
}

void TRtGraph2D::Layout(const QSize& size) {
  // Axes by side; the time axis's labels need room at both ends too.
  double left = 8, right = 8, top = 12, bottom = 8;
  for (TRtAxis* axis : Axes()) {
    // A new measure makes the axis work its range out anew: only when its
    // font is new.
    const TRtFont& f = axis->NumbersFont;
    const auto known = measuredFonts_.find(axis);
    if (known == measuredFonts_.end() || known->second.Family != f.Family || known->second.PointSize != f.PointSize ||
        known->second.Bold != f.Bold) {
      measuredFonts_[axis] = f;
      axis->SetTextMeasure([font = ToQFont(f)](const std::string& text) {
        return QFontMetricsF(font).horizontalAdvance(ToQString(text));
      });
    }
    if (!axis->Visible()) continue;
    const QFontMetricsF fm(ToQFont(axis->NumbersFont));
    switch (axis->Position()) {
      case TRtAxisPosition::Bottom:
        bottom += AxisThickness(*axis, fm.height());
        break;
      case TRtAxisPosition::Top:
        top += AxisThickness(*axis, fm.height());
        break;
      case TRtAxisPosition::Left:
        left += AxisThickness(*axis, WidestLabel(*axis));
        break;
      case TRtAxisPosition::Right:
        right += AxisThickness(*axis, WidestLabel(*axis));
        break;
    }
    if (axis->IsHorizontal() && axis->NumbersVisible) {
      left = std::max(left, 40.0);
      right = std::max(right, 40.0);
    }
  }
  // On whole pixels: the series are clipped to it pixel for pixel.
  left = std::round(left);
  top = std::round(top);
  dataArea_ = QRectF(left, top, std::max(10.0, std::round(size.width() - right) - left),
                     std::max(10.0, std::round(size.height() - bottom) - top));
  for (TRtAxis* axis : Axes()) axis->SetLengthPixels(axis->IsHorizontal() ? dataArea_.width() : dataArea_.height());
}

void TRtGraph2D::PaintChart(QPainter& p, const QSize& size) {
  painting_ = true;
  height_ = size.height();
  // Two passes: the vertical axes' label widths depend on their ranges,
  // and the ranges on the axes' lengths.
  Layout(size);
  Recalculate();
  Layout(size);
  Recalculate();

  p.setRenderHint(QPainter::Antialiasing, SmoothingMode == TRtSmoothingMode::HighQuality);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), Rgb(BackColor));
  p.fillRect(dataArea_, Rgb(DataAreaColor));

  // Grids at the major ticks of the primary axes.
  p.setPen(QPen(QColor(0xD0, 0xD0, 0xD0), 1));
  if (XGridVisible && PrimaryXAxis) {
    const TRtAxis& a = *PrimaryXAxis;
    const TRtPixelMap m{a.Start(), a.Stop(), dataArea_.left(), dataArea_.right()};
    for (const TRtTick& t : a.Ticks())
      if (t.major) p.drawLine(QPointF(m(t.value), dataArea_.top()), QPointF(m(t.value), dataArea_.bottom()));
  }
  if (YGridVisible && PrimaryYAxis) {
    const TRtAxis& a = *PrimaryYAxis;
    const TRtPixelMap m{a.Start(), a.Stop(), dataArea_.bottom(), dataArea_.top()};
    for (const TRtTick& t : a.Ticks())
      if (t.major) p.drawLine(QPointF(dataArea_.left(), m(t.value)), QPointF(dataArea_.right(), m(t.value)));
  }

  p.save();
  p.setClipRect(dataArea_);
  seriesPainter_.Paint(p, *this, dataArea_, reduction_);
  p.restore();

  if (DataAreaFrameVisible) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(dataArea_);
  }
  for (TRtAxis* axis : Axes())
    if (axis->Visible()) PaintAxis(p, *axis, dataArea_, height_, SmoothingMode == TRtSmoothingMode::HighQuality);
  for (TRtLegend* legend : Legends())
    if (legend->Visible()) PaintLegend(p, *legend, size, font());
  painting_ = false;
}

void TRtGraph2D::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPointF pos = event->position() - ContentOrigin();
    for (TRtLegend* legend : Legends()) {
      const QRectF box(legend->Left, legend->Top, legend->Width, legend->Height);
      if (legend->Visible() && legend->Position == TRtLegendPosition::FreeFloating && box.contains(pos)) {
        dragged_ = legend;
        dragFrom_ = pos;
        event->accept();
        return;
      }
    }
  }
  QWidget::mousePressEvent(event);
}

void TRtGraph2D::mouseMoveEvent(QMouseEvent* event) {
  if (dragged_ && (event->buttons() & Qt::LeftButton)) {
    const QPointF pos = event->position() - ContentOrigin();
    dragged_->MoveBy(pos.x() - dragFrom_.x(), pos.y() - dragFrom_.y());
    dragFrom_ = pos;
    event->accept();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void TRtGraph2D::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragged_ = nullptr;
  QWidget::mouseReleaseEvent(event);
}

}  // namespace karvo
