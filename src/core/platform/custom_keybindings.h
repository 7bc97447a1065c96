#pragma once

// The desktop's own list of custom keyboard shortcuts (GNOME keeps it in GSettings): each entry,
// stored under a path of its own, runs a command when its keys are pressed. Where no portal binds
// shortcuts for programs, Wrenfold adds one entry of its own here. Main thread only.

#include <string>
#include <vector>

#include "core/support/failure.h"

namespace wrenfold {

struct CustomKeybinding {
  std::string name;
  std::string command;
  std::string binding;  // in the desktop's accelerator syntax: "<Control><Alt>space"

  bool operator==(const CustomKeybinding&) const = default;
};

class CustomKeybindings {
 public:
  CustomKeybindings() = default;
  virtual ~CustomKeybindings() = default;
  CustomKeybindings(const CustomKeybindings&) = delete;
  CustomKeybindings& operator=(const CustomKeybindings&) = delete;

  // The paths of every entry the desktop runs, the user's own included, in the desktop's order.
  [[nodiscard]] virtual Result<std::vector<std::string>> paths() = 0;
  [[nodiscard]] virtual Result<void> setPaths(const std::vector<std::string>& paths) = 0;
  // An entry never written reads as empty strings.
  [[nodiscard]] virtual Result<CustomKeybinding> entry(const std::string& path) = 0;
  [[nodiscard]] virtual Result<void> setEntry(const std::string& path, const CustomKeybinding& entry) = 0;
  // Back to the empty entry.
  [[nodiscard]] virtual Result<void> resetEntry(const std::string& path) = 0;
};

}  // namespace wrenfold
