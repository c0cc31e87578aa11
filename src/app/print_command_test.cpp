// The print command as the window runs it: the dialog's answer, the pages
// on the chosen printer and the modal progress box.

#include "app/command_table.h"
#include "formula/recalc.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "platform/printer.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace app {
namespace {

// Letter paper at 192 dpi without margins: 64 default rows a page.
constexpr platform::PrinterCaps kCaps{192, 192, 1632, 2112, 0, 0, 1632, 2112};

// The command owns the printer it gets; this one hands its pages to a
// recording device the test keeps.
class ForwardingDevice final : public platform::PrintDevice {
public:
  explicit ForwardingDevice(platform::RecordingPrintDevice& to) : m_to(to) {}
  platform::PrinterCaps caps() const override { return m_to.caps(); }
  bool beginDocument(std::u16string_view name) override { return m_to.beginDocument(name); }
  platform::Canvas* beginPage() override { return m_to.beginPage(); }
  bool endPage() override { return m_to.endPage(); }
  bool endDocument() override { return m_to.endDocument(); }
  void abortDocument() override { m_to.abortDocument(); }
  std::u16string outputFile() const override { return m_to.outputFile(); }

private:
  platform::RecordingPrintDevice& m_to;
};

class PrintCommandTest : public ::testing::Test {
protected:
  PrintCommandTest() : scope(ui), app(books, window) {
    formula::installFormulaEngine();
    EXPECT_TRUE(books.new_workbook(nullptr));
    platform::setPrintServices(&print);
  }
  ~PrintCommandTest() override {
    platform::setPrintServices(nullptr);
    model::modelServices() = {};
  }
  void put(int row, int column, std::u16string_view text) {
    ASSERT_TRUE(model::set_cell(*books.active(), 0, static_cast<std::uint16_t>(row),
                                static_cast<std::uint8_t>(column), text, 15, false, false));
  }
  // Queues the recording printer as the next dialog's answer.
  void choosePrinter(bool selection = false) {
    print.answers.push_back({std::make_unique<ForwardingDevice>(printer), selection});
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  platform::HeadlessWindowServices window;
  platform::HeadlessPrintServices print;
  platform::RecordingPrintDevice printer{kCaps};
  model::WorkbookList books;
  App app;
};

TEST_F(PrintCommandTest, CtrlPPrintsTheActiveSheetWithAModalProgressBox) {
  put(0, 0, u"first");
  put(100, 0, u"p2"); // row 101: past the 64 rows of page 1
  choosePrinter();
  ASSERT_TRUE(dispatch_command(app, 117, CommandSource::Accelerator));
  EXPECT_EQ(print.dialogsShown, 1);
  EXPECT_EQ(print.caption, u"打印");
  EXPECT_EQ(print.cancelText, u"取消");
  EXPECT_EQ(print.progressTexts, (std::vector<std::u16string>{u"正在打印第 1 页…", u"正在打印第 2 页…"}));
  EXPECT_FALSE(print.progressOpen) << "the box closes with the job";
  ASSERT_EQ(printer.pages.size(), 2u);
  EXPECT_TRUE(printer.ended);
  EXPECT_EQ(printer.pages[0]->textOps(u"first").size(), 1u);
  EXPECT_EQ(printer.pages[1]->textOps(u"p2").size(), 1u);
}

TEST_F(PrintCommandTest, TheSelectionChosenInTheDialogPrintsOnlyIt) {
  put(0, 0, u"in");
  put(0, 1, u"out");
  books.active()->active().selectionFirst = 0;
  books.active()->active().selectionLast = 0;
  choosePrinter(true);
  ASSERT_TRUE(dispatch_command(app, 117, CommandSource::Menu));
  ASSERT_EQ(printer.pages.size(), 1u);
  EXPECT_EQ(printer.pages[0]->textOps(u"in").size(), 1u);
  EXPECT_TRUE(printer.pages[0]->textOps(u"out").empty());
}

TEST_F(PrintCommandTest, CancellingTheDialogPrintsNothing) {
  put(0, 0, u"x");
  ASSERT_TRUE(dispatch_command(app, 117, CommandSource::Menu));
  EXPECT_EQ(print.dialogsShown, 1);
  EXPECT_TRUE(print.progressTexts.empty());
  EXPECT_TRUE(print.caption.empty()) << "no progress box";
}

TEST_F(PrintCommandTest, CancelInTheProgressBoxStopsTheJob) {
  put(300, 0, u"x"); // five pages
  print.cancelAtProgress = 2;
  choosePrinter();
  ASSERT_TRUE(dispatch_command(app, 117, CommandSource::Menu));
  EXPECT_EQ(print.progressTexts.size(), 2u) << "no page after the cancel";
  EXPECT_EQ(printer.pages.size(), 1u);
  EXPECT_TRUE(printer.aborted);
  EXPECT_FALSE(printer.ended);
  EXPECT_FALSE(print.progressOpen);
}

TEST_F(PrintCommandTest, AnEmptySheetOpensNoProgressPages) {
  choosePrinter();
  ASSERT_TRUE(dispatch_command(app, 117, CommandSource::Menu));
  EXPECT_EQ(print.dialogsShown, 1);
  EXPECT_TRUE(print.progressTexts.empty());
  EXPECT_TRUE(print.caption.empty()) << "no progress box";
  EXPECT_FALSE(printer.begun);
}

// Only a file the pages could not be written to is told: a printer reports
// its own failures, and a cancel is the user's own doing.
TEST_F(PrintCommandTest, AFailedPrintToAFileSaysTheFileCouldNotBeWritten) {
  struct Case {
    const char* what;
    std::u16string file;
    bool refuseBegin;
    int failingPage;
    int cancelAt;
    bool told;
  };
  const Case cases[] = {
      {"file refused at the start", u"/nowhere/out.pdf", true, -1, -1, true},
      {"file fails on a page", u"/tmp/out.pdf", false, 1, -1, true},
      {"printer refuses", u"", true, -1, -1, false},
      {"file printed", u"/tmp/out.pdf", false, -1, -1, false},
      {"file job cancelled", u"/tmp/out.pdf", false, -1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui.clearShown();
    printer.pages.clear();
    printer.file = c.file;
    printer.refuseBegin = c.refuseBegin;
    printer.failingPage = c.failingPage;
    print.cancelAtProgress = c.cancelAt;
    print.progressTexts.clear();
    put(0, 0, u"x");
    choosePrinter();
    ASSERT_TRUE(dispatch_command(app, 117, CommandSource::Menu));
    if (c.told) {
      ASSERT_EQ(ui.shown().size(), 1u);
      EXPECT_EQ(ui.shown()[0].text, u"可能其他程序正用，无法保存文件为\n" + c.file);
    } else {
      EXPECT_TRUE(ui.shown().empty());
    }
  }
}

} // namespace
} // namespace app
