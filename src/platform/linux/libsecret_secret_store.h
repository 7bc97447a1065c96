#pragma once

// The Secret Service of the session bus (GNOME Keyring, KWallet, KeePassXC) through libsecret.
// Secrets are items of the schema "app.tillbrook.wrenfold.APIKey" in the default collection
// (the login keyring), found by the attributes "service" and "reference". Every call blocks on
// the bus, and on an unlock prompt when the collection is locked: call from a worker of its own.
// libsecret cannot interrupt a call held by a prompt, so each runs on a thread of its own that
// holds nothing of the store; abandonCalls() stops the waiting for it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform/secret_store.h"

namespace wrenfold {

class LibsecretSecretStore final : public SecretStore {
 public:
  LibsecretSecretStore();
  ~LibsecretSecretStore() override;
  LibsecretSecretStore(const LibsecretSecretStore&) = delete;
  LibsecretSecretStore& operator=(const LibsecretSecretStore&) = delete;

  [[nodiscard]] bool isAvailable() override;
  [[nodiscard]] Result<std::optional<std::string>> read(const SecretName& name) override;
  [[nodiscard]] Result<void> write(const SecretName& name, std::string_view label,
                                   std::string_view secret) override;
  [[nodiscard]] Result<void> remove(const SecretName& name) override;
  void abandonCalls() override;

 private:
  struct Calls;
  std::shared_ptr<Calls> calls_;
};

}  // namespace wrenfold
