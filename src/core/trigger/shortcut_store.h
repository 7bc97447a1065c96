#pragma once

// Where recorded shortcuts live: one user-defaults entry per name, under "ShortcutRegistry_"
// plus the name, holding the shortcut's JSON text. Boolean false records that the user cleared
// a name that has a default.

#include <optional>
#include <string>
#include <string_view>

#include "core/platform/user_defaults.h"
#include "core/records/shortcut.h"
#include "core/support/failure.h"

namespace wrenfold {

struct ShortcutName {
  std::string rawValue;
  std::optional<Shortcut> defaultShortcut;  // in effect while nothing is stored

  bool operator==(const ShortcutName&) const = default;
};

class ShortcutStore {
 public:
  static constexpr std::string_view kKeyPrefix = "ShortcutRegistry_";

  explicit ShortcutStore(UserDefaults& defaults) : defaults_(defaults) {}

  // The stored shortcut; a value that is not a string, or does not decode, is none.
  [[nodiscard]] std::optional<Shortcut> get(const ShortcutName& name) const;
  [[nodiscard]] Result<void> store(const ShortcutName& name, const Shortcut& shortcut);
  // Removes the entry, or writes false for a name with a default; nothing when none is set.
  [[nodiscard]] Result<void> clear(const ShortcutName& name);

  [[nodiscard]] static std::string key(const ShortcutName& name);

 private:
  UserDefaults& defaults_;
};

}  // namespace wrenfold
