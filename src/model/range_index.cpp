#include "model/range_index.h"

#include <algorithm>

namespace model {

namespace {

bool byFirstRow(const CellRange& a, const CellRange& b) {
  return a.firstRow != b.firstRow ? a.firstRow < b.firstRow : a.firstColumn < b.firstColumn;
}

} // namespace

// The ranges are ordered by first row; a tree over that order keeps the
// largest last row of each span, so a search visits only spans that still
// reach the rows asked for: ranges that do not overlap hold at most one per
// column of a row.
void RangeIndex::Part::build() {
  std::stable_sort(byFirstRow.begin(), byFirstRow.end(),
                   [](const Entry& a, const Entry& b) { return model::byFirstRow(a.range, b.range); });
  lastRow.assign(byFirstRow.empty() ? 0 : 4 * byFirstRow.size(), 0);
  if (byFirstRow.empty())
    return;
  // Bottom-up over the same halving the search uses.
  struct Frame {
    size_t node, from, to;
    bool childrenDone;
  };
  std::vector<Frame> stack{{1, 0, byFirstRow.size(), false}};
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    if (f.to - f.from == 1) {
      lastRow[f.node] = byFirstRow[f.from].range.lastRow;
      continue;
    }
    if (f.childrenDone) {
      lastRow[f.node] = std::max(lastRow[2 * f.node], lastRow[2 * f.node + 1]);
      continue;
    }
    const size_t mid = f.from + (f.to - f.from) / 2;
    stack.push_back({f.node, f.from, f.to, true});
    stack.push_back({2 * f.node, f.from, mid, false});
    stack.push_back({2 * f.node + 1, mid, f.to, false});
  }
}

void RangeIndex::Part::collect(size_t node, size_t from, size_t to, size_t limit,
                               const CellRange& area, int& best) const {
  if (from >= limit || lastRow[node] < area.firstRow)
    return;
  if (to - from == 1) {
    const Entry& e = byFirstRow[from];
    if (e.range.intersects(area) && (best < 0 || static_cast<int>(e.position) < best))
      best = static_cast<int>(e.position);
    return;
  }
  const size_t mid = from + (to - from) / 2;
  collect(2 * node, from, mid, limit, area, best);
  collect(2 * node + 1, mid, to, limit, area, best);
}

void RangeIndex::Part::findIntersecting(const CellRange& area, int& best) const {
  if (byFirstRow.empty())
    return;
  // Only ranges starting at or above the area's last row can reach it.
  const auto end = std::upper_bound(byFirstRow.begin(), byFirstRow.end(), area.lastRow,
                                    [](int r, const Entry& e) { return r < e.range.firstRow; });
  collect(1, 0, byFirstRow.size(), static_cast<size_t>(end - byFirstRow.begin()), area, best);
}

RangeIndex::RangeIndex(const std::vector<CellRange>& ranges) {
  if (ranges.empty())
    return;
  Part part;
  part.byFirstRow.reserve(ranges.size());
  for (size_t i = 0; i < ranges.size(); ++i)
    part.byFirstRow.push_back({ranges[i], static_cast<std::uint32_t>(i)});
  part.build();
  m_parts.push_back(std::move(part));
}

int RangeIndex::findIntersecting(const CellRange& area) const {
  int best = -1;
  for (const Part& part : m_parts)
    part.findIntersecting(area, best);
  return best;
}

int RangeIndex::find(int row, int column) const {
  if (row < 0 || row > kMaxRow || column < 0 || column > kMaxColumn)
    return -1;
  const auto r = static_cast<std::uint16_t>(row);
  const auto c = static_cast<std::uint8_t>(column);
  return findIntersecting(CellRange{r, c, r, c});
}

bool RangeIndex::append(const CellRange& range, std::uint32_t position) {
  // Built aside and put in place at the end, so running out of memory
  // leaves the index as it was.
  m_parts.reserve(m_parts.size() + 1);
  Part part;
  part.byFirstRow.push_back({range, position});
  size_t merged = m_parts.size();
  while (merged > 0 && m_parts[merged - 1].byFirstRow.size() <= part.byFirstRow.size()) {
    --merged;
    const std::vector<Entry>& other = m_parts[merged].byFirstRow;
    part.byFirstRow.insert(part.byFirstRow.end(), other.begin(), other.end());
  }
  part.build();
  m_parts.resize(merged);
  m_parts.push_back(std::move(part));
  return true;
}

} // namespace model
