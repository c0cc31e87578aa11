#pragma once
// Cell coordinates and the two range shapes every layer passes around.

#include <cstdint>

namespace model {

inline constexpr int kMaxRow = 65535;
inline constexpr int kMaxColumn = 255;
inline constexpr int kRowCount = 65536;
inline constexpr int kColumnCount = 256;

/// A cell address packed into 32 bits: row in bits 0-15, column in bits
/// 16-23, the top byte zero.
constexpr std::uint32_t packCell(std::uint16_t row, std::uint8_t column) {
  return static_cast<std::uint32_t>(row) | (static_cast<std::uint32_t>(column) << 16);
}
constexpr std::uint16_t packedRow(std::uint32_t packed) {
  return static_cast<std::uint16_t>(packed & 0xFFFF);
}
constexpr std::uint8_t packedColumn(std::uint32_t packed) {
  return static_cast<std::uint8_t>((packed >> 16) & 0xFF);
}

/// True when (row, column) is on the sheet's grid.
constexpr bool isValidCell(int row, int column) {
  return row >= 0 && row <= kMaxRow && column >= 0 && column <= kMaxColumn;
}

struct CellRange {
  std::uint16_t firstRow = 0;
  std::uint8_t firstColumn = 0;
  std::uint16_t lastRow = 0;
  std::uint8_t lastColumn = 0;

  static constexpr CellRange cell(std::uint16_t row, std::uint8_t column) {
    return {row, column, row, column};
  }
  constexpr bool contains(int row, int column) const {
    return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
  }
  constexpr bool intersects(const CellRange& o) const {
    return firstRow <= o.lastRow && o.firstRow <= lastRow && firstColumn <= o.lastColumn &&
           o.firstColumn <= lastColumn;
  }
  constexpr bool isSingleCell() const {
    return firstRow == lastRow && firstColumn == lastColumn;
  }
  constexpr int rowCount() const { return lastRow - firstRow + 1; }
  constexpr int columnCount() const { return lastColumn - firstColumn + 1; }
  friend constexpr bool operator==(const CellRange&, const CellRange&) = default;
};

/// A range on a named sheet; sheet -1 means the sheet that owns the formula.
struct SheetRange {
  std::int16_t sheet = -1;
  std::uint32_t first = 0; // packed cell address
  std::uint32_t last = 0;  // packed cell address

  static constexpr SheetRange of(std::int16_t sheet, const CellRange& r) {
    return {sheet, packCell(r.firstRow, r.firstColumn), packCell(r.lastRow, r.lastColumn)};
  }
  constexpr CellRange range() const {
    return {packedRow(first), packedColumn(first), packedRow(last), packedColumn(last)};
  }
  friend constexpr bool operator==(const SheetRange&, const SheetRange&) = default;
};

} // namespace model
