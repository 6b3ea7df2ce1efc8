#include "chart/RtIntegerEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionFrame>

#include <exception>
#include <limits>
#include <utility>

namespace karvo {

namespace {

seams::BeepFn& BeepSlot() {
  static seams::BeepFn fn;
  return fn;
}

// QLineEdit keeps this many pixels free on either side of its text.
constexpr int kLineEditTextMargin = 2;

bool IsClipboardOrUndoKey(int key) {
  return key == Qt::Key_A || key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_X || key == Qt::Key_Z;
}

}  // namespace

void Beep() {
  if (const auto& fn = BeepSlot()) {
    fn();
  } else {
    QApplication::beep();
  }
}

seams::BeepFn seams::SetBeep(BeepFn fn) { return std::exchange(BeepSlot(), std::move(fn)); }

// ---------------------------------------------------------------------------
// TRtCustomNumericEdit

TRtCustomNumericEdit::TRtCustomNumericEdit(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::textChanged, this, &TRtCustomNumericEdit::TextChanged);
  WriteText(FLastValid);
}

QString TRtCustomNumericEdit::Hashes() { return QString(45, QLatin1Char('#')); }

void TRtCustomNumericEdit::WriteText(const QString& text) {
  const bool wasSetting = std::exchange(FSetting, true);
  setText(text);
  FSetting = wasSetting;
  FTyped = false;
}

void TRtCustomNumericEdit::WriteValidText(const QString& text) {
  WriteText(text);
  FLastValid = text;
}

void TRtCustomNumericEdit::ShowError() { WriteText(QStringLiteral("Error")); }

void TRtCustomNumericEdit::Refresh() {
  try {
    RefreshDisplay();
  } catch (const std::exception&) {
    ShowError();
  }
}

int TRtCustomNumericEdit::AvailableTextWidth() const {
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  const QMargins margins = textMargins();
  return contents.width() - margins.left() - margins.right() - 2 * kLineEditTextMargin;
}

bool TRtCustomNumericEdit::TextFits(const QString& text) const {
  return fontMetrics().horizontalAdvance(text) <= AvailableTextWidth();
}

QString TRtCustomNumericEdit::DecimalSeparator() const { return locale().decimalPoint(); }

void TRtCustomNumericEdit::TextChanged(const QString& text) {
  if (FSetting) {
    return;
  }
  FTyped = true;
  if (TakeTypedText(text)) {
    FLastValid = text;
    emit OnValueChanged();
  }
}

// Only a text the operator typed is committed: the text the box shows on
// entering may be the value rounded by the display format, and entering and
// leaving a box must not change its value.
void TRtCustomNumericEdit::Commit() {
  if (FTyped && CorrectValue()) {
    Beep();
    emit OnValueChanged();
  }
}

// Returns true when the key is dropped. Only keys that type a character are
// filtered; navigation, Delete, Escape, function keys and Alt accelerators
// pass untouched.
bool TRtCustomNumericEdit::FilterKey(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    Commit();
    emit OnDblClick();
    Beep();
    return true;
  }
  if (key == Qt::Key_Backspace) {
    return false;
  }
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  const bool control = modifiers.testFlag(Qt::ControlModifier);
  const bool alt = modifiers.testFlag(Qt::AltModifier);
  if (control && !alt && IsClipboardOrUndoKey(key)) {
    return false;
  }
  if (alt && !control) {
    return false;
  }
  const QString text = event->text();
  bool printable = !text.isEmpty();
  for (const QChar c : text) {
    printable = printable && c.isPrint();
  }
  if (printable) {
    for (const QChar c : text) {
      if (!AcceptsChar(c)) {
        Beep();
        return true;
      }
    }
    return false;
  }
  if (control && !alt && key >= Qt::Key_A && key <= Qt::Key_Z) {
    Beep();  // a control character
    return true;
  }
  return false;
}

void TRtCustomNumericEdit::keyPressEvent(QKeyEvent* event) {
  emit OnKeyDown(event->key(), event->modifiers());
  if (FilterKey(event)) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TRtCustomNumericEdit::keyReleaseEvent(QKeyEvent* event) {
  QLineEdit::keyReleaseEvent(event);
  emit OnKeyUp(event->key(), event->modifiers());
}

void TRtCustomNumericEdit::focusInEvent(QFocusEvent* event) {
  if (FEditing) {  // back from a popup or from another application
    QLineEdit::focusInEvent(event);
    return;
  }
  FEditing = true;
  WriteText(FLastValid);
  QLineEdit::focusInEvent(event);
  if (FLastCursorPos > 0) {
    setCursorPosition(FLastCursorPos);
  }
  if (FLastSelLength > 0) {
    setSelection(FLastCursorPos, FLastSelLength);
  }
  if (FNeedSelectAll) {
    selectAll();
    FNeedSelectAll = false;
  }
}

void TRtCustomNumericEdit::focusOutEvent(QFocusEvent* event) {
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) {
    QLineEdit::focusOutEvent(event);
    return;
  }
  FLastCursorPos = hasSelectedText() ? selectionStart() : cursorPosition();
  FLastSelLength = hasSelectedText() ? selectionLength() : 0;
  QLineEdit::focusOutEvent(event);
  FEditing = false;
  Commit();
  Refresh();
  setCursorPosition(0);
}

void TRtCustomNumericEdit::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit OnClick();
  }
}

void TRtCustomNumericEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  QLineEdit::mouseDoubleClickEvent(event);
  emit OnDblClick();
}

void TRtCustomNumericEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  if (!FEditing) {
    Refresh();
  }
}

void TRtCustomNumericEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange && !FEditing) {
    Refresh();
  }
}

// ---------------------------------------------------------------------------
// TRtIntegerEdit

TRtIntegerEdit::TRtIntegerEdit(QWidget* parent) : TRtCustomNumericEdit(parent) {}

QString TRtIntegerEdit::DisplayText(std::int32_t v) { return QString::number(v); }

bool TRtIntegerEdit::ParseInteger(const QString& text, std::int32_t& out) {
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  if (i == text.size()) {
    return false;
  }
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') {
      return false;
    }
    magnitude = magnitude * 10 + (c - u'0');
    if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      return false;
    }
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  out = static_cast<std::int32_t>(value);
  return true;
}

std::optional<std::int32_t> TRtIntegerEdit::ParseInteger(const QString& text) {
  std::int32_t v = 0;
  return ParseInteger(text, v) ? std::optional<std::int32_t>(v) : std::nullopt;
}

void TRtIntegerEdit::SetValue(std::int32_t v) {
  try {
    FNumber.FValue = Clamp(v);
    WriteValidText(DisplayText(FNumber.FValue));
    RefreshDisplay();
    // A value put there by the program while the operator is in the box is
    // selected whole when the box is next entered, to be typed over.
    if (hasFocus()) SetNeedSelectAll();
  } catch (const std::exception&) {
    ShowError();
    return;
  }
  emit OnValueChanged();
}

void TRtIntegerEdit::SetMinValue(std::int32_t v) {
  if (v != FNumber.FMinValue) {
    FNumber.FMinValue = v;
    SetValue(FNumber.FValue);
  }
}

void TRtIntegerEdit::SetMaxValue(std::int32_t v) {
  if (v != FNumber.FMaxValue) {
    FNumber.FMaxValue = v;
    SetValue(FNumber.FValue);
  }
}

bool TRtIntegerEdit::TakeTypedText(const QString& text) { return FNumber.TakeTyped(ParseInteger(text)); }

bool TRtIntegerEdit::CorrectValue() {
  if (!FNumber.Correct(ParseInteger(text()))) {
    return false;
  }
  WriteValidText(DisplayText(FNumber.FValue));
  return true;
}

void TRtIntegerEdit::RefreshDisplay() {
  QString shown = DisplayText(FNumber.FValue);
  if (!Editing() && !TextFits(shown)) {
    shown = Hashes();
  }
  WriteText(shown);
}

bool TRtIntegerEdit::AcceptsChar(QChar c) const {
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

}  // namespace karvo
