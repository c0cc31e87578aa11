// Drawing objects, comments and pictures in binary workbooks: written by our
// writer and read back, and read from byte-built drawing records the way
// other programs write them (groups, picture stores with gaps, filter arrows).

#include "fileformats/biff/drawing_records.h"
#include "drawing/picture_fill.h"
#include "fileformats/biff/records.h"
#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "formula/recalc.h"
#include "model/sheet.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

namespace biff {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct B {
  Bytes b;
  B &u8(std::uint8_t v) {
    b.push_back(v);
    return *this;
  }
  B &u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  B &u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  B &header(std::uint16_t verInst, std::uint16_t type, std::uint32_t length) { return u16(verInst).u16(type).u32(length); }
  B &raw(const Bytes &x) {
    b.insert(b.end(), x.begin(), x.end());
    return *this;
  }
  B &zeros(size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
};

struct Rec {
  std::uint16_t id;
  Bytes body;
};

std::vector<Rec> records(const Bytes &s) {
  std::vector<Rec> out;
  for (size_t pos = 0; pos + 4 <= s.size();) {
    const auto id = static_cast<std::uint16_t>(s[pos] | (s[pos + 1] << 8));
    const size_t len = static_cast<size_t>(s[pos + 2] | (s[pos + 3] << 8));
    if (pos + 4 + len > s.size())
      break;
    out.push_back({id, Bytes(s.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                             s.begin() + static_cast<std::ptrdiff_t>(pos + 4 + len))});
    pos += 4 + len;
  }
  return out;
}

model::DrawingObject object(std::uint16_t kind, std::uint16_t c1, std::uint16_t r1, std::uint16_t c2, std::uint16_t r2) {
  model::DrawingObject o;
  o.kind = kind;
  o.anchor.first = {c1, 100, r1, 20};
  o.anchor.last = {c2, 500, r2, 200};
  return o;
}

std::shared_ptr<const image::Picture> smallPicture(std::uint32_t colour) {
  platform::Bitmap bitmap;
  bitmap.width = 3;
  bitmap.height = 2;
  bitmap.pixels.assign(6, colour);
  return std::make_shared<const image::Picture>(*image::pictureFromBitmap(bitmap));
}

class DrawingRecordsTest : public ::testing::Test {
protected:
  DrawingRecordsTest() : m_scope(ui) {
    formula::installFormulaEngine();
    book = newBook();
  }
  static std::unique_ptr<model::Workbook> newBook() {
    auto b = std::make_unique<model::Workbook>();
    model::seedWorkbookTables(*b, model::Font{});
    return b;
  }
  model::Sheet &addSheet(std::u16string name) {
    auto s = std::make_unique<model::Sheet>();
    model::sheet_init(*s, model::SheetKind::Worksheet);
    s->name = std::move(name);
    book->sheets.push_back(std::move(s));
    return *book->sheets.back();
  }
  std::unique_ptr<model::Workbook> roundTrip(int version, Bytes *stream = nullptr) {
    Bytes file;
    EXPECT_TRUE(writeBinaryWorkbook(*book, version, file));
    if (stream)
      *stream = writeWorkbookStream(*book, version);
    auto back = newBook();
    EXPECT_TRUE(readBinaryWorkbook(file, *back));
    return back;
  }
  std::unique_ptr<model::Workbook> book;
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
};

TEST_F(DrawingRecordsTest, ShapesTextsCommentsAndPicturesSurviveASave) {
  model::Sheet &s = addSheet(u"Sheet1");
  model::DrawingObject line = object(model::kObjectLine, 1, 1, 3, 4);
  line.flip = 2;
  line.lineColour = 0x0000FF;
  line.lineWidth = 25400;
  line.lineStyle = 1;
  line.endArrow = model::kLineEndTriangle;
  s.objects.push_back(line);
  model::DrawingObject rect = object(model::kObjectRectangle, 2, 5, 4, 9);
  rect.fillColour = 0x336699;
  rect.hasLine = false;
  rect.placement = model::ObjectPlacement::Fixed;
  // A stored complex property (polygon vertices) comes back byte for byte.
  rect.properties.push_back({static_cast<std::uint16_t>(0x0145 | 0x8000), 4, {1, 2, 3, 4}});
  rect.properties.push_back({0x0085, 1, {}});
  rect.macro = u"=$B$2";
  s.objects.push_back(rect);
  model::DrawingObject oval = object(model::kObjectOval, 0, 0, 1, 1);
  oval.hasFill = false;
  oval.placement = model::ObjectPlacement::MoveOnly;
  s.objects.push_back(oval);
  model::DrawingObject box = object(model::kObjectTextBox, 5, 1, 8, 6);
  // Longer than a record holds, and with a character that needs UTF-16.
  box.text = std::u16string(9000, u'x') + u"中文";
  while (book->fonts.size() < 7)
    book->fonts.push_back(book->fonts.front());
  box.fontIndex = 5;
  box.textAlign = model::kTextAlignRight;
  box.textVerticalAlign = model::kTextAlignBottom;
  box.textOrientation = 2;
  s.objects.push_back(box);
  model::DrawingObject comment = object(model::kObjectComment, 3, 2, 5, 6);
  comment.text = u"Note text";
  comment.row = 2;
  comment.column = 2;
  comment.visible = true;
  comment.author = u"Zhang 张";
  comment.textAlign = model::kTextAlignDistributed;
  comment.textVerticalAlign = model::kTextAlignMiddle;
  s.objects.push_back(comment);
  model::DrawingObject picture = object(model::kObjectPicture, 10, 10, 12, 14);
  const auto pixels = smallPicture(0xFF102030);
  picture.payload.reset(std::make_unique<image::PicturePayload>(pixels));
  s.objects.push_back(picture);
  // A second picture object sharing the picture: one store entry.
  picture.anchor.first.row = 20;
  picture.anchor.last.row = 22;
  s.objects.push_back(picture);
  model::Sheet &s2 = addSheet(u"Sheet2");
  model::DrawingObject hidden = object(model::kObjectComment, 0, 0, 2, 3);
  hidden.text = u"second";
  hidden.fontIndex = 999;
  hidden.row = 7;
  hidden.column = 1;
  s2.objects.push_back(hidden);
  model::DrawingObject other = object(model::kObjectPicture, 0, 5, 1, 6);
  other.payload.reset(std::make_unique<image::PicturePayload>(smallPicture(0xFF00FF00)));
  s2.objects.push_back(other);

  Bytes stream;
  const auto back = roundTrip(8, &stream);
  ASSERT_EQ(back->sheetCount(), 2);
  const auto &t = back->sheet(0).objects;
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].kind, model::kObjectLine);
  EXPECT_EQ(t[0].anchor, line.anchor);
  EXPECT_EQ(t[0].flip, 2);
  EXPECT_EQ(t[0].lineColour, 0x0000FFu);
  EXPECT_EQ(t[0].lineWidth, 25400u);
  EXPECT_EQ(t[0].lineStyle, 1);
  EXPECT_EQ(t[0].endArrow, model::kLineEndTriangle);
  EXPECT_EQ(t[0].startArrow, model::kLineEndNone);
  EXPECT_EQ(t[0].shapeType, 20);
  EXPECT_EQ(t[1].fillColour, 0x336699u);
  EXPECT_TRUE(t[1].hasFill);
  EXPECT_FALSE(t[1].hasLine);
  EXPECT_EQ(t[1].placement, model::ObjectPlacement::Fixed);
  EXPECT_EQ(t[1].macro, u"=$B$2");
  EXPECT_NE(std::find(t[1].properties.begin(), t[1].properties.end(), rect.properties[0]), t[1].properties.end());
  EXPECT_NE(std::find(t[1].properties.begin(), t[1].properties.end(), rect.properties[1]), t[1].properties.end());
  EXPECT_FALSE(t[2].hasFill);
  EXPECT_EQ(t[2].placement, model::ObjectPlacement::MoveOnly);
  EXPECT_EQ(t[3].text, box.text);
  EXPECT_EQ(t[3].fontIndex, 5);
  EXPECT_EQ(t[3].textAlign, model::kTextAlignRight);
  EXPECT_EQ(t[3].textVerticalAlign, model::kTextAlignBottom);
  EXPECT_EQ(t[3].textOrientation, 2);
  EXPECT_EQ(t[4].textAlign, model::kTextAlignDistributed);
  EXPECT_EQ(t[4].textVerticalAlign, model::kTextAlignMiddle);
  EXPECT_EQ(t[4].kind, model::kObjectComment);
  EXPECT_EQ(t[4].text, u"Note text");
  EXPECT_EQ(t[4].author, u"Zhang 张");
  EXPECT_EQ(t[4].row, 2);
  EXPECT_EQ(t[4].column, 2);
  EXPECT_TRUE(t[4].visible);
  for (int i : {5, 6}) {
    const auto *p = dynamic_cast<const image::PicturePayload *>(t[static_cast<size_t>(i)].payload.get());
    ASSERT_NE(p, nullptr) << i;
    EXPECT_EQ(p->picture().bytes, pixels->bytes); // written back unchanged
    EXPECT_EQ(p->picture().kind, image::PictureKind::Png);
    EXPECT_EQ(p->picture().bitmap.width, 3);
  }
  EXPECT_EQ(t[6].anchor.first.row, 20);
  const auto &u = back->sheet(1).objects;
  ASSERT_EQ(u.size(), 2u);
  EXPECT_EQ(u[0].text, u"second");
  EXPECT_FALSE(u[0].visible);
  EXPECT_EQ(u[0].row, 7);
  EXPECT_EQ(u[0].textAlign, model::kTextAlignLeft);
  EXPECT_EQ(u[0].textVerticalAlign, model::kTextAlignTop);
  // A font the workbook does not have is written as the default one.
  EXPECT_EQ(u[0].fontIndex, 0);
  const auto *p2 = dynamic_cast<const image::PicturePayload *>(u[1].payload.get());
  ASSERT_NE(p2, nullptr);
  EXPECT_EQ(p2->picture().bitmap.pixels.at(0) & 0xFFFFFF, 0x00FF00u);

  // Every OBJ follows an MSODRAWING; CONTINUE only follows TXO text or
  // another CONTINUE, never an OBJ.
  const std::vector<Rec> recs = records(stream);
  // The macro sub-record's length is its formula's: token count, 4 bytes, tokens.
  for (const Rec &r : recs)
    if (r.id == rtOBJ && r.body.size() > 30 && r.body[4] == model::kObjectRectangle) {
      ASSERT_EQ(r.body[22], ftMacro);
      const size_t length = r.body[24] | (r.body[25] << 8), count = r.body[26] | (r.body[27] << 8);
      EXPECT_EQ(length, 6 + count + (count & 1));
      EXPECT_GT(count, 0u);
    }
  for (size_t i = 1; i < recs.size(); ++i) {
    if (recs[i].id == rtOBJ) {
      EXPECT_EQ(recs[i - 1].id, rtMSODRAWING);
    }
    if (recs[i].id == rtCONTINUE) {
      EXPECT_TRUE(recs[i - 1].id == rtTXO || recs[i - 1].id == rtCONTINUE || recs[i - 1].id == rtMSODRAWINGGROUP);
    }
  }
}

// Excel 95: shapes as OBJ records of the old layout, pictures as IMDATA
// bitmaps, polygon points as COORDLIST, comments as NOTE records (a long one
// over several); colours go through the palette.
TEST_F(DrawingRecordsTest, Excel95KeepsShapesPicturesPolygonsAndComments) {
  model::Sheet &s = addSheet(u"Sheet1");
  model::DrawingObject line = object(model::kObjectLine, 1, 1, 3, 4);
  line.flip = 1;
  line.endArrow = model::kLineEndTriangle;
  line.lineColour = model::kDefaultPalette[10];
  s.objects.push_back(line);
  model::DrawingObject rect = object(model::kObjectRectangle, 2, 5, 4, 9);
  rect.fillColour = model::kDefaultPalette[12];
  rect.hasLine = false;
  s.objects.push_back(rect);
  model::DrawingObject box = object(model::kObjectTextBox, 5, 1, 8, 6);
  box.text = u"Excel 95 text";
  s.objects.push_back(box);
  model::DrawingObject polygon = object(model::kObjectPolygon, 0, 10, 4, 14);
  B v;
  v.u16(3).u16(3).u16(0xFFF0).u16(0).u16(0).u16(21600).u16(0).u16(10800).u16(21600);
  polygon.properties.push_back({static_cast<std::uint16_t>(0x0145 | 0x8000), static_cast<std::uint32_t>(v.b.size()), v.b});
  s.objects.push_back(polygon);
  model::DrawingObject picture = object(model::kObjectPicture, 10, 10, 12, 14);
  picture.payload.reset(std::make_unique<image::PicturePayload>(smallPicture(0xFF336699)));
  s.objects.push_back(picture);
  model::DrawingObject comment = object(model::kObjectComment, 3, 2, 5, 6);
  comment.text = std::u16string(3000, u'n');
  comment.row = 4;
  comment.column = 6;
  s.objects.push_back(comment);

  const auto back = roundTrip(7);
  const auto &t = back->sheet(0).objects;
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(t[0].kind, model::kObjectLine);
  EXPECT_EQ(t[0].anchor, line.anchor);
  EXPECT_EQ(t[0].flip, 1);
  EXPECT_EQ(t[0].endArrow, model::kLineEndTriangle);
  EXPECT_EQ(t[0].lineColour, line.lineColour);
  EXPECT_EQ(t[1].fillColour, rect.fillColour);
  EXPECT_FALSE(t[1].hasLine);
  EXPECT_TRUE(t[1].hasFill);
  EXPECT_EQ(t[2].text, u"Excel 95 text");
  ASSERT_EQ(t[3].kind, model::kObjectPolygon);
  const auto vertices = std::find_if(t[3].properties.begin(), t[3].properties.end(),
                                     [](const model::ShapeProperty &p) { return (p.id & 0x3FFF) == 0x0145; });
  ASSERT_NE(vertices, t[3].properties.end());
  B want;
  want.u16(3).u16(3).u16(4).u16(0).u16(0).u16(0x4000).u16(0).u16(0x2000).u16(0x4000);
  EXPECT_EQ(vertices->data, want.b);
  const auto *p = dynamic_cast<const image::PicturePayload *>(t[4].payload.get());
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->picture().bitmap.width, 3);
  EXPECT_EQ(p->picture().bitmap.pixels[0] & 0xFFFFFF, 0x336699u);
  EXPECT_EQ(t[5].kind, model::kObjectComment);
  EXPECT_EQ(t[5].text, comment.text);
  EXPECT_EQ(t[5].row, 4);
  EXPECT_EQ(t[5].column, 6);
}

// Excel 95 lines carry one head, at their end: a head at the start only is
// written as the same line running the other way. Text boxes keep their
// alignment and direction in the OBJ's text fields; Windows metafiles stay
// metafiles in IMDATA, unchanged.
TEST_F(DrawingRecordsTest, Excel95KeepsStartHeadsTextPlacementAndMetafiles) {
  model::Sheet &s = addSheet(u"Sheet1");
  for (std::uint8_t flip = 0; flip < 4; ++flip) {
    model::DrawingObject line = object(model::kObjectLine, 1, flip, 3, static_cast<std::uint16_t>(flip + 1));
    line.flip = flip;
    line.startArrow = model::kLineEndOpen;
    s.objects.push_back(line);
  }
  model::DrawingObject box = object(model::kObjectTextBox, 5, 1, 8, 6);
  box.text = u"turned";
  box.textAlign = model::kTextAlignCentre;
  box.textVerticalAlign = model::kTextAlignBottom;
  box.textOrientation = 3;
  s.objects.push_back(box);
  model::DrawingObject label = object(model::kObjectLabel, 5, 8, 8, 9);
  label.text = u"label";
  label.textAlign = model::kTextAlignRight;
  s.objects.push_back(label);
  // A standard Windows metafile: header, a window extent, the end record.
  B wmf;
  wmf.u16(1).u16(9).u16(0x0300).u32(9 + 5 + 3).u16(0).u32(5).u16(0);
  wmf.u32(5).u16(0x020C).u16(40).u16(60);
  wmf.u32(3).u16(0);
  model::DrawingObject picture = object(model::kObjectPicture, 10, 10, 12, 14);
  picture.payload.reset(std::make_unique<image::PicturePayload>(
      std::make_shared<const image::Picture>(image::pictureFromBytes(image::PictureKind::Wmf, wmf.b))));
  s.objects.push_back(picture);

  const auto back = roundTrip(7);
  const auto &t = back->sheet(0).objects;
  ASSERT_EQ(t.size(), 7u);
  for (std::uint8_t flip = 0; flip < 4; ++flip) {
    SCOPED_TRACE(flip);
    EXPECT_EQ(t[flip].anchor, s.objects[flip].anchor);
    EXPECT_EQ(t[flip].flip, flip ^ 3) << "the same segment, running the other way";
    EXPECT_EQ(t[flip].endArrow, model::kLineEndOpen);
    EXPECT_EQ(t[flip].startArrow, model::kLineEndNone);
  }
  EXPECT_EQ(t[4].text, u"turned");
  EXPECT_EQ(std::tie(t[4].textAlign, t[4].textVerticalAlign, t[4].textOrientation),
            std::tie(box.textAlign, box.textVerticalAlign, box.textOrientation));
  EXPECT_EQ(t[5].kind, model::kObjectLabel);
  EXPECT_EQ(t[5].text, u"label");
  EXPECT_EQ(t[5].textAlign, model::kTextAlignRight);
  const auto *p = dynamic_cast<const image::PicturePayload *>(t[6].payload.get());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->picture().kind, image::PictureKind::Wmf);
  EXPECT_EQ(p->picture().bytes, wmf.b);

  // A line with both heads keeps the end's, and the Save As question says so.
  EXPECT_EQ(biff5Losses(s.objects[0]), kBiff5LosesNothing);
  s.objects[0].endArrow = model::kLineEndTriangle;
  EXPECT_EQ(biff5Losses(s.objects[0]), kBiff5LosesStartArrow);
  EXPECT_EQ(biff5Losses(s.objects[6]), kBiff5LosesNothing);
}

// An Excel 95 object's macro follows the fixed part (where a name would
// start), its length there at offset 26: the text of text boxes, buttons and
// labels comes after it, and every kind reads its macro back.
TEST_F(DrawingRecordsTest, Excel95KeepsMacrosOfDrawnObjects) {
  model::Sheet &s = addSheet(u"Sheet1");
  const struct {
    std::uint16_t kind;
    std::u16string_view text, macro;
  } kRows[] = {
      {model::kObjectLine, u"", u"=$A$1"},          {model::kObjectRectangle, u"", u"=$B$2:$C$3"},
      {model::kObjectOval, u"", u""},               {model::kObjectTextBox, u"boxed", u"=$D$4"},
      {model::kObjectButton, u"Run", u"=$E$5"},     {model::kObjectLabel, u"odd", u"=$F$6"},
      {model::kObjectButton, u"No macro", u""},     {model::kObjectPolygon, u"", u"=$G$7"},
  };
  std::uint16_t row = 0;
  for (const auto &r : kRows) {
    model::DrawingObject o = object(r.kind, 1, row, 3, static_cast<std::uint16_t>(row + 2));
    o.text = r.text;
    o.macro = r.macro;
    s.objects.push_back(o);
    row = static_cast<std::uint16_t>(row + 3);
  }
  Bytes stream;
  const auto back = roundTrip(7, &stream);
  const auto &t = back->sheet(0).objects;
  ASSERT_EQ(t.size(), std::size(kRows));
  for (size_t i = 0; i < t.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(t[i].kind, kRows[i].kind);
    EXPECT_EQ(t[i].text, kRows[i].text);
    EXPECT_EQ(t[i].macro, kRows[i].macro);
  }
  // The length in the fixed part counts token count, 4 bytes, tokens, pad.
  std::vector<std::uint16_t> lengths;
  for (size_t at = 0; at + 4 <= stream.size();) {
    const size_t id = stream[at] | (stream[at + 1] << 8), length = stream[at + 2] | (stream[at + 3] << 8);
    if (id == rtOBJ && length >= 28)
      lengths.push_back(static_cast<std::uint16_t>(stream[at + 4 + 26] | (stream[at + 4 + 27] << 8)));
    at += 4 + length;
  }
  ASSERT_EQ(lengths.size(), std::size(kRows));
  for (size_t i = 0; i < lengths.size(); ++i) {
    EXPECT_EQ(lengths[i] % 2, 0) << i;
    EXPECT_EQ(lengths[i] != 0, !kRows[i].macro.empty()) << i;
  }
  EXPECT_EQ(lengths[0], 6 + 4) << "a cell reference: 4 bytes of tokens";
  EXPECT_EQ(lengths[1], 6 + 7 + 1) << "an area: 7 bytes of tokens and a pad";
}

// An Excel 95 chart OBJ runs to where its name and macro would start:
// readers that measure it refuse a shorter one, and the chart with it.
TEST(Excel95Records, ChartObjHoldsItsWholeFixedPart) {
  model::Sheet sheet;
  sheet.objects.push_back(object(model::kObjectChart, 2, 3, 6, 12));
  DrawingWriteContext ctx;
  ctx.version = 7;
  const WorkbookDrawingWriter writer({&sheet}, ctx);
  const std::vector<DrawingRecord> recs = writer.sheetRecords(0);
  ASSERT_EQ(recs.size(), 1u);
  ASSERT_EQ(recs[0].id, rtOBJ);
  const Bytes &b = recs[0].body;
  ASSERT_EQ(b.size(), 64u);
  EXPECT_EQ(b[4] | (b[5] << 8), model::kObjectChart);
  EXPECT_EQ(b[10] | (b[11] << 8), 2) << "the anchor's first column";
  EXPECT_EQ(b[14] | (b[15] << 8), 3) << "the anchor's first row";
  EXPECT_EQ(recs[0].chartAfter, &sheet.objects[0]);
}

// Drawing group: clusters of 1,024 shape ids, as many as a sheet needs,
// with the group's counts matching; no shape id repeats.
TEST_F(DrawingRecordsTest, ShapeIdsStayUniquePastOneCluster) {
  model::Sheet &s = addSheet(u"Sheet1");
  for (int i = 0; i < 1500; ++i)
    s.objects.push_back(object(model::kObjectRectangle, static_cast<std::uint16_t>(i % 200), static_cast<std::uint16_t>(i),
                               static_cast<std::uint16_t>(i % 200 + 1), static_cast<std::uint16_t>(i + 1)));
  model::Sheet &s2 = addSheet(u"Sheet2");
  s2.objects.push_back(object(model::kObjectOval, 1, 1, 2, 2));
  Bytes stream;
  const auto back = roundTrip(8, &stream);
  EXPECT_EQ(back->sheet(0).objects.size(), 1500u);
  EXPECT_EQ(back->sheet(0).objects[1499].anchor.first.row, 1499);
  EXPECT_EQ(back->sheet(1).objects.size(), 1u);

  std::set<std::uint32_t> ids;
  size_t shapes = 0;
  Bytes group;
  for (const Rec &r : records(stream)) {
    if (r.id == rtMSODRAWINGGROUP || (r.id == rtCONTINUE && !group.empty() && shapes == 0))
      group.insert(group.end(), r.body.begin(), r.body.end());
    if (r.id != rtMSODRAWING)
      continue;
    // Shape records (0xF00A) in the body: id after the 8-byte header.
    for (size_t at = 0; at + 16 <= r.body.size(); ++at)
      if (r.body[at + 2] == 0x0A && r.body[at + 3] == 0xF0 && r.body[at + 4] == 8 && r.body[at + 5] == 0) {
        std::uint32_t id;
        std::memcpy(&id, &r.body[at + 8], 4);
        ids.insert(id);
        ++shapes;
      }
  }
  EXPECT_EQ(shapes, 1500u + 1 + 2);
  EXPECT_EQ(ids.size(), shapes);
  // The group's data: largest id + 1, clusters + 1, shapes saved, drawings,
  // then per cluster its drawing and the ids it uses.
  ASSERT_GE(group.size(), 16u + 24u + 8u);
  std::uint32_t f[10];
  std::memcpy(f, &group[16], sizeof f);
  EXPECT_EQ(f[0], *ids.rbegin() + 1);
  EXPECT_EQ(f[1], 4u); // two clusters for the first sheet, one for the second
  EXPECT_EQ(f[2], 1501u + 2u);
  EXPECT_EQ(f[3], 2u);
  EXPECT_EQ(f[4], 1u);
  EXPECT_EQ(f[5], 1024u);
  EXPECT_EQ(f[6], 1u);
  EXPECT_EQ(f[7], 1501u - 1024u);
  EXPECT_EQ(f[8], 2u);
  EXPECT_EQ(f[9], 2u);
}

// The drawing records of a sheet as other programs write them.
struct Drawing {
  B b;
  Drawing &sp(std::uint16_t type, std::uint32_t flags, const Bytes &inner) {
    B x;
    x.header(static_cast<std::uint16_t>((type << 4) | 2), 0xF00A, 8).u32(0x401).u32(flags).raw(inner);
    b.header(0x000F, 0xF004, static_cast<std::uint32_t>(x.b.size())).raw(x.b);
    return *this;
  }
};

Bytes clientAnchor(std::uint16_t flags, std::uint16_t c1, std::uint16_t r1, std::uint16_t c2, std::uint16_t r2) {
  B x;
  x.header(0, 0xF010, 18).u16(flags).u16(c1).u16(0).u16(r1).u16(0).u16(c2).u16(0).u16(r2).u16(0);
  return x.b;
}

Bytes objBody(std::uint16_t type, std::uint16_t id, const Bytes &extra = {}) {
  B x;
  x.u16(ftCmo).u16(18).u16(type).u16(id).u16(0x6011).zeros(12).raw(extra);
  if (type != model::kObjectComboBox)
    x.u16(0).u16(0);
  return x.b;
}

DrawingReadContext context(const PictureStore *store = nullptr) {
  DrawingReadContext ctx;
  ctx.pictures = store;
  ctx.palette = &model::kDefaultPalette;
  return ctx;
}

// A group's children stand alone, placed by their child anchors inside the
// group's anchor; reversed corners are put in order and far columns clamped.
TEST(SheetDrawingReader, GroupsAreFlattenedAndAnchorsTidied) {
  model::Sheet sheet;
  SheetDrawingReader r(sheet, context());
  Drawing group;
  B groupShape;
  groupShape.header(0x0001, 0xF009, 16).u32(0).u32(0).u32(1000).u32(1000);
  // Group shape container: FSPGR, FSP (group), anchor over columns 2-6, rows 10-20.
  B gsp;
  gsp.raw(groupShape.b).header(0x0002, 0xF00A, 8).u32(0x402).u32(0x201).raw(clientAnchor(0, 2, 10, 6, 20)).header(0, 0xF011, 0);
  B spgr;
  spgr.header(0x000F, 0xF004, static_cast<std::uint32_t>(gsp.b.size())).raw(gsp.b);
  B child;
  child.header(0, 0xF00F, 16).u32(0).u32(500).u32(500).u32(1000).header(0, 0xF011, 0);
  Drawing c1;
  c1.sp(1, 0xA02, child.b);
  B all;
  all.header(0x000F, 0xF003, static_cast<std::uint32_t>(spgr.b.size() + c1.b.b.size())).raw(spgr.b);
  // The group container, with the group's shape, ends after its child; the
  // child comes in the next record, as files split it.
  r.drawing(all.b);
  r.obj(objBody(model::kObjectGroup, 1));
  r.drawing(c1.b.b);
  r.obj(objBody(model::kObjectRectangle, 2));
  // A shape whose corners come reversed and beyond the last column.
  Drawing bad;
  bad.sp(3, 0xA00, clientAnchor(0, 400, 9, 1, 3));
  B closing;
  closing.raw(bad.b.b).header(0, 0xF011, 0);
  r.drawing(closing.b);
  r.obj(objBody(model::kObjectOval, 3));
  // An OBJ without a shape before it is dropped.
  r.obj(objBody(model::kObjectRectangle, 4));
  r.finish();
  ASSERT_EQ(sheet.objects.size(), 2u);
  const model::ObjectAnchor &a = sheet.objects[0].anchor;
  EXPECT_EQ(a.first.column, 2);
  EXPECT_EQ(a.first.row, 15);
  EXPECT_EQ(a.last.column, 4);
  EXPECT_EQ(a.last.row, 20);
  const model::ObjectAnchor &b = sheet.objects[1].anchor;
  EXPECT_EQ(b.first.column, 1);
  EXPECT_EQ(b.last.column, 255);
  EXPECT_EQ(b.first.row, 3);
  EXPECT_EQ(b.last.row, 9);
  EXPECT_EQ(sheet.objects[1].kind, model::kObjectOval);
}

// Children sit where their group's own coordinates put them over the
// group's rectangle as the columns are sized: half the group's width from
// its left edge, however unevenly the columns share that width; a nested
// group places its children inside its own place.
TEST(SheetDrawingReader, GroupChildrenArePlacedByPixels) {
  model::Sheet sheet;
  model::set_column_record(sheet, 2, 0, 3 * 2560); // column C three times as wide as D-F
  SheetDrawingReader r(sheet, context());
  const auto groupOpen = [](const Bytes &anchor) {
    B spgr;
    spgr.header(0x0001, 0xF009, 16).u32(0).u32(0).u32(1000).u32(1000);
    B gsp;
    gsp.raw(spgr.b).header(0x0002, 0xF00A, 8).u32(0x402).u32(0x201).raw(anchor).header(0, 0xF011, 0);
    B container;
    container.header(0x000F, 0xF004, static_cast<std::uint32_t>(gsp.b.size())).raw(gsp.b);
    return container.b;
  };
  const auto childAnchor = [](std::uint32_t l, std::uint32_t t, std::uint32_t rt, std::uint32_t b) {
    B x;
    x.header(0, 0xF00F, 16).u32(l).u32(t).u32(rt).u32(b);
    return x.b;
  };
  Drawing child;
  child.sp(1, 0xA02, childAnchor(500, 0, 1000, 1000));
  child.b.header(0, 0xF011, 0);
  // The nested group fills the right half; its child its own right half.
  const Bytes inner = groupOpen(childAnchor(500, 0, 1000, 1000));
  Drawing nestedChild;
  nestedChild.sp(1, 0xA02, childAnchor(500, 0, 1000, 1000));
  nestedChild.b.header(0, 0xF011, 0);
  B nested;
  nested.header(0x000F, 0xF003, static_cast<std::uint32_t>(inner.size() + nestedChild.b.b.size())).raw(inner);
  const Bytes outer = groupOpen(clientAnchor(0, 2, 10, 6, 20));
  B open;
  open.header(0x000F, 0xF003,
              static_cast<std::uint32_t>(outer.size() + child.b.b.size() + nested.b.size() + nestedChild.b.b.size()))
      .raw(outer);
  // Each shape comes in its own record with its OBJ after it, as files split them.
  r.drawing(open.b);
  r.obj(objBody(model::kObjectGroup, 1));
  r.drawing(child.b.b);
  r.obj(objBody(model::kObjectRectangle, 2));
  r.drawing(nested.b);
  r.obj(objBody(model::kObjectGroup, 3));
  r.drawing(nestedChild.b.b);
  r.obj(objBody(model::kObjectRectangle, 4));
  r.finish();
  ASSERT_EQ(sheet.objects.size(), 2u);
  const model::PixelScale scale;
  const int left = model::column_offset_px(sheet, 2, 0, scale), right = model::column_offset_px(sheet, 6, 0, scale);
  const platform::Rect half = model::anchorToPixels(sheet, sheet.objects[0].anchor, scale);
  EXPECT_NEAR(half.left, (left + right) / 2, 1);
  EXPECT_NEAR(half.right, right, 1);
  EXPECT_EQ(sheet.objects[0].anchor.first.column, 2) << "the middle lies inside the wide column";
  const platform::Rect quarter = model::anchorToPixels(sheet, sheet.objects[1].anchor, scale);
  EXPECT_NEAR(quarter.left, left + (right - left) * 3 / 4, 1);
  EXPECT_NEAR(quarter.right, right, 1);
  EXPECT_EQ(quarter.top, half.top);
  EXPECT_EQ(quarter.bottom, half.bottom);
}

// A drop-down is a filter arrow by its list type: one column wide alone
// does not make it one.
TEST(SheetDrawingReader, FilterArrowsByListType) {
  model::Sheet sheet;
  SheetDrawingReader r(sheet, context());
  for (std::uint16_t listType : {1, 3}) {
    Drawing d;
    d.sp(201, 0xA00, clientAnchor(0, 1, 0, 2, 1));
    d.b.header(0, 0xF011, 0);
    r.drawing(d.b.b);
    B list;
    list.u16(ftLbsData).u16(0x1FEE).u16(0).u16(0).u16(0).u16(static_cast<std::uint16_t>(listType << 8)).u16(0);
    r.obj(objBody(model::kObjectComboBox, listType, list.b));
  }
  r.finish();
  ASSERT_EQ(sheet.objects.size(), 2u);
  EXPECT_FALSE(sheet.objects[0].filterArrow);
  EXPECT_TRUE(sheet.objects[1].filterArrow);
}

// A store entry without a picture keeps its place: the picture after it
// keeps its number. Colours in their flagged forms are decoded.
TEST(SheetDrawingReader, PictureStoreSlotsAndColours) {
  const auto png = smallPicture(0xFF0000FF);
  B store;
  B empty;
  empty.header(0x0062, 0xF007, 36).u8(6).u8(6).zeros(34);
  B full;
  B blip;
  blip.header(0x6E00, 0xF01E, static_cast<std::uint32_t>(17 + png->bytes.size())).zeros(16).u8(0xFF).raw(png->bytes);
  full.header(0x0062, 0xF007, static_cast<std::uint32_t>(36 + blip.b.size())).u8(6).u8(6).zeros(34).raw(blip.b);
  B bstore;
  bstore.header(0x002F, 0xF001, static_cast<std::uint32_t>(empty.b.size() + full.b.size())).raw(empty.b).raw(full.b);
  store.header(0x000F, 0xF000, static_cast<std::uint32_t>(bstore.b.size())).raw(bstore.b);
  const PictureStore pictures = readPictureStore(store.b);
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_EQ(pictures[0], nullptr);
  ASSERT_NE(pictures[1], nullptr);
  EXPECT_EQ(pictures[1]->bytes, png->bytes);

  model::Sheet sheet;
  SheetDrawingReader r(sheet, context(&pictures));
  for (std::uint32_t pib : {1u, 2u, 3u}) {
    B opt;
    opt.header(0x0033, 0xF00B, 18).u16(0x4104).u32(pib).u16(0x0181).u32(0x0800000A).u16(0x01C0).u32(0x10000040);
    Drawing d;
    d.sp(75, 0xA00, opt.b);
    d.b.raw(clientAnchor(0, 1, 1, 2, 2)).header(0, 0xF011, 0);
    r.drawing(d.b.b);
    r.obj(objBody(model::kObjectPicture, static_cast<std::uint16_t>(pib)));
  }
  r.finish();
  ASSERT_EQ(sheet.objects.size(), 3u);
  EXPECT_EQ(sheet.objects[0].payload.get(), nullptr);
  EXPECT_NE(sheet.objects[1].payload.get(), nullptr);
  EXPECT_EQ(sheet.objects[2].payload.get(), nullptr);
  EXPECT_EQ(sheet.objects[1].fillColour, model::kDefaultPalette[10]);
  EXPECT_EQ(sheet.objects[1].lineColour, 0x000000u);

  const std::array<std::uint32_t, 64> &pal = model::kDefaultPalette;
  struct Case {
    std::uint32_t value, want;
  } cases[] = {{0x00123456, 0x123456}, {0x08000010, pal[16]}, {0x01000011, pal[17]},
               {0x08000050, 0xABCDEF}, {0x100000F7, 0xABCDEF}, {0x04FF00FF, 0xFF00FF}};
  for (const Case &c : cases)
    EXPECT_EQ(decodeDrawingColour(c.value, pal, 0xABCDEF), c.want) << std::hex << c.value;
}

// Comments join their NOTE by object id; a comment without a NOTE, and a
// NOTE without a comment, come to nothing.
TEST(SheetDrawingReader, CommentsNeedTheirNotes) {
  model::Sheet sheet;
  SheetDrawingReader r(sheet, context());
  for (std::uint16_t id : {7, 8}) {
    Drawing d;
    d.sp(202, 0xA00, clientAnchor(0, 1, 1, 3, 4));
    d.b.header(0, 0xF011, 0);
    r.drawing(d.b.b);
    B nts;
    nts.u16(ftNts).u16(22).zeros(22);
    r.obj(objBody(model::kObjectComment, id, nts.b));
    B txo;
    // The kept comment's TXO has placements and a rotation no writer uses.
    txo.u16(id == 8 ? 0x200 | 6 << 1 | 5 << 4 : 0x212).u16(id == 8 ? 9 : 0).zeros(6).u16(3).u16(16).u16(0).u16(0);
    B text;
    text.u8(0).u8('a').u8('b');
    B more;
    more.u8(1).u16(u'中');
    B runs;
    runs.u16(0).u16(6).zeros(4).u16(3).zeros(6);
    r.text(txo.b, {text.b, more.b, runs.b});
  }
  B note;
  note.u16(4).u16(300).u16(0).u16(8).u16(2).u8(0).u8('M').u8('e').u8(0);
  r.note(note.b);
  B stray;
  stray.u16(1).u16(1).u16(0).u16(99).u16(0).u8(0);
  r.note(stray.b);
  r.finish();
  ASSERT_EQ(sheet.objects.size(), 1u);
  EXPECT_EQ(sheet.objects[0].text, u"ab中");
  EXPECT_EQ(sheet.objects[0].fontIndex, 5);
  EXPECT_EQ(sheet.objects[0].textAlign, model::kTextAlignLeft);
  EXPECT_EQ(sheet.objects[0].textVerticalAlign, model::kTextAlignTop);
  EXPECT_EQ(sheet.objects[0].textOrientation, 0);
  EXPECT_EQ(sheet.objects[0].row, 4);
  EXPECT_EQ(sheet.objects[0].column, 255);
  EXPECT_EQ(sheet.objects[0].author, u"Me");
}

// The picture store as written: the count its container gives and, per
// entry, the picture kind and reference count.
struct StoreEntry {
  int kind;
  std::uint32_t references;
};
std::vector<StoreEntry> writtenStore(const Bytes &stream, int &declared) {
  Bytes group;
  bool inGroup = false;
  for (const Rec &r : records(stream)) {
    if (r.id == rtMSODRAWINGGROUP || (inGroup && r.id == rtCONTINUE)) {
      group.insert(group.end(), r.body.begin(), r.body.end());
      inGroup = true;
    } else {
      inGroup = false;
    }
  }
  std::vector<StoreEntry> out;
  declared = -1;
  const auto u16 = [&](size_t at) { return static_cast<std::uint32_t>(group[at] | (group[at + 1] << 8)); };
  const auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  for (size_t pos = 8; pos + 8 <= group.size();) { // inside the group's container
    const std::uint32_t verInst = u16(pos), type = u16(pos + 2), length = u32(pos + 4);
    if (type == 0xF001) {
      declared = static_cast<int>(verInst >> 4);
      pos += 8;
      continue;
    }
    if (type == 0xF007 && pos + 8 + 28 <= group.size())
      out.push_back({group[pos + 8], u32(pos + 8 + 24)});
    pos += 8 + length;
  }
  return out;
}

// Shapes filled with pictures keep them: each picture goes into the store
// once however many objects use it, with their count, and the fill's
// layout comes back; a picture fill whose picture is gone is saved as the
// colour.
TEST_F(DrawingRecordsTest, PictureFillsSurviveASaveWithTheirPictures) {
  model::Sheet &s = addSheet(u"Sheet1");
  const auto shared = smallPicture(0xFF102030), texture = smallPicture(0xFF00FF00), pattern = smallPicture(0xFF000000);
  model::DrawingObject picture = object(model::kObjectPicture, 10, 10, 12, 14);
  picture.payload.reset(std::make_unique<image::PicturePayload>(shared));
  s.objects.push_back(picture);
  struct Fill {
    std::uint16_t kind;
    std::shared_ptr<const image::Picture> picture;
    drawing::PictureFill fill;
  };
  const Fill fills[] = {{model::kObjectRectangle, shared, drawing::PictureFill::Stretched},
                        {model::kObjectOval, texture, drawing::PictureFill::Texture},
                        {model::kObjectTextBox, pattern, drawing::PictureFill::Pattern},
                        {model::kObjectOfficeShape, texture, drawing::PictureFill::Stretched}};
  for (const Fill &f : fills) {
    model::DrawingObject o = object(f.kind, 1, 1, 4, 6);
    o.shapeType = f.kind == model::kObjectOfficeShape ? 5 : 0;
    ASSERT_TRUE(drawing::setFillPicture(o, f.picture, f.fill));
    s.objects.push_back(o);
  }
  model::DrawingObject comment = object(model::kObjectComment, 3, 2, 5, 6);
  comment.text = u"pictured";
  ASSERT_TRUE(drawing::setFillPicture(comment, texture, drawing::PictureFill::Texture));
  s.objects.push_back(comment);
  // A fill type that asks for a picture the object does not have.
  model::DrawingObject stale = object(model::kObjectRectangle, 0, 0, 1, 1);
  stale.fillColour = 0x336699;
  stale.properties.push_back({drawing::kPropFillType, 3, {}});
  s.objects.push_back(stale);

  Bytes stream;
  auto back = roundTrip(8, &stream);
  int declared = 0;
  const std::vector<StoreEntry> store = writtenStore(stream, declared);
  ASSERT_EQ(store.size(), 3u);
  EXPECT_EQ(declared, 3);
  EXPECT_EQ(store[0].references, 2u); // the picture and the rectangle
  EXPECT_EQ(store[1].references, 3u); // the oval, the shape and the comment
  EXPECT_EQ(store[2].references, 1u);
  for (const StoreEntry &e : store)
    EXPECT_EQ(e.kind, static_cast<int>(image::PictureKind::Png));

  const auto &t = back->sheet(0).objects;
  ASSERT_EQ(t.size(), 7u);
  const auto *own = dynamic_cast<const image::PicturePayload *>(t[0].payload.get());
  ASSERT_NE(own, nullptr);
  for (size_t i = 0; i < std::size(fills); ++i) {
    SCOPED_TRACE(i);
    const auto got = drawing::fillPictureOf(t[i + 1]);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->bytes, fills[i].picture->bytes);
    EXPECT_EQ(got->bitmap.width, 3);
    EXPECT_EQ(drawing::pictureFillOf(t[i + 1]), fills[i].fill);
    EXPECT_TRUE(t[i + 1].hasFill);
  }
  EXPECT_EQ(drawing::fillPictureOf(t[1]), own->shared()) << "one store entry, one picture";
  EXPECT_EQ(drawing::fillPictureOf(t[2]), drawing::fillPictureOf(t[4]));
  EXPECT_EQ(t[5].kind, model::kObjectComment);
  EXPECT_EQ(t[5].text, u"pictured");
  EXPECT_EQ(drawing::fillPictureOf(t[5]), drawing::fillPictureOf(t[2]));
  EXPECT_EQ(drawing::pictureFillOf(t[6]), drawing::PictureFill::None);
  EXPECT_EQ(t[6].fillColour, 0x336699u);
  for (const model::ShapeProperty &p : t[6].properties)
    EXPECT_NE(p.id & 0x3FFF, drawing::kPropFillType) << "no picture fill type without its picture";

  // Saved again, the store is the same.
  book = std::move(back);
  Bytes again;
  (void)roundTrip(8, &again);
  const std::vector<StoreEntry> store2 = writtenStore(again, declared);
  ASSERT_EQ(store2.size(), 3u);
  EXPECT_EQ(store2[1].references, 3u);
}

// Fill pictures as other writers number them: 1-based into the store; a
// number past it or at an empty slot leaves the plain colour, and a
// control keeps its own payload.
TEST(SheetDrawingReader, FillPicturesFromTheStore) {
  const auto png = smallPicture(0xFF0000FF);
  const PictureStore pictures = {nullptr, png};
  model::Sheet sheet;
  SheetDrawingReader r(sheet, context(&pictures));
  struct Case {
    std::uint16_t kind, shapeType;
    std::uint32_t fillType, blip;
    bool pictured;
  };
  const Case cases[] = {{model::kObjectRectangle, 1, 3, 2, true},   {model::kObjectOval, 3, 2, 2, true},
                        {model::kObjectRectangle, 1, 3, 1, false},  {model::kObjectRectangle, 1, 3, 7, false},
                        {model::kObjectTextBox, 202, 1, 2, true},   {model::kObjectButton, 201, 3, 2, false},
                        {model::kObjectRectangle, 1, 0, 2, false}};
  std::uint16_t id = 0;
  for (const Case &c : cases) {
    B opt;
    opt.header(0x0043, 0xF00B, 24).u16(0x0180).u32(c.fillType).u16(0x4186).u32(c.blip).u16(0x0181).u32(0x00112233);
    opt.u16(0x01BF).u32(0x00100010);
    Drawing d;
    d.sp(c.shapeType, 0xA00, opt.b);
    d.b.raw(clientAnchor(0, 1, 1, 2, 2)).header(0, 0xF011, 0);
    r.drawing(d.b.b);
    r.obj(objBody(c.kind, ++id));
  }
  r.finish();
  ASSERT_EQ(sheet.objects.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const model::DrawingObject &o = sheet.objects[i];
    EXPECT_EQ(drawing::fillPictureOf(o) != nullptr, cases[i].pictured);
    if (cases[i].pictured) {
      EXPECT_EQ(drawing::fillPictureOf(o), png);
      EXPECT_EQ(drawing::pictureFillOf(o), static_cast<drawing::PictureFill>(cases[i].fillType));
    }
    EXPECT_EQ(o.fillColour, 0x112233u);
    for (const model::ShapeProperty &p : o.properties) {
      EXPECT_NE(p.id & 0x3FFF, 0x0186) << "the store reference is the payload's";
      if ((p.id & 0x3FFF) == drawing::kPropFillType && o.kind != model::kObjectButton) {
        EXPECT_TRUE(cases[i].pictured || p.value == 0) << "a picture fill type without its picture";
      }
    }
  }
}

// Excel 95 fills with colours only: a picture fill is saved as the
// picture's average colour and listed among what the format loses.
TEST_F(DrawingRecordsTest, Excel95FillsWithThePicturesColour) {
  model::Sheet &s = addSheet(u"Sheet1");
  model::DrawingObject rect = object(model::kObjectRectangle, 2, 5, 4, 9);
  rect.fillColour = 0xFFFFFF;
  ASSERT_TRUE(drawing::setFillPicture(rect, smallPicture(0xFFFF0000), drawing::PictureFill::Stretched));
  s.objects.push_back(rect);
  model::DrawingObject plain = object(model::kObjectOval, 0, 0, 1, 1);
  s.objects.push_back(plain);
  EXPECT_EQ(biff5Losses(rect), unsigned{kBiff5LosesPictureFill});
  EXPECT_EQ(biff5Losses(plain), unsigned{kBiff5LosesNothing});
  model::DrawingObject shape = rect;
  shape.kind = model::kObjectOfficeShape;
  EXPECT_EQ(biff5Losses(shape), unsigned{kBiff5LosesShape}) << "lost whole, not just its fill";

  const auto back = roundTrip(7);
  const auto &t = back->sheet(0).objects;
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(drawing::fillPictureOf(t[0]), nullptr);
  EXPECT_TRUE(t[0].hasFill);
  EXPECT_EQ(t[0].fillColour, 0x0000FFu) << "red, the palette's nearest to the picture";
  EXPECT_EQ(t[1].fillColour, 0xFFFFFFu);
}

// Embedded objects and ActiveX controls are pictures whose OBJ refers into
// storages a save does not carry: they are read as the picture they show
// and saved as plain pictures, with nothing left pointing at the control.
TEST_F(DrawingRecordsTest, EmbeddedObjectsAndActiveXControlsStayAsPictures) {
  const auto png = smallPicture(0xFF0000FF);
  const PictureStore pictures = {png};
  model::Sheet &s = addSheet(u"Sheet1");
  SheetDrawingReader r(s, context(&pictures));
  // A check box control as Excel writes it: a host-control shape with the
  // control's look and an OLE object id, then an OBJ whose picture formula
  // names the control's class and its place in the control stream.
  B pictFmla;
  pictFmla.u16(0x20).u16(5).u32(0).u8(0x02).u32(0).u8(0x03).u8(16).u8(0).u8(0);
  for (const char ch : std::string("Forms.CheckBox.1"))
    pictFmla.u8(static_cast<std::uint8_t>(ch));
  pictFmla.u8(0).u32(0).u32(0x68).zeros(12);
  struct Case {
    std::uint16_t shapeType;
    Bytes subrecords;
  };
  B activeX, embedded, damaged;
  activeX.u16(0x0007).u16(2).u16(0x0002).u16(0x0008).u16(2).u16(0x0031);
  activeX.u16(0x0009).u16(static_cast<std::uint16_t>(pictFmla.b.size())).raw(pictFmla.b);
  embedded.u16(0x0007).u16(2).u16(0xFFFF).u16(0x0008).u16(2).u16(0x0001);
  embedded.u16(0x0009).u16(12).u16(5).u16(5).u32(0).u8(0x02).u8(0).u16(0);
  damaged.u16(0x0009).u16(500).raw(pictFmla.b); // its length runs past the record
  const Case cases[] = {{201, activeX.b}, {75, embedded.b}, {201, damaged.b}};
  std::uint16_t id = 0;
  for (const Case &c : cases) {
    B opt;
    opt.header(0x0043, 0xF00B, 24).u16(0x00BF).u32(0x00080008).u16(0x4104).u32(1).u16(0x010B).u32(1);
    opt.u16(0x01FF).u32(0x00080000);
    Drawing d;
    d.sp(c.shapeType, 0xA10, opt.b);
    d.b.raw(clientAnchor(0, 1, 1, 2, 2)).header(0, 0xF011, 0);
    r.drawing(d.b.b);
    B obj;
    obj.u16(ftCmo).u16(18).u16(model::kObjectPicture).u16(++id).u16(0x6011).zeros(12).raw(c.subrecords).u16(0).u16(0);
    r.obj(obj.b);
  }
  r.finish();
  ASSERT_EQ(s.objects.size(), std::size(cases));
  for (const model::DrawingObject &o : s.objects) {
    EXPECT_EQ(o.kind, model::kObjectPicture);
    EXPECT_EQ(o.shapeType, 75);
    const auto *p = dynamic_cast<const image::PicturePayload *>(o.payload.get());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->shared(), png);
    for (const model::ShapeProperty &prop : o.properties)
      EXPECT_NE(prop.id, 0x010B) << "no OLE object id for an object not kept";
    EXPECT_FALSE(o.hasLine);
  }

  Bytes stream;
  const auto back = roundTrip(8, &stream);
  ASSERT_EQ(back->sheet(0).objects.size(), std::size(cases));
  for (const model::DrawingObject &o : back->sheet(0).objects) {
    const auto *p = dynamic_cast<const image::PicturePayload *>(o.payload.get());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->picture().bytes, png->bytes);
  }
  for (const Rec &rec : records(stream))
    if (rec.id == rtOBJ) {
      const ObjRecord o = parseObjRecord(rec.body);
      EXPECT_EQ(o.type, model::kObjectPicture);
      EXPECT_EQ(o.find(0x0009), nullptr) << "no picture formula";
      ASSERT_NE(o.find(ftPioGrbit), nullptr);
      EXPECT_EQ(o.find(ftPioGrbit)->body[0], 0x01) << "a plain picture, no control";
    }
  // The shapes are written as picture frames, not host controls with an OLE id.
  for (const Rec &rec : records(stream))
    if (rec.id == rtMSODRAWING)
      for (size_t i = 0; i + 4 <= rec.body.size(); ++i) {
        const unsigned verInst = rec.body[i] | (rec.body[i + 1] << 8), type = rec.body[i + 2] | (rec.body[i + 3] << 8);
        if (type == 0xF00A) {
          EXPECT_NE(verInst >> 4, 201u);
        }
      }
}

// A file whose shapes after the first come in CONTINUE records following
// the previous object's OBJ or TXO: every shape is read, and our save keeps
// them all.
TEST_F(DrawingRecordsTest, ShapesInContinueRecordsOfOtherWriters) {
#ifdef CELLWICK_CORPUS_DIR
  const std::string path = std::string(CELLWICK_CORPUS_DIR) + "/xls/poi__37684-2.xls";
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (!f)
    GTEST_SKIP() << "corpus file absent: " << path;
  Bytes data;
  for (int ch; (ch = std::fgetc(f)) != EOF;)
    data.push_back(static_cast<std::uint8_t>(ch));
  std::fclose(f);
  auto read = newBook();
  ASSERT_TRUE(readBinaryWorkbook(data, *read));
  auto kinds = [](const model::Workbook &b, int sheet) {
    std::map<int, int> k;
    for (const model::DrawingObject &o : b.sheet(sheet).objects)
      ++k[o.kind];
    return k;
  };
  const std::map<int, int> want = {{model::kObjectLine, 84}, {model::kObjectTextBox, 84}, {model::kObjectOfficeShape, 3}};
  ASSERT_GE(read->sheetCount(), 2);
  EXPECT_EQ(kinds(*read, 0), want);
  EXPECT_EQ(kinds(*read, 1), want);
  size_t texts = 0;
  for (const model::DrawingObject &o : read->sheet(0).objects)
    texts += !o.text.empty();
  EXPECT_GT(texts, 40u);
  book = std::move(read);
  const auto back = roundTrip(8);
  EXPECT_EQ(kinds(*back, 0), want);
  for (size_t i = 0; i < back->sheet(0).objects.size(); ++i) {
    EXPECT_EQ(back->sheet(0).objects[i].text, book->sheet(0).objects[i].text);
    EXPECT_EQ(back->sheet(0).objects[i].anchor, book->sheet(0).objects[i].anchor);
  }
#else
  GTEST_SKIP() << "no corpus";
#endif
}

} // namespace
} // namespace biff
