#pragma once
// The Paste Special dialog: what to paste, how it meets the cells already
// there, and whether empty clip cells leave them alone.

#include <optional>

namespace dialogs {

/// Control ids: the parts are kPastePartFirst + part - 1 (parts 1-7), the
/// operations kPasteOperationFirst + operation - 1 (operations 1-5).
inline constexpr int kPastePartGroup = 20;
inline constexpr int kPastePartFirst = 21;
inline constexpr int kPasteOperationGroup = 30;
inline constexpr int kPasteOperationFirst = 31;
inline constexpr int kPasteSkipBlanks = 40;

struct PasteSpecialChoice {
  int part = 1;      // 1 all ... 7 validation
  int operation = 1; // 1 none ... 5 divide
  bool skipBlanks = false;
};

/// Asks with the defaults (all, none, unchecked); nothing when cancelled.
std::optional<PasteSpecialChoice> askPasteSpecial();

} // namespace dialogs
