#include "chart/RtGraph2D.h"

#include <QFile>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "chart/RtAxis.h"
#include "chart/RtLegend.h"
#include "chart/RtLinearRegression.h"

namespace karvo {

namespace {

constexpr std::size_t kChunk = 1024;

QColor Argb(TRtColor c) { return QColor::fromRgba(c); }
QColor Rgb(std::uint32_t c) { return QColor::fromRgb(c & 0xFFFFFFu); }

QFont ToQFont(const TRtFont& f) {
  QFont font(QString::fromStdString(f.Family));
  font.setPointSizeF(f.PointSize);
  font.setBold(f.Bold);
  return font;
}

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

Qt::PenStyle PenStyle(TRtDashStyle s) {
  switch (s) {
    case TRtDashStyle::DashStyleDash:
      return Qt::DashLine;
    case TRtDashStyle::DashStyleDot:
      return Qt::DotLine;
    case TRtDashStyle::DashStyleDashDot:
      return Qt::DashDotLine;
    case TRtDashStyle::DashStyleDashDotDot:
      return Qt::DashDotDotLine;
    default:
      return Qt::SolidLine;
  }
}

Qt::BrushStyle BrushStyle(TRtAreaStyle s) {
  switch (s) {
    case TRtAreaStyle::Horizontal:
      return Qt::HorPattern;
    case TRtAreaStyle::Vertical:
      return Qt::VerPattern;
    case TRtAreaStyle::Cross:
      return Qt::CrossPattern;
    case TRtAreaStyle::DiagCross:
      return Qt::DiagCrossPattern;
    case TRtAreaStyle::BDiagonal:
      return Qt::BDiagPattern;
    case TRtAreaStyle::FDiagonal:
      return Qt::FDiagPattern;
    default:
      return Qt::SolidPattern;
  }
}

// Round joins and ends: a wide stroke through many points is then the
// set of points within half its width of the polyline, which is what the
// bands of dense columns draw. Dashes keep flat ends (dots stay dots).
QPen SeriesPen(const TRtLine& line) {
  const Qt::PenStyle style = PenStyle(line.DashStyle);
  return QPen(Argb(line.Color), line.Width, style, style == Qt::SolidLine ? Qt::RoundCap : Qt::FlatCap, Qt::RoundJoin);
}

// Space an axis takes beside the data area: ticks, numbers and caption.
double AxisThickness(const TRtAxis& axis, double numbersExtent) {
  if (!axis.Visible()) return 0.0;
  const QFontMetricsF caption(ToQFont(axis.CaptionFont));
  double t = axis.MajorTickLength + 3.0;
  if (axis.NumbersVisible) t += numbersExtent + 4.0;
  if (!axis.Caption.empty()) t += caption.height() + 2.0;
  return t;
}

double WidestLabel(const TRtAxis& axis) {
  const QFontMetricsF fm(ToQFont(axis.NumbersFont));
  double w = 0;
  for (const TRtTick& t : axis.Ticks())
    if (t.labelled) w = std::max(w, fm.horizontalAdvance(Q(t.label)));
  return std::max(w, fm.horizontalAdvance(QStringLiteral("000")));
}

}  // namespace

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
    case TRtImageFileFormat::Icon:
      name = "ico";
      break;
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

  QFile file(fileName);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw ERtImageError("Cannot create file \"" + fileName.toStdString() + "\". " + file.errorString().toStdString());
  QImageWriter writer(&file, name);
  if (!writer.write(image))
    throw ERtImageError("Cannot write file \"" + fileName.toStdString() + "\". " + writer.errorString().toStdString());
  if (!file.flush())
    throw ERtImageError("Cannot write file \"" + fileName.toStdString() + "\". " + file.errorString().toStdString());
}

void TRtGraph2D::Layout(const QSize& size) {
  // Axes by side; the time axis's labels need room at both ends too.
  double left = 8, right = 8, top = 12, bottom = 8;
  for (TRtAxis* axis : Axes()) {
    axis->SetTextMeasure([font = ToQFont(axis->NumbersFont)](const std::string& text) {
      return QFontMetricsF(font).horizontalAdvance(Q(text));
    });
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
  PaintSeries(p);
  p.restore();

  if (DataAreaFrameVisible) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(dataArea_);
  }
  for (TRtAxis* axis : Axes())
    if (axis->Visible()) PaintAxis(p, *axis);
  for (TRtLegend* legend : Legends())
    if (legend->Visible()) PaintLegend(p, *legend, size);
  painting_ = false;
}

namespace {

// Source-over blending of a premultiplied colour at a coverage of
// 0 .. 255, with the raster engine's own rounding, so that pixels written
// here match those it would write.
inline std::uint32_t ByteMul(std::uint32_t x, std::uint32_t a) {
  std::uint32_t t = (x & 0xff00ffu) * a;
  t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
  t &= 0xff00ffu;
  x = ((x >> 8) & 0xff00ffu) * a;
  x = x + ((x >> 8) & 0xff00ffu) + 0x800080u;
  x &= 0xff00ff00u;
  return x | t;
}

inline void Blend(std::uint32_t& dst, std::uint32_t premultiplied, std::uint32_t coverage) {
  const std::uint32_t c = coverage == 255 ? premultiplied : ByteMul(premultiplied, coverage);
  dst = c + ByteMul(dst, 255u - (c >> 24));
}

// Writes straight into the pixels of a 32-bit image.
class TPixels {
 public:
  explicit TPixels(QImage& image)
      : bits_(image.bits()), bytesPerLine_(image.bytesPerLine()), width_(image.width()), height_(image.height()) {}
  std::uint32_t& At(int column, int row) {
    return reinterpret_cast<std::uint32_t*>(bits_ + static_cast<qsizetype>(row) * bytesPerLine_)[column];
  }
  // The band columns of a shape: partial rows at their coverage, full rows
  // at full coverage; rows that later layers cover are left out.
  void BlendBand(const TRtSeriesShape& shape, std::uint32_t premultiplied, const TRtRowSpan* hidden, int firstColumn) {
    for (const TRtBandColumn& c : shape.band) {
      if (c.column < 0 || c.column >= width_) continue;
      const TRtRowSpan h = hidden[c.column - firstColumn];
      const std::uint8_t* cover = shape.coverage.data() + c.coverage;
      Visible(c.top, c.fullTop, h,
              [&](int from, int to) { BlendColumn(c.column, from, to, cover + (from - c.top), premultiplied); });
      Visible(c.fullTop, c.fullBottom, h, [&](int from, int to) { FillColumn(c.column, from, to, premultiplied); });
      const std::uint8_t* lower = cover + (c.fullTop - c.top);
      Visible(c.fullBottom, c.bottom, h,
              [&](int from, int to) { BlendColumn(c.column, from, to, lower + (from - c.fullBottom), premultiplied); });
    }
  }

  // Calls paint(from, to) for the parts of rows [from, to) outside `hidden`.
  template <typename Paint>
  static void Visible(int from, int to, TRtRowSpan hidden, Paint paint) {
    if (hidden.top >= hidden.bottom || to <= hidden.top || from >= hidden.bottom) {
      if (from < to) paint(from, to);
      return;
    }
    if (from < hidden.top) paint(from, hidden.top);
    if (hidden.bottom < to) paint(hidden.bottom, to);
  }

  // Rows [from, to) of one column, each at its own coverage.
  void BlendColumn(int column, int from, int to, const std::uint8_t* cover, std::uint32_t premultiplied) {
    const int first = std::max(from, 0), last = std::min(to, height_);
    const bool opaque = (premultiplied >> 24) == 255;
    for (int row = first; row < last; ++row) {
      const std::uint32_t c = cover[row - from];
      if (c == 255 && opaque)
        At(column, row) = premultiplied;
      else if (c != 0)
        Blend(At(column, row), premultiplied, c);
    }
  }

  // Rows [from, to) of one column at full coverage.
  void FillColumn(int column, int from, int to, std::uint32_t premultiplied) {
    if (column < 0 || column >= width_) return;
    from = std::max(from, 0);
    to = std::min(to, height_);
    if ((premultiplied >> 24) == 255) {
      for (int row = from; row < to; ++row) At(column, row) = premultiplied;
      return;
    }
    // Mostly one background colour below a wash: remember the last result.
    std::uint32_t lastIn = 0, lastOut = 0;
    bool known = false;
    for (int row = from; row < to; ++row) {
      std::uint32_t& d = At(column, row);
      if (!known || d != lastIn) {
        lastIn = d;
        Blend(d, premultiplied, 255);
        lastOut = d;
        known = true;
      } else {
        d = lastOut;
      }
    }
  }

 private:
  uchar* bits_;
  qsizetype bytesPerLine_;
  int width_, height_;
};

std::uint32_t Premultiplied(TRtColor c) { return qPremultiply(static_cast<QRgb>(c)); }

// The image the painter draws on when series can be written into its
// pixels: a 32-bit premultiplied image under a transform that only scales
// (evenly) and moves. Null otherwise.
QImage* DirectImage(QPainter& p) {
  QPaintDevice* device = p.device();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied) return nullptr;
  const QTransform t = p.deviceTransform();
  if (t.type() > QTransform::TxScale || t.m11() != t.m22() || t.m11() <= 0) return nullptr;
  return image;
}

// A polygon of the points and two base points, filled aliased in vertical
// strips of at most kChunk points (the rasteriser refuses very long
// polygons); without anti-aliasing the strips meet without seams.
void FillArea(QPainter& p, const QPointF* points, std::size_t n, double base, const TRtArea& area) {
  QPolygonF strip;
  for (std::size_t from = 0; from + 1 < n; from += kChunk) {
    const std::size_t to = std::min(n, from + kChunk + 1);
    strip.clear();
    for (std::size_t i = from; i < to; ++i) strip << points[i];
    strip << QPointF(points[to - 1].x(), base) << QPointF(points[from].x(), base);
    if (area.AreaStyle != TRtAreaStyle::Total) {
      p.setBrush(Argb(area.BackColor));
      p.drawPolygon(strip, Qt::WindingFill);
    }
    p.setBrush(QBrush(Argb(area.ForeColor), BrushStyle(area.AreaStyle)));
    p.drawPolygon(strip, Qt::WindingFill);
  }
}

// Long polylines in pieces: stroking one path of many thousand points
// costs far more than the pieces together.
void StrokePolyline(QPainter& p, const QPointF* points, std::size_t n) {
  for (std::size_t from = 0; from + 1 < n; from += kChunk)
    p.drawPolyline(points + from, static_cast<int>(std::min(n - from, kChunk + 1)));
}

void DrawSymbols(QPainter& p, const TRtPointSymbol& ps, const std::vector<QPointF>& points, double scale) {
  p.setPen(QPen(Argb(ps.BorderColor), ps.BorderLineWidth * scale));
  p.setBrush(Argb(ps.FillColor));
  const double size = ps.Size * scale, r = size / 2;
  for (const QPointF& q : points) {
    switch (ps.Shape) {
      case TRtPointShape::Square:
        p.drawRect(QRectF(q.x() - r, q.y() - r, size, size));
        break;
      default:
        p.drawEllipse(q, r, r);
        break;
    }
  }
}

void ToQPoints(const TRtPoint* points, std::size_t n, std::vector<QPointF>& out) {
  out.resize(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = QPointF(points[i].x, points[i].y);
}

}  // namespace

void TRtGraph2D::PaintSeries(QPainter& p) {
  QImage* image = DirectImage(p);
  const QTransform device = p.deviceTransform();
  const double scale = image ? device.m11() : 1.0;
  // With direct pixel access everything below is in the image's pixels.
  const QRectF area = image ? device.mapRect(dataArea_) : dataArea_;
  const TRtPixelRect clip{static_cast<int>(std::lround(area.left())), static_cast<int>(std::lround(area.top())),
                          static_cast<int>(std::lround(area.right())), static_cast<int>(std::lround(area.bottom()))};
  if (image && !device.isIdentity()) p.setWorldTransform(device.inverted() * p.worldTransform());
  columns_.Forget();

  const std::vector<TRtSeries*>& series = Series();
  auto mapsOf = [&](const TRtSeries& s) {
    return std::pair{TRtPixelMap{s.XAxis()->Start(), s.XAxis()->Stop(), area.left(), area.right()},
                     TRtPixelMap{s.YAxis()->Start(), s.YAxis()->Stop(), area.bottom(), area.top()}};
  };
  auto drawable = [](const TRtSeries& s) {
    return s.PointCount() >= 2 || (s.PointCount() >= 1 && s.PointSymbol.Visible);
  };
  auto inImage = [&](const TRtSeries& s) {
    return image && !s.IsFunctionSeries() && s.IsShown() && s.XAxis() && s.YAxis() && drawable(s);
  };

  // The shapes of the series written into the image, top layer first:
  // each learns which rows of each column the layers above it cover
  // completely with an opaque colour, and leaves them alone.
  const auto width = static_cast<std::size_t>(std::max(0, clip.right - clip.left));
  shapes_.resize(series.size());
  hidden_.resize(series.size());
  std::vector<TRtRowSpan> covered(width);
  for (std::size_t i = series.size(); i-- > 0;) {
    const TRtSeries& s = *series[i];
    if (!inImage(s)) continue;
    const auto [xm, ym] = mapsOf(s);
    TRtShapeRequest request;
    request.xm = xm;
    request.ym = ym;
    request.clip = clip;
    request.penWidth = s.Line.Width * scale;
    request.area = s.Area.Visible;
    request.reduction = reduction_;
    BuildSeriesShape(*s.XData(), *s.YData(), s.PointCount(), request, columns_, shapes_[i]);
    hidden_[i] = covered;
    if (!s.Line.Visible || (s.Line.Color >> 24) != 255) continue;
    for (const TRtBandColumn& c : shapes_[i].band) {
      if (c.fullTop >= c.fullBottom) continue;
      TRtRowSpan& h = covered[static_cast<std::size_t>(c.column - clip.left)];
      if (h.top >= h.bottom || (c.fullTop <= h.bottom && c.fullBottom >= h.top)) {
        // Overlapping or touching: one span.
        h = h.top >= h.bottom ? TRtRowSpan{c.fullTop, c.fullBottom}
                              : TRtRowSpan{std::min(h.top, c.fullTop), std::max(h.bottom, c.fullBottom)};
      } else if (c.fullBottom - c.fullTop > h.bottom - h.top) {
        h = {c.fullTop, c.fullBottom};
      }
    }
  }

  for (std::size_t i = 0; i < series.size(); ++i) {
    const TRtSeries* s = series[i];
    if (!s->IsShown() || !s->XAxis() || !s->YAxis()) continue;
    const auto [xm, ym] = mapsOf(*s);
    const double base = ym(std::max(s->YAxis()->Start(), 0.0));

    if (!inImage(*s)) {
      // Drawn by the painter: function curves (a few points), and every
      // series on devices whose pixels cannot be written directly.
      points_.clear();
      if (s->IsFunctionSeries()) {
        for (const auto& [x, y] : static_cast<const TRtFunctionSeries*>(s)->CurvePoints())
          if (std::isfinite(x) && std::isfinite(y)) points_.push_back({xm(x), ym(y)});
      } else if (drawable(*s)) {
        BuildSeriesPolyline(*s->XData(), *s->YData(), s->PointCount(), xm, ym, reduction_, points_);
      }
      ToQPoints(points_.data(), points_.size(), qpoints_);
      if (s->Area.Visible && qpoints_.size() >= 2) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::NoPen);
        FillArea(p, qpoints_.data(), qpoints_.size(), base, s->Area);
        p.restore();
      }
      if (s->Line.Visible && qpoints_.size() >= 2) {
        TRtLine line = s->Line;
        line.Width *= scale;
        p.setPen(SeriesPen(line));
        p.setBrush(Qt::NoBrush);
        StrokePolyline(p, qpoints_.data(), qpoints_.size());
      }
      if (s->PointSymbol.Visible) DrawSymbols(p, s->PointSymbol, qpoints_, scale);
      continue;
    }

    // Exact polylines where samples are sparse, bands of pixels where they
    // are dense.
    const TRtSeriesShape& shape = shapes_[i];
    const TRtRowSpan* hidden = hidden_[i].data();
    TPixels pixels(*image);
    if (s->Area.Visible) {
      p.save();
      p.setRenderHint(QPainter::Antialiasing, false);
      p.setPen(Qt::NoPen);
      if (s->Area.AreaStyle == TRtAreaStyle::Total) {
        for (const TRtPolylinePiece& piece : shape.pieces) {
          ClipPolylineX(shape.points.data() + piece.first, piece.last - piece.first, piece.areaLeft, piece.areaRight,
                        points_);
          ToQPoints(points_.data(), points_.size(), qpoints_);
          FillArea(p, qpoints_.data(), qpoints_.size(), base, s->Area);
        }
        // A dense column is filled where its centre lies under the
        // polyline, as the aliased polygon fill decides it.
        const std::uint32_t colour = Premultiplied(s->Area.ForeColor);
        for (const TRtAreaColumn& c : shape.areaColumns) {
          const double a = std::min(c.y, base), b = std::max(c.y, base);
          const int from = std::max(clip.top, static_cast<int>(std::ceil(a - 0.5)));
          const int to = std::min(clip.bottom, static_cast<int>(std::ceil(b - 0.5)));
          TPixels::Visible(from, to, hidden[c.column - clip.left],
                           [&](int f, int t) { pixels.FillColumn(c.column, f, t, colour); });
        }
      } else {
        // Hatch patterns are left to the painter, along the polyline
        // reduced to a few points per column.
        BuildSeriesPolyline(*s->XData(), *s->YData(), s->PointCount(), xm, ym, reduction_, points_);
        ToQPoints(points_.data(), points_.size(), qpoints_);
        FillArea(p, qpoints_.data(), qpoints_.size(), base, s->Area);
      }
      p.restore();
    }
    if (s->Line.Visible) {
      TRtLine line = s->Line;
      line.Width *= scale;
      p.setPen(SeriesPen(line));
      p.setBrush(Qt::NoBrush);
      for (const TRtPolylinePiece& piece : shape.pieces) {
        ToQPoints(shape.points.data() + piece.first, piece.last - piece.first, qpoints_);
        StrokePolyline(p, qpoints_.data(), qpoints_.size());
      }
      pixels.BlendBand(shape, Premultiplied(s->Line.Color), hidden, clip.left);
    }
    if (s->PointSymbol.Visible) {
      BuildSeriesPolyline(*s->XData(), *s->YData(), s->PointCount(), xm, ym, reduction_, points_);
      ToQPoints(points_.data(), points_.size(), qpoints_);
      DrawSymbols(p, s->PointSymbol, qpoints_, scale);
    }
  }
}

void TRtGraph2D::PaintAxis(QPainter& p, TRtAxis& axis) {
  const QRectF& d = dataArea_;
  const QFont numbersFont = ToQFont(axis.NumbersFont);
  const QFont captionFont = ToQFont(axis.CaptionFont);
  const QFontMetricsF nfm(numbersFont), cfm(captionFont);
  const bool horizontal = axis.IsHorizontal();
  const TRtPixelMap m = horizontal ? TRtPixelMap{axis.Start(), axis.Stop(), d.left(), d.right()}
                                   : TRtPixelMap{axis.Start(), axis.Stop(), d.bottom(), d.top()};
  // The axis line on the data area's edge; ticks point away from the data.
  double edge = 0, dir = 1;
  switch (axis.Position()) {
    case TRtAxisPosition::Bottom:
      edge = d.bottom();
      dir = 1;
      break;
    case TRtAxisPosition::Top:
      edge = d.top();
      dir = -1;
      break;
    case TRtAxisPosition::Left:
      edge = d.left();
      dir = -1;
      break;
    case TRtAxisPosition::Right:
      edge = d.right();
      dir = 1;
      break;
  }
  auto at = [&](double along, double across) {
    return horizontal ? QPointF(along, edge + dir * across) : QPointF(edge + dir * across, along);
  };
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Argb(axis.AxisLineColor), axis.LineWidth));
  if (horizontal)
    p.drawLine(QPointF(d.left(), edge), QPointF(d.right(), edge));
  else
    p.drawLine(QPointF(edge, d.top()), QPointF(edge, d.bottom()));

  double labelExtent = 0;
  for (const TRtTick& t : axis.Ticks()) {
    const double pos = std::round(m(t.value));
    p.setPen(QPen(Argb(t.major ? axis.MajorTickColor : axis.TickColor), axis.LineWidth));
    p.drawLine(at(pos, 0), at(pos, t.major ? axis.MajorTickLength : axis.TickLength));
  }
  p.setRenderHint(QPainter::Antialiasing, SmoothingMode == TRtSmoothingMode::HighQuality);
  if (axis.NumbersVisible) {
    p.setFont(numbersFont);
    p.setPen(Argb(axis.NumbersColor));
    const double gap = axis.MajorTickLength + 3;
    for (const TRtTick& t : axis.Ticks()) {
      if (!t.labelled) continue;
      const QString text = Q(t.label);
      const double w = nfm.horizontalAdvance(text), h = nfm.height();
      const double pos = m(t.value);
      QRectF r;
      if (horizontal) {
        r = QRectF(pos - w / 2, dir > 0 ? edge + gap : edge - gap - h, w, h);
      } else {
        r = QRectF(dir > 0 ? edge + gap : edge - gap - w, pos - h / 2, w, h);
      }
      p.drawText(r, Qt::AlignCenter, text);
      labelExtent = std::max(labelExtent, horizontal ? h : w);
    }
    if (!horizontal)
      labelExtent = std::max(labelExtent, WidestLabel(axis));
    else
      labelExtent = std::max(labelExtent, nfm.height());
  }
  if (!axis.Caption.empty()) {
    p.setFont(captionFont);
    p.setPen(Argb(axis.CaptionColor));
    const QString caption = Q(axis.Caption);
    const double offset = axis.MajorTickLength + 3 + (axis.NumbersVisible ? labelExtent + 4 : 0);
    const double h = cfm.height();
    if (horizontal) {
      const double y = dir > 0 ? edge + offset : edge - offset - h;
      p.drawText(QRectF(d.left(), y, d.width(), h), Qt::AlignCenter, caption);
    } else {
      // Along the axis: read bottom to top on the left, top to bottom on
      // the right.
      p.save();
      const double x = dir > 0 ? edge + offset : edge - offset - h;
      // Centred on the data area, allowed to use the chart's full height.
      const double room = std::max(d.height(), 2 * std::min(d.center().y(), height_ - d.center().y()));
      p.translate(x + h / 2, d.center().y());
      p.rotate(dir > 0 ? 90 : -90);
      p.drawText(QRectF(-room / 2, -h / 2, room, h), Qt::AlignCenter, caption);
      p.restore();
    }
  }
}

void TRtGraph2D::PaintLegend(QPainter& p, TRtLegend& legend, const QSize& size) {
  const auto& items = legend.Items();
  const QFont font = this->font();
  const QFontMetricsF fm(font);
  const double sample = 30, pad = 6, row = fm.height() + 4;
  const int columns = std::max(1, legend.Columns);
  const int rows = std::max(
      1, static_cast<int>((items.size() + static_cast<std::size_t>(columns) - 1) / static_cast<std::size_t>(columns)));
  double itemWidth = legend.ItemWidth;
  for (const TRtSeries* s : items)
    itemWidth = std::max(itemWidth, sample + pad + fm.horizontalAdvance(Q(s->Caption())));
  if (legend.AutoSize) {
    legend.Width = columns * (itemWidth + pad) + pad;
    legend.Height = std::max(1, rows) * row + pad;
  }
  // Keep the box inside the chart.
  legend.Left = std::clamp(legend.Left, 0.0, std::max(0.0, size.width() - legend.Width));
  legend.Top = std::clamp(legend.Top, 0.0, std::max(0.0, size.height() - legend.Height));
  const QRectF box(legend.Left, legend.Top, legend.Width, legend.Height);
  p.setPen(legend.FrameWidth > 0 ? QPen(Argb(legend.FrameColor), legend.FrameWidth) : QPen(Qt::NoPen));
  p.setBrush(Argb(legend.BackColor));
  p.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
  p.setFont(font);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const TRtSeries* s = items[i];
    const auto index = static_cast<int>(i);
    const int col = legend.ItemsOrder == TRtLegendItemsOrder::ByColumn ? index / rows : index % columns;
    const int r = legend.ItemsOrder == TRtLegendItemsOrder::ByColumn ? index % rows : index / columns;
    const double x = box.left() + pad + col * (itemWidth + pad);
    const double y = box.top() + pad / 2 + r * row;
    const double mid = y + row / 2;
    if (s->Area.Visible) {
      p.setPen(Qt::NoPen);
      p.setBrush(QBrush(Argb(s->Area.ForeColor), BrushStyle(s->Area.AreaStyle)));
      p.drawRect(QRectF(x, mid, sample, row / 2 - 2));
    }
    if (s->Line.Visible) {
      TRtLine line = s->Line;
      line.Width = std::min(line.Width, 3.0);
      p.setPen(SeriesPen(line));
      p.drawLine(QPointF(x, mid), QPointF(x + sample, mid));
    }
    p.setPen(Qt::black);
    p.drawText(QRectF(x + sample + pad, y, itemWidth - sample - pad, row), Qt::AlignLeft | Qt::AlignVCenter,
               Q(s->Caption()));
  }
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
