#pragma once
// ANSI code pages: 8-bit text in files (BIFF5 strings, CSV) and on the
// clipboard is in the code page of the user's locale; everything inside the
// program is UTF-16. Conversions go through ICU.

#include <string>
#include <string_view>

namespace platform {

/// The Windows ANSI code page of a locale tag: 936 for zh-CN, 950 for zh-TW,
/// 932 for ja, 949 for ko, 874 for th, 1250-1258 by language, 1252 otherwise.
int ansiCodePageForLocale(std::string_view localeId);

/// The code page in force: CELLWICK_CODEPAGE when it names a number, else the
/// one of userLocaleId().
int systemAnsiCodePage();

/// True when toUtf16 and fromUtf16 can convert with this code page.
bool isSupportedCodePage(int codePage);

/// Converts 8-bit text of the code page to UTF-16. Bytes that do not form a
/// character become U+FFFD. Returns false, leaving `out` empty, only when the
/// code page is not supported.
[[nodiscard]] bool toUtf16(int codePage, std::string_view bytes, std::u16string& out);

/// Converts UTF-16 to 8-bit text of the code page. Characters the code page
/// lacks become "?". Returns false, leaving `out` empty, only when the code
/// page is not supported.
[[nodiscard]] bool fromUtf16(int codePage, std::u16string_view text, std::string& out);

/// Converts as fromUtf16 does, keeping only the whole characters that fit in
/// `limit` bytes: a double-byte character is never cut in half. `cut` tells
/// whether any were left out.
[[nodiscard]] bool fromUtf16Within(int codePage, std::u16string_view text, size_t limit,
                                   std::string& out, bool& cut);

/// The code page of a font's Windows character set (0 is 1252; an unknown
/// set, or 1 for the default, gives systemAnsiCodePage()), and the character
/// set of a code page (0 when none but ANSI names it).
int codePageOfCharSet(int charSet);
int charSetOfCodePage(int codePage);

/// True when the code page holds every character of the text, so that it
/// converts there and back unchanged.
bool holdsText(int codePage, std::u16string_view text);

} // namespace platform
