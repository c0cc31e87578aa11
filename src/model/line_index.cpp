#include "model/line_index.h"

#include "model/sheet.h"
#include "platform/text_metrics.h"

#include <algorithm>
#include <new>

namespace model {

namespace {

int lineOf(const RowRecord& r) { return r.row; }
int lineOf(const ColumnRecord& c) { return c.column; }

} // namespace

LineIndex::LineIndex(const std::vector<RowRecord>& records) { build(records); }
LineIndex::LineIndex(const std::vector<ColumnRecord>& records) { build(records); }

template <class Record> void LineIndex::build(const std::vector<Record>& records) {
  m_lines.reserve(records.size());
  m_units.reserve(records.size());
  for (const Record& r : records) {
    const int line = lineOf(r);
    m_lines.push_back(line);
    if (r.flags & kLineHidden) {
      m_units.push_back(0);
      if (!m_hidden.empty() && m_hidden.back().end == line)
        m_hidden.back().end = line + 1;
      else
        m_hidden.push_back({line, line + 1});
    } else {
      m_units.push_back((r.flags & kLineDefaultSize) ? kDefaultUnits : r.size);
    }
  }
}

int LineIndex::nextShown(int line) const {
  // The last run starting at or before the line; runs never touch, so the
  // line is either inside it or shown.
  auto it = std::upper_bound(m_hidden.begin(), m_hidden.end(), line,
                             [](int l, const Run& r) { return l < r.first; });
  if (it == m_hidden.begin())
    return line;
  --it;
  return line < it->end ? it->end : line;
}

bool LineIndex::ensureSums(int defaultUnits, int factor, int divisor) const {
  if (m_sumsDefault == defaultUnits && m_sumsFactor == factor && m_sumsDivisor == divisor &&
      m_sums.size() == m_units.size())
    return true;
  m_sumsDefault = -1;
  try {
    m_sums.resize(m_units.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  const long long defaultPx = platform::mulDiv(defaultUnits, factor, divisor);
  long long total = 0;
  int next = 0; // the first line not yet counted
  for (size_t i = 0; i < m_units.size(); ++i) {
    const std::uint32_t u = m_units[i];
    total += static_cast<long long>(m_lines[i] - next) * defaultPx +
             (u == kDefaultUnits ? defaultPx : platform::mulDiv(static_cast<int>(u), factor, divisor));
    m_sums[i] = total;
    next = m_lines[i] + 1;
  }
  m_sumsDefault = defaultUnits;
  m_sumsFactor = factor;
  m_sumsDivisor = divisor;
  return true;
}

long long LineIndex::offset(int limit, int defaultUnits, int factor, int divisor) const {
  const long long defaultPx = platform::mulDiv(defaultUnits, factor, divisor);
  // Records before the limit, then the lines between the last of them and the limit.
  const auto k = static_cast<size_t>(std::lower_bound(m_lines.begin(), m_lines.end(), limit) - m_lines.begin());
  if (ensureSums(defaultUnits, factor, divisor)) {
    if (k == 0)
      return static_cast<long long>(limit) * defaultPx;
    return m_sums[k - 1] + static_cast<long long>(limit - m_lines[k - 1] - 1) * defaultPx;
  }
  // No memory for the sums: count the records one by one.
  long long total = 0;
  int next = 0;
  for (size_t i = 0; i < k; ++i) {
    const std::uint32_t u = m_units[i];
    total += static_cast<long long>(m_lines[i] - next) * defaultPx +
             (u == kDefaultUnits ? defaultPx : platform::mulDiv(static_cast<int>(u), factor, divisor));
    next = m_lines[i] + 1;
  }
  return total + static_cast<long long>(limit - next) * defaultPx;
}

} // namespace model
