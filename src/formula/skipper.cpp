#include "formula/skipper.h"

#include "formula/reference_syntax.h"
#include "model/cell_value.h"
#include "platform/locale_strings.h"

#include <algorithm>

namespace formula {
namespace {

// Nesting beyond this is refused by the entry check: deeper texts are not
// formulas anybody types, and checking them must not exhaust the stack.
constexpr int kMaxNesting = 1000;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

size_t skipSpaces(std::u16string_view t, size_t p) {
  while (p < t.size() && t[p] == u' ')
    ++p;
  return p;
}

// Finds the ")" matching the "(" at p by depth counting, quotes respected;
// npos when there is none.
size_t matchingClose(std::u16string_view t, size_t p, char16_t open, char16_t close) {
  int depth = 0;
  for (size_t i = p; i < t.size(); ++i) {
    const char16_t c = t[i];
    if (c == u'"') {
      const size_t q = stringLiteralEnd(t, i);
      if (q == std::u16string_view::npos)
        return std::u16string_view::npos;
      i = q - 1;
    } else if (c == open) {
      ++depth;
    } else if (c == close && --depth == 0) {
      return i;
    }
  }
  return std::u16string_view::npos;
}

// The length of an error literal ("#DIV/0!", "#N/A", ...) at p, or 0.
size_t errorLiteralLength(std::u16string_view t, size_t p) {
  for (int i = 0; i < model::kErrorCodeCount; ++i) {
    const std::u16string_view e = model::errorText(static_cast<model::ErrorCode>(i));
    if (t.size() - p < e.size())
      continue;
    bool same = true;
    for (size_t k = 0; k < e.size() && same; ++k) {
      char16_t c = t[p + k];
      if (c >= u'a' && c <= u'z')
        c = static_cast<char16_t>(c - 32);
      same = c == e[k];
    }
    if (same)
      return e.size();
  }
  return 0;
}

size_t skipNumber(std::u16string_view t, size_t p, char16_t decimal) {
  while (p < t.size() && isDigit(t[p]))
    ++p;
  if (p < t.size() && t[p] == decimal) {
    ++p;
    while (p < t.size() && isDigit(t[p]))
      ++p;
  }
  // An exponent may be separated from the mantissa and its sign by spaces.
  size_t q = skipSpaces(t, p);
  if (q < t.size() && (t[q] == u'E' || t[q] == u'e')) {
    size_t r = skipSpaces(t, q + 1);
    if (r < t.size() && (t[r] == u'+' || t[r] == u'-'))
      r = skipSpaces(t, r + 1);
    if (r < t.size() && isDigit(t[r])) {
      while (r < t.size() && isDigit(t[r]))
        ++r;
      return r;
    }
  }
  return p;
}

// Walks formula text, recording whether it is well formed as it goes.
class Walker {
public:
  Walker(std::u16string_view text, char16_t ls, char16_t decimal)
      : m_t(text), m_ls(ls), m_decimal(decimal) {}

  bool ok = true;

  size_t operand(size_t p, int depth) {
    p = skipSpaces(m_t, p);
    if (p >= m_t.size()) {
      ok = false;
      return p;
    }
    const char16_t c = m_t[p];
    if (c == u'"') {
      const size_t q = stringLiteralEnd(m_t, p);
      if (q == std::u16string_view::npos) {
        ok = false;
        return m_t.size();
      }
      return q;
    }
    if (c == u'(') {
      if (depth >= kMaxNesting) {
        ok = false;
        return m_t.size();
      }
      size_t inner = expression(p + 1, depth + 1);
      // Inside brackets the list separator is the union operator: (A1,B2:C3).
      while (ok && inner < m_t.size() && m_t[inner] == m_ls)
        inner = expression(inner + 1, depth + 1);
      if (inner >= m_t.size() || m_t[inner] != u')') {
        ok = false;
        const size_t close = matchingClose(m_t, p, u'(', u')');
        return close == std::u16string_view::npos ? m_t.size() : close + 1;
      }
      return inner + 1;
    }
    if (c == u'{') {
      const size_t close = matchingClose(m_t, p, u'{', u'}');
      if (close == std::u16string_view::npos || close == p + 1) {
        ok = false;
        return m_t.size();
      }
      return close + 1;
    }
    if (c == u'+' || c == u'-') {
      if (depth >= kMaxNesting) {
        ok = false;
        return m_t.size();
      }
      return operand(p + 1, depth + 1);
    }
    if (isDigit(c) || c == m_decimal)
      return skipNumber(m_t, p, m_decimal);
    if (c == u'#') {
      const size_t n = errorLiteralLength(m_t, p);
      if (n > 0)
        return p + n;
    }
    if (c == u'\'') {
      // A quoted sheet name (or a range of sheets), then the rest of the reference.
      SheetQualifierNames names;
      bool malformed = false;
      if (!readSheetQualifierNames(m_t, p, m_ls, true, names, malformed)) {
        ok = false;
        return m_t.size();
      }
      p = names.next;
      const size_t end = identifier(p);
      if (end == p)
        ok = false;
      return end;
    }
    const size_t end = identifier(p);
    if (end == p) {
      ok = false; // an operator or closing bracket where an operand belongs
      return p;
    }
    if (end < m_t.size() && m_t[end] == u'(')
      return arguments(end, depth);
    return end;
  }

  // Skips "(" arguments ")" of a call; each argument is empty or an expression.
  size_t arguments(size_t open, int depth) {
    if (depth >= kMaxNesting) {
      ok = false;
      return m_t.size();
    }
    size_t p = open + 1;
    while (true) {
      p = skipSpaces(m_t, p);
      if (p < m_t.size() && (m_t[p] == m_ls || m_t[p] == u')')) {
        // An empty argument.
      } else {
        p = expression(p, depth + 1);
      }
      if (p >= m_t.size()) {
        ok = false;
        return p;
      }
      if (m_t[p] == u')')
        return p + 1;
      if (m_t[p] != m_ls) {
        ok = false;
        return p;
      }
      ++p;
    }
  }

  size_t expression(size_t p, int depth) {
    while (true) {
      const size_t after = operand(p, depth);
      if (!ok)
        return after;
      p = skipSpaces(m_t, after);
      // Postfix percent signs.
      while (p < m_t.size() && m_t[p] == u'%') {
        const size_t q = skipSpaces(m_t, p + 1);
        if (q < m_t.size() && !isOperatorChar(m_t[q], m_ls) && m_t[q] != u')' && m_t[q] != u'}')
          break; // a remainder operator with an operand after it
        p = q;
      }
      if (p >= m_t.size() || m_t[p] == m_ls || m_t[p] == u')' || m_t[p] == u'}')
        return p;
      if (isOperatorChar(m_t[p], m_ls)) {
        const char16_t op = m_t[p];
        ++p;
        if ((op == u'<' || op == u'>') && p < m_t.size() &&
            (m_t[p] == u'=' || (op == u'<' && m_t[p] == u'>')))
          ++p;
        continue;
      }
      if (p > after)
        continue; // spaces between two operands: the intersection operator
      ok = false;
      return p;
    }
  }

private:
  size_t identifier(size_t p) const {
    while (p < m_t.size() && !isIdentifierTerminator(m_t[p], m_ls) && m_t[p] != u'"' &&
           m_t[p] != u'{' && m_t[p] != u'}')
      ++p;
    return p;
  }

  std::u16string_view m_t;
  char16_t m_ls;
  char16_t m_decimal;
};

char16_t localeDecimal() {
  const std::u16string& d = platform::localeStrings().decimalSeparator;
  return d.empty() ? u'.' : d[0];
}

} // namespace

size_t stringLiteralEnd(std::u16string_view text, size_t pos, size_t end) {
  end = std::min(end, text.size());
  for (size_t q = pos + 1; q < end; ++q) {
    if (text[q] != u'"')
      continue;
    if (q + 1 < end && text[q + 1] == u'"') {
      ++q;
      continue;
    }
    return q + 1;
  }
  return std::u16string_view::npos;
}

bool readStringLiteral(std::u16string_view text, size_t& pos, size_t end, std::u16string& out) {
  const size_t close = stringLiteralEnd(text, pos, end);
  if (close == std::u16string_view::npos)
    return false;
  out.clear();
  for (size_t q = pos + 1; q + 1 < close; ++q) {
    out += text[q];
    if (text[q] == u'"')
      ++q; // the second of a doubled quote
  }
  pos = close;
  return true;
}

bool isOperatorChar(char16_t c, char16_t ls) {
  switch (c) {
  case u'&': case u'*': case u':': case u'<': case u'=': case u'>': case u'^':
  case u'%': case u'+': case u'-': case u'/':
    return true;
  default:
    return c == ls;
  }
}

bool readBinaryOperator(std::u16string_view text, size_t pos, size_t end, char16_t ls,
                        BinaryOp& op, size_t& length) {
  end = std::min(end, text.size());
  size_t q = pos;
  while (q < end && text[q] == u' ')
    ++q;
  if (q >= end)
    return false;
  const char16_t c = text[q];
  const char16_t next = q + 1 < end ? text[q + 1] : 0;
  length = q - pos + 1;
  switch (c) {
  case u'+': op = BinaryOp::Add; return true;
  case u'-': op = BinaryOp::Subtract; return true;
  case u'*': op = BinaryOp::Multiply; return true;
  case u'/': op = BinaryOp::Divide; return true;
  case u'^': op = BinaryOp::Power; return true;
  case u'%': op = BinaryOp::Remainder; return true;
  case u'&': op = BinaryOp::Concat; return true;
  case u':': op = BinaryOp::Range; return true;
  case u'=': op = BinaryOp::Equal; return true;
  case u'<':
    op = next == u'=' ? BinaryOp::LessEqual : next == u'>' ? BinaryOp::NotEqual : BinaryOp::Less;
    length += (next == u'=' || next == u'>') ? 1 : 0;
    return true;
  case u'>':
    op = next == u'=' ? BinaryOp::GreaterEqual : BinaryOp::Greater;
    length += next == u'=' ? 1 : 0;
    return true;
  default: break;
  }
  if (c == ls) {
    op = BinaryOp::Union;
    return true;
  }
  if (c == u')' || c == u'}')
    return false;
  if (q > pos) {
    op = BinaryOp::Intersect;
    length = q - pos;
    return true;
  }
  return false;
}

bool splitArguments(std::u16string_view t, size_t& pos, size_t end, char16_t ls,
                    std::vector<std::pair<size_t, size_t>>& args) {
  end = std::min(end, t.size());
  int depth = 0;
  size_t start = pos;
  for (size_t i = pos; i < end; ++i) {
    const char16_t c = t[i];
    if (c == u'"' || c == u'\'') {
      // Both quotes double to stand for themselves, so skipping from each
      // quote to the next one steps over a doubled quote as two literals.
      size_t close = i + 1;
      while (close < end && t[close] != c)
        ++close;
      if (close >= end)
        return false;
      i = close;
    } else if (c == u'(' || c == u'{') {
      ++depth;
    } else if ((c == u')' || c == u'}') && depth > 0) {
      --depth;
    } else if (depth == 0 && (c == ls || c == u')')) {
      args.emplace_back(start, i);
      if (c == u')') {
        pos = i + 1;
        return true;
      }
      start = i + 1;
    } else if (depth == 0 && c == u'}') {
      return false;
    }
  }
  return false;
}

size_t skipExpression(std::u16string_view text, size_t pos, char16_t listSeparator) {
  Walker w(text, listSeparator, localeDecimal());
  return std::min(w.expression(pos, 0), text.size());
}

size_t skipOperand(std::u16string_view text, size_t pos, char16_t listSeparator) {
  Walker w(text, listSeparator, localeDecimal());
  return std::min(w.operand(pos, 0), text.size());
}

bool isWellFormedFormula(std::u16string_view text, char16_t listSeparator) {
  if (text.empty())
    return false;
  size_t p = 0;
  if (text[0] == u'=') {
    p = 1;
  } else if (text[0] != u'+' && text[0] != u'-') {
    return false;
  }
  p = skipSpaces(text, p);
  if (p >= text.size())
    return false;
  Walker w(text, listSeparator, localeDecimal());
  const size_t end = w.expression(p, 0);
  return w.ok && end == text.size();
}

} // namespace formula
