#include "platform/linux/accessibility_bus_status.h"

#include <gio/gio.h>

#include <memory>

#include "platform/linux/atspi_handle.h"
#include "platform/linux/gvariant_ptr.h"

namespace wrenfold {
namespace {

constexpr const char* kBusName = "org.a11y.Bus";
constexpr const char* kBusPath = "/org/a11y/bus";
constexpr const char* kStatusInterface = "org.a11y.Status";

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

// What the launcher last said of IsEnabled. Its change signal and its leaving the bus are handed
// to a main context of our own, drained before each answer: only these callbacks ever run there,
// so nothing else of the application runs in the middle of a read.
struct AccessibilityBusStatus::Watch {
  GMainContext* context = g_main_context_new();
  GObjectPtr<GDBusConnection> bus;
  guint changes = 0;
  guint owner = 0;
  std::optional<bool> enabled;

  explicit Watch(GObjectPtr<GDBusConnection> connection) : bus(std::move(connection)) {
    g_main_context_push_thread_default(context);
    changes = g_dbus_connection_signal_subscribe(bus.get(), kBusName, "org.freedesktop.DBus.Properties",
                                                 "PropertiesChanged", kBusPath, kStatusInterface,
                                                 G_DBUS_SIGNAL_FLAGS_NONE, &Watch::onChanged, this, nullptr);
    owner = g_dbus_connection_signal_subscribe(bus.get(), "org.freedesktop.DBus", "org.freedesktop.DBus",
                                               "NameOwnerChanged", "/org/freedesktop/DBus", kBusName,
                                               G_DBUS_SIGNAL_FLAGS_NONE, &Watch::onOwner, this, nullptr);
    g_main_context_pop_thread_default(context);
  }
  ~Watch() {
    g_dbus_connection_signal_unsubscribe(bus.get(), changes);
    g_dbus_connection_signal_unsubscribe(bus.get(), owner);
    while (g_main_context_iteration(context, FALSE) != FALSE) {
    }
    g_main_context_unref(context);
  }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  void drain() const {
    while (g_main_context_iteration(context, FALSE) != FALSE) {
    }
  }

  static void onChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                        GVariant* parameters, gpointer self) {
    if (g_variant_check_format_string(parameters, "(sa{sv}as)", FALSE) == FALSE) {
      return;
    }
    auto& watch = *static_cast<Watch*>(self);
    GVariant* changed = g_variant_get_child_value(parameters, 1);
    gboolean value = FALSE;
    if (g_variant_lookup(changed, "IsEnabled", "b", &value) != FALSE) {
      watch.enabled = value != FALSE;
    } else {
      watch.enabled.reset();  // told as invalidated, or in a form not understood: asked again
    }
    g_variant_unref(changed);
  }
  static void onOwner(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                      gpointer self) {
    static_cast<Watch*>(self)->enabled.reset();
  }
};

AccessibilityBusStatus::AccessibilityBusStatus(std::chrono::milliseconds timeout) : timeout_(timeout) {}
AccessibilityBusStatus::~AccessibilityBusStatus() = default;

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
  if (watch_) {
    watch_->drain();
    if (watch_->enabled) {
      return *watch_->enabled;
    }
  }
  // GetAddress answers only when the accessibility bus is really there. Watched from the first
  // answer on: each trigger asks, and two round trips to the launcher cost more than the rest of
  // a repeated read.
  const bool reachable = busAddress().has_value();
  if (reachable && !watch_) {
    if (auto bus = sessionBus()) {
      watch_ = std::make_unique<Watch>(std::move(bus));
    }
  }
  const bool enabled = reachable && flag("IsEnabled");
  if (reachable && watch_) {
    watch_->enabled = enabled;
  }
  return enabled;
}

bool AccessibilityBusStatus::enable() const {
  const bool done = setFlag("IsEnabled");
  if (done && watch_) {
    watch_->enabled = true;
  }
  return done;
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
