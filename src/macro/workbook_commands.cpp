// The macro commands that act on the workbook and the program: windows,
// sheets, protection, activation macros, the bell and waiting.

#include "formula/reader.h"
#include "formula/value_ops.h"
#include "formula/function_table.h"
#include "macro/frames.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace macro {

std::function<void()>& beepHook() {
  static std::function<void()> hook;
  return hook;
}

std::function<bool(model::Workbook& book)>& dataFormHook() {
  static std::function<bool(model::Workbook& book)> hook;
  return hook;
}

} // namespace macro

namespace macro::detail {

using formula::Arguments;
using formula::EvalContext;

namespace {

// The sheet of this workbook named by a text, which may carry the workbook's
// name before it ("[Book1.xls]Sheet1" or "Book1.xls!Sheet1"); -1 when none.
int sheetNamed(const model::Workbook& book, std::u16string_view text) {
  const size_t cut = text.find_last_of(u"]!");
  if (cut != std::u16string_view::npos)
    text.remove_prefix(cut + 1);
  for (int i = 0; i < book.sheetCount(); ++i)
    if (platform::equalsIgnoreCase(book.sheet(i).name, text))
      return i;
  return -1;
}

std::u16string_view optionalText(const CellValue& v) {
  return v.isString() ? v.stringValue() : std::u16string_view();
}

// ACTIVATE([window_text], [pane]): the open workbook of that file name (a
// ":n" window suffix is ignored) becomes active; the panes of a window are
// not told apart.
void activate(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (!commandFrame(ctx)) {
    result = CellValue::boolean(false);
    return;
  }
  if (args[0].isEmpty()) {
    result = CellValue::boolean(true);
    return;
  }
  std::u16string_view name = optionalText(args[0]);
  const size_t colon = name.find_last_of(u':');
  if (colon != std::u16string_view::npos && colon > 0)
    name = name.substr(0, colon);
  model::WorkbookList* books = model::WorkbookList::holding(*ctx.book);
  if (name.empty() || !books) {
    result = CellValue::boolean(books == nullptr && platform::equalsIgnoreCase(
                                                        name, model::fileNamePart(ctx.book->path)));
    return;
  }
  for (int i = 0; i < books->count(); ++i)
    if (platform::equalsIgnoreCase(model::fileNamePart(books->at(i).path), name)) {
      books->activate_workbook(i);
      result = CellValue::boolean(true);
      return;
    }
  result = CellValue::boolean(false);
}

// WORKBOOK.NAME(old_name, new_name): renames a sheet of this workbook.
void workbookName(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  const int index = commandFrame(ctx) ? sheetNamed(book, optionalText(args[0])) : -1;
  const std::u16string_view name = optionalText(args[1]);
  if (index < 0 || !model::checkSheetName(book, name, index).empty()) {
    result = CellValue::boolean(false);
    return;
  }
  answer(result, model::rename_sheet(book, index, name));
}

// WORKBOOK.INSERT([type]): a new sheet before the active one, 1 a worksheet
// (the default), 3 or 4 a macro sheet. Chart sheets need a chart: refused.
void workbookInsert(Arguments& args, CellValue& result, EvalContext& ctx) {
  const int type = args[0].isNumber() ? static_cast<int>(std::trunc(args[0].numberValue())) : 1;
  model::Workbook& book = *ctx.book;
  if (!commandFrame(ctx) || (type != 1 && type != 3 && type != 4)) {
    result = CellValue::boolean(false);
    return;
  }
  const model::SheetKind kind = type == 1 ? model::SheetKind::Worksheet : model::SheetKind::Macro;
  const int position = std::max(book.activeSheet, 0);
  const bool done = model::insert_sheet(book, position, std::nullopt, kind, false);
  if (done)
    sheetsShifted(book, position, 1);
  answer(result, done);
}

// WORKBOOK.DELETE([sheet_name]): deletes a sheet (the active one by
// default), never one a running macro is reading.
void workbookDelete(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  if (!commandFrame(ctx)) {
    result = CellValue::boolean(false);
    return;
  }
  const int index = args[0].isEmpty() ? book.activeSheet : sheetNamed(book, optionalText(args[0]));
  if (index < 0 || index >= book.sheetCount() || runningIn(book, index, {}, /*anyCell=*/true)) {
    result = CellValue::boolean(false);
    return;
  }
  const int previous = book.activeSheet;
  model::activate_sheet(book, index);
  if (book.activeSheet != index) {
    result = CellValue::boolean(false);
    return;
  }
  if (!model::delete_active_sheet(book)) {
    model::activate_sheet(book, previous);
    result = CellValue::boolean(false);
    return;
  }
  sheetsShifted(book, index + 1, -1);
  answer(result, true);
}

// ON.SHEET([sheet_text], [macro_text], [activate]): the macro runs when the
// sheet is activated (or, with activate FALSE, deactivated); without a sheet
// for every sheet of the workbook; without a macro the setting is cleared.
void onSheet(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  if (!commandFrame(ctx)) {
    result = CellValue::boolean(false);
    return;
  }
  const bool onActivate = !args[2].isBoolean() || args[2].booleanValue();
  std::optional<std::u16string> macro;
  if (!optionalText(args[1]).empty())
    macro = std::u16string(optionalText(args[1]));
  if (args[0].isEmpty()) {
    (onActivate ? book.activateMacro : book.deactivateMacro) = macro;
  } else {
    const int index = sheetNamed(book, optionalText(args[0]));
    if (index < 0) {
      result = CellValue::boolean(false);
      return;
    }
    model::Sheet& s = book.sheet(index);
    (onActivate ? s.activateMacro : s.deactivateMacro) = macro;
  }
  answer(result, true);
}

// PROTECT.DOCUMENT([contents], [windows], [password], [objects]): contents
// TRUE (the default) protects the active sheet with the password, FALSE
// takes the protection off when the password matches the sheet's.
void protectDocument(Arguments& args, CellValue& result, EvalContext& ctx) {
  model::Workbook& book = *ctx.book;
  model::Sheet* s = commandFrame(ctx) && book.activeSheet >= 0 && book.activeSheet < book.sheetCount()
                        ? &book.sheet(book.activeSheet)
                        : nullptr;
  if (!s) {
    result = CellValue::boolean(false);
    return;
  }
  const bool protect = !args[0].isBoolean() || args[0].booleanValue();
  const std::uint16_t verifier = model::passwordVerifier(optionalText(args[2]));
  const bool isProtected = (s->flags & model::kSheetProtected) != 0;
  if (protect) {
    if (!isProtected) {
      s->protectionVerifier = verifier;
      s->flags |= model::kSheetProtected;
      model::mark_modified(book);
    }
  } else if (isProtected) {
    if (s->protectionVerifier != 0 && s->protectionVerifier != verifier) {
      result = CellValue::boolean(false);
      return;
    }
    s->protectionVerifier = 0;
    s->flags &= ~model::kSheetProtected;
    model::mark_modified(book);
  }
  platform::ui().requestRepaint(platform::kRepaintAll);
  answer(result, true);
}

// BEEP([tone]): sounds the bell; the tones are not told apart.
void beep(Arguments&, CellValue& result, EvalContext& ctx) {
  if (commandFrame(ctx) && beepHook())
    beepHook()();
  result = CellValue::boolean(commandFrame(ctx) != nullptr);
}

// DATA.FORM(): the data form over the active list, as the menu shows it;
// FALSE when there is no list, or no desktop to show it.
void dataForm(Arguments&, CellValue& result, EvalContext& ctx) {
  const bool shown = commandFrame(ctx) && dataFormHook() && dataFormHook()(*ctx.book);
  answer(result, shown);
}

// WAIT(serial_number): pauses the macro until that moment, polling for the
// user's request to stop; a moment past returns at once.
void wait(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (!commandFrame(ctx) || !args[0].isNumber()) {
    result = CellValue::boolean(false);
    return;
  }
  static constexpr std::u16string_view kNow = u"NOW()";
  EvalContext at = ctx;
  const CellValue now = formula::evaluateSpan(kNow, 0, kNow.size(), at);
  const double seconds = now.isNumber() ? (args[0].numberValue() - now.numberValue()) * 86400 : 0;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end =
      Clock::now() + std::chrono::milliseconds(static_cast<std::int64_t>(std::clamp(seconds, 0.0, 1e9) * 1000));
  bool stopped = false;
  while (!stopped && Clock::now() < end) {
    std::this_thread::sleep_for(std::min<Clock::duration>(end - Clock::now(), std::chrono::milliseconds(50)));
    stopped = pollStop();
  }
  result = CellValue::boolean(!stopped);
}

} // namespace

void registerWorkbookCommands() {
  formula::registerHandler(u"ACTIVATE", activate);
  formula::registerHandler(u"DATA.FORM", dataForm);
  formula::registerHandler(u"WORKBOOK.NAME", workbookName);
  formula::registerHandler(u"WORKBOOK.INSERT", workbookInsert);
  formula::registerHandler(u"WORKBOOK.DELETE", workbookDelete);
  formula::registerHandler(u"ON.SHEET", onSheet);
  formula::registerHandler(u"PROTECT.DOCUMENT", protectDocument);
  formula::registerHandler(u"BEEP", beep);
  formula::registerHandler(u"WAIT", wait);
}

} // namespace macro::detail
