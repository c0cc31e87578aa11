#pragma once
// Record identifiers of the binary workbook stream.

#include <cstddef>
#include <cstdint>

namespace biff {

// clang-format off
inline constexpr std::uint16_t rtFORMULA        = 0x0006;
inline constexpr std::uint16_t rtEOF            = 0x000A;
inline constexpr std::uint16_t rtPROTECT        = 0x0012;
inline constexpr std::uint16_t rtPASSWORD       = 0x0013;
inline constexpr std::uint16_t rtHEADER         = 0x0014;
inline constexpr std::uint16_t rtFOOTER         = 0x0015;
inline constexpr std::uint16_t rtEXTERNSHEET    = 0x0017;
inline constexpr std::uint16_t rtNAME           = 0x0018;
inline constexpr std::uint16_t rtSELECTION      = 0x001D;
inline constexpr std::uint16_t rt1904           = 0x0022;
inline constexpr std::uint16_t rtEXTERNNAME     = 0x0023;
inline constexpr std::uint16_t rtLEFTMARGIN     = 0x0026;
inline constexpr std::uint16_t rtRIGHTMARGIN    = 0x0027;
inline constexpr std::uint16_t rtTOPMARGIN      = 0x0028;
inline constexpr std::uint16_t rtBOTTOMMARGIN   = 0x0029;
inline constexpr std::uint16_t rtPRINTHEADERS   = 0x002A;
inline constexpr std::uint16_t rtPRINTGRIDLINES = 0x002B;
inline constexpr std::uint16_t rtFILEPASS       = 0x002F;
inline constexpr std::uint16_t rtFONT           = 0x0031;
inline constexpr std::uint16_t rtCONTINUE       = 0x003C;
inline constexpr std::uint16_t rtWINDOW1        = 0x003D;
inline constexpr std::uint16_t rtPANE           = 0x0041;
inline constexpr std::uint16_t rtCODEPAGE       = 0x0042;
inline constexpr std::uint16_t rtWRITEACCESS    = 0x005C;
inline constexpr std::uint16_t rtCOUNTRY        = 0x008C;
inline constexpr std::uint16_t rtPLS            = 0x004D;
inline constexpr std::uint16_t rtDEFCOLWIDTH    = 0x0055;
inline constexpr std::uint16_t rtCOLINFO        = 0x007D;
inline constexpr std::uint16_t rtGUTS           = 0x0080;
inline constexpr std::uint16_t rtWSBOOL         = 0x0081;
inline constexpr std::uint16_t rtGRIDSET        = 0x0082;
inline constexpr std::uint16_t rtHCENTER        = 0x0083;
inline constexpr std::uint16_t rtVCENTER        = 0x0084;
inline constexpr std::uint16_t rtBOUNDSHEET     = 0x0085;
inline constexpr std::uint16_t rtPALETTE        = 0x0092;
inline constexpr std::uint16_t rtSTANDARDWIDTH  = 0x0099;
inline constexpr std::uint16_t rtFILTERMODE     = 0x009B;
inline constexpr std::uint16_t rtAUTOFILTERINFO = 0x009D;
inline constexpr std::uint16_t rtAUTOFILTER     = 0x009E;
inline constexpr std::uint16_t rtSCL            = 0x00A0;
inline constexpr std::uint16_t rtSETUP          = 0x00A1;
inline constexpr std::uint16_t rtMULRK          = 0x00BD;
inline constexpr std::uint16_t rtMULBLANK       = 0x00BE;
inline constexpr std::uint16_t rtRSTRING        = 0x00D6;
inline constexpr std::uint16_t rtXF             = 0x00E0;
inline constexpr std::uint16_t rtMERGEDCELLS    = 0x00E5;
inline constexpr std::uint16_t rtSST            = 0x00FC;
inline constexpr std::uint16_t rtLABELSST       = 0x00FD;
inline constexpr std::uint16_t rtSUPBOOK        = 0x01AE;
inline constexpr std::uint16_t rtCONDFMT        = 0x01B0;
inline constexpr std::uint16_t rtCF             = 0x01B1;
inline constexpr std::uint16_t rtDVAL           = 0x01B2;
inline constexpr std::uint16_t rtDV             = 0x01BE;
inline constexpr std::uint16_t rtBLANK          = 0x0201;
inline constexpr std::uint16_t rtNUMBER         = 0x0203;
inline constexpr std::uint16_t rtLABEL          = 0x0204;
inline constexpr std::uint16_t rtBOOLERR        = 0x0205;
inline constexpr std::uint16_t rtSTRING         = 0x0207;
inline constexpr std::uint16_t rtROW            = 0x0208;
inline constexpr std::uint16_t rtARRAY          = 0x0221;
inline constexpr std::uint16_t rtDEFAULTROWHEIGHT = 0x0225;
inline constexpr std::uint16_t rtTABLE          = 0x0236;
inline constexpr std::uint16_t rtWINDOW2        = 0x023E;
inline constexpr std::uint16_t rtRK             = 0x027E;
inline constexpr std::uint16_t rtSTYLE          = 0x0293;
inline constexpr std::uint16_t rtFORMAT         = 0x041E;
inline constexpr std::uint16_t rtSHRFMLA        = 0x04BC;
inline constexpr std::uint16_t rtSHEETEXT       = 0x0862;

// Beginning of a substream, by version.
inline constexpr std::uint16_t rtBOF2 = 0x0009;
inline constexpr std::uint16_t rtBOF3 = 0x0209;
inline constexpr std::uint16_t rtBOF4 = 0x0409;
inline constexpr std::uint16_t rtBOF  = 0x0809;

// Substream types of BOF.
inline constexpr std::uint16_t kSubstreamGlobals   = 0x0005;
inline constexpr std::uint16_t kSubstreamModule    = 0x0006;
inline constexpr std::uint16_t kSubstreamWorksheet = 0x0010;
inline constexpr std::uint16_t kSubstreamChart     = 0x0020;
inline constexpr std::uint16_t kSubstreamMacro     = 0x0040;


// Option bits of a CF record. A "kept" bit leaves that attribute of the
// cell alone; the block bits say which formatting blocks follow.
inline constexpr std::uint32_t kCfLeftBorderKept       = 0x00000400; // right, top, bottom follow
inline constexpr std::uint32_t kCfFillKept             = 0x00010000;
inline constexpr std::uint32_t kCfPatternColourKept    = 0x00020000;
inline constexpr std::uint32_t kCfBackgroundColourKept = 0x00040000;
inline constexpr std::uint32_t kCfFontBlock            = 0x04000000;
inline constexpr std::uint32_t kCfBorderBlock          = 0x10000000;
inline constexpr std::uint32_t kCfPatternBlock         = 0x20000000;
inline constexpr size_t kCfFontBlockSize = 118;
inline constexpr size_t kCfBorderBlockSize = 8;
inline constexpr size_t kCfPatternBlockSize = 4;

// Option bits of a DV record besides the allow kind (bits 0-3), the error
// style (bits 4-6) and the operator (bits 20-23).
inline constexpr std::uint32_t kDvPlainList        = 0x00000080;
inline constexpr std::uint32_t kDvIgnoreBlank      = 0x00000100;
inline constexpr std::uint32_t kDvSuppressDropDown = 0x00000200;
inline constexpr std::uint32_t kDvShowInput        = 0x00040000;
inline constexpr std::uint32_t kDvShowError        = 0x00080000;
// clang-format on

inline constexpr bool isBof(std::uint16_t id) {
  return id == rtBOF || id == rtBOF2 || id == rtBOF3 || id == rtBOF4;
}

/// The text of a file error code; codes the format does not define read as "#N/A".
const char16_t* errorTextOfCode(std::uint8_t code);
/// The program's error code (0-6) of a file error code.
int errorIndexOfCode(std::uint8_t code);
/// The file error code of the program's error code (0-6).
std::uint8_t codeOfErrorIndex(int index);

} // namespace biff
