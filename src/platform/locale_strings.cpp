#include "platform/locale_strings.h"

#include "platform/locale_strings_internal.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/ucurr.h>
#include <unicode/ures.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

namespace platform {
namespace {

std::u16string toU16(const icu::UnicodeString &s) {
  return std::u16string(reinterpret_cast<const char16_t *>(s.getBuffer()),
                        static_cast<size_t>(s.length()));
}

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Marks that steer bidirectional layout: ICU puts them in Arabic and Hebrew
// patterns, Windows' pictures do not have them.
bool isBidiMark(char16_t c) { return c == 0x200E || c == 0x200F || c == 0x061C; }

bool isSpace(char16_t c) { return c == u' ' || c == 0x00A0 || c == 0x202F || c == 0x2009; }

std::u16string trimSpaces(std::u16string s) {
  size_t b = 0, e = s.size();
  while (b < e && isSpace(s[b]))
    ++b;
  while (e > b && isSpace(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

// Accepts POSIX names too: "zh_CN.UTF-8@euro" -> "zh-CN". The C and POSIX
// locales mean no preference and give "".
std::string toBcp47(std::string_view localeId) {
  std::string tag(localeId.substr(0, localeId.find_first_of(".@")));
  if (tag == "C" || tag == "POSIX")
    return {};
  for (char &c : tag)
    if (c == '_')
      c = '-';
  return tag;
}

// A locale whose data ICU actually has. An unknown tag would otherwise pick up
// the data of the process's default locale, which makes results depend on
// LANG; the root locale is at least the same everywhere.
icu::Locale resolveLocale(std::string_view localeId) {
  const std::string tag = toBcp47(localeId);
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale locale = icu::Locale::forLanguageTag(tag, status);
  if (U_FAILURE(status) || locale.isBogus())
    return icu::Locale::getRoot();
  status = U_ZERO_ERROR;
  UResourceBundle *bundle = ures_open(nullptr, locale.getName(), &status);
  const bool known = U_SUCCESS(status) && status != U_USING_DEFAULT_WARNING;
  ures_close(bundle);
  return known ? locale : icu::Locale::getRoot();
}

// "language-Script-REGION" with the script only when it is not the one the
// language and region imply, so "zh_CN.UTF-8", "zh" and "zh-Hans-CN" all give
// "zh-CN" while "sr-Latn-RS" keeps its script. Empty when ICU cannot parse it.
std::string canonicalTag(std::string_view localeId) {
  const std::string tag = toBcp47(localeId);
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale locale = icu::Locale::forLanguageTag(tag, status);
  if (U_FAILURE(status) || locale.isBogus() || *locale.getLanguage() == '\0')
    return {};
  icu::Locale full = locale;
  status = U_ZERO_ERROR;
  full.addLikelySubtags(status);
  if (U_FAILURE(status))
    full = locale;
  std::string region = *locale.getCountry() ? locale.getCountry() : full.getCountry();
  std::string result = locale.getLanguage();
  if (*locale.getScript()) {
    icu::Locale implied(locale.getLanguage(), region.c_str());
    status = U_ZERO_ERROR;
    implied.addLikelySubtags(status);
    if (U_FAILURE(status) || std::string_view(implied.getScript()) != locale.getScript())
      result += std::string("-") + locale.getScript();
  }
  if (!region.empty())
    result += "-" + region;
  return result;
}

icu::UnicodeString patternOf(const icu::DateFormat *format) {
  icu::UnicodeString pattern;
  if (const auto *simple = dynamic_cast<const icu::SimpleDateFormat *>(format))
    simple->toPattern(pattern);
  return pattern;
}

// The short date with a long year: Windows' short dates of most locales spell
// out the year where CLDR's short pattern has two digits (en-US M/d/yy against
// M/d/yyyy). Asking the pattern generator for the same fields with a plain
// year keeps the locale's order, separators and day/month widths.
icu::UnicodeString shortDateWithFullYear(const icu::Locale &locale,
                                         const icu::UnicodeString &shortPattern) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(locale, status));
  if (U_FAILURE(status) || !generator)
    return shortPattern;
  icu::UnicodeString skeleton =
      icu::DateTimePatternGenerator::staticGetSkeleton(shortPattern, status);
  if (U_FAILURE(status))
    return shortPattern;
  icu::UnicodeString plainYear;
  for (int32_t i = 0; i < skeleton.length(); ++i)
    if (skeleton[i] != u'y' || i == 0 || skeleton[i - 1] != u'y')
      plainYear += skeleton[i];
  icu::UnicodeString best =
      generator->getBestPattern(plainYear, UDATPG_MATCH_ALL_FIELDS_LENGTH, status);
  return U_SUCCESS(status) && !best.isEmpty() ? best : shortPattern;
}

// Rewrites an ICU date pattern with Windows picture letters. Day and month
// keep their width (at most four); every year of one or three or more letters
// becomes "yyyy", "yy" stays; eras become "gg"; weekdays become "ddd"/"dddd".
// Letters Windows has no picture for are dropped; quoted text is kept as its
// characters.
std::u16string toWindowsDatePicture(const icu::UnicodeString &pattern) {
  std::u16string out;
  const int32_t n = pattern.length();
  for (int32_t i = 0; i < n;) {
    const char16_t c = pattern[i];
    if (c == u'\'') {
      if (i + 1 < n && pattern[i + 1] == u'\'') {
        out += u'\'';
        i += 2;
        continue;
      }
      for (++i; i < n; ++i) {
        if (pattern[i] == u'\'') {
          if (i + 1 < n && pattern[i + 1] == u'\'') {
            out += u'\'';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        out += pattern[i];
      }
      continue;
    }
    if (!isAsciiLetter(c)) {
      if (!isBidiMark(c))
        out += c;
      ++i;
      continue;
    }
    int32_t run = 1;
    while (i + run < n && pattern[i + run] == c)
      ++run;
    i += run;
    switch (c) {
    case u'd':
      out.append(static_cast<size_t>(run > 2 ? 2 : run), u'd');
      break;
    case u'M':
    case u'L':
      out.append(static_cast<size_t>(run > 4 ? 4 : run), u'M');
      break;
    case u'y':
    case u'Y':
    case u'u':
    case u'r':
      out += run == 2 ? u"yy" : u"yyyy";
      break;
    case u'G':
      out += u"gg";
      break;
    case u'E':
    case u'c':
    case u'e':
      out += run >= 4 ? u"dddd" : u"ddd";
      break;
    default:
      break;
    }
  }
  return trimSpaces(out);
}

std::u16string dateOrderOf(const std::u16string &picture) {
  const size_t d = picture.find(u'd');
  const size_t m = picture.find(u'M');
  const size_t y = picture.find(u'y');
  if (d == std::u16string::npos || m == std::u16string::npos || y == std::u16string::npos)
    return {};
  if (y < m && y < d)
    return u"2";
  return m < d ? u"0" : u"1";
}

// The text between the first field and the next one, without its spaces
// ("yyyy. M. d." gives "."); a separator of only spaces stays a space.
std::u16string dateSeparatorOf(const std::u16string &picture) {
  size_t i = 0;
  while (i < picture.size() && !isAsciiLetter(picture[i]))
    ++i;
  while (i < picture.size() && isAsciiLetter(picture[i]))
    ++i;
  size_t j = i;
  while (j < picture.size() && !isAsciiLetter(picture[j]))
    ++j;
  if (j >= picture.size())
    return {};
  const std::u16string between = picture.substr(i, j - i);
  const std::u16string trimmed = trimSpaces(between);
  return trimmed.empty() && !between.empty() ? u" " : trimmed;
}

struct TimeFacts {
  std::u16string separator;
  std::u16string hourLeadingZero;
};

// The separator is the text between hour and minute; the hour pads when the
// pattern writes it with two letters (HH:mm), as Windows' leading-zero flag.
TimeFacts timeFactsOf(const icu::UnicodeString &pattern) {
  TimeFacts facts;
  const int32_t n = pattern.length();
  int32_t hour = -1, hourLength = 0;
  for (int32_t i = 0; i < n; ++i) {
    const char16_t c = pattern[i];
    if (c == u'H' || c == u'h' || c == u'K' || c == u'k') {
      hour = i;
      while (i + hourLength < n && pattern[i + hourLength] == c)
        ++hourLength;
      break;
    }
  }
  if (hour < 0)
    return facts;
  facts.hourLeadingZero = hourLength >= 2 ? u"1" : u"0";
  const int32_t minute = pattern.indexOf(u'm', hour);
  if (minute < 0)
    return facts;
  std::u16string between;
  for (int32_t i = hour + hourLength; i < minute; ++i)
    if (pattern[i] != u'\'' && !isBidiMark(pattern[i]))
      between += pattern[i];
  facts.separator = trimSpaces(between);
  return facts;
}

// Element codes of a currency pattern: S symbol, N number, '-' minus sign,
// '(' and ')' parentheses, ' ' a space. Windows' sixteen negative currency
// formats, written in those codes; the index is the format number.
constexpr std::u16string_view kNegativeCurrencyShapes[16] = {
    u"(SN)", u"-SN",  u"S-N",  u"SN-",  u"(NS)", u"-NS",  u"N-S",   u"NS-",
    u"-N S", u"-S N", u"N S-", u"S N-", u"S -N", u"N- S", u"(S N)", u"(N S)",
};

// Reduces the negative part of a number pattern to element codes, runs of
// one code (digits, spaces) collapsed.
std::u16string negativeCodes(const icu::UnicodeString &pattern) {
  int32_t start = 0;
  const int32_t end = pattern.length();
  bool explicitNegative = false;
  bool quoted = false;
  for (int32_t i = 0; i < pattern.length(); ++i) {
    if (pattern[i] == u'\'')
      quoted = !quoted;
    else if (!quoted && pattern[i] == u';') {
      start = i + 1;
      explicitNegative = true;
      break;
    }
  }
  // Without a negative part ICU puts a minus in front of the positive one.
  std::u16string codes = explicitNegative ? u"" : u"-";
  quoted = false;
  for (int32_t i = start; i < end; ++i) {
    const char16_t c = pattern[i];
    if (c == u'\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted)
      continue;
    char16_t code = 0;
    if (c == 0x00A4)
      code = u'S';
    else if (c == u'#' || c == u'0' || (c >= u'1' && c <= u'9') || c == u',' || c == u'.' ||
             c == u'@')
      code = u'N';
    else if (c == u'-' || c == u'(' || c == u')')
      code = c;
    else if (isSpace(c))
      code = u' ';
    else if (c == u'*') {
      ++i; // a pad character follows
      continue;
    }
    if (code != 0 && (codes.empty() || codes.back() != code || code == u'(' || code == u')'))
      codes += code;
  }
  return codes;
}

// The codes with spaces kept only next to the symbol, where Windows' formats
// put them.
std::u16string negativeShape(const icu::UnicodeString &pattern) {
  const std::u16string codes = negativeCodes(pattern);
  std::u16string shape;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] != u' ') {
      shape += codes[i];
      continue;
    }
    const bool nextToSymbol =
        (i > 0 && codes[i - 1] == u'S') || (i + 1 < codes.size() && codes[i + 1] == u'S');
    if (nextToSymbol && i > 0 && i + 1 < codes.size() && shape.back() != u' ')
      shape += u' ';
  }
  return shape;
}

int negativeCurrencyModeOf(const icu::UnicodeString &pattern) {
  const std::u16string shape = negativeShape(pattern);
  for (int mode = 0; mode < 16; ++mode)
    if (shape == kNegativeCurrencyShapes[mode])
      return mode;
  // A shape Windows cannot express (a symbol inside parentheses with a minus,
  // say): keep the symbol's side and whether a space parts it from the number.
  const std::u16string codes = negativeCodes(pattern);
  const size_t symbol = codes.find(u'S');
  const size_t number = codes.find(u'N');
  if (symbol == std::u16string::npos || number == std::u16string::npos)
    return 1;
  const size_t from = std::min(symbol, number), to = std::max(symbol, number);
  const bool spaced = codes.find(u' ', from) < to;
  if (symbol < number)
    return spaced ? 9 : 1;
  return spaced ? 8 : 5;
}

icu::UnicodeString currencyPattern(const icu::Locale &locale, UNumberFormatStyle style) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberFormat> format(
      icu::NumberFormat::createInstance(locale, style, status));
  icu::UnicodeString pattern;
  if (U_SUCCESS(status))
    if (const auto *decimal = dynamic_cast<const icu::DecimalFormat *>(format.get()))
      decimal->toPattern(pattern);
  return pattern;
}

int fractionDigits(const icu::Locale &locale) {
  UChar iso[4] = {};
  UErrorCode status = U_ZERO_ERROR;
  ucurr_forLocale(locale.getName(), iso, 4, &status);
  if (U_SUCCESS(status) && iso[0] != 0) {
    const int32_t digits = ucurr_getDefaultFractionDigits(iso, &status);
    if (U_SUCCESS(status))
      return digits;
  }
  // No currency for the locale (the root locale): the currency pattern's.
  status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberFormat> format(
      icu::NumberFormat::createCurrencyInstance(locale, status));
  return U_SUCCESS(status) && format ? format->getMinimumFractionDigits() : -1;
}

template <size_t N>
void copyNames(std::array<std::u16string, N> &out, const icu::UnicodeString *names, int32_t count,
               int32_t first) {
  if (!names)
    return;
  for (size_t i = 0; i < N; ++i) {
    const int32_t index = first + static_cast<int32_t>(i);
    if (index < count)
      out[i] = toU16(names[index]);
  }
}

std::optional<LocaleStrings> g_strings;
std::uint32_t g_generation = 0;

} // namespace

namespace internal {

std::u16string toWindowsDatePicture(std::u16string_view icuPattern) {
  return platform::toWindowsDatePicture(
      icu::UnicodeString(icuPattern.data(), static_cast<int32_t>(icuPattern.size())));
}

int negativeCurrencyMode(std::u16string_view icuPattern) {
  return negativeCurrencyModeOf(
      icu::UnicodeString(icuPattern.data(), static_cast<int32_t>(icuPattern.size())));
}

std::string canonicalLocaleTag(std::string_view localeId) { return canonicalTag(localeId); }

} // namespace internal

std::string userLocaleId() {
  if (const char *pinned = std::getenv("CELLWICK_LOCALE"); pinned && *pinned) {
    const std::string tag = canonicalTag(pinned);
    if (!tag.empty())
      return tag;
  }
  // POSIX precedence: LC_ALL overrides the category, which overrides LANG.
  for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char *value = std::getenv(name);
    if (!value || !*value)
      continue;
    const std::string tag = canonicalTag(value);
    return tag.empty() ? "en-US" : tag;
  }
  return "en-US";
}

LocaleStrings loadLocaleStrings(std::string_view localeId) {
  LocaleStrings s;
  // The canonical tag has a region, which is where the currency comes from:
  // "zh-Hans" alone would have no currency symbol.
  s.localeId = canonicalTag(localeId);
  const icu::Locale locale = resolveLocale(s.localeId);
  if (s.localeId.empty())
    s.localeId = "und";

  UErrorCode status = U_ZERO_ERROR;
  const icu::DecimalFormatSymbols numbers(locale, status);
  if (U_SUCCESS(status)) {
    s.decimalSeparator =
        toU16(numbers.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    s.thousandsSeparator =
        toU16(numbers.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
    s.currencySymbol = toU16(numbers.getSymbol(icu::DecimalFormatSymbols::kCurrencySymbol));
  }
  // Windows' rule: a decimal comma would make "1,5" ambiguous in a list.
  s.listSeparator = s.decimalSeparator == u"," ? u";" : u",";

  const int digits = fractionDigits(locale);
  if (digits >= 0)
    for (const char c : std::to_string(digits))
      s.currencyDigits += static_cast<char16_t>(c);

  status = U_ZERO_ERROR;
  const icu::DateFormatSymbols dates(locale, status);
  if (U_SUCCESS(status)) {
    using Symbols = icu::DateFormatSymbols;
    int32_t count = 0;
    // Windows' names are the nominative ones ("январь", not "января"), which
    // CLDR keeps as the stand-alone forms. ICU numbers weekdays from Sunday = 1.
    const icu::UnicodeString *names = dates.getWeekdays(count, Symbols::STANDALONE, Symbols::WIDE);
    copyNames(s.dayNames, names, count, 2);
    if (names && count > 1)
      s.dayNames[6] = toU16(names[1]);
    names = dates.getWeekdays(count, Symbols::STANDALONE, Symbols::ABBREVIATED);
    copyNames(s.dayAbbreviations, names, count, 2);
    if (names && count > 1)
      s.dayAbbreviations[6] = toU16(names[1]);
    names = dates.getMonths(count, Symbols::STANDALONE, Symbols::WIDE);
    copyNames(s.monthNames, names, count, 0);
    names = dates.getMonths(count, Symbols::STANDALONE, Symbols::ABBREVIATED);
    copyNames(s.monthAbbreviations, names, count, 0);
    names = dates.getAmPmStrings(count);
    if (names && count >= 2) {
      s.amDesignator = toU16(names[0]);
      s.pmDesignator = toU16(names[1]);
    }
  }
  if (s.amDesignator.empty())
    s.amDesignator = u"AM";
  if (s.pmDesignator.empty())
    s.pmDesignator = u"PM";

  std::unique_ptr<icu::DateFormat> date(
      icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
  const icu::UnicodeString datePattern = patternOf(date.get());
  if (!datePattern.isEmpty()) {
    s.shortDatePattern = toWindowsDatePicture(shortDateWithFullYear(locale, datePattern));
    s.dateOrder = dateOrderOf(s.shortDatePattern);
    s.dateSeparator = dateSeparatorOf(s.shortDatePattern);
  }

  std::unique_ptr<icu::DateFormat> time(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
  const TimeFacts timeFacts = timeFactsOf(patternOf(time.get()));
  s.timeSeparator = timeFacts.separator;
  s.hourLeadingZero = timeFacts.hourLeadingZero;

  // The United States writes negative money in parentheses, as Windows' en-US
  // setting and the program's own built-in currency codes do; CLDR keeps that
  // convention only in its accounting pattern. Everywhere else CLDR's
  // standard currency pattern decides, so zh-CN gets -¥1.1 (1) where Windows
  // says ¥-1.1 (2).
  const bool parenthesesRegion = std::string_view(locale.getCountry()) == "US";
  const icu::UnicodeString money =
      currencyPattern(locale, parenthesesRegion ? UNUM_CURRENCY_ACCOUNTING : UNUM_CURRENCY);
  s.negativeCurrencyMode = money.isEmpty() ? 0 : negativeCurrencyModeOf(money);
  return s;
}

const LocaleStrings &localeStrings() {
  if (!g_strings) {
    g_strings = loadLocaleStrings(userLocaleId());
    ++g_generation;
  }
  return *g_strings;
}

void setLocaleStrings(LocaleStrings strings) {
  g_strings = std::move(strings);
  ++g_generation;
}

std::uint32_t localeStringsGeneration() {
  (void)localeStrings();
  return g_generation;
}

} // namespace platform
