// Formatting large selections bold: Select All over a sheet of 20,000
// cells (column records plus the stored cells), A1:P62500 on an empty
// sheet (a million positions, each becoming a cell: a sheet has 65,536 rows,
// so the million positions of A1:D250000 are laid out 16 columns wide), and gathering the
// formats of Select All as the dialog does when it opens.

#include "edit/cell_format.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstdio>
#include <memory>

namespace {

using model::CellRange;

struct Fixture {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;

  // rows x 20 numbers.
  explicit Fixture(int rows) {
    formula::installFormulaEngine();
    model::undoList().clear();
    (void)books.new_workbook(nullptr);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < 20; ++c)
        (void)model::set_cell(book(), 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), u"12.5", 15,
                              false, false);
  }
  ~Fixture() { model::undoList().clear(); }
  model::Workbook& book() { return *books.active(); }
  bool boldAt(int row, int column) {
    const model::CellRecord* c = model::cell_at(book().active(), static_cast<std::uint16_t>(row),
                                                static_cast<std::uint8_t>(column));
    const std::uint16_t f = c ? c->formatIndex
                              : model::column_record(book().active(), static_cast<std::uint8_t>(column)).formatIndex;
    return model::fontOfFormat(book(), f).weight == 700;
  }
};

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

edit::FormatDialogState boldOn(bool on) {
  edit::FormatDialogState s;
  s.bold.set(on);
  return s;
}

// Select All (whole columns) on a sheet of 1,000 rows x 20 columns.
void BM_FormatBold_SelectAll(benchmark::State& state) {
  Fixture f(1000);
  const CellRange all{0, 0, model::kMaxRow, model::kMaxColumn};
  bool on = true;
  for (auto _ : state) {
    check(edit::apply_cell_format(f.book(), 0, all, boldOn(on)), "applied");
    on = !on;
  }
  check(f.book().active().cells.count() == 20000, "no cell created");
  check(f.boldAt(500, 5) == !on && f.boldAt(60000, 200) == !on, "bold where expected");
  state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_FormatBold_SelectAll)->Unit(benchmark::kMillisecond);

// A1:P62500 on an empty sheet: a million positions become cells.
void BM_FormatBold_Million(benchmark::State& state) {
  const CellRange block{0, 0, 62499, 15};
  for (auto _ : state) {
    state.PauseTiming();
    auto f = std::make_unique<Fixture>(0);
    state.ResumeTiming();
    check(edit::apply_cell_format(f->book(), 0, block, boldOn(true)), "applied");
    state.PauseTiming();
    check(f->book().active().cells.count() == 1000000, "every position stored");
    check(f->boldAt(62499, 15) && !f->boldAt(62500, 15), "bold where expected");
    f.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_FormatBold_Million)->Unit(benchmark::kMillisecond)->Iterations(1);

// Gathering Select All over 20,000 cells, half of them bold.
void BM_GatherFormats_SelectAll(benchmark::State& state) {
  Fixture f(1000);
  check(edit::apply_cell_format(f.book(), 0, CellRange{0, 0, 499, 19}, boldOn(true)), "applied");
  const CellRange all{0, 0, model::kMaxRow, model::kMaxColumn};
  edit::FormatDialogState s;
  for (auto _ : state) {
    s = edit::gatherFormats(f.book(), f.book().active(), all);
    benchmark::DoNotOptimize(s);
  }
  check(!s.bold.present && s.italic.present, "bold mixed, italic shared");
  state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_GatherFormats_SelectAll)->Unit(benchmark::kMicrosecond);

} // namespace
