#include "view/control_painting.h"

#include "formula/formula_test_util.h"
#include "model/sheet.h"
#include "model/workbook.h"
#include "platform/recording_canvas.h"

namespace view {
namespace {

using drawing::ControlPayload;
using drawing::controlOf;
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
    const PressOutcome out = pressControl(*book, 0, scroll, vertical, s.at);
    EXPECT_EQ(control(scroll).value, s.value) << s.at.y;
    if (out.changed) {
      EXPECT_EQ(out.linkedCell, u"$A$1");
      EXPECT_EQ(out.cellText, drawing::linkedCellText(model::kObjectScrollBar, control(scroll)));
      set("A1", out.cellText); // what the entry path does
    }
  }

  const int check = add(model::kObjectCheckBox);
  control(check).value = drawing::kMixed;
  PressOutcome out = pressControl(*book, 0, check, {0, 0, 80, 20}, {5, 5});
  EXPECT_TRUE(out.changed);
  EXPECT_EQ(out.cellText, u"TRUE");
  out = pressControl(*book, 0, check, {0, 0, 80, 20}, {5, 5});
  EXPECT_EQ(out.cellText, u"FALSE");

  const int spin = add(model::kObjectSpinner);
  control(spin).minimum = 1;
  control(spin).maximum = 3;
  control(spin).value = 2;
  const Rect upDown{0, 0, 16, 30};
  pressControl(*book, 0, spin, upDown, {8, 4});
  EXPECT_EQ(control(spin).value, 3);
  EXPECT_FALSE(pressControl(*book, 0, spin, upDown, {8, 4}).changed); // already at the top
  pressControl(*book, 0, spin, upDown, {8, 25});
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
  PressOutcome out = pressControl(*book, 0, list, r, {10, 2 + kListRowHeight + 3});
  EXPECT_TRUE(out.changed);
  EXPECT_EQ(out.cellText, u"2");
  EXPECT_EQ(control(list).selection, 2);
  set("A1", out.cellText); // what the entry path does
  // Below the last entry nothing is chosen.
  EXPECT_FALSE(pressControl(*book, 0, list, r, {10, 2 + 3 * kListRowHeight + 3}).changed);

  platform::RecordingCanvas canvas;
  drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(list)], r);
  EXPECT_EQ(canvas.textOps(u"cherry").size(), 1u);
  const std::vector<platform::CanvasOp> chosen = canvas.textOps(u"2");
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0].colour, platform::kWhite); // on the highlight

  const int combo = add(model::kObjectComboBox);
  control(combo).inputRange = u"$B$1:$B$3";
  EXPECT_TRUE(pressControl(*book, 0, combo, r, {5, 5}).dropDown);
  out = chooseEntry(*book, 0, combo, 2);
  EXPECT_EQ(out.cellText, u"3");
  canvas.clear();
  drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(combo)], {0, 0, 100, 20});
  EXPECT_EQ(canvas.textOps(u"cherry").size(), 1u);
}

TEST_F(ControlPaintingTest, OptionPressWritesTheGroupNumber) {
  const int a = add(model::kObjectOptionButton, 0);
  const int b = add(model::kObjectOptionButton, 2);
  control(a).linkedCell = u"$D$1";
  EXPECT_EQ(control(a).value, 1); // the first button of a sheet starts chosen
  const PressOutcome out = pressControl(*book, 0, b, {0, 0, 80, 20}, {4, 10});
  EXPECT_TRUE(out.changed);
  EXPECT_EQ(out.linkedCell, u"$D$1");
  EXPECT_EQ(out.cellText, u"2");
  EXPECT_EQ(control(a).value, 0);
  EXPECT_EQ(control(b).value, 1);
  set("D1", out.cellText); // what the entry path does
  EXPECT_FALSE(pressControl(*book, 0, b, {0, 0, 80, 20}, {4, 10}).changed);
}

TEST_F(ControlPaintingTest, CheckBoxesDrawTheirState) {
  const int check = add(model::kObjectCheckBox);
  const Rect r{0, 0, 90, 20};
  const auto ticks = [&] {
    platform::RecordingCanvas canvas;
    drawControl(canvas, *book, 0, sheet().objects[static_cast<size_t>(check)], r);
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

} // namespace
} // namespace view
