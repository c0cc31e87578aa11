#include "drawing/picture_fill.h"

#include "drawing/object_edit.h"
#include "drawing/object_paint.h"
#include "platform/recording_canvas.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace drawing {
namespace {

using platform::Point;
using platform::Rect;

constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kWhite = 0xFFFFFFFFu;

// A 2 by 2 picture: red, green over blue, white.
std::shared_ptr<const image::Picture> quadrants() {
  return std::make_shared<const image::Picture>(
      image::Picture{image::PictureKind::Png, {0x89}, {2, 2, {kRed, kGreen, kBlue, kWhite}}});
}

std::vector<Point> box(const Rect& r) {
  return {{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}};
}

model::Workbook& book() {
  static model::Workbook b = [] {
    model::Workbook w;
    model::seedWorkbookTables(w, model::Font{});
    return w;
  }();
  return b;
}

// Keeps every bitmap drawn and the brushes shapes were outlined with.
class PixelCanvas final : public platform::Canvas {
public:
  void setClip(const Rect&) override {}
  void setPen(const platform::Pen&) override {}
  void setBrush(const platform::Brush& b) override { brush = b; }
  void drawLine(Point, Point) override {}
  void drawPolyline(std::span<const Point>) override {}
  void drawPolygon(std::span<const Point>) override { brushes.push_back(brush.kind); }
  void drawRectangle(const Rect&) override { brushes.push_back(brush.kind); }
  void drawEllipse(const Rect&) override { brushes.push_back(brush.kind); }
  void fillRect(const Rect&, const platform::Brush&) override {}
  void invertRect(const Rect&) override {}
  void drawText(std::u16string_view, const platform::FontSpec&, platform::Colour, const Rect&, unsigned,
                const Rect&) override {}
  void drawBitmap(const Rect& dest, const platform::Bitmap& bitmap) override { drawn.push_back({dest, bitmap}); }
  platform::Brush brush;
  std::vector<platform::Brush::Kind> brushes;
  std::vector<std::pair<Rect, platform::Bitmap>> drawn;
};

TEST(PictureFill, OnlyShapesTextBoxesAndCommentsTakeAFillPicture) {
  for (const int kind : {model::kObjectRectangle, model::kObjectOval, model::kObjectTextBox, model::kObjectComment,
                         model::kObjectOfficeShape, model::kObjectPolygon, model::kObjectPicture,
                         model::kObjectChart, model::kObjectButton, model::kObjectCheckBox}) {
    SCOPED_TRACE(kind);
    model::DrawingObject o;
    o.kind = static_cast<std::uint16_t>(kind);
    o.hasFill = false;
    const bool takes = setFillPicture(o, quadrants(), PictureFill::Texture);
    EXPECT_EQ(takes, canHaveFillPicture(o.kind));
    EXPECT_EQ(fillPictureOf(o) != nullptr, takes);
    EXPECT_EQ(pictureFillOf(o), takes ? PictureFill::Texture : PictureFill::None);
    EXPECT_EQ(o.hasFill, takes);
    clearFillPicture(o);
    EXPECT_EQ(fillPictureOf(o), nullptr);
    EXPECT_EQ(o.payload.get(), nullptr);
    EXPECT_TRUE(o.properties.empty());
  }
  // A picture's own picture is not a fill.
  model::DrawingObject picture;
  picture.kind = model::kObjectPicture;
  picture.payload.reset(std::make_unique<image::PicturePayload>(quadrants()));
  EXPECT_EQ(fillPictureOf(picture), nullptr);
  clearFillPicture(picture);
  EXPECT_NE(picture.payload.get(), nullptr);
}

TEST(PictureFill, FillTypeSaysHowThePictureIsLaid) {
  model::DrawingObject o;
  o.kind = model::kObjectRectangle;
  ASSERT_TRUE(setFillPicture(o, quadrants(), PictureFill::Stretched));
  struct Case {
    std::uint32_t type;
    PictureFill expected;
  };
  for (const Case c : {Case{1, PictureFill::Pattern}, Case{2, PictureFill::Texture}, Case{3, PictureFill::Stretched},
                       Case{0, PictureFill::Stretched}, Case{7, PictureFill::Stretched}}) {
    o.properties = {{kPropFillType, c.type, {}}};
    EXPECT_EQ(pictureFillOf(o), c.expected) << c.type;
  }
  // Shaded fills outlive clearing; fill types that take a picture do not.
  clearFillPicture(o);
  EXPECT_EQ(o.properties.size(), 1u);
  o.properties = {{kPropFillType, 2, {}}, {0x0181, 5, {}}};
  clearFillPicture(o);
  ASSERT_EQ(o.properties.size(), 1u);
  EXPECT_EQ(o.properties[0].id, 0x0181);
}

TEST(PictureFill, StretchedPictureCoversTheRectangle) {
  const Rect r{10, 20, 30, 30}; // 20 by 10
  const std::vector<Point> outline[] = {box(r)};
  const platform::Bitmap b = pictureFillBitmap(quadrants()->bitmap, PictureFill::Stretched, outline, r, 2, 2);
  ASSERT_EQ(b.width, 20);
  ASSERT_EQ(b.height, 10);
  EXPECT_EQ(b.at(0, 0), kRed);
  EXPECT_EQ(b.at(9, 4), kRed);
  EXPECT_EQ(b.at(10, 4), kGreen);
  EXPECT_EQ(b.at(19, 0), kGreen);
  EXPECT_EQ(b.at(0, 5), kBlue);
  EXPECT_EQ(b.at(19, 9), kWhite);
}

TEST(PictureFill, TextureTilesFromTheTopLeft) {
  const Rect r{0, 0, 12, 8};
  const std::vector<Point> outline[] = {box(r)};
  // Tiles of 4 by 4: each picture pixel covers 2 by 2.
  const platform::Bitmap b = pictureFillBitmap(quadrants()->bitmap, PictureFill::Texture, outline, r, 4, 4);
  ASSERT_EQ(b.width, 12);
  for (const auto& [x, y, expected] : {std::tuple{0, 0, kRed}, {1, 1, kRed}, {2, 0, kGreen}, {4, 0, kRed},
                                       {6, 1, kGreen}, {8, 2, kBlue}, {11, 7, kWhite}, {5, 6, kBlue}}) {
    EXPECT_EQ(b.at(x, y), expected) << x << "," << y;
  }
}

TEST(PictureFill, PixelsOutsideTheOutlineStayClear) {
  const Rect r{0, 0, 40, 40};
  // A diamond: corners outside, the middle inside; an empty outline fills nothing.
  const std::vector<Point> diamond[] = {{{20, 0}, {39, 20}, {20, 39}, {0, 20}}};
  const platform::Bitmap b = pictureFillBitmap(quadrants()->bitmap, PictureFill::Stretched, diamond, r, 2, 2);
  ASSERT_FALSE(b.isEmpty());
  for (const auto& [x, y] : {std::pair{1, 1}, {38, 1}, {1, 38}, {38, 38}})
    EXPECT_EQ(b.at(x, y) >> 24, 0u) << x << "," << y;
  EXPECT_EQ(b.at(15, 15), kRed);
  EXPECT_EQ(b.at(25, 25), kWhite);
  // A hole: two runs, the inner one cut out.
  const std::vector<Point> frame[] = {box(r), box({10, 10, 30, 30})};
  const platform::Bitmap holed = pictureFillBitmap(quadrants()->bitmap, PictureFill::Stretched, frame, r, 2, 2);
  EXPECT_EQ(holed.at(20, 20) >> 24, 0u);
  EXPECT_EQ(holed.at(5, 20), kBlue);
  EXPECT_TRUE(pictureFillBitmap(quadrants()->bitmap, PictureFill::Stretched, {}, r, 2, 2).pixels ==
              std::vector<std::uint32_t>(40 * 40, 0));
}

TEST(PictureFill, BadInputGivesNothingAndHugeShapesAreBounded) {
  const Rect r{0, 0, 10, 10};
  const std::vector<Point> outline[] = {box(r)};
  EXPECT_TRUE(pictureFillBitmap({}, PictureFill::Stretched, outline, r, 1, 1).isEmpty());
  EXPECT_TRUE(pictureFillBitmap({2, 2, {kRed}}, PictureFill::Stretched, outline, r, 1, 1).isEmpty())
      << "pixels short of the size";
  EXPECT_TRUE(pictureFillBitmap(quadrants()->bitmap, PictureFill::Stretched, outline, {5, 5, 5, 9}, 1, 1).isEmpty());
  EXPECT_TRUE(pictureFillBitmap(quadrants()->bitmap, PictureFill::None, outline, r, 1, 1).isEmpty());
  // Zero or negative tiles are taken as one pixel, each showing the picture's middle.
  const platform::Bitmap tiny = pictureFillBitmap(quadrants()->bitmap, PictureFill::Texture, outline, r, 0, -5);
  EXPECT_EQ(tiny.pixels, std::vector<std::uint32_t>(100, kWhite));
  const Rect huge{0, 0, 30000, 20000};
  const std::vector<Point> hugeOutline[] = {box(huge)};
  const platform::Bitmap b = pictureFillBitmap(quadrants()->bitmap, PictureFill::Stretched, hugeOutline, huge, 2, 2);
  EXPECT_LE(static_cast<std::int64_t>(b.width) * b.height, 2048 * 2048);
  EXPECT_NEAR(static_cast<double>(b.width) / b.height, 1.5, 0.01);
  EXPECT_EQ(b.at(0, 0), kRed);
  EXPECT_EQ(b.at(b.width - 1, b.height - 1), kWhite);
}

// Filled shapes draw the picture in their rectangle and their outline with
// no brush over it; without pixels to show they keep their colour.
TEST(PictureFill, ShapesDrawThePictureThenTheirOutline) {
  const Rect r{100, 50, 160, 90};
  for (const int kind : {model::kObjectRectangle, model::kObjectOval, model::kObjectTextBox, model::kObjectComment,
                         model::kObjectArc}) {
    SCOPED_TRACE(kind);
    model::DrawingObject o = newObject(kind);
    o.hasFill = true;
    ASSERT_TRUE(setFillPicture(o, quadrants(), PictureFill::Stretched));
    PixelCanvas canvas;
    ASSERT_TRUE(drawObject(canvas, book(), o, r, 100));
    ASSERT_EQ(canvas.drawn.size(), 1u);
    EXPECT_EQ(canvas.drawn[0].first, r);
    EXPECT_EQ(canvas.drawn[0].second.width, r.width());
    for (const platform::Brush::Kind k : canvas.brushes)
      EXPECT_EQ(k, platform::Brush::Kind::None);
    if (kind == model::kObjectOval) {
      EXPECT_EQ(canvas.drawn[0].second.at(0, 0) >> 24, 0u) << "the corner lies outside the oval";
    }

    // Without a fill, or with a picture that did not decode, the colour rules.
    for (const bool undecoded : {false, true}) {
      model::DrawingObject plain = o;
      if (undecoded) {
        ASSERT_TRUE(setFillPicture(plain, std::make_shared<const image::Picture>(), PictureFill::Stretched));
      } else {
        plain.hasFill = false;
      }
      PixelCanvas again;
      ASSERT_TRUE(drawObject(again, book(), plain, r, 100));
      EXPECT_TRUE(again.drawn.empty());
      if (undecoded) {
        EXPECT_NE(std::count(again.brushes.begin(), again.brushes.end(), platform::Brush::Kind::Solid), 0);
      }
    }
  }
}

TEST(PictureFill, PolygonFillsInsideItsVertices) {
  model::DrawingObject o = newObject(model::kObjectPolygon);
  // A triangle over the top half's left corner: (0,0), (16384,0), (0,16384), closed.
  std::vector<std::uint8_t> v = {4, 0, 4, 0, 0xF0, 0xFF};
  for (const auto& [x, y] : {std::pair{0, 0}, {21600, 0}, {0, 21600}, {0, 0}})
    for (const int c : {x, y}) {
      v.push_back(static_cast<std::uint8_t>(c));
      v.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  o.properties.push_back({0x8145, static_cast<std::uint32_t>(v.size()), v});
  ASSERT_TRUE(setFillPicture(o, quadrants(), PictureFill::Stretched));
  PixelCanvas canvas;
  const Rect r{0, 0, 40, 40};
  ASSERT_TRUE(drawObject(canvas, book(), o, r, 100));
  ASSERT_EQ(canvas.drawn.size(), 1u);
  const platform::Bitmap& b = canvas.drawn[0].second;
  EXPECT_EQ(b.at(2, 2), kRed);
  EXPECT_EQ(b.at(35, 35) >> 24, 0u);
}

TEST(PictureFill, PatternTakesTheShapesColoursAndTexturesTileAtTheZoom) {
  model::DrawingObject o = newObject(model::kObjectRectangle);
  o.fillColour = 0x0000FF; // red, 0x00BBGGRR
  // A checker tile: black and white.
  const auto checker = std::make_shared<const image::Picture>(
      image::Picture{image::PictureKind::Dib, {1}, {2, 1, {0xFF000000u, 0xFFFFFFFFu}}});
  ASSERT_TRUE(setFillPicture(o, checker, PictureFill::Pattern));
  o.properties.push_back({0x0183, 0x00FF0000, {}}); // background blue
  const Rect r{0, 0, 8, 2};
  PixelCanvas canvas;
  ASSERT_TRUE(drawObject(canvas, book(), o, r, 100));
  ASSERT_EQ(canvas.drawn.size(), 1u);
  const platform::Bitmap& b = canvas.drawn[0].second;
  EXPECT_EQ(b.at(0, 0), kRed);
  EXPECT_EQ(b.at(1, 0), kBlue);
  EXPECT_EQ(b.at(2, 0), kRed);

  ASSERT_TRUE(setFillPicture(o, checker, PictureFill::Texture));
  PixelCanvas zoomed;
  ASSERT_TRUE(drawObject(zoomed, book(), o, r, 200));
  const platform::Bitmap& z = zoomed.drawn[0].second;
  EXPECT_EQ(z.at(0, 0), 0xFF000000u);
  EXPECT_EQ(z.at(1, 0), 0xFF000000u) << "each tile pixel covers two at 200%";
  EXPECT_EQ(z.at(2, 0), kWhite);
  EXPECT_EQ(z.at(4, 0), 0xFF000000u);
}

TEST(PictureFill, AverageColourShowsClearPixelsAsWhite) {
  EXPECT_EQ(averageColour(image::Picture{image::PictureKind::Png, {}, {2, 1, {kRed, kBlue}}}), 0x7F007Fu);
  EXPECT_EQ(averageColour(image::Picture{image::PictureKind::Png, {}, {1, 1, {0x00000000u}}}), 0xFFFFFFu);
  EXPECT_EQ(averageColour(image::Picture{}), 0xFFFFFFu);
}

} // namespace
} // namespace drawing
