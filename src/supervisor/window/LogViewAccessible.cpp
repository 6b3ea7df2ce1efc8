// The program log's accessibility interface: its text, read only.
#include "supervisor/window/LogViewAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>

#include "supervisor/window/LogView.h"

namespace karvo {

namespace {

class TLogViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit TLogViewAccessible(TLogView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && View().accessibleName().isEmpty()) return QStringLiteral("Program log");
    if (t == QAccessible::Value) return View().toPlainText();
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
  }

  // QAccessibleTextInterface
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || View().SelectionStart() < 0) return;
    *startOffset = LineOffset(View().SelectionStart());
    *endOffset = LineOffset(View().SelectionEnd() + 1);
  }
  int selectionCount() const override { return View().SelectionStart() < 0 ? 0 : 1; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return characterCount(); }
  void setCursorPosition(int) override {}
  QString text(int startOffset, int endOffset) const override {
    const QString all = View().toPlainText();
    startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
    endOffset = std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
  }
  int characterCount() const override { return LineOffset(View().LineCount()) - (View().LineCount() > 0 ? 1 : 0); }
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int startIndex, int) override {
    int line = 0;
    for (int offset = 0; line < View().LineCount(); ++line) {
      offset += static_cast<int>(View().Line(line).size()) + 1;
      if (offset > startIndex) break;
    }
    const_cast<TLogView&>(View()).verticalScrollBar()->setValue(line);
  }
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = offset;
    return {};
  }

 private:
  const TLogView& View() const { return *static_cast<const TLogView*>(object()); }
  // The text offset where line `line` starts (the lines joined by "\n").
  int LineOffset(int line) const {
    int offset = 0;
    for (int i = 0; i < line && i < View().LineCount(); ++i) offset += static_cast<int>(View().Line(i).size()) + 1;
    return offset;
  }
};

QAccessibleInterface* LogViewFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("karvo::TLogView") && object && object->isWidgetType())
    return new TLogViewAccessible(static_cast<TLogView*>(object));
  return nullptr;
}

}  // namespace

void InstallLogViewAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(LogViewFactory);
    return true;
  }();
  (void)installed;
}

void NotifyLogViewAppended(TLogView* view, const QStringList& lines) {
  if (!QAccessible::isActive() || lines.isEmpty()) return;
  const QString all = view->toPlainText();
  const QString added = lines.join(QLatin1Char('\n'));
  QAccessibleTextInsertEvent event(view, static_cast<int>(all.size() - added.size()), added);
  QAccessible::updateAccessibility(&event);
}

}  // namespace karvo
