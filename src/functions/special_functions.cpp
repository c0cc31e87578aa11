#include "functions/special_functions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

// References: W. H. Press et al., "Numerical Recipes", 3rd ed., 6.1-6.4
// (series and continued fractions of the incomplete functions); A. R.
// DiDonato and A. H. Morris, ACM TOMS 18 (1992) (power terms of large
// parameters through Stirling's series).

namespace functions::special {
namespace {

constexpr double kEpsilon = 1e-16;
constexpr double kTiny = 1e-300;
constexpr double kLnSqrtTwoPi = 0.91893853320467274178; // log(sqrt(2 pi))
constexpr double kTwoPi = 6.28318530717958647693;

// Iterations the expansions may take: both converge in about sqrt(parameter)
// steps near the centre of the distribution, so huge parameters (degrees of
// freedom up to 1e10) need a budget that grows with them.
int iterationBudget(double parameter) {
  const double n = 1000.0 + 20.0 * std::sqrt(std::max(parameter, 0.0));
  return static_cast<int>(std::min(n, 5e6));
}

} // namespace

double log1pmx(double t) {
  if (std::fabs(t) >= 0.25)
    return std::log1p(t) - t;
  double power = t * t, sum = 0.0;
  for (int k = 2; k < 200; ++k) {
    const double term = power / k;
    sum += (k % 2 == 0) ? -term : term;
    if (std::fabs(term) <= kEpsilon * std::fabs(sum))
      break;
    power *= t;
  }
  return sum;
}

double stirlingCorrection(double a) {
  const double r = 1.0 / a, r2 = r * r;
  return r * (1.0 / 12 - r2 * (1.0 / 360 - r2 * (1.0 / 1260 - r2 * (1.0 / 1680 - r2 / 1188))));
}

double lnBeta(double a, double b) {
  const double small = std::min(a, b), big = std::max(a, b), c = a + b;
  if (small >= 10) {
    return kLnSqrtTwoPi - 0.5 * std::log(c) + (a - 0.5) * std::log(a / c) +
           (b - 0.5) * std::log(b / c) + stirlingCorrection(a) + stirlingCorrection(b) -
           stirlingCorrection(c);
  }
  if (big >= 10) {
    // lgamma(big + small) - lgamma(big) by Stirling, which keeps its digits.
    const double ratio = (big - 0.5) * std::log1p(small / big) + small * std::log(c) - small +
                         stirlingCorrection(c) - stirlingCorrection(big);
    return std::lgamma(small) - ratio;
  }
  return std::lgamma(a) + std::lgamma(b) - std::lgamma(c);
}

double gammaPowerTerm(double a, double x) {
  if (x <= 0)
    return x == 0 && a == 0 ? 1.0 : 0.0;
  if (a < 10)
    return std::exp(a * std::log(x) - x - std::lgamma(a));
  const double t = (x - a) / a;
  return std::exp(a * log1pmx(t) - stirlingCorrection(a)) * std::sqrt(a / kTwoPi);
}

double betaPowerTerm(double a, double b, double x, double y) {
  if (x <= 0 || y <= 0)
    return 0.0;
  if (a >= 10 && b >= 10) {
    const double c = a + b;
    const double d = x * b - y * a; // x c - a without cancellation
    const double e = a * log1pmx(d / a) + b * log1pmx(-d / b);
    return std::exp(e - stirlingCorrection(a) - stirlingCorrection(b) + stirlingCorrection(c)) *
           std::sqrt(a * b / (kTwoPi * c));
  }
  return std::exp(a * std::log(x) + b * std::log(y) - lnBeta(a, b));
}

bool incompleteGamma(double a, double x, double& lower, double& upper) {
  if (!(a > 0) || !(x >= 0) || !std::isfinite(a) || std::isnan(x))
    return false;
  if (x == 0) {
    lower = 0, upper = 1;
    return true;
  }
  if (std::isinf(x)) {
    lower = 1, upper = 0;
    return true;
  }
  const int budget = iterationBudget(std::max(a, x));
  const double prefactor = gammaPowerTerm(a, x);
  if (x < a + 1) {
    double term = 1.0 / a, sum = term;
    int n = 1;
    for (; n < budget; ++n) {
      term *= x / (a + n);
      sum += term;
      if (term <= sum * kEpsilon)
        break;
    }
    if (n >= budget)
      return false;
    lower = std::min(1.0, sum * prefactor);
    upper = 1.0 - lower;
    return true;
  }
  // Continued fraction for Q, evaluated by the modified Lentz method.
  double b = x + 1 - a, c = 1 / kTiny, d = 1 / b, h = d;
  int i = 1;
  for (; i < budget; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < kTiny)
      d = kTiny;
    c = b + an / c;
    if (std::fabs(c) < kTiny)
      c = kTiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) <= kEpsilon)
      break;
  }
  if (i >= budget)
    return false;
  upper = std::min(1.0, h * prefactor);
  lower = 1.0 - upper;
  return true;
}

namespace {

// The continued fraction of I_x(a, b) (modified Lentz); false when it does
// not settle within the budget.
bool betaFraction(double a, double b, double x, double& out) {
  const int budget = iterationBudget(std::max(a, b));
  const double qab = a + b, qap = a + 1, qam = a - 1;
  double c = 1, d = 1 - qab * x / qap;
  if (std::fabs(d) < kTiny)
    d = kTiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m < budget; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny)
      d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny)
      c = kTiny;
    d = 1 / d;
    h *= d * c;
    aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny)
      d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny)
      c = kTiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) <= kEpsilon) {
      out = h;
      return true;
    }
  }
  return false;
}

} // namespace

bool incompleteBeta(double a, double b, double x, double y, double& lower, double& upper) {
  if (!(a > 0) || !(b > 0) || !std::isfinite(a) || !std::isfinite(b) || !(x >= 0) ||
      !(y >= 0) || x > 1 || y > 1)
    return false;
  if (x == 0 || y == 0) {
    lower = x == 0 ? 0.0 : 1.0;
    upper = 1.0 - lower;
    return true;
  }
  double fraction = 0;
  // The fraction converges fast below the mean; above it, use the symmetry
  // I_x(a, b) = 1 - I_y(b, a).
  if (x < (a + 1) / (a + b + 2)) {
    if (!betaFraction(a, b, x, fraction))
      return false;
    lower = std::min(1.0, betaPowerTerm(a, b, x, y) * fraction / a);
    upper = 1.0 - lower;
  } else {
    if (!betaFraction(b, a, y, fraction))
      return false;
    upper = std::min(1.0, betaPowerTerm(b, a, y, x) * fraction / b);
    lower = 1.0 - upper;
  }
  return true;
}

double normalLower(double z) { return 0.5 * std::erfc(-z / std::numbers::sqrt2); }
double normalUpper(double z) { return 0.5 * std::erfc(z / std::numbers::sqrt2); }
double normalDensity(double z) {
  return std::exp(-0.5 * z * z) / std::sqrt(kTwoPi);
}

} // namespace functions::special
