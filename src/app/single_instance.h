// One program window per user, display and configuration. A later start (a file manager
// opening a playlist, say) hands its sources to the window already running, through a local
// socket in a folder only the user can enter, and exits.
//
// The socket lives in $XDG_RUNTIME_DIR/qelvu/, or /tmp/qelvu-<uid>/ when XDG_RUNTIME_DIR is unset
// (a folder the program makes, mode 0700, and refuses when someone else could have made it). A
// socket left behind by a crashed run answers no connect and is taken over. Every hand-off goes
// to the log category "qelvu.instance" (info level). Window's thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace qelvu {

class TSingleInstance {
 public:
  TSingleInstance();
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // Called in the running instance, from its event loop, with the sources a later start handed
  // over, in the order given there (each as SourceFromArgument made it). An empty list is a start
  // without sources: the window should come to the front.
  std::function<void(const QStringList& sources)> OnSources;

  // Hands `sources` to the instance that runs for this user, display and configuration, and
  // returns true: the caller then exits. Returns false when there is none (or no safe folder for
  // the socket): this process is then the instance, and later starts reach it.
  bool HandToRunningInstance(const QStringList& sources);

 private:
  void Accept();
  void Receive(QLocalSocket* socket);

  std::unique_ptr<QLocalServer> server_;
};

// A source named on the command line, as another process can read it: a local path made
// absolute (against this process's working folder), a file: URL as its local path, an http or
// https URL as written.
QString SourceFromArgument(const QString& argument);

// The folder for the instance's socket under `runtime_dir` (XDG_RUNTIME_DIR), or, when that is
// empty or relative, `<temp_dir>/qelvu-<uid>`; made when missing. Empty when the folder is not a
// real directory owned by this user and closed to everyone else.
QString InstanceFolder(const QString& runtime_dir, const QString& temp_dir);

}  // namespace qelvu
