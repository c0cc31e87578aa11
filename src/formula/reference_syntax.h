#pragma once
// Reading and writing cell references in formula text: A1 cells with "$"
// marks, areas with ":" or "..", sheet qualifiers plain or in single quotes,
// and the R1C1 form INDIRECT can ask for.

#include "model/cell_range.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace model {
struct Workbook;
}

namespace formula {

struct RefCorner {
  int row = 0;    // 0-based
  int column = 0; // 0-based
  bool rowAbsolute = false;
  bool columnAbsolute = false;
};

struct ParsedReference {
  size_t begin = 0;         // first character of the reference (the qualifier if any)
  size_t end = 0;           // one past its last character
  int sheet = -1;           // index of the named sheet; -1 when there is no qualifier
  bool hasQualifier = false;
  bool quotedSheet = false; // the qualifier was written in single quotes
  std::u16string sheetName; // the qualifier's name as it reads (quotes undoubled)
  // A qualifier naming a range of sheets ("Sheet1:Sheet3!A1"): its last
  // sheet and that name; -1 when it names one sheet. `sheet` is the first.
  int lastSheet = -1;
  std::u16string lastSheetName;
  RefCorner first;
  RefCorner last;           // equal to first for a single cell
  bool isArea = false;      // written with a second corner

  /// The area with its corners normalised (first <= last on both axes).
  model::CellRange range() const;
};

/// True for the characters that end a name, function name or reference: the
/// list separator, space, % & ( ) * + , - / : < = > ^.
bool isIdentifierTerminator(char16_t c, char16_t listSeparator);

/// Reads an A1 reference starting exactly at `pos`. A qualifier's sheet name
/// must name a sheet of `book` (case-insensitive; with no book, no qualifier
/// is accepted). Rows must be 1-65536, columns A-IV. The reference must end
/// at the end of the text or before an identifier terminator, ")" "}" or ";"
/// . Returns false, leaving `out` unspecified, when no reference starts there.
bool readA1Reference(std::u16string_view text, size_t pos, const model::Workbook* book,
                     char16_t listSeparator, ParsedReference& out);

/// As readA1Reference, also accepting a qualifier that names a range of
/// sheets, "First:Last!", "'First:Last'!" or "'First':'Last'!" (both must be
/// sheets of `book`; a sheet name cannot hold ":"). Only callers that handle
/// such references ask for them: computing one as its first sheet alone
/// would be wrong.
bool readA1ReferenceOrSheetRange(std::u16string_view text, size_t pos, const model::Workbook* book,
                                 char16_t listSeparator, ParsedReference& out);

/// The sheet names of a qualifier as written, before they are looked up.
struct SheetQualifierNames {
  std::u16string first;
  std::u16string last; // the range's last sheet; empty for one sheet
  bool isRange = false;
  bool quoted = false; // either name was written in single quotes
  size_t next = 0;     // one past the "!"
};

/// Reads the names of a qualifier at `pos`: "Name!", "'Name'!" and, when
/// `sheetRanges`, "First:Last!", "'First:Last'!" or "'First':'Last'!".
/// False when there is none; `malformed` then tells a quoted name that is
/// not closed or not followed by "!" (the text is no reference at all).
bool readSheetQualifierNames(std::u16string_view text, size_t pos, char16_t listSeparator,
                             bool sheetRanges, SheetQualifierNames& out, bool& malformed);

/// A defined name local to a sheet, written after that sheet's qualifier
/// ("Sheet2!Rate", "'My Sheet'!Rate"): how a formula names the local name
/// of a sheet other than its own.
struct QualifiedName {
  size_t end = 0; // one past the name
  int sheet = -1; // the qualifier's sheet
  int index = -1; // the name's position in the workbook's list
};

/// Reads a qualifier of one sheet of `book` and a name local to that sheet
/// at `pos`. False when there is none: the sheet or its local name does not
/// exist, or the word is no name (a reference, a range of sheets).
bool readQualifiedName(std::u16string_view text, size_t pos, const model::Workbook* book,
                       char16_t listSeparator, QualifiedName& out);

/// Appends the text that names defined name `index` in a formula read on
/// `sheet` (0-based; -1 for none, as in a global name's definition): a name
/// local to another sheet with that sheet's qualifier, others as they are.
void appendNameAsSeenFrom(std::u16string& out, const model::Workbook& book, size_t index, int sheet);

/// Appends a reference's qualifier as it was written (a sheet range with
/// both names), then "!"; nothing when it has none.
void appendQualifierOf(std::u16string& out, const ParsedReference& ref);

/// Reads an R1C1 reference ("R2C3", "R[-1]C", "R1C1:R2C2", with an optional
/// sheet qualifier); bracketed numbers are offsets from (baseRow, baseColumn),
/// "R" or "C" without a number means the base row or column.
bool readR1C1Reference(std::u16string_view text, size_t pos, const model::Workbook* book,
                       char16_t listSeparator, int baseRow, int baseColumn, ParsedReference& out);

/// True when formula text refers to another workbook: a qualifier that
/// starts with "[" (or, quoted, holds "[...]") outside string constants, as
/// [Book.xls]Sheet1!A1 or 'C:\Dir\[Book.xls]Sheet 1'!A1.
bool hasExternalReference(std::u16string_view text);

/// Column letters in bijective base 26: 0 -> "A", 25 -> "Z", 26 -> "AA", 255 -> "IV".
std::u16string columnLetters(int column);

/// Appends an A1 address with "$" before each absolute part: "$B$2", "C7".
void appendCellAddress(std::u16string& out, const RefCorner& corner);

/// Appends a sheet qualifier as a file or the rewriter writes it: quoted
/// (with quotes doubled) when asked or when the name is not plain letters,
/// digits and "_" or starts with a digit; then "!".
void appendSheetQualifier(std::u16string& out, std::u16string_view sheetName, bool quoted);

/// Appends "First:Last!", or "'First:Last'!" when asked or when either name
/// needs quotes.
void appendSheetRangeQualifier(std::u16string& out, std::u16string_view first,
                               std::u16string_view last, bool quoted);

} // namespace formula
