#pragma once
// The program log's view (MemoLog): read-only lines of text in a monospaced
// font with a vertical scroll bar, keeping the newest MaximumLineCount()
// lines. Appending a line costs the same with 200,000 lines as with ten:
// lines are kept as they are and only the visible ones are laid out, when
// they are painted. The view follows the newest line unless the operator
// has scrolled up. Whole lines are selected with the mouse (Shift extends,
// Ctrl+A selects all) and copied with Ctrl+C or the context menu.

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <deque>

namespace karvo {

class TLogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TLogView(QWidget* parent = nullptr);

  void AppendLines(const QStringList& lines);
  void AppendLine(const QString& line) { AppendLines(QStringList{line}); }
  void SetLines(const QStringList& lines);
  int LineCount() const { return static_cast<int>(fLines.size()); }
  const QString& Line(int i) const { return fLines[static_cast<std::size_t>(i)]; }
  // All lines joined by line feeds.
  QString toPlainText() const;

  int MaximumLineCount() const { return fMaximum; }
  void SetMaximumLineCount(int lines);

  // The selected lines, first and last (-1 when none).
  int SelectionStart() const;
  int SelectionEnd() const;
  QString SelectedText() const;
  void SelectAll();
  void CopySelection() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int LineHeight() const;
  int VisibleLines() const;
  int LineAt(int y) const;
  void UpdateScrollBars(bool followEnd);

  std::deque<QString> fLines;
  int fMaximum = 200000;
  int fWidestLine = 0;  // characters
  int fAnchor = -1, fCurrent = -1;
};

}  // namespace karvo
