#pragma once

// Ownership of libatspi objects and the element handles the core holds.

#include <atspi/atspi.h>

#include <memory>
#include <optional>
#include <string_view>

#include "core/platform/accessibility.h"

namespace wrenfold {

struct GObjectUnref {
  void operator()(void* object) const;
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// A new owning pointer to `object`, which keeps its own reference; null stays null.
[[nodiscard]] GObjectPtr<AtspiAccessible> retained(AtspiAccessible* object);

// The node behind an AccessibilityElement of this back-end. libatspi hands out one object per
// (bus name, path), so the same element is the same pointer; main thread only, like libatspi.
class AtspiNode final : public AccessibilityElement::Node {
 public:
  explicit AtspiNode(GObjectPtr<AtspiAccessible> object) : object_(std::move(object)) {}
  [[nodiscard]] AtspiAccessible* object() const { return object_.get(); }
  [[nodiscard]] bool sameElement(const Node& other) const override;

 private:
  GObjectPtr<AtspiAccessible> object_;  // never null
};

// A handle owning `object`; absent for null.
[[nodiscard]] std::optional<AccessibilityElement> elementFor(GObjectPtr<AtspiAccessible> object);

// The AT-SPI object behind a handle; null when the handle is another back-end's.
[[nodiscard]] AtspiAccessible* atspiObject(const AccessibilityElement& element);

// The D-Bus name of the application owning `object`, known without a round trip; "" when
// libatspi does not know it.
[[nodiscard]] std::string_view applicationBusName(AtspiAccessible* object);

// Receives the GError of one libatspi call and frees it.
class GErrorSlot {
 public:
  GErrorSlot() = default;
  ~GErrorSlot();
  GErrorSlot(const GErrorSlot&) = delete;
  GErrorSlot& operator=(const GErrorSlot&) = delete;

  [[nodiscard]] GError** out() { return &error_; }
  [[nodiscard]] bool failed() const { return error_ != nullptr; }

 private:
  GError* error_ = nullptr;
};

}  // namespace wrenfold
