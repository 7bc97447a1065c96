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
  GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
  if (bus) {
    // The shared connection would end the whole process when the session bus goes away.
    g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
  }
  return bus;
}

VariantPtr call(GDBusConnection* bus, const char* interface, const char* method, GVariant* parameters,
                std::chrono::milliseconds timeout) {
  GErrorSlot error;
  return VariantPtr(g_dbus_connection_call_sync(bus, kBusName, kBusPath, interface, method, parameters,
                                                nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                static_cast<gint>(timeout.count()), nullptr, error.out()));
}

}  // namespace

std::optional<std::string> AccessibilityBusStatus::busAddress() const {
  const auto bus = sessionBus();
  if (!bus) {
    return std::nullopt;
  }
  const auto reply = call(bus.get(), kBusName, "GetAddress", nullptr, timeout_);
  if (!reply || g_variant_check_format_string(reply.get(), "(&s)", FALSE) == FALSE) {
    return std::nullopt;
  }
  const char* address = nullptr;
  g_variant_get(reply.get(), "(&s)", &address);
  if (address == nullptr || *address == '\0') {
    return std::nullopt;
  }
  return std::string(address);
}

bool AccessibilityBusStatus::isEnabled() const {
  // GetAddress answers only when the accessibility bus is really there.
  return busAddress().has_value() && flag("IsEnabled");
}

bool AccessibilityBusStatus::enable() const {
  return setFlag("IsEnabled");
}

bool AccessibilityBusStatus::isScreenReaderAnnounced() const {
  return flag("ScreenReaderEnabled");
}

bool AccessibilityBusStatus::announceScreenReader() const {
  return setFlag("ScreenReaderEnabled");
}

bool AccessibilityBusStatus::flag(const char* property) const {
  const auto bus = sessionBus();
  if (!bus) {
    return false;
  }
  const auto reply = call(bus.get(), "org.freedesktop.DBus.Properties", "Get",
                          g_variant_new("(ss)", kStatusInterface, property), timeout_);
  if (!reply || g_variant_check_format_string(reply.get(), "(v)", FALSE) == FALSE) {
    return false;
  }
  GVariant* inner = nullptr;
  g_variant_get(reply.get(), "(v)", &inner);
  const VariantPtr value(inner);
  return value && g_variant_check_format_string(value.get(), "b", FALSE) != FALSE &&
         g_variant_get_boolean(value.get()) != FALSE;
}

bool AccessibilityBusStatus::setFlag(const char* property) const {
  const auto bus = sessionBus();
  if (!bus) {
    return false;
  }
  const auto reply =
      call(bus.get(), "org.freedesktop.DBus.Properties", "Set",
           g_variant_new("(ssv)", kStatusInterface, property, g_variant_new_boolean(TRUE)), timeout_);
  return reply != nullptr;
}

}  // namespace wrenfold
