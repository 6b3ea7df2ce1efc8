#include "widgets/LedLamp.h"

#include "widgets/LedLampAccessible.h"

#include <QEnterEvent>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace karvo {

namespace {

const QRgb kGlass = qRgb(0, 255, 0);
const QRgb kSurround = qRgb(192, 192, 192);
const QRgb kRim = qRgb(0, 0, 0);
const QRgb kLight = qRgb(255, 255, 255);
const QRgb kShade = qRgb(128, 128, 128);

bool IsRound(TLEDStyle style) { return style == TLEDStyle::LEDSmall || style == TLEDStyle::LEDLarge; }

}  // namespace

QSize LedStyleSize(TLEDStyle style) {
  switch (style) {
    case TLEDStyle::LEDSmall:
    case TLEDStyle::LEDSqSmall:
      return {16, 16};
    case TLEDStyle::LEDLarge:
    case TLEDStyle::LEDSqLarge:
      return {22, 22};
    case TLEDStyle::LEDVertical:
      return {16, 22};
    case TLEDStyle::LEDHorizontal:
      return {22, 16};
  }
  return {16, 16};
}

// The layout of an image, from the outside in: for the bordered images a
// one-pixel silver margin and the raised frame (light top and left, grey
// bottom and right); then silver up to the lamp; the lamp's black rim; along
// the rim's inside a grey shade on the lower right; the green glass with a
// white highlight at its upper left.
QImage DrawLedImage(TLEDStyle style, bool bordered) {
  const QSize size = LedStyleSize(style);
  const int w = size.width();
  const int h = size.height();
  QImage image(size, QImage::Format_RGB32);
  image.fill(kSurround);
  if (bordered) {
    for (int x = 1; x <= w - 2; ++x) {
      image.setPixel(x, 1, kLight);
    }
    for (int y = 1; y <= h - 2; ++y) {
      image.setPixel(1, y, kLight);
    }
    for (int x = 1; x <= w - 2; ++x) {
      image.setPixel(x, h - 2, kShade);
    }
    for (int y = 1; y <= h - 2; ++y) {
      image.setPixel(w - 2, y, kShade);
    }
  }
  const int inset = bordered ? 3 : 1;
  const QRect lamp(inset, inset, w - 2 * inset, h - 2 * inset);
  const double cx = lamp.x() + lamp.width() / 2.0;
  const double cy = lamp.y() + lamp.height() / 2.0;
  const double rx = lamp.width() / 2.0;
  const double ry = lamp.height() / 2.0;
  const bool round = IsRound(style);
  auto inside = [&](int x, int y) {
    if (!lamp.contains(x, y)) {
      return false;
    }
    if (round) {
      const double dx = (x + 0.5 - cx) / rx;
      const double dy = (y + 0.5 - cy) / ry;
      return dx * dx + dy * dy <= 1.0;
    }
    // Rectangles with their corner pixels cut off.
    const bool cornerX = x == lamp.left() || x == lamp.right();
    const bool cornerY = y == lamp.top() || y == lamp.bottom();
    return !(cornerX && cornerY);
  };
  auto onRim = [&](int x, int y) {
    return inside(x, y) && (!inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1));
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!inside(x, y)) {
        continue;
      }
      if (onRim(x, y)) {
        image.setPixel(x, y, kRim);
        continue;
      }
      const bool alongRim = onRim(x - 1, y) || onRim(x + 1, y) || onRim(x, y - 1) || onRim(x, y + 1);
      const bool lowerRight = (x + 0.5 - cx) + (y + 0.5 - cy) > 1.0;
      image.setPixel(x, y, alongRim && lowerRight ? kShade : kGlass);
    }
  }
  // The highlight: a small white spot halfway between the centre and the
  // rim's upper left.
  const int spot = std::min(lamp.width(), lamp.height()) >= 14 ? 2 : 1;
  const int hx = static_cast<int>(cx - rx / 2.0);
  const int hy = static_cast<int>(cy - ry / 2.0);
  for (int y = hy; y < hy + spot; ++y) {
    for (int x = hx; x < hx + spot; ++x) {
      image.setPixel(x, y, kLight);
    }
  }
  return image;
}

void FloodFill(QImage& image, QPoint seed, QColor color) {
  if (!image.rect().contains(seed)) {
    return;
  }
  const QRgb target = image.pixel(seed);
  const QRgb replacement = color.rgba();
  if (target == replacement) {
    return;
  }
  std::vector<QPoint> pending{seed};
  while (!pending.empty()) {
    const QPoint p = pending.back();
    pending.pop_back();
    if (!image.rect().contains(p) || image.pixel(p) != target) {
      continue;
    }
    image.setPixel(p, replacement);
    pending.push_back({p.x() + 1, p.y()});
    pending.push_back({p.x() - 1, p.y()});
    pending.push_back({p.x(), p.y() + 1});
    pending.push_back({p.x(), p.y() - 1});
  }
}

// ---------------------------------------------------------------------------
// TLedLamp

TLedLamp::TLedLamp(QWidget* parent) : QWidget(parent), fBordColor(palette().color(QPalette::Button)) {
  InstallLedLampAccessibility();
  CreateLedBitmap();
}

TLedLamp::~TLedLamp() { ResetLedTimer(); }

QSize TLedLamp::sizeHint() const { return LedStyleSize(fLEDStyle); }

void TLedLamp::CreateLedBitmap() {
  const QSize size = LedStyleSize(fLEDStyle);
  setFixedSize(size);
  const QImage image = DrawLedImage(fLEDStyle, fBordered);
  fLedBitmap = image;
  fUnlitBitmap = image;
  const QPoint centre(size.width() / 2, size.height() / 2);
  FloodFill(fLedBitmap, centre, fTrueColor);
  FloodFill(fUnlitBitmap, centre, fFalseColor);
  if (!fBordered) {
    // Until a border colour is set, the surround is left transparent: the
    // lamp then blends with whatever lies behind it (a group box, a
    // coloured panel), not only with the window's button colour.
    const bool clear = fBordColorFollowsPalette;
    if (clear) {
      fLedBitmap.convertTo(QImage::Format_ARGB32);
      fUnlitBitmap.convertTo(QImage::Format_ARGB32);
    }
    const QColor surround = clear ? QColor(Qt::transparent) : fBordColor;
    FloodFill(fLedBitmap, {0, 0}, surround);
    FloodFill(fUnlitBitmap, {0, 0}, surround);
  }
  setAttribute(Qt::WA_OpaquePaintEvent, fLedBitmap.format() == QImage::Format_RGB32);
}

void TLedLamp::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.drawImage(rect(), fColorTemp == 0 ? fLedBitmap : fUnlitBitmap);
}

void TLedLamp::SetToTrueColor() {
  fColorTemp = 0;
  update();
}

void TLedLamp::SetToFalseColor() {
  fColorTemp = 1;
  update();
}

void TLedLamp::ChangeValue(bool value) {
  if (value == fValue) {
    return;
  }
  fValue = value;
  if (value) {
    SetToTrueColor();
    if (fBlink) {
      SetLedTimer();
    }
  } else {
    ResetLedTimer();
    SetToFalseColor();
  }
  NotifyLedLampState(this);
}

void TLedLamp::SetLedTimer() {
  if (fLedTimer != nullptr) {
    return;
  }
  SetToTrueColor();
  fLedTimer = new QTimer(this);
  fLedTimer->setInterval(fInterval);
  connect(fLedTimer, &QTimer::timeout, this, &TLedLamp::LedTimerStep);
  if (fInterval > 0) {
    fLedTimer->start();
  }
}

void TLedLamp::ResetLedTimer() {
  if (fLedTimer == nullptr) {
    return;
  }
  // The timer may be the one whose step is running (an OnTimer handler that
  // puts the lamp out): let it go once that step has returned.
  fLedTimer->stop();
  fLedTimer->deleteLater();
  fLedTimer = nullptr;
}

void TLedLamp::LedTimerStep() {
  fColorTemp = 1 - fColorTemp;
  update();
  emit OnTimer();
}

void TLedLamp::ChangeBlink(bool blink) {
  if (blink == fBlink) {
    return;
  }
  if (fValue) {
    SetToTrueColor();
  } else {
    SetToFalseColor();
  }
  fBlink = blink;
  if (blink && fValue) {
    SetLedTimer();
  } else {
    ResetLedTimer();
  }
  NotifyLedLampState(this);
}

void TLedLamp::ChangeBorder(bool bordered) {
  if (bordered == fBordered) {
    return;
  }
  fBordered = bordered;
  CreateLedBitmap();
  update();
}

void TLedLamp::ChangeStyle(TLEDStyle style) {
  if (style == fLEDStyle) {
    return;
  }
  fLEDStyle = style;
  CreateLedBitmap();
  update();
}

void TLedLamp::ChangeColor(QColor& field, QColor color) {
  if (color == field) {
    return;
  }
  const bool blink = fBlink;
  if (blink) {
    ChangeBlink(false);
  }
  field = color;
  CreateLedBitmap();
  ChangeBlink(blink);
  update();
}

void TLedLamp::SetTrueColor(QColor color) { ChangeColor(fTrueColor, color); }

void TLedLamp::SetFalseColor(QColor color) { ChangeColor(fFalseColor, color); }

void TLedLamp::SetBordColor(QColor color) {
  fBordColorFollowsPalette = false;
  ChangeColor(fBordColor, color);
}

void TLedLamp::SetInterval(int ms) {
  fInterval = ms;
  if (fLedTimer == nullptr) {
    return;
  }
  fLedTimer->setInterval(ms);
  if (ms > 0) {
    fLedTimer->start();
  } else {
    // No blink steps: the lamp stays lit, whichever phase it was in.
    fLedTimer->stop();
    SetToTrueColor();
  }
}

void TLedLamp::SetHint(const QString& hint) {
  fHint = hint;
  setToolTip(fShowHint ? fHint : QString());
}

void TLedLamp::SetShowHint(bool show) {
  fShowHint = show;
  setToolTip(fShowHint ? fHint : QString());
}

void TLedLamp::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  emit OnMouseEnter();
}

void TLedLamp::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit OnMouseLeave();
}

void TLedLamp::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  fPressed = event->button() == Qt::LeftButton;
}

void TLedLamp::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  const bool click = fPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  fPressed = false;
  if (click) {
    emit OnClick();
  }
}

void TLedLamp::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The border colour follows the button colour of the window the lamp sits
  // on until it is set.
  if (event->type() == QEvent::PaletteChange && fBordColorFollowsPalette) {
    const QColor button = palette().color(QPalette::Button);
    if (button != fBordColor) {
      fBordColor = button;
      CreateLedBitmap();
      update();
    }
  }
}

}  // namespace karvo
