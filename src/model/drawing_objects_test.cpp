#include "model/drawing_objects.h"

#include "model/sheet.h"

#include <gtest/gtest.h>

namespace model {
namespace {

// Columns 64 pixels wide (8 characters of 8 pixels), rows 17 pixels (255
// twips at 96 per inch: 17).
constexpr PixelScale kScale{8, 96};

class DrawingObjectsTest : public ::testing::Test {
protected:
  DrawingObjectsTest() { sheet_init(sheet, SheetKind::Worksheet); }
  Sheet sheet;
};

TEST_F(DrawingObjectsTest, AnchorsBecomePixelsAndBack) {
  const struct {
    ObjectAnchor anchor;
    platform::Rect want;
  } rows[] = {
      {{{0, 0, 0, 0}, {1, 0, 1, 0}}, {0, 0, 64, 17}},
      {{{1, 512, 2, 128}, {3, 256, 4, 0}}, {96, 42, 208, 68}}, // halves and quarters
      {{{3, 0, 4, 0}, {1, 0, 2, 0}}, {64, 34, 192, 68}},         // reversed corners
  };
  for (const auto& row : rows) {
    EXPECT_EQ(anchorToPixels(sheet, row.anchor, kScale), row.want);
    const ObjectAnchor back = pixelsToAnchor(sheet, row.want, kScale);
    EXPECT_EQ(anchorToPixels(sheet, back, kScale), row.want);
  }
  // Widening a column under the object widens the object.
  set_column_record(sheet, 0, 0, 4096); // 16 characters: 128 pixels
  EXPECT_EQ(anchorToPixels(sheet, rows[0].anchor, kScale), (platform::Rect{0, 0, 128, 17}));
}

TEST_F(DrawingObjectsTest, HiddenLinesAreSteppedOverWhenAnchoring) {
  set_column_record(sheet, 1, kLineHidden, 2048); // B hidden: C starts at 64
  const ObjectAnchor a = pixelsToAnchor(sheet, {64, 0, 80, 17}, kScale);
  EXPECT_EQ(a.first.column, 2);
  EXPECT_EQ(a.first.columnOffset, 0);
  EXPECT_EQ(a.last.column, 2);
  EXPECT_EQ(a.last.columnOffset, 256);
}

TEST_F(DrawingObjectsTest, MovingKeepsTheSizeAndStopsAtTheTopLeft) {
  DrawingObject o;
  o.anchor = {{1, 0, 1, 0}, {2, 0, 3, 0}}; // 64..128 x 17..51
  sheet.objects.push_back(o);
  moveObjectBy(sheet, 0, 32, 17, kScale);
  EXPECT_EQ(anchorToPixels(sheet, sheet.objects[0].anchor, kScale), (platform::Rect{96, 34, 160, 68}));
  moveObjectBy(sheet, 0, -1000, -1000, kScale);
  EXPECT_EQ(anchorToPixels(sheet, sheet.objects[0].anchor, kScale), (platform::Rect{0, 0, 64, 34}));
  moveObjectBy(sheet, 5, 1, 1, kScale); // no such object: nothing happens
}

TEST_F(DrawingObjectsTest, CommentsAreFoundByCellAndNotHitTestedUnlessShown) {
  DrawingObject box;
  DrawingObject note;
  note.kind = kObjectComment;
  note.row = 4;
  note.column = 2;
  sheet.objects = {box, note};
  EXPECT_EQ(commentAt(sheet, 4, 2), 1);
  EXPECT_EQ(commentAt(sheet, 4, 3), -1);
  EXPECT_TRUE(isHitTestable(sheet.objects[0]));
  EXPECT_FALSE(isHitTestable(sheet.objects[1]));
  sheet.objects[1].visible = true;
  EXPECT_TRUE(isHitTestable(sheet.objects[1]));
}

struct Marker final : ObjectPayload {
  explicit Marker(int v) : value(v) {}
  std::unique_ptr<ObjectPayload> clone() const override { return std::make_unique<Marker>(value); }
  int value;
};

TEST_F(DrawingObjectsTest, CopiesOfAnObjectOwnTheirPayload) {
  DrawingObject a;
  a.payload.reset(std::make_unique<Marker>(7));
  DrawingObject b = a;
  ASSERT_NE(b.payload.get(), nullptr);
  EXPECT_NE(b.payload.get(), a.payload.get());
  static_cast<Marker*>(b.payload.get())->value = 9;
  EXPECT_EQ(static_cast<Marker*>(a.payload.get())->value, 7);
}

} // namespace
} // namespace model
