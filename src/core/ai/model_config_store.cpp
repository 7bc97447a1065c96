#include "core/ai/model_config_store.h"

#include <filesystem>
#include <utility>

#include "core/support/file_io.h"
#include "core/support/json.h"

namespace wrenfold {
namespace {

// The file holds the API key in plain text: only its owner may read it.
constexpr auto kConfigFileMode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

}  // namespace

ModelConfigStore::ModelConfigStore(AppPaths paths, Now now)
    : paths_(std::move(paths)), now_(std::move(now)), file_(paths_.configURL()) {
  file_.load([this](std::string_view bytes) -> Result<void> {
    const auto object = json::parse(bytes);
    auto config = object ? ModelConfig::fromJson(*object) : fail(object.error());
    if (!config) {
      return fail(config.error());
    }
    config_ = std::move(*config);
    return {};
  });
}

void ModelConfigStore::setConfig(ModelConfig config) {
  config_ = std::move(config);
  notifyChanged();
}

Result<void> ModelConfigStore::save() {
  if (auto directories = paths_.ensureDirectories(); !directories) {
    return directories;
  }
  const bool keepsUnreadable = file_.problem() && !file_.problem()->keptAs;
  if (auto prepared = file_.prepareToWrite(now_()); !prepared) {
    return prepared;
  }
  if (keepsUnreadable) {
    notifyChanged();  // the problem now names the kept copy
  }
  return files::writeFileAtomically(paths_.configURL(), json::dumpPretty(config_.toJson()), kConfigFileMode);
}

}  // namespace wrenfold
