#include "view/control_painting.h"

#include "formula/formula_test_util.h"
#include "model/sheet.h"
#include "model/workbook.h"
#include "platform/recording_canvas.h"

namespace view {
namespace {

using drawing::controlOf;
using drawing::ControlPayload;
using platform::Point;
using platform::Rect;

class ControlPaintingTest : public formula::testing::EngineTest {
protected:
  model::Sheet& sheet() { return book->sheet(0); }
  int add(std::uint16_t kind, std::uint16_t row = 0) {
    model::ObjectAnchor a;
    a.first = {0, 0, row, 0};
    a.last = {1, 0, static_cast<std::uint16_t>(row + 1), 0};
    sheet().objects.push_back(drawing::makeControl(sheet(), kind, a));
    return static_cast<int>(sheet().objects.size()) - 1;
  }
  ControlPayload& control(int i) { return *controlOf(sheet().objects[static_cast<size_t>(i)]); }
};

TEST_F(ControlPaintingTest, ClicksOperateControls) {
  const Rect vertical{0, 0, 17, 100}; // arrows 17 high, track 17-83, thumb 17 high
  const int scroll = add(model::kObjectScrollBar);
  control(scroll).minimum = 0;
  control(scroll).maximum = 50;
  control(scroll).increment = 3;
  control(scroll).pageChange = 20;
  control(scroll).value = 0;
  control(scroll).linkedCell = u"$A$1";
  const struct {
    Point at;
    int value;
  } steps[] = {{{8, 5}, 0},   {{8, 95}, 3},  {{8, 95}, 6},  {{8, 70}, 26}, {{8, 75}, 46},
               {{8, 95}, 49}, {{8, 95}, 50}, {{8, 20}, 30}, {{8, 5}, 27}};
  for (const auto& s : steps) {
    const PressOutcome out = pressControl(*book, 0, scroll, vertical, s.at, 100);
    EXPECT_EQ(control(scroll).value, s.value) << s.at.y;
    if (out.changed) {
      EXPECT_EQ(out.linkedCell, u"$A$1");
      EXPECT_EQ(out.cellText, drawing::linkedCellText(model::kObjectScrollBar, control(scroll)));
      set("A1", out.cellText); // what the entry path does
    }
  }

  const int check = add(model::kObjectCheckBox);
  control(check).value = drawing::kMixed;
  PressOutcome out = pressControl(*book, 0, check, {0, 0, 80, 20}, {5, 5}, 100);
  EXPECT_TRUE(out.changed);
  EXPECT_EQ(out.cellText, u"TRUE");
  out = pressControl(*book, 0, check, {0, 0, 80, 20}, {5, 5}, 100);
  EXPECT_EQ(out.cellText, u"FALSE");

  const int spin = add(model::kObjectSpinner);
  control(spin).minimum = 1;
  control(spin).maximum = 3;
  control(spin).value = 2;
  const Rect upDown{0, 0, 16, 30};
  pressControl(*book, 0, spin, upDown, {8, 4}, 100);
  EXPECT_EQ(control(spin).value, 3);
  EXPECT_FALSE(pressControl(*book, 0, spin, upDown, {8, 4}, 100).changed); // already at the top
  pressControl(*book, 0, spin, upDown, {8, 25}, 100);
  EXPECT_EQ(control(spin).value, 2);
}

TEST_F(ControlPaintingTest, ListBoxesShowAndChooseTheirInputRange) {
  set("B1", u"apple");
  set("B2", u"=1+1");
  set("B3", u"cherry");
  const int list = add(model::kObjectListBox);
  control(list).inputRange = u"$B$1:$B$3";
  control(list).linkedCell = u"$A$1";
  EXPECT_EQ(drawing::listEntries(*book, 0, control(list)), (std::vector<std::u16string>{u"apple", u"2", u"cherry"}));
  const Rect r{0, 0, 100, 70};
  PressOutcome out = pressControl(*book, 0, list, r, {10, 2 + kListRowHeight + 3}, 100);
  EXPECT_TRUE(out.changed);
  EXPECT_EQ(out.cellText, u"2");
  EXPECT_EQ(control(list).selection, 2);
  set("A1", out.cellText); // what the entry path does
  // Below the last entry nothing is chosen.
  EXPECT_FALSE(pressControl(*book, 0, list, r, {10, 2 + 3 * kListRowHeight + 3}, 100).changed);

  platform::RecordingCanvas canvas;
  drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(list)], r, 100);
  EXPECT_EQ(canvas.textOps(u"cherry").size(), 1u);
  const std::vector<platform::CanvasOp> chosen = canvas.textOps(u"2");
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0].colour, platform::kWhite); // on the highlight

  const int combo = add(model::kObjectComboBox);
  control(combo).inputRange = u"$B$1:$B$3";
  EXPECT_TRUE(pressControl(*book, 0, combo, r, {5, 5}, 100).dropDown);
  out = chooseEntry(*book, 0, combo, 2);
  EXPECT_EQ(out.cellText, u"3");
  canvas.clear();
  drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(combo)], {0, 0, 100, 20}, 100);
  EXPECT_EQ(canvas.textOps(u"cherry").size(), 1u);
}

TEST_F(ControlPaintingTest, OptionPressWritesTheGroupNumber) {
  const int a = add(model::kObjectOptionButton, 0);
  const int b = add(model::kObjectOptionButton, 2);
  control(a).linkedCell = u"$D$1";
  EXPECT_EQ(control(a).value, 1); // the first button of a sheet starts chosen
  const PressOutcome out = pressControl(*book, 0, b, {0, 0, 80, 20}, {4, 10}, 100);
  EXPECT_TRUE(out.changed);
  EXPECT_EQ(out.linkedCell, u"$D$1");
  EXPECT_EQ(out.cellText, u"2");
  EXPECT_EQ(control(a).value, 0);
  EXPECT_EQ(control(b).value, 1);
  set("D1", out.cellText); // what the entry path does
  EXPECT_FALSE(pressControl(*book, 0, b, {0, 0, 80, 20}, {4, 10}, 100).changed);
}

TEST_F(ControlPaintingTest, CheckBoxesDrawTheirState) {
  const int check = add(model::kObjectCheckBox);
  const Rect r{0, 0, 90, 20};
  const auto ticks = [&] {
    platform::RecordingCanvas canvas;
    drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(check)], r, 100);
    EXPECT_EQ(canvas.textOps(u"复选框 1").size(), 1u);
    int n = 0;
    for (const platform::CanvasOp& op : canvas.opsOf(platform::CanvasOp::Kind::Line))
      n += op.points[0].x != op.points[1].x && op.points[0].y != op.points[1].y; // the tick's slanted strokes
    return n;
  };
  EXPECT_EQ(ticks(), 0);
  control(check).value = drawing::kChecked;
  EXPECT_GT(ticks(), 0);
}

// Sizes at zoom 100 are pinned; at 300 every one of them triples, so a
// control printed at 600 dpi looks as it does on the screen.
TEST_F(ControlPaintingTest, ControlsGrowWithTheZoom) {
  using Kind = platform::CanvasOp::Kind;
  const int check = add(model::kObjectCheckBox);
  control(check).value = drawing::kChecked;
  const int option = add(model::kObjectOptionButton, 2);
  const int button = add(model::kObjectButton, 4);
  sheet().objects[static_cast<size_t>(button)].text = u"Go";
  const int spin = add(model::kObjectSpinner, 6);
  for (const int k : {1, 3}) {
    SCOPED_TRACE(k);
    const int zoom = 100 * k;
    const auto draw = [&](int object, const Rect& r) {
      platform::RecordingCanvas canvas;
      drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(object)], r, zoom);
      return canvas;
    };

    platform::RecordingCanvas canvas = draw(check, {0, 0, 90 * k, 20 * k});
    const std::vector<platform::CanvasOp> fills = canvas.opsOf(Kind::Fill);
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills[0].rect, (Rect{2 * k, 3 * k + (k == 3 ? 1 : 0), 15 * k, 16 * k + (k == 3 ? 1 : 0)}))
        << "the box, 13 pixels at zoom 100, centred in the height";
    int tick = 0;
    for (const platform::CanvasOp& op : canvas.opsOf(Kind::Line)) {
      tick += op.points[0].x != op.points[1].x && op.points[0].y != op.points[1].y;
      EXPECT_EQ(op.pen.width, 1);
      EXPECT_TRUE(fills[0].rect.contains(op.points[0])) << "every line of the box and tick stays in the box";
    }
    EXPECT_EQ(tick, 2 * 3 * k) << "two strokes, three pixels deep at zoom 100";
    const std::vector<platform::CanvasOp> text = canvas.textOps(u"复选框 1");
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].font.heightTwips, 200 * k);
    EXPECT_EQ(text[0].rect.left, 19 * k) << "four pixels after the box";

    canvas = draw(option, {0, 0, 90 * k, 20 * k});
    const std::vector<platform::CanvasOp> rings = canvas.opsOf(Kind::Ellipse);
    ASSERT_EQ(rings.size(), 2u) << "the first option of a sheet starts chosen: a ring and its dot";
    EXPECT_EQ(rings[0].rect.width(), 13 * k);
    EXPECT_EQ(rings[0].pen.width, k);
    EXPECT_EQ(rings[1].rect.width(), 5 * k);

    canvas = draw(button, {0, 0, 60 * k, 24 * k});
    ASSERT_EQ(canvas.textOps(u"Go").size(), 1u);
    EXPECT_EQ(canvas.textOps(u"Go")[0].font.heightTwips, 200 * k);
    EXPECT_EQ(canvas.opsOf(Kind::Line).size(), 2u * 4u * static_cast<size_t>(k))
        << "two frames of four edges, each edge k lines thick";

    // A spinner's arrows: four rows of 7, 5, 3 and 1 pixels at zoom 100.
    canvas = draw(spin, {0, 0, 16 * k, 30 * k});
    const Rect upper{0, 0, 16 * k, 15 * k};
    int arrowLines = 0, arrowLength = 0;
    for (const platform::CanvasOp& op : canvas.opsOf(Kind::Line))
      if (op.pen.colour == platform::kBlack && op.points[0].y == op.points[1].y && upper.contains(op.points[0]) &&
          op.points[0].x > 2 * k && op.points[1].x < 14 * k) {
        ++arrowLines;
        arrowLength = std::max(arrowLength, op.points[1].x - op.points[0].x);
      }
    EXPECT_EQ(arrowLines, 4 * k);
    EXPECT_EQ(arrowLength, 7 * k);
  }
}

// What a click finds is what the painter drew at the same zoom.
TEST_F(ControlPaintingTest, ClicksFindThePartsDrawnAtTheZoom) {
  using Kind = platform::CanvasOp::Kind;
  for (const char* cell : {"B1", "B2", "B3", "B4", "B5", "B6"})
    set(cell, std::u16string(u"item ") + static_cast<char16_t>(cell[1]));
  const int list = add(model::kObjectListBox);
  control(list).inputRange = u"$B$1:$B$6";
  control(list).linkedCell = u"$A$1";
  const int scroll = add(model::kObjectScrollBar, 2);
  control(scroll).maximum = 10;
  control(scroll).increment = 1;
  control(scroll).pageChange = 5;
  for (const int k : {1, 3}) {
    SCOPED_TRACE(k);
    const int zoom = 100 * k;
    EXPECT_EQ(listRowHeight(zoom), kListRowHeight * k);
    // Four rows fit; the rest scroll.
    const Rect r{10, 10, 10 + 100 * k, 10 + 70 * k};
    control(list).selection = 0;
    platform::RecordingCanvas canvas;
    drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(list)], r, zoom);
    for (int row = 0; row < 4; ++row) {
      const std::u16string entry = u"item " + std::u16string(1, static_cast<char16_t>(u'1' + row));
      const std::vector<platform::CanvasOp> text = canvas.textOps(entry);
      ASSERT_EQ(text.size(), 1u) << row;
      EXPECT_EQ(text[0].rect.height(), kListRowHeight * k);
      EXPECT_EQ(text[0].font.heightTwips, 200 * k);
      // A click in the middle of the row drawn chooses its entry.
      const Point middle{text[0].rect.left + 4, (text[0].rect.top + text[0].rect.bottom) / 2};
      const PressOutcome out = pressControl(*book, 0, list, r, middle, zoom);
      EXPECT_EQ(out.cellText, std::u16string(1, static_cast<char16_t>(u'1' + row)));
      set("A1", out.cellText);
    }
    EXPECT_TRUE(canvas.textOps(u"item 5").empty());
    // The list's scroll bar takes clicks away from the rows.
    EXPECT_FALSE(pressControl(*book, 0, list, r, {r.right - 4 * k, r.top + 20 * k}, zoom).changed);

    const Rect bar{0, 0, 17 * k, 100 * k};
    const ScrollParts parts = scrollParts(bar, control(scroll), zoom);
    EXPECT_EQ(parts.less, (Rect{0, 0, 17 * k, 17 * k}));
    EXPECT_EQ(parts.thumb.height(), 17 * k);
    control(scroll).value = 0;
    canvas.clear();
    drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(scroll)], bar, zoom);
    // The lowest arrow line drawn lies in the part whose press steps down.
    int lowest = 0;
    for (const platform::CanvasOp& op : canvas.opsOf(Kind::Line))
      if (op.pen.colour == platform::kBlack && op.points[0].y == op.points[1].y &&
          op.points[1].x - op.points[0].x == 7 * k)
        lowest = std::max(lowest, op.points[0].y);
    EXPECT_TRUE(parts.more.contains({8 * k, lowest}));
    pressControl(*book, 0, scroll, bar, {8 * k, lowest}, zoom);
    EXPECT_EQ(control(scroll).value, 1);
    const ScrollParts moved = scrollParts(bar, control(scroll), zoom);
    pressControl(*book, 0, scroll, bar, {8 * k, moved.thumb.bottom + 2}, zoom);
    EXPECT_EQ(control(scroll).value, 6) << "a page down, below the thumb";
  }
  // A track too short for a thumb at the zoom has none, though the same
  // track holds one at zoom 100.
  EXPECT_FALSE(scrollParts({0, 0, 8, 30}, control(scroll), 100).thumb.isEmpty());
  EXPECT_TRUE(scrollParts({0, 0, 8, 30}, control(scroll), 300).thumb.isEmpty());
}

} // namespace
} // namespace view
