// The Qt dialog host, driven as a user would: keys into a line edit, a list
// click, the OK button.

#include "qt/qt_dialog_host.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// Fontconfig and Qt's platform plugin keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\n";
}

namespace qtui {
namespace {

using platform::ControlKind;
using platform::Notification;

constexpr int kLabel = 10, kEdit = 11, kList = 12, kCheck = 13;

platform::DialogTemplate sampleTemplate() {
  platform::DialogTemplate t;
  t.title = u"设置行高";
  t.width = 180;
  t.height = 120;
  t.controls = {
      {kLabel, ControlKind::Static, u"设置行高：", 7, 7, 166, 10},
      {kEdit, ControlKind::Edit, {}, 7, 19, 166, 14, 0, 6},
      {kList, ControlKind::ListBox, {}, 7, 37, 166, 40},
      {kCheck, ControlKind::CheckBox, u"建立副本", 7, 80, 166, 12},
      {platform::kIdOk, ControlKind::Button, u"确定", 69, 99, 50, 14, platform::kStyleDefault},
      {platform::kIdCancel, ControlKind::Button, u"取消", 123, 99, 50, 14},
  };
  return t;
}

/// Refuses OK while the edit reads "no"; remembers what it saw.
class Procedure : public platform::DialogProcedure {
public:
  void onInit(platform::DialogControls& c) override {
    c.setItems(kList, {u"one", u"two", u"three"});
    c.setSelection(kList, 0);
    c.setText(kEdit, u"12.75");
  }
  int onCommand(platform::DialogControls& c, int id, Notification what) override {
    events.push_back(std::to_string(id) + ":" + std::to_string(static_cast<int>(what)));
    if (id == kList && what == Notification::SelectionChanged)
      c.setText(kLabel, c.text(kList));
    return 0;
  }
  bool onOk(platform::DialogControls& c) override {
    ++oks;
    text = c.text(kEdit);
    selection = c.selection(kList);
    checked = c.checked(kCheck);
    return text != u"no";
  }
  std::vector<std::string> events;
  int oks = 0;
  std::u16string text;
  int selection = -2;
  bool checked = false;
};

class QtDialogHostTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!std::getenv("QT_QPA_PLATFORM"))
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "qt_dialog_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
      new QApplication(argc, argv);
  }

  /// Runs `steps` on the dialog once it is showing.
  static void whenShown(std::function<void(QWidget&)> steps) {
    QTimer::singleShot(0, [steps] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      steps(*dialog);
    });
  }

  template <class W> static W* control(QWidget& dialog, int id) {
    return dialog.findChild<W*>(controlObjectName(id));
  }

  static void type(QWidget* w, const QString& text) {
    for (QChar ch : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(w, &press);
    }
  }
};

TEST_F(QtDialogHostTest, TypedTextReachesTheProcedureOnOk) {
  Procedure proc;
  bool stayedOpen = false;
  QString labelAfterClick;
  whenShown([&](QWidget& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("设置行高"));
    auto* edit = control<QLineEdit>(dialog, kEdit);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("12.75")); // set by the procedure at init
    edit->selectAll();
    type(edit, QStringLiteral("no"));
    control<QPushButton>(dialog, platform::kIdOk)->click();
    stayedOpen = dialog.isVisible();

    edit->selectAll();
    type(edit, QStringLiteral("20.5000000")); // the edit takes six characters
    control<QListWidget>(dialog, kList)->setCurrentRow(2);
    labelAfterClick = control<QLabel>(dialog, kLabel)->text();
    control<QCheckBox>(dialog, kCheck)->click();
    control<QPushButton>(dialog, platform::kIdOk)->click();
  });
  QtDialogHost host;
  EXPECT_EQ(host.run(sampleTemplate(), proc), platform::kIdOk);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(proc.oks, 2);
  EXPECT_EQ(proc.text, u"20.500");
  EXPECT_EQ(proc.selection, 2);
  EXPECT_TRUE(proc.checked);
  EXPECT_EQ(labelAfterClick, QStringLiteral("three"));
  // The procedure's own changes at init are not reported back to it; each
  // typed key is, then the list click and the check box.
  ASSERT_FALSE(proc.events.empty());
  EXPECT_EQ(proc.events.front(), "11:1");
  const std::vector<std::string> tail(proc.events.end() - 2, proc.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"12:2", "13:0"}));
}

// The dialog opens with the first edit's text selected, so typing replaces
// what was filled in (the last search's text, say) instead of adding to it.
TEST_F(QtDialogHostTest, TypingIntoTheFirstEditReplacesItsText) {
  Procedure proc;
  QString selected;
  whenShown([&](QWidget& dialog) {
    auto* edit = control<QLineEdit>(dialog, kEdit);
    ASSERT_NE(edit, nullptr);
    selected = edit->selectedText();
    type(edit, QStringLiteral("3"));
    control<QPushButton>(dialog, platform::kIdOk)->click();
  });
  QtDialogHost host;
  EXPECT_EQ(host.run(sampleTemplate(), proc), platform::kIdOk);
  EXPECT_EQ(selected, QStringLiteral("12.75"));
  EXPECT_EQ(proc.text, u"3");
}

// A label's "&N" names the control after it, as on Windows: Alt+N moves
// there, and the label shows the letter underlined rather than the "&".
TEST_F(QtDialogHostTest, LabelMnemonicsNameTheNextControl) {
  constexpr int kFindLabel = 20, kFindEdit = 21, kScopeLabel = 22, kFrame = 23, kScope = 24,
                kPlain = 25, kPlainEdit = 26, kAmpersand = 27, kAmpEdit = 28;
  platform::DialogTemplate t;
  t.title = u"查找";
  t.width = 200;
  t.height = 120;
  t.controls = {
      {kFindLabel, ControlKind::Static, u"查找内容(&N)：", 7, 7, 60, 10},
      {kFindEdit, ControlKind::Edit, {}, 70, 7, 100, 13},
      {kScopeLabel, ControlKind::Static, u"查找范围(&L)", 7, 25, 60, 10},
      {kFrame, ControlKind::GroupBox, u"", 70, 22, 100, 20},
      {kScope, ControlKind::ComboBox, {}, 72, 25, 90, 13},
      {kPlain, ControlKind::Static, u"目标值：", 7, 45, 60, 10},
      {kPlainEdit, ControlKind::Edit, {}, 70, 45, 100, 13},
      {kAmpersand, ControlKind::Static, u"R&&D", 7, 65, 60, 10},
      {kAmpEdit, ControlKind::Edit, {}, 70, 65, 100, 13},
      {platform::kIdOk, ControlKind::Button, u"确定", 69, 99, 50, 14, platform::kStyleDefault},
  };
  QWidget *findBuddy = nullptr, *scopeBuddy = nullptr, *plainBuddy = nullptr, *ampBuddy = nullptr;
  QWidget *findEdit = nullptr, *scope = nullptr;
  whenShown([&](QWidget& dialog) {
    findBuddy = control<QLabel>(dialog, kFindLabel)->buddy();
    scopeBuddy = control<QLabel>(dialog, kScopeLabel)->buddy();
    plainBuddy = control<QLabel>(dialog, kPlain)->buddy();
    ampBuddy = control<QLabel>(dialog, kAmpersand)->buddy();
    findEdit = control<QLineEdit>(dialog, kFindEdit);
    scope = dialog.findChild<QWidget*>(controlObjectName(kScope));
    static_cast<QDialog&>(dialog).reject();
  });
  platform::DialogProcedure proc;
  QtDialogHost host;
  host.run(t, proc);
  ASSERT_NE(findEdit, nullptr);
  EXPECT_EQ(findBuddy, findEdit);
  EXPECT_EQ(scopeBuddy, scope); // the frame between them takes no focus
  EXPECT_EQ(plainBuddy, nullptr);
  EXPECT_EQ(ampBuddy, nullptr); // "&&" is an ampersand, not a mnemonic
}

// A click on a list item is reported once the item is selected, so the
// procedure reads the item clicked; Shift+Enter presses the button marked
// for it without closing; a scroll bar reports where it moved.
TEST_F(QtDialogHostTest, ListClicksShiftEnterAndScrollBarReachTheProcedure) {
  constexpr int kShift = 14, kScroll = 15;
  class Seen : public platform::DialogProcedure {
  public:
    void onInit(platform::DialogControls& c) override {
      c.setItems(kList, {u"one", u"two", u"three"});
      c.setScroll(kScroll, 0, 0, 5, 2);
    }
    int onCommand(platform::DialogControls& c, int id, Notification what) override {
      if (id == kList && what == Notification::SelectionChanged)
        listSeen.push_back(c.selection(kList));
      if (id == kShift && what == Notification::Clicked)
        ++shiftPresses;
      if (id == kScroll && what == Notification::Scrolled)
        scrolledTo = c.scrollPosition(kScroll);
      return 0;
    }
    std::vector<int> listSeen;
    int shiftPresses = 0;
    int scrolledTo = -1;
  } proc;
  platform::DialogTemplate t = sampleTemplate();
  t.controls.push_back({kShift, ControlKind::Button, u"上一条", 7, 99, 50, 14, platform::kStyleShiftDefault});
  t.controls.push_back({kScroll, ControlKind::ScrollBar, {}, 172, 7, 8, 80});
  bool stillOpen = false;
  whenShown([&](QWidget& dialog) {
    auto* list = control<QListWidget>(dialog, kList);
    ASSERT_NE(list, nullptr);
    const QPointF at = QRectF(list->visualItemRect(list->item(1))).center();
    const QPointF global = list->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
    QKeyEvent shiftEnter(QEvent::KeyPress, Qt::Key_Return, Qt::ShiftModifier, QStringLiteral("\r"));
    QApplication::sendEvent(control<QLineEdit>(dialog, kEdit), &shiftEnter);
    stillOpen = dialog.isVisible();
    auto* bar = control<QScrollBar>(dialog, kScroll);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    static_cast<QDialog&>(dialog).reject();
  });
  QtDialogHost host;
  EXPECT_EQ(host.run(t, proc), platform::kIdCancel);
  EXPECT_EQ(proc.listSeen, std::vector<int>{1});
  EXPECT_EQ(proc.shiftPresses, 1);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(proc.scrolledTo, 2);
}

TEST_F(QtDialogHostTest, EscapeAndCancelCloseWithCancel) {
  for (bool useButton : {false, true}) {
    Procedure proc;
    whenShown([useButton](QWidget& dialog) {
      if (useButton)
        control<QPushButton>(dialog, platform::kIdCancel)->click();
      else
        static_cast<QDialog&>(dialog).reject();
    });
    QtDialogHost host;
    EXPECT_EQ(host.run(sampleTemplate(), proc), platform::kIdCancel) << useButton;
    EXPECT_EQ(proc.oks, 0);
  }
}

// A multi-line edit keeps Enter as a new line, takes no more than its
// limit (pasted text too) and reads back with its line ends.
TEST_F(QtDialogHostTest, MultiLineEditKeepsLinesAndItsLimit) {
  class Lines : public platform::DialogProcedure {
  public:
    void onInit(platform::DialogControls& c) override {
      c.setText(kEdit, u"first");
      c.selectText(kEdit, 5, 5);
    }
    bool onOk(platform::DialogControls& c) override {
      text = c.text(kEdit);
      return true;
    }
    std::u16string text;
  } proc;
  platform::DialogTemplate t = sampleTemplate();
  t.controls[1].style = platform::kStyleMultiLine;
  t.controls[1].h = 40;
  t.controls[1].limit = 12;
  bool stillOpen = false;
  whenShown([&](QWidget& dialog) {
    auto* edit = control<QPlainTextEdit>(dialog, kEdit);
    ASSERT_NE(edit, nullptr);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(edit, &enter);
    stillOpen = dialog.isVisible();
    type(edit, QStringLiteral("second line"));
    control<QPushButton>(dialog, platform::kIdOk)->click();
  });
  QtDialogHost host;
  EXPECT_EQ(host.run(t, proc), platform::kIdOk);
  EXPECT_TRUE(stillOpen) << "Enter starts a line, it does not press OK";
  EXPECT_EQ(proc.text, u"first\nsecond");
}

TEST_F(QtDialogHostTest, ControlsSitAtTheirTemplatePositionsInDialogUnits) {
  Procedure proc;
  QRect editRect;
  int charWidth = 0, charHeight = 0;
  whenShown([&](QWidget& dialog) {
    const QFontMetrics fm(dialog.font());
    charWidth = fm.averageCharWidth();
    charHeight = fm.height();
    editRect = control<QLineEdit>(dialog, kEdit)->geometry();
    static_cast<QDialog&>(dialog).reject();
  });
  QtDialogHost host;
  host.run(sampleTemplate(), proc);
  ASSERT_GT(charWidth, 0);
  EXPECT_EQ(editRect.x(), 7 * charWidth / 4);
  EXPECT_EQ(editRect.y(), 19 * charHeight / 8);
  EXPECT_EQ(editRect.width(), 166 * charWidth / 4);
  EXPECT_EQ(editRect.height(), 14 * charHeight / 8);
}

TEST_F(QtDialogHostTest, PropertySheetAsksEveryPageOnOk) {
  Procedure first, second;
  platform::PropertySheetTemplate sheet{u"格式", {sampleTemplate(), sampleTemplate()}};
  sheet.pages[0].title = u"数字";
  sheet.pages[1].title = u"对齐";
  platform::DialogProcedure* pages[] = {&first, &second};
  whenShown([](QWidget& dialog) {
    auto* tabs = dialog.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("对齐"));
    auto* edit = control<QLineEdit>(*tabs->widget(1), kEdit);
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    type(edit, QStringLiteral("7"));
    control<QPushButton>(dialog, platform::kIdOk)->click();
  });
  QtDialogHost host;
  EXPECT_EQ(host.runSheet(sheet, pages), platform::kIdOk);
  EXPECT_EQ(first.text, u"12.75");
  EXPECT_EQ(second.text, u"7");
}

} // namespace
} // namespace qtui
