#include "formula/reader.h"

#include "formula/function_call.h"
#include "formula/function_table.h"
#include "formula/macro_seam.h"
#include "formula/reference_syntax.h"
#include "formula/skipper.h"
#include "formula/value_ops.h"
#include "model/workbook.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/unicode.h"

#include <algorithm>
#include <bitset>
#include <charconv>
#include <deque>
#include <string>
#include <vector>

namespace formula {
MacroSeam& macroSeam() {
  static MacroSeam seam;
  return seam;
}

namespace {

using model::SheetRange;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t firstOr(const std::u16string& s, char16_t fallback) { return s.empty() ? fallback : s[0]; }

struct Operand {
  CellValue value;
  bool literalReference = false; // read directly as a reference from the text
};

// The argument spans of the calls being evaluated, one list per call in
// progress, kept between formulas: a call borrows the next list and returns
// it when it ends, so evaluating a call allocates nothing here once the
// lists have grown. A deque keeps the lists of the outer calls in place.
class ArgumentSpans {
public:
  ArgumentSpans() : spans(take()) {}
  ~ArgumentSpans() { --t_inUse; }
  ArgumentSpans(const ArgumentSpans&) = delete;
  ArgumentSpans& operator=(const ArgumentSpans&) = delete;
  std::vector<std::pair<size_t, size_t>>& spans;

private:
  static std::vector<std::pair<size_t, size_t>>& take() {
    if (t_lists.size() <= t_inUse)
      t_lists.emplace_back(); // may throw: nothing is taken then
    std::vector<std::pair<size_t, size_t>>& list = t_lists[t_inUse++];
    list.clear();
    return list;
  }
  static thread_local std::deque<std::vector<std::pair<size_t, size_t>>> t_lists;
  static thread_local size_t t_inUse;
};
thread_local std::deque<std::vector<std::pair<size_t, size_t>>> ArgumentSpans::t_lists;
thread_local size_t ArgumentSpans::t_inUse = 0;

class Reader {
public:
  Reader(std::u16string_view text, EvalContext& ctx)
      : m_t(text), m_ctx(ctx), m_locale(platform::localeStrings()),
        m_ls(firstOr(m_locale.listSeparator, u',')),
        m_decimal(firstOr(m_locale.decimalSeparator, u'.')),
        m_thousands(firstOr(m_locale.thousandsSeparator, u',')) {}
  /// A reader of another part of the same text (an argument), with the
  /// separators already looked up.
  Reader(const Reader& outer, EvalContext& ctx)
      : m_t(outer.m_t), m_ctx(ctx), m_locale(outer.m_locale), m_ls(outer.m_ls),
        m_decimal(outer.m_decimal), m_thousands(outer.m_thousands) {}

  CellValue span(size_t start, size_t end) {
    if (++m_ctx.depth > kMaxReaderDepth) {
      --m_ctx.depth;
      return CellValue::error(ErrorCode::Value);
    }
    size_t p = start;
    if (p == 0 && end > 1 && m_t[0] == u'=')
      p = 1;
    m_end = end;
    Operand v = binary(p, 0);
    --m_ctx.depth;
    return std::move(v.value);
  }

private:
  size_t skipSpaces(size_t p) const {
    while (p < m_end && m_t[p] == u' ')
      ++p;
    return p;
  }

  // The binary operator at p (after spaces), with its length; Intersect when
  // spaces separate two operands. Returns false when no operator follows.
  bool peekOperator(size_t p, BinaryOp& op, size_t& length) const {
    return readBinaryOperator(m_t, p, m_end, m_ls, op, length);
  }

  Operand binary(size_t& p, int minLevel) {
    Operand lhs = unary(p);
    while (true) {
      BinaryOp op;
      size_t length;
      if (!peekOperator(p, op, length) || precedence(op) < minLevel)
        return lhs;
      p += length;
      Operand rhs = binary(p, precedence(op) + 1);
      if (op == BinaryOp::Union && lhs.literalReference && rhs.literalReference) {
        // A reference list written out: parts on two sheets give #VALUE!.
        CellValue joined = applyBinary(op, lhs.value, rhs.value, m_ctx);
        if (joined.isError() && joined.errorValue() == ErrorCode::Ref)
          joined = CellValue::error(ErrorCode::Value);
        lhs.value = std::move(joined);
        lhs.literalReference = true;
        continue;
      }
      lhs.value = applyBinary(op, lhs.value, rhs.value, m_ctx);
      lhs.literalReference = false;
    }
  }

  // A unary sign binds tighter than every arithmetic operator but looser
  // than the reference operators, so -A1:A2 negates the range's value.
  Operand unary(size_t& p) {
    p = skipSpaces(p);
    if (p < m_end && (m_t[p] == u'+' || m_t[p] == u'-')) {
      const size_t q = p + 1;
      const bool numberFollows = q < m_end && (isDigit(m_t[q]) || m_t[q] == m_decimal);
      if (!numberFollows) {
        const bool negate = m_t[p] == u'-';
        p = q;
        if (++m_ctx.depth > kMaxReaderDepth) {
          --m_ctx.depth;
          p = m_end;
          return {CellValue::error(ErrorCode::Value)};
        }
        Operand inner = binary(p, 7);
        --m_ctx.depth;
        if (negate)
          inner.value = applyNegate(inner.value, m_ctx);
        inner.literalReference = false;
        return postfixPercent(p, std::move(inner));
      }
    }
    Operand v = operand(p);
    return postfixPercent(p, std::move(v));
  }

  // A "%" followed by the end, a separator, a bracket or another operator
  // is a percent sign; followed by an operand it is the remainder operator.
  Operand postfixPercent(size_t& p, Operand v) {
    while (true) {
      const size_t q = skipSpaces(p);
      if (q >= m_end || m_t[q] != u'%')
        return v;
      const size_t r = skipSpaces(q + 1);
      if (r < m_end && !isOperatorChar(m_t[r], m_ls) && m_t[r] != u')' && m_t[r] != u'}')
        return v;
      v.value = applyPercent(v.value, m_ctx);
      v.literalReference = false;
      p = q + 1;
    }
  }

  Operand operand(size_t& p) {
    p = skipSpaces(p);
    if (p >= m_end)
      return {CellValue()};
    const char16_t c = m_t[p];
    if (c == u'"')
      return {stringLiteral(p)};
    if (c == u'\'') {
      ParsedReference ref;
      if (readA1ReferenceOrSheetRange(m_t.substr(0, m_end), p, m_ctx.book, m_ls, ref)) {
        p = ref.end;
        return {referenceValue(ref), true};
      }
      if (QualifiedName q; readQualifiedName(m_t.substr(0, m_end), p, m_ctx.book, m_ls, q)) {
        p = q.end;
        return nameValue(static_cast<size_t>(q.index));
      }
      CellValue rest = CellValue::string(m_t.substr(p, m_end - p));
      p = m_end;
      return {rest};
    }
    if (c == u'(')
      return parenthesised(p);
    if (c == u'{')
      return {arrayConstant(p)};
    if (c == u'+' || c == u'-' || isDigit(c) || c == m_decimal)
      return {numberLiteral(p)};
    if (isIdentifierTerminator(c, m_ls)) {
      // An operator where an operand belongs: nothing can be read here.
      p = m_end;
      return {CellValue::error(ErrorCode::Value)};
    }
    return word(p);
  }

  CellValue stringLiteral(size_t& p) {
    std::u16string s;
    if (readStringLiteral(m_t, p, m_end, s))
      return CellValue::string(s);
    // No closing quote: the rest of the text from the opening quote on.
    CellValue rest = CellValue::string(m_t.substr(p, m_end - p));
    p = m_end;
    return rest;
  }

  Operand parenthesised(size_t& p) {
    int depth = 0;
    size_t close = std::u16string_view::npos;
    for (size_t i = p; i < m_end; ++i) {
      if (m_t[i] == u'"') {
        const size_t q = stringLiteralEnd(m_t, i, m_end);
        if (q == std::u16string_view::npos)
          break;
        i = q - 1;
      } else if (m_t[i] == u'(') {
        ++depth;
      } else if (m_t[i] == u')' && --depth == 0) {
        close = i;
        break;
      }
    }
    if (close == std::u16string_view::npos) {
      CellValue rest = CellValue::string(m_t.substr(p, m_end - p));
      p = m_end;
      return {rest};
    }
    const size_t savedEnd = m_end;
    CellValue inner = span(p + 1, close);
    m_end = savedEnd;
    p = close + 1;
    // A parenthesised reference list stays a reference list.
    const bool isRef = inner.isReference() || inner.isMultiArea();
    return {std::move(inner), isRef};
  }

  // Digits, decimals and an exponent (spaces may stand around "E" and its
  // sign); converted with correct rounding so typed decimals are exact.
  CellValue numberLiteral(size_t& p) {
    std::string ascii;
    size_t q = p;
    if (m_t[q] == u'+' || m_t[q] == u'-') {
      if (m_t[q] == u'-')
        ascii += '-';
      ++q;
    }
    size_t digits = 0;
    while (q < m_end && isDigit(m_t[q]))
      ascii += static_cast<char>(m_t[q++]), ++digits;
    if (q < m_end && m_t[q] == m_decimal) {
      ascii += '.';
      ++q;
      while (q < m_end && isDigit(m_t[q]))
        ascii += static_cast<char>(m_t[q++]), ++digits;
    }
    if (digits == 0) {
      p = q;
      return CellValue::error(ErrorCode::Value);
    }
    size_t e = skipSpaces(q);
    if (e < m_end && (m_t[e] == u'E' || m_t[e] == u'e')) {
      size_t r = skipSpaces(e + 1);
      std::string exponent = "e";
      if (r < m_end && (m_t[r] == u'+' || m_t[r] == u'-')) {
        if (m_t[r] == u'-')
          exponent += '-';
        r = skipSpaces(r + 1);
      }
      if (r < m_end && isDigit(m_t[r])) {
        while (r < m_end && isDigit(m_t[r]))
          exponent += static_cast<char>(m_t[r++]);
        ascii += exponent;
        q = r;
      }
    }
    p = q;
    double x = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), x);
    if (res.ec == std::errc::result_out_of_range) {
      // Underflow reads as 0; overflow cannot be held by a cell.
      const bool tiny = ascii.find("e-") != std::string::npos;
      return tiny ? CellValue::number(0) : CellValue::error(ErrorCode::Num);
    }
    return finiteNumber(x);
  }

  CellValue arrayElement(std::u16string_view text) {
    size_t a = 0, b = text.size();
    while (a < b && text[a] == u' ')
      ++a;
    while (b > a && text[b - 1] == u' ')
      --b;
    const std::u16string_view e = text.substr(a, b - a);
    if (platform::equalsIgnoreCase(e, u"TRUE"))
      return CellValue::boolean(true);
    if (platform::equalsIgnoreCase(e, u"FALSE"))
      return CellValue::boolean(false);
    const int code = model::findErrorCode(e);
    if (code >= 0)
      return CellValue::error(static_cast<ErrorCode>(code));
    if (!e.empty() && (isDigit(e[0]) || e[0] == m_decimal || e[0] == u'-' || e[0] == u'+')) {
      Reader sub(e, m_ctx);
      size_t q = 0;
      sub.m_end = e.size();
      CellValue n = sub.numberLiteral(q);
      if (q == e.size() && n.isNumber())
        return n;
    }
    std::u16string literal;
    size_t q = 0;
    if (!e.empty() && e[0] == u'"' && readStringLiteral(e, q, e.size(), literal) && q == e.size())
      return CellValue::string(literal);
    return CellValue::string(e);
  }

  // {a,b;c,d}: columns are separated by the thousands separator, rows by any
  // other separator character.
  CellValue arrayConstant(size_t& p) {
    std::vector<std::vector<CellValue>> rows(1);
    size_t q = p + 1;
    size_t start = q;
    bool closed = false;
    while (q < m_end) {
      const char16_t c = m_t[q];
      if (c == u'"') {
        q = std::min(stringLiteralEnd(m_t, q, m_end), m_end);
        continue;
      }
      if (c == u'}' || c == m_thousands || c == u';' || c == m_ls) {
        rows.back().push_back(arrayElement(m_t.substr(start, q - start)));
        if (c == u'}') {
          closed = true;
          ++q;
          break;
        }
        if (c != m_thousands)
          rows.emplace_back();
        start = ++q;
        continue;
      }
      ++q;
    }
    p = q;
    if (!closed)
      return CellValue::error(ErrorCode::Value);
    const size_t columns = rows[0].size();
    std::vector<CellValue> items;
    items.reserve(rows.size() * columns);
    for (auto& row : rows) {
      // Short rows are padded with #N/A; long ones are cut to the first row's width.
      row.resize(columns, CellValue::error(ErrorCode::NA));
      for (auto& v : row)
        items.push_back(std::move(v));
    }
    if (rows.size() > 0xFFFF || columns > 0xFFFF)
      return CellValue::error(ErrorCode::Value);
    return CellValue::array(static_cast<int>(rows.size()),
                            static_cast<int>(columns), std::move(items));
  }

  // Through a range of sheets, the area on every sheet from the first to the
  // last in the workbook's order (either end may be written first): functions
  // that take references walk them all, and a single value is #VALUE!.
  CellValue referenceValue(const ParsedReference& ref) const {
    const int sheet = ref.hasQualifier ? ref.sheet : -1;
    if (ref.lastSheet < 0 || ref.lastSheet == ref.sheet)
      return CellValue::reference(SheetRange::of(static_cast<std::int16_t>(sheet), ref.range()));
    std::vector<SheetRange> areas;
    const bool built = platform::withAllocationQuiet([&] {
      for (int s = std::min(ref.sheet, ref.lastSheet); s <= std::max(ref.sheet, ref.lastSheet); ++s)
        areas.push_back(SheetRange::of(static_cast<std::int16_t>(s), ref.range()));
    });
    if (!built)
      return CellValue::error(ErrorCode::NA);
    return CellValue::areas(std::move(areas));
  }

  // A function call, a constant, a defined name, a reference or literal text.
  Operand word(size_t& p) {
    const std::u16string_view bounded = m_t.substr(0, m_end);
    if (const FunctionEntry* f = lookupFunctionAt(bounded, p)) {
      CellValue result;
      if (call(*f, p, result))
        return {std::move(result)};
    }
    if (const ConstantEntry* k = lookupConstantAt(bounded, p)) {
      p = skipSpaces(p + k->name.size());
      return {k->make()};
    }
    const MacroSeam& seam = macroSeam();
    if (m_ctx.macroRunning && seam.localName) {
      size_t q = p;
      while (q < m_end && !isIdentifierTerminator(m_t[q], m_ls) && m_t[q] != u'"' &&
             m_t[q] != u'{' && m_t[q] != u'}' && m_t[q] != u'!')
        ++q;
      CellValue local;
      if (q > p && (q >= m_end || (m_t[q] != u'(' && m_t[q] != u'!')) &&
          seam.localName(m_t.substr(p, q - p), local)) {
        p = skipSpaces(q);
        return {std::move(local), local.isReference() || local.isMultiArea()};
      }
    }
    if (m_ctx.book) {
      const model::NameLookup n = lookupName(bounded, p);
      if (n.index >= 0) {
        if (n.end < m_end && m_t[n.end] == u'(' && seam.startsMacro &&
            seam.startsMacro(*m_ctx.book, static_cast<size_t>(n.index))) {
          CellValue result;
          size_t q = n.end;
          if (customCall(static_cast<size_t>(n.index), q, result)) {
            p = q;
            return {std::move(result)};
          }
        }
        p = n.end;
        return nameValue(static_cast<size_t>(n.index));
      }
    }
    ParsedReference ref;
    if (readA1ReferenceOrSheetRange(bounded, p, m_ctx.book, m_ls, ref)) {
      p = ref.end;
      return {referenceValue(ref), true};
    }
    if (QualifiedName local; readQualifiedName(bounded, p, m_ctx.book, m_ls, local)) {
      p = local.end;
      return nameValue(static_cast<size_t>(local.index));
    }
    size_t q = p;
    while (q < m_end && !isIdentifierTerminator(m_t[q], m_ls) && m_t[q] != u'"' &&
           m_t[q] != u'{' && m_t[q] != u'}')
      ++q;
    if (q == p)
      q = p + 1;
    // Text that names nothing: it shows as itself, and as a number it is #NAME?.
    CellValue text = CellValue::nameText(m_t.substr(p, q - p));
    p = q;
    return {text};
  }

  // A word of a name's definition names a name of that name's scope, as
  // the definition was written there; one of a global definition that names
  // no global name is still looked up from the formula's sheet.
  model::NameLookup lookupName(std::u16string_view bounded, size_t p) const {
    const model::Workbook& book = *m_ctx.book;
    if (m_ctx.nameScope == EvalContext::kFormulaScope)
      return model::find_name(book, bounded, p, m_ctx.sheet);
    model::NameLookup n = model::find_name(book, bounded, p, m_ctx.nameScope);
    if (m_ctx.nameScope == EvalContext::kWorkbookScope && n.index >= 0 &&
        book.names[static_cast<size_t>(n.index)].sheetIndex != 0)
      n = model::find_name(book, bounded, p, m_ctx.sheet);
    return n;
  }

  Operand nameValue(size_t index) {
    const std::u16string formula = m_ctx.book->names[index].formula;
    if (formula.empty())
      return {CellValue()};
    if (m_ctx.depth + 1 > kMaxReaderDepth)
      return {CellValue::error(ErrorCode::Value)};
    // A name's definition refers to the cells of the sheet the formula is
    // read on, and to the names of its own scope.
    EvalContext inner = m_ctx;
    inner.nameScope = std::max(m_ctx.book->names[index].sheetIndex - 1, EvalContext::kWorkbookScope);
    Reader sub(formula, inner);
    CellValue v = sub.span(0, formula.size());
    m_ctx.book->circular |= inner.book ? inner.book->circular : 0;
    const bool isRef = v.isReference() || v.isMultiArea();
    return {std::move(v), isRef};
  }

  // Splits and checks the argument list of a call at p; on success evaluates
  // it and leaves p after the ")".
  bool call(const FunctionEntry& f, size_t& p, CellValue& result) {
    const size_t open = p + f.name.size();
    ArgumentSpans lease;
    std::vector<std::pair<size_t, size_t>>& args = lease.spans;
    size_t q = open + 1;
    if (!splitArguments(q, args))
      return false;
    // "F()" has no argument, not one empty one.
    if (args.size() == 1 && skipSpaces(args[0].first) == args[0].second)
      args.clear();
    const std::string_view types = f.argTypes;
    if (args.size() > types.size())
      return false;
    for (size_t i = 0; i < types.size(); ++i) {
      const bool required = types[i] >= 'A' && types[i] <= 'Z';
      const bool empty = i >= args.size() || skipSpaces(args[i].first) == args[i].second;
      if (required && empty)
        return false;
    }
    p = q;
    invoke(f, args, result);
    return true;
  }

  // A defined name that starts a macro, called with raw arguments (at most
  // 29); q is at its "(" and ends after the ")".
  bool customCall(size_t nameIndex, size_t& q, CellValue& result) {
    ArgumentSpans lease;
    std::vector<std::pair<size_t, size_t>>& spans = lease.spans;
    size_t r = q + 1;
    if (!splitArguments(r, spans))
      return false;
    if (spans.size() == 1 && skipSpaces(spans[0].first) == spans[0].second)
      spans.clear();
    if (spans.size() > kMaxArguments - 1)
      return false;
    if (m_ctx.depth + 1 > kMaxReaderDepth) {
      q = r;
      result = CellValue::error(ErrorCode::Value);
      return true;
    }
    Arguments args;
    args.count = static_cast<int>(spans.size());
    for (size_t i = 0; i < spans.size(); ++i) {
      if (skipSpaces(spans[i].first) == spans[i].second)
        continue;
      EvalContext argCtx = m_ctx;
      Reader sub(*this, argCtx);
      args[static_cast<int>(i)] = sub.span(spans[i].first, spans[i].second);
    }
    q = skipSpaces(r);
    result = macroSeam().callMacro(*m_ctx.book, nameIndex, args, m_ctx);
    return true;
  }

  bool splitArguments(size_t& q, std::vector<std::pair<size_t, size_t>>& args) const {
    return formula::splitArguments(m_t, q, m_end, m_ls, args);
  }

  void invoke(const FunctionEntry& f, const std::vector<std::pair<size_t, size_t>>& spans,
              CellValue& result);

  std::u16string_view m_t;
  EvalContext& m_ctx;
  const platform::LocaleStrings& m_locale;
  char16_t m_ls, m_decimal, m_thousands;
  size_t m_end = 0;
};

bool isMacroSheet(const EvalContext& ctx) {
  return ctx.book && ctx.sheet >= 0 && ctx.sheet < ctx.book->sheetCount() &&
         ctx.book->sheet(ctx.sheet).kind == model::SheetKind::Macro;
}

char upperLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

} // namespace

CellValue convertArgument(char letter, CellValue v, EvalContext& ctx) {
  const bool isRef = v.isReference() || v.isMultiArea();
  switch (upperLetter(letter)) {
  case 'A': return toSingleValue(v, ctx);
  case 'B': return v;
  case 'C':
  case 'D':
    if (v.isError())
      return v;
    return isRef ? v : CellValue::error(ErrorCode::Ref);
  case 'E': return ctx.arrayMode ? dereference(v, ctx) : v;
  case 'L':
  case 'N':
  case 'S': return toSingleValue(v, ctx);
  case 'P':
    if (v.isEmpty() || v.isNumber() || v.isString())
      return toBoolean(v.isEmpty() ? CellValue::boolean(false) : v);
    return v;
  case 'Q':
  case 'U':
    if (v.isString() || v.isEmpty() || v.isBoolean())
      return CellValue::error(ErrorCode::Value);
    return v;
  case 'R':
    if (v.isEmpty() || v.isString() || v.isBoolean())
      return toNumber(v, ctx);
    return v;
  case 'T': {
    if (v.isArray())
      return v;
    CellValue d = dereference(v, ctx);
    return d.isArray() ? d : (ctx.arrayMode ? d : arrayToSingle(d, ctx));
  }
  default: return v;
  }
}

namespace {

// Converts one element of a dereferenced argument for the letters that convert elements.
CellValue convertElement(char letter, const CellValue& v, EvalContext& ctx) {
  switch (upperLetter(letter)) {
  case 'L': return toBoolean(v);
  case 'N': {
    CellValue n = toNumber(v, ctx);
    return n.isNumber() || n.isError() ? n : CellValue::error(ErrorCode::Value);
  }
  case 'S': return toText(v);
  default: return v;
  }
}

bool lifts(char letter) {
  switch (upperLetter(letter)) {
  case 'B': case 'P': case 'Q': case 'R': case 'T': case 'U': return false;
  default: return true;
  }
}

bool errorPassesThrough(char letter, bool element) {
  switch (upperLetter(letter)) {
  case 'A': case 'D': case 'E': return true;
  case 'B': case 'T': return !element;
  default: return false;
  }
}

void Reader::invoke(const FunctionEntry& f, const std::vector<std::pair<size_t, size_t>>& spans,
                    CellValue& result) {
  const FunctionCategory cat = category(f);
  const bool macroContext = m_ctx.macroRunning && isMacroSheet(m_ctx);
  if ((cat == FunctionCategory::MacroControl || cat == FunctionCategory::MacroCommand) &&
      !macroContext) {
    result = CellValue::boolean(false);
    return;
  }
  // IF with one argument is the macro language's block IF.
  if (functionNumber(f) == 1 && !isAddIn(f) && spans.size() == 1) {
    if (!macroContext || !macroSeam().blockIf) {
      result = CellValue::boolean(false);
      return;
    }
    Arguments args;
    args.count = 1;
    EvalContext argCtx = m_ctx;
    Reader sub(*this, argCtx);
    CellValue v = sub.span(spans[0].first, spans[0].second);
    args[0] = convertArgument('L', std::move(v), argCtx);
    if (!args[0].isError())
      args[0] = convertElement('L', args[0], m_ctx);
    macroSeam().blockIf(args, result, m_ctx);
    return;
  }
  Arguments args;
  args.count = static_cast<int>(spans.size());
  const std::string_view types = f.argTypes;
  std::bitset<kMaxArguments> written;
  for (size_t i = 0; i < spans.size(); ++i) {
    const auto [a, b] = spans[i];
    if (skipSpaces(a) == b)
      continue; // an empty argument stays empty and is not converted
    written[i] = true;
    const char letter = types[i];
    EvalContext argCtx = m_ctx;
    if (upperLetter(letter) == 'Q')
      argCtx.arrayMode = true;
    Reader sub(*this, argCtx);
    CellValue v = sub.span(a, b);
    args[static_cast<int>(i)] = convertArgument(letter, std::move(v), argCtx);
  }
  callWithArguments(f, args, written, result, m_ctx);
}

} // namespace

void callWithArguments(const FunctionEntry& f, Arguments& args, std::bitset<kMaxArguments> written,
                       CellValue& result, EvalContext& ctx) {
  const FunctionHandler handler = handlerOf(f);
  const std::string_view types = f.argTypes;
  const size_t count = static_cast<size_t>(args.count);
  if (types.empty()) {
    handler(args, result, ctx);
    return;
  }
  // Lifting: the smallest element count above one among lifting arguments;
  // the first array of that count shapes the result, so no element is
  // left over from a larger one.
  size_t iterations = 1;
  int carrier = -1;
  for (size_t i = 0; i < count; ++i) {
    const CellValue& v = args[static_cast<int>(i)];
    if (!lifts(types[i]) || !v.isArray())
      continue;
    const size_t n = static_cast<size_t>(v.arrayRows()) * v.arrayColumns();
    if (n > 1 && (iterations == 1 || n < iterations)) {
      carrier = static_cast<int>(i);
      iterations = n;
    }
  }
  // Converts the arguments of one element's computation into `call`: false,
  // with `out` set, when an argument's error is the result. With a single
  // computation `call` is `args` itself, converted in place.
  auto prepare = [&](size_t element, Arguments& call, CellValue& out) {
    for (size_t i = 0; i < count; ++i) {
      const char letter = types[i];
      const CellValue& v = args[static_cast<int>(i)];
      if (lifts(letter) && v.isArray()) {
        const size_t n = static_cast<size_t>(v.arrayRows()) * v.arrayColumns();
        if (n == 0) {
          out = CellValue::error(ErrorCode::NA);
          return false;
        }
        const size_t k = n == 1 ? 0 : element;
        CellValue e = convertElement(letter, v.arrayItem(static_cast<int>(k / v.arrayColumns()),
                                                          static_cast<int>(k % v.arrayColumns())),
                                     ctx);
        if (e.isError() && !errorPassesThrough(letter, true)) {
          out = e;
          return false;
        }
        call[static_cast<int>(i)] = std::move(e);
      } else if (lifts(letter) && written[i]) {
        CellValue e = convertElement(letter, v, ctx);
        if (e.isError() && !errorPassesThrough(letter, false)) {
          out = e;
          return false;
        }
        call[static_cast<int>(i)] = std::move(e);
      } else {
        // An argument left empty must reach the handler empty, so that it
        // takes its default rather than the 0 or FALSE of a converted blank.
        if (v.isError() && !errorPassesThrough(letter, false)) {
          out = v;
          return false;
        }
        if (&call != &args)
          call[static_cast<int>(i)] = v;
      }
    }
    return true;
  };
  if (iterations == 1) {
    if (prepare(0, args, result))
      handler(args, result, ctx);
    return;
  }
  CellValue shaped = args[carrier];
  for (size_t k = 0; k < iterations; ++k) {
    Arguments call;
    call.count = args.count;
    CellValue out;
    if (prepare(k, call, out))
      handler(call, out, ctx);
    shaped.arrayItem(static_cast<int>(k / shaped.arrayColumns()),
                     static_cast<int>(k % shaped.arrayColumns())) = std::move(out);
  }
  result = std::move(shaped);
}

CellValue evaluateSpan(std::u16string_view text, size_t start, size_t end, EvalContext& ctx) {
  end = std::min(end, text.size());
  if (start >= end)
    return CellValue();
  Reader r(text, ctx);
  return r.span(start, end);
}

CellValue evaluateFormula(std::u16string_view text, EvalContext& ctx) {
  CellValue v = evaluateSpan(text, 0, text.size(), ctx);
  v = dereference(v, ctx);
  return arrayToSingle(v, ctx);
}

} // namespace formula
