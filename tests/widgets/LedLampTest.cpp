// The LED lamp: its images and their recolouring, the blink sequence, the
// setters and the notifications.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "widgets/LedLamp.h"

namespace {

using karvo::TLedLamp;
using karvo::TLEDStyle;

const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kSilver = qRgb(192, 192, 192);

constexpr TLEDStyle kStyles[] = {TLEDStyle::LEDSmall,   TLEDStyle::LEDLarge,    TLEDStyle::LEDSqSmall,
                                 TLEDStyle::LEDSqLarge, TLEDStyle::LEDVertical, TLEDStyle::LEDHorizontal};

QPoint Centre(const QImage& image) { return {image.width() / 2, image.height() / 2}; }

int Count(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      n += image.pixel(x, y) == colour ? 1 : 0;
    }
  }
  return n;
}

// What the lamp relies on in every one of the twelve images: the green glass
// holds the centre, is closed off by the rim from the silver surround that
// reaches the top-left pixel, and carries a white highlight; the framed ones
// are light at the top left and grey at the bottom right.
TEST(LedImages, TwelveImagesFollowTheColourScheme) {
  for (const TLEDStyle style : kStyles) {
    for (const bool bordered : {true, false}) {
      SCOPED_TRACE(static_cast<int>(style) * 2 + (bordered ? 0 : 1));
      const QImage image = karvo::DrawLedImage(style, bordered);
      ASSERT_EQ(image.size(), karvo::LedStyleSize(style));
      EXPECT_EQ(image.pixel(Centre(image)), kGreen);
      EXPECT_EQ(image.pixel(0, 0), kSilver);

      // All the green is one region around the centre, and it has a
      // highlight: filling from the centre leaves no green behind and
      // touches a white pixel above and left of the centre.
      QImage glass = image;
      karvo::FloodFill(glass, Centre(image), QColor(1, 2, 3));
      EXPECT_EQ(Count(glass, kGreen), 0);
      const int glassPixels = Count(glass, qRgb(1, 2, 3));
      EXPECT_GE(glassPixels, 16);
      bool highlight = false;
      for (int y = 1; y < image.height() / 2; ++y) {
        for (int x = 1; x < image.width() / 2; ++x) {
          highlight = highlight || (image.pixel(x, y) == qRgb(255, 255, 255) && glass.pixel(x + 1, y) == qRgb(1, 2, 3));
        }
      }
      EXPECT_TRUE(highlight);

      // The surround does not leak into the glass, and the whole image edge
      // belongs to it for a lamp without frame.
      QImage surround = image;
      karvo::FloodFill(surround, {0, 0}, QColor(4, 5, 6));
      EXPECT_EQ(surround.pixel(Centre(image)), kGreen);
      EXPECT_EQ(Count(surround, kGreen), Count(image, kGreen));
      if (!bordered) {
        const int w = image.width() - 1;
        const int h = image.height() - 1;
        for (const QPoint p : {QPoint(w, 0), QPoint(0, h), QPoint(w, h), QPoint(w / 2, 0), QPoint(0, h / 2)}) {
          EXPECT_EQ(surround.pixel(p), qRgb(4, 5, 6));
        }
      } else {
        EXPECT_EQ(image.pixel(1, 1), qRgb(255, 255, 255));
        EXPECT_EQ(image.pixel(image.width() - 2, image.height() - 2), qRgb(128, 128, 128));
      }
      EXPECT_GT(Count(image, qRgb(0, 0, 0)), 0);  // the rim
    }
  }
}

TEST(LedLamp, StylesSetTheSize) {
  const QSize sizes[] = {{16, 16}, {22, 22}, {16, 16}, {22, 22}, {16, 22}, {22, 16}};
  TLedLamp lamp;
  EXPECT_EQ(lamp.size(), QSize(16, 16));
  for (int i = 5; i >= 0; --i) {
    lamp.ChangeStyle(kStyles[i]);
    EXPECT_EQ(lamp.size(), sizes[i]);
    EXPECT_EQ(lamp.LitImage().size(), sizes[i]);
  }
}

// The pictures recoloured, and the lamp painting them.
TEST(LedLamp, RecolouringFillsGlassAndSurround) {
  struct Case {
    TLEDStyle style;
    bool bordered;
    QRgb corner;  // expected at (0, 0)
  };
  const QRgb blue = qRgb(0, 0, 200);
  const Case cases[] = {
      {TLEDStyle::LEDLarge, false, blue},
      {TLEDStyle::LEDVertical, false, blue},
      {TLEDStyle::LEDSqSmall, true, kSilver},  // the frame keeps its silver surround
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.style));
    QWidget window;
    auto* lamp = new TLedLamp(&window);
    lamp->ChangeStyle(c.style);
    lamp->ChangeBorder(c.bordered);
    lamp->ChangeBlink(false);
    lamp->SetBordColor(QColor(blue));
    lamp->SetTrueColor(QColor(255, 128, 0));
    lamp->SetFalseColor(QColor(255, 0, 0));
    const QPoint centre = Centre(lamp->LitImage());
    EXPECT_EQ(lamp->LitImage().pixel(centre), qRgb(255, 128, 0));
    EXPECT_EQ(lamp->UnlitImage().pixel(centre), qRgb(255, 0, 0));
    EXPECT_EQ(lamp->LitImage().pixel(0, 0), c.corner);
    EXPECT_EQ(lamp->UnlitImage().pixel(0, 0), c.corner);

    window.show();
    const QImage unlit = lamp->grab().toImage();
    EXPECT_EQ(unlit.pixel(centre), qRgb(255, 0, 0));
    lamp->ChangeValue(true);
    const QImage lit = lamp->grab().toImage();
    EXPECT_EQ(lit.pixel(centre), qRgb(255, 128, 0));
    EXPECT_EQ(lit.pixel(0, 0), c.corner);
  }
}

TEST(LedLamp, UnframedLampBlendsWithWhatIsBehindIt) {
  // A group box on a window of another colour: around the glass shows the
  // box's own background, not a square of the button colour.
  QWidget window;
  QPalette palette = window.palette();
  palette.setColor(QPalette::Window, QColor(10, 20, 30));
  palette.setColor(QPalette::Button, QColor(200, 200, 200));
  window.setPalette(palette);
  window.setAutoFillBackground(true);
  auto* box = new QWidget(&window);
  box->setGeometry(10, 10, 80, 60);
  QPalette boxPalette = box->palette();
  boxPalette.setColor(QPalette::Window, QColor(90, 140, 70));
  box->setPalette(boxPalette);
  box->setAutoFillBackground(true);
  auto* lamp = new TLedLamp(box);
  lamp->ChangeStyle(TLEDStyle::LEDLarge);
  lamp->ChangeBorder(false);
  lamp->move(20, 20);
  EXPECT_EQ(lamp->BorderColor(), QColor(200, 200, 200));  // reported as the button colour
  EXPECT_EQ(qAlpha(lamp->UnlitImage().pixel(0, 0)), 0);
  window.resize(120, 100);
  window.show();
  const QImage shown = window.grab().toImage();
  EXPECT_EQ(shown.pixel(30, 30), qRgb(90, 140, 70));    // the lamp's corner
  EXPECT_EQ(shown.pixel(41, 41), qRgb(192, 192, 192));  // its unlit glass
  EXPECT_EQ(shown.pixel(5, 5), qRgb(10, 20, 30));       // the window

  // Once set, the border colour is painted around the glass.
  lamp->SetBordColor(QColor(70, 80, 90));
  EXPECT_EQ(lamp->LitImage().pixel(0, 0), qRgb(70, 80, 90));
  EXPECT_EQ(window.grab().toImage().pixel(30, 30), qRgb(70, 80, 90));
}

TEST(LedLamp, BlinkStartsLitAndAlternates) {
  TLedLamp lamp;
  QSignalSpy steps(&lamp, &TLedLamp::OnTimer);
  EXPECT_FALSE(lamp.Value());
  EXPECT_EQ(lamp.ColorTemp(), 1);
  EXPECT_EQ(lamp.LedTimer(), nullptr);

  lamp.ChangeValue(true);
  ASSERT_NE(lamp.LedTimer(), nullptr);
  EXPECT_EQ(lamp.LedTimer()->interval(), 1000);
  std::vector<int> phases{lamp.ColorTemp()};
  for (int i = 0; i < 3; ++i) {
    lamp.LedTimerStep();
    phases.push_back(lamp.ColorTemp());
  }
  EXPECT_EQ(phases, (std::vector<int>{0, 1, 0, 1}));
  EXPECT_EQ(steps.count(), 3);

  // Set true again: the blink goes on where it was.
  const QTimer* timer = lamp.LedTimer();
  lamp.ChangeValue(true);
  EXPECT_EQ(lamp.ColorTemp(), 1);
  EXPECT_EQ(lamp.LedTimer(), timer);
  lamp.LedTimerStep();
  EXPECT_EQ(lamp.ColorTemp(), 0);

  // Put out in the lit phase: unlit at once, no timer.
  lamp.ChangeValue(false);
  EXPECT_EQ(lamp.ColorTemp(), 1);
  EXPECT_EQ(lamp.LedTimer(), nullptr);
}

TEST(LedLamp, ColourChangeRestartsTheBlinkLitFirst) {
  TLedLamp lamp;
  lamp.ChangeValue(true);
  lamp.LedTimerStep();
  ASSERT_EQ(lamp.ColorTemp(), 1);
  lamp.SetTrueColor(QColor(0, 255, 0));  // the same colour: nothing
  EXPECT_EQ(lamp.ColorTemp(), 1);
  lamp.SetTrueColor(QColor(255, 255, 0));
  EXPECT_EQ(lamp.ColorTemp(), 0);
  EXPECT_NE(lamp.LedTimer(), nullptr);
  EXPECT_TRUE(lamp.Blink());
  lamp.LedTimerStep();
  lamp.SetFalseColor(QColor(255, 0, 0));
  EXPECT_EQ(lamp.ColorTemp(), 0);
}

TEST(LedLamp, BlinkSwitchAndInterval) {
  TLedLamp lamp;
  lamp.ChangeBlink(false);  // as the main window's lamps
  lamp.ChangeValue(true);
  EXPECT_EQ(lamp.LedTimer(), nullptr);
  EXPECT_EQ(lamp.ColorTemp(), 0);
  lamp.ChangeValue(false);
  EXPECT_EQ(lamp.ColorTemp(), 1);

  lamp.ChangeBlink(true);  // unlit: still no timer
  EXPECT_EQ(lamp.LedTimer(), nullptr);
  lamp.ChangeValue(true);
  ASSERT_NE(lamp.LedTimer(), nullptr);
  lamp.SetInterval(250);
  EXPECT_EQ(lamp.LedTimer()->interval(), 250);
  EXPECT_TRUE(lamp.LedTimer()->isActive());
  lamp.LedTimerStep();  // the dark phase
  EXPECT_EQ(lamp.ColorTemp(), 1);
  lamp.SetInterval(0);  // no more steps: lit, not left dark
  EXPECT_EQ(lamp.ColorTemp(), 0);
  EXPECT_FALSE(lamp.LedTimer()->isActive());
  lamp.SetInterval(250);
  lamp.LedTimerStep();
  lamp.ChangeBlink(false);  // steady lit at once
  EXPECT_EQ(lamp.ColorTemp(), 0);
  EXPECT_EQ(lamp.LedTimer(), nullptr);
}

TEST(LedLamp, BlinkTimerDrivesTheSteps) {
  TLedLamp lamp;
  QSignalSpy steps(&lamp, &TLedLamp::OnTimer);
  lamp.SetInterval(10);
  lamp.ChangeValue(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return steps.count() >= 3; }, 10000));
  // A handler may put the lamp out from within the step.
  QObject::connect(&lamp, &TLedLamp::OnTimer, &lamp, [&] { lamp.ChangeValue(false); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return !lamp.Value(); }, 10000));
  EXPECT_EQ(lamp.LedTimer(), nullptr);
  EXPECT_EQ(lamp.ColorTemp(), 1);
}

TEST(LedLamp, MouseAndHint) {
  QWidget window;
  auto* lamp = new TLedLamp(&window);
  window.show();
  QSignalSpy clicks(lamp, &TLedLamp::OnClick);
  QSignalSpy enters(lamp, &TLedLamp::OnMouseEnter);
  QSignalSpy leaves(lamp, &TLedLamp::OnMouseLeave);
  QTest::mouseClick(lamp, Qt::LeftButton);
  QTest::mouseClick(lamp, Qt::RightButton);
  EXPECT_EQ(clicks.count(), 1);
  QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
  QApplication::sendEvent(lamp, &enter);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(lamp, &leave);
  EXPECT_EQ(enters.count(), 1);
  EXPECT_EQ(leaves.count(), 1);

  lamp->SetHint(QStringLiteral("Stable for a while"));
  EXPECT_TRUE(lamp->toolTip().isEmpty());
  lamp->SetShowHint(true);
  EXPECT_EQ(lamp->toolTip(), QStringLiteral("Stable for a while"));
}

}  // namespace
