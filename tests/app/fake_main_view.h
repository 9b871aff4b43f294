// An in-memory main window for the window logic's tests: a two-level tree and a record of what
// the logic asked of the view.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_services.h"
#include "app/main_view.h"
#include "channels/source_list.h"

namespace qelvu::test {

class FakeChannelTree : public TChannelTree {
 public:
  struct Channel {
    std::string text;
    std::string suffix;
    std::string options;
  };
  struct Category {
    std::string text;
    std::vector<Channel> channels;
    bool expanded = false;
  };

  int NodeCount() const override { return static_cast<int>(PreOrder().size()); }
  TreeNode NodeAt(int index) const override { return PreOrder().at(index); }
  std::string NodeText(TreeNode node) const override {
    return node.IsChannel() ? ChannelOf(node).text : CategoryOf(node).text;
  }
  const std::string* NodeData(TreeNode node) const override {
    return node.IsChannel() ? &ChannelOf(node).suffix : nullptr;
  }
  const std::string* NodeOptions(TreeNode node) const override {
    return node.IsChannel() ? &ChannelOf(node).options : nullptr;
  }
  TreeNode NodeParent(TreeNode node) const override {
    return node.IsChannel() ? node.CategoryNode() : nullptr;
  }
  TreeNode AddCategory(std::string_view text) override { return InsertCategory(RootCount(), text); }
  TreeNode AddChannel(TreeNode category, std::string_view text, std::string_view suffix,
                      std::string_view options = {}) override {
    const TListChannel channel{std::string(text), std::string(suffix), std::string(options)};
    const int row = ChannelCount(category);
    InsertChannels(category, row, &channel, 1);
    return TreeNode::Channel(category.CategoryRow(), row);
  }
  void Clear() override {
    ShowAll();
    categories_.clear();
    dirty_ = true;
    selected_ = nullptr;
    ++clears;
  }
  int CategoryCount() const override { return RootCount(); }
  int ChannelCount(TreeNode category) const override {
    return static_cast<int>(CategoryOf(category).channels.size());
  }
  TreeNode InsertCategory(int row, std::string_view text) override {
    Changing();
    categories_.insert(categories_.begin() + row, Category{std::string(text), {}});
    return TreeNode::Category(row);
  }
  void RemoveCategory(int row) override {
    Changing();
    categories_.erase(categories_.begin() + row);
  }
  void InsertChannels(TreeNode category, int row, const TListChannel* channels,
                      size_t count) override {
    Changing();
    std::vector<Channel>& own = CategoryOf(category).channels;
    for (size_t i = 0; i < count; ++i) {
      own.insert(own.begin() + row + static_cast<int>(i),
                 Channel{channels[i].name, channels[i].target, channels[i].options});
    }
    inserted_channels += static_cast<int>(count);
  }
  void RemoveChannels(TreeNode category, int row, int count) override {
    Changing();
    std::vector<Channel>& own = CategoryOf(category).channels;
    own.erase(own.begin() + row, own.begin() + row + count);
    removed_channels += count;
  }
  void BeginUpdate() override { ++update_depth; }
  void EndUpdate() override { --update_depth; }
  void Expand(TreeNode node) override {
    if (Shown(node)) CategoryOf(node).expanded = true;
  }
  bool IsExpanded(TreeNode category) const override { return CategoryOf(category).expanded; }
  void Select(TreeNode node) override { selected_ = Shown(node) ? node : nullptr; }
  TreeNode Selected() const override { return selected_; }
  void SetFocus() override { focused = true; }
  TreeNode TopNode() const override { return top_; }
  void ScrollToTop(TreeNode node) override {
    if (Shown(node)) top_ = node;
  }
  void ShowOnly(const std::vector<TreeNode>& channels) override {
    shown_ = channels;
    selected_ = top_ = nullptr;
    for (Category& category : categories_) category.expanded = false;
    for (TreeNode node : channels) CategoryOf(node).expanded = true;
  }
  void ShowAll() override {
    if (!shown_) return;
    shown_.reset();
    selected_ = top_ = nullptr;
    for (Category& category : categories_) category.expanded = false;
  }
  bool Filtered() const override { return shown_.has_value(); }

  // What a filtered tree shows, as Dump does; the whole tree when not filtered.
  std::vector<std::string> DumpShown() const {
    if (!shown_) return Dump();
    std::vector<std::string> lines;
    int category = -1;
    for (TreeNode node : *shown_) {
      if (node.CategoryRow() != category) {
        category = node.CategoryRow();
        lines.push_back("[" + categories_.at(category).text + "]");
      }
      lines.push_back(NodeText(node));
    }
    return lines;
  }

  // The tree as "name=suffix" lines in pre-order (" options" after a playlist channel's),
  // categories as "[name]".
  std::vector<std::string> Dump() const {
    std::vector<std::string> lines;
    for (const Category& category : categories_) {
      lines.push_back("[" + category.text + "]");
      for (const Channel& channel : category.channels) {
        lines.push_back(channel.text + "=" + channel.suffix +
                        (channel.options.empty() ? "" : " " + channel.options));
      }
    }
    return lines;
  }
  const Category& Root(int i) const { return categories_.at(i); }
  int RootCount() const { return static_cast<int>(categories_.size()); }

  int update_depth = 0;
  int clears = 0;
  int inserted_channels = 0;
  int removed_channels = 0;
  bool focused = false;

 private:
  Category& CategoryOf(TreeNode node) { return categories_.at(node.CategoryRow()); }
  const Category& CategoryOf(TreeNode node) const { return categories_.at(node.CategoryRow()); }
  // A structural change shows every node again and moves the places after it.
  void Changing() {
    ShowAll();
    dirty_ = true;
  }
  bool Shown(TreeNode node) const {
    if (!node || !shown_) return static_cast<bool>(node);
    const TreeNode category = node.CategoryNode();
    return std::any_of(shown_->begin(), shown_->end(), [&](TreeNode channel) {
      return node.IsChannel() ? channel == node : channel.CategoryNode() == category;
    });
  }
  const Channel& ChannelOf(TreeNode node) const {
    return CategoryOf(node).channels.at(node.ChannelRow());
  }
  // Rebuilt only after a change, so that walking by index stays linear.
  const std::vector<TreeNode>& PreOrder() const {
    if (dirty_) {
      pre_order_.clear();
      for (int c = 0; c < RootCount(); ++c) {
        pre_order_.push_back(TreeNode::Category(c));
        for (size_t i = 0; i < categories_[c].channels.size(); ++i) {
          pre_order_.push_back(TreeNode::Channel(c, static_cast<int>(i)));
        }
      }
      dirty_ = false;
    }
    return pre_order_;
  }
  mutable std::vector<TreeNode> pre_order_;
  mutable bool dirty_ = false;

  std::vector<Category> categories_;
  TreeNode selected_ = nullptr;
  TreeNode top_ = nullptr;
  std::optional<std::vector<TreeNode>> shown_;
};

class FakeMainView : public TMainView {
 public:
  TChannelTree& tv1() override { return tree; }
  std::string EditText() const override { return edit_text; }
  void FocusEdit() override {
    focus = "edt1";
    tree.focused = false;
  }
  void SetEditText(const std::string& text) override { edit_text = text; }
  void ListChanging() override {
    if (on_list_changing) on_list_changing();
  }
  void ListChanged(std::shared_ptr<const TListKeys> keys) override {
    ++lists_changed;
    if (on_list_changed) on_list_changed(std::move(keys));
  }
  void Navigate(TBrowserPane pane, const std::string& url) override {
    navigations.push_back((pane == TBrowserPane::wb1 ? "wb1 " : "wb2 ") + url);
  }
  int ChannelPaneWidth() const override { return channel_pane_width; }
  void ShowStatusPanel() override { status_panel_visible = true; }
  void HideStatusPanel() override { status_panel_visible = false; }
  void SetStatusPanelCaption(const std::string& caption) override {
    status_panel_captions.push_back(caption);
  }
  void RepaintStatusPanel() override { ++status_panel_repaints; }
  int BannerWidth() const override { return banner_width; }
  void SetBannerWidth(int width) override { banner_width = width; }
  void RepaintBanner() override { ++banner_repaints; }
  void SetStatusPaneCaption(const std::string& caption) override { status_pane = caption; }
  void SetWindowCaption(const std::string& caption) override { window_caption = caption; }
  void ShowUrlLabel() override { url_label_visible = true; }
  void EnableTimer(TTimerId timer) override { timers[timer] = true; }
  void DisableTimer(TTimerId timer) override { timers[timer] = false; }
  void ProcessPendingMessages() override { ++pending_processed; }
  void SendGetTvList() override { ++get_tv_list_sent; }
  void PlayStream(const TPlaylistEntry& channel) override {
    navigations.push_back("stream " + channel.category + "/" + channel.name + " " + channel.url +
                          " ua=" + channel.options.user_agent +
                          " referer=" + channel.options.referer);
  }
  void SetTreeHint(const std::string& hint) override { tree_hint = hint; }
  std::optional<std::string> AskPlaylistFile() override { return Answer("file"); }
  std::optional<std::string> AskPlaylistUrl() override { return Answer("url"); }
  std::optional<TSources> EditSources(const TSources& sources,
                                      const std::string& directory_url) override {
    dialogs.push_back("sources " + directory_url);
    if (!edit_sources) return std::nullopt;
    TSources edited = sources;
    edit_sources(edited);
    return edited;
  }

  FakeChannelTree tree;
  std::string edit_text;
  // Where the apply's notices go (the real window hands them to its logic).
  std::function<void()> on_list_changing;
  std::function<void(std::shared_ptr<const TListKeys>)> on_list_changed;
  int lists_changed = 0;
  std::string focus;
  std::vector<std::string> navigations;
  int channel_pane_width = 585;
  bool status_panel_visible = true;
  std::vector<std::string> status_panel_captions;
  int status_panel_repaints = 0;
  int banner_width = 591;
  int banner_repaints = 0;
  std::string status_pane;
  std::string window_caption;
  bool url_label_visible = false;
  std::map<TTimerId, bool> timers;
  int pending_processed = 0;
  int get_tv_list_sent = 0;
  std::string tree_hint = "(none set)";
  // What the next file or URL dialog answers (nothing: cancelled), and the dialogs shown.
  std::optional<std::string> dialog_answer;
  std::vector<std::string> dialogs;
  // What the user does in the sources dialog; unset: cancels it.
  std::function<void(TSources&)> edit_sources;

 private:
  std::optional<std::string> Answer(const std::string& dialog) {
    dialogs.push_back(dialog);
    return std::exchange(dialog_answer, std::nullopt);
  }
};

// Records the shell and directory requests instead of carrying them out.
class RecordingServices : public TMainServices {
 public:
  std::string ExecutablePath() override { return "/opt/qelvu/bin/qelvu"; }
  std::string GetFileVersionString(const std::string&) override { return version; }
  void CreateShortcut(const std::string& target, const std::string& name,
                      bool in_own_folder) override {
    shortcuts.push_back(target + " " + name + (in_own_folder ? " own" : " desktop"));
  }
  void OpenExternal(const std::string& url) override { opened.push_back(url); }
  void ScrapeChannelDirectory(TMainView&) override { ++scrapes; }
  void StartRefresh(TMainView&, const TRefreshRequest& request) override {
    ++refreshes;
    requests.push_back(request);
  }
  bool RefreshRunning() const override { return refresh_running; }
  // Records how many nodes the tree still held when the window stopped the refresh.
  void StopRefresh() override { stops.push_back(view ? view->tv1().NodeCount() : -1); }

  std::string version = "3.2.0.0";
  std::vector<std::string> shortcuts;
  std::vector<std::string> opened;
  int scrapes = 0;
  int refreshes = 0;
  std::vector<TRefreshRequest> requests;
  bool refresh_running = false;
  std::vector<int> stops;
  TMainView* view = nullptr;  // set to observe the tree at StopRefresh
};

}  // namespace qelvu::test
