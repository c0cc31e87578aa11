#pragma once
// Formulas are read and computed in one pass over their text: no parse tree
// is kept. The reader walks the text with the operators' precedence,
// recognises functions, names, references and literals as it goes, and
// hands each operator and call its evaluated operands.

#include "formula/eval_context.h"

#include <string_view>

namespace formula {

/// Deepest nesting of brackets, unary signs and names the reader follows;
/// deeper text evaluates to #VALUE! instead of exhausting the stack.
inline constexpr int kMaxReaderDepth = 200;

/// Reads and computes text[start, end). A "=" at position 0 of a text longer
/// than one character is skipped. The value is left as computed: references
/// stay references and arrays stay arrays.
CellValue evaluateSpan(std::u16string_view text, size_t start, size_t end, EvalContext& ctx);

/// Computes a whole formula text as a cell does: references become values
/// and arrays the element for the cell.
CellValue evaluateFormula(std::u16string_view text, EvalContext& ctx);

} // namespace formula
