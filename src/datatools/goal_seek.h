#pragma once
// Goal seek: the value of one input cell that makes a formula cell equal a
// given number, by Newton's iteration with a central-difference slope.

#include "model/workbook.h"

#include <optional>
#include <string>
#include <string_view>

namespace datatools {

struct GoalSeekRequest {
  int targetSheet = 0;
  std::uint16_t targetRow = 0;
  std::uint8_t targetColumn = 0;
  double goal = 0;
  int changingSheet = 0;
  std::uint16_t changingRow = 0;
  std::uint8_t changingColumn = 0;
  /// The target's value when the iteration ends (0 when not a number).
  double result = 0;
  /// The target ended as a number within the tolerance of the goal.
  bool solved = false;
};

inline constexpr int kGoalSeekSteps = 100;

inline constexpr std::u16string_view kMessageInvalidReference = u"相关数据无效！";
inline constexpr std::u16string_view kMessageSingleCell = u"引用单元格必须是单一的单元格！";
inline constexpr std::u16string_view kMessageNeedsFormula = u"单元格必须含有公式！";
inline constexpr std::u16string_view kMessageNotNumber = u"Formula in cell must result in a number";
inline constexpr std::u16string_view kMessageBadGoal = u"输入错误；要求输入的内容为整数或小数。";
inline constexpr std::u16string_view kMessageChangingNotConstant = u"单元格必须含有公式";

/// The setup dialog's boxes.
enum class GoalSeekBox { Target, Goal, Changing };

struct GoalSeekRefusal {
  std::u16string_view message;
  GoalSeekBox box;
};

/// Reads the three boxes of the setup dialog into a request, running its
/// checks in order; the first that fails is returned (its message and the
/// box to focus). References without a sheet name are on `sheetIndex`.
std::optional<GoalSeekRefusal> readGoalSeek(model::Workbook& book, int sheetIndex, std::u16string_view target,
                                            std::u16string_view goal, std::u16string_view changing,
                                            GoalSeekRequest& out);

/// Records the undo entry, then iterates at most kGoalSeekSteps steps and
/// leaves the changing cell holding its last value as typed text. A target
/// that is not a number is never a solution, and a step that would leave
/// the finite numbers ends the search at the last finite value. False when
/// the undo entry could not be recorded (nothing changed).
bool goalSeek(model::Workbook& book, GoalSeekRequest& request);

/// Whether a value counts as reaching the goal: |value - goal| at most
/// 1E-15 x min(|value|, |goal|).
bool reachesGoal(double value, double goal);

} // namespace datatools
