#include "functions/criteria.h"

#include "formula/value_ops.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>

namespace functions {

namespace {

// Simple case folding of one code unit. Surrogates stay as they are: a
// character outside the BMP compares exactly.
inline char16_t foldUnit(char16_t c) {
  if (c < 0x80)
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF)
    return c;
  const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
  return f <= 0xFFFF ? static_cast<char16_t>(f) : c;
}

bool equalsFolded(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && foldUnit(a[i]) != foldUnit(b[i]))
      return false;
  return true;
}

// The operator at the start of a criterion text and its length.
struct OperatorPrefix {
  std::u16string_view text;
  CriterionOp op;
};
// Two-character operators come first so that "<=" is not read as "<".
constexpr OperatorPrefix kOperators[] = {
    {u"<>", CriterionOp::NotEqual},
    {u">=", CriterionOp::GreaterEqual},
    {u"<=", CriterionOp::LessEqual},
    {u"=",  CriterionOp::Equal},
    {u">",  CriterionOp::Greater},
    {u"<",  CriterionOp::Less},
};

// Whether a comparison result (negative, zero, positive) satisfies an ordering operator.
bool orderHolds(CriterionOp op, int c) {
  switch (op) {
  case CriterionOp::Less: return c < 0;
  case CriterionOp::LessEqual: return c <= 0;
  case CriterionOp::Greater: return c > 0;
  case CriterionOp::GreaterEqual: return c >= 0;
  default: return false;
  }
}

int compareNumbers(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

// A string cell's value as typed text would read: numbers, dates, times,
// percentages and currency amounts count.
bool readsAsNumber(std::u16string_view text, const formula::TextOptions& options, double& out) {
  if (text.empty())
    return false;
  const formula::Classification c = formula::classifyText(text, options);
  if (c.kind != formula::TextClass::Number || !c.value.isNumber())
    return false;
  out = c.value.numberValue();
  return true;
}

} // namespace

// ---- wildcards ----

WildcardPattern::WildcardPattern(std::u16string_view pattern, bool caseSensitive)
    : m_caseSensitive(caseSensitive) {
  m_items.reserve(pattern.size());
  auto literal = [&](char16_t c) {
    m_items.push_back(caseSensitive ? c : foldUnit(c));
    ++m_fixedLength;
  };
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'~' && i + 1 < pattern.size() &&
        (pattern[i + 1] == u'*' || pattern[i + 1] == u'?' || pattern[i + 1] == u'~')) {
      literal(pattern[++i]);
    } else if (c == u'*') {
      // A run of stars matches what one star matches; keeping one keeps the matcher linear in it.
      if (m_items.empty() || m_items.back() != kStar)
        m_items.push_back(kStar);
      m_wild = true;
    } else if (c == u'?') {
      m_items.push_back(kAny);
      ++m_fixedLength;
      m_wild = true;
    } else {
      literal(c);
    }
  }
}

bool WildcardPattern::matches(std::u16string_view text) const {
  const size_t n = text.size(), m = m_items.size();
  if (n < m_fixedLength)
    return false;
  auto unitAt = [&](size_t j) -> std::uint32_t {
    return m_caseSensitive ? text[j] : foldUnit(text[j]);
  };
  if (!m_wild) {
    if (n != m)
      return false;
    for (size_t j = 0; j < n; ++j)
      if (m_items[j] != text[j] && m_items[j] != unitAt(j))
        return false;
    return true;
  }
  // Greedy two-pointer walk. On a mismatch only the most recent star needs to
  // take one more character: an earlier star's extra characters could be
  // given to the later star instead, so retrying earlier stars finds nothing
  // new. Each retry advances the restart point, which bounds the work by
  // pattern length x text length.
  size_t i = 0, j = 0;
  size_t starItem = m, starText = 0; // m: no star seen yet
  while (j < n) {
    if (i < m) {
      const std::uint32_t p = m_items[i];
      if (p == kStar) {
        starItem = i++;
        starText = j;
        continue;
      }
      if (p == kAny || p == text[j] || p == unitAt(j)) {
        ++i;
        ++j;
        continue;
      }
    }
    if (starItem == m)
      return false;
    i = starItem + 1;
    j = ++starText;
  }
  while (i < m && m_items[i] == kStar)
    ++i;
  return i == m;
}

size_t WildcardPattern::matchPrefix(std::u16string_view text, bool longest) const {
  const size_t m = m_items.size();
  // live[i]: the text read so far can be matched by the first i elements.
  std::vector<char> live(m + 1, 0), next(m + 1, 0);
  const auto closeOverStars = [&](std::vector<char>& s) {
    for (size_t i = 0; i < m; ++i)
      if (s[i] && m_items[i] == kStar)
        s[i + 1] = 1;
  };
  live[0] = 1;
  closeOverStars(live);
  size_t found = live[m] ? 0 : npos;
  if (found == 0 && !longest)
    return 0;
  for (size_t j = 0; j < text.size(); ++j) {
    std::fill(next.begin(), next.end(), 0);
    const std::uint32_t unit = m_caseSensitive ? text[j] : foldUnit(text[j]);
    bool any = false;
    for (size_t i = 0; i < m; ++i) {
      if (!live[i])
        continue;
      const std::uint32_t p = m_items[i];
      if (p == kStar)
        next[i] = 1;
      else if (p == kAny || p == text[j] || p == unit)
        next[i + 1] = 1;
      else
        continue;
      any = true;
    }
    if (!any)
      break;
    closeOverStars(next);
    live.swap(next);
    if (live[m]) {
      found = j + 1;
      if (!longest)
        return found;
    }
  }
  return found;
}

bool wildcardMatch(std::u16string_view pattern, std::u16string_view text, bool caseSensitive) {
  return WildcardPattern(pattern, caseSensitive).matches(text);
}

int compareFolded(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = foldUnit(a[i]), y = foldUnit(b[i]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// ---- single criteria ----

Criterion parseCriterion(const CellValue& value, const formula::TextOptions& options) {
  Criterion c;
  c.kind = value.kind();
  c.options = options;
  switch (value.kind()) {
  case model::ValueKind::Number: c.number = value.numberValue(); break;
  case model::ValueKind::Boolean: c.boolean = value.booleanValue(); break;
  case model::ValueKind::Error: c.error = value.errorValue(); break;
  case model::ValueKind::String: {
    std::u16string_view text = value.stringValue();
    for (const OperatorPrefix& o : kOperators) {
      if (text.starts_with(o.text)) {
        c.op = o.op;
        text.remove_prefix(o.text.size());
        break;
      }
    }
    c.operand = std::u16string(text);
    c.operandIsNumber = readsAsNumber(text, options, c.number);
    if (equalsFolded(text, u"TRUE") || equalsFolded(text, u"FALSE")) {
      c.operandIsBoolean = true;
      c.boolean = equalsFolded(text, u"TRUE");
    }
    c.pattern = WildcardPattern(text);
    break;
  }
  default: break;
  }
  return c;
}

bool Criterion::numberAccepts(double x) const { return operandIsNumber && x == number; }

bool Criterion::equalTest(const CellValue& v) const {
  switch (v.kind()) {
  case model::ValueKind::Empty: return operand.empty();
  case model::ValueKind::Number: return numberAccepts(v.numberValue());
  case model::ValueKind::String: {
    if (pattern.matches(v.stringValue()))
      return true;
    double x = 0;
    return operandIsNumber && readsAsNumber(v.stringValue(), options, x) && x == number;
  }
  case model::ValueKind::Boolean:
    return equalsFolded(operand, v.booleanValue() ? u"TRUE" : u"FALSE");
  case model::ValueKind::Error: return equalsFolded(operand, model::errorText(v.errorValue()));
  default: return false;
  }
}

bool Criterion::orderTest(const CellValue& v) const {
  switch (v.kind()) {
  case model::ValueKind::Number:
    return operandIsNumber && orderHolds(op, compareNumbers(v.numberValue(), number));
  case model::ValueKind::String: {
    // A numeric operand asks for a numeric comparison: text that does not
    // read as a number is not "greater than 10" merely because letters sort
    // after digits. A text operand compares as text.
    if (operandIsNumber) {
      double x = 0;
      return readsAsNumber(v.stringValue(), options, x) &&
             orderHolds(op, compareNumbers(x, number));
    }
    return orderHolds(op, compareFolded(v.stringValue(), operand));
  }
  case model::ValueKind::Boolean:
    return operandIsBoolean &&
           orderHolds(op, static_cast<int>(v.booleanValue()) - static_cast<int>(boolean));
  default: return false;
  }
}

bool Criterion::matches(const CellValue& v) const {
  switch (kind) {
  case model::ValueKind::Empty: return v.isNumber() && v.numberValue() == 0;
  case model::ValueKind::Number: {
    if (v.isNumber())
      return v.numberValue() == number;
    if (v.isString()) {
      const CellValue x = formula::stringToNumber(v.stringValue(), options);
      return x.isNumber() && x.numberValue() == number;
    }
    return false;
  }
  case model::ValueKind::Boolean: return v.isBoolean() && v.booleanValue() == boolean;
  case model::ValueKind::Error: return v.isError() && v.errorValue() == error;
  case model::ValueKind::String: break;
  default: return false;
  }
  if (v.isArray() || v.isReference() || v.isMultiArea())
    return false;
  // "=" with nothing after it asks for blank cells: a cell holding empty
  // text is not blank, so "=" passes it over and "<>" takes it.
  const bool blankOnly = operand.empty() && v.isString();
  switch (op) {
  case CriterionOp::None: return equalTest(v);
  case CriterionOp::Equal: return !blankOnly && equalTest(v);
  case CriterionOp::NotEqual: return blankOnly || !equalTest(v);
  default: return orderTest(v);
  }
}

std::u16string headerText(const CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::String: return std::u16string(v.stringValue());
  case model::ValueKind::Number: {
    const CellValue t = formula::toText(v);
    return t.isString() ? std::u16string(t.stringValue()) : std::u16string();
  }
  case model::ValueKind::Boolean: return v.booleanValue() ? u"TRUE" : u"FALSE";
  case model::ValueKind::Error: return std::u16string(model::errorText(v.errorValue()));
  default: return {};
  }
}

// ---- criteria tables ----

void CriteriaTable::setHeaders(std::span<const std::u16string> databaseHeaders,
                               std::span<const CellValue> criteriaHeaders) {
  m_columnOf.assign(criteriaHeaders.size(), -1);
  m_rows.clear();
  m_used.clear();
  m_selectsAll = false;
  for (size_t j = 0; j < criteriaHeaders.size(); ++j) {
    const std::u16string h = headerText(criteriaHeaders[j]);
    for (size_t k = 0; k < databaseHeaders.size(); ++k) {
      if (equalsFolded(h, databaseHeaders[k])) {
        m_columnOf[j] = static_cast<int>(k);
        break;
      }
    }
  }
}

void CriteriaTable::addRow(std::span<const CellValue> cells, const formula::TextOptions& options) {
  std::vector<Test> tests;
  const size_t n = std::min(cells.size(), m_columnOf.size());
  for (size_t j = 0; j < n; ++j) {
    if (m_columnOf[j] < 0 || cells[j].isEmpty())
      continue;
    tests.push_back({m_columnOf[j], parseCriterion(cells[j], options)});
    const auto at = std::lower_bound(m_used.begin(), m_used.end(), m_columnOf[j]);
    if (at == m_used.end() || *at != m_columnOf[j])
      m_used.insert(at, m_columnOf[j]);
  }
  if (tests.empty())
    m_selectsAll = true;
  m_rows.push_back(std::move(tests));
}

bool CriteriaTable::build(std::span<const std::u16string> databaseHeaders,
                          std::span<const CellValue> criteria, int columns,
                          const formula::TextOptions& options) {
  if (columns <= 0 || criteria.size() < 2 * static_cast<size_t>(columns))
    return false;
  const size_t width = static_cast<size_t>(columns);
  setHeaders(databaseHeaders, criteria.subspan(0, width));
  for (size_t r = width; r + width <= criteria.size(); r += width)
    addRow(criteria.subspan(r, width), options);
  return true;
}

bool CriteriaTable::matches(std::span<const CellValue> record) const {
  if (m_selectsAll)
    return true;
  static const CellValue kEmpty;
  for (const std::vector<Test>& row : m_rows) {
    const bool all = std::all_of(row.begin(), row.end(), [&](const Test& t) {
      const size_t k = static_cast<size_t>(t.column);
      return t.criterion.matches(k < record.size() ? record[k] : kEmpty);
    });
    if (all)
      return true;
  }
  return false;
}

// ---- CriteriaIndex ----

namespace {

std::u16string foldedText(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out)
    c = foldUnit(c);
  return out;
}

std::uint64_t numberHash(double x) {
  if (x == 0)
    return 0; // 0 and -0 are one value
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits * 0x9E3779B97F4A7C15ull;
}

std::uint64_t valueHash(const CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Number: return numberHash(v.numberValue());
  case model::ValueKind::String: return std::hash<std::u16string_view>()(v.stringValue()) ^ 1;
  case model::ValueKind::Boolean: return 2 + (v.booleanValue() ? 1 : 0);
  case model::ValueKind::Error: return 8 + static_cast<std::uint64_t>(v.errorValue());
  default: return 4;
  }
}

// A text equal to the operand under folding is all a plain operand matches.
bool plainOperand(const Criterion& c) {
  return !c.operand.empty() && c.operand.find_first_of(u"*?~") == std::u16string::npos;
}

} // namespace

void CriteriaIndex::add(std::uint32_t offset, const CellValue& value) {
  ++m_cells;
  std::vector<int>& ids = m_byHash[valueHash(value)];
  for (int id : ids) {
    Group& g = m_groups[static_cast<size_t>(id)];
    if (g.value == value) {
      g.offsets.push_back(offset);
      return;
    }
  }
  ids.push_back(static_cast<int>(m_groups.size()));
  m_groups.push_back(Group{value, {offset}});
}

void CriteriaIndex::finish(const formula::TextOptions& options) {
  for (size_t i = 0; i < m_groups.size(); ++i) {
    Group& g = m_groups[i];
    const int id = static_cast<int>(i);
    if (g.value.isNumber())
      continue; // found through m_byHash
    if (!g.value.isString()) {
      m_others.push_back(id);
      continue;
    }
    const std::u16string_view text = g.value.stringValue();
    m_byFoldedText[foldedText(text)].push_back(id);
    g.readsNumber = readsAsNumber(text, options, g.number);
    if (g.readsNumber)
      m_byTextNumber[g.number == 0 ? 0.0 : g.number].push_back(id);
    const CellValue x = formula::stringToNumber(text, options);
    g.toNumber = x.isNumber();
    if (g.toNumber) {
      g.converted = x.numberValue();
      m_byConverted[g.converted == 0 ? 0.0 : g.converted].push_back(id);
    }
  }
}

template <class Fn> void CriteriaIndex::forEachMatchingGroup(const Criterion& c, Fn&& fn) const {
  std::vector<char> seen;
  auto take = [&](int id) {
    if (seen.empty())
      seen.assign(m_groups.size(), 0);
    if (seen[static_cast<size_t>(id)])
      return;
    seen[static_cast<size_t>(id)] = 1;
    const Group& g = m_groups[static_cast<size_t>(id)];
    if (c.matches(g.value))
      fn(g);
  };
  auto numberGroup = [&](double x) {
    if (auto it = m_byHash.find(numberHash(x)); it != m_byHash.end())
      for (int id : it->second)
        if (m_groups[static_cast<size_t>(id)].value.isNumber())
          take(id);
  };
  auto listed = [&](const auto& map, double x) {
    if (auto it = map.find(x == 0 ? 0.0 : x); it != map.end())
      for (int id : it->second)
        take(id);
  };
  switch (c.kind) {
  case model::ValueKind::Number:
    // Numbers equal to it, and texts the evaluator converts to it.
    numberGroup(c.number);
    listed(m_byConverted, c.number);
    return;
  case model::ValueKind::Empty:
    numberGroup(0);
    return;
  case model::ValueKind::Boolean:
  case model::ValueKind::Error:
    for (int id : m_others)
      take(id);
    return;
  case model::ValueKind::String:
    if ((c.op == CriterionOp::None || c.op == CriterionOp::Equal) && plainOperand(c)) {
      // Texts equal under folding, numbers and texts reading as the
      // operand's number, and the few booleans, errors and blanks.
      if (auto it = m_byFoldedText.find(foldedText(c.operand)); it != m_byFoldedText.end())
        for (int id : it->second)
          take(id);
      if (c.operandIsNumber) {
        numberGroup(c.number);
        listed(m_byTextNumber, c.number);
      }
      for (int id : m_others)
        take(id);
      return;
    }
    break;
  default: return;
  }
  for (size_t id = 0; id < m_groups.size(); ++id)
    take(static_cast<int>(id));
}

size_t CriteriaIndex::count(const Criterion& c) const {
  size_t n = 0;
  forEachMatchingGroup(c, [&](const Group& g) { n += g.offsets.size(); });
  return n;
}

std::vector<std::uint32_t> CriteriaIndex::offsets(const Criterion& c) const {
  std::vector<std::uint32_t> out;
  size_t groups = 0;
  forEachMatchingGroup(c, [&](const Group& g) {
    out.insert(out.end(), g.offsets.begin(), g.offsets.end());
    ++groups;
  });
  if (groups > 1)
    std::sort(out.begin(), out.end());
  return out;
}

} // namespace functions
