#pragma once
// Window message, key and notification numbers. The dispatch tables and the
// stored shortcut keys use the Win32 numbering, so the numbers are those.

#include <cstdint>

namespace app {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

enum Message : unsigned {
  WM_SIZE = 0x0005,
  WM_SETFOCUS = 0x0007,
  WM_ENABLE = 0x000A,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_NOTIFY = 0x004E,
  WM_HELP = 0x0053,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_COMMAND = 0x0111,
  WM_TIMER = 0x0113,
  WM_HSCROLL = 0x0114,
  WM_VSCROLL = 0x0115,
  WM_INITMENUPOPUP = 0x0117,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_MOUSEWHEEL = 0x020A,
  CB_GETCURSEL = 0x0147,
  CB_SETCURSEL = 0x014E,
  CB_GETTOPINDEX = 0x015B,
  CB_SETTOPINDEX = 0x015C,
  SBM_SETSCROLLINFO = 0x00E9,
  SBM_GETSCROLLINFO = 0x00EA,
};

/// Scroll codes in the low word of WM_HSCROLL and WM_VSCROLL.
enum ScrollCode : unsigned {
  SB_LINEUP = 0,
  SB_LINEDOWN = 1,
  SB_PAGEUP = 2,
  SB_PAGEDOWN = 3,
  SB_THUMBPOSITION = 4,
  SB_THUMBTRACK = 5,
  SB_TOP = 6,
  SB_BOTTOM = 7,
  SB_ENDSCROLL = 8,
};

/// Mouse message wParam bits.
enum MouseKey : unsigned { MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8 };

/// Virtual key codes ('0'-'9' and 'A'-'Z' are their ASCII codes).
enum VirtualKey : unsigned {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,
  VK_ESCAPE = 0x1B,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_DECIMAL = 0x6E,
  VK_F1 = 0x70,
  VK_F2 = 0x71,
  VK_F9 = 0x78,
  VK_OEM_1 = 0xBA, // ';' on US keyboards
  VK_OEM_PERIOD = 0xBE,
};

/// Control identifiers of the main window's children; they travel as the
/// lParam of scroll messages and WM_COMMAND so handlers know the source.
enum ChildId : int {
  kIdFormulaBar = 2,
  kIdVerticalScroll = 3,
  kIdHorizontalScroll = 4,
  kIdTabScroll = 6,
  kIdToolBarBand = 7,
  kIdRebar = 8,
  kIdFormulaBarBand = 9,
  kIdStatusBar = 11,
};

constexpr unsigned loWord(std::uintptr_t v) { return static_cast<unsigned>(v & 0xFFFF); }
constexpr unsigned hiWord(std::uintptr_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFF); }
constexpr std::uintptr_t makeWParam(unsigned lo, unsigned hi) {
  return (static_cast<std::uintptr_t>(hi & 0xFFFF) << 16) | (lo & 0xFFFF);
}
/// Mouse positions travel as signed 16-bit x (low) and y (high) in lParam.
constexpr LParam makePointParam(int x, int y) {
  return static_cast<LParam>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16) |
                             static_cast<std::uint16_t>(x));
}
constexpr int pointX(LParam l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int pointY(LParam l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }

} // namespace app
