#include "macro/interpreter.h"

#include "formula/function_table.h"
#include "formula/macro_seam.h"
#include "formula/reader.h"
#include "formula/recalc.h"
#include "formula/skipper.h"
#include "formula/value_ops.h"
#include "macro/frames.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <cmath>
#include <memory>
#include <unordered_map>

namespace macro {

using formula::Arguments;
using formula::EvalContext;
using model::CellRecord;
using model::ErrorCode;
using model::Workbook;

namespace {

constexpr std::uint16_t kEndRow = 65535;

// The run in progress: the frames (kept for reuse, their buffers with
// them), the steps counted for the cancel poll, and the positions of block
// partners found by the scans.
struct RunState {
  std::vector<std::unique_ptr<detail::Frame>> frames;
  size_t depth = 0;
  std::uint64_t steps = 0;
  bool stopAll = false;
  bool changed = false;
  // (scan, sheet, row, column) -> the row found, or -1 for none.
  std::unordered_map<std::uint64_t, std::int32_t> scans;
  Workbook* scansOf = nullptr;
};

RunState& state() {
  static thread_local RunState s;
  return s;
}

std::function<bool()> g_cancel;

// ---- reading a macro cell's function name ----

enum class Opener : std::uint8_t {
  None, BlockIf, Else, ElseIf, EndIf, While, For, ForCell, Next,
};

char16_t listSeparator() {
  const std::u16string& ls = platform::localeStrings().listSeparator;
  return ls.empty() ? u',' : ls[0];
}

// What a stored formula begins with: "=", spaces, a function name compared
// without regard to case, "(". An IF opens a block only with one argument,
// counted by the expression skipper.
Opener classify(const CellRecord& cell) {
  const std::u16string_view t = cell.input.view();
  size_t p = 0;
  if (p >= t.size() || t[p] != u'=')
    return Opener::None;
  ++p;
  while (p < t.size() && t[p] == u' ')
    ++p;
  const size_t start = p;
  while (p < t.size() && t[p] != u'(' && t[p] != u' ')
    ++p;
  if (p >= t.size() || t[p] != u'(')
    return Opener::None; // a function call has its "(" right after the name
  if (p - start > 9)
    return Opener::None;
  char name[10] = {};
  for (size_t i = start; i < p; ++i) {
    const char16_t c = t[i];
    if (c > 0x7F)
      return Opener::None;
    name[i - start] = static_cast<char>(c >= u'a' && c <= u'z' ? c - 32 : c);
  }
  const std::string_view n(name, p == start ? 0 : std::char_traits<char>::length(name));
  auto empty = [&] {
    size_t q = p + 1;
    while (q < t.size() && t[q] == u' ')
      ++q;
    return q < t.size() && t[q] == u')';
  };
  if (n == "IF") {
    size_t q = p + 1;
    std::vector<std::pair<size_t, size_t>> args;
    if (!formula::splitArguments(t, q, t.size(), listSeparator(), args))
      return Opener::None;
    return args.size() == 1 ? Opener::BlockIf : Opener::None;
  }
  if (n == "ELSE") return empty() ? Opener::Else : Opener::None;
  if (n == "ELSE.IF") return Opener::ElseIf;
  if (n == "END.IF") return empty() ? Opener::EndIf : Opener::None;
  if (n == "WHILE") return Opener::While;
  if (n == "FOR") return Opener::For;
  if (n == "FOR.CELL") return Opener::ForCell;
  if (n == "NEXT") return empty() ? Opener::Next : Opener::None;
  return Opener::None;
}

// ---- block scans ----

enum class Scan : std::uint8_t { IfPartner = 1, EndIf = 2, NextDown = 3, OpenerUp = 4 };

std::uint64_t scanKey(Scan s, int sheet, std::uint16_t row, std::uint8_t column) {
  return (static_cast<std::uint64_t>(s) << 56) | (static_cast<std::uint64_t>(sheet & 0xFFFF) << 32) |
         model::packCell(row, column);
}

// Walks the column from `row` (exclusive) down or up over stored cells,
// passing each to `visit` until it answers true. The row found, or -1.
template <class Visit>
std::int32_t walk(const model::Sheet& sheet, std::uint16_t row, std::uint8_t column, bool down,
                  Visit&& visit) {
  const CellRecord* last = sheet.cells.last();
  if (!last)
    return -1;
  if (down) {
    for (std::uint32_t r = row + 1u; r <= last->row && r < kEndRow; ++r)
      if (const CellRecord* c = sheet.cells.at(static_cast<std::uint16_t>(r), column))
        if (visit(*c))
          return static_cast<std::int32_t>(r);
  } else {
    for (std::int32_t r = row - 1; r >= 0; --r)
      if (const CellRecord* c = sheet.cells.at(static_cast<std::uint16_t>(r), column))
        if (visit(*c))
          return r;
  }
  return -1;
}

std::int32_t scan(Workbook& book, Scan kind, int sheetIndex, std::uint16_t row,
                  std::uint8_t column) {
  RunState& st = state();
  if (st.scansOf != &book) {
    st.scans.clear();
    st.scansOf = &book;
  }
  const std::uint64_t key = scanKey(kind, sheetIndex, row, column);
  if (auto it = st.scans.find(key); it != st.scans.end())
    return it->second;
  const model::Sheet& sheet = book.sheet(sheetIndex);
  int depth = 0;
  std::int32_t found = -1;
  switch (kind) {
  case Scan::IfPartner:
  case Scan::EndIf:
    found = walk(sheet, row, column, true, [&](const CellRecord& c) {
      const Opener o = classify(c);
      if (o == Opener::BlockIf) {
        ++depth;
      } else if (o == Opener::EndIf) {
        if (depth == 0)
          return true;
        --depth;
      } else if (depth == 0 && kind == Scan::IfPartner && (o == Opener::Else || o == Opener::ElseIf)) {
        return true;
      }
      return false;
    });
    break;
  case Scan::NextDown:
    found = walk(sheet, row, column, true, [&](const CellRecord& c) {
      const Opener o = classify(c);
      if (o == Opener::While || o == Opener::For || o == Opener::ForCell) {
        ++depth;
      } else if (o == Opener::Next) {
        if (depth == 0)
          return true;
        --depth;
      }
      return false;
    });
    break;
  case Scan::OpenerUp:
    found = walk(sheet, row, column, false, [&](const CellRecord& c) {
      const Opener o = classify(c);
      if (o == Opener::Next) {
        ++depth;
      } else if (o == Opener::While || o == Opener::For || o == Opener::ForCell) {
        if (depth == 0)
          return true;
        --depth;
      }
      return false;
    });
    break;
  }
  st.scans.emplace(key, found);
  return found;
}

// ---- jump requests ----

CellValue jumpTo(detail::Frame& f, int sheet, std::int32_t row, std::uint8_t column, bool flag) {
  f.jumped = true;
  f.jumpFlag = flag;
  f.jumpSheet = sheet;
  f.jumpColumn = column;
  if (row < 0 || row >= kEndRow) {
    f.jumpEnds = true;
    f.jumpRow = kEndRow;
  } else {
    f.jumpEnds = false;
    f.jumpRow = static_cast<std::uint16_t>(row);
  }
  return CellValue::jump(static_cast<std::int16_t>(sheet), model::packCell(f.jumpRow, column));
}

// To the row after `row` (the row itself when `onto`), or the end when none was found.
CellValue jumpAfter(detail::Frame& f, std::int32_t found, bool onto = false, bool flag = false) {
  if (found < 0)
    return jumpTo(f, f.sheet, -1, f.column, false);
  return jumpTo(f, f.sheet, onto ? found : found + 1, f.column, flag);
}

CellValue blockCondition(detail::Frame& f, bool condition) {
  if (condition)
    return CellValue::boolean(true);
  const std::int32_t r = scan(*f.book, Scan::IfPartner, f.sheet, f.row, f.column);
  if (r < 0)
    return jumpAfter(f, r);
  const CellRecord* c = f.book->sheet(f.sheet).cells.at(static_cast<std::uint16_t>(r), f.column);
  if (c && classify(*c) == Opener::ElseIf)
    return jumpAfter(f, r, /*onto=*/true, /*flag=*/true);
  return jumpAfter(f, r);
}

// ---- control functions ----

bool conditionOf(const CellValue& v, bool& error) {
  error = !v.isBoolean();
  return v.isBoolean() && v.booleanValue();
}

void blockIfHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  if (args[0].isError()) {
    result = args[0];
    return;
  }
  bool error = false;
  const bool c = conditionOf(args[0], error);
  result = error ? CellValue::error(ErrorCode::Value) : blockCondition(*f, c);
}

void elseHandler(Arguments&, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  result = jumpAfter(*f, scan(*f->book, Scan::EndIf, f->sheet, f->row, f->column));
}

void elseIfHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  if (!f->flag) {
    // Fallen into from a branch that ran: the block is done.
    result = jumpAfter(*f, scan(*f->book, Scan::EndIf, f->sheet, f->row, f->column));
    return;
  }
  if (args[0].isError()) {
    result = args[0];
    return;
  }
  bool error = false;
  const bool c = conditionOf(args[0], error);
  result = error ? CellValue::error(ErrorCode::Value) : blockCondition(*f, c);
}

void endIfHandler(Arguments&, CellValue& result, EvalContext& ctx) {
  result = CellValue::boolean(detail::executingFrame(ctx) != nullptr);
}

void whileHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  if (args[0].isError()) {
    result = args[0];
    return;
  }
  bool error = false;
  if (conditionOf(args[0], error) || error)
    result = error ? CellValue::error(ErrorCode::Value) : CellValue::boolean(true);
  else
    result = jumpAfter(*f, scan(*f->book, Scan::NextDown, f->sheet, f->row, f->column));
}

void nextHandler(Arguments&, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  const std::int32_t r = scan(*f->book, Scan::OpenerUp, f->sheet, f->row, f->column);
  if (r < 0) {
    result = jumpAfter(*f, r);
    return;
  }
  const CellRecord* c = f->book->sheet(f->sheet).cells.at(static_cast<std::uint16_t>(r), f->column);
  const Opener o = c ? classify(*c) : Opener::None;
  result = jumpTo(*f, f->sheet, r, f->column, o == Opener::For || o == Opener::ForCell);
}

void breakHandler(Arguments&, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  result = jumpAfter(*f, scan(*f->book, Scan::NextDown, f->sheet, f->row, f->column));
}

std::uint64_t loopKey(const detail::Frame& f) {
  return (static_cast<std::uint64_t>(f.sheet & 0xFFFF) << 32) | model::packCell(f.row, f.column);
}

// The loop at the executing cell ends: past its NEXT.
CellValue leaveLoop(detail::Frame& f) {
  f.loops.erase(loopKey(f));
  return jumpAfter(f, scan(*f.book, Scan::NextDown, f.sheet, f.row, f.column));
}

bool readNumber(const CellValue& raw, EvalContext& ctx, double& out, CellValue& error) {
  CellValue v = formula::toSingleValue(raw, ctx);
  if (v.isError()) {
    error = v;
    return false;
  }
  v = formula::toNumber(v, ctx);
  if (!v.isNumber()) {
    error = v.isError() ? v : CellValue::error(ErrorCode::Value);
    return false;
  }
  out = v.numberValue();
  return true;
}

bool readName(const CellValue& raw, EvalContext& ctx, std::u16string& out) {
  CellValue v = formula::toText(formula::toSingleValue(raw, ctx));
  if (!v.isString() || v.stringValue().empty())
    return false;
  out = std::u16string(v.stringValue());
  return true;
}

bool pastEnd(const detail::LoopState& s) {
  return s.step >= 0 ? s.counter > s.end : s.counter < s.end;
}

void forHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  const std::uint64_t key = loopKey(*f);
  auto it = f->loops.find(key);
  if (f->flag && it != f->loops.end() && !it->second.overCells) {
    detail::LoopState& s = it->second;
    s.counter += s.step;
    if (pastEnd(s)) {
      result = leaveLoop(*f);
      return;
    }
    detail::setLocal(*f, s.name, CellValue::number(s.counter));
    result = CellValue::boolean(true);
    return;
  }
  detail::LoopState s;
  CellValue error;
  if (!readName(args[0], ctx, s.name)) {
    result = CellValue::error(ErrorCode::Value);
    return;
  }
  if (!readNumber(args[1], ctx, s.counter, error) || !readNumber(args[2], ctx, s.end, error) ||
      (!args[3].isEmpty() && !readNumber(args[3], ctx, s.step, error))) {
    result = error;
    return;
  }
  if (pastEnd(s)) {
    result = leaveLoop(*f);
    return;
  }
  detail::setLocal(*f, s.name, CellValue::number(s.counter));
  f->loops[key] = std::move(s);
  result = CellValue::boolean(true);
}

// Moves a FOR.CELL loop to its next cell (from `index`), skipping blank
// cells when asked; false when the area is done.
bool nextCell(Workbook& book, detail::LoopState& s, detail::Frame& f) {
  const std::uint32_t columns = s.area.lastColumn - s.area.firstColumn + 1u;
  const std::uint32_t count = columns * (s.area.lastRow - s.area.firstRow + 1u);
  const model::Sheet& sheet = book.sheet(s.sheet);
  for (; s.index < count; ++s.index) {
    const auto r = static_cast<std::uint16_t>(s.area.firstRow + s.index / columns);
    const auto c = static_cast<std::uint8_t>(s.area.firstColumn + s.index % columns);
    if (s.skipBlanks) {
      const CellRecord* cell = sheet.cells.at(r, c);
      if (!cell || cell->value.isEmpty())
        continue;
    }
    detail::setLocal(f, s.name,
                     CellValue::reference(model::SheetRange::of(static_cast<std::int16_t>(s.sheet),
                                                                {r, c, r, c})));
    ++s.index;
    return true;
  }
  return false;
}

void forCellHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  const std::uint64_t key = loopKey(*f);
  auto it = f->loops.find(key);
  if (f->flag && it != f->loops.end() && it->second.overCells) {
    result = nextCell(*f->book, it->second, *f) ? CellValue::boolean(true) : leaveLoop(*f);
    return;
  }
  detail::LoopState s;
  s.overCells = true;
  if (!readName(args[0], ctx, s.name)) {
    result = CellValue::error(ErrorCode::Value);
    return;
  }
  Workbook& book = *f->book;
  if (args[1].isReference()) {
    const model::SheetRange r = args[1].referenceValue();
    s.sheet = r.sheet < 0 ? ctx.sheet : r.sheet;
    s.area = r.range();
  } else if (args[1].isEmpty()) {
    s.sheet = book.activeSheet;
    const model::Sheet& active = book.sheet(s.sheet);
    s.area = model::SheetRange{-1, active.selectionFirst, active.selectionLast}.range();
  } else {
    result = args[1].isError() ? args[1] : CellValue::error(ErrorCode::Value);
    return;
  }
  if (s.sheet < 0 || s.sheet >= book.sheetCount()) {
    result = CellValue::error(ErrorCode::Ref);
    return;
  }
  if (!args[2].isEmpty()) {
    const CellValue b = formula::toBoolean(formula::toSingleValue(args[2], ctx));
    s.skipBlanks = b.isBoolean() && b.booleanValue();
  }
  if (!nextCell(book, s, *f)) {
    result = leaveLoop(*f);
    return;
  }
  f->loops[key] = std::move(s);
  result = CellValue::boolean(true);
}

void gotoHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  if (!args[0].isReference()) {
    result = args[0].isError() ? args[0] : CellValue::error(ErrorCode::Ref);
    return;
  }
  const model::SheetRange r = args[0].referenceValue();
  const int sheet = r.sheet < 0 ? f->sheet : r.sheet;
  const model::CellRange a = r.range();
  if (sheet < 0 || sheet >= f->book->sheetCount() ||
      f->book->sheet(sheet).kind != model::SheetKind::Macro) {
    // Only a macro sheet of this workbook can hold the rest of the macro.
    result = jumpTo(*f, f->sheet, -1, f->column, false);
    return;
  }
  result = jumpTo(*f, sheet, a.firstRow, a.firstColumn, false);
}

void returnHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  CellValue v = args[0];
  if (args.count == 0 || v.isEmpty()) {
    v = CellValue::error(ErrorCode::NA);
  } else if (v.isReference() || v.isMultiArea()) {
    // The value of the cells, read on the macro's sheet: an area gives an array.
    EvalContext at = ctx;
    const model::SheetRange r = v.isReference() ? v.referenceValue() : v.areasValue().front();
    const model::CellRange a = r.range();
    at.arrayMode = a.rowCount() * a.columnCount() > 1;
    v = formula::dereference(v, at);
  } else if (v.isNameText()) {
    v = CellValue::string(v.stringValue());
  }
  f->result = std::move(v);
  result = jumpTo(*f, f->sheet, -1, f->column, false);
}

void argumentHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  detail::Frame* f = detail::executingFrame(ctx);
  if (!f) {
    result = CellValue::boolean(false);
    return;
  }
  CellValue v = f->nextArgument < f->arguments.size() ? f->arguments[f->nextArgument]
                                                     : CellValue::error(ErrorCode::NA);
  if (f->nextArgument < 255)
    ++f->nextArgument;
  // Type 8 takes the reference itself; other types take its value.
  double type = 7;
  CellValue ignored;
  if (!args[1].isEmpty() && !readNumber(args[1], ctx, type, ignored))
    type = 7;
  if (static_cast<int>(type) != 8 && (v.isReference() || v.isMultiArea())) {
    EvalContext at = ctx;
    const model::SheetRange r = v.isReference() ? v.referenceValue() : v.areasValue().front();
    const model::CellRange a = r.range();
    at.arrayMode = a.rowCount() * a.columnCount() > 1;
    v = formula::dereference(v, at);
  }
  std::u16string name;
  if (!args[0].isEmpty() && readName(args[0], ctx, name))
    detail::setLocal(*f, name, v);
  result = std::move(v);
}

// ---- the run loop ----

bool askToStop() {
  const platform::MessageAnswer a =
      platform::ui().messageBox(kMessageStopMacro, model::kProductName,
                                platform::MessageButtons::YesNo, platform::MessageIcon::Question);
  return a == platform::MessageAnswer::Yes;
}

} // namespace

bool detail::pollStop() {
  if (g_cancel && g_cancel() && askToStop())
    state().stopAll = true;
  return state().stopAll;
}

namespace {

// Runs the frame's macro to its end.
void runFrame(detail::Frame& f) {
  RunState& st = state();
  Workbook& book = *f.book;
  const bool propagate = f.command && static_cast<bool>(model::modelServices().propagateChange);
  while (!st.stopAll) {
    if (f.sheet < 0 || f.sheet >= book.sheetCount() ||
        book.sheet(f.sheet).kind != model::SheetKind::Macro)
      break;
    CellRecord* cell = book.sheet(f.sheet).cells.at(f.row, f.column);
    if (!cell)
      break; // the first row without a stored cell ends the macro
    if (++st.steps % kStepsPerPoll == 0 && detail::pollStop())
      break;
    f.jumped = false;
    const bool changed = formula::computeMacroCell(book, f.sheet, *cell);
    if (formula::evaluationAbandoned()) {
      // Computed again later from its start, as every abandoned formula is.
      st.stopAll = true;
      break;
    }
    // A command may have changed the sheet: find the cell again.
    if (f.sheet >= book.sheetCount())
      break;
    cell = book.sheet(f.sheet).cells.at(f.row, f.column);
    if (!cell)
      break;
    if (cell->value.kind() == model::ValueKind::Jump) {
      cell->value = CellValue::boolean(true);
      if (!f.jumped || f.jumpEnds)
        break;
      f.sheet = f.jumpSheet;
      f.row = f.jumpRow;
      f.column = f.jumpColumn;
      f.flag = f.jumpFlag;
      continue;
    }
    if (changed && propagate) {
      model::modelServices().propagateChange(book, f.sheet, *cell);
    }
    f.flag = false;
    if (f.row + 1 >= kEndRow)
      break;
    ++f.row;
  }
  if (st.stopAll)
    f.result = CellValue::error(ErrorCode::NA);
}

} // namespace

namespace detail {

Frame* currentFrame() {
  RunState& st = state();
  return st.depth ? st.frames[st.depth - 1].get() : nullptr;
}

Frame* executingFrame(const formula::EvalContext& ctx) {
  Frame* f = currentFrame();
  if (!f || ctx.book != f->book || ctx.sheet != f->sheet || ctx.row != f->row ||
      ctx.column != f->column)
    return nullptr;
  return f;
}

Frame* commandFrame(const formula::EvalContext& ctx) {
  Frame* f = executingFrame(ctx);
  return f && f->command ? f : nullptr;
}

bool runningIn(const model::Workbook& book, int sheet, const model::CellRange& range, bool anyCell) {
  const RunState& st = state();
  for (size_t i = 0; i < st.depth; ++i) {
    const Frame& f = *st.frames[i];
    if (f.book != &book || f.sheet != sheet)
      continue;
    if (anyCell || (f.row >= range.firstRow && f.row <= range.lastRow &&
                    f.column >= range.firstColumn && f.column <= range.lastColumn))
      return true;
  }
  return false;
}

void sheetsShifted(const model::Workbook& book, int from, int delta) {
  const auto moved = [&](int sheet) { return sheet >= from ? sheet + delta : sheet; };
  RunState& st = state();
  for (size_t i = 0; i < st.depth; ++i) {
    Frame& f = *st.frames[i];
    if (f.book != &book)
      continue;
    f.sheet = moved(f.sheet);
    f.jumpSheet = moved(f.jumpSheet);
    if (f.caller.kind != model::MacroCaller::Kind::None)
      f.caller.sheet = moved(f.caller.sheet);
    // Loops are kept by their opener's cell, whose sheet moved too.
    std::unordered_map<std::uint64_t, LoopState> loops;
    for (auto& [key, loop] : f.loops) {
      const int sheet = moved(static_cast<int>(key >> 32));
      loop.sheet = moved(loop.sheet);
      loops.emplace((static_cast<std::uint64_t>(sheet & 0xFFFF) << 32) | (key & 0xFFFFFFFFu), std::move(loop));
    }
    f.loops = std::move(loops);
  }
  st.scans.clear();
}

void setLocal(Frame& f, std::u16string_view name, CellValue value) {
  for (auto& [n, v] : f.locals)
    if (platform::equalsIgnoreCase(n, name)) {
      v = std::move(value);
      return;
    }
  f.locals.emplace_back(std::u16string(name), std::move(value));
}

void noteWorkbookChanged() {
  RunState& st = state();
  st.changed = true;
  st.scans.clear();
}

} // namespace detail

CellValue runMacroAt(Workbook& book, const RunRequest& request, std::span<const CellValue> arguments) {
  RunState& st = state();
  if (st.depth >= static_cast<size_t>(kMaxFrames))
    return CellValue::error(ErrorCode::Value);
  if (request.sheet < 0 || request.sheet >= book.sheetCount() ||
      book.sheet(request.sheet).kind != model::SheetKind::Macro)
    return CellValue::error(ErrorCode::NA);
  const bool outermost = st.depth == 0;
  if (outermost) {
    st.steps = 0;
    st.stopAll = false;
    st.changed = false;
    st.scans.clear();
    st.scansOf = &book;
  }
  const std::int32_t modifiedBefore = book.modified;
  if (st.frames.size() <= st.depth)
    st.frames.push_back(std::make_unique<detail::Frame>());
  detail::Frame& f = *st.frames[st.depth];
  f.book = &book;
  f.arguments.assign(arguments.begin(),
                     arguments.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(arguments.size(), 29)));
  f.nextArgument = 0;
  f.sheet = request.sheet;
  f.row = request.row;
  f.column = request.column;
  f.flag = false;
  f.result = CellValue::error(ErrorCode::NA);
  f.caller = request.caller;
  f.callerInArray = request.callerInArray;
  // A frame started by a formula never acts, whoever called it.
  f.command = request.asCommand && (outermost || st.frames[st.depth - 1]->command);
  f.jumped = false;
  f.locals.clear();
  f.loops.clear();
  ++st.depth;
  runFrame(f);
  --st.depth;
  CellValue result = std::move(f.result);
  f.arguments.clear();
  f.locals.clear();
  f.loops.clear();
  if (outermost) {
    if (st.changed || book.modified != modifiedBefore) {
      // Its entries describe states the macro has moved away from.
      model::undoList().clear();
    }
    if (f.command)
      formula::computeStaleFormulas(book);
    st.stopAll = false;
    st.scans.clear();
    st.scansOf = nullptr;
  }
  return result;
}

bool macroStart(Workbook& book, const model::DefinedName& name, int& sheet, std::uint16_t& row,
                std::uint8_t& column) {
  if (name.formula.empty())
    return false;
  EvalContext ctx;
  ctx.book = &book;
  ctx.sheet = name.sheetIndex > 0 ? name.sheetIndex - 1 : 0;
  if (ctx.sheet >= book.sheetCount())
    return false;
  const CellValue v = formula::evaluateSpan(name.formula, 0, name.formula.size(), ctx);
  if (!v.isReference())
    return false;
  const model::SheetRange r = v.referenceValue();
  const int s = r.sheet < 0 ? ctx.sheet : r.sheet;
  if (s < 0 || s >= book.sheetCount() || book.sheet(s).kind != model::SheetKind::Macro)
    return false;
  const model::CellRange a = r.range();
  if (a.firstRow != a.lastRow || a.firstColumn != a.lastColumn)
    return false;
  sheet = s;
  row = a.firstRow;
  column = a.firstColumn;
  return true;
}

bool runNamedMacro(Workbook& book, std::u16string_view name, const model::MacroCaller& caller,
                   CellValue* result) {
  for (const model::DefinedName& n : book.names) {
    if (!platform::equalsIgnoreCase(n.name, name))
      continue;
    RunRequest request;
    if (!macroStart(book, n, request.sheet, request.row, request.column))
      return false;
    request.asCommand = true;
    request.caller = caller;
    CellValue v = runMacroAt(book, request);
    if (result)
      *result = std::move(v);
    return true;
  }
  return false;
}

std::function<bool()>& cancelHook() { return g_cancel; }

std::function<bool(std::u16string_view)>& confirmHook() {
  static std::function<bool(std::u16string_view)> hook;
  return hook;
}

namespace {

std::unordered_map<std::u16string, bool>& autoAnswers() {
  static std::unordered_map<std::u16string, bool> answers;
  return answers;
}

bool isAutoMacro(std::u16string_view name) {
  return platform::equalsIgnoreCase(name, model::kBuiltinNameTexts[1]) ||
         platform::equalsIgnoreCase(name, model::kBuiltinNameTexts[2]);
}

} // namespace

void forgetAutoMacroAnswers() { autoAnswers().clear(); }

void runMacroService(Workbook& book, std::u16string_view name, const model::MacroCaller& caller) {
  if (caller.kind == model::MacroCaller::Kind::None && isAutoMacro(name)) {
    // Opening a file must not run its code unasked.
    const std::u16string key = platform::foldCase(book.path.empty() ? name : book.path);
    auto it = autoAnswers().find(key);
    if (it == autoAnswers().end()) {
      const std::u16string question = model::formatMessage(kMessageRunAutoMacro, name);
      bool yes = false;
      if (confirmHook()) {
        yes = confirmHook()(question);
      } else {
        yes = platform::ui().messageBox(question, model::kProductName,
                                        platform::MessageButtons::YesNo,
                                        platform::MessageIcon::Question) ==
              platform::MessageAnswer::Yes;
      }
      it = autoAnswers().emplace(key, yes).first;
    }
    if (!it->second)
      return;
  }
  runNamedMacro(book, name, caller);
}

InputHook& inputHook() {
  static InputHook hook;
  return hook;
}

bool macroRunning() { return state().depth > 0; }

namespace {

bool localName(std::u16string_view name, CellValue& value) {
  const detail::Frame* f = detail::currentFrame();
  if (!f)
    return false;
  for (const auto& [n, v] : f->locals)
    if (platform::equalsIgnoreCase(n, name)) {
      value = v;
      return true;
    }
  return false;
}

bool startsMacro(Workbook& book, size_t index) {
  int sheet = 0;
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  return index < book.names.size() && macroStart(book, book.names[index], sheet, row, column);
}

CellValue callMacro(Workbook& book, size_t index, Arguments& args, const EvalContext& caller) {
  RunRequest request;
  if (index >= book.names.size() ||
      !macroStart(book, book.names[index], request.sheet, request.row, request.column))
    return CellValue::error(ErrorCode::Name);
  request.caller.kind = model::MacroCaller::Kind::Cell;
  request.caller.sheet = caller.sheet;
  request.caller.row = caller.row;
  request.caller.column = caller.column;
  request.callerInArray = caller.arrayMode;
  // A reference written without a sheet means the caller's sheet, not the macro's.
  std::vector<CellValue> values;
  values.reserve(static_cast<size_t>(args.count));
  for (int i = 0; i < args.count && i < formula::kMaxArguments - 1; ++i) {
    CellValue v = std::move(args[i]);
    if (v.isReference() && v.referenceValue().sheet < 0) {
      model::SheetRange r = v.referenceValue();
      r.sheet = static_cast<std::int16_t>(caller.sheet);
      v = CellValue::reference(r);
    } else if (v.isMultiArea()) {
      std::vector<model::SheetRange> list = v.areasValue();
      for (auto& r : list)
        if (r.sheet < 0)
          r.sheet = static_cast<std::int16_t>(caller.sheet);
      v = CellValue::areas(std::move(list));
    }
    values.push_back(std::move(v));
  }
  return runMacroAt(book, request, values);
}

} // namespace

void installMacroInterpreter() {
  formula::MacroSeam& seam = formula::macroSeam();
  seam.localName = localName;
  seam.startsMacro = startsMacro;
  seam.callMacro = callMacro;
  seam.blockIf = blockIfHandler;
  formula::registerHandler(u"ELSE", elseHandler);
  formula::registerHandler(u"ELSE.IF", elseIfHandler);
  formula::registerHandler(u"END.IF", endIfHandler);
  formula::registerHandler(u"WHILE", whileHandler);
  formula::registerHandler(u"NEXT", nextHandler);
  formula::registerHandler(u"BREAK", breakHandler);
  formula::registerHandler(u"FOR", forHandler);
  formula::registerHandler(u"FOR.CELL", forCellHandler);
  formula::registerHandler(u"GOTO", gotoHandler);
  formula::registerHandler(u"RETURN", returnHandler);
  formula::registerHandler(u"ARGUMENT", argumentHandler);
  detail::registerCommandFunctions();
  model::modelServices().runMacro = runMacroService;
}

} // namespace macro
