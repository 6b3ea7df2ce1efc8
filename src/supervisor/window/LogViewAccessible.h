#pragma once
// What accessibility tools learn of the program log (TLogView): read-only
// multi-line text named "Program log", its text the log's lines joined by
// line feeds, with the selected lines as its selection.

#include <QStringList>

namespace karvo {

class TLogView;

// Installs the factory for log views (once; every view does).
void InstallLogViewAccessibility();
// Tells accessibility tools that lines were appended.
void NotifyLogViewAppended(TLogView* view, const QStringList& lines);

}  // namespace karvo
