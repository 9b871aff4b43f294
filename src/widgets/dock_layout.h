// A Qt layout that docks a container's children to its sides (see dock.h).
//
// Install it on a container and add children with `AddWidget(child, align)`; the order of
// adding is the order of arrangement within each side. Children added with alNone (or
// not added at all) keep their own geometry and float above the docked ones. Docked
// children are re-arranged whenever the container or one of them is resized, shown or
// hidden, so setting a docked child's height (or width) is how it is resized; a child
// docked at the bottom (right) keeps its bottom (right) edge. The container's insets are
// the layout's contents margins. User-interface thread only.
#pragma once

#include <QEvent>
#include <QLayout>
#include <memory>
#include <vector>

#include "widgets/dock.h"

namespace qelvu {

class TDockLayout : public QLayout {
  Q_OBJECT

 public:
  explicit TDockLayout(QWidget* container);
  ~TDockLayout() override;

  void AddWidget(QWidget* child, TAlign align);
  bool Manages(const QWidget* child) const;
  // alNone for widgets this layout does not manage.
  TAlign AlignOf(const QWidget* child) const;
  void SetAlign(QWidget* child, TAlign align);
  // The container's rectangle less the room of every docked child, hidden ones included.
  TRect FreeRect() const;
  // Arranges the children now instead of at the next layout pass.
  void Arrange();
  // The dock layout of `container`, or nullptr.
  static TDockLayout* Of(const QWidget* container);
  // Sent to a child whenever its docking side is set, so it can follow (a size bar moves).
  static QEvent::Type DockChangeEvent();

  void addItem(QLayoutItem* item) override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  int count() const override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Entry {
    std::unique_ptr<QLayoutItem> item;
    TAlign align;
  };
  std::unique_ptr<QLayoutItem> Take(int index);
  std::vector<TDockItem> Items() const;
  void NotifyDockChange(QWidget* child);

  std::vector<Entry> entries_;
  bool arranging_ = false;
};

}  // namespace qelvu
