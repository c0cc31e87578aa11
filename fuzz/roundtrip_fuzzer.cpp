// Feeds any bytes to the workbook readers and checks that what was read
// survives its own writer: read, write, read gives the same sheets, cells
// (entry texts, which are the formulas, and values) and defined names. A
// file that opens as a pocket workbook goes through the pocket writer; any
// other through the binary writer in BIFF8, which holds every character, so
// nothing may change on the way.

#include "same_cells.h"

#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "fileformats/pocket/pocket.h"
#include "formula/recalc.h"
#include "model/sheet.h"
#include "platform/ui_services.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

std::unique_ptr<model::Workbook> freshBook() {
  auto b = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*b, model::Font{});
  return b;
}

void checkSame(const model::Workbook& a, const model::Workbook& b, bool pocket) {
  check(a.sheetCount() == b.sheetCount());
  for (int i = 0; i < a.sheetCount(); ++i)
    check(a.sheet(i).name == b.sheet(i).name);
  // Pocket files carry the cells of worksheets only.
  check(fuzzcheck::cellsKeptIn(a, b, pocket) && fuzzcheck::cellsKeptIn(b, a, pocket));
  check(a.names.size() == b.names.size());
  for (size_t i = 0; i < a.names.size(); ++i) {
    check(a.names[i].name == b.names[i].name);
    check(a.names[i].sheetIndex == b.names[i].sheetIndex);
    check(a.names[i].formula == b.names[i].formula);
  }
}

bool sameTable(const model::DataTable& a, const model::DataTable& b) {
  return a.range == b.range && a.input == b.input && a.columnInput == b.columnInput && a.flags == b.flags;
}

// Every data table of `b` is one of `a`'s (a table whose results are not all
// values is left out when saving); `exact`: the same tables.
bool tablesWithin(const model::Workbook& a, const model::Workbook& b, bool exact) {
  bool any = false;
  for (int i = 0; i < a.sheetCount() && i < b.sheetCount(); ++i) {
    const std::vector<model::DataTable>& x = a.sheet(i).dataTables;
    const std::vector<model::DataTable>& y = b.sheet(i).dataTables;
    check(!exact || x.size() == y.size());
    for (const model::DataTable& t : y)
      check(std::any_of(x.begin(), x.end(), [&](const model::DataTable& u) { return sameTable(t, u); }));
    any = any || !x.empty();
  }
  return any;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::HeadlessUiServices ui;
  static platform::ScopedUiServices scope(ui);
  static const bool installed = (formula::installFormulaEngine(), true);
  (void)installed;
  ui.clearShown();
  const std::span<const std::uint8_t> bytes(data, size);

  auto first = freshBook();
  if (pocket::readPocketWorkbook(bytes, *first)) {
    std::vector<std::uint8_t> file;
    check(pocket::writePocketWorkbook(*first, file));
    auto second = freshBook();
    check(pocket::readPocketWorkbook(file, *second));
    checkSame(*first, *second, true);
    return 0;
  }
  first = freshBook();
  if (!biff::readBinaryWorkbook(bytes, *first))
    return 0;
  std::vector<std::uint8_t> file;
  check(biff::writeBinaryWorkbook(*first, 8, file));
  auto second = freshBook();
  check(biff::readBinaryWorkbook(file, *second));
  checkSame(*first, *second, false);
  if (tablesWithin(*first, *second, false)) {
    // What was written once is written whole the next time.
    check(biff::writeBinaryWorkbook(*second, 8, file));
    auto third = freshBook();
    check(biff::readBinaryWorkbook(file, *third));
    tablesWithin(*second, *third, true);
  }
  return 0;
}
