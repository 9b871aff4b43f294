// TBrowserApplicationHook: one process-wide watcher of the application's events that
// makes browser panes behave like ordinary controls of a form: when the program is
// activated again with a pane holding the focus, the page gets the caret back; a
// mouse wheel turned over a pane focuses that pane (the page under the cursor
// scrolls). Owned by the application object; GUI thread only.
#pragma once

#include <QObject>

namespace qelvu {

class TBrowserApplicationHook : public QObject {
  Q_OBJECT

 public:
  // Installs the hook once per process (later calls do nothing). Needs a QApplication.
  static void Install();

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit TBrowserApplicationHook(QObject* parent);
};

}  // namespace qelvu
