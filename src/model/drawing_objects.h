#pragma once
// The objects floating over a sheet's cells: shapes, text boxes, pictures,
// comments, form controls, embedded charts and the AutoFilter arrows. Each
// sheet keeps them in one list in drawing order (later objects lie on top);
// the grid hit-tests them in reverse order and paints them in order. An
// object is anchored to two cell corners, so it follows its cells when rows
// and columns change size; pixel rectangles are computed from the anchor
// when needed and never stored.
//
// What a kind adds beyond the common record (a chart's model, a control's
// state, a picture's bytes) lives in its payload, which the kind's own module
// defines; the model only copies and frees it.

#include "model/cell_range.h"
#include "platform/canvas.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace model {

struct Sheet;
struct PixelScale;

/// Object kinds, numbered as the binary workbook format numbers them.
enum ObjectKind : std::uint16_t {
  kObjectGroup = 0,
  kObjectLine = 1,
  kObjectRectangle = 2,
  kObjectOval = 3,
  kObjectArc = 4,
  kObjectChart = 5,
  kObjectTextBox = 6,
  kObjectButton = 7,
  kObjectPicture = 8,
  kObjectPolygon = 9,
  kObjectCheckBox = 11,
  kObjectOptionButton = 12,
  kObjectLabel = 14,
  kObjectSpinner = 16,
  kObjectScrollBar = 17,
  kObjectListBox = 18,
  kObjectGroupBox = 19,
  kObjectComboBox = 20,
  kObjectComment = 25,
  kObjectOfficeShape = 30,
};

/// How an object follows its cells.
enum class ObjectPlacement : std::uint8_t {
  MoveAndSize = 1, // "大小、位置随单元格而变"
  MoveOnly = 2,    // "大小固定，位置随单元格而变"
  Fixed = 3,       // "大小、位置均固定"
};

/// One corner: a column with an offset in 1/1024 of its width and a row with
/// an offset in 1/256 of its height.
struct AnchorCorner {
  std::uint16_t column = 0;
  std::uint16_t columnOffset = 0; // 0-1023
  std::uint16_t row = 0;
  std::uint16_t rowOffset = 0;    // 0-255
  friend bool operator==(const AnchorCorner&, const AnchorCorner&) = default;
};

struct ObjectAnchor {
  AnchorCorner first;
  AnchorCorner last;
  friend bool operator==(const ObjectAnchor&, const ObjectAnchor&) = default;
};

/// What a kind keeps beyond the common record. The module of the kind
/// derives from it; copies of objects (undo, clipboard, copying a sheet)
/// clone it.
class ObjectPayload {
public:
  virtual ~ObjectPayload() = default;
  virtual std::unique_ptr<ObjectPayload> clone() const = 0;
  /// Hands each reference or formula text the payload keeps (a control's
  /// linked cell and input range, a chart's series formulas) to `fn`, which
  /// may rewrite it in place when cells move. A text is either formula text
  /// (starting with "=") or a bare reference.
  virtual void forEachReference(const std::function<void(std::u16string&)>& fn) { (void)fn; }
};

/// Owns a payload and copies it deeply.
class PayloadHolder {
public:
  PayloadHolder() = default;
  explicit PayloadHolder(std::unique_ptr<ObjectPayload> p) : m_payload(std::move(p)) {}
  PayloadHolder(const PayloadHolder& o) : m_payload(o.m_payload ? o.m_payload->clone() : nullptr) {}
  PayloadHolder(PayloadHolder&&) noexcept = default;
  PayloadHolder& operator=(const PayloadHolder& o) {
    if (this != &o)
      m_payload = o.m_payload ? o.m_payload->clone() : nullptr;
    return *this;
  }
  PayloadHolder& operator=(PayloadHolder&&) noexcept = default;
  ObjectPayload* get() const { return m_payload.get(); }
  void reset(std::unique_ptr<ObjectPayload> p = nullptr) { m_payload = std::move(p); }

private:
  std::unique_ptr<ObjectPayload> m_payload;
};

/// A property of the office drawing format that the fields of an object do
/// not hold, kept as read and written back.
struct ShapeProperty {
  std::uint16_t id = 0;    // the property in bits 0-13; 0x8000: `data` holds its complex bytes
  std::uint32_t value = 0; // complex properties: the size of `data`
  std::vector<std::uint8_t> data;
  friend bool operator==(const ShapeProperty&, const ShapeProperty&) = default;
};

/// Line ends of the office drawing format.
enum LineEnd : std::uint8_t { kLineEndNone = 0, kLineEndTriangle, kLineEndStealth, kLineEndDiamond, kLineEndOval, kLineEndOpen };

/// Text placement in an object's box, as the TXO record numbers it.
enum TextAlign : std::uint8_t {
  kTextAlignLeft = 1, kTextAlignCentre = 2, kTextAlignRight = 3, kTextAlignJustify = 4, kTextAlignDistributed = 7,
  kTextAlignTop = 1, kTextAlignMiddle = 2, kTextAlignBottom = 3,
};

struct DrawingObject {
  std::uint16_t kind = kObjectRectangle;
  ObjectPlacement placement = ObjectPlacement::MoveAndSize;
  ObjectAnchor anchor;
  std::uint16_t fontIndex = 0;
  std::u16string text; // text boxes, buttons, labels, comments
  /// Where the text sits in the box, numbered as the TXO record numbers
  /// them: across 1 left, 2 centre, 3 right, 4 justify, 7 distributed;
  /// down 1 top, 2 middle, 3 bottom, 4 justify, 7 distributed.
  std::uint8_t textAlign = kTextAlignLeft;
  std::uint8_t textVerticalAlign = kTextAlignTop;
  /// 0 across, 1 stacked, 2 turned left, 3 turned right; kept for the file.
  std::uint8_t textOrientation = 0;
  bool hasLine = true;
  std::uint32_t lineColour = 0x000000; // 0x00BBGGRR
  bool hasFill = true;
  std::uint32_t fillColour = 0xFFFFFF;
  /// The office drawing format's shape type (1 rectangle, 3 oval, 19 arc,
  /// 20 line, 75 picture, 201 control, 202 text box, any preset shape for
  /// kind 30); 0 when the kind alone says what to draw.
  std::uint16_t shapeType = 0;
  /// Bit 0: flipped left to right, bit 1: upside down. A line runs from the
  /// top-left to the bottom-right corner of its rectangle unless flipped.
  std::uint8_t flip = 0;
  std::uint8_t lineStyle = 0;     // 0 solid, 1 dashed, 2 dotted, 3 dash-dot, 4 dash-dot-dot, as the format numbers them
  std::uint32_t lineWidth = 9525; // in EMUs, 12,700 to the point
  std::uint8_t startArrow = kLineEndNone; // "始端样式："
  std::uint8_t endArrow = kLineEndNone;   // "末端样式："
  /// Other properties read from a file (vertices of a polygon, a shape's
  /// name, text margins, ...), written back as they came.
  std::vector<ShapeProperty> properties;
  /// Comments: the cell they belong to; shown only as a pop-up unless `visible`.
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  bool visible = false;
  std::u16string author; // comments: who wrote it
  /// AutoFilter arrows: a combo box owned by the filter, for one column of its range.
  bool filterArrow = false;
  /// The reference of the macro assigned to the object (empty for none).
  std::u16string macro;
  PayloadHolder payload;
};

/// Whether the grid hit-tests the object: everything but hidden comments,
/// which show as the cell's corner mark and a pop-up.
bool isHitTestable(const DrawingObject& object);

/// The object's rectangle in sheet pixels (from the top left of A1) at the
/// scale. Corners are taken in order, so a reversed anchor still gives a
/// rectangle with left <= right and top <= bottom.
platform::Rect anchorToPixels(const Sheet& sheet, const ObjectAnchor& anchor, const PixelScale& scale);
/// The anchor whose corners lie at the rectangle's corners (sheet pixels,
/// clamped to the sheet).
ObjectAnchor pixelsToAnchor(const Sheet& sheet, const platform::Rect& rect, const PixelScale& scale);

/// Moves an object by a pixel offset, keeping its size, and anchors it again.
void moveObjectBy(Sheet& sheet, int index, int dx, int dy, const PixelScale& scale);

/// The pixel rectangles of all objects (sheet pixels at the scale), taken
/// before rows or columns change size so that objects that do not size (or
/// do not move) with their cells can keep their pixels afterwards.
std::vector<platform::Rect> objectPixelRects(const Sheet& sheet, const PixelScale& scale);
/// After rows or columns changed size: objects that move but keep their
/// size get their second corner from the first and their old size; fixed
/// objects get both corners from their old rectangle. `before` comes from
/// objectPixelRects on the same list.
void keepObjectPlacement(Sheet& sheet, const std::vector<platform::Rect>& before, const PixelScale& scale);

/// The index of the comment of a cell, or -1.
int commentAt(const Sheet& sheet, int row, int column);

} // namespace model
