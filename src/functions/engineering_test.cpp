#include "functions/convert_units.h"
#include "functions/families.h"
#include "functions/function_test_util.h"

#include <cmath>
#include <numbers>
#include <span>
#include <string>

namespace functions {
namespace {

using model::CellValue;
using model::ErrorCode;
using platform::toUtf8;

class EngineeringTest : public functions::testing::FunctionTest {
protected:
  EngineeringTest() : FunctionTest(registerEngineeringFunctions) {}

  struct NumberRow {
    std::u16string_view formula;
    double expected;
  };
  struct TextRow {
    std::u16string_view formula;
    std::u16string_view expected;
  };
  struct ErrorRow {
    std::u16string_view formula;
    ErrorCode expected;
  };

  void checkNumbers(std::span<const NumberRow> rows, double relative = 1e-9) {
    for (const NumberRow &r : rows)
      EXPECT_TRUE(testing::near(number(r.formula), r.expected, relative)) << toUtf8(r.formula);
  }
  void checkTexts(std::span<const TextRow> rows) {
    for (const TextRow &r : rows)
      EXPECT_EQ(show(eval(r.formula)), "\"" + toUtf8(r.expected) + "\"") << toUtf8(r.formula);
  }
  void checkErrors(std::span<const ErrorRow> rows) {
    for (const ErrorRow &r : rows)
      EXPECT_EQ(eval(r.formula), CellValue::error(r.expected)) << toUtf8(r.formula);
  }
};

// ---- CONVERT ----

TEST(ConvertUnits, CategoriesStandTogetherInOrder) {
  // Entries per category: prefixed units count 17 (16 prefixes and the bare unit).
  constexpr int kPerCategory[10] = {
      2 * 17 + 3, // g, u; ozm, lbm, sg
      2 * 17 + 6, // m, ang; Pica, in, ft, yd, mi, Nmi
      17 + 4,     // sec; mn, hr, day, yr
      3 * 17,     // Pa, mmHg, atm
      2 * 17 + 1, // N, dyn; lbf
      6 * 17 + 3, // J, e, c, cal, eV, Wh; flb, BTU, HPh
      1 + 17,     // HP; W
      2 * 17,     // T, ga
      3,          // C, F, K
      7 + 17,     // tsp ... gal; l
  };
  int index = 0;
  for (int category = 0; category < 10; ++category)
    for (int k = 0; k < kPerCategory[category]; ++k, ++index)
      ASSERT_EQ(kConvertUnits[index].category, category) << index;
  EXPECT_EQ(index, 368);
  EXPECT_EQ(kConvertUnits[0].name, u"Eg");
  EXPECT_EQ(kConvertUnits[8].name, u"g");
  EXPECT_EQ(kConvertUnits[16].name, u"ag");
  EXPECT_EQ(kConvertUnits[367].name, u"al");
  for (size_t i = 0; i < std::size(kConvertUnits); ++i)
    for (size_t j = i + 1; j < std::size(kConvertUnits); ++j)
      EXPECT_NE(kConvertUnits[i].name, kConvertUnits[j].name) << i << " " << j;
}

TEST_F(EngineeringTest, ConvertEveryCategory) {
  // Expected values are the unit definitions worked by hand.
  const NumberRow rows[] = {
      {uR"(=CONVERT(1,"lbm","kg"))", 0.4535923097},
      {uR"(=CONVERT(2,"ozm","g"))", 56.69903042},
      {uR"(=CONVERT(1,"sg","lbm"))", 14593.84242 / 453.5923097},
      {uR"(=CONVERT(1,"u","ag"))", 1.66053e-6},
      {uR"(=CONVERT(1,"mi","ft"))", 5280},
      {uR"(=CONVERT(1,"Nmi","km"))", 1.852},
      {uR"(=CONVERT(1,"em","m"))", 10},
      {uR"(=CONVERT(5,"ang","nm"))", 0.5},
      {uR"(=CONVERT(1,"in","Pica"))", 0.0254 / 0.000352778},
      {uR"(=CONVERT(1,"day","hr"))", 24},
      {uR"(=CONVERT(1,"yr","day"))", 365.25},
      {uR"(=CONVERT(1500,"msec","sec"))", 1.5},
      {uR"(=CONVERT(1,"atm","kPa"))", 101.3249966},
      {uR"(=CONVERT(760,"mmHg","atm"))", 760 * 133.3223639 / 101324.9966},
      {uR"(=CONVERT(1,"kmmHg","mmHg"))", 1000},
      {uR"(=CONVERT(1,"N","dyn"))", 1e5},
      {uR"(=CONVERT(1,"lbf","N"))", 4.448222},
      {uR"(=CONVERT(1,"BTU","J"))", 1055.058138},
      {uR"(=CONVERT(1,"ee","J"))", 1e-6},
      {uR"(=CONVERT(1,"kWh","J"))", 3599998.206},
      {uR"(=CONVERT(1,"kcal","c"))", 4186.794846 / 4.183991014},
      {uR"(=CONVERT(1,"HPh","Wh"))", 2684517.413 / 3599.998206},
      {uR"(=CONVERT(1,"GeV","J"))", 1.60219e-10},
      {uR"(=CONVERT(1,"HP","W"))", 1 / 0.00134102},
      {uR"(=CONVERT(1,"kW","HP"))", 1.34102},
      {uR"(=CONVERT(1,"T","ga"))", 10000},
      {uR"(=CONVERT(1,"mT","uT"))", 1000},
      {uR"(=CONVERT(100,"C","F"))", 212},
      {uR"(=CONVERT(0,"C","K"))", 273.15},
      {uR"(=CONVERT(-40,"F","C"))", -40},
      {uR"(=CONVERT(98.6,"F","K"))", 310.15},
      {uR"(=CONVERT(1,"gal","qt"))", 4},
      {uR"(=CONVERT(1,"cup","tbs"))", 16},
      {uR"(=CONVERT(1,"l","ml"))", 1000},
      {uR"(=CONVERT(1,"l","tsp"))", 202.84},
      {uR"(=CONVERT(1,"kg","kg"))", 1},
  };
  checkNumbers(rows);
  // Exactly 212, not 211.99999998...: Fahrenheit's factor is 5/9 itself.
  EXPECT_EQ(number(uR"(=CONVERT(100,"C","F"))"), 212);
}

TEST_F(EngineeringTest, ConvertNeedsKnownUnitsOfOneCategory) {
  const ErrorRow rows[] = {
      {uR"(=CONVERT(1,"m","sec"))", ErrorCode::NA}, // different categories
      {uR"(=CONVERT(1,"M","m"))", ErrorCode::NA},   // names are case-sensitive
      {uR"(=CONVERT(1,"kft","m"))", ErrorCode::NA}, // ft takes no prefix
      {uR"(=CONVERT(1,"Km","m"))", ErrorCode::NA},  // prefixes too
      {uR"(=CONVERT(1,"","m"))", ErrorCode::NA},         {uR"(=CONVERT(1,"C","J"))", ErrorCode::NA},
      {uR"(=CONVERT(1E300,"Em","am"))", ErrorCode::Num}, // overflow is no number
  };
  checkErrors(rows);
}

// ---- number bases ----

TEST_F(EngineeringTest, BaseConversionsWriteDigits) {
  const TextRow rows[] = {
      {u"=DEC2BIN(-1)", u"1111111111"},
      {u"=DEC2BIN(5,8)", u"00000101"},
      {u"=DEC2BIN(5,1)", u"101"}, // too few places: the digits in full
      {u"=DEC2BIN(5.9)", u"101"},
      {u"=DEC2BIN(-0.5)", u"0"},
      {u"=DEC2BIN(-3,4)", u"1111111101"}, // negative ignores places
      {u"=DEC2BIN(511)", u"111111111"},
      {u"=DEC2BIN(-512)", u"1000000000"},
      {u"=DEC2OCT(536870911)", u"3777777777"},
      {u"=DEC2OCT(-536870912)", u"4000000000"},
      {u"=DEC2OCT(-100)", u"7777777634"},
      {u"=DEC2HEX(2147483647)", u"7FFFFFFF"},
      {u"=DEC2HEX(-2147483648)", u"FF80000000"},
      {u"=DEC2HEX(-1)", u"FFFFFFFFFF"},
      {u"=DEC2HEX(255,4)", u"00FF"},
      {u"=DEC2HEX(10,12)", u"00000000000A"},
      {u"=BIN2HEX(11111011,4)", u"00FB"},
      {u"=BIN2HEX(1111111111)", u"FFFFFFFFFF"},
      {u"=BIN2OCT(1111111111)", u"7777777777"},
      {u"=BIN2OCT(1001,3)", u"011"},
      {u"=OCT2BIN(7777777000)", u"1000000000"},
      {u"=OCT2BIN(3,3)", u"011"},
      {u"=OCT2HEX(7777777777)", u"FFFFFFFFFF"},
      {u"=OCT2HEX(100)", u"40"},
      {uR"(=HEX2BIN("FFFFFFFE00"))", u"1000000000"},
      {uR"(=HEX2BIN("f",8))", u"00001111"},
      {uR"(=HEX2OCT("FFFFFFFFFF"))", u"7777777777"},
      {uR"(=HEX2OCT("1FFFFFFF"))", u"3777777777"},
  };
  checkTexts(rows);
}

TEST_F(EngineeringTest, BaseConversionsReadDigits) {
  const NumberRow rows[] = {
      {u"=BIN2DEC(1100100)", 100},
      {u"=BIN2DEC(1111111111)", -1},
      {u"=BIN2DEC(1000000000)", -512},
      {u"=BIN2DEC(111111111)", 511},
      {u"=BIN2DEC(101.9)", 5},
      {u"=OCT2DEC(54)", 44},
      {u"=OCT2DEC(7777777533)", -165},
      {u"=OCT2DEC(3777777777)", 536870911},
      {u"=OCT2DEC(4000000000)", -536870912},
      {uR"(=HEX2DEC("A5"))", 165},
      {uR"(=HEX2DEC("ffffffff5b"))", -165},
      {uR"(=HEX2DEC("7FFFFFFFFF"))", 549755813887},
      {uR"(=HEX2DEC("8000000000"))", -549755813888},
      {uR"(=HEX2DEC("3DA408B9"))", 1034160313},
      {uR"(=HEX2DEC(""))", 0},
  };
  checkNumbers(rows, 0);
}

TEST_F(EngineeringTest, BaseConversionsRefuseBadInput) {
  const ErrorRow rows[] = {
      {u"=DEC2BIN(512)", ErrorCode::Num},
      {u"=DEC2BIN(-513)", ErrorCode::Num},
      {u"=DEC2BIN(5,-1)", ErrorCode::Num},
      {u"=DEC2BIN(5,11)", ErrorCode::Num},
      {u"=DEC2OCT(536870912)", ErrorCode::Num},
      {u"=DEC2HEX(2147483648)", ErrorCode::Num},
      {u"=DEC2HEX(-2147483649)", ErrorCode::Num},
      {u"=DEC2HEX(1E300)", ErrorCode::Num},
      {u"=DEC2HEX(1,1E9)", ErrorCode::Num}, // no text of a billion zeros
      {u"=BIN2DEC(12)", ErrorCode::Num},
      {u"=BIN2DEC(11111111111)", ErrorCode::Num}, // eleven digits
      {u"=BIN2DEC(-1)", ErrorCode::Num},
      {u"=OCT2DEC(8)", ErrorCode::Num},
      {u"=OCT2BIN(1000)", ErrorCode::Num}, // 512 does not fit ten bits
      {uR"(=HEX2DEC("G"))", ErrorCode::Num},
      {uR"(=HEX2DEC("12345678901"))", ErrorCode::Num},
      {uR"(=HEX2DEC(" 1"))", ErrorCode::Num},
      {uR"(=HEX2BIN("200"))", ErrorCode::Num},
      {uR"(=HEX2OCT("20000000"))", ErrorCode::Num},
  };
  checkErrors(rows);
}

TEST_F(EngineeringTest, BaseConversionsRoundTripAcrossTheirRange) {
  // Every value DEC2BIN can write comes back through BIN2DEC, HEX2BIN and OCT2BIN.
  for (int v = -512; v <= 511; ++v) {
    const std::u16string n = platform::fromUtf8(std::to_string(v));
    EXPECT_EQ(number(u"=BIN2DEC(DEC2BIN(" + n + u"))"), v);
    EXPECT_EQ(show(eval(u"=HEX2BIN(DEC2HEX(" + n + u"))")), show(eval(u"=DEC2BIN(" + n + u")")));
    EXPECT_EQ(show(eval(u"=OCT2BIN(DEC2OCT(" + n + u"))")), show(eval(u"=DEC2BIN(" + n + u")")));
  }
  const double limits[] = {-2147483648.0, -536870912, -536870911, -1, 0, 1, 536870911, 2147483647};
  for (double v : limits) {
    const std::u16string n = platform::fromUtf8(std::to_string(static_cast<long long>(v)));
    EXPECT_EQ(number(u"=HEX2DEC(DEC2HEX(" + n + u"))"), v);
    if (std::fabs(v) <= 536870912) {
      EXPECT_EQ(number(u"=OCT2DEC(DEC2OCT(" + n + u"))"), v);
    }
  }
}

// ---- complex numbers ----

TEST_F(EngineeringTest, ComplexTexts) {
  // Products, quotients and sums from public function documentation; the rest by hand.
  const TextRow rows[] = {
      {u"=COMPLEX(3,4)", u"3+4i"},
      {uR"(=COMPLEX(3,4,"j"))", u"3+4j"},
      {u"=COMPLEX(0,1)", u"i"},
      {u"=COMPLEX(0,-1)", u"-i"},
      {u"=COMPLEX(3,0)", u"3"},
      {u"=COMPLEX(0,0)", u"0"},
      {u"=COMPLEX(1.5,-2.5)", u"1.5-2.5i"},
      {u"=COMPLEX(1E20,1E-5)", u"1E+20+1E-05i"},
      {uR"(=IMCONJUGATE("3+4i"))", u"3-4i"},
      {uR"(=IMSUB("13+4j","5+3j"))", u"8+j"},
      {uR"(=IMSUM("3+4i","5-3i"))", u"8+i"},
      {uR"(=IMPRODUCT("3+4i","5-3i"))", u"27+11i"},
      {uR"(=IMPRODUCT("1+2i",30))", u"30+60i"},
      {uR"(=IMDIV("-238+240i","10+24i"))", u"5+12i"},
      {uR"(=IMPOWER("2+3i",3))", u"-46+9i"},
      {uR"(=IMPOWER("i",2))", u"-1"},
      {uR"(=IMPOWER("2",-2))", u"0.25"},
      {uR"(=IMSQRT("-4"))", u"2i"},
      {uR"(=IMSQRT("3+4i"))", u"2+i"},
      {uR"(=IMEXP("0"))", u"1"},
      {uR"(=IMLN("1"))", u"0"},
      {uR"(=IMSUM("1E+20+1E-05i","-1E+20"))", u"1E-05i"},
      {uR"(=IMSUM(".5+.5j","0.5j"))", u"0.5+j"},
  };
  checkTexts(rows);
  EXPECT_EQ(number(uR"(=IMREAL(COMPLEX(-7,2)))"), -7);
}

TEST_F(EngineeringTest, ComplexNumbers) {
  // Closed forms: cos(1+i) = cos 1 cosh 1 - i sin 1 sinh 1, and so on.
  const double c1 = std::cos(1.0), s1 = std::sin(1.0), ch = std::cosh(1.0), sh = std::sinh(1.0);
  const NumberRow rows[] = {
      {uR"(=IMABS("3+4i"))", 5},
      {uR"(=IMABS("-5j"))", 5},
      {uR"(=IMREAL("-2.5e1-3j"))", -25},
      {uR"(=IMAGINARY("-2.5E+1-3j"))", -3},
      {uR"(=IMAGINARY("i"))", 1},
      {uR"(=IMAGINARY("-j"))", -1},
      {uR"(=IMAGINARY("4"))", 0},
      {uR"(=IMAGINARY("+i"))", 1},
      {uR"(=IMARGUMENT("i"))", std::numbers::pi / 2},
      {uR"(=IMARGUMENT("-1-i"))", -3 * std::numbers::pi / 4},
      {uR"(=IMREAL(IMCOS("1+i")))", c1 * ch},
      {uR"(=IMAGINARY(IMCOS("1+i")))", -s1 * sh},
      {uR"(=IMREAL(IMSIN("1+i")))", s1 * ch},
      {uR"(=IMAGINARY(IMSIN("1+i")))", c1 * sh},
      {uR"(=IMREAL(IMEXP("1+i")))", std::exp(1.0) * c1},
      {uR"(=IMAGINARY(IMEXP("1+i")))", std::exp(1.0) * s1},
      {uR"(=IMREAL(IMLN("3+4i")))", std::log(5.0)},
      {uR"(=IMAGINARY(IMLN("3+4i")))", std::atan2(4.0, 3.0)},
      {uR"(=IMREAL(IMLOG10("10i")))", 1},
      {uR"(=IMAGINARY(IMLOG10("10i")))", std::numbers::pi / 2 / std::numbers::ln10},
      {uR"(=IMREAL(IMLOG2("8")))", 3},
      {uR"(=IMREAL(IMPOWER("-8",1/3)))", 1},
      {uR"(=IMAGINARY(IMPOWER("-8",1/3)))", std::sqrt(3.0)},
  };
  checkNumbers(rows, 1e-12);
}

TEST_F(EngineeringTest, ComplexRefusesMalformedText) {
  const ErrorRow rows[] = {
      {uR"(=COMPLEX(3,4,"k"))", ErrorCode::Value},   {uR"(=COMPLEX(3,4,"I"))", ErrorCode::Value},
      {uR"(=IMABS("3+4"))", ErrorCode::Num},         {uR"(=IMABS("3 4i"))", ErrorCode::Num},
      {uR"(=IMABS("i3"))", ErrorCode::Num},          {uR"(=IMABS("3+4ii"))", ErrorCode::Num},
      {uR"(=IMABS("--1"))", ErrorCode::Num},         {uR"(=IMABS("1e400"))", ErrorCode::Num},
      {uR"(=IMABS("1e"))", ErrorCode::Num},          {uR"(=IMABS("abc"))", ErrorCode::Num},
      {uR"(=IMABS("4k"))", ErrorCode::Num},          {uR"(=IMABS(TRUE))", ErrorCode::Num},
      {uR"(=IMARGUMENT("0"))", ErrorCode::Div0},     {uR"(=IMLN("0"))", ErrorCode::Num},
      {uR"(=IMDIV("1","0"))", ErrorCode::Num},       {uR"(=IMPOWER("0",-1))", ErrorCode::Num},
      {uR"(=IMEXP("1000"))", ErrorCode::Num}, // overflow
      {uR"(=IMSUM("1+i","1+j"))", ErrorCode::Value}, {uR"(=IMSUB("i","j"))", ErrorCode::Value},
  };
  checkErrors(rows);
}

// Spaces may stand around the text and around each number, and between a
// sign and its digits, but not inside a number nor between a bare sign and
// the suffix; an empty text is no complex number. The cases are those other
// programs answered in their saved files.
TEST_F(EngineeringTest, ComplexTextSpacing) {
  const NumberRow numbers[] = {
      {uR"(=IMREAL(" 1"))", 1},           {uR"(=IMREAL("- 1"))", -1},
      {uR"(=IMREAL(" - 1"))", -1},        {uR"(=IMREAL("+ 1"))", 1},
      {uR"(=IMREAL("1,000"))", 1000},     {uR"(=IMREAL("-1."))", -1},
      {uR"(=IMAGINARY(" -1i"))", -1},     {uR"(=IMAGINARY("+ 1 i "))", 1},
      {uR"(=IMAGINARY("+ 1 j"))", 1},     {uR"(=IMREAL(" 1 -i "))", 1},
      {uR"(=IMAGINARY(" 1 -i "))", -1},   {uR"(=IMAGINARY("1+ 1e4 j"))", 10000},
      {uR"(=IMREAL("4.22 + 14 i"))", 4.22}, {uR"(=IMAGINARY("4.22 + 14 i"))", 14},
      {uR"(=IMAGINARY("1e-2+1e+2i"))", 100}, {uR"(=IMREAL("1e-2+1e+2i"))", 0.01},
  };
  checkNumbers(numbers, 0);
  const ErrorRow errors[] = {
      {uR"(=IMREAL(""))", ErrorCode::Num},       {uR"(=IMREAL(" "))", ErrorCode::Num},
      {uR"(=IMREAL("1 1"))", ErrorCode::Num},    {uR"(=IMREAL("- 1 ."))", ErrorCode::Num},
      {uR"(=IMREAL("1,1"))", ErrorCode::Num},    {uR"(=IMREAL("1,00"))", ErrorCode::Num},
      {uR"(=IMREAL(" 1 + i"))", ErrorCode::Num}, {uR"(=IMREAL("1+ i"))", ErrorCode::Num},
      {uR"(=IMREAL("+ j"))", ErrorCode::Num},    {uR"(=IMREAL("1+1e 4j"))", ErrorCode::Num},
      {uR"(=IMREAL("1+1 e4j"))", ErrorCode::Num}, {uR"(=IMREAL("-.j"))", ErrorCode::Num},
      {uR"(=IMREAL("+ 1 k"))", ErrorCode::Num},  {uR"(=IMREAL("-+1"))", ErrorCode::Num},
  };
  checkErrors(errors);
  set("A1", u"'");
  EXPECT_EQ(show(eval(u"=IMREAL(A1)")), "#NUM!");
}

TEST_F(EngineeringTest, ImsumAndImproductWalkReferencesAndArrays) {
  set("A1", u"1+i");
  set("A2", u"2");
  set("A4", u"3-2i");
  set("B1", u"'i");
  set("B2", u"TRUE");
  set("B3", u"=1/0");
  set("C1", u"1+i");
  set("C2", u"1-j");
  const TextRow rows[] = {
      {u"=IMSUM(A1:A4)", u"6-i"},
      {u"=IMSUM(A1:A4,B1,,5)", u"11"},
      {u"=IMPRODUCT(A1:A2)", u"2+2i"},
      {u"=IMPRODUCT(A1,A1,A1,A1)", u"-4"},
      {uR"(=IMPRODUCT({"1+i","1-i"}))", u"2"},
      {uR"(=IMSUM({1,2;3,4},"i"))", u"10+i"},
  };
  checkTexts(rows);
  const ErrorRow errors[] = {
      {u"=IMSUM(A1:B2)", ErrorCode::Value}, // the boolean in B2
      {u"=IMSUM(A1,B3)", ErrorCode::Div0},
      {u"=IMPRODUCT(C1:C2)", ErrorCode::Value}, // i and j mixed
      {u"=IMSUM(A1,TRUE)", ErrorCode::Value},
  };
  checkErrors(errors);
}

// ---- Bessel functions ----

TEST_F(EngineeringTest, BesselAgainstPublishedValues) {
  // Abramowitz and Stegun, tables 9.1 (J, Y) and 9.8 (I, K), and the worked
  // examples of public spreadsheet documentation (9 digits: checked to 1e-8;
  // its BESSELJ(1.9,2) of 0.329925829 is off in the seventh digit, the true
  // value being 0.329925727692387, so it is not used).
  const NumberRow rows[] = {
      {u"=BESSELJ(1,0)", 0.765197686557967},   {u"=BESSELJ(1,1)", 0.440050585744934},
      {u"=BESSELJ(10,0)", -0.245935764451348}, {u"=BESSELJ(10,1)", 0.0434727461688614},
      {u"=BESSELY(1,0)", 0.0882569642156769},  {u"=BESSELY(1,1)", -0.781212821300289},
      {u"=BESSELY(10,0)", 0.0556711672835994}, {u"=BESSELY(10,1)", 0.249015424206954},
      {u"=BESSELI(1,0)", 1.26606587775201},    {u"=BESSELI(1,1)", 0.565159103992485},
      {u"=BESSELK(1,0)", 0.421024438240708},   {u"=BESSELK(1,1)", 0.601907230197235},
  };
  checkNumbers(rows, 1e-13);
  const NumberRow examples[] = {
      {u"=BESSELJ(1.9,2)", 0.329925727692387},
      {u"=BESSELY(2.5,1)", 0.145918138},
      {u"=BESSELI(1.5,1)", 0.981666428},
      {u"=BESSELK(1.5,1)", 0.277387804},
  };
  checkNumbers(examples, 1e-8);
}

TEST_F(EngineeringTest, BesselAgainstHighPrecisionSeries) {
  // The ascending series summed in 140-digit decimal arithmetic (Python's
  // decimal module), rounded to 17 digits; covers the small-argument,
  // recurrence and asymptotic ranges and high orders.
  const NumberRow rows[] = {
      {u"=BESSELJ(0.5,0)", 0.93846980724081286},     {u"=BESSELJ(0.5,3)", 0.002563729994587244},
      {u"=BESSELJ(0.5,30)", 3.2633568289139782e-51}, {u"=BESSELJ(3,0)", -0.26005195490193345},
      {u"=BESSELJ(3,1)", 0.33905895852593648},       {u"=BESSELJ(3,2)", 0.48609126058589108},
      {u"=BESSELJ(3,5)", 0.043028434877047585},      {u"=BESSELJ(3,10)", 1.2928351645715883e-05},
      {u"=BESSELJ(7.5,0)", 0.26633965788037839},     {u"=BESSELJ(7.5,1)", 0.13524842757970551},
      {u"=BESSELJ(7.5,4)", 0.023824679971022014},    {u"=BESSELJ(7.5,12)", 0.0052250446858034625},
      {u"=BESSELJ(20,0)", 0.16702466434058316},      {u"=BESSELJ(20,3)", -0.098901394560449676},
      {u"=BESSELJ(20,15)", -0.0008120690551537479},  {u"=BESSELJ(20,40)", 9.9023894137446866e-10},
      {u"=BESSELJ(30,0)", -0.086367983581040211},    {u"=BESSELJ(30,1)", -0.11875106261662294},
      {u"=BESSELJ(30,7)", 0.14518518957232829},      {u"=BESSELJ(30,25)", 0.08429274064303173},
      {u"=BESSELJ(30,30)", 0.1439358500103072},      {u"=BESSELJ(30,50)", 2.0581656631564178e-08},
      {u"=BESSELJ(60,0)", -0.091471804089061873},    {u"=BESSELJ(60,5)", 0.0274547442283441},
      {u"=BESSELJ(60,59)", 0.14067834482932226},     {u"=BESSELJ(100,2)", -0.021528757344505364},
      {u"=BESSELJ(100,20)", 0.062217458498338755},   {u"=BESSELY(0.5,0)", -0.44451873350670656},
      {u"=BESSELY(0.5,1)", -1.4714723926702431},     {u"=BESSELY(0.5,4)", -499.27256081951231},
      {u"=BESSELY(3,0)", 0.37685001001279039},       {u"=BESSELY(3,1)", 0.32467442479179998},
      {u"=BESSELY(3,2)", -0.16040039348492374},      {u"=BESSELY(3,10)", -2582.6071294842995},
      {u"=BESSELY(7.5,0)", 0.11731328614820863},     {u"=BESSELY(7.5,1)", -0.25912851048611624},
      {u"=BESSELY(7.5,6)", -0.080289553234234229},   {u"=BESSELY(20,0)", 0.062640596809383831},
      {u"=BESSELY(20,1)", -0.16551161436252129},     {u"=BESSELY(20,30)", -114.97814626308342},
      {u"=BESSELY(30,0)", -0.11729573168666403},     {u"=BESSELY(30,1)", 0.084425570661747232},
      {u"=BESSELY(30,10)", 0.075056702122397109},    {u"=BESSELY(60,0)", 0.047358952209449398},
      {u"=BESSELY(60,3)", -0.09482271816300826},     {u"=BESSELY(100,20)", 0.051247973076188426},
      {u"=BESSELI(0.1,0)", 1.0025015629340956},      {u"=BESSELI(0.1,1)", 0.050062526047092694},
      {u"=BESSELI(0.1,3)", 2.0846357422327151e-05},  {u"=BESSELI(2.5,0)", 3.2898391440501231},
      {u"=BESSELI(2.5,1)", 2.5167162452886984},      {u"=BESSELI(2.5,10)", 2.9557436109680574e-06},
      {u"=BESSELI(10,0)", 2815.7166284662544},       {u"=BESSELI(10,3)", 1758.3807166108531},
      {u"=BESSELI(10,30)", 7.787569783163048e-12},   {u"=BESSELI(30,1)", 768532038938.95703},
      {u"=BESSELI(100,0)", 1.0737517071310738e+42},  {u"=BESSELI(100,50)", 4.8219580855940807e+36},
      {u"=BESSELK(0.1,0)", 2.4270690247020168},      {u"=BESSELK(0.1,1)", 9.853844780870606},
      {u"=BESSELK(0.1,3)", 7990.0124304654364},      {u"=BESSELK(2.5,0)", 0.062347553200366189},
      {u"=BESSELK(2.5,1)", 0.073890816347747065},    {u"=BESSELK(2.5,10)", 16406.916416341941},
      {u"=BESSELK(10,0)", 1.778006231616765e-05},    {u"=BESSELK(10,3)", 2.7252700256598691e-05},
      {u"=BESSELK(10,30)", 2030247812.5352421},      {u"=BESSELK(30,1)", 2.1677320018915495e-14},
      {u"=BESSELK(100,0)", 8.3313002647476036e-19},  {u"=BESSELK(100,50)", 1.6985378755191344e-23},
  };
  checkNumbers(rows, 1e-11);
}

TEST_F(EngineeringTest, BesselSymmetryAndDomain) {
  EXPECT_TRUE(testing::near(number(u"=BESSELJ(-2,3)"), -number(u"=BESSELJ(2,3)"), 1e-15));
  EXPECT_TRUE(testing::near(number(u"=BESSELJ(-2,2)"), number(u"=BESSELJ(2,2)"), 1e-15));
  EXPECT_TRUE(testing::near(number(u"=BESSELI(-2,3)"), -number(u"=BESSELI(2,3)"), 1e-15));
  EXPECT_TRUE(testing::near(number(u"=BESSELJ(2,1.9)"), number(u"=BESSELJ(2,1)"), 1e-15));
  const NumberRow rows[] = {
      {u"=BESSELJ(0,0)", 1},   {u"=BESSELJ(0,3)", 0},
      {u"=BESSELI(0,0)", 1},   {u"=BESSELJ(1,1E9)", 0}, // far below the smallest double
      {u"=BESSELI(1,1E9)", 0}, {u"=BESSELK(1000,0)", 0},
  };
  checkNumbers(rows, 0);
  const ErrorRow errors[] = {
      {u"=BESSELJ(1,-1)", ErrorCode::Num},      {u"=BESSELY(0,1)", ErrorCode::Num},
      {u"=BESSELY(-1,1)", ErrorCode::Num},      {u"=BESSELK(0,1)", ErrorCode::Num},
      {u"=BESSELK(-1,1)", ErrorCode::Num},      {u"=BESSELI(1000,0)", ErrorCode::Num}, // overflow
      {u"=BESSELY(1,1000)", ErrorCode::Num},                                           // overflow
      {u"=BESSELK(1E-10,100)", ErrorCode::Num},
  };
  checkErrors(errors);
  // Huge arguments finish and stay finite or give an error.
  for (const char16_t *f :
       {u"=BESSELJ(1E300,1)", u"=BESSELY(1E300,5)", u"=BESSELJ(1E300,1E200)",
        u"=BESSELY(1E300,1E200)", u"=BESSELK(1E300,1E200)", u"=BESSELI(1E300,1E200)",
        u"=BESSELJ(1E-300,3)", u"=BESSELK(5E-324,0)"}) {
    const CellValue v = eval(f);
    EXPECT_TRUE(v.isError() || (v.isNumber() && std::isfinite(v.numberValue()))) << toUtf8(f);
  }
}

// ---- the rest ----

TEST_F(EngineeringTest, ErrorFunction) {
  // Abramowitz and Stegun table 7.1.
  const NumberRow rows[] = {
      {u"=ERF(1)", 0.842700792949715},
      {u"=ERF(0,1)", 0.842700792949715},
      {u"=ERF(0.5)", 0.520499877813047},
      {u"=ERF(1,2)", 0.995322265018953 - 0.842700792949715},
      {u"=ERF(2,1)", 0.842700792949715 - 0.995322265018953},
      {u"=ERFC(1)", 0.157299207050285},
      {u"=ERFC(0)", 1},
  };
  checkNumbers(rows, 1e-13);
  const ErrorRow errors[] = {
      {u"=ERF(-1)", ErrorCode::Num},
      {u"=ERF(1,-1)", ErrorCode::Num},
      {u"=ERFC(-1)", ErrorCode::Num},
  };
  checkErrors(errors);
}

TEST_F(EngineeringTest, DeltaGestepFactdouble) {
  const NumberRow rows[] = {
      {u"=DELTA(5,4)", 0},      {u"=DELTA(5,5)", 1},         {u"=DELTA(0)", 1},
      {u"=DELTA(0.5)", 0},      {u"=DELTA(0.1+0.2,0.3)", 0}, // exact comparison
      {u"=GESTEP(5,4)", 1},     {u"=GESTEP(5,5)", 1},        {u"=GESTEP(-4,-5)", 1},
      {u"=GESTEP(-1)", 0},      {u"=GESTEP(1)", 1},          {u"=FACTDOUBLE(6)", 48},
      {u"=FACTDOUBLE(7)", 105}, {u"=FACTDOUBLE(7.9)", 105},  {u"=FACTDOUBLE(0)", 1},
      {u"=FACTDOUBLE(-1)", 1},
  };
  checkNumbers(rows, 0);
  const ErrorRow errors[] = {
      {u"=FACTDOUBLE(-2)", ErrorCode::Num},
      {u"=FACTDOUBLE(400)", ErrorCode::Num},
      {u"=FACTDOUBLE(1E300)", ErrorCode::Num},
  };
  checkErrors(errors);
}

} // namespace
} // namespace functions
