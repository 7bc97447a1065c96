#include "ui/settings/settings_view_model.h"

#include <utility>

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
      apiKey_(modelConfigStore_.config().apiKey) {}

SettingsViewModel::~SettingsViewModel() {
  commitEdits();
  modelConfigStore_.removeListener(configToken_);
  styleMemoryStore_.removeListener(memoryToken_);
}

void SettingsViewModel::appear() {
  apiKey_ = config().apiKey;
  notifyChanged();
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
  // A key typed for the previous service is not carried over to the next one.
  apiKey_ = config().apiKey;
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

void SettingsViewModel::setAPIKey(std::string apiKey) {
  if (apiKey == apiKey_) {
    return;
  }
  apiKey_ = std::move(apiKey);
  notifyChanged();
}

void SettingsViewModel::toggleAPIKeyVisible() {
  isAPIKeyVisible_ = !isAPIKeyVisible_;
  notifyChanged();
}

void SettingsViewModel::saveModelSettings() {
  // Not trimmed here: the orchestrator trims the key when it uses it.
  editConfig([this](ModelConfig& c) { c.apiKey = apiKey_; });
  const auto saved = modelConfigStore_.save();
  setStatus(saved ? SaveStatus::saved() : SaveStatus::failed(saved.error().localizedDescription()));
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
  ModelConfig next = config();
  edit(next);
  if (next != config()) {
    modelConfigStore_.setConfig(std::move(next));  // the store tells our listener
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
