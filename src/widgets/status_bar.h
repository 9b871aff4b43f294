// The window's bottom strip: `TStatusBar` with its status panes and marquee panes.
//
// `TStatusBar` is a styled panel (styled_panel.h) that docks to the bottom of its parent, lines up
// its panes (alLeft panes from the left in the order of their left edges, alRight panes from the
// right), can show one `SimpleCaption` instead of its panes, scales its panes with its width on
// request, and offers a size grip when its window is sizeable and not maximised.
//
// `TStatusPane` draws a frame and one line of text on its bar's background; it has no native
// window of its own (a Qt alien widget), so the bar shows through a transparent pane.
// `TMarqueeStatus` is a pane that scrolls its caption through an off-screen image on its own
// timer; with `stNone` it is a plain pane. Panes may blink through the shared blink clock
// (blinking.h). Platform themes are treated as absent: everything is drawn in the classic
// look. Everything here belongs to the user-interface thread.
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "widgets/blinking.h"
#include "widgets/canvas.h"
#include "widgets/colors.h"
#include "widgets/dock.h"
#include "widgets/frames.h"
#include "widgets/styled_panel.h"

namespace qelvu {

class TCustomStatusPane;

// The colour `widget` shows behind its children: a styled panel's Color, else its palette's
// background; button face without a widget. Panes and labels take it as their parent colour.
TColor BackgroundColorOf(const QWidget* widget);

class TStatusBar : public TCustomStyledPanel {
  Q_OBJECT

 public:
  explicit TStatusBar(QWidget* parent = nullptr);

  // alBottom keeps the bar across the bottom of its parent; alNone leaves its geometry alone.
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  // The panel's border setters, which also place the panes again. A change of the inner,
  // outer or sides setting turns AutoStyle off.
  void SetBorderInner(TFrameStyle style);
  void SetBorderOuter(TFrameStyle style);
  void SetBorderSides(TSides sides);
  void SetBorderWidth(int width);

  bool AutoStyle() const { return auto_style_; }
  void SetAutoStyle(bool on) { auto_style_ = on; }
  bool ShowSizeGrip() const { return show_size_grip_; }
  void SetShowSizeGrip(bool on);
  bool SimpleStatus() const { return simple_status_; }
  // Hides the bar's child widgets and shows SimpleCaption; turning it off shows them again.
  void SetSimpleStatus(bool on);
  QString SimpleCaption() const { return simple_caption_; }
  void SetSimpleCaption(const QString& caption);
  TFrameStyle SimpleFrameStyle() const { return simple_frame_style_; }
  void SetSimpleFrameStyle(TFrameStyle style);
  bool AutoScalePanes() const { return auto_scale_panes_; }
  void SetAutoScalePanes(bool on) { auto_scale_panes_ = on; }

  // Call once the owner has configured the bar: with AutoStyle on, the bar takes its standard
  // look (no borders on all four sides, height 19, border width 0).
  void Loaded();

  // The rectangle the panes are laid out in.
  TRect ClientArea() const { return ChildArea(); }
  // True when the grip may be shown and used: ShowSizeGrip on, and the bar's window is
  // sizeable and not maximised.
  bool SizeGripActive() const;
  // Starts the window's own bottom-right sizing, as a press on the grip does.
  void StartGripSizing();
  // Places the aligned panes again; panes call it when their size or alignment changes.
  void ArrangePanes();

  // The six 2x2 squares of the dotted grip on a bar of this size (highlight colour); the shadow
  // squares are the same shifted up-left by one pixel.
  static std::vector<TRect> SizeGripSquares(int width, int height);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void childEvent(QChildEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool InGrip(int x) const;
  void DockToParent();

  TAlign align_ = alBottom;
  bool auto_style_ = true;
  bool show_size_grip_ = true;
  bool simple_status_ = false;
  QString simple_caption_;
  TFrameStyle simple_frame_style_ = fsFlat;
  bool auto_scale_panes_ = false;
  int scaled_width_ = -1;  // the width the last scaling started from; -1 before any
  bool arranging_ = false;
  // Guarded: a child may be deleted while simple mode is on.
  std::vector<QPointer<QWidget>> hidden_by_simple_;
};

class TCustomStatusPane : public QWidget, public TBlinkingControl {
  Q_OBJECT

 public:
  explicit TCustomStatusPane(QWidget* parent = nullptr);
  ~TCustomStatusPane() override;

  QString Caption() const { return caption_; }
  // Repaints and re-runs the auto-size rule.
  void SetCaption(const QString& caption);
  // Docking inside a TStatusBar: alLeft or alRight; anything else keeps the pane's geometry.
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  // Mirrored when the pane reads right to left.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  int CaptionOffset() const { return caption_offset_; }
  void SetCaptionOffset(int offset);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool on);
  int DefaultWidth() const { return default_width_; }
  void SetDefaultWidth(int width);
  TFrameStyle FrameStyle() const { return frame_style_; }
  void SetFrameStyle(TFrameStyle style);
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int width);
  TColor FlatColor() const { return flat_color_; }
  void SetFlatColor(TColor color);
  int FlatColorAdjustment() const { return flat_color_adjustment_; }
  void SetFlatColorAdjustment(int amount);

  // The parent's colour while ParentColor is on. Setting a colour turns ParentColor off.
  TColor Color() const;
  void SetColor(TColor color);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool on);
  // Follows Color while ParentFillColor is on; setting it turns ParentFillColor off.
  TColor FillColor() const { return parent_fill_color_ ? Color() : fill_color_; }
  void SetFillColor(TColor color);
  bool ParentFillColor() const { return parent_fill_color_; }
  void SetParentFillColor(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

  // The text colour; Qt fonts carry none.
  TColor FontColor() const { return font_color_; }
  void SetFontColor(TColor color);
  // The font colour, or BlinkColor during the blink-on phase.
  TColor CurrentTextColor() const { return current_text_color_; }

  bool Blinking() const { return blinking_; }
  void SetBlinking(bool on);
  TColor BlinkColor() const { return blink_color_; }
  void SetBlinkColor(TColor color) { blink_color_ = color; }
  // Shared by every blinking widget.
  std::uint16_t BlinkIntervalOn() const { return blink_.List().BlinkIntervalOn(); }
  void SetBlinkIntervalOn(std::uint16_t ms) { blink_.List().SetBlinkIntervalOn(ms); }
  std::uint16_t BlinkIntervalOff() const { return blink_.List().BlinkIntervalOff(); }
  void SetBlinkIntervalOff(std::uint16_t ms) { blink_.List().SetBlinkIntervalOff(ms); }

  // When on, every status tip the application shows becomes the caption.
  bool AutoHint() const { return auto_hint_; }
  void SetAutoHint(bool on);

  // Call once the owner has configured the pane: a pane with ParentColor off turns opaque.
  void Loaded();

  // The frame's inside, where the caption goes.
  TRect TextRect() const;
  // The height the caption is centred with: that of "Pp" in the pane's font.
  int TextHeight() const;
  int TextWidth(const QString& text) const;

  // TBlinkingControl
  bool IsBlinking() const override { return blinking_; }
  void BlinkStateChanged(bool on) override;

  // A hidden pane leaves its room in the bar to the others.
  void setVisible(bool visible) override;

 signals:
  void OnClick();
  void OnMouseEnter();
  void OnMouseLeave();

 protected:
  // Draws the caption inside `text_rect`; the marquee draws it scrolled.
  virtual void DrawText(QPainter& painter, const TRect& text_rect);
  // Called after the caption, the font or the size changed.
  virtual void TextMetricsChanged() {}
  void DrawPlainText(QPainter& painter, const TRect& text_rect);
  // The colour the caption is drawn in now (grey while disabled).
  TColor TextColor() const;
  TStatusBar* Bar() const;

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyAutoSize();
  void Rearrange();

  QString caption_;
  TAlign align_ = alNone;
  TAlignment alignment_ = taLeftJustify;
  int caption_offset_ = 2;
  bool auto_size_ = false;
  int default_width_ = 40;
  TFrameStyle frame_style_ = fsFlat;
  int border_width_ = 1;
  TColor flat_color_ = clBtnShadow;
  int flat_color_adjustment_ = 30;
  TColor color_ = clBtnFace;
  bool parent_color_ = true;
  TColor fill_color_ = clBtnFace;
  bool parent_fill_color_ = true;
  bool transparent_ = true;
  TColor font_color_ = clWindowText;
  TColor current_text_color_ = clWindowText;
  bool blinking_ = false;
  TColor blink_color_ = clHighlight;
  bool auto_hint_ = false;
  bool pressed_ = false;
  TBlinkingRegistration blink_{this};
};

class TStatusPane : public TCustomStatusPane {
  Q_OBJECT

 public:
  using TCustomStatusPane::TCustomStatusPane;
};

enum TScrollType : std::uint8_t { stNone, stRightToLeft, stLeftToRight };

class TMarqueeStatus : public TStatusPane {
  Q_OBJECT

 public:
  explicit TMarqueeStatus(QWidget* parent = nullptr);

  // The timer runs while the type is not stNone, Scrolling is on and the pane is visible.
  TScrollType ScrollType() const { return scroll_type_; }
  void SetScrollType(TScrollType type);
  bool Scrolling() const { return scrolling_; }
  // Turning scrolling off also brings the text back to its start.
  void SetScrolling(bool on);
  std::uint16_t ScrollSize() const { return scroll_size_; }
  // 0 is stored as 1.
  void SetScrollSize(std::uint16_t pixels);
  std::uint16_t ScrollDelay() const { return scroll_delay_; }
  void SetScrollDelay(std::uint16_t ms);

  int ScrollOffset() const { return scroll_offset_; }
  // Caption width plus pane width: the offsets of one pass from edge to edge.
  int ScrollCycle() const { return scroll_cycle_; }
  bool ScrollTimerActive() const { return timer_.isActive(); }
  // Where the caption's left edge was put in the off-screen image by the last drawing.
  int ScrolledTextX() const { return scrolled_text_x_; }
  const QImage& OffscreenImage() const { return offscreen_; }

  // One step of the scroll timer: advance, redraw the text, wrap after a full pass.
  void Tick();

 protected:
  void DrawText(QPainter& painter, const TRect& text_rect) override;
  void TextMetricsChanged() override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void UpdateTimer();
  // Draws the caption at the current offset into the off-screen image.
  void RenderOffscreen(const TRect& text_rect);
  TColor OffscreenBackground() const;

  TScrollType scroll_type_ = stRightToLeft;
  bool scrolling_ = true;
  std::uint16_t scroll_size_ = 1;
  std::uint16_t scroll_delay_ = 100;
  int scroll_offset_ = 0;
  int scroll_cycle_ = 0;
  int scrolled_text_x_ = 0;
  QTimer timer_;
  QImage offscreen_;
};

}  // namespace qelvu
