#pragma once
// The number format engine: turns a number (or a text value) and a spreadsheet
// format code such as "#,##0.00_);[Red](#,##0.00)" into display text, with the
// separators, names and AM/PM designators of the user's locale. Codes are
// always written with "." and ","; only the output is localised.
//
// A code is compiled once (compileFormat) and the compiled form is formatted
// as often as needed; formatting allocates nothing beyond the result string.
// The engine keeps no state: every call is independent and re-entrant.

#include "platform/locale_strings.h"
#include "platform/text_metrics.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace numfmt {

enum class SectionKind : std::uint8_t {
  Absent = 0,      // the code has no such section
  Empty = 1,       // the section exists and holds nothing, as the middle of "0;;0"
  Plain = 2,       // text without a condition
  Conditional = 3, // text with a comparison condition
};

enum class ConditionOp : std::uint8_t {
  None = 0,
  Equal = 1,
  Greater = 2,
  GreaterEqual = 3,
  Less = 4,
  LessEqual = 5,
  NotEqual = 6,
};

/// Colour indexes of "[Black]" ... "[Cyan]"; kNoColour when a section names none.
inline constexpr std::uint8_t kNoColour = 8;
inline constexpr std::array<std::u16string_view, 8> kColourNames = {
    u"Black", u"White", u"Red", u"Green", u"Blue", u"Yellow", u"Magenta", u"Cyan"};

/// Workbook palette index of a section colour (Black 8 ... Cyan 15, the fixed
/// colours at the start of the default palette); -1 for kNoColour.
int colourPaletteIndex(std::uint8_t colour);

/// The longest text the engine produces. Longer results (a 1E+300 with
/// thousands separators fits; thousands of literals do not) are cut here.
inline constexpr std::size_t kMaxResultLength = 1024;

struct FormatSection {
  SectionKind kind = SectionKind::Absent;
  std::uint8_t colour = kNoColour;
  ConditionOp op = ConditionOp::None;
  double value = 0;    // the condition's right-hand number
  std::u16string text; // the code without its leading bracket items; empty when absent
};

using FormatSections = std::array<FormatSection, 4>;

/// Splits a code into its four sections. Leading "[Red]"-style colours and
/// "[>=100]" conditions are taken out of the text; elapsed-time brackets stay;
/// other bracket items (locale tags) are dropped. An empty code has four
/// absent sections, so it renders as General. Sections after the fourth are
/// ignored.
FormatSections parseSections(std::u16string_view code);

/// Evaluates a section's condition on x; ConditionOp::None is false.
bool compareCondition(ConditionOp op, double conditionValue, double x);

/// One section prepared for rendering: its tokens and the counts the renderer
/// needs (digit places, scaling, kind of number). Opaque to callers.
struct CompiledSection {
  struct Token {
    std::uint8_t kind = 0;
    std::uint8_t width = 0; // run length of a date token, or a placeholder's flags
    char16_t ch = 0;        // placeholder, fill character, exponent sign or PM length
    std::uint32_t pos = 0;  // 1-based place of a placeholder, or offset in the pool
    std::uint32_t len = 0;  // literal length in the pool
  };
  std::vector<Token> tokens;
  std::u16string pool; // literal text and AM/PM designators
  int integerPlaces = 0;
  int decimalPlaces = 0;
  int exponentPlaces = 0;
  int numeratorPlaces = 0;
  int denominatorPlaces = 0;
  int totalPlaces = 0;
  int zeroPlaces = 0; // integer places that are "0"
  int hashPlaces = 0; // integer places that are "#"
  int percentCount = 0;
  int scaleCount = 0;
  int secondDecimals = 0; // most digits after "ss." in the section
  bool thousands = false;
  bool scientific = false;
  bool fraction = false;
  bool hasAmPm = false;
  bool hasDateTime = false;
  bool hasFill = false;
  bool needsValue = false; // "@" or "General" occurs
};

/// A parsed and compiled code. Cheap to copy around by reference; the
/// workbook keeps one beside each distinct code.
struct CompiledFormat {
  FormatSections sections;
  std::array<CompiledSection, 4> compiled;
};

/// Compiles a code. The AM/PM patterns are matched against the designators of
/// `locale`, which should be the locale the text is later formatted with.
CompiledFormat compileFormat(std::u16string_view code,
                             const platform::LocaleStrings &locale = platform::localeStrings());

struct FormatOptions {
  /// Separators and names; null means platform::localeStrings().
  const platform::LocaleStrings *locale = nullptr;
  /// The workbook counts days from 1 January 1904.
  bool date1904 = false;
  /// The width the text may take on screen. Only when it is given does
  /// "General" shrink to fit (fewer decimals, then the exponent form with
  /// fewer digits) and a "*" repeat its character to fill it. A text that
  /// still does not fit comes back as it is; fitNumberText decides what
  /// shows then.
  std::optional<int> availableWidthPx;
  /// How text is measured for fitting and filling; null means platform::textMetrics().
  const platform::TextMetrics *metrics = nullptr;
  platform::FontSpec font;
};

struct FormatResult {
  std::u16string text;
  std::uint8_t colour = kNoColour; // colour of the chosen section, kNoColour for none

  bool hasColour() const { return colour < kNoColour; }
  int paletteIndex() const { return colourPaletteIndex(colour); }
  std::u16string_view colourName() const {
    return hasColour() ? kColourNames[colour] : std::u16string_view();
  }
};

/// Renders a number. Never fails: a section that cannot be chosen gives
/// empty text; infinities and NaN give "#NUM!". `out` is overwritten (its
/// storage is reused, which is what the grid wants on every repaint).
void formatNumber(double value, const CompiledFormat &format, const FormatOptions &options,
                  FormatResult &out);
FormatResult formatNumber(double value, const CompiledFormat &format,
                          const FormatOptions &options = {});
/// Compiles `code` with the options' locale and renders; for one-off calls.
FormatResult formatNumber(double value, std::u16string_view code,
                          const FormatOptions &options = {});

/// What a number's text shows in a room `availableWidthPx` pixels wide: the
/// text itself when it fits, otherwise '#' as many times as fit (none when
/// the room is narrower than one). A number cut at the room's edge would read
/// as another number, so it is never shown in part. The '#' run is built in
/// `scratch`; the result views `text` or `scratch`.
std::u16string_view fitNumberText(std::u16string_view text, int availableWidthPx,
                                  const platform::TextMetrics &metrics,
                                  const platform::FontSpec &font, std::u16string &scratch);

/// Renders a text value. Only a fourth section that is not empty changes it:
/// its "@" (and a bare General) stands for the text, which is omitted when
/// `text` is absent. Otherwise the text comes back unchanged. The result may
/// exceed kMaxResultLength by the length of the text.
FormatResult formatText(std::optional<std::u16string_view> text, const CompiledFormat &format,
                        const FormatOptions &options = {});
FormatResult formatText(std::optional<std::u16string_view> text, std::u16string_view code,
                        const FormatOptions &options = {});

/// The General rendering of a number with `significantDigits` digits (1-17):
/// fixed notation unless the decimal exponent is below -4 or at least the
/// digit count, trailing zeros dropped, exponents as "E+020", the locale's
/// decimal separator. Infinities and NaN give "#NUM!".
std::u16string generalText(double value, int significantDigits,
                           const platform::LocaleStrings &locale = platform::localeStrings());
/// The same into `out`, whose storage is reused: for turning many numbers
/// into text without an allocation each.
void generalText(double value, int significantDigits, const platform::LocaleStrings &locale,
                 std::u16string &out);

} // namespace numfmt
