#pragma once
// Between the File commands and the format readers and writers: the file
// type by extension, the refusals and their messages, the version fields a
// file type implies, and the list of recently opened files.

#include "model/workbook_list.h"
#include "platform/bitmap.h"
#include "platform/settings.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fileformats {

inline constexpr std::u16string_view kMessageCannotSaveFile = u"可能其他程序正用，无法保存文件为\n%s";
inline constexpr std::u16string_view kMessageMultipleSheets =
    u"The selected file type does not support workbooks that contain multiple sheets.\n"
    u"To save only the active sheet, click OK.";
inline constexpr std::u16string_view kMessageSameNameOpen =
    u"You cannot save this file with the same name as another open file";
/// Asked once before an Excel 95 save of a workbook that holds more than
/// that format can; %s lists what other programs will not read.
inline constexpr std::u16string_view kMessageExcel95Limits =
    u"Excel 95 格式只能保存 16,384 行，以下内容其他程序将无法读取：%s。是否继续？";
inline constexpr std::u16string_view kExcel95LostRows = u"第 16,385 行以后的单元格";
inline constexpr std::u16string_view kExcel95LostShapes = u"自选图形";
inline constexpr std::u16string_view kExcel95LostStartArrows = u"线条起点的箭头";
inline constexpr std::u16string_view kExcel95LostPictureFormats = u"JPEG、PNG 和 EMF 图片的原格式（存为位图）";
inline constexpr std::u16string_view kExcel95LostPictureFills = u"图形的图片和纹理填充（存为单色）";
inline constexpr std::u16string_view kExcel95LostCharacters = u"工作簿代码页中没有的字符（存为“?”）";
inline constexpr std::u16string_view kMessageNotAChart =
    u"当前工作表不是图表，\n只有统计图可另存为位图文件。";

/// The Save As dialog's file types, by filter index (1-based).
enum SaveAsType : int {
  kSaveAsExcel97 = 1, kSaveAsExcel95 = 2, kSaveAsPocket = 3, kSaveAsCsv = 4,
  kSaveAsText = 5, kSaveAsTemplate = 6, kSaveAsBitmap = 7,
};

struct SaveAsTypeEntry {
  std::u16string_view label;
  std::u16string_view extension;
};
// clang-format off
inline constexpr SaveAsTypeEntry kSaveAsTypes[] = {
  {u"Excel 97 工作簿文件 (*.xls)",   u"xls"},
  {u"Excel 95 工作簿文件 (*.xls)",   u"xls"},
  {u"Pocket Excel 2.0 (*.pxl)",      u"pxl"},
  {u"逗号分隔符文件 (*.csv)",        u"csv"},
  {u"制表符分隔文本文件 (*.txt)",    u"txt"},
  {u"Excel 97 模板文件 (*.xlt)",     u"xlt"},
  {u"位图文件 (*.bmp)",              u"bmp"},
};
// clang-format on
static_assert(std::size(kSaveAsTypes) == kSaveAsBitmap);

inline constexpr std::u16string_view kOpenFilterName = u"所有电子表格";
inline constexpr std::u16string_view kOpenFilterPattern = u"*.xls;*.pxl;*.csv;*.txt;*.xlt";

/// What the save dialog answered: the name typed and the type chosen.
struct SaveAsChoice {
  std::u16string path;
  int filterIndex = kSaveAsExcel97;
};
/// Shows the save dialog (the seven types, `suggested` as the initial name,
/// the overwrite prompt on, "xls" as default extension); nullopt on Cancel.
using SaveAsDialog = std::function<std::optional<SaveAsChoice>(std::u16string_view suggested)>;

/// Installs the flow into the model's services (readWorkbookFile,
/// saveWorkbook, addRecentFile) for `list`, with the dialog Save As uses.
/// A null dialog makes every Save As a cancelled one.
void installFileServices(model::WorkbookList& list, SaveAsDialog dialog);

/// Reads a file into a new workbook (default tables, no sheets) by its
/// type; shows the reader's message on failure.
[[nodiscard]] bool readWorkbookFile(model::Workbook& book, const std::u16string& path,
                                    int fileType);

/// Writes a workbook to `path` in the format of `fileType` through a
/// temporary file; BIFF5 when its version fields say version 7. No message.
[[nodiscard]] bool writeWorkbookFile(model::Workbook& book, const std::u16string& path,
                                     int fileType);

/// Sets the version fields a Save As type implies for a file of `fileType`.
void setVersionFields(model::Workbook& book, int fileType, bool excel95);

/// The Open command's flow (through WorkbookList::open_workbook).
[[nodiscard]] bool openWorkbookFile(model::WorkbookList& list, std::u16string_view path,
                                    bool addToRecent);

/// Saves the active workbook under `path`. A template from a plain Save and
/// a name of no known type go through Save As instead.
[[nodiscard]] bool saveWorkbookFile(model::WorkbookList& list, const std::u16string& path,
                                    bool fromSaveAs);

/// The Save As command.
[[nodiscard]] bool saveWorkbookAs(model::WorkbookList& list, std::u16string_view suggestedPath);

/// The picture a .bmp save writes: the workbook's active chart sheet drawn
/// as its window shows it, or nullopt when it cannot be drawn. The window
/// installs it, since it knows the chart's area; without one a .bmp save is
/// refused as a type this program cannot write.
using ChartPicture = std::function<std::optional<platform::Bitmap>(model::Workbook&)>;
void setChartPicture(ChartPicture picture);

// ---- recent files ----

inline constexpr int kRecentFileSlots = 9;
inline constexpr std::u16string_view kRecentFilesGroup = u"Recent files";

/// Nine slots, the most recent first; an empty string is an empty slot, and
/// the used slots come before the empty ones.
struct RecentFiles {
  std::array<std::u16string, kRecentFileSlots> slots;
};
RecentFiles& recentFiles();

/// Moves a path to slot 0, dropping the oldest when all nine are used. Paths
/// compare as the file system does: exactly on Linux, without regard to case
/// on Windows.
void add_recent_file(const std::u16string& path);
/// Frees a slot; the following slots move up one.
void remove_recent_file(int slot);
/// Reads "File1".."File9" of the "Recent files" group (missing values leave
/// the slots empty).
void load_recent_files(const platform::SettingsStore& store);
/// Writes all nine values, an empty string for an empty slot.
void save_recent_files(platform::SettingsStore& store);
/// Opens the path of a slot; when that fails the slot is removed.
[[nodiscard]] bool open_recent_file(model::WorkbookList& list, int slot);

} // namespace fileformats
