#include "app/edit_commands.h"

#include "app/app_test_util.h"
#include "app/frame.h"
#include "app/menu_state.h"
#include "dialogs/paste_special_dialog.h"
#include "edit/clipboard.h"
#include "platform/dialog.h"

namespace app {
namespace {

class EditCommandsTest : public AppTest {
protected:
  EditCommandsTest() {
    model::undoList().clear();
    edit::free_clipboard();
  }
  ~EditCommandsTest() override {
    model::undoList().clear();
    edit::free_clipboard();
  }
  // What an accelerator or a menu item sends.
  void command(int id) { main_window_proc(app, WM_COMMAND, makeWParam(static_cast<unsigned>(id), 1), 0); }
};

TEST_F(EditCommandsTest, CopyPasteWithShiftedReferencesThenUndo) {
  set(0, 0, u"2");
  set(1, 0, u"=A1*10");
  click(cellCentre(1, 0));
  command(kCmdCopy);
  EXPECT_TRUE(window.marker);
  EXPECT_EQ(window.clipboard, u"20\r\n");
  ASSERT_TRUE(app.overlays().copyOutline.has_value());
  click(cellCentre(4, 2));
  command(kCmdPaste);
  EXPECT_EQ(input(4, 2), u"=C4*10");
  EXPECT_EQ(update_menu(app).items.at(130).text, u"撤消 粘贴\tCtrl+Z");
  EXPECT_TRUE(tool_button_enabled(app, kCmdUndo));
  command(kCmdUndo);
  EXPECT_EQ(input(4, 2), u"");
  EXPECT_EQ(update_menu(app).items.at(130).text, u"撤消");
  EXPECT_FALSE(tool_button_enabled(app, kCmdUndo));
}

// Delete records a clear, named so on the Edit menu, and Undo brings the
// cells back with their formulas.
TEST_F(EditCommandsTest, DeleteIsUndoneAsAClear) {
  set(0, 0, u"12");
  set(1, 0, u"=A1*2");
  set(1, 1, u"text");
  select(0, 0, 1, 1, 0, 0);
  key(VK_DELETE);
  EXPECT_EQ(input(0, 0), u"");
  EXPECT_EQ(input(1, 0), u"");
  EXPECT_EQ(input(1, 1), u"");
  EXPECT_EQ(update_menu(app).items.at(130).text, u"撤消 清除\tCtrl+Z");
  command(kCmdUndo);
  EXPECT_EQ(input(0, 0), u"12");
  EXPECT_EQ(input(1, 0), u"=A1*2");
  EXPECT_EQ(input(1, 1), u"text");
  EXPECT_EQ(update_menu(app).items.at(130).text, u"撤消");
}

TEST_F(EditCommandsTest, CutAndPasteMovesTheCellsAndUndoTakesBothBack) {
  set(0, 0, u"moving");
  click(cellCentre(0, 0));
  command(kCmdCut);
  EXPECT_EQ(input(0, 0), u"");
  click(cellCentre(3, 3));
  command(kCmdPaste);
  EXPECT_EQ(input(3, 3), u"moving");
  EXPECT_FALSE(app.overlays().copyOutline.has_value()) << "the cut has arrived";
  command(kCmdUndo);
  EXPECT_EQ(input(3, 3), u"");
  command(kCmdUndo);
  EXPECT_EQ(input(0, 0), u"moving");
}

TEST_F(EditCommandsTest, PasteSpecialValuesThroughTheDialog) {
  set(0, 0, u"=1+2");
  click(cellCentre(0, 0));
  command(kCmdCopy);
  EXPECT_TRUE(update_menu(app).items.at(134).enabled);
  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope(host);
  host.queue({platform::DialogAction::check(dialogs::kPastePartFirst + 2), platform::DialogAction::ok()});
  click(cellCentre(2, 1));
  command(134);
  ASSERT_EQ(host.runs().size(), 1u);
  EXPECT_EQ(host.runs()[0].title, u"选择性粘贴");
  EXPECT_EQ(input(2, 1), u"3");
  command(kCmdUndo);
  EXPECT_EQ(input(2, 1), u"");
}

TEST_F(EditCommandsTest, EscapeLetsGoOfTheOutlineAndTheTimerMovesIt) {
  set(0, 0, u"1");
  click(cellCentre(0, 0));
  command(kCmdCopy);
  EXPECT_EQ(window.timers.count(kTimerCopyOutline), 1u);
  main_window_proc(app, WM_TIMER, kTimerCopyOutline, 0);
  EXPECT_EQ(app.overlays().copyPhase, 1);
  key(VK_ESCAPE);
  EXPECT_FALSE(app.overlays().copyOutline.has_value());
  main_window_proc(app, WM_TIMER, kTimerCopyOutline, 0);
  EXPECT_EQ(window.timers.count(kTimerCopyOutline), 0u);
  // The snapshot itself stays: Paste still uses it.
  click(cellCentre(5, 5));
  command(kCmdPaste);
  EXPECT_EQ(input(5, 5), u"1");
}

TEST_F(EditCommandsTest, TypingIntoTheFormulaBarUsesItsOwnClipboard) {
  set(0, 0, u"cells");
  click(cellCentre(0, 0));
  command(kCmdCopy);
  click(cellCentre(2, 0));
  type(u"ab");
  // Ctrl+V while the entry is open pastes text into the entry, not cells.
  command(kCmdPaste);
  EXPECT_EQ(app.formulaBar.text, u"abcells\n"); // line ends become the cell's line feeds
  key(VK_RETURN);
  EXPECT_EQ(input(2, 0), u"abcells\n");
  EXPECT_EQ(input(3, 0), u"") << "no cells were pasted";
}

TEST_F(EditCommandsTest, TheContextMenuEnablesPasteAsTheMenuDoes) {
  window.popupChoices.push_back(0);
  main_window_proc(app, WM_RBUTTONDOWN, MK_RBUTTON, makePointParam(cellCentre(1, 1).x, cellCentre(1, 1).y));
  ASSERT_EQ(window.popupsShown.size(), 1u);
  EXPECT_FALSE(window.popupsShown[0][2].enabled);
  EXPECT_FALSE(window.popupsShown[0][3].enabled);
  set(1, 1, u"x");
  command(kCmdCopy);
  window.popupChoices.push_back(0);
  main_window_proc(app, WM_RBUTTONDOWN, MK_RBUTTON, makePointParam(cellCentre(1, 1).x, cellCentre(1, 1).y));
  ASSERT_EQ(window.popupsShown.size(), 2u);
  EXPECT_TRUE(window.popupsShown[1][2].enabled);
  EXPECT_TRUE(window.popupsShown[1][3].enabled);
}

} // namespace
} // namespace app
