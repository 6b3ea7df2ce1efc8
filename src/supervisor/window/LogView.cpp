#include "supervisor/window/LogView.h"

#include "supervisor/window/LogViewAccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace karvo {

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
  InstallLogViewAccessibility();
}

int TLogView::LineHeight() const { return std::max(1, QFontMetrics(font()).lineSpacing()); }
int TLogView::VisibleLines() const { return std::max(1, viewport()->height() / LineHeight()); }

void TLogView::UpdateScrollBars(bool followEnd) {
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, std::max(0, LineCount() - VisibleLines()));
  v->setPageStep(VisibleLines());
  if (followEnd) v->setValue(v->maximum());
  QScrollBar* h = horizontalScrollBar();
  const int width = fWidestLine * QFontMetrics(font()).horizontalAdvance(QLatin1Char('M')) + 8;
  h->setRange(0, std::max(0, width - viewport()->width()));
  h->setPageStep(viewport()->width());
  h->setSingleStep(QFontMetrics(font()).horizontalAdvance(QLatin1Char('M')));
}

void TLogView::AppendLines(const QStringList& lines) {
  QScrollBar* v = verticalScrollBar();
  const bool atEnd = v->value() >= v->maximum();
  for (const QString& line : lines) {
    fLines.push_back(line);
    fWidestLine = std::max(fWidestLine, static_cast<int>(line.size()));
  }
  int dropped = 0;
  while (LineCount() > fMaximum) {
    fLines.pop_front();
    ++dropped;
  }
  if (dropped > 0) {
    // The lines on screen stay where they are while the operator reads.
    if (!atEnd) v->setValue(v->value() - dropped);
    fAnchor = fAnchor >= 0 ? std::max(0, fAnchor - dropped) : -1;
    fCurrent = fCurrent >= 0 ? std::max(0, fCurrent - dropped) : -1;
  }
  UpdateScrollBars(atEnd);
  viewport()->update();
  NotifyLogViewAppended(this, lines);
}

void TLogView::SetLines(const QStringList& lines) {
  fLines.clear();
  fWidestLine = 0;
  fAnchor = fCurrent = -1;
  AppendLines(lines);
}

QString TLogView::toPlainText() const {
  QStringList all;
  all.reserve(LineCount());
  for (const QString& line : fLines) all << line;
  return all.join(QLatin1Char('\n'));
}

void TLogView::SetMaximumLineCount(int lines) {
  fMaximum = std::max(1, lines);
  AppendLines({});
}

int TLogView::SelectionStart() const { return fAnchor < 0 ? -1 : std::min(fAnchor, fCurrent); }
int TLogView::SelectionEnd() const { return fAnchor < 0 ? -1 : std::max(fAnchor, fCurrent); }

QString TLogView::SelectedText() const {
  QStringList selected;
  for (int i = SelectionStart(); i >= 0 && i <= SelectionEnd() && i < LineCount(); ++i) selected << Line(i);
  return selected.join(QLatin1Char('\n'));
}

void TLogView::SelectAll() {
  if (fLines.empty()) return;
  fAnchor = 0;
  fCurrent = LineCount() - 1;
  viewport()->update();
}

void TLogView::CopySelection() const {
  if (SelectionStart() >= 0) QApplication::clipboard()->setText(SelectedText());
}

int TLogView::LineAt(int y) const {
  const int line = verticalScrollBar()->value() + y / LineHeight();
  return std::clamp(line, 0, std::max(0, LineCount() - 1));
}

void TLogView::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.setFont(font());
  const int height = LineHeight();
  const int ascent = QFontMetrics(font()).ascent();
  const int first = verticalScrollBar()->value();
  const int x = 4 - horizontalScrollBar()->value();
  const QPalette& pal = palette();
  for (int row = 0; row <= VisibleLines() && first + row < LineCount(); ++row) {
    const int i = first + row;
    const int y = row * height;
    const bool selected = i >= SelectionStart() && i <= SelectionEnd() && SelectionStart() >= 0;
    if (selected) p.fillRect(0, y, viewport()->width(), height, pal.color(QPalette::Highlight));
    p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    p.drawText(x, y + ascent, Line(i));
  }
}

void TLogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
  UpdateScrollBars(atEnd);
}

void TLogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || fLines.empty()) return;
  const int line = LineAt(event->position().toPoint().y());
  if (!(event->modifiers() & Qt::ShiftModifier) || fAnchor < 0) fAnchor = line;
  fCurrent = line;
  viewport()->update();
}

void TLogView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || fAnchor < 0) return;
  fCurrent = LineAt(event->position().toPoint().y());
  viewport()->update();
}

void TLogView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
  } else if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

void TLogView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(QStringLiteral("Copy"), this, &TLogView::CopySelection);
  copy->setEnabled(SelectionStart() >= 0);
  menu.addAction(QStringLiteral("Select all"), this, &TLogView::SelectAll);
  menu.exec(event->globalPos());
}

void TLogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateScrollBars(false);
}

}  // namespace karvo
