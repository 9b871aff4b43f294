#include "app/main_controller.h"

#include <filesystem>
#include <utility>

#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "channels/dropped_failure.h"
#include "channels/gbk.h"
#include "common/scope_guard.h"

namespace qelvu {

TMain::TMain(TMainView& view, TMainServices& services, TSiteAddresses addresses)
    : view_(view), services_(services), addresses_(std::move(addresses)) {}

void TMain::FormCreate() {
  // A save killed half-way leaves its temporary file beside the cache; nothing else will ever
  // remove it.
  DropFailure(lcList(), "Removing unfinished cache files",
              [] { RemoveUnfinishedReplacements(GetCacheFileName()); });
  version_ = services_.GetFileVersionString(services_.ExecutablePath());
  view_.SetBannerWidth(view_.ChannelPaneWidth());
  services_.CreateShortcut(services_.ExecutablePath(), kProductName, false);
  view_.SetStatusPaneCaption(" 版本" + version_);
  view_.SetWindowCaption(std::string(kProductName) + " V" + version_);
  view_.ShowUrlLabel();
}

void TMain::FormShow() {
  view_.EnableTimer(TTimerId::tmr1);
  view_.EnableTimer(TTimerId::tmr2);
  view_.Navigate(TBrowserPane::wb2, addresses_.NoticePageUrl);
}

void TMain::tmr1Timer() {
  view_.DisableTimer(TTimerId::tmr1);
  std::error_code ignored;
  if (std::filesystem::exists(GetCacheFileName(), ignored)) {
    LoadCachedList();
    view_.EnableTimer(TTimerId::GetTvListTimer);
  } else {
    services_.ScrapeChannelDirectory(view_);
  }
  SearchChannel(Utf8ToGbk(kDefaultChannel));
  view_.FocusEdit();
}

void TMain::tmr2Timer() {
  const int width = view_.ChannelPaneWidth();
  if (width != view_.BannerWidth()) {
    view_.SetBannerWidth(width);
    view_.RepaintBanner();
  }
}

void TMain::GetTvListTimerTimer() {
  // A refresh that cannot start is not worth troubling the user with.
  DropFailure(lcRefresh(), "Starting the refresh", [this] {
    view_.SendGetTvList();
    view_.DisableTimer(TTimerId::GetTvListTimer);
  });
}

void TMain::WmGetTvList() { services_.StartRefresh(view_); }

void TMain::FormDestroy() {
  services_.StopRefresh();
  ClearChannelTree(view_.tv1());
}

void TMain::SearchChannel(std::string_view text) {
  if (text.empty()) return;
  TChannelTree& tree = view_.tv1();
  const int count = tree.NodeCount();
  for (int i = 0; i < count; ++i) {
    const TreeNode node = tree.NodeAt(i);
    const std::string* suffix = tree.NodeData(node);
    if (suffix == nullptr) continue;
    if (tree.NodeText(node).find(text) == std::string::npos) continue;
    tree.Expand(tree.NodeParent(node));
    tree.Select(node);
    Play(*suffix);
    tree.SetFocus();
    return;
  }
}

void TMain::btn1Click() { SearchChannel(view_.EditText()); }

void TMain::edt1KeyPress(char key) {
  if (key == '\r') btn1Click();
}

void TMain::tv1DblClick() {
  TChannelTree& tree = view_.tv1();
  const TreeNode node = tree.Selected();
  if (node == nullptr) return;
  if (const std::string* suffix = tree.NodeData(node)) Play(*suffix);
}

void TMain::wb1Resize(int, int) { view_.SetBannerWidth(view_.ChannelPaneWidth()); }

void TMain::wb2NewWindow2(bool& cancel) { cancel = true; }

void TMain::marquee1Click() { services_.OpenExternal(addresses_.ServiceSiteUrl); }

void TMain::marquee2Click() { services_.OpenExternal(addresses_.RegistrationPageUrl()); }

void TMain::FillChannelTree(std::string_view text) {
  // The list is only a convenience: whatever goes wrong is dropped, and what was added before
  // the failure stays.
  const bool announced = DropFailure(lcList(), "Announcing the cached list", [this] {
    view_.ProcessPendingMessages();
    view_.ShowStatusPanel();
    view_.SetStatusPanelCaption("加载服务器列表中....");
    view_.RepaintStatusPanel();
  });
  if (!announced) return;  // nothing has changed yet
  TChannelTree& tree = view_.tv1();
  DropFailure(lcList(), "Filling the tree from the cache", [&] {
    tree.BeginUpdate();
    const TScopeGuard resume([&tree] { tree.EndUpdate(); });
    ClearChannelTree(tree);
    std::string previous_category;
    TreeNode category_node = nullptr;
    for (std::string_view line : SplitCacheLines(text)) {
      std::string category = GetField(line, "|", 1);
      if (category != previous_category) {
        category_node = tree.AddCategory(category);
        previous_category = std::move(category);
      }
      if (category_node != nullptr) {
        tree.AddChannel(category_node, GetField(line, "|", 2), GetField(line, "|", 3));
      }
    }
  });
  DropFailure(lcList(), "Hiding the status panel", [this] {
    view_.HideStatusPanel();
    view_.RepaintStatusPanel();
  });
}

void TMain::LoadCachedList() {
  const std::string bytes = ReadFileBytes(GetCacheFileName());
  FillChannelTree(JoinCacheLines(SplitCacheLines(bytes)));
}

void TMain::Play(const std::string& suffix) {
  view_.Navigate(TBrowserPane::wb1, addresses_.DirectoryBaseUrl + GbkToUtf8(suffix));
}

}  // namespace qelvu
