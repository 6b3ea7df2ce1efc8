#pragma once
// Single-line edit boxes that hold a number: the shared machinery of the
// whole-number box TRtIntegerEdit (chart/RtIntegerEdit.h) and the decimal
// box TRtDoubleEdit (chart/RtFloatEdit.h).
//
// A box keeps a typed value next to its text. While the operator edits it
// (the box has the focus) the text is whatever was typed, and the value
// follows every text that parses within the bounds; on leaving the box or
// on Enter the text is parsed once more, clamped into the bounds (with a
// warning beep when that changes the value), and at rest the box shows its
// value in a fixed format, shortened or as "#" characters when it does not
// fit. Only characters that can belong to a number get in, whether typed,
// composed by an input method or dropped. Numbers are written and read by
// the program's regional settings (common/Regional.h).

#include <QLineEdit>
#include <QString>
#include <optional>

#include "chart/RtBoundedNumber.h"
#include "chart/RtQtRegional.h"
#include "common/Regional.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QEvent;
class QFocusEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMimeData;
class QMouseEvent;
class QResizeEvent;

namespace karvo {

// What the whole-number and decimal boxes share: the focus life cycle
// (entering, leaving, caret memory, select-all after a programmatic set),
// the key filter, typing and the commit, and the notifications.
class TRtCustomNumericEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TRtCustomNumericEdit(QWidget* parent = nullptr);

  // Text of the last value accepted; the box shows it when it is entered.
  const QString& LastValid() const { return FLastValid; }
  // True between entering and leaving the box. Losing the focus to a popup
  // (the context menu) or to another application does not leave the box.
  bool Editing() const { return FEditing; }

  // The text shown instead of a number that does not fit: 45 "#".
  static QString Hashes();

 signals:
  // After the value was set from code, by typing, or by the correction on
  // leaving the box or on Enter; also when the value did not change.
  void OnValueChanged();
  // A left click in the box (raised on release).
  void OnClick();
  // A double click, and Enter (after the commit).
  void OnDblClick();
  // Every key press (before the key filter) and release. The key is not
  // consumed; Qt key codes.
  void OnKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void OnKeyUp(int key, Qt::KeyboardModifiers modifiers);

 protected:
  // Parses a text the operator typed; when it is a number within the
  // bounds, stores it as the value and returns true.
  virtual bool TakeTypedText(const QString& text) = 0;
  // The commit of a typed text: parses it; when it is a number whose clamped value
  // differs from the value, stores that, rewrites the text and LastValid and
  // returns true (the caller beeps and notifies).
  virtual bool CorrectValue() = 0;
  // Rewrites the text from the value for the box at rest.
  virtual void RefreshDisplay() = 0;
  // True for a printable character the key filter lets through.
  virtual bool AcceptsChar(QChar c) const = 0;

  // Writes the text without taking it as typing.
  void WriteText(const QString& text);
  // Writes the text and remembers it as the last valid one.
  void WriteValidText(const QString& text);
  // Shown when setting the value from code fails.
  void ShowError();
  // RefreshDisplay, showing "Error" if that fails.
  void Refresh();
  void SetNeedSelectAll() { FNeedSelectAll = true; }
  // Width in pixels that text can take in the box, in the box's font.
  int AvailableTextWidth() const;
  bool TextFits(const QString& text) const;
  // The regional settings the box writes and reads numbers with: the
  // program's (Regional()) unless a locale is set on the box (setLocale).
  const TRegionalSettings& RegionalSettings() const { return FRegional; }
  // The regional decimal separator.
  QString DecimalSeparator() const { return ToQString(FRegional.decimalSeparator); }

  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Text that arrives other than by keys goes through the key filter's
  // rules too: an input method's text, and drops (taken only while the box
  // is being edited).
  void inputMethodEvent(QInputMethodEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void TextChanged(const QString& text);
  void Commit();
  bool FilterKey(QKeyEvent* event);
  // True when every character of `text` passes the key filter.
  bool AcceptsText(const QString& text) const;
  bool AcceptsDrop(const QMimeData* data) const;

  QString FLastValid = QStringLiteral("0");
  bool FSetting = false;
  bool FTyped = false;  // the text was typed since the box last wrote it
  bool FNeedSelectAll = false;
  bool FEditing = false;
  TRegionalSettings FRegional = Regional();
  int FLastCursorPos = 0;
  int FLastSelLength = 0;
};

}  // namespace karvo
