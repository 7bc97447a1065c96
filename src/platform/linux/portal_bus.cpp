#include "platform/linux/portal_bus.h"

#include <gio/gio.h>

namespace wrenfold {

std::string portalSenderPathElement(GDBusConnection* bus) {
  std::string name = g_dbus_connection_get_unique_name(bus);
  if (!name.empty() && name.front() == ':') {
    name.erase(0, 1);
  }
  for (char& c : name) {
    if (c == '.') {
      c = '_';
    }
  }
  return name;
}

std::string portalStringIn(GVariant* dictionary, const char* key) {
  GVariant* value = g_variant_lookup_value(dictionary, key, nullptr);
  if (value == nullptr) {
    return {};
  }
  std::string text;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
      g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH)) {
    text = g_variant_get_string(value, nullptr);
  }
  g_variant_unref(value);
  return text;
}

}  // namespace wrenfold
