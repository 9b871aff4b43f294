#include "app/main_window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <exception>

#include "app/gbk.h"
#include "browser/browser_host.h"
#include "widgets/dock_layout.h"
#include "widgets/painter_canvas.h"
#include "widgets/size_panel.h"
#include "widgets/status_bar.h"
#include "widgets/styled_button.h"
#include "widgets/styled_label.h"
#include "widgets/styled_panel.h"
#include "widgets/styled_tree_view.h"

namespace qelvu {
namespace {

// "宋体" is mapped onto an installed CJK font at start-up (see main.cc).
QFont SongTi(int pixel_size, bool bold = false) {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

void SetColors(QWidget* widget, const QColor* background, const QColor* foreground) {
  QPalette palette = widget->palette();
  if (background != nullptr) {
    palette.setColor(QPalette::Window, *background);
    palette.setColor(QPalette::Base, *background);
    widget->setAutoFillBackground(true);
  }
  if (foreground != nullptr) {
    palette.setColor(QPalette::WindowText, *foreground);
    palette.setColor(QPalette::ButtonText, *foreground);
    palette.setColor(QPalette::Text, *foreground);
  }
  widget->setPalette(palette);
}

template <typename W>
W* Make(const char* name, QWidget* parent, int left, int top, int width, int height) {
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

const QColor kBlue(0, 0, 255);

}  // namespace

TMainWindow::TMainWindow(TMainServices& services, TSiteAddresses addresses)
    : controller_(*this, services, std::move(addresses)) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(QStringLiteral("Qelvu网络电视播放器"));
  setFont(SongTi(12));
  const QColor button_face = ToQColor(clBtnFace);  // the palette table's, at creation
  SetColors(this, &button_face, nullptr);
  setFixedSize(780, 455);
  BuildComponents();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    move(available.center() - rect().center());
  }
  Dispatch([this] { controller_.FormCreate(); });
}

TMainWindow::~TMainWindow() {
  Dispatch([this] { controller_.FormDestroy(); });
}

void TMainWindow::BuildComponents() {
  auto* notes = Make<TSizePanel>("pnlNotes", this, 585, 0, 195, 421);
  notes->SetBorderOuter(fsNone);
  notes->SetHotSpotVisible(true);
  notes->SetSizeBarWidth(7);
  notes->SetHotSpotColor(cl3DLight);
  notes->SetHotSpotDotColor(RGB(60, 60, 120));
  notes->SetHotSpotHighlight(RGB(240, 230, 180));
  pnlNotes_ = notes;

  auto* tree = Make<TStyledTreeView>("tv1", pnlNotes_, 8, 0, 187, 340);
  tree->SetFrameVisible(true);
  tree->SetColor(RGB(250, 245, 200));
  tree->SetSelectionPen(QPen(ToQColor(clBtnShadow)));
  tree->SetRowSelect(true);
  tree->SetHideSelection(false);
  tree->SetIndent(19);
  tree->SetCtl3D(false);
  tree->setCursor(Qt::ArrowCursor);
  tv1_ = tree;
  tree_ = new TQtChannelTree(tree);
  tv1_->viewport()->installEventFilter(this);

  auto* search = Make<TStyledPanel>("spnl2", pnlNotes_, 8, 340, 187, 81);
  search->SetBorderOuter(fsNone);
  spnl2_ = search;
  lbl2_ = Make<QLabel>("lbl2", spnl2_, 3, 10, 60, 12);
  lbl2_->setText(QStringLiteral("电视台搜索"));
  lbl2_->setFont(SongTi(12));
  SetColors(lbl2_, nullptr, &kBlue);
  edt1_ = Make<QLineEdit>("edt1", spnl2_, 63, 5, 65, 20);
  edt1_->installEventFilter(this);
  btn1_ = Make<TStyledButton>("btn1", spnl2_, 132, 4, 21, 22);
  btn1_->setText(QStringLiteral("搜"));
  btn1_->setFont(SongTi(12));
  SetColors(btn1_, nullptr, &kBlue);
  connect(btn1_, &QAbstractButton::clicked, this,
          [this] { Dispatch([this] { controller_.btn1Click(); }); });
  auto* notice_holder = Make<TStyledPanel>("spnl1", spnl2_, 0, 31, 187, 50);
  notice_holder->SetBorderOuter(fsFlatRounded);
  spnl1_ = notice_holder;
  wb2_ = Make<TBrowserHost>("wb2", spnl1_, 2, 2, 183, 46);
  wb2_->SetUserInterfaceOptions(
      {DontUseScrollBars, EnablesFormsAutoComplete, DontUse3DBorders, EnableThemes});
  wb2_->OnNewWindow2 = [this](TBrowserControl*, TBrowserControl*&, bool& cancel) {
    Dispatch([this, &cancel] { controller_.wb2NewWindow2(cancel); });
  };

  wb1_ = Make<TBrowserHost>("wb1", this, 0, 0, 585, 421);
  wb1_->SetUserInterfaceOptions({EnablesFormsAutoComplete, EnableThemes});
  wb1_->OnResize = [this](TCustomBrowserHost*, int cx, int cy) {
    Dispatch([this, cx, cy] { controller_.wb1Resize(cx, cy); });
  };
  for (TBrowserHost* pane : {wb2_, wb1_}) {
    pane->PrintOptions.Margins = {19.05, 19.05, 19.05, 19.05};
    pane->Loaded();
  }

  pnlAd_ = Make<QLabel>("pnlAd", this, -3, 0, 591, 36);
  pnlAd_->setText(QStringLiteral("Marvoli电话软件    不换号码    打遍全国4分钱/分钟"));
  pnlAd_->setFont(SongTi(19, true));
  pnlAd_->setAlignment(Qt::AlignCenter);
  pnlAd_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  const QColor button_face = ToQColor(clBtnFace);
  SetColors(pnlAd_, &button_face, &kBlue);

  statusBar1_ = Make<TStatusBar>("statusBar1", this, 0, 421, 780, 34);
  statusBar1_->SetAlign(alNone);  // the window's dock layout keeps it at the bottom
  statusBar1_->SetAutoStyle(false);
  statusBar1_->SetBorderSides(0);
  statusBar1_->SetBorderWidth(0);
  statusBar1_->setFont(SongTi(12));
  marquee1_ = Make<TMarqueeStatus>("marquee1", statusBar1_, 0, 0, 262, 34);
  marquee1_->SetCaption(
      Text("Marvoli官方网站：" + controller_.addresses().ServiceSiteHost() + " "));
  marquee2_ = Make<TMarqueeStatus>("marquee2", statusBar1_, 262, 0, 211, 34);
  marquee2_->SetCaption(QStringLiteral("立即免费注册获赠话费"));
  marquee2_->SetAlignment(taCenter);
  marquee2_->SetScrollDelay(20);
  for (TMarqueeStatus* marquee : {marquee1_, marquee2_}) {
    marquee->SetAlign(alLeft);
    marquee->setFont(SongTi(16));
    marquee->SetFontColor(RGB(255, 0, 0));
    marquee->setCursor(Qt::PointingHandCursor);
    marquee->SetScrollType(stNone);
  }
  connect(marquee1_, &TMarqueeStatus::OnClick, this,
          [this] { Dispatch([this] { controller_.marquee1Click(); }); });
  connect(marquee2_, &TMarqueeStatus::OnClick, this,
          [this] { Dispatch([this] { controller_.marquee2Click(); }); });
  statusPane1_ = Make<TStatusPane>("statusPane1", statusBar1_, 473, 0, 118, 34);
  statusPane1_->SetAlign(alLeft);
  urlLabel1_ = Make<TUrlLabel>("urlLabel1", statusBar1_, 623, 10, 125, 13);
  QFont link_font = SongTi(13);
  link_font.setUnderline(true);
  urlLabel1_->setFont(link_font);
  urlLabel1_->SetCaption(QStringLiteral("Pemblo  一分钟会打字"));
  urlLabel1_->SetURL(Text(controller_.addresses().ProductLink));
  urlLabel1_->SetVisited(true);
  urlLabel1_->hide();

  pnl1_ = Make<QLabel>("pnl1", this, 218, 247, 185, 41);
  pnl1_->setText(QStringLiteral("正在从服务器下载数据..."));
  pnl1_->setAlignment(Qt::AlignCenter);
  pnl1_->setFrameStyle(QFrame::Panel | QFrame::Raised);

  // Docked components follow their containers (and the channel column's size bar); the
  // banner and the download notice float above them.
  auto* dock = new TDockLayout(this);
  dock->AddWidget(pnlNotes_, alRight);
  dock->AddWidget(wb1_, alClient);
  dock->AddWidget(statusBar1_, alBottom);
  notes->DockLayout()->AddWidget(tv1_, alClient);
  notes->DockLayout()->AddWidget(spnl2_, alBottom);
  search->DockLayout()->AddWidget(spnl1_, alBottom);
  notice_holder->DockLayout()->AddWidget(wb2_, alClient);

  tmr1_ = new QTimer(this);
  tmr1_->setInterval(100);
  connect(tmr1_, &QTimer::timeout, this, [this] { Dispatch([this] { controller_.tmr1Timer(); }); });
  tmr2_ = new QTimer(this);
  tmr2_->setInterval(100);
  connect(tmr2_, &QTimer::timeout, this, [this] { Dispatch([this] { controller_.tmr2Timer(); }); });
  GetTvListTimer_ = new QTimer(this);
  GetTvListTimer_->setInterval(20000);
  connect(GetTvListTimer_, &QTimer::timeout, this,
          [this] { Dispatch([this] { controller_.GetTvListTimerTimer(); }); });
}

void TMainWindow::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& failure) {
    QMessageBox::critical(this, QStringLiteral("Qelvu网络电视播放器"),
                          QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    QMessageBox::critical(this, QStringLiteral("Qelvu网络电视播放器"),
                          QStringLiteral("Unknown failure."));
  }
}

bool TMainWindow::event(QEvent* event) {
  if (event->type() == WM_GETTVLIST) {
    Dispatch([this] { controller_.WmGetTvList(); });
    return true;
  }
  return QWidget::event(event);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edt1_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Dispatch([this] { controller_.edt1KeyPress('\r'); });
    }
  } else if (watched == tv1_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    // Let the tree handle the click first, so the node under the mouse is the selected one.
    QMetaObject::invokeMethod(
        this, [this] { Dispatch([this] { controller_.tv1DblClick(); }); }, Qt::QueuedConnection);
  }
  return QWidget::eventFilter(watched, event);
}

void TMainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    Dispatch([this] { controller_.FormShow(); });
  }
}

std::string TMainWindow::EditText() const { return Utf8ToGbk(edt1_->text().toStdString()); }

void TMainWindow::FocusEdit() { edt1_->setFocus(); }

void TMainWindow::Navigate(TBrowserPane pane, const std::string& url) {
  (pane == TBrowserPane::wb1 ? wb1_ : wb2_)->Navigate(Text(url));
}

int TMainWindow::ChannelPaneWidth() const { return wb1_->width(); }

void TMainWindow::ShowStatusPanel() { pnl1_->show(); }
void TMainWindow::HideStatusPanel() { pnl1_->hide(); }
void TMainWindow::SetStatusPanelCaption(const std::string& caption) {
  pnl1_->setText(Text(caption));
}
void TMainWindow::RepaintStatusPanel() { pnl1_->repaint(); }

int TMainWindow::BannerWidth() const { return pnlAd_->width(); }
void TMainWindow::SetBannerWidth(int width) { pnlAd_->resize(width, pnlAd_->height()); }
void TMainWindow::RepaintBanner() { pnlAd_->repaint(); }

void TMainWindow::SetStatusPaneCaption(const std::string& caption) {
  statusPane1_->SetCaption(Text(caption));
}
void TMainWindow::SetWindowCaption(const std::string& caption) { setWindowTitle(Text(caption)); }
void TMainWindow::ShowUrlLabel() { urlLabel1_->show(); }

QTimer* TMainWindow::Timer(TTimerId timer) const {
  switch (timer) {
    case TTimerId::tmr1:
      return tmr1_;
    case TTimerId::tmr2:
      return tmr2_;
    case TTimerId::GetTvListTimer:
      return GetTvListTimer_;
  }
  return nullptr;
}

void TMainWindow::EnableTimer(TTimerId timer) { Timer(timer)->start(); }
void TMainWindow::DisableTimer(TTimerId timer) { Timer(timer)->stop(); }

void TMainWindow::ProcessPendingMessages() { pump_.ProcessPendingMessages(); }

void TMainWindow::SendGetTvList() {
  QEvent message(WM_GETTVLIST);
  QCoreApplication::sendEvent(this, &message);
}

}  // namespace qelvu
