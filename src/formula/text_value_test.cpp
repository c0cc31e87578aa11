#include "formula/text_value.h"

#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace formula {
namespace {

using model::ErrorCode;
using platform::LocaleStrings;
using platform::toUtf8;

// Locales are built by hand so that the tests do not depend on ICU data.
LocaleStrings englishUs() {
  LocaleStrings s;
  s.localeId = "en-US";
  s.dateOrder = u"0";
  s.dateSeparator = u"/";
  s.timeSeparator = u":";
  s.decimalSeparator = u".";
  s.thousandsSeparator = u",";
  s.currencySymbol = u"$";
  s.listSeparator = u",";
  s.monthNames = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                  u"July",    u"August",   u"September", u"October", u"November", u"December"};
  s.monthAbbreviations = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                          u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  s.amDesignator = u"AM";
  s.pmDesignator = u"PM";
  return s;
}

LocaleStrings germanDe() {
  LocaleStrings s = englishUs();
  s.localeId = "de-DE";
  s.dateOrder = u"1";
  s.dateSeparator = u".";
  s.decimalSeparator = u",";
  s.thousandsSeparator = u".";
  s.currencySymbol = u"€";
  s.listSeparator = u";";
  s.monthNames = {u"Januar", u"Februar", u"März",      u"April",   u"Mai",      u"Juni",
                  u"Juli",   u"August",  u"September", u"Oktober", u"November", u"Dezember"};
  s.monthAbbreviations = {u"Jan", u"Feb", u"Mär", u"Apr", u"Mai", u"Jun",
                          u"Jul", u"Aug", u"Sep", u"Okt", u"Nov", u"Dez"};
  return s;
}

LocaleStrings chineseCn() {
  LocaleStrings s = englishUs();
  s.localeId = "zh-CN";
  s.dateOrder = u"2";
  s.currencySymbol = u"¥";
  s.monthNames = {u"一月", u"二月", u"三月", u"四月",   u"五月",   u"六月",
                  u"七月", u"八月", u"九月", u"十月", u"十一月", u"十二月"};
  s.monthAbbreviations = {u"1月", u"2月", u"3月", u"4月",  u"5月",  u"6月",
                          u"7月", u"8月", u"9月", u"10月", u"11月", u"12月"};
  s.amDesignator = u"上午";
  s.pmDesignator = u"下午";
  return s;
}

const LocaleStrings kUs = englishUs();
const LocaleStrings kDe = germanDe();
const LocaleStrings kCn = chineseCn();

TextOptions optionsFor(const LocaleStrings& locale, bool date1904 = false) {
  TextOptions options;
  options.locale = &locale;
  options.date1904 = date1904;
  options.currentYear = 2024; // two-part dates fall in 2024
  return options;
}

constexpr double kNone = -1e300; // "not read" in the tables

TEST(TextValueDayCount, KnownSerials) {
  const struct { int y, m, d, serial; } kRows[] = {
      {1900, 1, 1, 1},        {1900, 2, 28, 59},     {1900, 2, 29, 60},
      {1900, 3, 1, 61},       {1900, 12, 31, 366},   {1904, 1, 1, 1462},
      {1999, 12, 31, 36525},  {2000, 1, 1, 36526},   {2000, 2, 29, 36585},
      {2024, 2, 29, 45351},   {2024, 3, 1, 45352},   {9999, 12, 31, 2958465},
  };
  for (const auto& r : kRows) {
    EXPECT_EQ(dayCount(r.y, r.m, r.d), r.serial) << r.y << "-" << r.m << "-" << r.d;
    int y = 0, m = 0, d = 0;
    splitSerial(r.serial, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, r.y * 10000 + r.m * 100 + r.d) << r.serial;
  }
}

TEST(TextValueDayCount, SplitInvertsTheCountOverTheWholeRange) {
  for (int serial = 1; serial <= 2958465; ++serial) {
    int y = 0, m = 0, d = 0;
    splitSerial(serial, y, m, d);
    ASSERT_EQ(dayCount(y, m, d), serial) << y << "-" << m << "-" << d;
    ASSERT_TRUE(m >= 1 && m <= 12 && d >= 1 && d <= 31) << serial;
  }
}

TEST(TextValueNumber, ReadsTypedDecimalsCorrectlyRounded) {
  const struct { std::u16string_view text; bool grouping; double expected; } kRows[] = {
      {u"0.1", false, 0.1},
      {u"0.3", false, 0.3},
      {u"1.0000000000000002", false, 1.0000000000000002},
      {u"9007199254740993", false, 9007199254740992.0}, // halfway: to even
      {u"123456789.123456789", false, 123456789.123456789},
      {u".5", false, 0.5},
      {u"5.", false, 5},
      {u"-.5", false, -0.5},
      {u"+ 7", false, 7},
      {u"  12  ", false, 12},
      {u"1E3", false, 1000},
      {u"1 e - 3", false, 0.001},
      {u"2.5E+2", false, 250},
      {u"1E-400", false, 0},  // underflow is 0
      {u"1,234", true, 1234},
      {u"12,345,678.5", true, 12345678.5},
      {u"1,234", false, kNone},
      {u"1,23", true, kNone},
      {u"1,2345", true, kNone},
      {u",123", true, kNone},
      {u"1E999", false, kNone}, // overflow is not a number
      {u"2E308", false, kNone},
      {u"1E", false, kNone},
      {u"E5", false, kNone},
      {u".", false, kNone},
      {u"-", false, kNone},
      {u"", false, kNone},
      {u"1.2.3", false, kNone},
      {u"1 2", false, kNone},
      {u"0x10", false, kNone},
  };
  for (const auto& r : kRows) {
    double value = kNone;
    const bool ok = readNumber(r.text, 0, r.text.size(), r.grouping, value, kUs);
    EXPECT_EQ(ok, r.expected != kNone) << toUtf8(r.text);
    if (ok) {
      EXPECT_EQ(value, r.expected) << toUtf8(r.text);
    }
  }
}

// Short decimals are read by one exact multiplication or division; every
// reading must still be the correctly rounded double the C library gives.
TEST(TextValueNumber, ShortDecimalsMatchTheCLibrary) {
  std::vector<std::string> texts = {
      "0.142857142857143", "2857.14285714286", "0.000000000000001", "999999999999999",
      "9999999999999999", "123456789012345e7", "1e22", "1e23", "4.35", "0.3e-22",
      "8.589973e9", "1.7976931348623157e308", "5e-324", "0.1e-5", "100000000000000000000000",
      "7.0e-10", "3.0000000000000004", "12345.678901234567", "0.00001",
  };
  // Values as the program writes them (15 significant digits) and with all
  // 17: both sides of the 15-digit limit.
  std::uint64_t seed = 0x9E3779B97F4A7C15u;
  for (int k = 0; k < 4000; ++k) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    const double mantissa = static_cast<double>(seed >> 11) / 9007199254740992.0;
    const int exponent = static_cast<int>((seed >> 3) % 60) - 30;
    const double x = mantissa * std::pow(10.0, exponent);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, k % 2 ? "%.15g" : "%.17g", x);
    texts.emplace_back(buffer);
  }
  for (const std::string& t : texts) {
    const std::u16string text(t.begin(), t.end());
    double value = -1;
    ASSERT_TRUE(readNumber(text, 0, text.size(), false, value, kUs)) << t;
    EXPECT_EQ(value, std::strtod(t.c_str(), nullptr)) << t;
  }
}

TEST(TextValueNumber, LocaleSeparatorsAndEdges) {
  double value = 0;
  EXPECT_TRUE(readNumber(u"1,5", 0, 3, false, value, kDe));
  EXPECT_EQ(value, 1.5);
  EXPECT_TRUE(readNumber(u"1.234,5", 0, 7, true, value, kDe));
  EXPECT_EQ(value, 1234.5);
  EXPECT_FALSE(readNumber(u"1.5", 0, 3, false, value, kDe));
  // A sub-range is read without the characters around it.
  EXPECT_TRUE(readNumber(u"(42)", 1, 3, false, value, kUs));
  EXPECT_EQ(value, 42);
  EXPECT_TRUE(readNumber(u"-0", 0, 2, false, value, kUs));
  EXPECT_FALSE(std::signbit(value));
  // Huge digit runs: overflow is refused, long fractions still round well.
  const std::u16string ones(5000, u'1');
  EXPECT_FALSE(readNumber(ones, 0, ones.size(), false, value, kUs));
  const std::u16string tiny = u"0." + std::u16string(5000, u'0') + u"1";
  EXPECT_TRUE(readNumber(tiny, 0, tiny.size(), false, value, kUs));
  EXPECT_EQ(value, 0);
  const std::u16string third = u"0." + std::u16string(3000, u'3');
  EXPECT_TRUE(readNumber(third, 0, third.size(), false, value, kUs));
  EXPECT_EQ(value, 1.0 / 3.0);
}

TEST(TextValueFraction, WholeNumeratorDenominator) {
  const struct { std::u16string_view text; double expected; int digits; } kRows[] = {
      {u"1 1/2", 1.5, 1},
      {u"-1 1/2", -1.5, 1},
      {u"- 2 3/16", -2.1875, 2},
      {u"0 1/4", 0.25, 1},
      {u"1   1/4", 1.25, 1},
      {u"3 1/008", 3.125, 1},   // leading zeros are not significant
      {u"1 5/4", 2.25, 1},
      {u"1 1/0", kNone, 0},
      {u"1 1/000", kNone, 0},
      {u"1/2", kNone, 0},       // no whole part: the date reader may take it
      {u"1 1/2 ", kNone, 0},
      {u"1 1 /2", kNone, 0},
      {u"1 1/ 2", kNone, 0},
      {u"1 1/2/3", kNone, 0},
      {u"1.5 1/2", kNone, 0},
  };
  for (const auto& r : kRows) {
    double value = kNone;
    int digits = -1;
    const bool ok = readFraction(r.text, value, digits);
    EXPECT_EQ(ok, r.expected != kNone) << toUtf8(r.text);
    if (ok) {
      EXPECT_EQ(value, r.expected) << toUtf8(r.text);
      EXPECT_EQ(digits, r.digits) << toUtf8(r.text);
    }
  }
}

TEST(TextValueTime, FormsDesignatorsAndLimits) {
  const struct { std::u16string_view text; double seconds; int format; } kRows[] = {
      {u"12:30 PM", 12 * 3600 + 1800, 18},
      {u"12:30 AM", 1800, 18},
      {u"12:30 pm", 12 * 3600 + 1800, 18},
      {u"0:30 PM", 12 * 3600 + 1800, 18},
      {u"3 PM", 15 * 3600, 18},
      {u"3 p", 15 * 3600, 18},
      {u"11 a", 11 * 3600, 18},
      {u"1:02:03 PM", 13 * 3600 + 123, 19},
      {u"1:02", 3720, 20},
      {u"1:02 ", 3720, 20},
      {u"1:02:03", 3723, 21},
      {u"1:02:03.25", 3723.25, 21},
      {u"25:00", 25 * 3600, 20},   // hours run past a day
      {u"5:07.3", 307.3, 47},
      {u"90:07.25", 5407.25, 47},
      {u"13:00 PM", kNone, 0},     // hour above 12 with a designator
      {u"13 AM", kNone, 0},
      {u"12:60", kNone, 0},        // minutes and seconds stop at 59
      {u"1:02:60", kNone, 0},
      {u"1:002", kNone, 0},
      {u"3", kNone, 0},
      {u"3 ", kNone, 0},
      {u"12:30 XM", kNone, 0},
      {u"12:30PM", kNone, 0},
      {u"1:", kNone, 0},
      {u"1:30:", kNone, 0},
      {u"5:07.", kNone, 0},
      {u"5:07.3 PM", kNone, 0},
      {u":30", kNone, 0},
      {u"9999999999:00", kNone, 0},
  };
  for (const auto& r : kRows) {
    double value = kNone;
    int format = -1;
    const bool ok = readTime(r.text, value, format, kUs);
    EXPECT_EQ(ok, r.seconds != kNone) << toUtf8(r.text);
    if (ok) {
      EXPECT_DOUBLE_EQ(value, r.seconds / 86400.0) << toUtf8(r.text);
      EXPECT_EQ(format, r.format) << toUtf8(r.text);
    }
  }
}

TEST(TextValueTime, LocaleDesignatorsAndSeparators) {
  double value = 0;
  int format = 0;
  EXPECT_TRUE(readTime(u"3:00 下午", value, format, kCn));
  EXPECT_DOUBLE_EQ(value, 15.0 / 24);
  EXPECT_TRUE(readTime(u"3:00 下", value, format, kCn));
  EXPECT_DOUBLE_EQ(value, 15.0 / 24);
  EXPECT_FALSE(readTime(u"3:00 PM", value, format, kCn));
  // The decimal separator of the locale starts the "mm:ss.0" fraction.
  EXPECT_TRUE(readTime(u"5:07,5", value, format, kDe));
  EXPECT_DOUBLE_EQ(value, 307.5 / 86400);
  EXPECT_EQ(format, 47);
  EXPECT_FALSE(readTime(u"5:07.5", value, format, kDe));
}

struct DateRow {
  std::u16string_view text;
  double serial; // kNone: not a date
};

void expectDates(const LocaleStrings& locale, const DateRow* rows, size_t count,
                 bool date1904 = false) {
  const TextOptions options = optionsFor(locale, date1904);
  for (size_t k = 0; k < count; ++k) {
    const DateRow& r = rows[k];
    double value = kNone;
    const bool ok = readDate(r.text, value, options);
    EXPECT_EQ(ok, r.serial != kNone) << locale.localeId << " " << toUtf8(r.text);
    if (ok) {
      EXPECT_DOUBLE_EQ(value, r.serial) << locale.localeId << " " << toUtf8(r.text);
    }
  }
}

TEST(TextValueDate, MonthDayYearOrder) {
  const DateRow kRows[] = {
      {u"1/2/2000", 36527},
      {u"1-2-2000", 36527},
      {u"1 /2 /2000", 36527},
      {u"01/02/00", 36527},
      {u"1/2/29", 47120},        // two-digit years 0-29 are 2000-2029
      {u"1/2/30", 10960},        // and 30-99 are 1930-1999
      {u"1/2", 45293},           // the current year
      {u"2000-1-2", 36527},      // 1-2-2: year first
      {u"2000/1/13", 36538},     // 1-2-3
      {u"1/13/2000", 36538},     // 2-3-1
      {u"13/1/2000", 36538},     // 3-2-1: day first in every order
      {u"13/1/5", kNone},        // 3-2-2 is refused here
      {u"jan/5/2000", 36530},
      {u"January-5-2000", 36530},
      {u"Jan-5", 45296},
      {u"15-Jan-2000", 36540},
      {u"5-Jan", kNone},         // a month name second is refused here
      {u"5-Jan-05", kNone},
      {u"Jan-2000", kNone},      // more than two digits in a two-part date
      {u"1/2000", kNone},
      {u"2/29/1900", 60},
      {u"3/1/1900", 61},
      {u"1/1/1900", 1},
      {u"2/29/1901", kNone},
      {u"2/30/2000", kNone},
      {u"1/32/2000", kNone},
      {u"0/1/2000", kNone},
      {u"13/13/2000", kNone},
      {u"1/2/1899", kNone},
      {u"1/2/200", kNone},
      {u"1/2/12345", kNone},
      {u"1/0", kNone},
      {u"1/2/2000 12:00", 36527.5},
      {u"1/2/2000 3 PM", 36527.625},
      {u"1/2 6:00", 45293.25},
      {u"1/2/2000 ", 36527},
      {u"1/2/2000x", kNone},
      {u"1/2/2000 12:60", kNone},
      {u"1/2/", kNone},
      {u"1//2", kNone},
      {u"1.2.2000", kNone},
  };
  expectDates(kUs, kRows, std::size(kRows));
}

TEST(TextValueDate, DayMonthYearOrder) {
  const DateRow kRows[] = {
      {u"2.1.2000", 36527},      // 2-2-1 by the locale: day first
      {u"2-1-2000", 36527},
      {u"1.2.2000", 36557},
      {u"13.1.2000", 36538},     // 3-2-1
      {u"1.13.2000", 36538},     // 2-3-1 is month first in every order
      {u"13.1.5", 38365},        // 3-2-2
      {u"5.1.5", 38357},         // 2-2-2
      {u"2000.1.2", 36527},      // 1-2-2
      {u"5-Januar-05", 38357},   // a month name second: day-month-year
      {u"5-Jan-2000", 36530},
      {u"Jan-5-2000", 36530},    // a month name first: month-day-year
      {u"2.1", 45293},
      {u"Jan-05", 38353},        // a month name then a year: the first day
      {u"Januar-2005", 38353},
      {u"1.2.2000 6:00", 36557.25},
      {u"2.13", kNone},
      {u"1/2/2000", kNone},      // "/" is not this locale's separator
      {u"100.1", kNone},
  };
  expectDates(kDe, kRows, std::size(kRows));
}

TEST(TextValueDate, YearMonthDayOrder) {
  const DateRow kRows[] = {
      {u"2000/1/2", 36527},
      {u"2000-01-02", 36527},
      {u"1900-2-29", 60},
      {u"1900-3-1", 61},
      {u"1900-1-1", 1},
      {u"1/2/5", 36927},         // 2-2-2: year-month-day in this order
      {u"13/1/5", 41279},        // 3-2-2
      {u"1/13/2000", 36538},     // 2-3-1
      {u"13/1/2000", 36538},     // 3-2-1
      {u"1/2/2000", kNone},      // 2-2-1 is refused in this order
      {u"1/2", 45293},
      {u"2005/一月", 38353},     // a month name second: that month's first day
      {u"2005-1月", 38353},
      {u"2005/十二月/5", 38691},
      {u"一月/5/2005", 38357},   // a month name first: month-day-year
      {u"2000/1/2 12:00 下午", 36527.5},
  };
  expectDates(kCn, kRows, std::size(kRows));
}

TEST(TextValueDate, System1904SubtractsItsOffset) {
  const DateRow kRows[] = {
      {u"2000-1-1", 35064},
      {u"1/2/2000", 35065},
      {u"1/1/1904", 0},
      {u"1/2/2000 12:00", 35065.5},
      {u"12/31/1903", kNone},
  };
  expectDates(kUs, kRows, std::size(kRows), true);
}

struct ClassRow {
  std::u16string_view text;
  TextClass kind;
  double number;        // numbers only
  HintClass hint;
  int detail;
};

void expectClasses(const LocaleStrings& locale, const ClassRow* rows, size_t count) {
  const TextOptions options = optionsFor(locale);
  for (size_t k = 0; k < count; ++k) {
    const ClassRow& r = rows[k];
    const Classification c = classifyText(r.text, options);
    const std::string label = locale.localeId + " " + toUtf8(r.text);
    EXPECT_EQ(c.kind, r.kind) << label;
    if (c.kind != r.kind || r.kind != TextClass::Number)
      continue;
    ASSERT_TRUE(c.value.isNumber()) << label;
    EXPECT_DOUBLE_EQ(c.value.numberValue(), r.number) << label;
    EXPECT_EQ(c.hint.cls, r.hint) << label;
    EXPECT_EQ(c.hint.detail, r.detail) << label;
  }
}

constexpr TextClass kNumber = TextClass::Number;
constexpr TextClass kText = TextClass::Text;

TEST(TextValueClassify, NumbersAndHintsEnglish) {
  const ClassRow kRows[] = {
      {u"123", kNumber, 123, HintClass::Plain, 0},
      {u"-12.5", kNumber, -12.5, HintClass::Plain, 0},
      {u"+5", kNumber, 5, HintClass::Plain, 0},
      {u".5", kNumber, 0.5, HintClass::Plain, 0},
      {u"1e5", kNumber, 100000, HintClass::Plain, 0},
      {u"50%", kNumber, 0.5, HintClass::Percent, 0},
      {u"-5%", kNumber, -0.05, HintClass::Percent, 0},
      {u"1.5%", kNumber, 0.015, HintClass::Percent, 2},
      {u"50 %", kNumber, 0.5, HintClass::Percent, 0},
      {u"1 1/2", kNumber, 1.5, HintClass::Fraction, 1},
      {u"-1 3/16", kNumber, -1.1875, HintClass::Fraction, 2},
      {u"1 1/2%", kNumber, 0.015, HintClass::Percent, 2},
      {u"$5", kNumber, 5, HintClass::Currency, 0},
      {u"$1.25", kNumber, 1.25, HintClass::Currency, 2},
      {u"$ -3", kNumber, -3, HintClass::Currency, 0},
      {u"(12)", kNumber, -12, HintClass::Plain, 0},
      {u"( 1.5 )", kNumber, -1.5, HintClass::Plain, 0},
      {u"1/2/2000", kNumber, 36527, HintClass::Date, 0},
      {u"1-2", kNumber, 45293, HintClass::Date, 0},
      {u"Jan-5", kNumber, 45296, HintClass::Date, 0},
      {u"12:30 PM", kNumber, 0.5208333333333334, HintClass::Time, 18},
      {u"1:02:03", kNumber, 3723.0 / 86400, HintClass::Time, 21},
      {u"5:07.3", kNumber, 307.3 / 86400, HintClass::Time, 47},
      {u"1,234", kText, 0, {}, 0},          // no grouping in typed entries
      {u"1 1/0", kText, 0, {}, 0},
      {u"1/0", kText, 0, {}, 0},
      {u"12:60", kText, 0, {}, 0},
      {u"13:00 PM", kText, 0, {}, 0},
      {u"1E999", kText, 0, {}, 0},
      {u"(-12)", kText, 0, {}, 0},
      {u"()", kText, 0, {}, 0},
      {u"(12", kText, 0, {}, 0},
      {u"$", kText, 0, {}, 0},
      {u"$x", kText, 0, {}, 0},
      {u"%", kText, 0, {}, 0},
      {u"5%%", kText, 0, {}, 0},
      {u" 123", kText, 0, {}, 0},
      {u"abc", kText, 0, {}, 0},
      {u"12abc", kText, 0, {}, 0},
  };
  expectClasses(kUs, kRows, std::size(kRows));
}

TEST(TextValueClassify, OtherLocales) {
  const ClassRow kCnRows[] = {
      {u"¥5.5", kNumber, 5.5, HintClass::Currency, 2},
      {u"$5", kText, 0, {}, 0},
      {u"2000/1/2", kNumber, 36527, HintClass::Date, 0},
      {u"一月/5/2005", kNumber, 38357, HintClass::Date, 0},
      {u"3:00 下午", kNumber, 0.625, HintClass::Time, 18},
      {u"上午", kText, 0, {}, 0},
  };
  expectClasses(kCn, kCnRows, std::size(kCnRows));
  const ClassRow kDeRows[] = {
      {u"1,5", kNumber, 1.5, HintClass::Plain, 0},
      {u",5", kNumber, 0.5, HintClass::Plain, 0},
      {u"1,5%", kNumber, 0.015, HintClass::Percent, 2},
      {u"€1,5", kNumber, 1.5, HintClass::Currency, 2},
      {u"10.5", kNumber, 45422, HintClass::Date, 0},
      {u"1.5", kNumber, 45413, HintClass::Date, 0},
      {u"1.234", kText, 0, {}, 0},
      {u"Mai-2000", kNumber, 36647, HintClass::Date, 0},
  };
  expectClasses(kDe, kDeRows, std::size(kDeRows));
}

// The locale in force (no locale in the options) can be replaced at any
// time; month names must follow it, not what an earlier call saw.
TEST(TextValueClassify, MonthNamesFollowTheLocaleInForce) {
  const LocaleStrings saved = platform::localeStrings();
  TextOptions options;
  options.textValue = false;
  auto kindOf = [&](std::u16string_view text) { return classifyText(text, options).kind; };
  platform::setLocaleStrings(kDe);
  EXPECT_EQ(kindOf(u"Okt-2000"), TextClass::Number);
  EXPECT_EQ(kindOf(u"Oct-2000"), TextClass::Text);
  platform::setLocaleStrings(kUs);
  EXPECT_EQ(kindOf(u"Okt-5"), TextClass::Text);
  EXPECT_EQ(kindOf(u"Oct-5"), TextClass::Number);
  EXPECT_EQ(kindOf(u"item 12-3"), TextClass::Text);
  // A month whose initial no English month has.
  LocaleStrings other = kUs;
  other.monthNames[9] = u"Kastrychnik";
  other.monthAbbreviations[9] = u"Kas";
  platform::setLocaleStrings(other);
  EXPECT_EQ(kindOf(u"Kas-5"), TextClass::Number);
  EXPECT_EQ(kindOf(u"Oct-5"), TextClass::Text);
  platform::setLocaleStrings(kCn);
  EXPECT_EQ(kindOf(u"十月/5/2005"), TextClass::Number);
  platform::setLocaleStrings(saved);
}

TEST(TextValueClassify, PercentIsTheCorrectlyRoundedHundredth) {
  // Multiplying by 0.01 gives 0.5700000000000001 for 57%.
  const Classification c = classifyText(u"57%", optionsFor(kUs));
  ASSERT_EQ(c.kind, TextClass::Number);
  EXPECT_EQ(c.value.numberValue(), 0.57);
}

TEST(TextValueClassify, BooleansErrorsEmptyAndApostrophe) {
  const TextOptions options = optionsFor(kUs);
  EXPECT_EQ(classifyText(u"", options).kind, TextClass::Empty);
  const struct { std::u16string_view text; CellValue value; TextClass kind; } kRows[] = {
      {u"TRUE", CellValue::boolean(true), TextClass::Boolean},
      {u"true", CellValue::boolean(true), TextClass::Boolean},
      {u"False", CellValue::boolean(false), TextClass::Boolean},
      {u"TRUEX", CellValue::string(u"TRUEX"), TextClass::Text},
      {u"#N/A", CellValue::error(ErrorCode::NA), TextClass::Error},
      {u"#div/0!", CellValue::error(ErrorCode::Div0), TextClass::Error},
      {u"#NAME?", CellValue::error(ErrorCode::Name), TextClass::Error},
      {u"#N/A ", CellValue::string(u"#N/A "), TextClass::Text},
      {u"'123", CellValue::string(u"123"), TextClass::Text},
      {u"'=1+2", CellValue::string(u"=1+2"), TextClass::Text},
      {u"'", CellValue::string(u""), TextClass::Text},
      {u"   ", CellValue::string(u"   "), TextClass::Text},
  };
  for (const auto& r : kRows) {
    const Classification c = classifyText(r.text, options);
    EXPECT_EQ(c.kind, r.kind) << toUtf8(r.text);
    EXPECT_TRUE(c.value == r.value) << toUtf8(r.text);
    EXPECT_FALSE(c.formulaError) << toUtf8(r.text);
  }
}

// Needs the expression skipper.
TEST(TextValueClassifyFormula, EntryCheckDecides) {
  const TextOptions options = optionsFor(kUs);
  const struct { std::u16string_view text; TextClass kind; bool formulaError; } kRows[] = {
      {u"=1+2", TextClass::Formula, false},
      {u"=  SUM(1,2)", TextClass::Formula, false},
      {u"=1+", TextClass::Text, true},
      {u"=(1", TextClass::Text, true},
      {u"-1+2", TextClass::Formula, false}, // not a number: the skipper decides
      {u"+A1", TextClass::Formula, false},
      {u"-", TextClass::Text, false},
      {u"+", TextClass::Text, false},
      {u"-(", TextClass::Text, false},
      {u"-5", TextClass::Number, false},
  };
  for (const auto& r : kRows) {
    const Classification c = classifyText(r.text, options);
    EXPECT_EQ(c.kind, r.kind) << toUtf8(r.text);
    EXPECT_EQ(c.formulaError, r.formulaError) << toUtf8(r.text);
  }
  // The list separator of the locale separates arguments.
  EXPECT_EQ(classifyText(u"=SUM(1;2)", optionsFor(kDe)).kind, TextClass::Formula);
}

TEST(TextValueStringToNumber, EvaluatorConversion) {
  const struct { std::u16string_view text; CellValue expected; } kRows[] = {
      {u"1,234", CellValue::number(1234)},          // grouping allowed here
      {u" 12 ", CellValue::number(12)},
      {u"1/2/2000", CellValue::number(36527)},
      {u"Jan-5-2000", CellValue::number(36530)},
      {u"12:00", CellValue::number(0.5)},
      {u"$1,234.5", CellValue::number(1234.5)},
      {u"abc", CellValue::error(ErrorCode::Name)},
      {u"", CellValue::error(ErrorCode::Name)},
      {u"50%", CellValue::error(ErrorCode::Name)},
      {u"1E999", CellValue::error(ErrorCode::Name)},
      {u"\"abc", CellValue::error(ErrorCode::Value)},
      {u"'abc", CellValue::error(ErrorCode::Value)},
  };
  const TextOptions options = optionsFor(kUs);
  for (const auto& r : kRows)
    EXPECT_TRUE(stringToNumber(r.text, options) == r.expected) << toUtf8(r.text);
  EXPECT_TRUE(stringToNumber(u"1.234,5", optionsFor(kDe)) == CellValue::number(1234.5));
  EXPECT_TRUE(stringToNumber(u"1/2/2000", optionsFor(kUs, true)) == CellValue::number(35065));
}

TEST(TextValueNumberToText, FifteenSignificantDigits) {
  const struct { double x; std::u16string_view us; std::u16string_view de; } kRows[] = {
      {0.1 + 0.2, u"0.3", u"0,3"},
      {1e300, u"1E+300", u"1E+300"},
      {-0.0, u"0", u"0"},
      {1.5, u"1.5", u"1,5"},
      {-2.25, u"-2.25", u"-2,25"},
      {100, u"100", u"100"},
      {1.0 / 3, u"0.333333333333333", u"0,333333333333333"},
      {2.0 / 3, u"0.666666666666667", u"0,666666666666667"},
      {123456789012345.0, u"123456789012345", u"123456789012345"},
      {1e15, u"1E+15", u"1E+15"},
      {1.5e-5, u"1.5E-05", u"1,5E-05"},
      {0.0001, u"0.0001", u"0,0001"},
      {1234567.891, u"1234567.891", u"1234567,891"},
  };
  for (const auto& r : kRows) {
    EXPECT_EQ(toUtf8(numberToText(r.x, kUs)), toUtf8(r.us)) << r.x;
    EXPECT_EQ(toUtf8(numberToText(r.x, kDe)), toUtf8(r.de)) << r.x;
  }
}

TEST(TextValueNumberToText, ReadsBackWithinFifteenDigits) {
  const double kValues[] = {0.1, 1.0 / 7, -12345.6789, 6.02214076e23, 1.5e308,
                            2.2250738585072014e-308, 99999999999999.9, 0.5e-300};
  for (double x : kValues) {
    const std::u16string text = numberToText(x, kDe);
    double back = 0;
    ASSERT_TRUE(readNumber(text, 0, text.size(), false, back, kDe)) << toUtf8(text);
    EXPECT_NEAR(back, x, std::fabs(x) * 5e-15) << toUtf8(text);
  }
}

TEST(TextValueEngineTexts, DatesByLocaleOrderAndTimes) {
  EXPECT_EQ(toUtf8(dateText(2000, 1, 2, kUs)), "1/2/00");
  EXPECT_EQ(toUtf8(dateText(2012, 11, 30, kUs)), "11/30/12");
  EXPECT_EQ(toUtf8(dateText(2000, 1, 2, kDe)), "2.1.00");
  EXPECT_EQ(toUtf8(dateText(2005, 1, 2, kCn)), "05/1/2");
  EXPECT_EQ(toUtf8(timeText(1, 2, 3, kUs)), "01:02:03");
  EXPECT_EQ(toUtf8(timeText(23, 59, 59, kDe)), "23:59:59");
}

} // namespace
} // namespace formula
