#pragma once
// Comma-separated (.csv, with the locale's list separator) and tab-separated
// (.txt) text: one sheet per file, bytes in the ANSI code page, fields
// stored as the text a user would type so they are classified as on entry.

#include "model/workbook.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace textfile {

inline constexpr std::u16string_view kMessageInvalidData = u"文件中含有无效数据！";
inline constexpr int kMaxFields = 256;   // columns A to IV
inline constexpr int kMaxLines = 65536;  // rows 1 to 65,536

enum class DelimitedKind { Csv, Tab };

struct DelimitedOptions {
  int codePage = 0;         // 0: platform::systemAnsiCodePage()
  char16_t separator = 0;   // 0: the list separator for Csv, tab for Tab
  char16_t listSeparator = 0; // 0: the locale's; decides quoting on export
  /// A UTF-8 or UTF-16 byte-order mark at the start of a file switches the
  /// import to that encoding (files written by other programs carry one).
  bool honourByteOrderMark = true;
};

/// The name a sheet imported from `path` gets: the file name without its
/// extension, with the characters a sheet name may not hold replaced by "_",
/// cut to 31 characters; empty when nothing usable is left.
std::u16string sheetNameForFile(std::u16string_view path);

/// Reads `bytes` into `book`, which has its default tables and no sheets: one
/// worksheet named `sheetName` (a default name when empty or not valid)
/// receives the fields, with the number format or wrapping the entry rules
/// give them; rows are fitted when a field held a line feed.
///
/// Malformed input (a quote inside an unquoted field, a file ending inside
/// quotes, more than 256 fields on a line, a line end closing the 65,536th
/// line) shows kMessageInvalidData and returns false; so does running out of
/// memory (after the allocation message). On failure the sheets added here
/// are removed again, so the workbook is as it was given.
[[nodiscard]] bool importDelimitedText(std::span<const std::uint8_t> bytes, DelimitedKind kind,
                                       model::Workbook& book, std::u16string_view sheetName,
                                       const DelimitedOptions& options = {});

/// The bytes of the active sheet as delimited text: displayed texts (formula
/// texts when the sheet shows formulas), quoted when they hold the list
/// separator, a quote, CR or LF; rows end in CR LF. A chart sheet or an empty
/// sheet gives no bytes. Stale formulas are computed on the way.
std::string exportDelimitedText(model::Workbook& book, DelimitedKind kind,
                                const DelimitedOptions& options = {});

} // namespace textfile
