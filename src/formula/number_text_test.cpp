// numberToText against the C library's %.15G, which is what it must write
// (with 'E' and the locale's decimal separator); classification of month-name
// dates whose first letters need case folding, and of the kind alone.

#include "formula/text_value.h"

#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace formula {
namespace {

platform::LocaleStrings withDecimal(std::u16string separator) {
  platform::LocaleStrings s;
  s.decimalSeparator = std::move(separator);
  return s;
}

// The C library's %.15G, with the decimal point replaced.
std::string printf15(double x, const char* separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", x == 0 ? 0.0 : x);
  std::string out;
  for (const char* p = buffer; *p; ++p)
    out += *p == '.' ? std::string(separator) : std::string(1, *p);
  return out;
}

TEST(NumberToText, FifteenDigitsAsPrintfWritesThem) {
  const platform::LocaleStrings dot = withDecimal(u".");
  const struct {
    double x;
    const char* expected;
  } kRows[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {5, "5"},
      {-12345, "-12345"},
      {65535.25, "65535.25"},
      {9362.0 / 7.0, "1337.42857142857"},    // 16 digits round to 15
      {0.1 + 0.2, "0.3"},                     // 0.30000000000000004
      {1e15, "1E+15"},                        // exponent 15 leaves fixed notation
      {999999999999999.0, "999999999999999"}, // the largest 15-digit whole number
      {123456789012345.6, "123456789012346"}, // rounds up into the last digit
      {9999999999999999.0, "1E+16"},          // rounding carries into a new digit
      {0.0001, "0.0001"},                     // exponent -4 stays fixed
      {0.00001234, "1.234E-05"},
      {-2.5e-300, "-2.5E-300"},
      {1.7976931348623157e308, "1.79769313486232E+308"},
      {4.9406564584124654e-324, "4.94065645841247E-324"}, // below the normal range
      {2.2250738585072014e-308, "2.2250738585072E-308"},
      {0.005, "0.005"},
      {0.00012, "0.00012"},
      {-1234.5, "-1234.5"},
      {123456789.123456, "123456789.123456"},    // fifteen digits with six decimals
      {99999999.9999999, "99999999.9999999"},    // seven decimals
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(platform::toUtf8(numberToText(row.x, dot)), row.expected) << row.expected;
  EXPECT_EQ(platform::toUtf8(numberToText(65535.25, withDecimal(u","))), "65535,25");
  EXPECT_EQ(platform::toUtf8(numberToText(INFINITY, dot)), "#NUM!");
}

// The evaluator's conversion writes at least three exponent digits, as the
// General format does; the fixed-notation range is unchanged.
TEST(NumberToText, FormulaConversionWritesThreeExponentDigits) {
  const platform::LocaleStrings dot = withDecimal(u".");
  const struct {
    double x;
    const char* expected;
  } kRows[] = {
      {1e15, "1E+015"},
      {1.5e-7, "1.5E-007"},
      {-2.5e-300, "-2.5E-300"},
      {1.7976931348623157e308, "1.79769313486232E+308"},
      {0.00001234, "1.234E-005"},
      {123456, "123456"},
      {0.0001, "0.0001"},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(platform::toUtf8(numberToText(row.x, dot, kFormulaExponentDigits)), row.expected)
        << row.expected;
  EXPECT_EQ(platform::toUtf8(numberToText(1.25e20, withDecimal(u","), kFormulaExponentDigits)),
            "1,25E+020");
}

// Many values of every shape: whole, hundredths, sevenths, random bit
// patterns across the whole range.
TEST(NumberToText, MatchesPrintfOverManyValues) {
  const platform::LocaleStrings comma = withDecimal(u",");
  std::mt19937_64 random(20240601);
  int mismatches = 0;
  auto check = [&](double x) {
    if (!std::isfinite(x))
      return;
    const std::string got = platform::toUtf8(numberToText(x, comma));
    const std::string want = printf15(x, ",");
    if (got != want && ++mismatches <= 10)
      ADD_FAILURE() << "x=" << x << " got " << got << " want " << want;
  };
  for (int r = 0; r < 70000; ++r) {
    check(r);
    check(-r - 0.25);
    check(r / 7.0);
    check(r * 1e-7 / 3.0);
  }
  for (int k = 0; k < 300000; ++k) {
    std::uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    check(x);
    // Short decimals scaled across the exponents %G switches at.
    check(static_cast<double>(random() % 1000000) * std::pow(10.0, static_cast<int>(random() % 40) - 20));
    // Anywhere in and just around the fixed-notation range, evenly by magnitude.
    const double unit = static_cast<double>(random() >> 11) * 0x1p-53;
    check(std::pow(10.0, -4.5 + 20 * unit));
    // Sixteen-digit decimals ending in 5: the 15-digit halfway cases, some
    // exact in binary (n + 0.5 up to 2^52), most a hair off either way.
    const std::uint64_t n = 100000000000000 + random() % 900000000000000;
    check(static_cast<double>(n) + 0.5);
    check((static_cast<double>(n) + 0.5) * std::pow(10.0, -static_cast<int>(random() % 19)));
    check(std::stod(std::to_string(n) + "5e-" + std::to_string(random() % 19)));
  }
  EXPECT_EQ(mismatches, 0);
}

// Month names are matched without regard to case, including letters that
// only case folding relates to ASCII (the Kelvin sign folds to "k").
TEST(ClassifyText, MonthNamesBeyondAscii) {
  platform::LocaleStrings s;
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
  s.monthNames[10] = u"kas"; // a month whose name starts with k
  TextOptions options;
  options.locale = &s;
  options.currentYear = 2024;
  const struct {
    std::u16string text;
    TextClass kind;
  } kRows[] = {
      {u"mar-5", TextClass::Number},
      {u"MAR-5", TextClass::Number},
      {u"kas-5", TextClass::Number},
      {u"\u212Aas-5", TextClass::Number}, // Kelvin sign for the k
      {u"item 5-3", TextClass::Text},
      {u"#mar-5", TextClass::Text},
      {u"xmar-5", TextClass::Text},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(classifyText(row.text, options).kind, row.kind) << platform::toUtf8(row.text);
}

// Asked for the kind only, text comes back without its value; everything
// else is classified as before.
TEST(ClassifyText, KindOnlyLeavesTextValueEmpty) {
  TextOptions kindOnly;
  kindOnly.textValue = false;
  const Classification text = classifyText(u"'123", kindOnly);
  EXPECT_EQ(text.kind, TextClass::Text);
  EXPECT_TRUE(text.value.isEmpty());
  const Classification full = classifyText(u"'123");
  EXPECT_EQ(full.kind, TextClass::Text);
  ASSERT_TRUE(full.value.isString());
  EXPECT_EQ(full.value.stringValue(), u"123");
  const Classification number = classifyText(u"12.5", kindOnly);
  EXPECT_EQ(number.kind, TextClass::Number);
  ASSERT_TRUE(number.value.isNumber());
  EXPECT_EQ(number.value.numberValue(), 12.5);
}

} // namespace
} // namespace formula
