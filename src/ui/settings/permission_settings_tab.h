#pragma once

// The "权限" tab: accessibility and window capture, each granted or not, with the action that
// leads the user to granting it and a button that checks both again; below them, what this
// desktop session offers each part of a cycle.

#include <QWidget>
#include <string>
#include <vector>

#include "core/support/observable.h"

class QToolButton;

namespace wrenfold {

class PermissionRow;
class SettingsPermissions;

class PermissionSettingsTab : public QWidget {
 public:
  PermissionSettingsTab(SettingsPermissions& permissions, const std::vector<std::string>& sessionOffers = {},
                        QWidget* parent = nullptr);
  ~PermissionSettingsTab() override;
  PermissionSettingsTab(const PermissionSettingsTab&) = delete;
  PermissionSettingsTab& operator=(const PermissionSettingsTab&) = delete;

  [[nodiscard]] PermissionRow& accessibilityRow() const { return *accessibility_; }
  [[nodiscard]] PermissionRow& screenRecordingRow() const { return *screenRecording_; }
  // Absent where the settings were given no input-method route.
  [[nodiscard]] PermissionRow* inputMethodRow() const { return inputMethod_; }

 private:
  void refresh();

  SettingsPermissions& permissions_;
  Observable::Token token_ = 0;
  PermissionRow* accessibility_ = nullptr;
  PermissionRow* screenRecording_ = nullptr;
  PermissionRow* inputMethod_ = nullptr;
};

}  // namespace wrenfold
