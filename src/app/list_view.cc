#include "app/list_view.h"

#include <algorithm>
#include <unordered_map>

#include "channels/dropped_failure.h"
#include "channels/source_list.h"
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

namespace {

// Each category name's rows, in order, so that the n-th of a name is found at once.
std::unordered_map<std::string, std::vector<int>> CategoryRows(const TChannelTree& tree) {
  std::unordered_map<std::string, std::vector<int>> rows;
  const int count = tree.CategoryCount();
  for (int row = 0; row < count; ++row) rows[tree.NodeText(TreeNode::Category(row))].push_back(row);
  return rows;
}

TreeNode Find(const TChannelTree& tree,
              const std::unordered_map<std::string, std::vector<int>>& rows, const TNodeKey& key) {
  const auto found = rows.find(key.category);
  if (found == rows.end() || key.occurrence >= static_cast<int>(found->second.size())) {
    return nullptr;
  }
  const TreeNode category = TreeNode::Category(found->second[static_cast<size_t>(key.occurrence)]);
  if (!key.is_channel) return category;
  TreeNode named = nullptr;
  const int count = tree.ChannelCount(category);
  for (int row = 0; row < count; ++row) {
    const TreeNode channel = TreeNode::Channel(category.CategoryRow(), row);
    if (tree.NodeText(channel) != key.name) continue;
    if (*tree.NodeData(channel) == key.target) return channel;
    if (!named) named = channel;
  }
  return named;
}

}  // namespace

std::optional<TNodeKey> KeyOf(const TChannelTree& tree, TreeNode node) {
  if (!node) return std::nullopt;
  const TreeNode category = node.CategoryNode();
  TNodeKey key;
  key.category = tree.NodeText(category);
  for (int row = 0; row < category.CategoryRow(); ++row) {
    if (tree.NodeText(TreeNode::Category(row)) == key.category) ++key.occurrence;
  }
  if (node.IsChannel()) {
    key.is_channel = true;
    key.name = tree.NodeText(node);
    key.target = *tree.NodeData(node);
  }
  return key;
}

TreeNode FindNode(const TChannelTree& tree, const TNodeKey& key) {
  return Find(tree, CategoryRows(tree), key);
}

TTreeState CaptureTreeState(const TChannelTree& tree) {
  TTreeState state;
  std::unordered_map<std::string, int> seen;
  const int count = tree.CategoryCount();
  for (int row = 0; row < count; ++row) {
    const TreeNode category = TreeNode::Category(row);
    std::string name = tree.NodeText(category);
    const int occurrence = seen[name]++;
    if (!tree.IsExpanded(category)) continue;
    TNodeKey& key = state.expanded.emplace_back();
    key.category = std::move(name);
    key.occurrence = occurrence;
  }
  state.selected = KeyOf(tree, tree.Selected());
  state.top = KeyOf(tree, tree.TopNode());
  return state;
}

void RestoreTreeState(TChannelTree& tree, const TTreeState& state) {
  const auto rows = CategoryRows(tree);
  for (const TNodeKey& key : state.expanded) {
    const TreeNode category = Find(tree, rows, key);
    if (category && !tree.IsExpanded(category)) tree.Expand(category);
  }
  // Selecting scrolls the selection into view, so the first row is put back after it.
  if (state.selected) {
    const TreeNode selected = Find(tree, rows, *state.selected);
    if (selected && selected != tree.Selected()) tree.Select(selected);
  }
  if (state.top) {
    const TreeNode top = Find(tree, rows, *state.top);
    if (top && top != tree.TopNode()) tree.ScrollToTop(top);
  }
}

struct TListApply::State {
  State(TMainView& view, std::shared_ptr<const TRefreshResult> result, std::function<void()> done)
      : view(view), result(std::move(result)), done(std::move(done)) {}

  TMainView& view;
  std::shared_ptr<const TRefreshResult> result;
  std::function<void()> done;
  bool started = false;
  bool failed = false;
  TListChange change;
  TTreeState kept;
  // Of change.removed, how many are still to go (they go from the last).
  size_t removing = 0;
  // The next category of the list to bring in; whether its node is there and its old channels
  // gone, and how many of its new ones are in.
  size_t category = 0;
  bool entered = false;
  bool cleared = false;
  size_t inserted = 0;
};

void TListApply::Start(TMainView& view, std::shared_ptr<const TRefreshResult> result,
                       std::function<void()> done) {
  Stop();
  state_ = std::make_shared<State>(view, std::move(result), std::move(done));
  Continue(state_);
}

void TListApply::Stop() { state_.reset(); }

bool TListApply::Slice(State& state) {
  const TChannelList& list = state.result->list;
  TChannelTree& tree = state.view.tv1();
  if (!state.started) {
    state.started = true;
    state.view.ListChanging();
    state.kept = CaptureTreeState(tree);
    state.change = state.result->change;
    const TListChange& change = state.change;
    const bool shows_shown =
        static_cast<size_t>(tree.CategoryCount()) == change.shown_categories &&
        static_cast<size_t>(tree.NodeCount()) == change.shown_categories + change.shown_channels &&
        change.categories.size() == list.size();
    if (!shows_shown) {
      // The tree is not the one the change was worked out for: every node is made anew.
      ClearChannelTree(tree);
      state.change = DiffLists({}, list);
    }
    state.removing = state.change.removed.size();
  }
  tree.BeginUpdate();
  const TScopeGuard resume([&tree] { tree.EndUpdate(); });
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + kSliceTime;
  // Nodes are added and removed so many at a time: the clock is read once per batch.
  constexpr int kBatch = 512;
  while (state.removing > 0) {
    const int row = state.change.removed[state.removing - 1];
    const TreeNode category = TreeNode::Category(row);
    const int channels = tree.ChannelCount(category);
    if (channels > 0) {
      const int count = std::min(channels, kBatch);
      tree.RemoveChannels(category, channels - count, count);
    } else {
      tree.RemoveCategory(row);
      --state.removing;
    }
    if (Clock::now() >= end) return true;
  }
  for (; state.category < list.size(); ++state.category) {
    const TListCategory& category = list[state.category];
    const TCategoryChange& change = state.change.categories[state.category];
    const int row = static_cast<int>(state.category);
    const TreeNode node = TreeNode::Category(row);
    if (!state.entered) {
      state.entered = true;
      state.cleared = false;
      state.inserted = 0;
      if (change.shown < 0) tree.InsertCategory(row, category.name);
    }
    const int head = static_cast<int>(change.head);
    const int tail = static_cast<int>(change.tail);
    while (!state.cleared) {
      const int old_middle = tree.ChannelCount(node) - head - tail;
      if (old_middle <= 0) {
        state.cleared = true;
        break;
      }
      tree.RemoveChannels(node, head, std::min(old_middle, kBatch));
      if (Clock::now() >= end) return true;
    }
    const size_t middle = category.channels.size() - change.head - change.tail;
    while (state.inserted < middle) {
      const size_t count = std::min(middle - state.inserted, static_cast<size_t>(kBatch));
      tree.InsertChannels(node, head + static_cast<int>(state.inserted),
                          &category.channels[change.head + state.inserted], count);
      state.inserted += count;
      if (Clock::now() >= end) return true;
    }
    state.entered = false;
    if (Clock::now() >= end) {
      ++state.category;
      return state.category < list.size();
    }
  }
  return false;
}

void TListApply::Continue(std::shared_ptr<State> state) {
  bool more = false;
  if (state->result->changed) {
    state->failed = !DropFailure(lcRefresh(), "Showing the refreshed channel list",
                                 [&] { more = Slice(*state); });
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
  if (state->started) {
    DropFailure(lcRefresh(), "Keeping what the tree showed", [&] {
      RestoreTreeState(state->view.tv1(), state->kept);
      // The keys of a list that did not make it whole into the tree would point elsewhere.
      state->view.ListChanged(state->failed ? nullptr : state->result->keys);
    });
  }
  DropFailure(lcRefresh(), "Showing the refreshed channel list", [&] {
    state->view.HideStatusPanel();
    state->view.RepaintStatusPanel();
    ShowHintWhenEmpty(state->view);
  });
  if (state->done) state->done();
}

}  // namespace qelvu
