// The mathematics and trigonometry functions (category 3 of the
// function table, SUM and ABS excepted, which the engine's core keeps, and
// COUNTIF and SUMIF, which belong to the criteria family), the math add-ins
// and FACTDOUBLE, and the RAND generator.
//
// Numerical conventions of this family:
// - Rounding to places (ROUND, ROUNDUP, ROUNDDOWN, TRUNC, INT) and rounding to
//   multiples (CEILING, FLOOR, MROUND, EVEN, ODD), MOD and QUOTIENT work on
//   the decimal form of their operands: an integer of magnitude below 1e18,
//   or any number of magnitude 1e15 or more, is taken exactly, any other
//   number by its 15-significant-digit decimal form (the digits the cell
//   shows). The arithmetic is then exact integer
//   arithmetic on decimal mantissas, and the result is the double nearest to
//   the exact decimal result. So ROUND(2.675,2) is 2.68 and ROUND(1.005,2)
//   1.01 as the user reads them, not 2.67 and 1 as rounding the binary doubles
//   would give, and MOD(1000000.3,1) is 0.3. When operands are too far apart
//   in magnitude for exact alignment the classic binary formulas are used.
// - Sums of squares and products (SUMSQ, SUMPRODUCT, SUMX2MY2 ...) use
//   compensated (Neumaier) summation; matrix routines work in long double.
// - SUBTOTAL's variances use the two-pass form (mean first, then squared
//   deviations), which equals the one-pass formula in exact arithmetic
//   but does not lose every digit to cancellation when the values share a
//   large offset.

#include "formula/value_ops.h"
#include "functions/families.h"
#include "functions/function_helpers.h"
#include "functions/gather.h"
#include "platform/clock.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

namespace functions {

// The generator's seeding (start-up calls seedRandomFromClock;
// registering the family does too, once); tests seed it directly.
void seedRandomGenerator(std::uint32_t seed);
void seedRandomFromClock();

namespace {

using model::ErrorCode;
using std::numbers::pi;

CellValue errorValue(ErrorCode code) { return CellValue::error(code); }

// ======================================================================
// Decimal forms
// ======================================================================

using i128 = __int128;

/// A decimal number mantissa x 10^exponent, the mantissa below 2^63 in magnitude.
struct Decimal {
  std::int64_t mantissa = 0;
  int exponent = 0;
};

constexpr double kExactIntegerLimit = 1e18;
constexpr double kTwoTo53 = 9007199254740992.0;

/// The decimal form of a finite double (see the file comment).
Decimal decimalOf(double x) {
  Decimal d;
  if (x == 0)
    return d;
  if (x == std::trunc(x) && std::fabs(x) < kExactIntegerLimit) {
    d.mantissa = static_cast<std::int64_t>(x);
  } else if (std::fabs(x) >= 1e15 && x != std::trunc(x)) {
    // A non-integer from 1e15 to 2^53: its spacing is 1/8 at least, so it is
    // exactly ip + k/1000; the 15-digit form would change its integer part.
    const double ip = std::trunc(x);
    d.mantissa = static_cast<std::int64_t>(ip) * 1000 + static_cast<std::int64_t>((x - ip) * 1000);
    d.exponent = -3;
  } else {
    // d.dddddddddddddde+XX, as printf's "%.14e" writes it.
    char buf[40] = {};
    (void)std::to_chars(buf, buf + sizeof buf - 1, std::fabs(x), std::chars_format::scientific, 14);
    std::int64_t m = buf[0] - '0';
    for (int i = 2; i < 16; ++i)
      m = m * 10 + (buf[i] - '0');
    d.mantissa = x < 0 ? -m : m;
    d.exponent = std::atoi(buf + 17) - 14;
  }
  while (d.mantissa != 0 && d.mantissa % 10 == 0) {
    d.mantissa /= 10;
    ++d.exponent;
  }
  return d;
}

i128 pow10i(int n) { // n in 0..38
  i128 p = 1;
  for (int i = 0; i < n; ++i)
    p *= 10;
  return p;
}

/// The double nearest to m x 10^e (correctly rounded by strtod).
double decimalToDouble(i128 m, int e) {
  if (m == 0)
    return 0.0;
  // A mantissa and a power of ten that doubles hold exactly: one product or
  // quotient, correctly rounded, is strtod's answer.
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (m <= static_cast<i128>(kTwoTo53) && m >= -static_cast<i128>(kTwoTo53) && e >= -22 && e <= 22) {
    const double dm = static_cast<double>(static_cast<std::int64_t>(m));
    return e < 0 ? dm / kPowers[-e] : dm * kPowers[e];
  }
  const bool negative = m < 0;
  unsigned __int128 u =
      negative ? static_cast<unsigned __int128>(-(m + 1)) + 1 : static_cast<unsigned __int128>(m);
  char digits[64];
  int n = 0;
  while (u != 0) {
    digits[n++] = static_cast<char>('0' + static_cast<int>(u % 10));
    u /= 10;
  }
  char buf[96];
  int k = 0;
  if (negative)
    buf[k++] = '-';
  while (n > 0)
    buf[k++] = digits[--n];
  std::snprintf(buf + k, sizeof buf - static_cast<size_t>(k), "e%d", e);
  return std::strtod(buf, nullptr);
}

/// Two decimals brought to one exponent (the smaller); false when the
/// scaled mantissas could overflow 128 bits.
bool align(const Decimal &a, const Decimal &b, i128 &ma, i128 &mb, int &exponent) {
  exponent = std::min(a.exponent, b.exponent);
  const int da = a.exponent - exponent, db = b.exponent - exponent;
  auto digits = [](std::int64_t m) {
    int n = 1;
    for (std::uint64_t u = m < 0 ? 0 - static_cast<std::uint64_t>(m)
                                 : static_cast<std::uint64_t>(m);
         u >= 10; u /= 10)
      ++n;
    return n;
  };
  // Below 10^38 < 2^127, with room for the sums and products made of them.
  if (digits(a.mantissa) + da > 37 || digits(b.mantissa) + db > 37)
    return false;
  ma = static_cast<i128>(a.mantissa) * pow10i(da);
  mb = static_cast<i128>(b.mantissa) * pow10i(db);
  return true;
}

enum class RoundMode {
  HalfAway,   // ROUND, MROUND: halves away from zero
  Away,       // ROUNDUP, CEILING
  TowardZero, // ROUNDDOWN, TRUNC, FLOOR, QUOTIENT
  Floor,      // INT: toward minus infinity
};

/// q = n / d rounded to an integer by the mode (d != 0), from the exact remainder.
i128 divideRounded(i128 n, i128 d, RoundMode mode) {
  i128 q = n / d; // truncates toward zero
  const i128 r = n % d;
  if (r == 0)
    return q;
  const bool negative = (n < 0) != (d < 0);
  const i128 sign = negative ? -1 : 1;
  switch (mode) {
  case RoundMode::HalfAway: {
    const i128 ar = r < 0 ? -r : r, ad = d < 0 ? -d : d;
    if (2 * ar >= ad)
      q += sign;
    break;
  }
  case RoundMode::Away:
    q += sign;
    break;
  case RoundMode::TowardZero:
    break;
  case RoundMode::Floor:
    if (negative)
      q -= 1;
    break;
  }
  return q;
}

/// x rounded to `places` decimal places (negative: to tens, hundreds ...).
double roundToPlaces(double x, double placesArg, RoundMode mode) {
  if (!std::isfinite(x) || x == 0)
    return x;
  const double pt = std::trunc(placesArg);
  const int places = static_cast<int>(std::clamp(pt, -400.0, 400.0));
  if (places >= 0 && std::fabs(x) >= kTwoTo53)
    return x; // an integer already, with more digits than the decimal form keeps
  const Decimal d = decimalOf(x);
  if (d.exponent >= -places) // no digit below the place
    return decimalToDouble(d.mantissa, d.exponent);
  const int drop = std::min(-places - d.exponent, 38);
  const i128 q = divideRounded(d.mantissa, pow10i(drop), mode);
  if (q == 0)
    return 0.0;
  return decimalToDouble(q, -places);
}

/// The multiple k x m of `m` nearest x by the mode (k = x / m rounded), on the
/// decimal forms; binary arithmetic when they cannot be aligned.
double roundToMultiple(double x, double m, RoundMode mode) {
  const Decimal dx = decimalOf(x), dm = decimalOf(m);
  i128 ax, am;
  int e;
  if (align(dx, dm, ax, am, e)) {
    const i128 k = divideRounded(ax, am, mode);
    return decimalToDouble(k * am, e);
  }
  const double q = x / m;
  double k = 0;
  switch (mode) {
  case RoundMode::HalfAway:
    k = q < 0 ? -std::floor(-q + 0.5) : std::floor(q + 0.5);
    break;
  case RoundMode::Away:
    k = q < 0 ? std::floor(q) : std::ceil(q);
    break;
  case RoundMode::TowardZero:
    k = std::trunc(q);
    break;
  case RoundMode::Floor:
    k = std::floor(q);
    break;
  }
  return k * m;
}

// ======================================================================
// Small numeric helpers
// ======================================================================

/// Neumaier's compensated sum.
struct CompensatedSum {
  double sum = 0, compensation = 0;
  void add(double x) {
    const double t = sum + x;
    if (std::fabs(sum) >= std::fabs(x))
      compensation += (sum - t) + x;
    else
      compensation += (x - t) + sum;
    sum = t;
  }
  double value() const { return sum + compensation; }
};

/// A long double result as a double; integers below 2^53 rounded to the integer.
double integral(long double v) {
  if (v < static_cast<long double>(kTwoTo53))
    return static_cast<double>(std::floor(v + 0.5L));
  return static_cast<double>(v);
}

/// n! for an integer n >= 0 (infinity when too large).
long double factorial(double n) {
  if (n > 1754)
    return HUGE_VALL;
  long double f = 1;
  for (int i = 2; i <= static_cast<int>(n); ++i)
    f *= i;
  return f;
}

/// C(n, k) for integers 0 <= k <= n (infinity when it exceeds DBL_MAX).
long double binomial(double n, double k) {
  k = std::min(k, n - k);
  long double c = 1;
  for (double i = 1; i <= k; ++i) {
    c = c * static_cast<long double>(n - k + i) / static_cast<long double>(i);
    if (c > static_cast<long double>(DBL_MAX))
      return HUGE_VALL;
  }
  return c;
}

// ======================================================================
// Single-number functions
// ======================================================================

double arg0(const Arguments &args) { return args[0].numberValue(); }

#define UNARY(name, expr)                                                                          \
  void name(Arguments &args, CellValue &result, EvalContext &) {                                   \
    const double x = arg0(args);                                                                   \
    result = numberResult(expr);                                                                   \
  }

UNARY(cosHandler, std::cos(x))
UNARY(sinHandler, std::sin(x))
UNARY(tanHandler, std::tan(x))
UNARY(atanHandler, std::atan(x))
UNARY(coshHandler, std::cosh(x))
UNARY(sinhHandler, std::sinh(x))
UNARY(tanhHandler, std::tanh(x))
UNARY(asinhHandler, std::asinh(x))
UNARY(expHandler, std::exp(x))
UNARY(degreesHandler, x * 180.0 / pi)
UNARY(radiansHandler, x *pi / 180.0)
UNARY(signHandler, x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0))
#undef UNARY

void acosHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = std::fabs(x) > 1 ? errorValue(ErrorCode::Num) : numberResult(std::acos(x));
}

void asinHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = std::fabs(x) > 1 ? errorValue(ErrorCode::Num) : numberResult(std::asin(x));
}

void acoshHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = x < 1 ? errorValue(ErrorCode::Num) : numberResult(std::acosh(x));
}

void atanhHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = std::fabs(x) >= 1 ? errorValue(ErrorCode::Num) : numberResult(std::atanh(x));
}

// ATAN2(x_num, y_num): the angle of the point (x, y).
void atan2Handler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = args[0].numberValue(), y = args[1].numberValue();
  result = (x == 0 && y == 0) ? errorValue(ErrorCode::Div0) : numberResult(std::atan2(y, x));
}

void piHandler(Arguments &, CellValue &result, EvalContext &) { result = CellValue::number(pi); }

void sqrtHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = x < 0 ? errorValue(ErrorCode::Num) : numberResult(std::sqrt(x));
}

void sqrtpiHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = x < 0 ? errorValue(ErrorCode::Num)
                 : numberResult(static_cast<double>(
                       std::sqrt(static_cast<long double>(x) * std::numbers::pi_v<long double>)));
}

void lnHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = x <= 0 ? errorValue(ErrorCode::Num) : numberResult(std::log(x));
}

void log10Handler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  result = x <= 0 ? errorValue(ErrorCode::Num) : numberResult(std::log10(x));
}

// LOG(number, [base = 10]). Exact powers of the base give exact integers
// (LOG(125,5) is 3, not 3.0000000000000004).
void logHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = arg0(args);
  const double base = numberOr(args, 1, 10);
  if (x <= 0 || base <= 0) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (base == 1) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  double r;
  if (base == 10)
    r = std::log10(x);
  else if (base == 2)
    r = std::log2(x);
  else
    r = static_cast<double>(std::log(static_cast<long double>(x)) /
                            std::log(static_cast<long double>(base)));
  const double n = std::nearbyint(r);
  if (n != r && std::fabs(r - n) <= 1e-12 * std::max(1.0, std::fabs(n)) && std::pow(base, n) == x)
    r = n;
  result = numberResult(r);
}

void powerHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = args[0].numberValue(), y = args[1].numberValue();
  if (x == 0 && y == 0)
    result = errorValue(ErrorCode::Num);
  else if (x == 0 && y < 0)
    result = errorValue(ErrorCode::Div0);
  else
    result = numberResult(std::pow(x, y)); // negative base, fractional power: NaN, #NUM!
}

// ======================================================================
// Rounding
// ======================================================================

void roundHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = numberResult(roundToPlaces(arg0(args), args[1].numberValue(), RoundMode::HalfAway));
}

void roundupHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = numberResult(roundToPlaces(arg0(args), numberOr(args, 1, 0), RoundMode::Away));
}

void rounddownHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = numberResult(roundToPlaces(arg0(args), numberOr(args, 1, 0), RoundMode::TowardZero));
}

void truncHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = numberResult(roundToPlaces(arg0(args), numberOr(args, 1, 0), RoundMode::TowardZero));
}

void intHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = numberResult(roundToPlaces(arg0(args), 0, RoundMode::Floor));
}

// CEILING(number, significance): away from zero to a multiple; number and
// significance of different signs give #NUM!, a zero either 0.
void ceilingHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = args[0].numberValue(), s = args[1].numberValue();
  if (x == 0 || s == 0)
    result = CellValue::number(0);
  else if ((x < 0) != (s < 0))
    result = errorValue(ErrorCode::Num);
  else
    result = numberResult(roundToMultiple(x, s, RoundMode::Away));
}

// FLOOR(number, significance): toward zero to a multiple; a zero
// significance gives #DIV/0! (0 for a zero number), different signs #NUM!.
void floorHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = args[0].numberValue(), s = args[1].numberValue();
  if (x == 0)
    result = CellValue::number(0);
  else if (s == 0)
    result = errorValue(ErrorCode::Div0);
  else if ((x < 0) != (s < 0))
    result = errorValue(ErrorCode::Num);
  else
    result = numberResult(roundToMultiple(x, s, RoundMode::TowardZero));
}

// MROUND(number, multiple): the nearest multiple, halves away from zero.
void mroundHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = args[0].numberValue(), m = args[1].numberValue();
  if (x == 0 || m == 0)
    result = CellValue::number(0);
  else if ((x < 0) != (m < 0))
    result = errorValue(ErrorCode::Num);
  else
    result = numberResult(roundToMultiple(x, m, RoundMode::HalfAway));
}

// EVEN / ODD: away from zero to the next even (odd) integer.
double toParity(double x, bool odd) {
  const double ax = std::fabs(x);
  double k;
  if (ax >= kExactIntegerLimit) {
    k = std::ceil(ax);
  } else {
    k = std::fabs(roundToPlaces(ax, 0, RoundMode::Away));
  }
  const bool isOdd = std::fmod(k, 2.0) == 1.0;
  if (isOdd != odd)
    k += 1;
  return x < 0 ? -k : k;
}

void evenHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = numberResult(toParity(arg0(args), false));
}

void oddHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = numberResult(toParity(arg0(args), true));
}

// MOD(a, b) = a - b x floor(a / b): the result takes the sign of b.
double spreadsheetMod(double a, double b) {
  const Decimal da = decimalOf(a), db = decimalOf(b);
  i128 ma, mb;
  int e;
  if (align(da, db, ma, mb, e)) {
    i128 r = ma % mb;
    if (r != 0 && ((r < 0) != (mb < 0)))
      r += mb;
    return decimalToDouble(r, e);
  }
  // Operands too far apart for exact alignment: the classic formula, kept
  // within [0, b) (or (b, 0]).
  double r = a - b * std::floor(a / b);
  if (b > 0 ? (r < 0 || r >= b) : (r > 0 || r <= b))
    r = 0;
  return r;
}

void modHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double a = args[0].numberValue(), b = args[1].numberValue();
  result = b == 0 ? errorValue(ErrorCode::Div0) : numberResult(spreadsheetMod(a, b));
}

// QUOTIENT(numerator, denominator): the integer part of the quotient.
void quotientHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double n = args[0].numberValue(), d = args[1].numberValue();
  if (d == 0) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  const Decimal dn = decimalOf(n), dd = decimalOf(d);
  i128 mn, md;
  int e;
  if (align(dn, dd, mn, md, e))
    result = numberResult(decimalToDouble(mn / md, 0));
  else
    result = numberResult(std::trunc(n / d));
}

// ======================================================================
// Factorials and combinations
// ======================================================================

void factHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double n = std::trunc(arg0(args));
  if (n < 0) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const long double f = factorial(n);
  result = f > static_cast<long double>(DBL_MAX) ? errorValue(ErrorCode::Num)
                                                 : CellValue::number(integral(f));
}

void factdoubleHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double n = std::trunc(arg0(args));
  if (n < 0) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (n > 400) { // 301!! already exceeds the largest double
    result = errorValue(ErrorCode::Num);
    return;
  }
  long double f = 1;
  for (int i = static_cast<int>(n); i > 1; i -= 2)
    f *= i;
  result = f > static_cast<long double>(DBL_MAX) ? errorValue(ErrorCode::Num)
                                                 : CellValue::number(integral(f));
}

void combinHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double n = std::trunc(args[0].numberValue()), k = std::trunc(args[1].numberValue());
  if (n < 0 || k < 0 || k > n) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const long double c = binomial(n, k);
  result = c > static_cast<long double>(DBL_MAX) ? errorValue(ErrorCode::Num)
                                                 : CellValue::number(integral(c));
}

// ======================================================================
// Lists of numbers (through the gatherer)
// ======================================================================

/// Gathers args[first..] with SUM's options; false (result set) on an error.
bool gatherOrFail(const Arguments &args, int first, EvalContext &ctx, NumberList &list,
                  CellValue &result) {
  if (gatherNumbers(args, first, ctx, GatherOptions{}, list))
    return true;
  result = list.error;
  return false;
}

void productHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  NumberList list;
  if (!gatherOrFail(args, 0, ctx, list, result))
    return;
  if (list.empty()) {
    result = CellValue::number(0);
    return;
  }
  double p = 1;
  for (double x : list.numbers)
    p *= x;
  result = numberResult(p);
}

void sumsqHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  NumberList list;
  if (!gatherOrFail(args, 0, ctx, list, result))
    return;
  CompensatedSum s;
  for (double x : list.numbers)
    s.add(x * x);
  result = numberResult(s.value());
}

/// GCD of two non-negative integers held in doubles (exact below 2^53).
double gcd2(double a, double b) {
  while (b != 0) {
    const double t = std::fmod(a, b);
    a = b;
    b = t;
  }
  return a;
}

/// Gathers GCD/LCM/MULTINOMIAL arguments: truncated, each must be >= 0 and
/// (limit) below 2^53.
bool gatherIntegers(const Arguments &args, EvalContext &ctx, std::vector<double> &out,
                    CellValue &result, bool limit) {
  NumberList list;
  if (!gatherOrFail(args, 0, ctx, list, result))
    return false;
  for (double x : list.numbers) {
    const double t = std::trunc(x);
    if (t < 0 || (limit && t >= kTwoTo53)) {
      result = errorValue(ErrorCode::Num);
      return false;
    }
    out.push_back(t);
  }
  return true;
}

void gcdHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  std::vector<double> v;
  if (!gatherIntegers(args, ctx, v, result, true))
    return;
  double g = 0;
  for (double x : v)
    g = gcd2(g, x);
  result = CellValue::number(g);
}

void lcmHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  std::vector<double> v;
  if (!gatherIntegers(args, ctx, v, result, true))
    return;
  if (v.empty()) {
    result = CellValue::number(0);
    return;
  }
  double l = 1;
  for (double x : v) {
    if (x == 0) {
      result = CellValue::number(0);
      return;
    }
    l = l / gcd2(l, x) * x;
    if (!std::isfinite(l) || l >= kTwoTo53) {
      result = errorValue(ErrorCode::Num);
      return;
    }
  }
  result = CellValue::number(l);
}

// MULTINOMIAL(a1, a2, ...) = (a1 + a2 + ...)! / (a1! a2! ...), as a product
// of binomial coefficients so that it does not overflow before the result does.
void multinomialHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  std::vector<double> v;
  if (!gatherIntegers(args, ctx, v, result, false))
    return;
  long double r = 1;
  double total = 0;
  for (double x : v) {
    total += x;
    r *= binomial(total, x);
    if (r > static_cast<long double>(DBL_MAX)) {
      result = errorValue(ErrorCode::Num);
      return;
    }
  }
  result = CellValue::number(integral(r));
}

// ======================================================================
// Arrays
// ======================================================================

void sumproductHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  // Sparse: a whole column costs its stored cells, and a position missing
  // from any array contributes nothing.
  std::vector<SparseArray> arrays;
  arrays.reserve(static_cast<size_t>(args.count));
  for (int i = 0; i < args.count; ++i) {
    if (isMissing(args, i)) {
      result = errorValue(ErrorCode::Value);
      return;
    }
    SparseArray a;
    if (!sparseArgument(args[i], ctx, a, result))
      return;
    if (!arrays.empty() && (a.rows != arrays[0].rows || a.columns != arrays[0].columns)) {
      result = errorValue(ErrorCode::Value);
      return;
    }
    arrays.push_back(std::move(a));
  }
  if (arrays.empty()) {
    result = errorValue(ErrorCode::Value);
    return;
  }
  // An error element anywhere is the result (first array first).
  for (const SparseArray &a : arrays)
    if (const CellValue *e = a.firstError()) {
      result = *e;
      return;
    }
  // Text, booleans and blanks count 0, so only positions where every array
  // holds a number add to the sum; a cursor per array walks them together.
  std::vector<size_t> cursor(arrays.size(), 0);
  CompensatedSum s;
  for (const auto &[at, first] : arrays[0].items) {
    if (!first.isNumber())
      continue;
    double p = first.numberValue();
    for (size_t k = 1; k < arrays.size() && p != 0; ++k) {
      const auto &items = arrays[k].items;
      size_t &c = cursor[k];
      while (c < items.size() && items[c].first < at)
        ++c;
      p = c < items.size() && items[c].first == at && items[c].second.isNumber()
              ? p * items[c].second.numberValue()
              : 0.0;
    }
    s.add(p);
  }
  result = numberResult(s.value());
}

template <class Term>
void pairSum(Arguments &args, CellValue &result, EvalContext &ctx, Term term) {
  std::vector<double> xs, ys;
  CellValue error;
  if (!gatherPairs(args[0], args[1], ctx, xs, ys, error)) {
    result = error;
    return;
  }
  // Without a single pair of numbers there is nothing to sum, which other
  // programs report as a division by zero rather than as 0.
  if (xs.empty()) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  CompensatedSum s;
  for (size_t i = 0; i < xs.size(); ++i)
    term(s, xs[i], ys[i]);
  result = numberResult(s.value());
}

void sumx2my2Handler(Arguments &args, CellValue &result, EvalContext &ctx) {
  pairSum(args, result, ctx, [](CompensatedSum &s, double x, double y) {
    s.add(x * x);
    s.add(-(y * y));
  });
}

void sumx2py2Handler(Arguments &args, CellValue &result, EvalContext &ctx) {
  pairSum(args, result, ctx, [](CompensatedSum &s, double x, double y) {
    s.add(x * x);
    s.add(y * y);
  });
}

void sumxmy2Handler(Arguments &args, CellValue &result, EvalContext &ctx) {
  pairSum(args, result, ctx, [](CompensatedSum &s, double x, double y) {
    const double d = x - y;
    s.add(d * d);
  });
}

// SERIESSUM(x, n, m, coefficients) = sum of c_i x^(n + i m), i from 0.
void seriessumHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  const double x = args[0].numberValue(), n = args[1].numberValue(), m = args[2].numberValue();
  NumberMatrix coefficients;
  CellValue error;
  if (!numberMatrix(args[3], ctx, coefficients, error)) {
    result = error;
    return;
  }
  CompensatedSum s;
  for (size_t i = 0; i < coefficients.items.size(); ++i) {
    const double power = n + static_cast<double>(i) * m;
    if (x == 0 && power < 0) {
      result = errorValue(ErrorCode::Div0);
      return;
    }
    const double term = coefficients.items[i] * std::pow(x, power);
    if (!std::isfinite(term)) {
      result = errorValue(ErrorCode::Num);
      return;
    }
    s.add(term);
  }
  result = numberResult(s.value());
}

/// LU decomposition with partial pivoting in long double. Returns false when
/// the matrix is singular: a pivot vanishes against its row's scale.
struct Lu {
  int n = 0;
  std::vector<long double> a; // row-major, L below the diagonal (unit), U on and above
  std::vector<int> perm;
  int swaps = 0;
};

bool decompose(const NumberMatrix &m, Lu &lu) {
  const int n = m.rows;
  lu.n = n;
  lu.a.assign(m.items.begin(), m.items.end());
  lu.perm.resize(static_cast<size_t>(n));
  std::vector<long double> scale(static_cast<size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    lu.perm[static_cast<size_t>(i)] = i;
    for (int j = 0; j < n; ++j)
      scale[static_cast<size_t>(i)] =
          std::max(scale[static_cast<size_t>(i)], std::fabs(lu.a[static_cast<size_t>(i * n + j)]));
    if (scale[static_cast<size_t>(i)] == 0)
      return false; // a zero row
  }
  auto at = [&](int r, int c) -> long double & { return lu.a[static_cast<size_t>(r * n + c)]; };
  const long double tolerance = 64 * LDBL_EPSILON * n;
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(at(i, k)) > std::fabs(at(p, k)))
        p = i;
    if (std::fabs(at(p, k)) <=
        tolerance * scale[static_cast<size_t>(lu.perm[static_cast<size_t>(p)])])
      return false;
    if (p != k) {
      for (int j = 0; j < n; ++j)
        std::swap(at(p, j), at(k, j));
      std::swap(lu.perm[static_cast<size_t>(p)], lu.perm[static_cast<size_t>(k)]);
      ++lu.swaps;
    }
    for (int i = k + 1; i < n; ++i) {
      const long double f = at(i, k) / at(k, k);
      at(i, k) = f;
      for (int j = k + 1; j < n; ++j)
        at(i, j) -= f * at(k, j);
    }
  }
  return true;
}

bool squareMatrix(const CellValue &arg, EvalContext &ctx, NumberMatrix &m, CellValue &result) {
  CellValue error;
  if (!numberMatrix(arg, ctx, m, error)) {
    result = error;
    return false;
  }
  if (m.rows != m.columns || m.rows == 0) {
    result = errorValue(ErrorCode::Value);
    return false;
  }
  return true;
}

void mdetermHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  NumberMatrix m;
  if (!squareMatrix(args[0], ctx, m, result))
    return;
  Lu lu;
  if (!decompose(m, lu)) {
    result = CellValue::number(0);
    return;
  }
  long double det = (lu.swaps % 2) ? -1 : 1;
  for (int i = 0; i < lu.n; ++i)
    det *= lu.a[static_cast<size_t>(i * lu.n + i)];
  // Integer matrices have integer determinants; long double is exact enough
  // to recover them when they are below 2^53.
  bool integerMatrix =
      std::all_of(m.items.begin(), m.items.end(), [](double x) { return x == std::trunc(x); });
  double d = static_cast<double>(det);
  if (integerMatrix && std::fabs(det) < static_cast<long double>(kTwoTo53))
    d = static_cast<double>(std::nearbyint(det));
  result = numberResult(d);
}

void minverseHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  NumberMatrix m;
  if (!squareMatrix(args[0], ctx, m, result))
    return;
  Lu lu;
  if (!decompose(m, lu)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const int n = lu.n;
  std::vector<CellValue> items(static_cast<size_t>(n) * n);
  std::vector<long double> col(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) {
    // Solve A x = e_j: forward with the permuted unit vector, then backward.
    for (int i = 0; i < n; ++i) {
      long double s = lu.perm[static_cast<size_t>(i)] == j ? 1 : 0;
      for (int k = 0; k < i; ++k)
        s -= lu.a[static_cast<size_t>(i * n + k)] * col[static_cast<size_t>(k)];
      col[static_cast<size_t>(i)] = s;
    }
    for (int i = n - 1; i >= 0; --i) {
      long double s = col[static_cast<size_t>(i)];
      for (int k = i + 1; k < n; ++k)
        s -= lu.a[static_cast<size_t>(i * n + k)] * col[static_cast<size_t>(k)];
      col[static_cast<size_t>(i)] = s / lu.a[static_cast<size_t>(i * n + i)];
    }
    for (int i = 0; i < n; ++i)
      items[static_cast<size_t>(i) * n + j] =
          formula::finiteNumber(static_cast<double>(col[static_cast<size_t>(i)]));
  }
  result = CellValue::array(static_cast<int>(n), static_cast<int>(n),
                            std::move(items));
}

void mmultHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  NumberMatrix a, b;
  CellValue error;
  if (!numberMatrix(args[0], ctx, a, error) || !numberMatrix(args[1], ctx, b, error)) {
    result = error;
    return;
  }
  if (a.columns != b.rows || a.rows == 0 || b.columns == 0) {
    result = errorValue(ErrorCode::Value);
    return;
  }
  std::vector<CellValue> items(static_cast<size_t>(a.rows) * b.columns);
  for (int i = 0; i < a.rows; ++i)
    for (int j = 0; j < b.columns; ++j) {
      long double s = 0;
      for (int k = 0; k < a.columns; ++k)
        s += static_cast<long double>(a.at(i, k)) * b.at(k, j);
      items[static_cast<size_t>(i) * b.columns + j] = formula::finiteNumber(static_cast<double>(s));
    }
  result = CellValue::array(static_cast<int>(a.rows),
                            static_cast<int>(b.columns), std::move(items));
}

// ======================================================================
// ROMAN
// ======================================================================

/// Roman numeral of 0..3999 in form 0 (classic) to 4 (most simplified); the
/// forms allow ever longer subtractive pairs (499: CDXCIX, LDVLIV, XDIX, VDIV, ID).
std::u16string romanNumeral(int value, int form) {
  static constexpr char16_t kChars[] = {u'M', u'D', u'C', u'L', u'X', u'V', u'I'};
  static constexpr int kValues[] = {1000, 500, 100, 50, 10, 5, 1};
  constexpr int kMaxIndex = 6;
  std::u16string out;
  for (int i = 0; i <= kMaxIndex / 2; ++i) {
    int index = 2 * i;
    const int digit = value / kValues[index];
    if (digit % 5 == 4) {
      const int index2 = digit == 4 ? index - 1 : index - 2;
      int steps = 0;
      while (steps < form && index < kMaxIndex) {
        ++steps;
        if (kValues[index2] - kValues[index + 1] <= value)
          ++index;
        else
          steps = form;
      }
      out += kChars[index];
      out += kChars[index2];
      value += kValues[index];
      value -= kValues[index2];
    } else {
      if (digit > 4)
        out += kChars[index - 1];
      out.append(static_cast<size_t>(digit % 5), kChars[index]);
      value %= kValues[index];
    }
  }
  return out;
}

void romanHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  const double number = std::trunc(arg0(args));
  int form = 0;
  if (!isMissing(args, 1)) {
    const CellValue &f = args[1];
    if (f.isError()) {
      result = f;
      return;
    }
    if (f.isBoolean()) {
      form = f.booleanValue() ? 0 : 4;
    } else {
      const CellValue n = formula::toNumber(f, ctx);
      if (n.isError()) {
        result = n;
        return;
      }
      const double t = std::trunc(n.numberValue());
      if (t < 0 || t > 4) {
        result = errorValue(ErrorCode::Value);
        return;
      }
      form = static_cast<int>(t);
    }
  }
  if (number < 0 || number > 3999) {
    result = errorValue(ErrorCode::Value);
    return;
  }
  result = CellValue::string(romanNumeral(static_cast<int>(number), form));
}

// ======================================================================
// SUBTOTAL
// ======================================================================

/// Sample (m = 1) or population (m = 0) variance, two-pass; false when n <= m.
bool variance(const std::vector<double> &v, int m, double &out) {
  const size_t n = v.size();
  if (n <= static_cast<size_t>(m))
    return false;
  long double sum = 0;
  for (double x : v)
    sum += x;
  const long double mean = sum / static_cast<long double>(n);
  long double squares = 0, deviations = 0;
  for (double x : v) {
    const long double d = x - mean;
    squares += d * d;
    deviations += d;
  }
  // Corrected two-pass: removes the rounding error left in the mean.
  squares -= deviations * deviations / static_cast<long double>(n);
  out = static_cast<double>(std::max(squares, 0.0L) /
                            static_cast<long double>(n - static_cast<size_t>(m)));
  return true;
}

void subtotalHandler(Arguments &args, CellValue &result, EvalContext &ctx) {
  const double f = std::trunc(arg0(args));
  if (f < 1 || f > 11) {
    result = errorValue(ErrorCode::Value);
    return;
  }
  const int function = static_cast<int>(f);
  GatherOptions options;
  options.numbersOnly = true;
  options.stopAtErrors = true;
  options.skipSubtotals = true;
  options.hiddenRows = HiddenRows::SkipFiltered;
  if (function == 3) {
    // The stored non-empty cells, under the same filters; an error stops it.
    double count = 0;
    CellValue error;
    for (int i = 1; i < args.count; ++i) {
      const bool done =
          forEachArgumentValue(args[i], ctx, options, [&](const CellValue &v, ValueSource) {
            if (v.isError()) {
              error = v;
              return false;
            }
            if (!v.isEmpty())
              ++count;
            return true;
          });
      if (!done && error.isError()) {
        result = error;
        return;
      }
    }
    result = CellValue::number(count);
    return;
  }
  if (function == 7 || function == 8 || function == 10 || function == 11) {
    NumberList list;
    if (!gatherNumbers(args, 1, ctx, options, list)) {
      result = list.error;
      return;
    }
    const int m = (function == 7 || function == 10) ? 1 : 0;
    double var;
    if (!variance(list.numbers, m, var))
      result = errorValue(ErrorCode::Div0);
    else
      result = numberResult(function <= 8 ? std::sqrt(var) : var);
    return;
  }
  // The others need no list: the numbers stream through.
  double count = 0, sum = 0, product = 1;
  double maximum = -HUGE_VAL, minimum = HUGE_VAL;
  CellValue error;
  bool ok;
  switch (function) {
  case 1:
  case 9:
    ok = forEachGatheredNumber(args, 1, ctx, options, error, [&](double x) {
      ++count;
      sum += x; // in order from 0, as SUM adds
    });
    break;
  case 2:
    ok = forEachGatheredNumber(args, 1, ctx, options, error, [&](double) { ++count; });
    break;
  case 4:
  case 5:
    ok = forEachGatheredNumber(args, 1, ctx, options, error, [&](double x) {
      ++count;
      maximum = std::max(maximum, x);
      minimum = std::min(minimum, x);
    });
    break;
  default: // 6
    ok = forEachGatheredNumber(args, 1, ctx, options, error, [&](double x) {
      ++count;
      product *= x;
    });
    break;
  }
  if (!ok) {
    result = error;
    return;
  }
  switch (function) {
  case 1:
    result = count == 0 ? errorValue(ErrorCode::Div0) : numberResult(sum / count);
    return;
  case 2:
    result = CellValue::number(count);
    return;
  case 4:
    result = CellValue::number(count == 0 ? 0 : maximum);
    return;
  case 5:
    result = CellValue::number(count == 0 ? 0 : minimum);
    return;
  case 6:
    result = count == 0 ? CellValue::number(0) : numberResult(product);
    return;
  default:
    result = numberResult(sum);
    return; // 9
  }
}

// ======================================================================
// RAND and RANDBETWEEN
// ======================================================================

std::uint32_t g_randomState = 0;
bool g_randomSeeded = false;

/// The next draw of the generator: 0 to 32767.
int nextDraw() {
  if (!g_randomSeeded)
    seedRandomFromClock();
  g_randomState = g_randomState * 214013u + 2531011u;
  return static_cast<int>((g_randomState >> 16) & 32767u);
}

/// Seconds since 1970-01-01 00:00:00 of a calendar time.
std::int64_t secondsSince1970(const platform::LocalTime &t) {
  // Days from the civil date (proleptic Gregorian calendar).
  const int y = t.year - (t.month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int mp = (t.month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + t.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

void randHandler(Arguments &, CellValue &result, EvalContext &) {
  result = CellValue::number(nextDraw() / 32767.0);
}

// RANDBETWEEN(bottom, top): both truncated, #NUM! when top < bottom. The
// Part's floor(draw / 32767 x (top - bottom + 1)) + bottom gives top + 1 for
// the largest draw; dividing by 32768 instead keeps every draw within
// bottom..top and gives each value an equal share of the 32768 draws.
void randbetweenHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double bottom = std::trunc(args[0].numberValue());
  const double top = std::trunc(args[1].numberValue());
  if (top < bottom) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const double span = top - bottom + 1;
  double r = std::floor(nextDraw() / 32768.0 * span) + bottom;
  if (r > top) // only reachable through rounding for spans near 2^53
    r = top;
  result = numberResult(r);
}

} // namespace

void seedRandomGenerator(std::uint32_t seed) {
  g_randomState = seed;
  g_randomSeeded = true;
}

void seedRandomFromClock() {
  if (g_randomSeeded)
    return; // seeded once per run, never again
  seedRandomGenerator(static_cast<std::uint32_t>(secondsSince1970(platform::clock().now())));
}

void registerMathFunctions() {
  // clang-format off
  static constexpr HandlerRow kRows[] = {
    {u"ACOS",        acosHandler},
    {u"ACOSH",       acoshHandler},
    {u"ASIN",        asinHandler},
    {u"ASINH",       asinhHandler},
    {u"ATAN",        atanHandler},
    {u"ATAN2",       atan2Handler},
    {u"ATANH",       atanhHandler},
    {u"CEILING",     ceilingHandler},
    {u"COMBIN",      combinHandler},
    {u"COS",         cosHandler},
    {u"COSH",        coshHandler},
    {u"DEGREES",     degreesHandler},
    {u"EVEN",        evenHandler},
    {u"EXP",         expHandler},
    {u"FACT",        factHandler},
    {u"FLOOR",       floorHandler},
    {u"INT",         intHandler},
    {u"LN",          lnHandler},
    {u"LOG",         logHandler},
    {u"LOG10",       log10Handler},
    {u"MDETERM",     mdetermHandler},
    {u"MINVERSE",    minverseHandler},
    {u"MMULT",       mmultHandler},
    {u"MOD",         modHandler},
    {u"ODD",         oddHandler},
    {u"PI",          piHandler},
    {u"POWER",       powerHandler},
    {u"PRODUCT",     productHandler},
    {u"RADIANS",     radiansHandler},
    {u"RAND",        randHandler},
    {u"ROMAN",       romanHandler},
    {u"ROUND",       roundHandler},
    {u"ROUNDDOWN",   rounddownHandler},
    {u"ROUNDUP",     roundupHandler},
    {u"SIGN",        signHandler},
    {u"SIN",         sinHandler},
    {u"SINH",        sinhHandler},
    {u"SQRT",        sqrtHandler},
    {u"SUBTOTAL",    subtotalHandler},
    {u"SUMPRODUCT",  sumproductHandler},
    {u"SUMSQ",       sumsqHandler},
    {u"SUMX2MY2",    sumx2my2Handler},
    {u"SUMX2PY2",    sumx2py2Handler},
    {u"SUMXMY2",     sumxmy2Handler},
    {u"TAN",         tanHandler},
    {u"TANH",        tanhHandler},
    {u"TRUNC",       truncHandler},
    // add-ins
    {u"FACTDOUBLE",  factdoubleHandler},
    {u"GCD",         gcdHandler},
    {u"LCM",         lcmHandler},
    {u"MROUND",      mroundHandler},
    {u"MULTINOMIAL", multinomialHandler},
    {u"QUOTIENT",    quotientHandler},
    {u"RANDBETWEEN", randbetweenHandler},
    {u"SERIESSUM",   seriessumHandler},
    {u"SQRTPI",      sqrtpiHandler},
  };
  // clang-format on
  registerRows(kRows);
  seedRandomFromClock();
}

} // namespace functions
