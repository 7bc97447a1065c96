#pragma once

// What the settings tabs edit, between the widgets and the stores: the model configuration
// (edited in place, saved on request), the API key kept apart until it is saved, the shared
// save status, the template file actions and the tone preference. Main thread only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/ai/model_config_store.h"
#include "core/memory/style_memory_store.h"
#include "core/platform/desktop_services.h"
#include "core/platform/launch_at_login.h"
#include "core/platform/main_queue.h"
#include "core/support/app_paths.h"
#include "core/support/observable.h"
#include "core/templates/user_template_file.h"
#include "ui/settings/save_status.h"

namespace wrenfold {

class SettingsViewModel : public Observable {
 public:
  // How long typing in the tone preference must pause before it is saved.
  static constexpr std::chrono::milliseconds kPreferenceSaveDelay{600};

  // The stores, the desktop, `launchAtLogin` and `mainQueue` outlive the view model; without
  // `launchAtLogin` the start-with-session option is not offered; without `mainQueue` the tone
  // preference is saved at every edit.
  SettingsViewModel(ModelConfigStore& modelConfigStore, StyleMemoryStore& styleMemoryStore, AppPaths paths,
                    DesktopServices& desktop, LaunchAtLogin* launchAtLogin = nullptr,
                    MainQueue* mainQueue = nullptr);
  ~SettingsViewModel();
  SettingsViewModel(const SettingsViewModel&) = delete;
  SettingsViewModel& operator=(const SettingsViewModel&) = delete;

  [[nodiscard]] const ModelConfig& config() const { return modelConfigStore_.config(); }
  [[nodiscard]] const std::string& apiKey() const { return apiKey_; }
  [[nodiscard]] bool isAPIKeyVisible() const { return isAPIKeyVisible_; }
  [[nodiscard]] const SaveStatus& status() const { return status_; }
  [[nodiscard]] const std::string& userWrittenPreference() const {
    return styleMemoryStore_.memory().userWrittenPreference;
  }
  [[nodiscard]] const AppPaths& paths() const { return paths_; }

  // The settings content appears: the key field shows the stored key again.
  void appear();

  // Switching the service fills in its recommended address, model and key reference, brings
  // back the stored key and clears the status; nothing is saved. The same service again is no
  // change.
  void selectProvider(ModelProvider provider);
  // These change the configuration at once (the next cycle uses them) without saving.
  void setBaseURL(std::string baseURL);
  void setModel(std::string model);
  void setTemperature(double temperature);
  void setMaxTokens(std::int64_t maxTokens);

  void setAPIKey(std::string apiKey);
  void toggleAPIKeyVisible();
  // Puts the key as typed (blanks kept) into the configuration and writes config.json.
  void saveModelSettings();

  void openTemplateDirectory();
  void createUserTemplateFileIfNeeded();

  // Stores the tone preference at once (the next prompt uses it) and saves it once typing has
  // paused; a failed write is ignored (the edit stays in memory).
  void updatePreference(std::string_view text);
  // Saves an edit still waiting for its pause (the window closes).
  void commitEdits();
  void clearStyleSamples();
  void openDataDirectory();

  [[nodiscard]] bool offersLaunchAtLogin() const { return launchAtLogin_ != nullptr; }
  [[nodiscard]] bool launchesAtLogin() const {
    return launchAtLogin_ != nullptr && launchAtLogin_->isEnabled();
  }
  // A failure shows in its own status; the option then reads back what the session really does.
  void setLaunchAtLogin(bool enabled);
  [[nodiscard]] const SaveStatus& launchAtLoginStatus() const { return launchAtLoginStatus_; }

 private:
  void editConfig(const std::function<void(ModelConfig&)>& edit);
  void setStatus(SaveStatus status);

  ModelConfigStore& modelConfigStore_;
  StyleMemoryStore& styleMemoryStore_;
  AppPaths paths_;
  DesktopServices& desktop_;
  LaunchAtLogin* launchAtLogin_;
  MainQueue* mainQueue_;
  UserTemplateFile userTemplateFile_;
  Observable::Token configToken_;
  Observable::Token memoryToken_;

  std::string apiKey_;
  bool isAPIKeyVisible_ = false;
  SaveStatus status_;
  SaveStatus launchAtLoginStatus_;
  std::uint64_t preferenceEdits_ = 0;  // the pending save belongs to the newest edit only
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace wrenfold
