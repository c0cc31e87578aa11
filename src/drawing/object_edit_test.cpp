#include "drawing/object_edit.h"

#include <gtest/gtest.h>

namespace drawing {
namespace {

using platform::Point;
using platform::Rect;

TEST(ObjectEdit, DragShapeOrdersCornersAndFlipsTheLineToStartWhereTheDragDid) {
  struct Case {
    Point start, now;
    int flip;
  };
  const Case cases[] = {
      {{10, 10}, {40, 30}, 0}, {{40, 10}, {10, 30}, 1}, {{40, 30}, {10, 10}, 3}, {{10, 30}, {40, 10}, 2}};
  for (const Case& c : cases) {
    const DragShape s = dragShape(model::kObjectLine, c.start, c.now, false);
    EXPECT_EQ(s.rect, (Rect{10, 10, 41, 31}));
    EXPECT_EQ(s.flip, c.flip);
  }
}

TEST(ObjectEdit, ShiftMakesSquaresAndSnapsLines) {
  // A rectangle becomes a square on its larger side, towards the drag.
  EXPECT_EQ(dragShape(model::kObjectRectangle, {50, 50}, {80, 60}, true).rect, (Rect{50, 50, 81, 81}));
  EXPECT_EQ(dragShape(model::kObjectOval, {50, 50}, {30, 90}, true).rect, (Rect{10, 50, 51, 91}));
  // Lines: nearly flat is flat, nearly upright is upright, between is 45 degrees.
  EXPECT_EQ(dragShape(model::kObjectLine, {50, 50}, {90, 55}, true).rect, (Rect{50, 50, 91, 51}));
  EXPECT_EQ(dragShape(model::kObjectLine, {50, 50}, {53, 10}, true).rect, (Rect{50, 10, 51, 51}));
  const DragShape diagonal = dragShape(model::kObjectLine, {50, 50}, {80, 25}, true);
  EXPECT_EQ(diagonal.rect, (Rect{50, 20, 81, 51}));
  EXPECT_EQ(diagonal.flip, 2); // up and to the right
}

TEST(ObjectEdit, RemoveObjectKeepsTheSelectionOnItsObject) {
  model::Sheet sheet;
  for (int i = 0; i < 4; ++i)
    sheet.objects.push_back(newObject(model::kObjectRectangle));
  sheet.objects[2].text = u"third";
  sheet.selectedObject = 2;
  sheet.secondObject = 1;
  removeObject(sheet, 0);
  EXPECT_EQ(sheet.selectedObject, 1);
  EXPECT_EQ(sheet.objects[1].text, u"third");
  EXPECT_EQ(sheet.secondObject, 0);
  removeObject(sheet, 1);
  EXPECT_EQ(sheet.selectedObject, -1);
  removeObject(sheet, 7); // out of range: nothing
  EXPECT_EQ(sheet.objects.size(), 2u);
}

TEST(ObjectEdit, SetCommentMakesOneCommentPerCellAndEditsIt) {
  model::Sheet sheet;
  const model::PixelScale scale;
  const int a = setComment(sheet, 3, 2, u"first", u"Ann", scale);
  EXPECT_EQ(model::commentAt(sheet, 3, 2), a);
  const model::DrawingObject& c = sheet.objects[static_cast<size_t>(a)];
  EXPECT_EQ(c.author, u"Ann");
  EXPECT_FALSE(c.visible);
  // Its box lies right of the cell.
  const Rect box = model::anchorToPixels(sheet, c.anchor, scale);
  EXPECT_GT(box.left, model::column_offset_px(sheet, 3, 0, scale));
  EXPECT_GT(box.width(), 100);
  EXPECT_EQ(setComment(sheet, 3, 2, u"second", u"Bob", scale), a);
  EXPECT_EQ(sheet.objects.size(), 1u);
  EXPECT_EQ(sheet.objects[0].text, u"second");
  EXPECT_EQ(sheet.objects[0].author, u"Ann"); // the writer stays
  // The last column's comment box still lies on the sheet.
  const int far = setComment(sheet, 0, 255, u"edge", u"", scale);
  const model::ObjectAnchor& an = sheet.objects[static_cast<size_t>(far)].anchor;
  EXPECT_LE(an.last.column, 255);
}

TEST(ObjectEdit, TabStepsOverCommentsAndFilterArrows) {
  model::Sheet sheet;
  sheet.objects.push_back(newObject(model::kObjectRectangle)); // 0
  sheet.objects.push_back(newObject(model::kObjectComment));   // 1
  sheet.objects.push_back(newObject(model::kObjectComboBox));  // 2: an arrow
  sheet.objects[2].filterArrow = true;
  sheet.objects.push_back(newObject(model::kObjectOval)); // 3
  EXPECT_EQ(nextTabObject(sheet, 0, false), 3);
  EXPECT_EQ(nextTabObject(sheet, 3, false), 0);
  EXPECT_EQ(nextTabObject(sheet, 0, true), 3);
  EXPECT_EQ(nextTabObject(sheet, -1, false), 0);
  model::Sheet onlyComments;
  onlyComments.objects.push_back(newObject(model::kObjectComment));
  EXPECT_EQ(nextTabObject(onlyComments, -1, false), -1);
}

// Widening a column under a move-and-size rectangle widens it; a fixed one
// keeps its pixels; a move-only one moves but keeps its size.
TEST(ObjectEdit, PlacementModesAfterAColumnWidens) {
  model::Sheet sheet;
  const model::PixelScale scale;
  for (model::ObjectPlacement p :
       {model::ObjectPlacement::MoveAndSize, model::ObjectPlacement::MoveOnly, model::ObjectPlacement::Fixed}) {
    model::DrawingObject o = newObject(model::kObjectRectangle);
    o.placement = p;
    // From the middle of B to the middle of D.
    addObject(sheet, std::move(o), {model::column_offset_px(sheet, 1, 512, scale), 10,
                                    model::column_offset_px(sheet, 3, 512, scale), 40},
              scale);
  }
  const std::vector<Rect> before = model::objectPixelRects(sheet, scale);
  model::setColumnWidthChars(sheet, 0, 0, 20); // A widens: all move right
  model::setColumnWidthChars(sheet, 2, 2, 20); // C widens: inside all of them
  model::keepObjectPlacement(sheet, before, scale);
  const std::vector<Rect> after = model::objectPixelRects(sheet, scale);
  EXPECT_GT(after[0].left, before[0].left);
  EXPECT_GT(after[0].width(), before[0].width() + 50);
  EXPECT_GT(after[1].left, before[1].left);
  EXPECT_NEAR(after[1].width(), before[1].width(), 1);
  EXPECT_NEAR(after[2].left, before[2].left, 1);
  EXPECT_NEAR(after[2].width(), before[2].width(), 1);
}

} // namespace
} // namespace drawing
