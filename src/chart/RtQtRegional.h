#pragma once
// The Qt edge of the regional settings (common/Regional.h): fills them from
// a QLocale, and turns the UTF-8 text of the Qt-free code into QString and
// back. Nothing else in the program asks Qt for number or date formats.

#include <QLocale>
#include <QString>
#include <string>
#include <string_view>

#include "common/Regional.h"

namespace karvo {

// The settings of `locale`: separators, the short date and the short and
// long time formats (without their time-zone parts), month and day names.
TRegionalSettings RegionalFromLocale(const QLocale& locale);
// The user's settings, as Qt's system locale gives them.
TRegionalSettings SystemRegionalSettings();
// Fills the program's settings (Regional()) from the system, once, when
// the program starts.
void InstallSystemRegional();

// A Qt time format without its time-zone parts ("t", "tt" ...): a blank or
// brackets left around them go too ("HH:mm:ss t" and "HH:mm:ss (t)" give
// "HH:mm:ss"). Quoted text is kept.
std::string WithoutTimeZone(std::string_view format);

inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string ToUtf8(const QString& text) { return text.toStdString(); }

}  // namespace karvo
