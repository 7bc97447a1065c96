#include "core/trigger/shortcut_store.h"

namespace wrenfold {

std::string ShortcutStore::key(const ShortcutName& name) {
  return std::string(kKeyPrefix) + name.rawValue;
}

std::optional<Shortcut> ShortcutStore::get(const ShortcutName& name) const {
  const std::string entry = key(name);
  if (!defaults_.contains(entry)) {
    return name.defaultShortcut;
  }
  const auto text = defaults_.string(entry);
  return text ? decodeShortcut(*text) : std::nullopt;
}

Result<void> ShortcutStore::store(const ShortcutName& name, const Shortcut& shortcut) {
  return defaults_.setString(key(name), encodeShortcut(shortcut));
}

Result<void> ShortcutStore::clear(const ShortcutName& name) {
  if (!get(name)) {
    return {};
  }
  return name.defaultShortcut ? defaults_.setBool(key(name), false) : defaults_.remove(key(name));
}

}  // namespace wrenfold
