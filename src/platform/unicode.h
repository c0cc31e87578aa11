#pragma once
// UTF-8 <-> UTF-16 at the edges (terminal, file names, Qt), and the
// case-insensitive comparison that names, sheet names and keywords use.

#include <string>
#include <string_view>

namespace platform {

/// Converts UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view text);

/// Converts UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string fromUtf8(std::string_view text);

/// Upper-cases with the full Unicode simple case mapping (locale-independent).
std::u16string toUpper(std::u16string_view text);

/// Lower-cases with the Unicode simple case mapping (locale-independent).
std::u16string toLower(std::u16string_view text);

/// Compares without regard to case (Unicode simple case folding).
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);

/// The simple case folding of a text: two texts are equalsIgnoreCase exactly
/// when their foldings are equal, so a folding can key a hash table.
std::u16string foldCase(std::u16string_view text);

} // namespace platform
