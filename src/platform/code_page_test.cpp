#include "platform/code_page.h"

#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace platform {
namespace {

class ScopedEnv {
public:
  ScopedEnv(const char *name, const char *value) : m_name(name) {
    if (const char *old = std::getenv(name))
      m_old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_old)
      setenv(m_name, m_old->c_str(), 1);
    else
      unsetenv(m_name);
  }

private:
  const char *m_name;
  std::optional<std::string> m_old;
};

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

constexpr int kSupported[] = {437,  850,  874,  932,  936,  949,  950,  1250, 1251,
                              1252, 1253, 1254, 1255, 1256, 1257, 1258, 10000,
                              10006, 10007, 10017, 10029, 10081, 65001};
constexpr int kSingleByte[] = {437,  850,  874,  1250,  1251,  1252,  1253,  1254,  1255,
                               1256, 1257, 1258, 10000, 10006, 10007, 10029, 10081};

TEST(CodePage, AnsiCodePageOfLocale) {
  const struct {
    const char *locale;
    int codePage;
  } kRows[] = {
      {"zh-CN", 936},   {"zh-SG", 936},  {"zh-Hans", 936},     {"zh-Hans-HK", 936},
      {"zh", 936},      {"zh-TW", 950},  {"zh-HK", 950},       {"zh-MO", 950},
      {"zh-Hant", 950}, {"zh_TW", 950},  {"ja-JP", 932},       {"ja", 932},
      {"ko-KR", 949},   {"th-TH", 874},  {"cs-CZ", 1250},      {"pl-PL", 1250},
      {"hu-HU", 1250},  {"sk-SK", 1250}, {"sl-SI", 1250},      {"hr-HR", 1250},
      {"ro-RO", 1250},  {"sq-AL", 1250}, {"sr-Latn-RS", 1250}, {"bs-BA", 1250},
      {"ru-RU", 1251},  {"uk-UA", 1251}, {"bg-BG", 1251},      {"sr-Cyrl-RS", 1251},
      {"sr-RS", 1251},  {"be-BY", 1251}, {"mk-MK", 1251},      {"kk-KZ", 1251},
      {"el-GR", 1253},  {"tr-TR", 1254}, {"az-Latn-AZ", 1254}, {"az-Cyrl-AZ", 1251},
      {"he-IL", 1255},  {"ar-SA", 1256}, {"fa-IR", 1256},      {"ur-PK", 1256},
      {"et-EE", 1257},  {"lv-LV", 1257}, {"lt-LT", 1257},      {"vi-VN", 1258},
      {"en-US", 1252},  {"de-DE", 1252}, {"fr-FR", 1252},      {"EL-gr", 1253},
      {"", 1252},       {"xx-YY", 1252}, {"-", 1252},          {"zh-", 936},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(ansiCodePageForLocale(row.locale), row.codePage) << row.locale;
}

TEST(CodePage, SystemCodePageFollowsOverrideThenLocale) {
  {
    ScopedEnv cp("CELLWICK_CODEPAGE", "1251");
    EXPECT_EQ(systemAnsiCodePage(), 1251);
  }
  {
    ScopedEnv cp("CELLWICK_CODEPAGE", nullptr);
    ScopedEnv locale("CELLWICK_LOCALE", "zh-CN");
    EXPECT_EQ(systemAnsiCodePage(), 936);
  }
  for (const char *notANumber : {"", "abc", "12x", "-5", "99999999999999999999"}) {
    ScopedEnv cp("CELLWICK_CODEPAGE", notANumber);
    ScopedEnv locale("CELLWICK_LOCALE", "ja-JP");
    EXPECT_EQ(systemAnsiCodePage(), 932) << notANumber;
  }
}

TEST(CodePage, SupportedCodePages) {
  for (const int cp : kSupported)
    EXPECT_TRUE(isSupportedCodePage(cp)) << cp;
  for (const int cp : {0, -1, 1200, 1259, 10001, 10008, 12345, 20127})
    EXPECT_FALSE(isSupportedCodePage(cp)) << cp;
}

// Bytes from the published code page tables (Microsoft's bestfit and
// Unicode.org mapping files), not from the converters.
TEST(CodePage, RoundTripsRealText) {
  const struct {
    int codePage;
    std::u16string_view text;
    std::string_view bytes;
  } kRows[] = {
      {936, u"中文", "\xD6\xD0\xCE\xC4"},
      {936, u"a€b",
       "a\x80"
       "b"}, // 0x80 is the euro sign in 936
      {950, u"中文", "\xA4\xA4\xA4\xE5"},
      {932, u"日本", "\x93\xFA\x96\x7B"},
      {932, u"ｱ", "\xB1"},      // half-width katakana are single bytes
      {932, u"～", "\x81\x60"}, // Microsoft's table: fullwidth tilde, not wave dash
      {932, u"\\", "\x5C"},     // backslash, not yen
      {949, u"한국", "\xC7\xD1\xB1\xB9"},
      {874, u"ไทย", "\xE4\xB7\xC2"},
      {1250, u"Łódź", "\xA3\xF3\x64\x9F"},
      {1251, u"Привет", "\xCF\xF0\xE8\xE2\xE5\xF2"},
      {1252, u"€Ÿéœ", "\x80\x9F\xE9\x9C"},
      {1253, u"Ελλάδα", "\xC5\xEB\xEB\xDC\xE4\xE1"},
      {1254, u"İğş", "\xDD\xF0\xFE"},
      {1255, u"שלום", "\xF9\xEC\xE5\xED"},
      {1256, u"سلام", "\xD3\xE1\xC7\xE3"},
      {1257, u"Rīgą", "\x52\xEE\x67\xE0"},
      {1258, u"Vi\u00EA\u0323t đ", "\x56\x69\xEA\xF2\x74\x20\xF0"}, // 1258 composes with marks
      {437, u"é░", "\x82\xB0"},
      {850, u"éØ", "\x82\x9D"},
      {65001, u"中€", "\xE4\xB8\xAD\xE2\x82\xAC"},
      // Apple's Macintosh tables.
      {10000, u"é", "\x8E"},
      {10007, u"Привет", "\x8F\xF0\xE8\xE2\xE5\xF2"},
      {10017, u"Привет", "\x8F\xF0\xE8\xE2\xE5\xF2"},
      {10029, u"ČáĄŁ", "\x89\x87\x84\xFC"},
      {10081, u"İğş", "\xDC\xDB\xDF"},
      {1252, u"", ""},
  };
  for (const auto &row : kRows) {
    std::u16string text;
    ASSERT_TRUE(toUtf16(row.codePage, row.bytes, text)) << row.codePage;
    EXPECT_EQ(text, row.text) << row.codePage << ": " << hex(row.bytes);
    std::string bytes;
    ASSERT_TRUE(fromUtf16(row.codePage, row.text, bytes)) << row.codePage;
    EXPECT_EQ(hex(bytes), hex(row.bytes)) << row.codePage << ": " << toUtf8(row.text);
  }
}

TEST(CodePage, MalformedBytesBecomeReplacementCharacters) {
  const struct {
    int codePage;
    std::string_view bytes;
    std::u16string_view text;
  } kRows[] = {
      {936, "\xD6", u"\uFFFD"}, // lead byte at the very end
      {936, "ab\xD6", u"ab\uFFFD"},
      {936, "\xD6\x20x", u"\uFFFD x"}, // an ASCII trail is not swallowed
      {936, "\xFF", u"\uF8F5"},        // Microsoft's table: private use, not malformed
      {950, "\xA4", u"\uFFFD"},
      {932, "\x93", u"\uFFFD"},
      {932, "\x93\x0A", u"\uFFFD\n"},
      {949, "\xC7", u"\uFFFD"},
      {65001, "a\xC3", u"a\uFFFD"},         // cut-off UTF-8
      {65001, "\xC0\x80", u"\uFFFD\uFFFD"}, // overlong
      {1253, "\xD2", u"\uFFFD"},            // unassigned in 1253
      {1255, "\xFF", u"\uFFFD"},            // unassigned in 1255
  };
  for (const auto &row : kRows) {
    std::u16string text;
    ASSERT_TRUE(toUtf16(row.codePage, row.bytes, text));
    EXPECT_EQ(toUtf8(text), toUtf8(row.text)) << row.codePage << ": " << hex(row.bytes);
  }
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  const struct {
    int codePage;
    std::u16string_view text;
    std::string_view bytes;
  } kRows[] = {
      {1252, u"中", "?"},         {1252, u"a中b", "a?b"},
      {1252, u"ā", "?"}, // no best-fit "a"
      {1251, u"é", "?"},          {936, u"한", "?"},
      {932, u"\U0001F600", "?"},  // one character, two UTF-16 units
      {1252, u"x\xD800y", "x?y"}, // unpaired surrogate
      {936, u"\xDC00", "?"},
  };
  for (const auto &row : kRows) {
    std::string bytes;
    ASSERT_TRUE(fromUtf16(row.codePage, row.text, bytes));
    EXPECT_EQ(hex(bytes), hex(row.bytes)) << row.codePage << ": " << toUtf8(row.text);
    EXPECT_FALSE(holdsText(row.codePage, row.text)) << row.codePage << ": " << toUtf8(row.text);
  }
}

TEST(CodePage, HoldsTextOnlyWhenEveryCharacterComesBack) {
  const struct {
    int codePage;
    std::u16string_view text;
    bool held;
  } kRows[] = {
      {936, u"工作表 1", true},   {1252, u"工作表 1", false}, {1252, u"Ÿéœ€", true},
      {936, u"한", false},         {936, u"plain ASCII", true}, {1251, u"Привет", true},
      {1252, u"?", true},         {65001, u"中😀", true}, {12345, u"é", false},
      {1252, u"", true},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(holdsText(row.codePage, row.text), row.held) << row.codePage << ": " << toUtf8(row.text);
}

TEST(CodePage, UnsupportedCodePageFailsWithEmptyOutput) {
  std::u16string text = u"left over";
  std::string bytes = "left over";
  EXPECT_FALSE(toUtf16(12345, "abc", text));
  EXPECT_TRUE(text.empty());
  EXPECT_FALSE(fromUtf16(12345, u"abc", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(toUtf16(0, "", text));
}

// Every byte of a single-byte page is one character, and every byte that
// names a character comes back as itself.
TEST(CodePage, SingleBytePagesRoundTripEveryByte) {
  for (const int cp : kSingleByte) {
    for (int b = 0; b < 256; ++b) {
      const std::string in(1, static_cast<char>(b));
      std::u16string text;
      ASSERT_TRUE(toUtf16(cp, in, text));
      ASSERT_EQ(text.size(), 1u) << cp << ": " << hex(in);
      if (b < 0x80 && cp != 437 && cp != 850) {
        EXPECT_EQ(text[0], static_cast<char16_t>(b)) << cp << ": " << hex(in);
      }
      if (text[0] == 0xFFFD)
        continue;
      std::string back;
      ASSERT_TRUE(fromUtf16(cp, text, back));
      EXPECT_EQ(hex(back), hex(in)) << cp;
    }
  }
}

// Every one- and two-byte input: what is read, written and read again is
// what was read first, with U+FFFD turned into '?' by the writing.
TEST(CodePage, DoubleBytePagesAreStableOnEveryPair) {
  for (const int cp : {932, 936, 949, 950}) {
    int failures = 0;
    for (int pair = 0; pair < 0x10000 && failures < 5; ++pair) {
      const char raw[2] = {static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)};
      const std::string_view in(raw, 2);
      std::u16string first, again;
      std::string written;
      ASSERT_TRUE(toUtf16(cp, in, first));
      EXPECT_LE(first.size(), 2u);
      ASSERT_TRUE(fromUtf16(cp, first, written));
      ASSERT_TRUE(toUtf16(cp, written, again));
      std::u16string expected = first;
      for (char16_t &c : expected)
        if (c == 0xFFFD)
          c = u'?';
      if (again != expected) {
        ++failures;
        ADD_FAILURE() << cp << ": " << hex(in);
      }
    }
  }
}

TEST(CodePage, LongInputsConvertCompletely) {
  std::string bytes;
  std::u16string expected;
  for (int i = 0; i < 100000; ++i) {
    bytes += "\xD6\xD0"
             "a";
    expected += u"中a";
  }
  std::u16string text;
  ASSERT_TRUE(toUtf16(936, bytes, text));
  EXPECT_EQ(text, expected);
  std::string back;
  ASSERT_TRUE(fromUtf16(936, text, back));
  EXPECT_EQ(back, bytes);
}

// Byte limits of the old file format end on whole characters: half a
// double-byte character would read back as a different one.
TEST(CodePage, CutsAtByteLimitsKeepWholeCharacters) {
  struct Row {
    int codePage;
    std::u16string text;
    size_t limit;
    std::string expected;
    bool cut;
  };
  const Row rows[] = {
      {936, u"中文字", 6, "\xD6\xD0\xCE\xC4\xD7\xD6", false},
      {936, u"中文字", 5, "\xD6\xD0\xCE\xC4", true},
      {936, u"a中", 2, "a", true},
      {936, u"中", 1, "", true},
      {936, u"中😀", 2, "\xD6\xD0", true}, // the emoji is one "?" here
      {1252, u"abcdef", 3, "abc", true},
      {1252, u"", 0, "", false},
      {65001, u"a😀b", 4, "a", true},
      {65001, u"a😀b", 5, "a\xF0\x9F\x98\x80", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.codePage);
    SCOPED_TRACE(row.limit);
    std::string out;
    bool cut = false;
    ASSERT_TRUE(fromUtf16Within(row.codePage, row.text, row.limit, out, cut));
    EXPECT_EQ(out, row.expected);
    EXPECT_EQ(cut, row.cut);
  }
  // Long texts too: 40,000 characters cut to 255 bytes keep 127 of them.
  std::string out;
  bool cut = false;
  ASSERT_TRUE(fromUtf16Within(936, std::u16string(40000, u'中'), 255, out, cut));
  EXPECT_EQ(out.size(), 254u);
  EXPECT_TRUE(cut);
}

} // namespace
} // namespace platform
