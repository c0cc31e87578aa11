#include "edit/structure.h"

#include "edit/paste.h"
#include "formula/recalc.h"
#include "formula/rewrite.h"
#include "model/auto_filter.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "platform/memory.h"
#include "platform/ui_services.h"

#include <algorithm>

namespace edit {

using model::CellRange;
using model::CellRecord;
using model::Sheet;
using model::StructuralUndo;
using model::Workbook;

namespace {

constexpr unsigned kStructureGuards = model::kGuardProtection | model::kGuardArrayPart | model::kGuardMergedPart;

void refuse(std::u16string_view message) {
  (void)platform::ui().messageBox(message, std::nullopt, platform::MessageButtons::Ok, platform::MessageIcon::None);
}

bool inside(const CellRange& inner, const CellRange& outer) {
  return inner.firstRow >= outer.firstRow && inner.lastRow <= outer.lastRow &&
         inner.firstColumn >= outer.firstColumn && inner.lastColumn <= outer.lastColumn;
}

CellRange intersection(const CellRange& a, const CellRange& b) {
  return {std::max(a.firstRow, b.firstRow), std::max(a.firstColumn, b.firstColumn), std::min(a.lastRow, b.lastRow),
          std::min(a.lastColumn, b.lastColumn)};
}

// The block's image clipped to the sheet; false when nothing of it is left.
bool shiftedOnSheet(const CellRange& r, int dRow, int dColumn, CellRange& out) {
  const int r1 = std::max(0, r.firstRow + dRow), r2 = std::min(model::kMaxRow, r.lastRow + dRow);
  const int c1 = std::max(0, r.firstColumn + dColumn), c2 = std::min(model::kMaxColumn, r.lastColumn + dColumn);
  if (r1 > r2 || c1 > c2)
    return false;
  out = {static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1), static_cast<std::uint16_t>(r2),
         static_cast<std::uint8_t>(c2)};
  return true;
}

// One structural edit in progress: the block, its move, and where the undo
// entry keeps what changed.
struct Edit {
  Workbook& book;
  int sheetIndex;
  CellRange block;
  int dRow;
  int dColumn;
  StructuralUndo* undo;
  std::vector<bool> sheetSaved; // by sheet index: its records are in the undo entry

  bool vertical() const { return dColumn == 0; }

  void saveSheet(int s) {
    if (!undo || sheetSaved[static_cast<size_t>(s)])
      return;
    sheetSaved[static_cast<size_t>(s)] = true;
    undo->sheets.push_back(model::save_sheet_records(book.sheet(s)));
  }

  // Rewrites a formula text, or a bare reference, seen from sheet `s`.
  bool rewrite(int s, std::u16string& text) const {
    if (text.empty())
      return false;
    const bool bare = text[0] != u'=' && text[0] != u'+' && text[0] != u'-';
    const std::u16string probe = bare ? u"=" + text : text;
    std::optional<std::u16string> r =
        formula::rewriteFormula(formula::RewriteMode::Move, book, s, probe, sheetIndex, block, dRow, dColumn);
    if (!r)
      throw std::bad_alloc();
    if (*r == probe)
      return false;
    text = bare ? r->substr(1) : std::move(*r);
    return true;
  }

  // Rule formulas are kept relative to A1: seen from the rule's first cell
  // they are moved like any formula, then kept relative to that cell's new place.
  bool rewriteRuleFormula(int s, std::u16string& text, const CellRange& origin, const CellRange& newOrigin) const {
    if (text.size() < 2 || text[0] != u'=')
      return false;
    std::optional<std::u16string> there = formula::rewriteFormula(formula::RewriteMode::Relative, book, s, text, {},
                                                                  origin.firstRow, origin.firstColumn);
    if (!there)
      throw std::bad_alloc();
    const auto refErrors = [](std::u16string_view t) {
      size_t n = 0;
      for (size_t p = t.find(u"#REF!"); p != std::u16string_view::npos; p = t.find(u"#REF!", p + 1))
        ++n;
      return n;
    };
    if (refErrors(*there) != refErrors(text))
      return false; // no cell of the sheet is seen there: leave it as it is
    std::u16string moved = *there;
    if (!rewrite(s, moved))
      return false;
    std::optional<std::u16string> back = formula::rewriteFormula(formula::RewriteMode::Relative, book, s, moved, {},
                                                                 -newOrigin.firstRow, -newOrigin.firstColumn);
    if (!back)
      throw std::bad_alloc();
    text = std::move(*back);
    return true;
  }

  // Where a cell of the edited sheet lands; false when it leaves the sheet.
  bool movePoint(int& row, int& column) const {
    if (!block.contains(row, column))
      return true;
    row += dRow;
    column += dColumn;
    return model::isValidCell(row, column);
  }
};

// Every formula that names the region the edit touches, on every sheet.
void rewriteCells(Edit& e, std::vector<std::pair<int, std::uint32_t>>& rescan) {
  CellRange landed{};
  const bool lands = shiftedOnSheet(e.block, e.dRow, e.dColumn, landed);
  const auto touches = [&](const CellRange& r) {
    return r.intersects(e.block) || (lands && r.intersects(landed));
  };
  std::u16string text;
  for (int s = 0; s < e.book.sheetCount(); ++s) {
    Sheet& sheet = e.book.sheet(s);
    if (!sheet.hasGrid())
      continue;
    sheet.cells.forEach([&](CellRecord& c) {
      if (!c.isFormula || !c.precedents)
        return;
      bool hit = false;
      for (const model::SheetRange& p : *c.precedents) {
        const int target = p.sheet < 0 ? s : p.sheet;
        if (target == e.sheetIndex && touches(p.range())) {
          hit = true;
          break;
        }
      }
      if (!hit)
        return;
      text.assign(c.input.view());
      if (!e.rewrite(s, text))
        return;
      if (e.undo)
        e.undo->texts.push_back({sheet.id, c.row, c.column, std::u16string(c.input.view())});
      c.input.assign(text);
      int row = c.row, column = c.column;
      if (s != e.sheetIndex || e.movePoint(row, column))
        rescan.emplace_back(s, model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)));
    });
  }
}

void rewriteNames(Edit& e) {
  bool changed = false;
  for (model::DefinedName& n : e.book.names) {
    const int s = n.sheetIndex > 0 ? n.sheetIndex - 1 : -1;
    changed |= e.rewrite(s, n.formula);
  }
  if (changed)
    model::names_changed(e.book);
}

// Where a rule's first cell goes: with its cell when that moves.
CellRange originAfter(const Edit& e, const CellRange& origin) {
  int row = origin.firstRow, column = origin.firstColumn;
  if (!e.movePoint(row, column))
    return origin;
  return CellRange::cell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
}

void rewriteRulesAndObjects(Edit& e) {
  for (int s = 0; s < e.book.sheetCount(); ++s) {
    Sheet& sheet = e.book.sheet(s);
    const bool movedSheet = s == e.sheetIndex;
    const auto ruleOrigins = [&](const std::vector<CellRange>& ranges, CellRange& from, CellRange& to) {
      from = ranges.empty() ? CellRange{} : CellRange::cell(ranges[0].firstRow, ranges[0].firstColumn);
      to = movedSheet ? originAfter(e, from) : from;
    };
    // Each text is rewritten on a copy first, so the sheet's records are
    // saved for undo before the first of them changes.
    CellRange from, to;
    for (size_t i = 0; i < sheet.validations.size(); ++i) {
      model::ValidationRule v = sheet.validations[i];
      ruleOrigins(v.ranges, from, to);
      bool changed = false;
      if (!(v.allow == model::kAllowList && v.plainList))
        changed |= e.rewriteRuleFormula(s, v.formula1, from, to);
      changed |= e.rewriteRuleFormula(s, v.formula2, from, to);
      if (changed) {
        e.saveSheet(s);
        sheet.validations[i].formula1 = std::move(v.formula1);
        sheet.validations[i].formula2 = std::move(v.formula2);
      }
    }
    for (size_t i = 0; i < sheet.conditionalFormats.size(); ++i) {
      model::ConditionalFormat f = sheet.conditionalFormats[i];
      ruleOrigins(f.ranges, from, to);
      bool changed = false;
      for (model::FormatCondition& c : f.conditions) {
        changed |= e.rewriteRuleFormula(s, c.operand1, from, to);
        changed |= e.rewriteRuleFormula(s, c.operand2, from, to);
      }
      if (changed) {
        e.saveSheet(s);
        sheet.conditionalFormats[i].conditions = std::move(f.conditions);
      }
    }
    for (model::DrawingObject& o : sheet.objects) {
      model::ObjectPayload* payload = o.payload.get();
      if (!payload)
        continue;
      std::vector<std::u16string> texts;
      payload->forEachReference([&](std::u16string& t) { texts.push_back(t); });
      bool changed = false;
      for (std::u16string& t : texts)
        changed |= e.rewrite(s, t);
      if (!changed)
        continue;
      e.saveSheet(s);
      size_t k = 0;
      payload->forEachReference([&](std::u16string& t) {
        if (k < texts.size())
          t = std::move(texts[k++]);
      });
    }
  }
}

// Ranges of rules follow their cells: the part inside the block's band moves
// (stretching or shrinking), the rest stays; parts wholly lost go.
void moveRuleRanges(const Edit& e, std::vector<CellRange>& ranges) {
  const CellRange band = e.vertical() ? CellRange{0, e.block.firstColumn, model::kMaxRow, e.block.lastColumn}
                                      : CellRange{e.block.firstRow, 0, e.block.lastRow, model::kMaxColumn};
  std::vector<CellRange> out;
  for (const CellRange& r : ranges) {
    std::vector<CellRange> pieces = subtractRange(r, band);
    if (r.intersects(band))
      pieces.push_back(intersection(r, band));
    for (CellRange piece : pieces)
      if (formula::moveArea(piece, e.block, e.dRow, e.dColumn) != formula::AreaFate::Invalid)
        out.push_back(piece);
  }
  ranges = std::move(out);
}

// Moves an area wholly inside the block; false when any of it leaves the sheet.
bool moveWhole(const Edit& e, CellRange& r) {
  if (!inside(r, e.block))
    return true;
  CellRange moved;
  if (!shiftedOnSheet(r, e.dRow, e.dColumn, moved) || moved.rowCount() != r.rowCount() ||
      moved.columnCount() != r.columnCount())
    return false;
  r = moved;
  return true;
}

// One axis of an anchor corner: inside the block it moves; on a deleted
// line it goes to the first line after the deletion; clipped to the sheet.
void moveLine(const Edit& e, std::uint16_t& line, std::uint16_t& offset, bool acrossInside) {
  const int first = e.vertical() ? e.block.firstRow : e.block.firstColumn;
  const int last = e.vertical() ? e.block.lastRow : e.block.lastColumn;
  const int d = e.vertical() ? e.dRow : e.dColumn;
  const int limit = e.vertical() ? model::kMaxRow : model::kMaxColumn;
  if (!acrossInside)
    return;
  int p = line;
  if (p >= first && p <= last) {
    p += d;
  } else if (d < 0 && p >= first + d && p < first) {
    p = first + d;
    offset = 0;
  } else {
    return;
  }
  if (p > limit) {
    p = limit;
    offset = e.vertical() ? 255 : 1023;
  }
  line = static_cast<std::uint16_t>(std::max(p, 0));
}

void moveAnchors(Edit& e, Sheet& sheet, const std::vector<platform::Rect>& fixedRects) {
  const model::PixelScale scale = model::unzoomedScale();
  for (size_t i = 0; i < sheet.objects.size(); ++i) {
    model::DrawingObject& o = sheet.objects[i];
    if (o.placement == model::ObjectPlacement::Fixed) {
      o.anchor = model::pixelsToAnchor(sheet, fixedRects[i], scale);
      continue;
    }
    model::ObjectAnchor& a = o.anchor;
    const int acrossLo = e.vertical() ? std::min(a.first.column, a.last.column) : std::min(a.first.row, a.last.row);
    const int acrossHi = e.vertical() ? std::max(a.first.column, a.last.column) : std::max(a.first.row, a.last.row);
    const int blockLo = e.vertical() ? e.block.firstColumn : e.block.firstRow;
    const int blockHi = e.vertical() ? e.block.lastColumn : e.block.lastRow;
    const bool acrossInside = acrossLo >= blockLo && acrossHi <= blockHi;
    const auto lineOf = [&](model::AnchorCorner& k) -> std::uint16_t& { return e.vertical() ? k.row : k.column; };
    const auto offsetOf = [&](model::AnchorCorner& k) -> std::uint16_t& {
      return e.vertical() ? k.rowOffset : k.columnOffset;
    };
    if (o.placement == model::ObjectPlacement::MoveOnly) {
      const int span = lineOf(a.last) - lineOf(a.first);
      moveLine(e, lineOf(a.first), offsetOf(a.first), acrossInside);
      const int limit = e.vertical() ? model::kMaxRow : model::kMaxColumn;
      lineOf(a.last) = static_cast<std::uint16_t>(std::clamp(lineOf(a.first) + span, 0, limit));
    } else {
      moveLine(e, lineOf(a.first), offsetOf(a.first), acrossInside);
      moveLine(e, lineOf(a.last), offsetOf(a.last), acrossInside);
    }
  }
}

template <class Record, class Key> void moveLineRecords(std::vector<Record>& records, const Edit& e, int limit, Key key) {
  const int first = e.vertical() ? e.block.firstRow : e.block.firstColumn;
  const int last = e.vertical() ? e.block.lastRow : e.block.lastColumn;
  const int d = e.vertical() ? e.dRow : e.dColumn;
  std::vector<Record> out;
  out.reserve(records.size());
  for (Record r : records) {
    int k = key(r);
    if (k >= first && k <= last) {
      k += d;
      if (k < 0 || k > limit)
        continue;
    } else if (k >= first + d && k <= last + d) {
      continue; // overwritten by the moved lines
    }
    key(r) = static_cast<std::remove_reference_t<decltype(key(r))>>(k);
    out.push_back(r);
  }
  std::sort(out.begin(), out.end(), [&](Record& a, Record& b) { return key(a) < key(b); });
  records = std::move(out);
}

void moveRecords(Edit& e, Sheet& sheet) {
  const bool wholeRows = e.vertical() && spansWholeRows(e.block);
  const bool wholeColumns = !e.vertical() && spansWholeColumns(e.block);
  std::vector<platform::Rect> fixedRects(sheet.objects.size());
  for (size_t i = 0; i < sheet.objects.size(); ++i)
    if (sheet.objects[i].placement == model::ObjectPlacement::Fixed)
      fixedRects[i] = model::anchorToPixels(sheet, sheet.objects[i].anchor, model::unzoomedScale());

  std::erase_if(sheet.arrayFormulas, [&](model::ArrayFormulaRecord& a) { return !moveWhole(e, a.range); });
  std::erase_if(sheet.mergedRanges.edit(), [&](CellRange& m) { return !moveWhole(e, m); });
  // A data table moves whole with its headings, and its input cells move
  // with theirs; an edit through it, or one deleting an input, leaves its
  // results as plain values.
  std::erase_if(sheet.dataTables, [&](model::DataTable& t) {
    CellRange area = t.area();
    if (area.intersects(e.block) && !inside(area, e.block))
      return true;
    const int rows = area.rowCount(), columns = area.columnCount();
    const formula::AreaFate fate = formula::moveArea(area, e.block, e.dRow, e.dColumn);
    if (fate == formula::AreaFate::Invalid || area.rowCount() != rows || area.columnCount() != columns)
      return true;
    const bool two = (t.flags & model::kDataTableTwoInputs) != 0;
    for (std::uint32_t* input : {&t.input, &t.columnInput}) {
      if (input == &t.columnInput && !two)
        break;
      CellRange cell = CellRange::cell(model::packedRow(*input), model::packedColumn(*input));
      if (formula::moveArea(cell, e.block, e.dRow, e.dColumn) == formula::AreaFate::Invalid)
        return true;
      *input = model::packCell(cell.firstRow, cell.firstColumn);
    }
    t.range = {static_cast<std::uint16_t>(area.firstRow + 1), static_cast<std::uint8_t>(area.firstColumn + 1),
               area.lastRow, area.lastColumn};
    return false;
  });
  std::erase_if(sheet.hyperlinks, [&](model::Hyperlink& h) {
    int row = model::packedRow(h.cell), column = model::packedColumn(h.cell);
    if (!e.movePoint(row, column))
      return true;
    h.cell = model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    return false;
  });
  for (model::ValidationRule& v : sheet.validations)
    moveRuleRanges(e, v.ranges);
  std::erase_if(sheet.validations.edit(), [](const model::ValidationRule& v) { return v.ranges.empty(); });
  for (model::ConditionalFormat& f : sheet.conditionalFormats)
    moveRuleRanges(e, f.ranges);
  std::erase_if(sheet.conditionalFormats.edit(), [](const model::ConditionalFormat& f) { return f.ranges.empty(); });

  if (sheet.flags & model::kSheetAutoFilter) {
    model::AutoFilterState& f = sheet.autoFilter;
    CellRange area{f.firstRow, f.firstColumn, f.lastRow, f.lastColumn};
    const int columnsBefore = area.columnCount();
    switch (formula::moveArea(area, e.block, e.dRow, e.dColumn)) {
    case formula::AreaFate::Invalid:
      // The arrows go with the others below: the object list is still
      // being walked by position.
      sheet.flags &= ~model::kSheetAutoFilter;
      f.criteria.clear();
      model::showFilteredRows(sheet);
      break;
    case formula::AreaFate::Moved: {
      const int grown = area.columnCount() - columnsBefore;
      if (grown > 0 && e.block.firstColumn > f.firstColumn) {
        const size_t at = std::min<size_t>(f.criteria.size(), static_cast<size_t>(e.block.firstColumn - f.firstColumn));
        f.criteria.insert(f.criteria.begin() + static_cast<std::ptrdiff_t>(at), static_cast<size_t>(grown), {});
      } else if (grown > 0) {
        f.criteria.insert(f.criteria.begin(), static_cast<size_t>(grown), {});
      }
      f.criteria.resize(static_cast<size_t>(area.columnCount()));
      f.firstRow = area.firstRow;
      f.firstColumn = area.firstColumn;
      f.lastRow = area.lastRow;
      f.lastColumn = area.lastColumn;
      break;
    }
    case formula::AreaFate::Unchanged:
      break;
    }
  }

  // Comments belong to their cells.
  const size_t objects = sheet.objects.size();
  std::vector<platform::Rect> keptRects;
  std::vector<model::DrawingObject> kept;
  kept.reserve(objects);
  for (size_t i = 0; i < objects; ++i) {
    model::DrawingObject& o = sheet.objects[i];
    if (o.kind == model::kObjectComment) {
      int row = o.row, column = o.column;
      if (!e.movePoint(row, column))
        continue;
      o.row = static_cast<std::uint16_t>(row);
      o.column = static_cast<std::uint8_t>(column);
    }
    kept.push_back(std::move(o));
    keptRects.push_back(fixedRects[i]);
  }
  sheet.objects = std::move(kept);
  if (sheet.objects.size() != objects)
    sheet.selectedObject = sheet.secondObject = -1;

  if (wholeRows) {
    moveLineRecords(sheet.rows.edit(), e, model::kMaxRow, [](model::RowRecord& r) -> std::uint16_t& { return r.row; });
    if ((sheet.flags & model::kSheetPanesFrozen) && sheet.scrollPaneRow >= e.block.firstRow &&
        sheet.scrollPaneRow <= e.block.lastRow)
      sheet.scrollPaneRow = static_cast<std::uint16_t>(
          std::clamp(sheet.scrollPaneRow + e.dRow, sheet.frozenRow + 1, model::kMaxRow));
  }
  if (wholeColumns) {
    moveLineRecords(sheet.columns.edit(), e, model::kMaxColumn,
                    [](model::ColumnRecord& r) -> std::uint8_t& { return r.column; });
    if ((sheet.flags & model::kSheetPanesFrozen) && sheet.scrollPaneColumn >= e.block.firstColumn &&
        sheet.scrollPaneColumn <= e.block.lastColumn)
      sheet.scrollPaneColumn = static_cast<std::uint8_t>(
          std::clamp(sheet.scrollPaneColumn + e.dColumn, sheet.frozenColumn + 1, model::kMaxColumn));
  }
  moveAnchors(e, sheet, keptRects);
  // A column inserted inside the filter gets its arrow; a filter that went
  // loses its arrows.
  model::placeFilterArrows(sheet);
}

// Scans the formulas whose text changed again and marks everything stale once.
void rescanAndRecalc(Workbook& book, const std::vector<std::pair<int, std::uint32_t>>& rescan) {
  formula::forgetDependencies(book);
  for (const auto& [s, p] : rescan)
    if (CellRecord* c = model::cell_at(book.sheet(s), model::packedRow(p), model::packedColumn(p))) {
      formula::scanCell(book, s, *c);
      c->calcState = model::CalcState::NotValid;
      c->display.reset();
    }
  formula::recalcAll(book);
}

void recalcAfter(Workbook& book, const std::vector<std::pair<int, std::uint32_t>>& rescan) {
  if (!platform::withAllocationQuiet([&] { rescanAndRecalc(book, rescan); }))
    formula::forgetDependencies(book); // the cells stay stale: found again when computed
  model::mark_modified(book);
}

// Puts a workbook back as it was before a structural edit that ran out of
// memory: the moved cells, the deleted ones, every text and record the
// journal kept, and the panes. Best effort when memory stays short.
void rollBack(Edit& e, bool cellsMoved, const model::SavedRange* deleted, std::uint16_t paneRow,
              std::uint8_t paneColumn) {
  Sheet& sheet = e.book.sheet(e.sheetIndex);
  std::vector<std::pair<int, std::uint32_t>> rescan;
  (void)platform::withAllocationQuiet([&] {
    CellRange landed;
    if (cellsMoved && shiftedOnSheet(e.block, e.dRow, e.dColumn, landed))
      sheet.cells.moveBlock(landed, -e.dRow, -e.dColumn);
    if (deleted)
      for (const model::SavedCell& c : deleted->cells) {
        CellRecord* rec = sheet.cells.findOrInsert(c.row, c.column);
        rec->input.assign(c.input);
        rec->formatIndex = c.formatIndex;
        rec->display.reset();
        rescan.emplace_back(e.sheetIndex, model::packCell(c.row, c.column));
      }
    model::put_back_texts(e.book, *e.undo, rescan);
  });
  sheet.scrollPaneRow = paneRow;
  sheet.scrollPaneColumn = paneColumn;
  if (!platform::withAllocationQuiet([&] { rescanAndRecalc(e.book, rescan); }))
    formula::forgetDependencies(e.book);
}

void nothingToPrepare() {}

// One structural edit, all or nothing: `prepare` (what a delete empties
// first), the rewritten references and the moved block. Every change is
// kept in the journal (the undo entry's, or one of its own) before it is
// made, so when memory runs out anywhere the workbook is put back as it was
// (the cells `deleted` names too) and false is returned.
template <class Prepare = void (*)()>
bool structuralEdit(Workbook& book, int sheetIndex, const CellRange& block, int dRow, int dColumn, bool moveContents,
                    StructuralUndo* undo, const model::SavedRange* deleted = nullptr,
                    const Prepare& prepare = nothingToPrepare) {
  StructuralUndo own;
  if (!undo && !platform::withAllocation([&] {
        model::save_names(own, book);
        own.sheets.push_back(model::save_sheet_records(book.sheet(sheetIndex)));
      }))
    return false;
  StructuralUndo* journal = undo ? undo : &own;
  journal->block = block;
  journal->rowOffset = dRow;
  journal->columnOffset = dColumn;
  journal->cellsMoved = moveContents;
  Edit e{book, sheetIndex, block, dRow, dColumn, journal, {}};
  Sheet& sheet = book.sheet(sheetIndex);
  const std::uint16_t paneRow = sheet.scrollPaneRow;
  const std::uint8_t paneColumn = sheet.scrollPaneColumn;
  bool cellsMoved = false;
  std::vector<std::pair<int, std::uint32_t>> rescan;
  const bool done = platform::withAllocation([&] {
    e.sheetSaved.assign(static_cast<size_t>(book.sheetCount()), false);
    // The command saved the edited sheet's records before its first change.
    for (const model::SavedSheetRecords& r : journal->sheets) {
      const int s = model::sheetIndexOfId(book, r.sheetId);
      if (s >= 0)
        e.sheetSaved[static_cast<size_t>(s)] = true;
    }
    prepare();
    rewriteCells(e, rescan);
    rewriteNames(e);
    rewriteRulesAndObjects(e);
    if (moveContents) {
      sheet.cells.moveBlock(block, dRow, dColumn);
      cellsMoved = true;
      moveRecords(e, sheet);
    }
    rescanAndRecalc(book, rescan);
  });
  if (!done) {
    rollBack(e, cellsMoved, deleted, paneRow, paneColumn);
    return false;
  }
  model::mark_modified(book);
  return true;
}

// Everything a structural command does before its first change: the entry
// with the deleted cells (when given), the edited sheet's records and the names.
StructuralUndo* recordEntry(Workbook& book, int sheetIndex, model::UndoAction action, const CellRange* deleted) {
  const bool pushed = deleted ? model::push_undo_range(book, sheetIndex, action, *deleted)
                              : model::push_undo(book, sheetIndex, action);
  if (!pushed)
    return nullptr;
  model::UndoEntry* entry = model::undoList().newest();
  const bool ok = platform::withAllocation([&] {
    auto u = std::make_unique<StructuralUndo>();
    model::save_names(*u, book);
    u->sheets.push_back(model::save_sheet_records(book.sheet(sheetIndex)));
    entry->structure = std::move(u);
  });
  if (!ok) {
    (void)model::undoList().popNewest();
    return nullptr;
  }
  return entry->structure.get();
}

bool anyCellIn(const Sheet& sheet, const CellRange& r) {
  bool found = false;
  sheet.cells.forEachIn(r, [&](const CellRecord&) { found = true; });
  return found;
}

bool objectReaches(const Sheet& sheet, const CellRange& r) {
  for (const model::DrawingObject& o : sheet.objects) {
    if (o.kind == model::kObjectComment && !o.visible)
      continue;
    const CellRange box{static_cast<std::uint16_t>(std::min(o.anchor.first.row, o.anchor.last.row)),
                        static_cast<std::uint8_t>(std::min<int>(std::min(o.anchor.first.column, o.anchor.last.column), 255)),
                        static_cast<std::uint16_t>(std::max(o.anchor.first.row, o.anchor.last.row)),
                        static_cast<std::uint8_t>(std::min<int>(std::max(o.anchor.first.column, o.anchor.last.column), 255))};
    if (box.intersects(r))
      return true;
  }
  return false;
}

bool insertCells(Workbook& book, int sheetIndex, const CellRange& range, bool down) {
  if (!isCellSheet(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  const bool whole = down ? spansWholeRows(range) : spansWholeColumns(range);
  const int n = down ? range.rowCount() : range.columnCount();
  const int limit = down ? model::kRowCount : model::kColumnCount;
  // The lines that would be pushed off the sheet must be empty.
  const CellRange tail = down ? CellRange{static_cast<std::uint16_t>(limit - n), range.firstColumn,
                                          static_cast<std::uint16_t>(model::kMaxRow), range.lastColumn}
                              : CellRange{range.firstRow, static_cast<std::uint8_t>(limit - n), range.lastRow,
                                          static_cast<std::uint8_t>(model::kMaxColumn)};
  if (n >= limit || anyCellIn(sheet, tail) || objectReaches(sheet, tail)) {
    refuse(!whole ? kMessageNoRoomCells : down ? kMessageNoRoomRows : kMessageNoRoomColumns);
    return false;
  }
  const CellRange block = down ? CellRange{range.firstRow, range.firstColumn, model::kMaxRow, range.lastColumn}
                               : CellRange{range.firstRow, range.firstColumn, range.lastRow, model::kMaxColumn};
  if (!model::guard_range(book, sheet, block, kStructureGuards))
    return false;
  const model::UndoAction action = !whole ? model::kUndoInsertCells
                                   : down ? model::kUndoInsertRows
                                          : model::kUndoInsertColumns;
  StructuralUndo* undo = recordEntry(book, sheetIndex, action, nullptr);
  if (!undo)
    return false;
  if (!structuralEdit(book, sheetIndex, block, down ? n : 0, down ? 0 : n, true, undo)) {
    (void)model::undoList().popNewest();
    return false;
  }
  model::undoList().remeasureNewest();
  return true;
}

bool deleteCells(Workbook& book, int sheetIndex, const CellRange& range, bool up, int lastMoved = model::kMaxRow) {
  if (!isCellSheet(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  const bool whole = up ? spansWholeRows(range) : spansWholeColumns(range);
  const int n = up ? range.rowCount() : range.columnCount();
  const bool toEdge = up ? range.lastRow >= lastMoved : range.lastColumn == model::kMaxColumn;
  const CellRange below = up ? CellRange{static_cast<std::uint16_t>(std::min(range.lastRow + 1, lastMoved)),
                                         range.firstColumn, static_cast<std::uint16_t>(lastMoved), range.lastColumn}
                             : CellRange{range.firstRow,
                                         static_cast<std::uint8_t>(std::min(range.lastColumn + 1, model::kMaxColumn)),
                                         range.lastRow, model::kMaxColumn};
  if (!model::guard_range(book, sheet, range, kStructureGuards) ||
      (!toEdge && !model::guard_range(book, sheet, below, kStructureGuards)))
    return false;
  if (!up && !model::guard_range(book, sheet, range, model::kGuardAutoFilterColumns))
    return false;
  const model::UndoAction action = up ? (whole ? model::kUndoDeleteRows : model::kUndoDeleteCells)
                                      : (whole ? model::kUndoDeleteColumns : model::kUndoDeleteCells);
  StructuralUndo* undo = recordEntry(book, sheetIndex, action, &range);
  if (!undo)
    return false;

  // The deleted cells go with what lies inside them, as a cut empties them;
  // a filter whose header row goes is turned off first.
  const auto empty = [&] {
    const model::AutoFilterState& f = sheet.autoFilter;
    if (up && (sheet.flags & model::kSheetAutoFilter) && f.firstRow >= range.firstRow && f.firstRow <= range.lastRow &&
        range.firstColumn <= f.lastColumn && f.firstColumn <= range.lastColumn) {
      model::removeAutoFilter(sheet);
    }
    std::vector<std::uint32_t> removed;
    emptyRangeContents(sheet, range, removed);
    if (whole && up)
      std::erase_if(sheet.rows.edit(),
                    [&](const model::RowRecord& r) { return r.row >= range.firstRow && r.row <= range.lastRow; });
    if (whole && !up)
      std::erase_if(sheet.columns.edit(), [&](const model::ColumnRecord& c) {
        return c.column >= range.firstColumn && c.column <= range.lastColumn;
      });
  };

  const model::SavedRange* deleted = model::undoList().newest()->snapshot ? &*model::undoList().newest()->snapshot
                                                                          : nullptr;
  bool done;
  if (!toEdge) {
    done = structuralEdit(book, sheetIndex, below, up ? -n : 0, up ? 0 : -n, true, undo, deleted, empty);
  } else {
    // Nothing moves; references into the deleted lines still go: the
    // deleted lines are rewritten as pushed off the sheet.
    const CellRange band = up ? CellRange{range.firstRow, range.firstColumn, range.lastRow, range.lastColumn}
                              : CellRange{range.firstRow, range.firstColumn, range.lastRow, model::kMaxColumn};
    const int offPast = up ? model::kMaxRow + 1 - range.firstRow : n;
    done = structuralEdit(book, sheetIndex, band, up ? offPast : 0, up ? 0 : offPast, false, undo, deleted, empty);
  }
  if (!done) {
    (void)model::undoList().popNewest();
    return false;
  }
  model::undoList().remeasureNewest();
  return true;
}

} // namespace

bool spansWholeRows(const CellRange& r) { return r.firstColumn == 0 && r.lastColumn == model::kMaxColumn; }
bool spansWholeColumns(const CellRange& r) { return r.firstRow == 0 && r.lastRow == model::kMaxRow; }

bool shift_block(Workbook& book, int sheetIndex, const CellRange& block, int rowOffset, int columnOffset,
                 StructuralUndo* undo) {
  if (!isCellSheet(book, sheetIndex) || (rowOffset == 0 && columnOffset == 0))
    return true;
  return structuralEdit(book, sheetIndex, block, rowOffset, columnOffset, true, undo);
}

bool insert_cells_down(Workbook& book, int sheetIndex, const CellRange& range) {
  return insertCells(book, sheetIndex, range, true);
}
bool insert_cells_right(Workbook& book, int sheetIndex, const CellRange& range) {
  return insertCells(book, sheetIndex, range, false);
}
bool delete_cells_up(Workbook& book, int sheetIndex, const CellRange& range) {
  return deleteCells(book, sheetIndex, range, true);
}
bool delete_cells_up_within(Workbook& book, int sheetIndex, const CellRange& range, int lastMoved) {
  return lastMoved >= range.lastRow && lastMoved <= model::kMaxRow && deleteCells(book, sheetIndex, range, true, lastMoved);
}
bool delete_cells_left(Workbook& book, int sheetIndex, const CellRange& range) {
  return deleteCells(book, sheetIndex, range, false);
}

void undo_structure(Workbook& book, int sheetIndex, const model::UndoEntry& entry) {
  if (!entry.structure)
    return;
  const StructuralUndo& u = *entry.structure;
  // Deleting a sheet keeps only texts: the sheet need not hold cells.
  const bool cells = u.cellsMoved || entry.snapshot;
  if (cells && !isCellSheet(book, sheetIndex))
    return;
  std::vector<std::pair<int, std::uint32_t>> rescan;
  (void)platform::withAllocation([&] {
    if (cells) {
      Sheet& sheet = book.sheet(sheetIndex);
      CellRange landed;
      if (u.cellsMoved && shiftedOnSheet(u.block, u.rowOffset, u.columnOffset, landed))
        sheet.cells.moveBlock(landed, -u.rowOffset, -u.columnOffset);
      if (entry.snapshot)
        for (const model::SavedCell& c : entry.snapshot->cells) {
          CellRecord* rec = sheet.cells.findOrInsert(c.row, c.column);
          rec->input.assign(c.input);
          rec->formatIndex = c.formatIndex;
          rec->display.reset();
          rescan.emplace_back(sheetIndex, model::packCell(c.row, c.column));
        }
    }
    model::put_back_texts(book, u, rescan);
  });
  recalcAfter(book, rescan);
}

} // namespace edit
