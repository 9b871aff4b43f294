// The program's entry point: the command line, one application, one main window, the event
// loop.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/program_services.h"
#include "app/single_instance.h"
#include "player/stream_player.h"

namespace {

// Prints what the command line asks for and gives the exit status, or -1 to run the program.
int Answer(const qelvu::TCommandLine& command) {
  switch (command.action) {
    case qelvu::TCommandLine::TAction::Run:
      return -1;
    case qelvu::TCommandLine::TAction::PrintAndExit:
      std::fputs(command.text.c_str(), stdout);
      return 0;
    case qelvu::TCommandLine::TAction::FailAndExit:
      std::fputs(command.text.c_str(), stderr);
      return 1;
  }
  return 1;
}

std::vector<std::string> LocalNames(const QStringList& sources) {
  std::vector<std::string> names;
  for (const QString& source : sources) names.push_back(source.toLocal8Bit().toStdString());
  return names;
}

}  // namespace

int main(int argc, char* argv[]) {
  // --help and --version answer before the application exists, so they need no display.
  if (const qelvu::TCommandLine early =
          qelvu::ParseCommandLine(std::vector<std::string>(argv, argv + argc));
      early.action == qelvu::TCommandLine::TAction::PrintAndExit) {
    return Answer(early);
  }
  // The engine refuses to start as root with its sandbox on; a root-only machine is common in
  // containers, and the program must run there.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  qelvu::RegisterPlayerScheme();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei"));
  // The desktop entry's name lets the desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(QELVU_APP_ID));
  QIcon icon;
  for (const QFileInfo& size : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files)) {
    icon.addFile(size.filePath());
  }
  QApplication::setWindowIcon(icon);
  // Parsed again without the options the application took for itself (-platform and others).
  std::vector<std::string> arguments;
  for (const QString& argument : QCoreApplication::arguments()) {
    arguments.push_back(argument.toLocal8Bit().toStdString());
  }
  const qelvu::TCommandLine command = qelvu::ParseCommandLine(arguments);
  if (const int status = Answer(command); status >= 0) return status;

  // A file manager names files as file: URLs, and the window may run in another folder.
  QStringList sources;
  for (const std::string& given : command.playlists) {
    sources << qelvu::SourceFromArgument(QString::fromLocal8Bit(given));
  }
  qelvu::TSingleInstance instance;
  if (instance.HandToRunningInstance(sources)) return 0;

  const qelvu::TSiteAddresses addresses = qelvu::TSiteAddresses::FromEnvironment();
  qelvu::TProgramServices services(addresses);
  qelvu::TMainWindow window(services, addresses);
  window.controller().AddStartupPlaylists(LocalNames(sources));
  instance.OnSources = [&window](const QStringList& handed) {
    window.TakeHandedPlaylists(LocalNames(handed));
  };
  window.show();
  return app.exec();
}
