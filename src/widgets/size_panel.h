// `TSizePanel`: a styled panel with a size bar the user drags to resize it, and a hot
// spot on the bar that collapses the panel to the bar alone or restores it.
//
// The panel's docking side (its `Align` in the parent's TDockLayout, or `Side` when it is
// not docked) decides where the bar runs. A drag shows an inverted checkerboard band
// over the parent (or resizes live with `RealTimeDrag`) and sets the size at release,
// kept within `MarginMin`, `MarginMax` and the room the parent's docked children leave;
// children without a docking side float and take no room. Owns its cursors; the band of a
// drag is a child of the parent. User-interface thread only.
#pragma once

#include <QCursor>
#include <QPointer>

#include "widgets/size_bar.h"
#include "widgets/styled_panel.h"
#include "widgets/widget_error.h"

namespace qelvu {

enum TSizeBarStyle : std::uint8_t { ssStandard, ssGroove, ssBump, ssGroupBar };

class TCustomSizePanel : public TCustomStyledPanel {
  Q_OBJECT

 public:
  explicit TCustomSizePanel(QWidget* parent = nullptr);
  ~TCustomSizePanel() override;

  // The side in the parent's dock layout when the panel is docked there, else its own.
  TAlign Align() const;
  // Also re-docks the panel in its parent's dock layout, when it is docked there.
  void SetAlign(TAlign align);
  void SetSide(TSides side);
  int SizeBarWidth() const { return size_bar_width_; }
  void SetSizeBarWidth(int width);
  void SetSizeBarStyle(TSizeBarStyle style);
  bool HotSpotVisible() const { return hot_spot_visible_; }
  // On widens the bar to at least 7 pixels; off also clears the collapsed state.
  void SetHotSpotVisible(bool on);
  void SetHotSpotColor(TColor color);
  void SetHotSpotHighlight(TColor color);
  void SetHotSpotDotColor(TColor color);
  void SetHotSpotFrameColor(TColor color);
  void SetHotSpotSizePercent(int percent);
  void SetHotSpotIgnoreMargins(bool on) { hot_spot_ignore_margins_ = on; }
  bool LockBar() const { return lock_bar_; }
  void SetLockBar(bool on) { lock_bar_ = on; }
  int MarginMin() const { return margin_min_; }
  int MarginMax() const { return margin_max_; }
  // Negative values become 0; margins that do not fit the parent are cut down.
  void SetMarginMin(int margin);
  void SetMarginMax(int margin);
  void SetRealTimeDrag(bool on) { real_time_drag_ = on; }

  // The persisted collapse state: collapsed by the hot spot, and the size to restore.
  bool HotSpotClosed() const { return hot_spot_closed_; }
  int HotSpotPosition() const { return hot_spot_position_; }
  // Restores a stored state as it was saved (no resize).
  void LoadHotSpotState(bool closed, int position);

  TSizeBarType BarType() const;
  TRect SizeBarBounds() const;
  TRect HotSpotBounds() const;
  bool BarDragActive() const { return bar_drag_active_; }
  bool HotSpotHighlighted() const { return hot_spot_highlighted_; }
  // The drag limits; raises EWidgetError "No parent specified" without a parent.
  TDragLimits DragLimits() const;
  int AvailableLength() const;
  // Draws one of the cursors shown over the bar: "SPLIT_HORZ", "SPLIT_VERT",
  // "SPLIT_HORZHOTSPOT" or "SPLIT_VERTHOTSPOT".
  static QCursor SplitCursor(const char* name);

 signals:
  void HotSpotClick();

 protected:
  TRect BodyRect() const override;
  TRect ChildArea() const override;

  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  class TDragBand;
  enum class THotSpotPaint : std::uint8_t { kCycle, kNormal, kHighlighted };

  int Coordinate(QPoint global) const;
  // The size a drag position stands for.
  int SizeAt(int position) const;
  void DragTo(int position);
  void EndBand();
  void SetSize(int size);
  void ToggleHotSpot();
  void UpdateHover(QPoint local);
  void RedrawHotSpot(bool highlighted);
  QPoint BandOrigin(int position) const;

  TAlign align_ = alLeft;
  TSides side_ = sdLeft;
  int size_bar_width_ = 4;
  TSizeBarStyle size_bar_style_ = ssStandard;
  bool hot_spot_visible_ = false;
  THotSpotColors hot_spot_colors_;
  TColor hot_spot_highlight_ = clWindow;
  int hot_spot_size_percent_ = 40;
  bool hot_spot_ignore_margins_ = false;
  bool lock_bar_ = false;
  int margin_min_ = 0;
  int margin_max_ = 0;
  bool real_time_drag_ = false;
  bool hot_spot_closed_ = false;
  int hot_spot_position_ = 100;

  bool bar_drag_active_ = false;
  bool hot_spot_pressed_ = false;
  int drag_origin_ = 0;
  int drag_position_ = 0;
  int press_coordinate_ = 0;
  QSize press_size_;
  TDragLimits drag_limits_;
  bool hot_spot_highlighted_ = false;
  bool hot_spot_refresh_pending_ = false;
  THotSpotPaint hot_spot_paint_ = THotSpotPaint::kCycle;
  QPointer<TDragBand> band_;
  const QCursor split_horz_ = SplitCursor("SPLIT_HORZ");
  const QCursor split_horz_hot_spot_ = SplitCursor("SPLIT_HORZHOTSPOT");
  const QCursor split_vert_ = SplitCursor("SPLIT_VERT");
  const QCursor split_vert_hot_spot_ = SplitCursor("SPLIT_VERTHOTSPOT");
};

class TSizePanel : public TCustomSizePanel {
  Q_OBJECT

 public:
  using TCustomSizePanel::TCustomSizePanel;
};

}  // namespace qelvu
