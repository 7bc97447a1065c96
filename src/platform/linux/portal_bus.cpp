#include "platform/linux/portal_bus.h"

#include <gio/gio.h>

namespace wrenfold {
namespace {

// It answered in under 2 s when measured, started on demand.
constexpr int kPropertyTimeoutMs = 5000;

}  // namespace

std::uint32_t portalUintProperty(GDBusConnection* bus, const char* interface, const char* name) {
  GVariant* reply =
      g_dbus_connection_call_sync(bus, kPortalService, kPortalObjectPath, "org.freedesktop.DBus.Properties",
                                  "Get", g_variant_new("(ss)", interface, name), G_VARIANT_TYPE("(v)"),
                                  G_DBUS_CALL_FLAGS_NONE, kPropertyTimeoutMs, nullptr, nullptr);
  std::uint32_t result = 0;
  if (reply != nullptr) {
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
      result = g_variant_get_uint32(value);
    }
    g_variant_unref(value);
    g_variant_unref(reply);
  }
  return result;
}

std::uint32_t portalInterfaceVersion(GDBusConnection* bus, const char* interface) {
  return portalUintProperty(bus, interface, "version");
}

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
