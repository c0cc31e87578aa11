#pragma once
// Finding where operands, arguments and whole expressions of formula text
// end, without evaluating them; the entry check accepts exactly the formulas
// whose text the skipper consumes in full.

#include "formula/value_ops.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace formula {

/// The position just after the string literal whose opening double quote is
/// at `pos`; a doubled quote inside stands for one quote and does not end
/// it. npos when the literal is not closed before `end`.
size_t stringLiteralEnd(std::u16string_view text, size_t pos,
                        size_t end = std::u16string_view::npos);

/// The text of the string literal at `pos` with doubled quotes made single;
/// `pos` moves past its closing quote. False, leaving `pos`, when unclosed.
bool readStringLiteral(std::u16string_view text, size_t& pos, size_t end, std::u16string& out);

/// The end of the expression that starts at `pos` and runs until the list
/// separator, ")" or "}" at nesting depth 0, or the end of the text. Quotes,
/// parentheses and braces nest; a quote left open runs to the end.
size_t skipExpression(std::u16string_view text, size_t pos, char16_t listSeparator);

/// The end of one operand (a literal, a parenthesised group, a name, a
/// reference, a function call with its argument list, an array constant)
/// starting at `pos`.
size_t skipOperand(std::u16string_view text, size_t pos, char16_t listSeparator);

/// The entry check: true when `text` (starting with "=", "+" or "-") is a
/// well-formed formula: operands and operators alternate, brackets and
/// quotes close, and nothing is left over.
bool isWellFormedFormula(std::u16string_view text, char16_t listSeparator);

/// True for the characters that make up operators: & * : < = > ^ % + - /
/// and the list separator.
bool isOperatorChar(char16_t c, char16_t listSeparator);

/// Reads the binary operator after `pos` (spaces skipped) and before `end`:
/// its kind and the length from `pos` to its end. Spaces followed by an
/// operand are the intersection operator. False when none follows (the end,
/// a closing bracket).
bool readBinaryOperator(std::u16string_view text, size_t pos, size_t end, char16_t listSeparator,
                        BinaryOp& op, size_t& length);

/// Splits the argument list of a call: `pos` is just after its "(". Each
/// argument's span [first, second) is appended, found at depth 0 of
/// brackets, braces and quotes without recursion; `pos` then stands after
/// the ")". False when the list is not closed before `end`.
bool splitArguments(std::u16string_view text, size_t& pos, size_t end, char16_t listSeparator,
                    std::vector<std::pair<size_t, size_t>>& args);

/// The message shown when a typed formula is not well formed.
inline constexpr std::u16string_view kMessageFormulaError = u"输入的公式中有错误！";

} // namespace formula
