#pragma once

// The "模型" tab: the service picker that fills in recommended parameters, the connection
// fields, the API key with its eye toggle, the generation preferences and the save row.

#include <QWidget>
#include <optional>

#include "core/support/observable.h"
#include "ui/settings/model_service_tools.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

namespace wrenfold {

class APIKeyStorageView;
class SaveStatusView;
class SettingsViewModel;
class StatusLabel;

class ModelSettingsTab : public QWidget {
 public:
  static constexpr int kSliderTicks = 20;  // 0 to 1 in steps of 0.05
  static constexpr int kMinTokens = 64;
  static constexpr int kMaxTokens = 4096;
  static constexpr int kTokenStep = 64;

  // With `services`, the model field offers the service's model list and "测试连接" is shown.
  explicit ModelSettingsTab(SettingsViewModel& model,
                            std::optional<ModelServicePorts> services = std::nullopt,
                            QWidget* parent = nullptr);
  ~ModelSettingsTab() override;
  ModelSettingsTab(const ModelSettingsTab&) = delete;
  ModelSettingsTab& operator=(const ModelSettingsTab&) = delete;

  // The temperature as the value label shows it: two fraction digits in the default locale.
  [[nodiscard]] static QString formattedTemperature(double temperature);

 private:
  [[nodiscard]] QWidget* makeServiceGroup();
  [[nodiscard]] QWidget* makeConnectionGroup();
  [[nodiscard]] QWidget* makePreferenceGroup();
  [[nodiscard]] QLayout* makeSaveRow();
  [[nodiscard]] QLayout* makeKeyRow();
  [[nodiscard]] QLayout* makeTemperatureRow();
  // Shows the model's state; never writes back to it.
  void refresh();
  void refreshKeyField();

  SettingsViewModel& model_;
  std::optional<ModelServicePorts> services_;
  Observable::Token token_ = 0;
  QComboBox* provider_ = nullptr;
  QLineEdit* baseURL_ = nullptr;
  StatusLabel* clearTextWarning_ = nullptr;
  QLineEdit* modelName_ = nullptr;
  QLineEdit* apiKey_ = nullptr;
  QToolButton* eye_ = nullptr;
  APIKeyStorageView* keyStorage_ = nullptr;
  QSlider* temperature_ = nullptr;
  QLabel* temperatureValue_ = nullptr;
  QSpinBox* maxTokens_ = nullptr;
  QCheckBox* streamReplies_ = nullptr;
  QPushButton* save_ = nullptr;
  SaveStatusView* status_ = nullptr;
  ModelServiceTools* serviceTools_ = nullptr;
};

}  // namespace wrenfold
