// The portal probe against a portal of the test's own, on a private session bus without
// activatable services (dbus-run-session, see CMakeLists.txt), that answers slowly or appears
// late. The remote-desktop session and its consent run against the real GNOME portal
// (Journeys.GnomeJourney*) and KDE's (Journeys.WaylandJourneyPastes*).
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/linux/portal_probe.h"

namespace wrenfold {
namespace {

// The portal's side, on a connection of its own: property questions answered after `delayMs`.
class FakePortal {
 public:
  explicit FakePortal(unsigned delayMs) : delayMs_(delayMs) {
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    bus_ = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    g_dbus_connection_add_filter(bus_, &FakePortal::filter, this, nullptr);
  }
  ~FakePortal() {
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
  }
  void own() {
    g_variant_unref(g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "RequestName",
                                                g_variant_new("(su)", "org.freedesktop.portal.Desktop", 0U),
                                                nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
  }

 private:
  // On GDBus's worker thread: the portal's calls are answered from the main context, later.
  static GDBusMessage* filter(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) {
    if (!incoming || g_strcmp0(g_dbus_message_get_path(message), "/org/freedesktop/portal/desktop") != 0 ||
        g_strcmp0(g_dbus_message_get_member(message), "GetAll") != 0) {
      return message;
    }
    auto* self = static_cast<FakePortal*>(data);
    g_timeout_add(
        self->delayMs_,
        [](gpointer pending) {
          auto* call = static_cast<std::pair<FakePortal*, GDBusMessage*>*>(pending);
          call->first->answer(call->second);
          g_object_unref(call->second);
          delete call;
          return G_SOURCE_REMOVE;
        },
        new std::pair{self, message});
    return nullptr;
  }
  void answer(GDBusMessage* call) {
    const char* interface = nullptr;
    g_variant_get(g_dbus_message_get_body(call), "(&s)", &interface);
    GDBusMessage* reply = nullptr;
    if (g_str_equal(interface, "org.freedesktop.portal.RemoteDesktop")) {
      reply = g_dbus_message_new_method_reply(call);
      g_dbus_message_set_body(
          reply, g_variant_new_parsed("({'version': <uint32 1>, 'AvailableDeviceTypes': <uint32 3>},)"));
    } else {
      reply = g_dbus_message_new_method_error(call, "org.freedesktop.DBus.Error.InvalidArgs",
                                              "No such interface");
    }
    g_dbus_connection_send_message(bus_, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(reply);
  }

  GDBusConnection* bus_;
  unsigned delayMs_;
};

bool spinUntil(const std::function<bool()>& done, gint64 timeoutMs = 15000) {
  const gint64 end = g_get_monotonic_time() + timeoutMs * 1000;
  while (!done() && g_get_monotonic_time() < end) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return done();
}

// A portal slower than the 5 s the launch used to wait is still found; one that appears only
// after Wrenfold started is asked when it does (first "nothing offered", then the keyboard).
TEST(PortalProbe, FindsAPortalThatAnswersSlowlyOrAppearsLate) {
  for (const bool late : {false, true}) {
    FakePortal portal(late ? 0U : 6000U);
    if (!late) {
      portal.own();
    }
    std::vector<PortalOffers> answers;
    auto probe = PortalProbe::watch([&](const PortalOffers& offers) { answers.push_back(offers); });
    if (late) {
      ASSERT_TRUE(spinUntil([&] { return !answers.empty(); }));
      portal.own();
    }
    EXPECT_TRUE(spinUntil([&] { return !answers.empty() && answers.back().remoteDesktopVersion == 1; }));
    EXPECT_EQ(answers.size(), late ? 2U : 1U);
    EXPECT_FALSE(answers.back().globalShortcuts);
  }
}

}  // namespace
}  // namespace wrenfold
