#pragma once
// Layout helpers shared by the window's layout sources (not part of the
// window's interface).

#include <QGridLayout>
#include <QLabel>
#include <QWidget>

#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

template <class W, class... Args>
W* TFormModbus::Make(const char* name, QWidget* parent, Args&&... args) {
  W* w = new W(std::forward<Args>(args)..., parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

// A grid whose cells sit at the top left of their page, with the design's
// spacing (in design pixels of the window).
QGridLayout* PageGrid(TFormModbus& form, QWidget* page);

// A text of the source, UTF-8 like all of the program's text ("ºC"), as a
// QString.
inline QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The members are named like their controls; the macros keep the member
// and the object name the same.
#define KARVO_LABEL(member, parent, ...) member = MakeLabel(#member, parent, __VA_ARGS__)
#define KARVO_BUTTON(member, parent, ...) member = MakeButton(#member, parent, __VA_ARGS__)
#define KARVO_INTEGER(member, parent, ...) member = MakeIntegerEdit(#member, parent, __VA_ARGS__)
#define KARVO_DOUBLE(member, parent, ...) member = MakeDoubleEdit(#member, parent, __VA_ARGS__)
#define KARVO_MAKE(member, type, parent, ...) member = Make<type>(#member, parent __VA_OPT__(, ) __VA_ARGS__)

}  // namespace karvo
