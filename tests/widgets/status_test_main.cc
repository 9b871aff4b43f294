// A QApplication for the status bar and label tests, with "宋体" mapped as the program maps it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
