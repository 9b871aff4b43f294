// The main window `Main`: builds the components of the layout table and implements the view
// behind `TMain`, forwarding each window event to the controller's handler of the same name.
//
// Every handler runs through one dispatch boundary that shows an escaping failure's text in a
// message box. Window thread only.
#pragma once

#include <QEvent>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/main_controller.h"
#include "app/message_pump.h"
#include "app/qt_channel_tree.h"

class QLabel;
class QLineEdit;
class QAbstractButton;
class QTimer;
class QTreeView;

namespace qelvu {

class TBrowserHost;
class TMarqueeStatus;
class TStatusBar;
class TStatusPane;
class TUrlLabel;

// The private refresh message, delivered synchronously with QCoreApplication::sendEvent.
inline constexpr QEvent::Type WM_GETTVLIST = static_cast<QEvent::Type>(1039);

class TMainWindow : public QWidget, public TMainView {
  Q_OBJECT

 public:
  TMainWindow(TMainServices& services, TSiteAddresses addresses);
  ~TMainWindow() override;

  TMain& controller() { return controller_; }

  // TMainView
  TChannelTree& tv1() override { return *tree_; }
  std::string EditText() const override;
  void FocusEdit() override;
  void Navigate(TBrowserPane pane, const std::string& url) override;
  int ChannelPaneWidth() const override;
  void ShowStatusPanel() override;
  void HideStatusPanel() override;
  void SetStatusPanelCaption(const std::string& caption) override;
  void RepaintStatusPanel() override;
  int BannerWidth() const override;
  void SetBannerWidth(int width) override;
  void RepaintBanner() override;
  void SetStatusPaneCaption(const std::string& caption) override;
  void SetWindowCaption(const std::string& caption) override;
  void ShowUrlLabel() override;
  void EnableTimer(TTimerId timer) override;
  void DisableTimer(TTimerId timer) override;
  void ProcessPendingMessages() override;
  void SendGetTvList() override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildComponents();
  QTimer* Timer(TTimerId timer) const;
  // The one place where a failure escaping a handler is caught and shown.
  void Dispatch(const std::function<void()>& handler);

  QWidget* pnlNotes_ = nullptr;
  QTreeView* tv1_ = nullptr;
  QWidget* spnl2_ = nullptr;
  QLabel* lbl2_ = nullptr;
  QLineEdit* edt1_ = nullptr;
  QAbstractButton* btn1_ = nullptr;
  QWidget* spnl1_ = nullptr;
  TBrowserHost* wb2_ = nullptr;
  TBrowserHost* wb1_ = nullptr;
  QLabel* pnlAd_ = nullptr;
  TStatusBar* statusBar1_ = nullptr;
  TMarqueeStatus* marquee1_ = nullptr;
  TMarqueeStatus* marquee2_ = nullptr;
  TStatusPane* statusPane1_ = nullptr;
  TUrlLabel* urlLabel1_ = nullptr;
  QLabel* pnl1_ = nullptr;
  QTimer* tmr1_ = nullptr;
  QTimer* tmr2_ = nullptr;
  QTimer* GetTvListTimer_ = nullptr;

  TQtChannelTree* tree_ = nullptr;  // owned by tv1_
  TMain controller_;
  bool shown_ = false;
  TMessagePump pump_;
};

}  // namespace qelvu
