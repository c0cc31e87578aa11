#pragma once
// What the formula reader asks of the macro interpreter, which lives above
// it: the names a running macro keeps for itself, and defined names that
// start a macro called as a function. Unset parts are simply not asked.

#include "formula/eval_context.h"
#include "model/cell_store.h"

#include <string_view>

namespace formula {

struct MacroSeam {
  /// The value of a name the running macro defined for itself (its
  /// arguments, loop counters); false when it has none of that name.
  bool (*localName)(std::u16string_view name, CellValue& value) = nullptr;
  /// True when the defined name at `nameIndex` points at a cell of a macro
  /// sheet, so that "NAME(...)" runs that macro.
  bool (*startsMacro)(model::Workbook& book, size_t nameIndex) = nullptr;
  /// Runs the macro of that name with raw arguments; its value is the call's.
  CellValue (*callMacro)(model::Workbook& book, size_t nameIndex, Arguments& args,
                         const EvalContext& caller) = nullptr;
  /// The block IF (a lone condition on a running macro's sheet).
  FunctionHandler blockIf = nullptr;
};

/// The seam in force (process-wide, filled when the interpreter installs).
MacroSeam& macroSeam();

/// Computes a macro sheet's cell now, whatever its state, with macro
/// functions running, on the caller's stack (a macro frame is not resumed
/// later). True when its value changed.
bool computeMacroCell(model::Workbook& book, int sheet, model::CellRecord& cell);

} // namespace formula
