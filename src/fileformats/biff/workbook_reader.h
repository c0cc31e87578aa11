#pragma once
// Reading a binary workbook (BIFF8, or BIFF5/7 and the older sheet records)
// from the bytes of an .xls or .xlt file into a workbook. Cells arrive as
// the text a user would type for them, with the values the file cached.

#include "model/workbook.h"

#include <cstdint>
#include <span>
#include <string>

namespace biff {

inline constexpr std::u16string_view kMessagePasswordProtected = u"此文件已被密码保护！";
/// Shown once when a workbook opens with sheets whose contents could not be found.
/// %d is the code page number.
inline constexpr std::u16string_view kMessageUnsupportedCodePage = u"不支持此文件的字符集（代码页 %d）。";
inline constexpr std::u16string_view kMessageSheetsLeftOut = u"部分工作表无法读取，已跳过。";

enum class ReadStatus {
  Ok,
  WorkbookNotFound, // not a container, or no workbook stream in it
  Encrypted,        // the file is password-protected
  Damaged,          // the container or the records could not be read
  UnsupportedCodePage, // 8-bit text in a code page with no converter
  OutOfMemory,      // reading ran out of memory ("Insufficient memory" was shown)
};

struct ReadInfo {
  ReadStatus status = ReadStatus::Ok;
  int sheetsLeftOut = 0;     // sheets opened empty because their substream was missing
  int version = 0;           // 8, 7, 4, 3 or 2
  bool workbookStream = true; // the stream was named "Workbook" (else "Book")
  std::uint16_t fileCodePage = 0;
};

/// Reads `file` into `book`, which has its default tables and no sheets.
/// Failures show their message (through the platform's message box) and
/// leave the workbook to be discarded by the caller.
[[nodiscard]] bool readBinaryWorkbook(std::span<const std::uint8_t> file, model::Workbook& book,
                                      ReadInfo* info = nullptr);

} // namespace biff
