#pragma once
// Finding the array block that holds a cell without walking every block:
// workbooks with tens of thousands of array formulas are ordinary.

#include "model/sheet.h"

#include <cstdint>
#include <vector>

namespace model {

/// A read-only index over a sheet's array blocks, valid while the list it
/// was built from is unchanged.
class ArrayBlockIndex {
public:
  explicit ArrayBlockIndex(const std::vector<ArrayFormulaRecord>& blocks);

  /// The position in the list of the block holding the cell (the first one
  /// when blocks overlap), or -1.
  int find(int row, int column) const;

private:
  void collect(size_t node, size_t from, size_t to, size_t limit, int row, int column,
               int& best) const;

  const std::vector<ArrayFormulaRecord>& m_blocks;
  std::vector<std::uint32_t> m_byFirstRow; // block positions ordered by first row
  std::vector<std::uint16_t> m_lastRow;    // tree over that order: largest last row below
};

/// Keeps a sheet's array blocks apart: a block that shares a cell with one
/// that starts above it (or in the same row further left) is dropped.
/// Damaged files are the only source of such blocks.
void dropOverlappingArrayBlocks(std::vector<ArrayFormulaRecord>& blocks);

} // namespace model
