#pragma once
// Regional settings as the rest of the program reads them: separators, names,
// currency, date order, AM/PM. Built once at start from ICU for the user's
// locale; the environment variable CELLWICK_LOCALE (a BCP 47 tag such as
// "en-US" or "zh-CN") pins the locale, which is how tests make them stable.

#include <array>
#include <string>
#include <string_view>

namespace platform {

struct LocaleStrings {
  std::string localeId;              // canonical BCP 47 tag, e.g. "en-US"
  std::u16string dateOrder;          // "0" month-day-year, "1" day-month-year, "2" year-month-day
  std::u16string dateSeparator;      // e.g. "/"
  std::u16string timeSeparator;      // e.g. ":"
  std::u16string decimalSeparator;   // e.g. "."
  std::u16string thousandsSeparator; // e.g. ","
  std::u16string currencySymbol;     // local symbol, e.g. "$" or "¥"
  std::u16string currencyDigits;     // default decimals of money, e.g. "2"
  std::u16string listSeparator;      // e.g. ","
  std::array<std::u16string, 7> dayNames;          // Monday first
  std::array<std::u16string, 7> dayAbbreviations;  // Monday first
  std::array<std::u16string, 12> monthNames;       // January first
  std::array<std::u16string, 12> monthAbbreviations;
  std::u16string amDesignator;       // "AM" when the locale has none
  std::u16string pmDesignator;       // "PM" when the locale has none
  std::u16string shortDatePattern;   // Windows picture letters d, M, y, g, e.g. "M/d/yyyy"
  std::u16string hourLeadingZero;    // "1" when short times pad the hour, else "0"
  int negativeCurrencyMode = 0;      // 0-15, the Windows negative currency format number
};

/// The locale to use: CELLWICK_LOCALE when set and not empty, else the
/// process's default locale (LC_ALL, LC_MESSAGES, LANG), else "en-US".
std::string userLocaleId();

/// Builds the strings for a locale tag from ICU. Never fails: items ICU does
/// not know come out empty, except the AM and PM fallbacks.
LocaleStrings loadLocaleStrings(std::string_view localeId);

/// The strings in force for the program. The first call loads them for
/// userLocaleId(); later calls return the same object.
const LocaleStrings& localeStrings();

/// Replaces the strings in force (tests and start-up pin a locale with it).
void setLocaleStrings(LocaleStrings strings);

/// Changes whenever the strings in force are loaded or replaced, so that
/// facts derived from them can be kept until then.
std::uint32_t localeStringsGeneration();

} // namespace platform
