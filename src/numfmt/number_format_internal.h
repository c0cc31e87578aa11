#pragma once
// Private to src/numfmt: decimal digit strings shared by the renderer and its
// tests. Numbers are turned into at most 17 significant decimal digits once and
// all rounding happens on those digits, so binary noise (1.005 being stored as
// 1.00499999...) never shows.

#include <array>
#include <cstdint>

namespace numfmt::detail {

/// A non-negative decimal number: digits d[0..count) with d[0] worth
/// 10^exponent, no trailing zeros; count 0 is zero.
struct Decimal {
  std::array<std::uint8_t, 20> d{};
  int count = 0;
  int exponent = 0;

  int digitAt(int place) const {
    const int i = exponent - place;
    return (i >= 0 && i < count) ? d[static_cast<unsigned>(i)] : 0;
  }
  /// Digits before the decimal point; 0 when the number is below 1.
  int integerLength() const { return count > 0 && exponent >= 0 ? exponent + 1 : 0; }
};

/// |v| to `significant` (1-17) digits, correctly rounded; zero for NaN and infinities.
Decimal toDecimal(double v, int significant);

/// Rounds half away from zero so that no digit worth less than 10^place remains.
void roundAtPlace(Decimal &v, int place);

} // namespace numfmt::detail
