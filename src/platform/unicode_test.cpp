#include "platform/unicode.h"

#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

std::string hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    out += ' ';
  }
  return out;
}

std::string hex16(std::u16string_view text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char16_t c : text) {
    for (int shift = 12; shift >= 0; shift -= 4)
      out += kDigits[(c >> shift) & 15];
    out += ' ';
  }
  return out;
}

// Encodings worked out by hand from the UTF-8 bit layout.
TEST(Unicode, Utf8RoundTrips) {
  const struct {
    std::u16string_view utf16;
    std::string_view utf8;
  } kRows[] = {
      {u"", ""},
      {u"A", "A"},
      {u"\u007F", "\x7F"},
      {u"\u0080", "\xC2\x80"},
      {u"é", "\xC3\xA9"},
      {u"\u07FF", "\xDF\xBF"},
      {u"\u0800", "\xE0\xA0\x80"},
      {u"中文", "\xE4\xB8\xAD\xE6\x96\x87"},
      {u"\uFFFD", "\xEF\xBF\xBD"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {std::u16string_view(u"a\0b", 3), std::string_view("a\0b", 3)}, // embedded NUL
  };
  for (const auto &row : kRows) {
    EXPECT_EQ(hex(toUtf8(row.utf16)), hex(row.utf8)) << hex16(row.utf16);
    EXPECT_EQ(hex16(fromUtf8(row.utf8)), hex16(row.utf16)) << hex(row.utf8);
  }
}

TEST(Unicode, UnpairedSurrogatesBecomeReplacement) {
  const struct {
    std::u16string_view utf16;
    std::string_view utf8;
  } kRows[] = {
      {u"\xD800", "\xEF\xBF\xBD"},
      {u"a\xDC00", "a\xEF\xBF\xBD"},
      {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // trail before lead is no pair
      {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(hex(toUtf8(row.utf16)), hex(row.utf8)) << hex16(row.utf16);
}

// One U+FFFD for each maximal ill-formed prefix, as Unicode recommends.
TEST(Unicode, MalformedUtf8BecomesReplacement) {
  const struct {
    std::string_view utf8;
    std::u16string_view utf16;
  } kRows[] = {
      {"\x80", u"\uFFFD"}, // lone continuation
      {"\xC3", u"\uFFFD"}, // cut off at the end
      {"\xC3"
       "A",
       u"\uFFFDA"},            // the next character survives
      {"\xE4\xB8", u"\uFFFD"}, // two of three bytes: one U+FFFD
      {"\xE4\xB8"
       "A",
       u"\uFFFDA"},
      {"\xC0\x80", u"\uFFFD\uFFFD"},                     // overlong NUL
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},           // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // past U+10FFFF
      {"\xF0\x9F\x98", u"\uFFFD"},
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
      {"\xC3\xC3\xA9", u"\uFFFDé"},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(hex16(fromUtf8(row.utf8)), hex16(row.utf16)) << hex(row.utf8);
}

// ICU's UTF-8 converter is an independent decoder with the same substitution
// practice; the two must agree on every short input.
TEST(Unicode, Utf8DecodingAgreesWithIcuOnAllShortInputs) {
  const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                       0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  int failures = 0;
  for (const unsigned char a : interesting)
    for (const unsigned char b : interesting)
      for (const unsigned char c : interesting)
        for (const unsigned char d : interesting) {
          const char raw[4] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                               static_cast<char>(d)};
          const std::string_view in(raw, 4);
          std::u16string icu;
          ASSERT_TRUE(toUtf16(65001, in, icu));
          const std::u16string ours = fromUtf8(in);
          if (ours != icu && failures++ < 5)
            ADD_FAILURE() << hex(in) << ": " << hex16(ours) << " vs ICU " << hex16(icu);
        }
  EXPECT_EQ(failures, 0);
}

TEST(Unicode, ToUpperUsesSimpleMapping) {
  const struct {
    std::u16string_view in;
    std::u16string_view out;
  } kRows[] = {
      {u"abc xyz", u"ABC XYZ"},
      {u"ÀéÿĀ", u"ÀÉŸĀ"},
      {u"straße", u"STRAßE"}, // ß has no one-letter upper case
      {u"ǆ", u"Ǆ"},
      {u"αβγ σς", u"ΑΒΓ ΣΣ"},
      {u"привет", u"ПРИВЕТ"},
      {u"中文1_", u"中文1_"},
      {u"\U00010428", u"\U00010400"}, // Deseret, outside the BMP
      {u"i", u"I"},                   // no Turkish dotted I
      {u"a\xD800z", u"A\uFFFDZ"},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(hex16(toUpper(row.in)), hex16(row.out)) << hex16(row.in);
}

TEST(Unicode, EqualsIgnoreCase) {
  const struct {
    std::u16string_view a;
    std::u16string_view b;
    bool equal;
  } kRows[] = {
      {u"Sheet1", u"SHEET1", true},
      {u"", u"", true},
      {u"a", u"", false},
      {u"abc", u"abd", false},
      {u"abc", u"abcd", false},
      {u"ÉCOLE", u"école", true},
      {u"ΣΑΣ", u"σας", true},            // final sigma folds to sigma
      {u"Straße", u"STRASSE", false},    // simple folding keeps ß one letter
      {u"KELVIN", u"\u212Aelvin", true}, // Kelvin sign folds to k
      {u"\U00010400", u"\U00010428", true},
      {u"I", u"ı", false},
  };
  for (const auto &row : kRows) {
    EXPECT_EQ(equalsIgnoreCase(row.a, row.b), row.equal) << hex16(row.a) << "| " << hex16(row.b);
    EXPECT_EQ(equalsIgnoreCase(row.b, row.a), row.equal) << hex16(row.b) << "| " << hex16(row.a);
    // The folding that keys hash tables agrees with the comparison.
    EXPECT_EQ(foldCase(row.a) == foldCase(row.b), row.equal) << hex16(row.a) << "| " << hex16(row.b);
  }
  EXPECT_EQ(foldCase(u"AbC \u0130 \u03A3"), u"abc \u0130 \u03C3");
}

} // namespace
} // namespace platform
