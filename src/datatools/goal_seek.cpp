#include "datatools/goal_seek.h"

#include "formula/chain_replay.h"
#include "formula/range_cache.h"
#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "formula/text_value.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "numfmt/number_format.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace datatools {

using model::CellRecord;
using model::Workbook;

namespace {

char16_t listSeparator() {
  const std::u16string& s = platform::localeStrings().listSeparator;
  return s.empty() ? u',' : s[0];
}

// A reference typed in a box: false when it is none; `single` tells a
// single cell.
bool readReference(const Workbook& book, int sheetIndex, std::u16string_view text, int& sheet, int& row,
                   int& column, bool& single) {
  formula::ParsedReference ref;
  while (!text.empty() && text.front() == u' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ')
    text.remove_suffix(1);
  if (!text.empty() && text.front() == u'=')
    text.remove_prefix(1);
  if (text.empty() || !formula::readA1Reference(text, 0, &book, listSeparator(), ref) || ref.end != text.size())
    return false;
  sheet = ref.hasQualifier ? ref.sheet : sheetIndex;
  if (sheet < 0 || sheet >= book.sheetCount() || !book.sheet(sheet).hasGrid())
    return false;
  const model::CellRange r = ref.range();
  single = r.isSingleCell();
  row = r.firstRow;
  column = r.firstColumn;
  return true;
}

CellRecord* cellAt(const Workbook& book, int sheet, int row, int column) {
  return model::cell_at(book.sheet(sheet), static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
}

bool readsAsNumber(std::u16string_view text, double& out) {
  return !text.empty() && formula::readNumber(text, 0, text.size(), false, out, platform::localeStrings());
}

} // namespace

bool reachesGoal(double value, double goal) {
  return std::fabs(value - goal) <= 1e-15 * std::min(std::fabs(value), std::fabs(goal));
}

std::optional<GoalSeekRefusal> readGoalSeek(Workbook& book, int sheetIndex, std::u16string_view target,
                                            std::u16string_view goal, std::u16string_view changing,
                                            GoalSeekRequest& out) {
  int sheet = 0, row = 0, column = 0;
  bool single = false;
  if (!readReference(book, sheetIndex, target, sheet, row, column, single))
    return GoalSeekRefusal{kMessageInvalidReference, GoalSeekBox::Target};
  if (!single)
    return GoalSeekRefusal{kMessageSingleCell, GoalSeekBox::Target};
  CellRecord* t = cellAt(book, sheet, row, column);
  if (!t || !t->isFormula)
    return GoalSeekRefusal{kMessageNeedsFormula, GoalSeekBox::Target};
  if (t->calcState == model::CalcState::NotValid)
    formula::computeCell(book, sheet, *t);
  if (!t->value.isNumber())
    return GoalSeekRefusal{kMessageNotNumber, GoalSeekBox::Target};
  out.targetSheet = sheet;
  out.targetRow = static_cast<std::uint16_t>(row);
  out.targetColumn = static_cast<std::uint8_t>(column);
  if (!readsAsNumber(goal, out.goal))
    return GoalSeekRefusal{kMessageBadGoal, GoalSeekBox::Goal};
  if (!readReference(book, sheetIndex, changing, sheet, row, column, single))
    return GoalSeekRefusal{kMessageInvalidReference, GoalSeekBox::Changing};
  if (!single)
    return GoalSeekRefusal{kMessageSingleCell, GoalSeekBox::Changing};
  const CellRecord* c = cellAt(book, sheet, row, column);
  double ignored = 0;
  if (c && !c->input.isNull() && c->input.size() > 0 && (c->isFormula || !readsAsNumber(c->input.view(), ignored)))
    return GoalSeekRefusal{kMessageChangingNotConstant, GoalSeekBox::Changing};
  const model::Sheet& s = book.sheet(sheet);
  if ((s.flags & model::kSheetProtected) && model::isCellLocked(book, s, row, column))
    return GoalSeekRefusal{model::kMessageCellProtected, GoalSeekBox::Changing};
  out.changingSheet = sheet;
  out.changingRow = static_cast<std::uint16_t>(row);
  out.changingColumn = static_cast<std::uint8_t>(column);
  return std::nullopt;
}

bool goalSeek(Workbook& book, GoalSeekRequest& q) {
  const model::CellRange at{q.changingRow, q.changingColumn, q.changingRow, q.changingColumn};
  if (!model::push_undo_range(book, q.changingSheet, model::kUndoGoalSeek, at))
    return false;
  q.result = 0;
  q.solved = false;
  CellRecord* c = cellAt(book, q.changingSheet, q.changingRow, q.changingColumn);
  double ignored = 0;
  if (!c || c->isFormula || !readsAsNumber(c->input.view(), ignored)) {
    const std::uint16_t format = c ? c->formatIndex
                                   : model::column_record(book.sheet(q.changingSheet), q.changingColumn).formatIndex;
    if (!model::set_cell(book, q.changingSheet, q.changingRow, q.changingColumn, u"0", format, false, true))
      return true;
  }
  // The target's value now, counting anything but a number as 0.
  bool targetIsNumber = false;
  const auto targetValue = [&] {
    CellRecord* t = cellAt(book, q.targetSheet, q.targetRow, q.targetColumn);
    if (!t)
      return targetIsNumber = false, 0.0;
    if (t->calcState == model::CalcState::NotValid)
      formula::computeCell(book, q.targetSheet, *t);
    targetIsNumber = t->value.isNumber();
    return targetIsNumber ? t->value.numberValue() : 0.0;
  };
  // Writes the changing value straight into the cell and brings the
  // target up to date. The first probe passes the change on to every
  // dependent and records the formulas the target needed; when only those
  // can change with the input, later probes compute just them again, once
  // each, in the recorded order.
  formula::ComputedChain chain;
  std::optional<formula::ChainReplay> replay;
  bool replayUnavailable = false;
  bool recorded = false;
  const auto probe = [&](double x) {
    CellRecord* cell = cellAt(book, q.changingSheet, q.changingRow, q.changingColumn);
    if (!cell)
      return targetValue();
    cell->value = model::CellValue::number(x);
    cell->display.reset();
    cell->calcState = model::CalcState::ValueValid;
    formula::noteCellChange(book, q.changingSheet, q.changingRow, q.changingColumn);
    if (recorded && chain.replayable) {
      // The steps are made once; short of memory the chain is computed as is.
      if (!replay && !replayUnavailable)
        replayUnavailable = !platform::withAllocationQuiet([&] { replay.emplace(book, chain); });
      if (replay)
        replay->recompute();
      else
        formula::recomputeChain(book, chain);
      return targetValue();
    }
    (void)platform::withAllocation([&] { formula::propagateChange(book, q.changingSheet, *cell); });
    if (recorded)
      return targetValue();
    recorded = true;
    const formula::ChainRecording recording(chain);
    return targetValue();
  };
  const auto changingValue = [&] {
    CellRecord* cell = cellAt(book, q.changingSheet, q.changingRow, q.changingColumn);
    return cell && cell->value.isNumber() ? cell->value.numberValue() : 0.0;
  };

  double f = targetValue();
  for (int step = 0; step < kGoalSeekSteps; ++step) {
    f = targetValue();
    if (targetIsNumber && reachesGoal(f, q.goal))
      break;
    const double x = changingValue();
    const double delta = 1.0 / (step + 1);
    const double below = probe(x - delta);
    const double above = probe(x + delta);
    double next = x + 2 * delta;
    if (std::min(std::fabs(below), std::fabs(above)) * 1e-15 < std::fabs(below - above))
      next = x - (f - q.goal) / ((above - below) / (2 * delta));
    if (!std::isfinite(next)) {
      // Stop at the last finite value rather than write an infinity.
      f = probe(x);
      break;
    }
    f = probe(next);
  }
  // The result is the iteration's; the constant written below carries 15
  // digits, which the status does not judge.
  q.result = targetIsNumber ? f : 0;
  q.solved = targetIsNumber && reachesGoal(f, q.goal);

  // The cell ends holding its value as a typed constant.
  CellRecord* cell = cellAt(book, q.changingSheet, q.changingRow, q.changingColumn);
  if (cell) {
    const std::u16string text = numfmt::generalText(changingValue(), 15);
    if (!model::set_cell(book, q.changingSheet, q.changingRow, q.changingColumn, text, cell->formatIndex, true, true))
      return true;
  }
  return true;
}

} // namespace datatools
