// Date and time functions. Dates are serials of the 1900 system (1 January
// 1900 = 1, with the 29 February 1900 that the day count keeps as 60); a
// workbook in the 1904 system has its arguments moved into the 1900 system
// on the way in and its results moved back on the way out.

#include "functions/families.h"
#include "functions/function_helpers.h"
#include "functions/gather.h"

#include "formula/text_value.h"
#include "model/workbook.h"
#include "platform/clock.h"
#include "platform/locale_strings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

namespace functions {

namespace {

constexpr std::int64_t kDate1904Offset = 1462;
// Far beyond any date a user means (about 270,000 years), and small enough
// that every count below stays exact in 64-bit integers and in doubles.
constexpr double kSerialLimit = 1e8;
constexpr std::int64_t kYearLimit = 300000;

bool is1904(const EvalContext& ctx) { return ctx.book && ctx.book->date1904 != 0; }

/// A date argument as a whole day of the 1900 system; false when it is too
/// far out to be a date at all.
bool serialArgument(double x, const EvalContext& ctx, std::int64_t& out) {
  if (!(std::fabs(x) <= kSerialLimit))
    return false;
  out = static_cast<std::int64_t>(std::trunc(x)) + (is1904(ctx) ? kDate1904Offset : 0);
  return true;
}

CellValue serialResult(double serial, const EvalContext& ctx) {
  return numberResult(serial - (is1904(ctx) ? static_cast<double>(kDate1904Offset) : 0.0));
}

bool isLeapYear(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(std::int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

struct Ymd {
  std::int64_t year;
  int month;
  int day;
};

/// The serial of a year, month and day. The month may lie outside 1-12: it
/// is carried into the year first, as the day count is only right for the
/// months it was built for. The day is not checked (day 0 is the last day of
/// the previous month). False when the year falls outside 0 to kYearLimit.
bool serialOf(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t& out) {
  const std::int64_t m0 = month - 1;
  const std::int64_t carry = m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12);
  year += carry;
  month = m0 - carry * 12 + 1;
  if (year < 0 || year > kYearLimit || std::llabs(day) > static_cast<std::int64_t>(kSerialLimit))
    return false;
  // The count of the 29 February 1900 convention, in 64 bits so that far
  // years cannot overflow.
  const std::int64_t y = month < 3 ? year - 1 : year;
  const std::int64_t mm = month < 3 ? month + 9 : month - 3;
  if (y < 0) {
    // Before the count's first March-based year; only reached by dates
    // before 1 March of year 0, which no serial argument can name.
    return false;
  }
  const std::int64_t raw = y / 100 * 146097 / 4 + day + (153 * mm + 2) / 5 + y % 100 * 1461 / 4 -
                           693900;
  const bool firstOfMarch1900 = year == 1900 && month == 3 && day == 1;
  out = raw > 60 && (raw != 61 || firstOfMarch1900) ? raw : raw - 1;
  return true;
}

Ymd split(std::int64_t serial) {
  // Serial 0 reads as 0 January 1900, the day before the first one.
  if (serial == 0)
    return {1900, 1, 0};
  int y = 0, m = 0, d = 0;
  formula::splitSerial(static_cast<int>(serial), y, m, d);
  return {y, m, d};
}

/// Monday 0 to Sunday 6.
int weekdayIndex(std::int64_t s) { return static_cast<int>(((s + 2415019) % 7 + 7) % 7); }

std::int64_t truncated(double x) { return static_cast<std::int64_t>(std::trunc(x)); }

/// A whole-number argument limited to a range where the arithmetic stays
/// exact; false outside it.
bool integerArgument(double x, std::int64_t& out) {
  if (!(std::fabs(x) <= kSerialLimit))
    return false;
  out = truncated(x);
  return true;
}

// ---- date construction and parts ----

void dateHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t y = 0, m = 0, d = 0, s = 0;
  if (!integerArgument(args[0].numberValue(), y) || !integerArgument(args[1].numberValue(), m) ||
      !integerArgument(args[2].numberValue(), d)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  if (y < 1900)
    y += 1900;
  if (!serialOf(y, m, d, s)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  result = serialResult(static_cast<double>(s), ctx);
}

void timeHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double h = std::trunc(args[0].numberValue());
  const double m = std::trunc(args[1].numberValue());
  const double s = std::trunc(args[2].numberValue());
  result = numberResult((s + 60 * m + 3600 * h) / 86400);
}

double clockSerial(bool withTime) {
  const platform::LocalTime t = platform::clock().now();
  std::int64_t s = 0;
  serialOf(t.year, t.month, t.day, s);
  double v = static_cast<double>(s);
  if (withTime)
    v += (t.hour * 3600.0 + t.minute * 60.0 + t.second + t.millisecond / 1000.0) / 86400;
  return v;
}

void nowHandler(Arguments&, CellValue& result, EvalContext& ctx) {
  result = serialResult(clockSerial(true), ctx);
}

void todayHandler(Arguments&, CellValue& result, EvalContext& ctx) {
  result = serialResult(clockSerial(false), ctx);
}

formula::TextOptions textOptions(const EvalContext& ctx) {
  formula::TextOptions o;
  o.date1904 = is1904(ctx);
  return o;
}

void datevalueHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double v = 0;
  if (!formula::readDate(args[0].stringValue(), v, textOptions(ctx))) {
    result = CellValue::error(ErrorCode::Value);
    return;
  }
  result = numberResult(std::floor(v));
}

void timevalueHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const std::u16string_view text = args[0].stringValue();
  double v = 0;
  int format = 0;
  if (!formula::readTime(text, v, format, platform::localeStrings()) &&
      !formula::readDate(text, v, textOptions(ctx))) {
    result = CellValue::error(ErrorCode::Value);
    return;
  }
  // Only the time of day: 25:00 and a date with a time both keep their hours past midnight.
  result = numberResult(v - std::floor(v));
}

template <int Part> void datePartHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t s = 0;
  if (!serialArgument(args[0].numberValue(), ctx, s)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  const Ymd d = split(s);
  result = CellValue::number(Part == 0 ? static_cast<double>(d.year) : Part == 1 ? d.month : d.day);
}

template <int Part> void timePartHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = args[0].numberValue();
  if (!(std::fabs(x) <= kSerialLimit)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  // std::round rounds halves away from zero; a time that rounds up to
  // midnight is the start of the next day.
  const auto seconds = static_cast<std::int64_t>(std::round((x - std::floor(x)) * 86400)) % 86400;
  const std::int64_t v = Part == 0 ? seconds / 3600 : Part == 1 ? seconds / 60 % 60 : seconds % 60;
  result = CellValue::number(static_cast<double>(v));
}

void weekdayHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t s = 0;
  if (!serialArgument(args[0].numberValue(), ctx, s)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  const double type = std::trunc(numberOr(args, 1, 1));
  const int w = weekdayIndex(s);
  if (type == 2)
    result = CellValue::number(w + 1);
  else if (type == 3)
    result = CellValue::number(w);
  else
    result = CellValue::number((w + 1) % 7 + 1);
}

// ---- day counts ----

/// The 30/360 count from a to b, by the US or the European rule.
std::int64_t days360(std::int64_t a, std::int64_t b, bool european) {
  const Ymd s = split(a);
  Ymd e = split(b);
  int d1 = s.day, d2 = e.day;
  if (european) {
    d1 = std::min(d1, 30);
    d2 = std::min(d2, 30);
  } else {
    if (d1 == 31 || (s.month == 2 && (d1 == 28 || d1 == 29)))
      d1 = 30;
    if (d2 == 31) {
      if (d1 == 30) {
        d2 = 30;
      } else {
        d2 = 1;
        ++e.month;
      }
    }
  }
  return ((e.year - s.year) * 12 + e.month - s.month) * 30 + d2 - d1;
}

void days360Handler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t a = 0, b = 0;
  if (!serialArgument(args[0].numberValue(), ctx, a) ||
      !serialArgument(args[1].numberValue(), ctx, b)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  const bool european = !isMissing(args, 2) && args[2].booleanValue();
  result = CellValue::number(static_cast<double>(days360(a, b, european)));
}

bool equalsFolded(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z')
      x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z')
      y = static_cast<char16_t>(y + 32);
    if (x != y)
      return false;
  }
  return true;
}

void datedifHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t a = 0, b = 0;
  if (!serialArgument(args[0].numberValue(), ctx, a) ||
      !serialArgument(args[1].numberValue(), ctx, b) || b < a) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  const Ymd s = split(a), e = split(b);
  const std::u16string_view unit = args[2].stringValue();
  const std::int64_t months = (e.year - s.year) * 12 + e.month - s.month - (e.day < s.day ? 1 : 0);
  std::int64_t v = 0;
  if (equalsFolded(unit, u"y")) {
    v = e.year - s.year - (e.month < s.month || (e.month == s.month && e.day < s.day) ? 1 : 0);
  } else if (equalsFolded(unit, u"m")) {
    v = months;
  } else if (equalsFolded(unit, u"d")) {
    v = b - a;
  } else if (equalsFolded(unit, u"ym")) {
    v = months % 12;
  } else if (equalsFolded(unit, u"yd")) {
    const bool nextYear = s.month > e.month || (s.month == e.month && e.day < s.day);
    std::int64_t t = 0;
    serialOf(s.year + (nextYear ? 1 : 0), e.month, e.day, t);
    v = t - a;
  } else if (equalsFolded(unit, u"md")) {
    if (e.day >= s.day) {
      v = e.day - s.day;
    } else {
      std::int64_t t = 0;
      serialOf(e.year, e.month - 1, s.day, t);
      v = b - t;
    }
  } else {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  result = CellValue::number(static_cast<double>(v));
}

// ---- month arithmetic ----

/// The date `months` months after the serial's, its day clipped to the
/// target month's length (or the last day when `lastDay`).
bool addMonths(std::int64_t serial, std::int64_t months, bool lastDay, std::int64_t& out) {
  const Ymd d = split(serial);
  const std::int64_t total = d.year * 12 + d.month - 1 + months;
  if (total < 0 || total / 12 > kYearLimit)
    return false;
  const std::int64_t y = total / 12;
  const int m = static_cast<int>(total % 12) + 1;
  const int dim = daysInMonth(y, m);
  return serialOf(y, m, lastDay ? dim : std::min(d.day, dim), out);
}

template <bool LastDay> void monthShiftHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t s = 0, months = 0, out = 0;
  if (!serialArgument(args[0].numberValue(), ctx, s) ||
      !integerArgument(args[1].numberValue(), months) || !addMonths(s, months, LastDay, out)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  result = serialResult(static_cast<double>(out), ctx);
}

// ---- working days ----

/// The holidays of the optional third argument as 1900-system days: the
/// numbers it holds (text, booleans and blanks are skipped), truncated.
bool gatherHolidays(const Arguments& args, EvalContext& ctx, std::vector<std::int64_t>& out,
                    CellValue& error) {
  if (isMissing(args, 2))
    return true;
  NumberList list;
  if (!gatherArgument(args[2], ctx, GatherOptions{}, list)) {
    error = list.error;
    return false;
  }
  for (double x : list.numbers) {
    std::int64_t s = 0;
    if (serialArgument(x, ctx, s))
      out.push_back(s);
  }
  // A day off is off once, however often it is listed.
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  std::erase_if(out, [](std::int64_t s) { return weekdayIndex(s) >= 5; });
  return true;
}

/// Monday to Friday days in [a, b], a <= b, before holidays.
std::int64_t workingDaysBetween(std::int64_t a, std::int64_t b) {
  const int wa = weekdayIndex(a), wb = weekdayIndex(b);
  if (wa >= 5)
    a += 7 - wa;
  if (wb >= 5)
    b -= wb - 4;
  if (a > b)
    return 0; // the whole span lies in one weekend
  return (b - a) / 7 * 5 + (weekdayIndex(b) - weekdayIndex(a) + 5) % 5 + 1;
}

void networkdaysHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t a = 0, b = 0;
  if (!serialArgument(args[0].numberValue(), ctx, a) ||
      !serialArgument(args[1].numberValue(), ctx, b)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  std::vector<std::int64_t> holidays;
  if (!gatherHolidays(args, ctx, holidays, result))
    return;
  // A reversed span counts the same days, negative.
  const bool reversed = b < a;
  if (reversed)
    std::swap(a, b);
  std::int64_t n = workingDaysBetween(a, b);
  n -= std::upper_bound(holidays.begin(), holidays.end(), b) -
       std::lower_bound(holidays.begin(), holidays.end(), a);
  result = CellValue::number(static_cast<double>(reversed ? -n : n));
}

/// The day `n` working days (Monday to Friday) after s, or before it for a
/// negative n; a start on a weekend counts from the adjacent weekday.
std::int64_t stepWorkdays(std::int64_t s, std::int64_t n) {
  const int w = weekdayIndex(s);
  if (n > 0) {
    if (w >= 5)
      s -= w - 4; // from Friday, the next working day is the one after the weekend
    const int wf = weekdayIndex(s);
    const std::int64_t rest = n % 5;
    return s + n / 5 * 7 + rest + (wf + rest >= 5 ? 2 : 0);
  }
  if (n < 0) {
    if (w >= 5)
      s += 7 - w;
    const int wf = weekdayIndex(s);
    const std::int64_t back = -n, rest = back % 5;
    return s - back / 5 * 7 - rest - (wf - rest < 0 ? 2 : 0);
  }
  return s;
}

void workdayHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t s = 0, days = 0;
  if (!serialArgument(args[0].numberValue(), ctx, s) ||
      !integerArgument(args[1].numberValue(), days)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  std::vector<std::int64_t> holidays;
  if (!gatherHolidays(args, ctx, holidays, result))
    return;
  if (days == 0) {
    result = serialResult(static_cast<double>(s), ctx);
    return;
  }
  // Step over the working days, then over as many more as holidays fell into
  // the stretch just covered, until a stretch holds none. Each round uses up
  // at least one holiday, so this ends.
  std::int64_t from = s, to = stepWorkdays(s, days);
  for (;;) {
    std::int64_t off = 0;
    if (days > 0)
      off = std::upper_bound(holidays.begin(), holidays.end(), to) -
            std::upper_bound(holidays.begin(), holidays.end(), from);
    else
      off = std::lower_bound(holidays.begin(), holidays.end(), from) -
            std::lower_bound(holidays.begin(), holidays.end(), to);
    if (off == 0)
      break;
    from = to;
    to = stepWorkdays(to, days > 0 ? off : -off);
  }
  result = serialResult(static_cast<double>(to), ctx);
}

// ---- weeks and years ----

std::int64_t isoWeek(std::int64_t s) {
  // The week belongs to the year of its Thursday.
  const std::int64_t thursday = s - weekdayIndex(s) + 3;
  std::int64_t jan1 = 0;
  serialOf(split(thursday).year, 1, 1, jan1);
  return (thursday - jan1) / 7 + 1;
}

void isoWeekNumHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t s = 0;
  if (args[0].numberValue() < 0 || !serialArgument(args[0].numberValue(), ctx, s)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  result = CellValue::number(static_cast<double>(isoWeek(s)));
}

// DAYS(end_date, start_date): whole days from the start to the end.
void daysHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t end = 0, start = 0;
  if (!serialArgument(args[0].numberValue(), ctx, end) ||
      !serialArgument(args[1].numberValue(), ctx, start)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  result = CellValue::number(static_cast<double>(end - start));
}

void weeknumHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t s = 0;
  if (!serialArgument(args[0].numberValue(), ctx, s)) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  std::int64_t type = truncated(numberOr(args, 1, 1));
  // The later spreadsheet codes: 11-17 start the week on Monday to Sunday, 21 is ISO.
  if (type >= 11 && type <= 17)
    type = (type - 11 + 1) % 7 + 1;
  else if (type == 21)
    type = 0;
  if (type < 0 || type > 7) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  if (type == 0) {
    result = CellValue::number(static_cast<double>(isoWeek(s)));
    return;
  }
  std::int64_t jan1 = 0;
  serialOf(split(s).year, 1, 1, jan1);
  const std::int64_t jan1Day = (weekdayIndex(jan1) + 1) % 7 + 1; // Sunday 1 to Saturday 7
  const std::int64_t weekStart = jan1 - (jan1Day - type + 7) % 7;
  result = CellValue::number(static_cast<double>((s - weekStart) / 7 + 1));
}

void yearfracHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::int64_t a = 0, b = 0;
  const double basis = std::trunc(numberOr(args, 2, 0));
  if (!serialArgument(args[0].numberValue(), ctx, a) ||
      !serialArgument(args[1].numberValue(), ctx, b) || basis < 0 || basis > 4) {
    result = CellValue::error(ErrorCode::Num);
    return;
  }
  // Counted from the start to the end as given: a start after the end
  // gives a negative fraction.
  double v = 0;
  switch (static_cast<int>(basis)) {
  case 0: v = static_cast<double>(days360(a, b, false)) / 360; break;
  case 1:
  case 3: v = static_cast<double>(b - a) / 365; break;
  case 2: v = static_cast<double>(b - a) / 360; break;
  default: v = static_cast<double>(days360(a, b, true)) / 360; break;
  }
  result = numberResult(v);
}

// clang-format off
constexpr HandlerRow kDatetimeHandlers[] = {
    {u"DATE",        dateHandler},
    {u"DATEDIF",     datedifHandler},
    {u"DATEVALUE",   datevalueHandler},
    {u"DAY",         datePartHandler<2>},
    {u"DAYS360",     days360Handler},
    {u"HOUR",        timePartHandler<0>},
    {u"MINUTE",      timePartHandler<1>},
    {u"MONTH",       datePartHandler<1>},
    {u"NOW",         nowHandler},
    {u"SECOND",      timePartHandler<2>},
    {u"TIME",        timeHandler},
    {u"TIMEVALUE",   timevalueHandler},
    {u"TODAY",       todayHandler},
    {u"WEEKDAY",     weekdayHandler},
    {u"YEAR",        datePartHandler<0>},
    {u"EDATE",       monthShiftHandler<false>},
    {u"EOMONTH",     monthShiftHandler<true>},
    {u"NETWORKDAYS", networkdaysHandler},
    {u"WEEKNUM",     weeknumHandler},
    {u"DAYS",        daysHandler},
    {u"ISOWEEKNUM",  isoWeekNumHandler},
    {u"WORKDAY",     workdayHandler},
    {u"YEARFRAC",    yearfracHandler},
};
// clang-format on

} // namespace

void registerDatetimeFunctions() { registerRows(kDatetimeHandlers); }

} // namespace functions
