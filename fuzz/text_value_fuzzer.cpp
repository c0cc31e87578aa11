// Feeds any bytes to the classifier of typed cell text and to the
// evaluator's string conversion. The first byte picks the options: bit 0 the
// 1904 date system, bit 1 whether the rest is UTF-16 (little-endian pairs)
// or UTF-8, bit 2 German separators instead of English ones. Every input is
// classified in all three date orders.

#include "formula/text_value.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

platform::LocaleStrings makeLocale(bool german, char16_t dateOrder) {
  platform::LocaleStrings s;
  s.dateOrder = std::u16string(1, dateOrder);
  s.dateSeparator = german ? u"." : u"/";
  s.timeSeparator = u":";
  s.decimalSeparator = german ? u"," : u".";
  s.thousandsSeparator = german ? u"." : u",";
  s.currencySymbol = german ? u"€" : u"$";
  s.listSeparator = german ? u";" : u",";
  s.monthNames = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                  u"July",    u"August",   u"September", u"October", u"November", u"十二月"};
  s.monthAbbreviations = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                          u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"12月"};
  s.amDesignator = u"AM";
  s.pmDesignator = u"下午";
  return s;
}

bool sameClassification(const formula::Classification& a, const formula::Classification& b) {
  return a.kind == b.kind && a.value == b.value && a.hint.cls == b.hint.cls &&
         a.hint.detail == b.hint.detail && a.formulaError == b.formulaError;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::uint8_t flags = size ? data[0] : 0;
  std::u16string text;
  if (flags & 2) {
    for (size_t i = 1; i + 1 < size; i += 2)
      text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  } else if (size > 1) {
    text = platform::fromUtf8(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  }

  for (char16_t order : {u'0', u'1', u'2'}) {
    const platform::LocaleStrings locale = makeLocale(flags & 4, order);
    formula::TextOptions options;
    options.locale = &locale;
    options.date1904 = flags & 1;
    options.currentYear = 2024;

    const formula::Classification first = formula::classifyText(text, options);
    const formula::Classification again = formula::classifyText(text, options);
    check(sameClassification(first, again));
    if (first.kind == formula::TextClass::Number) {
      check(first.value.isNumber() && std::isfinite(first.value.numberValue()));
      // A number prints with 15 digits and reads back close to itself.
      const double x = first.value.numberValue();
      const std::u16string printed = formula::numberToText(x, locale);
      double back = 0;
      if (std::fabs(x) < 1e308 && std::fabs(x) > 1e-300) {
        check(formula::readNumber(printed, 0, printed.size(), false, back, locale));
        check(std::fabs(back - x) <= std::fabs(x) * 1e-14);
      }
    }
    if (first.kind == formula::TextClass::Text && !first.formulaError)
      check(first.value.isString());

    const formula::CellValue converted = formula::stringToNumber(text, options);
    check(converted.isError() || (converted.isNumber() && std::isfinite(converted.numberValue())));
    check(converted == formula::stringToNumber(text, options));
  }
  return 0;
}
