// What the main window's logic needs from the window: the abstract view behind `TMain`.
//
// The real Qt window implements it; tests use a fake. Texts are UTF-8 except where a method says
// GBK. Window thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "channels/channel_sources.h"
#include "channels/channel_tree.h"
#include "channels/list_keys.h"
#include "channels/playlist.h"

namespace qelvu {

enum class TTimerId { tmr1, tmr2, GetTvListTimer };
enum class TBrowserPane { wb1, wb2 };

class TMainView {
 public:
  virtual ~TMainView() = default;

  virtual TChannelTree& tv1() = 0;

  // The search box `edt1`: its text encoded to GBK bytes.
  virtual std::string EditText() const = 0;
  virtual void FocusEdit() = 0;
  // Replaces the box's text (GBK bytes) without telling the logic of an edit.
  virtual void SetEditText(const std::string& text) = 0;

  // Hands a Unicode address to a browser pane; returns at once.
  virtual void Navigate(TBrowserPane pane, const std::string& url) = 0;
  // Plays a playlist channel's stream in the channel pane; returns at once.
  virtual void PlayStream(const TPlaylistEntry& channel) = 0;
  virtual int ChannelPaneWidth() const = 0;

  // The status panel `pnl1`.
  virtual void ShowStatusPanel() = 0;
  virtual void HideStatusPanel() = 0;
  virtual void SetStatusPanelCaption(const std::string& caption) = 0;
  virtual void RepaintStatusPanel() = 0;

  // The banner `pnlAd`.
  virtual int BannerWidth() const = 0;
  virtual void SetBannerWidth(int width) = 0;
  virtual void RepaintBanner() = 0;

  virtual void SetStatusPaneCaption(const std::string& caption) = 0;
  virtual void SetWindowCaption(const std::string& caption) = 0;
  virtual void ShowUrlLabel() = 0;

  virtual void EnableTimer(TTimerId timer) = 0;
  virtual void DisableTimer(TTimerId timer) = 0;

  // Runs the window messages already pending, without waiting for more.
  virtual void ProcessPendingMessages() = 0;

  // Sends the private refresh message to the window and returns once it has been handled.
  virtual void SendGetTvList() = 0;

  // Told by the apply of a refreshed list before its first change to the tree, and once the
  // tree shows the new list, with the list's search keys (null when the apply failed); the real
  // window hands both to the logic's handlers of the same names.
  virtual void ListChanging() = 0;
  virtual void ListChanged(std::shared_ptr<const TListKeys> keys) = 0;

  // A line shown inside the channel tree in place of its nodes' blank; empty shows none.
  virtual void SetTreeHint(const std::string& hint) = 0;

  // The dialogs of the channel tree's menu; each gives nothing when the user cancels.
  // A playlist file's path.
  virtual std::optional<std::string> AskPlaylistFile() = 0;
  // A playlist's web address as typed.
  virtual std::optional<std::string> AskPlaylistUrl() = 0;
  // Lists `sources` in order with remove and move up/down; the edited list when accepted.
  // `directory_url` is the directory site's address, to name it.
  virtual std::optional<TSources> EditSources(const TSources& sources,
                                              const std::string& directory_url) = 0;
};

}  // namespace qelvu
