#include "core/ai/model_config_store.h"

#include <filesystem>
#include <utility>

#include "core/support/file_io.h"
#include "core/support/json.h"

namespace wrenfold {
namespace {

// The file holds the API key in plain text: only its owner may read it.
constexpr auto kConfigFileMode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

ModelConfig readConfig(const AppPaths& paths) {
  const auto bytes = files::readFile(paths.configURL());
  const auto object = bytes ? json::parse(*bytes) : fail(bytes.error());
  const auto config = object ? ModelConfig::fromJson(*object) : fail(object.error());
  return config.value_or(ModelConfig::defaultConfig());
}

}  // namespace

ModelConfigStore::ModelConfigStore(AppPaths paths) : paths_(std::move(paths)), config_(readConfig(paths_)) {}

void ModelConfigStore::setConfig(ModelConfig config) {
  config_ = std::move(config);
  notifyChanged();
}

Result<void> ModelConfigStore::save() const {
  if (auto directories = paths_.ensureDirectories(); !directories) {
    return directories;
  }
  return files::writeFileAtomically(paths_.configURL(), json::dumpPretty(config_.toJson()), kConfigFileMode);
}

}  // namespace wrenfold
