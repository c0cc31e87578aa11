#include "edit/clipboard.h"

#include "formula/recalc.h"
#include "formula/rewrite.h"
#include "model/range_guard.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <iterator>

namespace edit {

using model::CellRange;
using model::Sheet;
using model::Workbook;

namespace {

constexpr unsigned kPasteGuards = model::kGuardProtection | model::kGuardArrayPart | model::kGuardMergedPart;

bool isGridKind(const Sheet& s) {
  return s.kind == model::SheetKind::Worksheet || s.kind == model::SheetKind::Macro;
}

const Workbook* openWorkbook(const model::WorkbookList& books, std::uint64_t id) {
  for (int i = 0; i < books.count(); ++i)
    if (books.at(i).id == id)
      return &books.at(i);
  return nullptr;
}

// The snapshot can be used while its workbook is open and its marker is
// still on the system clipboard.
bool snapshotUsable(const model::WorkbookList& books, const platform::WindowServices& window) {
  const InternalClipboard& c = internalClipboard();
  return c.valid && window.clipboardHasMarker() && openWorkbook(books, c.sourceWorkbook) != nullptr;
}

bool needsQuotes(std::u16string_view t) {
  return t.find_first_of(u"\t\"\r\n") != std::u16string_view::npos;
}

void appendField(std::u16string& out, std::u16string_view t) {
  if (!needsQuotes(t)) {
    out += t;
    return;
  }
  out += u'"';
  for (const char16_t ch : t) {
    if (ch == u'"')
      out += u'"';
    out += ch;
  }
  out += u'"';
}

void extendSelectionTo(Sheet& sheet, const CellRange& r) {
  sheet.selectionFirst = model::packCell(r.firstRow, r.firstColumn);
  sheet.selectionLast = model::packCell(r.lastRow, r.lastColumn);
  if (!r.contains(sheet.activeRow, sheet.activeColumn)) {
    sheet.activeRow = r.firstRow;
    sheet.activeColumn = r.firstColumn;
  }
}

void refuse(std::u16string_view message) {
  (void)platform::ui().messageBox(message, kPasteCaption, platform::MessageButtons::Ok,
                                  platform::MessageIcon::None);
}

// Empties a cut range: its cells, the arrays and merged ranges inside it,
// the comments anchored in it, its hyperlinks, and its part of the rules.
void emptyRange(Workbook& book, int sheetIndex, const CellRange& range) {
  std::vector<std::uint32_t> removed;
  emptyRangeContents(book.sheet(sheetIndex), range, removed);
  model::fitRowsOfRange(book, sheetIndex, range);
  formula::propagateChanges(book, sheetIndex, removed);
}

// The copy gets names of its own for the source sheet's local names, of the
// same texts; where a definition names the source sheet it names the copy,
// so that the copy's formulas compute with the copy's cells.
bool copyLocalNames(Workbook& book, int from, int to) {
  const std::u16string& sourceName = book.sheet(from).name;
  const std::u16string& copyName = book.sheet(to).name;
  const std::u16string& separator = platform::localeStrings().listSeparator;
  const char16_t ls = separator.empty() ? u',' : separator[0];
  const auto repoint = [&](formula::SheetQualifierNames& names) {
    if (names.isRange || !platform::equalsIgnoreCase(names.first, sourceName))
      return false;
    names.first = copyName;
    return true;
  };
  size_t added = 0;
  const bool ok = platform::withAllocation([&] {
    std::vector<model::DefinedName> copies;
    for (const model::DefinedName& n : book.names) {
      if (n.sheetIndex != from + 1)
        continue;
      model::DefinedName copy = n;
      copy.sheetIndex = to + 1;
      bool changed = false;
      std::u16string repointed = formula::renameSheetQualifiers(n.formula, ls, repoint, changed);
      if (changed) {
        copy.formula = std::move(repointed);
        copy.fileBytes.clear();
      }
      copies.push_back(std::move(copy));
    }
    book.names.reserve(book.names.size() + copies.size());
    added = copies.size();
    std::move(copies.begin(), copies.end(), std::back_inserter(book.names));
  });
  if (added > 0)
    model::names_changed(book);
  return ok;
}

bool copySheetContents(Workbook& book, int from, int to) {
  if (from < 0 || to < 0 || from >= book.sheetCount() || to >= book.sheetCount())
    return false;
  const CellRange all{0, 0, model::kMaxRow, model::kMaxColumn};
  model::SavedRange clip;
  if (!platform::withAllocation([&] { clip = model::snapshot_range(book, from, all, false); }))
    return false;
  const Sheet& source = book.sheet(from);
  Sheet& target = book.sheet(to);
  if (!platform::withAllocation([&] {
        target.rows = source.rows;
        target.columns = source.columns;
        target.flags = source.flags;
        target.defaultColumnWidth = source.defaultColumnWidth;
        target.defaultRowHeight = source.defaultRowHeight;
        target.pageSetup = source.pageSetup;
        target.zoom = source.zoom;
        target.objects = source.objects;
      }))
    return false;
  // Before the cells, whose formulas find the copy's names as they go in.
  if (!copyLocalNames(book, from, to))
    return false;
  return paste_snapshot(book, to, clip, all, &book, PasteOptions{});
}

} // namespace

InternalClipboard& internalClipboard() {
  static InternalClipboard clipboard;
  return clipboard;
}

void free_clipboard() { internalClipboard() = InternalClipboard{}; }

CellRange selectionOf(const Sheet& s) {
  const int r1 = model::packedRow(s.selectionFirst), r2 = model::packedRow(s.selectionLast);
  const int c1 = model::packedColumn(s.selectionFirst), c2 = model::packedColumn(s.selectionLast);
  return {static_cast<std::uint16_t>(std::min(r1, r2)), static_cast<std::uint8_t>(std::min(c1, c2)),
          static_cast<std::uint16_t>(std::max(r1, r2)), static_cast<std::uint8_t>(std::max(c1, c2))};
}

Destination destinationFor(const CellRange& sel, int clipRows, int clipColumns) {
  Destination d;
  d.range = sel;
  // Each axis alone: one cell takes the clip's length, a longer selection
  // must match it unless the clip is one line long there (it repeats).
  const auto axis = [&](int first, int selLength, int clipLength, int maxIndex, int& last) {
    if (selLength == 1) {
      if (first + clipLength - 1 > maxIndex)
        return kMessageNoRoomToPaste;
      last = first + clipLength - 1;
      return std::u16string_view();
    }
    if (selLength != clipLength && clipLength != 1)
      return kMessageDifferentSize;
    return std::u16string_view();
  };
  int lastRow = sel.lastRow, lastColumn = sel.lastColumn;
  d.refusal = axis(sel.firstRow, sel.rowCount(), clipRows, model::kMaxRow, lastRow);
  if (d.refusal.empty())
    d.refusal = axis(sel.firstColumn, sel.columnCount(), clipColumns, model::kMaxColumn, lastColumn);
  d.range.lastRow = static_cast<std::uint16_t>(lastRow);
  d.range.lastColumn = static_cast<std::uint8_t>(lastColumn);
  return d;
}

std::u16string clipboardTextOf(const model::SavedRange& s, bool showFormulas) {
  std::u16string out;
  const CellRange& r = s.range;
  // Whole columns give the rows they use, not 65,536 empty lines.
  int lastRow = r.lastRow;
  if (r.firstRow == 0 && r.lastRow == model::kMaxRow)
    lastRow = s.cells.empty() ? -1 : s.cells.back().row;
  size_t i = 0;
  for (int row = r.firstRow; row <= lastRow; ++row) {
    int tabs = 0; // fields are joined by tabs: the field of column c follows c - first of them
    for (; i < s.cells.size() && s.cells[i].row == row; ++i) {
      const model::SavedCell& c = s.cells[i];
      const std::u16string_view text = showFormulas ? std::u16string_view(c.input) : std::u16string_view(c.display);
      if (text.empty())
        continue;
      for (; tabs < c.column - r.firstColumn; ++tabs)
        out += u'\t';
      appendField(out, text);
    }
    out += u"\r\n";
  }
  return out;
}

std::vector<std::vector<std::u16string>> parseClipboardText(std::u16string_view t) {
  std::vector<std::vector<std::u16string>> rows;
  if (t.empty())
    return rows;
  std::vector<std::u16string> row;
  std::u16string field;
  size_t i = 0;
  bool rowOpen = false;
  while (i < t.size()) {
    rowOpen = true;
    if (field.empty() && t[i] == u'"') {
      // A quoted field: doubled quotes are one, line ends are kept as LF.
      ++i;
      while (i < t.size()) {
        if (t[i] == u'"') {
          if (i + 1 < t.size() && t[i + 1] == u'"') {
            field += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (t[i] == u'\r') {
          field += u'\n';
          i += (i + 1 < t.size() && t[i + 1] == u'\n') ? 2 : 1;
          continue;
        }
        field += t[i++];
      }
      continue;
    }
    const char16_t ch = t[i];
    if (ch == u'\t') {
      row.push_back(std::move(field));
      field.clear();
      ++i;
    } else if (ch == u'\r' || ch == u'\n') {
      row.push_back(std::move(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
      rowOpen = false;
      i += (ch == u'\r' && i + 1 < t.size() && t[i + 1] == u'\n') ? 2 : 1;
    } else {
      field += ch;
      ++i;
    }
  }
  if (rowOpen) {
    row.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

bool copy_range(Workbook& book, int sheetIndex, const CellRange& range, platform::WindowServices& window) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount() || !isGridKind(book.sheet(sheetIndex)))
    return false;
  free_clipboard();
  InternalClipboard& c = internalClipboard();
  std::u16string text;
  const bool showFormulas = (book.sheet(sheetIndex).flags & model::kSheetShowFormulas) != 0;
  if (!platform::withAllocation([&] {
        c.snapshot = model::snapshot_range(book, sheetIndex, range, true);
        text = clipboardTextOf(c.snapshot, showFormulas);
      })) {
    free_clipboard();
    return false;
  }
  c.valid = true;
  c.sourceWorkbook = book.id;
  c.sourceSheet = book.sheet(sheetIndex).id;
  c.outlined = true;
  window.setClipboardCells(text);
  platform::ui().requestRepaint(platform::kRepaintGrid);
  return true;
}

bool cut_range(Workbook& book, int sheetIndex, const CellRange& range, platform::WindowServices& window) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount() || !isGridKind(book.sheet(sheetIndex)))
    return false;
  const Sheet& sheet = book.sheet(sheetIndex);
  if (!model::guard_range(book, sheet, range, kPasteGuards))
    return false;
  if (!copy_range(book, sheetIndex, range, window))
    return false;
  if (!model::push_undo_range(book, sheetIndex, model::kUndoCut, range))
    return false;
  internalClipboard().cut = true;
  // The outline stays until the cut is pasted, though the cells are gone.
  emptyRange(book, sheetIndex, range);
  model::mark_modified(book);
  return true;
}

bool paste_text(Workbook& book, int sheetIndex, std::u16string_view text, bool extendSelection) {
  const std::vector<std::vector<std::u16string>> rows = parseClipboardText(text);
  if (rows.empty())
    return false;
  size_t columns = 0;
  for (const auto& r : rows)
    columns = std::max(columns, r.size());
  if (rows.size() > static_cast<size_t>(model::kRowCount) || columns > static_cast<size_t>(model::kColumnCount)) {
    refuse(kMessageNoRoomToPaste);
    return false;
  }
  Sheet& sheet = book.sheet(sheetIndex);
  const Destination d = destinationFor(selectionOf(sheet), static_cast<int>(rows.size()), static_cast<int>(columns));
  if (!d.refusal.empty()) {
    refuse(d.refusal);
    return false;
  }
  const CellRange& dest = d.range;
  if (!model::guard_range(book, sheet, dest, kPasteGuards))
    return false;
  if (!model::push_undo_range(book, sheetIndex, model::kUndoPaste, dest))
    return false;
  std::erase_if(sheet.arrayFormulas, [&](const model::ArrayFormulaRecord& a) {
    return a.range.firstRow >= dest.firstRow && a.range.lastRow <= dest.lastRow &&
           a.range.firstColumn >= dest.firstColumn && a.range.lastColumn <= dest.lastColumn;
  });
  std::erase_if(sheet.hyperlinks, [&](const model::Hyperlink& h) {
    return dest.contains(model::packedRow(h.cell), model::packedColumn(h.cell));
  });
  std::vector<std::uint32_t> changed;
  const int clipRows = static_cast<int>(rows.size()), clipColumns = static_cast<int>(columns);
  const bool ok = platform::withAllocation([&] {
    for (int r = dest.firstRow; r <= dest.lastRow; ++r) {
      const auto& fields = rows[static_cast<size_t>((r - dest.firstRow) % clipRows)];
      for (int c = dest.firstColumn; c <= dest.lastColumn; ++c) {
        const size_t f = static_cast<size_t>((c - dest.firstColumn) % clipColumns);
        const std::u16string_view field = f < fields.size() ? std::u16string_view(fields[f]) : std::u16string_view();
        const auto row = static_cast<std::uint16_t>(r);
        const auto column = static_cast<std::uint8_t>(c);
        const model::CellRecord* existing = sheet.cells.at(row, column);
        if (field.empty()) {
          if (!existing)
            continue;
          if (existing->formatIndex == model::column_record(sheet, column).formatIndex) {
            sheet.cells.erase(sheet.cells.find(row, column).position);
            changed.push_back(model::packCell(row, column));
            continue;
          }
        }
        const std::uint16_t format = existing ? existing->formatIndex : model::column_record(sheet, column).formatIndex;
        if (!model::set_cell(book, sheetIndex, row, column, field, format, false, false))
          throw std::bad_alloc();
        changed.push_back(model::packCell(row, column));
      }
    }
  });
  model::fitRowsOfRange(book, sheetIndex, dest);
  model::mark_modified(book);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, sheetIndex, changed); });
  if (extendSelection)
    extendSelectionTo(sheet, dest);
  return ok;
}

bool paste(model::WorkbookList& books, platform::WindowServices& window, const PasteOptions& options,
           bool extendSelection) {
  Workbook* book = books.active();
  if (!book || book->activeSheet < 0 || book->activeSheet >= book->sheetCount())
    return false;
  const bool usable = snapshotUsable(books, window);
  if (!usable && internalClipboard().valid)
    free_clipboard();
  return paste_into(*book, book->activeSheet,
                    usable ? openWorkbook(books, internalClipboard().sourceWorkbook) : nullptr, window,
                    options, extendSelection);
}

bool paste_into(Workbook& book, int sheetIndex, const Workbook* source, platform::WindowServices& window,
                const PasteOptions& options, bool extendSelection) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  if (!isGridKind(sheet))
    return false;
  const InternalClipboard& clip = internalClipboard();
  if (!source || !clip.valid) {
    const std::u16string text = window.clipboardText();
    return !text.empty() && paste_text(book, sheetIndex, text, extendSelection);
  }
  const Destination d = destinationFor(selectionOf(sheet), clip.snapshot.range.rowCount(),
                                       clip.snapshot.range.columnCount());
  if (!d.refusal.empty()) {
    refuse(d.refusal);
    return false;
  }
  if (!model::guard_range(book, sheet, d.range, kPasteGuards))
    return false;
  if (!model::push_undo_range(book, sheetIndex, model::kUndoPaste, d.range))
    return false;
  const bool ok = paste_snapshot(book, sheetIndex, clip.snapshot, d.range, source, options);
  if (extendSelection)
    extendSelectionTo(sheet, d.range);
  platform::ui().requestRepaint(platform::kRepaintGrid);
  return ok;
}

bool clipboard_can_paste(const model::WorkbookList& books, const Sheet* sheet, const platform::WindowServices& window) {
  if (!sheet)
    return false;
  const bool cells = (sheet->kind == model::SheetKind::Worksheet && sheet->selectedObject < 0) ||
                     sheet->kind == model::SheetKind::Macro;
  return cells && (snapshotUsable(books, window) || !window.clipboardText().empty());
}

bool clipboard_has_snapshot(const model::WorkbookList& books, const platform::WindowServices& window) {
  return snapshotUsable(books, window);
}

std::optional<CellRange> copiedOutline(const Workbook& book, int sheetIndex, const platform::WindowServices& window) {
  const InternalClipboard& c = internalClipboard();
  if (!c.valid || !c.outlined || c.sourceWorkbook != book.id || sheetIndex < 0 || sheetIndex >= book.sheetCount() ||
      book.sheet(sheetIndex).id != c.sourceSheet || !window.clipboardHasMarker())
    return std::nullopt;
  return c.snapshot.range;
}

void installClipboardServices() { model::modelServices().copySheetContents = copySheetContents; }

} // namespace edit
