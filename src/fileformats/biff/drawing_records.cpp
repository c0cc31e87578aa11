#include "fileformats/biff/drawing_records.h"

#include "fileformats/biff/byte_cursor.h"

namespace biff {

namespace {

constexpr std::uint16_t kDggContainer = 0xF000;
constexpr std::uint16_t kDgContainer = 0xF002;
constexpr std::uint16_t kSpgrContainer = 0xF003;
constexpr std::uint16_t kSpContainer = 0xF004;
constexpr std::uint16_t kDgg = 0xF006;
constexpr std::uint16_t kDg = 0xF008;
constexpr std::uint16_t kSpgr = 0xF009;
constexpr std::uint16_t kSp = 0xF00A;
constexpr std::uint16_t kOpt = 0xF00B;
constexpr std::uint16_t kClientAnchor = 0xF010;
constexpr std::uint16_t kClientData = 0xF011;

bool readAnchor(ByteCursor& c, model::ObjectAnchor& a) {
  return c.u16(a.first.column) && c.u16(a.first.columnOffset) && c.u16(a.first.row) &&
         c.u16(a.first.rowOffset) && c.u16(a.last.column) && c.u16(a.last.columnOffset) &&
         c.u16(a.last.row) && c.u16(a.last.rowOffset);
}

void tidy(model::ObjectAnchor& a) {
  for (model::AnchorCorner* k : {&a.first, &a.last}) {
    k->column = std::min<std::uint16_t>(k->column, 255);
    k->columnOffset = std::min<std::uint16_t>(k->columnOffset, 1023);
    k->rowOffset = std::min<std::uint16_t>(k->rowOffset, 255);
  }
}

void walk(std::span<const std::uint8_t> body, std::vector<model::ObjectAnchor>& out, int depth) {
  size_t pos = 0;
  while (body.size() - pos >= 8 && depth < 16) {
    ByteCursor c(body.subspan(pos));
    std::uint16_t verInst = 0, type = 0;
    std::uint32_t length = 0;
    if (!(c.u16(verInst) && c.u16(type) && c.u32(length)))
      return;
    const size_t start = pos + 8;
    const bool container = (verInst & 0x0F) == 0x0F;
    // A container's length may run on into the next record (the sheet's
    // drawing spans several): walk what this body holds.
    const size_t avail = body.size() - start;
    if (container) {
      walk(body.subspan(start, std::min<size_t>(length, avail)), out, depth + 1);
      if (length > avail)
        return;
    } else if (type == kClientAnchor && length >= 18 && avail >= 18) {
      ByteCursor a(body.subspan(start + 2, 16));
      model::ObjectAnchor anchor;
      if (readAnchor(a, anchor)) {
        tidy(anchor);
        out.push_back(anchor);
      }
    }
    if (length > avail)
      return;
    pos = start + length;
  }
}

class Bytes {
public:
  void u8(std::uint8_t v) { b.push_back(v); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void header(std::uint16_t verInst, std::uint16_t type, std::uint32_t length) {
    u16(verInst);
    u16(type);
    u32(length);
  }
  void anchor(const model::ObjectAnchor& a) {
    for (const model::AnchorCorner* k : {&a.first, &a.last}) {
      u16(k->column);
      u16(k->columnOffset);
      u16(k->row);
      u16(k->rowOffset);
    }
  }
  std::vector<std::uint8_t> b;
};

// A chart's shape container: shape, properties, anchor, client data.
constexpr std::uint32_t kChartShapeLength = 8 + 8 + 8 + 4 * 6 + 8 + 18 + 8; // 82 bytes after its header

void chartShape(Bytes& o, const model::ObjectAnchor& anchor, std::uint32_t spid) {
  o.header(0x000F, kSpContainer, kChartShapeLength);
  o.header(0x0C92, kSp, 8); // host control shape
  o.u32(spid);
  o.u32(0x0A00);
  o.header(0x0043, kOpt, 24); // four properties
  o.u16(0x007F);
  o.u32(0x01040104); // locked against grouping
  o.u16(0x00BF);
  o.u32(0x00080008); // text fits the shape
  o.u16(0x01BF);
  o.u32(0x00010000); // no fill hit test
  o.u16(0x03BF);
  o.u32(0x00080000); // printable
  o.header(0x0000, kClientAnchor, 18);
  o.u16(0); // move and size with cells
  o.anchor(anchor);
  o.header(0x0000, kClientData, 0);
}

} // namespace

std::vector<model::ObjectAnchor> readClientAnchors(std::span<const std::uint8_t> body) {
  std::vector<model::ObjectAnchor> out;
  walk(body, out, 0);
  return out;
}

ObjInfo readObjRecord(std::span<const std::uint8_t> body, int version) {
  ObjInfo info;
  ByteCursor c(body);
  if (version != 8) {
    std::uint32_t count = 0;
    std::uint16_t type = 0, id = 0, flags = 0;
    model::ObjectAnchor a;
    if (c.u32(count) && c.u16(type) && c.u16(id) && c.u16(flags) && readAnchor(c, a)) {
      tidy(a);
      info.type = type;
      info.id = id;
      info.anchor = a;
    }
    return info;
  }
  std::uint16_t ft = 0, cb = 0;
  if (c.u16(ft) && c.u16(cb) && ft == 0x0015 && cb >= 4) {
    std::uint16_t type = 0, id = 0;
    if (c.u16(type) && c.u16(id)) {
      info.type = type;
      info.id = id;
    }
  }
  return info;
}

DrawingRecord drawingGroupRecord(const std::vector<int>& shapes) {
  const std::uint32_t drawings = static_cast<std::uint32_t>(shapes.size());
  std::uint32_t total = 0;
  for (int s : shapes)
    total += static_cast<std::uint32_t>(s) + 1;
  const std::uint32_t dggLength = 16 + 8 * drawings;
  const std::uint32_t optLength = 18;
  Bytes o;
  o.header(0x000F, kDggContainer, 8 + dggLength + 8 + optLength);
  o.header(0x0000, kDgg, dggLength);
  const int lastShapes = shapes.empty() ? 0 : shapes.back();
  o.u32(1024 * drawings + static_cast<std::uint32_t>(lastShapes) + 1);
  o.u32(drawings + 1);
  o.u32(total);
  o.u32(drawings);
  for (std::uint32_t i = 0; i < drawings; ++i) {
    o.u32(i + 1);
    o.u32(static_cast<std::uint32_t>(shapes[i]) + 1);
  }
  o.header(0x0033, kOpt, optLength);
  o.u16(0x00BF);
  o.u32(0x00080008);
  o.u16(0x0181);
  o.u32(0x08000009);
  o.u16(0x01C0);
  o.u32(0x08000040);
  return {rtMSODRAWINGGROUP, std::move(o.b)};
}

std::vector<DrawingRecord> chartObjectRecords(const model::ObjectAnchor& anchor, int drawing, int index,
                                              int count, int version) {
  std::vector<DrawingRecord> out;
  const std::uint16_t objectId = static_cast<std::uint16_t>(index + 1);
  if (version != 8) {
    Bytes o;
    o.u32(static_cast<std::uint32_t>(index + 1));
    o.u16(5);
    o.u16(objectId);
    o.u16(0x0614); // locked, printable, move and size with cells
    o.anchor(anchor);
    o.u16(0); // macro formula length
    o.u16(0);
    o.u32(0);
    o.u8(0x09); // fill: background, foreground, pattern, automatic
    o.u8(0x41);
    o.u8(0x01);
    o.u8(0x01);
    o.u8(0x08); // line: colour, style, weight, automatic
    o.u8(0x00);
    o.u8(0x00);
    o.u8(0x01);
    o.u16(0); // frame
    o.u16(0); // chart flags
    for (int i = 0; i < 12; ++i)
      o.u8(0);
    out.push_back({rtOBJ, std::move(o.b)});
    return out;
  }
  const std::uint32_t base = 1024u * static_cast<std::uint32_t>(drawing);
  Bytes o;
  if (index == 0) {
    const std::uint32_t groupShape = 8 + 8 + 16 + 8 + 8; // sp container of the group shape
    const std::uint32_t spgrLength = groupShape + static_cast<std::uint32_t>(count) * (8 + kChartShapeLength);
    o.header(0x000F, kDgContainer, 8 + 8 + 8 + spgrLength);
    o.header(static_cast<std::uint16_t>(drawing << 4), kDg, 8);
    o.u32(static_cast<std::uint32_t>(count) + 1);
    o.u32(base + static_cast<std::uint32_t>(count));
    o.header(0x000F, kSpgrContainer, spgrLength);
    o.header(0x000F, kSpContainer, groupShape - 8);
    o.header(0x0001, kSpgr, 16);
    for (int i = 0; i < 4; ++i)
      o.u32(0);
    o.header(0x0002, kSp, 8);
    o.u32(base);
    o.u32(0x0005); // group, patriarch
  }
  chartShape(o, anchor, base + static_cast<std::uint32_t>(index) + 1);
  out.push_back({rtMSODRAWING, std::move(o.b)});
  Bytes obj;
  obj.u16(0x0015);
  obj.u16(18);
  obj.u16(5);
  obj.u16(objectId);
  obj.u16(0x6011); // locked, printable, automatic fill and line
  for (int i = 0; i < 12; ++i)
    obj.u8(0);
  obj.u16(0);
  obj.u16(0);
  out.push_back({rtOBJ, std::move(obj.b)});
  return out;
}

} // namespace biff
