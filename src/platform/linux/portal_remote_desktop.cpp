#include "platform/linux/portal_remote_desktop.h"

#include <gio/gio.h>

#include <array>
#include <utility>

#include "platform/linux/portal_bus.h"

namespace wrenfold {
namespace {

constexpr const char* kInterface = "org.freedesktop.portal.RemoteDesktop";
constexpr std::uint32_t kKeyboard = 1;
// Kept until the user revokes it (version 2 and later).
constexpr std::uint32_t kPersistUntilRevoked = 2;
// Not a secret, but it lets the holder skip the user's consent: never logged.
constexpr const char* kRestoreTokenKey = "RemoteDesktop_restoreToken";
constexpr int kKeyTimeoutMs = 500;

// X keysyms: the portal maps them to the keys of the desktop's layout.
constexpr std::array<std::pair<KeyModifier, std::uint32_t>, 4> kModifierKeysyms{
    {{KeyModifier::control, 0xffe3},
     {KeyModifier::shift, 0xffe1},
     {KeyModifier::alt, 0xffe9},
     {KeyModifier::super, 0xffeb}}};

}  // namespace

struct RemoteDesktopLink {
  PortalKeyEvents* self;
};

struct RemoteDesktopCallbacks {
  using Shared = std::shared_ptr<RemoteDesktopLink>;

  static void release(gpointer data) { delete static_cast<Shared*>(data); }

  static void onResponse(GDBusConnection*, const char*, const char* path, const char*, const char*,
                         GVariant* parameters, gpointer data) {
    if (PortalKeyEvents* self = (*static_cast<Shared*>(data))->self) {
      self->responded(path, parameters);
    }
  }
};

std::unique_ptr<PortalKeyEvents> PortalKeyEvents::connect(UserDefaults& defaults) {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr) {
    return nullptr;
  }
  const std::uint32_t version = portalInterfaceVersion(bus, kInterface);
  if (version == 0 || (portalUintProperty(bus, kInterface, "AvailableDeviceTypes") & kKeyboard) == 0) {
    g_object_unref(bus);
    return nullptr;
  }
  return std::unique_ptr<PortalKeyEvents>(new PortalKeyEvents(bus, version, defaults));
}

PortalKeyEvents::PortalKeyEvents(GDBusConnection* bus, std::uint32_t version, UserDefaults& defaults)
    : link_(std::make_shared<RemoteDesktopLink>(RemoteDesktopLink{this})),
      bus_(bus),
      version_(version),
      defaults_(defaults) {
  // Subscribed before any request is made, so no answer can come before its listener.
  responseSubscription_ = g_dbus_connection_signal_subscribe(
      bus_, kPortalService, "org.freedesktop.portal.Request", "Response", nullptr, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &RemoteDesktopCallbacks::onResponse,
      new RemoteDesktopCallbacks::Shared(link_), &RemoteDesktopCallbacks::release);
  const std::string token = "wrenfold_keys";
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string("wrenfold_keys1"));
  g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(token.c_str()));
  request("CreateSession", g_variant_new("(a{sv})", &options), "wrenfold_keys1",
          &PortalKeyEvents::sessionCreated);
}

PortalKeyEvents::~PortalKeyEvents() {
  link_->self = nullptr;
  g_dbus_connection_signal_unsubscribe(bus_, responseSubscription_);
  if (!sessionHandle_.empty()) {
    g_dbus_connection_call(bus_, kPortalService, sessionHandle_.c_str(), "org.freedesktop.portal.Session",
                           "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  }
  g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
  g_object_unref(bus_);
}

void PortalKeyEvents::request(const char* method, GVariant* parameters, const std::string& token,
                              void (PortalKeyEvents::*then)(std::uint32_t, GVariant*)) {
  pendingPath_ = std::string(kPortalObjectPath) + "/request/" + portalSenderPathElement(bus_) + "/" + token;
  pendingThen_ = then;
  // The answer comes with the Request's Response signal; a refused call leaves no session.
  g_dbus_connection_call(bus_, kPortalService, kPortalObjectPath, kInterface, method, parameters,
                         G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

void PortalKeyEvents::responded(const char* path, GVariant* parameters) {
  if (pendingThen_ == nullptr || pendingPath_ != path ||
      !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
    return;
  }
  const auto then = std::exchange(pendingThen_, nullptr);
  std::uint32_t code = 0;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &code, &results);
  (this->*then)(code, results);
  g_variant_unref(results);
}

void PortalKeyEvents::sessionCreated(std::uint32_t code, GVariant* results) {
  sessionHandle_ = portalStringIn(results, "session_handle");
  if (code != 0 || sessionHandle_.empty()) {
    return;
  }
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string("wrenfold_keys2"));
  g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kKeyboard));
  if (version_ >= 2) {  // the options that keep the user's consent came with version 2
    g_variant_builder_add(&options, "{sv}", "persist_mode", g_variant_new_uint32(kPersistUntilRevoked));
    if (const auto token = defaults_.string(kRestoreTokenKey); token && !token->empty()) {
      g_variant_builder_add(&options, "{sv}", "restore_token", g_variant_new_string(token->c_str()));
    }
  }
  request("SelectDevices", g_variant_new("(oa{sv})", sessionHandle_.c_str(), &options), "wrenfold_keys2",
          &PortalKeyEvents::devicesSelected);
}

void PortalKeyEvents::devicesSelected(std::uint32_t code, GVariant*) {
  if (code != 0) {
    return;
  }
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string("wrenfold_keys3"));
  request("Start", g_variant_new("(osa{sv})", sessionHandle_.c_str(), "", &options), "wrenfold_keys3",
          &PortalKeyEvents::started);
}

void PortalKeyEvents::started(std::uint32_t code, GVariant* results) {
  std::uint32_t devices = 0;
  keyboard_ = code == 0 && g_variant_lookup(results, "devices", "u", &devices) && (devices & kKeyboard) != 0;
  // Each start hands out a new token; the old one is spent.
  if (const std::string token = portalStringIn(results, "restore_token"); keyboard_ && !token.empty()) {
    static_cast<void>(defaults_.setString(kRestoreTokenKey, token));
  }
}

void PortalKeyEvents::pressKeysym(std::uint32_t keysym, bool pressed) {
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  // Each event waits for the portal's answer before the next goes: sent without waiting, 2 of 13
  // journeys left the program repeating "v" (a release lost or overtaken on the way through the
  // portal), none of 10 since. A few milliseconds each on the local bus.
  GVariant* reply =
      g_dbus_connection_call_sync(bus_, kPortalService, kPortalObjectPath, kInterface, "NotifyKeyboardKeysym",
                                  g_variant_new("(oa{sv}iu)", sessionHandle_.c_str(), &options,
                                                static_cast<std::int32_t>(keysym), pressed ? 1U : 0U),
                                  nullptr, G_DBUS_CALL_FLAGS_NONE, kKeyTimeoutMs, nullptr, nullptr);
  if (reply != nullptr) {
    g_variant_unref(reply);
  }
}

KeyPostResult PortalKeyEvents::post(const KeyChord& chord) {
  // Letters and digits are their own keysyms.
  const bool plain = chord.key.size() == 1 && ((chord.key[0] >= 'a' && chord.key[0] <= 'z') ||
                                               (chord.key[0] >= '0' && chord.key[0] <= '9'));
  if (!keyboard_ || !plain) {
    return KeyPostResult::failed;
  }
  for (const auto& [modifier, keysym] : kModifierKeysyms) {
    if ((chord.modifiers & static_cast<unsigned>(modifier)) != 0) {
      pressKeysym(keysym, true);
    }
  }
  pressKeysym(static_cast<unsigned char>(chord.key[0]), true);
  pressKeysym(static_cast<unsigned char>(chord.key[0]), false);
  for (auto it = kModifierKeysyms.rbegin(); it != kModifierKeysyms.rend(); ++it) {
    if ((chord.modifiers & static_cast<unsigned>(it->first)) != 0) {
      pressKeysym(it->second, false);
    }
  }
  return KeyPostResult::posted;
}

}  // namespace wrenfold
