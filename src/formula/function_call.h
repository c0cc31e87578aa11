#pragma once
// The part of a function call that follows the evaluation of its arguments:
// converting each as its argument letter asks, lifting over arrays and
// running the handler. The reader and the kept steps both call it, so a
// call computes the same whichever of them read it.

#include "formula/eval_context.h"
#include "formula/function_table.h"

#include <bitset>

namespace formula {

/// Converts an evaluated argument as its letter asks ('Q' arguments are
/// evaluated in array mode; their conversion does not use `ctx`).
CellValue convertArgument(char letter, CellValue v, EvalContext& ctx);

/// Computes `f` over `args`, each already converted by convertArgument;
/// `written` marks the arguments that were not left empty.
void callWithArguments(const FunctionEntry& f, Arguments& args, std::bitset<kMaxArguments> written,
                       CellValue& result, EvalContext& ctx);

} // namespace formula
