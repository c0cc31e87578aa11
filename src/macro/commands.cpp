// The macro functions that act: on cells, names, the selection, the
// workbook, and through the platform's message services. Each answers FALSE
// without acting outside a frame started as a command.

#include "edit/clear.h"
#include "edit/fill.h"
#include "edit/structure.h"
#include "formula/function_table.h"
#include "formula/reader.h"
#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "formula/value_ops.h"
#include "macro/frames.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/workbook.h"
#include "model/workbook_list.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

namespace macro::detail {

using formula::Arguments;
using formula::EvalContext;
using model::ErrorCode;

// ---- the selection of the active sheet ----

model::Sheet* activeGridSheet(model::Workbook& book) {
  if (book.activeSheet < 0 || book.activeSheet >= book.sheetCount())
    return nullptr;
  model::Sheet& s = book.sheet(book.activeSheet);
  return s.kind == model::SheetKind::Worksheet || s.kind == model::SheetKind::Macro ? &s : nullptr;
}

model::CellRange selectionOf(const model::Sheet& s) {
  return model::SheetRange{-1, s.selectionFirst, s.selectionLast}.range();
}

CellValue referenceTo(int sheet, const model::CellRange& r) {
  return CellValue::reference(model::SheetRange::of(static_cast<std::int16_t>(sheet), r));
}

void answer(CellValue& result, bool done) {
  if (done)
    noteWorkbookChanged();
  result = CellValue::boolean(done);
}

// SELECT(selection, [active_cell]) and FORMULA.GOTO(reference): the
// reference's sheet becomes active with the range selected.
bool selectRange(model::Workbook& book, const CellValue& ref, const CellValue& activeRef) {
  if (!ref.isReference())
    return false;
  const model::SheetRange r = ref.referenceValue();
  const int sheet = r.sheet < 0 ? book.activeSheet : r.sheet;
  if (sheet < 0 || sheet >= book.sheetCount())
    return false;
  model::Sheet& s = book.sheet(sheet);
  if (s.kind != model::SheetKind::Worksheet && s.kind != model::SheetKind::Macro)
    return false;
  const model::CellRange a = r.range();
  std::uint16_t row = a.firstRow;
  std::uint8_t column = a.firstColumn;
  if (activeRef.isReference()) {
    const model::CellRange c = activeRef.referenceValue().range();
    if (c.firstRow < a.firstRow || c.firstRow > a.lastRow || c.firstColumn < a.firstColumn ||
        c.firstColumn > a.lastColumn)
      return false;
    row = c.firstRow;
    column = c.firstColumn;
  }
  if (sheet != book.activeSheet)
    model::activate_sheet(book, sheet);
  s.selectionFirst = model::packCell(a.firstRow, a.firstColumn);
  s.selectionLast = model::packCell(a.lastRow, a.lastColumn);
  s.activeRow = row;
  s.activeColumn = column;
  platform::ui().requestRepaint(platform::kRepaintGrid);
  return true;
}

namespace {

// The text that, typed into a cell, stores this value.
std::u16string inputOf(const CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Empty: return {};
  case model::ValueKind::Boolean: return v.booleanValue() ? u"TRUE" : u"FALSE";
  case model::ValueKind::Error: return std::u16string(model::errorText(v.errorValue()));
  case model::ValueKind::String: return u"'" + std::u16string(v.stringValue());
  default: {
    const CellValue t = formula::toText(v);
    return t.isString() ? std::u16string(t.stringValue()) : std::u16string();
  }
  }
}

int sheetOf(const model::SheetRange& r, const EvalContext& ctx) {
  return r.sheet < 0 ? ctx.sheet : r.sheet;
}

// SET.VALUE(reference, values): the cells of a macro sheet take the values
// (an array spreads over the area); formulas keep their text.
void setValue(Arguments& args, CellValue& result, EvalContext& ctx) {
  Frame* f = commandFrame(ctx);
  if (!f || !args[0].isReference()) {
    result = CellValue::boolean(false);
    return;
  }
  const model::SheetRange r = args[0].referenceValue();
  const int sheet = sheetOf(r, ctx);
  model::Workbook& book = *ctx.book;
  if (sheet < 0 || sheet >= book.sheetCount() ||
      book.sheet(sheet).kind != model::SheetKind::Macro) {
    result = CellValue::error(ErrorCode::Ref);
    return;
  }
  const model::CellRange a = r.range();
  const CellValue& v = args[1];
  for (int row = a.firstRow; row <= a.lastRow; ++row)
    for (int col = a.firstColumn; col <= a.lastColumn; ++col) {
      CellValue item = v;
      if (v.isArray()) {
        const int i = row - a.firstRow, j = col - a.firstColumn;
        item = i < v.arrayRows() && j < v.arrayColumns() ? v.arrayItem(i, j)
                                                          : CellValue::error(ErrorCode::NA);
      }
      const auto rr = static_cast<std::uint16_t>(row);
      const auto cc = static_cast<std::uint8_t>(col);
      model::CellRecord* cell = book.sheet(sheet).cells.at(rr, cc);
      if (cell && cell->isFormula) {
        cell->value = std::move(item);
        cell->display.reset();
        if (model::modelServices().propagateChange)
          model::modelServices().propagateChange(book, sheet, *cell);
      } else if (!model::set_cell(book, sheet, rr, cc, inputOf(item),
                                  cell ? cell->formatIndex : std::uint16_t{15}, false, true)) {
        result = CellValue::boolean(false);
        return;
      }
    }
  noteWorkbookChanged();
  result = CellValue::boolean(true);
}

// SET.NAME(name_text, [value]): a name of the running macro's own.
void setName(Arguments& args, CellValue& result, EvalContext& ctx) {
  Frame* f = executingFrame(ctx);
  const CellValue name = formula::toText(formula::toSingleValue(args[0], ctx));
  if (!f || !name.isString() || name.stringValue().empty()) {
    result = CellValue::boolean(false);
    return;
  }
  CellValue v = args[1];
  if (v.isReference()) {
    model::SheetRange r = v.referenceValue();
    if (r.sheet < 0)
      r.sheet = static_cast<std::int16_t>(ctx.sheet);
    v = CellValue::reference(r);
  }
  setLocal(*f, name.stringValue(), std::move(v));
  result = CellValue::boolean(true);
}

// ACTIVE.CELL(): the active cell of the active sheet.
void activeCell(Arguments&, CellValue& result, EvalContext& ctx) {
  const model::Sheet* s = executingFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  result = s ? referenceTo(ctx.book->activeSheet, {s->activeRow, s->activeColumn, s->activeRow,
                                                   s->activeColumn})
             : CellValue::boolean(false);
}

// SELECTION(): the selected range of the active sheet.
void selection(Arguments&, CellValue& result, EvalContext& ctx) {
  const model::Sheet* s = executingFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  result = s ? referenceTo(ctx.book->activeSheet, selectionOf(*s)) : CellValue::boolean(false);
}

void select(Arguments& args, CellValue& result, EvalContext& ctx) {
  result = CellValue::boolean(commandFrame(ctx) && selectRange(*ctx.book, args[0], args[1]));
}

void formulaGoto(Arguments& args, CellValue& result, EvalContext& ctx) {
  result = CellValue::boolean(commandFrame(ctx) && selectRange(*ctx.book, args[0], CellValue()));
}

// SELECT.LAST.CELL(): the last row and column that hold cells.
void selectLastCell(Arguments&, CellValue& result, EvalContext& ctx) {
  model::Sheet* s = commandFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  if (!s) {
    result = CellValue::boolean(false);
    return;
  }
  const model::CellRecord* last = s->cells.last();
  const std::uint16_t row = last ? last->row : 0;
  const auto column = static_cast<std::uint8_t>(last ? std::max(0, s->cells.lastColumn()) : 0);
  result = CellValue::boolean(selectRange(*ctx.book, referenceTo(ctx.book->activeSheet, {row, column, row, column}),
                                          CellValue()));
}

// FORMULA(formula_text, [reference]): enters text as typed into the
// reference's first cell (the active cell by default).
void formulaCommand(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  model::Sheet* active = commandFrame(ctx) ? activeGridSheet(book) : nullptr;
  if (!active || !args[0].isString()) {
    result = CellValue::boolean(false);
    return;
  }
  int sheet = book.activeSheet;
  std::uint16_t row = active->activeRow;
  std::uint8_t column = active->activeColumn;
  if (args[1].isReference()) {
    const model::SheetRange r = args[1].referenceValue();
    sheet = r.sheet < 0 ? book.activeSheet : r.sheet;
    row = r.range().firstRow;
    column = r.range().firstColumn;
  } else if (!args[1].isEmpty()) {
    result = CellValue::boolean(false);
    return;
  }
  if (sheet < 0 || sheet >= book.sheetCount() || !book.sheet(sheet).hasGrid()) {
    result = CellValue::boolean(false);
    return;
  }
  if (runningIn(book, sheet, {row, column, row, column})) {
    result = CellValue::boolean(false); // the text being read cannot be replaced under the reader
    return;
  }
  const model::CellRecord* old = book.sheet(sheet).cells.at(row, column);
  answer(result, model::set_cell(book, sheet, row, column, args[0].stringValue(),
                                 old ? old->formatIndex : std::uint16_t{15}, true, true));
}

// CLEAR([type_num]): 1 all, 2 formats, 3 contents (the default), 4 comments.
void clear(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Sheet* s = commandFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  const int type = args[0].isNumber() ? static_cast<int>(args[0].numberValue()) : 3;
  if (!s || type < 1 || type > 4) {
    result = CellValue::boolean(false);
    return;
  }
  if (runningIn(*ctx.book, ctx.book->activeSheet, selectionOf(*s))) {
    result = CellValue::boolean(false);
    return;
  }
  static constexpr edit::ClearPart kParts[] = {edit::ClearPart::All, edit::ClearPart::Formats,
                                               edit::ClearPart::Contents, edit::ClearPart::Comments};
  answer(result, edit::clear_range(*ctx.book, ctx.book->activeSheet, selectionOf(*s), kParts[type - 1]));
}

template <edit::FillDirection D>
void fillCommand(Arguments&, CellValue& result, EvalContext& ctx) {
  model::Sheet* s = commandFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  answer(result, s && !runningIn(*ctx.book, ctx.book->activeSheet, selectionOf(*s)) &&
                     edit::fill(*ctx.book, ctx.book->activeSheet, selectionOf(*s), D));
}

// INSERT and EDIT.DELETE([shift_num]): 1 cells sideways, 2 cells vertically,
// 3 whole rows, 4 whole columns, of the selection.
void shiftCells(Arguments& args, CellValue& result, EvalContext& ctx, bool inserting) {
  model::Sheet* s = commandFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  const int type = args[0].isNumber() ? static_cast<int>(args[0].numberValue()) : 2;
  if (!s || type < 1 || type > 4) {
    result = CellValue::boolean(false);
    return;
  }
  model::CellRange r = selectionOf(*s);
  if (type == 3) {
    r.firstColumn = 0;
    r.lastColumn = 255;
  } else if (type == 4) {
    r.firstRow = 0;
    r.lastRow = 65535;
  }
  const bool sideways = type == 1 || type == 4;
  model::Workbook& book = *ctx.book;
  const int sheet = book.activeSheet;
  if (runningIn(book, sheet, r, /*anyCell=*/true)) {
    result = CellValue::boolean(false); // the running macro's cells would move under it
    return;
  }
  bool done = false;
  if (inserting)
    done = sideways ? edit::insert_cells_right(book, sheet, r) : edit::insert_cells_down(book, sheet, r);
  else
    done = sideways ? edit::delete_cells_left(book, sheet, r) : edit::delete_cells_up(book, sheet, r);
  answer(result, done);
}

void insertCommand(Arguments& args, CellValue& result, EvalContext& ctx) { shiftCells(args, result, ctx, true); }
void deleteCommand(Arguments& args, CellValue& result, EvalContext& ctx) { shiftCells(args, result, ctx, false); }

void calculateNow(Arguments&, CellValue& result, EvalContext& ctx) {
  if (!commandFrame(ctx)) {
    result = CellValue::boolean(false);
    return;
  }
  formula::recalcAll(*ctx.book);
  formula::computeStaleFormulas(*ctx.book);
  result = CellValue::boolean(true);
}

void calculateDocument(Arguments&, CellValue& result, EvalContext& ctx) {
  if (!commandFrame(ctx) || !activeGridSheet(*ctx.book)) {
    result = CellValue::boolean(false);
    return;
  }
  formula::recalcSheet(*ctx.book, ctx.book->activeSheet);
  formula::computeStaleFormulas(*ctx.book);
  result = CellValue::boolean(true);
}

// WORKBOOK.ACTIVATE(sheet_name): the named sheet of this workbook becomes active.
void workbookActivate(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  if (!commandFrame(ctx) || !args[0].isString()) {
    result = CellValue::boolean(false);
    return;
  }
  for (int i = 0; i < book.sheetCount(); ++i)
    if (platform::equalsIgnoreCase(book.sheet(i).name, args[0].stringValue())) {
      model::activate_sheet(book, i);
      result = CellValue::boolean(true);
      return;
    }
  result = CellValue::boolean(false);
}

// ALERT(message_text, [type_num]): 1 asks OK or Cancel (TRUE for OK), 2
// informs, 3 (the default) warns.
void alert(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (!commandFrame(ctx) || !args[0].isString()) {
    result = CellValue::boolean(false);
    return;
  }
  const int type = args[1].isNumber() ? static_cast<int>(args[1].numberValue()) : 3;
  const platform::MessageButtons buttons =
      type == 1 ? platform::MessageButtons::OkCancel : platform::MessageButtons::Ok;
  const platform::MessageIcon icon = type == 1   ? platform::MessageIcon::Question
                                     : type == 2 ? platform::MessageIcon::Information
                                                 : platform::MessageIcon::Warning;
  const platform::MessageAnswer a =
      platform::ui().messageBox(args[0].stringValue(), model::kProductName, buttons, icon);
  result = CellValue::boolean(a == platform::MessageAnswer::Ok);
}

char16_t listSeparator() {
  const std::u16string& ls = platform::localeStrings().listSeparator;
  return ls.empty() ? u',' : ls[0];
}

// A reference read from text, in A1 or R1C1 form.
CellValue readReference(std::u16string_view text, bool a1, const EvalContext& ctx) {
  formula::ParsedReference ref;
  const bool ok = a1 ? formula::readA1Reference(text, 0, ctx.book, listSeparator(), ref)
                     : formula::readR1C1Reference(text, 0, ctx.book, listSeparator(), ctx.row,
                                                  ctx.column, ref);
  if (!ok || ref.end != text.size())
    return CellValue::error(ErrorCode::Ref);
  return referenceTo(ref.hasQualifier ? ref.sheet : -1, ref.range());
}

// INPUT(message_text, [type_num], [title_text], [default], ...): the user's
// answer as the type asks (bits: 1 number, 2 text, 4 logical, 8 reference;
// 0 a formula's text); FALSE when cancelled or nobody can answer.
void input(Arguments& args, CellValue& result, EvalContext& ctx) {
  InputHook& hook = inputHook();
  if (!commandFrame(ctx) || !hook || !args[0].isString()) {
    result = CellValue::boolean(false);
    return;
  }
  const int type = args[1].isNumber() ? static_cast<int>(args[1].numberValue()) : 2;
  const std::u16string title(args[2].isString() ? args[2].stringValue() : std::u16string_view(u"输入"));
  std::u16string proposed;
  if (!args[3].isEmpty()) {
    const CellValue t = formula::toText(formula::toSingleValue(args[3], ctx));
    if (t.isString())
      proposed = t.stringValue();
  }
  const std::optional<std::u16string> text = hook(args[0].stringValue(), title, proposed);
  if (!text) {
    result = CellValue::boolean(false);
    return;
  }
  const CellValue asText = CellValue::string(*text);
  if (type & 1) {
    const CellValue n = formula::toNumber(asText, ctx);
    if (n.isNumber()) {
      result = n;
      return;
    }
  }
  if (type & 4) {
    const CellValue b = formula::toBoolean(asText);
    if (b.isBoolean()) {
      result = b;
      return;
    }
  }
  if (type & 8) {
    const CellValue r = readReference(*text, true, ctx);
    if (r.isReference()) {
      result = r;
      return;
    }
  }
  result = (type == 0 || (type & 2)) ? asText : CellValue::boolean(false);
}

// DEREF(reference): the values of the cells.
void deref(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (!executingFrame(ctx)) {
    result = CellValue::boolean(false);
    return;
  }
  EvalContext at = ctx;
  const model::CellRange a = args[0].isReference() ? args[0].referenceValue().range() : model::CellRange{};
  at.arrayMode = args[0].isReference() && a.rowCount() * a.columnCount() > 1;
  result = formula::dereference(args[0], at);
}

// EVALUATE(formula_text): the value of the text read as a formula here.
void evaluate(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (!executingFrame(ctx) || !args[0].isString()) {
    result = CellValue::boolean(false);
    return;
  }
  std::u16string_view t = args[0].stringValue();
  EvalContext inner = ctx;
  result = formula::evaluateSpan(t, 0, t.size(), inner);
  if (result.isEmpty())
    result = CellValue::number(0);
}

// REFTEXT(reference, [a1]): the reference as text, with its sheet.
void refText(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (!executingFrame(ctx) || !args[0].isReference()) {
    result = args[0].isError() ? args[0] : CellValue::boolean(false);
    return;
  }
  const model::SheetRange r = args[0].referenceValue();
  const int sheet = r.sheet < 0 ? ctx.sheet : r.sheet;
  const model::CellRange a = r.range();
  const bool a1 = args[1].isBoolean() && args[1].booleanValue();
  std::u16string out;
  if (sheet >= 0 && sheet < ctx.book->sheetCount())
    formula::appendSheetQualifier(out, ctx.book->sheet(sheet).name, false);
  auto corner = [&](int row, int column) {
    if (a1) {
      formula::appendCellAddress(out, formula::RefCorner{row, column, true, true});
    } else {
      out += u"R" + platform::fromUtf8(std::to_string(row + 1)) + u"C" +
             platform::fromUtf8(std::to_string(column + 1));
    }
  };
  corner(a.firstRow, a.firstColumn);
  if (a.lastRow != a.firstRow || a.lastColumn != a.firstColumn) {
    out += u':';
    corner(a.lastRow, a.lastColumn);
  }
  result = CellValue::string(out);
}

// TEXTREF(text, [a1]): the reference a text names.
void textRef(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (!executingFrame(ctx) || !args[0].isString()) {
    result = CellValue::boolean(false);
    return;
  }
  const bool a1 = args[1].isBoolean() && args[1].booleanValue();
  result = readReference(args[0].stringValue(), a1, ctx);
}

} // namespace

void registerCommandFunctions() {
  formula::registerHandler(u"SET.VALUE", setValue);
  formula::registerHandler(u"SET.NAME", setName);
  formula::registerHandler(u"ACTIVE.CELL", activeCell);
  formula::registerHandler(u"SELECTION", selection);
  formula::registerHandler(u"SELECT", select);
  formula::registerHandler(u"FORMULA.GOTO", formulaGoto);
  formula::registerHandler(u"SELECT.LAST.CELL", selectLastCell);
  formula::registerHandler(u"FORMULA", formulaCommand);
  formula::registerHandler(u"CLEAR", clear);
  formula::registerHandler(u"FILL.DOWN", fillCommand<edit::FillDirection::Down>);
  formula::registerHandler(u"FILL.RIGHT", fillCommand<edit::FillDirection::Right>);
  formula::registerHandler(u"FILL.UP", fillCommand<edit::FillDirection::Up>);
  formula::registerHandler(u"FILL.LEFT", fillCommand<edit::FillDirection::Left>);
  formula::registerHandler(u"INSERT", insertCommand);
  formula::registerHandler(u"EDIT.DELETE", deleteCommand);
  formula::registerHandler(u"CALCULATE.NOW", calculateNow);
  formula::registerHandler(u"CALCULATE.DOCUMENT", calculateDocument);
  formula::registerHandler(u"WORKBOOK.ACTIVATE", workbookActivate);
  formula::registerHandler(u"ALERT", alert);
  formula::registerHandler(u"INPUT", input);
  formula::registerHandler(u"DEREF", deref);
  formula::registerHandler(u"EVALUATE", evaluate);
  formula::registerHandler(u"REFTEXT", refText);
  formula::registerHandler(u"TEXTREF", textRef);
  registerSheetCommands();
  registerWorkbookCommands();
}

} // namespace macro::detail
