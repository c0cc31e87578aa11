#include "datatools/autofilter.h"

#include "datatools/sort.h"
#include "formula/recalc.h"
#include "formula/text_value.h"
#include "functions/criteria.h"
#include "model/auto_filter.h"
#include "model/display_text.h"
#include "model/range_guard.h"
#include "model/undo.h"
#include "platform/memory.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace datatools {

using model::CellRange;
using model::CellRecord;
using model::FilterCondition;
using model::FilterCriterion;
using model::Sheet;
using model::Workbook;

namespace {

constexpr int kSpecialsBefore = 3; // "(全部)", "(前 10 个…)", "(自定义…)"
constexpr double kEqualTolerance = 5.6E-17;
constexpr int kMostTopTen = 500;

bool filterable(const Workbook& book, int sheetIndex) {
  return sheetIndex >= 0 && sheetIndex < book.sheetCount() &&
         book.sheet(sheetIndex).kind == model::SheetKind::Worksheet;
}

bool filterOn(const Workbook& book, int sheetIndex) {
  return filterable(book, sheetIndex) && (book.sheet(sheetIndex).flags & model::kSheetAutoFilter);
}

bool isBlank(const CellRecord* c) { return !c || c->input.isNull() || c->input.size() == 0; }

// The cell as the filter sees it; the text stays valid until the next call.
FilterCell filterCellAt(Workbook& book, int sheetIndex, int row, int column) {
  FilterCell out;
  CellRecord* c = model::cell_at(book.sheet(sheetIndex), static_cast<std::uint16_t>(row),
                                 static_cast<std::uint8_t>(column));
  if (isBlank(c)) {
    out.blank = true;
    return out;
  }
  if (c->calcState == model::CalcState::NotValid)
    formula::computeCell(book, sheetIndex, *c);
  out.isNumber = c->value.isNumber();
  if (out.isNumber)
    out.number = c->value.numberValue();
  out.text = model::cell_plain_text(book, sheetIndex, *c);
  return out;
}

bool rowHasData(const Sheet& sheet, int row, int firstColumn, int lastColumn) {
  for (int column = firstColumn; column <= lastColumn; ++column)
    if (!isBlank(model::cell_at(sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column))))
      return true;
  return false;
}

// A condition read once and tested against many cells.
class CompiledCondition {
public:
  explicit CompiledCondition(const FilterCondition& c)
      : m_kind(c.kind), m_comparison(c.comparison), m_operand(c.operand), m_pattern(c.operand, false) {
    if (m_kind != model::kFilterComparison)
      return;
    const formula::Classification k = formula::classifyText(c.operand);
    m_operandIsNumber = k.kind == formula::TextClass::Number && k.value.isNumber();
    if (m_operandIsNumber)
      m_number = k.value.numberValue();
  }

  bool exists() const { return m_kind != model::kFilterNone; }

  bool matches(const FilterCell& cell) const {
    switch (m_kind) {
    case model::kFilterBlanks: return cell.blank;
    case model::kFilterNonBlanks: return !cell.blank;
    case model::kFilterComparison: break;
    default: return true;
    }
    const bool numeric = cell.isNumber && m_operandIsNumber;
    switch (m_comparison) {
    case model::kCompareLess: return numeric && cell.number < m_number;
    case model::kCompareGreater: return numeric && cell.number > m_number;
    case model::kCompareLessOrEqual:
      return numeric ? cell.number <= m_number : !cell.blank && functions::compareFolded(cell.text, m_operand) == 0;
    case model::kCompareGreaterOrEqual:
      return numeric ? cell.number >= m_number : !cell.blank && functions::compareFolded(cell.text, m_operand) == 0;
    case model::kCompareEqual: return equal(cell, numeric);
    case model::kCompareNotEqual: return !equal(cell, numeric);
    default: return true; // a comparison no file should hold filters nothing
    }
  }

private:
  bool equal(const FilterCell& cell, bool numeric) const {
    if (numeric && std::fabs(cell.number - m_number) < kEqualTolerance)
      return true;
    // The shown text counts for numbers too: a number chosen from the list
    // by the text it shows must keep its row.
    if (!cell.blank)
      return m_pattern.matches(cell.text);
    return m_operand.empty();
  }

  std::uint8_t m_kind;
  std::uint8_t m_comparison;
  std::u16string m_operand;
  functions::WildcardPattern m_pattern;
  bool m_operandIsNumber = false;
  double m_number = 0;
};

struct CompiledColumn {
  int column = 0; // on the sheet
  const FilterCriterion* criterion = nullptr;
  CompiledCondition first;
  CompiledCondition second;

  bool passes(const FilterCell& cell) const {
    const FilterCriterion& f = *criterion;
    if (f.topActive)
      return cell.isNumber && (f.top ? cell.number >= f.threshold : cell.number <= f.threshold);
    bool r = first.matches(cell);
    if (second.exists() && r != f.orJoin)
      r = second.matches(cell);
    return r;
  }
};

// The rows the filter's commands may hide or show, kept by their undo entries.
CellRange dataRows(const Sheet& sheet) {
  const model::AutoFilterState& f = sheet.autoFilter;
  return {static_cast<std::uint16_t>(std::min<int>(f.firstRow + 1, model::kMaxRow)), 0, f.lastRow,
          static_cast<std::uint8_t>(model::kMaxColumn)};
}

bool recordFilterUndo(Workbook& book, int sheetIndex, model::UndoAction action, const CellRange& rows) {
  return model::push_undo(book, sheetIndex, action) && model::save_auto_filter(book, sheetIndex, rows);
}

bool endsWithWildStar(std::u16string_view t) {
  return !t.empty() && t.back() == u'*' && (t.size() < 2 || t[t.size() - 2] != u'~');
}

} // namespace

FilterEntry FilterList::kindOf(int index) const {
  const int n = static_cast<int>(entries.size());
  if (index == 0)
    return FilterEntry::All;
  if (index == 1)
    return FilterEntry::TopTen;
  if (index == 2)
    return FilterEntry::Custom;
  if (hasBlanks && index == n - 2)
    return FilterEntry::Blanks;
  if (hasBlanks && index == n - 1)
    return FilterEntry::NonBlanks;
  return FilterEntry::Value;
}

bool toggleAutoFilter(Workbook& book, int sheetIndex, const CellRange& selection, int activeRow,
                      int activeColumn) {
  if (!filterable(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  if (sheet.flags & model::kSheetProtected) {
    model::showRefusal(model::GuardRefusal::Protected);
    return false;
  }
  if (sheet.flags & model::kSheetAutoFilter) {
    if (!recordFilterUndo(book, sheetIndex, model::kUndoAutoFilter, dataRows(sheet)))
      return false;
    model::removeAutoFilter(sheet);
    model::mark_modified(book);
    formula::recalcSheet(book, sheetIndex);
    return true;
  }
  const CellRange range = selection.isSingleCell() ? currentRegion(sheet, activeRow, activeColumn) : selection;
  const CellRange rows{static_cast<std::uint16_t>(std::min<int>(range.firstRow + 1, model::kMaxRow)), 0,
                       range.lastRow, static_cast<std::uint8_t>(model::kMaxColumn)};
  if (!recordFilterUndo(book, sheetIndex, model::kUndoAutoFilter, rows))
    return false;
  const bool ok = platform::withAllocation([&] {
    model::AutoFilterState& f = sheet.autoFilter;
    f.firstRow = range.firstRow;
    f.firstColumn = range.firstColumn;
    f.lastRow = range.lastRow;
    f.lastColumn = range.lastColumn;
    f.criteria.assign(static_cast<size_t>(range.columnCount()), FilterCriterion{});
    sheet.flags |= model::kSheetAutoFilter;
    model::placeFilterArrows(sheet);
  });
  if (!ok) {
    model::removeAutoFilter(sheet);
    return false;
  }
  model::mark_modified(book);
  return true;
}

FilterList buildFilterList(Workbook& book, int sheetIndex, int column) {
  FilterList list;
  if (!filterOn(book, sheetIndex))
    return list;
  Sheet& sheet = book.sheet(sheetIndex);
  model::AutoFilterState& f = sheet.autoFilter;
  if (column < 0 || column >= static_cast<int>(f.criteria.size()))
    return list;
  // Rows added right below the block belong to it now.
  int last = f.lastRow;
  while (last < model::kMaxRow && rowHasData(sheet, last + 1, f.firstColumn, f.lastColumn))
    ++last;
  f.lastRow = static_cast<std::uint16_t>(last);

  const int sheetColumn = f.firstColumn + column;
  const bool ok = platform::withAllocation([&] {
    std::unordered_set<std::u16string> seen;
    std::vector<std::u16string> values;
    for (int row = f.firstRow + 1; row <= f.lastRow; ++row) {
      const FilterCell cell = filterCellAt(book, sheetIndex, row, sheetColumn);
      if (cell.blank) {
        list.hasBlanks = true;
        continue;
      }
      if (!cell.text.empty() && seen.insert(platform::foldCase(cell.text)).second)
        values.emplace_back(cell.text);
    }
    std::sort(values.begin(), values.end(), [](const std::u16string& a, const std::u16string& b) {
      const int c = functions::compareFolded(a, b);
      return c != 0 ? c < 0 : a < b;
    });
    list.entries.reserve(values.size() + kSpecialsBefore + 2);
    list.entries.emplace_back(kFilterAll);
    list.entries.emplace_back(kFilterTopTen);
    list.entries.emplace_back(kFilterCustom);
    for (std::u16string& v : values)
      list.entries.push_back(std::move(v));
    if (list.hasBlanks) {
      list.entries.emplace_back(kFilterBlanks);
      list.entries.emplace_back(kFilterNonBlanks);
    }
  });
  if (!ok)
    return {};
  f.criteria[static_cast<size_t>(column)].hasBlanks = list.hasBlanks;
  return list;
}

std::u16string escapeWildcards(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    if (c == u'*' || c == u'?' || c == u'~')
      out += u'~';
    out += c;
  }
  return out;
}

double topTenThreshold(Workbook& book, int sheetIndex, int column, bool top, int count, bool percent) {
  if (!filterOn(book, sheetIndex))
    return 0;
  const model::AutoFilterState& f = book.sheet(sheetIndex).autoFilter;
  std::vector<double> v;
  for (int row = f.firstRow + 1; row <= f.lastRow; ++row) {
    const FilterCell cell = filterCellAt(book, sheetIndex, row, f.firstColumn + column);
    if (cell.isNumber)
      v.push_back(cell.number);
  }
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  const int n = static_cast<int>(v.size());
  const int N = std::clamp(count, 1, kMostTopTen);
  if (percent)
    return v[0] + (top ? 100 - N : N) * (v[static_cast<size_t>(n - 1)] - v[0]) * 0.01;
  return top ? v[static_cast<size_t>(std::max(n - N, 0))] : v[static_cast<size_t>(std::min(N - 1, n - 1))];
}

FilterCondition conditionOfCustomRow(const CustomRow& row) {
  FilterCondition c;
  if (row.op <= kCustomNone || row.op >= kCustomOperatorCount)
    return c;
  c.kind = model::kFilterComparison;
  switch (row.op) {
  case kCustomEqual: c.comparison = model::kCompareEqual; c.operand = row.text; break;
  case kCustomNotEqual: c.comparison = model::kCompareNotEqual; c.operand = row.text; break;
  case kCustomGreater: c.comparison = model::kCompareGreater; c.operand = row.text; break;
  case kCustomGreaterOrEqual: c.comparison = model::kCompareGreaterOrEqual; c.operand = row.text; break;
  case kCustomLess: c.comparison = model::kCompareLess; c.operand = row.text; break;
  case kCustomLessOrEqual: c.comparison = model::kCompareLessOrEqual; c.operand = row.text; break;
  case kCustomBeginsWith:
  case kCustomNotBeginsWith:
    c.comparison = row.op == kCustomBeginsWith ? model::kCompareEqual : model::kCompareNotEqual;
    c.operand = row.text + u"*";
    break;
  case kCustomEndsWith:
  case kCustomNotEndsWith:
    c.comparison = row.op == kCustomEndsWith ? model::kCompareEqual : model::kCompareNotEqual;
    c.operand = u"*" + row.text;
    break;
  default: // contains, does not contain
    c.comparison = row.op == kCustomContains ? model::kCompareEqual : model::kCompareNotEqual;
    c.operand = u"*" + row.text + u"*";
    break;
  }
  return c;
}

CustomRow customRowOfCondition(const FilterCondition& c) {
  CustomRow row;
  if (c.kind != model::kFilterComparison)
    return row;
  const std::u16string& t = c.operand;
  switch (c.comparison) {
  case model::kCompareGreater: return {kCustomGreater, t};
  case model::kCompareGreaterOrEqual: return {kCustomGreaterOrEqual, t};
  case model::kCompareLess: return {kCustomLess, t};
  case model::kCompareLessOrEqual: return {kCustomLessOrEqual, t};
  case model::kCompareEqual:
  case model::kCompareNotEqual: break;
  default: return row;
  }
  const bool equal = c.comparison == model::kCompareEqual;
  const bool leading = !t.empty() && t.front() == u'*';
  const bool trailing = t.size() > (leading ? 1u : 0u) && endsWithWildStar(t);
  if (leading && trailing)
    return {equal ? kCustomContains : kCustomNotContains, t.substr(1, t.size() - 2)};
  if (trailing)
    return {equal ? kCustomBeginsWith : kCustomNotBeginsWith, t.substr(0, t.size() - 1)};
  if (leading)
    return {equal ? kCustomEndsWith : kCustomNotEndsWith, t.substr(1)};
  return {equal ? kCustomEqual : kCustomNotEqual, t};
}

bool setFilterCriterion(Workbook& book, int sheetIndex, int column, const FilterCriterion& criterion) {
  if (!filterOn(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  if (column < 0 || column >= static_cast<int>(sheet.autoFilter.criteria.size()))
    return false;
  if (!recordFilterUndo(book, sheetIndex, model::kUndoAutoFilter, dataRows(sheet)))
    return false;
  FilterCriterion& slot = sheet.autoFilter.criteria[static_cast<size_t>(column)];
  const bool hasBlanks = slot.hasBlanks;
  slot = criterion;
  slot.hasBlanks = hasBlanks;
  applyFilters(book, sheetIndex);
  model::mark_modified(book);
  // SUBTOTAL and its kind see the rows the filter hides.
  formula::recalcSheet(book, sheetIndex);
  return true;
}

bool chooseFilterEntry(Workbook& book, int sheetIndex, int column, const FilterList& list, int index,
                       const FilterDialogs& dialogs) {
  if (!filterOn(book, sheetIndex) || index < 0 || index >= static_cast<int>(list.entries.size()))
    return false;
  const model::AutoFilterState& f = book.sheet(sheetIndex).autoFilter;
  if (column < 0 || column >= static_cast<int>(f.criteria.size()))
    return false;
  const FilterCriterion current = f.criteria[static_cast<size_t>(column)];
  FilterCriterion c;
  switch (list.kindOf(index)) {
  case FilterEntry::All: break;
  case FilterEntry::TopTen: {
    const std::optional<TopTenChoice> t = dialogs.topTen ? dialogs.topTen(current) : std::nullopt;
    if (!t)
      return false;
    c.topActive = true;
    c.top = t->top;
    c.count = static_cast<std::uint16_t>(std::clamp(t->count, 1, kMostTopTen));
    c.percent = t->percent;
    c.threshold = topTenThreshold(book, sheetIndex, column, c.top, c.count, c.percent);
    break;
  }
  case FilterEntry::Custom: {
    const std::optional<CustomChoice> t = dialogs.custom ? dialogs.custom(current) : std::nullopt;
    if (!t)
      return false;
    c.orJoin = t->orJoin;
    c.conditions[0] = conditionOfCustomRow(t->rows[0]);
    c.conditions[1] = conditionOfCustomRow(t->rows[1]);
    break;
  }
  case FilterEntry::Blanks:
  case FilterEntry::NonBlanks:
    c.conditions[0].kind = list.kindOf(index) == FilterEntry::Blanks ? model::kFilterBlanks : model::kFilterNonBlanks;
    break;
  case FilterEntry::Value:
    c.conditions[0] = {model::kFilterComparison, model::kCompareEqual,
                       escapeWildcards(list.entries[static_cast<size_t>(index)])};
    break;
  }
  return setFilterCriterion(book, sheetIndex, column, c);
}

void applyFilters(Workbook& book, int sheetIndex) {
  if (!filterOn(book, sheetIndex))
    return;
  Sheet& sheet = book.sheet(sheetIndex);
  const model::AutoFilterState& f = sheet.autoFilter;
  const int first = f.firstRow + 1, last = f.lastRow;
  if (first > last)
    return;
  (void)platform::withAllocation([&] {
    std::vector<CompiledColumn> columns;
    for (size_t i = 0; i < f.criteria.size(); ++i) {
      const FilterCriterion& c = f.criteria[i];
      if (c.isActive())
        columns.push_back({f.firstColumn + static_cast<int>(i), &c, CompiledCondition(c.conditions[0]),
                           CompiledCondition(c.conditions[1])});
    }
    std::vector<char> hide(static_cast<size_t>(last - first + 1), 0);
    if (!columns.empty())
      for (int row = first; row <= last; ++row)
        for (const CompiledColumn& c : columns)
          if (!c.passes(filterCellAt(book, sheetIndex, row, c.column))) {
            hide[static_cast<size_t>(row - first)] = 1;
            break;
          }

    // One merge of the row records with the verdicts: the rows the filter
    // hid show, the failing rows not hidden by hand hide.
    const std::vector<model::RowRecord>& old = sheet.rows.items();
    std::vector<model::RowRecord> rows;
    rows.reserve(old.size() + static_cast<size_t>(std::count(hide.begin(), hide.end(), 1)));
    size_t i = 0;
    for (; i < old.size() && old[i].row < first; ++i)
      rows.push_back(old[i]);
    for (int row = first; row <= last; ++row) {
      model::RowRecord r;
      r.row = static_cast<std::uint16_t>(row);
      const bool stored = i < old.size() && old[i].row == row;
      if (stored)
        r = old[i++];
      if (r.flags & model::kLineFilterHidden)
        r.flags &= ~(model::kLineHidden | model::kLineFilterHidden);
      if (hide[static_cast<size_t>(row - first)] && !(r.flags & model::kLineHidden))
        r.flags |= model::kLineHidden | model::kLineFilterHidden;
      // A record that says no more than an absent one would is left out.
      if (stored ? r.flags != model::kLineDefaultSize || !(old[i - 1].flags & model::kLineFilterHidden)
                 : r.flags != model::kLineDefaultSize)
        rows.push_back(r);
    }
    for (; i < old.size(); ++i)
      rows.push_back(old[i]);
    sheet.rows = std::move(rows);
  });
}

bool matchCondition(const FilterCondition& condition, const FilterCell& cell) {
  return CompiledCondition(condition).matches(cell);
}

} // namespace datatools
