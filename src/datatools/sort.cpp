#include "datatools/sort.h"

#include "datatools/autofilter.h"
#include "formula/recalc.h"
#include "formula/rewrite.h"
#include "model/auto_filter.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "platform/memory.h"

#include <algorithm>
#include <array>
#include <optional>

namespace datatools {

using model::CellRange;
using model::CellRecord;
using model::Sheet;
using model::Workbook;

namespace {

constexpr std::uint16_t kTextNumberFormat = 49;

// Ranks of the kinds in ascending order; the last two keep their place in
// both directions.
enum KeyRank { kNumber, kText, kBoolean, kError, kEmptyValue, kBlank };

bool isBlank(const CellRecord* c) { return !c || c->input.isNull() || c->input.size() == 0; }

KeyRank rankOf(const CellRecord* c) {
  if (isBlank(c))
    return kBlank;
  if (c->value.isNumber())
    return kNumber;
  if (c->value.isString())
    return kText;
  if (c->value.isBoolean())
    return kBoolean;
  if (c->value.isError())
    return kError;
  return kEmptyValue;
}

char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

int compareTexts(std::u16string_view a, std::u16string_view b, bool caseSensitive) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = caseSensitive ? a[i] : lowerAscii(a[i]);
    const char16_t y = caseSensitive ? b[i] : lowerAscii(b[i]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <class T> int order(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

bool sortable(const Workbook& book, int sheetIndex) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return false;
  const model::SheetKind k = book.sheet(sheetIndex).kind;
  return k == model::SheetKind::Worksheet || k == model::SheetKind::Macro;
}

bool nonEmpty(const Sheet& sheet, int row, int column) {
  if (row < 0 || row > model::kMaxRow || column < 0 || column > model::kMaxColumn)
    return false;
  const CellRecord* c = model::cell_at(sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  return !isBlank(c);
}

// A line of the block (a row, or a column when sorting columns) and the
// position along it.
struct Axis {
  bool byColumns;
  int lineOf(int row, int column) const { return byColumns ? column : row; }
  int alongOf(int row, int column) const { return byColumns ? row : column; }
  int row(int line, int along) const { return byColumns ? along : line; }
  int column(int line, int along) const { return byColumns ? line : along; }
};

// The block cut to the last line that holds a cell, a comment or a
// hyperlink: the lines after it are blank, compare equal and stay.
CellRange usedPart(const Sheet& sheet, const CellRange& range, const Axis& axis) {
  int last = -1;
  const auto note = [&](int row, int column) {
    if (range.contains(row, column))
      last = std::max(last, axis.lineOf(row, column));
  };
  sheet.cells.forEachIn(range, [&](const CellRecord& c) { note(c.row, c.column); });
  for (const model::Hyperlink& h : sheet.hyperlinks)
    note(model::packedRow(h.cell), model::packedColumn(h.cell));
  for (const model::DrawingObject& o : sheet.objects)
    if (o.kind == model::kObjectComment)
      note(o.row, o.column);
  CellRange out = range;
  const int first = axis.byColumns ? range.firstColumn : range.firstRow;
  last = std::max(last, first);
  if (axis.byColumns)
    out.lastColumn = static_cast<std::uint8_t>(last);
  else
    out.lastRow = static_cast<std::uint16_t>(last);
  return out;
}

struct Entry {
  std::array<const CellRecord*, 3> keys{};
  int line = 0; // before sorting
};

} // namespace

SortSettings& lastSortSettings() {
  static SortSettings settings;
  return settings;
}

int compareKeyCells(const CellRecord* a, const CellRecord* b, bool ascending, bool caseSensitive) {
  const KeyRank ra = rankOf(a), rb = rankOf(b);
  if (ra != rb) {
    if (ra >= kEmptyValue || rb >= kEmptyValue)
      return order(ra, rb);
    return ascending ? order(ra, rb) : order(rb, ra);
  }
  int c = 0;
  switch (ra) {
  case kNumber:
    c = order(a->value.numberValue(), b->value.numberValue());
    break;
  case kText:
    c = compareTexts(a->value.stringValue(), b->value.stringValue(), caseSensitive);
    break;
  case kBoolean:
    c = order(a->value.booleanValue(), b->value.booleanValue());
    break;
  default: // all errors are equal, as are empty values and blanks
    return 0;
  }
  return ascending ? c : -c;
}

bool sortRange(Workbook& book, const SortSettings& s) {
  if (!sortable(book, s.sheet))
    return false;
  Sheet& sheet = book.sheet(s.sheet);
  const Axis axis{s.byColumns};
  const CellRange& range = s.range;
  const int alongCount = s.byColumns ? range.rowCount() : range.columnCount();
  if (s.keys[0] < 0 || s.keys[0] >= alongCount)
    return false;

  if (!model::guard_range(book, sheet, range, model::kGuardProtection))
    return false;
  for (const CellRange& m : sheet.mergedRanges)
    if (m.intersects(range)) {
      model::showRefusal(model::GuardRefusal::MergedCells);
      return false;
    }
  // An array moved line by line would fall apart, even one inside the block.
  for (const model::ArrayFormulaRecord& a : sheet.arrayFormulas)
    if (a.range.intersects(range)) {
      model::showRefusal(model::GuardRefusal::ArrayPart);
      return false;
    }

  const CellRange used = usedPart(sheet, range, axis);
  if (!model::push_undo_range(book, s.sheet, model::kUndoSort, used))
    return false;
  // Under a filter the hidden rows are decided again after the move, and
  // undo must put back the ones it decided before.
  const bool refilter = (sheet.flags & model::kSheetAutoFilter) && model::autoFilterRange(sheet).intersects(range);
  if (refilter) {
    const model::AutoFilterState& f = sheet.autoFilter;
    const CellRange rows{static_cast<std::uint16_t>(std::min<int>(f.firstRow + 1, model::kMaxRow)), 0, f.lastRow,
                         static_cast<std::uint8_t>(model::kMaxColumn)};
    if (!model::save_auto_filter(book, s.sheet, rows))
      return false;
  }
  CellRange data = used;
  if (s.hasHeader) {
    if (s.byColumns)
      data.firstColumn = static_cast<std::uint8_t>(std::min<int>(data.firstColumn + 1, model::kMaxColumn));
    else
      data.firstRow = static_cast<std::uint16_t>(std::min<int>(data.firstRow + 1, model::kMaxRow));
  }
  const int firstLine = s.byColumns ? data.firstColumn : data.firstRow;
  const int lastLine = s.byColumns ? used.lastColumn : used.lastRow;
  const int lineCount = lastLine - firstLine + 1;
  if (lineCount < 2)
    return true;
  const int firstAlong = s.byColumns ? range.firstRow : range.firstColumn;

  std::vector<std::uint32_t> changed;
  const bool ok = platform::withAllocation([&] {
    std::vector<Entry> entries(static_cast<size_t>(lineCount));
    for (int i = 0; i < lineCount; ++i) {
      Entry& e = entries[static_cast<size_t>(i)];
      e.line = firstLine + i;
      for (int k = 0; k < 3; ++k) {
        if (s.keys[k] < 0 || s.keys[k] >= alongCount)
          continue;
        const int along = firstAlong + s.keys[k];
        CellRecord* c = model::cell_at(sheet, static_cast<std::uint16_t>(axis.row(e.line, along)),
                                       static_cast<std::uint8_t>(axis.column(e.line, along)));
        if (c && c->calcState == model::CalcState::NotValid)
          formula::computeCell(book, s.sheet, *c);
        e.keys[static_cast<size_t>(k)] = c;
      }
    }
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      for (size_t k = 0; k < 3; ++k) {
        if (s.keys[k] < 0 || s.keys[k] >= alongCount)
          continue;
        const int c = compareKeyCells(a.keys[k], b.keys[k], s.ascending[k], s.caseSensitive);
        if (c != 0)
          return c < 0;
      }
      return false;
    });
    std::vector<int> newLine(static_cast<size_t>(lineCount));
    for (int i = 0; i < lineCount; ++i)
      newLine[static_cast<size_t>(entries[static_cast<size_t>(i)].line - firstLine)] = firstLine + i;
    entries.clear();
    entries.shrink_to_fit();
    const auto moves = [&](int line) { return newLine[static_cast<size_t>(line - firstLine)] != line; };
    const auto lineAt = [&](int row, int column) { return axis.lineOf(row, column); };

    // The records of the lines that move change places in the table,
    // keeping their values; only moved formulas are read again, with their
    // relative references shifted by the distance moved.
    const auto destination = [&](const CellRecord& c) {
      int row = c.row, column = c.column;
      if (data.contains(row, column)) {
        const int line = lineAt(row, column);
        (s.byColumns ? column : row) = newLine[static_cast<size_t>(line - firstLine)];
      }
      return (static_cast<std::uint32_t>(row) << 8) | static_cast<std::uint32_t>(column); // the table's key
    };
    std::vector<std::pair<CellRecord*, std::u16string>> formulas;
    sheet.cells.forEachIn(data, [&](CellRecord& c) {
      const int line = lineAt(c.row, c.column);
      if (!moves(line))
        return;
      changed.push_back(model::packCell(c.row, c.column));
      if (!c.isFormula)
        return;
      const int to = newLine[static_cast<size_t>(line - firstLine)];
      const int dRow = s.byColumns ? 0 : to - line, dColumn = s.byColumns ? to - line : 0;
      std::optional<std::u16string> shifted =
          formula::rewriteFormula(formula::RewriteMode::Offset, book, s.sheet, c.input.view(), {}, dRow, dColumn);
      if (!shifted)
        throw std::bad_alloc();
      formulas.emplace_back(&c, std::move(*shifted));
    });
    // Hyperlinks follow their cells.
    const auto linkMoves = [&](const model::Hyperlink& h) {
      const int row = model::packedRow(h.cell), column = model::packedColumn(h.cell);
      return data.contains(row, column) && moves(lineAt(row, column));
    };
    std::vector<model::Hyperlink> links;
    for (const model::Hyperlink& h : sheet.hyperlinks) {
      if (!linkMoves(h))
        continue;
      const int row = model::packedRow(h.cell), column = model::packedColumn(h.cell);
      const int to = newLine[static_cast<size_t>(lineAt(row, column) - firstLine)];
      links.push_back({model::packCell(static_cast<std::uint16_t>(s.byColumns ? row : to),
                                       static_cast<std::uint8_t>(s.byColumns ? to : column)),
                       h.target});
    }
    sheet.hyperlinks.reserve(sheet.hyperlinks.size() + links.size());
    changed.reserve(2 * changed.size());
    const std::uint16_t firstRow = s.byColumns ? data.firstRow : static_cast<std::uint16_t>(firstLine);
    const std::uint16_t lastRow = s.byColumns ? data.lastRow : static_cast<std::uint16_t>(lastLine);
    if (!sheet.cells.rekeyRows(firstRow, lastRow, destination))
      throw std::bad_alloc(); // a permutation of lines: cannot happen
    std::erase_if(sheet.hyperlinks, linkMoves);
    const size_t before = changed.size();
    for (size_t i = 0; i < before; ++i) {
      const std::uint32_t key = changed[i];
      const int row = model::packedRow(key), column = model::packedColumn(key);
      const int line = lineAt(row, column);
      const int to = newLine[static_cast<size_t>(line - firstLine)];
      changed.push_back(model::packCell(static_cast<std::uint16_t>(s.byColumns ? row : to),
                                        static_cast<std::uint8_t>(s.byColumns ? to : column)));
    }
    for (auto& [c, text] : formulas) {
      c->input.assign(text);
      // A formula stays one: one a file put in a text-formatted cell too.
      const bool textFormat = c->formatIndex < book.cellFormats.size() &&
                              book.cellFormats[c->formatIndex].numberFormatIndex == kTextNumberFormat;
      formula::scanCell(book, s.sheet, *c, textFormat);
      c->calcState = model::CalcState::NotValid;
      c->display.reset();
    }

    sheet.hyperlinks.insert(sheet.hyperlinks.end(), links.begin(), links.end());
    // Comments follow their cells.
    for (model::DrawingObject& o : sheet.objects) {
      if (o.kind != model::kObjectComment || !data.contains(o.row, o.column) || !moves(lineAt(o.row, o.column)))
        continue;
      const int line = lineAt(o.row, o.column);
      const int d = newLine[static_cast<size_t>(line - firstLine)] - line;
      const auto shift = [&](std::uint16_t& v, int limit) { v = static_cast<std::uint16_t>(std::clamp(v + d, 0, limit)); };
      if (s.byColumns) {
        o.column = static_cast<std::uint8_t>(o.column + d);
        shift(o.anchor.first.column, model::kMaxColumn);
        shift(o.anchor.last.column, model::kMaxColumn);
      } else {
        o.row = static_cast<std::uint16_t>(o.row + d);
        shift(o.anchor.first.row, model::kMaxRow);
        shift(o.anchor.last.row, model::kMaxRow);
      }
    }
  });
  // Each place once: a bit per cell of the sheet (2 MB) costs less than
  // sorting a million places.
  (void)platform::withAllocation([&] {
    std::vector<std::uint64_t> seen((size_t{model::kMaxRow} + 1) * (model::kMaxColumn + 1) / 64);
    std::erase_if(changed, [&](std::uint32_t key) {
      std::uint64_t& word = seen[key / 64];
      const std::uint64_t bit = std::uint64_t{1} << (key % 64);
      const bool again = (word & bit) != 0;
      word |= bit;
      return again;
    });
  });
  model::fitRowsOfRange(book, s.sheet, data);
  if (refilter)
    applyFilters(book, s.sheet);
  model::mark_modified(book);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, s.sheet, changed); });
  return ok;
}

CellRange currentRegion(const Sheet& sheet, int row, int column) {
  int r1 = row, r2 = row, c1 = column, c2 = column;
  const auto anyInRow = [&](int r, int from, int to) {
    for (int c = std::max(from, 0); c <= std::min(to, int{model::kMaxColumn}); ++c)
      if (nonEmpty(sheet, r, c))
        return true;
    return false;
  };
  const auto anyInColumn = [&](int c, int from, int to) {
    for (int r = std::max(from, 0); r <= std::min(to, int{model::kMaxRow}); ++r)
      if (nonEmpty(sheet, r, c))
        return true;
    return false;
  };
  // Rows grow as far as they go before a column is looked at: a column scan
  // costs the block's height, so growing a line at a time in every
  // direction would cost the height squared on a tall list.
  for (bool grew = true; grew;) {
    grew = false;
    while (r1 > 0 && anyInRow(r1 - 1, c1 - 1, c2 + 1))
      --r1, grew = true;
    while (r2 < model::kMaxRow && anyInRow(r2 + 1, c1 - 1, c2 + 1))
      ++r2, grew = true;
    while (c1 > 0 && anyInColumn(c1 - 1, r1 - 1, r2 + 1))
      --c1, grew = true;
    while (c2 < model::kMaxColumn && anyInColumn(c2 + 1, r1 - 1, r2 + 1))
      ++c2, grew = true;
  }
  return {static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1), static_cast<std::uint16_t>(r2),
          static_cast<std::uint8_t>(c2)};
}

bool guessHeader(Workbook& book, int sheetIndex, const CellRange& range, bool byColumns) {
  if (!sortable(book, sheetIndex))
    return false;
  const Sheet& sheet = book.sheet(sheetIndex);
  const Axis axis{byColumns};
  const int firstLine = byColumns ? range.firstColumn : range.firstRow;
  const int lastLine = byColumns ? range.lastColumn : range.lastRow;
  const int firstAlong = byColumns ? range.firstRow : range.firstColumn;
  const int lastAlong = byColumns ? range.lastRow : range.lastColumn;
  // 1: all numbers, 2: all text, 0: anything else.
  const auto kindOf = [&](int line) {
    int kind = -1;
    for (int along = firstAlong; along <= lastAlong; ++along) {
      CellRecord* c = model::cell_at(sheet, static_cast<std::uint16_t>(axis.row(line, along)),
                                     static_cast<std::uint8_t>(axis.column(line, along)));
      if (c && c->calcState == model::CalcState::NotValid)
        formula::computeCell(book, sheetIndex, *c);
      const int k = isBlank(c) ? 0 : c->value.isNumber() ? 1 : c->value.isString() ? 2 : 0;
      if (kind >= 0 && k != kind)
        return 0;
      if (k == 0)
        return 0;
      kind = k;
    }
    return std::max(kind, 0);
  };
  if (lastLine <= firstLine)
    return false;
  return kindOf(firstLine) != kindOf(firstLine + 1);
}

} // namespace datatools
