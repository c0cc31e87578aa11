#pragma once
// The per-sheet store of cells: records kept in (row, column) order, found by
// binary search. Records live in blocks of at most kBlockSize pointers, so an
// insert into the middle moves at most one block's tail instead of the whole
// sheet's, and loading in order appends without searching. Record addresses
// stay put for the life of the record.

#include "model/cell_range.h"
#include "model/cell_value.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace model {

class TextArena;

/// A UTF-16 text in a single block (length, then the characters), or null.
/// The block is the text's own allocation, a slot of a TextArena (texts
/// stored while loading, which would otherwise cost an allocation and a free
/// per cell), or the text of a string value it holds a share of (a loaded
/// string cell's input is its value's text). Eight bytes when held, which
/// keeps a cell record small.
class OwnedText {
public:
  OwnedText() noexcept = default;
  explicit OwnedText(std::u16string_view text) { assign(text); }
  ~OwnedText() { reset(); }
  OwnedText(const OwnedText& other) : OwnedText() {
    if (!other.isNull())
      assign(other.view());
  }
  // A moved arena text still lives in its arena: records never leave their table.
  OwnedText(OwnedText&& other) noexcept : m_bits(other.m_bits) { other.m_bits = 0; }
  OwnedText& operator=(const OwnedText& other);
  OwnedText& operator=(OwnedText&& other) noexcept;

  bool isNull() const { return m_bits == 0; }
  std::u16string_view view() const;
  size_t size() const;
  /// Replaces the text; allocates before freeing, so on failure the old text stays.
  void assign(std::u16string_view text);
  /// Replaces the text with a copy kept in `arena`, which must outlive this
  /// text's holder (the cell table's own arena for its records).
  void assignIn(TextArena& arena, std::u16string_view text);
  /// Replaces the text with the text of `value`, a string, sharing it.
  void assignShared(const CellValue& value);
  void reset() noexcept;

private:
  // Blocks are four-byte aligned, which leaves the low two bits for the owner.
  static constexpr std::uintptr_t kInArena = 1;
  static constexpr std::uintptr_t kShared = 2;
  static constexpr std::uintptr_t kOwnerBits = 3;
  const char16_t* rep() const { return reinterpret_cast<const char16_t*>(m_bits & ~kOwnerBits); }
  std::uintptr_t m_bits = 0; // the block's address and its owner
};

/// Bump storage for texts in OwnedText's block layout, freed all at once.
class TextArena {
public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;

  /// A block holding `text`, four-byte aligned. Throws std::bad_alloc.
  char16_t* store(std::u16string_view text);
  void clear() noexcept;

private:
  static constexpr size_t kChunkUnits = 32 * 1024;
  std::vector<std::unique_ptr<char16_t[]>> m_chunks;
  size_t m_used = 0, m_capacity = 0; // in the newest chunk
};

enum class CalcState : std::uint8_t {
  NotValid = 0,     // must be computed before use
  OnPath = 1,       // being computed (a reference back to it is a loop)
  ValueValid = 2,
  DisplayValid = 3, // value and display text both valid
};

enum class VolatilityClass : std::uint8_t {
  None = 0,
  Volatile = 1, // INDEX, INDIRECT, OFFSET, RAND, RANDBETWEEN, SUBTOTAL, TODAY, NOW
  Info = 2,     // INFO
  Cell = 3,     // CELL
};

/// The volatility class of an input text: only formulas (leading "=") have
/// one. A function name counts when it is followed by "(" and is not the tail
/// of a longer name, and not inside a string constant.
VolatilityClass volatilityClassOf(std::u16string_view input);

using PrecedentList = std::vector<SheetRange>;

/// One stored cell.
struct CellRecord {
  OwnedText input;   // what the user typed or the file supplied; null for none
  OwnedText display; // cache of the formatted text
  std::unique_ptr<PrecedentList> precedents; // references the formula names, in text order
  CellValue value;
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  CalcState calcState : 3 = CalcState::NotValid;
  VolatilityClass volatility : 3 = VolatilityClass::None;
  bool isFormula : 1 = false; // the last scan read the input as a formula
  // The formula refers to another workbook, or calls a later version's
  // function this program lacks: it is not computed here and keeps the
  // value the file gave it.
  bool keepsFileValue : 1 = false;
  std::uint16_t formatIndex = 15;
  std::int16_t displayColour = 0;

  std::uint32_t key() const { return (static_cast<std::uint32_t>(row) << 8) | column; }
};
static_assert(sizeof(CellRecord) == 48, "cell records are the bulk of a workbook's memory");

class CellTable {
public:
  static constexpr std::uint32_t kBlockSize = 256;

  /// Where a cell is or would go: a block and an offset inside it.
  struct Position {
    std::uint32_t block = 0;
    std::uint32_t offset = 0;
    friend bool operator==(const Position&, const Position&) = default;
  };
  struct Search {
    bool found = false;
    Position position; // the cell, or where it would be inserted
  };

  CellTable();
  ~CellTable();
  CellTable(const CellTable&) = delete;
  CellTable& operator=(const CellTable&) = delete;

  size_t count() const { return m_count; }
  bool empty() const { return m_count == 0; }

  /// Binary search; when the cell is absent the position is where it would
  /// be inserted (the end position for a key past the last cell).
  Search find(std::uint16_t row, std::uint8_t column) const;
  CellRecord* at(std::uint16_t row, std::uint8_t column) const;
  CellRecord* at(Position p) const { return m_blocks[p.block]->cells[p.offset]; }

  /// Inserts a zero-filled record for (row, column) at the position that
  /// find() gave for it. Throws std::bad_alloc when memory runs out, leaving
  /// the table unchanged.
  CellRecord* insert(Position p, std::uint16_t row, std::uint8_t column);

  /// Finds the cell or inserts a record for it.
  CellRecord* findOrInsert(std::uint16_t row, std::uint8_t column);

  /// Appends a record after the last one; the caller guarantees ascending
  /// order (loading). Out-of-order keys fall back to a sorted insert, so the
  /// order invariant holds whatever the caller does.
  CellRecord* append(std::uint16_t row, std::uint8_t column);

  /// Removes and frees the record at p.
  void erase(Position p);

  /// Moves every cell of `block` by the offsets in one pass, keeping each
  /// record (its address, text and value). Cells that would leave the sheet
  /// are freed; a cell already standing where a moved one lands goes too
  /// (callers empty the destination first). The table is rebuilt in order,
  /// so one call costs one pass over the sheet, whatever the block's size.
  /// Throws std::bad_alloc before any change when memory runs out.
  void moveBlock(const CellRange& block, int rowOffset, int columnOffset);

  /// Gives the records of rows [firstRow, lastRow] new places inside those
  /// rows in one pass: `place` returns each record's new key (row << 8 |
  /// column). Records keep their addresses, texts and values. False, with
  /// nothing changed, when a key leaves the rows or two records would share
  /// one; throws std::bad_alloc before any change when memory runs out.
  template <class Place> bool rekeyRows(std::uint16_t firstRow, std::uint16_t lastRow, Place&& place) {
    std::vector<std::pair<std::uint32_t, CellRecord*>> run;
    for (Position p = find(firstRow, 0).position; !isEnd(p); p = next(p)) {
      CellRecord* c = at(p);
      if (c->row > lastRow)
        break;
      run.emplace_back(static_cast<std::uint32_t>(place(std::as_const(*c))), c);
    }
    return placeRun(firstRow, lastRow, run);
  }
  void clear();

  Position begin() const { return {0, 0}; }
  Position end() const;
  Position next(Position p) const;
  bool isEnd(Position p) const { return p.block >= m_blocks.size(); }

  /// Calls fn(CellRecord&) for every stored cell of the range in row-major order.
  template <class Fn> void forEachIn(const CellRange& range, Fn&& fn) const {
    for (Position p = find(range.firstRow, range.firstColumn).position; !isEnd(p); p = next(p)) {
      CellRecord* c = at(p);
      if (c->row > range.lastRow)
        break;
      if (c->column >= range.firstColumn && c->column <= range.lastColumn)
        fn(*c);
    }
  }
  template <class Fn> void forEach(Fn&& fn) const {
    for (const auto& b : m_blocks)
      for (std::uint32_t i = 0; i < b->count; ++i)
        fn(*b->cells[i]);
  }

  /// The last cell in row-major order, or null.
  CellRecord* last() const;
  /// Where loaders keep input texts (see OwnedText::assignIn); emptied by clear().
  TextArena& textArena() { return m_texts; }
  /// The largest column holding a cell, or -1 when the table is empty.
  int lastColumn() const;

private:
  struct Block {
    std::uint32_t count = 0;
    std::uint32_t keys[kBlockSize];
    CellRecord* cells[kBlockSize];
  };
  class RecordPool;

  Position normalise(Position p) const;
  bool placeRun(std::uint16_t firstRow, std::uint16_t lastRow, std::vector<std::pair<std::uint32_t, CellRecord*>>& run);
  void splitBlock(std::uint32_t block);
  void placeAt(Position p, CellRecord* rec);

  std::vector<std::unique_ptr<Block>> m_blocks;
  std::vector<std::uint32_t> m_lastKeys; // last key of each block, for the outer search
  size_t m_count = 0;
  // Cells per column: the used range's right edge without a scan.
  std::array<std::uint32_t, 256> m_columnCounts{};
  mutable std::uint32_t m_hintBlock = 0;  // the block of the last search: lookups cluster
  std::unique_ptr<RecordPool> m_pool;
  TextArena m_texts; // declared last: records are destroyed before their texts
};

} // namespace model
