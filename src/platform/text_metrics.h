#pragma once
// Text measurement and screen facts that layout depends on: the default
// screen font, pixels per inch, the standard character width. The desktop
// program measures with Qt; tests and the command-line tool use
// FixedTextMetrics, whose answers depend on nothing outside the program.

#include <string>
#include <vector>
#include <string_view>

namespace platform {

struct FontSpec {
  std::u16string face = u"Arial";
  int heightTwips = 200;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
};

struct FontMetrics {
  int heightPx = 0;          // ascent + descent
  int internalLeadingPx = 0;
  int averageCharWidthPx = 0;
  int pitchAndFamily = 0;    // Windows LOGFONT values, kept for files
  int charSet = 0;
};

class TextMetrics {
public:
  virtual ~TextMetrics() = default;
  /// Logical pixels per inch of the screen (vertical).
  virtual int logicalPixelsPerInch() const = 0;
  /// The face and height of the screen's default GUI font.
  virtual FontSpec defaultFont() const = 0;
  virtual FontMetrics fontMetrics(const FontSpec& font) const = 0;
  /// Width in pixels of one line of text.
  virtual int textWidthPx(const FontSpec& font, std::u16string_view text) const = 0;
  /// The font faces the screen offers, sorted; a few common faces and the
  /// default font's where the platform gives no list.
  virtual std::vector<std::u16string> fontFaces() const;
};

/// The metrics in force: FixedTextMetrics unless setTextMetrics installed others.
const TextMetrics& textMetrics();
void setTextMetrics(const TextMetrics* metrics);

/// Deterministic metrics: 96 pixels per inch, default font Arial 10 pt, every
/// character of a font as wide as its average width (7 pixels at 10 pt,
/// scaled with the height), height 16 pixels at 10 pt with 3 of leading.
class FixedTextMetrics final : public TextMetrics {
public:
  int logicalPixelsPerInch() const override { return 96; }
  FontSpec defaultFont() const override { return FontSpec{}; }
  FontMetrics fontMetrics(const FontSpec& font) const override;
  int textWidthPx(const FontSpec& font, std::u16string_view text) const override;
};

/// Win32 MulDiv: a * b / c rounded half away from zero, computed in 64 bits;
/// -1 when c is 0.
int mulDiv(int a, int b, int c);

} // namespace platform
