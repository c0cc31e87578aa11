// Feeds any bytes to the pocket workbook reader. Whatever it accepts must
// survive a write and a second read with every cell value unchanged: the
// values compared are those the files carry, before anything is computed.

#include "fileformats/pocket/pocket.h"
#include "formula/recalc.h"
#include "model/cell_store.h"
#include "model/sheet.h"
#include "platform/ui_services.h"

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

bool sameValue(const model::CellValue& a, const model::CellValue& b) {
  if (a.isNumber() && b.isNumber()) {
    const double x = a.numberValue(), y = b.numberValue();
    return std::memcmp(&x, &y, sizeof x) == 0;
  }
  if (a.isString() && b.isString())
    return a.stringValue() == b.stringValue();
  if (a.isBoolean() && b.isBoolean())
    return a.booleanValue() == b.booleanValue();
  if (a.isError() && b.isError())
    return a.errorValue() == b.errorValue();
  return a.isEmpty() && b.isEmpty();
}

// Every cell of `a` has its value in `b`; a cell missing there counts as
// empty, since an unformatted blank is not written.
void checkValuesIn(const model::Workbook& a, const model::Workbook& b) {
  check(a.sheetCount() == b.sheetCount());
  for (int i = 0; i < a.sheetCount(); ++i)
    a.sheet(i).cells.forEach([&](const model::CellRecord& c) {
      const model::CellRecord* other = model::cell_at(b.sheet(i), c.row, c.column);
      check(sameValue(c.value, other ? other->value : model::CellValue()));
    });
}

std::unique_ptr<model::Workbook> freshBook() {
  auto b = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*b, model::Font{});
  return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::HeadlessUiServices ui;
  static platform::ScopedUiServices scope(ui);
  static const bool installed = (formula::installFormulaEngine(), true);
  (void)installed;
  ui.clearShown();

  auto first = freshBook();
  if (!pocket::readPocketWorkbook(std::span(data, size), *first))
    return 0;
  std::vector<std::uint8_t> file;
  check(pocket::writePocketWorkbook(*first, file));
  auto second = freshBook();
  check(pocket::readPocketWorkbook(file, *second));
  checkValuesIn(*first, *second);
  checkValuesIn(*second, *first);
  return 0;
}
