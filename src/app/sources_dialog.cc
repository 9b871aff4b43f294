#include "app/sources_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace qelvu {

TSourcesDialog::TSourcesDialog(TSources sources, std::string directory_url, QWidget* parent)
    : QDialog(parent), sources_(std::move(sources)), directory_url_(std::move(directory_url)) {
  setObjectName(QStringLiteral("sourcesDialog"));
  setWindowTitle(QStringLiteral("频道来源"));
  list_ = new QListWidget(this);
  up_ = new QPushButton(QStringLiteral("上移"), this);
  down_ = new QPushButton(QStringLiteral("下移"), this);
  remove_ = new QPushButton(QStringLiteral("删除"), this);
  up_->setObjectName(QStringLiteral("up"));
  down_->setObjectName(QStringLiteral("down"));
  remove_->setObjectName(QStringLiteral("remove"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  auto* side = new QVBoxLayout;
  side->addWidget(up_);
  side->addWidget(down_);
  side->addWidget(remove_);
  side->addStretch();
  auto* row = new QHBoxLayout;
  row->addWidget(list_, 1);
  row->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  resize(520, 260);

  connect(up_, &QPushButton::clicked, this, [this] { MoveCurrent(-1); });
  connect(down_, &QPushButton::clicked, this, [this] { MoveCurrent(1); });
  connect(remove_, &QPushButton::clicked, this, [this] {
    const int row = list_->currentRow();
    if (row < 0) return;
    sources_.Remove(static_cast<size_t>(row));
    Fill(std::min(row, static_cast<int>(sources_.Items().size()) - 1));
  });
  connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  Fill(0);
}

void TSourcesDialog::Fill(int current) {
  list_->clear();
  for (const TChannelSource& source : sources_.Items()) {
    list_->addItem(
        source.IsDirectory()
            ? QStringLiteral("频道目录网站 %1").arg(QString::fromStdString(directory_url_))
            : QString::fromStdString(source.location));
  }
  list_->setCurrentRow(current);
  UpdateButtons();
}

void TSourcesDialog::UpdateButtons() {
  const int row = list_->currentRow();
  const int count = list_->count();
  up_->setEnabled(row > 0);
  down_->setEnabled(row >= 0 && row + 1 < count);
  remove_->setEnabled(row >= 0);
}

void TSourcesDialog::MoveCurrent(int step) {
  const int row = list_->currentRow();
  const int to = row + step;
  if (row < 0 || to < 0 || to >= list_->count()) return;
  sources_.Move(static_cast<size_t>(row), static_cast<size_t>(to));
  Fill(to);
}

}  // namespace qelvu
