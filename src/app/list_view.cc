#include "app/list_view.h"

#include "channels/dropped_failure.h"

namespace qelvu {

void TTreeScrapeSink::AddCategory(std::string_view name) {
  category_ = view_.tv1().AddCategory(name);
}

void TTreeScrapeSink::AddChannel(std::string_view name, std::string_view suffix) {
  view_.tv1().AddChannel(category_, name, suffix);
}

void TTreeScrapeSink::ProcessPendingMessages() { view_.ProcessPendingMessages(); }

void TTreeScrapeSink::Finish(bool) {
  view_.HideStatusPanel();
  view_.RepaintStatusPanel();
}

void ApplyRefreshedList(const TChannelBatch& batch, TMainView& view) {
  DropFailure(lcRefresh(), "Showing the refreshed channel list", [&] {
    if (batch.ListSaved()) batch.ReplaceTree(view.tv1());
    view.HideStatusPanel();
    view.RepaintStatusPanel();
  });
}

}  // namespace qelvu
