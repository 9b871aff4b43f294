// Where channel lists meet the window: straight into the tree while the window's thread
// scrapes (`TTreeScrapeSink`), or a finished refresh applied a slice at a time (`TListApply`),
// and the hint a tree without channels shows. Window thread only.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

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

// Shows kEmptyTreeHint in the tree when it shows no channel and no pinned category, and no hint
// otherwise.
void ShowHintWhenEmpty(TMainView& view);

// Brings a finished refresh's list into the view's tree. A list of a hundred thousand channels
// takes longer than a window may stand still, so the work is cut into slices of about
// kSliceTime, each with the tree's redrawing suspended and each later one a queued call, so
// that the window paints and its timers tick in between. A list that only adds to the end of
// the one shown is appended; any other replaces the tree. The status panel is hidden and the
// hint updated at the end. A refresh that changed nothing changes no node.
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
