#include "numfmt/number_format.h"

#include "numfmt/number_format_internal.h"
#include "platform/unicode.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace numfmt {

using detail::Decimal;

namespace detail {

namespace {

// The digits and exponent of a to_chars scientific text such as "1.25e+03".
Decimal parseScientific(const char *p, const char *end) {
  Decimal r;
  for (; p < end && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9' && r.count < static_cast<int>(r.d.size()))
      r.d[static_cast<unsigned>(r.count++)] = static_cast<std::uint8_t>(*p - '0');
  int exponent = 0;
  bool negative = false;
  if (p < end)
    ++p;
  if (p < end && (*p == '-' || *p == '+'))
    negative = *p++ == '-';
  for (; p < end; ++p)
    exponent = exponent * 10 + (*p - '0');
  r.exponent = negative ? -exponent : exponent;
  while (r.count > 0 && r.d[static_cast<unsigned>(r.count - 1)] == 0)
    --r.count;
  return r;
}

// Whole numbers and short decimals, which are most of what people type, are
// a whole number of at most 15 digits over a small power of ten; when that
// decimal reads back as v, its digits serve as the shortest ones would.
bool shortDecimal(double v, Decimal &r) {
  static constexpr double kPowers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  for (int k = 0; k < static_cast<int>(std::size(kPowers)); ++k) {
    const double scaled = v * kPowers[k];
    if (!(scaled < 1e15))
      return false;
    if (scaled != std::floor(scaled) || scaled / kPowers[k] != v)
      continue;
    auto n = static_cast<std::uint64_t>(scaled);
    std::uint8_t reversed[16];
    int count = 0;
    do {
      reversed[count++] = static_cast<std::uint8_t>(n % 10);
      n /= 10;
    } while (n != 0);
    r.exponent = count - 1 - k;
    r.count = count;
    for (int i = 0; i < count; ++i)
      r.d[static_cast<unsigned>(i)] = reversed[count - 1 - i];
    while (r.count > 0 && r.d[static_cast<unsigned>(r.count - 1)] == 0)
      --r.count;
    return true;
  }
  return false;
}

} // namespace

// The shortest digits that read back as v come quickly; rounding them gives
// the digits of v itself at up to 15 places, because a normal double is
// closer to its shortest digits than half a unit of the 15th place, and no
// rounding boundary lies between them unless it is those digits themselves. Only when the cut
// falls exactly on a 5 (v may lie either side of it) is v converted at the
// precision asked for, which is slower.
Decimal toDecimal(double v, int significant) {
  v = std::fabs(v);
  if (!(v > 0) || !std::isfinite(v))
    return Decimal{};
  significant = std::clamp(significant, 1, 17);
  char buf[48];
  // Subnormal numbers have too few bits for the argument above.
  if (significant <= 15 && v >= std::numeric_limits<double>::min()) {
    Decimal r;
    if (!shortDecimal(v, r)) {
      const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
      r = parseScientific(buf, res.ptr);
    }
    if (r.count <= significant)
      return r;
    if (r.d[static_cast<unsigned>(significant)] != 5 || r.count > significant + 1) {
      roundAtPlace(r, r.exponent - significant + 1);
      return r;
    }
  }
  const auto res =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, significant - 1);
  return parseScientific(buf, res.ptr);
}

void roundAtPlace(Decimal &v, int place) {
  if (v.count == 0)
    return;
  const long long keepWide = static_cast<long long>(v.exponent) - place + 1;
  if (keepWide >= v.count)
    return;
  if (keepWide < 0) {
    v.count = 0;
    return;
  }
  const int keep = static_cast<int>(keepWide);
  const bool up = v.d[static_cast<unsigned>(keep)] >= 5;
  v.count = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && v.d[static_cast<unsigned>(i)] == 9)
      --i;
    if (i < 0) {
      // Every kept digit was 9 (or none was kept): the carry makes a new leading 1.
      v.d[0] = 1;
      v.count = 1;
      v.exponent += 1;
      return;
    }
    ++v.d[static_cast<unsigned>(i)];
    v.count = i + 1;
  }
  while (v.count > 0 && v.d[static_cast<unsigned>(v.count - 1)] == 0)
    --v.count;
}

} // namespace detail

namespace {

using Token = CompiledSection::Token;

enum class TokenKind : std::uint8_t {
  Literal,        // pool[pos, pos + len)
  Fill,           // ch repeats to fill the width
  DecimalPoint,   // the locale decimal separator
  ExponentSign,   // ch is '+' or '-'
  Digit,          // placeholder ch ('0', '#', '?') number pos, flags in width
  Slash,          // a '/' that a blank numerator may swallow
  Text,           // '@'
  General,        // the General keyword
  Day,            // width 1 or 2
  DayName,        // width 3 (abbreviated) or 4
  Month,          // width 1 or 2
  MonthName,      // width 3, 4 or 5 (initial)
  Minute,         // width 1 or 2
  Year,           // width 2 or 4
  Hour,           // width 1 or 2
  Second,         // width 1 or 2, len = digits after the point
  ElapsedHours,   // width 1 or 2
  ElapsedMinutes, // width 1 or 2
  ElapsedSeconds, // width 1 or 2
  AmPm,           // AM at pool[pos, pos + len), PM right after it, ch = PM length
};

// Flags of a Digit token.
constexpr std::uint8_t kSlashFollows = 1;    // the next character is '/'
constexpr std::uint8_t kQuestionFollows = 2; // a '?' follows in the run of "#0?/" after it
constexpr std::uint8_t kQuestionInRun = 4;   // its run of placeholders holds a '?'

constexpr double kMaxDateSerial = 1e11; // keeps calendar arithmetic inside 64 bits

bool isPlaceholder(char16_t c) { return c == u'0' || c == u'#' || c == u'?'; }

char16_t asciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c; }

bool equalsAsciiIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiUpper(a[i]) != asciiUpper(b[i]))
      return false;
  return true;
}

void putChar(std::u16string &out, char16_t c) {
  if (out.size() < kMaxResultLength)
    out.push_back(c);
}

void putText(std::u16string &out, std::u16string_view s) {
  if (out.size() < kMaxResultLength)
    out.append(s.substr(0, kMaxResultLength - out.size()));
}

void putNumber(std::u16string &out, long long v, int minDigits) {
  char16_t buf[24];
  int n = 0;
  unsigned long long u =
      v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  do {
    buf[n++] = static_cast<char16_t>(u'0' + u % 10);
    u /= 10;
  } while (u != 0 && n < 24);
  if (v < 0)
    putChar(out, u'-');
  for (int i = n; i < minDigits; ++i)
    putChar(out, u'0');
  while (n > 0)
    putChar(out, buf[--n]);
}

// Whole numbers that may exceed 64 bits (elapsed hours of huge serials).
void putWhole(std::u16string &out, double v, int minDigits) {
  if (v < 9e15) {
    putNumber(out, static_cast<long long>(v), minDigits);
    return;
  }
  const Decimal d = detail::toDecimal(v, 15);
  const int len = d.integerLength();
  for (int i = 0; i < len && out.size() < kMaxResultLength; ++i)
    putChar(out, static_cast<char16_t>(u'0' + d.digitAt(len - 1 - i)));
}

std::u16string lowerCase(std::u16string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    c = u_tolower(c);
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  }
  return out;
}

std::u16string_view firstLetter(std::u16string_view s) {
  if (s.empty())
    return s;
  return s.substr(0, (s.size() > 1 && U16_IS_LEAD(s[0]) && U16_IS_TRAIL(s[1])) ? 2 : 1);
}

// ---------------------------------------------------------------------------
// Section splitting

bool isElapsedBracket(std::u16string_view inner) {
  if (inner.empty() || inner.size() > 2)
    return false;
  const char16_t c = asciiUpper(inner[0]);
  if (c != u'H' && c != u'M' && c != u'S')
    return false;
  return inner.size() == 1 || asciiUpper(inner[1]) == c;
}

// Reads a condition's number: spaces, sign, digits with an optional point,
// an optional exponent, spaces; nothing else. Codes always use '.'.
bool readConditionNumber(std::u16string_view s, double &out) {
  std::string ascii;
  size_t i = 0;
  const size_t n = s.size();
  auto skipSpaces = [&] {
    while (i < n && s[i] == u' ')
      ++i;
  };
  skipSpaces();
  if (i < n && (s[i] == u'+' || s[i] == u'-')) {
    if (s[i] == u'-')
      ascii.push_back('-');
    ++i;
    skipSpaces();
  }
  int digits = 0;
  while (i < n && s[i] >= u'0' && s[i] <= u'9' && ascii.size() < 400) {
    ascii.push_back(static_cast<char>(s[i++]));
    ++digits;
  }
  if (i < n && s[i] == u'.') {
    ascii.push_back('.');
    ++i;
    while (i < n && s[i] >= u'0' && s[i] <= u'9' && ascii.size() < 400) {
      ascii.push_back(static_cast<char>(s[i++]));
      ++digits;
    }
  }
  if (digits == 0)
    return false;
  skipSpaces();
  if (i < n && (s[i] == u'E' || s[i] == u'e')) {
    ++i;
    skipSpaces();
    ascii.push_back('e');
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
      ascii.push_back(static_cast<char>(s[i++]));
    skipSpaces();
    int exponentDigits = 0;
    while (i < n && s[i] >= u'0' && s[i] <= u'9' && exponentDigits < 6) {
      ascii.push_back(static_cast<char>(s[i++]));
      ++exponentDigits;
    }
    if (exponentDigits == 0)
      return false;
    skipSpaces();
  }
  if (i != n)
    return false;
  double value = 0;
  const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size() || !std::isfinite(value))
    return false;
  out = value;
  return true;
}

// Takes a leading colour or condition bracket into the section. Anything else
// (a locale tag such as "[$-409]", an unreadable condition) is dropped.
void applyBracketItem(std::u16string_view inner, FormatSection &section) {
  for (size_t k = 0; k < kColourNames.size(); ++k) {
    if (equalsAsciiIgnoreCase(inner, kColourNames[k])) {
      section.colour = static_cast<std::uint8_t>(k);
      return;
    }
  }
  ConditionOp op = ConditionOp::None;
  size_t opLength = 0;
  if (inner.starts_with(u"<=")) {
    op = ConditionOp::LessEqual, opLength = 2;
  } else if (inner.starts_with(u"<>")) {
    op = ConditionOp::NotEqual, opLength = 2;
  } else if (inner.starts_with(u"<")) {
    op = ConditionOp::Less, opLength = 1;
  } else if (inner.starts_with(u"=")) {
    op = ConditionOp::Equal, opLength = 1;
  } else if (inner.starts_with(u">=")) {
    op = ConditionOp::GreaterEqual, opLength = 2;
  } else if (inner.starts_with(u">")) {
    op = ConditionOp::Greater, opLength = 1;
  }
  double value = 0;
  if (op == ConditionOp::None || !readConditionNumber(inner.substr(opLength), value))
    return;
  section.op = op;
  section.value = value;
}

} // namespace

int colourPaletteIndex(std::uint8_t colour) { return colour < kNoColour ? 8 + colour : -1; }

FormatSections parseSections(std::u16string_view code) {
  FormatSections out;
  if (code.empty())
    return out;
  size_t index = 0;
  size_t sectionStart = 0;
  const size_t n = code.size();
  auto finish = [&](size_t end) {
    FormatSection &s = out[index];
    const std::u16string_view text = code.substr(sectionStart, end - sectionStart);
    const SectionKind filled =
        s.op != ConditionOp::None ? SectionKind::Conditional : SectionKind::Plain;
    if (!text.empty()) {
      s.kind = filled;
      s.text = text;
    } else if (s.colour != kNoColour || s.op != ConditionOp::None) {
      // "[Red]" alone shows General in red.
      s.kind = filled;
      s.text = u"General";
    } else {
      s.kind = SectionKind::Empty;
    }
  };
  size_t i = 0;
  while (i < n) {
    const char16_t c = code[i];
    if (c == u'"') {
      const size_t close = code.find(u'"', i + 1);
      i = close == std::u16string_view::npos ? n : close + 1;
    } else if (c == u'*' || c == u'\\' || c == u'_') {
      i = std::min(n, i + 2);
    } else if (c == u'[' && i == sectionStart) {
      const size_t close = code.find(u']', i + 1);
      if (close == std::u16string_view::npos) {
        ++i; // a stray '[' is ordinary text
        continue;
      }
      const std::u16string_view inner = code.substr(i + 1, close - i - 1);
      i = close + 1;
      if (!isElapsedBracket(inner)) {
        applyBracketItem(inner, out[index]);
        sectionStart = i;
      }
    } else if (c == u';') {
      finish(i);
      ++i;
      sectionStart = i;
      if (++index == out.size())
        return out; // sections after the fourth are ignored
    } else {
      ++i;
    }
  }
  finish(n);
  return out;
}

bool compareCondition(ConditionOp op, double conditionValue, double x) {
  switch (op) {
  case ConditionOp::Equal:
    return x == conditionValue;
  case ConditionOp::Greater:
    return x > conditionValue;
  case ConditionOp::GreaterEqual:
    return x >= conditionValue;
  case ConditionOp::Less:
    return x < conditionValue;
  case ConditionOp::LessEqual:
    return x <= conditionValue;
  case ConditionOp::NotEqual:
    return x != conditionValue;
  case ConditionOp::None:
    break;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Compiling a section

namespace {

struct AmPmPattern {
  std::u16string pattern;
  std::u16string am;
  std::u16string pm;
};
// The locale's four patterns first, then the English ones: codes such as the
// built-in "h:mm AM/PM" are not rebuilt per locale, so "AM/PM" must still mean
// the locale's designators in, say, a Chinese locale.
using AmPmPatterns = std::array<AmPmPattern, 8>;

AmPmPatterns amPmPatterns(const platform::LocaleStrings &locale) {
  // An empty designator would make "/" alone a pattern; the locale loader's
  // fallbacks stand in for it.
  const std::u16string_view am = locale.amDesignator.empty()
                                     ? std::u16string_view(u"AM")
                                     : std::u16string_view(locale.amDesignator);
  const std::u16string_view pm = locale.pmDesignator.empty()
                                     ? std::u16string_view(u"PM")
                                     : std::u16string_view(locale.pmDesignator);
  const std::u16string upperAm = platform::toUpper(am), upperPm = platform::toUpper(pm);
  const std::u16string lowerAm = lowerCase(am), lowerPm = lowerCase(pm);
  const std::array<std::u16string, 4> ams = {upperAm, lowerAm, std::u16string(firstLetter(upperAm)),
                                             std::u16string(firstLetter(lowerAm))};
  const std::array<std::u16string, 4> pms = {upperPm, lowerPm, std::u16string(firstLetter(upperPm)),
                                             std::u16string(firstLetter(lowerPm))};
  constexpr std::array<std::u16string_view, 4> kEnglish = {u"AM/PM", u"am/pm", u"A/P", u"a/p"};
  AmPmPatterns p;
  for (size_t k = 0; k < 4; ++k) {
    p[k] = {ams[k] + u"/" + pms[k], ams[k], pms[k]};
    p[k + 4] = {std::u16string(kEnglish[k]), ams[k], pms[k]};
  }
  return p;
}

int matchAmPm(std::u16string_view s, size_t i, const AmPmPatterns &patterns) {
  for (size_t k = 0; k < patterns.size(); ++k)
    if (s.substr(i).starts_with(patterns[k].pattern))
      return static_cast<int>(k);
  return -1;
}

size_t letterRun(std::u16string_view s, size_t i) {
  const char16_t c = asciiUpper(s[i]);
  size_t j = i;
  while (j < s.size() && asciiUpper(s[j]) == c)
    ++j;
  return j - i;
}

// Whether the next date or time letter from `from` on is an 's': then "m"
// means minutes, as in "mm:ss".
bool nextDateLetterIsSecond(std::u16string_view s, size_t from, const AmPmPatterns &patterns) {
  size_t i = from;
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u'"') {
      const size_t close = s.find(u'"', i + 1);
      i = close == std::u16string_view::npos ? s.size() : close + 1;
      continue;
    }
    if (c == u'\\' || c == u'_' || c == u'*') {
      i += 2;
      continue;
    }
    if (const int k = matchAmPm(s, i, patterns); k >= 0) {
      i += patterns[static_cast<size_t>(k)].pattern.size();
      continue;
    }
    switch (asciiUpper(c)) {
    case u'S':
      return true;
    case u'D':
    case u'H':
    case u'M':
    case u'Y':
      return false;
    default:
      ++i;
    }
  }
  return false;
}

class SectionCompiler {
public:
  SectionCompiler(std::u16string_view s, const AmPmPatterns &patterns, CompiledSection &out)
      : m_s(s), m_patterns(patterns), m_out(out) {}

  void run();

private:
  void literal(std::u16string_view t);
  void token(TokenKind kind, std::uint8_t width = 0, char16_t ch = 0, std::uint32_t pos = 0,
             std::uint32_t len = 0) {
    m_out.tokens.push_back({static_cast<std::uint8_t>(kind), width, ch, pos, len});
  }
  void placeholder(size_t i);
  void dateLetter(size_t &i);
  void finishCounts();

  std::u16string_view m_s;
  const AmPmPatterns &m_patterns;
  CompiledSection &m_out;
  int m_digits = 0;       // placeholders so far
  int m_pointDigits = -1; // placeholders before the first '.'
  int m_eDigits = -1;     // placeholders before the first exponent
  int m_numeratorStart = 0;
  int m_runStart = 0; // first placeholder of the current run
  bool m_prevPlaceholder = false;
  char16_t m_prevPlaceholderChar = 0;
  bool m_lastDateWasHour = false;
};

void SectionCompiler::literal(std::u16string_view t) {
  if (t.empty())
    return;
  auto &tokens = m_out.tokens;
  auto &pool = m_out.pool;
  if (!tokens.empty() && tokens.back().kind == static_cast<std::uint8_t>(TokenKind::Literal) &&
      tokens.back().pos + tokens.back().len == pool.size()) {
    tokens.back().len += static_cast<std::uint32_t>(t.size());
  } else {
    token(TokenKind::Literal, 0, 0, static_cast<std::uint32_t>(pool.size()),
          static_cast<std::uint32_t>(t.size()));
  }
  pool.append(t);
}

void SectionCompiler::placeholder(size_t i) {
  const char16_t c = m_s[i];
  if (!m_prevPlaceholder)
    m_runStart = m_digits;
  ++m_digits;
  std::uint8_t flags = 0;
  if (i + 1 < m_s.size() && m_s[i + 1] == u'/')
    flags |= kSlashFollows;
  for (size_t j = i + 1; j < m_s.size() && (isPlaceholder(m_s[j]) || m_s[j] == u'/'); ++j) {
    if (m_s[j] == u'?') {
      flags |= kQuestionFollows;
      break;
    }
  }
  size_t first = i, last = i;
  while (first > 0 && isPlaceholder(m_s[first - 1]))
    --first;
  while (last + 1 < m_s.size() && isPlaceholder(m_s[last + 1]))
    ++last;
  if (m_s.substr(first, last - first + 1).find(u'?') != std::u16string_view::npos)
    flags |= kQuestionInRun;
  token(TokenKind::Digit, flags, c, static_cast<std::uint32_t>(m_digits));
}

void SectionCompiler::dateLetter(size_t &i) {
  const size_t run = letterRun(m_s, i);
  auto dateToken = [&](TokenKind kind, size_t consumed, std::uint8_t width) {
    token(kind, width);
    m_out.hasDateTime = true;
    i += consumed;
  };
  switch (asciiUpper(m_s[i])) {
  case u'D':
    m_lastDateWasHour = false;
    if (run >= 3)
      dateToken(TokenKind::DayName, std::min<size_t>(run, 4), run >= 4 ? 4 : 3);
    else
      dateToken(TokenKind::Day, run, static_cast<std::uint8_t>(run));
    return;
  case u'Y':
    m_lastDateWasHour = false;
    if (run == 1) {
      literal(m_s.substr(i, 1));
      ++i;
    } else {
      // "yyy" reads as the four-digit year, as other spreadsheets do.
      dateToken(TokenKind::Year, std::min<size_t>(run, 4), run >= 3 ? 4 : 2);
    }
    return;
  case u'H':
    m_lastDateWasHour = true;
    dateToken(TokenKind::Hour, std::min<size_t>(run, 2), run >= 2 ? 2 : 1);
    return;
  case u'M':
    if (run >= 3) {
      dateToken(TokenKind::MonthName, std::min<size_t>(run, 5),
                static_cast<std::uint8_t>(std::min<size_t>(run, 5)));
    } else {
      const bool minute = m_lastDateWasHour || nextDateLetterIsSecond(m_s, i + run, m_patterns);
      dateToken(minute ? TokenKind::Minute : TokenKind::Month, run, static_cast<std::uint8_t>(run));
    }
    m_lastDateWasHour = false;
    return;
  case u'S': {
    m_lastDateWasHour = false;
    const size_t consumed = std::min<size_t>(run, 2);
    size_t j = i + consumed;
    std::uint32_t decimals = 0;
    if (j + 1 < m_s.size() && m_s[j] == u'.' && m_s[j + 1] == u'0') {
      ++j;
      while (j < m_s.size() && m_s[j] == u'0' && decimals < 3) {
        ++j;
        ++decimals;
      }
    }
    token(TokenKind::Second, static_cast<std::uint8_t>(consumed), 0, 0, decimals);
    m_out.hasDateTime = true;
    m_out.secondDecimals = std::max(m_out.secondDecimals, static_cast<int>(decimals));
    i = j;
    return;
  }
  default:
    literal(m_s.substr(i, 1));
    ++i;
  }
}

void SectionCompiler::run() {
  const size_t n = m_s.size();
  size_t i = 0;
  while (i < n) {
    const char16_t c = m_s[i];
    bool wasPlaceholder = false;
    if (c == u'"') {
      const size_t close = m_s.find(u'"', i + 1);
      const size_t end = close == std::u16string_view::npos ? n : close;
      literal(m_s.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == u'\\') {
      if (i + 1 < n)
        literal(m_s.substr(i + 1, 1));
      i += 2;
    } else if (c == u'_') {
      literal(u" ");
      i += 2;
    } else if (c == u'*') {
      if (i + 1 < n) {
        token(TokenKind::Fill, 0, m_s[i + 1]);
        m_out.hasFill = true;
      }
      i += 2;
    } else if (const int k = matchAmPm(m_s, i, m_patterns); k >= 0) {
      const AmPmPattern &p = m_patterns[static_cast<size_t>(k)];
      token(TokenKind::AmPm, 0, static_cast<char16_t>(p.pm.size()),
            static_cast<std::uint32_t>(m_out.pool.size()), static_cast<std::uint32_t>(p.am.size()));
      m_out.pool += p.am;
      m_out.pool += p.pm;
      m_out.hasAmPm = true;
      m_out.hasDateTime = true;
      i += p.pattern.size();
    } else if (isPlaceholder(c)) {
      placeholder(i);
      wasPlaceholder = true;
      ++i;
    } else if (c == u'.') {
      if (m_pointDigits < 0)
        m_pointDigits = m_digits;
      token(TokenKind::DecimalPoint);
      ++i;
    } else if (c == u',') {
      const bool nextPlaceholder = i + 1 < n && isPlaceholder(m_s[i + 1]);
      if (!m_prevPlaceholder)
        literal(u",");
      else if (nextPlaceholder)
        m_out.thousands = true; // grouping is written by digit position
      else
        ++m_out.scaleCount;
      ++i;
    } else if ((c == u'E' || c == u'e') && m_prevPlaceholder &&
               (m_prevPlaceholderChar == u'0' || m_prevPlaceholderChar == u'#') && i + 1 < n &&
               (m_s[i + 1] == u'+' || m_s[i + 1] == u'-')) {
      if (!m_out.scientific) {
        m_out.scientific = true;
        m_eDigits = m_digits;
      }
      literal(m_s.substr(i, 1));
      token(TokenKind::ExponentSign, 0, m_s[i + 1]);
      i += 2;
    } else if (c == u'%') {
      ++m_out.percentCount;
      literal(u"%");
      ++i;
    } else if (c == u'/') {
      m_out.fraction = true;
      m_out.numeratorPlaces = m_prevPlaceholder ? m_digits - m_runStart : 0;
      m_numeratorStart = m_prevPlaceholder ? m_runStart : m_digits;
      int after = 0;
      for (size_t j = i + 1; j < n && isPlaceholder(m_s[j]); ++j)
        ++after;
      m_out.denominatorPlaces = after;
      token(TokenKind::Slash);
      ++i;
    } else if (c == u'[') {
      size_t j = i + 1;
      while (j < n && j < i + 3 && m_s[j] != u']')
        ++j;
      if (j < n && m_s[j] == u']' && isElapsedBracket(m_s.substr(i + 1, j - i - 1))) {
        const char16_t letter = asciiUpper(m_s[i + 1]);
        const TokenKind kind = letter == u'H'   ? TokenKind::ElapsedHours
                               : letter == u'M' ? TokenKind::ElapsedMinutes
                                                : TokenKind::ElapsedSeconds;
        token(kind, static_cast<std::uint8_t>(j - i - 1));
        m_out.hasDateTime = true;
        m_lastDateWasHour = letter == u'H';
        i = j + 1;
      } else {
        literal(u"[");
        ++i;
      }
    } else if (c == u'@') {
      token(TokenKind::Text);
      m_out.needsValue = true;
      ++i;
    } else if (m_s.substr(i).starts_with(u"General")) {
      token(TokenKind::General);
      m_out.needsValue = true;
      i += 7;
    } else {
      dateLetter(i);
    }
    m_prevPlaceholder = wasPlaceholder;
    if (wasPlaceholder)
      m_prevPlaceholderChar = c;
  }
  finishCounts();
}

void SectionCompiler::finishCounts() {
  CompiledSection &cs = m_out;
  cs.totalPlaces = m_digits;
  if (cs.fraction) {
    cs.integerPlaces = m_numeratorStart;
    cs.numeratorPlaces = std::min(cs.numeratorPlaces, m_digits - cs.integerPlaces);
  } else {
    int integerEnd = m_digits;
    if (m_pointDigits >= 0)
      integerEnd = std::min(integerEnd, m_pointDigits);
    if (cs.scientific)
      integerEnd = std::min(integerEnd, m_eDigits);
    const int decimalEnd = cs.scientific ? std::max(m_eDigits, integerEnd) : m_digits;
    cs.integerPlaces = integerEnd;
    cs.decimalPlaces = decimalEnd - integerEnd;
    cs.exponentPlaces = m_digits - decimalEnd;
  }
  for (const Token &t : cs.tokens) {
    if (t.kind == static_cast<std::uint8_t>(TokenKind::Digit) &&
        static_cast<int>(t.pos) <= cs.integerPlaces) {
      cs.zeroPlaces += t.ch == u'0';
      cs.hashPlaces += t.ch == u'#';
    }
  }
}

void compileSection(std::u16string_view text, const AmPmPatterns &patterns, CompiledSection &out) {
  SectionCompiler(text, patterns, out).run();
}

const CompiledSection &generalSection() {
  static const CompiledSection section = [] {
    CompiledSection s;
    s.tokens.push_back({static_cast<std::uint8_t>(TokenKind::General), 0, 0, 0, 0});
    s.needsValue = true;
    return s;
  }();
  return section;
}

} // namespace

CompiledFormat compileFormat(std::u16string_view code, const platform::LocaleStrings &locale) {
  CompiledFormat f;
  f.sections = parseSections(code);
  AmPmPatterns patterns = amPmPatterns(locale);
  for (size_t k = 0; k < f.sections.size(); ++k)
    if (f.sections[k].kind >= SectionKind::Plain)
      compileSection(f.sections[k].text, patterns, f.compiled[k]);
  return f;
}

// ---------------------------------------------------------------------------
// Rendering

namespace {

struct RenderContext {
  const platform::LocaleStrings &locale;
  bool date1904;
  bool fitting; // a width is given: General shrinks, '*' fills
  int availableWidth;
  const platform::TextMetrics &metrics;
  const platform::FontSpec &font;

  int width(std::u16string_view s) const { return metrics.textWidthPx(font, s); }
};

RenderContext makeContext(const FormatOptions &o) {
  return RenderContext{o.locale ? *o.locale : platform::localeStrings(),
                       o.date1904,
                       o.availableWidthPx.has_value(),
                       o.availableWidthPx.value_or(0),
                       o.metrics ? *o.metrics : platform::textMetrics(),
                       o.font};
}

// v in the exponent form of General: one digit before the separator, the
// rest after it, and an exponent with a sign and at least three digits.
void putExponentForm(std::u16string &out, const Decimal &v, std::u16string_view separator) {
  auto digit = [&](int i) { return static_cast<char16_t>(u'0' + v.d[static_cast<unsigned>(i)]); };
  putChar(out, v.count > 0 ? digit(0) : u'0');
  if (v.count > 1) {
    putText(out, separator);
    for (int i = 1; i < v.count; ++i)
      putChar(out, digit(i));
  }
  const int x = v.count > 0 ? v.exponent : 0;
  putChar(out, u'E');
  putChar(out, x < 0 ? u'-' : u'+');
  putNumber(out, x < 0 ? -x : x, 3);
}

// The General digits of v, already cut to `precision` significant digits:
// fixed unless the exponent is below -4 or reaches the precision.
void putGeneralDigits(std::u16string &out, const Decimal &v, int precision,
                      std::u16string_view separator) {
  if (v.count == 0) {
    putChar(out, u'0');
    return;
  }
  auto digit = [&](int i) { return static_cast<char16_t>(u'0' + v.d[static_cast<unsigned>(i)]); };
  const int x = v.exponent;
  if (x < -4 || x >= precision) {
    putExponentForm(out, v, separator);
  } else if (x < 0) {
    putChar(out, u'0');
    putText(out, separator);
    for (int i = 0; i < -x - 1; ++i)
      putChar(out, u'0');
    for (int i = 0; i < v.count; ++i)
      putChar(out, digit(i));
  } else {
    for (int i = 0; i <= x; ++i)
      putChar(out, i < v.count ? digit(i) : u'0');
    if (v.count > x + 1) {
      putText(out, separator);
      for (int i = x + 1; i < v.count; ++i)
        putChar(out, digit(i));
    }
  }
}

// General of a non-negative x. With a width, the text shrinks until it fits
// what is left after the text already written: a fixed text loses decimals
// one at a time; a whole number still too wide turns to the exponent form,
// because a digit run cut at the cell's edge reads as another number; an
// exponent text loses significant digits. What cannot shrink enough is left
// too wide, for the caller to replace.
void putGeneral(std::u16string &out, double x, const RenderContext &ctx) {
  if (!std::isfinite(x)) {
    putText(out, u"#NUM!");
    return;
  }
  const std::u16string_view separator = ctx.locale.decimalSeparator;
  const size_t start = out.size();
  const Decimal digits = detail::toDecimal(x, 15);
  putGeneralDigits(out, digits, 15, separator);
  if (!ctx.fitting)
    return;
  const int space = ctx.availableWidth - ctx.width(std::u16string_view(out).substr(0, start));
  auto fits = [&] { return ctx.width(std::u16string_view(out).substr(start)) <= space; };
  if (fits())
    return;
  // Fewer significant digits than the number has change nothing, so the
  // exponent form starts at the digits it has.
  int precision = std::min(15, digits.count);
  const std::u16string_view text = std::u16string_view(out).substr(start);
  if (text.find(u'E') == std::u16string_view::npos) {
    Decimal v = digits;
    for (;;) {
      const std::u16string_view tail = std::u16string_view(out).substr(start);
      const size_t point = separator.empty() ? std::u16string_view::npos : tail.find(separator);
      if (point == std::u16string_view::npos)
        break;
      // Each try rounds the number itself, never the previous try.
      const int shown = static_cast<int>(tail.size() - point - separator.size());
      v = digits;
      detail::roundAtPlace(v, -(shown - 1));
      out.resize(start);
      putGeneralDigits(out, v, 15, separator);
      if (fits())
        return;
    }
    // Only a whole number of at least two digits gets shorter in exponent form.
    if (v.count == 0 || v.exponent < 1)
      return;
    ++precision;
  }
  while (precision > 1) {
    --precision;
    out.resize(start);
    putExponentForm(out, detail::toDecimal(x, precision), separator);
    if (fits())
      return;
  }
}

struct DateParts {
  long long year = 0;
  int month = 0;
  int day = 0;
  int weekday = 0; // 0 Monday
  int hour = 0;    // as shown: 1-12 with AM/PM
  int hour24 = 0;
  int minute = 0;
  int second = 0;
  long long fraction = 0; // parts of a second in units of 10^-secondDecimals
  bool pm = false;
  double days = 0; // whole days, for elapsed time
};

// Days since 1970-01-01 to a proleptic Gregorian date.
// Reference: H. Hinnant, "chrono-Compatible Low-Level Date Algorithms", civil_from_days.
void civilFromDays(long long z, long long &y, int &m, int &d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

DateParts datePartsOf(double x, const CompiledSection &cs, bool date1904) {
  DateParts p;
  double days = std::trunc(x);
  long long unit = 1;
  for (int i = 0; i < cs.secondDecimals; ++i)
    unit *= 10;
  const long long perDay = 86400 * unit;
  long long total =
      static_cast<long long>(std::floor((x - days) * static_cast<double>(perDay) + 0.5));
  if (total >= perDay) {
    // 23:59:59.9999 rounds into the next day rather than showing hour 24.
    total -= perDay;
    days += 1;
  }
  total = std::max(total, 0LL);
  p.days = days;
  p.fraction = total % unit;
  const long long seconds = total / unit;
  p.hour24 = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds % 3600 / 60);
  p.second = static_cast<int>(seconds % 60);
  p.pm = p.hour24 >= 12;
  p.hour = p.hour24;
  if (cs.hasAmPm)
    p.hour = p.hour24 % 12 == 0 ? 12 : p.hour24 % 12;

  const long long serial =
      static_cast<long long>(std::min(days, kMaxDateSerial)) + (date1904 ? 1462 : 0);
  p.weekday = static_cast<int>((serial + 5) % 7);
  if (serial == 60) {
    // The 1900 system keeps the leap day that 1900 never had.
    p.year = 1900, p.month = 2, p.day = 29;
  } else {
    // Serial 61 is 1 March 1900 = 25569 days before 1970; below 60 the phantom
    // leap day shifts everything by one.
    civilFromDays(serial - 25569 + (serial < 60 ? 1 : 0), p.year, p.month, p.day);
  }
  return p;
}

// The digits the placeholders show, worked out once per value.
struct NumberParts {
  Decimal value; // the rounded number, or the whole part of a fraction
  int integerLength = 0;
  int significantDecimals = 0;
  char16_t exponentDigits[8] = {};
  int exponentLength = 0;
  bool exponentNegative = false;
  Decimal numerator;
  int numeratorLength = 0;
  Decimal denominator;
  int denominatorLength = 0;
  bool denominatorZero = false; // the whole number stands alone
};

double scaled(double x, const CompiledSection &cs) {
  for (int i = 0; i < cs.percentCount && std::isfinite(x); ++i)
    x *= 100;
  for (int i = 0; i < cs.scaleCount && x != 0; ++i)
    x *= 0.001;
  return x;
}

// Picks the denominator up to 10^places - 1 whose fraction is nearest to f,
// preferring the smallest on ties.
double bestDenominator(double f, int places) {
  if (places <= 0)
    return 1;
  if (places <= 4) {
    int bound = 1;
    for (int i = 0; i < places; ++i)
      bound *= 10;
    --bound;
    double best = 2;
    double bestError = std::fabs(f - std::floor(2 * f + 0.5) / 2);
    for (int d = 3; d <= bound && bestError != 0; ++d) {
      const double error = std::fabs(f - std::floor(d * f + 0.5) / d);
      if (error < bestError)
        best = d, bestError = error;
    }
    return best;
  }
  // Longer denominators: a linear search would take too long, so follow the
  // continued fraction of f to its best approximation within the bound.
  long long maxD = 1;
  for (int i = 0; i < std::min(places, 9); ++i)
    maxD *= 10;
  --maxD;
  long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
  double r = f;
  for (int iter = 0; iter < 64; ++iter) {
    const double a = std::floor(r);
    if (a > 1e15)
      break;
    const long long ai = static_cast<long long>(a);
    if (q1 != 0 && ai > (maxD - q0) / q1) {
      const long long k = (maxD - q0) / q1;
      const long long pk = p0 + k * p1, qk = q0 + k * q1;
      const double e1 = std::fabs(f - static_cast<double>(p1) / static_cast<double>(q1));
      const double ek = std::fabs(f - static_cast<double>(pk) / static_cast<double>(qk));
      return static_cast<double>(ek < e1 ? qk : q1);
    }
    const long long p2 = p0 + ai * p1, q2 = q0 + ai * q1;
    p0 = p1, q0 = q1, p1 = p2, q1 = q2;
    const double rest = r - a;
    if (rest <= 0)
      break;
    r = 1 / rest;
  }
  return static_cast<double>(std::max(q1, 1LL));
}

NumberParts numberPartsOf(double x, const CompiledSection &cs) {
  NumberParts parts;
  if (cs.fraction) {
    double xs = scaled(x, cs);
    if (!std::isfinite(xs))
      xs = std::numeric_limits<double>::max();
    double whole = std::trunc(xs);
    const double f = xs - whole;
    double n = 0;
    double d = 0;
    if (f != 0) {
      d = bestDenominator(f, cs.denominatorPlaces);
      n = std::floor(d * f + 0.5);
      if (n >= d) {
        // Within half a step of 1: carry into the whole number.
        whole += 1;
        n = 0;
      }
    }
    if (n == 0)
      d = cs.integerPlaces == 0 ? 1 : 0;
    if (cs.integerPlaces == 0)
      n += whole * d; // no integer placeholders: an improper fraction
    parts.value = detail::toDecimal(whole, 15);
    parts.integerLength = parts.value.integerLength();
    parts.denominatorZero = d == 0;
    if (parts.denominatorZero && parts.integerLength == 0)
      parts.integerLength = 1; // zero shows as "0", not as blanks
    parts.numerator = detail::toDecimal(n, 15);
    parts.numeratorLength = parts.numerator.integerLength();
    if (parts.numeratorLength == 0 && cs.integerPlaces == 0)
      parts.numeratorLength = 1; // "?/?" shows zero as 0/1
    parts.denominator = detail::toDecimal(d, 15);
    parts.denominatorLength = parts.denominator.integerLength();
    return parts;
  }

  Decimal v = detail::toDecimal(x, 15);
  if (v.count > 0)
    v.exponent += 2 * cs.percentCount - 3 * cs.scaleCount;
  int exponent = 0;
  if (cs.scientific && v.count > 0) {
    const bool engineering = cs.hashPlaces > 0;
    const int e = v.exponent;
    const int zeros = std::max(cs.zeroPlaces, 1);
    auto floorDiv3 = [](int a) { return a >= 0 ? a / 3 : -((-a + 2) / 3); };
    exponent = engineering ? 3 * floorDiv3(e - zeros + 1) : e - cs.integerPlaces + 1;
    // The first place the mantissa may not reach; rounding up to it moves the
    // exponent on, so 9.999 shows as 1.00E+01 and not 10.00E+00.
    const int limit = engineering ? zeros + 2 : cs.integerPlaces;
    Decimal m = v;
    m.exponent -= exponent;
    detail::roundAtPlace(m, -cs.decimalPlaces);
    if (m.count > 0 && m.exponent >= limit) {
      exponent += engineering ? 3 : 1;
      m = v;
      m.exponent -= exponent;
      detail::roundAtPlace(m, -cs.decimalPlaces);
    }
    v = m;
  } else {
    detail::roundAtPlace(v, -cs.decimalPlaces);
  }
  parts.value = v;
  parts.integerLength = v.integerLength();
  if (v.count > 0) {
    const int lastPlace = v.exponent - (v.count - 1);
    parts.significantDecimals = lastPlace < 0 ? -lastPlace : 0;
  }
  if (exponent != 0) {
    parts.exponentNegative = exponent < 0;
    int e = exponent < 0 ? -exponent : exponent;
    char16_t reversed[8];
    int n = 0;
    while (e > 0 && n < 8) {
      reversed[n++] = static_cast<char16_t>(u'0' + e % 10);
      e /= 10;
    }
    for (int i = 0; i < n; ++i)
      parts.exponentDigits[i] = reversed[n - 1 - i];
    parts.exponentLength = n;
  }
  return parts;
}

class SectionRenderer {
public:
  SectionRenderer(const CompiledSection &cs, double x, const RenderContext &ctx,
                  std::u16string &out)
      : m_cs(cs), m_x(x), m_ctx(ctx), m_out(out) {}

  void run();

private:
  void pad(char16_t placeholder) {
    if (placeholder == u'0')
      putChar(m_out, u'0');
    else if (placeholder == u'?')
      putChar(m_out, u' ');
  }
  void integerDigit(int index, char16_t placeholder);
  void placeholder(const Token &t, size_t &next);
  void dateToken(const Token &t);

  const CompiledSection &m_cs;
  double m_x;
  const RenderContext &m_ctx;
  std::u16string &m_out;
  NumberParts m_parts;
  DateParts m_date;
};

// Writes integer digit `index` (0 = leftmost) or the placeholder's padding
// when the number has no such digit, then a group separator when whole
// groups of three integer positions remain to its right.
void SectionRenderer::integerDigit(int index, char16_t placeholder) {
  const int length = m_parts.integerLength;
  int remaining;
  if (index >= 0) {
    putChar(m_out, static_cast<char16_t>(u'0' + m_parts.value.digitAt(length - 1 - index)));
    remaining = length - 1 - index;
  } else {
    pad(placeholder);
    if (placeholder != u'0')
      return;
    remaining = length - 1 - index;
  }
  if (m_cs.thousands && remaining > 0 && remaining % 3 == 0)
    putText(m_out, m_ctx.locale.thousandsSeparator);
}

void SectionRenderer::placeholder(const Token &t, size_t &next) {
  const int p = static_cast<int>(t.pos);
  const char16_t ch = t.ch;
  const int ip = m_cs.integerPlaces;
  const NumberParts &np = m_parts;
  if (p <= ip) {
    const int length = np.integerLength;
    if (p == 1 && length >= ip) {
      // Digits without a placeholder of their own all go here: integers are
      // never cut.
      const int run = length - ip + 1;
      for (int j = 0; j < run && m_out.size() < kMaxResultLength; ++j)
        integerDigit(j, ch);
    } else {
      integerDigit(length - ip + p - 1, ch);
    }
    return;
  }
  if (!m_cs.fraction) {
    const int k = p - ip;
    if (k <= m_cs.decimalPlaces) {
      if (k > np.significantDecimals)
        pad(ch);
      else
        putChar(m_out, static_cast<char16_t>(u'0' + np.value.digitAt(-k)));
      return;
    }
    const int m = k - m_cs.decimalPlaces;
    const int places = m_cs.exponentPlaces;
    const int length = np.exponentLength;
    if (m == 1) {
      if (length >= places) {
        for (int j = 0; j < length - places + 1; ++j)
          putChar(m_out, np.exponentDigits[j]);
      } else {
        pad(ch);
      }
    } else {
      const int index = length - places + m - 1;
      if (index >= 0 && index < length)
        putChar(m_out, np.exponentDigits[index]);
      else
        pad(ch);
    }
    return;
  }

  auto digitOf = [](const Decimal &d, int length, int index) {
    return static_cast<char16_t>(u'0' + d.digitAt(length - 1 - index));
  };
  auto swallowSlash = [&](bool asSpace) {
    if (next < m_cs.tokens.size() &&
        m_cs.tokens[next].kind == static_cast<std::uint8_t>(TokenKind::Slash)) {
      ++next;
      if (asSpace)
        putChar(m_out, u' ');
    }
  };
  const int k = p - ip;
  if (k <= m_cs.numeratorPlaces) {
    if (np.denominatorZero) {
      // The whole number stands alone: keep the width of the fraction blank.
      if (ch == u'?') {
        putChar(m_out, u' ');
        if (t.width & kSlashFollows)
          swallowSlash(true);
      } else if (ch == u'0') {
        putChar(m_out, u'0');
      } else {
        const bool keepWidth = t.width & kQuestionFollows;
        if (keepWidth)
          putChar(m_out, u' ');
        if (t.width & kSlashFollows)
          swallowSlash(keepWidth);
      }
      return;
    }
    const int length = np.numeratorLength;
    const int places = m_cs.numeratorPlaces;
    if (length > places) {
      // A numerator wider than its placeholders is widened, never cut.
      if (k == 1) {
        for (int j = 0; j < length - places + 1; ++j)
          putChar(m_out, digitOf(np.numerator, length, j));
      } else {
        putChar(m_out, digitOf(np.numerator, length, length - places + k - 1));
      }
    } else if (k <= length) {
      putChar(m_out, digitOf(np.numerator, length, k - 1));
    } else {
      pad(ch);
    }
    return;
  }
  if (np.denominatorZero) {
    if (!m_out.empty() && m_out.back() == u'/')
      putChar(m_out, u'1');
    else if (t.width & kQuestionInRun)
      putChar(m_out, u' ');
    return;
  }
  const int remaining = m_cs.totalPlaces - p + 1;
  const int length = np.denominatorLength;
  if (remaining > length)
    pad(ch);
  else
    putChar(m_out, digitOf(np.denominator, length, length - remaining));
}

void SectionRenderer::dateToken(const Token &t) {
  const DateParts &d = m_date;
  const platform::LocaleStrings &loc = m_ctx.locale;
  const int two = t.width >= 2 ? 2 : 1;
  switch (static_cast<TokenKind>(t.kind)) {
  case TokenKind::Day:
    putNumber(m_out, d.day, two);
    break;
  case TokenKind::DayName:
    putText(m_out, t.width >= 4 ? loc.dayNames[static_cast<size_t>(d.weekday)]
                                : loc.dayAbbreviations[static_cast<size_t>(d.weekday)]);
    break;
  case TokenKind::Month:
    putNumber(m_out, d.month, two);
    break;
  case TokenKind::MonthName: {
    const size_t m = static_cast<size_t>(d.month - 1);
    if (t.width == 3)
      putText(m_out, loc.monthAbbreviations[m]);
    else if (t.width == 4)
      putText(m_out, loc.monthNames[m]);
    else
      putText(m_out, firstLetter(loc.monthNames[m]));
    break;
  }
  case TokenKind::Minute:
    putNumber(m_out, d.minute, two);
    break;
  case TokenKind::Year:
    if (t.width == 2)
      putNumber(m_out, d.year % 100, 2);
    else
      putNumber(m_out, d.year, 4);
    break;
  case TokenKind::Hour:
    putNumber(m_out, d.hour, two);
    break;
  case TokenKind::Second: {
    putNumber(m_out, d.second, two);
    if (t.len > 0) {
      putText(m_out, loc.decimalSeparator);
      // The time was rounded to the finest fraction in the section; a coarser
      // token shows the leading digits of it.
      long long f = d.fraction;
      for (int i = static_cast<int>(t.len); i < m_cs.secondDecimals; ++i)
        f /= 10;
      putNumber(m_out, f, static_cast<int>(t.len));
    }
    break;
  }
  case TokenKind::ElapsedHours:
    putWhole(m_out, d.days * 24 + d.hour24, two);
    break;
  case TokenKind::ElapsedMinutes:
    putWhole(m_out, (d.days * 24 + d.hour24) * 60 + d.minute, two);
    break;
  case TokenKind::ElapsedSeconds:
    putWhole(m_out, ((d.days * 24 + d.hour24) * 60 + d.minute) * 60 + d.second, two);
    break;
  case TokenKind::AmPm:
    putText(m_out, std::u16string_view(m_cs.pool).substr(d.pm ? t.pos + t.len : t.pos,
                                                         d.pm ? t.ch : t.len));
    break;
  default:
    break;
  }
}

void SectionRenderer::run() {
  if (m_cs.hasDateTime)
    m_date = datePartsOf(m_x, m_cs, m_ctx.date1904);
  if (m_cs.totalPlaces > 0)
    m_parts = numberPartsOf(m_x, m_cs);
  const double xs = m_cs.needsValue ? scaled(m_x, m_cs) : 0;
  size_t fillPos = std::u16string::npos;
  char16_t fillChar = 0;
  const std::u16string_view pool = m_cs.pool;
  const auto &tokens = m_cs.tokens;
  for (size_t i = 0; i < tokens.size() && m_out.size() < kMaxResultLength;) {
    const Token &t = tokens[i++];
    switch (static_cast<TokenKind>(t.kind)) {
    case TokenKind::Literal:
      putText(m_out, pool.substr(t.pos, t.len));
      break;
    case TokenKind::Fill:
      fillChar = t.ch;
      fillPos = m_out.size();
      break;
    case TokenKind::DecimalPoint:
      putText(m_out, m_ctx.locale.decimalSeparator);
      break;
    case TokenKind::ExponentSign:
      if (t.ch == u'+' || m_parts.exponentNegative)
        putChar(m_out, m_parts.exponentNegative ? u'-' : u'+');
      break;
    case TokenKind::Digit:
      placeholder(t, i);
      break;
    case TokenKind::Slash:
      putChar(m_out, u'/');
      break;
    case TokenKind::Text: {
      const RenderContext plain{m_ctx.locale, m_ctx.date1904, false, 0, m_ctx.metrics, m_ctx.font};
      putGeneral(m_out, xs, plain);
      break;
    }
    case TokenKind::General:
      putGeneral(m_out, xs, m_ctx);
      break;
    default:
      dateToken(t);
    }
  }
  if (m_ctx.fitting && fillPos != std::u16string::npos) {
    const int fillWidth = m_ctx.width(std::u16string_view(&fillChar, 1));
    if (fillWidth > 0) {
      const long long count = std::min<long long>(
          (static_cast<long long>(m_ctx.availableWidth) - m_ctx.width(m_out)) / fillWidth,
          static_cast<long long>(kMaxResultLength - m_out.size()));
      if (count > 0)
        m_out.insert(fillPos, static_cast<size_t>(count), fillChar);
    }
  }
}

enum class Choice { Section0, Section1, Section2, General, Empty };

struct SectionChoice {
  Choice choice;
  bool sign;
};

// Picks the section for x from the kinds of the first three sections and
// their conditions, including the rare shapes (empty first sections,
// conditions in the second).
SectionChoice chooseSection(const FormatSections &s, double x) {
  const SectionKind k0 = s[0].kind, k1 = s[1].kind, k2 = s[2].kind;
  const bool neg = x < 0;
  const bool c2 = compareCondition(s[1].op, s[1].value, x);
  using K = SectionKind;
  // The shared tail: the third section, General or nothing, by the third's kind.
  auto byThird = [&](bool sign) -> SectionChoice {
    if (k2 == K::Absent)
      return {Choice::General, sign};
    if (k2 == K::Empty)
      return {Choice::Empty, false};
    return {Choice::Section2, sign};
  };
  switch (k0) {
  case K::Absent:
    return {Choice::General, neg};
  case K::Empty:
    if (x > 0)
      return {Choice::Empty, false};
    if (x == 0) {
      if (k1 == K::Empty || k1 == K::Plain)
        return {k2 == K::Plain ? Choice::Section2 : Choice::Empty, false};
      return c2 ? SectionChoice{Choice::Empty, false} : byThird(false);
    }
    if (k1 == K::Empty)
      return {Choice::Empty, false};
    if (k1 == K::Plain)
      return {Choice::Section1, false};
    return c2 ? SectionChoice{Choice::Empty, false} : byThird(true);
  case K::Plain:
    if (x > 0)
      return {Choice::Section0, false};
    if (x == 0) {
      if (k1 == K::Absent)
        return {Choice::Section0, false};
      if (k1 == K::Empty || k1 == K::Plain) {
        if (k2 == K::Absent)
          return {Choice::Section0, false};
        return byThird(false);
      }
      return c2 ? SectionChoice{Choice::Section1, false} : byThird(false);
    }
    if (k1 == K::Absent)
      return {Choice::Section0, true};
    if (k1 == K::Empty)
      return {Choice::Empty, false};
    if (k1 == K::Plain)
      return {Choice::Section1, false};
    return c2 ? SectionChoice{Choice::Section1, true} : byThird(true);
  case K::Conditional:
    if (compareCondition(s[0].op, s[0].value, x))
      return {Choice::Section0, neg};
    if (k1 == K::Absent)
      return {Choice::General, neg};
    if (k1 == K::Empty)
      return {(x >= 0 && k2 == K::Plain) ? Choice::Section2 : Choice::Empty, false};
    if (k1 == K::Plain) {
      if (x >= 0 && k2 != K::Absent)
        return {k2 == K::Empty ? Choice::Empty : Choice::Section2, false};
      return {Choice::Section1, false};
    }
    return c2 ? SectionChoice{Choice::Section1, neg} : byThird(neg);
  }
  return {Choice::Empty, false};
}

} // namespace

void formatNumber(double value, const CompiledFormat &format, const FormatOptions &options,
                  FormatResult &out) {
  out.text.clear();
  out.colour = kNoColour;
  if (!std::isfinite(value)) {
    out.text = u"#NUM!";
    return;
  }
  const SectionChoice c = chooseSection(format.sections, value);
  if (c.choice == Choice::Empty)
    return;
  const CompiledSection *section = &generalSection();
  if (c.choice != Choice::General) {
    const size_t index = static_cast<size_t>(c.choice);
    section = &format.compiled[index];
    out.colour = format.sections[index].colour;
  }
  if (c.sign)
    putChar(out.text, u'-');
  const RenderContext ctx = makeContext(options);
  SectionRenderer(*section, std::fabs(value), ctx, out.text).run();
}

FormatResult formatNumber(double value, const CompiledFormat &format,
                          const FormatOptions &options) {
  FormatResult r;
  formatNumber(value, format, options, r);
  return r;
}

FormatResult formatNumber(double value, std::u16string_view code, const FormatOptions &options) {
  const CompiledFormat format =
      compileFormat(code, options.locale ? *options.locale : platform::localeStrings());
  return formatNumber(value, format, options);
}

std::u16string_view fitNumberText(std::u16string_view text, int availableWidthPx,
                                  const platform::TextMetrics &metrics,
                                  const platform::FontSpec &font, std::u16string &scratch) {
  if (metrics.textWidthPx(font, text) <= availableWidthPx)
    return text;
  const int hashWidth = metrics.textWidthPx(font, u"#");
  const int count = hashWidth > 0 && availableWidthPx > 0 ? availableWidthPx / hashWidth : 0;
  scratch.assign(static_cast<size_t>(std::min(count, static_cast<int>(kMaxResultLength))), u'#');
  // Measured whole, as a font with fractional advances may make the run
  // wider than its count of single widths.
  while (!scratch.empty() && metrics.textWidthPx(font, scratch) > availableWidthPx)
    scratch.pop_back();
  return scratch;
}

FormatResult formatText(std::optional<std::u16string_view> text, const CompiledFormat &format,
                        const FormatOptions &options) {
  FormatResult r;
  const FormatSection &section = format.sections[3];
  if (section.kind == SectionKind::Absent || section.kind == SectionKind::Empty) {
    r.text = text.value_or(std::u16string_view());
    return r;
  }
  r.colour = section.colour;
  const std::u16string_view value = text.value_or(std::u16string_view());
  const std::u16string_view s = section.text;
  // Room for the text itself on top of the usual limit.
  const size_t limit = kMaxResultLength + value.size();
  std::u16string &out = r.text;
  auto put = [&](std::u16string_view t) {
    if (out.size() < limit)
      out.append(t.substr(0, limit - out.size()));
  };
  size_t fillPos = std::u16string::npos;
  char16_t fillChar = 0;
  for (size_t i = 0; i < s.size();) {
    const char16_t c = s[i];
    if (c == u'"') {
      const size_t close = s.find(u'"', i + 1);
      const size_t end = close == std::u16string_view::npos ? s.size() : close;
      put(s.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == u'@') {
      put(value);
      ++i;
    } else if (s.substr(i).starts_with(u"General")) {
      put(value); // "[Red]" alone leaves the text as it is, in red
      i += 7;
    } else if (c == u'\\') {
      if (i + 1 < s.size())
        put(s.substr(i + 1, 1));
      i += 2;
    } else if (c == u'_') {
      put(u" ");
      i += 2;
    } else if (c == u'*') {
      if (i + 1 < s.size()) {
        fillChar = s[i + 1];
        fillPos = out.size();
      }
      i += 2;
    } else {
      put(s.substr(i, 1));
      ++i;
    }
  }
  const RenderContext ctx = makeContext(options);
  if (ctx.fitting && fillPos != std::u16string::npos) {
    const int fillWidth = ctx.width(std::u16string_view(&fillChar, 1));
    if (fillWidth > 0) {
      const long long count = std::min<long long>(
          (static_cast<long long>(ctx.availableWidth) - ctx.width(out)) / fillWidth,
          static_cast<long long>(kMaxResultLength));
      if (count > 0)
        out.insert(fillPos, static_cast<size_t>(count), fillChar);
    }
  }
  return r;
}

FormatResult formatText(std::optional<std::u16string_view> text, std::u16string_view code,
                        const FormatOptions &options) {
  return formatText(
      text, compileFormat(code, options.locale ? *options.locale : platform::localeStrings()),
      options);
}

std::u16string generalText(double value, int significantDigits,
                           const platform::LocaleStrings &locale) {
  std::u16string out;
  generalText(value, significantDigits, locale, out);
  return out;
}

void generalText(double value, int significantDigits, const platform::LocaleStrings &locale,
                 std::u16string &out) {
  out.clear();
  if (!std::isfinite(value)) {
    out = u"#NUM!";
    return;
  }
  const int precision = std::clamp(significantDigits, 1, 17);
  if (value < 0)
    out.push_back(u'-');
  putGeneralDigits(out, detail::toDecimal(value, precision), precision, locale.decimalSeparator);
}

} // namespace numfmt
