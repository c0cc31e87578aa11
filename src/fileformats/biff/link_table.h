#pragma once
// The link tables of a binary workbook: how 3-D references and external
// names in formula tokens find their sheets and names. The workbook reader
// fills them from EXTERNSHEET, SUPBOOK and EXTERNNAME records; the writer
// builds them from the workbook with linkTableForWriting, which is also the
// layout formula tokens assume when no table from a file is at hand.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace model {
struct Workbook;
}

namespace biff {

/// Sheet numbers 0xFFFE and 0xFFFF in an EXTERNSHEET entry: no sheet (an
/// add-in or a workbook-level link).
inline constexpr std::uint16_t kNoSheet = 0xFFFE;
inline constexpr std::uint16_t kDeletedSheet = 0xFFFF;

/// One 6-byte BIFF8 EXTERNSHEET entry.
struct ExternSheetEntry {
  std::uint16_t book = 0;       // index of the SUPBOOK record, in file order
  std::uint16_t firstSheet = 0; // sheet indexes inside that book
  std::uint16_t lastSheet = 0;
};

struct LinkTable {
  /// BIFF8: the EXTERNSHEET entries, indexed by the sheet index of 3-D
  /// reference and external-name tokens.
  std::vector<ExternSheetEntry> externSheets;
  /// BIFF8: the SUPBOOK (in file order) that stands for the add-in functions,
  /// or -1 when the file has none.
  int addInBook = -1;
  /// BIFF8: the SUPBOOK of this workbook's own sheets, or -1 when unknown
  /// (3-D references are then taken to point into this workbook).
  int ownBook = -1;
  /// BIFF8: the EXTERNNAME texts that follow the add-in SUPBOOK, in order.
  /// BIFF5: every EXTERNNAME text of the globals, in order. External-name
  /// tokens index this list from 1.
  std::vector<std::u16string> externNames;
};

/// True for the body of the SUPBOOK that stands for add-in functions: a sheet
/// count of 1 followed by the two bytes 0x01 0x3A.
bool isAddInSupportingBook(std::span<const std::uint8_t> body);

/// The tables the writer stores for `book` (BIFF8): when the workbook has
/// add-in names, SUPBOOK 0 is the add-in book with those names and
/// EXTERNSHEET entry 0 points at it; then one entry per sheet on the
/// workbook's own SUPBOOK, so sheet i has entry i (+1 with add-in names); a
/// workbook with a macro sheet ends with an entry for the macro link book.
LinkTable linkTableForWriting(const model::Workbook& book);

/// The EXTERNSHEET index the writer gives sheet position `sheet`.
int externSheetIndexForWriting(const model::Workbook& book, int sheet);

} // namespace biff
