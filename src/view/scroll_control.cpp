#include "view/scroll_control.h"

#include "view/control_paint.h"
#include "view/grid_painter.h"

#include <algorithm>
#include <cstdint>

namespace view {

using platform::Brush;
using platform::Canvas;
using platform::Point;
using platform::Rect;

namespace {

unsigned codeOf(int part) {
  switch (part) {
  case kScrollLineUp: return app::SB_LINEUP;
  case kScrollPageUp: return app::SB_PAGEUP;
  case kScrollPageDown: return app::SB_PAGEDOWN;
  default: return app::SB_LINEDOWN;
  }
}

bool repeats(int part) { return part != kScrollNoPart && part != kScrollThumb; }

// a * b / c rounded to nearest, for non-negative operands whose product
// fits in 64 bits (ranges of 32-bit ints times pixel counts do).
std::int64_t scaleRounded(std::int64_t a, std::int64_t b, std::int64_t c) {
  return (a * b + c / 2) / c;
}

} // namespace

ScrollControl::ScrollControl(ScrollControlHost& host, bool vertical)
    : m_host(host), m_vertical(vertical) {}

void ScrollControl::setBounds(const Rect& bounds) {
  m_bounds = bounds;
  m_host.invalidate();
}

void ScrollControl::setScrollInfo(const ScrollInfo& info) {
  m_minimum = info.minimum;
  m_maximum = std::max(info.maximum, info.minimum);
  const std::int64_t size = std::int64_t{m_maximum} - m_minimum + 1;
  m_page = static_cast<int>(std::clamp<std::int64_t>(info.page, 0, size));
  m_position = std::clamp(info.position, m_minimum, maxPosition());
  // Outside a drag the tracking position is the position.
  m_trackPosition = m_pressedPart == kScrollThumb
                        ? std::clamp(m_trackPosition, m_minimum, maxPosition())
                        : m_position;
  m_host.invalidate();
}

ScrollInfo ScrollControl::getScrollInfo() const {
  return {m_minimum, m_maximum, m_page, m_position, m_trackPosition};
}

int ScrollControl::maxPosition() const {
  if (m_page <= 0)
    return m_maximum;
  return static_cast<int>(std::int64_t{m_maximum} - m_page + 1);
}

void ScrollControl::enable(bool on) {
  if (m_enabled == on)
    return;
  m_enabled = on;
  if (!on)
    endPress();
  m_host.invalidate();
}

int ScrollControl::pressedState() const {
  if (m_pressedPart == kScrollNoPart)
    return 0;
  return m_pressedPart | (m_pressedInside ? kScrollPressedInside : 0);
}

ScrollGeometry ScrollControl::geometry() const {
  return geometryAt(m_pressedPart == kScrollThumb ? m_trackPosition : m_position);
}

ScrollGeometry ScrollControl::geometryAt(int position) const {
  const Rect& b = m_bounds;
  const auto span = [&](int from, int to) {
    return m_vertical ? Rect{b.left, from, b.right, to} : Rect{from, b.top, to, b.bottom};
  };
  const int start = m_vertical ? b.top : b.left;
  const int end = std::max(start, m_vertical ? b.bottom : b.right);
  const int thickness = std::max(0, m_vertical ? b.width() : b.height());
  // Square arrows, shrinking to half the length each on a short bar.
  const int arrow = std::min(thickness, (end - start) / 2);

  ScrollGeometry g;
  g.lineUp = span(start, start + arrow);
  g.lineDown = span(end - arrow, end);
  const int t0 = start + arrow;
  const int t1 = end - arrow;
  g.track = span(t0, t1);
  const int trackLength = t1 - t0;
  const int maxPos = maxPosition();
  if (!m_enabled || maxPos <= m_minimum || trackLength < kScrollMinThumb)
    return g;

  const std::int64_t size = std::int64_t{m_maximum} - m_minimum + 1;
  int thumb = m_page > 0 ? static_cast<int>(std::int64_t{trackLength} * m_page / size)
                         : kScrollMinThumb;
  thumb = std::clamp(thumb, kScrollMinThumb, trackLength);
  const int room = trackLength - thumb;
  const std::int64_t steps = std::int64_t{maxPos} - m_minimum;
  const std::int64_t at = std::clamp(position, m_minimum, maxPos) - std::int64_t{m_minimum};
  const int offset = static_cast<int>(scaleRounded(at, room, steps));
  g.pageUp = span(t0, t0 + offset);
  g.thumb = span(t0 + offset, t0 + offset + thumb);
  g.pageDown = span(t0 + offset + thumb, t1);
  return g;
}

int ScrollControl::positionAtThumbStart(int pixel) const {
  const ScrollGeometry g = geometryAt(m_minimum);
  const int t0 = m_vertical ? g.track.top : g.track.left;
  const int trackLength = m_vertical ? g.track.height() : g.track.width();
  const int thumb = m_vertical ? g.thumb.height() : g.thumb.width();
  const int room = trackLength - thumb;
  const int maxPos = maxPosition();
  if (g.thumb.isEmpty() || room <= 0)
    return m_position;
  const int offset = std::clamp(pixel - t0, 0, room);
  const std::int64_t steps = std::int64_t{maxPos} - m_minimum;
  return static_cast<int>(m_minimum + scaleRounded(offset, steps, room));
}

int ScrollControl::hitTest(Point p) const {
  if (!m_bounds.contains(p))
    return kScrollNoPart;
  const ScrollGeometry g = geometry();
  if (g.lineUp.contains(p))
    return kScrollLineUp;
  if (g.lineDown.contains(p))
    return kScrollLineDown;
  if (g.thumb.contains(p))
    return kScrollThumb;
  if (g.pageUp.contains(p))
    return kScrollPageUp;
  if (g.pageDown.contains(p))
    return kScrollPageDown;
  return kScrollNoPart;
}

void ScrollControl::mousePress(Point p) {
  if (!m_enabled || m_pressedPart != kScrollNoPart)
    return;
  m_lastMouse = p;
  const int part = hitTest(p);
  if (part == kScrollNoPart)
    return;
  const ScrollGeometry g = geometry();
  m_pressedPart = part;
  m_pressedInside = true;
  m_host.setCapture(true);
  m_host.invalidate();
  if (part == kScrollThumb) {
    m_trackPosition = m_position;
    m_grabOffset = along(p) - (m_vertical ? g.thumb.top : g.thumb.left);
    return;
  }
  // The timer runs before the parent hears of the press, so a parent that
  // disables the control in its handler also stops the repeat.
  m_host.setTimer(kScrollTimerId, kScrollFirstRepeatMs);
  m_host.sendScroll(codeOf(part), 0);
}

void ScrollControl::mouseMove(Point p) {
  m_lastMouse = p;
  if (m_pressedPart == kScrollNoPart)
    return;
  if (m_pressedPart == kScrollThumb) {
    const int track = positionAtThumbStart(along(p) - m_grabOffset);
    m_pressedInside = hitTest(p) == kScrollThumb;
    if (track != m_trackPosition) {
      m_trackPosition = track;
      m_host.invalidate();
      m_host.sendScroll(app::SB_THUMBTRACK, track);
    }
    return;
  }
  const bool inside = hitTest(p) == m_pressedPart;
  if (inside != m_pressedInside) {
    m_pressedInside = inside;
    m_host.invalidate();
  }
}

void ScrollControl::mouseRelease(Point p) {
  if (m_pressedPart == kScrollNoPart)
    return;
  m_lastMouse = p;
  if (m_pressedPart == kScrollThumb)
    m_host.sendScroll(app::SB_THUMBPOSITION, m_trackPosition);
  endPress();
}

void ScrollControl::timer(int id) {
  if (id != kScrollTimerId)
    return;
  if (!repeats(m_pressedPart)) {
    m_host.killTimer(kScrollTimerId);
    return;
  }
  m_host.setTimer(kScrollTimerId, kScrollRepeatMs);
  repeatIfInside();
}

void ScrollControl::repeatIfInside() {
  // The thumb may have moved under a held page area since the press, so
  // whether the mouse is still over the part is asked again each time.
  const bool inside = hitTest(m_lastMouse) == m_pressedPart;
  if (inside != m_pressedInside) {
    m_pressedInside = inside;
    m_host.invalidate();
  }
  if (inside)
    m_host.sendScroll(codeOf(m_pressedPart), 0);
}

void ScrollControl::endPress() {
  if (m_pressedPart == kScrollNoPart)
    return;
  m_host.killTimer(kScrollTimerId);
  m_pressedPart = kScrollNoPart;
  m_pressedInside = false;
  m_host.setCapture(false);
  m_host.invalidate();
}

app::LResult ScrollControl::handleMessage(unsigned msg, app::WParam wParam, app::LParam lParam) {
  const Point at{app::pointX(lParam), app::pointY(lParam)};
  switch (msg) {
  case app::SBM_SETSCROLLINFO:
    if (const auto* info = reinterpret_cast<const ScrollInfo*>(lParam)) {
      setScrollInfo(*info);
      return m_position;
    }
    return 0;
  case app::SBM_GETSCROLLINFO:
    if (auto* info = reinterpret_cast<ScrollInfo*>(lParam)) {
      *info = getScrollInfo();
      return 1;
    }
    return 0;
  case app::WM_ENABLE: enable(wParam != 0); return 0;
  case app::WM_LBUTTONDOWN: mousePress(at); return 0;
  case app::WM_MOUSEMOVE: mouseMove(at); return 0;
  case app::WM_LBUTTONUP: mouseRelease(at); return 0;
  case app::WM_TIMER: timer(static_cast<int>(wParam)); return 0;
  default: return 0;
  }
}

void ScrollControl::paint(Canvas& canvas, const Rect& invalid) const {
  const Rect clip = platform::intersection(m_bounds, invalid);
  if (clip.isEmpty())
    return;
  canvas.setClip(clip);
  const ScrollGeometry g = geometry();
  const auto pressed = [&](int part) { return m_pressedPart == part && m_pressedInside; };

  const auto& dither = fillPatternBits(2);
  canvas.fillRect(g.track, Brush::patterned(dither, platform::kWhite, kFaceGrey));
  if (pressed(kScrollPageUp))
    canvas.fillRect(g.pageUp, Brush::patterned(dither, platform::kBlack, kShadowGrey));
  if (pressed(kScrollPageDown))
    canvas.fillRect(g.pageDown, Brush::patterned(dither, platform::kBlack, kShadowGrey));
  if (!g.thumb.isEmpty())
    drawRaisedBox(canvas, g.thumb);

  const auto arrow = [&](const Rect& r, int part, ArrowDirection direction) {
    if (r.isEmpty())
      return;
    const int shift = pressed(part) ? 1 : 0;
    if (shift)
      drawPushedBox(canvas, r);
    else
      drawRaisedBox(canvas, r);
    const Point centre{(r.left + r.right) / 2 + shift, (r.top + r.bottom) / 2 + shift};
    drawArrowTriangle(canvas, centre, direction, m_enabled ? platform::kBlack : kShadowGrey);
  };
  arrow(g.lineUp, kScrollLineUp, m_vertical ? ArrowDirection::Up : ArrowDirection::Left);
  arrow(g.lineDown, kScrollLineDown, m_vertical ? ArrowDirection::Down : ArrowDirection::Right);
}

} // namespace view
