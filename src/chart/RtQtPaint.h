#pragma once
// What the chart's painters share: colours, fonts and pens of the model in
// Qt's terms.

#include <QColor>
#include <QFont>
#include <QPen>
#include <cstdint>

#include "chart/RtAxis.h"
#include "chart/RtQtRegional.h"
#include "chart/RtSeries.h"

namespace karvo {

inline QColor Argb(TRtColor c) { return QColor::fromRgba(c); }
inline QColor Rgb(std::uint32_t c) { return QColor::fromRgb(c & 0xFFFFFFu); }

inline QFont ToQFont(const TRtFont& f) {
  QFont font(ToQString(f.Family));
  font.setPointSizeF(f.PointSize);
  font.setBold(f.Bold);
  return font;
}

inline Qt::PenStyle PenStyle(TRtDashStyle s) {
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

inline Qt::BrushStyle BrushStyle(TRtAreaStyle s) {
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
inline QPen SeriesPen(const TRtLine& line) {
  const Qt::PenStyle style = PenStyle(line.DashStyle);
  return QPen(Argb(line.Color), line.Width, style, style == Qt::SolidLine ? Qt::RoundCap : Qt::FlatCap, Qt::RoundJoin);
}

}  // namespace karvo
