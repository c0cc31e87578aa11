#include "fileformats/biff/workbook_reader.h"

#include "fileformats/biff/byte_cursor.h"
#include "fileformats/biff/chart_records.h"
#include "fileformats/biff/control_records.h"
#include "fileformats/biff/drawing_records.h"
#include "fileformats/biff/formula_tokens.h"
#include "fileformats/biff/link_table.h"
#include "fileformats/biff/printer_settings.h"
#include "fileformats/biff/records.h"
#include "fileformats/compound/compound_file.h"
#include "formula/function_table.h"
#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/array_blocks.h"
#include "model/auto_filter.h"
#include "model/cell_store.h"
#include "model/sheet.h"
#include "model/workbook_list.h"
#include "numfmt/builtin_formats.h"
#include "numfmt/number_format.h"
#include "platform/code_page.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace biff {

namespace {

constexpr struct {
  std::uint8_t code;
  const char16_t* text;
  int index;
} kErrorCodes[] = {
    {0x00, u"#NULL!", 0}, {0x07, u"#DIV/0!", 1}, {0x0F, u"#VALUE!", 2}, {0x17, u"#REF!", 3},
    {0x1D, u"#NAME?", 4}, {0x24, u"#NUM!", 5},   {0x2A, u"#N/A", 6},
};

} // namespace

const char16_t* errorTextOfCode(std::uint8_t code) {
  for (const auto& e : kErrorCodes)
    if (e.code == code)
      return e.text;
  return u"#N/A";
}

int errorIndexOfCode(std::uint8_t code) {
  for (const auto& e : kErrorCodes)
    if (e.code == code)
      return e.index;
  return 6;
}

std::uint8_t codeOfErrorIndex(int index) {
  for (const auto& e : kErrorCodes)
    if (e.index == index)
      return e.code;
  return 0x2A;
}

namespace {

std::uint32_t bitIf(bool condition, std::uint32_t bit) { return condition ? bit : 0u; }

// Whether `text` holds `upper` (upper-case ASCII) with ASCII letters folded,
// as function names are matched; no copy of the text is made, as this runs
// for every formula loaded.
bool containsAsciiFolded(std::u16string_view text, std::u16string_view upper) {
  if (upper.empty() || text.size() < upper.size())
    return upper.empty();
  for (size_t i = 0; i + upper.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < upper.size()) {
      char16_t c = text[i + k];
      if (c >= u'a' && c <= u'z')
        c = static_cast<char16_t>(c - (u'a' - u'A'));
      if (c != upper[k])
        break;
      ++k;
    }
    if (k == upper.size())
      return true;
  }
  return false;
}

void showMessage(std::u16string_view text) {
  platform::ui().messageBox(text, std::nullopt, platform::MessageButtons::Ok,
                            platform::MessageIcon::None);
}

struct Record {
  std::uint16_t id = 0;
  std::span<const std::uint8_t> body;
};

// Splits the stream into records; a record whose length runs past the end
// ends the stream (a truncated file reads as far as it is whole).
class RecordStream {
public:
  explicit RecordStream(std::span<const std::uint8_t> stream)
      : m_s(stream), m_limit(stream.size()) {}

  /// Stream offset of the next record.
  size_t position() const { return m_pos; }
  void seek(size_t position) { m_pos = std::min(position, m_s.size()); }
  /// Records from `limit` on read as the end of the stream (the next
  /// sheet's substream, when this one's own end is damaged).
  void setLimit(size_t limit) { m_limit = std::min(limit, m_s.size()); }
  /// The identifier of the record at an offset, 0 when none fits there.
  std::uint16_t idAt(size_t position) const {
    if (position > m_s.size() || m_s.size() - position < 4)
      return 0;
    return static_cast<std::uint16_t>(m_s[position] | (m_s[position + 1] << 8));
  }
  /// The substream type of a BOF record at an offset, or -1.
  int bofTypeAt(size_t position) const {
    if (!isBof(idAt(position)) || m_s.size() - position < 8)
      return -1;
    return m_s[position + 6] | (m_s[position + 7] << 8);
  }

  bool next(Record& r) {
    if (m_pos >= m_limit || m_limit - m_pos < 4)
      return false;
    const std::uint16_t id = static_cast<std::uint16_t>(m_s[m_pos] | (m_s[m_pos + 1] << 8));
    const std::uint16_t len = static_cast<std::uint16_t>(m_s[m_pos + 2] | (m_s[m_pos + 3] << 8));
    if (len > m_limit - m_pos - 4)
      return false;
    r.id = id;
    r.body = m_s.subspan(m_pos + 4, len);
    m_pos += 4 + static_cast<size_t>(len);
    return true;
  }
  std::uint16_t peekId() const {
    if (m_pos >= m_limit || m_limit - m_pos < 4)
      return 0;
    return idAt(m_pos);
  }

private:
  std::span<const std::uint8_t> m_s;
  size_t m_pos = 0;
  size_t m_limit;
};

struct SharedFormula {
  model::CellRange range;
  std::vector<std::uint8_t> tokens;
  std::vector<std::uint8_t> extra;
};

class Reader {
public:
  Reader(model::Workbook& book) : m_book(book) {}

  bool run(std::span<const std::uint8_t> stream, ReadInfo& info);

private:
  // ---- strings ----
  std::u16string bytesToText(std::span<const std::uint8_t> bytes) const {
    std::u16string out;
    if (!platform::toUtf16(m_codePage, std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                                        bytes.size()),
                           out)) {
      out.clear();
      for (std::uint8_t b : bytes)
        out += static_cast<char16_t>(b);
    }
    return out;
  }

  // Characters after the length: BIFF8 has an option byte (bit 0: UTF-16;
  // bit 3: formatting runs; bit 2: extended data), older versions 8-bit
  // text in the code page.
  bool readChars(ByteCursor& c, size_t count, std::u16string& out) {
    out.clear();
    if (m_version < 8) {
      std::span<const std::uint8_t> b;
      if (!c.bytes(std::min(count, c.remaining()), b))
        return false;
      out = bytesToText(b);
      return true;
    }
    std::uint8_t option = 0;
    if (!c.u8(option))
      return count == 0;
    std::uint16_t runs = 0;
    std::uint32_t ext = 0;
    if ((option & 0x08) && !c.u16(runs))
      return false;
    if ((option & 0x04) && !c.u32(ext))
      return false;
    if (option & 0x01) {
      for (size_t i = 0; i < count; ++i) {
        std::uint16_t ch;
        if (!c.u16(ch))
          return false;
        out += static_cast<char16_t>(ch);
      }
    } else {
      std::span<const std::uint8_t> b;
      if (!c.bytes(std::min(count, c.remaining()), b))
        return false;
      // Compressed UTF-16: each byte is the character of that number.
      for (std::uint8_t ch : b)
        out += static_cast<char16_t>(ch);
    }
    (void)c.skip(std::min<size_t>(static_cast<size_t>(runs) * 4 + ext, c.remaining()));
    return true;
  }

  // A result string long enough to run on into CONTINUE records: in BIFF8
  // each continuation restarts with its own option byte.
  std::u16string continuedString(RecordStream& rs, const Record& first) {
    std::vector<std::span<const std::uint8_t>> parts{first.body};
    while (rs.peekId() == rtCONTINUE) {
      Record r;
      if (!rs.next(r))
        break;
      parts.push_back(r.body);
    }
    ByteCursor c(parts[0]);
    std::uint16_t count = 0;
    if (m_version < 3) {
      std::uint8_t n = 0;
      if (!c.u8(n))
        return {};
      count = n;
    } else if (!c.u16(count)) {
      return {};
    }
    std::uint8_t option = 0;
    if (m_version == 8 && !c.u8(option))
      return {};
    std::u16string out;
    std::string narrow;
    // BIFF8 8-bit characters are the first 256 code points; older text is in
    // the file's code page.
    auto flush = [&]() {
      if (narrow.empty())
        return;
      if (m_version == 8) {
        for (unsigned char ch : narrow)
          out += static_cast<char16_t>(ch);
      } else {
        out += bytesToText({reinterpret_cast<const std::uint8_t*>(narrow.data()), narrow.size()});
      }
      narrow.clear();
    };
    size_t part = 0;
    while (out.size() + narrow.size() < count) {
      if (c.atEnd()) {
        if (++part >= parts.size())
          break;
        flush();
        c = ByteCursor(parts[part]);
        if (m_version == 8 && !c.u8(option))
          break;
        continue;
      }
      if (m_version == 8 && (option & 0x01)) {
        std::uint16_t ch;
        if (!c.u16(ch))
          break;
        out += static_cast<char16_t>(ch);
      } else {
        std::uint8_t ch;
        if (!c.u8(ch))
          break;
        narrow += static_cast<char>(ch);
      }
    }
    flush();
    return out;
  }

  bool readString8(ByteCursor& c, std::u16string& out) {
    std::uint8_t n = 0;
    return c.u8(n) && readChars(c, n, out);
  }
  bool readString16(ByteCursor& c, std::u16string& out) {
    std::uint16_t n = 0;
    return c.u16(n) && readChars(c, n, out);
  }

  // ---- globals ----
  bool readGlobals(RecordStream& rs);
  void readSheets(RecordStream& rs);
  void keepOneNamePerScope();
  void spellNamesAsTheLastOfTheirText();
  /// Acts on one record of the globals; false when the open must stop.
  bool globalRecord(RecordStream& rs, const Record& r);
  ReadStatus refusal() const {
    return m_encrypted              ? ReadStatus::Encrypted
           : m_unsupportedCodePage ? ReadStatus::UnsupportedCodePage
                                   : ReadStatus::Damaged;
  }
  void readSst(RecordStream& rs, const Record& first);
  void readFont(ByteCursor c);
  void readWriteAccess(ByteCursor c);
  void readXf(ByteCursor c);
  bool readOldXf(ByteCursor c, model::CellFormat& f);
  std::uint16_t orderedFormatIndex(const std::u16string& code);
  void readFormat(ByteCursor c);
  void readName(ByteCursor c);
  void readBoundSheet(ByteCursor c);
  void finishGlobals();

  // ---- sheets ----
  bool readSheet(RecordStream& rs, int sheetIndex);
  static bool holdsCell(const model::Sheet& s, std::uint16_t row, std::uint16_t col) {
    return row <= model::kMaxRow && col <= model::kMaxColumn && s.hasGrid();
  }
  model::CellRecord* appendCell(model::Sheet& s, std::uint16_t row, std::uint16_t col,
                                std::u16string_view text, std::uint16_t xf);
  void numberCell(model::Sheet& s, std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                  double value);
  /// How a text cell's entry shows the text: 1 as it is, 2 after an
  /// apostrophe unless the cell is formatted as Text (it would read as a
  /// number, a date, ...), 3 always after an apostrophe.
  std::uint8_t textEntryKind(std::u16string_view text) const;
  void stringCell(model::Sheet& s, std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                  std::u16string_view text, const model::CellValue* shared = nullptr, std::uint8_t* plainCache = nullptr,
                  model::CellValue* quotedCache = nullptr);
  void formulaCell(RecordStream& rs, model::Sheet& s, int sheetIndex, const Record& r);
  const model::CellValue& emptyText() {
    if (!m_emptyText.isString())
      m_emptyText = model::CellValue::string(u"");
    return m_emptyText;
  }
  void readTable(model::Sheet& s, std::uint16_t row, std::uint16_t col, const Record& r);
  /// Sets `out` to the entry text of a number cell; a buffer reused across
  /// cells spares an allocation per number.
  void numberEntryText(double value, std::uint16_t xf, std::u16string& out) const;
  enum class NumberKind : std::uint8_t { Unknown, Plain, DateTime, Percent };
  NumberKind numberKindOfXf(std::uint16_t xf) const;
  mutable std::vector<NumberKind> m_xfKinds; // per cell format, filled on first use
  std::uint16_t numberFormatOfXf(std::uint16_t xf) const {
    return xf < m_book.cellFormats.size() ? m_book.cellFormats[xf].numberFormatIndex : 0;
  }
  std::uint16_t cellFormatIndex(std::uint16_t xf) const {
    return xf < m_book.cellFormats.size() ? xf : model::kDefaultCellFormat;
  }

  // Row, column and cell format of a cell record; the oldest files keep
  // three attribute bytes, whose first holds the format index.
  bool cellHeader(ByteCursor& c, std::uint16_t id, std::uint16_t& row, std::uint16_t& col,
                  std::uint16_t& xf) const {
    if (!(c.u16(row) && c.u16(col)))
      return false;
    if (m_version == 2 && id < 0x0100) {
      std::uint8_t a0, a1, a2;
      if (!(c.u8(a0) && c.u8(a1) && c.u8(a2)))
        return false;
      xf = a0 & 0x3F;
      return true;
    }
    return c.u16(xf);
  }

  std::u16string formulaText(std::span<const std::uint8_t> tokens,
                             std::span<const std::uint8_t> extra, int row, int column);
  TokenContext tokenContext();
  // The last formula read in each column of the sheet, when its text follows
  // from its tokens: the next cell of a filled column holds the same tokens
  // with the references' fields moved, and so the same text with the
  // references moved.
  struct ReadFormula {
    std::vector<std::uint8_t> tokens;
    std::vector<std::uint8_t> extra;
    std::u16string text;
    int sheet = -1;
    int row = 0;
    int column = 0;
    std::vector<ReadReference> refs;
    std::vector<formula::WrittenReference> spans; // where refs stand in text
  };
  std::u16string cellFormulaText(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> extra,
                                 int row, int column);
  bool movedText(const ReadFormula& last, std::span<const std::uint8_t> tokens,
                 std::span<const std::uint8_t> extra, int row, int column, std::u16string& out) const;
  std::vector<ReadFormula> m_lastRead;
  std::vector<ReadReference> m_readRefs;

  // ---- sheet settings and data-tool rules ----
  void readPrinterSettings(model::Sheet& s, std::span<const std::uint8_t> body);
  bool filterRangeOfSheet(int sheetIndex, model::CellRange& out) const;
  void readAutoFilterInfo(model::Sheet& s, int sheetIndex);
  void readAutoFilter(model::Sheet& s, ByteCursor c);
  void readConditionalFormat(model::Sheet& s, ByteCursor c);
  void readFormatCondition(model::Sheet& s, ByteCursor c);
  void readValidation(model::Sheet& s, ByteCursor c);
  bool readRanges(ByteCursor& c, std::vector<model::CellRange>& out) const;
  /// The body of a record joined with the CONTINUE records after it.
  std::vector<std::uint8_t> continuedBody(RecordStream& rs, const Record& first);
  /// For the records a writer splits when they outgrow one record (long
  /// formulas, names, format codes, link tables), joins the CONTINUE records
  /// after `r` into `buffer` and points `r` at it.
  void joinContinued(RecordStream& rs, Record& r, std::vector<std::uint8_t>& buffer);
  std::vector<std::uint8_t> m_joined, m_joinedFollower;
  // Row records gathered while a sheet is read, applied once at its end.
  std::vector<model::RowRecord> m_rowRecords;
  void applyRowRecords(model::Sheet& s);
  bool readSheetRecords(RecordStream& rs, model::Sheet& s, int sheetIndex);

public:
  bool m_encrypted = false;
  bool m_singleSheet = false;
  int m_sheetsLeftOut = 0; // sheets whose substream was not found

private:
  model::Workbook& m_book;
  int m_version = 8;
  int m_codePage = 1252;
  bool m_unsupportedCodePage = false;
  bool m_firstFont = true, m_firstXf = true;
  // Before Excel 95 formats are numbered by their order in the file: the
  // index each one has in the workbook's table, by that order.
  std::vector<std::uint16_t> m_orderedFormats;
  // The link table of the sheet being read, when it lists names of its own.
  std::optional<LinkTable> m_sheetLinks;
  std::unordered_set<std::u16string> m_sheetNames;              // folded
  std::unordered_map<std::u16string, int> m_nextSuffix;         // folded base -> next (k)
  size_t m_labelBudget = 0; // characters label tokens may still copy, see run
  // Shared strings that need a leading apostrophe as a cell's entry text:
  // the quoted text, made once per string and shared by its cells.
  std::vector<model::CellValue> m_sstQuoted;
  // The shared strings as the values their cells share, and per string
  // whether it reads as text when typed (1), needs an apostrophe unless its
  // cell is formatted as Text (2), always needs one (3) or is not known yet
  // (0): classified once, not per cell.
  std::vector<model::CellValue> m_sstValues;
  std::vector<std::uint8_t> m_sstPlain;
  std::u16string m_entry; // scratch for entry texts
  // The empty text, shared by every formula result that has one: writers
  // that never compute store it as the result of each of their formulas.
  model::CellValue m_emptyText;
  std::vector<std::vector<std::uint8_t>> m_nameTokens;
  // What follows each name's tokens in its record: the bodies of its array
  // constants (then the optional menu and help texts, never read as such).
  std::vector<std::vector<std::uint8_t>> m_nameExtra;
  std::vector<bool> m_placeholderName; // by name, see readName
  std::vector<std::uint8_t> m_externSheet;
  std::vector<std::vector<std::uint8_t>> m_supbooks;
  std::vector<std::pair<int, std::u16string>> m_externNames; // supporting book, text
  LinkTable m_links;
  int m_currentSheet = -1;
  // The drawing group's bytes, read into the picture store when the first
  // sheet needs it; the drawing records of the sheet being read.
  std::vector<std::uint8_t> m_drawingGroup;
  std::optional<PictureStore> m_pictures;
  std::unique_ptr<SheetDrawingReader> m_drawing;
  bool m_drawingContinues = false; // the last record was drawing bytes
  /// Reads a chart substream after its BOF, through its EOF.
  charts::ChartModel readChart(RecordStream& rs);
  int m_boundSheets = 0;
  std::vector<size_t> m_sheetOffsets; // BOUNDSHEET stream positions, by sheet
  size_t m_globalsEnd = 0;            // stream position after the globals' EOF
  int m_activeSheet = 0;
  std::map<std::uint32_t, SharedFormula> m_shared; // key: packed first cell
  std::map<std::uint32_t, SharedFormula> m_arrays;
  bool m_printerSettingsSeen = false; // per sheet: only the first PLS counts
  int m_conditionsExpected = 0;       // CF records still owed to the last CONDFMT
};

TokenContext Reader::tokenContext() {
  TokenContext ctx;
  ctx.book = &m_book;
  ctx.version = m_version == 8 ? 8 : 7;
  ctx.fileKind = 2;
  ctx.codePage = m_version < 8 ? m_codePage : 0;
  ctx.links = m_sheetLinks ? &*m_sheetLinks : &m_links;
  ctx.sheet = m_currentSheet;
  ctx.labelBudget = &m_labelBudget;
  return ctx;
}

namespace {

bool isWordCharacter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' ||
         c == u'.' || c == u'$' || c >= 0x80;
}

// Where each reference read stands in the text made from the tokens: in
// token order (operands keep their order in the text), outside string
// constants, as a whole word.
bool findReferences(std::u16string_view text, const std::vector<ReadReference>& refs,
                    std::vector<formula::WrittenReference>& spans) {
  spans.clear();
  size_t p = 0;
  char16_t written[formula::kMaxWrittenReference];
  for (const ReadReference& r : refs) {
    formula::WrittenReference w{0, 0, r.first, r.last, r.isArea};
    const size_t n = formula::writeMovedReference(w, 0, 0, written);
    if (n == 0)
      return false;
    const std::u16string_view word(written, n);
    for (;;) {
      if (p >= text.size())
        return false;
      if (text[p] == u'"') {
        size_t q = p + 1;
        while (q < text.size() && !(text[q] == u'"' && (q + 1 >= text.size() || text[q + 1] != u'"')))
          q += text[q] == u'"' ? 2 : 1;
        if (q >= text.size())
          return false;
        p = q + 1;
        continue;
      }
      if (text.substr(p, n) == word && (p == 0 || !isWordCharacter(text[p - 1])) &&
          (p + n == text.size() || (!isWordCharacter(text[p + n]) && text[p + n] != u'('))) {
        w.begin = static_cast<std::uint32_t>(p);
        w.end = static_cast<std::uint32_t>(p + n);
        spans.push_back(w);
        p += n;
        break;
      }
      ++p;
    }
  }
  return true;
}

} // namespace

bool Reader::movedText(const ReadFormula& last, std::span<const std::uint8_t> tokens,
                       std::span<const std::uint8_t> extra, int row, int column, std::u16string& out) const {
  if (last.sheet != m_currentSheet || tokens.size() != last.tokens.size() ||
      !std::equal(extra.begin(), extra.end(), last.extra.begin(), last.extra.end()))
    return false;
  const int rows = row - last.row;
  const int columns = column - last.column;
  size_t at = 0;
  for (const ReadReference& r : last.refs) {
    const size_t fields = r.isArea ? 8 : 4;
    if (r.tokenAt < at || r.tokenAt + fields > tokens.size() ||
        !std::equal(tokens.begin() + static_cast<std::ptrdiff_t>(at),
                    tokens.begin() + static_cast<std::ptrdiff_t>(r.tokenAt),
                    last.tokens.begin() + static_cast<std::ptrdiff_t>(at)))
      return false;
    // The fields as the moved reference has them; the flags stay.
    std::uint8_t expected[8];
    std::copy_n(last.tokens.begin() + static_cast<std::ptrdiff_t>(r.tokenAt), fields, expected);
    const auto moveRow = [&](const formula::RefCorner& c, std::uint8_t* b) {
      const int v = c.rowAbsolute ? c.row : c.row + rows;
      b[0] = static_cast<std::uint8_t>(v & 0xFF);
      b[1] = static_cast<std::uint8_t>(v >> 8);
      return v >= 0 && v <= model::kMaxRow;
    };
    const auto moveColumn = [&](const formula::RefCorner& c, std::uint8_t* b) {
      const int v = c.columnAbsolute ? c.column : c.column + columns;
      b[0] = static_cast<std::uint8_t>(v & 0xFF);
      return v >= 0 && v <= model::kMaxColumn;
    };
    const bool inSheet = r.isArea ? moveRow(r.first, expected) && moveRow(r.last, expected + 2) &&
                                        moveColumn(r.first, expected + 4) && moveColumn(r.last, expected + 6)
                                  : moveRow(r.first, expected) && moveColumn(r.first, expected + 2);
    if (!inSheet || !std::equal(expected, expected + fields, tokens.begin() + static_cast<std::ptrdiff_t>(r.tokenAt)))
      return false;
    at = r.tokenAt + fields;
  }
  if (!std::equal(tokens.begin() + static_cast<std::ptrdiff_t>(at), tokens.end(),
                  last.tokens.begin() + static_cast<std::ptrdiff_t>(at)))
    return false;
  out.clear();
  size_t s = 0;
  char16_t written[formula::kMaxWrittenReference];
  for (const formula::WrittenReference& w : last.spans) {
    out.append(last.text, s, w.begin - s);
    const size_t n = formula::writeMovedReference(w, rows, columns, written);
    if (n == 0)
      return false;
    out.append(written, n);
    s = w.end;
  }
  out.append(last.text, s);
  return out.size() <= kMaxFormulaTextLength;
}

std::u16string Reader::cellFormulaText(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> extra,
                                       int row, int column) {
  if (m_version != 8)
    return formulaText(tokens, extra, row, column);
  if (m_lastRead.empty())
    m_lastRead.resize(model::kColumnCount);
  ReadFormula& last = m_lastRead[static_cast<size_t>(column) & 0xFF];
  std::u16string text;
  if (movedText(last, tokens, extra, row, column, text))
    return text;
  bool plain = false;
  if (!tokensToFormulaText(tokens, extra, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                           tokenContext(), text, m_readRefs, plain))
    return {};
  if (plain && findReferences(text, m_readRefs, last.spans)) {
    last.tokens.assign(tokens.begin(), tokens.end());
    last.extra.assign(extra.begin(), extra.end());
    last.text = text;
    last.sheet = m_currentSheet;
    last.row = row;
    last.column = column;
    last.refs = m_readRefs;
  }
  return text;
}

std::u16string Reader::formulaText(std::span<const std::uint8_t> tokens,
                                   std::span<const std::uint8_t> extra, int row, int column) {
  const TokenContext ctx = tokenContext();
  std::u16string text;
  if (!tokensToFormulaText(tokens, extra, static_cast<std::uint16_t>(row),
                           static_cast<std::uint8_t>(column), ctx, text))
    return {};
  return text;
}

bool Reader::run(std::span<const std::uint8_t> stream, ReadInfo& info) {
  // Label tokens copy cell texts into formulas: all of them together may
  // copy a small multiple of the file, never a text per token.
  m_labelBudget = 8 * stream.size() + (size_t{1} << 20);
  RecordStream rs(stream);
  Record r;
  bool sawGlobals = false;
  while (!sawGlobals && rs.next(r)) {
    if (!isBof(r.id))
      continue;
    ByteCursor c(r.body);
    std::uint16_t versionWord = 0, type = 0;
    (void)c.u16(versionWord);
    (void)c.u16(type);
    if (type == kSubstreamGlobals) {
      sawGlobals = true;
      if (r.id == rtBOF2)
        m_version = 2;
      else if (r.id == rtBOF3)
        m_version = 3;
      else if (r.id == rtBOF4)
        m_version = 4;
      else
        m_version = (versionWord >> 8) == 5 ? 7 : 8;
      info.version = m_version;
      if (!readGlobals(rs)) {
        info.status = refusal();
        return false;
      }
      readSheets(rs);
      break;
    }
    if (type != kSubstreamWorksheet && type != kSubstreamMacro)
      continue;
    // A file of one sheet carries its fonts and formats inside the sheet.
    m_version = r.id == rtBOF2 ? 2 : r.id == rtBOF3 ? 3 : r.id == rtBOF4 ? 4 : 7;
    info.version = m_version;
    m_singleSheet = true;
    sawGlobals = true;
    auto sheet = std::make_unique<model::Sheet>();
    model::sheet_init(*sheet, type == kSubstreamMacro ? model::SheetKind::Macro
                                                       : model::SheetKind::Worksheet);
    sheet->name = u"Sheet1";
    m_book.sheets.push_back(std::move(sheet));
    m_boundSheets = 1;
    const bool ok = readSheet(rs, 0);
    finishGlobals();
    if (!ok) {
      info.status = refusal();
      return false;
    }
  }
  if (!sawGlobals) {
    info.status = ReadStatus::Damaged;
    return false;
  }
  keepOneNamePerScope();
  if (m_book.sheets.empty()) {
    info.status = ReadStatus::Damaged;
    return false;
  }
  m_book.activeSheet = std::clamp(m_activeSheet, 0, m_book.sheetCount() - 1);
  // 8-bit text is saved again in the code page it was read with, not the
  // system's: an Excel 95 save must give back what this file held.
  if (m_version < 8)
    m_book.codePage = static_cast<std::uint16_t>(m_codePage);
  return true;
}

// Sheets follow the globals in BOUNDSHEET order. Each BOUNDSHEET also says
// where its substream starts; where the sequence and that position disagree
// (a writer that nested a chart's BOF without closing it, so that skipping
// the chart swallowed the next sheet) the position is trusted, and no
// substream reads past the start of another.
void Reader::readSheets(RecordStream& rs) {
  const int count = m_book.sheetCount();
  constexpr size_t kNone = static_cast<size_t>(-1);
  std::vector<size_t> trusted(static_cast<size_t>(count), kNone);
  std::vector<size_t> starts;
  for (int i = 0; i < count && static_cast<size_t>(i) < m_sheetOffsets.size(); ++i) {
    const size_t at = m_sheetOffsets[static_cast<size_t>(i)];
    // A sheet's kind is the substream type of its BOF.
    if (at < m_globalsEnd || rs.bofTypeAt(at) != static_cast<int>(m_book.sheet(i).kind))
      continue;
    trusted[static_cast<size_t>(i)] = at;
    starts.push_back(at);
  }
  std::sort(starts.begin(), starts.end());
  // Two sheets that claim one substream trust neither claim.
  std::vector<size_t> unique;
  for (size_t k = 0; k < starts.size(); ++k)
    if ((k == 0 || starts[k] != starts[k - 1]) && (k + 1 == starts.size() || starts[k] != starts[k + 1]))
      unique.push_back(starts[k]);
  for (size_t& t : trusted)
    if (t != kNone && !std::binary_search(unique.begin(), unique.end(), t))
      t = kNone;
  const size_t streamEnd = static_cast<size_t>(-1);
  int leftOut = 0;
  for (int i = 0; i < count; ++i) {
    rs.setLimit(streamEnd);
    size_t sequential = kNone;
    while (rs.peekId() != 0) {
      if (isBof(rs.peekId())) {
        sequential = rs.position();
        break;
      }
      Record skipped;
      if (!rs.next(skipped))
        break;
    }
    size_t start = sequential;
    const size_t claimed = trusted[static_cast<size_t>(i)];
    if (claimed != kNone && claimed != sequential)
      start = claimed;
    if (start == kNone) {
      leftOut = count - i;
      break;
    }
    rs.seek(start);
    const auto after = std::upper_bound(unique.begin(), unique.end(), start);
    rs.setLimit(after == unique.end() ? streamEnd : *after);
    Record bof;
    if (!rs.next(bof)) {
      leftOut = count - i;
      break;
    }
    ByteCursor c(bof.body);
    std::uint16_t versionWord = 0, type = 0;
    (void)c.u16(versionWord);
    (void)c.u16(type);
    if (type == kSubstreamWorksheet || type == kSubstreamMacro || type == kSubstreamModule) {
      // A sheet type this program does not know is what its substream says,
      // so that the cells it holds are saved again.
      model::Sheet& sheet = m_book.sheet(i);
      if (sheet.kind == model::SheetKind::Module && type != kSubstreamModule)
        sheet.kind = type == kSubstreamMacro ? model::SheetKind::Macro : model::SheetKind::Worksheet;
      (void)readSheet(rs, i);
    } else if (type == kSubstreamChart && m_book.sheet(i).kind == model::SheetKind::Chart) {
      m_currentSheet = i;
      charts::setSheetChart(m_book.sheet(i), readChart(rs));
    } else {
      // Anything else is skipped whole, nested substreams included.
      int depth = 1;
      Record r;
      while (depth > 0 && rs.next(r)) {
        if (isBof(r.id))
          ++depth;
        else if (r.id == rtEOF)
          --depth;
      }
    }
  }
  rs.setLimit(streamEnd);
  if (leftOut > 0)
    m_sheetsLeftOut = leftOut;
}

charts::ChartModel Reader::readChart(RecordStream& rs) {
  std::vector<ChartRecord> records;
  Record r;
  int depth = 1;
  bool first = true;
  while (rs.next(r)) {
    // Some writers repeat the chart's BOF at once: that is no nesting.
    if (isBof(r.id)) {
      if (!first)
        ++depth;
      first = false;
      continue;
    }
    first = false;
    if (r.id == rtEOF && --depth == 0)
      break;
    if (depth == 1)
      records.push_back({r.id, r.body});
  }
  ChartReadContext ctx;
  ctx.tokens.book = &m_book;
  ctx.tokens.version = m_version == 8 ? 8 : 7;
  ctx.tokens.fileKind = 2;
  ctx.tokens.codePage = m_version < 8 ? m_codePage : 0;
  ctx.tokens.links = &m_links;
  ctx.tokens.labelBudget = &m_labelBudget;
  ctx.readChars = [this](ByteCursor& c, size_t n, std::u16string& out) { return readChars(c, n, out); };
  return readChartRecords(records, ctx);
}

// Names are kept per scope: a sheet's local name and the workbook's global
// name of the same text both stay, and formulas find their own sheet's first.
// Within one scope the last of equal names survives (built-in names
// excepted), and the AutoFilter's own name is not kept.
namespace {

// A name's folded text and scope: equal for names that are one.
std::u16string scopeKey(const model::DefinedName& n) {
  std::u16string k = platform::foldCase(n.name);
  k += u'\0';
  k += static_cast<char16_t>(n.sheetIndex & 0xFFFF);
  k += static_cast<char16_t>((n.sheetIndex >> 16) & 0xFFFF);
  return k;
}

} // namespace

// Names of one scope whose texts differ at most in case are one name, the
// last: formulas read afterwards spell any of them as that one is spelled,
// which is also how saving finds it again.
void Reader::spellNamesAsTheLastOfTheirText() {
  std::unordered_map<std::u16string, size_t> last;
  last.reserve(m_book.names.size());
  for (size_t i = 0; i < m_book.names.size(); ++i)
    last[scopeKey(m_book.names[i])] = i;
  for (size_t i = 0; i < m_book.names.size(); ++i) {
    const size_t j = last[scopeKey(m_book.names[i])];
    if (j != i)
      m_book.names[i].name = m_book.names[j].name;
  }
  model::names_changed(m_book);
}

void Reader::keepOneNamePerScope() {
  std::unordered_map<std::u16string, size_t> last; // folded text and scope -> index
  last.reserve(m_book.names.size());
  auto key = scopeKey;
  for (size_t i = 0; i < m_book.names.size(); ++i)
    last[key(m_book.names[i])] = i;
  std::vector<model::DefinedName> kept;
  kept.reserve(m_book.names.size());
  for (size_t i = 0; i < m_book.names.size(); ++i) {
    model::DefinedName& n = m_book.names[i];
    if (n.name == u"_FilterDatabase" || (i < m_placeholderName.size() && m_placeholderName[i]))
      continue;
    const bool builtin = std::find(std::begin(model::kBuiltinNameTexts),
                                   std::end(model::kBuiltinNameTexts),
                                   n.name) != std::end(model::kBuiltinNameTexts);
    if (builtin || last[key(n)] == i)
      kept.push_back(std::move(n));
  }
  m_book.names = std::move(kept);
  model::names_changed(m_book);
}

bool Reader::readGlobals(RecordStream& rs) {
  Record r;
  while (rs.next(r)) {
    joinContinued(rs, r, m_joined);
    if (r.id == rtEOF) {
      m_globalsEnd = rs.position();
      finishGlobals();
      return true;
    }
    if (!globalRecord(rs, r))
      return false;
  }
  // The stream ended inside the globals: what was read stands.
  m_globalsEnd = rs.position();
  finishGlobals();
  return !m_book.sheets.empty();
}

bool Reader::globalRecord(RecordStream& rs, const Record& r) {
  {
    ByteCursor c(r.body);
    switch (r.id) {
    case rtMSODRAWINGGROUP: {
      // Its bytes go on in CONTINUE records, or in more of its own kind.
      const std::vector<std::uint8_t> body = continuedBody(rs, r);
      if (m_drawingGroup.size() < (size_t{256} << 20))
        m_drawingGroup.insert(m_drawingGroup.end(), body.begin(), body.end());
      break;
    }
    case rtFILEPASS:
      m_encrypted = true;
      showMessage(kMessagePasswordProtected);
      return false;
    case rtCODEPAGE: {
      std::uint16_t cp = 0;
      if (c.u16(cp)) {
        m_book.fileCodePage = cp;
        // 1200 marks UTF-16 text; 32768 and 32769 are the old files' names
        // for Mac Roman and Windows Latin; other pages convert when known.
        const int page = cp == 32768 ? 10000 : cp == 32769 ? 1252 : cp;
        if (cp != 1200 && platform::isSupportedCodePage(page)) {
          m_codePage = page;
          m_book.codePage = static_cast<std::uint16_t>(page);
        } else if (cp != 1200 && m_version < 8) {
          // Before BIFF8 every text is in this code page: read with another
          // one they would all be wrong, and nothing would say so.
          m_unsupportedCodePage = true;
          std::u16string message(kMessageUnsupportedCodePage);
          message.replace(message.find(u"%d"), 2, platform::fromUtf8(std::to_string(page)));
          showMessage(message);
          return false;
        }
      }
      break;
    }
    case rt1904: {
      std::uint16_t v = 0;
      if (c.u16(v))
        m_book.date1904 = v != 0;
      break;
    }
    case rtCOUNTRY: {
      std::uint16_t defaultCountry = 0, systemCountry = 0;
      if (c.u16(defaultCountry) && c.u16(systemCountry)) {
        m_book.defaultCountry = defaultCountry;
        m_book.systemCountry = systemCountry;
      }
      break;
    }
    case rtWRITEACCESS: readWriteAccess(c); break;
    case rtWINDOW1: {
      std::uint16_t skip, options = 0, active = 0;
      if (c.u16(skip) && c.u16(skip) && c.u16(skip) && c.u16(skip) && c.u16(options) &&
          c.u16(active)) {
        m_book.showSheetTabs = (options & 0x20) != 0;
        m_book.showVerticalScrollBar = (options & 0x10) != 0;
        m_book.showHorizontalScrollBar = (options & 0x08) != 0;
        m_activeSheet = active;
      }
      break;
    }
    case rtPALETTE: {
      std::uint16_t count = 0;
      if (!c.u16(count))
        break;
      for (int k = 0; k < count && 8 + k < 64; ++k) {
        std::uint8_t red, green, blue, unused;
        if (!(c.u8(red) && c.u8(green) && c.u8(blue) && c.u8(unused)))
          break;
        m_book.palette[static_cast<size_t>(8 + k)] =
            red | (static_cast<std::uint32_t>(green) << 8) | (static_cast<std::uint32_t>(blue) << 16);
      }
      break;
    }
    case rtFONT:
    case 0x0231: readFont(c); break;
    case rtXF:
    case 0x0043:
    case 0x0243:
    case 0x0443: readXf(c); break;
    case rtFORMAT:
    case 0x001E: readFormat(c); break;
    case rtSTYLE: {
      std::uint16_t xf = 0;
      std::uint8_t style = 0, level = 255;
      if (c.u16(xf) && (xf & 0x8000) && c.u8(style)) {
        (void)c.u8(level);
        if (m_book.styles.size() < 0x10000)
          m_book.styles.push_back({xf, style, level});
      }
      break;
    }
    case rtBOUNDSHEET: readBoundSheet(c); break;
    case rtNAME:
    case 0x0218: readName(c); break;
    case rtSST: readSst(rs, r); break;
    case rtEXTERNSHEET:
      if (m_version == 8)
        m_externSheet.assign(r.body.begin(), r.body.end());
      break;
    case rtSUPBOOK: m_supbooks.emplace_back(r.body.begin(), r.body.end()); break;
    case rtEXTERNNAME:
    case 0x0223: {
      std::uint16_t options = 0;
      std::u16string name;
      if (c.u16(options) && c.skip(4) && readString8(c, name))
        m_externNames.emplace_back(static_cast<int>(m_supbooks.size()) - 1, name);
      break;
    }
    default: break;
    }
  }
  return true;
}

void Reader::finishGlobals() {
  m_links = LinkTable{};
  if (m_version == 8) {
    ByteCursor c(m_externSheet);
    std::uint16_t count = 0;
    if (c.u16(count))
      for (int i = 0; i < count; ++i) {
        ExternSheetEntry e;
        if (!(c.u16(e.book) && c.u16(e.firstSheet) && c.u16(e.lastSheet)))
          break;
        m_links.externSheets.push_back(e);
      }
    m_links.externalBooks.resize(m_supbooks.size());
    for (size_t b = 0; b < m_supbooks.size(); ++b) {
      if (isAddInSupportingBook(m_supbooks[b])) {
        if (m_links.addInBook < 0)
          m_links.addInBook = static_cast<int>(b);
      } else if (isOwnSupportingBook(m_supbooks[b])) {
        if (m_links.ownBook < 0)
          m_links.ownBook = static_cast<int>(b);
      } else {
        m_links.externalBooks[b] = externalBookOf(m_supbooks[b]);
      }
    }
  }
  for (const auto& [book, name] : m_externNames) {
    if (m_version == 8 && book >= 0 && static_cast<size_t>(book) < m_links.externalBooks.size() &&
        m_links.externalBooks[static_cast<size_t>(book)])
      m_links.externalBooks[static_cast<size_t>(book)]->names.push_back(name);
    if (m_version != 8 || book == m_links.addInBook) {
      m_links.externNames.push_back(name);
      // Add-in functions the formulas call are listed with the workbook, so
      // that saving can write them again.
      if (m_version == 8 && formula::findFunction(name) &&
          formula::isAddIn(*formula::findFunction(name)))
        model::addAddInName(m_book, name);
    }
  }
  spellNamesAsTheLastOfTheirText();
  // A definition is read in its name's scope: names local to that sheet
  // are plain words in it, those of other sheets carry their sheet.
  const int outerSheet = m_currentSheet;
  for (size_t i = 0; i < m_book.names.size() && i < m_nameTokens.size(); ++i) {
    const std::vector<std::uint8_t>& tokens = m_nameTokens[i];
    m_currentSheet = m_book.names[i].sheetIndex - 1;
    std::u16string text = formulaText(tokens, m_nameExtra[i], 0, 0);
    m_currentSheet = outerSheet;
    // A definition that cannot be read stands for nothing a formula can use;
    // it says so, and is saved as it reads.
    if (text.empty() && !tokens.empty())
      text = u"=#REF!";
    m_book.names[i].formula = std::move(text);
  }
}

// The user name is kept as 8-bit bytes, the form it is written in; the
// record's padding is not kept. A UTF-16 name keeps what fits a byte.
void Reader::readWriteAccess(ByteCursor c) {
  std::uint16_t count = 0;
  std::uint8_t option = 0;
  if (m_version >= 8) {
    if (!(c.u16(count) && c.u8(option)))
      return;
  } else {
    std::uint8_t n = 0;
    if (!c.u8(n))
      return;
    count = n;
  }
  const size_t limit = std::min<size_t>(count, m_version >= 8 ? 109 : 31);
  const std::span<const std::uint8_t> rest = c.rest();
  std::vector<std::uint8_t> name;
  if (option & 0x01) {
    for (size_t i = 0; i + 1 < rest.size() && name.size() < limit; i += 2) {
      const unsigned ch = rest[i] | (rest[i + 1] << 8);
      name.push_back(ch < 0x100 ? static_cast<std::uint8_t>(ch) : '?');
    }
  } else {
    name.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(std::min(limit, rest.size())));
  }
  m_book.writeAccess = std::move(name);
}

void Reader::readFont(ByteCursor c) {
  if (m_firstFont) {
    m_book.fonts.clear();
    m_firstFont = false;
  }
  model::Font f;
  std::uint16_t height = 200, options = 0, colour = model::kAutomaticFontColour, weight = 400,
                escapement = 0;
  std::uint8_t underline = 0, family = 0, charset = 0, reserved = 0;
  if (!c.u16(height) || !c.u16(options))
    return;
  if (m_version >= 3)
    (void)c.u16(colour);
  if (m_version >= 5) {
    (void)(c.u16(weight) && c.u16(escapement) && c.u8(underline) && c.u8(family) &&
           c.u8(charset) && c.u8(reserved));
  }
  f.heightTwips = height;
  f.attributes = static_cast<std::uint16_t>(options & (model::kFontItalic | model::kFontStrikeOut));
  f.colourIndex = colour;
  f.weight = weight;
  f.underline = underline;
  f.pitchAndFamily = family;
  f.charSet = charset;
  std::u16string face;
  if (readString8(c, face) && !face.empty())
    f.face = face.substr(0, 31);
  m_book.fonts.push_back(f);
}

void Reader::readXf(ByteCursor c) {
  if (m_firstXf) {
    m_book.cellFormats.clear();
    m_book.styles.clear();
    m_firstXf = false;
  }
  if (m_book.cellFormats.size() >= 0xFFFF)
    return;
  model::CellFormat f;
  if (m_version < 5) {
    (void)readOldXf(c, f);
    m_book.cellFormats.push_back(f);
    return;
  }
  std::uint16_t font = 0, format = 0, type = 0;
  if (!c.u16(font) || !c.u16(format) || !c.u16(type)) {
    m_book.cellFormats.push_back(f);
    return;
  }
  // Font index 4 does not exist in files: later indexes step over it.
  f.fontIndex = font > 4 ? static_cast<std::uint16_t>(font - 1) : font;
  f.numberFormatIndex = model::numberFormatPosition(m_book, format) >= 0 ? format : 0;
  f.flags = bitIf(type & 0x0001, model::kFormatLocked) |
            bitIf(type & 0x0002, model::kFormatFormulaHidden) |
            bitIf(type & 0x0004, model::kFormatStyle) | bitIf(type & 0x0008, 1u << 3);
  std::uint8_t align = 0;
  if (c.u8(align)) {
    f.horizontalAlignment = align & 0x07;
    if (align & 0x08)
      f.flags |= model::kFormatWrapText;
    f.verticalAlignment = (align >> 4) & 0x07;
  }
  if (m_version == 8) {
    std::uint8_t rotation, indent, used;
    std::uint32_t border1 = 0, border2 = 0;
    std::uint16_t fill = 0;
    if (c.u8(rotation) && c.u8(indent) && c.u8(used) && c.u32(border1) && c.u32(border2) &&
        c.u16(fill)) {
      f.borders[0] = {static_cast<std::uint8_t>(border1 & 0x0F),
                      static_cast<std::uint8_t>((border1 >> 16) & 0x7F)};
      f.borders[1] = {static_cast<std::uint8_t>((border1 >> 4) & 0x0F),
                      static_cast<std::uint8_t>((border1 >> 23) & 0x7F)};
      f.borders[2] = {static_cast<std::uint8_t>((border1 >> 8) & 0x0F),
                      static_cast<std::uint8_t>(border2 & 0x7F)};
      f.borders[3] = {static_cast<std::uint8_t>((border1 >> 12) & 0x0F),
                      static_cast<std::uint8_t>((border2 >> 7) & 0x7F)};
      f.fillPattern = static_cast<std::uint8_t>((border2 >> 26) & 0x3F);
      f.patternColour = static_cast<std::uint8_t>(fill & 0x7F);
      f.backgroundColour = static_cast<std::uint8_t>((fill >> 7) & 0x7F);
    }
  } else if (m_version == 7) {
    std::uint8_t orientation;
    std::uint32_t fill = 0, border = 0;
    if (c.u8(orientation) && c.u32(fill) && c.u32(border)) {
      f.patternColour = static_cast<std::uint8_t>(fill & 0x7F);
      f.backgroundColour = static_cast<std::uint8_t>((fill >> 7) & 0x7F);
      f.fillPattern = static_cast<std::uint8_t>((fill >> 16) & 0x3F);
      f.borders[3] = {static_cast<std::uint8_t>((fill >> 22) & 0x07),
                      static_cast<std::uint8_t>((fill >> 25) & 0x7F)};
      f.borders[2] = {static_cast<std::uint8_t>(border & 0x07),
                      static_cast<std::uint8_t>((border >> 9) & 0x7F)};
      f.borders[0] = {static_cast<std::uint8_t>((border >> 3) & 0x07),
                      static_cast<std::uint8_t>((border >> 16) & 0x7F)};
      f.borders[1] = {static_cast<std::uint8_t>((border >> 6) & 0x07),
                      static_cast<std::uint8_t>((border >> 23) & 0x7F)};
    }
  }
  // A solid fill shows the file's pattern (foreground) colour, as it does
  // here: the fields are taken as they stand, never exchanged.
  m_book.cellFormats.push_back(f);
}

// The layouts before Excel 95: one or two bytes for the font and the format
// (the format by its order in the file), then per version the protection,
// alignment, fill and borders.
bool Reader::readOldXf(ByteCursor c, model::CellFormat& f) {
  std::uint8_t font = 0, format = 0;
  if (!c.u8(font))
    return false;
  auto fontIndex = [](std::uint8_t i) { return static_cast<std::uint16_t>(i > 4 ? i - 1 : i); };
  auto numberFormat = [&](std::uint8_t order) {
    return order < m_orderedFormats.size() ? m_orderedFormats[order] : std::uint16_t{0};
  };
  // Five-bit colours: 24 and 25 are the window's text and background.
  auto colour = [](std::uint32_t c) {
    c &= 0x1F;
    return static_cast<std::uint8_t>(c == 24 ? 64 : c == 25 ? 65 : c);
  };
  f.fontIndex = fontIndex(font);
  if (m_version == 2) {
    std::uint8_t attributes = 0, borders = 0;
    if (!c.skip(1) || !c.u8(attributes) || !c.u8(borders))
      return false;
    f.numberFormatIndex = numberFormat(attributes & 0x3F);
    f.flags = bitIf(attributes & 0x40, model::kFormatLocked) |
              bitIf(attributes & 0x80, model::kFormatFormulaHidden);
    f.horizontalAlignment = borders & 0x07;
    // Borders are on or off, thin and black; shading is one grey pattern.
    const int sides[] = {0x08, 0x10, 0x20, 0x40}; // left, right, top, bottom
    for (size_t i = 0; i < 4; ++i)
      if (borders & sides[i])
        f.borders[i] = {1, 8};
    if (borders & 0x80)
      f.fillPattern = 17;
    return true;
  }
  std::uint8_t type = 0, align = 0;
  std::uint16_t fill = 0;
  std::uint32_t border = 0;
  if (!c.u8(format))
    return false;
  if (m_version == 3) {
    std::uint16_t alignment = 0;
    if (!c.u8(type) || !c.skip(1) || !c.u16(alignment))
      return false;
    align = static_cast<std::uint8_t>(alignment & 0x0F);
  } else {
    std::uint16_t typeWord = 0;
    if (!c.u16(typeWord) || !c.u8(align) || !c.skip(1))
      return false;
    type = static_cast<std::uint8_t>(typeWord);
    f.verticalAlignment = (align >> 4) & 0x03;
  }
  f.numberFormatIndex = numberFormat(format);
  f.flags = bitIf(type & 0x01, model::kFormatLocked) |
            bitIf(type & 0x02, model::kFormatFormulaHidden) |
            bitIf(type & 0x04, model::kFormatStyle);
  f.horizontalAlignment = align & 0x07;
  if (align & 0x08)
    f.flags |= model::kFormatWrapText;
  if (!c.u16(fill) || !c.u32(border))
    return true; // a record cut short keeps what it had
  f.fillPattern = static_cast<std::uint8_t>(fill & 0x3F);
  f.patternColour = colour(fill >> 6);
  f.backgroundColour = colour(fill >> 11);
  auto side = [&](int shift) {
    return model::Border{static_cast<std::uint8_t>((border >> shift) & 0x07),
                         colour(border >> (shift + 3))};
  };
  f.borders[2] = side(0);  // top
  f.borders[0] = side(8);  // left
  f.borders[3] = side(16); // bottom
  f.borders[1] = side(24); // right
  return true;
}

void Reader::readFormat(ByteCursor c) {
  std::uint16_t index = 0;
  std::u16string code;
  if (m_version >= 5) {
    if (!c.u16(index))
      return;
  } else if (m_version == 4 && !c.skip(2)) {
    return;
  }
  const bool ok = m_version == 8 ? readString16(c, code) : readString8(c, code);
  if (!ok)
    return;
  if (m_version < 5) {
    m_orderedFormats.push_back(orderedFormatIndex(code));
    return;
  }
  const int pos = model::numberFormatPosition(m_book, index);
  if (pos >= 0) {
    model::NumberFormat& f = m_book.numberFormats[static_cast<size_t>(pos)];
    f.code = code;
    f.displayCode = code;
  } else {
    m_book.numberFormats.push_back({index, 0, code, code});
  }
}

// Older files list every format they use, built-in ones included, by code:
// a built-in code keeps its built-in index (so it is saved as one), another
// takes the workbook's next free index for added formats.
std::uint16_t Reader::orderedFormatIndex(const std::u16string& code) {
  for (const numfmt::BuiltinFormat& b : numfmt::kBuiltinFormats)
    if (b.code == code)
      return b.index;
  std::uint16_t next = 164;
  for (const model::NumberFormat& f : m_book.numberFormats) {
    if (!(f.flags & model::kNumberFormatBuiltin) && f.code == code)
      return f.index;
    if (f.index >= next)
      next = static_cast<std::uint16_t>(f.index + 1);
  }
  m_book.numberFormats.push_back({next, 0, code, code});
  return next;
}

void Reader::readName(ByteCursor c) {
  std::uint16_t options = 0, tokenBytes = 0, ixals = 0, itab = 0;
  std::uint8_t key = 0, nameLength = 0, l1, l2, l3, l4;
  if (!(c.u16(options) && c.u8(key) && c.u8(nameLength) && c.u16(tokenBytes)))
    return;
  if (m_version >= 5 && !(c.u16(ixals) && c.u16(itab) && c.u8(l1) && c.u8(l2) && c.u8(l3) && c.u8(l4)))
    return;
  model::DefinedName n;
  n.flags = (options & 0x0008) ? model::kNameCommandMacro : 0;
  n.shortcut = key;
  n.sheetIndex = itab;
  std::u16string text;
  if (!readChars(c, nameLength, text))
    return;
  if ((options & 0x0020) && !text.empty()) {
    // A built-in name stores its code in place of the text.
    const size_t code = text[0];
    n.name = code < std::size(model::kBuiltinNameTexts) ? std::u16string(model::kBuiltinNameTexts[code])
                                                        : text;
  } else {
    n.name = text;
  }
  if (text.size() > formula::kLaterPrefix.size() &&
      platform::equalsIgnoreCase(std::u16string_view(text).substr(0, formula::kLaterPrefix.size()),
                                 formula::kLaterPrefix))
    n.flags |= model::kNameLaterFunction;
  std::span<const std::uint8_t> tokens;
  if (!c.bytes(std::min<size_t>(tokenBytes, c.remaining()), tokens))
    return;
  n.fileBytes.assign(tokens.begin(), tokens.end());
  m_nameTokens.emplace_back(tokens.begin(), tokens.end());
  m_nameExtra.emplace_back(c.rest().begin(), c.rest().end());
  m_book.names.push_back(std::move(n));
  // A hidden name defined as #NAME? only stands for a name that formulas use
  // and nothing defines: their text keeps the name, the list does not.
  // A later version's function name ("_xlfn.IFERROR") is defined so too, but
  // formulas call through it: it stays, as the name saving calls through.
  m_placeholderName.push_back(!(m_book.names.back().flags & model::kNameLaterFunction) &&
                              (options & 0x0001) && tokens.size() == 2 && tokens[0] == ptgErr &&
                              tokens[1] == 0x1D);
}

void Reader::readBoundSheet(ByteCursor c) {
  std::uint32_t position = 0;
  std::uint8_t visibility = 0, type = 0;
  std::u16string name;
  if (m_version >= 5) {
    if (!(c.u32(position) && c.u8(visibility) && c.u8(type)))
      return;
  }
  if (!readString8(c, name))
    return;
  if (m_book.sheetCount() >= model::kMaxSheets)
    return;
  model::SheetKind kind = model::SheetKind::Worksheet;
  switch (type) {
  case 0: kind = model::SheetKind::Worksheet; break;
  case 1: kind = model::SheetKind::Macro; break;
  case 2: kind = model::SheetKind::Chart; break;
  default: kind = model::SheetKind::Module; break;
  }
  auto sheet = std::make_unique<model::Sheet>();
  model::sheet_init(*sheet, kind);
  // Names longer than this program would let a user type are kept as the
  // file has them; an empty or repeated one is made unique by a suffix.
  // The names taken are kept folded in a set, and each base remembers the
  // suffix it reached, so that thousands of sheets cost linear time.
  std::u16string folded = platform::foldCase(name);
  if (name.empty() || m_sheetNames.contains(folded)) {
    const std::u16string base = name.empty() ? u"Sheet" : name.substr(0, 27);
    int& k = m_nextSuffix.try_emplace(platform::foldCase(base), 2).first->second;
    for (;; ++k) {
      std::u16string candidate = base + u"(" + platform::fromUtf8(std::to_string(k)) + u")";
      folded = platform::foldCase(candidate);
      if (!m_sheetNames.contains(folded)) {
        name = std::move(candidate);
        break;
      }
    }
  }
  m_sheetNames.insert(std::move(folded));
  sheet->name = name;
  sheet->hidden = visibility & 0x03;
  m_book.sheets.push_back(std::move(sheet));
  m_sheetOffsets.push_back(position);
  ++m_boundSheets;
}

// The shared string table runs on in CONTINUE records; a string whose
// characters cross into one restarts with a fresh option byte there.
void Reader::readSst(RecordStream& rs, const Record& first) {
  std::vector<std::span<const std::uint8_t>> parts{first.body};
  while (rs.peekId() == rtCONTINUE) {
    Record r;
    if (!rs.next(r))
      break;
    parts.push_back(r.body);
  }
  size_t part = 0, pos = 0;
  auto advancePart = [&]() {
    while (part < parts.size() && pos >= parts[part].size()) {
      ++part;
      pos = 0;
    }
    return part < parts.size();
  };
  auto byte = [&](std::uint8_t& b) {
    if (!advancePart())
      return false;
    b = parts[part][pos++];
    return true;
  };
  auto u16 = [&](std::uint16_t& v) {
    std::uint8_t a, b;
    if (!byte(a) || !byte(b))
      return false;
    v = static_cast<std::uint16_t>(a | (b << 8));
    return true;
  };
  auto u32 = [&](std::uint32_t& v) {
    std::uint16_t a, b;
    if (!u16(a) || !u16(b))
      return false;
    v = a | (static_cast<std::uint32_t>(b) << 16);
    return true;
  };
  std::uint32_t total = 0, unique = 0;
  if (!u32(total) || !u32(unique))
    return;
  // The count is only a hint: a file that claims more than it holds stops early.
  m_sstValues.reserve(m_sstValues.size() + std::min<std::uint32_t>(unique, 1u << 20));
  std::u16string text;
  for (std::uint32_t i = 0; i < unique; ++i) {
    std::uint16_t count = 0;
    std::uint8_t option = 0;
    if (!u16(count) || !byte(option))
      return;
    std::uint16_t runs = 0;
    std::uint32_t ext = 0;
    if ((option & 0x08) && !u16(runs))
      return;
    if ((option & 0x04) && !u32(ext))
      return;
    text.clear();
    bool wide = option & 0x01;
    std::string narrow;
    auto flushNarrow = [&]() {
      if (narrow.empty())
        return;
      std::u16string converted;
      // BIFF8 8-bit characters are widened; BIFF5 ones are code-page text.
      if (m_version < 8 && platform::toUtf16(m_codePage, narrow, converted))
        text += converted;
      else
        for (unsigned char ch : narrow)
          text += static_cast<char16_t>(ch);
      narrow.clear();
    };
    while (text.size() + narrow.size() < count) {
      if (part < parts.size() && pos >= parts[part].size()) {
        // Characters continue in the next record, after their own option byte.
        flushNarrow();
        if (!advancePart())
          break;
        std::uint8_t o = 0;
        if (!byte(o))
          break;
        wide = o & 0x01;
        continue;
      }
      if (part >= parts.size())
        break;
      // The characters that lie in this record are taken in one go.
      const std::uint8_t* at = parts[part].data() + pos;
      const size_t avail = parts[part].size() - pos;
      const size_t want = count - (text.size() + narrow.size());
      if (wide) {
        const size_t n = std::min(want, avail / 2);
        if (n == 0) {
          // A character split by the record boundary reads its high byte from
          // the next record.
          std::uint16_t ch;
          if (!u16(ch))
            break;
          text += static_cast<char16_t>(ch);
          continue;
        }
        const size_t old = text.size();
        text.resize(old + n);
        for (size_t k = 0; k < n; ++k)
          text[old + k] = static_cast<char16_t>(at[2 * k] | (at[2 * k + 1] << 8));
        pos += 2 * n;
      } else {
        const size_t n = std::min(want, avail);
        if (m_version < 8) {
          narrow.append(reinterpret_cast<const char*>(at), n);
        } else {
          const size_t old = text.size();
          text.resize(old + n);
          for (size_t k = 0; k < n; ++k)
            text[old + k] = static_cast<char16_t>(at[k]);
        }
        pos += n;
      }
    }
    flushNarrow();
    // Each string becomes the value its cells will share.
    m_sstValues.push_back(model::CellValue::string(text));
    // Formatting runs and extended data are skipped, across records too.
    size_t skip = static_cast<size_t>(runs) * 4 + ext;
    while (skip > 0 && advancePart()) {
      const size_t n = std::min(skip, parts[part].size() - pos);
      pos += n;
      skip -= n;
    }
  }
}

// ---- sheets ----

model::CellRecord* Reader::appendCell(model::Sheet& s, std::uint16_t row, std::uint16_t col,
                                      std::u16string_view text, std::uint16_t xf) {
  if (!holdsCell(s, row, col))
    return nullptr;
  model::CellRecord* c = model::append_cell(s.cells, row, static_cast<std::uint8_t>(col), text,
                                            cellFormatIndex(xf));
  c->calcState = model::CalcState::ValueValid;
  return c;
}

Reader::NumberKind Reader::numberKindOfXf(std::uint16_t xf) const {
  if (xf < m_xfKinds.size() && m_xfKinds[xf] != NumberKind::Unknown)
    return m_xfKinds[xf];
  const std::uint16_t format = numberFormatOfXf(xf);
  const std::u16string_view code = model::numberFormatCode(m_book, format);
  NumberKind kind = NumberKind::Plain;
  if ((format >= 14 && format <= 22) || (format >= 45 && format <= 47)) {
    kind = NumberKind::DateTime;
  } else if (format == 9 || format == 10) {
    kind = NumberKind::Percent;
  } else if (format > 49 || (format > 22 && format < 37)) {
    bool quoted = false;
    int bracket = 0;
    for (char16_t ch : code) {
      if (ch == u'"')
        quoted = !quoted;
      else if (!quoted && ch == u'[')
        ++bracket;
      else if (!quoted && ch == u']' && bracket > 0)
        --bracket;
      else if (!quoted && bracket == 0 &&
               std::u16string_view(u"DdHhMmSsYy").find(ch) != std::u16string_view::npos)
        kind = NumberKind::DateTime;
    }
  }
  // Formats are all known by the time cells arrive, so the answer is kept.
  if (m_xfKinds.size() <= xf)
    m_xfKinds.resize(static_cast<size_t>(xf) + 1, NumberKind::Unknown);
  m_xfKinds[xf] = kind;
  return kind;
}

void Reader::numberEntryText(double value, std::uint16_t xf, std::u16string& out) const {
  out.clear();
  const NumberKind kind = numberKindOfXf(xf);
  const bool dateTime = kind == NumberKind::DateTime;
  const platform::LocaleStrings& locale = platform::localeStrings();
  if (dateTime && value >= 0 && value < 2958466) {
    numfmt::FormatOptions options;
    options.date1904 = m_book.date1904 != 0;
    const std::u16string date = numfmt::shortDateCode(locale);
    const bool whole = value == std::floor(value);
    const double seconds = (value - std::floor(value)) * 86400;
    const bool exactMinute = std::fabs(seconds / 60 - std::round(seconds / 60)) < 1e-6;
    const std::u16string time = exactMinute ? u"h:mm" : u"h:mm:ss";
    std::u16string codeText;
    if (value >= 1 && !whole)
      codeText = date + u" " + time;
    else if (value >= 1)
      codeText = date;
    else
      codeText = time;
    out = numfmt::formatNumber(value, codeText, options).text;
    return;
  }
  if (kind == NumberKind::Percent) {
    formula::appendNumberText(value * 100, locale, out);
    out += u'%';
    return;
  }
  formula::appendNumberText(value, locale, out);
}

void Reader::numberCell(model::Sheet& s, std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                        double value) {
  if (!std::isfinite(value))
    value = 0;
  numberEntryText(value, xf, m_entry);
  if (model::CellRecord* c = appendCell(s, row, col, m_entry, xf))
    c->value = model::CellValue::number(value);
}

std::uint8_t Reader::textEntryKind(std::u16string_view text) const {
  formula::TextOptions options;
  options.date1904 = m_book.date1904 != 0;
  options.textValue = false;
  const formula::TextClass cls = formula::classifyText(text, options).kind;
  if (text.empty() || text[0] == u'\'' || cls == formula::TextClass::Formula ||
      cls == formula::TextClass::Empty)
    return 3;
  return cls == formula::TextClass::Text ? 1 : 2;
}

void Reader::stringCell(model::Sheet& s, std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                        std::u16string_view text, const model::CellValue* shared,
                        std::uint8_t* plainCache,
                        model::CellValue* quotedCache) {
  // Text that would read as something else when typed keeps a leading
  // apostrophe; in a cell formatted as Text only what would still read as a
  // formula, an empty text and one starting with an apostrophe need it.
  std::uint8_t kind;
  if (plainCache && *plainCache) {
    kind = *plainCache;
  } else {
    kind = textEntryKind(text);
    if (plainCache)
      *plainCache = kind;
  }
  const bool plain = kind == 1;
  const bool textFormat = kind == 2 && numberFormatOfXf(xf) == 49;
  if (shared && (plain || textFormat)) {
    // The input is the value's text itself: one text for both.
    if (holdsCell(s, row, col))
      model::append_string_cell(s.cells, row, static_cast<std::uint8_t>(col), *shared,
                                cellFormatIndex(xf))
          ->calcState = model::CalcState::ValueValid;
    return;
  }
  if (shared && quotedCache) {
    // A shared string that needs the apostrophe: every cell of it shares one
    // quoted text, as the plain ones share the string itself.
    if (!holdsCell(s, row, col))
      return;
    if (!quotedCache->isString())
      *quotedCache = model::CellValue::string(u"'" + std::u16string(text));
    model::CellRecord* c = model::append_string_cell(s.cells, row, static_cast<std::uint8_t>(col),
                                                     *quotedCache, cellFormatIndex(xf));
    c->value = *shared;
    c->calcState = model::CalcState::ValueValid;
    return;
  }
  std::u16string_view entry = text;
  if (!plain && !textFormat) {
    m_entry.assign(1, u'\'');
    m_entry += text;
    entry = m_entry;
  }
  model::CellRecord* c = appendCell(s, row, col, entry, xf);
  if (!c)
    return;
  c->value = shared ? *shared : model::CellValue::string(text);
}

double rkValue(std::uint32_t rk) {
  double v;
  if (rk & 0x02) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, 8);
  }
  return (rk & 0x01) ? v / 100 : v;
}

void Reader::formulaCell(RecordStream& rs, model::Sheet& s, int sheetIndex, const Record& r) {
  ByteCursor c(r.body);
  std::uint16_t row, col, xf, options = 0, tokenCount = 0;
  std::span<const std::uint8_t> result;
  if (!(cellHeader(c, r.id, row, col, xf) && c.bytes(8, result)))
    return;
  if (m_version >= 5) {
    std::uint32_t chain;
    if (!(c.u16(options) && c.u32(chain) && c.u16(tokenCount)))
      return;
  } else if (m_version >= 3) {
    if (!(c.u16(options) && c.u16(tokenCount)))
      return;
  } else {
    std::uint8_t flag, count8;
    if (!(c.u8(flag) && c.u8(count8)))
      return;
    options = flag;
    tokenCount = count8;
  }
  std::span<const std::uint8_t> tokens;
  if (!c.bytes(std::min<size_t>(tokenCount, c.remaining()), tokens))
    return;
  std::span<const std::uint8_t> extra = c.rest();
  std::vector<std::uint8_t> sharedTokens, sharedExtra;
  // A single "reference to the master cell" stands for a shared or array formula.
  if (tokens.size() == 5 && tokens[0] == 0x01) {
    const std::uint16_t masterRow = static_cast<std::uint16_t>(tokens[1] | (tokens[2] << 8));
    const std::uint16_t masterCol = static_cast<std::uint16_t>(tokens[3] | (tokens[4] << 8));
    const std::uint32_t key = model::packCell(masterRow, static_cast<std::uint8_t>(masterCol & 0xFF));
    auto& list = (options & 0x0008) ? m_shared : m_arrays;
    if (list.find(key) == list.end() && (rs.peekId() == rtSHRFMLA || rs.peekId() == rtARRAY ||
                                         rs.peekId() == 0x00BC || rs.peekId() == 0x0021)) {
      Record next;
      (void)rs.next(next);
      joinContinued(rs, next, m_joinedFollower);
      ByteCursor n(next.body);
      std::uint16_t r1, r2, count = 0;
      std::uint8_t c1, c2;
      if (n.u16(r1) && n.u16(r2) && n.u8(c1) && n.u8(c2)) {
        bool ok = true;
        if (next.id == rtSHRFMLA || next.id == 0x00BC) {
          ok = n.skip(2);
        } else {
          std::uint16_t arrayOptions;
          std::uint32_t chain;
          ok = n.u16(arrayOptions) && (m_version < 5 || n.u32(chain));
        }
        std::span<const std::uint8_t> t;
        if (ok && n.u16(count) && n.bytes(std::min<size_t>(count, n.remaining()), t)) {
          SharedFormula f{model::CellRange{r1, c1, r2, c2}, {t.begin(), t.end()},
                          {n.rest().begin(), n.rest().end()}};
          const bool isArray = next.id == rtARRAY || next.id == 0x0021;
          if (isArray && r1 <= r2 && c1 <= c2 && r2 <= model::kMaxRow)
            s.arrayFormulas.push_back({f.range, u""});
          (isArray ? m_arrays : m_shared)[key] = std::move(f);
        }
      }
    }
    // A shared cell looks among the shared formulas first; each lookup is
    // checked against its own list's end.
    const SharedFormula* found = nullptr;
    if (options & 0x0008) {
      const auto it = m_shared.find(key);
      if (it != m_shared.end())
        found = &it->second;
    }
    if (!found) {
      const auto it = m_arrays.find(key);
      if (it != m_arrays.end())
        found = &it->second;
    }
    if (found) {
      sharedTokens = found->tokens;
      sharedExtra = found->extra;
      tokens = sharedTokens;
      extra = sharedExtra;
    }
  }
  // The first result cell of a data table is followed by its TABLE record.
  if (tokens.size() == 5 && tokens[0] == ptgTbl && m_version >= 5 && rs.peekId() == rtTABLE) {
    Record next;
    (void)rs.next(next);
    readTable(s, row, col, next);
  }
  std::u16string text = cellFormulaText(tokens, extra, row, col);
  // A formula whose tokens cannot be read keeps its cached result as a
  // constant, so that recalculating never replaces the value with an error.
  // So does one that gives no operand at all: a result cell of a data table
  // (its one token stands for the TABLE record; the sheet keeps the table) or
  // an empty token array would otherwise read as the text "=".
  const bool unreadable = text.size() <= 1;
  // The text goes in after the record: the store would read it for the
  // volatility that the scan below finds anyway.
  model::CellRecord* cell = appendCell(s, row, col, u"", xf);
  if (!cell)
    return;
  if (!unreadable)
    cell->input.assignIn(s.cells.textArena(), text);
  model::CellValue value;
  if (result[6] == 0xFF && result[7] == 0xFF) {
    switch (result[0]) {
    case 0: {
      // The string result follows in a STRING record.
      std::u16string str;
      if (rs.peekId() == rtSTRING || rs.peekId() == 0x0007) {
        Record next;
        (void)rs.next(next);
        str = continuedString(rs, next);
      }
      value = str.empty() ? emptyText() : model::CellValue::string(str);
      break;
    }
    case 1: value = model::CellValue::boolean(result[2] != 0); break;
    case 2: value = model::CellValue::error(static_cast<model::ErrorCode>(errorIndexOfCode(result[2]))); break;
    default: value = emptyText(); break;
    }
  } else {
    double d;
    std::memcpy(&d, result.data(), 8);
    value = std::isfinite(d) ? model::CellValue::number(d) : model::CellValue::error(model::ErrorCode::Num);
  }
  if (unreadable) {
    switch (value.kind()) {
    case model::ValueKind::Number:
      numberEntryText(value.numberValue(), xf, m_entry);
      cell->input.assign(m_entry);
      break;
    case model::ValueKind::Boolean: cell->input.assign(value.booleanValue() ? u"TRUE" : u"FALSE"); break;
    case model::ValueKind::Error: cell->input.assign(model::errorText(value.errorValue())); break;
    case model::ValueKind::String: {
      // Entered as the text cells of the file are.
      const std::u16string_view str = value.stringValue();
      const std::uint8_t kind = textEntryKind(str);
      const bool plain = kind == 1 || (kind == 2 && numberFormatOfXf(xf) == 49);
      cell->input.assign(plain ? std::u16string(str) : std::u16string(u"'").append(str));
      break;
    }
    default: break;
    }
    cell->value = std::move(value);
    cell->volatility = model::volatilityClassOf(cell->input.view());
    return;
  }
  cell->value = std::move(value);
  formula::scanCell(m_book, sheetIndex, *cell, /*fromFile=*/true);
  // Writers that never compute their formulas store the empty-text marker
  // as the result; computing such a cell shows its value instead of a blank,
  // and gives a real empty-text result back unchanged.
  const bool noResult = result[6] == 0xFF && result[7] == 0xFF && result[0] > 2;
  const bool recalcOnLoad = (options & 0x0002) != 0 || noResult;
  const bool hyperlink = containsAsciiFolded(text, u"HYPERLINK(");
  cell->calcState = recalcOnLoad || hyperlink ? model::CalcState::NotValid
                                              : model::CalcState::ValueValid;
}

// Real sheets hold a few data tables; the cap keeps the overlap checks cheap.
constexpr size_t kMaxDataTables = 256;

void Reader::readTable(model::Sheet& s, std::uint16_t row, std::uint16_t col, const Record& r) {
  ByteCursor c(r.body);
  std::uint16_t r1, r2, flags, inputRow, columnInputRow, inputColumn, columnInputColumn;
  std::uint8_t c1, c2;
  if (!(c.u16(r1) && c.u16(r2) && c.u8(c1) && c.u8(c2) && c.u16(flags) && c.u16(inputRow) &&
        c.u16(columnInputRow) && c.u16(inputColumn) && c.u16(columnInputColumn)))
    return;
  // The results need their heading row and column inside the sheet, and the
  // input cells must lie outside the table.
  if (r1 != row || c1 != col || r1 > r2 || c1 > c2 || r1 == 0 || c1 == 0 || r2 > model::kMaxRow ||
      s.dataTables.size() >= kMaxDataTables)
    return;
  model::DataTable t;
  t.range = {r1, c1, r2, c2};
  t.flags = static_cast<std::uint8_t>(flags & 0x3F);
  const bool two = (flags & model::kDataTableTwoInputs) != 0;
  const model::CellRange area = t.area();
  auto inputAt = [&](std::uint16_t inRow, std::uint16_t inColumn, std::uint32_t& packed) {
    if (inRow > model::kMaxRow || inColumn > model::kMaxColumn || area.contains(inRow, inColumn))
      return false;
    packed = model::packCell(inRow, static_cast<std::uint8_t>(inColumn));
    return true;
  };
  if (!inputAt(inputRow, inputColumn, t.input) || (two && !inputAt(columnInputRow, columnInputColumn, t.columnInput)))
    return;
  for (const model::DataTable& other : s.dataTables)
    if (other.area().intersects(area))
      return;
  s.dataTables.push_back(t);
}

bool Reader::readSheet(RecordStream& rs, int sheetIndex) {
  model::Sheet& s = m_book.sheet(sheetIndex);
  m_currentSheet = sheetIndex;
  if (!m_pictures) {
    m_pictures = readPictureStore(m_drawingGroup);
    m_drawingGroup = {};
  }
  DrawingReadContext drawingContext;
  drawingContext.version = m_version == 8 ? 8 : 7;
  drawingContext.pictures = &*m_pictures;
  drawingContext.palette = &m_book.palette;
  drawingContext.formulaText = [this](std::span<const std::uint8_t> tokens) {
    return formulaText(tokens, {}, 0, 0);
  };
  drawingContext.narrowText = [this](std::span<const std::uint8_t> bytes) { return bytesToText(bytes); };
  drawingContext.controlData = [this](const ObjRecord& obj, model::DrawingObject& object) {
    readControlSubRecords(object, obj,
                          [this](std::span<const std::uint8_t> tokens) { return formulaText(tokens, {}, 0, 0); });
  };
  drawingContext.biff5ControlData = [this](std::span<const std::uint8_t> body, model::DrawingObject& object) {
    readBiff5ControlFields(
        object, body, [this](std::span<const std::uint8_t> tokens) { return formulaText(tokens, {}, 0, 0); },
        [this](std::span<const std::uint8_t> bytes) { return bytesToText(bytes); });
  };
  m_drawing = std::make_unique<SheetDrawingReader>(s, std::move(drawingContext));
  m_drawingContinues = false;
  m_shared.clear();
  m_arrays.clear();
  m_printerSettingsSeen = false;
  m_conditionsExpected = 0;
  m_rowRecords.clear();
  const bool ok = readSheetRecords(rs, s, sheetIndex);
  // Rows are sized first: group children are placed by their pixels.
  applyRowRecords(s);
  m_drawing->finish();
  m_drawing.reset();
  model::dropOverlappingArrayBlocks(s.arrayFormulas);
  // A table that meets an array block is the damaged part of the file.
  if (!s.dataTables.empty() && !s.arrayFormulas.empty())
    std::erase_if(s.dataTables, [&](const model::DataTable& t) {
      return std::any_of(s.arrayFormulas.begin(), s.arrayFormulas.end(),
                         [&](const model::ArrayFormulaRecord& a) { return a.range.intersects(t.area()); });
    });
  return ok;
}

// Files list rows in any order (some in descending order): sorting once
// keeps a full sheet's 65,536 rows from being inserted one by one at the front.
void Reader::applyRowRecords(model::Sheet& s) {
  if (m_rowRecords.empty())
    return;
  std::stable_sort(m_rowRecords.begin(), m_rowRecords.end(),
                   [](const model::RowRecord& a, const model::RowRecord& b) { return a.row < b.row; });
  // Of two records for one row the later one counts.
  std::vector<model::RowRecord> rows;
  rows.reserve(m_rowRecords.size());
  for (const model::RowRecord& r : m_rowRecords) {
    if (!rows.empty() && rows.back().row == r.row)
      rows.back() = r;
    else
      rows.push_back(r);
  }
  if (s.rows.empty()) {
    s.rows = std::move(rows);
  } else {
    for (const model::RowRecord& r : rows)
      model::set_row_record(s, r.row, r.flags, r.size);
  }
  m_rowRecords.clear();
}

void Reader::joinContinued(RecordStream& rs, Record& r, std::vector<std::uint8_t>& buffer) {
  switch (r.id) {
  case rtFORMULA:
  case 0x0206:
  case 0x0406:
  case rtARRAY:
  case 0x0021:
  case rtSHRFMLA:
  case 0x00BC:
  case rtNAME:
  case 0x0218:
  case rtFORMAT:
  case 0x001E:
  case rtHEADER:
  case rtFOOTER:
  case rtEXTERNSHEET:
  case rtSUPBOOK:
  case rtEXTERNNAME:
  case 0x0223: break;
  default: return;
  }
  if (rs.peekId() != rtCONTINUE)
    return;
  buffer = continuedBody(rs, r);
  r.body = buffer;
}

bool Reader::readSheetRecords(RecordStream& rs, model::Sheet& s, int sheetIndex) {
  Record r;
  m_sheetLinks.reset();
  while (rs.next(r)) {
    m_drawingContinues = r.id == rtMSODRAWING || (r.id == rtCONTINUE && m_drawingContinues);
    joinContinued(rs, r, m_joined);
    ByteCursor c(r.body);
    switch (r.id) {
    case rtEOF: return true;
    case rtEXTERNNAME:
    case 0x0223: {
      // Excel 95 sheets list the add-in functions their formulas call in
      // their own EXTERNNAME records, which their tokens number from 1.
      if (m_singleSheet) {
        if (!globalRecord(rs, r))
          return false;
        break;
      }
      std::uint16_t options = 0;
      std::u16string name;
      if (m_version < 8 && c.u16(options) && c.skip(4) && readString8(c, name)) {
        if (!m_sheetLinks) {
          m_sheetLinks = m_links;
          m_sheetLinks->externNames.clear();
        }
        m_sheetLinks->externNames.push_back(std::move(name));
      }
      break;
    }
    case rtMSODRAWING: m_drawing->drawing(r.body); break;
    case rtCONTINUE:
      // Drawing bytes go on after their MSODRAWING, and some writers put a
      // shape's records in a CONTINUE after the last object's OBJ or TXO.
      if (m_drawingContinues || startsDrawingRecord(r.body)) {
        m_drawing->drawing(r.body);
        m_drawingContinues = true;
      }
      break;
    case rtOBJ: m_drawing->obj(r.body); break;
    case rtTXO: {
      std::vector<std::span<const std::uint8_t>> continues;
      std::vector<size_t> ends;
      Record k;
      while (rs.peekId() == rtCONTINUE && continues.size() < 4096 && rs.next(k)) {
        continues.push_back(k.body);
        ends.push_back(rs.position());
      }
      const size_t used = m_drawing->text(r.body, continues);
      if (used < continues.size())
        rs.seek(used == 0 ? ends[0] - 4 - continues[0].size() : ends[used - 1]);
      break;
    }
    case rtNOTE: m_drawing->note(r.body); break;
    case rtIMDATA: m_drawing->imageData(continuedBody(rs, r)); break;
    case rtCOORDLIST: m_drawing->coordinates(r.body); break;
    case rtBOF:
    case rtBOF2:
    case rtBOF3:
    case rtBOF4: {
      if (r.body.size() >= 4 && (r.body[2] | (r.body[3] << 8)) == kSubstreamChart &&
          s.kind == model::SheetKind::Worksheet) {
        // An embedded chart: an object of the sheet, anchored where its
        // drawing shape said (a chart without one gets a place of its own).
        model::ObjectAnchor anchor;
        if (std::optional<model::ObjectAnchor> a = m_drawing->takeChartAnchor()) {
          anchor = *a;
        } else {
          anchor.first = {1, 0, 1, 0};
          anchor.last = {8, 0, 16, 0};
        }
        charts::ChartModel chart = readChart(rs);
        s.objects.push_back(charts::makeChartObject(std::move(chart), anchor));
        break;
      }
      // Another nested substream: skipped whole, so its cells stay out of
      // the sheet and its EOF does not end the sheet.
      int depth = 1;
      while (depth > 0 && rs.next(r)) {
        if (isBof(r.id))
          ++depth;
        else if (r.id == rtEOF)
          --depth;
      }
      break;
    }
    case rtNUMBER:
    case 0x0003: {
      std::uint16_t row, col, xf;
      double v;
      if (cellHeader(c, r.id, row, col, xf) && c.f64(v))
        numberCell(s, row, col, xf, v);
      break;
    }
    case 0x0002: { // the oldest files' small whole numbers
      std::uint16_t row, col, xf, v;
      if (cellHeader(c, r.id, row, col, xf) && c.u16(v))
        numberCell(s, row, col, xf, v);
      break;
    }
    case rtRK:
    case 0x007E: {
      std::uint16_t row, col, xf;
      std::uint32_t rk;
      if (c.u16(row) && c.u16(col) && c.u16(xf) && c.u32(rk))
        numberCell(s, row, col, xf, rkValue(rk));
      break;
    }
    case rtMULRK: {
      std::uint16_t row, col;
      if (!(c.u16(row) && c.u16(col)))
        break;
      while (c.remaining() >= 8) {
        std::uint16_t xf;
        std::uint32_t rk;
        if (!(c.u16(xf) && c.u32(rk)))
          break;
        numberCell(s, row, col++, xf, rkValue(rk));
      }
      break;
    }
    case rtLABEL:
    case 0x0004:
    case rtRSTRING: {
      std::uint16_t row, col, xf;
      std::u16string text;
      if (cellHeader(c, r.id, row, col, xf) &&
          (r.id == 0x0004 ? readString8(c, text) : readString16(c, text)))
        stringCell(s, row, col, xf, text);
      break;
    }
    case rtLABELSST: {
      std::uint16_t row, col, xf;
      std::uint32_t index;
      if (!(c.u16(row) && c.u16(col) && c.u16(xf) && c.u32(index)))
        break;
      if (index < m_sstValues.size()) {
        if (m_sstPlain.size() < m_sstValues.size())
          m_sstPlain.resize(m_sstValues.size(), 0);
        if (m_sstQuoted.size() < m_sstValues.size())
          m_sstQuoted.resize(m_sstValues.size());
        const model::CellValue& value = m_sstValues[index];
        stringCell(s, row, col, xf, value.stringValue(), &value, &m_sstPlain[index],
                   &m_sstQuoted[index]);
      } else {
        stringCell(s, row, col, xf, {});
      }
      break;
    }
    case rtBLANK:
    case 0x0001: {
      std::uint16_t row, col, xf;
      if (cellHeader(c, r.id, row, col, xf))
        appendCell(s, row, col, u"", xf);
      break;
    }
    case rtMULBLANK: {
      std::uint16_t row, col, xf;
      if (!(c.u16(row) && c.u16(col)))
        break;
      while (c.remaining() >= 4 && c.u16(xf))
        appendCell(s, row, col++, u"", xf);
      break;
    }
    case rtBOOLERR:
    case 0x0005: {
      std::uint16_t row, col, xf;
      std::uint8_t v, isError;
      if (!(cellHeader(c, r.id, row, col, xf) && c.u8(v) && c.u8(isError)))
        break;
      if (isError) {
        if (model::CellRecord* cell = appendCell(s, row, col, errorTextOfCode(v), xf))
          cell->value = model::CellValue::error(static_cast<model::ErrorCode>(errorIndexOfCode(v)));
      } else if (model::CellRecord* cell = appendCell(s, row, col, v ? u"TRUE" : u"FALSE", xf)) {
        cell->value = model::CellValue::boolean(v != 0);
      }
      break;
    }
    case rtFORMULA:
    case 0x0206:
    case 0x0406: formulaCell(rs, s, sheetIndex, r); break;
    case rtROW:
    case 0x0008: {
      std::uint16_t row, first, last, height, reserved1, reserved2;
      std::uint32_t options = 0;
      if (!(c.u16(row) && c.u16(first) && c.u16(last) && c.u16(height)))
        break;
      if (c.u16(reserved1) && c.u16(reserved2))
        (void)c.u32(options);
      std::uint32_t flags = 0;
      if (options & 0x0020)
        flags |= model::kLineHidden;
      if (options & 0x0040)
        flags |= model::kLineCustomHeight;
      if (height & 0x8000)
        flags |= model::kLineDefaultSize;
      model::RowRecord rec;
      rec.row = row;
      rec.flags = flags;
      rec.size = static_cast<std::uint16_t>(height & 0x7FFF);
      m_rowRecords.push_back(rec);
      break;
    }
    case rtCOLINFO: {
      std::uint16_t first, last, width, xf, options = 0;
      if (!(c.u16(first) && c.u16(last) && c.u16(width) && c.u16(xf)))
        break;
      (void)c.u16(options);
      last = std::min<std::uint16_t>(last, model::kMaxColumn);
      for (int col = first; col <= last; ++col) {
        std::uint32_t flags = bitIf(width == 0, model::kLineDefaultSize);
        if (options & 0x0001)
          flags |= model::kLineHidden;
        model::set_column_record(s, static_cast<std::uint8_t>(col), flags, width);
        model::set_column_format(s, static_cast<std::uint8_t>(col), cellFormatIndex(xf));
      }
      break;
    }
    case rtDEFCOLWIDTH: {
      std::uint16_t chars;
      if (c.u16(chars) && chars <= 255) {
        s.defaultColumnWidth = static_cast<std::uint16_t>(chars * 256);
        s.flags &= ~model::kSheetGlobalColumnWidth;
      }
      break;
    }
    case rtSTANDARDWIDTH: {
      std::uint16_t width;
      if (c.u16(width)) {
        s.defaultColumnWidth = width;
        s.flags &= ~model::kSheetGlobalColumnWidth;
      }
      break;
    }
    case rtDEFAULTROWHEIGHT:
    case 0x0025: {
      std::uint16_t options = 0, height = 0;
      if (r.id == 0x0025 ? c.u16(height) : (c.u16(options) && c.u16(height))) {
        s.defaultRowHeight = height & 0x7FFF;
        s.flags &= ~model::kSheetGlobalRowHeight;
      }
      break;
    }
    case rtWINDOW2:
    case 0x003E: {
      std::uint16_t options = 0, top = 0, left = 0;
      if (!c.u16(options))
        break;
      (void)(c.u16(top) && c.u16(left));
      s.flags = (s.flags & ~(model::kSheetShowFormulas | model::kSheetShowGridlines |
                             model::kSheetShowHeaders | model::kSheetPanesFrozen)) |
                bitIf(options & 0x0001, model::kSheetShowFormulas) |
                bitIf(options & 0x0002, model::kSheetShowGridlines) |
                bitIf(options & 0x0004, model::kSheetShowHeaders) |
                bitIf(options & 0x0008, model::kSheetPanesFrozen);
      if (top <= model::kMaxRow && left <= model::kMaxColumn) {
        s.topRow = top;
        s.leftColumn = static_cast<std::uint8_t>(left);
      }
      break;
    }
    case rtPANE: {
      std::uint16_t x, y, top, left;
      if (!(s.flags & model::kSheetPanesFrozen) || !(c.u16(x) && c.u16(y) && c.u16(top) && c.u16(left)))
        break;
      if (y <= model::kMaxRow && x <= model::kMaxColumn && top <= model::kMaxRow &&
          left <= model::kMaxColumn) {
        s.frozenRow = s.topRow;
        s.frozenColumn = s.leftColumn;
        s.scrollPaneRow = y ? static_cast<std::uint16_t>(std::min<int>(s.topRow + y, model::kMaxRow)) : 0;
        s.scrollPaneColumn = x ? static_cast<std::uint8_t>(std::min<int>(s.leftColumn + x, model::kMaxColumn)) : 0;
        s.topRow = top;
        s.leftColumn = static_cast<std::uint8_t>(left);
      }
      break;
    }
    case rtSELECTION: {
      std::uint8_t pane;
      std::uint16_t row, col, refIndex, count, r1, r2;
      std::uint8_t c1, c2;
      if (!(c.u8(pane) && c.u16(row) && c.u16(col) && c.u16(refIndex)))
        break;
      if (row <= model::kMaxRow && col <= model::kMaxColumn) {
        s.activeRow = row;
        s.activeColumn = static_cast<std::uint8_t>(col);
        s.selectionFirst = s.selectionLast = model::packCell(row, static_cast<std::uint8_t>(col));
      }
      if (c.u16(count) && count > 0 && c.u16(r1) && c.u16(r2) && c.u8(c1) && c.u8(c2) &&
          r1 <= r2 && c1 <= c2) {
        s.selectionFirst = model::packCell(r1, c1);
        s.selectionLast = model::packCell(r2, c2);
      }
      break;
    }
    case rtSCL: {
      std::uint16_t num, den;
      if (c.u16(num) && c.u16(den))
        s.zoom = den == 0 ? 100 : static_cast<std::uint16_t>(std::clamp(num * 100 / den, 10, 400));
      break;
    }
    case rtMERGEDCELLS: {
      // Each record adds its ranges: a sheet with many merges spreads them
      // over several records.
      std::uint16_t count;
      if (!c.u16(count))
        break;
      for (int k = 0; k < count; ++k) {
        std::uint16_t r1, r2, c1, c2;
        if (!(c.u16(r1) && c.u16(r2) && c.u16(c1) && c.u16(c2)))
          break;
        if (r1 <= r2 && c1 <= c2 && c2 <= model::kMaxColumn)
          s.mergedRanges.push_back({r1, static_cast<std::uint8_t>(c1), r2, static_cast<std::uint8_t>(c2)});
      }
      break;
    }
    case rtPROTECT: {
      std::uint16_t v;
      if (c.u16(v) && v == 1)
        s.flags |= model::kSheetProtected;
      break;
    }
    case rtPASSWORD: {
      std::uint16_t v;
      if (c.u16(v))
        s.protectionVerifier = v;
      break;
    }
    case rtHEADER:
    case rtFOOTER: {
      std::u16string text;
      if (r.body.empty())
        break;
      const bool ok = m_version == 8 ? readString16(c, text) : readString8(c, text);
      if (ok)
        (r.id == rtHEADER ? s.pageSetup.header : s.pageSetup.footer) = text;
      break;
    }
    case rtLEFTMARGIN:
    case rtRIGHTMARGIN:
    case rtTOPMARGIN:
    case rtBOTTOMMARGIN: {
      double v;
      if (!c.f64(v) || !std::isfinite(v))
        break;
      (r.id == rtLEFTMARGIN    ? s.pageSetup.leftMargin
       : r.id == rtRIGHTMARGIN ? s.pageSetup.rightMargin
       : r.id == rtTOPMARGIN   ? s.pageSetup.topMargin
                               : s.pageSetup.bottomMargin) = v;
      break;
    }
    case rtPRINTHEADERS:
    case rtPRINTGRIDLINES: {
      std::uint16_t v;
      if (c.u16(v))
        (r.id == rtPRINTHEADERS ? s.pageSetup.printHeaders : s.pageSetup.printGridlines) = v != 0;
      break;
    }
    case rtGUTS: {
      std::uint16_t v[4];
      if (c.u16(v[0]) && c.u16(v[1]) && c.u16(v[2]) && c.u16(v[3]))
        s.guts = {v[0], v[1], v[2], v[3]};
      break;
    }
    case rtWSBOOL: {
      std::uint16_t v;
      if (c.u16(v))
        s.pageSetup.fitToPage = (v & 0x0100) != 0;
      break;
    }
    case rtGRIDSET:
    case rtHCENTER:
    case rtVCENTER: {
      std::uint16_t v;
      if (c.u16(v))
        (r.id == rtGRIDSET  ? s.pageSetup.gridSet
         : r.id == rtHCENTER ? s.pageSetup.centreHorizontally
                             : s.pageSetup.centreVertically) = v != 0;
      break;
    }
    case rtPLS: {
      const std::vector<std::uint8_t> body = continuedBody(rs, r);
      if (!m_printerSettingsSeen) {
        m_printerSettingsSeen = true;
        readPrinterSettings(s, body);
      }
      break;
    }
    case rtSETUP: {
      std::span<const std::uint8_t> b;
      if (c.bytes(s.pageSetup.setup.size(), b)) {
        std::copy(b.begin(), b.end(), s.pageSetup.setup.begin());
        s.pageSetup.hasSetup = true;
      }
      break;
    }
    case rtAUTOFILTERINFO: readAutoFilterInfo(s, sheetIndex); break;
    case rtAUTOFILTER: {
      const std::vector<std::uint8_t> body = continuedBody(rs, r);
      readAutoFilter(s, ByteCursor(body));
      break;
    }
    // Conditional formats and validation rules came with Excel 97.
    case rtCONDFMT:
      if (m_version == 8)
        readConditionalFormat(s, c);
      break;
    case rtCF:
      if (m_version == 8) {
        const std::vector<std::uint8_t> body = continuedBody(rs, r);
        readFormatCondition(s, ByteCursor(body));
      }
      break;
    case rtDVAL: {
      std::uint16_t options;
      std::uint32_t left, top;
      if (m_version == 8 && c.u16(options) && c.u32(left) && c.u32(top))
        s.validationBox = {(options & 0x0001) != 0, static_cast<std::int32_t>(left),
                           static_cast<std::int32_t>(top)};
      break;
    }
    case rtDV:
      if (m_version == 8) {
        const std::vector<std::uint8_t> body = continuedBody(rs, r);
        readValidation(s, ByteCursor(body));
      }
      break;
    case rtSHEETEXT: {
      std::span<const std::uint8_t> head;
      std::uint8_t colour;
      if (c.bytes(16, head) && c.u8(colour))
        s.tabColour = colour & 0x7F;
      break;
    }
    default:
      if (m_singleSheet && !globalRecord(rs, r))
        return false;
      break;
    }
  }
  return true; // a sheet cut short by the end of the stream keeps what it has
}

std::vector<std::uint8_t> Reader::continuedBody(RecordStream& rs, const Record& first) {
  std::vector<std::uint8_t> body(first.body.begin(), first.body.end());
  while (rs.peekId() == rtCONTINUE) {
    Record r;
    if (!rs.next(r))
      break;
    body.insert(body.end(), r.body.begin(), r.body.end());
  }
  return body;
}

void Reader::readPrinterSettings(model::Sheet& s, std::span<const std::uint8_t> body) {
  ByteCursor c(body);
  std::uint16_t environment = 1;
  // Settings of other environments than Windows mean nothing here.
  if (!c.u16(environment) || environment != 0)
    return;
  if (m_version == 8)
    s.pageSetup.printerSettings.assign(c.rest().begin(), c.rest().end());
  else if (!widenPrinterSettings(c.rest(), m_codePage, s.pageSetup.printerSettings))
    s.pageSetup.printerSettings.clear();
}

// The AutoFilter's range lives in the sheet's "_FilterDatabase" name, as a
// 3-D area whose sheet says which sheet it belongs to.
bool Reader::filterRangeOfSheet(int sheetIndex, model::CellRange& out) const {
  for (const model::DefinedName& n : m_book.names) {
    if (n.name != u"_FilterDatabase")
      continue;
    ByteCursor c(n.fileBytes);
    std::uint8_t token = 0;
    if (!c.u8(token))
      continue;
    const std::uint8_t base = token & 0x1F;
    std::uint16_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
    int sheet = -1;
    if (base == (ptgArea3d & 0x1F) && m_version == 8) {
      std::uint16_t ixti;
      if (!(c.u16(ixti) && c.u16(r1) && c.u16(r2) && c.u16(c1) && c.u16(c2)))
        continue;
      if (ixti < m_links.externSheets.size()) {
        const ExternSheetEntry& e = m_links.externSheets[ixti];
        if (static_cast<int>(e.book) != m_links.addInBook && e.firstSheet < kNoSheet)
          sheet = e.firstSheet;
      }
      c1 &= 0x00FF;
      c2 &= 0x00FF;
    } else if (base == (ptgArea3d & 0x1F)) {
      std::uint16_t ixals, first, last;
      std::uint8_t col1, col2;
      if (!(c.u16(ixals) && c.skip(8) && c.u16(first) && c.u16(last) && c.u16(r1) && c.u16(r2) &&
            c.u8(col1) && c.u8(col2)))
        continue;
      sheet = first;
      r1 &= 0x3FFF;
      r2 &= 0x3FFF;
      c1 = col1;
      c2 = col2;
    } else if (base == (ptgArea & 0x1F) && m_version == 8) {
      if (!(c.u16(r1) && c.u16(r2) && c.u16(c1) && c.u16(c2)))
        continue;
      c1 &= 0x00FF;
      c2 &= 0x00FF;
    } else if (base == (ptgArea & 0x1F)) {
      std::uint8_t col1, col2;
      if (!(c.u16(r1) && c.u16(r2) && c.u8(col1) && c.u8(col2)))
        continue;
      r1 &= 0x3FFF;
      r2 &= 0x3FFF;
      c1 = col1;
      c2 = col2;
    } else {
      continue;
    }
    // Without a sheet in the reference the name's own scope decides.
    if (sheet < 0)
      sheet = n.sheetIndex - 1;
    if (sheet != sheetIndex || r1 > r2 || c1 > c2 || c2 > model::kMaxColumn)
      continue;
    out = {r1, static_cast<std::uint8_t>(c1), r2, static_cast<std::uint8_t>(c2)};
    return true;
  }
  return false;
}

void Reader::readAutoFilterInfo(model::Sheet& s, int sheetIndex) {
  model::CellRange range;
  // A filter whose range is unknown could only hide the wrong rows: it is not
  // turned on.
  if (!s.hasGrid() || !filterRangeOfSheet(sheetIndex, range))
    return;
  s.autoFilter.firstRow = range.firstRow;
  s.autoFilter.firstColumn = range.firstColumn;
  s.autoFilter.lastRow = range.lastRow;
  s.autoFilter.lastColumn = range.lastColumn;
  s.autoFilter.criteria.assign(static_cast<size_t>(range.columnCount()), model::FilterCriterion{});
  s.flags |= model::kSheetAutoFilter;
}

void Reader::readAutoFilter(model::Sheet& s, ByteCursor c) {
  std::uint16_t entry, options;
  if (!(s.flags & model::kSheetAutoFilter) || !(c.u16(entry) && c.u16(options)) ||
      entry >= s.autoFilter.criteria.size())
    return;
  model::FilterCriterion f;
  f.orJoin = (options & 0x0001) != 0;
  f.topActive = (options & 0x0010) != 0;
  f.top = (options & 0x0020) != 0;
  f.percent = (options & 0x0040) != 0;
  f.count = static_cast<std::uint16_t>(options >> 7);
  std::uint8_t stringLength[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    std::uint8_t kind, comparison;
    std::span<const std::uint8_t> value;
    if (!(c.u8(kind) && c.u8(comparison) && c.bytes(8, value)))
      return;
    model::FilterCondition& cond = f.conditions[static_cast<size_t>(k)];
    cond.comparison = comparison;
    // Only the comparison of a condition that exists is kept.
    switch (kind) {
    case 2: { // RK
      const auto rk = static_cast<std::uint32_t>(value[0] | (value[1] << 8) | (value[2] << 16) |
                                                 (static_cast<std::uint32_t>(value[3]) << 24));
      cond.kind = model::kFilterComparison;
      cond.operand = formula::numberToText(rkValue(rk), platform::localeStrings());
      break;
    }
    // A number or a boolean or error operand becomes the text that compares
    // the same way, as an RK one does: dropping it would filter on nothing.
    case 4: {
      double d;
      ByteCursor v(value);
      if (v.f64(d) && std::isfinite(d)) {
        cond.kind = model::kFilterComparison;
        cond.operand = formula::numberToText(d, platform::localeStrings());
      }
      break;
    }
    case 8:
      cond.kind = model::kFilterComparison;
      cond.operand = value[1] ? errorTextOfCode(value[0]) : value[0] ? u"TRUE" : u"FALSE";
      break;
    case model::kFilterComparison:
      cond.kind = kind;
      stringLength[k] = value[4];
      break;
    case model::kFilterBlanks:
    case model::kFilterNonBlanks: cond.kind = kind; break;
    default: cond.comparison = 0; break;
    }
  }
  for (int k = 0; k < 2; ++k) {
    if (f.conditions[static_cast<size_t>(k)].kind != model::kFilterComparison ||
        stringLength[k] == 0)
      continue;
    // A string cut short by the end of the record is no condition.
    const size_t before = c.position();
    if (!readChars(c, stringLength[k], f.conditions[static_cast<size_t>(k)].operand) ||
        c.position() - before < stringLength[k] + (m_version == 8 ? 1u : 0u))
      return;
  }
  // A record that filters nothing leaves the column as if it had none.
  s.autoFilter.criteria[entry] = f.isActive() ? std::move(f) : model::FilterCriterion{};
}

bool Reader::readRanges(ByteCursor& c, std::vector<model::CellRange>& out) const {
  std::uint16_t count;
  if (!c.u16(count))
    return false;
  for (int k = 0; k < count; ++k) {
    std::uint16_t r1, r2, c1, c2;
    if (!(c.u16(r1) && c.u16(r2) && c.u16(c1) && c.u16(c2)))
      return false;
    // Whole columns may say 256 or more for their last column.
    c2 = std::min<std::uint16_t>(c2, model::kMaxColumn);
    if (r1 <= r2 && c1 <= c2)
      out.push_back({r1, static_cast<std::uint8_t>(c1), r2, static_cast<std::uint8_t>(c2)});
  }
  return true;
}

void Reader::readConditionalFormat(model::Sheet& s, ByteCursor c) {
  m_conditionsExpected = 0;
  std::uint16_t count, options;
  if (!s.hasGrid() || !(c.u16(count) && c.u16(options) && c.skip(8)))
    return;
  model::ConditionalFormat set;
  set.flags = options & 0x0001;
  if (!readRanges(c, set.ranges) || set.ranges.empty())
    return;
  s.conditionalFormats.push_back(std::move(set));
  m_conditionsExpected = count;
}

void Reader::readFormatCondition(model::Sheet& s, ByteCursor c) {
  // A condition belongs to the block just started; strays are ignored.
  if (s.conditionalFormats.empty() || m_conditionsExpected == 0)
    return;
  --m_conditionsExpected;
  model::ConditionalFormat& set = s.conditionalFormats.back();
  std::uint8_t kind, op;
  std::uint16_t length1, length2, reserved;
  std::uint32_t flags;
  if (!(c.u8(kind) && c.u8(op) && c.u16(length1) && c.u16(length2) && c.u32(flags) &&
        c.u16(reserved)))
    return;
  if ((kind != 1 && kind != 2) || set.conditions.size() >= model::kMaxFormatConditions)
    return;
  model::FormatCondition f;
  f.kind = kind;
  f.op = kind == 1 ? op : 0;
  if (flags & kCfFontBlock) {
    std::span<const std::uint8_t> b;
    if (!c.bytes(kCfFontBlockSize, b))
      return;
    ByteCursor font(b);
    std::uint32_t height, style, colour, changes, escapementKept, underlineKept;
    std::uint16_t weight, escapement;
    std::uint8_t underline;
    if (!(font.skip(64) && font.u32(height) && font.u32(style) && font.u16(weight) &&
          font.u16(escapement) && font.u8(underline) && font.skip(3) && font.u32(colour) &&
          font.skip(4) && font.u32(changes) && font.u32(escapementKept) &&
          font.u32(underlineKept)))
      return;
    f.hasFont = true;
    // Posture and weight change together in the file.
    if (!(changes & 0x0002)) {
      f.font[model::kCondItalic] = {true, (style & 0x0002) ? 1 : 0};
      f.font[model::kCondBold] = {true, weight > 400 ? 1 : 0};
    }
    if (!(changes & 0x0080))
      f.font[model::kCondStrikeOut] = {true, (style & 0x0080) ? 1 : 0};
    if (underlineKept == 0)
      f.font[model::kCondUnderline] = {true, underline};
    if (colour != 0xFFFFFFFF)
      f.font[model::kCondColour] = {true, static_cast<std::int32_t>(colour & 0x7FFF)};
  }
  if (flags & kCfBorderBlock) {
    std::uint16_t styles, unused;
    std::uint32_t colours;
    if (!(c.u16(styles) && c.u32(colours) && c.u16(unused)))
      return;
    f.hasBorder = true;
    constexpr int kColourShift[4] = {0, 7, 16, 23};
    for (int side = 0; side < 4; ++side)
      f.borders[static_cast<size_t>(side)] = {
          !(flags & (kCfLeftBorderKept << side)),
          static_cast<std::uint8_t>((styles >> (4 * side)) & 0x0F),
          static_cast<std::uint8_t>((colours >> kColourShift[side]) & 0x7F)};
  }
  if (flags & kCfPatternBlock) {
    std::uint16_t fill, colours;
    if (!(c.u16(fill) && c.u16(colours)))
      return;
    f.hasPattern = true;
    f.pattern[model::kCondFill] = {!(flags & kCfFillKept), (fill >> 10) & 0x3F};
    f.pattern[model::kCondPatternColour] = {!(flags & kCfPatternColourKept), colours & 0x7F};
    f.pattern[model::kCondBackgroundColour] = {!(flags & kCfBackgroundColourKept),
                                               (colours >> 7) & 0x7F};
  }
  std::span<const std::uint8_t> tokens1, tokens2;
  if (!(c.bytes(length1, tokens1) && c.bytes(length2, tokens2)))
    return;
  f.operand1 = formulaText(tokens1, {}, 0, 0);
  const bool twoOperands = kind == 1 && (op == 1 || op == 2);
  if (twoOperands)
    f.operand2 = formulaText(tokens2, {}, 0, 0);
  if (f.operand1.empty())
    return;
  set.conditions.push_back(std::move(f));
}

void Reader::readValidation(model::Sheet& s, ByteCursor c) {
  std::uint32_t options;
  if (!s.hasGrid() || !c.u32(options))
    return;
  model::ValidationRule v;
  v.allow = static_cast<std::int32_t>(options & 0x0F);
  v.errorStyle = static_cast<std::int32_t>((options >> 4) & 0x07);
  v.plainList = (options & kDvPlainList) != 0;
  v.ignoreBlank = (options & kDvIgnoreBlank) != 0;
  v.suppressDropDown = (options & kDvSuppressDropDown) != 0;
  v.showInput = (options & kDvShowInput) != 0;
  v.showError = (options & kDvShowError) != 0;
  v.op = static_cast<std::int32_t>((options >> 20) & 0x0F);
  if (v.allow > model::kAllowCustom || v.errorStyle > 2 || v.op > 7)
    return;
  std::u16string* texts[] = {&v.inputTitle, &v.errorTitle, &v.inputMessage, &v.errorMessage};
  for (std::u16string* t : texts) {
    if (!readString16(c, *t))
      return;
    // An empty text is stored as one NUL character.
    if (*t == std::u16string(1, u'\0'))
      t->clear();
  }
  std::u16string* formulas[] = {&v.formula1, &v.formula2};
  for (std::u16string* f : formulas) {
    std::uint16_t length, reserved;
    std::span<const std::uint8_t> tokens;
    if (!(c.u16(length) && c.u16(reserved) && c.bytes(length, tokens)))
      return;
    if (tokens.empty())
      continue;
    if (f == &v.formula1 && v.plainList && tokens[0] == ptgStr) {
      // The items of a typed list are one string, separated by NULs.
      ByteCursor str(tokens.subspan(1));
      std::uint8_t count;
      if (!(str.u8(count) && readChars(str, count, *f)))
        return;
      std::u16string joined;
      for (char16_t ch : *f) {
        if (ch == u'\0')
          joined += platform::localeStrings().listSeparator;
        else
          joined += ch;
      }
      *f = std::move(joined);
      continue;
    }
    // Items flagged as typed but stored as a formula are a formula.
    if (f == &v.formula1)
      v.plainList = false;
    *f = formulaText(tokens, {}, 0, 0);
  }
  if (!readRanges(c, v.ranges) || v.ranges.empty())
    return;
  s.validations.push_back(std::move(v));
}

} // namespace

bool readBinaryWorkbook(std::span<const std::uint8_t> file, model::Workbook& book, ReadInfo* infoOut) {
  ReadInfo info;
  compound::WorkbookStreamReader stream;
  auto opened = stream.openWorkbookStream(file);
  std::span<const std::uint8_t> records = stream.bytes();
  // The oldest versions wrote the records straight into the file, with no
  // container around them: a file that starts with a BOF record is one.
  if (opened == compound::WorkbookStreamReader::Result::NotCompound && file.size() >= 8 &&
      isBof(static_cast<std::uint16_t>(file[0] | (file[1] << 8)))) {
    opened = compound::WorkbookStreamReader::Result::Ok;
    records = file;
    info.workbookStream = false;
  }
  if (opened != compound::WorkbookStreamReader::Result::Ok) {
    info.status = opened == compound::WorkbookStreamReader::Result::Damaged
                      ? ReadStatus::Damaged
                      : ReadStatus::WorkbookNotFound;
    showMessage(info.status == ReadStatus::Damaged ? model::kMessageInvalidData
                                                   : compound::kMessageWorkbookNotFound);
    if (infoOut)
      *infoOut = info;
    return false;
  }
  if (records.data() == stream.bytes().data())
    info.workbookStream = stream.isWorkbookName();
  bool ok = false;
  int sheetsLeftOut = 0;
  const bool fits = platform::withAllocation([&] {
    Reader reader(book);
    ok = reader.run(records, info);
    sheetsLeftOut = reader.m_sheetsLeftOut;
  });
  if (!fits) {
    ok = false;
    info.status = ReadStatus::OutOfMemory;
  }
  if (!ok && info.status == ReadStatus::Ok)
    info.status = ReadStatus::Damaged;
  // Every refusal says why: the password and memory messages are shown where
  // they arise, damage here.
  if (!ok && info.status == ReadStatus::Damaged)
    showMessage(model::kMessageInvalidData);
  if (ok)
    for (int i = 0; i < book.sheetCount(); ++i)
      model::adoptFileAutoFilter(book.sheet(i));
  if (ok && sheetsLeftOut > 0) {
    info.sheetsLeftOut = sheetsLeftOut;
    showMessage(kMessageSheetsLeftOut);
  }
  info.fileCodePage = book.fileCodePage;
  if (infoOut)
    *infoOut = info;
  return ok;
}

} // namespace biff
