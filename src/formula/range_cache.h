#pragma once
// Caches of what functions derive from the values of one range of cells
// (the search indexes of VLOOKUP, HLOOKUP, MATCH and the criteria
// functions), kept with the workbook. A cache serves while no cell of its
// range has changed: the engine counts changes per row and per column block
// of each sheet (a cell marked stale, a new text, a computed value that
// differs from the last), and a cache remembers the counts over its range
// when it was built. Changing the sheets' structure drops every cache.
//
//   formula::RangeCacheKey key{sheet, area, kMyKind};
//   if (auto* c = formula::findRangeCache<MyIndex>(book, key)) ... use it
//   else if (formula::wantRangeCache(book, key)) ... build, then
//     formula::storeRangeCache(book, key, std::move(index), stamp);
//
// A range is indexed at its second use while unchanged: a range searched
// once (as each of a column of growing ranges is) costs no index.

#include "model/cell_range.h"

#include <cstdint>
#include <memory>

namespace model {
struct Workbook;
}

namespace formula {

struct RangeCacheKey {
  int sheet = 0;            // resolved sheet index
  model::CellRange area{};  // the cells the cache reads
  int kind = 0;             // what the cache holds, chosen by its user
  friend bool operator==(const RangeCacheKey&, const RangeCacheKey&) = default;
};

class RangeCache {
public:
  virtual ~RangeCache() = default;
  /// About how many values the cache holds, for the memory budget.
  virtual size_t cost() const = 0;
};

/// What the change counts over a range add up to; a cache is valid while
/// this stays as it was when its values were read.
std::uint64_t rangeStamp(model::Workbook& book, int sheet, const model::CellRange& area);

/// The valid cache stored under the key, or null (a stale one is dropped).
RangeCache* findRangeCacheEntry(model::Workbook& book, const RangeCacheKey& key);

template <class T> T* findRangeCache(model::Workbook& book, const RangeCacheKey& key) {
  return static_cast<T*>(findRangeCacheEntry(book, key));
}

/// Notes a use of the range for a search that found no cache; true when the
/// range was used before and has not changed since, so an index pays.
bool wantRangeCache(model::Workbook& book, const RangeCacheKey& key);

/// Keeps a cache built from the range's values as they stood at `stamp`
/// (rangeStamp taken before reading them: a cell changed meanwhile makes
/// it stale at once). Caches over the memory budget are dropped first.
void storeRangeCache(model::Workbook& book, const RangeCacheKey& key,
                     std::unique_ptr<RangeCache> cache, std::uint64_t stamp);

/// Grows whenever a cell of any workbook may have changed (the notes below)
/// and never goes back: what is derived from values holds while it stays.
std::uint64_t valueChangeCount();

// ---- called by recalculation ----

/// A cell's value may have changed (or will, when it is next computed).
void noteCellChange(model::Workbook& book, int sheet, int row, int column);
/// Every cell of the sheet may have changed (a full recalculation).
void noteSheetChange(model::Workbook& book, int sheet);

} // namespace formula
