#include "datatools/find.h"

#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "functions/criteria.h"
#include "model/display_text.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>

namespace datatools {

using model::CellRange;
using model::CellRecord;
using model::Sheet;
using model::Workbook;

namespace {

bool searchable(const Workbook& book, int sheetIndex) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return false;
  const model::SheetKind k = book.sheet(sheetIndex).kind;
  return k == model::SheetKind::Worksheet || k == model::SheetKind::Macro;
}

CellRange selectionOf(const Sheet& sheet) {
  const int r1 = model::packedRow(sheet.selectionFirst), r2 = model::packedRow(sheet.selectionLast);
  const int c1 = model::packedColumn(sheet.selectionFirst), c2 = model::packedColumn(sheet.selectionLast);
  return {static_cast<std::uint16_t>(std::min(r1, r2)), static_cast<std::uint8_t>(std::min(c1, c2)),
          static_cast<std::uint16_t>(std::max(r1, r2)), static_cast<std::uint8_t>(std::max(c1, c2))};
}

// Where the search runs: the selection when it is more than one cell.
std::optional<CellRange> searchArea(const Sheet& sheet) {
  const CellRange s = selectionOf(sheet);
  if (s.isSingleCell())
    return std::nullopt;
  return s;
}

void notFound() {
  platform::ui().messageBox(kMessageNotFound, kFindCaption, platform::MessageButtons::Ok,
                                    platform::MessageIcon::Information);
}

bool hasInput(const CellRecord& c) { return !c.input.isNull() && c.input.size() > 0; }

struct Matcher {
  Workbook& book;
  int sheetIndex;
  FindScope scope;
  functions::WildcardPattern pattern;

  bool operator()(CellRecord& c) const {
    if (!hasInput(c))
      return false;
    if (scope == FindScope::Values) {
      if (c.calcState == model::CalcState::NotValid)
        formula::computeCell(book, sheetIndex, c);
      return pattern.matches(model::cell_display_text(book, sheetIndex, c, -1));
    }
    return pattern.matches(c.input.view());
  }
};

// The address the search starts from: the next column of the active cell,
// the next row's first column after column IV, nothing after the last cell.
std::optional<std::uint32_t> startAfter(int row, int column) {
  if (column < model::kMaxColumn)
    return model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column + 1));
  if (row < model::kMaxRow)
    return model::packCell(static_cast<std::uint16_t>(row + 1), 0);
  return std::nullopt;
}

// The first stored cell from `start` to the end, then from the beginning up
// to `start`, inside the area, that the matcher accepts.
CellRecord* nextMatch(Sheet& sheet, std::optional<std::uint32_t> start, const std::optional<CellRange>& area,
                      const Matcher& match) {
  const model::CellTable& cells = sheet.cells;
  const model::CellTable::Position from =
      start ? cells.find(model::packedRow(*start), model::packedColumn(*start)).position : cells.end();
  const auto scan = [&](model::CellTable::Position p, model::CellTable::Position stop) -> CellRecord* {
    for (; !cells.isEnd(p) && !(p == stop); p = cells.next(p)) {
      CellRecord* c = cells.at(p);
      if ((!area || area->contains(c->row, c->column)) && match(*c))
        return c;
    }
    return nullptr;
  };
  if (CellRecord* c = scan(from, cells.end()))
    return c;
  return scan(cells.begin(), from);
}

void makeActive(Sheet& sheet, int row, int column, bool keepSelection) {
  sheet.activeRow = static_cast<std::uint16_t>(row);
  sheet.activeColumn = static_cast<std::uint8_t>(column);
  if (!keepSelection)
    sheet.selectionFirst = sheet.selectionLast =
        model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
}

bool findComment(Sheet& sheet, const FindSettings& s, const std::optional<CellRange>& area) {
  const functions::WildcardPattern pattern(findPattern(s), s.matchCase);
  // Row-then-column order (packed addresses put the column on top).
  const auto order = [](int row, int column) { return (static_cast<std::uint32_t>(row) << 8) | static_cast<std::uint32_t>(column); };
  const std::uint32_t active = order(sheet.activeRow, sheet.activeColumn);
  const model::DrawingObject* after = nullptr;
  const model::DrawingObject* first = nullptr;
  for (const model::DrawingObject& o : sheet.objects) {
    if (o.kind != model::kObjectComment || (area && !area->contains(o.row, o.column)) || !pattern.matches(o.text))
      continue;
    const std::uint32_t at = order(o.row, o.column);
    if (!first || at < order(first->row, first->column))
      first = &o;
    if (at > active && (!after || at < order(after->row, after->column)))
      after = &o;
  }
  const model::DrawingObject* found = after ? after : first;
  if (!found)
    return false;
  makeActive(sheet, found->row, found->column, area.has_value());
  return true;
}

} // namespace

FindSettings& lastFindSettings() {
  static FindSettings settings;
  return settings;
}

std::u16string findPattern(const FindSettings& s) {
  return s.wholeCell ? s.findText : u"*" + s.findText + u"*";
}

bool findNext(Workbook& book, int sheetIndex, const FindSettings& s) {
  if (!searchable(book, sheetIndex) || s.findText.empty())
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  const std::optional<CellRange> area = searchArea(sheet);
  bool found = false;
  if (s.scope == FindScope::Comments) {
    found = findComment(sheet, s, area);
  } else {
    const Matcher match{book, sheetIndex, s.scope, functions::WildcardPattern(findPattern(s), s.matchCase)};
    if (CellRecord* c = nextMatch(sheet, startAfter(sheet.activeRow, sheet.activeColumn), area, match)) {
      makeActive(sheet, c->row, c->column, area.has_value());
      found = true;
    }
  }
  if (!found)
    notFound();
  return found;
}

std::u16string replaceInText(std::u16string_view input, const FindSettings& s) {
  if (s.wholeCell)
    return s.replaceText;
  const functions::WildcardPattern pattern(s.findText, s.matchCase);
  const bool longest = pattern.endsWithStar();
  std::u16string out;
  out.reserve(input.size());
  size_t c = 0;
  while (c < input.size()) {
    const size_t n = pattern.matchPrefix(input.substr(c), longest);
    if (n == functions::WildcardPattern::npos) {
      out.push_back(input[c++]);
      continue;
    }
    out += s.replaceText;
    if (n == 0) // a pattern of stars alone matches nothing here: keep the character
      out.push_back(input[c++]);
    c += n;
  }
  return out;
}

bool replaceOne(Workbook& book, int sheetIndex, const FindSettings& s) {
  if (!searchable(book, sheetIndex) || s.findText.empty())
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  const Matcher match{book, sheetIndex, FindScope::Formulas, functions::WildcardPattern(findPattern(s), s.matchCase)};
  CellRecord* c = model::cell_at(sheet, sheet.activeRow, sheet.activeColumn);
  if (!c || !match(*c)) {
    notFound();
    return false;
  }
  const CellRange at{c->row, c->column, c->row, c->column};
  if (!model::guard_range(book, sheet, at, model::kGuardProtection | model::kGuardArrayPart))
    return false;
  const std::u16string text = replaceInText(c->input.view(), s);
  if (!model::push_undo_range(book, sheetIndex, model::kUndoReplace, at))
    return false;
  if (!model::set_cell(book, sheetIndex, at.firstRow, at.firstColumn, text, c->formatIndex, true, true))
    return false;
  model::mark_modified(book);
  const std::optional<CellRange> area = searchArea(sheet);
  if (CellRecord* next = nextMatch(sheet, startAfter(at.firstRow, at.firstColumn), area, match))
    makeActive(sheet, next->row, next->column, area.has_value());
  return true;
}

int replaceAll(Workbook& book, int sheetIndex, const FindSettings& s) {
  if (!searchable(book, sheetIndex) || s.findText.empty())
    return 0;
  Sheet& sheet = book.sheet(sheetIndex);
  const std::optional<CellRange> area = searchArea(sheet);
  const CellRange scope = area.value_or(CellRange{0, 0, model::kMaxRow, model::kMaxColumn});
  const Matcher match{book, sheetIndex, FindScope::Formulas, functions::WildcardPattern(findPattern(s), s.matchCase)};
  std::vector<std::uint32_t> hits;
  if (!platform::withAllocation([&] {
        sheet.cells.forEachIn(scope, [&](CellRecord& c) {
          if (match(c))
            hits.push_back(model::packCell(c.row, c.column));
        });
      }))
    return 0;
  if (hits.empty()) {
    notFound();
    return 0;
  }
  // Every refusal comes before the first change.
  const bool locks = (sheet.flags & model::kSheetProtected) != 0;
  for (const std::uint32_t key : hits) {
    const int row = model::packedRow(key), column = model::packedColumn(key);
    if (locks && model::isCellLocked(book, sheet, row, column)) {
      makeActive(sheet, row, column, area.has_value());
      model::showRefusal(model::GuardRefusal::Protected);
      return 0;
    }
    for (const model::ArrayFormulaRecord& a : sheet.arrayFormulas)
      if (a.range.contains(row, column) && !(area && area->contains(a.range.firstRow, a.range.firstColumn) &&
                                              area->contains(a.range.lastRow, a.range.lastColumn))) {
        makeActive(sheet, row, column, area.has_value());
        model::showRefusal(model::GuardRefusal::ArrayPart);
        return 0;
      }
  }
  if (!model::push_undo_range(book, sheetIndex, model::kUndoReplace, scope))
    return 0;
  int done = 0;
  std::u16string text;
  (void)platform::withAllocation([&] {
    for (const std::uint32_t key : hits) {
      CellRecord* c = model::cell_at(sheet, model::packedRow(key), model::packedColumn(key));
      if (!c)
        continue;
      text = replaceInText(c->input.view(), s);
      if (!model::set_cell(book, sheetIndex, c->row, c->column, text, c->formatIndex, false, false))
        throw std::bad_alloc();
      ++done;
    }
  });
  model::fitRowsOfRange(book, sheetIndex, scope);
  model::mark_modified(book);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, sheetIndex, hits); });
  return done;
}

std::optional<GoToTarget> goToTarget(const Workbook& book, std::u16string_view text) {
  const std::u16string& separators = platform::localeStrings().listSeparator;
  const char16_t listSeparator = separators.empty() ? u',' : separators[0];
  const auto read = [&](std::u16string_view t) -> std::optional<GoToTarget> {
    formula::ParsedReference ref;
    if (t.empty() || !formula::readA1Reference(t, 0, &book, listSeparator, ref) || ref.end != t.size())
      return std::nullopt;
    const int sheet = ref.hasQualifier ? ref.sheet : book.activeSheet;
    if (!searchable(book, sheet))
      return std::nullopt;
    return GoToTarget{sheet, ref.range()};
  };
  if (std::optional<GoToTarget> t = read(text))
    return t;
  // A name that stands for a reference: a local name of the active sheet
  // before a global one.
  const model::DefinedName* found = nullptr;
  for (const model::DefinedName& n : book.names) {
    if (!platform::equalsIgnoreCase(n.name, text))
      continue;
    if (n.sheetIndex == book.activeSheet + 1) {
      found = &n;
      break;
    }
    if (n.sheetIndex == 0 && !found)
      found = &n;
  }
  if (!found || found->formula.size() < 2 || found->formula.front() != u'=')
    return std::nullopt;
  return read(std::u16string_view(found->formula).substr(1));
}

void goTo(Workbook& book, const GoToTarget& t) {
  if (!searchable(book, t.sheet))
    return;
  if (book.activeSheet != t.sheet)
    model::activate_sheet(book, t.sheet);
  Sheet& sheet = book.sheet(t.sheet);
  sheet.selectionFirst = model::packCell(t.range.firstRow, t.range.firstColumn);
  sheet.selectionLast = model::packCell(t.range.lastRow, t.range.lastColumn);
  sheet.activeRow = t.range.firstRow;
  sheet.activeColumn = t.range.firstColumn;
}

} // namespace datatools
