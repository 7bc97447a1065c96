#pragma once

// The "模板" tab: where the user template file lives, the buttons that open its folder or
// create and open it, and the shared status when it is a failure.

#include <QWidget>

#include "core/support/observable.h"

class QLabel;
class QPushButton;

namespace wrenfold {

class SaveStatusView;
class SettingsViewModel;

class TemplateSettingsTab : public QWidget {
 public:
  explicit TemplateSettingsTab(SettingsViewModel& model, QWidget* parent = nullptr);
  ~TemplateSettingsTab() override;
  TemplateSettingsTab(const TemplateSettingsTab&) = delete;
  TemplateSettingsTab& operator=(const TemplateSettingsTab&) = delete;

  // Shows `notices` (owned by this tab from now on) under the tab's header.
  void showNotices(QWidget* notices);

 private:
  SettingsViewModel& model_;
  Observable::Token token_ = 0;
  SaveStatusView* status_ = nullptr;
};

}  // namespace wrenfold
