#include "app/bar_settings.h"

#include "fileformats/open_save.h"

#include <algorithm>

namespace app {
namespace {

void putU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

int BarLayout::firstBand() const {
  return bands[kFormulaBarBand].position < bands[kToolBarBand].position ? kFormulaBarBand
                                                                        : kToolBarBand;
}

BarLayout defaultBarLayout(int clientWidth) {
  const std::int32_t width = std::max(clientWidth, 0);
  BarLayout layout;
  layout.bands[kToolBarBand] = {0, kBandChildEdge | kBandGripperAlways, width, false};
  layout.bands[kFormulaBarBand] = {1, kBandBreak | kBandChildEdge | kBandGripperAlways, width,
                                   false};
  return layout;
}

std::array<std::uint8_t, 24> encodeCmdBarData(const BarLayout& layout) {
  std::array<std::uint8_t, 24> out{};
  for (size_t i = 0; i < layout.bands.size(); ++i) {
    const BandLayout& b = layout.bands[i];
    std::uint8_t* p = out.data() + 12 * i;
    putU32(p, static_cast<std::uint32_t>(b.position));
    putU32(p + 4, b.hidden ? (b.style | kBandHidden) : (b.style & ~kBandHidden));
    putU32(p + 8, static_cast<std::uint32_t>(b.width));
  }
  return out;
}

std::optional<BarLayout> decodeCmdBarData(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 24)
    return std::nullopt;
  BarLayout layout;
  for (size_t i = 0; i < layout.bands.size(); ++i) {
    const std::uint8_t* p = bytes.data() + 12 * i;
    BandLayout& b = layout.bands[i];
    b.position = static_cast<std::int32_t>(getU32(p));
    const std::uint32_t style = getU32(p + 4);
    b.hidden = (style & kBandHidden) != 0;
    b.style = style & ~kBandHidden;
    b.width = std::max(static_cast<std::int32_t>(getU32(p + 8)), 0);
  }
  return layout;
}

BarLayout load_bar_settings(const platform::SettingsStore& store, BarState& bars, int clientWidth) {
  BarLayout layout = defaultBarLayout(clientWidth);
  if (const auto bytes = store.binaryValue(kOptionsGroup, kCmdBarDataKey))
    if (const auto saved = decodeCmdBarData(*bytes))
      layout = *saved;
  bars.toolBar = !layout.bands[kToolBarBand].hidden;
  bars.formulaBar = !layout.bands[kFormulaBarBand].hidden;
  if (const auto status = store.dwordValue(kOptionsGroup, kStsBarDataKey)) {
    bars.statusBar = (*status & 0xFF) != 0;
    const int function = static_cast<int>((*status >> 8) & 0xFF);
    bars.summaryFunction = function <= 6 ? function : 0;
  }
  return layout;
}

void save_bar_settings(platform::SettingsStore& store, const BarLayout& layout,
                       const BarState& bars) {
  BarLayout saved = layout;
  saved.bands[kToolBarBand].hidden = !bars.toolBar;
  saved.bands[kFormulaBarBand].hidden = !bars.formulaBar;
  const std::array<std::uint8_t, 24> bytes = encodeCmdBarData(saved);
  store.setBinaryValue(kOptionsGroup, kCmdBarDataKey, bytes);
  const int function = std::clamp(bars.summaryFunction, 0, 6);
  store.setDwordValue(kOptionsGroup, kStsBarDataKey,
                      (bars.statusBar ? 1u : 0u) | static_cast<std::uint32_t>(function) << 8);
  store.flush();
}

BarLayout load_frame_settings(const platform::SettingsStore& store, BarState& bars,
                              int clientWidth) {
  fileformats::load_recent_files(store);
  return load_bar_settings(store, bars, clientWidth);
}

void save_frame_settings(platform::SettingsStore& store, const BarLayout& layout,
                         const BarState& bars) {
  fileformats::save_recent_files(store);
  save_bar_settings(store, layout, bars);
}

} // namespace app
