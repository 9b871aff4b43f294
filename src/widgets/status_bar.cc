#include "widgets/status_bar.h"

#include <QApplication>
#include <QChildEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusTipEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "widgets/painter_canvas.h"
#include "widgets/property.h"

namespace qelvu {
namespace {

constexpr int kGripWidth = 13;
// A pane at the bar's right end leaves this much of its right side to the grip.
constexpr int kPaneGripWidth = 12;

int PaneFrameThickness(TFrameStyle style) {
  switch (style) {
    case fsNone:
    case fsFlatRounded:
      return 0;
    case fsFlat:
    case fsStatus:
    case fsPopup:
      return 1;
    default:
      return 2;
  }
}

TRect Inset(const TRect& rect, int amount) {
  return {rect.left + amount, rect.top + amount, rect.right - amount, rect.bottom - amount};
}

// Draws `text` with its top-left corner at (x, y), clipped to `clip`.
void DrawTextAt(QPainter& painter, const TRect& clip, int x, int y, const QString& text,
                TColor color, const TColor* background) {
  painter.save();
  painter.setClipRect(ToQRect(clip));
  if (background != nullptr) painter.fillRect(ToQRect(clip), ToQColor(*background));
  painter.setPen(ToQColor(color));
  painter.drawText(x, y + painter.fontMetrics().ascent(), text);
  painter.restore();
}

}  // namespace

TColor BackgroundColorOf(const QWidget* widget) {
  if (widget == nullptr) return clBtnFace;
  if (const auto* panel = qobject_cast<const TCustomStyledPanel*>(widget)) return panel->Color();
  return FromQColor(widget->palette().color(widget->backgroundRole()));
}

// ---------------------------------------------------------------------------------------------
// TStatusBar

TStatusBar::TStatusBar(QWidget* parent) : TCustomStyledPanel(parent) {
  TCustomStyledPanel::SetBorderOuter(fsNone);
  setMouseTracking(true);
  resize(width(), 19);
  if (parent != nullptr) parent->installEventFilter(this);
  DockToParent();
}

void TStatusBar::SetAlign(TAlign align) {
  if (Assign(align_, align)) DockToParent();
}

void TStatusBar::SetBorderInner(TFrameStyle style) {
  if (style != BorderInner()) auto_style_ = false;
  TCustomStyledPanel::SetBorderInner(style);
  ArrangePanes();
}

void TStatusBar::SetBorderOuter(TFrameStyle style) {
  if (style != BorderOuter()) auto_style_ = false;
  TCustomStyledPanel::SetBorderOuter(style);
  ArrangePanes();
}

void TStatusBar::SetBorderSides(TSides sides) {
  if (sides != BorderSides()) auto_style_ = false;
  TCustomStyledPanel::SetBorderSides(sides);
  ArrangePanes();
}

void TStatusBar::SetBorderWidth(int width) {
  TCustomStyledPanel::SetBorderWidth(width);
  ArrangePanes();
}

void TStatusBar::SetShowSizeGrip(bool on) {
  if (Assign(show_size_grip_, on)) update();
}

void TStatusBar::SetSimpleStatus(bool on) {
  if (!Assign(simple_status_, on)) return;
  if (on) {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (child->isHidden()) continue;
      hidden_by_simple_.push_back(child);
      child->hide();
    }
  } else {
    for (const QPointer<QWidget>& child : hidden_by_simple_) {
      if (child != nullptr) child->show();
    }
    hidden_by_simple_.clear();
  }
  update();
}

void TStatusBar::SetSimpleCaption(const QString& caption) {
  if (Assign(simple_caption_, caption)) update();
}

void TStatusBar::SetSimpleFrameStyle(TFrameStyle style) {
  if (Assign(simple_frame_style_, style)) update();
}

void TStatusBar::Loaded() {
  if (!auto_style_) return;
  TCustomStyledPanel::SetBorderInner(fsNone);
  TCustomStyledPanel::SetBorderOuter(fsNone);
  TCustomStyledPanel::SetBorderSides(sdAllSides);
  SetBorderWidth(0);
  resize(width(), 19);
  DockToParent();
  ArrangePanes();
}

bool TStatusBar::SizeGripActive() const {
  const QWidget* form = window();
  if (!show_size_grip_ || form == this) return false;
  const bool sizeable = form->minimumSize() != form->maximumSize() &&
                        !form->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint);
  return sizeable && !form->isMaximized();
}

void TStatusBar::StartGripSizing() {
  if (QWindow* handle = window()->windowHandle()) {
    handle->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
  }
}

bool TStatusBar::InGrip(int x) const { return SizeGripActive() && x >= width() - kGripWidth; }

std::vector<TRect> TStatusBar::SizeGripSquares(int width, int height) {
  // Three, two and one squares on rows four pixels apart, leaning on the corner.
  std::vector<TRect> squares;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3 - row; ++column) {
      const int x = width - 3 - 4 * column;
      const int y = height - 3 - 4 * row;
      squares.push_back({x, y, x + 2, y + 2});
    }
  }
  return squares;
}

void TStatusBar::ArrangePanes() {
  if (arranging_) return;
  arranging_ = true;
  const TRect client = ClientArea();
  std::vector<TCustomStatusPane*> left;
  std::vector<TCustomStatusPane*> right;
  for (auto* pane : findChildren<TCustomStatusPane*>(Qt::FindDirectChildrenOnly)) {
    if (pane->isHidden()) continue;
    if (pane->Align() == alLeft) left.push_back(pane);
    if (pane->Align() == alRight) right.push_back(pane);
  }
  const auto by_left = [](QWidget* a, QWidget* b) { return a->x() < b->x(); };
  std::stable_sort(left.begin(), left.end(), by_left);
  std::stable_sort(right.begin(), right.end(),
                   [&](QWidget* a, QWidget* b) { return by_left(b, a); });
  int x = client.left;
  for (auto* pane : left) {
    pane->setGeometry(x, client.top, pane->width(), client.Height());
    x += pane->width();
  }
  x = client.right;
  for (auto* pane : right) {
    x -= pane->width();
    pane->setGeometry(x, client.top, pane->width(), client.Height());
  }
  arranging_ = false;
}

void TStatusBar::DockToParent() {
  QWidget* parent = parentWidget();
  if (align_ != alBottom || parent == nullptr) return;
  setGeometry(0, parent->height() - height(), parent->width(), height());
}

void TStatusBar::paintEvent(QPaintEvent* event) {
  TCustomStyledPanel::paintEvent(event);
  QPainter painter(this);
  TPainterCanvas canvas(painter);
  if (simple_status_) {
    TRect frame{-1, 2, width() + 1, height() + 1};  // the classic bar's client area
    frame.bottom -= 1;
    DrawFrame(canvas, frame, simple_frame_style_, sdAllSides);
    const int text_height = painter.fontMetrics().height();
    const int y = frame.top + (frame.Height() - text_height) / 2;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(frame.left + 3, y + painter.fontMetrics().ascent(), simple_caption_);
  }
  if (SizeGripActive()) {
    const std::vector<TRect> squares = SizeGripSquares(width(), height());
    for (const TRect& square : squares) canvas.FillRect(square, clBtnHighlight);
    for (const TRect& square : squares) {
      canvas.FillRect({square.left - 1, square.top - 1, square.right - 1, square.bottom - 1},
                      clBtnShadow);
    }
  }
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
  TCustomStyledPanel::resizeEvent(event);
  if (auto_scale_panes_ && scaled_width_ > 0 && scaled_width_ != width()) {
    const double delta = width() - scaled_width_;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const double grow = std::nearbyint(delta * child->width() / scaled_width_);
      child->resize(child->width() + static_cast<int>(grow), child->height());
    }
  }
  scaled_width_ = width();
  ArrangePanes();
}

void TStatusBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && InGrip(event->position().toPoint().x())) {
    StartGripSizing();
    return;
  }
  TCustomStyledPanel::mousePressEvent(event);
}

void TStatusBar::mouseMoveEvent(QMouseEvent* event) {
  if (InGrip(event->position().toPoint().x())) {
    setCursor(Qt::SizeFDiagCursor);
  } else {
    unsetCursor();
  }
  TCustomStyledPanel::mouseMoveEvent(event);
}

void TStatusBar::childEvent(QChildEvent* event) {
  TCustomStyledPanel::childEvent(event);
  // Panes place themselves when they are aligned; the others close up when one goes.
  if (event->removed()) ArrangePanes();
}

bool TStatusBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) DockToParent();
  return TCustomStyledPanel::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// TCustomStatusPane

TCustomStatusPane::TCustomStatusPane(QWidget* parent) : QWidget(parent) { resize(100, 20); }

TCustomStatusPane::~TCustomStatusPane() {
  if (auto_hint_ && qApp != nullptr) qApp->removeEventFilter(this);
}

TStatusBar* TCustomStatusPane::Bar() const { return qobject_cast<TStatusBar*>(parentWidget()); }

void TCustomStatusPane::Rearrange() {
  if (TStatusBar* bar = Bar()) bar->ArrangePanes();
}

void TCustomStatusPane::SetCaption(const QString& caption) {
  if (!Assign(caption_, caption)) return;
  ApplyAutoSize();
  TextMetricsChanged();
  update();
}

void TCustomStatusPane::SetAlign(TAlign align) {
  if (Assign(align_, align)) Rearrange();
}

void TCustomStatusPane::SetAlignment(TAlignment alignment) {
  if (Assign(alignment_, alignment)) update();
}

void TCustomStatusPane::SetCaptionOffset(int offset) {
  if (!Assign(caption_offset_, offset)) return;
  ApplyAutoSize();
  update();
}

void TCustomStatusPane::SetAutoSize(bool on) {
  if (Assign(auto_size_, on)) ApplyAutoSize();
}

void TCustomStatusPane::SetDefaultWidth(int width) {
  if (Assign(default_width_, width)) ApplyAutoSize();
}

void TCustomStatusPane::SetFrameStyle(TFrameStyle style) {
  if (Assign(frame_style_, style)) update();
}

void TCustomStatusPane::SetBorderWidth(int width) {
  if (!Assign(border_width_, width)) return;
  ApplyAutoSize();
  update();
}

void TCustomStatusPane::SetFlatColor(TColor color) {
  if (Assign(flat_color_, color)) update();
}

void TCustomStatusPane::SetFlatColorAdjustment(int amount) {
  if (Assign(flat_color_adjustment_, amount)) update();
}

TColor TCustomStatusPane::Color() const {
  return parent_color_ ? BackgroundColorOf(parentWidget()) : color_;
}

void TCustomStatusPane::SetColor(TColor color) {
  color_ = color;
  parent_color_ = false;
  update();
}

void TCustomStatusPane::SetParentColor(bool on) {
  if (Assign(parent_color_, on)) update();
}

void TCustomStatusPane::SetFillColor(TColor color) {
  fill_color_ = color;
  parent_fill_color_ = false;
  update();
}

void TCustomStatusPane::SetParentFillColor(bool on) {
  if (Assign(parent_fill_color_, on)) update();
}

void TCustomStatusPane::SetTransparent(bool on) {
  if (Assign(transparent_, on)) update();
}

void TCustomStatusPane::SetFontColor(TColor color) {
  font_color_ = color;
  if (!blinking_) current_text_color_ = color;
  update();
}

void TCustomStatusPane::SetBlinking(bool on) {
  if (!Assign(blinking_, on)) return;
  if (!on) current_text_color_ = font_color_;
  update();
}

void TCustomStatusPane::BlinkStateChanged(bool on) {
  current_text_color_ = on ? blink_color_ : font_color_;
  repaint();
}

void TCustomStatusPane::SetAutoHint(bool on) {
  if (!Assign(auto_hint_, on)) return;
  if (on) {
    qApp->installEventFilter(this);
  } else {
    qApp->removeEventFilter(this);
  }
}

void TCustomStatusPane::Loaded() {
  if (!parent_color_) SetTransparent(false);
}

TRect TCustomStatusPane::TextRect() const {
  return Inset({0, 0, width(), height()}, border_width_ + PaneFrameThickness(frame_style_));
}

int TCustomStatusPane::TextHeight() const { return fontMetrics().height(); }

int TCustomStatusPane::TextWidth(const QString& text) const {
  return fontMetrics().size(Qt::TextExpandTabs, text).width();
}

TColor TCustomStatusPane::TextColor() const {
  return isEnabled() ? current_text_color_ : clGrayText;
}

void TCustomStatusPane::ApplyAutoSize() {
  if (!auto_size_) return;
  const int width = caption_.isEmpty()
                        ? default_width_
                        : TextWidth(caption_) + 2 * border_width_ + caption_offset_ + 6;
  resize(width, height());
}

void TCustomStatusPane::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TPainterCanvas canvas(painter);
  if (!transparent_) canvas.FillRect({0, 0, width(), height()}, Color());
  const TRect rect = Inset({0, 0, width(), height()}, border_width_);
  if (frame_style_ == fsFlat) {
    // The corner pixels stay out, so neighbouring panes read as separate boxes.
    const TColor color = AdjustedColor(flat_color_, flat_color_adjustment_);
    const auto [l, t, r, b] = rect;
    canvas.Line(l, t + 1, l, b - 1, color);
    canvas.Line(l + 1, t, r - 1, t, color);
    canvas.Line(r - 1, t + 1, r - 1, b - 1, color);
    canvas.Line(l + 1, b - 1, r - 1, b - 1, color);
  } else {
    DrawFrame(canvas, rect, frame_style_, sdAllSides);
  }
  DrawText(painter, TextRect());
}

void TCustomStatusPane::DrawText(QPainter& painter, const TRect& text_rect) {
  DrawPlainText(painter, text_rect);
}

void TCustomStatusPane::DrawPlainText(QPainter& painter, const TRect& text_rect) {
  if (caption_.isEmpty()) return;
  TAlignment alignment = alignment_;
  if (isRightToLeft() && alignment != taCenter) {
    alignment = alignment == taLeftJustify ? taRightJustify : taLeftJustify;
  }
  const auto [l, t, r, b] = text_rect;
  const int text_width = TextWidth(caption_);
  int x = l + caption_offset_ + 1;
  if (alignment == taRightJustify) x = r - caption_offset_ - 1 - text_width;
  if (alignment == taCenter) x = l + (r - l) / 2 - text_width / 2;
  const int y = t + (b - t - TextHeight()) / 2;
  const TColor fill = FillColor();
  DrawTextAt(painter, text_rect, x, y, caption_, TextColor(), transparent_ ? nullptr : &fill);
}

void TCustomStatusPane::setVisible(bool visible) {
  QWidget::setVisible(visible);
  Rearrange();
}

void TCustomStatusPane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  TextMetricsChanged();
  Rearrange();
}

void TCustomStatusPane::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    ApplyAutoSize();
    TextMetricsChanged();
  }
}

void TCustomStatusPane::mousePressEvent(QMouseEvent* event) {
  TStatusBar* bar = Bar();
  const int x = event->position().toPoint().x();
  if (event->button() == Qt::LeftButton && bar != nullptr && bar->SizeGripActive() &&
      geometry().right() + 1 >= bar->ClientArea().right && x >= width() - kPaneGripWidth) {
    bar->StartGripSizing();
    return;
  }
  pressed_ = event->button() == Qt::LeftButton;
}

void TCustomStatusPane::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click) emit OnClick();
}

void TCustomStatusPane::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  emit OnMouseEnter();
}

void TCustomStatusPane::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit OnMouseLeave();
}

bool TCustomStatusPane::eventFilter(QObject* watched, QEvent* event) {
  if (auto_hint_ && event->type() == QEvent::StatusTip) {
    SetCaption(static_cast<QStatusTipEvent*>(event)->tip());
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// TMarqueeStatus

TMarqueeStatus::TMarqueeStatus(QWidget* parent) : TStatusPane(parent) {
  scroll_cycle_ = width();
  timer_.setInterval(scroll_delay_);
  connect(&timer_, &QTimer::timeout, this, &TMarqueeStatus::Tick);
}

void TMarqueeStatus::UpdateTimer() {
  const bool run = scroll_type_ != stNone && scrolling_ && isVisible();
  if (run && !timer_.isActive()) timer_.start();
  if (!run) timer_.stop();
}

void TMarqueeStatus::SetScrollType(TScrollType type) {
  scroll_type_ = type;
  UpdateTimer();
  update();
}

void TMarqueeStatus::SetScrolling(bool on) {
  scrolling_ = on;
  if (!on) scroll_offset_ = 0;
  UpdateTimer();
}

void TMarqueeStatus::SetScrollSize(std::uint16_t pixels) {
  scroll_size_ = std::max<std::uint16_t>(pixels, 1);
}

void TMarqueeStatus::SetScrollDelay(std::uint16_t ms) {
  scroll_delay_ = ms;
  timer_.setInterval(ms);
}

void TMarqueeStatus::TextMetricsChanged() { scroll_cycle_ = TextWidth(Caption()) + width(); }

void TMarqueeStatus::Tick() {
  if (!timer_.isActive() || !isVisible()) return;
  scroll_offset_ += scroll_size_;
  // Only the text moves; the frame stays as it is.
  const TRect text_rect = TextRect();
  RenderOffscreen(text_rect);
  repaint(ToQRect(text_rect));
  if (scroll_offset_ >= scroll_cycle_) scroll_offset_ = 0;
}

TColor TMarqueeStatus::OffscreenBackground() const {
  if (Transparent() && Bar() != nullptr) return Bar()->Color();
  return FillColor();
}

void TMarqueeStatus::DrawText(QPainter& painter, const TRect& text_rect) {
  if (scroll_type_ == stNone) {
    DrawPlainText(painter, text_rect);
    return;
  }
  // Drawn off screen and copied in one piece, so the moving text does not flicker.
  RenderOffscreen(text_rect);
  painter.drawImage(BorderWidth() + 1, BorderWidth() + 1, offscreen_);
}

void TMarqueeStatus::RenderOffscreen(const TRect& text_rect) {
  if (offscreen_.size() != QSize(text_rect.Width(), text_rect.Height())) {
    offscreen_ = QImage(std::max(text_rect.Width(), 1), std::max(text_rect.Height(), 1),
                        QImage::Format_RGB32);
  }
  offscreen_.fill(ToQColor(OffscreenBackground()));
  scrolled_text_x_ = scroll_type_ == stRightToLeft ? width() - scroll_offset_
                                                   : scroll_offset_ - TextWidth(Caption());
  QPainter image_painter(&offscreen_);
  image_painter.setFont(font());
  const int y = text_rect.top + (text_rect.Height() - TextHeight()) / 2 - BorderWidth() - 1;
  DrawTextAt(image_painter, {0, 0, offscreen_.width(), offscreen_.height()}, scrolled_text_x_, y,
             Caption(), TextColor(), nullptr);
}

void TMarqueeStatus::showEvent(QShowEvent* event) {
  TStatusPane::showEvent(event);
  UpdateTimer();
}

void TMarqueeStatus::hideEvent(QHideEvent* event) {
  TStatusPane::hideEvent(event);
  UpdateTimer();
}

}  // namespace qelvu
