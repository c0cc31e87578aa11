// Lookup and reference functions. Expected values are worked out by hand
// from the small tables each test enters.

#include "functions/families.h"
#include "functions/function_test_util.h"

#include "model/sheet_list.h"
#include "model/workbook.h"

namespace functions {
namespace {

using model::CellValue;
using model::ErrorCode;

struct Row {
  const char16_t* formula;
  CellValue expected;
};

CellValue num(double x) { return CellValue::number(x); }
CellValue str(std::u16string_view s) { return CellValue::string(s); }
CellValue err(ErrorCode e) { return CellValue::error(e); }

class LookupTest : public testing::FunctionTest {
protected:
  LookupTest() : FunctionTest(registerLookupFunctions) {}

  void expectRows(std::initializer_list<Row> rows) {
    for (const Row& r : rows) {
      const CellValue v = eval(r.formula);
      EXPECT_EQ(show(v), show(r.expected)) << platform::toUtf8(r.formula);
    }
  }
  /// Keys in A1:A3, their names in B1:B3.
  void keys(const char16_t* a1, const char16_t* a2, const char16_t* a3) {
    set("A1", a1);
    set("A2", a2);
    set("A3", a3);
    set("B1", u"first");
    set("B2", u"second");
    set("B3", u"third");
  }
};

TEST_F(LookupTest, VlookupApproximateSearchesFromTheBottom) {
  keys(u"1", u"3", u"5");
  expectRows({
      {u"=VLOOKUP(4,A1:B3,2)", str(u"second")},
      {u"=VLOOKUP(5,A1:B3,2,TRUE)", str(u"third")},
      {u"=VLOOKUP(99,A1:B3,2)", str(u"third")},
      {u"=VLOOKUP(0,A1:B3,2)", err(ErrorCode::NA)},
      {u"=VLOOKUP(4,A1:B3,1)", num(3)},
      {u"=VLOOKUP(1,A1:B3,3)", err(ErrorCode::Value)},
      {u"=VLOOKUP(1,A1:B3,0)", err(ErrorCode::Value)},
      {u"=VLOOKUP(#DIV/0!,A1:B3,2)", err(ErrorCode::Div0)},
      {u"=VLOOKUP(\"x\",A1:B3,2)", err(ErrorCode::NA)}, // no key of the same kind
      {u"=VLOOKUP(1,5,1)", err(ErrorCode::NA)},
      {u"=VLOOKUP(1,(A1:B3,A1:B3),2)", err(ErrorCode::Ref)},
  });
}

TEST_F(LookupTest, VlookupUnsortedAndErrorKeys) {
  keys(u"5", u"1", u"3");
  expectRows({
      {u"=VLOOKUP(4,A1:B3,2)", str(u"third")},
      {u"=VLOOKUP(2,A1:B3,2)", str(u"second")},
  });
  // An error met on the way up ends the search with it.
  set("A2", u"=1/0");
  expectRows({
      {u"=VLOOKUP(2,A1:B3,2)", err(ErrorCode::Div0)},
      {u"=VLOOKUP(4,A1:B3,2)", str(u"third")},
  });
}

TEST_F(LookupTest, VlookupExactMatchesKindAndIgnoresCase) {
  keys(u"a", u"B", u"'3");
  set("A4", u"b");
  set("B4", u"fourth");
  expectRows({
      {u"=VLOOKUP(\"b\",A1:B4,2,FALSE)", str(u"second")}, // first of two, either case
      {u"=VLOOKUP(3,A1:B4,2,FALSE)", err(ErrorCode::NA)},  // the text "3" is not the number
      {u"=VLOOKUP(\"3\",A1:B4,2,FALSE)", str(u"third")},
      {u"=VLOOKUP(\"c\",A1:B4,2,FALSE)", err(ErrorCode::NA)},
      {u"=VLOOKUP(TRUE,A1:B4,2,FALSE)", err(ErrorCode::NA)},
      {u"=VLOOKUP(2,{1,\"x\";2,\"y\";3,\"z\"},2,FALSE)", str(u"y")},
      {u"=VLOOKUP(2.5,{1,\"x\";2,\"y\";3,\"z\"},2)", str(u"y")},
  });
}

TEST_F(LookupTest, Hlookup) {
  set("A1", u"10");
  set("B1", u"20");
  set("C1", u"30");
  set("A2", u"x");
  set("B2", u"y");
  set("C2", u"z");
  expectRows({
      {u"=HLOOKUP(25,A1:C2,2)", str(u"y")},
      {u"=HLOOKUP(30,A1:C2,2,FALSE)", str(u"z")},
      {u"=HLOOKUP(25,A1:C2,2,FALSE)", err(ErrorCode::NA)},
      {u"=HLOOKUP(5,A1:C2,2)", err(ErrorCode::NA)},
      {u"=HLOOKUP(10,A1:C2,3)", err(ErrorCode::Value)},
  });
}

TEST_F(LookupTest, LookupVectorAndArrayForms) {
  keys(u"1", u"3", u"5");
  set("D1", u"one");
  set("D2", u"three");
  expectRows({
      {u"=LOOKUP(4,A1:A3,B1:B3)", str(u"second")},
      {u"=LOOKUP(6,A1:A3,D1:D3)", num(0)}, // the third result cell is blank
      {u"=LOOKUP(4,A1:B3)", str(u"second")},   // taller than wide: first column, last column
      {u"=LOOKUP(0,A1:A3,B1:B3)", err(ErrorCode::NA)},
      {u"=LOOKUP(2,{1,2,3;\"a\",\"b\",\"c\"})", str(u"b")}, // wider than tall: first row, last row
      {u"=LOOKUP(3,{1,2,3},{\"a\",\"b\"})", err(ErrorCode::NA)},
  });
}

TEST_F(LookupTest, LookupMeetingItsOwnCellSetsTheCircularFlag) {
  keys(u"1", u"3", u"5");
  book->circular = 0;
  set("A4", u"=VLOOKUP(9,A1:B4,2)");
  EXPECT_EQ(book->circular, 1);
}

TEST_F(LookupTest, Match) {
  keys(u"1", u"3", u"5");
  set("C1", u"apple");
  set("C2", u"Banana");
  set("C3", u"cherry");
  set("D1", u"9");
  set("D2", u"7");
  set("D3", u"2");
  expectRows({
      {u"=MATCH(4,A1:A3)", num(2)},
      {u"=MATCH(4,A1:A3,1)", num(2)},
      {u"=MATCH(5,A1:A3,1)", num(3)},
      {u"=MATCH(0,A1:A3,1)", err(ErrorCode::NA)},
      {u"=MATCH(3,A1:A3,0)", num(2)},
      {u"=MATCH(4,A1:A3,0)", err(ErrorCode::NA)},
      {u"=MATCH(7,D1:D3,-1)", num(2)},
      {u"=MATCH(8,D1:D3,-1)", num(1)},
      {u"=MATCH(10,D1:D3,-1)", err(ErrorCode::NA)},
      {u"=MATCH(\"banana\",C1:C3,0)", num(2)},
      // Type 0 looks for an equal element: "*", "?" and "~" are plain characters.
      {u"=MATCH(\"b*\",C1:C3,0)", err(ErrorCode::NA)},
      {u"=MATCH(\"?herry\",C1:C3,0)", err(ErrorCode::NA)},
      {u"=MATCH(\"b~*\",C1:C3,0)", err(ErrorCode::NA)},
      {u"=MATCH(\"a*\",{\"abc\",\"A*\"},0)", num(2)},
      {u"=MATCH(\"bz\",C1:C3,1)", num(2)},
      {u"=MATCH(2,{1,2,3},0)", num(2)},
      {u"=MATCH(TRUE,{FALSE,TRUE},1)", num(2)},
      {u"=MATCH(1,A1:B3,0)", err(ErrorCode::NA)}, // neither one row nor one column
      {u"=MATCH(5,A1:A5)", num(5)}, // no key above 5: the whole length, blanks included
  });
}

TEST_F(LookupTest, IndexGivesReferences) {
  keys(u"1", u"3", u"5");
  set("D1", u"10");
  set("E2", u"20");
  expectRows({
      {u"=INDEX(A1:B3,2,2)", str(u"second")},
      {u"=INDEX(A1:A3,3)", num(5)},
      {u"=INDEX(A1:B1,2)", str(u"first")}, // one row: the index is a column
      {u"=SUM(INDEX(A1:B3,0,1))", num(9)},
      {u"=ROWS(INDEX(A1:B3,2,0))", num(1)},
      {u"=ROWS(A1:A65536*1)", num(65536)}, // a whole column is an array of 65,536 rows
      {u"=COLUMNS(INDEX(A1:B3,2,0))", num(2)},
      {u"=ROW(INDEX(A1:B3,3,1))", num(3)},
      {u"=INDEX((A1:B3,D1:E2),2,2,2)", num(20)},
      {u"=INDEX((A1:B3,D1:E2),1,1,3)", err(ErrorCode::Ref)},
      {u"=INDEX(A1:B3,1,1,0)", err(ErrorCode::Value)},
      {u"=INDEX(A1:B3,1,1,2)", err(ErrorCode::Ref)},
      {u"=INDEX(A1:B3,4,1)", err(ErrorCode::Ref)},
      {u"=INDEX(A1:B3,1,-1)", err(ErrorCode::Ref)},
      {u"=INDEX({1,2;3,4},2,1)", num(3)},
      {u"=SUM(INDEX({1,2;3,4},0,2))", num(6)},
      {u"=INDEX(7,1,1)", num(7)},
  });
}

TEST_F(LookupTest, OffsetGivesReferences) {
  keys(u"1", u"3", u"5");
  expectRows({
      {u"=OFFSET(A1,2,0)", num(5)},
      {u"=SUM(OFFSET(A1,1,0,2,1))", num(8)},
      {u"=ROWS(OFFSET(A1:B3,1,1))", num(3)},
      {u"=COLUMNS(OFFSET(A1,0,0,5,3))", num(3)},
      {u"=SUM(OFFSET(A3,0,0,-2,1))", num(8)}, // a negative height reaches upwards
      {u"=OFFSET(A1,-1,0)", err(ErrorCode::Ref)},
      {u"=OFFSET(A1,0,255,1,2)", err(ErrorCode::Ref)},
      {u"=OFFSET(A1,65535,0)", num(0)},
      {u"=OFFSET(A1,1E300,0)", err(ErrorCode::Ref)},
      {u"=OFFSET(A1,0,0,0,1)", err(ErrorCode::Ref)},
      {u"=ROWS(OFFSET(A1:B3,0,0,,1))", num(3)}, // an empty size keeps the reference's
      {u"=COLUMNS(OFFSET(A1:B3,0,0,1,))", num(2)},
      {u"=SUM(OFFSET(A1:A3,0,0,,))", num(9)},
      {u"=OFFSET(5,0,0)", err(ErrorCode::Ref)},
  });
}

TEST_F(LookupTest, Indirect) {
  keys(u"1", u"3", u"5");
  book->names.push_back({0, 0, 0, u"Keys", u"=$A$1:$A$3", {}});
  book->names.push_back({0, 0, 0, u"Half", u"=0.5", {}});
  book->names.push_back({0, 0, 0, u"Loop", u"=INDIRECT(\"Loop\")", {}});
  expectRows({
      {u"=INDIRECT(\"A2\")", num(3)},
      {u"=SUM(INDIRECT(\"A1:A3\"))", num(9)},
      {u"=SUM(INDIRECT(\"Sheet1!A1:A2\"))", num(4)},
      {u"=INDIRECT(\"R3C1\",FALSE)", num(5)},
      {u"=SUM(INDIRECT(\"Keys\"))", num(9)},
      {u"=INDIRECT(\"Half\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"Loop\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"A1 + 1\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"R3C1\")", err(ErrorCode::Ref)},
  });
  // R1C1 offsets count from the formula's cell.
  EXPECT_EQ(show(eval(u"=INDIRECT(\"R[-1]C[-1]\",FALSE)", "B3")), "3");
}

// Text naming another sheet's local name reads as that name, as a formula would.
TEST_F(LookupTest, IndirectOfAnotherSheetsLocalName) {
  keys(u"1", u"3", u"5");
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"My Sheet", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  ASSERT_TRUE(model::set_cell(*book, 1, 0, 0, u"7", 15, false, true));
  book->names.push_back({0, 0, 0, u"Keys", u"=$A$1:$A$3", {}});
  book->names.push_back({0, 0, 2, u"Keys", u"='My Sheet'!$A$1", {}});
  model::names_changed(*book);
  expectRows({
      {u"=SUM(INDIRECT(\"Keys\"))", num(9)},
      {u"=INDIRECT(\"'My Sheet'!Keys\")", num(7)},
      {u"=INDIRECT(\"'my sheet'!keys\")", num(7)},
      {u"=INDIRECT(\"Sheet1!Keys\")", err(ErrorCode::Ref)}, // Sheet1 has no local Keys
      {u"=INDIRECT(\"'My Sheet'!Keys+1\")", err(ErrorCode::Ref)},
  });
}

// A reference through a range of sheets is no single area: read as text it
// is no reference, in either notation, however it is quoted or named.
TEST_F(LookupTest, IndirectOfARangeOfSheetsIsARefError) {
  keys(u"1", u"3", u"5");
  ASSERT_TRUE(model::insert_sheet(*book, 1, std::nullopt, model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(*book, 2, std::nullopt, model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::set_cell(*book, 2, 0, 0, u"7", 15, false, true));
  book->names.push_back({0, 0, 0, u"Span", u"=Sheet1:Sheet3!$A$1", {}});
  model::names_changed(*book);
  expectRows({
      {u"=INDIRECT(\"Sheet1:Sheet3!A1\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"Sheet1:Sheet3!A1:B2\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"'Sheet1:Sheet3'!A1\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"'Sheet1':'Sheet3'!A1\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"Sheet1:Sheet3!R1C1\",FALSE)", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"'Sheet1:Sheet3'!R1C1:R2C2\",FALSE)", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"Span\")", err(ErrorCode::Ref)},
      {u"=INDIRECT(\"Sheet3!A1\")", num(7)},
      {u"=INDIRECT(\"Sheet3!R1C1\",FALSE)", num(7)},
  });
}

TEST_F(LookupTest, AddressAndPositions) {
  expectRows({
      {u"=ADDRESS(2,3)", str(u"$C$2")},
      {u"=ADDRESS(2,3,2)", str(u"C$2")},
      {u"=ADDRESS(2,3,3)", str(u"$C2")},
      {u"=ADDRESS(2,28,4)", str(u"AB2")},
      {u"=ADDRESS(65536,256)", str(u"$IV$65536")},
      {u"=ADDRESS(2,3,1,FALSE)", str(u"R2C3")},
      {u"=ADDRESS(2,3,4,FALSE)", str(u"R[2]C[3]")},
      {u"=ADDRESS(2,3,1,TRUE,\"My Sheet\")", str(u"'My Sheet'!$C$2")},
      {u"=ADDRESS(2,3,3,TRUE,\"[Book1]Sheet1\")", str(u"[Book1]Sheet1!$C2")},
      {u"=ADDRESS(2,3,1,TRUE,\"[My Book]Sheet1\")", str(u"'[My Book]Sheet1'!$C$2")},
      {u"=ADDRESS(2,3,1,TRUE,\"[Book1]\")", str(u"'[Book1]'!$C$2")},
      {u"=ADDRESS(0,1)", err(ErrorCode::Value)},
      {u"=ADDRESS(1,257)", err(ErrorCode::Value)},
      {u"=ADDRESS(1,2,5)", str(u"$B$1")}, // 5 to 8 read as 1 to 4
      {u"=ADDRESS(1,2,6)", str(u"B$1")},
      {u"=ADDRESS(1,2,7,FALSE)", str(u"R[1]C2")},
      {u"=ADDRESS(1,2,8,FALSE)", str(u"R[1]C[2]")},
      {u"=ADDRESS(1,1,9)", err(ErrorCode::Value)},
      {u"=ADDRESS(1,1,0)", err(ErrorCode::Value)},
      {u"=ADDRESS(1,2,,FALSE)", str(u"R1C2")}, // an empty kind takes the default
      {u"=ADDRESS(1,2,,)", str(u"$B$1")},
      {u"=ADDRESS(1,2,3,,\"x\")", str(u"x!$B1")}, // an empty style is A1, not FALSE
      {u"=ROW(C5)", num(5)},
      {u"=COLUMN(C5:E9)", num(3)},
      {u"=ROWS(A1:B3)", num(3)},
      {u"=COLUMNS({1,2,3})", num(3)},
      {u"=ROWS(7)", num(1)},
      {u"=AREAS((A1,B2:C3,D4))", num(3)},
      {u"=AREAS(A1:B2)", num(1)},
      {u"=CHOOSE(2,\"a\",\"b\",\"c\")", str(u"b")},
      {u"=CHOOSE(3.9,\"a\",\"b\",\"c\")", str(u"c")},
      {u"=CHOOSE(4,\"a\",\"b\",\"c\")", err(ErrorCode::Value)},
      {u"=CHOOSE(0,\"a\")", err(ErrorCode::Value)},
      {u"=HYPERLINK(\"http://x\",\"site\")", str(u"site")},
      {u"=HYPERLINK(\"http://x\")", str(u"http://x")},
  });
  EXPECT_EQ(show(eval(u"=ROW()", "D7")), "7");
  EXPECT_EQ(show(eval(u"=COLUMN()", "D7")), "4");
}

TEST_F(LookupTest, Transpose) {
  keys(u"1", u"3", u"5");
  expectRows({
      {u"=INDEX(TRANSPOSE(A1:B3),2,3)", str(u"third")},
      {u"=INDEX(TRANSPOSE(A1:B3),1,2)", num(3)},
      {u"=COLUMNS(TRANSPOSE(A1:B3))", num(3)},
      {u"=INDEX(TRANSPOSE({1,2;3,4}),1,2)", num(3)},
      {u"=ROWS(TRANSPOSE(A1:A65536))", err(ErrorCode::Value)},
  });
}

// A range searched more than once is indexed; every search through the
// index must give what walking the cells gives, for every kind of key.
TEST_F(LookupTest, IndexedSearchesGiveTheWalksResults) {
  // A1:A9 unsorted keys of every kind, B1:B9 their row numbers.
  const char16_t* keys[] = {u"5", u"apple", u"TRUE", u"2", u"Pear", u"=1/0", u"9", u"FALSE", u"5"};
  for (int r = 0; r < 9; ++r) {
    set("A" + std::to_string(r + 1), keys[r]);
    set("B" + std::to_string(r + 1), platform::fromUtf8(std::to_string(r + 1)));
  }
  set("D1", u"1");
  set("D2", u"3");
  set("D3", u"3");
  set("D4", u"7");
  const Row rows[] = {
      {u"=VLOOKUP(5,A1:B9,2,FALSE)", num(1)},     // the first of two
      {u"=VLOOKUP(\"APPLE\",A1:B9,2,FALSE)", num(2)},
      {u"=VLOOKUP(\"pear\",A1:B9,2,FALSE)", num(5)},
      {u"=VLOOKUP(TRUE,A1:B9,2,FALSE)", num(3)},
      {u"=VLOOKUP(FALSE,A1:B9,2,FALSE)", num(8)},
      {u"=VLOOKUP(4,A1:B9,2,FALSE)", err(ErrorCode::NA)},
      {u"=VLOOKUP(\"5\",A1:B9,2,FALSE)", err(ErrorCode::NA)}, // text is not the number
      // Approximate: the bottom-most key of the kind not above; an error
      // below it ends the search.
      {u"=VLOOKUP(6,A1:B9,2)", num(9)},
      {u"=VLOOKUP(3,A1:B9,2)", err(ErrorCode::Div0)}, // A6's error lies below A4's 2
      {u"=VLOOKUP(1,A1:B9,2)", err(ErrorCode::Div0)},
      {u"=VLOOKUP(\"b\",A1:B9,2)", err(ErrorCode::Div0)},
      {u"=VLOOKUP(TRUE,A1:B9,2)", err(ErrorCode::Div0)}, // booleans only when equal
      {u"=VLOOKUP(9,A7:B9,2)", num(9)},
      {u"=VLOOKUP(8,A7:B9,2)", num(9)},   // 5 in A9
      {u"=VLOOKUP(4,A7:B8,2)", err(ErrorCode::NA)},
      {u"=VLOOKUP(\"q\",A7:B9,2)", err(ErrorCode::NA)},
      {u"=MATCH(5,A1:A9,0)", num(1)},
      {u"=MATCH(\"PEAR\",A1:A9,0)", num(5)},
      {u"=MATCH(2,D1:D4,1)", num(1)},
      {u"=MATCH(3,D1:D4,1)", num(3)},
      {u"=MATCH(0,D1:D4,1)", err(ErrorCode::NA)},
      {u"=MATCH(8,D1:D4,1)", num(4)},
      {u"=MATCH(3,D1:D4,-1)", err(ErrorCode::NA)}, // the first key, 1, is below 3
      {u"=MATCH(1,D1:D4,-1)", num(4)},
      {u"=LOOKUP(6,D1:D4,B1:B4)", num(3)},
      {u"=HLOOKUP(\"y\",F1:H2,2,FALSE)", num(20)},
      {u"=HLOOKUP(\"z\",F1:H2,2)", num(30)},
  };
  set("F1", u"x");
  set("G1", u"Y");
  set("H1", u"y");
  set("F2", u"10");
  set("G2", u"20");
  set("H2", u"30");
  for (int pass = 0; pass < 3; ++pass)
    for (const Row& r : rows)
      EXPECT_EQ(show(eval(r.formula)), show(r.expected)) << platform::toUtf8(r.formula) << " pass " << pass;
}

TEST_F(LookupTest, IndexesFollowChangesOfTheirRange) {
  set("A1", u"k1");
  set("A2", u"k2");
  set("A3", u"=C1");
  set("B1", u"1");
  set("B2", u"2");
  set("B3", u"3");
  set("C1", u"k9");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(show(eval(u"=VLOOKUP(\"k9\",A1:B3,2,FALSE)")), "3");
  set("A1", u"k9"); // now the first
  EXPECT_EQ(show(eval(u"=VLOOKUP(\"k9\",A1:B3,2,FALSE)")), "1");
  set("A1", u"k1");
  set("C1", u"k8"); // A3 follows its formula
  EXPECT_EQ(show(eval(u"=VLOOKUP(\"k9\",A1:B3,2,FALSE)")), show(err(ErrorCode::NA)));
  EXPECT_EQ(show(eval(u"=MATCH(\"k8\",A1:A3,0)")), "3");
  EXPECT_EQ(show(eval(u"=MATCH(\"k8\",A1:A3,0)")), "3");
  set("A4", u"k7"); // outside the range: still served
  EXPECT_EQ(show(eval(u"=MATCH(\"k8\",A1:A3,0)")), "3");
  formula::recalcAll(*book);
  EXPECT_EQ(show(eval(u"=MATCH(\"k8\",A1:A3,0)")), "3");
}

// Cells reached only through INDIRECT of computed text are computed while
// the formula runs; a chain of them as long as a sheet allows must compute
// without deep recursion, and only a real loop is circular.
class IndirectChainTest : public LookupTest {
protected:
  void put(int row, int column, const std::string& text) {
    ASSERT_TRUE(model::set_cell(*book, 0, static_cast<std::uint16_t>(row),
                                static_cast<std::uint8_t>(column), platform::fromUtf8(text), 15,
                                false, false));
  }
  CellValue valueAt(int row, int column) {
    model::CellRecord* c = model::cell_at(book->sheet(0), static_cast<std::uint16_t>(row),
                                          static_cast<std::uint8_t>(column));
    if (!c)
      return {};
    formula::computeCell(*book, 0, *c);
    return c->value;
  }
};

TEST_F(IndirectChainTest, LongChainsComputeToTheRightValue) {
  constexpr int kRows = 20000;
  for (int r = kRows - 1; r >= 0; --r)
    put(r, 0, "=INDIRECT(\"A\"&ROW()+1)+1");
  formula::recalcAll(*book);
  book->circular = 0;
  EXPECT_EQ(show(valueAt(0, 0)), show(num(kRows)));
  EXPECT_EQ(book->circular, 0) << "a chain is no loop";
  EXPECT_EQ(show(valueAt(kRows - 1, 0)), show(num(1)));
  EXPECT_EQ(show(valueAt(kRows / 2, 0)), show(num(kRows / 2)));

  // Again from the far end of a recalculation, with a value at the end.
  put(kRows, 0, "5");
  formula::recalcAll(*book);
  EXPECT_EQ(show(valueAt(0, 0)), show(num(kRows + 5)));
  EXPECT_EQ(book->circular, 0);
}

TEST_F(IndirectChainTest, ChainsThroughRanges) {
  // Column B: each cell sums the next one through INDIRECT of a range.
  constexpr int kRows = 5000;
  for (int r = kRows - 1; r >= 0; --r)
    put(r, 1, "=SUM(INDIRECT(\"B\"&ROW()+1&\":B\"&ROW()+1))+2");
  formula::recalcAll(*book);
  EXPECT_EQ(show(valueAt(0, 1)), show(num(2.0 * kRows)));
  EXPECT_EQ(book->circular, 0);
}

TEST_F(IndirectChainTest, OnlyARealLoopIsCircular) {
  put(0, 2, "=INDIRECT(\"C2\")+1");
  put(1, 2, "=INDIRECT(\"C1\")+1");
  formula::recalcAll(*book);
  book->circular = 0;
  (void)valueAt(0, 2);
  EXPECT_EQ(book->circular, 1);

  // A long loop: every cell names the next, the last names the first.
  constexpr int kRows = 3000;
  for (int r = 0; r < kRows; ++r)
    put(r, 3, r + 1 < kRows ? "=INDIRECT(\"D\"&ROW()+1)+1" : "=INDIRECT(\"D1\")+1");
  formula::recalcAll(*book);
  book->circular = 0;
  const CellValue v = valueAt(0, 3);
  EXPECT_TRUE(v.isNumber());
  EXPECT_EQ(book->circular, 1);
}

} // namespace
} // namespace functions
