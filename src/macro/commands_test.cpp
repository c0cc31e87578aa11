#include "macro/macro_test_util.h"

namespace macro::testing {
namespace {

TEST_F(MacroTest, SelectAndFormulaEnterCellsOnAWorksheet) {
  write("A1", {u"=SELECT(Sheet1!B2:C3,Sheet1!C3)", u"=FORMULA(\"=1+2\")",
               u"=FORMULA(\"hello\",Sheet1!A5)", u"=RETURN(REFTEXT(ACTIVE.CELL(),TRUE))"});
  define(u"Enter", u"$A$1");
  EXPECT_EQ(text(run(u"Enter")), "\"Sheet1!$C$3\"");
  EXPECT_EQ(text(sheetCell("C3")), "3");
  EXPECT_EQ(text(sheetCell("A5")), "\"hello\"");
  EXPECT_EQ(book->activeSheet, 0);
  EXPECT_EQ(book->sheet(0).activeRow, 2);
  EXPECT_EQ(book->sheet(0).activeColumn, 2);
}

TEST_F(MacroTest, ClearFillInsertAndDeleteActOnTheSelection) {
  set("A1", u"7");
  set("A2", u"8");
  set("B1", u"1");
  write("A1", {u"=SELECT(Sheet1!A1:A3)", u"=FILL.DOWN()", u"=SELECT(Sheet1!B1)", u"=CLEAR(3)",
               u"=SELECT(Sheet1!A1)", u"=INSERT(3)", u"=RETURN()"});
  define(u"Edit", u"$A$1");
  run(u"Edit");
  // Row 1 inserted: the filled column moved down a row.
  EXPECT_EQ(text(sheetCell("A1")), "<empty>");
  EXPECT_EQ(text(sheetCell("A2")), "7");
  EXPECT_EQ(text(sheetCell("A4")), "7");
  EXPECT_EQ(text(sheetCell("B2")), "<empty>");
  write("C1", {u"=SELECT(Sheet1!A1)", u"=EDIT.DELETE(3)", u"=RETURN()"});
  define(u"Remove", u"$C$1");
  run(u"Remove");
  EXPECT_EQ(text(sheetCell("A1")), "7");
}

TEST_F(MacroTest, ValueFunctionsGiveTheirValues) {
  set("B2", u"42");
  write("A1", {u"=SET.NAME(\"r\",TEXTREF(\"Sheet1!B2\",TRUE))", u"=SET.NAME(\"e\",EVALUATE(\"6*7\"))",
               u"=RETURN(REFTEXT(r,FALSE)&\"|\"&DEREF(r)&\"|\"&e)"});
  define(u"Values", u"$A$1");
  EXPECT_EQ(text(run(u"Values")), "\"Sheet1!R2C2|42|42\"");
}

TEST_F(MacroTest, AlertShowsItsTextAndAnswersAsTheUserChose) {
  ui.queueAnswer(platform::MessageAnswer::Cancel);
  write("A1", {u"=ALERT(\"继续？\",1)", u"=RETURN(A1)"});
  define(u"Ask", u"$A$1");
  EXPECT_EQ(text(run(u"Ask")), "FALSE");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"继续？");
  EXPECT_EQ(ui.shown()[0].buttons, platform::MessageButtons::OkCancel);
  ui.queueAnswer(platform::MessageAnswer::Ok);
  EXPECT_EQ(text(run(u"Ask")), "TRUE");
}

struct InputCase {
  std::u16string_view formula;
  std::optional<std::u16string> answer;
  const char* value;
};

TEST_F(MacroTest, InputTakesTheAnswerAsItsTypeAsks) {
  const InputCase cases[] = {
      {u"=INPUT(\"n?\",1)", u"12.5", "12.5"},
      {u"=INPUT(\"t?\")", u"12.5", "\"12.5\""},
      {u"=INPUT(\"b?\",4)", u"true", "TRUE"},
      {u"=INPUT(\"n?\",1)", std::nullopt, "FALSE"}, // cancelled
      {u"=INPUT(\"n?\",1)", u"abc", "FALSE"},       // not of the type
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.formula));
    std::u16string asked;
    inputHook() = [&](std::u16string_view prompt, std::u16string_view, std::u16string_view) {
      asked = prompt;
      return c.answer;
    };
    write("A1", {c.formula, u"=RETURN(A1)"});
    define(u"Asks", u"$A$1");
    EXPECT_EQ(text(run(u"Asks")), c.value);
    EXPECT_EQ(asked.size(), 2u);
  }
  inputHook() = nullptr;
  EXPECT_EQ(text(run(u"Asks")), "FALSE"); // nobody to answer
}

TEST_F(MacroTest, ACustomFunctionCannotActOnTheWorkbook) {
  // A worksheet formula calling a macro that clears cells and alerts: the
  // commands answer FALSE and nothing changes.
  set("A1", u"5");
  write("A1", {u"=SELECT(Sheet1!A1)", u"=CLEAR(1)", u"=ALERT(\"x\")", u"=RETURN(AND(NOT(A1),NOT(A2),NOT(A3)))"});
  define(u"Sneaky", u"$A$1");
  set("B1", u"=Sneaky()");
  EXPECT_EQ(text(sheetCell("B1")), "TRUE");
  EXPECT_EQ(text(sheetCell("A1")), "5");
  EXPECT_TRUE(ui.shown().empty());
}

TEST_F(MacroTest, CommandsWithoutAnOperationAnswerFalse) {
  write("A1", {u"=DATA.FORM()", u"=RETURN(A1)"});
  define(u"Missing", u"$A$1");
  EXPECT_EQ(text(run(u"Missing")), "FALSE");
}

} // namespace
} // namespace macro::testing

namespace macro::testing {
namespace {

TEST_F(MacroTest, AutoOpenRunsOnlyAfterTheUserAgreedAndIsAskedOnce) {
  forgetAutoMacroAnswers();
  write("B1", {u"0"});
  write("A1", {u"=SET.VALUE(B1,B1+1)", u"=RETURN()"});
  define(u"Auto_Open", u"$A$1");
  ui.queueAnswer(platform::MessageAnswer::No);
  model::modelServices().runMacro(*book, u"Auto_Open", model::MacroCaller{});
  EXPECT_EQ(text(macroCell("B1")), "0");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"此工作簿包含自动运行的宏“Auto_Open”。是否运行？");
  EXPECT_EQ(ui.shown()[0].buttons, platform::MessageButtons::YesNo);
  // The answer stands while the program runs: not asked again, not run.
  model::modelServices().runMacro(*book, u"Auto_Open", model::MacroCaller{});
  EXPECT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(text(macroCell("B1")), "0");
  forgetAutoMacroAnswers();
  ui.queueAnswer(platform::MessageAnswer::Yes);
  model::modelServices().runMacro(*book, u"Auto_Open", model::MacroCaller{});
  EXPECT_EQ(text(macroCell("B1")), "1");
  // A shortcut key runs its macro without asking.
  model::MacroCaller key;
  key.kind = model::MacroCaller::Kind::Cell;
  define(u"Bump", u"$A$1");
  model::modelServices().runMacro(*book, u"Bump", key);
  EXPECT_EQ(text(macroCell("B1")), "2");
  EXPECT_EQ(ui.shown().size(), 2u);
  forgetAutoMacroAnswers();
}

TEST_F(MacroTest, AutoCloseRunsBeforeTheWorkbookCloses) {
  forgetAutoMacroAnswers();
  write("A1", {u"=ALERT(\"bye\",2)", u"=RETURN()"});
  define(u"Auto_Close", u"$A$1");
  ui.queueAnswer(platform::MessageAnswer::Yes); // run Auto_Close
  ui.queueAnswer(platform::MessageAnswer::Ok);  // the alert
  ui.queueAnswer(platform::MessageAnswer::No);  // do not save
  EXPECT_FALSE(books.close_workbook()); // false: it closed
  EXPECT_EQ(books.count(), 0);
  ASSERT_GE(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[1].text, u"bye");
  forgetAutoMacroAnswers();
  book = nullptr;
}

} // namespace
} // namespace macro::testing

namespace macro::testing {
namespace {

TEST_F(MacroTest, CommandsRefuseToPullTheRunningMacroFromUnderItself) {
  // With the macro sheet active, clearing, filling, rewriting or shifting
  // the cells the macro is executing answers FALSE and leaves them.
  write("A1", {u"=SELECT(A1:A9)", u"=CLEAR(1)", u"=FILL.DOWN()", u"=FORMULA(\"=1\",A4)",
               u"=INSERT(2)", u"=EDIT.DELETE(3)", u"=RETURN(NOT(OR(A2,A3,A4,A5,A6)))"});
  define(u"Self", u"$A$1");
  model::activate_sheet(*book, macroSheet);
  EXPECT_EQ(text(run(u"Self")), "TRUE");
  EXPECT_EQ(book->sheet(macroSheet).cells.count(), 7u);
}

} // namespace
} // namespace macro::testing
