#include "qt/qt_controls.h"

#include "qt/app_setup.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

// Fontconfig and Qt's platform plugin keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\n";
}

namespace qtui {
namespace {

class QtControlsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!std::getenv("QT_QPA_PLATFORM"))
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "qt_controls_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
      new QApplication(argc, argv);
    installAppServices();
  }
};

void press(QWidget& w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
  QMouseEvent event(QEvent::MouseButtonPress, at, w.mapToGlobal(at), button, button,
                    Qt::NoModifier);
  QApplication::sendEvent(&w, &event);
}

void release(QWidget& w, QPoint at) {
  QMouseEvent event(QEvent::MouseButtonRelease, at, w.mapToGlobal(at), Qt::LeftButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &event);
}

TEST_F(QtControlsTest, ScrollWidgetSendsLineDownForAPressOnTheDownArrow) {
  ScrollControlWidget bar(true);
  bar.resize(17, 200);
  bar.control().setScrollInfo({0, 100, 10, 0});
  std::vector<std::pair<unsigned, int>> sent;
  bar.onScroll = [&](unsigned code, int position) { sent.emplace_back(code, position); };

  press(bar, {8, 195});
  EXPECT_EQ(sent, (std::vector<std::pair<unsigned, int>>{{app::SB_LINEDOWN, 0}}));
  EXPECT_EQ(bar.control().pressedState(), view::kScrollLineDown | view::kScrollPressedInside);
  release(bar, {8, 195});
  EXPECT_EQ(bar.control().pressedState(), 0);

  // A disabled widget disables the control.
  bar.setEnabled(false);
  press(bar, {8, 195});
  EXPECT_EQ(sent.size(), 1u);

  // Painting through the canvas leaves the arrow's black triangle on the face.
  bar.setEnabled(true);
  QImage image(17, 200, QImage::Format_RGB32);
  image.fill(Qt::green);
  bar.render(&image);
  EXPECT_EQ(image.pixelColor(8, 200 - 9), QColor(Qt::black));
}

TEST_F(QtControlsTest, ColourListClickSetsTheValue) {
  PickerButtonWidget picker(view::PickerKind::Colour, 42);
  picker.resize(100, 22);
  picker.show();
  picker.button().setValue(view::kColourAutomatic);
  std::vector<std::pair<int, unsigned>> commands;
  picker.onCommand = [&](int id, unsigned code) { commands.emplace_back(id, code); };

  press(picker, {50, 10});
  PickerListPopup* popup = picker.openedList();
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(popup->isVisible());
  EXPECT_TRUE(popup->windowFlags() & Qt::Popup);

  // The first cell of the second row is palette entry 8.
  const platform::Rect cell = popup->list().cellRect({0, 1, 1, 8});
  press(*popup, {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2});
  EXPECT_EQ(picker.button().value(), 8);
  EXPECT_EQ(commands, (std::vector<std::pair<int, unsigned>>{{42, 1}}));
  EXPECT_FALSE(popup->isVisible());

  // A press outside the list closes it and changes nothing.
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(picker.openedList(), nullptr);
  popup = picker.openList();
  press(*popup, {-20, -20});
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(picker.button().value(), 8);
  EXPECT_EQ(commands.size(), 1u);
}

TEST_F(QtControlsTest, FontPreviewDrawsTheSample) {
  FontPreviewWidget preview;
  preview.resize(160, 40);
  preview.setPreviewFont({u"Arial", 400, 700, false, false, false});
  QImage image(160, 40, QImage::Format_RGB32);
  image.fill(Qt::green);
  preview.render(&image);
  int dark = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 160; ++x)
      dark += image.pixelColor(x, y).lightness() < 100 ? 1 : 0;
  EXPECT_GT(dark, 20) << "the sample text is drawn";
  EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
}

} // namespace
} // namespace qtui
