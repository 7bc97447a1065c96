#pragma once

// The desktop's store for secrets: on Linux the Secret Service (GNOME Keyring, KWallet,
// KeePassXC). Every call may wait on the session bus or on an unlock prompt the desktop shows,
// so call it from a worker, never from the main thread.

#include <optional>
#include <string>
#include <string_view>

#include "core/support/failure.h"

namespace wrenfold {

// Which secret: the service it is for and the configuration's name for it. A secret is found
// only under both, so a key is never handed out for a service it was not stored for.
struct SecretName {
  std::string service;
  std::string reference;
  bool operator==(const SecretName&) const = default;
};

class SecretStore {
 public:
  SecretStore() = default;
  virtual ~SecretStore() = default;
  SecretStore(const SecretStore&) = delete;
  SecretStore& operator=(const SecretStore&) = delete;

  // Whether a secret service runs on (or can be started by) the session bus. Never fails.
  [[nodiscard]] virtual bool isAvailable() = 0;
  // The secret stored under `name`; absent when there is none (or the locked store was not
  // unlocked); fails with a Chinese description when the service is missing or refuses.
  [[nodiscard]] virtual Result<std::optional<std::string>> read(const SecretName& name) = 0;
  // Stores `secret` under `name`, replacing what was there; `label` is what the desktop's
  // password manager shows. Fails with a Chinese description; nothing is stored then.
  [[nodiscard]] virtual Result<void> write(const SecretName& name, std::string_view label,
                                           std::string_view secret) = 0;
  // Removes the secret under `name`; none stored is no failure.
  [[nodiscard]] virtual Result<void> remove(const SecretName& name) = 0;
  // Ends the calls in progress (an unlock prompt nobody answers) and every later one, which
  // fail at once: the application is quitting and must not wait on the keyring. Any thread.
  virtual void abandonCalls() {}
};

}  // namespace wrenfold
