#include "edit/clear.h"

#include "edit/paste.h"
#include "formula/recalc.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "platform/memory.h"

#include <algorithm>

namespace edit {

using model::CellRange;
using model::CellRecord;
using model::Sheet;
using model::Workbook;

namespace {

bool inside(const CellRange& inner, const CellRange& outer) {
  return inner.firstRow >= outer.firstRow && inner.lastRow <= outer.lastRow &&
         inner.firstColumn >= outer.firstColumn && inner.lastColumn <= outer.lastColumn;
}

struct Cleared {
  Workbook& book;
  int sheetIndex;
  Sheet& sheet;
  const CellRange& range;
  std::vector<std::uint32_t> changed;

  void formats() {
    if (range.firstRow == 0 && range.lastRow == model::kMaxRow)
      for (int c = range.firstColumn; c <= range.lastColumn; ++c)
        if (model::column_record(sheet, static_cast<std::uint8_t>(c)).formatIndex != model::kDefaultCellFormat)
          model::set_column_format(sheet, static_cast<std::uint8_t>(c), model::kDefaultCellFormat);
    std::vector<std::uint32_t> cells;
    sheet.cells.forEachIn(range, [&](const CellRecord& c) {
      if (c.formatIndex != model::kDefaultCellFormat)
        cells.push_back(model::packCell(c.row, c.column));
    });
    std::u16string input;
    for (const std::uint32_t p : cells) {
      CellRecord* c = model::cell_at(sheet, model::packedRow(p), model::packedColumn(p));
      if (!c)
        continue;
      if (!c->input.isNull() && c->input.size() > 0) {
        // Stored again, so a text-formatted formula becomes a formula.
        input.assign(c->input.view());
        if (!model::set_cell(book, sheetIndex, c->row, c->column, input, model::kDefaultCellFormat, false, false))
          throw std::bad_alloc();
      } else {
        c->formatIndex = model::kDefaultCellFormat;
        c->display.reset();
        if (c->calcState == model::CalcState::DisplayValid)
          c->calcState = model::CalcState::ValueValid;
      }
      changed.push_back(p);
    }
    std::erase_if(sheet.mergedRanges.edit(), [&](const CellRange& m) { return inside(m, range); });
  }

  void contents() {
    std::vector<std::uint32_t> cells;
    sheet.cells.forEachIn(range, [&](const CellRecord& c) {
      if (!c.input.isNull() && c.input.size() > 0)
        cells.push_back(model::packCell(c.row, c.column));
    });
    std::erase_if(sheet.arrayFormulas, [&](const model::ArrayFormulaRecord& a) { return inside(a.range, range); });
    // Cleared results are no longer the table's.
    std::erase_if(sheet.dataTables, [&](const model::DataTable& t) { return t.range.intersects(range); });
    std::erase_if(sheet.hyperlinks, [&](const model::Hyperlink& h) {
      return range.contains(model::packedRow(h.cell), model::packedColumn(h.cell));
    });
    for (const std::uint32_t p : cells) {
      const CellRecord* c = model::cell_at(sheet, model::packedRow(p), model::packedColumn(p));
      if (!c)
        continue;
      if (!model::set_cell(book, sheetIndex, c->row, c->column, u"", c->formatIndex, false, false))
        throw std::bad_alloc();
      changed.push_back(p);
    }
  }

  void comments() {
    const size_t before = sheet.objects.size();
    std::erase_if(sheet.objects, [&](const model::DrawingObject& o) {
      return o.kind == model::kObjectComment && range.contains(o.row, o.column);
    });
    if (sheet.objects.size() != before)
      sheet.selectedObject = sheet.secondObject = -1;
  }
};

} // namespace

bool clear_range(Workbook& book, int sheetIndex, const CellRange& range, ClearPart part) {
  if (!isCellSheet(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  unsigned checks = model::kGuardProtection;
  if (part == ClearPart::All || part == ClearPart::Contents)
    checks |= model::kGuardArrayPart;
  if (!model::guard_range(book, sheet, range, checks))
    return false;
  if (!model::push_undo_range(book, sheetIndex, model::kUndoClear, range))
    return false;
  const bool formats = part == ClearPart::All || part == ClearPart::Formats;
  // Whole columns lose their column formats: the entry keeps them.
  if (formats && range.firstRow == 0 && range.lastRow == model::kMaxRow &&
      !model::save_column_records(book, sheetIndex, range))
    return false;
  Cleared c{book, sheetIndex, sheet, range, {}};
  const bool ok = platform::withAllocation([&] {
    if (formats)
      c.formats();
    if (part == ClearPart::All || part == ClearPart::Contents)
      c.contents();
    if (part == ClearPart::All || part == ClearPart::Comments)
      c.comments();
  });
  std::sort(c.changed.begin(), c.changed.end());
  c.changed.erase(std::unique(c.changed.begin(), c.changed.end()), c.changed.end());
  model::fitRowsOfRange(book, sheetIndex, range);
  model::mark_modified(book);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, sheetIndex, c.changed); });
  return ok;
}

} // namespace edit
