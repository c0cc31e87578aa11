#pragma once
// The dialogs of the Data tools: Sort ("排序"), Go to ("定位"), Goal seek
// ("单变量求解") with its status, and Find and Replace ("查找"). They know
// nothing of workbooks: the commands hand them what to show and what to do.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dialogs {

// ---- Sort ----

inline constexpr int kSortDirection = 20;   // combo: "行", "列"
inline constexpr int kSortKeyFirst = 30;    // three combos
inline constexpr int kSortAscendingFirst = 40;  // + 2 * key
inline constexpr int kSortHeader = 50;
inline constexpr int kSortCase = 51;

struct SortChoice {
  bool byColumns = false;
  bool hasHeader = false;
  bool caseSensitive = false;
  std::array<int, 3> keys = {0, -1, -1}; // line offsets in the block; -1 none
  std::array<bool, 3> ascending = {true, true, true};
};

/// Asks how to sort. `keyNames` gives the key list for a direction and
/// header state (at most 20 entries); it is asked again whenever either
/// changes. Nothing when cancelled.
std::optional<SortChoice> askSort(const SortChoice& initial,
                                  const std::function<std::vector<std::u16string>(bool byColumns, bool header)>& keyNames);

// ---- Go to ----

inline constexpr int kGoToReference = 20;

/// The reference typed; OK is enabled only while `valid` accepts the text.
std::optional<std::u16string> askGoTo(std::u16string_view initial,
                                      const std::function<bool(std::u16string_view)>& valid);

// ---- Goal seek ----

inline constexpr int kGoalTarget = 20;
inline constexpr int kGoalValue = 21;
inline constexpr int kGoalChanging = 22;

struct GoalSeekTexts {
  std::u16string target, goal, changing;
};
/// What the setup's OK found wrong: the message and the box (0 target,
/// 1 goal, 2 changing) that gets the focus.
using GoalSeekCheck = std::function<std::optional<std::pair<std::u16string, int>>(const GoalSeekTexts&)>;

/// The setup dialog; `check` runs on OK and keeps it open while it refuses.
std::optional<GoalSeekTexts> askGoalSeek(std::u16string_view target, const GoalSeekCheck& check);

/// The status dialog: true when the user keeps the result ("确定"), false
/// for "取消".
bool showGoalSeekStatus(bool solved, std::u16string_view goal, std::u16string_view current);

} // namespace dialogs
