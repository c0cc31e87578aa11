#include "fileformats/open_save.h"

#include "fileformats/biff/drawing_records.h"
#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "fileformats/image/bitmap_file.h"
#include "fileformats/pocket/pocket.h"
#include "fileformats/text/delimited_text.h"
#include "model/services.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <string>

namespace fileformats {
namespace {

struct FlowState {
  model::WorkbookList* list = nullptr;
  SaveAsDialog dialog;
  ChartPicture chartPicture;
};

FlowState& state() {
  static FlowState s;
  return s;
}

void showMessage(std::u16string_view text) {
  platform::ui().messageBox(text, std::nullopt, platform::MessageButtons::Ok,
                            platform::MessageIcon::None);
}

void showCaptioned(std::u16string_view text) {
  platform::ui().messageBox(text, model::kProductName, platform::MessageButtons::Ok,
                            platform::MessageIcon::None);
}

bool samePath(std::u16string_view a, std::u16string_view b) {
#ifdef _WIN32
  return platform::equalsIgnoreCase(a, b);
#else
  return a == b;
#endif
}

std::u16string decimal(int n) {
  std::u16string s;
  for (char c : std::to_string(n))
    s += static_cast<char16_t>(c);
  return s;
}

model::FileVersion binaryVersion(bool excel95) {
  model::FileVersion v;
  v.family = model::FileFamily::Binary;
  v.version = excel95 ? 7 : 8;
  v.versionWord = excel95 ? 0x0500 : 0x0600;
  v.build = excel95 ? 6818 : 5618;
  return v;
}

} // namespace

void installFileServices(model::WorkbookList& list, SaveAsDialog dialog) {
  state().list = &list;
  state().dialog = std::move(dialog);
  model::ModelServices& m = model::modelServices();
  m.readWorkbookFile = readWorkbookFile;
  m.addRecentFile = add_recent_file;
  m.saveWorkbook = [](model::Workbook& book) {
    model::WorkbookList* l = state().list;
    if (!l || l->active() != &book)
      return writeWorkbookFile(book, book.path, model::fileTypeOf(book.path));
    return saveWorkbookFile(*l, book.path, false);
  };
}

bool readWorkbookFile(model::Workbook& book, const std::u16string& path, int fileType) {
  if (fileType == model::kFileUnsupported) {
    showMessage(model::kMessageUnsupportedFileType);
    return false;
  }
  // Bitmaps are only ever written.
  if (fileType == model::kFileBmp)
    return false;
  platform::FileBytes bytes;
  if (!platform::readWholeFile(path, bytes)) {
    showMessage(model::formatMessage(model::kMessageCannotOpenFile, path));
    return false;
  }
  const std::span<const std::uint8_t> file = bytes.bytes();
  switch (fileType) {
  case model::kFileCsv:
  case model::kFileText: {
    const auto kind =
        fileType == model::kFileCsv ? textfile::DelimitedKind::Csv : textfile::DelimitedKind::Tab;
    if (!textfile::importDelimitedText(file, kind, book, textfile::sheetNameForFile(path)))
      return false;
    setVersionFields(book, fileType, false);
    return true;
  }
  case model::kFileXls:
  case model::kFileXlt: {
    biff::ReadInfo info;
    if (!biff::readBinaryWorkbook(file, book, &info))
      return false;
    book.fileVersion = binaryVersion(info.version == 7);
    return true;
  }
  case model::kFilePocket:
    if (!pocket::readPocketWorkbook(file, book))
      return false;
    setVersionFields(book, fileType, false);
    return true;
  default:
    return false;
  }
}

bool writeWorkbookFile(model::Workbook& book, const std::u16string& path, int fileType) {
  switch (fileType) {
  case model::kFileCsv:
  case model::kFileText: {
    const auto kind =
        fileType == model::kFileCsv ? textfile::DelimitedKind::Csv : textfile::DelimitedKind::Tab;
    return textfile::saveDelimitedText(book, path, kind);
  }
  case model::kFileXls:
  case model::kFileXlt:
    return biff::saveBinaryWorkbook(book, path, book.fileVersion.version == 7 ? 7 : 8);
  case model::kFilePocket:
    return pocket::savePocketWorkbook(book, path);
  default:
    return false;
  }
}

void setVersionFields(model::Workbook& book, int fileType, bool excel95) {
  model::FileVersion& v = book.fileVersion;
  switch (fileType) {
  case model::kFileCsv:
  case model::kFileText:
    v = model::FileVersion{};
    v.family = model::FileFamily::Text;
    v.version = 8;
    break;
  case model::kFilePocket:
    if (v.family != model::FileFamily::Pocket) {
      v = model::FileVersion{};
      v.family = model::FileFamily::Pocket;
      v.version = 7;
      v.versionWord = 0x010F;
      v.build = 6818;
    }
    break;
  case model::kFileXls:
  case model::kFileXlt:
    v = binaryVersion(excel95);
    break;
  default:
    return;
  }
  v.year = 1996;
  v.historyFlags = 0x49;
  v.lowestVersion = 6;
}

bool openWorkbookFile(model::WorkbookList& list, std::u16string_view path, bool addToRecent) {
  return list.open_workbook(path, addToRecent);
}

namespace {

// Whether a text of cells or objects has a character the code page lacks
// (sheet names are made distinct by the writer itself).
bool losesCharacters(const model::Workbook& book, int codePage) {
  for (int i = 0; i < book.sheetCount(); ++i) {
    const model::Sheet& sheet = book.sheet(i);
    bool lost = false;
    sheet.cells.forEach([&](const model::CellRecord& c) {
      lost = lost || !platform::holdsText(codePage, c.input.view());
    });
    if (lost)
      return true;
    for (const model::DrawingObject& o : sheet.objects)
      if (!platform::holdsText(codePage, o.text))
        return true;
  }
  return false;
}

// Excel 95 sheets have 16,384 rows: other programs stop there (or refuse the
// file), so cells below are saved only when the user agrees. What else the
// format cannot hold (shapes of the drawing format, a line's second head,
// a picture's own format, a picture fill, characters its code page lacks)
// is listed in the same question.
bool excel95HoldsEnough(const model::Workbook& book) {
  constexpr std::uint16_t kExcel95Rows = 16384;
  bool beyond = false;
  unsigned losses = biff::kBiff5LosesNothing;
  for (int i = 0; i < book.sheetCount(); ++i) {
    const model::Sheet& sheet = book.sheet(i);
    model::CellRange used;
    beyond = beyond || (model::usedRange(sheet, used) && used.lastRow >= kExcel95Rows);
    if (sheet.kind != model::SheetKind::Worksheet)
      continue;
    for (const model::DrawingObject& o : sheet.objects)
      losses |= biff::biff5Losses(o);
  }
  const auto has = [&](unsigned loss) { return (losses & loss) != 0; };
  const bool characters = losesCharacters(book, biff::excel95CodePage(book));
  std::u16string lost;
  for (const auto& [flag, text] :
       {std::pair{beyond, kExcel95LostRows}, std::pair{has(biff::kBiff5LosesShape), kExcel95LostShapes},
        std::pair{has(biff::kBiff5LosesStartArrow), kExcel95LostStartArrows},
        std::pair{has(biff::kBiff5LosesPictureFormat), kExcel95LostPictureFormats},
        std::pair{has(biff::kBiff5LosesPictureFill), kExcel95LostPictureFills},
        std::pair{characters, kExcel95LostCharacters}})
    if (flag)
      lost.append(lost.empty() ? u"" : u"、").append(text);
  if (lost.empty())
    return true;
  return platform::ui().messageBox(model::formatMessage(kMessageExcel95Limits, lost),
                                   std::nullopt, platform::MessageButtons::YesNo,
                                   platform::MessageIcon::Warning) == platform::MessageAnswer::Yes;
}

// A .bmp save is an export of the active chart: the workbook keeps its
// path and its modified flag.
bool saveChartPicture(model::Workbook& book, const std::u16string& path) {
  if (book.activeSheet < 0 || book.activeSheet >= book.sheetCount() ||
      book.active().kind != model::SheetKind::Chart) {
    showCaptioned(kMessageNotAChart);
    return false;
  }
  if (!state().chartPicture) {
    showMessage(model::kMessageUnsupportedFileType);
    return false;
  }
  platform::ui().setWaitCursor(true);
  const std::optional<platform::Bitmap> picture = state().chartPicture(book);
  const bool ok = picture && image::writeChartBitmapFile(path, *picture, book.palette);
  platform::ui().setWaitCursor(false);
  if (!ok)
    showMessage(model::formatMessage(kMessageCannotSaveFile, path));
  return ok;
}

} // namespace

void setChartPicture(ChartPicture picture) { state().chartPicture = std::move(picture); }

bool saveWorkbookFile(model::WorkbookList& list, const std::u16string& path, bool fromSaveAs) {
  model::Workbook* book = list.active();
  if (!book)
    return false;
  const int type = model::fileTypeOf(path);
  if ((type == model::kFileCsv || type == model::kFileText) && book->sheetCount() >= 2) {
    if (platform::ui().messageBox(kMessageMultipleSheets, std::nullopt,
                                  platform::MessageButtons::OkCancel,
                                  platform::MessageIcon::Warning) != platform::MessageAnswer::Ok)
      return false;
  }
  if ((type == model::kFileXlt && !fromSaveAs) || type == model::kFileUnsupported) {
    // A Save As that lands here again with the same answer would loop forever.
    if (fromSaveAs) {
      showMessage(model::kMessageUnsupportedFileType);
      return false;
    }
    return saveWorkbookAs(list, path);
  }
  if (type == model::kFileBmp)
    return saveChartPicture(*book, path);
  if ((type == model::kFileXls || type == model::kFileXlt) && book->fileVersion.version == 7 &&
      !excel95HoldsEnough(*book))
    return false;
  platform::ui().setWaitCursor(true);
  const bool ok = writeWorkbookFile(*book, path, type);
  platform::ui().setWaitCursor(false);
  if (!ok) {
    showMessage(model::formatMessage(kMessageCannotSaveFile, path));
    return false;
  }
  book->modified = 0;
  return true;
}

bool saveWorkbookAs(model::WorkbookList& list, std::u16string_view suggestedPath) {
  model::Workbook* book = list.active();
  if (!book || !state().dialog)
    return false;
  const std::optional<SaveAsChoice> choice = state().dialog(suggestedPath);
  if (!choice || choice->path.empty())
    return false;
  const int filter = std::clamp(choice->filterIndex, 1, static_cast<int>(kSaveAsBitmap));
  std::u16string path = choice->path;
  if (model::fileTypeOf(path) == model::kFileUnsupported) {
    path += u'.';
    path += kSaveAsTypes[filter - 1].extension;
  }
  const int type = model::fileTypeOf(path);
  const std::u16string_view name = model::fileNamePart(path);
  for (int i = 0; i < list.count(); ++i) {
    if (&list.at(i) != book && platform::equalsIgnoreCase(model::fileNamePart(list.at(i).path), name)) {
      showCaptioned(kMessageSameNameOpen);
      return false;
    }
  }
  if (type == model::kFileBmp && book->active().kind != model::SheetKind::Chart) {
    showCaptioned(kMessageNotAChart);
    return false;
  }
  const model::FileVersion before = book->fileVersion;
  setVersionFields(*book, type, filter == kSaveAsExcel95);
  if (!saveWorkbookFile(list, path, true)) {
    book->fileVersion = before;
    return false;
  }
  if (type != model::kFileBmp) {
    book->path = path;
    add_recent_file(path);
    platform::ui().requestRepaint(platform::kRepaintTitle | platform::kRepaintGrid);
  }
  return true;
}

// ---- recent files ----

RecentFiles& recentFiles() {
  static RecentFiles files;
  return files;
}

void add_recent_file(const std::u16string& path) {
  auto& slots = recentFiles().slots;
  int found = -1;
  for (int k = 0; k < kRecentFileSlots && !slots[static_cast<size_t>(k)].empty(); ++k)
    if (samePath(slots[static_cast<size_t>(k)], path)) {
      found = k;
      break;
    }
  const int last = found >= 0 ? found : kRecentFileSlots - 1;
  for (int k = last; k > 0; --k)
    slots[static_cast<size_t>(k)] = std::move(slots[static_cast<size_t>(k - 1)]);
  slots[0] = path;
}

void remove_recent_file(int slot) {
  if (slot < 0 || slot >= kRecentFileSlots)
    return;
  auto& slots = recentFiles().slots;
  for (int k = slot; k + 1 < kRecentFileSlots; ++k)
    slots[static_cast<size_t>(k)] = std::move(slots[static_cast<size_t>(k + 1)]);
  slots[kRecentFileSlots - 1].clear();
}

void load_recent_files(const platform::SettingsStore& store) {
  RecentFiles loaded;
  int used = 0;
  for (int n = 1; n <= kRecentFileSlots; ++n) {
    const std::optional<std::u16string> v = store.value(kRecentFilesGroup, u"File" + decimal(n));
    // Empty values are holes; packing keeps the used slots first.
    if (v && !v->empty())
      loaded.slots[static_cast<size_t>(used++)] = *v;
  }
  recentFiles() = std::move(loaded);
}

void save_recent_files(platform::SettingsStore& store) {
  const auto& slots = recentFiles().slots;
  for (int n = 1; n <= kRecentFileSlots; ++n)
    store.setValue(kRecentFilesGroup, u"File" + decimal(n), slots[static_cast<size_t>(n - 1)]);
  store.flush();
}

bool open_recent_file(model::WorkbookList& list, int slot) {
  if (slot < 0 || slot >= kRecentFileSlots)
    return false;
  const std::u16string path = recentFiles().slots[static_cast<size_t>(slot)];
  if (path.empty())
    return false;
  if (list.open_workbook(path, true))
    return true;
  remove_recent_file(slot);
  return false;
}

} // namespace fileformats
