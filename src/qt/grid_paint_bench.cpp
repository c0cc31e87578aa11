// Painting a full-screen grid (1920 x 1080) of formatted numbers and texts
// with borders and fills into an image through QPainter, as a repaint of
// the whole window does; a screen holding a 32,000-character wrapped cell;
// a screen with 500 drawing objects of every drawn kind; and one mouse
// move over the grid of the desktop window.

#include "datatools/conditional_format.h"
#include "drawing/object_edit.h"
#include "drawing/picture_fill.h"
#include "fileformats/image/picture.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/set_cell.h"
#include "model/sheet.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"
#include "qt/app_setup.h"
#include "qt/main_window.h"
#include "qt/qt_canvas.h"
#include "view/grid_painter.h"
#include "view/object_painting.h"
#include "view/paint_services.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

/// Paints the book's active sheet on a full-HD screen once per iteration;
/// the layout painted is returned for the counters.
view::GridLayout paintFullHdScreens(benchmark::State& state, model::Workbook& book) {
  QImage image(1920, 1080, QImage::Format_RGB32);
  const view::GridLayout layout = view::relayout(book, view::LayoutInput{{0, 0, 1920, 1080}, 0, 0, 17, 17});
  const platform::Rect all{0, 0, 1920, 1080};
  for (auto _ : state) {
    QPainter painter(&image);
    qtui::QtCanvas canvas(painter);
    view::paint(canvas, book, layout, all);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  return layout;
}

void BM_PaintFullHdGrid(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  qtui::QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();

  // Four formats: money with a thousands separator, percent, a bordered
  // fill, and wrapped bold text.
  model::CellFormat money = book.cellFormats[15];
  money.numberFormatIndex = 4; // #,##0.00
  model::CellFormat percent = book.cellFormats[15];
  percent.numberFormatIndex = 10;
  model::CellFormat boxed = book.cellFormats[15];
  boxed.fillPattern = 1;
  boxed.patternColour = 13;
  for (model::Border& b : boxed.borders)
    b.style = 1;
  model::CellFormat wrapped = book.cellFormats[15];
  wrapped.flags |= model::kFormatWrapText;
  const std::uint16_t formats[4] = {
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, money)),
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, percent)),
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, boxed)),
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, wrapped))};
  for (int r = 0; r < 70; ++r)
    for (int c = 0; c < 40; ++c) {
      const int kind = (r + c) % 4;
      const std::string text = kind == 3 ? "Item " + std::to_string(r * 40 + c) : std::to_string((r + 1) * 1234.5 / (c + 1));
      (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                            platform::fromUtf8(text), formats[kind], false, false);
    }
  const view::GridLayout layout = paintFullHdScreens(state, book);
  state.counters["cells"] = static_cast<double>((layout.bottomRow + 1) * (layout.rightColumn + 1));
  platform::setTextMetrics(nullptr);
}
BENCHMARK(BM_PaintFullHdGrid)->Unit(benchmark::kMillisecond);

// A full-HD screen over which 500 objects lie: rectangles, ovals, lines
// with arrow heads, text boxes with wrapped text, preset stars and arrows,
// and 64 by 64 pictures, each about 120 by 70 pixels.
void BM_PaintFiveHundredObjects(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  qtui::QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  view::installObjectPainting();
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();
  model::Sheet& sheet = book.sheet(0);
  auto picture = std::make_shared<image::Picture>();
  picture->bitmap.width = picture->bitmap.height = 64;
  picture->bitmap.pixels.assign(64 * 64, 0xFF3080C0);
  const int kinds[] = {model::kObjectRectangle, model::kObjectOval,   model::kObjectLine,
                       model::kObjectTextBox,   model::kObjectOfficeShape, model::kObjectPicture};
  for (int i = 0; i < 500; ++i) {
    const int kind = kinds[i % 6];
    model::DrawingObject o = drawing::newObject(kind);
    o.fillColour = 0x80C0F0;
    o.endArrow = 1;
    o.shapeType = (i / 6) % 2 ? 12 : 13;
    if (kind == model::kObjectTextBox)
      o.text = u"A text box of a few words that wraps";
    if (kind == model::kObjectPicture)
      o.payload.reset(std::make_unique<image::PicturePayload>(picture));
    const int x = (i * 97) % 1780, y = (i * 53) % 980;
    (void)drawing::addObject(sheet, std::move(o), {x, y, x + 120, y + 70}, model::unzoomedScale());
  }
  const view::GridLayout layout = paintFullHdScreens(state, book);
  state.counters["objects"] = 500;
  platform::setTextMetrics(nullptr);
}
BENCHMARK(BM_PaintFiveHundredObjects)->Unit(benchmark::kMillisecond);

// Forty shapes of about 400 by 300 pixels filled with a 256 by 256 picture,
// half stretched and half tiled, ovals and rectangles, over a full-HD
// screen: each paint lays every picture inside its outline anew.
void BM_PaintPictureFilledShapes(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  qtui::QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  view::installObjectPainting();
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();
  model::Sheet& sheet = book.sheet(0);
  auto picture = std::make_shared<image::Picture>();
  picture->bitmap.width = picture->bitmap.height = 256;
  for (int i = 0; i < 256 * 256; ++i)
    picture->bitmap.pixels.push_back(0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8));
  for (int i = 0; i < 40; ++i) {
    model::DrawingObject o = drawing::newObject(i % 2 ? model::kObjectOval : model::kObjectRectangle);
    (void)drawing::setFillPicture(o, picture, i % 4 < 2 ? drawing::PictureFill::Stretched : drawing::PictureFill::Texture);
    const int x = (i * 211) % 1500, y = (i * 127) % 760;
    (void)drawing::addObject(sheet, std::move(o), {x, y, x + 400, y + 300}, model::unzoomedScale());
  }
  const view::GridLayout layout = paintFullHdScreens(state, book);
  state.counters["objects"] = 40;
  platform::setTextMetrics(nullptr);
}
BENCHMARK(BM_PaintPictureFilledShapes)->Unit(benchmark::kMillisecond);

// The same screen of numbers under one conditional format of three
// conditions per cell: a "between" whose bounds are absolute formulas, a
// formula relative to each cell, and a constant "greater". Range(0) paints
// with the per-cell answers dropped before each paint (the operands moved to
// each cell are computed again too); Range(1) repaints with them kept, as
// scrolling back and forth or moving the selection does.
void BM_PaintThreeConditionsPerCell(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  qtui::QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  view::paintServices().activeCondition = [](model::Workbook& b, int sheet, int row, int column) {
    return datatools::activeCondition(b, sheet, row, column);
  };
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();
  for (int r = 0; r < 70; ++r)
    for (int c = 0; c < 40; ++c)
      (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                            platform::fromUtf8(std::to_string((r * 37 + c * 11) % 2000)), 15, false, false);
  (void)model::set_cell(book, 0, 0, 45, u"200", 15, false, false);
  (void)model::set_cell(book, 0, 1, 45, u"400", 15, false, false);
  model::ConditionalFormat set;
  model::FormatCondition between;
  between.kind = 1;
  between.op = 1;
  between.operand1 = u"=$AT$1";
  between.operand2 = u"=$AT$2";
  between.hasPattern = true;
  between.pattern[model::kCondFill] = {true, 1};
  between.pattern[model::kCondBackgroundColour] = {true, 13};
  model::FormatCondition relative;
  relative.kind = 2;
  relative.operand1 = u"=A1>B1+500";
  relative.hasFont = true;
  relative.font[model::kCondBold] = {true, 1};
  relative.font[model::kCondColour] = {true, 10};
  model::FormatCondition greater;
  greater.kind = 1;
  greater.op = 5;
  greater.operand1 = u"1500";
  greater.hasBorder = true;
  for (model::ConditionBorder& b : greater.borders)
    b = {true, 2, 12};
  set.conditions = {between, relative, greater};
  set.ranges = {model::CellRange{0, 0, 69, 39}};
  book.sheet(0).conditionalFormats = {set};
  QImage image(1920, 1080, QImage::Format_RGB32);
  const view::GridLayout layout = view::relayout(book, view::LayoutInput{{0, 0, 1920, 1080}, 0, 0, 17, 17});
  const platform::Rect all{0, 0, 1920, 1080};
  const bool keep = state.range(0) == 1;
  {
    QPainter painter(&image);
    qtui::QtCanvas canvas(painter);
    view::paint(canvas, book, layout, all); // values computed once, as the window's first paint does
  }
  for (auto _ : state) {
    if (!keep)
      (void)book.sheet(0).conditionalFormats.edit(); // the per-cell cache goes with the index
    QPainter painter(&image);
    qtui::QtCanvas canvas(painter);
    view::paint(canvas, book, layout, all);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["cells"] = static_cast<double>((layout.bottomRow + 1) * (layout.rightColumn + 1));
  view::paintServices().activeCondition = nullptr;
  platform::setTextMetrics(nullptr);
}
BENCHMARK(BM_PaintThreeConditionsPerCell)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A screen whose A1 holds one wrapping 32,000-character word (Range(0)) or
// 32,000 characters of short words (Range(1)), with B1:J40 filled around it.
void BM_PaintLongWrappedCell(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  qtui::QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();
  model::CellFormat wrap = book.cellFormats[15];
  wrap.flags |= model::kFormatWrapText;
  const auto wrapFormat = static_cast<std::uint16_t>(model::findOrAddCellFormat(book, wrap));
  std::u16string text;
  if (state.range(0) == 0) {
    text.assign(32000, u'w');
  } else {
    while (text.size() < 32000)
      text += u"lorem ipsum dolor sit amet ";
    text.resize(32000);
  }
  (void)model::set_cell(book, 0, 0, 0, text, wrapFormat, true, false);
  for (int r = 0; r < 40; ++r)
    for (int c = 1; c < 10; ++c)
      (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                            platform::fromUtf8(std::to_string(r * 10 + c)), 15, false, false);
  const view::GridLayout layout = paintFullHdScreens(state, book);
  // The cell is fitted to its text, at most 409 points: it fills its screen.
  if (model::row_height(book.sheet(0), 0) != model::kMaxFittedRowHeight)
    state.SkipWithError("the wrapped cell did not grow to its full height");
  state.counters["chars"] = static_cast<double>(text.size());
  platform::setTextMetrics(nullptr);
}
BENCHMARK(BM_PaintLongWrappedCell)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A big sheet: 5,000 merged ranges (A:B and C:D of rows 60101-62600) and
// 60,000 hidden rows (101-60100) between the rows the screen shows.
struct BigSheet {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  qtui::QtTextMetrics metrics;
  model::WorkbookList books;
  model::Workbook* book = nullptr;

  BigSheet() {
    platform::setTextMetrics(&metrics);
    formula::installFormulaEngine();
    functions::registerAllFunctions();
    (void)books.new_workbook(nullptr);
    book = books.active();
    model::Sheet& sheet = book->sheet(0);
    model::setRowHeightPoints(sheet, 100, 60099, 0);
    for (int i = 0; i < 2500; ++i)
      for (int c = 0; c < 4; c += 2) {
        const auto row = static_cast<std::uint16_t>(60100 + i);
        (void)model::addMergedRange(sheet, model::CellRange{row, static_cast<std::uint8_t>(c), row,
                                                            static_cast<std::uint8_t>(c + 1)});
        (void)model::set_cell(*book, 0, row, static_cast<std::uint8_t>(c),
                              platform::fromUtf8("merged " + std::to_string(i)), 15, false, false);
      }
    for (int r = 80; r < 100; ++r)
      for (int c = 0; c < 20; ++c)
        (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                              platform::fromUtf8(std::to_string(r * 100 + c)), 15, false, false);
    sheet.topRow = 80;
  }
  ~BigSheet() { platform::setTextMetrics(nullptr); }
};

void BM_PaintMergedAndHiddenRows(benchmark::State& state) {
  BigSheet big;
  QImage image(1920, 1080, QImage::Format_RGB32);
  const view::GridLayout layout = view::relayout(*big.book, view::LayoutInput{{0, 0, 1920, 1080}, 0, 0, 17, 17});
  const platform::Rect all{0, 0, 1920, 1080};
  for (auto _ : state) {
    QPainter painter(&image);
    qtui::QtCanvas canvas(painter);
    view::paint(canvas, *big.book, layout, all);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  if (layout.bottomRow < 60100)
    state.SkipWithError("the screen does not reach past the hidden rows");
  state.counters["bottom_row"] = layout.bottomRow;
}
BENCHMARK(BM_PaintMergedAndHiddenRows)->Unit(benchmark::kMillisecond);

void BM_RelayoutOverHiddenRows(benchmark::State& state) {
  BigSheet big;
  for (auto _ : state) {
    const view::GridLayout layout = view::relayout(*big.book, view::LayoutInput{{0, 0, 1920, 1080}, 0, 0, 17, 17});
    benchmark::DoNotOptimize(layout.bottomRow);
  }
}
BENCHMARK(BM_RelayoutOverHiddenRows)->Unit(benchmark::kMicrosecond);

// One mouse move over the cells of the desktop window, as the grid widget
// posts it: the menus are not built and the tool buttons not touched.
void BM_MouseMoveOverGrid(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  model::WorkbookList books;
  qtui::installAppServices(books);
  (void)books.new_workbook(nullptr);
  qtui::MainWindow window(books);
  window.resize(1280, 800);
  window.show();
  QApplication::processEvents();
  const int menusBefore = window.menuUpdates();
  const int buttonsBefore = window.toolButtonUpdates();
  int x = 0;
  for (auto _ : state) {
    x = (x + 7) % 600;
    window.post(app::WM_MOUSEMOVE, 0, app::makePointParam(200 + x, 200 + x / 3));
  }
  if (window.menuUpdates() != menusBefore || window.toolButtonUpdates() != buttonsBefore)
    state.SkipWithError("a mouse move rebuilt the menus or touched the tool bar");
  state.counters["menu_updates"] = window.menuUpdates() - menusBefore;
  state.counters["tool_button_updates"] = window.toolButtonUpdates() - buttonsBefore;
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MouseMoveOverGrid)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
