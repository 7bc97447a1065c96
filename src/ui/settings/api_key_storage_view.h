#pragma once

// Below the "API Key" row of the "模型" tab: where the key is kept (config.json, or the desktop's
// keyring when a secret service answers), and what happens to it when the service changes.

#include <QWidget>

class QCheckBox;
class QLabel;

namespace wrenfold {

class SettingsViewModel;

class APIKeyStorageView : public QWidget {
 public:
  explicit APIKeyStorageView(SettingsViewModel& model, QWidget* parent = nullptr);

  // Shows the model's state; never writes back to it.
  void refresh();

 private:
  SettingsViewModel& model_;
  QCheckBox* inKeyring_;
  QLabel* note_;
};

}  // namespace wrenfold
