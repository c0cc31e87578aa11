#pragma once
// Comma-separated (.csv, with the locale's list separator) and tab-separated
// (.txt) text: one sheet per file, bytes in the ANSI code page or in UTF-8,
// fields stored as the text a user would type so they are classified as on
// entry.

#include "model/workbook.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace textfile {

inline constexpr std::u16string_view kMessageInvalidData = u"文件中含有无效数据！";
inline constexpr std::u16string_view kMessageSavedAsUtf8 =
    u"文件中有当前代码页无法表示的字符，已按 UTF-8 保存。";
inline constexpr int kMaxFields = 256;   // columns A to IV
inline constexpr int kMaxLines = 65536;  // rows 1 to 65,536

enum class DelimitedKind { Csv, Tab };

struct DelimitedOptions {
  int codePage = 0;         // 0: platform::systemAnsiCodePage()
  char16_t separator = 0;   // 0: the list separator for Csv, tab for Tab
  char16_t listSeparator = 0; // 0: the locale's; decides quoting on export
  /// Import finds the encoding from the bytes: a byte-order mark (UTF-8,
  /// UTF-16, UTF-32) decides; else bytes that are valid UTF-8 and hold
  /// characters beyond ASCII are UTF-8; else the ANSI code page. False reads
  /// every file in the code page.
  bool detectEncoding = true;
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
/// separator, the field separator, a quote, CR or LF; rows end in CR LF. A
/// chart sheet or an empty sheet gives no bytes. Stale formulas are computed
/// on the way. Texts are in the ANSI code page; when one holds a character
/// the code page cannot represent (`*unrepresentable` is then set), or when
/// the code-page bytes would read back as UTF-8, the whole file is UTF-8
/// after a byte-order mark instead, which the import recognises. Throws
/// std::bad_alloc.
std::string exportDelimitedText(model::Workbook& book, DelimitedKind kind,
                                const DelimitedOptions& options = {},
                                bool* unrepresentable = nullptr);

/// Exports the active sheet and writes it to `path` through a temporary file
/// that replaces it once complete. When characters the code page cannot
/// represent made it UTF-8, says so once with kMessageSavedAsUtf8 after it
/// is written. False when
/// memory ran out or the file could not be written (no message of its own).
[[nodiscard]] bool saveDelimitedText(model::Workbook& book, const std::u16string& path,
                                     DelimitedKind kind, const DelimitedOptions& options = {});

} // namespace textfile
