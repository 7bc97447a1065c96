#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ai/model_config.h"
#include "core/platform/main_queue.h"
#include "core/platform/secret_store.h"
#include "core/platform/work_queue.h"
#include "core/support/app_paths.h"
#include "core/support/failure.h"
#include "core/support/observable.h"
#include "core/support/stored_file.h"

namespace wrenfold {

// What keeping the API key in the desktop's keyring needs: the secret store, a worker of its
// own for its blocking calls (an unlock prompt may hold one for minutes, so never the worker
// that captures windows), and the main queue their answers come back on. All outlive the store.
struct KeyringPorts {
  SecretStore& secrets;
  WorkQueue& workQueue;
  MainQueue& mainQueue;
  // How long a caller waits for a keyring read before it is told the keyring does not answer;
  // the read itself goes on, and its key serves the next caller.
  std::chrono::milliseconds deadline{std::chrono::seconds(10)};
};

// The failure of a keyring read that outlived the deadline.
inline constexpr std::string_view kKeyringNotAnswering =
    "系统密钥环没有响应（可能在等待解锁窗口中的密码）。请解锁密钥环后重试。";

// Owns the current (saved) model configuration. Reads config.json once at construction; the
// settings hand it a whole configuration to save. A key kept in the keyring is read on the
// worker when first needed. Listeners are told after every change of config(). Main thread only.
class ModelConfigStore : public Observable {
 public:
  using ConfigCompletion = std::function<void(Result<ModelConfig>)>;
  using SaveCompletion = std::function<void(Result<void>)>;

  using Now = std::function<timefmt::SystemTime()>;

  // An unreadable or undecodable config.json gives ModelConfig::defaultConfig(); the file is
  // left as it is and loadProblem() says what is wrong with it. Without `keyring` a key kept
  // there cannot be read or written.
  explicit ModelConfigStore(AppPaths paths, std::optional<KeyringPorts> keyring = std::nullopt,
                            Now now = std::chrono::system_clock::now);
  ModelConfigStore(const ModelConfigStore&) = delete;
  ModelConfigStore& operator=(const ModelConfigStore&) = delete;

  // The saved configuration. A key kept in the keyring is empty here until it was read.
  [[nodiscard]] const ModelConfig& config() const { return config_; }
  // Whether config() holds the key (false while a keyring key has not been read).
  [[nodiscard]] bool isKeyRead() const { return keyKnown_; }
  // Replaces the configuration in memory; does not save.
  void setConfig(ModelConfig config);

  // Writes config() to config.json (pretty, sorted keys) atomically with mode 0600, after
  // creating the data folders. A config.json that failed to load is first kept beside itself
  // (loadProblem() then names the copy); when that fails, nothing is written. Fails with the
  // folder or file failure; config() is unaffected either way.
  [[nodiscard]] Result<void> save();

  // The config.json that exists but could not be read or decoded at start, if any.
  [[nodiscard]] const std::optional<FileProblem>& loadProblem() const { return file_.problem(); }

  // Whether a keyring can be used here at all.
  [[nodiscard]] bool hasKeyring() const { return keyring_.has_value(); }
  // Asks on the worker whether a secret service answers; `done` runs on the main thread (at
  // once with false when there is no keyring), and not at all once the store is gone.
  void checkKeyring(std::function<void(bool)> done);

  // The saved configuration with its key: at once when the key is in config.json or was read
  // already, else after one keyring read on the worker. A keyring that cannot be read or holds
  // no key is a Chinese failure, never a blank key; the next call reads again (the user may
  // have unlocked it). `done` runs on the main thread, and not at all once the store is gone.
  void loadConfig(ConfigCompletion done);

  // Saves `config` with its key where `config.apiKeyStorage` says and then makes it current:
  // the keyring (on the worker) before config.json, so a failure there changes nothing. A key
  // moved back to config.json is removed from the keyring. `done` runs on the main thread (at
  // once when no keyring is involved), and not at all once the store is gone.
  // With KeyEdit::keepStored, `config.apiKey` is ignored and the stored key stays as it is: left
  // in the keyring unread when it stays there, and read first when it moves (a read that fails
  // saves nothing), so saving never writes a blank over a key it could not read.
  enum class KeyEdit { typed, keepStored };
  void save(ModelConfig config, SaveCompletion done, KeyEdit edit = KeyEdit::typed);

 private:
  [[nodiscard]] Result<void> writeFile(const ModelConfig& config);
  void adopt(ModelConfig config);
  void readKeyring();
  void keyringRead(std::uint64_t version, Result<std::optional<std::string>> key);
  void keyringWritten(ModelConfig config, ModelConfig previous, Result<void> written, SaveCompletion done);
  // Runs `task` on the worker and `then` with its result on the main thread while the store lives.
  template <class T>
  void onWorker(std::function<T(SecretStore&)> task, std::function<void(ModelConfigStore&, T)> then);

  AppPaths paths_;
  std::optional<KeyringPorts> keyring_;
  Now now_;
  StoredFile file_;
  ModelConfig config_ = ModelConfig::defaultConfig();
  bool keyKnown_ = true;  // false while a keyring key has not been read
  bool reading_ = false;
  std::uint64_t version_ = 0;  // a keyring answer for an older configuration is dropped
  std::vector<std::pair<std::uint64_t, ConfigCompletion>> waiting_;  // with their numbers, for the deadline
  std::uint64_t waiter_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace wrenfold
