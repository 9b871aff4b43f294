// Text labels drawn with the shared frame styles: `TStyledLabel` and the hyperlink `TUrlLabel`.
//
// `TStyledLabel` is an opaque (by default) label with panel-style frames (frames.h), a text
// margin, embossed and shadowed text styles, a hover colour, blinking through the shared
// blink clock (blinking.h), and automatic sizing to its text, which is on by default.
// Rotation: `roFlat` turns the text by `Angle` about the label's centre; `roCurve` (text
// along an arc) is drawn unrotated.
//
// `TUrlLabel` shows a hand cursor and underlined text in its link colours, and opens its
// `URL` (or, when that is blank, its caption) with `ShellOpen` (shell_open.h) when clicked;
// a successful open marks it visited. User-interface thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

#include "widgets/blinking.h"
#include "widgets/colors.h"
#include "widgets/frames.h"
#include "widgets/styled_panel.h"  // TAlignment

namespace qelvu {

enum TTextStyle : std::uint8_t { tsNormal, tsRaised, tsRecessed, tsShadow };
enum TRotation : std::uint8_t { roNone, roFlat, roCurve };
enum TTextLayout : std::uint8_t { tlTop, tlCenter, tlBottom };

class TStyledLabel : public QWidget, public TBlinkingControl {
  Q_OBJECT

 public:
  explicit TStyledLabel(QWidget* parent = nullptr);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);

  // The frame around the label, drawn by the panel border rule; all fsNone by default.
  const TPanelBorder& Border() const { return border_; }
  void SetBorderOuter(TFrameStyle style);
  void SetBorderInner(TFrameStyle style);
  void SetBorderSides(TSides sides);
  void SetBorderWidth(int width);
  void SetBevelWidth(int width);
  void SetBorderColors(TColor color, TColor highlight, TColor shadow);
  void SetFlatColor(TColor color, int adjustment);

  TTextStyle TextStyle() const { return text_style_; }
  void SetTextStyle(TTextStyle style);
  void SetShadowColor(TColor color);
  void SetHighlightColor(TColor color);
  void SetShadowDepth(int depth);
  // Raised and recessed text without the shadow copy.
  void SetLightTextStyle(bool on);
  int TextMargin() const { return text_margin_; }
  void SetTextMargin(int margin);

  // 0-359; a negative value v is stored as 360 + v, others modulo 360.
  int Angle() const { return angle_; }
  void SetAngle(int degrees);
  TRotation Rotation() const { return rotation_; }
  void SetRotation(TRotation rotation);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout layout);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool on);
  // When on, "&x" underlines x instead of showing the ampersand.
  void SetShowAccelChar(bool on);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool on);

  // The parent's colour while ParentColor is on; setting a colour turns ParentColor off.
  TColor Color() const;
  void SetColor(TColor color);
  void SetParentColor(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

  // The text colour; Qt fonts carry none.
  TColor FontColor() const { return font_color_; }
  void SetFontColor(TColor color);
  // The font colour, or BlinkColor during the blink-on phase.
  TColor CurrentTextColor() const { return current_text_color_; }

  bool FlyByEnabled() const { return fly_by_enabled_; }
  void SetFlyByEnabled(bool on) { fly_by_enabled_ = on; }
  void SetFlyByColor(TColor color) { fly_by_color_ = color; }

  bool Blinking() const { return blinking_; }
  void SetBlinking(bool on);
  void SetBlinkColor(TColor color) { blink_color_ = color; }
  // Shared by every blinking widget.
  void SetBlinkIntervalOn(std::uint16_t ms) { blink_.List().SetBlinkIntervalOn(ms); }
  void SetBlinkIntervalOff(std::uint16_t ms) { blink_.List().SetBlinkIntervalOff(ms); }

  // The size automatic sizing gives the current caption, font and frame.
  QSize AutoSizeExtent() const;

  // TBlinkingControl
  bool IsBlinking() const override { return blinking_; }
  void BlinkStateChanged(bool on) override;

 signals:
  void OnClick();
  void OnMouseEnter();
  void OnMouseLeave();

 protected:
  // What a click does after OnClick has fired.
  virtual void Clicked() {}

  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  int TextFlags() const;
  TRect Inside() const;  // the rectangle inside the frame
  TPanelBorder BorderState() const;
  void ApplyAutoSize();
  void Changed();  // re-size and repaint after a change of what is drawn

  QString caption_;
  TPanelBorder border_;
  TTextStyle text_style_ = tsNormal;
  TColor shadow_color_ = clBtnShadow;
  TColor highlight_color_ = clBtnHighlight;
  int shadow_depth_ = 2;
  bool light_text_style_ = false;
  int text_margin_ = 0;
  int angle_ = 0;
  TRotation rotation_ = roNone;
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool word_wrap_ = false;
  bool show_accel_char_ = true;
  bool auto_size_ = true;
  TColor color_ = clBtnFace;
  bool parent_color_ = true;
  bool transparent_ = false;
  TColor font_color_ = clWindowText;
  TColor current_text_color_ = clWindowText;
  bool fly_by_enabled_ = false;
  TColor fly_by_color_ = clHighlight;
  TColor color_before_fly_by_ = clWindowText;
  bool blinking_ = false;
  TColor blink_color_ = clHighlight;
  bool pressed_ = false;
  TBlinkingRegistration blink_{this};
};

class TUrlLabel : public TStyledLabel {
  Q_OBJECT

 public:
  explicit TUrlLabel(QWidget* parent = nullptr);

  // The target a click opens; blanks around it count as empty but are passed on as typed.
  QString URL() const { return url_; }
  void SetURL(const QString& url) { url_ = url; }
  bool Visited() const { return visited_; }
  void SetVisited(bool on);
  TColor VisitedColor() const { return visited_color_; }
  void SetVisitedColor(TColor color);
  TColor UnvisitedColor() const { return unvisited_color_; }
  void SetUnvisitedColor(TColor color);

 protected:
  void Clicked() override;

 private:
  void ApplyLinkColor();

  QString url_;
  bool visited_ = false;
  TColor visited_color_ = RGB(128, 0, 128);
  TColor unvisited_color_ = clHighlight;
};

}  // namespace qelvu
