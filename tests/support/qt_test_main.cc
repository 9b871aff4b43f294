// The entry point of every test program that needs a QApplication: one for the whole run, the
// engine's shared GL contexts set before it (Qt WebEngine asks for them), and "宋体" mapped as
// the program maps it. Without a display of their own the tests draw offscreen; the engine runs
// without its sandbox (the tests run as root on CI) and without reaching for the network.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
  // Defaults only: a run that sets its own (a real display, other engine flags) keeps them.
  const auto set_default = [](const char* name, const char* value) {
    if (qEnvironmentVariableIsEmpty(name)) qputenv(name, value);
  };
  set_default("QT_QPA_PLATFORM", "offscreen");
  set_default("QTWEBENGINE_DISABLE_SANDBOX", "1");
  set_default("QTWEBENGINE_CHROMIUM_FLAGS",
              "--no-sandbox --disable-gpu --disable-background-networking "
              "--disable-component-update");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
