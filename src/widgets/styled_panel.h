// `TStyledPanel`: a container drawn with the shared frame styles.
//
// Paints, in order, the panel border (frames.h), the fill of the inside, an optional
// design grid and an optional caption, then emits `Painted`. Its children are docked by
// its `TDockLayout` (`DockLayout()`), inset by the border's thickness. Owns its layout and
// its children (Qt parent-child). The size panel builds on it through the protected
// hooks. User-interface thread only.
#pragma once

#include <QString>
#include <QWidget>

#include "widgets/colors.h"
#include "widgets/dock_layout.h"
#include "widgets/frames.h"

namespace qelvu {

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TVerticalAlignment : std::uint8_t { avTop, avCenter, avBottom };
enum TVisualStyle : std::uint8_t { vsClassic, vsWinXP, vsGradient };
enum TGridStyle : std::uint8_t { gsDots, gsDottedLines, gsSolidLines };

class TCustomStyledPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TCustomStyledPanel(QWidget* parent = nullptr);

  TDockLayout* DockLayout() const { return layout_; }

  TFrameStyle BorderOuter() const { return border_.outer; }
  void SetBorderOuter(TFrameStyle style);
  TFrameStyle BorderInner() const { return border_.inner; }
  void SetBorderInner(TFrameStyle style);
  TSides BorderSides() const { return border_.sides; }
  void SetBorderSides(TSides sides);
  int BorderWidth() const { return border_.border_width; }
  void SetBorderWidth(int width);
  int BevelWidth() const { return border_.bevel_width; }
  void SetBevelWidth(int width);
  void SetBorderColor(TColor color);
  void SetBorderHighlight(TColor color);
  void SetBorderShadow(TColor color);
  void SetFlatColor(TColor color);
  void SetFlatColorAdjustment(int amount);

  TColor Color() const { return border_.color; }
  void SetColor(TColor color);
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  void SetAlignment(TAlignment alignment);
  void SetAlignmentVertical(TVerticalAlignment alignment);
  void SetWordWrap(bool on);
  void SetTextMargin(int margin);
  void SetTextMarginVertical(int margin);
  void SetVisualStyle(TVisualStyle style);
  void SetGradientColors(TColor start, TColor stop);
  bool Transparent() const { return border_.transparent; }
  void SetTransparent(bool on);
  void SetPaintClientArea(bool on);
  bool FullRepaint() const { return full_repaint_; }
  void SetFullRepaint(bool on);
  void SetShowGrid(bool on);
  void SetGrid(TGridStyle style, TColor color, int x_size, int y_size);

  // The colour the panel's parent shows, which the rounded border's corners let through.
  TColor ParentColor() const;

 signals:
  void Painted();

 protected:
  // The rectangle the border and body are drawn in.
  virtual TRect BodyRect() const;
  // The rectangle the children are docked in.
  virtual TRect ChildArea() const;
  // Applies a change of `ChildArea` to the layout.
  void UpdateChildArea();
  // UpdateChildArea and repaint.
  void Relayout();

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  TPanelBorder BorderState() const;

  TDockLayout* layout_;
  TPanelBorder border_;
  QString caption_;
  TAlignment alignment_ = taCenter;
  TVerticalAlignment alignment_vertical_ = avCenter;
  bool word_wrap_ = true;
  int text_margin_ = 0;
  int text_margin_vertical_ = 0;
  TVisualStyle visual_style_ = vsWinXP;
  TColor gradient_start_ = clWhite;
  TColor gradient_stop_ = clBtnFace;
  bool paint_client_area_ = true;
  bool full_repaint_ = true;
  bool show_grid_ = false;
  TGridStyle grid_style_ = gsDots;
  TColor grid_color_ = clBtnShadow;
  int grid_x_ = 8;
  int grid_y_ = 8;
};

class TStyledPanel : public TCustomStyledPanel {
  Q_OBJECT

 public:
  using TCustomStyledPanel::TCustomStyledPanel;
};

}  // namespace qelvu
