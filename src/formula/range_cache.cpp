#include "formula/range_cache.h"

#include "formula/engine_state.h"
#include "model/workbook.h"

#include <algorithm>

namespace formula {
namespace {

// Beyond about this many cached values (some hundreds of megabytes at
// worst) every cache is dropped and indexing starts afresh.
constexpr size_t kMaxCachedValues = size_t{1} << 23;

// Changes are counted per row, and per column in blocks of this many rows.
constexpr int kCountedRows = 256;
constexpr size_t kBlocks = 65536 / kCountedRows;

EngineState::SheetChanges* changesOf(EngineState& state, int sheet) {
  if (sheet < 0 || sheet > 0x7FFF)
    return nullptr;
  if (state.changes.size() <= static_cast<size_t>(sheet))
    state.changes.resize(static_cast<size_t>(sheet) + 1);
  return &state.changes[static_cast<size_t>(sheet)];
}

// Counted for every workbook, and never reset, so that a count seen once is
// never seen again after a change, whatever happened to the engine's state.
thread_local std::uint64_t t_valueChanges = 0;

} // namespace

std::uint64_t rangeStamp(model::Workbook& book, int sheet, const model::CellRange& area) {
  EngineState& state = engineStateOf(book);
  EngineState::SheetChanges* c = changesOf(state, sheet);
  if (!c)
    return 0;
  // Counts only grow, so their sum changes exactly when one of them does.
  // The counts of the column blocks the range touches are summed, or those
  // of its rows when that is fewer (a wide, short range); a change next to
  // the range in a shared block costs a rebuild, never a wrong answer.
  std::uint64_t sum = c->all;
  if (c->blocks.empty())
    return sum;
  const int firstBlock = area.firstRow / kCountedRows, lastBlock = area.lastRow / kCountedRows;
  const long byBlocks = static_cast<long>(area.columnCount()) * (lastBlock - firstBlock + 1);
  if (byBlocks <= area.rowCount()) {
    for (int col = area.firstColumn; col <= area.lastColumn; ++col)
      for (int b = firstBlock; b <= lastBlock; ++b)
        sum += c->blocks[static_cast<size_t>(col) * kBlocks + static_cast<size_t>(b)];
  } else {
    for (int row = area.firstRow; row <= area.lastRow; ++row)
      sum += c->rows[static_cast<size_t>(row)];
  }
  return sum;
}

RangeCache* findRangeCacheEntry(model::Workbook& book, const RangeCacheKey& key) {
  EngineState& state = engineStateOf(book);
  const auto it = state.caches.find(key);
  if (it == state.caches.end() || !it->second.cache)
    return nullptr;
  if (it->second.stamp != rangeStamp(book, key.sheet, key.area)) {
    state.cacheCost -= it->second.cache->cost();
    state.caches.erase(it);
    return nullptr;
  }
  return it->second.cache.get();
}

bool wantRangeCache(model::Workbook& book, const RangeCacheKey& key) {
  EngineState& state = engineStateOf(book);
  const std::uint64_t stamp = rangeStamp(book, key.sheet, key.area);
  auto [it, fresh] = state.caches.try_emplace(key);
  if (fresh || it->second.stamp != stamp) {
    if (it->second.cache)
      state.cacheCost -= it->second.cache->cost();
    it->second.cache.reset();
    it->second.stamp = stamp;
    return false;
  }
  return true;
}

void storeRangeCache(model::Workbook& book, const RangeCacheKey& key,
                     std::unique_ptr<RangeCache> cache, std::uint64_t stamp) {
  EngineState& state = engineStateOf(book);
  const size_t cost = cache->cost() + 1;
  if (state.cacheCost + cost > kMaxCachedValues) {
    state.caches.clear();
    state.cacheCost = 0;
  }
  EngineState::CacheEntry& e = state.caches[key];
  if (e.cache)
    state.cacheCost -= e.cache->cost();
  e.cache = std::move(cache);
  e.stamp = stamp;
  state.cacheCost += e.cache->cost();
}

std::uint64_t valueChangeCount() { return t_valueChanges; }

void noteCellChange(model::Workbook& book, int sheet, int row, int column) {
  EngineState& state = engineStateOf(book);
  ++t_valueChanges;
  if (state.caches.empty())
    return; // nothing to keep valid; the counts only matter relative to a stamp
  EngineState::SheetChanges* c = changesOf(state, sheet);
  if (!c || row < 0 || row > 65535 || column < 0 || column > 255)
    return;
  if (c->blocks.empty()) {
    c->blocks.assign(256 * kBlocks, 0);
    c->rows.assign(65536, 0);
  }
  ++c->blocks[static_cast<size_t>(column) * kBlocks + static_cast<size_t>(row / kCountedRows)];
  ++c->rows[static_cast<size_t>(row)];
}

void noteSheetChange(model::Workbook& book, int sheet) {
  EngineState& state = engineStateOf(book);
  ++t_valueChanges;
  if (EngineState::SheetChanges* c = changesOf(state, sheet))
    ++c->all;
}

} // namespace formula
