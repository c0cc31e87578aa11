#include "fileformats/biff/workbook_writer.h"

#include "charts/chart_model.h"
#include "fileformats/biff/chart_records.h"
#include "fileformats/biff/control_records.h"
#include "fileformats/biff/drawing_records.h"

#include "fileformats/biff/formula_tokens.h"
#include "fileformats/biff/link_table.h"
#include "fileformats/biff/printer_settings.h"
#include "fileformats/biff/records.h"
#include "fileformats/compound/compound_file.h"
#include "formula/moved_copy.h"
#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/array_blocks.h"
#include "model/cell_store.h"
#include "model/sheet.h"
#include "numfmt/builtin_formats.h"
#include "platform/files.h"
#include "platform/locale_strings.h"
#include "platform/code_page.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <numeric>
#include <unordered_map>
#include <utility>

namespace biff {

namespace {

// Records this writer needs beyond the reader's.
// clang-format off
constexpr std::uint16_t rtCALCCOUNT       = 0x000C;
constexpr std::uint16_t rtCALCMODE        = 0x000D;
constexpr std::uint16_t rtPRECISION       = 0x000E;
constexpr std::uint16_t rtREFMODE         = 0x000F;
constexpr std::uint16_t rtDELTA           = 0x0010;
constexpr std::uint16_t rtITERATION       = 0x0011;
constexpr std::uint16_t rtEXTERNCOUNT     = 0x0016;
constexpr std::uint16_t rtWINDOWPROTECT   = 0x0019;
constexpr std::uint16_t rtBACKUP          = 0x0040;
constexpr std::uint16_t rtSAVERECALC      = 0x005F;
constexpr std::uint16_t rtHIDEOBJ         = 0x008D;
constexpr std::uint16_t rtFNGROUPCOUNT    = 0x009C;
constexpr std::uint16_t rtTOOLBARHDR      = 0x00BF;
constexpr std::uint16_t rtTOOLBAREND      = 0x00C0;
constexpr std::uint16_t rtMMS             = 0x00C1;
constexpr std::uint16_t rtDBCELL          = 0x00D7;
constexpr std::uint16_t rtBOOKBOOL        = 0x00DA;
constexpr std::uint16_t rtINTERFACEHDR    = 0x00E1;
constexpr std::uint16_t rtINTERFACEEND    = 0x00E2;
constexpr std::uint16_t rtTABID           = 0x013D;
constexpr std::uint16_t rtUSESELFS        = 0x0160;
constexpr std::uint16_t rtDSF             = 0x0161;
constexpr std::uint16_t rtPROT4REV        = 0x01AF;
constexpr std::uint16_t rtREFRESHALL      = 0x01B7;
constexpr std::uint16_t rtPROT4REVPASS    = 0x01BC;
constexpr std::uint16_t rtDIMENSIONS      = 0x0200;
constexpr std::uint16_t rtINDEX           = 0x020B;
// clang-format on

struct VersionFields {
  std::uint16_t versionWord;
  std::uint16_t build;
  std::uint16_t year;
  std::uint32_t history;
  std::uint32_t lowest;
};
constexpr VersionFields kBiff8Fields = {0x0600, 5618, 1996, 0x49, 6};
constexpr VersionFields kBiff5Fields = {0x0500, 6818, 1996, 0x49, 6};

constexpr std::uint16_t kSheetBofVersion = 0x0600; // also in Excel 95 files

enum class CellKind { Skip, Blank, Formula, Text, Number, Boolean, Error };

struct CellPlan {
  const model::CellRecord *cell = nullptr;
  CellKind kind = CellKind::Skip;
  std::uint16_t xf = model::kDefaultCellFormat;
  bool hasRk = false;
  std::uint32_t rk = 0;
  double number = 0;
  std::uint8_t code = 0; // boolean value or file error code
};

std::u16string_view withoutApostrophe(std::u16string_view text) {
  return !text.empty() && text[0] == u'\'' ? text.substr(1) : text;
}

// A formula typed as an array formula may keep its braces.
std::u16string_view arrayFormulaText(std::u16string_view text) {
  if (text.size() >= 2 && text.front() == u'{' && text.back() == u'}')
    return text.substr(1, text.size() - 2);
  return text;
}

// A filter is written only with a range it can name.
bool hasAutoFilter(const model::Sheet &s) {
  const model::AutoFilterState &f = s.autoFilter;
  return (s.flags & model::kSheetAutoFilter) && s.hasGrid() && f.firstRow <= f.lastRow &&
         f.firstColumn <= f.lastColumn;
}

// The sheet type of a BOUNDSHEET record, as the reader takes it back.
std::uint8_t boundSheetType(model::SheetKind kind) {
  switch (kind) {
  case model::SheetKind::Worksheet: return 0;
  case model::SheetKind::Macro: return 1;
  case model::SheetKind::Chart: return 2;
  case model::SheetKind::Module: return 6;
  }
  return 0;
}

} // namespace

int excel95CodePage(const model::Workbook &book) {
  return platform::isSupportedCodePage(book.codePage) ? book.codePage : 1252;
}

namespace {

class Writer {
public:
  Writer(const model::Workbook &book, int version)
      : m_book(book), m_b8(version != 7), m_links(linkTableForWriting(book)) {
    m_codePage = excel95CodePage(book);
    m_out.reserve(1u << 16);
  }

  std::vector<std::uint8_t> run();

private:
  // ---- record bodies ----
  void u8(std::uint8_t v) { m_body.push_back(v); }
  void u16(std::uint16_t v) {
    m_body.push_back(static_cast<std::uint8_t>(v));
    m_body.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  // Wider fields go in as one run of bytes: saving writes one or two per cell.
  void u32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    m_body.insert(m_body.end(), b, b + 4);
  }
  void f64(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    std::uint8_t b[8];
    for (int i = 0; i < 8; ++i)
      b[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    m_body.insert(m_body.end(), b, b + 8);
  }
  void zeros(size_t n) { m_body.insert(m_body.end(), n, 0); }
  void bytes(const std::vector<std::uint8_t> &b) {
    m_body.insert(m_body.end(), b.begin(), b.end());
  }
  void bytes(std::span<const std::uint8_t> b) { m_body.insert(m_body.end(), b.begin(), b.end()); }

  std::string narrow(std::u16string_view text) const {
    std::string out;
    if (!platform::fromUtf16(m_codePage, text, out))
      for (char16_t ch : text)
        out += ch < 0x100 ? static_cast<char>(ch) : '?';
    return out;
  }
  /// Text in the code page cut to `limit` bytes on a whole character; a cut
  /// is noted for the Save As question.
  std::string narrow(std::u16string_view text, size_t limit) const {
    std::string out;
    bool cut = false;
    if (!platform::fromUtf16Within(m_codePage, text, limit, out, cut)) {
      out = narrow(text);
      cut = out.size() > limit;
      out.resize(std::min(out.size(), limit));
    }
    noteCut(cut);
    return out;
  }
  // BIFF8 characters: one byte each when every one fits, else UTF-16.
  void chars8(std::u16string_view text) {
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    u8(wide ? 1 : 0);
    for (char16_t ch : text) {
      if (wide)
        u16(ch);
      else
        u8(static_cast<std::uint8_t>(ch));
    }
  }
  /// A string with a 1-byte (`wideLength` false) or 2-byte length.
  void text(std::u16string_view s, bool wideLength) {
    const size_t limit = wideLength ? 0xFFFF : 0xFF;
    if (m_b8) {
      noteCut(s.size() > limit);
      s = s.substr(0, std::min(s.size(), limit));
      if (wideLength)
        u16(static_cast<std::uint16_t>(s.size()));
      else
        u8(static_cast<std::uint8_t>(s.size()));
      chars8(s);
      return;
    }
    const std::string b = narrow(s, limit);
    if (wideLength)
      u16(static_cast<std::uint16_t>(b.size()));
    else
      u8(static_cast<std::uint8_t>(b.size()));
    m_body.insert(m_body.end(), b.begin(), b.end());
  }

  /// Appends the record in m_body; a body longer than the format allows runs
  /// on in CONTINUE records.
  void emit(std::uint16_t id) {
    size_t done = 0;
    do {
      const size_t n = std::min(kMaxRecordBody, m_body.size() - done);
      header(done == 0 ? id : rtCONTINUE, n);
      m_out.insert(m_out.end(), m_body.begin() + static_cast<std::ptrdiff_t>(done),
                   m_body.begin() + static_cast<std::ptrdiff_t>(done + n));
      done += n;
    } while (done < m_body.size());
    m_body.clear();
  }
  void header(std::uint16_t id, size_t length) {
    const std::uint8_t h[4] = {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8),
                               static_cast<std::uint8_t>(length),
                               static_cast<std::uint8_t>(length >> 8)};
    m_out.insert(m_out.end(), h, h + 4);
  }
  void r16(std::uint16_t id, std::uint16_t v) {
    u16(v);
    emit(id);
  }
  void country() {
    if (m_book.defaultCountry == 0 && m_book.systemCountry == 0)
      return;
    u16(m_book.defaultCountry);
    u16(m_book.systemCountry);
    emit(rtCOUNTRY);
  }
  void patch32(size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      m_out[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  }

  // ---- globals ----
  void bof(std::uint16_t versionWord, std::uint16_t type);
  void globals();
  void fonts();
  void formats();
  void cellFormats();
  void palette();
  void names();
  void biff5ExternSheets(bool forSheet, int self);
  void autoFilterNames();
  void collectLongTexts();
  void sharedStrings();

  // ---- sheets ----
  void sheet(int index);
  void worksheetBody(int index);
  /// The records of a chart between its BOF and EOF; `object` is null for
  /// a chart sheet's own chart.
  void chartSubstreamBody(int index, const model::DrawingObject *object);
  /// The sheets' drawing objects, comments and embedded charts.
  void sheetObjects(int index);
  void drawingGroup();
  const WorkbookDrawingWriter &drawings();
  std::unique_ptr<WorkbookDrawingWriter> m_drawings;
  void rowBlocks(int index, int lastRow, size_t indexSlots);
  void writeRowCells(int index, CellPlan *plans, size_t count);
  CellPlan planCell(int index, const model::CellRecord &cell) const;
  void formulaRecord(int index, const CellPlan &p, const model::DataTable *table = nullptr);
  void tableRecord(const model::DataTable &t);
  /// The data tables of sheet `index` that can be written: every result
  /// cell holds a value, none a formula of its own.
  void gatherTables(int index);
  const model::DataTable *tableOf(const model::CellRecord &c) const {
    for (const model::DataTable *t : m_tables)
      if (t->range.contains(c.row, c.column))
        return t;
    return nullptr;
  }
  void labelRecord(const CellPlan &p);
  void window2(int index);
  void pageSettings(const model::Sheet &s);
  void autoFilter(const model::Sheet &s);
  void conditionalFormats(int index);
  void validations(int index);
  void rangeList(const std::vector<model::CellRange> &ranges, size_t first, size_t count);

  TokenArray compile(std::u16string_view text, int sheet, const WriteOptions &options) const {
    TokenArray out;
    compileInto(text, sheet, options, out);
    return out;
  }
  /// Compiles into `out`, whose buffers are reused.
  void compileInto(std::u16string_view text, int sheet, const WriteOptions &options,
                   TokenArray &out) const {
    TokenContext ctx;
    ctx.book = &m_book;
    ctx.version = m_b8 ? 8 : 7;
    ctx.fileKind = 2;
    ctx.codePage = m_b8 ? 0 : m_codePage;
    ctx.sheet = sheet;
    ctx.writeLinks = &m_writeLinks;
    ctx.externSheetsBefore = m_externSheetsBefore;
    if (!formulaTextToTokens(text, ctx, options, out)) {
      // More tokens than a record's length fields can count: #REF! stands
      // for the formula, and the user is told.
      out = TokenArray{};
      out.tokens = {ptgErr, codeOfErrorIndex(static_cast<int>(model::ErrorCode::Ref))};
      noteCut(true);
    }
  }
  void noteCut(bool cut) const { m_textCut = m_textCut || cut; }
  std::uint16_t fileFontIndex(std::uint16_t font) const {
    return font >= 4 ? static_cast<std::uint16_t>(font + 1) : font;
  }
  std::uint16_t xfOf(const model::CellRecord &c) const { return validXf(c.formatIndex); }
  /// A format index the written table holds (cellFormats fills a short one
  /// up to the default format).
  std::uint16_t validXf(std::uint16_t xf) const {
    return xf < m_book.cellFormats.size() ? xf : model::kDefaultCellFormat;
  }
  std::uint16_t numberFormatOf(std::uint16_t xf) const {
    return xf < m_book.cellFormats.size() ? m_book.cellFormats[xf].numberFormatIndex : 0;
  }
  /// The text a cell's LABEL carries, when it is written as text.
  bool labelOf(int index, const model::CellRecord &c, std::u16string_view &out) const {
    const CellPlan p = planCell(index, c);
    if (p.kind != CellKind::Text)
      return false;
    out = textOf(c);
    return true;
  }
  static std::u16string_view textOf(const model::CellRecord &c) {
    if (!c.input.isNull() && !c.input.view().empty())
      return withoutApostrophe(c.input.view());
    return c.value.isString() ? std::u16string_view(c.value.stringValue()) : std::u16string_view();
  }
  bool needsSharedString(std::u16string_view s) const {
    const bool wide = std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; });
    return 9 + s.size() * (wide ? 2 : 1) > kMaxRecordBody;
  }

  void collectLinks();
  /// The sheets' names in the code page, as Excel 95 files hold them.
  void narrowSheetNames();
  /// Compiled tokens kept in the writer's pool, by offset and lengths.
  struct PooledTokens {
    size_t at = 0;
    std::uint32_t tokens = 0, extra = 0;
  };
  struct TokenView {
    std::span<const std::uint8_t> tokens, extra;
  };
  PooledTokens pool(const TokenArray &t);
  TokenView viewOf(const PooledTokens &p) const {
    const std::uint8_t *at = m_tokenPool.data() + p.at;
    return {{at, p.tokens}, {at + p.tokens, p.extra}};
  }
  /// The tokens of a formula cell (the master-cell token for a cell of an
  /// array block), compiled once in the pass that gathers links. The view
  /// holds until the next call.
  TokenView cellTokens(int index, const model::CellRecord &c);
  PooledTokens compileCell(int index, const model::CellRecord &c);
  /// The array block holding a cell of sheet `index`, or -1.
  int arrayBlockOf(int index, const model::CellRecord &c);
  void undefinedNames();
  void externalBooks();

  const model::Workbook &m_book;
  bool m_b8;
  LinkTable m_links;
  // Links the formulas need beyond the writer's own tables; filled by
  // collectLinks before the globals are written, read-only afterwards.
  mutable WriteLinks m_writeLinks;
  // A text or formula was cut to what the format holds; said once per save.
  mutable bool m_textCut = false;
  // BIFF5: EXTERNSHEET records of the substream being written that come
  // before its sheets' (a worksheet's add-in entry).
  int m_externSheetsBefore = 0;
  // Every cell formula's tokens in one pool: a workbook holds hundreds of
  // thousands of formulas, and a map of small vectors cost more than
  // compiling them. Cells are compiled in the order they are written, so
  // the writing pass finds each at the next place; a cell met out of that
  // order is found through a map made on first need.
  std::vector<std::uint8_t> m_tokenPool;
  std::vector<std::pair<const model::CellRecord *, PooledTokens>> m_cellTokens;
  size_t m_nextCellTokens = 0;
  std::unordered_map<const model::CellRecord *, size_t> m_cellTokensAt;
  std::map<std::pair<int, size_t>, PooledTokens> m_arrayTokens; // (sheet, block)
  TokenArray m_scratchTokens;
  // The last formula compiled in each column: the next cell of a filled
  // column holds the same text with its relative references moved, and its
  // tokens are these with the references' fields moved likewise (BIFF8,
  // whose fields hold every row).
  struct FilledFormula {
    std::u16string source;
    int sheet = -1;
    int row = 0;
    int column = 0;
    std::vector<PlacedReference> places;
    std::vector<formula::WrittenReference> refs;
    PooledTokens tokens;
  };
  std::vector<FilledFormula> m_filled;
  std::vector<PlacedReference> m_scratchPlaces;
  int m_namesLookLikeCells = -1; // unknown until the first formula
  PooledTokens filledCopy(int index, const model::CellRecord &c, std::u16string_view input);
  int m_codePage = 1252;
  std::vector<std::uint8_t> m_out;
  std::vector<std::uint8_t> m_body;
  std::vector<size_t> m_boundSheetAt; // stream offsets of the BOUNDSHEET position fields
  std::array<std::uint16_t, 256> m_columnXf{};
  // BIFF8 texts too long for a LABEL record go to the shared string table.
  std::vector<std::u16string_view> m_longTexts;
  std::unordered_map<const model::CellRecord *, std::uint32_t> m_longTextIndex;
  std::vector<bool> m_arrayWritten;
  std::vector<std::string> m_sheetNames5; // Excel 95 only, by sheet
  std::vector<const model::DataTable *> m_tables; // of the sheet being written
  std::map<int, model::ArrayBlockIndex> m_arrayIndexes; // by sheet, built on first use
};

void Writer::bof(std::uint16_t versionWord, std::uint16_t type) {
  const VersionFields &v = m_b8 ? kBiff8Fields : kBiff5Fields;
  u16(versionWord);
  u16(type);
  u16(v.build);
  u16(v.year);
  if (m_b8) {
    u32(v.history);
    u32(v.lowest);
  }
  emit(rtBOF);
}

std::vector<std::uint8_t> Writer::run() {
  // Room for the cell records at the outset: growing a stream of tens of
  // megabytes by doubling copied it several times over.
  size_t cells = 0;
  for (int i = 0; i < m_book.sheetCount(); ++i)
    cells += m_book.sheet(i).cells.count();
  m_out.reserve(std::min<size_t>(cells * 32 + (1u << 16), size_t{64} << 20));
  if (m_b8)
    collectLongTexts();
  else
    narrowSheetNames();
  collectLinks();
  globals();
  for (int i = 0; i < m_book.sheetCount(); ++i)
    sheet(i);
  if (m_textCut)
    platform::ui().messageBox(kMessageTextCut, std::nullopt, platform::MessageButtons::Ok,
                              platform::MessageIcon::None);
  return std::move(m_out);
}

void Writer::globals() {
  bof((m_b8 ? kBiff8Fields : kBiff5Fields).versionWord, kSubstreamGlobals);
  if (m_b8)
    u16(static_cast<std::uint16_t>(m_codePage));
  emit(rtINTERFACEHDR);
  r16(rtMMS, 0);
  if (!m_b8) {
    emit(rtTOOLBARHDR);
    emit(rtTOOLBAREND);
  }
  emit(rtINTERFACEEND);
  if (!m_book.writeAccess.empty()) {
    // The name, padded with spaces to the record's fixed size.
    const size_t room = m_b8 ? 109 : 31;
    const size_t n = std::min(m_book.writeAccess.size(), room);
    if (m_b8) {
      u16(static_cast<std::uint16_t>(n));
      u8(0);
    } else {
      u8(static_cast<std::uint8_t>(n));
    }
    m_body.insert(m_body.end(), m_book.writeAccess.begin(),
                  m_book.writeAccess.begin() + static_cast<std::ptrdiff_t>(n));
    m_body.insert(m_body.end(), room - n, ' ');
    emit(rtWRITEACCESS);
  }
  r16(rtCODEPAGE, static_cast<std::uint16_t>(m_codePage));
  const int sheets = m_book.sheetCount();
  if (m_b8) {
    r16(rtDSF, 0);
    for (int i = 1; i <= sheets; ++i)
      u16(static_cast<std::uint16_t>(i));
    emit(rtTABID);
  }
  r16(rtFNGROUPCOUNT, 14);
  if (!m_b8) {
    r16(rtEXTERNCOUNT, static_cast<std::uint16_t>(sheets));
    biff5ExternSheets(false, -1);
    names();
    autoFilterNames();
  }
  r16(rtWINDOWPROTECT, 0);
  r16(rtPROTECT, 0);
  r16(rtPASSWORD, 0);
  if (m_b8) {
    r16(rtPROT4REV, 0);
    r16(rtPROT4REVPASS, 0);
  }
  u16(0);
  u16(0);
  u16(15315);
  u16(8970);
  u16(static_cast<std::uint16_t>((m_book.showSheetTabs ? 0x20 : 0) |
                                 (m_book.showVerticalScrollBar ? 0x10 : 0) |
                                 (m_book.showHorizontalScrollBar ? 0x08 : 0)));
  u16(static_cast<std::uint16_t>(std::max(0, m_book.activeSheet)));
  u16(0);
  u16(1);
  u16(600);
  emit(rtWINDOW1);
  r16(rtBACKUP, 0);
  r16(rtHIDEOBJ, 0);
  r16(rt1904, m_book.date1904 ? 1 : 0);
  r16(rtPRECISION, 1);
  if (m_b8)
    r16(rtREFRESHALL, 0);
  r16(rtBOOKBOOL, 0);
  fonts();
  formats();
  cellFormats();
  for (const model::StyleRecord &s : m_book.styles) {
    u16(s.cellFormat);
    u8(s.builtinStyle);
    u8(s.outlineLevel);
    emit(rtSTYLE);
  }
  palette();
  for (const auto &sp : m_book.sheets) {
    m_boundSheetAt.push_back(m_out.size() + 4);
    u32(0);
    u8(static_cast<std::uint8_t>(sp->hidden & 0x03));
    u8(boundSheetType(sp->kind));
    if (m_b8) {
      text(sp->name, false);
    } else {
      const std::string &name = m_sheetNames5[m_boundSheetAt.size() - 1];
      u8(static_cast<std::uint8_t>(name.size()));
      m_body.insert(m_body.end(), name.begin(), name.end());
    }
    emit(rtBOUNDSHEET);
  }
  country();
  if (m_b8) {
    if (!m_book.addInNames.empty()) {
      u16(1);
      u16(0x3A01);
      emit(rtSUPBOOK);
      for (const std::u16string &n : m_book.addInNames) {
        zeros(6);
        text(n, false);
        u16(2);
        u8(ptgErr);
        u8(0x17);
        emit(rtEXTERNNAME);
      }
    }
    u16(static_cast<std::uint16_t>(sheets));
    u16(0x0401);
    emit(rtSUPBOOK);
    if (std::any_of(m_book.sheets.begin(), m_book.sheets.end(),
                    [](const auto &s) { return s->kind == model::SheetKind::Macro; })) {
      u16(0);
      u16(1);
      u16(0);
      emit(rtSUPBOOK);
    }
    externalBooks();
    u16(static_cast<std::uint16_t>(m_links.externSheets.size() + m_writeLinks.externSheets.size()));
    for (const auto *list : {&m_links.externSheets, &m_writeLinks.externSheets})
      for (const ExternSheetEntry &e : *list) {
        u16(e.book);
        u16(e.firstSheet);
        u16(e.lastSheet);
      }
    emit(rtEXTERNSHEET);
    names();
    autoFilterNames();
    drawingGroup();
    sharedStrings();
  }
  emit(rtEOF);
}

const WorkbookDrawingWriter &Writer::drawings() {
  if (!m_drawings) {
    std::vector<const model::Sheet *> sheets;
    for (const auto &sp : m_book.sheets)
      sheets.push_back(sp.get());
    DrawingWriteContext ctx;
    ctx.version = m_b8 ? 8 : 7;
    ctx.palette = &m_book.palette;
    ctx.fileFont = [this](std::uint16_t font) {
      return font < m_book.fonts.size() ? fileFontIndex(font) : std::uint16_t{0};
    };
    ctx.narrowText = [this](std::u16string_view text) { return narrow(text); };
    ctx.formulaTokens = [this](std::u16string_view text, int sheet) {
      // Extra data (arrays) has no place beside an object's formula.
      TokenArray t = compile(text, sheet, WriteOptions{});
      return t.extra.empty() ? t.tokens : std::vector<std::uint8_t>{};
    };
    // The control's sheet and place in its list: option groups are found from it.
    const auto locate = [this](const model::DrawingObject &object) -> std::pair<int, int> {
      const std::less<const model::DrawingObject *> before;
      for (int s = 0; s < m_book.sheetCount(); ++s) {
        const std::vector<model::DrawingObject> &list = m_book.sheets[static_cast<size_t>(s)]->objects;
        if (!list.empty() && !before(&object, list.data()) && before(&object, list.data() + list.size()))
          return {s, static_cast<int>(&object - list.data())};
      }
      return {-1, -1};
    };
    const auto referenceTokens = [this](int s) {
      return [this, s](std::u16string_view text) {
        WriteOptions options;
        options.expressionClass = TokenClass::Reference;
        TokenArray t = compile(text, s, options);
        return t.extra.empty() ? t.tokens : std::vector<std::uint8_t>{};
      };
    };
    ctx.controlSubrecords = [this, locate, referenceTokens](const model::DrawingObject &object) {
      const auto [s, index] = locate(object);
      if (s < 0)
        return std::vector<std::uint8_t>{};
      return writeControlSubRecords(*m_book.sheets[static_cast<size_t>(s)], index, referenceTokens(s));
    };
    ctx.biff5ControlFields = [this, locate, referenceTokens](const model::DrawingObject &object, std::uint16_t flags,
                                                             std::string_view name) {
      const auto [s, index] = locate(object);
      if (s < 0)
        return std::vector<std::uint8_t>{};
      return writeBiff5ControlFields(*m_book.sheets[static_cast<size_t>(s)], index, flags, name, referenceTokens(s),
                                     [this](std::u16string_view text) { return narrow(text); });
    };
    m_drawings = std::make_unique<WorkbookDrawingWriter>(sheets, std::move(ctx));
  }
  return *m_drawings;
}

void Writer::drawingGroup() {
  for (const DrawingRecord &r : drawings().groupRecords()) {
    bytes(r.body);
    emit(r.id);
  }
}

void Writer::sheetObjects(int index) {
  for (const DrawingRecord &r : drawings().sheetRecords(index)) {
    bytes(r.body);
    // A drawing record longer than one record goes on in CONTINUE records
    // right after it, never after an OBJ or TXO.
    emit(r.id);
    if (r.chartAfter) {
      bof(kSheetBofVersion, kSubstreamChart);
      chartSubstreamBody(index, r.chartAfter);
      emit(rtEOF);
    }
  }
}

void Writer::chartSubstreamBody(int index, const model::DrawingObject *object) {
  model::Workbook &book = const_cast<model::Workbook &>(m_book);
  const charts::ChartModel *chart =
      object ? charts::chartOf(*object) : charts::chartOfSheet(book.sheet(index));
  if (!chart)
    return;
  int host = index;
  if (!object) {
    // A chart sheet has no cells: its references without a sheet name mean
    // the first worksheet.
    host = 0;
    for (int i = 0; i < m_book.sheetCount(); ++i)
      if (m_book.sheet(i).hasGrid()) {
        host = i;
        break;
      }
  }
  if (!m_b8 && m_book.sheetCount() > 1) {
    r16(rtEXTERNCOUNT, static_cast<std::uint16_t>(m_book.sheetCount()));
    biff5ExternSheets(true, -1);
  }
  // A chart's own substream lists the sheets alone.
  const int sheetsBefore = std::exchange(m_externSheetsBefore, 0);
  ChartWriteContext ctx;
  ctx.version = m_b8 ? 8 : 7;
  ctx.book = &m_book;
  ctx.hostSheet = host;
  ctx.compileReference = [this, host](std::u16string_view text) {
    WriteOptions options;
    options.expressionClass = TokenClass::Reference;
    return compile(text, host, options);
  };
  ctx.narrow = [this](std::u16string_view text) { return narrow(text); };
  const std::vector<std::uint8_t> records = writeChartRecords(*chart, book, ctx);
  m_externSheetsBefore = sheetsBefore;
  m_out.insert(m_out.end(), records.begin(), records.end());
}

void Writer::fonts() {
  for (const model::Font &f : m_book.fonts) {
    u16(f.heightTwips);
    u16(static_cast<std::uint16_t>(f.attributes & (model::kFontItalic | model::kFontStrikeOut)));
    u16(f.colourIndex);
    u16(f.weight);
    u16(0);
    u8(f.underline);
    u8(f.pitchAndFamily);
    // Other programs read Excel 95 cell text in the character set of its
    // font: an ANSI or default font there says the workbook's code page.
    const int pageSet = platform::charSetOfCodePage(m_codePage);
    const bool plain = f.charSet == 0 || f.charSet == 1;
    u8(static_cast<std::uint8_t>(!m_b8 && plain && pageSet != 0 ? pageSet : f.charSet));
    u8(0);
    noteCut(f.face.size() > 31);
    text(std::u16string_view(f.face).substr(0, 31), false);
    emit(rtFONT);
  }
}

void Writer::formats() {
  for (const model::NumberFormat &f : m_book.numberFormats) {
    if (f.index == 14 || f.index == 20 || f.index == 22)
      continue;
    const auto builtin =
        std::find_if(std::begin(numfmt::kBuiltinFormats), std::end(numfmt::kBuiltinFormats),
                     [&](const numfmt::BuiltinFormat &b) { return b.index == f.index; });
    if (builtin != std::end(numfmt::kBuiltinFormats) && builtin->code == f.code)
      continue;
    u16(f.index);
    text(f.code, m_b8);
    emit(rtFORMAT);
  }
}

// Field positions mirror the reader's unpacking of each version.
void Writer::cellFormats() {
  // Cells without a format of their own name format 15, and other programs
  // expect the 15 style formats before it: a short table is filled up with
  // plain ones, so every index written names a format.
  std::vector<model::CellFormat> filled;
  const std::vector<model::CellFormat> *table = &m_book.cellFormats;
  if (table->size() <= model::kDefaultCellFormat) {
    filled = *table;
    while (filled.size() <= model::kDefaultCellFormat) {
      model::CellFormat plain;
      if (filled.size() < model::kDefaultCellFormat)
        plain.flags |= model::kFormatStyle;
      filled.push_back(plain);
    }
    table = &filled;
  }
  for (const model::CellFormat &f : *table) {
    const bool style = (f.flags & model::kFormatStyle) != 0;
    const std::uint8_t pattern = f.patternColour & 0x7F, background = f.backgroundColour & 0x7F;
    u16(fileFontIndex(f.fontIndex));
    u16(f.numberFormatIndex);
    std::uint16_t type =
        static_cast<std::uint16_t>(((f.flags & model::kFormatLocked) ? 0x0001 : 0) |
                                   ((f.flags & model::kFormatFormulaHidden) ? 0x0002 : 0) |
                                   (style ? 0x0004 : 0) | ((f.flags & (1u << 3)) ? 0x0008 : 0));
    if (style)
      type |= 0xFFF0;
    u16(type);
    u8(static_cast<std::uint8_t>((f.horizontalAlignment & 0x07) |
                                 ((f.flags & model::kFormatWrapText) ? 0x08 : 0) |
                                 ((f.verticalAlignment & 0x07) << 4)));
    // Cell formats say they set every attribute group themselves.
    const std::uint8_t used = style ? 0x00 : 0xFC;
    auto colour = [](std::uint8_t c) { return static_cast<std::uint32_t>(c & 0x7F); };
    const auto &b = f.borders;
    if (m_b8) {
      u8(0); // rotation
      u8(0); // indent
      u8(used);
      u32((b[0].style & 0x0Fu) | ((b[1].style & 0x0Fu) << 4) | ((b[2].style & 0x0Fu) << 8) |
          ((b[3].style & 0x0Fu) << 12) | (colour(b[0].colour) << 16) | (colour(b[1].colour) << 23));
      u32(colour(b[2].colour) | (colour(b[3].colour) << 7) |
          (static_cast<std::uint32_t>(f.fillPattern & 0x3F) << 26));
      u16(static_cast<std::uint16_t>(pattern | (background << 7)));
    } else {
      u8(used);
      u32(static_cast<std::uint32_t>(pattern) | (static_cast<std::uint32_t>(background) << 7) |
          (static_cast<std::uint32_t>(f.fillPattern & 0x3F) << 16) | ((b[3].style & 0x07u) << 22) |
          (colour(b[3].colour) << 25));
      u32((b[2].style & 0x07u) | ((b[0].style & 0x07u) << 3) | ((b[1].style & 0x07u) << 6) |
          (colour(b[2].colour) << 9) | (colour(b[0].colour) << 16) | (colour(b[1].colour) << 23));
    }
    emit(rtXF);
  }
}

void Writer::palette() {
  const bool standard = m_book.palette == model::kDefaultPalette;
  if (!standard || !m_b8) {
    u16(56);
    for (size_t i = 8; i < 64; ++i) {
      const std::uint32_t c = m_book.palette[i];
      u8(static_cast<std::uint8_t>(c));
      u8(static_cast<std::uint8_t>(c >> 8));
      u8(static_cast<std::uint8_t>(c >> 16));
      u8(0);
    }
    emit(rtPALETTE);
  }
  if (m_b8)
    r16(rtUSESELFS, 1);
}

// Every formula is compiled once before anything is written: the references
// into other workbooks and the names without definition it meets need
// records in the globals, which come first. Cell formulas keep their tokens;
// the few others are compiled again when written, to the same result.
void Writer::collectLinks() {
  const bool addIns = !m_book.addInNames.empty();
  const bool macro = std::any_of(m_book.sheets.begin(), m_book.sheets.end(),
                                 [](const auto &s) { return s->kind == model::SheetKind::Macro; });
  m_writeLinks.ownExternSheets = m_links.externSheets.size();
  m_writeLinks.ownSupportingBooks = (addIns ? 1 : 0) + 1 + (macro ? 1 : 0);
  m_writeLinks.definedNames = m_book.names.size();
  WriteOptions nameOptions;
  nameOptions.expressionClass = TokenClass::Reference;
  for (const model::DefinedName &n : m_book.names)
    if (!n.formula.empty())
      (void)compile(n.formula, n.sheetIndex > 0 ? n.sheetIndex - 1 : -1, nameOptions);
  // Compiled for the worksheets' substreams, where the add-ins' entry
  // comes first.
  m_externSheetsBefore = addIns ? 1 : 0;
  for (int i = 0; i < m_book.sheetCount(); ++i) {
    const model::Sheet &s = m_book.sheet(i);
    if (!s.hasGrid() || s.kind == model::SheetKind::Module)
      continue;
    s.cells.forEach([&](const model::CellRecord &c) {
      if (!c.input.isNull() && !c.input.view().empty() && planCell(i, c).kind == CellKind::Formula)
        (void)compileCell(i, c);
    });
    WriteOptions relative;
    relative.relativeMode = true;
    for (const model::ConditionalFormat &set : s.conditionalFormats)
      for (const model::FormatCondition &c : set.conditions) {
        (void)compile(c.operand1, i, relative);
        if (!c.operand2.empty())
          (void)compile(c.operand2, i, relative);
      }
    relative.expressionClass = TokenClass::Reference;
    for (const model::ValidationRule &v : s.validations)
      for (const std::u16string *f : {&v.formula1, &v.formula2})
        if (!f->empty() && !(f == &v.formula1 && v.allow == model::kAllowList && v.plainList))
          (void)compile(*f, i, relative);
  }
  m_externSheetsBefore = 0;
}

int Writer::arrayBlockOf(int index, const model::CellRecord &c) {
  const model::Sheet &s = m_book.sheet(index);
  if (s.arrayFormulas.empty())
    return -1;
  auto it = m_arrayIndexes.find(index);
  if (it == m_arrayIndexes.end())
    it = m_arrayIndexes.try_emplace(index, s.arrayFormulas).first;
  return it->second.find(c.row, c.column);
}

Writer::PooledTokens Writer::pool(const TokenArray &t) {
  PooledTokens p{m_tokenPool.size(), static_cast<std::uint32_t>(t.tokens.size()),
                 static_cast<std::uint32_t>(t.extra.size())};
  m_tokenPool.insert(m_tokenPool.end(), t.tokens.begin(), t.tokens.end());
  m_tokenPool.insert(m_tokenPool.end(), t.extra.begin(), t.extra.end());
  return p;
}

Writer::TokenView Writer::cellTokens(int index, const model::CellRecord &c) {
  if (m_nextCellTokens < m_cellTokens.size() && m_cellTokens[m_nextCellTokens].first == &c)
    return viewOf(m_cellTokens[m_nextCellTokens++].second);
  if (!m_cellTokens.empty() && m_cellTokensAt.empty()) {
    m_cellTokensAt.reserve(m_cellTokens.size());
    for (size_t i = 0; i < m_cellTokens.size(); ++i)
      m_cellTokensAt.emplace(m_cellTokens[i].first, i);
  }
  if (const auto found = m_cellTokensAt.find(&c); found != m_cellTokensAt.end()) {
    m_nextCellTokens = found->second + 1;
    return viewOf(m_cellTokens[found->second].second);
  }
  return viewOf(compileCell(index, c));
}

Writer::PooledTokens Writer::compileCell(int index, const model::CellRecord &c) {
  const model::Sheet &s = m_book.sheet(index);
  const std::u16string_view input = arrayFormulaText(c.input.view());
  PooledTokens p;
  if (const int held = arrayBlockOf(index, c); held >= 0) {
    const auto a = static_cast<size_t>(held);
    const model::ArrayFormulaRecord &block = s.arrayFormulas[a];
    // A cell of an array block stands for the block's formula, which is
    // compiled from the first of its cells that is written.
    const auto key = std::make_pair(index, a);
    auto it = m_arrayTokens.find(key);
    if (it == m_arrayTokens.end()) {
      WriteOptions options;
      options.arrayContext = true;
      it = m_arrayTokens
               .emplace(key, pool(compile(block.text.empty() ? input : arrayFormulaText(block.text),
                                          index, options)))
               .first;
    }
    p = it->second;
  } else {
    p = filledCopy(index, c, input);
  }
  if (!m_cellTokensAt.empty())
    m_cellTokensAt.emplace(&c, m_cellTokens.size());
  m_cellTokens.emplace_back(&c, p);
  return p;
}

Writer::PooledTokens Writer::filledCopy(int index, const model::CellRecord &c, std::u16string_view input) {
  if (m_namesLookLikeCells < 0)
    m_namesLookLikeCells = std::any_of(m_book.names.begin(), m_book.names.end(), [](const model::DefinedName &n) {
      return formula::nameCouldReadAsCell(n.name);
    });
  if (!m_b8 || m_namesLookLikeCells) {
    compileInto(input, index, WriteOptions{}, m_scratchTokens);
    return pool(m_scratchTokens);
  }
  if (m_filled.empty())
    m_filled.resize(model::kColumnCount);
  FilledFormula &last = m_filled[c.column];
  const int rows = c.row - last.row;
  const int columns = c.column - last.column;
  if (last.sheet == index && formula::isMovedCopy(last.source, last.refs, input, rows, columns)) {
    const PooledTokens p{m_tokenPool.size(), last.tokens.tokens, last.tokens.extra};
    m_tokenPool.resize(p.at + p.tokens + p.extra);
    std::memcpy(m_tokenPool.data() + p.at, m_tokenPool.data() + last.tokens.at, p.tokens + p.extra);
    std::uint8_t *t = m_tokenPool.data() + p.at;
    const auto put16 = [](std::uint8_t *at, int v) {
      at[0] = static_cast<std::uint8_t>(v & 0xFF);
      at[1] = static_cast<std::uint8_t>(v >> 8);
    };
    for (const PlacedReference &r : last.places) {
      const formula::RefCorner &a = r.written.first;
      const formula::RefCorner &b = r.written.last;
      const int row1 = a.rowAbsolute ? a.row : a.row + rows, column1 = a.columnAbsolute ? a.column : a.column + columns;
      const int row2 = b.rowAbsolute ? b.row : b.row + rows, column2 = b.columnAbsolute ? b.column : b.column + columns;
      std::uint8_t *at = t + r.tokenAt;
      if (r.written.isArea) {
        put16(at, row1);
        put16(at + 2, row2);
        at[4] = static_cast<std::uint8_t>(column1);
        at[6] = static_cast<std::uint8_t>(column2);
      } else {
        put16(at, row1);
        at[2] = static_cast<std::uint8_t>(column1);
      }
    }
    return p;
  }
  TokenContext ctx;
  ctx.book = &m_book;
  ctx.version = 8;
  ctx.fileKind = 2;
  ctx.sheet = index;
  ctx.writeLinks = &m_writeLinks;
  if (!formulaTextToTokens(input, ctx, WriteOptions{}, m_scratchTokens, m_scratchPlaces)) {
    // As compileInto: too many tokens for a record become #REF!, once.
    compileInto(input, index, WriteOptions{}, m_scratchTokens);
    return pool(m_scratchTokens);
  }
  const PooledTokens p = pool(m_scratchTokens);
  // Kept for the column's next cell when each reference sits where it was
  // written, written as moved ones are, its fields inside the tokens.
  bool movable = true;
  size_t after = 0;
  char16_t written[formula::kMaxWrittenReference];
  for (const PlacedReference &r : m_scratchPlaces) {
    const size_t length = formula::writeMovedReference(r.written, 0, 0, written);
    movable = movable && r.written.begin >= after && r.written.end <= input.size() &&
              r.tokenAt + (r.written.isArea ? 8u : 4u) <= m_scratchTokens.tokens.size() && length != 0 &&
              input.substr(r.written.begin, r.written.end - r.written.begin) == std::u16string_view(written, length);
    after = r.written.end;
  }
  if (movable) {
    last.source.assign(input);
    last.sheet = index;
    last.row = c.row;
    last.column = c.column;
    last.places = m_scratchPlaces;
    last.refs.clear();
    for (const PlacedReference &r : m_scratchPlaces)
      last.refs.push_back(r.written);
    last.tokens = p;
  }
  return p;
}

// Names that formulas use but nothing defines: hidden, and #NAME? as their
// definition, as other programs write them.
void Writer::undefinedNames() {
  for (const std::u16string &name : m_writeLinks.undefinedNames) {
    u16(0x0001); // hidden
    u8(0);
    std::string narrowName;
    if (!m_b8)
      narrowName = narrow(name, 255);
    noteCut(name.size() > 255);
    u8(static_cast<std::uint8_t>(m_b8 ? name.size() : narrowName.size()));
    u16(2);
    u16(0);
    u16(0);
    zeros(4);
    if (m_b8)
      chars8(name);
    else
      m_body.insert(m_body.end(), narrowName.begin(), narrowName.end());
    u8(ptgErr);
    u8(codeOfErrorIndex(static_cast<int>(model::ErrorCode::Name)));
    emit(rtNAME);
  }
}

// The other workbooks that references name, each with the names of it that
// formulas use.
void Writer::externalBooks() {
  for (const ExternalBook &b : m_writeLinks.books) {
    bytes(supportingBookBody(b));
    emit(rtSUPBOOK);
    for (const std::u16string &n : b.names) {
      zeros(6);
      text(n, false);
      u16(2);
      u8(ptgErr);
      u8(codeOfErrorIndex(static_cast<int>(model::ErrorCode::Ref)));
      emit(rtEXTERNNAME);
    }
  }
}

void Writer::names() {
  for (const model::DefinedName &n : m_book.names) {
    int code = -1;
    for (size_t k = 0; k < std::size(model::kBuiltinNameTexts); ++k)
      if (n.name == model::kBuiltinNameTexts[k])
        code = static_cast<int>(k);
    WriteOptions options;
    options.expressionClass = TokenClass::Reference;
    TokenArray t;
    if (!n.formula.empty())
      t = compile(n.formula, n.sheetIndex > 0 ? n.sheetIndex - 1 : -1, options);
    else if (!n.fileBytes.empty())
      // A definition that could not be read as text: its bytes would hold
      // another version's layout and stale sheet indexes.
      t.tokens = {ptgErr, codeOfErrorIndex(static_cast<int>(model::ErrorCode::Ref))};
    std::uint16_t flags = code >= 0 ? 0x0020 : 0;
    if (n.flags & model::kNameCommandMacro)
      flags |= 0x0008;
    // Hidden, a function of a command macro in the group later versions
    // give their newer functions, as those versions write it.
    if (n.flags & model::kNameLaterFunction)
      flags |= 0x0001 | 0x0002 | 0x0008 | (14u << 6);
    u16(flags);
    u8(static_cast<std::uint8_t>(n.shortcut));
    std::u16string_view name = std::u16string_view(n.name).substr(0, 255);
    std::string narrowName;
    if (!m_b8 && code < 0)
      narrowName = narrow(name, 255);
    noteCut(code < 0 && n.name.size() > 255);
    u8(static_cast<std::uint8_t>(code >= 0 ? 1 : m_b8 ? name.size() : narrowName.size()));
    u16(static_cast<std::uint16_t>(std::min<size_t>(t.tokens.size(), 0xFFFF)));
    const auto scope = static_cast<std::uint16_t>(std::clamp(n.sheetIndex, 0, 0xFFFF));
    u16(scope);
    u16(scope);
    zeros(4);
    if (code >= 0) {
      if (m_b8)
        u8(0);
      u8(static_cast<std::uint8_t>(code));
    } else if (m_b8) {
      chars8(name);
    } else {
      m_body.insert(m_body.end(), narrowName.begin(), narrowName.end());
    }
    bytes(t.tokens);
    bytes(t.extra);
    emit(rtNAME);
  }
  undefinedNames();
}

// BIFF5 keeps its sheet links in EXTERNSHEET records: in the globals every
// sheet by name, in a sheet the sheet itself by the "own sheet" marker.
void Writer::biff5ExternSheets(bool forSheet, int self) {
  for (int i = 0; i < m_book.sheetCount(); ++i) {
    if (forSheet && i == self) {
      r16(rtEXTERNSHEET, 0x0201);
      continue;
    }
    const std::string &name = m_sheetNames5[static_cast<size_t>(i)];
    u8(static_cast<std::uint8_t>(name.size()));
    u8(3);
    m_body.insert(m_body.end(), name.begin(), name.end());
    emit(rtEXTERNSHEET);
  }
}

void Writer::collectLongTexts() {
  for (int i = 0; i < m_book.sheetCount(); ++i) {
    const model::Sheet &s = m_book.sheet(i);
    if (!s.hasGrid())
      continue;
    s.cells.forEach([&](const model::CellRecord &c) {
      if (c.input.size() * 2 + 9 <= kMaxRecordBody && !(c.value.isString() && c.input.isNull()))
        return;
      std::u16string_view t;
      if (labelOf(i, c, t) && needsSharedString(t)) {
        m_longTextIndex[&c] = static_cast<std::uint32_t>(m_longTexts.size());
        m_longTexts.push_back(t);
      }
    });
  }
}

// Each string restarts in a CONTINUE record with its own option byte when
// its characters cross a record boundary; headers never straddle one.
void Writer::sharedStrings() {
  u32(static_cast<std::uint32_t>(m_longTexts.size()));
  u32(static_cast<std::uint32_t>(m_longTexts.size()));
  std::uint16_t id = rtSST;
  auto flush = [&]() {
    header(id, m_body.size());
    m_out.insert(m_out.end(), m_body.begin(), m_body.end());
    m_body.clear();
    id = rtCONTINUE;
  };
  for (std::u16string_view s : m_longTexts) {
    noteCut(s.size() > 0xFFFF);
    s = s.substr(0, std::min<size_t>(s.size(), 0xFFFF));
    const bool wide = std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; });
    const size_t width = wide ? 2 : 1;
    if (m_body.size() + 3 + width > kMaxRecordBody)
      flush();
    u16(static_cast<std::uint16_t>(s.size()));
    u8(wide ? 1 : 0);
    size_t i = 0;
    while (i < s.size()) {
      if (m_body.size() + width > kMaxRecordBody) {
        flush();
        u8(wide ? 1 : 0);
      }
      const size_t room = (kMaxRecordBody - m_body.size()) / width;
      const size_t n = std::min(room, s.size() - i);
      for (size_t k = 0; k < n; ++k) {
        if (wide)
          u16(s[i + k]);
        else
          u8(static_cast<std::uint8_t>(s[i + k]));
      }
      i += n;
    }
  }
  flush();
}

// ---- sheets ----

void Writer::sheet(int index) {
  const model::Sheet &s = m_book.sheet(index);
  patch32(m_boundSheetAt[static_cast<size_t>(index)], static_cast<std::uint32_t>(m_out.size()));
  std::uint16_t type = kSubstreamWorksheet;
  if (s.kind == model::SheetKind::Macro)
    type = kSubstreamMacro;
  else if (s.kind == model::SheetKind::Chart)
    type = kSubstreamChart;
  else if (s.kind == model::SheetKind::Module)
    type = kSubstreamModule;
  bof(kSheetBofVersion, type);
  if (s.hasGrid() && s.kind != model::SheetKind::Module) {
    m_externSheetsBefore = m_book.addInNames.empty() ? 0 : 1;
    worksheetBody(index);
    m_externSheetsBefore = 0;
  } else {
    if (s.kind == model::SheetKind::Chart)
      chartSubstreamBody(index, nullptr);
    const bool active = index == m_book.activeSheet;
    u16(m_b8 ? (active ? 0x0602 : 0x0009) : (active ? 0x0678 : 0x01E0));
    zeros(8);
    emit(rtWINDOW2);
  }
  if (m_b8 || s.zoom != 100) {
    const int zoom = std::clamp<int>(s.zoom, 10, 400);
    const int g = std::gcd(zoom, 100);
    u16(static_cast<std::uint16_t>(zoom / g));
    u16(static_cast<std::uint16_t>(100 / g));
    emit(rtSCL);
  }
  if (s.tabColour != 0) {
    u16(rtSHEETEXT);
    zeros(10);
    u32(20);
    u32(s.tabColour);
    emit(rtSHEETEXT);
  }
  emit(rtEOF);
}

void Writer::worksheetBody(int index) {
  const model::Sheet &s = m_book.sheet(index);
  model::CellRange used;
  const bool hasCells = model::usedRange(s, used);
  int lastRow = hasCells ? used.lastRow : -1;
  if (!s.rows.empty())
    lastRow = std::max<int>(lastRow, s.rows.back().row);
  const int lastColumn = hasCells ? used.lastColumn : -1;
  const size_t blocks = static_cast<size_t>((lastRow + 1 + 31) / 32);
  for (int c = 0; c < 256; ++c)
    m_columnXf[static_cast<size_t>(c)] = model::kDefaultCellFormat;
  for (const model::ColumnRecord &c : s.columns)
    m_columnXf[c.column] = validXf(c.formatIndex);

  zeros(4);
  if (m_b8) {
    u32(0);
    u32(static_cast<std::uint32_t>(lastRow + 1));
  } else {
    u16(0);
    u16(static_cast<std::uint16_t>(lastRow + 1));
  }
  zeros(4);
  const size_t indexSlots = m_out.size() + 4 + m_body.size();
  zeros(4 * blocks);
  emit(rtINDEX);

  r16(rtCALCMODE, 1);
  r16(rtCALCCOUNT, 100);
  r16(rtREFMODE, 1);
  r16(rtITERATION, 0);
  f64(0.001);
  emit(rtDELTA);
  r16(rtSAVERECALC, 1);
  r16(rtPRINTHEADERS, s.pageSetup.printHeaders ? 1 : 0);
  r16(rtPRINTGRIDLINES, s.pageSetup.printGridlines ? 1 : 0);
  r16(rtGRIDSET, s.pageSetup.gridSet ? 1 : 0);
  for (std::uint16_t v : s.guts)
    u16(v);
  emit(rtGUTS);
  u16(s.defaultRowHeight != model::kDefaultRowHeight ? 1 : 0);
  u16(s.defaultRowHeight);
  emit(rtDEFAULTROWHEIGHT);
  if (!m_b8)
    country();
  r16(rtWSBOOL, s.pageSetup.fitToPage ? 0x05C1 : 0x04C1);
  if (!s.pageSetup.header.empty()) {
    text(s.pageSetup.header, m_b8);
    emit(rtHEADER);
  }
  if (!s.pageSetup.footer.empty()) {
    text(s.pageSetup.footer, m_b8);
    emit(rtFOOTER);
  }
  r16(rtHCENTER, s.pageSetup.centreHorizontally ? 1 : 0);
  r16(rtVCENTER, s.pageSetup.centreVertically ? 1 : 0);
  const std::pair<std::uint16_t, double> margins[] = {
      {rtLEFTMARGIN, s.pageSetup.leftMargin},
      {rtRIGHTMARGIN, s.pageSetup.rightMargin},
      {rtTOPMARGIN, s.pageSetup.topMargin},
      {rtBOTTOMMARGIN, s.pageSetup.bottomMargin},
  };
  for (const auto &[id, value] : margins)
    if (value != 0) {
      f64(value);
      emit(id);
    }
  pageSettings(s);
  if (s.flags & model::kSheetProtected) {
    r16(rtPROTECT, 1);
    r16(rtPASSWORD, s.protectionVerifier);
  }
  if (!m_b8 && (m_book.sheetCount() > 1 || !m_book.addInNames.empty() || hasAutoFilter(s))) {
    r16(rtEXTERNCOUNT,
        static_cast<std::uint16_t>(m_book.sheetCount() + (m_book.addInNames.empty() ? 0 : 1)));
    if (!m_book.addInNames.empty()) {
      r16(rtEXTERNSHEET, 0x3A01);
      for (const std::u16string &n : m_book.addInNames) {
        zeros(6);
        text(n, false);
        u16(2);
        u8(ptgErr);
        u8(0x17);
        emit(rtEXTERNNAME);
      }
    }
    biff5ExternSheets(true, index);
  }
  r16(rtDEFCOLWIDTH, static_cast<std::uint16_t>(s.defaultColumnWidth / 256));
  if (hasAutoFilter(s))
    autoFilter(s);

  if (m_b8) {
    u32(0);
    u32(static_cast<std::uint32_t>(lastRow + 1));
  } else {
    u16(0);
    u16(static_cast<std::uint16_t>(lastRow + 1));
  }
  u16(0);
  u16(static_cast<std::uint16_t>(lastColumn + 1));
  u16(0);
  emit(rtDIMENSIONS);

  // Runs of equal column records; a record that says nothing is left out.
  auto silent = [&](const model::ColumnRecord &c) {
    return (c.flags & model::kLineDefaultSize) && !(c.flags & model::kLineHidden) &&
           c.formatIndex == model::kDefaultCellFormat;
  };
  auto width = [&](const model::ColumnRecord &c) {
    return (c.flags & model::kLineDefaultSize) ? s.defaultColumnWidth : c.size;
  };
  for (size_t i = 0; i < s.columns.size();) {
    const model::ColumnRecord &first = s.columns[i];
    size_t j = i + 1;
    while (j < s.columns.size() && s.columns[j].column == s.columns[j - 1].column + 1 &&
           width(s.columns[j]) == width(first) && s.columns[j].formatIndex == first.formatIndex &&
           (s.columns[j].flags & (model::kLineHidden | model::kLineDefaultSize)) ==
               (first.flags & (model::kLineHidden | model::kLineDefaultSize)))
      ++j;
    if (!silent(first)) {
      u16(first.column);
      u16(s.columns[j - 1].column);
      u16(width(first));
      u16(validXf(first.formatIndex));
      u16((first.flags & model::kLineHidden) ? 1 : 0);
      u16(0);
      emit(rtCOLINFO);
    }
    i = j;
  }

  m_arrayWritten.assign(s.arrayFormulas.size(), false);
  gatherTables(index);
  rowBlocks(index, lastRow, indexSlots);
  m_tables.clear();
  sheetObjects(index);
  window2(index);

  if (s.flags & model::kSheetPanesFrozen) {
    const int x = s.scrollPaneColumn ? std::max(0, s.scrollPaneColumn - s.frozenColumn) : 0;
    const int y = s.scrollPaneRow ? std::max(0, s.scrollPaneRow - s.frozenRow) : 0;
    u16(static_cast<std::uint16_t>(x));
    u16(static_cast<std::uint16_t>(y));
    u16(s.topRow);
    u16(s.leftColumn);
    u16(static_cast<std::uint16_t>((x == 0 ? 1 : 0) + (y == 0 ? 2 : 0)));
    emit(rtPANE);
  }
  u8(3);
  u16(s.activeRow);
  u16(s.activeColumn);
  u16(0);
  u16(1);
  u16(model::packedRow(s.selectionFirst));
  u16(model::packedRow(s.selectionLast));
  u8(model::packedColumn(s.selectionFirst));
  u8(model::packedColumn(s.selectionLast));
  emit(rtSELECTION);

  if (m_b8)
    for (size_t i = 0; i < s.mergedRanges.size(); i += kMergedRangesPerRecord) {
      const size_t n = std::min(kMergedRangesPerRecord, s.mergedRanges.size() - i);
      u16(static_cast<std::uint16_t>(n));
      for (size_t k = i; k < i + n; ++k) {
        const model::CellRange &r = s.mergedRanges[k];
        u16(r.firstRow);
        u16(r.lastRow);
        u16(r.firstColumn);
        u16(r.lastColumn);
      }
      emit(rtMERGEDCELLS);
    }
  if (m_b8) {
    conditionalFormats(index);
    validations(index);
  }
}

void Writer::autoFilterNames() {
  for (int i = 0; i < m_book.sheetCount(); ++i) {
    const model::Sheet &s = m_book.sheet(i);
    if (!hasAutoFilter(s))
      continue;
    const model::AutoFilterState &f = s.autoFilter;
    const auto number = static_cast<std::uint16_t>(i + 1);
    if (m_b8) {
      u16(0x0021); // hidden, built-in
      u8(0);
      u8(1);
      u16(11);
      u16(0);
      u16(number);
      zeros(4);
      u8(0);
      u8(13); // _FilterDatabase
      u8(ptgArea3d);
      u16(static_cast<std::uint16_t>(externSheetIndexForWriting(m_book, i)));
      u16(f.firstRow);
      u16(f.lastRow);
      u16(f.firstColumn);
      u16(f.lastColumn);
    } else {
      // Both scope fields name the sheet, so that the name is local to it.
      constexpr std::string_view kName = "_FilterDatabase";
      u16(0x0001);
      u8(0);
      u8(static_cast<std::uint8_t>(kName.size()));
      u16(21);
      u16(number);
      u16(number);
      zeros(4);
      m_body.insert(m_body.end(), kName.begin(), kName.end());
      u8(ptgArea3d);
      u16(static_cast<std::uint16_t>(0xFFFF - i));
      zeros(6);
      u16(1);
      u16(static_cast<std::uint16_t>(i));
      u16(static_cast<std::uint16_t>(i));
      // Excel 95 rows have 14 bits.
      u16(std::min<std::uint16_t>(f.firstRow, 0x3FFF));
      u16(std::min<std::uint16_t>(f.lastRow, 0x3FFF));
      u8(f.firstColumn);
      u8(f.lastColumn);
    }
    emit(rtNAME);
  }
}

void Writer::pageSettings(const model::Sheet &s) {
  const model::PageSetup &p = s.pageSetup;
  if (!p.printerSettings.empty()) {
    std::vector<std::uint8_t> narrowed;
    if (m_b8 || narrowPrinterSettings(p.printerSettings, m_codePage, narrowed)) {
      u16(0); // Windows
      bytes(m_b8 ? p.printerSettings : narrowed);
      emit(rtPLS);
    }
  }
  if (p.hasSetup) {
    m_body.insert(m_body.end(), p.setup.begin(), p.setup.end());
    emit(rtSETUP);
  }
}

void Writer::autoFilter(const model::Sheet &s) {
  const model::AutoFilterState &f = s.autoFilter;
  const size_t columns = static_cast<size_t>(f.lastColumn - f.firstColumn + 1);
  const size_t n = std::min(columns, f.criteria.size());
  if (std::any_of(f.criteria.begin(), f.criteria.begin() + static_cast<std::ptrdiff_t>(n),
                  [](const model::FilterCriterion &c) { return c.isActive(); }))
    emit(rtFILTERMODE);
  r16(rtAUTOFILTERINFO, static_cast<std::uint16_t>(columns));
  for (size_t k = 0; k < n; ++k) {
    const model::FilterCriterion &c = f.criteria[k];
    if (!c.isActive())
      continue;
    std::string operands[2];
    std::u16string_view wideOperands[2];
    auto plainEquality = [](const model::FilterCondition &cond) {
      return cond.kind == model::kFilterComparison && cond.comparison == model::kCompareEqual;
    };
    u16(static_cast<std::uint16_t>(k));
    u16(static_cast<std::uint16_t>((c.orJoin ? 0x0001 : 0) |
                                   (plainEquality(c.conditions[0]) ? 0x0004 : 0) |
                                   (plainEquality(c.conditions[1]) ? 0x0008 : 0) |
                                   (c.topActive ? 0x0010 : 0) | (c.top ? 0x0020 : 0) |
                                   (c.percent ? 0x0040 : 0) | ((c.count & 0x01FF) << 7)));
    for (int i = 0; i < 2; ++i) {
      const model::FilterCondition &cond = c.conditions[static_cast<size_t>(i)];
      const bool known = cond.kind == model::kFilterComparison ||
                         cond.kind == model::kFilterBlanks || cond.kind == model::kFilterNonBlanks;
      size_t length = 0;
      if (cond.kind == model::kFilterComparison) {
        if (m_b8) {
          noteCut(cond.operand.size() > 255);
          wideOperands[i] = std::u16string_view(cond.operand).substr(0, 255);
          length = wideOperands[i].size();
        } else {
          operands[i] = narrow(cond.operand, 255);
          length = operands[i].size();
        }
      }
      u8(known ? cond.kind : 0);
      u8(known ? cond.comparison : 0);
      zeros(4);
      u8(static_cast<std::uint8_t>(length));
      zeros(3);
    }
    for (int i = 0; i < 2; ++i) {
      if (c.conditions[static_cast<size_t>(i)].kind != model::kFilterComparison)
        continue;
      if (m_b8 && !wideOperands[i].empty())
        chars8(wideOperands[i]);
      else if (!m_b8)
        m_body.insert(m_body.end(), operands[i].begin(), operands[i].end());
    }
    emit(rtAUTOFILTER);
  }
}

void Writer::rangeList(const std::vector<model::CellRange> &ranges, size_t first, size_t count) {
  u16(static_cast<std::uint16_t>(count));
  for (size_t k = first; k < first + count; ++k) {
    u16(ranges[k].firstRow);
    u16(ranges[k].lastRow);
    u16(ranges[k].firstColumn);
    u16(ranges[k].lastColumn);
  }
}

// A set with more ranges than one record holds is written as several sets
// with the same conditions, which format the same cells.
void Writer::conditionalFormats(int index) {
  const model::Sheet &s = m_book.sheet(index);
  constexpr size_t kRangesPerRecord = (kMaxRecordBody - 14) / 8;
  std::uint16_t id = 0;
  for (const model::ConditionalFormat &set : s.conditionalFormats) {
    std::vector<const model::FormatCondition *> kept;
    for (const model::FormatCondition &c : set.conditions)
      if ((c.kind == 1 || c.kind == 2) && kept.size() < model::kMaxFormatConditions)
        kept.push_back(&c);
    if (kept.empty())
      continue;
    for (size_t first = 0; first < set.ranges.size(); first += kRangesPerRecord) {
      const size_t count = std::min(kRangesPerRecord, set.ranges.size() - first);
      model::CellRange bound = set.ranges[first];
      for (size_t k = first; k < first + count; ++k) {
        const model::CellRange &r = set.ranges[k];
        bound = {std::min(bound.firstRow, r.firstRow), std::min(bound.firstColumn, r.firstColumn),
                 std::max(bound.lastRow, r.lastRow), std::max(bound.lastColumn, r.lastColumn)};
      }
      ++id;
      u16(static_cast<std::uint16_t>(kept.size()));
      u16(static_cast<std::uint16_t>((set.flags & 0x0001) | ((id & 0x7FFF) << 1)));
      u16(bound.firstRow);
      u16(bound.lastRow);
      u16(bound.firstColumn);
      u16(bound.lastColumn);
      rangeList(set.ranges, first, count);
      emit(rtCONDFMT);
      for (const model::FormatCondition *c : kept) {
        WriteOptions options;
        options.relativeMode = true;
        const TokenArray t1 = compile(c->operand1, index, options);
        const bool twoOperands = c->kind == 1 && (c->op == 1 || c->op == 2);
        const TokenArray t2 = twoOperands && !c->operand2.empty()
                                  ? compile(c->operand2, index, options)
                                  : TokenArray{};
        // Every attribute not set stays as the cell has it.
        std::uint32_t flags = 0x003FFFFF;
        for (int side = 0; side < 4; ++side)
          if (c->hasBorder && c->borders[static_cast<size_t>(side)].set)
            flags &= ~(kCfLeftBorderKept << side);
        const std::uint32_t patternKept[3] = {kCfFillKept, kCfPatternColourKept,
                                              kCfBackgroundColourKept};
        for (size_t k = 0; k < 3; ++k)
          if (c->hasPattern && c->pattern[k].set)
            flags &= ~patternKept[k];
        if (c->hasFont)
          flags |= kCfFontBlock;
        if (c->hasBorder)
          flags |= kCfBorderBlock;
        if (c->hasPattern)
          flags |= kCfPatternBlock;
        u8(static_cast<std::uint8_t>(c->kind));
        u8(static_cast<std::uint8_t>(c->kind == 1 ? c->op : 0));
        u16(static_cast<std::uint16_t>(std::min<size_t>(t1.tokens.size(), 0xFFFF)));
        u16(static_cast<std::uint16_t>(std::min<size_t>(t2.tokens.size(), 0xFFFF)));
        u32(flags);
        u16(0);
        if (c->hasFont) {
          const auto &font = c->font;
          const bool style = font[model::kCondItalic].set || font[model::kCondBold].set;
          zeros(64);
          u32(0xFFFFFFFF); // height stays
          u32((font[model::kCondItalic].value ? 0x0002u : 0u) |
              (font[model::kCondStrikeOut].set && font[model::kCondStrikeOut].value ? 0x0080u
                                                                                    : 0u));
          u16(font[model::kCondBold].set && font[model::kCondBold].value ? 700 : 400);
          u16(0);
          u8(font[model::kCondUnderline].set
                 ? static_cast<std::uint8_t>(font[model::kCondUnderline].value)
                 : 0);
          zeros(3);
          u32(font[model::kCondColour].set
                  ? static_cast<std::uint32_t>(font[model::kCondColour].value)
                  : 0xFFFFFFFF);
          zeros(4);
          // Outline and shadow stay as they are.
          u32((style ? 0u : 0x0002u) | 0x0018u |
              (font[model::kCondStrikeOut].set ? 0u : 0x0080u));
          u32(1); // escapement stays
          u32(font[model::kCondUnderline].set ? 0 : 1);
          zeros(16);
          u16(1);
        }
        if (c->hasBorder) {
          std::uint16_t styles = 0;
          std::uint32_t colours = 0;
          constexpr int kColourShift[4] = {0, 7, 16, 23};
          for (int side = 0; side < 4; ++side) {
            const model::ConditionBorder &b = c->borders[static_cast<size_t>(side)];
            styles = static_cast<std::uint16_t>(styles | ((b.style & 0x0F) << (4 * side)));
            colours |= static_cast<std::uint32_t>(b.colour & 0x7F) << kColourShift[side];
          }
          u16(styles);
          u32(colours);
          u16(0);
        }
        if (c->hasPattern) {
          const auto &p = c->pattern;
          u16(static_cast<std::uint16_t>((p[model::kCondFill].value & 0x3F) << 10));
          u16(static_cast<std::uint16_t>((p[model::kCondPatternColour].value & 0x7F) |
                                         ((p[model::kCondBackgroundColour].value & 0x7F) << 7)));
        }
        bytes(t1.tokens);
        bytes(t2.tokens);
        emit(rtCF);
      }
    }
  }
}

void Writer::validations(int index) {
  const model::Sheet &s = m_book.sheet(index);
  struct Piece {
    size_t rule, first, count;
  };
  std::vector<Piece> pieces;
  std::vector<std::vector<std::uint8_t>> heads; // each rule's body before its ranges
  for (size_t i = 0; i < s.validations.size(); ++i) {
    const model::ValidationRule &v = s.validations[i];
    std::uint32_t options = static_cast<std::uint32_t>(v.allow & 0x0F) |
                            (static_cast<std::uint32_t>(v.errorStyle & 0x07) << 4) |
                            (static_cast<std::uint32_t>(v.op & 0x0F) << 20);
    const bool plainList = v.allow == model::kAllowList && v.plainList;
    if (plainList)
      options |= kDvPlainList;
    if (v.ignoreBlank)
      options |= kDvIgnoreBlank;
    if (v.suppressDropDown)
      options |= kDvSuppressDropDown;
    if (v.showInput)
      options |= kDvShowInput;
    if (v.showError)
      options |= kDvShowError;
    u32(options);
    for (const std::u16string *t : {&v.inputTitle, &v.errorTitle, &v.inputMessage,
                                    &v.errorMessage}) {
      // An empty text is written as one NUL character.
      if (t->empty()) {
        u16(1);
        u8(0);
        u8(0);
      } else {
        text(*t, true);
      }
    }
    WriteOptions formulaOptions;
    formulaOptions.expressionClass = TokenClass::Reference;
    formulaOptions.relativeMode = true;
    for (const std::u16string *f : {&v.formula1, &v.formula2}) {
      if (f == &v.formula1 && plainList) {
        // Typed items are one string constant, separated by NULs.
        const std::u16string_view sep = platform::localeStrings().listSeparator;
        std::u16string items;
        for (size_t k = 0; k < f->size();) {
          if (!sep.empty() && std::u16string_view(*f).substr(k, sep.size()) == sep) {
            items += u'\0';
            k += sep.size();
          } else {
            items += (*f)[k++];
          }
        }
        noteCut(items.size() > 255);
        items.resize(std::min<size_t>(items.size(), 255));
        const bool wide =
            std::any_of(items.begin(), items.end(), [](char16_t c) { return c > 0xFF; });
        u16(static_cast<std::uint16_t>(3 + items.size() * (wide ? 2 : 1)));
        u16(0);
        u8(ptgStr);
        u8(static_cast<std::uint8_t>(items.size()));
        chars8(items);
        continue;
      }
      const TokenArray t = f->empty() ? TokenArray{} : compile(*f, index, formulaOptions);
      u16(static_cast<std::uint16_t>(std::min<size_t>(t.tokens.size(), 0xFFFF)));
      u16(0);
      bytes(t.tokens);
    }
    heads.push_back(std::move(m_body));
    m_body.clear();
    // Ranges beyond what one record holds go to further records of the same rule.
    const size_t room = heads.back().size() + 2 < kMaxRecordBody
                            ? (kMaxRecordBody - heads.back().size() - 2) / 8
                            : 0;
    const size_t perRecord = std::max<size_t>(room, 1);
    for (size_t first = 0; first < v.ranges.size(); first += perRecord)
      pieces.push_back({i, first, std::min(perRecord, v.ranges.size() - first)});
  }
  if (pieces.empty())
    return;
  u16(s.validationBox.closed ? 1 : 0);
  u32(static_cast<std::uint32_t>(s.validationBox.left));
  u32(static_cast<std::uint32_t>(s.validationBox.top));
  u32(0xFFFFFFFF); // no drop-down object
  u32(static_cast<std::uint32_t>(pieces.size()));
  emit(rtDVAL);
  for (const Piece &p : pieces) {
    bytes(heads[p.rule]);
    rangeList(s.validations[p.rule].ranges, p.first, p.count);
    emit(rtDV);
  }
}

void Writer::window2(int index) {
  const model::Sheet &s = m_book.sheet(index);
  const bool frozen = (s.flags & model::kSheetPanesFrozen) != 0;
  const bool active = index == m_book.activeSheet;
  std::uint16_t options = 0xB0;
  if (s.flags & model::kSheetShowFormulas)
    options |= 0x01;
  if (s.flags & model::kSheetShowGridlines)
    options |= 0x02;
  if (s.flags & model::kSheetShowHeaders)
    options |= 0x04;
  if (frozen)
    options |= 0x08 | 0x0100;
  if (active)
    options |= 0x0600;
  u16(options);
  u16(frozen ? s.frozenRow : s.topRow);
  u16(frozen ? s.frozenColumn : s.leftColumn);
  if (m_b8) {
    u32(64);
    zeros(8);
  } else {
    zeros(4);
  }
  emit(rtWINDOW2);
}

void Writer::rowBlocks(int index, int lastRow, size_t indexSlots) {
  const model::Sheet &s = m_book.sheet(index);
  const model::CellTable &cells = s.cells;
  model::CellTable::Position p = cells.begin();
  size_t rowRecord = 0;
  std::vector<CellPlan> plans(256);
  std::array<size_t, 32> cellStart{};
  for (int blockFirst = 0; blockFirst <= lastRow; blockFirst += 32) {
    const int blockLast = std::min(lastRow, blockFirst + 31);
    const size_t firstRowAt = m_out.size();
    for (int r = blockFirst; r <= blockLast; ++r) {
      while (rowRecord < s.rows.size() && s.rows[rowRecord].row < r)
        ++rowRecord;
      const model::RowRecord *rec =
          rowRecord < s.rows.size() && s.rows[rowRecord].row == r ? &s.rows[rowRecord] : nullptr;
      u16(static_cast<std::uint16_t>(r));
      u16(0);
      u16(256);
      if (rec) {
        u16((rec->flags & model::kLineDefaultSize) ? s.defaultRowHeight : rec->size);
        zeros(4);
        std::uint8_t option =
            static_cast<std::uint8_t>(((rec->flags & model::kLineCustomHeight) ? 0x40 : 0) |
                                      ((rec->flags & model::kLineHidden) ? 0x20 : 0));
        u8(option ? option : 0x01);
        u8(0x01);
      } else {
        u16(s.defaultRowHeight);
        zeros(4);
        u8(0x01);
        u8(0x00);
      }
      u16(0);
      emit(rtROW);
    }
    for (int r = blockFirst; r <= blockLast; ++r) {
      cellStart[static_cast<size_t>(r - blockFirst)] = m_out.size();
      size_t n = 0;
      while (!cells.isEnd(p)) {
        const model::CellRecord *c = cells.at(p);
        if (c->row != r)
          break;
        plans[n++] = planCell(index, *c);
        p = cells.next(p);
      }
      writeRowCells(index, plans.data(), n);
    }
    const size_t dbcellAt = m_out.size();
    u32(static_cast<std::uint32_t>(dbcellAt - firstRowAt));
    size_t from = firstRowAt + 20; // the second ROW record
    for (int r = blockFirst; r <= blockLast; ++r) {
      const size_t at = cellStart[static_cast<size_t>(r - blockFirst)];
      u16(static_cast<std::uint16_t>(std::min<size_t>(at - from, 0xFFFF)));
      from = at;
    }
    emit(rtDBCELL);
    patch32(indexSlots + 4 * static_cast<size_t>(blockFirst / 32),
            static_cast<std::uint32_t>(dbcellAt));
  }
}

CellPlan Writer::planCell(int index, const model::CellRecord &c) const {
  CellPlan p;
  p.cell = &c;
  p.xf = xfOf(c);
  const std::u16string_view input = c.input.isNull() ? std::u16string_view() : c.input.view();
  if (input.empty() && !(c.value.isString() && c.input.isNull())) {
    const bool formatted =
        p.xf != model::kDefaultCellFormat || m_columnXf[c.column] != model::kDefaultCellFormat;
    p.kind = formatted ? CellKind::Blank : CellKind::Skip;
    return p;
  }
  formula::TextClass kind;
  model::CellValue classified;
  const model::CellValue *value = &c.value;
  const bool constant = !input.empty() && input[0] != u'=' && input[0] != u'\'' &&
                        input[0] != u'{' && c.calcState != model::CalcState::NotValid;
  // What is typed into a cell formatted as Text stays text; a formula or a
  // number another program stored there stays what it is.
  if (numberFormatOf(p.xf) == 49 && !(c.isFormula && !input.empty() && input[0] == u'=') &&
      !(constant && (c.value.isNumber() || c.value.isBoolean() || c.value.isError()))) {
    p.kind = CellKind::Text;
    return p;
  }
  // A constant's stored value is what its text classified as when it was
  // entered; classifying every cell again would dominate saving.
  if (constant && c.value.isNumber())
    kind = formula::TextClass::Number;
  else if (constant && c.value.isBoolean())
    kind = formula::TextClass::Boolean;
  else if (constant && c.value.isError())
    kind = formula::TextClass::Error;
  else if (constant && c.value.isString())
    kind = formula::TextClass::Text;
  else if (input.empty())
    kind = formula::TextClass::Text; // a string value without any text
  else if (c.isFormula && input[0] == u'=')
    kind = formula::TextClass::Formula; // the scan of its text found a formula
  else {
    formula::TextOptions options;
    options.date1904 = m_book.date1904 != 0;
    formula::Classification cl = formula::classifyText(arrayFormulaText(input), options);
    kind = cl.kind;
    classified = std::move(cl.value);
    if (kind != formula::TextClass::Formula)
      value = &classified;
  }
  (void)index;
  switch (kind) {
  case formula::TextClass::Empty:
    p.kind = CellKind::Blank;
    break;
  case formula::TextClass::Formula:
    p.kind = CellKind::Formula;
    break;
  case formula::TextClass::Text:
    p.kind = CellKind::Text;
    break;
  case formula::TextClass::Number:
    p.kind = CellKind::Number;
    p.number = value->isNumber() ? value->numberValue() : 0;
    if (!std::isfinite(p.number))
      p.number = 0;
    p.hasRk = rkEncode(p.number, p.rk);
    break;
  case formula::TextClass::Boolean:
    p.kind = CellKind::Boolean;
    p.code = value->isBoolean() && value->booleanValue() ? 1 : 0;
    break;
  case formula::TextClass::Error:
    p.kind = CellKind::Error;
    p.code = codeOfErrorIndex(value->isError() ? static_cast<int>(value->errorValue()) : 6);
    break;
  }
  return p;
}

void Writer::writeRowCells(int index, CellPlan *plans, size_t count) {
  for (size_t i = 0; i < count;) {
    const CellPlan &p = plans[i];
    const std::uint16_t row = p.cell->row, column = p.cell->column;
    auto runEnd = [&](auto same) {
      size_t j = i + 1;
      while (j < count && plans[j].cell->column == plans[j - 1].cell->column + 1 && same(plans[j]) &&
             (m_tables.empty() || !tableOf(*plans[j].cell)))
        ++j;
      return j;
    };
    if (!m_tables.empty() && p.kind != CellKind::Skip) {
      if (const model::DataTable *t = tableOf(*p.cell)) {
        formulaRecord(index, p, t);
        ++i;
        continue;
      }
    }
    switch (p.kind) {
    case CellKind::Skip:
      ++i;
      break;
    case CellKind::Blank: {
      const size_t j = runEnd([](const CellPlan &q) { return q.kind == CellKind::Blank; });
      u16(row);
      u16(column);
      for (size_t k = i; k < j; ++k)
        u16(plans[k].xf);
      if (j - i > 1) {
        u16(plans[j - 1].cell->column);
        emit(rtMULBLANK);
      } else {
        emit(rtBLANK);
      }
      i = j;
      break;
    }
    case CellKind::Number: {
      if (!p.hasRk) {
        u16(row);
        u16(column);
        u16(p.xf);
        f64(p.number);
        emit(rtNUMBER);
        ++i;
        break;
      }
      const size_t j =
          runEnd([](const CellPlan &q) { return q.kind == CellKind::Number && q.hasRk; });
      u16(row);
      u16(column);
      for (size_t k = i; k < j; ++k) {
        u16(plans[k].xf);
        u32(plans[k].rk);
      }
      if (j - i > 1) {
        u16(plans[j - 1].cell->column);
        emit(rtMULRK);
      } else {
        emit(rtRK);
      }
      i = j;
      break;
    }
    case CellKind::Boolean:
    case CellKind::Error:
      u16(row);
      u16(column);
      u16(p.xf);
      u8(p.code);
      u8(p.kind == CellKind::Error ? 1 : 0);
      emit(rtBOOLERR);
      ++i;
      break;
    case CellKind::Text:
      labelRecord(p);
      ++i;
      break;
    case CellKind::Formula:
      formulaRecord(index, p);
      ++i;
      break;
    }
  }
}

void Writer::labelRecord(const CellPlan &p) {
  u16(p.cell->row);
  u16(p.cell->column);
  u16(p.xf);
  if (m_b8) {
    const auto found = m_longTextIndex.find(p.cell);
    if (found != m_longTextIndex.end()) {
      u32(found->second);
      emit(rtLABELSST);
      return;
    }
    text(textOf(*p.cell), true);
  } else {
    // Excel 95 has no way to continue a label: the text is cut to one record.
    const std::string b = narrow(textOf(*p.cell), kMaxRecordBody - 8);
    u16(static_cast<std::uint16_t>(b.size()));
    m_body.insert(m_body.end(), b.begin(), b.end());
  }
  emit(rtLABEL);
}

// A character the code page lacks must not make two names one: other
// programs keep only the first sheet of a name. It becomes "_" ("?" is no
// character of a sheet name), and a name met before gets a number.
void Writer::narrowSheetNames() {
  m_sheetNames5.clear();
  auto folded = [](std::string t) {
    for (char &ch : t)
      if (ch >= 'a' && ch <= 'z')
        ch = static_cast<char>(ch - 'a' + 'A');
    return t;
  };
  std::set<std::string> taken;
  for (int i = 0; i < m_book.sheetCount(); ++i) {
    const std::u16string &full = m_book.sheet(i).name;
    std::string name;
    for (int n = 1;; ++n) {
      const std::string suffix = n == 1 ? std::string() : " (" + std::to_string(n) + ")";
      std::u16string_view base = full;
      if (base.size() + suffix.size() > static_cast<size_t>(model::kMaxSheetNameLength))
        base = base.substr(0, model::kMaxSheetNameLength - std::min<size_t>(suffix.size(), 30));
      name = narrow(base);
      std::replace(name.begin(), name.end(), '?', '_');
      name += suffix;
      if (taken.insert(folded(name)).second)
        break;
    }
    m_sheetNames5.push_back(std::move(name));
  }
}

void Writer::gatherTables(int index) {
  m_tables.clear();
  const model::Sheet &s = m_book.sheet(index);
  for (const model::DataTable &t : s.dataTables) {
    bool whole = true;
    for (int row = t.range.firstRow; whole && row <= t.range.lastRow; ++row)
      for (int column = t.range.firstColumn; whole && column <= t.range.lastColumn; ++column) {
        const model::CellRecord *c =
            s.cells.at(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
        const std::u16string_view input = c && !c->input.isNull() ? c->input.view() : std::u16string_view();
        whole = !input.empty() && input[0] != u'=' && input[0] != u'{' && !c->isFormula;
      }
    if (whole)
      m_tables.push_back(&t);
  }
}

// Follows the FORMULA record of the table's first result cell.
void Writer::tableRecord(const model::DataTable &t) {
  u16(t.range.firstRow);
  u16(t.range.lastRow);
  u8(t.range.firstColumn);
  u8(t.range.lastColumn);
  u16(t.flags);
  // The input cells' rows, then their columns.
  u16(model::packedRow(t.input));
  u16(model::packedRow(t.columnInput));
  u16(model::packedColumn(t.input));
  u16(model::packedColumn(t.columnInput));
  emit(rtTABLE);
}

void Writer::formulaRecord(int index, const CellPlan &p, const model::DataTable *table) {
  const model::Sheet &s = m_book.sheet(index);
  const model::CellRecord &c = *p.cell;
  const int block = table ? -1 : arrayBlockOf(index, c);
  u16(c.row);
  u16(c.column);
  u16(p.xf);
  const model::CellValue &v = c.value;
  bool stringResult = false;
  if (v.isNumber() && std::isfinite(v.numberValue())) {
    f64(v.numberValue());
  } else if (v.isString()) {
    zeros(6);
    u16(0xFFFF);
    stringResult = true;
  } else if (v.isBoolean()) {
    u8(1);
    u8(0);
    u8(v.booleanValue() ? 1 : 0);
    zeros(3);
    u16(0xFFFF);
  } else if (v.isError() || v.isNumber()) {
    u8(2);
    u8(0);
    u8(codeOfErrorIndex(v.isError() ? static_cast<int>(v.errorValue()) : 5));
    zeros(3);
    u16(0xFFFF);
  } else {
    zeros(8);
  }
  // A table's results are computed whenever the workbook is.
  u16(table ? 0x0003 : c.volatility != model::VolatilityClass::None ? 1 : 0);
  zeros(4);
  if (table) {
    u16(5);
    u8(ptgTbl);
    u16(table->range.firstRow);
    u16(table->range.firstColumn);
    emit(rtFORMULA);
    if (c.row == table->range.firstRow && c.column == table->range.firstColumn)
      tableRecord(*table);
  } else if (block >= 0) {
    const model::ArrayFormulaRecord &a = s.arrayFormulas[static_cast<size_t>(block)];
    u16(5);
    u8(ptgExp);
    u16(a.range.firstRow);
    u16(a.range.firstColumn);
    emit(rtFORMULA);
    if (!m_arrayWritten[static_cast<size_t>(block)]) {
      m_arrayWritten[static_cast<size_t>(block)] = true;
      const TokenView t = cellTokens(index, c);
      u16(a.range.firstRow);
      u16(a.range.lastRow);
      u8(a.range.firstColumn);
      u8(a.range.lastColumn);
      zeros(6);
      u16(static_cast<std::uint16_t>(std::min<size_t>(t.tokens.size(), 0xFFFF)));
      bytes(t.tokens);
      bytes(t.extra);
      emit(rtARRAY);
    }
  } else {
    const TokenView t = cellTokens(index, c);
    // The volatile mark is left out where it would not fit the length
    // field: readers find CELL in the tokens anyway.
    const bool cellAttribute =
        c.volatility == model::VolatilityClass::Cell && t.tokens.size() + 4 <= 0xFFFF;
    u16(static_cast<std::uint16_t>(t.tokens.size() + (cellAttribute ? 4 : 0)));
    if (cellAttribute) {
      u8(ptgAttr);
      u8(attrVolatile);
      u16(0);
    }
    bytes(t.tokens);
    bytes(t.extra);
    emit(rtFORMULA);
  }
  if (stringResult) {
    // A long result continues with its characters' own option byte, as the
    // shared string table does.
    const std::u16string_view str = v.stringValue();
    if (!m_b8) {
      const std::string b = narrow(str, kMaxRecordBody - 2);
      u16(static_cast<std::uint16_t>(b.size()));
      m_body.insert(m_body.end(), b.begin(), b.end());
      emit(rtSTRING);
      return;
    }
    noteCut(str.size() > 0xFFFF);
    const std::u16string_view t = str.substr(0, std::min<size_t>(str.size(), 0xFFFF));
    const bool wide = std::any_of(t.begin(), t.end(), [](char16_t ch) { return ch > 0xFF; });
    const size_t width = wide ? 2 : 1;
    u16(static_cast<std::uint16_t>(t.size()));
    u8(wide ? 1 : 0);
    std::uint16_t id = rtSTRING;
    for (size_t i = 0; i < t.size();) {
      if (m_body.size() + width > kMaxRecordBody) {
        header(id, m_body.size());
        m_out.insert(m_out.end(), m_body.begin(), m_body.end());
        m_body.clear();
        id = rtCONTINUE;
        u8(wide ? 1 : 0);
      }
      const size_t n = std::min((kMaxRecordBody - m_body.size()) / width, t.size() - i);
      for (size_t k = 0; k < n; ++k) {
        if (wide)
          u16(t[i + k]);
        else
          u8(static_cast<std::uint8_t>(t[i + k]));
      }
      i += n;
    }
    header(id, m_body.size());
    m_out.insert(m_out.end(), m_body.begin(), m_body.end());
    m_body.clear();
  }
}

} // namespace

bool rkEncode(double x, std::uint32_t &rk) {
  auto bitsOf = [](double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
  };
  auto fitsRkInteger = [](double d) {
    return d == std::floor(d) && d >= -536870912.0 && d <= 536870911.0;
  };
  const std::uint64_t bits = bitsOf(x);
  if ((bits & 0xFFFFFFFFu) == 0 && ((bits >> 32) & 0x03) == 0) {
    rk = static_cast<std::uint32_t>(bits >> 32);
    return true;
  }
  if (fitsRkInteger(x)) {
    rk = static_cast<std::uint32_t>(static_cast<std::int32_t>(x) * 4) | 0x02;
    return true;
  }
  // The hundredths forms must give x back exactly when divided again: a
  // product that merely rounds to a short form would change the number.
  const double y = x * 100;
  const std::uint64_t ybits = bitsOf(y);
  if ((ybits & 0xFFFFFFFFu) == 0 && ((ybits >> 32) & 0x03) == 0 && y / 100 == x) {
    rk = static_cast<std::uint32_t>(ybits >> 32) | 0x01;
    return true;
  }
  if (fitsRkInteger(y) && std::trunc(y + 4e-12) / 100 == x) {
    const double t = std::trunc(y + 4e-12);
    rk = static_cast<std::uint32_t>(static_cast<std::int32_t>(t) * 4) | 0x03;
    return true;
  }
  return false;
}

std::vector<std::uint8_t> writeWorkbookStream(const model::Workbook &book, int version) {
  return Writer(book, version).run();
}

bool writeBinaryWorkbook(const model::Workbook &book, int version, std::vector<std::uint8_t> &out) {
  out.clear();
  const bool fits = platform::withAllocation([&] {
    const std::vector<std::uint8_t> stream = writeWorkbookStream(book, version);
    compound::CompoundFileWriter w(version == 7 ? u"Book" : u"Workbook");
    w.putBytes(stream.data(), stream.size());
    out = w.finishFile();
  });
  if (!fits)
    out.clear();
  return fits;
}

bool saveBinaryWorkbook(model::Workbook &book, const std::u16string &path, int version) {
  formula::computeStaleFormulas(book);
  std::vector<std::uint8_t> bytes;
  if (!writeBinaryWorkbook(book, version, bytes))
    return false;

  return platform::replaceFileAtomically(path, bytes);
}

} // namespace biff
