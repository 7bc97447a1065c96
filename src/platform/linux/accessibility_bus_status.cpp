#include "platform/linux/accessibility_bus_status.h"

#include <gio/gio.h>

#include <memory>

#include "platform/linux/atspi_handle.h"

namespace wrenfold {
namespace {

constexpr const char* kBusName = "org.a11y.Bus";
constexpr const char* kBusPath = "/org/a11y/bus";
constexpr const char* kStatusInterface = "org.a11y.Status";

struct VariantUnref {
  void operator()(GVariant* value) const {
    if (value != nullptr) {
      g_variant_unref(value);
    }
  }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

GObjectPtr<GDBusConnection> sessionBus() {
  GErrorSlot error;
  return GObjectPtr<GDBusConnection>(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
}

VariantPtr call(GDBusConnection* bus, const char* interface, const char* method, GVariant* parameters,
                std::chrono::milliseconds timeout) {
  GErrorSlot error;
  return VariantPtr(g_dbus_connection_call_sync(bus, kBusName, kBusPath, interface, method, parameters,
                                                nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                static_cast<gint>(timeout.count()), nullptr, error.out()));
}

}  // namespace

bool AccessibilityBusStatus::isEnabled() const {
  const auto bus = sessionBus();
  if (!bus) {
    return false;
  }
  // GetAddress answers only when the accessibility bus is really there (D-Bus starts it when
  // the desktop has not).
  const auto address = call(bus.get(), kBusName, "GetAddress", nullptr, timeout_);
  if (!address) {
    return false;
  }
  const auto reply = call(bus.get(), "org.freedesktop.DBus.Properties", "Get",
                          g_variant_new("(ss)", kStatusInterface, "IsEnabled"), timeout_);
  if (!reply || g_variant_check_format_string(reply.get(), "(v)", FALSE) == FALSE) {
    return false;
  }
  GVariant* inner = nullptr;
  g_variant_get(reply.get(), "(v)", &inner);
  const VariantPtr value(inner);
  return value && g_variant_check_format_string(value.get(), "b", FALSE) != FALSE &&
         g_variant_get_boolean(value.get()) != FALSE;
}

bool AccessibilityBusStatus::enable() const {
  const auto bus = sessionBus();
  if (!bus) {
    return false;
  }
  const auto reply =
      call(bus.get(), "org.freedesktop.DBus.Properties", "Set",
           g_variant_new("(ssv)", kStatusInterface, "IsEnabled", g_variant_new_boolean(TRUE)), timeout_);
  return reply != nullptr;
}

}  // namespace wrenfold
