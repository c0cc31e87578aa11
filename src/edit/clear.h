#pragma once
// The four Clear commands: all, formats, contents (the Del key) and comments.

#include "model/undo.h"

namespace edit {

enum class ClearPart { All, Formats, Contents, Comments };

/// Clears a part of a range: refused by the guards (protection; array parts
/// for all and contents) before any change; else one undo entry ("清除"),
/// the change, and one pass over the dependents. True when it ran.
bool clear_range(model::Workbook& book, int sheetIndex, const model::CellRange& range, ClearPart part);

} // namespace edit
