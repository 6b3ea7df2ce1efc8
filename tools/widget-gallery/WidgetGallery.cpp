// karvo-widget-gallery [--screenshot FILE [--check]]
// Shows the six lamp styles lit and unlit, with and without frame, the lamp
// images magnified, the status lamps as the main window sets them, and a few
// numeric edit boxes (bounded, hashed, patterned, decimal comma, shortened).
// With --screenshot the window writes a picture of itself to FILE and quits;
// with --check it then reads the picture back and exits 1 unless it has the
// window's size and the status lamps show green, red, green at their glass.

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <vector>

#include "chart/RtFloatEdit.h"
#include "chart/RtIntegerEdit.h"
#include "widgets/LedLamp.h"

namespace {

using karvo::TLedLamp;
using karvo::TLEDStyle;

struct StyleName {
  TLEDStyle style;
  const char* name;
};

constexpr StyleName kStyles[] = {
    {TLEDStyle::LEDSmall, "LEDSmall"},       {TLEDStyle::LEDLarge, "LEDLarge"},
    {TLEDStyle::LEDSqSmall, "LEDSqSmall"},   {TLEDStyle::LEDSqLarge, "LEDSqLarge"},
    {TLEDStyle::LEDVertical, "LEDVertical"}, {TLEDStyle::LEDHorizontal, "LEDHorizontal"},
};

TLedLamp* Lamp(QWidget* parent, TLEDStyle style, bool bordered, bool lit, bool blink) {
  auto* lamp = new TLedLamp(parent);
  lamp->ChangeStyle(style);
  lamp->ChangeBorder(bordered);
  lamp->ChangeBlink(blink);
  if (!bordered) {
    lamp->SetFalseColor(QColor(255, 0, 0));
  }
  lamp->ChangeValue(lit);
  return lamp;
}

QLabel* Magnified(QWidget* parent, const QImage& image) {
  auto* label = new QLabel(parent);
  label->setPixmap(QPixmap::fromImage(image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
  return label;
}

QWidget* LampsBox(QWidget* parent, bool blink) {
  auto* box = new QGroupBox(QStringLiteral("LED lamps"), parent);
  auto* grid = new QGridLayout(box);
  const char* headings[] = {"Style",          "Framed lit",       "Framed unlit", "Unframed lit",
                            "Unframed unlit", "On a blue window", "Lit, 4x",      "Unlit unframed, 4x"};
  for (int c = 0; c < 8; ++c) {
    grid->addWidget(new QLabel(QString::fromLatin1(headings[c]), box), 0, c);
  }
  int row = 1;
  for (const auto& [style, name] : kStyles) {
    grid->addWidget(new QLabel(QString::fromLatin1(name), box), row, 0);
    grid->addWidget(Lamp(box, style, true, true, blink), row, 1, Qt::AlignCenter);
    grid->addWidget(Lamp(box, style, true, false, blink), row, 2, Qt::AlignCenter);
    grid->addWidget(Lamp(box, style, false, true, blink), row, 3, Qt::AlignCenter);
    auto* unlit = Lamp(box, style, false, false, blink);
    grid->addWidget(unlit, row, 4, Qt::AlignCenter);
    // An unframed lamp takes the button colour of the window it sits on.
    auto* blue = new QFrame(box);
    QPalette palette = blue->palette();
    palette.setColor(QPalette::Window, QColor(120, 160, 230));
    palette.setColor(QPalette::Button, QColor(120, 160, 230));
    blue->setPalette(palette);
    blue->setAutoFillBackground(true);
    auto* blueLayout = new QHBoxLayout(blue);
    blueLayout->setContentsMargins(6, 3, 6, 3);
    blueLayout->addWidget(Lamp(blue, style, false, true, blink));
    blueLayout->addWidget(Lamp(blue, style, false, false, blink));
    grid->addWidget(blue, row, 5, Qt::AlignCenter);
    auto* framed = Lamp(box, style, true, true, false);
    framed->hide();
    grid->addWidget(Magnified(box, framed->LitImage()), row, 6, Qt::AlignCenter);
    grid->addWidget(Magnified(box, unlit->UnlitImage()), row, 7, Qt::AlignCenter);
    ++row;
  }
  return box;
}

std::vector<TLedLamp*> statusLamps;

QWidget* StatusBox(QWidget* parent) {
  auto* box = new QGroupBox(QStringLiteral("Status lamps as on the main window"), parent);
  auto* layout = new QHBoxLayout(box);
  layout->addWidget(new QLabel(QStringLiteral("Stable"), box));
  const char* hints[] = {"Temperature close to target setpoint", "Very low rate of change", "Stable for a while"};
  const bool lit[] = {true, false, true};
  for (int i = 0; i < 3; ++i) {
    auto* lamp = new TLedLamp(box);
    lamp->ChangeStyle(TLEDStyle::LEDLarge);
    lamp->ChangeBorder(false);
    lamp->ChangeBlink(false);
    lamp->SetFalseColor(QColor(255, 0, 0));
    lamp->SetHint(QString::fromLatin1(hints[i]));
    lamp->SetShowHint(true);
    lamp->ChangeValue(lit[i]);
    layout->addWidget(lamp);
    statusLamps.push_back(lamp);
  }
  layout->addStretch();
  return box;
}

QWidget* EditsBox(QWidget* parent) {
  auto* box = new QGroupBox(QStringLiteral("Numeric edit boxes"), parent);
  auto* grid = new QGridLayout(box);
  int row = 0;
  auto add = [&](const char* caption, QWidget* edit, int width) {
    edit->setFixedSize(width, 21);
    grid->addWidget(new QLabel(QString::fromLatin1(caption), box), row, 0, Qt::AlignRight);
    grid->addWidget(edit, row, 1, Qt::AlignLeft);
    ++row;
  };

  auto* bounded = new karvo::TRtIntegerEdit(box);
  add("Whole number, 10 .. 3600", bounded, 68);
  bounded->SetMinValue(10);
  bounded->SetMaxValue(3600);
  bounded->SetValue(300);

  auto* hashed = new karvo::TRtIntegerEdit(box);
  add("Whole number too wide for its box", hashed, 42);
  hashed->SetValue(2000000000);

  auto* pattern = new karvo::TRtDoubleEdit(box);
  add("Decimal, pattern \"0.##\", 1021.456", pattern, 63);
  pattern->SetFormat(QStringLiteral("0.##"));
  pattern->SetValue(1021.456);

  auto* comma = new karvo::TRtDoubleEdit(box);
  comma->setLocale(QLocale(QLocale::German, QLocale::Germany));
  add("Decimal comma, pattern \"0.###\", -0.0123", comma, 63);
  comma->SetFormat(QStringLiteral("0.###"));
  comma->SetValue(-0.0123);

  auto* commaBounded = new karvo::TRtDoubleEdit(box);
  commaBounded->setLocale(QLocale(QLocale::German, QLocale::Germany));
  add("Decimal comma, 0.001 .. 100", commaBounded, 68);
  commaBounded->SetMinValue(0.001);
  commaBounded->SetMaxValue(100);
  commaBounded->SetValue(0.75);

  auto* shortened = new karvo::TRtDoubleEdit(box);
  add("Decimal, general format, shortened", shortened, 63);
  shortened->SetValue(3.14159265358979);

  auto* decimalHashed = new karvo::TRtDoubleEdit(box);
  add("Decimal that fits in no form", decimalHashed, 24);
  decimalHashed->SetValue(-1.5e300);

  auto* readOnly = new karvo::TRtDoubleEdit(box);
  readOnly->setReadOnly(true);
  add("Read-only, pattern \"0.##\", 20", readOnly, 63);
  readOnly->SetFormat(QStringLiteral("0.##"));
  readOnly->SetValue(20);

  grid->setColumnStretch(2, 1);
  return box;
}

// The picture as written: the window's size, the status lamps' colours.
bool CheckPicture(const QString& file, const QWidget& window) {
  QImage picture(file);
  const QSize expected = window.size() * window.devicePixelRatio();
  if (picture.size() != expected) {
    std::fprintf(stderr, "picture is %dx%d, the window %dx%d\n", picture.width(), picture.height(), expected.width(),
                 expected.height());
    return false;
  }
  bool ok = statusLamps.size() == 3;
  for (const TLedLamp* lamp : statusLamps) {
    const QPoint glass = lamp->mapTo(&window, lamp->rect().center()) * window.devicePixelRatio();
    const QRgb want = lamp->Value() ? qRgb(0, 255, 0) : qRgb(255, 0, 0);
    const QRgb seen = picture.pixel(glass);
    if ((seen & 0xFFFFFF) != (want & 0xFFFFFF)) {
      std::fprintf(stderr, "status lamp at %d,%d shows %06x, not %06x\n", glass.x(), glass.y(), seen & 0xFFFFFF,
                   want & 0xFFFFFF);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString screenshot;
  bool check = false;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--screenshot") && i + 1 < args.size()) {
      screenshot = args[++i];
    } else if (args[i] == QStringLiteral("--check")) {
      check = true;
    } else {
      std::fprintf(stderr, "usage: karvo-widget-gallery [--screenshot FILE [--check]]\n");
      return 2;
    }
  }

  QWidget window;
  window.setWindowTitle(QStringLiteral("Widget gallery : Karvo Temp"));
  auto* layout = new QVBoxLayout(&window);
  const bool blink = screenshot.isEmpty();  // a picture shows every lamp steady
  layout->addWidget(LampsBox(&window, blink));
  auto* lower = new QHBoxLayout;
  lower->addWidget(EditsBox(&window));
  lower->addWidget(StatusBox(&window), 0, Qt::AlignTop);
  layout->addLayout(lower);
  window.show();

  if (screenshot.isEmpty()) {
    return QApplication::exec();
  }
  int status = 0;
  // Every box at rest: the focus goes to the window itself.
  window.setFocusPolicy(Qt::StrongFocus);
  window.setFocus();
  QTimer::singleShot(200, &window, [&] {
    if (!window.grab().save(screenshot)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(screenshot));
      status = 1;
    } else if (check) {
      status = CheckPicture(screenshot, window) ? 0 : 1;
    }
    QApplication::quit();
  });
  QApplication::exec();
  return status;
}
