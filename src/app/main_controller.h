// `TMain`: the main window's logic - start-up, the channel list, search and play, the banner
// follow-up and the refresh trigger - written against the abstract view `TMainView`.
//
// The view forwards each window event to the handler of the same name. A handler may throw; the
// view's event-dispatch boundary shows the failure's text in a message box. Window thread only.
#pragma once

#include <string>
#include <string_view>

#include "app/main_services.h"
#include "app/main_view.h"
#include "app/site_addresses.h"

namespace qelvu {

// The product name (the program's name for itself, shortcut and caption).
inline constexpr const char kProductName[] = "Qelvu网络电视播放器";
// The channel played at start-up: the first whose name contains this text (UTF-8).
inline constexpr const char kDefaultChannel[] = "东方卫视";

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

  // Finds, selects and plays the first channel (pre-order) whose name holds `text` (GBK bytes).
  void SearchChannel(std::string_view text);
  void btn1Click();
  // Enter clicks the search button; the key itself always goes on to the edit box.
  void edt1KeyPress(char key);
  void tv1DblClick();
  void wb1Resize(int width, int height);
  void wb2NewWindow2(bool& cancel);
  void marquee1Click();
  void marquee2Click();

  // Replaces the whole tree by the channels of cache text; never throws.
  void FillChannelTree(std::string_view text);
  // Reads the cache file and fills the tree from it; throws when the file cannot be read.
  void LoadCachedList();

  const std::string& version() const { return version_; }
  const TSiteAddresses& addresses() const { return addresses_; }

 private:
  // Navigates wb1 to the channel page of a node's suffix.
  void Play(const std::string& suffix);

  TMainView& view_;
  TMainServices& services_;
  const TSiteAddresses addresses_;
  std::string version_;
};

}  // namespace qelvu
