// The macro commands that act on the cells of the active sheet as the menu
// commands do: sizes of rows and columns, number formats and fonts, moving
// the selection, the clipboard, sorting, series and goal seek. A reference
// argument left out means the selection. None records undo: the run clears
// the undo list once it has changed the workbook.

#include "datatools/goal_seek.h"
#include "datatools/sort.h"
#include "edit/cell_format.h"
#include "edit/clipboard.h"
#include "edit/fill.h"
#include "formula/value_ops.h"
#include "formula/function_table.h"
#include "macro/frames.h"
#include "model/display_text.h"
#include "model/drawing_objects.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "numfmt/builtin_formats.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"
#include "platform/window_services.h"

#include <cmath>

namespace macro::detail {

using formula::Arguments;
using formula::EvalContext;

namespace {

// The sheet and range a command acts on: the reference argument when given,
// else the active sheet's selection. Null sheet when there is none or the
// argument is not a reference.
struct Target {
  model::Sheet* sheet = nullptr;
  int index = -1;
  model::CellRange range;
};

Target targetOf(const CellValue& ref, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  Target t;
  if (!commandFrame(ctx))
    return t;
  if (ref.isEmpty()) {
    t.sheet = activeGridSheet(book);
    t.index = book.activeSheet;
    if (t.sheet)
      t.range = selectionOf(*t.sheet);
    return t;
  }
  if (!ref.isReference())
    return t;
  const model::SheetRange r = ref.referenceValue();
  t.index = r.sheet < 0 ? book.activeSheet : r.sheet;
  if (t.index < 0 || t.index >= book.sheetCount() || !book.sheet(t.index).hasGrid())
    return t;
  t.sheet = &book.sheet(t.index);
  t.range = r.range();
  return t;
}

bool isProtected(const model::Sheet& s) { return (s.flags & model::kSheetProtected) != 0; }

// An optional number argument as an integer, or `otherwise` when absent.
int whole(const CellValue& v, int otherwise) {
  return v.isNumber() ? static_cast<int>(std::trunc(v.numberValue())) : otherwise;
}

bool flag(const CellValue& v) { return v.isBoolean() && v.booleanValue(); }

void refresh(model::Workbook& book) {
  model::mark_modified(book);
  platform::ui().requestRepaint(platform::kRepaintAll);
}

// COLUMN.WIDTH(width, [reference], [standard], [type], [standard_width]):
// widths in characters; standard gives the columns the sheet's standard
// width; type 1 hides, 2 shows, 3 fits the columns to their contents;
// standard_width sets the sheet's standard width.
void columnWidth(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Target t = targetOf(args[1], ctx);
  const int type = whole(args[3], 0);
  const bool widthGiven = args[0].isNumber();
  const double width = widthGiven ? args[0].numberValue() : 0;
  const bool standardGiven = args[4].isNumber();
  const double standard = standardGiven ? args[4].numberValue() : 0;
  if (!t.sheet || isProtected(*t.sheet) || type < 0 || type > 3 || (widthGiven && !(width >= 0 && width <= 255)) ||
      (standardGiven && !(standard > 0 && standard <= 255))) {
    result = CellValue::boolean(false);
    return;
  }
  model::Sheet& s = *t.sheet;
  const std::uint8_t first = t.range.firstColumn, last = t.range.lastColumn;
  if (standardGiven) {
    s.defaultColumnWidth = static_cast<std::uint16_t>(standard * 256 + 0.5);
    s.flags &= ~model::kSheetGlobalColumnWidth;
  }
  if (flag(args[2])) {
    for (int c = first; c <= last; ++c) {
      const model::ColumnRecord old = model::column_record(s, static_cast<std::uint8_t>(c));
      model::set_column_record(s, static_cast<std::uint8_t>(c),
                               (old.flags | model::kLineDefaultSize) & ~model::kLineHidden, old.size);
    }
  } else if (widthGiven) {
    model::setColumnWidthChars(s, first, last, width);
  }
  switch (type) {
  case 1: model::setColumnWidthChars(s, first, last, 0); break;
  case 2: model::unhideColumns(s, first, last); break;
  case 3: model::fitColumnWidths(*ctx.book, t.index, first, last, 0, model::kMaxRow); break;
  default: break;
  }
  refresh(*ctx.book);
  answer(result, true);
}

// ROW.HEIGHT(height, [reference], [standard_height], [type]): heights in
// points; standard_height gives the rows the default height; type 1 hides,
// 2 shows, 3 fits the rows to their contents.
void rowHeight(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Target t = targetOf(args[1], ctx);
  const int type = whole(args[3], 0);
  const bool heightGiven = args[0].isNumber();
  const double height = heightGiven ? args[0].numberValue() : 0;
  if (!t.sheet || isProtected(*t.sheet) || type < 0 || type > 3 ||
      (heightGiven && !(height >= 0 && height <= 409))) {
    result = CellValue::boolean(false);
    return;
  }
  model::Sheet& s = *t.sheet;
  const std::uint16_t first = t.range.firstRow, last = t.range.lastRow;
  if (flag(args[2])) {
    for (int r = first; r <= last; ++r) {
      const model::RowRecord old = model::row_record(s, static_cast<std::uint16_t>(r));
      if (!(old.flags & model::kLineDefaultSize) || (old.flags & model::kLineHidden))
        model::set_row_record(s, static_cast<std::uint16_t>(r),
                              (old.flags | model::kLineDefaultSize) &
                                  ~(model::kLineHidden | model::kLineCustomHeight | model::kLineFilterHidden),
                              old.size);
    }
  } else if (heightGiven) {
    model::setRowHeightPoints(s, first, last, height);
  }
  switch (type) {
  case 1: model::setRowHeightPoints(s, first, last, 0); break;
  case 2: model::unhideRows(s, first, last); break;
  case 3: model::fitRowHeights(*ctx.book, t.index, first, last); break;
  default: break;
  }
  refresh(*ctx.book);
  answer(result, true);
}

// FORMAT.NUMBER(format_text): the selection takes the number format.
void formatNumber(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Target t = targetOf(CellValue(), ctx);
  if (!t.sheet || !args[0].isString() || args[0].stringValue().empty() || args[0].stringValue().size() > 255) {
    result = CellValue::boolean(false);
    return;
  }
  edit::FormatDialogState state;
  state.number.set(edit::NumberChoice{numfmt::kCategoryCustom, 0, std::u16string(args[0].stringValue())});
  answer(result, edit::apply_cell_format(*ctx.book, t.index, t.range, state));
}

// FONT.PROPERTIES(font, [style], [size], [strike], [superscript], [subscript],
// [outline], [shadow], [underline], [colour], ...): the selection's font.
// The style names bold and italic in English or Chinese ("Regular"/"常规"
// for neither); colour 0 is automatic, 1-56 the workbook's palette; an
// underline of 2 or more underlines. Superscript, subscript, outline and
// shadow have no place in a cell's font and are refused when asked for.
void fontProperties(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Target t = targetOf(CellValue(), ctx);
  const bool unsupported = flag(args[4]) || flag(args[5]) || flag(args[6]) || flag(args[7]);
  if (!t.sheet || unsupported) {
    result = CellValue::boolean(false);
    return;
  }
  edit::FormatDialogState state;
  if (args[0].isString() && !args[0].stringValue().empty())
    state.face.set(std::u16string(args[0].stringValue()));
  if (args[1].isString()) {
    const std::u16string style = platform::toLower(args[1].stringValue());
    const bool bold = style.find(u"bold") != std::u16string::npos || style.find(u"加粗") != std::u16string::npos;
    const bool italic =
        style.find(u"italic") != std::u16string::npos || style.find(u"倾斜") != std::u16string::npos;
    state.bold.set(bold);
    state.italic.set(italic);
  }
  if (args[2].isNumber()) {
    const double points = args[2].numberValue();
    if (!(points >= 1 && points <= edit::kMaxFontPoints)) {
      result = CellValue::boolean(false);
      return;
    }
    state.sizeTwips.set(static_cast<int>(std::lround(points * 20)));
  }
  if (args[3].isBoolean())
    state.strikeOut.set(args[3].booleanValue());
  if (args[8].isNumber())
    state.underline.set(args[8].numberValue() >= 2);
  if (args[9].isNumber()) {
    const int colour = whole(args[9], 0);
    if (colour < 0 || colour > 56) {
      result = CellValue::boolean(false);
      return;
    }
    state.fontColour.set(colour == 0 ? edit::kAutomaticColour : colour + 7);
  }
  answer(result, state.anyFontChanged() && edit::apply_cell_format(*ctx.book, t.index, t.range, state));
}

// SELECT.END(direction): 1 left, 2 right, 3 up, 4 down, as Ctrl+arrow.
void selectEnd(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Sheet* s = commandFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  const int direction = whole(args[0], 0);
  if (!s || direction < 1 || direction > 4) {
    result = CellValue::boolean(false);
    return;
  }
  const bool rows = direction >= 3;
  const int delta = direction == 1 || direction == 3 ? -1 : 1;
  const int target = model::blockEdge(*s, rows, rows ? s->activeColumn : s->activeRow,
                                      rows ? s->activeRow : s->activeColumn, delta);
  int row = s->activeRow, column = s->activeColumn;
  if (target >= 0)
    (rows ? row : column) = target;
  const model::CellRange cell{static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                              static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)};
  result = CellValue::boolean(selectRange(*ctx.book, referenceTo(ctx.book->activeSheet, cell), CellValue()));
}

// The open workbook our snapshot came from, when Paste may use it.
const model::Workbook* snapshotSource(const model::Workbook& book, platform::WindowServices& window) {
  const edit::InternalClipboard& clip = edit::internalClipboard();
  if (!clip.valid || !window.clipboardHasMarker())
    return nullptr;
  return clip.sourceWorkbook == book.id ? &book : model::WorkbookList::findOpen(clip.sourceWorkbook);
}

// Pastes onto `to` (the selection when empty): our snapshot with `options`
// when usable, else the clipboard's text when `textToo`.
bool pasteOnto(const CellValue& to, const edit::PasteOptions& options, bool textToo, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  if (!to.isEmpty() && !selectRange(book, to, CellValue()))
    return false;
  const Target t = targetOf(CellValue(), ctx);
  if (!t.sheet)
    return false;
  platform::WindowServices& window = platform::windowServices();
  const model::Workbook* source = snapshotSource(book, window);
  if (!source && !textToo)
    return false;
  const bool done = edit::paste_into(book, t.index, source, window, options, true);
  if (done && source && edit::internalClipboard().cut)
    edit::internalClipboard().outlined = false;
  return done;
}

// COPY([from], [to]) and CUT([from], [to]): the range goes to the clipboard
// and, with `to`, is pasted there at once.
void copyOrCut(Arguments& args, CellValue& result, EvalContext& ctx, bool cut) {
  const Target from = targetOf(args[0], ctx);
  if (!from.sheet || (cut && runningIn(*ctx.book, from.index, from.range))) {
    result = CellValue::boolean(false);
    return;
  }
  platform::WindowServices& window = platform::windowServices();
  const bool taken = cut ? edit::cut_range(*ctx.book, from.index, from.range, window)
                         : edit::copy_range(*ctx.book, from.index, from.range, window);
  if (!taken) {
    result = CellValue::boolean(false);
  } else if (!args[1].isEmpty()) {
    answer(result, pasteOnto(args[1], edit::PasteOptions{}, false, ctx));
  } else if (cut) {
    answer(result, true); // the cut emptied the range
  } else {
    result = CellValue::boolean(true);
  }
}

void copy(Arguments& args, CellValue& result, EvalContext& ctx) { copyOrCut(args, result, ctx, false); }
void cut(Arguments& args, CellValue& result, EvalContext& ctx) { copyOrCut(args, result, ctx, true); }

// PASTE([to]): as the Paste command, onto `to` or the selection.
void paste(Arguments& args, CellValue& result, EvalContext& ctx) {
  answer(result, commandFrame(ctx) && pasteOnto(args[0], edit::PasteOptions{}, true, ctx));
}

// PASTE.SPECIAL([part], [operation], [skip_blanks], [transpose]): part 1 all,
// 2 formulas, 3 values, 4 formats, 5 comments, 6 all but borders, 7
// validation; operation 1 none, 2 add, 3 subtract, 4 multiply, 5 divide.
// Only our own snapshot can be pasted this way; transposing is refused.
void pasteSpecial(Arguments& args, CellValue& result, EvalContext& ctx) {
  edit::PasteOptions options;
  options.part = whole(args[0], edit::kPasteAll);
  options.operation = whole(args[1], edit::kOperationNone);
  options.skipBlanks = flag(args[2]);
  const bool valid = options.part >= edit::kPasteAll && options.part <= edit::kPasteValidation &&
                     options.operation >= edit::kOperationNone && options.operation <= edit::kOperationDivide;
  answer(result, commandFrame(ctx) && valid && !flag(args[3]) && pasteOnto(CellValue(), options, false, ctx));
}

// SORT([by], [key1], [order1], [key2], [order2], [key3], [order3], [header],
// [custom], [match_case]): by 1 sorts rows (the default), 2 columns; a key
// is a cell in the key column (row); order 1 ascending, 2 descending;
// header 0 guesses, 1 keeps the first line in place, 2 (the default) sorts
// it too. A one-cell selection sorts its current region.
void sort(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Target t = targetOf(CellValue(), ctx);
  const int by = whole(args[0], 1);
  const int header = whole(args[7], 2);
  if (!t.sheet || (by != 1 && by != 2) || header < 0 || header > 2 || whole(args[8], 1) != 1) {
    result = CellValue::boolean(false);
    return;
  }
  datatools::SortSettings settings;
  settings.sheet = t.index;
  settings.byColumns = by == 2;
  settings.caseSensitive = flag(args[9]);
  settings.range = t.range;
  if (t.range.firstRow == t.range.lastRow && t.range.firstColumn == t.range.lastColumn)
    settings.range = datatools::currentRegion(*t.sheet, t.range.firstRow, t.range.firstColumn);
  const model::CellRange& r = settings.range;
  for (int k = 0; k < 3; ++k) {
    const CellValue& key = args[1 + 2 * k];
    const int order = whole(args[2 + 2 * k], 1);
    if (order != 1 && order != 2) {
      result = CellValue::boolean(false);
      return;
    }
    settings.ascending[k] = order == 1;
    settings.keys[k] = k == 0 ? 0 : -1;
    if (key.isEmpty())
      continue;
    if (!key.isReference()) {
      result = CellValue::boolean(false);
      return;
    }
    const model::CellRange c = key.referenceValue().range();
    const int line = settings.byColumns ? c.firstRow : c.firstColumn;
    const int first = settings.byColumns ? r.firstRow : r.firstColumn;
    const int last = settings.byColumns ? r.lastRow : r.lastColumn;
    if (line < first || line > last) {
      result = CellValue::boolean(false);
      return;
    }
    settings.keys[k] = line - first;
  }
  settings.hasHeader = header == 1 || (header == 0 && datatools::guessHeader(*ctx.book, t.index, r, settings.byColumns));
  if (runningIn(*ctx.book, t.index, r)) {
    result = CellValue::boolean(false);
    return;
  }
  answer(result, datatools::sortRange(*ctx.book, settings));
}

// DATA.SERIES([rowcol], [type], [date], [step], [stop], [trend]): rowcol 1
// fills along rows, 2 down columns (by default the longer side decides);
// type 1 linear, 2 growth, 3 date; date 1 day, 2 weekday, 3 month, 4 year.
// AutoFill (type 4) and trends are refused.
void dataSeries(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Target t = targetOf(CellValue(), ctx);
  const int rowcol = whole(args[0], 0);
  const int type = whole(args[1], 1);
  const int date = whole(args[2], 1);
  if (!t.sheet || rowcol < 0 || rowcol > 2 || type < 1 || type > 3 || date < 1 || date > 4 || flag(args[5])) {
    result = CellValue::boolean(false);
    return;
  }
  edit::SeriesOptions options;
  options.rows = rowcol == 0 ? edit::defaultSeriesRows(t.range) : rowcol == 1;
  options.type = static_cast<edit::SeriesType>(type - 1);
  options.unit = static_cast<edit::DateUnit>(date - 1);
  if (args[3].isNumber())
    options.step = args[3].numberValue();
  if (args[4].isNumber())
    options.stop = args[4].numberValue();
  answer(result, !runningIn(*ctx.book, t.index, t.range) && edit::fill_series(*ctx.book, t.index, t.range, options));
}

// GOAL.SEEK(target_cell, value, changing_cell): TRUE when the target reached
// the value. The changing cell must hold a constant and the target a formula.
void goalSeek(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  const Target target = targetOf(args[0], ctx);
  const Target changing = targetOf(args[2], ctx);
  const auto single = [](const Target& t) {
    return t.sheet && t.range.firstRow == t.range.lastRow && t.range.firstColumn == t.range.lastColumn;
  };
  if (!single(target) || !single(changing) || !args[1].isNumber()) {
    result = CellValue::boolean(false);
    return;
  }
  const model::CellRecord* formulaCell = target.sheet->cells.at(target.range.firstRow, target.range.firstColumn);
  const model::CellRecord* input = changing.sheet->cells.at(changing.range.firstRow, changing.range.firstColumn);
  if (!formulaCell || !formulaCell->isFormula || (input && input->isFormula) ||
      runningIn(book, changing.index, changing.range)) {
    result = CellValue::boolean(false);
    return;
  }
  datatools::GoalSeekRequest request;
  request.targetSheet = target.index;
  request.targetRow = target.range.firstRow;
  request.targetColumn = target.range.firstColumn;
  request.goal = args[1].numberValue();
  request.changingSheet = changing.index;
  request.changingRow = changing.range.firstRow;
  request.changingColumn = changing.range.firstColumn;
  const bool ran = datatools::goalSeek(book, request);
  answer(result, ran);
  result = CellValue::boolean(ran && request.solved);
}

// The object GET.OBJECT asks about: by its number on the sheet, counting
// objects in drawing order as the files number them (filter arrows left
// out), or the selected object when no number is given.
const model::DrawingObject* objectNumbered(const model::Sheet& s, const CellValue& id) {
  if (id.isEmpty())
    return s.selectedObject >= 0 && s.selectedObject < static_cast<int>(s.objects.size())
               ? &s.objects[static_cast<size_t>(s.selectedObject)]
               : nullptr;
  const double wanted = id.isNumber() ? std::trunc(id.numberValue()) : 0;
  double number = 0;
  for (const model::DrawingObject& o : s.objects)
    if (!o.filterArrow && ++number == wanted)
      return &o;
  return nullptr;
}

// A corner as GET.OBJECT gives it: the cell under it in R1C1 form, or its
// offset into that cell in points.
CellValue cornerCell(const model::AnchorCorner& c) {
  return CellValue::string(platform::fromUtf8("R" + std::to_string(c.row + 1) + "C" + std::to_string(c.column + 1)));
}
CellValue cornerOffset(const model::Sheet& s, const model::AnchorCorner& c, bool across) {
  const model::PixelScale scale;
  const int px = across ? model::column_offset_px(s, c.column, c.columnOffset, scale) -
                             model::column_offset_px(s, c.column, 0, scale)
                        : model::row_offset_px(s, c.row, c.rowOffset, scale) - model::row_offset_px(s, c.row, 0, scale);
  return CellValue::number(px * 72.0 / scale.logicalPixelsPerInch);
}

// GET.OBJECT(type_num, [object_number], ...): 1 the object's type, 2 locked,
// 3 visible, 4 and 7 the cells under its top-left and bottom-right corners,
// 5, 6, 8 and 9 the corners' offsets into those cells in points, 10 its
// macro, 11 how it follows its cells (1 move and size, 2 move only, 3
// fixed). An unknown object or type gives #VALUE!.
void getObject(Arguments& args, CellValue& result, EvalContext& ctx) {
  const model::Sheet* s = executingFrame(ctx) ? activeGridSheet(*ctx.book) : nullptr;
  if (!s) {
    result = CellValue::boolean(false);
    return;
  }
  const model::DrawingObject* o = objectNumbered(*s, args[1]);
  const int type = whole(args[0], 0);
  result = CellValue::error(model::ErrorCode::Value);
  if (!o)
    return;
  const model::AnchorCorner& first = o->anchor.first;
  const model::AnchorCorner& last = o->anchor.last;
  switch (type) {
  case 1: result = CellValue::number(o->kind); break;
  case 2: result = CellValue::boolean(true); break; // every object is locked, as the files write them
  case 3: result = CellValue::boolean(o->kind != model::kObjectComment || o->visible); break;
  case 4: result = cornerCell(first); break;
  case 5: result = cornerOffset(*s, first, true); break;
  case 6: result = cornerOffset(*s, first, false); break;
  case 7: result = cornerCell(last); break;
  case 8: result = cornerOffset(*s, last, true); break;
  case 9: result = cornerOffset(*s, last, false); break;
  case 10: result = CellValue::string(o->macro); break;
  case 11: result = CellValue::number(static_cast<int>(o->placement)); break;
  default: break;
  }
}

} // namespace

void registerSheetCommands() {
  formula::registerHandler(u"COLUMN.WIDTH", columnWidth);
  formula::registerHandler(u"ROW.HEIGHT", rowHeight);
  formula::registerHandler(u"FORMAT.NUMBER", formatNumber);
  formula::registerHandler(u"FONT.PROPERTIES", fontProperties);
  formula::registerHandler(u"SELECT.END", selectEnd);
  formula::registerHandler(u"COPY", copy);
  formula::registerHandler(u"CUT", cut);
  formula::registerHandler(u"PASTE", paste);
  formula::registerHandler(u"PASTE.SPECIAL", pasteSpecial);
  formula::registerHandler(u"SORT", sort);
  formula::registerHandler(u"DATA.SERIES", dataSeries);
  formula::registerHandler(u"GOAL.SEEK", goalSeek);
  formula::registerHandler(u"GET.OBJECT", getObject);
}

} // namespace macro::detail
