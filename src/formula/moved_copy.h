#pragma once
// Filled copies of a formula: the same text with its relative references
// moved along with the cell. What is worked out for one copy (its steps, its
// tokens, the cells it reads) serves every other copy.

#include "formula/reference_syntax.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace formula {

/// A reference as written in formula text without a qualifier: where it
/// stands and its corners as written (a single cell has last == first).
struct WrittenReference {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  RefCorner first;
  RefCorner last;
  bool isArea = false;
};

/// "$IV$65536:$IV$65536" is the longest reference written.
inline constexpr size_t kMaxWrittenReference = 24;

/// Writes `ref` with its relative parts moved by (rows, columns), as
/// appendCellAddress writes corners, into `out` (kMaxWrittenReference
/// characters); returns the length, 0 when a corner leaves the sheet.
size_t writeMovedReference(const WrittenReference& ref, int rows, int columns, char16_t* out);

/// True when `text` is `source` with each of its references `refs` (in text
/// order, each written as writeMovedReference writes it) moved by (rows,
/// columns): a filled copy of the formula.
bool isMovedCopy(std::u16string_view source, const std::vector<WrittenReference>& refs,
                 std::u16string_view text, int rows, int columns);

/// True when a defined name with this text could stand where a moved
/// reference is written ("AB12", "X"): a name is read before a reference.
bool nameCouldReadAsCell(std::u16string_view name);

} // namespace formula
