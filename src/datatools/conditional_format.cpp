#include "datatools/conditional_format.h"

#include "datatools/validation.h"
#include "edit/paste.h"
#include "formula/range_cache.h"
#include "formula/recalc.h"
#include "formula/reader.h"
#include "formula/text_value.h"
#include "formula/value_ops.h"
#include "model/undo.h"
#include "platform/memory.h"

#include <unordered_map>

namespace datatools {
namespace {

using model::CellRange;
using model::CellValue;
using model::ConditionalFormat;
using model::FormatCondition;

bool isFormulaText(std::u16string_view t) { return t.size() > 1 && t.front() == u'='; }

CellValue operandAt(model::Workbook& book, int sheet, std::u16string_view moved, int row, int column) {
  if (!isFormulaText(moved)) {
    formula::TextOptions o;
    o.date1904 = book.date1904 != 0;
    return formula::classifyText(moved, o).value;
  }
  formula::EvalContext ctx;
  ctx.book = &book;
  ctx.sheet = sheet;
  ctx.row = static_cast<std::uint16_t>(row);
  ctx.column = static_cast<std::uint8_t>(column);
  return formula::evaluateFormula(moved, ctx);
}

// v compared with an operand as a formula's "<" and "=" would: an empty
// cell is 0 against a number and "" against text.
int compareWith(const CellValue& v, const CellValue& operand) {
  if (v.isEmpty()) {
    if (operand.isString())
      return formula::compareValues(CellValue::string(u""), operand);
    if (operand.isBoolean())
      return formula::compareValues(CellValue::boolean(false), operand);
    return formula::compareValues(CellValue::number(0), operand.isEmpty() ? CellValue::number(0) : operand);
  }
  if (operand.isEmpty())
    return formula::compareValues(v, v.isString() ? CellValue::string(u"") : CellValue::number(0));
  return formula::compareValues(v, operand);
}

// Operands moved to one cell, evaluated with texts that are already moved.
bool holdsMoved(model::Workbook& book, int sheet, const FormatCondition& c, std::u16string_view op1,
                std::u16string_view op2, int row, int column, const CellValue& v) {
  if (op1.empty())
    return false;
  const CellValue a = operandAt(book, sheet, op1, row, column);
  if (c.kind == 2)
    return a.isBoolean() && a.booleanValue();
  if (c.kind != 1 || a.isError())
    return false;
  const int toA = compareWith(v, a);
  if (c.op == 1 || c.op == 2) {
    const CellValue b = operandAt(book, sheet, op2, row, column);
    if (b.isError())
      return false;
    const bool inside = toA >= 0 && compareWith(v, b) <= 0;
    return c.op == 1 ? inside : !inside;
  }
  switch (c.op) {
  case 3:
    return toA == 0;
  case 4:
    return toA != 0;
  case 5:
    return toA > 0;
  case 6:
    return toA < 0;
  case 7:
    return toA >= 0;
  case 8:
    return toA <= 0;
  default:
    return false; // an operator outside the table never holds
  }
}

// What painting keeps per cell while the sheet's sets stay as they are.
struct CellEntry {
  std::array<std::u16string, model::kMaxFormatConditions> op1, op2; // moved to the cell
  CellValue value; // the cell's own value the answer was given for
  std::uint64_t stamp = 0;
  std::uint64_t namesGeneration = 0;
  std::int8_t answer = -1; // the condition that held, -1 none
  bool answered = false;
  bool isVolatile = false;
};

struct ConditionCache {
  std::uint64_t structureGeneration = 0;
  std::unordered_map<std::uint32_t, CellEntry> cells; // by packed address
};

// Past this many cells the cache starts again, so a sheet scrolled end to
// end does not keep every cell it ever showed.
constexpr size_t kMaxCachedCells = 1 << 16;

ConditionCache* cacheOf(model::Workbook& book, const model::Sheet& s) {
  const model::RuleIndex* index = s.conditionalFormats.index();
  if (!index)
    return nullptr;
  auto* cache = static_cast<ConditionCache*>(index->derived.get());
  if (!cache || cache->structureGeneration != book.structureGeneration) {
    if (!platform::withAllocationQuiet([&] { index->derived = std::make_shared<ConditionCache>(); }))
      return nullptr;
    cache = static_cast<ConditionCache*>(index->derived.get());
    cache->structureGeneration = book.structureGeneration;
  }
  if (cache->cells.size() > kMaxCachedCells)
    cache->cells.clear();
  return cache;
}

CellValue valueOf(model::Workbook& book, int sheet, int row, int column) {
  model::CellRecord* c = model::cell_at(book.sheet(sheet), static_cast<std::uint16_t>(row),
                                        static_cast<std::uint8_t>(column));
  if (!c)
    return {};
  if (c->isFormula && c->calcState == model::CalcState::NotValid)
    formula::computeCell(book, sheet, *c);
  return c->value;
}

} // namespace

bool conditionHolds(model::Workbook& book, int sheet, const FormatCondition& c, int row, int column,
                    const CellValue& value) {
  const std::optional<std::u16string> op1 = ruleFormulaAt(book, sheet, c.operand1, row, column);
  const std::optional<std::u16string> op2 = ruleFormulaAt(book, sheet, c.operand2, row, column);
  return op1 && op2 && holdsMoved(book, sheet, c, *op1, *op2, row, column, value);
}

const FormatCondition* activeCondition(model::Workbook& book, int sheet, int row, int column) {
  const model::Sheet& s = book.sheet(sheet);
  if (s.conditionalFormats.empty())
    return nullptr;
  const model::RuleIndex* index = s.conditionalFormats.index();
  if (!index)
    return nullptr;
  const int at = index->find(row, column);
  if (at < 0)
    return nullptr;
  const ConditionalFormat& set = s.conditionalFormats[static_cast<size_t>(at)];
  const CellValue v = valueOf(book, sheet, row, column);
  if (v.isError())
    return nullptr;
  const size_t count = std::min<size_t>(set.conditions.size(), model::kMaxFormatConditions);
  ConditionCache* cache = cacheOf(book, s);
  if (!cache) {
    for (size_t k = 0; k < count; ++k)
      if (conditionHolds(book, sheet, set.conditions[k], row, column, v))
        return &set.conditions[k];
    return nullptr;
  }
  CellEntry* e = nullptr;
  if (!platform::withAllocationQuiet([&] {
        auto [it, added] = cache->cells.try_emplace(model::packCell(static_cast<std::uint16_t>(row),
                                                                    static_cast<std::uint8_t>(column)));
        e = &it->second;
        if (!added)
          return;
        for (size_t k = 0; k < count; ++k) {
          const FormatCondition& c = set.conditions[k];
          e->op1[k] = ruleFormulaAt(book, sheet, c.operand1, row, column).value_or(std::u16string());
          e->op2[k] = ruleFormulaAt(book, sheet, c.operand2, row, column).value_or(std::u16string());
          e->isVolatile |= model::volatilityClassOf(c.operand1) != model::VolatilityClass::None ||
                           model::volatilityClassOf(c.operand2) != model::VolatilityClass::None;
        }
      })) {
    cache->cells.clear(); // no half-filled entry stays behind
    return nullptr;
  }
  const std::uint64_t stamp = formula::valueChangeCount();
  if (e->answered && !e->isVolatile && e->stamp == stamp && e->namesGeneration == book.namesGeneration &&
      e->value == v)
    return e->answer < 0 ? nullptr : &set.conditions[static_cast<size_t>(e->answer)];
  e->answer = -1;
  for (size_t k = 0; k < count; ++k)
    if (holdsMoved(book, sheet, set.conditions[k], e->op1[k], e->op2[k], row, column, v)) {
      e->answer = static_cast<std::int8_t>(k);
      break;
    }
  // Computing the operands may itself bring cells up to date: the answer is
  // stamped with the count as it stands afterwards.
  e->stamp = formula::valueChangeCount();
  e->namesGeneration = book.namesGeneration;
  // Without room for the value the answer is not kept.
  e->answered = platform::withAllocationQuiet([&] { e->value = v; });
  return e->answer < 0 ? nullptr : &set.conditions[static_cast<size_t>(e->answer)];
}

ConditionPages conditionsUnder(const model::Workbook& book, int sheet, const CellRange& selection, int activeRow,
                               int activeColumn) {
  ConditionPages pages;
  const model::Sheet& s = book.sheet(sheet);
  bool first = true;
  for (const ConditionalFormat& set : s.conditionalFormats.items()) {
    if (std::none_of(set.ranges.begin(), set.ranges.end(),
                     [&](const CellRange& r) { return r.intersects(selection); }))
      continue;
    ConditionPages these;
    for (size_t k = 0; k < set.conditions.size() && k < these.size(); ++k)
      these[k] = set.conditions[k];
    if (first) {
      pages = these;
      first = false;
      continue;
    }
    // Every field in which a later set differs is cleared.
    for (size_t k = 0; k < pages.size(); ++k) {
      FormatCondition& p = pages[k];
      const FormatCondition& o = these[k];
      const auto clear = [](auto& mine, const auto& other) {
        if (!(mine == other))
          mine = {};
      };
      clear(p.kind, o.kind);
      clear(p.op, o.op);
      clear(p.operand1, o.operand1);
      clear(p.operand2, o.operand2);
      clear(p.hasFont, o.hasFont);
      clear(p.hasBorder, o.hasBorder);
      clear(p.hasPattern, o.hasPattern);
      for (size_t i = 0; i < p.font.size(); ++i)
        clear(p.font[i], o.font[i]);
      for (size_t i = 0; i < p.borders.size(); ++i)
        clear(p.borders[i], o.borders[i]);
      for (size_t i = 0; i < p.pattern.size(); ++i)
        clear(p.pattern[i], o.pattern[i]);
    }
  }
  for (FormatCondition& p : pages) {
    if (first) {
      p.kind = 1;
      p.op = 1;
    }
    for (std::u16string* t : {&p.operand1, &p.operand2})
      *t = ruleFormulaAt(book, sheet, *t, activeRow, activeColumn).value_or(std::u16string());
  }
  return pages;
}

bool storeConditionalFormat(model::Workbook& book, int sheet, const CellRange& selection, int activeRow,
                            int activeColumn, const ConditionPages& pages) {
  ConditionalFormat set;
  const bool built = platform::withAllocation([&] {
    for (const FormatCondition& p : pages) {
      if (p.kind == 0 || p.operand1.empty())
        continue;
      FormatCondition c = p;
      if (!(c.kind == 1 && (c.op == 1 || c.op == 2)))
        c.operand2.clear();
      for (std::u16string* t : {&c.operand1, &c.operand2}) {
        std::optional<std::u16string> kept = ruleFormulaAt(book, sheet, *t, -activeRow, -activeColumn);
        if (!kept)
          throw std::bad_alloc();
        *t = std::move(*kept);
      }
      if (isFormulaText(c.operand1) || isFormulaText(c.operand2))
        set.flags |= 1; // an operand is a formula: computed again with the cells
      set.conditions.push_back(std::move(c));
    }
  });
  if (!built || !model::push_undo_range(book, sheet, model::kUndoConditionalFormat, selection))
    return false;
  const bool done = platform::withAllocation([&] {
    model::Sheet& s = book.sheet(sheet);
    edit::cutOutOfConditionalFormats(s, selection);
    if (!set.conditions.empty()) {
      set.ranges = {selection};
      s.conditionalFormats.push_back(std::move(set));
    }
  });
  model::mark_modified(book);
  return done;
}

} // namespace datatools
