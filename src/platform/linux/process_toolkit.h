#pragma once

// What a running process is built with, seen from outside through /proc, for programs that are
// not on the accessibility bus and so cannot tell it themselves.

#include <cstdint>

namespace wrenfold {

// True when process `processID` has Qt 5's GUI library loaded; false when not, or unreadable.
[[nodiscard]] bool loadsQt5Gui(std::int32_t processID);

}  // namespace wrenfold
