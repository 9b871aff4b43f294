// The program's entry point: one application, one main window, the event loop.
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <cstdlib>

#include "app/main_window.h"

int main(int argc, char* argv[]) {
  // The engine refuses to start as root with its sandbox on; a root-only machine is common in
  // containers, and the program must run there.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei"));

  qelvu::TMainServices services;
  qelvu::TMainWindow window(services, qelvu::TSiteAddresses::FromEnvironment());
  window.show();
  return app.exec();
}
