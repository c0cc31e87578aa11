#include "printing/print_job.h"

#include "charts/chart_model.h"
#include "formula/recalc.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/recording_canvas.h"
#include "platform/ui_services.h"
#include "view/paint_services.h"

#include <gtest/gtest.h>

#include <memory>

namespace printing {
namespace {

using platform::CanvasOp;
using platform::Rect;

// A printer at twice the screen's 96 dpi, with no unprintable margin: the
// printable rectangle starts 2 * 192 / 96 = 4 pixels in. With the fixed
// metrics "0" of Arial 10 is 7 screen pixels, so 14 printer pixels: default
// rows are 255 * 192 / 1440 = 34 pixels high, columns 8 * 14 = 112 wide.
constexpr platform::PrinterCaps kCaps{192, 192, 1700, 2200, 0, 0, 1700, 2200};

class PrintJobTest : public ::testing::Test {
protected:
  PrintJobTest() : m_scope(ui) {
    formula::installFormulaEngine();
    EXPECT_TRUE(books.new_workbook(nullptr));
  }
  ~PrintJobTest() override {
    view::paintServices() = {};
    model::modelServices() = {};
  }
  model::Workbook& book() { return *books.active(); }
  model::Sheet& sheet() { return book().sheet(0); }
  void put(int row, int column, std::u16string_view text, std::uint16_t format = 15) {
    ASSERT_TRUE(model::set_cell(book(), 0, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                                text, format, false, false));
  }
  std::uint16_t addFormat(const model::CellFormat& f) {
    book().cellFormats.push_back(f);
    return static_cast<std::uint16_t>(book().cellFormats.size() - 1);
  }
  platform::RecordingCanvas printPage(const model::CellRange& page) {
    platform::RecordingCanvas canvas;
    printWorksheetPage(canvas, book(), 0, makePrintJob(book(), kCaps, 96, 96), page);
    return canvas;
  }
  static bool hasLine(const platform::RecordingCanvas& c, platform::Point from, platform::Point to,
                      platform::Colour colour, int width) {
    for (const CanvasOp& op : c.opsOf(CanvasOp::Kind::Line))
      if (op.points[0] == from && op.points[1] == to && op.pen.colour == colour && op.pen.width == width &&
          op.clip.contains(from))
        return true;
    return false;
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  model::WorkbookList books;
};

TEST_F(PrintJobTest, MeasuresWithTheWorkbooksDefaultFontAtThePrintersResolution) {
  PrintJob job = makePrintJob(book(), kCaps, 96, 96);
  EXPECT_EQ(job.printable, (Rect{4, 4, 1700, 2200}));
  EXPECT_EQ(job.zeroWidth, 14);
  EXPECT_EQ(job.fontZoom, 200);
  EXPECT_EQ(job.pixelRatio, 2);
  EXPECT_EQ(rowHeightOnPrinter(sheet(), 0, job), 34);
  EXPECT_EQ(columnWidthOnPrinter(sheet(), 0, job), 112);
  EXPECT_EQ(rowHeightOnPrinter(sheet(), -1, job), 0);
  EXPECT_EQ(columnWidthOnPrinter(sheet(), 256, job), 0);
  // A workbook whose default font is twice as large has columns twice as
  // wide, as its window shows them.
  book().fonts[0].heightTwips = 400;
  job = makePrintJob(book(), kCaps, 96, 96);
  EXPECT_EQ(job.zeroWidth, 28);
  EXPECT_EQ(columnWidthOnPrinter(sheet(), 0, job), 224);
}

TEST_F(PrintJobTest, APageDrawsItsOwnCellsWithTheGridsTextRules) {
  put(0, 0, u"alpha");
  put(0, 3, u"far"); // column D lies on the next page
  put(2, 0, u"below");
  const auto canvas = printPage({0, 0, 1, 1});
  const auto alpha = canvas.textOps(u"alpha");
  ASSERT_EQ(alpha.size(), 1u);
  // A1 spans x 4-116 and y 4-38; the text keeps 2 screen pixels (4 printer
  // pixels) off the sides, at twice its screen size.
  EXPECT_EQ(alpha[0].rect, (Rect{8, 6, 112, 36}));
  EXPECT_EQ(alpha[0].font.heightTwips, 400);
  EXPECT_TRUE(canvas.textOps(u"far").empty());
  EXPECT_TRUE(canvas.textOps(u"below").empty());
}

TEST_F(PrintJobTest, GridlinesInThePalettesGreyExceptAtPatternedCells) {
  book().palette[22] = 0x123456;
  model::CellFormat solid = book().cellFormats[15];
  solid.fillPattern = 1;
  solid.patternColour = 10;
  put(1, 1, u"", addFormat(solid));
  sheet().cells.findOrInsert(1, 1)->formatIndex = static_cast<std::uint16_t>(book().cellFormats.size() - 1);
  put(0, 0, u"1");
  const auto canvas = printPage({0, 0, 1, 1});
  // A2's right edge (x 115, two pixels wide) and A1's bottom edge (y 37).
  EXPECT_TRUE(hasLine(canvas, {115, 38}, {115, 72}, 0x123456, 2));
  EXPECT_TRUE(hasLine(canvas, {4, 37}, {116, 37}, 0x123456, 2));
  // B2 is filled: no gridline at its right or bottom edge.
  EXPECT_FALSE(hasLine(canvas, {227, 38}, {227, 72}, 0x123456, 2));
  EXPECT_FALSE(hasLine(canvas, {116, 71}, {228, 71}, 0x123456, 2));
  bool filled = false;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Fill))
    filled |= op.rect == Rect{116, 38, 228, 72} && op.brush.colour == (book().palette[10] & 0xFFFFFF);
  EXPECT_TRUE(filled);

  sheet().flags &= ~model::kSheetShowGridlines;
  for (const CanvasOp& op : printPage({0, 0, 1, 1}).opsOf(CanvasOp::Kind::Line))
    EXPECT_NE(op.pen.colour, 0x123456u) << "no gridlines when the sheet hides them";
}

TEST_F(PrintJobTest, BordersIncludingThePagesOuterEdges) {
  model::CellFormat f = book().cellFormats[15];
  f.borders[0] = {2, 10}; // left: medium red
  f.borders[3] = {1, 10}; // bottom: thin red
  put(0, 0, u"x", addFormat(f));
  const platform::Colour red = book().palette[10] & 0xFFFFFF;
  const auto canvas = printPage({0, 0, 1, 1});
  EXPECT_TRUE(hasLine(canvas, {4, 37}, {116, 37}, red, 2));
  // The left edge of the page's first column lies in the margin, x 3, and
  // the four-pixel pen is kept on the cell's side of it.
  EXPECT_TRUE(hasLine(canvas, {2, 4}, {2, 38}, red, 4));
}

TEST_F(PrintJobTest, ConditionalFormatsFillAndCommentsAndFilterButtonsStayOff) {
  put(0, 0, u"5");
  sheet().conditionalFormats.push_back({});
  model::FormatCondition c;
  c.kind = 1;
  c.hasPattern = true;
  c.pattern[model::kCondBackgroundColour] = {true, 13};
  view::paintServices().activeCondition = [&](model::Workbook&, int, int row, int column) {
    return row == 0 && column == 0 ? &c : nullptr;
  };
  model::DrawingObject picture, comment, arrow;
  picture.kind = model::kObjectPicture;
  picture.anchor = {{1, 0, 1, 0}, {3, 0, 3, 0}}; // B2 to D4: past the page's edge
  comment.kind = model::kObjectComment;
  comment.visible = true;
  comment.row = 0;
  comment.column = 0;
  comment.anchor = {{0, 0, 0, 0}, {1, 0, 1, 0}};
  arrow.filterArrow = true;
  arrow.anchor = {{0, 0, 0, 0}, {1, 0, 1, 0}};
  sheet().objects = {comment, arrow, picture};
  std::vector<int> drawn;
  view::paintServices().drawObject = [&](platform::Canvas& canvas, const model::Workbook&, const model::Sheet&,
                                         int i, const Rect& r, int zoom) {
    drawn.push_back(i);
    EXPECT_EQ(zoom, 200) << "objects' text and lines grow with the printer's pixels";
    canvas.fillRect(r, platform::Brush::solid(0x00FF00));
  };
  const auto canvas = printPage({0, 0, 1, 1});
  bool conditionFill = false, objectClipped = false;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Fill)) {
    conditionFill |= op.rect == Rect{4, 4, 116, 38} && op.brush.colour == (book().palette[13] & 0xFFFFFF);
    objectClipped |= op.brush.colour == 0x00FF00 && op.clip == Rect{4, 4, 228, 72};
  }
  EXPECT_TRUE(conditionFill);
  EXPECT_EQ(drawn, std::vector<int>{2});
  EXPECT_TRUE(objectClipped) << "the object is cut at the page's cells";
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line))
    EXPECT_NE(op.pen.colour, 0x0000FFu) << "no comment mark";
}

TEST_F(PrintJobTest, PrintsEveryPageInOrderUnderTheProductsName) {
  put(0, 0, u"top");
  put(199, 0, u"bottom");
  platform::RecordingPrintDevice device{kCaps};
  std::vector<std::pair<int, int>> progress;
  const PrintOutcome out = printSheet(device, book(), 0, PrintRange::All, 96, 96, [&](int page, int count) {
    progress.emplace_back(page, count);
    return true;
  });
  // 2196 / 34 = 64 rows a page: 200 rows take 4 pages; 15 columns fit across.
  EXPECT_EQ(out.status, PrintOutcome::Status::Printed);
  EXPECT_EQ(out.pages, 4);
  ASSERT_EQ(device.pages.size(), 4u);
  EXPECT_EQ(device.name, u"Cellwick");
  EXPECT_TRUE(device.ended);
  EXPECT_FALSE(device.aborted);
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(device.pages[0]->textOps(u"top").size(), 1u);
  EXPECT_EQ(device.pages[3]->textOps(u"bottom").size(), 1u);
  EXPECT_TRUE(device.pages[3]->textOps(u"top").empty());
}

TEST_F(PrintJobTest, AnEmptySheetStartsNoDocument) {
  platform::RecordingPrintDevice device{kCaps};
  EXPECT_EQ(printSheet(device, book(), 0, PrintRange::All, 96, 96).status, PrintOutcome::Status::Empty);
  EXPECT_FALSE(device.begun);
  EXPECT_EQ(printSheet(device, book(), 7, PrintRange::All, 96, 96).status, PrintOutcome::Status::Empty);
}

TEST_F(PrintJobTest, CancellingOrAFailingPageThrowsTheDocumentAway) {
  put(199, 0, u"x");
  platform::RecordingPrintDevice cancelled{kCaps};
  PrintOutcome out = printSheet(cancelled, book(), 0, PrintRange::All, 96, 96, [](int page, int) { return page < 2; });
  EXPECT_EQ(out.status, PrintOutcome::Status::Cancelled);
  EXPECT_EQ(out.pages, 1);
  EXPECT_TRUE(cancelled.aborted);
  EXPECT_FALSE(cancelled.ended);

  platform::RecordingPrintDevice failing{kCaps};
  failing.failingPage = 3;
  out = printSheet(failing, book(), 0, PrintRange::All, 96, 96);
  EXPECT_EQ(out.status, PrintOutcome::Status::Failed);
  EXPECT_EQ(out.pages, 2);
  EXPECT_TRUE(failing.aborted);
}

TEST_F(PrintJobTest, TheSelectionPrintsOnlyItsCells) {
  put(0, 0, u"in");
  put(5, 5, u"out");
  sheet().selectionFirst = model::packCell(0, 0);
  sheet().selectionLast = model::packCell(1, 1);
  platform::RecordingPrintDevice device{kCaps};
  EXPECT_EQ(printSheet(device, book(), 0, PrintRange::Selection, 96, 96).pages, 1);
  ASSERT_EQ(device.pages.size(), 1u);
  EXPECT_EQ(device.pages[0]->textOps(u"in").size(), 1u);
  EXPECT_TRUE(device.pages[0]->textOps(u"out").empty());
}

TEST_F(PrintJobTest, AChartSheetPrintsItsChartOnOnePageAtTheScreensSizes) {
  put(0, 0, u"a");
  put(1, 0, u"b");
  put(0, 1, u"3");
  put(1, 1, u"7");
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Chart, false));
  platform::RecordingPrintDevice bare{kCaps};
  EXPECT_EQ(printSheet(bare, book(), 1, PrintRange::All, 96, 96).pages, 1) << "a chart sheet without a chart";
  charts::ChartModel chart;
  chart.title = u"Totals";
  chart.showLegend = 1;
  chart.legendPlacement = charts::kLegendRight;
  chart.series.resize(1);
  chart.series[0].name = u"Sales";
  chart.series[0].values = u"=B1:B2";
  chart.series[0].categories = u"=A1:A2";
  charts::setSheetChart(book().sheet(1), chart);
  const int titleTwips = model::fontSpecOf(book().fonts[chart.titleFont]).heightTwips;
  // The printer has twice the screen's resolution across, three times down.
  platform::PrinterCaps caps = kCaps;
  caps.dpiY = 288;
  platform::RecordingPrintDevice device{caps};
  const PrintOutcome out = printSheet(device, book(), 1, PrintRange::All, 96, 96);
  EXPECT_EQ(out.status, PrintOutcome::Status::Printed);
  ASSERT_EQ(device.pages.size(), 1u);
  const platform::RecordingCanvas& page = *device.pages[0];
  const Rect printable{4, 6, 1700, 2200};
  const std::vector<CanvasOp> title = page.textOps(u"Totals");
  ASSERT_EQ(title.size(), 1u);
  EXPECT_EQ(title[0].font.heightTwips, titleTwips * 3);
  EXPECT_EQ(title[0].rect.top, printable.top);
  EXPECT_EQ(title[0].rect.left, printable.left);
  // The legend's key stands 2 screen pixels (4 printer pixels) left of its text.
  const std::vector<CanvasOp> name = page.textOps(u"Sales");
  ASSERT_EQ(name.size(), 1u);
  int keyGap = -1;
  for (const CanvasOp& op : page.opsOf(CanvasOp::Kind::Rectangle))
    if (op.rect.top == name[0].rect.top)
      keyGap = name[0].rect.left - op.rect.right;
  EXPECT_EQ(keyGap, 4);
  for (const CanvasOp& op : page.ops()) {
    EXPECT_EQ(op.clip, printable);
    for (const platform::Point& p : op.points)
      EXPECT_TRUE((Rect{printable.left - 1, printable.top - 1, printable.right + 2, printable.bottom + 2}.contains(p)));
  }
}

} // namespace
} // namespace printing
