#pragma once
// Drawing records of binary workbooks: the office drawing records inside
// MSODRAWINGGROUP (globals: the picture store) and MSODRAWING (sheets: one
// shape container per object), the OBJ record that follows each shape, the
// TXO record with an object's text, NOTE records tying comments to cells,
// and the older OBJ layout of Excel 95 with IMDATA and COORDLIST. This module
// is the one home of those records: the workbook reader hands it the records
// of a sheet in order and the writer asks it for the records to emit.
//
// Control-specific OBJ sub-records (check-box state, scroll values, list
// data, links) are not read here: a parsed OBJ keeps all its sub-records so
// the control module can read them through `DrawingReadContext::controlData`,
// and writes them back through `DrawingWriteContext::controlSubrecords`.

#include "fileformats/image/picture.h"
#include "model/drawing_objects.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace model {
struct Sheet;
}

namespace biff {

inline constexpr std::uint16_t rtMSODRAWINGGROUP = 0x00EB;
inline constexpr std::uint16_t rtMSODRAWING = 0x00EC;
inline constexpr std::uint16_t rtOBJ = 0x005D;
inline constexpr std::uint16_t rtTXO = 0x01B6;
inline constexpr std::uint16_t rtNOTE = 0x001C;
inline constexpr std::uint16_t rtIMDATA = 0x007F;
inline constexpr std::uint16_t rtCOORDLIST = 0x00A9;

// OBJ sub-record types.
inline constexpr std::uint16_t ftEnd = 0x0000;
inline constexpr std::uint16_t ftMacro = 0x0004;
inline constexpr std::uint16_t ftCf = 0x0007;
inline constexpr std::uint16_t ftPioGrbit = 0x0008;
inline constexpr std::uint16_t ftNts = 0x000D;
inline constexpr std::uint16_t ftLbsData = 0x0013;
inline constexpr std::uint16_t ftCmo = 0x0015;

/// The pictures of a workbook's picture store by their 0-based place; an
/// entry without picture bytes (or with a kind not read) is an empty slot,
/// so that later pictures keep their numbers.
using PictureStore = std::vector<std::shared_ptr<const image::Picture>>;

/// Reads the picture store from the drawing group's body (MSODRAWINGGROUP
/// joined with its CONTINUE records). At most kMaxStoredPictures entries.
PictureStore readPictureStore(std::span<const std::uint8_t> body);
inline constexpr size_t kMaxStoredPictures = 65535;

/// One sub-record of a BIFF8 OBJ record, a view into the record's body.
struct ObjSubrecord {
  std::uint16_t ft = 0;
  std::span<const std::uint8_t> body;
};

/// A BIFF8 OBJ record: the common object data and every other sub-record in
/// file order (the end sub-record excluded). Sub-records whose length runs
/// past the body end the list; list data takes the rest of the body, as its
/// length field is not to be trusted.
struct ObjRecord {
  std::uint16_t type = 0xFFFF; // object type (model::ObjectKind); 0xFFFF when unreadable
  std::uint16_t id = 0;
  std::uint16_t flags = 0;
  std::vector<ObjSubrecord> subrecords;
  const ObjSubrecord* find(std::uint16_t ft) const;
};
ObjRecord parseObjRecord(std::span<const std::uint8_t> body);

/// Whether a record body starts with an office drawing record: drawing
/// bytes that other writers put in a CONTINUE record after an OBJ or TXO.
bool startsDrawingRecord(std::span<const std::uint8_t> body);

/// The tokens of an OBJ formula sub-record's body (token count, 4 reserved
/// bytes, tokens, padding): empty when there are none. Formulas inside list
/// data have a length of their own in front, which the sub-records' length
/// field stands for elsewhere.
std::span<const std::uint8_t> objFormulaTokens(std::span<const std::uint8_t> field);

/// What the sheet's drawing reader needs from the workbook reader.
struct DrawingReadContext {
  int version = 8; // 8 for Excel 97 records, else Excel 95's
  const PictureStore* pictures = nullptr;
  const std::array<std::uint32_t, 64>* palette = nullptr;
  /// Formula text of formula tokens of an object (its macro); may be unset.
  std::function<std::u16string(std::span<const std::uint8_t> tokens)> formulaText;
  /// Text in the workbook's code page (Excel 95 text); may be unset.
  std::function<std::u16string(std::span<const std::uint8_t> bytes)> narrowText;
  /// Reads the control-specific sub-records of a control's OBJ into the
  /// object (its payload); may be unset.
  std::function<void(const ObjRecord& obj, model::DrawingObject& object)> controlData;
  /// Reads a control's fields from a whole Excel 95 OBJ body into the
  /// object; may be unset.
  std::function<void(std::span<const std::uint8_t> body, model::DrawingObject& object)> biff5ControlData;
};

/// Reads the drawing records of one sheet into its object list, in the order
/// the records come. Objects are added to the sheet as their OBJ record is
/// read (a chart's object is added by the reader of its substream); comments
/// join their NOTE records at `finish`, and a comment without one is dropped.
class SheetDrawingReader {
public:
  SheetDrawingReader(model::Sheet& sheet, DrawingReadContext ctx);
  ~SheetDrawingReader();
  SheetDrawingReader(const SheetDrawingReader&) = delete;
  SheetDrawingReader& operator=(const SheetDrawingReader&) = delete;

  /// MSODRAWING, or a CONTINUE record right after one.
  void drawing(std::span<const std::uint8_t> body);
  void obj(std::span<const std::uint8_t> body);
  /// TXO and the CONTINUE records that follow it (text, then formatting
  /// runs): returns how many of them belong to the TXO. Drawing records
  /// may follow in CONTINUE records of their own.
  size_t text(std::span<const std::uint8_t> txo, const std::vector<std::span<const std::uint8_t>>& continues);
  void note(std::span<const std::uint8_t> body);
  /// Excel 95 pictures and polygon points, for the last object read.
  void imageData(std::span<const std::uint8_t> body);
  void coordinates(std::span<const std::uint8_t> body);
  /// The anchor of the chart whose OBJ was read last, once; nullopt when
  /// the chart had no shape.
  std::optional<model::ObjectAnchor> takeChartAnchor();
  bool chartPending() const;
  void finish();

private:
  struct State;
  std::unique_ptr<State> m;
};

/// What the drawing writer needs from the workbook writer.
struct DrawingWriteContext {
  int version = 8;
  /// The workbook palette, for Excel 95's colour indexes; may be unset.
  const std::array<std::uint32_t, 64>* palette = nullptr;
  /// The file's font index of a model font index.
  std::function<std::uint16_t(std::uint16_t)> fileFont;
  /// Text in the workbook's code page (Excel 95 text); may be unset.
  std::function<std::string(std::u16string_view)> narrowText;
  /// The tokens of an object's formula text (its macro) on sheet `sheet`;
  /// may be unset.
  std::function<std::vector<std::uint8_t>(std::u16string_view text, int sheet)> formulaTokens;
  /// The control-specific OBJ sub-records of a control, written after the
  /// common data; list boxes and drop-downs end with their list data, so no
  /// end sub-record follows them. May be unset.
  std::function<std::vector<std::uint8_t>(const model::DrawingObject& object)> controlSubrecords;
  /// An Excel 95 control's fields after the frame, given the caption's
  /// alignment word; empty for kinds without any. May be unset.
  std::function<std::vector<std::uint8_t>(const model::DrawingObject& object, std::uint16_t textFlags,
                                          std::string_view name)>
      biff5ControlFields;
};

/// One record as the writer should emit it; a body longer than a record
/// holds goes on in CONTINUE records.
struct DrawingRecord {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> body;
  /// Where an embedded chart's substream goes: after this record.
  const model::DrawingObject* chartAfter = nullptr;
};

/// Whether the writer writes the object (AutoFilter arrows are made again
/// from the filter itself; objects of unknown kinds are left out; Excel 95
/// files hold no shapes of the drawing format).
bool isWrittenObject(const model::DrawingObject& object, int version);

/// What an Excel 95 file loses of an object, for the Save As question.
enum Biff5Loss : unsigned {
  kBiff5LosesNothing = 0,
  kBiff5LosesShape = 1,         // shapes of the drawing format: left out
  kBiff5LosesStartArrow = 2,    // a line with heads at both ends keeps the end's
  kBiff5LosesPictureFormat = 4, // JPEG, PNG and EMF pictures become bitmaps
  kBiff5LosesPictureFill = 8,   // shapes filled with a picture: filled with its average colour
};
unsigned biff5Losses(const model::DrawingObject& object);

/// The drawing records of a workbook being written: the picture store and
/// shape numbering are planned for all sheets at once.
class WorkbookDrawingWriter {
public:
  WorkbookDrawingWriter(const std::vector<const model::Sheet*>& sheets, DrawingWriteContext ctx);
  ~WorkbookDrawingWriter();
  /// The drawing group of the globals; none when no sheet has objects.
  std::vector<DrawingRecord> groupRecords() const;
  /// The objects of sheet `index` with their OBJ, TXO and NOTE records; a
  /// record with `chartAfter` set is to be followed by that chart's substream.
  std::vector<DrawingRecord> sheetRecords(int index) const;

private:
  struct State;
  std::unique_ptr<State> m;
};

/// Decodes a colour of the drawing format (0x00BBGGRR with flags in the
/// high byte: palette and scheme indexes address the workbook palette,
/// system colours give `automatic`).
std::uint32_t decodeDrawingColour(std::uint32_t value, const std::array<std::uint32_t, 64>& palette,
                                  std::uint32_t automatic);

} // namespace biff
