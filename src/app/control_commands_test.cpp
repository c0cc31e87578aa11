// Form controls in the window: a click writes the linked cell as an entry
// would, and the format command edits the control.

#include "app/app_test_util.h"
#include "app/command_table.h"
#include "dialogs/control_page.h"
#include "drawing/controls.h"
#include "edit/undo_command.h"
#include "model/undo.h"
#include "platform/dialog.h"

namespace app {
namespace {

// A check box over B2:C3 (x 80-192, y 34-68) linked to A1, and B5 doubling A1.
class ControlCommandsTest : public AppTest {
protected:
  ControlCommandsTest() : m_hostScope(host) {
    model::undoList().clear();
    sheet().objects.push_back(drawing::makeControl(sheet(), model::kObjectCheckBox, {{1, 0, 1, 0}, {3, 0, 3, 0}}));
    control().linkedCell = u"$A$1";
    set(4, 1, u"=IF(A1,2,0)");
    app.relayout();
  }
  ~ControlCommandsTest() override { model::undoList().clear(); }
  drawing::ControlPayload& control() { return *drawing::controlOf(sheet().objects[0]); }
  double b5() {
    model::CellRecord* c = model::cell_at(sheet(), 4, 1);
    formula::computeCell(book(), 0, *c);
    return c->value.numberValue();
  }

  platform::ScriptedDialogHost host;

private:
  platform::ScopedDialogHost m_hostScope;
};

TEST_F(ControlCommandsTest, AClickWritesTheLinkedCellAsAnEntry) {
  book().modified = 0;
  click({90, 50});
  EXPECT_EQ(input(0, 0), u"TRUE");
  EXPECT_EQ(control().value, drawing::kChecked);
  EXPECT_EQ(b5(), 2); // the cell's dependents are computed again
  EXPECT_NE(book().modified, 0);
  EXPECT_EQ(sheet().selectedObject, -1) << "operating a control does not select it";
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoInput);

  click({90, 50});
  EXPECT_EQ(input(0, 0), u"FALSE");
  // Undo takes the cell back, and the control follows it.
  (void)edit::undo(app.books);
  EXPECT_EQ(input(0, 0), u"TRUE");
  drawing::refreshLinkedControls(book(), 0);
  EXPECT_EQ(control().value, drawing::kChecked);

  // Ctrl+click selects the control instead.
  window.heldModifiers = platform::kModControl;
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(90, 50));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(90, 50));
  window.heldModifiers = 0;
  EXPECT_EQ(sheet().selectedObject, 0);
  EXPECT_EQ(input(0, 0), u"TRUE");
}

TEST_F(ControlCommandsTest, AProtectedLinkedCellRefusesTheClick) {
  sheet().flags |= model::kSheetProtected;
  click({90, 50});
  EXPECT_EQ(input(0, 0), u"");
  EXPECT_FALSE(ui.shown().empty()); // the protection message
  EXPECT_EQ(control().value, drawing::kUnchecked) << "the control stays with its cell";
  EXPECT_TRUE(model::undoList().empty());
}

TEST_F(ControlCommandsTest, TheFormatCommandEditsTheSelectedControl) {
  sheet().selectedObject = 0;
  set(3, 3, u"1");
  host.queue({platform::DialogAction::setText(dialogs::kControlLinkedCell, u"D4"), platform::DialogAction::ok()});
  EXPECT_TRUE(dispatch_command(app, 190, CommandSource::Menu));
  ASSERT_EQ(host.runs().size(), 1u);
  EXPECT_EQ(host.runs()[0].title, dialogs::kControlFormatTitle);
  EXPECT_EQ(control().linkedCell, u"D4");
  EXPECT_EQ(control().value, drawing::kChecked); // it shows its new cell at once

  // One undo entry takes the control's settings back.
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoFormatObject);
  (void)edit::undo(app.books);
  EXPECT_EQ(control().linkedCell, u"$A$1");
  EXPECT_EQ(control().value, drawing::kUnchecked);
}

} // namespace
} // namespace app
