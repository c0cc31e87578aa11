#pragma once
// What typed text means: a formula, a number with a hint for its number
// format, a date or time serial, a boolean, an error value or plain text;
// and the number, fraction, date and time readers the evaluator also uses
// when a string must become a number.

#include "model/cell_value.h"
#include "platform/locale_strings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace formula {

using model::CellValue;

enum class TextClass : int { Empty = 0, Formula = 1, Text = 2, Number = 3, Boolean = 4, Error = 5 };

enum class HintClass : int {
  Plain = 0, Currency = 2, Date = 4, Time = 5, Percent = 6, Fraction = 7,
};

struct FormatHint {
  HintClass cls = HintClass::Plain;
  int detail = 0; // see the classes: decimals, time format index, denominator digits
};

struct Classification {
  TextClass kind = TextClass::Empty;
  CellValue value;  // the number, boolean, error or text (apostrophe removed)
  FormatHint hint;  // for numbers
  bool formulaError = false; // began with "=" but is not a well-formed formula
};

struct TextOptions {
  const platform::LocaleStrings* locale = nullptr; // null: platform::localeStrings()
  bool date1904 = false;
  int currentYear = 0; // 0: from platform::clock()
  /// False when only the kind is wanted: text then leaves the value empty,
  /// which spares a copy of every string a file reader classifies.
  bool textValue = true;
};

/// The built-in number format the way a number was typed asks for (0 keeps
/// General): currency 5/7, date 14, the time forms, percent 9/10, fractions 12/13.
std::uint16_t numberFormatForHint(const FormatHint& hint);

/// Classifies a typed cell text.
Classification classifyText(std::u16string_view text, const TextOptions& options = {});

/// Reads a number occupying the whole of text[start, end): sign, digits
/// (with thousands separators when allowed), decimals, exponent, spaces.
/// The value is the correctly rounded double of the decimal typed; a value
/// beyond the double range is not a number, one too small for it is 0.
bool readNumber(std::u16string_view text, size_t start, size_t end, bool allowGrouping,
                double& out, const platform::LocaleStrings& locale);

/// Reads "whole numerator/denominator" (with a sign), the whole text.
bool readFraction(std::u16string_view text, double& out, int& denominatorDigits);

/// Reads a time of day (or more than a day) as a fraction of days; `format`
/// receives the built-in format index matching the form typed (18-21, 47).
/// The leading field is unbounded without a designator; the minutes and
/// seconds after it have at most two digits and at most 59.
bool readTime(std::u16string_view text, double& out, int& format,
              const platform::LocaleStrings& locale);

/// Reads a date, with an optional time after it, as a serial. The day must
/// exist in its month (29 February 1900 does) and the year lie in 1900-9999;
/// in the 1904 system a day before 1 January 1904 is not a date.
bool readDate(std::u16string_view text, double& out, const TextOptions& options);

/// Serial of a date in the 1900 system, with its 29 February 1900.
int dayCount(int year, int month, int day);

/// Splits a serial (1900 system) into year, month and day; serial 60 is
/// 29 February 1900.
void splitSerial(int serial, int& year, int& month, int& day);

/// The evaluator's conversion of a string to a number: a number with
/// grouping, a date, a time, a number after the currency symbol; else
/// #VALUE! for text starting with a quote, #NAME? otherwise.
CellValue stringToNumber(std::u16string_view text, const TextOptions& options = {});

/// A number in 15 significant digits with the locale decimal separator,
/// trailing zeros dropped when there is no exponent; the exponent has at
/// least `exponentDigits` digits.
std::u16string numberToText(double x, const platform::LocaleStrings& locale,
                            int exponentDigits = 2);
/// The same text appended to `out`: a caller formatting many numbers reuses
/// one buffer.
void appendNumberText(double x, const platform::LocaleStrings& locale, std::u16string& out,
                      int exponentDigits = 2);

/// Exponent digits of the evaluator's number-to-text conversion (=1E15&""
/// gives "1E+015"), as the General format writes them.
inline constexpr int kFormulaExponentDigits = 3;

/// A date as the formula engine writes it, with the locale date separator:
/// month/day/two-digit year, day/month/two-digit year or two-digit
/// year/month/day by the locale date order.
std::u16string dateText(int year, int month, int day, const platform::LocaleStrings& locale);

/// A time as the formula engine writes it: two-digit hours, minutes and
/// seconds joined by the locale time separator.
std::u16string timeText(int hour, int minute, int second, const platform::LocaleStrings& locale);

} // namespace formula
