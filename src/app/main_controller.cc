#include "app/main_controller.h"

#include <algorithm>
#include <filesystem>
#include <optional>
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
  // A save killed half-way leaves its temporary file beside the cache or a watch list; nothing
  // else will ever remove it.
  DropFailure(lcList(), "Removing unfinished saves", [] {
    for (const std::string& file :
         {GetCacheFileName(), GetFavouritesFileName(), GetRecentFileName()}) {
      RemoveUnfinishedReplacements(file);
    }
  });
  sources_ = TSources::Load(GetSettingsFileName());
  favourites_ = TWatchList::Load(GetFavouritesFileName());
  recent_ = TWatchList::Load(GetRecentFileName(), kRecentLength);
  ShowWatchLists();
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
  if (!PlayLastWatched()) SearchChannel(Utf8ToGbk(kDefaultChannel));
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
    SelectAndPlay(node);
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

bool TMain::IsFavourite(TreeNode channel) const {
  return channel.IsChannel() && favourites_.Contains(ChannelAt(channel));
}

void TMain::mnuPlayClick(TreeNode channel) {
  if (channel.IsChannel()) SelectAndPlay(channel);
}

void TMain::mnuFavouriteClick(TreeNode channel) {
  if (!channel.IsChannel()) return;
  const TListChannel favourite = ChannelAt(channel);
  if (!favourites_.Remove(favourite)) favourites_.Add(favourite);
  // Unsaved, the change still holds for this run.
  DropFailure(lcList(), "Saving the favourites",
              [this] { favourites_.Save(GetFavouritesFileName()); });
  ShowWatchLists();
}

void TMain::mnuCopyAddressClick(TreeNode channel) {
  if (channel.IsChannel()) view_.CopyToClipboard(AddressOf(channel));
}

void TMain::mnuOpenInBrowserClick(TreeNode channel) {
  if (channel.IsChannel()) services_.OpenExternal(AddressOf(channel));
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
  const TListChannel watched = ChannelAt(channel);
  if (watched.options.empty()) {
    view_.Navigate(TBrowserPane::wb1, AddressOf(channel));
  } else {
    view_.PlayStream({GbkToUtf8(watched.name), GbkToUtf8(tree.NodeText(tree.NodeParent(channel))),
                      AddressOf(channel), DecodeChannelOptions(watched.options).request});
  }
  if (!recent_.PutFirst(watched)) return;
  DropFailure(lcList(), "Saving the recently watched",
              [this] { recent_.Save(GetRecentFileName()); });
  ShowWatchLists();
}

void TMain::SelectAndPlay(TreeNode channel) {
  TChannelTree& tree = view_.tv1();
  tree.Expand(tree.NodeParent(channel));
  tree.Select(channel);
  Play(channel);
  tree.SetFocus();
}

TListChannel TMain::ChannelAt(TreeNode channel) const {
  const TChannelTree& tree = view_.tv1();
  const std::string* options = tree.NodeOptions(channel);
  return {tree.NodeText(channel), *tree.NodeData(channel), options ? *options : std::string()};
}

std::string TMain::AddressOf(TreeNode channel) const {
  const TChannelTree& tree = view_.tv1();
  const std::string target = GbkToUtf8(*tree.NodeData(channel));
  const std::string* options = tree.NodeOptions(channel);
  return options == nullptr || options->empty() ? addresses_.DirectoryBaseUrl + target : target;
}

bool TMain::PlayLastWatched() {
  if (recent_.Empty()) return false;
  const TListChannel last = recent_.Items().front();
  const TChannelTree& tree = view_.tv1();
  const int count = tree.NodeCount();
  for (int i = 0; i < count; ++i) {
    const TreeNode node = tree.NodeAt(i);
    if (!node.IsChannel() || !IsSameChannel(ChannelAt(node), last)) continue;
    SelectAndPlay(node);
    return true;
  }
  // A favourite plays from where it was stored, in the list or not; favourites are shown first.
  const int favourite = favourites_.IndexOf(last);
  if (favourite < 0) return false;
  SelectAndPlay(TreeNode::PinnedChannel(0, favourite));
  return true;
}

void TMain::ShowWatchLists() {
  TChannelTree& tree = view_.tv1();
  // The pinned handles end with the change: a pinned selection is found again by its names.
  const TreeNode selected = tree.Selected();
  std::string selected_category;
  std::optional<TListChannel> selected_channel;
  if (selected.IsPinned()) {
    selected_category = tree.NodeText(selected.CategoryNode());
    if (selected.IsChannel()) selected_channel = ChannelAt(selected);
  }
  std::vector<std::pair<std::string, const TWatchList*>> shown;
  if (!favourites_.Empty()) shown.emplace_back(Utf8ToGbk(kFavouritesCategory), &favourites_);
  if (!recent_.Empty()) shown.emplace_back(Utf8ToGbk(kRecentCategory), &recent_);
  std::vector<TListCategory> pinned;
  for (const auto& [name, list] : shown) pinned.push_back({name, list->Items()});
  tree.SetPinned(pinned);
  for (size_t row = 0; row < shown.size(); ++row) {
    if (shown[row].first != selected_category) continue;
    const int index = selected_channel ? shown[row].second->IndexOf(*selected_channel) : -1;
    if (index >= 0) {
      tree.Select(TreeNode::PinnedChannel(static_cast<int>(row), index));
    } else if (!selected_channel) {
      tree.Select(TreeNode::PinnedCategory(static_cast<int>(row)));
    }
  }
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
