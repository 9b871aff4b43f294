// Docking sides and the classic order in which a container arranges docked children.
//
// Pure geometry without Qt: `ArrangeDocked` places the items that `dock_layout.h` feeds it,
// and `DockFreeRect` is the room the docked children leave, which bounds a size bar's
// drag. Call from any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "widgets/canvas.h"

namespace qelvu {

enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };

struct TDockItem {
  TAlign align = alNone;
  TRect bounds;
  bool visible = true;
};

// Places the visible docked items inside `client`: first every alTop item, then alBottom,
// alLeft, alRight and alClient, each group in the items' order. Top and bottom items keep
// their height, left and right items their width, client items take what is left.
// alNone and alCustom items keep their bounds.
void ArrangeDocked(const TRect& client, std::vector<TDockItem>& items);

// `client` reduced by the size of every docked item, hidden ones included. Items without
// a docking side (alNone, alCustom) float above the layout and take no room.
TRect DockFreeRect(const TRect& client, const std::vector<TDockItem>& items);

}  // namespace qelvu
