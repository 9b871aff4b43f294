// The program's entry point: one application, one main window, the event loop.
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <cstdlib>

#include "app/main_window.h"
#include "app/program_services.h"

int main(int argc, char* argv[]) {
  // The engine refuses to start as root with its sandbox on; a root-only machine is common in
  // containers, and the program must run there.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei"));

  const qelvu::TSiteAddresses addresses = qelvu::TSiteAddresses::FromEnvironment();
  qelvu::TProgramServices services(addresses);
  qelvu::TMainWindow window(services, addresses);
  window.show();
  return app.exec();
}
