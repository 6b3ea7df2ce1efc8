#pragma once
// Paints an axis beside the data area: its line, ticks, numbers and
// caption.

#include <QPainter>
#include <QRectF>

#include "chart/RtAxis.h"

namespace karvo {

// Space an axis takes beside the data area: ticks, numbers and caption.
double AxisThickness(const TRtAxis& axis, double numbersExtent);
// Width of the widest label of the axis, in its numbers font.
double WidestLabel(const TRtAxis& axis);

// The axis on the edge of the data area `d` of a chart `chartHeight` high.
void PaintAxis(QPainter& p, const TRtAxis& axis, const QRectF& d, double chartHeight, bool antialiased);

// A caption shortened to `width` pixels in `metrics`: whole words dropped
// from its end with an ellipsis, so that it does not end mid-word; the
// characters that fit when not even the first word does.
QString FitCaption(const QString& caption, const QFontMetricsF& metrics, double width);

}  // namespace karvo
