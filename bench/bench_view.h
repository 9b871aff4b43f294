// A window that carries only what the list figures touch: the channel tree as the main window
// builds it (a `TStyledTreeView` of the same size and settings, behind `TQtChannelTree`) and the
// status panel. Messages run through the main window's pump. Offscreen, window thread only.
#pragma once

#include <QLabel>
#include <QWidget>
#include <memory>
#include <string>

#include "app/main_view.h"
#include "app/message_pump.h"
#include "app/qt_channel_tree.h"
#include "widgets/styled_tree_view.h"

namespace qelvu::bench {

class TBenchView : public TMainView {
 public:
  TBenchView();
  ~TBenchView() override;

  TStyledTreeView* widget() { return tree_widget_; }
  // The last address a browser pane was sent to.
  const std::string& last_navigation() const { return last_navigation_; }

  TChannelTree& tv1() override { return *tree_; }
  std::string EditText() const override { return {}; }
  void FocusEdit() override {}
  void SetEditText(const std::string&) override {}
  void ListChanging() override {}
  void ListChanged(std::shared_ptr<const TListKeys>) override {}
  void Navigate(TBrowserPane, const std::string& url) override { last_navigation_ = url; }
  int ChannelPaneWidth() const override { return 585; }
  void ShowStatusPanel() override { status_panel_->show(); }
  void HideStatusPanel() override { status_panel_->hide(); }
  void SetStatusPanelCaption(const std::string& caption) override;
  void RepaintStatusPanel() override { status_panel_->repaint(); }
  int BannerWidth() const override { return 585; }
  void SetBannerWidth(int) override {}
  void RepaintBanner() override {}
  void SetStatusPaneCaption(const std::string&) override {}
  void SetWindowCaption(const std::string&) override {}
  void ShowUrlLabel() override {}
  void EnableTimer(TTimerId) override {}
  void DisableTimer(TTimerId) override {}
  void ProcessPendingMessages() override;
  void SendGetTvList() override {}
  void PlayStream(const TPlaylistEntry& channel) override { last_navigation_ = channel.url; }
  void SetTreeHint(const std::string&) override {}
  std::optional<std::string> AskPlaylistFile() override { return std::nullopt; }
  std::optional<std::string> AskPlaylistUrl() override { return std::nullopt; }
  std::optional<TSources> EditSources(const TSources&, const std::string&) override {
    return std::nullopt;
  }

 private:
  std::unique_ptr<QWidget> window_;
  TStyledTreeView* tree_widget_;
  QLabel* status_panel_;
  TQtChannelTree* tree_;  // owned by tree_widget_
  TMessagePump pump_;
  std::string last_navigation_;
};

}  // namespace qelvu::bench
