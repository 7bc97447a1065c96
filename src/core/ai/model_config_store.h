#pragma once

#include "core/ai/model_config.h"
#include "core/support/app_paths.h"
#include "core/support/failure.h"
#include "core/support/observable.h"

namespace wrenfold {

// Owns the current model configuration. Reads config.json once at construction; edits stay in
// memory until save(). Listeners are told after every change of config(). Main thread only.
class ModelConfigStore : public Observable {
 public:
  // An unreadable or undecodable config.json gives ModelConfig::defaultConfig(), silently; the
  // file is left as it is.
  explicit ModelConfigStore(AppPaths paths);
  ModelConfigStore(const ModelConfigStore&) = delete;
  ModelConfigStore& operator=(const ModelConfigStore&) = delete;

  [[nodiscard]] const ModelConfig& config() const { return config_; }
  // Replaces the configuration in memory; does not save.
  void setConfig(ModelConfig config);

  // Writes config.json (pretty, sorted keys) atomically with mode 0600, after creating the data
  // folders. Fails with the folder or file failure; config() is unaffected either way.
  [[nodiscard]] Result<void> save() const;

 private:
  AppPaths paths_;
  ModelConfig config_;
};

}  // namespace wrenfold
