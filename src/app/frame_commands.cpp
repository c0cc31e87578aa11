// The File, Window, View and sheet commands of the main menu.

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/frame.h"
#include "app/menu_table.h"
#include "app/navigation.h"
#include "app/status_bar.h"
#include "charts/chart_render.h"
#include "fileformats/image/bitmap_file.h"
#include "fileformats/open_save.h"
#include "model/display_text.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/raster.h"
#include "platform/ui_services.h"

#include <algorithm>

namespace app {
namespace {

constexpr int kFirstRecentCommand = 118;

// The open dialog's filters, the first one spanning every type we read.
const std::u16string& openFilter() {
  static const std::u16string filter = [] {
    std::u16string f(fileformats::kOpenFilterName);
    f += u" (";
    f += fileformats::kOpenFilterPattern;
    f += u");;Excel 文件 (*.xls);;Pocket Excel 文件 (*.pxl);;逗号分隔符文件 (*.csv);;"
         u"制表符分隔文本文件 (*.txt);;模板文件 (*.xlt)";
    return f;
  }();
  return filter;
}


} // namespace

void refreshAfterSwitch(App& app) {
  if (app.editMode == EditMode::None)
    refresh_formula_bar(app);
  app.redrawAll();
  platform::ui().requestRepaint(platform::kRepaintTitle | platform::kRepaintMenus |
                                platform::kRepaintFormulaBar);
  update_status_summary(app);
}

namespace {

// ---- File ----

void onNew(App& app, int) {
  (void)app.books.new_from_template(app.programDirectory);
  refreshAfterSwitch(app);
}

void onOpen(App& app, int) {
  const std::optional<std::u16string> path = app.window.askOpenFileName(openFilter());
  if (!path || path->empty())
    return;
  (void)fileformats::openWorkbookFile(app.books, *path, true);
  refreshAfterSwitch(app);
}

void onClose(App& app, int) {
  if (!app.book())
    return;
  app.books.close_workbook();
  refreshAfterSwitch(app);
}

void onSave(App& app, int) {
  model::Workbook* book = app.book();
  if (!book)
    return;
  const std::u16string path = book->path; // Save As may replace it
  (void)fileformats::saveWorkbookFile(app.books, path, false);
  platform::ui().requestRepaint(platform::kRepaintTitle);
}

void onSaveAs(App& app, int) {
  model::Workbook* book = app.book();
  if (!book)
    return;
  const std::u16string path = book->path;
  (void)fileformats::saveWorkbookAs(app.books, path);
}

} // namespace

std::optional<platform::Bitmap> chart_sheet_picture(App& app, model::Workbook& book) {
  if (book.activeSheet < 0 || book.activeSheet >= book.sheetCount() ||
      book.active().kind != model::SheetKind::Chart)
    return std::nullopt;
  const view::GridLayout g = view::relayout(book, app.layoutInput);
  const platform::Rect area{0, 0, g.grid.width(), g.grid.height()};
  std::unique_ptr<platform::RasterSurface> surface = platform::makeRasterSurface(area.width(), area.height());
  if (!surface)
    return std::nullopt;
  charts::drawChartSheet(surface->canvas(), book, book.activeSheet, area);
  return surface->pixels();
}

std::optional<platform::Bitmap> chart_object_picture(const model::Workbook& book, const model::Sheet& sheet, int object) {
  if (object < 0 || object >= static_cast<int>(sheet.objects.size()) ||
      sheet.objects[static_cast<size_t>(object)].kind != model::kObjectChart)
    return std::nullopt;
  const platform::Rect r = model::anchorToPixels(sheet, sheet.objects[static_cast<size_t>(object)].anchor,
                                                 model::unzoomedScale());
  if (r.width() <= 0 || r.height() <= 0)
    return std::nullopt;
  std::unique_ptr<platform::RasterSurface> surface = platform::makeRasterSurface(r.width(), r.height());
  if (!surface || !charts::drawChartObject(surface->canvas(), book, sheet, object, {0, 0, r.width(), r.height()}))
    return std::nullopt;
  return surface->pixels();
}

bool copy_chart_picture(App& app, const std::optional<platform::Bitmap>& picture, std::u16string_view text) {
  const model::Workbook* book = app.book();
  if (!book || !picture || picture->width <= 0 || picture->height <= 0)
    return false;
  const std::vector<std::uint8_t> file = image::chartBitmapFile(*picture, book->palette);
  if (file.empty())
    return false;
  app.window.setClipboardPicture(file, text);
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar);
  return true;
}

namespace {

void onRecentFile(App& app, int id) {
  (void)fileformats::open_recent_file(app.books, id - kFirstRecentCommand);
  refreshAfterSwitch(app);
}

void onExit(App& app, int) { on_close(app, WM_CLOSE, 0, 0); }

// ---- sheets ----

void onDeleteSheet(App& app, int) {
  if (model::Workbook* book = app.book(); book && model::delete_active_sheet(*book))
    refreshAfterSwitch(app);
}

void onInsertSheet(App& app, int id) {
  model::Workbook* book = app.book();
  if (!book)
    return;
  const model::SheetKind kind = id == 166 ? model::SheetKind::Macro : model::SheetKind::Worksheet;
  if (model::insert_sheet(*book, book->sheetCount(), std::nullopt, kind, true))
    refreshAfterSwitch(app);
}

void onHideSheet(App& app, int) {
  if (model::Workbook* book = app.book(); book && model::hide_sheet(*book, book->activeSheet))
    refreshAfterSwitch(app);
}

// ---- rows and columns ----

void onRowsAndColumns(App& app, int id) {
  model::Sheet* sheet = app.gridSheet();
  if (!sheet)
    return;
  model::Workbook& book = *app.book();
  const int index = book.activeSheet;
  const model::CellRange sel = selection(*sheet);
  const model::CellRange rows = wholeRows(sel.firstRow, sel.lastRow);
  const model::CellRange columns = wholeColumns(sel.firstColumn, sel.lastColumn);
  switch (id) {
  case 192:
    if (!record_line_sizes(app, model::kUndoRowHeight, rows))
      return;
    model::fitRowHeights(book, index, sel.firstRow, sel.lastRow);
    break;
  case 193:
    if (!record_line_sizes(app, model::kUndoHideRows, rows))
      return;
    model::setRowHeightPoints(*sheet, sel.firstRow, sel.lastRow, 0);
    break;
  case 194:
    if (!record_line_sizes(app, model::kUndoUnhideRows, rows))
      return;
    model::unhideRows(*sheet, sel.firstRow, sel.lastRow);
    break;
  case 196:
    if (!record_line_sizes(app, model::kUndoColumnWidth, columns))
      return;
    model::fitColumnWidths(book, index, sel.firstColumn, sel.lastColumn, sel.firstRow, sel.lastRow);
    break;
  case 197:
    if (!record_line_sizes(app, model::kUndoHideColumns, columns))
      return;
    model::setColumnWidthChars(*sheet, sel.firstColumn, sel.lastColumn, 0);
    break;
  case 198:
    if (!record_line_sizes(app, model::kUndoUnhideColumns, columns))
      return;
    model::unhideColumns(*sheet, sel.firstColumn, sel.lastColumn);
    break;
  default:
    return;
  }
  model::mark_modified(book);
  app.redrawAll();
}

// ---- view ----

void onSheetFlag(App& app, int id) {
  model::Sheet* sheet = app.gridSheet();
  if (!sheet)
    return;
  const std::uint32_t flag = id == 203   ? model::kSheetShowGridlines
                             : id == 204 ? model::kSheetShowHeaders
                                         : model::kSheetShowFormulas;
  const model::UndoAction action = id == 203   ? model::kUndoGridlines
                                   : id == 204 ? model::kUndoHeaders
                                               : model::kUndoShowFormulas;
  model::Workbook& book = *app.book();
  if (!record_undo(app, action))
    return;
  sheet->flags ^= flag;
  model::mark_modified(book);
  app.redrawAll();
}

void onZoom(App& app, int id) {
  model::Workbook* book = app.book();
  if (!book || book->sheetCount() == 0)
    return;
  static constexpr std::uint16_t kZooms[] = {75, 100, 150, 200};
  const std::uint16_t zoom = kZooms[id - 205];
  model::Sheet& sheet = book->active();
  if (sheet.zoom == zoom)
    return;
  if (!record_undo(app, model::kUndoZoom))
    return;
  sheet.zoom = zoom;
  model::mark_modified(*book);
  app.redrawAll();
}

void onWorkbookViewFlag(App& app, int id) {
  model::Workbook* book = app.book();
  if (!book)
    return;
  // These flags have no undo action: toggling them is not recorded.
  std::int32_t& flag = id == 213   ? book->showVerticalScrollBar
                       : id == 214 ? book->showHorizontalScrollBar
                                   : book->showSheetTabs;
  flag = flag ? 0 : 1;
  model::mark_modified(*book);
  app.redrawAll();
}

void onBar(App& app, int id) {
  bool& shown = id == 216 ? app.bars.toolBar : id == 217 ? app.bars.formulaBar : app.bars.statusBar;
  shown = !shown;
  const std::uint32_t target = id == 216   ? platform::kRepaintToolBar
                               : id == 217 ? platform::kRepaintFormulaBar
                                           : platform::kRepaintStatusBar;
  platform::ui().requestRepaint(target | platform::kRepaintMenus);
  if (id == 218)
    update_status_summary(app);
  app.redrawAll();
}

void onFreezePanes(App& app, int) {
  model::Sheet* sheet = app.gridSheet();
  if (!sheet)
    return;
  model::Workbook& book = *app.book();
  if (sheet->flags & model::kSheetPanesFrozen) {
    if (!record_undo(app, model::kUndoUnfreezePanes))
      return;
    // The frozen lines become the top of one scrolling pane again.
    if (sheet->scrollPaneRow > sheet->frozenRow)
      sheet->topRow = sheet->frozenRow;
    if (sheet->scrollPaneColumn > sheet->frozenColumn)
      sheet->leftColumn = sheet->frozenColumn;
    sheet->frozenRow = sheet->scrollPaneRow = 0;
    sheet->frozenColumn = sheet->scrollPaneColumn = 0;
    sheet->flags &= ~model::kSheetPanesFrozen;
  } else {
    // Frozen lines come from what the window shows: an active cell out of
    // view would freeze a pane larger than the window.
    scroll_into_view(app, CellPos{sheet->activeRow, sheet->activeColumn});
    // With the active cell at the top left nothing would freeze.
    if (sheet->activeRow <= sheet->topRow && sheet->activeColumn <= sheet->leftColumn)
      return;
    if (!record_undo(app, model::kUndoFreezePanes))
      return;
    // The rows above and the columns left of the active cell, from the
    // first ones shown, stay put; an axis with none of them is not frozen.
    if (sheet->activeRow > sheet->topRow) {
      sheet->frozenRow = sheet->topRow;
      sheet->scrollPaneRow = sheet->activeRow;
      sheet->topRow = sheet->activeRow;
    } else {
      sheet->frozenRow = sheet->scrollPaneRow = 0;
    }
    if (sheet->activeColumn > sheet->leftColumn) {
      sheet->frozenColumn = sheet->leftColumn;
      sheet->scrollPaneColumn = sheet->activeColumn;
      sheet->leftColumn = sheet->activeColumn;
    } else {
      sheet->frozenColumn = sheet->scrollPaneColumn = 0;
    }
    sheet->flags |= model::kSheetPanesFrozen;
  }
  model::mark_modified(book);
  app.redrawAll();
}

// ---- Window ----

void onActivateWorkbook(App& app, int id) {
  const int n = id - kFirstWindowCommand;
  if (n < 0 || n >= app.books.count() || n == app.books.activeIndex())
    return;
  app.books.activate_workbook(n);
  refreshAfterSwitch(app);
}

// clang-format off
const CommandEntry kRows[] = {
  {110, 110, onNew},
  {111, 111, onOpen},
  {112, 112, onClose},
  {113, 113, onSave},
  {114, 114, onSaveAs},
  {117, 117, printCommand},
  {118, 126, onRecentFile},
  {127, 127, onExit},
  {145, 145, onDeleteSheet},
  {163, 163, onInsertSheet},
  {166, 166, onInsertSheet},
  {192, 194, onRowsAndColumns},
  {196, 198, onRowsAndColumns},
  {201, 201, onHideSheet},
  {203, 204, onSheetFlag},
  {205, 208, onZoom},
  {211, 211, onSheetFlag},
  {213, 215, onWorkbookViewFlag},
  {216, 218, onBar},
  {220, 220, onFreezePanes},
  // Identifiers are 16 bits; every one from 230 up names a Window item.
  {kFirstWindowCommand, 0xFFFF, onActivateWorkbook},
};
// clang-format on

} // namespace

const std::span<const CommandEntry> kFrameCommands(kRows);

bool open_handed_file(App& app, std::u16string_view path) {
  app.leaveEndMode();
  const bool opened = path.empty() ? app.books.new_from_template(app.programDirectory)
                                   : fileformats::openWorkbookFile(app.books, path, true);
  refreshAfterSwitch(app);
  return opened;
}

} // namespace app
