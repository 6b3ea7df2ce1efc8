// The regional settings as the Qt shell fills them from a locale.

#include <gtest/gtest.h>

#include <QLocale>

#include "chart/RtQtRegional.h"
#include "common/DateTime.h"

namespace karvo {
namespace {

TEST(RegionalQt, TimeZonePartsLeaveNothingBehind) {
  const std::pair<const char*, const char*> cases[] = {
      {"HH:mm:ss t", "HH:mm:ss"},
      {"HH:mm:ss (t)", "HH:mm:ss"},
      {"h:mm:ss AP tttt", "h:mm:ss AP"},
      {"t HH.mm.ss", "HH.mm.ss"},
      {"HH 'h' mm 'min' ss 's' [t]", "HH 'h' mm 'min' ss 's'"},
      {"'at' HH:mm", "'at' HH:mm"},
  };
  for (const auto& [format, expected] : cases) EXPECT_EQ(WithoutTimeZone(format), expected) << format;
}

TEST(RegionalQt, SettingsOfALocale) {
  const TRegionalSettings german = RegionalFromLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(german.decimalSeparator, ",");
  EXPECT_EQ(german.thousandSeparator, ".");
  EXPECT_EQ(german.timeSeparator, ":");
  EXPECT_EQ(german.longMonthNames[2], "M\xC3\xA4rz");
  // Whatever the locale, the time formats carry no zone and no empty
  // brackets, and a time written with them shows its minutes.
  const double t = EncodeDateTime({2024, 3, 5, 14, 7, 9, 0});
  for (const QLocale& locale :
       {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German),
        QLocale(QLocale::Estonian), QLocale(QLocale::French, QLocale::Canada), QLocale(QLocale::Finnish)}) {
    SCOPED_TRACE(locale.name().toStdString());
    const TRegionalSettings r = RegionalFromLocale(locale);
    for (const std::string& f : {r.shortTimeFormat, r.longTimeFormat}) {
      EXPECT_EQ(f.find("()"), std::string::npos) << f;
      EXPECT_EQ(f.find('t'), std::string::npos) << f;
      EXPECT_NE(FormatDateTime(f, t, r).find("07"), std::string::npos) << f;
    }
  }
}

}  // namespace
}  // namespace karvo
