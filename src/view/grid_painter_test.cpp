#include "view/grid_painter.h"

#include "formula/recalc.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/recording_canvas.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>

namespace view {
namespace {

using platform::CanvasOp;
using platform::Rect;

constexpr platform::Colour kGridlineGrey = 0xC0C0C0;

// At zoom 100 with the fixed metrics the row header is 24 pixels wide, the
// header band 17 high, columns 56 and rows 17 pixels: column B spans x
// 80-136 and row 2 (index 1) y 34-51.
class GridPainterTest : public ::testing::Test {
protected:
  GridPainterTest() : m_scope(ui) {
    formula::installFormulaEngine();
    EXPECT_TRUE(books.new_workbook(nullptr));
  }
  ~GridPainterTest() override { model::modelServices() = {}; }

  model::Workbook& book() { return *books.active(); }
  model::Sheet& sheet() { return book().sheet(0); }
  void put(int row, int column, std::u16string_view text, std::uint16_t format = 15) {
    ASSERT_TRUE(model::set_cell(book(), 0, static_cast<std::uint16_t>(row),
                                static_cast<std::uint8_t>(column), text, format, false, false));
  }
  std::uint16_t addFormat(const model::CellFormat& f) {
    book().cellFormats.push_back(f);
    return static_cast<std::uint16_t>(book().cellFormats.size() - 1);
  }
  void select(int row, int column) { selectRange(row, column, row, column, row, column); }
  void selectRange(int r1, int c1, int r2, int c2, int activeRow, int activeColumn) {
    sheet().activeRow = static_cast<std::uint16_t>(activeRow);
    sheet().activeColumn = static_cast<std::uint8_t>(activeColumn);
    sheet().selectionFirst = model::packCell(static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1));
    sheet().selectionLast = model::packCell(static_cast<std::uint16_t>(r2), static_cast<std::uint8_t>(c2));
  }
  GridLayout layout() { return relayout(book(), LayoutInput{{0, 0, 800, 600}, 0, 0, 17, 17}); }
  platform::RecordingCanvas paintAll(Rect invalid = {0, 0, 800, 600}, const PaintOverlays& overlays = {}) {
    platform::RecordingCanvas canvas;
    paint(canvas, book(), layout(), invalid, overlays);
    return canvas;
  }
  static std::vector<CanvasOp> rectanglesAt(const platform::RecordingCanvas& c, const Rect& r) {
    std::vector<CanvasOp> out;
    for (const CanvasOp& op : c.opsOf(CanvasOp::Kind::Rectangle))
      if (op.rect == r)
        out.push_back(op);
    return out;
  }
  static std::vector<CanvasOp> fillsAt(const platform::RecordingCanvas& c, const Rect& r) {
    std::vector<CanvasOp> out;
    for (const CanvasOp& op : c.opsOf(CanvasOp::Kind::Fill))
      if (op.rect == r)
        out.push_back(op);
    return out;
  }
  static int gridlineCount(const platform::RecordingCanvas& c) {
    int n = 0;
    for (const CanvasOp& op : c.opsOf(CanvasOp::Kind::Line))
      n += op.pen.colour == kGridlineGrey;
    return n;
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  model::WorkbookList books;
};

TEST(FillPatterns, GreyShadesHaveTheirShareOfSetPixels) {
  const struct {
    int pattern;
    int setPixels; // of 64
  } rows[] = {{2, 32}, {3, 48}, {4, 16}, {17, 8}, {18, 4}, {1, 0}, {0, 0}, {19, 0}, {-1, 0}};
  for (const auto& row : rows) {
    int n = 0;
    for (std::uint8_t b : fillPatternBits(row.pattern))
      n += std::popcount(b);
    EXPECT_EQ(n, row.setPixels) << row.pattern;
  }
  // Every real pattern differs from every other.
  for (int a = 2; a <= 18; ++a)
    for (int b = a + 1; b <= 18; ++b)
      EXPECT_NE(fillPatternBits(a), fillPatternBits(b)) << a << " " << b;
}

TEST_F(GridPainterTest, SelectedFillIsInverted) {
  model::CellFormat red = book().cellFormats[15];
  red.fillPattern = 1;
  red.patternColour = 2; // palette red, 0x0000FF
  const std::uint16_t f = addFormat(red);
  put(1, 1, u"", f);
  sheet().cells.findOrInsert(1, 1)->formatIndex = f;
  const struct {
    bool selected;
    platform::Colour fill;
  } rows[] = {{false, 0x0000FF}, {true, 0xFFFF00}};
  for (const auto& row : rows) {
    // B2 in B2:C3 with C3 active, or outside the selection.
    if (row.selected)
      selectRange(1, 1, 2, 2, 2, 2);
    else
      select(5, 1);
    const auto canvas = paintAll();
    const auto fills = fillsAt(canvas, {80, 34, 136, 51});
    ASSERT_EQ(fills.size(), 1u) << row.selected;
    EXPECT_EQ(fills[0].brush.kind, platform::Brush::Kind::Solid);
    EXPECT_EQ(fills[0].brush.colour, row.fill) << row.selected;
  }
  // A plain selected cell turns from white to black; its text from black to white.
  put(3, 3, u"abc");
  selectRange(3, 3, 4, 4, 4, 4);
  const auto canvas = paintAll();
  const auto fills = fillsAt(canvas, {192, 68, 248, 85});
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].brush.colour, platform::kBlack);
  ASSERT_EQ(canvas.textOps(u"abc").size(), 1u);
  EXPECT_EQ(canvas.textOps(u"abc")[0].colour, platform::kWhite);
}

TEST_F(GridPainterTest, TheActiveCellKeepsItsColoursInsideATwoPixelFrame) {
  put(3, 3, u"abc");
  const Rect d4{192, 68, 248, 85};
  const struct {
    int r1, c1, r2, c2;
  } selections[] = {{3, 3, 3, 3}, {1, 1, 6, 6}}; // alone, and inside a larger selection
  for (const auto& sel : selections) {
    selectRange(sel.r1, sel.c1, sel.r2, sel.c2, 3, 3);
    const auto canvas = paintAll();
    const auto fills = fillsAt(canvas, d4);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].brush.colour, platform::kWhite) << "no black block";
    ASSERT_EQ(canvas.textOps(u"abc").size(), 1u);
    EXPECT_EQ(canvas.textOps(u"abc")[0].colour, platform::kBlack);
    const auto outer = rectanglesAt(canvas, d4);
    const auto inner = rectanglesAt(canvas, {193, 69, 247, 84});
    ASSERT_EQ(outer.size(), 1u) << sel.r2;
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(outer[0].pen.colour, platform::kBlack);
    EXPECT_EQ(inner[0].pen.colour, platform::kBlack);
  }
  // Around a merged active cell the frame takes the whole range.
  ASSERT_TRUE(model::addMergedRange(sheet(), model::CellRange{3, 3, 4, 4}));
  select(3, 3);
  EXPECT_EQ(rectanglesAt(paintAll(), {192, 68, 304, 102}).size(), 1u);
  // Printing and the headless render draw no selection at all.
  selectRange(1, 1, 6, 6, 3, 3);
  PaintOverlays none;
  none.selection = false;
  const auto plain = paintAll({0, 0, 800, 600}, none);
  EXPECT_TRUE(rectanglesAt(plain, {192, 68, 304, 102}).empty());
  const auto b2 = fillsAt(plain, {80, 34, 136, 51});
  ASSERT_EQ(b2.size(), 1u);
  EXPECT_EQ(b2[0].brush.colour, platform::kWhite);
}

TEST_F(GridPainterTest, PatternFillUsesPaletteColours) {
  model::CellFormat f = book().cellFormats[15];
  f.fillPattern = 4;
  f.patternColour = 4;     // blue 0xFF0000
  f.backgroundColour = 5;  // yellow 0x00FFFF
  put(0, 0, u"", addFormat(f));
  sheet().cells.findOrInsert(0, 0)->formatIndex = static_cast<std::uint16_t>(book().cellFormats.size() - 1);
  select(9, 9);
  const auto fills = fillsAt(paintAll(), {24, 17, 80, 34});
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].brush.kind, platform::Brush::Kind::Pattern);
  EXPECT_EQ(fills[0].brush.colour, 0xFF0000u);
  EXPECT_EQ(fills[0].brush.background, 0x00FFFFu);
  EXPECT_EQ(fills[0].brush.pattern, fillPatternBits(4));
}

TEST_F(GridPainterTest, ZoomTwoHundredDoublesCellsAndHeaderFonts) {
  put(1, 1, u"x");
  sheet().zoom = 200;
  // Row header 14 x 3 + 3 = 45, header band 33, columns 112, rows 34.
  const auto canvas = paintAll();
  EXPECT_EQ(fillsAt(canvas, {45 + 112, 33 + 34, 45 + 224, 33 + 68}).size(), 1u);
  const auto label = canvas.textOps(u"B");
  ASSERT_EQ(label.size(), 1u);
  EXPECT_EQ(label[0].rect, (Rect{157, 0, 269, 33}));
  EXPECT_EQ(label[0].font.heightTwips, 400);
  const auto text = canvas.textOps(u"x");
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(text[0].font.heightTwips, 400); // the cell's 10 pt font at 200%
}

TEST_F(GridPainterTest, ActiveRowAndColumnLabelsAreBold) {
  select(2, 2);
  const auto canvas = paintAll();
  const struct {
    std::u16string_view label;
    int weight;
  } rows[] = {{u"C", 700}, {u"3", 700}, {u"B", 400}, {u"D", 400}, {u"2", 400}, {u"4", 400}};
  for (const auto& row : rows) {
    const auto ops = canvas.textOps(row.label);
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].font.weight, row.weight);
  }
  // The active column's header has a black right edge, the others dark grey.
  int blackEdges = 0;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line))
    if (op.pen.colour == platform::kBlack && op.points[0] == platform::Point{191, 0})
      ++blackEdges;
  EXPECT_EQ(blackEdges, 1);
}

TEST_F(GridPainterTest, CircularMarkOnlyWhilePaintingMeetsALoop) {
  put(0, 0, u"=A1+1");
  const auto corner = [](const platform::RecordingCanvas& c) { return c.textOps(u"CIR").size(); };
  sheet().cells.at(0, 0)->calcState = model::CalcState::NotValid;
  EXPECT_EQ(corner(paintAll()), 1u);
  EXPECT_EQ(book().circular, 1);
  // Painted again with the value now up to date: no loop is met.
  EXPECT_EQ(corner(paintAll()), 0u);
  EXPECT_EQ(book().circular, 0);
  // Without headers there is no corner box to show it in.
  sheet().flags &= ~model::kSheetShowHeaders;
  sheet().cells.at(0, 0)->calcState = model::CalcState::NotValid;
  EXPECT_EQ(corner(paintAll()), 0u);
}

TEST_F(GridPainterTest, MergedRangeIsOneCell) {
  put(1, 1, u"Merged");
  ASSERT_TRUE(model::addMergedRange(sheet(), model::CellRange{1, 1, 2, 2}));
  const auto canvas = paintAll();
  const auto texts = canvas.textOps(u"Merged");
  ASSERT_EQ(texts.size(), 1u);
  // B2:C3 spans x 80-192 and y 34-68; the text sits inside the margins.
  EXPECT_EQ(texts[0].textClip, (Rect{80, 34, 192, 68}));
  EXPECT_EQ(fillsAt(canvas, {80, 34, 192, 68}).size(), 1u);
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line)) {
    if (op.pen.colour != kGridlineGrey)
      continue;
    // No gridline between B and C inside rows 2-3, nor between rows 2 and 3 inside B-C.
    const bool inner = (op.points[0].x == 135 && op.points[0].y >= 34 && op.points[0].y < 68) ||
                       (op.points[0].y == 50 && op.points[0].x >= 80 && op.points[0].x < 192);
    EXPECT_FALSE(inner) << op.points[0].x << "," << op.points[0].y;
  }
}

TEST_F(GridPainterTest, GridlinesFollowTheSheetFlag) {
  EXPECT_GT(gridlineCount(paintAll()), 100);
  sheet().flags &= ~model::kSheetShowGridlines;
  EXPECT_EQ(gridlineCount(paintAll()), 0);
}

TEST_F(GridPainterTest, StringOverflowStopsAtNonEmptyNeighbour) {
  // Text starts 2 pixels into A1 (x 26) at 7 pixels a character; B1 ends at
  // 136, C1 at 192.
  const struct {
    std::u16string_view text;
    int filledColumn; // holds "x"; -1 for none
    int clipRight;
  } rows[] = {
      {u"fifteen chars!!", -1, 136},       // 105 pixels end at 131: B1 is enough
      {u"sixteen chars ok", -1, 192},      // 112 end at 138: C1 is needed too
      {u"sixteen chars ok", 2, 136},       // C1 holds text: cut at B1's edge
      {u"fifteen chars!!", 1, 80},         // B1 holds text: cut at A1's edge
  };
  for (const auto& row : rows) {
    sheet().cells.clear();
    put(0, 0, row.text);
    if (row.filledColumn >= 0)
      put(0, row.filledColumn, u"x");
    const auto texts = paintAll().textOps(row.text);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front().textClip.left, 24);
    EXPECT_EQ(texts.back().textClip, (Rect{texts.back().textClip.left, 17, row.clipRight, 34}))
        << row.clipRight;
    EXPECT_EQ(texts[0].align & platform::kTextRight, 0u);
  }
  // Numbers never run over: a right-aligned number keeps to its cell.
  put(2, 2, u"12345");
  const auto numbers = paintAll().textOps(u"12345");
  ASSERT_EQ(numbers.size(), 1u);
  EXPECT_EQ(numbers[0].textClip, (Rect{136, 51, 192, 68}));
  EXPECT_NE(numbers[0].align & platform::kTextRight, 0u);
}

TEST_F(GridPainterTest, TooWideNumbersShowHashesInsideTheirCells) {
  // B2 spans x 80-136 and leaves 53 pixels, 7 characters, for its text; the
  // next rows hold the same number in other formats, then a text.
  auto withCode = [&](std::u16string_view code) {
    model::CellFormat f = book().cellFormats[15];
    f.numberFormatIndex = static_cast<std::uint16_t>(model::findOrAddFormat(book(), code));
    return f;
  };
  const model::CellFormat thousands = withCode(u"#,##0");
  const std::uint16_t f = addFormat(thousands);
  model::CellFormat left = thousands;
  left.horizontalAlignment = model::kAlignLeft;
  const std::uint16_t fl = addFormat(left);
  const std::uint16_t fd = addFormat(withCode(u"dddd, mmmm d, yyyy"));
  const struct {
    std::u16string_view typed;
    std::uint16_t format;
    std::u16string_view shown;
  } rows[] = {
      {u"1442634630", f, u"#######"},   // "1,442,634,630" would need 91 pixels
      {u"1442634630", fl, u"#######"},  // left-aligned too
      {u"-1442634630", 15, u"-1E+009"}, // General turns to the exponent form
      {u"45000", fd, u"#######"},       // "Wednesday, March 15, 2023"
      {u"0.5", f, u"1"},
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    put(static_cast<int>(i) + 1, 1, rows[i].typed, rows[i].format);
  const auto canvas = paintAll();
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Rect cell{80, 34 + 17 * static_cast<int>(i), 136, 51 + 17 * static_cast<int>(i)};
    std::vector<CanvasOp> inCell;
    for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Text))
      if (op.textClip.intersects(cell))
        inCell.push_back(op);
    ASSERT_EQ(inCell.size(), 1u) << i;
    const CanvasOp& op = inCell[0];
    EXPECT_EQ(op.text, rows[i].shown) << i;
    // Drawn inside the cell and clipped to it: nothing shows outside.
    EXPECT_EQ(platform::intersection(op.textClip, cell), op.textClip) << i;
    EXPECT_EQ(platform::intersection(op.rect, cell), op.rect) << i;
    EXPECT_LE(7 * static_cast<int>(op.text.size()), cell.width() - 3) << i;
  }
  // Numbers never reach a neighbour, even an empty one.
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Text))
    EXPECT_EQ(op.text.find(u"442"), std::u16string::npos);
}

TEST_F(GridPainterTest, NumbersFitInTheBoldOfACondition) {
  // B2's 53 pixels hold 7 characters of 7 pixels, but only 6 of the bold's 8.
  model::CellFormat fixed = book().cellFormats[15];
  fixed.numberFormatIndex = static_cast<std::uint16_t>(model::findOrAddFormat(book(), u"0.00"));
  const std::uint16_t f = addFormat(fixed);
  put(1, 1, u"1234567");      // General
  put(2, 1, u"1234.5", f);    // "1234.50"
  put(1, 2, u"7654321");      // the same, without the condition
  sheet().conditionalFormats.push_back({});
  model::FormatCondition c;
  c.kind = 1;
  c.hasFont = true;
  c.font[model::kCondBold] = {true, 1};
  paintServices().activeCondition = [&](model::Workbook&, int, int, int column) -> const model::FormatCondition* {
    return column == 1 ? &c : nullptr;
  };
  const auto canvas = paintAll();
  paintServices() = {};
  const auto general = canvas.textOps(u"1E+006");
  ASSERT_EQ(general.size(), 1u);
  EXPECT_EQ(general[0].font.weight, 700);
  const auto fixedText = canvas.textOps(u"######");
  ASSERT_EQ(fixedText.size(), 1u);
  EXPECT_EQ(fixedText[0].font.weight, 700);
  EXPECT_EQ(canvas.textOps(u"7654321").size(), 1u);
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Text))
    EXPECT_EQ(op.text.find(u"1234"), std::u16string::npos) << platform::toUtf8(op.text);
}

TEST_F(GridPainterTest, OverflowOutOfTheSelectionKeepsItsColour) {
  // Selected A1's text is white on black; where it runs over B1 it is black on white.
  put(0, 0, u"fifteen chars!!");
  selectRange(0, 0, 1, 0, 1, 0);
  const auto texts = paintAll().textOps(u"fifteen chars!!");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].textClip, (Rect{24, 17, 80, 34}));
  EXPECT_EQ(texts[0].colour, platform::kWhite);
  EXPECT_EQ(texts[1].textClip, (Rect{80, 17, 136, 34}));
  EXPECT_EQ(texts[1].colour, platform::kBlack);
}

TEST_F(GridPainterTest, OverflowHidesTheGridlineItCovers) {
  put(0, 0, u"fifteen chars!!");
  for (const CanvasOp& op : paintAll().opsOf(CanvasOp::Kind::Line)) {
    if (op.pen.colour == kGridlineGrey) {
      EXPECT_FALSE(op.points[0].x == 79 && op.points[0].y == 17) << "edge A1|B1 under the text";
    }
  }
}

TEST_F(GridPainterTest, BorderSharedWithNeighbour) {
  model::CellFormat left = book().cellFormats[15];
  left.borders[0] = {2, 64}; // medium, automatic colour
  put(1, 2, u"", addFormat(left));
  sheet().cells.findOrInsert(1, 2)->formatIndex = static_cast<std::uint16_t>(book().cellFormats.size() - 1);
  model::CellFormat dbl = book().cellFormats[15];
  dbl.borders[3] = {6, 2}; // double, red, at the bottom of D4
  put(3, 3, u"", addFormat(dbl));
  sheet().cells.findOrInsert(3, 3)->formatIndex = static_cast<std::uint16_t>(book().cellFormats.size() - 1);

  const auto canvas = paintAll();
  // C2's left border is drawn on B2's right edge (x 135) instead of a gridline.
  int medium = 0, grid = 0;
  std::vector<int> redRows;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line)) {
    if (op.points[0] == platform::Point{135, 34}) {
      medium += op.pen.width == 2 && op.pen.colour == platform::kBlack;
      grid += op.pen.colour == kGridlineGrey;
    }
    if (op.pen.colour == 0x0000FF && op.points[0].x == 192)
      redRows.push_back(op.points[0].y);
  }
  EXPECT_EQ(medium, 1);
  EXPECT_EQ(grid, 0);
  // D4's bottom edge pixel is y 84: a double border is two lines beside it.
  EXPECT_EQ(redRows, (std::vector<int>{83, 85}));
}

TEST_F(GridPainterTest, OnlyTheInvalidatedRectangleIsPainted) {
  put(1, 1, u"inside");
  put(10, 6, u"outside");
  const Rect b2{80, 34, 136, 51};
  const auto canvas = paintAll(b2);
  EXPECT_EQ(canvas.textOps(u"inside").size(), 1u);
  EXPECT_TRUE(canvas.textOps(u"outside").empty());
  for (const CanvasOp& op : canvas.ops()) {
    const Rect c = platform::intersection(op.clip, b2);
    EXPECT_EQ(c, op.clip) << "every operation is clipped to the damage";
  }
}

TEST_F(GridPainterTest, FrozenPanesShowFrozenRowsBeforeTheScrolledOnes) {
  sheet().flags |= model::kSheetPanesFrozen;
  sheet().scrollPaneRow = 2;
  sheet().topRow = 20;
  const auto canvas = paintAll();
  for (std::u16string_view shown : {u"1", u"2", u"21", u"22"})
    EXPECT_EQ(canvas.textOps(shown).size(), 1u) << std::string(shown.begin(), shown.end());
  for (std::u16string_view gone : {u"3", u"20"})
    EXPECT_TRUE(canvas.textOps(gone).empty());
  // The divider under the frozen rows: y = 17 + 2 x 17 - 1.
  bool divider = false;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line))
    divider |= op.pen.colour == platform::kBlack && op.points[0] == platform::Point{24, 50} &&
               op.points[1].y == 50;
  EXPECT_TRUE(divider);
}

TEST_F(GridPainterTest, SheetTabs) {
  ASSERT_EQ(book().sheetCount(), 1);
  auto add = [&](std::u16string name, std::uint8_t colour, int hidden) {
    auto s = std::make_unique<model::Sheet>();
    model::sheet_init(*s, model::SheetKind::Worksheet);
    s->name = std::move(name);
    s->tabColour = colour;
    s->hidden = hidden;
    book().sheets.push_back(std::move(s));
  };
  add(u"Dark", 4, 0);   // blue: 0 + 0 + 255 < 382, white text
  add(u"Light", 5, 0);  // yellow: 510, black text
  add(u"Secret", 0, 1); // hidden: no tab
  sheet().tabColour = 2;
  const auto canvas = paintAll();
  const struct {
    std::u16string_view name;
    size_t count;
    platform::Colour text;
  } rows[] = {{u"Sheet1", 1, platform::kBlack}, {u"Dark", 1, platform::kWhite},
              {u"Light", 1, platform::kBlack}, {u"Secret", 0, 0}};
  for (const auto& row : rows) {
    const auto ops = canvas.textOps(row.name);
    ASSERT_EQ(ops.size(), row.count);
    if (row.count) {
      EXPECT_EQ(ops[0].colour, row.text);
    }
  }
  // The active tab is white with a 2-pixel line in its own colour.
  bool colourLine = false;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line))
    colourLine |= op.pen.width == 2 && op.pen.colour == 0x0000FF && op.points[0].y > 583;
  EXPECT_TRUE(colourLine);
  int whiteTabs = 0;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Polygon))
    whiteTabs += op.points.size() == 4 && op.brush.colour == platform::kWhite;
  EXPECT_EQ(whiteTabs, 1);
}

TEST_F(GridPainterTest, AHoldingConditionLaysItsPartsOverTheCellsFormat) {
  put(1, 1, u"hot");
  put(1, 2, u"cold");
  sheet().conditionalFormats.push_back({}); // only its presence matters to the painter
  model::FormatCondition c;
  c.kind = 1;
  c.hasFont = true;
  c.font[model::kCondBold] = {true, 1};
  c.font[model::kCondColour] = {true, 2}; // red
  c.hasPattern = true;
  c.pattern[model::kCondBackgroundColour] = {true, 5}; // yellow, no pattern: solid
  c.hasBorder = true;
  c.borders[3] = {true, 1, 4}; // thin blue bottom
  std::vector<std::pair<int, int>> asked;
  paintServices().activeCondition = [&](model::Workbook&, int, int row, int column) -> const model::FormatCondition* {
    asked.emplace_back(row, column);
    return row == 1 && column == 1 ? &c : nullptr;
  };
  select(9, 9);
  const auto canvas = paintAll();
  paintServices() = {};
  const auto fills = fillsAt(canvas, {80, 34, 136, 51});
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].brush.colour, 0x00FFFF); // yellow
  const auto hot = canvas.textOps(u"hot");
  ASSERT_EQ(hot.size(), 1u);
  EXPECT_EQ(hot[0].font.weight, 700);
  EXPECT_EQ(hot[0].colour, 0x0000FF);
  const auto cold = canvas.textOps(u"cold");
  ASSERT_EQ(cold.size(), 1u);
  EXPECT_EQ(cold[0].font.weight, 400);
  EXPECT_EQ(cold[0].colour, platform::kBlack);
  int blueBottom = 0;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line))
    blueBottom += op.pen.colour == 0xFF0000 && op.points[0] == platform::Point{80, 50};
  EXPECT_EQ(blueBottom, 1);
  // Each cell is asked once per paint, however many edges it shares.
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end()), asked.end());
}

TEST_F(GridPainterTest, ACommentShowsAsARedMarkInItsCellsTopRightCorner) {
  model::DrawingObject note;
  note.kind = model::kObjectComment;
  note.row = 1;
  note.column = 1; // B2: x 80-136, y 34-51
  sheet().objects.push_back(note);
  const auto marks = [&] {
    std::vector<std::pair<platform::Point, platform::Point>> out;
    for (const CanvasOp& op : paintAll().opsOf(CanvasOp::Kind::Line))
      if (op.pen.colour == kCommentMarkColour)
        out.emplace_back(op.points[0], op.points[1]);
    return out;
  };
  const auto shown = marks();
  ASSERT_EQ(shown.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(shown[static_cast<size_t>(i)].first, (platform::Point{131 + i, 34 + i}));
    EXPECT_EQ(shown[static_cast<size_t>(i)].second, (platform::Point{136, 34 + i}));
  }
  model::setColumnWidthChars(sheet(), 1, 1, 0); // hiding the column hides the mark
  EXPECT_TRUE(marks().empty());
}

TEST_F(GridPainterTest, TheObjectPassDrawsObjectsInOrderWithTheSelectedOnesHandles) {
  model::DrawingObject a, b, note;
  a.anchor = {{1, 0, 1, 0}, {2, 0, 3, 0}}; // B2:C4 corner to corner: x 80-136, y 34-68
  b.anchor = {{0, 0, 0, 0}, {1, 0, 1, 0}}; // A1: x 24-80, y 17-34
  note.kind = model::kObjectComment;
  sheet().objects = {a, b, note};
  std::vector<std::pair<int, Rect>> drawn;
  paintServices().drawObject = [&](platform::Canvas&, const model::Workbook&, const model::Sheet&, int i,
                                   const Rect& r, int zoom) {
    EXPECT_EQ(zoom, 100);
    drawn.emplace_back(i, r);
  };
  sheet().selectedObject = 0;
  const auto canvas = paintAll();
  paintServices() = {};
  ASSERT_EQ(drawn.size(), 2u) << "a hidden comment is no drawn object";
  EXPECT_EQ(drawn[0], (std::pair<int, Rect>{0, {80, 34, 136, 68}}));
  EXPECT_EQ(drawn[1], (std::pair<int, Rect>{1, {24, 17, 80, 34}}));
  int handles = 0;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Fill))
    handles += op.rect.width() == 5 && op.rect.height() == 5 && op.brush.colour == platform::kBlack;
  EXPECT_EQ(handles, 8);
}

TEST_F(GridPainterTest, ChartSheetsGoToTheChartRenderer) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Chart, false));
  std::vector<Rect> areas;
  paintServices().drawChartSheet = [&](platform::Canvas&, const model::Workbook&, int sheetIndex, const Rect& area) {
    EXPECT_EQ(sheetIndex, 1);
    areas.push_back(area);
  };
  const auto canvas = paintAll();
  paintServices() = {};
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0], layout().grid);
}

TEST_F(GridPainterTest, OverlaysDrawThePointedRangeAndTheSizingLines) {
  PaintOverlays o;
  o.pointRange = model::CellRange{1, 1, 2, 2}; // B2:C3: x 80-192, y 34-68
  o.columnSizingLine = 150;
  o.rowSizingLine = 300;
  const auto canvas = paintAll({0, 0, 800, 600}, o);
  const auto pointed = rectanglesAt(canvas, {80, 34, 192, 68});
  ASSERT_EQ(pointed.size(), 1u);
  EXPECT_EQ(pointed[0].pen.style, platform::PenStyle::Dash);
  bool vertical = false, horizontal = false;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line)) {
    vertical |= op.points[0].x == 150 && op.points[1].x == 150 && op.points[0].y == 0;
    horizontal |= op.points[0].y == 300 && op.points[1].y == 300 && op.points[0].x == 0;
  }
  EXPECT_TRUE(vertical);
  EXPECT_TRUE(horizontal);
}

TEST_F(GridPainterTest, AWrappedTextDrawsOnlyTheLinesItsCellShows) {
  model::CellFormat wrap = book().cellFormats[15];
  wrap.flags |= model::kFormatWrapText;
  const std::u16string word(32000, u'w');
  put(0, 0, word, addFormat(wrap));
  model::setRowHeightPoints(sheet(), 0, 0, 60); // 80 pixels: five lines of 16
  select(9, 9);
  const auto canvas = paintAll();
  // Each line holds 7 characters of 7 pixels (the cell is 52 pixels inside).
  int lines = 0;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Text))
    if (!op.text.empty() && op.text[0] == u'w') {
      EXPECT_EQ(op.text, std::u16string(7, u'w'));
      ++lines;
    }
  EXPECT_GE(lines, 5);
  EXPECT_LE(lines, 6);
}

TEST_F(GridPainterTest, APictureOfASheetShowsItsCellsWithoutSelectionAndChangesNoViewState) {
  put(1, 1, u"abc");
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Worksheet, false));
  model::activate_sheet(book(), 1); // the picture is of sheet 0, which is not active
  sheet().topRow = 0;
  sheet().bottomRow = 3;    // as the window last stored them: a 400x200 picture
  sheet().rightColumn = 2;  // shows more, and must not store that
  selectRange(1, 1, 6, 6, 2, 2);
  const std::uint32_t selectionFirst = sheet().selectionFirst;
  platform::RecordingCanvas canvas;
  paintSheetPicture(canvas, book(), 0, 400, 200);
  // The whole picture starts as the window's face, then the grid goes over it.
  const auto face = fillsAt(canvas, {0, 0, 400, 200});
  ASSERT_EQ(face.size(), 1u);
  EXPECT_EQ(face[0].brush.colour, 0xC0C0C0u);
  const auto b2 = fillsAt(canvas, {80, 34, 136, 51});
  ASSERT_EQ(b2.size(), 1u);
  EXPECT_EQ(b2[0].brush.colour, platform::kWhite) << "the selection is left out";
  ASSERT_EQ(canvas.textOps(u"abc").size(), 1u);
  EXPECT_EQ(canvas.textOps(u"abc")[0].colour, platform::kBlack);
  EXPECT_TRUE(rectanglesAt(canvas, {136, 51, 192, 68}).empty()) << "no active-cell frame";
  EXPECT_EQ(canvas.textOps(u"Sheet1").size(), 1u);
  EXPECT_EQ(sheet().bottomRow, 3);
  EXPECT_EQ(sheet().rightColumn, 2);
  EXPECT_EQ(sheet().topRow, 0);
  EXPECT_EQ(sheet().selectionFirst, selectionFirst);
  EXPECT_EQ(book().activeSheet, 1);
  // No such sheet: the empty workspace, nothing else.
  platform::RecordingCanvas none;
  paintSheetPicture(none, book(), 7, 400, 200);
  EXPECT_TRUE(none.opsOf(CanvasOp::Kind::Text).empty());
}

TEST_F(GridPainterTest, BadIndexesDoNotCrash) {
  put(0, 0, u"x");
  sheet().cells.at(0, 0)->formatIndex = 9999;
  sheet().selectionFirst = 0xFFFFFFFF;
  model::CellFormat f = book().cellFormats[15];
  f.fillPattern = 200;
  f.patternColour = 250;
  f.borders = {{{99, 99}, {13, 70}, {7, 1}, {255, 0}}};
  put(1, 1, u"y", addFormat(f));
  EXPECT_EQ(paintAll().textOps(u"x").size(), 1u);
  book().activeSheet = 3;
  EXPECT_FALSE(paintAll().ops().empty());
}

} // namespace
} // namespace view
