#include "numfmt/builtin_formats.h"

#include "platform/unicode.h"

#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace numfmt {
namespace {

platform::LocaleStrings usLocale() {
  platform::LocaleStrings l;
  l.currencySymbol = u"$";
  l.negativeCurrencyMode = 0;
  l.shortDatePattern = u"M/d/yyyy";
  l.timeSeparator = u":";
  l.hourLeadingZero = u"0";
  return l;
}

std::string u8(std::u16string_view s) { return platform::toUtf8(s); }

TEST(BuiltinFormats, TableIndexesAscendAndSkip23To36) {
  for (size_t i = 1; i < std::size(kBuiltinFormats); ++i)
    EXPECT_LT(kBuiltinFormats[i - 1].index, kBuiltinFormats[i].index);
  for (const BuiltinFormat& f : kBuiltinFormats)
    EXPECT_FALSE(f.index >= 23 && f.index <= 36) << f.index;
  EXPECT_EQ(kBuiltinFormats[35].code, u"@");
}

TEST(BuiltinFormats, DollarModeZeroReproducesTheTable) {
  const LocaleFormats f = buildLocaleFormats(usLocale());
  for (std::uint16_t index : {5, 6, 7, 8, 41, 43, 44}) {
    const BuiltinFormat* row = nullptr;
    for (const BuiltinFormat& b : kBuiltinFormats)
      if (b.index == index)
        row = &b;
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(*f.codeFor(index), row->code) << index;
  }
  EXPECT_EQ(f.codeFor(9), nullptr);
}

TEST(BuiltinFormats, LocaleCodes) {
  platform::LocaleStrings yen = usLocale();
  yen.currencySymbol = u"¥";
  yen.negativeCurrencyMode = 1;
  platform::LocaleStrings german = usLocale();
  german.currencySymbol = u"€";
  german.negativeCurrencyMode = 8;
  german.shortDatePattern = u"dd.MM.yyyy";
  german.hourLeadingZero = u"1";
  platform::LocaleStrings chinese = usLocale();
  chinese.shortDatePattern = u"yyyy/M/d";

  const struct {
    const platform::LocaleStrings* locale;
    std::uint16_t index;
    std::u16string_view code;
  } rows[] = {
      {&yen, 7, u"\"¥\"#,##0.00;-\"¥\"#,##0.00"},
      {&yen, 6, u"\"¥\"#,##0;[Red]-\"¥\"#,##0"},
      {&yen, 5, u"\"¥\"#,##0;-\"¥\"#,##0"},
      {&yen, 42, u"_(\"¥\"* #,##0;_(\"¥\"* -#,##0;_(\"¥\"* \"-\";_(@"},
      {&yen, 43, u"_(* #,##0.00;_(* -#,##0.00;_(* \"-\"??;_(@"},
      {&german, 8, u"#,##0.00 \"€\";[Red]-#,##0.00 \"€\""},
      {&german, 14, u"dd\\.mm\\.yyyy"},
      {&german, 20, u"hh:mm"},
      {&german, 22, u"dd\\.mm\\.yyyy hh:mm"},
      {&chinese, 14, u"yyyy\\/m\\/d"},
      {&chinese, 20, u"h:mm"},
  };
  for (const auto& row : rows) {
    const LocaleFormats f = buildLocaleFormats(*row.locale);
    EXPECT_EQ(u8(*f.codeFor(row.index)), u8(row.code)) << row.index;
  }
}

TEST(BuiltinFormats, ComposedCodes) {
  platform::LocaleStrings yen = usLocale();
  yen.currencySymbol = u"¥";
  const struct {
    int category, places;
    std::u16string_view expected;
  } rows[] = {
      {kCategoryGeneral, 2, u""},
      {kCategoryNumber, 0, u"0"},
      {kCategoryNumber, 3, u"0.000"},
      {kCategoryCurrency, 2, u"\"¥\"#,##0.00"},
      {kCategoryAccounting, 0, u"\"¥\"* #,##0"},
      {kCategoryDate, 0, u"m\\/d\\/yyyy"},
      {kCategoryTime, 0, u"hh:mm:ss"},
      {kCategoryPercentage, 1, u"0.0%"},
      {kCategoryFraction, 3, u"# ??\?/??\?"},
      {kCategoryScientific, 0, u"0E+00"},
      {kCategoryText, 5, u"@"},
      {kCategoryCustom, 0, u"[Red]0;@"},
      {kCategoryNumber, 99, u"0.000000000000000"}, // places stop at 15
  };
  for (const auto& row : rows)
    EXPECT_EQ(u8(composeCodeText(row.category, row.places, u"[Red]0;@", yen)), u8(row.expected))
        << row.category << "/" << row.places;
  platform::LocaleStrings dollar = usLocale();
  EXPECT_EQ(u8(composeCodeText(kCategoryCurrency, 0, u"", dollar)), "$#,##0"); // "$" unquoted
}

TEST(BuiltinFormats, DecimalPlacesCheck) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  const struct {
    std::u16string_view text;
    int places; // -1: refused
  } rows[] = {
      {u"0", 0}, {u"15", 15}, {u" 7 ", 7}, {u"16", -1}, {u"-1", -1},
      {u"", -1}, {u"2.5", -1}, {u"abc", -1}, {u"007", 7}, {u"99999999999", -1},
  };
  for (const auto& row : rows) {
    ui.clearShown();
    int places = -1;
    EXPECT_EQ(checkDecimalPlaces(row.text, places), row.places >= 0) << u8(row.text);
    if (row.places >= 0) {
      EXPECT_EQ(places, row.places);
      EXPECT_TRUE(ui.shown().empty());
    } else {
      ASSERT_EQ(ui.shown().size(), 1u) << u8(row.text);
      EXPECT_EQ(ui.shown()[0].text, u"Decimal places not 0-15");
      EXPECT_FALSE(ui.shown()[0].caption.has_value());
    }
  }
}

} // namespace
} // namespace numfmt
