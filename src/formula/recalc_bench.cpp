// Recalculation workloads: computing many simple formulas, the first
// computation of a filled sheet, a long dependency chain after F9 and after
// an edit of its head, and typing into a cell that nothing depends on in a
// large sheet of formulas.

#include "formula/compiled_formula.h"
#include "formula/moved_copy.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace model;

std::u16string text(const std::string& s) { return platform::fromUtf8(s); }

struct Book {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  WorkbookList books;
  Workbook* book = nullptr;
  Book() {
    formula::installFormulaEngine();
    if (books.new_workbook(nullptr))
      book = books.active();
  }
  void set(int row, int column, const std::u16string& t, bool propagate = false) {
    (void)set_cell(*book, 0, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column), t,
                   15, false, propagate);
  }
  CellRecord* at(int row, int column) {
    return cell_at(book->sheet(0), static_cast<std::uint16_t>(row),
                   static_cast<std::uint8_t>(column));
  }
};

// =A1+B1*2 in 100,000 cells (two blocks of 50,000 rows, as a sheet has
// 65,536 rows), every formula computed again.
void BM_Evaluate_SimpleFormula100k(benchmark::State& state) {
  Book b;
  constexpr int kRows = 50000;
  for (int r = 0; r < kRows; ++r) {
    const std::string n = std::to_string(r + 1);
    b.set(r, 0, text(n));
    b.set(r, 1, u"2");
    b.set(r, 2, text("=A" + n + "+B" + n + "*2"));
    b.set(r, 3, text(n));
    b.set(r, 4, u"3");
    b.set(r, 5, text("=D" + n + "+E" + n + "*2"));
  }
  std::vector<CellRecord*> formulas;
  for (int r = 0; r < kRows; ++r) {
    formulas.push_back(b.at(r, 2));
    formulas.push_back(b.at(r, 5));
  }
  double last = 0;
  for (auto _ : state) {
    // The formulas go stale, as after an edit of what they read; the numbers stay.
    for (CellRecord* f : formulas)
      f->calcState = CalcState::NotValid;
    for (CellRecord* f : formulas)
      formula::computeCell(*b.book, 0, *f);
    last = b.at(kRows - 1, 2)->value.numberValue() + b.at(kRows - 1, 5)->value.numberValue();
  }
  if (last != 2 * kRows + 10)
    state.SkipWithError("wrong result");
  state.SetItemsProcessed(state.iterations() * 2 * kRows);
}
BENCHMARK(BM_Evaluate_SimpleFormula100k)->Unit(benchmark::kMillisecond);

// 20,000 rows of five numbers and five formulas filled down, computed for
// the first time (as after opening a file): each formula's steps are made or
// found for its shape, then run.
void BM_Recalc_FirstTimeFilled100k(benchmark::State& state) {
  Book b;
  constexpr int kRows = 20000;
  const char* shapes[] = {"=SUM(A#:E#)", "=SUM(A#:E#)/5*2", "=IF(A#>B#,A#,B#)", "=ABS(C#/3)", "=A#*2+$B$1"};
  for (int r = 0; r < kRows; ++r) {
    const std::string n = std::to_string(r + 1);
    for (int c = 0; c < 5; ++c)
      b.set(r, c, text(std::to_string((r * 7 + c * 3) % 101)));
    for (int c = 0; c < 5; ++c) {
      std::string f = shapes[c];
      for (size_t at = f.find('#'); at != std::string::npos; at = f.find('#'))
        f.replace(at, 1, n);
      b.set(r, 5 + c, text(f));
    }
  }
  std::vector<CellRecord*> formulas;
  for (int r = 0; r < kRows; ++r)
    for (int c = 5; c < 10; ++c)
      formulas.push_back(b.at(r, c));
  double last = 0;
  for (auto _ : state) {
    state.PauseTiming();
    formula::forgetKeptFormulas(*b.book);
    for (CellRecord* f : formulas)
      f->calcState = CalcState::NotValid;
    state.ResumeTiming();
    for (CellRecord* f : formulas)
      formula::computeCell(*b.book, 0, *f);
    last = b.at(kRows - 1, 9)->value.numberValue();
  }
  const CellRecord* a = b.at(kRows - 1, 0);
  const CellRecord* b1 = b.at(0, 1);
  if (!a || !b1 || last != a->value.numberValue() * 2 + b1->value.numberValue())
    state.SkipWithError("wrong result");
  state.SetItemsProcessed(state.iterations() * 5 * kRows);
}
BENCHMARK(BM_Recalc_FirstTimeFilled100k)->Unit(benchmark::kMillisecond);

void buildChain(Book& b, int rows) {
  for (int r = 0; r < rows; ++r) {
    const std::string n = std::to_string(r + 1);
    b.set(r, 0, text(n));
    b.set(r, 1, r == 0 ? u"=A1" : text("=B" + std::to_string(r) + "+A" + n));
  }
}

// A30000 numbers, B1 =A1, Bn =B(n-1)+An: F9, then the last cell is read.
void BM_Recalc_Chain30000Full(benchmark::State& state) {
  Book b;
  constexpr int kRows = 30000;
  buildChain(b, kRows);
  double last = 0;
  for (auto _ : state) {
    formula::recalcAll(*b.book);
    formula::computeCell(*b.book, 0, *b.at(kRows - 1, 1));
    last = b.at(kRows - 1, 1)->value.numberValue();
  }
  if (last != kRows * (kRows + 1.0) / 2)
    state.SkipWithError("wrong result");
}
BENCHMARK(BM_Recalc_Chain30000Full)->Unit(benchmark::kMillisecond);

// The same chain: A1 changes, the change propagates and the last cell is read.
void BM_Recalc_Chain30000EditHead(benchmark::State& state) {
  Book b;
  constexpr int kRows = 30000;
  buildChain(b, kRows);
  formula::computeCell(*b.book, 0, *b.at(kRows - 1, 1));
  int k = 0;
  double last = 0;
  for (auto _ : state) {
    b.set(0, 0, text(std::to_string(++k % 2 ? 2 : 1)), true);
    formula::computeCell(*b.book, 0, *b.at(kRows - 1, 1));
    last = b.at(kRows - 1, 1)->value.numberValue();
  }
  if (last != kRows * (kRows + 1.0) / 2 + (k % 2 ? 1 : 0))
    state.SkipWithError("wrong result");
}
BENCHMARK(BM_Recalc_Chain30000EditHead)->Unit(benchmark::kMillisecond);

// 100,000 formulas (two columns of 50,000); a keystroke commits a number
// into a cell none of them names.
void BM_Edit_UnrelatedCell100kFormulas(benchmark::State& state) {
  Book b;
  constexpr int kRows = 50000;
  for (int r = 0; r < kRows; ++r) {
    const std::string n = std::to_string(r + 1);
    b.set(r, 0, u"1");
    b.set(r, 1, text("=A" + n + "*2"));
    b.set(r, 2, text("=B" + n + "+A" + n));
  }
  formula::recalcAll(*b.book);
  for (int r = 0; r < kRows; ++r)
    formula::computeCell(*b.book, 0, *b.at(r, 2));
  int k = 0;
  for (auto _ : state)
    b.set(5, 10, text(std::to_string(++k)), true);
  if (b.at(kRows - 1, 2)->calcState == CalcState::NotValid)
    state.SkipWithError("an unrelated edit marked formulas stale");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Edit_UnrelatedCell100kFormulas)->Unit(benchmark::kMicrosecond);

// 10,000 formulas that every edit reaches, all computed; one number is
// typed and the marking of what depends on it is timed (not the
// recomputation). `make` gives the formula of row r (1-based).
template <class Make>
void markAfterOneEdit(benchmark::State& state, Make make, int editRow, int editColumn) {
  Book b;
  constexpr int kRows = 10000;
  for (int r = 0; r < kRows; ++r) {
    b.set(r, 0, text(std::to_string(r % 100)));
    b.set(r, 3, text(std::to_string(r)));
    b.set(r, 4, text(std::to_string(2 * r)));
  }
  std::vector<CellRecord*> formulas;
  for (int r = 0; r < kRows; ++r) {
    b.set(r, 1, text(make(r + 1)));
    formulas.push_back(b.at(r, 1));
  }
  int k = 0;
  size_t marked = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (CellRecord* f : formulas)
      f->calcState = CalcState::ValueValid;
    (void)set_cell(*b.book, 0, static_cast<std::uint16_t>(editRow),
                   static_cast<std::uint8_t>(editColumn), text(std::to_string(++k)), 15, false,
                   false);
    CellRecord* edited = b.at(editRow, editColumn);
    state.ResumeTiming();
    formula::propagateChange(*b.book, 0, *edited);
    state.PauseTiming();
    marked = 0;
    for (CellRecord* f : formulas)
      marked += f->calcState == CalcState::NotValid;
    state.ResumeTiming();
  }
  if (marked != formulas.size())
    state.SkipWithError("an edit left a dependent unmarked");
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(formulas.size()));
}

// =INDEX($A$1:$A$100,ROW()) in 10,000 cells (volatile); a number typed
// into a cell none of them names.
void BM_Mark_Volatile10000(benchmark::State& state) {
  markAfterOneEdit(
      state, [](int r) { return "=INDEX($A$1:$A$100," + std::to_string(r % 100 + 1) + ")"; },
      20, 10);
}
BENCHMARK(BM_Mark_Volatile10000)->Unit(benchmark::kMillisecond);

// =VLOOKUP(An,$D$1:$E$65536,2,FALSE) in 10,000 cells; a number typed into the
// searched column.
void BM_Mark_WholeColumnLookups10000(benchmark::State& state) {
  markAfterOneEdit(
      state, [](int r) { return "=VLOOKUP(A" + std::to_string(r) + ",$D$1:$E$65536,2,FALSE)"; }, 5, 3);
}
BENCHMARK(BM_Mark_WholeColumnLookups10000)->Unit(benchmark::kMillisecond);

// Telling filled copies: each of 20,000 rows of five filled formulas checked
// against the row above, as opening, computing and saving a filled sheet
// each do once per formula.
void BM_MovedCopy_Filled20000x5(benchmark::State& state) {
  struct Shape {
    std::vector<std::u16string> rows;
    std::vector<formula::WrittenReference> refs;
  };
  using formula::RefCorner;
  using formula::WrittenReference;
  const auto at = [](int row, int column, bool fixed = false) { return RefCorner{row, column, fixed, fixed}; };
  std::vector<Shape> shapes(5);
  for (int r = 0; r < 20000; ++r) {
    const std::string n = std::to_string(r + 1);
    shapes[0].rows.push_back(text("=SUM(A" + n + ":E" + n + ")"));
    shapes[1].rows.push_back(text("=AVERAGE(A" + n + ":E" + n + ")*2"));
    shapes[2].rows.push_back(text("=IF(A" + n + ">B" + n + ",A" + n + ",B" + n + ")"));
    shapes[3].rows.push_back(text("=VLOOKUP(A" + n + ",$A$1:$E$2000,3,FALSE)"));
    shapes[4].rows.push_back(text("=ROUND(C" + n + "/3,2)"));
  }
  shapes[0].refs = {WrittenReference{5, 10, at(0, 0), at(0, 4), true}};
  shapes[1].refs = {WrittenReference{9, 14, at(0, 0), at(0, 4), true}};
  shapes[2].refs = {WrittenReference{4, 6, at(0, 0), at(0, 0), false}, WrittenReference{7, 9, at(0, 1), at(0, 1), false},
                    WrittenReference{10, 12, at(0, 0), at(0, 0), false},
                    WrittenReference{13, 15, at(0, 1), at(0, 1), false}};
  shapes[3].refs = {WrittenReference{9, 11, at(0, 0), at(0, 0), false},
                    WrittenReference{12, 24, at(0, 0, true), at(1999, 4, true), true}};
  shapes[4].refs = {WrittenReference{7, 9, at(0, 2), at(0, 2), false}};
  for (auto _ : state) {
    size_t copies = 0;
    for (const Shape& s : shapes)
      for (size_t r = 1; r < s.rows.size(); ++r)
        copies += formula::isMovedCopy(s.rows[0], s.refs, s.rows[r], static_cast<int>(r), 0);
    if (copies != 5 * 19999)
      state.SkipWithError("a filled copy was not recognised");
    benchmark::DoNotOptimize(copies);
  }
  state.SetItemsProcessed(state.iterations() * 5 * 19999);
}
BENCHMARK(BM_MovedCopy_Filled20000x5)->Unit(benchmark::kMillisecond);

} // namespace
