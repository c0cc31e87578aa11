#include "drawing/object_paint.h"

#include "drawing/object_edit.h"
#include "fileformats/image/picture.h"
#include "platform/raster.h"
#include "platform/recording_canvas.h"

#include <gtest/gtest.h>

namespace drawing {
namespace {

using platform::CanvasOp;
using platform::Point;
using platform::Rect;
using Kind = CanvasOp::Kind;

model::Workbook& book() {
  static model::Workbook b = [] {
    model::Workbook w;
    model::seedWorkbookTables(w, model::Font{});
    return w;
  }();
  return b;
}

// Every drawn kind puts something on the canvas inside (or, for arrow
// heads, just round) its rectangle, in the object's colours.
TEST(ObjectPaint, EachKindDrawsInsideItsRectangle) {
  const Rect r{100, 50, 200, 110};
  struct Case {
    int kind;
    int shapeType;
    Kind expected;
  };
  const Case cases[] = {
      {model::kObjectRectangle, 0, Kind::Rectangle}, {model::kObjectOval, 0, Kind::Ellipse},
      {model::kObjectLine, 0, Kind::Polyline},       {model::kObjectArc, 0, Kind::Polyline},
      {model::kObjectTextBox, 0, Kind::Rectangle},   {model::kObjectOfficeShape, 4, Kind::Polygon},
      {model::kObjectOfficeShape, 12, Kind::Polygon}, {model::kObjectOfficeShape, 3, Kind::Ellipse},
      {model::kObjectOfficeShape, 109, Kind::Rectangle}, {model::kObjectOfficeShape, 16, Kind::Polygon},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " type " << c.shapeType);
    model::DrawingObject o = newObject(c.kind);
    o.shapeType = static_cast<std::uint16_t>(c.shapeType);
    o.lineColour = 0x0000FF;
    o.fillColour = 0x00FF00;
    platform::RecordingCanvas canvas;
    ASSERT_TRUE(drawObject(canvas, book(), o, r, 100));
    const std::vector<CanvasOp> ops = canvas.opsOf(c.expected);
    ASSERT_FALSE(ops.empty());
    for (const CanvasOp& op : canvas.ops()) {
      for (const Point& p : op.points) {
        EXPECT_GE(p.x, r.left);
        EXPECT_LT(p.x, r.right + 1);
        EXPECT_GE(p.y, r.top);
        EXPECT_LT(p.y, r.bottom);
      }
      if (op.kind == Kind::Rectangle || op.kind == Kind::Ellipse) {
        EXPECT_EQ(op.rect, r);
      }
    }
    // Outlines in the line colour; closed shapes filled with the fill colour.
    bool outlined = false, filled = false;
    for (const CanvasOp& op : canvas.ops()) {
      outlined |= op.pen.colour == 0x0000FF && op.pen.style != platform::PenStyle::None;
      filled |= op.kind != Kind::Polyline && op.brush.kind == platform::Brush::Kind::Solid &&
                op.brush.colour == 0x00FF00;
    }
    EXPECT_TRUE(outlined);
    EXPECT_EQ(filled, o.hasFill);
  }
}

TEST(ObjectPaint, LineRunsAsItsFlipsSayWithArrowHeads) {
  const Rect r{10, 10, 51, 31};
  const Point tl{10, 10}, br{50, 30}, tr{50, 10}, bl{10, 30};
  // By flip bits: none, across, up and down, both.
  const std::pair<Point, Point> ends[] = {{tl, br}, {tr, bl}, {bl, tr}, {br, tl}};
  for (int d = 0; d < 4; ++d) {
    model::DrawingObject o = newObject(model::kObjectLine);
    o.flip = static_cast<std::uint8_t>(d);
    o.endArrow = 1;
    platform::RecordingCanvas canvas;
    drawObject(canvas, book(), o, r, 100);
    const std::vector<CanvasOp> lines = canvas.opsOf(Kind::Polyline);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].points.front(), ends[d].first) << d;
    EXPECT_EQ(lines[0].points.back(), ends[d].second) << d;
    // One filled triangle whose tip is the line's end.
    const std::vector<CanvasOp> heads = canvas.opsOf(Kind::Polygon);
    ASSERT_EQ(heads.size(), 1u) << d;
    EXPECT_EQ(heads[0].points[0], ends[d].second) << d;
  }
}

TEST(ObjectPaint, NoLineAndNoFillDrawNothingVisible) {
  model::DrawingObject o = newObject(model::kObjectRectangle);
  o.hasLine = false;
  o.hasFill = false;
  platform::RecordingCanvas canvas;
  drawObject(canvas, book(), o, {0, 0, 20, 20}, 100);
  for (const CanvasOp& op : canvas.ops()) {
    EXPECT_EQ(op.pen.style, platform::PenStyle::None);
    EXPECT_EQ(op.brush.kind, platform::Brush::Kind::None);
  }
}

TEST(ObjectPaint, UnsupportedShapeIsKeptButNotDrawn) {
  model::DrawingObject o = newObject(model::kObjectOfficeShape);
  o.shapeType = 1000;
  platform::RecordingCanvas canvas;
  EXPECT_TRUE(drawObject(canvas, book(), o, {0, 0, 20, 20}, 100));
  EXPECT_TRUE(canvas.ops().empty());
  EXPECT_FALSE(isSupportedShapeType(1000));
  EXPECT_FALSE(drawShape(canvas, o, {0, 0, 20, 20}, 100));
}

TEST(ObjectPaint, ControlsAndChartsAreLeftToTheirPainters) {
  for (int kind : {model::kObjectChart, model::kObjectButton, model::kObjectCheckBox, model::kObjectGroup}) {
    platform::RecordingCanvas canvas;
    EXPECT_FALSE(drawObject(canvas, book(), newObject(kind), {0, 0, 20, 20}, 100)) << kind;
    EXPECT_TRUE(canvas.ops().empty());
  }
}

TEST(ObjectPaint, TextBoxWrapsItsText) {
  model::DrawingObject o = newObject(model::kObjectTextBox);
  // Fixed metrics: 7 pixels a character; the box holds about 10 a line.
  o.text = u"alpha beta gamma";
  platform::RecordingCanvas canvas;
  drawObject(canvas, book(), o, {0, 0, 100, 100}, 100);
  const std::vector<CanvasOp> texts = canvas.opsOf(Kind::Text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, u"alpha beta");
  EXPECT_EQ(texts[1].text, u"gamma");
  EXPECT_GT(texts[1].rect.top, texts[0].rect.top);
  for (const CanvasOp& t : texts)
    EXPECT_LE(t.textClip.right, 100);
}

// Across, the line's alignment; down, the block of lines sits at the top,
// in the middle or at the bottom of the box (inside its margin).
TEST(ObjectPaint, TextBoxAndCommentHonourTheirTextPlacement) {
  struct Case {
    std::uint8_t across, down;
    unsigned align;
  };
  const Case cases[] = {
      {model::kTextAlignLeft, model::kTextAlignTop, platform::kTextLeft},
      {model::kTextAlignCentre, model::kTextAlignMiddle, platform::kTextCentre},
      {model::kTextAlignRight, model::kTextAlignBottom, platform::kTextRight},
      {model::kTextAlignJustify, model::kTextAlignJustify, platform::kTextLeft},
  };
  for (const int kind : {model::kObjectTextBox, model::kObjectComment}) {
    int tops[3] = {};
    for (const Case& k : cases) {
      model::DrawingObject o = newObject(static_cast<std::uint16_t>(kind));
      o.text = u"one";
      o.textAlign = k.across;
      o.textVerticalAlign = k.down;
      platform::RecordingCanvas canvas;
      if (kind == model::kObjectComment)
        drawCommentBox(canvas, book(), o, {0, 0, 100, 200}, 100);
      else
        drawObject(canvas, book(), o, {0, 0, 100, 200}, 100);
      const std::vector<CanvasOp> texts = canvas.opsOf(Kind::Text);
      ASSERT_EQ(texts.size(), 1u) << kind;
      EXPECT_EQ(texts[0].align & (platform::kTextLeft | platform::kTextCentre | platform::kTextRight), k.align)
          << kind << " " << int(k.across);
      if (k.down <= 3)
        tops[k.down - 1] = texts[0].rect.top;
      else
        EXPECT_EQ(texts[0].rect.top, tops[0]) << "justified text starts at the top";
      EXPECT_LE(texts[0].rect.bottom, 200);
    }
    EXPECT_LT(tops[0] + 50, tops[1]) << kind;
    EXPECT_LT(tops[1] + 50, tops[2]) << kind;
  }
}

// The vertex list as a file stores it: count, room, vertex size, then
// 16-bit (0xFFF0) or 32-bit (8) coordinate pairs.
model::ShapeProperty vertexList(std::vector<std::pair<int, int>> points, int size) {
  model::ShapeProperty p;
  p.id = 0x8000 | 0x145;
  const auto u16 = [&](unsigned v) {
    p.data.push_back(static_cast<std::uint8_t>(v));
    p.data.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  u16(static_cast<unsigned>(points.size()));
  u16(static_cast<unsigned>(points.size()));
  u16(static_cast<unsigned>(size));
  for (const auto& [x, y] : points) {
    if (size == 8) {
      u16(static_cast<unsigned>(x)), u16(static_cast<unsigned>(x) >> 16);
      u16(static_cast<unsigned>(y)), u16(static_cast<unsigned>(y) >> 16);
    } else {
      u16(static_cast<unsigned>(x)), u16(static_cast<unsigned>(y));
    }
  }
  p.value = static_cast<std::uint32_t>(p.data.size());
  return p;
}

TEST(ObjectPaint, PolygonScalesItsVerticesAndClosesWhenEndsMeet) {
  model::DrawingObject o = newObject(model::kObjectPolygon);
  o.properties = {vertexList({{0, 0}, {21600, 0}, {21600, 21600}, {0, 0}}, 0xFFF0)};
  platform::RecordingCanvas canvas;
  drawObject(canvas, book(), o, {100, 100, 201, 151}, 100);
  const std::vector<CanvasOp> fills = canvas.opsOf(Kind::Polygon);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].points, (std::vector<Point>{{100, 100}, {200, 100}, {200, 150}}));
  // An open polyline (ends apart) is not filled; 32-bit vertices in their own box.
  model::ShapeProperty right;
  right.id = 0x142;
  right.value = 100;
  model::ShapeProperty bottom;
  bottom.id = 0x143;
  bottom.value = 100;
  o.properties = {right, bottom, vertexList({{0, 0}, {100, 0}, {100, 100}, {0, 100}}, 8)};
  canvas.clear();
  drawObject(canvas, book(), o, {100, 100, 201, 151}, 100);
  EXPECT_TRUE(canvas.opsOf(Kind::Polygon).empty());
  ASSERT_EQ(canvas.opsOf(Kind::Polyline).size(), 1u);
  EXPECT_EQ(canvas.opsOf(Kind::Polyline)[0].points.back(), (Point{100, 150}));
}

TEST(ObjectPaint, PolygonVerticesFromDamagedBytesAreBounded) {
  model::DrawingObject o = newObject(model::kObjectPolygon);
  model::ShapeProperty p = vertexList({{5, 5}, {40000, -3}}, 0xFFF0);
  p.data[0] = 0xFF; // claims 255 vertices, holds 2
  o.properties = {p};
  const std::vector<Point> v = polygonVertices(o);
  ASSERT_EQ(v.size(), 2u);
  for (const Point& pt : v) {
    EXPECT_GE(pt.x, 0);
    EXPECT_LE(pt.x, 16384);
    EXPECT_GE(pt.y, 0);
    EXPECT_LE(pt.y, 16384);
  }
  o.properties[0].data.resize(5); // shorter than its header
  EXPECT_TRUE(polygonVertices(o).empty());
  o.properties[0] = vertexList({{1, 1}}, 3); // a vertex size not known
  EXPECT_TRUE(polygonVertices(o).empty());
}

TEST(ObjectPaint, PictureStretchesItsBitmapOverTheRectangle) {
  platform::Bitmap bm{2, 2, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF}};
  auto picture = std::make_shared<image::Picture>();
  picture->bitmap = bm;
  model::DrawingObject o = newObject(model::kObjectPicture);
  o.hasLine = false;
  o.payload.reset(std::make_unique<image::PicturePayload>(picture));
  platform::RecordingCanvas canvas;
  drawObject(canvas, book(), o, {5, 6, 105, 56}, 100);
  const std::vector<CanvasOp> bitmaps = canvas.opsOf(Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].rect, (Rect{5, 6, 105, 56}));
  EXPECT_EQ(bitmaps[0].bitmapWidth, 2);
  // Undecodable bytes still leave a box that can be found and selected.
  model::DrawingObject broken = newObject(model::kObjectPicture);
  canvas.clear();
  drawObject(canvas, book(), broken, {5, 6, 105, 56}, 100);
  EXPECT_TRUE(canvas.opsOf(Kind::Bitmap).empty());
  EXPECT_FALSE(canvas.opsOf(Kind::Rectangle).empty());
}

TEST(ObjectPaint, CommentBoxShowsAuthorThenText) {
  model::DrawingObject c = newObject(model::kObjectComment);
  c.author = u"Ann";
  c.text = u"check";
  platform::RecordingCanvas canvas;
  drawCommentBox(canvas, book(), c, {0, 0, 150, 80}, 100);
  const std::vector<CanvasOp> texts = canvas.opsOf(Kind::Text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, u"Ann:");
  EXPECT_EQ(texts[0].font.weight, 700);
  EXPECT_EQ(texts[1].text, u"check");
  EXPECT_EQ(canvas.opsOf(Kind::Rectangle).at(0).brush.colour, 0xE1FFFFu);
}

// Every shape of the table stays near its box, whatever the box: no
// overflow on huge boxes, nothing but the box on empty ones.
TEST(ObjectPaint, PresetOutlinesStayInTheirBox) {
  const Rect boxes[] = {{0, 0, 100, 60}, {-5, -5, -5, -5}, {0, 0, 30000000, 30000000}};
  int supported = 0;
  for (int type = 0; type < 256; ++type) {
    if (!isSupportedShapeType(type))
      continue;
    ++supported;
    for (const Rect& r : boxes) {
      const ShapeOutline outline = shapeOutline(type, r);
      EXPECT_EQ(outline.runs.empty(), r.isEmpty()) << type;
      for (const ShapeOutline::Run& run : outline.runs)
        for (const Point& p : run.points) {
          EXPECT_GE(p.x, std::min(r.left, r.right - 1)) << type;
          EXPECT_LE(p.x, std::max(r.left, r.right)) << type;
          EXPECT_GE(p.y, std::min(r.top, r.bottom - 1)) << type;
          // Callouts point below their box.
          if (type != 61) {
            EXPECT_LE(p.y, std::max(r.top, r.bottom)) << type;
          }
        }
    }
  }
  EXPECT_GE(supported, 60);
}

TEST(ObjectPaint, LineWidthFollowsZoom) {
  EXPECT_EQ(linePixels(9525, 100), 1);
  EXPECT_EQ(linePixels(3 * 12700, 100), 4);
  EXPECT_EQ(linePixels(3 * 12700, 200), 8);
  EXPECT_EQ(linePixels(0, 100), 1);
  EXPECT_EQ(linePixels(0xFFFFFFFF, 400), 64);
}

// A surface that records what is laid out on it and hands back white
// pixels with one black one at the top left: where the text starts.
class MarkedSurface final : public platform::RasterSurface {
public:
  MarkedSurface(int w, int h, std::vector<CanvasOp>* laidOut) : m_w(w), m_h(h), m_laidOut(laidOut) {}
  ~MarkedSurface() override { *m_laidOut = m_canvas.ops(); }
  int width() const override { return m_w; }
  int height() const override { return m_h; }
  platform::Canvas& canvas() override { return m_canvas; }
  bool savePng(const std::u16string&) override { return false; }
  platform::Bitmap pixels() const override {
    platform::Bitmap b{m_w, m_h, std::vector<std::uint32_t>(static_cast<size_t>(m_w) * static_cast<size_t>(m_h),
                                                            0xFFFFFFFFu)};
    b.pixels[0] = 0xFF000000u;
    return b;
  }

private:
  int m_w, m_h;
  std::vector<CanvasOp>* m_laidOut;
  platform::RecordingCanvas m_canvas;
};

// Keeps the pixels of every bitmap drawn.
class BitmapCanvas final : public platform::Canvas {
public:
  void setClip(const Rect&) override {}
  void setPen(const platform::Pen&) override {}
  void setBrush(const platform::Brush&) override {}
  void drawLine(Point, Point) override {}
  void drawPolyline(std::span<const Point>) override {}
  void drawPolygon(std::span<const Point>) override {}
  void drawRectangle(const Rect&) override {}
  void drawEllipse(const Rect&) override {}
  void fillRect(const Rect&, const platform::Brush&) override {}
  void invertRect(const Rect&) override {}
  void drawText(std::u16string_view, const platform::FontSpec&, platform::Colour, const Rect&, unsigned,
                const Rect&) override {}
  void drawBitmap(const Rect& dest, const platform::Bitmap& bitmap) override { drawn.push_back({dest, bitmap}); }
  std::vector<std::pair<Rect, platform::Bitmap>> drawn;
};

// Turned text is laid out along the box's height and drawn a quarter turn
// round: its start at the top right when it reads down, at the bottom left
// when it reads up, in the font's colour over a clear ground. Stacked text
// puts one character under the other.
TEST(ObjectPaint, TextRunsInTheObjectsDirection) {
  std::vector<CanvasOp> laidOut;
  platform::setRasterFactory([&](int w, int h) { return std::make_unique<MarkedSurface>(w, h, &laidOut); });
  model::DrawingObject o = newObject(model::kObjectTextBox);
  o.text = u"up";
  const Rect r{0, 0, 60, 200};
  for (const int orientation : {2, 3}) {
    SCOPED_TRACE(orientation);
    o.textOrientation = static_cast<std::uint8_t>(orientation);
    BitmapCanvas canvas;
    ASSERT_TRUE(drawObject(canvas, book(), o, r, 100));
    ASSERT_EQ(canvas.drawn.size(), 1u);
    const auto& [dest, bitmap] = canvas.drawn[0];
    ASSERT_EQ(bitmap.width, dest.width());
    ASSERT_EQ(bitmap.height, dest.height());
    ASSERT_EQ(laidOut.size(), 1u);
    EXPECT_EQ(laidOut[0].text, u"up");
    EXPECT_EQ(laidOut[0].rect.width(), dest.height()) << "the line runs along the box's height";
    const std::uint32_t start = orientation == 3 ? bitmap.at(bitmap.width - 1, 0) : bitmap.at(0, bitmap.height - 1);
    EXPECT_EQ(start, 0xFF000000u | platform::pixelOfColour(platform::kBlack));
    EXPECT_EQ(bitmap.at(bitmap.width / 2, bitmap.height / 2) >> 24, 0u) << "the ground stays clear";
  }
  platform::setRasterFactory({});

  o.textOrientation = 1;
  o.text = u"abc";
  platform::RecordingCanvas stacked;
  ASSERT_TRUE(drawObject(stacked, book(), o, r, 100));
  const std::vector<CanvasOp> texts = stacked.opsOf(Kind::Text);
  ASSERT_EQ(texts.size(), 3u);
  for (size_t i = 1; i < texts.size(); ++i) {
    EXPECT_EQ(texts[i].rect.left, texts[0].rect.left);
    EXPECT_GT(texts[i].rect.top, texts[i - 1].rect.top);
  }
  EXPECT_EQ(texts[2].text, u"c");
}

} // namespace
} // namespace drawing
