#include "formula/rewrite.h"

#include "formula/reference_syntax.h"
#include "formula/skipper.h"
#include "model/workbook.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/unicode.h"

#include <algorithm>
#include <array>

namespace formula {

namespace {

constexpr std::u16string_view kErrorTexts[] = {
    u"#NULL!", u"#DIV/0!", u"#VALUE!", u"#REF!", u"#NAME?", u"#NUM!", u"#N/A",
};

enum class Outcome { Unchanged, Changed, Invalid };

struct Walk {
  RewriteMode mode;
  const model::Workbook &book;
  int sheet;
  int movedSheet;
  model::CellRange moved;
  long long rowOffset; // wide, so no sum of a position and an offset can overflow
  long long columnOffset;
  char16_t listSeparator;
  char16_t decimalSeparator;
};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// An edge position after a move, or nothing when its cell is overwritten or lost.
struct AxisMove {
  long long first; // the block's extent on this axis
  long long last;
  long long offset;
  long long limit; // last position on the sheet

  // Dead positions: cells the block lands on that it did not cover itself
  // (overwritten), and cells of the block pushed off the sheet (lost). Each
  // is one interval, possibly empty.
  std::array<std::pair<long long, long long>, 2> dead() const {
    std::pair<long long, long long> overwritten{1, 0};
    std::pair<long long, long long> lost{1, 0};
    if (offset > 0) {
      overwritten = {std::max(first + offset, last + 1), std::min(last + offset, limit)};
      lost = {std::max(first, limit - offset + 1), last};
    } else if (offset < 0) {
      overwritten = {std::max(first + offset, 0LL), std::min(last + offset, first - 1)};
      lost = {first, std::min(last, -offset - 1)};
    }
    return {overwritten, lost};
  }
  bool isDead(long long p) const {
    for (const auto &[lo, hi] : dead())
      if (p >= lo && p <= hi)
        return true;
    return false;
  }
  long long image(long long p) const { return p >= first && p <= last ? p + offset : p; }

  // Maps the edges [lo, hi] of an area; an edge on a dead cell moves inward
  // to the nearest live one. False when every cell between them is dead.
  bool mapEdges(long long &lo, long long &hi) const {
    long long a = lo;
    long long b = hi;
    // Two dead intervals: two jumps at most in each direction.
    for (int step = 0; step < 3 && a <= b; ++step)
      for (const auto &[dlo, dhi] : dead())
        if (a >= dlo && a <= dhi)
          a = dhi + 1;
    for (int step = 0; step < 3 && a <= b; ++step)
      for (const auto &[dlo, dhi] : dead())
        if (b >= dlo && b <= dhi)
          b = dlo - 1;
    if (a > b || isDead(a) || isDead(b))
      return false;
    lo = image(a);
    hi = image(b);
    return true;
  }
};

struct Area {
  long long r1, c1, r2, c2;
  bool r1Abs, c1Abs, r2Abs, c2Abs;
};

Outcome moveCorners(const model::CellRange &moved, long long rowOffset, long long columnOffset,
                    Area &area);

Outcome moveReference(const Walk &w, const ParsedReference &ref, Area &area) {
  const int refSheet = ref.hasQualifier ? ref.sheet : w.sheet;
  if (refSheet != w.movedSheet || (w.rowOffset == 0 && w.columnOffset == 0))
    return Outcome::Unchanged;
  // Cells move on one sheet; a reference through several sheets also names
  // the cells that stay on the others, and no one text describes both.
  if (ref.lastSheet >= 0 && ref.lastSheet != ref.sheet)
    return Outcome::Unchanged;
  // Corners in order; each "$" stays with its row or column.
  area = {ref.first.row,        ref.first.column,       ref.last.row,
          ref.last.column,      ref.first.rowAbsolute,  ref.first.columnAbsolute,
          ref.last.rowAbsolute, ref.last.columnAbsolute};
  if (area.r1 > area.r2) {
    std::swap(area.r1, area.r2);
    std::swap(area.r1Abs, area.r2Abs);
  }
  if (area.c1 > area.c2) {
    std::swap(area.c1, area.c2);
    std::swap(area.c1Abs, area.c2Abs);
  }
  return moveCorners(w.moved, w.rowOffset, w.columnOffset, area);
}

Outcome moveCorners(const model::CellRange &moved, long long rowOffset, long long columnOffset,
                    Area &area) {
  const Area before = area;
  const AxisMove rows{moved.firstRow, moved.lastRow, rowOffset, model::kMaxRow};
  const AxisMove columns{moved.firstColumn, moved.lastColumn, columnOffset, model::kMaxColumn};
  const bool rowsInside = area.r1 >= rows.first && area.r2 <= rows.last;
  const bool columnsInside = area.c1 >= columns.first && area.c2 <= columns.last;

  if (columnOffset == 0 || rowOffset == 0) {
    // Along one axis: the edges on that axis follow, when the area's extent
    // across it lies within the block's.
    const bool vertical = columnOffset == 0;
    if (!(vertical ? columnsInside : rowsInside))
      return Outcome::Unchanged;
    long long &lo = vertical ? area.r1 : area.c1;
    long long &hi = vertical ? area.r2 : area.c2;
    if (!(vertical ? rows : columns).mapEdges(lo, hi))
      return Outcome::Invalid;
    if (lo > hi) {
      area = before;
      return Outcome::Unchanged;
    }
  } else if (rowsInside && columnsInside) {
    if (!rows.mapEdges(area.r1, area.r2) || !columns.mapEdges(area.c1, area.c2))
      return Outcome::Invalid;
  } else {
    // Wholly on cells the block lands on: they are overwritten.
    const long long dr1 = rows.first + rows.offset, dr2 = rows.last + rows.offset;
    const long long dc1 = columns.first + columns.offset, dc2 = columns.last + columns.offset;
    const bool insideDestination =
        area.r1 >= dr1 && area.r2 <= dr2 && area.c1 >= dc1 && area.c2 <= dc2;
    const bool touchesBlock = area.r1 <= rows.last && rows.first <= area.r2 &&
                              area.c1 <= columns.last && columns.first <= area.c2;
    return insideDestination && !touchesBlock ? Outcome::Invalid : Outcome::Unchanged;
  }
  const bool same =
      area.r1 == before.r1 && area.r2 == before.r2 && area.c1 == before.c1 && area.c2 == before.c2;
  return same ? Outcome::Unchanged : Outcome::Changed;
}

// Modes 2 and 3: relative parts move, corners stay as written.
Outcome offsetReference(const Walk &w, const ParsedReference &ref, Area &area) {
  area = {ref.first.row,        ref.first.column,       ref.last.row,
          ref.last.column,      ref.first.rowAbsolute,  ref.first.columnAbsolute,
          ref.last.rowAbsolute, ref.last.columnAbsolute};
  bool changed = false;
  bool invalid = false;
  const bool wrap = w.mode == RewriteMode::Wrap;
  auto shift = [&](long long &v, bool absolute, long long offset, long long limit) {
    if (absolute || offset == 0)
      return;
    v += offset;
    changed = true;
    if (wrap)
      v = ((v % (limit + 1)) + (limit + 1)) % (limit + 1);
    else if (v < 0 || v > limit)
      invalid = true;
  };
  shift(area.r1, area.r1Abs, w.rowOffset, model::kMaxRow);
  shift(area.c1, area.c1Abs, w.columnOffset, model::kMaxColumn);
  if (ref.isArea) {
    shift(area.r2, area.r2Abs, w.rowOffset, model::kMaxRow);
    shift(area.c2, area.c2Abs, w.columnOffset, model::kMaxColumn);
  }
  if (invalid)
    return Outcome::Invalid;
  return changed ? Outcome::Changed : Outcome::Unchanged;
}

void writeReference(std::u16string &out, const ParsedReference &ref, Outcome outcome,
                    const Area &area) {
  appendQualifierOf(out, ref);
  if (outcome == Outcome::Invalid) {
    out += u"#REF!";
    return;
  }
  appendCellAddress(
      out, RefCorner{static_cast<int>(area.r1), static_cast<int>(area.c1), area.r1Abs, area.c1Abs});
  if (ref.isArea) {
    out.push_back(u':');
    appendCellAddress(out, RefCorner{static_cast<int>(area.r2), static_cast<int>(area.c2),
                                     area.r2Abs, area.c2Abs});
  }
}

// Where a run of characters that may form a name, function name or
// reference ends. Quotes and braces start other operands.
size_t wordEnd(std::u16string_view text, size_t i, char16_t ls, bool stopAtBang) {
  while (i < text.size()) {
    const char16_t c = text[i];
    if (isIdentifierTerminator(c, ls) || c == u'"' || c == u'\'' || c == u'{' || c == u'}' ||
        (stopAtBang && c == u'!'))
      break;
    ++i;
  }
  return i;
}

size_t numberEnd(std::u16string_view text, size_t i, char16_t decimal) {
  const size_t n = text.size();
  while (i < n && isDigit(text[i]))
    ++i;
  if (i < n && text[i] == decimal) {
    ++i;
    while (i < n && isDigit(text[i]))
      ++i;
  }
  // The reader allows spaces before the "E" and around its sign; the exponent
  // belongs to the number only when digits follow.
  size_t j = i;
  while (j < n && text[j] == u' ')
    ++j;
  if (j < n && (text[j] == u'E' || text[j] == u'e')) {
    ++j;
    while (j < n && text[j] == u' ')
      ++j;
    if (j < n && (text[j] == u'+' || text[j] == u'-')) {
      ++j;
      while (j < n && text[j] == u' ')
        ++j;
    }
    if (j < n && isDigit(text[j])) {
      while (j < n && isDigit(text[j]))
        ++j;
      i = j;
    }
  }
  return i;
}

// A quoted segment that is no reference, up to its closing quote (doubled
// quotes inside stay part of it) or the end of the text.
size_t quotedEnd(std::u16string_view text, size_t i) {
  const char16_t quote = text[i];
  ++i;
  while (i < text.size()) {
    if (text[i] == quote) {
      if (i + 1 < text.size() && text[i + 1] == quote) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return i;
}

// An array constant holds literals only; it is copied to its "}".
size_t arrayEnd(std::u16string_view text, size_t i) {
  ++i;
  while (i < text.size() && text[i] != u'}')
    i = text[i] == u'"' ? quotedEnd(text, i) : i + 1;
  return i < text.size() ? i + 1 : i;
}

bool isDefinedName(const model::Workbook &book, std::u16string_view word) {
  for (const model::DefinedName &name : book.names)
    if (name.name.size() == word.size() && platform::equalsIgnoreCase(name.name, word))
      return true;
  return false;
}

size_t errorTextEnd(std::u16string_view text, size_t i) {
  for (const std::u16string_view e : kErrorTexts)
    if (text.size() - i >= e.size() && platform::equalsIgnoreCase(text.substr(i, e.size()), e))
      return i + e.size();
  return i;
}

// Rewrites into `out`; returns whether any reference changed.
bool rewriteInto(const Walk &w, std::u16string_view text, std::u16string &out) {
  const size_t n = text.size();
  const char16_t ls = w.listSeparator;
  bool anyChanged = false;
  out.reserve(n + 16);
  size_t i = 1;
  out.push_back(text[0]);
  while (i < n) {
    const char16_t c = text[i];
    size_t next = i + 1;
    bool tryReference = false;
    if (c == u'"') {
      next = quotedEnd(text, i);
    } else if (c == u'{') {
      next = arrayEnd(text, i);
    } else if (c == u'\'') {
      tryReference = true;
      next = quotedEnd(text, i);
    } else if (isDigit(c) || c == w.decimalSeparator) {
      // A sheet named with digits qualifies a reference; otherwise a number.
      tryReference = isDigit(c);
      next = numberEnd(text, i, w.decimalSeparator);
      if (next == i)
        next = i + 1;
      // "0D4" is no number followed by D4: rewriting D4 could make it read
      // as an exponent ("0E10500"), so such a run is copied whole.
      if (next < n && text[next] != u'!' && wordEnd(text, next, ls, false) > next)
        next = wordEnd(text, next, ls, false);
    } else if (c == u'#') {
      next = errorTextEnd(text, i);
      if (next == i)
        next = std::max(wordEnd(text, i, ls, false), i + 1);
    } else if (!isIdentifierTerminator(c, ls) && c != u'}' && c != u'!') {
      const size_t word = wordEnd(text, i, ls, false);
      const size_t nameWord = wordEnd(text, i, ls, true);
      const bool functionName = word < n && text[word] == u'(' && nameWord == word;
      const bool definedName = nameWord > i && (nameWord >= n || text[nameWord] != u'!') &&
                               isDefinedName(w.book, text.substr(i, nameWord - i));
      if (functionName || definedName) {
        next = functionName ? word : nameWord;
      } else {
        tryReference = true;
        next = std::max(word, i + 1);
      }
    }
    ParsedReference ref;
    if (tryReference && readA1ReferenceOrSheetRange(text, i, &w.book, ls, ref)) {
      Area area{};
      Outcome outcome = Outcome::Unchanged;
      switch (w.mode) {
      case RewriteMode::Move:
      case RewriteMode::SecondPass:
        outcome = moveReference(w, ref, area);
        break;
      case RewriteMode::Offset:
      case RewriteMode::Relative:
      case RewriteMode::Wrap:
        outcome = offsetReference(w, ref, area);
        break;
      }
      if (outcome == Outcome::Unchanged) {
        out.append(text.substr(ref.begin, ref.end - ref.begin));
      } else {
        anyChanged = true;
        writeReference(out, ref, outcome, area);
      }
      i = ref.end;
      continue;
    }
    // A quoted or numeric word before "!" that named no sheet: what follows
    // belongs to it and is no reference of the formula's own sheet.
    if (tryReference && next < n && text[next] == u'!')
      next = wordEnd(text, next + 1, ls, false);
    out.append(text.substr(i, next - i));
    i = next;
  }
  return anyChanged;
}

char16_t singleCharacter(const std::u16string &s, char16_t fallback) {
  return s.size() == 1 ? s[0] : fallback;
}

} // namespace

AreaFate moveArea(model::CellRange &area, const model::CellRange &moved, int rowOffset,
                  int columnOffset) {
  if (rowOffset == 0 && columnOffset == 0)
    return AreaFate::Unchanged;
  Area a{std::min(area.firstRow, area.lastRow),
         std::min(area.firstColumn, area.lastColumn),
         std::max(area.firstRow, area.lastRow),
         std::max(area.firstColumn, area.lastColumn),
         false,
         false,
         false,
         false};
  switch (moveCorners(moved, rowOffset, columnOffset, a)) {
  case Outcome::Unchanged:
    return AreaFate::Unchanged;
  case Outcome::Invalid:
    return AreaFate::Invalid;
  case Outcome::Changed:
    break;
  }
  area = {static_cast<std::uint16_t>(a.r1), static_cast<std::uint8_t>(a.c1),
          static_cast<std::uint16_t>(a.r2), static_cast<std::uint8_t>(a.c2)};
  return AreaFate::Moved;
}

std::optional<std::u16string> rewriteFormula(RewriteMode mode, const model::Workbook &book,
                                             int sheet, std::u16string_view text, int movedSheet,
                                             const model::CellRange &moved, int rowOffset,
                                             int columnOffset) {
  std::u16string result;
  const bool done = platform::withAllocation([&] {
    const bool isFormula =
        text.size() > 1 && (text[0] == u'=' || text[0] == u'+' || text[0] == u'-');
    const bool knownMode = mode == RewriteMode::Move || mode == RewriteMode::Offset ||
                           mode == RewriteMode::Relative || mode == RewriteMode::SecondPass ||
                           mode == RewriteMode::Wrap;
    if (isFormula && knownMode) {
      const platform::LocaleStrings &locale = platform::localeStrings();
      const Walk walk{mode,
                      book,
                      sheet,
                      movedSheet,
                      moved,
                      rowOffset,
                      columnOffset,
                      singleCharacter(locale.listSeparator, u','),
                      singleCharacter(locale.decimalSeparator, u'.')};
      if (rewriteInto(walk, text, result))
        return;
    }
    result.assign(text);
  });
  if (!done)
    return std::nullopt;
  return result;
}

std::optional<std::u16string> rewriteFormula(RewriteMode mode, const model::Workbook &book,
                                             int sheet, std::u16string_view text,
                                             const model::CellRange &moved, int rowOffset,
                                             int columnOffset) {
  return rewriteFormula(mode, book, sheet, text, sheet, moved, rowOffset, columnOffset);
}

} // namespace formula

namespace formula {

namespace {

// Calls fn(begin, names) for each sheet qualifier of a formula text, in
// order, outside string constants.
template <class Fn> void forEachQualifier(std::u16string_view t, char16_t ls, Fn &&fn) {
  size_t p = 0;
  auto atWordStart = [&](size_t i) {
    return i == 0 || isIdentifierTerminator(t[i - 1], ls) || t[i - 1] == u'=' ||
           t[i - 1] == u'{';
  };
  while (p < t.size()) {
    const char16_t c = t[p];
    if (c == u'"') {
      p = std::min(stringLiteralEnd(t, p), t.size());
      continue;
    }
    SheetQualifierNames names;
    bool malformed = false;
    if ((c == u'\'' || (atWordStart(p) && !isIdentifierTerminator(c, ls))) &&
        readSheetQualifierNames(t, p, ls, true, names, malformed)) {
      fn(p, names);
      p = names.next;
    } else {
      // Quoted text that is no qualifier is passed whole.
      p = c == u'\'' ? quotedEnd(t, p) : p + 1;
    }
  }
}

} // namespace

std::u16string renameSheetQualifiers(std::u16string_view t, char16_t ls,
                                     const std::function<bool(SheetQualifierNames &)> &rename,
                                     bool &changed) {
  std::u16string out;
  out.reserve(t.size() + 8);
  size_t copied = 0;
  forEachQualifier(t, ls, [&](size_t begin, const SheetQualifierNames &found) {
    SheetQualifierNames names = found;
    if (!rename(names))
      return;
    changed = true;
    out.append(t.substr(copied, begin - copied));
    // A range whose two ends came together names one sheet.
    if (names.isRange && !platform::equalsIgnoreCase(names.first, names.last))
      appendSheetRangeQualifier(out, names.first, names.last, names.quoted);
    else
      appendSheetQualifier(out, names.first, names.quoted);
    copied = found.next;
  });
  out.append(t.substr(copied));
  return out;
}

bool hasSheetRangeQualifier(std::u16string_view text, char16_t listSeparator) {
  bool found = false;
  forEachQualifier(text, listSeparator, [&](size_t, const SheetQualifierNames &names) {
    found = found || names.isRange;
  });
  return found;
}

} // namespace formula
