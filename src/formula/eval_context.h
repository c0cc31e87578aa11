#pragma once
// What a formula is evaluated against: its workbook, sheet and cell, and
// whether references should come out as whole arrays.

#include "model/cell_value.h"

#include <array>
#include <cstdint>

namespace model {
struct Workbook;
}

namespace formula {

using model::CellValue;
using model::ErrorCode;
using model::ValueKind;

struct EvalContext {
  model::Workbook* book = nullptr;
  int sheet = 0;            // the sheet that holds the formula
  std::uint16_t row = 0;    // the formula's cell, for implicit intersection
  std::uint8_t column = 0;
  bool arrayMode = false;   // references yield arrays instead of single values
  bool macroRunning = false; // a macro is running (macro functions compute)
  int depth = 0;            // nesting of the reader, bounded so deep texts cannot exhaust the stack
  /// Inside a defined name's definition: the scope its words name names in,
  /// the sheet the name is local to, or kWorkbookScope for a global name.
  int nameScope = kFormulaScope;
  static constexpr int kFormulaScope = -2; // a formula's own sheet's names first
  static constexpr int kWorkbookScope = -1;
};

inline constexpr int kMaxArguments = 30;

/// The arguments a handler receives: 30 slots, absent ones empty.
struct Arguments {
  std::array<CellValue, kMaxArguments> v;
  int count = 0; // arguments written in the call, empty ones included
  CellValue& operator[](int i) { return v[static_cast<size_t>(i)]; }
  const CellValue& operator[](int i) const { return v[static_cast<size_t>(i)]; }
};

/// A function's computation. It fills `result` (an error value on failure)
/// and keeps no pointer into `args`.
using FunctionHandler = void (*)(Arguments& args, CellValue& result, EvalContext& ctx);

} // namespace formula
