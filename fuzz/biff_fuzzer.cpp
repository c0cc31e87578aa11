// Feeds any bytes to the binary workbook reader. Whatever it accepts must
// write in the version it was read as and read again; from then on the sheet
// settings and data-tool rules must be stable: a second write and read gives
// the same ones, and so must the drawing objects and comments, each cell's
// look (number format code, font, alignment, fill, borders), and in Excel 95
// files the sheet names, cells (entry texts and values) and defined names.
// (The first pass may normalise: code-page text, formula text, what a version
// holds.)

#include "same_cells.h"

#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "formula/recalc.h"
#include "model/sheet.h"
#include "platform/ui_services.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
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

std::unique_ptr<model::Workbook> writeAndRead(const model::Workbook &book, int version) {
  std::vector<std::uint8_t> file;
  check(biff::writeBinaryWorkbook(book, version, file));
  auto back = freshBook();
  biff::ReadInfo info;
  check(biff::readBinaryWorkbook(file, *back, &info));
  check(info.version == version);
  return back;
}

void checkSameRules(const model::Workbook &a, const model::Workbook &b) {
  check(a.sheetCount() == b.sheetCount());
  for (int i = 0; i < a.sheetCount(); ++i) {
    const model::Sheet &x = a.sheet(i);
    const model::Sheet &y = b.sheet(i);
    if (!x.hasGrid() || x.kind == model::SheetKind::Module)
      continue;
    check(x.conditionalFormats == y.conditionalFormats);
    check(x.validations == y.validations);
    check(x.validations.empty() || x.validationBox == y.validationBox);
    check((x.flags & model::kSheetAutoFilter) == (y.flags & model::kSheetAutoFilter));
    if (x.flags & model::kSheetAutoFilter)
      check(x.autoFilter.firstRow == y.autoFilter.firstRow &&
            x.autoFilter.lastRow == y.autoFilter.lastRow &&
            x.autoFilter.firstColumn == y.autoFilter.firstColumn &&
            x.autoFilter.lastColumn == y.autoFilter.lastColumn &&
            x.autoFilter.criteria == y.autoFilter.criteria);
    check(x.guts == y.guts);
    const model::PageSetup &p = x.pageSetup;
    const model::PageSetup &q = y.pageSetup;
    check(p.gridSet == q.gridSet && p.centreHorizontally == q.centreHorizontally &&
          p.centreVertically == q.centreVertically && p.fitToPage == q.fitToPage &&
          p.printerSettings == q.printerSettings && p.hasSetup == q.hasSetup && p.setup == q.setup);
  }
}

// Drawing objects and comments: kind, place, text and cell stay put.
void checkSameObjects(const model::Workbook &a, const model::Workbook &b) {
  for (int i = 0; i < a.sheetCount(); ++i) {
    const std::vector<model::DrawingObject> &x = a.sheet(i).objects;
    const std::vector<model::DrawingObject> &y = b.sheet(i).objects;
    check(x.size() == y.size());
    for (size_t k = 0; k < x.size(); ++k)
      check(x[k].kind == y[k].kind && x[k].anchor == y[k].anchor && x[k].text == y[k].text &&
            x[k].row == y[k].row && x[k].column == y[k].column && x[k].filterArrow == y[k].filterArrow);
  }
}

// A cell's look as the user sees it, whatever the table positions.
bool sameLook(const model::Workbook &a, std::uint16_t x, const model::Workbook &b, std::uint16_t y) {
  if (x >= a.cellFormats.size() || y >= b.cellFormats.size())
    return (x >= a.cellFormats.size()) == (y >= b.cellFormats.size());
  model::CellFormat f = a.cellFormats[x];
  model::CellFormat g = b.cellFormats[y];
  if (model::numberFormatCode(a, f.numberFormatIndex) != model::numberFormatCode(b, g.numberFormatIndex))
    return false;
  if ((f.fontIndex < a.fonts.size()) != (g.fontIndex < b.fonts.size()) ||
      (f.fontIndex < a.fonts.size() && !(a.fonts[f.fontIndex] == b.fonts[g.fontIndex])))
    return false;
  f.fontIndex = g.fontIndex = 0;
  f.numberFormatIndex = g.numberFormatIndex = 0;
  return f == g;
}

void checkSameLooks(const model::Workbook &a, const model::Workbook &b) {
  for (int i = 0; i < a.sheetCount(); ++i) {
    if (!a.sheet(i).hasGrid())
      continue;
    a.sheet(i).cells.forEach([&](const model::CellRecord &c) {
      const model::CellRecord *other = model::cell_at(b.sheet(i), c.row, c.column);
      check(other ? sameLook(a, c.formatIndex, b, other->formatIndex)
                  : sameLook(a, c.formatIndex, a, model::kDefaultCellFormat));
    });
  }
}

void checkSameData(const model::Workbook &a, const model::Workbook &b) {
  for (int i = 0; i < a.sheetCount(); ++i)
    check(a.sheet(i).name == b.sheet(i).name && a.sheet(i).kind == b.sheet(i).kind);
  check(fuzzcheck::cellsKeptIn(a, b, false) && fuzzcheck::cellsKeptIn(b, a, false));
  check(a.names.size() == b.names.size());
  for (size_t i = 0; i < a.names.size(); ++i)
    check(a.names[i].name == b.names[i].name && a.names[i].sheetIndex == b.names[i].sheetIndex &&
          a.names[i].formula == b.names[i].formula);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static platform::HeadlessUiServices ui;
  static platform::ScopedUiServices scope(ui);
  static const bool installed = (formula::installFormulaEngine(), true);
  (void)installed;
  ui.clearShown();

  auto first = freshBook();
  biff::ReadInfo info;
  if (!biff::readBinaryWorkbook(std::span(data, size), *first, &info))
    return 0;
  const int version = info.version == 8 ? 8 : 7;
  auto second = writeAndRead(*first, version);
  auto third = writeAndRead(*second, version);
  checkSameRules(*second, *third);
  checkSameObjects(*second, *third);
  checkSameLooks(*second, *third);
  checkSameLooks(*third, *second);
  if (version == 7)
    checkSameData(*second, *third);
  return 0;
}
