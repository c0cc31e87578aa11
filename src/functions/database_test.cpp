#include "functions/families.h"
#include "functions/function_test_util.h"

#include <cmath>
#include <span>

namespace functions {
namespace {

using model::CellValue;
using model::ErrorCode;
using platform::toUtf8;

class DatabaseTest : public testing::FunctionTest {
protected:
  DatabaseTest() : FunctionTest(registerDatabaseFunctions) {}

  // The orchard database A1:D7 and criteria beside it:
  //   F1:G3  (Tree = Apple and Height > 10) or Tree = Pear  -> rows 2, 3, 5, 6
  //   H1:H2  Tree = Cherry                                  -> row 4
  //   I1:I2  Tree = Apple                                   -> rows 2, 5, 7
  //   J1:J2  Tree = Plum                                    -> none
  //   K1:L2  Tree = Apple and Age < 15 (one row, two columns) -> row 7
  void orchard() {
    const char* cells[][2] = {
        {"A1", "Tree"},   {"B1", "Height"}, {"C1", "Age"}, {"D1", "Yield"},
        {"A2", "Apple"},  {"B2", "18"},     {"C2", "20"},  {"D2", "14"},
        {"A3", "Pear"},   {"B3", "12"},     {"C3", "12"},  {"D3", "10"},
        {"A4", "Cherry"}, {"B4", "13"},     {"C4", "14"},  {"D4", "9"},
        {"A5", "Apple"},  {"B5", "14"},     {"C5", "15"},  {"D5", "10"},
        {"A6", "Pear"},   {"B6", "9"},      {"C6", "8"},   {"D6", "8"},
        {"A7", "Apple"},  {"B7", "8"},      {"C7", "9"},   {"D7", "6"},
        {"F1", "tree"},   {"G1", "HEIGHT"}, {"F2", "Apple"}, {"G2", ">10"}, {"F3", "Pear"},
        {"H1", "Tree"},   {"H2", "Cherry"},
        {"I1", "Tree"},   {"I2", "Apple"},
        {"J1", "Tree"},   {"J2", "Plum"},
        {"K1", "Tree"},   {"L1", "Age"},    {"K2", "Apple"}, {"L2", "<15"},
    };
    for (const auto& c : cells)
      set(c[0], platform::fromUtf8(c[1]));
  }

  // Each row twice: the second pass (and the later rows of a range the
  // earlier ones tested) goes through the index of the tested range.
  void expectRows(std::span<const std::pair<std::u16string_view, CellValue>> rows) {
    for (int pass = 0; pass < 2; ++pass)
    for (const auto& [formula, expected] : rows) {
      const CellValue v = eval(formula);
      if (expected.isNumber() && v.isNumber())
        EXPECT_TRUE(testing::near(v.numberValue(), expected.numberValue())) << toUtf8(formula);
      else
        EXPECT_EQ(show(v), show(expected)) << toUtf8(formula);
    }
  }
};

CellValue num(double x) { return CellValue::number(x); }
CellValue err(ErrorCode e) { return CellValue::error(e); }

TEST_F(DatabaseTest, AggregatesOverSelectedRecords) {
  orchard();
  // Yields of rows 2, 3, 5, 6: 14, 10, 10, 8 (sum 42, mean 10.5, squared
  // deviations 12.25 + 0.25 + 0.25 + 6.25 = 19).
  const std::pair<std::u16string_view, CellValue> kRows[] = {
      {u"=DSUM(A1:D7,\"Yield\",F1:G3)", num(42)},
      {u"=DSUM(A1:D7,\"yield\",F1:G3)", num(42)},
      {u"=DSUM(A1:D7,4,F1:G3)", num(42)},
      {u"=DSUM(A1:D7,4.9,F1:G3)", num(42)},     // field numbers truncate
      {u"=DSUM(A1:D7,D1,F1:G3)", num(42)},      // a cell holding the header
      {u"=DAVERAGE(A1:D7,\"Yield\",F1:G3)", num(10.5)},
      {u"=DCOUNT(A1:D7,\"Yield\",F1:G3)", num(4)},
      {u"=DCOUNTA(A1:D7,\"Tree\",F1:G3)", num(4)},
      {u"=DMAX(A1:D7,\"Yield\",F1:G3)", num(14)},
      {u"=DMIN(A1:D7,\"Yield\",F1:G3)", num(8)},
      {u"=DPRODUCT(A1:D7,\"Yield\",F1:G3)", num(11200)},
      {u"=DVAR(A1:D7,\"Yield\",F1:G3)", num(19.0 / 3)},
      {u"=DVARP(A1:D7,\"Yield\",F1:G3)", num(4.75)},
      {u"=DSTDEV(A1:D7,\"Yield\",F1:G3)", num(std::sqrt(19.0 / 3))},
      {u"=DSTDEVP(A1:D7,\"Yield\",F1:G3)", num(std::sqrt(4.75))},
      {u"=DSUM(A1:D7,\"Yield\",I1:I2)", num(30)},
      {u"=DSUM(A1:D7,\"Yield\",K1:L2)", num(6)}, // both columns must hold
      {u"=DGET(A1:D7,\"Age\",H1:H2)", num(14)},
      {u"=DGET(A1:D7,\"Age\",I1:I2)", err(ErrorCode::Num)},   // three apples
      {u"=DGET(A1:D7,\"Age\",J1:J2)", err(ErrorCode::Value)}, // no plum
      {u"=DAVERAGE(A1:D7,\"Yield\",J1:J2)", err(ErrorCode::Div0)},
      {u"=DSUM(A1:D7,\"Yield\",J1:J2)", num(0)},
      {u"=DMAX(A1:D7,\"Yield\",J1:J2)", num(0)},
      {u"=DVAR(A1:D7,\"Yield\",H1:H2)", err(ErrorCode::Div0)}, // one record
      {u"=DVARP(A1:D7,\"Yield\",H1:H2)", num(0)},
      // Counting without a field counts the selected records.
      {u"=DCOUNT(A1:D7,,F1:G3)", num(4)},
      {u"=DCOUNTA(A1:D7,,I1:I2)", num(3)},
      {u"=DCOUNT(A1:D7,\"Tree\",F1:G3)", num(0)}, // names are not numbers
  };
  expectRows(kRows);
}

TEST_F(DatabaseTest, BadArgumentsGiveValueErrors) {
  orchard();
  const std::pair<std::u16string_view, CellValue> kRows[] = {
      {u"=DSUM(A1:D7,\"Weight\",F1:G3)", err(ErrorCode::Value)},
      {u"=DSUM(A1:D7,0,F1:G3)", err(ErrorCode::Value)},
      {u"=DSUM(A1:D7,5,F1:G3)", err(ErrorCode::Value)},
      {u"=DSUM(A1:D7,-1E300,F1:G3)", err(ErrorCode::Value)},
      {u"=DSUM(A1:D7,E1,F1:G3)", err(ErrorCode::Value)},   // an empty field cell
      {u"=DSUM(A1:D7,#N/A,F1:G3)", err(ErrorCode::Value)},
      {u"=DSUM(A1:D1,\"Yield\",F1:G3)", err(ErrorCode::Value)}, // headers without records
      {u"=DSUM(A1:D7,\"Yield\",F1:G1)", err(ErrorCode::Value)}, // criteria headers alone
      {u"=DSUM((A1:D3,A5:D7),\"Yield\",F1:G3)", err(ErrorCode::Value)},
      {u"=DSUM(5,\"Yield\",F1:G3)", err(ErrorCode::Ref)},       // not a reference at all
      {u"=DGET(A1:D7,TRUE,H1:H2)", CellValue::string(u"Cherry")}, // TRUE is column 1
      {u"=DGET(A1:D7,FALSE,H1:H2)", err(ErrorCode::Value)},
  };
  expectRows(kRows);
}

TEST_F(DatabaseTest, CriteriaRangeEdges) {
  orchard();
  // All yields: 14 + 10 + 9 + 10 + 8 + 6 = 57.
  set("N1", u"Colour");
  set("N2", u"red");
  set("P1", u"Yield");
  set("P2", u">=10");
  set("P3", u"<7");
  const std::pair<std::u16string_view, CellValue> kRows[] = {
      {u"=DSUM(A1:D7,\"Yield\",N1:N2)", num(57)}, // unknown header: ignored
      {u"=DSUM(A1:D7,\"Yield\",F1:G4)", num(57)}, // an empty criteria row selects all
      {u"=DSUM(A1:D7,\"Yield\",F1:G65536)", num(57)},
      {u"=DSUM(A1:D7,\"Yield\",P1:P3)", num(40)}, // 14 + 10 + 10 or 6
      {u"=DCOUNT(A1:D7,\"Yield\",P1:P2)", num(3)},
  };
  expectRows(kRows);
}

TEST_F(DatabaseTest, FieldErrorsAndText) {
  orchard();
  set("D3", u"=1/0");
  set("D4", u"n/a");
  // Selected by F1:G3: rows 2, 3 (error), 5, 6.
  const std::pair<std::u16string_view, CellValue> kRows[] = {
      {u"=DSUM(A1:D7,\"Yield\",F1:G3)", err(ErrorCode::Div0)},
      {u"=DCOUNT(A1:D7,\"Yield\",F1:G3)", num(3)}, // counting skips errors
      {u"=DCOUNTA(A1:D7,\"Yield\",F1:G3)", num(4)},
      {u"=DSUM(A1:D7,\"Yield\",H1:H2)", num(0)},   // text in the field is skipped
      {u"=DAVERAGE(A1:D7,\"Yield\",H1:H2)", err(ErrorCode::Div0)},
  };
  expectRows(kRows);
}

TEST_F(DatabaseTest, CountIf) {
  // A1:A12 holds a mix; A13:A20 are not stored.
  const char* cells[][2] = {
      {"A1", "10"}, {"A2", "12"}, {"A3", "9"},  {"A4", "Apple"}, {"A5", "a"},     {"A6", "'*"},
      {"A7", "ab"}, {"A8", "b"},  {"A9", "'5"}, {"A10", "5"},    {"A11", "TRUE"}, {"A12", "=NA()"},
  };
  for (const auto& c : cells)
    set(c[0], platform::fromUtf8(c[1]));
  set("C1", u"=\"\"");
  const std::pair<std::u16string_view, CellValue> kRows[] = {
      {u"=COUNTIF(A1:A20,\">=10\")", num(2)},
      {u"=COUNTIF(A1:A20,\"a*\")", num(3)},  // Apple, a, ab
      {u"=COUNTIF(A1:A20,\"~*\")", num(1)},
      {u"=COUNTIF(A1:A20,\"?b\")", num(1)},
      {u"=COUNTIF(A1:A20,5)", num(2)},       // the number and the text "5"
      {u"=COUNTIF(A1:A20,\"=\")", num(8)},   // the cells that are not stored
      {u"=COUNTIF(A1:A20,\"<>\")", num(12)},
      {u"=COUNTIF(A1:A20,\"<>5\")", num(18)},
      {u"=COUNTIF(A1:A20,TRUE)", num(1)},
      {u"=COUNTIF(A1:A20,#N/A)", num(1)},
      {u"=COUNTIF(A1:A20,\"#n/a\")", num(1)},
      {u"=COUNTIF(A1:A20,B1)", num(0)},      // an empty criterion looks for 0
      {u"=COUNTIF((A1:A3,A1:A2),\">9\")", num(4)},
      {u"=COUNTIF(A1:A20,\"\")", num(8)},
      {u"=COUNTIF(C1:C2,\"\")", num(2)},     // empty text and an empty cell
      {u"=COUNTIF(\"A1\",1)", err(ErrorCode::Ref)},
  };
  expectRows(kRows);
}

TEST_F(DatabaseTest, SumIf) {
  const char* cells[][2] = {
      {"A1", "x"}, {"B1", "1"},
      {"A2", "y"}, {"B2", "2"},
      {"A3", "x"}, {"B3", "4"},
                   {"B4", "8"},  // A4 is not stored
      {"A5", "x"}, {"B5", "'16"}, // text is not summed
      {"A6", "5"}, {"B6", "32"},
      {"A7", "7"}, {"B7", "=1/0"},
  };
  for (const auto& c : cells)
    set(c[0], platform::fromUtf8(c[1]));
  const std::pair<std::u16string_view, CellValue> kRows[] = {
      {u"=SUMIF(A1:A6,\"x\",B1:B6)", num(5)},
      {u"=SUMIF(A1:A6,\"x\",B1)", num(5)},          // the sum area takes the tested shape
      {u"=SUMIF(A1:A6,\"=\",B1:B6)", num(8)},       // the empty A4 selects B4
      {u"=SUMIF(A1:A6,\"<>x\",B1:B6)", num(42)},    // 2 + 8 + 32
      {u"=SUMIF(A1:A7,\">=5\")", num(12)},          // without a sum area, the tested cells
      {u"=SUMIF(A1:A7,\">=5\",B1:B7)", err(ErrorCode::Div0)},
      {u"=SUMIF(A1:A6,\">=5\",B1:B7)", num(32)},
      {u"=SUMIF(A1:A6,\"z\",B1:B6)", num(0)},
      {u"=SUMIF((A1:A2,A3:A4),\"x\",B1:B6)", err(ErrorCode::Value)},
  };
  expectRows(kRows);
}

// The index of a tested range serves only while none of its cells changes:
// a typed value, and a formula in the range whose result changes.
TEST_F(DatabaseTest, CriteriaIndexesFollowChanges) {
  set("A1", u"x");
  set("A2", u"y");
  set("A3", u"=C1");
  set("A4", u"x");
  set("B1", u"1");
  set("B2", u"2");
  set("B3", u"4");
  set("B4", u"8");
  set("C1", u"y");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(show(eval(u"=COUNTIF(A1:A5,\"x\")")), "2");
    EXPECT_EQ(show(eval(u"=SUMIF(A1:A5,\"x\",B1:B5)")), "9");
  }
  set("A2", u"X"); // criteria ignore case
  EXPECT_EQ(show(eval(u"=COUNTIF(A1:A5,\"x\")")), "3");
  EXPECT_EQ(show(eval(u"=SUMIF(A1:A5,\"x\",B1:B5)")), "11");
  set("C1", u"x"); // reaches A3 through its formula
  EXPECT_EQ(show(eval(u"=COUNTIF(A1:A5,\"x\")")), "4");
  EXPECT_EQ(show(eval(u"=SUMIF(A1:A5,\"x\",B1:B5)")), "15");
  set("A5", u"x"); // a cell new to the range
  EXPECT_EQ(show(eval(u"=COUNTIF(A1:A5,\"x\")")), "5");
  formula::recalcAll(*book);
  EXPECT_EQ(show(eval(u"=COUNTIF(A1:A5,\"x\")")), "5");
}

TEST_F(DatabaseTest, CountBlank) {
  set("C1", u"1");
  set("C2", u"x");
  set("C3", u"=\"\"");
  set("D1", u"=C9");
  const std::pair<std::u16string_view, CellValue> kRows[] = {
      {u"=COUNTBLANK(C1:C5)", num(3)},  // C3 (empty text), C4, C5
      {u"=COUNTBLANK(C1:D5)", num(7)},  // D1 shows 0, which is not blank
      {u"=COUNTBLANK(E1:F65536)", num(131072)},
      {u"=COUNTBLANK((C1:C2,C4:C5))", num(2)},
  };
  expectRows(kRows);
}

// The criteria functions of later versions over the orchard's records.
TEST_F(DatabaseTest, LaterCriteriaFunctions) {
  orchard();
  const struct {
    std::u16string_view formula;
    std::string_view expected;
  } rows[] = {
      {u"=COUNTIFS(A2:A7,\"Apple\",B2:B7,\">10\")", "2"},
      {u"=COUNTIFS(A2:A7,\"Apple\")", "3"},
      {u"=COUNTIFS(A2:A7,\"<>Apple\",C2:C7,\"<13\")", "2"},
      {u"=COUNTIFS(A2:A9,\"\",B2:B9,\"\")", "2"},         // two blank records below
      {u"=COUNTIFS(A2:A7,\"Apple\",B2:B7)", "#VALUE!"},   // a range without its criterion
      {u"=COUNTIFS(A2:A7,\"Apple\",B2:B6,\">1\")", "#VALUE!"},
      {u"=SUMIFS(D2:D7,A2:A7,\"Apple\",B2:B7,\">10\")", "24"},
      {u"=SUMIFS(D2:D7,A2:A7,\"Pear\")", "18"},
      {u"=SUMIFS(D2:D7,A2:A7,\"Plum\")", "0"},
      {u"=SUMIFS(D2:D7,A2:A6,\"Apple\")", "#VALUE!"},
      {u"=AVERAGEIFS(D2:D7,A2:A7,\"Apple\")", "10"},
      {u"=AVERAGEIFS(D2:D7,A2:A7,\"Plum\")", "#DIV/0!"},
      {u"=MAXIFS(B2:B7,A2:A7,\"Apple\")", "18"},
      {u"=MINIFS(B2:B7,A2:A7,\"Apple\",C2:C7,\">10\")", "14"},
      {u"=MAXIFS(B2:B7,A2:A7,\"Plum\")", "0"},
      {u"=MINIFS(B2:B7,A2:A7,\"Pear\")", "9"},
      {u"=AVERAGEIF(B2:B7,\">10\")", "14.25"},
      {u"=AVERAGEIF(A2:A7,\"Pear\",D2:D7)", "9"},
      {u"=AVERAGEIF(A2:A7,\"Pear\",D2)", "9"},             // sized like the tested area
      {u"=AVERAGEIF(A2:A7,\"Plum\",D2:D7)", "#DIV/0!"},
      {u"=AVERAGEIF(A1:A7,\"Tree\",B1:B7)", "#DIV/0!"},    // the header's facing cell is text
  };
  for (const auto& row : rows)
    EXPECT_EQ(show(eval(row.formula)), row.expected) << platform::toUtf8(row.formula);
  // A selected error of the value area is the result; one not selected is not.
  set("A8", u"Apple");
  set("D8", u"#N/A");
  set("A9", u"Pear");
  set("D9", u"#DIV/0!");
  EXPECT_EQ(show(eval(u"=SUMIFS(D2:D9,A2:A9,\"Apple\")")), "#N/A");
  EXPECT_EQ(show(eval(u"=MAXIFS(D2:D9,A2:A9,\"Cherry\")")), "9");
}

} // namespace
} // namespace functions
