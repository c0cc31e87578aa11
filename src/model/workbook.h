#pragma once
// One open document: its sheets and the tables they share (fonts, cell
// formats, number formats, styles, palette, defined names, add-in names).

#include "model/sheet.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace numfmt {
struct CompiledFormat;
}

namespace model {

inline constexpr int kMaxSheets = 32767;
inline constexpr std::uint16_t kDefaultCellFormat = 15;
inline constexpr std::uint16_t kAutomaticFontColour = 0x7FFF;

/// Bits of Font::attributes.
enum FontAttribute : std::uint16_t { kFontItalic = 1u << 1, kFontStrikeOut = 1u << 3 };

struct Font {
  std::uint16_t heightTwips = 200;
  std::uint16_t attributes = 0;
  std::uint16_t colourIndex = kAutomaticFontColour;
  std::uint16_t weight = 400;
  std::uint8_t underline = 0;
  std::uint8_t pitchAndFamily = 0;
  std::uint8_t charSet = 0;
  std::u16string face = u"Arial"; // at most 31 characters
  friend bool operator==(const Font&, const Font&) = default;
};

/// Bits of CellFormat::flags.
enum CellFormatFlag : std::uint32_t {
  kFormatLocked = 1u << 0,
  kFormatFormulaHidden = 1u << 1,
  kFormatStyle = 1u << 2,
  kFormatWrapText = 1u << 4,
};

enum HorizontalAlignment : std::uint8_t {
  kAlignGeneral = 0, kAlignLeft = 1, kAlignCentre = 2, kAlignRight = 3,
  kAlignFill = 4, kAlignJustify = 5, kAlignCentreAcrossSelection = 6,
};

struct Border {
  std::uint8_t style = 0; // 0 = none
  std::uint8_t colour = 64;
  friend bool operator==(const Border&, const Border&) = default;
};

struct CellFormat {
  std::uint16_t fontIndex = 0;
  std::uint16_t numberFormatIndex = 0;
  std::uint32_t flags = kFormatLocked;
  std::uint8_t horizontalAlignment = kAlignGeneral;
  std::uint8_t verticalAlignment = 0;
  std::uint8_t fillPattern = 0;        // 0 none, 1 solid, ...
  std::uint8_t patternColour = 64;     // automatic
  std::uint8_t backgroundColour = 65;  // window background
  std::array<Border, 4> borders{};     // left, right, top, bottom
  friend bool operator==(const CellFormat&, const CellFormat&) = default;
};

struct StyleRecord {
  std::uint16_t cellFormat = 0x8000; // bit 15: built-in style
  std::uint8_t builtinStyle = 0;
  std::uint8_t outlineLevel = 255;
};

/// Bits of NumberFormat::flags.
inline constexpr std::uint32_t kNumberFormatBuiltin = 1u << 0;

/// The compiled form of a number format code, made on first use. It keeps
/// the code it was made from, so an entry whose code is replaced in place (a
/// file reader, the locale formats) is compiled again, never shown stale.
struct CompiledFormatCache {
  std::u16string code;
  std::shared_ptr<const numfmt::CompiledFormat> format;
};

struct NumberFormat {
  std::uint16_t index = 0;
  std::uint32_t flags = 0;
  std::u16string code;        // stored form: rendering and saving
  std::u16string displayCode; // the form the Format Cells list shows
  mutable CompiledFormatCache compiled{};
};

/// Bits of DefinedName::flags.
inline constexpr std::uint32_t kNameCommandMacro = 1u << 0;
/// A hidden name "_xlfn.<function>" through which files call a function of
/// a later version.
inline constexpr std::uint32_t kNameLaterFunction = 1u << 1;

/// Built-in names are stored under these texts, indexed by their codes.
inline constexpr std::u16string_view kBuiltinNameTexts[] = {
    u"Consolidate_Area", u"Auto_Open",   u"Auto_Close",   u"Extract",
    u"数据库",           u"条件",        u"Print_Area",   u"Print_Titles",
    u"Recorder",         u"Data_Form",   u"Auto_Activate", u"Auto_Deactivate",
    u"Sheet_Title",      u"_FilterDatabase",
};
static_assert(std::size(kBuiltinNameTexts) == 14);

/// The defined names by their folded text, built on first lookup and built
/// again when the name list has changed (see Workbook::names).
struct NameIndex;

struct DefinedName {
  std::uint32_t flags = 0;
  char16_t shortcut = 0;      // keyboard shortcut character of a command macro
  std::int32_t sheetIndex = 0; // 0 = global, else the 1-based sheet it is local to
  std::u16string name;
  std::u16string formula;      // the definition as formula text
  std::vector<std::uint8_t> fileBytes; // the definition as read from a file
};

/// The kind of file a workbook was read from or last saved as, with the
/// version fields its writer puts into the file.
enum class FileFamily : std::uint8_t { Binary = 0, Pocket = 1, Text = 2 };
struct FileVersion {
  FileFamily family = FileFamily::Binary;
  std::uint8_t version = 8;           // 8 BIFF8, 7 BIFF5 or pocket
  std::uint16_t versionWord = 0x0600;
  std::uint16_t build = 5618;
  std::uint16_t year = 1996;
  std::uint32_t historyFlags = 0x49;
  std::uint8_t lowestVersion = 6;
};

/// A number for a new workbook, never given twice while the program runs.
std::uint64_t newWorkbookId();

/// A formula of a file that the program cannot read. Its cell holds the
/// file's cached result as a constant; the writer of the format it came from
/// writes the original bytes back while the cell, the sheet list and the
/// names are as they were loaded.
struct UnreadFormula {
  std::int32_t sheet = 0;
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  std::uintptr_t record = 0;       // the address of the cell's record; compared, never followed
  std::u16string input;            // the cell's input as loaded
  std::vector<std::uint8_t> bytes; // the formula as the file held it, after the cached result
};

struct UnreadFormulas {
  FileFamily family = FileFamily::Binary; // the format the bytes are in
  std::uint64_t structureGeneration = 0;  // of the sheet list they were loaded with
  std::vector<std::u16string> names;      // the defined names then, in order
  std::vector<UnreadFormula> cells;
};

struct Workbook {
  /// Names this workbook for its whole life, whatever its position in the
  /// list of open workbooks.
  std::uint64_t id = newWorkbookId();
  std::u16string path;
  FileVersion fileVersion;
  std::uint16_t codePage = 1252;
  std::uint16_t fileCodePage = 1252;
  std::int32_t modified = 0;
  std::int32_t circular = 0;
  std::array<std::uint32_t, 64> palette{}; // 0x00BBGGRR
  /// Names of one text may exist once per scope (the workbook and each
  /// sheet). Code that changes a name's text in place, or replaces names
  /// without changing their count, calls names_changed().
  std::vector<DefinedName> names;
  std::uint64_t namesGeneration = 0;
  mutable std::shared_ptr<const NameIndex> nameIndex;
  std::vector<std::u16string> addInNames;
  std::vector<NumberFormat> numberFormats;
  std::vector<CellFormat> cellFormats;
  std::vector<StyleRecord> styles;
  std::vector<Font> fonts;
  std::vector<std::unique_ptr<Sheet>> sheets; // tab order
  std::int32_t activeSheet = 0;
  std::int16_t firstVisibleTab = 0;
  std::int32_t date1904 = 0;
  // Kept as a file gave them, to be written back: the country codes (0 when
  // unknown) and the user-name bytes of the file's write-access record.
  std::uint16_t defaultCountry = 0;
  std::uint16_t systemCountry = 0;
  std::vector<std::uint8_t> writeAccess;
  UnreadFormulas unreadFormulas;
  std::int32_t showVerticalScrollBar = 1;
  std::int32_t showHorizontalScrollBar = 1;
  std::int32_t showSheetTabs = 1;
  std::optional<std::u16string> activateMacro;
  std::optional<std::u16string> deactivateMacro;
  /// Counts changes of the sheet list (insert, delete, move), which renumber
  /// sheets; caches keyed by sheet index compare it to know they are stale.
  std::uint64_t structureGeneration = 0;
  /// Data the formula engine keeps for this workbook (its dependency index).
  std::shared_ptr<void> engineState;

  int sheetCount() const { return static_cast<int>(sheets.size()); }
  Sheet& sheet(int i) { return *sheets[static_cast<size_t>(i)]; }
  const Sheet& sheet(int i) const { return *sheets[static_cast<size_t>(i)]; }
  Sheet& active() { return sheet(activeSheet); }
};

/// Black, white, red, green, blue, yellow, magenta, cyan, then the default
/// 56-colour palette of the workbook file format; 0x00BBGGRR.
extern const std::array<std::uint32_t, 64> kDefaultPalette;

/// The file name part of a path: what follows the last "\" or "/".
std::u16string_view fileNamePart(std::u16string_view path);

/// Sets the modified flag; every command that changes a workbook calls it.
void mark_modified(Workbook& book);

// ---- tables ----

/// Fills fonts, cell formats, styles, palette and built-in number formats as
/// a new workbook has them. `defaultFont` is font 0.
void seedWorkbookTables(Workbook& book, const Font& defaultFont);

/// Position in the number-format list of the entry with this format index, or -1.
int numberFormatPosition(const Workbook& book, std::uint16_t index);
/// The code of a format index; "General" when the index is unknown.
std::u16string_view numberFormatCode(const Workbook& book, std::uint16_t index);
/// The compiled form of a format index's code, compiled once per code (the
/// grid formats every visible cell on every repaint). An unknown index, or a
/// code that could not be compiled for want of memory, gives General. The
/// form follows the locale in force when it was compiled.
const numfmt::CompiledFormat& compiledNumberFormat(const Workbook& book, std::uint16_t index);

/// The index of a code (exact, case-sensitive match of the stored form), or a
/// new entry with index 1 + max(49, every index present). -1 when memory ran
/// out; nothing is added then.
int findOrAddFormat(Workbook& book, std::u16string_view code);

/// The index of an equal cell format (not a style format), or a new entry;
/// -1 when memory ran out or the table is full.
int findOrAddCellFormat(Workbook& book, const CellFormat& format);
/// The index of an equal font, or a new entry; -1 when memory ran out.
int findOrAddFont(Workbook& book, const Font& font);

/// Builds the code of a Format Cells category and returns findOrAddFormat's
/// answer for it; category 0 (General) is index 0.
int composeFormatCode(Workbook& book, int category, int places, std::u16string_view customText);

/// Adds an add-in function name unless present (without regard to case).
void addAddInName(Workbook& book, std::u16string_view name);
/// Defines the hidden global name `fileName` ("_xlfn.IFERROR") through
/// which a saved file calls a function of a later version, unless a global
/// name of that text exists.
void addLaterFunctionName(Workbook& book, std::u16string_view fileName);

struct NameLookup {
  int index = -1;   // defined name, or -1
  size_t end = 0;   // position after the word (and the spaces before a following operator);
                    // `start` when the workbook defines no names
};
/// Reads a word at `start` of formula text (after an optional "=" and spaces)
/// and looks it up among the defined names: the name local to `sheet` (the
/// formula's own sheet, 0-based; -1 for none) first, then the workbook's
/// global name, then a name local to another sheet.
NameLookup find_name(const Workbook& book, std::u16string_view text, size_t start,
                     int sheet = -1);
/// The index of the name with this text (without regard to case) as seen
/// from `sheet`, in the order find_name uses; -1 when there is none.
int find_name_text(const Workbook& book, std::u16string_view name, int sheet = -1);
/// Tells the name index that names changed in a way their count does not show.
void names_changed(Workbook& book);

/// Index of the sheet with this name (without regard to case), or -1.
int find_sheet(const Workbook& book, std::u16string_view name);

} // namespace model
