#include "app/navigation.h"


#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/drawing_commands.h"
#include "app/edit_commands.h"
#include "app/status_bar.h"
#include "edit/clipboard.h"
#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "model/display_text.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"
#include "view/paint_services.h"

#include <algorithm>
#include <vector>

namespace app {
namespace {

using model::CellRange;
using model::Sheet;

constexpr int kTimerAutoScroll = 1;
constexpr int kTimerComment = 2;
constexpr int kAutoScrollMs = 250;
constexpr int kCommentDelayMs = 500;

bool rowHidden(const Sheet& s, int row) { return model::row_height(s, static_cast<std::uint16_t>(row)) == 0; }
bool columnHidden(const Sheet& s, int column) {
  return model::column_width(s, static_cast<std::uint8_t>(column)) == 0;
}

bool vertical(Direction d) { return d == Direction::Up || d == Direction::Down; }
int sign(Direction d) { return d == Direction::Down || d == Direction::Right ? 1 : -1; }

// The next visible row (column) from `from` in the direction, or -1 at the edge.
int stepLine(const Sheet& s, bool rows, int from, int delta) {
  const int limit = rows ? model::kMaxRow : model::kMaxColumn;
  for (int i = from + delta; i >= 0 && i <= limit; i += delta)
    if (!(rows ? rowHidden(s, i) : columnHidden(s, i)))
      return i;
  return -1;
}

// The rows first..last that are not hidden, in one pass over the row
// records (a sheet may hide tens of thousands of rows).
std::vector<int> visibleRows(const Sheet& s, int first, int last) {
  std::vector<int> out;
  auto it = std::lower_bound(s.rows.begin(), s.rows.end(), first,
                             [](const model::RowRecord& r, int row) { return r.row < row; });
  for (int row = first; row <= last; ++row) {
    std::uint16_t height = s.defaultRowHeight;
    if (it != s.rows.end() && it->row == row) {
      height = (it->flags & model::kLineHidden) ? 0 : (it->flags & model::kLineDefaultSize) ? s.defaultRowHeight : it->size;
      ++it;
    }
    if (height != 0)
      out.push_back(row);
  }
  return out;
}

std::vector<int> visibleColumns(const Sheet& s, int first, int last) {
  std::vector<int> out;
  for (int column = first; column <= last; ++column)
    if (!columnHidden(s, column))
      out.push_back(column);
  return out;
}

CellRange rangeOf(int r1, int c1, int r2, int c2) {
  return {static_cast<std::uint16_t>(std::min(r1, r2)), static_cast<std::uint8_t>(std::min(c1, c2)),
          static_cast<std::uint16_t>(std::max(r1, r2)), static_cast<std::uint8_t>(std::max(c1, c2))};
}

// The merged range holding a cell, or the cell alone.
CellRange cellOrMerged(const Sheet& s, int row, int column) {
  const int m = model::merged_range_at(s, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  return m >= 0 ? s.mergedRanges[static_cast<size_t>(m)] : rangeOf(row, column, row, column);
}

// Grows a range until every merged range it touches lies inside it.
CellRange includeMerged(const Sheet& s, CellRange r) {
  for (bool grew = true; grew;) {
    grew = false;
    for (const CellRange& m : s.mergedRanges) {
      if (!m.intersects(r))
        continue;
      const CellRange u = rangeOf(std::min(r.firstRow, m.firstRow), std::min(r.firstColumn, m.firstColumn),
                                  std::max(r.lastRow, m.lastRow), std::max(r.lastColumn, m.lastColumn));
      if (!(u == r)) {
        r = u;
        grew = true;
      }
    }
  }
  return r;
}

CellPos posOf(int row, int column) {
  return {static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)};
}

// Selects a cell (or its merged range) and makes it active.
void selectCell(App& app, const Sheet& s, int row, int column) {
  const CellRange r = cellOrMerged(s, row, column);
  set_selection(app, r, posOf(r.firstRow, r.firstColumn), true);
}

// The first row and column of the scrolling pane.
CellPos scrollPaneOrigin(const Sheet& s) {
  if (!(s.flags & model::kSheetPanesFrozen))
    return {};
  return {std::max(s.scrollPaneRow, s.frozenRow), std::max(s.scrollPaneColumn, s.frozenColumn)};
}

CellPos lastUsedCell(const Sheet& s) {
  int lastRow = 0, lastColumn = 0;
  CellRange used{};
  if (model::usedRange(s, used)) {
    lastRow = used.lastRow;
    lastColumn = used.lastColumn;
  }
  if (!s.rows.empty())
    lastRow = std::max<int>(lastRow, s.rows.back().row);
  if (!s.columns.empty())
    lastColumn = std::max<int>(lastColumn, s.columns.back().column);
  for (const CellRange& m : s.mergedRanges) {
    lastRow = std::max<int>(lastRow, m.lastRow);
    lastColumn = std::max<int>(lastColumn, m.lastColumn);
  }
  return posOf(lastRow, lastColumn);
}

// Pixels of one row (rows) or column in the scrolling pane, and the room the pane has.
int linePx(const App& app, const Sheet& s, bool rows, int line) {
  return rows ? model::row_px(s, static_cast<std::uint16_t>(line), app.layout.scale)
              : model::column_px(s, static_cast<std::uint8_t>(line), app.layout.scale);
}

int paneRoom(const App& app, bool rows) {
  return rows ? app.layout.cells.height() - app.layout.frozenHeight
              : app.layout.cells.width() - app.layout.frozenWidth;
}

// Lines of the scrolling pane that show whole from `first` (at least one).
int fullyVisible(const App& app, const Sheet& s, bool rows, int first) {
  const int room = paneRoom(app, rows);
  const int limit = rows ? model::kMaxRow : model::kMaxColumn;
  int used = 0, count = 0;
  for (int i = first; i <= limit; ++i) {
    const int size = linePx(app, s, rows, i);
    if (used + size > room)
      break;
    used += size;
    ++count;
  }
  return std::max(1, count);
}

// The first line from which the pane shows the lines before `end` whole, as
// many as fit, but not before `floor`; `used` pixels are taken already.
int firstLineFitting(const App& app, const Sheet& s, bool rows, int end, int floor, int used) {
  const int room = paneRoom(app, rows);
  int first = end;
  for (int i = end - 1; i >= floor; --i) {
    const int size = linePx(app, s, rows, i);
    if (used + size > room)
      break;
    used += size;
    first = i;
  }
  return first;
}

void invalidateGrid(App& app) {
  app.relayout();
  app.window.invalidate(app.layout.grid);
}

void scrollTo(App& app, int topRow, int leftColumn) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const CellPos origin = scrollPaneOrigin(*s);
  topRow = std::clamp<int>(topRow, origin.row, model::kMaxRow);
  leftColumn = std::clamp<int>(leftColumn, origin.column, model::kMaxColumn);
  if (topRow == s->topRow && leftColumn == s->leftColumn)
    return;
  s->topRow = static_cast<std::uint16_t>(topRow);
  s->leftColumn = static_cast<std::uint8_t>(leftColumn);
  // Cells that show where they are (CELL, INFO, OFFSET...) may read differently.
  if (!(s->flags & model::kSheetPanesFrozen))
    formula::refreshVolatile(*app.book(), app.book()->activeSheet, true);
  invalidateGrid(app);
  platform::ui().requestRepaint(platform::kRepaintGrid);
}

// Page Down / Page Up: the new top row, or -1 when already at the limit.
int pageDownTop(const App& app, const Sheet& s) {
  const int top = s.topRow;
  int last = top + fullyVisible(app, s, true, top) - 1;
  if (last <= top)
    last = top + 1;
  return last > model::kMaxRow ? -1 : last;
}

int pageUpTop(const App& app, const Sheet& s) {
  const int first = scrollPaneOrigin(s).row;
  if (s.topRow <= first)
    return -1;
  int top = firstLineFitting(app, s, true, s.topRow, first, 0);
  if (top == s.topRow)
    top = s.topRow - 1;
  return top;
}

void pageRows(App& app, bool down, bool moveActive) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const int top = down ? pageDownTop(app, *s) : pageUpTop(app, *s);
  if (top < 0)
    return;
  scrollTo(app, top, s->leftColumn);
  if (moveActive)
    selectCell(app, *s, top, s->activeColumn);
}

void pageColumns(App& app, bool right) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const int left = s->leftColumn;
  if (right) {
    const int next = left + std::max(1, fullyVisible(app, *s, false, left) - 1);
    scrollTo(app, s->topRow, std::min(next, model::kMaxColumn));
  } else {
    scrollTo(app, s->topRow, left - std::max(1, fullyVisible(app, *s, false, std::max(0, left - 1)) - 1));
  }
}

// ---- hyperlinks ----

void invalidLink() {
  platform::ui().messageBox(u"Invalid link", model::kProductName, platform::MessageButtons::Ok,
                            platform::MessageIcon::Error);
}

std::u16string folderOf(std::u16string_view path) {
  const size_t cut = path.find_last_of(u"\\/");
  return cut == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, cut + 1));
}

} // namespace

void follow_hyperlink(App& app, std::u16string target) {
  std::u16string path = target, reference;
  if (!target.empty() && target.front() == u'[') {
    const size_t close = target.find(u']');
    if (close == std::u16string::npos) {
      invalidLink();
      return;
    }
    path = target.substr(1, close - 1);
    reference = target.substr(close + 1);
  }
  model::Workbook* holder = app.book();
  if (!path.empty()) {
    if (path.find(u':') == std::u16string::npos && path.front() != u'/' && holder)
      path = folderOf(holder->path) + path;
    for (size_t at; (at = path.find(u"\\.\\")) != std::u16string::npos;)
      path.replace(at, 3, u"\\");
    for (size_t at; (at = path.find(u"/./")) != std::u16string::npos;)
      path.replace(at, 3, u"/");
    // Opening may replace an untouched Book1, the holder itself: from here
    // on the holder is known by its id only, and looked for again.
    const std::uint64_t holderId = holder ? holder->id : 0;
    holder = nullptr;
    if (!app.books.open_workbook(path, false))
      return;
    const auto indexOf = [&](std::uint64_t id) {
      for (int i = 0; i < app.books.count(); ++i)
        if (app.books.at(i).id == id)
          return i;
      return -1;
    };
    // A clean workbook that only held the link makes way for its target.
    const int holderIndex = indexOf(holderId);
    model::Workbook* opened = app.book();
    if (holderIndex >= 0 && opened && opened->id != holderId && app.books.at(holderIndex).modified == 0) {
      const std::uint64_t openedId = opened->id;
      app.books.activate_workbook(holderIndex);
      app.books.close_workbook();
      const int back = indexOf(openedId);
      if (back >= 0)
        app.books.activate_workbook(back);
    }
  }
  if (reference.empty()) {
    app.redrawAll();
    refresh_formula_bar(app);
    return;
  }
  model::Workbook* book = app.book();
  formula::ParsedReference ref;
  const std::u16string& separators = platform::localeStrings().listSeparator;
  const char16_t listSeparator = separators.empty() ? u',' : separators[0];
  if (!book || !formula::readA1Reference(reference, 0, book, listSeparator, ref) || ref.end != reference.size()) {
    invalidLink();
    return;
  }
  if (ref.hasQualifier)
    activate_sheet(app, ref.sheet);
  Sheet* s = app.gridSheet();
  if (!s) {
    invalidLink();
    return;
  }
  const CellRange r = includeMerged(*s, ref.range());
  set_selection(app, r, posOf(r.firstRow, r.firstColumn), true);
}

namespace {

// ---- macro shortcut keys ----

bool runShortcutMacro(App& app, unsigned key) {
  model::Workbook* book = app.book();
  if (!book || !model::modelServices().runMacro)
    return false;
  const char16_t ch = static_cast<char16_t>(key);
  for (const model::DefinedName& n : book->names)
    if ((n.flags & model::kNameCommandMacro) && n.shortcut != 0 &&
        platform::equalsIgnoreCase(std::u16string_view(&n.shortcut, 1), std::u16string_view(&ch, 1))) {
      model::MacroCaller caller;
      caller.kind = model::MacroCaller::Kind::Cell;
      caller.sheet = book->activeSheet;
      if (const Sheet* s = app.gridSheet()) {
        caller.row = s->activeRow;
        caller.column = s->activeColumn;
      }
      model::modelServices().runMacro(*book, n.name, caller);
      app.redrawAll();
      refresh_formula_bar(app);
      return true;
    }
  return false;
}

// Ctrl + these keys are accelerators, never macro shortcuts.
bool isAccelerator(unsigned key) {
  static constexpr char16_t kKeys[] = u"1CDEFGHNOPRSVXZ";
  for (char16_t k : std::u16string_view(kKeys))
    if (key == k)
      return true;
  return key == VK_OEM_1 || key == VK_OEM_PERIOD;
}

// ---- mouse state ----

struct MouseState {
  bool columnHeaders = false; // a header drag selects whole columns
  bool rowHeaders = false;
  platform::Point last{};
};

MouseState& mouse() {
  static MouseState m;
  return m;
}

CellRange wholeSheet() { return rangeOf(0, 0, model::kMaxRow, model::kMaxColumn); }

// The cell under a point, clamped into the cell area when outside it.
view::HitTest cellUnder(App& app, platform::Point p) {
  const platform::Rect& cells = app.layout.cells;
  const platform::Point q{std::clamp(p.x, cells.left, std::max(cells.left, cells.right - 1)),
                          std::clamp(p.y, cells.top, std::max(cells.top, cells.bottom - 1))};
  return view::hitTest(*app.book(), app.layout, q);
}

void dragSelectTo(App& app, platform::Point p) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const view::HitTest h = cellUnder(app, p);
  if (h.row < 0 || h.column < 0)
    return;
  const CellPos a = activeCell(*s);
  CellRange r;
  if (mouse().columnHeaders)
    r = wholeColumns(a.column, h.column);
  else if (mouse().rowHeaders)
    r = wholeRows(a.row, h.row);
  else
    r = includeMerged(*s, rangeOf(a.row, a.column, h.row, h.column));
  if (!(r == selection(*s)))
    set_selection(app, r, std::nullopt, false);
}

// Scrolls one line towards a point held outside the cell area; true when it did.
bool autoScrollTowards(App& app, platform::Point p) {
  Sheet* s = app.gridSheet();
  if (!s)
    return false;
  const platform::Rect& cells = app.layout.cells;
  int top = s->topRow, left = s->leftColumn;
  if (p.y >= cells.bottom)
    ++top;
  else if (p.y < cells.top)
    --top;
  if (p.x >= cells.right)
    ++left;
  else if (p.x < cells.left)
    --left;
  if (top == s->topRow && left == s->leftColumn)
    return false;
  scrollTo(app, top, left);
  return true;
}

void showContextMenu(App& app, const view::HitTest& h, platform::Point at) {
  std::vector<platform::PopupItem> items;
  const auto add = [&](int id, std::u16string_view text) {
    items.push_back({id, std::u16string(text), findCommand(id) != nullptr, false});
  };
  const auto separator = [&] { items.push_back({}); };
  add(131, u"剪切");
  add(132, u"复制");
  add(133, u"粘贴(&P)");
  add(134, u"选择性粘贴…(&S)");
  // Paste and Paste Special are enabled as on the Edit menu.
  items[2].enabled = items[2].enabled && edit::clipboard_can_paste(app.books, app.gridSheet(), app.window);
  items[3].enabled = items[3].enabled && edit::clipboard_has_snapshot(app.books, app.window);
  separator();
  const bool rows = h.region == view::HitRegion::RowHeader;
  const bool columns = h.region == view::HitRegion::ColumnHeader;
  if (rows)
    add(161, u"插入(&I)");
  else if (columns)
    add(162, u"插入(&I)");
  else
    add(160, u"插入…(&I)");
  // Delete asks what to delete unless whole rows or columns are selected,
  // wherever the click was (the corner box selects the whole sheet).
  const Sheet* s = app.gridSheet();
  const CellRange sel = s ? selection(*s) : CellRange{};
  const bool wholeLines = s && ((sel.firstRow == 0 && sel.lastRow == model::kMaxRow) ||
                                (sel.firstColumn == 0 && sel.lastColumn == model::kMaxColumn));
  add(144, wholeLines ? u"删除(&D)" : u"删除…(&D)");
  add(142, u"清除内容(&N)");
  separator();
  add(190, u"设置单元格格式…(&F)");
  if (rows) {
    add(191, u"行高…(&E)");
    add(193, u"隐藏(&H)");
    add(194, u"取消隐藏(&U)");
  } else if (columns) {
    add(195, u"列宽…(&W)");
    add(197, u"隐藏");
    add(198, u"取消隐藏");
  }
  const int chosen = app.window.trackPopupMenu(items, at);
  if (chosen != 0)
    dispatch_command(app, chosen, CommandSource::Menu);
}

void showSheetListMenu(App& app, platform::Point at) {
  model::Workbook* book = app.book();
  if (!book)
    return;
  std::vector<platform::PopupItem> items;
  for (int i = 0; i < book->sheetCount(); ++i)
    if (!book->sheet(i).hidden)
      items.push_back({1000 + i, book->sheet(i).name, true, i == book->activeSheet});
  const int chosen = app.window.trackPopupMenu(items, at);
  if (chosen >= 1000)
    activate_sheet(app, chosen - 1000);
}

void scrollTabs(App& app, int delta) {
  model::Workbook* book = app.book();
  if (!book || book->sheetCount() == 0)
    return;
  const int first = std::clamp(book->firstVisibleTab + delta, 0, book->sheetCount() - 1);
  if (first == book->firstVisibleTab)
    return;
  book->firstVisibleTab = static_cast<std::int16_t>(first);
  app.relayout();
  app.window.invalidate(app.layout.tabBar);
}

void activateWorkbookBy(App& app, int delta) {
  const int n = app.books.count();
  if (n < 2 || !commit_if_editing(app))
    return;
  app.books.activate_workbook(((app.books.activeIndex() + delta) % n + n) % n);
  app.redrawAll();
  refresh_formula_bar(app);
  platform::ui().requestRepaint(platform::kRepaintTitle | platform::kRepaintMenus);
}

} // namespace

model::CellRange selection(const model::Sheet& s) {
  return rangeOf(model::packedRow(s.selectionFirst), model::packedColumn(s.selectionFirst),
                 model::packedRow(s.selectionLast), model::packedColumn(s.selectionLast));
}

CellPos activeCell(const model::Sheet& s) { return {s.activeRow, s.activeColumn}; }
model::CellRange wholeColumns(int a, int b) { return rangeOf(0, a, model::kMaxRow, b); }
model::CellRange wholeRows(int a, int b) { return rangeOf(a, 0, b, model::kMaxColumn); }

void invalidate_cells(App& app, const model::CellRange& range) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const view::GridLayout& g = app.layout;
  // Frozen panes split a range into up to four pieces: repaint them all.
  if (s->flags & model::kSheetPanesFrozen) {
    app.window.invalidate(g.grid);
    return;
  }
  const int top = std::max<int>(range.firstRow, g.topRow), bottom = std::min<int>(range.lastRow, g.bottomRow);
  const int left = std::max<int>(range.firstColumn, g.leftColumn),
            right = std::min<int>(range.lastColumn, g.rightColumn);
  if (top > bottom || left > right)
    return;
  const platform::Rect a = view::cellRect(*s, g, top, left), b = view::cellRect(*s, g, bottom, right);
  if (a.isEmpty() || b.isEmpty()) {
    app.window.invalidate(g.cells); // a hidden line at the edge: keep it simple
    return;
  }
  app.window.invalidate({a.left, a.top, b.right, b.bottom});
}

void set_selection(App& app, const model::CellRange& range, std::optional<CellPos> active,
                   bool scrollIntoView) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const CellRange before = selection(*s);
  const std::uint16_t topBefore = s->topRow;
  const std::uint8_t leftBefore = s->leftColumn;
  s->selectionFirst = model::packCell(range.firstRow, range.firstColumn);
  s->selectionLast = model::packCell(range.lastRow, range.lastColumn);
  if (active) {
    s->activeRow = active->row;
    s->activeColumn = active->column;
    app.editMode = EditMode::None;
    end_point(app);
    app.window.setFocus(platform::FocusTarget::Grid);
    refresh_formula_bar(app);
    if (scrollIntoView)
      scroll_into_view(app, *active);
  } else {
    update_status_summary(app);
  }
  if (s->topRow != topBefore || s->leftColumn != leftBefore)
    return; // scrolling repainted everything
  // The cells whose selected state changed lie in the old or the new
  // selection; the headers' bold labels follow the active cell.
  app.relayout();
  // An input message box may stand over any cells: it goes with a repaint.
  if (!s->validations.empty()) {
    invalidateGrid(app);
    return;
  }
  invalidate_cells(app, before);
  invalidate_cells(app, range);
  const view::GridLayout& g = app.layout;
  app.window.invalidate({g.grid.left, g.grid.top, g.grid.right, g.cells.top});
  app.window.invalidate({g.grid.left, g.cells.top, g.cells.left, g.grid.bottom});
}

void scroll_into_view(App& app, CellPos cell) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const CellPos origin = scrollPaneOrigin(*s);
  // Scrolls one axis: back to the line, or on until it is the last whole one.
  const auto firstShowing = [&](bool rows, int line, int first, int floor) {
    if (line < floor)
      return first;
    if (line < first)
      return line;
    if (line < first + fullyVisible(app, *s, rows, first))
      return first;
    return firstLineFitting(app, *s, rows, line, floor, linePx(app, *s, rows, line));
  };
  const int top = firstShowing(true, cell.row, s->topRow, origin.row);
  const int left = firstShowing(false, cell.column, s->leftColumn, origin.column);
  scrollTo(app, top, left);
}

void move_active(App& app, Direction d) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const CellRange here = cellOrMerged(*s, s->activeRow, s->activeColumn);
  const bool rows = vertical(d);
  const int delta = sign(d);
  const int edge = rows ? (delta > 0 ? here.lastRow : here.firstRow)
                        : (delta > 0 ? here.lastColumn : here.firstColumn);
  const int next = stepLine(*s, rows, edge, delta);
  if (next < 0)
    return;
  if (rows)
    selectCell(app, *s, next, s->activeColumn);
  else
    selectCell(app, *s, s->activeRow, next);
}

void extend_selection(App& app, Direction d) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  CellRange r = selection(*s);
  const CellRange a = cellOrMerged(*s, s->activeRow, s->activeColumn);
  const bool rows = vertical(d);
  const int delta = sign(d);
  int first = rows ? r.firstRow : r.firstColumn;
  int last = rows ? r.lastRow : r.lastColumn;
  const int activeFirst = rows ? a.firstRow : a.firstColumn;
  const int activeLast = rows ? a.lastRow : a.lastColumn;
  int moved; // the line the moving edge reaches, to scroll it into view
  if (last > activeLast || (first >= activeFirst && delta > 0)) {
    // The far edge is the last line (or nothing extends yet and we grow forwards).
    const int next = stepLine(*s, rows, last, delta);
    if (next < 0)
      return;
    last = std::max(next, activeLast);
    moved = last;
  } else {
    const int next = stepLine(*s, rows, first, delta);
    if (next < 0)
      return;
    first = std::min(next, activeFirst);
    moved = first;
  }
  if (rows) {
    r.firstRow = static_cast<std::uint16_t>(first);
    r.lastRow = static_cast<std::uint16_t>(last);
  } else {
    r.firstColumn = static_cast<std::uint8_t>(first);
    r.lastColumn = static_cast<std::uint8_t>(last);
  }
  set_selection(app, includeMerged(*s, r), std::nullopt, false);
  scroll_into_view(app, rows ? posOf(moved, s->activeColumn) : posOf(s->activeRow, moved));
}

void jump_to_edge(App& app, Direction d, bool extend) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  app.leaveEndMode();
  const bool rows = vertical(d);
  const int delta = sign(d);
  const CellRange sel = selection(*s);
  const int fixed = rows ? s->activeColumn : s->activeRow; // the line we walk along
  int start = rows ? s->activeRow : s->activeColumn;
  if (extend) {
    const CellRange a = cellOrMerged(*s, s->activeRow, s->activeColumn);
    if (rows)
      start = delta > 0 ? std::max<int>(sel.lastRow, a.lastRow) : std::min<int>(sel.firstRow, a.firstRow);
    else
      start = delta > 0 ? std::max<int>(sel.lastColumn, a.lastColumn)
                        : std::min<int>(sel.firstColumn, a.firstColumn);
  }
  const int target = model::blockEdge(*s, rows, fixed, start, delta);
  if (target < 0)
    return;
  if (!extend) {
    if (rows)
      selectCell(app, *s, target, fixed);
    else
      selectCell(app, *s, fixed, target);
    return;
  }
  CellRange r = sel;
  const CellRange a = cellOrMerged(*s, s->activeRow, s->activeColumn);
  if (rows) {
    if (delta > 0)
      r = rangeOf(std::min<int>(sel.firstRow, a.firstRow), r.firstColumn, target, r.lastColumn);
    else
      r = rangeOf(target, r.firstColumn, std::max<int>(sel.lastRow, a.lastRow), r.lastColumn);
  } else {
    if (delta > 0)
      r = rangeOf(r.firstRow, std::min<int>(sel.firstColumn, a.firstColumn), r.lastRow, target);
    else
      r = rangeOf(r.firstRow, target, r.lastRow, std::max<int>(sel.lastColumn, a.lastColumn));
  }
  set_selection(app, includeMerged(*s, r), std::nullopt, false);
  scroll_into_view(app, rows ? posOf(target, s->activeColumn) : posOf(s->activeRow, target));
}

void go_to_last_cell(App& app, bool extend) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  app.leaveEndMode();
  const CellPos last = lastUsedCell(*s);
  if (!extend) {
    selectCell(app, *s, last.row, last.column);
    return;
  }
  set_selection(app, includeMerged(*s, rangeOf(s->activeRow, s->activeColumn, last.row, last.column)),
                std::nullopt, false);
  scroll_into_view(app, last);
}

void walk_selection(App& app, bool alongRow, bool backwards) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  const CellRange sel = selection(*s);
  const CellRange here = cellOrMerged(*s, s->activeRow, s->activeColumn);
  if (sel == here) {
    move_active(app, alongRow ? (backwards ? Direction::Left : Direction::Right)
                              : (backwards ? Direction::Up : Direction::Down));
    return;
  }
  // Walk the visible cells in reading order (by columns for Enter, by rows
  // for Tab), wrapping at the selection's end, until one that is not the
  // inside of a merged range comes up. Only visible lines are counted, so
  // hidden rows and columns are passed whole, however many there are.
  const std::vector<int> rowsShown = visibleRows(*s, sel.firstRow, sel.lastRow);
  const std::vector<int> columnsShown = visibleColumns(*s, sel.firstColumn, sel.lastColumn);
  const std::vector<int>& major = alongRow ? rowsShown : columnsShown;
  const std::vector<int>& minor = alongRow ? columnsShown : rowsShown;
  const long long majorN = static_cast<long long>(major.size()), minorN = static_cast<long long>(minor.size());
  const long long total = majorN * minorN;
  if (total == 0)
    return;
  const int activeMajor = alongRow ? s->activeRow : s->activeColumn;
  const int activeMinor = alongRow ? s->activeColumn : s->activeRow;
  const auto majorAt = std::lower_bound(major.begin(), major.end(), activeMajor);
  const auto minorAt = std::lower_bound(minor.begin(), minor.end(), activeMinor);
  // A start on a hidden line sits just before the next visible cell.
  const bool onVisible = majorAt != major.end() && *majorAt == activeMajor && minorAt != minor.end() &&
                         *minorAt == activeMinor;
  const long long start = ((majorAt - major.begin()) * minorN + (minorAt - minor.begin())) % total;
  const long long first = onVisible ? 1 : (backwards ? 1 : 0);
  for (long long step = first; step < total + first; ++step) {
    const long long i = ((start + (backwards ? -step : step)) % total + total) % total;
    if (onVisible && i == start)
      return; // came back to the start
    const int a = major[static_cast<size_t>(i / minorN)], b = minor[static_cast<size_t>(i % minorN)];
    const int r = alongRow ? a : b, c = alongRow ? b : a;
    const CellRange m = cellOrMerged(*s, r, c);
    if (m.firstRow != r || m.firstColumn != c)
      continue; // merged ranges are visited once, at their first cell
    if (m == here)
      continue;
    set_selection(app, sel, posOf(r, c), true);
    return;
  }
}

void activate_sheet(App& app, int index) {
  model::Workbook* book = app.book();
  if (!book || index < 0 || index >= book->sheetCount() || index == book->activeSheet)
    return;
  if (!commit_if_editing(app))
    return;
  app.leaveEndMode();
  model::activate_sheet(*book, index);
  app.redrawAll();
  refresh_formula_bar(app);
}

// ---- drawing objects ----

namespace {

// A press on an object: its kind may act (a control, a filter arrow);
// otherwise it is selected and a drag moves it, or sizes it from a handle
// of the selected object.
void pressObject(App& app, int index, int handle, platform::Point p) {
  if (handle == 0 && app.hooks.pressObject && app.hooks.pressObject(app, index, p))
    return;
  select_object(app, index);
  app.objectDrag = {index, handle, p, p};
  app.capture = handle == 0 ? CaptureMode::MoveObject : CaptureMode::SizeObject;
  app.window.setCapture(true);
}

// The outline of the object being dragged, where the mouse has taken it.
platform::Rect dragOutline(App& app, const Sheet& s) {
  const platform::Rect r = dragged_rect(view::objectRect(s, app.layout, app.objectDrag.object), app.objectDrag);
  return {r.left - 1, r.top - 1, r.right + 1, r.bottom + 1};
}

} // namespace

// ---- messages ----

LResult on_keydown(App& app, unsigned, WParam wParam, LParam) {
  const unsigned key = static_cast<unsigned>(wParam);
  if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU)
    return 0;
  const unsigned mods = app.window.modifiers();
  const bool shift = (mods & platform::kModShift) != 0;
  const bool ctrl = (mods & platform::kModControl) != 0;
  // While an entry is open the keys belong to it, wherever the focus is
  // (a point-mode click leaves it on the grid): End moves the caret, F9
  // does not recalculate under the user's typing. Switching sheets and
  // workbooks commits first.
  if (app.editMode != EditMode::None && !(ctrl && (key == VK_TAB || key == VK_PRIOR || key == VK_NEXT)))
    return formula_bar_proc(app, WM_KEYDOWN, wParam, 0);
  app.swallowCharacters = {};
  hide_comment(app);
  if (!ctrl && object_keydown(app, key, shift))
    return 0;
  if (key == VK_END && !ctrl) {
    app.setEndMode(!app.endMode);
    return 0;
  }
  // Enter and Tab act on their character, which comes next and reads End mode.
  if (!ctrl && (key == VK_RETURN || key == VK_TAB))
    return 0;
  const bool wasEnd = app.endMode;
  app.leaveEndMode();
  if (ctrl && key == VK_TAB) {
    activateWorkbookBy(app, shift ? -1 : 1);
    app.swallowCharacters = u"\t"; // the Tab that may follow is no move
    return 0;
  }
  if (ctrl && (key == VK_PRIOR || key == VK_NEXT)) {
    model::Workbook* book = app.book();
    if (book) {
      const int next = model::next_visible_sheet(*book, book->activeSheet, key == VK_NEXT ? 1 : -1);
      if (next >= 0)
        activate_sheet(app, next);
    }
    return 0;
  }
  if (key == VK_F9) {
    if (model::Workbook* book = app.book()) {
      formula::recalcAll(*book);
      app.redrawAll();
      refresh_formula_bar(app);
    }
    return 0;
  }
  Sheet* s = app.gridSheet();
  if (!s)
    return 0;
  switch (key) {
  case VK_DECIMAL:
    type_decimal_key(app);
    return 0;
  case VK_LEFT:
  case VK_RIGHT:
  case VK_UP:
  case VK_DOWN: {
    // Alt+Down opens the in-cell list of a list rule.
    if (key == VK_DOWN && (mods & platform::kModAlt) && !ctrl && !shift && open_list_drop_down(app))
      return 0;
    const Direction d = key == VK_LEFT ? Direction::Left
                        : key == VK_RIGHT ? Direction::Right
                        : key == VK_UP ? Direction::Up
                                       : Direction::Down;
    if (ctrl || wasEnd)
      jump_to_edge(app, d, shift);
    else if (shift)
      extend_selection(app, d);
    else
      move_active(app, d);
    return 0;
  }
  case VK_HOME: {
    if (wasEnd && !ctrl) {
      go_to_last_cell(app, shift);
      return 0;
    }
    const CellPos origin = scrollPaneOrigin(*s);
    const CellPos target = ctrl ? origin : posOf(s->activeRow, origin.column);
    if (shift)
      set_selection(app, includeMerged(*s, rangeOf(s->activeRow, s->activeColumn, target.row, target.column)),
                    std::nullopt, false);
    else
      selectCell(app, *s, target.row, target.column);
    scroll_into_view(app, target);
    return 0;
  }
  case VK_END: // with Ctrl
    go_to_last_cell(app, shift);
    return 0;
  case VK_PRIOR:
  case VK_NEXT:
    pageRows(app, key == VK_NEXT, true);
    return 0;
  case VK_F2:
    begin_edit(app, true);
    return 0;
  case VK_DELETE:
    dispatch_command(app, 142, CommandSource::Accelerator);
    return 0;
  case VK_ESCAPE:
    drop_copy_outline(app);
    return 0;
  default:
    break;
  }
  if (ctrl && !isAccelerator(key) && ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')))
    runShortcutMacro(app, key);
  if (ctrl && key >= 'A' && key <= 'Z') {
    // Ctrl with a letter also types a control character (Ctrl+J a line
    // feed, Ctrl+M a carriage return, Ctrl+I a tab): it is a shortcut, never
    // an Enter or a Tab that moves the active cell.
    static constexpr std::u16string_view kControlCharacters =
        u"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A";
    app.swallowCharacters = kControlCharacters.substr(key - 'A', 1);
  }
  return 0;
}

LResult on_lbuttondown(App& app, unsigned, WParam wParam, LParam lParam) {
  model::Workbook* book = app.book();
  if (!book)
    return 0;
  const platform::Point p{pointX(lParam), pointY(lParam)};
  app.relayout();
  const view::HitTest h = view::hitTest(*book, app.layout, p);
  const bool shift = (wParam & MK_SHIFT) != 0;
  MouseState& m = mouse();
  m = MouseState{};
  m.last = p;
  switch (h.region) {
  case view::HitRegion::Tab:
    activate_sheet(app, h.tab);
    return 0;
  case view::HitRegion::TabArrows:
    scrollTabs(app, h.tab == 0 ? -1 : 1);
    return 0;
  case view::HitRegion::None:
  case view::HitRegion::TabBar:
    return 0;
  default:
    break;
  }
  Sheet* s = app.gridSheet();
  if (!s)
    return 0;
  // The active cell's list button opens its list.
  if (const auto arrow = app.overlays().listArrow;
      arrow && view::listArrowRect(*s, app.layout, arrow->row, arrow->column).contains(p)) {
    hide_comment(app);
    (void)open_list_drop_down(app);
    return 0;
  }
  const bool onCells = h.region == view::HitRegion::Cell || h.region == view::HitRegion::Object;
  if (onCells && app.editMode != EditMode::None &&
      try_begin_point(app, static_cast<std::uint16_t>(h.row), static_cast<std::uint8_t>(h.column))) {
    app.capture = CaptureMode::PointRange;
    app.window.setCapture(true);
    return 0;
  }
  if (!commit_if_editing(app))
    return 0;
  hide_comment(app);
  if (press_for_new_object(app, h, p))
    return 0;
  const CellPos origin = scrollPaneOrigin(*s);
  switch (h.region) {
  case view::HitRegion::Corner:
    set_selection(app, wholeSheet(), origin, false);
    return 0;
  case view::HitRegion::ColumnHeader:
  case view::HitRegion::RowHeader: {
    const bool columns = h.region == view::HitRegion::ColumnHeader;
    if (h.sizingLine >= 0) {
      // The line's own span, whatever the rows (columns) around it: a hidden
      // top row must not make the drag measure from the window's edge.
      int from = 0, to = 0;
      const bool shown = columns ? view::columnSpan(*s, app.layout, h.sizingLine, from, to)
                                 : view::rowSpan(*s, app.layout, h.sizingLine, from, to);
      if (!shown)
        return 0;
      app.sizing = {h.sizingLine, from, columns ? p.x : p.y, columns ? p.x : p.y};
      app.capture = columns ? CaptureMode::ResizeColumn : CaptureMode::ResizeRow;
      app.window.setCapture(true);
      app.window.invalidate(app.layout.grid);
      return 0;
    }
    // Shift extends from the active cell, which stays where it is: only the
    // columns (rows) of the selection change.
    if (columns) {
      const int from = shift ? s->activeColumn : h.column;
      set_selection(app, wholeColumns(from, h.column), posOf(shift ? s->activeRow : s->topRow, from), false);
      m.columnHeaders = true;
    } else {
      const int from = shift ? s->activeRow : h.row;
      set_selection(app, wholeRows(from, h.row), posOf(from, shift ? s->activeColumn : s->leftColumn), false);
      m.rowHeaders = true;
    }
    app.capture = CaptureMode::SelectCells;
    app.window.setCapture(true);
    return 0;
  }
  case view::HitRegion::Object:
    pressObject(app, h.object, h.handle, p);
    return 0;
  case view::HitRegion::Cell:
    break;
  default:
    return 0;
  }
  select_object(app, -1);
  if (shift) {
    set_selection(app, includeMerged(*s, rangeOf(s->activeRow, s->activeColumn, h.row, h.column)),
                  std::nullopt, false);
    return 0;
  }
  selectCell(app, *s, h.row, h.column);
  if (model::commentAt(*s, s->activeRow, s->activeColumn) >= 0)
    app.window.setTimer(kTimerComment, kCommentDelayMs);
  if (const model::Hyperlink* link = model::hyperlinkAt(*s, s->activeRow, s->activeColumn)) {
    follow_hyperlink(app, link->target);
    return 0;
  }
  app.capture = CaptureMode::SelectCells;
  app.window.setCapture(true);
  return 0;
}

LResult on_mousemove(App& app, unsigned, WParam, LParam lParam) {
  model::Workbook* book = app.book();
  if (!book)
    return 0;
  const platform::Point p{pointX(lParam), pointY(lParam)};
  MouseState& m = mouse();
  m.last = p;
  switch (app.capture) {
  case CaptureMode::SelectCells:
  case CaptureMode::PointRange: {
    const bool outside = !app.layout.cells.contains(p);
    if (outside)
      app.window.setTimer(kTimerAutoScroll, kAutoScrollMs);
    else
      app.window.killTimer(kTimerAutoScroll);
    if (app.capture == CaptureMode::SelectCells) {
      dragSelectTo(app, p);
    } else {
      const view::HitTest h = cellUnder(app, p);
      if (h.row >= 0 && h.column >= 0)
        extend_point(app, static_cast<std::uint16_t>(h.row), static_cast<std::uint8_t>(h.column));
    }
    return 0;
  }
  case CaptureMode::ResizeColumn:
  case CaptureMode::ResizeRow: {
    // The sizing line follows the mouse: repaint where it was and where it is.
    const bool columns = app.capture == CaptureMode::ResizeColumn;
    const int was = std::max(app.sizing.start, app.sizing.at);
    app.sizing.at = columns ? p.x : p.y;
    const int now = std::max(app.sizing.start, app.sizing.at);
    const platform::Rect& g = app.layout.grid;
    for (const int at : {was, now})
      app.window.invalidate(columns ? platform::Rect{at - 1, g.top, at + 2, g.bottom}
                                    : platform::Rect{g.left, at - 1, g.right, at + 2});
    return 0;
  }
  case CaptureMode::MoveObject:
  case CaptureMode::SizeObject: {
    if (const Sheet* s = app.gridSheet()) {
      app.window.invalidate(dragOutline(app, *s));
      app.objectDrag.now = p;
      app.window.invalidate(dragOutline(app, *s));
    }
    return 0;
  }
  case CaptureMode::NewObject: {
    const auto outline = [&] {
      const platform::Rect r = new_object_outline(app).rect;
      return platform::Rect{r.left - 2, r.top - 2, r.right + 2, r.bottom + 2};
    };
    app.window.invalidate(outline());
    app.objectDrag.now = p;
    app.window.invalidate(outline());
    return 0;
  }
  default:
    break;
  }
  const view::HitTest h = view::hitTest(*book, app.layout, p);
  if (h.sizingLine >= 0)
    app.window.setCursor(h.region == view::HitRegion::ColumnHeader ? platform::CursorShape::SizeColumns
                                                                   : platform::CursorShape::SizeRows);
  else
    app.window.setCursor(app.insertKind != 0 && (h.region == view::HitRegion::Cell || h.region == view::HitRegion::Object)
                             ? platform::CursorShape::Cross
                             : platform::CursorShape::Arrow);
  hover_for_comment(app, h);
  return 0;
}

LResult on_lbuttonup(App& app, unsigned, WParam wParam, LParam lParam) {
  const bool shift = (wParam & MK_SHIFT) != 0;
  const CaptureMode was = app.capture;
  app.capture = CaptureMode::None;
  app.window.killTimer(kTimerAutoScroll);
  if (was == CaptureMode::None)
    return 0;
  app.window.setCapture(false);
  Sheet* s = app.gridSheet();
  const platform::Point p{pointX(lParam), pointY(lParam)};
  if (was == CaptureMode::MoveObject || was == CaptureMode::SizeObject || was == CaptureMode::NewObject) {
    finish_object_drag(app, was, p, shift);
    return 0;
  }
  if (!s || (was != CaptureMode::ResizeColumn && was != CaptureMode::ResizeRow))
    return 0;
  const bool columns = was == CaptureMode::ResizeColumn;
  const SizingDrag sizing = app.sizing;
  app.sizing = {};
  // A click on the border that did not move it (the first half of a double
  // click, which fits the line instead) changes nothing.
  if ((columns ? p.x : p.y) == sizing.pressed) {
    app.window.invalidate(app.layout.grid);
    return 0;
  }
  const int px = std::max(0, (columns ? p.x : p.y) - sizing.start);
  const int line = sizing.line;
  if (columns) {
    if (!record_line_sizes(app, model::kUndoColumnWidth, wholeColumns(line, line))) {
      app.redrawAll();
      return 0;
    }
    const double chars = static_cast<double>(px) / std::max(1, app.layout.scale.standardCharWidthPx);
    model::setColumnWidthChars(*s, static_cast<std::uint8_t>(line), static_cast<std::uint8_t>(line),
                               std::min(255.0, chars));
  } else {
    if (!record_line_sizes(app, model::kUndoRowHeight, wholeRows(line, line))) {
      app.redrawAll();
      return 0;
    }
    // Pixels at the zoomed resolution back to points.
    const double points = static_cast<double>(px) * 72.0 / std::max(1, app.layout.scale.logicalPixelsPerInch);
    model::setRowHeightPoints(*s, static_cast<std::uint16_t>(line), static_cast<std::uint16_t>(line),
                              std::min(409.0, points));
  }
  model::mark_modified(*app.book());
  app.redrawAll();
  return 0;
}

LResult on_lbuttondblclk(App& app, unsigned, WParam, LParam lParam) {
  model::Workbook* book = app.book();
  if (!book)
    return 0;
  const platform::Point p{pointX(lParam), pointY(lParam)};
  app.relayout();
  const view::HitTest h = view::hitTest(*book, app.layout, p);
  if (h.region == view::HitRegion::Tab || h.region == view::HitRegion::TabBar) {
    showSheetListMenu(app, p);
    return 0;
  }
  Sheet* s = app.gridSheet();
  if (!s)
    return 0;
  if ((h.region == view::HitRegion::ColumnHeader || h.region == view::HitRegion::RowHeader) && h.sizingLine >= 0) {
    app.capture = CaptureMode::None;
    app.window.setCapture(false);
    app.sizing = {};
    const bool columns = h.region == view::HitRegion::ColumnHeader;
    // Best fit by double click records what the menu forms record.
    if (!record_line_sizes(app, columns ? model::kUndoColumnWidth : model::kUndoRowHeight,
                           columns ? wholeColumns(h.sizingLine, h.sizingLine) : wholeRows(h.sizingLine, h.sizingLine))) {
      app.redrawAll();
      return 0;
    }
    if (columns) {
      const auto c = static_cast<std::uint8_t>(h.sizingLine);
      model::fitColumnWidths(*book, book->activeSheet, c, c, 0, model::kMaxRow);
    } else {
      const auto r = static_cast<std::uint16_t>(h.sizingLine);
      model::RowRecord rec = model::row_record(*s, r);
      model::set_row_record(*s, r, rec.flags & ~model::kLineCustomHeight, rec.size);
      model::fitRowHeights(*book, book->activeSheet, r, r);
    }
    model::mark_modified(*book);
    app.redrawAll();
    return 0;
  }
  if (h.region == view::HitRegion::Cell && app.editMode == EditMode::None) {
    app.capture = CaptureMode::None;
    app.window.setCapture(false);
    begin_edit(app, true);
  }
  return 0;
}

LResult on_rbuttondown(App& app, unsigned, WParam, LParam lParam) {
  model::Workbook* book = app.book();
  Sheet* s = app.gridSheet();
  if (!book || !s || app.editMode != EditMode::None)
    return 0;
  const platform::Point p{pointX(lParam), pointY(lParam)};
  app.relayout();
  const view::HitTest h = view::hitTest(*book, app.layout, p);
  const CellRange sel = selection(*s);
  const CellPos origin = scrollPaneOrigin(*s);
  switch (h.region) {
  case view::HitRegion::Corner:
    if (!(sel == wholeSheet()))
      set_selection(app, wholeSheet(), origin, false);
    break;
  // A header keeps the active cell's row (column): only the other axis moves.
  case view::HitRegion::ColumnHeader:
    if (!(sel.firstRow == 0 && sel.lastRow == model::kMaxRow && sel.contains(0, h.column)))
      set_selection(app, wholeColumns(h.column, h.column), posOf(s->activeRow, h.column), false);
    break;
  case view::HitRegion::RowHeader:
    if (!(sel.firstColumn == 0 && sel.lastColumn == model::kMaxColumn && sel.contains(h.row, 0)))
      set_selection(app, wholeRows(h.row, h.row), posOf(h.row, s->activeColumn), false);
    break;
  case view::HitRegion::Cell:
    if (!sel.contains(h.row, h.column))
      selectCell(app, *s, h.row, h.column);
    break;
  default:
    return 0;
  }
  showContextMenu(app, h, p);
  return 0;
}

LResult on_mousewheel(App& app, unsigned, WParam wParam, LParam) {
  constexpr int kNotch = 120;
  const int delta = static_cast<std::int16_t>(hiWord(wParam));
  if (delta == 0)
    return 0;
  int& held = app.wheelRemainder;
  bool up = delta > 0;
  if (std::abs(delta) >= kNotch) {
    // A notch or more is one line, however many notches it holds.
    held = 0;
  } else {
    // A touchpad's small steps add up to a notch before they scroll; turning
    // back starts again.
    if (held != 0 && (held > 0) != up)
      held = 0;
    held += delta;
    if (std::abs(held) < kNotch)
      return 0;
    up = held > 0;
    held -= up ? kNotch : -kNotch;
  }
  return on_scroll(app, WM_VSCROLL, up ? SB_LINEUP : SB_LINEDOWN, kIdVerticalScroll);
}

LResult on_scroll(App& app, unsigned msg, WParam wParam, LParam lParam) {
  const unsigned code = loWord(wParam);
  if (msg == WM_HSCROLL && lParam == kIdTabScroll) {
    if (code == SB_LINEUP || code == SB_LINEDOWN)
      scrollTabs(app, code == SB_LINEUP ? -1 : 1);
    else if (code == SB_THUMBPOSITION && app.book())
      scrollTabs(app, static_cast<int>(hiWord(wParam)) - app.book()->firstVisibleTab);
    return 0;
  }
  Sheet* s = app.gridSheet();
  if (!s)
    return 0;
  const bool rows = msg == WM_VSCROLL;
  const int position = static_cast<int>(hiWord(wParam));
  switch (code) {
  case SB_LINEUP:
  case SB_LINEDOWN: {
    const int delta = code == SB_LINEUP ? -1 : 1;
    if (rows)
      scrollTo(app, s->topRow + delta, s->leftColumn);
    else
      scrollTo(app, s->topRow, s->leftColumn + delta);
    break;
  }
  case SB_PAGEUP:
  case SB_PAGEDOWN:
    if (rows)
      pageRows(app, code == SB_PAGEDOWN, false);
    else
      pageColumns(app, code == SB_PAGEDOWN);
    break;
  case SB_THUMBTRACK:
  case SB_THUMBPOSITION:
    if (rows)
      scrollTo(app, position, s->leftColumn);
    else
      scrollTo(app, s->topRow, position);
    break;
  default:
    break;
  }
  return 0;
}

LResult on_timer(App& app, unsigned, WParam wParam, LParam) {
  const int id = static_cast<int>(wParam);
  if (id == kTimerComment) {
    app.window.killTimer(kTimerComment);
    if (Sheet* s = app.gridSheet(); s && app.hooks.showComment)
      app.hooks.showComment(app, activeCell(*s));
    return 0;
  }
  if (id == kTimerCopyOutline) {
    tick_copy_outline(app);
    return 0;
  }
  if (id == kTimerAutoScroll) {
    if (app.capture != CaptureMode::SelectCells && app.capture != CaptureMode::PointRange) {
      app.window.killTimer(kTimerAutoScroll);
      return 0;
    }
    const platform::Point p = mouse().last;
    autoScrollTowards(app, p);
    on_mousemove(app, WM_MOUSEMOVE, 0, makePointParam(p.x, p.y));
  }
  return 0;
}

} // namespace app
