#pragma once
// The Find and Replace dialog ("查找"). Its buttons act while it stays open:
// the command hands it what each one does.

#include <functional>
#include <string>

namespace dialogs {

inline constexpr int kFindText = 20;
inline constexpr int kFindReplaceText = 21;
inline constexpr int kFindScope = 22; // combo: "公式", "值", "批注" (find mode only)
inline constexpr int kFindCase = 23;
inline constexpr int kFindWhole = 24;
inline constexpr int kFindNextButton = 30;
inline constexpr int kFindReplaceButton = 31;
inline constexpr int kFindReplaceAllButton = 32;

struct FindDialogState {
  std::u16string findText;
  std::u16string replaceText;
  int scope = 0; // 0 formulas, 1 values, 2 comments
  bool matchCase = false;
  bool wholeCell = false;
  bool replaceMode = false; // the dialog shows the replace fields
};

struct FindActions {
  std::function<void(const FindDialogState&)> findNext;
  std::function<void(const FindDialogState&)> replaceOne;
  std::function<void(const FindDialogState&)> replaceAll;
};

/// Runs the dialog in find or replace mode until it is closed; "替换...(&R)"
/// in find mode reopens it in replace mode. The replace buttons are
/// disabled on a protected sheet. `state` comes back as the user left it.
void runFindDialog(bool replaceMode, bool sheetProtected, FindDialogState& state, const FindActions& actions);

} // namespace dialogs
