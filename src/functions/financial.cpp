// The financial functions: annuities, depreciation, cash-flow rates and the
// securities functions. Counts and codes are truncated toward zero; every
// result goes through numberResult, so an overflow is #NUM!, never a
// non-finite number.

#include "functions/families.h"
#include "functions/function_helpers.h"
#include "functions/gather.h"

#include "formula/text_value.h"
#include "model/workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace functions {
namespace {

void setError(CellValue& result, ErrorCode code) { result = CellValue::error(code); }

double arg(const Arguments& args, int i) { return args[i].numberValue(); }

/// Truncated toward zero, kept where integer arithmetic is safe; NaN is 0.
long long whole(double x) {
  if (std::isnan(x))
    return 0;
  return static_cast<long long>(std::trunc(std::clamp(x, -4e15, 4e15)));
}

// ---- the annuity core ----

/// (1 + r)^n, accurate for small r.
double growth(double r, double n) {
  return r > -1 ? std::exp(n * std::log1p(r)) : std::pow(1 + r, n);
}

/// ((1 + r)^n - 1) / r, with its limit n at r = 0.
double annuityFactor(double r, double n) {
  if (r == 0)
    return n;
  return r > -1 ? std::expm1(n * std::log1p(r)) / r : (std::pow(1 + r, n) - 1) / r;
}

/// The future value of an annuity, the closed form n x p + v at rate 0.
double futureValue(double r, double n, double p, double v, int t) {
  return -((r * t + 1) * annuityFactor(r, n) * p + growth(r, n) * v);
}

/// The payment of an annuity; at rate 0 the principal spread evenly.
double payment(double r, double n, double v, double fv, int t) {
  return -((growth(r, n) * v + fv) / (annuityFactor(r, n) * (1 + r * t)));
}

int typeArg(const Arguments& args, int i) { return isMissing(args, i) || arg(args, i) == 0 ? 0 : 1; }

void fvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double n = static_cast<double>(whole(arg(args, 1)));
  result = numberResult(futureValue(arg(args, 0), n, numberOr(args, 2, 0), numberOr(args, 3, 0),
                                    typeArg(args, 4)));
}

void pmtHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double n = static_cast<double>(whole(arg(args, 1)));
  if (n == 0)
    return setError(result, ErrorCode::Num);
  result = numberResult(
      payment(arg(args, 0), n, numberOr(args, 2, 0), numberOr(args, 3, 0), typeArg(args, 4)));
}

void pvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double r = arg(args, 0), n = arg(args, 1);
  if (r == 0)
    return setError(result, ErrorCode::Num);
  const double p = numberOr(args, 2, 0), fv = numberOr(args, 3, 0);
  const int t = typeArg(args, 4);
  result = numberResult(-(((r * t + 1) * annuityFactor(r, n) * p + fv) / growth(r, n)));
}

void nperHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double r = arg(args, 0), p = arg(args, 1), v = arg(args, 2);
  const double fv = numberOr(args, 3, 0);
  if (r == 0)
    return setError(result, ErrorCode::Div0);
  const double q = (r * typeArg(args, 4) + 1) * p;
  result = numberResult(std::log((q - r * fv) / (q + r * v)) / std::log1p(r));
}

/// The interest part of payment `per` (1-based) of an annuity.
double interestPart(double r, double per, double n, double v, double fv, int t) {
  if (r == 0)
    return 0;
  const double pmt = payment(r, n, v, fv, t);
  double balance;
  if (t == 1) {
    if (per == 1)
      return 0;
    balance = futureValue(r, per - 2, pmt, v, 1) - pmt;
  } else {
    balance = futureValue(r, per - 1, pmt, v, 0);
  }
  return balance * r;
}

bool periodArgs(const Arguments& args, double& per, double& n) {
  per = static_cast<double>(whole(arg(args, 1)));
  n = static_cast<double>(whole(arg(args, 2)));
  return per >= 1 && per <= n;
}

void ipmtHandler(Arguments& args, CellValue& result, EvalContext&) {
  double per, n;
  if (!periodArgs(args, per, n))
    return setError(result, ErrorCode::Num);
  result = numberResult(interestPart(arg(args, 0), per, n, arg(args, 3), numberOr(args, 4, 0),
                                     typeArg(args, 5)));
}

void ppmtHandler(Arguments& args, CellValue& result, EvalContext&) {
  double per, n;
  if (!periodArgs(args, per, n))
    return setError(result, ErrorCode::Num);
  const double r = arg(args, 0), v = arg(args, 3), fv = numberOr(args, 4, 0);
  const int t = typeArg(args, 5);
  result = numberResult(payment(r, n, v, fv, t) - interestPart(r, per, n, v, fv, t));
}

void ispmtHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double n = arg(args, 2);
  if (n == 0)
    return setError(result, ErrorCode::Div0);
  const double per = static_cast<double>(whole(arg(args, 1)));
  result = numberResult(arg(args, 3) * arg(args, 0) * (per / n - 1));
}

/// Periods CUMIPMT and CUMPRINC add up one by one; a longer span is #NUM!
/// rather than a long wait.
constexpr long long kMaxCumulativePeriods = 10000000;

/// Cumulative interest (or principal) paid from period `first` to `last`.
void cumulative(Arguments& args, CellValue& result, bool principal) {
  const double r = arg(args, 0), v = arg(args, 2);
  const long long n = whole(arg(args, 1)), first = whole(arg(args, 3)), last = whole(arg(args, 4));
  const double typeValue = arg(args, 5);
  if (r <= 0 || n <= 0 || v <= 0 || first < 1 || last < first || last > n ||
      (typeValue != 0 && typeValue != 1) || last - first >= kMaxCumulativePeriods)
    return setError(result, ErrorCode::Num);
  const int t = static_cast<int>(typeValue);
  const double nd = static_cast<double>(n);
  const double pmt = payment(r, nd, v, 0, t);
  double sum = 0;
  for (long long k = first; k <= last; ++k) {
    const double interest = interestPart(r, static_cast<double>(k), nd, v, 0, t);
    sum += principal ? pmt - interest : interest;
  }
  result = numberResult(sum);
}

void cumipmtHandler(Arguments& a, CellValue& r, EvalContext&) { cumulative(a, r, false); }
void cumprincHandler(Arguments& a, CellValue& r, EvalContext&) { cumulative(a, r, true); }

// ---- the solver ----

struct SolverLimits {
  double step;
  double tolerance;
  int limit;
};

/// Newton's method with a central difference whose step shrinks fourfold
/// each round. False when the limit is reached, the difference vanishes or
/// g stops being finite.
template <class G> bool solve(G g, double x, const SolverLimits& s, double& root) {
  double h = s.step;
  for (int i = 0;; ++i) {
    const double gx = g(x);
    if (!std::isfinite(gx))
      return false;
    if (std::fabs(gx) < s.tolerance) {
      root = x;
      return true;
    }
    if (i == s.limit)
      return false;
    const double lo = g(x - h), hi = g(x + h);
    if (lo == hi || !std::isfinite(lo) || !std::isfinite(hi))
      return false;
    x -= gx * 2 * h / (hi - lo);
    h *= 0.25;
    if (!std::isfinite(x))
      return false;
  }
}

void rateHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double n = static_cast<double>(whole(arg(args, 0)));
  const double p = arg(args, 1), v = arg(args, 2), fv = numberOr(args, 3, 0);
  const int t = typeArg(args, 4);
  if (n <= 0)
    return setError(result, ErrorCode::Num);
  double root;
  if (!solve([&](double x) { return futureValue(x, n, p, v, t) - fv; }, numberOr(args, 5, 0.1),
             {0.01, 1e-7, 20}, root))
    return setError(result, ErrorCode::Num);
  result = numberResult(root);
}

// ---- cash flows ----

/// The numbers of one cash-flow argument (array or reference, reading
/// order, numbers only); false with `result` set to the error met.
bool cashFlows(const CellValue& values, EvalContext& ctx, std::vector<double>& out,
               CellValue& result) {
  NumberList list;
  if (values.isError()) {
    result = values;
    return false;
  }
  if (!gatherArgument(values, ctx, GatherOptions{}, list)) {
    result = list.error;
    return false;
  }
  out = std::move(list.numbers);
  return true;
}

bool hasBothSigns(const std::vector<double>& v) {
  return std::any_of(v.begin(), v.end(), [](double x) { return x > 0; }) &&
         std::any_of(v.begin(), v.end(), [](double x) { return x < 0; });
}

void npvHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const double r = arg(args, 0);
  NumberList list;
  if (!gatherNumbers(args, 1, ctx, GatherOptions{}, list)) {
    result = list.error;
    return;
  }
  if (r == -1)
    return setError(result, ErrorCode::Div0);
  double sum = 0, discount = 1;
  for (double x : list.numbers) {
    discount *= 1 + r;
    sum += x / discount;
  }
  result = numberResult(sum);
}

void irrHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> v;
  if (!cashFlows(args[0], ctx, v, result))
    return;
  // Without both an outlay and a return there is no rate; the polynomial
  // may still have a root below -100%, which is not one.
  if (!hasBothSigns(v))
    return setError(result, ErrorCode::Num);
  auto npv = [&](double x) {
    double sum = 0, discount = 1;
    for (double value : v) {
      discount *= 1 + x;
      sum += value / discount;
    }
    return sum;
  };
  double root;
  if (!solve(npv, numberOr(args, 1, 0.1), {0.01, 1e-7, 20}, root) || root <= -1)
    return setError(result, ErrorCode::Num);
  result = numberResult(root);
}

// Each value is discounted by its position among all the values (1-based),
// inflows at the reinvestment rate and outflows at the finance rate; the
// inflows are then carried to the last period. Counting positions within
// each sign instead is wrong as soon as inflows and outflows alternate.
void mirrHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> v;
  if (!cashFlows(args[0], ctx, v, result))
    return;
  const double finance = arg(args, 1), reinvest = arg(args, 2);
  if (!hasBothSigns(v))
    return setError(result, ErrorCode::Div0);
  if (finance == -1 || reinvest == -1)
    return setError(result, ErrorCode::Div0);
  double pvPositive = 0, pvNegative = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    const double position = static_cast<double>(i + 1);
    if (v[i] >= 0)
      pvPositive += v[i] / growth(reinvest, position);
    else
      pvNegative += v[i] / growth(finance, position);
  }
  const double n = static_cast<double>(v.size());
  const double ratio = -(pvPositive * growth(reinvest, n)) / (pvNegative * (1 + finance));
  if (ratio < 0)
    return setError(result, ErrorCode::Num);
  result = numberResult(std::pow(ratio, 1 / (n - 1)) - 1);
}

void fvscheduleHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double value = arg(args, 0);
  GatherOptions options;
  options.numbersOnly = false; // text in the schedule is an error, blanks are rates of 0
  NumberList list;
  if (args[1].isError()) {
    result = args[1];
    return;
  }
  if (!gatherArgument(args[1], ctx, options, list)) {
    result = list.error;
    return;
  }
  for (double r : list.numbers)
    value *= 1 + r;
  result = numberResult(value);
}

/// Values and dates of XNPV and XIRR, paired by position: as many of each,
/// at least two; an error in either is the result (the first by position,
/// the value before its date), a pair that is not two numbers (a blank or a
/// text) is #VALUE!; dates are truncated and none may lie before the first.
bool datedFlows(const CellValue& values, const CellValue& dates, EvalContext& ctx,
                std::vector<double>& v, std::vector<double>& d, CellValue& result) {
  SparseArray av, ad;
  if (!sparseArgument(values, ctx, av, result) || !sparseArgument(dates, ctx, ad, result))
    return false;
  if (av.size() != ad.size() || av.size() < 2) {
    setError(result, ErrorCode::Num);
    return false;
  }
  size_t errorAt = av.size();
  for (const SparseArray* a : {&av, &ad})
    for (const auto& [at, x] : a->items)
      if (x.isError()) {
        if (at < errorAt) {
          errorAt = at;
          result = x;
        }
        break;
      }
  if (errorAt < av.size())
    return false;
  // Sparse arrays hold only what is not empty: a missing element is a blank.
  if (av.items.size() != av.size() || ad.items.size() != ad.size()) {
    setError(result, ErrorCode::Value);
    return false;
  }
  v.resize(av.size());
  d.resize(ad.size());
  for (size_t k = 0; k < av.size(); ++k) {
    const CellValue& x = av.items[k].second;
    const CellValue& t = ad.items[k].second;
    if (!x.isNumber() || !t.isNumber()) {
      setError(result, ErrorCode::Value);
      return false;
    }
    v[k] = x.numberValue();
    d[k] = std::trunc(t.numberValue());
  }
  for (const double x : d)
    if (x < 0 || x < d[0]) {
      setError(result, ErrorCode::Num);
      return false;
    }
  return true;
}

double datedNpv(double r, const std::vector<double>& v, const std::vector<double>& d) {
  double sum = 0;
  for (size_t i = 0; i < v.size(); ++i)
    sum += v[i] / growth(r, (d[i] - d[0]) / 365);
  return sum;
}

void xnpvHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> v, d;
  if (!datedFlows(args[1], args[2], ctx, v, d, result))
    return;
  const double r = arg(args, 0);
  if (r <= -1)
    return setError(result, ErrorCode::Num);
  result = numberResult(datedNpv(r, v, d));
}

void xirrHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> v, d;
  if (!datedFlows(args[0], args[1], ctx, v, d, result))
    return;
  if (!hasBothSigns(v))
    return setError(result, ErrorCode::Num);
  double root;
  if (!solve([&](double x) { return x <= -1 ? NAN : datedNpv(x, v, d); }, numberOr(args, 2, 0.1),
             {0.1, 1e-7, 100}, root))
    return setError(result, ErrorCode::Num);
  result = numberResult(root);
}

// ---- depreciation ----

/// x rounded to three places, halves away from zero; the scaled value is
/// first taken to 15 digits so that a rate typed as 0.3685 rounds up.
double roundThousandths(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", x * 1000);
  return std::round(std::strtod(buf, nullptr)) / 1000;
}

void dbHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double cost = arg(args, 0), salvage = arg(args, 1), life = arg(args, 2);
  const long long period = whole(arg(args, 3)), month = whole(numberOr(args, 4, 12));
  if (life == 0 || cost < 0 || salvage < 0 || life < 0 || period < 1 || month < 1 || month > 12 ||
      static_cast<double>(period) > life + (month < 12 ? 1 : 0))
    return setError(result, ErrorCode::Num);
  if (cost == 0)
    return void(result = CellValue::number(0));
  const double rate = roundThousandths(1 - std::pow(salvage / cost, 1 / life));
  const double first = cost * rate * static_cast<double>(month) / 12;
  if (period == 1)
    return void(result = numberResult(first));
  // The value left before period p >= 2 has a closed form, so a long life
  // costs no more than a short one.
  const double p = static_cast<double>(period);
  double depreciation = (cost - first) * std::pow(1 - rate, p - 2) * rate;
  if (p > life)
    depreciation *= static_cast<double>(12 - month) / 12;
  result = numberResult(depreciation);
}

/// Declining balance of period p (1-based, whole) that never takes the
/// book value below salvage: the depreciation before p has a closed form.
double decliningPeriod(double cost, double salvage, double life, double p, double factor) {
  const double rate = factor / life;
  double before;
  if (rate >= 1)
    before = p > 1 ? cost : 0;
  else
    before = cost * -std::expm1((p - 1) * std::log1p(-rate));
  return std::min((cost - before) * std::min(rate, 1.0), std::max(0.0, cost - salvage - before));
}

void ddbHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double cost = arg(args, 0), salvage = arg(args, 1), life = arg(args, 2);
  const double period = static_cast<double>(whole(arg(args, 3)));
  const double factor = numberOr(args, 4, 2);
  if (cost < 0 || salvage < 0 || life <= 0 || period < 1 || period > life || factor <= 0)
    return setError(result, ErrorCode::Num);
  result = numberResult(decliningPeriod(cost, salvage, life, period, factor));
}

void slnHandler(Arguments& args, CellValue& result, EvalContext&) {
  if (arg(args, 2) == 0)
    return setError(result, ErrorCode::Div0);
  result = numberResult((arg(args, 0) - arg(args, 1)) / arg(args, 2));
}

void sydHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double cost = arg(args, 0), salvage = arg(args, 1), life = arg(args, 2), per = arg(args, 3);
  if (life <= 0 || per <= 0 || per > life)
    return setError(result, ErrorCode::Num);
  result = numberResult((cost - salvage) * (life - per + 1) * 2 / (life * (life + 1)));
}

/// Periods VDB walks through one at a time; a longer schedule is #NUM!
/// rather than a long wait.
constexpr double kMaxVdbPeriods = 1e7;

// VDB: declining balance per whole period, switching to straight line over
// the remaining life once that gives more (unless no_switch); a fraction of
// a period takes that fraction of the period's amount.
void vdbHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double cost = arg(args, 0), salvage = arg(args, 1), life = arg(args, 2);
  const double start = arg(args, 3), end = arg(args, 4);
  const double factor = numberOr(args, 5, 2);
  const bool noSwitch = !isMissing(args, 6) && args[6].isBoolean() && args[6].booleanValue();
  if (cost < 0 || salvage < 0 || life <= 0 || start < 0 || end < start || end > life ||
      factor <= 0 || std::ceil(end) > kMaxVdbPeriods)
    return setError(result, ErrorCode::Num);
  double book = cost, sum = 0;
  bool straight = false;
  double straightAmount = 0;
  const double lastPeriod = std::ceil(end);
  for (double k = 1; k <= lastPeriod; ++k) {
    double amount;
    if (straight) {
      amount = straightAmount;
    } else {
      amount = std::min(book * std::min(factor / life, 1.0), std::max(0.0, book - salvage));
      const double remaining = life - (k - 1);
      const double line = remaining > 0 ? std::max(0.0, book - salvage) / remaining : 0;
      if (!noSwitch && line > amount) {
        straight = true;
        straightAmount = line;
        amount = line;
      }
    }
    amount = std::min(amount, std::max(0.0, book - salvage));
    const double overlap = std::min(end, k) - std::max(start, k - 1);
    if (overlap > 0)
      sum += amount * overlap;
    book -= amount;
  }
  result = numberResult(sum);
}

// ---- dates and day counts of the securities functions ----

constexpr int kLastSerial = 2958465; // 31 December 9999

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int serialOf(int y, int m, int d) {
  // Months outside 1-12 carry into the year first.
  const int total = y * 12 + (m - 1);
  const int year = total / 12, month = total % 12 + 1;
  return formula::dayCount(year, month, d);
}

int daysInMonth(int y, int m) { return serialOf(y, m + 1, 1) - serialOf(y, m, 1); }

struct Ymd {
  int y, m, d;
};

Ymd split(int serial) {
  Ymd r{};
  formula::splitSerial(serial, r.y, r.m, r.d);
  return r;
}

bool isMonthEnd(int serial) {
  const Ymd a = split(serial);
  return a.d == daysInMonth(a.y, a.m);
}

/// EDATE's month arithmetic; the day is kept (and clipped to the month's
/// length), or the month's last day when `monthEnd`. -1 before 1900.
int addMonths(int serial, int months, bool monthEnd) {
  const Ymd a = split(serial);
  const int total = a.y * 12 + (a.m - 1) + months;
  const int y = total / 12, m = total % 12 + 1;
  if (total < 0 || y < 1900)
    return -1;
  const int last = daysInMonth(y, m);
  return serialOf(y, m, monthEnd ? last : std::min(a.d, last));
}

int days360(int from, int to, bool european) {
  const Ymd a = split(from), b = split(to);
  int d1 = a.d, d2 = b.d;
  if (european) {
    d1 = std::min(d1, 30);
    d2 = std::min(d2, 30);
  } else {
    // The last day of February counts as the 30th when it starts the span.
    if (d1 == 31 || (a.m == 2 && d1 == daysInMonth(a.y, 2)))
      d1 = 30;
    if (d2 == 31 && d1 == 30)
      d2 = 30;
  }
  return ((b.y - a.y) * 12 + b.m - a.m) * 30 + d2 - d1;
}

/// Days between two dates under a basis: 30/360 for 0 (US) and 4
/// (European), actual days otherwise.
double dayDiff(int basis, int from, int to) {
  if (basis == 0)
    return days360(from, to, false);
  if (basis == 4)
    return days360(from, to, true);
  return to - from;
}

/// The fraction of a year between two dates under a basis; actual/actual
/// uses the length of the year the span lies in, or the mean length of the
/// years it touches when it is longer than a year.
double yearFraction(int basis, int from, int to) {
  switch (basis) {
  case 0: return days360(from, to, false) / 360.0;
  case 4: return days360(from, to, true) / 360.0;
  case 2: return (to - from) / 360.0;
  case 3: return (to - from) / 365.0;
  default: break;
  }
  if (to < from)
    return -yearFraction(basis, to, from);
  const Ymd a = split(from), b = split(to);
  const bool withinYear =
      a.y == b.y || (b.y == a.y + 1 && (a.m > b.m || (a.m == b.m && a.d >= b.d)));
  double yearLength;
  if (withinYear) {
    bool leapDay = a.y == b.y && isLeap(a.y);
    for (int y = a.y; y <= b.y && !leapDay; ++y)
      if (isLeap(y)) {
        const int feb29 = serialOf(y, 2, 29);
        leapDay = feb29 >= from && feb29 <= to;
      }
    yearLength = leapDay ? 366 : 365;
  } else {
    const double span = serialOf(b.y + 1, 1, 1) - serialOf(a.y, 1, 1);
    yearLength = span / (b.y - a.y + 1);
  }
  return (to - from) / yearLength;
}

/// A date argument of the securities functions: truncated, taken to the
/// 1900 system, between 1 January 1900 and 31 December 9999.
bool dateArg(const Arguments& args, int i, const EvalContext& ctx, int& out) {
  double x = std::trunc(arg(args, i));
  if (ctx.book && ctx.book->date1904)
    x += 1462;
  if (!(x >= 1 && x <= kLastSerial))
    return false;
  out = static_cast<int>(x);
  return true;
}

bool basisArg(const Arguments& args, int i, int& basis) {
  const long long b = whole(numberOr(args, i, 0));
  basis = static_cast<int>(b);
  return b >= 0 && b <= 4;
}

bool frequencyArg(const Arguments& args, int i, int& f) {
  const long long x = whole(arg(args, i));
  f = static_cast<int>(x);
  return x == 1 || x == 2 || x == 4;
}

/// A serial as the workbook shows dates.
double shownDate(int serial, const EvalContext& ctx) {
  return ctx.book && ctx.book->date1904 ? serial - 1462 : serial;
}

/// The coupon dates around a settlement date: maturity stepped back by whole
/// coupon periods (month-end maturities keep month-end coupon dates).
struct CouponSchedule {
  int previous = 0; // the last coupon date not after settlement
  int next = 0;     // the coupon date after settlement
  int count = 0;    // coupons from `next` up to maturity
  double periodDays = 0;  // `previous` to `next` under the basis
  double accruedDays = 0; // `previous` to settlement under the basis
};

bool couponSchedule(int settlement, int maturity, int frequency, int basis, CouponSchedule& out) {
  if (settlement >= maturity)
    return false;
  const int months = 12 / frequency;
  const bool monthEnd = isMonthEnd(maturity);
  const Ymd s = split(settlement), m = split(maturity);
  const int monthsApart = (m.y - s.y) * 12 + m.m - s.m;
  int k = std::max(1, monthsApart / months - 1);
  int next = k == 1 ? maturity : addMonths(maturity, -(k - 1) * months, monthEnd);
  for (;; ++k) {
    const int date = addMonths(maturity, -k * months, monthEnd);
    if (date < 0)
      return false;
    if (date <= settlement) {
      out.previous = date;
      break;
    }
    next = date;
  }
  out.next = next;
  out.count = k;
  out.periodDays = dayDiff(basis, out.previous, out.next);
  out.accruedDays = dayDiff(basis, out.previous, settlement);
  return out.periodDays > 0;
}

/// settlement, maturity, frequency, basis at args 0-3.
bool couponArgs(const Arguments& args, const EvalContext& ctx, int& settlement, int& maturity,
                int& frequency, int& basis, CouponSchedule& schedule) {
  return dateArg(args, 0, ctx, settlement) && dateArg(args, 1, ctx, maturity) &&
         frequencyArg(args, 2, frequency) && basisArg(args, 3, basis) &&
         couponSchedule(settlement, maturity, frequency, basis, schedule);
}

enum class CouponAnswer { DaysBefore, Days, DaysAfter, Next, Count, Previous };

template <CouponAnswer Answer>
void couponHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  int settlement, maturity, frequency, basis;
  CouponSchedule c;
  if (!couponArgs(args, ctx, settlement, maturity, frequency, basis, c))
    return setError(result, ErrorCode::Num);
  double x = 0;
  switch (Answer) {
  case CouponAnswer::DaysBefore: x = c.accruedDays; break;
  case CouponAnswer::Days: x = c.periodDays; break;
  case CouponAnswer::DaysAfter: x = dayDiff(basis, settlement, c.next); break;
  case CouponAnswer::Next: x = shownDate(c.next, ctx); break;
  case CouponAnswer::Count: x = c.count; break;
  case CouponAnswer::Previous: x = shownDate(c.previous, ctx); break;
  }
  result = numberResult(x);
}

// ---- coupon bonds ----

/// The sum of base^-k for k = 0 .. n - 1 (n at base 1).
double discountedCount(double base, double n) {
  if (base == 1)
    return n;
  return (1 - std::pow(base, -n)) / (1 - 1 / base);
}

/// The price per 100 face of a bond with `c.count` coupons left.
double bondPrice(const CouponSchedule& c, double rate, double yld, double redemption,
                 int frequency) {
  const double coupon = 100 * rate / frequency;
  const double e = c.periodDays, a = c.accruedDays, dsc = e - a;
  const double f = frequency;
  if (c.count == 1)
    return (redemption + coupon) / (1 + dsc / e * yld / f) - coupon * a / e;
  const double base = 1 + yld / f;
  const double price = redemption / std::pow(base, c.count - 1 + dsc / e) +
                       coupon * discountedCount(base, c.count) / std::pow(base, dsc / e);
  return price - coupon * a / e;
}

/// settlement, maturity, rate, yld|pr, redemption, frequency, basis.
bool bondArgs(const Arguments& args, const EvalContext& ctx, CouponSchedule& c, int& frequency,
              int& basis, int& settlement, int& maturity) {
  return dateArg(args, 0, ctx, settlement) && dateArg(args, 1, ctx, maturity) &&
         frequencyArg(args, 5, frequency) && basisArg(args, 6, basis) &&
         couponSchedule(settlement, maturity, frequency, basis, c);
}

void priceHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  CouponSchedule c;
  int frequency, basis, settlement, maturity;
  const double rate = arg(args, 2), yld = arg(args, 3), redemption = arg(args, 4);
  if (!bondArgs(args, ctx, c, frequency, basis, settlement, maturity) || rate < 0 || yld < 0 ||
      redemption <= 0)
    return setError(result, ErrorCode::Num);
  result = numberResult(bondPrice(c, rate, yld, redemption, frequency));
}

void yieldHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  CouponSchedule c;
  int frequency, basis, settlement, maturity;
  const double rate = arg(args, 2), pr = arg(args, 3), redemption = arg(args, 4);
  if (!bondArgs(args, ctx, c, frequency, basis, settlement, maturity) || rate < 0 || pr <= 0 ||
      redemption <= 0)
    return setError(result, ErrorCode::Num);
  if (c.count == 1) {
    const double a = c.accruedDays, e = c.periodDays;
    const double dsr = dayDiff(basis, settlement, maturity);
    const double k = rate * (a / e) / frequency + 0.01 * pr;
    result = numberResult(frequency * e * ((rate / frequency + 0.01 * redemption - k) / k) / dsr);
    return;
  }
  double root;
  if (!solve([&](double y) { return bondPrice(c, rate, y, redemption, frequency) - pr; }, 0.1,
             {0.01, 1e-7, 100}, root))
    return setError(result, ErrorCode::Num);
  result = numberResult(root);
}

/// Macaulay duration in years.
bool macaulay(Arguments& args, const EvalContext& ctx, double& duration, double& yld, int& f) {
  int settlement, maturity, basis;
  CouponSchedule c;
  if (!dateArg(args, 0, ctx, settlement) || !dateArg(args, 1, ctx, maturity) ||
      !frequencyArg(args, 4, f) || !basisArg(args, 5, basis) ||
      !couponSchedule(settlement, maturity, f, basis, c))
    return false;
  const double coupon = arg(args, 2);
  yld = arg(args, 3);
  if (coupon < 0 || yld < 0)
    return false;
  const double dsc = (c.periodDays - c.accruedDays) / c.periodDays;
  const double base = 1 + yld / f;
  double weighted = 0, total = 0;
  for (int k = 1; k <= c.count; ++k) {
    const double t = k - 1 + dsc;
    const double flow = (100 * coupon / f + (k == c.count ? 100 : 0)) / std::pow(base, t);
    weighted += t / f * flow;
    total += flow;
  }
  if (total == 0)
    return false;
  duration = weighted / total;
  return std::isfinite(duration);
}

void durationHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double d, yld;
  int f;
  if (!macaulay(args, ctx, d, yld, f))
    return setError(result, ErrorCode::Num);
  result = numberResult(d);
}

void mdurationHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double d, yld;
  int f;
  if (!macaulay(args, ctx, d, yld, f))
    return setError(result, ErrorCode::Num);
  result = numberResult(d / (1 + yld / f));
}

// ---- odd first and last periods ----

/// Quasi-coupon periods of an odd period, each with its share of days.
struct QuasiPeriod {
  int start, end;
  double normal; // the period's length under the basis
};

/// The quasi-coupon periods that cover [from, to] on the schedule anchored
/// at `anchor` (a coupon date), oldest first. Empty on failure.
std::vector<QuasiPeriod> quasiPeriods(int anchor, int from, int to, int frequency, int basis) {
  const int months = 12 / frequency;
  const bool monthEnd = isMonthEnd(anchor);
  // The first anchor-schedule date not after `from`.
  int k = 0;
  while (true) {
    const int d = addMonths(anchor, k * months, monthEnd);
    if (d < 0)
      return {};
    if (d <= from)
      break;
    --k;
    if (k < -120000)
      return {};
  }
  while (addMonths(anchor, (k + 1) * months, monthEnd) <= from)
    ++k;
  std::vector<QuasiPeriod> out;
  for (;; ++k) {
    const int s = addMonths(anchor, k * months, monthEnd);
    const int e = addMonths(anchor, (k + 1) * months, monthEnd);
    if (s < 0 || e < 0 || out.size() > 120000)
      return {};
    if (s >= to)
      break;
    out.push_back({s, e, dayDiff(basis, s, e)});
  }
  return out;
}

double overlapDays(int basis, int a, int b, int from, int to) {
  const int lo = std::max(a, from), hi = std::min(b, to);
  return hi > lo ? dayDiff(basis, lo, hi) : 0;
}

struct OddFirst {
  int settlement, maturity, issue, firstCoupon, frequency, basis;
  double rate, redemption;
};

bool oddFirstArgs(const Arguments& args, const EvalContext& ctx, OddFirst& o) {
  return dateArg(args, 0, ctx, o.settlement) && dateArg(args, 1, ctx, o.maturity) &&
         dateArg(args, 2, ctx, o.issue) && dateArg(args, 3, ctx, o.firstCoupon) &&
         frequencyArg(args, 7, o.frequency) && basisArg(args, 8, o.basis) &&
         o.issue < o.settlement && o.settlement < o.firstCoupon && o.firstCoupon < o.maturity;
}

/// What the price of a bond with an odd first period needs besides the
/// yield, worked out once so the yield solver only discounts.
struct OddFirstTerms {
  double after = 0;   // regular coupons after the first one
  double counted = 0; // days of the odd period over the normal lengths
  double accrued = 0; // days from issue to settlement, likewise
  double dsc = 0;     // settlement to the next quasi-coupon date, in periods
  double whole = 0;   // whole quasi-coupon periods from there to the first coupon
};

bool oddFirstTerms(const OddFirst& o, OddFirstTerms& t) {
  const std::vector<QuasiPeriod> q =
      quasiPeriods(o.firstCoupon, o.issue, o.firstCoupon, o.frequency, o.basis);
  CouponSchedule regular;
  if (q.empty() || !couponSchedule(o.firstCoupon, o.maturity, o.frequency, o.basis, regular))
    return false;
  t.after = regular.count;
  int settlementPeriod = -1;
  for (size_t i = 0; i < q.size(); ++i) {
    if (q[i].normal <= 0)
      return false;
    t.counted += overlapDays(o.basis, q[i].start, q[i].end, o.issue, o.firstCoupon) / q[i].normal;
    t.accrued += overlapDays(o.basis, q[i].start, q[i].end, o.issue, o.settlement) / q[i].normal;
    if (q[i].start <= o.settlement && o.settlement < q[i].end)
      settlementPeriod = static_cast<int>(i);
  }
  if (settlementPeriod < 0)
    return false;
  const QuasiPeriod& sp = q[static_cast<size_t>(settlementPeriod)];
  t.dsc = dayDiff(o.basis, o.settlement, sp.end) / sp.normal;
  t.whole = static_cast<double>(q.size() - 1 - static_cast<size_t>(settlementPeriod));
  return true;
}

/// The price per 100 face of a bond whose first period is odd (short or long).
double oddFirstPrice(const OddFirst& o, const OddFirstTerms& t, double yld) {
  const double coupon = 100 * o.rate / o.frequency;
  const double base = 1 + yld / o.frequency;
  return o.redemption / std::pow(base, t.after + t.whole + t.dsc) +
         coupon * t.counted / std::pow(base, t.whole + t.dsc) +
         coupon * discountedCount(base, t.after) / std::pow(base, 1 + t.whole + t.dsc) -
         coupon * t.accrued;
}

void oddfpriceHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  OddFirst o;
  OddFirstTerms t;
  const double yld = arg(args, 5);
  o.rate = arg(args, 4);
  o.redemption = arg(args, 6);
  if (!oddFirstArgs(args, ctx, o) || o.rate < 0 || yld < 0 || o.redemption <= 0 ||
      !oddFirstTerms(o, t))
    return setError(result, ErrorCode::Num);
  result = numberResult(oddFirstPrice(o, t, yld));
}

void oddfyieldHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  OddFirst o;
  OddFirstTerms t;
  const double pr = arg(args, 5);
  o.rate = arg(args, 4);
  o.redemption = arg(args, 6);
  if (!oddFirstArgs(args, ctx, o) || o.rate < 0 || pr <= 0 || o.redemption <= 0 ||
      !oddFirstTerms(o, t))
    return setError(result, ErrorCode::Num);
  double root;
  if (!solve([&](double y) { return oddFirstPrice(o, t, y) - pr; }, 0.1, {0.01, 1e-7, 100}, root))
    return setError(result, ErrorCode::Num);
  result = numberResult(root);
}

/// The sums of an odd last period over its quasi-coupon periods: days
/// counted (DC), accrued before settlement (A) and left after it (DSC),
/// each over the period's normal length.
struct OddLastSums {
  double counted = 0, accrued = 0, remaining = 0;
};

bool oddLastSums(const Arguments& args, const EvalContext& ctx, OddLastSums& s, int& frequency) {
  int settlement, maturity, last, basis;
  if (!dateArg(args, 0, ctx, settlement) || !dateArg(args, 1, ctx, maturity) ||
      !dateArg(args, 2, ctx, last) || !frequencyArg(args, 6, frequency) ||
      !basisArg(args, 7, basis) || !(last < settlement && settlement < maturity))
    return false;
  const std::vector<QuasiPeriod> q = quasiPeriods(last, last, maturity, frequency, basis);
  if (q.empty())
    return false;
  for (const QuasiPeriod& p : q) {
    if (p.normal <= 0)
      return false;
    s.counted += overlapDays(basis, p.start, p.end, last, maturity) / p.normal;
    s.accrued += overlapDays(basis, p.start, p.end, last, settlement) / p.normal;
    s.remaining += overlapDays(basis, p.start, p.end, settlement, maturity) / p.normal;
  }
  return s.remaining > 0;
}

void oddlpriceHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  OddLastSums s;
  int f;
  const double rate = arg(args, 3), yld = arg(args, 4), redemption = arg(args, 5);
  if (!oddLastSums(args, ctx, s, f) || rate < 0 || yld < 0 || redemption <= 0)
    return setError(result, ErrorCode::Num);
  const double coupon = 100 * rate / f;
  result = numberResult((redemption + s.counted * coupon) / (1 + s.remaining * yld / f) -
                        s.accrued * coupon);
}

void oddlyieldHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  OddLastSums s;
  int f;
  const double rate = arg(args, 3), pr = arg(args, 4), redemption = arg(args, 5);
  if (!oddLastSums(args, ctx, s, f) || rate < 0 || pr <= 0 || redemption <= 0)
    return setError(result, ErrorCode::Num);
  const double coupon = 100 * rate / f;
  const double paid = pr + s.accrued * coupon;
  result = numberResult((redemption + s.counted * coupon - paid) / paid * f / s.remaining);
}

// ---- discounted and interest-at-maturity securities ----

/// settlement and maturity at 0 and 1, basis at `basisIndex`: the year
/// fraction between them.
bool spanArgs(const Arguments& args, const EvalContext& ctx, int basisIndex, double& years,
              int& settlement, int& maturity, int& basis) {
  if (!dateArg(args, 0, ctx, settlement) || !dateArg(args, 1, ctx, maturity) ||
      !basisArg(args, basisIndex, basis) || settlement >= maturity)
    return false;
  years = yearFraction(basis, settlement, maturity);
  return years > 0;
}

enum class Discounted { Disc, Intrate, Pricedisc, Received, Yielddisc };

template <Discounted Kind>
void discountedHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double t;
  int s, m, basis;
  const double x = arg(args, 2), y = arg(args, 3);
  if (!spanArgs(args, ctx, 4, t, s, m, basis) || x <= 0 || y <= 0)
    return setError(result, ErrorCode::Num);
  double r = 0;
  switch (Kind) {
  case Discounted::Disc: r = (y - x) / y / t; break;        // pr, redemption
  case Discounted::Intrate: r = (y - x) / x / t; break;     // investment, redemption
  case Discounted::Pricedisc: r = y - x * y * t; break;     // discount, redemption
  case Discounted::Received: r = 1 - y * t == 0 ? NAN : x / (1 - y * t); break; // investment, discount
  case Discounted::Yielddisc: r = (y - x) / x / t; break;   // pr, redemption
  }
  if (Kind == Discounted::Received && 1 - y * t <= 0)
    return setError(result, ErrorCode::Num);
  result = numberResult(r);
}

/// settlement, maturity, issue and basis of PRICEMAT and YIELDMAT: the year
/// fractions issue-maturity, issue-settlement and settlement-maturity.
bool maturityArgs(const Arguments& args, const EvalContext& ctx, double& dim, double& a,
                  double& dsm) {
  int s, m, issue, basis;
  if (!dateArg(args, 0, ctx, s) || !dateArg(args, 1, ctx, m) || !dateArg(args, 2, ctx, issue) ||
      !basisArg(args, 5, basis) || s >= m || issue > s)
    return false;
  dim = yearFraction(basis, issue, m);
  a = yearFraction(basis, issue, s);
  dsm = yearFraction(basis, s, m);
  return dsm > 0;
}

void pricematHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double dim, a, dsm;
  const double rate = arg(args, 3), yld = arg(args, 4);
  if (!maturityArgs(args, ctx, dim, a, dsm) || rate < 0 || yld < 0)
    return setError(result, ErrorCode::Num);
  result = numberResult((100 + dim * rate * 100) / (1 + dsm * yld) - a * rate * 100);
}

void yieldmatHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double dim, a, dsm;
  const double rate = arg(args, 3), pr = arg(args, 4);
  if (!maturityArgs(args, ctx, dim, a, dsm) || rate < 0 || pr <= 0)
    return setError(result, ErrorCode::Num);
  const double paid = pr / 100 + a * rate;
  result = numberResult(((1 + dim * rate) - paid) / paid / dsm);
}

void accrintmHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  int issue, settlement, basis;
  const double rate = arg(args, 2), par = numberOr(args, 3, 1000);
  if (!dateArg(args, 0, ctx, issue) || !dateArg(args, 1, ctx, settlement) ||
      !basisArg(args, 4, basis) || issue >= settlement || rate <= 0 || par <= 0)
    return setError(result, ErrorCode::Num);
  result = numberResult(par * rate * yearFraction(basis, issue, settlement));
}

// ACCRINT: the interest accrued from issue to settlement, counted over the
// quasi-coupon periods of the schedule through the first interest date.
void accrintHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  int issue, firstInterest, settlement, frequency, basis;
  const double rate = arg(args, 3), par = arg(args, 4);
  if (!dateArg(args, 0, ctx, issue) || !dateArg(args, 1, ctx, firstInterest) ||
      !dateArg(args, 2, ctx, settlement) || !frequencyArg(args, 5, frequency) ||
      !basisArg(args, 6, basis) || issue >= settlement || rate <= 0 || par <= 0)
    return setError(result, ErrorCode::Num);
  const std::vector<QuasiPeriod> q = quasiPeriods(firstInterest, issue, settlement, frequency, basis);
  if (q.empty())
    return setError(result, ErrorCode::Num);
  double periods = 0;
  for (const QuasiPeriod& p : q) {
    if (p.normal <= 0)
      return setError(result, ErrorCode::Num);
    periods += overlapDays(basis, p.start, p.end, issue, settlement) / p.normal;
  }
  result = numberResult(par * rate / frequency * periods);
}

// ---- treasury bills ----

bool billArgs(const Arguments& args, const EvalContext& ctx, double& days) {
  int s, m;
  if (!dateArg(args, 0, ctx, s) || !dateArg(args, 1, ctx, m) || s >= m)
    return false;
  days = m - s;
  // A bill matures within a year of settlement.
  const int yearLater = addMonths(s, 12, false);
  return yearLater > 0 && m <= yearLater;
}

void tbillpriceHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double dsm;
  const double discount = arg(args, 2);
  if (!billArgs(args, ctx, dsm) || discount <= 0)
    return setError(result, ErrorCode::Num);
  const double price = 100 * (1 - discount * dsm / 360);
  if (price <= 0)
    return setError(result, ErrorCode::Num);
  result = numberResult(price);
}

void tbillyieldHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double dsm;
  const double pr = arg(args, 2);
  if (!billArgs(args, ctx, dsm) || pr <= 0)
    return setError(result, ErrorCode::Num);
  result = numberResult((100 - pr) / pr * 360 / dsm);
}

// The bond-equivalent yield: simple interest up to half a year, beyond that
// the yield that compounds once at the half year.
void tbilleqHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double dsm;
  const double discount = arg(args, 2);
  if (!billArgs(args, ctx, dsm) || discount <= 0)
    return setError(result, ErrorCode::Num);
  const double denominator = 360 - discount * dsm;
  if (denominator <= 0)
    return setError(result, ErrorCode::Num);
  if (dsm <= 182)
    return void(result = numberResult(365 * discount / denominator));
  const double price = 100 * (1 - discount * dsm / 360);
  const double t = dsm / 365;
  const double root = t * t - (2 * t - 1) * (1 - 100 / price);
  if (root < 0)
    return setError(result, ErrorCode::Num);
  result = numberResult((-t + std::sqrt(root)) / (t - 0.5));
}

// ---- rates and fractions ----

void effectHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double nominal = arg(args, 0);
  const long long n = whole(arg(args, 1));
  if (nominal <= 0 || n < 1)
    return setError(result, ErrorCode::Num);
  result = numberResult(growth(nominal / static_cast<double>(n), static_cast<double>(n)) - 1);
}

void nominalHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double effect = arg(args, 0);
  const long long n = whole(arg(args, 1));
  if (effect <= 0 || n < 1)
    return setError(result, ErrorCode::Num);
  const double nd = static_cast<double>(n);
  result = numberResult(nd * std::expm1(std::log1p(effect) / nd));
}

// DOLLARDE and DOLLARFR read the fraction digits as a numerator over
// `fraction`, with as many digits as the fraction has.
void dollarFraction(Arguments& args, CellValue& result, bool toDecimal) {
  const double x = arg(args, 0);
  const long long fraction = whole(arg(args, 1));
  if (fraction < 0)
    return setError(result, ErrorCode::Num);
  if (fraction == 0)
    return setError(result, ErrorCode::Div0);
  const double f = static_cast<double>(fraction);
  const double scale = std::pow(10.0, std::ceil(std::log10(f)));
  const double integer = std::trunc(x), part = x - integer;
  result = numberResult(toDecimal ? integer + part * scale / f : integer + part * f / scale);
}

void dollardeHandler(Arguments& a, CellValue& r, EvalContext&) { dollarFraction(a, r, true); }
void dollarfrHandler(Arguments& a, CellValue& r, EvalContext&) { dollarFraction(a, r, false); }

// ---- French depreciation ----

/// cost, date_purchased, first_period, salvage, period, rate, basis; the
/// first (partial) period's share of a year counts 365 days for actual
/// bases and 360 for the 30/360 ones.
struct Amortisation {
  double cost, salvage, rate, firstShare;
  long long period;
};

bool amortisationArgs(const Arguments& args, const EvalContext& ctx, Amortisation& a) {
  int purchased, firstPeriod, basis;
  if (!dateArg(args, 1, ctx, purchased) || !dateArg(args, 2, ctx, firstPeriod) ||
      !basisArg(args, 6, basis) || basis == 2 || firstPeriod < purchased)
    return false;
  a.cost = arg(args, 0);
  a.salvage = arg(args, 3);
  a.period = whole(arg(args, 4));
  a.rate = arg(args, 5);
  const double days = dayDiff(basis, purchased, firstPeriod);
  a.firstShare = days / (basis == 1 || basis == 3 ? 365.0 : 360.0);
  return a.cost > 0 && a.salvage >= 0 && a.salvage <= a.cost && a.period >= 0 && a.rate > 0;
}

void amorlincHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  Amortisation a;
  if (!amortisationArgs(args, ctx, a))
    return setError(result, ErrorCode::Num);
  const double full = a.cost * a.rate;
  const double first = a.firstShare * full;
  const double depreciable = a.cost - a.salvage;
  if (a.period == 0)
    return void(result = numberResult(std::min(first, depreciable)));
  const double fullPeriods = std::floor((depreciable - first) / full);
  const double p = static_cast<double>(a.period);
  double x = 0;
  if (p <= fullPeriods)
    x = full;
  else if (p == fullPeriods + 1)
    x = std::max(0.0, depreciable - full * fullPeriods - first);
  result = numberResult(x);
}

// AMORDEGRC: declining balance at the rate times a coefficient chosen by the
// useful life 1/rate, amounts rounded to whole units; when the remaining
// value would fall below salvage, the rest is taken in halves.
void amordegrcHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  Amortisation a;
  if (!amortisationArgs(args, ctx, a))
    return setError(result, ErrorCode::Num);
  const double life = 1 / a.rate;
  const double coefficient = life <= 4 ? 1.5 : life <= 6 ? 2.0 : 2.5;
  const double rate = a.rate * coefficient;
  double amount = std::round(a.firstShare * rate * a.cost);
  double value = a.cost - amount;
  double rest = value - a.salvage;
  if (a.period > 1000000)
    return setError(result, ErrorCode::Num);
  for (long long n = 0; n < a.period; ++n) {
    amount = std::round(rate * value);
    rest -= amount;
    if (rest < 0) {
      const long long left = a.period - n;
      result = numberResult(left <= 1 ? std::round(value * 0.5) : 0);
      return;
    }
    value -= amount;
  }
  result = numberResult(amount);
}

} // namespace

void registerFinancialFunctions() {
  // clang-format off
  static constexpr HandlerRow kRows[] = {
    {u"ACCRINT",    accrintHandler},
    {u"ACCRINTM",   accrintmHandler},
    {u"AMORDEGRC",  amordegrcHandler},
    {u"AMORLINC",   amorlincHandler},
    {u"COUPDAYBS",  couponHandler<CouponAnswer::DaysBefore>},
    {u"COUPDAYS",   couponHandler<CouponAnswer::Days>},
    {u"COUPDAYSNC", couponHandler<CouponAnswer::DaysAfter>},
    {u"COUPNCD",    couponHandler<CouponAnswer::Next>},
    {u"COUPNUM",    couponHandler<CouponAnswer::Count>},
    {u"COUPPCD",    couponHandler<CouponAnswer::Previous>},
    {u"CUMIPMT",    cumipmtHandler},
    {u"CUMPRINC",   cumprincHandler},
    {u"DB",         dbHandler},
    {u"DDB",        ddbHandler},
    {u"DISC",       discountedHandler<Discounted::Disc>},
    {u"DOLLARDE",   dollardeHandler},
    {u"DOLLARFR",   dollarfrHandler},
    {u"DURATION",   durationHandler},
    {u"EFFECT",     effectHandler},
    {u"FV",         fvHandler},
    {u"FVSCHEDULE", fvscheduleHandler},
    {u"INTRATE",    discountedHandler<Discounted::Intrate>},
    {u"IPMT",       ipmtHandler},
    {u"IRR",        irrHandler},
    {u"ISPMT",      ispmtHandler},
    {u"MDURATION",  mdurationHandler},
    {u"MIRR",       mirrHandler},
    {u"NOMINAL",    nominalHandler},
    {u"NPER",       nperHandler},
    {u"NPV",        npvHandler},
    {u"ODDFPRICE",  oddfpriceHandler},
    {u"ODDFYIELD",  oddfyieldHandler},
    {u"ODDLPRICE",  oddlpriceHandler},
    {u"ODDLYIELD",  oddlyieldHandler},
    {u"PMT",        pmtHandler},
    {u"PPMT",       ppmtHandler},
    {u"PRICE",      priceHandler},
    {u"PRICEDISC",  discountedHandler<Discounted::Pricedisc>},
    {u"PRICEMAT",   pricematHandler},
    {u"PV",         pvHandler},
    {u"RATE",       rateHandler},
    {u"RECEIVED",   discountedHandler<Discounted::Received>},
    {u"SLN",        slnHandler},
    {u"SYD",        sydHandler},
    {u"TBILLEQ",    tbilleqHandler},
    {u"TBILLPRICE", tbillpriceHandler},
    {u"TBILLYIELD", tbillyieldHandler},
    {u"VDB",        vdbHandler},
    {u"XIRR",       xirrHandler},
    {u"XNPV",       xnpvHandler},
    {u"YIELD",      yieldHandler},
    {u"YIELDDISC",  discountedHandler<Discounted::Yielddisc>},
    {u"YIELDMAT",   yieldmatHandler},
  };
  // clang-format on
  registerRows(kRows);
}

} // namespace functions
