#include "chart/RtSeriesPainter.h"

#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "chart/RtAxis.h"
#include "chart/RtPixels.h"
#include "chart/RtQtPaint.h"

namespace karvo {

namespace {

constexpr std::size_t kChunk = 1024;

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

namespace {

std::pair<TRtPixelMap, TRtPixelMap> MapsOf(const TRtSeries& s, const QRectF& area) {
  return {TRtPixelMap{s.XAxis()->Start(), s.XAxis()->Stop(), area.left(), area.right()},
          TRtPixelMap{s.YAxis()->Start(), s.YAxis()->Stop(), area.bottom(), area.top()}};
}

bool Drawable(const TRtSeries& s) { return s.PointCount() >= 2 || (s.PointCount() >= 1 && s.PointSymbol.Visible); }

}  // namespace

bool TRtSeriesPainter::TFrame::InImage(const TRtSeries& s) const {
  return image && !s.IsFunctionSeries() && s.IsShown() && s.XAxis() && s.YAxis() && Drawable(s);
}

void TRtSeriesPainter::Paint(QPainter& p, const TRtCustomGraph& graph, const QRectF& dataArea,
                             TRtPointReduction reduction) {
  TFrame f;
  f.image = DirectImage(p);
  const QTransform device = p.deviceTransform();
  f.scale = f.image ? device.m11() : 1.0;
  // With direct pixel access everything below is in the image's pixels.
  f.area = f.image ? device.mapRect(dataArea) : dataArea;
  f.clip = {static_cast<int>(std::lround(f.area.left())), static_cast<int>(std::lround(f.area.top())),
            static_cast<int>(std::lround(f.area.right())), static_cast<int>(std::lround(f.area.bottom()))};
  f.reduction = reduction;
  if (f.image && !device.isIdentity()) p.setWorldTransform(device.inverted() * p.worldTransform());
  for (TRtColumnIndex& c : columns_) c.Forget();

  const std::vector<TRtSeries*>& series = graph.Series();
  BuildImageShapes(series, f);
  for (std::size_t i = 0; i < series.size(); ++i) {
    const TRtSeries& s = *series[i];
    if (!s.IsShown() || !s.XAxis() || !s.YAxis()) continue;
    if (f.InImage(s))
      PaintIntoImage(p, i, s, f);
    else
      PaintWithPainter(p, s, f);
  }
}

void TRtSeriesPainter::BuildImageShapes(const std::vector<TRtSeries*>& series, const TFrame& f) {
  const auto width = static_cast<std::size_t>(std::max(0, f.clip.right - f.clip.left));
  shapes_.resize(series.size());
  hidden_.resize(series.size());
  std::vector<TRtRowSpan> covered(width);
  for (std::size_t i = series.size(); i-- > 0;) {
    const TRtSeries& s = *series[i];
    if (!f.InImage(s)) continue;
    const auto [xm, ym] = MapsOf(s, f.area);
    TRtShapeRequest request;
    request.xm = xm;
    request.ym = ym;
    request.clip = f.clip;
    request.penWidth = s.Line.Width * f.scale;
    request.area = s.Area.Visible;
    request.reduction = f.reduction;
    TRtSeriesShape& shape = shapes_[i];
    shape.Clear();
    s.XData()->Runs(s.PointCount(), runs_);
    if (columns_.size() < runs_.size()) columns_.resize(runs_.size());
    for (std::size_t k = 0; k < runs_.size(); ++k)
      BuildSeriesShape(*s.XData(), *s.YData(), runs_[k].first, runs_[k].second, request, columns_[k], scratch_, shape);
    hidden_[i] = covered;
    if (s.Line.Visible && (s.Line.Color >> 24) == 255) CoverRows(shape, f.clip.left, covered);
  }
}

void TRtSeriesPainter::PaintWithPainter(QPainter& p, const TRtSeries& s, const TFrame& f) {
  const auto [xm, ym] = MapsOf(s, f.area);
  const double base = ym(std::max(s.YAxis()->Start(), 0.0));
  // Each run on its own: no stroke goes back across the chart.
  runs_.clear();
  if (s.IsFunctionSeries())
    runs_.emplace_back(0, 0);
  else if (Drawable(s))
    s.XData()->Runs(s.PointCount(), runs_);
  for (const auto& [first, last] : runs_) {
    points_.clear();
    if (s.IsFunctionSeries()) {
      for (const auto& [x, y] : static_cast<const TRtFunctionSeries&>(s).CurvePoints())
        if (std::isfinite(x) && std::isfinite(y)) points_.push_back({xm(x), ym(y)});
    } else {
      BuildSeriesPolyline(*s.XData(), *s.YData(), first, last, xm, ym, f.reduction, points_);
    }
    ToQPoints(points_.data(), points_.size(), qpoints_);
    if (s.Area.Visible && qpoints_.size() >= 2) {
      p.save();
      p.setRenderHint(QPainter::Antialiasing, false);
      p.setPen(Qt::NoPen);
      FillArea(p, qpoints_.data(), qpoints_.size(), base, s.Area);
      p.restore();
    }
    if (s.Line.Visible && qpoints_.size() >= 2) {
      TRtLine line = s.Line;
      line.Width *= f.scale;
      p.setPen(SeriesPen(line));
      p.setBrush(Qt::NoBrush);
      StrokePolyline(p, qpoints_.data(), qpoints_.size());
    }
    if (s.PointSymbol.Visible) DrawSymbols(p, s.PointSymbol, qpoints_, f.scale);
  }
}

void TRtSeriesPainter::PaintIntoImage(QPainter& p, std::size_t i, const TRtSeries& s, const TFrame& f) {
  const auto [xm, ym] = MapsOf(s, f.area);
  const double base = ym(std::max(s.YAxis()->Start(), 0.0));
  const TRtPixelRect& clip = f.clip;
  const TRtSeriesShape& shape = shapes_[i];
  const TRtRowSpan* hidden = hidden_[i].data();
  TRtPixels pixels(*f.image);
  if (s.Area.Visible) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    if (s.Area.AreaStyle == TRtAreaStyle::Total) {
      for (const TRtPolylinePiece& piece : shape.pieces) {
        ClipPolylineX(shape.points.data() + piece.first, piece.last - piece.first, piece.areaLeft, piece.areaRight,
                      points_);
        ToQPoints(points_.data(), points_.size(), qpoints_);
        FillArea(p, qpoints_.data(), qpoints_.size(), base, s.Area);
      }
      // A dense column is filled where its centre lies under the
      // polyline, as the aliased polygon fill decides it.
      const std::uint32_t colour = Premultiplied(s.Area.ForeColor);
      for (const TRtAreaColumn& c : shape.areaColumns) {
        const double a = std::min(c.y, base), b = std::max(c.y, base);
        const int from = std::max(clip.top, static_cast<int>(std::ceil(a - 0.5)));
        const int to = std::min(clip.bottom, static_cast<int>(std::ceil(b - 0.5)));
        TRtPixels::Visible(from, to, hidden[c.column - clip.left],
                           [&](int top, int bottom) { pixels.FillColumn(c.column, top, bottom, colour); });
      }
    } else {
      // Hatch patterns are left to the painter, along the polyline
      // reduced to a few points per column, run by run.
      s.XData()->Runs(s.PointCount(), runs_);
      for (const auto& [first, last] : runs_) {
        BuildSeriesPolyline(*s.XData(), *s.YData(), first, last, xm, ym, f.reduction, points_);
        ToQPoints(points_.data(), points_.size(), qpoints_);
        FillArea(p, qpoints_.data(), qpoints_.size(), base, s.Area);
      }
    }
    p.restore();
  }
  if (s.Line.Visible) {
    TRtLine line = s.Line;
    line.Width *= f.scale;
    p.setPen(SeriesPen(line));
    p.setBrush(Qt::NoBrush);
    for (const TRtPolylinePiece& piece : shape.pieces) {
      ToQPoints(shape.points.data() + piece.first, piece.last - piece.first, qpoints_);
      StrokePolyline(p, qpoints_.data(), qpoints_.size());
    }
    pixels.BlendBand(shape, Premultiplied(s.Line.Color), hidden, clip.left);
  }
  if (s.PointSymbol.Visible) {
    s.XData()->Runs(s.PointCount(), runs_);
    for (const auto& [first, last] : runs_) {
      BuildSeriesPolyline(*s.XData(), *s.YData(), first, last, xm, ym, f.reduction, points_);
      ToQPoints(points_.data(), points_.size(), qpoints_);
      DrawSymbols(p, s.PointSymbol, qpoints_, f.scale);
    }
  }
}

}  // namespace karvo
