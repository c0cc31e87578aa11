#pragma once
// Conversion between formula text, the form formulas live in inside the
// program, and the parsed-expression tokens of binary workbooks (BIFF8 and
// BIFF5), in reverse Polish order. Both directions treat their input as
// untrusted: any bytes and any text convert without crashing.

#include "fileformats/biff/link_table.h"
#include "formula/moved_copy.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace model {
struct Workbook;
}

namespace biff {

// Token identifiers in their reference-class form; value class adds 0x20,
// array class 0x40.
inline constexpr std::uint8_t ptgExp = 0x01;
inline constexpr std::uint8_t ptgTbl = 0x02;
inline constexpr std::uint8_t ptgAdd = 0x03;
inline constexpr std::uint8_t ptgSub = 0x04;
inline constexpr std::uint8_t ptgMul = 0x05;
inline constexpr std::uint8_t ptgDiv = 0x06;
inline constexpr std::uint8_t ptgPower = 0x07;
inline constexpr std::uint8_t ptgConcat = 0x08;
inline constexpr std::uint8_t ptgLT = 0x09;
inline constexpr std::uint8_t ptgLE = 0x0A;
inline constexpr std::uint8_t ptgEQ = 0x0B;
inline constexpr std::uint8_t ptgGE = 0x0C;
inline constexpr std::uint8_t ptgGT = 0x0D;
inline constexpr std::uint8_t ptgNE = 0x0E;
inline constexpr std::uint8_t ptgIsect = 0x0F;
inline constexpr std::uint8_t ptgUnion = 0x10;
inline constexpr std::uint8_t ptgRange = 0x11;
inline constexpr std::uint8_t ptgUplus = 0x12;
inline constexpr std::uint8_t ptgUminus = 0x13;
inline constexpr std::uint8_t ptgPercent = 0x14;
inline constexpr std::uint8_t ptgParen = 0x15;
inline constexpr std::uint8_t ptgMissArg = 0x16;
inline constexpr std::uint8_t ptgStr = 0x17;
inline constexpr std::uint8_t ptgExtend = 0x18;
inline constexpr std::uint8_t ptgAttr = 0x19;
inline constexpr std::uint8_t ptgErr = 0x1C;
inline constexpr std::uint8_t ptgBool = 0x1D;
inline constexpr std::uint8_t ptgInt = 0x1E;
inline constexpr std::uint8_t ptgNum = 0x1F;
inline constexpr std::uint8_t ptgArray = 0x20;
inline constexpr std::uint8_t ptgFunc = 0x21;
inline constexpr std::uint8_t ptgFuncVar = 0x22;
inline constexpr std::uint8_t ptgName = 0x23;
inline constexpr std::uint8_t ptgRef = 0x24;
inline constexpr std::uint8_t ptgArea = 0x25;
inline constexpr std::uint8_t ptgMemArea = 0x26;
inline constexpr std::uint8_t ptgMemErr = 0x27;
inline constexpr std::uint8_t ptgMemNoMem = 0x28;
inline constexpr std::uint8_t ptgMemFunc = 0x29;
inline constexpr std::uint8_t ptgRefErr = 0x2A;
inline constexpr std::uint8_t ptgAreaErr = 0x2B;
inline constexpr std::uint8_t ptgRefN = 0x2C;
inline constexpr std::uint8_t ptgAreaN = 0x2D;
inline constexpr std::uint8_t ptgMemAreaN = 0x2E;
inline constexpr std::uint8_t ptgMemNoMemN = 0x2F;
inline constexpr std::uint8_t ptgNameX = 0x39;
inline constexpr std::uint8_t ptgRef3d = 0x3A;
inline constexpr std::uint8_t ptgArea3d = 0x3B;
inline constexpr std::uint8_t ptgRefErr3d = 0x3C;
inline constexpr std::uint8_t ptgAreaErr3d = 0x3D;

// Attribute types of ptgAttr.
inline constexpr std::uint8_t attrVolatile = 0x01;
inline constexpr std::uint8_t attrChoose = 0x04;
inline constexpr std::uint8_t attrSum = 0x10;

/// The function number of a call of an add-in or macro-sheet function, whose
/// name is the call's first operand.
inline constexpr int kExternalCallNumber = 255;

/// What both directions need besides the formula itself.
struct TokenContext {
  /// Sheet names, defined names (`names`, indexed from 1 by name tokens) and
  /// add-in names. Null: no names and no sheets resolve.
  const model::Workbook* book = nullptr;
  /// 8 for BIFF8; 7 for BIFF5 (versions 2 to 5 read as 7).
  int version = 8;
  /// 2 binary workbook, 1 pocket workbook (strings always UTF-16).
  int fileKind = 2;
  /// The link tables read from the file. Null when the tokens come from our
  /// own writer (or are being written): 3-D and external-name tokens then
  /// use the layout of linkTableForWriting.
  const LinkTable* links = nullptr;
  /// The sheet that holds the formula: natural-language label tokens read
  /// the entry text of its cells, and names local to it come first. -1 when
  /// there is none.
  int sheet = -1;
  /// Writing for a binary workbook save: references into other workbooks and
  /// names without definition are registered here and written as such. Null
  /// (the pocket format, or no save): they become string tokens.
  WriteLinks* writeLinks = nullptr;
  /// Reading: characters label tokens may still copy from cells, counted
  /// down across a whole file so that a few bytes of tokens naming a long
  /// text cannot each copy it; null for no limit.
  size_t* labelBudget = nullptr;
  /// The code page of BIFF5 string tokens; 0 reads and writes each byte as
  /// the character of that number.
  int codePage = 0;
  /// Writing a BIFF5 workbook: the EXTERNSHEET records the formula's
  /// substream holds before the one of its first sheet (a worksheet's
  /// add-in entry). A 3-D reference names its first sheet by that record,
  /// as readers that follow the record rather than the sheet index need.
  int externSheetsBefore = 0;
};

/// Converts a token array and its extra data (the bodies of array constants
/// and other tokens' trailing data, in token order) into formula text
/// beginning with "=". `row` and `column` are the formula's own cell, the
/// base of relative tokens (0 for names, conditional formats and validation
/// rules, whose relative references are then offsets from A1).
///
/// Names, external names or sheets that the lists do not hold give no text
/// for their operand (or no sheet prefix); an unknown function number gives
/// the name "?". Returns false when the tokens are malformed (a token runs
/// past the end, an operator lacks operands, an unknown identifier, the
/// extra data ends early, the text grows beyond kMaxFormulaTextLength, or
/// more than one operand is left); `text` then holds "=" and the last
/// operand built, as a best effort. Nothing is read outside the two spans.
[[nodiscard]] bool tokensToFormulaText(std::span<const std::uint8_t> tokens,
                                       std::span<const std::uint8_t> extra, std::uint16_t row,
                                       std::uint8_t column, const TokenContext& ctx,
                                       std::u16string& text);

inline constexpr size_t kMaxFormulaTextLength = 65535;

/// A ptgRef or ptgArea read (not the forms relative to the cell): where its
/// fields start in the tokens (after the identifier), and its corners.
struct ReadReference {
  std::uint32_t tokenAt = 0;
  formula::RefCorner first;
  formula::RefCorner last;
  bool isArea = false;
};

/// As tokensToFormulaText, also listing the references read, in the order
/// of the tokens (which is their order in the text). `plain` tells whether
/// the text follows from the token bytes alone, references aside: false
/// when a token reads a cell's text, a name or anything but operators,
/// constants, calls of built-in functions and such references.
[[nodiscard]] bool tokensToFormulaText(std::span<const std::uint8_t> tokens,
                                       std::span<const std::uint8_t> extra, std::uint16_t row,
                                       std::uint8_t column, const TokenContext& ctx,
                                       std::u16string& text, std::vector<ReadReference>& refs,
                                       bool& plain);

/// The class a token takes from where it stands.
enum class TokenClass : std::uint8_t { Reference, Value, Array };

struct WriteOptions {
  /// The class of the whole expression: Value for cell formulas, Reference
  /// for names.
  TokenClass expressionClass = TokenClass::Value;
  /// References not absolute in both row and column become relative tokens
  /// (ptgRefN, ptgAreaN), as shared formulas, conditional formats and
  /// validation rules store them.
  bool relativeMode = false;
  /// The formula is an array formula: value-class arguments become array class.
  bool arrayContext = false;
};

struct TokenArray {
  std::vector<std::uint8_t> tokens;
  std::vector<std::uint8_t> extra;
};

/// Compiles formula text into tokens and extra data. A leading "=" and the
/// spaces after it are skipped. Nothing makes a formula unwritable: a name
/// that is no function, constant, defined name or reference becomes a name
/// token of an undefined name when `writeLinks` collects them (else a string
/// token), a reference into another workbook a 3-D token through
/// `writeLinks` (else a string token), and a reference to a sheet that does
/// not exist a deleted 3-D reference (#REF!); text that cannot be read as an expression at all (or is
/// nested deeper than kMaxWriteDepth) becomes one string constant holding
/// it; strings longer than 255 characters are written as a parenthesised
/// concatenation of pieces, which computes the same text. Returns false
/// only when the tokens or the extra data would exceed the 16-bit length
/// the records give them; `out` then holds them anyway.
[[nodiscard]] bool formulaTextToTokens(std::u16string_view text, const TokenContext& ctx,
                                       const WriteOptions& options, TokenArray& out);

/// A plain reference of the text (no sheet) written as a BIFF8 ptgRef or
/// ptgArea: where it stands in the text, and where its fields start in the
/// tokens (after the identifier: rows, then columns with their flags).
struct PlacedReference {
  formula::WrittenReference written;
  std::uint32_t tokenAt = 0;
};

/// As above, also telling where each plain reference went, in text order.
[[nodiscard]] bool formulaTextToTokens(std::u16string_view text, const TokenContext& ctx,
                                       const WriteOptions& options, TokenArray& out,
                                       std::vector<PlacedReference>& places);

/// Nesting of brackets, unary signs and calls the writer follows.
inline constexpr int kMaxWriteDepth = 200;

} // namespace biff
