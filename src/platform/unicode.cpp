#include "platform/unicode.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace platform {
namespace {

void appendUtf16(std::u16string &out, UChar32 c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(static_cast<char16_t>(U16_LEAD(c)));
    out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
  }
}

// Reads one code point at i (advancing it); unpaired surrogates read as U+FFFD.
UChar32 nextCodePoint(std::u16string_view s, size_t &i) {
  const char16_t c = s[i++];
  if (U16_IS_LEAD(c) && i < s.size() && U16_IS_TRAIL(s[i]))
    return U16_GET_SUPPLEMENTARY(c, s[i++]);
  if (U16_IS_SURROGATE(c))
    return 0xFFFD;
  return c;
}

} // namespace

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const UChar32 c = nextCodePoint(text, i);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    // Each maximal ill-formed prefix becomes one U+FFFD (Unicode's recommended
    // practice, which ICU and browsers follow): the second byte's range rules
    // out overlong forms, surrogates and values past U+10FFFF up front.
    int extra = 0;
    unsigned char low = 0x80, high = 0xBF;
    UChar32 c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, c = b & 0x0F;
      if (b == 0xE0)
        low = 0xA0;
      else if (b == 0xED)
        high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, c = b & 0x07;
      if (b == 0xF0)
        low = 0x90;
      else if (b == 0xF4)
        high = 0x8F;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      const unsigned char lo = k == 0 ? low : 0x80;
      const unsigned char hi = k == 0 ? high : 0xBF;
      if (j >= n || s[j] < lo || s[j] > hi) {
        ok = false;
        break;
      }
      c = (c << 6) | (s[j] & 0x3F);
    }
    // Resume at the first byte that did not belong to the sequence.
    if (ok)
      appendUtf16(out, c);
    else
      out.push_back(0xFFFD);
    i = j;
  }
  return out;
}

std::u16string toUpper(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();)
    appendUtf16(out, u_toupper(nextCodePoint(text, i)));
  return out;
}

std::u16string toLower(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();)
    appendUtf16(out, u_tolower(nextCodePoint(text, i)));
  return out;
}

std::u16string foldCase(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
      ++i;
      continue;
    }
    appendUtf16(out, u_foldCase(nextCodePoint(text, i), U_FOLD_CASE_DEFAULT));
  }
  return out;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  size_t i = 0, j = 0;
  // Plain ASCII, the common case, needs no case-folding tables.
  while (i < a.size() && j < b.size() && a[i] < 0x80 && b[j] < 0x80) {
    char16_t x = a[i], y = b[j];
    if (x >= u'A' && x <= u'Z')
      x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z')
      y = static_cast<char16_t>(y + 32);
    if (x != y)
      return false;
    ++i;
    ++j;
  }
  while (i < a.size() && j < b.size()) {
    if (u_foldCase(nextCodePoint(a, i), U_FOLD_CASE_DEFAULT) !=
        u_foldCase(nextCodePoint(b, j), U_FOLD_CASE_DEFAULT))
      return false;
  }
  return i == a.size() && j == b.size();
}

} // namespace platform
