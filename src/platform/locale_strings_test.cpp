#include "platform/locale_strings.h"

#include "platform/locale_strings_internal.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace platform {
namespace {

// Sets or clears an environment variable for one scope.
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

std::string u8(const std::u16string &s) { return toUtf8(s); }

TEST(LocaleStrings, EnglishUnitedStates) {
  const LocaleStrings s = loadLocaleStrings("en-US");
  EXPECT_EQ(s.localeId, "en-US");
  EXPECT_EQ(s.dateOrder, u"0");
  EXPECT_EQ(s.dateSeparator, u"/");
  EXPECT_EQ(s.timeSeparator, u":");
  EXPECT_EQ(s.decimalSeparator, u".");
  EXPECT_EQ(s.thousandsSeparator, u",");
  EXPECT_EQ(s.currencySymbol, u"$");
  EXPECT_EQ(s.currencyDigits, u"2");
  EXPECT_EQ(s.listSeparator, u",");
  const std::array<std::u16string, 7> days = {u"Monday", u"Tuesday",  u"Wednesday", u"Thursday",
                                              u"Friday", u"Saturday", u"Sunday"};
  const std::array<std::u16string, 7> dayAbbr = {u"Mon", u"Tue", u"Wed", u"Thu",
                                                 u"Fri", u"Sat", u"Sun"};
  EXPECT_EQ(s.dayNames, days);
  EXPECT_EQ(s.dayAbbreviations, dayAbbr);
  const std::array<std::u16string, 12> months = {
      u"January", u"February", u"March",     u"April",   u"May",      u"June",
      u"July",    u"August",   u"September", u"October", u"November", u"December"};
  const std::array<std::u16string, 12> monthAbbr = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                    u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  EXPECT_EQ(s.monthNames, months);
  EXPECT_EQ(s.monthAbbreviations, monthAbbr);
  EXPECT_EQ(s.amDesignator, u"AM");
  EXPECT_EQ(s.pmDesignator, u"PM");
  EXPECT_EQ(s.shortDatePattern, u"M/d/yyyy");
  EXPECT_EQ(s.hourLeadingZero, u"0");
  EXPECT_EQ(s.negativeCurrencyMode, 0); // ($1.1)
}

TEST(LocaleStrings, ChineseChina) {
  const LocaleStrings s = loadLocaleStrings("zh-CN");
  EXPECT_EQ(s.localeId, "zh-CN");
  EXPECT_EQ(s.dateOrder, u"2");
  EXPECT_EQ(s.dateSeparator, u"/");
  EXPECT_EQ(s.timeSeparator, u":");
  EXPECT_EQ(s.decimalSeparator, u".");
  EXPECT_EQ(s.thousandsSeparator, u",");
  EXPECT_EQ(s.currencySymbol, u"\u00A5");
  EXPECT_EQ(s.currencyDigits, u"2");
  EXPECT_EQ(s.listSeparator, u",");
  const std::array<std::u16string, 7> days = {u"星期一", u"星期二", u"星期三", u"星期四",
                                              u"星期五", u"星期六", u"星期日"};
  EXPECT_EQ(s.dayNames, days);
  EXPECT_EQ(s.dayAbbreviations[0], u"周一");
  EXPECT_EQ(s.dayAbbreviations[6], u"周日");
  EXPECT_EQ(s.monthNames[0], u"一月");
  EXPECT_EQ(s.monthNames[11], u"十二月");
  EXPECT_EQ(s.monthAbbreviations[0], u"1月");
  EXPECT_EQ(s.monthAbbreviations[11], u"12月");
  EXPECT_EQ(s.amDesignator, u"上午");
  EXPECT_EQ(s.pmDesignator, u"下午");
  EXPECT_EQ(s.shortDatePattern, u"yyyy/M/d");
  // CLDR's short time is HH:mm (Windows says H:mm), and its negative money
  // -¥1.1 (format 1; Windows says ¥-1.1, format 2).
  EXPECT_EQ(s.hourLeadingZero, u"1");
  EXPECT_EQ(s.negativeCurrencyMode, 1);
}

TEST(LocaleStrings, GermanGermany) {
  const LocaleStrings s = loadLocaleStrings("de-DE");
  EXPECT_EQ(s.dateOrder, u"1");
  EXPECT_EQ(s.dateSeparator, u".");
  EXPECT_EQ(s.timeSeparator, u":");
  EXPECT_EQ(s.decimalSeparator, u",");
  EXPECT_EQ(s.thousandsSeparator, u".");
  EXPECT_EQ(s.currencySymbol, u"€");
  EXPECT_EQ(s.currencyDigits, u"2");
  EXPECT_EQ(s.listSeparator, u";");
  EXPECT_EQ(s.dayNames[0], u"Montag");
  EXPECT_EQ(s.dayNames[6], u"Sonntag");
  EXPECT_EQ(s.monthNames[2], u"März");
  EXPECT_EQ(s.shortDatePattern, u"dd.MM.yyyy");
  EXPECT_EQ(s.hourLeadingZero, u"1");
  EXPECT_EQ(s.negativeCurrencyMode, 8); // -1.1 €
}

TEST(LocaleStrings, JapaneseJapan) {
  const LocaleStrings s = loadLocaleStrings("ja-JP");
  EXPECT_EQ(s.dateOrder, u"2");
  EXPECT_EQ(s.shortDatePattern, u"yyyy/MM/dd");
  EXPECT_EQ(s.currencyDigits, u"0"); // the yen has no minor unit
  EXPECT_EQ(s.dayNames[0], u"月曜日");
  EXPECT_EQ(s.amDesignator, u"午前");
  EXPECT_EQ(s.hourLeadingZero, u"0"); // H:mm
  EXPECT_EQ(s.negativeCurrencyMode, 1);
}

// Each row: a locale and CLDR's currency pattern for it, which decides the
// Windows format number.
TEST(LocaleStrings, NegativeCurrencyModeFollowsTheLocale) {
  const struct {
    const char *locale;
    int mode;
  } kRows[] = {
      {"nl-NL", 12}, // ¤ #,##0.00;¤ -#,##0.00
      {"de-CH", 2},  // ¤ #,##0.00;¤-#,##0.00
      {"pt-BR", 9},  // ¤ #,##0.00 with an implied minus in front
      {"fr-FR", 8},  // #,##0.00 ¤
      {"en-GB", 1},  // ¤#,##0.00
  };
  for (const auto &row : kRows)
    EXPECT_EQ(loadLocaleStrings(row.locale).negativeCurrencyMode, row.mode) << row.locale;
}

TEST(LocaleStrings, NegativeCurrencyModeCoversAllWindowsFormats) {
  const struct {
    std::u16string_view pattern;
    int mode;
  } kRows[] = {
      {u"¤#,##0.00;(¤#,##0.00)", 0},
      {u"¤#,##0.00", 1}, // no negative part: a minus goes in front
      {u"¤#,##0.00;¤-#,##0.00", 2},
      {u"¤#,##0.00;¤#,##0.00-", 3},
      {u"#,##0.00¤;(#,##0.00¤)", 4},
      {u"#,##0.00¤", 5},
      {u"#,##0.00¤;#,##0.00-¤", 6},
      {u"#,##0.00¤;#,##0.00¤-", 7},
      {u"#,##0.00 ¤", 8},
      {u"#,##0.00\u00A0¤", 8}, // a no-break space is a space
      {u"¤ #,##0.00", 9},
      {u"#,##0.00 ¤;#,##0.00 ¤-", 10},
      {u"¤ #,##0.00;¤ #,##0.00-", 11},
      {u"¤ #,##0.00;¤ -#,##0.00", 12},
      {u"#,##0.00 ¤;#,##0.00- ¤", 13},
      {u"¤ #,##0.00;(¤ #,##0.00)", 14},
      {u"#,##0.00 ¤;(#,##0.00 ¤)", 15},
      {u"\u200F#,##0.00 \u200F¤;\u200F-#,##0.00 \u200F¤", 8}, // Hebrew's direction marks
      {u"'x'¤#,##0.00", 1},                                   // quoted text is not the number
      {u"(¤-#,##0.00)", 1},                                   // no Windows form: symbol first
      {u"-#,##0.00 (¤)", 8},                                  // no Windows form: symbol after
      {u"-#,##0.00(¤)", 5},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(internal::negativeCurrencyMode(row.pattern), row.mode)
        << u8(std::u16string(row.pattern));
}

TEST(LocaleStrings, DatePatternsBecomeWindowsPictures) {
  const struct {
    std::u16string_view icu;
    std::u16string_view windows;
  } kRows[] = {
      {u"M/d/y", u"M/d/yyyy"},
      {u"M/d/yy", u"M/d/yy"},
      {u"y/M/d", u"yyyy/M/d"},
      {u"yyyy-MM-dd", u"yyyy-MM-dd"},
      {u"yyy.MM.dd", u"yyyy.MM.dd"},
      {u"u-MM-dd", u"yyyy-MM-dd"},
      {u"dd.MM.y", u"dd.MM.yyyy"},
      {u"d/M/y GGGGG", u"d/M/yyyy gg"},
      {u"d\u200F/M\u200F/y", u"d/M/yyyy"},   // direction marks dropped
      {u"y'年'M'月'd'日'", u"yyyy年M月d日"}, // quoted text kept as its characters
      {u"d 'de' MMMM 'de' y", u"d de MMMM de yyyy"},
      {u"dd 'o''clock' y", u"dd o'clock yyyy"}, // '' inside quotes is one quote
      {u"''d''", u"'d'"},
      {u"LLL d, y", u"MMM d, yyyy"}, // stand-alone month
      {u"EEEE, d MMMM y", u"dddd, d MMMM yyyy"},
      {u"B d/M/y", u"d/M/yyyy"}, // letters with no picture vanish
      {u"'unterminated", u"unterminated"},
      {u"", u""},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(internal::toWindowsDatePicture(row.icu), row.windows) << u8(std::u16string(row.icu));
}

TEST(LocaleStrings, DateOrderAndSeparatorComeFromTheShortDate) {
  const struct {
    const char *locale;
    std::u16string_view order;
    std::u16string_view separator;
    std::u16string_view picture;
  } kRows[] = {
      {"ko-KR", u"2", u".", u"yyyy. M. d."}, // CLDR writes "y. M. d.": spaces dropped
      {"nl-NL", u"1", u"-", u"dd-MM-yyyy"},
      {"en-GB", u"1", u"/", u"dd/MM/yyyy"},
      {"sv-SE", u"2", u"-", u"yyyy-MM-dd"},
  };
  for (const auto &row : kRows) {
    const LocaleStrings s = loadLocaleStrings(row.locale);
    EXPECT_EQ(s.dateOrder, row.order) << row.locale;
    EXPECT_EQ(s.dateSeparator, row.separator) << row.locale;
    EXPECT_EQ(s.shortDatePattern, row.picture) << row.locale;
  }
}

TEST(LocaleStrings, TagsAreCanonical) {
  const struct {
    const char *in;
    const char *out;
  } kRows[] = {
      {"en-US", "en-US"},
      {"zh_CN.UTF-8", "zh-CN"},
      {"de_DE@euro", "de-DE"},
      {"zh", "zh-CN"},
      {"zh-Hans", "zh-CN"},
      {"zh-Hant", "zh-TW"},
      {"en", "en-US"},
      {"ja", "ja-JP"},
      {"EN-us", "en-US"},
      {"sr-Latn-RS", "sr-Latn-RS"},
      {"sr-Cyrl-RS", "sr-RS"},
      {"C", ""},
      {"POSIX", ""},
      {"", ""},
      {"@@@", ""},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(internal::canonicalLocaleTag(row.in), row.out) << row.in;
}

TEST(LocaleStrings, UnknownTagsDoNotFail) {
  for (const char *tag : {"", "xx-YY", "@@@", "C", "-", "en-US-u-ca-bogus", "zz", "\xff\xfe"}) {
    const LocaleStrings s = loadLocaleStrings(tag);
    // Root data: the same on every machine, whatever LANG says.
    EXPECT_FALSE(s.amDesignator.empty()) << tag;
    EXPECT_FALSE(s.pmDesignator.empty()) << tag;
    EXPECT_FALSE(s.decimalSeparator.empty()) << tag;
    EXPECT_GE(s.negativeCurrencyMode, 0) << tag;
    EXPECT_LE(s.negativeCurrencyMode, 15) << tag;
  }
  const LocaleStrings root = loadLocaleStrings("xx-YY");
  EXPECT_EQ(root.amDesignator, u"AM");
  EXPECT_EQ(root.shortDatePattern, u"yyyy-MM-dd");
  EXPECT_EQ(root.dateOrder, u"2");
}

TEST(LocaleStrings, UserLocaleIdFromTheEnvironment) {
  const struct {
    const char *pinned;
    const char *lcAll;
    const char *lcMessages;
    const char *lang;
    const char *expected;
  } kRows[] = {
      {"zh-CN", "de_DE.UTF-8", nullptr, nullptr, "zh-CN"},
      {"", "de_DE.UTF-8", "fr_FR.UTF-8", "ja_JP.UTF-8", "de-DE"}, // empty means unset
      {nullptr, nullptr, "fr_FR.UTF-8", "ja_JP.UTF-8", "fr-FR"},
      {nullptr, "", "", "zh_CN.UTF-8", "zh-CN"},
      {nullptr, nullptr, nullptr, "C", "en-US"},
      {nullptr, nullptr, nullptr, "POSIX", "en-US"},
      {nullptr, "C.UTF-8", nullptr, "de_DE", "en-US"}, // LC_ALL wins even when it is C
      {nullptr, nullptr, nullptr, nullptr, "en-US"},
      {"zh_TW", nullptr, nullptr, nullptr, "zh-TW"},
  };
  for (const auto &row : kRows) {
    ScopedEnv pinned("CELLWICK_LOCALE", row.pinned);
    ScopedEnv all("LC_ALL", row.lcAll);
    ScopedEnv messages("LC_MESSAGES", row.lcMessages);
    ScopedEnv lang("LANG", row.lang);
    EXPECT_EQ(userLocaleId(), row.expected)
        << (row.pinned ? row.pinned : "(unset)") << " " << (row.lang ? row.lang : "(unset)");
  }
}

TEST(LocaleStrings, StringsInForceCanBeReplaced) {
  // CTest pins en-US.
  const LocaleStrings saved = localeStrings();
  EXPECT_EQ(&localeStrings(), &localeStrings());
  setLocaleStrings(loadLocaleStrings("zh-CN"));
  EXPECT_EQ(localeStrings().currencySymbol, u"\u00A5");
  EXPECT_EQ(localeStrings().localeId, "zh-CN");
  setLocaleStrings(saved);
  EXPECT_EQ(localeStrings().localeId, saved.localeId);
}

} // namespace
} // namespace platform
