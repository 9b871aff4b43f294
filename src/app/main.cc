// The program's entry point: one application, one main window, the event loop.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <cstdlib>

#include "app/file_version.h"
#include "app/main_window.h"
#include "app/program_services.h"
#include "app/single_instance.h"

int main(int argc, char* argv[]) {
  // The engine refuses to start as root with its sandbox on; a root-only machine is common in
  // containers, and the program must run there.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
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

  QCoreApplication::setApplicationVersion(QString::fromStdString(
      qelvu::GetFileVersionString(QCoreApplication::applicationFilePath().toStdString())));
  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE_OR_URL"),
                               QStringLiteral("M3U/M3U8 playlists to add, files or URLs."),
                               QStringLiteral("[FILE_OR_URL...]"));
  parser.process(app);
  QStringList sources;
  for (const QString& argument : parser.positionalArguments()) {
    sources << qelvu::SourceFromArgument(argument);
  }

  qelvu::TSingleInstance instance;
  if (instance.HandToRunningInstance(sources)) return 0;

  const qelvu::TSiteAddresses addresses = qelvu::TSiteAddresses::FromEnvironment();
  qelvu::TProgramServices services(addresses);
  qelvu::TMainWindow window(services, addresses);
  instance.OnSources = [&window](const QStringList&) {
    // The sources themselves are logged by the instance until the window can take playlists.
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.raise();
    window.activateWindow();
  };
  window.show();
  return app.exec();
}
