// Small helpers shared by the widget tests: synthetic input and pixel reads.
#pragma once

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include "widgets/colors.h"

namespace qelvu {

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint pos,
                      Qt::MouseButton button = Qt::LeftButton) {
  const Qt::MouseButtons held =
      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)),
                    type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

inline void SendKey(QWidget* w, QEvent::Type type, int key) {
  QKeyEvent event(type, key, Qt::NoModifier,
                  key == Qt::Key_Space ? QStringLiteral(" ") : QString());
  QApplication::sendEvent(w, &event);
}

inline TColor PixelAt(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  return RGB(c.red(), c.green(), c.blue());
}

// Shows `window` and makes it the active window, so that focus changes take effect.
inline void ShowActive(QWidget* window) {
  window->show();
  window->activateWindow();
  QApplication::processEvents();
}

}  // namespace qelvu
