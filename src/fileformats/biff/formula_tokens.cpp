#include "fileformats/biff/formula_tokens.h"

#include "fileformats/biff/byte_cursor.h"
#include "formula/function_table.h"
#include "formula/reference_syntax.h"
#include "formula/skipper.h"
#include "formula/text_value.h"
#include "formula/value_ops.h"
#include "model/workbook.h"
#include "platform/code_page.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

namespace biff {

// ---------------------------------------------------------------------------
// Link tables

bool isAddInSupportingBook(std::span<const std::uint8_t> body) {
  ByteCursor in(body);
  std::uint16_t sheets = 0, marker = 0;
  return in.u16(sheets) && in.u16(marker) && sheets == 1 && marker == 0x3A01;
}

bool isOwnSupportingBook(std::span<const std::uint8_t> body) {
  ByteCursor in(body);
  std::uint16_t sheets = 0, marker = 0;
  return in.u16(sheets) && in.u16(marker) && marker == 0x0401;
}

namespace {

// A BIFF8 string with a 2-byte length and an option byte.
bool readUnicodeString(ByteCursor& in, std::u16string& out) {
  std::uint16_t count = 0;
  std::uint8_t option = 0;
  if (!in.u16(count) || !in.u8(option))
    return false;
  out.clear();
  std::span<const std::uint8_t> raw;
  const size_t width = (option & 0x01) ? 2 : 1;
  if (count > in.remaining() / width || !in.bytes(count * width, raw))
    return false;
  for (size_t i = 0; i < count; ++i)
    out += static_cast<char16_t>(width == 2 ? raw[2 * i] | (raw[2 * i + 1] << 8) : raw[i]);
  return true;
}

void putUnicodeString(std::vector<std::uint8_t>& out, std::u16string_view s) {
  s = s.substr(0, std::min<size_t>(s.size(), 0xFFFF));
  const bool wide = std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; });
  out.push_back(static_cast<std::uint8_t>(s.size()));
  out.push_back(static_cast<std::uint8_t>(s.size() >> 8));
  out.push_back(wide ? 1 : 0);
  for (const char16_t c : s) {
    out.push_back(static_cast<std::uint8_t>(c));
    if (wide)
      out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

bool isPlainQualifierChar(char16_t c) {
  return c >= 0x80 || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
         (c >= u'a' && c <= u'z') || c == u'_' || c == u'.';
}

} // namespace

std::optional<ExternalBook> externalBookOf(std::span<const std::uint8_t> body) {
  ByteCursor in(body);
  std::uint16_t sheets = 0, marker = 0;
  if (!in.u16(sheets) || !in.u16(marker) || marker == 0x0401 || marker == 0x3A01 || marker == 0)
    return std::nullopt;
  in = ByteCursor(body);
  (void)in.skip(2);
  ExternalBook book;
  std::u16string path;
  if (!readUnicodeString(in, path))
    return std::nullopt;
  book.path = decodeBookPath(path);
  for (int i = 0; i < sheets; ++i) {
    std::u16string name;
    if (!readUnicodeString(in, name))
      break;
    book.sheets.push_back(std::move(name));
  }
  return book;
}

std::vector<std::uint8_t> supportingBookBody(const ExternalBook& book) {
  std::vector<std::uint8_t> body;
  const size_t sheets = std::min<size_t>(book.sheets.size(), 0xFFFF);
  body.push_back(static_cast<std::uint8_t>(sheets));
  body.push_back(static_cast<std::uint8_t>(sheets >> 8));
  putUnicodeString(body, encodeBookPath(book.path));
  for (size_t i = 0; i < sheets; ++i)
    putUnicodeString(body, book.sheets[i]);
  return body;
}

// An encoded path starts with 0x01; then 0x01 and a letter name a drive ("@"
// a network share), 0x02 the root of the same drive, 0x03 separates
// directories, 0x04 goes up one, 0x05 and a length hold a URL, 0x06 to 0x08
// name the program's own folders.
std::u16string decodeBookPath(std::u16string_view encoded) {
  if (encoded.empty() || encoded[0] != 0x01)
    return std::u16string(encoded);
  std::u16string out;
  for (size_t i = 1; i < encoded.size();) {
    const char16_t c = encoded[i++];
    switch (c) {
    case 0x01:
      if (i < encoded.size()) {
        const char16_t volume = encoded[i++];
        if (volume == u'@') {
          out += u"\\\\";
        } else {
          out += volume;
          out += u":\\";
        }
      }
      break;
    case 0x02:
    case 0x03: out += u'\\'; break;
    case 0x04: out += u"..\\"; break;
    case 0x05:
      if (i < encoded.size()) {
        const size_t length = encoded[i++];
        out += encoded.substr(i, length);
        i += std::min(length, encoded.size() - i);
      }
      break;
    case 0x06:
    case 0x07:
    case 0x08: break;
    default: out += c; break;
    }
  }
  return out;
}

std::u16string encodeBookPath(std::u16string_view path) {
  if (path.find(u"://") != std::u16string_view::npos && path.size() <= 0xFF) {
    std::u16string out = u"\x01\x05";
    out += static_cast<char16_t>(path.size());
    out += path;
    return out;
  }
  std::u16string out;
  size_t i = 0;
  if (path.substr(0, 2) == u"\\\\") {
    out = u"\x01\x01@";
    i = 2;
  } else if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') {
    out = u"\x01\x01";
    out += path[0];
    i = 3;
  } else if (path.find(u'\\') != std::u16string_view::npos) {
    out = u"\x01";
  } else {
    return std::u16string(path);
  }
  while (i < path.size()) {
    if (path.substr(i, 3) == u"..\\") {
      out += u'\x04';
      i += 3;
    } else if (path[i] == u'\\') {
      out += u'\x03';
      ++i;
    } else {
      out += path[i++];
    }
  }
  return out;
}

std::u16string externalQualifier(std::u16string_view path, std::u16string_view first,
                                 std::u16string_view last) {
  const size_t cut = path.find_last_of(u"\\/");
  const std::u16string_view dir = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(0, cut + 1);
  const std::u16string_view file = path.substr(dir.size());
  std::u16string body = std::u16string(dir) + u"[" + std::u16string(file) + u"]" + std::u16string(first);
  if (!last.empty() && last != first)
    body += u":" + std::u16string(last);
  bool quoted = !dir.empty();
  for (const std::u16string_view part : {file, first, last})
    for (const char16_t c : part)
      quoted = quoted || !isPlainQualifierChar(c);
  std::u16string out;
  if (quoted)
    out += u'\'';
  for (const char16_t c : body) {
    out += c;
    if (quoted && c == u'\'')
      out += u'\'';
  }
  if (quoted)
    out += u'\'';
  out += u'!';
  return out;
}

int WriteLinks::bookIndex(std::u16string_view path) {
  for (size_t i = 0; i < books.size(); ++i)
    if (platform::equalsIgnoreCase(books[i].path, path))
      return static_cast<int>(i);
  if (ownSupportingBooks + books.size() >= 0xFFFF)
    return -1;
  books.push_back({std::u16string(path), {}, {}});
  return static_cast<int>(books.size() - 1);
}

int WriteLinks::entryIndex(const ExternSheetEntry& e) {
  for (size_t i = 0; i < externSheets.size(); ++i)
    if (externSheets[i].book == e.book && externSheets[i].firstSheet == e.firstSheet &&
        externSheets[i].lastSheet == e.lastSheet)
      return static_cast<int>(ownExternSheets + i);
  if (ownExternSheets + externSheets.size() >= 0xFFFF)
    return -1;
  externSheets.push_back(e);
  return static_cast<int>(ownExternSheets + externSheets.size() - 1);
}

int WriteLinks::ownSheetSpan(int ownBook, int first, int last) {
  if (ownBook < 0 || first < 0 || last < 0 || first >= kNoSheet || last >= kNoSheet)
    return -1;
  return entryIndex({static_cast<std::uint16_t>(ownBook), static_cast<std::uint16_t>(first),
                     static_cast<std::uint16_t>(last)});
}

int WriteLinks::externSheet(std::u16string_view path, std::u16string_view first,
                            std::u16string_view last) {
  const int b = bookIndex(path);
  if (b < 0)
    return -1;
  auto sheetIndex = [&](std::u16string_view name) {
    std::vector<std::u16string>& sheets = books[static_cast<size_t>(b)].sheets;
    for (size_t i = 0; i < sheets.size(); ++i)
      if (platform::equalsIgnoreCase(sheets[i], name))
        return static_cast<int>(i);
    if (sheets.size() >= kNoSheet)
      return -1;
    sheets.emplace_back(name);
    return static_cast<int>(sheets.size() - 1);
  };
  const int f = sheetIndex(first);
  const int l = last.empty() ? f : sheetIndex(last);
  if (f < 0 || l < 0)
    return -1;
  return entryIndex({static_cast<std::uint16_t>(ownSupportingBooks + static_cast<size_t>(b)),
                     static_cast<std::uint16_t>(f), static_cast<std::uint16_t>(l)});
}

bool WriteLinks::externalName(std::u16string_view path, std::u16string_view name, int& externSheet,
                              int& index) {
  const int b = bookIndex(path);
  if (b < 0)
    return false;
  std::vector<std::u16string>& names = books[static_cast<size_t>(b)].names;
  index = -1;
  for (size_t i = 0; i < names.size() && index < 0; ++i)
    if (platform::equalsIgnoreCase(names[i], name))
      index = static_cast<int>(i + 1);
  if (index < 0) {
    if (names.size() >= 0xFFFF)
      return false;
    names.emplace_back(name);
    index = static_cast<int>(names.size());
  }
  externSheet = entryIndex({static_cast<std::uint16_t>(ownSupportingBooks + static_cast<size_t>(b)),
                            kNoSheet, kNoSheet});
  return externSheet >= 0;
}

int WriteLinks::undefinedName(std::u16string_view name) {
  std::u16string folded = platform::foldCase(name);
  if (const auto found = m_foldedNames.find(folded); found != m_foldedNames.end())
    return found->second;
  if (definedNames + undefinedNames.size() >= 0xFFFF)
    return -1;
  undefinedNames.emplace_back(name);
  const int index = static_cast<int>(definedNames + undefinedNames.size());
  m_foldedNames.emplace(std::move(folded), index);
  return index;
}

namespace {

bool hasMacroSheet(const model::Workbook& book) {
  for (const auto& sheet : book.sheets)
    if (sheet->kind == model::SheetKind::Macro)
      return true;
  return false;
}

} // namespace

LinkTable linkTableForWriting(const model::Workbook& book) {
  LinkTable links;
  const bool addIns = !book.addInNames.empty();
  const auto ownBook = static_cast<std::uint16_t>(addIns ? 1 : 0);
  if (addIns) {
    links.addInBook = 0;
    links.externSheets.push_back({0, kNoSheet, kNoSheet});
    links.externNames = book.addInNames;
  }
  links.ownBook = ownBook;
  for (int i = 0; i < book.sheetCount(); ++i) {
    const auto s = static_cast<std::uint16_t>(i);
    links.externSheets.push_back({ownBook, s, s});
  }
  if (hasMacroSheet(book))
    links.externSheets.push_back({static_cast<std::uint16_t>(ownBook + 1), kNoSheet, kNoSheet});
  return links;
}

int externSheetIndexForWriting(const model::Workbook& book, int sheet) {
  return sheet + (book.addInNames.empty() ? 0 : 1);
}

namespace {

// ---------------------------------------------------------------------------
// Shared helpers

struct Separators {
  char16_t list = u',';
  char16_t decimal = u'.';
  char16_t thousands = u',';
};

char16_t firstOr(const std::u16string& s, char16_t fallback) { return s.empty() ? fallback : s[0]; }

Separators separators() {
  const platform::LocaleStrings& locale = platform::localeStrings();
  return {firstOr(locale.listSeparator, u','), firstOr(locale.decimalSeparator, u'.'),
          firstOr(locale.thousandsSeparator, u',')};
}

struct ErrorCodeRow {
  std::uint8_t code;
  model::ErrorCode error;
};
// clang-format off
constexpr ErrorCodeRow kErrorCodes[] = {
    {0x00, model::ErrorCode::Null},
    {0x07, model::ErrorCode::Div0},
    {0x0F, model::ErrorCode::Value},
    {0x17, model::ErrorCode::Ref},
    {0x1D, model::ErrorCode::Name},
    {0x24, model::ErrorCode::Num},
    {0x2A, model::ErrorCode::NA},
};
// clang-format on
static_assert(std::size(kErrorCodes) == model::kErrorCodeCount);

// Any code the table lacks reads as #N/A.
std::u16string_view errorTextOfCode(std::uint8_t code) {
  for (const ErrorCodeRow& row : kErrorCodes)
    if (row.code == code)
      return model::errorText(row.error);
  return model::errorText(model::ErrorCode::NA);
}

std::uint8_t codeOfError(model::ErrorCode error) {
  for (const ErrorCodeRow& row : kErrorCodes)
    if (row.error == error)
      return row.code;
  return 0x2A;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::uint8_t classBits(TokenClass cls) {
  switch (cls) {
  case TokenClass::Reference: return 0x20;
  case TokenClass::Value: return 0x40;
  case TokenClass::Array: return 0x60;
  }
  return 0x40;
}

// A qualifier naming several sheets, "First:Last!", quoted as a whole
// when either name needs quotes.
void appendSheetSpan(std::u16string& out, std::u16string_view first, std::u16string_view last) {
  std::u16string probe;
  formula::appendSheetQualifier(probe, first, false);
  formula::appendSheetQualifier(probe, last, false);
  const bool quoted = probe.find(u'\'') != std::u16string::npos;
  auto append = [&](std::u16string_view name) {
    for (const char16_t c : name) {
      out += c;
      if (quoted && c == u'\'')
        out += u'\'';
    }
  };
  if (quoted)
    out += u'\'';
  append(first);
  out += u':';
  append(last);
  if (quoted)
    out += u'\'';
  out += u'!';
}

void appendQuoted(std::u16string& out, std::u16string_view s) {
  out += u'"';
  for (const char16_t c : s) {
    out += c;
    if (c == u'"')
      out += u'"';
  }
  out += u'"';
}

// ---------------------------------------------------------------------------
// Reading

// Where a 3-D token's sheet index leads.
enum class SheetLink { Sheets, NoPrefix, Deleted, Unknown };

class TokenReader {
public:
  TokenReader(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> extra,
              std::uint16_t row, std::uint8_t column, const TokenContext& ctx)
      : m_in(tokens), m_extra(extra), m_row(row), m_column(column), m_ctx(ctx),
        m_biff8(ctx.version >= 8), m_sep(separators()) {}

  bool run(std::u16string& text) {
    bool ok = true;
    while (!m_in.atEnd()) {
      std::uint8_t id = 0;
      if (!m_in.u8(id) || !token(id)) {
        ok = false;
        break;
      }
    }
    if (m_stack.size() > 1)
      ok = false;
    text = u"=";
    if (!m_stack.empty())
      text += m_stack.back();
    return ok;
  }

private:
  bool push(std::u16string s) {
    if (s.size() > kMaxFormulaTextLength)
      return false;
    m_stack.push_back(std::move(s));
    m_bareUnion.push_back(false);
    return true;
  }
  void pop() {
    m_stack.pop_back();
    m_bareUnion.pop_back();
  }
  bool fits(const std::u16string& s) const { return s.size() <= kMaxFormulaTextLength; }

  bool token(std::uint8_t id) {
    if (m_refs && m_plain && !plainToken(id))
      m_plain = false;
    if (id < 0x20)
      return controlToken(id);
    // Reference, value and array classes read alike.
    return operandToken(static_cast<std::uint8_t>((id & 0x1F) | 0x20));
  }

  // Tokens whose text follows from their bytes alone (references aside).
  static bool plainToken(std::uint8_t id) {
    if (id < 0x20)
      return (id >= ptgAdd && id <= ptgStr) || id == ptgAttr || (id >= ptgErr && id <= ptgNum);
    switch ((id & 0x1F) | 0x20) {
    case ptgArray:
    case ptgFunc:
    case ptgFuncVar:
    case ptgRef:
    case ptgArea:
    case ptgRefErr:
    case ptgAreaErr: return true;
    default: return false;
    }
  }

  bool binary(std::u16string_view op) {
    if (m_stack.size() < 2)
      return false;
    const bool isUnion = op.size() == 1 && op[0] == m_sep.list;
    // An operand with no text (a missing argument, a reference to a sheet the
    // file does not list) leaves the operator dangling: "1+", ":" and " "
    // are no formula, and a union would read as one argument more of a call.
    if (m_stack.back().empty() || m_stack[m_stack.size() - 2].empty())
      return false;
    std::u16string rhs = std::move(m_stack.back());
    const bool rhsUnion = m_bareUnion.back();
    pop();
    std::u16string& lhs = m_stack.back();
    lhs += op;
    lhs += rhs;
    m_bareUnion.back() = m_bareUnion.back() || rhsUnion || isUnion;
    return fits(lhs);
  }

  bool wrap(std::u16string_view before, std::u16string_view after) {
    if (m_stack.empty() || m_stack.back().empty())
      return false;
    std::u16string& s = m_stack.back();
    s.insert(0, before);
    s += after;
    if (before == u"(")
      m_bareUnion.back() = false;
    return fits(s);
  }

  bool controlToken(std::uint8_t id) {
    static constexpr std::u16string_view kOperators[] = {
        u"+", u"-", u"*", u"/", u"^", u"&", u"<", u"<=", u"=", u">=", u">", u"<>"};
    if (id >= ptgAdd && id <= ptgNE)
      return binary(kOperators[id - ptgAdd]);
    switch (id) {
    case ptgExp:
    case ptgTbl:
      // Stand-ins for shared, array and table formulas; the reader replaces
      // them before conversion, so they give no text here.
      return m_in.skip(4);
    case ptgIsect: return binary(u" ");
    case ptgUnion: return binary(std::u16string_view(&m_sep.list, 1));
    case ptgRange: return binary(u":");
    case ptgUplus: return wrap(u"+", u"");
    case ptgUminus: return wrap(u"-", u"");
    case ptgPercent: return wrap(u"", u"%");
    case ptgParen: return wrap(u"(", u")");
    case ptgMissArg: return push(u"");
    case ptgStr: return stringToken();
    case ptgExtend: return extendedToken();
    case ptgAttr: return attributeToken();
    case ptgErr: {
      std::uint8_t code = 0;
      return m_in.u8(code) && push(std::u16string(errorTextOfCode(code)));
    }
    case ptgBool: {
      std::uint8_t b = 0;
      return m_in.u8(b) && push(b ? u"TRUE" : u"FALSE");
    }
    case ptgInt: {
      std::uint16_t n = 0;
      if (!m_in.u16(n))
        return false;
      const std::string digits = std::to_string(n);
      return push(std::u16string(digits.begin(), digits.end()));
    }
    case ptgNum: {
      double x = 0;
      return m_in.f64(x) && push(formula::numberToText(x, platform::localeStrings()));
    }
    default: return false;
    }
  }

  bool stringToken() {
    std::uint8_t length = 0;
    if (!m_in.u8(length))
      return false;
    bool wide = m_ctx.fileKind == 1;
    if (m_biff8 || m_ctx.fileKind == 1) {
      std::uint8_t option = 0;
      if (!m_in.u8(option))
        return false;
      wide = wide || option != 0;
    }
    std::u16string s;
    if (!wide && !m_biff8 && m_ctx.codePage) {
      std::span<const std::uint8_t> raw;
      if (!m_in.bytes(length, raw))
        return false;
      if (!platform::toUtf16(m_ctx.codePage, std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()), s))
        s.assign(raw.begin(), raw.end());
    } else if (!readChars(m_in, length, wide, s)) {
      return false;
    }
    if (m_ctx.fileKind == 1)
      for (char16_t& c : s)
        if (c == 0)
          c = m_sep.list;
    std::u16string quoted;
    appendQuoted(quoted, s);
    return push(std::move(quoted));
  }

  static bool readChars(ByteCursor& in, size_t count, bool wide, std::u16string& out) {
    std::span<const std::uint8_t> raw;
    if (wide) {
      if (count > in.remaining() / 2 || !in.bytes(count * 2, raw))
        return false;
      for (size_t i = 0; i < count; ++i)
        out += static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    } else {
      if (!in.bytes(count, raw))
        return false;
      for (const std::uint8_t b : raw)
        out += static_cast<char16_t>(b);
    }
    return true;
  }

  // Natural-language label tokens: a 4-byte location after the sub-code;
  // the multiple-cell forms also keep a cell list in the extra data, which
  // must be passed over to keep later array constants in step.
  bool extendedToken() {
    std::uint8_t code = 0;
    std::uint16_t row = 0, column = 0;
    if (!m_in.u8(code) || !m_in.u16(row) || !m_in.u16(column))
      return false;
    switch (code) {
    case 0x02: case 0x03: case 0x06: case 0x07: case 0x0A: {
      std::u16string text = labelText(row, static_cast<std::uint8_t>(column & 0xFF));
      if (m_ctx.labelBudget) {
        if (text.size() > *m_ctx.labelBudget)
          return false;
        *m_ctx.labelBudget -= text.size();
      }
      return push(std::move(text));
    }
    case 0x0B: case 0x0D: case 0x0F: {
      std::uint32_t count = 0;
      if (!m_extra.u32(count))
        return false;
      count &= 0x3FFFFFFF;
      return count <= m_extra.remaining() / 4 && m_extra.skip(size_t{count} * 4);
    }
    case 0x01: case 0x0C: case 0x0E: case 0x10: case 0x1D:
      return true;
    default: return false;
    }
  }

  std::u16string labelText(std::uint16_t row, std::uint8_t column) const {
    const model::Workbook* book = m_ctx.book;
    if (!book || m_ctx.sheet < 0 || m_ctx.sheet >= book->sheetCount())
      return {};
    const model::CellRecord* cell = model::cell_at(book->sheet(m_ctx.sheet), row, column);
    if (!cell || cell->input.isNull())
      return {};
    std::u16string_view text = cell->input.view();
    if (!text.empty() && text.front() == u'\'')
      text.remove_prefix(1);
    return std::u16string(text);
  }

  bool attributeToken() {
    std::uint8_t type = 0;
    std::uint16_t data = 0;
    if (!m_in.u8(type) || !m_in.u16(data))
      return false;
    if (type & attrChoose)
      return m_in.skip((size_t{data} + 1) * 2);
    if (type & attrSum)
      return applyCall(u"SUM", 1);
    return true;
  }

  bool operandToken(std::uint8_t base) {
    switch (base) {
    case ptgArray: return m_in.skip(7) && arrayConstant();
    case ptgFunc: {
      std::uint16_t number = 0;
      if (!m_in.u16(number))
        return false;
      const formula::FunctionEntry* f = formula::findFunctionByNumber(number);
      return call(f, number, f ? f->argTypes.size() : 0, false);
    }
    case ptgFuncVar: {
      std::uint8_t count = 0;
      std::uint16_t number = 0;
      if (!m_in.u8(count) || !m_in.u16(number))
        return false;
      const bool prompt = (count & 0x80) != 0;
      count &= 0x7F;
      if ((number & 0x7FFF) == kExternalCallNumber)
        return externalCall(count);
      return call(formula::findFunctionByNumber(number), number, count, prompt);
    }
    case ptgName: {
      std::uint16_t index = 0;
      return m_in.u16(index) && m_in.skip(m_biff8 ? 2 : 12) && pushName(index);
    }
    case ptgRef:
    case ptgRefN: {
      const size_t at = m_in.position();
      formula::RefCorner corner;
      if (!readCorner(corner, base == ptgRefN))
        return false;
      if (m_refs && base == ptgRef)
        m_refs->push_back({static_cast<std::uint32_t>(at), corner, corner, false});
      return pushCell(corner);
    }
    case ptgArea:
    case ptgAreaN: {
      const size_t at = m_in.position();
      formula::RefCorner first, last;
      if (!readArea(first, last, base == ptgAreaN))
        return false;
      if (m_refs && base == ptgArea)
        m_refs->push_back({static_cast<std::uint32_t>(at), first, last, true});
      return pushArea(first, last);
    }
    case ptgMemArea: {
      // The cached areas follow in the extra data.
      std::uint16_t count = 0;
      const size_t each = m_biff8 ? 8 : 6;
      return m_in.skip(6) && m_extra.u16(count) && count <= m_extra.remaining() / each &&
             m_extra.skip(count * each);
    }
    case ptgMemErr:
    case ptgMemNoMem:
      // The tokens the memory token covers follow it and give the text.
      return m_in.skip(6);
    case ptgMemFunc:
    case ptgMemAreaN:
    case ptgMemNoMemN: return m_in.skip(2);
    case ptgRefErr: return m_in.skip(m_biff8 ? 4 : 3) && push(u"#REF!");
    case ptgAreaErr: return m_in.skip(m_biff8 ? 8 : 6) && push(u"#REF!");
    case ptgRefErr3d: return m_in.skip(m_biff8 ? 6 : 17) && push(u"#REF!");
    case ptgAreaErr3d: return m_in.skip(m_biff8 ? 10 : 20) && push(u"#REF!");
    case ptgNameX: return externalName();
    case ptgRef3d:
    case ptgArea3d: return reference3d(base == ptgArea3d);
    default: return false;
    }
  }

  // BIFF8: row 2, column byte, flags byte (0x80 row relative, 0x40 column
  // relative). BIFF5: the flags sit in the top bits of a 14-bit row.
  bool readRow(std::uint16_t& row, std::uint8_t& flags) {
    if (!m_in.u16(row))
      return false;
    if (!m_biff8) {
      flags = static_cast<std::uint8_t>((row >> 8) & 0xC0);
      row &= 0x3FFF;
    }
    return true;
  }
  bool readColumn(std::uint8_t& column, std::uint8_t& flags) {
    if (m_biff8) {
      std::uint16_t word = 0;
      if (!m_in.u16(word))
        return false;
      column = static_cast<std::uint8_t>(word & 0xFF);
      flags = static_cast<std::uint8_t>((word >> 8) & 0xC0);
      return true;
    }
    return m_in.u8(column);
  }

  formula::RefCorner corner(std::uint16_t row, std::uint8_t column, std::uint8_t flags,
                            bool offsets) const {
    formula::RefCorner c;
    const bool rowRelative = flags & 0x80;
    const bool columnRelative = flags & 0x40;
    int r = row, col = column;
    if (offsets && rowRelative)
      r = m_biff8 ? (r + m_row) % 65536 : (r + m_row) % 16384;
    if (offsets && columnRelative)
      col = (col + m_column) % 256;
    c.row = r;
    c.column = col;
    c.rowAbsolute = !rowRelative;
    c.columnAbsolute = !columnRelative;
    return c;
  }

  bool readCorner(formula::RefCorner& out, bool offsets) {
    std::uint16_t row = 0;
    std::uint8_t column = 0, flags = 0;
    if (!readRow(row, flags) || !readColumn(column, flags))
      return false;
    out = corner(row, column, flags, offsets);
    return true;
  }

  bool readArea(formula::RefCorner& first, formula::RefCorner& last, bool offsets) {
    std::uint16_t row1 = 0, row2 = 0;
    std::uint8_t col1 = 0, col2 = 0, flags1 = 0, flags2 = 0;
    if (!readRow(row1, flags1) || !readRow(row2, flags2) || !readColumn(col1, flags1) ||
        !readColumn(col2, flags2))
      return false;
    first = corner(row1, col1, flags1, offsets);
    last = corner(row2, col2, flags2, offsets);
    return true;
  }

  bool pushCell(const formula::RefCorner& c, std::u16string prefix = {}) {
    formula::appendCellAddress(prefix, c);
    return push(std::move(prefix));
  }
  bool pushArea(const formula::RefCorner& a, const formula::RefCorner& b,
                std::u16string prefix = {}) {
    formula::appendCellAddress(prefix, a);
    prefix += u':';
    formula::appendCellAddress(prefix, b);
    return push(std::move(prefix));
  }

  const LinkTable& links() {
    if (m_ctx.links)
      return *m_ctx.links;
    if (!m_ownLinks && m_ctx.book)
      m_ownLinks = linkTableForWriting(*m_ctx.book);
    if (!m_ownLinks)
      m_ownLinks.emplace();
    return *m_ownLinks;
  }

  std::u16string sheetName(int index) const {
    return std::u16string(m_ctx.book->sheet(index).name);
  }
  bool isSheet(int index) const {
    return m_ctx.book && index >= 0 && index < m_ctx.book->sheetCount();
  }

  SheetLink resolveSheets(int first, int last, std::u16string& prefix) const {
    if (first == kNoSheet)
      return SheetLink::NoPrefix;
    if (first == kDeletedSheet || last == kDeletedSheet)
      return SheetLink::Deleted;
    if (!isSheet(first) || !isSheet(last))
      return SheetLink::Unknown;
    if (first == last)
      formula::appendSheetQualifier(prefix, sheetName(first), false);
    else
      appendSheetSpan(prefix, sheetName(first), sheetName(last));
    return SheetLink::Sheets;
  }

  bool reference3d(bool area) {
    std::uint16_t index = 0, first = 0, last = 0;
    if (!m_in.u16(index))
      return false;
    if (!m_biff8 && !(m_in.skip(8) && m_in.u16(first) && m_in.u16(last)))
      return false;
    formula::RefCorner a, b;
    if (area ? !readArea(a, b, false) : !readCorner(a, false))
      return false;
    if (m_biff8) {
      const LinkTable& table = links();
      if (index >= table.externSheets.size())
        return push(u"");
      const ExternSheetEntry& entry = table.externSheets[index];
      if (entry.book < table.externalBooks.size() && table.externalBooks[entry.book]) {
        // Another workbook's sheet keeps its own qualifier; it is never one
        // of this workbook's sheets.
        const ExternalBook& other = *table.externalBooks[entry.book];
        if (entry.firstSheet >= other.sheets.size() || entry.lastSheet >= other.sheets.size())
          return push(std::u16string(model::errorText(model::ErrorCode::Ref)));
        std::u16string prefix = externalQualifier(other.path, other.sheets[entry.firstSheet],
                                                  other.sheets[entry.lastSheet]);
        return area ? pushArea(a, b, std::move(prefix)) : pushCell(a, std::move(prefix));
      }
      if (table.ownBook >= 0 && entry.book != table.ownBook && entry.firstSheet != kNoSheet &&
          entry.firstSheet != kDeletedSheet)
        return push(u"");
      first = entry.firstSheet;
      last = entry.lastSheet;
    }
    std::u16string prefix;
    switch (resolveSheets(first, last, prefix)) {
    case SheetLink::Unknown: return push(u"");
    // The sheet is gone: the reference is the error it computes to, not a
    // cell of whichever sheet holds the formula.
    case SheetLink::Deleted: return push(std::u16string(model::errorText(model::ErrorCode::Ref)));
    default: break;
    }
    return area ? pushArea(a, b, std::move(prefix)) : pushCell(a, std::move(prefix));
  }

  // A name local to another sheet than the formula's is written with that
  // sheet's qualifier: as a plain word it would name another scope's name.
  std::u16string definedName(std::uint16_t index) const {
    if (!m_ctx.book || index == 0 || index > m_ctx.book->names.size())
      return {};
    std::u16string text;
    formula::appendNameAsSeenFrom(text, *m_ctx.book, index - 1u, m_ctx.sheet);
    return text;
  }

  // A global name that a name of the formula's own sheet hides has no
  // spelling there: its text would name the local one. The formula cannot
  // be read rather than silently change its meaning.
  bool pushName(std::uint16_t index) {
    if (m_ctx.book && m_ctx.sheet >= 0 && index != 0 && index <= m_ctx.book->names.size()) {
      const model::DefinedName& name = m_ctx.book->names[index - 1u];
      if (name.sheetIndex == 0) {
        const int seen = model::find_name_text(*m_ctx.book, name.name, m_ctx.sheet);
        if (seen >= 0 && m_ctx.book->names[static_cast<size_t>(seen)].sheetIndex == m_ctx.sheet + 1)
          return false;
      }
    }
    return push(definedName(index));
  }

  static std::u16string listEntry(const std::vector<std::u16string>& list, std::uint16_t index) {
    if (index == 0 || index > list.size())
      return {};
    return list[index - 1u];
  }

  bool externalName() {
    std::uint16_t sheet = 0, index = 0;
    if (m_biff8) {
      if (!m_in.u16(sheet) || !m_in.u16(index) || !m_in.skip(2))
        return false;
      const LinkTable& table = links();
      const bool addIn = sheet < table.externSheets.size() && table.addInBook >= 0 &&
                         table.externSheets[sheet].book == table.addInBook;
      if (!addIn && sheet < table.externSheets.size()) {
        const std::uint16_t book = table.externSheets[sheet].book;
        if (book < table.externalBooks.size() && table.externalBooks[book]) {
          // A name of another workbook, qualified by it.
          const ExternalBook& other = *table.externalBooks[book];
          const std::u16string name = listEntry(other.names, index);
          if (name.empty())
            return push(std::u16string(model::errorText(model::ErrorCode::Ref)));
          return push(externalQualifier(other.path, {}, {}) + name);
        }
      }
      return addIn ? push(listEntry(table.externNames, index)) : pushName(index);
    }
    if (!m_in.u16(sheet) || !m_in.skip(8) || !m_in.u16(index) || !m_in.skip(12))
      return false;
    // A negative sheet index refers to this workbook's own names.
    if (static_cast<std::int16_t>(sheet) < 0)
      return pushName(index);
    return push(listEntry(links().externNames, index));
  }

  // Joins the top `count` operands as the arguments of `name`.
  bool applyCall(std::u16string name, size_t count) {
    if (count > m_stack.size())
      return false;
    const size_t base = m_stack.size() - count;
    name += u'(';
    for (size_t i = base; i < m_stack.size(); ++i) {
      if (i > base)
        name += m_sep.list;
      // A union among the arguments needs its brackets, or its separator
      // would read as the next argument.
      if (m_bareUnion[i])
        name += u'(';
      name += m_stack[i];
      if (m_bareUnion[i])
        name += u')';
      if (!fits(name))
        return false;
    }
    name += u')';
    m_stack.resize(base);
    m_bareUnion.resize(base);
    return push(std::move(name));
  }

  static std::u16string unknownFunctionName(int number) {
    std::u16string name = u"_FUNCTION";
    for (const char c : std::to_string(number))
      name += static_cast<char16_t>(c);
    return name;
  }

  bool call(const formula::FunctionEntry* f, int number, size_t count, bool prompt) {
    // TRUE and FALSE without arguments are the words themselves.
    if ((number == 34 || number == 35) && count == 0)
      return push(number == 34 ? u"TRUE" : u"FALSE");
    // A number no version defines reads as a call of a name that says so: it
    // computes to #NAME? and is saved again as a call, never as text.
    std::u16string name = f ? std::u16string(f->name) : unknownFunctionName(number);
    if (f && prompt && name.back() != u'?')
      name += u'?';
    return applyCall(std::move(name), count);
  }

  // The first operand of an add-in or macro-sheet call is the function's name.
  bool externalCall(size_t count) {
    if (count == 0 || count > m_stack.size())
      return false;
    const size_t nameAt = m_stack.size() - count;
    std::u16string name = std::move(m_stack[nameAt]);
    // A later version's function we compute reads as its own name.
    if (const formula::FunctionEntry* f = formula::findPrefixedFunction(name))
      name = f->name;
    m_stack.erase(m_stack.begin() + static_cast<std::ptrdiff_t>(nameAt));
    m_bareUnion.erase(m_bareUnion.begin() + static_cast<std::ptrdiff_t>(nameAt));
    return applyCall(std::move(name), count - 1);
  }

  bool arrayConstant() {
    std::uint8_t lastColumn = 0;
    std::uint16_t lastRow = 0;
    if (!m_extra.u8(lastColumn) || !m_extra.u16(lastRow))
      return false;
    std::u16string out = u"{";
    for (size_t r = 0; r <= lastRow; ++r) {
      if (r > 0)
        out += u';';
      for (size_t c = 0; c <= lastColumn; ++c) {
        if (c > 0)
          out += m_sep.thousands;
        if (!arrayElement(out) || !fits(out))
          return false;
      }
    }
    out += u'}';
    return push(std::move(out));
  }

  bool arrayElement(std::u16string& out) {
    std::uint8_t type = 0;
    if (!m_extra.u8(type))
      return false;
    switch (type) {
    case 0x00: return m_extra.skip(8);
    case 0x01: {
      double x = 0;
      if (!m_extra.f64(x))
        return false;
      out += formula::numberToText(x, platform::localeStrings());
      return true;
    }
    case 0x02: {
      std::u16string s;
      if (m_biff8 || m_ctx.fileKind == 1) {
        std::uint16_t length = 0;
        std::uint8_t option = 0;
        if (!m_extra.u16(length) || !m_extra.u8(option) ||
            !readChars(m_extra, length, option != 0 || m_ctx.fileKind == 1, s))
          return false;
      } else {
        std::uint8_t length = 0;
        if (!m_extra.u8(length) || !readChars(m_extra, length, false, s))
          return false;
      }
      appendQuoted(out, s);
      return true;
    }
    case 0x04: {
      std::uint8_t b = 0;
      if (!m_extra.u8(b) || !m_extra.skip(7))
        return false;
      out += b ? u"TRUE" : u"FALSE";
      return true;
    }
    case 0x10: {
      std::uint8_t code = 0;
      if (!m_extra.u8(code) || !m_extra.skip(7))
        return false;
      out += errorTextOfCode(code);
      return true;
    }
    default: return false;
    }
  }

  ByteCursor m_in;
  ByteCursor m_extra;
public:
  std::vector<ReadReference>* m_refs = nullptr; // references read, when asked
  bool m_plain = true;

private:
  std::uint16_t m_row;
  std::uint8_t m_column;
  const TokenContext& m_ctx;
  bool m_biff8;
  Separators m_sep;
  std::vector<std::u16string> m_stack;
  std::vector<bool> m_bareUnion; // the operand's text has a union outside brackets
  std::optional<LinkTable> m_ownLinks;
};

// ---------------------------------------------------------------------------
// Writing

bool isPlainSheetChar(char16_t c, char16_t list) {
  return !formula::isIdentifierTerminator(c, list) && c != u'!' && c != u'\'' && c != u'"' &&
         c != u'{' && c != u'}' && c != u';';
}

bool isReferenceArgument(char letter) {
  switch (letter & ~0x20) {
  case 'B': case 'C': case 'E': case 'P': case 'R': case 'U': return true;
  default: return false;
  }
}

bool isCommand(const formula::FunctionEntry& f) {
  const int number = formula::functionNumber(f);
  return number >= 0 && (number & 0x8000) != 0;
}

// The result of compiling an operand: where its class-bearing token sits, so
// the operator that consumes it can give it the class it needs.
struct Compiled {
  long classAt = -1;
};

struct SheetSpan {
  int first = -1;
  int last = -1;
};

class TokenWriter {
public:
  TokenWriter(std::u16string_view text, const TokenContext& ctx, const WriteOptions& options,
              TokenArray& out)
      : m_t(text), m_ctx(ctx), m_options(options), m_out(out), m_biff8(ctx.version >= 8),
        m_sep(separators()) {}

  void run() {
    size_t p = 0;
    if (!m_t.empty() && m_t[0] == u'=')
      p = 1;
    p = skipSpaces(p, m_t.size());
    const size_t bodyStart = p;
    if (p >= m_t.size())
      return;
    Compiled c;
    if (binary(p, m_t.size(), 0, m_options.expressionClass, c) &&
        skipSpaces(p, m_t.size()) == m_t.size())
      return;
    // Text that does not read as an expression is kept as a string.
    m_out.tokens.clear();
    m_out.extra.clear();
    dropPlacesFrom(0);
    emitString(m_t.substr(bodyStart));
  }

private:
  size_t skipSpaces(size_t p, size_t end) const {
    while (p < end && m_t[p] == u' ')
      ++p;
    return p;
  }

  TokenClass valueClass(TokenClass cls) const {
    return cls == TokenClass::Array || m_options.arrayContext ? TokenClass::Array
                                                              : TokenClass::Value;
  }

  void u8(std::uint8_t b) { m_out.tokens.push_back(b); }
  void u16(std::uint16_t w) {
    m_out.tokens.push_back(static_cast<std::uint8_t>(w & 0xFF));
    m_out.tokens.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  void zeros(size_t n) { m_out.tokens.insert(m_out.tokens.end(), n, 0); }
  static void putU16(std::vector<std::uint8_t>& v, std::uint16_t w) {
    v.push_back(static_cast<std::uint8_t>(w & 0xFF));
    v.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  static void putF64(std::vector<std::uint8_t>& v, double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, 8);
    for (int i = 0; i < 8; ++i)
      v.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }

  long operandToken(std::uint8_t base, TokenClass cls) {
    const long at = static_cast<long>(m_out.tokens.size());
    u8(static_cast<std::uint8_t>((base & 0x1F) | classBits(cls)));
    return at;
  }

  void setClass(const Compiled& c, TokenClass cls) {
    if (c.classAt < 0)
      return;
    std::uint8_t& id = m_out.tokens[static_cast<size_t>(c.classAt)];
    // Array constants have no reference form.
    if ((id & 0x1F) == (ptgArray & 0x1F) && cls == TokenClass::Reference)
      cls = TokenClass::Value;
    id = static_cast<std::uint8_t>((id & 0x1F) | classBits(cls));
  }

  // ---- strings ----

  void emitStringPiece(std::u16string_view s) {
    u8(ptgStr);
    u8(static_cast<std::uint8_t>(s.size()));
    const bool wide = m_ctx.fileKind == 1 ||
                      (m_biff8 && std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; }));
    if (m_biff8 || m_ctx.fileKind == 1)
      u8(wide ? 1 : 0);
    for (const char16_t c : s) {
      u8(static_cast<std::uint8_t>(c & 0xFF));
      if (wide)
        u8(static_cast<std::uint8_t>(c >> 8));
    }
  }

  // BIFF5 string bytes in the code page: a token holds 255 bytes, so the
  // pieces end on whole characters.
  void emitNarrowString(std::u16string_view s) {
    std::vector<std::string> pieces(1);
    for (size_t at = 0; at < s.size();) {
      const size_t n = at + 1 < s.size() && s[at] >= 0xD800 && s[at] < 0xDC00 ? 2 : 1;
      std::string bytes;
      if (!platform::fromUtf16(m_ctx.codePage, s.substr(at, n), bytes) || bytes.empty())
        bytes.push_back('?');
      if (pieces.back().size() + bytes.size() > 255)
        pieces.emplace_back();
      pieces.back() += bytes;
      at += n;
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
      u8(ptgStr);
      u8(static_cast<std::uint8_t>(pieces[i].size()));
      for (const char c : pieces[i])
        u8(static_cast<std::uint8_t>(c));
      if (i > 0)
        u8(ptgConcat);
    }
    if (pieces.size() > 1)
      u8(ptgParen);
  }

  // A string token holds 255 characters; longer strings are joined from
  // pieces, in parentheses so the join binds as one operand.
  void emitString(std::u16string_view s) {
    constexpr size_t kPiece = 255;
    if (!m_biff8 && m_ctx.fileKind != 1 && m_ctx.codePage) {
      emitNarrowString(s);
      return;
    }
    if (s.size() <= kPiece) {
      emitStringPiece(s);
      return;
    }
    for (size_t at = 0; at < s.size(); at += kPiece) {
      emitStringPiece(s.substr(at, kPiece));
      if (at > 0)
        u8(ptgConcat);
    }
    u8(ptgParen);
  }

  // ---- expressions ----

  bool peekOperator(size_t p, size_t end, formula::BinaryOp& op, size_t& length) const {
    return formula::readBinaryOperator(m_t, p, end, m_sep.list, op, length);
  }

  static std::uint8_t operatorToken(formula::BinaryOp op) {
    using formula::BinaryOp;
    switch (op) {
    case BinaryOp::Add: return ptgAdd;
    case BinaryOp::Subtract: return ptgSub;
    case BinaryOp::Multiply: return ptgMul;
    case BinaryOp::Divide: return ptgDiv;
    case BinaryOp::Power: return ptgPower;
    case BinaryOp::Concat: return ptgConcat;
    case BinaryOp::Equal: return ptgEQ;
    case BinaryOp::NotEqual: return ptgNE;
    case BinaryOp::Less: return ptgLT;
    case BinaryOp::LessEqual: return ptgLE;
    case BinaryOp::Greater: return ptgGT;
    case BinaryOp::GreaterEqual: return ptgGE;
    case BinaryOp::Range: return ptgRange;
    case BinaryOp::Intersect: return ptgIsect;
    case BinaryOp::Union: return ptgUnion;
    case BinaryOp::Remainder: break;
    }
    return 0;
  }

  bool enter() { return ++m_depth <= kMaxWriteDepth; }
  void leave() { --m_depth; }

  bool binary(size_t& p, size_t end, int minLevel, TokenClass cls, Compiled& result) {
    using formula::BinaryOp;
    if (!enter())
      return false;
    Compiled lhs;
    bool ok = unary(p, end, cls, lhs);
    while (ok) {
      BinaryOp op;
      size_t length = 0;
      if (!peekOperator(p, end, op, length) || formula::precedence(op) < minLevel)
        break;
      p += length;
      const bool referenceOp =
          op == BinaryOp::Range || op == BinaryOp::Union || op == BinaryOp::Intersect;
      const TokenClass operandClass = referenceOp ? TokenClass::Reference : valueClass(cls);
      setClass(lhs, operandClass);
      Compiled rhs;
      if (!binary(p, end, formula::precedence(op) + 1, operandClass, rhs)) {
        ok = false;
        break;
      }
      setClass(rhs, operandClass);
      lhs = Compiled{};
      if (op == BinaryOp::Remainder) {
        // Binary "%" is the remainder: MOD(a, b).
        lhs.classAt = operandToken(ptgFuncVar, valueClass(cls));
        u8(2);
        u16(39);
      } else {
        u8(operatorToken(op));
      }
    }
    leave();
    result = lhs;
    return ok;
  }

  bool unary(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    p = skipSpaces(p, end);
    if (p < end && (m_t[p] == u'+' || m_t[p] == u'-')) {
      const size_t q = p + 1;
      const bool numberFollows = q < end && (isDigit(m_t[q]) || m_t[q] == m_sep.decimal);
      if (!numberFollows) {
        const bool negate = m_t[p] == u'-';
        p = q;
        Compiled inner;
        if (!binary(p, end, 7, valueClass(cls), inner))
          return false;
        setClass(inner, valueClass(cls));
        u8(negate ? ptgUminus : ptgUplus);
        result = Compiled{};
        postfixPercent(p, end, cls, result);
        return true;
      }
    }
    if (!operand(p, end, cls, result))
      return false;
    postfixPercent(p, end, cls, result);
    return true;
  }

  void postfixPercent(size_t& p, size_t end, TokenClass cls, Compiled& c) {
    while (true) {
      const size_t q = skipSpaces(p, end);
      if (q >= end || m_t[q] != u'%')
        return;
      const size_t r = skipSpaces(q + 1, end);
      if (r < end && !formula::isOperatorChar(m_t[r], m_sep.list) && m_t[r] != u')' && m_t[r] != u'}')
        return;
      setClass(c, valueClass(cls));
      c = Compiled{};
      u8(ptgPercent);
      p = q + 1;
    }
  }

  bool operand(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    p = skipSpaces(p, end);
    if (p >= end)
      return false;
    const char16_t c = m_t[p];
    if (c == u'"')
      return stringLiteral(p, end);
    if (c == u'\'') {
      if (reference(p, end, cls, result) || qualifiedName(p, end, cls, result))
        return true;
      emitString(m_t.substr(p, end - p));
      p = end;
      return true;
    }
    if (c == u'(')
      return parenthesised(p, end, cls, result);
    if (c == u'{')
      return arrayConstant(p, end, cls, result);
    if (c == u'+' || c == u'-' || isDigit(c) || c == m_sep.decimal)
      return numberLiteral(p, end);
    if (formula::isIdentifierTerminator(c, m_sep.list) || c == u'}')
      return false;
    return word(p, end, cls, result);
  }

  bool stringLiteral(size_t& p, size_t end) {
    std::u16string s;
    if (formula::readStringLiteral(m_t, p, end, s)) {
      emitString(s);
      return true;
    }
    // No closing quote: the rest of the text, opening quote included.
    emitString(m_t.substr(p, end - p));
    p = end;
    return true;
  }

  bool parenthesised(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    int depth = 0;
    size_t close = end;
    for (size_t i = p; i < end; ++i) {
      if (m_t[i] == u'"') {
        const size_t q = formula::stringLiteralEnd(m_t, i, end);
        if (q == std::u16string_view::npos)
          break;
        i = q - 1;
      } else if (m_t[i] == u'(') {
        ++depth;
      } else if (m_t[i] == u')' && --depth == 0) {
        close = i;
        break;
      }
    }
    if (close == end) {
      // An unmatched "(" leaves the rest of the text as a string.
      emitString(m_t.substr(p, end - p));
      p = end;
      return true;
    }
    size_t q = p + 1;
    if (!binary(q, close, 0, cls, result) || skipSpaces(q, close) != close)
      return false;
    u8(ptgParen);
    p = close + 1;
    return true;
  }

  // Digits, decimals and an exponent, as the formula reader takes them.
  bool numberLiteral(size_t& p, size_t end) {
    std::string ascii;
    size_t q = p;
    const bool plus = m_t[q] == u'+';
    if (m_t[q] == u'+' || m_t[q] == u'-') {
      if (m_t[q] == u'-')
        ascii += '-';
      ++q;
    }
    size_t digits = 0;
    while (q < end && isDigit(m_t[q]))
      ascii += static_cast<char>(m_t[q++]), ++digits;
    if (q < end && m_t[q] == m_sep.decimal) {
      ascii += '.';
      ++q;
      while (q < end && isDigit(m_t[q]))
        ascii += static_cast<char>(m_t[q++]), ++digits;
    }
    if (digits == 0)
      return false;
    size_t e = skipSpaces(q, end);
    if (e < end && (m_t[e] == u'E' || m_t[e] == u'e')) {
      size_t r = skipSpaces(e + 1, end);
      std::string exponent = "e";
      if (r < end && (m_t[r] == u'+' || m_t[r] == u'-')) {
        if (m_t[r] == u'-')
          exponent += '-';
        r = skipSpaces(r + 1, end);
      }
      if (r < end && isDigit(m_t[r])) {
        while (r < end && isDigit(m_t[r]))
          exponent += static_cast<char>(m_t[r++]);
        ascii += exponent;
        q = r;
      }
    }
    p = q;
    double x = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), x);
    if (res.ec == std::errc::result_out_of_range) {
      // Underflow is 0; overflow is no number a cell can hold.
      if (ascii.find("e-") == std::string::npos) {
        u8(ptgErr);
        u8(codeOfError(model::ErrorCode::Num));
        return true;
      }
      x = 0;
    } else if (res.ec != std::errc()) {
      return false;
    }
    // A signed zero has no literal token: it keeps its sign as an operator,
    // as a plus sign does, so the text reads back as written.
    const bool minusZero = x == 0 && std::signbit(x);
    emitNumber(minusZero ? 0.0 : x);
    if (plus)
      u8(ptgUplus);
    if (minusZero)
      u8(ptgUminus);
    return true;
  }

  void emitNumber(double x) {
    if (x >= 0 && x <= 65535 && x == static_cast<double>(static_cast<int>(x))) {
      u8(ptgInt);
      u16(static_cast<std::uint16_t>(x));
      return;
    }
    u8(ptgNum);
    putF64(m_out.tokens, x);
  }

  // ---- array constants ----

  struct Element {
    enum Kind { Number, String, Boolean, Error } kind = String;
    double number = 0;
    std::u16string text;
    bool boolean = false;
    model::ErrorCode error = model::ErrorCode::NA;
  };

  Element arrayElement(std::u16string_view text) const {
    size_t a = 0, b = text.size();
    while (a < b && text[a] == u' ')
      ++a;
    while (b > a && text[b - 1] == u' ')
      --b;
    const std::u16string_view e = text.substr(a, b - a);
    Element out;
    if (platform::equalsIgnoreCase(e, u"TRUE") || platform::equalsIgnoreCase(e, u"FALSE")) {
      out.kind = Element::Boolean;
      out.boolean = e.size() == 4;
      return out;
    }
    if (const int code = model::findErrorCode(e); code >= 0) {
      out.kind = Element::Error;
      out.error = static_cast<model::ErrorCode>(code);
      return out;
    }
    if (!e.empty() && (isDigit(e[0]) || e[0] == m_sep.decimal || e[0] == u'-' || e[0] == u'+')) {
      TokenArray scratch;
      TokenWriter sub(e, m_ctx, m_options, scratch);
      size_t q = 0;
      if (sub.numberLiteral(q, e.size()) && q == e.size() && !scratch.tokens.empty() &&
          scratch.tokens[0] != ptgErr) {
        ByteCursor in(scratch.tokens);
        std::uint8_t id = 0;
        std::uint16_t n = 0;
        out.kind = Element::Number;
        if (in.u8(id) && id == ptgInt && in.u16(n))
          out.number = n;
        else if (!in.f64(out.number))
          out.kind = Element::String;
        if (out.kind == Element::Number)
          return out;
      }
    }
    if (e.size() >= 2 && e.front() == u'"' && e.back() == u'"') {
      for (size_t i = 1; i + 1 < e.size(); ++i) {
        out.text += e[i];
        if (e[i] == u'"' && i + 2 < e.size() && e[i + 1] == u'"')
          ++i;
      }
      return out;
    }
    out.text = std::u16string(e);
    return out;
  }

  void putElement(const Element& e) {
    std::vector<std::uint8_t>& x = m_out.extra;
    switch (e.kind) {
    case Element::Number:
      x.push_back(0x01);
      putF64(x, e.number);
      return;
    case Element::Boolean:
    case Element::Error:
      x.push_back(e.kind == Element::Boolean ? 0x04 : 0x10);
      x.push_back(e.kind == Element::Boolean ? std::uint8_t{e.boolean} : codeOfError(e.error));
      x.insert(x.end(), 7, 0);
      return;
    case Element::String: {
      x.push_back(0x02);
      if (!m_biff8 && m_ctx.fileKind != 1) {
        const size_t n = std::min<size_t>(e.text.size(), 0xFF);
        x.push_back(static_cast<std::uint8_t>(n));
        for (size_t i = 0; i < n; ++i)
          x.push_back(static_cast<std::uint8_t>(e.text[i] & 0xFF));
        return;
      }
      const size_t n = std::min<size_t>(e.text.size(), 0xFFFF);
      const bool wide = m_ctx.fileKind == 1 ||
                        std::any_of(e.text.begin(), e.text.begin() + static_cast<std::ptrdiff_t>(n),
                                    [](char16_t c) { return c > 0xFF; });
      putU16(x, static_cast<std::uint16_t>(n));
      x.push_back(wide ? 1 : 0);
      for (size_t i = 0; i < n; ++i) {
        x.push_back(static_cast<std::uint8_t>(e.text[i] & 0xFF));
        if (wide)
          x.push_back(static_cast<std::uint8_t>(e.text[i] >> 8));
      }
      return;
    }
    }
  }

  // {a,b;c,d}: the thousands separator between columns, any other separator
  // ends a row. Short rows are filled with #N/A and long ones cut to the
  // first row's width, as the formula reader does.
  bool arrayConstant(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    std::vector<std::vector<Element>> rows(1);
    size_t q = p + 1, start = q;
    bool closed = false;
    while (q < end) {
      const char16_t c = m_t[q];
      if (c == u'"') {
        q = std::min(formula::stringLiteralEnd(m_t, q, end), end);
        continue;
      }
      if (c == u'}' || c == m_sep.thousands || c == u';' || c == m_sep.list) {
        rows.back().push_back(arrayElement(m_t.substr(start, q - start)));
        if (c == u'}') {
          closed = true;
          ++q;
          break;
        }
        if (c != m_sep.thousands)
          rows.emplace_back();
        start = ++q;
        continue;
      }
      ++q;
    }
    const size_t columns = rows[0].size();
    if (!closed || columns > 256 || rows.size() > 65536)
      return false;
    p = q;
    result.classAt = operandToken(ptgArray, cls == TokenClass::Array ? cls : TokenClass::Value);
    zeros(7);
    m_out.extra.push_back(static_cast<std::uint8_t>(columns - 1));
    putU16(m_out.extra, static_cast<std::uint16_t>(rows.size() - 1));
    Element missing;
    missing.kind = Element::Error;
    for (const auto& row : rows)
      for (size_t c = 0; c < columns; ++c)
        putElement(c < row.size() ? row[c] : missing);
    return true;
  }

  // ---- references ----

  // Reads "Sheet!", "'Sheet'!", "First:Last!", "'First:Last'!" or
  // "'First':'Last'!" at p; a span written last sheet first is put in order.
  // A qualifier well formed but naming no sheet sets `unknown` (and `next`).
  bool qualifier(size_t p, size_t end, SheetSpan& span, size_t& next, bool* unknown = nullptr) const {
    if (!m_ctx.book)
      return false;
    formula::SheetQualifierNames names;
    bool malformed = false;
    if (!formula::readSheetQualifierNames(m_t.substr(0, end), p, m_sep.list, true, names,
                                          malformed))
      return false;
    const std::u16string& first = names.first;
    const std::u16string& last = names.last;
    const bool range = names.isRange;
    const size_t i = names.next - 1; // the "!"
    if (first.empty() || (range && last.empty()))
      return false;
    span.first = model::find_sheet(*m_ctx.book, first);
    span.last = range ? model::find_sheet(*m_ctx.book, last) : span.first;
    if (span.first < 0 || span.last < 0) {
      if (unknown) {
        *unknown = true;
        next = i + 1;
      }
      return false;
    }
    if (span.first > span.last)
      std::swap(span.first, span.last);
    next = i + 1;
    return true;
  }

  // Reads the qualifier of another workbook at p: "[Book.xls]Sheet1!",
  // "'C:\Dir\[Book.xls]Sheet 1'!", "[Book.xls]First:Last!", or "[Book.xls]!"
  // before one of that workbook's names (`first` empty).
  bool externalQualifier(size_t p, size_t end, std::u16string& path, std::u16string& first,
                         std::u16string& last, size_t& next) const {
    std::u16string content;
    size_t i = p;
    if (m_t[i] == u'\'') {
      for (++i;; ++i) {
        if (i >= end)
          return false;
        if (m_t[i] == u'\'') {
          if (i + 1 < end && m_t[i + 1] == u'\'') {
            content += u'\'';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        content += m_t[i];
      }
    } else {
      if (m_t[i] != u'[')
        return false;
      const size_t close = m_t.substr(0, end).find(u']', i);
      if (close == std::u16string_view::npos)
        return false;
      i = close + 1;
      while (i < end && (isPlainSheetChar(m_t[i], m_sep.list) || m_t[i] == u':'))
        ++i;
      content.assign(m_t.substr(p, i - p));
    }
    if (i >= end || m_t[i] != u'!')
      return false;
    const size_t open = content.find(u'[');
    const size_t close = open == std::u16string::npos ? open : content.find(u']', open);
    if (close == std::u16string::npos || close == open + 1)
      return false;
    path = content.substr(0, open) + content.substr(open + 1, close - open - 1);
    const std::u16string sheets = content.substr(close + 1);
    const size_t colon = sheets.find(u':');
    first = sheets.substr(0, colon);
    last = colon == std::u16string::npos ? first : sheets.substr(colon + 1);
    if (colon != std::u16string::npos && (first.empty() || last.empty()))
      return false;
    next = i + 1;
    return true;
  }

  // A reference (or name) of another workbook. BIFF8 writes it through its
  // SUPBOOK and EXTERNSHEET entries; Excel 95 files cannot hold one here,
  // and it becomes #REF!.
  bool externalReference(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    if (!m_ctx.writeLinks || m_ctx.fileKind != 2)
      return false;
    std::u16string path, first, last;
    size_t at = 0;
    if (!externalQualifier(p, end, path, first, last, at))
      return false;
    const std::u16string_view bounded = m_t.substr(0, end);
    if (first.empty()) {
      size_t q = at;
      while (q < end && !formula::isIdentifierTerminator(m_t[q], m_sep.list) && m_t[q] != u'"' &&
             m_t[q] != u'{' && m_t[q] != u'}' && m_t[q] != u'!')
        ++q;
      int sheet = -1, index = -1;
      if (q == at || !m_biff8 ||
          !m_ctx.writeLinks->externalName(path, m_t.substr(at, q - at), sheet, index))
        return false;
      result.classAt = operandToken(ptgNameX, cls);
      u16(static_cast<std::uint16_t>(sheet));
      u16(static_cast<std::uint16_t>(index));
      u16(0);
      p = q;
      return true;
    }
    formula::ParsedReference ref;
    if (!formula::readA1Reference(bounded, at, nullptr, m_sep.list, ref) || ref.hasQualifier)
      return false;
    const int index = m_biff8 ? m_ctx.writeLinks->externSheet(path, first, last) : -1;
    if (index < 0) {
      deletedReference3d(ref, cls, result);
    } else {
      result.classAt = operandToken(ref.isArea ? ptgArea3d : ptgRef3d, cls);
      u16(static_cast<std::uint16_t>(index));
      if (ref.isArea)
        putArea(ref.first, ref.last);
      else
        putCell(ref.first);
    }
    p = ref.end;
    return true;
  }

  // A 3-D reference whose sheet is gone: it computes to #REF!.
  void deletedReference3d(const formula::ParsedReference& ref, TokenClass cls, Compiled& result) {
    result.classAt = operandToken(ref.isArea ? ptgAreaErr3d : ptgRefErr3d, cls);
    if (m_biff8) {
      zeros(ref.isArea ? 10 : 6);
    } else {
      u16(0xFFFF);
      zeros(ref.isArea ? 18 : 15);
    }
  }

  bool reference(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    const std::u16string_view bounded = m_t.substr(0, end);
    if (externalReference(p, end, cls, result))
      return true;
    SheetSpan span;
    size_t at = p;
    bool unknownSheet = false;
    const bool qualified = qualifier(p, end, span, at, &unknownSheet);
    if (!qualified && !unknownSheet)
      at = p;
    formula::ParsedReference ref;
    if (!formula::readA1Reference(bounded, at, nullptr, m_sep.list, ref) || ref.hasQualifier)
      return false;
    if (unknownSheet) {
      // A sheet that does not exist: the reference is an error, not text.
      if (m_ctx.fileKind != 2)
        return false;
      deletedReference3d(ref, cls, result);
      p = ref.end;
      return true;
    }
    if (qualified) {
      // A span of sheets the link table cannot name is kept as text.
      if (!reference3d(span, ref, cls, result))
        emitString(m_t.substr(p, ref.end - p));
    } else {
      const size_t before = m_out.tokens.size();
      reference2d(ref, cls, result);
      if (m_places && m_biff8 && !m_options.relativeMode)
        m_places->push_back({formula::WrittenReference{static_cast<std::uint32_t>(ref.begin),
                                                       static_cast<std::uint32_t>(ref.end), ref.first,
                                                       ref.isArea ? ref.last : ref.first, ref.isArea},
                             static_cast<std::uint32_t>(before + 1)});
    }
    p = ref.end;
    return true;
  }

  // BIFF8: row 2, then the column byte and a flags byte; BIFF5: the flags
  // in the top bits of the row, then the column byte.
  void putRow(const formula::RefCorner& c) {
    if (m_biff8) {
      u16(static_cast<std::uint16_t>(c.row));
      return;
    }
    u16(static_cast<std::uint16_t>((c.row & 0x3FFF) | (c.rowAbsolute ? 0 : 0x8000) |
                                   (c.columnAbsolute ? 0 : 0x4000)));
  }
  void putColumn(const formula::RefCorner& c) {
    u8(static_cast<std::uint8_t>(c.column));
    if (m_biff8)
      u8(static_cast<std::uint8_t>((c.rowAbsolute ? 0 : 0x80) | (c.columnAbsolute ? 0 : 0x40)));
  }
  void putCell(const formula::RefCorner& c) {
    putRow(c);
    putColumn(c);
  }
  void putArea(const formula::RefCorner& a, const formula::RefCorner& b) {
    putRow(a);
    putRow(b);
    putColumn(a);
    putColumn(b);
  }

  // BIFF5 sheets have 16,384 rows.
  bool fitsVersion(const formula::ParsedReference& ref) const {
    return m_biff8 || (ref.first.row < 16384 && ref.last.row < 16384);
  }

  void reference2d(const formula::ParsedReference& ref, TokenClass cls, Compiled& result) {
    if (!fitsVersion(ref)) {
      result.classAt = operandToken(ref.isArea ? ptgAreaErr : ptgRefErr, cls);
      zeros(ref.isArea ? (m_biff8 ? 8 : 6) : (m_biff8 ? 4 : 3));
      return;
    }
    const bool absolute = ref.first.rowAbsolute && ref.first.columnAbsolute &&
                          (!ref.isArea || (ref.last.rowAbsolute && ref.last.columnAbsolute));
    const bool relative = m_options.relativeMode && !absolute;
    if (ref.isArea) {
      result.classAt = operandToken(relative ? ptgAreaN : ptgArea, cls);
      putArea(ref.first, ref.last);
    } else {
      result.classAt = operandToken(relative ? ptgRefN : ptgRef, cls);
      putCell(ref.first);
    }
  }

  // The EXTERNSHEET entry of a sheet span, or -1.
  int externSheetIndex(const SheetSpan& span) const {
    if (!m_ctx.links) {
      if (span.first == span.last)
        return externSheetIndexForWriting(*m_ctx.book, span.first);
      // A range of sheets gets an entry of its own after the writer's.
      if (!m_ctx.writeLinks)
        return -1;
      return m_ctx.writeLinks->ownSheetSpan(m_ctx.book->addInNames.empty() ? 0 : 1, span.first,
                                            span.last);
    }
    const LinkTable& links = *m_ctx.links;
    for (size_t i = 0; i < links.externSheets.size(); ++i) {
      const ExternSheetEntry& e = links.externSheets[i];
      if ((links.ownBook < 0 || e.book == links.ownBook) && e.firstSheet == span.first &&
          e.lastSheet == span.last)
        return static_cast<int>(i);
    }
    return -1;
  }

  bool reference3d(const SheetSpan& span, const formula::ParsedReference& ref, TokenClass cls,
                   Compiled& result) {
    if (m_biff8) {
      const int index = externSheetIndex(span);
      if (index < 0 || index > 0xFFFF)
        return false;
      result.classAt = operandToken(ref.isArea ? ptgArea3d : ptgRef3d, cls);
      u16(static_cast<std::uint16_t>(index));
    } else {
      if (!fitsVersion(ref)) {
        result.classAt = operandToken(ref.isArea ? ptgAreaErr3d : ptgRefErr3d, cls);
        zeros(ref.isArea ? 20 : 17);
        return true;
      }
      result.classAt = operandToken(ref.isArea ? ptgArea3d : ptgRef3d, cls);
      // This workbook's sheets: the negated 1-based EXTERNSHEET record of
      // the first sheet, then the sheets themselves.
      const int record = m_ctx.fileKind == 2 ? span.first + 1 + m_ctx.externSheetsBefore : 1;
      u16(static_cast<std::uint16_t>(-std::min(record, 0x7FFF)));
      zeros(8);
      u16(static_cast<std::uint16_t>(span.first));
      u16(static_cast<std::uint16_t>(span.last));
    }
    if (ref.isArea)
      putArea(ref.first, ref.last);
    else
      putCell(ref.first);
    return true;
  }

  // ---- names and calls ----

  bool splitArguments(size_t& q, size_t end, std::vector<std::pair<size_t, size_t>>& args) const {
    return formula::splitArguments(m_t, q, end, m_sep.list, args);
  }

  bool isEmptySpan(const std::pair<size_t, size_t>& s) const {
    return skipSpaces(s.first, s.second) == s.second;
  }

  // The argument spans of a call whose "(" is at `open`, checked against
  // the argument letters as the formula reader checks them.
  bool callArguments(size_t open, size_t end, std::string_view types, bool checkTypes,
                     std::vector<std::pair<size_t, size_t>>& args, size_t& after) const {
    size_t q = open + 1;
    if (!splitArguments(q, end, args))
      return false;
    if (args.size() == 1 && isEmptySpan(args[0]))
      args.clear();
    if (args.size() > formula::kMaxArguments)
      return false;
    if (checkTypes) {
      if (args.size() > types.size())
        return false;
      for (size_t i = 0; i < types.size(); ++i)
        if (types[i] >= 'A' && types[i] <= 'Z' && (i >= args.size() || isEmptySpan(args[i])))
          return false;
    }
    after = q;
    return true;
  }

  bool compileArguments(const std::vector<std::pair<size_t, size_t>>& args,
                        std::string_view types) {
    for (size_t i = 0; i < args.size(); ++i) {
      if (isEmptySpan(args[i])) {
        u8(ptgMissArg);
        continue;
      }
      TokenClass cls = m_options.arrayContext ? TokenClass::Array : TokenClass::Value;
      if (i < types.size()) {
        if (isReferenceArgument(types[i]))
          cls = TokenClass::Reference;
        else if ((types[i] & ~0x20) == 'Q')
          cls = TokenClass::Array;
      }
      size_t p = args[i].first;
      Compiled c;
      if (!binary(p, args[i].second, 0, cls, c) || skipSpaces(p, args[i].second) != args[i].second)
        return false;
      setClass(c, cls);
    }
    return true;
  }

  // The add-in name's EXTERNSHEET entry and 1-based position, if listed.
  bool addInReference(std::u16string_view name, std::uint16_t& sheet, std::uint16_t& index) const {
    const std::vector<std::u16string>* names = nullptr;
    if (m_ctx.links) {
      names = &m_ctx.links->externNames;
      sheet = 0;
      if (m_biff8) {
        bool found = false;
        for (size_t i = 0; i < m_ctx.links->externSheets.size() && !found; ++i)
          if (m_ctx.links->addInBook >= 0 &&
              m_ctx.links->externSheets[i].book == m_ctx.links->addInBook) {
            sheet = static_cast<std::uint16_t>(i);
            found = true;
          }
        if (!found)
          return false;
      }
    } else {
      if (!m_ctx.book)
        return false;
      names = &m_ctx.book->addInNames;
      sheet = 0;
    }
    for (size_t i = 0; i < names->size() && i < 0xFFFF; ++i) {
      if (platform::equalsIgnoreCase((*names)[i], name)) {
        index = static_cast<std::uint16_t>(i + 1);
        return true;
      }
    }
    return false;
  }

  void nameToken(std::uint16_t index, TokenClass cls) {
    operandToken(ptgName, cls);
    u16(index);
    zeros(m_biff8 ? 2 : 12);
  }

  bool functionCall(const formula::FunctionEntry& f, size_t& p, size_t end, bool prompt,
                    size_t nameLength, TokenClass cls, Compiled& result) {
    std::vector<std::pair<size_t, size_t>> args;
    size_t after = 0;
    if (!callArguments(p + nameLength, end, f.argTypes, true, args, after))
      return false;
    const size_t mark = m_out.tokens.size(), extraMark = m_out.extra.size();
    const int number = formula::functionNumber(f);
    if (formula::isAddIn(f)) {
      std::uint16_t sheet = 0, index = 0;
      if (!addInReference(f.name, sheet, index))
        return false;
      u8(ptgNameX);
      if (m_biff8) {
        u16(sheet);
        u16(index);
        zeros(2);
      } else {
        u16(1);
        zeros(8);
        u16(index);
        zeros(12);
      }
    } else if (formula::isPrefixed(f)) {
      // Called through the hidden global name "_xlfn.<name>", which the
      // formula's scan defined.
      if (!m_ctx.book)
        return false;
      const int name = model::find_name_text(
          *m_ctx.book, std::u16string(formula::kLaterPrefix) + std::u16string(f.name), -1);
      if (name < 0 || name >= 0xFFFF)
        return false;
      nameToken(static_cast<std::uint16_t>(name + 1), TokenClass::Reference);
    }
    if (!enter() || !compileArguments(args, f.argTypes)) {
      leave();
      m_out.tokens.resize(mark);
      m_out.extra.resize(extraMark);
      dropPlacesFrom(mark);
      return false;
    }
    leave();
    if (formula::isAddIn(f) || formula::isPrefixed(f)) {
      result.classAt = operandToken(ptgFuncVar, cls);
      u8(static_cast<std::uint8_t>(args.size() + 1));
      u16(kExternalCallNumber);
    } else if (number == 4 && args.size() == 1) {
      // SUM of one argument is stored as an attribute.
      u8(ptgAttr);
      u8(attrSum);
      u16(0);
      result = Compiled{};
    } else if (f.tokenForm == formula::TokenForm::Fixed && !isCommand(f)) {
      // The fixed form stores no count: absent optional arguments are written
      // as missing so the count matches the function's.
      for (size_t i = args.size(); i < f.argTypes.size(); ++i)
        u8(ptgMissArg);
      result.classAt = operandToken(ptgFunc, cls);
      u16(static_cast<std::uint16_t>(number));
    } else {
      result.classAt = operandToken(ptgFuncVar, cls);
      const bool promptBit = prompt || (!f.name.empty() && f.name.back() == u'?');
      u8(static_cast<std::uint8_t>(args.size() | (promptBit ? 0x80 : 0)));
      u16(static_cast<std::uint16_t>(number));
    }
    p = after;
    return true;
  }

  // A defined name whose definition is a single cell reference names a
  // macro that a formula may call as a function.
  bool isMacroName(const model::DefinedName& name) const {
    std::u16string_view def = name.formula;
    if (!def.empty() && def[0] == u'=')
      def.remove_prefix(1);
    formula::ParsedReference ref;
    return !def.empty() &&
           formula::readA1Reference(def, 0, m_ctx.book, m_sep.list, ref) && ref.end == def.size() &&
           (!ref.hasQualifier || m_ctx.book->sheet(ref.sheet).kind == model::SheetKind::Macro);
  }

  bool macroCall(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    if (!m_ctx.book)
      return false;
    size_t q = p;
    while (q < end && !formula::isIdentifierTerminator(m_t[q], m_sep.list))
      ++q;
    if (q == p || q >= end || m_t[q] != u'(')
      return false;
    const std::u16string_view word = m_t.substr(p, q - p);
    const auto& names = m_ctx.book->names;
    size_t index = names.size();
    for (size_t i = 0; i < names.size() && i < 0xFFFF; ++i)
      if (names[i].name.size() == word.size() && platform::equalsIgnoreCase(names[i].name, word) &&
          isMacroName(names[i])) {
        index = i;
        break;
      }
    if (index == names.size())
      return false;
    std::vector<std::pair<size_t, size_t>> args;
    size_t after = 0;
    if (!callArguments(q, end, {}, false, args, after))
      return false;
    return callThroughName(static_cast<std::uint16_t>(index + 1), args, after, cls, result, p);
  }

  // A call of a function this program lacks (an add-in's, a macro's, a later
  // version's): it goes through the defined name of that text, or through a
  // name no definition holds, as files call such functions.
  bool nameCall(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    if (!m_ctx.book)
      return false;
    size_t q = p;
    while (q < end && !formula::isIdentifierTerminator(m_t[q], m_sep.list) && m_t[q] != u'"' &&
           m_t[q] != u'{' && m_t[q] != u'}')
      ++q;
    if (q == p || q >= end || m_t[q] != u'(')
      return false;
    const std::u16string_view word = m_t.substr(p, q - p);
    // A built-in function comes here only when its arguments do not fit it
    // ("SUM()", "ABS(1,2)"): such a call computes as an unknown one does, and
    // is kept as one.
    if (!isNameSyntax(word))
      return false;
    std::vector<std::pair<size_t, size_t>> args;
    size_t after = 0;
    if (!callArguments(q, end, {}, false, args, after))
      return false;
    int index = model::find_name_text(*m_ctx.book, word, m_ctx.sheet);
    if (index >= 0)
      index = index < 0xFFFF ? index + 1 : -1;
    else if (m_ctx.writeLinks && m_ctx.fileKind == 2)
      index = m_ctx.writeLinks->undefinedName(word);
    if (index <= 0)
      return false;
    return callThroughName(static_cast<std::uint16_t>(index), args, after, cls, result, p);
  }

  // The name's token, the arguments, then the external-call function that
  // takes the name as its first operand.
  bool callThroughName(std::uint16_t nameIndex, const std::vector<std::pair<size_t, size_t>>& args,
                       size_t after, TokenClass cls, Compiled& result, size_t& p) {
    const size_t mark = m_out.tokens.size(), extraMark = m_out.extra.size();
    nameToken(nameIndex, TokenClass::Reference);
    if (!enter() || !compileArguments(args, {})) {
      leave();
      m_out.tokens.resize(mark);
      m_out.extra.resize(extraMark);
      dropPlacesFrom(mark);
      return false;
    }
    leave();
    result.classAt = operandToken(ptgFuncVar, cls);
    u8(static_cast<std::uint8_t>(args.size() + 1));
    u16(kExternalCallNumber);
    p = after;
    return true;
  }

  // A function call, a constant, a macro call, a defined name, a reference,
  // else the word itself as a string.
  bool word(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    const std::u16string_view bounded = m_t.substr(0, end);
    if (const formula::FunctionEntry* f = formula::lookupFunctionAt(bounded, p)) {
      if (functionCall(*f, p, end, false, f->name.size(), cls, result))
        return true;
    } else if (const formula::FunctionEntry* g = promptedCommand(p, end)) {
      if (functionCall(*g, p, end, true, g->name.size() + 1, cls, result))
        return true;
    }
    if (const formula::ConstantEntry* k = formula::lookupConstantAt(bounded, p)) {
      if (k->fileCode == 34 || k->fileCode == 35) {
        u8(ptgBool);
        u8(k->fileCode == 34 ? 1 : 0);
      } else {
        u8(ptgErr);
        // The table keeps the file's error code, negated.
        u8(static_cast<std::uint8_t>(-k->fileCode));
      }
      p += k->name.size();
      return true;
    }
    if (macroCall(p, end, cls, result) || nameCall(p, end, cls, result))
      return true;
    if (m_ctx.book) {
      const model::NameLookup n = model::find_name(*m_ctx.book, bounded, p, m_ctx.sheet);
      if (n.index >= 0 && n.index < 0xFFFF) {
        result.classAt = static_cast<long>(m_out.tokens.size());
        nameToken(static_cast<std::uint16_t>(n.index + 1), cls);
        p = n.end;
        return true;
      }
    }
    if (reference(p, end, cls, result) || qualifiedName(p, end, cls, result))
      return true;
    size_t q = p;
    while (q < end && !formula::isIdentifierTerminator(m_t[q], m_sep.list) && m_t[q] != u'"' &&
           m_t[q] != u'{' && m_t[q] != u'}')
      ++q;
    if (q == p)
      return false;
    const std::u16string_view word = m_t.substr(p, q - p);
    if (m_ctx.writeLinks && m_ctx.fileKind == 2 && isNameSyntax(word)) {
      // A name no definition holds: a hidden name whose definition is #NAME?
      // stands for it, so the formula reads back as it was typed.
      const int index = m_ctx.writeLinks->undefinedName(word);
      if (index > 0) {
        result.classAt = static_cast<long>(m_out.tokens.size());
        nameToken(static_cast<std::uint16_t>(index), cls);
        p = q;
        return true;
      }
    }
    // A word that names nothing is kept as text, so saving never fails.
    emitString(word);
    p = q;
    return true;
  }

  // "Sheet2!Rate": the name local to that sheet, whatever the formula's own.
  bool qualifiedName(size_t& p, size_t end, TokenClass cls, Compiled& result) {
    formula::QualifiedName local;
    if (!formula::readQualifiedName(m_t.substr(0, end), p, m_ctx.book, m_sep.list, local) ||
        local.index >= 0xFFFF)
      return false;
    result.classAt = static_cast<long>(m_out.tokens.size());
    nameToken(static_cast<std::uint16_t>(local.index + 1), cls);
    p = local.end;
    return true;
  }

  // Letters, digits, "_", "." and "?", starting with a letter, "_" or "\".
  static bool isNameSyntax(std::u16string_view word) {
    if (word.empty() || word.size() > 255)
      return false;
    auto letter = [](char16_t c) {
      return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 0x80 || c == u'_';
    };
    if (!letter(word[0]) && word[0] != u'\\')
      return false;
    for (const char16_t c : word.substr(1))
      if (!letter(c) && !isDigit(c) && c != u'.' && c != u'?' && c != u'\\')
        return false;
    return true;
  }

  // "NAME?(" for a command: the command called with its dialog prompt.
  const formula::FunctionEntry* promptedCommand(size_t p, size_t end) const {
    size_t q = p;
    while (q < end && !formula::isIdentifierTerminator(m_t[q], m_sep.list) && m_t[q] != u'?')
      ++q;
    if (q == p || q + 1 >= end || m_t[q] != u'?' || m_t[q + 1] != u'(')
      return nullptr;
    const formula::FunctionEntry* f = formula::findFunction(m_t.substr(p, q - p));
    return f && isCommand(*f) ? f : nullptr;
  }

  // Tokens taken back take their references' places with them.
  void dropPlacesFrom(size_t mark) {
    if (!m_places)
      return;
    while (!m_places->empty() && m_places->back().tokenAt > mark)
      m_places->pop_back();
  }

  std::u16string_view m_t;
  const TokenContext& m_ctx;
  const WriteOptions& m_options;
  TokenArray& m_out;
  bool m_biff8;
  Separators m_sep;
  int m_depth = 0;

public:
  std::vector<PlacedReference>* m_places = nullptr;
};

} // namespace

bool tokensToFormulaText(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> extra,
                         std::uint16_t row, std::uint8_t column, const TokenContext& ctx,
                         std::u16string& text) {
  TokenReader reader(tokens, extra, row, column, ctx);
  return reader.run(text);
}

bool tokensToFormulaText(std::span<const std::uint8_t> tokens, std::span<const std::uint8_t> extra,
                         std::uint16_t row, std::uint8_t column, const TokenContext& ctx, std::u16string& text,
                         std::vector<ReadReference>& refs, bool& plain) {
  refs.clear();
  TokenReader reader(tokens, extra, row, column, ctx);
  reader.m_refs = &refs;
  const bool ok = reader.run(text);
  plain = reader.m_plain;
  return ok;
}

bool formulaTextToTokens(std::u16string_view text, const TokenContext& ctx,
                         const WriteOptions& options, TokenArray& out) {
  out.tokens.clear();
  out.extra.clear();
  TokenWriter writer(text, ctx, options, out);
  writer.run();
  return out.tokens.size() <= 0xFFFF && out.extra.size() <= 0xFFFF;
}

bool formulaTextToTokens(std::u16string_view text, const TokenContext& ctx, const WriteOptions& options,
                         TokenArray& out, std::vector<PlacedReference>& places) {
  out.tokens.clear();
  out.extra.clear();
  places.clear();
  TokenWriter writer(text, ctx, options, out);
  writer.m_places = &places;
  writer.run();
  return out.tokens.size() <= 0xFFFF && out.extra.size() <= 0xFFFF;
}

} // namespace biff
