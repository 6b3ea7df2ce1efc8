#pragma once
// Series written straight into the pixels of the 32-bit image the chart is
// painted on: the band columns at their coverage, area columns, with the
// raster engine's own blending.

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdint>

#include "chart/RtOcclusion.h"
#include "chart/RtSeries.h"
#include "chart/RtSeriesBands.h"

namespace karvo {

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
class TRtPixels {
 public:
  explicit TRtPixels(QImage& image)
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

// A colour of the model, premultiplied as the image keeps it.
inline std::uint32_t Premultiplied(TRtColor c) { return qPremultiply(static_cast<QRgb>(c)); }

// The image the painter draws on when series can be written into its
// pixels: a 32-bit premultiplied image under a transform that only scales
// (evenly) and moves. Null otherwise.
QImage* DirectImage(QPainter& p);

}  // namespace karvo
