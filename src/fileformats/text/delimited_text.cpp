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

#include <array>
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
      if (row >= kMaxLines - 1)
        return fail();
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

void appendEncoded(std::string& out, std::u16string_view text, int codePage) {
  bool ascii = true;
  for (char16_t c : text)
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) {
    for (char16_t c : text)
      out += static_cast<char>(c);
    return;
  }
  std::string bytes;
  if (platform::fromUtf16(codePage, text, bytes)) {
    out += bytes;
    return;
  }
  for (char16_t c : text)
    out += c < 0x100 ? static_cast<char>(c) : '?';
}

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
  if (options.honourByteOrderMark) {
    if (in.size() >= 3 && in.substr(0, 3) == "\xEF\xBB\xBF") {
      in.remove_prefix(3);
      encoding = Encoding::Utf8;
    } else if (in.size() >= 2 && (in.substr(0, 2) == "\xFF\xFE" || in.substr(0, 2) == "\xFE\xFF")) {
      // UTF-16 is parsed as UTF-8: every byte that matters to the syntax is ASCII.
      const bool little = in[0] == '\xFF';
      const bool ok = platform::withAllocation([&] {
        std::u16string wide;
        wide.reserve(in.size() / 2);
        for (size_t i = 2; i + 1 < in.size(); i += 2) {
          const auto a = static_cast<std::uint8_t>(in[i]);
          const auto b = static_cast<std::uint8_t>(in[i + 1]);
          wide += static_cast<char16_t>(little ? a | b << 8 : b | a << 8);
        }
        converted = platform::toUtf8(wide);
      });
      if (!ok) {
        undo();
        return false;
      }
      in = converted;
      encoding = Encoding::Utf8;
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
                                const DelimitedOptions& options) {
  std::string out;
  if (book.sheets.empty())
    return out;
  const int sheetIndex = book.activeSheet;
  model::Sheet& sheet = book.sheet(sheetIndex);
  if (!sheet.hasGrid())
    return out;

  int maxRow = -1;
  int maxColumn = -1;
  sheet.cells.forEach([&](model::CellRecord& c) {
    if (c.input.isNull() || c.input.size() == 0)
      return;
    maxRow = std::max<int>(maxRow, c.row);
    maxColumn = std::max<int>(maxColumn, c.column);
  });
  if (maxRow < 0)
    return out;

  const int codePage = codePageOf(options);
  const char16_t listSeparator = listSeparatorOf(options);
  const char separator = static_cast<char>(fieldSeparatorOf(kind, options) & 0xFF);
  const bool csv = kind == DelimitedKind::Csv;
  const bool showFormulas = (sheet.flags & model::kSheetShowFormulas) != 0;

  int row = 0;
  int column = 0; // fields written so far on the current row, empty ones included
  auto endRow = [&] {
    if (csv)
      out.append(static_cast<size_t>(maxColumn + 1 - std::max(column, 1)), separator);
    out += "\r\n";
    ++row;
    column = 0;
  };
  std::u16string text;
  sheet.cells.forEach([&](model::CellRecord& c) {
    if (c.input.isNull() || c.input.size() == 0)
      return;
    while (row < c.row)
      endRow();
    out.append(static_cast<size_t>(c.column - column + (column > 0 ? 1 : 0)), separator);
    column = c.column + 1;
    if (showFormulas)
      text.assign(c.input.view());
    else
      text.assign(model::cell_display_text(book, sheetIndex, c, -1));
    // The field separator itself is quoted too: a tab inside a cell would
    // otherwise split it in two when a .txt file is read back.
    const bool quote =
        text.find_first_of(std::u16string{listSeparator, static_cast<unsigned char>(separator), u'"',
                                          u'\r', u'\n'}) != std::u16string::npos;
    if (!quote) {
      appendEncoded(out, text, codePage);
      return;
    }
    out += '"';
    size_t from = 0;
    for (size_t q = text.find(u'"'); q != std::u16string::npos; q = text.find(u'"', q + 1)) {
      appendEncoded(out, std::u16string_view(text).substr(from, q + 1 - from), codePage);
      out += '"';
      from = q + 1;
    }
    appendEncoded(out, std::u16string_view(text).substr(from), codePage);
    out += '"';
  });
  while (row <= maxRow)
    endRow();
  return out;
}

} // namespace textfile
