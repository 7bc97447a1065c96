#pragma once

#include "core/settings/save_status.h"
#include "ui/settings/status_label.h"

namespace wrenfold {

// The shared status as a caption: nothing when idle, "已保存" in green, a failure's message in
// orange. The template tab shows failures only.
class SaveStatusView : public StatusLabel {
 public:
  enum class Shows { savedAndFailed, failedOnly };

  explicit SaveStatusView(Shows shows, QWidget* parent = nullptr);

  void setStatus(const SaveStatus& status);

 private:
  Shows shows_;
};

}  // namespace wrenfold
