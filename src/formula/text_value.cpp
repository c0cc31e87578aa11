#include "formula/text_value.h"

#include "formula/skipper.h"
#include "platform/clock.h"
#include "platform/unicode.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace formula {
namespace {

using platform::LocaleStrings;

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// Exponents beyond this are far outside the double range; saturating keeps
// the arithmetic on them exact.
constexpr std::int64_t kExponentLimit = 1'000'000'000;
// Hours typed without a designator are unbounded by the format, not by us:
// this keeps hour arithmetic exact and the serial finite.
constexpr std::int64_t kMaxHours = 999'999'999;
// The last day the number formats can show is 31 December 9999.
constexpr int kMaxYear = 9999;
// A date component longer than a four-digit year is never a date.
constexpr size_t kMaxDateDigits = 4;
constexpr double kSecondsPerDay = 86400.0;
constexpr int kSerial1904Offset = 1462;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool matchesAt(std::u16string_view text, size_t pos, size_t end, std::u16string_view part) {
  return !part.empty() && pos <= end && end - pos >= part.size() &&
         text.compare(pos, part.size(), part) == 0;
}

bool matchesAt(std::u16string_view text, size_t pos, std::u16string_view part) {
  return matchesAt(text, pos, text.size(), part);
}

size_t skipSpaces(std::u16string_view text, size_t pos, size_t end) {
  while (pos < end && text[pos] == u' ')
    ++pos;
  return pos;
}

size_t trimTrailingSpaces(std::u16string_view text, size_t start, size_t end) {
  while (end > start && text[end - 1] == u' ')
    --end;
  return end;
}

bool contains(std::u16string_view text, std::u16string_view part) {
  return !part.empty() && text.find(part) != std::u16string_view::npos;
}

DateOrder dateOrderOf(const LocaleStrings& locale) {
  if (locale.dateOrder == u"1")
    return DateOrder::DayMonthYear;
  if (locale.dateOrder == u"2")
    return DateOrder::YearMonthDay;
  return DateOrder::MonthDayYear;
}

char16_t listSeparatorOf(const LocaleStrings& locale) {
  return locale.listSeparator.empty() ? u',' : locale.listSeparator[0];
}

const LocaleStrings& localeOf(const TextOptions& options) {
  return options.locale ? *options.locale : platform::localeStrings();
}

// Converts digits x 10^exponent with one correctly rounded conversion, so
// that typed decimals give exactly the double the same text gives in C.
// Accumulating digits by tens and tenths would add rounding noise ("0.1"
// would not always be 0.1). Overflow fails; underflow gives 0.
bool decimalToDouble(std::string_view digits, std::int64_t exponent, double& out) {
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) {
    out = 0;
    return true;
  }
  digits.remove_prefix(first);
  const size_t last = digits.find_last_not_of('0');
  exponent += static_cast<std::int64_t>(digits.size() - 1 - last);
  digits = digits.substr(0, last + 1);
  // Up to 15 digits are an exact integer, and 10^22 is the largest exact
  // power of ten: one multiplication or division of the two rounds once,
  // correctly, as the conversion below would. Opening and recalculating read
  // such numbers by the hundred thousand.
  constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (digits.size() <= 15 && exponent >= -22 && exponent <= 22) {
    std::int64_t whole = 0;
    for (const char d : digits)
      whole = whole * 10 + (d - '0');
    const double m = static_cast<double>(whole);
    out = exponent >= 0 ? m * kExactPowers[exponent] : m / kExactPowers[-exponent];
    return true;
  }
  // The value lies in [10^(magnitude-1), 10^magnitude).
  const std::int64_t magnitude = static_cast<std::int64_t>(digits.size()) + exponent;
  if (magnitude > 310)
    return false;
  if (magnitude < -330) {
    out = 0;
    return true;
  }
  std::string buffer(digits);
  buffer += 'e';
  buffer += std::to_string(exponent);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(buffer.data(), buffer.data() + buffer.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (magnitude > 0)
      return false;
    out = 0;
    return true;
  }
  if (ec != std::errc() || ptr != buffer.data() + buffer.size() || !std::isfinite(value))
    return false;
  out = value;
  return true;
}

// A thousands separator counts only before a full group: exactly three
// digits and then no further digit.
bool groupFollows(std::u16string_view text, size_t pos, size_t end) {
  if (end - pos < 3)
    return false;
  for (size_t k = 0; k < 3; ++k)
    if (!isDigit(text[pos + k]))
      return false;
  return pos + 3 == end || !isDigit(text[pos + 3]);
}

// The digits of a typed number: in place up to a size that covers every
// usual number, so reading one allocates nothing.
class DigitRun {
public:
  void push(char d) {
    if (m_size < sizeof m_small) {
      m_small[m_size] = d;
    } else {
      if (m_size == sizeof m_small)
        m_large.assign(m_small, m_size);
      m_large += d;
    }
    ++m_size;
  }
  bool empty() const { return m_size == 0; }
  std::string_view view() const {
    return m_size <= sizeof m_small ? std::string_view(m_small, m_size) : std::string_view(m_large);
  }

private:
  char m_small[40];
  size_t m_size = 0;
  std::string m_large;
};

// The number reader; `scale` shifts the decimal point (-2 for a percent) so
// that the shifted value is still correctly rounded.
bool scanNumber(std::u16string_view text, size_t start, size_t end, bool allowGrouping,
                const LocaleStrings& locale, int scale, double& out) {
  if (start > end || end > text.size())
    return false;
  size_t i = skipSpaces(text, start, end);
  bool negative = false;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    i = skipSpaces(text, i + 1, end);
  }
  DigitRun digits;
  size_t integerDigits = 0;
  while (i < end) {
    if (isDigit(text[i])) {
      digits.push(static_cast<char>(text[i]));
      ++integerDigits;
      ++i;
    } else if (allowGrouping && integerDigits > 0 &&
               matchesAt(text, i, end, locale.thousandsSeparator) &&
               groupFollows(text, i + locale.thousandsSeparator.size(), end)) {
      i += locale.thousandsSeparator.size();
    } else {
      break;
    }
  }
  std::int64_t fractionDigits = 0;
  if (matchesAt(text, i, end, locale.decimalSeparator)) {
    const size_t after = i + locale.decimalSeparator.size();
    if (integerDigits > 0 || (after < end && isDigit(text[after]))) {
      i = after;
      for (; i < end && isDigit(text[i]); ++i) {
        digits.push(static_cast<char>(text[i]));
        ++fractionDigits;
      }
    }
  }
  if (digits.empty())
    return false;
  i = skipSpaces(text, i, end);
  std::int64_t exponent = 0;
  if (i < end && (text[i] == u'E' || text[i] == u'e')) {
    i = skipSpaces(text, i + 1, end);
    bool exponentNegative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
      exponentNegative = text[i] == u'-';
      i = skipSpaces(text, i + 1, end);
    }
    if (i >= end || !isDigit(text[i]))
      return false;
    for (; i < end && isDigit(text[i]); ++i)
      exponent = std::min(exponent * 10 + (text[i] - u'0'), kExponentLimit);
    if (exponentNegative)
      exponent = -exponent;
    i = skipSpaces(text, i, end);
  }
  if (i != end)
    return false;
  double value = 0;
  if (!decimalToDouble(digits.view(), exponent - fractionDigits + scale, value))
    return false;
  // Adding +0 turns a typed "-0" into 0.
  out = (negative ? -value : value) + 0.0;
  return true;
}

// Reads a run of digits as an integer no greater than `limit`; `maxDigits`
// of 0 leaves the length free.
bool readBoundedDigits(std::u16string_view text, size_t& pos, size_t end, std::int64_t limit,
                       size_t maxDigits, std::int64_t& out) {
  const size_t start = pos;
  std::int64_t value = 0;
  for (; pos < end && isDigit(text[pos]); ++pos) {
    if (maxDigits && pos - start >= maxDigits)
      return false;
    value = value * 10 + (text[pos] - u'0');
    if (value > limit)
      return false;
  }
  if (pos == start)
    return false;
  out = value;
  return true;
}

bool scanFraction(std::u16string_view text, size_t start, size_t end, int scale, double& out,
                  int& denominatorDigits) {
  size_t i = start;
  bool negative = false;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    i = skipSpaces(text, i + 1, end);
  }
  auto digitRun = [&](std::string& run) {
    for (; i < end && isDigit(text[i]); ++i)
      run += static_cast<char>(text[i]);
    return !run.empty();
  };
  std::string whole, numerator, denominator;
  if (!digitRun(whole))
    return false;
  const size_t afterWhole = i;
  i = skipSpaces(text, i, end);
  if (i == afterWhole || !digitRun(numerator))
    return false;
  if (i >= end || text[i] != u'/')
    return false;
  ++i;
  if (!digitRun(denominator) || i != end)
    return false;
  double w = 0, n = 0, d = 0;
  if (!decimalToDouble(whole, 0, w) || !decimalToDouble(numerator, 0, n) ||
      !decimalToDouble(denominator, 0, d) || d == 0)
    return false;
  double value = w + n / d;
  if (scale)
    value /= std::pow(10.0, -scale);
  if (!std::isfinite(value))
    return false;
  out = (negative ? -value : value) + 0.0;
  const size_t significant = denominator.find_first_not_of('0');
  denominatorDigits = static_cast<int>(denominator.size() - significant);
  return true;
}

// Matches an AM or PM designator (or its first letter) after the spaces at
// `pos`, up to trailing spaces. `designator` is 0 when only spaces follow,
// 1 for AM, 2 for PM.
bool readDesignator(std::u16string_view text, size_t pos, const LocaleStrings& locale,
                    int& designator) {
  const size_t start = skipSpaces(text, pos, text.size());
  const size_t end = trimTrailingSpaces(text, start, text.size());
  const std::u16string_view rest = text.substr(start, end - start);
  designator = 0;
  if (rest.empty())
    return true;
  const std::u16string_view am = locale.amDesignator, pm = locale.pmDesignator;
  if (!am.empty() && platform::equalsIgnoreCase(rest, am)) {
    designator = 1;
    return true;
  }
  if (!pm.empty() && platform::equalsIgnoreCase(rest, pm)) {
    designator = 2;
    return true;
  }
  // First letters only when they tell the two apart.
  if (rest.size() != 1 || am.empty() || pm.empty() ||
      platform::equalsIgnoreCase(am.substr(0, 1), pm.substr(0, 1)))
    return false;
  if (platform::equalsIgnoreCase(rest, am.substr(0, 1)))
    designator = 1;
  else if (platform::equalsIgnoreCase(rest, pm.substr(0, 1)))
    designator = 2;
  return designator != 0;
}

// Fraction digits after the decimal separator, as a correctly rounded
// fraction of one.
bool readFractionDigits(std::u16string_view text, size_t& pos, double& out) {
  std::string digits;
  for (; pos < text.size() && isDigit(text[pos]); ++pos)
    digits += static_cast<char>(text[pos]);
  if (digits.empty())
    return false;
  return decimalToDouble(digits, -static_cast<std::int64_t>(digits.size()), out);
}

bool isLeapYear(int year) {
  // 1900 counts as a leap year, as the serial numbers have always had it.
  return year == 1900 || (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0));
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

struct DatePart {
  int value = 0;
  size_t digits = 0; // 0 for a month name
  bool isName = false;
};

char16_t lowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

// The longest name of the list that the text at `pos` starts with, compared
// without regard to case; 1-12, or 0.
int matchMonthIn(std::u16string_view text, size_t pos,
                 const std::array<std::u16string, 12>& names, size_t& length) {
  int best = 0;
  if (pos >= text.size())
    return 0;
  // Two ASCII first letters that differ decide it without case folding (a
  // non-ASCII character may fold to an ASCII one, so only then).
  const char16_t first = lowerAscii(text[pos]);
  const bool firstAscii = first < 0x80;
  for (int m = 0; m < 12; ++m) {
    const std::u16string& name = names[m];
    if (name.empty() || (firstAscii && name[0] < 0x80 && lowerAscii(name[0]) != first) ||
        text.size() - pos < name.size() || (best && name.size() <= length))
      continue;
    if (platform::equalsIgnoreCase(text.substr(pos, name.size()), name)) {
      best = m + 1;
      length = name.size();
    }
  }
  return best;
}

// Whether a month name or abbreviation of the locale could start with c:
// its first letter, folded, is among the names' first letters. Characters
// outside ASCII may fold to ASCII ones, so they always could.
class MonthInitials {
public:
  explicit MonthInitials(const LocaleStrings& locale) {
    for (const auto* names : {&locale.monthNames, &locale.monthAbbreviations})
      for (const std::u16string& name : *names) {
        if (name.empty())
          continue;
        const char16_t first = lowerAscii(name[0]);
        if (first < 0x80)
          m_ascii[first / 64] |= std::uint64_t{1} << (first % 64);
        else
          m_other = true;
      }
  }
  bool couldStart(char16_t c) const {
    c = lowerAscii(c);
    return c >= 0x80 || m_other || (m_ascii[c / 64] >> (c % 64) & 1);
  }

private:
  std::uint64_t m_ascii[2] = {0, 0};
  bool m_other = false;
};

// The initials of the locale in force are kept until it changes; a locale
// passed explicitly (tests, other programs' settings) is looked at afresh.
bool monthNameCouldStart(const LocaleStrings& locale, char16_t c) {
  if (&locale != &platform::localeStrings())
    return MonthInitials(locale).couldStart(c);
  static std::uint32_t generation = 0;
  static std::optional<MonthInitials> cached;
  if (!cached || generation != platform::localeStringsGeneration()) {
    cached.emplace(locale);
    generation = platform::localeStringsGeneration();
  }
  return cached->couldStart(c);
}

bool readDatePart(std::u16string_view text, size_t& pos, bool allowName,
                  const LocaleStrings& locale, DatePart& part) {
  if (pos >= text.size())
    return false;
  if (allowName && monthNameCouldStart(locale, text[pos])) {
    size_t length = 0;
    int month = matchMonthIn(text, pos, locale.monthNames, length);
    if (!month)
      month = matchMonthIn(text, pos, locale.monthAbbreviations, length);
    if (month) {
      part = {month, 0, true};
      pos += length;
      return true;
    }
  }
  const size_t start = pos;
  std::int64_t value = 0;
  if (!readBoundedDigits(text, pos, text.size(), 99999, kMaxDateDigits, value))
    return false;
  part = {static_cast<int>(value), pos - start, false};
  return true;
}

// Optional spaces, then the date separator or "-".
bool readDateSeparator(std::u16string_view text, size_t& pos, const LocaleStrings& locale) {
  const size_t at = skipSpaces(text, pos, text.size());
  if (matchesAt(text, at, locale.dateSeparator)) {
    pos = at + locale.dateSeparator.size();
    return true;
  }
  if (at < text.size() && text[at] == u'-') {
    pos = at + 1;
    return true;
  }
  return false;
}

// A time after at least one space, running to the end of the text.
bool readTrailingTime(std::u16string_view text, size_t pos, const LocaleStrings& locale,
                      double& time) {
  const size_t at = skipSpaces(text, pos, text.size());
  if (at == pos || at >= text.size() || !isDigit(text[at]))
    return false;
  int format = 0;
  return readTime(text.substr(at), time, format, locale);
}

int expandYear(int year) {
  if (year < 30)
    return 2000 + year;
  if (year < 100)
    return 1900 + year;
  return year;
}

int yearClass(const DatePart& part) {
  if (part.isName)
    return 2;
  const int v = part.value;
  if (v == 0 || (v >= 32 && v <= 99) || v >= 1900)
    return 1;
  if (v <= 12)
    return 2;
  if (v <= 31)
    return 3;
  return 0;
}

// Which of the three parts is year, month and day, from their classes and
// the locale order; false when the parts are not a date.
bool chooseReading(const DatePart (&p)[3], DateOrder order, DateOrder& reading) {
  const int c1 = yearClass(p[0]), c2 = yearClass(p[1]), c3 = yearClass(p[2]);
  if (c1 == 1 && c2 == 2 && (c3 == 2 || c3 == 3)) {
    reading = DateOrder::YearMonthDay;
  } else if (c1 == 2 && c2 == 2 && c3 == 1) {
    if (p[0].isName)
      reading = DateOrder::MonthDayYear;
    else if (order == DateOrder::YearMonthDay)
      return false;
    else
      reading = order;
  } else if (c1 == 2 && c2 == 2 && (c3 == 2 || c3 == 3)) {
    if (p[0].isName)
      reading = DateOrder::MonthDayYear;
    else if (p[1].isName && order == DateOrder::MonthDayYear)
      return false;
    else
      reading = order;
  } else if (c1 == 2 && c2 == 3 && c3 != 0) {
    reading = DateOrder::MonthDayYear;
  } else if (c1 == 3 && c2 == 2 && c3 == 1) {
    reading = DateOrder::DayMonthYear;
  } else if (c1 == 3 && c2 == 2 && (c3 == 2 || c3 == 3)) {
    if (order == DateOrder::MonthDayYear)
      return false;
    reading = order;
  } else {
    return false;
  }
  return true;
}

// Checks a month and day part (no more than two digits, no name as a day),
// expands and checks the year, and gives the serial of that day.
bool dateSerial(const DatePart& year, const DatePart& month, const DatePart& day, int& serial) {
  if (year.isName || day.isName || month.digits > 2 || day.digits > 2)
    return false;
  const int y = expandYear(year.value);
  if (y < 1900 || y > kMaxYear || month.value < 1 || month.value > 12)
    return false;
  if (day.value < 1 || day.value > daysInMonth(y, month.value))
    return false;
  serial = dayCount(y, month.value, day.value);
  return true;
}

bool twoPartSerial(const DatePart& a, const DatePart& b, DateOrder order, int currentYear,
                   int& serial) {
  const DatePart thisYear{currentYear, 4, false};
  const DatePart firstDay{1, 1, false};
  switch (order) {
  case DateOrder::MonthDayYear:
    if (b.isName || a.digits > 2 || b.digits > 2)
      return false;
    return dateSerial(thisYear, a, b, serial);
  case DateOrder::DayMonthYear:
    if (a.isName)
      return dateSerial(b, a, firstDay, serial);
    return dateSerial(thisYear, b, a, serial);
  case DateOrder::YearMonthDay:
    if (b.isName)
      return dateSerial(a, b, firstDay, serial);
    return dateSerial(thisYear, a, b, serial);
  }
  return false;
}

// Number forms shared by typed entries starting with a digit, a decimal
// separator or a sign: a number, a percent, a fraction, a fraction percent.
bool classifyNumberForms(std::u16string_view text, const LocaleStrings& locale,
                         Classification& result) {
  const size_t n = text.size();
  const bool hasDecimal = contains(text, locale.decimalSeparator);
  const bool percent = text.back() == u'%';
  double value = 0;
  int digits = 0;
  if (scanNumber(text, 0, n, false, locale, 0, value)) {
    result.hint = {HintClass::Plain, 0};
  } else if (percent && scanNumber(text, 0, n - 1, false, locale, -2, value)) {
    result.hint = {HintClass::Percent, hasDecimal ? 2 : 0};
  } else if (scanFraction(text, 0, n, 0, value, digits)) {
    result.hint = {HintClass::Fraction, digits};
  } else if (percent && scanFraction(text, 0, n - 1, -2, value, digits)) {
    result.hint = {HintClass::Percent, 2};
  } else {
    return false;
  }
  result.kind = TextClass::Number;
  result.value = CellValue::number(value);
  return true;
}

void setNumber(Classification& result, double value, HintClass cls, int detail) {
  result.kind = TextClass::Number;
  result.value = CellValue::number(value);
  result.hint = {cls, detail};
}

void setText(Classification& result, std::u16string_view text, const TextOptions& options) {
  result.kind = TextClass::Text;
  if (options.textValue)
    result.value = CellValue::string(text);
}

} // namespace

int dayCount(int year, int month, int day) {
  const std::int64_t y = month < 3 ? std::int64_t{year} - 1 : year;
  const std::int64_t m = month < 3 ? std::int64_t{month} + 9 : std::int64_t{month} - 3;
  const std::int64_t raw = y / 100 * 146097 / 4 + day + (153 * m + 2) / 5 + y % 100 * 1461 / 4 -
                           693900;
  // The count runs one day ahead until 1 March 1900 because it has no
  // 29 February 1900; that day itself comes out as 61 and becomes 60.
  const bool firstOfMarch1900 = year == 1900 && month == 3 && day == 1;
  if (raw > 60 && (raw != 61 || firstOfMarch1900))
    return static_cast<int>(raw);
  return static_cast<int>(raw - 1);
}

void splitSerial(int serial, int& year, int& month, int& day) {
  if (serial == 60) {
    year = 1900;
    month = 2;
    day = 29;
    return;
  }
  // Reverse of the day count (Tantzen, CACM algorithm 199), on the count's
  // March-based years.
  std::int64_t j = std::int64_t{serial} + (serial < 60 ? 1 : 0) + 693900;
  std::int64_t y = (4 * j - 1) / 146097;
  j = 4 * j - 1 - 146097 * y;
  std::int64_t d = j / 4;
  j = (4 * d + 3) / 1461;
  d = 4 * d + 3 - 1461 * j;
  d = (d + 4) / 4;
  std::int64_t m = (5 * d - 3) / 153;
  d = 5 * d - 3 - 153 * m;
  d = (d + 5) / 5;
  y = 100 * y + j;
  if (m < 10) {
    m += 3;
  } else {
    m -= 9;
    ++y;
  }
  year = static_cast<int>(y);
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

bool readNumber(std::u16string_view text, size_t start, size_t end, bool allowGrouping,
                double& out, const platform::LocaleStrings& locale) {
  return scanNumber(text, start, end, allowGrouping, locale, 0, out);
}

bool readFraction(std::u16string_view text, double& out, int& denominatorDigits) {
  return scanFraction(text, 0, text.size(), 0, out, denominatorDigits);
}

bool readTime(std::u16string_view text, double& out, int& format,
              const platform::LocaleStrings& locale) {
  const size_t n = text.size();
  size_t i = 0;
  if (n == 0 || !isDigit(text[0]))
    return false;
  std::int64_t hours = 0, minutes = 0, seconds = 0;
  double fraction = 0;
  bool withSeconds = false;
  int designator = 0;
  if (!readBoundedDigits(text, i, n, kMaxHours, 0, hours) || i == n)
    return false;
  // Minutes and seconds after the first field are clock fields: two digits
  // at most and no more than 59, so that a slip such as 12:60 stays text.
  if (text[i] == u' ') {
    if (!readDesignator(text, i, locale, designator) || designator == 0)
      return false;
  } else if (matchesAt(text, i, locale.timeSeparator)) {
    i += locale.timeSeparator.size();
    if (!readBoundedDigits(text, i, n, 59, 2, minutes))
      return false;
    if (matchesAt(text, i, locale.decimalSeparator)) {
      // "mm:ss.0": the fields read so far are minutes and seconds.
      i += locale.decimalSeparator.size();
      if (!readFractionDigits(text, i, fraction) || skipSpaces(text, i, n) != n)
        return false;
      out = (hours * 60.0 + minutes + fraction) / kSecondsPerDay;
      format = 47;
      return true;
    }
    if (matchesAt(text, i, locale.timeSeparator)) {
      i += locale.timeSeparator.size();
      if (!readBoundedDigits(text, i, n, 59, 2, seconds))
        return false;
      withSeconds = true;
      if (matchesAt(text, i, locale.decimalSeparator)) {
        i += locale.decimalSeparator.size();
        if (!readFractionDigits(text, i, fraction))
          return false;
      }
    }
    if (i < n && (text[i] != u' ' || !readDesignator(text, i, locale, designator)))
      return false;
  } else {
    return false;
  }
  if (designator != 0) {
    if (hours > 12)
      return false;
    if (designator == 1 && hours == 12)
      hours = 0;
    else if (designator == 2 && hours < 12)
      hours += 12;
    format = withSeconds ? 19 : 18;
  } else {
    format = withSeconds ? 21 : 20;
  }
  out = (seconds + fraction + 60.0 * minutes + 3600.0 * hours) / kSecondsPerDay;
  return true;
}

bool readDate(std::u16string_view text, double& out, const TextOptions& options) {
  const LocaleStrings& locale = localeOf(options);
  const DateOrder order = dateOrderOf(locale);
  const size_t n = text.size();
  DatePart parts[3];
  size_t i = 0;
  if (!readDatePart(text, i, true, locale, parts[0]) || !readDateSeparator(text, i, locale) ||
      !readDatePart(text, i, true, locale, parts[1]))
    return false;
  double time = 0;
  int serial = 0;
  if (skipSpaces(text, i, n) == n || readTrailingTime(text, i, locale, time)) {
    const int currentYear = options.currentYear ? options.currentYear : platform::clock().now().year;
    if (!twoPartSerial(parts[0], parts[1], order, currentYear, serial))
      return false;
  } else {
    if (!readDateSeparator(text, i, locale) || !readDatePart(text, i, false, locale, parts[2]))
      return false;
    if (skipSpaces(text, i, n) != n && !readTrailingTime(text, i, locale, time))
      return false;
    DateOrder reading = order;
    if (!chooseReading(parts, order, reading))
      return false;
    bool ok = false;
    switch (reading) {
    case DateOrder::MonthDayYear: ok = dateSerial(parts[2], parts[0], parts[1], serial); break;
    case DateOrder::DayMonthYear: ok = dateSerial(parts[2], parts[1], parts[0], serial); break;
    case DateOrder::YearMonthDay: ok = dateSerial(parts[0], parts[1], parts[2], serial); break;
    }
    if (!ok)
      return false;
  }
  if (options.date1904) {
    // Days before 1 January 1904 have no serial in that system.
    serial -= kSerial1904Offset;
    if (serial < 0)
      return false;
  }
  out = serial + time;
  return true;
}

Classification classifyText(std::u16string_view text, const TextOptions& options) {
  const LocaleStrings& locale = localeOf(options);
  Classification result;
  if (text.empty())
    return result;
  const char16_t first = text[0];
  if (first == u'\'') {
    setText(result, text.substr(1), options);
    return result;
  }
  if (first == u'=') {
    if (isWellFormedFormula(text, listSeparatorOf(locale))) {
      result.kind = TextClass::Formula;
    } else {
      setText(result, text, options);
      result.formulaError = true;
    }
    return result;
  }
  if (first == u'+' || first == u'-') {
    if (classifyNumberForms(text, locale, result))
      return result;
    if (isWellFormedFormula(text, listSeparatorOf(locale)))
      result.kind = TextClass::Formula;
    else
      setText(result, text, options);
    return result;
  }
  double value = 0;
  if (isDigit(first) || matchesAt(text, 0, locale.decimalSeparator)) {
    if (classifyNumberForms(text, locale, result))
      return result;
    int format = 0;
    if (readDate(text, value, options))
      setNumber(result, value, HintClass::Date, 0);
    else if (readTime(text, value, format, locale))
      setNumber(result, value, HintClass::Time, format);
    else
      setText(result, text, options);
    return result;
  }
  if (platform::equalsIgnoreCase(text, u"TRUE") || platform::equalsIgnoreCase(text, u"FALSE")) {
    result.kind = TextClass::Boolean;
    result.value = CellValue::boolean(platform::equalsIgnoreCase(text, u"TRUE"));
    return result;
  }
  if (const int code = model::findErrorCode(text); code >= 0) {
    result.kind = TextClass::Error;
    result.value = CellValue::error(static_cast<model::ErrorCode>(code));
    return result;
  }
  if (matchesAt(text, 0, locale.currencySymbol)) {
    if (scanNumber(text, locale.currencySymbol.size(), text.size(), false, locale, 0, value))
      setNumber(result, value, HintClass::Currency,
                contains(text, locale.decimalSeparator) ? 2 : 0);
    else
      setText(result, text, options);
    return result;
  }
  if (first == u'(' && text.size() > 2 && text.back() == u')') {
    // A sign inside the parentheses would make "(-5)" positive; keep it text.
    const size_t inner = skipSpaces(text, 1, text.size() - 1);
    if (inner < text.size() - 1 && text[inner] != u'+' && text[inner] != u'-' &&
        scanNumber(text, 1, text.size() - 1, false, locale, 0, value)) {
      setNumber(result, -value + 0.0, HintClass::Plain, 0);
      return result;
    }
  }
  if (readDate(text, value, options)) {
    setNumber(result, value, HintClass::Date, 0);
    return result;
  }
  setText(result, text, options);
  return result;
}

CellValue stringToNumber(std::u16string_view text, const TextOptions& options) {
  const LocaleStrings& locale = localeOf(options);
  double value = 0;
  int format = 0;
  if (scanNumber(text, 0, text.size(), true, locale, 0, value) || readDate(text, value, options) ||
      readTime(text, value, format, locale))
    return CellValue::number(value);
  if (matchesAt(text, 0, locale.currencySymbol) &&
      scanNumber(text, locale.currencySymbol.size(), text.size(), true, locale, 0, value))
    return CellValue::number(value);
  if (!text.empty() && (text[0] == u'"' || text[0] == u'\''))
    return CellValue::error(model::ErrorCode::Value);
  return CellValue::error(model::ErrorCode::Name);
}

namespace {

// Writes x as %.15G would when that is fixed notation (|x| from 1e-4 to
// below 1e15) and returns the end of the text, else null. The fifteen digits
// are x·10^k rounded to a whole number, with the product kept exactly as
// p + err (10^k is exact for k <= 22 and fma gives the rounding error), so
// halfway cases are decided on the exact value, ties to even, as printf does.
char* fixedAsPrecision15(double x, char* buffer) {
  const double magnitude = std::fabs(x);
  if (!(magnitude >= 1e-4 && magnitude < 1e15))
    return nullptr;
  static constexpr double kPow10[] = {1,    1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                      1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                      1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
  // The decimal exponent from the binary one, perhaps one short; the loop
  // below corrects it.
  int exponent = (std::ilogb(magnitude) * 1233) >> 12;
  double n = 0;
  for (int attempt = 0;; ++attempt) {
    const int k = 14 - exponent;
    if (attempt == 3 || k < 0 || k >= static_cast<int>(std::size(kPow10)))
      return nullptr;
    const double p = magnitude * kPow10[k];
    const double err = std::fma(magnitude, kPow10[k], -p);
    n = std::nearbyint(p);
    // p - n is exact; only an exact half can be tipped by the error term.
    const double half = p - n;
    if (half == 0.5 && err > 0)
      n += 1;
    else if (half == -0.5 && err < 0)
      n -= 1;
    if (n >= 1e15)
      ++exponent;
    else if (n < 1e14)
      --exponent;
    else
      break;
  }
  if (exponent < -4 || exponent >= 15)
    return nullptr; // rounding carried x out of the fixed range
  char digits[24];
  std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(n));
  int count = 15;
  while (count > 1 && digits[count - 1] == '0')
    --count;
  char* out = buffer;
  if (x < 0)
    *out++ = '-';
  if (exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int z = exponent + 1; z < 0; ++z)
      *out++ = '0';
    return std::copy(digits, digits + count, out);
  }
  const int whole = exponent + 1;
  out = std::copy(digits, digits + whole, out);
  if (count > whole) {
    *out++ = '.';
    out = std::copy(digits + whole, digits + count, out);
  }
  return out;
}

// Writes x as %.15G would when it is a number of at most six decimals and
// fifteen digits (the common case in files) and returns the end, else null.
// When x·10^k rounds to a whole n, x lies within two of its own spacings of
// n/10^k, closer than half a 15-digit step, so n/10^k is x rounded to 15 digits.
char* fewDecimalsAsPrecision15(double x, char* buffer) {
  const double magnitude = std::fabs(x);
  // Below 1e-4 %G switches to an exponent.
  if (!(magnitude >= 1e-4 && magnitude < 1e15))
    return nullptr;
  static constexpr double kScale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  for (int k = 0; k < static_cast<int>(std::size(kScale)); ++k) {
    const double scaled = magnitude * kScale[k];
    if (scaled >= 1e15)
      return nullptr;
    // Below 1e15 the conversion is exact; it is cheaper than std::floor.
    if (scaled != static_cast<double>(static_cast<std::int64_t>(scaled)))
      continue;
    char digits[24];
    const char* digitsEnd =
        std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(scaled)).ptr;
    int count = static_cast<int>(digitsEnd - digits);
    int decimals = k;
    while (decimals > 0 && digits[count - 1] == '0') {
      --count;
      --decimals;
    }
    char* out = buffer;
    if (x < 0)
      *out++ = '-';
    const int whole = count - decimals;
    if (whole <= 0) {
      *out++ = '0';
      *out++ = '.';
      for (int z = whole; z < 0; ++z)
        *out++ = '0';
      return std::copy(digits, digits + count, out);
    }
    out = std::copy(digits, digits + whole, out);
    if (decimals > 0) {
      *out++ = '.';
      out = std::copy(digits + whole, digits + count, out);
    }
    return out;
  }
  return nullptr;
}

} // namespace

void appendNumberText(double x, const platform::LocaleStrings& locale, std::u16string& out,
                      int exponentDigits) {
  if (!std::isfinite(x)) {
    out += model::errorText(model::ErrorCode::Num);
    return;
  }
  if (x == 0)
    x = 0; // no "-0"
  // to_chars with a precision behaves as printf's %.15G (trailing zeros
  // already dropped) but never follows the C library's locale. It is slow,
  // and opening a file formats every number, so the fixed-notation range,
  // where nearly every number lies, is written directly: short decimals
  // from their digits, others from their rounded 15 digits.
  char buffer[64];
  char* end = fewDecimalsAsPrecision15(x, buffer);
  if (!end)
    end = fixedAsPrecision15(x, buffer);
  if (!end) {
    const auto [last, ec] = std::to_chars(buffer, buffer + sizeof buffer, x,
                                          std::chars_format::general, 15);
    if (ec != std::errc())
      return;
    end = last;
  }
  // Widen the exponent: "1e+15" becomes "1e+015" for three digits.
  if (char* e = std::find(buffer, end, 'e'); e != end && e + 1 != end) {
    char* digits = e + 2; // after the sign
    const int have = static_cast<int>(end - digits);
    if (have < exponentDigits && exponentDigits <= 4) {
      const int pad = exponentDigits - have;
      std::memmove(digits + pad, digits, static_cast<size_t>(have));
      std::fill(digits, digits + pad, '0');
      end += pad;
    }
  }
  const std::u16string_view separator =
      locale.decimalSeparator.empty() ? u"." : std::u16string_view(locale.decimalSeparator);
  const char* point = std::find(buffer, end, '.');
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(end - buffer) - (point != end) +
             (point != end ? separator.size() : 0));
  char16_t* to = out.data() + at;
  for (const char* p = buffer; p != end; ++p) {
    if (p == point)
      to = std::copy(separator.begin(), separator.end(), to);
    else
      *to++ = static_cast<char16_t>(*p == 'e' ? 'E' : *p);
  }
}

std::u16string numberToText(double x, const platform::LocaleStrings& locale,
                            int exponentDigits) {
  std::u16string out;
  appendNumberText(x, locale, out, exponentDigits);
  return out;
}

namespace {

void appendNumber(std::u16string& out, int value, int width) {
  const std::string digits = std::to_string(value < 0 ? -static_cast<long long>(value) : value);
  if (value < 0)
    out += u'-';
  for (int k = static_cast<int>(digits.size()); k < width; ++k)
    out += u'0';
  for (char c : digits)
    out += static_cast<char16_t>(c);
}

} // namespace

std::u16string dateText(int year, int month, int day, const platform::LocaleStrings& locale) {
  const int shortYear = (year % 100 + 100) % 100;
  const std::u16string& sep = locale.dateSeparator;
  std::u16string out;
  switch (dateOrderOf(locale)) {
  case DateOrder::MonthDayYear:
    appendNumber(out, month, 0);
    out += sep;
    appendNumber(out, day, 0);
    out += sep;
    appendNumber(out, shortYear, 2);
    break;
  case DateOrder::DayMonthYear:
    appendNumber(out, day, 0);
    out += sep;
    appendNumber(out, month, 0);
    out += sep;
    appendNumber(out, shortYear, 2);
    break;
  case DateOrder::YearMonthDay:
    appendNumber(out, shortYear, 2);
    out += sep;
    appendNumber(out, month, 0);
    out += sep;
    appendNumber(out, day, 0);
    break;
  }
  return out;
}

std::u16string timeText(int hour, int minute, int second, const platform::LocaleStrings& locale) {
  std::u16string out;
  appendNumber(out, hour, 2);
  out += locale.timeSeparator;
  appendNumber(out, minute, 2);
  out += locale.timeSeparator;
  appendNumber(out, second, 2);
  return out;
}

std::uint16_t numberFormatForHint(const FormatHint& hint) {
  switch (hint.cls) {
  case HintClass::Currency: return hint.detail == 2 ? 7 : 5;
  case HintClass::Date: return 14;
  case HintClass::Time:
    return (hint.detail >= 18 && hint.detail <= 21) || hint.detail == 47
               ? static_cast<std::uint16_t>(hint.detail)
               : 0;
  case HintClass::Percent: return hint.detail == 2 ? 10 : 9;
  case HintClass::Fraction: return hint.detail <= 1 ? 12 : 13;
  case HintClass::Plain: return 0;
  }
  return 0;
}

} // namespace formula
