// The numeric edit boxes driven as an operator drives them: keys typed into
// a box that has the focus, the focus moved away, Enter, mouse clicks.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "chart/RtFloatEdit.h"
#include "chart/RtIntegerEdit.h"
#include "common/Seams.h"

namespace {

using karvo::TRtCustomNumericEdit;
using karvo::TRtDoubleEdit;
using karvo::TRtIntegerEdit;
namespace seams = karvo::seams;

// A shown, active window with a plain line edit to move the focus to, and a
// beep counter in place of the real beep.
class NumericEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<QWidget>();
    window_->resize(400, 120);
    other_ = new QLineEdit(window_.get());
    other_->setGeometry(200, 10, 100, 21);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }

  template <class Box>
  Box* Add(int width = 63) {
    auto* box = new Box(window_.get());
    box->setGeometry(10, 10, width, 21);
    box->show();
    return box;
  }

  void Enter(QWidget* box, Qt::FocusReason reason = Qt::OtherFocusReason) {
    box->setFocus(reason);
    ASSERT_TRUE(box->hasFocus());
  }
  void Leave() {
    other_->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(other_->hasFocus());
  }
  // Empties the box the way the operator does, then forgets the beeps.
  void Clear(QLineEdit* box) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    beeps_ = 0;
  }
  void Type(QWidget* box, const char* keys) { QTest::keyClicks(box, QString::fromLatin1(keys)); }

  std::unique_ptr<QWidget> window_;
  QLineEdit* other_ = nullptr;
  int beeps_ = 0;
  seams::Scoped<seams::BeepFn> beep_{seams::SetBeep, [this] { ++beeps_; }};
};

// Typing one key at a time into a box with the focus, then leaving it.
struct TypingCase {
  const char* name;
  int min, max, initial;
  const char* keys;
  std::vector<int> valueAfterEachKey;
  int changesWhileTyping, beepsWhileTyping;
  int valueAfterLeaving;
  const char* textAfterLeaving;
  int beepsOnLeaving, changesOnLeaving;
};

TEST_F(NumericEditTest, IntegerBoxFollowsTypingAndClampsOnLeaving) {
  const TypingCase cases[] = {
      {"below the bounds", 10, 3600, 300, "5", {300}, 0, 0, 10, "10", 1, 1},
      {"above the bounds", 10, 3600, 300, "99999", {300, 99, 999, 999, 999}, 2, 0, 3600, "3600", 1, 1},
      {"no parse midway", 0, 0, 0, "12-3", {1, 12, 12, 12}, 2, 0, 12, "12", 0, 0},
      {"negative, no bounds", 0, 0, 7, "-42", {7, -4, -42}, 2, 0, -42, "-42", 0, 0},
      {"letters refused", 10, 3600, 300, "a1b2", {300, 300, 300, 12}, 1, 2, 12, "12", 0, 0},
      {"plus refused", 0, 0, 0, "+5", {0, 5}, 1, 1, 5, "5", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* box = Add<TRtIntegerEdit>(80);
    box->SetMinValue(c.min);
    box->SetMaxValue(c.max);
    box->SetValue(c.initial);
    QSignalSpy changes(box, &TRtCustomNumericEdit::OnValueChanged);
    Enter(box);
    Clear(box);
    changes.clear();
    std::vector<int> values;
    for (const char* k = c.keys; *k != '\0'; ++k) {
      QTest::keyClick(box, *k);
      values.push_back(box->Value());
    }
    EXPECT_EQ(values, c.valueAfterEachKey);
    EXPECT_EQ(changes.count(), c.changesWhileTyping);
    EXPECT_EQ(beeps_, c.beepsWhileTyping);
    beeps_ = 0;
    changes.clear();
    Leave();
    EXPECT_EQ(box->Value(), c.valueAfterLeaving);
    EXPECT_EQ(box->text(), QString::fromLatin1(c.textAfterLeaving));
    EXPECT_EQ(beeps_, c.beepsOnLeaving);
    EXPECT_EQ(changes.count(), c.changesOnLeaving);
    delete box;
  }
}

// The same for the decimal box, in both regional formats.
TEST_F(NumericEditTest, DecimalBoxParsesTheRegionalFormat) {
  struct Case {
    const char* name;
    bool comma;
    double min, max, initial;
    const char* keys;
    int beepsWhileTyping;
    double valueAfterLeaving;
    const char* textAfterLeaving;
  };
  const Case cases[] = {
      {"decimal point", false, 0, 0, 0, "0.5", 0, 0.5, "0.5"},
      {"decimal comma refuses a point", true, 0.001, 100, 0.75, "0.5", 0, 0.75, "0,75"},
      {"decimal comma", true, 0.001, 100, 0.75, "0,5", 0, 0.5, "0,5"},
      {"comma under a decimal point", false, 0, 0, 1, "2,5", 1, 25, "25"},
      {"exponent", false, 0, 0, 0, "-2.5E-1", 0, -0.25, "-0.25"},
      {"clamped", false, 0.001, 100, 1, "1e3", 0, 100, "100"},
      {"letters refused", false, 0, 0, 0, "x7", 1, 7, "7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* box = Add<TRtDoubleEdit>(80);
    if (c.comma) {
      box->setLocale(QLocale(QLocale::German, QLocale::Germany));
    }
    box->SetMinValue(c.min);
    box->SetMaxValue(c.max);
    box->SetValue(c.initial);
    Enter(box);
    Clear(box);
    Type(box, c.keys);
    EXPECT_EQ(beeps_, c.beepsWhileTyping);
    Leave();
    EXPECT_DOUBLE_EQ(box->Value(), c.valueAfterLeaving);
    EXPECT_EQ(box->text(), QString::fromLatin1(c.textAfterLeaving));
    delete box;
  }
}

TEST_F(NumericEditTest, SettingTheValueOrABoundAlwaysNotifies) {
  auto* box = Add<TRtIntegerEdit>();
  QSignalSpy changes(box, &TRtCustomNumericEdit::OnValueChanged);
  box->SetValue(-5);  // no bounds: negatives too
  EXPECT_EQ(box->Value(), -5);
  box->SetValue(-5);  // unchanged, still a notification
  EXPECT_EQ(changes.count(), 2);

  box->SetMaxValue(100);  // 0 .. 100 now: -5 becomes 0
  EXPECT_EQ(box->Value(), 0);
  box->SetValue(75);
  changes.clear();
  box->SetMaxValue(50);
  EXPECT_EQ(box->Value(), 50);
  EXPECT_EQ(box->text(), QStringLiteral("50"));
  EXPECT_EQ(changes.count(), 1);
  box->SetMaxValue(50);  // the same bound: nothing
  EXPECT_EQ(changes.count(), 1);
  EXPECT_EQ(beeps_, 0);  // corrections from code are silent

  auto* decimal = Add<TRtDoubleEdit>();
  decimal->SetMinValue(0.001);
  decimal->SetMaxValue(100);
  decimal->SetValue(0);
  EXPECT_DOUBLE_EQ(decimal->Value(), 0.001);
  EXPECT_EQ(decimal->text(), QStringLiteral("0.001"));
}

TEST_F(NumericEditTest, DecimalBoxShowsItsFormatAtRest) {
  struct Case {
    const char* format;
    int digits;
    double value;
    const char* text;
  };
  const Case cases[] = {
      {"0.##", -1, 1021.456, "1021.46"}, {"0.##", -1, 20, "20"}, {"0.###", -1, 0.01234, "0.012"},
      {"", 2, 3.14159, "3.14"},          {"", -1, 0.75, "0.75"}, {"", -1, 1e20, "1E20"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    auto* box = Add<TRtDoubleEdit>(120);
    box->SetFormat(QString::fromLatin1(c.format));
    box->SetDigits(c.digits);
    box->SetValue(c.value);
    EXPECT_EQ(box->text(), QString::fromLatin1(c.text));
    delete box;
  }
  auto* box = Add<TRtDoubleEdit>(120);
  box->SetValue(1021.456);
  box->SetFormat(QStringLiteral("0.##"));  // a new pattern shows at once at rest
  EXPECT_EQ(box->text(), QStringLiteral("1021.46"));
  box->setLocale(QLocale(QLocale::German, QLocale::Germany));  // and a new locale
  EXPECT_EQ(box->text(), QStringLiteral("1021,46"));
}

TEST_F(NumericEditTest, NumbersTooWideShowShortenedOrHashedAtRestAndInFullWhenEntered) {
  struct Case {
    const char* name;
    bool decimal;
    int width;
    double value;
    bool doHashes;
    enum { Full, Shortened, Hashed } rest;
    const char* entered;
  };
  const Case cases[] = {
      {"integer fits", false, 63, 3600, true, Case::Full, "3600"},
      {"integer too wide", false, 30, 2000000000, true, Case::Hashed, "2000000000"},
      {"decimal shortened", true, 63, 3.14159265358979, true, Case::Shortened, "3.14159265358979"},
      {"decimal fits in no form", true, 24, -1.5e300, true, Case::Hashed, "-1.5E300"},
      {"decimal without hashes", true, 24, -1.5e300, false, Case::Full, "-1.5E300"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRtCustomNumericEdit* box = nullptr;
    if (c.decimal) {
      auto* d = Add<TRtDoubleEdit>(c.width);
      d->SetDoHashes(c.doHashes);
      d->SetValue(c.value);
      box = d;
    } else {
      auto* i = Add<TRtIntegerEdit>(c.width);
      i->SetValue(static_cast<int>(c.value));
      box = i;
    }
    const QString full = QString::fromLatin1(c.entered);
    switch (c.rest) {
      case Case::Full:
        EXPECT_EQ(box->text(), full);
        break;
      case Case::Hashed:
        EXPECT_EQ(box->text(), TRtCustomNumericEdit::Hashes());
        EXPECT_EQ(box->text().size(), 45);
        break;
      case Case::Shortened: {
        const QString shown = box->text();
        EXPECT_LT(shown.size(), full.size());
        EXPECT_FALSE(shown.contains(QLatin1Char('#')));
        EXPECT_TRUE(full.startsWith(shown.left(shown.size() - 1))) << shown.toStdString();
        EXPECT_LE(box->fontMetrics().horizontalAdvance(shown), c.width);
        break;
      }
    }
    Enter(box);
    EXPECT_EQ(box->text(), full);
    Leave();
    EXPECT_EQ(box->text().size() <= full.size(), c.rest != Case::Hashed);
    delete box;
  }
}

TEST_F(NumericEditTest, EnterAlwaysBeepsAndCommits) {
  struct Case {
    const char* name;
    bool decimal;
    const char* keys;
    int beeps;
    double value;
    const char* text;
    int changes;  // from typing and the commit
  };
  const Case cases[] = {
      {"accepted", false, "500", 1, 500, "500", 2},
      {"below the bounds", false, "5", 2, 10, "10", 1},
      {"no number", false, "", 1, 300, "", 0},
      {"decimal accepted", true, "12.5", 1, 12.5, "12.5", 3},
      {"decimal above the bounds", true, "4000", 2, 3600, "3600", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRtCustomNumericEdit* box = nullptr;
    double (*value)(TRtCustomNumericEdit*) = nullptr;
    if (c.decimal) {
      auto* d = Add<TRtDoubleEdit>(80);
      d->SetMinValue(10);
      d->SetMaxValue(3600);
      d->SetValue(300);
      box = d;
      value = [](TRtCustomNumericEdit* b) { return static_cast<TRtDoubleEdit*>(b)->Value(); };
    } else {
      auto* i = Add<TRtIntegerEdit>(80);
      i->SetMinValue(10);
      i->SetMaxValue(3600);
      i->SetValue(300);
      box = i;
      value = [](TRtCustomNumericEdit* b) { return static_cast<double>(static_cast<TRtIntegerEdit*>(b)->Value()); };
    }
    QSignalSpy changes(box, &TRtCustomNumericEdit::OnValueChanged);
    QSignalSpy doubleClicks(box, &TRtCustomNumericEdit::OnDblClick);
    Enter(box);
    Clear(box);
    changes.clear();
    Type(box, c.keys);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(beeps_, c.beeps);
    EXPECT_EQ(value(box), c.value);
    EXPECT_EQ(box->text(), QString::fromLatin1(c.text));  // still being edited
    EXPECT_EQ(changes.count(), c.changes);
    EXPECT_EQ(doubleClicks.count(), 1);
    EXPECT_TRUE(box->hasFocus());
    delete box;
  }
}

TEST_F(NumericEditTest, KeyFilterLetsThroughOnlyWhatCanBelongToANumber) {
  struct Case {
    bool decimal;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool beeps;
  };
  const Case cases[] = {
      {false, Qt::Key_7, Qt::NoModifier, false},         {false, Qt::Key_Minus, Qt::NoModifier, false},
      {false, Qt::Key_Plus, Qt::NoModifier, true},       {false, Qt::Key_Period, Qt::NoModifier, true},
      {false, Qt::Key_E, Qt::NoModifier, true},          {false, Qt::Key_Space, Qt::NoModifier, true},
      {false, Qt::Key_Backspace, Qt::NoModifier, false}, {false, Qt::Key_Delete, Qt::NoModifier, false},
      {false, Qt::Key_Left, Qt::NoModifier, false},      {false, Qt::Key_Home, Qt::NoModifier, false},
      {false, Qt::Key_A, Qt::ControlModifier, false},    {false, Qt::Key_C, Qt::ControlModifier, false},
      {false, Qt::Key_V, Qt::ControlModifier, false},    {false, Qt::Key_X, Qt::ControlModifier, false},
      {false, Qt::Key_Z, Qt::ControlModifier, false},    {false, Qt::Key_B, Qt::ControlModifier, true},
      {true, Qt::Key_Plus, Qt::NoModifier, false},       {true, Qt::Key_Period, Qt::NoModifier, false},
      {true, Qt::Key_E, Qt::NoModifier, false},          {true, Qt::Key_E, Qt::ShiftModifier, false},
      {true, Qt::Key_Comma, Qt::NoModifier, true},       {true, Qt::Key_Slash, Qt::NoModifier, true},
  };
  auto* integer = Add<TRtIntegerEdit>(80);
  auto* decimal = Add<TRtDoubleEdit>(80);
  for (const auto& c : cases) {
    SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
    TRtCustomNumericEdit* box = c.decimal ? static_cast<TRtCustomNumericEdit*>(decimal) : integer;
    Enter(box);
    box->setText(QStringLiteral("12"));
    box->setCursorPosition(1);
    beeps_ = 0;
    QTest::keyClick(box, c.key, c.modifiers);
    EXPECT_EQ(beeps_, c.beeps ? 1 : 0);
    if (c.beeps) {
      EXPECT_EQ(box->text(), QStringLiteral("12"));  // the character was dropped
    }
  }
  // The regional separator passes in a decimal box with a decimal comma.
  decimal->setLocale(QLocale(QLocale::German, QLocale::Germany));
  beeps_ = 0;
  QTest::keyClick(decimal, Qt::Key_Comma);
  EXPECT_EQ(beeps_, 0);
}

TEST_F(NumericEditTest, EnteringRestoresTheTextCaretAndSelectsAfterAProgrammaticSet) {
  auto* box = Add<TRtIntegerEdit>(80);
  box->SetValue(1234);  // set at rest: the box is entered as usual
  Enter(box);
  EXPECT_FALSE(box->hasSelectedText());
  box->SetValue(1234);  // set while the operator is in the box
  Leave();
  Enter(box);
  EXPECT_EQ(box->selectedText(), QStringLiteral("1234"));  // type over what the program put there
  box->setCursorPosition(2);
  Leave();
  EXPECT_EQ(box->cursorPosition(), 0);  // at rest the start shows
  Enter(box);
  EXPECT_EQ(box->cursorPosition(), 2);  // the caret where the operator left it
  EXPECT_FALSE(box->hasSelectedText());
  box->setSelection(1, 2);
  Leave();
  Enter(box);
  EXPECT_EQ(box->selectedText(), QStringLiteral("23"));
  Leave();
}

TEST_F(NumericEditTest, EnteringAndLeavingWithoutTypingKeepsARoundedValue) {
  auto* decimal = Add<TRtDoubleEdit>(80);
  decimal->SetFormat(QStringLiteral("0.##"));
  decimal->SetValue(2.345);
  QSignalSpy changes(decimal, &TRtCustomNumericEdit::OnValueChanged);
  Enter(decimal);
  EXPECT_EQ(decimal->text(), QStringLiteral("2.35"));
  EXPECT_EQ(decimal->selectedText(), QStringLiteral("2.35"));
  QTest::keyClick(decimal, Qt::Key_Return);
  Leave();
  EXPECT_DOUBLE_EQ(decimal->Value(), 2.345);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(beeps_, 1);  // Enter's own beep only
}

TEST_F(NumericEditTest, SettingAValueWhileTheBoxIsEditedKeepsItEditable) {
  auto* decimal = Add<TRtDoubleEdit>(80);
  decimal->SetFormat(QStringLiteral("0.##"));
  Enter(decimal);
  decimal->SetValue(1.005);
  EXPECT_EQ(decimal->text(), QStringLiteral("1.01"));  // the display text, no hashes, no refresh
  Type(decimal, "7");
  EXPECT_DOUBLE_EQ(decimal->Value(), 1.017);

  auto* integer = Add<TRtIntegerEdit>(30);
  Enter(integer);
  integer->SetValue(2000000000);
  EXPECT_EQ(integer->text(), QStringLiteral("2000000000"));  // not hashed while edited
}

TEST_F(NumericEditTest, PopupOrOtherApplicationDoesNotEndTheEditing) {
  auto* box = Add<TRtIntegerEdit>(80);
  box->SetMinValue(10);
  box->SetMaxValue(3600);
  box->SetValue(300);
  Enter(box);
  Clear(box);
  Type(box, "5");
  for (const auto reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(box, &out);
    QFocusEvent in(QEvent::FocusIn, reason);
    QApplication::sendEvent(box, &in);
  }
  EXPECT_TRUE(box->Editing());
  EXPECT_EQ(box->text(), QStringLiteral("5"));
  EXPECT_EQ(beeps_, 0);
  Leave();
  EXPECT_EQ(box->Value(), 10);
}

TEST_F(NumericEditTest, AValueThatCannotBeShownShowsError) {
  auto* box = Add<TRtDoubleEdit>(80);
  box->SetValue(2);
  QSignalSpy changes(box, &TRtCustomNumericEdit::OnValueChanged);
  box->SetValue(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(box->text(), QStringLiteral("Error"));
  box->SetValue(std::numeric_limits<double>::infinity());
  EXPECT_EQ(box->text(), QStringLiteral("Error"));
  EXPECT_EQ(changes.count(), 0);
  box->SetValue(3);
  EXPECT_EQ(box->text(), QStringLiteral("3"));
}

TEST_F(NumericEditTest, NoValueOrBoundThatIsNotFinite) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  auto* box = Add<TRtDoubleEdit>(80);
  box->SetMinValue(0);
  box->SetMaxValue(100);
  box->SetValue(50);
  QSignalSpy changes(box, &TRtCustomNumericEdit::OnValueChanged);
  for (const double bad : {nan, inf, -inf}) {
    box->SetMinValue(bad);
    EXPECT_EQ(box->text(), QStringLiteral("Error"));
    box->SetMaxValue(bad);
    box->SetValue(bad);
    EXPECT_EQ(box->MinValue(), 0.0);
    EXPECT_EQ(box->MaxValue(), 100.0);
    EXPECT_EQ(box->Value(), 50.0);
  }
  EXPECT_EQ(changes.count(), 0);
  box->SetValue(150);  // the bounds still hold
  EXPECT_EQ(box->Value(), 100.0);
}

// Text that does not come from typed keys goes through the same rules.
TEST_F(NumericEditTest, OnlyTheKeyFiltersCharactersGetIn) {
  auto* box = Add<TRtIntegerEdit>(80);
  box->SetMinValue(0);
  box->SetMaxValue(100);
  box->SetValue(50);
  Enter(box);
  box->setCursorPosition(2);
  // Alt with a letter: refused like the letter alone.
  QTest::keyClick(box, Qt::Key_Q, Qt::AltModifier);
  EXPECT_EQ(box->text(), QStringLiteral("50"));
  EXPECT_EQ(beeps_, 1);
  QTest::keyClick(box, Qt::Key_7, Qt::AltModifier);  // a digit is a digit
  EXPECT_EQ(box->text(), QStringLiteral("507"));
  // An input method's text: refused whole when any character is refused.
  QInputMethodEvent letters(QString(), {});
  letters.setCommitString(QStringLiteral("x1"));
  QApplication::sendEvent(box, &letters);
  EXPECT_EQ(box->text(), QStringLiteral("507"));
  EXPECT_EQ(beeps_, 2);
  QInputMethodEvent digits(QString(), {});
  digits.setCommitString(QStringLiteral("1"));
  QApplication::sendEvent(box, &digits);
  EXPECT_EQ(box->text(), QStringLiteral("5071"));
  Leave();
  EXPECT_EQ(box->Value(), 100);

  // A drop on a box at rest is refused: the text the operator reads stays
  // the value's.
  QMimeData data;
  data.setText(QStringLiteral("9999"));
  const QPoint at = box->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box, &enter);
  EXPECT_FALSE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box, &drop);
  EXPECT_EQ(box->text(), QStringLiteral("100"));
  // While it is edited, digits may be dropped, letters not.
  Enter(box);
  data.setText(QStringLiteral("abc"));
  QDragEnterEvent letterDrag(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box, &letterDrag);
  EXPECT_FALSE(letterDrag.isAccepted());
  data.setText(QStringLiteral("12"));
  QDragEnterEvent digitDrag(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box, &digitDrag);
  EXPECT_TRUE(digitDrag.isAccepted());
}

TEST_F(NumericEditTest, ClickAndKeysReachTheOwner) {
  auto* box = Add<TRtIntegerEdit>(80);
  QSignalSpy clicks(box, &TRtCustomNumericEdit::OnClick);
  QSignalSpy doubleClicks(box, &TRtCustomNumericEdit::OnDblClick);
  QSignalSpy keysDown(box, &TRtCustomNumericEdit::OnKeyDown);
  QSignalSpy keysUp(box, &TRtCustomNumericEdit::OnKeyUp);

  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(box->hasFocus());
  QTest::mouseDClick(box, Qt::LeftButton);
  EXPECT_EQ(doubleClicks.count(), 1);

  box->setCursorPosition(0);
  QTest::keyClick(box, Qt::Key_Right);
  ASSERT_EQ(keysDown.count(), 1);
  EXPECT_EQ(keysDown.at(0).at(0).toInt(), int{Qt::Key_Right});
  ASSERT_EQ(keysUp.count(), 1);
  EXPECT_EQ(keysUp.at(0).at(0).toInt(), int{Qt::Key_Right});
  EXPECT_EQ(box->cursorPosition(), 1);  // the key was not consumed
  QTest::keyClick(box, Qt::Key_Q);      // refused keys are reported too
  EXPECT_EQ(keysDown.count(), 2);
}

}  // namespace
