#include "bench_view.h"

#include <QCoreApplication>

namespace qelvu::bench {

TBenchView::TBenchView()
    : window_(std::make_unique<QWidget>()),
      tree_widget_(new TStyledTreeView(window_.get())),
      status_panel_(new QLabel(window_.get())),
      tree_(new TQtChannelTree(tree_widget_)) {
  window_->setFixedSize(780, 455);
  tree_widget_->setGeometry(593, 0, 187, 340);
  tree_widget_->SetFrameVisible(true);
  tree_widget_->SetColor(RGB(250, 245, 200));
  tree_widget_->SetRowSelect(true);
  tree_widget_->SetHideSelection(false);
  tree_widget_->SetIndent(19);
  tree_widget_->SetCtl3D(false);
  status_panel_->setGeometry(218, 247, 185, 41);
  window_->show();
  QCoreApplication::processEvents();
}

TBenchView::~TBenchView() = default;

void TBenchView::SetStatusPanelCaption(const std::string& caption) {
  status_panel_->setText(QString::fromStdString(caption));
}

void TBenchView::ProcessPendingMessages() { pump_.ProcessPendingMessages(); }

}  // namespace qelvu::bench
