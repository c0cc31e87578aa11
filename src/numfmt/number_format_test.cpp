#include "numfmt/number_format.h"

#include "numfmt/number_format_internal.h"
#include "platform/text_metrics.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace numfmt {
namespace {

using platform::LocaleStrings;

// Built by hand so that the expectations do not depend on ICU's data.
LocaleStrings englishUs() {
  LocaleStrings s;
  s.localeId = "en-US";
  s.dateOrder = u"0";
  s.dateSeparator = u"/";
  s.timeSeparator = u":";
  s.decimalSeparator = u".";
  s.thousandsSeparator = u",";
  s.currencySymbol = u"$";
  s.currencyDigits = u"2";
  s.listSeparator = u",";
  s.dayNames = {u"Monday", u"Tuesday",  u"Wednesday", u"Thursday",
                u"Friday", u"Saturday", u"Sunday"};
  s.dayAbbreviations = {u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun"};
  s.monthNames = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                  u"July",    u"August",   u"September", u"October", u"November", u"December"};
  s.monthAbbreviations = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                          u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  s.amDesignator = u"AM";
  s.pmDesignator = u"PM";
  s.shortDatePattern = u"M/d/yyyy";
  s.hourLeadingZero = u"0";
  return s;
}

LocaleStrings chineseChina() {
  LocaleStrings s = englishUs();
  s.localeId = "zh-CN";
  s.dateOrder = u"2";
  s.currencySymbol = u"¥";
  s.dayNames = {u"星期一", u"星期二", u"星期三", u"星期四", u"星期五", u"星期六", u"星期日"};
  s.dayAbbreviations = {u"周一", u"周二", u"周三", u"周四", u"周五", u"周六", u"周日"};
  s.monthNames = {u"一月", u"二月", u"三月", u"四月", u"五月",   u"六月",
                  u"七月", u"八月", u"九月", u"十月", u"十一月", u"十二月"};
  s.monthAbbreviations = {u"1月", u"2月", u"3月", u"4月",  u"5月",  u"6月",
                          u"7月", u"8月", u"9月", u"10月", u"11月", u"12月"};
  s.amDesignator = u"上午";
  s.pmDesignator = u"下午";
  s.shortDatePattern = u"yyyy/M/d";
  return s;
}

// Separators the other way round, so a hard-coded '.' or ',' shows up.
LocaleStrings germanStyle() {
  LocaleStrings s = englishUs();
  s.localeId = "de-DE";
  s.decimalSeparator = u",";
  s.thousandsSeparator = u".";
  return s;
}

const LocaleStrings &en() {
  static const LocaleStrings s = englishUs();
  return s;
}
const LocaleStrings &zh() {
  static const LocaleStrings s = chineseChina();
  return s;
}
const LocaleStrings &de() {
  static const LocaleStrings s = germanStyle();
  return s;
}

struct Row {
  double value;
  std::u16string_view code;
  std::u16string_view expected;
};

std::string u8(std::u16string_view s) { return platform::toUtf8(s); }

std::u16string render(double value, std::u16string_view code, const LocaleStrings &locale = en(),
                      bool date1904 = false) {
  FormatOptions o;
  o.locale = &locale;
  o.date1904 = date1904;
  return formatNumber(value, code, o).text;
}

void expectRows(std::initializer_list<Row> rows, const LocaleStrings &locale = en(),
                bool date1904 = false) {
  for (const Row &r : rows)
    EXPECT_EQ(u8(render(r.value, r.code, locale, date1904)), u8(r.expected))
        << r.value << " with " << u8(r.code);
}

TEST(FormatNumber, DigitPlaceholdersAndGrouping) {
  expectRows({
      {1234567, u"#,##0", u"1,234,567"},
      {12, u"#,##0", u"12"},
      {0, u"#,##0", u"0"},
      {1234.5, u"#,##0.00", u"1,234.50"},
      {-1234.5, u"#,##0.00", u"-1,234.50"},
      {1234567.891, u"#,##0.00", u"1,234,567.89"},
      {1234.5, u"#,##0", u"1,235"},
      {0.5, u"0.00", u"0.50"},
      {0.5, u"#.##", u".5"},
      {0, u"#", u""},
      {5, u"00000", u"00005"},
      {5, u"0,000", u"0,005"},
      {1.5, u"0.0#", u"1.5"},
      {1234.567, u"0.0#", u"1234.57"},
      {1.5, u"0.0?", u"1.5 "},
      {0.05, u"?.??", u" .05"},
      {12345, u"0", u"12345"}, // integers are never cut to their placeholders
      {1234567, u"0,0", u"1,234,567"},
      {123456789012345678.0, u"0", u"123456789012346000"},
      {1234, u"$#,##0_);($#,##0)", u"$1,234 "},
      {-1234, u"$#,##0_);($#,##0)", u"($1,234)"},
      {-1234.5, u"#,##0.00_);(#,##0.00)", u"(1,234.50)"},
      {1234.5, u"#,##0.00_);(#,##0.00)", u"1,234.50 "},
      {7, u"\"No. \"0", u"No. 7"},
      {7, u"\\#0", u"#7"},
      {7, u"0 \"items\"", u"7 items"},
  });
}

TEST(FormatNumber, RoundsHalfAwayFromZeroWithoutBinaryNoise) {
  expectRows({
      {0.125, u"0.00", u"0.13"},
      {2.5, u"0", u"3"},
      {-2.5, u"0", u"-3"},
      {3.5, u"0", u"4"},
      {1.005, u"0.00", u"1.01"}, // stored as 1.00499999..., shown from 15 digits
      {0.285, u"0.00", u"0.29"},
      {1.45, u"0.0", u"1.5"},
      {0.1 + 0.2, u"0.00000000000000000", u"0.30000000000000000"},
      {1.0 / 3, u"0.000000000000000000", u"0.333333333333333000"},
      {9.995, u"0.00", u"10.00"},
      {999.5, u"#,##0", u"1,000"},
      {0.004, u"0.00", u"0.00"},
      {-0.0, u"0.00", u"0.00"},
      {-0.0, u"General", u"0"},
  });
}

TEST(FormatNumber, PercentAndScaling) {
  expectRows({
      {0.123, u"0.0%", u"12.3%"},
      {0.5, u"0%", u"50%"},
      {1, u"0.00%", u"100.00%"},
      {0.0005, u"0.0%", u"0.1%"},
      {1234567, u"0.0,", u"1234.6"},
      {1234567, u"0,,", u"1235,"}, // one division: the second comma is a literal
      {1234567, u"#,##0,", u"1,235"},
  });
}

TEST(FormatNumber, ScientificAndEngineering) {
  expectRows({
      {12345, u"0.00E+00", u"1.23E+04"},
      {0.05, u"0.00E+00", u"5.00E-02"},
      {0, u"0.00E+00", u"0.00E+00"},
      {12345, u"##0.0E+0", u"12.3E+3"},
      {0.00012345, u"##0.0E+0", u"123.5E-6"},
      {1234567, u"0.0E-0", u"1.2E6"},
      {0.001, u"0.0E-0", u"1.0E-3"},
      {-12345, u"0.00E+00", u"-1.23E+04"},
      {1e300, u"0.00E+00", u"1.00E+300"},
      {1e-300, u"0.00E+00", u"1.00E-300"},
      {123, u"00.0E+0", u"12.3E+1"},
      {0, u"00.0E+0", u"00.0E+0"},
      // A mantissa rounding up to the next power moves the exponent on.
      {9.999, u"0.00E+00", u"1.00E+01"},
      {999.96, u"##0.0E+0", u"1.0E+3"},
  });
}

TEST(FormatNumber, Fractions) {
  constexpr double pi = 3.14159265358979;
  expectRows({
      {0.25, u"# ?/?", u" 1/4"},
      {0.5, u"# ?/?", u" 1/2"},
      {0.25, u"# ?\?/??", u" 1 / 4"},
      {3, u"# ?/?", u"3    "},
      {2.5, u"?/?", u"5/2"},
      {1.75, u"# ?/?", u"1 3/4"},
      {-1.75, u"# ?/?", u"-1 3/4"},
      {pi, u"# ?/?", u"3 1/7"},
      {pi, u"# ?\?/??", u"3 14/99"},
      {pi, u"# ????\?/?????", u"3 14093/99532"}, // the convergent 312689/99532
      {0.3333333333333333, u"?/???", u"1/  3"},
      {12.5, u"?/?", u"25/2"}, // a wide numerator is widened, not cut
      {3, u"?/?", u"3/1"},
      {2.99999, u"# ?/?", u"3    "}, // within half a step of 1: carried
      {0, u"# ?/?", u"0    "},
      {0, u"?/?", u"0/1"},
      {3, u"# 0/0", u"3 0/1"},
  });
}

TEST(FormatNumber, SectionChoice) {
  expectRows({
      {-5, u"0;(0)", u"(5)"},
      {5, u"0;(0)", u"5"},
      {0, u"0;(0)", u"0"},
      {-5, u"0", u"-5"},
      {0, u"0;-0;\"zero\"", u"zero"},
      {5, u";;", u""},
      {-5, u";;", u""},
      {5, u"[Red]", u"5"},
      {-5, u"[Red]", u"-5"},
      {5, u"0;;0", u"5"},
      {-5, u"0;;0", u""},
      {0, u"0;;\"z\"", u"z"},
      {0, u"0;(0);", u""},
      {5, u";0", u""},
      {-5, u";0", u"5"},
      {0, u";;0", u"0"},
      {150, u"[>=100]\"big\";[<0]\"neg\";\"small\"", u"big"},
      {50, u"[>=100]\"big\";[<0]\"neg\";\"small\"", u"small"},
      {-5, u"[>=100]\"big\";[<0]\"neg\";\"small\"", u"-neg"},
      {0, u"[=0]\"zero\";0", u"zero"},
      {5, u"[=0]\"zero\";0", u"5"},
      {-1, u"[<0]\"neg\"", u"-neg"},
      {1, u"[<0]\"neg\"", u"1"}, // no other section: General
      {1, u"", u"1"},
  });
}

TEST(FormatNumber, ColourOfTheChosenSection) {
  const struct {
    double value;
    std::u16string_view code;
    std::u16string_view colour; // empty: none
    int palette;
  } rows[] = {
      {5, u"[Red]", u"Red", 10},
      {5, u"0;[Red]0", u"", -1},
      {-5, u"0;[Red]0", u"Red", 10},
      {-5, u"[Blue]0;[magenta]-0", u"Magenta", 14},
      {5, u"[BLACK]0", u"Black", 8},
      {5, u"[Cyan][>3]0;[Green]0", u"Cyan", 15},
      {1, u"[Cyan][>3]0;[Green]0", u"Green", 11},
      {5, u"[Purple]0", u"", -1}, // not a colour name: dropped
  };
  for (const auto &r : rows) {
    FormatOptions o;
    o.locale = &en();
    const FormatResult result = formatNumber(r.value, r.code, o);
    EXPECT_EQ(u8(result.colourName()), u8(r.colour)) << u8(r.code);
    EXPECT_EQ(colourPaletteIndex(result.colour), r.palette) << u8(r.code);
  }
}

TEST(FormatNumber, DatesInThe1900System) {
  expectRows({
      {36526, u"yyyy-mm-dd", u"2000-01-01"},
      {36526, u"dddd, mmmm d, yyyy", u"Saturday, January 1, 2000"},
      {36526, u"ddd dd mmm yy", u"Sat 01 Jan 00"},
      {36526, u"mmmmm", u"J"},
      {36526, u"m/d/yy", u"1/1/00"},
      {36526.75, u"dd-mmm-yy h:mm AM/PM", u"01-Jan-00 6:00 PM"},
      {43831, u"yyyy-mm-dd dddd", u"2020-01-01 Wednesday"},
      {2958465, u"yyyy-mm-dd", u"9999-12-31"},
      // Before 1 March 1900 the calendar keeps the phantom 29 February.
      {1, u"yyyy-mm-dd dddd", u"1900-01-01 Sunday"},
      {59, u"yyyy-mm-dd", u"1900-02-28"},
      {60, u"yyyy-mm-dd", u"1900-02-29"},
      {61, u"yyyy-mm-dd dddd", u"1900-03-01 Thursday"},
      {1, u"yyy", u"1900"},
      {1, u"y", u"y"},
  });
}

TEST(FormatNumber, DatesInThe1904System) {
  expectRows(
      {
          {0, u"yyyy-mm-dd dddd", u"1904-01-01 Friday"},
          {42369, u"yyyy-mm-dd", u"2020-01-01"},
          {1, u"d mmm yyyy", u"2 Jan 1904"},
      },
      en(), true);
}

TEST(FormatNumber, TimesAndElapsedTime) {
  constexpr double second = 1.0 / 86400;
  expectRows({
      {1.5, u"[h]:mm", u"36:00"},
      {0.000694444, u"mm:ss.0", u"01:00.0"},
      {0.5, u"hh:mm:ss", u"12:00:00"},
      {0.5, u"h:mm", u"12:00"},
      {0.5, u"h:mm AM/PM", u"12:00 PM"},
      {0, u"h:mm AM/PM", u"12:00 AM"},
      {0.75, u"h:mm:ss am/pm", u"6:00:00 pm"},
      {0.25, u"h A/P", u"6 A"},
      {0.75, u"h a/p", u"6 p"},
      {90 * second, u"mm:ss", u"01:30"},
      {36526, u"mm", u"01"}, // alone, mm is the month
      {1.25, u"[mm]:ss", u"1800:00"},
      {second, u"[ss]", u"01"},
      {second, u"[s]", u"1"},
      {2.5, u"[h]", u"60"},
      {0.5 + 1.5 * second, u"hh:mm:ss.00", u"12:00:01.50"},
      {59.6 * second, u"mm:ss.0", u"00:59.6"},
      {0.999999999, u"hh:mm:ss", u"00:00:00"}, // rounds into the next day
      {36526.9999999999, u"yyyy-mm-dd hh:mm", u"2000-01-02 00:00"},
      {1.5, u"d \"days\" h \"hours\"", u"1 days 12 hours"},
  });
}

TEST(FormatNumber, ChineseLocale) {
  expectRows(
      {
          {36526, u"yyyy年m月d日 dddd", u"2000年1月1日 星期六"},
          {36526, u"mmmm ddd", u"一月 周六"},
          {36526, u"mmm", u"1月"},
          {0.75, u"上午/下午h:mm", u"下午6:00"},
          {0.25, u"h:mm AM/PM", u"6:00 上午"}, // built-in codes keep the English pattern
          {1234567.5, u"#,##0.00", u"1,234,567.50"},
          {1e20, u"General", u"1E+020"},
      },
      zh());
}

TEST(FormatNumber, LocaleSeparators) {
  expectRows(
      {
          {1234567.891, u"#,##0.00", u"1.234.567,89"},
          {0.5, u"0.0%", u"50,0%"},
          {1.5, u"General", u"1,5"},
          {0.5 + 1.5 / 86400, u"hh:mm:ss.00", u"12:00:01,50"},
          {12345, u"0.00E+00", u"1,23E+04"},
      },
      de());
}

TEST(FormatNumber, GeneralKeywordAndTextPlaceholder) {
  expectRows({
      {1e20, u"General", u"1E+020"},
      {0.1 + 0.2, u"General", u"0.3"},
      {1e-5, u"General", u"1E-005"},
      {0.0001, u"General", u"0.0001"},
      {123456789012345.0, u"General", u"123456789012345"},
      {1234567890123456.0, u"General", u"1.23456789012346E+015"},
      {-1.5, u"General", u"-1.5"},
      {1.5, u"\"x\"General", u"x1.5"},
      {1.5, u"\"<\"@\">\"", u"<1.5>"},
      {5, u"general", u"general"}, // the keyword is case-sensitive; "g" is a literal
      {1e300, u"General", u"1E+300"},
  });
}

TEST(GeneralText, PrintfStyleSignificantDigits) {
  const struct {
    double value;
    int digits;
    std::u16string_view expected;
  } rows[] = {
      {1e20, 15, u"1E+020"},         {1.5e-7, 15, u"1.5E-007"},
      {0.1 + 0.2, 15, u"0.3"},       {100, 15, u"100"},
      {-2.5, 15, u"-2.5"},           {0, 15, u"0"},
      {1234.5678, 5, u"1234.6"},     {123456, 5, u"1.2346E+005"},
      {0.00001234, 3, u"1.23E-005"}, {5e-324, 15, u"4.94065645841247E-324"},
  };
  for (const auto &r : rows)
    EXPECT_EQ(u8(generalText(r.value, r.digits, en())), u8(r.expected)) << r.value;
  EXPECT_EQ(u8(generalText(1.5, 15, de())), "1,5");
}

// FixedTextMetrics draws every character of the default font 7 pixels wide.
FormatResult fitted(double value, std::u16string_view code, int widthPx) {
  static const platform::FixedTextMetrics metrics;
  FormatOptions o;
  o.locale = &en();
  o.metrics = &metrics;
  o.availableWidthPx = widthPx;
  return formatNumber(value, code, o);
}

TEST(FormatNumber, GeneralShrinksToTheWidth) {
  const struct {
    double value;
    std::u16string_view code;
    int chars;
    std::u16string_view expected;
  } rows[] = {
      {3.14159265, u"General", 20, u"3.14159265"},
      {3.14159265, u"General", 9, u"3.1415927"},
      {3.14159265, u"General", 5, u"3.142"},
      {3.14159265, u"General", 3, u"3.1"},
      {3.14159265, u"General", 1, u"3"},
      {3.14159265, u"General", 0, u"3"},
      {-3.14159265, u"General", 5, u"-3.14"}, // the sign takes its share
      {2.96, u"General", 3, u"3"},            // 3.0 loses its point and zero
      {1.23456789e20, u"General", 9, u"1.23E+020"},
      {3.14159265, u"\"ab\"General", 5, u"ab3.1"},
  };
  for (const auto &r : rows)
    EXPECT_EQ(u8(fitted(r.value, r.code, r.chars * 7).text), u8(r.expected))
        << r.value << " in " << r.chars << " characters";
}

// A whole number too wide for the room turns to the exponent form and loses
// digits until it fits, instead of being cut at the cell's edge.
TEST(FormatNumber, GeneralWholeNumbersTurnToTheExponentForm) {
  const struct {
    double value;
    std::u16string_view code;
    int chars;
    std::u16string_view expected;
  } rows[] = {
      {1442634630, u"General", 10, u"1442634630"}, // fits as it is
      {1442634630, u"General", 9, u"1.44E+009"},
      {1442634630, u"General", 8, u"1.4E+009"},
      {1442634630, u"General", 7, u"1E+009"},
      {1442634630, u"General", 6, u"1E+009"},
      {1442634630, u"General", 5, u"1E+009"}, // nothing fits: the shortest try
      {-1442634630, u"General", 8, u"-1E+009"}, // the sign takes its share
      {9999999999.0, u"General", 8, u"1E+010"}, // rounding carries into the exponent
      {123456789012.0, u"General", 8, u"1.2E+011"},
      {123456.789, u"General", 8, u"123456.8"}, // decimals go first
      {123456.789, u"General", 6, u"123457"},
      {123456.789, u"General", 5, u"1E+005"},   // then the rounded whole number turns
      {99999.6, u"General", 6, u"100000"},
      {99999.6, u"General", 5, u"1E+005"},
      {12345, u"General", 4, u"1E+004"},        // shorter forms only: nothing fits
      {5, u"General", 0, u"5"},                 // one digit has no shorter form
      {1e300, u"General", 6, u"1E+300"},
      {1e300, u"General", 3, u"1E+300"},
      {1442634630, u"\"x\"General", 9, u"x1.4E+009"}, // literals take their share
  };
  for (const auto &r : rows)
    EXPECT_EQ(u8(fitted(r.value, r.code, r.chars * 7).text), u8(r.expected))
        << r.value << " in " << r.chars << " characters";
  // The exponent form keeps the locale's decimal separator.
  static const platform::FixedTextMetrics metrics;
  FormatOptions o;
  o.locale = &de();
  o.metrics = &metrics;
  o.availableWidthPx = 8 * 7;
  EXPECT_EQ(u8(formatNumber(1442634630, u"General", o).text), "1,4E+009");
}

TEST(FitNumberText, TooWideTextsBecomeHashesFillingTheRoom) {
  static const platform::FixedTextMetrics metrics;
  const platform::FontSpec font;
  const struct {
    std::u16string_view text;
    int widthPx;
    std::u16string_view expected;
  } rows[] = {
      {u"1,234", 35, u"1,234"}, // exactly as wide as the room
      {u"1,234", 34, u"####"},
      {u"1,234", 7, u"#"},
      {u"1,234", 6, u""}, // not even one fits
      {u"1,234", 0, u""},
      {u"1,234", -5, u""},
      {u"", 0, u""},
      {u"2023-03-15", 69, u"#########"},
  };
  std::u16string scratch;
  for (const auto &r : rows)
    EXPECT_EQ(u8(fitNumberText(r.text, r.widthPx, metrics, font, scratch)), u8(r.expected))
        << u8(r.text) << " in " << r.widthPx;
  // A larger font has wider hashes.
  platform::FontSpec big;
  big.heightTwips = 400;
  EXPECT_EQ(u8(fitNumberText(u"123", 40, metrics, big, scratch)), "##");
}

TEST(FormatNumber, FillRepeatsToTheWidth) {
  EXPECT_EQ(u8(fitted(5, u"0*-", 70).text), "5---------");
  EXPECT_EQ(u8(fitted(5, u"*-0", 70).text), "---------5");
  EXPECT_EQ(u8(fitted(5, u"0*-", 3).text), "5");
  EXPECT_EQ(u8(fitted(1234, u"_($* #,##0_)", 105).text), " $       1,234 ");
  EXPECT_EQ(u8(render(5, u"0*-")), "5"); // no width: no fill
  EXPECT_EQ(u8(render(1234, u"_($* #,##0_)")), " $1,234 ");
}

TEST(FormatNumber, CompiledFormatGivesTheSameTextAsTheCode) {
  const CompiledFormat f = compileFormat(u"#,##0.00_);[Red](#,##0.00);\"-\"", en());
  FormatOptions o;
  o.locale = &en();
  FormatResult reused;
  const double values[] = {1234.5, -1234.5, 0, 0.004, -0.004};
  for (double v : values) {
    formatNumber(v, f, o, reused);
    const FormatResult fresh = formatNumber(v, u"#,##0.00_);[Red](#,##0.00);\"-\"", o);
    EXPECT_EQ(u8(reused.text), u8(fresh.text)) << v;
    EXPECT_EQ(reused.colour, fresh.colour) << v;
  }
  formatNumber(-1, f, o, reused);
  EXPECT_EQ(u8(reused.text), "(1.00)");
  EXPECT_EQ(u8(reused.colourName()), "Red");
  formatNumber(1, f, o, reused); // a reused result forgets the previous colour
  EXPECT_FALSE(reused.hasColour());
}

TEST(FormatText, OnlyAFourthSectionChangesText) {
  const struct {
    std::optional<std::u16string_view> text;
    std::u16string_view code;
    std::u16string_view expected;
  } rows[] = {
      {u"abc", u"0;0;0;\"<\"@\">\"", u"<abc>"},
      {u"abc", u"0.00", u"abc"},
      {u"abc", u"@", u"abc"},
      {u"abc", u"0;0;0;_(@_)", u" abc "},
      {u"abc", u"0;0;0;\\[@\\]", u"[abc]"},
      {std::nullopt, u"0;0;0;\"x\"@", u"x"},
      {u"abc", u"0;0;0;", u"abc"},
      {u"a;b", u"0;0;0;@\";\"", u"a;b;"},
      {u"abc", u"0;0;0;[Red]@", u"abc"},
      {u"abc", u"0;0;0;[Blue]", u"abc"},
  };
  for (const auto &r : rows)
    EXPECT_EQ(u8(formatText(r.text, r.code).text), u8(r.expected)) << u8(r.code);
  EXPECT_EQ(u8(formatText(u"abc", u"0;0;0;[Red]@").colourName()), "Red");
  EXPECT_FALSE(formatText(u"abc", u"[Red]0").hasColour());
}

TEST(ParseSections, KindsColoursAndConditions) {
  const FormatSections s = parseSections(u"[Red][>=100]0.00;[Blue]0;;@");
  EXPECT_EQ(s[0].kind, SectionKind::Conditional);
  EXPECT_EQ(s[0].colour, 2);
  EXPECT_EQ(s[0].op, ConditionOp::GreaterEqual);
  EXPECT_EQ(s[0].value, 100);
  EXPECT_EQ(u8(s[0].text), "0.00");
  EXPECT_EQ(s[1].kind, SectionKind::Plain);
  EXPECT_EQ(s[1].colour, 4);
  EXPECT_EQ(s[2].kind, SectionKind::Empty);
  EXPECT_EQ(s[3].kind, SectionKind::Plain);
  EXPECT_EQ(u8(s[3].text), "@");

  const struct {
    std::u16string_view code;
    std::array<SectionKind, 4> kinds;
    std::u16string_view firstText;
  } rows[] = {
      {u"0;;0",
       {SectionKind::Plain, SectionKind::Empty, SectionKind::Plain, SectionKind::Absent},
       u"0"},
      {u"0;",
       {SectionKind::Plain, SectionKind::Empty, SectionKind::Absent, SectionKind::Absent},
       u"0"},
      {u"",
       {SectionKind::Absent, SectionKind::Absent, SectionKind::Absent, SectionKind::Absent},
       u""},
      {u"[$-409]h:mm", {SectionKind::Plain, {}, {}, {}}, u"h:mm"},
      {u"[h]:mm", {SectionKind::Plain, {}, {}, {}}, u"[h]:mm"},
      {u"\"a;b\"0", {SectionKind::Plain, {}, {}, {}}, u"\"a;b\"0"},
      {u"\\;0", {SectionKind::Plain, {}, {}, {}}, u"\\;0"},
      {u"[", {SectionKind::Plain, {}, {}, {}}, u"["},
      {u"[Red]", {SectionKind::Plain, {}, {}, {}}, u"General"},
      {u"a;b;c;d;e",
       {SectionKind::Plain, SectionKind::Plain, SectionKind::Plain, SectionKind::Plain},
       u"a"},
  };
  for (const auto &r : rows) {
    const FormatSections p = parseSections(r.code);
    for (size_t k = 0; k < 4; ++k)
      EXPECT_EQ(p[k].kind, r.kinds[k]) << u8(r.code) << " section " << k;
    EXPECT_EQ(u8(p[0].text), u8(r.firstText)) << u8(r.code);
  }
  EXPECT_EQ(u8(parseSections(u"a;b;c;d;e")[3].text), "d"); // a fifth section is ignored
}

TEST(ParseSections, ConditionNumbers) {
  const struct {
    std::u16string_view code;
    ConditionOp op;
    double value;
  } rows[] = {
      {u"[>=1e3]0", ConditionOp::GreaterEqual, 1000},
      {u"[<-5.5]0", ConditionOp::Less, -5.5},
      {u"[<= 2 ]0", ConditionOp::LessEqual, 2},
      {u"[<>0]0", ConditionOp::NotEqual, 0},
      {u"[=.5]0", ConditionOp::Equal, 0.5},
      {u"[>abc]0", ConditionOp::None, 0}, // unreadable: dropped
      {u"[>]0", ConditionOp::None, 0},
  };
  for (const auto &r : rows) {
    const FormatSections s = parseSections(r.code);
    EXPECT_EQ(s[0].op, r.op) << u8(r.code);
    EXPECT_EQ(s[0].value, r.value) << u8(r.code);
    EXPECT_EQ(u8(s[0].text), "0") << u8(r.code);
  }
}

TEST(CompareCondition, EveryOperator) {
  const struct {
    ConditionOp op;
    double v, x;
    bool expected;
  } rows[] = {
      {ConditionOp::None, 0, 0, false},         {ConditionOp::Equal, 1, 1, true},
      {ConditionOp::Equal, 1, 2, false},        {ConditionOp::Greater, 1, 2, true},
      {ConditionOp::Greater, 1, 1, false},      {ConditionOp::GreaterEqual, 1, 1, true},
      {ConditionOp::GreaterEqual, 1, 0, false}, {ConditionOp::Less, 1, 0, true},
      {ConditionOp::Less, 1, 1, false},         {ConditionOp::LessEqual, 1, 1, true},
      {ConditionOp::LessEqual, 1, 2, false},    {ConditionOp::NotEqual, 1, 2, true},
      {ConditionOp::NotEqual, 1, 1, false},
  };
  for (const auto &r : rows)
    EXPECT_EQ(compareCondition(r.op, r.v, r.x), r.expected)
        << static_cast<int>(r.op) << " " << r.v << " " << r.x;
}

TEST(FormatNumber, ExtremeValues) {
  const std::u16string big = render(1e300, u"0");
  EXPECT_EQ(big.size(), 301u);
  EXPECT_EQ(u8(big.substr(0, 4)), "1000");
  EXPECT_EQ(render(1e300, u"#,##0").size(), 301u + 100u);
  EXPECT_EQ(u8(render(1e-300, u"0.00")), "0.00");
  EXPECT_EQ(u8(render(-1e-300, u"0.00")), "-0.00");
  EXPECT_EQ(u8(render(std::numeric_limits<double>::infinity(), u"0")), "#NUM!");
  EXPECT_EQ(u8(render(std::nan(""), u"General")), "#NUM!");
  EXPECT_EQ(u8(render(1e300, u"yyyy")).empty(), false);
}

// Codes a user can type by mistake: each must give some text, quickly, within
// the length limit.
TEST(FormatNumber, MalformedCodesGiveSomeText) {
  const std::u16string thousandZeros(1000, u'0');
  const std::u16string manyPercents = u"0" + std::u16string(600, u'%');
  const std::u16string wideFraction =
      u"# " + std::u16string(40, u'?') + u"/" + std::u16string(40, u'?');
  const std::u16string manyDays(3000, u'd');
  const std::u16string_view codes[] = {
      u"\"unbalanced", u"[",         u"[Red",         u"[h",         u"0.0.0.0",
      u"E+",           u"0E+",       u"#,,,,",        u"?\?/?\?/??", u"*",
      u"\\",           u"_",         u"0;1;2;3;4;5;", u"[>1][<2]0",  u"[hhh]",
      u"0/",           u"/0",        u"0.0E+0/0",     u"ss.000000",  u"[s].00",
      thousandZeros,   manyPercents, wideFraction,    manyDays,      u"@@@@General",
  };
  const double values[] = {0,
                           -1,
                           0.5,
                           1e308,
                           -1e308,
                           5e-324,
                           123.456,
                           2958466,
                           1e15,
                           1e-9,
                           99999,
                           -0.0,
                           std::numeric_limits<double>::quiet_NaN()};
  for (std::u16string_view code : codes) {
    const CompiledFormat f = compileFormat(code, en());
    for (double v : values) {
      FormatOptions o;
      o.locale = &en();
      const FormatResult r = formatNumber(v, f, o);
      EXPECT_LE(r.text.size(), kMaxResultLength) << u8(code.substr(0, 40)) << " " << v;
      const FormatResult again = fitted(v, code, 50);
      EXPECT_LE(again.text.size(), kMaxResultLength);
    }
  }
  EXPECT_EQ(render(5, thousandZeros).size(), 1000u);
}

TEST(Decimal, RoundsOnDecimalDigits) {
  detail::Decimal d = detail::toDecimal(1.005, 15);
  detail::roundAtPlace(d, -2);
  EXPECT_EQ(d.count, 3);
  EXPECT_EQ(d.exponent, 0);
  EXPECT_EQ(d.digitAt(-2), 1);
  d = detail::toDecimal(0.0004, 15);
  detail::roundAtPlace(d, -3);
  EXPECT_EQ(d.count, 0);
  d = detail::toDecimal(0.0005, 15);
  detail::roundAtPlace(d, -3);
  EXPECT_EQ(d.count, 1);
  EXPECT_EQ(d.exponent, -3);
  d = detail::toDecimal(999.96, 15);
  detail::roundAtPlace(d, -1);
  EXPECT_EQ(d.exponent, 3);
  EXPECT_EQ(d.integerLength(), 4);
}

// The digits of a number at n places are those printf gives, which rounds
// the exact binary value: checked for whole numbers, short decimals, long
// fractions, ties that sit exactly on a 5 and random bit patterns.
TEST(Decimal, DigitsAreTheCorrectlyRoundedOnes) {
  std::vector<double> values = {1.0 / 7, 2.0 / 3, 0.1, 0.3, 1e15, 1e16 + 2, 123456789012345678.0,
                                9.999999999999999, 0.5, 1.5, 2.5, 0.125, 1.0000000000000002,
                                5e-324, 1.7976931348623157e308, 999999999999999.5, 0.15, 8.5};
  for (int r = 1; r < 65536; r += 997)
    for (double v : {double(r), r + 0.25, r / 7.0, r * 1.1, r / 3.0e7})
      values.push_back(v);
  std::uint64_t bits = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 20000; ++i) {
    bits ^= bits << 13;
    bits ^= bits >> 7;
    bits ^= bits << 17;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v))
      values.push_back(v);
  }
  for (const double v : values)
    for (int n = 1; n <= 17; ++n) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*e", n - 1, std::fabs(v));
      std::string digits;
      const char* p = buf;
      for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
          digits += *p;
      const int exponent = std::atoi(p + 1);
      while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
      const detail::Decimal d = detail::toDecimal(v, n);
      std::string got;
      for (int i = 0; i < d.count; ++i)
        got += static_cast<char>('0' + d.d[static_cast<unsigned>(i)]);
      ASSERT_EQ(got, digits) << v << " at " << n;
      if (!digits.empty()) {
        ASSERT_EQ(d.exponent, exponent) << v << " at " << n;
      }
    }
}

} // namespace
} // namespace numfmt
