// Copy and paste of 100,000 cells, undo of that paste, and committing one
// typed cell on sheets of two sizes (the cost must not grow with the sheet).

#include "edit/clipboard.h"
#include "edit/undo_command.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "platform/ui_services.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using model::CellRange;

struct Fixture {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  platform::HeadlessWindowServices window;
  model::WorkbookList books;

  // rows x columns cells: numbers, and every fifth a formula on its left neighbour.
  Fixture(int rows, int columns) {
    formula::installFormulaEngine();
    model::undoList().clear();
    edit::free_clipboard();
    (void)books.new_workbook(nullptr);
    model::Workbook& book = *books.active();
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c) {
        const std::u16string text = c % 5 == 4 ? u"=" + std::u16string(1, static_cast<char16_t>(u'A' + c - 1)) +
                                                     std::u16string(1, u'1') + u"+1"
                                               : u"12.5";
        (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), text, 15, false,
                              false);
      }
  }
  ~Fixture() {
    model::undoList().clear();
    edit::free_clipboard();
  }
  model::Sheet& sheet() { return books.active()->active(); }
  void select(const CellRange& r) {
    sheet().selectionFirst = model::packCell(r.firstRow, r.firstColumn);
    sheet().selectionLast = model::packCell(r.lastRow, r.lastColumn);
    sheet().activeRow = r.firstRow;
    sheet().activeColumn = r.firstColumn;
  }
};

// 2,000 rows of 50 columns.
constexpr int kRows = 2000;
constexpr int kColumns = 50;
const CellRange kSource{0, 0, kRows - 1, kColumns - 1};

void BM_CopyAndPaste100k(benchmark::State& state) {
  Fixture f(kRows, kColumns);
  for (auto _ : state) {
    (void)edit::copy_range(*f.books.active(), 0, kSource, f.window);
    f.select(CellRange{0, 100, 0, 100});
    benchmark::DoNotOptimize(edit::paste(f.books, f.window, {}, true));
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_CopyAndPaste100k)->Unit(benchmark::kMillisecond);

void BM_UndoOfPaste100k(benchmark::State& state) {
  Fixture f(kRows, kColumns);
  // Pasting over itself shifted by one row: every destination cell had a value.
  (void)edit::copy_range(*f.books.active(), 0, kSource, f.window);
  for (auto _ : state) {
    state.PauseTiming();
    f.select(CellRange{1, 0, 1, 0});
    (void)edit::paste(f.books, f.window, {}, true);
    state.ResumeTiming();
    benchmark::DoNotOptimize(edit::undo(f.books));
  }
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_UndoOfPaste100k)->Unit(benchmark::kMillisecond);

// What a commit of one typed cell does to the list and the sheet.
void BM_CommitOneCell(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Fixture f(rows, kColumns);
  model::Workbook& book = *f.books.active();
  // Select All, as the case has it: the entry still holds one cell.
  f.select(CellRange{0, 0, model::kMaxRow, model::kMaxColumn});
  int i = 0;
  for (auto _ : state) {
    const auto row = static_cast<std::uint16_t>(rows / 2 + (i++ % 64));
    (void)model::push_undo_range(book, 0, model::kUndoInput, CellRange{row, 3, row, 3});
    benchmark::DoNotOptimize(model::set_cell(book, 0, row, 3, u"42", 15, false, true));
    model::fitRowsOfRange(book, 0, CellRange{row, 3, row, 3});
  }
  state.counters["cells"] = static_cast<double>(rows) * kColumns;
}
BENCHMARK(BM_CommitOneCell)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);

} // namespace
