#include "fileformats/biff/drawing_records.h"

#include "drawing/controls.h"
#include "drawing/picture_fill.h"
#include "fileformats/biff/byte_cursor.h"
#include "fileformats/biff/records.h"
#include "fileformats/image/metafile.h"
#include "model/sheet.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace biff {

namespace {

constexpr std::uint16_t kDggContainer = 0xF000;
constexpr std::uint16_t kBstoreContainer = 0xF001;
constexpr std::uint16_t kDgContainer = 0xF002;
constexpr std::uint16_t kSpgrContainer = 0xF003;
constexpr std::uint16_t kSpContainer = 0xF004;
constexpr std::uint16_t kDgg = 0xF006;
constexpr std::uint16_t kBse = 0xF007;
constexpr std::uint16_t kDg = 0xF008;
constexpr std::uint16_t kSpgr = 0xF009;
constexpr std::uint16_t kSp = 0xF00A;
constexpr std::uint16_t kOpt = 0xF00B;
constexpr std::uint16_t kClientTextbox = 0xF00D;
constexpr std::uint16_t kChildAnchor = 0xF00F;
constexpr std::uint16_t kClientAnchor = 0xF010;
constexpr std::uint16_t kClientData = 0xF011;
constexpr std::uint16_t kBlipFirst = 0xF018; // + picture kind
constexpr std::uint16_t kBlipJpegCmyk = 0xF02A;
constexpr std::uint16_t kSplitMenuColours = 0xF11E;

constexpr std::uint16_t kShapePictureFrame = 75;
constexpr std::uint16_t kShapeHostControl = 201;

// Shape flags.
constexpr std::uint32_t kSpGroup = 0x0001;
constexpr std::uint32_t kSpPatriarch = 0x0004;
constexpr std::uint32_t kSpFlipH = 0x0040;
constexpr std::uint32_t kSpFlipV = 0x0080;
constexpr std::uint32_t kSpHaveAnchor = 0x0200;
constexpr std::uint32_t kSpHaveSpt = 0x0800;

// Properties the object's own fields hold.
constexpr std::uint16_t kPropPicture = 0x0104;
constexpr std::uint16_t kPropOleObject = 0x010B;
constexpr std::uint16_t kPropFillColour = 0x0181;
constexpr std::uint16_t kPropFillPicture = 0x0186;
constexpr std::uint16_t kPropFillFlags = 0x01BF;
constexpr std::uint16_t kPropLineColour = 0x01C0;
constexpr std::uint16_t kPropLineWidth = 0x01CB;
constexpr std::uint16_t kPropLineDashing = 0x01CE;
constexpr std::uint16_t kPropLineStart = 0x01D0;
constexpr std::uint16_t kPropLineEnd = 0x01D1;
constexpr std::uint16_t kPropLineFlags = 0x01FF;
constexpr std::uint16_t kPropShapeFlags = 0x03BF;
constexpr std::uint16_t kPropGeoRight = 0x0142;
constexpr std::uint16_t kPropGeoBottom = 0x0143;
constexpr std::uint16_t kPropVertices = 0x0145;
constexpr std::uint16_t kPropIdMask = 0x3FFF;
constexpr std::uint16_t kPropPictureRef = 0x4000;
constexpr std::uint16_t kPropComplex = 0x8000;

// Fill and line flags: the flag, and the bit saying the flag is set at all.
constexpr std::uint32_t kFilled = 0x00000010, kUseFilled = 0x00100000;
constexpr std::uint32_t kLined = 0x00000008, kUseLined = 0x00080000;
constexpr std::uint32_t kHidden = 0x00000002, kUseHidden = 0x00020000;

// Drawing records may continue over several sheet records; a single one
// larger than this is skipped, not gathered.
constexpr std::uint32_t kMaxAtom = 4u << 20;

// Kinds whose text a TXO record carries.
bool hasText(std::uint16_t kind) {
  switch (kind) {
  case model::kObjectTextBox:
  case model::kObjectButton:
  case model::kObjectCheckBox:
  case model::kObjectOptionButton:
  case model::kObjectLabel:
  case model::kObjectGroupBox:
  case model::kObjectComment: return true;
  default: return false;
  }
}

// A TXO placement (across or down): 1-4 and 7 are defined, anything else
// from a file reads as the default.
std::uint8_t textPlacement(unsigned value, std::uint8_t fallback) {
  return static_cast<std::uint8_t>((value >= 1 && value <= 4) || value == 7 ? value : fallback);
}

// The alignment word of TXO records and of Excel 95 text fields.
std::uint16_t textFlags(const model::DrawingObject& o) {
  return static_cast<std::uint16_t>(0x0200 | (textPlacement(o.textAlign, model::kTextAlignLeft) << 1) |
                                    (textPlacement(o.textVerticalAlign, model::kTextAlignTop) << 4)); // locked text
}

void readTextFlags(std::uint16_t flags, std::uint16_t rotation, model::DrawingObject& d) {
  d.textAlign = textPlacement((flags >> 1) & 7, model::kTextAlignLeft);
  d.textVerticalAlign = textPlacement((flags >> 4) & 7, model::kTextAlignTop);
  d.textOrientation = static_cast<std::uint8_t>(rotation <= 3 ? rotation : 0);
}

// Excel 95 keeps a metafile behind 8 bytes of its own (mapping mode,
// extents, handle); the metafile proper starts with its placeable or
// standard header.
bool isWmfStart(std::span<const std::uint8_t> b) {
  if (b.size() < 18)
    return false;
  const std::uint32_t key = static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16)) | (static_cast<std::uint32_t>(b[3]) << 24);
  const unsigned type = b[0] | (b[1] << 8), header = b[2] | (b[3] << 8);
  return key == 0x9AC6CDD7u || ((type == 1 || type == 2) && header == 9);
}

// Objects written with a text box and TXO: those of text kinds, and any
// shape that carries text.
bool writesText(const model::DrawingObject& o) { return hasText(o.kind) || (!o.text.empty() && o.kind != model::kObjectChart); }

bool isKnownKind(std::uint16_t kind) {
  switch (kind) {
  case model::kObjectLine:
  case model::kObjectRectangle:
  case model::kObjectOval:
  case model::kObjectArc:
  case model::kObjectChart:
  case model::kObjectTextBox:
  case model::kObjectPicture:
  case model::kObjectPolygon:
  case model::kObjectComment:
  case model::kObjectOfficeShape: return true;
  default: return drawing::isControlKind(kind);
  }
}

// The shape type an object is written with when it has none of its own.
std::uint16_t defaultShapeType(std::uint16_t kind) {
  switch (kind) {
  case model::kObjectLine: return 20;
  case model::kObjectRectangle: return 1;
  case model::kObjectOval: return 3;
  case model::kObjectArc: return 19;
  case model::kObjectTextBox:
  case model::kObjectComment: return 202;
  case model::kObjectPicture: return 75;
  case model::kObjectPolygon: return 0;
  default: return 201; // charts and controls are host controls
  }
}

// ---- anchors ----

// An anchor as fractional columns and rows, for mapping group children.
struct CellRect {
  double c1 = 0, r1 = 0, c2 = 0, r2 = 0;
};

CellRect toCells(const model::ObjectAnchor& a) {
  return {a.first.column + a.first.columnOffset / 1024.0, a.first.row + a.first.rowOffset / 256.0,
          a.last.column + a.last.columnOffset / 1024.0, a.last.row + a.last.rowOffset / 256.0};
}

model::AnchorCorner toCorner(double column, double row) {
  column = std::clamp(column, 0.0, 255.0 + 1023.0 / 1024);
  row = std::clamp(row, 0.0, 65535.0 + 255.0 / 256);
  model::AnchorCorner k;
  k.column = static_cast<std::uint16_t>(column);
  k.columnOffset = static_cast<std::uint16_t>(std::min(1023.0, std::floor((column - k.column) * 1024 + 0.5)));
  k.row = static_cast<std::uint16_t>(row);
  k.rowOffset = static_cast<std::uint16_t>(std::min(255.0, std::floor((row - k.row) * 256 + 0.5)));
  return k;
}

bool before(std::uint16_t a, std::uint16_t aOffset, std::uint16_t b, std::uint16_t bOffset) {
  return a < b || (a == b && aOffset < bOffset);
}

// Anchors from files: corners inside the sheet and in order.
void tidy(model::ObjectAnchor& a) {
  for (model::AnchorCorner* k : {&a.first, &a.last}) {
    if (k->column > 255) {
      k->column = 255;
      k->columnOffset = 1023;
    }
    k->columnOffset = std::min<std::uint16_t>(k->columnOffset, 1023);
    k->rowOffset = std::min<std::uint16_t>(k->rowOffset, 255);
  }
  if (before(a.last.column, a.last.columnOffset, a.first.column, a.first.columnOffset)) {
    std::swap(a.first.column, a.last.column);
    std::swap(a.first.columnOffset, a.last.columnOffset);
  }
  if (before(a.last.row, a.last.rowOffset, a.first.row, a.first.rowOffset)) {
    std::swap(a.first.row, a.last.row);
    std::swap(a.first.rowOffset, a.last.rowOffset);
  }
}

bool readAnchor(ByteCursor& c, model::ObjectAnchor& a) {
  return c.u16(a.first.column) && c.u16(a.first.columnOffset) && c.u16(a.first.row) &&
         c.u16(a.first.rowOffset) && c.u16(a.last.column) && c.u16(a.last.columnOffset) &&
         c.u16(a.last.row) && c.u16(a.last.rowOffset);
}

model::ObjectPlacement placementOf(std::uint16_t flags) {
  switch (flags & 3) {
  case 2: return model::ObjectPlacement::MoveOnly;
  case 3: return model::ObjectPlacement::Fixed;
  default: return model::ObjectPlacement::MoveAndSize;
  }
}

std::uint16_t placementFlags(model::ObjectPlacement p) {
  switch (p) {
  case model::ObjectPlacement::MoveOnly: return 2;
  case model::ObjectPlacement::Fixed: return 3;
  default: return 0;
  }
}

// ---- writing bytes ----

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
  void zeros(size_t n) { b.insert(b.end(), n, 0); }
  void append(std::span<const std::uint8_t> s) { b.insert(b.end(), s.begin(), s.end()); }
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

std::uint32_t u32At(std::span<const std::uint8_t> s, size_t at) {
  return static_cast<std::uint32_t>(s[at]) | (static_cast<std::uint32_t>(s[at + 1]) << 8) |
         (static_cast<std::uint32_t>(s[at + 2]) << 16) | (static_cast<std::uint32_t>(s[at + 3]) << 24);
}

// ---- the picture store ----

std::shared_ptr<const image::Picture> storedPicture(std::span<const std::uint8_t> bse) {
  ByteCursor c(bse);
  std::uint8_t win32 = 0, mac = 0, unused = 0, nameLength = 0;
  if (!(c.u8(win32) && c.u8(mac) && c.skip(16 + 2 + 4 + 4 + 4) && c.u8(unused) && c.u8(nameLength) &&
        c.skip(2) && c.skip(nameLength)))
    return nullptr;
  std::uint16_t verInst = 0, type = 0;
  std::uint32_t length = 0;
  if (!(c.u16(verInst) && c.u16(type) && c.u32(length)))
    return nullptr;
  image::PictureKind kind;
  if (type == kBlipJpegCmyk)
    kind = image::PictureKind::Jpeg;
  else if (type >= kBlipFirst && image::isPictureKind(type - kBlipFirst))
    kind = static_cast<image::PictureKind>(type - kBlipFirst);
  else
    return nullptr;
  // One identifier, or two when the instance's low bit says so; bitmaps
  // then have a tag byte, metafiles their 34-byte store header, kept.
  const bool metafile = kind == image::PictureKind::Emf || kind == image::PictureKind::Wmf;
  const size_t skip = ((verInst >> 4) & 1 ? 32 : 16) + (metafile ? 0 : 1);
  std::span<const std::uint8_t> data;
  if (length < skip || !c.skip(skip) || !c.bytes(std::min<size_t>(length, c.remaining() + skip) - skip, data) || data.empty())
    return nullptr;
  return std::make_shared<const image::Picture>(
      image::pictureFromBytes(kind, std::vector<std::uint8_t>(data.begin(), data.end())));
}

void walkStore(std::span<const std::uint8_t> body, PictureStore& out, int depth) {
  size_t pos = 0;
  while (body.size() - pos >= 8 && depth < 4 && out.size() < kMaxStoredPictures) {
    ByteCursor c(body.subspan(pos));
    std::uint16_t verInst = 0, type = 0;
    std::uint32_t length = 0;
    (void)(c.u16(verInst) && c.u16(type) && c.u32(length));
    const size_t start = pos + 8;
    const size_t n = std::min<size_t>(length, body.size() - start);
    if (type == kDggContainer || type == kBstoreContainer)
      walkStore(body.subspan(start, n), out, depth + 1);
    else if (type == kBse)
      out.push_back(storedPicture(body.subspan(start, n)));
    if (length > body.size() - start)
      return;
    pos = start + length;
  }
}

} // namespace

bool startsDrawingRecord(std::span<const std::uint8_t> body) {
  if (body.size() < 8)
    return false;
  const unsigned type = body[2] | (body[3] << 8);
  return type >= kDggContainer && type <= 0xF1FF;
}

PictureStore readPictureStore(std::span<const std::uint8_t> body) {
  PictureStore out;
  walkStore(body, out, 0);
  return out;
}

// ---- OBJ records ----

const ObjSubrecord* ObjRecord::find(std::uint16_t ft) const {
  for (const ObjSubrecord& s : subrecords)
    if (s.ft == ft)
      return &s;
  return nullptr;
}

ObjRecord parseObjRecord(std::span<const std::uint8_t> body) {
  ObjRecord o;
  ByteCursor c(body);
  std::uint16_t ft = 0, cb = 0;
  if (!(c.u16(ft) && c.u16(cb)) || ft != ftCmo || cb < 6 || cb > c.remaining())
    return o;
  ByteCursor cmo(c.rest().subspan(0, cb));
  (void)(cmo.u16(o.type) && cmo.u16(o.id) && cmo.u16(o.flags));
  (void)c.skip(cb);
  while (c.u16(ft) && c.u16(cb) && ft != ftEnd && o.subrecords.size() < 64) {
    if (ft == ftLbsData) {
      o.subrecords.push_back({ft, c.rest()});
      break;
    }
    std::span<const std::uint8_t> s;
    if (!c.bytes(cb, s))
      break;
    o.subrecords.push_back({ft, s});
  }
  return o;
}

std::span<const std::uint8_t> objFormulaTokens(std::span<const std::uint8_t> field) {
  ByteCursor c(field);
  std::uint16_t count = 0;
  std::span<const std::uint8_t> tokens;
  if (!(c.u16(count) && c.skip(4) && c.bytes(count, tokens)))
    return {};
  return tokens;
}

std::uint32_t decodeDrawingColour(std::uint32_t value, const std::array<std::uint32_t, 64>& palette,
                                  std::uint32_t automatic) {
  const std::uint32_t flags = value >> 24;
  if (flags & 0x10) // a system colour
    return automatic;
  if (flags & 0x09) { // a palette or scheme index
    const std::uint32_t index = value & 0xFFFF;
    return index < palette.size() ? palette[index] : automatic;
  }
  return value & 0x00FFFFFF;
}

// ---- reading a sheet's drawing ----

namespace {

struct Shape {
  std::uint16_t type = 0;
  std::uint32_t flags = 0;
  std::vector<model::ShapeProperty> properties;
  std::optional<CellRect> cells; // the anchor, from the client anchor or mapped from a group
  std::uint16_t anchorFlags = 0;
  std::optional<std::array<std::int32_t, 4>> groupRect;
  std::optional<model::ObjectAnchor> anchor; // a client anchor, as read
  // A child anchor: the group (its place among the frames read) and the
  // rectangle in that group's own coordinates.
  int childOf = -1;
  std::array<std::int32_t, 4> childRect{};
};

// A group's frame: its own coordinate space and where it lies, either
// anchored to cells or as a child of another group.
struct FrameDef {
  std::array<std::int32_t, 4> coordinates{};
  std::optional<model::ObjectAnchor> anchor;
  int parent = -1;
  std::array<std::int32_t, 4> childRect{};
};

struct Frame {
  std::array<std::int32_t, 4> coordinates{};
  CellRect cells; // a first placement in cell units, until the sheet's sizes are known
  std::uint64_t end = 0; // where its group's container ends
  int def = -1;
};

// An object placed by a child anchor, placed again at the end of the sheet.
struct PlacedChild {
  int object = -1;
  int frame = -1;
  std::array<std::int32_t, 4> rect{};
};

struct Open {
  std::uint16_t type = 0;
  std::uint64_t end = 0;
};

std::vector<model::ShapeProperty> readProperties(std::span<const std::uint8_t> data, unsigned count) {
  std::vector<model::ShapeProperty> out;
  ByteCursor table(data);
  size_t complexAt = std::min<size_t>(size_t{count} * 6, data.size());
  for (unsigned i = 0; i < count; ++i) {
    model::ShapeProperty p;
    if (!(table.u16(p.id) && table.u32(p.value)))
      break;
    if (p.id & kPropComplex) {
      const size_t n = std::min<size_t>(p.value, data.size() - complexAt);
      p.data.assign(data.begin() + static_cast<std::ptrdiff_t>(complexAt),
                    data.begin() + static_cast<std::ptrdiff_t>(complexAt + n));
      p.value = static_cast<std::uint32_t>(n);
      complexAt += n;
    }
    out.push_back(std::move(p));
  }
  return out;
}

std::uint32_t effectiveFlag(std::uint32_t value, std::uint32_t flag, std::uint32_t use, bool fallback) {
  if (value & use)
    return value & flag;
  // Writers that leave the use bits out mean the flags as they stand.
  if ((value & 0xFFFF0000) == 0)
    return value & flag;
  return fallback ? flag : 0;
}

} // namespace

struct SheetDrawingReader::State {
  model::Sheet& sheet;
  DrawingReadContext ctx;
  // The drawing stream, gathered over its records.
  std::vector<std::uint8_t> pending;
  std::uint64_t offset = 0; // stream position of pending[0]
  std::uint64_t skip = 0;   // bytes of an oversized record still to pass over
  std::vector<Open> open;
  std::vector<Frame> frames;
  std::vector<FrameDef> frameDefs;
  std::vector<PlacedChild> children;
  Shape current;
  std::optional<Shape> ready; // the shape whose client data was read last
  int lastObject = -1;        // the object a TXO or IMDATA belongs to
  bool chartPending = false;
  std::optional<model::ObjectAnchor> chartAnchor;
  std::unordered_map<std::uint16_t, int> commentById; // OBJ id -> object index
  std::vector<int> comments;                          // every comment read, by object index
  std::vector<int> noted;                             // comments a NOTE has claimed
  int lastBiff5Note = -1;
  // A long Excel 95 comment's bytes, decoded as one text once all pieces
  // are in: a piece may end in the middle of a double-byte character.
  std::vector<std::uint8_t> biff5NoteBytes;
  bool biff5NoteContinued = false;

  State(model::Sheet& s, DrawingReadContext c) : sheet(s), ctx(std::move(c)) {}

  std::uint32_t colour(std::uint32_t value, std::uint32_t automatic) const {
    return ctx.palette ? decodeDrawingColour(value, *ctx.palette, automatic) : value & 0x00FFFFFF;
  }

  void atom(std::uint16_t verInst, std::uint16_t type, std::span<const std::uint8_t> data) {
    ByteCursor c(data);
    switch (type) {
    case kSpgr: {
      std::array<std::int32_t, 4> r{};
      std::uint32_t v = 0;
      for (std::int32_t& x : r)
        if (c.u32(v))
          x = static_cast<std::int32_t>(v);
      current.groupRect = r;
      break;
    }
    case kSp: {
      std::uint32_t spid = 0;
      current.type = static_cast<std::uint16_t>(verInst >> 4);
      (void)(c.u32(spid) && c.u32(current.flags));
      break;
    }
    case kOpt: {
      std::vector<model::ShapeProperty> p = readProperties(data, verInst >> 4);
      current.properties.insert(current.properties.end(), std::make_move_iterator(p.begin()),
                                std::make_move_iterator(p.end()));
      break;
    }
    case kClientAnchor: {
      model::ObjectAnchor a;
      if (c.u16(current.anchorFlags) && readAnchor(c, a)) {
        tidy(a);
        current.cells = toCells(a);
        current.anchor = a;
        group();
      }
      break;
    }
    case kChildAnchor: {
      std::array<std::int32_t, 4> r{};
      std::uint32_t v = 0;
      for (std::int32_t& x : r)
        if (c.u32(v))
          x = static_cast<std::int32_t>(v);
      if (!frames.empty()) {
        const Frame& f = frames.back();
        auto map = [](double x, std::int32_t from, std::int32_t to, double a, double b) {
          const double span = static_cast<double>(to) - from;
          return span == 0 ? a : a + (x - from) / span * (b - a);
        };
        CellRect cr;
        cr.c1 = map(r[0], f.coordinates[0], f.coordinates[2], f.cells.c1, f.cells.c2);
        cr.r1 = map(r[1], f.coordinates[1], f.coordinates[3], f.cells.r1, f.cells.r2);
        cr.c2 = map(r[2], f.coordinates[0], f.coordinates[2], f.cells.c1, f.cells.c2);
        cr.r2 = map(r[3], f.coordinates[1], f.coordinates[3], f.cells.r1, f.cells.r2);
        current.cells = cr;
        current.anchorFlags = 0;
        current.childOf = f.def;
        current.childRect = r;
        group();
      }
      break;
    }
    case kClientData: ready = std::move(current); current = Shape{}; break;
    default: break;
    }
  }

  // A group's shape opens the frame its children are placed in.
  void group() {
    if (!(current.flags & kSpGroup) || (current.flags & kSpPatriarch) || !current.groupRect || !current.cells ||
        frames.size() >= 64)
      return;
    for (auto k = open.rbegin(); k != open.rend(); ++k)
      if (k->type == kSpgrContainer) {
        int def = -1;
        if (frameDefs.size() < 4096 && (current.anchor || current.childOf >= 0)) {
          def = static_cast<int>(frameDefs.size());
          frameDefs.push_back({*current.groupRect, current.anchor, current.childOf, current.childRect});
        }
        frames.push_back({*current.groupRect, *current.cells, k->end, def});
        return;
      }
  }

  void closeContainers() {
    while (!open.empty() && open.back().end <= offset) {
      const Open done = open.back();
      open.pop_back();
      if (done.type == kSpgrContainer)
        while (!frames.empty() && frames.back().end == done.end)
          frames.pop_back();
    }
  }

  void drawing(std::span<const std::uint8_t> body) {
    if (skip) {
      const size_t n = static_cast<size_t>(std::min<std::uint64_t>(skip, body.size()));
      skip -= n;
      offset += n;
      body = body.subspan(n);
    }
    pending.insert(pending.end(), body.begin(), body.end());
    size_t pos = 0;
    for (;;) {
      closeContainers();
      if (pending.size() - pos < 8)
        break;
      ByteCursor c(std::span<const std::uint8_t>(pending).subspan(pos));
      std::uint16_t verInst = 0, type = 0;
      std::uint32_t length = 0;
      (void)(c.u16(verInst) && c.u16(type) && c.u32(length));
      if ((verInst & 0x0F) == 0x0F) {
        if (open.size() < 32) {
          open.push_back({type, offset + 8 + length});
          if (type == kSpContainer)
            current = Shape{};
        }
        pos += 8;
        offset += 8;
        continue;
      }
      const size_t avail = pending.size() - pos - 8;
      if (length > avail) {
        if (length <= kMaxAtom)
          break; // the rest comes in the next record
        skip = length - avail;
        offset += 8 + avail;
        pos = pending.size();
        break;
      }
      atom(verInst, type, std::span<const std::uint8_t>(pending).subspan(pos + 8, length));
      pos += 8 + length;
      offset += 8 + length;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pos));
  }

  void applyProperties(model::DrawingObject& d, std::vector<model::ShapeProperty> properties) {
    std::shared_ptr<const image::Picture> fillPicture;
    for (model::ShapeProperty& p : properties) {
      const std::uint16_t id = p.id & kPropIdMask;
      switch (id) {
      case kPropPicture:
        // Only a picture is its picture; elsewhere a payload would read as a fill.
        if (ctx.pictures && p.value >= 1 && p.value <= ctx.pictures->size() && d.kind == model::kObjectPicture)
          if (const auto& picture = (*ctx.pictures)[p.value - 1])
            d.payload.reset(std::make_unique<image::PicturePayload>(picture));
        continue;
      case kPropFillPicture:
        if ((p.id & kPropPictureRef) && !(p.id & kPropComplex)) {
          if (ctx.pictures && p.value >= 1 && p.value <= ctx.pictures->size() && drawing::canHaveFillPicture(d.kind))
            fillPicture = (*ctx.pictures)[p.value - 1];
          continue;
        }
        break;
      case kPropFillColour: d.fillColour = colour(p.value, 0xFFFFFF); continue;
      case kPropLineColour: d.lineColour = colour(p.value, 0x000000); continue;
      case kPropLineWidth: d.lineWidth = std::min<std::uint32_t>(p.value, 12700 * 1584); continue;
      case kPropLineDashing: d.lineStyle = static_cast<std::uint8_t>(std::min<std::uint32_t>(p.value, 10)); continue;
      case kPropLineStart:
        d.startArrow = static_cast<std::uint8_t>(std::min<std::uint32_t>(p.value, model::kLineEndOpen));
        continue;
      case kPropLineEnd:
        d.endArrow = static_cast<std::uint8_t>(std::min<std::uint32_t>(p.value, model::kLineEndOpen));
        continue;
      case kPropOleObject: continue; // see obj(): the object it names is not kept
      case kPropFillFlags: d.hasFill = effectiveFlag(p.value, kFilled, kUseFilled, d.hasFill) != 0; break;
      case kPropLineFlags: d.hasLine = effectiveFlag(p.value, kLined, kUseLined, d.hasLine) != 0; break;
      default: break;
      }
      // Other references into the picture store are not carried.
      if ((p.id & kPropPictureRef) && !(p.id & kPropComplex))
        continue;
      if (d.properties.size() < 1024)
        d.properties.push_back(std::move(p));
    }
    // A fill that names a picture the store does not hold is written back
    // as a plain colour, not as a picture fill without its picture.
    const drawing::PictureFill fill = fillTypeOf(d);
    if (fill == drawing::PictureFill::None)
      return;
    if (fillPicture)
      drawing::setFillPicture(d, std::move(fillPicture), fill);
    else
      drawing::clearFillPicture(d);
  }

  static drawing::PictureFill fillTypeOf(const model::DrawingObject& d) {
    for (const model::ShapeProperty& p : d.properties)
      if ((p.id & kPropIdMask) == drawing::kPropFillType && !(p.id & kPropComplex))
        return p.value >= 1 && p.value <= 3 ? static_cast<drawing::PictureFill>(p.value) : drawing::PictureFill::None;
    return drawing::PictureFill::None;
  }

  void obj(std::span<const std::uint8_t> body) {
    lastObject = -1;
    std::optional<Shape> shape = std::move(ready);
    ready.reset();
    if (ctx.version != 8) {
      biff5Obj(body);
      return;
    }
    const ObjRecord o = parseObjRecord(body);
    if (o.type == model::kObjectChart) {
      chartPending = true;
      chartAnchor.reset();
      if (shape && shape->cells) {
        model::ObjectAnchor a{toCorner(shape->cells->c1, shape->cells->r1),
                              toCorner(shape->cells->c2, shape->cells->r2)};
        chartAnchor = a;
      }
      return;
    }
    if (!isKnownKind(o.type) || !shape || !shape->cells)
      return; // groups are flattened: their shapes stand alone
    model::DrawingObject d;
    d.kind = o.type;
    d.placement = placementOf(shape->anchorFlags);
    d.anchor = {toCorner(shape->cells->c1, shape->cells->r1), toCorner(shape->cells->c2, shape->cells->r2)};
    tidy(d.anchor);
    d.shapeType = shape->type;
    // Embedded objects and ActiveX controls are pictures whose OBJ points
    // (ftPictFmla) into storages and the control stream beside the workbook
    // stream, which a save does not carry: they are kept as the picture they
    // show and saved as plain pictures, so that no reference is left to
    // something the saved file lacks.
    if (d.kind == model::kObjectPicture && d.shapeType == kShapeHostControl)
      d.shapeType = kShapePictureFrame;
    d.flip = static_cast<std::uint8_t>(((shape->flags & kSpFlipH) ? 1 : 0) | ((shape->flags & kSpFlipV) ? 2 : 0));
    if (drawing::isControlKind(d.kind)) {
      d.hasFill = false;
      d.hasLine = false;
    }
    applyProperties(d, std::move(shape->properties));
    if (const ObjSubrecord* macro = o.find(ftMacro); macro && ctx.formulaText) {
      const std::span<const std::uint8_t> tokens = objFormulaTokens(macro->body);
      if (!tokens.empty())
        d.macro = ctx.formulaText(tokens);
    }
    if (d.kind == model::kObjectComboBox)
      if (const ObjSubrecord* list = o.find(ftLbsData)) {
        // The list type, after the fill-range formula, line count and selection.
        ByteCursor c(list->body);
        std::uint16_t size = 0, flags = 0;
        if (c.u16(size) && c.skip(size) && c.skip(4) && c.u16(flags) && (flags >> 8) == 3)
          d.filterArrow = true;
      }
    if (drawing::isControlKind(d.kind) && ctx.controlData)
      ctx.controlData(o, d);
    add(std::move(d), o.id);
    if (lastObject >= 0 && shape->childOf >= 0 && children.size() < 65535)
      children.push_back({lastObject, shape->childOf, shape->childRect});
  }

  void add(model::DrawingObject d, std::uint16_t id) {
    lastObject = -1;
    if (sheet.objects.size() >= 65535)
      return;
    const bool comment = d.kind == model::kObjectComment;
    sheet.objects.push_back(std::move(d));
    lastObject = static_cast<int>(sheet.objects.size()) - 1;
    if (comment) {
      comments.push_back(lastObject);
      commentById.emplace(id, lastObject);
    }
  }

  std::uint32_t icvColour(std::uint8_t icv, std::uint32_t automatic) const {
    return ctx.palette && icv < ctx.palette->size() ? (*ctx.palette)[icv] : automatic;
  }

  // Excel 95 objects carry their anchor and kind in the OBJ record itself,
  // then fields by kind, an optional name, the macro formula and the text.
  void biff5Obj(std::span<const std::uint8_t> body) {
    ByteCursor c(body);
    std::uint32_t count = 0;
    std::uint16_t type = 0, id = 0, flags = 0, macroLength = 0, named = 0;
    model::ObjectAnchor a;
    if (!(c.u32(count) && c.u16(type) && c.u16(id) && c.u16(flags) && readAnchor(c, a) && c.u16(macroLength)))
      return;
    (void)(c.skip(2) && c.u16(named));
    tidy(a);
    if (type == model::kObjectChart) {
      chartPending = true;
      chartAnchor = a;
      return;
    }
    if (!isKnownKind(type) || type == model::kObjectOfficeShape)
      return;
    auto at = [&](size_t i) -> std::uint8_t { return i < body.size() ? body[i] : 0; };
    auto at16 = [&](size_t i) -> std::uint16_t { return static_cast<std::uint16_t>(at(i) | (at(i + 1) << 8)); };
    model::DrawingObject d;
    d.kind = type;
    d.anchor = a;
    size_t rest = 0; // where the name and the macro formula start
    switch (type) {
    case model::kObjectLine:
      d.shapeType = 20;
      d.lineColour = icvColour(at(34), 0x000000);
      d.hasLine = at(35) != 0xFF;
      d.lineStyle = at(35) <= 4 ? at(35) : 0;
      d.lineWidth = at(36) == 0 ? 3175 : 9525u * at(36);
      switch (at(38) & 3) {
      case 1: d.endArrow = model::kLineEndOpen; break;
      case 2:
      case 3: d.endArrow = model::kLineEndTriangle; break;
      default: break;
      }
      d.flip = static_cast<std::uint8_t>((at(40) == 1 || at(40) == 2 ? 1 : 0) | (at(40) >= 2 && at(40) <= 3 ? 2 : 0));
      rest = 42;
      break;
    case model::kObjectRectangle:
    case model::kObjectOval:
    case model::kObjectArc:
    case model::kObjectTextBox:
    case model::kObjectPicture:
    case model::kObjectPolygon:
      d.shapeType = defaultShapeType(type);
      d.fillColour = icvColour(at(35), 0xFFFFFF);
      d.hasFill = at(36) != 0;
      d.lineColour = icvColour(at(38), 0x000000);
      d.hasLine = at(39) != 0xFF;
      d.lineStyle = at(39) <= 4 ? at(39) : 0;
      d.lineWidth = at(40) == 0 ? 3175 : 9525u * at(40);
      rest = type == model::kObjectTextBox ? 70 : type == model::kObjectPicture ? 60 : type == model::kObjectPolygon ? 66 : 44;
      break;
    case model::kObjectButton:
    case model::kObjectLabel: rest = 70; break;
    case model::kObjectComboBox:
      d.filterArrow = (flags & 0x8000) != 0;
      break;
    default: break;
    }
    if (drawing::isControlKind(type)) {
      d.hasFill = false;
      d.hasLine = false;
    }
    const bool textFields = type == model::kObjectTextBox || type == model::kObjectButton || type == model::kObjectLabel;
    if (textFields || type == model::kObjectCheckBox || type == model::kObjectOptionButton ||
        type == model::kObjectGroupBox)
      readTextFlags(at16(54), textFields ? at16(56) : 0, d);
    if (drawing::isControlKind(type) && ctx.biff5ControlData)
      ctx.biff5ControlData(body, d);
    // The macro follows the name, its length in the fixed part; the text of
    // text boxes, buttons and labels follows the macro.
    size_t p = rest;
    if (rest && named && p < body.size())
      p += 1 + body[p];
    p += p & 1;
    if (rest && macroLength && p < body.size() && ctx.formulaText) {
      const std::span<const std::uint8_t> tokens =
          objFormulaTokens(body.subspan(p, std::min<size_t>(macroLength, body.size() - p)));
      if (!tokens.empty())
        d.macro = ctx.formulaText(tokens);
    }
    if (rest && (type == model::kObjectTextBox || type == model::kObjectButton || type == model::kObjectLabel)) {
      const std::uint16_t length = at16(44);
      p += macroLength;
      p += p & 1;
      if (p < body.size()) {
        const std::span<const std::uint8_t> bytes = body.subspan(p, std::min<size_t>(length, body.size() - p));
        d.text = ctx.narrowText ? ctx.narrowText(bytes) : std::u16string(bytes.begin(), bytes.end());
      }
    }
    add(std::move(d), id);
  }

  // Excel 95 pictures: a bitmap (format 9) or a Windows metafile (format 2),
  // for the picture object read last.
  void imageData(std::span<const std::uint8_t> body) {
    if (lastObject < 0)
      return;
    model::DrawingObject& d = sheet.objects[static_cast<size_t>(lastObject)];
    ByteCursor c(body);
    std::uint16_t format = 0, environment = 0;
    std::uint32_t length = 0;
    if (d.kind != model::kObjectPicture || d.payload.get() || !(c.u16(format) && c.u16(environment) && c.u32(length)))
      return;
    std::span<const std::uint8_t> data = c.rest().subspan(0, std::min<size_t>(length, c.remaining()));
    if (format == 2 && !isWmfStart(data) && data.size() > 8 && isWmfStart(data.subspan(8)))
      data = data.subspan(8);
    if (data.empty() || (format != 2 && format != 9))
      return;
    const image::PictureKind kind = format == 9 ? image::PictureKind::Dib : image::PictureKind::Wmf;
    d.payload.reset(std::make_unique<image::PicturePayload>(std::make_shared<const image::Picture>(
        image::pictureFromBytes(kind, std::vector<std::uint8_t>(data.begin(), data.end())))));
  }

  // Excel 95 polygon points, 0 to 0x4000 across the object: kept as the
  // vertices of the drawing format over a frame of that size.
  void coordinates(std::span<const std::uint8_t> body) {
    if (lastObject < 0)
      return;
    model::DrawingObject& d = sheet.objects[static_cast<size_t>(lastObject)];
    if (d.kind != model::kObjectPolygon)
      return;
    const size_t points = std::min<size_t>(body.size() / 4, 8000);
    Bytes v;
    v.u16(static_cast<std::uint16_t>(points));
    v.u16(static_cast<std::uint16_t>(points));
    v.u16(4);
    v.append(body.first(points * 4));
    std::erase_if(d.properties, [](const model::ShapeProperty& p) {
      const std::uint16_t id = p.id & kPropIdMask;
      return id == kPropVertices || id == kPropGeoRight || id == kPropGeoBottom;
    });
    d.properties.push_back({kPropGeoRight, 0x4000, {}});
    d.properties.push_back({kPropGeoBottom, 0x4000, {}});
    d.properties.push_back({static_cast<std::uint16_t>(kPropVertices | kPropComplex),
                            static_cast<std::uint32_t>(v.b.size()), std::move(v.b)});
  }

  size_t text(std::span<const std::uint8_t> txo, const std::vector<std::span<const std::uint8_t>>& continues) {
    ByteCursor c(txo);
    std::uint16_t options = 0, rotation = 0, characters = 0, runBytes = 0;
    if (ctx.version != 8 || !(c.u16(options) && c.u16(rotation) && c.skip(6) && c.u16(characters) && c.u16(runBytes)))
      return 0;
    std::u16string out;
    size_t part = 0;
    while (out.size() < characters && part < continues.size()) {
      ByteCursor t(continues[part++]);
      std::uint8_t option = 0;
      if (!t.u8(option))
        continue;
      while (out.size() < characters) {
        if (option & 1) {
          std::uint16_t ch = 0;
          if (!t.u16(ch))
            break;
          out += static_cast<char16_t>(ch);
        } else {
          std::uint8_t ch = 0;
          if (!t.u8(ch))
            break;
          out += static_cast<char16_t>(ch);
        }
      }
    }
    // The first formatting run gives the text's font.
    std::optional<std::uint16_t> font;
    if (characters > 0 && runBytes >= 8 && part < continues.size()) {
      ByteCursor r(continues[part]);
      std::uint16_t first = 0, f = 0;
      if (r.u16(first) && r.u16(f))
        font = static_cast<std::uint16_t>(f > 4 ? f - 1 : f);
    }
    for (size_t runs = 0; runs < runBytes && part < continues.size(); ++part)
      runs += std::max<size_t>(continues[part].size(), 1);
    if (lastObject >= 0) {
      model::DrawingObject& d = sheet.objects[static_cast<size_t>(lastObject)];
      d.text = std::move(out);
      if (font)
        d.fontIndex = *font;
      readTextFlags(options, rotation, d);
    }
    return part;
  }

  void note(std::span<const std::uint8_t> body) {
    ByteCursor c(body);
    std::uint16_t row = 0, column = 0;
    if (!(c.u16(row) && c.u16(column)))
      return;
    if (ctx.version != 8) {
      biff5Note(c, row, column);
      return;
    }
    std::uint16_t flags = 0, id = 0, length = 0;
    std::uint8_t option = 0;
    if (!(c.u16(flags) && c.u16(id)))
      return;
    const auto k = commentById.find(id);
    if (k == commentById.end())
      return;
    model::DrawingObject& d = sheet.objects[static_cast<size_t>(k->second)];
    d.row = row;
    d.column = static_cast<std::uint8_t>(std::min<std::uint16_t>(column, 255));
    d.visible = (flags & 0x0002) != 0;
    d.author.clear();
    if (c.u16(length) && c.u8(option))
      for (std::uint16_t i = 0; i < length; ++i) {
        std::uint16_t ch = 0;
        std::uint8_t narrow = 0;
        if ((option & 1) ? !c.u16(ch) : !c.u8(narrow))
          break;
        d.author += static_cast<char16_t>((option & 1) ? ch : narrow);
      }
    noted.push_back(k->second);
    commentById.erase(k);
  }

  // Excel 95 comments are NOTE records alone; a long one goes on in NOTE
  // records whose row is 0xFFFF.
  void biff5Note(ByteCursor& c, std::uint16_t row, std::uint16_t column) {
    std::uint16_t length = 0;
    if (!c.u16(length))
      return;
    std::span<const std::uint8_t> bytes;
    if (!c.bytes(std::min<size_t>(length, c.remaining()), bytes))
      return;
    if (row == 0xFFFF) {
      if (lastBiff5Note >= 0 && static_cast<size_t>(lastBiff5Note) < sheet.objects.size()) {
        biff5NoteBytes.insert(biff5NoteBytes.end(), bytes.begin(), bytes.end());
        biff5NoteContinued = true;
      }
      return;
    }
    settleBiff5Note();
    lastBiff5Note = -1; // pieces after a note that made no comment belong to nothing
    const std::u16string text = decodeNarrow(bytes);
    model::DrawingObject d;
    d.kind = model::kObjectComment;
    d.shapeType = 202;
    d.row = row;
    d.column = static_cast<std::uint8_t>(std::min<std::uint16_t>(column, 255));
    d.text = text;
    d.fillColour = 0xE1FFFF;
    const double c1 = std::min<double>(d.column + 1, 255), r1 = row > 0 ? row - 1 + 0.5 : 0;
    d.anchor = {toCorner(c1 + 0.1, r1), toCorner(c1 + 2.1, r1 + 4)};
    add(std::move(d), 0);
    if (lastObject >= 0 && sheet.objects[static_cast<size_t>(lastObject)].kind == model::kObjectComment) {
      noted.push_back(lastObject);
      lastBiff5Note = lastObject;
      biff5NoteBytes.assign(bytes.begin(), bytes.end());
    }
  }

  std::u16string decodeNarrow(std::span<const std::uint8_t> bytes) const {
    return ctx.narrowText ? ctx.narrowText(bytes) : std::u16string(bytes.begin(), bytes.end());
  }

  void settleBiff5Note() {
    if (biff5NoteContinued && lastBiff5Note >= 0 && static_cast<size_t>(lastBiff5Note) < sheet.objects.size())
      sheet.objects[static_cast<size_t>(lastBiff5Note)].text = decodeNarrow(biff5NoteBytes);
    biff5NoteBytes.clear();
    biff5NoteContinued = false;
  }

  // A group's rectangle in sheet pixels at 100%: its anchor's, or its place
  // in its parent's frame. Chains that loop or run deep give nothing.
  std::optional<std::array<double, 4>> framePixels(int def, int depth = 0) const {
    if (def < 0 || static_cast<size_t>(def) >= frameDefs.size() || depth > 64)
      return std::nullopt;
    const FrameDef& f = frameDefs[static_cast<size_t>(def)];
    if (f.anchor) {
      const platform::Rect r = model::anchorToPixels(sheet, *f.anchor, model::PixelScale{});
      return std::array<double, 4>{double(r.left), double(r.top), double(r.right), double(r.bottom)};
    }
    if (f.parent >= def)
      return std::nullopt;
    const auto parent = framePixels(f.parent, depth + 1);
    if (!parent)
      return std::nullopt;
    return place(*parent, frameDefs[static_cast<size_t>(f.parent)].coordinates, f.childRect);
  }

  // A rectangle given in a group's coordinates, in the pixels of the group's rectangle.
  static std::array<double, 4> place(const std::array<double, 4>& px, const std::array<std::int32_t, 4>& frame,
                                     const std::array<std::int32_t, 4>& r) {
    auto map = [](double x, std::int32_t from, std::int32_t to, double a, double b) {
      const double span = static_cast<double>(to) - from;
      return span == 0 ? a : a + (x - from) / span * (b - a);
    };
    return {map(r[0], frame[0], frame[2], px[0], px[2]), map(r[1], frame[1], frame[3], px[1], px[3]),
            map(r[2], frame[0], frame[2], px[0], px[2]), map(r[3], frame[1], frame[3], px[1], px[3])};
  }

  // Group children go where their group's frame puts them on the sheet as
  // its columns and rows are sized, not spread evenly over its cells.
  void placeChildren() {
    for (const PlacedChild& c : children) {
      const auto px = framePixels(c.frame);
      if (!px || static_cast<size_t>(c.object) >= sheet.objects.size())
        continue;
      const std::array<double, 4> r = place(*px, frameDefs[static_cast<size_t>(c.frame)].coordinates, c.rect);
      const auto pixel = [](double v) { return static_cast<int>(std::clamp(std::lround(v), -(1L << 30), 1L << 30)); };
      const platform::Rect rect{std::min(pixel(r[0]), pixel(r[2])), std::min(pixel(r[1]), pixel(r[3])),
                                std::max(pixel(r[0]), pixel(r[2])), std::max(pixel(r[1]), pixel(r[3]))};
      sheet.objects[static_cast<size_t>(c.object)].anchor = model::pixelsToAnchor(sheet, rect, model::PixelScale{});
    }
    children.clear();
  }

  void finish() {
    settleBiff5Note();
    placeChildren();
    // Comments no NOTE claimed have no cell to belong to.
    if (comments.size() == noted.size())
      return;
    std::vector<char> drop(sheet.objects.size(), 0);
    for (int i : comments)
      drop[static_cast<size_t>(i)] = 1;
    for (int i : noted)
      drop[static_cast<size_t>(i)] = 0;
    size_t i = 0;
    std::erase_if(sheet.objects, [&](const model::DrawingObject&) { return drop[i++] != 0; });
    comments.clear();
    noted.clear();
  }
};

SheetDrawingReader::SheetDrawingReader(model::Sheet& sheet, DrawingReadContext ctx)
    : m(std::make_unique<State>(sheet, std::move(ctx))) {}
SheetDrawingReader::~SheetDrawingReader() = default;
void SheetDrawingReader::drawing(std::span<const std::uint8_t> body) { m->drawing(body); }
void SheetDrawingReader::obj(std::span<const std::uint8_t> body) { m->obj(body); }
size_t SheetDrawingReader::text(std::span<const std::uint8_t> txo,
                                const std::vector<std::span<const std::uint8_t>>& continues) {
  return m->text(txo, continues);
}
void SheetDrawingReader::note(std::span<const std::uint8_t> body) { m->note(body); }
void SheetDrawingReader::imageData(std::span<const std::uint8_t> body) { m->imageData(body); }
void SheetDrawingReader::coordinates(std::span<const std::uint8_t> body) { m->coordinates(body); }
bool SheetDrawingReader::chartPending() const { return m->chartPending; }
std::optional<model::ObjectAnchor> SheetDrawingReader::takeChartAnchor() {
  m->chartPending = false;
  std::optional<model::ObjectAnchor> a = m->chartAnchor;
  m->chartAnchor.reset();
  return a;
}
void SheetDrawingReader::finish() { m->finish(); }

// ---- writing ----

bool isWrittenObject(const model::DrawingObject& object, int version) {
  if (object.filterArrow || !isKnownKind(object.kind))
    return false;
  if (version != 8)
    return object.kind != model::kObjectOfficeShape;
  return true;
}

unsigned biff5Losses(const model::DrawingObject& object) {
  if (object.filterArrow || !isKnownKind(object.kind))
    return kBiff5LosesNothing;
  if (object.kind == model::kObjectOfficeShape)
    return kBiff5LosesShape;
  if (drawing::fillPictureOf(object))
    return kBiff5LosesPictureFill;
  if (object.kind == model::kObjectLine)
    return object.startArrow != model::kLineEndNone && object.endArrow != model::kLineEndNone ? kBiff5LosesStartArrow
                                                                                             : kBiff5LosesNothing;
  if (object.kind == model::kObjectPicture)
    if (const auto* p = dynamic_cast<const image::PicturePayload*>(object.payload.get()))
      switch (p->picture().kind) {
      case image::PictureKind::Emf:
      case image::PictureKind::Jpeg:
      case image::PictureKind::Png: return kBiff5LosesPictureFormat;
      default: break;
      }
  return kBiff5LosesNothing;
}

namespace {

const image::Picture* pictureOf(const model::DrawingObject& o) {
  if (o.kind != model::kObjectPicture)
    return nullptr;
  const auto* p = dynamic_cast<const image::PicturePayload*>(o.payload.get());
  return p ? &p->picture() : nullptr;
}

// A 16-byte identifier of a picture's bytes (two 64-bit FNV-1a hashes).
std::array<std::uint8_t, 16> pictureIdentifier(std::span<const std::uint8_t> bytes) {
  std::uint64_t a = 0xCBF29CE484222325ull, b = 0x84222325CBF29CE4ull;
  for (std::uint8_t x : bytes) {
    a = (a ^ x) * 0x100000001B3ull;
    b = (b ^ (x + 0x5Bu)) * 0x100000001B3ull;
  }
  std::array<std::uint8_t, 16> out{};
  for (int i = 0; i < 8; ++i) {
    out[static_cast<size_t>(i)] = static_cast<std::uint8_t>(a >> (8 * i));
    out[static_cast<size_t>(i + 8)] = static_cast<std::uint8_t>(b >> (8 * i));
  }
  return out;
}

// Metafile bytes as the store keeps them: the 34-byte header (unpacked
// size, bounds, size in EMUs, packed size, compression, filter) and the
// deflated data. Bytes already in that form are kept as they are.
std::vector<std::uint8_t> storeFormMetafile(const image::Picture& p) {
  const std::vector<std::uint8_t>& b = p.bytes;
  if (b.size() >= 34 && u32At(b, 28) == b.size() - 34 && (b[32] == 0 || b[32] == 0xFE))
    return b;
  uLongf packedSize = compressBound(static_cast<uLong>(b.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, b.data(), static_cast<uLong>(b.size()), 6) != Z_OK)
    return b;
  packed.resize(packedSize);
  int w = 100, h = 100;
  if (const auto size = image::metafileSize(p.kind, b)) {
    w = size->width;
    h = size->height;
  }
  Bytes o;
  o.u32(static_cast<std::uint32_t>(b.size()));
  o.u32(0);
  o.u32(0);
  o.u32(static_cast<std::uint32_t>(w));
  o.u32(static_cast<std::uint32_t>(h));
  o.u32(static_cast<std::uint32_t>(w) * 9525);
  o.u32(static_cast<std::uint32_t>(h) * 9525);
  o.u32(static_cast<std::uint32_t>(packed.size()));
  o.u8(0);    // deflate
  o.u8(0xFE); // no filter
  o.append(packed);
  return std::move(o.b);
}

// A BLIP store entry with its picture record.
std::vector<std::uint8_t> storeEntry(const image::Picture& p, std::uint32_t references) {
  const bool metafile = p.kind == image::PictureKind::Emf || p.kind == image::PictureKind::Wmf;
  const std::vector<std::uint8_t> data = metafile ? storeFormMetafile(p) : p.bytes;
  const std::array<std::uint8_t, 16> id = pictureIdentifier(data);
  std::uint16_t instance = 0;
  switch (p.kind) {
  case image::PictureKind::Emf: instance = 0x3D4; break;
  case image::PictureKind::Wmf: instance = 0x216; break;
  case image::PictureKind::Jpeg: instance = 0x46A; break;
  case image::PictureKind::Png: instance = 0x6E0; break;
  case image::PictureKind::Dib: instance = 0x7A8; break;
  }
  const std::uint32_t blipLength = 16 + (metafile ? 0 : 1) + static_cast<std::uint32_t>(data.size());
  const auto kind = static_cast<std::uint8_t>(p.kind);
  Bytes o;
  o.header(static_cast<std::uint16_t>((kind << 4) | 2), kBse, 36 + 8 + blipLength);
  o.u8(kind);
  o.u8(kind);
  o.append(id);
  o.u16(0x00FF);
  o.u32(8 + blipLength);
  o.u32(references);
  o.u32(0); // no delay stream
  o.zeros(4);
  o.header(static_cast<std::uint16_t>(instance << 4), static_cast<std::uint16_t>(kBlipFirst + kind), blipLength);
  o.append(id);
  if (!metafile)
    o.u8(0xFF);
  o.append(data);
  return std::move(o.b);
}

struct SheetPlan {
  std::vector<const model::DrawingObject*> objects;
  std::uint32_t drawing = 0;      // 1-based
  std::uint32_t firstCluster = 0; // shape ids of cluster k are 1024 k to 1024 k + 1023
  std::uint32_t shapeId(size_t place) const { // place 0 is the group of the sheet's shapes
    return 1024u * (firstCluster + static_cast<std::uint32_t>(place / 1024)) + static_cast<std::uint32_t>(place % 1024);
  }
  std::uint32_t shapes() const { return static_cast<std::uint32_t>(objects.size()) + 1; }
  std::uint32_t clusters() const { return (shapes() + 1023) / 1024; }
};

} // namespace

struct WorkbookDrawingWriter::State {
  DrawingWriteContext ctx;
  std::vector<SheetPlan> sheets; // by sheet index; empty objects for none
  std::vector<const image::Picture*> pictures;
  std::vector<std::uint32_t> references;
  std::unordered_map<const image::Picture*, std::uint32_t> pictureNumber; // 1-based

  std::vector<std::uint8_t> properties(const model::DrawingObject& o) const {
    std::map<std::uint16_t, model::ShapeProperty> props;
    for (const model::ShapeProperty& p : o.properties)
      if (!(p.id & kPropPictureRef) || (p.id & kPropComplex))
        props[p.id & kPropIdMask] = p;
    auto set = [&](std::uint16_t id, std::uint32_t value) { props[id] = {id, value, {}}; };
    auto flags = [&](std::uint16_t id, std::uint32_t flag, std::uint32_t use, bool on) {
      const std::uint32_t old = props.count(id) ? props[id].value : 0;
      set(id, (old & ~(flag | use)) | use | (on ? flag : 0));
    };
    if (o.kind == model::kObjectChart || drawing::isControlKind(o.kind)) {
      if (o.properties.empty()) {
        set(0x007F, 0x01040104); // locked against grouping
        set(0x00BF, 0x00080008); // text fits the shape
        set(0x01BF, 0x00010000); // no fill hit test
        set(0x03BF, 0x00080000); // printable
      }
    } else {
      set(kPropFillColour, o.fillColour & 0x00FFFFFF);
      flags(kPropFillFlags, kFilled, kUseFilled, o.hasFill);
      set(kPropLineColour, o.lineColour & 0x00FFFFFF);
      if (o.lineWidth != 9525)
        set(kPropLineWidth, o.lineWidth);
      if (o.lineStyle)
        set(kPropLineDashing, o.lineStyle);
      if (o.startArrow)
        set(kPropLineStart, o.startArrow);
      if (o.endArrow)
        set(kPropLineEnd, o.endArrow);
      flags(kPropLineFlags, kLined, kUseLined, o.hasLine);
      if (const image::Picture* p = pictureOf(o))
        if (auto k = pictureNumber.find(p); k != pictureNumber.end())
          props[kPropPicture] = {static_cast<std::uint16_t>(kPropPicture | kPropPictureRef), k->second, {}};
      const auto fill = pictureNumber.find(drawing::fillPictureOf(o).get());
      if (fill != pictureNumber.end()) {
        props[kPropFillPicture] = {static_cast<std::uint16_t>(kPropFillPicture | kPropPictureRef), fill->second, {}};
        set(drawing::kPropFillType, static_cast<std::uint32_t>(drawing::pictureFillOf(o)));
      } else if (const auto k = props.find(drawing::kPropFillType);
                 k != props.end() && k->second.value >= 1 && k->second.value <= 3) {
        props.erase(k); // a picture fill without its picture: the colour
      }
      if (o.kind == model::kObjectComment) {
        if (!props.count(0x023F))
          set(0x023F, 0x00030003); // shadowed
        flags(kPropShapeFlags, kHidden, kUseHidden, !o.visible);
      }
    }
    Bytes table, complex;
    for (const auto& [id, p] : props) {
      const bool isComplex = (p.id & kPropComplex) != 0;
      table.u16(p.id);
      table.u32(isComplex ? static_cast<std::uint32_t>(p.data.size()) : p.value);
      if (isComplex)
        complex.append(p.data);
    }
    Bytes o2;
    o2.header(static_cast<std::uint16_t>((props.size() << 4) | 3), kOpt,
              static_cast<std::uint32_t>(table.b.size() + complex.b.size()));
    o2.append(table.b);
    o2.append(complex.b);
    return std::move(o2.b);
  }

  std::vector<std::uint8_t> shapeContainer(const model::DrawingObject& o, std::uint32_t spid) const {
    const std::vector<std::uint8_t> opt = properties(o);
    const std::uint16_t type = o.shapeType ? o.shapeType : defaultShapeType(o.kind);
    const std::uint32_t length = 16 + static_cast<std::uint32_t>(opt.size()) + 26 + 8;
    Bytes b;
    b.header(0x000F, kSpContainer, length + (writesText(o) ? 8 : 0));
    b.header(static_cast<std::uint16_t>((type << 4) | 2), kSp, 8);
    b.u32(spid);
    b.u32(kSpHaveAnchor | kSpHaveSpt | ((o.flip & 1) ? kSpFlipH : 0) | ((o.flip & 2) ? kSpFlipV : 0));
    b.append(opt);
    b.header(0x0000, kClientAnchor, 18);
    b.u16(placementFlags(o.placement));
    model::ObjectAnchor a = o.anchor;
    tidy(a);
    b.anchor(a);
    b.header(0x0000, kClientData, 0);
    return std::move(b.b);
  }

  std::vector<std::uint8_t> objRecord(const model::DrawingObject& o, std::uint16_t id, int sheet) const {
    Bytes b;
    b.u16(ftCmo);
    b.u16(18);
    b.u16(o.kind);
    b.u16(id);
    b.u16(o.kind == model::kObjectComment ? 0x4011 : 0x6011); // locked, printable, automatic fill and line
    b.zeros(12);
    if (o.kind == model::kObjectPicture) {
      b.u16(ftCf);
      b.u16(2);
      b.u16(0xFFFF);
      b.u16(ftPioGrbit);
      b.u16(2);
      b.u16(0x0001);
    } else if (o.kind == model::kObjectComment) {
      b.u16(ftNts);
      b.u16(22);
      b.zeros(22);
    }
    if (!o.macro.empty() && ctx.formulaTokens) {
      const std::vector<std::uint8_t> tokens = ctx.formulaTokens(o.macro, sheet);
      if (!tokens.empty() && tokens.size() < 4000) {
        // The sub-record's length is the formula's: token count, 4 reserved
        // bytes, tokens, padded to an even length.
        b.u16(ftMacro);
        b.u16(static_cast<std::uint16_t>(6 + tokens.size() + (tokens.size() & 1)));
        b.u16(static_cast<std::uint16_t>(tokens.size()));
        b.zeros(4);
        b.append(tokens);
        if (tokens.size() & 1)
          b.u8(0);
      }
    }
    bool ended = false;
    if (drawing::isControlKind(o.kind) && ctx.controlSubrecords) {
      const std::vector<std::uint8_t> extra = ctx.controlSubrecords(o);
      b.append(extra);
      ended = !extra.empty() && (o.kind == model::kObjectListBox || o.kind == model::kObjectComboBox);
    }
    if (!ended) {
      b.u16(ftEnd);
      b.u16(0);
    }
    return std::move(b.b);
  }

  void textRecords(const model::DrawingObject& o, std::vector<DrawingRecord>& out) const {
    Bytes box;
    box.header(0x0000, kClientTextbox, 0);
    out.push_back({rtMSODRAWING, std::move(box.b)});
    const std::u16string_view text = std::u16string_view(o.text).substr(0, 32767);
    const std::uint16_t font = ctx.fileFont ? ctx.fileFont(o.fontIndex) : o.fontIndex;
    Bytes txo;
    txo.u16(textFlags(o));
    txo.u16(o.textOrientation <= 3 ? o.textOrientation : 0);
    txo.zeros(6);
    txo.u16(static_cast<std::uint16_t>(text.size()));
    txo.u16(text.empty() ? 0 : 16);
    txo.u16(text.empty() ? font : 0);
    txo.u16(0);
    out.push_back({rtTXO, std::move(txo.b)});
    if (text.empty())
      return;
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    const size_t perRecord = wide ? 4111 : 8223;
    for (size_t at = 0; at < text.size(); at += perRecord) {
      Bytes t;
      t.u8(wide ? 1 : 0);
      for (char16_t ch : text.substr(at, perRecord)) {
        if (wide)
          t.u16(ch);
        else
          t.u8(static_cast<std::uint8_t>(ch));
      }
      out.push_back({rtCONTINUE, std::move(t.b)});
    }
    Bytes runs;
    runs.u16(0);
    runs.u16(font);
    runs.zeros(4);
    runs.u16(static_cast<std::uint16_t>(text.size()));
    runs.zeros(6);
    out.push_back({rtCONTINUE, std::move(runs.b)});
  }

  std::vector<DrawingRecord> biff5Chart(const model::DrawingObject& o, std::uint16_t id) const {
    Bytes b;
    b.u32(id);
    b.u16(model::kObjectChart);
    b.u16(id);
    b.u16(0x0614); // locked, printable, move and size with cells
    b.anchor(o.anchor);
    b.u16(0); // macro formula length
    b.u16(0);
    b.u32(0);
    for (std::uint8_t x : {0x09, 0x41, 0x01, 0x01}) // fill: background, foreground, pattern, automatic
      b.u8(x);
    for (std::uint8_t x : {0x08, 0x00, 0x00, 0x01}) // line: colour, style, weight, automatic
      b.u8(x);
    b.u16(0); // frame
    b.u16(0); // chart flags
    b.zeros(18); // up to where a name would start (62), and its empty macro
    DrawingRecord r{rtOBJ, std::move(b.b)};
    r.chartAfter = &o;
    return {std::move(r)};
  }

  std::uint8_t icv(std::uint32_t colour) const {
    if (!ctx.palette)
      return 8;
    int best = 8;
    long bestDistance = -1;
    for (int i = 8; i < 64; ++i) {
      const std::uint32_t p = (*ctx.palette)[static_cast<size_t>(i)];
      long d = 0;
      for (int shift : {0, 8, 16}) {
        const long x = static_cast<long>((p >> shift) & 0xFF) - static_cast<long>((colour >> shift) & 0xFF);
        d += x * x;
      }
      if (bestDistance < 0 || d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return static_cast<std::uint8_t>(best);
  }

  static std::uint8_t biff5LineWeight(std::uint32_t emus) {
    return emus < 6350 ? 0 : emus < 19050 ? 1 : emus < 31750 ? 2 : 3;
  }

  // An object's macro as Excel 95 holds it: token count, 4 unused bytes,
  // the tokens and a pad to even. Empty without one.
  std::vector<std::uint8_t> biff5Macro(const model::DrawingObject& o, int sheet) const {
    if (o.macro.empty() || !ctx.formulaTokens)
      return {};
    const std::vector<std::uint8_t> tokens = ctx.formulaTokens(o.macro, sheet);
    if (tokens.empty() || tokens.size() > 4000)
      return {};
    Bytes b;
    b.u16(static_cast<std::uint16_t>(tokens.size()));
    b.zeros(4);
    b.append(tokens);
    if (tokens.size() & 1)
      b.u8(0);
    return std::move(b.b);
  }

  // An Excel 95 OBJ of a drawn object, with IMDATA or COORDLIST after it.
  std::vector<DrawingRecord> biff5Object(const model::DrawingObject& o, std::uint16_t id, int sheet) const {
    if (o.kind == model::kObjectChart)
      return biff5Chart(o, id);
    std::vector<DrawingRecord> out;
    Bytes b;
    b.u32(id);
    b.u16(o.kind);
    b.u16(id);
    b.u16(0x0614); // locked, printable, move and size with cells
    model::ObjectAnchor a = o.anchor;
    tidy(a);
    b.anchor(a);
    b.u16(0); // no macro
    b.zeros(6);
    const std::uint8_t lineStyle = o.hasLine ? std::min<std::uint8_t>(o.lineStyle, 4) : 0xFF;
    if (o.kind == model::kObjectLine) {
      b.u8(icv(o.lineColour));
      b.u8(lineStyle);
      b.u8(biff5LineWeight(o.lineWidth));
      b.u8(0);
      // Excel 95 lines carry one head, at their end: a line with a head at
      // its start only is written running the other way.
      const bool reversed = o.endArrow == model::kLineEndNone && o.startArrow != model::kLineEndNone;
      const std::uint8_t head = reversed ? o.startArrow : o.endArrow;
      const std::uint16_t arrow = head == model::kLineEndNone ? 0 : head == model::kLineEndOpen ? 1 : 2;
      b.u16(static_cast<std::uint16_t>(arrow | (arrow ? 0x0014 : 0))); // medium width and length
      static constexpr std::uint8_t kQuadrant[4] = {0, 1, 3, 2};
      b.u8(kQuadrant[(reversed ? o.flip ^ 3 : o.flip) & 3]);
      b.u8(0);
    } else {
      b.u8(9); // pattern background: white
      // Excel 95 fills with colours and patterns only: a picture fill
      // becomes the colour the picture shows on the whole.
      const auto fillPicture = drawing::fillPictureOf(o);
      b.u8(icv(fillPicture ? drawing::averageColour(*fillPicture) : o.fillColour));
      b.u8(o.hasFill ? 1 : 0);
      b.u8(0);
      b.u8(icv(o.lineColour));
      b.u8(lineStyle);
      b.u8(biff5LineWeight(o.lineWidth));
      b.u8(0);
      b.u16(0); // frame
    }
    std::string text;
    const image::Picture* picture = pictureOf(o);
    std::optional<std::vector<std::uint8_t>> wmf;
    if (picture && picture->kind == image::PictureKind::Wmf)
      wmf = image::unpackMetafile(picture->kind, picture->bytes);
    const bool metafile = wmf && isWmfStart(*wmf);
    if (o.kind == model::kObjectTextBox || o.kind == model::kObjectButton || o.kind == model::kObjectLabel) {
      text = ctx.narrowText ? ctx.narrowText(o.text) : std::string(o.text.begin(), o.text.end());
      text.resize(std::min<size_t>(text.size(), 8000));
      b.u16(static_cast<std::uint16_t>(text.size()));
      b.u16(0);
      b.u16(text.empty() ? 0 : 16);
      b.u16(ctx.fileFont ? ctx.fileFont(o.fontIndex) : o.fontIndex);
      b.u16(0);
      b.u16(textFlags(o));
      b.u16(o.textOrientation <= 3 ? o.textOrientation : 0);
      b.zeros(12);
    } else if (o.kind == model::kObjectPicture) {
      b.u16(metafile ? 2 : 9); // clipboard format: metafile or bitmap
      b.zeros(14);
    } else if (o.kind == model::kObjectPolygon) {
      b.zeros(22);
    } else if (drawing::isControlKind(o.kind) && ctx.biff5ControlFields) {
      // Controls are named, as Excel 95 names every object; readers expect it.
      const std::string name = "Control " + std::to_string(id);
      if (std::vector<std::uint8_t> fields = ctx.biff5ControlFields(o, textFlags(o), name); !fields.empty()) {
        b.b[30] = static_cast<std::uint8_t>(name.size());
        b.append(fields);
        out.push_back({rtOBJ, std::move(b.b)});
        return out;
      }
    }
    // The macro where a name would start (objects here are unnamed), its
    // length, pad byte included, in the fixed part.
    if (const std::vector<std::uint8_t> macro = biff5Macro(o, sheet); !macro.empty()) {
      b.b[26] = static_cast<std::uint8_t>(macro.size());
      b.b[27] = static_cast<std::uint8_t>(macro.size() >> 8);
      b.append(macro);
    }
    if (!text.empty()) {
      for (char ch : text)
        b.u8(static_cast<std::uint8_t>(ch));
      if (b.b.size() & 1)
        b.u8(0);
      b.u16(0);
      b.u16(ctx.fileFont ? ctx.fileFont(o.fontIndex) : o.fontIndex);
      b.zeros(4);
      b.u16(static_cast<std::uint16_t>(text.size()));
      b.zeros(6);
    } else {
      b.zeros(2); // where the name and the macro formula would start
    }
    out.push_back({rtOBJ, std::move(b.b)});
    if (metafile) {
      // Mapping mode (anisotropic), extents in 0.01 mm, no handle; then the metafile.
      int w = 100, h = 100;
      if (const auto size = image::metafileSize(picture->kind, picture->bytes)) {
        w = size->width;
        h = size->height;
      }
      Bytes im;
      im.u16(2);
      im.u16(1);
      im.u32(static_cast<std::uint32_t>(8 + wmf->size()));
      im.u16(8);
      im.u16(static_cast<std::uint16_t>(std::clamp(w * 2646 / 100, 1, 65535)));
      im.u16(static_cast<std::uint16_t>(std::clamp(h * 2646 / 100, 1, 65535)));
      im.u16(0);
      im.append(*wmf);
      out.push_back({rtIMDATA, std::move(im.b)});
    } else if (const image::Picture* p = picture; p && !p->bitmap.pixels.empty()) {
      // Excel 95 holds pictures as 24-bit bitmaps.
      const platform::Bitmap& bm = p->bitmap;
      const size_t stride = (static_cast<size_t>(bm.width) * 3 + 3) & ~size_t{3};
      Bytes im;
      im.u16(9);
      im.u16(1);
      im.u32(static_cast<std::uint32_t>(12 + stride * static_cast<size_t>(bm.height)));
      im.u32(12);
      im.u16(static_cast<std::uint16_t>(bm.width));
      im.u16(static_cast<std::uint16_t>(bm.height));
      im.u16(1);
      im.u16(24);
      for (int y = bm.height - 1; y >= 0; --y) {
        const size_t start = im.b.size();
        for (int x = 0; x < bm.width; ++x) {
          const std::uint32_t px = bm.pixels[static_cast<size_t>(y) * static_cast<size_t>(bm.width) + static_cast<size_t>(x)];
          im.u8(static_cast<std::uint8_t>(px));
          im.u8(static_cast<std::uint8_t>(px >> 8));
          im.u8(static_cast<std::uint8_t>(px >> 16));
        }
        im.zeros(stride - (im.b.size() - start));
      }
      im.u8(0); // past the counted bytes: some readers want the record longer than the bitmap
      out.push_back({rtIMDATA, std::move(im.b)});
    }
    if (o.kind == model::kObjectPolygon)
      if (std::vector<std::uint8_t> points = polygonPoints(o); !points.empty())
        out.push_back({rtCOORDLIST, std::move(points)});
    return out;
  }

  // The vertices of a polygon scaled to 0..0x4000 across its frame.
  static std::vector<std::uint8_t> polygonPoints(const model::DrawingObject& o) {
    std::uint32_t right = 21600, bottom = 21600;
    const model::ShapeProperty* vertices = nullptr;
    for (const model::ShapeProperty& p : o.properties) {
      const std::uint16_t id = p.id & kPropIdMask;
      if (id == kPropGeoRight && p.value)
        right = p.value;
      else if (id == kPropGeoBottom && p.value)
        bottom = p.value;
      else if (id == kPropVertices && (p.id & kPropComplex))
        vertices = &p;
    }
    if (!vertices || vertices->data.size() < 6)
      return {};
    const std::vector<std::uint8_t>& v = vertices->data;
    const size_t count = static_cast<size_t>(v[0] | (v[1] << 8));
    const std::uint16_t size = static_cast<std::uint16_t>(v[4] | (v[5] << 8));
    const size_t each = size == 0xFFF0 ? 4 : size;
    if (each != 4 && each != 8)
      return {};
    Bytes out;
    for (size_t i = 0; i < count && 6 + (i + 1) * each <= v.size() && i < 2000; ++i) {
      const size_t at = 6 + i * each;
      std::int64_t x, y;
      if (each == 4) {
        x = v[at] | (v[at + 1] << 8);
        y = v[at + 2] | (v[at + 3] << 8);
      } else {
        x = static_cast<std::int32_t>(u32At(v, at));
        y = static_cast<std::int32_t>(u32At(v, at + 4));
      }
      out.u16(static_cast<std::uint16_t>(std::clamp<std::int64_t>(x * 0x4000 / right, 0, 0x4000)));
      out.u16(static_cast<std::uint16_t>(std::clamp<std::int64_t>(y * 0x4000 / bottom, 0, 0x4000)));
    }
    return std::move(out.b);
  }

  // Excel 95 comments: NOTE records alone, long texts going on in NOTE
  // records whose row is 0xFFFF.
  void biff5Note(const model::DrawingObject& o, std::vector<DrawingRecord>& out) const {
    // Whole characters only, in the 32,767-byte cap and in each piece: other
    // readers decode every piece on its own.
    std::string text;
    std::vector<size_t> ends; // the byte after each character
    const std::u16string_view whole = o.text;
    for (size_t i = 0; i < whole.size();) {
      const size_t units = i + 1 < whole.size() && whole[i] >= 0xD800 && whole[i] < 0xDC00 ? 2 : 1;
      const std::u16string_view ch = whole.substr(i, units);
      const std::string bytes = ctx.narrowText ? ctx.narrowText(ch) : std::string(1, static_cast<char>(ch[0]));
      if (text.size() + bytes.size() > 32767)
        break;
      text += bytes;
      ends.push_back(text.size());
      i += units;
    }
    size_t at = 0;
    do {
      const auto last = std::upper_bound(ends.begin(), ends.end(), at + 2048);
      const size_t n = last == ends.begin() ? 0 : *(last - 1) - at;
      Bytes b;
      b.u16(at == 0 ? o.row : 0xFFFF);
      b.u16(at == 0 ? o.column : 0);
      b.u16(static_cast<std::uint16_t>(at == 0 ? text.size() : n));
      for (size_t i = 0; i < n; ++i)
        b.u8(static_cast<std::uint8_t>(text[at + i]));
      out.push_back({rtNOTE, std::move(b.b)});
      at += n;
    } while (at < text.size());
  }

  std::vector<DrawingRecord> sheetRecords(int index) const {
    std::vector<DrawingRecord> out;
    if (index < 0 || static_cast<size_t>(index) >= sheets.size())
      return out;
    const SheetPlan& plan = sheets[static_cast<size_t>(index)];
    if (plan.objects.empty())
      return out;
    if (ctx.version != 8) {
      std::uint16_t id = 0;
      for (const model::DrawingObject* o : plan.objects)
        if (o->kind != model::kObjectComment)
          for (DrawingRecord& r : biff5Object(*o, ++id, index))
            out.push_back(std::move(r));
      for (const model::DrawingObject* o : plan.objects)
        if (o->kind == model::kObjectComment)
          biff5Note(*o, out);
      return out;
    }
    std::vector<std::vector<std::uint8_t>> shapes;
    std::uint32_t total = 0;
    for (size_t i = 0; i < plan.objects.size(); ++i) {
      shapes.push_back(shapeContainer(*plan.objects[i], plan.shapeId(i + 1)));
      total += static_cast<std::uint32_t>(shapes.back().size()) + (writesText(*plan.objects[i]) ? 8 : 0);
    }
    const std::uint32_t groupShape = 8 + 8 + 16 + 8 + 8;
    const std::uint32_t spgrLength = groupShape + total;
    Bytes first;
    first.header(0x000F, kDgContainer, 8 + 8 + 8 + spgrLength);
    first.header(static_cast<std::uint16_t>(plan.drawing << 4), kDg, 8);
    first.u32(plan.shapes());
    first.u32(plan.shapeId(plan.objects.size()));
    first.header(0x000F, kSpgrContainer, spgrLength);
    first.header(0x000F, kSpContainer, groupShape - 8);
    first.header(0x0001, kSpgr, 16);
    first.zeros(16);
    first.header(0x0002, kSp, 8);
    first.u32(plan.shapeId(0));
    first.u32(kSpGroup | kSpPatriarch);
    std::vector<std::pair<const model::DrawingObject*, std::uint16_t>> notes;
    for (size_t i = 0; i < plan.objects.size(); ++i) {
      const model::DrawingObject& o = *plan.objects[i];
      const auto id = static_cast<std::uint16_t>(i + 1);
      std::vector<std::uint8_t> body;
      if (i == 0)
        body = std::move(first.b);
      body.insert(body.end(), shapes[i].begin(), shapes[i].end());
      out.push_back({rtMSODRAWING, std::move(body)});
      out.push_back({rtOBJ, objRecord(o, id, index)});
      if (o.kind == model::kObjectChart)
        out.back().chartAfter = &o;
      if (writesText(o))
        textRecords(o, out);
      if (o.kind == model::kObjectComment)
        notes.emplace_back(&o, id);
    }
    for (const auto& [o, id] : notes) {
      Bytes n;
      n.u16(o->row);
      n.u16(o->column);
      n.u16(o->visible ? 0x0002 : 0);
      n.u16(id);
      const std::u16string_view author = std::u16string_view(o->author).substr(0, 255);
      const bool wide = std::any_of(author.begin(), author.end(), [](char16_t c) { return c > 0xFF; });
      n.u16(static_cast<std::uint16_t>(author.size()));
      n.u8(wide ? 1 : 0);
      for (char16_t ch : author) {
        if (wide)
          n.u16(ch);
        else
          n.u8(static_cast<std::uint8_t>(ch));
      }
      n.u8(0);
      out.push_back({rtNOTE, std::move(n.b)});
    }
    return out;
  }

  std::vector<DrawingRecord> groupRecords() const {
    std::vector<std::uint32_t> fidcl; // per cluster: drawing, ids used
    std::uint32_t saved = 0, drawings = 0, spidMax = 0;
    for (const SheetPlan& p : sheets) {
      if (p.objects.empty())
        continue;
      ++drawings;
      saved += p.shapes();
      for (std::uint32_t k = 0; k < p.clusters(); ++k) {
        fidcl.push_back(p.drawing);
        fidcl.push_back(std::min<std::uint32_t>(1024, p.shapes() - 1024 * k));
      }
      spidMax = p.shapeId(p.objects.size()) + 1;
    }
    if (drawings == 0 || ctx.version != 8)
      return {};
    Bytes store;
    for (size_t i = 0; i < pictures.size(); ++i)
      store.append(storeEntry(*pictures[i], references[i]));
    const std::uint32_t dggLength = 16 + 4 * static_cast<std::uint32_t>(fidcl.size());
    const std::uint32_t storeLength = pictures.empty() ? 0 : 8 + static_cast<std::uint32_t>(store.b.size());
    Bytes o;
    o.header(0x000F, kDggContainer, 8 + dggLength + storeLength + 8 + 18 + 8 + 16);
    o.header(0x0000, kDgg, dggLength);
    o.u32(spidMax);
    o.u32(static_cast<std::uint32_t>(fidcl.size() / 2) + 1);
    o.u32(saved);
    o.u32(drawings);
    for (std::uint32_t v : fidcl)
      o.u32(v);
    if (!pictures.empty()) {
      o.header(static_cast<std::uint16_t>((pictures.size() << 4) | 0x0F), kBstoreContainer,
               static_cast<std::uint32_t>(store.b.size()));
      o.append(store.b);
    }
    o.header(0x0033, kOpt, 18);
    o.u16(0x00BF);
    o.u32(0x00080008);
    o.u16(0x0181);
    o.u32(0x08000009);
    o.u16(0x01C0);
    o.u32(0x08000040);
    o.header(0x0040, kSplitMenuColours, 16);
    for (std::uint32_t c : {0x0800000Du, 0x0800000Cu, 0x08000017u, 0x100000F7u})
      o.u32(c);
    return {{rtMSODRAWINGGROUP, std::move(o.b)}};
  }
};

WorkbookDrawingWriter::WorkbookDrawingWriter(const std::vector<const model::Sheet*>& sheets,
                                             DrawingWriteContext ctx)
    : m(std::make_unique<State>()) {
  m->ctx = std::move(ctx);
  std::uint32_t drawing = 0, cluster = 1;
  for (const model::Sheet* s : sheets) {
    SheetPlan plan;
    if (s && s->kind == model::SheetKind::Worksheet)
      for (const model::DrawingObject& o : s->objects)
        if (isWrittenObject(o, m->ctx.version) && plan.objects.size() < 65534)
          plan.objects.push_back(&o);
    if (!plan.objects.empty()) {
      plan.drawing = ++drawing;
      plan.firstCluster = cluster;
      cluster += plan.clusters();
      for (const model::DrawingObject* o : plan.objects)
        for (const image::Picture* p : {pictureOf(*o), drawing::fillPictureOf(*o).get()}) {
          if (!p)
            continue;
          auto [k, added] = m->pictureNumber.emplace(p, static_cast<std::uint32_t>(m->pictures.size() + 1));
          if (added) {
            m->pictures.push_back(p);
            m->references.push_back(0);
          }
          ++m->references[k->second - 1];
        }
    }
    m->sheets.push_back(std::move(plan));
  }
}
WorkbookDrawingWriter::~WorkbookDrawingWriter() = default;
std::vector<DrawingRecord> WorkbookDrawingWriter::groupRecords() const { return m->groupRecords(); }
std::vector<DrawingRecord> WorkbookDrawingWriter::sheetRecords(int index) const { return m->sheetRecords(index); }

} // namespace biff
