// `TMain`: the main window's logic - start-up, the channel list and its sources, search and
// play, the banner follow-up and the refreshes - written against the abstract view `TMainView`.
//
// The view forwards each window event to the handler of the same name. A handler may throw; the
// view's event-dispatch boundary shows the failure's text in a message box. Window thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/list_view.h"
#include "app/main_services.h"
#include "app/main_view.h"
#include "app/site_addresses.h"
#include "channels/list_keys.h"
#include "channels/search_index.h"

namespace qelvu {

// The product name (the program's name for itself, shortcut and caption).
inline constexpr const char kProductName[] = "Qelvu网络电视播放器";
// The channel played at start-up: the first whose name contains this text (UTF-8).
inline constexpr const char kDefaultChannel[] = "东方卫视";

// The keys the logic handles itself where the focus is.
enum class TKey { Enter, Down, Escape };

class TMain {
 public:
  TMain(TMainView& view, TMainServices& services, TSiteAddresses addresses);

  void FormCreate();
  void FormShow();
  void tmr1Timer();
  void tmr2Timer();
  void GetTvListTimerTimer();
  // The handler of the private refresh message: starts the refresh worker.
  void WmGetTvList();
  void FormDestroy();

  // Finds, selects and plays the first channel (pre-order) whose name matches `text` (GBK
  // bytes) as the search keys match, and gives the focus to the tree.
  void SearchChannel(std::string_view text);
  // Plays the search's next match (the first after an edit), wrapping round; the focus stays.
  void btn1Click();
  // Enter clicks the search button; the key itself always goes on to the edit box.
  void edt1KeyPress(char key);
  // The user edited the search box: the tree shows only the matching channels, or, with the
  // box empty, again what it showed before the search.
  void edt1Change();
  // Down plays the next match; Escape empties the box and returns to the tree. True when the
  // key was used.
  bool edt1KeyDown(TKey key);
  // Enter plays the selected channel. True when the key was used.
  bool tv1KeyDown(TKey key);
  // A left double-click: plays the selected channel.
  void tv1DblClick();
  // Ctrl+F or "/": the focus goes to the search box.
  void FindShortcut();
  // F5: as the menu's "refresh now".
  void RefreshShortcut();
  // From the apply of a refreshed list (see TMainView).
  void ListChanging();
  void ListChanged(std::shared_ptr<const TListKeys> keys);
  void wb1Resize(int width, int height);
  void wb2NewWindow2(bool& cancel);
  void marquee1Click();
  void marquee2Click();

  // The channel tree's menu.
  void mnuAddPlaylistFileClick();
  void mnuAddPlaylistUrlClick();
  void mnuSourcesClick();
  // The same refresh as the timed one, at once; nothing while a refresh runs.
  void mnuRefreshNowClick();

  // Before the first tick: adds the playlists named on the command line (files or URLs) to the
  // sources, each once, and has the first tick read them at once.
  void AddStartupPlaylists(const std::vector<std::string>& given);
  // The same for playlists a later start of the program handed to this window: read at once,
  // or with the first tick when it has not come yet.
  void AddHandedPlaylists(const std::vector<std::string>& given);

  // Replaces the whole tree by the channels of cache text; never throws.
  void FillChannelTree(std::string_view text);
  // Reads the cache file and fills the tree from it; throws when the file cannot be read.
  void LoadCachedList();

  const std::string& version() const { return version_; }
  const TSiteAddresses& addresses() const { return addresses_; }
  const TSources& sources() const { return sources_; }

 private:
  // A directory channel's page in wb1; a playlist channel's stream.
  void Play(TreeNode channel);
  // Adds a playlist source (once) and reads it at once.
  void AddPlaylist(const TChannelSource& source);
  // Writes the sources to the settings file; a failure goes to the caller.
  void SaveSources() const;
  void Refresh(std::vector<TChannelSource> read, bool wait_for_running);
  std::vector<TChannelSource> Playlists() const;
  // The tree shows a new list with these keys: the search starts over on them.
  void ListShown(std::shared_ptr<const TListKeys> keys);
  // Filters the tree by the search box's text (GBK bytes), or shows it as before the search.
  void ApplySearch(const std::string& text);
  std::vector<TreeNode> NodesOf(const std::vector<int>& channels) const;

  TMainView& view_;
  TMainServices& services_;
  const TSiteAddresses addresses_;
  std::string version_;
  TSources sources_;
  // The sources the first tick reads at once.
  std::vector<TChannelSource> startup_reads_;
  bool first_tick_done_ = false;

  // The search keys of the list the tree shows (null while a refreshed list comes in).
  std::shared_ptr<const TListKeys> keys_;
  TSearchFilter filter_;
  // The box's text the tree is filtered by (GBK bytes; empty: not filtered).
  std::string search_text_;
  // What the tree showed before the search began; set while it is filtered.
  std::optional<TTreeState> before_search_;
  // The selection among the matches while a refreshed list comes in.
  std::optional<TNodeKey> searched_selection_;
  // Which match Enter played last (-1: none since the last edit).
  int match_ = -1;
  bool list_changing_ = false;
};

}  // namespace qelvu
