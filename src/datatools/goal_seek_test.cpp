#include "datatools/goal_seek.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/range_guard.h"

#include <cmath>

namespace datatools {
namespace {

class GoalSeekTest : public edit::EditTest {
protected:
  GoalSeekRequest request(double goal) {
    GoalSeekRequest q;
    q.targetSheet = q.changingSheet = sheetIndex();
    q.targetRow = 1; // B2 holds the formula, A1 is the input
    q.targetColumn = 1;
    q.goal = goal;
    return q;
  }
};

TEST_F(GoalSeekTest, SquareRootOfTwo) {
  set(1, 1, u"=A1*A1");
  GoalSeekRequest q = request(2);
  ASSERT_TRUE(goalSeek(book(), q));
  EXPECT_TRUE(q.solved);
  EXPECT_NEAR(q.result, 2, 4e-15);
  EXPECT_EQ(q.goal, 2);
  EXPECT_EQ(input(0, 0), u"1.4142135623731");
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoGoalSeek);
}

TEST_F(GoalSeekTest, AlreadyAtTheGoalNoStepIsTaken) {
  set(1, 1, u"=A1*A1");
  set(0, 0, u"3");
  GoalSeekRequest q = request(9);
  ASSERT_TRUE(goalSeek(book(), q));
  EXPECT_TRUE(q.solved);
  EXPECT_EQ(input(0, 0), u"3"); // already there: no step taken
  EXPECT_EQ(q.result, 9);
}

TEST_F(GoalSeekTest, ATargetThatIgnoresTheInputRunsOutOfSteps) {
  set(1, 1, u"=5+0*A1");
  set(0, 0, u"1");
  GoalSeekRequest q = request(7);
  ASSERT_TRUE(goalSeek(book(), q));
  EXPECT_FALSE(q.solved);
  EXPECT_EQ(q.result, 5);
  double moved = 0;
  for (int k = 1; k <= kGoalSeekSteps; ++k)
    moved += 2.0 / k;
  EXPECT_NEAR(number(0, 0), 1 + moved, 1e-12); // about 1 + 10.37
}

// A target that is not a number reads as 0 while iterating, but is never a
// solution, even for the goal 0.
TEST_F(GoalSeekTest, ANonNumericTargetIsNeverASolution) {
  set(1, 1, u"=1/A1");
  GoalSeekRequest q = request(0);
  ASSERT_TRUE(goalSeek(book(), q));
  EXPECT_FALSE(q.solved);
  EXPECT_EQ(q.result, 0);
}

// A slope so small that the next value overflows: the search stops at the
// last finite value instead of writing an infinity.
TEST_F(GoalSeekTest, StopsAtTheLastFiniteValue) {
  set(1, 1, u"=A1*1E-310");
  GoalSeekRequest q = request(1);
  ASSERT_TRUE(goalSeek(book(), q));
  EXPECT_FALSE(q.solved);
  const double x = number(0, 0);
  EXPECT_TRUE(std::isfinite(x));
  EXPECT_EQ(input(0, 0), u"0");
}

TEST_F(GoalSeekTest, ZeroGoalConvergesOnlyOnAnExactZero) {
  set(1, 1, u"=A1-3");
  GoalSeekRequest q = request(0);
  ASSERT_TRUE(goalSeek(book(), q));
  EXPECT_TRUE(q.solved);
  EXPECT_EQ(input(0, 0), u"3");
  EXPECT_TRUE(reachesGoal(0, 0));
  EXPECT_FALSE(reachesGoal(1e-300, 0));
}

TEST_F(GoalSeekTest, UndoRestoresTheChangingCellExactly) {
  for (const std::u16string before : {u"", u"4", u"'007"}) {
    SCOPED_TRACE(std::string(before.begin(), before.end()));
    sheet().cells.clear();
    model::undoList().clear();
    set(1, 1, u"=A1*2");
    if (!before.empty())
      set(0, 0, before);
    GoalSeekRequest q = request(10);
    ASSERT_TRUE(goalSeek(book(), q));
    EXPECT_EQ(input(0, 0), u"5");
    ASSERT_TRUE(edit::undo(books).undone);
    EXPECT_EQ(input(0, 0), before);
    EXPECT_EQ(number(1, 1), before == u"4" ? 8 : before == u"'007" ? 14 : 0);
  }
}

TEST_F(GoalSeekTest, SetupChecksInOrder) {
  set(1, 1, u"=A1*A1");
  set(2, 1, u"7");
  set(3, 1, u"=\"x\"");
  set(0, 2, u"=1");
  set(0, 3, u"text");
  struct Case {
    std::u16string target, goal, changing;
    std::u16string_view message; // empty: accepted
    GoalSeekBox box;
  };
  const Case cases[] = {
      {u"nonsense!", u"2", u"A1", kMessageInvalidReference, GoalSeekBox::Target},
      {u"B2:B3", u"2", u"A1", kMessageSingleCell, GoalSeekBox::Target},
      {u"B3", u"2", u"A1", kMessageNeedsFormula, GoalSeekBox::Target},
      {u"Z9", u"2", u"A1", kMessageNeedsFormula, GoalSeekBox::Target},
      {u"B4", u"2", u"A1", kMessageNotNumber, GoalSeekBox::Target},
      {u"B2", u"two", u"A1", kMessageBadGoal, GoalSeekBox::Goal},
      {u"B2", u"2", u"A1:A2", kMessageSingleCell, GoalSeekBox::Changing},
      {u"B2", u"2", u"?", kMessageInvalidReference, GoalSeekBox::Changing},
      {u"B2", u"2", u"C1", kMessageChangingNotConstant, GoalSeekBox::Changing},
      {u"B2", u"2", u"D1", kMessageChangingNotConstant, GoalSeekBox::Changing},
      {u"$B$2", u"2.5", u"A1", {}, GoalSeekBox::Target},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.target.begin(), c.target.end()) + " " + std::string(c.changing.begin(), c.changing.end()));
    GoalSeekRequest q;
    const std::optional<GoalSeekRefusal> r = readGoalSeek(book(), sheetIndex(), c.target, c.goal, c.changing, q);
    if (c.message.empty()) {
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(q.goal, 2.5);
      EXPECT_EQ(q.targetRow, 1);
      EXPECT_EQ(q.changingColumn, 0);
      continue;
    }
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->message, c.message);
    EXPECT_EQ(r->box, c.box);
  }
}

} // namespace
} // namespace datatools
