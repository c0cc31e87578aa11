#include "qt/single_instance.h"

#include "app/frame.h"
#include "qt/main_window.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace qtui {
namespace {

constexpr char kMagic[4] = {'C', 'W', 'K', '1'};
constexpr qsizetype kHeaderSize = 8;
// Far above any real list of paths; a peer sending more is not one of us.
constexpr quint32 kMaxPayload = 1u << 20;
constexpr char kTaken = 'K';

QString sanitized(QString s) {
  for (QChar& c : s)
    if (!(c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_'))
      c = u'_';
  return s;
}

// A socket in the shared temp folder could have been put there by another
// user to catch our paths; trust only our own.
bool ownedByUs(const QString& socketName) {
#ifdef Q_OS_UNIX
  if (!QFileInfo(socketName).isAbsolute())
    return true;
  const QFileInfo info(socketName);
  return info.exists() && info.ownerId() == ::getuid();
#else
  (void)socketName;
  return true;
#endif
}

} // namespace

QString instanceSocketName() {
  const QString platform = QGuiApplication::platformName();
  QString display;
  if (platform == u"xcb")
    display = qEnvironmentVariable("DISPLAY");
  else if (platform.startsWith(u"wayland"))
    display = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
  else if (platform == u"windows" || platform == u"cocoa")
    display = platform;
  else
    return {}; // offscreen, minimal, vnc...: each start stands alone
  QString name = QStringLiteral("cellwick-") + sanitized(platform + u'-' + display);
#ifdef Q_OS_UNIX
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
    return QDir(runtime).filePath(name);
  name += u'-' + QString::number(::getuid());
  return QDir(QDir::tempPath()).filePath(name);
#else
  return name;
#endif
}

QByteArray encodeHandOver(const QStringList& paths) {
  QByteArray payload;
  for (const QString& p : paths) {
    payload += p.toUtf8();
    payload += '\0';
  }
  QByteArray out(kMagic, sizeof kMagic);
  char size[4];
  qToBigEndian(static_cast<quint32>(payload.size()), size);
  out.append(size, 4);
  out += payload;
  return out;
}

bool decodeHandOver(const QByteArray& bytes, QStringList& paths, bool& bad) {
  bad = false;
  const qsizetype magicSeen = std::min<qsizetype>(bytes.size(), sizeof kMagic);
  if (std::memcmp(bytes.constData(), kMagic, static_cast<size_t>(magicSeen)) != 0) {
    bad = true;
    return false;
  }
  if (bytes.size() < kHeaderSize)
    return false;
  const quint32 size = qFromBigEndian<quint32>(bytes.constData() + 4);
  if (size > kMaxPayload || bytes.size() > kHeaderSize + static_cast<qsizetype>(size)) {
    bad = true;
    return false;
  }
  if (bytes.size() < kHeaderSize + static_cast<qsizetype>(size))
    return false;
  paths.clear();
  const QByteArray payload = bytes.sliced(kHeaderSize);
  if (!payload.isEmpty() && !payload.endsWith('\0')) {
    bad = true;
    return false;
  }
  qsizetype start = 0;
  while (start < payload.size()) {
    const qsizetype end = payload.indexOf('\0', start);
    paths << QString::fromUtf8(payload.constData() + start, end - start);
    start = end + 1;
  }
  return true;
}

HandOver handFilesOver(const QString& socketName, const QStringList& paths, int timeoutMs) {
  if (socketName.isEmpty() || !ownedByUs(socketName))
    return HandOver::NoProgram;
  QLocalSocket socket;
  socket.connectToServer(socketName);
  if (!socket.waitForConnected(timeoutMs))
    return HandOver::NoProgram;
  socket.write(encodeHandOver(paths));
  if (!socket.waitForBytesWritten(timeoutMs))
    return HandOver::NoAnswer;
  // The answer comes once the running program has queued the files, so
  // without it they were not taken and this start must open them.
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(timeoutMs))
      return HandOver::NoAnswer;
  char answer = 0;
  return socket.read(&answer, 1) == 1 && answer == kTaken ? HandOver::Taken : HandOver::NoAnswer;
}

bool joinRunningProgram(const QString& socketName, const QStringList& paths, InstanceServer& server,
                        int timeoutMs) {
  if (socketName.isEmpty())
    return false;
  const QString lockName = socketName + QStringLiteral(".lock");
  QLockFile lock(QFileInfo(lockName).isAbsolute() ? lockName : QDir::temp().filePath(lockName));
  // A lock whose program has ended is taken over at once. A live holder
  // may wait out a program that does not answer, so only a lock older than
  // any such wait counts as left over; failing the lock, this start goes on
  // without it.
  lock.setStaleLockTime(4 * timeoutMs);
  (void)lock.tryLock(timeoutMs + 5000);
  switch (handFilesOver(socketName, paths, timeoutMs)) {
  case HandOver::Taken:
    return true;
  case HandOver::NoProgram:
    (void)server.listen(socketName);
    return false;
  case HandOver::NoAnswer:
    return false;
  }
  return false;
}

InstanceServer::InstanceServer(Receiver receiver, QObject* parent)
    : QObject(parent), m_receiver(std::move(receiver)), m_server(new QLocalServer(this)) {
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(m_server, &QLocalServer::newConnection, this, [this] { accept(); });
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString& socketName) {
  if (socketName.isEmpty())
    return false;
  if (m_server->listen(socketName))
    return true;
  if (m_server->serverError() != QAbstractSocket::AddressInUseError)
    return false;
  // Nobody answered on it (the caller tried first), so it is a leftover.
  QLocalServer::removeServer(socketName);
  return m_server->listen(socketName);
}

void InstanceServer::accept() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A peer that connects and never finishes its request is dropped.
    QTimer::singleShot(10000, socket, [socket] { socket->abort(); });
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      *buffer += socket->readAll();
      QStringList paths;
      bool bad = false;
      if (decodeHandOver(*buffer, paths, bad)) {
        buffer->clear();
        m_receiver(paths);
        socket->write(&kTaken, 1);
        socket->disconnectFromServer();
      } else if (bad) {
        socket->abort();
      }
    });
  }
}

HandedFileOpener::HandedFileOpener(MainWindow& window)
    : QObject(&window), m_window(window), m_retry(new QTimer(this)) {
  m_retry->setSingleShot(true);
  m_retry->setInterval(200);
  QObject::connect(m_retry, &QTimer::timeout, this, [this] { openPending(); });
}

void HandedFileOpener::enqueue(const QStringList& paths) {
  // An empty request is a start without a file: one New.
  m_pending += paths.isEmpty() ? QStringList{QString()} : paths;
  if (!m_retry->isActive())
    m_retry->start(0);
}

void HandedFileOpener::openPending() {
  if (m_pending.isEmpty())
    return;
  // Opening under a dialog or in the middle of a cell entry would change the
  // workbook they work on; wait until they are done.
  if (m_opening || QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
      m_window.app().editMode != app::EditMode::None) {
    m_retry->start();
    return;
  }
  m_opening = true;
  while (!m_pending.isEmpty()) {
    const QString path = m_pending.takeFirst();
    (void)app::open_handed_file(m_window.app(), path.toStdU16String());
  }
  m_opening = false;
  m_window.refresh();
  if (m_window.isMinimized())
    m_window.showNormal();
  m_window.raise();
  m_window.activateWindow();
}

} // namespace qtui
