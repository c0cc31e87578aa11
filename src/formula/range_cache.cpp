#include "formula/range_cache.h"

#include "formula/engine_state.h"
#include "model/workbook.h"

#include <algorithm>

namespace formula {
namespace {

// Beyond about this many cached values (some hundreds of megabytes at
// worst) every cache is dropped and indexing starts afresh.
constexpr size_t kMaxCachedValues = size_t{1} << 23;

EngineState::SheetChanges* changesOf(EngineState& state, int sheet) {
  if (sheet < 0 || sheet > 0x7FFF)
    return nullptr;
  if (state.changes.size() <= static_cast<size_t>(sheet))
    state.changes.resize(static_cast<size_t>(sheet) + 1);
  return &state.changes[static_cast<size_t>(sheet)];
}

} // namespace

std::uint64_t rangeStamp(model::Workbook& book, int sheet, const model::CellRange& area) {
  EngineState& state = engineStateOf(book);
  EngineState::SheetChanges* c = changesOf(state, sheet);
  if (!c)
    return 0;
  // The shorter side is counted: a column's counts for a tall range, a
  // row's for a wide one. Counts only grow, so their sum changes exactly
  // when one of them does.
  std::uint64_t sum = c->all;
  if (area.columnCount() <= area.rowCount()) {
    if (!c->columns.empty())
      for (int col = area.firstColumn; col <= area.lastColumn; ++col)
        sum += c->columns[static_cast<size_t>(col)];
  } else if (!c->rows.empty()) {
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

void noteCellChange(model::Workbook& book, int sheet, int row, int column) {
  EngineState& state = engineStateOf(book);
  if (state.caches.empty())
    return; // nothing to keep valid; the counts only matter relative to a stamp
  EngineState::SheetChanges* c = changesOf(state, sheet);
  if (!c || row < 0 || row > 65535 || column < 0 || column > 255)
    return;
  if (c->columns.empty()) {
    c->columns.assign(256, 0);
    c->rows.assign(65536, 0);
  }
  ++c->columns[static_cast<size_t>(column)];
  ++c->rows[static_cast<size_t>(row)];
}

void noteSheetChange(model::Workbook& book, int sheet) {
  EngineState& state = engineStateOf(book);
  if (EngineState::SheetChanges* c = changesOf(state, sheet))
    ++c->all;
}

} // namespace formula
