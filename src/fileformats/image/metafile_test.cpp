#include "fileformats/image/metafile.h"

#include "platform/raster.h"
#include "platform/recording_canvas.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace image {
namespace {

using platform::CanvasOp;
using platform::Point;

struct Bytes {
  std::vector<std::uint8_t> b;
  void u8(unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); }
  void u16(unsigned v) {
    u8(v & 0xFF);
    u8((v >> 8) & 0xFF);
  }
  void u32(std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
};

// Enhanced metafiles: a header over a 1000 x 1000 pixel, 100 x 100 mm
// reference device (10 pixels a millimetre) whose frame is 10 x 5 mm, so
// the picture is 100 x 50 device pixels.
struct Emf {
  Bytes out;
  explicit Emf(unsigned handles = 4) {
    record(1, {0, 0, 99, 49, 0, 0, 1000, 500, 0x464D4520, 0x10000, 0, 0, handles, 0, 0, 0, 1000, 1000, 100, 100});
  }
  Emf& record(std::uint32_t type, std::initializer_list<std::uint32_t> params) {
    out.u32(type);
    out.u32(static_cast<std::uint32_t>(8 + 4 * params.size()));
    for (std::uint32_t p : params)
      out.u32(p);
    return *this;
  }
  Emf& raw(std::uint32_t type, const std::vector<std::uint8_t>& body) {
    out.u32(type);
    out.u32(static_cast<std::uint32_t>(8 + body.size()));
    out.b.insert(out.b.end(), body.begin(), body.end());
    return *this;
  }
  std::vector<std::uint8_t> done() {
    record(14, {0, 16, 20});
    return out.b;
  }
};

constexpr std::uint32_t kRectangle = 43, kCreatePen = 38, kCreateBrush = 39, kSelect = 37, kDelete = 40;
constexpr std::uint32_t kMoveTo = 27, kLineTo = 54, kSaveDc = 33, kRestoreDc = 34;
const platform::Rect kTarget{0, 0, 200, 100}; // twice the picture's size

std::vector<CanvasOp> play(PictureKind kind, const std::vector<std::uint8_t>& bytes,
                           platform::Rect target = kTarget) {
  platform::RecordingCanvas canvas;
  EXPECT_TRUE(playMetafile(kind, bytes, canvas, target));
  return canvas.ops();
}

std::vector<CanvasOp> opsOf(const std::vector<CanvasOp>& ops, CanvasOp::Kind kind) {
  std::vector<CanvasOp> out;
  for (const CanvasOp& op : ops)
    if (op.kind == kind)
      out.push_back(op);
  return out;
}

TEST(EnhancedMetafile, RectangleIsMappedFromTheFrameOntoTheTarget) {
  const auto ops = play(PictureKind::Emf, Emf{}.record(kRectangle, {10, 10, 50, 25}).done());
  const auto shapes = opsOf(ops, CanvasOp::Kind::Polygon);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].points, (std::vector<Point>{{20, 20}, {100, 20}, {100, 50}, {20, 50}}));
  EXPECT_EQ(shapes[0].brush, platform::Brush::solid(0xFFFFFF)); // the default white brush
  EXPECT_EQ(shapes[0].pen.colour, 0u);
  EXPECT_EQ(shapes[0].clip, kTarget);
}

TEST(EnhancedMetafile, PensAndBrushesAreCreatedSelectedAndDeleted) {
  Emf emf;
  emf.record(kCreatePen, {1, 0, 5, 0, 0x0000FF})        // red, 5 units wide
      .record(kCreateBrush, {2, 0, 0xFF0000, 0})         // solid blue
      .record(kSelect, {1})
      .record(kSelect, {2})
      .record(kMoveTo, {0, 0})
      .record(kLineTo, {50, 0})
      .record(kRectangle, {0, 0, 10, 10})
      .record(kSelect, {0x80000005})                     // stock hollow brush
      .record(kRectangle, {0, 0, 10, 10})
      .record(kDelete, {1})
      .record(kSelect, {1})                               // deleted: the pen stays as it was
      .record(kLineTo, {50, 20});
  const auto ops = play(PictureKind::Emf, emf.done());
  const auto lines = opsOf(ops, CanvasOp::Kind::Polyline);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].points, (std::vector<Point>{{0, 0}, {100, 0}}));
  EXPECT_EQ(lines[0].pen.colour, 0x0000FFu);
  EXPECT_EQ(lines[0].pen.width, 10);
  EXPECT_EQ(lines[1].pen.colour, 0x0000FFu);
  const auto shapes = opsOf(ops, CanvasOp::Kind::Polygon);
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[0].brush, platform::Brush::solid(0xFF0000));
  EXPECT_EQ(shapes[1].brush.kind, platform::Brush::Kind::None);
}

TEST(EnhancedMetafile, ObjectIndexesOutsideTheTableAreIgnored) {
  Emf emf(3);
  emf.record(kCreatePen, {3, 0, 1, 0, 0x00FF00})   // index 3 of a 3-entry table
      .record(kCreatePen, {0xFFFFFF, 0, 1, 0, 0x00FF00})
      .record(kSelect, {3})
      .record(kSelect, {0x7FFFFFFF})
      .record(kDelete, {0xFFFFFFF0})
      .record(kMoveTo, {0, 0})
      .record(kLineTo, {10, 10});
  const auto lines = opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Polyline);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].pen.colour, 0u);
}

TEST(EnhancedMetafile, BadRecordSizesEndThePlay) {
  struct Case {
    const char* name;
    std::uint32_t size;
  };
  for (const Case& c : {Case{"zero", 0}, Case{"below its header", 4}, Case{"ragged", 13},
                        Case{"past the end", 0x7FFFFFF0}, Case{"four gigabytes", 0xFFFFFFFC}}) {
    SCOPED_TRACE(c.name);
    Emf emf;
    emf.record(kRectangle, {0, 0, 10, 10});
    emf.out.u32(kRectangle);
    emf.out.u32(c.size);
    for (int i = 0; i < 4; ++i)
      emf.out.u32(0);
    emf.record(kRectangle, {0, 0, 20, 20});
    EXPECT_EQ(opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Polygon).size(), 1u);
  }
}

TEST(EnhancedMetafile, EndOfFileRecordEndsThePlay) {
  Emf emf;
  emf.record(14, {0, 16, 20}).record(kRectangle, {0, 0, 10, 10});
  EXPECT_TRUE(opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Polygon).empty());
}

TEST(EnhancedMetafile, RecordCountIsCapped) {
  Emf emf;
  for (int i = 0; i < kMaxMetafileRecords; ++i)
    emf.record(18, {1}); // background mode: changes nothing drawn
  emf.record(kRectangle, {0, 0, 10, 10});
  EXPECT_TRUE(opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Polygon).empty());
}

TEST(EnhancedMetafile, WindowAndViewportMapLogicalUnits) {
  Emf emf;
  emf.record(17, {8})                // anisotropic
      .record(9, {1000, 1000})       // window extent
      .record(11, {100, 50})         // viewport extent
      .record(10, {100, 0})          // window origin
      .record(kMoveTo, {100, 0})
      .record(kLineTo, {600, 500});
  const auto lines = opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Polyline);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].points, (std::vector<Point>{{0, 0}, {100, 50}}));
}

TEST(EnhancedMetafile, SixteenBitPolylinesAndPolyPolygons) {
  Emf emf;
  emf.record(87, {0, 0, 0, 0, 3, (5u << 16) | 0, (0u << 16) | 10, (10u << 16) | 10}); // POLYLINE16
  // POLYPOLYGON16: two rings of 3 points.
  emf.record(91, {0, 0, 0, 0, 2, 6, 3, 3, 0, 10, 10 << 16, 1, 1 | (2 << 16), 2 | (1 << 16)});
  const auto ops = play(PictureKind::Emf, emf.done());
  const auto lines = opsOf(ops, CanvasOp::Kind::Polyline);
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0].points, (std::vector<Point>{{0, 10}, {20, 0}, {20, 20}}));
  const auto fills = opsOf(ops, CanvasOp::Kind::Polygon);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].points.front(), (Point{0, 0}));
  EXPECT_EQ(fills[0].pen.style, platform::PenStyle::None);
  EXPECT_EQ(lines.size(), 3u); // the two rings outlined apart
}

TEST(EnhancedMetafile, PointCountsBeyondTheRecordAreCut) {
  Emf emf;
  emf.record(4, {0, 0, 0, 0, 0x40000000, 1, 1, 5, 5}); // claims a billion points, holds two
  const auto lines = opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Polyline);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].points, (std::vector<Point>{{2, 2}, {10, 10}}));
}

TEST(EnhancedMetafile, SavedStatesComeBack) {
  Emf emf;
  emf.record(kCreatePen, {1, 0, 1, 0, 0x00FF00})
      .record(kSaveDc, {})
      .record(kSelect, {1})
      .record(kRestoreDc, {static_cast<std::uint32_t>(-1)})
      .record(kRestoreDc, {static_cast<std::uint32_t>(-5)}) // nothing that far back: ignored
      .record(kMoveTo, {0, 0})
      .record(kLineTo, {10, 0});
  const auto lines = opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Polyline);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].pen.colour, 0u);
}

TEST(EnhancedMetafile, WideTextIsDrawnWithItsFontAndColour) {
  Bytes font;
  font.u32(1);                                   // handle
  font.u32(static_cast<std::uint32_t>(-10));     // height: 10 units of character
  for (int i = 0; i < 3; ++i)
    font.u32(0);
  font.u32(700);                                 // weight
  font.u32(0x00000001);                          // italic
  font.u32(0);                                   // precisions, quality, pitch
  for (char16_t c : std::u16string(u"Tahoma"))
    font.u16(c);
  font.b.resize(4 + 92, 0);
  Bytes text;
  for (std::uint32_t v : {0u, 0u, 0u, 0u, 1u, 0u, 0u, 20u, 10u, 2u, 76u, 0u, 0u, 0u, 0u, 0u, 0u})
    text.u32(v);
  text.u16(u'H');
  text.u16(u'i');
  Emf emf;
  emf.raw(82, font.b).record(kSelect, {1}).record(24, {0x0000FF}).raw(84, text.b);
  const auto ops = play(PictureKind::Emf, emf.done());
  const auto texts = opsOf(ops, CanvasOp::Kind::Text);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, u"Hi");
  EXPECT_EQ(texts[0].colour, 0x0000FFu);
  EXPECT_EQ(texts[0].font.face, u"Tahoma");
  EXPECT_EQ(texts[0].font.weight, 700);
  EXPECT_TRUE(texts[0].font.italic);
  EXPECT_EQ(texts[0].font.heightTwips, 20 * 15); // 10 units are 20 pixels on the target
  EXPECT_EQ(texts[0].rect.left, 40);
  EXPECT_EQ(texts[0].rect.top, 20);
}

TEST(EnhancedMetafile, TextPastTheRecordIsNotRead) {
  Bytes text;
  for (std::uint32_t v : {0u, 0u, 0u, 0u, 1u, 0u, 0u, 20u, 10u, 1000u, 76u, 0u, 0u, 0u, 0u, 0u, 0u})
    text.u32(v);
  text.u16(u'H');
  Emf emf;
  emf.raw(84, text.b);
  EXPECT_TRUE(opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Text).empty());
}

std::vector<std::uint8_t> stretchDibits(std::uint32_t offBmi, std::uint32_t offBits) {
  Bytes r;
  for (std::uint32_t v : {0u, 0u, 0u, 0u, 10u, 5u, 0u, 0u, 2u, 1u, offBmi, 40u, offBits, 8u, 0u, 0xCC0020u, 20u, 10u})
    r.u32(v);
  // BITMAPINFOHEADER of a 2 x 1, 24-bit image, then its padded row.
  for (std::uint32_t v : {40u, 2u, 1u})
    r.u32(v);
  r.u16(1);
  r.u16(24);
  for (int i = 0; i < 6; ++i)
    r.u32(0);
  for (std::uint8_t v : {0, 0, 255, 255, 0, 0, 0, 0})
    r.u8(v);
  return r.b;
}

TEST(EnhancedMetafile, StretchedBitmapsAreDrawnWhenTheirOffsetsHold) {
  Emf emf;
  emf.raw(81, stretchDibits(80, 120));                  // good
  emf.raw(81, stretchDibits(0xFFFFFFF0, 120));          // header offset past the record
  emf.raw(81, stretchDibits(80, 0x7FFFFFFF));           // pixel offset past the record
  emf.raw(81, stretchDibits(80, 124));                  // pixels cut short
  const auto bitmaps = opsOf(play(PictureKind::Emf, emf.done()), CanvasOp::Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].rect, (platform::Rect{20, 10, 60, 30}));
  EXPECT_EQ(bitmaps[0].bitmapWidth, 2);
  EXPECT_EQ(bitmaps[0].bitmapHeight, 1);
}

TEST(EnhancedMetafile, PiesEndAtTheCentreAndArcsStayOpen) {
  Emf emf;
  // A pie over the box 0,0-40,40 from 3 o'clock to 12 o'clock, counter-clockwise.
  emf.record(47, {0, 0, 40, 40, 40, 20, 20, 0});
  emf.record(45, {0, 0, 40, 40, 40, 20, 20, 0});
  const auto ops = play(PictureKind::Emf, emf.done());
  const auto pies = opsOf(ops, CanvasOp::Kind::Polygon);
  ASSERT_EQ(pies.size(), 1u);
  EXPECT_EQ(pies[0].points.front(), (Point{80, 40}));
  EXPECT_EQ(pies[0].points[pies[0].points.size() - 2], (Point{40, 0}));
  EXPECT_EQ(pies[0].points.back(), (Point{40, 40}));
  // Halfway round the quarter lies up and to the right of the centre.
  const Point mid = pies[0].points[(pies[0].points.size() - 1) / 2];
  EXPECT_NEAR(mid.x, 40 + 40 * 0.7071, 1.5);
  EXPECT_NEAR(mid.y, 40 - 40 * 0.7071, 1.5);
  const auto arcs = opsOf(ops, CanvasOp::Kind::Polyline);
  ASSERT_EQ(arcs.size(), 1u);
  EXPECT_EQ(arcs[0].points.front(), (Point{80, 40}));
  EXPECT_EQ(arcs[0].points.back(), (Point{40, 0}));
}

TEST(EnhancedMetafile, NotAMetafileDrawsNothing) {
  platform::RecordingCanvas canvas;
  const std::vector<std::uint8_t> junk(200, 0x11);
  EXPECT_FALSE(playMetafile(PictureKind::Emf, junk, canvas, kTarget));
  EXPECT_FALSE(playMetafile(PictureKind::Wmf, junk, canvas, kTarget));
  EXPECT_TRUE(canvas.ops().empty());
  // An enhanced metafile is not taken for a Windows one.
  EXPECT_FALSE(playMetafile(PictureKind::Wmf, Emf{}.done(), canvas, kTarget));
}

// Windows metafiles: a placeable header whose box is 0,0 to 1000,500 at
// 1000 units an inch (96 x 48 pixels), then the standard header.
struct Wmf {
  Bytes out;
  explicit Wmf(bool placeable = true, unsigned objects = 4, int right = 1000, int bottom = 500, int inch = 1000) {
    if (placeable) {
      out.u32(0x9AC6CDD7);
      out.u16(0);
      out.u16(0);
      out.u16(0);
      out.u16(static_cast<unsigned>(right));
      out.u16(static_cast<unsigned>(bottom));
      out.u16(static_cast<unsigned>(inch));
      out.u32(0);
      out.u16(0);
    }
    out.u16(1);
    out.u16(9);
    out.u16(0x300);
    out.u32(0);
    out.u16(objects);
    out.u32(0);
    out.u16(0);
  }
  Wmf& record(std::uint16_t function, std::initializer_list<std::uint16_t> params) {
    out.u32(static_cast<std::uint32_t>(3 + params.size()));
    out.u16(function);
    for (std::uint16_t p : params)
      out.u16(p);
    return *this;
  }
  std::vector<std::uint8_t> done() {
    record(0, {});
    return out.b;
  }
};

TEST(WindowsMetafile, PlaceableBoxMapsOntoTheTarget) {
  Wmf wmf;
  wmf.record(0x041B, {250, 500, 0, 0}); // rectangle: bottom, right, top, left
  const auto shapes = opsOf(play(PictureKind::Wmf, wmf.done()), CanvasOp::Kind::Polygon);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].points, (std::vector<Point>{{0, 0}, {100, 0}, {100, 50}, {0, 50}}));
}

TEST(WindowsMetafile, NewObjectsTakeTheLowestFreeSlot) {
  Wmf wmf(true, 2);
  wmf.record(0x02FA, {0, 1, 0, 0x00FF, 0})      // pen 0: red
      .record(0x02FC, {0, 0xFF00, 0, 0})        // brush 1: green
      .record(0x02FA, {0, 1, 0, 0x0000, 0x00FF}) // no slot left: dropped
      .record(0x01F0, {0})                      // delete the red pen
      .record(0x02FA, {0, 1, 0, 0x0000, 0x00FF}) // blue pen takes slot 0
      .record(0x012D, {0})
      .record(0x012D, {1})
      .record(0x012D, {9})                      // no such object
      .record(0x041B, {250, 500, 0, 0});
  const auto shapes = opsOf(play(PictureKind::Wmf, wmf.done()), CanvasOp::Kind::Polygon);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].pen.colour, 0xFF0000u);
  EXPECT_EQ(shapes[0].brush, platform::Brush::solid(0x00FF00));
}

TEST(WindowsMetafile, TextOutAndWindowOrigin) {
  Wmf wmf;
  wmf.record(0x020B, {100, 200})          // window origin y 100, x 200
      .record(0x0521, {3, 'a' | ('b' << 8), 'c', 150, 300}); // "abc" at x 300, y 150
  const auto texts = opsOf(play(PictureKind::Wmf, wmf.done()), CanvasOp::Kind::Text);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, u"abc");
  EXPECT_EQ(texts[0].rect.left, 20); // (300 - 200) units at a fifth of a pixel each
  EXPECT_EQ(texts[0].rect.top, 10);
}

TEST(WindowsMetafile, PolyPolygonCountsBeyondTheRecordAreCut) {
  Wmf wmf;
  wmf.record(0x0538, {2, 3, 400, 0, 0, 10, 0, 10, 10}); // the second ring's points are missing
  wmf.record(0x0538, {0xFFFF, 3});
  wmf.record(0x0324, {0xFFFF, 0, 0, 10});               // polygon claiming 65535 points, holding one
  const auto ops = play(PictureKind::Wmf, wmf.done());
  const auto fills = opsOf(ops, CanvasOp::Kind::Polygon);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].points.size(), 4u); // one ring of three, closed
}

TEST(WindowsMetafile, EmptyRingsTakeNoPartInAPolyPolygon) {
  Wmf wmf;
  wmf.record(0x0538, {2, 0, 3, 0, 0, 10, 0, 10, 10});        // an empty ring first
  wmf.record(0x0538, {3, 3, 0, 3, 0, 0, 10, 0, 10, 10, 20, 0, 30, 0, 30, 10}); // one in the middle
  const auto fills = opsOf(play(PictureKind::Wmf, wmf.done()), CanvasOp::Kind::Polygon);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].points.size(), 4u);
  EXPECT_EQ(fills[1].points.size(), 9u); // 4 + 4 + the way back to the first ring
}

TEST(WindowsMetafile, RecordsOfNoLengthEndThePlay) {
  Wmf wmf;
  wmf.record(0x041B, {250, 500, 0, 0});
  wmf.out.u32(0);
  wmf.out.u16(0x041B);
  wmf.record(0x041B, {250, 500, 0, 0});
  EXPECT_EQ(opsOf(play(PictureKind::Wmf, wmf.done()), CanvasOp::Kind::Polygon).size(), 1u);
}

std::vector<std::uint8_t> storeForm(const std::vector<std::uint8_t>& metafile, std::uint32_t declared,
                                    std::uint32_t emuWidth, std::uint32_t emuHeight, std::uint8_t compression = 0) {
  std::vector<std::uint8_t> packed(compressBound(metafile.size()));
  uLongf packedSize = packed.size();
  compress(packed.data(), &packedSize, metafile.data(), metafile.size());
  packed.resize(packedSize);
  Bytes out;
  out.u32(declared);
  for (int i = 0; i < 4; ++i)
    out.u32(0);
  out.u32(emuWidth);
  out.u32(emuHeight);
  out.u32(static_cast<std::uint32_t>(packed.size()));
  out.u8(compression);
  out.u8(0xFE);
  out.b.insert(out.b.end(), packed.begin(), packed.end());
  return out.b;
}

TEST(StoredMetafile, UnpacksAndTakesItsSizeFromTheStore) {
  Wmf wmf(false);
  wmf.record(0x041B, {10, 10, 0, 0});
  const std::vector<std::uint8_t> raw = wmf.done();
  const std::vector<std::uint8_t> stored = storeForm(raw, static_cast<std::uint32_t>(raw.size()), 952500, 476250);
  EXPECT_EQ(unpackMetafile(PictureKind::Wmf, stored), raw);
  const std::optional<MetafileSize> size = metafileSize(PictureKind::Wmf, stored);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 100);
  EXPECT_EQ(size->height, 50);
  EXPECT_EQ(opsOf(play(PictureKind::Wmf, stored), CanvasOp::Kind::Polygon).size(), 1u);
}

TEST(StoredMetafile, ClaimsOfHugeOrWrongSizesAreRefused) {
  Wmf wmf(false);
  const std::vector<std::uint8_t> raw = wmf.done();
  const auto n = static_cast<std::uint32_t>(raw.size());
  EXPECT_FALSE(unpackMetafile(PictureKind::Wmf, storeForm(raw, 0xFFFFFFFF, 1, 1)));     // 4 GB
  EXPECT_FALSE(unpackMetafile(PictureKind::Wmf, storeForm(raw, n - 4, 1, 1)));          // too small to unpack
  EXPECT_FALSE(unpackMetafile(PictureKind::Wmf, storeForm(raw, n, 1, 1, 7)));           // unknown compression
  std::vector<std::uint8_t> damaged = storeForm(raw, n, 1, 1);
  damaged.resize(40);
  EXPECT_FALSE(unpackMetafile(PictureKind::Wmf, damaged));
  EXPECT_FALSE(unpackMetafile(PictureKind::Emf, storeForm(raw, n, 1, 1)));              // not of its kind
}

TEST(MetafileSize, FromFramePlaceableBoxAndWindowExtent) {
  const std::optional<MetafileSize> emf = metafileSize(PictureKind::Emf, Emf{}.done());
  ASSERT_TRUE(emf);
  EXPECT_EQ(emf->width, 38); // 10 mm at 96 an inch
  EXPECT_EQ(emf->height, 19);
  const std::optional<MetafileSize> placeable = metafileSize(PictureKind::Wmf, Wmf{}.done());
  ASSERT_TRUE(placeable);
  EXPECT_EQ(placeable->width, 96);
  EXPECT_EQ(placeable->height, 48);
  const std::optional<MetafileSize> window =
      metafileSize(PictureKind::Wmf, Wmf(false).record(0x020C, {300, 400}).done());
  ASSERT_TRUE(window);
  EXPECT_EQ(window->width, 400);
  EXPECT_EQ(window->height, 300);
  EXPECT_FALSE(metafileSize(PictureKind::Wmf, Wmf(false).done())); // no size anywhere
  EXPECT_FALSE(metafileSize(PictureKind::Wmf, Wmf(true, 1, 1000, 500, 0).done())); // no units an inch
}

// A surface over a recording canvas: what the player draws is kept, and the
// pixels are white.
class RecordingSurface final : public platform::RasterSurface {
public:
  RecordingSurface(int w, int h, platform::RecordingCanvas*& last) : m_w(w), m_h(h) { last = &m_canvas; }
  int width() const override { return m_w; }
  int height() const override { return m_h; }
  platform::Canvas& canvas() override { return m_canvas; }
  bool savePng(const std::u16string&) override { return false; }
  platform::Bitmap pixels() const override {
    return {m_w, m_h, std::vector<std::uint32_t>(static_cast<size_t>(m_w * m_h), 0xFFFFFFFF)};
  }

private:
  int m_w, m_h;
  platform::RecordingCanvas m_canvas;
};

TEST(MetafileBitmap, SidesAreLimitedEachOnItsOwn) {
  std::vector<std::unique_ptr<platform::RasterSurface>> kept;
  platform::RecordingCanvas* last = nullptr;
  platform::setRasterFactory([&](int w, int h) {
    auto s = std::make_unique<RecordingSurface>(w, h, last);
    return std::unique_ptr<platform::RasterSurface>(std::move(s));
  });
  // 2,000 x 500 units at 96 an inch: 2,000 x 500 pixels, played at 1,024 x 500.
  Wmf wmf(true, 1, 2000, 500, 96);
  wmf.record(0x041B, {500, 2000, 0, 1000}); // the right half
  const std::optional<PictureBitmap> bitmap = playMetafile(PictureKind::Wmf, 2000, 500, wmf.done());
  platform::setRasterFactory(nullptr);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->width, 1024);
  EXPECT_EQ(bitmap->height, 500);
  ASSERT_NE(last, nullptr);
  EXPECT_FALSE(playMetafile(PictureKind::Wmf, 0, 500, Wmf{}.done()));
  EXPECT_FALSE(playMetafile(PictureKind::Wmf, 100, 100, Wmf{}.done())) << "no renderer installed";
}

TEST(MetafileBitmap, DrawingIsScaledWithTheBitmap) {
  platform::RecordingCanvas canvas;
  Wmf wmf(true, 1, 2000, 500, 96);
  wmf.record(0x041B, {500, 2000, 0, 1000});
  ASSERT_TRUE(playMetafile(PictureKind::Wmf, wmf.done(), canvas, {0, 0, 1024, 500}));
  const auto shapes = opsOf(canvas.ops(), CanvasOp::Kind::Polygon);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].points, (std::vector<Point>{{512, 0}, {1024, 0}, {1024, 500}, {512, 500}}));
}

} // namespace
} // namespace image
