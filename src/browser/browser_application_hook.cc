#include "browser/browser_application_hook.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "browser/browser_host.h"

namespace qelvu {
namespace {

TBrowserHost* HostOf(QObject* object) {
  for (; object != nullptr; object = object->parent()) {
    if (auto* host = qobject_cast<TBrowserHost*>(object)) return host;
  }
  return nullptr;
}

}  // namespace

TBrowserApplicationHook::TBrowserApplicationHook(QObject* parent) : QObject(parent) {}

void TBrowserApplicationHook::Install() {
  static QPointer<TBrowserApplicationHook> hook;
  if (hook != nullptr || qApp == nullptr) return;
  hook = new TBrowserApplicationHook(qApp);
  qApp->installEventFilter(hook);
}

bool TBrowserApplicationHook::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ApplicationStateChange:
      if (watched == qApp && qApp->applicationState() == Qt::ApplicationActive) {
        QWidget* window = QApplication::activeWindow();
        QPointer<TBrowserHost> host = window ? HostOf(window->focusWidget()) : nullptr;
        // Posted, so that the window's own focus restoring has run first.
        if (host) QTimer::singleShot(0, host, [host] { host->FocusDocument(); });
      }
      break;
    case QEvent::Wheel:
      if (watched->isWidgetType()) {
        if (TBrowserHost* host = HostOf(watched)) {
          if (HostOf(QApplication::focusWidget()) != host) host->FocusDocument();
        }
      }
      break;
    default:
      break;
  }
  return false;  // never claims an event
}

}  // namespace qelvu
