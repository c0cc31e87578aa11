#include "edit/cell_format.h"

#include "edit/paste.h"
#include "formula/recalc.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "numfmt/builtin_formats.h"
#include "platform/memory.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

namespace edit {

using model::Border;
using model::CellFormat;
using model::CellRange;
using model::CellRecord;
using model::Sheet;
using model::Workbook;

namespace {

// CellFormat::borders order.
constexpr int kCellLeft = 0, kCellRight = 1, kCellTop = 2, kCellBottom = 3;
constexpr std::uint8_t kAutomatic = 64;

bool wholeColumns(const CellRange& r) { return r.firstRow == 0 && r.lastRow == model::kMaxRow; }

bool inside(const CellRange& inner, const CellRange& outer) {
  return inner.firstRow >= outer.firstRow && inner.lastRow <= outer.lastRow &&
         inner.firstColumn >= outer.firstColumn && inner.lastColumn <= outer.lastColumn;
}

const CellFormat& formatAt(const Workbook& book, std::uint16_t index) {
  static const CellFormat kFallback{};
  return index < book.cellFormats.size() ? book.cellFormats[index] : kFallback;
}

std::uint16_t columnFormat(const Sheet& sheet, int column) {
  return model::column_record(sheet, static_cast<std::uint8_t>(column)).formatIndex;
}

bool isTextFormat(const Workbook& book, std::uint16_t formatIndex) {
  return model::numberFormatCode(book, formatAt(book, formatIndex).numberFormatIndex) == u"@";
}

/// Collects one attribute over many formats: present while all agree.
template <class T> struct Agreement {
  bool seen = false;
  bool differs = false;
  T value{};
  void add(const T& v) {
    if (!seen) {
      seen = true;
      value = v;
    } else if (!(value == v)) {
      differs = true;
    }
  }
  void into(FormatAttribute<T>& a) const {
    a.present = seen && !differs;
    a.changed = false;
    a.value = a.present ? value : T{};
  }
};

std::uint8_t colourByte(int value) {
  return value < 0 || value > 0xFF ? kAutomatic : static_cast<std::uint8_t>(value);
}

// Beside the selection edges: a side of a merged range's cell that lies
// between two of its cells, which the range's look does not show.
enum InteriorSide : unsigned {
  kInteriorTop = 1u << 4,
  kInteriorBottom = 1u << 5,
  kInteriorLeft = 1u << 6,
  kInteriorRight = 1u << 7,
};

/// Applies the state to formats, remembering each (old format, edges)
/// answer: a million positions share a handful of old formats.
class Applier {
public:
  Applier(Workbook& book, const FormatDialogState& state) : m_book(book), m_state(state) {
    if (state.number.changed) {
      const NumberChoice& n = state.number.value;
      m_numberIndex = model::composeFormatCode(book, n.category, n.places, n.custom);
    }
    m_bordersMatter = state.anyBorderChanged();
  }

  std::uint16_t apply(std::uint16_t old, unsigned edges) {
    if (!m_bordersMatter)
      edges = 0;
    const std::uint32_t key = (static_cast<std::uint32_t>(old) << 8) | edges;
    const auto it = m_memo.find(key);
    if (it != m_memo.end())
      return it->second;
    const CellFormat f = applyTo(formatAt(m_book, old), edges);
    const int found = model::findOrAddCellFormat(m_book, f);
    const std::uint16_t index = found < 0 ? old : static_cast<std::uint16_t>(found);
    m_memo.emplace(key, index);
    return index;
  }

private:
  CellFormat applyTo(CellFormat f, unsigned edges) {
    const FormatDialogState& s = m_state;
    if (m_numberIndex >= 0)
      f.numberFormatIndex = static_cast<std::uint16_t>(m_numberIndex);
    if (s.horizontal.changed)
      f.horizontalAlignment = static_cast<std::uint8_t>(s.horizontal.value);
    if (s.vertical.changed)
      f.verticalAlignment = static_cast<std::uint8_t>(s.vertical.value);
    if (s.wrap.changed)
      setFlag(f, model::kFormatWrapText, s.wrap.value);
    if (s.locked.changed)
      setFlag(f, model::kFormatLocked, s.locked.value);
    if (s.formulaHidden.changed)
      setFlag(f, model::kFormatFormulaHidden, s.formulaHidden.value);
    if (s.anyFontChanged()) {
      const int font = model::findOrAddFont(m_book, fontFor(f.fontIndex));
      if (font >= 0)
        f.fontIndex = static_cast<std::uint16_t>(font);
    }
    const auto side = [&](int cellSide, unsigned interior, bool outer, int outerSide, int innerSide) {
      const FormatAttribute<Border>& a = s.borders[static_cast<size_t>(outer ? outerSide : innerSide)];
      if (a.changed && !(edges & interior))
        f.borders[static_cast<size_t>(cellSide)] = a.value;
    };
    side(kCellTop, kInteriorTop, edges & kEdgeFirstRow, kSideTop, kSideInsideHorizontal);
    side(kCellBottom, kInteriorBottom, edges & kEdgeLastRow, kSideBottom, kSideInsideHorizontal);
    side(kCellLeft, kInteriorLeft, edges & kEdgeFirstColumn, kSideLeft, kSideInsideVertical);
    side(kCellRight, kInteriorRight, edges & kEdgeLastColumn, kSideRight, kSideInsideVertical);
    if (s.pattern.changed || s.colour1.changed || s.colour2.changed) {
      int pattern = s.pattern.changed ? s.pattern.value : f.fillPattern;
      if (!s.pattern.changed && s.colour1.changed && f.fillPattern == 0)
        pattern = 1;
      if (s.colour1.changed)
        f.patternColour = colourByte(s.colour1.value);
      if (s.colour2.changed)
        f.backgroundColour = colourByte(s.colour2.value);
      f.fillPattern = static_cast<std::uint8_t>(std::clamp(pattern, 0, 18));
      if (f.fillPattern == 0) {
        f.patternColour = kAutomatic;
        if (s.pattern.changed)
          f.backgroundColour = kAutomatic;
      } else if (f.fillPattern == 1) {
        // A solid fill shows the pattern colour; the background behind it
        // is what goes back to automatic, so the chosen colour stays.
        f.backgroundColour = kAutomatic;
      }
    }
    return f;
  }

  model::Font fontFor(std::uint16_t fontIndex) const {
    return changedFont(fontIndex < m_book.fonts.size() ? m_book.fonts[fontIndex]
                       : m_book.fonts.empty()          ? model::Font{}
                                                       : m_book.fonts[0],
                       m_state);
  }

  static void setFlag(CellFormat& f, std::uint32_t bit, bool on) {
    f.flags = on ? f.flags | bit : f.flags & ~bit;
  }

  Workbook& m_book;
  const FormatDialogState& m_state;
  int m_numberIndex = -1;
  bool m_bordersMatter = false;
  std::unordered_map<std::uint32_t, std::uint16_t> m_memo;
};

/// A neighbour's format without one side, memoised like Applier.
class SideRemover {
public:
  SideRemover(Workbook& book, int cellSide, Border replacing) : m_book(book), m_side(cellSide), m_new(replacing) {}

  /// The format without the side, or the same index when the side is not
  /// drawn or already equals the new one.
  std::uint16_t apply(std::uint16_t old) {
    const auto it = m_memo.find(old);
    if (it != m_memo.end())
      return it->second;
    CellFormat f = formatAt(m_book, old);
    std::uint16_t index = old;
    const Border& b = f.borders[static_cast<size_t>(m_side)];
    if (b.style != 0 && !(b == m_new)) {
      f.borders[static_cast<size_t>(m_side)] = Border{0, 0};
      const int found = model::findOrAddCellFormat(m_book, f);
      if (found >= 0)
        index = static_cast<std::uint16_t>(found);
    }
    m_memo.emplace(old, index);
    return index;
  }

private:
  Workbook& m_book;
  int m_side;
  Border m_new;
  std::unordered_map<std::uint16_t, std::uint16_t> m_memo;
};

struct Formatting {
  Workbook& book;
  int sheetIndex;
  Sheet& sheet;
  const CellRange& selection;
  const FormatDialogState& state;
  std::vector<std::uint32_t> changed; // cells whose input was stored again

  /// Gives a cell a new format; a change to or from the text format
  /// stores the input again, so a formula shows as text or computes again.
  void setFormat(CellRecord& c, std::uint16_t index) {
    if (c.formatIndex == index)
      return;
    const bool restate = !c.input.isNull() && c.input.size() > 0 &&
                         isTextFormat(book, c.formatIndex) != isTextFormat(book, index);
    if (restate) {
      const std::u16string input(c.input.view());
      const std::uint16_t row = c.row;
      const std::uint8_t column = c.column;
      if (!model::set_cell(book, sheetIndex, row, column, input, index, false, false))
        throw std::bad_alloc();
      changed.push_back(model::packCell(row, column));
      return;
    }
    c.formatIndex = index;
    c.display.reset();
    if (c.calcState == model::CalcState::DisplayValid)
      c.calcState = model::CalcState::ValueValid;
  }

  void merge() {
    if (!state.merge.changed)
      return;
    if (!state.merge.value) {
      std::erase_if(sheet.mergedRanges.edit(), [&](const CellRange& m) { return inside(m, selection); });
      return;
    }
    if (selection.isSingleCell())
      return;
    for (const CellRange& m : sheet.mergedRanges)
      if (m == selection)
        return;
    std::u16string text;
    std::uint16_t textFormat = model::kDefaultCellFormat;
    bool found = false;
    std::vector<std::uint32_t> filled;
    sheet.cells.forEachIn(selection, [&](const CellRecord& c) {
      if (c.input.isNull() || c.input.size() == 0)
        return;
      if (!found) {
        found = true;
        text.assign(c.input.view());
        textFormat = c.formatIndex;
      }
      filled.push_back(model::packCell(c.row, c.column));
    });
    std::erase_if(sheet.arrayFormulas, [&](const model::ArrayFormulaRecord& a) { return inside(a.range, selection); });
    for (const std::uint32_t p : filled) {
      const CellRecord* c = model::cell_at(sheet, model::packedRow(p), model::packedColumn(p));
      if (!c)
        continue;
      if (!model::set_cell(book, sheetIndex, c->row, c->column, u"", c->formatIndex, false, false))
        throw std::bad_alloc();
      changed.push_back(p);
    }
    std::erase_if(sheet.mergedRanges.edit(), [&](const CellRange& m) { return inside(m, selection); });
    if (!model::addMergedRange(sheet, selection))
      throw std::bad_alloc(); // nothing overlaps any more, so only memory can refuse
    if (found) {
      if (!model::set_cell(book, sheetIndex, selection.firstRow, selection.firstColumn, text, textFormat, false, false))
        throw std::bad_alloc();
      changed.push_back(model::packCell(selection.firstRow, selection.firstColumn));
    }
  }

  void formats() {
    Applier applier(book, state);
    if (wholeColumns(selection)) {
      for (int c = selection.firstColumn; c <= selection.lastColumn; ++c) {
        // A column's default stands for rows both first and last of the
        // selection only in name: it takes the outer sides of the columns.
        const unsigned edges = selectionEdges(selection, -1, c);
        const std::uint16_t old = columnFormat(sheet, c);
        const std::uint16_t now = applier.apply(old, edges);
        if (now != old)
          model::set_column_format(sheet, static_cast<std::uint8_t>(c), now);
      }
      std::vector<CellRecord*> cells;
      sheet.cells.forEachIn(selection, [&](CellRecord& c) { cells.push_back(&c); });
      for (CellRecord* c : cells)
        setFormat(*c, applier.apply(c->formatIndex, edgesAt(c->row, c->column)));
      return;
    }
    std::vector<std::uint16_t> defaults;
    for (int c = selection.firstColumn; c <= selection.lastColumn; ++c)
      defaults.push_back(columnFormat(sheet, c));
    for (int r = selection.firstRow; r <= selection.lastRow; ++r)
      for (int c = selection.firstColumn; c <= selection.lastColumn; ++c) {
        const auto search = sheet.cells.find(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
        CellRecord* cell;
        if (search.found) {
          cell = sheet.cells.at(search.position);
        } else {
          cell = sheet.cells.insert(search.position, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
          cell->formatIndex = defaults[static_cast<size_t>(c - selection.firstColumn)];
        }
        setFormat(*cell, applier.apply(cell->formatIndex, edgesAt(r, c)));
      }
  }

  /// Where a position lies for the border rule. Inside a merged range only
  /// the range's own edges count: the sides between its cells stay.
  unsigned edgesAt(int row, int column) const {
    unsigned e = selectionEdges(selection, row, column);
    if (sheet.mergedRanges.empty())
      return e;
    const int m = model::merged_range_at(sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    if (m < 0)
      return e;
    const CellRange& r = sheet.mergedRanges[static_cast<size_t>(m)];
    if (row > r.firstRow)
      e |= kInteriorTop;
    if (row < r.lastRow)
      e |= kInteriorBottom;
    if (column > r.firstColumn)
      e |= kInteriorLeft;
    if (column < r.lastColumn)
      e |= kInteriorRight;
    return e;
  }

  /// Takes a side off a neighbour position: its cell, or when it has none
  /// and its column's format draws the side, a new empty cell.
  void removeSideAt(SideRemover& remover, int row, int column) {
    CellRecord* c = model::cell_at(sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    if (c) {
      setFormat(*c, remover.apply(c->formatIndex));
      return;
    }
    const std::uint16_t old = columnFormat(sheet, column);
    const std::uint16_t now = remover.apply(old);
    if (now == old)
      return;
    CellRecord* cell = sheet.cells.findOrInsert(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    cell->formatIndex = now;
  }

  void sharedEdges() {
    const auto& b = state.borders;
    const bool columns = wholeColumns(selection);
    if (!columns && b[kSideTop].changed && selection.firstRow > 0) {
      SideRemover remover(book, kCellBottom, b[kSideTop].value);
      for (int c = selection.firstColumn; c <= selection.lastColumn; ++c)
        removeSideAt(remover, selection.firstRow - 1, c);
    }
    if (!columns && b[kSideBottom].changed && selection.lastRow < model::kMaxRow) {
      SideRemover remover(book, kCellTop, b[kSideBottom].value);
      for (int c = selection.firstColumn; c <= selection.lastColumn; ++c)
        removeSideAt(remover, selection.lastRow + 1, c);
    }
    const auto vertical = [&](int column, int cellSide, Border replacing) {
      SideRemover remover(book, cellSide, replacing);
      if (!columns) {
        for (int r = selection.firstRow; r <= selection.lastRow; ++r)
          removeSideAt(remover, r, column);
        return;
      }
      // Whole columns: the neighbour column's default and its stored cells.
      const std::uint16_t old = columnFormat(sheet, column);
      const std::uint16_t now = remover.apply(old);
      if (now != old)
        model::set_column_format(sheet, static_cast<std::uint8_t>(column), now);
      std::vector<CellRecord*> cells;
      sheet.cells.forEachIn(CellRange{0, static_cast<std::uint8_t>(column), model::kMaxRow, static_cast<std::uint8_t>(column)},
                            [&](CellRecord& c) { cells.push_back(&c); });
      for (CellRecord* c : cells)
        setFormat(*c, remover.apply(c->formatIndex));
    };
    if (b[kSideLeft].changed && selection.firstColumn > 0)
      vertical(selection.firstColumn - 1, kCellRight, b[kSideLeft].value);
    if (b[kSideRight].changed && selection.lastColumn < model::kMaxColumn)
      vertical(selection.lastColumn + 1, kCellLeft, b[kSideRight].value);
  }
};

/// The selection and the neighbours whose shared edges a changed border
/// side reaches, inside the sheet.
CellRange undoRangeOf(const CellRange& selection, const FormatDialogState& state) {
  CellRange r = selection;
  const auto& b = state.borders;
  if (b[kSideTop].changed && r.firstRow > 0)
    --r.firstRow;
  if (b[kSideBottom].changed && r.lastRow < model::kMaxRow)
    ++r.lastRow;
  if (b[kSideLeft].changed && r.firstColumn > 0)
    --r.firstColumn;
  if (b[kSideRight].changed && r.lastColumn < model::kMaxColumn)
    ++r.lastColumn;
  return r;
}

} // namespace

bool FormatDialogState::anyBorderChanged() const {
  return std::any_of(borders.begin(), borders.end(), [](const auto& b) { return b.changed; });
}

bool FormatDialogState::anyChanged() const {
  return number.changed || horizontal.changed || vertical.changed || wrap.changed || merge.changed ||
         anyFontChanged() || anyBorderChanged() || pattern.changed || colour1.changed ||
         colour2.changed || locked.changed || formulaHidden.changed;
}

unsigned selectionEdges(const CellRange& selection, int row, int column) {
  unsigned e = 0;
  if (row == selection.firstRow)
    e |= kEdgeFirstRow;
  if (row == selection.lastRow)
    e |= kEdgeLastRow;
  if (column == selection.firstColumn)
    e |= kEdgeFirstColumn;
  if (column == selection.lastColumn)
    e |= kEdgeLastColumn;
  return e;
}

FormatDialogState fontState(const model::Font& font) {
  FormatDialogState s;
  s.face = {true, false, font.face};
  s.sizeTwips = {true, false, font.heightTwips};
  s.fontColour = {true, false, font.colourIndex == model::kAutomaticFontColour ? kAutomaticColour : font.colourIndex};
  s.bold = {true, false, font.weight >= 600};
  s.italic = {true, false, (font.attributes & model::kFontItalic) != 0};
  s.underline = {true, false, font.underline != 0};
  s.strikeOut = {true, false, (font.attributes & model::kFontStrikeOut) != 0};
  return s;
}

model::Font changedFont(model::Font font, const FormatDialogState& s) {
  if (s.face.changed)
    font.face = s.face.value.substr(0, 31);
  if (s.sizeTwips.changed)
    font.heightTwips = static_cast<std::uint16_t>(std::clamp(s.sizeTwips.value, 20, kMaxFontPoints * 20));
  if (s.fontColour.changed)
    font.colourIndex = s.fontColour.value < 0 ? model::kAutomaticFontColour
                                              : static_cast<std::uint16_t>(s.fontColour.value);
  if (s.bold.changed)
    font.weight = s.bold.value ? 700 : 400;
  if (s.italic.changed)
    font.attributes = static_cast<std::uint16_t>(s.italic.value ? font.attributes | model::kFontItalic
                                                                : font.attributes & ~model::kFontItalic);
  if (s.strikeOut.changed)
    font.attributes = static_cast<std::uint16_t>(
        s.strikeOut.value ? font.attributes | model::kFontStrikeOut : font.attributes & ~model::kFontStrikeOut);
  if (s.underline.changed)
    font.underline = s.underline.value ? 1 : 0;
  return font;
}

NumberChoice numberChoiceOf(const Workbook& book, std::uint16_t formatIndex) {
  NumberChoice n;
  if (formatIndex == 0)
    return n;
  const std::u16string_view code = model::numberFormatCode(book, formatIndex);
  if (code == u"@") {
    n.category = numfmt::kCategoryText;
    return n;
  }
  n.category = numfmt::kCategoryCustom;
  n.custom.assign(code);
  return n;
}

FormatDialogState gatherFormats(const Workbook& book, const Sheet& sheet, const CellRange& selection) {
  // Distinct (format, edges) pairs: the attributes follow from those alone.
  std::map<std::uint32_t, bool> pairs;
  const auto add = [&](std::uint16_t format, unsigned edges) {
    pairs.emplace((static_cast<std::uint32_t>(format) << 4) | edges, true);
  };
  const int width = selection.columnCount();
  std::vector<int> counts(static_cast<size_t>(width), 0);
  std::vector<unsigned char> hasFirst(static_cast<size_t>(width), 0), hasLast(static_cast<size_t>(width), 0);
  sheet.cells.forEachIn(selection, [&](const CellRecord& c) {
    const size_t i = static_cast<size_t>(c.column - selection.firstColumn);
    ++counts[i];
    if (c.row == selection.firstRow)
      hasFirst[i] = 1;
    if (c.row == selection.lastRow)
      hasLast[i] = 1;
    add(c.formatIndex, selectionEdges(selection, c.row, c.column));
  });
  const int height = selection.rowCount();
  for (int i = 0; i < width; ++i) {
    const size_t k = static_cast<size_t>(i);
    if (counts[k] == height)
      continue;
    const int column = selection.firstColumn + i;
    const std::uint16_t f = columnFormat(sheet, column);
    const unsigned columnEdges = selectionEdges(selection, -1, column);
    if (!hasFirst[k])
      add(f, columnEdges | kEdgeFirstRow | (height == 1 ? kEdgeLastRow : 0u));
    if (height > 1 && !hasLast[k])
      add(f, columnEdges | kEdgeLastRow);
    const int middleStored = counts[k] - hasFirst[k] - (height > 1 ? hasLast[k] : 0);
    if (height > 2 && middleStored < height - 2)
      add(f, columnEdges);
  }

  Agreement<NumberChoice> number;
  Agreement<int> horizontal, vertical, fontColour, sizeTwips, pattern, colour1, colour2;
  Agreement<bool> wrap, bold, italic, underline, strikeOut, locked, hidden;
  Agreement<std::u16string> face;
  std::array<Agreement<Border>, kBorderSideCount> sides{};
  std::map<std::uint16_t, bool> numberSeen;
  for (const auto& [key, unused] : pairs) {
    (void)unused;
    const std::uint16_t index = static_cast<std::uint16_t>(key >> 4);
    const unsigned edges = key & 15u;
    const CellFormat& f = formatAt(book, index);
    number.add(numberChoiceOf(book, f.numberFormatIndex));
    horizontal.add(f.horizontalAlignment);
    vertical.add(f.verticalAlignment);
    wrap.add((f.flags & model::kFormatWrapText) != 0);
    locked.add((f.flags & model::kFormatLocked) != 0);
    hidden.add((f.flags & model::kFormatFormulaHidden) != 0);
    const model::Font& font = model::fontOfFormat(book, index);
    face.add(font.face);
    sizeTwips.add(font.heightTwips);
    fontColour.add(font.colourIndex == model::kAutomaticFontColour ? kAutomaticColour : font.colourIndex);
    bold.add(font.weight >= 600);
    italic.add((font.attributes & model::kFontItalic) != 0);
    underline.add(font.underline != 0);
    strikeOut.add((font.attributes & model::kFontStrikeOut) != 0);
    pattern.add(f.fillPattern);
    colour1.add(f.patternColour);
    colour2.add(f.backgroundColour);
    sides[(edges & kEdgeFirstRow) ? kSideTop : kSideInsideHorizontal].add(f.borders[kCellTop]);
    sides[(edges & kEdgeLastRow) ? kSideBottom : kSideInsideHorizontal].add(f.borders[kCellBottom]);
    sides[(edges & kEdgeFirstColumn) ? kSideLeft : kSideInsideVertical].add(f.borders[kCellLeft]);
    sides[(edges & kEdgeLastColumn) ? kSideRight : kSideInsideVertical].add(f.borders[kCellRight]);
  }

  FormatDialogState s;
  number.into(s.number);
  horizontal.into(s.horizontal);
  vertical.into(s.vertical);
  wrap.into(s.wrap);
  face.into(s.face);
  sizeTwips.into(s.sizeTwips);
  fontColour.into(s.fontColour);
  bold.into(s.bold);
  italic.into(s.italic);
  underline.into(s.underline);
  strikeOut.into(s.strikeOut);
  for (size_t i = 0; i < sides.size(); ++i)
    sides[i].into(s.borders[i]);
  pattern.into(s.pattern);
  colour1.into(s.colour1);
  colour2.into(s.colour2);
  locked.into(s.locked);
  hidden.into(s.formulaHidden);

  // Merge: set when the selection is one merged range, clear when no
  // merged range meets it, unknown otherwise.
  bool exact = false, meets = false;
  for (const CellRange& m : sheet.mergedRanges) {
    if (m == selection)
      exact = true;
    else if (m.intersects(selection))
      meets = true;
  }
  s.merge.present = !meets;
  s.merge.value = exact && !meets;
  return s;
}

std::uint16_t applyFormatToCell(Workbook& book, std::uint16_t formatIndex, const FormatDialogState& state,
                                int row, int column, const CellRange& selection) {
  Applier applier(book, state);
  return applier.apply(formatIndex, selectionEdges(selection, row, column));
}

bool apply_cell_format(Workbook& book, int sheetIndex, const CellRange& selection,
                       const FormatDialogState& state) {
  if (!isCellSheet(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  const CellRange undoRange = undoRangeOf(selection, state);
  // Protection first: neighbours whose shared edge changes count too.
  if (!model::guard_range(book, sheet, undoRange, model::kGuardProtection))
    return false;
  const bool merging = state.merge.changed && state.merge.value && !selection.isSingleCell();
  if (merging) {
    if (!model::guard_range(book, sheet, selection, model::kGuardArrayPart))
      return false;
    // A merged range sticking out of the selection would overlap the new one.
    for (const CellRange& m : sheet.mergedRanges)
      if (m.intersects(selection) && !inside(m, selection)) {
        model::showRefusal(model::GuardRefusal::MergedCells);
        return false;
      }
  }
  if (!model::push_undo_range(book, sheetIndex, model::kUndoCellFormat, undoRange))
    return false;
  if (wholeColumns(selection) && !model::save_column_records(book, sheetIndex, undoRange))
    return false;
  Formatting f{book, sheetIndex, sheet, selection, state, {}};
  const bool ok = platform::withAllocation([&] {
    f.merge();
    f.formats();
    f.sharedEdges();
  });
  std::sort(f.changed.begin(), f.changed.end());
  f.changed.erase(std::unique(f.changed.begin(), f.changed.end()), f.changed.end());
  model::mark_modified(book);
  model::fitRowsOfRange(book, sheetIndex, selection);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, sheetIndex, f.changed); });
  formula::refreshVolatile(book, sheetIndex, false);
  return ok;
}

} // namespace edit
