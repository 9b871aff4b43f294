// The main window `Main`: builds the components of the layout table and implements the view
// behind `TMain`, forwarding each window event to the controller's handler of the same name.
//
// Every handler runs through one dispatch boundary that shows an escaping failure's text in a
// message box. Window thread only.
#pragma once

#include <QEvent>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "app/message_pump.h"
#include "app/qt_channel_tree.h"

class QLabel;
class QLineEdit;
class QAbstractButton;
class QTimer;
class QTreeView;

namespace qelvu {

class TBrowserHost;
struct TDownloadProgress;
class TMarqueeStatus;
class TSizePanel;
class TStatusBar;
class TStreamPlayer;
class TStatusPane;
class TStyledPanel;
class TUrlLabel;

// The private refresh message, delivered synchronously with QCoreApplication::sendEvent.
inline constexpr QEvent::Type WM_GETTVLIST = static_cast<QEvent::Type>(1039);

class TMainWindow : public QWidget, public TMainView {
  Q_OBJECT

 public:
  TMainWindow(TMainServices& services, TSiteAddresses addresses);
  ~TMainWindow() override;

  TMain& controller() { return controller_; }
  // Playlists a later start of the program handed over (files or URLs): added and read as the
  // controller says, and the window comes to the front, also for none.
  void TakeHandedPlaylists(const std::vector<std::string>& playlists);

  // TMainView
  TChannelTree& tv1() override { return *tree_; }
  std::string EditText() const override;
  void FocusEdit() override;
  void SetEditText(const std::string& text) override;
  void ListChanging() override;
  void ListChanged(std::shared_ptr<const TListKeys> keys) override;
  void Navigate(TBrowserPane pane, const std::string& url) override;
  int ChannelPaneWidth() const override;
  void ShowStatusPanel() override;
  void HideStatusPanel() override;
  void SetStatusPanelCaption(const std::string& caption) override;
  void RepaintStatusPanel() override;
  int BannerWidth() const override;
  void SetBannerWidth(int width) override;
  void RepaintBanner() override;
  void SetStatusPaneCaption(const std::string& caption) override;
  void SetWindowCaption(const std::string& caption) override;
  void ShowUrlLabel() override;
  void EnableTimer(TTimerId timer) override;
  void DisableTimer(TTimerId timer) override;
  void ProcessPendingMessages() override;
  void SendGetTvList() override;
  void PlayStream(const TPlaylistEntry& channel) override;
  void SetTreeHint(const std::string& hint) override;
  std::optional<std::string> AskPlaylistFile() override;
  std::optional<std::string> AskPlaylistUrl() override;
  std::optional<TSources> EditSources(const TSources& sources,
                                      const std::string& directory_url) override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildComponents();
  QTimer* Timer(TTimerId timer) const;
  // The one place where a failure escaping a handler is caught and shown.
  void Dispatch(const std::function<void()>& handler);

  // Creates a component of the layout table under its parent there, named and placed as the
  // table says.
  template <typename W>
  W* Place(const char* name);
  void BuildChannelColumn();
  void BuildBrowserPanes();
  void BuildStatusBar();
  void BuildTimers();
  void BuildTreeMenu();
  // Ctrl+F and F5 for the controller; F11 takes the channel pane full screen and back.
  void BuildShortcuts();
  void DockComponents();
  void ShowDownload(const TDownloadProgress& progress);
  // The channel column's width and collapsed state, kept in the settings file between runs.
  void RestoreChannelColumn();
  void SaveChannelColumn() const;

  // The components, by their names in the layout table; all are children of the window.
  TSizePanel* pnlNotes_ = nullptr;      // the channel column on the right, with its size bar
  QTreeView* tv1_ = nullptr;            // the channel tree
  TStyledPanel* spnl2_ = nullptr;       // the search box's panel under the tree
  QLabel* lbl2_ = nullptr;              // the search box's caption
  QLineEdit* edt1_ = nullptr;           // the search box
  QAbstractButton* btn1_ = nullptr;     // the search button
  TStyledPanel* spnl1_ = nullptr;       // the framed holder of the notice pane
  TBrowserHost* wb2_ = nullptr;         // the notice (weather) pane
  TBrowserHost* wb1_ = nullptr;         // the channel pane: the playing channel's page
  QLabel* pnlAd_ = nullptr;             // the banner across the top of the channel pane
  TStatusBar* statusBar1_ = nullptr;    // the status bar
  TMarqueeStatus* marquee1_ = nullptr;  // the service site's promotion
  TMarqueeStatus* marquee2_ = nullptr;  // the registration page's promotion
  TStatusPane* statusPane1_ = nullptr;  // the version text
  TUrlLabel* urlLabel1_ = nullptr;      // the product site's link
  QLabel* pnl1_ = nullptr;              // the notice shown while a list loads
  QLabel* treeHint_ = nullptr;          // the line an empty channel tree shows
  QTimer* tmr1_ = nullptr;              // the first tick after showing: loads the list
  QTimer* tmr2_ = nullptr;              // keeps the banner as wide as the channel pane
  QTimer* GetTvListTimer_ = nullptr;    // the refresh, 20 s after a start from the cache

  TQtChannelTree* tree_ = nullptr;  // owned by tv1_
  // Plays playlist channels in wb1; goes with the window, before the engine's profile.
  std::unique_ptr<TStreamPlayer> player_;
  TMain controller_;
  bool shown_ = false;
  TMessagePump pump_;
};

}  // namespace qelvu
