#pragma once
// Paints a legend: its framed box with a sample of each series' line (and
// area) and its caption.

#include <QFont>
#include <QPainter>
#include <QSize>

#include "chart/RtLegend.h"

namespace karvo {

// Lays the legend out (AutoSize), keeps it inside a chart of `size` and
// paints it in `font`.
void PaintLegend(QPainter& p, TRtLegend& legend, const QSize& size, const QFont& font);

}  // namespace karvo
