#pragma once
// Finding the range of a list that holds a cell without walking the list:
// sheets with thousands of merged ranges or array formulas are ordinary.

#include "model/cell_range.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace model {

/// An interval index over a list of cell ranges, valid while the list it
/// was built from is unchanged.
class RangeIndex {
public:
  RangeIndex() = default;
  explicit RangeIndex(const std::vector<CellRange>& ranges);

  /// The position in the list of the range holding the cell (the first one
  /// when ranges overlap), or -1.
  int find(int row, int column) const;

private:
  struct Entry {
    CellRange range;
    std::uint32_t position = 0; // in the list
  };
  void collect(std::size_t node, std::size_t from, std::size_t to, std::size_t limit, int row, int column, int& best) const;

  std::vector<Entry> m_byFirstRow; // ordered by first row, then first column
  std::vector<std::uint16_t> m_lastRow; // tree over that order: the largest last row below each node
};

} // namespace model
