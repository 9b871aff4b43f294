// One QApplication for every browser test: the engine starts once per process.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
