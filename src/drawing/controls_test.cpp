#include "drawing/controls.h"

#include "formula/formula_test_util.h"
#include "model/sheet.h"
#include "model/workbook.h"

#include <cmath>

namespace drawing {
namespace {

model::ObjectAnchor anchorAt(std::uint16_t column, std::uint16_t row, std::uint16_t lastColumn, std::uint16_t lastRow) {
  model::ObjectAnchor a;
  a.first = {column, 0, row, 0};
  a.last = {lastColumn, 0, lastRow, 0};
  return a;
}

class ControlsTest : public formula::testing::EngineTest {
protected:
  model::Sheet& sheet() { return book->sheet(0); }
  int add(std::uint16_t kind, model::ObjectAnchor anchor = anchorAt(4, 0, 6, 2)) {
    sheet().objects.push_back(makeControl(sheet(), kind, anchor));
    return static_cast<int>(sheet().objects.size()) - 1;
  }
  ControlPayload& control(int i) { return *controlOf(sheet().objects[static_cast<size_t>(i)]); }
};

TEST(ControlNumbers, OutsideNumbersAreClamped) {
  const struct {
    double in;
    int out;
  } cases[] = {{1E300, 30000}, {-1, 0}, {70000, 30000}, {NAN, 0}, {-INFINITY, 0}, {29999.9, 29999}, {12, 12}};
  for (const auto& c : cases)
    EXPECT_EQ(clampNumber(c.in), c.out) << c.in;
}

TEST(ControlNumbers, FileStateIsBroughtIntoRange) {
  ControlPayload scroll;
  scroll.minimum = 50;
  scroll.maximum = 20; // above the maximum, as a file may say
  scroll.value = 7;
  scroll.increment = 0;
  scroll.pageChange = 40000;
  clampControl(scroll, model::kObjectScrollBar);
  EXPECT_EQ(scroll.minimum, 50);
  EXPECT_EQ(scroll.maximum, 50);
  EXPECT_EQ(scroll.value, 50);
  EXPECT_EQ(scroll.increment, 1);
  EXPECT_EQ(scroll.pageChange, 30000);

  ControlPayload check;
  check.value = 5;
  clampControl(check, model::kObjectCheckBox);
  EXPECT_EQ(check.value, kChecked);
  ControlPayload option;
  option.value = 9;
  clampControl(option, model::kObjectOptionButton);
  EXPECT_EQ(option.value, 1);
}

TEST_F(ControlsTest, CellValuesReachTheControl) {
  const struct {
    std::uint16_t kind;
    std::u16string_view cell;
    std::uint16_t before;
    std::uint16_t after;
  } cases[] = {
      // A spinner over 10-20.
      {model::kObjectSpinner, u"25", 15, 20},
      {model::kObjectSpinner, u"3", 15, 10},
      {model::kObjectSpinner, u"abc", 15, 15},
      {model::kObjectSpinner, u"1E300", 15, 20},
      {model::kObjectSpinner, u"-1", 15, 10},
      {model::kObjectSpinner, u"=NA()", 15, 10},
      {model::kObjectSpinner, u"=1/0", 15, 15},
      {model::kObjectSpinner, u"17.9", 15, 17},
      {model::kObjectSpinner, u"=\"12\"", 15, 12},
      // Check boxes: any non-zero number checks, #N/A is mixed.
      {model::kObjectCheckBox, u"=NA()", 0, kMixed},
      {model::kObjectCheckBox, u"=\"5\"", 0, kChecked},
      {model::kObjectCheckBox, u"TRUE", 0, kChecked},
      {model::kObjectCheckBox, u"FALSE", 1, kUnchecked},
      {model::kObjectCheckBox, u"0", 1, kUnchecked},
      {model::kObjectCheckBox, u"words", 1, kChecked},
      {model::kObjectCheckBox, u"=1/0", 1, kChecked},
  };
  for (const auto& c : cases) {
    sheet().objects.clear();
    const int i = add(c.kind);
    control(i).minimum = 10;
    control(i).maximum = 20;
    control(i).value = c.before;
    control(i).linkedCell = u"$A$1";
    set("A1", c.cell);
    refreshLinkedControls(*book, 0);
    EXPECT_EQ(control(i).value, c.after) << c.kind << " " << platform::toUtf8(c.cell);
  }
}

TEST_F(ControlsTest, EmptyLinkedCellUnchecksAndLeavesUnlinkedAlone) {
  const int linked = add(model::kObjectCheckBox);
  const int unlinked = add(model::kObjectCheckBox);
  control(linked).value = kChecked;
  control(linked).linkedCell = u"B7";
  control(unlinked).value = kChecked;
  EXPECT_EQ(refreshLinkedControls(*book, 0), std::vector<int>{linked});
  EXPECT_EQ(control(linked).value, kUnchecked);
  EXPECT_EQ(control(unlinked).value, kChecked);
}

TEST_F(ControlsTest, OptionGroupsFollowTheirCell) {
  // Three buttons on the sheet, two in a group box of their own.
  const int a = add(model::kObjectOptionButton, anchorAt(0, 0, 1, 1));
  const int b = add(model::kObjectOptionButton, anchorAt(0, 2, 1, 3));
  const int c = add(model::kObjectOptionButton, anchorAt(0, 4, 1, 5));
  const int box = add(model::kObjectGroupBox, anchorAt(3, 0, 8, 10));
  const int d = add(model::kObjectOptionButton, anchorAt(4, 1, 5, 2));
  const int e = add(model::kObjectOptionButton, anchorAt(4, 3, 5, 4));
  EXPECT_EQ(optionGroup(sheet(), b), (std::vector<int>{a, b, c}));
  EXPECT_EQ(optionGroup(sheet(), e), (std::vector<int>{d, e}));
  EXPECT_EQ(optionGroup(sheet(), box), std::vector<int>{});
  // The group's link is on its second button.
  control(b).linkedCell = u"$C$1";
  const struct {
    std::u16string_view cell;
    std::array<int, 3> chosen;
  } cases[] = {{u"2", {0, 1, 0}}, {u"4", {0, 0, 0}}, {u"3", {0, 0, 1}}, {u"0", {0, 0, 0}},
               {u"1", {1, 0, 0}}, {u"=NA()", {0, 0, 0}}};
  for (const auto& k : cases) {
    set("C1", k.cell);
    refreshLinkedControls(*book, 0);
    EXPECT_EQ(control(a).value, k.chosen[0]) << platform::toUtf8(k.cell);
    EXPECT_EQ(control(b).value, k.chosen[1]) << platform::toUtf8(k.cell);
    EXPECT_EQ(control(c).value, k.chosen[2]) << platform::toUtf8(k.cell);
  }
  // The other group has no link and keeps its choice.
  EXPECT_EQ(control(d).value + control(e).value, 0);
}

TEST_F(ControlsTest, ReferencesResolveOnlyWhenWhole) {
  const struct {
    std::u16string_view text;
    bool ok;
    int sheet;
    model::CellRange range;
  } cases[] = {
      {u"$A$1", true, 0, {0, 0, 0, 0}},
      {u"=Sheet1!B2:C3", true, 0, {1, 1, 2, 2}},
      {u" D4 ", true, 0, {3, 3, 3, 3}},
      {u"Nowhere!A1", false, 0, {}},
      {u"A1 junk", false, 0, {}},
      {u"", false, 0, {}},
      {u"abc", false, 0, {}},
  };
  for (const auto& c : cases) {
    const std::optional<ControlReference> r = resolveReference(*book, 0, c.text);
    ASSERT_EQ(r.has_value(), c.ok) << platform::toUtf8(c.text);
    if (r) {
      EXPECT_EQ(r->sheet, c.sheet);
      EXPECT_EQ(r->range, c.range) << platform::toUtf8(c.text);
    }
  }
}

TEST_F(ControlsTest, ReferencesAreHandedToTheRewriter) {
  const int i = add(model::kObjectListBox);
  control(i).linkedCell = u"$A$1";
  control(i).inputRange = u"$B$1:$B$3";
  std::vector<std::u16string> seen;
  sheet().objects[static_cast<size_t>(i)].payload.get()->forEachReference([&](std::u16string& t) {
    seen.push_back(t);
    t = u"$Z$9";
  });
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"$A$1", u"$B$1:$B$3"}));
  EXPECT_EQ(control(i).linkedCell, u"$Z$9");
  // A copy of the object owns its own payload.
  model::DrawingObject copy = sheet().objects[static_cast<size_t>(i)];
  controlOf(copy)->linkedCell = u"$Q$1";
  EXPECT_EQ(control(i).linkedCell, u"$Z$9");
}

} // namespace
} // namespace drawing
