// The engineering functions: unit conversion, number bases, complex numbers
// held as text, Bessel functions, the error function, DELTA and GESTEP.

#include "functions/families.h"

#include "formula/text_value.h"
#include "functions/convert_units.h"
#include "functions/function_helpers.h"
#include "platform/locale_strings.h"

#include <charconv>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>

namespace functions {
namespace {

using Complex = std::complex<double>;

CellValue errorValue(ErrorCode code) { return CellValue::error(code); }

// ---- CONVERT ----

const ConvertUnit *findUnit(std::u16string_view name) {
  for (const ConvertUnit &u : kConvertUnits)
    if (u.name == name)
      return &u;
  return nullptr;
}

void convertHandler(Arguments &args, CellValue &result, EvalContext &) {
  const ConvertUnit *from = findUnit(args[1].isString() ? args[1].stringValue() : u"");
  const ConvertUnit *to = findUnit(args[2].isString() ? args[2].stringValue() : u"");
  if (!from || !to || from->category != to->category) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  const double v = args[0].numberValue();
  result = numberResult((v - from->offset) * from->factor / to->factor + to->offset);
}

// ---- number bases ----

// Results are at most ten digits, the width of the two's complement forms;
// only an explicit number of places makes them longer.
constexpr int kResultDigits = 10;
// DEC2BIN's places stop at ten; the other functions have no stated limit,
// but a text of millions of zeros helps nobody, so they stop here.
constexpr double kMaxPlaces = 255;

struct Base {
  int radix;
  int bits;               // per digit
  std::int64_t low, high; // values a result in this base can show
};

constexpr Base kBinary{2, 1, -512, 511};
constexpr Base kOctal{8, 3, -(std::int64_t{1} << 29), (std::int64_t{1} << 29) - 1};
constexpr Base kHex{16, 4, -(std::int64_t{1} << 39), (std::int64_t{1} << 39) - 1};

// Writes `value` in `to`, padded to the places argument at `placesIndex`
// (when given). Negative values are the ten-digit two's complement and
// ignore places.
CellValue baseText(std::int64_t value, const Base &to, const Arguments &args, int placesIndex,
                   double maxPlaces = kMaxPlaces) {
  if (value < to.low || value > to.high)
    return errorValue(ErrorCode::Num);
  int places = 0;
  if (!isMissing(args, placesIndex)) {
    const double p = std::trunc(args[placesIndex].numberValue());
    if (!(p >= 0) || p > maxPlaces)
      return errorValue(ErrorCode::Num);
    places = static_cast<int>(p);
  }
  std::uint64_t bits = static_cast<std::uint64_t>(value);
  int width = places;
  if (value < 0) {
    bits &= (std::uint64_t{1} << (to.bits * kResultDigits)) - 1;
    width = kResultDigits;
  }
  char16_t digits[kResultDigits];
  int n = 0;
  do {
    digits[n++] = u"0123456789ABCDEF"[bits % static_cast<unsigned>(to.radix)];
    bits /= static_cast<unsigned>(to.radix);
  } while (bits != 0);
  std::u16string text;
  if (width > n)
    text.assign(static_cast<size_t>(width - n), u'0');
  while (n > 0)
    text += digits[--n];
  return CellValue::string(text);
}

// A decimal argument truncated and checked against [low, high].
bool decimalValue(const CellValue &v, std::int64_t low, std::int64_t high, std::int64_t &out) {
  const double d = std::trunc(v.numberValue());
  if (!(d >= static_cast<double>(low) && d <= static_cast<double>(high)))
    return false;
  out = static_cast<std::int64_t>(d);
  return true;
}

// A binary or octal number typed as a decimal number: its decimal digits are
// the digits of the base. Ten digits with the top bit set are negative.
bool digitsValue(const CellValue &v, const Base &from, std::int64_t &out) {
  const double d = std::trunc(v.numberValue());
  if (!(d >= 0 && d < 1e10))
    return false;
  std::int64_t decimal = static_cast<std::int64_t>(d);
  std::int64_t value = 0, scale = 1;
  int count = 0;
  for (; decimal != 0; decimal /= 10, ++count) {
    const int digit = static_cast<int>(decimal % 10);
    if (digit >= from.radix)
      return false;
    value += digit * scale;
    scale *= from.radix;
  }
  if (count == kResultDigits && value >= scale / 2)
    value -= scale;
  out = value;
  return true;
}

// Hexadecimal text: at most ten digits of either case; ten digits from 8
// upward are the two's complement of 40 bits. An empty text is 0.
bool hexValue(const CellValue &v, std::int64_t &out) {
  const std::u16string_view s = v.stringValue();
  if (s.size() > static_cast<size_t>(kResultDigits))
    return false;
  std::int64_t value = 0;
  for (char16_t c : s) {
    int digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else if (c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else
      return false;
    value = value * 16 + digit;
  }
  if (s.size() == static_cast<size_t>(kResultDigits) && value >= (std::int64_t{1} << 39))
    value -= std::int64_t{1} << 40;
  out = value;
  return true;
}

template <const Base &From>
void fromDigitsToDecimal(Arguments &args, CellValue &result, EvalContext &) {
  std::int64_t v;
  result = digitsValue(args[0], From, v) ? CellValue::number(static_cast<double>(v))
                                         : errorValue(ErrorCode::Num);
}

template <const Base &From, const Base &To>
void fromDigitsToBase(Arguments &args, CellValue &result, EvalContext &) {
  std::int64_t v;
  result = digitsValue(args[0], From, v) ? baseText(v, To, args, 1) : errorValue(ErrorCode::Num);
}

void hex2decHandler(Arguments &args, CellValue &result, EvalContext &) {
  std::int64_t v;
  result =
      hexValue(args[0], v) ? CellValue::number(static_cast<double>(v)) : errorValue(ErrorCode::Num);
}

template <const Base &To> void fromHex(Arguments &args, CellValue &result, EvalContext &) {
  std::int64_t v;
  result = hexValue(args[0], v) ? baseText(v, To, args, 1) : errorValue(ErrorCode::Num);
}

void dec2binHandler(Arguments &args, CellValue &result, EvalContext &) {
  std::int64_t v;
  result = decimalValue(args[0], -512, 511, v) ? baseText(v, kBinary, args, 1, 10)
                                               : errorValue(ErrorCode::Num);
}

void dec2octHandler(Arguments &args, CellValue &result, EvalContext &) {
  std::int64_t v;
  result = decimalValue(args[0], kOctal.low, kOctal.high, v) ? baseText(v, kOctal, args, 1)
                                                             : errorValue(ErrorCode::Num);
}

void dec2hexHandler(Arguments &args, CellValue &result, EvalContext &) {
  std::int64_t v;
  result = decimalValue(args[0], std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max(), v)
               ? baseText(v, kHex, args, 1)
               : errorValue(ErrorCode::Num);
}

// ---- complex numbers as text ----

struct ComplexText {
  Complex z;
  char16_t suffix = 0; // 'i' or 'j'; 0 when the text had no imaginary part
};

bool isSuffix(char16_t c) { return c == u'i' || c == u'j'; }

// Reads an unsigned decimal number (digits, decimals, exponent) at `pos`.
// The decimal separator is the locale's, or "." in any locale.
bool readUnsigned(std::u16string_view s, size_t &pos, double &out) {
  const std::u16string &sep = platform::localeStrings().decimalSeparator;
  const char16_t localeSep = sep.size() == 1 ? sep[0] : u'.';
  std::string ascii;
  size_t i = pos;
  bool digits = false;
  while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
    ascii += static_cast<char>(s[i++]);
    digits = true;
  }
  if (i < s.size() && (s[i] == u'.' || s[i] == localeSep)) {
    ascii += '.';
    ++i;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
      ascii += static_cast<char>(s[i++]);
      digits = true;
    }
  }
  if (!digits)
    return false;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    size_t k = i + 1;
    std::string exponent = "e";
    if (k < s.size() && (s[k] == u'+' || s[k] == u'-'))
      exponent += static_cast<char>(s[k++]);
    const size_t firstDigit = k;
    while (k < s.size() && s[k] >= u'0' && s[k] <= u'9')
      exponent += static_cast<char>(s[k++]);
    if (k > firstDigit) {
      ascii += exponent;
      i = k;
    }
  }
  const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), out);
  if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(out))
    return false;
  pos = i;
  return true;
}

bool isSpace(char16_t c) { return c == u' '; }

std::u16string_view trimSpaces(std::u16string_view s) {
  while (!s.empty() && isSpace(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back()))
    s.remove_suffix(1);
  return s;
}

// Reads one real part: an optional sign, then a number written without
// spaces inside it (thousands separators allowed); spaces may stand around
// the whole and between the sign and the digits, as other programs accept.
bool readPart(std::u16string_view s, double &out) {
  s = trimSpaces(s);
  double sign = 1;
  if (!s.empty() && (s.front() == u'+' || s.front() == u'-')) {
    sign = s.front() == u'-' ? -1 : 1;
    s = trimSpaces(s.substr(1));
  }
  if (s.empty() || s.find(u' ') != std::u16string_view::npos || s.front() == u'+' ||
      s.front() == u'-')
    return false;
  size_t pos = 0;
  double v;
  if (!(readUnsigned(s, pos, v) && pos == s.size()) &&
      !formula::readNumber(s, 0, s.size(), true, v, platform::localeStrings()))
    return false;
  out = sign * v;
  return true;
}

// Reads "a", "bi", "a+bi", "a-bi", "i", "-i", "a+i" (or with "j"), with
// spaces around the text and around the numbers but none between a bare
// sign and its suffix ("1+ i" is no complex number). An empty text is none.
bool parseComplex(std::u16string_view s, ComplexText &out) {
  out = {};
  s = trimSpaces(s);
  if (s.empty())
    return false;
  double real;
  if (readPart(s, real)) {
    out.z = Complex(real, 0);
    return true;
  }
  if (!isSuffix(s.back()))
    return false;
  const std::u16string_view body = s.substr(0, s.size() - 1);
  // The imaginary part starts at the last sign that is not an exponent's.
  size_t split = 0;
  for (size_t k = body.size(); k-- > 1;) {
    if ((body[k] == u'+' || body[k] == u'-') && body[k - 1] != u'e' && body[k - 1] != u'E') {
      split = k;
      break;
    }
  }
  real = 0;
  if (split > 0 && !readPart(body.substr(0, split), real))
    return false;
  const std::u16string_view coefficient = body.substr(split);
  double imaginary;
  if (coefficient.empty() || coefficient == u"+")
    imaginary = 1;
  else if (coefficient == u"-")
    imaginary = -1;
  else if (!readPart(coefficient, imaginary))
    return false;
  out.z = Complex(real, imaginary);
  out.suffix = s.back();
  return true;
}

// The text of a complex number: a zero part is left out (both zero is "0")
// and a unit imaginary coefficient is written as the bare suffix.
CellValue complexResult(Complex z, char16_t suffix) {
  if (!std::isfinite(z.real()) || !std::isfinite(z.imag()))
    return errorValue(ErrorCode::Num);
  const platform::LocaleStrings &locale = platform::localeStrings();
  std::u16string text;
  if (z.real() != 0)
    text = formula::numberToText(z.real(), locale);
  if (z.imag() != 0) {
    std::u16string coefficient = formula::numberToText(std::fabs(z.imag()), locale);
    if (z.imag() < 0)
      text += u'-';
    else if (!text.empty())
      text += u'+';
    if (coefficient != u"1")
      text += coefficient;
    text += suffix ? suffix : u'i';
  }
  return CellValue::string(text.empty() ? std::u16string_view(u"0") : std::u16string_view(text));
}

// The suffix shared by two operands; false when they use different ones.
bool joinSuffix(char16_t &into, char16_t other) {
  if (!other)
    return true;
  if (into && into != other)
    return false;
  into = other;
  return true;
}

bool complexArgument(const Arguments &args, int i, ComplexText &out, CellValue &result) {
  if (parseComplex(args[i].isString() ? std::u16string_view(args[i].stringValue()) : u"", out))
    return true;
  result = errorValue(ErrorCode::Num);
  return false;
}

template <double (*Part)(Complex)>
void complexToNumber(Arguments &args, CellValue &result, EvalContext &) {
  ComplexText a;
  if (complexArgument(args, 0, a, result))
    result = numberResult(Part(a.z));
}

double realPart(Complex z) { return z.real(); }
double imaginaryPart(Complex z) { return z.imag(); }
double modulus(Complex z) { return std::hypot(z.real(), z.imag()); }

void imargumentHandler(Arguments &args, CellValue &result, EvalContext &) {
  ComplexText a;
  if (!complexArgument(args, 0, a, result))
    return;
  // The angle of 0 is undefined.
  result = a.z == Complex(0, 0) ? errorValue(ErrorCode::Div0)
                                : numberResult(std::atan2(a.z.imag(), a.z.real()));
}

// A complex function of one complex argument; false from `fn` is #NUM!.
template <bool (*Fn)(Complex, Complex &)>
void complexUnary(Arguments &args, CellValue &result, EvalContext &) {
  ComplexText a;
  if (!complexArgument(args, 0, a, result))
    return;
  Complex z;
  result = Fn(a.z, z) ? complexResult(z, a.suffix) : errorValue(ErrorCode::Num);
}

bool conjugate(Complex a, Complex &z) {
  z = std::conj(a);
  return true;
}
bool complexCos(Complex a, Complex &z) {
  z = std::cos(a);
  return true;
}
bool complexSin(Complex a, Complex &z) {
  z = std::sin(a);
  return true;
}
bool complexExp(Complex a, Complex &z) {
  z = std::exp(a);
  return true;
}
bool complexSqrt(Complex a, Complex &z) {
  z = std::sqrt(a);
  return true;
}
bool complexLn(Complex a, Complex &z) {
  if (a == Complex(0, 0))
    return false;
  z = std::log(a);
  return true;
}
bool complexLog10(Complex a, Complex &z) {
  if (!complexLn(a, z))
    return false;
  z /= std::numbers::ln10;
  return true;
}
bool complexLog2(Complex a, Complex &z) {
  if (!complexLn(a, z))
    return false;
  z /= std::numbers::ln2;
  return true;
}

void complexHandler(Arguments &args, CellValue &result, EvalContext &) {
  char16_t suffix = u'i';
  if (!isMissing(args, 2)) {
    const std::u16string_view s = args[2].stringValue();
    if (s == u"j")
      suffix = u'j';
    else if (!s.empty() && s != u"i") {
      result = errorValue(ErrorCode::Value);
      return;
    }
  }
  result = complexResult(Complex(args[0].numberValue(), args[1].numberValue()), suffix);
}

void imdivHandler(Arguments &args, CellValue &result, EvalContext &) {
  ComplexText a, b;
  if (!complexArgument(args, 0, a, result) || !complexArgument(args, 1, b, result))
    return;
  char16_t suffix = a.suffix;
  if (!joinSuffix(suffix, b.suffix))
    result = errorValue(ErrorCode::Value);
  else if (b.z == Complex(0, 0))
    result = errorValue(ErrorCode::Num);
  else
    result = complexResult(a.z / b.z, suffix);
}

void imsubHandler(Arguments &args, CellValue &result, EvalContext &) {
  ComplexText a, b;
  if (!complexArgument(args, 0, a, result) || !complexArgument(args, 1, b, result))
    return;
  char16_t suffix = a.suffix;
  result = joinSuffix(suffix, b.suffix) ? complexResult(a.z - b.z, suffix)
                                        : errorValue(ErrorCode::Value);
}

// Whole powers by repeated squaring keep exact cases exact (i squared is -1,
// not -1 with a trace of imaginary rounding); other powers go through the
// polar form.
bool complexPower(Complex base, double n, Complex &out) {
  if (base == Complex(0, 0)) {
    if (!(n > 0))
      return false;
    out = 0;
    return true;
  }
  if (n == std::trunc(n) && std::fabs(n) <= 1 << 20) {
    auto e = static_cast<std::int64_t>(std::fabs(n));
    Complex r(1, 0), b = base;
    for (; e != 0; e >>= 1) {
      if (e & 1)
        r *= b;
      b *= b;
    }
    out = n < 0 ? Complex(1, 0) / r : r;
    return true;
  }
  const double radius = std::pow(std::hypot(base.real(), base.imag()), n);
  const double angle = n * std::arg(base);
  out = Complex(radius * std::cos(angle), radius * std::sin(angle));
  return true;
}

void impowerHandler(Arguments &args, CellValue &result, EvalContext &) {
  ComplexText a;
  if (!complexArgument(args, 0, a, result))
    return;
  Complex z;
  result = complexPower(a.z, args[1].numberValue(), z) ? complexResult(z, a.suffix)
                                                       : errorValue(ErrorCode::Num);
}

// IMSUM and IMPRODUCT: every argument is a complex text, a number, or a
// reference or array of them; empty arguments and blank cells are passed
// over, booleans are #VALUE!, and the first error is the result.
template <bool Product> void complexFold(Arguments &args, CellValue &result, EvalContext &ctx) {
  Complex total = Product ? Complex(1, 0) : Complex(0, 0);
  char16_t suffix = 0;
  bool any = false;
  CellValue failure;
  auto take = [&](const CellValue &v) {
    ComplexText c;
    switch (v.kind()) {
    case ValueKind::Empty:
      return true;
    case ValueKind::Number:
      c.z = v.numberValue();
      break;
    case ValueKind::String:
      if (!parseComplex(v.stringValue(), c)) {
        failure = errorValue(ErrorCode::Num);
        return false;
      }
      break;
    case ValueKind::Error:
      failure = v;
      return false;
    default:
      failure = errorValue(ErrorCode::Value);
      return false;
    }
    if (!joinSuffix(suffix, c.suffix)) {
      failure = errorValue(ErrorCode::Value);
      return false;
    }
    total = Product ? total * c.z : total + c.z;
    any = true;
    return true;
  };
  for (int i = 0; i < args.count && !failure.isError(); ++i) {
    const CellValue &a = args[i];
    if (a.isReference() || a.isMultiArea()) {
      forEachReferencedCell(a, ctx, [&](int, int, int, const CellValue &v) { return take(v); });
    } else if (a.isArray()) {
      for (int r = 0; r < a.arrayRows() && !failure.isError(); ++r)
        for (int c = 0; c < a.arrayColumns() && !failure.isError(); ++c)
          take(a.arrayItem(r, c));
    } else {
      take(a);
    }
  }
  if (failure.isError())
    result = failure;
  else
    result = complexResult(any ? total : Complex(0, 0), suffix);
}

// ---- Bessel functions ----

constexpr double kEuler = 0.5772156649015329;
constexpr double kPi = std::numbers::pi;
// Orders beyond this many recurrence steps are out of reach and give #NUM!.
constexpr double kMaxSteps = 2e7;
constexpr double kRescale = 1e250;

// Hankel's asymptotic expansion of order n at large x:
// J = sqrt(2/(pi x)) (P cos w - Q sin w), Y = sqrt(2/(pi x)) (P sin w + Q cos w),
// w = x - (2n + 1) pi / 4. False when the series diverges before reaching
// full precision (x too small for the order).
bool hankel(double n, double x, double &jn, double &yn) {
  const double mu = 4 * n * n;
  double p = 1, q = 0, term = 1;
  bool converged = false;
  for (int k = 1; k < 200; ++k) {
    const double odd = 2.0 * k - 1;
    const double next = term * (mu - odd * odd) / (8.0 * k * x);
    if (std::fabs(next) > std::fabs(term) && k > 1)
      break;
    term = next;
    switch (k % 4) {
    case 1:
      q += term;
      break;
    case 2:
      p -= term;
      break;
    case 3:
      q -= term;
      break;
    default:
      p += term;
      break;
    }
    if (std::fabs(term) < 1e-17 * (std::fabs(p) + std::fabs(q))) {
      converged = true;
      break;
    }
  }
  if (!converged)
    return false;
  // cos and sin of (2n + 1) pi / 4 from n mod 4; x itself is reduced by the
  // library, which stays exact for huge x where x - pi/4 would not.
  const double h = std::numbers::sqrt2 / 2;
  static constexpr int kSigns[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
  const int m = static_cast<int>(std::fmod(n, 4.0));
  const double cp = kSigns[m][0] * h, sp = kSigns[m][1] * h;
  const double c = std::cos(x), s = std::sin(x);
  const double cw = c * cp + s * sp, sw = s * cp - c * sp;
  const double scale = std::sqrt(2 / (kPi * x));
  jn = scale * (p * cw - q * sw);
  yn = scale * (p * sw + q * cw);
  return true;
}

// Miller's backward recurrence for J from an order well above n and x,
// normalised by J0 + 2 (J2 + J4 + ...) = 1. Also yields J0, J1 and the two
// Neumann sums Y0 and Y1 are built from:
// s0 = sum (-1)^k J2k / k, s1 = sum (-1)^k (J2k-1 - J2k+1) / k, k >= 1.
struct MillerResult {
  double jn = 0, j0 = 0, j1 = 0, s0 = 0, s1 = 0;
};

MillerResult millerJ(double n, double x) {
  const double top = std::max(n, x);
  auto m = static_cast<std::int64_t>(top + 30 + 10 * std::sqrt(top));
  m += m & 1;
  double above = 0, here = 1e-30, norm = 0;
  MillerResult r;
  auto collect = [&](std::int64_t order, double value) {
    if (static_cast<double>(order) == n)
      r.jn = value;
    if (order == 1)
      r.j1 = value;
    if (order % 2 == 0) {
      norm += order == 0 ? value : 2 * value;
      if (order > 0) {
        const std::int64_t k = order / 2;
        r.s0 += (k % 2 ? -value : value) / static_cast<double>(k);
      }
    } else {
      // J(order) enters s1 as J2k-1 with k = (order+1)/2 and as -J2k+1 with k = (order-1)/2.
      const std::int64_t k1 = (order + 1) / 2, k2 = (order - 1) / 2;
      r.s1 += (k1 % 2 ? -value : value) / static_cast<double>(k1);
      if (k2 > 0)
        r.s1 -= (k2 % 2 ? -value : value) / static_cast<double>(k2);
    }
  };
  collect(m, here);
  for (std::int64_t k = m; k > 0; --k) {
    const double below = 2.0 * static_cast<double>(k) / x * here - above;
    above = here;
    here = below;
    collect(k - 1, here);
    if (std::fabs(here) > kRescale) {
      here /= kRescale;
      above /= kRescale;
      r.jn /= kRescale;
      r.j1 /= kRescale;
      r.s0 /= kRescale;
      r.s1 /= kRescale;
      norm /= kRescale;
    }
  }
  r.j0 = here;
  r.jn /= norm;
  r.j0 /= norm;
  r.j1 /= norm;
  r.s0 /= norm;
  r.s1 /= norm;
  return r;
}

// J and Y of orders 0 and 1 by the ascending series, for small x.
void smallJY(double x, double &j0, double &j1, double &y0, double &y1) {
  const double q = x * x / 4, lg = std::log(x / 2);
  double t0 = 1, t1 = x / 2, h = 0;
  j0 = 0;
  j1 = 0;
  double s0 = 0, s1 = 0;
  double psiK = -kEuler, psiK1 = 1 - kEuler; // psi(k+1), psi(k+2)
  for (int k = 0; k < 60; ++k) {
    j0 += t0;
    j1 += t1;
    if (k > 0)
      s0 -= h * t0; // sum of (-1)^(k+1) H_k q^k / k!^2
    s1 += (psiK + psiK1) * t1;
    t0 *= -q / ((k + 1.0) * (k + 1.0));
    t1 *= -q / ((k + 1.0) * (k + 2.0));
    h += 1.0 / (k + 1);
    psiK += 1.0 / (k + 1);
    psiK1 += 1.0 / (k + 2);
    if (std::fabs(t0) < 1e-18 && std::fabs(t1) < 1e-18)
      break;
  }
  y0 = 2 / kPi * ((lg + kEuler) * j0 + s0);
  y1 = -2 / (kPi * x) + 2 / kPi * lg * j1 - s1 / kPi;
}

// J0, J1, Y0, Y1 at x > 0.
void besselOrders01(double x, double &j0, double &j1, double &y0, double &y1) {
  if (x < 1) {
    smallJY(x, j0, j1, y0, y1);
    return;
  }
  if (x >= 25 && hankel(0, x, j0, y0) && hankel(1, x, j1, y1))
    return;
  const MillerResult m = millerJ(1, x);
  j0 = m.j0;
  j1 = m.j1;
  const double a = 2 / kPi * (std::log(x / 2) + kEuler);
  y0 = a * j0 - 4 / kPi * m.s0;
  y1 = -2 / (kPi * x) * j0 + a * j1 + 2 / kPi * m.s1;
}

// J_n(x) by its ascending series, for x < 1 where the terms fall at once.
double seriesJ(double n, double x) {
  double term = 1;
  for (double k = 1; k <= n && term != 0; ++k)
    term *= x / 2 / k;
  const double q = x * x / 4;
  double sum = term;
  for (double k = 1; k < 40 && term != 0; ++k) {
    term *= -q / (k * (n + k));
    sum += term;
  }
  return sum;
}

// J_n(x) for x >= 0.
bool besselJ(double n, double x, double &out) {
  if (x == 0) {
    out = n == 0 ? 1 : 0;
    return true;
  }
  if (n >= 2000 && n >= 2 * x) {
    out = 0; // below the smallest double: J_n(x) < (e x / 2n)^n <= (e/4)^2000
    return true;
  }
  if (x < 1) {
    out = seriesJ(n, x);
    return true;
  }
  double y;
  if (x >= 25 && n < x) {
    if (hankel(n, x, out, y))
      return true;
    if (n > kMaxSteps)
      return false;
    double j0, j1, y0, y1;
    besselOrders01(x, j0, j1, y0, y1);
    // Forward recurrence is stable while the order stays below x.
    double prev = j0, cur = j1;
    for (double k = 1; k < n; ++k) {
      const double next = 2 * k / x * cur - prev;
      prev = cur;
      cur = next;
    }
    out = n == 0 ? j0 : cur;
    return true;
  }
  if (std::max(n, x) > kMaxSteps)
    return false;
  out = millerJ(n, x).jn;
  return true;
}

// Y_n(x) for x > 0.
bool besselY(double n, double x, double &out) {
  double j;
  if (x >= 25 && hankel(n, x, j, out))
    return true;
  double j0, j1, y0, y1;
  besselOrders01(x, j0, j1, y0, y1);
  double prev = y0, cur = y1;
  if (n == 0) {
    out = y0;
    return true;
  }
  for (double k = 1; k < n; ++k) {
    if (k > kMaxSteps || std::fabs(cur) > 1e300)
      return false;
    const double next = 2 * k / x * cur - prev;
    prev = cur;
    cur = next;
  }
  out = cur;
  return std::isfinite(out);
}

// The leading exponent of the uniform expansion: ln I_n(x) is about
// sqrt(x^2 + n^2) - n asinh(n / x) - ln(2 pi sqrt(x^2 + n^2)) / 2, and
// ln K_n(x) about its negation with ln(pi / (2 sqrt(x^2 + n^2))) / 2. Used
// only to settle overflow and underflow before summing.
double uniformExponent(double n, double x) {
  const double r = std::hypot(x, n);
  return r - n * std::asinh(n / x);
}

// I_n(x) for x > 0 by the ascending series, summed relative to its first
// term with the scale kept apart so neither part overflows.
bool besselI(double n, double x, double &out) {
  const double lead = uniformExponent(n, x) - 0.5 * std::log(2 * kPi * std::hypot(x, n));
  if (lead > 720)
    return false;
  if (lead < -760) {
    out = 0;
    return true;
  }
  double logFirst = 0;
  if (n <= 1e5)
    for (double k = 1; k <= n; ++k)
      logFirst += std::log(x / 2 / k);
  else
    logFirst = n * std::log(x / 2) - std::lgamma(n + 1);
  const double q = x * x / 4;
  double sum = 1, term = 1, logScale = 0;
  for (double k = 1;; ++k) {
    if (k > kMaxSteps)
      return false;
    term *= q / (k * (n + k));
    sum += term;
    if (term < 1e-17 * sum && k * (n + k) > q)
      break;
    if (sum > kRescale) {
      sum /= kRescale;
      term /= kRescale;
      logScale += std::log(kRescale);
    }
  }
  const double logValue = logFirst + logScale + std::log(sum);
  if (logValue > 709.78)
    return false;
  out = std::exp(logValue);
  return true;
}

// e^x K0(x) and e^x K1(x) from K_n(x) = integral over t > 0 of
// exp(-x cosh t) cosh(n t). The trapezoidal rule converges geometrically
// for this integrand; the step shrinks with 1/sqrt(x) because the peak at
// t = 0 narrows.
void scaledK01(double x, double &k0, double &k1) {
  const double h = std::min(0.25, 0.5 / std::sqrt(x));
  k0 = 0.5;
  k1 = 0.5;
  for (int i = 1; i < 100000; ++i) {
    const double t = i * h;
    const double sh = std::sinh(t / 2);
    const double f = std::exp(-2 * x * sh * sh); // exp(-x (cosh t - 1))
    k0 += f;
    k1 += f * std::cosh(t);
    if (f * std::cosh(t) < 1e-18 * k1)
      break;
  }
  k0 *= h;
  k1 *= h;
}

// e^x K0(x) and e^x K1(x) by the ascending series, for x < 1, where the
// integral would need a very long range.
void smallScaledK01(double x, double &k0, double &k1) {
  const double q = x * x / 4, lg = std::log(x / 2);
  double t0 = 1, t1 = x / 2, i0 = 0, i1 = 0, s0 = 0, s1 = 0, h = 0;
  double psiK = -kEuler, psiK1 = 1 - kEuler; // psi(k+1), psi(k+2)
  for (int k = 0; k < 40; ++k) {
    i0 += t0;
    i1 += t1;
    s0 += h * t0;
    s1 += (psiK + psiK1) * t1;
    t0 *= q / ((k + 1.0) * (k + 1.0));
    t1 *= q / ((k + 1.0) * (k + 2.0));
    h += 1.0 / (k + 1);
    psiK += 1.0 / (k + 1);
    psiK1 += 1.0 / (k + 2);
  }
  const double e = std::exp(x);
  k0 = e * (-(lg + kEuler) * i0 + s0);
  k1 = e * (1 / x + lg * i1 - s1 / 2);
}

// K_n(x) for x > 0: forward recurrence from K0 and K1, which is stable for
// K, on values scaled by e^x and rescaled as they grow.
bool besselK(double n, double x, double &out) {
  const double lead = -uniformExponent(n, x) + 0.5 * std::log(kPi / (2 * std::hypot(x, n)));
  if (lead > 720)
    return false;
  if (lead < -760) {
    out = 0;
    return true;
  }
  if (n > kMaxSteps)
    return false;
  double prev, cur;
  if (x < 1)
    smallScaledK01(x, prev, cur);
  else
    scaledK01(x, prev, cur);
  double logScale = 0;
  if (n == 0)
    cur = prev;
  for (double k = 1; k < n; ++k) {
    const double next = prev + 2 * k / x * cur;
    prev = cur;
    cur = next;
    if (cur > kRescale) {
      cur /= kRescale;
      prev /= kRescale;
      logScale += std::log(kRescale);
    }
  }
  const double logValue = std::log(cur) + logScale - x;
  if (logValue > 709.78)
    return false;
  out = std::exp(logValue);
  return true;
}

// The order is truncated and must not be negative.
bool besselOrder(const Arguments &args, double &n) {
  n = std::trunc(args[1].numberValue());
  return n >= 0;
}

// J and I of negative x: J_n(-x) = (-1)^n J_n(x), the same for I.
template <bool (*Fn)(double, double, double &)>
void besselOddEven(Arguments &args, CellValue &result, EvalContext &) {
  double n, value;
  const double x = args[0].numberValue();
  if (!besselOrder(args, n) || !Fn(n, std::fabs(x), value)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (x < 0 && std::fmod(n, 2.0) == 1)
    value = -value;
  result = numberResult(value);
}

bool besselIAt(double n, double x, double &out) {
  if (x == 0) {
    out = n == 0 ? 1 : 0;
    return true;
  }
  return besselI(n, x, out);
}

// Y and K are defined for x > 0 only.
template <bool (*Fn)(double, double, double &)>
void besselPositive(Arguments &args, CellValue &result, EvalContext &) {
  double n, value;
  const double x = args[0].numberValue();
  if (!besselOrder(args, n) || !(x > 0) || !Fn(n, x, value)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(value);
}

// ---- the rest ----

void erfHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double lower = args[0].numberValue();
  if (lower < 0) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (isMissing(args, 1)) {
    result = numberResult(std::erf(lower));
    return;
  }
  const double upper = args[1].numberValue();
  result = upper < 0 ? errorValue(ErrorCode::Num) : numberResult(std::erf(upper) - std::erf(lower));
}

void erfcHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double x = args[0].numberValue();
  result = x < 0 ? errorValue(ErrorCode::Num) : numberResult(std::erfc(x));
}

void deltaHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = CellValue::number(args[0].numberValue() == numberOr(args, 1, 0) ? 1 : 0);
}

void gestepHandler(Arguments &args, CellValue &result, EvalContext &) {
  result = CellValue::number(args[0].numberValue() >= numberOr(args, 1, 0) ? 1 : 0);
}

// n!! = n (n - 2) (n - 4) ...; 0!! and (-1)!! are 1 by convention, lower
// numbers have none.
void factdoubleHandler(Arguments &args, CellValue &result, EvalContext &) {
  const double n = std::trunc(args[0].numberValue());
  if (n < -1) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  double product = 1;
  for (double k = n; k > 1 && std::isfinite(product); k -= 2)
    product *= k;
  result = numberResult(product);
}

// clang-format off
constexpr HandlerRow kEngineeringHandlers[] = {
    {u"BESSELI",     besselOddEven<besselIAt>},
    {u"BESSELJ",     besselOddEven<besselJ>},
    {u"BESSELK",     besselPositive<besselK>},
    {u"BESSELY",     besselPositive<besselY>},
    {u"BIN2DEC",     fromDigitsToDecimal<kBinary>},
    {u"BIN2HEX",     fromDigitsToBase<kBinary, kHex>},
    {u"BIN2OCT",     fromDigitsToBase<kBinary, kOctal>},
    {u"COMPLEX",     complexHandler},
    {u"CONVERT",     convertHandler},
    {u"DEC2BIN",     dec2binHandler},
    {u"DEC2HEX",     dec2hexHandler},
    {u"DEC2OCT",     dec2octHandler},
    {u"DELTA",       deltaHandler},
    {u"ERF",         erfHandler},
    {u"ERFC",        erfcHandler},
    {u"FACTDOUBLE",  factdoubleHandler},
    {u"GESTEP",      gestepHandler},
    {u"HEX2BIN",     fromHex<kBinary>},
    {u"HEX2DEC",     hex2decHandler},
    {u"HEX2OCT",     fromHex<kOctal>},
    {u"IMABS",       complexToNumber<modulus>},
    {u"IMAGINARY",   complexToNumber<imaginaryPart>},
    {u"IMARGUMENT",  imargumentHandler},
    {u"IMCONJUGATE", complexUnary<conjugate>},
    {u"IMCOS",       complexUnary<complexCos>},
    {u"IMDIV",       imdivHandler},
    {u"IMEXP",       complexUnary<complexExp>},
    {u"IMLN",        complexUnary<complexLn>},
    {u"IMLOG10",     complexUnary<complexLog10>},
    {u"IMLOG2",      complexUnary<complexLog2>},
    {u"IMPOWER",     impowerHandler},
    {u"IMPRODUCT",   complexFold<true>},
    {u"IMREAL",      complexToNumber<realPart>},
    {u"IMSIN",       complexUnary<complexSin>},
    {u"IMSQRT",      complexUnary<complexSqrt>},
    {u"IMSUB",       imsubHandler},
    {u"IMSUM",       complexFold<false>},
    {u"OCT2BIN",     fromDigitsToBase<kOctal, kBinary>},
    {u"OCT2DEC",     fromDigitsToDecimal<kOctal>},
    {u"OCT2HEX",     fromDigitsToBase<kOctal, kHex>},
};
// clang-format on

} // namespace

void registerEngineeringFunctions() { registerRows(kEngineeringHandlers); }

} // namespace functions
