#pragma once
// Criteria as COUNTIF, SUMIF and the database functions read them, and the
// wildcard matcher they share with AutoFilter, Find and the data form.
//
// A criterion is parsed once from its value ("a*", ">=10", 5, TRUE, "<>")
// and then tested against any number of cell values:
//
//   const functions::Criterion c = functions::parseCriterion(criterionValue);
//   for (...) if (c.matches(cellValue)) ++count;
//
// A criteria table is the database form: a header row naming database
// columns and rows of criteria below it; a record is selected when it
// satisfies every criterion of at least one row.

#include "formula/text_value.h"
#include "model/cell_value.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace functions {

using model::CellValue;

/// A compiled wildcard pattern: "*" matches any run of characters (also
/// none), "?" exactly one, "~" before "*", "?" or "~" makes that character
/// literal (before anything else, or at the end, the "~" is itself literal).
/// Characters are UTF-16 code units; without caseSensitive they compare
/// under Unicode simple case folding. The pattern must cover the whole text.
/// Matching runs in O(pattern x text) time and constant extra space.
class WildcardPattern {
public:
  WildcardPattern() = default;
  explicit WildcardPattern(std::u16string_view pattern, bool caseSensitive = false);

  [[nodiscard]] bool matches(std::u16string_view text) const;
  /// The length of the shortest run at the start of `text` that the pattern
  /// matches (the longest with `longest`), or npos when none does. One pass
  /// over the text, tracking every pattern position at once.
  [[nodiscard]] size_t matchPrefix(std::u16string_view text, bool longest) const;
  /// True when the pattern's last element is an unescaped "*".
  bool endsWithStar() const { return !m_items.empty() && m_items.back() == kStar; }
  static constexpr size_t npos = static_cast<size_t>(-1);
  /// True when the pattern holds "*" or "?" (so it is more than a plain text).
  bool hasWildcards() const { return m_wild; }

private:
  // One element per pattern position: a code unit (folded unless
  // caseSensitive), or kAny / kStar, which lie outside the code unit range.
  static constexpr std::uint32_t kAny = 0x10000;
  static constexpr std::uint32_t kStar = 0x10001;
  std::vector<std::uint32_t> m_items;
  size_t m_fixedLength = 0; // elements that consume exactly one text unit
  bool m_wild = false;
  bool m_caseSensitive = false;
};

/// Matches `text` against `pattern` as WildcardPattern describes. An empty
/// pattern matches only empty text.
[[nodiscard]] bool wildcardMatch(std::u16string_view pattern, std::u16string_view text,
                                 bool caseSensitive);

/// Orders two texts under simple case folding, code unit by code unit:
/// negative, zero or positive.
int compareFolded(std::u16string_view a, std::u16string_view b);

enum class CriterionOp : std::uint8_t {
  None,         // a plain value or text: equality, with wildcards for text
  Equal,        // "="
  NotEqual,     // "<>"
  Less,         // "<"
  LessEqual,    // "<="
  Greater,      // ">"
  GreaterEqual, // ">="
};

/// One parsed criterion.
struct Criterion {
  /// The kind of the criterion value: Empty, Number, Boolean, Error or
  /// String (a string carries an operator and an operand text).
  model::ValueKind kind = model::ValueKind::Empty;
  CriterionOp op = CriterionOp::None;
  double number = 0;          // a Number criterion, or the operand when operandIsNumber
  bool boolean = false;       // a Boolean criterion, or the operand when operandIsBoolean
  model::ErrorCode error = model::ErrorCode::Null;
  std::u16string operand;     // the text after the operator
  bool operandIsNumber = false;  // the operand reads as a number (number, date, time ...)
  bool operandIsBoolean = false; // the operand is "TRUE" or "FALSE" (any case)
  WildcardPattern pattern;    // the operand as a case-blind pattern
  formula::TextOptions options; // how string cells read as numbers

  /// Tests one cell value. Arrays and references never match.
  [[nodiscard]] bool matches(const CellValue& v) const;

private:
  bool equalTest(const CellValue& v) const;
  bool orderTest(const CellValue& v) const;
  bool numberAccepts(double x) const;
};

/// The stored cells of one area grouped by value, for testing many criteria
/// against the same cells: a criterion is tested once per distinct value,
/// and a plain number or text equality finds its values by hashing. What a
/// criterion selects here is exactly what testing each cell would select.
class CriteriaIndex {
public:
  /// Adds a stored cell at `offset` (row-major order of the area).
  void add(std::uint32_t offset, const CellValue& value);
  /// Finishes building; `options` are those criteria will be parsed with.
  void finish(const formula::TextOptions& options);

  /// Stored cells added.
  size_t size() const { return m_cells; }
  /// The number of stored cells the criterion selects.
  size_t count(const Criterion& c) const;
  /// The offsets of the stored cells the criterion selects, ascending.
  std::vector<std::uint32_t> offsets(const Criterion& c) const;
  /// The value of each group, by group; the groups hold ascending offsets.
  size_t groupCount() const { return m_groups.size(); }

private:
  struct Group {
    CellValue value;
    std::vector<std::uint32_t> offsets;
    double number = 0;        // a string that reads as a number: that number
    bool readsNumber = false; // as criteria read strings
    bool toNumber = false;    // as the evaluator converts strings (stringToNumber)
    double converted = 0;
  };
  template <class Fn> void forEachMatchingGroup(const Criterion& c, Fn&& fn) const;

  std::vector<Group> m_groups;
  std::unordered_map<std::uint64_t, std::vector<int>> m_byHash; // building and finding groups
  std::unordered_map<std::u16string, std::vector<int>> m_byFoldedText;
  std::unordered_map<double, std::vector<int>> m_byTextNumber; // readsNumber groups
  std::unordered_map<double, std::vector<int>> m_byConverted;  // toNumber groups
  std::vector<int> m_others; // booleans, errors, blanks
  size_t m_cells = 0;
};

/// Parses a single criterion value (already a single value, not a
/// reference). Strings begin with an optional operator: "<>", ">=", "<=",
/// "=", ">" or "<". `options` decide how operands read as numbers and dates.
Criterion parseCriterion(const CellValue& value, const formula::TextOptions& options = {});

/// The text of a header cell: strings as they are, numbers as the formula
/// engine prints them, booleans and errors by their names, empty as "".
std::u16string headerText(const CellValue& v);

/// The criteria of a database query, resolved against the database's
/// headers.
class CriteriaTable {
public:
  /// Builds the table from the database header texts and a rows x columns
  /// block of criteria values (row-major; the first row holds the criteria
  /// headers). Returns false when the block has no row of criteria below its
  /// headers.
  [[nodiscard]] bool build(std::span<const std::u16string> databaseHeaders,
                           std::span<const CellValue> criteria, int columns,
                           const formula::TextOptions& options = {});

  // Building row by row, for criteria ranges too large to hold whole:
  /// Resolves each criteria header to a database column. Headers compare
  /// without regard to case; when several database headers share a text the
  /// leftmost is used; a criteria header naming no database column is
  /// ignored. Clears the rows.
  void setHeaders(std::span<const std::u16string> databaseHeaders,
                  std::span<const CellValue> criteriaHeaders);
  /// Adds one criteria row (its cells in criteria-column order; missing
  /// trailing cells are empty). Empty cells and cells under ignored headers
  /// set no criterion; a row without criteria selects every record.
  void addRow(std::span<const CellValue> cells, const formula::TextOptions& options = {});

  size_t rowCount() const { return m_rows.size(); }
  /// True when some row has no criterion, so that every record is selected.
  bool selectsAll() const { return m_selectsAll; }

  /// The database columns (0-based) that some criterion tests, ascending;
  /// matches() reads only these entries of a record.
  const std::vector<int>& usedColumns() const { return m_used; }

  /// True when the record (its values indexed by database column; entries
  /// past its end count as empty) satisfies every criterion of at least one
  /// criteria row.
  [[nodiscard]] bool matches(std::span<const CellValue> record) const;

private:
  struct Test {
    int column;
    Criterion criterion;
  };
  std::vector<int> m_columnOf; // database column of each criteria column, or -1
  std::vector<std::vector<Test>> m_rows;
  std::vector<int> m_used;
  bool m_selectsAll = false;
};

} // namespace functions
