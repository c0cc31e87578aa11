// The mathematics and trigonometry family (category 3, and the
// math add-ins). Where expected values are not exact by construction they
// come from closed forms or from 40-digit mpmath computations (noted at the
// test), or from the published examples of the functions' documentation.

#include "formula/function_table.h"
#include "formula/reader.h"
#include "functions/families.h"
#include "functions/function_test_util.h"
#include "model/sheet.h"

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

namespace functions {
void seedRandomGenerator(std::uint32_t seed); // math.cpp
} // namespace functions

namespace functions::testing {
namespace {

using std::numbers::pi;

class MathTest : public FunctionTest {
protected:
  MathTest() : FunctionTest(registerMathFunctions) {}

  CellValue err(ErrorCode c) { return CellValue::error(c); }
  CellValue value(std::u16string_view f) { return eval(f); }

  /// Evaluates in array mode and keeps arrays (as an array formula would).
  CellValue arrayValue(std::u16string_view f) {
    formula::EvalContext ctx{book, 0, 999, 25};
    ctx.arrayMode = true;
    return formula::evaluateSpan(f, 0, f.size(), ctx);
  }

  std::string text(std::u16string_view f) {
    const CellValue v = eval(f);
    EXPECT_TRUE(v.isString()) << show(v);
    return v.isString() ? platform::toUtf8(v.stringValue()) : std::string();
  }
};

#define EXPECT_ERR(formula, code)                                                                  \
  EXPECT_EQ(show(value(formula)), show(CellValue::error(ErrorCode::code)))                         \
      << platform::toUtf8(formula)

// ---------------------------------------------------------------- table

TEST_F(MathTest, EveryCategory3EntryHasAHandler) {
  // The engine's own SUM and ABS, and this family's; COUNTIF and SUMIF
  // belong to the criteria family and are the only ones left.
  const formula::FunctionEntry *countif = formula::findFunction(u"COUNTIF");
  ASSERT_NE(countif, nullptr);
  const formula::FunctionHandler unavailable = formula::handlerOf(*countif);
  std::vector<std::string> missing;
  auto check = [&](const formula::FunctionEntry &e) {
    if (!e.computes)
      return;
    const bool math =
        formula::category(e) == formula::FunctionCategory::MathTrig || e.name == u"FACTDOUBLE";
    if (math && formula::handlerOf(e) == unavailable)
      missing.push_back(platform::toUtf8(e.name));
  };
  for (const auto &e : formula::builtinFunctions())
    check(e);
  for (const auto &e : formula::addInFunctions())
    check(e);
  EXPECT_EQ(missing, (std::vector<std::string>{"COUNTIF", "SUMIF"}));
}

// ---------------------------------------------------------------- edge cases

TEST_F(MathTest, SumEdgeCasesOfThePart) {
  set("A1", u"1");
  set("A2", u"text");
  set("A3", u"TRUE");
  EXPECT_EQ(number(u"=SUM(A1:A3)"), 1);
  set("A2", u"=NA()");
  EXPECT_ERR(u"=SUM(A1:A3)", NA);
  EXPECT_EQ(number(u"=SUM(\"3\",4)"), 7);
  EXPECT_ERR(u"=SUM(x,4)", Name);
}

TEST_F(MathTest, RoundAndModOfThePart) {
  EXPECT_EQ(number(u"=ROUND(2.5,0)"), 3);
  EXPECT_EQ(number(u"=ROUND(-2.5,0)"), -3);
  EXPECT_EQ(number(u"=MOD(-1,3)"), 2);
  EXPECT_ERR(u"=MOD(1,0)", Div0);
}

TEST_F(MathTest, SubtotalOfThePart) {
  for (int r = 1; r <= 10; ++r)
    set("A" + std::to_string(r), std::u16string(u"1") + (r == 10 ? u"0" : u""));
  // A1:A9 hold 1, A10 holds 10; A5 becomes a SUBTOTAL formula.
  set("A5", u"=SUBTOTAL(9,A1:A4)");
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A10)"), 18);      // the SUBTOTAL cell is skipped
  model::setRowHeightPoints(book->sheet(0), 1, 2, 0); // hide rows 2 and 3
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A10)"), 18);      // no AutoFilter: hidden rows count
  book->sheet(0).flags |= model::kSheetAutoFilter;
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A10)"), 16);
  EXPECT_ERR(u"=SUBTOTAL(12,A1)", Value);
  EXPECT_ERR(u"=SUBTOTAL(7,A1)", Div0);
}

// ---------------------------------------------------------------- rounding

// Over many values of each sign and size, ROUND gives the double nearest
// the decimal answer: k/1000 to two places is k/10 rounded half away from
// zero, hundredths; k to minus two places is k/100 so rounded, hundreds;
// and k/1000 times 1E20 to minus 18 places keeps its digits in the hundreds
// of the exponent's range.
TEST_F(MathTest, RoundGivesTheNearestDoubleToTheDecimalAnswer) {
  const auto halfAway = [](long long n, long long d) {
    const long long q = (std::llabs(n) * 2 + d) / (2 * d);
    return n < 0 ? -q : q;
  };
  const auto nearest = [](long long q, int exponent) {
    return std::strtod((std::to_string(q) + "e" + std::to_string(exponent)).c_str(), nullptr);
  };
  for (long long k = -2000003; k <= 2000003; k += 9973) {
    const std::u16string n = platform::fromUtf8(std::to_string(k));
    SCOPED_TRACE(k);
    EXPECT_EQ(number(u"=ROUND(" + n + u"/1000,2)"), nearest(halfAway(k, 10), -2));
    EXPECT_EQ(number(u"=ROUND(" + n + u",-2)"), nearest(halfAway(k, 100), 2));
    EXPECT_EQ(number(u"=ROUND(" + n + u"/1000*1E20,-18)"), nearest(halfAway(k, 10), 18));
  }
}

TEST_F(MathTest, RoundIsDecimalCorrect) {
  // The binary doubles nearest 2.675 and 1.005 lie just below them; the
  // 15-digit decimal form the user sees is what is rounded.
  EXPECT_EQ(number(u"=ROUND(2.675,2)"), 2.68);
  EXPECT_EQ(number(u"=ROUND(1.005,2)"), 1.01);
  EXPECT_EQ(number(u"=ROUND(-1.005,2)"), -1.01);
  EXPECT_EQ(number(u"=ROUND(1.0049999999,2)"), 1);
  EXPECT_EQ(number(u"=ROUND(0.285,2)"), 0.29);
  EXPECT_EQ(number(u"=ROUND(1234.5678,-2)"), 1200);
  EXPECT_EQ(number(u"=ROUND(1250,-2)"), 1300);
  EXPECT_EQ(number(u"=ROUND(-1250,-2)"), -1300);
  EXPECT_EQ(number(u"=ROUND(49,-2)"), 0);
  EXPECT_EQ(number(u"=ROUND(50,-2)"), 100);
  EXPECT_EQ(number(u"=ROUND(0.1+0.2,15)"), 0.3);
  EXPECT_EQ(number(u"=ROUND(3.14159,2.9)"), 3.14); // digits truncated
  EXPECT_EQ(number(u"=ROUND(123.456,400)"), 123.456);
  EXPECT_EQ(number(u"=ROUND(123.456,-400)"), 0);
  EXPECT_EQ(number(u"=ROUND(0,2)"), 0);
  EXPECT_EQ(number(u"=ROUND(1E-300,300)"), 1e-300);
  EXPECT_EQ(number(u"=ROUND(5E-301,300)"), 1e-300);
  EXPECT_EQ(number(u"=ROUND(4.5E-301,300)"), 0);
  EXPECT_EQ(number(u"=ROUND(9007199254740993,0)"), 9007199254740992.0); // integers stay
  EXPECT_EQ(number(u"=ROUND(123456789012345678,-5)"), 123456789012300000.0);
  EXPECT_EQ(number(u"=ROUND(1E+300,-301)"), 0);
  EXPECT_EQ(number(u"=ROUND(6E+300,-301)"), 1e301);
}

TEST_F(MathTest, RoundUpDownTruncInt) {
  EXPECT_EQ(number(u"=ROUNDUP(3.2,0)"), 4);
  EXPECT_EQ(number(u"=ROUNDUP(-3.2,0)"), -4);
  EXPECT_EQ(number(u"=ROUNDUP(3.2)"), 4); // optional digits: 0
  EXPECT_EQ(number(u"=ROUNDUP(31415.92654,-2)"), 31500);
  EXPECT_EQ(number(u"=ROUNDUP(0.1+0.2,1)"), 0.3); // binary doubles would give 0.4
  EXPECT_EQ(number(u"=ROUNDUP(3,0)"), 3);
  EXPECT_EQ(number(u"=ROUNDUP(1E-20,2)"), 0.01);
  EXPECT_EQ(number(u"=ROUNDDOWN(3.9,0)"), 3);
  EXPECT_EQ(number(u"=ROUNDDOWN(-3.9)"), -3);
  EXPECT_EQ(number(u"=ROUNDDOWN(3.14159,3)"), 3.141);
  EXPECT_EQ(number(u"=ROUNDDOWN(4.35*100,0)"), 435); // 434.99999999999994 shows as 435
  EXPECT_EQ(number(u"=ROUNDDOWN(31415.92654,-2)"), 31400);
  EXPECT_EQ(number(u"=TRUNC(8.9)"), 8);
  EXPECT_EQ(number(u"=TRUNC(-8.9)"), -8);
  EXPECT_EQ(number(u"=TRUNC(0.123456,3)"), 0.123);
  EXPECT_EQ(number(u"=TRUNC(1.15*100)"), 115);
  EXPECT_EQ(number(u"=INT(8.9)"), 8);
  EXPECT_EQ(number(u"=INT(-8.9)"), -9);
  EXPECT_EQ(number(u"=INT(-0.5)"), -1);
  EXPECT_EQ(number(u"=INT(-3)"), -3);
  EXPECT_EQ(number(u"=INT((0.1+0.7)*10)"), 8); // 7.999999999999999 shows as 8
  EXPECT_EQ(number(u"=INT(1E+300)"), 1e300);
  EXPECT_EQ(number(u"=INT(4503599627370495.5)"), 4503599627370495.0);
  EXPECT_EQ(number(u"=INT(-4503599627370495.5)"), -4503599627370496.0);
  EXPECT_EQ(number(u"=ROUND(4503599627370495.5,0)"), 4503599627370496.0);
  EXPECT_EQ(number(u"=ROUND(1125899906842624.125,2)"),
            1125899906842624.125); // 2^50 + 1/8: no change
  EXPECT_EQ(number(u"=ROUND(1125899906842624.125,1)"),
            1125899906842624.0); // .1 rounds down; nearest double
}

TEST_F(MathTest, CeilingFloorMround) {
  EXPECT_EQ(number(u"=CEILING(2.5,1)"), 3);
  EXPECT_EQ(number(u"=CEILING(-2.5,-2)"), -4);
  EXPECT_ERR(u"=CEILING(-2.5,2)", Num);
  EXPECT_EQ(number(u"=CEILING(1.5,0.1)"), 1.5);
  EXPECT_EQ(number(u"=CEILING(0.234,0.01)"), 0.24);
  EXPECT_EQ(number(u"=CEILING(0.3,0.1)"), 0.3); // binary: 0.30000000000000004
  EXPECT_EQ(number(u"=CEILING(4.42,0.05)"), 4.45);
  EXPECT_EQ(number(u"=CEILING(5,0)"), 0);
  EXPECT_EQ(number(u"=CEILING(0,3)"), 0);
  EXPECT_EQ(number(u"=FLOOR(2.5,1)"), 2);
  EXPECT_EQ(number(u"=FLOOR(-2.5,-2)"), -2);
  EXPECT_ERR(u"=FLOOR(-2.5,2)", Num);
  EXPECT_ERR(u"=FLOOR(1,0)", Div0);
  EXPECT_EQ(number(u"=FLOOR(0,0)"), 0);
  EXPECT_EQ(number(u"=FLOOR(0.3,0.1)"), 0.3); // binary: 0.2
  EXPECT_EQ(number(u"=FLOOR(1.58,0.1)"), 1.5);
  EXPECT_EQ(number(u"=FLOOR(0.234,0.01)"), 0.23);
  EXPECT_EQ(number(u"=MROUND(10,3)"), 9);
  EXPECT_EQ(number(u"=MROUND(-10,-3)"), -9);
  EXPECT_EQ(number(u"=MROUND(1.3,0.2)"), 1.4);
  EXPECT_EQ(number(u"=MROUND(7.5,5)"), 10);     // halves away from zero
  EXPECT_EQ(number(u"=MROUND(0.15,0.1)"), 0.2); // binary: 0.1
  EXPECT_ERR(u"=MROUND(5,-2)", Num);
  EXPECT_EQ(number(u"=MROUND(5,0)"), 0);
  // Operands too far apart for decimal alignment use binary arithmetic.
  EXPECT_EQ(number(u"=CEILING(1E+30,1E-10)"), 1e30);
}

TEST_F(MathTest, EvenOdd) {
  EXPECT_EQ(number(u"=EVEN(1.5)"), 2);
  EXPECT_EQ(number(u"=EVEN(3)"), 4);
  EXPECT_EQ(number(u"=EVEN(2)"), 2);
  EXPECT_EQ(number(u"=EVEN(-1)"), -2);
  EXPECT_EQ(number(u"=EVEN(0)"), 0);
  EXPECT_EQ(number(u"=EVEN(0.1+0.2+1.7)"), 2); // 2.0000000000000004 shows as 2
  EXPECT_EQ(number(u"=ODD(1.5)"), 3);
  EXPECT_EQ(number(u"=ODD(3)"), 3);
  EXPECT_EQ(number(u"=ODD(2)"), 3);
  EXPECT_EQ(number(u"=ODD(-1)"), -1);
  EXPECT_EQ(number(u"=ODD(-2.5)"), -3);
  EXPECT_EQ(number(u"=ODD(0)"), 1);
  EXPECT_EQ(number(u"=EVEN(1E+20)"), 1e20);
}

TEST_F(MathTest, ModTakesTheSignOfTheDivisor) {
  EXPECT_EQ(number(u"=MOD(3,2)"), 1);
  EXPECT_EQ(number(u"=MOD(-3,2)"), 1);
  EXPECT_EQ(number(u"=MOD(3,-2)"), -1);
  EXPECT_EQ(number(u"=MOD(-3,-2)"), -1);
  EXPECT_EQ(number(u"=MOD(6,3)"), 0);
  EXPECT_EQ(number(u"=MOD(5.3,1)"), 0.3);
  EXPECT_EQ(number(u"=MOD(1000000.3,1)"), 0.3); // binary: 0.29999999993015826
  EXPECT_EQ(number(u"=MOD(-0.3,0.1)"), 0);
  EXPECT_EQ(number(u"=MOD(2.5,0.5)"), 0);
  EXPECT_EQ(number(u"=MOD(10,0.1)"), 0);
  EXPECT_EQ(number(u"=MOD(-1.5,1)"), 0.5);
  EXPECT_EQ(number(u"=MOD(1E+20,3)"), 1); // 10^20 = 3 x 33...3 + 1
  EXPECT_EQ(number(u"=MOD(1E-300,1)"), 1e-300);
  const double far = number(u"=MOD(-1E+30,7E-10)");
  EXPECT_GE(far, 0);
  EXPECT_LT(far, 7e-10);
}

TEST_F(MathTest, Quotient) {
  EXPECT_EQ(number(u"=QUOTIENT(5,2)"), 2);
  EXPECT_EQ(number(u"=QUOTIENT(-5,2)"), -2);
  EXPECT_EQ(number(u"=QUOTIENT(4.5,3.1)"), 1);
  EXPECT_EQ(number(u"=QUOTIENT(0.3,0.1)"), 3);
  EXPECT_ERR(u"=QUOTIENT(1,0)", Div0);
}

// ---------------------------------------------------------------- powers, logs, trig

TEST_F(MathTest, PowersAndLogarithms) {
  EXPECT_EQ(number(u"=POWER(2,10)"), 1024);
  EXPECT_EQ(number(u"=POWER(-8,3)"), -512);
  EXPECT_EQ(number(u"=POWER(4,0.5)"), 2);
  EXPECT_ERR(u"=POWER(0,0)", Num);
  EXPECT_ERR(u"=POWER(0,-1)", Div0);
  EXPECT_ERR(u"=POWER(-8,1/3)", Num);
  EXPECT_ERR(u"=POWER(10,400)", Num);
  EXPECT_EQ(number(u"=SQRT(16)"), 4);
  EXPECT_ERR(u"=SQRT(-1)", Num);
  EXPECT_TRUE(near(number(u"=SQRTPI(1)"), 1.772453850905516027)); // sqrt(pi), mpmath
  EXPECT_TRUE(near(number(u"=SQRTPI(2)"), 2.506628274631000502)); // sqrt(2 pi), mpmath
  EXPECT_ERR(u"=SQRTPI(-1)", Num);
  EXPECT_EQ(number(u"=EXP(0)"), 1);
  EXPECT_TRUE(near(number(u"=EXP(1)"), std::numbers::e, 1e-15));
  EXPECT_ERR(u"=EXP(1000)", Num);
  EXPECT_EQ(number(u"=LN(1)"), 0);
  EXPECT_TRUE(near(number(u"=LN(EXP(3))"), 3, 1e-15));
  EXPECT_ERR(u"=LN(0)", Num);
  EXPECT_ERR(u"=LN(-1)", Num);
  EXPECT_EQ(number(u"=LOG(1000)"), 3);
  EXPECT_EQ(number(u"=LOG(8,2)"), 3);
  EXPECT_EQ(number(u"=LOG(125,5)"), 3); // exactly, not 3.0000000000000004
  EXPECT_EQ(number(u"=LOG(1/9,3)"), -2);
  EXPECT_TRUE(near(number(u"=LOG(10,3)"), 2.095903274289384947)); // ln 10 / ln 3, mpmath
  EXPECT_ERR(u"=LOG(10,1)", Div0);
  EXPECT_ERR(u"=LOG(-1)", Num);
  EXPECT_ERR(u"=LOG(10,0)", Num);
  EXPECT_ERR(u"=LOG(10,-2)", Num);
  EXPECT_EQ(number(u"=LOG10(0.001)"), -3);
  EXPECT_EQ(number(u"=LOG10(1E+100)"), 100);
  EXPECT_ERR(u"=LOG10(0)", Num);
}

TEST_F(MathTest, Trigonometry) {
  EXPECT_TRUE(near(number(u"=PI()"), 3.14159265358979323846, 1e-16));
  EXPECT_TRUE(near(number(u"=SIN(PI()/6)"), 0.5, 1e-15));
  EXPECT_EQ(number(u"=COS(0)"), 1);
  EXPECT_TRUE(near(number(u"=TAN(PI()/4)"), 1, 1e-15));
  EXPECT_TRUE(near(number(u"=ASIN(-1)"), -pi / 2, 1e-16));
  EXPECT_TRUE(near(number(u"=ACOS(-1)"), pi, 1e-16));
  EXPECT_ERR(u"=ACOS(1.0001)", Num);
  EXPECT_ERR(u"=ASIN(-2)", Num);
  EXPECT_TRUE(near(number(u"=ATAN(1)"), pi / 4, 1e-16));
  EXPECT_TRUE(near(number(u"=ATAN2(1,1)"), pi / 4, 1e-16));
  EXPECT_TRUE(near(number(u"=ATAN2(-1,0)"), pi, 1e-16)); // the point (-1, 0)
  EXPECT_TRUE(near(number(u"=ATAN2(0,-1)"), -pi / 2, 1e-16));
  EXPECT_ERR(u"=ATAN2(0,0)", Div0);
  EXPECT_EQ(number(u"=DEGREES(PI())"), 180);
  EXPECT_EQ(number(u"=RADIANS(180)"), pi);
  EXPECT_TRUE(near(number(u"=DEGREES(RADIANS(37))"), 37, 1e-15));
  EXPECT_EQ(number(u"=SIGN(-2)"), -1);
  EXPECT_EQ(number(u"=SIGN(0)"), 0);
  EXPECT_EQ(number(u"=SIGN(0.001)"), 1);
}

TEST_F(MathTest, Hyperbolic) {
  // Expected values: mpmath at 40 digits.
  EXPECT_EQ(number(u"=COSH(0)"), 1);
  EXPECT_TRUE(near(number(u"=SINH(1)"), 1.175201193643801456882));
  EXPECT_TRUE(near(number(u"=TANH(0.5)"), 0.462117157260009758502));
  EXPECT_TRUE(near(number(u"=ASINH(1)"), 0.881373587019543025232));
  EXPECT_TRUE(near(number(u"=ATANH(0.5)"), 0.549306144334054845697));
  EXPECT_EQ(number(u"=ACOSH(1)"), 0);
  EXPECT_ERR(u"=ACOSH(0.5)", Num);
  EXPECT_ERR(u"=ATANH(1)", Num);
  EXPECT_ERR(u"=ATANH(-1.5)", Num);
  EXPECT_ERR(u"=COSH(1000)", Num);
  EXPECT_EQ(number(u"=TANH(1000)"), 1);
}

// ---------------------------------------------------------------- factorials

TEST_F(MathTest, FactorialsAndCombinations) {
  EXPECT_EQ(number(u"=FACT(5)"), 120);
  EXPECT_EQ(number(u"=FACT(5.9)"), 120);
  EXPECT_EQ(number(u"=FACT(0)"), 1);
  EXPECT_EQ(number(u"=FACT(20)"), 2432902008176640000.0);
  EXPECT_TRUE(near(number(u"=FACT(170)"), 7.257415615307998967e306, 1e-15)); // mpmath
  EXPECT_ERR(u"=FACT(171)", Num);
  EXPECT_ERR(u"=FACT(-1)", Num);
  EXPECT_ERR(u"=FACT(1E+100)", Num);
  EXPECT_EQ(number(u"=FACTDOUBLE(6)"), 48);
  EXPECT_EQ(number(u"=FACTDOUBLE(7)"), 105);
  EXPECT_EQ(number(u"=FACTDOUBLE(0)"), 1);
  EXPECT_EQ(number(u"=FACTDOUBLE(1)"), 1);
  EXPECT_EQ(number(u"=FACTDOUBLE(20)"), 3715891200.0);
  EXPECT_ERR(u"=FACTDOUBLE(-1)", Num);
  EXPECT_ERR(u"=FACTDOUBLE(400)", Num);
  EXPECT_EQ(number(u"=COMBIN(8,2)"), 28);
  EXPECT_EQ(number(u"=COMBIN(8,0)"), 1);
  EXPECT_EQ(number(u"=COMBIN(8,8)"), 1);
  EXPECT_EQ(number(u"=COMBIN(8.9,2.9)"), 28);
  EXPECT_EQ(number(u"=COMBIN(60,30)"), 118264581564861424.0);                       // exact integer
  EXPECT_TRUE(near(number(u"=COMBIN(1000,500)"), 2.702882409454365695e299, 1e-13)); // mpmath
  EXPECT_ERR(u"=COMBIN(2000,1000)", Num);
  EXPECT_ERR(u"=COMBIN(4,5)", Num);
  EXPECT_ERR(u"=COMBIN(-1,0)", Num);
  EXPECT_ERR(u"=COMBIN(4,-1)", Num);
  EXPECT_EQ(number(u"=MULTINOMIAL(2,3,4)"), 1260);
  EXPECT_EQ(number(u"=MULTINOMIAL(0)"), 1);
  EXPECT_EQ(number(u"=MULTINOMIAL(5)"), 1);
  EXPECT_TRUE(
      near(number(u"=MULTINOMIAL(100,100)"), 9.054851465610328117e58, 1e-13)); // C(200,100), mpmath
  EXPECT_ERR(u"=MULTINOMIAL(-1,2)", Num);
  EXPECT_ERR(u"=MULTINOMIAL(1000,1000)", Num);
}

TEST_F(MathTest, GcdLcm) {
  EXPECT_EQ(number(u"=GCD(5,2)"), 1);
  EXPECT_EQ(number(u"=GCD(24,36)"), 12);
  EXPECT_EQ(number(u"=GCD(24.9,36)"), 12);
  EXPECT_EQ(number(u"=GCD(5,0)"), 5);
  EXPECT_EQ(number(u"=GCD(0,0)"), 0);
  EXPECT_ERR(u"=GCD(-1,2)", Num);
  EXPECT_ERR(u"=GCD(9007199254740992,2)", Num);
  EXPECT_EQ(number(u"=LCM(5,2)"), 10);
  EXPECT_EQ(number(u"=LCM(24,36)"), 72);
  EXPECT_EQ(number(u"=LCM(3,0)"), 0);
  EXPECT_EQ(number(u"=LCM(1,2,3,4,5,6,7,8,9,10)"), 2520);
  EXPECT_ERR(u"=LCM(-1,2)", Num);
  set("A1", u"12");
  set("A2", u"x");
  set("A3", u"18");
  EXPECT_EQ(number(u"=GCD(A1:A3)"), 6); // referenced text is skipped
  EXPECT_EQ(number(u"=LCM(A1:A3,5)"), 180);
  set("A2", u"=1/0");
  EXPECT_ERR(u"=GCD(A1:A3)", Div0);
}

// ---------------------------------------------------------------- lists and arrays

TEST_F(MathTest, ProductAndSumsq) {
  EXPECT_EQ(number(u"=PRODUCT(2,3,4)"), 24);
  EXPECT_EQ(number(u"=PRODUCT(\"2\",3)"), 6); // direct text converts
  EXPECT_EQ(number(u"=PRODUCT(TRUE,3)"), 3);  // direct booleans convert
  EXPECT_ERR(u"=PRODUCT(\"x\",3)", Value);
  set("A1", u"2");
  set("A2", u"text");
  set("A3", u"TRUE");
  set("A4", u"5");
  EXPECT_EQ(number(u"=PRODUCT(A1:A4)"), 10); // referenced text and booleans skipped
  EXPECT_EQ(number(u"=PRODUCT(B1:B10)"), 0); // nothing gathered
  EXPECT_EQ(number(u"=PRODUCT({2,\"a\";3,4})"), 24);
  EXPECT_ERR(u"=PRODUCT(A1:A4,1/0)", Div0);
  EXPECT_ERR(u"=PRODUCT(1E+200,1E+200)", Num);
  EXPECT_EQ(number(u"=SUMSQ(3,4)"), 25);
  EXPECT_EQ(number(u"=SUMSQ(\"3\",TRUE)"), 10);
  EXPECT_EQ(number(u"=SUMSQ(A1:A4)"), 29);
  EXPECT_EQ(number(u"=SUMSQ(B1:B3)"), 0);
  set("A2", u"=NA()");
  EXPECT_ERR(u"=SUMSQ(A1:A4)", NA);
}

TEST_F(MathTest, Sumproduct) {
  EXPECT_EQ(number(u"=SUMPRODUCT({1,2,3},{4,5,6})"), 32);
  EXPECT_EQ(number(u"=SUMPRODUCT({1,2;3,4})"), 10);
  EXPECT_EQ(number(u"=SUMPRODUCT(2,3)"), 6);
  set("A1", u"1");
  set("A2", u"text");
  set("A3", u"3");
  set("B1", u"2");
  set("B2", u"2");
  set("B3", u"TRUE"); // non-numbers count 0
  EXPECT_EQ(number(u"=SUMPRODUCT(A1:A3,B1:B3)"), 2);
  EXPECT_EQ(number(u"=SUMPRODUCT(A1:A3)"), 4);
  EXPECT_ERR(u"=SUMPRODUCT(A1:A3,B1:B2)", Value);
  EXPECT_ERR(u"=SUMPRODUCT({1,2},{1;2})", Value);
  set("B2", u"=NA()");
  EXPECT_ERR(u"=SUMPRODUCT(A1:A3,B1:B3)", NA);
  EXPECT_ERR(u"=SUMPRODUCT(\"a\")", Value);
}

// Whole columns: 65,536 rows are one array, never an empty one.
TEST_F(MathTest, SumproductOverWholeColumns) {
  set("A1", u"1");
  set("A2", u"2");
  set("A3", u"3");
  set("B1", u"4");
  set("B2", u"5");
  set("B3", u"x");
  set("A65536", u"10");
  set("B65536", u"10");
  EXPECT_EQ(number(u"=SUMPRODUCT(A1:A65536,B1:B65536)"), 4 + 10 + 100);
  EXPECT_EQ(number(u"=SUMPRODUCT(A1:B65536,A1:B65536)"), 1 + 4 + 9 + 16 + 25 + 100 + 100);
  EXPECT_EQ(number(u"=SUMPRODUCT((A1:A65536>1)*A1:A65536)"), 2 + 3 + 10);
  EXPECT_EQ(number(u"=SUMPRODUCT(A1:A65536*1)"), 16);
  EXPECT_ERR(u"=SUMPRODUCT(A1:A65536,B1:B65535)", Value);
  set("B40000", u"=1/0");
  EXPECT_ERR(u"=SUMPRODUCT(A1:A65536,B1:B65536)", Div0);
}

// Arrays of different sizes lifted through one call: the smallest array
// shapes the result, so no element of a larger one is left unconverted.
TEST_F(MathTest, LiftingIsShapedByTheSmallestArray) {
  EXPECT_NEAR(number(u"=SUMPRODUCT(ROUND({1.25,2.25,3.25},{1,1}))"), 1.3 + 2.3, 1e-12);
  EXPECT_NEAR(number(u"=SUMPRODUCT(ROUND({1.25,2.25,3.25},{1,0}))"), 1.3 + 2, 1e-12);
  EXPECT_NEAR(number(u"=SUMPRODUCT(ROUND({1.25,2.25},{1,0,1}))"), 1.3 + 2, 1e-12);
}

TEST_F(MathTest, SumOfSquaresOfPairs) {
  // Published examples: -55, 521 and 79.
  EXPECT_EQ(number(u"=SUMX2MY2({2,3,9,1,8,7,5},{6,5,11,7,5,4,4})"), -55);
  EXPECT_EQ(number(u"=SUMX2PY2({2,3,9,1,8,7,5},{6,5,11,7,5,4,4})"), 521);
  EXPECT_EQ(number(u"=SUMXMY2({2,3,9,1,8,7,5},{6,5,11,7,5,4,4})"), 79);
  // The shapes may differ when the counts agree; non-numbers drop their pair.
  set("A1", u"1");
  set("A2", u"x");
  set("A3", u"3");
  EXPECT_EQ(number(u"=SUMXMY2(A1:A3,{2,5,7})"), 1 + 16);
  EXPECT_ERR(u"=SUMXMY2(A1:A3,{2,5})", NA);
  EXPECT_ERR(u"=SUMX2MY2({1,#DIV/0!},{1,2})", Div0);
  // Not one pair of numbers: #DIV/0!, as other programs saved it.
  const char16_t* kNoPairs[] = {u"=SUMX2PY2(B1:B3,C1:C3)", u"=SUMX2MY2(A2,{1})",
                                u"=SUMXMY2({\"1\",TRUE},{1,2})"};
  for (const char16_t* f : kNoPairs)
    EXPECT_ERR(f, Div0);
  // Compensated summation: large terms that cancel leave the small ones.
  EXPECT_EQ(number(u"=SUMX2MY2({1E+10,1,1E+10},{1E+10,0,1E+10})"), 1);
}

TEST_F(MathTest, Seriessum) {
  // Published example: the first terms of cos(pi/4); value from mpmath.
  EXPECT_TRUE(near(
      number(u"=SERIESSUM(PI()/4,0,2,{1,-0.5,0.041666666666666666667,-0.0013888888888888888889})"),
      0.70710321482284565400, 1e-12));
  EXPECT_EQ(number(u"=SERIESSUM(2,1,1,{1,1,1})"), 2 + 4 + 8);
  set("A1", u"1");
  set("A2", u"2");
  EXPECT_EQ(number(u"=SERIESSUM(3,0,1,A1:A2)"), 1 + 6);
  EXPECT_ERR(u"=SERIESSUM(3,0,1,A1:A3)", Value); // a blank coefficient
  EXPECT_ERR(u"=SERIESSUM(0,-1,1,{1,2})", Div0);
}

TEST_F(MathTest, Mdeterm) {
  EXPECT_EQ(number(u"=MDETERM({1,3,8,5;1,3,6,1;1,1,1,0;7,3,10,2})"), 88); // published example
  EXPECT_EQ(number(u"=MDETERM({3,6;1,1})"), -3);
  EXPECT_EQ(number(u"=MDETERM({5})"), 5);
  EXPECT_EQ(number(u"=MDETERM({1,2,3;4,5,6;7,8,9})"), 0); // singular
  EXPECT_EQ(number(u"=MDETERM({1,2;2,4})"), 0);
  EXPECT_EQ(number(u"=MDETERM({0,0;0,0})"), 0);
  // Non-integer: det = 0.5 x 0.3 - 0.2 x 0.1 = 0.13.
  EXPECT_TRUE(near(number(u"=MDETERM({0.5,0.2;0.1,0.3})"), 0.13, 1e-15));
  // A well-scaled but tiny matrix is not singular.
  EXPECT_TRUE(near(number(u"=MDETERM({1E-20,0;0,1E-20})"), 1e-40, 1e-15));
  EXPECT_ERR(u"=MDETERM({1,2,3;4,5,6})", Value);
  set("A1", u"1");
  set("B2", u"1");
  EXPECT_ERR(u"=MDETERM(A1:B2)", Value); // blanks
  set("A2", u"0");
  set("B1", u"=1/0");
  EXPECT_ERR(u"=MDETERM(A1:B2)", Div0);
  set("B1", u"0");
  EXPECT_EQ(number(u"=MDETERM(A1:B2)"), 1);
}

TEST_F(MathTest, MinverseAndMmult) {
  const CellValue inv = arrayValue(u"=MINVERSE({4,-1;2,0})");
  ASSERT_TRUE(inv.isArray()) << show(inv);
  EXPECT_EQ(inv.arrayRows(), 2);
  EXPECT_EQ(inv.arrayItem(0, 0).numberValue(), 0);
  EXPECT_EQ(inv.arrayItem(0, 1).numberValue(), 0.5);
  EXPECT_EQ(inv.arrayItem(1, 0).numberValue(), -1);
  EXPECT_EQ(inv.arrayItem(1, 1).numberValue(), 2);
  // A x A^-1 is the identity (to rounding).
  const CellValue id = arrayValue(u"=MMULT({1,2,3;0,1,4;5,6,0},MINVERSE({1,2,3;0,1,4;5,6,0}))");
  ASSERT_TRUE(id.isArray()) << show(id);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_TRUE(near(id.arrayItem(i, j).numberValue(), i == j ? 1 : 0, 1e-14)) << i << "," << j;
  const CellValue inv3 = arrayValue(u"=MINVERSE({1,2,3;0,1,4;5,6,0})");
  // Closed form: the inverse is {-24,18,5;20,-15,-4;-5,4,1}.
  EXPECT_TRUE(near(inv3.arrayItem(0, 0).numberValue(), -24, 1e-14));
  EXPECT_TRUE(near(inv3.arrayItem(2, 1).numberValue(), 4, 1e-14));
  EXPECT_ERR(u"=MINVERSE({1,2;2,4})", Num);
  EXPECT_ERR(u"=MINVERSE({1,2,3})", Value);
  const CellValue p = arrayValue(u"=MMULT({1,2;3,4},{5;6})");
  ASSERT_TRUE(p.isArray()) << show(p);
  EXPECT_EQ(p.arrayRows(), 2);
  EXPECT_EQ(p.arrayColumns(), 1);
  EXPECT_EQ(p.arrayItem(0, 0).numberValue(), 17);
  EXPECT_EQ(p.arrayItem(1, 0).numberValue(), 39);
  EXPECT_ERR(u"=MMULT({1,2;3,4},{5,6})", Value);
  EXPECT_ERR(u"=MMULT({1,\"a\"},{1;2})", Value);
  // In an ordinary cell the first element shows.
  EXPECT_EQ(number(u"=MMULT({1,2;3,4},{5;6})"), 17);
}

// ---------------------------------------------------------------- ROMAN

TEST_F(MathTest, Roman) {
  // Published examples for 499 in the five forms.
  EXPECT_EQ(text(u"=ROMAN(499,0)"), "CDXCIX");
  EXPECT_EQ(text(u"=ROMAN(499,1)"), "LDVLIV");
  EXPECT_EQ(text(u"=ROMAN(499,2)"), "XDIX");
  EXPECT_EQ(text(u"=ROMAN(499,3)"), "VDIV");
  EXPECT_EQ(text(u"=ROMAN(499,4)"), "ID");
  EXPECT_EQ(text(u"=ROMAN(499)"), "CDXCIX");
  EXPECT_EQ(text(u"=ROMAN(499,TRUE)"), "CDXCIX");
  EXPECT_EQ(text(u"=ROMAN(499,FALSE)"), "ID");
  EXPECT_EQ(text(u"=ROMAN(1999)"), "MCMXCIX");
  EXPECT_EQ(text(u"=ROMAN(1999,4)"), "MIM");
  EXPECT_EQ(text(u"=ROMAN(3999)"), "MMMCMXCIX");
  EXPECT_EQ(text(u"=ROMAN(2024)"), "MMXXIV");
  EXPECT_EQ(text(u"=ROMAN(4.9)"), "IV");
  EXPECT_EQ(text(u"=ROMAN(0)"), "");
  EXPECT_ERR(u"=ROMAN(4000)", Value);
  EXPECT_ERR(u"=ROMAN(-1)", Value);
  EXPECT_ERR(u"=ROMAN(10,5)", Value);
  EXPECT_ERR(u"=ROMAN(10,-1)", Value);
  EXPECT_EQ(text(u"=ROMAN(499,\"2\")"), "XDIX");
  EXPECT_ERR(u"=ROMAN(10,1/0)", Div0);
}

// ---------------------------------------------------------------- SUBTOTAL

class SubtotalTest : public MathTest {
protected:
  SubtotalTest() {
    // A1:A6 = 2, 4, text, 4, 5, 7 (A3 is text)
    set("A1", u"2");
    set("A2", u"4");
    set("A3", u"text");
    set("A4", u"4");
    set("A5", u"5");
    set("A6", u"7");
  }
};

TEST_F(SubtotalTest, EveryFunctionNumber) {
  // Mean 4.4 of {2,4,4,5,7}; squared deviations 5.76+0.16+0.16+0.36+6.76 = 13.2.
  EXPECT_TRUE(near(number(u"=SUBTOTAL(1,A1:A6)"), 4.4, 1e-15));
  EXPECT_EQ(number(u"=SUBTOTAL(2,A1:A6)"), 5);
  EXPECT_EQ(number(u"=SUBTOTAL(3,A1:A6)"), 6);
  EXPECT_EQ(number(u"=SUBTOTAL(4,A1:A6)"), 7);
  EXPECT_EQ(number(u"=SUBTOTAL(5,A1:A6)"), 2);
  EXPECT_EQ(number(u"=SUBTOTAL(6,A1:A6)"), 1120);
  EXPECT_TRUE(near(number(u"=SUBTOTAL(7,A1:A6)"), std::sqrt(13.2 / 4), 1e-15));
  EXPECT_TRUE(near(number(u"=SUBTOTAL(8,A1:A6)"), std::sqrt(13.2 / 5), 1e-15));
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A6)"), 22);
  EXPECT_TRUE(near(number(u"=SUBTOTAL(10,A1:A6)"), 3.3, 1e-15));
  EXPECT_TRUE(near(number(u"=SUBTOTAL(11,A1:A6)"), 2.64, 1e-15));
  EXPECT_EQ(number(u"=SUBTOTAL(9.9,A1:A6)"), 22);  // truncated
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A2,A5)"), 11); // several references
  EXPECT_EQ(number(u"=SUBTOTAL(9,(A1,A6))"), 9);   // a multi-area reference
}

TEST_F(SubtotalTest, OutOfRangeFunctionNumbers) {
  EXPECT_ERR(u"=SUBTOTAL(0,A1:A6)", Value);
  EXPECT_ERR(u"=SUBTOTAL(12,A1:A6)", Value);
  EXPECT_ERR(u"=SUBTOTAL(109,A1:A6)", Value); // only the 1-11 forms exist
  EXPECT_ERR(u"=SUBTOTAL(-1,A1:A6)", Value);
  EXPECT_ERR(u"=SUBTOTAL(9,5)", Ref); // C: a reference is required
}

TEST_F(SubtotalTest, EmptyRanges) {
  EXPECT_ERR(u"=SUBTOTAL(1,B1:B5)", Div0);
  EXPECT_EQ(number(u"=SUBTOTAL(2,B1:B5)"), 0);
  EXPECT_EQ(number(u"=SUBTOTAL(3,B1:B5)"), 0);
  EXPECT_EQ(number(u"=SUBTOTAL(4,B1:B5)"), 0);
  EXPECT_EQ(number(u"=SUBTOTAL(5,B1:B5)"), 0);
  EXPECT_EQ(number(u"=SUBTOTAL(6,B1:B5)"), 0);
  EXPECT_ERR(u"=SUBTOTAL(7,B1:B5)", Div0);
  EXPECT_ERR(u"=SUBTOTAL(8,B1:B5)", Div0);
  EXPECT_EQ(number(u"=SUBTOTAL(9,B1:B5)"), 0);
  EXPECT_ERR(u"=SUBTOTAL(10,A1)", Div0);
  EXPECT_EQ(number(u"=SUBTOTAL(11,A1)"), 0);
}

TEST_F(SubtotalTest, ErrorsStopTheGathering) {
  set("A3", u"=NA()");
  for (int f = 1; f <= 9; ++f)
    EXPECT_ERR(u"=SUBTOTAL(" + std::u16string(1, static_cast<char16_t>(u'0' + f)) + u",A1:A6)", NA)
        << f;
  EXPECT_ERR(u"=SUBTOTAL(10,A1:A6)", NA);
  EXPECT_ERR(u"=SUBTOTAL(11,A1:A6)", NA);
}

TEST_F(SubtotalTest, NestedSubtotalsAndHiddenRows) {
  set("A7", u"=SUBTOTAL(9,A1:A6)");
  set("A8", u"=subtotal(3,A1:A6)");
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A8)"), 22);
  EXPECT_EQ(number(u"=SUBTOTAL(3,A1:A8)"), 6);
  model::setRowHeightPoints(book->sheet(0), 5, 5, 0); // hide row 6 (A6 = 7)
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A8)"), 22);       // no AutoFilter
  book->sheet(0).flags |= model::kSheetAutoFilter;
  EXPECT_EQ(number(u"=SUBTOTAL(9,A1:A8)"), 15);
  EXPECT_EQ(number(u"=SUBTOTAL(3,A1:A8)"), 5);
  EXPECT_EQ(number(u"=SUBTOTAL(4,A1:A8)"), 5);
  // SUM is not SUBTOTAL: it sees every row and every cell.
  EXPECT_EQ(number(u"=SUM(A1:A6)"), 22);
}

TEST_F(MathTest, SubtotalVarianceIsStableWithALargeOffset) {
  // {1e9+1, 1e9+2, 1e9+3} has sample variance exactly 1; the one-pass
  // form loses every digit to cancellation here.
  set("A1", u"1000000001");
  set("A2", u"1000000002");
  set("A3", u"1000000003");
  EXPECT_EQ(number(u"=SUBTOTAL(10,A1:A3)"), 1);
  EXPECT_EQ(number(u"=SUBTOTAL(7,A1:A3)"), 1);
  EXPECT_TRUE(near(number(u"=SUBTOTAL(11,A1:A3)"), 2.0 / 3, 1e-15));
  set("A1", u"0.1");
  set("A2", u"0.1");
  set("A3", u"0.1");
  EXPECT_EQ(number(u"=SUBTOTAL(10,A1:A3)"), 0); // never negative or NaN
}

// ---------------------------------------------------------------- RAND

/// The generator's recurrence, written out independently.
struct Lcg {
  std::uint32_t state;
  int draw() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 32767u);
  }
};

/// The seed whose next draw is `draw` with the low 16 bits of the new state zero.
std::uint32_t seedForDraw(int draw) {
  std::uint32_t inverse = 214013u; // Newton's iteration for the inverse modulo 2^32
  for (int i = 0; i < 5; ++i)
    inverse *= 2u - 214013u * inverse;
  const std::uint32_t target = static_cast<std::uint32_t>(draw) << 16;
  return (target - 2531011u) * inverse;
}

TEST_F(MathTest, RandFollowsThePartsGenerator) {
  seedRandomGenerator(12345);
  Lcg g{12345};
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(number(u"=RAND()"), g.draw() / 32767.0);
  // The sequence goes on across workbooks: one generator per run.
  model::WorkbookList others;
  ASSERT_TRUE(others.new_workbook(nullptr));
  formula::EvalContext ctx{others.active(), 0, 0, 0};
  EXPECT_EQ(formula::evaluateFormula(u"=RAND()", ctx).numberValue(), g.draw() / 32767.0);
  EXPECT_EQ(number(u"=RAND()"), g.draw() / 32767.0);
}

TEST_F(MathTest, TwoStartsInDifferentSecondsGiveDifferentSequences) {
  // Seeds are the start time in seconds since 1970.
  std::vector<double> a, b;
  seedRandomGenerator(1710498600); // 2024-03-15 10:30:00
  for (int i = 0; i < 5; ++i)
    a.push_back(number(u"=RAND()"));
  seedRandomGenerator(1710498601);
  for (int i = 0; i < 5; ++i)
    b.push_back(number(u"=RAND()"));
  EXPECT_NE(a, b);
}

TEST_F(MathTest, TheLargestDrawStaysInRange) {
  ASSERT_EQ(Lcg{seedForDraw(32767)}.draw(), 32767);
  seedRandomGenerator(seedForDraw(32767));
  EXPECT_EQ(number(u"=RAND()"), 1); // draw/32767: 0 and 1 are both possible
  seedRandomGenerator(seedForDraw(32767));
  EXPECT_EQ(number(u"=RANDBETWEEN(1,6)"), 6);
  seedRandomGenerator(seedForDraw(32767));
  EXPECT_EQ(number(u"=RANDBETWEEN(-3,-3)"), -3);
  seedRandomGenerator(seedForDraw(0));
  EXPECT_EQ(number(u"=RANDBETWEEN(1,6)"), 1);
  seedRandomGenerator(seedForDraw(0));
  EXPECT_EQ(number(u"=RAND()"), 0);
}

TEST_F(MathTest, RandbetweenCoversItsRangeEvenly) {
  seedRandomGenerator(42);
  int counts[6] = {};
  for (int i = 0; i < 6000; ++i) {
    const double r = number(u"=RANDBETWEEN(1.9,6.9)"); // truncated to 1..6
    ASSERT_GE(r, 1);
    ASSERT_LE(r, 6);
    ASSERT_EQ(r, std::floor(r));
    ++counts[static_cast<int>(r) - 1];
  }
  for (int c : counts)
    EXPECT_GT(c, 850);
  EXPECT_ERR(u"=RANDBETWEEN(5,4)", Num);
  EXPECT_EQ(number(u"=RANDBETWEEN(7,7)"), 7);
}

// ---------------------------------------------------------------- argument conventions

TEST_F(MathTest, ArgumentConversionByLetter) {
  EXPECT_EQ(number(u"=SQRT(\"16\")"), 4); // N: direct text converts
  EXPECT_EQ(number(u"=SQRT(TRUE)"), 1);   // N: booleans 0/1
  EXPECT_ERR(u"=SQRT(\"abc\")", Value);
  EXPECT_ERR(u"=SQRT(1/0)", Div0); // errors short-circuit
  set("A1", u"25");
  set("A2", u"abc");
  EXPECT_EQ(number(u"=SQRT(A1)"), 5);
  EXPECT_TRUE(value(u"=SQRT(A2)").isError()); // referenced text that does not read
  EXPECT_EQ(number(u"=ROUND(A3,1)"), 0);      // a blank cell is 0
  // Lifting over arrays in array mode; the first element otherwise.
  const CellValue roots = arrayValue(u"=SQRT({4,9})");
  ASSERT_TRUE(roots.isArray());
  EXPECT_EQ(roots.arrayItem(0, 1).numberValue(), 3);
  EXPECT_EQ(number(u"=SQRT({4,9})"), 2);
  const CellValue rounded = arrayValue(u"=ROUND({1.25,2.675},{1,2})");
  ASSERT_TRUE(rounded.isArray());
  EXPECT_EQ(rounded.arrayItem(0, 0).numberValue(), 1.3);
  EXPECT_EQ(rounded.arrayItem(0, 1).numberValue(), 2.68);
}

} // namespace
} // namespace functions::testing
