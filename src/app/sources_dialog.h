// "频道来源": the user's channel sources in the order the list shows them, with buttons that
// remove the selected one and move it up or down. Edits a copy; the caller takes it when the
// dialog is accepted. Window thread only.
#pragma once

#include <QDialog>
#include <string>

#include "channels/channel_sources.h"

class QListWidget;
class QPushButton;

namespace qelvu {

class TSourcesDialog : public QDialog {
 public:
  TSourcesDialog(TSources sources, std::string directory_url, QWidget* parent);

  const TSources& sources() const { return sources_; }
  QListWidget* list() const { return list_; }

 private:
  void Fill(int current);
  void UpdateButtons();
  void MoveCurrent(int step);

  TSources sources_;
  const std::string directory_url_;
  QListWidget* list_;
  QPushButton* up_;
  QPushButton* down_;
  QPushButton* remove_;
};

}  // namespace qelvu
