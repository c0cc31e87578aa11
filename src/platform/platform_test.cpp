#include "platform/clock.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/text_metrics.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <new>

namespace platform {
namespace {

TEST(Clock, FixedClockIsInstalledAndRemoved) {
  LocalTime t;
  t.year = 2024, t.month = 2, t.day = 29, t.hour = 13, t.minute = 45, t.second = 7;
  FixedClock fixed(t);
  setClock(&fixed);
  EXPECT_EQ(&clock(), &fixed);
  EXPECT_EQ(clock().now().year, 2024);
  EXPECT_EQ(clock().now().day, 29);
  EXPECT_EQ(clock().tickCountMs(), 0u);
  fixed.advanceTicks(1500);
  fixed.advanceTicks(25);
  EXPECT_EQ(clock().tickCountMs(), 1525u);
  t.hour = 0;
  fixed.set(t);
  EXPECT_EQ(clock().now().hour, 0);
  setClock(nullptr);
  EXPECT_NE(&clock(), &fixed);
  const LocalTime now = clock().now();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_LE(now.millisecond, 999);
  const auto before = clock().tickCountMs();
  EXPECT_GE(clock().tickCountMs(), before);
}

TEST(Memory, StatusReadsTheMachine) {
  const MemoryStatus status = memoryStatus();
  EXPECT_GT(status.totalPhysical, 0u);
  EXPECT_LE(status.availablePhysical, status.totalPhysical);
  EXPECT_GT(status.totalVirtual, 0u);
  EXPECT_LE(status.availableVirtual, status.totalVirtual);
}

TEST(Memory, AllocationFailureIsReportedOnceAndFails) {
  HeadlessUiServices headless;
  ScopedUiServices scope(headless);
  bool ranPastThrow = false;
  EXPECT_FALSE(withAllocation([&] {
    throw std::bad_alloc();
    ranPastThrow = true;
  }));
  EXPECT_FALSE(ranPastThrow);
  ASSERT_EQ(headless.shown().size(), 1u);
  EXPECT_EQ(headless.shown()[0].text, u"Insufficient memory");
  EXPECT_FALSE(headless.shown()[0].caption.has_value());
  EXPECT_EQ(headless.shown()[0].buttons, MessageButtons::Ok);

  headless.clearShown();
  int runs = 0;
  EXPECT_TRUE(withAllocation([&] { ++runs; }));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(headless.shown().empty());
}

TEST(Files, WholeFilesOfEverySizeRoundTripAndReplaceTheOld) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "cellwick_files_test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::u16string path = fromUtf8((dir / "f.bin").string());
  // Around the sizes where a reader's buffers turn over.
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537},
                      size_t{1} << 20}) {
    std::vector<std::uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
      bytes[i] = static_cast<std::uint8_t>(i * 7 + size);
    ASSERT_TRUE(replaceFileAtomically(path, bytes));
    FileBytes back;
    ASSERT_TRUE(readWholeFile(path, back)) << size;
    EXPECT_TRUE(std::ranges::equal(back.bytes(), bytes)) << size;
  }
  // Nothing but the file itself is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  FileBytes missing;
  ASSERT_TRUE(readWholeFile(path, missing));
  EXPECT_FALSE(readWholeFile(fromUtf8((dir / "absent.bin").string()), missing));
  EXPECT_TRUE(missing.bytes().empty());
  // A folder that cannot take the temporary file leaves the old file alone.
  EXPECT_FALSE(replaceFileAtomically(fromUtf8((dir / "no" / "f.bin").string()),
                                     std::vector<std::uint8_t>{1}));
  fs::remove_all(dir);
}

// Replacing keeps what the old file was: its permissions, and a symbolic
// link stays a link to the file that now holds the new bytes.
TEST(Files, ReplacingKeepsPermissionsAndSymbolicLinks) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "cellwick_files_keep_test";
  fs::remove_all(dir);
  fs::create_directories(dir / "real");
  const fs::path file = dir / "real" / "book.xls";
  const std::vector<std::uint8_t> first{1, 2, 3}, second{4, 5, 6, 7};
  ASSERT_TRUE(replaceFileAtomically(fromUtf8(file.string()), first));
  const fs::perms kModes[] = {fs::perms::owner_read | fs::perms::owner_write,
                              fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read,
                              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_write};
  for (const fs::perms mode : kModes) {
    fs::permissions(file, mode);
    ASSERT_TRUE(replaceFileAtomically(fromUtf8(file.string()), second));
    EXPECT_EQ(fs::status(file).permissions(), mode);
  }
  const fs::path link = dir / "link.xls";
  fs::create_symlink(file, link);
  ASSERT_TRUE(replaceFileAtomically(fromUtf8(link.string()), first));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  FileBytes back;
  ASSERT_TRUE(readWholeFile(fromUtf8(file.string()), back));
  EXPECT_TRUE(std::ranges::equal(back.bytes(), first));
  // A relative link to a link, saved through the outer one.
  const fs::path outer = dir / "outer.xls";
  fs::create_symlink("link.xls", outer);
  ASSERT_TRUE(replaceFileAtomically(fromUtf8(outer.string()), second));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(outer)));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  ASSERT_TRUE(readWholeFile(fromUtf8(file.string()), back));
  EXPECT_TRUE(std::ranges::equal(back.bytes(), second));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

TEST(UiServices, ScopedServicesRestoreThePrevious) {
  UiServices *const before = &ui();
  HeadlessUiServices outer, inner;
  {
    ScopedUiServices a(outer);
    EXPECT_EQ(&ui(), &outer);
    {
      ScopedUiServices b(inner);
      EXPECT_EQ(&ui(), &inner);
    }
    EXPECT_EQ(&ui(), &outer);
  }
  EXPECT_EQ(&ui(), before);
}

TEST(UiServices, SafeDefaultAnswerChangesNothing) {
  const struct {
    MessageButtons buttons;
    MessageAnswer answer;
  } kRows[] = {
      {MessageButtons::Ok, MessageAnswer::Ok},
      {MessageButtons::OkCancel, MessageAnswer::Cancel},
      {MessageButtons::YesNo, MessageAnswer::No},
      {MessageButtons::YesNoCancel, MessageAnswer::Cancel},
      {MessageButtons::RetryCancel, MessageAnswer::Cancel},
      {MessageButtons::AbortRetryIgnore, MessageAnswer::Abort},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(safeDefaultAnswer(row.buttons), row.answer) << static_cast<int>(row.buttons);
  // Win32's numbering, which stored answers use.
  EXPECT_EQ(static_cast<int>(MessageAnswer::Ok), 1);
  EXPECT_EQ(static_cast<int>(MessageAnswer::Yes), 6);
  EXPECT_EQ(static_cast<int>(MessageAnswer::No), 7);
}

TEST(UiServices, HeadlessAnswersFromTheScriptThenDefaults) {
  HeadlessUiServices headless;
  headless.queueAnswer(MessageAnswer::Yes);
  headless.queueAnswer(MessageAnswer::Retry);
  EXPECT_EQ(headless.messageBox(u"Save?", u"Cellwick", MessageButtons::YesNoCancel,
                                MessageIcon::Question),
            MessageAnswer::Yes);
  EXPECT_EQ(
      headless.messageBox(u"Disk", std::nullopt, MessageButtons::RetryCancel, MessageIcon::Error),
      MessageAnswer::Retry);
  EXPECT_EQ(headless.messageBox(u"Again?", std::nullopt, MessageButtons::YesNo, MessageIcon::None),
            MessageAnswer::No); // script used up
  ASSERT_EQ(headless.shown().size(), 3u);
  EXPECT_EQ(headless.shown()[0].text, u"Save?");
  EXPECT_EQ(headless.shown()[0].caption, std::u16string(u"Cellwick"));
  EXPECT_EQ(headless.shown()[0].icon, MessageIcon::Question);
  EXPECT_EQ(headless.shown()[1].answer, MessageAnswer::Retry);
  EXPECT_FALSE(headless.shown()[2].caption.has_value());
  EXPECT_EQ(headless.shown()[2].answer, MessageAnswer::No);
}

TEST(UiServices, HeadlessTracksCursorRepaintsAndSaveButton) {
  HeadlessUiServices headless;
  EXPECT_FALSE(headless.waitCursor());
  headless.setWaitCursor(true);
  headless.setWaitCursor(true);
  headless.setWaitCursor(false);
  EXPECT_TRUE(headless.waitCursor()); // nested: one on is still pending
  headless.setWaitCursor(false);
  headless.setWaitCursor(false); // an extra off does not go below zero
  EXPECT_FALSE(headless.waitCursor());
  headless.setWaitCursor(true);
  EXPECT_TRUE(headless.waitCursor());

  headless.requestRepaint(kRepaintGrid);
  headless.requestRepaint(kRepaintTitle);
  EXPECT_EQ(headless.repaints(), kRepaintGrid | kRepaintTitle);
  headless.clearRepaints();
  EXPECT_EQ(headless.repaints(), 0u);

  headless.enableSaveButton(true);
  EXPECT_TRUE(headless.saveEnabled());
  headless.enableSaveButton(false);
  EXPECT_FALSE(headless.saveEnabled());
}

// Expected values worked out by hand: a*b/c, halves rounded away from zero.
TEST(TextMetrics, MulDivRoundsHalfAwayFromZero) {
  const struct {
    int a, b, c, expected;
  } kRows[] = {
      {10, 10, 3, 33}, // 33.33
      {20, 10, 3, 67}, // 66.67
      {5, 1, 2, 3},    // 2.5
      {-5, 1, 2, -3},  // -2.5
      {5, -1, 2, -3},
      {5, 1, -2, -3},
      {-5, -1, -2, -3}, // three negatives make a negative
      {-5, -1, 2, 3},
      {7, 1, 2, 4}, // 3.5
      {3, 1, 4, 1}, // 0.75
      {1, 1, 4, 0}, // 0.25
      {-1, 1, 4, 0},
      {0, 100, 7, 0},
      {1, 1, 0, -1}, // division by zero
      {0, 0, 0, -1},
      {-7, 3, 0, -1},
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, // the product needs 64 bits
      {INT_MAX, 2, 4, 1073741824},          // 1073741823.5
      {65536, 65536, 65536, 65536},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(mulDiv(row.a, row.b, row.c), row.expected)
        << row.a << " * " << row.b << " / " << row.c;
}

TEST(TextMetrics, FixedMetricsScaleWithHeight) {
  const FixedTextMetrics metrics;
  EXPECT_EQ(metrics.logicalPixelsPerInch(), 96);
  const FontSpec tenPoint = metrics.defaultFont();
  EXPECT_EQ(tenPoint.face, u"Arial");
  EXPECT_EQ(tenPoint.heightTwips, 200);
  EXPECT_EQ(metrics.fontMetrics(tenPoint).heightPx, 16);
  EXPECT_EQ(metrics.fontMetrics(tenPoint).internalLeadingPx, 3);
  EXPECT_EQ(metrics.textWidthPx(tenPoint, u"abcd"), 28);
  FontSpec twentyPoint = tenPoint;
  twentyPoint.heightTwips = 400;
  EXPECT_EQ(metrics.fontMetrics(twentyPoint).heightPx, 32);
  EXPECT_EQ(metrics.textWidthPx(twentyPoint, u"ab"), 28);
  EXPECT_EQ(&textMetrics(), &textMetrics());
}

} // namespace
} // namespace platform
