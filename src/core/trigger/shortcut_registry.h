#pragma once

// Recorded global shortcuts by name: stores them in the user defaults, registers them as global
// hot keys, and calls the actions attached to a name when its shortcut is released anywhere on
// the desktop. While one of Wrenfold's own menus is open (it holds the keyboard, so hot keys
// cannot fire) the same shortcuts are matched against the keys the menu receives.
// Main thread only.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/global_hot_keys.h"
#include "core/platform/notification_center.h"
#include "core/platform/user_defaults.h"
#include "core/records/shortcut.h"
#include "core/support/failure.h"
#include "core/trigger/shortcut_store.h"

namespace wrenfold {

class ShortcutRegistry {
 public:
  using Name = ShortcutName;
  using Shortcut = wrenfold::Shortcut;
  using Action = std::function<void()>;
  enum class KeyPhase { down, up };

  // Posted after every change of a stored shortcut, with user info {"name": the raw value}.
  static constexpr std::string_view kShortcutDidChange = "ShortcutRegistry_shortcutByNameDidChange";

  // The ports and the centre outlive the registry.
  ShortcutRegistry(UserDefaults& defaults, GlobalHotKeys& hotKeys, NotificationCenter& notifications);
  ~ShortcutRegistry();
  ShortcutRegistry(const ShortcutRegistry&) = delete;
  ShortcutRegistry& operator=(const ShortcutRegistry&) = delete;

  // Appends `action` to the name's key-up actions and registers its stored shortcut.
  void onKeyUp(const Name& name, Action action);
  void enable(const std::vector<Name>& names);
  // Unregisters the names' shortcuts and stops calling their actions (application termination).
  void disable(const std::vector<Name>& names);

  [[nodiscard]] std::optional<Shortcut> getShortcut(const Name& name) const;
  // Stores (or, with nothing, clears) the name's shortcut, moves the registration to it and posts
  // kShortcutDidChange. Failure: the user defaults could not be written; nothing changed then.
  // A shortcut that cannot be registered stays stored but inactive, and that is no failure.
  [[nodiscard]] Result<void> setShortcut(const std::optional<Shortcut>& shortcut, const Name& name);
  // Whether the name's stored shortcut is registered with the desktop right now.
  [[nodiscard]] bool isActive(const Name& name) const;
  // Why the name's stored shortcut is not active (another program holds it, the keyboard lacks
  // the key, the session has no global keys): the desktop's own Chinese reason. Absent while it
  // is active, while none is stored, and while registration is only paused.
  [[nodiscard]] std::optional<std::string> inactiveReason(const Name& name) const;

  // For the recorder: whether another application already holds `shortcut`, and what shortcut a
  // native key event stands for.
  [[nodiscard]] bool isTakenByAnotherApplication(const Shortcut& shortcut);
  [[nodiscard]] std::optional<Shortcut> shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                             std::uint32_t nativeModifiers) const;
  // What the desktop bound Wrenfold's trigger to, where the desktop keeps the binding.
  [[nodiscard]] std::optional<DesktopShortcutBinding> desktopBinding() const {
    return hotKeys_.desktopBinding();
  }
  // While recording, the shortcuts are unregistered so the keys reach the recorder.
  void setPaused(bool paused);
  // Registers the shortcuts again, as after the global-key back-end changed; a shortcut the new
  // one refuses becomes inactive with its reason.
  void reregister() {
    suspend();
    resume();
  }

  // Menu tracking: while one of our menus is open, the hot keys are unregistered and the keys
  // the menu receives are matched instead. `handleMenuKey` is true when the key belongs to a
  // shortcut (the menu should then ignore it).
  void beginMenuTracking();
  void endMenuTracking();
  [[nodiscard]] bool handleMenuKey(const Shortcut& key, KeyPhase phase);

  [[nodiscard]] NotificationCenter& notificationCenter() { return notifications_; }

 private:
  void registerStored(const Name& name);
  void registerShortcut(const Shortcut& shortcut);
  void unregisterShortcut(const Shortcut& shortcut);
  void registerAll();
  void unregisterAll();
  void suspend();
  void resume();
  void handleHotKey(std::uint32_t id, GlobalHotKeys::Phase phase);
  void callKeyUpActions(const Shortcut& shortcut);
  void remember(const Name& name);
  [[nodiscard]] bool isEnabled(const Name& name) const;

  ShortcutStore store_;
  GlobalHotKeys& hotKeys_;
  NotificationCenter& notifications_;
  std::map<std::string, std::vector<Action>> keyUpActions_;
  std::map<std::string, Name> names_;  // every name seen, by raw value
  std::set<std::string> disabledNames_;
  std::set<Shortcut> registeredShortcuts_;
  std::map<std::uint32_t, Shortcut> hotKeysByID_;
  std::map<Shortcut, std::string> registrationFailures_;  // the last refusal of each shortcut
  std::uint32_t hotKeyCounter_ = 0;
  int suspensions_ = 0;  // recorder focus and open menus
  bool paused_ = false;
  bool tracksMenu_ = false;
  std::optional<Shortcut> menuKeyDown_;
};

}  // namespace wrenfold
