#pragma once
// Finding the range of a list that holds a cell without walking the list:
// sheets with thousands of merged ranges or array formulas are ordinary.

#include "model/cell_range.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace model {

/// An interval index over a list of cell ranges, valid while the list it
/// was built from is unchanged or has only grown through append.
class RangeIndex {
public:
  RangeIndex() = default;
  explicit RangeIndex(const std::vector<CellRange>& ranges);

  /// The position in the list of the range holding the cell (the first one
  /// when ranges overlap), or -1.
  int find(int row, int column) const;
  /// The position of the first range sharing a cell with `area`, or -1.
  int findIntersecting(const CellRange& area) const;
  /// Takes the range just appended to the list at `position`, so that a
  /// list grown one range at a time between look-ups is not indexed anew
  /// each time. True: the index covers it.
  bool append(const CellRange& range, std::uint32_t position);

private:
  struct Entry {
    CellRange range;
    std::uint32_t position = 0; // in the list
  };
  // The ranges of one part, ordered by first row, then first column, and a
  // tree over that order: the largest last row below each node.
  struct Part {
    std::vector<Entry> byFirstRow;
    std::vector<std::uint16_t> lastRow;
    void build();
    void collect(std::size_t node, std::size_t from, std::size_t to, std::size_t limit,
                 const CellRange& area, int& best) const;
    void findIntersecting(const CellRange& area, int& best) const;
  };

  // Parts of falling sizes: appending adds a part of one range and merges
  // parts of like size, so each range is sorted again only a logarithmic
  // number of times and a look-up searches a logarithmic number of parts.
  std::vector<Part> m_parts;
};

} // namespace model
