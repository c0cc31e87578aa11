// TEXT over 100,000 cells (two columns of 50,000 rows, as a sheet has
// 65,536): a number format in one column, a date format in the other, every
// formula computed again per pass.

#include "functions/families.h"

#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 50000;

struct Book {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;
  model::Workbook* book = nullptr;
  Book() {
    formula::installFormulaEngine();
    functions::registerTextFunctions();
    if (books.new_workbook(nullptr))
      book = books.active();
  }
  void set(int row, int column, const std::string& t) {
    (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column), platform::fromUtf8(t), 15, false,
                          false);
  }
  model::CellRecord* at(int row, int column) {
    return model::cell_at(book->sheet(0), static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column));
  }
};

void BM_Text100k(benchmark::State& state) {
  Book b;
  for (int r = 0; r < kRows; ++r) {
    b.set(r, 0, "=TEXT(" + std::to_string(r) + "/8,\"0.000\")");
    b.set(r, 1, "=TEXT(" + std::to_string(r + 1) + ",\"yyyy-mm-dd\")");
  }
  // Expected texts made without the format engine: eighths have exact
  // three-place decimals, and the dates come from the serial split.
  std::vector<std::u16string> expected;
  for (int r = 0; r < kRows; ++r) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", r / 8.0);
    expected.push_back(platform::fromUtf8(buf));
    int y, m, d;
    formula::splitSerial(r + 1, y, m, d);
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    expected.push_back(platform::fromUtf8(buf));
  }
  std::vector<model::CellRecord*> formulas;
  for (int r = 0; r < kRows; ++r) {
    formulas.push_back(b.at(r, 0));
    formulas.push_back(b.at(r, 1));
  }
  bool right = true;
  for (auto _ : state) {
    for (model::CellRecord* f : formulas)
      f->calcState = model::CalcState::NotValid;
    for (model::CellRecord* f : formulas)
      formula::computeCell(*b.book, 0, *f);
  }
  for (size_t i = 0; i < formulas.size(); ++i) {
    const model::CellValue& v = formulas[i]->value;
    right &= v.isString() && v.stringValue() == expected[i];
  }
  if (!right)
    state.SkipWithError("wrong result");
  state.SetItemsProcessed(state.iterations() * 2 * kRows);
}
BENCHMARK(BM_Text100k)->Unit(benchmark::kMillisecond);

} // namespace
