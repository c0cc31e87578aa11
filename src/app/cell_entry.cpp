#include "app/cell_entry.h"

#include "app/command_table.h"
#include "app/drawing_commands.h"
#include "app/navigation.h"
#include "app/status_bar.h"
#include "formula/reference_syntax.h"
#include "formula/text_value.h"
#include "model/range_guard.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "numfmt/number_format.h"
#include "platform/clock.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cmath>

namespace app {
namespace {

using model::CellRange;
using model::Sheet;

void message(std::u16string_view text, bool productCaption) {
  platform::ui().messageBox(text, productCaption ? std::optional<std::u16string_view>(model::kProductName)
                                                 : std::nullopt,
                            platform::MessageButtons::Ok,
                            productCaption ? platform::MessageIcon::Error : platform::MessageIcon::Warning);
}

char16_t listSeparator() {
  const std::u16string& s = platform::localeStrings().listSeparator;
  return s.empty() ? u',' : s[0];
}

// The format a cell shows with: its own, else its column's, else the default.
std::uint16_t formatIndexOf(const Sheet& s, int row, int column) {
  if (const model::CellRecord* c = model::cell_at(s, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)))
    return c->formatIndex;
  return model::column_record(s, static_cast<std::uint8_t>(column)).formatIndex;
}

const model::CellFormat& cellFormat(const model::Workbook& book, std::uint16_t index) {
  static const model::CellFormat fallback{};
  return index < book.cellFormats.size() ? book.cellFormats[index] : fallback;
}

const model::ArrayFormulaRecord* arrayAt(const Sheet& s, int row, int column) {
  for (const model::ArrayFormulaRecord& a : s.arrayFormulas)
    if (a.range.contains(row, column))
      return &a;
  return nullptr;
}

CellRange targetCell(const Sheet& s) {
  const int m = model::merged_range_at(s, s.activeRow, s.activeColumn);
  return m >= 0 ? CellRange::cell(s.mergedRanges[static_cast<size_t>(m)].firstRow,
                                  s.mergedRanges[static_cast<size_t>(m)].firstColumn)
                : CellRange::cell(s.activeRow, s.activeColumn);
}

// ---- the formula bar's text ----

FormulaBarState& bar(App& app) { return app.formulaBar; }

void replaceSelection(App& app, std::u16string_view text) {
  FormulaBarState& f = bar(app);
  const int a = std::clamp(f.selectionStart(), 0, static_cast<int>(f.text.size()));
  const int b = std::clamp(f.selectionEnd(), a, static_cast<int>(f.text.size()));
  f.text.replace(static_cast<size_t>(a), static_cast<size_t>(b - a), text);
  f.caret = f.anchor = a + static_cast<int>(text.size());
  platform::ui().requestRepaint(platform::kRepaintFormulaBar);
}

bool isHighSurrogate(char16_t c) { return (c & 0xFC00) == 0xD800; }
bool isLowSurrogate(char16_t c) { return (c & 0xFC00) == 0xDC00; }

// A position between the two halves of a surrogate pair moves to the pair's start.
int wholeCharacterAt(const std::u16string& t, int position) {
  position = std::clamp(position, 0, static_cast<int>(t.size()));
  if (position > 0 && position < static_cast<int>(t.size()) && isLowSurrogate(t[static_cast<size_t>(position)]) &&
      isHighSurrogate(t[static_cast<size_t>(position - 1)]))
    --position;
  return position;
}

// One character before or after a position: a surrogate pair is one character.
int stepCharacter(const std::u16string& t, int position, int direction) {
  const int size = static_cast<int>(t.size());
  if (direction < 0) {
    if (position <= 0)
      return 0;
    const int p = position - 1;
    return p > 0 && isLowSurrogate(t[static_cast<size_t>(p)]) && isHighSurrogate(t[static_cast<size_t>(p - 1)])
               ? p - 1
               : p;
  }
  if (position >= size)
    return size;
  return position + 1 < size && isHighSurrogate(t[static_cast<size_t>(position)]) &&
                 isLowSurrogate(t[static_cast<size_t>(position + 1)])
             ? position + 2
             : position + 1;
}

void setCaret(App& app, int position, bool extend) {
  FormulaBarState& f = bar(app);
  f.caret = wholeCharacterAt(f.text, position);
  if (!extend)
    f.anchor = f.caret;
  platform::ui().requestRepaint(platform::kRepaintFormulaBar);
}

void deleteAround(App& app, bool forwards) {
  FormulaBarState& f = bar(app);
  if (f.anchor == f.caret) {
    const int size = static_cast<int>(f.text.size());
    if (forwards ? f.caret >= size : f.caret <= 0)
      return;
    const int other = stepCharacter(f.text, f.caret, forwards ? 1 : -1);
    f.anchor = std::min(f.caret, other);
    f.caret = std::max(f.caret, other);
  }
  replaceSelection(app, u"");
}

bool isPointOperator(char16_t c) {
  return std::u16string_view(u"&*:<=>^%+-/ (").find(c) != std::u16string_view::npos || c == listSeparator();
}

std::u16string cellText(int row, int column) {
  std::u16string out;
  formula::appendCellAddress(out, formula::RefCorner{row, column, false, false});
  return out;
}

std::u16string rangeText(int r1, int c1, int r2, int c2) {
  const int top = std::min(r1, r2), bottom = std::max(r1, r2);
  const int left = std::min(c1, c2), right = std::max(c1, c2);
  std::u16string t = cellText(top, left);
  if (top != bottom || left != right)
    t += u":" + cellText(bottom, right);
  return t;
}

// ---- commit ----

bool hasHyperlinkCall(std::u16string_view text) {
  return platform::toUpper(text).find(u"HYPERLINK(") != std::u16string::npos;
}

// Number formats the way of typing may not replace: fixed decimals, money,
// dates and times, and the user's own codes.
bool mayTakeSuggestedFormat(std::uint16_t numberFormat) {
  return !(numberFormat == 2 || (numberFormat >= 5 && numberFormat <= 8) ||
           (numberFormat >= 14 && numberFormat <= 22) || numberFormat > 48);
}

std::uint16_t automaticFormat(model::Workbook& book, std::uint16_t current, std::u16string_view text) {
  formula::TextOptions options;
  options.date1904 = book.date1904 != 0;
  const formula::Classification k = formula::classifyText(text, options);
  model::CellFormat f = cellFormat(book, current);
  const std::uint16_t suggested = formula::numberFormatForHint(k.hint);
  switch (k.kind) {
  case formula::TextClass::Formula:
  case formula::TextClass::Number:
    if (suggested != 0 && mayTakeSuggestedFormat(f.numberFormatIndex))
      f.numberFormatIndex = suggested;
    if (k.kind == formula::TextClass::Formula && f.numberFormatIndex != 49 && hasHyperlinkCall(text)) {
      model::Font link = book.fonts.empty() ? model::Font{} : book.fonts[0];
      link.underline = 1;
      link.colourIndex = 12;
      const int font = model::findOrAddFont(book, link);
      if (font >= 0)
        f.fontIndex = static_cast<std::uint16_t>(font);
    }
    break;
  case formula::TextClass::Text:
    if (text.find(u'\n') != std::u16string_view::npos)
      f.flags |= model::kFormatWrapText;
    break;
  default:
    break;
  }
  if (f == cellFormat(book, current))
    return current;
  const int index = model::findOrAddCellFormat(book, f);
  return index >= 0 ? static_cast<std::uint16_t>(index) : current;
}

// Fits the rows of the range that the user has not sized, up to the last used row.
void fitRows(model::Workbook& book, int sheetIndex, const CellRange& r) {
  model::fitRowsOfRange(book, sheetIndex, r);
}

void startEntry(App& app, EditMode mode) {
  app.leaveEndMode();
  app.editMode = mode;
  app.window.setFocus(platform::FocusTarget::FormulaBar);
  platform::ui().requestRepaint(platform::kRepaintFormulaBar | platform::kRepaintStatusBar);
}

// Enter and Tab refuse to commit a plain entry over a whole multi-cell
// array: that is Ctrl+Shift+Enter's job.
bool enterMayCommit(App& app) {
  Sheet* s = app.gridSheet();
  if (!s)
    return false;
  const model::ArrayFormulaRecord* a = arrayAt(*s, s->activeRow, s->activeColumn);
  if (a && a->range == selection(*s) && !a->range.isSingleCell()) {
    model::showRefusal(model::GuardRefusal::ArrayPart);
    return false;
  }
  return true;
}

// Enter or Tab: commit and walk, unless the entry would break an array.
void commitAndWalk(App& app, bool alongRow, bool backwards) {
  if (enterMayCommit(app) && commit_entry(app, false))
    walk_selection(app, alongRow, backwards);
}

// The characters the formula bar took on their key-down: the character the
// key sends next is not typed again (the keypad's decimal key types the
// regional separator itself, Enter, Tab and Escape commit or cancel).
void swallowNextCharacter(App& app, std::u16string_view characters) { app.swallowCharacters = characters; }

// What Ctrl+Backspace types (and X11 gives the Delete key): a control
// character, never text.
constexpr char16_t kDelete = 0x7F;

bool swallowed(App& app, char16_t ch) {
  const std::u16string_view s = app.swallowCharacters;
  app.swallowCharacters = {};
  return s.find(ch) != std::u16string_view::npos;
}

std::u16string_view decimalSeparator() {
  const std::u16string& sep = platform::localeStrings().decimalSeparator;
  return sep.empty() ? std::u16string_view(u".") : std::u16string_view(sep).substr(0, 1);
}

std::u16string nowText(model::Workbook& book, bool time) {
  const platform::LocalTime t = platform::clock().now();
  double value = (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
  if (!time)
    value = formula::dayCount(t.year, t.month, t.day) - (book.date1904 ? 1462 : 0);
  return numfmt::formatNumber(value, model::compiledNumberFormat(book, time ? 20 : 14)).text;
}

// Commands 170 and 171: the current date or time typed into the entry.
void enterNow(App& app, int id) {
  model::Workbook* book = app.book();
  Sheet* s = app.gridSheet();
  if (!book || !s)
    return;
  if (app.editMode == EditMode::None) {
    if (!guard_entry(app))
      return;
    bar(app) = {};
    startEntry(app, EditMode::Entry);
  }
  replaceSelection(app, nowText(*book, id == 171));
}

void editActiveCell(App& app, int) {
  if (app.editMode == EditMode::None)
    begin_edit(app, true);
}

void autoSumCommand(App& app, int) { auto_sum(app); }

// clang-format off
const CommandEntry kRows[] = {
    // These work on an open entry instead of committing it first.
    {150, 150, editActiveCell,  EntryRule::Inside},
    {170, 171, enterNow,        EntryRule::Inside},
    {185, 185, autoSumCommand,  EntryRule::Inside},
};
// clang-format on

} // namespace

const std::span<const CommandEntry> kEntryCommands(kRows);

bool guard_entry(App& app) {
  model::Workbook* book = app.book();
  Sheet* s = app.gridSheet();
  return !book || !s ||
         model::guard_range(*book, *s, selection(*s), model::kGuardProtection | model::kGuardArrayEntry);
}

void refresh_formula_bar(App& app) {
  FormulaBarState& f = bar(app);
  f = {};
  if (Sheet* s = app.gridSheet()) {
    const CellRange t = targetCell(*s);
    const model::CellRecord* c = model::cell_at(*s, t.firstRow, t.firstColumn);
    const model::Workbook& book = *app.book();
    const bool hidden = (s->flags & model::kSheetProtected) && c &&
                        (cellFormat(book, c->formatIndex).flags & model::kFormatFormulaHidden);
    if (c && !c->input.isNull() && !hidden) {
      f.text = std::u16string(c->input.view());
      if (app.editMode != EditMode::Edit && arrayAt(*s, t.firstRow, t.firstColumn))
        f.text = u"{" + f.text + u"}";
    }
  }
  platform::ui().requestRepaint(platform::kRepaintFormulaBar);
  update_status_summary(app);
}

void begin_entry_from_grid(App& app, char16_t ch) {
  Sheet* s = app.gridSheet();
  if (!s || (app.window.modifiers() & platform::kModControl))
    return;
  if ((ch < 32 && ch != u'\b') || ch == kDelete)
    return;
  if (!guard_entry(app))
    return;
  if (app.editMode == EditMode::None) {
    bar(app) = {};
    startEntry(app, EditMode::Entry);
    const std::uint16_t numberFormat = cellFormat(*app.book(), formatIndexOf(*s, s->activeRow, s->activeColumn)).numberFormatIndex;
    if (ch >= u'0' && ch <= u'9' && (numberFormat == 9 || numberFormat == 10)) {
      bar(app).text = u"%";
      setCaret(app, 0, false);
    }
  }
  if (ch != u'\b')
    replaceSelection(app, std::u16string_view(&ch, 1));
}

void begin_edit(App& app, bool caretToEnd) {
  Sheet* s = app.gridSheet();
  if (!s)
    return;
  if (app.editMode == EditMode::None) {
    if (!guard_entry(app))
      return;
    refresh_formula_bar(app);
    // Editing shows the array formula's own text, without braces.
    FormulaBarState& f = bar(app);
    if (f.text.size() >= 2 && f.text.front() == u'{' && f.text.back() == u'}' &&
        arrayAt(*s, s->activeRow, s->activeColumn))
      f.text = f.text.substr(1, f.text.size() - 2);
  }
  startEntry(app, EditMode::Edit);
  if (caretToEnd)
    setCaret(app, static_cast<int>(bar(app).text.size()), false);
}

bool commit_entry(App& app, bool asArray) {
  model::Workbook* book = app.book();
  Sheet* s = app.gridSheet();
  if (!book || !s)
    return false;
  end_point(app);
  std::u16string text;
  if (!platform::withAllocation([&] { text = bar(app).text; }))
    return false;
  formula::TextOptions options;
  options.date1904 = book->date1904 != 0;
  const formula::Classification k = formula::classifyText(text, options);
  if (text.size() > 1 && text.front() == u'=' && k.kind == formula::TextClass::Text) {
    message(kMessageFormulaError, true);
    app.editMode = EditMode::Edit;
    app.window.setFocus(platform::FocusTarget::FormulaBar);
    return false;
  }
  const CellRange sel = selection(*s);
  const CellRange target = asArray ? sel : targetCell(*s);
  // An array entry may replace arrays lying wholly inside the selection, but
  // never cut one that sticks out of it, and never meets merged cells.
  if (asArray && !model::guard_range(*book, *s, sel, model::kGuardMergedArray | model::kGuardArrayPart)) {
    app.window.setFocus(platform::FocusTarget::FormulaBar);
    return false;
  }
  // The entry holds what the commit writes: the one cell, or the array's range.
  if (!model::push_undo_range(*book, book->activeSheet, model::kUndoInput, target))
    return false;
  if (asArray) {
    std::erase_if(s->arrayFormulas, [&](const model::ArrayFormulaRecord& a) {
      return a.range.firstRow >= sel.firstRow && a.range.lastRow <= sel.lastRow &&
             a.range.firstColumn >= sel.firstColumn && a.range.lastColumn <= sel.lastColumn;
    });
    if (k.kind == formula::TextClass::Formula &&
        !platform::withAllocation([&] { s->arrayFormulas.push_back({sel, u""}); }))
      return false;
  }
  const int sheetIndex = book->activeSheet;
  bool stored = true;
  for (int r = target.firstRow; stored && r <= target.lastRow; ++r)
    for (int c = target.firstColumn; stored && c <= target.lastColumn; ++c) {
      const std::uint16_t format = automaticFormat(*book, formatIndexOf(*s, r, c), text);
      stored = model::set_cell(*book, sheetIndex, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), text,
                               format, false, true);
    }
  fitRows(*book, sheetIndex, target);
  app.editMode = EditMode::None;
  model::mark_modified(*book);
  refresh_formula_bar(app);
  app.window.setFocus(platform::FocusTarget::Grid);
  app.redrawAll();
  if (!stored)
    return false;
  if (app.hooks.validateEntry && !app.hooks.validateEntry(app, target))
    return false;
  return true;
}

bool enter_cell_text(App& app, int sheetIndex, std::uint16_t row, std::uint8_t column, std::u16string_view text) {
  model::Workbook* book = app.book();
  if (!book || sheetIndex < 0 || sheetIndex >= book->sheetCount())
    return false;
  Sheet& s = book->sheet(sheetIndex);
  if (!s.hasGrid())
    return false;
  const CellRange target{row, column, row, column};
  if (!model::guard_range(*book, s, target, model::kGuardProtection | model::kGuardArrayEntry))
    return false;
  if (!model::push_undo_range(*book, sheetIndex, model::kUndoInput, target))
    return false;
  const std::uint16_t format = automaticFormat(*book, formatIndexOf(s, row, column), text);
  const bool stored = model::set_cell(*book, sheetIndex, row, column, text, format, false, true);
  fitRows(*book, sheetIndex, target);
  model::mark_modified(*book);
  refresh_formula_bar(app);
  app.redrawAll();
  return stored;
}

void cancel_entry(App& app) {
  end_point(app);
  app.editMode = EditMode::None;
  app.window.setFocus(platform::FocusTarget::Grid);
  refresh_formula_bar(app);
}

void reopen_entry(App& app, std::u16string_view text) {
  if (!app.gridSheet())
    return;
  if (!platform::withAllocation([&] { bar(app).text = std::u16string(text); }))
    return;
  startEntry(app, EditMode::Edit);
  bar(app).anchor = 0;
  setCaret(app, static_cast<int>(bar(app).text.size()), true);
}

bool commit_if_editing(App& app) {
  return app.editMode == EditMode::None || (enterMayCommit(app) && commit_entry(app, false));
}

void type_decimal_key(App& app) {
  const std::u16string_view separator = decimalSeparator();
  if (app.editMode == EditMode::None)
    begin_entry_from_grid(app, separator[0]);
  else
    replaceSelection(app, separator);
  // The key's own character ("." or "," by the keyboard) is not typed again.
  swallowNextCharacter(app, u".,");
}

void formula_bar_clipboard(App& app, int id) {
  if (app.editMode == EditMode::None)
    return;
  FormulaBarState& f = bar(app);
  const int a = std::clamp(f.selectionStart(), 0, static_cast<int>(f.text.size()));
  const int b = std::clamp(f.selectionEnd(), a, static_cast<int>(f.text.size()));
  if (id == 131 || id == 132) {
    if (a == b)
      return;
    app.window.setClipboardText(std::u16string_view(f.text).substr(static_cast<size_t>(a), static_cast<size_t>(b - a)));
    if (id == 131)
      replaceSelection(app, u"");
    return;
  }
  if (id != 133)
    return;
  // Line ends of other programs become the line feeds cells hold.
  std::u16string text = app.window.clipboardText();
  std::u16string clean;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      clean += u'\n';
      if (i + 1 < text.size() && text[i + 1] == u'\n')
        ++i;
    } else {
      clean += text[i];
    }
  }
  end_point(app);
  replaceSelection(app, clean);
}

void auto_sum(App& app) {
  model::Workbook* book = app.book();
  Sheet* s = app.gridSheet();
  if (!book || !s)
    return;
  if (!guard_entry(app))
    return;
  if (app.editMode != EditMode::None) {
    replaceSelection(app, bar(app).caret == 0 ? u"=SUM(" : u"SUM(");
  } else {
    bar(app).text = u"=SUM(";
    setCaret(app, 5, false);
  }
  startEntry(app, EditMode::Edit);
  replaceSelection(app, u")");
  setCaret(app, bar(app).caret - 1, false);

  const auto holdsNumber = [&](int row, int column) {
    model::CellRecord* c = model::cell_at(*s, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    if (!c || c->input.isNull())
      return false;
    if (c->isFormula && c->calcState == model::CalcState::NotValid && model::modelServices().computeCell)
      model::modelServices().computeCell(*book, book->activeSheet, *c);
    return c->value.isNumber();
  };
  const int row = s->activeRow, column = s->activeColumn;
  std::u16string range;
  int top = row;
  while (top > 0 && holdsNumber(top - 1, column))
    --top;
  if (top < row) {
    range = rangeText(top, column, row - 1, column);
  } else {
    int left = column;
    while (left > 0 && holdsNumber(row, left - 1))
      --left;
    if (left < column)
      range = rangeText(row, left, row, column - 1);
  }
  if (!range.empty()) {
    const int start = bar(app).caret;
    replaceSelection(app, range);
    bar(app).anchor = start;
  }
}

bool try_begin_point(App& app, std::uint16_t row, std::uint8_t column) {
  if (app.editMode == EditMode::None)
    return false;
  FormulaBarState& f = bar(app);
  if (app.point.active) {
    // Another click before any key: the new reference replaces the last one.
    f.anchor = app.point.textStart;
    f.caret = app.point.textStart + app.point.textLength;
  } else {
    if (f.text.empty() || (f.text[0] != u'=' && f.text[0] != u'+' && f.text[0] != u'-'))
      return false;
    const int at = f.selectionStart();
    if (at <= 0 || !isPointOperator(f.text[static_cast<size_t>(at - 1)]))
      return false;
  }
  const std::u16string ref = cellText(row, column);
  const int start = f.selectionStart();
  replaceSelection(app, ref);
  app.point = {true, start, static_cast<int>(ref.size()), row, row, column, column};
  // The click took the focus to the grid; the entry goes on in the bar, so
  // the keys that follow (Enter, End, F9) reach the entry, not the grid.
  app.window.setFocus(platform::FocusTarget::FormulaBar);
  app.redrawAll();
  return true;
}

void extend_point(App& app, std::uint16_t row, std::uint8_t column) {
  PointState& p = app.point;
  if (!p.active || (p.row == row && p.column == column))
    return;
  FormulaBarState& f = bar(app);
  const std::u16string ref = rangeText(p.anchorRow, p.anchorColumn, row, column);
  f.anchor = p.textStart;
  f.caret = p.textStart + p.textLength;
  replaceSelection(app, ref);
  p.textLength = static_cast<int>(ref.size());
  p.row = row;
  p.column = column;
  app.redrawAll();
}

void end_point(App& app) {
  if (!app.point.active)
    return;
  app.point = {};
  app.redrawAll();
}

LResult on_char(App& app, unsigned, WParam wParam, LParam) {
  const auto ch = static_cast<char16_t>(wParam);
  Sheet* s = app.gridSheet();
  if (!s)
    return 0;
  if (app.editMode != EditMode::None)
    return formula_bar_proc(app, WM_CHAR, wParam, 0);
  if (swallowed(app, ch))
    return 0;
  if (type_into_object(app, ch))
    return 0;
  const bool shift = (app.window.modifiers() & platform::kModShift) != 0;
  switch (ch) {
  case u'\t':
    app.leaveEndMode();
    walk_selection(app, true, shift);
    return 0;
  case u'\r':
  case u'\n': {
    const bool wasEnd = app.endMode;
    app.leaveEndMode();
    if (wasEnd) {
      // End, Enter: to the row's last used column.
      int last = -1;
      s->cells.forEachIn(CellRange{s->activeRow, 0, s->activeRow, static_cast<std::uint8_t>(model::kMaxColumn)},
                         [&](model::CellRecord& c) { last = c.column; });
      if (last < 0)
        return 0;
      const CellRange r = shift ? CellRange{s->activeRow, std::min<std::uint8_t>(s->activeColumn, static_cast<std::uint8_t>(last)),
                                            s->activeRow, std::max<std::uint8_t>(s->activeColumn, static_cast<std::uint8_t>(last))}
                                : CellRange::cell(s->activeRow, static_cast<std::uint8_t>(last));
      set_selection(app, r, shift ? std::nullopt : std::optional<CellPos>(CellPos{s->activeRow, static_cast<std::uint8_t>(last)}), true);
      return 0;
    }
    if (selection(*s).isSingleCell())
      if (const model::Hyperlink* link = model::hyperlinkAt(*s, s->activeRow, s->activeColumn)) {
        follow_hyperlink(app, link->target);
        return 0;
      }
    walk_selection(app, false, shift);
    return 0;
  }
  case 0x1B:
    return 0;
  default:
    break;
  }
  app.leaveEndMode();
  begin_entry_from_grid(app, ch);
  return 0;
}

LResult formula_bar_proc(App& app, unsigned msg, WParam wParam, LParam) {
  if (!app.gridSheet())
    return 0;
  const unsigned mods = app.window.modifiers();
  const bool shift = (mods & platform::kModShift) != 0;
  const bool ctrl = (mods & platform::kModControl) != 0;
  const bool alt = (mods & platform::kModAlt) != 0;
  if (msg == WM_LBUTTONDOWN) {
    if (app.editMode == EditMode::None) {
      begin_edit(app, false);
      // A refused edit must not leave the focus in the bar, where typing
      // would go nowhere.
      if (app.editMode == EditMode::None)
        app.window.setFocus(platform::FocusTarget::Grid);
    } else if (app.editMode == EditMode::Entry) {
      // Clicking into the text means editing it: arrows move the caret now.
      app.editMode = EditMode::Edit;
      end_point(app);
      platform::ui().requestRepaint(platform::kRepaintStatusBar);
    }
    return 0;
  }
  if (msg == WM_CHAR) {
    const auto ch = static_cast<char16_t>(wParam);
    if (swallowed(app, ch) || app.editMode == EditMode::None)
      return 0;
    end_point(app);
    if (ch == u'\b')
      deleteAround(app, false);
    else if (ch >= 32 && ch != kDelete)
      replaceSelection(app, std::u16string_view(&ch, 1));
    return 0;
  }
  if (msg != WM_KEYDOWN)
    return 0;
  const unsigned key = static_cast<unsigned>(wParam);
  if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU)
    return 0;
  app.swallowCharacters = {};
  // Switching sheets and workbooks is the window's, from the bar too (it
  // commits the entry first).
  if (ctrl && (key == VK_TAB || key == VK_PRIOR || key == VK_NEXT))
    return on_keydown(app, WM_KEYDOWN, wParam, 0);
  if (app.editMode == EditMode::None) {
    if (key == VK_DECIMAL)
      type_decimal_key(app);
    return 0;
  }
  end_point(app);
  const FormulaBarState& f = bar(app);
  switch (key) {
  case VK_RETURN:
    swallowNextCharacter(app, u"\r\n");
    if (alt)
      replaceSelection(app, u"\n");
    else if (ctrl && shift)
      commit_entry(app, true);
    else
      commitAndWalk(app, false, shift);
    return 0;
  case VK_TAB:
    swallowNextCharacter(app, u"\t");
    commitAndWalk(app, true, shift);
    return 0;
  case VK_ESCAPE:
    swallowNextCharacter(app, u"\x1b");
    cancel_entry(app);
    return 0;
  case VK_F2:
    app.editMode = app.editMode == EditMode::Entry ? EditMode::Edit : EditMode::Entry;
    platform::ui().requestRepaint(platform::kRepaintStatusBar);
    return 0;
  case VK_LEFT:
  case VK_RIGHT:
  case VK_UP:
  case VK_DOWN: {
    if (app.editMode == EditMode::Entry) {
      const Direction d = key == VK_LEFT ? Direction::Left
                          : key == VK_RIGHT ? Direction::Right
                          : key == VK_UP ? Direction::Up
                                         : Direction::Down;
      if (commit_entry(app, false))
        move_active(app, d);
      return 0;
    }
    if (key == VK_LEFT || key == VK_RIGHT) {
      setCaret(app, stepCharacter(f.text, f.caret, key == VK_LEFT ? -1 : 1), shift);
    } else {
      // Up and down move between the lines of a text with line feeds.
      const std::u16string& t = f.text;
      const size_t lineStart = f.caret == 0 ? 0 : t.rfind(u'\n', static_cast<size_t>(f.caret - 1)) + 1;
      const int column = f.caret - static_cast<int>(lineStart);
      if (key == VK_UP) {
        if (lineStart == 0)
          return 0;
        const size_t prevStart = lineStart < 2 ? 0 : t.rfind(u'\n', lineStart - 2) + 1;
        setCaret(app, static_cast<int>(std::min(prevStart + static_cast<size_t>(column), lineStart - 1)), shift);
      } else {
        const size_t next = t.find(u'\n', static_cast<size_t>(f.caret));
        if (next == std::u16string::npos)
          return 0;
        const size_t nextEnd = std::min(t.find(u'\n', next + 1), t.size());
        setCaret(app, static_cast<int>(std::min(next + 1 + static_cast<size_t>(column), nextEnd)), shift);
      }
    }
    return 0;
  }
  case VK_HOME:
    setCaret(app, 0, shift);
    return 0;
  case VK_END:
    setCaret(app, static_cast<int>(f.text.size()), shift);
    return 0;
  case VK_DELETE:
    deleteAround(app, true);
    return 0;
  case VK_DECIMAL:
    type_decimal_key(app);
    return 0;
  default:
    break;
  }
  if (ctrl && key == 'A') {
    setCaret(app, static_cast<int>(f.text.size()), false);
    bar(app).anchor = 0;
  }
  return 0;
}

} // namespace app
