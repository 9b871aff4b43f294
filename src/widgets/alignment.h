// Docking sides and horizontal text placement shared by the status bar, its panes and labels.
#ifndef QELVU_WIDGETS_ALIGNMENT_H_
#define QELVU_WIDGETS_ALIGNMENT_H_

#include <cstdint>

namespace qelvu {

enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

}  // namespace qelvu

#endif  // QELVU_WIDGETS_ALIGNMENT_H_
