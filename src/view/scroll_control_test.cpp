#include "view/scroll_control.h"

#include "platform/recording_canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace view {
namespace {

using platform::Point;
using platform::Rect;

struct Scroll {
  unsigned code;
  int position;
  friend bool operator==(const Scroll&, const Scroll&) = default;
};

class FakeHost final : public ScrollControlHost {
public:
  void sendScroll(unsigned code, int position) override {
    scrolls.push_back({code, position});
    if (onScroll)
      onScroll(code);
  }
  void setTimer(int id, int milliseconds) override {
    running[id] = milliseconds;
    timerRequests.emplace_back(id, milliseconds);
  }
  void killTimer(int id) override { running.erase(id); }
  void setCapture(bool on) override { captured = on; }
  void invalidate() override { ++invalidations; }

  std::vector<Scroll> scrolls;
  std::map<int, int> running;
  std::vector<std::pair<int, int>> timerRequests;
  bool captured = false;
  int invalidations = 0;
  std::function<void(unsigned)> onScroll;
};

// A 17-pixel vertical bar 200 long: arrows 0-16 and 183-199, track between.
constexpr Rect kVertical{0, 0, 17, 200};
constexpr Rect kHorizontal{0, 0, 200, 17};

struct Fixture {
  explicit Fixture(bool vertical, ScrollInfo info = {0, 100, 10, 50})
      : control(host, vertical) {
    control.setBounds(vertical ? kVertical : kHorizontal);
    control.setScrollInfo(info);
  }
  FakeHost host;
  ScrollControl control;
};

TEST(ScrollControl, ArrowsAndPageAreasScrollOnceAtPressThenRepeat) {
  const struct {
    bool vertical;
    Point at;
    unsigned code;
    int part;
  } kRows[] = {
      {true, {8, 5}, app::SB_LINEUP, kScrollLineUp},
      {true, {8, 195}, app::SB_LINEDOWN, kScrollLineDown},
      {true, {8, 30}, app::SB_PAGEUP, kScrollPageUp},
      {true, {8, 175}, app::SB_PAGEDOWN, kScrollPageDown},
      {false, {5, 8}, app::SB_LINEUP, kScrollLineUp},
      {false, {195, 8}, app::SB_LINEDOWN, kScrollLineDown},
      {false, {30, 8}, app::SB_PAGEUP, kScrollPageUp},
      {false, {175, 8}, app::SB_PAGEDOWN, kScrollPageDown},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(testing::Message() << "vertical " << row.vertical << " at " << row.at.x << ","
                                    << row.at.y);
    Fixture f(row.vertical);
    f.control.mousePress(row.at);
    EXPECT_EQ(f.host.scrolls, (std::vector<Scroll>{{row.code, 0}}));
    EXPECT_EQ(f.host.timerRequests, (std::vector<std::pair<int, int>>{{1, 500}}));
    EXPECT_TRUE(f.host.captured);
    EXPECT_EQ(f.control.pressedState(), row.part | kScrollPressedInside);

    f.control.timer(1); // after 500 ms
    f.control.timer(1); // and every 50 ms from then on
    f.control.timer(1);
    EXPECT_EQ(f.host.scrolls.size(), 4u);
    for (const Scroll& s : f.host.scrolls)
      EXPECT_EQ(s.code, row.code);
    EXPECT_EQ(f.host.timerRequests,
              (std::vector<std::pair<int, int>>{{1, 500}, {1, 50}, {1, 50}, {1, 50}}));

    f.control.mouseRelease(row.at);
    EXPECT_TRUE(f.host.running.empty());
    EXPECT_FALSE(f.host.captured);
    EXPECT_EQ(f.control.pressedState(), 0);
    EXPECT_EQ(f.host.scrolls.size(), 4u) << "release sends nothing for arrows and pages";
  }
}

TEST(ScrollControl, HeldArrowRepeatsOnlyWhileTheMouseIsOverIt) {
  Fixture f(true);
  f.control.mousePress({8, 195});
  f.control.mouseMove({8, 100}); // off the arrow, onto the track
  EXPECT_EQ(f.control.pressedState(), kScrollLineDown);
  f.control.timer(1);
  f.control.timer(1);
  EXPECT_EQ(f.host.scrolls.size(), 1u);
  // The timer keeps running, so coming back resumes the repeat.
  EXPECT_EQ(f.host.running, (std::map<int, int>{{1, 50}}));

  f.control.mouseMove({3, 190});
  EXPECT_EQ(f.control.pressedState(), kScrollLineDown | kScrollPressedInside);
  f.control.timer(1);
  EXPECT_EQ(f.host.scrolls, (std::vector<Scroll>{{app::SB_LINEDOWN, 0}, {app::SB_LINEDOWN, 0}}));

  f.control.mouseMove({40, 190}); // beside the bar: not over the arrow either
  f.control.timer(1);
  EXPECT_EQ(f.host.scrolls.size(), 2u);
  f.control.mouseRelease({40, 190});
  f.control.timer(1); // a tick already queued when the button came up
  EXPECT_EQ(f.host.scrolls.size(), 2u);
  EXPECT_TRUE(f.host.running.empty());
}

TEST(ScrollControl, HeldPageAreaStopsWhenTheThumbReachesTheMouse) {
  Fixture f(true);
  // The parent pages as a grid does: the position moves by a page.
  f.host.onScroll = [&](unsigned code) {
    ScrollInfo info = f.control.getScrollInfo();
    info.position += code == app::SB_PAGEDOWN ? info.page : 0;
    f.control.setScrollInfo(info);
  };
  // The thumb of 50 in 0..91 sits near the middle of the 166-pixel track;
  // 60 brings it down past y = 130.
  f.control.mousePress({8, 130});
  ASSERT_EQ(f.host.scrolls.size(), 1u);
  ASSERT_EQ(f.control.getScrollInfo().position, 60);
  f.control.timer(1);
  f.control.timer(1);
  EXPECT_EQ(f.host.scrolls.size(), 1u);
  EXPECT_EQ(f.control.pressedState(), kScrollPageDown);
}

TEST(ScrollControl, ThumbDragTracksAndStopsAtTheEndsOfTheRange) {
  // The tracking position runs from the minimum to maximum - page + 1, the
  // largest position a full page can start at; without a page, to the maximum.
  const struct {
    ScrollInfo info;
    int lowest;
    int highest;
  } kRows[] = {
      {{0, 100, 10, 50}, 0, 91},
      {{5, 20, 4, 10}, 5, 17},
      {{0, 65545, 10, 300}, 0, 65536},
      {{-50, 50, 0, 0}, -50, 50},
      {{0, 255, 256, 0}, 0, 0}, // the page covers everything: no thumb, no drag
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(testing::Message() << "range " << row.info.minimum << ".." << row.info.maximum
                                    << " page " << row.info.page);
    Fixture f(true, row.info);
    const Rect thumb = f.control.geometry().thumb;
    if (row.lowest == row.highest) {
      EXPECT_TRUE(thumb.isEmpty());
      continue;
    }
    const Point grab{8, (thumb.top + thumb.bottom) / 2};
    f.control.mousePress(grab);
    EXPECT_TRUE(f.host.scrolls.empty()) << "grabbing the thumb sends nothing";
    EXPECT_EQ(f.control.pressedState(), kScrollThumb | kScrollPressedInside);

    f.control.mouseMove({8, -500});
    f.control.mouseMove({8, 1000});
    f.control.mouseMove({8, 5000});
    f.control.mouseRelease({8, 5000});
    EXPECT_EQ(f.host.scrolls,
              (std::vector<Scroll>{{app::SB_THUMBTRACK, row.lowest},
                                   {app::SB_THUMBTRACK, row.highest},
                                   {app::SB_THUMBPOSITION, row.highest}}));
    EXPECT_EQ(f.control.getScrollInfo().trackPosition, row.highest);
    EXPECT_EQ(f.control.getScrollInfo().position, row.info.position)
        << "the parent, not the control, moves the position";
    EXPECT_FALSE(f.host.captured);
    EXPECT_EQ(f.control.pressedState(), 0);
  }
}

TEST(ScrollControl, ThumbDragFollowsTheMousePixelByPixel) {
  // A 200-pixel track; without a page the thumb is the shortest one (8), so
  // 192 pixels of travel carry the 192 positions one to a pixel.
  FakeHost host;
  ScrollControl control(host, false);
  control.setBounds({0, 0, 234, 17});
  control.setScrollInfo({0, 192, 0, 0});
  ASSERT_EQ(control.geometry().thumb, (Rect{17, 0, 25, 17}));
  control.mousePress({20, 8});
  control.mouseMove({70, 8});
  control.mouseMove({70, 30}); // off the bar sideways: the drag goes on
  control.mouseMove({71, 30});
  control.mouseRelease({71, 30});
  EXPECT_EQ(host.scrolls, (std::vector<Scroll>{{app::SB_THUMBTRACK, 50},
                                               {app::SB_THUMBTRACK, 51},
                                               {app::SB_THUMBPOSITION, 51}}));
}

TEST(ScrollControl, ReleasingAThumbThatDidNotMoveReportsTheOldPosition) {
  Fixture f(true, {0, 100, 10, 30});
  const Rect thumb = f.control.geometry().thumb;
  f.control.mousePress({8, thumb.top + 1});
  f.control.mouseRelease({8, thumb.top + 1});
  EXPECT_EQ(f.host.scrolls, (std::vector<Scroll>{{app::SB_THUMBPOSITION, 30}}));
}

TEST(ScrollControl, BadScrollInfoIsBroughtIntoRange) {
  const struct {
    ScrollInfo in;
    ScrollInfo stored; // outside a drag the track position is the position
  } kRows[] = {
      {{10, 5, 3, 7}, {10, 10, 1, 10, 10}},   // maximum below the minimum
      {{0, 9, 50, 5}, {0, 9, 10, 0, 0}},      // page larger than the range
      {{0, 100, -5, 200}, {0, 100, 0, 100, 100}}, // negative page, position past the end
      {{0, 100, 10, -7}, {0, 100, 10, 0, 0}},
      {{INT_MIN, INT_MAX, INT_MAX, 0}, {INT_MIN, INT_MAX, INT_MAX, 0, 0}},
      {{INT_MAX, INT_MIN, 0, 0}, {INT_MAX, INT_MAX, 0, INT_MAX, INT_MAX}},
      {{0, 0, 0, 0}, {0, 0, 0, 0, 0}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(testing::Message() << row.in.minimum << ".." << row.in.maximum << " page "
                                    << row.in.page << " pos " << row.in.position);
    // Full size, too short for a thumb, empty, and arrows only.
    for (const Rect bounds :
         {kVertical, Rect{0, 0, 17, 20}, Rect{0, 0, 0, 0}, Rect{0, 0, 17, 34}}) {
      FakeHost host;
      ScrollControl control(host, true);
      control.setBounds(bounds);
      control.setScrollInfo(row.in);
      EXPECT_EQ(control.getScrollInfo(), row.stored);
      // Whatever was stored, every part of the control keeps working.
      platform::RecordingCanvas canvas;
      control.paint(canvas, bounds);
      for (int y = -1; y <= bounds.bottom; y += 3) {
        control.mousePress({8, y});
        control.mouseMove({8, y + 40});
        control.mouseMove({8, y - 400});
        control.timer(1);
        control.paint(canvas, bounds);
        control.mouseRelease({8, y});
        EXPECT_EQ(control.pressedState(), 0);
        EXPECT_FALSE(host.captured);
      }
    }
  }
}

TEST(ScrollControl, DisabledControlIgnoresTheMouseAndDisablingEndsAPress) {
  Fixture f(true);
  f.control.enable(false);
  EXPECT_TRUE(f.control.geometry().thumb.isEmpty());
  f.control.mousePress({8, 195});
  EXPECT_TRUE(f.host.scrolls.empty());
  EXPECT_EQ(f.control.pressedState(), 0);

  f.control.enable(true);
  f.control.mousePress({8, 195});
  ASSERT_TRUE(f.host.captured);
  f.control.handleMessage(app::WM_ENABLE, 0, 0);
  EXPECT_FALSE(f.host.captured);
  EXPECT_TRUE(f.host.running.empty());
  EXPECT_EQ(f.control.pressedState(), 0);
  f.control.timer(1);
  EXPECT_EQ(f.host.scrolls.size(), 1u);
}

TEST(ScrollControl, WindowMessages) {
  Fixture f(false, {});
  EXPECT_EQ(f.control.scrollMessage(), app::WM_HSCROLL);
  EXPECT_EQ(Fixture(true).control.scrollMessage(), app::WM_VSCROLL);

  const ScrollInfo in{1, 300, 20, 40};
  EXPECT_EQ(f.control.handleMessage(app::SBM_SETSCROLLINFO, 0, reinterpret_cast<app::LParam>(&in)),
            40);
  ScrollInfo out{};
  EXPECT_EQ(f.control.handleMessage(app::SBM_GETSCROLLINFO, 0, reinterpret_cast<app::LParam>(&out)),
            1);
  EXPECT_EQ(out, (ScrollInfo{1, 300, 20, 40, 40}));
  EXPECT_EQ(f.control.handleMessage(app::SBM_GETSCROLLINFO, 0, 0), 0);
  EXPECT_EQ(f.control.handleMessage(app::SBM_SETSCROLLINFO, 0, 0), 0);

  f.control.handleMessage(app::WM_LBUTTONDOWN, app::MK_LBUTTON, app::makePointParam(196, 4));
  f.control.handleMessage(app::WM_TIMER, 1, 0);
  f.control.handleMessage(app::WM_TIMER, 2, 0); // another timer: not the repeat
  f.control.handleMessage(app::WM_LBUTTONUP, 0, app::makePointParam(196, 4));
  EXPECT_EQ(f.host.scrolls, (std::vector<Scroll>{{app::SB_LINEDOWN, 0}, {app::SB_LINEDOWN, 0}}));
}

TEST(ScrollControl, PaintsRaisedArrowsWithTrianglesAndAThumb) {
  Fixture f(true);
  platform::RecordingCanvas canvas;
  f.control.paint(canvas, kVertical);
  // Each arrow's triangle: black rows 7, 5, 3 and 1 pixels long.
  std::vector<int> black;
  for (const auto& op : canvas.opsOf(platform::CanvasOp::Kind::Line))
    if (op.pen.colour == platform::kBlack && op.points[0].y == op.points[1].y &&
        op.points[1].x - op.points[0].x <= 7)
      black.push_back(op.points[1].x - op.points[0].x);
  EXPECT_EQ(black, (std::vector<int>{7, 5, 3, 1, 7, 5, 3, 1}));

  // Outside the invalid rectangle nothing is drawn.
  canvas.clear();
  f.control.paint(canvas, {50, 50, 60, 60});
  EXPECT_TRUE(canvas.ops().empty());
}

} // namespace
} // namespace view
