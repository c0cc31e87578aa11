#pragma once
// The link tables of a binary workbook: how 3-D references and external
// names in formula tokens find their sheets and names. The workbook reader
// fills them from EXTERNSHEET, SUPBOOK and EXTERNNAME records; the writer
// builds them from the workbook with linkTableForWriting, which is also the
// layout formula tokens assume when no table from a file is at hand.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
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

/// A workbook other than this one that formulas refer to: the path as the
/// formula text shows it ("Book.xls", "C:\\Data\\Book.xls", a URL) and the
/// sheet names its SUPBOOK lists.
struct ExternalBook {
  std::u16string path;
  std::vector<std::u16string> sheets;
  std::vector<std::u16string> names; // its EXTERNNAME texts, for external-name tokens
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
  /// BIFF8: the other workbooks, by SUPBOOK index (null for SUPBOOKs that
  /// are not another workbook). Their references keep their own text and are
  /// never resolved into this workbook.
  std::vector<std::optional<ExternalBook>> externalBooks;
  /// BIFF8: the EXTERNNAME texts that follow the add-in SUPBOOK, in order.
  /// BIFF5: every EXTERNNAME text of the globals, in order. External-name
  /// tokens index this list from 1.
  std::vector<std::u16string> externNames;
};

/// True for the body of the SUPBOOK that stands for add-in functions: a sheet
/// count of 1 followed by the two bytes 0x01 0x3A.
bool isAddInSupportingBook(std::span<const std::uint8_t> body);
/// True for the body of the SUPBOOK of this workbook's own sheets: a sheet
/// count followed by the two bytes 0x01 0x04.
bool isOwnSupportingBook(std::span<const std::uint8_t> body);
/// The other workbook a SUPBOOK body names, when it names one.
std::optional<ExternalBook> externalBookOf(std::span<const std::uint8_t> body);
/// The SUPBOOK body that names `book` (BIFF8).
std::vector<std::uint8_t> supportingBookBody(const ExternalBook& book);

/// A path as the file stores it (an encoded path: volume, directory and
/// parent-directory marks, URLs with their length) and as text.
std::u16string decodeBookPath(std::u16string_view encoded);
std::u16string encodeBookPath(std::u16string_view path);

/// The qualifier of a reference into another workbook, "!" included:
/// [Book.xls]Sheet1! or, when anything needs quoting, 'C:\\Dir\\[Book.xls]Sheet 1'!.
/// `last` differs from `first` for a range of sheets; with no sheet at all
/// ([Book.xls]!) it qualifies one of that workbook's names.
std::u16string externalQualifier(std::u16string_view path, std::u16string_view first,
                                 std::u16string_view last);

/// What a save gathers while it compiles formulas: references into other
/// workbooks (which need SUPBOOK and EXTERNSHEET entries after the writer's
/// own) and names that no definition holds (written as hidden names whose
/// definition is #NAME?, after the workbook's names).
struct WriteLinks {
  /// The EXTERNSHEET entries and the SUPBOOKs the writer lays out itself.
  size_t ownExternSheets = 0;
  size_t ownSupportingBooks = 0;
  size_t definedNames = 0;
  std::vector<ExternalBook> books;
  std::vector<ExternSheetEntry> externSheets; // entries after the writer's own
  std::vector<std::u16string> undefinedNames;

  /// The EXTERNSHEET index of sheets `first`..`last` of another workbook,
  /// added when new; -1 when the table is full.
  int externSheet(std::u16string_view path, std::u16string_view first, std::u16string_view last);
  /// The EXTERNSHEET index of this workbook's sheets `first`..`last` (a
  /// range of sheets: the writer's own entries name one sheet each) on its
  /// SUPBOOK `ownBook`, added when new; -1 when the table is full.
  int ownSheetSpan(int ownBook, int first, int last);
  /// The 1-based name index of a name without definition, added when new;
  /// -1 when the table is full.
  int undefinedName(std::u16string_view name);
  /// For a name of another workbook: its EXTERNSHEET index and its 1-based
  /// position among that workbook's EXTERNNAME records, added when new.
  bool externalName(std::u16string_view path, std::u16string_view name, int& externSheet,
                    int& index);

private:
  int bookIndex(std::u16string_view path);
  int entryIndex(const ExternSheetEntry& e);
  std::unordered_map<std::u16string, int> m_foldedNames; // undefinedNames, folded -> index
};

/// The tables the writer stores for `book` (BIFF8): when the workbook has
/// add-in names, SUPBOOK 0 is the add-in book with those names and
/// EXTERNSHEET entry 0 points at it; then one entry per sheet on the
/// workbook's own SUPBOOK, so sheet i has entry i (+1 with add-in names); a
/// workbook with a macro sheet ends with an entry for the macro link book.
LinkTable linkTableForWriting(const model::Workbook& book);

/// The EXTERNSHEET index the writer gives sheet position `sheet`.
int externSheetIndexForWriting(const model::Workbook& book, int sheet);

} // namespace biff
