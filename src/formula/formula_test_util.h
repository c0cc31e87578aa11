#pragma once
// A workbook with the formula engine installed, for the engine's tests.

#include "formula/recalc.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace formula::testing {

class EngineTest : public ::testing::Test {
protected:
  EngineTest() : m_scope(ui) {
    model::modelServices() = {};
    installFormulaEngine();
    EXPECT_TRUE(books.new_workbook(nullptr));
    book = books.active();
  }
  ~EngineTest() override { model::modelServices() = {}; }

  /// Parses "B3" into row 2, column 1 (test addresses only: letters then digits).
  static std::pair<int, int> at(std::string_view a1) {
    int col = 0;
    size_t i = 0;
    while (i < a1.size() && a1[i] >= 'A' && a1[i] <= 'Z')
      col = col * 26 + (a1[i++] - 'A' + 1);
    return {std::stoi(std::string(a1.substr(i))) - 1, col - 1};
  }

  void set(std::string_view a1, std::u16string_view text, int sheet = 0) {
    const auto [r, c] = at(a1);
    ASSERT_TRUE(model::set_cell(*book, sheet, static_cast<std::uint16_t>(r),
                                static_cast<std::uint8_t>(c), text, 15, false, true));
  }

  model::CellRecord* cell(std::string_view a1, int sheet = 0) {
    const auto [r, c] = at(a1);
    return model::cell_at(book->sheet(sheet), static_cast<std::uint16_t>(r),
                          static_cast<std::uint8_t>(c));
  }

  /// The current value of a cell, computing it when stale.
  model::CellValue value(std::string_view a1, int sheet = 0) {
    model::CellRecord* c = cell(a1, sheet);
    if (!c)
      return {};
    if (c->calcState == model::CalcState::NotValid)
      computeCell(*book, sheet, *c);
    return c->value;
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  model::WorkbookList books;
  model::Workbook* book = nullptr;
};

/// A readable form of a value for failure messages and comparisons.
inline std::string show(const model::CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Empty: return "<empty>";
  case model::ValueKind::Number: {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v.numberValue());
    return buf;
  }
  case model::ValueKind::String: return "\"" + platform::toUtf8(v.stringValue()) + "\"";
  case model::ValueKind::Boolean: return v.booleanValue() ? "TRUE" : "FALSE";
  case model::ValueKind::Error: return platform::toUtf8(model::errorText(v.errorValue()));
  case model::ValueKind::Array: {
    std::string s = "{";
    for (int i = 0; i < v.arrayRows(); ++i) {
      for (int j = 0; j < v.arrayColumns(); ++j)
        s += (j ? "," : "") + show(v.arrayItem(i, j));
      if (i + 1 < v.arrayRows())
        s += ";";
    }
    return s + "}";
  }
  case model::ValueKind::Reference: return "<reference>";
  case model::ValueKind::MultiArea: return "<areas>";
  default: return "<other>";
  }
}

inline model::CellValue num(double x) { return model::CellValue::number(x); }
inline model::CellValue str(std::u16string_view s) { return model::CellValue::string(s); }
inline model::CellValue boolean(bool b) { return model::CellValue::boolean(b); }
inline model::CellValue err(model::ErrorCode e) { return model::CellValue::error(e); }

} // namespace formula::testing
