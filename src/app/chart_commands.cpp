// Insert > 图表: a chart built from the selection, as a chart sheet (164) or
// as an object on the worksheet (165); and the chart settings dialog on the
// active chart sheet or the selected embedded chart.

#include "app/command_table.h"
#include "app/drawing_commands.h"
#include "app/frame.h"
#include "app/navigation.h"
#include "charts/chart_model.h"
#include "datatools/sort.h"
#include "dialogs/chart_dialog.h"
#include "drawing/object_edit.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/memory.h"
#include "platform/ui_services.h"

#include <algorithm>

namespace app {
namespace {

constexpr int kCmdChartSheet = 164;
constexpr int kCmdChartObject = 165;
// A new embedded chart's size at zoom 100, in pixels.
constexpr int kChartWidth = 360;
constexpr int kChartHeight = 216;

// The block a new chart plots: the selection, or the current region around
// the active cell when the selection is one cell.
model::CellRange chartBlock(const model::Sheet& s) {
  const model::CellRange sel = selection(s);
  if (sel.firstRow == sel.lastRow && sel.firstColumn == sel.lastColumn)
    return datatools::currentRegion(s, s.activeRow, s.activeColumn);
  return sel;
}

// A new chart of the block; nullopt when the font table is full. `made`
// tells whether its series could be guessed.
std::optional<charts::ChartModel> chartOfBlock(model::Workbook& book, const model::Sheet& source, bool& made) {
  std::optional<charts::ChartModel> chart = charts::newChart(book);
  if (!chart)
    return std::nullopt;
  std::optional<charts::ChartSeries> series = charts::guessSeries(source.name, chartBlock(source));
  made = series.has_value();
  if (series) {
    series->labelFont = chart->extraFont2;
    chart->series.push_back(std::move(*series));
  }
  return chart;
}

// Without a guessed series the user defines them in the dialog, on its type
// page; Cancel leaves the chart without series.
void defineSeries(model::Workbook& book, int sheet, charts::ChartModel& chart, bool made) {
  if (!made)
    (void)dialogs::showChartDialog(book, sheet, chart, dialogs::kChartTypePage);
}

void onChartSheet(App& app, int) {
  model::Workbook* book = app.book();
  if (!book)
    return;
  // The source is the active worksheet, or else the first one.
  int source = book->activeSheet;
  if (source < 0 || source >= book->sheetCount() || book->sheet(source).kind != model::SheetKind::Worksheet) {
    source = -1;
    for (int i = 0; i < book->sheetCount() && source < 0; ++i)
      if (book->sheet(i).kind == model::SheetKind::Worksheet)
        source = i;
  }
  if (source < 0)
    return;
  bool made = false;
  std::optional<charts::ChartModel> chart = chartOfBlock(*book, book->sheet(source), made);
  if (!chart || !model::insert_sheet(*book, book->sheetCount(), std::nullopt, model::SheetKind::Chart, true))
    return;
  const int index = book->activeSheet;
  defineSeries(*book, index, *chart, made);
  charts::setSheetChart(book->sheet(index), std::move(*chart));
  model::mark_modified(*book);
  refreshAfterSwitch(app);
}

void onChartObject(App& app, int) {
  model::Workbook* book = app.book();
  model::Sheet* s = app.gridSheet();
  if (!book || !s || s->kind != model::SheetKind::Worksheet || s->selectedObject >= 0)
    return;
  const model::CellRange block = chartBlock(*s);
  if (!record_object_undo(app, model::kUndoInsertObject))
    return;
  bool made = false;
  std::optional<charts::ChartModel> chart = chartOfBlock(*book, *s, made);
  if (!chart)
    return;
  // Right of the block, its top level with the block's.
  const model::PixelScale scale = model::unzoomedScale();
  const int column = block.lastColumn < model::kColumnCount - 1 ? block.lastColumn + 1 : block.firstColumn;
  const int left = model::column_offset_px(*s, column, 0, scale) + 8;
  const int top = model::row_offset_px(*s, block.firstRow, 0, scale);
  const platform::Rect r{left, top, left + kChartWidth, top + kChartHeight};
  defineSeries(*book, book->activeSheet, *chart, made);
  model::DrawingObject o = charts::makeChartObject(std::move(*chart), model::pixelsToAnchor(*s, r, scale));
  s->selectedObject = drawing::addObject(*s, std::move(o), r, scale);
  model::mark_modified(*book);
  app.redrawAll();
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar | platform::kRepaintTitle);
}

const CommandEntry kRows[] = {
    {kCmdChartSheet, kCmdChartSheet, onChartSheet},
    {kCmdChartObject, kCmdChartObject, onChartObject},
};

} // namespace

const std::span<const CommandEntry> kChartCommands = kRows;

bool edit_chart(App& app) {
  model::Workbook* book = app.book();
  if (!book || book->activeSheet < 0 || book->activeSheet >= book->sheetCount())
    return false;
  model::Sheet& s = book->active();
  const bool onSheet = s.kind == model::SheetKind::Chart;
  charts::ChartModel* chart = nullptr;
  if (onSheet)
    chart = charts::chartOfSheet(s);
  else if (s.hasGrid() && s.selectedObject >= 0 && s.selectedObject < static_cast<int>(s.objects.size()))
    chart = charts::chartOf(s.objects[static_cast<size_t>(s.selectedObject)]);
  if (!chart) {
    // A chart sheet without a chart (a damaged file) gets an empty one.
    if (!onSheet)
      return false;
    charts::setSheetChart(s, {});
    chart = charts::chartOfSheet(s);
    if (!chart)
      return true;
  }
  // Objects of a protected sheet are locked with its cells.
  if (s.flags & model::kSheetProtected) {
    model::showRefusal(model::GuardRefusal::Protected);
    return true;
  }
  charts::ChartModel edited;
  if (!platform::withAllocation([&] { edited = *chart; }))
    return true;
  if (!dialogs::showChartDialog(*book, book->activeSheet, edited) || edited == *chart)
    return true;
  if (!model::push_undo(*book, book->activeSheet, model::kUndoFormatObject) ||
      !model::save_objects(*book, book->activeSheet))
    return true;
  *chart = std::move(edited);
  model::mark_modified(*book);
  app.redrawAll();
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar | platform::kRepaintTitle);
  return true;
}

} // namespace app
