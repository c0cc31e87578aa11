#include "formula/compiled_formula.h"

#include "formula/engine_state.h"
#include "formula/function_table.h"
#include "formula/reader.h"
#include "formula/reference_syntax.h"
#include "formula/skipper.h"
#include "formula/value_ops.h"
#include "model/workbook.h"
#include "platform/locale_strings.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace formula {

namespace {

enum class Step : std::uint8_t { Number, Cell, Binary, Negate };

struct Op {
  Step step;
  BinaryOp op = BinaryOp::Add;
  std::uint8_t column = 0;
  std::uint16_t row = 0;
  double number = 0;
};

constexpr int kMaxNesting = 32;
constexpr int kMaxValues = 32;

// What the steps were made under: the text, and what decides how its words
// read (the defined names may take a word for themselves) and its
// separators.
struct Kept {
  std::u16string source;
  std::uint64_t namesGeneration = 0;
  const void* namesData = nullptr;
  size_t namesSize = 0;
  char16_t listSeparator = 0;
  char16_t decimalSeparator = 0;
  bool simple = false;
  int values = 0; // the most values on the stack at once
  std::vector<Op> ops;
};

struct KeptFormulas {
  std::unordered_map<const model::CellRecord*, Kept> byCell;
};

// Dead cells leave their entries behind (a record's address may serve
// another cell later, whose text then decides); past this many the map
// starts again.
constexpr size_t kMaxKept = size_t{1} << 21;

char16_t firstOr(const std::u16string& s, char16_t fallback) { return s.empty() ? fallback : s[0]; }

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads the text the way the reader does, as far as the simple kind goes,
// emitting the steps in the order the reader computes.
class Compiler {
public:
  Compiler(std::u16string_view text, model::Workbook& book, EvalContext& ctx, char16_t ls, char16_t decimal,
           std::vector<Op>& out)
      : m_t(text), m_end(text.size()), m_book(book), m_ctx(ctx), m_ls(ls), m_decimal(decimal), m_out(out) {}

  bool run(int& values) {
    if (m_t.empty())
      return false;
    for (const char16_t c : m_t)
      if (c == u' ' || c == u'"' || c == u'%' || c == u'\'' || c == u'{' || c == u'!' || c == u'\n' ||
          c == u'\r')
        return false;
    size_t p = m_t.size() > 1 && m_t[0] == u'=' ? 1 : 0;
    if (!binary(p, 0) || p != m_end)
      return false;
    values = m_most;
    return true;
  }

private:
  void push(const Op& op) {
    m_out.push_back(op);
    if (op.step == Step::Number || op.step == Step::Cell)
      m_most = std::max(m_most, ++m_now);
    else if (op.step == Step::Binary)
      --m_now;
  }

  bool binary(size_t& p, int minLevel) {
    if (!unary(p))
      return false;
    while (p < m_end) {
      BinaryOp op;
      size_t length = 0;
      if (!readBinaryOperator(m_t, p, m_end, m_ls, op, length))
        return true;
      if (op == BinaryOp::Range || op == BinaryOp::Intersect || op == BinaryOp::Union)
        return false;
      if (precedence(op) < minLevel)
        return true;
      p += length;
      if (!binary(p, precedence(op) + 1))
        return false;
      Op o{Step::Binary};
      o.op = op;
      push(o);
    }
    return true;
  }

  bool unary(size_t& p) {
    if (++m_depth > kMaxNesting || m_most > kMaxValues)
      return false;
    bool ok = false;
    if (p < m_end && (m_t[p] == u'+' || m_t[p] == u'-') &&
        !(p + 1 < m_end && (isDigit(m_t[p + 1]) || m_t[p + 1] == m_decimal))) {
      const bool negate = m_t[p] == u'-';
      ++p;
      ok = unary(p);
      if (ok && negate)
        push(Op{Step::Negate});
    } else {
      ok = operand(p);
    }
    --m_depth;
    return ok && m_most <= kMaxValues;
  }

  bool operand(size_t& p) {
    if (p >= m_end)
      return false;
    const char16_t c = m_t[p];
    if (c == u'(')
      return bracket(p);
    if (c == u'+' || c == u'-' || isDigit(c) || c == m_decimal)
      return number(p);
    if (isIdentifierTerminator(c, m_ls) || c == u'}')
      return false;
    // A word: functions, constants and defined names come before references.
    const std::u16string_view bounded = m_t.substr(0, m_end);
    if (lookupFunctionAt(bounded, p) || lookupConstantAt(bounded, p) ||
        model::find_name(m_book, bounded, p, m_ctx.sheet).index >= 0)
      return false;
    ParsedReference ref;
    if (!readA1Reference(bounded, p, &m_book, m_ls, ref) || ref.hasQualifier || ref.isArea)
      return false;
    Op o{Step::Cell};
    o.row = static_cast<std::uint16_t>(ref.first.row);
    o.column = static_cast<std::uint8_t>(ref.first.column);
    push(o);
    p = ref.end;
    return true;
  }

  bool bracket(size_t& p) {
    int depth = 0;
    size_t close = m_end;
    for (size_t i = p; i < m_end; ++i) {
      if (m_t[i] == u'(') {
        ++depth;
      } else if (m_t[i] == u')' && --depth == 0) {
        close = i;
        break;
      }
    }
    if (close == m_end)
      return false;
    const size_t savedEnd = m_end;
    m_end = close;
    size_t q = p + 1;
    const bool ok = binary(q, 0) && q == close;
    m_end = savedEnd;
    p = close + 1;
    return ok;
  }

  // The literal's extent as the reader takes it; its value from the reader.
  bool number(size_t& p) {
    size_t q = p;
    if (m_t[q] == u'+' || m_t[q] == u'-')
      ++q;
    size_t digits = 0;
    while (q < m_end && isDigit(m_t[q]))
      ++q, ++digits;
    if (q < m_end && m_t[q] == m_decimal) {
      ++q;
      while (q < m_end && isDigit(m_t[q]))
        ++q, ++digits;
    }
    if (digits == 0)
      return false;
    if (q < m_end && (m_t[q] == u'E' || m_t[q] == u'e')) {
      size_t r = q + 1;
      if (r < m_end && (m_t[r] == u'+' || m_t[r] == u'-'))
        ++r;
      if (r < m_end && isDigit(m_t[r])) {
        while (r < m_end && isDigit(m_t[r]))
          ++r;
        q = r;
      }
    }
    const CellValue v = evaluateSpan(m_t, p, q, m_ctx);
    if (!v.isNumber())
      return false;
    Op o{Step::Number};
    o.number = v.numberValue();
    push(o);
    p = q;
    return true;
  }

  std::u16string_view m_t;
  size_t m_end;
  model::Workbook& m_book;
  EvalContext& m_ctx;
  char16_t m_ls;
  char16_t m_decimal;
  std::vector<Op>& m_out;
  int m_depth = 0;
  int m_now = 0;
  int m_most = 0;
};

KeptFormulas& keptOf(model::Workbook& book) {
  EngineState& state = engineStateOf(book);
  if (!state.keptFormulas)
    state.keptFormulas = std::make_shared<KeptFormulas>();
  return *static_cast<KeptFormulas*>(state.keptFormulas.get());
}

// Values of the running steps; formulas computed meanwhile (a stale cell
// fetched) stack theirs above, so places are indices, never pointers.
thread_local std::vector<CellValue> t_values;

CellValue run(const Kept& k, EvalContext& ctx) {
  const size_t base = t_values.size();
  struct Restore {
    size_t base;
    ~Restore() { t_values.resize(base); }
  } restore{base};
  t_values.resize(base + static_cast<size_t>(k.values));
  size_t top = base;
  for (const Op& o : k.ops) {
    switch (o.step) {
    case Step::Number:
      t_values[top++] = CellValue::number(o.number);
      break;
    case Step::Cell: {
      CellValue v = fetchCell(ctx, -1, o.row, o.column);
      t_values[top++] = std::move(v);
      break;
    }
    case Step::Binary: {
      --top;
      CellValue v = applyBinary(o.op, t_values[top - 1], t_values[top], ctx);
      t_values[top - 1] = std::move(v);
      break;
    }
    case Step::Negate: {
      CellValue v = applyNegate(t_values[top - 1], ctx);
      t_values[top - 1] = std::move(v);
      break;
    }
    }
  }
  return std::move(t_values[base]);
}

} // namespace

std::optional<CellValue> computeKept(model::Workbook& book, const model::CellRecord& cell, std::u16string_view text,
                                     EvalContext& ctx) {
  if (ctx.arrayMode || ctx.macroRunning)
    return std::nullopt;
  const platform::LocaleStrings& locale = platform::localeStrings();
  const char16_t ls = firstOr(locale.listSeparator, u',');
  const char16_t decimal = firstOr(locale.decimalSeparator, u'.');
  KeptFormulas& kept = keptOf(book);
  auto found = kept.byCell.find(&cell);
  const bool holds = found != kept.byCell.end() && found->second.source == text &&
                     found->second.namesGeneration == book.namesGeneration &&
                     found->second.namesData == book.names.data() && found->second.namesSize == book.names.size() &&
                     found->second.listSeparator == ls && found->second.decimalSeparator == decimal;
  if (!holds) {
    if (kept.byCell.size() >= kMaxKept)
      kept.byCell.clear();
    Kept k;
    k.source.assign(text);
    k.namesGeneration = book.namesGeneration;
    k.namesData = book.names.data();
    k.namesSize = book.names.size();
    k.listSeparator = ls;
    k.decimalSeparator = decimal;
    k.simple = Compiler(text, book, ctx, ls, decimal, k.ops).run(k.values);
    if (!k.simple)
      k.ops.clear();
    k.ops.shrink_to_fit();
    found = kept.byCell.insert_or_assign(&cell, std::move(k)).first;
  }
  if (!found->second.simple)
    return std::nullopt;
  return run(found->second, ctx);
}

void forgetKeptFormulas(model::Workbook& book) { engineStateOf(book).keptFormulas.reset(); }

} // namespace formula
