#pragma once

// Starting Wrenfold with the desktop session: the user's XDG autostart entry is a copy of the
// entry installed with Wrenfold ("share/wrenfold/autostart/wrenfold.desktop").

#include <filesystem>
#include <optional>
#include <string>

#include "core/platform/launch_at_login.h"
#include "core/support/failure.h"

namespace wrenfold::app {

class AutostartEntry final : public LaunchAtLogin {
 public:
  // `entryFile`: the user's entry; `installedEntry`: the copy shipped with Wrenfold.
  AutostartEntry(std::filesystem::path entryFile, std::filesystem::path installedEntry);
  // For this user's configuration folder and the installation this executable runs from.
  [[nodiscard]] static Result<AutostartEntry> forThisProcess();

  // Whether the session will start Wrenfold: the entry exists and neither hides itself
  // ("Hidden=true") nor was switched off by the desktop ("X-GNOME-Autostart-enabled=false").
  [[nodiscard]] bool isEnabled() const override;
  // Replaces the user's entry with the installed one, creating the folder. Fails, naming the
  // file, when the installed entry is missing (Wrenfold not installed) or the write fails.
  [[nodiscard]] Result<void> enable() const;
  // Removes the user's entry; an absent entry is fine. Fails, naming the file, otherwise.
  [[nodiscard]] Result<void> disable() const;
  [[nodiscard]] Result<void> setEnabled(bool enabled) override { return enabled ? enable() : disable(); }

  [[nodiscard]] const std::filesystem::path& entryFile() const { return entryFile_; }

 private:
  std::filesystem::path entryFile_;
  std::filesystem::path installedEntry_;
};

// "<XDG_CONFIG_HOME>/autostart/wrenfold.desktop" when the variable is an absolute path, else
// "<home>/.config/autostart/wrenfold.desktop". Fails when neither is an absolute path.
[[nodiscard]] Result<std::filesystem::path> autostartEntryPath(
    const std::optional<std::string>& xdgConfigHome, const std::optional<std::string>& home);

// The installed entry of the installation whose "bin" folder holds `executable`.
[[nodiscard]] std::filesystem::path installedAutostartEntry(const std::filesystem::path& executable);

}  // namespace wrenfold::app
