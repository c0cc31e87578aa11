#pragma once
// A kept form of ordinary formulas: arithmetic, comparison and "&" over
// numbers, texts, constants, cells and areas of the formula's own sheet, and
// calls of the worksheet functions over them ("=B5+0*A1",
// "=VLOOKUP(A1,$A$1:$E$2000,3,FALSE)"). Reading such a text again for every
// computation costs more than the computation; the steps are kept per cell
// and run with the reader's own operators and the same call of each
// function, so the values are the reader's. Any other text (sheet names,
// spaces, percent signs, array constants, defined names) is left to the
// reader.

#include "formula/eval_context.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>
#include <string_view>

namespace model {
struct CellRecord;
struct Workbook;
} // namespace model

namespace formula {

/// Computes a cell's formula from its kept steps, making them on first use.
/// Nothing when the text is not of the kept kind (the reader computes
/// it then); the answer is remembered per cell until its text changes.
/// Outside array mode and macros only.
std::optional<CellValue> computeKept(model::Workbook& book, const model::CellRecord& cell,
                                     std::u16string_view text, EvalContext& ctx);

/// The kept forms of a recorded chain's formulas (goal seek computes one
/// chain again and again), each with the cells it reads found once: while
/// only an input's value changes, no cell record moves and no text changes,
/// so neither is looked at again.
class KeptChain {
public:
  KeptChain(model::Workbook& book, const std::vector<std::pair<int, model::CellRecord*>>& cells);
  ~KeptChain();
  KeptChain(const KeptChain&) = delete;
  KeptChain& operator=(const KeptChain&) = delete;

  /// True when the chain's index-th cell has kept steps.
  bool prepared(size_t index) const;
  /// Computes the chain's index-th cell from its kept steps; nothing when
  /// it has none or `ctx` asks for arrays or a macro's reading.
  std::optional<CellValue> compute(size_t index, EvalContext& ctx);

private:
  struct Steps;
  std::unique_ptr<Steps> m_steps;
};

/// Forgets every kept form of the workbook.
void forgetKeptFormulas(model::Workbook& book);

} // namespace formula
