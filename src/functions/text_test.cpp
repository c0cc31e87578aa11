#include "functions/families.h"
#include "functions/function_test_util.h"

#include <cstdlib>

namespace functions {
namespace {

using testing::near;

class TextTest : public testing::FunctionTest {
protected:
  TextTest() : FunctionTest(registerTextFunctions) { setenv("CELLWICK_CODEPAGE", "1252", 1); }
  ~TextTest() override { unsetenv("CELLWICK_CODEPAGE"); }

  void expectRows(std::initializer_list<std::pair<std::u16string_view, std::string_view>> rows) {
    for (const auto& [formula, expected] : rows)
      EXPECT_EQ(show(eval(formula)), expected) << platform::toUtf8(formula);
  }
};

TEST_F(TextTest, CharacterFunctions) {
  expectRows({
      {u"=LEFT(\"abcdef\",2)", "\"ab\""},
      {u"=LEFT(\"abc\")", "\"a\""},
      {u"=LEFT(\"abc\",10)", "\"abc\""},
      {u"=LEFT(\"abc\",-1)", "#VALUE!"},
      {u"=RIGHT(\"abcdef\",2)", "\"ef\""},
      {u"=RIGHT(\"abc\",0)", "\"\""},
      {u"=MID(\"abcdef\",2,3)", "\"bcd\""},
      {u"=MID(\"abc\",5,2)", "\"\""},
      {u"=MID(\"abc\",0,2)", "#VALUE!"},
      {u"=MID(\"abc\",1,-1)", "#VALUE!"},
      {u"=LEN(\"héllo\")", "5"},
      {u"=LEN(1/4)", "4"},
      {u"=REPLACE(\"abcdef\",2,3,\"XY\")", "\"aXYef\""},
      {u"=REPLACE(\"abc\",9,1,\"Z\")", "\"abcZ\""},
      {u"=REPT(\"ab\",3)", "\"ababab\""},
      {u"=REPT(\"ab\",-1)", "#VALUE!"},
      {u"=REPT(\"x\",1E9)", "#VALUE!"},
      {u"=SUBSTITUTE(\"a-b-c\",\"-\",\"+\")", "\"a+b+c\""},
      {u"=SUBSTITUTE(\"a-b-c\",\"-\",\"+\",2)", "\"a-b+c\""},
      {u"=SUBSTITUTE(\"a-b-c\",\"-\",\"+\",0)", "#VALUE!"},
      {u"=SUBSTITUTE(\"abc\",\"\",\"x\")", "\"abc\""},
      {u"=TRIM(\"  a   b  \")", "\"a b\""},
      {u"=CLEAN(\"a\" & CHAR(9) & \"b\")", "\"ab\""},
      {u"=UPPER(\"straße ä\")", "\"STRAßE Ä\""}, // simple case mapping keeps ß
      {u"=LOWER(\"ÀB\")", "\"àb\""},
      {u"=PROPER(\"this is a TITLE\")", "\"This Is A Title\""},
      {u"=PROPER(\"76budGET 2-way\")", "\"76Budget 2-Way\""},
      {u"=EXACT(\"Word\",\"word\")", "FALSE"},
      {u"=EXACT(\"w\",\"w\")", "TRUE"},
      {u"=CONCATENATE(\"a\",1,TRUE)", "\"a1TRUE\""},
      {u"=T(\"x\")", "\"x\""},
      {u"=T(1)", "\"\""},
      {u"=T(NA())", "#N/A"},
      {u"=VALUE(\"1,234.5\")", "1234.5"},
      {u"=VALUE(\"abc\")", "#VALUE!"},
  });
}

TEST_F(TextTest, FindAndSearch) {
  expectRows({
      {u"=FIND(\"b\",\"abcb\")", "2"},
      {u"=FIND(\"b\",\"abcb\",3)", "4"},
      {u"=FIND(\"B\",\"abc\")", "#VALUE!"},
      {u"=FIND(\"\",\"abc\",2)", "2"},
      {u"=FIND(\"a\",\"abc\",0)", "#VALUE!"},
      {u"=FIND(\"a\",\"abc\",5)", "#VALUE!"},
      {u"=SEARCH(\"B\",\"abc\")", "2"},
      {u"=SEARCH(\"b?d\",\"abxdbcd\")", "2"},
      {u"=SEARCH(\"c*e\",\"abcdxe\")", "3"},
      {u"=SEARCH(\"x*z\",\"abxyy\")", "#VALUE!"},
      {u"=SEARCH(\"~*\",\"ab*c\")", "3"},
      {u"=SEARCH(\"~?\",\"ab?c\")", "3"},
      {u"=SEARCH(\"*\",\"abc\",2)", "2"},
      {u"=SEARCH(\"a*b\",\"xxab\",4)", "#VALUE!"},
  });
}

TEST_F(TextTest, SearchOnLongTextIsBounded) {
  // A pattern that backtracks at every place of a long text must still
  // answer quickly (the matcher is linear in the text per pattern piece).
  set("A1", u"=REPT(\"a\",30000)");
  EXPECT_EQ(show(eval(u"=SEARCH(\"a*a*b\",A1)")), "#VALUE!");
  EXPECT_EQ(show(eval(u"=SEARCH(\"a*a\",A1,29999)")), "29999");
}

TEST_F(TextTest, CodeAndCharInTheWesternCodePage) {
  expectRows({
      {u"=CODE(\"A\")", "65"},
      {u"=CODE(\"\")", "#VALUE!"},
      {u"=CODE(\"é\")", "233"},
      {u"=CHAR(65)", "\"A\""},
      {u"=CODE(CHAR(128))", "128"}, // the euro sign of 1252
      {u"=CHAR(0)", "#VALUE!"},
      {u"=CHAR(256)", "#VALUE!"},
      {u"=LENB(\"abc\")", "3"},
  });
}

TEST_F(TextTest, ByteVariantsInADoubleByteCodePage) {
  setenv("CELLWICK_CODEPAGE", "936", 1);
  expectRows({
      {u"=LENB(\"中文ab\")", "6"},
      {u"=LEN(\"中文ab\")", "4"},
      {u"=LEFTB(\"中文ab\",2)", "\"中\""},
      {u"=LEFTB(\"中文ab\",3)", "\"中 \""}, // half a character becomes a space
      {u"=RIGHTB(\"中文ab\",3)", "\" ab\""},
  });
}

TEST_F(TextTest, ByteVariantsCutCharactersIntoSpaces) {
  setenv("CELLWICK_CODEPAGE", "936", 1);
  expectRows({
      {u"=RIGHTB(\"中文ab\",4)", "\"文ab\""},
      {u"=MIDB(\"中文ab\",3,2)", "\"文\""},
      {u"=MIDB(\"中文ab\",2,3)", "\" 文\""},
      {u"=FINDB(\"b\",\"中文ab\")", "6"},
      {u"=SEARCHB(\"A\",\"中文ab\")", "5"},
      {u"=REPLACEB(\"中文ab\",3,2,\"x\")", "\"中xab\""},
      {u"=CODE(\"中\")", "54992"},
      {u"=CHAR(54992)", "\"中\""},
  });
}

TEST_F(TextTest, NumbersAsText) {
  expectRows({
      {u"=TEXT(1234.567,\"#,##0.00\")", "\"1,234.57\""},
      {u"=TEXT(0.25,\"0%\")", "\"25%\""},
      {u"=TEXT(45366,\"yyyy-mm-dd\")", "\"2024-03-15\""},
      {u"=TEXT(\"12\",\"000\")", "\"012\""},
      {u"=FIXED(1234.567)", "\"1,234.57\""},
      {u"=FIXED(1234.567,1,TRUE)", "\"1234.6\""},
      {u"=FIXED(1234.567,-2)", "\"1,200\""},
      {u"=FIXED(-2.5,0)", "\"-3\""},
      {u"=FIXED(1.005,2)", "\"1.01\""},
      {u"=FIXED(1,200)", "#VALUE!"},
      {u"=DOLLAR(1234.567)", "\"$1,234.57\""},
      {u"=DOLLAR(-1234.567,1)", "\"($1,234.6)\""},
      {u"=DOLLAR(0.5,0)", "\"$1\""},
      {u"=USDOLLAR(12.345)", "\"$12.35\""},
  });
}

TEST_F(TextTest, TextInThe1904System) {
  book->date1904 = 1;
  // Serial 0 is 1 January 1904 there.
  EXPECT_EQ(show(eval(u"=TEXT(0,\"yyyy-mm-dd\")")), "\"1904-01-01\"");
}

TEST_F(TextTest, EastAsianMembers) {
  expectRows({
      {u"=ASC(\"ＡＢ１　\")", "\"AB1 \""},
      {u"=DBCS(\"AB1 \")", "\"ＡＢ１　\""},
      {u"=NUMBERSTRING(123,1)", "\"一百二十三\""},
      {u"=NUMBERSTRING(123,2)", "\"壹佰贰拾叁\""},
      {u"=NUMBERSTRING(123,3)", "\"一二三\""},
      {u"=NUMBERSTRING(1003,1)", "\"一千零三\""},
      {u"=NUMBERSTRING(100200,1)", "\"十万零二百\""},
      {u"=NUMBERSTRING(15,1)", "\"十五\""},
      {u"=NUMBERSTRING(1,4)", "#VALUE!"},
      {u"=DATESTRING(45366)", "\"24年03月15日\""},
      {u"=PHONETIC(\"x\")", "\"x\""},
  });
}

TEST_F(TextTest, LogicalFunctions) {
  set("A1", u"2");
  set("A2", u"x");
  set("A3", u"TRUE");
  set("B1", u"a");
  set("B2", u"b");
  set("C1", u"=NA()");
  expectRows({
      {u"=AND(1,TRUE,A1:A3)", "TRUE"},
      {u"=AND(B1:B2)", "#VALUE!"},
      {u"=OR(C1)", "#N/A"},
      {u"=AND(1,0)", "FALSE"},
      {u"=OR(0,A1)", "TRUE"},
      {u"=OR({0,\"x\",1})", "TRUE"},
      {u"=AND(\"x\")", "#VALUE!"},
      {u"=AND(\"true\")", "TRUE"},
      {u"=OR(FALSE,)", "FALSE"},
      {u"=AND(TRUE,)", "TRUE"},  // an empty optional argument is skipped
      {u"=OR(TRUE,,)", "TRUE"},
      {u"=AND(TRUE,,FALSE)", "FALSE"},
      {u"=AND(B1,)", "#VALUE!"}, // nothing counted
      {u"=NOT(0)", "TRUE"},
      {u"=NOT(\"x\")", "#VALUE!"},
  });
}

TEST_F(TextTest, InformationFunctions) {
  set("A1", u"5");
  set("A2", u"text");
  set("A3", u"=1/0");
  expectRows({
      {u"=ISBLANK(B9)", "TRUE"},
      {u"=ISBLANK(\"\")", "FALSE"},
      {u"=ISNUMBER(A1)", "TRUE"},
      {u"=ISTEXT(A2)", "TRUE"},
      {u"=ISNONTEXT(A1)", "TRUE"},
      {u"=ISLOGICAL(FALSE)", "TRUE"},
      {u"=ISERR(A3)", "TRUE"},
      {u"=ISERR(NA())", "FALSE"},
      {u"=ISNA(NA())", "TRUE"},
      {u"=ISERROR(A3)", "TRUE"},
      {u"=ISERROR(nosuchname)", "TRUE"},
      {u"=ISREF(A1:A2)", "TRUE"},
      {u"=ISREF(1)", "FALSE"},
      {u"=ERROR.TYPE(A3)", "2"},
      {u"=ERROR.TYPE(NA())", "7"},
      {u"=ERROR.TYPE(1)", "#N/A"},
      {u"=N(A1)", "5"},
      {u"=N(TRUE)", "1"},
      {u"=N(A2)", "0"},
      {u"=TYPE(1)", "1"},
      {u"=TYPE(\"a\")", "2"},
      {u"=TYPE(TRUE)", "4"},
      {u"=TYPE(1/0)", "16"},
      {u"=TYPE({1,2})", "64"},
      {u"=ISEVEN(-2.5)", "TRUE"},
      {u"=ISODD(3)", "TRUE"},
      {u"=ISODD(4)", "FALSE"},
  });
}

TEST_F(TextTest, Info) {
  expectRows({
      {u"=INFO(\"system\")", "\"pcdos\""},
      {u"=INFO(\"release\")", "\"8.0e\""},
      {u"=INFO(\"RECALC\")", "\"自动\""},
      {u"=INFO(\"bogus\")", "#VALUE!"},
      {u"=INFO(\"directory\")", "#N/A"}, // a new workbook has no path
      {u"=INFO(\"origin\")", "\"$A:$A$1\""},
      {u"=INFO(\"numfile\")", "1"},
  });
  book->path = u"C:\\data\\book.xls";
  EXPECT_EQ(show(eval(u"=INFO(\"directory\")")), "\"C:\\data\\\"");
  const double total = number(u"=INFO(\"totmem\")");
  const double avail = number(u"=INFO(\"memavail\")");
  EXPECT_TRUE(near(number(u"=INFO(\"memused\")"), total - avail, 1e-6));
  EXPECT_GE(total, avail);
  EXPECT_GT(number(u"=INFO(\"osversion\")"), 0);
}

TEST_F(TextTest, InfoNumfileCountsTheOpenWorkbooks) {
  model::Workbook* first = book;
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_TRUE(books.new_workbook(nullptr));
  book = first;
  EXPECT_EQ(number(u"=INFO(\"numfile\")"), 3);
}

TEST_F(TextTest, Cell) {
  set("B3", u"'hello");
  set("C4", u"12.5");
  expectRows({
      {u"=CELL(\"address\",B3)", "\"$B$3\""},
      {u"=CELL(\"row\",B3)", "3"},
      {u"=CELL(\"col\",C4)", "3"},
      {u"=CELL(\"contents\",C4)", "12.5"},
      {u"=CELL(\"type\",B3)", "\"l\""},
      {u"=CELL(\"type\",C4)", "\"v\""},
      {u"=CELL(\"type\",D9)", "\"b\""},
      {u"=CELL(\"format\",C4)", "\"G\""},
      {u"=CELL(\"protect\",C4)", "1"},
      {u"=CELL(\"width\",C4)", "8"},
      {u"=CELL(\"filename\",C4)", "\"\""},
      {u"=CELL(\"parentheses\",C4)", "0"},
      {u"=CELL(\"color\",C4)", "0"},
      {u"=CELL(\"row\")", "1000"},
      {u"=CELL(\"bogus\",A1)", "#VALUE!"},
      {u"=CELL(\"row\",1)", "#REF!"},
  });
}

TEST_F(TextTest, LaterLogicalFunctions) {
  expectRows({
      {u"=IFERROR(1/0,\"x\")", "\"x\""},
      {u"=IFERROR(5,\"x\")", "5"},
      {u"=IFERROR(NA(),1)", "1"},
      {u"=IFERROR(#REF!,\"r\")", "\"r\""},
      {u"=IFERROR(Q99,1)", "0"},           // a blank cell is no error
      {u"=IFERROR(NoSuchName,2)", "2"},    // an undefined name is #NAME?
      {u"=IFNA(NA(),2)", "2"},
      {u"=IFNA(1/0,2)", "#DIV/0!"},
      {u"=IFNA(\"a\",2)", "\"a\""},
      {u"=IFS(FALSE,1,TRUE,2)", "2"},
      {u"=IFS(0,1,5,\"five\")", "\"five\""},
      {u"=IFS(1=2,\"a\")", "#N/A"},
      {u"=IFS(TRUE,1,1/0,2)", "1"},        // tests after the true one are not read
      {u"=IFS(1/0,1,TRUE,2)", "#DIV/0!"},
      {u"=IFS(\"x\",1)", "#VALUE!"},
      {u"=SWITCH(2,1,\"a\",2,\"b\")", "\"b\""},
      {u"=SWITCH(3,1,\"a\",2,\"b\")", "#N/A"},
      {u"=SWITCH(3,1,\"a\",2,\"b\",\"other\")", "\"other\""},
      {u"=SWITCH(\"B\",\"a\",1,\"b\",2)", "2"},
      {u"=SWITCH(\"1\",1,\"number\",\"1\",\"text\")", "\"text\""},
      {u"=SWITCH(TRUE,1,\"one\",TRUE,\"true\")", "\"true\""},
      {u"=SWITCH(1/0,1,2)", "#DIV/0!"},
      {u"=XOR(TRUE,FALSE)", "TRUE"},
      {u"=XOR(TRUE,TRUE)", "FALSE"},
      {u"=XOR(1,1,1)", "TRUE"},
      {u"=XOR({TRUE,TRUE,FALSE})", "FALSE"},
      {u"=XOR(FALSE,)", "FALSE"},
      {u"=XOR(\"x\")", "#VALUE!"},
      {u"=XOR(1/0,TRUE)", "#DIV/0!"},
  });
}

TEST_F(TextTest, ConcatAndTextJoin) {
  set("A1", u"x");
  set("B1", u"y");
  set("B2", u"3");
  set("C1", u"=1/0");
  expectRows({
      {u"=CONCAT(\"a\",1,TRUE)", "\"a1TRUE\""},
      {u"=CONCAT(A1:B2)", "\"xy3\""},
      {u"=CONCAT({\"a\",\"b\";\"c\",\"d\"},\"e\")", "\"abcde\""},
      {u"=CONCAT(\"a\",A1:C1)", "#DIV/0!"},
      {u"=CONCAT(REPT(\"a\",20000),REPT(\"b\",20000))", "#VALUE!"},
      {u"=TEXTJOIN(\"-\",TRUE,A1:B2)", "\"x-y-3\""},
      {u"=TEXTJOIN(\"-\",FALSE,A1:B2)", "\"x-y--3\""},
      {u"=TEXTJOIN(\", \",TRUE,\"a\",\"\",\"b\")", "\"a, b\""},
      {u"=TEXTJOIN(\", \",FALSE,\"a\",\"\",\"b\")", "\"a, , b\""},
      {u"=TEXTJOIN(\"\",TRUE,\"a\",{\"b\",\"c\"})", "\"abc\""},
      {u"=TEXTJOIN(\"+\",TRUE,1,2.5,A1)", "\"1+2.5+x\""},
      {u"=TEXTJOIN(\"-\",TRUE,A1:C1)", "#DIV/0!"},
  });
}

} // namespace
} // namespace functions
