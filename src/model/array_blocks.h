#pragma once
// Finding the array block that holds a cell without walking every block:
// workbooks with tens of thousands of array formulas are ordinary.

#include "model/range_index.h"
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
  int find(int row, int column) const { return m_ranges.find(row, column); }

private:
  RangeIndex m_ranges;
};

/// Keeps a sheet's array blocks apart: a block that shares a cell with one
/// that starts above it (or in the same row further left) is dropped.
/// Damaged files are the only source of such blocks.
void dropOverlappingArrayBlocks(std::vector<ArrayFormulaRecord>& blocks);

} // namespace model
