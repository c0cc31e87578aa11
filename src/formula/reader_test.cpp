#include "formula/reader.h"

#include "formula/formula_test_util.h"
#include "formula/function_table.h"
#include "formula/value_ops.h"
#include "model/sheet_list.h"
#include "model/workbook.h"

#include <cmath>

namespace formula {
namespace {

using namespace formula::testing;
using model::ErrorCode;

class ReaderTest : public EngineTest {
protected:
  // Evaluates a formula as if it stood in `where` on the first sheet.
  CellValue eval(std::u16string_view text, std::string_view where = "Z100", bool arrayMode = false) {
    const auto [r, c] = at(where);
    EvalContext ctx;
    ctx.book = book;
    ctx.sheet = 0;
    ctx.row = static_cast<std::uint16_t>(r);
    ctx.column = static_cast<std::uint8_t>(c);
    ctx.arrayMode = arrayMode;
    if (arrayMode)
      return dereference(evaluateSpan(text, 0, text.size(), ctx), ctx);
    // As a cell stores it: an empty result is 0.
    CellValue v = evaluateFormula(text, ctx);
    return v.isEmpty() ? CellValue::number(0) : v;
  }
};

TEST_F(ReaderTest, OperatorsAndPrecedence) {
  set("A1", u"1");
  set("A2", u"2");
  set("A3", u"3");
  set("B1", u"10");
  set("B2", u"20");
  const struct {
    std::u16string_view formula;
    CellValue expected;
  } rows[] = {
      {u"=1+2*3", num(7)},
      {u"=(1+2)*3", num(9)},
      {u"=2^3^2", num(64)}, // left to right
      {u"=-2^2", num(4)},   // the sign belongs to the number
      {u"=-A2^2", num(4)},  // a unary minus binds tighter than ^
      {u"=10%", num(0.1)},
      {u"=50%%", num(0.005)},
      {u"=7%4", num(3)},    // remainder
      {u"=7%", num(0.07)},
      {u"=7%/2", num(0.035)},
      {u"=-7%4", num(-3)},  // the remainder takes the dividend's sign
      {u"=7%0", err(ErrorCode::Div0)},
      {u"=1/0", err(ErrorCode::Div0)},
      {u"= 1 +  2 ", num(3)},
      {u"=1 E 3", num(1000)},
      {u"=1.5e-1*2", num(0.3)},
      {u"=\"a\"&\"b\"&1", str(u"ab1")},
      {u"=\"He said \"\"hi\"\"\"", str(u"He said \"hi\"")},
      {u"=3-2-1", num(0)},
      {u"=2*3^2", num(18)},
      {u"=1+2=3", boolean(true)},
      {u"=1<2<3", boolean(false)}, // (1<2)<3: TRUE sorts after numbers
      {u"=--1", num(1)},
      {u"=+A1", num(1)},
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), show(row.expected)) << platform::toUtf8(row.formula);
}

TEST_F(ReaderTest, ComparisonsAndConversions) {
  const struct {
    std::u16string_view formula;
    CellValue expected;
  } rows[] = {
      {u"=\"abc\"=\"ABC\"", boolean(true)},
      {u"=\"a\"<\"B\"", boolean(true)},
      {u"=1<\"0\"", boolean(true)},    // numbers sort before text
      {u"=\"z\"<TRUE", boolean(true)}, // text before booleans
      {u"=0.1+0.2=0.3", boolean(true)},
      {u"=1E-300=0", boolean(false)},
      {u"=\"x\"+1", err(ErrorCode::Value)},
      {u"=xyz+1", err(ErrorCode::Name)},
      {u"=xyz", str(u"xyz")},
      {u"=\"12\"+1", num(13)},
      {u"=\"1,234\"+0", num(1234)}, // grouping is read where text becomes a number
      {u"=TRUE+1", num(2)},
      {u"=#N/A", err(ErrorCode::NA)},
      {u"=#n/a+1", err(ErrorCode::NA)},
      {u"=true", boolean(true)},
      {u"=TRUE()", boolean(true)},
      {u"=1/0+#N/A", err(ErrorCode::Div0)}, // the leftmost error wins
      {u"=#N/A&1/0", err(ErrorCode::NA)},
      {u"=1E308*10", err(ErrorCode::Num)},  // no cell holds an infinity
      {u"=(-8)^(1/3)", err(ErrorCode::Num)},
      {u"=1E999", err(ErrorCode::Num)},
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), show(row.expected)) << platform::toUtf8(row.formula);
}

TEST_F(ReaderTest, ReferencesAndIntersection) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"My Sheet", model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(*book, 2, u"Sheet2", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  set("A1", u"1");
  set("A2", u"2");
  set("A3", u"3");
  set("B1", u"10");
  set("B2", u"20");
  set("C3", u"5");
  set("A1", u"7", 1);
  set("A1", u"8", 2);
  const struct {
    std::u16string_view formula;
    std::string_view where;
    CellValue expected;
  } rows[] = {
      {u"='My Sheet'!A1", "Z1", num(7)},
      {u"=Sheet2!$A$1", "Z1", num(8)},
      {u"=sheet2!A1", "Z1", num(8)},
      {u"=A1:A3*2", "D2", num(4)},      // implicit intersection with row 2
      {u"=A1:A3*2", "D5", err(ErrorCode::Value)},
      {u"=A1:B1", "B9", num(10)},       // a row area meets the column
      {u"=A1:B2", "B1", err(ErrorCode::Value)},
      {u"=A1 B1", "Z1", err(ErrorCode::Null)},
      {u"=SUM(A1:B2 B1:C3)", "Z1", num(30)},
      {u"=SUM(A1:B2:C3)", "Z1", num(41)},
      {u"=1 A1", "Z1", err(ErrorCode::Ref)},
      {u"=SUM((A1,B1))", "Z1", num(11)},
      {u"=(A1,B1)", "Z1", err(ErrorCode::Value)},
      {u"=SUM((A1,Sheet2!A1))", "Z1", err(ErrorCode::Value)},
      // The formula's own sheet named or not is one sheet to ":", " " and ",".
      {u"=SUM(Sheet1!A1:A2:B2)", "Z1", num(33)},
      {u"=SUM(A1:Sheet1!B2)", "Z1", num(33)},
      {u"=Sheet1!A1:A3 A2:B2", "Z1", num(2)},
      {u"=SUM((Sheet1!A1,B1))", "Z1", num(11)},
      {u"=SUM(Sheet2!A1:A2:B2)", "Z1", err(ErrorCode::Ref)},
      {u"=SUM(Sheet2!A1:A2 B2)", "Z1", err(ErrorCode::Ref)},
      {u"=SUM(A1:A3,10)", "Z1", num(16)},
      {u"=Q99", "Z1", num(0)},          // an empty cell is 0 in a formula
      {u"=A65536", "Z1", num(0)},
      {u"=A65537", "Z1", str(u"A65537")}, // past the last row: not a reference
      {u"=NoSuchSheet!A1", "Z1", str(u"NoSuchSheet!A1")},
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula, row.where)), show(row.expected))
        << platform::toUtf8(row.formula) << " in " << row.where;
}

TEST_F(ReaderTest, FunctionCallsAndArgumentRules) {
  set("A1", u"-3");
  const struct {
    std::u16string_view formula;
    CellValue expected;
  } rows[] = {
      {u"=sum(1,2)", num(3)},
      {u"=SUM(1,,2)", num(3)},
      {u"=SUM({1,2})", num(3)},
      {u"=ABS(A1)", num(3)},
      {u"=ABS({-1,-2})", num(1)},        // reduced to its first element
      {u"=ABS(1,2)", str(u"ABS")},       // too many arguments: not a call
      {u"=ABS()", str(u"ABS")},          // a required argument missing
      {u"=ABS(\"x\")", err(ErrorCode::Value)},
      {u"=ABS(#DIV/0!)", err(ErrorCode::Div0)},
      {u"=IF(FALSE,1/0,2)", num(2)},
      {u"=IF(TRUE,1,#N/A)", num(1)},
      {u"=IF(1>2,\"yes\")", boolean(false)},
      {u"=IF(1<2,,3)", num(0)},
      {u"=IF(TRUE)", boolean(false)},    // the macro block form, outside a macro
      {u"=NA()", err(ErrorCode::NA)},
      {u"=FORMULA.REPLACE(\"a\",\"b\")", boolean(false)}, // recognised only
      {u"=BEEP()", boolean(false)},      // a command outside a macro
      {u"=CALL(\"libc.so.6\",\"system\",\"JC\",\"touch /tmp/x\")", err(ErrorCode::Value)},
      {u"=SUM(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30)",
       num(465)},
      {u"=SUM(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31)",
       str(u"SUM")},                    // 31 arguments for 30 letters: not a call
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), show(row.expected)) << platform::toUtf8(row.formula);
}

// An optional argument written empty reaches its handler empty, so that the
// handler takes its default; only an argument that was written converts.
TEST_F(ReaderTest, EmptyOptionalArgumentsReachTheHandlerEmpty) {
  // ROUNDDOWN's second letter is an optional number; a probe stands in for it.
  ASSERT_TRUE(registerHandler(u"ROUNDDOWN", [](Arguments& a, CellValue& r, EvalContext&) {
    r = a[1].isEmpty() ? CellValue::string(u"empty") : a[1];
  }));
  const struct {
    std::u16string_view formula;
    CellValue expected;
  } rows[] = {
      {u"=ROUNDDOWN(1)", str(u"empty")},
      {u"=ROUNDDOWN(1,)", str(u"empty")},
      {u"=ROUNDDOWN(1,  )", str(u"empty")},
      {u"=ROUNDDOWN({1,2},)", str(u"empty")}, // also while lifting over an array
      {u"=ROUNDDOWN(1,Q99)", num(0)},          // a blank cell converts to 0
      {u"=ROUNDDOWN(1,\"2\")", num(2)},
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), show(row.expected)) << platform::toUtf8(row.formula);
  EXPECT_TRUE(registerHandler(u"ROUNDDOWN", nullptr));
}

TEST_F(ReaderTest, ArrayModeAndConstants) {
  set("A1", u"1");
  set("A2", u"2");
  set("A3", u"3");
  set("B1", u"10");
  set("B2", u"20");
  EXPECT_EQ(show(eval(u"={1,2;3,4}")), "1");
  EXPECT_EQ(show(eval(u"={1,2;3,4}", "A1", true)), "{1,2;3,4}");
  EXPECT_EQ(show(eval(u"={1,\"a\",TRUE,#N/A}", "A1", true)), "{1,\"a\",TRUE,#N/A}");
  EXPECT_EQ(show(eval(u"=ABS({-1,-2})", "A1", true)), "{1,2}");
  EXPECT_EQ(show(eval(u"=A1:A3*B1:B2", "A1", true)), "{10;40}");
  EXPECT_EQ(show(eval(u"={1,2,3}*{10;20}", "A1", true)), "{10,20,30;20,40,60}");
  EXPECT_EQ(show(eval(u"=-{1,2}%", "A1", true)), "{-0.01,-0.02}");
  EXPECT_EQ(show(eval(u"=SUM(A1:A3*2)", "A1", true)), "12");

  // An array formula over three rows: the third cell is past the result.
  book->sheet(0).arrayFormulas.push_back({model::CellRange{4, 3, 6, 3}, u""});
  EXPECT_EQ(show(eval(u"=A1:A3*B1:B2", "D5", true)), "{10;40}");
  EXPECT_EQ(show(eval(u"=A1:A3*B1:B2", "D6", true)), "{10;40}");
  EXPECT_EQ(show(arrayToSingle(eval(u"=A1:A3*B1:B2", "D7", true),
                               EvalContext{book, 0, 6, 3, true})),
            "#N/A");
}

TEST_F(ReaderTest, NamesIncludingSelfReference) {
  set("C1", u"5");
  book->names.push_back({0, 0, 0, u"Rate", u"=C1", {}});
  book->names.push_back({0, 0, 0, u"Loop1", u"=Loop2+1", {}});
  book->names.push_back({0, 0, 0, u"Loop2", u"=Loop1*2", {}});
  book->names.push_back({0, 0, 0, u"Self", u"=Self", {}});
  book->names.push_back({0, 0, 0, u"Nothing", u"", {}});
  EXPECT_EQ(show(eval(u"=Rate*2")), "10");
  EXPECT_EQ(show(eval(u"=rate")), "5");
  EXPECT_EQ(show(eval(u"=Loop1")), "#VALUE!");
  EXPECT_EQ(show(eval(u"=Self+1")), "#VALUE!");
  EXPECT_EQ(show(eval(u"=Nothing")), "0");
}

// A formula names its own sheet's local name plainly and another sheet's
// through that sheet's qualifier; a qualifier naming no sheet, or a sheet
// without that local name, is #NAME?.
TEST_F(ReaderTest, NamesLocalToAnotherSheetAreReadThroughItsQualifier) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Sheet2", model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(*book, 2, u"My Sheet", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  set("B1", u"2", 1);
  book->names.push_back({0, 0, 0, u"Rate", u"=1", {}});
  book->names.push_back({0, 0, 1, u"Rate", u"=10", {}});
  book->names.push_back({0, 0, 2, u"Rate", u"=Sheet2!$B$1", {}});
  book->names.push_back({0, 0, 3, u"Rate", u"=3", {}});
  book->names.push_back({0, 0, 2, u"Only", u"=7", {}});
  book->names.push_back({0, 0, 0, u"Wide", u"=100", {}});
  model::names_changed(*book);
  const struct {
    std::u16string_view formula;
    std::string expected;
  } rows[] = {
      {u"=Rate", "10"},                       // the own sheet's local name first
      {u"=Sheet1!Rate", "10"},
      {u"=Sheet2!Rate", "2"},
      {u"=sheet2!RATE*2", "4"},
      {u"='My Sheet'!Rate", "3"},
      {u"='My Sheet'!Rate+Sheet2!Rate", "5"},
      {u"=SUM(Sheet2!Rate,'My Sheet'!Rate,Rate)", "15"},
      {u"=-Sheet2!Rate", "-2"},
      {u"=(Sheet2!Only)", "7"},
      {u"=Sheet2!Rate+Sheet2!B1", "4"},       // a reference still reads as one
      // Text that names nothing shows as itself and computes to #NAME?.
      {u"=Sheet3!Rate", "\"Sheet3!Rate\""}, // no such sheet
      {u"=Sheet3!Rate+1", "#NAME?"},
      {u"=Sheet2!Nope+1", "#NAME?"},          // the sheet has no such name
      {u"=Sheet2!Wide+1", "#NAME?"},          // a global name is no sheet's
      {u"=Sheet2!+1", "#NAME?"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), row.expected) << platform::toUtf8(row.formula);
  // Quoted, such a name is kept as text, as a quoted reference into a
  // sheet that is not there is.
  for (const std::u16string_view text : {u"='No Sheet'!Rate*1", u"='My Sheet'!Only+1", u"='No Sheet'!A1+1"})
    EXPECT_EQ(show(eval(text)), "\"" + platform::toUtf8(text.substr(1)) + "\"") << platform::toUtf8(text);
}

// A name's definition names the names of its own scope, wherever the
// formula using it stands; its cells stay those of the formula's sheet.
TEST_F(ReaderTest, DefinitionsNameTheNamesOfTheirScope) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Sheet2", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  set("C1", u"4");
  set("C1", u"40", 1);
  book->names.push_back({0, 0, 0, u"Rate", u"=1", {}});
  book->names.push_back({0, 0, 1, u"Rate", u"=10", {}});
  book->names.push_back({0, 0, 2, u"Rate", u"=100", {}});
  book->names.push_back({0, 0, 2, u"Twice", u"=Rate*2", {}});
  book->names.push_back({0, 0, 0, u"Thrice", u"=Rate*3", {}});
  book->names.push_back({0, 0, 2, u"Cell", u"=C1", {}});
  book->names.push_back({0, 0, 1, u"Tax", u"=7", {}});
  book->names.push_back({0, 0, 0, u"Taxed", u"=Tax+Sheet2!Twice", {}});
  model::names_changed(*book);
  const struct {
    std::u16string_view formula;
    std::string expected;
  } rows[] = {
      {u"=Sheet2!Twice", "200"}, // Sheet2's Rate, not this sheet's
      {u"=Thrice", "3"},         // the global Rate, not this sheet's
      {u"=Sheet2!Cell", "4"},    // a cell of the formula's sheet
      {u"=Taxed", "207"},        // no global Tax: this sheet's, as before
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), row.expected) << platform::toUtf8(row.formula);
}

TEST_F(ReaderTest, DeepNestingGivesAnErrorNotACrash) {
  for (int depth : {150, 2000, 100000}) {
    std::u16string deep = u"=" + std::u16string(static_cast<size_t>(depth), u'(') + u"1" +
                          std::u16string(static_cast<size_t>(depth), u')');
    const CellValue v = eval(deep);
    if (depth < kMaxReaderDepth)
      EXPECT_EQ(show(v), "1") << depth;
    else
      EXPECT_EQ(show(v), "#VALUE!") << depth;
  }
  std::u16string ifs = u"=";
  for (int i = 0; i < 2000; ++i)
    ifs += u"IF(TRUE,";
  ifs += u"1";
  ifs.append(2000, u')');
  EXPECT_EQ(show(eval(ifs)), "#VALUE!");
  std::u16string signs = u"=" + std::u16string(5000, u'-') + u"A1";
  EXPECT_EQ(show(eval(signs)), "#VALUE!");
}

// Each call in progress keeps its argument list while the calls inside it
// run: the outer argument after a nested call must still be read from the
// right place, however deep the nesting.
TEST_F(ReaderTest, NestedCallsKeepTheirOwnArguments) {
  for (int depth : {1, 2, 17, 60}) {
    // =SUM(SUM(SUM(1,1),2),3)... : the innermost is 2, each level adds its own.
    std::u16string f = u"=";
    for (int i = 0; i < depth; ++i)
      f += u"SUM(";
    f += u"1,1";
    int expected = 2;
    for (int i = 0; i < depth; ++i) {
      f += i == 0 ? u")" : u"," + platform::fromUtf8(std::to_string(i + 1)) + u")";
      expected += i == 0 ? 0 : i + 1;
    }
    EXPECT_EQ(show(eval(f)), std::to_string(expected)) << depth;
  }
  // Lifting over an array beside a nested call.
  EXPECT_EQ(show(eval(u"=SUM(ABS({-1.25,2.75}),SUM(1,ABS(-2)))", "A1", true)), "7");
}

TEST_F(ReaderTest, DoubledQuoteInsideAStringIsOneQuote) {
  const struct {
    std::u16string_view formula;
    CellValue expected;
  } rows[] = {
      {u"=\"He said \"\"hi\"\"\"", str(u"He said \"hi\"")},
      {u"=IF(TRUE,\"\"\"\")", str(u"\"")},
      {u"=(\"x\"\"y\")", str(u"x\"y")},
      {u"=IF(TRUE,\"a\"\",b\",\"c\")", str(u"a\",b")},
      {u"={\"a\"\"b\",1}", str(u"a\"b")},
      {u"=\"\"\"\"&\"x\"", str(u"\"x")},
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), show(row.expected)) << platform::toUtf8(row.formula);
}

TEST_F(ReaderTest, NumbersBecomeTextWithThreeExponentDigits) {
  EXPECT_EQ(show(eval(u"=1E15&\"\"")), show(str(u"1E+015")));
  EXPECT_EQ(show(eval(u"=1.5E-7&\"x\"")), show(str(u"1.5E-007x")));
  EXPECT_EQ(show(eval(u"=12.5&\"\"")), show(str(u"12.5")));
}

TEST_F(ReaderTest, UnreadableTextBecomesStrings) {
  const struct {
    std::u16string_view formula;
    CellValue expected;
  } rows[] = {
      {u"=\"abc", str(u"\"abc")},  // no closing quote: the rest as text
      {u"=(1+2", str(u"(1+2")},    // no closing bracket
      {u"='Sheet1", str(u"'Sheet1")},
      {u"={1,2", err(ErrorCode::Value)},
      {u"=", err(ErrorCode::Value)}, // an operator where an operand belongs
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), show(row.expected)) << platform::toUtf8(row.formula);
}

} // namespace
} // namespace formula
