#include "fileformats/text/delimited_text.h"

#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/display_text.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "platform/files.h"
#include "platform/code_page.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <string>

namespace textfile {
namespace {


void showInvalidData() {
  platform::ui().messageBox(kMessageInvalidData, std::nullopt, platform::MessageButtons::Ok,
                            platform::MessageIcon::None);
}

char16_t listSeparatorOf(const DelimitedOptions& options) {
  if (options.listSeparator)
    return options.listSeparator;
  const std::u16string& s = platform::localeStrings().listSeparator;
  return s.empty() ? u',' : s[0];
}

char16_t fieldSeparatorOf(DelimitedKind kind, const DelimitedOptions& options) {
  if (options.separator)
    return options.separator;
  return kind == DelimitedKind::Tab ? u'\t' : listSeparatorOf(options);
}

int codePageOf(const DelimitedOptions& options) {
  return options.codePage ? options.codePage : platform::systemAnsiCodePage();
}

// Lead bytes of the double-byte ANSI code pages; the byte after one belongs
// to the same character whatever its value.
bool isLeadByte(int codePage, unsigned b) {
  switch (codePage) {
  case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  case 936:
  case 949:
  case 950: return b >= 0x81 && b <= 0xFE;
  default: return false;
  }
}

enum class Encoding { Ansi, Utf8 };

// Strict UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
// `nonAscii` tells whether any byte was above 0x7F.
bool isValidUtf8(std::string_view s, bool& nonAscii) {
  nonAscii = false;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* const end = p + s.size();
  while (p < end) {
    // ASCII runs are the bulk of most files: eight bytes at a time.
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      if (word & 0x8080808080808080ull)
        break;
      p += 8;
    }
    if (p >= end)
      break;
    const unsigned b = *p;
    if (b < 0x80) {
      ++p;
      continue;
    }
    nonAscii = true;
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF; // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0)
        low = 0xA0; // shorter forms would do
      else if (b == 0xED)
        high = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0)
        low = 0x90;
      else if (b == 0xF4)
        high = 0x8F; // past U+10FFFF
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) < length || p[1] < low || p[1] > high)
      return false;
    for (size_t i = 2; i < length; ++i)
      if (p[i] < 0x80 || p[i] > 0xBF)
        return false;
    p += length;
  }
  return true;
}

// UTF-16 or UTF-32 text (after its byte-order mark) as UTF-8, which the
// importer parses like any UTF-8 file: every byte that matters to the syntax
// is ASCII. Units that are no character become U+FFFD. Throws std::bad_alloc.
std::string wideToUtf8(std::string_view in, size_t unitBytes, bool little) {
  std::u16string wide;
  wide.reserve(in.size() / unitBytes + 1);
  for (size_t i = 0; i + unitBytes <= in.size(); i += unitBytes) {
    std::uint32_t unit = 0;
    for (size_t k = 0; k < unitBytes; ++k) {
      const auto byte = static_cast<std::uint8_t>(in[i + (little ? unitBytes - 1 - k : k)]);
      unit = unit << 8 | byte;
    }
    if (unitBytes == 2) {
      wide += static_cast<char16_t>(unit);
    } else if (unit >= 0x10000 && unit <= 0x10FFFF) {
      wide += static_cast<char16_t>(0xD800 + ((unit - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((unit - 0x10000) & 0x3FF));
    } else {
      wide += (unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF ? u'\xFFFD'
                                                                    : static_cast<char16_t>(unit);
    }
  }
  return platform::toUtf8(wide);
}

struct ByteOrderMark {
  std::string_view bytes;
  size_t unitBytes; // 1 for UTF-8
  bool little;
};
// UTF-32 LE first: its mark begins with UTF-16 LE's.
constexpr ByteOrderMark kMarks[] = {
    {std::string_view("\xFF\xFE\0\0", 4), 4, true},
    {std::string_view("\0\0\xFE\xFF", 4), 4, false},
    {"\xEF\xBB\xBF", 1, false},
    {"\xFF\xFE", 2, true},
    {"\xFE\xFF", 2, false},
};

// Whether the import would take these bytes for anything but the code page.
bool readsAsUnicode(std::string_view bytes) {
  for (const ByteOrderMark& m : kMarks)
    if (bytes.starts_with(m.bytes))
      return true;
  bool nonAscii = false;
  return isValidUtf8(bytes, nonAscii) && nonAscii;
}

// The file's encoding. A byte-order mark decides, and is dropped; UTF-16 and
// UTF-32 files are turned into UTF-8 in `converted`, which `in` then views.
// Without a mark, bytes that are valid UTF-8 and hold characters beyond ASCII
// are UTF-8 (most text files on Linux are), anything else is in the ANSI code
// page. Throws std::bad_alloc.
Encoding detectEncoding(std::string_view& in, std::string& converted) {
  for (const ByteOrderMark& m : kMarks) {
    if (!in.starts_with(m.bytes))
      continue;
    in.remove_prefix(m.bytes.size());
    if (m.unitBytes > 1) {
      converted = wideToUtf8(in, m.unitBytes, m.little);
      in = converted;
    }
    return Encoding::Utf8;
  }
  return readsAsUnicode(in) ? Encoding::Utf8 : Encoding::Ansi;
}

class Importer {
public:
  Importer(model::Workbook& book, int sheet, DelimitedKind kind, const DelimitedOptions& options,
           Encoding encoding)
      : m_book(book), m_sheet(sheet), m_encoding(encoding) {
    m_codePage = codePageOf(options);
    const char16_t sep = fieldSeparatorOf(kind, options);
    m_separator = static_cast<std::uint8_t>(sep & 0xFF);
    m_textOptions.date1904 = book.date1904 != 0;
    for (unsigned b = 0; b < 256; ++b) {
      m_lead[b] = encoding == Encoding::Ansi && isLeadByte(m_codePage, b);
      m_single[b] = static_cast<char16_t>(b);
    }
    if (encoding == Encoding::Ansi && !isLeadByte(m_codePage, 0x81) &&
        platform::isSupportedCodePage(m_codePage)) {
      for (unsigned b = 0x80; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        std::u16string one;
        if (platform::toUtf16(m_codePage, std::string_view(&byte, 1), one) && one.size() == 1)
          m_single[b] = one[0];
      }
      m_singleByteTable = true;
    }
    m_formatCache.fill(-1);
    if (m_book.cellFormats.size() > model::kDefaultCellFormat)
      m_base = m_book.cellFormats[model::kDefaultCellFormat];
  }

  // False on malformed input (message shown) or when memory ran out.
  bool run(std::string_view in) {
    const size_t n = in.size();
    size_t p = 0;
    int row = 0;
    while (p < n) {
      int column = 0;
      for (;;) {
        // One field starting at p.
        m_raw.clear();
        if (p < n && in[p] == '"') {
          ++p;
          for (;;) {
            if (p >= n)
              return fail();
            const char c = in[p];
            if (c == '"') {
              if (p + 1 < n && in[p + 1] == '"') {
                m_raw += '"';
                p += 2;
                continue;
              }
              ++p;
              break;
            }
            if (c == '\r') {
              // Inside a cell a line break is one line feed, however the file wrote it.
              if (!(p + 1 < n && in[p + 1] == '\n'))
                m_raw += '\n';
              ++p;
              continue;
            }
            p = takeChar(in, p);
          }
        }
        // Unquoted text, or what follows a closing quote, runs to the separator or line end.
        while (p < n) {
          const auto c = static_cast<std::uint8_t>(in[p]);
          if (c == m_separator || c == '\r' || c == '\n')
            break;
          if (c == '"')
            return fail();
          p = takeChar(in, p);
        }
        if (!m_raw.empty() && !store(row, column))
          return false;
        if (p < n && static_cast<std::uint8_t>(in[p]) == m_separator) {
          ++p;
          if (++column >= kMaxFields)
            return fail();
          continue;
        }
        break;
      }
      if (p >= n)
        break;
      // A line end: CR LF, CR or LF.
      if (in[p] == '\r' && p + 1 < n && in[p + 1] == '\n')
        ++p;
      ++p;
      if (row >= kMaxLines - 1) {
        // A full sheet we wrote ends its last row with a line end too: only
        // a further line with something in it is more than the sheet holds.
        while (p < n && (in[p] == '\r' || in[p] == '\n'))
          ++p;
        return p >= n || fail();
      }
      ++row;
    }
    return true;
  }

  bool sawLineFeed() const { return m_sawLineFeed; }
  int lastRow() const { return m_lastRow; }

private:
  bool fail() {
    showInvalidData();
    return false;
  }

  size_t takeChar(std::string_view in, size_t p) {
    const auto c = static_cast<std::uint8_t>(in[p]);
    m_raw += in[p];
    if (m_lead[c] && p + 1 < in.size()) {
      m_raw += in[p + 1];
      return p + 2;
    }
    return p + 1;
  }

  void decodeField() {
    m_text.clear();
    bool ascii = true;
    for (char c : m_raw)
      if (static_cast<std::uint8_t>(c) >= 0x80) {
        ascii = false;
        break;
      }
    if (ascii || m_singleByteTable) {
      m_text.resize(m_raw.size());
      for (size_t i = 0; i < m_raw.size(); ++i)
        m_text[i] = m_single[static_cast<std::uint8_t>(m_raw[i])];
      return;
    }
    if (m_encoding == Encoding::Utf8) {
      m_text = platform::fromUtf8(m_raw);
      return;
    }
    if (!platform::toUtf16(m_codePage, m_raw, m_text)) {
      m_text.resize(m_raw.size());
      for (size_t i = 0; i < m_raw.size(); ++i)
        m_text[i] = m_single[static_cast<std::uint8_t>(m_raw[i])];
    }
  }

  std::uint16_t cellFormatFor(std::uint16_t numberFormat, bool wrap) {
    if (numberFormat == 0 && !wrap)
      return model::kDefaultCellFormat;
    const size_t key = (numberFormat & 63u) * 2 + (wrap ? 1 : 0);
    if (numberFormat < 64 && m_formatCache[key] >= 0)
      return static_cast<std::uint16_t>(m_formatCache[key]);
    model::CellFormat f = m_base;
    f.numberFormatIndex = numberFormat;
    if (wrap)
      f.flags |= model::kFormatWrapText;
    int index = -1;
    for (size_t i = 0; i < m_book.cellFormats.size(); ++i)
      if (m_book.cellFormats[i] == f) {
        index = static_cast<int>(i);
        break;
      }
    if (index < 0) {
      m_book.cellFormats.push_back(f); // may throw; the caller catches
      index = static_cast<int>(m_book.cellFormats.size() - 1);
    }
    if (numberFormat < 64)
      m_formatCache[key] = index;
    return static_cast<std::uint16_t>(index);
  }

  bool store(int row, int column) {
    return platform::withAllocation([&] {
      decodeField();
      const formula::Classification k = formula::classifyText(m_text, m_textOptions);
      std::uint16_t numberFormat = 0;
      bool wrap = false;
      if (k.kind == formula::TextClass::Number) {
        numberFormat = formula::numberFormatForHint(k.hint);
      } else if (k.kind == formula::TextClass::Text &&
                 m_text.find(u'\n') != std::u16string::npos) {
        wrap = true;
        m_sawLineFeed = true;
      }
      model::Sheet& s = m_book.sheet(m_sheet);
      model::CellRecord* cell =
          model::append_cell(s.cells, static_cast<std::uint16_t>(row),
                             static_cast<std::uint8_t>(column), m_text,
                             cellFormatFor(numberFormat, wrap));
      if (k.kind == formula::TextClass::Formula) {
        formula::scanCell(m_book, m_sheet, *cell);
      } else {
        cell->value = k.value;
        cell->calcState = model::CalcState::ValueValid;
      }
      m_lastRow = row;
    });
  }

  model::Workbook& m_book;
  int m_sheet;
  Encoding m_encoding;
  int m_codePage = 1252;
  std::uint8_t m_separator = ',';
  formula::TextOptions m_textOptions;
  std::array<bool, 256> m_lead{};
  std::array<char16_t, 256> m_single{};
  bool m_singleByteTable = false;
  std::array<int, 128> m_formatCache{};
  model::CellFormat m_base;
  std::string m_raw;
  std::u16string m_text;
  bool m_sawLineFeed = false;
  int m_lastRow = -1;
};

// Writes the active sheet's texts in one encoding: the ANSI code page, or
// UTF-8 for a file that begins with a byte-order mark.
class Exporter {
public:
  Exporter(model::Workbook& book, DelimitedKind kind, const DelimitedOptions& options, bool utf8)
      : m_book(book), m_utf8(utf8), m_csv(kind == DelimitedKind::Csv) {
    m_codePage = codePageOf(options);
    m_supported = platform::isSupportedCodePage(m_codePage);
    m_listSeparator = listSeparatorOf(options);
    m_separator = static_cast<char>(fieldSeparatorOf(kind, options) & 0xFF);
  }

  // False, leaving `out` partly written, when a text holds a character the
  // code page cannot represent. Throws std::bad_alloc.
  bool run(std::string& out) {
    out.clear();
    if (m_book.sheets.empty())
      return true;
    const int sheetIndex = m_book.activeSheet;
    model::Sheet& sheet = m_book.sheet(sheetIndex);
    if (!sheet.hasGrid())
      return true;
    int maxRow = -1;
    int maxColumn = -1;
    sheet.cells.forEach([&](model::CellRecord& c) {
      if (c.input.isNull() || c.input.size() == 0)
        return;
      maxRow = std::max<int>(maxRow, c.row);
      maxColumn = std::max<int>(maxColumn, c.column);
    });
    if (maxRow < 0)
      return true;
    // Room for a typical file at once: growing a string of megabytes step by
    // step copies it over and over. Pages not written are never touched.
    out.reserve(sheet.cells.count() * 12 + static_cast<size_t>(maxRow + 1) * (maxColumn + 3));
    if (m_utf8)
      out = "\xEF\xBB\xBF";
    const bool showFormulas = (sheet.flags & model::kSheetShowFormulas) != 0;

    int row = 0;
    int column = 0; // fields written so far on the current row, empty ones included
    auto endRow = [&] {
      if (m_csv)
        out.append(static_cast<size_t>(maxColumn + 1 - std::max(column, 1)), m_separator);
      out += "\r\n";
      ++row;
      column = 0;
    };
    bool encodable = true;
    sheet.cells.forEach([&](model::CellRecord& c) {
      if (!encodable || c.input.isNull() || c.input.size() == 0)
        return;
      while (row < c.row)
        endRow();
      out.append(static_cast<size_t>(c.column - column + (column > 0 ? 1 : 0)), m_separator);
      column = c.column + 1;
      const std::u16string_view text =
          showFormulas ? c.input.view() : model::cell_plain_text(m_book, sheetIndex, c);
      encodable = field(out, text);
    });
    if (!encodable)
      return false;
    while (row <= maxRow)
      endRow();
    return true;
  }

private:
  // One field: quoted when it holds the list separator, the field separator
  // itself (a tab inside a cell would otherwise split it in two when a .txt
  // file is read back), a quote, CR or LF.
  bool field(std::string& out, std::u16string_view text) {
    bool ascii = true;
    bool quote = false;
    for (const char16_t c : text) {
      ascii = ascii && c < 0x80;
      quote = quote || c == m_listSeparator || c == static_cast<unsigned char>(m_separator) ||
              c == u'"' || c == u'\r' || c == u'\n';
    }
    if (!quote)
      return ascii ? appendAscii(out, text), true : appendEncoded(out, text);
    out += '"';
    size_t from = 0;
    for (size_t q = text.find(u'"'); q != std::u16string_view::npos; q = text.find(u'"', q + 1)) {
      if (!appendEncoded(out, text.substr(from, q + 1 - from)))
        return false;
      out += '"';
      from = q + 1;
    }
    if (!appendEncoded(out, text.substr(from)))
      return false;
    out += '"';
    return true;
  }

  static void appendAscii(std::string& out, std::u16string_view text) {
    char chunk[256];
    while (!text.empty()) {
      const size_t n = std::min(text.size(), sizeof chunk);
      for (size_t i = 0; i < n; ++i)
        chunk[i] = static_cast<char>(text[i]);
      out.append(chunk, n);
      text.remove_prefix(n);
    }
  }

  bool appendEncoded(std::string& out, std::u16string_view text) {
    if (m_utf8) {
      appendUtf8(out, text);
      return true;
    }
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; })) {
      appendAscii(out, text);
      return true;
    }
    if (!m_supported) {
      // Read back byte for byte as the characters with the same numbers.
      for (const char16_t c : text) {
        if (c >= 0x100)
          return false;
        out += static_cast<char>(c);
      }
      return true;
    }
    // The converter writes "?" for what the code page lacks (and some pages
    // map a character to a look-alike): only what reads back the same will do.
    if (!platform::fromUtf16(m_codePage, text, m_bytes) ||
        !platform::toUtf16(m_codePage, m_bytes, m_back) || m_back != text)
      return false;
    out += m_bytes;
    return true;
  }

  // An unpaired surrogate has no UTF-8 form: it becomes U+FFFD.
  static void appendUtf8(std::string& out, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
      std::uint32_t cp = text[i];
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
        ++i;
      } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        cp = 0xFFFD;
      }
      if (cp < 0x80) {
        out += static_cast<char>(cp);
      } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
      } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
      }
    }
  }

  model::Workbook& m_book;
  bool m_utf8;
  bool m_csv;
  int m_codePage = 1252;
  bool m_supported = false;
  char16_t m_listSeparator = u',';
  char m_separator = ',';
  std::string m_bytes;
  std::u16string m_back;
};

} // namespace

std::u16string sheetNameForFile(std::u16string_view path) {
  std::u16string_view name = model::fileNamePart(path);
  if (const size_t dot = name.rfind(u'.'); dot != std::u16string_view::npos && dot > 0)
    name = name.substr(0, dot);
  std::u16string out;
  for (char16_t c : name) {
    if (out.size() >= static_cast<size_t>(model::kMaxSheetNameLength))
      break;
    const bool bad = c == u'*' || c == u'/' || c == u':' || c == u'?' || c == u'\\' ||
                     c == u'[' || c == u']' || c < 0x20;
    out += bad ? u'_' : c;
  }
  // A high surrogate cut from its partner would make the name invalid text.
  if (!out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF)
    out.pop_back();
  return out;
}

bool importDelimitedText(std::span<const std::uint8_t> bytes, DelimitedKind kind,
                         model::Workbook& book, std::u16string_view sheetName,
                         const DelimitedOptions& options) {
  const size_t sheetsBefore = book.sheets.size();
  const size_t formatsBefore = book.cellFormats.size();
  auto undo = [&] {
    while (book.sheets.size() > sheetsBefore)
      book.sheets.pop_back();
    book.cellFormats.resize(formatsBefore);
    book.activeSheet = 0;
  };

  std::optional<std::u16string_view> name;
  if (!sheetName.empty() && model::checkSheetName(book, sheetName, -1).empty())
    name = sheetName;
  if (!model::insert_sheet(book, static_cast<int>(sheetsBefore), name,
                           model::SheetKind::Worksheet, false)) {
    undo();
    return false;
  }
  const int sheet = static_cast<int>(sheetsBefore);

  std::string_view in(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  Encoding encoding = Encoding::Ansi;
  std::string converted;
  if (options.detectEncoding) {
    const bool ok = platform::withAllocation([&] { encoding = detectEncoding(in, converted); });
    if (!ok) {
      undo();
      return false;
    }
  }

  Importer importer(book, sheet, kind, options, encoding);
  if (!importer.run(in)) {
    undo();
    return false;
  }
  if (importer.sawLineFeed())
    model::fitRowHeights(book, sheet, 0, static_cast<std::uint16_t>(importer.lastRow()));
  book.activeSheet = sheet;
  return true;
}

std::string exportDelimitedText(model::Workbook& book, DelimitedKind kind,
                                const DelimitedOptions& options, bool* unrepresentable) {
  std::string out;
  const bool encodable = Exporter(book, kind, options, false).run(out);
  // Code-page bytes that happen to begin like a byte-order mark or to be
  // valid UTF-8 would be read back in another encoding, so such a file is
  // written in UTF-8 too: what is written reads back.
  if (!encodable || readsAsUnicode(out))
    (void)Exporter(book, kind, options, true).run(out);
  if (unrepresentable)
    *unrepresentable = !encodable;
  return out;
}

bool saveDelimitedText(model::Workbook& book, const std::u16string& path, DelimitedKind kind,
                       const DelimitedOptions& options) {
  std::string bytes;
  bool unrepresentable = false;
  if (!platform::withAllocation(
          [&] { bytes = exportDelimitedText(book, kind, options, &unrepresentable); }) ||
      !platform::replaceFileAtomically(
          path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())))
    return false;
  if (unrepresentable)
    platform::ui().messageBox(kMessageSavedAsUtf8, std::nullopt, platform::MessageButtons::Ok,
                              platform::MessageIcon::Information);
  return true;
}

} // namespace textfile
