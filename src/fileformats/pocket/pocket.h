#pragma once
// Pocket Excel 2.0 workbooks (.pxl): a flat run of records, each a type
// byte and a body whose length the type fixes, plus a counted UTF-16 string
// or token block for some types. No container, no record lengths: a reader
// that loses its place cannot find the next record again.

#include "model/workbook.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pocket {

// clang-format off
inline constexpr std::uint8_t rtBLANK            = 1;
inline constexpr std::uint8_t rtNUMBER           = 3;
inline constexpr std::uint8_t rtLABEL            = 4;
inline constexpr std::uint8_t rtBOOLERR          = 5;
inline constexpr std::uint8_t rtFORMULA          = 6;
inline constexpr std::uint8_t rtSTRING           = 7;
inline constexpr std::uint8_t rtROW              = 8;
inline constexpr std::uint8_t rtBOF              = 9;
inline constexpr std::uint8_t rtEOF              = 10;
inline constexpr std::uint8_t rtNAME             = 24;
inline constexpr std::uint8_t rtSELECTION        = 29;
inline constexpr std::uint8_t rtFORMAT           = 30;
inline constexpr std::uint8_t rtDEFAULTROWHEIGHT = 37;
inline constexpr std::uint8_t rtFILEPASS         = 47;
inline constexpr std::uint8_t rtFONT             = 49;
inline constexpr std::uint8_t rtWINDOW1          = 61;
inline constexpr std::uint8_t rtWINDOW2          = 62;
inline constexpr std::uint8_t rtPANE             = 65;
inline constexpr std::uint8_t rtCODEPAGE         = 66;
inline constexpr std::uint8_t rtDEFCOLWIDTH      = 85;
inline constexpr std::uint8_t rtCOLINFO          = 125;
inline constexpr std::uint8_t rtBOUNDSHEET       = 133;
inline constexpr std::uint8_t rtCOUNTRY          = 140;
inline constexpr std::uint8_t rtSCL              = 160;
inline constexpr std::uint8_t rtXF               = 224;

inline constexpr std::uint16_t kSubstreamWorkbook  = 5;
inline constexpr std::uint16_t kSubstreamWorksheet = 16;
// clang-format on

/// The BOF version word of a workbook first saved as a pocket file; one read
/// from a pocket file keeps the word the file gave it.
inline constexpr std::uint16_t kNewVersionWord = 0x010F;

/// File colour 255: automatic.
inline constexpr std::uint8_t kAutomaticColour = 255;
/// File number formats from here on are the file's FORMAT records, in order.
inline constexpr std::uint16_t kFirstFileFormat = 233;

inline constexpr std::u16string_view kMessageInvalidData = u"文件中含有无效数据！";
inline constexpr std::u16string_view kMessagePasswordProtected = u"此文件已被密码保护！";

/// Reads `file` into `book`, which has its default tables and no sheets.
/// A failure (a truncated record, an unknown type byte, a password-protected
/// file, memory running out) shows its message through the platform's
/// message box and returns false; the caller discards the workbook.
[[nodiscard]] bool readPocketWorkbook(std::span<const std::uint8_t> file, model::Workbook& book);

/// Builds the file into `out`. Cached results are written as the cells hold
/// them. Returns false only when memory ran out; `out` is then empty.
[[nodiscard]] bool writePocketWorkbook(const model::Workbook& book, std::vector<std::uint8_t>& out);

/// Computes stale cells, then writes through a temporary file in the same
/// folder that replaces `path` once complete. On failure the previous file is
/// untouched and the temporary file removed.
[[nodiscard]] bool savePocketWorkbook(model::Workbook& book, const std::u16string& path);

/// The file number format that stands for a workbook number-format index:
/// the built-in file formats first by index, then by code; -1 when the
/// format needs a FORMAT record of its own.
int builtinFileFormat(const model::Workbook& book, std::uint16_t numberFormatIndex);

} // namespace pocket
