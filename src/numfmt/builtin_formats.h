#pragma once
// The built-in number formats every new workbook starts with, the ten of them
// that are rebuilt from the user's regional settings, and the codes that the
// Number page of Format Cells composes from a category and decimal places.

#include "platform/locale_strings.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace numfmt {

struct BuiltinFormat {
  std::uint16_t index; // the file format's number; the table skips 23-36
  std::u16string_view code;
};

// clang-format off
inline constexpr BuiltinFormat kBuiltinFormats[] = {
  { 0, u"General"},
  { 1, u"0"},
  { 2, u"0.00"},
  { 3, u"#,##0"},
  { 4, u"#,##0.00"},
  { 5, u"$#,##0_);($#,##0)"},
  { 6, u"$#,##0_);[Red]($#,##0)"},
  { 7, u"$#,##0.00_);($#,##0.00)"},
  { 8, u"$#,##0.00_);[Red]($#,##0.00)"},
  { 9, u"0%"},
  {10, u"0.00%"},
  {11, u"0.00E+00"},
  {12, u"# ?/?"},
  {13, u"# ?\?/?\?"},
  {14, u"m/d/yy"},
  {15, u"dd-mmm-yy"},
  {16, u"dd-mmm"},
  {17, u"mmm-yy"},
  {18, u"h:mm AM/PM"},
  {19, u"h:mm:ss AM/PM"},
  {20, u"h:mm"},
  {21, u"h:mm:ss"},
  {22, u"m/d/yy h:mm"},
  {37, u"#,##0_);(#,##0)"},
  {38, u"#,##0_);[Red](#,##0)"},
  {39, u"#,##0.00_);(#,##0.00)"},
  {40, u"#,##0.00_);[Red](#,##0.00)"},
  {41, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
  {42, u"_($* #,##0_);_($* (#,##0);($* \"-\"_);_(@_)"},
  {43, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
  {44, u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)"},
  {45, u"mm:ss"},
  {46, u"[h]:mm:ss"},
  {47, u"mm:ss.0"},
  {48, u"##0.0E+0"},
  {49, u"@"},
};
// clang-format on
static_assert(std::size(kBuiltinFormats) == 36);

/// The indexes rebuilt from the regional settings, in the order of LocaleFormats::codes.
inline constexpr std::array<std::uint16_t, 11> kLocaleFormatIndexes = {5,  6,  7,  8,  14, 20,
                                                                       22, 41, 42, 43, 44};

struct LocaleFormats {
  std::array<std::u16string, 11> codes; // for kLocaleFormatIndexes, in that order

  /// The code for a locale-built index, or null for another index.
  const std::u16string* codeFor(std::uint16_t index) const;
};

/// Builds the ten locale codes (eleven indexes) from regional settings.
LocaleFormats buildLocaleFormats(const platform::LocaleStrings& locale);

/// The codes built once from platform::localeStrings().
const LocaleFormats& localeFormats();

/// Expands a currency or accounting template: "$" becomes the symbol (quoted
/// unless it is exactly "$") or is dropped; with decimals each "0" becomes
/// "0.00" and a quote right after "-" gains "??"; with red each ";" becomes
/// ";[Red]".
std::u16string expandCurrencyTemplate(std::u16string_view pattern, std::u16string_view symbol,
                                      bool decimals, bool red, bool withSymbol);

/// The short date code: the locale's pattern with d, g, m, y lower-cased and
/// every other character escaped with "\".
std::u16string shortDateCode(const platform::LocaleStrings& locale);

/// Format Cells categories, in the order of the Number page's list.
enum FormatCategory : int {
  kCategoryGeneral = 0, kCategoryNumber, kCategoryCurrency, kCategoryAccounting, kCategoryDate,
  kCategoryTime, kCategoryPercentage, kCategoryFraction, kCategoryScientific, kCategoryText,
  kCategoryCustom,
};

/// The code a category and decimal places stand for; the custom text for
/// Custom (translated to the stored vocabulary, which in this build is the
/// same). Empty for General, whose index is 0. Places are clamped to 0-15.
std::u16string composeCodeText(int category, int places, std::u16string_view customText,
                               const platform::LocaleStrings& locale);

inline constexpr std::u16string_view kMessageDecimalPlaces = u"Decimal places not 0-15";

/// Checks the decimal-places box of the Number page: a whole number from 0 to
/// 15, spaces around it allowed. Otherwise shows "Decimal places not 0-15"
/// and returns false, so the page stays open.
[[nodiscard]] bool checkDecimalPlaces(std::u16string_view text, int& places);

} // namespace numfmt
