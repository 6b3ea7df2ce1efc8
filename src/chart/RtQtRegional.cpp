#include "chart/RtQtRegional.h"

#include <QRegularExpression>

namespace karvo {

std::string WithoutTimeZone(std::string_view format) {
  // Drop every run of "t" outside quotes.
  std::string out;
  bool quoted = false;
  for (const char c : format) {
    if (c == '\'') quoted = !quoted;
    if (c == 't' && !quoted) continue;
    out += c;
  }
  // Then brackets that held nothing but the zone, and the blanks left over.
  static const QRegularExpression emptyBrackets(QStringLiteral("\\(\\s*\\)|\\[\\s*\\]"));
  static const QRegularExpression blanks(QStringLiteral("\\s+"));
  return ToUtf8(ToQString(out).remove(emptyBrackets).replace(blanks, QStringLiteral(" ")).trimmed());
}

TRegionalSettings RegionalFromLocale(const QLocale& locale) {
  TRegionalSettings r;
  r.decimalSeparator = ToUtf8(locale.decimalPoint());
  r.thousandSeparator = ToUtf8(locale.groupSeparator());
  const QString shortTime = ToQString(WithoutTimeZone(ToUtf8(locale.timeFormat(QLocale::ShortFormat))));
  // The time separator (':' unless found): the first character after the
  // hour that is not a letter.
  const auto h = shortTime.indexOf(QRegularExpression(QStringLiteral("[hH]")));
  if (h >= 0) {
    for (auto i = h; i < shortTime.size(); ++i) {
      if (!shortTime[i].isLetter()) {
        r.timeSeparator = ToUtf8(QString(shortTime[i]));
        break;
      }
    }
  }
  // In the patterns ':' stands for the time separator.
  auto toPattern = [&](QString f) {
    if (r.timeSeparator != ":") f.replace(ToQString(r.timeSeparator), QStringLiteral(":"));
    return ToUtf8(f);
  };
  r.shortDateFormat = ToUtf8(locale.dateFormat(QLocale::ShortFormat));
  r.shortTimeFormat = toPattern(shortTime);
  r.longTimeFormat = toPattern(ToQString(WithoutTimeZone(ToUtf8(locale.timeFormat(QLocale::LongFormat)))));
  for (int m = 1; m <= 12; ++m) {
    r.longMonthNames[static_cast<std::size_t>(m - 1)] = ToUtf8(locale.standaloneMonthName(m, QLocale::LongFormat));
    r.shortMonthNames[static_cast<std::size_t>(m - 1)] = ToUtf8(locale.monthName(m, QLocale::ShortFormat));
  }
  for (int d = 0; d < 7; ++d) {
    const int qtDay = d == 0 ? 7 : d;  // Qt counts Monday 1 .. Sunday 7
    r.longDayNames[static_cast<std::size_t>(d)] = ToUtf8(locale.dayName(qtDay, QLocale::LongFormat));
    r.shortDayNames[static_cast<std::size_t>(d)] = ToUtf8(locale.dayName(qtDay, QLocale::ShortFormat));
  }
  return r;
}

TRegionalSettings SystemRegionalSettings() { return RegionalFromLocale(QLocale::system()); }

void InstallSystemRegional() { SetRegional(SystemRegionalSettings()); }

}  // namespace karvo
