#pragma once
// Pieces of locale_strings.cpp exposed for its tests only.

#include <string>
#include <string_view>

namespace platform::internal {

/// Rewrites an ICU date pattern with Windows picture letters (d, M, y, g).
std::u16string toWindowsDatePicture(std::u16string_view icuPattern);

/// The Windows negative currency format (0-15) closest to an ICU currency
/// pattern such as "#,##0.00 ¤" or "¤#,##0.00;(¤#,##0.00)".
int negativeCurrencyMode(std::u16string_view icuPattern);

/// "language[-Script]-REGION" for a BCP 47 tag or POSIX locale name; empty
/// when it names no language.
std::string canonicalLocaleTag(std::string_view localeId);

} // namespace platform::internal
