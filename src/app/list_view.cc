#include "app/list_view.h"

#include <algorithm>
#include <span>

#include "channels/dropped_failure.h"
#include "common/scope_guard.h"

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

void ShowHintWhenEmpty(TMainView& view) {
  const TChannelTree& tree = view.tv1();
  const int count = tree.NodeCount();
  bool any_channel = false;
  for (int i = 0; i < count && !any_channel; ++i) any_channel = tree.NodeAt(i).IsChannel();
  view.SetTreeHint(any_channel ? "" : kEmptyTreeHint);
}

struct TListApply::State {
  TMainView& view;
  std::shared_ptr<const TRefreshResult> result;
  std::function<void()> done;
  bool started = false;
  // The next category of the list to add, and the next channel of it.
  size_t category = 0;
  size_t channel = 0;
  // The tree's node of `category` once it exists.
  TreeNode node = nullptr;
};

void TListApply::Start(TMainView& view, std::shared_ptr<const TRefreshResult> result,
                       std::function<void()> done) {
  Stop();
  state_ = std::make_shared<State>(State{view, std::move(result), std::move(done)});
  Continue(state_);
}

void TListApply::Stop() { state_.reset(); }

bool TListApply::Slice(State& state) {
  const TChannelList& list = state.result->list;
  TChannelTree& tree = state.view.tv1();
  tree.BeginUpdate();
  const TScopeGuard resume([&tree] { tree.EndUpdate(); });
  if (!state.started) {
    state.started = true;
    const int count = tree.NodeCount();
    if (!state.result->extends_shown || count == 0) {
      ClearChannelTree(tree);
    } else {
      // Carry on from the last node shown: the rest of its category, then the others.
      const TreeNode last = tree.NodeAt(count - 1);
      state.category = static_cast<size_t>(last.CategoryRow());
      state.channel = last.IsChannel() ? static_cast<size_t>(last.ChannelRow()) + 1 : 0;
      state.node = last.CategoryNode();
    }
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + kSliceTime;
  // The clock is read once per so many nodes, and channels go in that many at a time: reading
  // the clock, like each notice to the tree's views, costs more than adding a node.
  constexpr size_t kNodesPerLook = 256;
  size_t added = 0;
  const auto time_is_up = [&](size_t nodes) {
    added += nodes;
    if (added < kNodesPerLook) return false;
    added = 0;
    return Clock::now() >= end;
  };
  for (; state.category < list.size(); ++state.category, state.channel = 0, state.node = nullptr) {
    const TListCategory& category = list[state.category];
    if (!state.node) state.node = tree.AddCategory(category.name);
    const std::span<const TListChannel> channels(category.channels);
    while (state.channel < channels.size()) {
      const size_t count = std::min(kNodesPerLook, channels.size() - state.channel);
      tree.AddChannels(state.node, channels.subspan(state.channel, count));
      state.channel += count;
      if (time_is_up(count)) return true;
    }
    if (time_is_up(1)) {
      ++state.category;
      state.channel = 0;
      state.node = nullptr;
      return true;
    }
  }
  return false;
}

void TListApply::Continue(std::shared_ptr<State> state) {
  bool more = false;
  if (state->result->changed) {
    DropFailure(lcRefresh(), "Showing the refreshed channel list", [&] { more = Slice(*state); });
  }
  if (!more) {
    Finish(state);
    return;
  }
  QMetaObject::invokeMethod(
      &context_,
      [this, weak = std::weak_ptr<State>(state)] {
        // A stopped or restarted apply has let go of its state.
        if (const std::shared_ptr<State> current = weak.lock(); current && current == state_) {
          Continue(current);
        }
      },
      Qt::QueuedConnection);
}

void TListApply::Finish(std::shared_ptr<State> state) {
  state_.reset();
  DropFailure(lcRefresh(), "Showing the refreshed channel list", [&] {
    state->view.HideStatusPanel();
    state->view.RepaintStatusPanel();
    ShowHintWhenEmpty(state->view);
  });
  if (state->done) state->done();
}

}  // namespace qelvu
