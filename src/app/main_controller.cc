#include "app/main_controller.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/list_view.h"
#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "channels/dropped_failure.h"
#include "channels/gbk.h"
#include "channels/source_list.h"
#include "common/scope_guard.h"

namespace qelvu {

TMain::TMain(TMainView& view, TMainServices& services, TSiteAddresses addresses)
    : view_(view), services_(services), addresses_(std::move(addresses)) {}

void TMain::FormCreate() {
  // A save killed half-way leaves its temporary file beside the cache; nothing else will ever
  // remove it.
  DropFailure(lcList(), "Removing unfinished cache files",
              [] { RemoveUnfinishedReplacements(GetCacheFileName()); });
  sources_ = TSources::Load(GetSettingsFileName());
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
  first_tick_done_ = true;
  std::error_code ignored;
  const bool cached = std::filesystem::exists(GetCacheFileName(), ignored);
  if (cached) {
    LoadCachedList();
    view_.EnableTimer(TTimerId::GetTvListTimer);
  } else if (sources_.Contains(TChannelSource::Directory())) {
    services_.ScrapeChannelDirectory(view_);
  } else {
    view_.HideStatusPanel();
    view_.RepaintStatusPanel();
  }
  // Playlists are read on the refresh's worker, never here: at a first start every one, and
  // after a start from the cache those the command line named.
  std::vector<TChannelSource> read = std::move(startup_reads_);
  startup_reads_.clear();
  if (!cached) {
    for (const TChannelSource& playlist : Playlists()) {
      if (std::find(read.begin(), read.end(), playlist) == read.end()) read.push_back(playlist);
    }
  }
  if (!read.empty()) Refresh(std::move(read), true);
  SearchChannel(Utf8ToGbk(kDefaultChannel));
  ShowHintWhenEmpty(view_);
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

void TMain::WmGetTvList() { Refresh(sources_.Items(), true); }

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
    if (tree.NodeData(node) == nullptr) continue;
    if (tree.NodeText(node).find(text) == std::string::npos) continue;
    tree.Expand(tree.NodeParent(node));
    tree.Select(node);
    Play(node);
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
  if (tree.NodeData(node) != nullptr) Play(node);
}

void TMain::wb1Resize(int, int) { view_.SetBannerWidth(view_.ChannelPaneWidth()); }

void TMain::wb2NewWindow2(bool& cancel) { cancel = true; }

void TMain::marquee1Click() { services_.OpenExternal(addresses_.ServiceSiteUrl); }

void TMain::marquee2Click() { services_.OpenExternal(addresses_.RegistrationPageUrl()); }

void TMain::mnuAddPlaylistFileClick() {
  const std::optional<std::string> file = view_.AskPlaylistFile();
  if (file && !file->empty()) AddPlaylist(TChannelSource::Playlist(*file));
}

void TMain::mnuAddPlaylistUrlClick() {
  const std::optional<std::string> typed = view_.AskPlaylistUrl();
  if (!typed) return;
  std::string url = *typed;
  url.erase(0, url.find_first_not_of(" \t"));
  url.erase(url.find_last_not_of(" \t") + 1);
  if (url.empty()) return;
  // An address typed without its scheme is a web address all the same.
  if (!IsWebAddress(url)) {
    if (url.find("://") != std::string::npos) {
      throw std::runtime_error("播放列表网址须以 http:// 或 https:// 开头：" + url);
    }
    url = "http://" + url;
  }
  AddPlaylist(TChannelSource::Playlist(url));
}

void TMain::mnuSourcesClick() {
  std::optional<TSources> edited = view_.EditSources(sources_, addresses_.DirectoryBaseUrl);
  if (!edited || *edited == sources_) return;
  sources_ = std::move(*edited);
  // Nothing to read: the list is joined again from what the tree shows, in the new order and
  // without the sources gone.
  Refresh({}, true);
  SaveSources();
}

void TMain::mnuRefreshNowClick() {
  if (services_.RefreshRunning()) return;
  Refresh(sources_.Items(), false);
}

void TMain::AddStartupPlaylists(const std::vector<std::string>& given) {
  bool added = false;
  for (const std::string& name : given) {
    const TChannelSource source = TChannelSource::Playlist(name);
    added = sources_.Add(source) || added;
    if (std::find(startup_reads_.begin(), startup_reads_.end(), source) == startup_reads_.end()) {
      startup_reads_.push_back(source);
    }
  }
  // Unsaved, they still serve this run.
  if (added) DropFailure(lcList(), "Saving the channel sources", [this] { SaveSources(); });
}

void TMain::AddHandedPlaylists(const std::vector<std::string>& given) {
  AddStartupPlaylists(given);
  if (!first_tick_done_) return;
  std::vector<TChannelSource> read = std::move(startup_reads_);
  startup_reads_.clear();
  if (!read.empty()) Refresh(std::move(read), true);
}

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
        std::string options = GetField(line, "|", 4);
        if (!IsPlaylistOptions(options)) options.clear();
        tree.AddChannel(category_node, GetField(line, "|", 2), GetField(line, "|", 3), options);
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

void TMain::Play(TreeNode channel) {
  const TChannelTree& tree = view_.tv1();
  const std::string* target = tree.NodeData(channel);
  const std::string* options = tree.NodeOptions(channel);
  if (options == nullptr || options->empty()) {
    view_.Navigate(TBrowserPane::wb1, addresses_.DirectoryBaseUrl + GbkToUtf8(*target));
    return;
  }
  view_.PlayStream({GbkToUtf8(tree.NodeText(channel)),
                    GbkToUtf8(tree.NodeText(tree.NodeParent(channel))), GbkToUtf8(*target),
                    DecodeChannelOptions(*options).request});
}

void TMain::AddPlaylist(const TChannelSource& source) {
  const bool added = sources_.Add(source);
  // Read even when it was there already: the user asked for it.
  Refresh({source}, true);
  if (added) SaveSources();
}

void TMain::SaveSources() const { sources_.Save(GetSettingsFileName()); }

void TMain::Refresh(std::vector<TChannelSource> read, bool wait_for_running) {
  services_.StartRefresh(view_, {sources_.Items(), std::move(read), wait_for_running});
}

std::vector<TChannelSource> TMain::Playlists() const {
  std::vector<TChannelSource> playlists;
  for (const TChannelSource& source : sources_.Items()) {
    if (!source.IsDirectory()) playlists.push_back(source);
  }
  return playlists;
}

}  // namespace qelvu
