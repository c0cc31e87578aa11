#include "model/array_blocks.h"

#include <algorithm>
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

std::vector<CellRange> rangesOf(const std::vector<ArrayFormulaRecord>& blocks) {
  std::vector<CellRange> out;
  out.reserve(blocks.size());
  for (const ArrayFormulaRecord& b : blocks)
    out.push_back(b.range);
  return out;
}

} // namespace

ArrayBlockIndex::ArrayBlockIndex(const std::vector<ArrayFormulaRecord>& blocks) : m_ranges(rangesOf(blocks)) {}

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
