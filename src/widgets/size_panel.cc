#include "widgets/size_panel.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cstring>
#include <vector>

#include "widgets/dock_layout.h"
#include "widgets/painter_canvas.h"
#include "widgets/property.h"
#include "widgets/widget_error.h"

namespace qelvu {
namespace {

// Cursor images: 'X' black, 'o' white; black shapes get a white outline so that they
// show on any background.
const std::vector<const char*> kSplitGlyph = {
    ".......X..X.......", ".......X..X.......", ".......X..X.......", ".......X..X.......",
    ".......X..X.......", "...X...X..X...X...", "..XX...X..X...XX..", ".XXXXXXX..XXXXXXX.",
    "XXXXXXXX..XXXXXXXX", ".XXXXXXX..XXXXXXX.", "..XX...X..X...XX..", "...X...X..X...X...",
    ".......X..X.......", ".......X..X.......", ".......X..X.......", ".......X..X.......",
    ".......X..X.......",
};
const std::vector<const char*> kSmallSplitGlyph = {
    "...X.X...", ".X.X.X.X.", "XXXX.XXXX", ".X.X.X.X.", "...X.X...",
};
const std::vector<const char*> kArrow = {
    "X...........", "XX..........", "XoX.........", "XooX........", "XoooX.......",
    "XooooX......", "XoooooX.....", "XooooooX....", "XoooooooX...", "XooooooooX..",
    "XoooooooooX.", "XooooooXXXXX", "XoooXooX....", "XooX.XooX...", "XoX..XooX...",
    "XX....XooX..", "X.....XooX..", ".......XooX.", "........XX..",
};

void Stamp(QImage& image, const std::vector<const char*>& art, QPoint at, bool transpose) {
  for (int row = 0; row < static_cast<int>(art.size()); ++row) {
    for (int col = 0; art[row][col] != '\0'; ++col) {
      const char c = art[row][col];
      if (c == '.') continue;
      const QPoint p = at + (transpose ? QPoint(row, col) : QPoint(col, row));
      image.setPixel(p, c == 'X' ? 0xFF000000 : 0xFFFFFFFF);
    }
  }
}

void OutlineBlack(QImage& image) {
  const QImage shape = image.copy();
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      if (qAlpha(shape.pixel(x, y)) != 0) continue;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const QPoint n(x + dx, y + dy);
          if (shape.rect().contains(n) && shape.pixel(n) == 0xFF000000) {
            image.setPixel(x, y, 0xFFFFFFFF);
          }
        }
      }
    }
  }
}

// The band pattern: an 8 x 8 checkerboard of white and black pixels.
QImage BandPattern() {
  QImage pattern(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) pattern.setPixel(x, y, (x + y) % 2 ? 0xFF000000 : 0xFFFFFFFF);
  }
  return pattern;
}

}  // namespace

// The drag band: an overlay on the parent that XORs the checkerboard onto whatever is
// painted beneath it, so showing it twice in one place shows nothing.
class TCustomSizePanel::TDragBand : public QWidget {
 public:
  explicit TDragBand(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(parent->rect());
    raise();
    show();
  }

  void SetBand(const QRect& band) {
    update(band_);
    band_ = band;
    update(band_);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(band_, QBrush(BandPattern()));
  }

 private:
  QRect band_;
};

QCursor TCustomSizePanel::SplitCursor(const char* name) {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  const bool vertical = std::strstr(name, "VERT") != nullptr;
  if (std::strstr(name, "HOTSPOT") == nullptr) {
    Stamp(image, kSplitGlyph, QPoint(0, 0), vertical);
    OutlineBlack(image);
    return QCursor(QPixmap::fromImage(image), 8, 8);
  }
  Stamp(image, kSmallSplitGlyph, vertical ? QPoint(16, 16) : QPoint(14, 20), vertical);
  OutlineBlack(image);
  Stamp(image, kArrow, QPoint(0, 0), false);
  return QCursor(QPixmap::fromImage(image), 0, 0);
}

TCustomSizePanel::TCustomSizePanel(QWidget* parent) : TCustomStyledPanel(parent) {
  setMouseTracking(true);
  Relayout();
}

TCustomSizePanel::~TCustomSizePanel() { EndBand(); }

TAlign TCustomSizePanel::Align() const {
  const TDockLayout* layout = TDockLayout::Of(parentWidget());
  return layout != nullptr && layout->Manages(this) ? layout->AlignOf(this) : align_;
}

void TCustomSizePanel::SetAlign(TAlign align) {
  align_ = align;
  if (TDockLayout* layout = TDockLayout::Of(parentWidget())) layout->SetAlign(this, align);
  Relayout();
}

void TCustomSizePanel::SetSide(TSides side) {
  if (Assign(side_, side)) Relayout();
}
void TCustomSizePanel::SetSizeBarWidth(int width) {
  if (Assign(size_bar_width_, width)) Relayout();
}
void TCustomSizePanel::SetSizeBarStyle(TSizeBarStyle style) {
  size_bar_style_ = style;
  if (style != ssStandard) SetSizeBarWidth(std::max(size_bar_width_, 6));
  update();
}
void TCustomSizePanel::SetHotSpotVisible(bool on) {
  if (!Assign(hot_spot_visible_, on)) return;
  if (on) {
    SetSizeBarWidth(std::max(size_bar_width_, 7));
  } else {
    hot_spot_closed_ = false;
  }
  Relayout();
}
void TCustomSizePanel::SetHotSpotColor(TColor color) {
  if (Assign(hot_spot_colors_.fill, color)) update();
}
void TCustomSizePanel::SetHotSpotHighlight(TColor color) {
  if (Assign(hot_spot_highlight_, color)) update();
}
void TCustomSizePanel::SetHotSpotDotColor(TColor color) {
  if (Assign(hot_spot_colors_.dots, color)) update();
}
void TCustomSizePanel::SetHotSpotFrameColor(TColor color) {
  if (Assign(hot_spot_colors_.frame, color)) update();
}
void TCustomSizePanel::SetHotSpotSizePercent(int percent) {
  if (Assign(hot_spot_size_percent_, percent)) update();
}

void TCustomSizePanel::SetMarginMin(int margin) {
  margin_min_ = std::max(margin, 0);
  if (parentWidget() != nullptr && AvailableLength() < margin_min_ + margin_max_) {
    margin_min_ = std::max(AvailableLength() - margin_max_, 0);
  }
}

void TCustomSizePanel::SetMarginMax(int margin) {
  margin_max_ = std::max(margin, 0);
  if (parentWidget() != nullptr && AvailableLength() < margin_min_ + margin_max_) {
    margin_max_ = std::max(AvailableLength() - margin_min_, 0);
  }
}

void TCustomSizePanel::LoadHotSpotState(bool closed, int position) {
  hot_spot_closed_ = closed;
  hot_spot_position_ = position;
  Relayout();
}

TSizeBarType TCustomSizePanel::BarType() const { return SizeBarTypeOf(Align(), side_); }

TRect TCustomSizePanel::SizeBarBounds() const {
  return SizeBarRect(BarType(), width(), height(), size_bar_width_, false);
}

TRect TCustomSizePanel::HotSpotBounds() const {
  return HotSpotRect(BarType(), SizeBarBounds(), hot_spot_size_percent_);
}

TDragLimits TCustomSizePanel::DragLimits() const {
  const QWidget* parent = parentWidget();
  if (parent == nullptr) throw EWidgetError("No parent specified");
  // Only docked siblings take room; a parent without a dock layout has none.
  const TDockLayout* layout = TDockLayout::Of(parent);
  return {layout != nullptr ? layout->FreeRect() : FromQRect(parent->rect()), FromQRect(geometry()),
          size_bar_width_, margin_min_, margin_max_};
}

int TCustomSizePanel::AvailableLength() const {
  return qelvu::AvailableLength(BarType(), DragLimits());
}

TRect TCustomSizePanel::BodyRect() const {
  return TrimBarSide(FromQRect(rect()), BarType(), size_bar_width_);
}

TRect TCustomSizePanel::ChildArea() const {
  // A collapsed panel leaves out its frame insets.
  const TRect area = hot_spot_closed_ ? FromQRect(rect()) : TCustomStyledPanel::ChildArea();
  return TrimBarSide(area, BarType(), size_bar_width_ + 1);
}

int TCustomSizePanel::SizeAt(int p) const {
  switch (BarType()) {
    case sbRight:
      return press_size_.width() - p;
    case sbBottom:
      return press_size_.height() - p;
    default:
      return p;
  }
}

bool TCustomSizePanel::event(QEvent* event) {
  if (event->type() == TDockLayout::DockChangeEvent()) Relayout();
  return TCustomStyledPanel::event(event);
}

void TCustomSizePanel::paintEvent(QPaintEvent* event) {
  TCustomStyledPanel::paintEvent(event);
  QPainter painter(this);
  TPainterCanvas canvas(painter);
  const TRect bar = SizeBarBounds();
  const TSizeBarType type = BarType();
  const bool vertical = IsVerticalBar(type);
  canvas.FillRect(bar, Color());
  if (size_bar_style_ == ssGroove || size_bar_style_ == ssBump) {
    const TFrameStyle grip = size_bar_style_ == ssGroove ? fsGroove : fsBump;
    const int cx = bar.left + bar.Width() / 2, cy = bar.top + bar.Height() / 2;
    for (int i : {-3, 0}) {
      DrawFrame(canvas,
                vertical ? TRect{cx + i, cy - 15, cx + i + 3, cy + 15}
                         : TRect{cx - 15, cy + i, cx + 15, cy + i + 3},
                grip, sdAllSides);
    }
  } else if (size_bar_style_ == ssGroupBar) {
    QLinearGradient gradient(bar.left, 0, bar.right, 0);
    gradient.setColorAt(0, ToQColor(Color()));
    gradient.setColorAt(1, ToQColor(Lighter(Color(), 30)));
    painter.fillRect(ToQRect(bar), gradient);
  }
  if (!hot_spot_visible_) return;
  bool highlighted = hot_spot_paint_ == THotSpotPaint::kHighlighted;
  if (hot_spot_paint_ == THotSpotPaint::kCycle) {
    if (hot_spot_refresh_pending_) {
      highlighted = HotSpotBounds().Contains(mapFromGlobal(QCursor::pos()).x(),
                                             mapFromGlobal(QCursor::pos()).y());
      hot_spot_refresh_pending_ = false;
    }
    hot_spot_highlighted_ = false;
  }
  // The arrows point where the next click moves the panel's free edge.
  const bool points_back =
      vertical ? (type == sbLeft) != hot_spot_closed_ : (type == sbTop) != hot_spot_closed_;
  THotSpotColors colors = hot_spot_colors_;
  if (highlighted) colors.fill = hot_spot_highlight_;
  DrawHotSpot(canvas, HotSpotBounds(), vertical, points_back, colors);
}

void TCustomSizePanel::RedrawHotSpot(bool highlighted) {
  // Drawn on its own, without invalidating the rest of the panel.
  hot_spot_paint_ = highlighted ? THotSpotPaint::kHighlighted : THotSpotPaint::kNormal;
  repaint(ToQRect(HotSpotBounds()));
  hot_spot_paint_ = THotSpotPaint::kCycle;
}

void TCustomSizePanel::UpdateHover(QPoint local) {
  if (!hot_spot_visible_) return;
  const bool inside = HotSpotBounds().Contains(local.x(), local.y());
  if (inside != hot_spot_highlighted_) {
    RedrawHotSpot(inside);
    hot_spot_highlighted_ = inside;
  }
}

int TCustomSizePanel::Coordinate(QPoint global) const {
  return IsVerticalBar(BarType()) ? global.x() : global.y();
}

QPoint TCustomSizePanel::BandOrigin(int p) const {
  const int s = size_bar_width_;
  switch (BarType()) {
    case sbLeft:
      return {p - s, 0};
    case sbRight:
      return {p + 1, 0};
    case sbTop:
      return {0, p - s};
    default:
      return {0, p + 1};
  }
}

void TCustomSizePanel::DragTo(int p) {
  if (band_ != nullptr) {
    band_->SetBand(QRect(pos() + BandOrigin(p), ToQRect(SizeBarBounds()).size()));
  }
}

void TCustomSizePanel::EndBand() {
  if (band_ == nullptr) return;
  // The parent owns the band: gone from the screen now, deleted once the event loop is back,
  // which is safe even from inside one of the parent's own events.
  band_->hide();
  band_->deleteLater();
  band_ = nullptr;
}

void TCustomSizePanel::SetSize(int size) {
  // A panel on the right (bottom) keeps its right (bottom) edge, docked or not.
  switch (BarType()) {
    case sbLeft:
      resize(size, height());
      break;
    case sbRight:
      setGeometry(x() + width() - size, y(), size, height());
      break;
    case sbTop:
      resize(width(), size);
      break;
    case sbBottom:
      setGeometry(x(), y() + height() - size, width(), size);
      break;
    case sbNone:
      break;
  }
}

void TCustomSizePanel::mousePressEvent(QMouseEvent* event) {
  const QPoint local = event->position().toPoint();
  const bool in_bar = SizeBarBounds().Contains(local.x(), local.y());
  const bool in_hot_spot = hot_spot_visible_ && HotSpotBounds().Contains(local.x(), local.y());
  if (event->button() != Qt::LeftButton || !in_bar || (lock_bar_ && !in_hot_spot) ||
      parentWidget() == nullptr) {
    TCustomStyledPanel::mousePressEvent(event);
    return;
  }
  // The focus lets Esc reach the panel during the drag.
  if (!real_time_drag_) setFocus(Qt::MouseFocusReason);
  bar_drag_active_ = true;
  hot_spot_pressed_ = in_hot_spot;
  const TSizeBarType type = BarType();
  drag_origin_ = type == sbLeft ? width() : type == sbTop ? height() : 0;
  press_coordinate_ = Coordinate(event->globalPosition().toPoint());
  press_size_ = size();
  // Taken once: a live drag changes the panel's own place while the limits must not move.
  drag_limits_ = DragLimits();
  if (!real_time_drag_) {
    band_ = new TDragBand(parentWidget());
    DragTo(drag_origin_);
  }
  drag_position_ = drag_origin_;
}

void TCustomSizePanel::mouseMoveEvent(QMouseEvent* event) {
  const QPoint local = event->position().toPoint();
  UpdateHover(local);
  if (SizeBarBounds().Contains(local.x(), local.y()) && !lock_bar_) {
    const bool vertical = IsVerticalBar(BarType());
    const bool on_hot_spot = hot_spot_visible_ && HotSpotBounds().Contains(local.x(), local.y());
    setCursor(on_hot_spot ? (vertical ? split_horz_hot_spot_ : split_vert_hot_spot_)
                          : (vertical ? split_horz_ : split_vert_));
  } else if (!bar_drag_active_) {
    unsetCursor();
  }
  if (!bar_drag_active_ || (hot_spot_pressed_ && lock_bar_)) return;
  const TSizeBarType type = BarType();
  const int p = ClampDragPosition(
      type, drag_origin_ + Coordinate(event->globalPosition().toPoint()) - press_coordinate_,
      drag_limits_);
  if (p != drag_position_) {
    hot_spot_pressed_ = false;
    const bool grows_forward = type == sbLeft || type == sbTop;
    if (grows_forward ? p > drag_position_ : p < drag_position_) {
      if (Assign(hot_spot_closed_, false)) Relayout();
    }
    DragTo(p);
    if (real_time_drag_) {
      // Live sizes follow the same rule as the size set at release.
      SetSize(SizeAt(p));
    }
  }
  drag_position_ = p;
}

void TCustomSizePanel::mouseReleaseEvent(QMouseEvent* event) {
  const bool left = event->button() == Qt::LeftButton;
  if (!((left && bar_drag_active_) || hot_spot_pressed_)) {
    TCustomStyledPanel::mouseReleaseEvent(event);
    return;
  }
  const bool was_dragging = bar_drag_active_;
  bar_drag_active_ = false;
  if (!real_time_drag_ && was_dragging) {
    EndBand();
    SetSize(SizeAt(drag_position_));
  }
  if (hot_spot_pressed_) {
    hot_spot_pressed_ = false;
    const QPoint local = event->position().toPoint();
    if (HotSpotBounds().Contains(local.x(), local.y())) ToggleHotSpot();
  }
  EndBand();
  hot_spot_refresh_pending_ = true;
  update();
}

void TCustomSizePanel::ToggleHotSpot() {
  const TSizeBarType type = BarType();
  if (hot_spot_closed_) {
    hot_spot_closed_ = false;
    int size = hot_spot_position_;
    if (type == sbLeft || type == sbTop) size = ClampDragPosition(type, size, DragLimits());
    Relayout();
    SetSize(size);
  } else {
    hot_spot_closed_ = true;
    hot_spot_position_ = IsVerticalBar(type) ? width() : height();
    Relayout();
    SetSize(size_bar_width_ + (hot_spot_ignore_margins_ ? 0 : margin_min_) + 1);
  }
  emit HotSpotClick();
}

void TCustomSizePanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape || !bar_drag_active_) {
    TCustomStyledPanel::keyPressEvent(event);
    return;
  }
  bar_drag_active_ = false;
  EndBand();
}

void TCustomSizePanel::leaveEvent(QEvent* event) {
  if (!(hot_spot_pressed_ && lock_bar_)) UpdateHover(QPoint(-1, -1));
  TCustomStyledPanel::leaveEvent(event);
}

}  // namespace qelvu
