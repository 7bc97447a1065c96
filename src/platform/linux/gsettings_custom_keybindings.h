#pragma once

// GNOME's custom keyboard shortcuts through GIO's GSettings: the list of paths in
// org.gnome.settings-daemon.plugins.media-keys `custom-keybindings`, and each entry in the
// relocatable schema org.gnome.settings-daemon.plugins.media-keys.custom-keybinding at its path
// (name, command, binding). gnome-settings-daemon's media-keys plugin watches both and binds the
// keys through GNOME Shell. Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "core/platform/custom_keybindings.h"
#include "core/records/shortcut.h"

typedef struct _GSettings GSettings;  // NOLINT(modernize-use-using)

namespace wrenfold {

class GsettingsCustomKeybindings final : public CustomKeybindings {
 public:
  // Null where the schemas are not installed (GSettings aborts the process on a missing one).
  [[nodiscard]] static std::unique_ptr<GsettingsCustomKeybindings> open();
  ~GsettingsCustomKeybindings() override;

  [[nodiscard]] Result<std::vector<std::string>> paths() override;
  [[nodiscard]] Result<void> setPaths(const std::vector<std::string>& paths) override;
  [[nodiscard]] Result<CustomKeybinding> entry(const std::string& path) override;
  [[nodiscard]] Result<void> setEntry(const std::string& path, const CustomKeybinding& entry) override;
  [[nodiscard]] Result<void> resetEntry(const std::string& path) override;

 private:
  explicit GsettingsCustomKeybindings(GSettings* list) : list_(list) {}
  GSettings* list_;
};

// The stored shortcut in GTK's accelerator syntax, as GNOME stores it: "<Control><Alt>space".
// Absent for a key without a key symbol.
[[nodiscard]] std::optional<std::string> gnomeAccelerator(const Shortcut& shortcut);
// "Ctrl+Alt+Space" for "<Control><Alt>space" (also <Primary>, <Ctrl>, <Super>, any case); the
// accelerator itself when it names a key outside the recorder's table.
[[nodiscard]] std::string describeGnomeAccelerator(const std::string& accelerator);

}  // namespace wrenfold
