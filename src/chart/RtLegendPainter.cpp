#include "chart/RtLegendPainter.h"

#include <QFontMetricsF>
#include <algorithm>

#include "chart/RtQtPaint.h"

namespace karvo {

void PaintLegend(QPainter& p, TRtLegend& legend, const QSize& size, const QFont& font) {
  const auto& items = legend.Items();
  const QFontMetricsF fm(font);
  const double sample = 30, pad = 6, row = fm.height() + 4;
  const int columns = std::max(1, legend.Columns);
  const int rows = std::max(
      1, static_cast<int>((items.size() + static_cast<std::size_t>(columns) - 1) / static_cast<std::size_t>(columns)));
  double itemWidth = legend.ItemWidth;
  for (const TRtSeries* s : items)
    itemWidth = std::max(itemWidth, sample + pad + fm.horizontalAdvance(ToQString(s->Caption())));
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
               ToQString(s->Caption()));
  }
}

}  // namespace karvo
