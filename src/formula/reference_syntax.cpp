#include "formula/reference_syntax.h"

#include "formula/moved_copy.h"
#include "model/workbook.h"

#include <algorithm>

namespace formula {

namespace {

bool isAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The characters that may stand right after a reference.
bool endsReference(std::u16string_view text, size_t pos, char16_t listSeparator) {
  if (pos >= text.size())
    return true;
  const char16_t c = text[pos];
  return isIdentifierTerminator(c, listSeparator) || c == u')' || c == u'}' || c == u';';
}

// A plain sheet name runs up to "!"; quotes, braces and terminators cannot be
// part of it, so "(Sheet1!A1)" never takes the parenthesis for the name.
bool isPlainSheetNameChar(char16_t c, char16_t listSeparator) {
  return !isIdentifierTerminator(c, listSeparator) && c != u'!' && c != u'\'' && c != u'"' &&
         c != u'{' && c != u'}' && c != u';';
}

// Reads one sheet name at `pos`, plain (up to a character no plain name
// holds) or in single quotes with doubled quotes undoubled. False when a
// quote is not closed or a plain name is empty.
bool readSheetName(std::u16string_view text, size_t pos, char16_t listSeparator,
                   std::u16string &name, bool &quoted, size_t &next) {
  const size_t n = text.size();
  name.clear();
  quoted = pos < n && text[pos] == u'\'';
  size_t i = pos;
  if (quoted) {
    for (++i;; ++i) {
      if (i >= n)
        return false;
      if (text[i] == u'\'') {
        if (i + 1 < n && text[i + 1] == u'\'') {
          name.push_back(u'\'');
          ++i;
          continue;
        }
        ++i;
        break;
      }
      name.push_back(text[i]);
    }
  } else {
    while (i < n && isPlainSheetNameChar(text[i], listSeparator))
      ++i;
    if (i == pos)
      return false;
    name.assign(text.substr(pos, i - pos));
  }
  next = i;
  return true;
}

} // namespace

bool readSheetQualifierNames(std::u16string_view text, size_t pos, char16_t listSeparator,
                             bool sheetRanges, SheetQualifierNames &out, bool &malformed) {
  malformed = false;
  const size_t n = text.size();
  size_t i = pos;
  if (!readSheetName(text, pos, listSeparator, out.first, out.quoted, i)) {
    malformed = pos < n && text[pos] == u'\'';
    return false;
  }
  out.last.clear();
  out.isRange = false;
  if (sheetRanges && i < n && text[i] == u':') {
    // "First:Last!", "'First':'Last'!" or either name quoted alone.
    std::u16string last;
    bool lastQuoted = false;
    size_t j = i + 1;
    if (readSheetName(text, i + 1, listSeparator, last, lastQuoted, j) && j < n &&
        text[j] == u'!') {
      out.last = std::move(last);
      out.isRange = true;
      out.quoted = out.quoted || lastQuoted;
      i = j;
    }
  }
  if (i >= n || text[i] != u'!') {
    malformed = out.quoted;
    return false;
  }
  // One quoted name holding both: "'First:Last'!" (a sheet name cannot hold ":").
  if (const size_t colon = out.first.find(u':');
      sheetRanges && !out.isRange && colon != std::u16string::npos) {
    out.last = out.first.substr(colon + 1);
    out.first.resize(colon);
    out.isRange = true;
  }
  out.next = i + 1;
  return true;
}

namespace {

// Reads "Name!" or "'Name'!" at `pos`. Returns false when there is no
// qualifier there; sets `failed` when there is one but it names no sheet, since
// the text is then no reference at all.
bool readQualifier(std::u16string_view text, size_t pos, const model::Workbook *book,
                   char16_t listSeparator, ParsedReference &out, size_t &next, bool &failed,
                   bool sheetRanges = false) {
  SheetQualifierNames names;
  if (!readSheetQualifierNames(text, pos, listSeparator, sheetRanges, names, failed))
    return false;
  const int sheet = book ? model::find_sheet(*book, names.first) : -1;
  const int last = names.isRange && book ? model::find_sheet(*book, names.last) : -1;
  if (sheet < 0 || (names.isRange && last < 0)) {
    failed = true;
    return false;
  }
  out.lastSheet = last;
  out.lastSheetName = std::move(names.last);
  out.sheet = sheet;
  out.hasQualifier = true;
  out.quotedSheet = names.quoted;
  out.sheetName = std::move(names.first);
  next = names.next;
  return true;
}

// Reads "$A$1" style cells. Accumulation stops growing past the limits, so a
// long run of letters or digits cannot overflow and simply fails the range check.
bool readA1Cell(std::u16string_view text, size_t pos, RefCorner &corner, size_t &next) {
  const size_t n = text.size();
  size_t i = pos;
  corner = RefCorner{};
  if (i < n && text[i] == u'$') {
    corner.columnAbsolute = true;
    ++i;
  }
  int column = 0;
  const size_t lettersStart = i;
  while (i < n && isAsciiLetter(text[i])) {
    const int letter = (text[i] | 0x20) - u'a' + 1;
    if (column <= model::kColumnCount)
      column = column * 26 + letter;
    ++i;
  }
  if (i == lettersStart || column > model::kColumnCount)
    return false;
  if (i < n && text[i] == u'$') {
    corner.rowAbsolute = true;
    ++i;
  }
  long row = 0;
  const size_t digitsStart = i;
  while (i < n && isDigit(text[i])) {
    if (row <= model::kRowCount)
      row = row * 10 + (text[i] - u'0');
    ++i;
  }
  if (i == digitsStart || row < 1 || row > model::kRowCount)
    return false;
  corner.column = column - 1;
  corner.row = static_cast<int>(row - 1);
  next = i;
  return true;
}

// One R1C1 part after its "R" or "C": a 1-based number (absolute), a
// bracketed offset from the base (relative), or nothing (the base itself).
bool readR1C1Part(std::u16string_view text, size_t &i, int base, int limit, int &value,
                  bool &absolute) {
  const size_t n = text.size();
  // Anything beyond this cannot be on the grid and must not overflow.
  constexpr long kCap = 1000000;
  if (i < n && text[i] == u'[') {
    ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
      negative = text[i] == u'-';
      ++i;
    }
    long offset = 0;
    const size_t digitsStart = i;
    while (i < n && isDigit(text[i])) {
      if (offset <= kCap)
        offset = offset * 10 + (text[i] - u'0');
      ++i;
    }
    if (i == digitsStart || i >= n || text[i] != u']')
      return false;
    ++i;
    const long v = static_cast<long>(base) + (negative ? -offset : offset);
    if (v < 0 || v > limit)
      return false;
    value = static_cast<int>(v);
    absolute = false;
    return true;
  }
  long number = 0;
  const size_t digitsStart = i;
  while (i < n && isDigit(text[i])) {
    if (number <= kCap)
      number = number * 10 + (text[i] - u'0');
    ++i;
  }
  if (i == digitsStart) {
    if (base < 0 || base > limit)
      return false;
    value = base;
    absolute = false;
    return true;
  }
  if (number < 1 || number > static_cast<long>(limit) + 1)
    return false;
  value = static_cast<int>(number - 1);
  absolute = true;
  return true;
}

bool readR1C1Cell(std::u16string_view text, size_t pos, int baseRow, int baseColumn,
                  RefCorner &corner, size_t &next) {
  size_t i = pos;
  if (i >= text.size() || (text[i] | 0x20) != u'r')
    return false;
  ++i;
  if (!readR1C1Part(text, i, baseRow, model::kMaxRow, corner.row, corner.rowAbsolute))
    return false;
  if (i >= text.size() || (text[i] | 0x20) != u'c')
    return false;
  ++i;
  if (!readR1C1Part(text, i, baseColumn, model::kMaxColumn, corner.column, corner.columnAbsolute))
    return false;
  next = i;
  return true;
}

} // namespace

model::CellRange ParsedReference::range() const {
  auto clampRow = [](int r) {
    return static_cast<std::uint16_t>(std::clamp(r, 0, model::kMaxRow));
  };
  auto clampColumn = [](int c) {
    return static_cast<std::uint8_t>(std::clamp(c, 0, model::kMaxColumn));
  };
  model::CellRange r;
  r.firstRow = clampRow(std::min(first.row, last.row));
  r.lastRow = clampRow(std::max(first.row, last.row));
  r.firstColumn = clampColumn(std::min(first.column, last.column));
  r.lastColumn = clampColumn(std::max(first.column, last.column));
  return r;
}

bool isIdentifierTerminator(char16_t c, char16_t listSeparator) {
  switch (c) {
  case u' ':
  case u'%':
  case u'&':
  case u'(':
  case u')':
  case u'*':
  case u'+':
  case u',':
  case u'-':
  case u'/':
  case u':':
  case u'<':
  case u'=':
  case u'>':
  case u'^':
    return true;
  default:
    return c == listSeparator;
  }
}

namespace {

bool readA1(std::u16string_view text, size_t pos, const model::Workbook *book, char16_t listSeparator,
            ParsedReference &out, bool sheetRanges) {
  if (pos >= text.size())
    return false;
  out = ParsedReference{};
  out.begin = pos;
  size_t i = pos;
  bool failed = false;
  if (!readQualifier(text, pos, book, listSeparator, out, i, failed, sheetRanges) && failed) {
    // "A1:Sheet2!B1" is no range of sheets but a cell, ":" and a reference.
    if (!sheetRanges || !readA1(text, pos, book, listSeparator, out, false))
      return false;
    return true;
  }
  if (!readA1Cell(text, i, out.first, i))
    return false;
  out.last = out.first;
  const size_t n = text.size();
  if (i < n && text[i] == u':') {
    size_t j = i;
    RefCorner second;
    // "A1:junk" is still the cell A1 followed by the range operator.
    if (readA1Cell(text, i + 1, second, j) && endsReference(text, j, listSeparator)) {
      out.last = second;
      out.isArea = true;
      i = j;
    }
  } else if (i + 1 < n && text[i] == u'.' && text[i + 1] == u'.') {
    if (!readA1Cell(text, i + 2, out.last, i))
      return false;
    out.isArea = true;
  }
  if (!endsReference(text, i, listSeparator))
    return false;
  out.end = i;
  return true;
}

} // namespace

bool readA1Reference(std::u16string_view text, size_t pos, const model::Workbook *book,
                     char16_t listSeparator, ParsedReference &out) {
  return readA1(text, pos, book, listSeparator, out, false);
}

bool readA1ReferenceOrSheetRange(std::u16string_view text, size_t pos, const model::Workbook *book,
                                 char16_t listSeparator, ParsedReference &out) {
  return readA1(text, pos, book, listSeparator, out, true);
}

void appendQualifierOf(std::u16string &out, const ParsedReference &ref) {
  if (!ref.hasQualifier)
    return;
  if (ref.lastSheet >= 0) {
    appendSheetRangeQualifier(out, ref.sheetName, ref.lastSheetName, ref.quotedSheet);
  } else if (ref.quotedSheet) {
    appendSheetQualifier(out, ref.sheetName, true);
  } else {
    out += ref.sheetName;
    out.push_back(u'!');
  }
}

bool readR1C1Reference(std::u16string_view text, size_t pos, const model::Workbook *book,
                       char16_t listSeparator, int baseRow, int baseColumn, ParsedReference &out) {
  if (pos >= text.size())
    return false;
  out = ParsedReference{};
  out.begin = pos;
  size_t i = pos;
  bool failed = false;
  if (!readQualifier(text, pos, book, listSeparator, out, i, failed) && failed)
    return false;
  if (!readR1C1Cell(text, i, baseRow, baseColumn, out.first, i))
    return false;
  out.last = out.first;
  if (i < text.size() && text[i] == u':') {
    size_t j = i;
    RefCorner second;
    if (readR1C1Cell(text, i + 1, baseRow, baseColumn, second, j) &&
        endsReference(text, j, listSeparator)) {
      out.last = second;
      out.isArea = true;
      i = j;
    }
  }
  if (!endsReference(text, i, listSeparator))
    return false;
  out.end = i;
  return true;
}

std::u16string columnLetters(int column) {
  std::u16string letters;
  if (column < 0)
    return letters;
  // Bijective base 26: each step takes one off before dividing, since there is no zero digit.
  long n = static_cast<long>(column) + 1;
  while (n > 0) {
    --n;
    letters.insert(letters.begin(), static_cast<char16_t>(u'A' + n % 26));
    n /= 26;
  }
  return letters;
}

void appendCellAddress(std::u16string &out, const RefCorner &corner) {
  if (corner.columnAbsolute)
    out.push_back(u'$');
  out += columnLetters(corner.column);
  if (corner.rowAbsolute)
    out.push_back(u'$');
  const std::string digits = std::to_string(static_cast<long>(corner.row) + 1);
  out.append(digits.begin(), digits.end());
}

namespace {

// Characters beyond ASCII count as letters: sheet names in other scripts
// read back unquoted, since a plain name runs up to the "!".
bool needsQuotes(std::u16string_view sheetName) {
  auto plain = [](char16_t c) { return isAsciiLetter(c) || isDigit(c) || c == u'_' || c >= 0x80; };
  return sheetName.empty() || isDigit(sheetName.front()) ||
         !std::all_of(sheetName.begin(), sheetName.end(), plain);
}

void appendQuoted(std::u16string &out, std::u16string_view text) {
  out.push_back(u'\'');
  for (const char16_t c : text) {
    out.push_back(c);
    if (c == u'\'')
      out.push_back(u'\'');
  }
  out.push_back(u'\'');
}

} // namespace

void appendSheetQualifier(std::u16string &out, std::u16string_view sheetName, bool quoted) {
  if (quoted || needsQuotes(sheetName))
    appendQuoted(out, sheetName);
  else
    out += sheetName;
  out.push_back(u'!');
}

void appendSheetRangeQualifier(std::u16string &out, std::u16string_view first,
                               std::u16string_view last, bool quoted) {
  if (quoted || needsQuotes(first) || needsQuotes(last)) {
    std::u16string both(first);
    both.push_back(u':');
    both += last;
    appendQuoted(out, both);
  } else {
    out += first;
    out.push_back(u':');
    out += last;
  }
  out.push_back(u'!');
}

bool readQualifiedName(std::u16string_view text, size_t pos, const model::Workbook *book,
                       char16_t listSeparator, QualifiedName &out) {
  if (!book || book->names.empty())
    return false;
  SheetQualifierNames names;
  bool malformed = false;
  if (!readSheetQualifierNames(text, pos, listSeparator, false, names, malformed))
    return false;
  const int sheet = model::find_sheet(*book, names.first);
  size_t end = names.next;
  while (end < text.size() && isPlainSheetNameChar(text[end], listSeparator))
    ++end;
  ParsedReference ref;
  if (sheet < 0 || end == names.next || readA1Reference(text, pos, book, listSeparator, ref))
    return false;
  const int index = model::find_name_text(*book, text.substr(names.next, end - names.next), sheet);
  if (index < 0 || book->names[static_cast<size_t>(index)].sheetIndex != sheet + 1)
    return false;
  out.end = end;
  out.sheet = sheet;
  out.index = index;
  return true;
}

void appendNameAsSeenFrom(std::u16string &out, const model::Workbook &book, size_t index, int sheet) {
  if (index >= book.names.size())
    return;
  const model::DefinedName &name = book.names[index];
  const int scope = name.sheetIndex - 1;
  if (scope >= 0 && scope != sheet && scope < book.sheetCount())
    appendSheetQualifier(out, book.sheet(scope).name, false);
  out += name.name;
}

bool hasExternalReference(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"') {
      const size_t close = text.find(u'"', i + 1);
      if (close == std::u16string_view::npos)
        return false;
      i = close;
    } else if (c == u'\'') {
      // A quoted qualifier: its text up to the closing quote.
      size_t j = i + 1;
      bool bracket = false;
      for (; j < text.size(); ++j) {
        if (text[j] == u'\'') {
          if (j + 1 < text.size() && text[j + 1] == u'\'') {
            ++j;
            continue;
          }
          break;
        }
        bracket = bracket || text[j] == u'[';
      }
      if (bracket && j + 1 < text.size() && text[j + 1] == u'!')
        return true;
      i = j;
    } else if (c == u'[') {
      const size_t close = text.find(u']', i + 1);
      if (close == std::u16string_view::npos)
        return false;
      // "[Book]Sheet!" or "[Book]!": the qualifier's "!" follows its sheet.
      size_t j = close + 1;
      while (j < text.size() && text[j] != u'!' && text[j] != u'"' && text[j] != u'(' &&
             text[j] != u')' && text[j] != u' ' && text[j] != u'[')
        ++j;
      if (j < text.size() && text[j] == u'!')
        return true;
      i = close;
    }
  }
  return false;
}

namespace {

// A corner's place moved by (rows, columns); false when it leaves the sheet.
bool movedCorner(const RefCorner& c, int rows, int columns, int& row, int& column) {
  row = c.rowAbsolute ? c.row : c.row + rows;
  column = c.columnAbsolute ? c.column : c.column + columns;
  return model::isValidCell(row, column);
}

// The part of a corner before its row number ("$AB$"): its length.
size_t writeCornerColumn(const RefCorner& c, int column, char16_t* at) {
  size_t n = 0;
  if (c.columnAbsolute)
    at[n++] = u'$';
  if (column >= 26)
    at[n++] = static_cast<char16_t>(u'A' + column / 26 - 1);
  at[n++] = static_cast<char16_t>(u'A' + column % 26);
  if (c.rowAbsolute)
    at[n++] = u'$';
  return n;
}

size_t decimalDigits(int v) { return v < 10 ? 1 : v < 100 ? 2 : v < 1000 ? 3 : v < 10000 ? 4 : v < 100000 ? 5 : 6; }

// The pieces compared are a few characters long: a plain loop beats a call
// of memcmp.
bool sameText(std::u16string_view a, size_t at, std::u16string_view b) {
  if (a.size() - at < b.size())
    return false;
  for (size_t k = 0; k < b.size(); ++k)
    if (a[at + k] != b[k])
      return false;
  return true;
}

// Whether `text` holds at `t` the corner moved as writeMovedReference
// writes it; t then follows it. The row's digits are compared, not read:
// as many as the moved row has, so a leading zero never matches. Every
// filled copy is checked this way when it is opened, computed and saved, so
// nothing is written to a buffer first.
bool matchMovedCorner(const RefCorner& c, int rows, int columns, std::u16string_view text, size_t& t) {
  int row = 0, column = 0;
  if (!movedCorner(c, rows, columns, row, column))
    return false;
  const int number = row + 1;
  const size_t digits = decimalDigits(number);
  const size_t n = (c.columnAbsolute ? 1 : 0) + (column >= 26 ? 1 : 0) + 1 + (c.rowAbsolute ? 1 : 0);
  if (text.size() - t < n + digits)
    return false;
  const char16_t* at = text.data() + t;
  if (c.columnAbsolute && *at++ != u'$')
    return false;
  if (column >= 26 && *at++ != static_cast<char16_t>(u'A' + column / 26 - 1))
    return false;
  if (*at++ != static_cast<char16_t>(u'A' + column % 26))
    return false;
  if (c.rowAbsolute && *at++ != u'$')
    return false;
  int v = number;
  for (size_t k = digits; k-- > 0; v /= 10)
    if (at[k] != static_cast<char16_t>(u'0' + v % 10))
      return false;
  t += n + digits;
  return true;
}

} // namespace

size_t writeMovedReference(const WrittenReference& ref, int rows, int columns, char16_t* out) {
  const auto corner = [&](const RefCorner& c, char16_t* at) -> size_t {
    int row = 0, column = 0;
    if (!movedCorner(c, rows, columns, row, column))
      return 0;
    size_t n = writeCornerColumn(c, column, at);
    char16_t digits[8];
    size_t d = 0;
    for (int v = row + 1; v > 0; v /= 10)
      digits[d++] = static_cast<char16_t>(u'0' + v % 10);
    while (d > 0)
      at[n++] = digits[--d];
    return n;
  };
  const size_t n = corner(ref.first, out);
  if (n == 0 || !ref.isArea)
    return n;
  out[n] = u':';
  const size_t m = corner(ref.last, out + n + 1);
  return m == 0 ? 0 : n + 1 + m;
}

bool isMovedCopy(std::u16string_view source, const std::vector<WrittenReference>& refs, std::u16string_view text,
                 int rows, int columns) {
  if (rows == 0 && columns == 0)
    return text == source;
  size_t s = 0;
  size_t t = 0;
  for (const WrittenReference& r : refs) {
    if (r.begin < s || r.end < r.begin || r.end > source.size())
      return false;
    if (!sameText(text, t, source.substr(s, r.begin - s)))
      return false;
    t += r.begin - s;
    s = r.end;
    if (!matchMovedCorner(r.first, rows, columns, text, t))
      return false;
    if (r.isArea) {
      if (t >= text.size() || text[t] != u':')
        return false;
      ++t;
      if (!matchMovedCorner(r.last, rows, columns, text, t))
        return false;
    }
  }
  return text.size() - t == source.size() - s && sameText(text, t, source.substr(s));
}

bool nameCouldReadAsCell(std::u16string_view name) {
  size_t i = 0;
  if (i < name.size() && name[i] == u'$')
    ++i;
  size_t letters = 0;
  while (i < name.size() && isAsciiLetter(name[i]))
    ++i, ++letters;
  if (letters == 0 || letters > 3)
    return false;
  while (i < name.size() && (name[i] == u'$' || isDigit(name[i])))
    ++i;
  return i == name.size();
}

} // namespace formula
