// Adding a name to a workbook of a million formulas (62,500 rows of 16):
// every formula text is looked at for the name, none of them uses it.
// And changing a name that 10,000 of them use.

#include "edit/names.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Fixture {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;

  /// rows x 16 formulas; the first `users` of column A use the name Rate.
  Fixture(int rows, int users) {
    formula::installFormulaEngine();
    model::undoList().clear();
    (void)books.new_workbook(nullptr);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < 16; ++c) {
        const std::u16string text = c == 0 && r < users ? u"=Rate*100" : u"=Q1+1";
        (void)model::set_cell(book(), 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), text, 15, false,
                              false);
      }
  }
  ~Fixture() { model::undoList().clear(); }
  model::Workbook& book() { return *books.active(); }
};

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

Fixture& million() {
  static Fixture f(62500, 0);
  return f;
}

// Add of a new name (and its deletion, untimed) over a million formulas.
void BM_AddName_MillionFormulas(benchmark::State& state) {
  Fixture& f = million();
  check(f.book().active().cells.count() == 1000000, "a million formulas");
  for (auto _ : state) {
    check(edit::storeName(f.book(), 0, u"Rate", u"=0.05", 0), "added");
    state.PauseTiming();
    check(edit::storeName(f.book(), 0, u"Rate", std::nullopt, 0), "deleted");
    model::undoList().clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_AddName_MillionFormulas)->Unit(benchmark::kMillisecond);

// Redefining a name used by 10,000 formulas of 160,000, then computing them.
void BM_RedefineName_TenThousandUsers(benchmark::State& state) {
  Fixture f(10000, 10000);
  check(edit::storeName(f.book(), 0, u"Rate", u"=0.05", 0), "added");
  int i = 0;
  for (auto _ : state) {
    check(edit::storeName(f.book(), 0, u"Rate", (++i % 2) ? u"=0.07" : u"=0.05", 0), "changed");
    model::CellRecord* c = model::cell_at(f.book().active(), 9999, 0);
    formula::computeCell(f.book(), 0, *c);
    check(c->value.isNumber() && std::abs(c->value.numberValue() - ((i % 2) ? 7 : 5)) < 1e-9, "user up to date");
  }
  model::undoList().clear();
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_RedefineName_TenThousandUsers)->Unit(benchmark::kMillisecond);

} // namespace
