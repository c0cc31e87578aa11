#include "fileformats/pocket/pocket.h"

#include "fileformats/biff/byte_cursor.h"
#include "fileformats/biff/formula_tokens.h"
#include "fileformats/biff/records.h"
#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/cell_store.h"
#include "model/sheet.h"
#include "numfmt/builtin_formats.h"
#include "numfmt/number_format.h"
#include "platform/files.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <utility>

namespace pocket {

namespace {

using biff::ByteCursor;

/// One built-in file number format: a workbook format index, or (index -1)
/// a code that is registered in the workbook when a file uses it.
struct FileFormat {
  std::int16_t workbookIndex;
  std::u16string_view code;
};

// The row's position is its file index.
// clang-format off
constexpr FileFormat kFileFormats[] = {
  { 0, {}},                                   //  0
  { 2, {}},                                   //  1
  {-1, u"0.00_);(0.00)"},                     //  2
  { 4, {}},                                   //  3
  {39, {}},                                   //  4
  { 3, {}},                                   //  5
  {37, {}},                                   //  6
  { 1, {}},                                   //  7
  {-1, u"0_);(0)"},                           //  8
  {-1, u"\"$\"#,##0.00"},                     //  9
  { 7, {}},                                   // 10
  {-1, u"\"$\"#,##0"},                        // 11
  { 5, {}},                                   // 12
  {44, {}},                                   // 13
  {43, {}},                                   // 14
  {42, {}},                                   // 15
  {41, {}},                                   // 16
  {-1, u"m/d"},                               // 17
  {14, {}},                                   // 18
  {-1, u"mm/dd/yy"},                          // 19
  {16, {}},                                   // 20
  {15, {}},                                   // 21
  {-1, u"dd\\-mmm\\-yy"},                     // 22
  {17, {}},                                   // 23
  {-1, u"mmmm\\-yy"},                         // 24
  {-1, u"mmmm\\ d\\,\\ yyyy"},                // 25
  {-1, u"m/d/yy\\ h:mm\\ AM/PM"},             // 26
  {22, {}},                                   // 27
  {18, {}},                                   // 28
  {20, {}},                                   // 29
  {19, {}},                                   // 30
  {21, {}},                                   // 31
  {10, {}},                                   // 32
  { 9, {}},                                   // 33
  {12, {}},                                   // 34
  {13, {}},                                   // 35
  {-1, u"#\\ ?\?\?/?\?\?"},                   // 36
  {11, {}},                                   // 37
  {-1, u"0.E+00"},                            // 38
  {49, {}},                                   // 39
  {47, {}},                                   // 40
  {46, {}},                                   // 41
  { 0, {}},                                   // 42
  { 0, {}},                                   // 43
  { 0, {}},                                   // 44
  { 0, {}},                                   // 45
  { 0, {}},                                   // 46
  {14, {}},                                   // 47
  {-1, u"yyyy/m/d h:mm AM/PM"},               // 48
  {22, {}},                                   // 49
  { 0, {}},                                   // 50
  { 0, {}},                                   // 51
  {-1, u"yy-mm-dd"},                          // 52
  {-1, u"d\\.m"},                             // 53
  {-1, u"d\\.m\\.yy"},                        // 54
  {14, {}},                                   // 55
  {-1, u"d\\. mmm"},                          // 56
  {-1, u"d\\. mmm yy"},                       // 57
  {15, {}},                                   // 58
  {17, {}},                                   // 59
  {-1, u"mmmm yy"},                           // 60
  {-1, u"d\\. mmmm yyyy"},                    // 61
  {-1, u"d\\.m\\.yy h:mm AM/PM"},             // 62
  {-1, u"d\\.m\\.yy h:mm"},                   // 63
  {-1, u"dd mm yy"},                          // 64
  {-1, u"d/m"},                               // 65
  {-1, u"d/m/yy"},                            // 66
  {14, {}},                                   // 67
  {-1, u"d mmmm yyyy"},                       // 68
  {-1, u"d/m/yy h:mm AM/PM"},                 // 69
  {-1, u"d/m/yy h:mm"},                       // 70
  {-1, u"d \\d\\e mmmm \\d\\e yyyy"},         // 71
};
// clang-format on
static_assert(std::size(kFileFormats) == 72);

constexpr std::uint16_t kWindow1Word = 31; // the first field of WINDOW1; meaning unknown

std::uint32_t bitIf(bool condition, std::uint32_t bit) { return condition ? bit : 0u; }

// Palette index of a file colour; 255 is automatic, which each field spells
// its own way.
std::uint8_t paletteOfFileColour(unsigned c, std::uint8_t automatic) {
  return c + 8 >= 64 ? automatic : static_cast<std::uint8_t>(c + 8);
}
// The first eight palette entries repeat as 8-15 in the default palette, so
// they are written as those.
std::uint8_t fileColourOf(unsigned paletteIndex) {
  if (paletteIndex >= 64)
    return kAutomaticColour;
  return static_cast<std::uint8_t>(paletteIndex < 8 ? paletteIndex : paletteIndex - 8);
}

std::uint64_t sheetCellKey(int sheet, std::uint16_t row, std::uint8_t column) {
  return std::uint64_t{static_cast<std::uint32_t>(sheet)} << 24 | std::uint64_t{row} << 8 | column;
}

std::u16string_view withoutApostrophe(std::u16string_view text) {
  return !text.empty() && text[0] == u'\'' ? text.substr(1) : text;
}

// ---- formula framing ----

// FORMULA and NAME give the length of their tokens but not of the extra data
// after them (array constants, cell lists, cached areas), so the tokens are
// walked to find it. Sizes are those of the BIFF5 dialect with UTF-16
// strings. False when a token is unknown or the data ends early: the record
// cannot then be delimited.
bool measureArrayConstant(ByteCursor& extra) {
  std::uint8_t lastColumn = 0;
  std::uint16_t lastRow = 0;
  if (!extra.u8(lastColumn) || !extra.u16(lastRow))
    return false;
  const size_t count = (size_t{lastColumn} + 1) * (size_t{lastRow} + 1);
  for (size_t i = 0; i < count; ++i) {
    std::uint8_t type = 0;
    if (!extra.u8(type))
      return false;
    if (type == 0x02) {
      std::uint16_t length = 0;
      std::uint8_t option = 0;
      if (!extra.u16(length) || !extra.u8(option) || !extra.skip(size_t{length} * 2))
        return false;
    } else if (type == 0x00 || type == 0x01 || type == 0x04 || type == 0x10) {
      if (!extra.skip(8))
        return false;
    } else {
      return false;
    }
  }
  return true;
}

bool measureExtraData(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> rest,
                      size_t& length) {
  ByteCursor in(tokens), extra(rest);
  while (!in.atEnd()) {
    std::uint8_t id = 0;
    if (!in.u8(id))
      return false;
    bool ok = true;
    if (id < 0x20) {
      switch (id) {
      case biff::ptgExp:
      case biff::ptgTbl: ok = in.skip(4); break;
      case biff::ptgStr: {
        std::uint8_t n = 0, option = 0;
        ok = in.u8(n) && in.u8(option) && in.skip(size_t{n} * 2);
        break;
      }
      case biff::ptgExtend: {
        std::uint8_t code = 0;
        ok = in.u8(code) && in.skip(4);
        if (ok && (code == 0x0B || code == 0x0D || code == 0x0F)) {
          std::uint32_t count = 0;
          ok = extra.u32(count) && extra.skip(size_t{count & 0x3FFFFFFF} * 4);
        }
        break;
      }
      case biff::ptgAttr: {
        std::uint8_t type = 0;
        std::uint16_t data = 0;
        ok = in.u8(type) && in.u16(data);
        if (ok && (type & biff::attrChoose))
          ok = in.skip((size_t{data} + 1) * 2);
        break;
      }
      case biff::ptgErr:
      case biff::ptgBool: ok = in.skip(1); break;
      case biff::ptgInt: ok = in.skip(2); break;
      case biff::ptgNum: ok = in.skip(8); break;
      default: ok = id >= biff::ptgAdd && id <= biff::ptgMissArg; break;
      }
    } else {
      switch (static_cast<std::uint8_t>((id & 0x1F) | 0x20)) {
      case biff::ptgArray: ok = in.skip(7) && measureArrayConstant(extra); break;
      case biff::ptgFunc: ok = in.skip(2); break;
      case biff::ptgFuncVar: ok = in.skip(3); break;
      case biff::ptgName: ok = in.skip(14); break;
      case biff::ptgRef:
      case biff::ptgRefN:
      case biff::ptgRefErr: ok = in.skip(3); break;
      case biff::ptgArea:
      case biff::ptgAreaN:
      case biff::ptgAreaErr:
      case biff::ptgMemErr:
      case biff::ptgMemNoMem: ok = in.skip(6); break;
      case biff::ptgMemArea: {
        std::uint16_t count = 0;
        ok = in.skip(6) && extra.u16(count) && extra.skip(size_t{count} * 6);
        break;
      }
      case biff::ptgMemFunc:
      case biff::ptgMemAreaN:
      case biff::ptgMemNoMemN: ok = in.skip(2); break;
      case biff::ptgNameX: ok = in.skip(24); break;
      case biff::ptgRef3d:
      case biff::ptgRefErr3d: ok = in.skip(17); break;
      case biff::ptgArea3d:
      case biff::ptgAreaErr3d: ok = in.skip(20); break;
      default: ok = false; break;
      }
    }
    if (!ok)
      return false;
  }
  length = extra.position();
  return true;
}

biff::TokenContext tokenContext(const model::Workbook& book, int sheet) {
  biff::TokenContext ctx;
  ctx.book = &book;
  ctx.version = 7;
  ctx.fileKind = 1;
  ctx.sheet = sheet;
  return ctx;
}

// ---- reading ----

enum class Outcome { Ok, Invalid, Encrypted };

class Reader {
public:
  explicit Reader(model::Workbook& book) : m_book(book) {}
  Outcome run(std::span<const std::uint8_t> file);

private:
  bool record(std::uint8_t type);
  bool chars(size_t count, std::u16string& out) {
    if (count > m_in.remaining() / 2)
      return false;
    out.clear();
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      std::uint16_t ch = 0;
      if (!m_in.u16(ch))
        return false;
      out += static_cast<char16_t>(ch);
    }
    return true;
  }
  bool cellHead(std::uint16_t& row, std::uint8_t& column, std::uint16_t& xf) {
    return m_in.u16(row) && m_in.u8(column) && m_in.u16(xf);
  }
  std::uint16_t cellFormatOf(std::uint16_t fileXf) const {
    if (fileXf == 0)
      return model::kDefaultCellFormat;
    const size_t index = size_t{fileXf} + 20;
    return index < m_book.cellFormats.size() ? static_cast<std::uint16_t>(index)
                                             : model::kDefaultCellFormat;
  }
  std::uint16_t numberFormatOf(std::uint16_t cellFormat) const {
    return m_book.cellFormats[cellFormat].numberFormatIndex;
  }
  bool numberFormatOfFile(std::uint16_t fileFormat, std::uint16_t& out) {
    out = 0;
    if (fileFormat < std::size(kFileFormats)) {
      const FileFormat& f = kFileFormats[fileFormat];
      if (f.workbookIndex >= 0) {
        out = static_cast<std::uint16_t>(f.workbookIndex);
        return true;
      }
      const int index = model::findOrAddFormat(m_book, f.code);
      if (index < 0)
        return false;
      out = static_cast<std::uint16_t>(index);
    } else if (fileFormat >= kFirstFileFormat &&
               size_t{fileFormat} - kFirstFileFormat < m_formats.size()) {
      out = m_formats[fileFormat - kFirstFileFormat];
    }
    return true;
  }
  model::Sheet* currentSheet() {
    return m_current >= 0 && m_current < m_book.sheetCount() ? &m_book.sheet(m_current) : nullptr;
  }
  model::CellRecord* appendCell(std::uint16_t row, std::uint8_t column, std::u16string_view text,
                                std::uint16_t fileXf);
  std::u16string numberEntryText(double value, std::uint16_t cellFormat) const;
  std::u16string stringEntryText(std::u16string_view text, std::uint16_t cellFormat) const;

  bool readFont();
  bool readXf();
  bool readBoundSheet();
  bool readName();
  bool readFormula();
  void convertNames();

  model::Workbook& m_book;
  ByteCursor m_in;
  bool m_firstFont = true, m_firstXf = true, m_firstBoundSheet = true;
  size_t m_namesConverted = 0; // NAME records whose formulas are read
  bool m_encrypted = false;
  int m_current = -1;  // the sheet whose substream is being read
  int m_sheetBofs = 0;
  int m_activeSheet = 0;
  std::optional<std::uint16_t> m_globalZoom;
  std::vector<bool> m_ownZoom;
  std::vector<std::uint16_t> m_formats; // workbook index of each FORMAT record
  std::vector<std::vector<std::uint8_t>> m_nameTokens, m_nameExtra;
  std::vector<size_t> m_nameSlots; // each NAME record's place in the workbook's names
  model::CellRecord* m_pendingString = nullptr; // a formula waiting for its STRING
  bool m_pendingConstant = false; // that formula could not be read: its string is its input
  // Formulas this reader cannot express, by cell; a later record for the
  // same cell replaces the constant and drops the entry.
  std::vector<model::UnreadFormula> m_unread;
  std::unordered_map<std::uint64_t, size_t> m_unreadAt;
  void keepUnread();
};

Outcome Reader::run(std::span<const std::uint8_t> file) {
  m_in = ByteCursor(file);
  // Anything that does not open with a workbook BOF is no pocket workbook.
  std::uint8_t type = 0;
  std::uint16_t version = 0, substream = 0;
  if (!m_in.u8(type) || type != rtBOF || !m_in.u16(version) || !m_in.u16(substream) ||
      substream != kSubstreamWorkbook)
    return Outcome::Invalid;
  model::FileVersion& v = m_book.fileVersion;
  v = model::FileVersion{};
  v.family = model::FileFamily::Pocket;
  v.version = 7;
  v.versionWord = version;
  v.build = 6818;
  // Cell format 15 and the twenty built-in formats around it are where the
  // file's formats land; a workbook without them gets the defaults.
  if (m_book.cellFormats.size() < 21)
    m_book.cellFormats.resize(21);
  if (m_book.sheets.empty()) {
    auto sheet = std::make_unique<model::Sheet>();
    model::sheet_init(*sheet, model::SheetKind::Worksheet);
    sheet->name = u"Sheet1";
    m_book.sheets.push_back(std::move(sheet));
  }
  while (!m_in.atEnd()) {
    if (!m_in.u8(type))
      break;
    if (!record(type))
      return m_encrypted ? Outcome::Encrypted : Outcome::Invalid;
  }
  convertNames();
  keepUnread();
  m_ownZoom.resize(m_book.sheets.size());
  if (m_globalZoom)
    for (int i = 0; i < m_book.sheetCount(); ++i)
      if (!m_ownZoom[static_cast<size_t>(i)])
        m_book.sheet(i).zoom = *m_globalZoom;
  m_book.activeSheet = std::clamp(m_activeSheet, 0, m_book.sheetCount() - 1);
  formula::recalcAll(m_book);
  return Outcome::Ok;
}

bool Reader::record(std::uint8_t type) {
  // A STRING belongs to the FORMULA right before it.
  model::CellRecord* pending = std::exchange(m_pendingString, nullptr);
  const bool pendingConstant = std::exchange(m_pendingConstant, false);
  std::uint16_t row = 0, xf = 0, a = 0, b = 0, c = 0, d = 0;
  std::uint8_t column = 0, x = 0, y = 0;
  switch (type) {
  case rtBOF: {
    if (!m_in.u16(a) || !m_in.u16(b))
      return false;
    if (b == kSubstreamWorksheet) {
      convertNames();
      m_current = m_sheetBofs++;
      if (model::Sheet* s = currentSheet())
        s->versionWord = a;
    }
    return true;
  }
  case rtEOF: return true;
  case rtFILEPASS:
    m_encrypted = true;
    return false;
  case rtCODEPAGE:
    if (!m_in.u16(a))
      return false;
    m_book.fileCodePage = a;
    return true;
  case rtCOUNTRY:
    if (!m_in.u16(a) || !m_in.u16(b))
      return false;
    m_book.defaultCountry = a;
    m_book.systemCountry = b;
    return true;
  case rtWINDOW1:
    if (!m_in.u16(a) || !m_in.u16(b))
      return false;
    m_activeSheet = b;
    return true;
  case rtSCL: {
    if (!m_in.u16(a) || !m_in.u16(b))
      return false;
    const auto zoom =
        static_cast<std::uint16_t>(b == 0 ? 100 : std::clamp(a * 100 / b, 10, 400));
    if (m_current < 0) {
      m_globalZoom = zoom;
    } else if (model::Sheet* s = currentSheet()) {
      s->zoom = zoom;
      m_ownZoom.resize(m_book.sheets.size());
      m_ownZoom[static_cast<size_t>(m_current)] = true;
    }
    return true;
  }
  case rtFONT: return readFont();
  case rtFORMAT: {
    std::u16string code;
    if (!m_in.u8(x) || !chars(x, code))
      return false;
    const int index = model::findOrAddFormat(m_book, code);
    if (index < 0)
      return false;
    m_formats.push_back(static_cast<std::uint16_t>(index));
    return true;
  }
  case rtXF: return readXf();
  case rtBOUNDSHEET: return readBoundSheet();
  case rtNAME: return readName();
  case rtBLANK:
    if (!cellHead(row, column, xf))
      return false;
    appendCell(row, column, u"", xf);
    return true;
  case rtNUMBER: {
    double value = 0;
    if (!cellHead(row, column, xf) || !m_in.f64(value))
      return false;
    if (!std::isfinite(value))
      value = 0;
    if (model::CellRecord* cell =
            appendCell(row, column, numberEntryText(value, cellFormatOf(xf)), xf))
      cell->value = model::CellValue::number(value);
    return true;
  }
  case rtLABEL: {
    std::u16string text;
    if (!cellHead(row, column, xf) || !m_in.u16(a) || !chars(a, text))
      return false;
    if (model::CellRecord* cell = appendCell(row, column, stringEntryText(text, cellFormatOf(xf)), xf))
      cell->value = model::CellValue::string(text);
    return true;
  }
  case rtBOOLERR: {
    if (!cellHead(row, column, xf) || !m_in.u8(x) || !m_in.u8(y))
      return false;
    if (y) {
      if (model::CellRecord* cell = appendCell(row, column, biff::errorTextOfCode(x), xf))
        cell->value =
            model::CellValue::error(static_cast<model::ErrorCode>(biff::errorIndexOfCode(x)));
    } else if (model::CellRecord* cell = appendCell(row, column, x ? u"TRUE" : u"FALSE", xf)) {
      cell->value = model::CellValue::boolean(x != 0);
    }
    return true;
  }
  case rtFORMULA: return readFormula();
  case rtSTRING: {
    std::u16string text;
    if (!m_in.u16(a) || !chars(a, text))
      return false;
    if (pending) {
      pending->value = model::CellValue::string(text);
      if (pendingConstant)
        pending->input.assign(stringEntryText(text, pending->formatIndex));
    }
    return true;
  }
  case rtROW: {
    if (!m_in.u16(row) || !m_in.u16(a) || !m_in.u16(b) || !m_in.u16(c))
      return false;
    if (model::Sheet* s = currentSheet(); s && s->hasGrid())
      model::set_row_record(*s, row,
                            bitIf(b & 0x01, model::kLineHidden) |
                                bitIf(b & 0x02, model::kLineCustomHeight),
                            a);
    return true;
  }
  case rtDEFAULTROWHEIGHT:
    if (!m_in.u16(a) || !m_in.u16(b))
      return false;
    if (model::Sheet* s = currentSheet()) {
      s->defaultRowHeight = b;
      s->flags &= ~model::kSheetGlobalRowHeight;
    }
    return true;
  case rtDEFCOLWIDTH:
    if (!m_in.u16(a) || !m_in.u16(b) || !m_in.u16(c))
      return false;
    if (model::Sheet* s = currentSheet()) {
      s->defaultColumnWidth = b;
      s->flags &= ~model::kSheetGlobalColumnWidth;
    }
    return true;
  case rtCOLINFO: {
    if (!m_in.u16(a) || !m_in.u16(b) || !m_in.u16(c) || !m_in.u16(xf) || !m_in.u8(x))
      return false;
    model::Sheet* s = currentSheet();
    if (!s || !s->hasGrid())
      return true;
    const int last = std::min<int>(b, model::kMaxColumn);
    for (int col = a; col <= last; ++col) {
      const auto column8 = static_cast<std::uint8_t>(col);
      model::set_column_record(*s, column8,
                               bitIf(x & 0x01, model::kLineHidden) |
                                   bitIf(!(x & 0x02), model::kLineDefaultSize),
                               c);
      model::set_column_format(*s, column8, cellFormatOf(xf));
    }
    return true;
  }
  case rtWINDOW2: {
    std::uint8_t options = 0, second = 0;
    if (!m_in.u16(row) || !m_in.u8(column) || !m_in.u8(options) || !m_in.u8(second))
      return false;
    if (model::Sheet* s = currentSheet()) {
      s->flags = (s->flags & ~(model::kSheetShowFormulas | model::kSheetShowGridlines |
                               model::kSheetShowHeaders | model::kSheetPanesFrozen)) |
                 bitIf(options & 0x01, model::kSheetShowFormulas) |
                 bitIf(!(options & 0x02), model::kSheetShowGridlines) |
                 bitIf(!(options & 0x04), model::kSheetShowHeaders) |
                 bitIf((options & 0x08) || (second & 0x01), model::kSheetPanesFrozen);
      s->topRow = row;
      s->leftColumn = column;
    }
    return true;
  }
  case rtPANE: {
    if (!m_in.u16(a) || !m_in.u16(b) || !m_in.u16(c) || !m_in.u16(d) || !m_in.u8(x))
      return false;
    model::Sheet* s = currentSheet();
    if (!s || !(s->flags & model::kSheetPanesFrozen) || d > model::kMaxColumn)
      return true;
    s->frozenRow = s->topRow;
    s->frozenColumn = s->leftColumn;
    s->scrollPaneRow =
        b ? static_cast<std::uint16_t>(std::min<int>(s->topRow + b, model::kMaxRow)) : 0;
    s->scrollPaneColumn =
        a ? static_cast<std::uint8_t>(std::min<int>(s->leftColumn + a, model::kMaxColumn)) : 0;
    s->topRow = c;
    s->leftColumn = static_cast<std::uint8_t>(d);
    return true;
  }
  case rtSELECTION: {
    std::uint8_t lastColumn = 0, activeColumn = 0;
    std::uint16_t lastRow = 0, activeRow = 0;
    if (!m_in.u16(row) || !m_in.u8(column) || !m_in.u16(lastRow) || !m_in.u8(lastColumn) ||
        !m_in.u16(activeRow) || !m_in.u8(activeColumn))
      return false;
    if (model::Sheet* s = currentSheet()) {
      s->activeRow = activeRow;
      s->activeColumn = activeColumn;
      s->selectionFirst = model::packCell(std::min(row, lastRow), std::min(column, lastColumn));
      s->selectionLast = model::packCell(std::max(row, lastRow), std::max(column, lastColumn));
    }
    return true;
  }
  default:
    // The body's length is unknown: reading on would take data for records.
    return false;
  }
}

bool Reader::readFont() {
  model::Font f;
  std::uint16_t height = 0, options = 0, colour = 0, weight = 0, zero = 0;
  std::uint8_t underline = 0, family = 0, charset = 0, zero8 = 0, length = 0;
  std::u16string face;
  if (!m_in.u16(height) || !m_in.u16(options) || !m_in.u16(colour) || !m_in.u16(weight) ||
      !m_in.u16(zero) || !m_in.u8(underline) || !m_in.u8(family) || !m_in.u8(charset) ||
      !m_in.u8(zero8) || !m_in.u8(length) || !chars(length, face))
    return false;
  if (m_firstFont) {
    m_book.fonts.clear();
    m_firstFont = false;
  }
  f.heightTwips = height;
  f.attributes = static_cast<std::uint16_t>(options & (model::kFontItalic | model::kFontStrikeOut));
  f.colourIndex = colour + 8 >= 64 ? model::kAutomaticFontColour
                                    : static_cast<std::uint16_t>(colour + 8);
  f.weight = weight;
  f.underline = underline;
  f.pitchAndFamily = family;
  f.charSet = charset;
  if (!face.empty())
    f.face = face.substr(0, 31);
  if (m_book.fonts.size() < 0xFFFF)
    m_book.fonts.push_back(std::move(f));
  return true;
}

bool Reader::readXf() {
  std::uint16_t font = 0, format = 0, parent = 0, unused = 0, protection = 0, background = 0,
                pattern = 0;
  std::uint8_t align = 0, borders = 0, stored = 0, fill = 0;
  std::uint8_t borderColours[4] = {};
  if (!m_in.u16(font) || !m_in.u16(format) || !m_in.u16(parent) || !m_in.u16(unused) ||
      !m_in.u16(protection) || !m_in.u8(align) || !m_in.u8(borders) || !m_in.u16(background) ||
      !m_in.u16(pattern))
    return false;
  for (std::uint8_t& colour : borderColours)
    if (!m_in.u8(colour))
      return false;
  if (!m_in.u8(stored) || !m_in.u8(fill))
    return false;
  model::CellFormat f;
  f.fontIndex = font;
  if (!numberFormatOfFile(format, f.numberFormatIndex))
    return false;
  f.flags = bitIf(protection & 0x02, model::kFormatLocked) |
            bitIf(protection & 0x04, model::kFormatFormulaHidden) |
            bitIf(protection & 0x08, 1u << 3) | bitIf(align & 0x08, model::kFormatWrapText);
  f.horizontalAlignment = align & 0x07;
  const int vertical = (align >> 4) & 0x07;
  f.verticalAlignment = static_cast<std::uint8_t>(vertical > 0 ? vertical - 1 : 0);
  f.backgroundColour = paletteOfFileColour(background, 65);
  f.patternColour = paletteOfFileColour(pattern, 64);
  f.fillPattern = fill;
  // The file says only whether a side has a border: it comes back thin.
  for (size_t side = 0; side < 4; ++side)
    f.borders[side] = {static_cast<std::uint8_t>((borders >> side) & 1),
                       paletteOfFileColour(borderColours[side], 64)};
  if (m_firstXf) {
    m_book.cellFormats[model::kDefaultCellFormat] = f;
    m_firstXf = false;
  } else if (m_book.cellFormats.size() < 0xFFFF) {
    m_book.cellFormats.push_back(f);
  }
  return true;
}

bool Reader::readBoundSheet() {
  std::uint8_t zero = 0, length = 0;
  std::u16string name;
  if (!m_in.u8(zero) || !m_in.u8(length) || !chars(length, name))
    return false;
  name = name.substr(0, model::kMaxSheetNameLength);
  int index = 0;
  if (m_firstBoundSheet) {
    m_firstBoundSheet = false;
    m_book.sheet(0).name.clear();
  } else {
    if (m_book.sheetCount() >= model::kMaxSheets)
      return true;
    auto sheet = std::make_unique<model::Sheet>();
    model::sheet_init(*sheet, model::SheetKind::Worksheet);
    m_book.sheets.push_back(std::move(sheet));
    index = m_book.sheetCount() - 1;
  }
  // An empty or repeated name is made unique, as the user could not type it.
  if (name.empty() || model::find_sheet(m_book, name) >= 0) {
    const std::u16string base = name.empty() ? u"Sheet" : name.substr(0, 27);
    for (int k = 2;; ++k) {
      std::u16string candidate = base + u"(" + platform::fromUtf8(std::to_string(k)) + u")";
      if (model::find_sheet(m_book, candidate) < 0) {
        name = std::move(candidate);
        break;
      }
    }
  }
  m_book.sheet(index).name = std::move(name);
  return true;
}

bool Reader::readName() {
  std::uint16_t zero = 0, tokenLength = 0, scope = 0;
  std::uint8_t nameLength = 0;
  std::u16string name;
  std::span<const std::uint8_t> tokens;
  size_t extraLength = 0;
  std::span<const std::uint8_t> extra;
  if (!m_in.u16(zero) || !m_in.u8(nameLength) || !m_in.u16(tokenLength) || !m_in.u16(scope) ||
      !chars(nameLength, name) || !m_in.bytes(tokenLength, tokens) ||
      !measureExtraData(tokens, m_in.rest(), extraLength) || !m_in.bytes(extraLength, extra))
    return false;
  model::DefinedName n;
  n.name = std::move(name);
  n.sheetIndex = scope;
  // Name tokens count NAME records. A name a formula's scan defined before
  // this record (a later version's function, in a file that puts names after
  // a sheet) goes behind it, or every later name would read as its neighbour.
  const size_t at = std::min(m_nameSlots.size(), m_book.names.size());
  m_nameSlots.push_back(at);
  m_book.names.insert(m_book.names.begin() + static_cast<std::ptrdiff_t>(at), std::move(n));
  m_nameTokens.emplace_back(tokens.begin(), tokens.end());
  m_nameExtra.emplace_back(extra.begin(), extra.end());
  return true;
}

// Names may refer to each other in any order, so their formulas are read
// once every name before them is known: at the first sheet, and again for
// the names a damaged file puts later (at the next sheet, or at the end).
void Reader::convertNames() {
  for (; m_namesConverted < m_nameTokens.size(); ++m_namesConverted) {
    const size_t i = m_namesConverted;
    // Read in the name's own scope, as it is written.
    const int scope = m_nameSlots[i] < m_book.names.size() ? m_book.names[m_nameSlots[i]].sheetIndex - 1 : -1;
    const biff::TokenContext ctx = tokenContext(m_book, scope);
    std::u16string text;
    if (!biff::tokensToFormulaText(m_nameTokens[i], m_nameExtra[i], 0, 0, ctx, text))
      text = u"=#REF!";
    if (m_nameSlots[i] < m_book.names.size())
      m_book.names[m_nameSlots[i]].formula = std::move(text);
  }
}

bool Reader::readFormula() {
  std::uint16_t row = 0, xf = 0, tokenLength = 0;
  std::uint8_t column = 0, option = 0;
  std::span<const std::uint8_t> result, tokens, extra;
  size_t extraLength = 0;
  if (!cellHead(row, column, xf) || !m_in.bytes(8, result) || !m_in.u8(option) ||
      !m_in.u16(tokenLength) || !m_in.bytes(tokenLength, tokens) ||
      !measureExtraData(tokens, m_in.rest(), extraLength) || !m_in.bytes(extraLength, extra))
    return false;
  // A formula this reader cannot express (or that would not read back as a
  // formula, such as an empty token array) becomes its cached result, so that
  // computing never replaces the value; its bytes are kept for saving back.
  // So is one whose text would not compile back into the same formula: an
  // unknown function reads as "?", which saving would turn into text.
  const biff::TokenContext ctx = tokenContext(m_book, m_current);
  std::u16string text, again;
  biff::TokenArray back;
  const bool unreadable =
      !biff::tokensToFormulaText(tokens, extra, row, column, ctx, text) ||
      formula::classifyText(text).kind != formula::TextClass::Formula ||
      !biff::formulaTextToTokens(text, ctx, biff::WriteOptions{}, back) ||
      !biff::tokensToFormulaText(back.tokens, back.extra, row, column, ctx, again) ||
      again != text;
  model::CellRecord* cell = appendCell(row, column, unreadable ? u"" : text, xf);
  if (!cell)
    return true;
  model::CellValue value;
  if (result[6] == 0xFF && result[7] == 0xFF) {
    switch (result[0]) {
    case 0:
      value = model::CellValue::string(u"");
      m_pendingString = cell;
      m_pendingConstant = unreadable;
      break;
    case 1: value = model::CellValue::boolean(result[2] != 0); break;
    case 2:
      value = model::CellValue::error(
          static_cast<model::ErrorCode>(biff::errorIndexOfCode(result[2])));
      break;
    // Eight zero bytes are how an empty result is written, and they read as 0.
    default: value = model::CellValue::number(0); break;
    }
  } else {
    double v = 0;
    ByteCursor r(result);
    (void)r.f64(v);
    value = std::isfinite(v) ? model::CellValue::number(v)
                             : model::CellValue::error(model::ErrorCode::Num);
  }
  if (!unreadable) {
    cell->value = std::move(value);
    // A formula stays one in a cell formatted as Text, as the file has it.
    formula::scanCell(m_book, m_current, *cell, /*fromFile=*/true);
    cell->calcState = (option & 0x01) ? model::CalcState::NotValid : model::CalcState::ValueValid;
    return true;
  }
  switch (value.kind()) {
  case model::ValueKind::Number:
    cell->input.assign(numberEntryText(value.numberValue(), cell->formatIndex));
    break;
  case model::ValueKind::Boolean: cell->input.assign(value.booleanValue() ? u"TRUE" : u"FALSE"); break;
  case model::ValueKind::Error: cell->input.assign(model::errorText(value.errorValue())); break;
  default: break; // a string: its STRING record gives the input
  }
  cell->value = std::move(value);
  cell->volatility = model::volatilityClassOf(cell->input.view());
  model::UnreadFormula kept;
  kept.sheet = m_current;
  kept.row = row;
  kept.column = column;
  kept.record = reinterpret_cast<std::uintptr_t>(cell);
  // The option byte, the token length, the tokens and their extra data.
  kept.bytes.reserve(3 + tokens.size() + extra.size());
  kept.bytes = {option, static_cast<std::uint8_t>(tokenLength & 0xFF),
                static_cast<std::uint8_t>(tokenLength >> 8)};
  kept.bytes.insert(kept.bytes.end(), tokens.begin(), tokens.end());
  kept.bytes.insert(kept.bytes.end(), extra.begin(), extra.end());
  const std::uint64_t key = sheetCellKey(m_current, row, column);
  m_unreadAt[key] = m_unread.size();
  m_unread.push_back(std::move(kept));
  return true;
}

// The entries whose cells still hold what was loaded for them go to the
// workbook, with the sheet list and names they were read with.
void Reader::keepUnread() {
  model::UnreadFormulas& out = m_book.unreadFormulas;
  out = model::UnreadFormulas{};
  for (model::UnreadFormula& f : m_unread) {
    if (f.record == 0 || f.sheet < 0 || f.sheet >= m_book.sheetCount())
      continue;
    const model::CellRecord* cell = model::cell_at(m_book.sheet(f.sheet), f.row, f.column);
    if (!cell || reinterpret_cast<std::uintptr_t>(cell) != f.record)
      continue;
    if (!cell->input.isNull())
      f.input = cell->input.view();
    out.cells.push_back(std::move(f));
  }
  m_unread.clear();
  m_unreadAt.clear();
  if (out.cells.empty())
    return;
  out.family = model::FileFamily::Pocket;
  out.structureGeneration = m_book.structureGeneration;
  for (const model::DefinedName& n : m_book.names)
    out.names.push_back(n.name);
}

model::CellRecord* Reader::appendCell(std::uint16_t row, std::uint8_t column,
                                      std::u16string_view text, std::uint16_t fileXf) {
  model::Sheet* s = currentSheet();
  if (!s || !s->hasGrid())
    return nullptr;
  model::CellRecord* c = model::append_cell(s->cells, row, column, text, cellFormatOf(fileXf));
  if (!m_unreadAt.empty()) {
    // The cell given again is no longer the formula that was kept for it.
    const auto found = m_unreadAt.find(sheetCellKey(m_current, c->row, c->column));
    if (found != m_unreadAt.end()) {
      m_unread[found->second].record = 0;
      m_unreadAt.erase(found);
    }
  }
  // A cell given twice keeps the second; nothing of the first may linger.
  c->precedents.reset();
  c->display.reset();
  c->value = model::CellValue();
  c->isFormula = false;
  c->calcState = model::CalcState::ValueValid;
  return c;
}

// The text a user would type for the number: dates and times in the short
// forms, percentages with their sign, anything else in 15 digits.
std::u16string Reader::numberEntryText(double value, std::uint16_t cellFormat) const {
  const std::uint16_t format = numberFormatOf(cellFormat);
  bool dateTime = (format >= 14 && format <= 22) || (format >= 45 && format <= 47);
  if (!dateTime && (format > 49 || (format > 22 && format < 37))) {
    bool quoted = false, escaped = false;
    int bracket = 0;
    for (char16_t ch : model::numberFormatCode(m_book, format)) {
      if (escaped)
        escaped = false;
      else if (ch == u'\\' && !quoted)
        escaped = true;
      else if (ch == u'"')
        quoted = !quoted;
      else if (!quoted && ch == u'[')
        ++bracket;
      else if (!quoted && ch == u']' && bracket > 0)
        --bracket;
      else if (!quoted && bracket == 0 &&
               std::u16string_view(u"DdHhMmSsYy").find(ch) != std::u16string_view::npos)
        dateTime = true;
    }
  }
  const platform::LocaleStrings& locale = platform::localeStrings();
  if (dateTime && value >= 0 && value < 2958466) {
    const std::u16string date = numfmt::shortDateCode(locale);
    const bool whole = value == std::floor(value);
    const double seconds = (value - std::floor(value)) * 86400;
    const bool exactMinute = std::fabs(seconds / 60 - std::round(seconds / 60)) < 1e-6;
    const std::u16string time = exactMinute ? u"h:mm" : u"h:mm:ss";
    const std::u16string code = value >= 1 ? (whole ? date : date + u" " + time) : time;
    return numfmt::formatNumber(value, code, numfmt::FormatOptions{}).text;
  }
  if (format == 9 || format == 10)
    return formula::numberToText(value * 100, locale) + u"%";
  return formula::numberToText(value, locale);
}

// Text that would read as something else when typed keeps an apostrophe,
// unless the cell's format is Text.
std::u16string Reader::stringEntryText(std::u16string_view text, std::uint16_t cellFormat) const {
  const bool plain = formula::classifyText(text).kind == formula::TextClass::Text &&
                     (text.empty() || text[0] != u'\'');
  if (plain || numberFormatOf(cellFormat) == 49)
    return std::u16string(text);
  return u"'" + std::u16string(text);
}

// ---- writing ----

class Writer {
public:
  explicit Writer(const model::Workbook& book) : m_book(book) {}
  std::vector<std::uint8_t> run();

private:
  void u8(unsigned v) { m_out.push_back(static_cast<std::uint8_t>(v)); }
  void u16(unsigned v) {
    u8(v & 0xFF);
    u8((v >> 8) & 0xFF);
  }
  void f64(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i)
      u8(static_cast<unsigned>((bits >> (8 * i)) & 0xFF));
  }
  void chars(std::u16string_view s) {
    for (char16_t c : s)
      u16(c);
  }
  void bytes(const std::vector<std::uint8_t>& b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
  void cellHead(const model::CellRecord& c) {
    u16(c.row);
    u8(c.column);
    u16(fileXf(c.formatIndex));
  }
  std::uint16_t versionWord() const {
    const model::FileVersion& v = m_book.fileVersion;
    return v.family == model::FileFamily::Pocket ? v.versionWord : kNewVersionWord;
  }
  std::uint16_t fileXf(std::uint16_t cellFormat) const {
    return cellFormat < m_fileXf.size() ? m_fileXf[cellFormat] : 0;
  }

  void planTables();
  void globals();
  void sheet(int index);
  void cell(int index, const model::CellRecord& c, std::uint16_t columnFormat);
  void formulaRecord(int index, const model::CellRecord& c, std::u16string_view text);
  void formulaHead(const model::CellRecord& c);
  void stringResult(const model::CellValue& v);
  const model::UnreadFormula* unreadFormulaOf(int index, const model::CellRecord& c) const;

  const model::Workbook& m_book;
  std::vector<std::uint8_t> m_out;
  std::vector<std::uint16_t> m_fileXf;       // by workbook cell format
  std::vector<std::uint16_t> m_fileFormatOf; // by position in the number-format table
  // Formulas read from a pocket file that the program could not read, by
  // sheet and cell; empty once the sheet list or the names have changed.
  std::unordered_map<std::uint64_t, const model::UnreadFormula*> m_unread;
};

std::vector<std::uint8_t> Writer::run() {
  planTables();
  globals();
  for (int i = 0; i < m_book.sheetCount(); ++i)
    sheet(i);
  return std::move(m_out);
}

void Writer::planTables() {
  const model::UnreadFormulas& unread = m_book.unreadFormulas;
  bool namesAsRead = unread.names.size() == m_book.names.size();
  for (size_t i = 0; namesAsRead && i < unread.names.size(); ++i)
    namesAsRead = unread.names[i] == m_book.names[i].name;
  // The tokens number sheets and names as the file did.
  if (unread.family == model::FileFamily::Pocket &&
      unread.structureGeneration == m_book.structureGeneration && namesAsRead)
    for (const model::UnreadFormula& f : unread.cells)
      m_unread[sheetCellKey(f.sheet, f.row, f.column)] = &f;

  std::uint16_t next = 0;
  m_fileXf.assign(m_book.cellFormats.size(), 0);
  for (size_t i = 0; i < m_book.cellFormats.size(); ++i)
    if (!(m_book.cellFormats[i].flags & model::kFormatStyle))
      m_fileXf[i] = next++;
  m_fileFormatOf.assign(m_book.numberFormats.size(), 0);
  std::uint16_t nextFormat = kFirstFileFormat;
  for (size_t i = 0; i < m_book.numberFormats.size(); ++i) {
    const std::uint16_t index = m_book.numberFormats[i].index;
    const int builtin = builtinFileFormat(m_book, index);
    if (builtin >= 0) {
      m_fileFormatOf[i] = static_cast<std::uint16_t>(builtin);
      continue;
    }
    const bool used =
        std::any_of(m_book.cellFormats.begin(), m_book.cellFormats.end(),
                    [&](const model::CellFormat& f) {
                      return !(f.flags & model::kFormatStyle) && f.numberFormatIndex == index;
                    });
    m_fileFormatOf[i] = used ? nextFormat++ : 0;
  }
}

void Writer::globals() {
  u8(rtBOF);
  u16(versionWord());
  u16(kSubstreamWorkbook);
  u8(rtCODEPAGE);
  u16(m_book.codePage);
  if (m_book.defaultCountry != 0 || m_book.systemCountry != 0) {
    u8(rtCOUNTRY);
    u16(m_book.defaultCountry);
    u16(m_book.systemCountry);
  }
  for (const auto& s : m_book.sheets)
    if (s->kind == model::SheetKind::Worksheet) {
      if (s->zoom != 100) {
        const int zoom = std::clamp<int>(s->zoom, 10, 400);
        const int g = std::gcd(zoom, 100);
        u8(rtSCL);
        u16(static_cast<unsigned>(zoom / g));
        u16(static_cast<unsigned>(100 / g));
      }
      break;
    }
  u8(rtWINDOW1);
  u16(kWindow1Word);
  u16(static_cast<unsigned>(std::max(0, m_book.activeSheet)));

  for (const model::Font& f : m_book.fonts) {
    const std::u16string_view face = std::u16string_view(f.face).substr(0, 255);
    u8(rtFONT);
    u16(f.heightTwips);
    u16(f.attributes & (model::kFontItalic | model::kFontStrikeOut));
    u16(f.colourIndex == model::kAutomaticFontColour ? kAutomaticColour
                                                     : fileColourOf(f.colourIndex));
    u16(f.weight);
    u16(0);
    u8(f.underline);
    u8(f.pitchAndFamily);
    u8(f.charSet);
    u8(0);
    u8(static_cast<unsigned>(face.size()));
    chars(face);
  }

  for (size_t i = 0; i < m_book.numberFormats.size(); ++i) {
    if (m_fileFormatOf[i] < kFirstFileFormat)
      continue;
    const std::u16string_view code = std::u16string_view(m_book.numberFormats[i].code).substr(0, 255);
    u8(rtFORMAT);
    u8(static_cast<unsigned>(code.size()));
    chars(code);
  }
  for (const model::CellFormat& f : m_book.cellFormats) {
    if (f.flags & model::kFormatStyle)
      continue;
    const int position = model::numberFormatPosition(m_book, f.numberFormatIndex);
    u8(rtXF);
    u16(f.fontIndex);
    u16(position >= 0 ? m_fileFormatOf[static_cast<size_t>(position)] : 0);
    u16(0xFFFF);
    u16(0xFFFF);
    u16(((f.flags & model::kFormatLocked) ? 0x02 : 0) |
        ((f.flags & model::kFormatFormulaHidden) ? 0x04 : 0) | ((f.flags & (1u << 3)) ? 0x08 : 0));
    u8((f.horizontalAlignment & 0x07) | ((f.flags & model::kFormatWrapText) ? 0x08 : 0) |
       (((f.verticalAlignment + 1) & 0x07) << 4));
    unsigned present = 0;
    for (size_t side = 0; side < 4; ++side)
      present |= f.borders[side].style != 0 ? 1u << side : 0u;
    u8(present);
    u16(fileColourOf(f.backgroundColour));
    u16(fileColourOf(f.patternColour));
    for (const model::Border& b : f.borders)
      u8(fileColourOf(b.colour));
    u8(0); // the stored byte; its meaning is not known to us
    u8(f.fillPattern);
  }

  for (const auto& s : m_book.sheets) {
    const std::u16string_view name = std::u16string_view(s->name).substr(0, 255);
    u8(rtBOUNDSHEET);
    u8(0);
    u8(static_cast<unsigned>(name.size()));
    chars(name);
  }

  // The extra data of a name's tokens follows them, outside the counted length.
  for (const model::DefinedName& n : m_book.names) {
    biff::WriteOptions options;
    options.expressionClass = biff::TokenClass::Reference;
    biff::TokenArray t;
    if (!biff::formulaTextToTokens(n.formula, tokenContext(m_book, n.sheetIndex - 1), options, t))
      t = {{biff::ptgErr, biff::codeOfErrorIndex(3)}, {}};
    const std::u16string_view name = std::u16string_view(n.name).substr(0, 255);
    u8(rtNAME);
    u16(0);
    u8(static_cast<unsigned>(name.size()));
    u16(static_cast<unsigned>(t.tokens.size()));
    u16(static_cast<unsigned>(std::clamp(n.sheetIndex, 0, 0xFFFF)));
    chars(name);
    bytes(t.tokens);
    bytes(t.extra);
  }
  u8(rtEOF);
}

void Writer::sheet(int index) {
  const model::Sheet& s = m_book.sheet(index);
  u8(rtBOF);
  u16(s.versionWord ? s.versionWord : versionWord());
  u16(kSubstreamWorksheet);
  if (s.kind == model::SheetKind::Worksheet) {
    u8(rtDEFAULTROWHEIGHT);
    u16(0);
    u16(s.defaultRowHeight);
    u8(rtDEFCOLWIDTH);
    u16(0);
    u16(s.defaultColumnWidth);
    u16(0);

    std::array<std::uint16_t, 256> columnFormat;
    columnFormat.fill(model::kDefaultCellFormat);
    for (const model::ColumnRecord& c : s.columns)
      columnFormat[c.column] = c.formatIndex;
    // Runs of equal column records; a record that says nothing is left out.
    auto width = [&](const model::ColumnRecord& c) {
      return (c.flags & model::kLineDefaultSize) ? s.defaultColumnWidth : c.size;
    };
    constexpr std::uint32_t kShape = model::kLineHidden | model::kLineDefaultSize;
    for (size_t i = 0; i < s.columns.size();) {
      const model::ColumnRecord& first = s.columns[i];
      size_t j = i + 1;
      while (j < s.columns.size() && s.columns[j].column == s.columns[j - 1].column + 1 &&
             width(s.columns[j]) == width(first) && s.columns[j].formatIndex == first.formatIndex &&
             (s.columns[j].flags & kShape) == (first.flags & kShape))
        ++j;
      const bool silent = (first.flags & kShape) == model::kLineDefaultSize &&
                          first.formatIndex == model::kDefaultCellFormat;
      if (!silent) {
        u8(rtCOLINFO);
        u16(first.column);
        u16(s.columns[j - 1].column);
        u16(width(first));
        u16(fileXf(first.formatIndex));
        u8(((first.flags & model::kLineHidden) ? 0x01 : 0) |
           ((first.flags & model::kLineDefaultSize) ? 0 : 0x02));
      }
      i = j;
    }
    for (const model::RowRecord& r : s.rows) {
      if ((r.flags & model::kLineDefaultSize) &&
          !(r.flags & (model::kLineHidden | model::kLineCustomHeight)))
        continue;
      u8(rtROW);
      u16(r.row);
      u16((r.flags & model::kLineDefaultSize) ? s.defaultRowHeight : r.size);
      u16(((r.flags & model::kLineHidden) ? 0x01 : 0) |
          ((r.flags & model::kLineCustomHeight) ? 0x02 : 0));
      u16(0);
    }
    s.cells.forEach([&](const model::CellRecord& c) { cell(index, c, columnFormat[c.column]); });

    const bool frozen = (s.flags & model::kSheetPanesFrozen) != 0;
    u8(rtWINDOW2);
    u16(frozen ? s.frozenRow : s.topRow);
    u8(frozen ? s.frozenColumn : s.leftColumn);
    u8(((s.flags & model::kSheetShowFormulas) ? 0x01 : 0) |
       ((s.flags & model::kSheetShowGridlines) ? 0 : 0x02) |
       ((s.flags & model::kSheetShowHeaders) ? 0 : 0x04) | (frozen ? 0x08 : 0));
    u8(frozen ? 0x01 : 0);
    if (frozen) {
      const int x = s.scrollPaneColumn ? std::max(0, s.scrollPaneColumn - s.frozenColumn) : 0;
      const int y = s.scrollPaneRow ? std::max(0, s.scrollPaneRow - s.frozenRow) : 0;
      u8(rtPANE);
      u16(static_cast<unsigned>(x));
      u16(static_cast<unsigned>(y));
      u16(s.topRow);
      u16(s.leftColumn);
      u8((x == 0 ? 1u : 0u) + (y == 0 ? 2u : 0u));
    }
    u8(rtSELECTION);
    u16(model::packedRow(s.selectionFirst));
    u8(model::packedColumn(s.selectionFirst));
    u16(model::packedRow(s.selectionLast));
    u8(model::packedColumn(s.selectionLast));
    u16(s.activeRow);
    u8(s.activeColumn);
  }
  u8(rtEOF);
}

void Writer::cell(int index, const model::CellRecord& c, std::uint16_t columnFormat) {
  const std::uint16_t format =
      c.formatIndex < m_book.cellFormats.size() ? c.formatIndex : model::kDefaultCellFormat;
  const std::u16string_view input = c.input.isNull() ? std::u16string_view() : c.input.view();
  auto label = [&](std::u16string_view text) {
    text = text.substr(0, 0xFFFF);
    u8(rtLABEL);
    cellHead(c);
    u16(static_cast<unsigned>(text.size()));
    chars(text);
  };
  if (const model::UnreadFormula* kept = unreadFormulaOf(index, c)) {
    formulaHead(c);
    bytes(kept->bytes);
    stringResult(c.value);
    return;
  }
  if (input.empty()) {
    // A text of no characters is still a text.
    if (c.value.isString())
      label(c.value.stringValue());
    else if (format != model::kDefaultCellFormat || columnFormat != model::kDefaultCellFormat) {
      u8(rtBLANK);
      cellHead(c);
    }
    return;
  }
  // Whatever is typed into a Text cell is text; a number, boolean, error or
  // formula a file put there keeps its kind.
  if (format < m_book.cellFormats.size() && m_book.cellFormats[format].numberFormatIndex == 49 &&
      !c.isFormula && (c.value.isString() || c.value.isEmpty())) {
    label(withoutApostrophe(input));
    return;
  }
  // Array formulas have no record of their own here: each cell keeps its formula.
  std::u16string_view text = input;
  if (text.size() >= 2 && text.front() == u'{' && text.back() == u'}')
    text = text.substr(1, text.size() - 2);
  formula::TextOptions options;
  options.date1904 = m_book.date1904 != 0;
  const formula::Classification cl = formula::classifyText(text, options);
  switch (cl.kind) {
  case formula::TextClass::Empty:
    u8(rtBLANK);
    cellHead(c);
    return;
  case formula::TextClass::Formula: formulaRecord(index, c, text); return;
  case formula::TextClass::Text: label(withoutApostrophe(input)); return;
  case formula::TextClass::Number: {
    // The stored value is what the text meant when it was entered, to the last bit.
    double x = c.value.isNumber() ? c.value.numberValue()
                                  : cl.value.isNumber() ? cl.value.numberValue() : 0;
    u8(rtNUMBER);
    cellHead(c);
    f64(std::isfinite(x) ? x : 0);
    return;
  }
  case formula::TextClass::Boolean:
    u8(rtBOOLERR);
    cellHead(c);
    u8(cl.value.isBoolean() && cl.value.booleanValue() ? 1 : 0);
    u8(0);
    return;
  case formula::TextClass::Error:
    u8(rtBOOLERR);
    cellHead(c);
    u8(biff::codeOfErrorIndex(cl.value.isError() ? static_cast<int>(cl.value.errorValue()) : 6));
    u8(1);
    return;
  }
}

void Writer::formulaRecord(int index, const model::CellRecord& c, std::u16string_view text) {
  biff::TokenArray t;
  // Too long for the 16-bit token length: the cell keeps its value behind #N/A.
  if (!biff::formulaTextToTokens(text, tokenContext(m_book, index), biff::WriteOptions{}, t))
    t = {{biff::ptgErr, biff::codeOfErrorIndex(6)}, {}};
  formulaHead(c);
  u8(c.volatility != model::VolatilityClass::None ? 1 : 0);
  u16(static_cast<unsigned>(t.tokens.size()));
  bytes(t.tokens);
  bytes(t.extra);
  stringResult(c.value);
}

// The type, the cell head and the cached result of a FORMULA record.
void Writer::formulaHead(const model::CellRecord& c) {
  const model::CellValue& v = c.value;
  u8(rtFORMULA);
  cellHead(c);
  if (v.isNumber() && std::isfinite(v.numberValue())) {
    f64(v.numberValue());
  } else if (v.isString()) {
    for (int i = 0; i < 6; ++i)
      u8(0);
    u16(0xFFFF);
  } else if (v.isBoolean() || v.isError() || v.isNumber()) {
    u8(v.isBoolean() ? 1 : 2);
    u8(0);
    u8(v.isBoolean() ? (v.booleanValue() ? 1 : 0)
                     : biff::codeOfErrorIndex(v.isError() ? static_cast<int>(v.errorValue()) : 5));
    u8(0);
    u8(0);
    u8(0);
    u16(0xFFFF);
  } else {
    f64(0);
  }
}

// The STRING record after a formula whose result is a string.
void Writer::stringResult(const model::CellValue& v) {
  if (!v.isString())
    return;
  const std::u16string_view s = std::u16string_view(v.stringValue()).substr(0, 0xFFFF);
  u8(rtSTRING);
  u16(static_cast<unsigned>(s.size()));
  chars(s);
}

// The formula kept for this very cell record, while it holds what was loaded.
const model::UnreadFormula* Writer::unreadFormulaOf(int index, const model::CellRecord& c) const {
  if (m_unread.empty())
    return nullptr;
  const auto found = m_unread.find(sheetCellKey(index, c.row, c.column));
  if (found == m_unread.end())
    return nullptr;
  const model::UnreadFormula* f = found->second;
  const std::u16string_view input = c.input.isNull() ? std::u16string_view() : c.input.view();
  const bool same = f->record == reinterpret_cast<std::uintptr_t>(&c) && input == f->input;
  return same ? f : nullptr;
}

} // namespace

int builtinFileFormat(const model::Workbook& book, std::uint16_t numberFormatIndex) {
  for (size_t i = 0; i < std::size(kFileFormats); ++i)
    if (kFileFormats[i].workbookIndex == numberFormatIndex)
      return static_cast<int>(i);
  const std::u16string_view code = model::numberFormatCode(book, numberFormatIndex);
  if (model::numberFormatPosition(book, numberFormatIndex) < 0)
    return 0;
  for (size_t i = 0; i < std::size(kFileFormats); ++i)
    if (kFileFormats[i].workbookIndex < 0 && kFileFormats[i].code == code)
      return static_cast<int>(i);
  return -1;
}

bool readPocketWorkbook(std::span<const std::uint8_t> file, model::Workbook& book) {
  Outcome outcome = Outcome::Invalid;
  const bool fits = platform::withAllocation([&] {
    Reader reader(book);
    outcome = reader.run(file);
  });
  if (!fits)
    return false;
  if (outcome == Outcome::Ok)
    return true;
  platform::ui().messageBox(
      outcome == Outcome::Encrypted ? kMessagePasswordProtected : kMessageInvalidData,
      std::nullopt, platform::MessageButtons::Ok, platform::MessageIcon::None);
  return false;
}

bool writePocketWorkbook(const model::Workbook& book, std::vector<std::uint8_t>& out) {
  out.clear();
  const bool fits = platform::withAllocation([&] { out = Writer(book).run(); });
  if (!fits)
    out.clear();
  return fits;
}

bool savePocketWorkbook(model::Workbook& book, const std::u16string& path) {
  formula::computeStaleFormulas(book);
  std::vector<std::uint8_t> bytes;
  if (!writePocketWorkbook(book, bytes))
    return false;

  return platform::replaceFileAtomically(path, bytes);
}

} // namespace pocket
