#include "functions/families.h"
#include "functions/function_test_util.h"

namespace functions {
namespace {

using testing::near;

class FinancialTest : public testing::FunctionTest {
protected:
  FinancialTest() : FunctionTest(registerFinancialFunctions) {}
};

struct Row {
  std::u16string_view formula;
  double expected;
  double relative; // the precision the source gives its figure with
};


#define CHECK_ROWS(...)                                                                            \
  for (const Row& row : std::initializer_list<Row>{__VA_ARGS__})                                   \
    EXPECT_TRUE(near(number(row.formula), row.expected, row.relative)) << platform::toUtf8(row.formula);

// Figures from the worked examples of the public spreadsheet function
// reference (Microsoft Support, one page per function), given there to the
// digits shown; dates are typed as serials (39508 is 1 March 2008).
TEST_F(FinancialTest, AnnuitiesAgreeWithPublishedExamples) {
  CHECK_ROWS(
      {u"=FV(0.06/12,10,-200,-500,1)", 2581.403374, 1e-9},
      {u"=PMT(0.08/12,10,10000)", -1037.03, 5e-6},
      {u"=PMT(0.06/12,18*12,0,50000)", -129.08, 5e-5},
      {u"=PV(0.08/12,12*20,500,,0)", -59777.15, 1e-7},
      {u"=NPER(0.12/12,-100,-1000,10000,1)", 59.6738657, 1e-8},
      {u"=NPER(0.12/12,-100,-1000)", -9.57859404, 1e-8},
      {u"=IPMT(0.1/12,1,3*12,8000)", -66.67, 1e-4},
      {u"=IPMT(0.1,3,3,8000)", -292.45, 5e-5},
      {u"=PPMT(0.1/12,1,2*12,2000)", -75.62, 1e-4},
      {u"=PPMT(0.08,10,10,200000)", -27598.05, 2e-7},
      {u"=ISPMT(0.1/12,1,3*12,8000000)", -64814.8, 1e-6},
      {u"=CUMIPMT(0.09/12,30*12,125000,13,24,0)", -11135.23213, 1e-9},
      {u"=CUMIPMT(0.09/12,30*12,125000,1,1,0)", -937.5, 1e-12},
      {u"=CUMPRINC(0.09/12,30*12,125000,13,24,0)", -934.1071234, 1e-9},
      {u"=CUMPRINC(0.09/12,30*12,125000,1,1,0)", -68.27827118, 1e-9},
      {u"=NPV(0.1,-10000,3000,4200,6800)", 1188.443412, 1e-9},
      {u"=IRR({-70000,12000,15000,18000,21000,26000})", 0.086630948, 1e-7},
      {u"=IRR({-70000,12000,15000,18000,21000})", -0.021244848, 1e-7},
      {u"=MIRR({-120000,39000,30000,21000,37000,46000},0.1,0.12)", 0.126094, 5e-6},
      {u"=XNPV(0.09,{-10000,2750,4250,3250,2750},{39448,39508,39751,39859,39904})", 2086.647602, 1e-9},
      {u"=XIRR({-10000,2750,4250,3250,2750},{39448,39508,39751,39859,39904},0.1)", 0.373362535, 1e-7},
      {u"=EFFECT(0.0525,4)", 0.053542667, 1e-8},
      {u"=NOMINAL(0.053543,4)", 0.05250032, 1e-7},
      {u"=DOLLARDE(1.02,16)", 1.125, 1e-12},
      {u"=DOLLARDE(1.1,32)", 1.3125, 1e-12},
      {u"=DOLLARFR(1.125,16)", 1.02, 1e-12},
      {u"=DOLLARFR(1.125,32)", 1.04, 1e-12},
      {u"=FVSCHEDULE(1,{0.09,0.11,0.1})", 1.33089, 1e-12});
}

TEST_F(FinancialTest, DepreciationAgreesWithPublishedExamples) {
  CHECK_ROWS(
      {u"=DB(1000000,100000,6,1,7)", 186083.33, 5e-8},
      {u"=DB(1000000,100000,6,2,7)", 259639.42, 5e-8},
      {u"=DB(1000000,100000,6,6,7)", 55841.76, 1e-7},
      {u"=DB(1000000,100000,6,7,7)", 15845.10, 5e-7},
      {u"=DB(10000,1000,5,1)", 3690, 1e-12}, // rate 1 - 0.1^(1/5) = 0.369 after rounding
      {u"=DDB(2400,300,10*365,1)", 1.32, 5e-3},
      {u"=DDB(2400,300,10*12,1,2)", 40, 1e-12},
      {u"=DDB(2400,300,10,1,2)", 480, 1e-12},
      {u"=DDB(2400,300,10,2,1.5)", 306, 1e-12},
      {u"=DDB(2400,300,10,10)", 22.12, 5e-4},
      {u"=SLN(30000,7500,10)", 2250, 1e-12},
      {u"=SYD(30000,7500,10,1)", 4090.91, 5e-6},
      {u"=SYD(30000,7500,10,10)", 409.09, 5e-5},
      {u"=VDB(2400,300,10*365,0,1)", 1.32, 5e-3},
      {u"=VDB(2400,300,10*12,0,1)", 40, 1e-12},
      {u"=VDB(2400,300,10,0,1)", 480, 1e-12},
      {u"=VDB(2400,300,10*12,6,18)", 396.31, 5e-5},
      {u"=VDB(2400,300,10*12,6,18,1.5)", 311.81, 5e-5},
      {u"=VDB(2400,300,10,0,0.875,1.5)", 315, 1e-12},
      {u"=AMORDEGRC(2400,39679,39813,300,1,0.15,1)", 776, 1e-12},
      {u"=AMORLINC(2400,39679,39813,300,1,0.15,1)", 360, 1e-12});
}

TEST_F(FinancialTest, SecuritiesAgreeWithPublishedExamples) {
  CHECK_ROWS(
      {u"=ACCRINT(39508,39691,39569,0.1,1000,2,0)", 16.66666667, 1e-9},
      {u"=ACCRINTM(39539,39614,0.1,1000,3)", 20.54794521, 1e-9},
      {u"=COUPDAYBS(40568,40862,2,1)", 71, 0},
      {u"=COUPDAYS(40568,40862,2,1)", 181, 0},
      {u"=COUPDAYSNC(40568,40862,2,1)", 110, 0},
      {u"=COUPNCD(40568,40862,2,1)", 40678, 0},
      {u"=COUPNUM(40568,40862,2,1)", 2, 0},
      {u"=COUPPCD(40568,40862,2,1)", 40497, 0},
      {u"=DISC(43125,43266,97.975,100,1)", 0.052420213, 1e-8},
      {u"=DURATION(43282,54058,0.08,0.09,2,1)", 10.9191453, 1e-8},
      {u"=MDURATION(39448,42370,0.08,0.09,2,1)", 5.73567, 1e-6},
      {u"=INTRATE(39493,39583,1000000,1014420,2)", 0.05768, 1e-9},
      {u"=ODDFPRICE(39763,44256,39736,39873,0.0785,0.0625,100,2,1)", 113.5977, 1e-6},
      {u"=ODDFYIELD(39763,44256,39736,39873,0.0575,84.5,100,2,0)", 0.0772, 1e-3},
      {u"=ODDLPRICE(39485,39614,39370,0.0375,0.0405,100,2,0)", 99.87829, 1e-7},
      {u"=ODDLYIELD(39558,39614,39440,0.0375,99.875,100,2,0)", 0.045192, 1e-5},
      {u"=PRICE(39493,43054,0.0575,0.065,100,2,0)", 94.63436, 1e-7},
      {u"=PRICEDISC(39494,39508,0.0525,100,2)", 99.79583333, 1e-9},
      {u"=PRICEMAT(39493,39551,39397,0.061,0.061,0)", 99.98449888, 1e-9},
      {u"=RECEIVED(39493,39583,1000000,0.0575,2)", 1014584.654, 1e-9},
      {u"=TBILLEQ(39538,39600,0.0914)", 0.094151494, 1e-8},
      {u"=TBILLPRICE(39538,39600,0.09)", 98.45, 1e-12},
      {u"=TBILLYIELD(39538,39600,98.45)", 0.09141696, 1e-7},
      {u"=YIELD(39493,42689,0.0575,95.04287,100,2,0)", 0.065, 1e-6},
      {u"=YIELDDISC(39494,39508,99.795,100,2)", 0.052823, 1e-5},
      {u"=YIELDMAT(39522,39755,39394,0.0625,100.0123,0)", 0.060954, 1e-5});
}

// Roots found by bisection in python, independent of the solver here.
TEST_F(FinancialTest, SolversConvergeToIndependentRoots) {
  CHECK_ROWS(
      {u"=RATE(10,-100,800)", 0.042774978035111266, 1e-6},
      {u"=RATE(10.9,-100,800)", 0.042774978035111266, 1e-6},
      {u"=RATE(4*12,-200,8000)", 0.007701472488202439, 1e-6},
      {u"=IRR({-100,60,60})", 0.13066238629180738, 1e-6});
  // The rate found leaves the future value within the tolerance of zero.
  EXPECT_LT(std::fabs(number(u"=FV(RATE(10,-100,800),10,-100,800)")), 1e-7);
  // With one coupon left YIELD is the closed form, and prices back.
  const double y = number(u"=YIELD(39493,39583,0.0575,99,100,4,0)");
  EXPECT_TRUE(near(number(u"=PRICE(39493,39583,0.0575," + platform::fromUtf8(std::to_string(y)) +
                          u",100,4,0)"),
                   99, 1e-6));
}

TEST_F(FinancialTest, RateZeroUsesTheClosedForms) {
  CHECK_ROWS(
      {u"=FV(0,10,-100,-500)", 1500, 1e-12},
      {u"=FV(0,10,-100,-500,1)", 1500, 1e-12},
      {u"=PMT(0,10,1000)", -100, 1e-12},
      {u"=PMT(0,10,1000,200,1)", -120, 1e-12},
      {u"=PPMT(0,3,10,1000)", -100, 1e-12});
  EXPECT_EQ(number(u"=IPMT(0,3,10,1000)"), 0);
  EXPECT_LT(std::fabs(number(u"=RATE(10,-100,1000)")), 1e-6);
}

// Interleaved inflows and outflows: every value is discounted by its place
// among all values; the reference figure is the textbook definition worked
// in python: ((50 x 1.12^2 + 80) / (100 + 20 / 1.1^2))^(1/3) - 1.
TEST_F(FinancialTest, MirrUsesPositionsAmongAllValues) {
  EXPECT_TRUE(near(number(u"=MIRR({-100,50,-20,80},0.1,0.12)"), 0.06991768187517478, 1e-12));
}

TEST_F(FinancialTest, CashFlowsComeFromReferences) {
  set("A1", u"-100");
  set("A2", u"60");
  set("A3", u"text");
  set("A4", u"60");
  EXPECT_TRUE(near(number(u"=IRR(A1:A4)"), 0.13066238629180738, 1e-6));
  EXPECT_TRUE(near(number(u"=NPV(0.1,A1:A4)"), -100 / 1.1 + 60 / 1.21 + 60 / 1.331, 1e-12));
  set("A3", u"=1/0");
  EXPECT_EQ(show(eval(u"=IRR(A1:A4)")), "#DIV/0!");
  EXPECT_EQ(show(eval(u"=NPV(0.1,A1:A4)")), "#DIV/0!");
}

TEST_F(FinancialTest, Dates1904AreShiftedIntoThe1900System) {
  book->date1904 = 1;
  // 40568 - 1462 is 25 January 2011 in the 1904 system.
  EXPECT_EQ(number(u"=COUPDAYBS(39106,39400,2,1)"), 71);
  EXPECT_EQ(number(u"=COUPNCD(39106,39400,2,1)"), 40678 - 1462);
}

// Values and dates pair by position: a blank on either side is no pair to
// drop but an error, so blanks at different places cannot shift the dates.
TEST_F(FinancialTest, DatedFlowsPairByPosition) {
  const char* flows[][2] = {{"-10000", "39448"}, {"2750", "39508"}, {"4250", "39751"},
                            {"3250", "39859"},   {"2750", "39904"}};
  for (int r = 0; r < 5; ++r) {
    set("A" + std::to_string(r + 1), platform::fromUtf8(flows[r][0]));
    set("B" + std::to_string(r + 1), platform::fromUtf8(flows[r][1]));
  }
  // The published example, from references.
  EXPECT_NEAR(number(u"=XNPV(0.09,A1:A5,B1:B5)"), 2086.647602, 1e-6);
  EXPECT_NEAR(number(u"=XIRR(A1:A5,B1:B5)"), 0.373362535, 1e-7);
  // A blank value in row 3 and a blank date in row 4 used to pair 3250
  // with the date of row 3's 4250.
  set("A6", u"1000");
  set("B6", u"40000");
  set("A3", u"");
  set("B4", u"");
  EXPECT_EQ(show(eval(u"=XNPV(0.09,A1:A6,B1:B6)")), "#VALUE!");
  EXPECT_EQ(show(eval(u"=XIRR(A1:A6,B1:B6)")), "#VALUE!");
  set("A3", u"4250");
  set("B4", u"'39859"); // a date given as text
  EXPECT_EQ(show(eval(u"=XNPV(0.09,A1:A6,B1:B6)")), "#VALUE!");
  set("B4", u"=NA()");
  EXPECT_EQ(show(eval(u"=XIRR(A1:A6,B1:B6)")), "#N/A");
  EXPECT_EQ(show(eval(u"=XNPV(0.09,A1:A6,B1:B5)")), "#NUM!"); // six values, five dates
}

TEST_F(FinancialTest, ErrorsForBadArguments) {
  const std::pair<std::u16string_view, std::string_view> rows[] = {
      {u"=PV(0,10,-100)", "#NUM!"},
      {u"=NPER(0,-100,1000)", "#DIV/0!"},
      {u"=IRR({100,60})", "#NUM!"},
      {u"=XIRR({-100,50,60},{39448,39400,39600})", "#NUM!"},
      {u"=XIRR({-100,50},{39448})", "#NUM!"},
      {u"=MIRR({1,2,3},0.1,0.1)", "#DIV/0!"},
      {u"=DB(100,10,0,1)", "#NUM!"},
      {u"=DB(100,10,5,7)", "#NUM!"},
      {u"=DDB(100,10,5,6)", "#NUM!"},
      {u"=SLN(1,1,0)", "#DIV/0!"},
      {u"=VDB(1,0,1E300,0,1E300)", "#NUM!"},
      {u"=IPMT(0.1,0,10,100)", "#NUM!"},
      {u"=PMT(0.1,0,100)", "#NUM!"},
      {u"=FV(1E10,1E10,1)", "#NUM!"},
      {u"=RATE(10,100,800)", "#NUM!"},
      {u"=COUPNUM(40568,40862,3,1)", "#NUM!"},
      {u"=COUPNUM(40568,40862,2,5)", "#NUM!"},
      {u"=COUPNUM(40862,40568,2,1)", "#NUM!"},
      {u"=PRICE(39493,43054,-0.1,0.065,100,2,0)", "#NUM!"},
      {u"=YIELD(39493,43054,0.0575,0,100,2,0)", "#NUM!"},
      {u"=AMORDEGRC(2400,39679,39813,300,1,0.15,2)", "#NUM!"},
      {u"=TBILLPRICE(39538,40000,0.09)", "#NUM!"},
      {u"=DOLLARDE(1.02,0)", "#DIV/0!"},
      {u"=EFFECT(-1,4)", "#NUM!"},
      {u"=CUMIPMT(0.01,10,100,5,4,0)", "#NUM!"},
      {u"=ODDLPRICE(39485,39614,39500,0.0375,0.0405,100,2,0)", "#NUM!"},
      {u"=ODDFPRICE(39763,44256,39873,39736,0.0785,0.0625,100,2,1)", "#NUM!"},
      {u"=CUMIPMT(0.01,1E15,100,1,1E15,0)", "#NUM!"},
  };
  for (const auto& [formula, expected] : rows)
    EXPECT_EQ(show(eval(formula)), expected) << platform::toUtf8(formula);
}

// Spans of centuries and lives of astronomical length answer at once.
TEST_F(FinancialTest, LongSpansStayBounded) {
  EXPECT_EQ(number(u"=DB(100,10,1E300,1E12)"), 0); // the rate rounds to 0.000
  EXPECT_GT(number(u"=ACCRINT(400,2958000,2958465,0.1,1000,4,0)"), 800000);
  EXPECT_GT(number(u"=PRICE(400,2958465,0.05,0.06,100,4,0)"), 0);
  EXPECT_TRUE(near(number(u"=YIELD(400,2958465,0.05,100,100,4,0)"), 0.05, 1e-6));
  // An "odd" first period that is exactly one regular period (22 September
  // 1903 to 1904, maturity 22 September 9998) prices as the regular bond.
  EXPECT_TRUE(near(number(u"=ODDFPRICE(1500,2958000,1361,1727,0.05,0.06,100,1,1)"),
                   number(u"=PRICE(1500,2958000,0.05,0.06,100,1,1)"), 1e-12));
}

} // namespace
} // namespace functions
