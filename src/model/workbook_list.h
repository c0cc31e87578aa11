#pragma once
// The open workbooks of the program: creating, opening, activating and
// closing them, and the "Book%d" names of new ones.

#include "model/workbook.h"

#include <memory>
#include <string>
#include <vector>

namespace model {

inline constexpr std::u16string_view kProductName = u"Cellwick";
inline constexpr std::u16string_view kMessageUnsupportedFileType = u"文件类型不支持！";
inline constexpr std::u16string_view kMessageCannotOpenFile = u"可能其他程序正用，无法打开文件\n%s";
/// A file whose records are damaged is refused with this message.
inline constexpr std::u16string_view kMessageInvalidData = u"文件中含有无效数据！";
inline constexpr std::u16string_view kMessageSaveChanges = u"你是否要将这次的修改保存到文件 '%s' 中？";

/// File types by extension.
enum FileType : int {
  kFileCsv = 0, kFilePocket = 1, kFileXls = 2, kFileXlt = 3, kFileBmp = 4, kFileText = 5,
  kFileUnsupported = 6,
};

/// The type of a path by its extension (case-insensitive): the name must be at
/// least 5 characters with "." four from the end.
FileType fileTypeOf(std::u16string_view path);

/// Replaces the first "%s" of a message with the argument.
std::u16string formatMessage(std::u16string_view message, std::u16string_view argument);

class WorkbookList {
public:
  WorkbookList();
  ~WorkbookList();
  WorkbookList(const WorkbookList&) = delete;
  WorkbookList& operator=(const WorkbookList&) = delete;

  /// The workbooks open in the program, counted over every list (INFO).
  static int openWorkbookCount();
  /// An open workbook of any list by its id, or null once it has closed.
  static const Workbook* findOpen(std::uint64_t id);
  /// The list a workbook is open in, or null.
  static WorkbookList* holding(const Workbook& book);

  int count() const { return static_cast<int>(m_books.size()); }
  int activeIndex() const { return m_active; }
  Workbook* active() { return m_active >= 0 ? m_books[static_cast<size_t>(m_active)].get() : nullptr; }
  Workbook& at(int i) { return *m_books[static_cast<size_t>(i)]; }
  const Workbook& at(int i) const { return *m_books[static_cast<size_t>(i)]; }

  /// Creates a workbook with the default tables and one worksheet, named
  /// `path` or the next "Book%d", and makes it active. On failure nothing
  /// changes.
  [[nodiscard]] bool new_workbook(const std::u16string* path);

  /// The New command: opens "Book.xlt" from `programDirectory` when it exists
  /// (not added to the recent list) and names it "Book%d"; else new_workbook.
  [[nodiscard]] bool new_from_template(std::u16string_view programDirectory);

  /// Opens a file; an open workbook of the same file name is activated
  /// instead. Messages for unsupported types and unreadable files.
  [[nodiscard]] bool open_workbook(std::u16string_view path, bool addToRecent);

  /// Makes another workbook active (running the deactivate and activate macros).
  void activate_workbook(int index);

  /// Closes the active workbook, asking to save changes first. Returns true
  /// when the user cancelled (the workbook stays open).
  bool close_workbook();

  /// The product name, then " - " and the active workbook's file name.
  std::u16string windowTitle() const;

  /// The counter behind "Book%d": the number the last new name used.
  int bookCounter() const { return m_bookCounter; }

private:
  std::u16string nextBookName();

  std::vector<std::unique_ptr<Workbook>> m_books;
  int m_active = -1;
  int m_bookCounter = 0;
};

} // namespace model
