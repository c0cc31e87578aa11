#pragma once
// Special functions behind the statistical distributions: log-gamma pieces,
// the regularized incomplete gamma and beta functions and the normal
// distribution. Each incomplete function returns both tails, so a caller can
// take whichever is small without losing it to cancellation (1 - P).

namespace functions::special {

/// log(1 + t) - t, accurate for small t as well.
double log1pmx(double t);

/// lgamma(a) - ((a - 1/2) log a - a + log(2 pi) / 2) for a >= 10 (the tail of
/// Stirling's series).
double stirlingCorrection(double a);

/// log B(a, b) for a, b > 0, without the cancellation of
/// lgamma(a) + lgamma(b) - lgamma(a + b) when either is large.
double lnBeta(double a, double b);

/// x^a e^-x / Gamma(a) for a > 0, x >= 0, accurate for large a and x.
double gammaPowerTerm(double a, double x);

/// x^a y^b / B(a, b) with y = 1 - x given by the caller (so it keeps its
/// digits when x is close to 1); a, b > 0.
double betaPowerTerm(double a, double b, double x, double y);

/// The regularized incomplete gamma function: lower = P(a, x), upper =
/// Q(a, x) = 1 - P(a, x), for a > 0 and x >= 0. Returns false (tails
/// unspecified) for invalid arguments or when the expansion does not converge.
[[nodiscard]] bool incompleteGamma(double a, double x, double& lower, double& upper);

/// The regularized incomplete beta function: lower = I_x(a, b), upper =
/// 1 - I_x(a, b), for a, b > 0, 0 <= x <= 1, y = 1 - x. Returns false for
/// invalid arguments or when the continued fraction does not converge.
[[nodiscard]] bool incompleteBeta(double a, double b, double x, double y, double& lower,
                                  double& upper);

/// The standard normal distribution function and its upper tail, both by erfc.
double normalLower(double z);
double normalUpper(double z);
double normalDensity(double z);

} // namespace functions::special
