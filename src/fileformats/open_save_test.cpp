#include "fileformats/open_save.h"

#include "drawing/picture_fill.h"
#include "fileformats/image/picture.h"
#include "fileformats/text/delimited_text.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fileformats {
namespace {

namespace fs = std::filesystem;
using platform::MessageAnswer;

std::u16string u16(const fs::path& p) { return platform::fromUtf8(p.string()); }

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& p, std::string_view bytes) {
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class OpenSaveTest : public ::testing::Test {
protected:
  void SetUp() override {
    formula::installFormulaEngine();
    functions::registerAllFunctions();
    dir = fs::temp_directory_path() / ("cellwick_open_save_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "other");
    installFileServices(list, [this](std::u16string_view suggested) -> std::optional<SaveAsChoice> {
      dialogCalls.push_back(std::u16string(suggested));
      if (!nextChoice)
        return std::nullopt;
      auto c = *nextChoice;
      nextChoice.reset();
      return c;
    });
    recentFiles() = {};
  }
  void TearDown() override {
    model::modelServices().readWorkbookFile = nullptr;
    model::modelServices().saveWorkbook = nullptr;
    model::modelServices().addRecentFile = nullptr;
    model::modelServices().runMacro = nullptr;
    fs::remove_all(dir);
  }
  std::u16string path(const char* name) { return u16(dir / name); }
  void setCell(int row, int column, std::u16string_view text) {
    ASSERT_TRUE(model::set_cell(*list.active(), list.active()->activeSheet,
                                static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                                text, model::kDefaultCellFormat, false, true));
  }
  std::u16string inputAt(int row, int column) {
    model::Workbook& b = *list.active();
    const model::CellRecord* c = model::cell_at(b.active(), static_cast<std::uint16_t>(row),
                                                static_cast<std::uint8_t>(column));
    return c ? std::u16string(c->input.view()) : u"<none>";
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scoped{ui};
  model::WorkbookList list;
  fs::path dir;
  std::optional<SaveAsChoice> nextChoice;
  std::vector<std::u16string> dialogCalls;
};

TEST_F(OpenSaveTest, CsvToXlsToCsvKeepsValues) {
  const std::string csv = "name,amount,when\r\nalpha,1.25,3/14/2024\r\n\"b,c\",-7,12%\r\n";
  writeBytes(dir / "in.csv", csv);
  ASSERT_TRUE(openWorkbookFile(list, path("in.csv"), false));
  EXPECT_EQ(list.active()->sheet(0).name, u"in");
  EXPECT_EQ(list.active()->fileVersion.family, model::FileFamily::Text);
  ASSERT_TRUE(saveWorkbookFile(list, path("mid.xls"), true));
  list.active()->path = u"elsewhere.xls";
  ASSERT_TRUE(openWorkbookFile(list, path("mid.xls"), false));
  EXPECT_EQ(inputAt(1, 1), u"1.25");
  ASSERT_TRUE(saveWorkbookFile(list, path("out.csv"), true));
  EXPECT_EQ(readBytes(dir / "out.csv"), csv);
}

TEST_F(OpenSaveTest, OpeningReplacesUntouchedBook1AndActivatesSameName) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  writeBytes(dir / "report.csv", "1\n");
  writeBytes(dir / "other" / "REPORT.CSV", "2\n");
  ASSERT_TRUE(openWorkbookFile(list, path("report.csv"), true));
  EXPECT_EQ(list.count(), 1); // Book1 made way
  ASSERT_TRUE(list.new_workbook(nullptr));
  EXPECT_EQ(list.count(), 2);
  // Same file name from another folder, other case: the open one comes forward.
  ASSERT_TRUE(openWorkbookFile(list, u16(dir / "other" / "REPORT.CSV"), true));
  EXPECT_EQ(list.count(), 2);
  EXPECT_EQ(list.activeIndex(), 0);
  EXPECT_EQ(inputAt(0, 0), u"1");
  EXPECT_EQ(recentFiles().slots[0], path("report.csv"));
}

TEST_F(OpenSaveTest, OpenRefusals) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string message;
  } cases[] = {
      {"x.doc", "abc", std::u16string(model::kMessageUnsupportedFileType)},
      {"bad.csv", "a\"b\n", std::u16string(textfile::kMessageInvalidData)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(dir / c.name, c.bytes);
    ui.clearShown();
    EXPECT_FALSE(openWorkbookFile(list, path(c.name), true));
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].text, c.message);
    EXPECT_FALSE(ui.shown()[0].caption.has_value());
    EXPECT_EQ(list.count(), 1); // nothing half-read stays open
  }
  ui.clearShown();
  EXPECT_FALSE(openWorkbookFile(list, path("missing.xls"), true));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::formatMessage(model::kMessageCannotOpenFile, path("missing.xls")));
  EXPECT_TRUE(recentFiles().slots[0].empty());
}

TEST_F(OpenSaveTest, MultiSheetCsvAsksAndWritesOnlyActiveSheet) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  setCell(0, 0, u"first");
  ASSERT_TRUE(model::insert_sheet(*list.active(), 1, std::nullopt, model::SheetKind::Worksheet, false));
  setCell(0, 0, u"second");
  ASSERT_EQ(list.active()->activeSheet, 1);

  ui.queueAnswer(MessageAnswer::Cancel);
  EXPECT_FALSE(saveWorkbookFile(list, path("two.csv"), false));
  EXPECT_FALSE(fs::exists(dir / "two.csv"));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageMultipleSheets);
  EXPECT_EQ(ui.shown()[0].buttons, platform::MessageButtons::OkCancel);

  ui.queueAnswer(MessageAnswer::Ok);
  EXPECT_TRUE(saveWorkbookFile(list, path("two.csv"), false));
  EXPECT_EQ(readBytes(dir / "two.csv"), "second\r\n");
  EXPECT_EQ(list.active()->modified, 0);
}

TEST_F(OpenSaveTest, SaveAsAppendsExtensionAndSetsExcel95Fields) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  setCell(0, 0, u"42");
  nextChoice = SaveAsChoice{path("book.abc"), kSaveAsExcel95};
  ASSERT_TRUE(saveWorkbookAs(list, u"Book1"));
  const fs::path written = dir / "book.abc.xls";
  ASSERT_TRUE(fs::exists(written));
  EXPECT_EQ(list.active()->path, u16(written));
  EXPECT_EQ(list.active()->fileVersion.version, 7);
  EXPECT_EQ(list.active()->fileVersion.versionWord, 0x0500);
  EXPECT_EQ(list.active()->fileVersion.build, 6818);
  EXPECT_EQ(recentFiles().slots[0], u16(written));
  // A BIFF5 file keeps its stream in "Book"; the name is stored in UTF-16 in the directory.
  const std::string bytes = readBytes(written);
  EXPECT_NE(bytes.find(std::string("B\0o\0o\0k\0\0\0", 10)), std::string::npos);
  EXPECT_EQ(bytes.find(std::string("W\0o\0r\0k\0b\0o\0o\0k\0", 16)), std::string::npos);
}

// Excel 95 holds 16,384 rows: saving cells below them in that format asks
// once, and No saves nothing; a sheet within the limit is not asked about,
// and Excel 97 never is.
TEST_F(OpenSaveTest, Excel95SaveOfRowsPastItsLimitAsksFirst) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  setCell(16383, 0, u"last row Excel 95 has");
  nextChoice = SaveAsChoice{path("fits.xls"), kSaveAsExcel95};
  ASSERT_TRUE(saveWorkbookAs(list, u"Book1"));
  EXPECT_TRUE(ui.shown().empty());

  setCell(16384, 0, u"row 16,385");
  const std::u16string question =
      u"Excel 95 格式只能保存 16,384 行，以下内容其他程序将无法读取：第 16,385 行以后的单元格。是否继续？";
  ui.queueAnswer(MessageAnswer::No);
  nextChoice = SaveAsChoice{path("past.xls"), kSaveAsExcel95};
  EXPECT_FALSE(saveWorkbookAs(list, u"Book1"));
  EXPECT_FALSE(fs::exists(dir / "past.xls"));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, question);
  EXPECT_EQ(ui.shown()[0].buttons, platform::MessageButtons::YesNo);

  ui.clearShown();
  ui.queueAnswer(MessageAnswer::Yes);
  nextChoice = SaveAsChoice{path("past.xls"), kSaveAsExcel95};
  EXPECT_TRUE(saveWorkbookAs(list, u"Book1"));
  EXPECT_TRUE(fs::exists(dir / "past.xls"));
  EXPECT_EQ(ui.shown().size(), 1u);

  ui.clearShown();
  nextChoice = SaveAsChoice{path("all.xls"), kSaveAsExcel97};
  EXPECT_TRUE(saveWorkbookAs(list, u"Book1"));
  EXPECT_TRUE(ui.shown().empty());
}

// Drawing-format shapes, a line's second head, a picture's own format and
// picture fills have no Excel 95 form: the same question lists them; comments, controls,
// lines with one head and metafile pictures go without asking.
TEST_F(OpenSaveTest, Excel95SaveListsObjectsItCannotHold) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  model::Sheet &s = list.active()->sheet(0);
  model::DrawingObject comment;
  comment.kind = model::kObjectComment;
  comment.text = u"kept";
  s.objects.push_back(comment);
  model::DrawingObject button;
  button.kind = model::kObjectButton;
  s.objects.push_back(button);
  model::DrawingObject line;
  line.kind = model::kObjectLine;
  line.startArrow = model::kLineEndTriangle; // written running the other way
  s.objects.push_back(line);
  const auto picture = [](image::PictureKind kind) {
    model::DrawingObject p;
    p.kind = model::kObjectPicture;
    p.payload.reset(std::make_unique<image::PicturePayload>(
        std::make_shared<const image::Picture>(image::Picture{kind, {}, {}})));
    return p;
  };
  s.objects.push_back(picture(image::PictureKind::Wmf));
  nextChoice = SaveAsChoice{path("kept.xls"), kSaveAsExcel95};
  ASSERT_TRUE(saveWorkbookAs(list, u"Book1"));
  EXPECT_TRUE(ui.shown().empty());

  s.objects[2].endArrow = model::kLineEndOpen;
  model::DrawingObject shape;
  shape.kind = model::kObjectOfficeShape;
  shape.shapeType = 5;
  s.objects.push_back(shape);
  s.objects.push_back(picture(image::PictureKind::Png));
  model::DrawingObject filled;
  filled.kind = model::kObjectRectangle;
  ASSERT_TRUE(drawing::setFillPicture(filled, std::make_shared<const image::Picture>(), drawing::PictureFill::Texture));
  s.objects.push_back(filled);
  setCell(16384, 0, u"row 16,385");
  ui.queueAnswer(MessageAnswer::No);
  nextChoice = SaveAsChoice{path("lost.xls"), kSaveAsExcel95};
  EXPECT_FALSE(saveWorkbookAs(list, u"Book1"));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"Excel 95 格式只能保存 16,384 行，以下内容其他程序将无法读取："
                                u"第 16,385 行以后的单元格、自选图形、线条起点的箭头、"
                                u"JPEG、PNG 和 EMF 图片的原格式（存为位图）、"
                                u"图形的图片和纹理填充（存为单色）。是否继续？");
}

// Cell and object texts are saved in the workbook's code page: a character
// it lacks would come back as "?", so the same question names them; a
// workbook whose code page holds its texts saves without asking, and the
// file keeps that code page when it is opened and saved again.
TEST_F(OpenSaveTest, Excel95SaveNamesCharactersTheCodePageLacks) {
  const std::u16string question = u"Excel 95 格式只能保存 16,384 行，以下内容其他程序将无法读取："
                                  u"工作簿代码页中没有的字符（存为“?”）。是否继续？";
  const struct {
    std::uint16_t codePage;
    std::u16string_view cell, object;
    bool asked;
  } kRows[] = {
      {936, u"中文", u"按钮", false},  {1252, u"café", u"Ÿ", false},
      {1252, u"中文", u"plain", true}, {1252, u"plain", u"复选框", true},
      {936, u"한국", u"plain", true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(platform::toUtf8(row.cell) + " " + platform::toUtf8(row.object));
    ui.clearShown();
    ASSERT_TRUE(list.new_workbook(nullptr));
    list.active()->codePage = row.codePage;
    setCell(0, 0, row.cell);
    model::DrawingObject button;
    button.kind = model::kObjectButton;
    button.text = row.object;
    list.active()->sheet(0).objects.push_back(button);
    ui.queueAnswer(MessageAnswer::No);
    nextChoice = SaveAsChoice{path("texts.xls"), kSaveAsExcel95};
    EXPECT_EQ(saveWorkbookAs(list, list.active()->path), !row.asked);
    ASSERT_EQ(ui.shown().size(), row.asked ? 1u : 0u);
    if (row.asked) {
      EXPECT_EQ(ui.shown()[0].text, question);
      continue;
    }
    // Opened again (the system's code page is another), it is the file's.
    const std::u16string saved = list.active()->path;
    EXPECT_FALSE(list.close_workbook());
    ASSERT_TRUE(openWorkbookFile(list, saved, false));
    EXPECT_EQ(list.active()->codePage, row.codePage);
    EXPECT_EQ(inputAt(0, 0), row.cell);
    ASSERT_EQ(list.active()->sheet(0).objects.size(), 1u);
    EXPECT_EQ(list.active()->sheet(0).objects[0].text, row.object);
    EXPECT_FALSE(list.close_workbook());
    fs::remove(dir / "texts.xls");
  }
}

TEST_F(OpenSaveTest, VersionFieldsByType) {
  model::Workbook book;
  setVersionFields(book, model::kFileXls, false);
  EXPECT_EQ(book.fileVersion.version, 8);
  EXPECT_EQ(book.fileVersion.versionWord, 0x0600);
  EXPECT_EQ(book.fileVersion.build, 5618);
  setVersionFields(book, model::kFilePocket, false);
  EXPECT_EQ(book.fileVersion.family, model::FileFamily::Pocket);
  EXPECT_EQ(book.fileVersion.versionWord, 0x010F);
  EXPECT_EQ(book.fileVersion.version, 7);
  book.fileVersion.build = 1; // a pocket workbook keeps what it had
  setVersionFields(book, model::kFilePocket, false);
  EXPECT_EQ(book.fileVersion.build, 1);
  setVersionFields(book, model::kFileText, false);
  EXPECT_EQ(book.fileVersion.family, model::FileFamily::Text);
  EXPECT_EQ(book.fileVersion.version, 8);
  EXPECT_EQ(book.fileVersion.year, 1996);
  EXPECT_EQ(book.fileVersion.historyFlags, 0x49u);
  EXPECT_EQ(book.fileVersion.lowestVersion, 6);
}

TEST_F(OpenSaveTest, SaveAsRefusals) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  const std::u16string other = path("taken.xls");
  ASSERT_TRUE(list.new_workbook(&other));
  ASSERT_TRUE(list.new_workbook(nullptr));
  nextChoice = SaveAsChoice{u16(dir / "other" / "TAKEN.xls"), kSaveAsExcel97};
  EXPECT_FALSE(saveWorkbookAs(list, u"Book2"));
  nextChoice = SaveAsChoice{path("pic"), kSaveAsBitmap};
  EXPECT_FALSE(saveWorkbookAs(list, u"Book2"));
  ASSERT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[0].text, kMessageSameNameOpen);
  EXPECT_EQ(ui.shown()[1].text, kMessageNotAChart);
  for (const auto& s : ui.shown())
    EXPECT_EQ(s.caption, std::optional<std::u16string>(u"Cellwick"));
  EXPECT_TRUE(fs::is_empty(dir / "other"));
  // A cancelled dialog saves nothing and says nothing.
  ui.clearShown();
  EXPECT_FALSE(saveWorkbookAs(list, u"Book2"));
  EXPECT_TRUE(ui.shown().empty());
}

TEST_F(OpenSaveTest, SaveAsBitmapWritesTheChartPictureAndLeavesTheWorkbookAsItWas) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  model::Workbook& book = *list.active();
  ASSERT_TRUE(model::insert_sheet(book, 1, std::nullopt, model::SheetKind::Chart, false));
  book.modified = 0;
  const std::u16string before = book.path;
  // No window to draw the chart: the type cannot be written.
  nextChoice = SaveAsChoice{path("pic"), kSaveAsBitmap};
  EXPECT_FALSE(saveWorkbookAs(list, u"Book1"));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageUnsupportedFileType);
  EXPECT_FALSE(fs::exists(dir / "pic.bmp"));
  int drawn = 0;
  setChartPicture([&](model::Workbook& b) -> std::optional<platform::Bitmap> {
    EXPECT_EQ(&b, &book);
    ++drawn;
    platform::Bitmap picture;
    picture.width = 600;
    picture.height = 400;
    picture.pixels.assign(600u * 400u, 0xFFFFFFFFu);
    return picture;
  });
  nextChoice = SaveAsChoice{path("pic"), kSaveAsBitmap};
  EXPECT_TRUE(saveWorkbookAs(list, u"Book1"));
  setChartPicture(nullptr);
  EXPECT_EQ(drawn, 1);
  ASSERT_TRUE(fs::exists(dir / "pic.bmp"));
  EXPECT_EQ(fs::file_size(dir / "pic.bmp"), 310u + 400u * 600u);
  EXPECT_EQ(readBytes(dir / "pic.bmp").substr(0, 2), "BM");
  // An export: the workbook keeps its name, its modified flag and its versions.
  EXPECT_EQ(book.path, before);
  EXPECT_EQ(book.modified, 0);
  EXPECT_TRUE(recentFiles().slots[0].empty());
}

TEST_F(OpenSaveTest, TemplateSaveGoesThroughSaveAs) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  setCell(0, 0, u"t");
  ASSERT_TRUE(saveWorkbookFile(list, path("plan.xlt"), true));
  list.active()->path = path("plan.xlt");
  nextChoice = SaveAsChoice{path("plan.xls"), kSaveAsExcel97};
  ASSERT_TRUE(saveWorkbookFile(list, list.active()->path, false));
  ASSERT_EQ(dialogCalls.size(), 1u);
  EXPECT_EQ(list.active()->path, path("plan.xls"));
  EXPECT_TRUE(fs::exists(dir / "plan.xls"));
}

TEST_F(OpenSaveTest, FailedSaveKeepsWhatWasThereAndTellsWhy) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  setCell(0, 0, u"new");
  model::mark_modified(*list.active());
  // A folder in the way: the finished temporary file cannot replace it.
  fs::create_directories(dir / "keep.csv");
  writeBytes(dir / "keep.csv" / "inside", "old");
  EXPECT_FALSE(saveWorkbookFile(list, path("keep.csv"), true));
  EXPECT_EQ(readBytes(dir / "keep.csv" / "inside"), "old");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::formatMessage(kMessageCannotSaveFile, path("keep.csv")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2); // no temporary left
  EXPECT_NE(list.active()->modified, 0);
}

// Opening a workbook that defines Auto_Open (any letter case) asks the macro
// runner for it once, with the opened workbook already active; other names,
// failed opens and re-activating an open workbook run nothing.
TEST_F(OpenSaveTest, AutoOpenRunsOnceAfterLoading) {
  struct Call {
    model::Workbook* book;
    std::u16string name;
    bool bookWasActive;
  };
  std::vector<Call> calls;
  int closeRuns = 0; // closing runs a workbook's Auto_Close; counted apart
  model::modelServices().runMacro = [&](model::Workbook& book, std::u16string_view name, const model::MacroCaller&) {
    if (name == u"Auto_Close") {
      ++closeRuns;
      return;
    }
    calls.push_back({&book, std::u16string(name), list.active() == &book});
  };
  struct Row {
    const char* file;
    std::vector<std::u16string> names;
    const char16_t* expected; // the name run, or null for none
  } rows[] = {
      {"none.xls", {}, nullptr},
      {"builtin.xls", {u"Total", u"Auto_Open"}, u"Auto_Open"},
      {"upper.xls", {u"AUTO_OPEN"}, u"AUTO_OPEN"},
      {"template.xlt", {u"Auto_Open"}, u"Auto_Open"},
      {"others.xls", {u"Auto_Close", u"Auto_Open_Later", u"Auto_Activate"}, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    ASSERT_TRUE(list.new_workbook(nullptr));
    setCell(0, 0, u"1");
    for (const std::u16string& name : row.names) {
      model::DefinedName n;
      n.name = name;
      n.formula = u"=Sheet1!$A$1";
      list.active()->names.push_back(n);
    }
    ASSERT_TRUE(saveWorkbookFile(list, path(row.file), true));
    closeRuns = 0;
    while (list.count() > 0)
      ASSERT_FALSE(list.close_workbook());
    ASSERT_TRUE(calls.empty()); // saving and closing run no Auto_Open
    const bool hasClose =
        std::find(row.names.begin(), row.names.end(), u"Auto_Close") != row.names.end();
    EXPECT_EQ(closeRuns, hasClose ? 1 : 0);

    ASSERT_TRUE(openWorkbookFile(list, path(row.file), false));
    // The names came back, so a missing call is the seam's doing.
    EXPECT_EQ(list.active()->names.size(), row.names.size());
    if (!row.expected) {
      EXPECT_TRUE(calls.empty());
    } else {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].name, row.expected);
      EXPECT_EQ(calls[0].book, list.active());
      EXPECT_TRUE(calls[0].bookWasActive);
    }
    // Opening the same file name again only brings it forward.
    calls.clear();
    ASSERT_TRUE(list.new_workbook(nullptr));
    ASSERT_TRUE(openWorkbookFile(list, path(row.file), false));
    EXPECT_TRUE(calls.empty());
    while (list.count() > 0)
      ASSERT_FALSE(list.close_workbook());
  }
  // A file that cannot be read runs nothing.
  writeBytes(dir / "broken.xls", "not a workbook");
  EXPECT_FALSE(openWorkbookFile(list, path("broken.xls"), false));
  EXPECT_TRUE(calls.empty());
  model::modelServices().runMacro = nullptr;
}

TEST(RecentFilesTest, MovesToTopDropsOldestAndRemoves) {
  recentFiles() = {};
  for (char16_t c = u'a'; c <= u'e'; ++c)
    add_recent_file(std::u16string(u"/f/") + c);
  add_recent_file(u"/f/c"); // third from the top
  EXPECT_EQ(recentFiles().slots[0], u"/f/c");
  EXPECT_EQ(recentFiles().slots[1], u"/f/e");
  EXPECT_EQ(recentFiles().slots[2], u"/f/d");
  EXPECT_EQ(recentFiles().slots[3], u"/f/b");
  EXPECT_EQ(recentFiles().slots[5], u"");
  add_recent_file(u"/f/C"); // another file on Linux
  EXPECT_EQ(recentFiles().slots[1], u"/f/c");
  for (char16_t c = u'p'; c <= u't'; ++c)
    add_recent_file(std::u16string(u"/g/") + c);
  EXPECT_EQ(recentFiles().slots[0], u"/g/t");
  EXPECT_EQ(recentFiles().slots[8], u"/f/d"); // "/f/b" and "/f/a" fell off
  remove_recent_file(0);
  EXPECT_EQ(recentFiles().slots[0], u"/g/s");
  EXPECT_EQ(recentFiles().slots[8], u"");
}

TEST(RecentFilesTest, SettingsRoundTripWithUnicodePaths) {
  const std::u16string longPath = u"/数据/" + std::u16string(200, u'x') + u".xls";
  recentFiles() = {};
  add_recent_file(u"/tmp/a.xls");
  add_recent_file(longPath);
  const fs::path ini = fs::temp_directory_path() / ("cellwick_settings_" + std::to_string(::getpid()) + ".ini");
  {
    platform::IniSettingsStore store(ini.string());
    save_recent_files(store);
  }
  recentFiles() = {};
  platform::IniSettingsStore reread(ini.string());
  EXPECT_EQ(reread.value(kRecentFilesGroup, u"File9"), std::optional<std::u16string>(u""));
  load_recent_files(reread);
  fs::remove(ini);
  EXPECT_EQ(recentFiles().slots[0], longPath);
  EXPECT_EQ(recentFiles().slots[1], u"/tmp/a.xls");
  EXPECT_EQ(recentFiles().slots[2], u"");
}

TEST_F(OpenSaveTest, OpeningAMissingRecentFileRemovesIt) {
  ASSERT_TRUE(list.new_workbook(nullptr));
  writeBytes(dir / "here.csv", "1\n");
  add_recent_file(path("gone.csv"));
  add_recent_file(path("here.csv"));
  EXPECT_FALSE(open_recent_file(list, 1));
  EXPECT_EQ(recentFiles().slots[1], u"");
  EXPECT_TRUE(open_recent_file(list, 0));
  EXPECT_EQ(recentFiles().slots[0], path("here.csv"));
}

} // namespace
} // namespace fileformats
