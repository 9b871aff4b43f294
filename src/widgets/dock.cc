#include "widgets/dock.h"

namespace qelvu {
namespace {

// Takes `item`'s room from `free`; returns where the item goes.
TRect TakeRoom(TRect& free, const TDockItem& item) {
  const int w = item.bounds.Width();
  const int h = item.bounds.Height();
  switch (item.align) {
    case alTop:
      free.top += h;
      return {free.left, free.top - h, free.right, free.top};
    case alBottom:
      free.bottom -= h;
      return {free.left, free.bottom, free.right, free.bottom + h};
    case alLeft:
      free.left += w;
      return {free.left - w, free.top, free.left, free.bottom};
    case alRight:
      free.right -= w;
      return {free.right, free.top, free.right + w, free.bottom};
    case alClient:
      return free;
    default:
      return item.bounds;
  }
}

}  // namespace

void ArrangeDocked(const TRect& client, std::vector<TDockItem>& items) {
  TRect free = client;
  for (TAlign align : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TDockItem& item : items) {
      if (item.visible && item.align == align) item.bounds = TakeRoom(free, item);
    }
  }
}

TRect DockFreeRect(const TRect& client, const std::vector<TDockItem>& items) {
  TRect free = client;
  for (const TDockItem& item : items) TakeRoom(free, item);
  return free;
}

}  // namespace qelvu
