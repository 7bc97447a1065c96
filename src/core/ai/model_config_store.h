#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "core/ai/model_config.h"
#include "core/support/app_paths.h"
#include "core/support/failure.h"
#include "core/support/observable.h"
#include "core/support/stored_file.h"

namespace wrenfold {

// Owns the current model configuration. Reads config.json once at construction; edits stay in
// memory until save(). Listeners are told after every change of config(). Main thread only.
class ModelConfigStore : public Observable {
 public:
  using Now = std::function<timefmt::SystemTime()>;

  // An unreadable or undecodable config.json gives ModelConfig::defaultConfig(); the file is
  // left as it is and loadProblem() says what is wrong with it.
  explicit ModelConfigStore(AppPaths paths, Now now = std::chrono::system_clock::now);
  ModelConfigStore(const ModelConfigStore&) = delete;
  ModelConfigStore& operator=(const ModelConfigStore&) = delete;

  [[nodiscard]] const ModelConfig& config() const { return config_; }
  // Replaces the configuration in memory; does not save.
  void setConfig(ModelConfig config);

  // Writes config.json (pretty, sorted keys) atomically with mode 0600, after creating the data
  // folders. A config.json that failed to load is first kept beside itself (loadProblem() then
  // names the copy); when that fails, nothing is written. Fails with the folder or file
  // failure; config() is unaffected either way.
  [[nodiscard]] Result<void> save();

  // The config.json that exists but could not be read or decoded at start, if any.
  [[nodiscard]] const std::optional<FileProblem>& loadProblem() const { return file_.problem(); }

 private:
  AppPaths paths_;
  Now now_;
  StoredFile file_;
  ModelConfig config_ = ModelConfig::defaultConfig();
};

}  // namespace wrenfold
