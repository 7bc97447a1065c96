#include "platform/linux/atspi_handle.h"

#include <cstring>

namespace wrenfold {

void GObjectUnref::operator()(void* object) const {
  if (object != nullptr) {
    g_object_unref(object);
  }
}

GObjectPtr<AtspiAccessible> retained(AtspiAccessible* object) {
  if (object != nullptr) {
    g_object_ref(object);
  }
  return GObjectPtr<AtspiAccessible>(object);
}

bool AtspiNode::sameElement(const Node& other) const {
  const auto* node = dynamic_cast<const AtspiNode*>(&other);
  if (node == nullptr) {
    return false;
  }
  if (node->object() == object()) {
    return true;
  }
  // Different objects may still name one element if libatspi dropped and re-created it.
  const auto* a = reinterpret_cast<const AtspiObject*>(object());
  const auto* b = reinterpret_cast<const AtspiObject*>(node->object());
  return a->path != nullptr && b->path != nullptr && std::strcmp(a->path, b->path) == 0 &&
         applicationBusName(object()) == applicationBusName(node->object()) &&
         !applicationBusName(object()).empty();
}

std::optional<AccessibilityElement> elementFor(GObjectPtr<AtspiAccessible> object) {
  if (!object) {
    return std::nullopt;
  }
  return AccessibilityElement(std::make_shared<AtspiNode>(std::move(object)));
}

AtspiAccessible* atspiObject(const AccessibilityElement& element) {
  const auto* node = element.as<AtspiNode>();
  return node != nullptr ? node->object() : nullptr;
}

std::string_view applicationBusName(AtspiAccessible* object) {
  if (object == nullptr) {
    return {};
  }
  const auto* base = reinterpret_cast<const AtspiObject*>(object);
  if (base->app == nullptr || base->app->bus_name == nullptr) {
    return {};
  }
  return base->app->bus_name;
}

GErrorSlot::~GErrorSlot() {
  if (error_ != nullptr) {
    g_error_free(error_);
  }
}

}  // namespace wrenfold
