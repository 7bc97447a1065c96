#pragma once

#include <map>
#include <set>
#include <vector>

#include "core/platform/global_hot_keys.h"

namespace wrenfold::testing {

// Global hot keys in memory. Native key events are spelled in the stored format: the native key
// code is the macOS key code and the native modifiers the Carbon mask.
class FakeGlobalHotKeys final : public GlobalHotKeys {
 public:
  void setHandler(Handler handler) override { handler_ = std::move(handler); }
  [[nodiscard]] Result<void> registerHotKey(std::uint32_t id, const Shortcut& shortcut) override;
  void unregisterHotKey(std::uint32_t id) override;
  [[nodiscard]] bool isTakenByAnotherApplication(const Shortcut& shortcut) override;
  [[nodiscard]] std::optional<Shortcut> shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                             std::uint32_t nativeModifiers) const override;

  // --- test interface
  void takeByAnotherApplication(const Shortcut& shortcut) { taken_.insert(shortcut); }
  // The shortcuts registered now, one entry per registration.
  [[nodiscard]] std::vector<Shortcut> registered() const;
  // Presses or releases a key as the user would: the registration holding it, if any, reports.
  void press(const Shortcut& shortcut);
  void release(const Shortcut& shortcut);

 private:
  void report(const Shortcut& shortcut, Phase phase);

  Handler handler_;
  std::map<std::uint32_t, Shortcut> registrations_;
  std::set<Shortcut> taken_;
};

}  // namespace wrenfold::testing
