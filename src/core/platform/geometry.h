#pragma once

#include <algorithm>

namespace wrenfold {

// Screen geometry in points, top-left origin, y growing downwards (both the accessibility
// frames and the window frames use this space).
struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  [[nodiscard]] double area() const { return width * height; }
  // Area shared with `other`; 0 when they do not intersect.
  [[nodiscard]] double intersectionArea(const Rect& other) const {
    const double w = std::min(x + width, other.x + other.width) - std::max(x, other.x);
    const double h = std::min(y + height, other.y + other.height) - std::max(y, other.y);
    return (w > 0 && h > 0) ? w * h : 0.0;
  }
  bool operator==(const Rect&) const = default;
};

}  // namespace wrenfold
