#include "formula/compiled_formula.h"

#include "formula/engine_state.h"
#include "formula/function_call.h"
#include "formula/function_table.h"
#include "formula/moved_copy.h"
#include "formula/reader.h"
#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "formula/skipper.h"
#include "formula/value_ops.h"
#include "model/workbook.h"
#include "platform/locale_strings.h"

#include <algorithm>
#include <bitset>
#include <string>
#include <unordered_map>
#include <vector>

namespace formula {

namespace {

enum class Step : std::uint8_t { Number, Value, Reference, Cell, Record, Empty, Binary, Negate, Convert, Call };

// Which parts of a Cell or Reference step stay put when the steps serve
// another cell: the "$" marks as written.
enum : std::uint8_t { kRowFixed = 1, kColumnFixed = 2, kLastRowFixed = 4, kLastColumnFixed = 8 };

// 32 bytes.
struct Op {
  explicit Op(Step s) : step(s) {}

  Step step;
  char letter = 0;            // Convert: the argument's letter
  std::uint8_t count = 0;     // Call: arguments on the stack
  std::uint8_t fixed = 0;     // Cell, Reference: the k...Fixed marks
  BinaryOp op = BinaryOp::Add;
  // Cell, Reference: the corners as written, for the cell the steps were
  // made for; the parts not fixed move with the computing cell.
  std::uint16_t row = 0;
  std::uint16_t lastRow = 0;
  std::uint8_t column = 0;
  std::uint8_t lastColumn = 0;
  std::uint32_t written = 0; // Call: the arguments not left empty
  // Small steps run faster: goal seek walks them over and over.
  union {
    double number = 0;                   // Number
    std::uint32_t index;                 // Value: place in the kept values
    const FunctionEntry* function;       // Call
    model::CellRecord* record;           // Record: a Cell step's cell, found once (null: none stored)
  };
};

static_assert(sizeof(Op) <= 32);

constexpr int kMaxNesting = 32;
constexpr int kMaxValues = 64;

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
  // Its references are written as they are formatted, so the same steps
  // serve any cell whose text is this one with the relative parts moved.
  bool movable = true;
  int sheet = 0;
  int row = 0; // the cell the steps were made for
  int column = 0;
  int values = 0; // the most values on the stack at once
  std::vector<Op> ops;
  std::vector<CellValue> constants; // texts and constants of the steps
  std::vector<WrittenReference> refs; // in the order of the text
};

// Filled-down and filled-right formulas repeat one text with its relative
// references moved: the steps made for one cell are tried for the next cell
// of its column and for the next cell computed, before steps are made anew.
struct KeptFormulas {
  std::unordered_map<const model::CellRecord*, std::shared_ptr<const Kept>> byCell;
  std::vector<std::vector<std::shared_ptr<const Kept>>> lastInColumn; // [sheet][column]
  std::shared_ptr<const Kept> lastUsed;
  // Whether a defined name could read as a moved reference (the name
  // would win over it): the steps then serve their own cell only.
  std::uint64_t namesGeneration = 0;
  const void* namesData = nullptr;
  size_t namesSize = 0;
  bool namesChecked = false;
  bool namesLookLikeCells = false;
};

// Dead cells leave their entries behind (a record's address may serve
// another cell later, whose text then decides); past this many the map
// starts again.
constexpr size_t kMaxKept = size_t{1} << 21;

char16_t firstOr(const std::u16string& s, char16_t fallback) { return s.empty() ? fallback : s[0]; }

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char upperLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Reads the text the way the reader does, as far as the kept kind goes,
// emitting the steps in the order the reader computes.
class Compiler {
public:
  Compiler(std::u16string_view text, model::Workbook& book, EvalContext& ctx, char16_t ls, char16_t decimal,
           Kept& out)
      : m_t(text), m_end(text.size()), m_book(book), m_ctx(ctx), m_ls(ls), m_decimal(decimal), m_out(out) {}

  bool run(int& values) {
    if (m_t.empty())
      return false;
    // Spaces (the intersection), percent signs, sheet names and array
    // constants are the reader's alone; inside texts anything goes.
    for (size_t i = 0; i < m_t.size(); ++i) {
      const char16_t c = m_t[i];
      if (c == u'"') {
        const size_t q = stringLiteralEnd(m_t, i, m_t.size());
        if (q == std::u16string_view::npos)
          return false;
        i = q - 1;
      } else if (c == u' ' || c == u'%' || c == u'\'' || c == u'{' || c == u'!' || c == u'\n' || c == u'\r') {
        return false;
      }
    }
    size_t p = m_t.size() > 1 && m_t[0] == u'=' ? 1 : 0;
    if (!binary(p, 0) || p != m_end)
      return false;
    keepCellsForOperators();
    values = m_most;
    return true;
  }

private:
  void push(const Op& op) {
    m_out.ops.push_back(op);
    switch (op.step) {
    case Step::Number:
    case Step::Value:
    case Step::Reference:
    case Step::Cell:
    case Step::Record:
    case Step::Empty: m_most = std::max(m_most, ++m_now); break;
    case Step::Binary: --m_now; break;
    case Step::Call:
      m_now = m_now - op.count + 1;
      m_most = std::max(m_most, m_now);
      break;
    case Step::Negate:
    case Step::Convert: break;
    }
  }

  void pushValue(Step step, CellValue v) {
    Op o{step};
    o.index = static_cast<std::uint32_t>(m_out.constants.size());
    m_out.constants.push_back(std::move(v));
    push(o);
  }

  // A single cell that an operator takes is fetched as a value at once: the
  // operators read a single-cell reference as its cell's value.
  void keepCellsForOperators() {
    std::vector<size_t> stack; // the step that made each value; npos for results
    constexpr size_t kResult = static_cast<size_t>(-1);
    auto take = [&](size_t at) {
      if (at == kResult)
        return;
      Op& o = m_out.ops[at];
      if (o.step != Step::Reference)
        return;
      // One cell wherever the steps serve: both corners move alike.
      const bool lastFixed = (o.fixed & kLastRowFixed) != 0, lastColumnFixed = (o.fixed & kLastColumnFixed) != 0;
      if (o.row != o.lastRow || o.column != o.lastColumn || ((o.fixed & kRowFixed) != 0) != lastFixed ||
          ((o.fixed & kColumnFixed) != 0) != lastColumnFixed)
        return;
      o.step = Step::Cell;
    };
    for (size_t i = 0; i < m_out.ops.size(); ++i) {
      const Op& o = m_out.ops[i];
      switch (o.step) {
      case Step::Number:
      case Step::Value:
      case Step::Reference:
      case Step::Cell:
      case Step::Record:
      case Step::Empty: stack.push_back(i); break;
      case Step::Binary: {
        const size_t rhs = stack.back();
        stack.pop_back();
        take(stack.back());
        take(rhs);
        stack.back() = kResult;
        break;
      }
      case Step::Negate:
        take(stack.back());
        stack.back() = kResult;
        break;
      case Step::Convert: stack.back() = kResult; break;
      case Step::Call:
        stack.resize(stack.size() - o.count + 1);
        stack.back() = kResult;
        break;
      }
    }
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
    if (c == u'"') {
      std::u16string s;
      if (!readStringLiteral(m_t, p, m_end, s))
        return false;
      pushValue(Step::Value, CellValue::string(s));
      return true;
    }
    if (c == u'(')
      return bracket(p);
    if (c == u'+' || c == u'-' || isDigit(c) || c == m_decimal)
      return number(p);
    if (isIdentifierTerminator(c, m_ls) || c == u'}')
      return false;
    // A word: functions, constants and defined names come before references.
    const std::u16string_view bounded = m_t.substr(0, m_end);
    if (const FunctionEntry* f = lookupFunctionAt(bounded, p))
      return call(*f, p);
    if (const ConstantEntry* k = lookupConstantAt(bounded, p)) {
      pushValue(Step::Value, k->make());
      p += k->name.size();
      return true;
    }
    if (model::find_name(m_book, bounded, p, m_ctx.sheet).index >= 0)
      return false;
    ParsedReference ref;
    if (!readA1Reference(bounded, p, &m_book, m_ls, ref) || ref.hasQualifier)
      return false;
    WrittenReference span;
    span.begin = static_cast<std::uint32_t>(ref.begin);
    span.end = static_cast<std::uint32_t>(ref.end);
    span.first = ref.first;
    span.last = ref.isArea ? ref.last : ref.first;
    span.isArea = ref.isArea;
    char16_t written[kMaxWrittenReference];
    const size_t length = writeMovedReference(span, 0, 0, written);
    if (length == 0 || m_t.substr(ref.begin, ref.end - ref.begin) != std::u16string_view(written, length))
      m_out.movable = false;
    m_out.refs.push_back(span);
    Op o{Step::Reference};
    o.row = static_cast<std::uint16_t>(span.first.row);
    o.column = static_cast<std::uint8_t>(span.first.column);
    o.lastRow = static_cast<std::uint16_t>(span.last.row);
    o.lastColumn = static_cast<std::uint8_t>(span.last.column);
    o.fixed = static_cast<std::uint8_t>((span.first.rowAbsolute ? kRowFixed : 0) |
                                        (span.first.columnAbsolute ? kColumnFixed : 0) |
                                        (span.last.rowAbsolute ? kLastRowFixed : 0) |
                                        (span.last.columnAbsolute ? kLastColumnFixed : 0));
    push(o);
    p = ref.end;
    return true;
  }

  // A call the reader would make at p, its arguments checked as it checks
  // them; anything it would read otherwise is left to it.
  bool call(const FunctionEntry& f, size_t& p) {
    const FunctionCategory cat = category(f);
    if (cat == FunctionCategory::MacroControl || cat == FunctionCategory::MacroCommand)
      return false;
    size_t q = p + f.name.size() + 1;
    std::vector<std::pair<size_t, size_t>> args;
    if (!splitArguments(m_t, q, m_end, m_ls, args))
      return false;
    if (args.size() == 1 && args[0].first == args[0].second)
      args.clear();
    const std::string_view types = f.argTypes;
    if (args.size() > types.size())
      return false;
    for (size_t i = 0; i < types.size(); ++i) {
      const bool required = types[i] >= 'A' && types[i] <= 'Z';
      if (required && (i >= args.size() || args[i].first == args[i].second))
        return false;
    }
    // IF with one argument is the macro language's block IF.
    if (functionNumber(f) == 1 && !isAddIn(f) && args.size() == 1)
      return false;
    Op o{Step::Call};
    o.function = &f;
    o.count = static_cast<std::uint8_t>(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      const auto [a, b] = args[i];
      if (a == b) {
        push(Op{Step::Empty});
        continue;
      }
      o.written |= std::uint32_t{1} << i;
      const size_t before = m_out.ops.size();
      const size_t savedEnd = m_end;
      m_end = b;
      size_t r = a;
      const bool ok = binary(r, 0) && r == b;
      m_end = savedEnd;
      if (!ok)
        return false;
      // Array-mode arguments are kept only where that mode cannot change
      // their value: a literal or a reference.
      if (upperLetter(types[i]) == 'Q' &&
          !(m_out.ops.size() == before + 1 &&
            (m_out.ops[before].step == Step::Number || m_out.ops[before].step == Step::Value ||
             m_out.ops[before].step == Step::Reference)))
        return false;
      Op convert{Step::Convert};
      convert.letter = types[i];
      push(convert);
    }
    push(o);
    p = q;
    return true;
  }

  bool bracket(size_t& p) {
    int depth = 0;
    size_t close = m_end;
    for (size_t i = p; i < m_end; ++i) {
      if (m_t[i] == u'"') {
        const size_t q = stringLiteralEnd(m_t, i, m_end);
        if (q == std::u16string_view::npos)
          return false;
        i = q - 1;
      } else if (m_t[i] == u'(') {
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
  Kept& m_out;
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
// fetched) stack theirs above, so places are indices, never pointers. The
// places stay between formulas (each overwrites what it uses).
thread_local std::vector<CellValue> t_values;
thread_local size_t t_used = 0;

// Runs `count` steps over the kept values `constants` for a cell `rows`
// and `columns` away from the one they were made for; `values` places are
// enough for the stack.
CellValue run(const Op* ops, size_t count, const CellValue* constants, int values, int rows, int columns,
              EvalContext& ctx) {
  const size_t base = t_used;
  if (t_values.size() < base + static_cast<size_t>(values))
    t_values.resize(base + static_cast<size_t>(values));
  struct Restore {
    size_t base;
    int& depth;
    ~Restore() {
      t_used = base;
      --depth;
    }
  } restore{base, ctx.depth};
  t_used = base + static_cast<size_t>(values);
  ++ctx.depth; // as the reader counts the formula's own span
  size_t top = base;
  for (const Op* end = ops + count; ops != end; ++ops) {
    const Op& o = *ops;
    switch (o.step) {
    case Step::Number: t_values[top++] = CellValue::number(o.number); break;
    case Step::Value: t_values[top++] = constants[o.index]; break;
    case Step::Reference: {
      const int r1 = (o.fixed & kRowFixed) ? o.row : o.row + rows;
      const int c1 = (o.fixed & kColumnFixed) ? o.column : o.column + columns;
      const int r2 = (o.fixed & kLastRowFixed) ? o.lastRow : o.lastRow + rows;
      const int c2 = (o.fixed & kLastColumnFixed) ? o.lastColumn : o.lastColumn + columns;
      model::CellRange a;
      a.firstRow = static_cast<std::uint16_t>(std::min(r1, r2));
      a.lastRow = static_cast<std::uint16_t>(std::max(r1, r2));
      a.firstColumn = static_cast<std::uint8_t>(std::min(c1, c2));
      a.lastColumn = static_cast<std::uint8_t>(std::max(c1, c2));
      t_values[top++] = CellValue::reference(model::SheetRange::of(-1, a));
      break;
    }
    case Step::Cell: {
      const int r = (o.fixed & kRowFixed) ? o.row : o.row + rows;
      const int c = (o.fixed & kColumnFixed) ? o.column : o.column + columns;
      CellValue v = fetchCell(ctx, -1, r, c);
      t_values[top++] = std::move(v);
      break;
    }
    case Step::Record: {
      // As fetchCell, without looking the cell up.
      model::CellRecord* c = o.record;
      if (!c) {
        t_values[top++] = CellValue();
        break;
      }
      if (c->calcState == model::CalcState::NotValid)
        computeCell(*ctx.book, ctx.sheet, *c, ctx.macroRunning);
      else if (c->calcState == model::CalcState::OnPath)
        noteCircularReference(*ctx.book);
      t_values[top++] = c->value;
      break;
    }
    case Step::Empty: t_values[top++] = CellValue(); break;
    // Operands leave their places first: an area's cell computed on the
    // way may run steps of its own and move the places.
    case Step::Binary: {
      --top;
      // Sums, differences and products of two numbers, as the operator
      // computes them, without moving the operands (goal seek runs these
      // steps many times over).
      if (CellValue& l = t_values[top - 1]; l.isNumber() && t_values[top].isNumber() &&
                                            (o.op == BinaryOp::Add || o.op == BinaryOp::Subtract ||
                                             o.op == BinaryOp::Multiply)) {
        const double x = l.numberValue();
        const double y = t_values[top].numberValue();
        l = finiteNumber(o.op == BinaryOp::Add ? x + y : o.op == BinaryOp::Subtract ? x - y : x * y);
        break;
      }
      const CellValue rhs = std::move(t_values[top]);
      const CellValue lhs = std::move(t_values[top - 1]);
      CellValue v = applyBinary(o.op, lhs, rhs, ctx);
      t_values[top - 1] = std::move(v);
      break;
    }
    case Step::Negate: {
      const CellValue operand = std::move(t_values[top - 1]);
      CellValue v = applyNegate(operand, ctx);
      t_values[top - 1] = std::move(v);
      break;
    }
    case Step::Convert: {
      CellValue v = convertArgument(o.letter, std::move(t_values[top - 1]), ctx);
      t_values[top - 1] = std::move(v);
      break;
    }
    case Step::Call: {
      Arguments args;
      args.count = o.count;
      top -= o.count;
      for (int i = 0; i < o.count; ++i)
        args[i] = std::move(t_values[top + static_cast<size_t>(i)]);
      CellValue result;
      callWithArguments(*o.function, args, std::bitset<kMaxArguments>(o.written), result, ctx);
      t_values[top++] = std::move(result);
      break;
    }
    }
  }
  CellValue v = std::move(t_values[base]);
  if (v.isReference() || v.isMultiArea())
    v = dereference(v, ctx);
  if (v.isArray())
    v = arrayToSingle(v, ctx);
  return v;
}

// True when `text` at (row, column) is the kept text with its relative
// references moved along: the kept steps then compute it.
bool serves(const Kept& k, std::u16string_view text, int row, int column) {
  const int rows = row - k.row;
  const int columns = column - k.column;
  return (k.movable || (rows == 0 && columns == 0)) && isMovedCopy(k.source, k.refs, text, rows, columns);
}

// The cell's kept form for its text: steps made for another cell of the
// same shape, or made now when the text, the names or the separators
// changed since.
const Kept& keptFor(model::Workbook& book, const model::CellRecord& cell, std::u16string_view text,
                    EvalContext& ctx) {
  const platform::LocaleStrings& locale = platform::localeStrings();
  const char16_t ls = firstOr(locale.listSeparator, u',');
  const char16_t decimal = firstOr(locale.decimalSeparator, u'.');
  KeptFormulas& kept = keptOf(book);
  const int row = cell.row;
  const int column = cell.column;
  const auto current = [&](const Kept& k) {
    return k.namesGeneration == book.namesGeneration && k.namesData == book.names.data() &&
           k.namesSize == book.names.size() && k.listSeparator == ls && k.decimalSeparator == decimal;
  };
  if (!kept.namesChecked || kept.namesGeneration != book.namesGeneration || kept.namesData != book.names.data() ||
      kept.namesSize != book.names.size()) {
    kept.namesChecked = true;
    kept.namesGeneration = book.namesGeneration;
    kept.namesData = book.names.data();
    kept.namesSize = book.names.size();
    kept.namesLookLikeCells = false;
    for (const model::DefinedName& n : book.names)
      kept.namesLookLikeCells = kept.namesLookLikeCells || nameCouldReadAsCell(n.name);
  }
  const bool share = !kept.namesLookLikeCells && ctx.sheet >= 0 && ctx.sheet < model::kMaxSheets &&
                     column >= 0 && column < model::kColumnCount;
  std::shared_ptr<const Kept>* inColumn = nullptr;
  if (share) {
    if (kept.lastInColumn.size() <= static_cast<size_t>(ctx.sheet))
      kept.lastInColumn.resize(static_cast<size_t>(ctx.sheet) + 1);
    auto& columns = kept.lastInColumn[static_cast<size_t>(ctx.sheet)];
    if (columns.empty())
      columns.resize(model::kColumnCount);
    inColumn = &columns[static_cast<size_t>(column)];
    for (const std::shared_ptr<const Kept>* tried : {inColumn, &kept.lastUsed}) {
      const Kept* k = tried->get();
      if (k && k->sheet == ctx.sheet && current(*k) && serves(*k, text, row, column)) {
        if (tried != inColumn)
          *inColumn = *tried;
        else
          kept.lastUsed = *tried;
        return *k;
      }
    }
  }
  auto found = kept.byCell.find(&cell);
  if (found == kept.byCell.end() || !(found->second->sheet == ctx.sheet && current(*found->second) &&
                                      serves(*found->second, text, row, column))) {
    if (kept.byCell.size() >= kMaxKept)
      kept.byCell.clear();
    auto k = std::make_shared<Kept>();
    k->source.assign(text);
    k->namesGeneration = book.namesGeneration;
    k->namesData = book.names.data();
    k->namesSize = book.names.size();
    k->listSeparator = ls;
    k->decimalSeparator = decimal;
    k->sheet = ctx.sheet;
    k->row = row;
    k->column = column;
    k->simple = Compiler(text, book, ctx, ls, decimal, *k).run(k->values);
    if (!k->simple) {
      k->ops.clear();
      k->constants.clear();
      k->refs.clear();
      k->movable = false;
    }
    k->ops.shrink_to_fit();
    k->constants.shrink_to_fit();
    k->refs.shrink_to_fit();
    found = kept.byCell.insert_or_assign(&cell, std::move(k)).first;
  }
  if (inColumn && found->second->movable) {
    *inColumn = found->second;
    kept.lastUsed = found->second;
  }
  return *found->second;
}

} // namespace

std::optional<CellValue> computeKept(model::Workbook& book, const model::CellRecord& cell, std::u16string_view text,
                                     EvalContext& ctx) {
  if (ctx.arrayMode || ctx.macroRunning)
    return std::nullopt;
  const Kept& k = keptFor(book, cell, text, ctx);
  if (!k.simple)
    return std::nullopt;
  return run(k.ops.data(), k.ops.size(), k.constants.data(), k.values, cell.row - k.row, cell.column - k.column,
             ctx);
}

// The steps of the whole chain in one run of memory, in the chain's order:
// replaying walks them front to back.
struct KeptChain::Steps {
  struct Entry {
    std::uint32_t first = 0; // into ops
    std::uint32_t count = 0;
    int values = 0;
    int rows = 0; // the cell's place from the one the steps were made for
    int columns = 0;
    bool prepared = false;
  };
  std::vector<Entry> entries;
  std::vector<Op> ops;
  std::vector<CellValue> constants;
};

KeptChain::KeptChain(model::Workbook& book, const std::vector<std::pair<int, model::CellRecord*>>& cells)
    : m_steps(std::make_unique<Steps>()) {
  m_steps->entries.resize(cells.size());
  for (size_t i = 0; i < cells.size(); ++i) {
    const auto [sheet, cell] = cells[i];
    if (!cell->isFormula || cell->keepsFileValue || sheet < 0 || sheet >= book.sheetCount())
      continue;
    EvalContext ctx;
    ctx.book = &book;
    ctx.sheet = sheet;
    ctx.row = cell->row;
    ctx.column = cell->column;
    const Kept& k = keptFor(book, *cell, cell->input.view(), ctx);
    if (!k.simple || m_steps->ops.size() + k.ops.size() > UINT32_MAX ||
        m_steps->constants.size() + k.constants.size() > UINT32_MAX)
      continue;
    Steps::Entry& e = m_steps->entries[i];
    e.first = static_cast<std::uint32_t>(m_steps->ops.size());
    e.count = static_cast<std::uint32_t>(k.ops.size());
    e.values = k.values;
    e.prepared = true;
    const auto constantsBase = static_cast<std::uint32_t>(m_steps->constants.size());
    m_steps->constants.insert(m_steps->constants.end(), k.constants.begin(), k.constants.end());
    // The cells read stay where they are while only an input's value
    // changes: each is found once.
    const model::Sheet& s = book.sheet(sheet);
    const int rows = cell->row - k.row;
    const int columns = cell->column - k.column;
    for (Op o : k.ops) {
      if (o.step == Step::Value) {
        o.index += constantsBase;
      } else if (o.step == Step::Cell) {
        const int r = (o.fixed & kRowFixed) ? o.row : o.row + rows;
        const int c = (o.fixed & kColumnFixed) ? o.column : o.column + columns;
        o.step = Step::Record;
        o.record = s.hasGrid() && model::isValidCell(r, c) ? s.cells.at(r, c) : nullptr;
      }
      m_steps->ops.push_back(o);
    }
    e.rows = rows;
    e.columns = columns;
  }
}

KeptChain::~KeptChain() = default;

bool KeptChain::prepared(size_t index) const {
  return index < m_steps->entries.size() && m_steps->entries[index].prepared;
}

std::optional<CellValue> KeptChain::compute(size_t index, EvalContext& ctx) {
  if (ctx.arrayMode || ctx.macroRunning || !prepared(index))
    return std::nullopt;
  const Steps::Entry& e = m_steps->entries[index];
  return run(m_steps->ops.data() + e.first, e.count, m_steps->constants.data(), e.values, e.rows, e.columns, ctx);
}

void forgetKeptFormulas(model::Workbook& book) { engineStateOf(book).keptFormulas.reset(); }

} // namespace formula
