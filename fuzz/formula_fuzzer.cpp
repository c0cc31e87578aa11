// Feeds any text to the formula reader, the entry check and the scanner, in
// a workbook with a few cells, global and sheet-local names and a second
// sheet. The text must always give a value, the same one when read twice, and
// never a number that is not finite; its kept steps, when it has them, give
// the reader's value.

#include "formula/compiled_formula.h"
#include "formula/reader.h"
#include "formula/recalc.h"
#include "formula/skipper.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

struct Fixture {
  platform::HeadlessUiServices ui;
  model::WorkbookList books;
  model::Workbook* book = nullptr;
  Fixture() {
    platform::setUiServices(&ui);
    formula::installFormulaEngine();
    if (!books.new_workbook(nullptr))
      std::abort();
    book = books.active();
    (void)model::insert_sheet(*book, 1, u"Data 2", model::SheetKind::Worksheet, false);
    book->activeSheet = 0;
    book->names.push_back({0, 0, 0, u"Base", u"=$A$1", {}});
    book->names.push_back({0, 0, 0, u"Loop", u"=Loop+1", {}});
    // The same text as a global name and a local name of each sheet, so that
    // Rate, Sheet1!Rate and 'Data 2'!Rate name different definitions.
    book->names.push_back({0, 0, 0, u"Rate", u"=$B$1", {}});
    book->names.push_back({0, 0, 1, u"Rate", u"=$A$1*3", {}});
    book->names.push_back({0, 0, 2, u"Rate", u"='Data 2'!$A$1:$A$3+Rate", {}});
    const char16_t* cells[] = {u"1", u"abc", u"TRUE", u"#N/A", u"=A1*2", u"=B1&A1"};
    for (int i = 0; i < 6; ++i)
      (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(i), 0, cells[i], 15, false, false);
  }
};

bool sameValue(const model::CellValue& a, const model::CellValue& b) {
  if (a.isNumber() && b.isNumber())
    return a.numberValue() == b.numberValue() ||
           (std::isnan(a.numberValue()) && std::isnan(b.numberValue()));
  return a == b;
}

void check(const model::CellValue& v) {
  if (v.isNumber() && !std::isfinite(v.numberValue()))
    std::abort();
  if (v.isArray())
    for (int i = 0; i < v.arrayRows(); ++i)
      for (int j = 0; j < v.arrayColumns(); ++j)
        check(v.arrayItem(i, j));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture f;
  const std::u16string text =
      platform::fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  for (bool arrayMode : {false, true}) {
    formula::EvalContext ctx{f.book, 0, 10, 3, arrayMode};
    const model::CellValue first = formula::evaluateFormula(text, ctx);
    formula::EvalContext again{f.book, 0, 10, 3, arrayMode};
    const model::CellValue second = formula::evaluateFormula(text, again);
    check(first);
    // RAND and NOW are not computed yet, so reading twice must agree.
    if (!sameValue(first, second))
      std::abort();
  }
  (void)formula::isWellFormedFormula(text, u',');
  // Entering the text as a cell scans and computes it like typed input.
  if (!model::set_cell(*f.book, 0, 20, 5, text, 15, true, true))
    return 0;
  model::CellRecord* cell = model::cell_at(f.book->sheet(0), 20, 5);
  if (!cell)
    return 0;
  check(cell->value);
  formula::EvalContext ctx{f.book, 0, 20, 5};
  if (const std::optional<model::CellValue> kept = formula::computeKept(*f.book, *cell, text, ctx)) {
    formula::EvalContext again{f.book, 0, 20, 5};
    if (!sameValue(*kept, formula::evaluateFormula(text, again)))
      std::abort();
  }
  return 0;
}
