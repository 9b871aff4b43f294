#include "app/main_controller.h"

#include <algorithm>
#include <filesystem>
#include <future>
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
  first_tick_done_ = true;
  std::error_code ignored;
  const bool cached = std::filesystem::exists(GetCacheFileName(), ignored);
  if (cached) {
    LoadCachedList();
    view_.EnableTimer(TTimerId::GetTvListTimer);
  } else if (sources_.Contains(TChannelSource::Directory())) {
    services_.ScrapeChannelDirectory(view_);
    // The scrape itself held the window's thread; the keys of its few pages take no longer.
    DropFailure(lcList(), "Building the search keys",
                [this] { ListShown(TListKeys::Build(ListFromTree(view_.tv1()))); });
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
  if (text.empty() || !keys_) return;
  const std::vector<int> matches = keys_->index()->Find(GbkToUtf8(text));
  if (matches.empty()) return;
  const TreeNode node = keys_->NodeOf(matches.front());
  if (node) SelectAndPlay(node);
}

void TMain::btn1Click() {
  const std::string text = view_.EditText();
  if (text != search_text_) ApplySearch(text);
  if (text.empty() || list_changing_ || !keys_) return;
  const std::vector<int>& matches = filter_.Matches();
  if (matches.empty()) return;
  match_ = (match_ + 1) % static_cast<int>(matches.size());
  const TreeNode node = keys_->NodeOf(matches[static_cast<size_t>(match_)]);
  if (!node) return;
  TChannelTree& tree = view_.tv1();
  tree.Expand(tree.NodeParent(node));
  tree.Select(node);
  Play(node);
}

void TMain::edt1KeyPress(char key) {
  if (key == '\r') btn1Click();
}

void TMain::edt1Change() { ApplySearch(view_.EditText()); }

bool TMain::edt1KeyDown(TKey key) {
  switch (key) {
    case TKey::Down:
      btn1Click();
      return true;
    case TKey::Escape:
      view_.SetEditText("");
      ApplySearch("");
      view_.tv1().SetFocus();
      return true;
    case TKey::Enter:
      break;
  }
  return false;
}

bool TMain::tv1KeyDown(TKey key) {
  if (key != TKey::Enter) return false;
  tv1DblClick();
  return true;
}

void TMain::tv1DblClick() {
  TChannelTree& tree = view_.tv1();
  const TreeNode node = tree.Selected();
  if (node == nullptr) return;
  if (tree.NodeData(node) != nullptr) Play(node);
}

void TMain::FindShortcut() { view_.FocusEdit(); }

void TMain::RefreshShortcut() { mnuRefreshNowClick(); }

void TMain::ListChanging() {
  list_changing_ = true;
  keys_.reset();
  filter_.Reset(nullptr);
  TChannelTree& tree = view_.tv1();
  // The tree changes under a filter only as a whole; the search is put back on the new list.
  if (tree.Filtered()) {
    searched_selection_ = KeyOf(tree, tree.Selected());
    tree.ShowAll();
  }
}

void TMain::ListChanged(std::shared_ptr<const TListKeys> keys) {
  // A refresh is no edit of the search: Enter goes on after the match it played last, which
  // the refresh keeps selected.
  const bool cycling = match_ >= 0;
  list_changing_ = false;
  ListShown(std::move(keys));
  TChannelTree& tree = view_.tv1();
  if (const std::optional<TNodeKey> selected = std::exchange(searched_selection_, std::nullopt);
      selected && tree.Filtered()) {
    tree.Select(FindNode(tree, *selected));
  }
  if (!cycling || !keys_ || !tree.Filtered()) return;
  const std::vector<int>& matches = filter_.Matches();
  const TreeNode played = tree.Selected();
  const auto found = std::find_if(matches.begin(), matches.end(),
                                  [&](int channel) { return keys_->NodeOf(channel) == played; });
  if (found != matches.end()) match_ = static_cast<int>(found - matches.begin());
}

void TMain::ListShown(std::shared_ptr<const TListKeys> keys) {
  keys_ = std::move(keys);
  filter_.Reset(keys_ ? keys_->index() : nullptr);
  // The box's text is applied again to the new list.
  const std::string text = std::exchange(search_text_, std::string());
  if (!text.empty()) ApplySearch(text);
}

void TMain::ApplySearch(const std::string& text) {
  search_text_ = text;
  match_ = -1;
  if (list_changing_) return;  // applied once the new list is in
  TChannelTree& tree = view_.tv1();
  if (text.empty()) {
    tree.ShowAll();
    if (before_search_) RestoreTreeState(tree, *before_search_);
    before_search_.reset();
    return;
  }
  if (!before_search_) before_search_ = CaptureTreeState(tree);
  tree.ShowOnly(NodesOf(filter_.Update(GbkToUtf8(text))));
}

std::vector<TreeNode> TMain::NodesOf(const std::vector<int>& channels) const {
  std::vector<TreeNode> nodes;
  if (!keys_) return nodes;
  nodes.reserve(channels.size());
  for (const int channel : channels) {
    if (const TreeNode node = keys_->NodeOf(channel)) nodes.push_back(node);
  }
  return nodes;
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
  TChannelList list;
  std::future<std::shared_ptr<const TListKeys>> keys;
  const bool filled = DropFailure(lcList(), "Filling the tree from the cache", [&] {
    list = ListFromCacheText(text);
    // The keys are built on a thread of their own while this one fills the tree.
    keys = std::async(std::launch::async, [&list] { return TListKeys::Build(list); });
    tree.BeginUpdate();
    const TScopeGuard resume([&tree] { tree.EndUpdate(); });
    ClearChannelTree(tree);
    for (const TListCategory& category : list) {
      const TreeNode node = tree.AddCategory(category.name);
      tree.InsertChannels(node, 0, category.channels.data(), category.channels.size());
    }
  });
  // Waited for even after a failure: the builder reads `list`.
  std::shared_ptr<const TListKeys> built;
  if (keys.valid()) DropFailure(lcList(), "Building the search keys", [&] { built = keys.get(); });
  ListShown(filled ? std::move(built) : nullptr);
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
