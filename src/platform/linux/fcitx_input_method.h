#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform/input_method.h"
#include "platform/linux/atspi_handle.h"

typedef struct _GDBusConnection GDBusConnection;  // NOLINT(modernize-use-using)

namespace wrenfold {

// The input-method port through Wrenfold's Fcitx 5 addon (src/platform/linux/fcitx5/), asked on
// the session bus at org.fcitx.Fcitx5 /wrenfold. Never starts Fcitx: a session without it running,
// or whose Fcitx lacks the addon, answers absent and `gone`, and the inserter goes on as without
// an input method.
class FcitxInputMethod final : public InputMethod {
 public:
  // Each call waits at most this long: Fcitx answers at once unless it hangs, and then the
  // user's keyboard hangs with it.
  static constexpr std::chrono::milliseconds kCallTimeout{500};

  // `ownProgram`: how Wrenfold's own windows name themselves to the input method (its
  // executable's name), whose contexts are never remembered.
  explicit FcitxInputMethod(std::string ownProgram);

  [[nodiscard]] std::optional<std::uint64_t> rememberFocused() override;
  [[nodiscard]] std::optional<InputContextState> state(std::uint64_t ticket) override;
  [[nodiscard]] CommitResult commit(std::uint64_t ticket, std::string_view text) override;
  [[nodiscard]] InputMethodStatus status() override;

 private:
  GObjectPtr<GDBusConnection> bus_;  // null without a session bus
  std::string ownProgram_;
};

// The name the running executable has, as toolkits tell the input method (empty when unknown).
[[nodiscard]] std::string executableName();

}  // namespace wrenfold
