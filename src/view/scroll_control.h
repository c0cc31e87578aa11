#pragma once
// The program's own scroll bar ("ScrollControl"): range, page, position and
// the tracking position of a dragged thumb, the pressed part, the arrow and
// page repeat on a timer, and its painting in the classic raised style.
//
// The control knows no window. What it asks of one (tell the parent, timers,
// mouse capture, repaint) goes through ScrollControlHost, so tests drive it
// with plain calls and the desktop program hosts it in a widget.

#include "app/messages.h"
#include "platform/canvas.h"

namespace view {

/// The parts of the bar, numbered as the pressed-part word stores them.
enum ScrollPart : int {
  kScrollNoPart = 0,
  kScrollLineUp = 1,   // the up (left) arrow
  kScrollPageUp = 2,   // the track before the thumb
  kScrollThumb = 3,
  kScrollPageDown = 4, // the track after the thumb
  kScrollLineDown = 5, // the down (right) arrow
};
/// Set in the pressed-part word while the mouse is over the pressed part.
inline constexpr int kScrollPressedInside = 1 << 16;

/// The repeat timer of a held arrow or page area: the first repeat after
/// the longer delay, the next ones at the shorter interval.
inline constexpr int kScrollTimerId = 1;
inline constexpr int kScrollFirstRepeatMs = 500;
inline constexpr int kScrollRepeatMs = 50;

/// The shortest thumb drawn, in pixels; a page too small for it to show in
/// proportion still gets a thumb that can be grabbed.
inline constexpr int kScrollMinThumb = 8;

/// What SBM_SETSCROLLINFO takes and SBM_GETSCROLLINFO gives back (as
/// lParam, a pointer to this). The track position is only read back: the
/// dragged thumb's position during a drag and until the next
/// SBM_SETSCROLLINFO, the position otherwise.
struct ScrollInfo {
  int minimum = 0;
  int maximum = 0;
  int page = 0;
  int position = 0;
  int trackPosition = 0;
  friend bool operator==(const ScrollInfo&, const ScrollInfo&) = default;
};

class ScrollControlHost {
public:
  virtual ~ScrollControlHost() = default;
  /// WM_VSCROLL or WM_HSCROLL (as the control's orientation says) to the
  /// parent with the code in the low word and the position in the high word:
  /// the tracking position for SB_THUMBTRACK and SB_THUMBPOSITION, else 0.
  /// The position is whole here; a host that packs it into 16 bits must
  /// clamp it first, since a range can end past 65535.
  virtual void sendScroll(unsigned code, int position) = 0;
  /// Starts or restarts the timer; the host calls ScrollControl::timer with the id.
  virtual void setTimer(int id, int milliseconds) = 0;
  virtual void killTimer(int id) = 0;
  virtual void setCapture(bool on) = 0;
  virtual void invalidate() = 0;
};

/// Where the parts lie, in the coordinates of the control's bounds. The
/// page areas and the thumb are empty when there is nothing to scroll or no
/// room for a thumb.
struct ScrollGeometry {
  platform::Rect lineUp;
  platform::Rect track; // everything between the arrows
  platform::Rect pageUp;
  platform::Rect thumb;
  platform::Rect pageDown;
  platform::Rect lineDown;
};

class ScrollControl {
public:
  ScrollControl(ScrollControlHost& host, bool vertical);

  bool vertical() const { return m_vertical; }
  /// The message the control sends its parent.
  unsigned scrollMessage() const { return m_vertical ? app::WM_VSCROLL : app::WM_HSCROLL; }

  /// The rectangle the control occupies; mouse points use the same coordinates.
  void setBounds(const platform::Rect& bounds);
  const platform::Rect& bounds() const { return m_bounds; }

  /// Stores range, page and position and repaints. Values that make no
  /// sense are brought into range as the system scroll bar does: a maximum
  /// below the minimum becomes the minimum, the page is kept within 0 and
  /// the range's size, and the position within the minimum and
  /// maxPosition().
  void setScrollInfo(const ScrollInfo& info);
  ScrollInfo getScrollInfo() const;
  /// The largest position: maximum - page + 1 for a page of at least one,
  /// else the maximum. A dragged thumb stops at it too.
  int maxPosition() const;

  /// A disabled control shows no thumb and ignores the mouse; disabling it
  /// while a part is pressed ends the press.
  void enable(bool on);
  bool enabled() const { return m_enabled; }

  /// The pressed part with kScrollPressedInside; 0 when nothing is pressed.
  int pressedState() const;

  ScrollGeometry geometry() const;
  /// The part under a point; kScrollNoPart outside the control or on a
  /// track without a thumb.
  int hitTest(platform::Point p) const;

  /// Left button. An arrow or page area sends its code at once and starts
  /// the repeat timer; the thumb starts a drag.
  void mousePress(platform::Point p);
  void mouseMove(platform::Point p);
  void mouseRelease(platform::Point p);
  void timer(int id);

  /// The window protocol: SBM_SETSCROLLINFO and SBM_GETSCROLLINFO (lParam a
  /// ScrollInfo pointer; null is ignored), WM_ENABLE, WM_LBUTTONDOWN,
  /// WM_MOUSEMOVE, WM_LBUTTONUP (lParam the point) and WM_TIMER. Returns
  /// the position for SBM_SETSCROLLINFO, 1 for a filled SBM_GETSCROLLINFO, else 0.
  app::LResult handleMessage(unsigned msg, app::WParam wParam, app::LParam lParam);

  /// Paints the bar in its bounds, clipped to `invalid`.
  void paint(platform::Canvas& canvas, const platform::Rect& invalid) const;

private:
  ScrollGeometry geometryAt(int position) const;
  int positionAtThumbStart(int pixel) const;
  int along(platform::Point p) const { return m_vertical ? p.y : p.x; }
  void endPress();
  void repeatIfInside();

  ScrollControlHost& m_host;
  bool m_vertical;
  bool m_enabled = true;
  platform::Rect m_bounds;
  int m_minimum = 0;
  int m_maximum = 0;
  int m_page = 0;
  int m_position = 0;
  int m_trackPosition = 0;
  int m_pressedPart = kScrollNoPart;
  bool m_pressedInside = false;
  int m_grabOffset = 0; // from the thumb's start to the mouse, along the bar
  platform::Point m_lastMouse;
};

} // namespace view
