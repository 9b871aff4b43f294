// `TStyledButton`: a self-drawn push button with the classic 3-D look.
//
// Press, drag-out, drag-in, release and Space behave as Qt's QAbstractButton does (the
// down look follows the pointer while held, a release inside clicks). This class draws
// the classic frames, the caption (shifted by one pixel while down), the dotted focus
// border and, for grouped buttons, the down pattern. Platform themes are never active
// here, so the themed look is the classic one. User-interface thread only.
#pragma once

#include <QAbstractButton>

#include "widgets/colors.h"
#include "widgets/styled_panel.h"

namespace qelvu {

class TCustomStyledButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TCustomStyledButton(QWidget* parent = nullptr);

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  void SetAlignment(TAlignment alignment);
  void SetShowFocusRect(bool on);
  void SetShowDownPattern(bool on);
  void SetFrameColor(TColor color) { frame_color_ = color; }
  void SetHighlightColor(TColor color) { highlight_color_ = color; }
  // Buttons of one parent with the same non-zero index act as a group: a click toggles
  // `Down`, and a button going down raises the others.
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int index);
  bool Down() const { return down_; }
  void SetDown(bool down);
  void SetAllowAllUp(bool on) { allow_all_up_ = on; }
  bool IsDefault() const { return default_; }
  void SetDefault(bool on);
  void SetModalResult(int result) { modal_result_ = result; }
  int ModalResult() const { return modal_result_; }

  QSize sizeHint() const override { return QSize(75, 25); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void nextCheckState() override;

 private:
  TColor color_ = clBtnFace;
  TAlignment alignment_ = taCenter;
  bool show_focus_rect_ = true;
  bool show_down_pattern_ = true;
  TColor frame_color_ = cl3DDkShadow;
  TColor highlight_color_ = clHighlight;
  int group_index_ = 0;
  bool down_ = false;
  bool allow_all_up_ = false;
  bool default_ = false;
  int modal_result_ = 0;
};

class TStyledButton : public TCustomStyledButton {
  Q_OBJECT

 public:
  using TCustomStyledButton::TCustomStyledButton;
};

}  // namespace qelvu
