// Typing latency: one keystroke-to-commit cycle through the application
// layer in a sheet of 100,000 formulas that do not depend on the cell typed
// into, and one in a cell that 100,000 formulas do depend on.

#include "app/app.h"
#include "app/cell_entry.h"
#include "app/message_map.h"
#include "app/navigation.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/set_cell.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Session {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  platform::HeadlessWindowServices window;
  model::WorkbookList books;
  app::App app{books, window};

  // 100,000 formulas in A1:J10000, each adding one to the cell on its left
  // (column A reads column L), so column L feeds every row.
  Session() {
    formula::installFormulaEngine();
    functions::registerAllFunctions();
    (void)books.new_workbook(nullptr);
    app.layoutInput = view::LayoutInput{{0, 0, 1920, 1080}, 0, 0, 17, 17};
    model::Workbook& book = *books.active();
    for (int r = 0; r < 10000; ++r)
      for (int c = 0; c < 10; ++c) {
        const std::string ref = c == 0 ? "L" + std::to_string(r + 1)
                                       : std::string(1, static_cast<char>('A' + c - 1)) + std::to_string(r + 1);
        (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                              platform::fromUtf8("=" + ref + "+1"), 15, false, false);
      }
    formula::recalcAll(book);
    formula::computeStaleFormulas(book);
    app.relayout();
    // The first change builds the dependency index; that is not typing latency.
    typeAndCommit(30000, 30, u'0');
  }

  void typeAndCommit(int row, int column, char16_t digit) {
    app::set_selection(app, model::CellRange::cell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)),
                       app::CellPos{static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)}, false);
    app::main_window_proc(app, app::WM_CHAR, digit, 0);
    app::formula_bar_proc(app, app::WM_KEYDOWN, app::VK_RETURN, 0);
  }
};

void BM_CommitUnrelatedCell(benchmark::State& state) {
  Session s;
  char16_t digit = u'1';
  for (auto _ : state) {
    s.typeAndCommit(20000, 20, digit);
    digit = digit == u'9' ? u'1' : static_cast<char16_t>(digit + 1);
  }
}
BENCHMARK(BM_CommitUnrelatedCell)->Unit(benchmark::kMicrosecond);

// Every row's chain starts in column L: typing into L1 makes row 1's ten
// formulas stale, so the commit computes those and no others.
void BM_CommitCellFeedingOneRow(benchmark::State& state) {
  Session s;
  char16_t digit = u'1';
  for (auto _ : state) {
    s.typeAndCommit(0, 11, digit);
    digit = digit == u'9' ? u'1' : static_cast<char16_t>(digit + 1);
  }
}
BENCHMARK(BM_CommitCellFeedingOneRow)->Unit(benchmark::kMicrosecond);


// Tab through a whole-sheet selection of which one cell shows: every other
// column and row is hidden, so the walk comes back to where it began.
void BM_TabOverHiddenLines(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  platform::HeadlessWindowServices window;
  model::WorkbookList books;
  app::App app{books, window};
  (void)books.new_workbook(nullptr);
  app.layoutInput = view::LayoutInput{{0, 0, 1920, 1080}, 0, 0, 17, 17};
  app.relayout();
  model::Sheet& sheet = books.active()->active();
  model::setColumnWidthChars(sheet, 1, 255, 0);
  model::setRowHeightPoints(sheet, 1, 65535, 0);
  app::set_selection(app, model::CellRange{0, 0, 65535, 255}, app::CellPos{0, 0}, false);
  for (auto _ : state)
    app::main_window_proc(app, app::WM_CHAR, u'\t', 0);
  if (sheet.activeRow != 0 || sheet.activeColumn != 0)
    state.SkipWithError("the walk left the only visible cell");
}
BENCHMARK(BM_TabOverHiddenLines)->Unit(benchmark::kMillisecond);

} // namespace
