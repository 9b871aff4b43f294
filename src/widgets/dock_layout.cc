#include "widgets/dock_layout.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWidgetItem>
#include <memory>
#include <utility>

#include "widgets/painter_canvas.h"

namespace qelvu {

TDockLayout::TDockLayout(QWidget* container) : QLayout(container) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);
  // The container's size is the window's business, never the layout's.
  setSizeConstraint(QLayout::SetNoConstraint);
}

TDockLayout::~TDockLayout() {
  // Taken one by one, so each widget is rid of the layout's event filter.
  while (count() > 0) Take(0);
}

void TDockLayout::AddWidget(QWidget* child, TAlign align) {
  addChildWidget(child);
  entries_.push_back({std::make_unique<QWidgetItem>(child), align});
  child->installEventFilter(this);
  Arrange();
  NotifyDockChange(child);
}

bool TDockLayout::Manages(const QWidget* child) const {
  for (const Entry& e : entries_) {
    if (e.item->widget() == child) return true;
  }
  return false;
}

TAlign TDockLayout::AlignOf(const QWidget* child) const {
  for (const Entry& e : entries_) {
    if (e.item->widget() == child) return e.align;
  }
  return alNone;
}

void TDockLayout::SetAlign(QWidget* child, TAlign align) {
  for (Entry& e : entries_) {
    if (e.item->widget() == child && e.align != align) {
      e.align = align;
      Arrange();
      NotifyDockChange(child);
    }
  }
}

TRect TDockLayout::FreeRect() const {
  return DockFreeRect(FromQRect(parentWidget()->rect()), Items());
}

void TDockLayout::Arrange() {
  if (parentWidget() != nullptr) setGeometry(parentWidget()->rect());
}

TDockLayout* TDockLayout::Of(const QWidget* container) {
  return container != nullptr ? qobject_cast<TDockLayout*>(container->layout()) : nullptr;
}

QEvent::Type TDockLayout::DockChangeEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void TDockLayout::NotifyDockChange(QWidget* child) {
  QEvent event(DockChangeEvent());
  QCoreApplication::sendEvent(child, &event);
}

void TDockLayout::addItem(QLayoutItem* item) {
  entries_.push_back({std::unique_ptr<QLayoutItem>(item), alNone});
}

QLayoutItem* TDockLayout::itemAt(int index) const {
  return index >= 0 && index < count() ? entries_[index].item.get() : nullptr;
}

// Qt hands the item to the caller, who deletes it.
QLayoutItem* TDockLayout::takeAt(int index) { return Take(index).release(); }

std::unique_ptr<QLayoutItem> TDockLayout::Take(int index) {
  if (index < 0 || index >= count()) return nullptr;
  std::unique_ptr<QLayoutItem> item = std::move(entries_[index].item);
  entries_.erase(entries_.begin() + index);
  if (item->widget() != nullptr) item->widget()->removeEventFilter(this);
  return item;
}

int TDockLayout::count() const { return static_cast<int>(entries_.size()); }

QSize TDockLayout::sizeHint() const {
  return parentWidget() != nullptr ? parentWidget()->size() : QSize();
}

QSize TDockLayout::minimumSize() const { return QSize(0, 0); }

std::vector<TDockItem> TDockLayout::Items() const {
  std::vector<TDockItem> items;
  for (const Entry& e : entries_) {
    const QWidget* w = e.item->widget();
    items.push_back({e.align, w ? FromQRect(w->geometry()) : TRect{}, w && !w->isHidden()});
  }
  return items;
}

void TDockLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  if (arranging_) return;
  arranging_ = true;
  std::vector<TDockItem> items = Items();
  ArrangeDocked(FromQRect(contentsRect()), items);
  for (int i = 0; i < count(); ++i) {
    QWidget* w = entries_[i].item->widget();
    // Floating children get their own bounds back, which leaves them where they are.
    if (w != nullptr && items[i].visible) w->setGeometry(ToQRect(items[i].bounds));
  }
  arranging_ = false;
}

bool TDockLayout::eventFilter(QObject* watched, QEvent* event) {
  // A docked child that changes its own size (or appears) moves its siblings at once.
  switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
      if (!arranging_) Arrange();
      break;
    default:
      break;
  }
  return QLayout::eventFilter(watched, event);
}

}  // namespace qelvu
