#include "app/menu_state.h"

#include "app/command_table.h"
#include "app/drawing_commands.h"
#include "app/menu_table.h"
#include "app/navigation.h"
#include "edit/clipboard.h"
#include "fileformats/open_save.h"
#include "model/undo.h"

namespace app {
namespace {

constexpr int kFirstRecentCommand = 118;

// What the rules look at, gathered once per menu.
struct Conditions {
  model::Workbook* book = nullptr;
  model::Sheet* sheet = nullptr; // the active sheet, or null
  bool grid = false;             // worksheet or macro sheet
  bool worksheet = false;
  bool macro = false;
  bool chart = false;
  bool objectSelected = false;
  bool chartObjectSelected = false;
};

bool ask(const std::function<bool(const model::Sheet&)>& q, const model::Sheet* s) {
  return s && q && q(*s);
}

// The rule delete_active_sheet applies: another sheet is visible and another
// is a worksheet.
bool sheetDeletionAllowed(const model::Workbook& book) {
  bool otherVisible = false, otherWorksheet = false;
  for (int i = 0; i < book.sheetCount(); ++i) {
    if (i == book.activeSheet)
      continue;
    otherVisible |= book.sheet(i).hidden == 0;
    otherWorksheet |= book.sheet(i).kind == model::SheetKind::Worksheet;
  }
  return otherVisible && otherWorksheet;
}

// Whole rows or whole columns: structural edits need no dialog then.
bool selectionIsWholeLines(const model::Sheet& sheet) {
  const model::CellRange r = selection(sheet);
  return r.rowCount() == model::kRowCount || r.columnCount() == model::kColumnCount;
}

int zoomOfCommand(int id) {
  switch (id) {
  case 205:
    return 75;
  case 206:
    return 100;
  case 207:
    return 150;
  case 208:
    return 200;
  default:
    return 0;
  }
}

void applyRules(const Conditions& c, const App& app, int id, MenuItemState& item) {
  const bool book = c.book != nullptr;
  const bool cells = c.grid && !c.objectSelected;
  const std::uint32_t flags = c.sheet ? c.sheet->flags : 0;
  switch (id) {
  case 110:
  case 111:
  case 127:
    item.enabled = true;
    return;
  case 130: {
    const std::optional<std::u16string> label = model::undoList().newestLabel();
    item.text = undo_menu_text(label);
    item.enabled = book && label.has_value();
    return;
  }
  case 131:
  case 132:
    // Copy on a chart sheet puts the chart's picture on the clipboard.
    item.enabled = (c.worksheet && !c.objectSelected) || c.macro || (c.objectSelected && can_copy_selected_object(c.sheet)) ||
                   (id == 132 && c.chart);
    return;
  case 133:
    item.enabled = book && (edit::clipboard_can_paste(app.books, c.sheet, app.window) || can_paste_object(c.sheet, app.window));
    return;
  case 134:
    item.enabled = book && edit::clipboard_can_paste(app.books, c.sheet, app.window) &&
                   edit::clipboard_has_snapshot(app.books, app.window);
    return;
  case 144:
  case 160: {
    const bool whole = c.grid && selectionIsWholeLines(*c.sheet);
    if (id == 144)
      item.text = whole ? u"删除(&D)" : u"删除…(&D)";
    else
      item.text = whole ? u"单元格(&E)" : u"单元格…(&E)";
    // Delete also deletes a selected object.
    item.enabled = cells || (id == 144 && c.objectSelected);
    return;
  }
  case 145:
    item.enabled = book && sheetDeletionAllowed(*c.book);
    return;
  case 147:
  case 148:
  case 149:
    item.enabled = c.grid;
    return;
  case 164:
  case 165:
    // A chart is built from the selection of a worksheet.
    item.enabled = id == 164 ? book : cells;
    return;
  case 190:
    // On a chart sheet or a selected chart it edits the chart.
    item.enabled = cells || (c.objectSelected && can_format_selected_object(c.sheet)) || c.chart;
    return;
  case 172: case 173: case 174: case 175: case 176: case 177: case 178: case 179: case 180:
  case 181:
  case 182:
  case 183:
  case 184:
    item.enabled = c.worksheet;
    return;
  case 169:
    item.text = c.grid && model::commentAt(*c.sheet, c.sheet->activeRow, c.sheet->activeColumn) >= 0
                    ? u"编辑批注(&M)"
                    : u"批注(&M)";
    item.enabled = cells;
    return;
  case 203:
    item.enabled = c.grid;
    item.checked = c.grid && (flags & model::kSheetShowGridlines);
    return;
  case 204:
    item.enabled = c.grid;
    item.checked = c.grid && (flags & model::kSheetShowHeaders);
    return;
  case 205:
  case 206:
  case 207:
  case 208:
    item.enabled = book && c.sheet;
    item.checked = c.sheet && c.sheet->zoom == zoomOfCommand(id);
    return;
  case 210: {
    const bool isProtected = c.grid && (flags & model::kSheetProtected);
    item.text = !isProtected                       ? u"保护…(&P)"
                : c.sheet->protectionVerifier != 0 ? u"解除保护…(&P)"
                                                   : u"解除保护(&P)";
    item.enabled = c.grid;
    item.checked = isProtected;
    return;
  }
  case 211:
    item.enabled = c.grid;
    item.checked = c.grid && (flags & model::kSheetShowFormulas);
    return;
  case 213:
  case 214:
  case 215: {
    item.enabled = book;
    const std::int32_t value = !book       ? 0
                               : id == 213 ? c.book->showVerticalScrollBar
                               : id == 214 ? c.book->showHorizontalScrollBar
                                           : c.book->showSheetTabs;
    item.checked = value != 0;
    return;
  }
  case 216:
  case 217:
  case 218:
    item.enabled = true; // the bars belong to the window, not to a workbook
    item.checked = id == 216   ? app.bars.toolBar
                   : id == 217 ? app.bars.formulaBar
                               : app.bars.statusBar;
    return;
  case 220:
    item.enabled = c.grid;
    item.checked = c.grid && (flags & model::kSheetPanesFrozen);
    return;
  case 222:
    item.enabled = c.worksheet && !c.objectSelected;
    item.checked = c.worksheet && (flags & model::kSheetAutoFilter);
    return;
  default:
    break;
  }
  if ((id >= 135 && id <= 143) || (id >= 161 && id <= 162) || id == 167 || id == 190 ||
      (id >= 172 && id <= 184) || (id >= 191 && id <= 199) || id == 219 ||
      (id >= 221 && id <= 225)) {
    item.enabled = cells;
    return;
  }
  // The rest (close, save, print, the sheet list, names, formats, tab
  // colour, zoom dialog) needs a workbook only.
  item.enabled = book;
}

} // namespace

MenuQueries& menuQueries() {
  static MenuQueries queries;
  return queries;
}

std::u16string undo_menu_text(const std::optional<std::u16string>& label) {
  std::u16string text = u"撤消";
  if (label) {
    text += u' ';
    text += *label;
    text += u"\tCtrl+Z";
  }
  return text;
}

MenuState update_menu(App& app) {
  Conditions c;
  c.book = app.book();
  if (c.book && c.book->activeSheet >= 0 && c.book->activeSheet < c.book->sheetCount()) {
    c.sheet = &c.book->active();
    c.worksheet = c.sheet->kind == model::SheetKind::Worksheet;
    c.macro = c.sheet->kind == model::SheetKind::Macro;
    c.chart = c.sheet->kind == model::SheetKind::Chart;
    c.grid = c.worksheet || c.macro;
    c.objectSelected = c.grid && c.sheet->selectedObject >= 0;
    c.chartObjectSelected = c.objectSelected && ask(menuQueries().selectedObjectIsChart, c.sheet);
  }

  MenuState state;
  for (const MenuEntry& e : kMainMenu) {
    if (e.kind != MenuEntry::Item)
      continue;
    MenuItemState& item = state.items[e.id];
    applyRules(c, app, e.id, item);
    item.enabled = item.enabled && findCommand(e.id) != nullptr;
    // While an entry is open Cut, Copy and Paste are the formula bar's own.
    if (app.editMode != EditMode::None && e.id >= kCmdCut && e.id <= kCmdPaste)
      item.enabled = e.id != kCmdPaste || !app.window.clipboardText().empty();
  }

  const auto& slots = fileformats::recentFiles().slots;
  for (int slot = 0; slot < fileformats::kRecentFileSlots; ++slot) {
    const std::u16string& path = slots[static_cast<size_t>(slot)];
    if (path.empty())
      continue;
    const int id = kFirstRecentCommand + slot;
    state.recentFiles.emplace_back(id, std::u16string(model::fileNamePart(path)));
    state.items[id] = {findCommand(id) != nullptr, false, state.recentFiles.back().second};
  }

  for (int n = 0; n < app.books.count(); ++n) {
    const int id = kFirstWindowCommand + n;
    const bool active = n == app.books.activeIndex();
    state.windows.emplace_back(id, std::u16string(model::fileNamePart(app.books.at(n).path)));
    state.items[id] = {findCommand(id) != nullptr, active, state.windows.back().second};
    if (active)
      state.checkedWindow = id;
  }
  return state;
}

} // namespace app
