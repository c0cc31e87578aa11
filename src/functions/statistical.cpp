// The statistical functions: averages, spreads, ranks, regressions,
// distributions and their inverses, and the classical tests.

#include "functions/families.h"
#include "functions/function_helpers.h"
#include "functions/gather.h"
#include "functions/special_functions.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <numeric>
#include <vector>

namespace functions {
namespace {

namespace sf = special;

CellValue errorValue(ErrorCode code) { return CellValue::error(code); }

// ---------------------------------------------------------------------------
// Gathering

// The "A" variants count referenced text as 0 and booleans as 0/1.
GatherOptions aVariantOptions() {
  GatherOptions o;
  o.numbersOnly = false;
  o.textAsZero = true;
  return o;
}

// MAXA and MINA receive their arguments raw, so direct text and booleans
// are converted here rather than by the calling convention.
GatherOptions rawAVariantOptions() {
  GatherOptions o = aVariantOptions();
  o.convertDirect = true;
  return o;
}

// Gathers every argument from `first`; on an error stop, the error is the result.
bool gatherInto(const Arguments& args, int first, EvalContext& ctx, const GatherOptions& options,
                NumberList& list, CellValue& result) {
  if (gatherNumbers(args, first, ctx, options, list))
    return true;
  result = list.error;
  return false;
}

bool gatherOne(const CellValue& arg, EvalContext& ctx, NumberList& list, CellValue& result) {
  if (gatherArgument(arg, ctx, GatherOptions{}, list))
    return true;
  result = list.error;
  return false;
}

// The numbers of an array-shaped argument in row-major order; errors inside
// it are the result, other non-numbers are skipped.
bool arrayNumbers(const CellValue& arg, EvalContext& ctx, std::vector<double>& out,
                  CellValue& error) {
  SparseArray a;
  if (!sparseArgument(arg, ctx, a, error))
    return false;
  for (const auto& [at, e] : a.items) {
    if (e.isError()) {
      error = e;
      return false;
    }
    if (e.isNumber())
      out.push_back(e.numberValue());
  }
  return true;
}

// ---------------------------------------------------------------------------
// Moments. Sums of squared deviations take two passes (with the correction
// term of the corrected two-pass algorithm), so large offsets such as
// 1e9 + {1, 2, 3} keep their digits.

double meanOf(const std::vector<double>& v) {
  double s = 0;
  for (double x : v)
    s += x;
  return s / static_cast<double>(v.size());
}

double squaredDeviations(const std::vector<double>& v, double mean) {
  double ss = 0, s = 0;
  for (double x : v) {
    const double d = x - mean;
    ss += d * d;
    s += d;
  }
  return std::max(0.0, ss - s * s / static_cast<double>(v.size()));
}

// Variance with `lost` degrees of freedom (1 sample, 0 population); false when
// there are too few values.
bool varianceOf(const std::vector<double>& v, int lost, double& out) {
  if (v.size() <= static_cast<size_t>(lost) || v.empty())
    return false;
  out = squaredDeviations(v, meanOf(v)) / static_cast<double>(v.size() - lost);
  return true;
}

void spread(Arguments& args, CellValue& result, EvalContext& ctx, const GatherOptions& options,
            int lost, bool root) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, options, list, result))
    return;
  double var = 0;
  if (!varianceOf(list.numbers, lost, var)) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  result = numberResult(root ? std::sqrt(var) : var);
}

void average(Arguments& args, CellValue& result, EvalContext& ctx, const GatherOptions& options) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, options, list, result))
    return;
  result = list.empty() ? errorValue(ErrorCode::Div0) : numberResult(meanOf(list.numbers));
}

void extreme(Arguments& args, CellValue& result, EvalContext& ctx, const GatherOptions& options,
             bool largest) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, options, list, result))
    return;
  // Nothing to compare gives 0.
  if (list.empty()) {
    result = CellValue::number(0);
    return;
  }
  const auto [lo, hi] = std::minmax_element(list.numbers.begin(), list.numbers.end());
  result = numberResult(largest ? *hi : *lo);
}

void averageHandler(Arguments& a, CellValue& r, EvalContext& c) { average(a, r, c, {}); }
void averageAHandler(Arguments& a, CellValue& r, EvalContext& c) { average(a, r, c, aVariantOptions()); }
void stdevHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, {}, 1, true); }
void stdevAHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, aVariantOptions(), 1, true); }
void stdevPHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, {}, 0, true); }
void stdevPAHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, aVariantOptions(), 0, true); }
void varHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, {}, 1, false); }
void varAHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, aVariantOptions(), 1, false); }
void varPHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, {}, 0, false); }
void varPAHandler(Arguments& a, CellValue& r, EvalContext& c) { spread(a, r, c, aVariantOptions(), 0, false); }
void maxHandler(Arguments& a, CellValue& r, EvalContext& c) { extreme(a, r, c, {}, true); }
void minHandler(Arguments& a, CellValue& r, EvalContext& c) { extreme(a, r, c, {}, false); }
void maxAHandler(Arguments& a, CellValue& r, EvalContext& c) { extreme(a, r, c, rawAVariantOptions(), true); }
void minAHandler(Arguments& a, CellValue& r, EvalContext& c) { extreme(a, r, c, rawAVariantOptions(), false); }

void countHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  GatherOptions o;
  o.stopAtErrors = false;
  NumberList list;
  (void)gatherNumbers(args, 0, ctx, o, list);
  result = CellValue::number(static_cast<double>(list.size()));
}

void countAHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double n = 0;
  for (int i = 0; i < args.count; ++i) {
    if (isMissing(args, i))
      continue;
    (void)forEachArgumentValue(args[i], ctx, GatherOptions{}, [&](const CellValue& v, ValueSource) {
      if (!v.isEmpty())
        n += 1;
      return true;
    });
  }
  result = CellValue::number(n);
}

void aveDevHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, {}, list, result))
    return;
  if (list.empty()) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const double m = meanOf(list.numbers);
  double s = 0;
  for (double x : list.numbers)
    s += std::fabs(x - m);
  result = numberResult(s / static_cast<double>(list.size()));
}

void devSqHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, {}, list, result))
    return;
  result = list.empty() ? errorValue(ErrorCode::Num)
                        : numberResult(squaredDeviations(list.numbers, meanOf(list.numbers)));
}

void geoMeanHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, {}, list, result))
    return;
  if (list.empty()) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  // Through logarithms, so long products neither overflow nor underflow.
  double s = 0;
  for (double x : list.numbers) {
    if (x <= 0) {
      result = errorValue(ErrorCode::Num);
      return;
    }
    s += std::log(x);
  }
  result = numberResult(std::exp(s / static_cast<double>(list.size())));
}

void harMeanHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, {}, list, result))
    return;
  if (list.empty()) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  double s = 0;
  for (double x : list.numbers) {
    if (x <= 0) {
      result = errorValue(ErrorCode::Num);
      return;
    }
    s += 1 / x;
  }
  result = numberResult(static_cast<double>(list.size()) / s);
}

// Standardized central moments: SKEW (3) and KURT (4), both with the
// sample corrections.
void moment(Arguments& args, CellValue& result, EvalContext& ctx, int order) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, {}, list, result))
    return;
  const double n = static_cast<double>(list.size());
  double var = 0;
  if (n < order || !varianceOf(list.numbers, 1, var) || var == 0) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  const double m = meanOf(list.numbers), sd = std::sqrt(var);
  double s = 0;
  for (double x : list.numbers)
    s += std::pow((x - m) / sd, order);
  if (order == 3)
    result = numberResult(n / ((n - 1) * (n - 2)) * s);
  else
    result = numberResult(n * (n + 1) / ((n - 1) * (n - 2) * (n - 3)) * s -
                          3 * (n - 1) * (n - 1) / ((n - 2) * (n - 3)));
}

void skewHandler(Arguments& a, CellValue& r, EvalContext& c) { moment(a, r, c, 3); }
void kurtHandler(Arguments& a, CellValue& r, EvalContext& c) { moment(a, r, c, 4); }

// ---------------------------------------------------------------------------
// Order statistics

void medianHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, {}, list, result))
    return;
  std::vector<double>& v = list.numbers;
  if (v.empty()) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  double m = v[mid];
  if (v.size() % 2 == 0) {
    const double below = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid));
    m = below + (m - below) / 2;
  }
  result = numberResult(m);
}

// The most frequent value; among equally frequent ones the one met first.
void modeHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherInto(args, 0, ctx, {}, list, result))
    return;
  std::vector<std::pair<double, size_t>> v;
  v.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i)
    v.emplace_back(list.numbers[i], i);
  std::sort(v.begin(), v.end());
  size_t bestCount = 1, bestFirst = 0;
  double best = 0;
  for (size_t i = 0; i < v.size();) {
    size_t j = i;
    while (j < v.size() && v[j].first == v[i].first)
      ++j;
    const size_t count = j - i;
    if (count > bestCount || (count == bestCount && count > 1 && v[i].second < bestFirst)) {
      bestCount = count;
      bestFirst = v[i].second;
      best = v[i].first;
    }
    i = j;
  }
  result = bestCount > 1 ? CellValue::number(best) : errorValue(ErrorCode::NA);
}

// LARGE and SMALL: k is rounded up, so a fractional position names the next
// whole one.
void kth(Arguments& args, CellValue& result, EvalContext& ctx, bool largest) {
  NumberList list;
  if (!gatherOne(args[0], ctx, list, result))
    return;
  const double k = std::ceil(args[1].numberValue());
  std::vector<double>& v = list.numbers;
  if (!(k >= 1) || k > static_cast<double>(v.size())) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const size_t index = largest ? v.size() - static_cast<size_t>(k) : static_cast<size_t>(k) - 1;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(index), v.end());
  result = CellValue::number(v[index]);
}

void largeHandler(Arguments& a, CellValue& r, EvalContext& c) { kth(a, r, c, true); }
void smallHandler(Arguments& a, CellValue& r, EvalContext& c) { kth(a, r, c, false); }

// The k-th percentile with linear interpolation between the sorted values at
// position k (n - 1).
bool percentileOf(std::vector<double>& v, double k, double& out) {
  if (v.empty() || !(k >= 0) || k > 1)
    return false;
  std::sort(v.begin(), v.end());
  const double position = k * static_cast<double>(v.size() - 1);
  const size_t i = static_cast<size_t>(std::floor(position));
  const double fraction = position - static_cast<double>(i);
  out = (i + 1 < v.size() && fraction > 0) ? v[i] + fraction * (v[i + 1] - v[i]) : v[i];
  return true;
}

void percentileHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherOne(args[0], ctx, list, result))
    return;
  double p = 0;
  result = percentileOf(list.numbers, args[1].numberValue(), p) ? numberResult(p)
                                                                : errorValue(ErrorCode::Num);
}

void quartileHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherOne(args[0], ctx, list, result))
    return;
  const double q = std::trunc(args[1].numberValue());
  double p = 0;
  if (!(q >= 0 && q <= 4) || !percentileOf(list.numbers, q / 4, p)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(p);
}

// The rank of x among the values as a fraction of n - 1, interpolated
// between neighbours, truncated (not rounded) to `significance` digits.
void percentRankHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherOne(args[0], ctx, list, result))
    return;
  const double x = args[1].numberValue();
  const double digits = std::trunc(numberOr(args, 2, 3));
  std::vector<double>& v = list.numbers;
  if (v.empty() || !(digits >= 1) || digits > 15) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  std::sort(v.begin(), v.end());
  if (x < v.front() || x > v.back()) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  double rank = 1;
  if (v.size() > 1) {
    const size_t below = static_cast<size_t>(std::lower_bound(v.begin(), v.end(), x) - v.begin());
    const double n1 = static_cast<double>(v.size() - 1);
    if (v[below] == x)
      rank = static_cast<double>(below) / n1;
    else
      rank = (static_cast<double>(below - 1) + (x - v[below - 1]) / (v[below] - v[below - 1])) / n1;
  }
  const double scale = std::pow(10.0, digits);
  // The tiny allowance keeps 0.58 from truncating to 0.579 through binary rounding.
  result = numberResult(std::floor(rank * scale * (1 + 1e-13)) / scale);
}

void rankHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const double x = args[0].numberValue();
  const bool ascending = numberOr(args, 2, 0) != 0;
  GatherOptions o;
  o.stopAtErrors = false;
  NumberList list;
  (void)gatherArgument(args[1], ctx, o, list);
  bool found = false;
  double before = 0;
  for (double v : list.numbers) {
    found |= v == x;
    if (ascending ? v < x : v > x)
      before += 1;
  }
  result = found ? CellValue::number(before + 1) : errorValue(ErrorCode::NA);
}

// The mean without the smallest and largest values: the count left out is
// n x percent rounded down to an even number, half from each end.
void trimMeanHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!gatherOne(args[0], ctx, list, result))
    return;
  const double percent = args[1].numberValue();
  std::vector<double>& v = list.numbers;
  if (v.empty() || !(percent >= 0) || percent >= 1) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  std::sort(v.begin(), v.end());
  const size_t cut = static_cast<size_t>(std::floor(static_cast<double>(v.size()) * percent / 2));
  double s = 0;
  for (size_t i = cut; i < v.size() - cut; ++i)
    s += v[i];
  result = numberResult(s / static_cast<double>(v.size() - 2 * cut));
}

// Counts per bin: a value falls into the first bin (in ascending order) that
// is not below it; the extra last element counts the values above every bin.
void frequencyHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> data, bins;
  CellValue error;
  if (!arrayNumbers(args[0], ctx, data, error) || !arrayNumbers(args[1], ctx, bins, error)) {
    result = error;
    return;
  }
  std::vector<size_t> order(bins.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return bins[a] < bins[b]; });
  std::vector<double> sortedBins(bins.size());
  for (size_t i = 0; i < order.size(); ++i)
    sortedBins[i] = bins[order[i]];
  std::vector<double> counts(bins.size() + 1, 0.0);
  for (double x : data) {
    const size_t k = static_cast<size_t>(std::lower_bound(sortedBins.begin(), sortedBins.end(), x) -
                                         sortedBins.begin());
    counts[k < order.size() ? order[k] : bins.size()] += 1;
  }
  if (counts.size() > 65535) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  std::vector<CellValue> items;
  items.reserve(counts.size());
  for (double c : counts)
    items.push_back(CellValue::number(c));
  result = CellValue::array(static_cast<int>(counts.size()), 1, std::move(items));
}

// ---------------------------------------------------------------------------
// Paired data

struct PairSums {
  double n = 0, meanX = 0, meanY = 0, sxx = 0, syy = 0, sxy = 0;
};

// Centred sums of two paired arguments (two passes).
bool pairSums(const CellValue& xArg, const CellValue& yArg, EvalContext& ctx, PairSums& s,
              CellValue& error) {
  std::vector<double> xs, ys;
  if (!gatherPairs(xArg, yArg, ctx, xs, ys, error))
    return false;
  s.n = static_cast<double>(xs.size());
  if (xs.empty()) {
    error = errorValue(ErrorCode::Div0);
    return false;
  }
  s.meanX = meanOf(xs);
  s.meanY = meanOf(ys);
  for (size_t i = 0; i < xs.size(); ++i) {
    const double dx = xs[i] - s.meanX, dy = ys[i] - s.meanY;
    s.sxx += dx * dx;
    s.syy += dy * dy;
    s.sxy += dx * dy;
  }
  return true;
}

void correlation(Arguments& args, CellValue& result, EvalContext& ctx, bool squared) {
  PairSums s;
  if (!pairSums(args[0], args[1], ctx, s, result))
    return;
  if (s.sxx == 0 || s.syy == 0) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  const double r = s.sxy / std::sqrt(s.sxx * s.syy);
  result = numberResult(squared ? r * r : r);
}

void correlHandler(Arguments& a, CellValue& r, EvalContext& c) { correlation(a, r, c, false); }
void rsqHandler(Arguments& a, CellValue& r, EvalContext& c) { correlation(a, r, c, true); }

void covarHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  PairSums s;
  if (!pairSums(args[0], args[1], ctx, s, result))
    return;
  result = numberResult(s.sxy / s.n);
}

// SLOPE, INTERCEPT and STEYX take the y values first.
void slopeHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  PairSums s;
  if (!pairSums(args[1], args[0], ctx, s, result))
    return;
  result = s.sxx == 0 ? errorValue(ErrorCode::Div0) : numberResult(s.sxy / s.sxx);
}

void interceptHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  PairSums s;
  if (!pairSums(args[1], args[0], ctx, s, result))
    return;
  result = s.sxx == 0 ? errorValue(ErrorCode::Div0)
                      : numberResult(s.meanY - s.sxy / s.sxx * s.meanX);
}

void steyxHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  PairSums s;
  if (!pairSums(args[1], args[0], ctx, s, result))
    return;
  if (s.n < 3 || s.sxx == 0) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  const double residual = std::max(0.0, s.syy - s.sxy * s.sxy / s.sxx);
  result = numberResult(std::sqrt(residual / (s.n - 2)));
}

void forecastHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  PairSums s;
  if (!pairSums(args[2], args[1], ctx, s, result))
    return;
  if (s.sxx == 0) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  result = numberResult(s.meanY + s.sxy / s.sxx * (args[0].numberValue() - s.meanX));
}

// ---------------------------------------------------------------------------
// Distribution helpers

// Degrees of freedom and counts are whole numbers.
double whole(const CellValue& v) { return std::trunc(v.numberValue()); }

double chiUpper(double x, double df, bool& ok) {
  double lower = 0, upper = 1;
  ok = x <= 0 || sf::incompleteGamma(df / 2, x / 2, lower, upper);
  return x <= 0 ? 1.0 : upper;
}

// Upper tail of Student's t for any x (the lower tail by symmetry).
bool tUpper(double x, double df, double& upper) {
  const double t2 = x * x;
  double lower = 0, q = 0;
  // I over x = df / (df + t^2) is twice the tail beyond |t|.
  if (!sf::incompleteBeta(df / 2, 0.5, df / (df + t2), t2 / (df + t2), lower, q))
    return false;
  upper = x >= 0 ? lower / 2 : 1 - lower / 2;
  return true;
}

double tDensity(double x, double df) {
  return std::exp(-(df + 1) / 2 * std::log1p(x * x / df) - 0.5 * std::log(df) -
                  sf::lnBeta(df / 2, 0.5));
}

bool fTails(double x, double d1, double d2, double& lower, double& upper) {
  if (x <= 0) {
    lower = 0, upper = 1;
    return true;
  }
  const double denominator = d1 * x + d2;
  return sf::incompleteBeta(d1 / 2, d2 / 2, d1 * x / denominator, d2 / denominator, lower, upper);
}

double fDensity(double x, double d1, double d2) {
  if (x <= 0)
    return 0;
  const double denominator = d1 * x + d2;
  return sf::betaPowerTerm(d1 / 2, d2 / 2, d1 * x / denominator, d2 / denominator) / x;
}

// The inverse solvers. Each first runs the Newton iteration that decides
// success (its start value, the tolerance 3e-7 on the probability, at most 100
// steps, failure when the derivative vanishes); a step that would leave the
// distribution's support goes halfway to the edge instead. An absolute
// tolerance of 3e-7 on a probability leaves the point far from the true
// quantile in the tails, so the accepted point is then polished by Newton's
// method on the logarithm of the smaller tail, kept inside a bracket, which
// converges to full precision in a few steps.
struct Inverse {
  double p = 0;       // target lower-tail probability
  double q = 0;       // target upper-tail probability (1 - p, but exact when given)
  double lo = -HUGE_VAL, hi = HUGE_VAL; // the support
  // Both tails and the density at x; false when they cannot be computed.
  virtual bool tails(double x, double& lower, double& upper) const = 0;
  virtual double density(double x) const = 0;
  virtual ~Inverse() = default;
};

constexpr double kSolverTolerance = 3e-7;
constexpr int kSolverSteps = 100;

// Where a step goes when Newton's would leave the bracket known so far: the
// middle of a finite bracket, else halfway to the support's edge.
double safeguard(double x, double next, double lo, double hi) {
  if (next > lo && next < hi)
    return next;
  if (std::isfinite(lo) && std::isfinite(hi))
    return lo + (hi - lo) / 2;
  return next <= lo ? (x + lo) / 2 : (x + hi) / 2;
}

// Returns false when no point near the quantile can be found.
// On a support of positive numbers the polish works on log x, where the
// power-law tails (t, F, small gamma shapes) become straight lines and
// Newton settles in a step or two instead of creeping geometrically.
bool polish(const Inverse& d, double& x) {
  const bool useLower = d.p <= d.q;
  const bool logScale = d.lo == 0;
  const double target = std::log(useLower ? d.p : d.q);
  double lo = d.lo, hi = d.hi;
  double best = x, bestResidual = HUGE_VAL;
  bool settled = false;
  for (int i = 0; i < kSolverSteps; ++i) {
    double lower = 0, upper = 0;
    if (!d.tails(x, lower, upper))
      break;
    const double tail = useLower ? lower : upper;
    const double f = d.density(x);
    // An underflowed tail lies beyond the quantile on the tail's side.
    const double r = tail > 0 ? std::log(tail) - target : -HUGE_VAL;
    if (std::fabs(r) < bestResidual) {
      best = x;
      bestResidual = std::fabs(r);
    }
    if (r == 0)
      break;
    // The lower tail grows with x, the upper one shrinks.
    if ((r > 0) == useLower)
      hi = std::min(hi, x);
    else
      lo = std::max(lo, x);
    double next = HUGE_VAL;
    if (tail > 0 && f > 0 && std::isfinite(f)) {
      const double slope = (useLower ? f : -f) / tail; // d log(tail) / dx
      next = logScale ? x * std::exp(-r / (slope * x)) : x - r / slope;
    }
    if (!(next > lo && next < hi)) {
      if (std::isinf(next) && std::isinf(hi))
        return false; // the quantile lies beyond the largest number
      if (std::isinf(lo) || std::isinf(hi))
        break;
      next = logScale && lo > 0 ? std::sqrt(lo) * std::sqrt(hi) : lo + (hi - lo) / 2;
    }
    if (std::fabs(next - x) <= 4e-16 * std::fabs(x)) {
      best = next;
      settled = true;
      break;
    }
    x = next;
  }
  x = best;
  // Settled in x (near 1 the tails can only be as exact as 1 - x), or close in
  // probability; else the quantile lies where the tails cannot be computed
  // (past the range of numbers) and the accepted point would be plainly wrong.
  settled |= std::isfinite(hi - lo) && hi - lo <= 1e-13 * std::max(std::fabs(lo), std::fabs(hi));
  return settled || bestResidual < 1e-7;
}

bool solveInverse(const Inverse& d, double start, double& x) {
  x = start;
  double lo = d.lo, hi = d.hi;
  for (int i = 0;; ++i) {
    double lower = 0, upper = 0;
    if (!d.tails(x, lower, upper))
      return false;
    // The residual through the smaller of the given tails keeps its digits.
    const double residual = d.p <= d.q ? lower - d.p : d.q - upper;
    if (std::fabs(residual) < kSolverTolerance)
      break;
    if (i >= kSolverSteps)
      return false;
    if (residual > 0)
      hi = std::min(hi, x);
    else
      lo = std::max(lo, x);
    const double f = d.density(x);
    if (!(f != 0) || !std::isfinite(f))
      return false;
    x = safeguard(x, x - residual / f, lo, hi);
  }
  return polish(d, x) && std::isfinite(x);
}

struct NormalInverse final : Inverse {
  bool tails(double x, double& lower, double& upper) const override {
    lower = sf::normalLower(x);
    upper = sf::normalUpper(x);
    return true;
  }
  double density(double x) const override { return sf::normalDensity(x); }
};

// The standard normal quantile: #NUM! outside [0, 1]; at 0 and 1 the solution
// is infinite, so the solver cannot reach it (#N/A).
bool normalQuantile(double p, double& z, CellValue& error) {
  if (!(p >= 0 && p <= 1)) {
    error = errorValue(ErrorCode::Num);
    return false;
  }
  NormalInverse d;
  d.p = p;
  d.q = 1 - p;
  if (p == 0 || p == 1 || !solveInverse(d, 0, z)) {
    error = errorValue(ErrorCode::NA);
    return false;
  }
  return true;
}

struct ChiInverse final : Inverse {
  double df = 1;
  bool tails(double x, double& lower, double& upper) const override {
    if (x <= 0) {
      lower = 0, upper = 1;
      return true;
    }
    return sf::incompleteGamma(df / 2, x / 2, lower, upper);
  }
  double density(double x) const override {
    return x <= 0 ? 0 : sf::gammaPowerTerm(df / 2, x / 2) / x;
  }
};

struct GammaInverse final : Inverse {
  double alpha = 1;
  bool tails(double x, double& lower, double& upper) const override {
    if (x <= 0) {
      lower = 0, upper = 1;
      return true;
    }
    return sf::incompleteGamma(alpha, x, lower, upper);
  }
  double density(double x) const override {
    return x <= 0 ? 0 : sf::gammaPowerTerm(alpha, x) / x;
  }
};

struct BetaInverse final : Inverse {
  double alpha = 1, beta = 1;
  bool tails(double x, double& lower, double& upper) const override {
    return sf::incompleteBeta(alpha, beta, x, 1 - x, lower, upper);
  }
  double density(double x) const override {
    if (x <= 0 || x >= 1)
      return 0;
    return sf::betaPowerTerm(alpha, beta, x, 1 - x) / (x * (1 - x));
  }
};

struct FInverse final : Inverse {
  double d1 = 1, d2 = 1;
  bool tails(double x, double& lower, double& upper) const override {
    return fTails(x, d1, d2, lower, upper);
  }
  double density(double x) const override { return fDensity(x, d1, d2); }
};

struct TInverse final : Inverse {
  double df = 1;
  bool tails(double x, double& lower, double& upper) const override {
    if (!tUpper(x, df, upper))
      return false;
    lower = 1 - upper;
    return true;
  }
  double density(double x) const override { return tDensity(x, df); }
};

// ---------------------------------------------------------------------------
// Continuous distributions

void normDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), mean = args[1].numberValue(), sd = args[2].numberValue();
  if (!(sd > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const double z = (x - mean) / sd;
  result = numberResult(args[3].booleanValue() ? sf::normalLower(z) : sf::normalDensity(z) / sd);
}

void normSDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = numberResult(sf::normalLower(args[0].numberValue()));
}

// NORM.S.DIST(z, cumulative): the distribution, or the density.
void normSDist2Handler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const double z = args[0].numberValue();
  if (args[1].isBoolean() && args[1].booleanValue()) {
    normSDistHandler(args, result, ctx);
    return;
  }
  result = numberResult(std::exp(-0.5 * z * z) / std::sqrt(2 * std::numbers::pi));
}

void normSInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  double z = 0;
  if (normalQuantile(args[0].numberValue(), z, result))
    result = numberResult(z);
}

void normInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double mean = args[1].numberValue(), sd = args[2].numberValue();
  double z = 0;
  if (!(sd > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (normalQuantile(args[0].numberValue(), z, result))
    result = numberResult(mean + sd * z);
}

void logNormDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), mean = args[1].numberValue(), sd = args[2].numberValue();
  if (!(x > 0) || !(sd > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(sf::normalLower((std::log(x) - mean) / sd));
}

void logInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double mean = args[1].numberValue(), sd = args[2].numberValue();
  double z = 0;
  if (!(sd > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (normalQuantile(args[0].numberValue(), z, result))
    result = numberResult(std::exp(mean + sd * z));
}

void standardizeHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double sd = args[2].numberValue();
  result = sd > 0 ? numberResult((args[0].numberValue() - args[1].numberValue()) / sd)
                  : errorValue(ErrorCode::Num);
}

void confidenceHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double alpha = args[0].numberValue(), sd = args[1].numberValue(), n = whole(args[2]);
  double z = 0;
  if (!(alpha > 0 && alpha < 1) || !(sd > 0) || !(n >= 1)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  // The lower quantile of alpha / 2, negated: 1 - alpha / 2 would round away digits.
  if (normalQuantile(alpha / 2, z, result))
    result = numberResult(-z * sd / std::sqrt(n));
}

void expondistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), lambda = args[1].numberValue();
  if (!(x >= 0) || !(lambda > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(args[2].booleanValue() ? -std::expm1(-lambda * x)
                                               : lambda * std::exp(-lambda * x));
}

void weibullHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), alpha = args[1].numberValue(), beta = args[2].numberValue();
  if (!(x >= 0) || !(alpha > 0) || !(beta > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const double u = std::pow(x / beta, alpha);
  if (args[3].booleanValue())
    result = numberResult(-std::expm1(-u));
  else
    result = numberResult(alpha / beta * std::pow(x / beta, alpha - 1) * std::exp(-u));
}

void gammaDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), alpha = args[1].numberValue(), beta = args[2].numberValue();
  if (!(x >= 0) || !(alpha > 0) || !(beta > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const double z = x / beta;
  if (args[3].booleanValue()) {
    double lower = 0, upper = 0;
    result = sf::incompleteGamma(alpha, z, lower, upper) ? numberResult(lower)
                                                         : errorValue(ErrorCode::Num);
    return;
  }
  if (z == 0) {
    // The density at 0 is infinite below shape 1, 1/beta at 1, 0 above.
    result = alpha < 1 ? errorValue(ErrorCode::Num) : CellValue::number(alpha == 1 ? 1 / beta : 0);
    return;
  }
  result = numberResult(sf::gammaPowerTerm(alpha, z) / z / beta);
}

void gammaInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double p = args[0].numberValue(), alpha = args[1].numberValue(), beta = args[2].numberValue();
  if (!(p >= 0 && p <= 1) || !(alpha > 0) || !(beta > 0)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (p == 0) {
    result = CellValue::number(0);
    return;
  }
  GammaInverse d;
  d.alpha = alpha;
  d.p = p;
  d.q = 1 - p;
  d.lo = 0;
  double z = 0;
  // The mean of the standardized distribution is the start.
  if (p == 1 || !solveInverse(d, alpha, z)) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  result = numberResult(z * beta);
}

void gammaLnHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue();
  result = x > 0 ? numberResult(std::lgamma(x)) : errorValue(ErrorCode::Num);
}

void chiDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), df = whole(args[1]);
  if (!(x >= 0) || !(df >= 1 && df <= 1e10)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  bool ok = true;
  const double upper = chiUpper(x, df, ok);
  result = ok ? numberResult(upper) : errorValue(ErrorCode::Num);
}

void chiInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double p = args[0].numberValue(), df = whole(args[1]);
  if (!(p >= 0 && p <= 1) || !(df >= 1 && df <= 1e11)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (p == 1) {
    result = CellValue::number(0);
    return;
  }
  ChiInverse d;
  d.df = df;
  d.q = p;
  d.p = 1 - p;
  d.lo = 0;
  double x = 0;
  if (p == 0 || !solveInverse(d, df, x)) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  result = numberResult(x);
}

void betaDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), alpha = args[1].numberValue(), beta = args[2].numberValue();
  const double a = numberOr(args, 3, 0), b = numberOr(args, 4, 1);
  if (!(alpha > 0) || !(beta > 0) || !(a < b) || !(x >= a && x <= b)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const double u = (x - a) / (b - a), v = (b - x) / (b - a);
  double lower = 0, upper = 0;
  result = sf::incompleteBeta(alpha, beta, u, v, lower, upper) ? numberResult(lower)
                                                               : errorValue(ErrorCode::Num);
}

void betaInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double p = args[0].numberValue(), alpha = args[1].numberValue(), beta = args[2].numberValue();
  const double a = numberOr(args, 3, 0), b = numberOr(args, 4, 1);
  if (!(p > 0 && p <= 1) || !(alpha > 0) || !(beta > 0) || a == b) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  BetaInverse d;
  d.alpha = alpha;
  d.beta = beta;
  d.p = p;
  d.q = 1 - p;
  d.lo = 0;
  d.hi = 1;
  double x = 1; // the distribution reaches 1 at the upper edge
  if (p < 1 && !solveInverse(d, 0.5, x)) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  result = numberResult(a + (b - a) * x);
}

void tDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), df = whole(args[1]), tails = whole(args[2]);
  double upper = 0;
  if (!(x >= 0) || !(df >= 1 && df <= 1e10) || !(tails == 1 || tails == 2) ||
      !tUpper(x, df, upper)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(tails * upper);
}

// T.DIST.2T(x, df): TDIST of two tails.
void tDist2THandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  Arguments call;
  call.count = 3;
  call[0] = args[0];
  call[1] = args[1];
  call[2] = CellValue::number(2);
  tDistHandler(call, result, ctx);
}

// T.DIST.RT(x, df): the right tail, for a negative x too (by symmetry).
void tDistRTHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const double x = args[0].numberValue();
  Arguments call;
  call.count = 3;
  call[0] = CellValue::number(std::fabs(x));
  call[1] = args[1];
  call[2] = CellValue::number(1);
  tDistHandler(call, result, ctx);
  if (x < 0 && result.isNumber())
    result = numberResult(1 - result.numberValue());
}

// Solved on 2 T(x) = p by the central-difference scheme (start 1, step 1,
// halved each step), then polished like the other inverses.
void tInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double p = args[0].numberValue(), df = whole(args[1]);
  if (!(p >= 0 && p <= 1) || !(df >= 1 && df <= 1e10)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (p == 1) {
    result = CellValue::number(0);
    return;
  }
  auto g = [&](double x, double& out) {
    double upper = 0;
    if (!tUpper(x, df, upper))
      return false;
    out = 2 * upper - p;
    return true;
  };
  double x = 1, h = 1;
  bool solved = false;
  for (int i = 0; i < kSolverSteps && p > 0; ++i) {
    double gx = 0, gm = 0, gp = 0;
    if (!g(x, gx))
      break;
    if (std::fabs(gx) < kSolverTolerance) {
      solved = true;
      break;
    }
    if (!g(x - h, gm) || !g(x + h, gp) || gm == gp)
      break;
    x -= gx * 2 * h / (gp - gm);
    h /= 2;
    if (!std::isfinite(x))
      break;
  }
  TInverse d;
  d.df = df;
  d.q = p / 2;
  d.p = 1 - p / 2;
  d.lo = 0;
  // The quantile is positive; a point accepted at or just below 0 is within
  // the tolerance of it already.
  x = std::fabs(x);
  if (!solved || (x > 0 && !polish(d, x)) || !std::isfinite(x)) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  result = numberResult(std::fabs(x));
}

void fDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue(), d1 = whole(args[1]), d2 = whole(args[2]);
  double lower = 0, upper = 0;
  if (!(x >= 0) || !(d1 >= 1 && d1 < 1e10) || !(d2 >= 1 && d2 < 1e10) ||
      !fTails(x, d1, d2, lower, upper)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(upper);
}

void fInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double p = args[0].numberValue(), d1 = whole(args[1]), d2 = whole(args[2]);
  if (!(p >= 0 && p <= 1) || !(d1 >= 1 && d1 < 1e10) || !(d2 >= 1 && d2 < 1e10)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (p == 1) {
    result = CellValue::number(0);
    return;
  }
  FInverse d;
  d.d1 = d1;
  d.d2 = d2;
  d.q = p;
  d.p = 1 - p;
  d.lo = 0;
  double x = 0;
  if (p == 0 || !solveInverse(d, 1, x)) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  result = numberResult(x);
}

void fisherHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue();
  result = std::fabs(x) < 1 ? numberResult(std::atanh(x)) : errorValue(ErrorCode::Num);
}

void fisherInvHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = numberResult(std::tanh(args[0].numberValue()));
}

// ---------------------------------------------------------------------------
// Discrete distributions

// C(n, k) p^k (1 - p)^(n - k) through the beta power term, which keeps its
// digits for large n where factorials and powers would over- or underflow.
double binomialTerm(double k, double n, double p) {
  const double q = 1 - p;
  if (p == 0)
    return k == 0 ? 1 : 0;
  if (p == 1)
    return k == n ? 1 : 0;
  // p^k q^(n-k) / B(k + 1, n - k + 1) = (n + 1) C(n, k) p^k q^(n-k).
  return sf::betaPowerTerm(k + 1, n - k + 1, p, q) / (p * q * (n + 1));
}

// P(X <= k) for X binomial(n, p).
bool binomialLower(double k, double n, double p, double& out) {
  if (k >= n || p == 0) {
    out = 1;
    return true;
  }
  if (p == 1) {
    out = 0;
    return true;
  }
  double lower = 0, upper = 0;
  if (!sf::incompleteBeta(n - k, k + 1, 1 - p, p, lower, upper))
    return false;
  out = lower;
  return true;
}

void binomDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double k = whole(args[0]), n = whole(args[1]), p = args[2].numberValue();
  if (!(n >= 0) || !(k >= 0) || k > n || !(p >= 0 && p <= 1) || n > 1e15) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (!args[3].booleanValue()) {
    result = numberResult(binomialTerm(k, n, p));
    return;
  }
  double c = 0;
  result = binomialLower(k, n, p, c) ? numberResult(c) : errorValue(ErrorCode::Num);
}

// The smallest k whose cumulative binomial probability reaches alpha, by
// bisection over 0..n.
void critBinomHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double n = whole(args[0]), p = args[1].numberValue(), alpha = args[2].numberValue();
  if (!(n >= 0) || n > 1e15 || !(p >= 0 && p <= 1) || !(alpha >= 0 && alpha <= 1)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  double lo = 0, hi = n; // the answer lies in [lo, hi]
  while (lo < hi) {
    const double mid = std::floor(lo + (hi - lo) / 2);
    double c = 0;
    if (!binomialLower(mid, n, p, c)) {
      result = errorValue(ErrorCode::Num);
      return;
    }
    if (c >= alpha)
      hi = mid;
    else
      lo = mid + 1;
  }
  result = CellValue::number(lo);
}

void negBinomDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double f = whole(args[0]), s = whole(args[1]), p = args[2].numberValue();
  if (!(f >= 0) || !(s >= 1) || !(p >= 0 && p <= 1) || f + s - 1 <= 0 || f + s > 1e15) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  // C(f + s - 1, f) p^s (1 - p)^f: the binomial term of f failures among
  // f + s - 1 trials, times the final success.
  result = numberResult(binomialTerm(f, f + s - 1, 1 - p) * p);
}

double lnCombin(double n, double k) {
  if (k == 0 || k == n)
    return 0;
  return -std::log(n + 1) - sf::lnBeta(k + 1, n - k + 1);
}

void hypGeomDistHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double s = whole(args[0]), n = whole(args[1]), m = whole(args[2]), total = whole(args[3]);
  if (!(total > 0) || !(n > 0) || n > total || !(m > 0) || m > total || !(s >= 0) ||
      s > std::min(n, m) || s < std::max(0.0, n - total + m) || total > 1e15) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(
      std::exp(lnCombin(m, s) + lnCombin(total - m, n - s) - lnCombin(total, n)));
}

void poissonHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double k = whole(args[0]), mean = args[1].numberValue();
  if (!(k >= 0) || !(mean >= 0) || k > 1e15) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  if (mean == 0) {
    result = CellValue::number(args[2].booleanValue() || k == 0 ? 1 : 0);
    return;
  }
  if (!args[2].booleanValue()) {
    // mean^k e^-mean / k!
    result = numberResult(sf::gammaPowerTerm(k + 1, mean) / mean);
    return;
  }
  double lower = 0, upper = 0;
  result = sf::incompleteGamma(k + 1, mean, lower, upper) ? numberResult(upper)
                                                          : errorValue(ErrorCode::Num);
}

void permutHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double n = whole(args[0]), k = whole(args[1]);
  if (!(n > 0) || !(k >= 0) || k > n) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  // Every factor is at least 1, so the product overflows within a few
  // hundred steps whenever k is large.
  double product = 1;
  for (double i = 0; i < k && std::isfinite(product); ++i)
    product *= n - i;
  result = numberResult(product);
}

// ---------------------------------------------------------------------------
// Tests

void chiTestHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const CellValue actual = argumentArray(args[0], ctx);
  if (actual.isError()) {
    result = actual;
    return;
  }
  std::vector<double> a, e;
  if (!gatherPairs(args[0], args[1], ctx, a, e, result))
    return;
  const double rows = actual.arrayRows(), columns = actual.arrayColumns();
  const double df = rows > 1 && columns > 1 ? (rows - 1) * (columns - 1) : rows * columns - 1;
  if (df < 1 || a.empty()) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  double chi = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (e[i] == 0) {
      result = errorValue(ErrorCode::Div0);
      return;
    }
    if (e[i] < 0) {
      result = errorValue(ErrorCode::Num);
      return;
    }
    chi += (a[i] - e[i]) * (a[i] - e[i]) / e[i];
  }
  bool ok = true;
  const double p = chiUpper(chi, df, ok);
  result = ok ? numberResult(p) : errorValue(ErrorCode::Num);
}

void fTestHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> x, y;
  if (!arrayNumbers(args[0], ctx, x, result) || !arrayNumbers(args[1], ctx, y, result))
    return;
  double vx = 0, vy = 0;
  if (!varianceOf(x, 1, vx) || !varianceOf(y, 1, vy) || vx == 0 || vy == 0) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  double lower = 0, upper = 0;
  if (!fTails(vx / vy, static_cast<double>(x.size() - 1), static_cast<double>(y.size() - 1), lower,
              upper)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(std::min(1.0, 2 * std::min(lower, upper)));
}

void tTestHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const double tails = whole(args[2]), type = whole(args[3]);
  if (!(tails == 1 || tails == 2) || !(type >= 1 && type <= 3)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  std::vector<double> x, y;
  double t = 0, df = 0;
  if (type == 1) {
    if (!gatherPairs(args[0], args[1], ctx, x, y, result))
      return;
    std::vector<double> d(x.size());
    for (size_t i = 0; i < x.size(); ++i)
      d[i] = x[i] - y[i];
    double var = 0;
    if (!varianceOf(d, 1, var) || var == 0) {
      result = errorValue(ErrorCode::Div0);
      return;
    }
    const double n = static_cast<double>(d.size());
    t = meanOf(d) / std::sqrt(var / n);
    df = n - 1;
  } else {
    if (!arrayNumbers(args[0], ctx, x, result) || !arrayNumbers(args[1], ctx, y, result))
      return;
    double vx = 0, vy = 0;
    if (!varianceOf(x, 1, vx) || !varianceOf(y, 1, vy)) {
      result = errorValue(ErrorCode::Div0);
      return;
    }
    const double nx = static_cast<double>(x.size()), ny = static_cast<double>(y.size());
    const double difference = meanOf(x) - meanOf(y);
    if (type == 2) {
      df = nx + ny - 2;
      const double pooled = ((nx - 1) * vx + (ny - 1) * vy) / df;
      t = difference / std::sqrt(pooled * (1 / nx + 1 / ny));
    } else {
      // Welch's test with the Welch-Satterthwaite degrees of freedom (not rounded).
      const double ax = vx / nx, ay = vy / ny;
      t = difference / std::sqrt(ax + ay);
      df = (ax + ay) * (ax + ay) / (ax * ax / (nx - 1) + ay * ay / (ny - 1));
    }
  }
  double upper = 0;
  if (!std::isfinite(t) || !(df > 0)) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  if (!tUpper(std::fabs(t), df, upper)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  result = numberResult(tails * upper);
}

// The one-tailed probability of a mean at least as far above x; sigma
// defaults to the sample standard deviation.
void zTestHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> v;
  if (!arrayNumbers(args[0], ctx, v, result))
    return;
  if (v.empty()) {
    result = errorValue(ErrorCode::NA);
    return;
  }
  double sigma = 0;
  if (!isMissing(args, 2)) {
    sigma = args[2].numberValue();
  } else {
    double var = 0;
    if (!varianceOf(v, 1, var)) {
      result = errorValue(ErrorCode::Div0);
      return;
    }
    sigma = std::sqrt(var);
  }
  if (sigma == 0) {
    result = errorValue(ErrorCode::Div0);
    return;
  }
  if (sigma < 0) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const double z = (meanOf(v) - args[1].numberValue()) / (sigma / std::sqrt(static_cast<double>(v.size())));
  result = numberResult(sf::normalUpper(z));
}

void probHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<double> x, p;
  if (!gatherPairs(args[0], args[1], ctx, x, p, result))
    return;
  const double lower = args[2].numberValue();
  const double upper = numberOr(args, 3, lower);
  double total = 0, in = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!(p[i] > 0 && p[i] <= 1)) {
      result = errorValue(ErrorCode::Num);
      return;
    }
    total += p[i];
    if (x[i] >= lower && x[i] <= upper)
      in += p[i];
  }
  // The probabilities must add up to 1, allowing for the rounding of decimal inputs.
  result = std::fabs(total - 1) <= 1e-9 ? numberResult(in) : errorValue(ErrorCode::Num);
}

// ---------------------------------------------------------------------------
// Regression

// A least-squares fit of y on k variables (plus a constant when asked),
// solved by Householder QR, which keeps its digits where the normal
// equations would square the condition number.
struct Fit {
  int n = 0, k = 0;
  bool constant = true;
  std::vector<double> coefficients; // one per variable, then the constant (0 without)
  std::vector<double> standardErrors; // same order; the constant's NaN without one
  double r2 = 0, seY = 0, f = 0, df = 0, ssReg = 0, ssResid = 0;
  bool statsDefined = false;
};

// The observations: y values and, per observation, k variable values.
struct Observations {
  int n = 0, k = 0;
  bool yIsRow = false;
  std::vector<double> y, x; // x row-major: n rows of k
};

bool readObservations(const Arguments& args, EvalContext& ctx, bool logY, Observations& obs,
                      CellValue& error) {
  NumberMatrix y;
  if (!numberMatrix(args[0], ctx, y, error))
    return false;
  obs.n = y.rows * y.columns;
  obs.y = y.items;
  obs.yIsRow = y.rows == 1 && y.columns > 1;
  if (obs.n == 0) {
    error = errorValue(ErrorCode::Value);
    return false;
  }
  if (logY)
    for (double& v : obs.y) {
      if (!(v > 0)) {
        error = errorValue(ErrorCode::Num);
        return false;
      }
      v = std::log(v);
    }
  if (isMissing(args, 1)) {
    obs.k = 1;
    obs.x.resize(static_cast<size_t>(obs.n));
    for (int i = 0; i < obs.n; ++i)
      obs.x[static_cast<size_t>(i)] = i + 1;
    return true;
  }
  NumberMatrix x;
  if (!numberMatrix(args[1], ctx, x, error))
    return false;
  if (x.rows == y.rows && x.columns == y.columns) {
    obs.k = 1;
    obs.x = x.items;
  } else if (y.columns == 1 && x.rows == y.rows) {
    obs.k = x.columns;
    obs.x = x.items;
  } else if (y.rows == 1 && x.columns == y.columns) {
    obs.k = x.rows;
    obs.x.resize(x.items.size());
    for (int i = 0; i < obs.n; ++i)
      for (int j = 0; j < obs.k; ++j)
        obs.x[static_cast<size_t>(i) * obs.k + j] = x.at(j, i);
    obs.yIsRow = true;
  } else {
    error = errorValue(ErrorCode::Ref);
    return false;
  }
  return true;
}

bool fitLeastSquares(const Observations& obs, bool constant, Fit& fit) {
  const int n = obs.n, k = obs.k, p = k + (constant ? 1 : 0);
  fit.n = n;
  fit.k = k;
  fit.constant = constant;
  if (n < p || p == 0)
    return false;
  // Column-major design matrix: the variables, then the column of ones.
  std::vector<double> a(static_cast<size_t>(n) * p);
  auto at = [&](int i, int j) -> double& { return a[static_cast<size_t>(j) * n + i]; };
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < k; ++j)
      at(i, j) = obs.x[static_cast<size_t>(i) * k + j];
    if (constant)
      at(i, k) = 1;
  }
  std::vector<double> qty = obs.y;
  std::vector<double> columnNorm(static_cast<size_t>(p));
  for (int j = 0; j < p; ++j) {
    double s = 0;
    for (int i = 0; i < n; ++i)
      s += at(i, j) * at(i, j);
    columnNorm[static_cast<size_t>(j)] = std::sqrt(s);
  }
  for (int j = 0; j < p; ++j) {
    double s = 0;
    for (int i = j; i < n; ++i)
      s += at(i, j) * at(i, j);
    const double norm = std::sqrt(s);
    // A column that lies (nearly) in the span of the earlier ones.
    if (!(norm > 1e-12 * columnNorm[static_cast<size_t>(j)]))
      return false;
    const double alpha = at(j, j) > 0 ? -norm : norm;
    std::vector<double> v(static_cast<size_t>(n - j));
    for (int i = j; i < n; ++i)
      v[static_cast<size_t>(i - j)] = at(i, j);
    v[0] -= alpha;
    double vv = 0;
    for (double e : v)
      vv += e * e;
    if (vv > 0) {
      auto reflect = [&](auto get) {
        double dot = 0;
        for (int i = j; i < n; ++i)
          dot += v[static_cast<size_t>(i - j)] * get(i);
        const double factor = 2 * dot / vv;
        for (int i = j; i < n; ++i)
          get(i) -= factor * v[static_cast<size_t>(i - j)];
      };
      for (int c = j + 1; c < p; ++c)
        reflect([&](int i) -> double& { return at(i, c); });
      reflect([&](int i) -> double& { return qty[static_cast<size_t>(i)]; });
    }
    at(j, j) = alpha;
  }
  // Back substitution R b = Q'y, and R^-1 for the standard errors.
  std::vector<double> beta(static_cast<size_t>(p));
  for (int j = p - 1; j >= 0; --j) {
    double s = qty[static_cast<size_t>(j)];
    for (int c = j + 1; c < p; ++c)
      s -= at(j, c) * beta[static_cast<size_t>(c)];
    beta[static_cast<size_t>(j)] = s / at(j, j);
  }
  std::vector<double> rInv(static_cast<size_t>(p) * p, 0.0);
  for (int c = 0; c < p; ++c)
    for (int j = c; j >= 0; --j) {
      double s = j == c ? 1.0 : 0.0;
      for (int m = j + 1; m <= c; ++m)
        s -= at(j, m) * rInv[static_cast<size_t>(m) * p + c];
      rInv[static_cast<size_t>(j) * p + c] = s / at(j, j);
    }
  // Statistics from the fitted values.
  double meanY = meanOf(obs.y), ssResid = 0, ssReg = 0;
  for (int i = 0; i < n; ++i) {
    double fitted = 0;
    for (int j = 0; j < k; ++j)
      fitted += beta[static_cast<size_t>(j)] * obs.x[static_cast<size_t>(i) * k + j];
    if (constant)
      fitted += beta[static_cast<size_t>(k)];
    const double r = obs.y[static_cast<size_t>(i)] - fitted;
    ssResid += r * r;
    const double centred = constant ? fitted - meanY : fitted;
    ssReg += centred * centred;
  }
  fit.coefficients.assign(beta.begin(), beta.begin() + k);
  fit.coefficients.push_back(constant ? beta[static_cast<size_t>(k)] : 0.0);
  fit.ssResid = ssResid;
  fit.ssReg = ssReg;
  fit.df = n - p;
  fit.r2 = ssReg + ssResid > 0 ? ssReg / (ssReg + ssResid) : 1.0;
  fit.statsDefined = fit.df > 0;
  fit.seY = fit.statsDefined ? std::sqrt(ssResid / fit.df) : 0;
  fit.f = fit.statsDefined && ssResid > 0 ? (ssReg / k) / (ssResid / fit.df) : HUGE_VAL;
  fit.standardErrors.assign(static_cast<size_t>(k + 1), std::nan(""));
  for (int j = 0; j < p; ++j) {
    double s = 0;
    for (int c = j; c < p; ++c)
      s += rInv[static_cast<size_t>(j) * p + c] * rInv[static_cast<size_t>(j) * p + c];
    fit.standardErrors[static_cast<size_t>(j)] = fit.seY * std::sqrt(s);
  }
  return true;
}

bool optionalFlag(const Arguments& args, int i, bool fallback) {
  return isMissing(args, i) ? fallback : args[i].booleanValue();
}

// LINEST and LOGEST: a row of coefficients (last variable first, the constant
// last), and with statistics four more rows: standard errors; r2 and the
// standard error of y; F and the degrees of freedom; the regression and
// residual sums of squares. Unused places hold #N/A.
void linearEstimate(Arguments& args, CellValue& result, EvalContext& ctx, bool exponential) {
  Observations obs;
  if (!readObservations(args, ctx, exponential, obs, result))
    return;
  Fit fit;
  if (!fitLeastSquares(obs, optionalFlag(args, 2, true), fit)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  const bool stats = optionalFlag(args, 3, false);
  const int columns = fit.k + 1, rows = stats ? 5 : 1;
  std::vector<CellValue> items(static_cast<size_t>(rows) * columns, errorValue(ErrorCode::NA));
  auto put = [&](int r, int c, double v) {
    items[static_cast<size_t>(r) * columns + c] =
        std::isnan(v) ? errorValue(ErrorCode::NA) : numberResult(v);
  };
  for (int c = 0; c < columns; ++c) {
    const int j = c < fit.k ? fit.k - 1 - c : fit.k;
    const double coefficient = fit.coefficients[static_cast<size_t>(j)];
    put(0, c, exponential ? std::exp(coefficient) : coefficient);
    if (stats)
      put(1, c, fit.statsDefined || std::isnan(fit.standardErrors[static_cast<size_t>(j)])
                    ? fit.standardErrors[static_cast<size_t>(j)]
                    : HUGE_VAL);
  }
  if (stats) {
    put(2, 0, fit.r2);
    put(2, 1, fit.statsDefined ? fit.seY : HUGE_VAL);
    put(3, 0, fit.f);
    put(3, 1, fit.df);
    put(4, 0, fit.ssReg);
    put(4, 1, fit.ssResid);
  }
  result = CellValue::array(static_cast<int>(rows), static_cast<int>(columns),
                            std::move(items));
}

// TREND and GROWTH: the fitted values at new x (by default the known x),
// shaped like the new x for one variable, else one value per observation.
void trendEstimate(Arguments& args, CellValue& result, EvalContext& ctx, bool exponential) {
  Observations obs;
  if (!readObservations(args, ctx, exponential, obs, result))
    return;
  Fit fit;
  if (!fitLeastSquares(obs, optionalFlag(args, 3, true), fit)) {
    result = errorValue(ErrorCode::Num);
    return;
  }
  NumberMatrix fresh;
  if (!isMissing(args, 2)) {
    if (!numberMatrix(args[2], ctx, fresh, result))
      return;
  } else if (!isMissing(args, 1)) {
    if (!numberMatrix(args[1], ctx, fresh, result))
      return;
  } else {
    // The default x values 1..n, shaped like the y values.
    NumberMatrix y;
    if (!numberMatrix(args[0], ctx, y, result))
      return;
    fresh = y;
    for (int i = 0; i < obs.n; ++i)
      fresh.items[static_cast<size_t>(i)] = i + 1;
  }
  int outRows = fresh.rows, outColumns = fresh.columns;
  std::vector<double> points; // row-major, k per point
  if (fit.k == 1) {
    points = fresh.items;
  } else if (!obs.yIsRow && fresh.columns == fit.k) {
    points = fresh.items;
    outColumns = 1;
  } else if (obs.yIsRow && fresh.rows == fit.k) {
    outRows = 1;
    points.resize(fresh.items.size());
    for (int i = 0; i < fresh.columns; ++i)
      for (int j = 0; j < fit.k; ++j)
        points[static_cast<size_t>(i) * fit.k + j] = fresh.at(j, i);
  } else {
    result = errorValue(ErrorCode::Ref);
    return;
  }
  const size_t count = points.size() / static_cast<size_t>(fit.k);
  std::vector<CellValue> items;
  items.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    double v = fit.coefficients[static_cast<size_t>(fit.k)];
    for (int j = 0; j < fit.k; ++j)
      v += fit.coefficients[static_cast<size_t>(j)] * points[i * fit.k + j];
    items.push_back(numberResult(exponential ? std::exp(v) : v));
  }
  result = CellValue::array(static_cast<int>(outRows),
                            static_cast<int>(outColumns), std::move(items));
}

void linestHandler(Arguments& a, CellValue& r, EvalContext& c) { linearEstimate(a, r, c, false); }
void logestHandler(Arguments& a, CellValue& r, EvalContext& c) { linearEstimate(a, r, c, true); }
void trendHandler(Arguments& a, CellValue& r, EvalContext& c) { trendEstimate(a, r, c, false); }
void growthHandler(Arguments& a, CellValue& r, EvalContext& c) { trendEstimate(a, r, c, true); }

// clang-format off
constexpr HandlerRow kStatisticalRows[] = {
    {u"AVEDEV",       aveDevHandler},
    {u"AVERAGE",      averageHandler},
    {u"AVERAGEA",     averageAHandler},
    {u"BETADIST",     betaDistHandler},
    {u"BETAINV",      betaInvHandler},
    {u"BINOMDIST",    binomDistHandler},
    {u"CHIDIST",      chiDistHandler},
    {u"CHIINV",       chiInvHandler},
    {u"CHITEST",      chiTestHandler},
    {u"CONFIDENCE",   confidenceHandler},
    {u"CORREL",       correlHandler},
    {u"COUNT",        countHandler},
    {u"COUNTA",       countAHandler},
    {u"COVAR",        covarHandler},
    {u"CRITBINOM",    critBinomHandler},
    {u"DEVSQ",        devSqHandler},
    {u"EXPONDIST",    expondistHandler},
    {u"FDIST",        fDistHandler},
    {u"FINV",         fInvHandler},
    {u"FISHER",       fisherHandler},
    {u"FISHERINV",    fisherInvHandler},
    {u"FORECAST",     forecastHandler},
    {u"FREQUENCY",    frequencyHandler},
    {u"FTEST",        fTestHandler},
    {u"GAMMADIST",    gammaDistHandler},
    {u"GAMMAINV",     gammaInvHandler},
    {u"GAMMALN",      gammaLnHandler},
    {u"GEOMEAN",      geoMeanHandler},
    {u"GROWTH",       growthHandler},
    {u"HARMEAN",      harMeanHandler},
    {u"HYPGEOMDIST",  hypGeomDistHandler},
    {u"INTERCEPT",    interceptHandler},
    {u"KURT",         kurtHandler},
    {u"LARGE",        largeHandler},
    {u"LINEST",       linestHandler},
    {u"LOGEST",       logestHandler},
    {u"LOGINV",       logInvHandler},
    {u"LOGNORMDIST",  logNormDistHandler},
    {u"MAX",          maxHandler},
    {u"MAXA",         maxAHandler},
    {u"MEDIAN",       medianHandler},
    {u"MIN",          minHandler},
    {u"MINA",         minAHandler},
    {u"MODE",         modeHandler},
    {u"NEGBINOMDIST", negBinomDistHandler},
    {u"NORMDIST",     normDistHandler},
    {u"NORMINV",      normInvHandler},
    {u"NORMSDIST",    normSDistHandler},
    {u"NORMSINV",     normSInvHandler},
    {u"PEARSON",      correlHandler},
    {u"PERCENTILE",   percentileHandler},
    {u"PERCENTRANK",  percentRankHandler},
    {u"PERMUT",       permutHandler},
    {u"POISSON",      poissonHandler},
    {u"PROB",         probHandler},
    {u"QUARTILE",     quartileHandler},
    {u"RANK",         rankHandler},
    {u"RSQ",          rsqHandler},
    {u"SKEW",         skewHandler},
    {u"SLOPE",        slopeHandler},
    {u"SMALL",        smallHandler},
    {u"STANDARDIZE",  standardizeHandler},
    {u"STDEV",        stdevHandler},
    {u"STDEVA",       stdevAHandler},
    {u"STDEVP",       stdevPHandler},
    {u"STDEVPA",      stdevPAHandler},
    {u"STEYX",        steyxHandler},
    {u"TDIST",        tDistHandler},
    {u"TINV",         tInvHandler},
    {u"TREND",        trendHandler},
    {u"TRIMMEAN",     trimMeanHandler},
    {u"TTEST",        tTestHandler},
    {u"VAR",          varHandler},
    {u"VARA",         varAHandler},
    {u"VARP",         varPHandler},
    {u"VARPA",        varPAHandler},
    {u"WEIBULL",      weibullHandler},
    {u"ZTEST",        zTestHandler},
    // The names later versions give some of these functions.
    {u"BINOM.DIST",      binomDistHandler},
    {u"CHISQ.DIST.RT",   chiDistHandler},
    {u"CONFIDENCE.NORM", confidenceHandler},
    {u"COVARIANCE.P",    covarHandler},
    {u"EXPON.DIST",      expondistHandler},
    {u"F.DIST.RT",       fDistHandler},
    {u"GAMMA.DIST",      gammaDistHandler},
    {u"LOGNORM.INV",     logInvHandler},
    {u"MODE.SNGL",       modeHandler},
    {u"NORM.DIST",       normDistHandler},
    {u"NORM.INV",        normInvHandler},
    {u"NORM.S.DIST",     normSDist2Handler},
    {u"NORM.S.INV",      normSInvHandler},
    {u"PERCENTILE.INC",  percentileHandler},
    {u"POISSON.DIST",    poissonHandler},
    {u"QUARTILE.INC",    quartileHandler},
    {u"RANK.EQ",         rankHandler},
    {u"STDEV.P",         stdevPHandler},
    {u"STDEV.S",         stdevHandler},
    {u"T.DIST.2T",       tDist2THandler},
    {u"T.DIST.RT",       tDistRTHandler},
    {u"VAR.P",           varPHandler},
    {u"VAR.S",           varHandler},
    {u"WEIBULL.DIST",    weibullHandler},
};
// clang-format on
static_assert(std::size(kStatisticalRows) == 78 + 24); // the table's and the later names

} // namespace

void registerStatisticalFunctions() { (void)registerRows(kStatisticalRows); }

} // namespace functions
