// The portal adapters against a portal of the test's own, on a private session bus without
// activatable services (dbus-run-session, see CMakeLists.txt): one that answers slowly or
// appears late, and one whose remote-desktop consent the user declines first.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fakes/fake_user_defaults.h"
#include "platform/linux/portal_probe.h"
#include "platform/linux/portal_remote_desktop.h"

namespace wrenfold {
namespace {

// The portal's side, on a connection of its own: property questions answered after `delayMs`,
// remote-desktop requests with the next scripted Response code of Start.
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
  std::vector<std::uint32_t> startAnswers;
  std::map<std::string, int> calls;  // remote-desktop methods, by name

 private:
  // On GDBus's worker thread: the portal's calls are answered from the main context, later.
  static GDBusMessage* filter(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) {
    if (!incoming || g_strcmp0(g_dbus_message_get_path(message), "/org/freedesktop/portal/desktop") != 0) {
      return message;
    }
    auto* self = static_cast<FakePortal*>(data);
    const bool properties = g_strcmp0(g_dbus_message_get_member(message), "GetAll") == 0;
    g_timeout_add(
        properties ? self->delayMs_ : 0U,
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
    const std::string member = g_dbus_message_get_member(call);
    GVariant* body = g_dbus_message_get_body(call);
    GDBusMessage* reply = g_dbus_message_new_method_reply(call);
    std::string request;
    if (member == "GetAll") {
      const char* interface = nullptr;
      g_variant_get(body, "(&s)", &interface);
      if (g_str_equal(interface, "org.freedesktop.portal.RemoteDesktop")) {
        g_dbus_message_set_body(
            reply, g_variant_new_parsed("({'version': <uint32 1>, 'AvailableDeviceTypes': <uint32 3>},)"));
      } else {
        g_object_unref(reply);
        reply = g_dbus_message_new_method_error(call, "org.freedesktop.DBus.Error.InvalidArgs",
                                                "No such interface");
      }
    } else {
      ++calls[member];
      const char* token = "";
      GVariant* options = g_variant_get_child_value(body, g_variant_n_children(body) - 1);
      g_variant_lookup(options, "handle_token", "&s", &token);
      std::string sender = g_dbus_message_get_sender(call) + 1;
      std::replace(sender.begin(), sender.end(), '.', '_');
      request = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
      g_dbus_message_set_body(reply, g_variant_new("(o)", request.c_str()));
      g_variant_unref(options);
    }
    g_dbus_connection_send_message(bus_, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(reply);
    if (request.empty()) {
      return;
    }
    std::uint32_t code = 0;
    if (member == "Start" && !startAnswers.empty()) {
      code = startAnswers.front();
      startAnswers.erase(startAnswers.begin());
    }
    const std::string session = "/org/freedesktop/portal/desktop/session/s" + std::to_string(calls[member]);
    g_dbus_connection_emit_signal(
        bus_, g_dbus_message_get_sender(call), request.c_str(), "org.freedesktop.portal.Request", "Response",
        g_variant_new_parsed("(%u, {'session_handle': <%o>, 'devices': <uint32 1>})", code, session.c_str()),
        nullptr);
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

// No session at launch (its consent dialog would show at every start); the first paste starts
// it. A declined dialog answers "not ready" and types nothing; the next paste asks again, and
// once given, the session is kept: no second dialog.
TEST(PortalKeyEvents, StartsItsSessionOnFirstNeedAndKeepsItOnceGiven) {
  FakePortal portal(0U);
  portal.own();
  portal.startAnswers = {1, 0};
  testing::FakeUserDefaults defaults;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  auto keys = PortalKeyEvents::open(bus, 1, defaults);
  g_object_unref(bus);
  spinUntil([] { return false; }, 300);
  EXPECT_EQ(portal.calls["CreateSession"], 0);
  std::vector<std::string> answers;
  for (std::size_t paste = 1; paste <= 3; ++paste) {
    keys->whenReady([&](bool ready) { answers.emplace_back(ready ? "ready" : "declined"); });
    ASSERT_TRUE(spinUntil([&] { return answers.size() == paste; }));
  }
  EXPECT_EQ(answers, (std::vector<std::string>{"declined", "ready", "ready"}));
  EXPECT_EQ(portal.calls["Start"], 2);
  EXPECT_EQ(portal.calls["NotifyKeyboardKeysym"], 0);
}

}  // namespace
}  // namespace wrenfold
