// The text, logical and information functions. Text is UTF-16 and the
// character functions count code units; the byte variants (LENB, MIDB ...)
// count the bytes each character takes in the ANSI code page in force, so
// in a double-byte code page a Chinese character counts two.

#include "functions/families.h"
#include "functions/function_helpers.h"

#include "formula/text_value.h"
#include "model/sheet.h"
#include "model/workbook.h"
#include "model/workbook_list.h"
#include "numfmt/builtin_formats.h"
#include "numfmt/number_format.h"
#include "platform/code_page.h"
#include "platform/memory.h"
#include "platform/unicode.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace functions {
namespace {

/// The longest text a function may produce; longer results are #VALUE!, so
/// that REPT("x", 1E9) and its relatives cannot exhaust memory.
constexpr size_t kMaxTextLength = 32767;

void setText(CellValue& result, std::u16string text) {
  result = text.size() > kMaxTextLength ? CellValue::error(ErrorCode::Value)
                                        : CellValue::string(text);
}

void setError(CellValue& result, ErrorCode code) { result = CellValue::error(code); }

// `S` arguments arrive as strings; a missing optional one reads as "".
std::u16string_view textArg(const Arguments& args, int i) {
  return i < args.count && args[i].isString() ? std::u16string_view(args[i].stringValue())
                                              : std::u16string_view();
}

/// A count or position argument truncated toward zero and kept in a range
/// where arithmetic on it cannot overflow.
long long truncated(double x) {
  if (std::isnan(x))
    return 0;
  return static_cast<long long>(std::trunc(std::clamp(x, -4e9, 4e9)));
}

/// An undefined name is #NAME? wherever a value is inspected.
CellValue inspected(const CellValue& v) {
  return v.isNameText() ? CellValue::error(ErrorCode::Name) : v;
}

// x rounded to `decimals` places, halves away from zero. The scaled value is
// first taken to 15 significant digits, so 1.005 at two places is 1.01 as
// typed rather than 1.00 as stored in binary.
double roundHalfAway(double x, int decimals) {
  if (!std::isfinite(x) || decimals > 300)
    return x;
  const double scale = std::pow(10.0, std::abs(decimals));
  double y = decimals >= 0 ? x * scale : x / scale;
  if (!std::isfinite(y) || std::fabs(y) >= 1e15)
    return x;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", y);
  y = std::round(std::strtod(buf, nullptr));
  return decimals >= 0 ? y / scale : y * scale;
}

const platform::LocaleStrings& locale() { return platform::localeStrings(); }

numfmt::FormatOptions formatOptions(const EvalContext& ctx) {
  numfmt::FormatOptions o;
  o.date1904 = ctx.book && ctx.book->date1904 != 0;
  return o;
}

// ---- code page ----

bool isDoubleByteCodePage(int cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950; }

/// How many bytes each code unit takes in the code page; the second unit of
/// a surrogate pair takes none (the pair is one character, which a code page
/// writes as one "?").
std::vector<int> byteWidths(std::u16string_view text) {
  std::vector<int> widths(text.size(), 1);
  const int cp = platform::systemAnsiCodePage();
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    if (pair) {
      widths[i + 1] = 0;
      ++i;
      continue;
    }
    if (c < 0x80 || !isDoubleByteCodePage(cp))
      continue;
    std::string bytes;
    if (platform::fromUtf16(cp, text.substr(i, 1), bytes))
      widths[i] = std::max(1, static_cast<int>(bytes.size()));
  }
  return widths;
}

/// Code-unit index of the character that holds 0-based byte `b`; text.size()
/// when b is at or past the end.
size_t unitAtByte(const std::vector<int>& widths, long long b) {
  long long at = 0;
  for (size_t i = 0; i < widths.size(); ++i) {
    if (widths[i] == 0)
      continue;
    if (b < at + widths[i])
      return i;
    at += widths[i];
  }
  return widths.size();
}

long long byteOffsetOfUnit(const std::vector<int>& widths, size_t unit) {
  long long at = 0;
  for (size_t i = 0; i < unit && i < widths.size(); ++i)
    at += widths[i];
  return at;
}

/// The bytes [start, start + count) of the text as characters: a double-byte
/// character cut in half by either edge becomes a space, as it would on a
/// byte-oriented system.
std::u16string byteSlice(std::u16string_view text, long long start, long long count) {
  const std::vector<int> widths = byteWidths(text);
  std::u16string out;
  long long at = 0;
  const long long end = start + count;
  for (size_t i = 0; i < text.size(); ++i) {
    const int w = widths[i];
    if (w == 0)
      continue;
    const long long from = at, to = at + w;
    at = to;
    if (to <= start || from >= end)
      continue;
    if (from >= start && to <= end) {
      out += text[i];
      if (i + 1 < text.size() && widths[i + 1] == 0)
        out += text[i + 1];
    } else {
      out += u' ';
    }
  }
  return out;
}

long long byteLength(std::u16string_view text) {
  const std::vector<int> widths = byteWidths(text);
  return byteOffsetOfUnit(widths, widths.size());
}

// ---- searching ----

char16_t foldCase(char16_t c) {
  if (c < 0x80)
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  const std::u16string up = platform::toUpper(std::u16string_view(&c, 1));
  return up.size() == 1 ? up[0] : c;
}

// SEARCH's pattern: "*" any run, "?" one character, "~" makes the next "*",
// "?" or "~" literal. The shared wildcard matcher covers whole texts, while
// SEARCH wants the leftmost place where the pattern matches a prefix, so it
// has its own: the pieces between stars are found left to right, each at
// its first place. A later start can never succeed where an earlier one
// failed, so one pass decides, in pattern x text time.
struct PatternUnit {
  char16_t ch;
  bool any;
};
using Piece = std::vector<PatternUnit>;

std::vector<Piece> splitPattern(std::u16string_view pattern) {
  std::vector<Piece> pieces(1);
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'*') {
      pieces.emplace_back();
    } else if (c == u'?') {
      pieces.back().push_back({0, true});
    } else if (c == u'~' && i + 1 < pattern.size() &&
               (pattern[i + 1] == u'*' || pattern[i + 1] == u'?' || pattern[i + 1] == u'~')) {
      pieces.back().push_back({foldCase(pattern[++i]), false});
    } else {
      pieces.back().push_back({foldCase(c), false});
    }
  }
  return pieces;
}

bool pieceAt(const Piece& piece, const std::u16string& folded, size_t at) {
  if (at + piece.size() > folded.size())
    return false;
  for (size_t k = 0; k < piece.size(); ++k)
    if (!piece[k].any && piece[k].ch != folded[at + k])
      return false;
  return true;
}

size_t findPiece(const Piece& piece, const std::u16string& folded, size_t from) {
  for (size_t i = from; i + piece.size() <= folded.size(); ++i)
    if (pieceAt(piece, folded, i))
      return i;
  return std::u16string_view::npos;
}

/// 0-based position of the first match at or after `from`, or npos.
size_t searchText(std::u16string_view pattern, std::u16string_view text, size_t from) {
  std::u16string folded(text);
  for (char16_t& c : folded)
    c = foldCase(c);
  const std::vector<Piece> pieces = splitPattern(pattern);
  const size_t start = findPiece(pieces[0], folded, from);
  if (start == std::u16string_view::npos)
    return start;
  size_t at = start + pieces[0].size();
  for (size_t k = 1; k < pieces.size(); ++k) {
    const size_t hit = findPiece(pieces[k], folded, at);
    if (hit == std::u16string_view::npos)
      return hit;
    at = hit + pieces[k].size();
  }
  return start;
}

// FIND and SEARCH: the 1-based position, or #VALUE!.
void findCommon(Arguments& args, CellValue& result, bool wildcards, bool bytes) {
  const std::u16string_view needle = textArg(args, 0), hay = textArg(args, 1);
  const long long start = truncated(numberOr(args, 2, 1));
  std::vector<int> widths;
  size_t from = 0;
  if (bytes) {
    widths = byteWidths(hay);
    if (start < 1 || start > byteLength(hay) + 1)
      return setError(result, ErrorCode::Value);
    from = unitAtByte(widths, start - 1);
  } else {
    if (start < 1 || start > static_cast<long long>(hay.size()) + 1)
      return setError(result, ErrorCode::Value);
    from = static_cast<size_t>(start - 1);
  }
  size_t at = std::u16string_view::npos;
  if (needle.empty())
    at = from;
  else if (wildcards)
    at = searchText(needle, hay, from);
  else
    at = hay.find(needle, from);
  if (at == std::u16string_view::npos)
    return setError(result, ErrorCode::Value);
  const double position = bytes ? static_cast<double>(byteOffsetOfUnit(widths, at)) + 1
                                : static_cast<double>(at) + 1;
  result = CellValue::number(position);
}

void findHandler(Arguments& args, CellValue& result, EvalContext&) {
  findCommon(args, result, false, false);
}
void findbHandler(Arguments& args, CellValue& result, EvalContext&) {
  findCommon(args, result, false, true);
}
void searchHandler(Arguments& args, CellValue& result, EvalContext&) {
  findCommon(args, result, true, false);
}
void searchbHandler(Arguments& args, CellValue& result, EvalContext&) {
  findCommon(args, result, true, true);
}

// ---- character functions ----

void charHandler(Arguments& args, CellValue& result, EvalContext&) {
  const long long n = truncated(args[0].numberValue());
  const int cp = platform::systemAnsiCodePage();
  std::string bytes;
  if (n >= 1 && n <= 255)
    bytes.push_back(static_cast<char>(n));
  else if (isDoubleByteCodePage(cp) && n > 255 && n <= 0xFFFF) {
    bytes.push_back(static_cast<char>(n >> 8));
    bytes.push_back(static_cast<char>(n & 0xFF));
  } else
    return setError(result, ErrorCode::Value);
  std::u16string text;
  if (!platform::toUtf16(cp, bytes, text) || text.empty())
    text.assign(1, static_cast<char16_t>(n <= 255 ? n : 0xFFFD));
  setText(result, std::move(text));
}

void codeHandler(Arguments& args, CellValue& result, EvalContext&) {
  const std::u16string_view text = textArg(args, 0);
  if (text.empty())
    return setError(result, ErrorCode::Value);
  const size_t len = text[0] >= 0xD800 && text[0] <= 0xDBFF && text.size() > 1 ? 2 : 1;
  std::string bytes;
  if (!platform::fromUtf16(platform::systemAnsiCodePage(), text.substr(0, len), bytes) ||
      bytes.empty()) {
    result = CellValue::number(text[0] < 256 ? text[0] : u'?');
    return;
  }
  double code = 0;
  for (size_t i = 0; i < bytes.size() && i < 2; ++i)
    code = code * 256 + static_cast<unsigned char>(bytes[i]);
  result = CellValue::number(code);
}

void cleanHandler(Arguments& args, CellValue& result, EvalContext&) {
  std::u16string out;
  for (char16_t c : textArg(args, 0))
    if (c >= 32)
      out += c;
  setText(result, std::move(out));
}

void concatenateHandler(Arguments& args, CellValue& result, EvalContext&) {
  std::u16string out;
  for (int i = 0; i < args.count; ++i) {
    out += textArg(args, i);
    if (out.size() > kMaxTextLength)
      return setError(result, ErrorCode::Value);
  }
  setText(result, std::move(out));
}

// Appends the texts of one CONCAT or TEXTJOIN argument: a reference's cells
// and an array's elements in rows; false, with the result set, at an error
// or when the text grows too long. `each` is called before each text.
template <class Each>
bool appendTexts(const CellValue& arg, EvalContext& ctx, std::u16string& out, CellValue& result,
                 bool everyCell, Each&& each) {
  bool ok = true;
  auto take = [&](const CellValue& v) {
    const CellValue t = formula::toText(inspected(v));
    if (t.isError()) {
      result = t;
      return ok = false;
    }
    each(t.stringValue());
    out += t.stringValue();
    if (out.size() > kMaxTextLength) {
      setError(result, ErrorCode::Value);
      return ok = false;
    }
    return true;
  };
  if ((arg.isReference() || arg.isMultiArea()) && everyCell) {
    // Blank cells count: each is an empty text between delimiters.
    auto area = [&](const model::SheetRange& a) {
      const int sheet = a.sheet < 0 ? ctx.sheet : a.sheet;
      const model::CellRange r = a.range();
      for (int row = r.firstRow; row <= r.lastRow && ok; ++row)
        for (int column = r.firstColumn; column <= r.lastColumn && ok; ++column)
          take(formula::fetchCell(ctx, sheet, row, column));
    };
    if (arg.isReference())
      area(arg.referenceValue());
    else
      for (const model::SheetRange& a : arg.areasValue())
        area(a);
  } else if (arg.isReference() || arg.isMultiArea()) {
    // Blank cells add nothing: only stored cells are walked.
    forEachReferencedCell(arg, ctx, [&](int, int, int, const CellValue& v) { return take(v); });
  } else if (arg.isArray()) {
    for (int r = 0; r < arg.arrayRows() && ok; ++r)
      for (int c = 0; c < arg.arrayColumns() && ok; ++c)
        take(arg.arrayItem(r, c));
  } else {
    take(arg);
  }
  return ok;
}

void concatHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::u16string out;
  for (int i = 0; i < args.count; ++i)
    if (!appendTexts(args[i], ctx, out, result, false, [](std::u16string_view) {}))
      return;
  setText(result, std::move(out));
}

// TEXTJOIN(delimiter, ignore_empty, text1, ...).
void textJoinHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const std::u16string delimiter(textArg(args, 0));
  const bool ignoreEmpty = args[1].isBoolean() && args[1].booleanValue();
  std::u16string out;
  bool first = true;
  for (int i = 2; i < args.count; ++i) {
    auto each = [&](std::u16string_view text) {
      if (!first && !(ignoreEmpty && text.empty()))
        out += delimiter;
      if (!(ignoreEmpty && text.empty()))
        first = false;
    };
    if (!appendTexts(args[i], ctx, out, result, !ignoreEmpty && !delimiter.empty(), each))
      return;
  }
  setText(result, std::move(out));
}

void exactHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::boolean(textArg(args, 0) == textArg(args, 1));
}

void leftCommon(Arguments& args, CellValue& result, bool fromRight, bool bytes) {
  const std::u16string_view text = textArg(args, 0);
  const long long n = truncated(numberOr(args, 1, 1));
  if (n < 0)
    return setError(result, ErrorCode::Value);
  if (bytes) {
    const long long total = byteLength(text);
    setText(result, fromRight ? byteSlice(text, std::max(0LL, total - n), n)
                              : byteSlice(text, 0, n));
    return;
  }
  const size_t take = static_cast<size_t>(std::min<long long>(n, static_cast<long long>(text.size())));
  setText(result, std::u16string(fromRight ? text.substr(text.size() - take) : text.substr(0, take)));
}

void leftHandler(Arguments& a, CellValue& r, EvalContext&) { leftCommon(a, r, false, false); }
void leftbHandler(Arguments& a, CellValue& r, EvalContext&) { leftCommon(a, r, false, true); }
void rightHandler(Arguments& a, CellValue& r, EvalContext&) { leftCommon(a, r, true, false); }
void rightbHandler(Arguments& a, CellValue& r, EvalContext&) { leftCommon(a, r, true, true); }

void lenHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::number(static_cast<double>(textArg(args, 0).size()));
}
void lenbHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::number(static_cast<double>(byteLength(textArg(args, 0))));
}

void midCommon(Arguments& args, CellValue& result, bool bytes) {
  const std::u16string_view text = textArg(args, 0);
  const long long start = truncated(args[1].numberValue());
  const long long n = truncated(args[2].numberValue());
  if (start < 1 || n < 0)
    return setError(result, ErrorCode::Value);
  if (bytes)
    return setText(result, byteSlice(text, start - 1, n));
  if (start > static_cast<long long>(text.size()))
    return setText(result, {});
  setText(result, std::u16string(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(n))));
}

void midHandler(Arguments& a, CellValue& r, EvalContext&) { midCommon(a, r, false); }
void midbHandler(Arguments& a, CellValue& r, EvalContext&) { midCommon(a, r, true); }

void replaceCommon(Arguments& args, CellValue& result, bool bytes) {
  const std::u16string_view text = textArg(args, 0);
  const long long start = truncated(args[1].numberValue());
  const long long n = truncated(args[2].numberValue());
  if (start < 1 || n < 0)
    return setError(result, ErrorCode::Value);
  size_t from = 0, to = 0;
  if (bytes) {
    const std::vector<int> widths = byteWidths(text);
    from = unitAtByte(widths, start - 1);
    to = unitAtByte(widths, start - 1 + n);
  } else {
    from = static_cast<size_t>(std::min<long long>(start - 1, static_cast<long long>(text.size())));
    to = static_cast<size_t>(std::min<long long>(start - 1 + n, static_cast<long long>(text.size())));
  }
  std::u16string out(text.substr(0, from));
  out += textArg(args, 3);
  out += text.substr(to);
  setText(result, std::move(out));
}

void replaceHandler(Arguments& a, CellValue& r, EvalContext&) { replaceCommon(a, r, false); }
void replacebHandler(Arguments& a, CellValue& r, EvalContext&) { replaceCommon(a, r, true); }

void lowerHandler(Arguments& args, CellValue& result, EvalContext&) {
  setText(result, platform::toLower(textArg(args, 0)));
}
void upperHandler(Arguments& args, CellValue& result, EvalContext&) {
  setText(result, platform::toUpper(textArg(args, 0)));
}

// A letter is anything with two cases; a letter after a non-letter starts a
// word, so "76budGET" becomes "76Budget" and "o'neil" "O'Neil".
void properHandler(Arguments& args, CellValue& result, EvalContext&) {
  const std::u16string lower = platform::toLower(textArg(args, 0));
  const std::u16string upper = platform::toUpper(textArg(args, 0));
  if (lower.size() != upper.size())
    return setText(result, lower);
  std::u16string out = lower;
  bool afterLetter = false;
  for (size_t i = 0; i < out.size(); ++i) {
    const bool letter = lower[i] != upper[i];
    if (letter && !afterLetter)
      out[i] = upper[i];
    afterLetter = letter;
  }
  setText(result, std::move(out));
}

void reptHandler(Arguments& args, CellValue& result, EvalContext&) {
  const std::u16string_view text = textArg(args, 0);
  const long long n = truncated(args[1].numberValue());
  if (n < 0)
    return setError(result, ErrorCode::Value);
  if (text.empty() || n == 0)
    return setText(result, {});
  if (static_cast<double>(text.size()) * static_cast<double>(n) > kMaxTextLength)
    return setError(result, ErrorCode::Value);
  std::u16string out;
  out.reserve(text.size() * static_cast<size_t>(n));
  for (long long i = 0; i < n; ++i)
    out += text;
  setText(result, std::move(out));
}

void substituteHandler(Arguments& args, CellValue& result, EvalContext&) {
  const std::u16string_view text = textArg(args, 0), from = textArg(args, 1), to = textArg(args, 2);
  long long instance = 0; // 0: every occurrence
  if (!isMissing(args, 3)) {
    instance = truncated(args[3].numberValue());
    if (instance < 1)
      return setError(result, ErrorCode::Value);
  }
  if (from.empty())
    return setText(result, std::u16string(text));
  std::u16string out;
  size_t at = 0;
  long long seen = 0;
  while (true) {
    const size_t hit = text.find(from, at);
    if (hit == std::u16string_view::npos)
      break;
    ++seen;
    out += text.substr(at, hit - at);
    out += (instance == 0 || seen == instance) ? to : from;
    at = hit + from.size();
    if (out.size() > kMaxTextLength)
      return setError(result, ErrorCode::Value);
  }
  out += text.substr(at);
  setText(result, std::move(out));
}

void tHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue v = inspected(args[0]);
  if (v.isError() || v.isString())
    result = v;
  else
    result = CellValue::string(u"");
}

// TEXT formats every cell of a column with the same code, so the last code's
// compiled form is kept (per thread, for a recalculation on another thread).
void textHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  struct Cached {
    std::u16string code;
    std::string localeId;
    std::unique_ptr<numfmt::CompiledFormat> format;
  };
  thread_local Cached cache;
  const std::u16string_view code = textArg(args, 1);
  if (!cache.format || cache.code != code || cache.localeId != locale().localeId) {
    cache.format = std::make_unique<numfmt::CompiledFormat>(numfmt::compileFormat(code, locale()));
    cache.code.assign(code);
    cache.localeId = locale().localeId;
  }
  numfmt::FormatResult out;
  numfmt::formatNumber(args[0].numberValue(), *cache.format, formatOptions(ctx), out);
  setText(result, std::move(out.text));
}

void trimHandler(Arguments& args, CellValue& result, EvalContext&) {
  std::u16string out;
  bool pendingSpace = false;
  for (char16_t c : textArg(args, 0)) {
    if (c == u' ') {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace)
      out += u' ';
    pendingSpace = false;
    out += c;
  }
  setText(result, std::move(out));
}

void valueHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = formula::finiteNumber(args[0].numberValue());
}

std::u16string zeros(int n) { return std::u16string(static_cast<size_t>(std::max(0, n)), u'0'); }

// FIXED and DOLLAR accept decimals from -127 to 127; beyond that #VALUE!.
bool decimalsArg(const Arguments& args, int i, int fallback, int& decimals) {
  const long long d = truncated(numberOr(args, i, fallback));
  if (d < -127 || d > 127)
    return false;
  decimals = static_cast<int>(d);
  return true;
}

void fixedHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  int decimals = 2;
  if (!decimalsArg(args, 1, 2, decimals))
    return setError(result, ErrorCode::Value);
  const bool noCommas = !isMissing(args, 2) && args[2].isBoolean() && args[2].booleanValue();
  const double x = roundHalfAway(args[0].numberValue(), decimals);
  std::u16string code = noCommas ? u"0" : u"#,##0";
  if (decimals > 0)
    code += u"." + zeros(decimals);
  setText(result, numfmt::formatNumber(x, code, formatOptions(ctx)).text);
}

/// A currency code without the "_)" padding of the cell formats: a function
/// result is text, where padding would be a stray space.
std::u16string unpadded(std::u16string_view code) {
  std::u16string out;
  bool quoted = false;
  for (size_t i = 0; i < code.size(); ++i) {
    if (code[i] == u'"')
      quoted = !quoted;
    if (!quoted && code[i] == u'_' && i + 1 < code.size()) {
      ++i;
      continue;
    }
    out += code[i];
  }
  return out;
}

/// The places of a "0.00" in a code replaced by `decimals` places.
std::u16string withDecimals(std::u16string_view code, int decimals) {
  std::u16string out(code);
  const std::u16string places = decimals > 0 ? u"0." + zeros(decimals) : u"0";
  for (size_t at = out.find(u"0.00"); at != std::u16string::npos;
       at = out.find(u"0.00", at + places.size()))
    out.replace(at, 4, places);
  return out;
}

void dollarCommon(Arguments& args, CellValue& result, EvalContext& ctx, bool us) {
  int decimals = 2;
  if (!decimalsArg(args, 1, 2, decimals))
    return setError(result, ErrorCode::Value);
  const double x = roundHalfAway(args[0].numberValue(), decimals);
  std::u16string code = u"$#,##0.00_);($#,##0.00)";
  if (!us && ctx.book)
    code = model::numberFormatCode(*ctx.book, 7);
  code = withDecimals(unpadded(code), decimals);
  numfmt::FormatOptions options = formatOptions(ctx);
  setText(result, numfmt::formatNumber(x, code, options).text);
}

void dollarHandler(Arguments& a, CellValue& r, EvalContext& c) { dollarCommon(a, r, c, false); }
void usdollarHandler(Arguments& a, CellValue& r, EvalContext& c) { dollarCommon(a, r, c, true); }

/// A value as text for the functions with `A` arguments that work on text:
/// errors come back as they are.
CellValue asText(const CellValue& v) {
  const CellValue w = inspected(v);
  if (w.isError())
    return w;
  if (w.isEmpty())
    return CellValue::string(u"");
  return formula::toText(w);
}

// ASC makes full-width letters, digits and signs half-width; DBCS the reverse.
void ascCommon(Arguments& args, CellValue& result, bool toFull) {
  const CellValue v = asText(args[0]);
  if (!v.isString()) {
    result = v;
    return;
  }
  std::u16string out(v.stringValue());
  for (char16_t& c : out) {
    if (toFull) {
      if (c == u' ')
        c = 0x3000;
      else if (c > 0x20 && c < 0x7F)
        c = static_cast<char16_t>(c - 0x21 + 0xFF01);
    } else {
      if (c == 0x3000)
        c = u' ';
      else if (c >= 0xFF01 && c <= 0xFF5E)
        c = static_cast<char16_t>(c - 0xFF01 + 0x21);
    }
  }
  setText(result, std::move(out));
}

void ascHandler(Arguments& a, CellValue& r, EvalContext&) { ascCommon(a, r, false); }
void dbcsHandler(Arguments& a, CellValue& r, EvalContext&) { ascCommon(a, r, true); }

// No phonetic guides are kept with cells, so the reading of a text is the text.
void phoneticHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue v = inspected(args[0]);
  result = v.isError() || v.isString() ? v : CellValue::string(u"");
}

CellValue numberOf(const CellValue& v, const EvalContext& ctx) {
  const CellValue w = inspected(v);
  if (w.isError())
    return w;
  return formula::toNumber(w, ctx);
}

// DATESTRING writes a date as two-digit year, month and day with the Chinese
// signs for each.
void datestringHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const CellValue n = numberOf(args[0], ctx);
  if (!n.isNumber()) {
    result = n;
    return;
  }
  if (n.numberValue() < 0 || n.numberValue() >= 2958466)
    return setError(result, ErrorCode::Num);
  setText(result, numfmt::formatNumber(n.numberValue(), u"yy\"年\"mm\"月\"dd\"日\"",
                                       formatOptions(ctx)).text);
}

// NUMBERSTRING writes a whole number in Chinese numerals: type 1 in ordinary
// numerals with place words (一百二十三), type 2 in the financial capitals
// (壹佰贰拾叁), type 3 digit by digit (一二三).
std::u16string chineseNumber(unsigned long long n, int type) {
  static constexpr std::u16string_view kPlain = u"〇一二三四五六七八九";
  static constexpr std::u16string_view kPlainZero = u"零一二三四五六七八九";
  static constexpr std::u16string_view kCapital = u"零壹贰叁肆伍陆柒捌玖";
  if (type == 3) {
    const std::string digits = std::to_string(n);
    std::u16string out;
    for (char d : digits)
      out += kPlain[static_cast<size_t>(d - '0')];
    return out;
  }
  const std::u16string_view digit = type == 2 ? kCapital : kPlainZero;
  const std::u16string_view smallUnits = type == 2 ? u"拾佰仟" : u"十百千";
  static constexpr std::u16string_view kBigUnits[] = {u"", u"万", u"亿", u"万亿"};
  if (n == 0)
    return std::u16string(1, digit[0]);
  std::vector<int> groups; // lowest first, four digits each
  for (unsigned long long m = n; m > 0; m /= 10000)
    groups.push_back(static_cast<int>(m % 10000));
  std::u16string out;
  bool pendingZero = false;
  for (size_t g = groups.size(); g-- > 0;) {
    const int group = groups[g];
    if (group == 0) {
      pendingZero = !out.empty();
      continue;
    }
    const int places[4] = {group / 1000, group / 100 % 10, group / 10 % 10, group % 10};
    bool started = false;
    for (int k = 0; k < 4; ++k) {
      const int d = places[k];
      if (d == 0) {
        if (started || !out.empty())
          pendingZero = true;
        continue;
      }
      if (pendingZero && !out.empty())
        out += digit[0];
      pendingZero = false;
      // "十二", not "一十二", at the head of the number in ordinary numerals.
      const bool bareTen = type == 1 && k == 2 && d == 1 && out.empty();
      if (!bareTen)
        out += digit[static_cast<size_t>(d)];
      if (k < 3)
        out += smallUnits[static_cast<size_t>(2 - k)];
      started = true;
    }
    out += kBigUnits[g];
    pendingZero = places[3] == 0 && pendingZero;
  }
  return out;
}

void numberstringHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const CellValue n = numberOf(args[0], ctx);
  const CellValue t = numberOf(args[1], ctx);
  if (!n.isNumber()) {
    result = n;
    return;
  }
  if (!t.isNumber()) {
    result = t;
    return;
  }
  const long long type = truncated(t.numberValue());
  const double x = std::round(n.numberValue());
  if (type < 1 || type > 3)
    return setError(result, ErrorCode::Value);
  if (std::fabs(x) >= 1e16)
    return setError(result, ErrorCode::Num);
  std::u16string out = x < 0 ? u"负" : u"";
  out += chineseNumber(static_cast<unsigned long long>(std::fabs(x)), static_cast<int>(type));
  setText(result, std::move(out));
}

// ---- logical ----

// AND and OR: numbers and booleans count, other values are skipped; the
// first error met is the result; nothing counted at all is #VALUE!.
enum class Fold : std::uint8_t { And, Or, Xor };

// XOR is TRUE when an odd number of its values are TRUE.
void logicalFold(Arguments& args, CellValue& result, EvalContext& ctx, Fold fold) {
  const bool isAnd = fold == Fold::And;
  bool any = false;
  bool acc = isAnd;
  CellValue error;
  auto take = [&](const CellValue& v) {
    if (v.isError()) {
      error = v;
      return false;
    }
    if (v.isNumber() || v.isBoolean()) {
      const bool b = v.isNumber() ? v.numberValue() != 0 : v.booleanValue();
      acc = fold == Fold::And ? (acc && b) : fold == Fold::Or ? (acc || b) : (acc != b);
      any = true;
    }
    return true;
  };
  for (int i = 0; i < args.count && !error.isError(); ++i) {
    const CellValue& a = args[i];
    if (a.isEmpty()) {
      continue; // an empty optional argument is skipped: =AND(TRUE,) is TRUE
    } else if (a.isReference() || a.isMultiArea()) {
      forEachReferencedCell(a, ctx, [&](int, int, int, const CellValue& v) { return take(v); });
    } else if (a.isArray()) {
      for (int r = 0; r < a.arrayRows() && !error.isError(); ++r)
        for (int c = 0; c < a.arrayColumns(); ++c)
          if (!take(a.arrayItem(r, c)))
            break;
    } else if (a.isString()) {
      // A direct string that is not TRUE or FALSE (converted already).
      setError(error, ErrorCode::Value);
    } else {
      take(a);
    }
  }
  if (error.isError())
    result = error;
  else if (!any)
    setError(result, ErrorCode::Value);
  else
    result = CellValue::boolean(acc);
}

void andHandler(Arguments& a, CellValue& r, EvalContext& c) { logicalFold(a, r, c, Fold::And); }
void orHandler(Arguments& a, CellValue& r, EvalContext& c) { logicalFold(a, r, c, Fold::Or); }
void xorHandler(Arguments& a, CellValue& r, EvalContext& c) { logicalFold(a, r, c, Fold::Xor); }

// An empty result reads as 0, as a reference to a blank cell does.
CellValue chosen(const CellValue& v) { return v.isEmpty() ? CellValue::number(0) : v; }

void ifErrorHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue v = inspected(args[0]);
  result = chosen(v.isError() ? args[1] : v);
}

void ifNaHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue v = inspected(args[0]);
  result = chosen(v.isError() && v.errorValue() == ErrorCode::NA ? args[1] : v);
}

// IFS(test1, value1, ...): the value of the first true test; an error or a
// text test before it is the result; no true test is #N/A.
void ifsHandler(Arguments& args, CellValue& result, EvalContext&) {
  if (args.count % 2 != 0)
    return setError(result, ErrorCode::NA);
  for (int i = 0; i + 1 < args.count; i += 2) {
    const CellValue test = formula::toBoolean(inspected(args[i]));
    if (test.isError()) {
      result = test;
      return;
    }
    if (test.booleanValue()) {
      result = chosen(args[i + 1]);
      return;
    }
  }
  setError(result, ErrorCode::NA);
}

// SWITCH(expression, value1, result1, ..., [default]): the result of the
// first value equal to the expression (of the same kind; texts without
// regard to case), else the default, else #N/A.
void switchHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue e = inspected(args[0]);
  if (e.isError()) {
    result = e;
    return;
  }
  int i = 1;
  for (; i + 1 < args.count; i += 2) {
    const CellValue v = inspected(args[i]);
    if (v.isError()) {
      result = v;
      return;
    }
    const CellValue& left = e.isEmpty() ? CellValue::number(0) : e;
    const CellValue& right = v.isEmpty() ? CellValue::number(0) : v;
    if (left.kind() == right.kind() && formula::compareValues(left, right) == 0) {
      result = chosen(args[i + 1]);
      return;
    }
  }
  if (i < args.count)
    result = chosen(args[i]);
  else
    setError(result, ErrorCode::NA);
}

void notHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::boolean(!(args[0].isBoolean() && args[0].booleanValue()));
}

// ---- information ----

void errorTypeHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue v = inspected(args[0]);
  if (!v.isError())
    return setError(result, ErrorCode::NA);
  result = CellValue::number(static_cast<int>(v.errorValue()) + 1);
}

template <bool (*Test)(const CellValue&)>
void isHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::boolean(Test(inspected(args[0])));
}

bool isBlank(const CellValue& v) { return v.isEmpty(); }
bool isErr(const CellValue& v) { return v.isError() && v.errorValue() != ErrorCode::NA; }
bool isAnyError(const CellValue& v) { return v.isError(); }
bool isLogical(const CellValue& v) { return v.isBoolean(); }
bool isNa(const CellValue& v) { return v.isError() && v.errorValue() == ErrorCode::NA; }
bool isNonText(const CellValue& v) { return !v.isString(); }
bool isNumber(const CellValue& v) { return v.isNumber(); }
bool isText(const CellValue& v) { return v.isString(); }

void isrefHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::boolean(args[0].isReference() || args[0].isMultiArea());
}

void nHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue v = inspected(args[0]);
  if (v.isError() || v.isNumber())
    result = v;
  else if (v.isBoolean())
    result = CellValue::number(v.booleanValue() ? 1 : 0);
  else
    result = CellValue::number(0);
}

void typeHandler(Arguments& args, CellValue& result, EvalContext&) {
  const CellValue v = inspected(args[0]);
  int type = 1;
  switch (v.kind()) {
  case ValueKind::String: type = 2; break;
  case ValueKind::Boolean: type = 4; break;
  case ValueKind::Error: type = 16; break;
  case ValueKind::Array: type = 64; break;
  case ValueKind::Reference:
  case ValueKind::MultiArea: type = 16; break; // several areas cannot be one value
  default: break;
  }
  result = CellValue::number(type);
}

template <bool Even> void parityHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double x = std::trunc(args[0].numberValue());
  result = CellValue::boolean((std::fmod(std::fabs(x), 2.0) == 0) == Even);
}

std::u16string columnLetters(int column) {
  std::u16string s;
  for (int c = column + 1; c > 0; c = (c - 1) / 26)
    s.insert(s.begin(), static_cast<char16_t>(u'A' + (c - 1) % 26));
  return s;
}

std::u16string absoluteAddress(int row, int column) {
  std::u16string s = u"$" + columnLetters(column) + u"$";
  for (char c : std::to_string(row + 1))
    s += static_cast<char16_t>(c);
  return s;
}

std::u16string directoryOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash + 1));
}

// Memory figures are in bytes.
void infoHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const std::u16string type = platform::toUpper(textArg(args, 0));
  if (type == u"DIRECTORY") {
    const std::u16string dir = ctx.book ? directoryOf(ctx.book->path) : std::u16string();
    if (dir.empty())
      return setError(result, ErrorCode::NA);
    return setText(result, dir);
  }
  if (type == u"MEMAVAIL" || type == u"MEMUSED" || type == u"TOTMEM") {
    const platform::MemoryStatus m = platform::memoryStatus();
    const double total = static_cast<double>(m.totalPhysical);
    const double avail = static_cast<double>(m.availablePhysical);
    result = CellValue::number(type == u"MEMAVAIL" ? avail
                               : type == u"TOTMEM" ? total
                                                   : std::max(0.0, total - avail));
    return;
  }
  // A workbook held by no list (a headless computation) still counts itself.
  if (type == u"NUMFILE")
    return void(result = CellValue::number(std::max(1, model::WorkbookList::openWorkbookCount())));
  if (type == u"ORIGIN") {
    int row = 0, column = 0;
    if (ctx.book && ctx.book->sheetCount() > 0) {
      const model::Sheet& s = ctx.book->active();
      row = s.topRow;
      column = s.leftColumn;
    }
    return setText(result, u"$A:" + absoluteAddress(row, column));
  }
  if (type == u"OSVERSION") {
    utsname u{};
    const int major = uname(&u) == 0 ? std::atoi(u.release) : 0;
    return void(result = CellValue::number(major));
  }
  if (type == u"RECALC")
    return setText(result, u"自动");
  if (type == u"RELEASE")
    return setText(result, u"8.0e");
  if (type == u"SYSTEM")
    return setText(result, u"pcdos");
  setError(result, ErrorCode::Value);
}

/// The sections of a number format code split at ";" outside quotes,
/// brackets and escapes.
std::vector<std::u16string_view> codeSections(std::u16string_view code) {
  std::vector<std::u16string_view> out;
  size_t start = 0;
  bool quoted = false;
  int bracket = 0;
  for (size_t i = 0; i < code.size(); ++i) {
    const char16_t c = code[i];
    if (c == u'"')
      quoted = !quoted;
    else if (quoted)
      continue;
    else if (c == u'\\' || c == u'_' || c == u'*')
      ++i;
    else if (c == u'[')
      ++bracket;
    else if (c == u']')
      bracket = std::max(0, bracket - 1);
    else if (c == u';' && bracket == 0) {
      out.push_back(code.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(code.substr(start));
  return out;
}

/// The characters of a section outside quotes, brackets and escapes, in upper case.
std::u16string bareSection(std::u16string_view section) {
  std::u16string out;
  bool quoted = false;
  int bracket = 0;
  for (size_t i = 0; i < section.size(); ++i) {
    const char16_t c = section[i];
    if (c == u'"') {
      quoted = !quoted;
      continue;
    }
    if (quoted)
      continue;
    if (c == u'\\' || c == u'_' || c == u'*') {
      ++i;
      continue;
    }
    if (c == u'[') {
      ++bracket;
      continue;
    }
    if (c == u']') {
      bracket = std::max(0, bracket - 1);
      continue;
    }
    if (bracket == 0)
      out += foldCase(c);
  }
  return out;
}

bool hasColour(std::u16string_view section) {
  for (std::u16string_view name : numfmt::kColourNames) {
    const std::u16string tag = u"[" + std::u16string(name) + u"]";
    if (platform::toUpper(section).find(platform::toUpper(tag)) != std::u16string::npos)
      return true;
  }
  return false;
}

// The usual one- or two-letter codes of CELL("format"): G general, F fixed,
// "," grouped, C currency, P percent, S scientific, D1-D9 dates and times,
// each followed by the decimal places; "-" when negatives are coloured and
// "()" when positives are in parentheses.
std::u16string formatCodeLetters(std::u16string_view code) {
  const std::vector<std::u16string_view> sections = codeSections(code);
  const std::u16string first = bareSection(sections[0]);
  const bool currency = sections[0].find(u'$') != std::u16string_view::npos ||
                        sections[0].find(locale().currencySymbol) != std::u16string_view::npos;
  std::u16string letters;
  if (first.empty() || first == u"GENERAL" || first.find(u'?') != std::u16string::npos ||
      first == u"@") {
    letters = u"G";
  } else if (first.find_first_of(u"DMYHS") != std::u16string::npos &&
             first.find(u'E') == std::u16string::npos) {
    const bool date = first.find_first_of(u"DY") != std::u16string::npos ||
                      (first.find(u'M') != std::u16string::npos && first.find(u'H') == std::u16string::npos &&
                       first.find(u'S') == std::u16string::npos);
    const bool time = first.find(u'H') != std::u16string::npos || first.find(u'S') != std::u16string::npos;
    const bool ampm = first.find(u"AM/PM") != std::u16string::npos || first.find(u"A/P") != std::u16string::npos;
    const bool seconds = first.find(u'S') != std::u16string::npos;
    const bool year = first.find(u'Y') != std::u16string::npos;
    const bool day = first.find(u'D') != std::u16string::npos;
    const bool monthName = first.find(u"MMM") != std::u16string::npos;
    if (date) {
      if (!monthName && day && year)
        letters = u"D4";
      else if (!monthName && day)
        letters = u"D5";
      else if (day && year)
        letters = u"D1";
      else if (day)
        letters = u"D2";
      else
        letters = u"D3";
    } else if (time) {
      letters = ampm ? (seconds ? u"D6" : u"D7") : (seconds ? u"D8" : u"D9");
    } else {
      letters = u"G";
    }
  } else {
    int places = 0;
    const size_t dot = first.find(u'.');
    if (dot != std::u16string::npos)
      for (size_t i = dot + 1; i < first.size() && (first[i] == u'0' || first[i] == u'#' || first[i] == u'?'); ++i)
        ++places;
    char16_t kind = u'F';
    if (first.find(u'E') != std::u16string::npos)
      kind = u'S';
    else if (first.find(u'%') != std::u16string::npos)
      kind = u'P';
    else if (currency)
      kind = u'C';
    else if (first.find(u',') != std::u16string::npos)
      kind = u',';
    letters = std::u16string(1, kind) + static_cast<char16_t>(u'0' + std::min(places, 9));
  }
  if (sections.size() > 1 && hasColour(sections[1]))
    letters += u'-';
  if (sections[0].find(u'(') != std::u16string_view::npos)
    letters += u"()";
  return letters;
}

// CELL answers about the top-left cell of the reference, or about the
// formula's own cell when none is given.
void cellHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const std::u16string type = platform::toUpper(textArg(args, 0));
  int sheet = ctx.sheet, row = ctx.row, column = ctx.column;
  if (!isMissing(args, 1)) {
    const CellValue& ref = args[1];
    if (ref.isError())
      return void(result = ref);
    model::SheetRange area;
    if (ref.isReference())
      area = ref.referenceValue();
    else if (ref.isMultiArea() && !ref.areasValue().empty())
      area = ref.areasValue().front();
    else
      return setError(result, ErrorCode::Value);
    if (area.sheet >= 0)
      sheet = area.sheet;
    row = area.range().firstRow;
    column = area.range().firstColumn;
  }
  if (!ctx.book || sheet < 0 || sheet >= ctx.book->sheetCount())
    return setError(result, ErrorCode::Ref);
  model::Workbook& book = *ctx.book;
  model::Sheet& s = book.sheet(sheet);
  const model::CellRecord* cell =
      s.hasGrid() ? s.cells.at(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column))
                  : nullptr;
  const int formatIndex = cell ? cell->formatIndex : 15;
  const model::CellFormat* format =
      formatIndex >= 0 && static_cast<size_t>(formatIndex) < book.cellFormats.size()
          ? &book.cellFormats[static_cast<size_t>(formatIndex)]
          : nullptr;
  const std::u16string_view code =
      format ? model::numberFormatCode(book, format->numberFormatIndex) : u"General";

  if (type == u"ADDRESS")
    return setText(result, absoluteAddress(row, column));
  if (type == u"COL")
    return void(result = CellValue::number(column + 1));
  if (type == u"ROW")
    return void(result = CellValue::number(row + 1));
  if (type == u"CONTENTS") {
    result = formula::fetchCell(ctx, sheet, row, column);
    if (result.isEmpty())
      result = CellValue::number(0);
    return;
  }
  if (type == u"FILENAME") {
    // A workbook never saved has a name but no directory, and no file name yet.
    if (directoryOf(book.path).empty())
      return setText(result, {});
    return setText(result, directoryOf(book.path) + u"[" +
                               std::u16string(model::fileNamePart(book.path)) + u"]" + s.name);
  }
  if (type == u"FORMAT")
    return setText(result, formatCodeLetters(code));
  if (type == u"COLOR") {
    const std::vector<std::u16string_view> sections = codeSections(code);
    return void(result = CellValue::number(sections.size() > 1 && hasColour(sections[1]) ? 1 : 0));
  }
  if (type == u"PARENTHESES") {
    const bool parens = codeSections(code)[0].find(u'(') != std::u16string_view::npos;
    return void(result = CellValue::number(parens ? 1 : 0));
  }
  if (type == u"PREFIX") {
    const CellValue v = formula::fetchCell(ctx, sheet, row, column);
    if (!v.isString() || !format)
      return setText(result, {});
    switch (format->horizontalAlignment) {
    case model::kAlignLeft: return setText(result, u"'");
    case model::kAlignRight: return setText(result, u"\"");
    case model::kAlignCentre: return setText(result, u"^");
    case model::kAlignFill: return setText(result, u"\\");
    default: return setText(result, {});
    }
  }
  if (type == u"PROTECT") {
    const bool locked = !format || (format->flags & model::kFormatLocked) != 0;
    return void(result = CellValue::number(locked ? 1 : 0));
  }
  if (type == u"TYPE") {
    const CellValue v = formula::fetchCell(ctx, sheet, row, column);
    return setText(result, v.isEmpty() ? u"b" : v.isString() ? u"l" : u"v");
  }
  if (type == u"WIDTH") {
    double width = s.defaultColumnWidth;
    for (const model::ColumnRecord& c : s.columns)
      if (c.column == column)
        width = c.size;
    return void(result = CellValue::number(std::round(width / 256.0)));
  }
  setError(result, ErrorCode::Value);
}

} // namespace

void registerTextFunctions() {
  // clang-format off
  static constexpr HandlerRow kRows[] = {
    {u"AND",          andHandler},
    {u"ASC",          ascHandler},
    {u"CELL",         cellHandler},
    {u"CHAR",         charHandler},
    {u"CLEAN",        cleanHandler},
    {u"CODE",         codeHandler},
    {u"CONCATENATE",  concatenateHandler},
    {u"DATESTRING",   datestringHandler},
    {u"DBCS",         dbcsHandler},
    {u"DOLLAR",       dollarHandler},
    {u"ERROR.TYPE",   errorTypeHandler},
    {u"EXACT",        exactHandler},
    {u"FIND",         findHandler},
    {u"FINDB",        findbHandler},
    {u"FIXED",        fixedHandler},
    {u"INFO",         infoHandler},
    {u"ISBLANK",      isHandler<isBlank>},
    {u"ISERR",        isHandler<isErr>},
    {u"ISERROR",      isHandler<isAnyError>},
    {u"ISEVEN",       parityHandler<true>},
    {u"ISLOGICAL",    isHandler<isLogical>},
    {u"ISNA",         isHandler<isNa>},
    {u"ISNONTEXT",    isHandler<isNonText>},
    {u"ISNUMBER",     isHandler<isNumber>},
    {u"ISODD",        parityHandler<false>},
    {u"ISREF",        isrefHandler},
    {u"ISTEXT",       isHandler<isText>},
    {u"LEFT",         leftHandler},
    {u"LEFTB",        leftbHandler},
    {u"LEN",          lenHandler},
    {u"LENB",         lenbHandler},
    {u"LOWER",        lowerHandler},
    {u"MID",          midHandler},
    {u"MIDB",         midbHandler},
    {u"N",            nHandler},
    {u"NOT",          notHandler},
    {u"NUMBERSTRING", numberstringHandler},
    {u"OR",           orHandler},
    {u"XOR",          xorHandler},
    {u"IFERROR",      ifErrorHandler},
    {u"IFNA",         ifNaHandler},
    {u"IFS",          ifsHandler},
    {u"SWITCH",       switchHandler},
    {u"CONCAT",       concatHandler},
    {u"TEXTJOIN",     textJoinHandler},
    {u"PHONETIC",     phoneticHandler},
    {u"PROPER",       properHandler},
    {u"REPLACE",      replaceHandler},
    {u"REPLACEB",     replacebHandler},
    {u"REPT",         reptHandler},
    {u"RIGHT",        rightHandler},
    {u"RIGHTB",       rightbHandler},
    {u"SEARCH",       searchHandler},
    {u"SEARCHB",      searchbHandler},
    {u"SUBSTITUTE",   substituteHandler},
    {u"T",            tHandler},
    {u"TEXT",         textHandler},
    {u"TRIM",         trimHandler},
    {u"TYPE",         typeHandler},
    {u"UPPER",        upperHandler},
    {u"USDOLLAR",     usdollarHandler},
    {u"VALUE",        valueHandler},
  };
  // clang-format on
  registerRows(kRows);
}

} // namespace functions
