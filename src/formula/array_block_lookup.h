#pragma once
// Which array block holds a cell: asked for every formula computed and for
// every array result brought down to its cell. Sheets with thousands of
// array formulas are ordinary, so inside a computation the answer comes
// from an index per sheet rather than a walk of its blocks.

#include "model/workbook.h"

namespace formula {

/// The range of the array block of `sheet` holding the cell, or null.
const model::CellRange* arrayBlockAt(const model::Workbook& book, int sheet, int row, int column);

/// While a scope is open on this thread, arrayBlockAt answers from an index
/// per sheet, built when first needed and dropped when the outermost scope
/// closes. The blocks must not change meanwhile; computing never changes them.
class ArrayBlockScope {
public:
  ArrayBlockScope();
  ~ArrayBlockScope();
  ArrayBlockScope(const ArrayBlockScope&) = delete;
  ArrayBlockScope& operator=(const ArrayBlockScope&) = delete;
};

} // namespace formula
