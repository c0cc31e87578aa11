// The Data menu's Sort, AutoFilter, Goal seek, Validation and the Format
// menu's Conditional formats, and the Edit menu's Find, Replace and Go to on
// the grid; the check of typed entries against validation rules and the
// lists of the AutoFilter's arrows.

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/navigation.h"
#include "app/status_bar.h"
#include "datatools/autofilter.h"
#include "datatools/conditional_format.h"
#include "datatools/find.h"
#include "datatools/goal_seek.h"
#include "datatools/sort.h"
#include "datatools/validation.h"
#include "dialogs/data_dialogs.h"
#include "dialogs/filter_dialogs.h"
#include "dialogs/find_dialog.h"
#include "dialogs/rule_dialogs.h"
#include "edit/undo_command.h"
#include "formula/reader.h"
#include "formula/reference_syntax.h"
#include "formula/text_value.h"
#include "model/display_text.h"
#include "numfmt/number_format.h"
#include "platform/ui_services.h"
#include "view/chart_painting.h"
#include "view/object_painting.h"
#include "view/grid_layout.h"
#include "view/paint_services.h"

#include <algorithm>

namespace app {
namespace {

using model::CellRange;

constexpr int kMostKeys = 20;

model::Sheet* cellsSheet(App& app) {
  model::Sheet* s = app.gridSheet();
  if (!app.book() || !s || (s->kind == model::SheetKind::Worksheet && s->selectedObject >= 0))
    return nullptr;
  return s;
}

void afterChange(App& app) {
  app.redrawAll();
  refresh_formula_bar(app);
  update_status_summary(app);
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar | platform::kRepaintTitle);
}

std::u16string rowNumber(int row) {
  const std::string s = std::to_string(row + 1);
  return std::u16string(s.begin(), s.end());
}

std::u16string address(int row, int column) { return formula::columnLetters(column) + rowNumber(row); }

std::u16string rangeText(const CellRange& r) {
  std::u16string t = address(r.firstRow, r.firstColumn);
  if (!r.isSingleCell())
    t += u":" + address(r.lastRow, r.lastColumn);
  return t;
}

// The key list of the Sort dialog: the range's first lines across, named
// by their letters or numbers, or by the header cell's text.
std::vector<std::u16string> keyNames(model::Workbook& book, int sheetIndex, const CellRange& r, bool byColumns,
                                     bool header) {
  std::vector<std::u16string> names;
  const int first = byColumns ? r.firstRow : r.firstColumn;
  const int last = std::min(byColumns ? int{r.lastRow} : int{r.lastColumn}, first + kMostKeys - 1);
  for (int line = first; line <= last; ++line) {
    const std::u16string label = byColumns ? rowNumber(line) : formula::columnLetters(line);
    if (!header) {
      names.push_back((byColumns ? u"行 " : u"列 ") + label);
      continue;
    }
    const int row = byColumns ? line : r.firstRow, column = byColumns ? r.firstColumn : line;
    model::CellRecord* c = model::cell_at(book.sheet(sheetIndex), static_cast<std::uint16_t>(row),
                                          static_cast<std::uint8_t>(column));
    std::u16string text;
    if (c && !c->input.isNull() && c->input.size() > 0)
      text = std::u16string(model::cell_plain_text(book, sheetIndex, *c));
    names.push_back(!text.empty() ? text : (byColumns ? u"(Row " : u"(Column ") + label + u")");
  }
  return names;
}

void onSort(App& app, int) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  model::Workbook& book = *app.book();
  const int sheetIndex = book.activeSheet;
  const CellPos active{s->activeRow, s->activeColumn};
  CellRange r = selection(*s);
  if (r.isSingleCell()) {
    r = datatools::currentRegion(*s, active.row, active.column);
    set_selection(app, r, active, false);
  }
  datatools::SortSettings& last = datatools::lastSortSettings();
  dialogs::SortChoice initial;
  initial.byColumns = last.byColumns;
  initial.caseSensitive = last.caseSensitive;
  initial.hasHeader = datatools::guessHeader(book, sheetIndex, r, last.byColumns);
  initial.keys = {last.byColumns ? active.row - r.firstRow : active.column - r.firstColumn, -1, -1};
  initial.ascending = {last.ascending[0], last.ascending[1], last.ascending[2]};
  const std::optional<dialogs::SortChoice> c = dialogs::askSort(
      initial, [&](bool byColumns, bool header) { return keyNames(book, sheetIndex, r, byColumns, header); });
  if (!c)
    return;
  last.byColumns = c->byColumns;
  last.hasHeader = c->hasHeader;
  last.caseSensitive = c->caseSensitive;
  for (size_t k = 0; k < 3; ++k) {
    last.keys[k] = c->keys[k];
    last.ascending[k] = c->ascending[k];
  }
  last.sheet = sheetIndex;
  last.range = r;
  (void)datatools::sortRange(book, last);
  afterChange(app);
}

void onAutoFilter(App& app, int) {
  model::Sheet* s = cellsSheet(app);
  if (!s || s->kind != model::SheetKind::Worksheet)
    return;
  model::Workbook& book = *app.book();
  (void)datatools::toggleAutoFilter(book, book.activeSheet, selection(*s), s->activeRow, s->activeColumn);
  afterChange(app);
}

void onGoTo(App& app, int) {
  model::Sheet* s = app.gridSheet();
  model::Workbook* book = app.book();
  if (!s || !book)
    return;
  const std::optional<std::u16string> text = dialogs::askGoTo(
      rangeText(selection(*s)), [&](std::u16string_view t) { return datatools::goToTarget(*book, t).has_value(); });
  if (!text)
    return;
  const std::optional<datatools::GoToTarget> target = datatools::goToTarget(*book, *text);
  if (!target)
    return;
  if (target->sheet != book->activeSheet)
    activate_sheet(app, target->sheet);
  set_selection(app, target->range, CellPos{target->range.firstRow, target->range.firstColumn}, true);
}

void onFind(App& app, int id) {
  model::Sheet* s = app.gridSheet();
  model::Workbook* book = app.book();
  if (!s || !book)
    return;
  datatools::FindSettings& last = datatools::lastFindSettings();
  dialogs::FindDialogState state{last.findText, last.replaceText, static_cast<int>(last.scope), last.matchCase,
                                 last.wholeCell};
  const auto settingsOf = [](const dialogs::FindDialogState& d) {
    datatools::FindSettings f;
    f.findText = d.findText;
    f.replaceText = d.replaceText;
    // Replacing always searches the inputs.
    f.scope = d.replaceMode ? datatools::FindScope::Formulas : static_cast<datatools::FindScope>(d.scope);
    f.matchCase = d.matchCase;
    f.wholeCell = d.wholeCell;
    return f;
  };
  const auto showActive = [&] {
    model::Sheet* g = app.gridSheet();
    if (g)
      set_selection(app, selection(*g), CellPos{g->activeRow, g->activeColumn}, true);
    afterChange(app);
  };
  dialogs::FindActions actions;
  actions.findNext = [&](const dialogs::FindDialogState& d) {
    (void)datatools::findNext(*book, book->activeSheet, settingsOf(d));
    showActive();
  };
  actions.replaceOne = [&](const dialogs::FindDialogState& d) {
    (void)datatools::replaceOne(*book, book->activeSheet, settingsOf(d));
    showActive();
  };
  actions.replaceAll = [&](const dialogs::FindDialogState& d) {
    (void)datatools::replaceAll(*book, book->activeSheet, settingsOf(d));
    showActive();
  };
  dialogs::runFindDialog(id == 148, (s->flags & model::kSheetProtected) != 0, state, actions);
  state.replaceMode = false; // the scope the user chose is kept
  last = settingsOf(state);
}

void onGoalSeek(App& app, int) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  model::Workbook& book = *app.book();
  const int sheetIndex = book.activeSheet;
  datatools::GoalSeekRequest request;
  const std::optional<dialogs::GoalSeekTexts> texts = dialogs::askGoalSeek(
      address(s->activeRow, s->activeColumn),
      [&](const dialogs::GoalSeekTexts& t) -> std::optional<std::pair<std::u16string, int>> {
        const std::optional<datatools::GoalSeekRefusal> r =
            datatools::readGoalSeek(book, sheetIndex, t.target, t.goal, t.changing, request);
        if (!r)
          return std::nullopt;
        return std::pair{std::u16string(r->message), static_cast<int>(r->box)};
      });
  if (!texts || !datatools::goalSeek(book, request))
    return;
  afterChange(app);
  const bool keep = dialogs::showGoalSeekStatus(request.solved, numfmt::generalText(request.goal, 15),
                                                numfmt::generalText(request.result, 15));
  if (keep)
    model::mark_modified(book);
  else
    (void)edit::undo(app.books);
  afterChange(app);
}

// What the validation dialog needs to know of operand text, read as the
// active cell would read it.
dialogs::OperandKinds operandKinds(model::Workbook& book, int sheetIndex, CellPos at) {
  dialogs::OperandKinds k;
  k.isFormula = [&book](std::u16string_view t) {
    formula::TextOptions o;
    o.date1904 = book.date1904 != 0;
    return formula::classifyText(t, o).kind == formula::TextClass::Formula;
  };
  k.isNumber = [&book](std::u16string_view t) {
    formula::TextOptions o;
    o.date1904 = book.date1904 != 0;
    return formula::classifyText(t, o).kind == formula::TextClass::Number;
  };
  k.isReference = [&book, sheetIndex, at, isFormula = k.isFormula](std::u16string_view t) {
    if (!isFormula(t))
      return false;
    formula::EvalContext ctx;
    ctx.book = &book;
    ctx.sheet = sheetIndex;
    ctx.row = at.row;
    ctx.column = at.column;
    const model::CellValue v = formula::evaluateSpan(t, 0, t.size(), ctx);
    return v.isReference() || v.isMultiArea();
  };
  return k;
}

void onValidation(App& app, int) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  model::Workbook& book = *app.book();
  const int sheetIndex = book.activeSheet;
  const CellRange sel = selection(*s);
  const CellPos active{s->activeRow, s->activeColumn};
  datatools::RulesUnderSelection under = datatools::rulesUnder(*s, sel);
  model::ValidationRule rule;
  if (under.count > 1) {
    if (platform::ui().messageBox(datatools::kValidationSeveralTypes, model::kProductName,
                                  platform::MessageButtons::OkCancel,
                                  platform::MessageIcon::Warning) != platform::MessageAnswer::Ok)
      return;
  } else if (under.count == 1) {
    rule = std::move(under.first);
    // The dialog shows the formulas as seen from the active cell.
    for (std::u16string* f : {&rule.formula1, &rule.formula2})
      if (!(f == &rule.formula1 && rule.plainList))
        *f = datatools::ruleFormulaAt(book, sheetIndex, *f, active.row, active.column).value_or(*f);
  }
  const dialogs::OperandKinds kinds = operandKinds(book, sheetIndex, active);
  std::optional<model::ValidationRule> edited = dialogs::askValidation(rule, kinds);
  if (!edited)
    return;
  (void)datatools::storeValidation(book, sheetIndex, sel, active.row, active.column, std::move(*edited));
  afterChange(app);
}

void onConditionalFormat(App& app, int) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  model::Workbook& book = *app.book();
  const int sheetIndex = book.activeSheet;
  const CellRange sel = selection(*s);
  const CellPos active{s->activeRow, s->activeColumn};
  const datatools::ConditionPages initial =
      datatools::conditionsUnder(book, sheetIndex, sel, active.row, active.column);
  const std::optional<datatools::ConditionPages> edited = dialogs::askConditionalFormat(
      initial, [&book](const model::FormatCondition& c) { return dialogs::askConditionFormat(book, c); });
  if (!edited)
    return;
  (void)datatools::storeConditionalFormat(book, sheetIndex, sel, active.row, active.column, *edited);
  afterChange(app);
}

// An entry was stored in the cells: a rule that refuses it takes it back,
// and Retry or No offers the typed text again.
bool validateEntry(App& app, const CellRange& target) {
  model::Workbook* book = app.book();
  model::Sheet* s = app.gridSheet();
  if (!book || !s || s->validations.empty())
    return true;
  const datatools::EntryVerdict verdict = datatools::checkEntry(*book, book->activeSheet, target);
  if (verdict == datatools::EntryVerdict::Keep)
    return true;
  std::u16string typed;
  if (const model::CellRecord* c = model::cell_at(*s, target.firstRow, target.firstColumn); c && !c->input.isNull())
    typed = std::u16string(c->input.view());
  (void)edit::undo(app.books);
  afterChange(app);
  if (verdict == datatools::EntryVerdict::Retry)
    reopen_entry(app, typed);
  return false;
}

// clang-format off
const CommandEntry kRows[] = {
    {147, 148, onFind},
    {149, 149, onGoTo},
    {219, 219, onConditionalFormat},
    {221, 221, onSort},
    {222, 222, onAutoFilter},
    {224, 224, onValidation},
    {225, 225, onGoalSeek},
};
// clang-format on

} // namespace

const std::span<const CommandEntry> kDataCommands(kRows);

bool pressFilterArrow(App& app, int object, platform::Point) {
  model::Sheet* s = app.gridSheet();
  model::Workbook* book = app.book();
  if (!s || !book || object < 0 || object >= static_cast<int>(s->objects.size()) ||
      !s->objects[static_cast<size_t>(object)].filterArrow || !(s->flags & model::kSheetAutoFilter))
    return false;
  const int sheetIndex = book->activeSheet;
  const int sheetColumn = s->objects[static_cast<size_t>(object)].anchor.first.column;
  const int column = sheetColumn - s->autoFilter.firstColumn;
  const datatools::FilterList list = datatools::buildFilterList(*book, sheetIndex, column);
  if (list.entries.empty())
    return true;
  // The entry in force is selected when the list opens.
  const model::FilterCriterion current = s->autoFilter.criteria[static_cast<size_t>(column)];
  int selected = 0;
  if (current.conditions[0].kind == model::kFilterBlanks || current.conditions[0].kind == model::kFilterNonBlanks) {
    const bool blanks = current.conditions[0].kind == model::kFilterBlanks;
    selected = list.hasBlanks ? static_cast<int>(list.entries.size()) - (blanks ? 2 : 1) : 0;
  } else if (current.topActive) {
    selected = 1;
  } else if (current.isActive()) {
    selected = 2;
    if (current.conditions[0].comparison == model::kCompareEqual && current.conditions[1].kind == model::kFilterNone)
      for (int i = 3; i < static_cast<int>(list.entries.size()); ++i)
        if (list.kindOf(i) == datatools::FilterEntry::Value &&
            datatools::escapeWildcards(list.entries[static_cast<size_t>(i)]) == current.conditions[0].operand) {
          selected = i;
          break;
        }
  }
  const int chosen = app.window.trackDropDownList(list.entries, view::objectRect(*s, app.layout, object), selected);
  if (chosen < 0)
    return true;
  std::vector<std::u16string> values;
  for (int i = 3; i < static_cast<int>(list.entries.size()); ++i)
    if (list.kindOf(i) == datatools::FilterEntry::Value)
      values.push_back(list.entries[static_cast<size_t>(i)]);
  std::u16string header;
  if (model::CellRecord* c = model::cell_at(*s, s->autoFilter.firstRow, static_cast<std::uint8_t>(sheetColumn));
      c && !c->input.isNull())
    header = std::u16string(model::cell_plain_text(*book, sheetIndex, *c));
  datatools::FilterDialogs asks;
  asks.topTen = dialogs::askTopTen;
  asks.custom = [&](const model::FilterCriterion& c) { return dialogs::askCustomFilter(c, header, values); };
  if (datatools::chooseFilterEntry(*book, sheetIndex, column, list, chosen, asks))
    afterChange(app);
  return true;
}

bool open_list_drop_down(App& app) {
  model::Sheet* s = cellsSheet(app);
  if (!s || s->validations.empty())
    return false;
  model::Workbook& book = *app.book();
  const model::Sheet& rules = *s;
  const int at = datatools::findRule(rules, s->activeRow, s->activeColumn);
  if (at < 0)
    return false;
  const model::ValidationRule rule = rules.validations[static_cast<size_t>(at)];
  if (rule.allow != model::kAllowList || rule.suppressDropDown)
    return false;
  const std::vector<std::u16string> entries =
      datatools::listDropDownEntries(book, book.activeSheet, rule, s->activeRow, s->activeColumn);
  std::u16string current;
  if (model::CellRecord* c = model::cell_at(*s, s->activeRow, s->activeColumn))
    current = std::u16string(model::cell_plain_text(book, book.activeSheet, *c));
  const auto found = std::find(entries.begin(), entries.end(), current);
  // The list opens under the cell and its button, at least as wide as both.
  platform::Rect under = view::cellRect(*s, app.layout, s->activeRow, s->activeColumn);
  if (const platform::Rect arrow = view::listArrowRect(*s, app.layout, s->activeRow, s->activeColumn); !arrow.isEmpty())
    under.right = arrow.right;
  const int chosen = app.window.trackDropDownList(entries, under,
                                                  found == entries.end() ? -1 : static_cast<int>(found - entries.begin()));
  if (chosen < 0 || chosen >= static_cast<int>(entries.size()) || !guard_entry(app))
    return true;
  app.formulaBar = {};
  app.formulaBar.text = entries[static_cast<size_t>(chosen)];
  app.editMode = EditMode::Entry;
  // A refusal has already told the user, and undone or reopened the entry.
  (void)commit_entry(app, false);
  return true;
}

void install_data_tools(App& app) {
  app.hooks.validateEntry = validateEntry;
  app.hooks.pressObject = pressFilterArrow;
  view::paintServices().activeCondition = [](model::Workbook& book, int sheet, int row, int column) {
    return datatools::activeCondition(book, sheet, row, column);
  };
  view::installObjectPainting();
  view::installChartPainting();
}

} // namespace app
