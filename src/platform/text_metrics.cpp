#include "platform/text_metrics.h"

#include <algorithm>
#include <cstdint>

namespace platform {

std::vector<std::u16string> TextMetrics::fontFaces() const {
  std::vector<std::u16string> faces{u"Arial", u"Courier New", u"Times New Roman"};
  const std::u16string face = defaultFont().face;
  if (std::find(faces.begin(), faces.end(), face) == faces.end())
    faces.push_back(face);
  std::sort(faces.begin(), faces.end());
  return faces;
}
namespace {

FixedTextMetrics g_fixedMetrics;
const TextMetrics* g_metrics = &g_fixedMetrics;

} // namespace

const TextMetrics& textMetrics() { return *g_metrics; }

void setTextMetrics(const TextMetrics* metrics) { g_metrics = metrics ? metrics : &g_fixedMetrics; }

int mulDiv(int a, int b, int c) {
  if (c == 0)
    return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t p = product < 0 ? -product : product;
  const std::int64_t d = c < 0 ? -static_cast<std::int64_t>(c) : c;
  const std::int64_t q = (p + d / 2) / d;
  return static_cast<int>(negative ? -q : q);
}

FontMetrics FixedTextMetrics::fontMetrics(const FontSpec& font) const {
  FontMetrics m;
  m.heightPx = mulDiv(16, font.heightTwips, 200);
  m.internalLeadingPx = mulDiv(3, font.heightTwips, 200);
  m.averageCharWidthPx = mulDiv(font.weight >= 700 ? 8 : 7, font.heightTwips, 200);
  m.pitchAndFamily = 34; // variable pitch, Swiss family, as Arial reports
  m.charSet = 0;
  return m;
}

int FixedTextMetrics::textWidthPx(const FontSpec& font, std::u16string_view text) const {
  return static_cast<int>(text.size()) * fontMetrics(font).averageCharWidthPx;
}

} // namespace platform
