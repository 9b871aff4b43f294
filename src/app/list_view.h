// Where channel lists meet the window: straight into the tree while the window's thread
// scrapes (`TTreeScrapeSink`), or a finished refresh applied a slice at a time (`TListApply`),
// and the hint a tree without channels shows. Window thread only.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_view.h"
#include "channels/channel_scraper.h"
#include "channels/refresh_worker.h"

namespace qelvu {

// What a tree without any channel shows, so that a new user finds the tree's menu.
inline constexpr char kEmptyTreeHint[] = "右键添加播放列表";

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

// Shows kEmptyTreeHint in the tree when it holds no channel, and no hint otherwise.
void ShowHintWhenEmpty(TMainView& view);

// Where a node is, by names, so that it can be found again in another list: a category by its
// name and which of that name it is (a list may repeat one), a channel by its category, its name
// and, where names repeat within the category, its target.
struct TNodeKey {
  std::string category;
  int occurrence = 0;
  bool is_channel = false;
  std::string name;
  std::string target;
};
// What the user sees of the tree: expanded categories, the selection and the first row in view.
struct TTreeState {
  std::vector<TNodeKey> expanded;
  std::optional<TNodeKey> selected;
  std::optional<TNodeKey> top;
};

TTreeState CaptureTreeState(const TChannelTree& tree);
// Expands, selects and scrolls to what of `state` the tree still holds; nodes already so are
// left alone, and nothing is collapsed.
void RestoreTreeState(TChannelTree& tree, const TTreeState& state);
std::optional<TNodeKey> KeyOf(const TChannelTree& tree, TreeNode node);
// The node `key` names, or nullptr.
TreeNode FindNode(const TChannelTree& tree, const TNodeKey& key);

// Brings a finished refresh's list into the view's tree. A list of a hundred thousand channels
// takes longer than a window may stand still, so the work is cut into slices of about
// kSliceTime, each with the tree's redrawing suspended and each later one a queued call, so
// that the window paints and its timers tick in between. Only the difference is applied (the
// result's change): a category whose channels did not change is not touched, and within one
// only the channels between its unchanged start and end are replaced. What the user saw is
// kept by names (see TTreeState). The view hears ListChanging before the first change and
// ListChanged once the tree shows the new list; the status panel is hidden and the hint updated
// at the end. A refresh that changed nothing changes no node and tells the view nothing.
class TListApply {
 public:
  static constexpr std::chrono::milliseconds kSliceTime{10};

  // The later slices run through `context`'s event queue; `context` must outlive this object.
  explicit TListApply(QObject& context) : context_(context) {}
  ~TListApply() { Stop(); }
  TListApply(const TListApply&) = delete;
  TListApply& operator=(const TListApply&) = delete;

  // Runs the first slice at once; `done` runs after the last. An apply still running is
  // abandoned first. Never throws: a failure ends the apply, leaving the tree as far as it got.
  void Start(TMainView& view, std::shared_ptr<const TRefreshResult> result,
             std::function<void()> done);
  // No slice and no `done` runs afterwards.
  void Stop();
  bool Running() const { return state_ != nullptr; }

 private:
  struct State;
  // Runs one slice; false when the apply is over.
  static bool Slice(State& state);
  void Continue(std::shared_ptr<State> state);
  void Finish(std::shared_ptr<State> state);

  QObject& context_;
  std::shared_ptr<State> state_;
};

}  // namespace qelvu
