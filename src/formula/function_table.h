#pragma once
// Every function name the formula language knows: 720 built-in entries,
// 112 add-in entries and 39 functions of later versions, each sorted by
// name, and the nine constants. The table
// drives name lookup in the reader, argument checking and conversion, the
// insert-function dialog, the suggested number format of a new formula and
// the function numbers of the binary file formats.

#include "formula/eval_context.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace formula {

enum class FunctionCategory : std::uint8_t {
  All = 0, Financial = 1, DateTime = 2, MathTrig = 3, Statistical = 4, Lookup = 5,
  Database = 6, Text = 7, Logical = 8, Information = 9, Engineering = 10,
  MacroControl = 11, MacroCommand = 12, Hidden = 255,
};

/// How the binary file format stores a call: a fixed-count token, a
/// variable-count token, an add-in call through the external name token, or
/// (functions of later versions) a call of the hidden defined name of the
/// function's name with kLaterPrefix before it.
enum class TokenForm : std::uint8_t { Fixed, Variable, AddIn, Prefixed };

/// The prefix later versions put before the names of their newer functions
/// in files ("_xlfn.IFERROR").
inline constexpr std::u16string_view kLaterPrefix = u"_xlfn.";

struct FunctionEntry {
  std::u16string_view name;     // upper case; each array is sorted by it
  std::string_view argTypes;    // one letter per argument position, at most 30
  std::uint32_t packed;         // built-in: number | category << 16 | format << 24; others: category
  TokenForm tokenForm;
  bool computes;                // false: recognised only, answers FALSE
  std::u16string_view argTemplate;
};

struct ConstantEntry {
  std::u16string_view name;
  CellValue (*make)();
  int fileCode; // the error's negated file code, or 34 (TRUE) / 35 (FALSE)
};

/// Builds the packed word of a built-in entry.
constexpr std::uint32_t packFunction(std::uint16_t number, FunctionCategory category,
                                     std::uint8_t format) {
  return number | (static_cast<std::uint32_t>(category) << 16) |
         (static_cast<std::uint32_t>(format) << 24);
}

std::span<const FunctionEntry> builtinFunctions();
std::span<const FunctionEntry> addInFunctions();
std::span<const FunctionEntry> laterFunctions();
std::span<const ConstantEntry> constants();

/// True for entries of the add-in array.
bool isAddIn(const FunctionEntry& entry);
/// True for entries of later versions' functions, stored under kLaterPrefix.
bool isPrefixed(const FunctionEntry& entry);
/// The function of a later version that a file's name (kLaterPrefix and the
/// function's name, any case) stands for, or null.
const FunctionEntry* findPrefixedFunction(std::u16string_view fileName);
/// The file function number of a built-in entry (bit 15 set for commands); -1 for the others.
int functionNumber(const FunctionEntry& entry);
FunctionCategory category(const FunctionEntry& entry);
/// The built-in number format a formula starting with this function suggests (0 for none).
int suggestedFormat(const FunctionEntry& entry);

/// Finds the function whose name starts `text` at `pos` and is followed by
/// "(": built-in array first, then add-ins, then later versions' functions;
/// names fold to upper case. Null
/// when none. The name's length is the entry's name length.
const FunctionEntry* lookupFunctionAt(std::u16string_view text, size_t pos);

/// Exact lookup of a whole name, without regard to case.
const FunctionEntry* findFunction(std::u16string_view name);

/// Lookup by file function number among the built-in entries.
const FunctionEntry* findFunctionByNumber(int number);

/// The constant ("#N/A", "TRUE", ...) whose text starts `text` at `pos`
/// (case-insensitive, not followed by "("), or null.
const ConstantEntry* lookupConstantAt(std::u16string_view text, size_t pos);

/// The handler that computes an entry. Recognised-only entries answer FALSE;
/// computing entries whose family is not registered yet answer #NAME?, as a
/// function of an add-in that is not loaded would.
FunctionHandler handlerOf(const FunctionEntry& entry);

/// Installs the handler of a computing entry (the function families call
/// this at start). Returns false when the name is unknown or recognised only.
bool registerHandler(std::u16string_view name, FunctionHandler handler);

/// The handler of recognised-only entries: FALSE.
void recognisedOnlyHandler(Arguments& args, CellValue& result, EvalContext& ctx);

} // namespace formula
