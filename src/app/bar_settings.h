#pragma once
// The bar layout kept between runs: the order, style, width and visibility
// of the tool bar and formula bar bands ("CmdBarData"), and the status bar's
// visibility and summary function ("StsBarData"), in the "Options" group.

#include "app/app.h"
#include "platform/settings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace app {

inline constexpr std::u16string_view kOptionsGroup = u"Options";
inline constexpr std::u16string_view kCmdBarDataKey = u"CmdBarData";
inline constexpr std::u16string_view kStsBarDataKey = u"StsBarData";

/// Band style bits, numbered as the rebar control numbers them.
enum BandStyle : std::uint32_t {
  kBandBreak = 0x01, // the band starts a new line
  kBandChildEdge = 0x04,
  kBandHidden = 0x08,
  kBandGripperAlways = 0x80,
};

/// One band of the bar area. `style` never carries kBandHidden here: the
/// stored record folds `hidden` into it.
struct BandLayout {
  std::int32_t position = 0; // index among the bands, 0 = first
  std::uint32_t style = 0;
  std::int32_t width = 0; // pixels
  bool hidden = false;
  friend bool operator==(const BandLayout&, const BandLayout&) = default;
};

inline constexpr int kToolBarBand = 0;
inline constexpr int kFormulaBarBand = 1;

/// The two bands, the tool bar first and the formula bar second.
struct BarLayout {
  std::array<BandLayout, 2> bands;
  /// Which band goes first: the one with the lower position (the tool bar
  /// when they are equal).
  int firstBand() const;
  friend bool operator==(const BarLayout&, const BarLayout&) = default;
};

/// The layout without saved settings: the tool bar first, the formula bar on
/// a new line, both shown and as wide as the client area.
BarLayout defaultBarLayout(int clientWidth);

/// The 24 bytes of "CmdBarData": per band position (i32), style (u32, bit 3
/// = hidden) and width (i32), little-endian.
std::array<std::uint8_t, 24> encodeCmdBarData(const BarLayout& layout);
/// Nothing unless exactly 24 bytes. Styles come back without the hidden bit;
/// negative widths read as 0.
std::optional<BarLayout> decodeCmdBarData(std::span<const std::uint8_t> bytes);

/// Reads both values: the band layout (the default one when "CmdBarData" is
/// missing or not 24 bytes) and, from it, the tool bar and formula bar
/// flags; "StsBarData", when present, sets the status bar flag and the
/// summary function (a function number above 6 reads as none).
BarLayout load_bar_settings(const platform::SettingsStore& store, BarState& bars, int clientWidth);

/// Writes both values. Visibility comes from `bars`, which the bar commands
/// keep; positions, styles and widths from `layout`, as the window has them.
void save_bar_settings(platform::SettingsStore& store, const BarLayout& layout,
                       const BarState& bars);

/// Startup: the recent-file list, then the bar settings (load_bar_settings).
/// Front ends call this instead of reaching the recent-file list directly.
BarLayout load_frame_settings(const platform::SettingsStore& store, BarState& bars,
                              int clientWidth);
/// Exit: the recent-file list, then the bar settings (save_bar_settings).
void save_frame_settings(platform::SettingsStore& store, const BarLayout& layout,
                         const BarState& bars);

} // namespace app
