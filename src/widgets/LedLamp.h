#pragma once
// TLedLamp: a small lamp that shows a Boolean, lit in one colour and unlit in
// another, optionally blinking while lit.
//
// The lamp's pictures come from twelve images the program draws itself (six
// shapes, each with and without a raised frame). Every image follows one
// colour scheme: the glass is one region of pure green RGB (0, 255, 0) that
// holds the centre pixel, with a small white highlight at its upper left; the
// surround outside the lamp is silver RGB (192, 192, 192) and reaches the
// top-left pixel; a black rim separates the two. The lamp recolours the glass
// by a flood fill from the centre, and, for a lamp without frame, the
// surround by a flood fill from the top-left pixel: transparent, so that it
// blends with whatever lies behind it, or BorderColor once that is set.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

class QEnterEvent;
class QEvent;
class QMouseEvent;
class QPaintEvent;
class QTimer;

namespace karvo {

enum class TLEDStyle { LEDSmall, LEDLarge, LEDSqSmall, LEDSqLarge, LEDVertical, LEDHorizontal };

// Width and height of a lamp of the style, in pixels.
QSize LedStyleSize(TLEDStyle style);
// Draws the lamp image of the style, with its raised frame when `bordered`
// (the "B" images) or without (the "N" images).
QImage DrawLedImage(TLEDStyle style, bool bordered);
// Replaces the 4-connected region of the seed pixel's colour by `color`.
void FloodFill(QImage& image, QPoint seed, QColor color);

class TLedLamp : public QWidget {
  Q_OBJECT

 public:
  explicit TLedLamp(QWidget* parent = nullptr);
  ~TLedLamp() override;

  bool Value() const { return fValue; }
  // Lights the lamp (blinking if Blink) or puts it out. Setting the value it
  // has does nothing, so a caller may set it as often as it likes.
  void ChangeValue(bool value);

  bool Blink() const { return fBlink; }
  void ChangeBlink(bool blink);
  bool Bordered() const { return fBordered; }
  void ChangeBorder(bool bordered);
  TLEDStyle LEDStyle() const { return fLEDStyle; }
  // Also sets the lamp's size.
  void ChangeStyle(TLEDStyle style);

  QColor TrueColor() const { return fTrueColor; }
  void SetTrueColor(QColor color);
  QColor FalseColor() const { return fFalseColor; }
  void SetFalseColor(QColor color);
  // Around a lamp without frame. Until it is set, the surround is
  // transparent (the lamp blends with what lies behind it) and this reports
  // the button colour of the lamp's palette.
  QColor BorderColor() const { return fBordColor; }
  void SetBordColor(QColor color);

  // Blink period (one phase) in milliseconds; 0 or less stops the blinking
  // steps while the lamp stays lit.
  int Interval() const { return fInterval; }
  void SetInterval(int ms);

  // The hint (tool tip), shown while ShowHint is true.
  QString Hint() const { return fHint; }
  void SetHint(const QString& hint);
  bool ShowHint() const { return fShowHint; }
  void SetShowHint(bool show);

  // Which picture is shown: 0 the lit one, 1 the unlit one.
  int ColorTemp() const { return fColorTemp; }
  const QImage& LitImage() const { return fLedBitmap; }
  const QImage& UnlitImage() const { return fUnlitBitmap; }
  // The blink timer; it exists only while the lamp blinks.
  const QTimer* LedTimer() const { return fLedTimer; }
  // One blink step: the other picture, then OnTimer. The blink timer calls
  // it; tests may call it directly instead of waiting.
  void LedTimerStep();

  QSize sizeHint() const override;

 signals:
  void OnTimer();
  void OnMouseEnter();
  void OnMouseLeave();
  void OnClick();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void CreateLedBitmap();
  void SetToTrueColor();
  void SetToFalseColor();
  void SetLedTimer();
  void ResetLedTimer();
  // Stores a colour through the sequence every colour setter follows.
  void ChangeColor(QColor& field, QColor color);

  QColor fTrueColor{0, 255, 0};
  QColor fFalseColor{192, 192, 192};
  QColor fBordColor;
  bool fBordColorFollowsPalette = true;
  bool fBordered = true;
  bool fBlink = true;
  bool fValue = false;
  TLEDStyle fLEDStyle = TLEDStyle::LEDSmall;
  int fInterval = 1000;
  QTimer* fLedTimer = nullptr;  // a child of the lamp
  QImage fLedBitmap;
  QImage fUnlitBitmap;
  int fColorTemp = 1;
  QString fHint;
  bool fShowHint = false;
  bool fPressed = false;
};

}  // namespace karvo
