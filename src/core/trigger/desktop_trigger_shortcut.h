#pragma once

// Wrenfold's own entry in the desktop's custom shortcuts (GNOME before the GlobalShortcuts
// portal): one entry, at a path of its own, that runs `wrenfold trigger` with the recorded keys.
// Setting it adds the path to the desktop's list (once) or rewrites the entry; removing it takes
// the path out again. The user's other entries and their order are never touched.

#include <functional>
#include <optional>
#include <string>

#include "core/platform/custom_keybindings.h"
#include "core/records/shortcut.h"
#include "core/support/failure.h"

namespace wrenfold {

inline constexpr const char* kWrenfoldKeybindingPath =
    "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/wrenfold/";
inline constexpr const char* kWrenfoldKeybindingName = "唤起 Wrenfold";

// The desktop's accelerator syntax, both ways.
struct AcceleratorSyntax {
  // Absent for a key the syntax cannot name.
  std::function<std::optional<std::string>(const Shortcut&)> spell;
  // What the user reads for an accelerator ("Ctrl+Alt+Space"); the text itself when unknown.
  std::function<std::string(const std::string&)> describe;
};

class DesktopTriggerShortcut {
 public:
  // `command` runs Wrenfold's trigger ("/usr/bin/wrenfold trigger"). `store` outlives this.
  DesktopTriggerShortcut(CustomKeybindings& store, AcceleratorSyntax syntax, std::string command);

  // The keys the desktop holds for Wrenfold's entry, described; absent while the entry is not
  // in the desktop's list (or has no keys).
  [[nodiscard]] Result<std::optional<std::string>> held();
  // Adds or rewrites the entry with `shortcut`; the description of what the desktop now holds.
  [[nodiscard]] Result<std::string> bind(const Shortcut& shortcut);
  [[nodiscard]] Result<void> remove();

 private:
  CustomKeybindings& store_;
  AcceleratorSyntax syntax_;
  std::string command_;
};

}  // namespace wrenfold
