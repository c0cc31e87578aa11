#pragma once
// Computing one recorded chain many times over (goal seek's probes): the
// chain's formulas are made ready once, the cells they read found once.

#include "formula/recalc.h"

#include <memory>

namespace formula {

class KeptChain;

class ChainReplay {
public:
  /// The chain must stay as recorded while this lives: only the value of
  /// the input it was recorded for changes in between.
  ChainReplay(model::Workbook& book, const ComputedChain& chain);
  ~ChainReplay();
  ChainReplay(const ChainReplay&) = delete;
  ChainReplay& operator=(const ChainReplay&) = delete;

  /// Does what recomputeChain does for the chain, with the prepared steps.
  void recompute();

private:
  model::Workbook& m_book;
  const ComputedChain& m_chain;
  std::unique_ptr<KeptChain> m_kept;
};

} // namespace formula
