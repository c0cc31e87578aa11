#pragma once
// Runs of hidden rows or columns and the pixel offsets of lines, over a
// sheet's sorted row or column records. A screen below 60,000 hidden rows
// is laid out by jumping each run instead of stepping its lines.

#include <cstdint>
#include <vector>

namespace model {

struct RowRecord;
struct ColumnRecord;

/// An index over sorted row or column records, valid while the records it
/// was built from are unchanged.
class LineIndex {
public:
  LineIndex() = default;
  explicit LineIndex(const std::vector<RowRecord>& records);
  explicit LineIndex(const std::vector<ColumnRecord>& records);

  /// The first line at or after `line` that is not hidden (past the last
  /// hidden run: `line` itself).
  int nextShown(int line) const;

  /// Pixels of the lines before `limit`, when a line of `units` (twips, or
  /// 1/256 character) covers mulDiv(units, factor, divisor) pixels, lines
  /// without a record or with the default flag have `defaultUnits` and
  /// hidden lines none. Sums at one scale are kept until another is asked.
  long long offset(int limit, int defaultUnits, int factor, int divisor) const;

private:
  struct Run {
    int first = 0;
    int end = 0; // hidden lines [first, end)
  };
  static constexpr std::uint32_t kDefaultUnits = 0x10000;

  template <class Record> void build(const std::vector<Record>& records);
  bool ensureSums(int defaultUnits, int factor, int divisor) const;

  std::vector<Run> m_hidden;
  std::vector<int> m_lines;           // the records' lines, ascending
  std::vector<std::uint32_t> m_units; // each record's size: 0 hidden, kDefaultUnits default
  // Pixels up to the end of each record at the scale of the last offset asked.
  mutable std::vector<long long> m_sums;
  mutable int m_sumsDefault = -1, m_sumsFactor = 0, m_sumsDivisor = 0;
};

} // namespace model
