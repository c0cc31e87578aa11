// Feeds any bytes through the number format engine. The first eight bytes are
// the value, the next two the cell width in pixels, the next one picks the
// date system; the rest, read as UTF-16 code units, is the format code.

#include "numfmt/number_format.h"
#include "platform/locale_strings.h"
#include "platform/text_metrics.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

const platform::LocaleStrings &fuzzLocale() {
  static const platform::LocaleStrings locale = [] {
    platform::LocaleStrings s = platform::localeStrings();
    s.decimalSeparator = u"."; // so General text reads back with from_chars
    s.thousandsSeparator = u",";
    return s;
  }();
  return locale;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  double value = 0;
  std::uint16_t width = 0;
  std::uint8_t flags = 0;
  if (size >= 8)
    std::memcpy(&value, data, 8);
  if (size >= 10)
    std::memcpy(&width, data + 8, 2);
  if (size >= 11)
    flags = data[10];
  std::u16string code;
  for (size_t i = 11; i + 1 < size; i += 2)
    code.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

  static const platform::FixedTextMetrics metrics;
  numfmt::FormatOptions options;
  options.locale = &fuzzLocale();
  options.date1904 = flags & 1;
  options.metrics = &metrics;
  if (flags & 2)
    options.availableWidthPx = width;

  const numfmt::CompiledFormat format = numfmt::compileFormat(code, fuzzLocale());
  const numfmt::FormatResult first = numfmt::formatNumber(value, format, options);
  check(first.text.size() <= numfmt::kMaxResultLength);
  check(first.colour <= numfmt::kNoColour);

  // The same input gives the same answer, whether compiled once or not.
  numfmt::FormatResult reused;
  reused.text = u"stale";
  reused.colour = 3;
  numfmt::formatNumber(value, format, options, reused);
  check(reused.text == first.text && reused.colour == first.colour);
  const numfmt::FormatResult direct = numfmt::formatNumber(value, code, options);
  check(direct.text == first.text && direct.colour == first.colour);

  // What a cell shows of the number fits its room whole, or is all hashes.
  if (flags & 2) {
    std::u16string scratch;
    const std::u16string_view shown =
        numfmt::fitNumberText(first.text, width, metrics, platform::FontSpec{}, scratch);
    check(metrics.textWidthPx(platform::FontSpec{}, shown) <= width);
    check(shown == first.text || shown.find_first_not_of(u'#') == std::u16string_view::npos);
  }

  const std::u16string_view sample = u"text";
  const numfmt::FormatResult text = numfmt::formatText(sample, format, options);
  check(text.text.size() <= 2 * numfmt::kMaxResultLength + sample.size());

  // General keeps 15 significant digits: it reads back within rounding.
  if (std::isfinite(value)) {
    const std::u16string general = numfmt::generalText(value, 15, fuzzLocale());
    std::string ascii(general.begin(), general.end());
    double back = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), back);
    check(res.ec == std::errc() || res.ec == std::errc::result_out_of_range);
    if (res.ec == std::errc() && std::fabs(value) >= 1e-300)
      check(std::fabs(back - value) <= std::fabs(value) * 1e-14);
  }
  return 0;
}
