#pragma once
// The frame stack of running macros, shared by the run loop, the control
// functions and the command functions. Internal to the macro layer.

#include "formula/eval_context.h"
#include "macro/interpreter.h"
#include "model/cell_range.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace macro::detail {

/// A FOR or FOR.CELL loop in progress, kept by the cell of its opener.
struct LoopState {
  bool overCells = false;
  std::u16string name; // the counter's or the cell's name
  double counter = 0, end = 0, step = 1;
  int sheet = 0;
  model::CellRange area{};
  std::uint32_t index = 0; // FOR.CELL: the next cell of the area, row by row
  bool skipBlanks = false;
};

struct Frame {
  model::Workbook* book = nullptr;
  std::vector<CellValue> arguments;
  std::uint8_t nextArgument = 0;
  int sheet = 0;
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  bool flag = false;
  CellValue result;
  model::MacroCaller caller;
  bool callerInArray = false;
  bool command = false;
  // The jump the executing cell asked for.
  bool jumped = false;
  bool jumpEnds = false;
  int jumpSheet = 0;
  std::uint16_t jumpRow = 0;
  std::uint8_t jumpColumn = 0;
  bool jumpFlag = false;
  // Names the macro defined for itself (folded), before workbook names.
  std::vector<std::pair<std::u16string, CellValue>> locals;
  std::unordered_map<std::uint64_t, LoopState> loops;
};

/// The innermost frame, or null when no macro runs.
Frame* currentFrame();

/// The innermost frame when `ctx` is the cell it is executing; null when a
/// macro function is met anywhere else (a cell computed on the way).
Frame* executingFrame(const formula::EvalContext& ctx);

/// The executing frame when it was started as a command, else null.
Frame* commandFrame(const formula::EvalContext& ctx);

/// True when a running frame is executing a cell of the range (whose text
/// the reader is reading), or, with `anyCell`, any cell of that sheet: such
/// cells must not be freed or rewritten under it.
bool runningIn(const model::Workbook& book, int sheet, const model::CellRange& range,
               bool anyCell = false);

/// Sheets of the workbook from `from` on moved by `delta` places (a sheet
/// was inserted or deleted): the running frames follow their sheets.
void sheetsShifted(const model::Workbook& book, int from, int delta);

/// Sets a frame-local name.
void setLocal(Frame& f, std::u16string_view name, CellValue value);

/// Notes that a command changed the workbook (the undo list is cleared
/// when the run ends) and that cached block positions may be stale.
void noteWorkbookChanged();

/// True when the user asked to stop (the cancel hook, then the question);
/// every frame then ends.
bool pollStop();

// ---- shared by the command functions ----

/// The active sheet when it has cells (a worksheet or macro sheet).
model::Sheet* activeGridSheet(model::Workbook& book);
model::CellRange selectionOf(const model::Sheet& s);
CellValue referenceTo(int sheet, const model::CellRange& r);
/// TRUE when done (the workbook changed), else FALSE.
void answer(CellValue& result, bool done);
/// Activates the reference's sheet and selects the range, with the active
/// cell at `activeRef` when that lies inside it.
bool selectRange(model::Workbook& book, const CellValue& ref, const CellValue& activeRef);

/// Registers the command functions (commands.cpp, sheet_commands.cpp,
/// workbook_commands.cpp).
void registerCommandFunctions();
void registerSheetCommands();
void registerWorkbookCommands();

} // namespace macro::detail
