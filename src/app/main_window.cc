#include "app/main_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QWebEnginePage>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "app/sources_dialog.h"
#include "browser/browser_host.h"
#include "channels/channel_sources.h"
#include "channels/gbk.h"
#include "player/stream_player.h"
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

// Where each component sits: the layout table, as name, parent, left, top, width and height.
struct TPlacement {
  const char* name;
  const char* parent;  // "Main" is the window itself
  int left, top, width, height;
};

constexpr TPlacement kLayout[] = {
    {"pnlNotes", "Main", 585, 0, 195, 421},
    {"tv1", "pnlNotes", 8, 0, 187, 340},
    {"spnl2", "pnlNotes", 8, 340, 187, 81},
    {"lbl2", "spnl2", 3, 10, 60, 12},
    {"edt1", "spnl2", 63, 5, 65, 20},
    {"btn1", "spnl2", 132, 4, 21, 22},
    {"spnl1", "spnl2", 0, 31, 187, 50},
    {"wb2", "spnl1", 2, 2, 183, 46},
    {"wb1", "Main", 0, 0, 585, 421},
    {"pnlAd", "Main", -3, 0, 591, 36},
    {"statusBar1", "Main", 0, 421, 780, 34},
    {"marquee1", "statusBar1", 0, 0, 262, 34},
    {"marquee2", "statusBar1", 262, 0, 211, 34},
    {"statusPane1", "statusBar1", 473, 0, 118, 34},
    {"urlLabel1", "statusBar1", 623, 10, 125, 13},
    {"pnl1", "Main", 218, 247, 185, 41},
};

const TPlacement& PlacementOf(std::string_view name) {
  for (const TPlacement& placement : kLayout) {
    if (placement.name == name) return placement;
  }
  throw std::logic_error("No component \"" + std::string(name) + "\" in the layout table.");
}

// "/" puts the focus in the search box wherever it is not typed as text.
bool IsFindKey(const QEvent* event) {
  const auto* key = static_cast<const QKeyEvent*>(event);
  return key->text() == QLatin1String("/") &&
         (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
}

QString ProductName() { return QString::fromUtf8(kProductName); }

const QColor kBlue(0, 0, 255);

}  // namespace

TMainWindow::TMainWindow(TMainServices& services, TSiteAddresses addresses)
    : controller_(*this, services, std::move(addresses)) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(ProductName());
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
  SaveChannelColumn();
  Dispatch([this] { controller_.FormDestroy(); });
}

template <typename W>
W* TMainWindow::Place(const char* name) {
  const TPlacement& placement = PlacementOf(name);
  QWidget* parent = objectName() == QLatin1String(placement.parent)
                        ? this
                        : findChild<QWidget*>(QLatin1String(placement.parent));
  if (parent == nullptr)
    throw std::logic_error(std::string(name) + " is placed before its parent.");
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(placement.left, placement.top, placement.width, placement.height);
  return widget;
}

void TMainWindow::BuildComponents() {
  BuildChannelColumn();
  BuildBrowserPanes();
  BuildStatusBar();
  pnl1_ = Place<QLabel>("pnl1");
  pnl1_->setText(QStringLiteral("正在从服务器下载数据..."));
  pnl1_->setAlignment(Qt::AlignCenter);
  pnl1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  // Its parent's background: without one, the text would float on the page under it.
  const QColor button_face = ToQColor(clBtnFace);
  SetColors(pnl1_, &button_face, nullptr);
  DockComponents();
  BuildTimers();
  BuildTreeMenu();
  BuildShortcuts();
  RestoreChannelColumn();
}

void TMainWindow::ShowDownload(const TDownloadProgress& progress) {
  // The status panel is free while a download runs: the list loads before any page does.
  if (progress.finished) {
    pnl1_->hide();
    return;
  }
  const QString name = QFileInfo(progress.path).fileName();
  pnl1_->setText(
      progress.total > 0
          ? QStringLiteral("正在下载 %1：%2%")
                .arg(name)
                .arg(progress.received * 100 / progress.total)
          : QStringLiteral("正在下载 %1：%2 KB").arg(name).arg(progress.received / 1024));
  pnl1_->show();
}

void TMainWindow::BuildChannelColumn() {
  pnlNotes_ = Place<TSizePanel>("pnlNotes");
  pnlNotes_->SetBorderOuter(fsNone);
  pnlNotes_->SetHotSpotVisible(true);
  pnlNotes_->SetSizeBarWidth(7);
  pnlNotes_->SetHotSpotColor(cl3DLight);
  pnlNotes_->SetHotSpotDotColor(RGB(60, 60, 120));
  pnlNotes_->SetHotSpotHighlight(RGB(240, 230, 180));

  auto* tree = Place<TStyledTreeView>("tv1");
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

  spnl2_ = Place<TStyledPanel>("spnl2");
  spnl2_->SetBorderOuter(fsNone);
  lbl2_ = Place<QLabel>("lbl2");
  lbl2_->setText(QStringLiteral("电视台搜索"));
  lbl2_->setFont(SongTi(12));
  SetColors(lbl2_, nullptr, &kBlue);
  edt1_ = Place<QLineEdit>("edt1");
  edt1_->installEventFilter(this);
  // Only the user's edits: the logic's own SetEditText tells it nothing.
  connect(edt1_, &QLineEdit::textEdited, this,
          [this] { Dispatch([this] { controller_.edt1Change(); }); });
  tv1_->installEventFilter(this);
  btn1_ = Place<TStyledButton>("btn1");
  btn1_->setText(QStringLiteral("搜"));
  btn1_->setFont(SongTi(12));
  SetColors(btn1_, nullptr, &kBlue);
  connect(btn1_, &QAbstractButton::clicked, this,
          [this] { Dispatch([this] { controller_.btn1Click(); }); });
  spnl1_ = Place<TStyledPanel>("spnl1");
  spnl1_->SetBorderOuter(fsFlatRounded);
}

void TMainWindow::BuildBrowserPanes() {
  wb2_ = Place<TBrowserHost>("wb2");
  wb2_->SetUserInterfaceOptions(
      {DontUseScrollBars, EnablesFormsAutoComplete, DontUse3DBorders, EnableThemes});
  wb2_->OnNewWindow2 = [this](TBrowserControl*, TBrowserControl*&, bool& cancel) {
    Dispatch([this, &cancel] { controller_.wb2NewWindow2(cancel); });
  };

  wb1_ = Place<TBrowserHost>("wb1");
  wb1_->SetUserInterfaceOptions({EnablesFormsAutoComplete, EnableThemes});
  player_ = std::make_unique<TStreamPlayer>(*wb1_->Page()->profile());
  TStreamPlayer::AllowPlaybackWithoutGesture(*wb1_->Page());
  wb1_->OnResize = [this](TCustomBrowserHost*, int cx, int cy) {
    Dispatch([this, cx, cy] { controller_.wb1Resize(cx, cy); });
  };
  for (TBrowserHost* pane : {wb2_, wb1_}) {
    pane->OnDownloadProgress = [this](TCustomBrowserHost*, const TDownloadProgress& progress) {
      ShowDownload(progress);
    };
    pane->PrintOptions.Margins = {19.05, 19.05, 19.05, 19.05};
    pane->Loaded();
  }

  pnlAd_ = Place<QLabel>("pnlAd");
  pnlAd_->setText(QStringLiteral("Marvoli电话软件    不换号码    打遍全国4分钱/分钟"));
  pnlAd_->setFont(SongTi(19, true));
  pnlAd_->setAlignment(Qt::AlignCenter);
  pnlAd_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  const QColor button_face = ToQColor(clBtnFace);
  SetColors(pnlAd_, &button_face, &kBlue);
}

void TMainWindow::BuildStatusBar() {
  statusBar1_ = Place<TStatusBar>("statusBar1");
  statusBar1_->SetAlign(alNone);  // the window's dock layout keeps it at the bottom
  statusBar1_->SetAutoStyle(false);
  statusBar1_->SetBorderSides(0);
  statusBar1_->SetBorderWidth(0);
  statusBar1_->setFont(SongTi(12));
  marquee1_ = Place<TMarqueeStatus>("marquee1");
  marquee1_->SetCaption(
      Text("Marvoli官方网站：" + controller_.addresses().ServiceSiteHost() + " "));
  marquee2_ = Place<TMarqueeStatus>("marquee2");
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
  statusPane1_ = Place<TStatusPane>("statusPane1");
  statusPane1_->SetAlign(alLeft);
  urlLabel1_ = Place<TUrlLabel>("urlLabel1");
  QFont link_font = SongTi(13);
  link_font.setUnderline(true);
  urlLabel1_->setFont(link_font);
  urlLabel1_->SetCaption(QStringLiteral("Pemblo  一分钟会打字"));
  urlLabel1_->SetURL(Text(controller_.addresses().ProductLink));
  urlLabel1_->SetVisited(true);
  urlLabel1_->hide();
}

void TMainWindow::DockComponents() {
  // Docked components follow their containers (and the channel column's size bar); the
  // banner and the download notice float above them.
  auto* dock = new TDockLayout(this);
  dock->AddWidget(pnlNotes_, alRight);
  dock->AddWidget(wb1_, alClient);
  dock->AddWidget(statusBar1_, alBottom);
  pnlNotes_->DockLayout()->AddWidget(tv1_, alClient);
  pnlNotes_->DockLayout()->AddWidget(spnl2_, alBottom);
  spnl2_->DockLayout()->AddWidget(spnl1_, alBottom);
  spnl1_->DockLayout()->AddWidget(wb2_, alClient);
}

void TMainWindow::BuildTimers() {
  const auto make_timer = [this](int interval_ms, void (TMain::*handler)()) {
    auto* timer = new QTimer(this);
    timer->setInterval(interval_ms);
    connect(timer, &QTimer::timeout, this,
            [this, handler] { Dispatch([this, handler] { (controller_.*handler)(); }); });
    return timer;
  };
  tmr1_ = make_timer(100, &TMain::tmr1Timer);
  tmr2_ = make_timer(100, &TMain::tmr2Timer);
  GetTvListTimer_ = make_timer(20000, &TMain::GetTvListTimerTimer);
}

void TMainWindow::BuildTreeMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("tv1Menu"));
  const auto add = [this, menu](const char* caption, void (TMain::*handler)()) {
    connect(menu->addAction(QString::fromUtf8(caption)), &QAction::triggered, this,
            [this, handler] { Dispatch([this, handler] { (controller_.*handler)(); }); });
  };
  add("添加播放列表文件…", &TMain::mnuAddPlaylistFileClick);
  add("添加播放列表网址…", &TMain::mnuAddPlaylistUrlClick);
  add("频道来源…", &TMain::mnuSourcesClick);
  add("立即刷新", &TMain::mnuRefreshNowClick);
  static_cast<TStyledTreeView*>(tv1_)->SetPopupMenu(menu);

  treeHint_ = new QLabel(tv1_->viewport());
  treeHint_->setObjectName(QStringLiteral("tv1Hint"));
  treeHint_->setAttribute(Qt::WA_TransparentForMouseEvents);
  treeHint_->move(4, 4);
  treeHint_->hide();
}

void TMainWindow::TakeHandedPlaylists(const std::vector<std::string>& playlists) {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  raise();
  activateWindow();
  Dispatch([this, &playlists] { controller_.AddHandedPlaylists(playlists); });
}

void TMainWindow::BuildShortcuts() {
  const auto add = [this](const QKeySequence& keys, void (TMain::*handler)()) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this,
            [this, handler] { Dispatch([this, handler] { (controller_.*handler)(); }); });
  };
  add(QKeySequence::Find, &TMain::FindShortcut);
  add(QKeySequence(Qt::Key_F5), &TMain::RefreshShortcut);
  // Application-wide, so that F11 also works in the full-screen window, which is not ours;
  // Escape in the pane leaves full screen too.
  auto* full_screen = new QShortcut(QKeySequence(Qt::Key_F11), this);
  full_screen->setContext(Qt::ApplicationShortcut);
  connect(full_screen, &QShortcut::activated, this,
          [this] { wb1_->SetFullScreen(!wb1_->IsFullScreen()); });
}

namespace {

constexpr char kColumnWidthKey[] = "window/channel_column_width";
constexpr char kColumnCollapsedKey[] = "window/channel_column_collapsed";
constexpr char kColumnRestoreKey[] = "window/channel_column_restore_width";

}  // namespace

void TMainWindow::RestoreChannelColumn() {
  const QSettings settings(QString::fromStdString(GetSettingsFileName()), QSettings::IniFormat);
  bool ok = false;
  const int stored = settings.value(QLatin1String(kColumnWidthKey)).toInt(&ok);
  if (!ok) return;
  // A width the window cannot hold (an edited file, a layout of another version) is cut down.
  const int width = std::clamp(stored, pnlNotes_->SizeBarWidth() + 1, this->width() - 1);
  const bool collapsed = settings.value(QLatin1String(kColumnCollapsedKey)).toBool();
  const int restore = std::clamp(settings.value(QLatin1String(kColumnRestoreKey)).toInt(),
                                 pnlNotes_->SizeBarWidth() + 1, this->width() - 1);
  pnlNotes_->LoadHotSpotState(collapsed, restore);
  pnlNotes_->setGeometry(pnlNotes_->x() + pnlNotes_->width() - width, pnlNotes_->y(), width,
                         pnlNotes_->height());
}

void TMainWindow::SaveChannelColumn() const {
  const std::string file = GetSettingsFileName();
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
  QSettings settings(QString::fromStdString(file), QSettings::IniFormat);
  settings.setValue(QLatin1String(kColumnWidthKey), pnlNotes_->width());
  settings.setValue(QLatin1String(kColumnCollapsedKey), pnlNotes_->HotSpotClosed());
  settings.setValue(QLatin1String(kColumnRestoreKey), pnlNotes_->HotSpotPosition());
  // A layout that cannot be kept is not worth a word to the user on the way out.
  settings.sync();
}

void TMainWindow::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& failure) {
    QMessageBox::critical(this, ProductName(), QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    // The boundary of every handler: whatever escapes is shown, never lost.
    QMessageBox::critical(this, ProductName(), QStringLiteral("Unknown failure."));
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
  const auto key_of = [](QEvent* event) -> std::optional<TKey> {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:  // the keypad's
        return TKey::Enter;
      case Qt::Key_Down:
        return TKey::Down;
      case Qt::Key_Escape:
        return TKey::Escape;
      default:
        return std::nullopt;
    }
  };
  if (watched == edt1_ && event->type() == QEvent::KeyPress) {
    const std::optional<TKey> key = key_of(event);
    if (key == TKey::Enter) {
      Dispatch([this] { controller_.edt1KeyPress('\r'); });
    } else if (key) {
      bool used = false;
      Dispatch([this, &used, key] { used = controller_.edt1KeyDown(*key); });
      if (used) return true;
    }
  } else if (watched == tv1_ && event->type() == QEvent::KeyPress) {
    if (IsFindKey(event)) {
      Dispatch([this] { controller_.FindShortcut(); });
      return true;
    }
    if (const std::optional<TKey> key = key_of(event)) {
      bool used = false;
      Dispatch([this, &used, key] { used = controller_.tv1KeyDown(*key); });
      if (used) return true;
    }
  } else if (watched == tv1_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    // Let the tree handle the click first, so the node under the mouse is the selected one.
    QMetaObject::invokeMethod(
        this, [this] { Dispatch([this] { controller_.tv1DblClick(); }); }, Qt::QueuedConnection);
  }
  return QWidget::eventFilter(watched, event);
}

void TMainWindow::keyPressEvent(QKeyEvent* event) {
  // Reaches the window from components that leave "/" alone; the search box and the pages
  // take it as text.
  if (IsFindKey(event)) {
    Dispatch([this] { controller_.FindShortcut(); });
    return;
  }
  QWidget::keyPressEvent(event);
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

void TMainWindow::SetEditText(const std::string& text) { edt1_->setText(Text(GbkToUtf8(text))); }

void TMainWindow::ListChanging() {
  Dispatch([this] { controller_.ListChanging(); });
}

void TMainWindow::ListChanged(std::shared_ptr<const TListKeys> keys) {
  Dispatch([this, &keys] { controller_.ListChanged(std::move(keys)); });
}

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

void TMainWindow::PlayStream(const TPlaylistEntry& channel) {
  wb1_->Navigate(player_->PageUrl(channel).toString());
}

void TMainWindow::SetTreeHint(const std::string& hint) {
  treeHint_->setText(Text(hint));
  treeHint_->adjustSize();
  treeHint_->setVisible(!hint.empty());
}

std::optional<std::string> TMainWindow::AskPlaylistFile() {
  const QString file = QFileDialog::getOpenFileName(
      this, QStringLiteral("添加播放列表文件"), QString(),
      QStringLiteral("播放列表 (*.m3u *.m3u8 *.M3U *.M3U8);;所有文件 (*)"));
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

std::optional<std::string> TMainWindow::AskPlaylistUrl() {
  bool ok = false;
  const QString url = QInputDialog::getText(this, QStringLiteral("添加播放列表网址"),
                                            QStringLiteral("M3U/M3U8 播放列表的网址："),
                                            QLineEdit::Normal, QStringLiteral("http://"), &ok);
  if (!ok) return std::nullopt;
  return url.toStdString();
}

std::optional<TSources> TMainWindow::EditSources(const TSources& sources,
                                                 const std::string& directory_url) {
  TSourcesDialog dialog(sources, directory_url, this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.sources();
}

}  // namespace qelvu
