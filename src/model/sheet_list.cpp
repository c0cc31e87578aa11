#include "model/sheet_list.h"

#include "model/services.h"
#include "model/undo.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <string>

namespace model {
namespace {

void showMessage(std::u16string_view text) {
  platform::ui().messageBox(text, std::nullopt, platform::MessageButtons::Ok,
                            platform::MessageIcon::None);
}

void refreshSheetViews() {
  platform::ui().requestRepaint(platform::kRepaintTabs | platform::kRepaintGrid |
                                platform::kRepaintMenus);
}

// Rewrites the sheet index of every precedent entry that names another sheet;
// `remap` returns the new index, or -2 to drop the entry. Returns whether any
// entry was dropped.
template <class Remap> bool remapPrecedents(Workbook& book, Remap remap) {
  bool dropped = false;
  for (auto& sheet : book.sheets) {
    if (!sheet->hasGrid())
      continue;
    sheet->cells.forEach([&](CellRecord& cell) {
      if (!cell.precedents)
        return;
      auto& list = *cell.precedents;
      const size_t before = list.size();
      std::erase_if(list, [&](SheetRange& r) {
        if (r.sheet < 0)
          return false;
        const int to = remap(r.sheet);
        if (to == -2)
          return true;
        r.sheet = static_cast<std::int16_t>(to);
        return false;
      });
      if (list.size() != before) {
        dropped = true;
        cell.calcState = CalcState::NotValid;
      }
    });
  }
  return dropped;
}

// Names local to a sheet follow it when sheets come, go or move: `remap`
// gives a sheet's new 0-based index, or -2 for the sheet that goes, whose
// names go with it (into `journal` first, when given, to come back with
// it). Returns whether any name changed.
template <class Remap> bool remapNameScopes(Workbook& book, Remap remap, StructuralUndo* journal = nullptr) {
  bool changes = false;
  for (const DefinedName& n : book.names)
    changes |= n.sheetIndex > 0 && remap(n.sheetIndex - 1) != n.sheetIndex - 1;
  if (!changes)
    return false;
  if (journal && !journal->namesSaved) {
    save_names(*journal, book);
  }
  std::erase_if(book.names, [&](const DefinedName& n) { return n.sheetIndex > 0 && remap(n.sheetIndex - 1) == -2; });
  for (DefinedName& n : book.names)
    if (n.sheetIndex > 0)
      n.sheetIndex = remap(n.sheetIndex - 1) + 1;
  names_changed(book);
  return true;
}

// Takes back the texts a failed sheet command had rewritten, and scans
// their cells again, so the workbook reads as before the command.
void rollBackTexts(Workbook& book, const StructuralUndo& journal) {
  std::vector<std::pair<int, std::uint32_t>> cells;
  (void)platform::withAllocationQuiet([&] {
    put_back_texts(book, journal, cells);
    if (const auto& scan = modelServices().scanPrecedents)
      for (const auto& [s, p] : cells)
        if (CellRecord* c = cell_at(book.sheet(s), packedRow(p), packedColumn(p)))
          scan(book, s, *c);
  });
  if (modelServices().recalcAfterSheetChange)
    modelServices().recalcAfterSheetChange(book);
}

void runAutoMacro(Workbook& book, const std::optional<std::u16string>& sheetMacro,
                  const std::optional<std::u16string>& bookMacro) {
  const auto& runner = modelServices().runMacro;
  const std::optional<std::u16string>& name = sheetMacro ? sheetMacro : bookMacro;
  if (!runner || !name)
    return;
  for (const DefinedName& n : book.names)
    if (platform::equalsIgnoreCase(n.name, *name)) {
      runner(book, n.name, MacroCaller{});
      return;
    }
}

std::u16string_view kindPrefix(SheetKind kind) {
  switch (kind) {
  case SheetKind::Chart: return u"Chart";
  case SheetKind::Macro: return u"Macro";
  default: return u"Sheet";
  }
}

} // namespace

std::u16string defaultSheetName(const Workbook& book, SheetKind kind) {
  for (int n = 1;; ++n) {
    std::u16string name(kindPrefix(kind));
    for (char c : std::to_string(n))
      name += static_cast<char16_t>(c);
    if (find_sheet(book, name) < 0)
      return name;
  }
}

std::u16string_view checkSheetName(const Workbook& book, std::u16string_view name, int sheet) {
  // An empty or over-long name would not survive a save; both are refused
  // like a name with a character that sheet references cannot carry.
  if (name.empty() || name.size() > kMaxSheetNameLength ||
      name.find_first_of(u"*/:?\\") != std::u16string_view::npos)
    return kMessageInvalidSheetName;
  const int other = find_sheet(book, name);
  if (other >= 0 && other != sheet)
    return kMessageSheetNameNotUnique;
  return {};
}

bool insert_sheet(Workbook& book, int position, std::optional<std::u16string_view> name,
                  SheetKind kind, bool recordUndo) {
  if (book.sheetCount() >= kMaxSheets) {
    showMessage(kMessageNoRoomForSheet);
    return false;
  }
  if (name) {
    const std::u16string_view problem = checkSheetName(book, *name, -1);
    if (!problem.empty()) {
      showMessage(problem);
      return false;
    }
  }
  position = std::clamp(position, 0, book.sheetCount());
  const bool built = platform::withAllocation([&] {
    auto sheet = std::make_unique<Sheet>();
    sheet_init(*sheet, kind);
    sheet->name = name ? std::u16string(*name) : defaultSheetName(book, kind);
    book.sheets.reserve(book.sheets.size() + 1);
    book.sheets.insert(book.sheets.begin() + position, std::move(sheet));
  });
  ++book.structureGeneration;
  if (!built)
    return false;
  if (recordUndo) {
    // The entry names the new sheet, so it is recorded once the sheet
    // exists; when it cannot be, the sheet goes again and nothing happened.
    const UndoAction action = kind == SheetKind::Chart   ? kUndoInsertChart
                              : kind == SheetKind::Macro ? kUndoInsertMacroSheet
                                                         : kUndoInsertWorksheet;
    if (!push_undo(book, position, action)) {
      book.sheets.erase(book.sheets.begin() + position);
      ++book.structureGeneration;
      return false;
    }
  }
  book.activeSheet = position;
  remapNameScopes(book, [&](int s) { return s >= position ? s + 1 : s; });
  if (kind != SheetKind::Chart) {
    remapPrecedents(book, [&](int s) { return s >= position ? s + 1 : s; });
    // A reference to a sheet of this name that did not exist becomes valid.
    if (modelServices().rescanFormulasNaming)
      modelServices().rescanFormulasNaming(book, book.sheet(position).name);
  }
  refreshSheetViews();
  if (recordUndo)
    mark_modified(book);
  return true;
}

bool delete_active_sheet(Workbook& book) {
  const int index = book.activeSheet;
  if (index < 0 || index >= book.sheetCount())
    return false;
  bool otherVisible = false, otherWorksheet = false;
  for (int i = 0; i < book.sheetCount(); ++i) {
    if (i == index)
      continue;
    otherVisible |= book.sheet(i).hidden == 0;
    otherWorksheet |= book.sheet(i).kind == SheetKind::Worksheet;
  }
  if (!otherVisible || !otherWorksheet)
    return false;
  const SheetKind kind = book.sheet(index).kind;
  const UndoAction action = kind == SheetKind::Chart   ? kUndoDeleteChart
                            : kind == SheetKind::Macro ? kUndoDeleteMacroSheet
                                                       : kUndoDeleteWorksheet;
  if (!push_undo(book, index, action))
    return false;
  // The entry keeps the whole sheet (cells, objects, rules, page setup) and
  // the formula texts that narrowed their ranges of sheets, so undoing the
  // deletion can put all of it back as it was.
  UndoEntry* entry = undoList().newest();
  if (!platform::withAllocation([&] { entry->structure = std::make_unique<StructuralUndo>(); })) {
    (void)undoList().popNewest();
    return false;
  }
  StructuralUndo& journal = *entry->structure;
  std::unique_ptr<Sheet> detached;
  if (!platform::withAllocation([&] { detached = remove_sheet(book, index, &journal); })) {
    rollBackTexts(book, journal);
    (void)undoList().popNewest();
    return false;
  }
  if (journal.texts.empty() && journal.objectTexts.empty() && !journal.namesSaved)
    entry->structure.reset();
  keep_detached_sheet(std::move(detached));
  refreshSheetViews();
  mark_modified(book);
  return true;
}

std::unique_ptr<Sheet> remove_sheet(Workbook& book, int index, StructuralUndo* journal) {
  if (index < 0 || index >= book.sheetCount() || book.sheetCount() < 2)
    return nullptr;
  int next = next_visible_sheet(book, index, +1);
  if (next < 0)
    next = next_visible_sheet(book, index, -1);
  if (next < 0)
    next = index + 1 < book.sheetCount() ? index + 1 : index - 1;
  if (modelServices().sheetRemoving)
    modelServices().sheetRemoving(book, index, journal);
  const auto remap = [&](int s) {
    if (s == index)
      return -2;
    return s > index ? s - 1 : s;
  };
  // Before the sheet goes: keeping the names for undo may run out of memory.
  const bool namesGone = remapNameScopes(book, remap, journal);
  std::unique_ptr<Sheet> detached = std::move(book.sheets[static_cast<size_t>(index)]);
  book.sheets.erase(book.sheets.begin() + index);
  ++book.structureGeneration;
  if (book.activeSheet == index)
    book.activeSheet = next > index ? next - 1 : next;
  else if (book.activeSheet > index)
    --book.activeSheet;
  const bool dropped = remapPrecedents(book, remap) || namesGone;
  if (dropped && modelServices().recalcAfterSheetChange)
    modelServices().recalcAfterSheetChange(book);
  refreshSheetViews();
  return detached;
}

bool restore_sheet(Workbook& book, int index, std::unique_ptr<Sheet> sheet) {
  if (!sheet)
    return false;
  index = std::clamp(index, 0, book.sheetCount());
  if (!platform::withAllocation([&] { book.sheets.reserve(book.sheets.size() + 1); }))
    return false;
  // The sheet's own precedents already count it at `index`: only the
  // others move over.
  remapPrecedents(book, [&](int s) { return s >= index ? s + 1 : s; });
  // The sheet's own names come back with the names its deletion kept.
  remapNameScopes(book, [&](int s) { return s >= index ? s + 1 : s; });
  book.sheets.insert(book.sheets.begin() + index, std::move(sheet));
  ++book.structureGeneration;
  book.activeSheet = index;
  if (book.sheet(index).hasGrid() && modelServices().rescanFormulasNaming)
    modelServices().rescanFormulasNaming(book, book.sheet(index).name);
  refreshSheetViews();
  return true;
}

int next_visible_sheet(const Workbook& book, int from, int direction) {
  for (int i = from + direction; i >= 0 && i < book.sheetCount(); i += direction)
    if (book.sheet(i).hidden == 0)
      return i;
  return -1;
}

bool hide_sheet(Workbook& book, int index) {
  if (index < 0 || index >= book.sheetCount() || book.sheet(index).hidden)
    return false;
  int next = next_visible_sheet(book, index, +1);
  if (next < 0)
    next = next_visible_sheet(book, index, -1);
  if (next < 0)
    return false; // the last visible sheet stays visible
  if (!push_undo(book, index, kUndoHideSheet))
    return false;
  book.sheet(index).hidden = 1;
  if (book.activeSheet == index)
    activate_sheet(book, next);
  refreshSheetViews();
  mark_modified(book);
  return true;
}

bool unhide_sheet(Workbook& book, int index) {
  if (index < 0 || index >= book.sheetCount() || !book.sheet(index).hidden)
    return false;
  if (!push_undo(book, index, kUndoUnhideSheet))
    return false;
  book.sheet(index).hidden = 0;
  activate_sheet(book, index);
  refreshSheetViews();
  mark_modified(book);
  return true;
}

bool rename_active_sheet(Workbook& book, std::u16string_view name) {
  return rename_sheet(book, book.activeSheet, name);
}

bool rename_sheet(Workbook& book, int index, std::u16string_view name) {
  if (index < 0 || index >= book.sheetCount())
    return false;
  const std::u16string_view problem = checkSheetName(book, name, index);
  if (!problem.empty()) {
    showMessage(problem);
    return false;
  }
  Sheet& sheet = book.sheet(index);
  if (sheet.name == name)
    return true;
  std::u16string newName;
  if (!platform::withAllocation([&] { newName = name; }) || !push_undo(book, index, kUndoRenameSheet))
    return false;
  // Every text the rename rewrites is kept until it is done, so running out
  // of memory half way leaves all of them, and the name, as they were.
  StructuralUndo journal;
  sheet.name.swap(newName);
  const std::u16string& oldName = newName;
  const bool renamed = platform::withAllocation([&] {
    if (modelServices().renameSheetInFormulas)
      modelServices().renameSheetInFormulas(book, oldName, sheet.name, &journal);
  });
  if (!renamed) {
    sheet.name.swap(newName);
    rollBackTexts(book, journal);
    (void)undoList().popNewest();
    return false;
  }
  refreshSheetViews();
  mark_modified(book);
  return true;
}

void activate_sheet(Workbook& book, int index) {
  if (index < 0 || index >= book.sheetCount() || index == book.activeSheet)
    return;
  if (book.activeSheet >= 0 && book.activeSheet < book.sheetCount())
    runAutoMacro(book, book.active().deactivateMacro, book.deactivateMacro);
  book.activeSheet = index;
  refreshSheetViews();
  runAutoMacro(book, book.active().activateMacro, book.activateMacro);
}

bool move_active_sheet(Workbook& book, int before) {
  const int from = book.activeSheet;
  const int count = book.sheetCount();
  if (from < 0 || from >= count)
    return false;
  before = std::clamp(before, 0, count);
  const int to = before > from ? before - 1 : before;
  if (to == from)
    return false;
  std::vector<int> newIndex(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    int j = i;
    if (i == from)
      j = to;
    else if (from < to && i > from && i <= to)
      j = i - 1;
    else if (to < from && i >= to && i < from)
      j = i + 1;
    newIndex[static_cast<size_t>(i)] = j;
  }
  auto moving = std::move(book.sheets[static_cast<size_t>(from)]);
  book.sheets.erase(book.sheets.begin() + from);
  book.sheets.insert(book.sheets.begin() + to, std::move(moving));
  ++book.structureGeneration;
  book.activeSheet = to;
  remapPrecedents(book, [&](int s) { return s < count ? newIndex[static_cast<size_t>(s)] : s; });
  remapNameScopes(book, [&](int s) { return s < count ? newIndex[static_cast<size_t>(s)] : s; });
  // References through a range of sheets take in or leave out the sheet.
  if (book.sheet(to).hasGrid() && modelServices().rescanFormulasNaming)
    modelServices().rescanFormulasNaming(book, book.sheet(to).name);
  refreshSheetViews();
  mark_modified(book);
  return true;
}

bool copy_active_sheet(Workbook& book, int before) {
  const int from = book.activeSheet;
  if (from < 0 || from >= book.sheetCount())
    return false;
  const SheetKind kind = book.sheet(from).kind;
  // Copying contents needs the clipboard's paste-with-everything; without it
  // the copy would silently come out empty, so it is not made.
  if (kind != SheetKind::Chart && !modelServices().copySheetContents)
    return false;
  if (kind == SheetKind::Chart)
    return false; // chart descriptions are copied by the chart model, not built yet
  before = std::clamp(before, 0, book.sheetCount());
  if (!insert_sheet(book, before, std::nullopt, kind, false))
    return false;
  const int source = from >= before ? from + 1 : from;
  if (!modelServices().copySheetContents(book, source, before)) {
    // Take the empty sheet out again so a failed copy leaves no trace.
    book.sheets.erase(book.sheets.begin() + before);
    ++book.structureGeneration;
    // The names the copy had been given go with it.
    const auto remap = [&](int s) { return s == before ? -2 : s > before ? s - 1 : s; };
    remapPrecedents(book, remap);
    remapNameScopes(book, remap);
    book.activeSheet = from;
    refreshSheetViews();
    return false;
  }
  mark_modified(book);
  return true;
}

void set_tab_colour(Workbook& book, int index, std::uint8_t paletteIndex) {
  if (index < 0 || index >= book.sheetCount())
    return;
  book.sheet(index).tabColour = paletteIndex;
  refreshSheetViews();
  mark_modified(book);
}

} // namespace model
