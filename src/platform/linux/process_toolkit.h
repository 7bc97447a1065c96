#pragma once

// What a running process is and is built with, seen from outside through /proc: for programs
// that are not on the accessibility bus and so cannot tell it themselves, and for the facts no
// window carries (its Flatpak id, its executable).

#include <cstdint>

#include "platform/linux/application_identity.h"

namespace wrenfold {

// True when process `processID` has Qt 5's GUI library loaded; false when not, or unreadable.
[[nodiscard]] bool loadsQt5Gui(std::int32_t processID);

// The facts of its application that process `processID` tells by itself: the Flatpak id and
// the executable's file name (else the process name); the window's facts are left absent.
[[nodiscard]] WindowFacts processFacts(std::int32_t processID);

}  // namespace wrenfold
