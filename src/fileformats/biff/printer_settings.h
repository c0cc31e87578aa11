#pragma once
// The printer settings of a sheet's PLS record: a Windows DEVMODE followed
// by the driver's own data. Excel 97 files store the wide-character form,
// Excel 95 files the 8-bit form, whose device and form names are text in
// the workbook's code page. The workbook keeps the wide form.

#include <cstdint>
#include <span>
#include <vector>

namespace biff {

/// Converts an 8-bit DEVMODE (with its driver data) into the wide form.
/// Returns false, leaving `out` empty, when the structure's own size field
/// does not fit the bytes.
[[nodiscard]] bool widenPrinterSettings(std::span<const std::uint8_t> narrow, int codePage,
                                        std::vector<std::uint8_t> &out);

/// The reverse of widenPrinterSettings; names longer than 31 bytes in the
/// code page are cut.
[[nodiscard]] bool narrowPrinterSettings(std::span<const std::uint8_t> wide, int codePage,
                                         std::vector<std::uint8_t> &out);

} // namespace biff
