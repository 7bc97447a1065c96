#include "core/trigger/shortcut_registry.h"

#include <utility>

namespace wrenfold {

ShortcutRegistry::ShortcutRegistry(UserDefaults& defaults, GlobalHotKeys& hotKeys,
                                   NotificationCenter& notifications)
    : store_(defaults), hotKeys_(hotKeys), notifications_(notifications) {
  hotKeys_.setHandler([this](std::uint32_t id, GlobalHotKeys::Phase phase) { handleHotKey(id, phase); });
}

ShortcutRegistry::~ShortcutRegistry() {
  hotKeys_.setHandler({});
  unregisterAll();
}

void ShortcutRegistry::onKeyUp(const Name& name, Action action) {
  remember(name);
  keyUpActions_[name.rawValue].push_back(std::move(action));
  registerStored(name);
}

void ShortcutRegistry::enable(const std::vector<Name>& names) {
  for (const Name& name : names) {
    remember(name);
    disabledNames_.erase(name.rawValue);
    registerStored(name);
  }
}

void ShortcutRegistry::disable(const std::vector<Name>& names) {
  for (const Name& name : names) {
    remember(name);
    disabledNames_.insert(name.rawValue);
    if (const auto shortcut = getShortcut(name)) {
      unregisterShortcut(*shortcut);
    }
  }
}

std::optional<Shortcut> ShortcutRegistry::getShortcut(const Name& name) const {
  return store_.get(name);
}

Result<void> ShortcutRegistry::setShortcut(const std::optional<Shortcut>& shortcut, const Name& name) {
  remember(name);
  const auto previous = getShortcut(name);
  // Written first: when the store refuses, the registration the user had keeps working.
  auto written = shortcut ? store_.store(name, *shortcut) : store_.clear(name);
  if (!written) {
    return written;
  }
  if (previous) {
    unregisterShortcut(*previous);
  }
  if (shortcut) {
    registerShortcut(*shortcut);
  }
  notifications_.post({std::string(kShortcutDidChange), {{"name", name.rawValue}}});
  return {};
}

bool ShortcutRegistry::isActive(const Name& name) const {
  const auto shortcut = getShortcut(name);
  return shortcut && registeredShortcuts_.contains(*shortcut);
}

std::optional<std::string> ShortcutRegistry::inactiveReason(const Name& name) const {
  const auto shortcut = getShortcut(name);
  if (!shortcut || registeredShortcuts_.contains(*shortcut)) {
    return std::nullopt;
  }
  const auto it = registrationFailures_.find(*shortcut);
  return it == registrationFailures_.end() ? std::nullopt : std::optional(it->second);
}

bool ShortcutRegistry::isTakenByAnotherApplication(const Shortcut& shortcut) {
  return hotKeys_.isTakenByAnotherApplication(shortcut);
}

std::optional<Shortcut> ShortcutRegistry::shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                               std::uint32_t nativeModifiers) const {
  return hotKeys_.shortcutForNativeKey(nativeKeyCode, nativeModifiers);
}

void ShortcutRegistry::setPaused(bool paused) {
  if (paused == paused_) {
    return;
  }
  paused_ = paused;
  if (paused) {
    suspend();
  } else {
    resume();
  }
}

void ShortcutRegistry::beginMenuTracking() {
  if (tracksMenu_) {
    return;
  }
  tracksMenu_ = true;
  menuKeyDown_.reset();
  suspend();
}

void ShortcutRegistry::endMenuTracking() {
  if (!tracksMenu_) {
    return;
  }
  tracksMenu_ = false;
  menuKeyDown_.reset();
  resume();
}

bool ShortcutRegistry::handleMenuKey(const Shortcut& key, KeyPhase phase) {
  if (!tracksMenu_) {
    return false;
  }
  if (phase == KeyPhase::up) {
    // Matched by key alone: the modifiers may already be up when the key is released.
    if (!menuKeyDown_ || menuKeyDown_->carbonKeyCode != key.carbonKeyCode) {
      return false;
    }
    const Shortcut shortcut = *std::exchange(menuKeyDown_, std::nullopt);
    callKeyUpActions(shortcut);
    return true;
  }
  for (const auto& [rawValue, name] : names_) {
    if (isEnabled(name) && getShortcut(name) == key) {
      menuKeyDown_ = key;
      return true;
    }
  }
  return false;
}

void ShortcutRegistry::remember(const Name& name) {
  names_.insert_or_assign(name.rawValue, name);
}

bool ShortcutRegistry::isEnabled(const Name& name) const {
  return !disabledNames_.contains(name.rawValue);
}

void ShortcutRegistry::registerStored(const Name& name) {
  if (!isEnabled(name)) {
    return;
  }
  if (const auto shortcut = getShortcut(name)) {
    registerShortcut(*shortcut);
  }
}

void ShortcutRegistry::registerShortcut(const Shortcut& shortcut) {
  if (suspensions_ > 0 || registeredShortcuts_.contains(shortcut)) {
    return;
  }
  const std::uint32_t id = ++hotKeyCounter_;
  if (const auto registered = hotKeys_.registerHotKey(id, shortcut); registered) {
    hotKeysByID_.emplace(id, shortcut);
    registeredShortcuts_.insert(shortcut);
    registrationFailures_.erase(shortcut);
  } else {
    registrationFailures_.insert_or_assign(shortcut, registered.error().localizedDescription());
  }
}

void ShortcutRegistry::unregisterShortcut(const Shortcut& shortcut) {
  std::erase_if(hotKeysByID_, [&](const auto& entry) {
    if (entry.second != shortcut) {
      return false;
    }
    hotKeys_.unregisterHotKey(entry.first);
    return true;
  });
  registeredShortcuts_.erase(shortcut);
}

void ShortcutRegistry::registerAll() {
  for (const auto& [rawValue, name] : names_) {
    registerStored(name);
  }
}

void ShortcutRegistry::unregisterAll() {
  for (const auto& [id, shortcut] : hotKeysByID_) {
    hotKeys_.unregisterHotKey(id);
  }
  hotKeysByID_.clear();
  registeredShortcuts_.clear();
}

void ShortcutRegistry::suspend() {
  if (suspensions_++ == 0) {
    unregisterAll();
  }
}

void ShortcutRegistry::resume() {
  if (--suspensions_ == 0) {
    registerAll();
  }
}

void ShortcutRegistry::handleHotKey(std::uint32_t id, GlobalHotKeys::Phase phase) {
  if (suspensions_ > 0 || phase != GlobalHotKeys::Phase::released) {
    return;  // key-down actions are not used by this program
  }
  if (const auto it = hotKeysByID_.find(id); it != hotKeysByID_.end()) {
    callKeyUpActions(it->second);
  }
}

void ShortcutRegistry::callKeyUpActions(const Shortcut& shortcut) {
  // Collected first: an action may attach actions or change shortcuts.
  std::vector<Action> due;
  for (const auto& [rawValue, actions] : keyUpActions_) {
    const Name& name = names_.at(rawValue);
    if (isEnabled(name) && getShortcut(name) == shortcut) {
      due.insert(due.end(), actions.begin(), actions.end());
    }
  }
  for (const Action& action : due) {
    if (action) {
      action();
    }
  }
}

}  // namespace wrenfold
