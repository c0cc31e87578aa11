// Expected values come from exact rational arithmetic (Python fractions),
// closed forms of the distributions evaluated independently in Python's math
// module, classical published tables, and the worked examples of public
// spreadsheet documentation; each group says which.

#include "functions/families.h"
#include "functions/function_test_util.h"

#include <cmath>
#include <string>

namespace functions {
namespace {

using model::CellValue;
using model::ErrorCode;
using testing::near;

class StatTest : public functions::testing::FunctionTest {
protected:
  StatTest() : FunctionTest(registerStatisticalFunctions) {}

  struct Row {
    std::u16string_view formula;
    double expected;
    double tolerance = 1e-9;
  };
  void expectNumbers(std::initializer_list<Row> rows) {
    for (const Row& r : rows)
      EXPECT_TRUE(near(number(r.formula), r.expected, r.tolerance)) << platform::toUtf8(r.formula);
  }
  void expectError(std::u16string_view formula, ErrorCode code) {
    const CellValue v = eval(formula);
    EXPECT_TRUE(v.isError() && v.errorValue() == code)
        << platform::toUtf8(formula) << " gave " << show(v);
  }
  // Evaluates as an array formula, so array results come back whole.
  CellValue evalArray(std::u16string_view formula) {
    formula::EvalContext ctx{book, 0, 999, 25};
    ctx.arrayMode = true;
    return formula::dereference(formula::evaluateSpan(formula, 0, formula.size(), ctx), ctx);
  }
  void column(std::string_view top, std::initializer_list<const char16_t*> texts) {
    auto [r, c] = at(top);
    for (const char16_t* t : texts) {
      std::string a1(1, static_cast<char>('A' + c));
      set(a1 + std::to_string(r + 1), t);
      ++r;
    }
  }
};

TEST_F(StatTest, RegistersEveryStatisticalEntry) {
  // A name the table does not know would make registration fail.
  EXPECT_FALSE(std::isnan(number(u"=AVERAGE(1,2)")));
  for (const char16_t* name : {u"=VARPA(1,2)", u"=STEYX({1,2,3},{1,2,4})", u"=GAMMALN(3)"})
    EXPECT_TRUE(eval(name).isNumber()) << platform::toUtf8(name);
}

// Exact rational arithmetic; the data sets of the public worked examples.
// A reference through a range of sheets gives the functions the area of
// every sheet from its first to its last (a chart sheet between has no
// cells); one named alone, or the range's ends swapped, the same.
TEST_F(StatTest, ReferencesThroughARangeOfSheets) {
  ASSERT_TRUE(model::rename_sheet(*book, 0, u"One"));
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Two", model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(*book, 2, u"Chart", model::SheetKind::Chart, false));
  ASSERT_TRUE(model::insert_sheet(*book, 3, u"Three 3", model::SheetKind::Worksheet, false));
  // B2 holds 1, 10 and 100, C3 holds 2, D1 a text, on each worksheet.
  const char16_t* kB2[] = {u"1", u"10", u"100"};
  int i = 0;
  for (int s : {0, 1, 3}) {
    ASSERT_TRUE(model::set_cell(*book, s, 1, 1, kB2[i++], 15, false, true));
    ASSERT_TRUE(model::set_cell(*book, s, 2, 2, u"2", 15, false, true));
    ASSERT_TRUE(model::set_cell(*book, s, 0, 3, u"text", 15, false, true));
  }
  expectNumbers({
      {u"=COUNT(One:'Three 3'!B2:D3)", 6},
      {u"=COUNTA(One:'Three 3'!A1:D3)", 9},
      {u"=COUNTA('One:Three 3'!A1:D3,One!D1)", 10},
      {u"=AVERAGE(One:Two!B2)", 5.5},
      {u"=AVERAGE('Three 3':Two!B2:C3)", 28.5},
      {u"=MAX(One:'Three 3'!B2:C3)", 100},
      {u"=MIN(Two:'Three 3'!B2:C3)", 2},
      {u"=MAXA(One:'Three 3'!A1:D1)", 0},
      {u"=STDEV(One:Two!B2)", 6.363961030678928},      // sqrt(40.5)
      {u"=VARP('One':'Three 3'!B2)", 1998},            // mean 37, (36^2+27^2+63^2)/3
      {u"=COUNT(Two:Two!B2:C3)", 2},
  });
  expectError(u"=One:Two!B2", ErrorCode::Value);
  expectError(u"=ABS(One:Two!B2)", ErrorCode::Value);
}

TEST_F(StatTest, AveragesAndSpreads) {
  expectNumbers({
      {u"=AVERAGE(1,2,3,4)", 2.5},
      {u"=AVEDEV(4,5,6,7,5,4,3)", 1.0204081632653061},
      {u"=DEVSQ(4,5,8,7,11,4,3)", 48},
      {u"=GEOMEAN(4,5,8,7,11,4,3)", 5.476986969656962},
      {u"=HARMEAN(4,5,8,7,11,4,3)", 5.028375962061728},
      {u"=STDEV(1345,1301,1368,1322,1310,1370,1318,1350,1303,1299)", 27.463915719843495},
      {u"=STDEVP(1345,1301,1368,1322,1310,1370,1318,1350,1303,1299)", 26.054558142482477},
      {u"=VAR(1345,1301,1368,1322,1310,1370,1318,1350,1303,1299)", 754.2666666666667},
      {u"=VARP(1,2,3,4)", 1.25},
      {u"=KURT(3,4,5,2,3,4,5,6,4,7)", -0.15179963720841422},
      {u"=SKEW(3,4,5,2,3,4,5,6,4,7)", 0.35954307140679714},
      {u"=MEDIAN(5,1,3)", 3},
      {u"=MEDIAN(4,1,3,2)", 2.5},
      {u"=MODE(1,2,2,3,3)", 2}, // equally frequent: the one met first
      {u"=MAX(-3,-7)", -3},
      {u"=MIN(2,9)", 2},
      {u"=MAX(A1:A3)", 0}, // nothing to compare
      {u"=TRIMMEAN({4,5,6,7,2,3,4,5,1,2,3},0.2)", 34.0 / 9},
      // Direct text and booleans are converted by the calling convention.
      {u"=AVERAGE(\"3\",TRUE)", 2},
  });
}

// A one-pass sum of squares loses every digit here; the exact answer is 1.
TEST_F(StatTest, VarianceKeepsDigitsUnderLargeOffsets) {
  expectNumbers({
      {u"=VAR(1000000001,1000000002,1000000003)", 1},
      {u"=STDEV(1E+15+1,1E+15+3)", std::sqrt(2.0)},
  });
}

TEST_F(StatTest, EmptyAndDegenerateDataGiveTheirErrors) {
  expectError(u"=AVERAGE(A1:A3)", ErrorCode::Div0);
  expectError(u"=STDEV(5)", ErrorCode::Div0);
  expectError(u"=VAR(A1:A3)", ErrorCode::Div0);
  expectError(u"=KURT(1,2,3)", ErrorCode::Div0);
  expectError(u"=SKEW(2,2,2,2)", ErrorCode::Div0);
  expectError(u"=MODE(1,2,3)", ErrorCode::NA);
  expectError(u"=MEDIAN(A1:A3)", ErrorCode::Num);
  expectError(u"=GEOMEAN(4,0)", ErrorCode::Num);
  expectError(u"=HARMEAN(4,-1)", ErrorCode::Num);
  expectError(u"=LARGE({1,2,3},4)", ErrorCode::Num);
  expectError(u"=SMALL({1,2,3},0)", ErrorCode::Num);
  expectError(u"=PERCENTILE({1,2},1.5)", ErrorCode::Num);
  expectError(u"=QUARTILE({1,2},5)", ErrorCode::Num);
  expectError(u"=TRIMMEAN({1,2},1)", ErrorCode::Num);
}

TEST_F(StatTest, ReferencedTextBooleansAndErrors) {
  column("A1", {u"4", u"text", u"TRUE", u"8"});
  expectNumbers({
      {u"=AVERAGE(A1:A4)", 6},     // text and TRUE in cells are skipped
      {u"=AVERAGEA(A1:A4)", 13.0 / 4}, // ... counted as 0 and 1 by the A form
      {u"=COUNT(A1:A4)", 2},
      {u"=COUNTA(A1:A5)", 4},
      {u"=COUNTA(1,\"x\",#N/A)", 3},
      {u"=MAXA(A1:A3)", 4},
      {u"=MINA(A1:A4)", 0},
      {u"=VARA(A1:A4)", 38.75 / 3}, // values 4, 0, 1, 8
      {u"=VARPA(A1:A4)", 38.75 / 4},
      {u"=STDEVA(A1:A4)", std::sqrt(38.75 / 3)},
      {u"=STDEVPA(A1:A4)", std::sqrt(38.75 / 4)},
  });
  set("A5", u"=NA()");
  expectError(u"=AVERAGE(A1:A5)", ErrorCode::NA);
  expectError(u"=MAX(A1:A5)", ErrorCode::NA);
  expectError(u"=STDEV(A1:A5)", ErrorCode::NA);
  EXPECT_EQ(number(u"=COUNT(A1:A5)"), 2); // errors are neither counted nor returned
  EXPECT_EQ(number(u"=COUNTA(A1:A5)"), 5);
  expectError(u"=MAXA(\"x\",1)", ErrorCode::Value);
}

// Public worked examples (PERCENTRANK truncates, it does not round).
TEST_F(StatTest, RanksAndPercentiles) {
  column("B1", {u"13", u"12", u"11", u"8", u"4", u"3", u"2", u"1", u"1", u"1"});
  column("C1", {u"7", u"3.5", u"3.5", u"1", u"2"});
  expectNumbers({
      {u"=PERCENTRANK(B1:B10,2)", 0.333},
      {u"=PERCENTRANK(B1:B10,4)", 0.555},
      {u"=PERCENTRANK(B1:B10,8)", 0.666},
      {u"=PERCENTRANK(B1:B10,5)", 0.583},
      {u"=PERCENTRANK(B1:B10,5,5)", 0.58333},
      {u"=PERCENTILE({1,2,3,4},0.3)", 1.9},
      {u"=QUARTILE({1,2,4,7,8,9,10,12},1)", 3.5},
      {u"=QUARTILE({1,2,4,7,8,9,10,12},4)", 12},
      {u"=LARGE({3,5,3,5,4},3)", 4},
      {u"=SMALL({3,5,3,5,4},2)", 3},
      {u"=LARGE({1,2,3},1.5)", 2}, // a fractional k is rounded up
      {u"=RANK(C2,C1:C5,1)", 3},
      {u"=RANK(C1,C1:C5,1)", 5},
      {u"=RANK(C1,C1:C5)", 1},
  });
  expectError(u"=PERCENTRANK(B1:B10,20)", ErrorCode::NA);
  expectError(u"=RANK(6,C1:C5)", ErrorCode::NA);
}

TEST_F(StatTest, FrequencyCountsPerBin) {
  const CellValue v = evalArray(u"=FREQUENCY({79,85,78,85,50,81,95,88,97},{70,79,89})");
  ASSERT_TRUE(v.isArray());
  ASSERT_EQ(v.arrayRows(), 4);
  const double expected[] = {1, 2, 4, 2};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(v.arrayItem(i, 0).numberValue(), expected[i]);
  // Bins out of order still count by value; the result follows the bins' order.
  const CellValue w = evalArray(u"=FREQUENCY({1,2,3,4,5},{4,2})");
  ASSERT_TRUE(w.isArray());
  EXPECT_EQ(w.arrayItem(0, 0).numberValue(), 2); // 3, 4
  EXPECT_EQ(w.arrayItem(1, 0).numberValue(), 2); // 1, 2
  EXPECT_EQ(w.arrayItem(2, 0).numberValue(), 1); // 5
}

// Exact rational arithmetic on the data of public worked examples.
TEST_F(StatTest, PairedStatistics) {
  expectNumbers({
      {u"=COVAR({3,2,4,5,6},{9,7,12,15,17})", 5.2},
      {u"=CORREL({3,2,4,5,6},{9,7,12,15,17})", 0.9970544855015815},
      {u"=PEARSON({3,2,4,5,6},{9,7,12,15,17})", 0.9970544855015815},
      {u"=RSQ({3,2,4,5,6},{9,7,12,15,17})", 0.9941176470588236},
      {u"=SLOPE({2,3,9,1,8,7,5},{6,5,11,7,5,4,4})", 0.3055555555555556},
      {u"=INTERCEPT({2,3,9,1,8,7,5},{6,5,11,7,5,4,4})", 3.1666666666666665},
      {u"=STEYX({2,3,9,1,8,7,5},{6,5,11,7,5,4,4})", 3.305718950210041},
      {u"=FORECAST(30,{6,7,9,15,21},{20,28,31,38,40})", 10.607253086419753},
  });
  expectError(u"=CORREL({1,2,3},{1,2})", ErrorCode::NA);
  expectError(u"=SLOPE({1,2,3},{5,5,5})", ErrorCode::Div0);
  expectError(u"=CORREL({1,2,#N/A},{1,2,3})", ErrorCode::NA);
}

// Whole columns as array arguments: the same data as above in rows 1-5 of
// 65,536, the rest of the columns empty, and an error far down.
TEST_F(StatTest, WholeColumnsAsArrayArguments) {
  const int xs[] = {3, 2, 4, 5, 6}, ys[] = {9, 7, 12, 15, 17};
  for (int r = 0; r < 5; ++r) {
    set("A" + std::to_string(r + 1), platform::fromUtf8(std::to_string(xs[r])));
    set("B" + std::to_string(r + 1), platform::fromUtf8(std::to_string(ys[r])));
  }
  expectNumbers({
      {u"=CORREL(A1:A65536,B1:B65536)", 0.9970544855015815},
      {u"=COVAR(A1:A65536,B1:B65536)", 5.2},
      {u"=PEARSON(A1:A65536,B1:B65536)", 0.9970544855015815},
  });
  set("B60000", u"=NA()");
  expectError(u"=CORREL(A1:A65536,B1:B65536)", ErrorCode::NA);
}

TEST_F(StatTest, LinestAndTrend) {
  // y = 1 + 2x exactly (a public worked example).
  CellValue v = evalArray(u"=LINEST({1,9,5,7},{0,4,2,3})");
  ASSERT_TRUE(v.isArray());
  ASSERT_EQ(v.arrayColumns(), 2);
  EXPECT_TRUE(near(v.arrayItem(0, 0).numberValue(), 2));
  EXPECT_TRUE(near(v.arrayItem(0, 1).numberValue(), 1));

  // Statistics of the SLOPE data set, from exact rational arithmetic.
  v = evalArray(u"=LINEST({2;3;9;1;8;7;5},{6;5;11;7;5;4;4},TRUE,TRUE)");
  ASSERT_TRUE(v.isArray());
  ASSERT_EQ(v.arrayRows(), 5);
  const double expected[5][2] = {{0.3055555555555556, 3.1666666666666665},
                                 {0.5509531583683402, 3.533962208186286},
                                 {0.05795019157088123, 3.305718950210041},
                                 {0.30757498729028976, 5},
                                 {3.361111111111111, 54.638888888888886}};
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 2; ++c)
      EXPECT_TRUE(near(v.arrayItem(r, c).numberValue(), expected[r][c])) << r << "," << c;

  // Two variables: y = 3 + 2 x1 - x2 exactly; coefficients come last variable first.
  v = evalArray(u"=LINEST({4;4;10;7;14},{1,1;2,3;4,1;3,2;6,1})");
  ASSERT_TRUE(v.isArray());
  ASSERT_EQ(v.arrayColumns(), 3);
  EXPECT_TRUE(near(v.arrayItem(0, 0).numberValue(), -1));
  EXPECT_TRUE(near(v.arrayItem(0, 1).numberValue(), 2));
  EXPECT_TRUE(near(v.arrayItem(0, 2).numberValue(), 3));

  // Without a constant: y = 2x through the origin; its standard error is #N/A.
  v = evalArray(u"=LINEST({2,4,6.5},{1,2,3},FALSE,TRUE)");
  ASSERT_TRUE(v.isArray());
  EXPECT_TRUE(near(v.arrayItem(0, 0).numberValue(), 29.5 / 14)); // sum xy / sum x^2
  EXPECT_EQ(v.arrayItem(0, 1).numberValue(), 0);
  EXPECT_TRUE(v.arrayItem(1, 1).isError());

  // y = 3 * 2^x: LOGEST gives the base and the factor, GROWTH extends it.
  v = evalArray(u"=LOGEST({6,12,24,48},{1,2,3,4})");
  ASSERT_TRUE(v.isArray());
  EXPECT_TRUE(near(v.arrayItem(0, 0).numberValue(), 2));
  EXPECT_TRUE(near(v.arrayItem(0, 1).numberValue(), 3));
  EXPECT_TRUE(near(number(u"=GROWTH({6,12,24,48},{1,2,3,4},5)"), 96));
  EXPECT_TRUE(near(number(u"=TREND({1,9,5,7},{0,4,2,3},10)"), 21));
  v = evalArray(u"=TREND({3,5,7})"); // x defaults to 1, 2, 3
  ASSERT_TRUE(v.isArray());
  EXPECT_TRUE(near(v.arrayItem(0, 2).numberValue(), 7));

  expectError(u"=LINEST({1,2,3},{1,2;3,4})", ErrorCode::Ref);
  expectError(u"=LINEST({1,2,3},{2,2,2})", ErrorCode::Num); // x collinear with the constant
  expectError(u"=LOGEST({1,-2,3})", ErrorCode::Num);
}

// Normal values from the classical tables and 0.5 erfc(-z / sqrt 2) in Python.
TEST_F(StatTest, NormalDistribution) {
  expectNumbers({
      {u"=NORMSDIST(1.96)", 0.9750021048517795},
      {u"=NORMSDIST(-5)", 2.866515718791946e-07},
      {u"=NORMSDIST(-10)", 7.619853024160593e-24},
      {u"=NORMSDIST(0)", 0.5},
      {u"=NORMDIST(42,40,1.5,TRUE)", 0.9087887802741321},
      {u"=NORMDIST(42,40,1.5,FALSE)", 0.10934004978399577},
      {u"=LOGNORMDIST(4,3.5,1.2)", 0.03908355570680049},
      {u"=STANDARDIZE(42,40,1.5)", 4.0 / 3},
      {u"=NORMSINV(0.975)", 1.959963984540054},
      {u"=NORMSINV(0.995)", 2.5758293035489004},
      {u"=NORMSINV(2.866515718791946E-07)", -5},
      {u"=NORMSINV(7.619853024160593E-24)", -10},
      {u"=NORMINV(0.9087887802741321,40,1.5)", 42},
      {u"=LOGINV(0.03908355570680049,3.5,1.2)", 4},
      {u"=CONFIDENCE(0.05,2.5,50)", 1.959963984540054 * 2.5 / std::sqrt(50.0)},
  });
  EXPECT_EQ(number(u"=NORMSINV(0.5)"), 0);
  expectError(u"=NORMSINV(1)", ErrorCode::NA);
  expectError(u"=NORMSINV(0)", ErrorCode::NA);
  expectError(u"=NORMSINV(1.5)", ErrorCode::Num);
  expectError(u"=NORMDIST(1,0,0,TRUE)", ErrorCode::Num);
  expectError(u"=LOGNORMDIST(0,1,1)", ErrorCode::Num);
  expectError(u"=CONFIDENCE(1,1,10)", ErrorCode::Num);
}

// The old 500-interval trapezoid was off in the sixth or seventh digit and
// the 3e-7 stopping rule alone left NORMSINV about 1e-7 from the quantile.
TEST_F(StatTest, NormalRoundTripsToFullPrecision) {
  for (double z : {-7.5, -3.2, -0.4, 0.8, 2.7, 3.9}) {
    const std::u16string f =
        u"=NORMSINV(NORMSDIST(" + platform::fromUtf8(std::to_string(z)) + u"))";
    EXPECT_TRUE(near(number(f), z, 1e-10)) << z;
  }
}

// Closed forms for even and small odd degrees of freedom, in Python; the
// 5% point of the published chi-squared table.
TEST_F(StatTest, ChiSquared) {
  expectNumbers({
      {u"=CHIDIST(18.307,10)", 0.05000058909139812},
      {u"=CHIDIST(3,1)", 0.08326451666355043},
      {u"=CHIDIST(7.5,3)", 0.057558451972636406},
      {u"=CHIDIST(150,100)", 0.0009039320423540092},
      {u"=CHIINV(0.05,10)", 18.307038053275143},
      {u"=CHIINV(0.05,2)", 5.991464547107982},
      {u"=CHIINV(1E-12,2)", 55.262042231857095},
      {u"=CHIINV(0.999999,2)", 2.000001000058178e-06},
      {u"=CHIDIST(0,4)", 1},
  });
  EXPECT_EQ(number(u"=CHIINV(1,5)"), 0);
  expectError(u"=CHIINV(0,5)", ErrorCode::NA);
  expectError(u"=CHIINV(0.5,0)", ErrorCode::Num);
  expectError(u"=CHIDIST(-1,3)", ErrorCode::Num);
  // A huge number of degrees of freedom must not hang.
  EXPECT_TRUE(eval(u"=CHIDIST(1E+10,1E+10)").isNumber());
}

// Bad input of any size gives a number or an error value, never a hang: the
// expansions have an iteration budget and the solvers a step limit.
TEST_F(StatTest, ExtremeArgumentsStayBounded) {
  for (const char16_t* f : {u"=BETADIST(0.5,1E+300,1E+300)", u"=BETAINV(0.5,1E+300,1E+300)",
                            u"=GAMMAINV(0.5,1E+300,1)", u"=GAMMADIST(1E+300,1E+300,1,TRUE)",
                            u"=BINOMDIST(5E+14,1E+15,0.5,TRUE)", u"=CRITBINOM(1E+15,0.5,0.5)",
                            u"=POISSON(1E+15,1E+15,TRUE)", u"=TINV(1E-300,1)",
                            u"=FINV(1E-300,1,1)", u"=NORMSINV(1E-300)", u"=CHIINV(1E-300,1E+10)",
                            u"=HYPGEOMDIST(1,1E+15,1E+15,1E+15)", u"=KURT(1E+300,-1E+300,1,2)"}) {
    const CellValue v = eval(f);
    EXPECT_TRUE(v.isError() || (v.isNumber() && std::isfinite(v.numberValue())))
        << platform::toUtf8(f) << " gave " << show(v);
  }
  // A deep lower tail the 3e-7 stopping rule alone would have left near -5
  // (expected value: bisection on 0.5 erfc(-z / sqrt 2) in Python).
  EXPECT_TRUE(near(number(u"=NORMSINV(1E-300)"), -37.04709629936121, 1e-9));
}

// Student's t: closed forms for 1, 2 and 4 degrees of freedom (Python).
TEST_F(StatTest, StudentT) {
  expectNumbers({
      {u"=TDIST(1.96,1,2)", 0.3003428917760331},
      {u"=TDIST(3,2,1)", 0.047732983133354556},
      {u"=TDIST(2.5,4,1)", 0.033383272405994036},
      {u"=TDIST(0,7,2)", 1},
      {u"=TINV(0.05,1)", 12.706204736174696},
      {u"=TINV(0.05,2)", 4.302652729749464},
      {u"=TINV(1E-08,2)", 9999.999924999998}, // (1 - p) sqrt(2 / (p (2 - p)))
      {u"=TINV(TDIST(2.5,4,2),4)", 2.5},
      {u"=TDIST(1.96,60,2)", 0.054645, 1e-5}, // public example, 6 digits
  });
  EXPECT_EQ(number(u"=TINV(1,3)"), 0);
  expectError(u"=TINV(0,3)", ErrorCode::NA);
  expectError(u"=TDIST(-1,3,1)", ErrorCode::Num);
  expectError(u"=TDIST(1,3,3)", ErrorCode::Num);
}

// F: closed forms for two numerator degrees of freedom (Python).
TEST_F(StatTest, FDistribution) {
  expectNumbers({
      {u"=FDIST(3,2,2)", 0.25},
      {u"=FDIST(2.5,2,7)", 0.1516033433034195},
      {u"=FINV(0.01,2,2)", 99},
      {u"=FINV(0.05,2,9)", 4.256494729093749},
      {u"=FINV(FDIST(15.20686486,6,4),6,4)", 15.20686486},
      {u"=FDIST(15.20686486,6,4)", 0.01, 1e-8}, // public example
  });
  expectError(u"=FDIST(1,0,3)", ErrorCode::Num);
  expectError(u"=FINV(0,3,3)", ErrorCode::NA);
}

// Beta and gamma: exact binomial sums for integer parameters (Python
// fractions), the Erlang closed form, erf for shape 1/2, and inverses with
// closed forms.
TEST_F(StatTest, BetaAndGamma) {
  expectNumbers({
      {u"=BETADIST(2,8,10,1,3)", 0.6854705810546875},
      {u"=BETADIST(0.3,2,5)", 0.579825},
      {u"=BETADIST(0.9,30,20)", 0.999999984305454},
      {u"=BETAINV(0.3,1,4)", 0.08530878077130555},
      {u"=BETAINV(0.3,1,4,2,6)", 2.341235123085222},
      {u"=BETAINV(BETADIST(0.37,3,7),3,7)", 0.37},
      {u"=GAMMADIST(10.00001131,9,2,TRUE)", 0.06809400386978748},
      {u"=GAMMADIST(10.00001131,9,2,FALSE)", 0.032639130418294},
      {u"=GAMMADIST(3,0.5,2,TRUE)", 0.9167354833364496},
      {u"=GAMMAINV(0.4,1,3)", 1.5324768712979722},
      {u"=GAMMAINV(0.06809400386978748,9,2)", 10.00001131},
      {u"=GAMMALN(0.5)", 0.5723649429247},
      {u"=GAMMALN(4)", 1.791759469228055},
      {u"=GAMMALN(101)", 363.7393755555636},
  });
  EXPECT_EQ(number(u"=BETAINV(1,2,3,10,20)"), 20);
  expectError(u"=BETAINV(0,2,3)", ErrorCode::Num);
  expectError(u"=BETADIST(4,2,3,1,3)", ErrorCode::Num);
  expectError(u"=GAMMADIST(0,0.5,1,FALSE)", ErrorCode::Num); // infinite density
  expectError(u"=GAMMALN(0)", ErrorCode::Num);
  expectError(u"=GAMMAINV(1,2,2)", ErrorCode::NA);
}

// Exact rational arithmetic (Python fractions and integers).
TEST_F(StatTest, DiscreteDistributions) {
  expectNumbers({
      {u"=BINOMDIST(6,10,0.5,FALSE)", 0.205078125},
      {u"=BINOMDIST(3,12,0.25,TRUE)", 0.6487786173820496},
      {u"=BINOMDIST(500,1000,0.5,FALSE)", 0.0252250181783608},
      {u"=BINOMDIST(480,1000,0.5,TRUE)", 0.10872414660207047},
      {u"=BINOMDIST(0,5,0,FALSE)", 1},
      {u"=NEGBINOMDIST(10,5,0.25)", 0.05504866037517786},
      {u"=HYPGEOMDIST(1,4,8,20)", 0.3632610939112487},
      {u"=HYPGEOMDIST(40,100,300,1000)", 0.006931507413834179},
      {u"=POISSON(2,5,FALSE)", 0.08422433748856833},
      {u"=POISSON(2,5,TRUE)", 0.12465201948308113},
      {u"=POISSON(120,100,TRUE)", 0.9773306709216474},
      {u"=CRITBINOM(6,0.5,0.75)", 4},
      {u"=CRITBINOM(1000,0.5,0.1)", 480},
      {u"=PERMUT(100,3)", 970200},
      {u"=PERMUT(5,0)", 1},
  });
  expectError(u"=BINOMDIST(11,10,0.5,FALSE)", ErrorCode::Num);
  expectError(u"=HYPGEOMDIST(5,4,8,20)", ErrorCode::Num);
  expectError(u"=POISSON(1,-1,TRUE)", ErrorCode::Num);
  expectError(u"=PERMUT(3,5)", ErrorCode::Num);
  expectError(u"=PERMUT(1E+300,1E+300)", ErrorCode::Num); // overflows, never loops long
}

// Closed forms in Python; the FISHER pair is an inverse round trip.
TEST_F(StatTest, SimpleClosedForms) {
  expectNumbers({
      {u"=WEIBULL(105,20,100,TRUE)", 0.9295813900692769},
      {u"=WEIBULL(105,20,100,FALSE)", 0.03558886402450434},
      {u"=EXPONDIST(0.2,10,TRUE)", 0.8646647167633873},
      {u"=EXPONDIST(0.2,10,FALSE)", 10 * std::exp(-2.0)},
      {u"=FISHER(0.75)", 0.9729550745276566},
      {u"=FISHERINV(0.9729550745276566)", 0.75},
  });
  expectError(u"=FISHER(1)", ErrorCode::Num);
  expectError(u"=EXPONDIST(-1,1,TRUE)", ErrorCode::Num);
}

// Worked examples of public documentation, to their printed digits.
TEST_F(StatTest, ClassicalTests) {
  expectNumbers({
      {u"=ZTEST({3,6,7,8,6,5,4,2,1,9},4)", 0.090574, 1e-5},
      {u"=TTEST({3,4,5,8,9,1,2,4,5},{6,19,3,2,14,4,5,17,1},2,1)", 0.196016, 1e-5},
      {u"=FTEST({6,7,9,15,21},{20,28,31,38,40})", 0.648318, 1e-5},
      {u"=CHITEST({58,35;11,25;10,23},{45.35,47.65;17.56,18.44;16.09,16.91})", 0.000308, 1e-6},
      {u"=PROB({0,1,2,3},{0.2,0.3,0.1,0.4},2)", 0.1},
      {u"=PROB({0,1,2,3},{0.2,0.3,0.1,0.4},1,3)", 0.8},
      // Equal-variance t with 4 degrees of freedom: t = -sqrt(13.5), from the
      // df = 4 closed form of the t tail (Python).
      {u"=TTEST({1,2,3},{4,5,6},2,2)", 0.02131164112875672},
  });
  expectError(u"=PROB({0,1},{0.5,0.4},0)", ErrorCode::Num);
  expectError(u"=TTEST({1,2},{3,4},3,1)", ErrorCode::Num);
  expectError(u"=CHITEST({1,2},{1,0})", ErrorCode::Div0);
}

// The names later versions give table functions compute as those do; the
// values are the published worked examples.
TEST_F(StatTest, LaterVersionNames) {
  expectNumbers({
      {u"=NORM.DIST(42,40,1.5,TRUE)", 0.908788780274132, 1e-9},
      {u"=NORM.INV(0.908789,40,1.5)", 42.000002, 1e-6},
      {u"=NORM.S.INV(0.908789)", 1.3333347, 1e-6},
      {u"=STDEV.S(1,2,3,4)", 1.29099444873581, 1e-12},
      {u"=STDEV.P(1,2,3,4)", 1.11803398874989, 1e-12},
      {u"=VAR.S(1,2,3,4)", 5.0 / 3.0, 1e-12},
      {u"=VAR.P(1,2,3,4)", 1.25, 1e-12},
      {u"=MODE.SNGL(1,2,2,3)", 2, 0},
      {u"=PERCENTILE.INC({1,2,3,4},0.5)", 2.5, 1e-12},
      {u"=QUARTILE.INC({1,2,3,4},1)", 1.75, 1e-12},
      {u"=CHISQ.DIST.RT(18.307,10)", 0.0500006, 1e-7},
      {u"=F.DIST.RT(15.2069,6,4)", 0.01, 1e-5},
      {u"=BINOM.DIST(6,10,0.5,FALSE)", 0.205078125, 1e-12},
      {u"=POISSON.DIST(2,5,FALSE)", 0.0842243374, 1e-9},
      {u"=EXPON.DIST(0.2,10,TRUE)", 0.864664716763387, 1e-12},
      {u"=GAMMA.DIST(10.00001131,9,2,FALSE)", 0.032639, 1e-6},
      {u"=LOGNORM.INV(0.039084,3.5,1.2)", 4.0000252, 1e-6},
      {u"=WEIBULL.DIST(105,20,100,TRUE)", 0.929581, 1e-6},
      {u"=COVARIANCE.P({3,2,4,5,6},{9,7,12,15,17})", 5.2, 1e-12},
      {u"=CONFIDENCE.NORM(0.05,2.5,50)", 0.692951912, 1e-9},
      // New argument lists.
      {u"=NORM.S.DIST(1,TRUE)", 0.841344746068543, 1e-12},
      {u"=NORM.S.DIST(1,FALSE)", 0.241970724519143, 1e-12},
      {u"=NORM.S.DIST(0,FALSE)", 0.398942280401433, 1e-12},
      {u"=T.DIST.2T(1.959999998,60)", 0.054644930, 1e-8},
      {u"=T.DIST.RT(1.959999998,60)", 0.027322465, 1e-8},
      {u"=T.DIST.RT(-1.959999998,60)", 1 - 0.027322465, 1e-8},
      {u"=T.DIST.RT(0,5)", 0.5, 1e-12},
  });
  column("A1", {u"7", u"3.5", u"3.5", u"1", u"2"});
  expectNumbers({{u"=RANK.EQ(3.5,A1:A5)", 2, 0}, {u"=RANK.EQ(7,A1:A5,1)", 5, 0}});
  expectError(u"=T.DIST.2T(-1,10)", ErrorCode::Num);
  expectError(u"=T.DIST.RT(1,0)", ErrorCode::Num);
  expectError(u"=NORM.S.DIST(\"x\",TRUE)", ErrorCode::Value);
}

} // namespace
} // namespace functions
