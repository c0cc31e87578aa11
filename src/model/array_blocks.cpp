#include "model/array_blocks.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <numeric>
#include <queue>
#include <utility>

namespace model {

namespace {

std::vector<std::uint32_t> orderByFirstRow(const std::vector<ArrayFormulaRecord>& blocks) {
  std::vector<std::uint32_t> order(blocks.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const CellRange& x = blocks[a].range;
    const CellRange& y = blocks[b].range;
    return x.firstRow != y.firstRow ? x.firstRow < y.firstRow : x.firstColumn < y.firstColumn;
  });
  return order;
}

} // namespace

// The blocks are ordered by first row; a tree over that order keeps the
// largest last row of each span, so a search visits only spans that still
// reach the row asked for: blocks that do not overlap hold at most one per
// column of a row.
ArrayBlockIndex::ArrayBlockIndex(const std::vector<ArrayFormulaRecord>& blocks)
    : m_blocks(blocks), m_byFirstRow(orderByFirstRow(blocks)) {
  if (m_byFirstRow.empty())
    return;
  m_lastRow.assign(4 * m_byFirstRow.size(), 0);
  std::function<void(size_t, size_t, size_t)> build = [&](size_t node, size_t from, size_t to) {
    if (to - from == 1) {
      m_lastRow[node] = m_blocks[m_byFirstRow[from]].range.lastRow;
      return;
    }
    const size_t mid = from + (to - from) / 2;
    build(2 * node, from, mid);
    build(2 * node + 1, mid, to);
    m_lastRow[node] = std::max(m_lastRow[2 * node], m_lastRow[2 * node + 1]);
  };
  build(1, 0, m_byFirstRow.size());
}

void ArrayBlockIndex::collect(size_t node, size_t from, size_t to, size_t limit, int row,
                              int column, int& best) const {
  if (from >= limit || m_lastRow[node] < row)
    return;
  if (to - from == 1) {
    const std::uint32_t b = m_byFirstRow[from];
    if (m_blocks[b].range.contains(row, column) && (best < 0 || static_cast<int>(b) < best))
      best = static_cast<int>(b);
    return;
  }
  const size_t mid = from + (to - from) / 2;
  collect(2 * node, from, mid, limit, row, column, best);
  collect(2 * node + 1, mid, to, limit, row, column, best);
}

int ArrayBlockIndex::find(int row, int column) const {
  if (m_byFirstRow.empty())
    return -1;
  // Only blocks starting at or above the row can hold it.
  const auto end = std::upper_bound(
      m_byFirstRow.begin(), m_byFirstRow.end(), row,
      [&](int r, std::uint32_t b) { return r < m_blocks[b].range.firstRow; });
  const auto limit = static_cast<size_t>(end - m_byFirstRow.begin());
  int best = -1;
  collect(1, 0, m_byFirstRow.size(), limit, row, column, best);
  return best;
}

void dropOverlappingArrayBlocks(std::vector<ArrayFormulaRecord>& blocks) {
  if (blocks.size() < 2)
    return;
  const std::vector<std::uint32_t> order = orderByFirstRow(blocks);
  std::vector<char> keep(blocks.size(), 0);
  // Kept blocks that reach the current row, by first column; their columns
  // never overlap, so only the nearest one to the left can meet a new block.
  std::map<std::uint8_t, std::uint32_t> active;
  using Ending = std::pair<std::uint16_t, std::uint32_t>; // last row, block
  std::priority_queue<Ending, std::vector<Ending>, std::greater<>> endings;
  for (const std::uint32_t b : order) {
    const CellRange& r = blocks[b].range;
    while (!endings.empty() && endings.top().first < r.firstRow) {
      active.erase(blocks[endings.top().second].range.firstColumn);
      endings.pop();
    }
    auto it = active.upper_bound(r.lastColumn);
    if (it != active.begin() && blocks[std::prev(it)->second].range.lastColumn >= r.firstColumn)
      continue;
    keep[b] = 1;
    active.emplace(r.firstColumn, b);
    endings.emplace(r.lastRow, b);
  }
  size_t out = 0;
  for (size_t i = 0; i < blocks.size(); ++i)
    if (keep[i]) {
      if (out != i)
        blocks[out] = std::move(blocks[i]);
      ++out;
    }
  blocks.resize(out);
}

} // namespace model
