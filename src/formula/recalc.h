#pragma once
// Keeping cells up to date: scanning formula text for precedents, computing
// stale cells depth first, marking dependents stale when a cell changes,
// refreshing volatile cells and full recalculation.

#include "model/workbook.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace formula {

/// Rebuilds a cell's precedent list and volatility class from its text, and
/// registers the add-in functions it names with the workbook. Typed text in
/// a cell formatted as text stays text; a formula read from a file stays a
/// formula whatever its format (`fromFile`), as the program that wrote it
/// computed it.
void scanCell(model::Workbook& book, int sheet, model::CellRecord& cell, bool fromFile = false);

/// Brings a cell's value up to date, computing its stale precedents first
/// with an explicit stack (never deep recursion on the C++ stack). A cell
/// that a formula reaches only while it computes (INDIRECT of computed
/// text, a name's formula) is computed on a nested stack; past a bounded
/// nesting the formula is abandoned, the cell goes on the stack and the
/// formula is computed again after it, so chains of any length compute.
/// Memory running out while a formula computes gives it the error #N/A.
void computeCell(model::Workbook& book, int sheet, model::CellRecord& cell,
                 bool macroRunning = false);

/// The formulas computed to bring one cell up to date after an input
/// changed, in the order they were computed (each after the cells it
/// reads). When only that input changes again, computing them again in this
/// order brings the cell up to date without marking dependents or walking
/// precedents: goal seek probes one input many times.
struct ComputedChain {
  std::vector<std::pair<int, model::CellRecord*>> cells; // sheet, cell
  /// No volatile formula, no cell reached only while computing (its address
  /// may change with the input), no circular reference, no memory shortage.
  bool replayable = true;
};

/// Records every cell computed while it lives into `chain`.
class ChainRecording {
public:
  explicit ChainRecording(ComputedChain& chain);
  ~ChainRecording();
  ChainRecording(const ChainRecording&) = delete;
  ChainRecording& operator=(const ChainRecording&) = delete;

private:
  ComputedChain* m_outer;
};

/// Computes the chain's cells again in its order. The input that changed
/// must be the only change since it was recorded.
void recomputeChain(model::Workbook& book, const ComputedChain& chain);

/// Sets the workbook's circular-reference flag for a formula that met a
/// cell on the computing path; ignored while the evaluation is being
/// abandoned (its values are thrown away, so what it met proves no loop).
void noteCircularReference(model::Workbook& book);

/// True while the innermost evaluation is being abandoned: it met a stale
/// cell too deep to compute there, and is computed again once that cell
/// is. Cells fetched meanwhile are not computed and give their old values.
bool evaluationAbandoned();

/// Marks every cell that depends on this one, directly or through others,
/// stale. Cells already stale are not followed again, so cycles end.
void propagateChange(model::Workbook& book, int sheet, model::CellRecord& cell);

/// The same for many cells of one sheet changed by one command (stored or
/// removed; packed addresses), walking their dependents once: a cell that
/// depends on several of them, directly or through others, is marked once.
void propagateChanges(model::Workbook& book, int sheet, const std::vector<std::uint32_t>& cells);

/// Marks the volatile cells of a sheet (class 1, and class 2 when asked) and
/// their dependents stale.
void refreshVolatile(model::Workbook& book, int sheet, bool includeInfo);

/// Brings every stale formula of the workbook up to date (before saving, so
/// files hold current results).
void computeStaleFormulas(model::Workbook& book);

/// Full recalculation: every cell of the sheet (or of every worksheet) stale.
void recalcSheet(model::Workbook& book, int sheet);
void recalcAll(model::Workbook& book);

/// Drops what the engine keeps about where cells are (the index of
/// dependents, the range caches): after cells moved, none of it holds.
void forgetDependencies(model::Workbook& book);

/// Installs the engine into the workbook model's services (scan, compute,
/// propagate, sheet-name rescans) and the core functions into the table.
void installFormulaEngine();

} // namespace formula
