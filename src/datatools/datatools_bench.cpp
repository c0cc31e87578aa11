// The data tools at the sizes their targets name: sorting the 65,536 rows a
// sheet holds (the target's 100,000 do not fit) of 10 columns with
// formulas, Replace All over 1,000,000 cells of 20 characters, goal seek
// through 100,000 dependent formulas, an AutoFilter list over 65,535
// distinct values and a filter applied to 65,535 rows.

#include "datatools/autofilter.h"
#include "datatools/find.h"
#include "datatools/goal_seek.h"
#include "datatools/sort.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using model::CellRange;

std::u16string number(long long n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

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
  void put(int row, int column, const std::u16string& text) {
    (void)model::set_cell(book(), 0, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column), text, 15,
                          false, false);
  }
};

// Every row: a scrambled key, eight numbers and a formula on its row.
void BM_Sort65536Rows10Columns(benchmark::State& state) {
  Fixture f;
  for (int r = 0; r <= model::kMaxRow; ++r) {
    f.put(r, 0, number((r * 7919LL) % 100003));
    for (int c = 1; c < 9; ++c)
      f.put(r, c, number(r + c));
    f.put(r, 9, u"=A" + number(r + 1) + u"*2");
  }
  datatools::SortSettings s;
  s.range = {0, 0, model::kMaxRow, 9};
  bool ascending = true;
  for (auto _ : state) {
    s.ascending[0] = ascending;
    ascending = !ascending;
    if (!datatools::sortRange(f.book(), s))
      state.SkipWithError("the sort was refused");
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Sort65536Rows10Columns)->Unit(benchmark::kMillisecond)->Iterations(2);

// 1,000,000 cells of 20 characters, each holding the text once.
void BM_ReplaceAll1MCells(benchmark::State& state) {
  Fixture f;
  const std::u16string text = u"abcdefghijklmnopqrst";
  for (int r = 0; r < 62500; ++r)
    for (int c = 0; c < 16; ++c)
      f.put(r, c, text);
  datatools::FindSettings s;
  bool forth = true;
  for (auto _ : state) {
    s.findText = forth ? u"klm" : u"KLX";
    s.replaceText = forth ? u"KLX" : u"klm";
    forth = !forth;
    benchmark::DoNotOptimize(datatools::replaceAll(f.book(), 0, s));
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ReplaceAll1MCells)->Unit(benchmark::kMillisecond)->Iterations(2);

// A1 feeds a chain of formulas (the argument: how many) down columns B and
// C; the target squares the last, and its goal cannot be reached, so all
// 100 steps run. The target's size is 100,000; the smoke run takes 10,000.
void BM_GoalSeekDependents(benchmark::State& state) {
  Fixture f;
  const int half = static_cast<int>(state.range(0)) / 2;
  f.put(0, 1, u"=A1+1");
  for (int r = 1; r < half; ++r)
    f.put(r, 1, u"=B" + number(r) + u"+0*A1");
  f.put(0, 2, u"=B" + number(half) + u"+0*A1");
  for (int r = 1; r < half; ++r)
    f.put(r, 2, u"=C" + number(r) + u"+0*A1");
  f.put(0, 3, u"=C" + number(half) + u"*C" + number(half) + u"+1");
  for (auto _ : state) {
    datatools::GoalSeekRequest q;
    q.targetRow = 0;
    q.targetColumn = 3;
    q.goal = 0; // x*x + 1 is never 0
    benchmark::DoNotOptimize(datatools::goalSeek(f.book(), q));
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_GoalSeekDependents)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
// The target's own size, when asked for (CELLWICK_BENCH_FULL=1): too long for the smoke run.
const bool kFullGoalSeek = [] {
  if (std::getenv("CELLWICK_BENCH_FULL"))
    benchmark::RegisterBenchmark("BM_GoalSeekDependents", BM_GoalSeekDependents)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  return true;
}();

// A header over 65,535 rows of distinct texts (every third a number), the
// filter on over them.
void fillFilterColumn(Fixture& f) {
  f.put(0, 0, u"Item");
  for (int r = 1; r <= model::kMaxRow; ++r)
    f.put(r, 0, r % 3 == 0 ? number(r * 7919LL % 1000003) : u"item " + number(r * 7919LL % 1000003));
  (void)datatools::toggleAutoFilter(f.book(), 0, {0, 0, model::kMaxRow, 0}, 0, 0);
}

// The block around one cell of a list 65,536 rows tall and 10 columns wide
// (what Sort and AutoFilter take from a single selected cell).
void BM_CurrentRegionOf65536Rows(benchmark::State& state) {
  Fixture f;
  for (int r = 0; r <= model::kMaxRow; ++r)
    for (int c = 0; c < 10; ++c)
      f.put(r, c, number(r + c));
  for (auto _ : state)
    benchmark::DoNotOptimize(datatools::currentRegion(f.book().sheet(0), 30000, 4));
}
BENCHMARK(BM_CurrentRegionOf65536Rows)->Unit(benchmark::kMillisecond);

// What opening an arrow costs: the column's shown texts, de-duplicated
// ignoring case and sorted.
void BM_FilterListOf65535DistinctValues(benchmark::State& state) {
  Fixture f;
  fillFilterColumn(f);
  for (auto _ : state) {
    const datatools::FilterList list = datatools::buildFilterList(f.book(), 0, 0);
    benchmark::DoNotOptimize(list.entries.data());
  }
}
BENCHMARK(BM_FilterListOf65535DistinctValues)->Unit(benchmark::kMillisecond);

// Applying a criterion that keeps texts beginning with "item 1" to every
// row, hiding most of them; alternately showing them all again.
void BM_ApplyFilterTo65535Rows(benchmark::State& state) {
  Fixture f;
  fillFilterColumn(f);
  model::AutoFilterState& filter = f.book().sheet(0).autoFilter;
  bool narrow = true;
  for (auto _ : state) {
    filter.criteria[0] = {};
    if (narrow)
      filter.criteria[0].conditions[0] = {model::kFilterComparison, model::kCompareEqual, u"item 1*"};
    narrow = !narrow;
    datatools::applyFilters(f.book(), 0);
  }
}
BENCHMARK(BM_ApplyFilterTo65535Rows)->Unit(benchmark::kMillisecond);

// The same as the command does it: its undo entry, the filter, the
// recalculation of the sheet.
void BM_ChooseFilterEntryOver65535Rows(benchmark::State& state) {
  Fixture f;
  fillFilterColumn(f);
  model::FilterCriterion narrowing;
  narrowing.conditions[0] = {model::kFilterComparison, model::kCompareEqual, u"item 1*"};
  bool narrow = true;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        datatools::setFilterCriterion(f.book(), 0, 0, narrow ? narrowing : model::FilterCriterion{}));
    narrow = !narrow;
    state.PauseTiming();
    model::undoList().clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ChooseFilterEntryOver65535Rows)->Unit(benchmark::kMillisecond);

} // namespace
