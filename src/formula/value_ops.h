#pragma once
// Conversions between value kinds, references turned into values, and the
// operators of the formula language.

#include "formula/eval_context.h"

#include <string>

namespace formula {

enum class BinaryOp {
  Add, Subtract, Multiply, Divide, Power, Remainder, // arithmetic
  Concat,                                            // "&"
  Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual,
  Range, Intersect, Union,                           // reference operators
};

/// Precedence of a binary operator (higher binds tighter); unary sign is 6.
int precedence(BinaryOp op);

// ---- conversions (of single values; errors stay) ----

/// Number or error: empty 0, boolean 0/1, a string read as number, date,
/// time or currency amount (else #VALUE! for quoted text, #NAME? otherwise).
CellValue toNumber(const CellValue& v, const EvalContext& ctx);
/// Boolean or error: empty FALSE, number non-zero, "TRUE"/"FALSE" strings.
CellValue toBoolean(const CellValue& v);
/// String or error: numbers with 15 significant digits and the locale separator.
CellValue toText(const CellValue& v);
/// An error from a string naming one, else #VALUE!; errors stay.
CellValue toError(const CellValue& v);

// ---- references ----

/// The value of one cell, computing it first when it is stale; a cell on
/// the computing path is a circular reference: the workbook's flag is set
/// and the old value is used. A missing cell or sheet is empty.
CellValue fetchCell(EvalContext& ctx, int sheet, int row, int column);

/// The most elements an array value may have (64 MB of values); a larger
/// one is an error (#N/A), as any value too large to build.
inline constexpr size_t kMaxArrayItems = size_t{1} << 22;

/// References to values: outside array mode by implicit intersection with
/// the context cell, in array mode as arrays of the area's values (an area
/// of more than kMaxArrayItems cells gives #N/A). Other kinds pass unchanged.
CellValue dereference(const CellValue& v, EvalContext& ctx);

/// An array reduced to one element outside array mode: the element at the
/// context cell's place in its array-formula block, else the first.
CellValue arrayToSingle(const CellValue& v, const EvalContext& ctx);

/// dereference, then arrayToSingle outside array mode.
CellValue toSingleValue(const CellValue& v, EvalContext& ctx);

// ---- operators ----

/// Applies a binary operator with its conversions, error order (left first)
/// and, in array mode, element-wise lifting over arrays.
CellValue applyBinary(BinaryOp op, const CellValue& lhs, const CellValue& rhs, EvalContext& ctx);
/// Unary minus (0 - x); unary plus is the operand itself.
CellValue applyNegate(const CellValue& v, EvalContext& ctx);
/// Postfix percent: times 0.01.
CellValue applyPercent(const CellValue& v, EvalContext& ctx);

/// Orders two single values as comparisons do: -1, 0 or 1 (kinds: number <
/// string < boolean; strings without regard to case; numbers with a relative
/// tolerance of 1e-15). Errors must be handled by the caller.
int compareValues(const CellValue& a, const CellValue& b);

/// A finite number, or #NUM! for infinities and NaN, which no cell may hold.
CellValue finiteNumber(double x);

} // namespace formula
