#pragma once

// The "隐私" tab: where the data lives, the tone preference (saved on every edit), the
// buttons that open the data folder or clear the tone samples, and whether Wrenfold starts
// with the session.

#include <QWidget>

#include "core/support/observable.h"

class QCheckBox;
class QPlainTextEdit;

namespace wrenfold {

class SaveStatusView;
class SettingsViewModel;

class PrivacySettingsTab : public QWidget {
 public:
  static constexpr int kMinLines = 3;
  static constexpr int kMaxLines = 5;

  explicit PrivacySettingsTab(SettingsViewModel& model, QWidget* parent = nullptr);
  ~PrivacySettingsTab() override;
  PrivacySettingsTab(const PrivacySettingsTab&) = delete;
  PrivacySettingsTab& operator=(const PrivacySettingsTab&) = delete;

  // Shows `notices` (owned by this tab from now on) under the tab's header.
  void showNotices(QWidget* notices);

 private:
  [[nodiscard]] QPlainTextEdit* makePreferenceField();
  [[nodiscard]] QWidget* makeStartupSection();
  void refresh();
  // Grows the field with its text from three to five lines.
  void fitPreferenceHeight();

  SettingsViewModel& model_;
  Observable::Token token_ = 0;
  QPlainTextEdit* preference_ = nullptr;
  QCheckBox* launchAtLogin_ = nullptr;  // absent when the session offers no autostart
  SaveStatusView* status_ = nullptr;
};

}  // namespace wrenfold
