#include "core/settings/settings_view_model.h"

#include <utility>

#include "core/ai/service_url.h"
#include "core/text/text.h"

namespace wrenfold {

SettingsViewModel::SettingsViewModel(ModelConfigStore& modelConfigStore, StyleMemoryStore& styleMemoryStore,
                                     AppPaths paths, DesktopServices& desktop, LaunchAtLogin* launchAtLogin,
                                     MainQueue* mainQueue)
    : modelConfigStore_(modelConfigStore),
      styleMemoryStore_(styleMemoryStore),
      paths_(std::move(paths)),
      desktop_(desktop),
      launchAtLogin_(launchAtLogin),
      mainQueue_(mainQueue),
      userTemplateFile_(paths_, desktop_),
      // The tabs draw from this model only, so changes made elsewhere (the orchestrator
      // records style samples) reach them through it too.
      configToken_(modelConfigStore_.addListener([this] { notifyChanged(); })),
      memoryToken_(styleMemoryStore_.addListener([this] { notifyChanged(); })),
      draft_(modelConfigStore_.config()),
      apiKey_(draft_.apiKey) {}

SettingsViewModel::~SettingsViewModel() {
  commitEdits();
  modelConfigStore_.removeListener(configToken_);
  styleMemoryStore_.removeListener(memoryToken_);
}

void SettingsViewModel::appear() {
  if (!isSaving_) {  // a save still waiting on the keyring keeps what it is saving on screen
    draft_ = saved();
    apiKey_ = draft_.apiKey;
    keyTyped_ = false;
  }
  notifyChanged();
  refreshKeyring();
}

void SettingsViewModel::refreshKeyring() {
  const std::weak_ptr<bool> alive = alive_;
  modelConfigStore_.checkKeyring([this, alive](bool available) {
    if (!alive.expired()) {
      keyringAvailable_ = available;
      notifyChanged();
    }
  });
  if (modelConfigStore_.isKeyRead()) {
    return;
  }
  keyReadProblem_.clear();
  modelConfigStore_.loadConfig([this, alive](Result<ModelConfig> loaded) {
    if (alive.expired()) {
      return;
    }
    if (!loaded) {
      keyReadProblem_ = loaded.error().localizedDescription();
      setStatus(SaveStatus::failed(keyReadProblem_));
      return;
    }
    keyReadProblem_.clear();
    // Only into an untouched field of the same service: never over what the user typed since.
    if (loaded->provider == draft_.provider && !keyTyped_) {
      draft_.apiKey = loaded->apiKey;
      apiKey_ = loaded->apiKey;
    }
    notifyChanged();
  });
}

void SettingsViewModel::selectProvider(ModelProvider provider) {
  if (provider == config().provider) {
    return;
  }
  editConfig([provider](ModelConfig& c) {
    c.provider = provider;
    c.baseURL = std::string(provider.defaultBaseURL());
    c.model = std::string(provider.defaultModel());
    c.apiKeyRef = provider.apiKeyRef();
  });
  // A key goes only to the service it was entered for: neither a typed key nor the saved one
  // follows the switch, and the saved one comes back with its own service.
  apiKey_ = provider == saved().provider ? saved().apiKey : std::string();
  keyTyped_ = false;
  setStatus(SaveStatus::idle());
}

void SettingsViewModel::setBaseURL(std::string baseURL) {
  editConfig([&](ModelConfig& c) { c.baseURL = std::move(baseURL); });
}

void SettingsViewModel::setModel(std::string model) {
  editConfig([&](ModelConfig& c) { c.model = std::move(model); });
}

void SettingsViewModel::setTemperature(double temperature) {
  editConfig([temperature](ModelConfig& c) { c.temperature = temperature; });
}

void SettingsViewModel::setMaxTokens(std::int64_t maxTokens) {
  editConfig([maxTokens](ModelConfig& c) { c.maxTokens = maxTokens; });
}

void SettingsViewModel::setStreamReplies(bool stream) {
  editConfig([stream](ModelConfig& c) { c.streamReplies = stream; });
}

void SettingsViewModel::setAPIKey(std::string apiKey) {
  if (apiKey == apiKey_) {
    return;
  }
  apiKey_ = std::move(apiKey);
  keyTyped_ = true;
  notifyChanged();
}

bool SettingsViewModel::isKeyUnread() const {
  return !keyTyped_ && !modelConfigStore_.isKeyRead() && draft_.provider == saved().provider;
}

std::string SettingsViewModel::keyPlaceholder() const {
  if (!isKeyUnread()) {
    return "输入 API Key";
  }
  return keyReadProblem_.empty() ? "未读取（正在从系统密钥环读取…）" : "未读取：" + keyReadProblem_;
}

std::string SettingsViewModel::keyForService() const {
  return withholdsSavedKey() ? std::string() : apiKey_;
}

bool SettingsViewModel::withholdsSavedKey() const {
  const bool sameService =
      draft_.provider == saved().provider &&
      text::trim(service_url::effectiveBaseURL(draft_)) == text::trim(service_url::effectiveBaseURL(saved()));
  return !keyTyped_ && !sameService && !text::isBlank(apiKey_);
}

bool SettingsViewModel::sendsKeyInClear() const {
  // An unread key is still a key: saving keeps it for this address.
  return service_url::sendsKeyInClear(draft_) && (!text::isBlank(apiKey_) || isKeyUnread());
}

void SettingsViewModel::toggleAPIKeyVisible() {
  isAPIKeyVisible_ = !isAPIKeyVisible_;
  notifyChanged();
}

void SettingsViewModel::saveModelSettings() {
  if (isSaving_) {
    return;
  }
  // Not trimmed here: the orchestrator trims the key when it uses it.
  draft_.apiKey = apiKey_;
  const auto key = isKeyUnread() ? ModelConfigStore::KeyEdit::keepStored : ModelConfigStore::KeyEdit::typed;
  isSaving_ = true;
  notifyChanged();
  // A failed save keeps the draft, so the user can try again; the cycles keep the saved one.
  modelConfigStore_.save(
      draft_,
      [this, alive = std::weak_ptr<bool>(alive_)](Result<void> done) {
        if (alive.expired()) {
          return;
        }
        isSaving_ = false;
        if (done) {
          // The store holds what was saved: a key read for the move shows in the field too.
          draft_.apiKey = saved().apiKey;
          apiKey_ = saved().apiKey;
          keyTyped_ = false;
        }
        setStatus(done ? SaveStatus::saved() : SaveStatus::failed(done.error().localizedDescription()));
      },
      key);
}

bool SettingsViewModel::offersKeyring() const {
  return modelConfigStore_.hasKeyring() &&
         (keyringAvailable_.value_or(false) || saved().apiKeyStorage == APIKeyStorage::keyring);
}

void SettingsViewModel::setKeyInKeyring(bool inKeyring) {
  editConfig([inKeyring](ModelConfig& c) {
    c.apiKeyStorage = inKeyring ? APIKeyStorage::keyring : APIKeyStorage::file;
  });
}

void SettingsViewModel::openTemplateDirectory() {
  userTemplateFile_.openDirectory();
}

void SettingsViewModel::createUserTemplateFileIfNeeded() {
  const auto created = userTemplateFile_.createIfNeededAndOpen();
  setStatus(created ? SaveStatus::idle() : SaveStatus::failed(created.error().localizedDescription()));
}

void SettingsViewModel::updatePreference(std::string_view text) {
  if (text == userWrittenPreference()) {
    return;
  }
  if (mainQueue_ == nullptr) {
    static_cast<void>(styleMemoryStore_.updatePreference(text));
    return;
  }
  styleMemoryStore_.editPreference(text);
  const std::uint64_t edit = ++preferenceEdits_;
  mainQueue_->postAfter(kPreferenceSaveDelay, [this, alive = std::weak_ptr<bool>(alive_), edit] {
    if (!alive.expired() && edit == preferenceEdits_) {
      styleMemoryStore_.saveIfNeeded();
    }
  });
}

void SettingsViewModel::commitEdits() {
  styleMemoryStore_.saveIfNeeded();
}

void SettingsViewModel::clearStyleSamples() {
  static_cast<void>(styleMemoryStore_.clear());
}

void SettingsViewModel::openDataDirectory() {
  static_cast<void>(desktop_.openPath(paths_.appSupportURL()));
}

void SettingsViewModel::editConfig(const std::function<void(ModelConfig&)>& edit) {
  ModelConfig next = draft_;
  edit(next);
  if (next != draft_) {
    draft_ = std::move(next);
    notifyChanged();
  }
}

void SettingsViewModel::setStatus(SaveStatus status) {
  status_ = std::move(status);
  notifyChanged();
}

void SettingsViewModel::setLaunchAtLogin(bool enabled) {
  if (launchAtLogin_ == nullptr) {
    return;
  }
  const auto done = launchAtLogin_->setEnabled(enabled);
  launchAtLoginStatus_ = done ? SaveStatus::idle() : SaveStatus::failed(done.error().localizedDescription());
  notifyChanged();
}

}  // namespace wrenfold
