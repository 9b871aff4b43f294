// Where a scrape's channels meet the window: straight into the tree while the window's thread
// scrapes (`TTreeScrapeSink`), or as one finished batch from the refresh worker
// (`ApplyRefreshedList`). Window thread only.
#pragma once

#include <string_view>

#include "app/main_view.h"
#include "channels/channel_scraper.h"

namespace qelvu {

// Appends to the view's tree and runs pending window messages as the scrape goes; at the end
// hides the status panel.
class TTreeScrapeSink : public TScrapeSink {
 public:
  explicit TTreeScrapeSink(TMainView& view) : view_(view) {}
  void AddCategory(std::string_view name) override;
  void AddChannel(std::string_view name, std::string_view suffix) override;
  void ProcessPendingMessages() override;
  void Finish(bool list_saved) override;

 private:
  TMainView& view_;
  TreeNode category_ = nullptr;
};

// When the refresh saved a list, replaces the tree by it; otherwise leaves the tree as it was.
// Then hides the status panel. Never throws: as with any scrape, a failure is dropped.
void ApplyRefreshedList(const TChannelBatch& batch, TMainView& view);

}  // namespace qelvu
