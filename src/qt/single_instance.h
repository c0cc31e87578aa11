#pragma once
// One program per display: a later start of the desktop program hands its
// files over a local socket to the one already running there, which opens
// them in its own workbook list.

#include <QObject>
#include <QStringList>

#include <functional>

class QLocalServer;
class QTimer;

namespace qtui {

class MainWindow;

/// The socket the instances of this user on this display share, or empty
/// where starts should not meet (a headless platform such as offscreen).
/// Under XDG_RUNTIME_DIR when set, else a per-user name in the temp folder.
QString instanceSocketName();

/// What came of handing files to a running program.
enum class HandOver {
  Taken,     ///< the running program has queued them
  NoProgram, ///< nobody listens on the name (or the socket is not ours)
  NoAnswer,  ///< a program took the connection but did not take the files
};

/// Hands `paths` (absolute; empty asks for a new workbook) to the program
/// listening on `socketName`. A program busy opening a large workbook
/// answers only when it is done, so the wait for its answer is long; a name
/// nobody listens on fails at once.
HandOver handFilesOver(const QString& socketName, const QStringList& paths, int timeoutMs = 30000);

class InstanceServer;

/// A start of the program: hands `paths` to the program running on
/// `socketName` and returns true once it has taken them. Otherwise makes
/// `server` listen on the name, so later starts find this one, and returns
/// false: this start opens the files itself. A program that holds the name
/// but does not answer keeps it. Starts made at the same moment (several
/// files opened at once from the file manager) take turns through a lock
/// file beside the socket, so the first to listen gets the others' files.
bool joinRunningProgram(const QString& socketName, const QStringList& paths, InstanceServer& server,
                        int timeoutMs = 30000);

/// The running program's side: listens for handed-over files and passes
/// each request's paths on, on the GUI thread.
class InstanceServer final : public QObject {
public:
  using Receiver = std::function<void(const QStringList& paths)>;
  explicit InstanceServer(Receiver receiver, QObject* parent = nullptr);
  ~InstanceServer() override;

  /// Starts listening; a socket left behind by a program that ended is
  /// replaced. False when the name cannot be taken (another program holds
  /// it, or the folder refuses): starts then simply open their own windows.
  bool listen(const QString& socketName);

private:
  void accept();

  Receiver m_receiver;
  QLocalServer* m_server = nullptr;
};

/// Opens handed-over files in `window`, one by one as Open would, once no
/// dialog is up and no cell is being edited; then raises the window.
class HandedFileOpener final : public QObject {
public:
  explicit HandedFileOpener(MainWindow& window);
  void enqueue(const QStringList& paths);

private:
  void openPending();

  MainWindow& m_window;
  QStringList m_pending;
  QTimer* m_retry = nullptr;
  bool m_opening = false;
};

/// The request on the wire: a magic, a byte count, then the paths in UTF-8,
/// each ended by a NUL (a path cannot hold one). Shared with the tests.
QByteArray encodeHandOver(const QStringList& paths);
/// Decodes a whole request. False while `bytes` is incomplete; `bad` is set
/// when it can never become a request (wrong magic, over the size limit).
bool decodeHandOver(const QByteArray& bytes, QStringList& paths, bool& bad);

} // namespace qtui
