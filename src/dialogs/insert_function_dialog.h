#pragma once
// The insert-function dialog: function categories, the functions of the
// chosen category in name order, and the call text a chosen function puts
// into the formula bar.

#include "formula/function_table.h"

#include <string>
#include <string_view>
#include <vector>

namespace dialogs {

inline constexpr int kCategoryLabel = 10;
inline constexpr int kCategoryList = 11;
inline constexpr int kFunctionLabel = 12;
inline constexpr int kFunctionList = 13;
inline constexpr int kSignatureText = 14;

struct FunctionCategoryName {
  int code;
  std::u16string_view name;
};

/// The categories the dialog offers, in order: 0-10, and on a macro sheet
/// the two macro categories as well.
std::vector<FunctionCategoryName> functionCategories(bool macroSheet);

/// The functions listed under a category, the built-in and add-in entries
/// merged in name order. "All" (0) lists every offered entry (on a
/// worksheet none of the macro categories); the macro-control category also
/// lists IF.
std::vector<const formula::FunctionEntry*> functionsInCategory(int category, bool macroSheet);

/// A function call as inserted into the edit line, with the span of the
/// first argument name, which is left selected (empty span after the text
/// when the function takes no arguments).
struct FunctionCall {
  std::u16string text;
  int selectionStart = 0;
  int selectionEnd = 0;
};

/// "=" (when asked) and the name, "(", the argument template with spaces and
/// "." dropped and "," written as the list separator, then ")".
FunctionCall functionCallText(const formula::FunctionEntry& entry, bool withEquals,
                              std::u16string_view listSeparator);

/// Runs the dialog; the chosen function, or null when cancelled.
const formula::FunctionEntry* askFunction(bool macroSheet);

} // namespace dialogs
