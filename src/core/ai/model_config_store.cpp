#include "core/ai/model_config_store.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "core/support/file_io.h"
#include "core/support/json.h"

namespace wrenfold {
namespace {

// The file may hold the API key in plain text: only its owner may read it.
constexpr auto kConfigFileMode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

constexpr std::string_view kNoKeyring = "API Key 保存在系统密钥环中，但这里无法使用系统密钥环。";
constexpr std::string_view kKeyNotFound =
    "系统密钥环中没有找到 Wrenfold 的 API Key（密钥环可能未解锁）。请解锁密钥环后重试，"
    "或在设置的“模型”页重新输入并保存 API Key。";

SecretName secretNameOf(const ModelConfig& config) {
  return {std::string(config.provider.id()), config.apiKeyRef};
}

std::string secretLabelOf(const ModelConfig& config) {
  return "Wrenfold API Key（" + std::string(config.provider.displayName()) + "）";
}

bool keyNeedsReading(const ModelConfig& config) {
  return config.apiKeyStorage == APIKeyStorage::keyring && config.apiKey.empty();
}

}  // namespace

ModelConfigStore::ModelConfigStore(AppPaths paths, std::optional<KeyringPorts> keyring, Now now)
    : paths_(std::move(paths)), keyring_(keyring), now_(std::move(now)), file_(paths_.configURL()) {
  file_.load([this](std::string_view bytes) -> Result<void> {
    const auto object = json::parse(bytes);
    auto config = object ? ModelConfig::fromJson(*object) : fail(object.error());
    if (!config) {
      return fail(config.error());
    }
    config_ = std::move(*config);
    return {};
  });
  keyKnown_ = !keyNeedsReading(config_);
}

void ModelConfigStore::setConfig(ModelConfig config) {
  adopt(std::move(config));
}

Result<void> ModelConfigStore::save() {
  return writeFile(config_);
}

void ModelConfigStore::checkKeyring(std::function<void(bool)> done) {
  if (!keyring_) {
    done(false);
    return;
  }
  onWorker<bool>([](SecretStore& secrets) { return secrets.isAvailable(); },
                 [done = std::move(done)](ModelConfigStore&, bool available) { done(available); });
}

void ModelConfigStore::loadConfig(ConfigCompletion done) {
  if (keyKnown_) {
    done(config_);
    return;
  }
  if (!keyring_) {
    done(failPlatform(std::string(kNoKeyring)));
    return;
  }
  const std::uint64_t number = ++waiter_;
  waiting_.emplace_back(number, std::move(done));
  // The caller is answered by the deadline even when an unlock prompt holds the read.
  keyring_->mainQueue.postAfter(keyring_->deadline, [this, number, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.expired()) {
      return;
    }
    const auto it = std::ranges::find(waiting_, number, &decltype(waiting_)::value_type::first);
    if (it != waiting_.end()) {
      ConfigCompletion late = std::move(it->second);
      waiting_.erase(it);
      late(failPlatform(std::string(kKeyringNotAnswering)));
    }
  });
  if (!reading_) {
    readKeyring();
  }
}

void ModelConfigStore::save(ModelConfig config, SaveCompletion done, KeyEdit edit) {
  if (edit == KeyEdit::keepStored && keyKnown_) {
    config.apiKey = config_.apiKey;
  } else if (edit == KeyEdit::keepStored && config.apiKeyStorage == APIKeyStorage::keyring &&
             secretNameOf(config) == secretNameOf(config_)) {
    // The key stays in the keyring untouched; config.json holds none in this mode.
    config.apiKey.clear();
    if (auto written = writeFile(config); !written) {
      done(std::move(written));
      return;
    }
    adopt(std::move(config));
    done({});
    return;
  } else if (edit == KeyEdit::keepStored) {
    // Moving a key needs the key: read it first, and save nothing when that fails.
    loadConfig(
        [this, config = std::move(config), done = std::move(done)](Result<ModelConfig> loaded) mutable {
          if (!loaded) {
            done(failPlatform("API Key 还没有从系统密钥环读出，所以没有移动，更改也未保存：" +
                              loaded.error().localizedDescription()));
            return;
          }
          config.apiKey = loaded->apiKey;
          save(std::move(config), std::move(done));
        });
    return;
  }
  ModelConfig previous = config_;
  const bool previousInKeyring = previous.apiKeyStorage == APIKeyStorage::keyring;
  if (config.apiKeyStorage == APIKeyStorage::file) {
    if (auto written = writeFile(config); !written) {
      done(std::move(written));
      return;
    }
    adopt(std::move(config));
    if (!previousInKeyring || !keyring_) {
      done({});
      return;
    }
    // The user chose config.json again: the keyring keeps no copy.
    onWorker<Result<void>>(
        [name = secretNameOf(previous)](SecretStore& secrets) { return secrets.remove(name); },
        [done = std::move(done)](ModelConfigStore&, Result<void> removed) {
          if (!removed) {
            done(failPlatform("API Key 已保存到 config.json，但没能从系统密钥环删除原来的 Key：" +
                              removed.error().localizedDescription()));
            return;
          }
          done({});
        });
    return;
  }
  if (!keyring_) {
    done(failPlatform(std::string(kNoKeyring)));
    return;
  }
  const SecretName name = secretNameOf(config);
  const std::string label = secretLabelOf(config);
  const std::string key = config.apiKey;
  onWorker<Result<void>>([name, label, key](SecretStore& secrets) { return secrets.write(name, label, key); },
                         [config = std::move(config), previous = std::move(previous), done = std::move(done)](
                             ModelConfigStore& self, Result<void> written) mutable {
                           self.keyringWritten(std::move(config), std::move(previous), std::move(written),
                                               std::move(done));
                         });
}

void ModelConfigStore::keyringWritten(ModelConfig config, ModelConfig previous, Result<void> written,
                                      SaveCompletion done) {
  if (!written) {
    done(failPlatform("没能把 API Key 保存到系统密钥环：" + written.error().localizedDescription()));
    return;
  }
  if (auto file = writeFile(config); !file) {
    done(std::move(file));
    return;
  }
  const SecretName name = secretNameOf(config);
  adopt(std::move(config));
  if (previous.apiKeyStorage == APIKeyStorage::keyring && secretNameOf(previous) != name) {
    // The key of the service used before is no longer wanted; a leftover is harmless, since
    // keys are looked up under their own service only.
    onWorker<Result<void>>(
        [old = secretNameOf(previous)](SecretStore& secrets) { return secrets.remove(old); },
        [](ModelConfigStore&, Result<void>) {});
  }
  done({});
}

Result<void> ModelConfigStore::writeFile(const ModelConfig& config) {
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
  return files::writeFileAtomically(paths_.configURL(), json::dumpPretty(config.toJson()), kConfigFileMode);
}

void ModelConfigStore::adopt(ModelConfig config) {
  config_ = std::move(config);
  keyKnown_ = !keyNeedsReading(config_);
  ++version_;
  notifyChanged();
}

void ModelConfigStore::readKeyring() {
  reading_ = true;
  onWorker<Result<std::optional<std::string>>>(
      [name = secretNameOf(config_)](SecretStore& secrets) { return secrets.read(name); },
      [version = version_](ModelConfigStore& self, Result<std::optional<std::string>> key) {
        self.keyringRead(version, std::move(key));
      });
}

void ModelConfigStore::keyringRead(std::uint64_t version, Result<std::optional<std::string>> key) {
  reading_ = false;
  auto waiting = std::exchange(waiting_, {});
  if (version != version_) {
    // The configuration changed meanwhile: answer for the current one instead.
    for (auto& [number, done] : waiting) {
      loadConfig(std::move(done));
    }
    return;
  }
  if (key && *key) {
    config_.apiKey = std::move(**key);
    keyKnown_ = true;
    notifyChanged();
    for (auto& [number, done] : waiting) {
      done(config_);
    }
    return;
  }
  const Failure failure =
      key ? Failure::platform(std::string(kKeyNotFound))
          : Failure::platform("无法从系统密钥环读取 API Key：" + key.error().localizedDescription());
  for (auto& [number, done] : waiting) {
    done(fail(failure));
  }
}

template <class T>
void ModelConfigStore::onWorker(std::function<T(SecretStore&)> task,
                                std::function<void(ModelConfigStore&, T)> then) {
  KeyringPorts ports = *keyring_;
  ports.workQueue.run([ports, task = std::move(task), then = std::move(then), this,
                       alive = std::weak_ptr<bool>(alive_)]() mutable {
    T result = task(ports.secrets);
    ports.mainQueue.post([this, alive, then = std::move(then), result = std::move(result)]() mutable {
      if (!alive.expired()) {
        then(*this, std::move(result));
      }
    });
  });
}

}  // namespace wrenfold
