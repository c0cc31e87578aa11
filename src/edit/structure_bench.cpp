// Structural edits and fills at the sizes their targets name: inserting and
// deleting 1,000 rows in a workbook of 1,000,000 cells with 100,000
// formulas, Fill Down of a formula over 65,536 rows, a series over
// 1,000,000 cells.

#include "edit/fill.h"
#include "edit/structure.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using model::CellRange;

struct Fixture {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;

  Fixture() {
    formula::installFormulaEngine();
    model::undoList().clear();
    (void)books.new_workbook(nullptr);
  }
  ~Fixture() { model::undoList().clear(); }
  model::Workbook& book() { return *books.active(); }
};

// 50,000 rows of 20 columns: numbers, and every tenth column a formula on
// the cell two rows up (100,000 formulas in all).
void fillBook(model::Workbook& book) {
  std::u16string text;
  for (int r = 0; r < 50000; ++r)
    for (int c = 0; c < 20; ++c) {
      if (c % 10 == 9 && r >= 2) {
        text = u"=A" + std::u16string(std::to_string(r - 1).begin(), std::to_string(r - 1).end()) + u"*2";
      } else {
        text = u"12.5";
      }
      (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), text, 15, false,
                            false);
    }
}

void BM_InsertThenDelete1000Rows(benchmark::State& state) {
  Fixture f;
  fillBook(f.book());
  const CellRange rows{10000, 0, 10999, model::kMaxColumn};
  for (auto _ : state) {
    benchmark::DoNotOptimize(edit::insert_cells_down(f.book(), 0, rows));
    benchmark::DoNotOptimize(edit::delete_cells_up(f.book(), 0, rows));
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
  state.counters["edits"] = benchmark::Counter(2, benchmark::Counter::kIsIterationInvariant);
}
BENCHMARK(BM_InsertThenDelete1000Rows)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same with every formula brought up to date after each edit, as saving
// would (painting computes only what it shows).
void BM_InsertThenDelete1000RowsComputed(benchmark::State& state) {
  Fixture f;
  fillBook(f.book());
  formula::computeStaleFormulas(f.book());
  const CellRange rows{10000, 0, 10999, model::kMaxColumn};
  for (auto _ : state) {
    benchmark::DoNotOptimize(edit::insert_cells_down(f.book(), 0, rows));
    formula::computeStaleFormulas(f.book());
    benchmark::DoNotOptimize(edit::delete_cells_up(f.book(), 0, rows));
    formula::computeStaleFormulas(f.book());
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
  state.counters["edits"] = benchmark::Counter(2, benchmark::Counter::kIsIterationInvariant);
}
BENCHMARK(BM_InsertThenDelete1000RowsComputed)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FillDownFormula65536(benchmark::State& state) {
  Fixture f;
  (void)model::set_cell(f.book(), 0, 0, 1, u"=A1*2+$C$1", 15, false, false);
  const CellRange column{0, 1, model::kMaxRow, 1};
  for (auto _ : state) {
    benchmark::DoNotOptimize(edit::fill(f.book(), 0, column, edit::FillDirection::Down));
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FillDownFormula65536)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Series1M(benchmark::State& state) {
  Fixture f;
  for (int c = 0; c < 16; ++c)
    (void)model::set_cell(f.book(), 0, 0, static_cast<std::uint8_t>(c), u"1", 15, false, false);
  const CellRange block{0, 0, 62499, 15}; // 16 columns of 62,500 rows
  edit::SeriesOptions o;
  o.step = 0.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(edit::fill_series(f.book(), 0, block, o));
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Series1M)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
