#include "datatools/validation.h"

#include "edit/paste.h"
#include "formula/reader.h"
#include "formula/recalc.h"
#include "formula/rewrite.h"
#include "formula/text_value.h"
#include "formula/value_ops.h"
#include "model/display_text.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "numfmt/number_format.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"

#include <cmath>

namespace datatools {
namespace {

using model::CellRange;
using model::CellValue;
using model::ValidationRule;

bool isFormulaText(std::u16string_view t) { return t.size() > 1 && t.front() == u'='; }

model::CellRecord* computedCell(model::Workbook& book, int sheet, int row, int column) {
  model::CellRecord* c = model::cell_at(book.sheet(sheet), static_cast<std::uint16_t>(row),
                                        static_cast<std::uint8_t>(column));
  if (c && c->isFormula && c->calcState == model::CalcState::NotValid)
    formula::computeCell(book, sheet, *c);
  return c;
}

// An operand as seen from the cell: a formula is computed there, other text
// is read as if typed. Nothing when it cannot be computed (memory).
std::optional<CellValue> operandValue(model::Workbook& book, int sheet, std::u16string_view text, int row,
                                      int column, bool keepReference) {
  if (!isFormulaText(text)) {
    formula::TextOptions o;
    o.date1904 = book.date1904 != 0;
    return formula::classifyText(text, o).value;
  }
  const std::optional<std::u16string> moved = ruleFormulaAt(book, sheet, text, row, column);
  if (!moved)
    return std::nullopt;
  formula::EvalContext ctx;
  ctx.book = &book;
  ctx.sheet = sheet;
  ctx.row = static_cast<std::uint16_t>(row);
  ctx.column = static_cast<std::uint8_t>(column);
  if (keepReference)
    return formula::evaluateSpan(*moved, 0, moved->size(), ctx);
  return formula::evaluateFormula(*moved, ctx);
}

std::optional<double> operandNumber(model::Workbook& book, int sheet, std::u16string_view text, int row,
                                    int column) {
  const std::optional<CellValue> v = operandValue(book, sheet, text, row, column, false);
  if (!v || !v->isNumber())
    return std::nullopt;
  return v->numberValue();
}

// The operator test of a rule; an operand that gives no number fails it.
bool operatorHolds(model::Workbook& book, int sheet, const ValidationRule& rule, double x, int row, int column) {
  const std::optional<double> a = operandNumber(book, sheet, rule.formula1, row, column);
  if (!a)
    return false;
  if (rule.op == 0 || rule.op == 1) {
    const std::optional<double> b = operandNumber(book, sheet, rule.formula2, row, column);
    if (!b)
      return false;
    const bool inside = *a <= x && x <= *b;
    return rule.op == 0 ? inside : !inside;
  }
  switch (rule.op) {
  case 2:
    return x == *a;
  case 3:
    return x != *a;
  case 4:
    return x > *a;
  case 5:
    return x < *a;
  case 6:
    return x >= *a;
  case 7:
    return x <= *a;
  default:
    return false; // an operator no program writes never holds
  }
}

std::vector<std::u16string> plainItems(std::u16string_view source) {
  std::vector<std::u16string> items;
  const std::u16string_view sep = platform::localeStrings().listSeparator;
  std::u16string item;
  for (size_t k = 0; k < source.size();) {
    if (!sep.empty() && source.substr(k, sep.size()) == sep) {
      items.push_back(std::move(item));
      item.clear();
      k += sep.size();
    } else {
      item += source[k++];
    }
  }
  items.push_back(std::move(item));
  return items;
}

bool sameValue(const CellValue& a, const CellValue& b) {
  if (a.kind() != b.kind())
    return false;
  if (a.isNumber())
    return a.numberValue() == b.numberValue();
  return a == b;
}

// Calls fn on each area of a computed list source that lies on a sheet of
// the workbook.
template <class Fn> void forEachSourceArea(const model::Workbook& book, int sheet, const CellValue& v, Fn&& fn) {
  std::vector<model::SheetRange> areas;
  if (v.isReference())
    areas.push_back(v.referenceValue());
  else if (v.isMultiArea())
    areas = v.areasValue();
  for (const model::SheetRange& a : areas) {
    const int s = a.sheet < 0 ? sheet : a.sheet;
    if (s < book.sheetCount())
      fn(s, a.range());
  }
}

bool inItems(model::Workbook& book, int sheet, std::u16string_view items, const model::CellRecord& cell, int row,
             int column) {
  const std::u16string_view typed = cell.input.isNull() ? std::u16string_view() : cell.input.view();
  for (const std::u16string& item : plainItems(items)) {
    if (item == typed)
      return true;
    if (cell.value.isNumber()) {
      const std::optional<CellValue> n = operandValue(book, sheet, item, row, column, false);
      if (n && n->isNumber() && n->numberValue() == cell.value.numberValue())
        return true;
    }
  }
  return false;
}

bool inList(model::Workbook& book, int sheet, const ValidationRule& rule, const model::CellRecord& cell, int row,
            int column) {
  if (rule.plainList)
    return inItems(book, sheet, rule.formula1, cell, row, column);
  const std::optional<CellValue> source = operandValue(book, sheet, rule.formula1, row, column, true);
  if (!source)
    return false;
  // Some programs store a typed list as a string formula (="S,M,L"): its
  // text is the list.
  if (source->isString())
    return inItems(book, sheet, source->stringValue(), cell, row, column);
  bool found = false;
  forEachSourceArea(book, sheet, *source, [&](int s, const CellRange& area) {
    std::vector<std::uint32_t> cells;
    book.sheet(s).cells.forEachIn(area, [&](const model::CellRecord& c) {
      cells.push_back(model::packCell(c.row, c.column));
    });
    for (size_t i = 0; !found && i < cells.size(); ++i) {
      const model::CellRecord* c = computedCell(book, s, model::packedRow(cells[i]), model::packedColumn(cells[i]));
      found = c && sameValue(c->value, cell.value);
    }
  });
  return found;
}

// The length of a value's text: numbers as General with 15 digits.
std::optional<double> textLength(const CellValue& v) {
  if (v.isString())
    return static_cast<double>(v.stringValue().size());
  if (v.isBoolean())
    return v.booleanValue() ? 4.0 : 5.0;
  if (v.isNumber())
    return static_cast<double>(numfmt::generalText(v.numberValue(), 15).size());
  return std::nullopt;
}

platform::MessageAnswer showAlert(const ValidationRule& rule) {
  std::u16string_view text = rule.errorMessage;
  if (text.empty())
    text = rule.errorStyle == 1 ? kValidationWarningText : kValidationStopText;
  const std::u16string_view caption = rule.errorTitle.empty() ? model::kProductName : rule.errorTitle;
  switch (rule.errorStyle) {
  case 1:
    return platform::ui().messageBox(text, caption, platform::MessageButtons::YesNoCancel,
                                     platform::MessageIcon::Warning);
  case 2:
    return platform::ui().messageBox(text, caption, platform::MessageButtons::OkCancel,
                                     platform::MessageIcon::Information);
  default:
    return platform::ui().messageBox(text, caption, platform::MessageButtons::RetryCancel,
                                     platform::MessageIcon::Error);
  }
}

bool entirelyDefault(const ValidationRule& r) {
  return r.allow == model::kAllowAny && r.inputTitle.empty() && r.inputMessage.empty() && r.errorTitle.empty() &&
         r.errorMessage.empty();
}

} // namespace

int findRule(const model::Sheet& sheet, int row, int column) {
  if (sheet.validations.empty())
    return -1;
  if (const model::RuleIndex* index = sheet.validations.index())
    return index->find(row, column);
  for (size_t i = 0; i < sheet.validations.size(); ++i)
    for (const CellRange& r : sheet.validations[i].ranges)
      if (r.contains(row, column))
        return static_cast<int>(i);
  return -1;
}

std::optional<std::u16string> ruleFormulaAt(const model::Workbook& book, int sheet, std::u16string_view text,
                                            int row, int column) {
  if (!isFormulaText(text))
    return std::u16string(text);
  return formula::rewriteFormula(formula::RewriteMode::Wrap, book, sheet, text, CellRange{}, row, column);
}

bool entryValid(model::Workbook& book, int sheet, const ValidationRule& rule, int row, int column) {
  if (rule.allow == model::kAllowAny)
    return true;
  model::CellRecord* cell = computedCell(book, sheet, row, column);
  if (!cell || cell->input.isNull() || cell->input.size() == 0)
    return true;
  const CellValue& v = cell->value;
  switch (rule.allow) {
  case model::kAllowWholeNumber:
  case model::kAllowDecimal:
  case model::kAllowDate:
  case model::kAllowTime:
    if (!v.isNumber())
      return false;
    if (rule.allow == model::kAllowWholeNumber && v.numberValue() != std::floor(v.numberValue()))
      return false;
    return operatorHolds(book, sheet, rule, v.numberValue(), row, column);
  case model::kAllowTextLength: {
    const std::optional<double> n = textLength(v);
    return n && operatorHolds(book, sheet, rule, *n, row, column);
  }
  case model::kAllowList:
    return inList(book, sheet, rule, *cell, row, column);
  case model::kAllowCustom: {
    const std::optional<CellValue> r = operandValue(book, sheet, rule.formula1, row, column, false);
    return r && r->isBoolean() && r->booleanValue();
  }
  default:
    return true;
  }
}

EntryVerdict checkEntry(model::Workbook& book, int sheet, const CellRange& cells) {
  const model::Sheet& s = book.sheet(sheet);
  if (s.validations.empty())
    return EntryVerdict::Keep;
  for (int r = cells.firstRow; r <= cells.lastRow; ++r)
    for (int c = cells.firstColumn; c <= cells.lastColumn; ++c) {
      const int at = findRule(s, r, c);
      if (at < 0)
        continue;
      // A copy: computing the entry may run code that changes the list.
      const ValidationRule rule = s.validations[static_cast<size_t>(at)];
      if (!rule.showError || rule.allow == model::kAllowAny || entryValid(book, sheet, rule, r, c))
        continue;
      switch (showAlert(rule)) {
      case platform::MessageAnswer::Yes:
      case platform::MessageAnswer::Ok:
        return EntryVerdict::Keep;
      case platform::MessageAnswer::Retry:
      case platform::MessageAnswer::No:
        return EntryVerdict::Retry;
      default:
        return EntryVerdict::Cancel;
      }
    }
  return EntryVerdict::Keep;
}

RulesUnderSelection rulesUnder(const model::Sheet& sheet, const CellRange& selection) {
  RulesUnderSelection out;
  for (const ValidationRule& v : sheet.validations.items()) {
    const bool meets = std::any_of(v.ranges.begin(), v.ranges.end(),
                                   [&](const CellRange& r) { return r.intersects(selection); });
    if (!meets)
      continue;
    if (out.count == 0)
      out.first = v;
    ++out.count;
  }
  return out;
}

bool storeValidation(model::Workbook& book, int sheet, const CellRange& selection, int activeRow, int activeColumn,
                     ValidationRule rule) {
  if (!model::push_undo_range(book, sheet, model::kUndoValidation, selection))
    return false;
  const bool done = platform::withAllocation([&] {
    for (std::u16string* f : {&rule.formula1, &rule.formula2}) {
      if (f == &rule.formula1 && rule.allow == model::kAllowList && rule.plainList)
        continue;
      std::optional<std::u16string> kept = ruleFormulaAt(book, sheet, *f, -activeRow, -activeColumn);
      if (!kept)
        throw std::bad_alloc();
      *f = std::move(*kept);
    }
    model::Sheet& s = book.sheet(sheet);
    edit::cutOutOfValidations(s, selection);
    if (!entirelyDefault(rule)) {
      rule.ranges = {selection};
      s.validations.push_back(std::move(rule));
    }
  });
  model::mark_modified(book);
  return done;
}

std::vector<std::u16string> listDropDownEntries(model::Workbook& book, int sheet, const ValidationRule& rule,
                                                int row, int column) {
  std::vector<std::u16string> out;
  if (rule.allow != model::kAllowList)
    return out;
  (void)platform::withAllocation([&] {
    if (rule.plainList) {
      out = plainItems(rule.formula1);
      return;
    }
    const std::optional<CellValue> source = operandValue(book, sheet, rule.formula1, row, column, true);
    if (!source)
      return;
    if (source->isString()) {
      out = plainItems(source->stringValue());
      return;
    }
    forEachSourceArea(book, sheet, *source, [&](int s, const CellRange& area) {
      // One entry per cell of the area, blanks included, as the list shows
      // the range; a whole column stops at its last stored cell.
      int lastRow = area.firstRow - 1;
      book.sheet(s).cells.forEachIn(area, [&](const model::CellRecord& c) { lastRow = std::max(lastRow, int{c.row}); });
      for (int r = area.firstRow; r <= lastRow; ++r)
        for (int c = area.firstColumn; c <= area.lastColumn; ++c) {
          model::CellRecord* cell = computedCell(book, s, r, c);
          out.push_back(cell ? std::u16string(model::cell_plain_text(book, s, *cell)) : std::u16string());
        }
    });
  });
  return out;
}

} // namespace datatools
