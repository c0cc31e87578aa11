#pragma once
// The one-field dialogs: a prompt above an edit line with OK and Cancel. The
// number dialogs, the password dialogs and the rename dialog are this
// dialog with their own texts and checks.

#include "platform/dialog.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dialogs {

/// Control ids of the prompt dialog.
inline constexpr int kPromptLabel = 10;
inline constexpr int kPromptEdit = 11;

struct Prompt {
  std::u16string title;
  std::u16string label;
  std::u16string initialText; // shown selected
  bool password = false;
  bool multiLine = false; // Enter starts a new line; OK is pressed with the mouse or Tab and Space
  int limit = 0; // most characters the edit takes; 0 = no limit
  /// Checks the text when OK is pressed: returns the message to show (in a
  /// box without caption; the dialog stays open), or an empty view to accept.
  std::function<std::u16string_view(std::u16string_view text)> check;
};

platform::DialogTemplate promptTemplate(const Prompt& prompt);

/// Runs the prompt on the dialog host in force; the accepted text, or
/// nothing when the user cancelled.
std::optional<std::u16string> askText(const Prompt& prompt);

/// A number typed with the locale decimal separator, spaces around it
/// allowed; nothing for anything else.
std::optional<double> parseDialogNumber(std::u16string_view text);
/// A number written back for a dialog: at most 15 significant digits with
/// the locale decimal separator.
std::u16string dialogNumberText(double value);

} // namespace dialogs
