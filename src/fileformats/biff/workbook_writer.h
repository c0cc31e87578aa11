#pragma once
// Writing a workbook as a binary workbook: a BIFF8 ("Workbook") or BIFF5
// ("Book") stream inside a compound document. Strings go into LABEL records
// (the shared string table is only used for texts too long for one), and
// every formula is compiled back into tokens.

#include "model/workbook.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace biff {

/// Shown once when a save had to cut a text (or give up a formula) to fit
/// the format's lengths.
inline constexpr std::u16string_view kMessageTextCut = u"部分文字超出文件格式的长度限制，已被截断。";

/// Longest record body the format allows; longer contents continue in
/// CONTINUE records or are split into several records.
inline constexpr size_t kMaxRecordBody = 8224;
/// Ranges one MERGEDCELLS record holds without passing kMaxRecordBody.
inline constexpr size_t kMergedRangesPerRecord = 1027;

/// The RK form of a number: true with the 32-bit RK word when `x` has one.
[[nodiscard]] bool rkEncode(double x, std::uint32_t &rk);

/// The code page of an Excel 95 save's 8-bit text: the workbook's own (read
/// from its file, or the system's for a new one), 1252 when it has no converter.
int excel95CodePage(const model::Workbook &book);

/// Builds the BIFF stream alone. `version` is 8 (Excel 97) or 7 (Excel 95);
/// any other value writes BIFF8. Cached results are written as the cells
/// hold them: bring stale cells up to date first (saveBinaryWorkbook does).
std::vector<std::uint8_t> writeWorkbookStream(const model::Workbook &book, int version);

/// Builds the whole compound document into `out`. Returns false only when
/// memory ran out; `out` is then empty.
[[nodiscard]] bool writeBinaryWorkbook(const model::Workbook &book, int version,
                                       std::vector<std::uint8_t> &out);

/// Computes stale cells, then writes the file through a temporary file in the
/// same folder that replaces `path` only once it is complete. On failure the
/// previous file is untouched, the temporary file is removed and false is
/// returned.
[[nodiscard]] bool saveBinaryWorkbook(model::Workbook &book, const std::u16string &path,
                                      int version);

} // namespace biff
