#include "view/pickers.h"

#include "model/workbook.h"
#include "platform/recording_canvas.h"
#include "view/control_paint.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <vector>

namespace view {
namespace {

using platform::CanvasOp;
using platform::Point;
using platform::Rect;

class FakeHost final : public PickerHost {
public:
  void invalidate() override { ++invalidations; }
  void notifyParent(app::WParam wParam) override { commands.push_back(wParam); }
  int invalidations = 0;
  std::vector<app::WParam> commands;
};

TEST(Pickers, ValueOfEachGridCell) {
  constexpr int kAuto = kColourAutomatic;
  constexpr int kNone = kColourNone;
  const struct {
    PickerKind kind;
    int option;
    int column, row;
    std::optional<int> value;
  } kRows[] = {
      // Colour, option 0: the whole first row is automatic.
      {PickerKind::Colour, 0, 0, 0, kAuto},
      {PickerKind::Colour, 0, 3, 0, kAuto},
      {PickerKind::Colour, 0, 4, 0, kAuto},
      {PickerKind::Colour, 0, 7, 0, kAuto},
      // Option set: automatic on the left half, none on the right.
      {PickerKind::Colour, 1, 0, 0, kAuto},
      {PickerKind::Colour, 1, 3, 0, kAuto},
      {PickerKind::Colour, 1, 4, 0, kNone},
      {PickerKind::Colour, 1, 7, 0, kNone},
      {PickerKind::Colour, 0, 0, 1, 8},
      {PickerKind::Colour, 0, 5, 2, 21},
      {PickerKind::Colour, 1, 7, 7, 63},
      {PickerKind::Colour, 0, 8, 1, std::nullopt},
      {PickerKind::Colour, 0, 0, 8, std::nullopt},
      {PickerKind::Colour, 0, -1, 0, std::nullopt},
      // Pattern: "无" across the first row, then 1-18.
      {PickerKind::Pattern, 0, 0, 0, 0},
      {PickerKind::Pattern, 0, 2, 0, 0},
      {PickerKind::Pattern, 0, 0, 1, 1},
      {PickerKind::Pattern, 0, 2, 1, 3},
      {PickerKind::Pattern, 0, 1, 4, 11},
      {PickerKind::Pattern, 0, 2, 6, 18},
      {PickerKind::Pattern, 0, 3, 1, std::nullopt},
      {PickerKind::Pattern, 0, 0, 7, std::nullopt},
      {PickerKind::Line, 0, 0, 0, 0},
      {PickerKind::Line, 0, 1, 2, 5},
      {PickerKind::Line, 0, 1, 4, 9},
      {PickerKind::Line, 0, 0, 5, std::nullopt},
      {PickerKind::Marker, 0, 1, 4, 9},
      {PickerKind::Marker, 0, 2, 0, std::nullopt},
      {PickerKind::Arrow, 0, 1, 2, 5},
      {PickerKind::Arrow, 0, 0, 3, std::nullopt},
      {PickerKind::Border, 0, 0, 0, 0},
      {PickerKind::Border, 0, 1, 6, 6},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(pickerValueAt(row.kind, row.option, row.column, row.row), row.value)
        << "kind " << static_cast<int>(row.kind) << " option " << row.option << " cell "
        << row.column << "," << row.row;
  // Automatic and the 56 palette colours, and "无" only with the option.
  EXPECT_EQ(pickerCells(PickerKind::Colour, 0).size(), 57u);
  EXPECT_EQ(pickerCells(PickerKind::Colour, 1).size(), 58u);
}

TEST(Pickers, BorderCellsMapToTheirLineStyles) {
  const int kExpected[7][2] = {{0, 12}, {7, 13}, {4, 10}, {11, 8}, {9, 2}, {3, 5}, {1, 6}};
  for (int row = 0; row < 7; ++row)
    for (int column = 0; column < 2; ++column)
      EXPECT_EQ(pickerValueAt(PickerKind::Border, 0, column, row), kExpected[row][column])
          << column << "," << row;
}

TEST(Pickers, ListSizeFromDialogUnits) {
  // 72 x 67 dialog units at base units 6 x 13: 72 * 6 / 4 and 67 * 13 / 8 rounded.
  EXPECT_EQ(pickerListSize(PickerKind::Colour, 6, 13), (Point{108, 109}));
  EXPECT_EQ(pickerListSize(PickerKind::Colour, 8, 16), (Point{144, 134}));
  EXPECT_EQ(pickerListSize(PickerKind::Colour, -3, 0), (Point{0, 0}));
}

TEST(Pickers, ListOpensBelowOrAboveTheButton) {
  const Rect work{0, 0, 1024, 740};
  const Point size{108, 109};
  const struct {
    Rect button;
    Rect list;
  } kRows[] = {
      {{100, 200, 220, 220}, {100, 220, 208, 329}}, // room below
      {{100, 631, 220, 651}, {100, 522, 208, 631}}, // one pixel too low: above
      {{100, 700, 220, 720}, {100, 591, 208, 700}},           // near the bottom: above
      {{100, 611, 220, 631}, {100, 631, 208, 740}},           // exactly fits below
      {{950, 200, 1010, 220}, {916, 220, 1024, 329}},         // pushed left off the right edge
      {{-40, 200, 20, 220}, {0, 220, 108, 329}},              // and right off the left edge
  };
  for (const auto& row : kRows)
    EXPECT_EQ(placePickerList(row.button, size, work), row.list)
        << "button at " << row.button.left << "," << row.button.top;

  // Fitting on neither side, the list takes the side with more room.
  const Rect shortWork{0, 0, 800, 150};
  EXPECT_EQ(placePickerList({0, 100, 50, 120}, size, shortWork), (Rect{0, -9, 108, 100}));
  EXPECT_EQ(placePickerList({0, 20, 50, 40}, size, shortWork), (Rect{0, 40, 108, 149}));
}

struct ListFixture {
  explicit ListFixture(PickerKind kind, int option = 0, int value = 0)
      : button(host, kind, 1234), list(button, pickerListSize(kind, 6, 13)) {
    button.setOption(option);
    button.setValue(value);
    host.invalidations = 0;
  }
  FakeHost host;
  PickerButton button;
  PickerList list;
};

TEST(Pickers, ClickInTheColourListChoosesAndNotifies) {
  // The colour list is 108 x 109: inside its border, columns of 106 / 8 and
  // rows of 107 / 8 pixels.
  const struct {
    int option;
    Point at;
    int value;
  } kRows[] = {
      {0, {2, 2}, kColourAutomatic},
      {0, {105, 12}, kColourAutomatic}, // far right of row 0
      {1, {2, 2}, kColourAutomatic},
      {1, {52, 12}, kColourAutomatic},
      {1, {54, 2}, kColourNone},
      {1, {105, 12}, kColourNone},
      {0, {2, 15}, 8},
      {0, {105, 107}, 63},
      {0, {40, 60}, 35}, // column 3, row 4
  };
  for (const auto& row : kRows) {
    ListFixture f(PickerKind::Colour, row.option, 20);
    EXPECT_TRUE(f.list.leftPress(row.at));
    EXPECT_EQ(f.button.value(), row.value) << row.at.x << "," << row.at.y;
    EXPECT_EQ(f.host.commands, (std::vector<app::WParam>{app::makeWParam(1234, 1)}));
    EXPECT_GT(f.host.invalidations, 0) << "the button shows the new value";
  }
}

TEST(Pickers, ClickOutsideTheCellsKeepsTheValueAndSendsNothing) {
  for (const Point at : {Point{-5, 50}, Point{50, -1}, Point{108, 50}, Point{50, 109},
                         Point{5000, 5000}, Point{0, 0}, Point{107, 108}}) {
    ListFixture f(PickerKind::Colour, 1, 12);
    EXPECT_FALSE(f.list.leftPress(at)) << at.x << "," << at.y;
    EXPECT_EQ(f.button.value(), 12);
    EXPECT_TRUE(f.host.commands.empty());
  }
}

TEST(Pickers, ChoosingTheCurrentValueStillNotifies) {
  ListFixture f(PickerKind::Pattern, 0, 0);
  EXPECT_TRUE(f.list.leftPress({10, 3}));
  EXPECT_EQ(f.button.value(), 0);
  EXPECT_EQ(f.host.commands.size(), 1u);
}

TEST(Pickers, PatternListHitsEveryValue) {
  // 54 x 70 dialog units: 81 x 114 pixels, cells of 79 / 3 by 112 / 7.
  ListFixture f(PickerKind::Pattern);
  ASSERT_EQ(f.list.bounds(), (Rect{0, 0, 81, 114}));
  std::set<int> seen;
  for (int row = 0; row < 7; ++row)
    for (int column = 0; column < 3; ++column) {
      const Point centre{1 + column * 79 / 3 + 13, 1 + row * 16 + 8};
      const std::optional<int> v = f.list.hitTest(centre);
      ASSERT_TRUE(v.has_value()) << column << "," << row;
      EXPECT_EQ(*v, row == 0 ? 0 : row * 3 + column - 2) << column << "," << row;
      seen.insert(*v);
    }
  EXPECT_EQ(seen.size(), 19u);
}

TEST(Pickers, ComboMessagesReadAndWriteValueAndOption) {
  FakeHost host;
  PickerButton button(host, PickerKind::Colour, 7);
  EXPECT_EQ(button.handleMessage(app::CB_SETCURSEL, static_cast<app::WParam>(-3), 0), -3);
  EXPECT_EQ(button.handleMessage(app::CB_GETCURSEL, 0, 0), -3);
  EXPECT_EQ(host.invalidations, 1);
  EXPECT_EQ(button.handleMessage(app::CB_SETCURSEL, 40, 0), 40);
  EXPECT_EQ(button.value(), 40);

  EXPECT_EQ(button.handleMessage(app::CB_GETTOPINDEX, 0, 0), 0);
  EXPECT_EQ(button.handleMessage(app::CB_SETTOPINDEX, 1, 0), 0);
  EXPECT_EQ(button.handleMessage(app::CB_GETTOPINDEX, 0, 0), 1);
  EXPECT_EQ(button.value(), 40) << "the option word is separate from the value";
  EXPECT_TRUE(host.commands.empty()) << "only a choice in the list notifies";
  EXPECT_EQ(button.handleMessage(app::WM_PAINT, 0, 0), 0);
}

std::vector<CanvasOp> swatches(const platform::RecordingCanvas& canvas) {
  std::vector<CanvasOp> out;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Rectangle))
    if (op.brush.kind != platform::Brush::Kind::None)
      out.push_back(op);
  return out;
}

TEST(Pickers, ColourButtonShowsTheValue) {
  model::Workbook book;
  book.palette = model::kDefaultPalette;
  book.palette[10] = 0x123456;
  const PickerLook withBook{platform::FontSpec{}, &book};
  const PickerLook defaults{};
  const Rect r{0, 0, 120, 22};
  const struct {
    int value;
    const PickerLook* look;
    std::u16string text;
    std::optional<platform::Colour> colour;
  } kRows[] = {
      {kColourAutomatic, &defaults, u"自动", std::nullopt},
      {kColourNone, &defaults, u"无", std::nullopt},
      {kColourNoChoice, &defaults, u"", std::nullopt},
      {10, &withBook, u"", 0x123456},
      {10, &defaults, u"", 0x0000FF}, // red in the default palette
      {12, &defaults, u"", 0xFF0000}, // blue
      {64, &defaults, u"", std::nullopt},
  };
  for (const auto& row : kRows) {
    FakeHost host;
    PickerButton button(host, PickerKind::Colour, 1);
    button.setValue(row.value);
    platform::RecordingCanvas canvas;
    button.paint(canvas, r, *row.look);
    const auto texts = canvas.opsOf(CanvasOp::Kind::Text);
    if (row.text.empty()) {
      EXPECT_TRUE(texts.empty()) << row.value;
    } else {
      ASSERT_EQ(texts.size(), 1u) << row.value;
      EXPECT_EQ(texts[0].text, row.text);
    }
    const auto filled = swatches(canvas);
    if (row.colour) {
      ASSERT_EQ(filled.size(), 1u) << row.value;
      EXPECT_EQ(filled[0].brush.colour, *row.colour);
      const Rect value = PickerButton::valueRect(r);
      EXPECT_TRUE(filled[0].rect.left >= value.left && filled[0].rect.right <= value.right);
    } else {
      EXPECT_TRUE(filled.empty()) << row.value;
    }
  }
}

TEST(Pickers, ButtonArrowIsASevenFiveThreeOneTriangle) {
  FakeHost host;
  PickerButton button(host, PickerKind::Line, 1);
  platform::RecordingCanvas canvas;
  const Rect r{0, 0, 100, 21};
  button.paint(canvas, r, {});
  const Rect arrow = PickerButton::arrowRect(r);
  std::vector<std::pair<int, int>> rows; // y, length
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line)) {
    const Point a = op.points[0], b = op.points[1];
    if (op.pen.colour == platform::kBlack && a.y == b.y && b.x - a.x <= 7 && a.x >= arrow.left)
      rows.emplace_back(a.y, b.x - a.x);
  }
  ASSERT_EQ(rows.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i].second, 7 - 2 * static_cast<int>(i));
    EXPECT_EQ(rows[i].first, rows[0].first + static_cast<int>(i)) << "pointing down";
  }
}

TEST(Pickers, ListMarksTheCurrentValue) {
  // Value 63 is the bottom right cell: columns start at 1 + c * 106 / 8 and
  // rows at 1 + r * 107 / 8, so the cell runs from (93, 94) to (107, 108).
  ListFixture f(PickerKind::Colour, 0, 63);
  platform::RecordingCanvas canvas;
  f.list.paint(canvas, {});
  std::vector<Rect> frames;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Rectangle))
    if (op.brush.kind == platform::Brush::Kind::None && op.pen.colour == platform::kBlack)
      frames.push_back(op.rect);
  EXPECT_EQ(frames, (std::vector<Rect>{{0, 0, 108, 109}, {93, 94, 107, 108}}));
  EXPECT_EQ(canvas.textOps(u"自动").size(), 1u);
  EXPECT_TRUE(canvas.textOps(u"无").empty());
  EXPECT_EQ(swatches(canvas).size(), 56u);

  ListFixture withNone(PickerKind::Colour, 1, kColourNoChoice);
  canvas.clear();
  withNone.list.paint(canvas, {});
  EXPECT_EQ(canvas.textOps(u"Auto").size(), 1u);
  EXPECT_EQ(canvas.textOps(u"无").size(), 1u);
  EXPECT_TRUE(canvas.textOps(u"自动").empty());
}

TEST(Pickers, PatternAndBorderSamplesUseTheirStyles) {
  ListFixture patterns(PickerKind::Pattern);
  platform::RecordingCanvas canvas;
  patterns.list.paint(canvas, {});
  // Pattern 5 is the horizontal stripe: two rows set, two clear.
  const platform::PatternBits stripe{0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00};
  const auto filled = swatches(canvas);
  ASSERT_EQ(filled.size(), 18u);
  EXPECT_EQ(filled[0].brush, platform::Brush::solid(platform::kBlack)); // pattern 1
  EXPECT_EQ(filled[4].brush.pattern, stripe);
  EXPECT_EQ(canvas.textOps(u"无").size(), 1u);

  // The border list's second cell is style 12, medium dash-dot-dot; its
  // last is style 6, double: two thin lines.
  ListFixture borders(PickerKind::Border);
  canvas.clear();
  borders.list.paint(canvas, {});
  const Rect second = borders.list.cellRect({1, 0, 1, 12});
  const Rect last = borders.list.cellRect({1, 6, 1, 6});
  int dashDotDot = 0, doubleLines = 0;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Line)) {
    if (second.contains(op.points[0]) && op.pen.style == platform::PenStyle::DashDotDot &&
        op.pen.width == 2)
      ++dashDotDot;
    if (last.contains(op.points[0]) && op.pen.style == platform::PenStyle::Solid &&
        op.pen.width == 1 && op.points[0].y == op.points[1].y)
      ++doubleLines;
  }
  EXPECT_EQ(dashDotDot, 1);
  EXPECT_EQ(doubleLines, 2);
}

TEST(Pickers, SamplesOfUnknownValuesDrawNothing) {
  const PickerKind kinds[] = {PickerKind::Colour, PickerKind::Pattern, PickerKind::Line,
                              PickerKind::Border, PickerKind::Arrow,   PickerKind::Marker};
  for (const PickerKind kind : kinds)
    for (const int value : {-100, -4, 64, 1000}) {
      platform::RecordingCanvas canvas;
      paintPickerSample(canvas, kind, value, {0, 0, 40, 20}, {});
      EXPECT_TRUE(canvas.ops().empty()) << static_cast<int>(kind) << " value " << value;
    }
  // One past the last value of each kind, and the colours below the palette's eighth.
  const struct {
    PickerKind kind;
    int value;
  } kEdges[] = {{PickerKind::Colour, 7},  {PickerKind::Colour, 0},  {PickerKind::Pattern, 19},
                {PickerKind::Line, 10},   {PickerKind::Border, 14}, {PickerKind::Arrow, 6},
                {PickerKind::Marker, 10}};
  for (const auto& edge : kEdges) {
    platform::RecordingCanvas canvas;
    paintPickerSample(canvas, edge.kind, edge.value, {0, 0, 40, 20}, {});
    EXPECT_TRUE(canvas.ops().empty()) << static_cast<int>(edge.kind) << " value " << edge.value;
  }
}

TEST(FontPreview, DrawsTheSampleCentredInTheFont) {
  platform::RecordingCanvas canvas;
  platform::FontSpec font{u"Times New Roman", 360, 700, true, false, false};
  paintFontPreview(canvas, {10, 10, 210, 60}, font);
  const auto texts = canvas.textOps(u"AaBbCc");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].font.face, u"Times New Roman");
  EXPECT_EQ(texts[0].font.heightTwips, 360);
  EXPECT_TRUE(texts[0].font.italic);
  EXPECT_EQ(texts[0].rect, (Rect{10, 10, 210, 60}));
  EXPECT_EQ(texts[0].align, platform::kTextCentre | platform::kTextVCentre);
}

} // namespace
} // namespace view
