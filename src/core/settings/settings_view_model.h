#pragma once

// What the settings tabs edit, between the widgets and the stores: the model configuration
// (edited as a draft that reaches the assistance cycles only when saved), the API key kept
// apart until it is saved, the shared save status, the template file actions and the tone
// preference. Main thread only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/ai/model_config_store.h"
#include "core/memory/style_memory_store.h"
#include "core/platform/desktop_services.h"
#include "core/platform/launch_at_login.h"
#include "core/platform/main_queue.h"
#include "core/settings/save_status.h"
#include "core/support/app_paths.h"
#include "core/support/observable.h"
#include "core/templates/user_template_file.h"

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

  // The configuration being edited: the saved one plus unsaved edits.
  [[nodiscard]] const ModelConfig& config() const { return draft_; }
  [[nodiscard]] const std::string& apiKey() const { return apiKey_; }
  // The saved key lives in the keyring and has not been read (reading, locked, or refused) and
  // nothing was typed over it: the field is empty, and saving leaves the stored key untouched.
  [[nodiscard]] bool isKeyUnread() const;
  // What the empty key field says: "输入 API Key", or why the saved key is not shown.
  [[nodiscard]] std::string keyPlaceholder() const;
  // The key "列出模型" and "测试连接" may send: the field's, when it was typed in the tab or the
  // service and address are the saved ones; otherwise none, so a saved key never goes to an
  // address it was not saved for (withholdsSavedKey() then says so).
  [[nodiscard]] std::string keyForService() const;
  [[nodiscard]] bool withholdsSavedKey() const;
  // The address is plain http to a host that is neither this machine nor a private network,
  // and there is a key (typed, or saved and not yet read): once saved (the user's choice), it
  // would go there.
  [[nodiscard]] bool sendsKeyInClear() const;
  [[nodiscard]] bool isAPIKeyVisible() const { return isAPIKeyVisible_; }
  [[nodiscard]] const SaveStatus& status() const { return status_; }
  [[nodiscard]] const std::string& userWrittenPreference() const {
    return styleMemoryStore_.memory().userWrittenPreference;
  }
  [[nodiscard]] const AppPaths& paths() const { return paths_; }

  // The settings content appears: unsaved edits are dropped and the fields show the saved
  // configuration again, its key read from the keyring when it lives there.
  void appear();

  // Switching the service fills in its recommended address, model and key reference and clears
  // the status; nothing is saved. A key belongs to the service it was entered for: the key
  // field empties, and only switching back to the saved service brings its saved key back.
  // The same service again is no change.
  void selectProvider(ModelProvider provider);
  // These edit the draft; cycles keep using the saved configuration until it is saved.
  void setBaseURL(std::string baseURL);
  void setModel(std::string model);
  void setTemperature(double temperature);
  void setMaxTokens(std::int64_t maxTokens);
  void setStreamReplies(bool stream);

  void setAPIKey(std::string apiKey);
  void toggleAPIKeyVisible();
  // Saves the draft with the key as typed (blanks kept): the key where the draft keeps it, the
  // rest in config.json; an unread key stays as stored (and is read before it moves). Ignored
  // while a save is still running.
  void saveModelSettings();
  [[nodiscard]] bool isSaving() const { return isSaving_; }

  // Keeping the key in the desktop's keyring is offered when a secret service answered, or
  // when the saved key already lives there (so it can be moved back).
  [[nodiscard]] bool offersKeyring() const;
  [[nodiscard]] bool keepsKeyInKeyring() const { return draft_.apiKeyStorage == APIKeyStorage::keyring; }
  // Takes effect on save; nothing moves before.
  void setKeyInKeyring(bool inKeyring);

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
  [[nodiscard]] const ModelConfig& saved() const { return modelConfigStore_.config(); }
  // Asks whether a secret service answers, and fills the key field from the keyring.
  void refreshKeyring();

  ModelConfigStore& modelConfigStore_;
  StyleMemoryStore& styleMemoryStore_;
  AppPaths paths_;
  DesktopServices& desktop_;
  LaunchAtLogin* launchAtLogin_;
  MainQueue* mainQueue_;
  UserTemplateFile userTemplateFile_;
  Observable::Token configToken_;
  Observable::Token memoryToken_;

  ModelConfig draft_;
  std::string apiKey_;
  bool keyTyped_ = false;       // the field holds what the user typed, not the saved key
  std::string keyReadProblem_;  // why the keyring did not give the saved key
  bool isAPIKeyVisible_ = false;
  bool isSaving_ = false;
  std::optional<bool> keyringAvailable_;  // absent until a check answered
  SaveStatus status_;
  SaveStatus launchAtLoginStatus_;
  std::uint64_t preferenceEdits_ = 0;  // the pending save belongs to the newest edit only
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace wrenfold
