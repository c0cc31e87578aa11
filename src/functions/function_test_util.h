#pragma once
// Evaluating formulas in a workbook with the engine and one function family
// installed, for the families' tests.

#include "formula/reader.h"
#include "formula/recalc.h"
#include "formula/value_ops.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/clock.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace functions::testing {

using model::CellValue;
using model::ErrorCode;

/// en-US regional settings built by hand, so results do not depend on ICU.
inline platform::LocaleStrings usLocale() {
  platform::LocaleStrings l;
  l.localeId = "en-US";
  l.dateOrder = u"0";
  l.dateSeparator = u"/";
  l.timeSeparator = u":";
  l.decimalSeparator = u".";
  l.thousandsSeparator = u",";
  l.currencySymbol = u"$";
  l.currencyDigits = u"2";
  l.listSeparator = u",";
  l.dayNames = {u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday", u"Sunday"};
  l.dayAbbreviations = {u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun"};
  l.monthNames = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                  u"July",    u"August",   u"September", u"October", u"November", u"December"};
  l.monthAbbreviations = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                          u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  l.amDesignator = u"AM";
  l.pmDesignator = u"PM";
  l.shortDatePattern = u"M/d/yyyy";
  l.hourLeadingZero = u"0";
  l.negativeCurrencyMode = 0;
  return l;
}

/// A workbook with the engine installed; `registerFamily` adds the family
/// under test. The clock is pinned to 2024-03-15 10:30:00.
class FunctionTest : public ::testing::Test {
protected:
  explicit FunctionTest(void (*registerFamily)()) : m_scope(ui), clock({2024, 3, 15, 10, 30, 0, 0}) {
    platform::setLocaleStrings(usLocale());
    platform::setClock(&clock);
    model::modelServices() = {};
    formula::installFormulaEngine();
    if (registerFamily)
      registerFamily();
    EXPECT_TRUE(books.new_workbook(nullptr));
    book = books.active();
  }
  ~FunctionTest() override {
    model::modelServices() = {};
    platform::setClock(nullptr);
  }

  static std::pair<int, int> at(std::string_view a1) {
    int col = 0;
    size_t i = 0;
    while (i < a1.size() && a1[i] >= 'A' && a1[i] <= 'Z')
      col = col * 26 + (a1[i++] - 'A' + 1);
    return {std::stoi(std::string(a1.substr(i))) - 1, col - 1};
  }

  /// Enters a cell on the first sheet as typed.
  void set(std::string_view a1, std::u16string_view text) {
    const auto [r, c] = at(a1);
    ASSERT_TRUE(model::set_cell(*book, 0, static_cast<std::uint16_t>(r),
                                static_cast<std::uint8_t>(c), text, 15, false, true));
  }

  /// Computes a formula as a cell in `where` would (not stored).
  CellValue eval(std::u16string_view formula, std::string_view where = "Z1000") {
    const auto [r, c] = at(where);
    formula::EvalContext ctx{book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c)};
    CellValue v = formula::evaluateFormula(formula, ctx);
    return v.isEmpty() ? CellValue::number(0) : v;
  }

  /// The number a formula gives; NaN (and a test failure) for anything else.
  double number(std::u16string_view formula) {
    const CellValue v = eval(formula);
    EXPECT_TRUE(v.isNumber()) << platform::toUtf8(formula) << " gave " << show(v);
    return v.isNumber() ? v.numberValue() : std::nan("");
  }

  static std::string show(const CellValue& v) {
    switch (v.kind()) {
    case model::ValueKind::Number: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", v.numberValue());
      return buf;
    }
    case model::ValueKind::String: return "\"" + platform::toUtf8(v.stringValue()) + "\"";
    case model::ValueKind::Boolean: return v.booleanValue() ? "TRUE" : "FALSE";
    case model::ValueKind::Error: return platform::toUtf8(model::errorText(v.errorValue()));
    case model::ValueKind::Empty: return "<empty>";
    default: return "<other>";
    }
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  platform::FixedClock clock;
  model::WorkbookList books;
  model::Workbook* book = nullptr;
};

/// Relative closeness for results checked against independent values.
inline ::testing::AssertionResult near(double actual, double expected, double relative = 1e-9) {
  const double tolerance = relative * std::max(1.0, std::fabs(expected));
  if (std::fabs(actual - expected) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actual << " is not within " << tolerance << " of "
                                       << expected;
}

} // namespace functions::testing
