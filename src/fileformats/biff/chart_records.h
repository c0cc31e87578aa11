#pragma once
// Charts in binary workbooks: the chart substream (BOF of type chart, a tree
// of chart records nested with BEGIN and END, EOF) read into a ChartModel and
// written back from one. Chart sheets and embedded charts share it; the
// workbook reader and writer find the substream and hand it here.

#include "charts/chart_model.h"
#include "fileformats/biff/byte_cursor.h"
#include "fileformats/biff/formula_tokens.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace biff {

struct ChartRecord {
  std::uint16_t id = 0;
  std::span<const std::uint8_t> body;
};

struct ChartReadContext {
  /// 8 for BIFF8, 7 for BIFF5 and older; the book for the palette (BIFF5
  /// colours are RGB values looked up in it).
  TokenContext tokens;
  /// Reads `count` characters of a string body in the file's form.
  std::function<bool(ByteCursor&, size_t, std::u16string&)> readChars;
};

/// Reads the records between a chart's BOF and its EOF (nested substreams
/// already left out). Unknown records are skipped; bad values are brought
/// into range, so the result is always a usable chart.
charts::ChartModel readChartRecords(std::span<const ChartRecord> records, const ChartReadContext& ctx);

struct ChartWriteContext {
  int version = 8; // 8 or 7
  const model::Workbook* book = nullptr;
  /// The sheet the chart lives on (references without a sheet name mean it).
  int hostSheet = 0;
  /// The chart's size in pixels, for the font basis records.
  int widthPx = 640;
  int heightPx = 400;
  /// Compiles a reference text (already sheet-qualified) into tokens.
  std::function<TokenArray(std::u16string_view)> compileReference;
  /// A BIFF5 text in the file's code page.
  std::function<std::string(std::u16string_view)> narrow;
};

/// The chart's records from after its BOF to before its EOF, each with its
/// 4-byte header.
std::vector<std::uint8_t> writeChartRecords(charts::ChartModel chart, model::Workbook& book,
                                            const ChartWriteContext& ctx);

/// Record identifiers of the chart substream.
inline constexpr std::uint16_t rtCHART_UNITS = 0x1001;
inline constexpr std::uint16_t rtCHART = 0x1002;
inline constexpr std::uint16_t rtSERIES = 0x1003;
inline constexpr std::uint16_t rtDATAFORMAT = 0x1006;
inline constexpr std::uint16_t rtLINEFORMAT = 0x1007;
inline constexpr std::uint16_t rtMARKERFORMAT = 0x1009;
inline constexpr std::uint16_t rtAREAFORMAT = 0x100A;
inline constexpr std::uint16_t rtPIEFORMAT = 0x100B;
inline constexpr std::uint16_t rtATTACHEDLABEL = 0x100C;
inline constexpr std::uint16_t rtSERIESTEXT = 0x100D;
inline constexpr std::uint16_t rtCHARTFORMAT = 0x1014;
inline constexpr std::uint16_t rtLEGEND = 0x1015;
inline constexpr std::uint16_t rtBAR = 0x1017;
inline constexpr std::uint16_t rtLINE = 0x1018;
inline constexpr std::uint16_t rtPIE = 0x1019;
inline constexpr std::uint16_t rtAREA = 0x101A;
inline constexpr std::uint16_t rtSCATTER = 0x101B;
inline constexpr std::uint16_t rtAXIS = 0x101D;
inline constexpr std::uint16_t rtTICK = 0x101E;
inline constexpr std::uint16_t rtVALUERANGE = 0x101F;
inline constexpr std::uint16_t rtCATSERRANGE = 0x1020;
inline constexpr std::uint16_t rtAXISLINEFORMAT = 0x1021;
inline constexpr std::uint16_t rtCHARTFORMATLINK = 0x1022;
inline constexpr std::uint16_t rtDEFAULTTEXT = 0x1024;
inline constexpr std::uint16_t rtTEXT = 0x1025;
inline constexpr std::uint16_t rtFONTX = 0x1026;
inline constexpr std::uint16_t rtOBJECTLINK = 0x1027;
inline constexpr std::uint16_t rtFRAME = 0x1032;
inline constexpr std::uint16_t rtBEGIN = 0x1033;
inline constexpr std::uint16_t rtEND = 0x1034;
inline constexpr std::uint16_t rtPLOTAREA = 0x1035;
inline constexpr std::uint16_t rtRADAR = 0x103E;
inline constexpr std::uint16_t rtSURFACE = 0x103F;
inline constexpr std::uint16_t rtRADARAREA = 0x1040;
inline constexpr std::uint16_t rtAXISPARENT = 0x1041;
inline constexpr std::uint16_t rtSHTPROPS = 0x1044;
inline constexpr std::uint16_t rtSERTOCRT = 0x1045;
inline constexpr std::uint16_t rtAXESUSED = 0x1046;
inline constexpr std::uint16_t rtPOS = 0x104F;
inline constexpr std::uint16_t rtAI = 0x1051;
inline constexpr std::uint16_t rtFBI = 0x1060;
inline constexpr std::uint16_t rtAXCEXT = 0x1062;
inline constexpr std::uint16_t rtPLOTGROWTH = 0x1064;
inline constexpr std::uint16_t rtSIINDEX = 0x1065;

} // namespace biff
