#pragma once
// The user's regional settings and everything written or read with them:
// numbers (general, fixed, by pattern, shortened, the compact form of axis
// labels), date-times by pattern, and numbers typed by the operator.
//
// One value, filled once from the system's settings when the program starts
// (the Qt shell does that; see chart/RtQtRegional.h), serves the chart, the
// edit boxes, the data export and the log lines. Until then, and in every
// program without a user interface, the built-in defaults below hold. Tests
// pin their own with SetRegional or pass a value.
//
// All text is UTF-8. Nothing here asks the system.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Types.h"

namespace karvo {

// Date-time patterns:
//   d dd ddd dddd   day of month / abbreviated and full day name
//   M MM MMM MMMM   month number / abbreviated and full month name
//   yy yyyy         year
//   h hh H HH       hour (24-hour clock unless the pattern has AP or ap)
//   m mm  s ss      minute, second
//   z zzz           milliseconds (zzz: three digits)
//   AP ap           AM/PM marker
//   :               the regional time separator
//   '...'           literal text ('' is a quote)
// Every other character stands for itself.
struct TRegionalSettings {
  std::string decimalSeparator = ".";
  std::string thousandSeparator = ",";
  std::string timeSeparator = ":";
  std::string shortDateFormat = "dd.MM.yyyy";
  std::string shortTimeFormat = "HH:mm";
  std::string longTimeFormat = "HH:mm:ss";
  std::array<std::string, 12> longMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
  std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 7> longDayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
};

// The settings the program writes with (a copy; safe from any thread).
TRegionalSettings Regional();
// Installs the settings and returns the ones they replace. Fits
// seams::Scoped: seams::Scoped<TRegionalSettings> pinned(SetRegional, comma);
TRegionalSettings SetRegional(TRegionalSettings settings);

// --- Numbers ----------------------------------------------------------------
// Every number is rounded half away from zero on at most 15 significant
// digits, the precision a double holds reliably. A value that is not finite
// cannot be written: the formats below throw std::domain_error for it.

// The general format: up to `precision` (1 .. 15) significant digits, no
// trailing zeros, no thousands separators; scientific ("1.5E20", "1E-6")
// when the decimal exponent is below -5 or at least `precision`.
std::string FormatGeneral(double value, const TRegionalSettings& regional, int precision = 15);
// The same with "." as decimal point: diagnostics and tool output, which do
// not follow the regional settings.
std::string FormatGeneral(double value, int precision = 15);

// Fixed point with `decimals` (0 .. 18) digits after the decimal separator
// (0: none); "-0" is written as "0". Values of 1E15 and more in the general
// format.
std::string FormatFixed(double value, int decimals, const TRegionalSettings& regional);

// By a number pattern: "0" a digit always shown, "#" a digit shown when
// significant, "." the place of the decimal separator, "," thousands
// separators in the whole part, "E+0"/"E-0" (also "e") scientific notation,
// text in quotes and other characters literal; up to three sections
// "positive;negative;zero". ("0.##": at most two decimals, no trailing
// zeros; "0.###": at most three.)
std::string FormatPattern(std::string_view pattern, double value, const TRegionalSettings& regional);

// The general format in at most `maxChars` characters, with as many
// significant digits as fit; empty when even one digit does not fit.
std::string FormatShort(double value, int maxChars, const TRegionalSettings& regional);

// An axis label: `value` on a scale whose ticks are `step` apart, fixed
// point with the decimals the step needs when that takes at most
// kAxisLabelChars characters, otherwise in scientific form ("3.4E38",
// "-1.5E300") with the digits that tell neighbouring ticks apart, as far as
// they fit into kAxisLabelChars.
inline constexpr int kAxisLabelChars = 8;
std::string FormatAxisNumber(double value, double step, const TRegionalSettings& regional);

// --- Date and time ----------------------------------------------------------

// `t` (a local date-time) written with `pattern` (see TRegionalSettings).
std::string FormatDateTime(std::string_view pattern, TDateTime t, const TRegionalSettings& regional);

// --- Reading numbers ---------------------------------------------------------
// Both readers take digits with at most one decimal separator (digits on at
// least one side of it) and an optional exponent ("e" or "E", optional sign,
// digits), the whole text, and only finite results.

// What the operator typed: an optional sign ("+" or "-") first, the
// regional decimal separator, blanks around ignored.
std::optional<double> ParseFloat(std::string_view text, const TRegionalSettings& regional);
// A number as the formats above wrote it into a file the program reads back
// (the run journal): "-" the only sign, `decimalSeparator` or "." as the
// decimal separator (a file written under other settings has the one or the
// other), no blanks. Fast enough for a file of millions of numbers.
std::optional<double> ParseGeneral(std::string_view text, std::string_view decimalSeparator);
// An optional sign and decimal digits within the 32-bit range.
std::optional<std::int32_t> ParseInteger(std::string_view text);

// Number of characters (not bytes) of UTF-8 text.
std::size_t Utf8Length(std::string_view text);

}  // namespace karvo
