#include "chart/RtCustomNumericEdit.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <exception>
#include <utility>

#include "common/Seams.h"

namespace karvo {

namespace {

// QLineEdit keeps this many pixels free on either side of its text.
constexpr int kLineEditTextMargin = 2;

bool IsClipboardOrUndoKey(int key) {
  return key == Qt::Key_A || key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_X || key == Qt::Key_Z;
}

}  // namespace

TRtCustomNumericEdit::TRtCustomNumericEdit(QWidget* parent) : QLineEdit(parent) {
  // The program's warning beep is Qt's unless something else is installed.
  static const bool beepSet = [] {
    seams::SetDefaultBeep([] { QApplication::beep(); });
    return true;
  }();
  (void)beepSet;
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

bool TRtCustomNumericEdit::AcceptsText(const QString& text) const {
  for (const QChar c : text)
    if (!AcceptsChar(c)) return false;
  return true;
}

// Returns true when the key is dropped. Only keys that type a character are
// filtered; navigation, Delete, Escape and function keys pass untouched.
// A character typed with Alt (or AltGr) is filtered like any other: what
// Qt would insert for it must be a character the box takes.
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
  const QString text = event->text();
  bool printable = !text.isEmpty();
  for (const QChar c : text) {
    printable = printable && c.isPrint();
  }
  if (printable) {
    if (AcceptsText(text)) return false;
    Beep();
    return true;
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
  // A locale set on the box brings its own separators.
  if (event->type() == QEvent::LocaleChange) FRegional = RegionalFromLocale(locale());
  if ((event->type() == QEvent::FontChange || event->type() == QEvent::LocaleChange) && !FEditing) Refresh();
}

void TRtCustomNumericEdit::inputMethodEvent(QInputMethodEvent* event) {
  // A composed text is committed only when the key filter would have let
  // each of its characters through.
  if (!event->commitString().isEmpty() && !AcceptsText(event->commitString())) {
    Beep();
    QInputMethodEvent refused(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&refused);
    return;
  }
  QLineEdit::inputMethodEvent(event);
}

bool TRtCustomNumericEdit::AcceptsDrop(const QMimeData* data) const {
  return FEditing && !isReadOnly() && data != nullptr && data->hasText() && AcceptsText(data->text());
}

void TRtCustomNumericEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (!AcceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  QLineEdit::dragEnterEvent(event);
}

void TRtCustomNumericEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (!AcceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  QLineEdit::dragMoveEvent(event);
}

void TRtCustomNumericEdit::dropEvent(QDropEvent* event) {
  if (!AcceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  QLineEdit::dropEvent(event);
}

}  // namespace karvo
