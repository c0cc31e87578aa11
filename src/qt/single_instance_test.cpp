#include "qt/single_instance.h"

#include "app/messages.h"
#include "model/sheet.h"
#include "qt/app_setup.h"
#include "qt/main_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

// Fontconfig and Qt's platform plugin keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\n";
}

namespace qtui {
namespace {

class InstanceTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!std::getenv("QT_QPA_PLATFORM"))
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "qt_instance_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
      new QApplication(argc, argv);
  }

  InstanceTest() {
    const QString test = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    dir = QDir::temp().filePath(QStringLiteral("cellwick_instance_%1_%2").arg(::getpid()).arg(test));
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    socketName = QDir(dir).filePath(QStringLiteral("socket"));
  }
  ~InstanceTest() override { QDir(dir).removeRecursively(); }

  // Runs `client` on its own thread while this one serves the socket.
  template <typename F> void whileServing(F client) {
    std::atomic<bool> done = false;
    std::thread t([&] {
      client();
      done = true;
    });
    const QDeadlineTimer deadline(20000);
    while (!done && !deadline.hasExpired())
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    t.join();
    QApplication::processEvents();
  }

  QString makeCsv(const QString& name) {
    const QString path = QDir(dir).filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1,2\r\n");
    return path;
  }

  QString dir;
  QString socketName;
};

TEST_F(InstanceTest, RequestsDecodeToThePathsSent) {
  const QStringList cases[] = {
      {},
      {QStringLiteral("/home/用户/季度 数据.xls")},
      {QStringLiteral("/a b/c.csv"), QString(), QStringLiteral("/tmp/x.pxl")},
  };
  for (const QStringList& paths : cases) {
    const QByteArray wire = encodeHandOver(paths);
    QStringList decoded{QStringLiteral("left over")};
    bool bad = true;
    ASSERT_TRUE(decodeHandOver(wire, decoded, bad)) << paths.join(u'|').toStdString();
    EXPECT_FALSE(bad);
    EXPECT_EQ(decoded, paths);
    // Every shorter prefix is an unfinished request, never a bad one.
    for (qsizetype n = 0; n < wire.size(); ++n) {
      EXPECT_FALSE(decodeHandOver(wire.first(n), decoded, bad)) << n;
      EXPECT_FALSE(bad) << n;
    }
  }
}

TEST_F(InstanceTest, ForeignBytesAreRefused) {
  QByteArray tooLong("CWK1\x00\x20\x00\x01", 8); // a 2 MiB payload announced
  QByteArray trailing = encodeHandOver({QStringLiteral("/a.xls")}) + "x";
  QByteArray unterminated("CWK1\x00\x00\x00\x02/a", 10);
  const QByteArray cases[] = {QByteArray("GET / HTTP/1.0\r\n"), QByteArray("X"), QByteArray("CWK2"),
                              tooLong, trailing, unterminated};
  for (const QByteArray& bytes : cases) {
    QStringList paths;
    bool bad = false;
    EXPECT_FALSE(decodeHandOver(bytes, paths, bad)) << bytes.toStdString();
    EXPECT_TRUE(bad) << bytes.toStdString();
  }
}

TEST_F(InstanceTest, FilesReachTheRunningProgram) {
  std::vector<QStringList> received;
  InstanceServer server([&](const QStringList& paths) { received.push_back(paths); });
  ASSERT_TRUE(server.listen(socketName));
  const QStringList sent = {QStringLiteral("/home/用户/季度 数据.xls"), QStringLiteral("/tmp/b c.csv")};
  HandOver taken = HandOver::NoProgram, takenEmpty = HandOver::NoProgram;
  whileServing([&] {
    taken = handFilesOver(socketName, sent);
    takenEmpty = handFilesOver(socketName, {});
  });
  EXPECT_EQ(taken, HandOver::Taken);
  EXPECT_EQ(takenEmpty, HandOver::Taken);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], sent);
  EXPECT_EQ(received[1], QStringList());
}

TEST_F(InstanceTest, NoRunningProgramMeansOpenHere) {
  EXPECT_EQ(handFilesOver(socketName, {QStringLiteral("/a.xls")}, 500), HandOver::NoProgram);
  EXPECT_EQ(handFilesOver(QString(), {QStringLiteral("/a.xls")}, 500), HandOver::NoProgram);
}

TEST_F(InstanceTest, APeerSpeakingAnotherProtocolIsDropped) {
  int calls = 0;
  InstanceServer server([&](const QStringList&) { ++calls; });
  ASSERT_TRUE(server.listen(socketName));
  bool dropped = false;
  whileServing([&] {
    QLocalSocket socket;
    socket.connectToServer(socketName);
    if (!socket.waitForConnected(5000))
      return;
    socket.write("GET / HTTP/1.0\r\n\r\n");
    socket.waitForBytesWritten(5000);
    dropped = socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(5000);
  });
  EXPECT_TRUE(dropped);
  EXPECT_EQ(calls, 0);
}

TEST_F(InstanceTest, ASocketLeftByAnEndedProgramIsTakenOver) {
  // A program that crashed leaves its socket file with nobody behind it.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const QByteArray path = QFile::encodeName(socketName);
  ASSERT_LT(static_cast<size_t>(path.size()), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
  ASSERT_TRUE(QFile::exists(socketName));

  EXPECT_EQ(handFilesOver(socketName, {QStringLiteral("/a.xls")}, 500), HandOver::NoProgram);
  std::vector<QStringList> received;
  InstanceServer server([&](const QStringList& paths) { received.push_back(paths); });
  ASSERT_FALSE(joinRunningProgram(socketName, {QStringLiteral("/first.xls")}, server, 500));
  HandOver taken = HandOver::NoProgram;
  whileServing([&] { taken = handFilesOver(socketName, {QStringLiteral("/a.xls")}); });
  EXPECT_EQ(taken, HandOver::Taken);
  EXPECT_EQ(received.size(), 1u);
}

TEST_F(InstanceTest, AProgramThatDoesNotAnswerKeepsItsName) {
  // It listens, but its event loop is busy: connections wait unanswered.
  QLocalServer busy;
  ASSERT_TRUE(busy.listen(socketName));
  EXPECT_EQ(handFilesOver(socketName, {QStringLiteral("/a.xls")}, 300), HandOver::NoAnswer);

  int calls = 0;
  InstanceServer server([&](const QStringList&) { ++calls; });
  EXPECT_FALSE(joinRunningProgram(socketName, {QStringLiteral("/a.xls")}, server, 300));
  // Take the unanswered connections off its queue.
  while (busy.waitForNewConnection(100))
    while (QLocalSocket* s = busy.nextPendingConnection())
      delete s;
  // A later start still reaches the busy program, not this one.
  QLocalSocket probe;
  probe.connectToServer(socketName);
  ASSERT_TRUE(probe.waitForConnected(1000));
  EXPECT_TRUE(busy.waitForNewConnection(1000));
  EXPECT_EQ(calls, 0);
}

TEST_F(InstanceTest, StartsAtTheSameMomentTakeTurns) {
  // This start has found no program and holds the lock until it listens; a
  // start made meanwhile must wait for it and hand its file over rather
  // than find nobody and open a window of its own.
  QLockFile lock(socketName + QStringLiteral(".lock"));
  ASSERT_TRUE(lock.tryLock(0));
  std::vector<QStringList> received;
  InstanceServer first([&](const QStringList& paths) { received.push_back(paths); });
  std::atomic<int> joined = -1;
  std::thread second([&] {
    InstanceServer own([](const QStringList&) {});
    joined = joinRunningProgram(socketName, {QStringLiteral("/b.xls")}, own, 5000) ? 1 : 0;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(joined, -1) << "the second start did not wait for the first";
  ASSERT_TRUE(first.listen(socketName));
  lock.unlock();
  const QDeadlineTimer deadline(10000);
  while (joined < 0 && !deadline.hasExpired())
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  second.join();
  EXPECT_EQ(joined, 1);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], QStringList{QStringLiteral("/b.xls")});
}

TEST_F(InstanceTest, HeadlessPlatformsDoNotShareOneProgram) {
  // These tests run on the offscreen platform, where every start stands alone.
  EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  EXPECT_TRUE(instanceSocketName().isEmpty());
}

TEST_F(InstanceTest, HandedFilesOpenInTheWindowOnceTheEntryIsDone) {
  model::WorkbookList books;
  installAppServices(books);
  ASSERT_TRUE(books.new_workbook(nullptr));
  auto window = std::make_unique<MainWindow>(books);
  window->show();
  auto* opener = new HandedFileOpener(*window);
  const QString spaced = makeCsv(QStringLiteral("季度 数据.csv"));

  // A cell entry is open: the file waits rather than pulling the workbook away.
  window->post(app::WM_CHAR, u'7', 0);
  ASSERT_NE(window->app().editMode, app::EditMode::None);
  opener->enqueue({spaced});
  const QDeadlineTimer shortWait(600);
  while (!shortWait.hasExpired())
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(books.count(), 1);

  window->post(app::WM_KEYDOWN, app::VK_RETURN, 0, true);
  ASSERT_EQ(window->app().editMode, app::EditMode::None);
  const QDeadlineTimer deadline(5000);
  while (books.count() < 2 && !deadline.hasExpired())
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(books.count(), 2);
  EXPECT_EQ(books.active()->path, spaced.toStdU16String());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Cellwick - 季度 数据.csv"));
  const model::CellRecord* typed = model::cell_at(books.at(0).active(), 0, 0);
  ASSERT_NE(typed, nullptr) << "the entry stays in the first workbook";
  EXPECT_EQ(std::u16string(typed->input.view()), u"7");

  // An empty request is a start without a file: New, in this window.
  opener->enqueue({});
  const QDeadlineTimer again(5000);
  while (books.count() < 3 && !again.hasExpired())
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(books.count(), 3);
}

} // namespace
} // namespace qtui
