#include "model/workbook_list.h"

#include "model/services.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/code_page.h"
#include "platform/memory.h"
#include "platform/text_metrics.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <cstdio>
#include <string>

namespace model {
namespace {

void showMessage(std::u16string_view text) {
  platform::ui().messageBox(text, std::nullopt, platform::MessageButtons::Ok,
                            platform::MessageIcon::None);
}

void refreshAll() {
  platform::ui().requestRepaint(platform::kRepaintTitle | platform::kRepaintGrid |
                                platform::kRepaintTabs | platform::kRepaintMenus);
}

std::u16string decimal(int n) {
  std::u16string s;
  for (char c : std::to_string(n))
    s += static_cast<char16_t>(c);
  return s;
}

// Font 0 of a new workbook: the screen's default font, its height without
// internal leading rounded to whole points.
Font defaultWorkbookFont() {
  const platform::TextMetrics& tm = platform::textMetrics();
  const platform::FontSpec spec = tm.defaultFont();
  const platform::FontMetrics m = tm.fontMetrics(spec);
  const int twips = platform::mulDiv(m.heightPx - m.internalLeadingPx, 1440, tm.logicalPixelsPerInch());
  Font f;
  f.heightTwips = static_cast<std::uint16_t>((twips + 10) / 20 * 20);
  f.pitchAndFamily = static_cast<std::uint8_t>(m.pitchAndFamily);
  f.charSet = static_cast<std::uint8_t>(m.charSet);
  f.face = u"Arial";
  return f;
}

// A loaded workbook that defines Auto_Open runs that macro once, after it has
// become the active workbook, so the macro acts on the workbook it came with.
// Only the macro interpreter is asked: opening never loads native code.
void runAutoOpen(Workbook& book) {
  const auto& runner = modelServices().runMacro;
  if (!runner)
    return;
  constexpr std::u16string_view kAutoOpen = kBuiltinNameTexts[1];
  for (const DefinedName& n : book.names)
    if (platform::equalsIgnoreCase(n.name, kAutoOpen)) {
      runner(book, n.name, MacroCaller{});
      return;
    }
}

bool fileIsReadable(std::u16string_view path) {
  std::FILE* f = std::fopen(platform::toUtf8(path).c_str(), "rb");
  if (!f)
    return false;
  std::fclose(f);
  return true;
}

} // namespace

FileType fileTypeOf(std::u16string_view path) {
  if (path.size() < 5 || path[path.size() - 4] != u'.')
    return kFileUnsupported;
  const std::u16string ext = platform::toUpper(path.substr(path.size() - 3));
  if (ext == u"CSV") return kFileCsv;
  if (ext == u"PXL") return kFilePocket;
  if (ext == u"XLS") return kFileXls;
  if (ext == u"XLT") return kFileXlt;
  if (ext == u"BMP") return kFileBmp;
  if (ext == u"TXT") return kFileText;
  return kFileUnsupported;
}

std::u16string formatMessage(std::u16string_view message, std::u16string_view argument) {
  std::u16string out(message);
  const size_t at = out.find(u"%s");
  if (at != std::u16string::npos)
    out.replace(at, 2, argument);
  return out;
}

namespace {

// The lists alive in the process; one in the program, more in tests.
std::vector<WorkbookList*>& liveLists() {
  static std::vector<WorkbookList*> lists;
  return lists;
}

} // namespace

WorkbookList::WorkbookList() { liveLists().push_back(this); }

WorkbookList::~WorkbookList() { std::erase(liveLists(), this); }

int WorkbookList::openWorkbookCount() {
  int n = 0;
  for (const WorkbookList* list : liveLists())
    n += list->count();
  return n;
}

WorkbookList* WorkbookList::holding(const Workbook& book) {
  for (WorkbookList* list : liveLists())
    for (int i = 0; i < list->count(); ++i)
      if (&list->at(i) == &book)
        return list;
  return nullptr;
}

const Workbook* WorkbookList::findOpen(std::uint64_t id) {
  for (const WorkbookList* list : liveLists())
    for (int i = 0; i < list->count(); ++i)
      if (list->at(i).id == id)
        return &list->at(i);
  return nullptr;
}

std::u16string WorkbookList::nextBookName() { return u"Book" + decimal(++m_bookCounter); }

bool WorkbookList::new_workbook(const std::u16string* path) {
  const int oldActive = m_active;
  const int oldCounter = m_bookCounter;
  const bool built = platform::withAllocation([&] {
    auto book = std::make_unique<Workbook>();
    book->path = path ? *path : nextBookName();
    book->codePage = static_cast<std::uint16_t>(platform::systemAnsiCodePage());
    book->fileCodePage = book->codePage;
    seedWorkbookTables(*book, defaultWorkbookFont());
    m_books.reserve(m_books.size() + 1);
    m_books.push_back(std::move(book));
  });
  if (!built) {
    m_bookCounter = oldCounter;
    return false;
  }
  m_active = count() - 1;
  Workbook& book = *active();
  if (!insert_sheet(book, 0, std::nullopt, SheetKind::Worksheet, false)) {
    m_books.pop_back();
    m_active = oldActive;
    m_bookCounter = oldCounter;
    return false;
  }
  book.modified = 0;
  if (count() == 1)
    platform::ui().enableSaveButton(true);
  refreshAll();
  return true;
}

bool WorkbookList::new_from_template(std::u16string_view programDirectory) {
  std::u16string templatePath(programDirectory);
  if (!templatePath.empty() && templatePath.back() != u'/' && templatePath.back() != u'\\')
    templatePath += u'/';
  templatePath += u"Book.xlt";
  if (fileIsReadable(templatePath) && modelServices().readWorkbookFile) {
    const int before = count();
    if (open_workbook(templatePath, false) && count() == before + 1) {
      active()->path = nextBookName();
      active()->modified = 0;
      refreshAll();
      return true;
    }
  }
  return new_workbook(nullptr);
}

bool WorkbookList::open_workbook(std::u16string_view pathIn, bool addToRecent) {
  std::u16string path(pathIn);
  if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"')
    path = path.substr(1, path.size() - 2);

  const std::u16string_view name = fileNamePart(path);
  for (int i = 0; i < count(); ++i) {
    if (platform::equalsIgnoreCase(fileNamePart(at(i).path), name)) {
      activate_workbook(i);
      return true;
    }
  }

  const FileType type = fileTypeOf(path);
  const auto& reader = modelServices().readWorkbookFile;
  // Bitmaps are written, never read; a type without a reader cannot be opened.
  if (type == kFileUnsupported || type == kFileBmp || !reader) {
    showMessage(kMessageUnsupportedFileType);
    return false;
  }
  if (!fileIsReadable(path)) {
    showMessage(formatMessage(kMessageCannotOpenFile, path));
    return false;
  }

  // An untouched Book1 makes way for the file (once the file has been read,
  // so a failed open does not leave the program without a workbook).
  const bool replaceBook1 = count() == 1 && !at(0).modified && at(0).path == u"Book1";

  auto book = std::make_unique<Workbook>();
  book->path = path;
  book->codePage = static_cast<std::uint16_t>(platform::systemAnsiCodePage());
  book->fileCodePage = book->codePage;
  bool ok = platform::withAllocation([&] { seedWorkbookTables(*book, defaultWorkbookFont()); });
  if (ok) {
    platform::ui().setWaitCursor(true);
    ok = reader(*book, path, type);
    platform::ui().setWaitCursor(false);
  }
  // A failed read leaves no half-filled workbook behind.
  if (!ok || book->sheets.empty())
    return false;
  book->modified = 0;
  if (replaceBook1) {
    undoList().dropWorkbook(at(0).id);
    m_books.clear();
  }
  m_books.push_back(std::move(book));
  m_active = count() - 1;
  if (count() == 1)
    platform::ui().enableSaveButton(true);
  if (addToRecent && modelServices().addRecentFile)
    modelServices().addRecentFile(path);
  refreshAll();
  runAutoOpen(*active());
  return true;
}

void WorkbookList::activate_workbook(int index) {
  if (index < 0 || index >= count() || index == m_active)
    return;
  const auto& runner = modelServices().runMacro;
  auto runNamed = [&](Workbook& book, const std::optional<std::u16string>& macro) {
    if (!runner || !macro)
      return;
    for (const DefinedName& n : book.names)
      if (platform::equalsIgnoreCase(n.name, *macro)) {
        runner(book, n.name, MacroCaller{});
        return;
      }
  };
  if (Workbook* old = active())
    runNamed(*old, old->deactivateMacro);
  m_active = index;
  refreshAll();
  runNamed(*active(), active()->activateMacro);
}

bool WorkbookList::close_workbook() {
  Workbook* book = active();
  if (!book)
    return false;
  const auto& runner = modelServices().runMacro;
  if (runner && book->deactivateMacro)
    for (const DefinedName& n : book->names)
      if (platform::equalsIgnoreCase(n.name, *book->deactivateMacro)) {
        runner(*book, n.name, MacroCaller{});
        break;
      }
  // Auto_Close runs before the question about saving, so its changes are saved.
  constexpr std::u16string_view kAutoClose = kBuiltinNameTexts[2];
  if (runner)
    for (const DefinedName& n : book->names)
      if (platform::equalsIgnoreCase(n.name, kAutoClose)) {
        runner(*book, n.name, MacroCaller{});
        break;
      }
  if (book->modified) {
    const std::u16string prompt = formatMessage(kMessageSaveChanges, fileNamePart(book->path));
    const platform::MessageAnswer answer =
        platform::ui().messageBox(prompt, kProductName, platform::MessageButtons::YesNoCancel,
                                  platform::MessageIcon::Question);
    if (answer == platform::MessageAnswer::Cancel)
      return true;
    if (answer == platform::MessageAnswer::Yes) {
      // A workbook that could not be saved stays open: closing it would lose
      // the changes the user just asked to keep.
      const auto& save = modelServices().saveWorkbook;
      if (!save || !save(*book))
        return true;
    }
  }
  undoList().dropWorkbook(book->id);
  m_books.erase(m_books.begin() + m_active);
  if (m_active >= count())
    m_active = count() - 1;
  if (count() == 0)
    platform::ui().enableSaveButton(false);
  refreshAll();
  return false;
}

std::u16string WorkbookList::windowTitle() const {
  std::u16string title(kProductName);
  if (m_active >= 0) {
    title += u" - ";
    title += fileNamePart(at(m_active).path);
  }
  return title;
}

} // namespace model
