#include "model/range_index.h"

#include <algorithm>

namespace model {

// The ranges are ordered by first row; a tree over that order keeps the
// largest last row of each span, so a search visits only spans that still
// reach the row asked for: ranges that do not overlap hold at most one per
// column of a row.
RangeIndex::RangeIndex(const std::vector<CellRange>& ranges) {
  m_byFirstRow.reserve(ranges.size());
  for (size_t i = 0; i < ranges.size(); ++i)
    m_byFirstRow.push_back({ranges[i], static_cast<std::uint32_t>(i)});
  std::stable_sort(m_byFirstRow.begin(), m_byFirstRow.end(), [](const Entry& a, const Entry& b) {
    return a.range.firstRow != b.range.firstRow ? a.range.firstRow < b.range.firstRow
                                                : a.range.firstColumn < b.range.firstColumn;
  });
  if (m_byFirstRow.empty())
    return;
  m_lastRow.assign(4 * m_byFirstRow.size(), 0);
  // Bottom-up over the same halving the search uses.
  struct Frame {
    size_t node, from, to;
    bool childrenDone;
  };
  std::vector<Frame> stack{{1, 0, m_byFirstRow.size(), false}};
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    if (f.to - f.from == 1) {
      m_lastRow[f.node] = m_byFirstRow[f.from].range.lastRow;
      continue;
    }
    if (f.childrenDone) {
      m_lastRow[f.node] = std::max(m_lastRow[2 * f.node], m_lastRow[2 * f.node + 1]);
      continue;
    }
    const size_t mid = f.from + (f.to - f.from) / 2;
    stack.push_back({f.node, f.from, f.to, true});
    stack.push_back({2 * f.node, f.from, mid, false});
    stack.push_back({2 * f.node + 1, mid, f.to, false});
  }
}

void RangeIndex::collect(size_t node, size_t from, size_t to, size_t limit, int row, int column,
                         int& best) const {
  if (from >= limit || m_lastRow[node] < row)
    return;
  if (to - from == 1) {
    const Entry& e = m_byFirstRow[from];
    if (e.range.contains(row, column) && (best < 0 || static_cast<int>(e.position) < best))
      best = static_cast<int>(e.position);
    return;
  }
  const size_t mid = from + (to - from) / 2;
  collect(2 * node, from, mid, limit, row, column, best);
  collect(2 * node + 1, mid, to, limit, row, column, best);
}

int RangeIndex::find(int row, int column) const {
  if (m_byFirstRow.empty())
    return -1;
  // Only ranges starting at or above the row can hold it.
  const auto end = std::upper_bound(m_byFirstRow.begin(), m_byFirstRow.end(), row,
                                    [](int r, const Entry& e) { return r < e.range.firstRow; });
  int best = -1;
  collect(1, 0, m_byFirstRow.size(), static_cast<size_t>(end - m_byFirstRow.begin()), row, column, best);
  return best;
}

} // namespace model
