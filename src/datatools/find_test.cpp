#include "datatools/find.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "functions/criteria.h"
#include "model/range_guard.h"

#include <string>

namespace datatools {
namespace {

class FindTest : public edit::EditTest {
protected:
  FindSettings finding(std::u16string text) {
    FindSettings s;
    s.findText = std::move(text);
    return s;
  }
  std::pair<int, int> active() { return {sheet().activeRow, sheet().activeColumn}; }
  void activate(int row, int column) { select(range(row, column, row, column)); }
};

TEST_F(FindTest, WhichInputsMatch) {
  struct Case {
    std::u16string find;
    bool matchCase, wholeCell;
    std::u16string input;
    bool matches;
  };
  const Case cases[] = {
      {u"ab", false, false, u"xABy", true},
      {u"ab", false, false, u"ab", true},
      {u"ab", false, true, u"xABy", false},
      {u"ab", false, true, u"AB", true},
      {u"ab", true, true, u"AB", false},
      {u"ab", true, false, u"xaby", true},
      {u"a?c", false, false, u"abc", true},
      {u"a?c", false, false, u"xa-cx", true},
      {u"a?c", false, false, u"ac", false},
      {u"~?", false, false, u"why?", true},
      {u"~?", false, false, u"why", false},
      {u"~*", false, false, u"a*b", true},
      {u"~*", false, false, u"ab", false},
      {u"a*c", false, true, u"abbbc", true},
      {u"a*c", false, true, u"abbbcd", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.find.begin(), c.find.end()) + " / " + std::string(c.input.begin(), c.input.end()));
    sheet().cells.clear();
    ui.clearShown();
    set(3, 2, c.input);
    activate(0, 0);
    FindSettings s = finding(c.find);
    s.matchCase = c.matchCase;
    s.wholeCell = c.wholeCell;
    EXPECT_EQ(findNext(book(), sheetIndex(), s), c.matches);
    if (c.matches) {
      EXPECT_EQ(active(), std::make_pair(3, 2));
    } else {
      ASSERT_EQ(ui.shown().size(), 1u);
      EXPECT_EQ(ui.shown()[0].text, kMessageNotFound);
      EXPECT_EQ(ui.shown()[0].caption, std::u16string(kFindCaption));
    }
  }
}

TEST_F(FindTest, StartsAfterTheActiveCellAndWraps) {
  set(0, 0, u"x1");
  set(2, 1, u"x2");
  set(4, 0, u"x3");
  activate(2, 1);
  const FindSettings s = finding(u"x");
  ASSERT_TRUE(findNext(book(), sheetIndex(), s));
  EXPECT_EQ(active(), std::make_pair(4, 0));
  ASSERT_TRUE(findNext(book(), sheetIndex(), s));
  EXPECT_EQ(active(), std::make_pair(0, 0));
  ASSERT_TRUE(findNext(book(), sheetIndex(), s));
  EXPECT_EQ(active(), std::make_pair(2, 1));
}

// From column IV the search goes on in the next row, not at column A of the
// same row.
TEST_F(FindTest, TheStepAfterColumnIVGoesToTheNextRow) {
  set(4, 0, u"here");
  set(5, 0, u"here");
  activate(4, model::kMaxColumn);
  ASSERT_TRUE(findNext(book(), sheetIndex(), finding(u"here")));
  EXPECT_EQ(active(), std::make_pair(5, 0));
  // From the sheet's last cell it wraps to the first match.
  activate(model::kMaxRow, model::kMaxColumn);
  ASSERT_TRUE(findNext(book(), sheetIndex(), finding(u"here")));
  EXPECT_EQ(active(), std::make_pair(4, 0));
}

TEST_F(FindTest, InsideASelectionOnlyItsCellsCountAndItStaysSelected) {
  set(0, 0, u"k");
  set(1, 1, u"k");
  set(5, 5, u"k");
  select(range(1, 0, 3, 2));
  ASSERT_TRUE(findNext(book(), sheetIndex(), finding(u"k")));
  EXPECT_EQ(active(), std::make_pair(1, 1));
  EXPECT_EQ(sheet().selectionFirst, model::packCell(1, 0));
  EXPECT_EQ(sheet().selectionLast, model::packCell(3, 2));
}

TEST_F(FindTest, ValuesScopeSearchesTheShownText) {
  model::CellFormat grouped = book().cellFormats[15];
  grouped.numberFormatIndex = 3; // "#,##0"
  const int format = model::findOrAddCellFormat(book(), grouped);
  ASSERT_GE(format, 0);
  set(2, 0, u"1234", static_cast<std::uint16_t>(format)); // shows 1,234
  set(3, 0, u"=1+1");
  activate(0, 0);
  FindSettings s = finding(u"1,2");
  EXPECT_FALSE(findNext(book(), sheetIndex(), s));
  s.scope = FindScope::Values;
  ASSERT_TRUE(findNext(book(), sheetIndex(), s));
  EXPECT_EQ(active(), std::make_pair(2, 0));
  s.findText = u"2";
  s.wholeCell = true;
  ASSERT_TRUE(findNext(book(), sheetIndex(), s));
  EXPECT_EQ(active(), std::make_pair(3, 0));
}

TEST_F(FindTest, CommentsScope) {
  struct Note {
    int row, column;
    std::u16string text;
  };
  for (const Note& n : {Note{1, 0, u"alpha"}, Note{6, 0, u"beta"}, Note{9, 0, u"alphabet"}, Note{7, 200, u"ALPHA"}}) {
    model::DrawingObject o;
    o.kind = model::kObjectComment;
    o.row = static_cast<std::uint16_t>(n.row);
    o.column = static_cast<std::uint8_t>(n.column);
    o.text = n.text;
    sheet().objects.push_back(o);
  }
  activate(2, 0);
  FindSettings s = finding(u"alpha");
  s.scope = FindScope::Comments;
  ASSERT_TRUE(findNext(book(), sheetIndex(), s)); // row before column
  EXPECT_EQ(active(), std::make_pair(7, 200));
  ASSERT_TRUE(findNext(book(), sheetIndex(), s));
  EXPECT_EQ(active(), std::make_pair(9, 0));
  ASSERT_TRUE(findNext(book(), sheetIndex(), s));
  EXPECT_EQ(active(), std::make_pair(1, 0));
}

TEST_F(FindTest, RewritingAnInput) {
  struct Case {
    std::u16string find, replace, input, expected;
    bool wholeCell;
  };
  const Case cases[] = {
      {u"1", u"2", u"=A1+B11", u"=A2+B22", false},
      {u"a*", u"x", u"banana", u"bx", false},   // ends with a star: the longest run
      {u"a?", u"x", u"banana", u"bxxa", false}, // the shortest run
      {u"an", u"", u"banana", u"ba", false},
      {u"A", u"aa", u"banana", u"baanaanaa", false}, // the scan resumes after the inserted text
      {u"~*", u"x", u"2*3*4", u"2x3x4", false},
      {u"n*a", u"-", u"banana", u"ba--", false},     // the shortest: "na", twice
      {u"zz", u"y", u"banana", u"banana", false},
      {u"ban", u"all of it", u"banana", u"all of it", true},
  };
  for (const Case& c : cases) {
    FindSettings s = finding(c.find);
    s.replaceText = c.replace;
    s.wholeCell = c.wholeCell;
    EXPECT_EQ(replaceInText(c.input, s), c.expected) << std::string(c.find.begin(), c.find.end());
  }
}

TEST_F(FindTest, ReplaceOneRewritesTheActiveCellThenMovesOn) {
  set(0, 0, u"30");
  set(2, 0, u"330");
  set(3, 0, u"=A1+1");
  EXPECT_EQ(number(3, 0), 31);
  activate(0, 0);
  FindSettings s = finding(u"3");
  s.replaceText = u"5";
  ASSERT_TRUE(replaceOne(book(), sheetIndex(), s));
  EXPECT_EQ(input(0, 0), u"50");
  EXPECT_EQ(number(3, 0), 51);
  EXPECT_EQ(active(), std::make_pair(2, 0));
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoReplace);
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_EQ(input(0, 0), u"30");

  ui.clearShown();
  activate(1, 0); // an empty cell does not match
  EXPECT_FALSE(replaceOne(book(), sheetIndex(), s));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageNotFound);
}

TEST_F(FindTest, ReplaceAllWithOneUndoEntryAndOneRecalculation) {
  set(0, 0, u"1");
  set(1, 0, u"11");
  set(2, 0, u"=A1+A2");
  set(3, 0, u"x");
  activate(0, 0);
  FindSettings s = finding(u"1");
  s.replaceText = u"2";
  EXPECT_EQ(replaceAll(book(), sheetIndex(), s), 3);
  EXPECT_EQ(input(0, 0), u"2");
  EXPECT_EQ(input(1, 0), u"22");
  EXPECT_EQ(input(2, 0), u"=A2+A2");
  EXPECT_EQ(number(2, 0), 44);
  ASSERT_EQ(model::undoList().size(), 1u);
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_EQ(input(1, 0), u"11");
  EXPECT_EQ(input(2, 0), u"=A1+A2");
  EXPECT_EQ(number(2, 0), 12);
}

// A match inside an array formula that the selection does not hold whole
// refuses the whole command before any cell changes.
TEST_F(FindTest, ReplaceAllChecksEveryCellBeforeTheFirstChange) {
  set(0, 0, u"a1");
  set(5, 0, u"a2");
  sheet().arrayFormulas.push_back({range(5, 0, 6, 0), u""});
  activate(0, 0);
  FindSettings s = finding(u"a");
  s.replaceText = u"b";
  EXPECT_EQ(replaceAll(book(), sheetIndex(), s), 0);
  EXPECT_EQ(input(0, 0), u"a1");
  EXPECT_EQ(input(5, 0), u"a2");
  EXPECT_TRUE(model::undoList().empty());
  EXPECT_EQ(active(), std::make_pair(5, 0));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageArrayPart);
}

TEST_F(FindTest, ReplaceAllInsideASelection) {
  set(0, 0, u"a");
  set(1, 0, u"a");
  set(2, 0, u"a");
  select(range(1, 0, 2, 0));
  FindSettings s = finding(u"a");
  s.replaceText = u"b";
  EXPECT_EQ(replaceAll(book(), sheetIndex(), s), 2);
  EXPECT_EQ(input(0, 0), u"a");
  EXPECT_EQ(input(1, 0), u"b");
  EXPECT_EQ(input(2, 0), u"b");
}

TEST_F(FindTest, GoToReferencesAndNames) {
  model::DefinedName n;
  n.name = u"Total";
  n.formula = u"=Sheet1!$B$2:$C$4";
  book().names.push_back(n);
  struct Case {
    std::u16string text;
    bool valid;
    model::CellRange range;
  };
  const Case cases[] = {
      {u"B5", true, range(4, 1, 4, 1)},
      {u"a1:c3", true, range(0, 0, 2, 2)},
      {u"Sheet1!D4", true, range(3, 3, 3, 3)},
      {u"total", true, range(1, 1, 3, 2)},
      {u"Nowhere!A1", false, {}},
      {u"B5 x", false, {}},
      {u"", false, {}},
      {u"IW1", false, {}},
  };
  for (const Case& c : cases) {
    const std::optional<GoToTarget> t = goToTarget(book(), c.text);
    ASSERT_EQ(t.has_value(), c.valid) << std::string(c.text.begin(), c.text.end());
    if (t) {
      EXPECT_EQ(t->range, c.range);
    }
  }
  goTo(book(), *goToTarget(book(), u"a1:c3"));
  EXPECT_EQ(sheet().selectionLast, model::packCell(2, 2));
  EXPECT_EQ(active(), std::make_pair(0, 0));
}

// Find wraps its text in stars; the shared matcher stays linear in them.
TEST(WildcardPrefix, ShortestAndLongestRuns) {
  struct Case {
    std::u16string pattern, text;
    bool longest;
    size_t expected;
  };
  const size_t none = functions::WildcardPattern::npos;
  const Case cases[] = {
      {u"a*", u"anana", true, 5},  {u"a*", u"anana", false, 1}, {u"a?", u"anana", false, 2},
      {u"n*a", u"nanaX", false, 2}, {u"n*a", u"nanaX", true, 4}, {u"b", u"anana", false, none},
      {u"*", u"", true, 0},        {u"A~*", u"a*b", false, 2},  {u"a*b", u"aaaa", true, none},
  };
  for (const Case& c : cases)
    EXPECT_EQ(functions::WildcardPattern(c.pattern).matchPrefix(c.text, c.longest), c.expected)
        << std::string(c.pattern.begin(), c.pattern.end()) << " " << std::string(c.text.begin(), c.text.end());
}

} // namespace
} // namespace datatools
