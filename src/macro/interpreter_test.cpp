#include "macro/macro_test_util.h"

#include "formula/macro_seam.h"
#include "model/undo.h"

namespace macro::testing {
namespace {

using model::ErrorCode;

// A three-way block IF, written in the case and spacing users type.
struct SignCase {
  std::u16string_view elseIf, elseLine, endIf;
};

TEST_F(MacroTest, BlockIfChoosesOneBranchWhateverTheCaseAndSpacing) {
  const SignCase spellings[] = {
      {u"=ELSE.IF(x<0)", u"=ELSE()", u"=END.IF()"},
      {u"=else.if(x<0)", u"= ELSE()", u"=end.if( )"},
      {u"= Else.If(x<0)", u"=  else()", u"= END.IF()"},
  };
  for (const SignCase& s : spellings) {
    SCOPED_TRACE(platform::toUtf8(s.elseIf));
    write("A1", {u"=ARGUMENT(\"x\")", u"=IF(x>0)", u"=RETURN(\"pos\")", s.elseIf,
                 u"=RETURN(\"neg\")", s.elseLine, u"=RETURN(\"zero\")", s.endIf, u"=RETURN(\"after\")"});
    define(u"Polarity", u"$A$1");
    EXPECT_EQ(text(eval(u"=Polarity(5)")), "\"pos\"");
    EXPECT_EQ(text(eval(u"=Polarity(-5)")), "\"neg\"");
    EXPECT_EQ(text(eval(u"=Polarity(0)")), "\"zero\"");
  }
}

TEST_F(MacroTest, FalseBlockRunsOnlyTheElseRows) {
  // Row 3 would return early; only the rows between ELSE and END.IF run.
  write("A1", {u"=IF(FALSE)", u"=RETURN(1)", u"=ELSE()", u"=SET.NAME(\"r\",2)", u"=END.IF()",
               u"=RETURN(r*10)"});
  define(u"M", u"$A$1");
  EXPECT_EQ(text(run(u"M")), "20");
}

TEST_F(MacroTest, NestedBlocksMatchByDepthAndAChoiceIfOpensNone) {
  write("A1", {u"=ARGUMENT(\"x\")", u"=IF(x>10)", u"=IF(x>100)", u"=RETURN(\"huge\")", u"=END.IF()",
               u"=SET.NAME(\"k\",IF(x>50,\"big\",\"mid\"))", u"=RETURN(k)", u"=ELSE()",
               u"=RETURN(\"small\")", u"=END.IF()"});
  define(u"Bucket", u"$A$1");
  EXPECT_EQ(text(eval(u"=Bucket(500)")), "\"huge\"");
  EXPECT_EQ(text(eval(u"=Bucket(60)")), "\"big\"");
  EXPECT_EQ(text(eval(u"=Bucket(20)")), "\"mid\"");
  EXPECT_EQ(text(eval(u"=Bucket(1)")), "\"small\"");
}

TEST_F(MacroTest, WhileLoopsAndBreakLeavesIt) {
  // B1 counts; the loop stops at 5 by its condition, or at 3 by BREAK.
  write("B1", {u"0"});
  write("A1", {u"=WHILE(B1<5)", u"=SET.VALUE(B1,B1+1)", u"=NEXT()", u"=RETURN(B1)"});
  define(u"Count", u"$A$1");
  EXPECT_EQ(text(run(u"Count")), "5");
  write("B1", {u"0"});
  write("C1", {u"=WHILE(TRUE)", u"=SET.VALUE(B1,B1+1)", u"=IF(B1>=3)", u"=BREAK()", u"=END.IF()",
               u"=NEXT()", u"=RETURN(B1*100)"});
  define(u"Breaks", u"$C$1");
  EXPECT_EQ(text(run(u"Breaks")), "300");
  // A false condition at the start skips past NEXT at once.
  write("D1", {u"=WHILE(FALSE)", u"=RETURN(\"inside\")", u"=NEXT()", u"=RETURN(\"past\")"});
  define(u"Skip", u"$D$1");
  EXPECT_EQ(text(run(u"Skip")), "\"past\"");
}

struct ForCase {
  std::u16string_view loop;
  const char* sum;
};

TEST_F(MacroTest, ForLoopsEndPastTheirNext) {
  const ForCase cases[] = {
      {u"=FOR(\"i\",1,10)", "55"},     // 1+2+...+10
      {u"=FOR(\"i\",1,10,3)", "22"},   // 1+4+7+10
      {u"=FOR(\"i\",10,1,-4)", "18"},  // 10+6+2
      {u"=FOR(\"i\",5,1)", "0"},       // never entered
      {u"=for(\"i\",2,4)", "9"},       // 2+3+4
  };
  for (const ForCase& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.loop));
    write("B1", {u"0"});
    write("A1", {c.loop, u"=SET.VALUE(B1,B1+i)", u"=next()", u"=RETURN(B1)"});
    define(u"Sum", u"$A$1");
    EXPECT_EQ(text(run(u"Sum")), c.sum);
  }
}

TEST_F(MacroTest, NestedForLoopsKeepACounterEach) {
  write("B1", {u"0"});
  write("A1", {u"=FOR(\"i\",1,3)", u"=FOR(\"j\",1,4)", u"=SET.VALUE(B1,B1+i*j)", u"=NEXT()", u"=NEXT()",
               u"=RETURN(B1)"});
  define(u"Grid", u"$A$1");
  EXPECT_EQ(text(run(u"Grid")), "60"); // (1+2+3)*(1+2+3+4)
}

TEST_F(MacroTest, ForCellVisitsTheAreaRowByRow) {
  set("A1", u"1");
  set("B1", u"2");
  set("A2", u"30");
  write("B1", {u"0"});
  write("A1", {u"=FOR.CELL(\"c\",Sheet1!A1:B2,TRUE)", u"=SET.VALUE(B1,B1*10+c)", u"=NEXT()",
               u"=RETURN(B1)"});
  define(u"Cells", u"$A$1");
  EXPECT_EQ(text(run(u"Cells")), "150"); // ((0*10+1)*10+2)*10+30, the blank skipped
}

TEST_F(MacroTest, AMacroWithoutReturnStopsAtTheFirstEmptyRow) {
  // The second macro below would change B1 if the first ran into it.
  write("B1", {u"0"});
  write("A1", {u"=SET.VALUE(B1,1)", u"", u"=SET.VALUE(B1,99)", u"=RETURN(7)"});
  define(u"First", u"$A$1");
  EXPECT_EQ(text(run(u"First")), "#N/A");
  EXPECT_EQ(text(macroCell("B1")), "1");
}

TEST_F(MacroTest, GotoContinuesOnAnotherMacroSheet) {
  ASSERT_TRUE(model::insert_sheet(*book, book->sheetCount(), u"Macro2", model::SheetKind::Macro, false));
  const int second = book->sheetCount() - 1;
  ASSERT_TRUE(model::set_cell(*book, second, 4, 2, u"=RETURN(\"second\")", 15, false, true));
  write("A1", {u"=GOTO(Macro2!C5)", u"=RETURN(\"first\")"});
  define(u"Jump", u"$A$1");
  EXPECT_EQ(text(run(u"Jump")), "\"second\"");
  // A target on a worksheet ends the macro.
  write("D1", {u"=GOTO(Sheet1!A1)", u"=RETURN(\"ran on\")"});
  define(u"Away", u"$D$1");
  EXPECT_EQ(text(run(u"Away")), "#N/A");
}

TEST_F(MacroTest, ArgumentsArePassedRawAndRunOut) {
  set("A1", u"4");
  write("A1", {u"=ARGUMENT(\"a\")", u"=ARGUMENT(\"b\")", u"=ARGUMENT(\"c\")", u"=RETURN(IF(ISNA(c),a*b,-1))"});
  define(u"Mul", u"$A$1");
  // A reference without a sheet means the caller's sheet.
  EXPECT_EQ(text(eval(u"=Mul(A1,3)")), "12");
  EXPECT_EQ(text(eval(u"=Mul(A1,3,1)")), "-1");
  // The macro's names are its own: the workbook's table is not touched.
  const size_t names = book->names.size();
  const std::int32_t modified = book->modified;
  EXPECT_EQ(text(eval(u"=Mul(2,2)")), "4");
  EXPECT_EQ(book->names.size(), names);
  EXPECT_EQ(book->modified, modified);
  EXPECT_EQ(text(eval(u"=a")), "\"a\""); // unknown outside the macro
}

TEST_F(MacroTest, CustomFunctionInAWorksheetCellFollowsItsArgument) {
  write("A1", {u"=ARGUMENT(\"x\")", u"=RETURN(x*x+1)"});
  define(u"Sq1", u"$A$1");
  set("A1", u"3");
  set("B1", u"=Sq1(A1)");
  EXPECT_EQ(text(sheetCell("B1")), "10");
  set("A1", u"5");
  EXPECT_EQ(text(sheetCell("B1")), "26");
}

TEST_F(MacroTest, RecursionIsCappedAndTheExcessCallGivesValue) {
  // Counts its own depth until the stack refuses a frame.
  write("A1", {u"=ARGUMENT(\"n\")", u"=SET.NAME(\"d\",Deep(n+1))",
               u"=RETURN(IF(ISERROR(d),n,d))"});
  define(u"Deep", u"$A$1");
  EXPECT_EQ(text(eval(u"=Deep(1)")), "256");
  // Mutual recursion ends the same way.
  write("C1", {u"=ARGUMENT(\"n\")", u"=RETURN(Pong(n+1))"});
  write("D1", {u"=ARGUMENT(\"n\")", u"=RETURN(Ping(n+1))"});
  define(u"Ping", u"$C$1");
  define(u"Pong", u"$D$1");
  EXPECT_EQ(text(eval(u"=Ping(1)")), "#VALUE!");
}

TEST_F(MacroTest, AnEndlessLoopStopsWhenTheUserSaysYes) {
  int polls = 0;
  cancelHook() = [&] { return ++polls >= 3; };
  ui.queueAnswer(platform::MessageAnswer::Yes);
  write("A1", {u"=WHILE(TRUE)", u"=NEXT()", u"=RETURN(1)"});
  define(u"Forever", u"$A$1");
  EXPECT_EQ(text(run(u"Forever")), "#N/A");
  EXPECT_EQ(polls, 3);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageStopMacro);
}

TEST_F(MacroTest, NoMeansTheLoopRunsOn) {
  int polls = 0;
  cancelHook() = [&] { return ++polls == 1; };
  ui.queueAnswer(platform::MessageAnswer::No);
  write("B1", {u"0"});
  write("A1", {u"=WHILE(B1<3000)", u"=SET.VALUE(B1,B1+1)", u"=NEXT()", u"=RETURN(B1)"});
  define(u"Long", u"$A$1");
  EXPECT_EQ(text(run(u"Long")), "3000");
  EXPECT_EQ(ui.shown().size(), 1u);
}

TEST_F(MacroTest, MacroFunctionsAnswerFalseOutsideARunningMacro) {
  write("A1", {u"=RETURN(5)"});
  EXPECT_EQ(text(macroCell("A1")), "FALSE");
  set("A1", u"=RETURN(5)");
  EXPECT_EQ(text(sheetCell("A1")), "FALSE");
  // A custom function's frame is no command: SET.VALUE does nothing there.
  write("B1", {u"0"});
  write("C1", {u"=SET.VALUE(B1,9)", u"=RETURN(B1)"});
  define(u"Tries", u"$C$1");
  EXPECT_EQ(text(eval(u"=Tries()")), "0");
  EXPECT_EQ(text(run(u"Tries")), "9");
}

TEST_F(MacroTest, HelperCellsPassTheirChangeToDependents) {
  // A worksheet cell follows the helper cell A2 the loop computes.
  set("C1", u"=Macro1!A2*2");
  write("A1", {u"=FOR(\"i\",1,3)", u"=i+100", u"=NEXT()", u"=RETURN(i)"});
  define(u"Helper", u"$A$1");
  EXPECT_EQ(text(run(u"Helper")), "3");
  EXPECT_EQ(text(sheetCell("C1")), "206");
}

TEST_F(MacroTest, UndoListIsClearedAfterAMacroChangedTheWorkbook) {
  write("B1", {u"0"});
  write("A1", {u"=SET.VALUE(B1,1)", u"=RETURN()"});
  define(u"Changes", u"$A$1");
  model::undoList().clear();
  ASSERT_TRUE(model::push_undo(*book, 0, model::kUndoClear));
  ASSERT_FALSE(model::undoList().empty());
  run(u"Changes");
  EXPECT_TRUE(model::undoList().empty());
}

TEST_F(MacroTest, ScansOfAColumnWithoutPartnersEndTheMacro) {
  write("A1", {u"=IF(FALSE)", u"=RETURN(1)"});
  define(u"Open", u"$A$1");
  EXPECT_EQ(text(run(u"Open")), "#N/A");
  write("C1", {u"=NEXT()", u"=RETURN(1)"});
  define(u"Stray", u"$C$1");
  EXPECT_EQ(text(run(u"Stray")), "#N/A");
}

} // namespace
} // namespace macro::testing
