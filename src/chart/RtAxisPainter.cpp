#include "chart/RtAxisPainter.h"

#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "chart/RtQtPaint.h"
#include "chart/RtSeriesBands.h"

namespace karvo {

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
    if (t.labelled) w = std::max(w, fm.horizontalAdvance(ToQString(t.label)));
  return std::max(w, fm.horizontalAdvance(QStringLiteral("000")));
}

QString FitCaption(const QString& caption, const QFontMetricsF& metrics, double width) {
  if (metrics.horizontalAdvance(caption) <= width) return caption;
  const QString ellipsis(QChar(0x2026));
  QStringList words = caption.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  while (words.size() > 1) {
    words.removeLast();
    QString text = words.join(QLatin1Char(' '));
    // No dangling comma or dash before the ellipsis.
    while (!text.isEmpty() && !text.back().isLetterOrNumber()) text.chop(1);
    if (metrics.horizontalAdvance(text + ellipsis) <= width) return text + ellipsis;
  }
  return metrics.elidedText(caption, Qt::ElideRight, width);
}

void PaintAxis(QPainter& p, const TRtAxis& axis, const QRectF& d, double chartHeight, bool antialiased) {
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
  p.setRenderHint(QPainter::Antialiasing, antialiased);
  if (axis.NumbersVisible) {
    p.setFont(numbersFont);
    p.setPen(Argb(axis.NumbersColor));
    const double gap = axis.MajorTickLength + 3;
    for (const TRtTick& t : axis.Ticks()) {
      if (!t.labelled) continue;
      const QString text = ToQString(t.label);
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
    const QString caption = ToQString(axis.Caption);
    const double offset = axis.MajorTickLength + 3 + (axis.NumbersVisible ? labelExtent + 4 : 0);
    const double h = cfm.height();
    if (horizontal) {
      const double y = dir > 0 ? edge + offset : edge - offset - h;
      p.drawText(QRectF(d.left(), y, d.width(), h), Qt::AlignCenter, FitCaption(caption, cfm, d.width()));
    } else {
      // Along the axis: read bottom to top on the left, top to bottom on
      // the right.
      p.save();
      const double x = dir > 0 ? edge + offset : edge - offset - h;
      // Centred on the data area, allowed to use the chart's full height.
      const double room = std::max(d.height(), 2 * std::min(d.center().y(), chartHeight - d.center().y()));
      p.translate(x + h / 2, d.center().y());
      p.rotate(dir > 0 ? 90 : -90);
      // A short chart (the splitter dragged down) shortens the caption by
      // whole words rather than cutting it off mid-word.
      p.drawText(QRectF(-room / 2, -h / 2, room, h), Qt::AlignCenter, FitCaption(caption, cfm, room));
      p.restore();
    }
  }
}

}  // namespace karvo
