#pragma once
// The value of a cell or of a formula operand: a tagged 16-byte record whose
// kind numbers are also what stored data and macros see. A value owns its
// array or area list and copying duplicates them; strings are immutable and
// shared by count, so copying a string value (which recalculation does at
// every reference) costs no allocation. Values belong to one thread.

#include "model/cell_range.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace model {

enum class ValueKind : std::uint16_t {
  Empty = 0,
  Number = 1,
  String = 2,
  Boolean = 4,
  MultiArea = 8,    // a list of areas, each a SheetRange
  Error = 16,
  Jump = 32,        // a macro's request to continue at another cell
  Array = 64,
  Reference = 1024, // one area
};

enum class ErrorCode : std::uint8_t { Null = 0, Div0 = 1, Value = 2, Ref = 3, Name = 4, Num = 5, NA = 6 };
inline constexpr int kErrorCodeCount = 7;

/// "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A".
std::u16string_view errorText(ErrorCode code);

/// The error whose text equals `text` without regard to case, or -1.
int findErrorCode(std::u16string_view text);

// A string value's block: a reference count and the length, then the
// characters. From the length on it has OwnedText's block layout.
struct SharedString {
  std::uint32_t refs;
  std::uint32_t length;
  char16_t* chars() { return reinterpret_cast<char16_t*>(this + 1); }
};
static_assert(sizeof(SharedString) == 8);

class CellValue {
public:
  CellValue() noexcept : m_payload{}, m_rows(0), m_columns(0), m_kind(ValueKind::Empty) {}
  ~CellValue() {
    if (ownsMemory())
      release();
  }
  CellValue(const CellValue& other) : m_payload(other.m_payload), m_rows(other.m_rows),
                                      m_columns(other.m_columns), m_kind(other.m_kind) {
    if (other.ownsMemory())
      copyFrom(other);
  }
  // Moving and copying plain values is inline: recalculation moves a value
  // into place for every operand and result.
  CellValue(CellValue&& other) noexcept
      : m_payload(other.m_payload), m_rows(other.m_rows), m_columns(other.m_columns),
        m_kind(other.m_kind) {
    other.m_kind = ValueKind::Empty;
  }
  CellValue& operator=(const CellValue& other) {
    if (other.ownsMemory())
      return assignOwning(other);
    assignFields(other.m_payload, other.m_rows, other.m_columns, other.m_kind);
    return *this;
  }
  CellValue& operator=(CellValue&& other) noexcept {
    if (this != &other) {
      const ValueKind kind = other.m_kind;
      other.m_kind = ValueKind::Empty;
      assignFields(other.m_payload, other.m_rows, other.m_columns, kind);
    }
    return *this;
  }

  static CellValue number(double x) {
    CellValue v;
    v.m_payload.number = x;
    v.m_kind = ValueKind::Number;
    return v;
  }
  static CellValue string(std::u16string_view text);
  /// A string the formula reader made from a word that names nothing; it is
  /// #NAME? where a number is needed (other strings give #VALUE!).
  static CellValue nameText(std::u16string_view text);
  static CellValue boolean(bool b) {
    CellValue v;
    v.m_payload.word = b ? 1 : 0;
    v.m_kind = ValueKind::Boolean;
    return v;
  }
  static CellValue error(ErrorCode code) {
    CellValue v;
    v.m_payload.word = static_cast<std::uint32_t>(code);
    v.m_kind = ValueKind::Error;
    return v;
  }
  static CellValue reference(const SheetRange& area) {
    CellValue v;
    v.m_payload.cells[0] = area.first;
    v.m_payload.cells[1] = area.last;
    v.m_rows = static_cast<std::uint16_t>(area.sheet);
    v.m_kind = ValueKind::Reference;
    return v;
  }
  static CellValue areas(std::vector<SheetRange> list);
  /// A rows x columns array in row-major order; `items` is cut or padded to
  /// rows*columns values. Rows reach 65,536 (a whole column of a sheet);
  /// columns 65,535.
  static CellValue array(int rows, int columns, std::vector<CellValue> items);
  static CellValue jump(std::int16_t sheet, std::uint32_t packedCell);

  ValueKind kind() const { return m_kind; }
  bool isEmpty() const { return m_kind == ValueKind::Empty; }
  bool isNumber() const { return m_kind == ValueKind::Number; }
  bool isString() const { return m_kind == ValueKind::String; }
  bool isBoolean() const { return m_kind == ValueKind::Boolean; }
  bool isError() const { return m_kind == ValueKind::Error; }
  bool isArray() const { return m_kind == ValueKind::Array; }
  bool isReference() const { return m_kind == ValueKind::Reference; }
  bool isMultiArea() const { return m_kind == ValueKind::MultiArea; }
  bool isNameText() const { return m_kind == ValueKind::String && m_columns == 1; }

  // Accessors; each is only meaningful for its own kind.
  double numberValue() const { return m_payload.number; }
  bool booleanValue() const { return m_payload.word != 0; }
  ErrorCode errorValue() const { return static_cast<ErrorCode>(m_payload.word); }
  std::u16string_view stringValue() const {
    return {m_payload.text->chars(), m_payload.text->length};
  }
  /// A string's text as a block of length (two code units) then characters,
  /// held until releaseTextBlock: how a cell's input shares its value's text.
  const char16_t* retainTextBlock() const;
  static void releaseTextBlock(const char16_t* block) noexcept;
  SheetRange referenceValue() const {
    return {static_cast<std::int16_t>(m_rows), m_payload.cells[0], m_payload.cells[1]};
  }
  const std::vector<SheetRange>& areasValue() const { return *m_payload.areas; }
  // The row count follows from the elements, so a whole column (65,536
  // rows) fits the 16-bit field's record.
  int arrayRows() const {
    return m_columns ? static_cast<int>(m_payload.items->size() / m_columns) : m_rows;
  }
  std::uint16_t arrayColumns() const { return m_columns; }
  const CellValue& arrayItem(int row, int column) const {
    return (*m_payload.items)[static_cast<size_t>(row) * m_columns + column];
  }
  CellValue& arrayItem(int row, int column) {
    return (*m_payload.items)[static_cast<size_t>(row) * m_columns + column];
  }
  std::int16_t jumpSheet() const { return static_cast<std::int16_t>(m_rows); }
  std::uint32_t jumpCell() const { return m_payload.cells[0]; }

  /// Same kind and same contents (strings compare exactly).
  friend bool operator==(const CellValue& a, const CellValue& b);

private:
  bool ownsMemory() const {
    return m_kind == ValueKind::String || m_kind == ValueKind::MultiArea ||
           m_kind == ValueKind::Array;
  }
  void release() noexcept;
  void copyFrom(const CellValue& other);
  CellValue& assignOwning(const CellValue& other);

  union Payload {
    double number;
    std::uint32_t word;            // boolean 0/1, error code
    std::uint32_t cells[2];        // reference first/last; jump target
    SharedString* text;
    std::vector<SheetRange>* areas;
    std::vector<CellValue>* items;
  } m_payload;
  // The fields arrive by value, read before this value lets go of its memory,
  // which may hold the source as an item.
  void assignFields(Payload payload, std::uint16_t rows, std::uint16_t columns,
                    ValueKind kind) noexcept {
    if (ownsMemory())
      release();
    m_payload = payload;
    m_rows = rows;
    m_columns = columns;
    m_kind = kind;
  }
  std::uint16_t m_rows;    // array rows; sheet index of a reference or jump
  std::uint16_t m_columns; // array columns; 1 on a string made from an unknown name
  ValueKind m_kind;
};
static_assert(sizeof(CellValue) == 16);

} // namespace model
