#pragma once

#include <cstdint>
#include <vector>

namespace wrenfold {

// A bitmap of the core's own: 8-bit RGBA, row-major, no row padding.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;

  bool operator==(const Image&) const = default;
};

}  // namespace wrenfold
