#pragma once
// What the formula engine keeps with a workbook between computations: the
// index of dependents (recalc.cpp) and the range caches with the change
// counts that keep them valid (range_cache.cpp). Internal to the engine.

#include "formula/range_cache.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace formula {

struct RangeCacheKeyHash {
  size_t operator()(const RangeCacheKey& k) const {
    const std::uint64_t corners = model::packCell(k.area.firstRow, k.area.firstColumn) ^
                                  (static_cast<std::uint64_t>(model::packCell(
                                       k.area.lastRow, k.area.lastColumn)) << 24);
    return std::hash<std::uint64_t>()(corners ^ (static_cast<std::uint64_t>(k.sheet) << 48) ^
                                      (static_cast<std::uint64_t>(k.kind) << 58));
  }
};

struct EngineState {
  std::uint64_t structureGeneration = 0;
  std::shared_ptr<void> dependencies; // recalc.cpp's index, rebuilt as needed
  std::shared_ptr<void> keptFormulas; // compiled_formula.cpp's steps by cell
  std::shared_ptr<void> scannedCopies; // recalc.cpp's last scanned formula by column

  struct SheetChanges {
    std::uint64_t all = 0;             // counted when every cell goes stale
    std::vector<std::uint32_t> blocks; // by column and block of 256 rows, once a cache exists
    std::vector<std::uint32_t> rows;   // 65,536 counts, likewise
  };
  std::vector<SheetChanges> changes; // by sheet index

  struct CacheEntry {
    std::unique_ptr<RangeCache> cache; // null: the range was seen once
    std::uint64_t stamp = 0;
  };
  std::unordered_map<RangeCacheKey, CacheEntry, RangeCacheKeyHash> caches;
  size_t cacheCost = 0;
};

/// The workbook's engine state; a change of its sheets' structure (a sheet
/// inserted, deleted or moved) starts it afresh.
EngineState& engineStateOf(model::Workbook& book);

} // namespace formula
